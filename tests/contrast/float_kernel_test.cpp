// The double and single kernels on plain arrays: the worked cases of the block's description, NaN and
// infinite pixels, and random images against the step-by-step reference.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "float_reference.h"
#include "merrow/contrast_float_kernel.h"

using namespace contrast_test;
using merrow::adjustContrastFloat;
using merrow::FloatContrastArgs;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

template <typename T>
std::vector<T> runKernel(const std::vector<T>& in, const FloatCase<T>& c) {
    std::vector<T> out(in.size(), T(-12345));
    std::vector<uint32_t> hist(size_t(c.bins) + 1, 7u);
    const T outRange[2] = {c.lowOut, c.highOut};
    const T inRange[2] = {c.rangeLow, c.rangeHigh};
    const T fractions[2] = {c.lowFrac, c.highFrac};
    FloatContrastArgs<T> a;
    a.input = in.data();
    a.output = out.data();
    a.numPixels = int32_t(in.size());
    a.inputRangeMode = c.mode;
    a.numBins = c.bins;
    a.outputRange = outRange;
    a.inputRange = inRange;
    a.fractions = fractions;
    a.hist = hist.data();
    adjustContrastFloat(a);
    return out;
}

std::vector<double> zeroToNine() {
    std::vector<double> v(10);
    for (int k = 0; k < 10; ++k)
        v[size_t(k)] = k;
    return v;
}

struct WorkedCase {
    const char* what;
    std::vector<double> input;
    FloatCase<double> c;
    std::vector<double> expected;
};

FloatCase<double> histogramCase(int bins, double lowFrac, double highFrac) {
    FloatCase<double> c;
    c.mode = 3;
    c.bins = bins;
    c.lowFrac = lowFrac;
    c.highFrac = highFrac;
    return c;
}

FloatCase<double> modeCase(int mode, double lowOut = 0, double highOut = 1) {
    FloatCase<double> c;
    c.mode = mode;
    c.lowOut = lowOut;
    c.highOut = highOut;
    return c;
}

FloatCase<double> rangeCase(double low, double high) {
    FloatCase<double> c = modeCase(2);
    c.rangeLow = low;
    c.rangeHigh = high;
    return c;
}

// Expected values worked out by hand from the description of the kernels.
const std::vector<WorkedCase>& workedCases() {
    static const std::vector<WorkedCase> cases = {
        // Histogram 1,1,...,1,2 over bins 0..8: lowIn stays 0, highIn becomes 8.
        {"0..9, fractions [0.1 0.1], 9 bins",
         zeroToNine(),
         histogramCase(9, 0.1, 0.1),
         {0, 0.125, 0.25, 0.375, 0.5, 0.625, 0.75, 0.875, 1, 1}},
        {"0..9, fractions [0.2 0], 9 bins",
         zeroToNine(),
         histogramCase(9, 0.2, 0),
         {0, 0, 0.125, 0.25, 0.375, 0.5, 0.625, 0.75, 0.875, 1}},
        {"0..9, fractions [0 0] maps the extremes",
         zeroToNine(),
         histogramCase(9, 0, 0),
         {0, 1 / 9., 2 / 9., 3 / 9., 4 / 9., 5 / 9., 6 / 9., 7 / 9., 8 / 9., 1}},
        {"0..9, min/max",
         zeroToNine(),
         modeCase(1),
         {0, 1 / 9., 2 / 9., 3 / 9., 4 / 9., 5 / 9., 6 / 9., 7 / 9., 8 / 9., 1}},
        {"constant image, min/max", {3, 3, 3}, modeCase(1, 0.25, 0.75), {0.25, 0.25, 0.25}},
        {"constant image, histogram", {3, 3, 3}, histogramCase(16, 0.1, 0.1), {0, 0, 0}},
        {"output range [0.5 0.5]",
         zeroToNine(),
         modeCase(1, 0.5, 0.5),
         {0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5}},
        {"pixels equal to lowIn and highIn", {2, 5, 3.5, 1, 6}, rangeCase(2, 5), {0, 1, 0.5, 0, 1}},
        {"dialog range low == high", {2, 5, 3.5}, rangeCase(3, 3), {0, 0, 0}},
        {"+Inf in min/max mode", {1, 2, kInf, 3}, modeCase(1), {0, 0, 0, 0}},
        {"-Inf in histogram mode", {1, -kInf, 3}, histogramCase(4, 0.1, 0.1), {0, 0, 0}},
        {"+Inf and -Inf with a dialog range clamp", {kInf, -kInf, 1.5}, rangeCase(1, 2), {1, 0, 0.5}},
        {"a NaN pixel in min/max mode", {0, kNaN, 4, 2}, modeCase(1), {0, 0, 1, 0.5}},
        {"a NaN pixel with a dialog range", {0, kNaN, 4, 2}, rangeCase(0, 4), {0, 0, 1, 0.5}},
        {"a leading NaN does not decide the extremes", {kNaN, 0, 4, 2}, modeCase(1), {0, 0, 1, 0.5}},
        {"only NaN pixels", {kNaN, kNaN}, modeCase(1, 0.25, 1), {0.25, 0.25}},
        {"inverted output range", {0, 1, 2, 4}, modeCase(1, 1, 0), {1, 0.75, 0.5, 0}},
        // A span beyond the largest double is worked at half scale: the middle still maps to the middle.
        {"span beyond the largest double", {-1e308, 0, 1e308}, modeCase(1), {0, 0.5, 1}},
    };
    return cases;
}

