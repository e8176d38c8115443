// The Harris and minimum-eigenvalue metrics on double and single images, through the plug-in: against the
// metric computed from its definition (tolerance), against a literal transcription of the block's steps
// (bit for bit), and on the worked cases.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "corner_support.h"
#include "quobit/eigenkernel.h"
#include "reference.h"

using namespace cornertest;

namespace {

const std::vector<double> kTaps3 = {0.25, 0.5, 0.25};
const std::vector<double> kTaps5 = {0.0625, 0.25, 0.375, 0.25, 0.0625};
const std::vector<double> kTaps7 = {0.03, 0.11, 0.22, 0.28, 0.22, 0.11, 0.03};

template <class U>
std::vector<U> randomImage(int32_t M, int32_t N, uint32_t seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> dist(0.0, 1.0);
    std::vector<U> v(size_t(M) * N);
    for (auto& x : v)
        x = U(dist(gen));
    return v;
}

template <class U>
std::vector<U> runMetric(const std::vector<U>& img, int32_t M, int32_t N, const std::vector<double>& taps,
                         int method, double k) {
    auto b = makeBlock({{0, Array::scalar(method)}, {1, Array::scalar(k)}, {2, filterParam(taps)}},
                       image({M, N}, std::is_same_v<U, float> ? SS_SINGLE : SS_DOUBLE));
    b->start();
    return runOnce<U>(*b, img);
}

struct Case {
    int32_t M, N;
    const std::vector<double>* taps;
};

const Case kCases[] = {
    {3, 3, &kTaps3},   {3, 3, &kTaps5},   {3, 3, &kTaps7},   {3, 8, &kTaps5},
    {9, 3, &kTaps3},   {5, 11, &kTaps7},  {16, 16, &kTaps5}, {17, 4, &kTaps3},
    {33, 20, &kTaps5}, {40, 37, &kTaps7}, {64, 5, &kTaps5},  {7, 70, &kTaps3},
};

TEST(EigenFloat, DoubleAgreesWithTheDefinition) {
    uint32_t seed = 1;
    for (const Case& c : kCases)
        for (int method : {1, 2}) {
            const auto img = randomImage<double>(c.M, c.N, seed++);
            const auto got = runMetric(img, c.M, c.N, *c.taps, method, 0.04);
            const auto want = formulaMetric(img, c.M, c.N, *c.taps, method == 1, 0.04L);
            ASSERT_EQ(got.size(), want.size());
            // Gradients of [0, 1] images stay within 1 in magnitude, the tensor within 1, the metric within 4.
            for (size_t i = 0; i < got.size(); ++i)
                ASSERT_NEAR(got[i], double(want[i]), method == 1 ? 1e-13 : 1e-7)
                    << c.M << "x" << c.N << " L=" << c.taps->size() << " method " << method << " at " << i;
        }
}

TEST(EigenFloat, SingleAgreesWithTheDefinitionWithinSinglePrecision) {
    uint32_t seed = 100;
    for (const Case& c : kCases)
        for (int method : {1, 2}) {
            const auto img = randomImage<float>(c.M, c.N, seed++);
            const auto got = runMetric(img, c.M, c.N, *c.taps, method, 0.04);
            const auto want = formulaMetric(img, c.M, c.N, *c.taps, method == 1, 0.04L);
            for (size_t i = 0; i < got.size(); ++i)
                ASSERT_NEAR(got[i], double(want[i]), method == 1 ? 2e-6 : 2e-3)
                    << c.M << "x" << c.N << " method " << method << " at " << i;
        }
}

TEST(EigenFloat, BitForBitTheDocumentedSteps) {
    uint32_t seed = 200;
    for (const Case& c : kCases)
        for (int method : {1, 2}) {
            const auto imgD = randomImage<double>(c.M, c.N, seed);
            EXPECT_EQ(runMetric(imgD, c.M, c.N, *c.taps, method, 0.07),
                      transcribedMetric<double>(imgD, c.M, c.N, *c.taps, method == 1, 0.07))
                << c.M << "x" << c.N << " method " << method;
            const auto imgF = randomImage<float>(c.M, c.N, seed++);
            EXPECT_EQ(runMetric(imgF, c.M, c.N, *c.taps, method, 0.07),
                      transcribedMetric<float>(imgF, c.M, c.N, *c.taps, method == 1, 0.07f))
                << c.M << "x" << c.N << " method " << method;
        }
}

// Single images are computed in single: rounding only the final double result differs somewhere.
TEST(EigenFloat, SingleIntermediatesAreSingle) {
    const int32_t M = 24, N = 19;
    const auto imgF = randomImage<float>(M, N, 7);
    const std::vector<double> imgD(imgF.begin(), imgF.end());
    const auto single = runMetric(imgF, M, N, kTaps5, 1, 0.04);
    const auto viaDouble = transcribedMetric<double>(imgD, M, N, kTaps5, true, double(0.04f));
    int differ = 0;
    for (size_t i = 0; i < single.size(); ++i)
        differ += single[i] != float(viaDouble[i]);
    EXPECT_GT(differ, 0);
}

TEST(EigenFloat, ConstantImageGivesZero) {
    for (int method : {1, 2})
        for (const Case& c : kCases) {
            const std::vector<double> img(size_t(c.M) * c.N, 0.625);
            for (double v : runMetric(img, c.M, c.N, *c.taps, method, 0.04))
                ASSERT_EQ(v, 0.0);
        }
}

// 3x3 with L = 3: every padded position maps to the centre, so every output is the centre gradient's
// metric scaled by (w0+w1+w2)^2 per direction; with taps summing to 1 that is the metric itself.
TEST(EigenFloat, ThreeByThreeUsesTheCentreGradient) {
    const std::vector<double> img = {0, 3, 1, 2, 9, 7, 4, 5, 8};  // column-major
    const double gx = img[1] - img[7], gy = img[3] - img[5];      // X(1,0) - X(1,2), X(0,1) - X(2,1)
    const double A = gx * gx, B = gy * gy, D = gx * gy;
    const auto harris = runMetric(img, 3, 3, kTaps3, 1, 0.04);
    const auto minEig = runMetric(img, 3, 3, kTaps3, 2, 0.04);
    for (int i = 0; i < 9; ++i) {
        EXPECT_DOUBLE_EQ(harris[i], A * B - D * D - 0.04 * (A + B) * (A + B));
        EXPECT_DOUBLE_EQ(minEig[i], (A + B) - std::sqrt((A - B) * (A - B) + 4 * D * D));
    }
    // Taps summing to 2: the tensor scales by 4 in each direction, i.e. 16.
    const std::vector<double> twice = {0.5, 1.0, 0.5};
    const auto scaled = runMetric(img, 3, 3, twice, 2, 0.04);
    EXPECT_DOUBLE_EQ(scaled[4], 16 * ((A + B) - std::sqrt((A - B) * (A - B) + 4 * D * D)));
}

// A vertical step edge: gy = 0, so Harris is -k A^2 and the minimum eigenvalue measure 0.
TEST(EigenFloat, VerticalStepEdge) {
    const int32_t M = 9, N = 10;
    std::vector<double> img(M * N);
    for (int32_t c = 0; c < N; ++c)
        for (int32_t r = 0; r < M; ++r)
            img[r + c * M] = c < 5 ? 0.0 : 1.0;
    const auto harris = runMetric(img, M, N, kTaps5, 1, 0.04);
    const auto minEig = runMetric(img, M, N, kTaps5, 2, 0.04);
    const auto A = formulaMetric(img, M, N, kTaps5, true, 0.0L);  // with k = 0: A*B - D^2 = 0
    for (int32_t i = 0; i < M * N; ++i) {
        EXPECT_EQ(A[i], 0.0L);
        EXPECT_EQ(minEig[i], 0.0) << i;
        EXPECT_LE(harris[i], 0.0) << i;
    }
    // Column 4 lies on the edge: gx = -1 at columns 4 and 5 only, so A = (w1 + w2)^2... via the taps:
    // rows far from the top and bottom see the full vertical sum 1; the horizontal sum is w(3)+w(2) for
    // column 4 (centre at tap 2, the edge columns 4 and 5 at taps 2 and 3).
    const double Acol4 = kTaps5[2] + kTaps5[3];
    EXPECT_DOUBLE_EQ(harris[4 + 4 * M], -0.04 * Acol4 * Acol4);
}

TEST(EigenFloat, WorkedMetricValues) {
    double A = 1, B = 1, D = 0, out = 0;
    quobit::eigendetail::harrisColumn(&A, &B, &D, &out, 1, 0.04);
    EXPECT_DOUBLE_EQ(out, 0.84);
    quobit::eigendetail::minEigenColumn(&A, &B, &D, &out, 1);
    EXPECT_EQ(out, 2.0);
}

}  // namespace
