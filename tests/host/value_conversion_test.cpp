// Conversion of real-world values into stored form, against exact rational arithmetic (GMP) as oracle.
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "dravo/host/types.h"
#include "dravo/host/types.h"

namespace {

using dravo::types::loadRealWorld;
using dravo::types::storeRealWorld;

// Round half away from zero, then saturate to [lo, hi] - exactly.
mpz_class expectedStored(double value, bool isSigned, int wl, int fl) {
    if (std::isnan(value)) return 0;
    mpz_class lo = isSigned ? -(mpz_class(1) << (wl - 1)) : mpz_class(0);
    mpz_class hi = (mpz_class(1) << (isSigned ? wl - 1 : wl)) - 1;
    if (std::isinf(value)) return value > 0 ? hi : lo;
    mpq_class x(value);
    if (fl >= 0)
        x *= mpq_class(mpz_class(1) << fl);
    else
        x /= mpq_class(mpz_class(1) << -fl);
    mpq_class half(1, 2);
    mpq_class ax = abs(x) + half;
    mpz_class r = ax.get_num() / ax.get_den();  // floor of a positive rational
    if (x < 0) r = -r;
    if (r < lo) return lo;
    if (r > hi) return hi;
    return r;
}

// The container's bytes as the sign- or zero-extended integer they hold.
mpz_class storedFromBytes(const unsigned char* bytes, int containerBytes, bool isSigned) {
    mpz_class v = 0;
    for (int i = containerBytes - 1; i >= 0; --i)
        v = (v << 8) + bytes[i];
    if (isSigned && (bytes[containerBytes - 1] & 0x80)) v -= mpz_class(1) << (8 * containerBytes);
    return v;
}

struct FixedCase {
    bool isSigned;
    int wl;
    int fl;
};

class FixedConversion : public ::testing::TestWithParam<FixedCase> {};

TEST_P(FixedConversion, MatchesExactRoundingAndSaturation) {
    const auto [isSigned, wl, fl] = GetParam();
    DataTypeId id = dravo::types::registerFixedPoint(isSigned, wl, fl);
    ASSERT_GE(id, 9);
    const int container = dravo::types::info(id).containerBytes;
    std::mt19937_64 rng(1234 + wl * 131 + fl);
    double range = std::ldexp(1.0, wl - fl);  // a little beyond the type's range, both signs
    std::uniform_real_distribution<double> dist(-1.25 * range, 1.25 * range);
    std::vector<double> values = {0.0,
                                  -0.0,
                                  0.5,
                                  -0.5,
                                  1.5,
                                  -1.5,
                                  2.5,
                                  -2.5,
                                  std::ldexp(1.0, -fl - 1),
                                  -std::ldexp(1.0, -fl - 1),
                                  std::ldexp(3.0, -fl - 1),
                                  std::nan(""),
                                  std::numeric_limits<double>::infinity(),
                                  -std::numeric_limits<double>::infinity(),
                                  std::numeric_limits<double>::max(),
                                  -std::numeric_limits<double>::max()};
    for (int k = 0; k < 2000; ++k)
        values.push_back(dist(rng));
    // Ties at the resolution of the type: value = (n + 1/2) * 2^-FL.
    std::uniform_int_distribution<int64_t> ints(-(int64_t(1) << 40), int64_t(1) << 40);
    for (int k = 0; k < 200; ++k)
        values.push_back(std::ldexp(static_cast<double>(ints(rng)) + 0.5, -fl));
    for (double v : values) {
        unsigned char bytes[16];
        std::memset(bytes, 0xA5, sizeof bytes);
        ASSERT_TRUE(storeRealWorld(v, id, bytes));
        EXPECT_EQ(storedFromBytes(bytes, container, isSigned), expectedStored(v, isSigned, wl, fl))
            << "value " << v << " in " << dravo::types::typeName(id);
        // Bytes past the container are untouched.
        for (int i = container; i < 16; ++i)
            EXPECT_EQ(bytes[i], 0xA5);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, FixedConversion,
    ::testing::Values(FixedCase{true, 16, 12}, FixedCase{false, 8, 0}, FixedCase{true, 2, 0},
                      FixedCase{false, 2, 5}, FixedCase{true, 12, -3}, FixedCase{false, 12, 4},
                      FixedCase{true, 24, 30}, FixedCase{true, 32, 16}, FixedCase{false, 32, 0},
                      FixedCase{true, 33, 10}, FixedCase{true, 64, 20}, FixedCase{false, 64, 0},
                      FixedCase{true, 80, 40}, FixedCase{true, 128, 60}, FixedCase{false, 128, 0}));

struct IntegerCase {
    DataTypeId id;
    bool isSigned;
    int wl;
};

class IntegerConversion : public ::testing::TestWithParam<IntegerCase> {};

TEST_P(IntegerConversion, RoundsHalfAwayAndSaturates) {
    const auto [id, isSigned, wl] = GetParam();
    std::mt19937_64 rng(99 + id);
    std::uniform_real_distribution<double> dist(-std::ldexp(1.3, wl), std::ldexp(1.3, wl));
    std::vector<double> values = {0.5,   -0.5,     1.5,          -1.5,
                                  126.5, -127.5,   127.5,        -128.5,
                                  255.5, 65535.49, std::nan(""), std::numeric_limits<double>::infinity()};
    for (int k = 0; k < 3000; ++k)
        values.push_back(dist(rng));
    for (double v : values) {
        unsigned char bytes[8] = {};
        ASSERT_TRUE(storeRealWorld(v, id, bytes));
        EXPECT_EQ(storedFromBytes(bytes, wl / 8, isSigned), expectedStored(v, isSigned, wl, 0)) << v;
    }
}

INSTANTIATE_TEST_SUITE_P(BuiltIns, IntegerConversion,
                         ::testing::Values(IntegerCase{SS_INT8, true, 8}, IntegerCase{SS_UINT8, false, 8},
                                           IntegerCase{SS_INT16, true, 16}, IntegerCase{SS_UINT16, false, 16},
                                           IntegerCase{SS_INT32, true, 32},
                                           IntegerCase{SS_UINT32, false, 32}));

TEST(Conversion, FloatingAndBooleanTypes) {
    double d = 0;
    float f = 0;
    uint8_t b = 7;
    ASSERT_TRUE(storeRealWorld(0.1, SS_DOUBLE, &d));
    EXPECT_EQ(d, 0.1);
    ASSERT_TRUE(storeRealWorld(0.1, SS_SINGLE, &f));
    EXPECT_EQ(f, 0.1f);
    ASSERT_TRUE(storeRealWorld(-0.25, SS_BOOLEAN, &b));
    EXPECT_EQ(b, 1);  // any nonzero value is true
    ASSERT_TRUE(storeRealWorld(0.0, SS_BOOLEAN, &b));
    EXPECT_EQ(b, 0);
    DataTypeId scaled = dravo::types::registerScaledDouble(true, 16, 12);
    ASSERT_TRUE(storeRealWorld(0.123456789, scaled, &d));
    EXPECT_EQ(d, 0.123456789);  // a scaled double keeps the real-world value
    EXPECT_FALSE(storeRealWorld(1.0, 100000, &d));
}

TEST(Conversion, LoadGivesTheRealWorldValueBack) {
    DataTypeId s12 = dravo::types::registerFixedPoint(true, 12, 4);
    unsigned char bytes[16] = {};
    ASSERT_TRUE(storeRealWorld(-3.3125, s12, bytes));  // -53 / 16
    EXPECT_EQ(loadRealWorld(s12, bytes), -3.3125);
    DataTypeId u128 = dravo::types::registerFixedPoint(false, 128, 0);
    ASSERT_TRUE(storeRealWorld(1e300, u128, bytes));
    EXPECT_EQ(loadRealWorld(u128, bytes), std::ldexp(1.0, 128));  // 2^128 - 1 rounds to 2^128 in double
}

}  // namespace
