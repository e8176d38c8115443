// Helpers shared by the host tests: the test plug-ins and typed access to signals.
#pragma once

#include <cstring>
#include <vector>

#include "dravo/host/engine.h"

namespace hosttest {

using dravo::host::Array;
using dravo::host::Block;
using dravo::host::InputSpec;
using dravo::host::OutputRequest;
using dravo::host::Plugin;

// dravo_testblock with its four dialog parameters: gain, offset, mode (1 affine, 2 copy, 3 fail), RTP type.
inline std::vector<Array> testParams(double gain, double offset, int mode = 1, int rtpType = 0) {
    std::vector<Array> p;
    p.push_back(Array::scalar(gain));
    p.push_back(Array::scalar(offset));
    p.push_back(Array::scalar(mode));
    p.push_back(Array::scalar(rtpType));
    return p;
}

inline InputSpec doubleInput(std::vector<int32_t> dims, int32_t dimsMode = 0) {
    InputSpec in;
    in.dims = std::move(dims);
    in.dataType = SS_DOUBLE;
    in.dimsMode = dimsMode;
    return in;
}

template <typename T>
std::vector<T> outputAs(const Block& b, int32_t port) {
    std::vector<T> v(b.currentOutputBytes(port) / sizeof(T));
    if (!v.empty()) std::memcpy(v.data(), b.output(port), v.size() * sizeof(T));
    return v;
}

template <typename T>
void setInputFrom(Block& b, int32_t port, const std::vector<T>& v, const std::vector<int32_t>& dims = {}) {
    b.setInput(port, v.data(), v.size() * sizeof(T), dims);
}

}  // namespace hosttest
