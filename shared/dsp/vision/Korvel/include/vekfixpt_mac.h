// StoredMac: multiply-accumulate on stored integers, for kernels whose inner loop would otherwise run
// through number objects. For weights w[t] (stored integers of the weight object's type) and samples s[t]
// (stored integers of a sample type S) it gives the bits of
//     acc = w[0] * s[0];  acc += w[1] * s[1];  ...;  out = acc
// done with number objects: each product quantised into the weight handle's product type, each sum into
// the accumulator's type and the result into the output's type, each with that destination's rounding and
// overflow codes. Nothing is logged and nothing allocated.
//
// make() refuses (returns false) when a type is floating point or wider than 64 bits, the sample or weight
// type is unsigned 64-bit (its stored integers do not fit the int64 they are passed in) or the sample type
// differs from the output's, an object logs, or the exact products would not fit 126 bits; the caller then
// keeps the number objects.
#pragma once

#include <algorithm>
#include <cstdint>
#include <type_traits>

#include "vekfixpt_number.h"
#include "vekfixpt_quantise.h"
#include "vekfixpt_types.h"

namespace VekDSPFixpt {

class StoredMac {
  public:
    static bool make(const Fixpt& weight, const Fixpt& sample, const Fixpt& acc, const Fixpt& out,
                     StoredMac* mac) {
        const NumType& w = weight.getType();
        const NumType& t = sample.getType();
        const NumType& a = acc.getType();
        const detail::QuantDest& pd = weight.getAttributes()->productDest();
        const NumType& pt = pd.type;
        if (weight.getLog() || sample.getLog() || acc.getLog() || out.getLog()) return false;
        if (!(t == out.getType()) || t.isFloating() || w.isFloating() || a.isFloating() || pt.isFloating() ||
            t.wordLength > 64 || w.wordLength > 64 || a.wordLength > 64 || pt.wordLength > 64 ||
            (!t.isSigned && t.wordLength == 64) || (!w.isSigned && w.wordLength == 64)) {
            return false;
        }
        // Exact weight x sample products within 126 bits, sums aligned within 60 bits.
        const int32_t d = pt.fracLength - a.fracLength;
        if (w.wordLength + t.wordLength > 120 || d > 60 || d < -60) return false;
        const int32_t align = d < 0 ? -d : d;
        StoredMac m;
        m.prod_ = pd;
        m.acc_ = detail::QuantDest::make(a, acc.getRoundingCode(), acc.getOverflowCode());
        m.out_ = detail::QuantDest::make(t, out.getRoundingCode(), out.getOverflowCode());
        m.weightSampleExp_ = -(w.fracLength + t.fracLength);
        m.prodFL_ = pt.fracLength;
        m.accFL_ = a.fracLength;
        m.productBits_ = w.wordLength + t.wordLength;
        m.small_ = w.wordLength + t.wordLength <= 60 && std::max(a.wordLength, pt.wordLength) + align <= 60;
        *mac = m;
        return true;
    }

    // dst[n*ds] = sum over t < Taps of w[t] * src[(n + t)*ss], n in [0, count), as described above.
    template <int Taps, class S>
    void line(const S* src, int64_t ss, S* dst, int64_t ds, int64_t count, const int64_t* w) const {
        static_assert(std::is_integral_v<S>, "samples are stored integers");
        if (exactLine<Taps>(src, ss, dst, ds, count, w)) return;
        if (small_)
            general<int64_t, Taps>(src, ss, dst, ds, count, w);
        else
            general<i128, Taps>(src, ss, dst, ds, count, w);
    }

  private:
    // I: int64_t when small_ holds, else i128.
    template <class I>
    [[gnu::always_inline]] static I signedBits(const detail::Fit& f) {
        return I(i128(f.bits));
    }

    // The exact value acc x 2^-accFL + p x 2^-prodFL quantised into the accumulator.
    template <class I>
    [[gnu::always_inline]] I addProduct(I acc, I p) const {
        if (accFL_ >= prodFL_)
            return signedBits<I>(detail::quantiseFast<I>(acc + (p << (accFL_ - prodFL_)), -accFL_, acc_));
        return signedBits<I>(detail::quantiseFast<I>((acc << (prodFL_ - accFL_)) + p, -prodFL_, acc_));
    }

    template <class I>
    [[gnu::always_inline]] I product(int64_t w, int64_t sample) const {
        return signedBits<I>(detail::quantiseFast<I>(I(w) * I(sample), weightSampleExp_, prod_));
    }

    // Every step quantised as the number objects do it.
    template <class I, int Taps, class S>
    void general(const S* src, int64_t ss, S* dst, int64_t ds, int64_t count, const int64_t* w) const {
        for (int64_t n = 0; n < count; ++n) {
            const S* s = src + n * ss;
            I acc = signedBits<I>(detail::quantiseFast<I>(product<I>(w[0], s[0]), -prodFL_, acc_));
            for (int t = 1; t < Taps; ++t)
                acc = addProduct<I>(acc, product<I>(w[t], s[t * ss]));
            dst[n * ds] = S(int64_t(signedBits<I>(detail::quantiseFast<I>(acc, -accFL_, out_))));
        }
    }

