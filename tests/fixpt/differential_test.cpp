// Differential test of every arithmetic operation against exact rational arithmetic (GMP), over all
// rounding codes x both overflow codes x signedness x word lengths 2..128 x fraction lengths from below
// zero to above the word length, with random operands biased toward the ends of the range.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "oracle.h"
#include "vekfixpt.h"

namespace fixpt_test {
namespace {

using VekDSPFixpt::DSPDataAttributesHandle;
using VekDSPFixpt::Fixpt;
using VekDSPFixpt::FixptFactory;

const int32_t kWordLengths[] = {2, 3, 8, 13, 16, 32, 33, 63, 64, 65, 100, 127, 128};
constexpr int32_t kTrialsPerConfig = 5;

struct Config {
    NumType type;
    int32_t rounding;
    int32_t overflow;
    std::string describe() const {
        return std::string(type.isSigned ? "s" : "u") + std::to_string(type.wordLength) + ":" +
               std::to_string(type.fracLength) + " rnd " + std::to_string(rounding) + " ovf " +
               std::to_string(overflow);
    }
};

std::vector<Config> allConfigs() {
    std::vector<Config> configs;
    for (int32_t rounding = 0; rounding <= 6; ++rounding)
        for (int32_t overflow = 0; overflow <= 1; ++overflow)
            for (bool isSigned : {true, false})
                for (int32_t wl : kWordLengths)
                    for (int32_t fl : {-(wl + 3), -3, 0, wl / 2, wl, wl + 4})
                        configs.push_back({NumType::fixed(isSigned, wl, fl), rounding, overflow});
    return configs;
}

// One free-standing number of a given type with its own handle.
class Scalar {
  public:
    Scalar(const NumType& t, int32_t rounding, int32_t overflow, const NumType& product, const NumType& acc)
        : attrs_(t, product, acc, rounding, overflow, "value"),
          x_(FixptFactory::createFixpt(attrs_, nullptr, 1)) {}
    Scalar(const Config& c) : Scalar(c.type, c.rounding, c.overflow, c.type, c.type) {}
    Fixpt& operator*() { return *x_; }
    Fixpt* operator->() { return x_.get(); }
    const NumType& type() const { return attrs_.valueType(); }
    void set(const mpz_class& stored) { x_->setStoredBits(toBits(stored)); }
    mpz_class stored() const { return fromBits(x_->getStoredBits(), type().isSigned); }
    mpq_class value() const { return realValue(stored(), type()); }

  private:
    DSPDataAttributesHandle attrs_;
    std::unique_ptr<Fixpt> x_;
};

// An operand type near the destination's grid (so that ties and carries happen) or, now and then, far.
NumType randomOperandType(std::mt19937_64& rng, const NumType& near) {
    const int32_t wl = kWordLengths[rng() % std::size(kWordLengths)];
    int32_t fl = near.fracLength + static_cast<int32_t>(rng() % 7) - 3;
    if (rng() % 5 == 0) fl = near.fracLength + static_cast<int32_t>(rng() % 161) - 80;
    return NumType::fixed(rng() % 2 == 0, wl, fl);
}

class Differential : public ::testing::Test {
  protected:
    std::mt19937_64 rng{20261208};
    int failures = 0;

