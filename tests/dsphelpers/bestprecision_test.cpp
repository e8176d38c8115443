// Best-precision fraction length against hand-worked values and an exact brute-force search.
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "vekdsp.h"

namespace {

using VekSimCommon::dspComputeBestPrecFracLength;

// Round half away from zero of an exact rational.
mpz_class roundAway(const mpq_class& x) {
    mpq_class magnitude = abs(x) + mpq_class(1, 2);
    mpz_class r = magnitude.get_num() / magnitude.get_den();  // floor of a non-negative value
    return sgn(x) < 0 ? mpz_class(-r) : r;
}

bool fitsExactly(double value, int fl, int wl, bool isSigned) {
    mpq_class scaled(value);
    if (fl >= 0) {
        mpq_mul_2exp(scaled.get_mpq_t(), scaled.get_mpq_t(), static_cast<mp_bitcnt_t>(fl));
    } else {
        mpq_div_2exp(scaled.get_mpq_t(), scaled.get_mpq_t(), static_cast<mp_bitcnt_t>(-fl));
    }
    const mpz_class stored = roundAway(scaled);
    mpz_class lo = 0, hi;
    if (isSigned) {
        mpz_ui_pow_ui(hi.get_mpz_t(), 2, static_cast<unsigned long>(wl - 1));
        lo = -hi;
    } else {
        mpz_ui_pow_ui(hi.get_mpz_t(), 2, static_cast<unsigned long>(wl));
    }
    return stored >= lo && stored < hi;
}

int bruteForce(double value, int wl, bool isSigned) {
    for (int fl = 1200; fl > -1200; --fl)
        if (fitsExactly(value, fl, wl, isSigned)) return fl;
    return -1200;
}

TEST(BestPrecision, HandWorkedValues) {
    struct Row {
        double value;
        int32_t wl, isSigned, fl;
    };
    const std::vector<Row> table = {
        {0.5, 16, 1, 15},                // 0.5 * 2^15 = 16384; 2^16 would need 32768
        {1.0, 16, 1, 14},                // 16384
        {-1.0, 16, 1, 15},               // -32768 is the smallest stored integer
        {3.141592653589793, 16, 1, 13},  // 25736
        {6.283185307179586, 16, 1, 12},  // 2 pi in the rotate block's s16 with 12 fraction bits
        {0.999999, 8, 1, 6},             // 0.999999 * 128 rounds to 128, which does not fit
        {255.0, 8, 0, 0},
        {255.6, 8, 0, -1},  // rounds to 256 at FL 0
        {256.0, 8, 0, -1},
        {0.001, 8, 1, 16},   // 65.5 rounds to 66; at 17 it is 131
        {1000.0, 8, 1, -3},  // 125
        {-0.75, 2, 1, 1},  // -1.5 at FL 1 rounds away to -2, the smallest 2-bit word; -3 at FL 2 does not fit
    };
    for (const Row& r : table)
        EXPECT_EQ(dspComputeBestPrecFracLength(r.value, r.wl, r.isSigned), r.fl)
            << r.value << " WL " << r.wl << " signed " << r.isSigned;
}

TEST(BestPrecision, ZeroTakesTheFinestScaling) {
    EXPECT_EQ(dspComputeBestPrecFracLength(0.0, 16, 1), 15);
    EXPECT_EQ(dspComputeBestPrecFracLength(0.0, 16, 0), 16);
    EXPECT_EQ(dspComputeBestPrecFracLength(-0.0, 8, 1), 7);
}

TEST(BestPrecision, NegativeValueForUnsignedWordUsesItsMagnitude) {
    EXPECT_EQ(dspComputeBestPrecFracLength(-3.0, 8, 0), dspComputeBestPrecFracLength(3.0, 8, 0));
}

TEST(BestPrecision, DegenerateInputsGiveZero) {
    EXPECT_EQ(dspComputeBestPrecFracLength(std::numeric_limits<double>::infinity(), 16, 1), 0);
    EXPECT_EQ(dspComputeBestPrecFracLength(std::numeric_limits<double>::quiet_NaN(), 16, 1), 0);
    EXPECT_EQ(dspComputeBestPrecFracLength(1.0, 0, 1), 0);
}

TEST(BestPrecision, MatchesExactSearch) {
    std::mt19937_64 rng(20261208);
    std::uniform_real_distribution<double> mantissa(-1.0, 1.0);
    std::uniform_int_distribution<int> exponent(-40, 40);
    std::uniform_int_distribution<int> wordLength(2, 128);
    for (int i = 0; i < 300; ++i) {
        const double v = std::ldexp(mantissa(rng), exponent(rng));
        const int wl = wordLength(rng);
        const bool isSigned = (i % 3) != 0;
        if (!isSigned && v < 0) continue;
        ASSERT_EQ(dspComputeBestPrecFracLength(v, wl, isSigned ? 1 : 0), bruteForce(v, wl, isSigned))
            << v << " WL " << wl << " signed " << isSigned;
    }
    // Values on and around powers of two, where rounding decides.
    for (int e = -5; e <= 5; ++e) {
        for (double v : {std::ldexp(1.0, e), -std::ldexp(1.0, e), std::nextafter(std::ldexp(1.0, e), 0.0),
                         std::ldexp(1.0, e) * (1 - 1.0 / 256)}) {
            for (int wl : {2, 3, 8, 16, 53, 64}) {
                ASSERT_EQ(dspComputeBestPrecFracLength(v, wl, 1), bruteForce(v, wl, true))
                    << v << " WL " << wl;
                if (v > 0) {
                    ASSERT_EQ(dspComputeBestPrecFracLength(v, wl, 0), bruteForce(v, wl, false)) << v;
                }
            }
        }
    }
}

}  // namespace
