// Method 3 through the real plug-in and the host: every member against the transcribed reference (exact
// rationals for the fixed-point member), logged runs, variable sizes, tunable threshold and angle choice,
// and the refusals of bad input.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "comparison_exact.h"
#include "comparison_reference.h"
#include "corner_support.h"

using namespace cornertest;

namespace {

constexpr double kSingleMax = 3.4028234663852886e38;

std::map<int, Array> method3(double t, int choice) {
    return {{0, Array::scalar(3)}, {3, Array::scalar(t)}, {4, Array::scalar(choice)}};
}

template <class T>
std::vector<T> randomImage(std::mt19937& rng, int rows, int cols, double scale) {
    std::vector<T> x(size_t(rows) * cols);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    for (int i = 0; i < rows * cols; ++i) {
        const int r = i % rows, c = i / rows;
        const double base = ((r / 5 + c / 4) % 2) ? 0.8 : 0.2;
        x[i] = T((rng() % 3 ? base : u(rng)) * scale);
    }
    return x;
}

template <class T>
std::vector<T> floatReference(const std::vector<T>& x, int rows, int cols, T t, int choice) {
    const T dtMin = T(-kSingleMax), dtMax = T(kSingleMax);
    comparison_test::FloatModel<T> m{t, dtMin, dtMax, T(dtMin + t), T(dtMax - t)};
    return comparison_test::referenceMetric(m, x, rows, cols, 16 - choice);
}

template <class T>
void floatingMemberMatches(DataTypeId type) {
    std::mt19937 rng(5);
    for (int choice : {1, 4, 7}) {
        const int rows = 19, cols = 14;
        const double t = 0.1;
        auto b = makeBlock(method3(t, choice), image({rows, cols}, type));
        b->start();
        const std::vector<T> x = randomImage<T>(rng, rows, cols, 1.0);
        const std::vector<T> got = runOnce<T>(*b, x);
        const std::vector<T> want = floatReference<T>(x, rows, cols, T(t), choice);
        ASSERT_EQ(got, want) << "choice " << choice;
        int corners = 0;
        for (T v : got)
            corners += v != T(0);
        EXPECT_GT(corners, 0);
    }
}

TEST(ComparisonBlock, DoubleMatchesTheReference) {
    floatingMemberMatches<double>(SS_DOUBLE);
}
TEST(ComparisonBlock, SingleMatchesTheReference) {
    floatingMemberMatches<float>(SS_SINGLE);
}

// A double image in a logged run goes through number objects of the image's own type: the same values.
TEST(ComparisonBlock, LoggedDoubleRunGivesTheSameValues) {
    std::mt19937 rng(8);
    Settings logged;
    logged.minMaxOverflowLogging = 1;
    auto b = makeBlock(method3(0.05, 5), image({12, 16}), logged);
    b->start();
    const std::vector<double> x = randomImage<double>(rng, 12, 16, 1.0);
    EXPECT_EQ(runOnce<double>(*b, x), floatReference<double>(x, 12, 16, 0.05, 5));
}

// uint8 with the dialog's fixed-point defaults (accumulator s64:28, metric output s64:-1, nearest,
// saturate) and with a 32-bit whole output; plain and logged runs must agree with the exact evaluation.
TEST(ComparisonBlock, Uint8MatchesTheExactEvaluation) {
    using VekDSPFixpt::NumType;
    std::mt19937 rng(11);
    const int rows = 16, cols = 21;
    struct Variant {
        std::map<int, Array> extra;
        NumType output;
        bool logged;
    };
    const Variant variants[] = {
        {{}, NumType::fixed(true, 64, -1), false},
        {{}, NumType::fixed(true, 64, -1), true},
        {{{22, Array::scalar(0)}, {23, Array::scalar(32)}, {24, Array::scalar(0)}},
         NumType::fixed(true, 32, 0),
         false},
    };
    for (const Variant& v : variants) {
        std::map<int, Array> params = method3(20, 6);
        params.insert(v.extra.begin(), v.extra.end());
        Settings s;
        s.minMaxOverflowLogging = v.logged ? 1 : 0;
        auto b = makeBlock(params, image({rows, cols}, SS_UINT8), s);
        b->start();
        const std::vector<uint8_t> x = randomImage<uint8_t>(rng, rows, cols, 255.0);
        setImage(*b, x);
        b->step();
        const NumType u8 = NumType::fixed(false, 8, 0);
        const comparison_test::ExactModel m =
            comparison_test::exactModel(u8, NumType::fixed(true, 64, 28), v.output,
                                        VekDSPFixpt::kRoundNearest, VekDSPFixpt::kOverflowSaturate, 20);
        std::vector<mpq_class> xq(x.begin(), x.end());
        const std::vector<mpq_class> want = comparison_test::referenceMetric(m, xq, rows, cols, 10);
        int corners = 0;
        for (int i = 0; i < rows * cols; ++i) {
            mpq_class got;
            if (v.output.containerBytes == 8) {
                got = fixpt_test::realValue(mpz_class(static_cast<long>(outputOf<int64_t>(*b)[i])), v.output);
            } else {
                got = fixpt_test::realValue(mpz_class(static_cast<long>(outputOf<int32_t>(*b)[i])), v.output);
            }
            ASSERT_EQ(got, want[i]) << i << (v.logged ? " logged" : "");
            corners += want[i] != 0;
        }
        EXPECT_GT(corners, 0);
    }
}

// Variable-size input: the circle offsets follow the current row count.
TEST(ComparisonBlock, VariableSizeRewritesTheCircleForNewRowCounts) {
    std::mt19937 rng(3);
    auto b = makeBlock(method3(0.1, 4), image({24, 20}, SS_DOUBLE, 1));
    b->start();
    const int sizes[][2] = {{12, 9}, {15, 9}, {15, 13}, {24, 20}, {7, 7}};
    for (const auto& sz : sizes) {
        const std::vector<double> x = randomImage<double>(rng, sz[0], sz[1], 1.0);
        setImage(*b, x, {sz[0], sz[1]});
        b->step();
        const std::vector<double> got = outputOf<double>(*b);
        ASSERT_EQ(got.size(), x.size());
        EXPECT_EQ(got, floatReference<double>(x, sz[0], sz[1], 0.1, 4)) << sz[0] << "x" << sz[1];
    }
    const std::vector<double> small(6 * 9, 0.5);
    setImage(*b, small, {6, 9});
    try {
        b->step();
        FAIL() << "a 6x9 step must be refused";
    } catch (const BlockError& e) {
        EXPECT_EQ(e.messageClass(), "vision::system::inputDimsWrong");
    }
}

double rtpDouble(const Block& b, const char* name) {
    for (const auto& r : b.runTimeParams())
        if (r.name == name) {
            double v;
            std::memcpy(&v, r.bytes.data(), sizeof v);
            return v;
        }
    ADD_FAILURE() << "no " << name;
    return 0;
}

// A tunable change of threshold and angle choice takes effect at the next step, with DTLOW and DTHIGH
// recomputed from the new threshold.
TEST(ComparisonBlock, TunedThresholdAndAngleTakeEffect) {
    std::mt19937 rng(21);
    auto b = makeBlock(method3(0.1, 7), image({18, 18}));
    EXPECT_TRUE(b->isParamTunable(3));
    EXPECT_TRUE(b->isParamTunable(4));
    b->start();
    const std::vector<double> x = randomImage<double>(rng, 18, 18, 1.0);
    EXPECT_EQ(runOnce<double>(*b, x), floatReference<double>(x, 18, 18, 0.1, 7));
    b->changeParameter(3, Array::scalar(0.3));
    b->changeParameter(4, Array::scalar(2));
    EXPECT_EQ(rtpDouble(*b, "DTLOW_RTP"), -kSingleMax + 0.3);
    EXPECT_EQ(rtpDouble(*b, "DTHIGH_RTP"), kSingleMax - 0.3);
    EXPECT_EQ(rtpDouble(*b, "VALTHR_RTP"), 0.3);
    EXPECT_EQ(runOnce<double>(*b, x), floatReference<double>(x, 18, 18, 0.3, 2));
}

TEST(ComparisonBlock, TunedThresholdOfAnIntegerImage) {
    auto b = makeBlock(method3(10, 7), image({9, 9}, SS_UINT8));
    b->start();
    const auto centre = [&](const std::vector<uint8_t>& img) {
        return runOnce<uint8_t, int64_t>(*b, img)[4 + 4 * 9];
    };
    // A ring of 0 round a centre of 100: dark sum 16 * (100 - t), output s64:-1 (even values exact).
    std::vector<uint8_t> x(81, 0);
    x[4 + 4 * 9] = 100;
    EXPECT_EQ(centre(x), 16 * 90 / 2);
    b->changeParameter(3, Array::scalar(30));
    EXPECT_EQ(centre(x), 16 * 70 / 2);
    // Past half the span of uint8: refused, and the last good threshold stays.
    EXPECT_THROW(b->changeParameter(3, Array::scalar(200)), BlockError);
    EXPECT_EQ(centre(x), 16 * 70 / 2);
}

TEST(ComparisonBlock, BadInputIsRefused) {
    EXPECT_THROW(makeBlock(method3(-0.5, 7), image({9, 9})), BlockError);
    try {
        makeBlock(method3(0.1, 7), image({6, 9}));
        FAIL() << "a 6x9 image must be refused";
    } catch (const BlockError& e) {
        EXPECT_EQ(e.messageClass(), "vision::system::inputDimsWrong");
    }
    EXPECT_THROW(
        {
            auto b = makeBlock(method3(128, 7), image({9, 9}, SS_UINT8));
            b->start();
        },
        BlockError);
}

}  // namespace
