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
#include "vekfixpt_mac.h"

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

namespace fixdetail {

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

}  // namespace fixdetail

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
        skewAt(src, srcStart, srcLen, dstLen, shift, 0, dstLen, srcStride, dstStride, dst, dstStart, firstPos,
               fill, fillIndex);
    }

    // The same for a piece of a line: the line is preceded by lineOffset samples of the fill value that
    // are not in memory, positions [F, Ld) are a part of the whole destination of fullDstLen positions.
    void skewAt(Fixpt& src, int64_t srcStart, int32_t srcLen, int32_t dstLen, Fixpt& shift,
                int64_t lineOffset, int32_t fullDstLen, int64_t srcStride, int64_t dstStride, Fixpt& dst,
                int64_t dstStart, int32_t firstPos, Fixpt& fill, int32_t fillIndex) {
        Line line{&src,     srcStart,   srcLen,     srcStride,
                  &dst,     dstStart,   dstStride,  firstPos < 0 ? 0 : firstPos,
                  dstLen,   lineOffset, fullDstLen, &fill,
                  fillIndex};
        if (method_ == 1) {
            moveLine(line, int64_t(shift.nearest()) + lineOffset);
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
        int64_t lineOffset;  // fill samples before the line, not in memory
        int64_t fullEnd;     // positions of the whole destination
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

    // Whether the interior of this line may run on stored integers, and with what: the samples and the
    // destination of one type, weights of the working type.
    bool storedMac(const Line& l, const Fixpt& weight, VekDSPFixpt::StoredMac* mac) const {
        if (logging_ || !(l.src->getType() == l.dst->getType())) return false;
        return VekDSPFixpt::StoredMac::make(weight, *l.src, *n_.acc, *l.dst, mac);
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
            moveLine(l, s + l.lineOffset);
            return;
        }
        Fixpt& omf = *n_.oneMinus;
        omf = integer(1);
        omf -= f;
        // Positive shift: position p reads src[p-s-1] (weight f) and src[p-s] (weight 1-f).
        const bool positive = shift.isPositive();
        const int64_t offset = (positive ? int64_t(s) + 1 : int64_t(s)) + l.lineOffset;
        Fixpt& w0 = positive ? f : omf;
        Fixpt& w1 = positive ? omf : f;
        const skewdetail::Regions r =
            skewdetail::splitRegions(l.p0, l.end, offset, -1 - l.lineOffset, l.srcLen - 1, 0, l.srcLen - 2);
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
        // The interior on stored integers where the types allow it, else through the number objects.
        VekDSPFixpt::StoredMac mac;
        const bool onStored =
            r.ihi > r.ilo && storedMac(l, w0, &mac) && fixdetail::withStorage(dst.getType(), [&](auto* tag) {
                using S = std::remove_pointer_t<decltype(tag)>;
                const int64_t w[2] = {stored(w0), stored(w1)};
                const int64_t k0 = l.srcStart + (r.ilo - offset) * l.srcStride;
                const S* from = static_cast<const S*>(src.getValPtr()) + k0;
                S* to = static_cast<S*>(dst.getValPtr()) + l.dstIndex(r.ilo);
                mac.line<2>(from, l.srcStride, to, l.dstStride, r.ihi - r.ilo, w);
            });
        if (!onStored) {
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
        const int64_t bound = l.fullEnd < int64_t(s) ? l.fullEnd : int64_t(s);  // min(Ld, s)
        if (shift == integer(bound)) {
            moveLine(l, s + l.lineOffset);
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

        const int64_t offset = (positive ? int64_t(s) + 1 : int64_t(s)) + l.lineOffset;
        // At least two of the four taps a-1..a+2 in the line, the implied samples before it included
        // (none for a line of one sample).
        const skewdetail::Regions r = l.srcLen + l.lineOffset >= 2
                                          ? skewdetail::splitRegions(l.p0, l.end, offset, -1 - l.lineOffset,
                                                                     l.srcLen - 1, 1, l.srcLen - 3)
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
        VekDSPFixpt::StoredMac mac;
        const bool onStored =
            r.ihi > r.ilo && storedMac(l, w0, &mac) && fixdetail::withStorage(dst.getType(), [&](auto* tag) {
                using S = std::remove_pointer_t<decltype(tag)>;
                const int64_t w[4] = {stored(w0), stored(w1), stored(w2), stored(w3)};
                const int64_t k0 = l.srcStart + (r.ilo - offset - 1) * ss;
                const S* from = static_cast<const S*>(src.getValPtr()) + k0;
                S* to = static_cast<S*>(dst.getValPtr()) + l.dstIndex(r.ilo);
                mac.line<4>(from, ss, to, l.dstStride, r.ihi - r.ilo, w);
            });
        if (!onStored) {
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
