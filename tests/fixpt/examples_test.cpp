// Hand-computed cases: ties under every rounding code, saturation and wrap at both ends, the 2 pi example
// of the rotate block, division by zero, containers and the operand types of temporaries.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "vekfixpt.h"

namespace {

using namespace VekDSPFixpt;

struct Num {
    Num(NumType t, int32_t rounding = kRoundFloor, int32_t overflow = kOverflowSaturate,
        NumType prod = NumType{}, NumType acc = NumType{})
        : attrs(t, prod.wordLength ? prod : t, acc.wordLength ? acc : t, rounding, overflow, "n"),
          x(FixptFactory::createFixpt(attrs, nullptr, 1)) {}
    DSPDataAttributesHandle attrs;
    std::unique_ptr<Fixpt> x;
    i128 stored() const { return i128(x->getStoredBits()); }
};

// value x 2 as stored integers of s8 with one fraction bit: ties at +-2.5 and +-1.5.
struct TieCase {
    int32_t rounding;
    int32_t expected[4];  // for 2.5, -2.5, 1.5, -1.5
};

class Ties : public ::testing::TestWithParam<TieCase> {};

TEST_P(Ties, HalfwayValuesRoundByTheCode) {
    const TieCase c = GetParam();
    const int32_t halves[4] = {5, -5, 3, -3};
    for (int32_t i = 0; i < 4; ++i) {
        Num src(NumType::fixed(true, 8, 1));
        Num dst(NumType::fixed(true, 8, 0), c.rounding);
        src.x->setStoredBits(u128(i128(halves[i])));
        *dst.x = *src.x;
        EXPECT_EQ(dst.stored(), c.expected[i]) << "rounding " << c.rounding << " of " << halves[i] / 2.0;
        // The same tie reached from a double and by a shift.
        *dst.x = halves[i] / 2.0;
        EXPECT_EQ(dst.stored(), c.expected[i])
            << "rounding " << c.rounding << " of double " << halves[i] / 2.0;
        *dst.x = halves[i];
        *dst.x >>= 1;
        EXPECT_EQ(dst.stored(), c.expected[i]) << "rounding " << c.rounding << " of shift " << halves[i];
    }
}

INSTANTIATE_TEST_SUITE_P(
    EveryCode, Ties,
    ::testing::Values(TieCase{kRoundZero, {2, -2, 1, -1}}, TieCase{kRoundNearest, {3, -2, 2, -1}},
                      TieCase{kRoundCeiling, {3, -2, 2, -1}}, TieCase{kRoundFloor, {2, -3, 1, -2}},
                      TieCase{kRoundSimplest, {2, -3, 1, -2}}, TieCase{kRoundRound, {3, -3, 2, -2}},
                      TieCase{kRoundConvergent, {2, -2, 2, -2}}));

TEST(Examples, SimplestRoundingTruncatesDivisionTowardZero) {
    Num a(NumType::fixed(true, 8, 0)), b(NumType::fixed(true, 8, 0));
    Num q(NumType::fixed(true, 8, 0), kRoundSimplest);
    *a.x = -7;
    *b.x = 2;
    q.x->divide(*a.x, *b.x);
    EXPECT_EQ(q.stored(), -3);  // -3.5 toward zero; floor would give -4
    Num f(NumType::fixed(true, 8, 0), kRoundFloor);
    f.x->divide(*a.x, *b.x);
    EXPECT_EQ(f.stored(), -4);
}

struct EndCase {
    NumType type;
    int32_t overflow;
    int32_t delta;  // added to the end value
    bool atMax;     // start at the largest value (else the smallest)
    i128 expected;
};

class Ends : public ::testing::TestWithParam<EndCase> {};

TEST_P(Ends, SaturateOrWrapPastTheEnd) {
    const EndCase c = GetParam();
    Num x(c.type, kRoundFloor, c.overflow);
    Num d(NumType::fixed(true, 8, 0));
    x.x->setStoredBits(c.atMax ? detail::maxStored(c.type) : detail::minStored(c.type));
    *d.x = c.delta;
    *x.x += *d.x;
    EXPECT_EQ(x.stored(), c.expected);
}

constexpr i128 kS128Max = i128(~u128(0) >> 1);
constexpr i128 kS128Min = -kS128Max - 1;

INSTANTIATE_TEST_SUITE_P(
    BothEnds, Ends,
    ::testing::Values(EndCase{NumType::fixed(true, 8, 0), kOverflowSaturate, 1, true, 127},
                      EndCase{NumType::fixed(true, 8, 0), kOverflowWrap, 1, true, -128},
                      EndCase{NumType::fixed(true, 8, 0), kOverflowSaturate, -1, false, -128},
                      EndCase{NumType::fixed(true, 8, 0), kOverflowWrap, -1, false, 127},
                      EndCase{NumType::fixed(false, 8, 0), kOverflowSaturate, 1, true, 255},
                      EndCase{NumType::fixed(false, 8, 0), kOverflowWrap, 1, true, 0},
                      EndCase{NumType::fixed(false, 8, 0), kOverflowSaturate, -1, false, 0},
                      EndCase{NumType::fixed(false, 8, 0), kOverflowWrap, -1, false, 255},
                      EndCase{NumType::fixed(true, 5, 0), kOverflowWrap, 3, true, -14},
                      EndCase{NumType::fixed(true, 128, 0), kOverflowSaturate, 1, true, kS128Max},
                      EndCase{NumType::fixed(true, 128, 0), kOverflowWrap, 1, true, kS128Min},
                      EndCase{NumType::fixed(true, 128, 0), kOverflowWrap, -1, false, kS128Max},
                      EndCase{NumType::fixed(false, 128, 0), kOverflowWrap, 1, true, 0},
                      EndCase{NumType::fixed(false, 128, 0), kOverflowSaturate, -1, false, 0},
                      EndCase{NumType::fixed(false, 64, 0), kOverflowWrap, 2, true, 1},
                      EndCase{NumType::fixed(true, 64, 0), kOverflowSaturate, 1, true, i128(INT64_MAX)}));

TEST(Examples, TwoPiAsSigned16With12FractionBits) {
    // The rotate block's wrap constant: 2 pi rounded to nearest on s16:12.
    Num twoPi(NumType::fixed(true, 16, 12), kRoundNearest);
    *twoPi.x = 6.283185307179586;
    EXPECT_EQ(twoPi.stored(), 25736);
    EXPECT_EQ(twoPi.x->toDouble(), 6.283203125);
    Num pi(NumType::fixed(true, 16, 12), kRoundNearest);
    *pi.x = *twoPi.x;
    *pi.x >>= 1;
    EXPECT_EQ(pi.x->toDouble(), 3.1416015625);
    Num halfPi(NumType::fixed(true, 16, 12), kRoundNearest);
    *halfPi.x = *twoPi.x;
    *halfPi.x >>= 2;
    EXPECT_EQ(halfPi.x->toDouble(), 1.57080078125);
}

TEST(Examples, DivisionByZeroGivesTheEndByTheNumeratorsSign) {
    const NumType t = NumType::fixed(true, 16, 4);
    Num q(t), a(NumType::fixed(true, 8, 0)), zero(NumType::fixed(true, 8, 0));
    *zero.x = 0;
    *a.x = 3;
    q.x->divide(*a.x, *zero.x);
    EXPECT_EQ(q.stored(), 32767);
    *a.x = -3;
    q.x->divide(*a.x, *zero.x);
    EXPECT_EQ(q.stored(), -32768);
    *a.x = 0;
    *q.x = 5;
    q.x->divide(*a.x, *zero.x);
    EXPECT_EQ(q.stored(), 0);
    Num u(NumType::fixed(false, 8, 0));
    *a.x = -3;
    u.x->divide(*a.x, *zero.x);
    EXPECT_EQ(u.stored(), 0);  // the smallest unsigned value
    Num w(NumType::fixed(true, 100, 0), kRoundFloor, kOverflowWrap);
    *a.x = 1;
    w.x->divide(*a.x, *zero.x);
    EXPECT_EQ(w.stored(), (i128(1) << 99) - 1);  // wrap mode too: no wrapped garbage
}

TEST(Examples, StorageUsesTheSmallestContainerSignOrZeroExtended) {
    struct Case {
        NumType type;
        size_t bytes;
    };
    const Case cases[] = {{NumType::fixed(true, 2, 0), 1},    {NumType::fixed(true, 8, 0), 1},
                          {NumType::fixed(false, 9, 0), 2},   {NumType::fixed(true, 16, 0), 2},
                          {NumType::fixed(true, 17, 0), 4},   {NumType::fixed(false, 33, 0), 8},
                          {NumType::fixed(true, 64, 0), 8},   {NumType::fixed(true, 65, 0), 16},
                          {NumType::fixed(false, 128, 0), 16}};
    for (const Case& c : cases) {
        DSPDataAttributesHandle h(c.type, c.type, c.type, kRoundFloor, kOverflowSaturate, "c");
        EXPECT_EQ(FixptFactory::elementBytes(h), c.bytes) << c.type.wordLength;
        std::vector<unsigned char> buf(3 * c.bytes, 0xAB);
        std::unique_ptr<Fixpt> x(FixptFactory::createFixpt(h, buf.data(), 3));
        (*x)[1] = -1;  // unsigned: saturates to 0; signed: all ones
        for (size_t i = 0; i < c.bytes; ++i) {
            EXPECT_EQ(buf[c.bytes + i], c.type.isSigned ? 0xFF : 0x00) << c.type.wordLength << " byte " << i;
            EXPECT_EQ(buf[i], 0xAB);  // neighbours untouched
            EXPECT_EQ(buf[2 * c.bytes + i], 0xAB);
        }
        (*x)[1] = 1;
        EXPECT_EQ(buf[c.bytes], 1);
        for (size_t i = 1; i < c.bytes; ++i)
            EXPECT_EQ(buf[c.bytes + i], 0);
    }
}

TEST(Examples, ElementSelectionConvertsBetweenObjectsOverData) {
    const NumType in = NumType::fixed(false, 8, 0), out = NumType::fixed(true, 16, 4);
    DSPDataAttributesHandle hin(in, in, in, kRoundFloor, kOverflowSaturate, "Input");
    DSPDataAttributesHandle hout(out, out, out, kRoundFloor, kOverflowSaturate, "Output");
    uint8_t src[4] = {0, 1, 200, 255};
    int16_t dst[4] = {};
    std::unique_ptr<Fixpt> a(FixptFactory::createFixpt(hin, src, 4));
    std::unique_ptr<Fixpt> b(FixptFactory::createFixpt(hout, dst, 4));
    for (int32_t i = 0; i < 4; ++i)
        (*b)[3 - i] = (*a)[i];
    EXPECT_EQ(dst[3], 0);
    EXPECT_EQ(dst[2], 16);
    EXPECT_EQ(dst[1], 3200);
    EXPECT_EQ(dst[0], 4080);
    uint8_t other[4] = {9, 9, 9, 9};
    a->setValPtr(other);
    (*b)[0] = (*a)[2];
    EXPECT_EQ(dst[0], 144);
    (*a)[1].reset();
    EXPECT_EQ(other[1], 0);
    EXPECT_EQ(other[0], 9);
}

TEST(Examples, TemporariesTakeTheHandlesProductAndAccumulatorTypes) {
    const NumType v = NumType::fixed(true, 8, 4), p = NumType::fixed(true, 16, 8),
                  acc = NumType::fixed(true, 20, 6);
    Num a(v, kRoundFloor, kOverflowSaturate, p, acc), b(v);
    *a.x = 7.9375;  // 127 / 16
    *b.x = -8.0;
    const Fixpt prod = *a.x * *b.x;
    EXPECT_EQ(prod.getType(), p);
    EXPECT_EQ(prod.toDouble(), -63.5);
    const Fixpt sq = a.x->square();
    EXPECT_EQ(sq.toDouble(), 63.00390625);
    const Fixpt sum = *a.x + *b.x;
    EXPECT_EQ(sum.getType(), acc);
    EXPECT_EQ(sum.toDouble(), -0.0625);
    const Fixpt diff = *a.x - *b.x;
    EXPECT_EQ(diff.toDouble(), 15.9375);  // fits the accumulator, not the value type
    Num small(v);
    *small.x = *a.x - *b.x;
    EXPECT_EQ(small.x->toDouble(), 7.9375);  // saturated on assignment
}

TEST(Examples, FloatingValueTypesComputeInTheirOwnType) {
    const NumType d = NumType::doubleType(), s = NumType::singleType();
    Num x(d), y(s), i(NumType::fixed(true, 32, 0));
    *x.x = 0.1;
    *y.x = 0.1;
    EXPECT_EQ(y.x->toDouble(), double(0.1f));
    *x.x += *y.x;
    EXPECT_EQ(x.x->toDouble(), 0.1 + double(0.1f));
    *i.x = 3;
    *x.x *= *i.x;
    EXPECT_EQ(x.x->toDouble(), (0.1 + double(0.1f)) * 3);
    Num q(s);
    q.x->divide(*i.x, *x.x);
    EXPECT_EQ(q.x->toDouble(), double(float(3 / ((0.1 + double(0.1f)) * 3))));
    *x.x = 2.5;
    EXPECT_EQ(x.x->nearest(), 3);
    EXPECT_EQ(x.x->fix(), 2);
    *x.x = -2.5;
    EXPECT_EQ(x.x->nearest(), -2);
    EXPECT_EQ(x.x->floor(), -3);
    EXPECT_EQ(x.x->ceil(), -2);
    *i.x = *x.x;  // -2.5 floored onto the integer grid
    EXPECT_EQ(i.stored(), -3);
    Num r(d);
    *x.x = 2.25;
    x.x->sqrt(*r.x);
    EXPECT_EQ(r.x->toDouble(), 1.5);
    Num zero(d);
    q.x->divide(*x.x, *zero.x);
    EXPECT_EQ(q.x->toDouble(), double(3.40282347e38f));
    EXPECT_TRUE(*i.x < *x.x);
}

TEST(Examples, IntegerResultsSaturateToInt32) {
    Num big(NumType::fixed(true, 64, 0));
    *big.x = int64_t(1) << 40;
    EXPECT_EQ(big.x->nearest(), INT32_MAX);
    *big.x = -(int64_t(1) << 40);
    EXPECT_EQ(big.x->floor(), INT32_MIN);
    Num wide(NumType::fixed(true, 128, 100));
    *wide.x = -0.5;
    EXPECT_EQ(wide.x->nearest(), 0);  // ties toward +infinity
    EXPECT_EQ(wide.x->floor(), -1);
    EXPECT_EQ(wide.x->fix(), 0);
}

}  // namespace
