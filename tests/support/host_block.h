// Small helpers shared by the suites that drive a plug-in through the host engine.
#pragma once

#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "dravo/host/engine.h"
#include "dravo/host/types.h"

namespace host_test {

inline DataTypeId typeId(const std::string& name) {
    const auto id = dravo::types::parseTypeName(name);
    if (!id) throw std::runtime_error("bad type name " + name);
    return *id;
}

// Runs fn and returns the error it raised ("" class and text "no error" when none).
inline dravo::host::BlockError errorOf(const std::function<void()>& fn) {
    try {
        fn();
    } catch (const dravo::host::BlockError& e) {
        return e;
    }
    return dravo::host::BlockError("", "", "", "no error");
}

// The current bytes of output port 0 after a step, as values of T.
template <typename T>
std::vector<T> outputAs(const dravo::host::Block& b) {
    std::vector<T> out(b.currentOutputBytes(0) / sizeof(T));
    std::memcpy(out.data(), b.output(0), out.size() * sizeof(T));
    return out;
}

}  // namespace host_test
