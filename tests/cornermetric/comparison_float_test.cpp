// The double and single members of the local intensity comparison kernel against the transcribed
// reference on random images, and the worked cases computed by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "comparison_reference.h"
#include "quobit/comparisonkernel.h"

namespace {

constexpr double kSingleMax = 3.4028234663852886e38;

template <class T>
struct FloatRun {
    int rows, cols, A;
    T t;
    std::vector<T> out;
    std::vector<T> reference;

    FloatRun(const std::vector<T>& x, int rows_, int cols_, T t_, int A_)
        : rows(rows_), cols(cols_), A(A_), t(t_) {
        // The type limits as the block stores them on the floating path, DTLOW and DTHIGH in T.
        const T dtMin = T(-kSingleMax), dtMax = T(kSingleMax);
        const T dtLow = T(dtMin + t), dtHigh = T(dtMax - t);
        int32_t circle[32];
        comparison_test::circleOffsets(rows, circle);
        out.assign(x.size(), T(-7));  // stale values must be cleared
        quobit::FloatComparisonArith<T> a(x.data(), out.data(), {t, dtMin, dtMax, dtLow, dtHigh});
        quobit::comparisonMetricRun(a, {rows, cols, circle, quobit::kSearchSteps, quobit::kSearchOffsets, A});
        comparison_test::FloatModel<T> m{t, dtMin, dtMax, dtLow, dtHigh};
        reference = comparison_test::referenceMetric(m, x, rows, cols, A);
    }
};

// Random images with structure (flat patches, steps and noise) so that every outcome occurs.
template <class T>
std::vector<T> randomImage(std::mt19937& rng, int rows, int cols) {
    std::vector<T> x(size_t(rows) * cols);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    const double level = u(rng);
    for (int c = 0; c < cols; ++c)
        for (int r = 0; r < rows; ++r) {
            const int kind = int(rng() % 4);
            double v =
                kind == 0 ? level : (kind == 1 ? u(rng) : ((r / 4 + c / 5) % 2 ? 0.9 : 0.1) + 0.05 * u(rng));
            x[r + c * rows] = T(v);
        }
    return x;
}

template <class T>
void randomImagesMatch() {
    std::mt19937 rng(1234);
    const int sizes[][2] = {{7, 7}, {7, 12}, {12, 7}, {9, 9}, {16, 23}, {31, 10}, {40, 40}};
    const double thresholds[] = {0.0, 0.05, 0.2, 0.45};
    int corners = 0;
    for (const auto& sz : sizes)
        for (double t : thresholds)
            for (int choice = 1; choice <= 7; ++choice) {
                const std::vector<T> x = randomImage<T>(rng, sz[0], sz[1]);
                FloatRun<T> run(x, sz[0], sz[1], T(t), 16 - choice);
                for (size_t i = 0; i < x.size(); ++i) {
                    // Bit-exact: the same steps in the same order, each stored to T.
                    ASSERT_EQ(run.out[i], run.reference[i])
                        << sz[0] << "x" << sz[1] << " t " << t << " choice " << choice << " at " << i;
                    corners += run.out[i] != T(0);
                }
            }
    EXPECT_GT(corners, 500);
}

TEST(ComparisonFloat, DoubleRandomImagesMatchTheReference) {
    randomImagesMatch<double>();
}
TEST(ComparisonFloat, SingleRandomImagesMatchTheReference) {
    randomImagesMatch<float>();
}

template <class T>
class ComparisonFloatCases : public ::testing::Test {};
using FloatTypes = ::testing::Types<double, float>;
TYPED_TEST_SUITE(ComparisonFloatCases, FloatTypes);

TYPED_TEST(ComparisonFloatCases, ConstantImageGivesZero) {
    using T = TypeParam;
    for (double t : {0.0, 0.1})
        for (int A : {9, 15}) {
            std::vector<T> x(20 * 13, T(0.37));
            FloatRun<T> run(x, 20, 13, T(t), A);
            for (T v : run.out)
                ASSERT_EQ(v, T(0));
        }
}

// Only (3, 3) of a 7x7 image is visited: with a dark centre on a bright ring it is the only non-zero
// output, though every pixel of the image differs from its neighbours.
TYPED_TEST(ComparisonFloatCases, SevenBySevenVisitsOnlyTheCentre) {
    using T = TypeParam;
    std::vector<T> x(49);
    for (int i = 0; i < 49; ++i)
        x[i] = T(0.5 + 0.01 * i);
    x[3 + 3 * 7] = T(0.0);
    FloatRun<T> run(x, 7, 7, T(0.1), 12);
    for (int i = 0; i < 49; ++i) {
        if (i == 24) {
            EXPECT_GT(run.out[i], T(0));
        } else {
            EXPECT_EQ(run.out[i], T(0)) << i;
        }
    }
}

// One bright pixel 1 on 0 with t = 0.1: the bright test does not start, the dark test finds all 16 circle
// pixels below 0.9, so the output is sixteen 0.9 summed: 14.4 up to the rounding of the running sum.
// Every other pixel sees at most one bright position and stays 0.
TYPED_TEST(ComparisonFloatCases, SingleBrightPixelGivesFourteenPointFour) {
    using T = TypeParam;
    const int rows = 15, cols = 11, r0 = 7, c0 = 5;
    std::vector<T> x(size_t(rows) * cols, T(0));
    x[r0 + c0 * rows] = T(1);
    for (int A = 9; A <= 15; ++A) {
        FloatRun<T> run(x, rows, cols, T(0.1), A);
        const double tol = std::is_same_v<T, float> ? 1e-5 : 1e-12;
        EXPECT_NEAR(double(run.out[r0 + c0 * rows]), 14.4, tol);
        for (int i = 0; i < rows * cols; ++i)
            if (i != r0 + c0 * rows) {
                ASSERT_EQ(run.out[i], T(0)) << i;
            }
    }
}

// Circle values 0..15 around a centre of 100 with t = 5: all darker, so the arc is the whole circle and
// the output is sum(95 - i) = 16 * 95 - 120 = 1400 (exact in both types).
TYPED_TEST(ComparisonFloatCases, AllDarkerCircleSumsTheWholeCircle) {
    using T = TypeParam;
    std::vector<T> x(49, T(200));
    x[24] = T(100);
    for (int i = 0; i < 16; ++i)
        x[(3 + comparison_test::kDr[i]) + (3 + comparison_test::kDc[i]) * 7] = T(i);
    for (int A = 9; A <= 15; ++A) {
        FloatRun<T> run(x, 7, 7, T(5), A);
        EXPECT_EQ(run.out[24], T(1400));
    }
}

// Nine bright positions in a row through position 0 (12..15, 0..4), the rest at the centre's value: with
// choice 7 (A = 9) the arc passes and the output is nine times (Q - valHigh); with choice 6 (A = 10) it
// fails and the output is 0. Bright values 20 over a centre of 10 with t = 2: 9 * (20 - 12) = 72.
TYPED_TEST(ComparisonFloatCases, ArcLimitDecidesANineArc) {
    using T = TypeParam;
    std::vector<T> x(49, T(10));
    for (int i : {12, 13, 14, 15, 0, 1, 2, 3, 4})
        x[(3 + comparison_test::kDr[i]) + (3 + comparison_test::kDc[i]) * 7] = T(20);
    EXPECT_EQ(FloatRun<T>(x, 7, 7, T(2), 16 - 7).out[24], T(72));
    EXPECT_EQ(FloatRun<T>(x, 7, 7, T(2), 16 - 6).out[24], T(0));
    // With choice 1 (A = 15) fifteen bright positions are needed; fourteen fail, fifteen pass.
    std::vector<T> y(49, T(10));
    for (int i = 1; i <= 14; ++i)
        y[(3 + comparison_test::kDr[i]) + (3 + comparison_test::kDc[i]) * 7] = T(20);
    EXPECT_EQ(FloatRun<T>(y, 7, 7, T(2), 15).out[24], T(0));
    y[(3 + comparison_test::kDr[15]) + (3 + comparison_test::kDc[15]) * 7] = T(20);
    EXPECT_EQ(FloatRun<T>(y, 7, 7, T(2), 15).out[24], T(15 * 8));
}

// A whole circle brighter gives the bright sum over positions 1..16, a whole circle darker the dark sum.
TYPED_TEST(ComparisonFloatCases, WholeCircleBrighterOrDarker) {
    using T = TypeParam;
    std::vector<T> x(49, T(30));
    x[24] = T(10);
    EXPECT_EQ(FloatRun<T>(x, 7, 7, T(1), 9).out[24], T(16 * (30 - 11)));
    std::vector<T> y(49, T(3));
    y[24] = T(10);
    EXPECT_EQ(FloatRun<T>(y, 7, 7, T(1), 9).out[24], T(16 * (9 - 3)));
}

}  // namespace
