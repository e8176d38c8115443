// Skew routines of the fixed-point rotate engine: the positions, edge rules and fill of the floating-point
// routines (skew.h), with every weight and every sample going through number objects of the fixed-point
// library, so each product and sum is quantised into the working (accumulator) type with the block's
// rounding and overflow modes and each result once more into the destination's type.
//
// skew(src, srcStart, Ls, Ld, shift, srcStride, dstStride, dst, dstStart, F, fill, fillIndex): destination
// position p takes the source line at x = p - shift, the line being src[srcStart + k*srcStride],
// k = 0..Ls-1, and samples outside it the fill value fill[fillIndex]. Positions max(F, 0)..Ld-1 are
// written, to dst[dstStart + (p - max(F, 0)) * dstStride]. Nothing is read outside the source line or
// written outside the destination range; nothing is allocated. src and dst are distinct objects.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <type_traits>

#include "pellor/skew.h"
#include "vekfixpt.h"

namespace pellor {

using VekDSPFixpt::Fixpt;

namespace fixdetail {

// Element bytes of a real number object's data.
inline unsigned char* elementAt(const Fixpt& x, int64_t i) {
    return static_cast<unsigned char*>(x.getValPtr()) + i * x.getType().containerBytes;
}

inline bool sameType(const Fixpt& a, const Fixpt& b) {
    return a.getType() == b.getType();
}

// Calls f with a null pointer of an unsigned integer as wide as a container of `bytes` bytes.
template <class F>
void withContainer(int32_t bytes, F&& f) {
    switch (bytes) {
        case 1:
            f(static_cast<uint8_t*>(nullptr));
            return;
        case 2:
            f(static_cast<uint16_t*>(nullptr));
            return;
        case 4:
            f(static_cast<uint32_t*>(nullptr));
            return;
        case 8:
            f(static_cast<uint64_t*>(nullptr));
            return;
        default:
            f(static_cast<VekDSPFixpt::u128*>(nullptr));
            return;
    }
}

// dst[start + n*stride] = fill[fillIndex] for n in [0, count): one quantised assignment, then copies of its
// stored bits.
inline void fillRun(Fixpt& dst, int64_t start, int64_t count, int64_t stride, Fixpt& fill,
                    int32_t fillIndex) {
    if (count <= 0) return;
    dst[int32_t(start)] = fill[fillIndex];
    withContainer(dst.getType().containerBytes, [&](auto* tag) {
        using U = std::remove_pointer_t<decltype(tag)>;
        U* d = reinterpret_cast<U*>(elementAt(dst, start));
        const U v = d[0];
        if (stride == 1) {
            std::fill(d + 1, d + count, v);
            return;
        }
        for (int64_t n = 1; n < count; ++n)
            d[n * stride] = v;
    });
}

// dst[dstStart + n*dstStride] = src[srcStart + n*srcStride] for n in [0, count): copies of the stored bits
// between objects of one type, quantised assignments otherwise.
inline void copyRun(Fixpt& src, int64_t srcStart, int64_t srcStride, Fixpt& dst, int64_t dstStart,
                    int64_t dstStride, int64_t count) {
    if (count <= 0) return;
    if (sameType(src, dst)) {
        const int32_t bytes = dst.getType().containerBytes;
        if (srcStride == 1 && dstStride == 1) {
            std::memmove(elementAt(dst, dstStart), elementAt(src, srcStart), size_t(count) * size_t(bytes));
            return;
        }
        withContainer(bytes, [&](auto* tag) {
            using U = std::remove_pointer_t<decltype(tag)>;
            const U* s = reinterpret_cast<const U*>(elementAt(src, srcStart));
            U* d = reinterpret_cast<U*>(elementAt(dst, dstStart));
            for (int64_t n = 0; n < count; ++n)
                d[n * dstStride] = s[n * srcStride];
        });
        return;
    }
    for (int64_t n = 0; n < count; ++n)
        dst[int32_t(dstStart + n * dstStride)] = src[int32_t(srcStart + n * srcStride)];
}

}  // namespace fixdetail

// The number objects a skew routine works with, made once by the engine's owner. All working-type
// numbers come from the working (accumulator) handle; `integer` from the signed 32-bit handle.
struct FixSkewNumbers {
    std::unique_ptr<Fixpt> frac, oneMinus, d, d2, d3, term, acc;
    std::unique_ptr<Fixpt> weight[4];
    std::unique_ptr<Fixpt> integer;  // small integer constants, set just before use
    bool complete() const {
        return frac && oneMinus && d && d2 && d3 && term && acc && weight[0] && weight[1] && weight[2] &&
               weight[3] && integer;
    }
};

// The interior of a line without number objects: the same exact products and sums quantised with the
// library's own quantiseFast into the same types, so each sample is bit for bit what the objects give.
// Used when nothing is logged and every type involved is fixed point of at most 64 bits.
namespace fixraw {

using VekDSPFixpt::i128;
using VekDSPFixpt::detail::QuantDest;
using VekDSPFixpt::detail::quantiseFast;

struct Arith {
    const QuantDest* prod;
    const QuantDest* acc;
    const QuantDest* out;
    int32_t weightSampleExp;  // exponent of weight x sample: -(weight FL + sample FL)
    int32_t prodFL, accFL;
    int32_t productBits;  // word bits of weight x sample
    bool small;  // every product, aligned sum and accumulator fits int64 with room (quantiseFast<int64_t>)
};

// I: int64_t when Arith::small holds, else i128.
template <class I>
[[gnu::always_inline]] inline I signedBits(const VekDSPFixpt::detail::Fit& f) {
    return I(i128(f.bits));
}

// The exact value acc x 2^-accFL + p x 2^-prodFL quantised into the accumulator.
template <class I>
[[gnu::always_inline]] inline I addProduct(I acc, I p, const Arith& r) {
    if (r.accFL >= r.prodFL)
        return signedBits<I>(quantiseFast<I>(acc + (p << (r.accFL - r.prodFL)), -r.accFL, *r.acc));
    return signedBits<I>(quantiseFast<I>((acc << (r.prodFL - r.accFL)) + p, -r.prodFL, *r.acc));
}

template <class I>
[[gnu::always_inline]] inline I product(int64_t w, int64_t sample, const Arith& r) {
    return signedBits<I>(quantiseFast<I>(I(w) * I(sample), r.weightSampleExp, *r.prod));
}

// out[n*ds] = (w0*src[n*ss] + w1*src[(n+1)*ss]) for n in [0, count), each step quantised as the objects do.
template <class I, class S>
void bilinear(const S* src, int64_t ss, S* dst, int64_t ds, int64_t count, int64_t w0, int64_t w1,
              const Arith& r) {
    for (int64_t n = 0; n < count; ++n) {
        I acc = signedBits<I>(quantiseFast<I>(product<I>(w0, src[n * ss], r), -r.prodFL, *r.acc));
        acc = addProduct<I>(acc, product<I>(w1, src[(n + 1) * ss], r), r);
        dst[n * ds] = S(int64_t(signedBits<I>(quantiseFast<I>(acc, -r.accFL, *r.out))));
    }
}

template <class I, class S>
void bicubic(const S* src, int64_t ss, S* dst, int64_t ds, int64_t count, const int64_t* w, const Arith& r) {
    for (int64_t n = 0; n < count; ++n) {
        const S* s = src + n * ss;
        I acc = signedBits<I>(quantiseFast<I>(product<I>(w[0], s[0], r), -r.prodFL, *r.acc));
        acc = addProduct<I>(acc, product<I>(w[1], s[ss], r), r);
        acc = addProduct<I>(acc, product<I>(w[2], s[2 * ss], r), r);
        acc = addProduct<I>(acc, product<I>(w[3], s[3 * ss], r), r);
        dst[n * ds] = S(int64_t(signedBits<I>(quantiseFast<I>(acc, -r.accFL, *r.out))));
    }
}

// The common case of the interior: products on the accumulator's grid, so a sample is the sum of the
// products (each w x sample shifted left onto the grid, or rounded onto it), then rounded once into the
// output. Any intermediate outside its word's range goes to the general quantisation for that sample, so
// the result stays bit for bit.
struct ExactPlan {
    int32_t productShift;  // left shift of w x sample onto the product (= accumulator) grid
    int32_t productDrop;   // or bits dropped from w x sample, rounded by the mode
    int32_t outShift;      // right shift from the accumulator grid onto the output's (>= 0)
};

// Whether Arith r allows the exact plan, and with what shifts.
inline bool exactPlan(const Arith& r, ExactPlan* e) {
    const int32_t k = -r.prodFL - r.weightSampleExp;  // bits the product drops (<= 0: none)
    const int32_t outShift = r.accFL - r.out->type.fracLength;
    if (!r.small || k > 40 || r.productBits + std::max(-k, 0) > 59 || r.accFL != r.prodFL || outShift < 0 ||
        outShift > 40 || !r.prod->fits64 || !r.acc->fits64 || !r.out->fits64 ||
        r.prod->rounding != r.out->rounding) {
        return false;
    }
    *e = {std::max(-k, 0), std::max(k, 0), outShift};
    return true;
}

// m / 2^k (k >= 0) rounded by the mode, as the library decides it.
template <int Mode>
[[gnu::always_inline]] inline int64_t roundShift(int64_t m, int32_t k) {
    if (k == 0) return m;
    const uint64_t mask = (uint64_t(1) << k) - 1;
    const uint64_t dropped = uint64_t(m) & mask;
    int64_t q = m >> k;
    if (dropped != 0 && VekDSPFixpt::detail::roundUp(Mode, false, m < 0, ((dropped >> (k - 1)) & 1) != 0,
                                                     (dropped & (mask >> 1)) != 0, (q & 1) != 0)) {
        ++q;
    }
    return q;
}

template <int Mode, class S, int Taps, bool Drop>
void exactInterior(const S* src, int64_t ss, S* dst, int64_t ds, int64_t count, const int64_t* w,
                   const Arith& r, const ExactPlan& e) {
    const QuantDest& pd = *r.prod;
    const QuantDest& ad = *r.acc;
    const QuantDest& od = *r.out;
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
            acc += p;
            inRange = inRange && p <= pd.hi64 && p >= pd.lo64 && acc <= ad.hi64 && acc >= ad.lo64;
        }
        if (!inRange) [[unlikely]] {
            if constexpr (Taps == 2)
                bilinear<int64_t>(s, ss, &dst[n * ds], ds, 1, w[0], w[1], r);
            else
                bicubic<int64_t>(s, ss, &dst[n * ds], ds, 1, w, r);
            continue;
        }
        const int64_t q = roundShift<Mode>(acc, e.outShift);
        if (q > od.hi64 || q < od.lo64) [[unlikely]] {
            dst[n * ds] = S(int64_t(signedBits<int64_t>(
                VekDSPFixpt::detail::overflowed(q < 0, VekDSPFixpt::u128(i128(q)), od.type, od.overflow))));
            continue;
        }
        dst[n * ds] = S(q);
    }
}

