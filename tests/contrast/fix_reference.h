// Exact reference of the fixed-point kernel: every assignment of the block's steps is evaluated on
// rationals (GMP) and quantised into its destination's type by the rounding and overflow rules written
// from their definitions (tests/fixpt/oracle.h). The quantities and their order are those of the
// block's description; the table path must give what the direct mapping gives.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "oracle.h"

namespace contrast_test {

using fixpt_test::NumType;

struct FixCase {
    int mode = 1;
    int bins = 256;
    NumType input = NumType::fixed(false, 8, 0);
    NumType product1 = NumType::fixed(true, 64, 32);
    NumType product2 = NumType::fixed(true, 64, 32);
    int32_t rounding = VekDSPFixpt::kRoundNearest;
    int32_t overflow = VekDSPFixpt::kOverflowSaturate;
    double lowOut = 0, highOut = 255;  // dialog values, converted into the input type as stored
    double rangeLow = 0, rangeHigh = 255;
    double lowFrac = 0, highFrac = 0;
};

class FixReference {
  public:
    explicit FixReference(const FixCase& c) : c_(c) {
        ext_ = NumType::fixed(true, std::min(c.input.wordLength + 1, 128), c.input.fracLength);
        s32_ = NumType::fixed(true, 32, 0);
        frac_ = NumType::fixed(true, 32, bestFractionLength(std::max(c.lowFrac, c.highFrac)));
    }

    // Stored integers in, stored integers out.
    std::vector<mpz_class> run(const std::vector<mpz_class>& stored) const {
        const size_t n = stored.size();
        std::vector<mpq_class> in(n);
        for (size_t i = 0; i < n; ++i)
            in[i] = fixpt_test::realValue(stored[i], c_.input);
        const mpq_class lowOut = rtp(c_.lowOut, c_.input), highOut = rtp(c_.highOut, c_.input);
        std::vector<mpq_class> out(n, lowOut);
        if (lowOut == highOut) return toStored(out);
        mpq_class lowIn, highIn;
        if (c_.mode == 2) {
            lowIn = rtp(c_.rangeLow, c_.input);
            highIn = rtp(c_.rangeHigh, c_.input);
        } else {
            lowIn = highIn = in[0];
            for (size_t i = 1; i < n; ++i) {
                if (lowIn > in[i])
                    lowIn = in[i];
                else if (highIn < in[i])
                    highIn = in[i];
            }
        }
        if (lowIn == highIn) return toStored(out);
        const mpq_class lowFrac = rtp(c_.lowFrac, frac_), highFrac = rtp(c_.highFrac, frac_);
        if (c_.mode == 3 && (lowFrac > 0 || highFrac > 0)) narrow(in, lowFrac, highFrac, lowIn, highIn);

        mpq_class slopeMap = 0;
        {
            const mpq_class p1a = q(q(highIn - lowIn, ext_), c_.product1);
            const mpq_class p1b = q(q(highOut - lowOut, ext_), c_.product1);
            slopeMap = div(p1b, p1a, c_.product1);
        }
        for (size_t i = 0; i < n; ++i) {
            const mpq_class& v = in[i];
            if (v > lowIn && v < highIn) {
                mpq_class t1 = q(v - lowIn, ext_);
                mpq_class p = q(t1, c_.product1);
                p = q(p * slopeMap, c_.product1);
                t1 = q(p, ext_);
                t1 = q(t1 + lowOut, ext_);
                out[i] = q(t1, c_.input);
            } else if (v <= lowIn) {
                out[i] = lowOut;
            } else {
                out[i] = highOut;
            }
        }
        return toStored(out);
    }

    // The largest fraction length at which round(v * 2^FL) fits a signed 32-bit word (31 for 0).
    static int32_t bestFractionLength(double v) {
        if (v == 0) return 31;
        for (int32_t fl = 200; fl > -200; --fl) {
            const mpz_class r =
                fixpt_test::roundQ(mpq_class(v) * fixpt_test::pow2q(fl), VekDSPFixpt::kRoundRound, false);
            if (abs(r) <= fixpt_test::maxStored(NumType::fixed(true, 32, 0))) return fl;
        }
        return 0;
    }

