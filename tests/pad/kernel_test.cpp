// The pad kernels against the closed-form reference, over methods, shapes, pad lengths beyond the data,
// truncation at either end, element sizes of every storage type, and complex widening.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "kernel_rig.h"

using namespace padtest;

namespace {

std::vector<uint8_t> bytesOf(double v) {
    std::vector<uint8_t> b(sizeof v);
    std::memcpy(b.data(), &v, sizeof v);
    return b;
}

std::vector<double> asDoubles(const std::vector<uint8_t>& b) {
    std::vector<double> v(b.size() / sizeof(double));
    std::memcpy(v.data(), b.data(), v.size() * sizeof(double));
    return v;
}

// A 1-D line of doubles [1 2 3 ...] padded by one method.
std::vector<double> padLine(int method, std::vector<double> data, int32_t before, int32_t after,
                            double value = 0) {
    PadCase c{{static_cast<int32_t>(data.size())}, {before}, {after}, method};
    KernelRig rig(c, 8, false, bytesOf(value), false, bytesOf(0.0));
    std::memcpy(rig.input.data(), data.data(), data.size() * sizeof(double));
    rig.run();
    return asDoubles(rig.output);
}

struct LineCase {
    int method;
    int32_t before, after;
    std::vector<double> expected;
};

class PadLineExamples : public ::testing::TestWithParam<LineCase> {};

TEST_P(PadLineExamples, MatchHandComputedValues) {
    const LineCase& lc = GetParam();
    EXPECT_EQ(padLine(lc.method, {1, 2, 3}, lc.before, lc.after, 9), lc.expected);
}

INSTANTIATE_TEST_SUITE_P(Methods, PadLineExamples,
                         ::testing::Values(
                             // Pads longer than the data keep wrapping.
                             LineCase{3, 5, 4, {2, 3, 3, 2, 1, 1, 2, 3, 3, 2, 1, 1}},
                             LineCase{4, 5, 4, {2, 3, 1, 2, 3, 1, 2, 3, 1, 2, 3, 1}},
                             LineCase{2, 5, 4, {1, 1, 1, 1, 1, 1, 2, 3, 3, 3, 3, 3}},
                             LineCase{1, 2, 1, {9, 9, 1, 2, 3, 9}},
                             // Negative amounts drop elements at that end and fill nothing there.
                             LineCase{2, -1, 2, {2, 3, 3, 3}}, LineCase{3, 2, -2, {1, 1, 1}},
                             LineCase{4, -2, 3, {3, 3, 3, 3}}, LineCase{1, -1, -1, {2}}));

TEST(PadKernel, SingleKeptElementRepeatsForSymmetricAndCircular) {
    EXPECT_EQ(padLine(3, {7}, 3, 2), (std::vector<double>{7, 7, 7, 7, 7, 7}));
    EXPECT_EQ(padLine(4, {7}, 2, 3), (std::vector<double>{7, 7, 7, 7, 7, 7}));
}

TEST(PadKernel, ReplicateCornersTakeNearestDataCorner) {
    // 2 x 2 data [1 3; 2 4] (column-major 1 2 3 4) padded by 1 everywhere.
    PadCase c{{2, 2}, {1, 1}, {1, 1}, 2};
    KernelRig rig(c, 8, false, bytesOf(0), false, bytesOf(0));
    const double data[4] = {1, 2, 3, 4};
    std::memcpy(rig.input.data(), data, sizeof data);
    rig.run();
    const std::vector<double> out = asDoubles(rig.output);
    // Corners of the 4 x 4 output at (0,0), (3,0), (0,3), (3,3).
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(out[3], 2);
    EXPECT_EQ(out[12], 3);
    EXPECT_EQ(out[15], 4);
}

struct ShapeCase {
    std::string name;
    PadCase c;
};

void PrintTo(const ShapeCase& c, std::ostream* os) {
    *os << c.name;
}

std::vector<ShapeCase> shapeCases() {
    std::vector<ShapeCase> cases;
    const std::vector<PadCase> geometries = {
        {{5}, {2}, {3}, 0},
        {{4}, {9}, {11}, 0},  // pads longer than the data, several periods
        {{6, 1}, {1, 0}, {2, 0}, 0},
        {{1, 6}, {0, 2}, {0, 7}, 0},
        {{5, 4}, {2, 1}, {3, 2}, 0},
        {{5, 4}, {-2, 3}, {1, -1}, 0},  // truncation at the start of one dimension, end of the other
        {{5, 4}, {4, -1}, {-3, 6}, 0},
        {{3, 2}, {7, 5}, {8, 6}, 0},  // long pads in both dimensions: corners
        {{4, 3, 2}, {1, 2, 1}, {2, 1, 3}, 0},
        {{4, 3, 3}, {0, 0, 2}, {0, 0, 1}, 0},  // only a higher dimension: merged columns
        {{4, 3, 3}, {0, 1, 0}, {0, 0, 0}, 0},
        {{4, 3, 5}, {-1, 2, -2}, {2, -1, 4}, 0},
        {{3, 2, 2, 3}, {1, 0, 2, 1}, {0, 3, 1, 2}, 0},
        {{2, 3, 2, 2}, {-1, 1, 0, -1}, {1, -1, 5, 1}, 0},
        {{3, 4}, {0, 0}, {0, 0}, 0},           // nothing to do: a plain copy
        {{3, 2}, {0, 40}, {0, 37}, 0},         // long runs of whole columns
        {{3, 4, 5}, {0, 2, 1}, {0, 1, 2}, 0},  // merged column; the next dimension's lines padded too
        {{3, 4, 5}, {0, -1, 2}, {0, 1, -2}, 0},
        {{2, 3, 4, 2}, {1, -1, 2, 0}, {0, 2, 1, 1}, 0},
    };
    for (int method = 1; method <= 4; ++method) {
        for (size_t g = 0; g < geometries.size(); ++g) {
            PadCase c = geometries[g];
            c.method = method;
            cases.push_back({"m" + std::to_string(method) + "_g" + std::to_string(g), c});
        }
    }
    return cases;
}

class PadAgainstReference : public ::testing::TestWithParam<std::tuple<ShapeCase, size_t>> {};

TEST_P(PadAgainstReference, EveryElementMatches) {
    const ShapeCase& sc = std::get<0>(GetParam());
    const size_t elem = std::get<1>(GetParam());
    // A pad value of distinct bytes, and one of a single repeated byte (written by memset).
    for (const bool uniform : {false, true}) {
        SCOPED_TRACE(uniform ? "uniform pad bytes" : "distinct pad bytes");
        std::vector<uint8_t> pad(elem);
        for (size_t i = 0; i < elem; ++i) {
            pad[i] = static_cast<uint8_t>(uniform ? 0xC3 : 0xA0 + i);
        }
        KernelRig rig(sc.c, elem, false, pad, false, std::vector<uint8_t>(elem, 0));
        rig.run();
        EXPECT_EQ(rig.output, rig.expected());
        // A second hit gives the same result (indices restart from the work vectors).
        rig.run();
        EXPECT_EQ(rig.output, rig.expected());
    }
}

// Element sizes: boolean/int8/uint8 (1), int16 and complex int8 (2), single/int32 (4), double and
// complex single (8), complex double and 128-bit fixed point (16), and an odd size.
INSTANTIATE_TEST_SUITE_P(Shapes, PadAgainstReference,
                         ::testing::Combine(::testing::ValuesIn(shapeCases()),
                                            ::testing::Values(size_t{1}, size_t{2}, size_t{4}, size_t{8},
                                                              size_t{16}, size_t{3})),
                         [](const auto& info) {
                             return std::get<0>(info.param).name + "_e" +
                                    std::to_string(std::get<1>(info.param));
                         });

class PadWidening : public ::testing::TestWithParam<std::tuple<int, size_t>> {};

TEST_P(PadWidening, RealDataGetsZeroImaginaryParts) {
    const int method = std::get<0>(GetParam());
    const size_t elem = std::get<1>(GetParam());
    PadCase c{{4, 3}, {2, -1}, {-1, 3}, method};
    // A complex pad value: both halves non-zero; the zero element is a recognisable pattern.
    std::vector<uint8_t> pad(2 * elem, 0x5A);
    pad[elem] = 0x33;
    std::vector<uint8_t> zero(elem, 0);
    KernelRig rig(c, elem, true, pad, false, zero);
    rig.run();
    EXPECT_EQ(rig.output, rig.expected());
}

INSTANTIATE_TEST_SUITE_P(Methods, PadWidening,
                         ::testing::Combine(::testing::Values(1, 2, 3, 4),
                                            ::testing::Values(size_t{1}, size_t{2}, size_t{4}, size_t{8})));

TEST(PadKernel, RealPadValueIntoComplexSignalGetsZeroImaginaryPart) {
    // Complex double signal (16-byte elements), real double pad value from the second port.
    PadCase c{{3, 2}, {1, 2}, {2, 0}, 1};
    const std::vector<uint8_t> pad = bytesOf(-2.5);
    KernelRig rig(c, 16, false, pad, true, bytesOf(0.0));
    rig.run();
    EXPECT_EQ(rig.output, rig.expected());
    const std::vector<double> out = asDoubles(rig.output);
    EXPECT_EQ(out[0], -2.5);
    EXPECT_EQ(out[1], 0.0);
}

TEST(PadKernel, NewPadValueIsUsedOnTheNextHit) {
    PadCase c{{2, 2}, {1, 0}, {0, 1}, 1};
    KernelRig rig(c, 8, false, bytesOf(1.0), false, bytesOf(0.0));
    rig.run();
    EXPECT_EQ(asDoubles(rig.output)[0], 1.0);
    rig.padValue = bytesOf(4.0);
    rig.ri.padValue = rig.padValue.data();
    rig.run();
    EXPECT_EQ(asDoubles(rig.output)[0], 4.0);
    EXPECT_EQ(rig.output, rig.expected());
}

TEST(PadKernel, ColumnCountIsTheKeptColumnsProduct) {
    PadCase c{{5, 4, 3}, {1, -1, 2}, {0, 2, -1}, 2};
    KernelRig rig(c, 8, false, bytesOf(0), false, bytesOf(0));
    // kept along dim 2: 4 - 1 = 3; along dim 3: 3 - 1 = 2.
    EXPECT_EQ(rig.cache->columnCount(), 6);
}

}  // namespace
