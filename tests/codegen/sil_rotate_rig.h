// The rotate block's equivalence rig: one generated unit per configuration, run over several steps (port
// angles, frames of a variable-size image, fill values tuned between steps), each step compared bit for bit
// with the simulation. Many angles and frames share one compile, which keeps the sweep cheap.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "cg/sil.h"
#include "cg_test_util.h"
#include "dravo/host/engine.h"
#include "dravo/host/types.h"

namespace rotatesil {

using dravo::host::Array;
using dravo::host::Block;
using dravo::host::InputSpec;
using dravo::host::Plugin;

constexpr double kPi = 3.141592653589793;

inline std::shared_ptr<Plugin> plugin() {
    static std::shared_ptr<Plugin> p = Plugin::load("pellor");
    return p;
}

// A port or image type as the tests write its bytes: floating, or a stored integer of `bits` bits with
// `frac` fraction bits in a container of `bytes` bytes.
struct DataType {
    std::string name;
    bool floating = false;
    bool isSigned = true;
    int bits = 64, frac = 0, bytes = 8;
};

inline DataType dataType(const std::string& name) {
    DataType t;
    t.name = name;
    if (name == "double" || name == "single") {
        t.floating = true;
        t.bytes = name == "double" ? 8 : 4;
        return t;
    }
    if (name.rfind("fixed:", 0) == 0) {
        // fixed:s16:8
        t.isSigned = name[6] == 's';
        const size_t colon = name.find(':', 7);
        t.bits = std::stoi(name.substr(7, colon - 7));
        t.frac = std::stoi(name.substr(colon + 1));
    } else {
        t.isSigned = name[0] == 'i';
        t.bits = std::stoi(name.substr(t.isSigned ? 3 : 4));
    }
    t.bytes = t.bits <= 8 ? 1 : t.bits <= 16 ? 2 : t.bits <= 32 ? 4 : 8;
    return t;
}

// One element's bytes: a floating value, or the stored integer nearest to v * 2^frac, held in the word.
inline void putValue(const DataType& t, double v, uint8_t* out) {
    if (t.floating) {
        if (t.bytes == 8) {
            std::memcpy(out, &v, 8);
        } else {
            const float f = float(v);
            std::memcpy(out, &f, 4);
        }
        return;
    }
    const double lo = t.isSigned ? -std::ldexp(1.0, t.bits - 1) : 0.0;
    const double hi = t.isSigned ? std::ldexp(1.0, t.bits - 1) - 1.0 : std::ldexp(1.0, t.bits) - 1.0;
    const double s = std::min(std::max(std::nearbyint(std::ldexp(v, t.frac)), lo), hi);
    const int64_t stored = int64_t(s);
    std::memcpy(out, &stored, size_t(t.bytes));  // little-endian: the low bytes
}

// Samples with many distinct values: floating images get fractions and negative values; integer and
// fixed-point images span their whole word, so rounding, wrap and saturation all happen.
inline std::vector<uint8_t> imageBytes(const DataType& t, size_t n, uint32_t seed) {
    std::vector<uint8_t> b(n * size_t(t.bytes));
    for (size_t k = 0; k < n; ++k) {
        double v;
        if (t.floating) {
            v = double((k * 37 + seed) % 101) + 0.25 * double(k % 7) - 20.0;
        } else {
            const double span = std::ldexp(1.0, t.bits);
            const double stored = std::fmod(double(k * 2654435761u + seed * 40503u), span);
            v = std::ldexp(t.isSigned ? stored - span / 2 : stored, -t.frac);
        }
        putValue(t, v, &b[k * size_t(t.bytes)]);
    }
    return b;
}

// One step: the image's current size (variable-size units), the port angle, a fill change before it.
struct Frame {
    std::vector<int32_t> dims;
    double angle = NAN;
    std::vector<double> fill;
};

struct Unit {
    std::string name;
    std::map<int, Array> params;
    std::string type = "double";
    std::vector<int32_t> dims;  // the port's size (the largest frame of a variable-size image)
    bool variableSize = false;
    std::string angleType;  // set: the angle comes from the port, of this type
    std::vector<Frame> frames = {Frame{}};
    bool portable = false;  // also checked with the two-word 128-bit helpers
    bool address = false;   // also built with AddressSanitizer
    friend void PrintTo(const Unit& u, std::ostream* os) { *os << u.name; }
};

inline std::string tag(double v) {
    std::ostringstream s;
    s.precision(12);
    s << v;
    std::string t = s.str();
    for (char& ch : t)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return t;
}

// The block's dialog: the floating defaults of the floating-point tests, or the dialog's own defaults for
// integer and fixed-point images (angle values best precision in 32 bits, products and sums s40.22, round
// to nearest, saturate), with the unit's own choices on top.
inline std::vector<Array> dialog(const Unit& u) {
    const double floating[22] = {1, 1,  0.5, kPi, 2,  1,  0, 2,  2,  16, 15,
                                 2, 32, 30,  3,   32, 30, 2, 16, 15, 3,  1};
    const double fixed[22] = {1, 1, 0.5, kPi, 2, 2, 0, 2, 1, 32, 30, 0, 40, 22, 3, 40, 22, 2, 16, 8, 4, 2};
    const bool isFixed = !dataType(u.type).floating;
    std::vector<Array> p;
    for (int i = 0; i < 22; ++i) {
        auto it = u.params.find(i);
        if (it != u.params.end())
            p.push_back(it->second);
        else if (i == 1 && !u.angleType.empty())
            p.push_back(Array::scalar(2));
        else
            p.push_back(Array::scalar(isFixed ? fixed[i] : floating[i]));
    }
    return p;
}

inline std::unique_ptr<Block> startedBlock(const Unit& u) {
    auto block = std::make_unique<Block>(plugin(), "rotate");
    block->setParameters(dialog(u));
    block->initialize();
    InputSpec image;
    image.dims = u.dims;
    image.dataType = *dravo::types::parseTypeName(u.type);
    image.dimsMode = u.variableSize ? 1 : 0;
    std::vector<InputSpec> offers = {image};
    if (!u.angleType.empty()) {
        InputSpec angle;
        angle.dims = {1, 1};
        angle.dataType = *dravo::types::parseTypeName(u.angleType);
        offers.push_back(angle);
    }
    block->propagate(offers);
    block->start();
    return block;
}

inline std::vector<TarnCG::SilStep> stepsOf(const Unit& u) {
    const DataType image = dataType(u.type);
    std::vector<TarnCG::SilStep> steps;
    uint32_t seed = 5;
    for (const Frame& f : u.frames) {
        const std::vector<int32_t>& dims = f.dims.empty() ? u.dims : f.dims;
        size_t n = 1;
        for (int32_t d : dims)
            n *= size_t(d);
        TarnCG::SilStep s;
        s.inputs.push_back({imageBytes(image, n, seed), u.variableSize ? dims : std::vector<int32_t>{}});
        seed += 17;
        if (!u.angleType.empty()) {
            const DataType at = dataType(u.angleType);
            std::vector<uint8_t> a(size_t(at.bytes));
            putValue(at, f.angle, a.data());
            s.inputs.push_back({a, {}});
        }
        if (!f.fill.empty()) s.paramChanges.push_back({6, Array::realVector(f.fill)});
        steps.push_back(s);
    }
    return steps;
}

// Generates, builds (-Werror, UndefinedBehaviorSanitizer) and runs the unit over the unit's steps and
// expects every step identical to the simulation's; a portable unit is checked once more from a fresh
// block with the two-word helpers forced.
inline void expectIdenticalSteps(const Unit& u) {
    for (int pass = 0; pass < (u.portable ? 2 : 1); ++pass) {
        std::unique_ptr<Block> block = startedBlock(u);
        CG::HarnessOptions o;
        o.workDir = cgtest::workDir("rotate_" + u.name + (pass ? "_portable" : ""));
        o.sanitize = true;
        o.portableInt = pass == 1;
        if (u.address) {
            o.extraFlags = {"-fsanitize=address", "-fno-omit-frame-pointer"};
            // Only the unit's accesses are checked here; what the driver keeps to its end is not a fault.
            setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
        }
        const TarnCG::SilResult r = TarnCG::runSilSteps(*block, "rotate", "rotate", stepsOf(u), o);
        EXPECT_TRUE(r.ran && r.identical) << (pass ? "two-word helpers: " : "") << r.verdict();
        EXPECT_EQ(r.steps, int32_t(u.frames.size()));
    }
}

}  // namespace rotatesil