  private:
    mpq_class q(const mpq_class& x, const NumType& t) const {
        return fixpt_test::realValue(fixpt_test::quantiseQ(x, t, c_.rounding, c_.overflow), t);
    }
    mpq_class div(const mpq_class& a, const mpq_class& b, const NumType& t) const {
        if (b == 0) {
            if (a == 0) return 0;
            return fixpt_test::realValue(a > 0 ? fixpt_test::maxStored(t) : fixpt_test::minStored(t), t);
        }
        return fixpt_test::realValue(fixpt_test::quantiseQ(a / b, t, c_.rounding, c_.overflow, true), t);
    }
    // Run-time parameters are converted to nearest (ties away from zero), saturating.
    static mpq_class rtp(double v, const NumType& t) {
        return fixpt_test::realValue(
            fixpt_test::quantiseQ(mpq_class(v), t, VekDSPFixpt::kRoundRound, VekDSPFixpt::kOverflowSaturate),
            t);
    }
    static long nearest(const mpq_class& x) {
        mpz_class r = fixpt_test::floorQ(x + mpq_class(1, 2));
        if (r > 2147483647) r = 2147483647;
        if (r < -2147483647 - 1) r = -2147483647 - 1;
        return r.get_si();
    }
    std::vector<mpz_class> toStored(const std::vector<mpq_class>& v) const {
        std::vector<mpz_class> s(v.size());
        for (size_t i = 0; i < v.size(); ++i) {
            mpq_class y = v[i] * fixpt_test::pow2q(c_.input.fracLength);
            y.canonicalize();
            s[i] = y.get_num();
        }
        return s;
    }

    void narrow(const std::vector<mpq_class>& in, const mpq_class& lowFrac, const mpq_class& highFrac,
                mpq_class& lowIn, mpq_class& highIn) const {
        const long n = long(in.size());
        mpq_class t1 = q(q(highIn, ext_) - q(lowIn, ext_), ext_);
        const bool simpleMode = c_.input.fracLength == 0;
        const long valNum = c_.input.wordLength > 30 ? (1L << 30) : (1L << c_.input.wordLength);
        bool simple = false;
        if (simpleMode) simple = c_.bins < valNum ? t1 < q(q(c_.bins, s32_), ext_) : true;
        long bins = c_.bins;
        std::vector<long> hist(size_t(c_.bins) + 1, 0);
        mpq_class slopeHist;
        if (simple) {
            bins = nearest(t1) + 1;
            slopeHist = q(q(1, s32_), c_.product2);
        } else {
            slopeHist = div(q(c_.bins, s32_), t1, c_.product2);
        }
        for (const mpq_class& v : in) {
            const mpq_class d = q(q(highIn, ext_) - q(v, ext_), ext_);
            long j;
            if (simple) {
                j = nearest(d);
            } else {
                mpq_class p = q(d, c_.product2);
                p = q(p * slopeHist, c_.product2);
                j = nearest(p);
            }
            j = std::clamp(j, 0L, bins);
            ++hist[size_t(j)];
        }
        hist[size_t(bins) - 1] += hist[size_t(bins)];
        const mpq_class highAtStart = highIn;
        if (lowFrac > 0) {
            const mpq_class sat = q(q(n, s32_) * lowFrac, s32_);
            mpq_class sum = 0;
            long j = bins - 1;
            for (; j >= 0; --j) {
                sum = q(sum + q(hist[size_t(j)], s32_), s32_);
                if (sum > sat) break;
            }
            const mpq_class t = div(q(j + 1, s32_), slopeHist, ext_);
            lowIn = q(q(q(highAtStart, ext_) - t, ext_), c_.input);
        }
        if (highFrac > 0) {
            const mpq_class sat = q(q(n, s32_) * highFrac, s32_);
            mpq_class sum = 0;
            long j = 0;
            for (; j < bins; ++j) {
                sum = q(sum + q(hist[size_t(j)], s32_), s32_);
                if (sum > sat) break;
            }
            const mpq_class t = div(q(j, s32_), slopeHist, ext_);
            highIn = q(q(q(highAtStart, ext_) - t, ext_), c_.input);
        }
    }

    FixCase c_;
    NumType ext_, s32_, frac_;
};

}  // namespace contrast_test
