// Driving the real rotate plug-in through the host engine.
#pragma once

#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "dravo/host/engine.h"

namespace rotatetest {

using dravo::host::Array;
using dravo::host::Block;
using dravo::host::InputSpec;
using dravo::host::Plugin;
using dravo::host::Settings;

constexpr double kPi = 3.141592653589793;

// Dialog values by index; unset ones take a floating-point friendly default.
inline std::vector<Array> rotateParams(const std::map<int, Array>& set) {
    const double defaults[22] = {1, 1,  0.5, kPi, 2,  1,  0, 2,  2,  16, 15,
                                 2, 32, 30,  3,   32, 30, 2, 16, 15, 3,  1};
    std::vector<Array> params;
    for (int i = 0; i < 22; ++i) {
        auto it = set.find(i);
        params.push_back(it != set.end() ? it->second : Array::scalar(defaults[i]));
    }
    return params;
}

inline std::shared_ptr<Plugin> plugin() {
    static std::shared_ptr<Plugin> p = Plugin::load("pellor");
    return p;
}

inline std::unique_ptr<Block> makeBlock(const std::map<int, Array>& set, const std::vector<InputSpec>& inputs,
                                        Settings settings = {}) {
    auto b = std::make_unique<Block>(plugin(), "rotate", settings);
    b->setParameters(rotateParams(set));
    b->initialize();
    b->propagate(inputs);
    return b;
}

inline InputSpec image(std::vector<int32_t> dims, DataTypeId type = SS_DOUBLE, int32_t dimsMode = 0) {
    InputSpec s;
    s.dims = std::move(dims);
    s.dataType = type;
    s.dimsMode = dimsMode;
    return s;
}

template <typename T>
std::vector<T> outputOf(const Block& b) {
    const size_t n = b.currentOutputBytes(0) / sizeof(T);
    std::vector<T> v(n);
    std::memcpy(v.data(), b.output(0), n * sizeof(T));
    return v;
}

template <typename T>
void setInputValues(Block& b, int32_t port, const std::vector<T>& v,
                    const std::vector<int32_t>& current = {}) {
    b.setInput(port, v.data(), v.size() * sizeof(T), current);
}

inline std::vector<double> rampImage(size_t n) {
    std::vector<double> v(n);
    for (size_t k = 0; k < n; ++k)
        v[k] = double((k * 37) % 101) + 0.25 * double(k % 7);
    return v;
}

}  // namespace rotatetest
