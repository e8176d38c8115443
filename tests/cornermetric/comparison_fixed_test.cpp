// The fixed-point member of the local intensity comparison kernel, both its number-object path and its
// stored-integer path, against an exact evaluation (GMP rationals, each step rounded and fitted by the
// rounding and overflow rules) of the transcribed steps, for several role types and modes.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>
#include <memory>
#include <random>
#include <vector>

#include "../fixpt/oracle.h"
#include "comparison_exact.h"
#include "comparison_reference.h"
#include "quobit/comparisonkernel.h"
#include "vekfixpt.h"

namespace {

using VekDSPFixpt::DSPDataAttributesHandle;
using VekDSPFixpt::Fixpt;
using VekDSPFixpt::FixptFactory;
using VekDSPFixpt::NumType;
using namespace fixpt_test;

struct FixedCase {
    const char* name;
    NumType image, accum, output;
    int32_t rounding, overflow;
    bool expectExactSums;  // what the stored path should decide
};

void putStored(std::vector<unsigned char>& buf, size_t i, const mpz_class& v, const NumType& t) {
    const VekDSPFixpt::u128 bits = toBits(v);
    std::memcpy(buf.data() + i * size_t(t.containerBytes), &bits, size_t(t.containerBytes));
}
mpz_class getStored(const std::vector<unsigned char>& buf, size_t i, const NumType& t) {
    VekDSPFixpt::u128 bits = 0;
    std::memcpy(&bits, buf.data() + i * size_t(t.containerBytes), size_t(t.containerBytes));
    const int32_t w = t.containerBytes * 8;
    if (w < 128) {
        const VekDSPFixpt::u128 mask = (VekDSPFixpt::u128(1) << w) - 1;
        bits &= mask;
        if (t.isSigned && ((bits >> (w - 1)) & 1)) bits |= ~mask;
    }
    return fromBits(bits, t.isSigned);
}

// The objects of one kernel over caller-owned data, and the run of either path.
struct FixedRig {
    DSPDataAttributesHandle imageAttrs, accumAttrs, outputAttrs;
    std::vector<unsigned char> in, out, limits;
    std::unique_ptr<Fixpt> input, output, t, dtMin, dtMax, dtLow, dtHigh, valLow, valHigh, valCur, bright,
        dark;
    int32_t rows, cols;
    int32_t circle[32];

