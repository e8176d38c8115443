// Drives the contrast adjustment plug-in through the host engine: dialog values by index, propagation,
// steps, tuning.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "dravo/host/engine.h"
#include "dravo/host/types.h"
#include "../support/host_block.h"

namespace contrast_test {

using dravo::host::Array;
using dravo::host::Block;
using dravo::host::BlockError;
using dravo::host::InputSpec;
using dravo::host::Plugin;
using dravo::host::Settings;
using host_test::errorOf;
using host_test::typeId;

inline std::shared_ptr<Plugin> merrowPlugin() {
    static std::shared_ptr<Plugin> plugin = Plugin::load("merrow");
    return plugin;
}

// The 15 dialog values; defaults: histogram mode, 1% each end, 256 bins, full output range, 64-bit
// products, nearest, saturate.
struct Dialog {
    double inputMode = 3;
    std::vector<double> inputRange = {0, 1};
    std::vector<double> fractions = {0.01, 0.01};
    double checkBox = 0;
    double numBins = 256;
    double outputMode = 1;
    std::vector<double> outputRange = {0, 1};
    double product1Mode = 2, product1WordLength = 64, product1FracLength = 32;
    double product2Mode = 2, product2WordLength = 64, product2FracLength = 32;
    double rounding = 4;  // nearest
    double overflow = 2;  // saturate

    std::vector<Array> arrays() const {
        return {Array::scalar(inputMode),
                Array::realVector(inputRange),
                Array::realVector(fractions),
                Array::scalar(checkBox),
                Array::scalar(numBins),
                Array::scalar(outputMode),
                Array::realVector(outputRange),
                Array::scalar(product1Mode),
                Array::scalar(product1WordLength),
                Array::scalar(product1FracLength),
                Array::scalar(product2Mode),
                Array::scalar(product2WordLength),
                Array::scalar(product2FracLength),
                Array::scalar(rounding),
                Array::scalar(overflow)};
    }
};

inline std::unique_ptr<Block> makeBlock(const Dialog& d, Settings settings = {}) {
    auto b = std::make_unique<Block>(merrowPlugin(), "contrast", settings);
    b->setParameters(d.arrays());
    return b;
}

inline InputSpec image(std::vector<int32_t> dims, DataTypeId type, int32_t dimsMode = 0) {
    InputSpec s;
    s.dims = std::move(dims);
    s.dataType = type;
    s.dimsMode = dimsMode;
    return s;
}

// A started block for an n-pixel column of the given type.
inline std::unique_ptr<Block> startedBlock(const Dialog& d, DataTypeId type, int32_t n,
                                           Settings settings = {}) {
    auto b = makeBlock(d, settings);
    b->initialize();
    b->propagate({image({n, 1}, type)});
    b->start();
    return b;
}

template <typename T>
std::vector<T> step(Block& b, const std::vector<T>& input, const std::vector<int32_t>& current = {}) {
    b.setInput(0, input.data(), input.size() * sizeof(T), current);
    b.step();
    return host_test::outputAs<T>(b);
}

}  // namespace contrast_test
