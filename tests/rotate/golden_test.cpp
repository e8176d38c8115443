// Output corpus of the rotate block: a wide sweep of configurations (every interpolation, output size,
// angle source, placement and sine method; double, single, integer and fixed-point images with several
// working types and every rounding and overflow mode; odd and even sizes, near quarter turns, one and
// three planes, variable sizes, logging runs), each run's output dimensions and bytes hashed. The stored
// hashes were recorded before the kernel was restructured; any change to a single output bit fails here.
//
// DRAVO_ROTATE_GOLDEN_WRITE=1 rewrites the corpus file instead of comparing (only when numbers are meant
// to change, with the reason in the commit). DRAVO_PLUGIN_PATH may point at another build's plug-in, so a
// corpus can be recorded with the code before a change.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "block_support.h"
#include "dravo/host/types.h"

using namespace rotatetest;

namespace {

uint64_t fnv1a(const void* data, size_t n, uint64_t h) {
    const auto* p = static_cast<const unsigned char*>(data);
    for (size_t k = 0; k < n; ++k) {
        h ^= p[k];
        h *= 1099511628211ull;
    }
    return h;
}

// Deterministic samples (no library distribution, whose output may differ between standard libraries).
struct Lcg {
    uint64_t s;
    uint32_t next() {
        s = s * 6364136223846793005ull + 1442695040888963407ull;
        return uint32_t(s >> 33);
    }
};

// An image type: host type id, container bytes, and how a sample is made from a value in [0, 1).
struct ImageType {
    const char* name;
    DataTypeId id;
    int32_t bytes;
    bool fixedEngine;  // integer or fixed point: always the sine table
};

std::vector<unsigned char> imageBytes(const ImageType& t, int64_t n, uint64_t seed) {
    std::vector<unsigned char> out(size_t(n) * t.bytes);
    Lcg g{seed};
    for (int64_t k = 0; k < n; ++k) {
        // Mostly smooth with some extremes, so that bicubic overshoot reaches the overflow modes.
        const uint32_t r = g.next();
        double v = 0.5 + 0.45 * std::sin(0.37 * double(k)) + double(r % 1000) * 1e-4;
        if (r % 17 == 0) v = (r & 64) ? 0.999 : 0.0;
        v = std::min(v, 0.999);
        unsigned char* d = out.data() + size_t(k) * t.bytes;
        if (t.id == SS_DOUBLE) {
            const double x = 255.0 * v - 40.0;
            std::memcpy(d, &x, 8);
        } else if (t.id == SS_SINGLE) {
            const float x = float(255.0 * v - 40.0);
            std::memcpy(d, &x, 4);
        } else if (t.id == SS_UINT8) {
            d[0] = uint8_t(255.0 * v);
        } else if (t.id == dravo::types::registerFixedPoint(false, 12, 3)) {
            // Unsigned 12 bits in a 16-bit container: stored integers 0..4095.
            const uint16_t x = uint16_t(std::lround(4095.0 * v));
            std::memcpy(d, &x, 2);
        } else if (t.bytes == 2) {
            // int16 or a signed 16-bit fixed-point type: the whole signed range.
            const int16_t x = int16_t(std::lround(65535.0 * v - 32768.0));
            std::memcpy(d, &x, 2);
        } else {
            const int32_t x = int32_t(std::lround(4.0e6 * v - 2.0e6));
            std::memcpy(d, &x, 4);
        }
    }
    return out;
}

struct Case {
    std::string name;
    std::map<int, Array> params;
    ImageType type;
    std::vector<int32_t> dims;
    int32_t dimsMode = 0;
    std::vector<double> angles;  // port angle per step; empty: dialog angle, two steps
    DataTypeId angleType = SS_DOUBLE;
    std::vector<std::vector<int32_t>> currentDims;  // variable size: per step
    int logging = 0;
};

// The hash of every step's output dimensions and bytes, or of the error text when the block refuses.
uint64_t runHash(const Case& r) {
    uint64_t h = 1469598103934665603ull;
    try {
        Settings settings;
        settings.minMaxOverflowLogging = r.logging;
        std::vector<InputSpec> inputs = {image(r.dims, r.type.id, r.dimsMode)};
        if (!r.angles.empty()) inputs.push_back(image({1, 1}, r.angleType));
        auto b = makeBlock(r.params, inputs, settings);
        b->start();
        const size_t steps = r.angles.empty() ? std::max<size_t>(2, r.currentDims.size()) : r.angles.size();
        for (size_t s = 0; s < steps; ++s) {
            std::vector<int32_t> cur = r.currentDims.empty() ? std::vector<int32_t>{} : r.currentDims[s];
            int64_t n = 1;
            for (int32_t d : (cur.empty() ? r.dims : cur))
                n *= d;
            const std::vector<unsigned char> in = imageBytes(r.type, n, 1234 + 7 * s);
            b->setInput(0, in.data(), in.size(), cur);
            if (!r.angles.empty()) {
                const double a = r.angles[s];
                if (r.angleType == SS_DOUBLE) {
                    b->setInput(1, &a, sizeof a);
                } else if (r.angleType == SS_SINGLE) {
                    const float f = float(a);
                    b->setInput(1, &f, sizeof f);
                } else {  // signed 32-bit, 24 fraction bits
                    const int32_t q = int32_t(std::lround(a * 16777216.0));
                    b->setInput(1, &q, sizeof q);
                }
            }
            b->step();
            const std::vector<int32_t> dims = b->currentOutputDims(0);
            h = fnv1a(dims.data(), dims.size() * sizeof(int32_t), h);
            h = fnv1a(b->output(0), b->currentOutputBytes(0), h);
            // DRAVO_ROTATE_GOLDEN_DUMP=<case name>: that case's output elements as hexadecimal bytes.
            const char* dump = std::getenv("DRAVO_ROTATE_GOLDEN_DUMP");
            if (dump != nullptr && r.name == dump) {
                const auto* v = static_cast<const unsigned char*>(b->output(0));
                std::fprintf(stderr, "step %zu dims %d x %d\n", s, dims[0], dims[1]);
                for (size_t e = 0; e < b->currentOutputBytes(0); ++e)
                    std::fprintf(stderr, (e + 1) % size_t(r.type.bytes) == 0 ? "%02x\n" : "%02x", v[e]);
            }
        }
    } catch (const std::exception& e) {
        const std::string what = std::string("error:") + e.what();
        if (std::getenv("DRAVO_ROTATE_GOLDEN_VERBOSE") != nullptr)
            std::fprintf(stderr, "%s: %s\n", r.name.c_str(), e.what());
        h = fnv1a(what.data(), what.size(), h);
    }
    return h;
}

std::string num(double v) {
    std::ostringstream o;
    o.precision(10);
    o << v;
    return o.str();
}

// Dialog angles: generic, every quadrant, just off every quarter turn, exact quarter turns.
const double kHalfPi = 1.5707963267948966;
const std::vector<double> kAngles = {
    0.3, -0.7, 2.0, -2.6, 3.1, kHalfPi + 1e-3, kHalfPi - 1e-6, -kHalfPi - 1e-4, 2 * kHalfPi + 1e-5, kHalfPi};

std::vector<Case> floatingRuns() {
    std::vector<Case> runs;
    const ImageType types[] = {{"double", SS_DOUBLE, 8, false}, {"single", SS_SINGLE, 4, false}};
    const std::vector<std::vector<int32_t>> sizes = {{7, 10}, {12, 9, 3}, {22, 16}};
    for (const ImageType& t : types) {
        for (int method = 1; method <= 3; ++method) {
            for (int sizeMode = 1; sizeMode <= 2; ++sizeMode) {
                for (int sine = 1; sine <= 2; ++sine) {
                    for (size_t si = 0; si < sizes.size(); ++si) {
                        for (size_t ai = 0; ai < kAngles.size(); ++ai) {
                            // Every angle on the first size, a spread of them on the others.
                            if (si > 0 && (ai + si + size_t(method)) % 3 != 0) continue;
                            Case r;
                            r.type = t;
                            r.dims = sizes[si];
                            r.params = {{0, Array::scalar(sizeMode)},
                                        {2, Array::scalar(kAngles[ai])},
                                        {5, Array::scalar(sine)},
                                        {6, Array::scalar(method == 3 ? -7.5 : 11.0)},
                                        {7, Array::scalar(method)}};
                            r.name = std::string(t.name) + " m" + std::to_string(method) + " o" +
                                     std::to_string(sizeMode) + " s" + std::to_string(sine) + " size" +
                                     std::to_string(si) + " a" + num(kAngles[ai]);
                            runs.push_back(r);
                        }
                        // Port angles over three steps, both placements, a maximum below pi.
                        for (int placement = 1; placement <= 2; ++placement) {
                            Case r;
                            r.type = t;
                            r.dims = sizes[si];
                            r.angleType = t.id;
                            r.angles = {0.45, -2.2 - 0.1 * double(si), 3.0};
                            r.params = {{0, Array::scalar(sizeMode)}, {1, Array::scalar(2)},
                                        {3, Array::scalar(2.5)},      {4, Array::scalar(placement)},
                                        {5, Array::scalar(sine)},     {7, Array::scalar(method)}};
                            if (sizes[si].size() == 3) r.params[6] = Array::realVector({1.0, -2.0, 300.0});
                            r.name = std::string(t.name) + " port m" + std::to_string(method) + " o" +
                                     std::to_string(sizeMode) + " s" + std::to_string(sine) + " size" +
                                     std::to_string(si) + " p" + std::to_string(placement);
                            runs.push_back(r);
                        }
                    }
                }
            }
            // Variable sizes: the current size changes between steps.
            Case r;
            r.type = t;
            r.dims = {16, 12};
            r.dimsMode = 1;
            r.currentDims = {{9, 5}, {16, 12}, {11, 12}};
            r.params = {{2, Array::scalar(-2.0)}, {7, Array::scalar(method)}};
            r.name = std::string(t.name) + " variable m" + std::to_string(method);
            runs.push_back(r);
        }
    }
    return runs;
}

// Fixed-point work: a working-type set, rounding and overflow modes cycle through the cases, so that
// every mode meets every method and image type without the whole cross product.
struct Working {
    const char* name;
    std::map<int, double> params;
};

std::vector<Case> fixedRuns() {
    std::vector<Case> runs;
    const ImageType types[] = {{"uint8", SS_UINT8, 1, true},
                               {"int16", SS_INT16, 2, true},
                               {"sfix16_8", dravo::types::registerFixedPoint(true, 16, 8), 2, true},
                               {"ufix12_3", dravo::types::registerFixedPoint(false, 12, 3), 2, true},
                               {"sfix32_10", dravo::types::registerFixedPoint(true, 32, 10), 4, true}};
    const Working working[] = {
        {"p32.16 a32.16", {{11, 0}, {12, 32}, {13, 16}, {14, 0}, {15, 32}, {16, 16}}},
        {"p40.22 a=p", {{11, 0}, {12, 40}, {13, 22}, {14, 3}}},
        {"p20.10 a24.8", {{11, 0}, {12, 20}, {13, 10}, {14, 0}, {15, 24}, {16, 8}}},
        {"p=in a=in", {{11, 2}, {14, 2}}},
        {"p32.10 a32.10", {{11, 0}, {12, 32}, {13, 10}, {14, 0}, {15, 32}, {16, 10}}},
        {"p64.30 a=p", {{11, 0}, {12, 64}, {13, 30}, {14, 3}}},
    };
    const std::vector<std::vector<int32_t>> sizes = {{10, 21}, {9, 8, 3}, {16, 22}};
    int k = 0;
    for (const ImageType& t : types) {
        for (int method = 1; method <= 3; ++method) {
            for (int sizeMode = 1; sizeMode <= 2; ++sizeMode) {
                for (size_t si = 0; si < sizes.size(); ++si) {
                    for (size_t ai = 0; ai < kAngles.size(); ++ai) {
                        if ((ai + si) % 2 != 0) continue;
                        ++k;
                        const Working& w = working[k % 6];
                        const int rounding = 1 + k % 7, overflow = 1 + (k / 7) % 2;
                        Case r;
                        r.type = t;
                        r.dims = sizes[si];
                        r.params = {{0, Array::scalar(sizeMode)}, {2, Array::scalar(kAngles[ai])},
                                    {5, Array::scalar(2)},        {6, Array::scalar(method == 2 ? 3 : 100)},
                                    {7, Array::scalar(method)},   {20, Array::scalar(rounding)},
                                    {21, Array::scalar(overflow)}};
                        for (const auto& [i, v] : w.params)
                            r.params[i] = Array::scalar(v);
                        // Now and then an output type of its own.
                        if (k % 5 == 0) {
                            r.params[17] = Array::scalar(0);
                            r.params[18] = Array::scalar(16);
                            r.params[19] = Array::scalar(k % 10 == 0 ? 6 : -1);
                        }
                        // Angle values of several precisions.
                        r.params[8] = Array::scalar(k % 3 == 0 ? 0 : 1);
                        r.params[9] = Array::scalar(k % 2 == 0 ? 16 : 32);
                        r.params[10] = Array::scalar(k % 2 == 0 ? 12 : 28);
                        r.name = std::string(t.name) + " m" + std::to_string(method) + " o" +
                                 std::to_string(sizeMode) + " size" + std::to_string(si) + " a" +
                                 num(kAngles[ai]) + " " + w.name + " r" + std::to_string(rounding) + " v" +
                                 std::to_string(overflow) + (k % 5 == 0 ? " out16" : "");
                        runs.push_back(r);
                    }
                    // Port angles (s32.24), both placements.
                    ++k;
                    Case r;
                    r.type = t;
                    r.dims = sizes[si];
                    r.angles = {0.45, -2.2 - 0.1 * double(si), 3.0, 1.5708};
                    r.angleType = dravo::types::registerFixedPoint(true, 32, 24);
                    r.params = {{0, Array::scalar(sizeMode)},   {1, Array::scalar(2)},
                                {3, Array::scalar(2.5)},        {4, Array::scalar(1 + k % 2)},
                                {5, Array::scalar(2)},          {7, Array::scalar(method)},
                                {20, Array::scalar(1 + k % 7)}, {21, Array::scalar(1 + (k / 7) % 2)}};
                    for (const auto& [i, v] : working[k % 6].params)
                        r.params[i] = Array::scalar(v);
                    if (sizes[si].size() == 3) r.params[6] = Array::realVector({1.0, 20.0, 300.0});
                    r.name = std::string(t.name) + " port m" + std::to_string(method) + " o" +
                             std::to_string(sizeMode) + " size" + std::to_string(si) + " k" +
                             std::to_string(k);
                    runs.push_back(r);
                }
            }
        }
        // Variable sizes.
        Case r;
        r.type = t;
        r.dims = {16, 12};
        r.dimsMode = 1;
        r.currentDims = {{9, 5}, {16, 12}, {11, 12}};
        r.params = {{2, Array::scalar(-2.0)}, {5, Array::scalar(2)}, {7, Array::scalar(3)}};
        r.name = std::string(t.name) + " variable";
        runs.push_back(r);
    }
    // Logging runs of floating images take the fixed-point engine with the image's type as working type.
    for (const ImageType& t :
         {ImageType{"double", SS_DOUBLE, 8, false}, ImageType{"single", SS_SINGLE, 4, false}}) {
        for (int method = 1; method <= 3; ++method) {
            for (double angle : {0.3, -2.6, kHalfPi + 1e-3}) {
                Case r;
                r.type = t;
                r.dims = {9, 8, 3};
                r.logging = 1;
                r.params = {{0, Array::scalar(method == 2 ? 2 : 1)},
                            {2, Array::scalar(angle)},
                            {5, Array::scalar(2)},
                            {7, Array::scalar(method)}};
                r.name = std::string(t.name) + " logging m" + std::to_string(method) + " a" + num(angle);
                runs.push_back(r);
            }
        }
    }
    return runs;
}

TEST(RotateGolden, EveryOutputBitIsAsRecorded) {
    std::vector<Case> runs = floatingRuns();
    for (Case& r : fixedRuns())
        runs.push_back(std::move(r));
    std::map<std::string, uint64_t> now;
    for (const Case& r : runs) {
        ASSERT_FALSE(now.count(r.name)) << "duplicate case name " << r.name;
        now[r.name] = runHash(r);
    }

    const char* write = std::getenv("DRAVO_ROTATE_GOLDEN_WRITE");
    if (write != nullptr && std::string(write) == "1") {
        std::ofstream out(DRAVO_ROTATE_GOLDEN);
        for (const auto& [name, h] : now)
            out << std::hex << h << std::dec << ' ' << name << '\n';
        GTEST_SKIP() << "corpus written: " << now.size() << " runs";
    }

    std::ifstream in(DRAVO_ROTATE_GOLDEN);
    ASSERT_TRUE(in.good()) << "no corpus at " << DRAVO_ROTATE_GOLDEN;
    std::map<std::string, uint64_t> recorded;
    std::string line;
    while (std::getline(in, line)) {
        const size_t sp = line.find(' ');
        if (sp == std::string::npos) continue;
        recorded[line.substr(sp + 1)] = std::stoull(line.substr(0, sp), nullptr, 16);
    }
    EXPECT_EQ(recorded.size(), now.size());
    int differing = 0;
    for (const auto& [name, h] : now) {
        auto it = recorded.find(name);
        if (it == recorded.end()) {
            ADD_FAILURE() << "not in the corpus: " << name;
            continue;
        }
        if (it->second != h && ++differing <= 40) ADD_FAILURE() << "output differs: " << name;
    }
    EXPECT_EQ(differing, 0);
}

}  // namespace