    FixedRig(const FixedCase& fc, const std::vector<mpz_class>& image, const mpz_class& tStored,
             int32_t rows_, int32_t cols_, bool logging)
        : imageAttrs(fc.image, fc.accum, fc.accum, fc.rounding, fc.overflow, "Image"),
          accumAttrs(fc.accum, fc.accum, fc.accum, fc.rounding, fc.overflow, "Accumulator"),
          outputAttrs(fc.output, fc.accum, fc.accum, fc.rounding, fc.overflow, "Metric output"),
          rows(rows_),
          cols(cols_) {
        const size_t n = size_t(rows) * cols;
        in.assign(n * fc.image.containerBytes, 0);
        out.assign(n * fc.output.containerBytes, 0xA5);  // stale bytes must be cleared
        for (size_t i = 0; i < n; ++i)
            putStored(in, i, image[i], fc.image);
        limits.assign(5 * 16, 0);
        const mpz_class lo = minStored(fc.image), hi = maxStored(fc.image);
        const mpz_class lim[5] = {tStored, lo, hi, lo + tStored, hi - tStored};
        for (int k = 0; k < 5; ++k)
            putStored(limits, size_t(k) * 16 / fc.image.containerBytes, lim[k], fc.image);
        const auto over = [&](const DSPDataAttributesHandle& h, void* data, int32_t count) {
            return std::unique_ptr<Fixpt>(FixptFactory::createFixpt(h, data, count, logging));
        };
        input = over(imageAttrs, in.data(), int32_t(n));
        output = over(outputAttrs, out.data(), int32_t(n));
        std::unique_ptr<Fixpt>* lp[5] = {&t, &dtMin, &dtMax, &dtLow, &dtHigh};
        for (int k = 0; k < 5; ++k)
            *lp[k] = over(imageAttrs, limits.data() + k * 16, 1);
        valLow = over(imageAttrs, nullptr, 1);
        valHigh = over(imageAttrs, nullptr, 1);
        valCur = over(imageAttrs, nullptr, 1);
        bright = over(accumAttrs, nullptr, 1);
        dark = over(accumAttrs, nullptr, 1);
        comparison_test::circleOffsets(rows, circle);
    }
    quobit::ComparisonObjects<Fixpt> objects() {
        return {input.get(),  output.get(), t.get(),       dtMin.get(),  dtMax.get(),  dtLow.get(),
                dtHigh.get(), valLow.get(), valHigh.get(), valCur.get(), bright.get(), dark.get()};
    }
    quobit::ComparisonShape shape(int A) const {
        return {rows, cols, circle, quobit::kSearchSteps, quobit::kSearchOffsets, A};
    }
    void runObjects(int A) {
        quobit::ObjectComparisonArith<Fixpt> a(objects());
        quobit::comparisonMetricRun(a, shape(A));
    }
    // False when the stored path refuses this configuration.
    bool runStored(int A, bool* exactSums) {
        quobit::StoredComparisonPlan plan;
        if (!quobit::makeStoredPlan(objects(), &plan)) return false;
        *exactSums = plan.exactSums;
        quobit::comparisonMetricStored(in.data(), out.data(), plan, shape(A));
        return true;
    }
};

// Random stored pixels: patches of one level, the ends of the range and noise, so that limits clamp,
// sums overflow where the types allow it, and corners occur.
std::vector<mpz_class> randomPixels(std::mt19937_64& rng, const NumType& t, size_t n) {
    std::vector<mpz_class> x(n);
    const mpz_class level = randomStored(rng, t);
    const mpz_class other = randomStored(rng, t);
    for (size_t i = 0; i < n; ++i) {
        switch (rng() % 5) {
            case 0:
            case 1:
                x[i] = level;
                break;
            case 2:
                x[i] = other;
                break;
            default:
                x[i] = randomStored(rng, t);
                break;
        }
    }
    return x;
}

mpz_class randomThreshold(std::mt19937_64& rng, const NumType& t) {
    const mpz_class half = (maxStored(t) - minStored(t)) / 2;  // t < half the span
    switch (rng() % 4) {
        case 0:
            return 0;
        case 1:
            return half - 1;
        default: {
            mpz_class v = mpz_class(static_cast<unsigned long>(rng() % 1000000007ul));
            mpz_class bound = half < 64 ? half : mpz_class(half / 8);
            return bound > 0 ? mpz_class(v % bound) : mpz_class(0);
        }
    }
}

const FixedCase kCases[] = {
    {"u8 into s32", NumType::fixed(false, 8, 0), NumType::fixed(true, 32, 0), NumType::fixed(true, 32, 0),
     VekDSPFixpt::kRoundFloor, VekDSPFixpt::kOverflowWrap, true},
    {"u8 into s8 (same as input) wraps", NumType::fixed(false, 8, 0), NumType::fixed(true, 8, 0),
     NumType::fixed(true, 8, 0), VekDSPFixpt::kRoundFloor, VekDSPFixpt::kOverflowWrap, false},
    {"u8 into s8 saturates", NumType::fixed(false, 8, 0), NumType::fixed(true, 8, 0),
     NumType::fixed(true, 16, 0), VekDSPFixpt::kRoundNearest, VekDSPFixpt::kOverflowSaturate, false},
    {"s16:12 into s16:10 rounds", NumType::fixed(true, 16, 12), NumType::fixed(true, 16, 10),
     NumType::fixed(true, 16, 8), VekDSPFixpt::kRoundNearest, VekDSPFixpt::kOverflowSaturate, false},
    {"s8 into s12:2, output s10:-1", NumType::fixed(true, 8, 0), NumType::fixed(true, 12, 2),
     NumType::fixed(true, 10, -1), VekDSPFixpt::kRoundConvergent, VekDSPFixpt::kOverflowSaturate, false},
    {"u16 into s32, output s16 saturates", NumType::fixed(false, 16, 0), NumType::fixed(true, 32, 0),
     NumType::fixed(true, 16, 0), VekDSPFixpt::kRoundZero, VekDSPFixpt::kOverflowSaturate, true},
    {"s16 into s24:10 overflows", NumType::fixed(true, 16, 0), NumType::fixed(true, 24, 10),
     NumType::fixed(true, 32, 4), VekDSPFixpt::kRoundCeiling, VekDSPFixpt::kOverflowWrap, false},
    {"u12:4 into s20:1 round", NumType::fixed(false, 12, 4), NumType::fixed(true, 20, 1),
     NumType::fixed(true, 20, 1), VekDSPFixpt::kRoundRound, VekDSPFixpt::kOverflowWrap, false},
    {"s32 into s40", NumType::fixed(true, 32, 0), NumType::fixed(true, 40, 0), NumType::fixed(true, 32, 0),
     VekDSPFixpt::kRoundFloor, VekDSPFixpt::kOverflowSaturate, true},
    {"s48:3 into s64:3", NumType::fixed(true, 48, 3), NumType::fixed(true, 64, 3),
     NumType::fixed(true, 64, 0), VekDSPFixpt::kRoundSimplest, VekDSPFixpt::kOverflowWrap, true},
    {"s6:0 into s64:52 exact", NumType::fixed(true, 6, 0), NumType::fixed(true, 64, 52),
     NumType::fixed(true, 24, 2), VekDSPFixpt::kRoundConvergent, VekDSPFixpt::kOverflowSaturate, true},
};

class ComparisonFixed : public ::testing::TestWithParam<FixedCase> {};

TEST_P(ComparisonFixed, BothPathsMatchTheExactEvaluation) {
    const FixedCase& fc = GetParam();
    std::mt19937_64 rng(77);
    const int sizes[][2] = {{7, 7}, {9, 14}, {17, 8}, {24, 24}, {83, 8}};
    int corners = 0;
    for (const auto& sz : sizes)
        for (int choice = 1; choice <= 7; choice += 3) {
            const int rows = sz[0], cols = sz[1], A = 16 - choice;
            const size_t n = size_t(rows) * cols;
            const std::vector<mpz_class> x = randomPixels(rng, fc.image, n);
            const mpz_class tStored = randomThreshold(rng, fc.image);

            const comparison_test::ExactModel m =
                comparison_test::exactModel(fc.image, fc.accum, fc.output, fc.rounding, fc.overflow, tStored);
            std::vector<mpq_class> xq(n);
            for (size_t i = 0; i < n; ++i)
                xq[i] = realValue(x[i], fc.image);
            const std::vector<mpq_class> want = comparison_test::referenceMetric(m, xq, rows, cols, A);

            FixedRig objects(fc, x, tStored, rows, cols, false);
            objects.runObjects(A);
            FixedRig stored(fc, x, tStored, rows, cols, false);
            bool exactSums = false;
            ASSERT_TRUE(stored.runStored(A, &exactSums)) << fc.name;
            EXPECT_EQ(exactSums, fc.expectExactSums) << fc.name;
            FixedRig logged(fc, x, tStored, rows, cols, true);
            bool unused;
            EXPECT_FALSE(logged.runStored(A, &unused)) << "a logging run must keep the number objects";
            logged.runObjects(A);

            for (size_t i = 0; i < n; ++i) {
                const mpq_class gotObj = realValue(getStored(objects.out, i, fc.output), fc.output);
                const mpq_class gotStored = realValue(getStored(stored.out, i, fc.output), fc.output);
                const mpq_class gotLogged = realValue(getStored(logged.out, i, fc.output), fc.output);
                ASSERT_EQ(gotObj, want[i]) << fc.name << " objects " << rows << "x" << cols << " at " << i;
                ASSERT_EQ(gotStored, want[i]) << fc.name << " stored " << rows << "x" << cols << " at " << i;
                ASSERT_EQ(gotLogged, want[i]) << fc.name << " logged " << rows << "x" << cols << " at " << i;
                corners += want[i] != 0;
            }
        }
    EXPECT_GT(corners, 20) << fc.name;
}

INSTANTIATE_TEST_SUITE_P(Types, ComparisonFixed, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<FixedCase>& info) {
                             std::string s;
                             for (const char* p = info.param.name; *p; ++p)
                                 s += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             return s;
                         });