    // The common case: products on the accumulator's grid, so a sample is the sum of the products (each
    // w x sample shifted left onto the grid, or rounded onto it), rounded once into the output. Any
    // intermediate outside its word's range takes the general quantisation for that sample.
    struct ExactPlan {
        int32_t productShift;  // left shift of w x sample onto the product (= accumulator) grid
        int32_t productDrop;   // or bits dropped from w x sample, rounded by the mode
        int32_t outShift;      // right shift from the accumulator grid onto the output's (>= 0)
    };

    bool exactPlan(ExactPlan* e) const {
        const int32_t k = -prodFL_ - weightSampleExp_;  // bits the product drops (<= 0: none)
        const int32_t outShift = accFL_ - out_.type.fracLength;
        if (!small_ || k > 40 || productBits_ + std::max(-k, 0) > 59 || accFL_ != prodFL_ || outShift < 0 ||
            outShift > 40 || !prod_.fits64 || !acc_.fits64 || !out_.fits64 ||
            prod_.rounding != out_.rounding) {
            return false;
        }
        *e = {std::max(-k, 0), std::max(k, 0), outShift};
        return true;
    }

    // m / 2^k (k >= 0) rounded by the mode, as the library decides it.
    template <int Mode>
    [[gnu::always_inline]] static int64_t roundShift(int64_t m, int32_t k) {
        if (k == 0) return m;
        const uint64_t mask = (uint64_t(1) << k) - 1;
        const uint64_t dropped = uint64_t(m) & mask;
        int64_t q = m >> k;
        if (dropped != 0 && detail::roundUp(Mode, false, m < 0, ((dropped >> (k - 1)) & 1) != 0,
                                            (dropped & (mask >> 1)) != 0, (q & 1) != 0)) {
            ++q;
        }
        return q;
    }

    template <int Mode, class S, int Taps, bool Drop>
    void exactInterior(const S* src, int64_t ss, S* dst, int64_t ds, int64_t count, const int64_t* w,
                       const ExactPlan& e) const {
        for (int64_t n = 0; n < count; ++n) {
            const S* s = src + n * ss;
            int64_t acc = 0;
            bool inRange = true;
            for (int t = 0; t < Taps; ++t) {
                const int64_t exact = w[t] * int64_t(s[t * ss]);
                int64_t p;
                if constexpr (Drop)
                    p = roundShift<Mode>(exact, e.productDrop);
                else
                    p = exact << e.productShift;
                // Wraps rather than overflows past many taps: such a sum is out of range and recomputed.
                acc = int64_t(uint64_t(acc) + uint64_t(p));
                inRange =
                    inRange && p <= prod_.hi64 && p >= prod_.lo64 && acc <= acc_.hi64 && acc >= acc_.lo64;
            }
            if (!inRange) [[unlikely]] {
                general<int64_t, Taps>(s, ss, &dst[n * ds], ds, 1, w);
                continue;
            }
            const int64_t q = roundShift<Mode>(acc, e.outShift);
            if (q > out_.hi64 || q < out_.lo64) [[unlikely]] {
                dst[n * ds] = S(int64_t(
                    signedBits<int64_t>(detail::overflowed(q < 0, u128(i128(q)), out_.type, out_.overflow))));
                continue;
            }
            dst[n * ds] = S(q);
        }
    }

    // Runs the exact interior with the rounding mode as a constant; false when the plan does not apply.
    template <int Taps, class S>
    bool exactLine(const S* src, int64_t ss, S* dst, int64_t ds, int64_t count, const int64_t* w) const {
        ExactPlan e;
        if (!exactPlan(&e)) return false;
        auto run = [&](auto mode) {
            constexpr int M = decltype(mode)::value;
            if (e.productDrop > 0)
                exactInterior<M, S, Taps, true>(src, ss, dst, ds, count, w, e);
            else
                exactInterior<M, S, Taps, false>(src, ss, dst, ds, count, w, e);
            return true;
        };
        switch (out_.rounding) {
            case 0:
                return run(std::integral_constant<int, 0>{});
            case 1:
                return run(std::integral_constant<int, 1>{});
            case 2:
                return run(std::integral_constant<int, 2>{});
            case 3:
                return run(std::integral_constant<int, 3>{});
            case 4:
                return run(std::integral_constant<int, 4>{});
            case 5:
                return run(std::integral_constant<int, 5>{});
            case 6:
                return run(std::integral_constant<int, 6>{});
            default:
                return false;
        }
    }

    detail::QuantDest prod_, acc_, out_;
    int32_t weightSampleExp_ = 0;  // exponent of weight x sample: -(weight FL + sample FL)
    int32_t prodFL_ = 0, accFL_ = 0;
    int32_t productBits_ = 0;  // word bits of weight x sample
    bool small_ = false;       // every product, aligned sum and accumulator fits int64 with room
};

}  // namespace VekDSPFixpt
