// Runs the pad plug-in through the host: dialog values by index over sensible defaults, one input
// (and optionally the pad-value port), and the output as bytes.
#pragma once

#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "dravo/host/engine.h"

namespace padtest {

using dravo::host::Array;
using dravo::host::Block;
using dravo::host::InputSpec;
using dravo::host::OutputRequest;
using dravo::host::Plugin;

// 2-D form, constant 0 from the dialog, pad sizes 1 at both ends of rows and columns.
inline std::vector<Array> defaultPadParams() {
    std::vector<Array> p;
    p.push_back(Array::scalar(1));        // 0 method
    p.push_back(Array::scalar(1));        // 1 value source
    p.push_back(Array::scalar(0));        // 2 pad value
    p.push_back(Array::scalar(1));        // 3 how sizes are given
    p.push_back(Array::scalar(1));        // 4 size switch
    p.push_back(Array::scalar(3));        // 5 rows: where
    p.push_back(Array::scalar(1));        // 6 rows: pad size
    p.push_back(Array::scalar(8));        // 7 row size
    p.push_back(Array::scalar(1));        // 8 size switch
    p.push_back(Array::scalar(3));        // 9 columns: where
    p.push_back(Array::scalar(1));        // 10 columns: pad size
    p.push_back(Array::scalar(8));        // 11 column size
    p.push_back(Array::scalar(1));        // 12 truncation action
    p.push_back(Array::scalar(1));        // 13 N-D dims choice
    p.push_back(Array::scalar(1));        // 14 N-D where
    p.push_back(Array::scalar(1));        // 15 N-D size switch
    p.push_back(Array::realVector({8}));  // 16 N-D output sizes
    p.push_back(Array::realVector({1}));  // 17 N-D dims
    p.push_back(Array::realVector({0}));  // 18 N-D begin
    p.push_back(Array::realVector({1}));  // 19 N-D end
    p.push_back(Array::scalar(2));        // 20 form
    return p;
}

inline std::shared_ptr<Plugin> padPlugin() {
    static std::shared_ptr<Plugin> plugin = Plugin::load("dashel");
    return plugin;
}

inline std::unique_ptr<Block> makePadBlock(const std::map<int32_t, Array>& overrides) {
    auto block = std::make_unique<Block>(padPlugin(), "pad");
    std::vector<Array> params = defaultPadParams();
    for (const auto& [index, value] : overrides) {
        params[static_cast<size_t>(index)] = value;
    }
    block->setParameters(std::move(params));
    return block;
}

template <class T>
std::vector<T> outputAs(const Block& b) {
    std::vector<T> v(b.currentOutputBytes(0) / sizeof(T));
    std::memcpy(v.data(), b.output(0), v.size() * sizeof(T));
    return v;
}

}  // namespace padtest