// Near the ends of the range the limits clamp instead of overflowing. uint8, t = 10: a centre of 250
// is at or above DTHIGH = 245, so valHigh = 255 and nothing is brighter; the dark test against
// valLow = 240 over a circle of 0 gives 16 * 240 = 3840. A centre of 5 (at most DTLOW = 10) has valLow = 0,
// and a circle of 255 over valHigh = 15 gives 16 * 240 = 3840 again. int8, t = 10, centre -125: valLow
// clamps to -128, a circle of 127 over valHigh = -115 gives 16 * 242 = 3872.
struct ClampCase {
    NumType image;
    long centre, ring, t, want;
};

TEST(ComparisonFixedClamp, LimitsClampAtTheEndsOfTheRange) {
    const ClampCase cases[] = {{NumType::fixed(false, 8, 0), 250, 0, 10, 3840},
                               {NumType::fixed(false, 8, 0), 5, 255, 10, 3840},
                               {NumType::fixed(true, 8, 0), -125, 127, 10, 3872},
                               {NumType::fixed(true, 8, 0), 120, -128, 10, 16 * 238}};
    for (const ClampCase& cc : cases) {
        const FixedCase fc{"clamp",
                           cc.image,
                           NumType::fixed(true, 32, 0),
                           NumType::fixed(true, 32, 0),
                           VekDSPFixpt::kRoundFloor,
                           VekDSPFixpt::kOverflowWrap,
                           true};
        std::vector<mpz_class> x(49, mpz_class(cc.ring));
        x[24] = cc.centre;
        for (int path = 0; path < 2; ++path) {
            FixedRig rig(fc, x, cc.t, 7, 7, false);
            bool exact;
            if (path == 0)
                rig.runObjects(9);
            else
                ASSERT_TRUE(rig.runStored(9, &exact));
            EXPECT_EQ(getStored(rig.out, 24, fc.output), mpz_class(cc.want)) << cc.centre << " path " << path;
        }
    }
}

