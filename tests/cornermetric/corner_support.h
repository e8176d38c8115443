// Driving the real corner metric plug-in through the host engine.
#pragma once

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "dravo/host/engine.h"

namespace cornertest {

using dravo::host::Array;
using dravo::host::Block;
using dravo::host::BlockError;
using dravo::host::InputSpec;
using dravo::host::OutputRequest;
using dravo::host::Plugin;
using dravo::host::Settings;

// The dialog defaults of the command line's description, by index (binomial filter of 5 taps).
inline std::vector<Array> cornerParams(const std::map<int, Array>& set) {
    std::vector<Array> params;
    for (int i = 0; i < 27; ++i) {
        auto it = set.find(i);
        if (it != set.end()) {
            params.push_back(it->second);
            continue;
        }
        switch (i) {
            case 2:
                params.push_back(Array::realVector(
                    {0.0625, 0.25, 0.375, 0.25, 0.0625, 0.0625, 0.25, 0.375, 0.25, 0.0625}));
                break;
            case 9:
                params.push_back(Array::realVector({5, 5}));
                break;
            default: {
                const double d[27] = {1,  0.04, 0, 0.1, 7,  3, 1,  200, 0, 0,  1,  16, 15, 0,
                                      96, 28,   0, 64,  28, 0, 96, 28,  0, 64, -1, 4,  2};
                params.push_back(Array::scalar(d[i]));
            }
        }
    }
    return params;
}

// Filter parameter of taps w: the L coefficients twice.
inline Array filterParam(const std::vector<double>& w) {
    std::vector<double> v = w;
    v.insert(v.end(), w.begin(), w.end());
    return Array::realVector(v);
}

// The dialog values of a fixed-point case: method, filter, the five role types (binary-point scaling) and
// the modes. Case has taps, coeffMode and the role types coeff, product, accum, memory and output.
template <typename Case>
std::map<int, Array> roleParams(const Case& c, int method, int rounding, int overflow) {
    return {
        {0, Array::scalar(method)},
        {2, filterParam(c.taps)},
        {10, Array::scalar(c.coeffMode)},
        {11, Array::scalar(c.coeff.wl)},
        {12, Array::scalar(c.coeff.fl)},
        {13, Array::scalar(0)},
        {14, Array::scalar(c.product.wl)},
        {15, Array::scalar(c.product.fl)},
        {16, Array::scalar(0)},
        {17, Array::scalar(c.accum.wl)},
        {18, Array::scalar(c.accum.fl)},
        {19, Array::scalar(0)},
        {20, Array::scalar(c.memory.wl)},
        {21, Array::scalar(c.memory.fl)},
        {22, Array::scalar(0)},
        {23, Array::scalar(c.output.wl)},
        {24, Array::scalar(c.output.fl)},
        {25, Array::scalar(rounding)},
        {26, Array::scalar(overflow)},
    };
}

inline std::shared_ptr<Plugin> plugin() {
    static std::shared_ptr<Plugin> p = Plugin::load("quobit");
    return p;
}

inline InputSpec image(std::vector<int32_t> dims, DataTypeId type = SS_DOUBLE, int32_t dimsMode = 0) {
    InputSpec s;
    s.dims = std::move(dims);
    s.dataType = type;
    s.dimsMode = dimsMode;
    return s;
}

inline std::unique_ptr<Block> makeBlock(const std::map<int, Array>& set, const InputSpec& input,
                                        Settings settings = {},
                                        const std::vector<OutputRequest>& outputs = {}) {
    auto b = std::make_unique<Block>(plugin(), "corner", settings);
    b->setParameters(cornerParams(set));
    b->initialize();
    b->propagate({input}, outputs);
    return b;
}

template <typename T>
std::vector<T> outputOf(const Block& b) {
    const size_t n = b.currentOutputBytes(0) / sizeof(T);
    std::vector<T> v(n);
    std::memcpy(v.data(), b.output(0), n * sizeof(T));
    return v;
}

template <typename T>
void setImage(Block& b, const std::vector<T>& v, const std::vector<int32_t>& current = {}) {
    b.setInput(0, v.data(), v.size() * sizeof(T), current);
}

// One step of a started block on image v; returns the output.
template <typename T, typename O = T>
std::vector<O> runOnce(Block& b, const std::vector<T>& v) {
    setImage(b, v);
    b.step();
    return outputOf<O>(b);
}

}  // namespace cornertest
