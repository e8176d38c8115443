// Fltpt<T> against native arithmetic, and one kernel template run over Fltpt<double>, Fltpt<float> and
// Fixpt (the latter checked against exact rationals).
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "oracle.h"
#include "vekfixpt.h"

namespace {

using namespace VekDSPFixpt;

// A kernel written once: acc = sum of a[i] * b[i]; then out[i] = (a[i] - acc) / b[i] when b[i] > 0.
template <class N>
void dotAndNormalise(N& a, N& b, N& acc, N& out, N& scratch, int32_t n) {
    acc.reset();
    for (int32_t i = 0; i < n; ++i)
        acc += a[i] * b[i];
    for (int32_t i = 0; i < n; ++i) {
        if (b[i].isPositive()) {
            scratch = a[i];
            scratch -= acc;
            out[i].divide(scratch, b[i]);
        } else {
            out[i].reset();
        }
    }
}

template <class T>
class FltptTyped : public ::testing::Test {};
using FloatTypes = ::testing::Types<float, double>;
TYPED_TEST_SUITE(FltptTyped, FloatTypes);

TYPED_TEST(FltptTyped, OperationsMatchNativeArithmeticStepByStep) {
    using T = TypeParam;
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> dist(-100, 100);
    for (int32_t trial = 0; trial < 200; ++trial) {
        const T x0 = T(dist(rng)), y0 = T(dist(rng));
        std::vector<T> data = {x0, y0};
        // Two accessors over the same data: one object has one current element at a time.
        Fltpt<T> v(data.data(), 2), w(data.data(), 2), r;
        EXPECT_EQ(v[0].value(), x0);
        r = v[0];
        r += w[1];
        EXPECT_EQ(r.value(), T(x0 + y0));
        r = v[0];
        r -= w[1];
        EXPECT_EQ(r.value(), T(x0 - y0));
        r = v[0];
        r *= w[1];
        EXPECT_EQ(r.value(), T(x0 * y0));
        EXPECT_EQ((v[0] * w[1]).value(), T(x0 * y0));
        EXPECT_EQ(v[0].square().value(), T(x0 * x0));
        EXPECT_EQ((-w[1]).value(), -y0);
        r.divide(v[0], w[1]);
        EXPECT_EQ(r.value(), T(x0 / y0));
        r = v[0];
        r >>= 3;
        EXPECT_EQ(r.value(), T(x0 / 8));
        Fltpt<T> root;
        r = T(std::fabs(x0));
        r.sqrt(root);
        EXPECT_EQ(root.value(), std::sqrt(T(std::fabs(x0))));
        EXPECT_EQ(v[0] < w[1], x0 < y0);
        EXPECT_EQ(v[0] <= w[1], x0 <= y0);
        EXPECT_EQ(v[0] > w[1], x0 > y0);
        EXPECT_EQ(v[0] >= w[1], x0 >= y0);
        EXPECT_EQ(v[0] == w[1], x0 == y0);
        EXPECT_EQ(v[0].isNegative(), x0 < 0);
        EXPECT_EQ(v[0].floor(), int32_t(std::floor(x0)));
        EXPECT_EQ(v[0].ceil(), int32_t(std::ceil(x0)));
        EXPECT_EQ(v[0].fix(), int32_t(std::trunc(x0)));
    }
}

TYPED_TEST(FltptTyped, NearestTiesTowardPlusInfinityAndIntegerResultsSaturate) {
    using T = TypeParam;
    Fltpt<T> x;
    const double cases[][2] = {{2.5, 3},  {-2.5, -2},         {0.49999997, 0},
                               {-0.5, 0}, {1e12, 2147483647}, {-1e12, -2147483648.0}};
    for (const auto& c : cases) {
        x = c[0];
        EXPECT_EQ(x.nearest(), int32_t(c[1])) << c[0];
    }
    x = std::numeric_limits<T>::quiet_NaN();
    EXPECT_EQ(x.nearest(), 0);
    EXPECT_EQ(x.floor(), 0);
}

TYPED_TEST(FltptTyped, SetValPtrAndFreeStandingCopies) {
    using T = TypeParam;
    T first[3] = {1, 2, 3}, second[3] = {10, 20, 30};
    Fltpt<T> v(first, 3);
    Fltpt<T> copy = v[2];  // free-standing: later writes to first do not reach it
    first[2] = 99;
    EXPECT_EQ(copy.value(), T(3));
    v.setValPtr(second);
    EXPECT_EQ(v[1].value(), T(20));
    v[1].reset();
    EXPECT_EQ(second[1], T(0));
}

TEST(OneKernel, FloatingMembersMatchNativeLoops) {
    const int32_t n = 5;
    double a[n] = {1.5, -2.25, 3.0, 0.125, -7.0}, b[n] = {2.0, 0.5, -1.0, 4.0, 0.0};
    double outD[n] = {}, accD = 0, scratchD = 0;
    Fltpt<double> av(a, n), bv(b, n), acc(&accD, 1), out(outD, n), scratch(&scratchD, 1);
    dotAndNormalise(av, bv, acc, out, scratch, n);
    double expectAcc = 0;
    for (int32_t i = 0; i < n; ++i)
        expectAcc += a[i] * b[i];
    EXPECT_EQ(accD, expectAcc);
    for (int32_t i = 0; i < n; ++i)
        EXPECT_EQ(outD[i], b[i] > 0 ? (a[i] - expectAcc) / b[i] : 0.0) << i;

    float af[n], bf[n], outF[n] = {}, accF = 0, scratchF = 0;
    for (int32_t i = 0; i < n; ++i)
        af[i] = float(a[i]), bf[i] = float(b[i]);
    Fltpt<float> avf(af, n), bvf(bf, n), accv(&accF, 1), outv(outF, n), scratchv(&scratchF, 1);
    dotAndNormalise(avf, bvf, accv, outv, scratchv, n);
    float expectF = 0;
    for (int32_t i = 0; i < n; ++i)
        expectF = float(expectF + float(af[i] * bf[i]));
    EXPECT_EQ(accF, expectF);
}

TEST(OneKernel, FixedMemberMatchesExactArithmetic) {
    using namespace fixpt_test;
    const NumType in = NumType::fixed(true, 16, 8), prod = NumType::fixed(true, 32, 16),
                  acc = NumType::fixed(true, 40, 16), outT = NumType::fixed(true, 16, 10);
    DSPDataAttributesHandle hin(in, prod, acc, kRoundNearest, kOverflowSaturate, "In");
    DSPDataAttributesHandle hacc(acc, prod, acc, kRoundNearest, kOverflowSaturate, "Acc");
    DSPDataAttributesHandle hout(outT, prod, acc, kRoundConvergent, kOverflowSaturate, "Out");
    const int32_t n = 64;
    std::vector<int16_t> a(n), b(n), out(n);
    std::mt19937_64 rng(11);
    for (int32_t i = 0; i < n; ++i) {
        a[i] = int16_t(rng());
        b[i] = int16_t(rng() % 4096) - 1024;
    }
    std::unique_ptr<Fixpt> av(FixptFactory::createFixpt(hin, a.data(), n)),
        bv(FixptFactory::createFixpt(hin, b.data(), n)), accv(FixptFactory::createFixpt(hacc, nullptr, 1)),
        outv(FixptFactory::createFixpt(hout, out.data(), n)),
        scratch(FixptFactory::createFixpt(hacc, nullptr, 1));
    dotAndNormalise(*av, *bv, *accv, *outv, *scratch, n);

    // The same steps in exact rationals: each product onto the product grid, each sum onto the accumulator.
    mpz_class accStored = 0;
    for (int32_t i = 0; i < n; ++i) {
        const mpq_class p = realValue(a[i], in) * realValue(b[i], in);
        const mpz_class pq = quantiseQ(p, prod, kRoundNearest, kOverflowSaturate);
        accStored =
            quantiseQ(realValue(accStored, acc) + realValue(pq, prod), acc, kRoundNearest, kOverflowSaturate);
    }
    EXPECT_EQ(fromBits(accv->getStoredBits(), true), accStored);
    for (int32_t i = 0; i < n; ++i) {
        if (b[i] <= 0) {
            EXPECT_EQ(out[i], 0);
            continue;
        }
        const mpz_class s =
            quantiseQ(realValue(a[i], in) - realValue(accStored, acc), acc, kRoundNearest, kOverflowSaturate);
        const mpz_class q = quantiseQ(realValue(s, acc) / realValue(b[i], in), outT, kRoundConvergent,
                                      kOverflowSaturate, true);
        EXPECT_EQ(mpz_class(out[i]), q) << i;
    }
}

}  // namespace
