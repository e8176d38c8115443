// Corner metric configurations run through the equivalence harness: one generated unit per configuration,
// many steps per unit (images, sizes and tunable changes between steps), the simulation as the oracle.
// Units build with -Werror under UndefinedBehaviorSanitizer (and AddressSanitizer in a sanitized build).
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "../cornermetric/corner_support.h"
#include "cg/emit_c.h"
#include "cg/host_bridge.h"
#include "cg/sil.h"
#include "cg_test_util.h"
#include "dravo/host/types.h"

namespace cgcorner {

using cornertest::Array;
using cornertest::Block;

// Images that exercise the metric: noise over the whole range, blocks with sharp corners over a little
// noise (so that arcs pass and sums are long), the corners with NaN, +-Inf and extreme values sprinkled
// in (floating types) or the type's extremes (integers), a constant image, and (floating types) the
// corners with pixels whose circles are made to tell the kernel's choices on unordered and infinite
// values apart from plausible other ones.
enum class Scene { Noise, Corners, Specials, Constant, Crafted };

struct StepSpec {
    Scene scene = Scene::Corners;
    std::vector<int32_t> dims;  // current size (variable-size input); empty: the declared size
    std::vector<std::pair<int32_t, Array>> changes;
};

struct CornerCase {
    std::string name;
    std::map<int, Array> params;
    std::string type = "double";  // double, single, uint8, int16, fixed:s16:10, ...
    std::vector<int32_t> dims;
    bool variableSize = false;
    std::vector<StepSpec> steps;
    bool portable = false;  // also run the two-word integer helpers (units that need them)
    friend void PrintTo(const CornerCase& c, std::ostream* os) { *os << c.name; }
};

inline uint32_t lcg(uint32_t& s) {
    s = s * 1664525u + 1013904223u;
    return s >> 8;
}

// Values on [lo, hi] for the scene; floating scenes may hold non-finite values.
inline std::vector<double> sceneValues(Scene scene, int32_t rows, int32_t cols, double lo, double hi,
                                       bool floating, uint32_t seed) {
    std::vector<double> v(size_t(rows) * cols);
    const double span = hi - lo;
    for (int32_t c = 0; c < cols; ++c) {
        for (int32_t r = 0; r < rows; ++r) {
            double x = 0;
            const double u = double(lcg(seed) % 100000) / 100000.0;
            switch (scene) {
                case Scene::Noise:
                    x = lo + span * u;
                    break;
                case Scene::Constant:
                    x = lo + span * 0.375;
                    break;
                case Scene::Corners:
                case Scene::Specials:
                case Scene::Crafted: {
                    // Bright and dark blocks whose corners fall inside the image, a gradient, little noise.
                    const bool bright = (r / 5 + c / 6) % 3 == 1;
                    const bool dark = (r / 7 + c / 4) % 4 == 2;
                    x = lo + span * (0.4 + (bright ? 0.45 : 0.0) - (dark ? 0.35 : 0.0) + 0.002 * r +
                                     0.03 * (u - 0.5));
                    break;
                }
            }
            v[size_t(c) * rows + r] = x;
        }
    }
    if (scene == Scene::Specials) {
        const double inf = std::numeric_limits<double>::infinity();
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const double floatSpecials[] = {nan, inf, -inf, 1e300, -1e300, 3e38, -3e38, 0.0};
        const double intSpecials[] = {lo, hi, lo, hi, lo + 1, hi - 1};
        size_t k = 0;
        for (size_t i = 7; i < v.size(); i += 11, ++k)
            v[i] = floating ? floatSpecials[k % 8] : intSpecials[k % 6];
    }
    if (scene == Scene::Crafted && floating && rows >= 21 && cols >= 7) {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const int32_t rr[16] = {-1, 0, 1, 2, 3, 3, 3, 2, 1, 0, -1, -2, -3, -3, -3, -2};
        const int32_t cc[16] = {-3, -3, -3, -2, -1, 0, 1, 2, 3, 3, 3, 2, 1, 0, -1, -2};
        auto at = [&](int32_t r, int32_t c) -> double& { return v[size_t(c) * rows + r]; };
        const int32_t c0 = 3;
        // A NaN pixel among values far below (then far above) the type's limits: its limits are NaN,
        // so nothing qualifies.
        at(3, c0) = nan;
        for (int i = 0; i < 16; ++i)
            at(3 + rr[i], c0 + cc[i]) = -1e300;
        at(10, c0) = nan;
        for (int i = 0; i < 16; ++i)
            at(10 + rr[i], c0 + cc[i]) = 1e300;
        // A pixel far above the single range: its low limit (the pixel less t) lies above its high limit
        // (the largest single value), so 1e299 is brighter and darker at once; the rest of the circle
        // (positions 13 to 15 after the arc 0 to 12) counts it as brighter.
        at(17, c0) = 1e300;
        for (int i = 0; i < 16; ++i)
            at(17 + rr[i], c0 + cc[i]) = i <= 12 ? 2e300 : (i == 14 ? 1e299 : nan);
    }
    return v;
}

// The values as the port stores them: floats as such, integers and fixed point as stored integers
// (nearest, clamped to the word).
inline std::vector<uint8_t> portBytes(const std::vector<double>& v, DataTypeId id) {
    const auto& info = dravo::types::info(id);
    std::vector<uint8_t> b;
    auto put = [&b](const void* p, size_t n) {
        const auto* q = static_cast<const uint8_t*>(p);
        b.insert(b.end(), q, q + n);
    };
    for (double x : v) {
        if (id == SS_DOUBLE) {
            put(&x, 8);
        } else if (id == SS_SINGLE) {
            const float f = float(x);
            put(&f, 4);
        } else {
            const int32_t wl = info.wordLength, fl = info.fracLength;
            const double lo = info.isSigned ? -std::ldexp(1.0, wl - 1) : 0.0;
            const double hi = info.isSigned ? std::ldexp(1.0, wl - 1) - 1 : std::ldexp(1.0, wl) - 1;
            double s = std::nearbyint(std::ldexp(x, fl));
            s = s < lo ? lo : (s > hi ? hi : s);
            const int64_t q = int64_t(s);
            const size_t n = wl <= 8 ? 1 : wl <= 16 ? 2 : wl <= 32 ? 4 : 8;
            put(&q, n);  // little endian: the low bytes
        }
    }
    return b;
}

// The real-world range a scene spans for the type.
inline void sceneRange(DataTypeId id, double* lo, double* hi) {
    if (id == SS_DOUBLE || id == SS_SINGLE) {
        *lo = -0.5, *hi = 1.5;
        return;
    }
    const auto& info = dravo::types::info(id);
    const double scale = std::ldexp(1.0, -info.fracLength);
    *lo = info.isSigned ? -std::ldexp(1.0, info.wordLength - 1) * scale : 0.0;
    *hi = (info.isSigned ? std::ldexp(1.0, info.wordLength - 1) - 1 : std::ldexp(1.0, info.wordLength) - 1) *
          scale;
}

inline std::unique_ptr<Block> startedBlock(const CornerCase& c) {
    const DataTypeId id = *dravo::types::parseTypeName(c.type);
    auto block = cornertest::makeBlock(c.params, cornertest::image(c.dims, id, c.variableSize ? 1 : 0));
    block->start();
    return block;
}

inline std::vector<TarnCG::SilStep> silSteps(const CornerCase& c) {
    const DataTypeId id = *dravo::types::parseTypeName(c.type);
    const bool floating = id == SS_DOUBLE || id == SS_SINGLE;
    double lo = 0, hi = 0;
    sceneRange(id, &lo, &hi);
    std::vector<TarnCG::SilStep> steps;
    uint32_t seed = 17;
    for (const StepSpec& s : c.steps) {
        const std::vector<int32_t> dims = s.dims.empty() ? c.dims : s.dims;
        TarnCG::SilStep step;
        step.inputs.push_back(
            {portBytes(sceneValues(s.scene, dims[0], dims[1], lo, hi, floating, seed++), id),
             c.variableSize ? dims : std::vector<int32_t>{}});
        step.paramChanges = s.changes;
        steps.push_back(std::move(step));
    }
    return steps;
}

inline void runCase(const CornerCase& c) {
    std::unique_ptr<Block> block = startedBlock(c);
    const std::vector<TarnCG::SilStep> steps = silSteps(c);
    for (bool portable : {false, true}) {
        if (portable && !c.portable) break;
        CG::HarnessOptions o;
        o.workDir = cgtest::workDir(c.name + (portable ? "_portable" : ""));
        o.sanitize = true;
        o.portableInt = portable;
        TarnCG::SilResult r = TarnCG::runSilSteps(*block, "corner", "corner-metric", steps, o);
        EXPECT_TRUE(r.ran && r.identical) << (portable ? "two-word helpers: " : "") << r.verdict();
        EXPECT_EQ(r.steps, int32_t(steps.size()));
        if (portable) {
            EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(o.workDir) / CG::wideHeaderName()))
                << "the case is meant to need the wide helpers";
        }
    }
}

inline Array a(double v) {
    return Array::scalar(v);
}

// Fixed-point data types of the roles: {mode index, word length, fraction length} set to binary point.
inline void setRole(std::map<int, Array>& p, int modeIndex, int wl, int fl) {
    p[modeIndex] = a(0);
    p[modeIndex + 1] = a(wl);
    p[modeIndex + 2] = a(fl);
}

}  // namespace cgcorner