// Runs the exact interior with the rounding mode as a constant; false when the plan does not apply.
template <class S, int Taps>
bool exactInteriorFor(const S* src, int64_t ss, S* dst, int64_t ds, int64_t count, const int64_t* w,
                      const Arith& r) {
    ExactPlan e;
    if (!exactPlan(r, &e)) return false;
    auto run = [&](auto mode) {
        constexpr int M = decltype(mode)::value;
        if (e.productDrop > 0)
            exactInterior<M, S, Taps, true>(src, ss, dst, ds, count, w, r, e);
        else
            exactInterior<M, S, Taps, false>(src, ss, dst, ds, count, w, r, e);
        return true;
    };
    switch (r.out->rounding) {
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

// Calls f with a null pointer of the storage type of a fixed-point type of at most 64 bits (not unsigned 64).
template <class F>
bool withStorage(const VekDSPFixpt::NumType& t, F&& f) {
    switch (t.containerBytes * 2 + (t.isSigned ? 1 : 0)) {
        case 2:
            f(static_cast<uint8_t*>(nullptr));
            return true;
        case 3:
            f(static_cast<int8_t*>(nullptr));
            return true;
        case 4:
            f(static_cast<uint16_t*>(nullptr));
            return true;
        case 5:
            f(static_cast<int16_t*>(nullptr));
            return true;
        case 8:
            f(static_cast<uint32_t*>(nullptr));
            return true;
        case 9:
            f(static_cast<int32_t*>(nullptr));
            return true;
        case 17:
            f(static_cast<int64_t*>(nullptr));
            return true;
        default:
            return false;
    }
}

}  // namespace fixraw

class FixSkewEngine {
  public:
    // method: 1 nearest, 2 bilinear, 3 bicubic (any other value is taken as bicubic, as the
    // floating-point engine does). logging: accumulations start with an assignment (which records only
    // real values) rather than from zero.
    FixSkewEngine(int32_t method, FixSkewNumbers numbers, bool logging)
        : method_(method == 1 || method == 2 ? method : 3), n_(std::move(numbers)), logging_(logging) {}

    int32_t method() const { return method_; }

    void skew(Fixpt& src, int32_t srcStart, int32_t srcLen, int32_t dstLen, Fixpt& shift, int32_t srcStride,
              int32_t dstStride, Fixpt& dst, int32_t dstStart, int32_t firstPos, Fixpt& fill,
              int32_t fillIndex) {
        Line line{&src,   srcStart, srcLen,    srcStride,
                  &dst,   dstStart, dstStride, firstPos < 0 ? 0 : firstPos,
                  dstLen, &fill,    fillIndex};
        if (method_ == 1) {
            moveLine(line, shift.nearest());
        } else if (method_ == 2) {
            bilinear(line, shift);
        } else {
            bicubic(line, shift);
        }
    }

  private:
    struct Line {
        Fixpt* src;
        int64_t srcStart, srcLen, srcStride;
        Fixpt* dst;
        int64_t dstStart, dstStride;
        int64_t p0, end;
        Fixpt* fill;
        int32_t fillIndex;
        int32_t srcIndex(int64_t k) const { return int32_t(srcStart + k * srcStride); }
        int32_t dstIndex(int64_t p) const { return int32_t(dstStart + (p - p0) * dstStride); }
        // The tap at line index k: a sample of the line, or the fill value outside it.
        Fixpt& tap(int64_t k) const {
            return (k >= 0 && k < srcLen) ? (*src)[srcIndex(k)] : (*fill)[fillIndex];
        }
    };

    Fixpt& integer(int64_t v) {
        (*n_.integer) = int32_t(v);
        return *n_.integer;
    }

    // Whether the interior of this line may run on stored integers, and with what.
    bool rawArith(const Line& l, fixraw::Arith* r) const {
        if (logging_) return false;
        const VekDSPFixpt::NumType& t = l.src->getType();
        const Fixpt& acc = *n_.acc;
        const auto* attrs = acc.getAttributes();
        const VekDSPFixpt::NumType& w = acc.getType();
        const VekDSPFixpt::NumType& pt = attrs->productType();
        if (!(t == l.dst->getType()) || t.isFloating() || w.isFloating() || pt.isFloating() ||
            t.wordLength > 64 || w.wordLength > 64 || pt.wordLength > 64 ||
            (!t.isSigned && t.wordLength == 64)) {
            return false;
        }
        // Exact weight x sample products within 126 bits, sums aligned within 60 bits.
        const int32_t d = pt.fracLength - w.fracLength;
        if (w.wordLength + t.wordLength > 120 || d > 60 || d < -60) return false;
        const int32_t align = d < 0 ? -d : d;
        const bool small =
            w.wordLength + t.wordLength <= 60 && std::max(w.wordLength, pt.wordLength) + align <= 60;
        *r = {&attrs->productDest(),
              &acc.getAttributes()->valueDest(),
              &l.dst->getAttributes()->valueDest(),
              -(w.fracLength + t.fracLength),
              pt.fracLength,
              w.fracLength,
              w.wordLength + t.wordLength,
              small};
        return r->out->type == t && r->acc->type == w;
    }

    static int64_t stored(const Fixpt& x) { return int64_t(uint64_t(x.getStoredBits())); }

    // acc = w * sample, as the library forms a product and stores it.
    void accStart(Fixpt& w, Fixpt& sample) {
        if (logging_) {
            *n_.acc = w * sample;
        } else {
            n_.acc->reset();
            *n_.acc += w * sample;
        }
    }

    void fillTo(const Line& l, int64_t from, int64_t to) {
        if (to > from)
            fixdetail::fillRun(*l.dst, l.dstIndex(from), to - from, l.dstStride, *l.fill, l.fillIndex);
    }

    // The line moved by a whole number of positions s.
    void moveLine(const Line& l, int64_t s) {
        const skewdetail::Regions r =
            skewdetail::splitRegions(l.p0, l.end, s, 0, l.srcLen - 1, 0, l.srcLen - 1);
        fillTo(l, l.p0, r.lo);
        if (r.hi > r.lo) {
            fixdetail::copyRun(*l.src, l.srcIndex(r.lo - s), l.srcStride, *l.dst, l.dstIndex(r.lo),
                               l.dstStride, r.hi - r.lo);
        }
        fillTo(l, r.hi, r.end);
    }

    // Bilinear: s = fix(shift), f = |shift - s|, 1 - f from the integer 1.
    void bilinear(const Line& l, Fixpt& shift) {
        const int32_t s = shift.fix();
        Fixpt& f = *n_.frac;
        f = shift;
        f -= integer(s);
        if (f.isNegative()) {
            f = integer(s);
            f -= shift;
        }
        if (f.isZero()) {
            moveLine(l, s);
            return;
        }
        Fixpt& omf = *n_.oneMinus;
        omf = integer(1);
        omf -= f;
        // Positive shift: position p reads src[p-s-1] (weight f) and src[p-s] (weight 1-f).
        const bool positive = shift.isPositive();
        const int64_t offset = positive ? int64_t(s) + 1 : int64_t(s);
        Fixpt& w0 = positive ? f : omf;
        Fixpt& w1 = positive ? omf : f;
        const skewdetail::Regions r =
            skewdetail::splitRegions(l.p0, l.end, offset, -1, l.srcLen - 1, 0, l.srcLen - 2);
        Fixpt& acc = *n_.acc;
        Fixpt& dst = *l.dst;
        auto edge = [&](int64_t from, int64_t to) {
            for (int64_t p = from; p < to; ++p) {
                const int64_t a = p - offset;
                accStart(w0, l.tap(a));
                acc += w1 * l.tap(a + 1);
                dst[l.dstIndex(p)] = acc;
            }
        };
        fillTo(l, l.p0, r.lo);
        edge(r.lo, r.ilo);
        Fixpt& src = *l.src;
        fixraw::Arith arith;
        if (r.ihi > r.ilo && rawArith(l, &arith)) {
            const int64_t k0 = l.srcStart + (r.ilo - offset) * l.srcStride;
            const int64_t a0 = stored(w0), a1 = stored(w1);
            fixraw::withStorage(dst.getType(), [&](auto* tag) {
                using S = std::remove_pointer_t<decltype(tag)>;
                const S* from = static_cast<const S*>(src.getValPtr()) + k0;
                S* to = static_cast<S*>(dst.getValPtr()) + l.dstIndex(r.ilo);
                const int64_t w[2] = {a0, a1};
                if (fixraw::exactInteriorFor<S, 2>(from, l.srcStride, to, l.dstStride, r.ihi - r.ilo, w,
                                                   arith)) {
                    return;
                }
                if (arith.small) {
                    fixraw::bilinear<int64_t>(from, l.srcStride, to, l.dstStride, r.ihi - r.ilo, a0, a1,
                                              arith);
                } else {
                    fixraw::bilinear<VekDSPFixpt::i128>(from, l.srcStride, to, l.dstStride, r.ihi - r.ilo, a0,
                                                        a1, arith);
                }
            });
        } else {
            for (int64_t p = r.ilo; p < r.ihi; ++p) {
                const int64_t k = l.srcStart + (p - offset) * l.srcStride;
                accStart(w0, src[int32_t(k)]);
                acc += w1 * src[int32_t(k + l.srcStride)];
                dst[l.dstIndex(p)] = acc;
            }
        }
        edge(r.ihi, r.hi);
        fillTo(l, r.hi, r.end);
    }

    // out = K(d) of cubic convolution with a = -1: d^3 - 2d^2 + 1 below 1, -d^3 + 5d^2 - 8d + 4 from 1 to 2.
    void cubicWeight(Fixpt& d, Fixpt& out) {
        Fixpt& d2 = *n_.d2;
        Fixpt& d3 = *n_.d3;
        Fixpt& t = *n_.term;
        d2 = d;
        d2 *= d;
        d3 = d2;
        d3 *= d;
        if (d < integer(1)) {
            out = d3;
            t = d2;
            t *= integer(2);
            out -= t;
            out += integer(1);
            return;
        }
        out = integer(4);
        t = d;
        t *= integer(8);
        out -= t;
        t = d2;
        t *= integer(5);
        out += t;
        out -= d3;
    }

    void bicubic(const Line& l, Fixpt& shift) {
        const int32_t s = shift.fix();
        const int64_t bound = l.end < int64_t(s) ? l.end : int64_t(s);  // min(Ld, s)
        if (shift == integer(bound)) {
            moveLine(l, s);
            return;
        }
        Fixpt& v = *n_.frac;
        Fixpt& u = *n_.oneMinus;
        const bool positive = shift.isPositive();
        if (positive) {
            // v = 1 - (shift - s)
            u = shift;
            u -= integer(s);
            v = integer(1);
            v -= u;
        } else {
            v = integer(s);
            v -= shift;
        }
        u = integer(1);
        u -= v;
        Fixpt& d = *n_.d;
        d = integer(1);
        d += v;
        cubicWeight(d, *n_.weight[0]);
        cubicWeight(v, *n_.weight[1]);
        cubicWeight(u, *n_.weight[2]);
        d = integer(1);
        d += u;
        cubicWeight(d, *n_.weight[3]);

        const int64_t offset = positive ? int64_t(s) + 1 : int64_t(s);
        // At least two of the four taps a-1..a+2 in the line (none for a line of one sample).
        const skewdetail::Regions r =
            l.srcLen >= 2 ? skewdetail::splitRegions(l.p0, l.end, offset, -1, l.srcLen - 1, 1, l.srcLen - 3)
                          : skewdetail::splitRegions(l.p0, l.end, offset, 1, 0, 1, 0);
        Fixpt& w0 = *n_.weight[0];
        Fixpt& w1 = *n_.weight[1];
        Fixpt& w2 = *n_.weight[2];
        Fixpt& w3 = *n_.weight[3];
        Fixpt& acc = *n_.acc;
        Fixpt& dst = *l.dst;
        auto edge = [&](int64_t from, int64_t to) {
            for (int64_t p = from; p < to; ++p) {
                const int64_t a = p - offset;
                accStart(w0, l.tap(a - 1));
                acc += w1 * l.tap(a);
                acc += w2 * l.tap(a + 1);
                acc += w3 * l.tap(a + 2);
                dst[l.dstIndex(p)] = acc;
            }
        };
        fillTo(l, l.p0, r.lo);
        edge(r.lo, r.ilo);
        Fixpt& src = *l.src;
        const int64_t ss = l.srcStride;
        fixraw::Arith arith;
        if (r.ihi > r.ilo && rawArith(l, &arith)) {
            const int64_t k0 = l.srcStart + (r.ilo - offset - 1) * ss;
            const int64_t w[4] = {stored(w0), stored(w1), stored(w2), stored(w3)};
            fixraw::withStorage(dst.getType(), [&](auto* tag) {
                using S = std::remove_pointer_t<decltype(tag)>;
                const S* from = static_cast<const S*>(src.getValPtr()) + k0;
                S* to = static_cast<S*>(dst.getValPtr()) + l.dstIndex(r.ilo);
                if (fixraw::exactInteriorFor<S, 4>(from, ss, to, l.dstStride, r.ihi - r.ilo, w, arith))
                    return;
                if (arith.small) {
                    fixraw::bicubic<int64_t>(from, ss, to, l.dstStride, r.ihi - r.ilo, w, arith);
                } else {
                    fixraw::bicubic<VekDSPFixpt::i128>(from, ss, to, l.dstStride, r.ihi - r.ilo, w, arith);
                }
            });
        } else {
            for (int64_t p = r.ilo; p < r.ihi; ++p) {
                const int64_t k = l.srcStart + (p - offset - 1) * ss;
                accStart(w0, src[int32_t(k)]);
                acc += w1 * src[int32_t(k + ss)];
                acc += w2 * src[int32_t(k + 2 * ss)];
                acc += w3 * src[int32_t(k + 3 * ss)];
                dst[l.dstIndex(p)] = acc;
            }
        }
        edge(r.ihi, r.hi);
        fillTo(l, r.hi, r.end);
    }

    int32_t method_;
    FixSkewNumbers n_;
    bool logging_;
};

}  // namespace pellor