// The known point of 8-bit images with an 8-bit accumulator: the first += Q already leaves the word, so
// with wrap the bright sum of a 200-ring over a centre of 0 (t = 0) is not 16 * 200; a 32-bit accumulator
// gives the true 3200.
TEST(ComparisonFixedClamp, EightBitAccumulatorOverflowsWhereThirtyTwoBitsDoNot) {
    std::vector<mpz_class> x(49, mpz_class(200));
    x[24] = 0;
    const FixedCase narrow{"narrow",
                           NumType::fixed(false, 8, 0),
                           NumType::fixed(true, 8, 0),
                           NumType::fixed(true, 32, 0),
                           VekDSPFixpt::kRoundFloor,
                           VekDSPFixpt::kOverflowWrap,
                           false};
    const FixedCase wide{"wide",
                         NumType::fixed(false, 8, 0),
                         NumType::fixed(true, 32, 0),
                         NumType::fixed(true, 32, 0),
                         VekDSPFixpt::kRoundFloor,
                         VekDSPFixpt::kOverflowWrap,
                         true};
    FixedRig a(narrow, x, 0, 7, 7, false), b(wide, x, 0, 7, 7, false);
    bool exact;
    ASSERT_TRUE(a.runStored(9, &exact));
    ASSERT_TRUE(b.runStored(9, &exact));
    EXPECT_NE(getStored(a.out, 24, narrow.output), mpz_class(3200));
    EXPECT_EQ(getStored(b.out, 24, wide.output), mpz_class(3200));
}

}  // namespace
