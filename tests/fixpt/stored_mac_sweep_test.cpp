// StoredMac over unsigned samples of 1 to 63 bits (and signed ones up to 64), weights that are often
// negative, working types equal to the sample's (unsigned too) or of the sample's word and fraction
// length, every rounding and overflow code at each step, sample strides that are zero, negative or large,
// destination strides of either sign, and 1 to 32 taps. Every sample is checked against exact rationals,
// and against the number objects StoredMac stands in for (acc = w*s; acc += w*s ...; out = acc).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "dravo/host/types.h"
#include "oracle.h"
#include "vekfixpt.h"

namespace {

using namespace fixpt_test;
using VekDSPFixpt::DSPDataAttributesHandle;
using VekDSPFixpt::Fixpt;
using VekDSPFixpt::FixptFactory;
using VekDSPFixpt::i128;
using VekDSPFixpt::StoredMac;

struct MacCase {
    NumType sample, weight, product, acc;
    int32_t prodRnd, prodOvf, accRnd, accOvf, outRnd, outOvf;
    int taps;
    int64_t srcStride, dstStride, count;
    bool allTuples;                   // the samples are a sequence holding every tuple of taps sample values
    std::vector<double> realWeights;  // when given, the weights (rounded to nearest onto their type)
    std::vector<mpz_class> storedWeights;  // when given, the weights' stored integers
    bool largestSamples = false;           // every sample the type's largest
};

std::string typeText(const NumType& t) {
    return std::string(t.isSigned ? "s" : "u") + std::to_string(t.wordLength) + "_" +
           std::to_string(t.fracLength);
}

std::string describe(const MacCase& c) {
    std::ostringstream o;
    o << "sample " << typeText(c.sample) << " weight " << typeText(c.weight) << " product "
      << typeText(c.product) << " acc " << typeText(c.acc) << " rounding p/a/o " << c.prodRnd << "/"
      << c.accRnd << "/" << c.outRnd << " overflow p/a/o " << c.prodOvf << "/" << c.accOvf << "/" << c.outOvf
      << " taps " << c.taps << " strides " << c.srcStride << "/" << c.dstStride << " count " << c.count;
    return o.str();
}

// What make() takes on: fixed words of at most 64 bits, samples and weights that are not unsigned 64-bit
// (int64 cannot pass them), exact products within 120 bits, product and accumulator grids at most 60 bits
// apart.
bool takesOn(const MacCase& c) {
    const int32_t d = c.product.fracLength - c.acc.fracLength;
    return !(!c.sample.isSigned && c.sample.wordLength == 64) &&
           !(!c.weight.isSigned && c.weight.wordLength == 64) &&
           c.weight.wordLength + c.sample.wordLength <= 120 && d <= 60 && d >= -60;
}

// The stored integer held in 64 bits (as a caller passes weights and reads samples) as a number.
mpz_class storedValue(uint64_t bits, const NumType& t) {
    if (t.isSigned) return mpz_class(static_cast<long>(int64_t(bits)));
    return mpz_class(static_cast<unsigned long>(bits));
}

uint64_t low64(const mpz_class& v) {
    return uint64_t(toBits(v));
}

// De Bruijn sequence over k symbols of order n, extended by n - 1 symbols so that every n-tuple is a
// window of consecutive samples.
std::vector<int> everyTuple(int k, int n) {
    std::vector<int> a(size_t(k * n), 0), seq;
    auto db = [&](auto&& self, int t, int p) -> void {
        if (t > n) {
            if (n % p == 0)
                for (int j = 1; j <= p; ++j)
                    seq.push_back(a[size_t(j)]);
            return;
        }
        a[size_t(t)] = a[size_t(t - p)];
        self(self, t + 1, p);
        for (int j = a[size_t(t - p)] + 1; j < k; ++j) {
            a[size_t(t)] = j;
            self(self, t + 1, t);
        }
    };
    db(db, 1, 1);
    for (int j = 0; j < n - 1; ++j)
        seq.push_back(seq[size_t(j)]);
    return seq;
}

std::unique_ptr<DSPDataAttributesHandle> sampleHandle(const MacCase& c) {
    if (!c.sample.isSigned && c.sample.wordLength == 1)  // only the host's boolean has one bit
        return std::make_unique<DSPDataAttributesHandle>(SS_BOOLEAN, 0, c.product, c.acc, c.outRnd, c.outOvf,
                                                         "s");
    return std::make_unique<DSPDataAttributesHandle>(c.sample, c.product, c.acc, c.outRnd, c.outOvf, "s");
}

struct Totals {
    int cases = 0, refused = 0, samples = 0, saturatedOrWrapped = 0;
};

template <int Taps, class S>
void runCase(const MacCase& c, std::mt19937_64& rng, Totals* tot) {
    const int64_t count = c.count;
    // Source indexes base + (n + t) * srcStride and destination indexes dbase + n * dstStride.
    const int64_t span = std::max<int64_t>(count + Taps - 1, 1);
    const int64_t srcLo = std::min<int64_t>(0, (span - 1) * c.srcStride);
    const int64_t srcHi = std::max<int64_t>(0, (span - 1) * c.srcStride);
    const int64_t base = -srcLo;
    std::vector<S> src(size_t(srcHi - srcLo + 1), S(0));
    std::vector<int> tuples;
    if (c.allTuples) tuples = everyTuple(1 << c.sample.wordLength, Taps);
    for (int64_t i = 0; i < span; ++i) {
        const mpz_class v = c.allTuples        ? mpz_class(tuples[size_t(i)])
                            : c.largestSamples ? maxStored(c.sample)
                                               : randomStored(rng, c.sample);
        src[size_t(base + i * c.srcStride)] = S(low64(v));
    }
    std::vector<int64_t> w(static_cast<size_t>(Taps));
    for (size_t t = 0; t < w.size(); ++t) {
        mpz_class x = randomStored(rng, c.weight);
        if (c.weight.isSigned && x > 0 && rng() % 3 == 0) x = -x;  // negative weights are the case here
        if (!c.realWeights.empty())
            x = quantiseQ(mpq_class(c.realWeights[t]), c.weight, VekDSPFixpt::kRoundNearest,
                          VekDSPFixpt::kOverflowSaturate);
        if (!c.storedWeights.empty()) x = c.storedWeights[t];
        w[t] = int64_t(low64(x));
    }
    const int64_t dLo = std::min<int64_t>(0, (count - 1) * c.dstStride);
    const int64_t dHi = std::max<int64_t>(0, (count - 1) * c.dstStride);
    const int64_t dbase = -dLo;
    const S sentinel = S(0x5a5a5a5a5a5a5a5aull);
    std::vector<S> dst(size_t(dHi - dLo + 1), sentinel), objDst = dst;

    DSPDataAttributesHandle weightH(c.weight, c.product, c.acc, c.prodRnd, c.prodOvf, "w");
    DSPDataAttributesHandle accH(c.acc, c.product, c.acc, c.accRnd, c.accOvf, "acc");
    const std::unique_ptr<DSPDataAttributesHandle> sampleH = sampleHandle(c);
    ASSERT_TRUE(weightH.isValid() && accH.isValid() && sampleH->isValid()) << describe(c);
    std::unique_ptr<Fixpt> acc(FixptFactory::createFixpt(accH, nullptr, 1));
    std::unique_ptr<Fixpt> in(FixptFactory::createFixpt(*sampleH, src.data(), int32_t(src.size())));
    std::unique_ptr<Fixpt> out(FixptFactory::createFixpt(*sampleH, dst.data(), int32_t(dst.size())));
    std::unique_ptr<Fixpt> objOut(FixptFactory::createFixpt(*sampleH, objDst.data(), int32_t(objDst.size())));
    std::vector<std::unique_ptr<Fixpt>> wObj;
    for (int64_t v : w) {
        wObj.emplace_back(FixptFactory::createFixpt(weightH, nullptr, 1));
        ASSERT_TRUE(wObj.back());
        wObj.back()->setStoredBits(VekDSPFixpt::u128(i128(v)));
    }
    ASSERT_TRUE(acc && in && out && objOut);
    ++tot->cases;

    StoredMac mac;
    const bool made = StoredMac::make(*wObj[0], *in, *acc, *out, &mac);
    ASSERT_EQ(made, takesOn(c)) << describe(c);
    if (!made) {
        ++tot->refused;
        return;
    }
    mac.line<Taps>(src.data() + base, c.srcStride, dst.data() + dbase, c.dstStride, count, w.data());

    // The number objects, as a kernel without StoredMac runs them.
    for (int64_t n = 0; n < count; ++n) {
        acc->reset();
        for (int t = 0; t < Taps; ++t)
            *acc += *wObj[size_t(t)] * (*in)[int32_t(base + (n + t) * c.srcStride)];
        (*objOut)[int32_t(dbase + n * c.dstStride)] = *acc;
    }

    std::vector<bool> written(dst.size(), false);
    for (int64_t n = 0; n < count; ++n) {
        mpq_class a;
        bool clipped = false;
        for (int t = 0; t < Taps; ++t) {
            const mpz_class s = storedValue(uint64_t(src[size_t(base + (n + t) * c.srcStride)]), c.sample);
            const mpq_class exact =
                realValue(storedValue(uint64_t(w[size_t(t)]), c.weight), c.weight) * realValue(s, c.sample);
            Outcome o1, o2;
            const mpq_class p =
                realValue(quantiseQ(exact, c.product, c.prodRnd, c.prodOvf, false, &o1), c.product);
            const mpq_class sum = t == 0 ? p : mpq_class(a + p);
            a = realValue(quantiseQ(sum, c.acc, c.accRnd, c.accOvf, false, &o2), c.acc);
            clipped = clipped || o1 != Outcome::Exact || o2 != Outcome::Exact;
        }
        Outcome o3;
        const mpz_class expect = quantiseQ(a, c.sample, c.outRnd, c.outOvf, false, &o3);
        clipped = clipped || o3 != Outcome::Exact;
        tot->saturatedOrWrapped += clipped ? 1 : 0;
        const size_t at = size_t(dbase + n * c.dstStride);
        written[at] = true;
        ASSERT_EQ(storedValue(uint64_t(dst[at]), c.sample), expect)
            << "StoredMac, line " << n << ": " << describe(c);
        ASSERT_EQ(storedValue(uint64_t(objDst[at]), c.sample), expect)
            << "number objects, line " << n << ": " << describe(c);
        ++tot->samples;
    }
    for (size_t i = 0; i < dst.size(); ++i) {
        if (written[i]) continue;
        ASSERT_EQ(dst[i], sentinel) << "written outside the line: " << describe(c);
    }
}

template <class S>
void runTaps(const MacCase& c, std::mt19937_64& rng, Totals* tot) {
    switch (c.taps) {
        case 1:
            return runCase<1, S>(c, rng, tot);
        case 2:
            return runCase<2, S>(c, rng, tot);
        case 3:
            return runCase<3, S>(c, rng, tot);
        case 4:
            return runCase<4, S>(c, rng, tot);
        case 5:
            return runCase<5, S>(c, rng, tot);
        case 8:
            return runCase<8, S>(c, rng, tot);
        case 16:
            return runCase<16, S>(c, rng, tot);
        case 32:
            return runCase<32, S>(c, rng, tot);
        default:
            return runCase<64, S>(c, rng, tot);
    }
}

void run(const MacCase& c, std::mt19937_64& rng, Totals* tot) {
    const int32_t bytes = NumType::containerFor(c.sample.wordLength);
    if (c.sample.isSigned) {
        if (bytes == 1) return runTaps<int8_t>(c, rng, tot);
        if (bytes == 2) return runTaps<int16_t>(c, rng, tot);
        if (bytes == 4) return runTaps<int32_t>(c, rng, tot);
        return runTaps<int64_t>(c, rng, tot);
    }
    if (bytes == 1) return runTaps<uint8_t>(c, rng, tot);
    if (bytes == 2) return runTaps<uint16_t>(c, rng, tot);
    if (bytes == 4) return runTaps<uint32_t>(c, rng, tot);
    return runTaps<uint64_t>(c, rng, tot);
}

// Working types by kind: 0 both equal to the sample's type, 1 both signed of the sample's word and
// fraction length, 2 the accumulator on the product's grid, 3 unrelated grids (some too far apart to be
// taken on), 4 the exact product's type with a wider accumulator, at times with extreme fraction lengths.
MacCase randomCase(std::mt19937_64& rng, int n) {
    auto uni = [&](int a, int b) { return std::uniform_int_distribution<int>(a, b)(rng); };
    MacCase c{};
    const bool unsignedSample = uni(0, 5) != 0;
    const int swl = unsignedSample ? uni(1, 63) : uni(2, 64);
    const bool extreme = n % 5 == 4 && uni(0, 2) == 0;
    const int sfl = swl == 1 ? 0 : extreme ? uni(-500, 500) : uni(-6, swl + 6);
    c.sample = NumType::fixed(!unsignedSample, swl, sfl);
    const int wwl = uni(0, 3) == 0 ? uni(40, 64) : uni(2, 34);
    const bool signedWeight = uni(0, 4) != 0;
    const int wfl = extreme ? uni(-500, 500) : uni(-4, wwl + 4);
    c.weight = NumType::fixed(signedWeight, wwl, wfl);
    const int wl = std::max(swl, 2);
    switch (n % 5) {
        case 0:
            c.product = c.acc = NumType::fixed(c.sample.isSigned, wl, sfl);
            break;
        case 1:
            c.product = c.acc = NumType::fixed(true, wl, sfl);
            break;
        case 2: {
            const int pfl = uni(-4, 70);
            c.product = NumType::fixed(uni(0, 3) != 0, uni(2, 64), pfl);
            c.acc = NumType::fixed(uni(0, 3) != 0, uni(2, 64), pfl);
            break;
        }
        case 3: {
            const int pfl = uni(-10, 70);
            c.product = NumType::fixed(uni(0, 3) != 0, uni(2, 64), pfl);
            c.acc = NumType::fixed(uni(0, 3) != 0, uni(2, 64), std::clamp(pfl + uni(-64, 64), -512, 512));
            break;
        }
        default: {
            const int pwl = std::min(64, wwl + swl);
            const int pfl = std::clamp(wfl + sfl + uni(-3, 3), -512, 512);
            c.product = NumType::fixed(true, pwl, pfl);
            c.acc = NumType::fixed(true, std::min(64, pwl + uni(0, 8)),
                                   std::clamp(pfl + (uni(0, 1) ? 0 : uni(-8, 8)), -512, 512));
            break;
        }
    }
    c.prodRnd = uni(0, 6);
    c.accRnd = uni(0, 6);
    c.outRnd = uni(0, 1) ? c.prodRnd : uni(0, 6);  // the same code lets the exact interior run
    c.prodOvf = uni(0, 1);
    c.accOvf = uni(0, 1);
    c.outOvf = uni(0, 1);
    static const int kTaps[] = {1, 2, 2, 3, 4, 4, 4, 5, 8, 16, 32};
    static const int64_t kSrcStrides[] = {1, 1, 1, 0, -1, 2, -3, 5, -17, 4099};
    static const int64_t kDstStrides[] = {1, 1, -1, 2, -4, 3};
    c.taps = kTaps[rng() % std::size(kTaps)];
    c.srcStride = kSrcStrides[rng() % std::size(kSrcStrides)];
    c.dstStride = kDstStrides[rng() % std::size(kDstStrides)];
    c.count = uni(0, 12) == 0 ? 0 : uni(1, 7);
    // Tiny unsigned samples: every tuple of sample values, one line each.
    if (unsignedSample && swl <= 3 && c.taps <= 3 && uni(0, 1) == 0) {
        c.allTuples = true;
        c.srcStride = 1;
        int k = 1;
        for (int t = 0; t < c.taps; ++t)
            k *= 1 << swl;
        c.count = k;
    }
    return c;
}

TEST(StoredMacSweep, UnsignedSamplesNegativeWeightsAnyStrideMatchExactAndObjects) {
    std::mt19937_64 rng(20261209);
    Totals tot;
    for (int n = 0; n < 2500; ++n) {
        const MacCase c = randomCase(rng, n);
        run(c, rng, &tot);
        if (::testing::Test::HasFatalFailure()) return;
    }
    // The sweep must mostly run, and reach the ends of the ranges.
    EXPECT_GT(tot.samples, 8000);
    EXPECT_LT(tot.refused * 5, tot.cases);
    EXPECT_GT(tot.saturatedOrWrapped * 5, tot.samples);
}

// The rotate skew's configuration: ufix12_3 images, a working type of the image's word and fraction
// length (signed), bicubic weights with negative outer taps, every rounding and overflow code.
TEST(StoredMacSweep, TwelveBitImagesWithBicubicWeights) {
    std::mt19937_64 rng(12);
    Totals tot;
    const NumType image = NumType::fixed(false, 12, 3);
    for (int32_t r = 0; r <= 6; ++r) {
        for (int32_t v = 0; v <= 1; ++v) {
            for (int work = 0; work < 3; ++work) {
                MacCase c{};
                c.sample = image;
                c.weight = work == 0 ? NumType::fixed(true, 12, 3) : NumType::fixed(true, 32, 16);
                c.product = c.weight;
                c.acc = work == 2 ? NumType::fixed(true, 32, 10) : c.weight;
                c.prodRnd = c.accRnd = c.outRnd = r;
                c.prodOvf = c.accOvf = c.outOvf = v;
                c.taps = 4;
                c.srcStride = work == 1 ? 21 : 1;
                c.dstStride = work == 2 ? -9 : 1;
                c.count = 7;
                for (int rep = 0; rep < 20; ++rep) {
                    // Cubic convolution weights (a = -1) of a random fraction: the outer two are negative.
                    const double f = std::uniform_real_distribution<double>(0.01, 0.99)(rng);
                    auto k = [](double d) {
                        return d < 1 ? d * d * d - 2 * d * d + 1 : -d * d * d + 5 * d * d - 8 * d + 4;
                    };
                    c.realWeights = {k(1 + f), k(f), k(1 - f), k(2 - f)};
                    run(c, rng, &tot);
                }
                if (::testing::Test::HasFatalFailure()) return;
            }
        }
    }
    EXPECT_EQ(tot.refused, 0);
}

// Weights and working words at the ends of 64 bits: the stored integers a caller passes in int64.
TEST(StoredMacSweep, WeightsAtTheEndsOfSixtyFourBits) {
    const mpz_class top64 = pow2(64) - 1, top63 = pow2(63) - 1, low63 = -pow2(63);
    struct Row {
        NumType weight, product, acc;
        std::vector<mpz_class> weights;
    };
    const NumType s64 = NumType::fixed(true, 64, 0), u64 = NumType::fixed(false, 64, 0);
    const Row rows[] = {
        {u64, s64, s64, {top64, 1, pow2(63)}},
        {u64, NumType::fixed(true, 64, -8), NumType::fixed(true, 64, -8), {top64, pow2(63), 3}},
        {u64, u64, u64, {top64, 0, 1}},
        {s64, s64, s64, {low63, top63, -1}},
        {s64, u64, u64, {low63, top63, 5}},
        {NumType::fixed(false, 63, 0), s64, s64, {top63, top63, 1}},
    };
    std::mt19937_64 rng(64);
    Totals tot;
    // 64 products of nearly 2^58 on the accumulator's grid: a sum beyond int64 on the way to saturation.
    for (int32_t v = 0; v <= 1; ++v) {
        MacCase c{};
        c.sample = NumType::fixed(false, 29, 0);
        c.weight = NumType::fixed(true, 30, 0);
        c.product = NumType::fixed(true, 59, 0);
        c.acc = NumType::fixed(true, 60, 0);
        c.prodRnd = c.accRnd = c.outRnd = VekDSPFixpt::kRoundFloor;
        c.prodOvf = c.accOvf = c.outOvf = v;
        c.taps = 64;
        c.srcStride = 0;  // every tap reads the one sample
        c.largestSamples = true;
        c.dstStride = 1;
        c.count = 2;
        c.storedWeights.assign(64, -pow2(29));
        run(c, rng, &tot);
        if (::testing::Test::HasFatalFailure()) return;
    }
    for (const Row& row : rows) {
        for (int32_t r = 0; r <= 6; ++r) {
            for (int32_t v = 0; v <= 1; ++v) {
                MacCase c{};
                c.sample = NumType::fixed(false, 8, 0);
                c.weight = row.weight;
                c.product = row.product;
                c.acc = row.acc;
                c.prodRnd = c.accRnd = c.outRnd = r;
                c.prodOvf = c.accOvf = c.outOvf = v;
                c.taps = 3;
                c.srcStride = 1;
                c.dstStride = 1;
                c.count = 5;
                c.storedWeights = row.weights;
                run(c, rng, &tot);
                if (::testing::Test::HasFatalFailure()) return;
            }
        }
    }
}

}  // namespace
