// StoredMac against exact rationals: every product quantised into the product type, every sum into the
// accumulator, the result into the output, each by its own rounding and overflow code. Types, grids
// (products on the accumulator's grid or not), modes and values are drawn at random, often at the ends
// of the ranges, for two and four taps and sample strides 1 and 3.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "oracle.h"
#include "vekfixpt.h"

using namespace fixpt_test;
using VekDSPFixpt::DSPDataAttributesHandle;
using VekDSPFixpt::Fixpt;
using VekDSPFixpt::FixptFactory;
using VekDSPFixpt::StoredMac;

namespace {

struct Types {
    NumType sample, weight, product, acc;
    int32_t productRounding, productOverflow, accRounding, accOverflow, outRounding, outOverflow;
};

// Storage of a sample type of at most 32 bits: its stored integers as S.
template <class S>
void runCase(const Types& ty, std::mt19937_64& rng, int taps, int64_t stride, int* checked) {
    const int64_t count = 9;
    const size_t n = size_t((count + taps) * stride);
    std::vector<S> src(n), dst(size_t(count * 2), S(0));
    for (S& v : src)
        v = S(mpz_get_si(randomStored(rng, ty.sample).get_mpz_t()));
    std::vector<int64_t> w(static_cast<size_t>(taps));
    for (int64_t& v : w)
        v = mpz_get_si(randomStored(rng, ty.weight).get_mpz_t());

    DSPDataAttributesHandle weightH(ty.weight, ty.product, ty.acc, ty.productRounding, ty.productOverflow,
                                    "w");
    DSPDataAttributesHandle accH(ty.acc, ty.product, ty.acc, ty.accRounding, ty.accOverflow, "acc");
    DSPDataAttributesHandle sampleH(ty.sample, ty.product, ty.acc, ty.outRounding, ty.outOverflow, "s");
    std::unique_ptr<Fixpt> weight(FixptFactory::createFixpt(weightH, nullptr, 1));
    std::unique_ptr<Fixpt> acc(FixptFactory::createFixpt(accH, nullptr, 1));
    std::unique_ptr<Fixpt> in(FixptFactory::createFixpt(sampleH, src.data(), int32_t(src.size())));
    std::unique_ptr<Fixpt> out(FixptFactory::createFixpt(sampleH, dst.data(), int32_t(dst.size())));
    ASSERT_TRUE(weight && acc && in && out);
    StoredMac mac;
    ASSERT_TRUE(StoredMac::make(*weight, *in, *acc, *out, &mac));
    if (taps == 2)
        mac.line<2>(src.data(), stride, dst.data(), 2, count, w.data());
    else
        mac.line<4>(src.data(), stride, dst.data(), 2, count, w.data());

    for (int64_t k = 0; k < count; ++k) {
        mpq_class accValue;
        for (int t = 0; t < taps; ++t) {
            const mpq_class exact =
                realValue(mpz_class(static_cast<long>(w[size_t(t)])), ty.weight) *
                realValue(mpz_class(static_cast<long>(src[size_t((k + t) * stride)])), ty.sample);
            const mpq_class p =
                realValue(quantiseQ(exact, ty.product, ty.productRounding, ty.productOverflow), ty.product);
            const mpq_class sum = t == 0 ? p : mpq_class(accValue + p);
            accValue = realValue(quantiseQ(sum, ty.acc, ty.accRounding, ty.accOverflow), ty.acc);
        }
        const mpz_class expect = quantiseQ(accValue, ty.sample, ty.outRounding, ty.outOverflow);
        ASSERT_EQ(mpz_class(static_cast<long>(dst[size_t(k * 2)])), expect)
            << "sample " << k << " taps " << taps << " product FL " << ty.product.fracLength << " acc FL "
            << ty.acc.fracLength << " out rounding " << ty.outRounding;
        EXPECT_EQ(dst[size_t(k * 2 + 1)], S(0));  // the destination stride is kept
        ++*checked;
    }
}

TEST(StoredMac, MatchesExactArithmetic) {
    std::mt19937_64 rng(4242);
    std::uniform_int_distribution<int32_t> mode(0, 6), ovf(0, 1), coin(0, 1);
    int checked = 0;
    for (int n = 0; n < 600; ++n) {
        const int kind = n % 4;  // u8, s8, u16, s16 / s32 samples
        const bool isSigned = kind % 2 == 1;
        const int32_t sampleWl = kind < 2 ? 8 : (coin(rng) ? 16 : 32);
        const int32_t sampleFl = std::uniform_int_distribution<int32_t>(-2, sampleWl)(rng);
        const int32_t weightWl = std::uniform_int_distribution<int32_t>(8, 40)(rng);
        const int32_t weightFl = std::uniform_int_distribution<int32_t>(0, weightWl)(rng);
        const int32_t accWl = std::uniform_int_distribution<int32_t>(16, 48)(rng);
        const int32_t accFl = std::uniform_int_distribution<int32_t>(0, accWl - 4)(rng);
        // Half the cases put products on the accumulator's grid (the common kernel case).
        const int32_t prodFl = coin(rng) ? accFl : std::uniform_int_distribution<int32_t>(0, accWl)(rng);
        const int32_t prodWl = std::max(accWl, prodFl + 4);
        Types ty{NumType::fixed(isSigned, sampleWl, sampleFl),
                 NumType::fixed(true, weightWl, weightFl),
                 NumType::fixed(true, prodWl, prodFl),
                 NumType::fixed(true, accWl, accFl),
                 mode(rng),
                 ovf(rng),
                 mode(rng),
                 ovf(rng),
                 mode(rng),
                 ovf(rng)};
        if (coin(rng)) ty.outRounding = ty.productRounding;  // the exact plan needs them equal
        const int taps = n % 3 == 0 ? 2 : 4;
        const int64_t stride = n % 5 == 0 ? 3 : 1;
        if (sampleWl == 8)
            isSigned ? runCase<int8_t>(ty, rng, taps, stride, &checked)
                     : runCase<uint8_t>(ty, rng, taps, stride, &checked);
        else if (sampleWl == 16)
            isSigned ? runCase<int16_t>(ty, rng, taps, stride, &checked)
                     : runCase<uint16_t>(ty, rng, taps, stride, &checked);
        else
            isSigned ? runCase<int32_t>(ty, rng, taps, stride, &checked)
                     : runCase<uint32_t>(ty, rng, taps, stride, &checked);
        if (::testing::Test::HasFatalFailure()) return;
    }
    EXPECT_GT(checked, 5000);
}

TEST(StoredMac, RefusesWhatItCannotHold) {
    const NumType s8 = NumType::fixed(true, 8, 0), w = NumType::fixed(true, 32, 16);
    DSPDataAttributesHandle weightH(w, w, w, 1, 1, "w");
    DSPDataAttributesHandle byteH(s8, w, w, 1, 1, "s");
    DSPDataAttributesHandle dblH(NumType::doubleType(), w, w, 1, 1, "d");
    DSPDataAttributesHandle wideH(NumType::fixed(true, 72, 0), w, w, 1, 1, "x");
    std::unique_ptr<Fixpt> weight(FixptFactory::createFixpt(weightH, nullptr, 1));
    std::unique_ptr<Fixpt> byte(FixptFactory::createFixpt(byteH, nullptr, 1));
    std::unique_ptr<Fixpt> dbl(FixptFactory::createFixpt(dblH, nullptr, 1));
    std::unique_ptr<Fixpt> wide(FixptFactory::createFixpt(wideH, nullptr, 1));
    std::unique_ptr<Fixpt> logged(FixptFactory::createFixpt(byteH, nullptr, 1, true));
    StoredMac mac;
    EXPECT_TRUE(StoredMac::make(*weight, *byte, *weight, *byte, &mac));
    EXPECT_FALSE(StoredMac::make(*weight, *dbl, *weight, *dbl, &mac));      // floating samples
    EXPECT_FALSE(StoredMac::make(*weight, *wide, *weight, *wide, &mac));    // beyond 64 bits
    EXPECT_FALSE(StoredMac::make(*weight, *byte, *weight, *wide, &mac));    // output of another type
    EXPECT_FALSE(StoredMac::make(*weight, *byte, *weight, *logged, &mac));  // a logging object
}

}  // namespace
