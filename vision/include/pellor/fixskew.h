// Skew routines of the fixed-point rotate engine: the positions, edge rules and fill of the floating-point
// routines (skew.h), with every weight and every sample going through number objects of the fixed-point
// library, so each product and sum is quantised into the working (accumulator) type with the block's
// rounding and overflow modes and each result once more into the destination's type.
//
// skewAt(src, srcStart, Ls, Ld, shift, lineOffset, fullLd, srcStride, dstStride, dst, dstStart, F, fill,
// fillIndex): the skew of skew.h (the same positions, regions and edge rules, written once there) with
// samples outside the line reading the fill value fill[fillIndex]. Nothing is read outside the source line
// or written outside the destination range; nothing is allocated. src and dst are distinct objects.
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

    // The same for a piece of a line: the line is preceded by lineOffset samples of the fill value that
    // are not in memory, positions [F, Ld) are a part of the whole destination of fullDstLen positions.
    void skewAt(Fixpt& src, int64_t srcStart, int32_t srcLen, int32_t dstLen, Fixpt& shift,
                int64_t lineOffset, int32_t fullDstLen, int64_t srcStride, int64_t dstStride, Fixpt& dst,
                int64_t dstStart, int32_t firstPos, Fixpt& fill, int32_t fillIndex) {
        const int64_t p0 = firstPos < 0 ? 0 : firstPos;
        const LineSpan l{
            srcStart,   srcLen,    srcStride, dstStart, dstStride, p0, std::max<int64_t>(dstLen, p0),
            lineOffset, fullDstLen};
        Kit k(*this, src, dst, l, fill, fillIndex);
        skewdetail::skewWith(k, l, shift);
    }

  private:
    // The weights of one line, number objects of the working type.
    struct Taps {
        bool integral;
        int64_t shiftInt;
        int64_t offset;
        Fixpt* w[4];
        Fixpt& weight(int j) const { return *w[j]; }
    };

    // The skew kit of number objects: every product and sum quantised into the working type, every
    // result into the destination's; interiors on stored integers where the types allow it.
    class Kit {
      public:
        Kit(FixSkewEngine& e, Fixpt& src, Fixpt& dst, const LineSpan& l, Fixpt& fill, int32_t fillIndex)
            : e_(e), src_(src), dst_(dst), l_(l), fill_(fill), fillIndex_(fillIndex) {}

        int32_t method() const { return e_.method_; }
        int64_t nearestMove(Fixpt& shift) const { return shift.nearest(); }
        Taps bilinearTaps(Fixpt& shift) { return e_.bilinearTaps(shift); }
        Taps bicubicTaps(Fixpt& shift, int64_t fullEnd) { return e_.bicubicTaps(shift, fullEnd); }

        // The tap at line index k: a sample of the line, or the fill value outside it.
        Fixpt& tap(int64_t k) const {
            return (k >= 0 && k < l_.srcLen) ? src_[int32_t(l_.srcIndex(k))] : fill_[fillIndex_];
        }
        Fixpt& product(const Taps& t, int j, int64_t k) {
            e_.accStart(t.weight(j), tap(k));
            return *e_.n_.acc;
        }
        void accumulate(Fixpt& acc, const Taps& t, int j, int64_t k) { acc += t.weight(j) * tap(k); }
        void store(int64_t p, Fixpt& acc) { dst_[int32_t(l_.dstIndex(p))] = acc; }

        void fill(int64_t from, int64_t to) {
            if (to > from)
                fixdetail::fillRun(dst_, l_.dstIndex(from), to - from, l_.dstStride, fill_, fillIndex_);
        }
        void copy(int64_t from, int64_t to, int64_t s) {
            fixdetail::copyRun(src_, l_.srcIndex(from - s), l_.srcStride, dst_, l_.dstIndex(from),
                               l_.dstStride, to - from);
        }

        // Positions [p, p+count) with every tap in the line: on stored integers when the samples and the
        // destination share a type and nothing is logged, else through the number objects.
        template <int Taps_, class W>
        void interior(const W& t, int64_t k0, int64_t p, int64_t count) {
            VekDSPFixpt::StoredMac mac;
            const bool onStored = !e_.logging_ && src_.getType() == dst_.getType() &&
                                  VekDSPFixpt::StoredMac::make(t.weight(0), src_, *e_.n_.acc, dst_, &mac) &&
                                  fixdetail::withStorage(dst_.getType(), [&](auto* tag) {
                                      using S = std::remove_pointer_t<decltype(tag)>;
                                      int64_t w[Taps_];
                                      for (int j = 0; j < Taps_; ++j)
                                          w[j] = int64_t(uint64_t(t.weight(j).getStoredBits()));
                                      const S* from =
                                          static_cast<const S*>(src_.getValPtr()) + l_.srcIndex(k0);
                                      S* to = static_cast<S*>(dst_.getValPtr()) + l_.dstIndex(p);
                                      mac.line<Taps_>(from, l_.srcStride, to, l_.dstStride, count, w);
                                  });
            if (onStored) return;
            for (int64_t n = 0; n < count; ++n) {
                Fixpt& acc = product(t, 0, k0 + n);
                for (int j = 1; j < Taps_; ++j)
                    accumulate(acc, t, j, k0 + n + j);
                store(p + n, acc);
            }
        }

      private:
        FixSkewEngine& e_;
        Fixpt& src_;
        Fixpt& dst_;
        const LineSpan& l_;
        Fixpt& fill_;
        int32_t fillIndex_;
    };

    Fixpt& integer(int64_t v) {
        (*n_.integer) = int32_t(v);
        return *n_.integer;
    }

    // acc = w * sample, as the library forms a product and stores it.
    void accStart(Fixpt& w, Fixpt& sample) {
        if (logging_) {
            *n_.acc = w * sample;
        } else {
            n_.acc->reset();
            *n_.acc += w * sample;
        }
    }

    // Bilinear: s = fix(shift), f = |shift - s|, 1 - f from the integer 1. A positive shift reads
    // src[p-s-1] (weight f) and src[p-s] (weight 1-f).
    Taps bilinearTaps(Fixpt& shift) {
        const int32_t s = shift.fix();
        Fixpt& f = *n_.frac;
        f = shift;
        f -= integer(s);
        if (f.isNegative()) {
            f = integer(s);
            f -= shift;
        }
        if (f.isZero()) return {true, s, 0, {}};
        Fixpt& omf = *n_.oneMinus;
        omf = integer(1);
        omf -= f;
        const bool positive = shift.isPositive();
        return {
            false, s, positive ? int64_t(s) + 1 : int64_t(s), {positive ? &f : &omf, positive ? &omf : &f}};
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

    Taps bicubicTaps(Fixpt& shift, int64_t fullEnd) {
        const int32_t s = shift.fix();
        const int64_t bound = fullEnd < int64_t(s) ? fullEnd : int64_t(s);  // min(Ld, s)
        if (shift == integer(bound)) return {true, s, 0, {}};
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
        return {false,
                s,
                positive ? int64_t(s) + 1 : int64_t(s),
                {n_.weight[0].get(), n_.weight[1].get(), n_.weight[2].get(), n_.weight[3].get()}};
    }

    int32_t method_;
    FixSkewNumbers n_;
    bool logging_;
};

}  // namespace pellor