TEST(FloatKernel, WorkedCases) {
    for (const WorkedCase& w : workedCases()) {
        const std::vector<double> out = runKernel(w.input, w.c);
        ASSERT_EQ(out.size(), w.expected.size()) << w.what;
        for (size_t i = 0; i < out.size(); ++i)
            EXPECT_NEAR(out[i], w.expected[i], 1e-15) << w.what << ", pixel " << i;
    }
}

TEST(FloatKernel, NaNPixelsAreNotCountedInTheSaturation) {
    // Ten real pixels 0..9 and five NaN: the fractions apply to the ten, as without the NaN.
    std::vector<double> in = zeroToNine();
    for (int k = 0; k < 5; ++k)
        in.insert(in.begin() + 2 * k + 1, kNaN);
    const std::vector<double> out = runKernel(in, histogramCase(9, 0.1, 0.1));
    std::vector<double> real;
    for (size_t i = 0; i < in.size(); ++i) {
        if (std::isnan(in[i]))
            EXPECT_EQ(out[i], 0.0) << "NaN pixel " << i;
        else
            real.push_back(out[i]);
    }
    const std::vector<double> expected = {0, 0.125, 0.25, 0.375, 0.5, 0.625, 0.75, 0.875, 1, 1};
    ASSERT_EQ(real.size(), expected.size());
    for (size_t i = 0; i < real.size(); ++i)
        EXPECT_DOUBLE_EQ(real[i], expected[i]) << i;
}

TEST(FloatKernel, HistogramStaysInsideItsWorkVector) {
    // Many bins in single precision: the rounded slope can reach past the last bin. Guard words around
    // the counters must stay untouched.
    const int bins = 1 << 22;
    std::vector<float> in = {0.0f, 1e-7f, 0.3f, 0.7f, 1.0f, 0.99999994f};
    std::vector<uint32_t> storage(size_t(bins) + 3, 0xDEADBEEFu);
    std::vector<float> out(in.size());
    const float outRange[2] = {0, 1}, fractions[2] = {0.2f, 0.2f};
    FloatContrastArgs<float> a;
    a.input = in.data();
    a.output = out.data();
    a.numPixels = int32_t(in.size());
    a.inputRangeMode = 3;
    a.numBins = bins;
    a.outputRange = outRange;
    a.fractions = fractions;
    a.hist = storage.data() + 1;
    adjustContrastFloat(a);
    EXPECT_EQ(storage.front(), 0xDEADBEEFu);
    EXPECT_EQ(storage.back(), 0xDEADBEEFu);
    uint64_t total = 0;
    for (int j = 0; j < bins; ++j)
        total += storage[size_t(j) + 1];
    EXPECT_EQ(total, in.size());  // every pixel counted once (the last bin merged into the one before)
}

template <typename T>
std::vector<T> randomImage(std::mt19937& rng, size_t n, int style) {
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::vector<T> v(n);
    for (size_t i = 0; i < n; ++i) {
        switch (style) {
            case 0:
                v[i] = T(u(rng));
                break;
            case 1:  // low contrast, few levels
                v[i] = T(0.4 + 0.05 * std::floor(u(rng) * 4));
                break;
            case 2:  // wide values with negatives
                v[i] = T((u(rng) - 0.3) * 1000);
                break;
            default:  // a few bright outliers
                v[i] = T(i % 97 == 0 ? 50.0 : u(rng));
        }
    }
    return v;
}

template <typename T>
void compareWithReference(uint32_t seed) {
    std::mt19937 rng(seed);
    const int binsChoices[] = {1, 2, 7, 64, 256, 1000};
    for (int trial = 0; trial < 200; ++trial) {
        FloatCase<T> c;
        c.mode = 1 + int(rng() % 3);
        c.bins = binsChoices[rng() % 6];
        c.lowOut = T(rng() % 2 ? 0.0 : 0.1);
        c.highOut = T(rng() % 3 ? 1.0 : 0.6);
        c.rangeLow = T(0.2);
        c.rangeHigh = T(0.8);
        const T fracs[] = {T(0), T(0.01), T(0.05), T(0.3)};
        c.lowFrac = fracs[rng() % 4];
        c.highFrac = fracs[rng() % 4];
        const size_t n = 1 + rng() % 700;
        const std::vector<T> in = randomImage<T>(rng, n, int(rng() % 4));
        const std::vector<T> got = runKernel(in, c);
        const std::vector<T> want = referenceContrast(in, c);
        for (size_t i = 0; i < n; ++i)
            ASSERT_EQ(got[i], want[i]) << "trial " << trial << " mode " << c.mode << " bins " << c.bins
                                       << " pixel " << i << " of " << n;
    }
}

TEST(FloatKernel, DoubleMatchesTheReferenceBitForBit) {
    compareWithReference<double>(11);
}

TEST(FloatKernel, SingleMatchesTheReferenceBitForBit) {
    compareWithReference<float>(12);
}

}  // namespace
