// Drives the scale-and-convert plug-in through the host engine: dialog values, propagation, steps.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dravo/host/engine.h"
#include "dravo/host/types.h"
#include "../support/host_block.h"

namespace convert_test {

using dravo::host::Array;
using dravo::host::Block;
using dravo::host::BlockError;
using dravo::host::InputSpec;
using dravo::host::OutputRequest;
using dravo::host::Plugin;
using dravo::host::Settings;
using host_test::errorOf;
using host_test::typeId;

inline std::shared_ptr<Plugin> ubrinPlugin() {
    static std::shared_ptr<Plugin> plugin = Plugin::load("ubrin");
    return plugin;
}

struct Dialog {
    double choice = 4;  // uint8
    double isSigned = 1;
    double wordLength = 16;
    double fracLength = 0;
};

inline std::unique_ptr<Block> makeBlock(const Dialog& d, Settings settings = {}) {
    auto b = std::make_unique<Block>(ubrinPlugin(), "convert", settings);
    b->setParameters({Array::scalar(d.choice), Array::scalar(d.isSigned), Array::scalar(d.wordLength),
                      Array::scalar(d.fracLength)});
    return b;
}

// One step of a block already propagated and started; returns the output bytes.
template <typename In>
std::vector<uint8_t> stepWith(Block& b, const std::vector<In>& input,
                              const std::vector<int32_t>& currentDims = {}) {
    b.setInput(0, input.data(), input.size() * sizeof(In), currentDims);
    b.step();
    const auto* p = static_cast<const uint8_t*>(b.output(0));
    return std::vector<uint8_t>(p, p + b.currentOutputBytes(0));
}

template <typename Out>
std::vector<Out> as(const std::vector<uint8_t>& bytes) {
    std::vector<Out> v(bytes.size() / sizeof(Out));
    std::memcpy(v.data(), bytes.data(), v.size() * sizeof(Out));
    return v;
}

}  // namespace convert_test
