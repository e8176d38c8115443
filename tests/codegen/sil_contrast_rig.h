// Shared pieces of the contrast adjustment code-generation tests: the block with its dialog defaults,
// test images of every kind the block meets, and a started instance.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "dravo/host/engine.h"

namespace cgcontrast {

using dravo::host::Array;

// Dialog parameters: the dialog's defaults with the given ones replaced.
std::vector<Array> params(const std::map<int, Array>& set);

enum class Image {
    Random,    // spread over most of the type's range (floating: [-3, 5))
    Narrow,    // a span of a few levels (integers: below the bin count)
    Constant,  // one value
    Ramp,      // 0, 1, 2, ... (wrapping inside the type)
    Special,   // floating: a leading NaN, NaN, +Inf and -Inf among random values
    AllNaN,    // floating: NaN only
    Huge,      // floating: values near +-the largest finite value (the span overflows the type)
    NaNs,      // floating: NaN pixels (not leading) among random values, no infinity
    Sparse,    // the levels 3, 5, 7, 10 above the lowest value (floating: 0.3 ... 1.0) in turn
    BinEdge,   // floating: 0, 41, 30.75, 30.75, 30.75 in turn; with 2 bins the single product of 30.75
               // is 0.5 - 2^-25, whose bin is 0 when 0.5 is added in double and 1 in single precision
};

// Stored bytes of n pixels of the type (fixed point: sign- or zero-extended stored integers).
std::vector<uint8_t> image(const std::string& type, size_t n, Image kind, uint32_t seed);

struct Config {
    std::map<int, Array> params;
    std::string type = "double";
    std::vector<int32_t> dims{};
    bool variableSize = false;
    dravo::host::Settings settings{};
};

// Loaded, parameterised, propagated and started.
std::unique_ptr<dravo::host::Block> startBlock(const Config& c);

}  // namespace cgcontrast