    void expectStored(const mpz_class& expected, const Scalar& got, const std::string& what) {
        if (expected == got.stored()) return;
        ++failures;
        ADD_FAILURE() << what << ": expected " << expected.get_str() << ", got " << got.stored().get_str();
    }
    bool tooManyFailures() const { return failures > 10; }
};

TEST_F(Differential, AssignmentFromAnotherTypeAndFromDouble) {
    for (const Config& c : allConfigs()) {
        for (int32_t trial = 0; trial < kTrialsPerConfig && !tooManyFailures(); ++trial) {
            Scalar dst(c);
            const NumType st = randomOperandType(rng, c.type);
            Scalar src(st, 0, 0, st, st);
            src.set(randomStored(rng, st));
            *dst = *src;
            expectStored(quantiseQ(src.value(), c.type, c.rounding, c.overflow), dst,
                         c.describe() + " = " + src.value().get_str());

            // A double near the grid: a 53-bit mantissa at a random scale, or an exact tie.
            const int64_t mant = static_cast<int64_t>(rng() >> 11) - (int64_t(1) << 52);
            const int32_t scale =
                -c.type.fracLength + static_cast<int32_t>(rng() % (c.type.wordLength + 60)) - 55;
            double d = std::ldexp(static_cast<double>(mant), scale);
            if (trial == 0) d = std::ldexp(static_cast<double>(2 * (mant >> 40) + 1), -c.type.fracLength - 1);
            *dst = d;
            expectStored(quantiseQ(mpq_class(d), c.type, c.rounding, c.overflow), dst,
                         c.describe() + " = double " + std::to_string(d));

            const int64_t i = static_cast<int64_t>(rng()) >> (rng() % 64);
            *dst = i;
            expectStored(quantiseQ(mpq_class(mpz_class(std::to_string(i))), c.type, c.rounding, c.overflow),
                         dst, c.describe() + " = int " + std::to_string(i));
        }
    }
}

TEST_F(Differential, AddAndSubtractInPlace) {
    for (const Config& c : allConfigs()) {
        for (int32_t trial = 0; trial < kTrialsPerConfig && !tooManyFailures(); ++trial) {
            Scalar x(c);
            const NumType yt = randomOperandType(rng, c.type);
            Scalar y(yt, 0, 0, yt, yt);
            const mpz_class x0 = randomStored(rng, c.type);
            y.set(randomStored(rng, yt));
            x.set(x0);
            *x += *y;
            expectStored(quantiseQ(realValue(x0, c.type) + y.value(), c.type, c.rounding, c.overflow), x,
                         c.describe() + " += " + y.value().get_str());
            x.set(x0);
            *x -= *y;
            expectStored(quantiseQ(realValue(x0, c.type) - y.value(), c.type, c.rounding, c.overflow), x,
                         c.describe() + " -= " + y.value().get_str());
        }
    }
}

TEST_F(Differential, ProductIntoProductTypeAndInPlace) {
    for (const Config& c : allConfigs()) {
        for (int32_t trial = 0; trial < kTrialsPerConfig && !tooManyFailures(); ++trial) {
            const NumType bt = randomOperandType(rng, c.type);
            NumType pt = randomOperandType(rng, c.type);
            pt.fracLength = std::max(
                -512, std::min(512, c.type.fracLength + bt.fracLength + static_cast<int32_t>(rng() % 5) - 2));
            Scalar a(c.type, c.rounding, c.overflow, pt, c.type);
            Scalar b(bt, 0, 0, bt, bt);
            const mpz_class a0 = randomStored(rng, c.type);
            a.set(a0);
            b.set(randomStored(rng, bt));
            const mpq_class exact = a.value() * b.value();
            Fixpt p = *a * *b;
            EXPECT_EQ(p.getType(), pt);
            const mpz_class expectedP = quantiseQ(exact, pt, c.rounding, c.overflow);
            if (fromBits(p.getStoredBits(), pt.isSigned) != expectedP) {
                ++failures;
                ADD_FAILURE() << c.describe() << " product into " << pt.wordLength << ":" << pt.fracLength
                              << " of " << a.value().get_str() << " * " << b.value().get_str();
            }
            *a *= *b;
            expectStored(quantiseQ(exact, c.type, c.rounding, c.overflow), a,
                         c.describe() + " *= " + b.value().get_str());
        }
    }
}

TEST_F(Differential, ProductAddedOrSubtractedInPlace) {
    for (const Config& c : allConfigs()) {
        for (int32_t trial = 0; trial < kTrialsPerConfig && !tooManyFailures(); ++trial) {
            // acc +-= a * b: the product lands on a's product grid first, then the sum on acc's.
            const NumType at = randomOperandType(rng, c.type), bt = randomOperandType(rng, c.type);
            NumType pt = randomOperandType(rng, c.type);
            pt.fracLength = std::max(
                -512, std::min(512, at.fracLength + bt.fracLength + static_cast<int32_t>(rng() % 5) - 2));
            const int32_t productRounding = static_cast<int32_t>(rng() % 7);
            const int32_t productOverflow = static_cast<int32_t>(rng() % 2);
            Scalar acc(c);
            Scalar a(at, productRounding, productOverflow, pt, at);
            Scalar b(bt, 0, 0, bt, bt);
            const mpz_class acc0 = randomStored(rng, c.type);
            a.set(randomStored(rng, at));
            b.set(randomStored(rng, bt));
            const mpz_class p = quantiseQ(a.value() * b.value(), pt, productRounding, productOverflow);
            const bool subtract = trial % 2 == 1;
            acc.set(acc0);
            if (subtract)
                *acc -= *a * *b;
            else
                *acc += *a * *b;
            const mpq_class exact = subtract ? mpq_class(realValue(acc0, c.type) - realValue(p, pt))
                                             : mpq_class(realValue(acc0, c.type) + realValue(p, pt));
            expectStored(quantiseQ(exact, c.type, c.rounding, c.overflow), acc,
                         c.describe() + (subtract ? " -= " : " += ") + a.value().get_str() + " * " +
                             b.value().get_str() + " via " + std::to_string(pt.wordLength) + ":" +
                             std::to_string(pt.fracLength));
        }
    }
}

// acc[i] +-= a[j] * b[k] over arrays, with the product type on the accumulator's grid and words within
// 64 bits: the shape of a multiply-accumulate loop. The other accumulator elements must stay untouched.
TEST_F(Differential, MultiplyAccumulateOverArraysOnTheAccumulatorGrid) {
    constexpr int32_t kElements = 3;
    const int32_t factorLengths[] = {2, 3, 8, 13, 16, 31, 32};
    const int32_t productLengths[] = {8, 16, 32, 33, 40, 48, 63, 64};
    for (const Config& c : allConfigs()) {
        if (c.type.wordLength > 64) continue;
        for (int32_t trial = 0; trial < 2 * kTrialsPerConfig && !tooManyFailures(); ++trial) {
            const int32_t afl = c.type.fracLength / 2 + static_cast<int32_t>(rng() % 7) - 3;
            const int32_t bfl = c.type.fracLength - afl + static_cast<int32_t>(rng() % 9) - 4;
            const NumType at =
                NumType::fixed(rng() % 2 == 0, factorLengths[rng() % std::size(factorLengths)], afl);
            const NumType bt =
                NumType::fixed(rng() % 2 == 0, factorLengths[rng() % std::size(factorLengths)], bfl);
            const NumType pt = NumType::fixed(
                rng() % 3 != 0, productLengths[rng() % std::size(productLengths)], c.type.fracLength);
            const int32_t productRounding = static_cast<int32_t>(rng() % 7);
            const int32_t productOverflow = static_cast<int32_t>(rng() % 2);
            DSPDataAttributesHandle ha(at, pt, at, productRounding, productOverflow, "a");
            DSPDataAttributesHandle hb(bt, bt, bt, 0, 0, "b");
            DSPDataAttributesHandle hacc(c.type, c.type, c.type, c.rounding, c.overflow, "acc");
            uint64_t aData[kElements] = {}, bData[kElements] = {}, accData[kElements] = {};
            std::unique_ptr<Fixpt> a(FixptFactory::createFixpt(ha, aData, kElements));
            std::unique_ptr<Fixpt> b(FixptFactory::createFixpt(hb, bData, kElements));
            std::unique_ptr<Fixpt> acc(FixptFactory::createFixpt(hacc, accData, kElements));
            mpz_class av[kElements], bv[kElements], accv[kElements];
            for (int32_t i = 0; i < kElements; ++i) {
                av[i] = randomStored(rng, at);
                bv[i] = randomStored(rng, bt);
                accv[i] = randomStored(rng, c.type);
                (*a)[i].setStoredBits(toBits(av[i]));
                (*b)[i].setStoredBits(toBits(bv[i]));
                (*acc)[i].setStoredBits(toBits(accv[i]));
            }
            const int32_t i = static_cast<int32_t>(rng() % kElements),
                          j = static_cast<int32_t>(rng() % kElements),
                          k = static_cast<int32_t>(rng() % kElements);
            const bool subtract = rng() % 2 == 1;
            if (subtract)
                (*acc)[i] -= (*a)[j] * (*b)[k];
            else
                (*acc)[i] += (*a)[j] * (*b)[k];
            const mpz_class p =
                quantiseQ(realValue(av[j], at) * realValue(bv[k], bt), pt, productRounding, productOverflow);
            const mpq_class exact = subtract ? mpq_class(realValue(accv[i], c.type) - realValue(p, pt))
                                             : mpq_class(realValue(accv[i], c.type) + realValue(p, pt));
            accv[i] = quantiseQ(exact, c.type, c.rounding, c.overflow);
            for (int32_t e = 0; e < kElements; ++e) {
                const mpz_class got = fromBits((*acc)[e].getStoredBits(), c.type.isSigned);
                if (got == accv[e]) continue;
                ++failures;
                ADD_FAILURE() << c.describe() << " element " << e << " after acc[" << i << "]"
                              << (subtract ? " -= " : " += ") << av[j].get_str() << " * " << bv[k].get_str()
                              << " via " << (pt.isSigned ? "s" : "u") << pt.wordLength << ": expected "
                              << accv[e].get_str() << ", got " << got.get_str();
            }
        }
    }
}

TEST_F(Differential, DivisionIncludingByZero) {
    for (const Config& c : allConfigs()) {
        for (int32_t trial = 0; trial < kTrialsPerConfig && !tooManyFailures(); ++trial) {
            Scalar q(c);
            const NumType at = randomOperandType(rng, c.type), bt = randomOperandType(rng, c.type);
            Scalar a(at, 0, 0, at, at), b(bt, 0, 0, bt, bt);
            a.set(randomStored(rng, at));
            b.set(randomStored(rng, bt));
            q->divide(*a, *b);
            mpz_class expected;
            if (b.value() == 0) {
                expected =
                    a.value() > 0 ? maxStored(c.type) : (a.value() < 0 ? minStored(c.type) : mpz_class(0));
            } else {
                expected = quantiseQ(a.value() / b.value(), c.type, c.rounding, c.overflow, true);
            }
            expectStored(expected, q,
                         c.describe() + " = " + a.value().get_str() + " / " + b.value().get_str());
        }
    }
}

TEST_F(Differential, SquareRootIntoGivenObject) {
    for (const Config& c : allConfigs()) {
        for (int32_t trial = 0; trial < kTrialsPerConfig && !tooManyFailures(); ++trial) {
            Scalar r(c);
            const NumType at = randomOperandType(rng, c.type);
            Scalar a(at, 0, 0, at, at);
            mpz_class v = randomStored(rng, at);
            if (trial == 0) {
                // A perfect square of the result grid plus a quarter step: an exact tie of the root.
                const NumType sq = NumType::fixed(false, 128, 2 * c.type.fracLength + 2);
                if (2 * c.type.fracLength + 2 <= 512 && 2 * c.type.fracLength + 2 >= -512) {
                    Scalar tie(sq, 0, 0, sq, sq);
                    const mpz_class k = mpz_class(static_cast<unsigned long>(rng() % 1000));
                    tie.set((2 * k + 1) * (2 * k + 1));  // ((k + 1/2) x 2^-fl)^2
                    tie->sqrt(*r);
                    expectStored(sqrtQ(tie.value(), c.type, c.rounding, c.overflow), r,
                                 c.describe() + " tie sqrt " + tie.value().get_str());
                }
            }
            a.set(v);
            a->sqrt(*r);
            expectStored(sqrtQ(a.value(), c.type, c.rounding, c.overflow), r,
                         c.describe() + " = sqrt " + a.value().get_str());
        }
    }
}

TEST_F(Differential, ShiftRightUnaryMinusAndIntegerResults) {
    for (const Config& c : allConfigs()) {
        for (int32_t trial = 0; trial < kTrialsPerConfig && !tooManyFailures(); ++trial) {
            Scalar x(c);
            const mpz_class x0 = randomStored(rng, c.type);
            const int32_t n = static_cast<int32_t>(rng() % (c.type.wordLength + 4));
            x.set(x0);
            *x >>= n;
            expectStored(quantiseQ(realValue(x0, c.type) / pow2q(n), c.type, c.rounding, c.overflow), x,
                         c.describe() + " >> " + std::to_string(n) + " of " + x0.get_str());

            x.set(x0);
            const Fixpt neg = -*x;
            const NumType nt = NumType::fixed(true, std::min(c.type.wordLength + 1, 128), c.type.fracLength);
            EXPECT_EQ(neg.getType(), nt);
            if (fromBits(neg.getStoredBits(), true) != fitQ(-x0, nt, c.overflow)) {
                ++failures;
                ADD_FAILURE() << c.describe() << " unary minus of " << x0.get_str();
            }

            const mpq_class v = realValue(x0, c.type);
            auto clamp32 = [](const mpz_class& r) -> long {
                if (r > 2147483647) return 2147483647;
                if (r < -2147483648L) return -2147483648L;
                return r.get_si();
            };
            EXPECT_EQ(x->floor(), clamp32(floorQ(v))) << c.describe() << " floor " << v.get_str();
            EXPECT_EQ(x->ceil(), clamp32(ceilQ(v))) << c.describe() << " ceil " << v.get_str();
            EXPECT_EQ(x->fix(), clamp32(v < 0 ? ceilQ(v) : floorQ(v)))
                << c.describe() << " fix " << v.get_str();
            EXPECT_EQ(x->nearest(), clamp32(floorQ(v + mpq_class(1, 2))))
                << c.describe() << " nearest " << v.get_str();
        }
    }
}

TEST_F(Differential, ComparisonsOfRealWorldValues) {
    for (const Config& c : allConfigs()) {
        if (c.rounding != 0) continue;  // comparisons do not depend on the modes
        for (int32_t trial = 0; trial < 4 * kTrialsPerConfig; ++trial) {
            Scalar x(c);
            const NumType yt = randomOperandType(rng, c.type);
            Scalar y(yt, 0, 0, yt, yt);
            x.set(randomStored(rng, c.type));
            // Half of the time y holds the same real value when its grid allows, to exercise equality.
            mpz_class ys = randomStored(rng, yt);
            if (trial % 2 == 0) {
                const mpq_class scaled = x.value() * pow2q(yt.fracLength);
                if (scaled.get_den() == 1 && scaled.get_num() >= minStored(yt) &&
                    scaled.get_num() <= maxStored(yt))
                    ys = scaled.get_num();
            }
            y.set(ys);
            const int expected = cmp(x.value(), y.value());
            const std::string what = c.describe() + " " + x.value().get_str() + " vs " + y.value().get_str();
            EXPECT_EQ(*x < *y, expected < 0) << what;
            EXPECT_EQ(*x <= *y, expected <= 0) << what;
            EXPECT_EQ(*x > *y, expected > 0) << what;
            EXPECT_EQ(*x >= *y, expected >= 0) << what;
            EXPECT_EQ(*x == *y, expected == 0) << what;
            EXPECT_EQ(*x != *y, expected != 0) << what;
            EXPECT_EQ(x->isNegative(), x.value() < 0) << what;
            EXPECT_EQ(x->isPositive(), x.value() > 0) << what;
            EXPECT_EQ(x->isNonNegative(), x.value() >= 0) << what;
        }
    }
}

}  // namespace
}  // namespace fixpt_test
