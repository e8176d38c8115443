// Skew routines: resample one line moved by a (fractional) shift into another line.
//
// skew(src, srcStart, Ls, Ld, shift, srcStride, dstStride, dst, dstStart, F, fill): destination position p
// takes the source line at x = p - shift, where the source line is src[srcStart + k*srcStride],
// k = 0..Ls-1, and samples outside it count as `fill`. Positions p = max(F, 0)..Ld-1 are written, to
// dst[dstStart + (p - max(F, 0)) * dstStride]; positions the line does not reach get `fill`. Nothing is
// read outside the source line, nothing written outside the destination range, nothing allocated.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace pellor {

template <typename T>
using SkewFcn = void (*)(const T* src, int32_t srcStart, int32_t srcLen, int32_t dstLen, T shift,
                         int32_t srcStride, int32_t dstStride, T* dst, int32_t dstStart, int32_t firstPos,
                         T fill);

namespace skewdetail {

// A shift far beyond any line moves everything out; bounding it keeps the index arithmetic exact.
template <typename T>
T boundShift(T shift) {
    const T limit = T(1 << 30);
    if (!(shift == shift)) return T(0);
    return shift > limit ? limit : (shift < -limit ? -limit : shift);
}

template <typename T>
bool isZeroBits(T v) {
    T zero = T(0);
    return std::memcmp(&v, &zero, sizeof(T)) == 0;
}

// dst[start + n*stride] = v for n in [0, count).
template <typename T>
void fillPositions(T* dst, int64_t start, int64_t count, int32_t stride, T v) {
    if (count <= 0) return;
    T* d = dst + start;
    if (stride == 1) {
        if (isZeroBits(v)) {
            std::memset(d, 0, static_cast<size_t>(count) * sizeof(T));
        } else {
            std::fill(d, d + count, v);
        }
        return;
    }
    int64_t n = 0;
    for (; n + 4 <= count; n += 4) {
        d[n * stride] = v;
        d[(n + 1) * stride] = v;
        d[(n + 2) * stride] = v;
        d[(n + 3) * stride] = v;
    }
    for (; n < count; ++n)
        d[n * stride] = v;
}

template <typename T>
void copyPositions(const T* src, int32_t srcStride, T* dst, int32_t dstStride, int64_t count) {
    if (count <= 0) return;
    if (srcStride == 1 && dstStride == 1) {
        std::memcpy(dst, src, static_cast<size_t>(count) * sizeof(T));
        return;
    }
    int64_t n = 0;
    for (; n + 4 <= count; n += 4) {
        dst[n * dstStride] = src[n * srcStride];
        dst[(n + 1) * dstStride] = src[(n + 1) * srcStride];
        dst[(n + 2) * dstStride] = src[(n + 2) * srcStride];
        dst[(n + 3) * dstStride] = src[(n + 3) * srcStride];
    }
    for (; n < count; ++n)
        dst[n * dstStride] = src[n * srcStride];
}

// Destination positions [p0, Ld) split into: fill before the line, positions computed with taps partly
// outside the line (edges), interior positions, edges, fill after the line.
struct Regions {
    int64_t p0, lo, ilo, ihi, hi, end;
};

// Tap base a = p - offset; a position is computed for a in [aMin, aMax], interior for a in [iMin, iMax].
inline Regions splitRegions(int64_t p0, int64_t end, int64_t offset, int64_t aMin, int64_t aMax, int64_t iMin,
                            int64_t iMax) {
    Regions r;
    r.p0 = p0;
    r.end = std::max(end, p0);
    r.lo = std::clamp(offset + aMin, r.p0, r.end);
    r.hi = std::clamp(offset + aMax + 1, r.lo, r.end);
    r.ilo = std::clamp(offset + iMin, r.lo, r.hi);
    r.ihi = std::clamp(offset + iMax + 1, r.ilo, r.hi);
    return r;
}

template <typename T>
struct LineReader {
    const T* src;
    int64_t start, len;
    int32_t stride;
    T fill;
    T at(int64_t k) const { return (k >= 0 && k < len) ? src[start + k * stride] : fill; }
};

}  // namespace skewdetail

// The positions of one skew: the source line src[srcStart + k*srcStride], k = 0..srcLen-1, preceded by
// lineOffset samples of the fill value that are not in memory; destination positions [p0, end) of a whole
// destination of fullEnd positions, position p at dst[dstStart + (p - p0) * dstStride].
struct LineSpan {
    int64_t srcStart, srcLen, srcStride;
    int64_t dstStart, dstStride;
    int64_t p0, end;
    int64_t lineOffset, fullEnd;
    int64_t srcIndex(int64_t k) const { return srcStart + k * srcStride; }
    int64_t dstIndex(int64_t p) const { return dstStart + (p - p0) * dstStride; }
};

// The skew routines, written once over the number type through a kit K that knows its samples:
//   method()                       1 nearest, 2 bilinear, else bicubic
//   nearestMove(shift)             the shift rounded, halves up
//   bilinearTaps(shift), bicubicTaps(shift, fullEnd)
//                                  weights {integral, shiftInt, offset, weight(j)} in the kit's arithmetic
//   product(t, j, k), accumulate(acc, t, j, k), store(p, acc)
//                                  acc = w[j] * tap(k); acc += w[j] * tap(k); dst at position p = acc
//   interior<Taps>(t, k0, p, count)  positions [p, p+count) whose taps k0.. all lie in the line
//   fill(from, to), copy(from, to, s)  fill positions; positions take src[p - s]
namespace skewdetail {

template <class K>
void moveLineWith(K& k, const LineSpan& l, int64_t s) {
    const Regions r = splitRegions(l.p0, l.end, s, 0, l.srcLen - 1, 0, l.srcLen - 1);
    k.fill(l.p0, r.lo);
    if (r.hi > r.lo) k.copy(r.lo, r.hi, s);
    k.fill(r.hi, r.end);
}

// Positions [from, to) through the kit's arithmetic, taps outside the line reading the fill value.
// `first` is the first tap's place relative to the tap base a = p - offset.
template <int Taps, class K, class W>
void edgeWith(K& k, const W& t, int64_t offset, int64_t first, int64_t from, int64_t to) {
    for (int64_t p = from; p < to; ++p) {
        const int64_t a = p - offset + first;
        auto&& acc = k.product(t, 0, a);
        for (int j = 1; j < Taps; ++j)
            k.accumulate(acc, t, j, a + j);
        k.store(p, acc);
    }
}

// Fill before the line, edges, interior, edges, fill after the line.
template <int Taps, class K, class W>
void interpolateWith(K& k, const LineSpan& l, const W& t, int64_t offset, int64_t first, const Regions& r) {
    k.fill(l.p0, r.lo);
    edgeWith<Taps>(k, t, offset, first, r.lo, r.ilo);
    if (r.ihi > r.ilo) k.template interior<Taps>(t, r.ilo - offset + first, r.ilo, r.ihi - r.ilo);
    edgeWith<Taps>(k, t, offset, first, r.ihi, r.hi);
    k.fill(r.hi, r.end);
}

template <class K, class Shift>
void skewWith(K& k, const LineSpan& l, Shift&& shift) {
    const int64_t ls = l.srcLen, off = l.lineOffset;
    if (k.method() == 1) {
        moveLineWith(k, l, k.nearestMove(shift) + off);
        return;
    }
    if (k.method() == 2) {
        auto&& t = k.bilinearTaps(shift);
        if (t.integral) {
            moveLineWith(k, l, t.shiftInt + off);
            return;
        }
        // Value = w0 * src[p - offset] + w1 * src[p - offset + 1]; the implied samples before the line are
        // part of it (they only read as the fill value).
        const int64_t offset = t.offset + off;
        interpolateWith<2>(k, l, t, offset, 0,
                           splitRegions(l.p0, l.end, offset, -1 - off, ls - 1, 0, ls - 2));
        return;
    }
    auto&& t = k.bicubicTaps(shift, l.fullEnd);
    if (t.integral) {
        moveLineWith(k, l, t.shiftInt + off);
        return;
    }
    // Value = sum w[j] * src[p - offset - 1 + j]: at least two of the four taps in the line, the implied
    // samples before it included (none for a line of one sample).
    const int64_t offset = t.offset + off;
    const Regions r = ls + off >= 2 ? splitRegions(l.p0, l.end, offset, -1 - off, ls - 1, 1, ls - 3)
                                    : splitRegions(l.p0, l.end, offset, 1, 0, 1, 0);
    interpolateWith<4>(k, l, t, offset, -1, r);
}

}  // namespace skewdetail

// Bilinear weights of one line: value = w0 * src[p - offset] + w1 * src[p - offset + 1].
template <typename T>
struct BilinearTaps {
    bool integral;
    int64_t shiftInt;  // the shift truncated toward zero
    int64_t offset;
    T w0, w1;
    T weight(int j) const { return j == 0 ? w0 : w1; }
};

template <typename T>
BilinearTaps<T> bilinearTaps(T shift) {
    shift = skewdetail::boundShift(shift);
    BilinearTaps<T> t;
    t.shiftInt = static_cast<int64_t>(shift);
    const T f = std::fabs(shift - T(t.shiftInt));
    t.integral = (f == T(0));
    if (shift > T(0)) {
        t.offset = t.shiftInt + 1;  // left tap src[p - s - 1] weighs f
        t.w0 = f;
        t.w1 = T(1) - f;
    } else {
        t.offset = t.shiftInt;  // left tap src[p - s] weighs 1 - f
        t.w0 = T(1) - f;
        t.w1 = f;
    }
    return t;
}

// Cubic convolution kernel with a = -1.
template <typename T>
T cubicKernel(T d) {
    const T d2 = d * d;
    const T d3 = d2 * d;
    if (d < T(1)) return d3 - T(2) * d2 + T(1);
    return -d3 + T(5) * d2 - T(8) * d + T(4);
}

// Bicubic weights of one line: value = sum w[k] * src[p - offset - 1 + k], k = 0..3.
template <typename T>
struct BicubicTaps {
    bool integral;
    int64_t shiftInt;
    int64_t offset;
    T w[4];
    T weight(int j) const { return w[j]; }
};

template <typename T>
BicubicTaps<T> bicubicTaps(T shift, int32_t dstLen) {
    shift = skewdetail::boundShift(shift);
    BicubicTaps<T> t;
    t.shiftInt = static_cast<int64_t>(shift);
    t.integral = (shift - T(std::min<int64_t>(dstLen, t.shiftInt)) == T(0));
    T v;
    if (shift > T(0)) {
        v = T(1) - (shift - T(t.shiftInt));
        t.offset = t.shiftInt + 1;
    } else {
        v = T(t.shiftInt) - shift;
        t.offset = t.shiftInt;
    }
    const T u = T(1) - v;
    t.w[0] = cubicKernel(T(1) + v);
    t.w[1] = cubicKernel(v);
    t.w[2] = cubicKernel(u);
    t.w[3] = cubicKernel(T(1) + u);
    return t;
}

namespace skewdetail {

// The kit of double or single samples: native arithmetic, each product and sum rounded to T.
template <typename T, int32_t Method>
class FloatSkewKit {
  public:
    FloatSkewKit(const T* src, T* dst, const LineSpan& l, T fill)
        : src_(src), dst_(dst), l_(l), fill_(fill) {}

    static constexpr int32_t method() { return Method; }
    int64_t nearestMove(T shift) const {
        return static_cast<int64_t>(std::floor(boundShift(shift) + T(0.5)));
    }
    BilinearTaps<T> bilinearTaps(T shift) const { return pellor::bilinearTaps(shift); }
    BicubicTaps<T> bicubicTaps(T shift, int64_t fullEnd) const {
        return pellor::bicubicTaps(shift, int32_t(fullEnd));
    }

    T tap(int64_t k) const { return (k >= 0 && k < l_.srcLen) ? src_[l_.srcIndex(k)] : fill_; }
    template <class W>
    T product(const W& t, int j, int64_t k) const {
        return t.weight(j) * tap(k);
    }
    template <class W>
    void accumulate(T& acc, const W& t, int j, int64_t k) const {
        acc = acc + t.weight(j) * tap(k);
    }
    void store(int64_t p, T acc) const { dst_[l_.dstIndex(p)] = acc; }

    void fill(int64_t from, int64_t to) const {
        fillPositions(dst_, l_.dstIndex(from), to - from, int32_t(l_.dstStride), fill_);
    }
    void copy(int64_t from, int64_t to, int64_t s) const {
        copyPositions(src_ + l_.srcIndex(from - s), int32_t(l_.srcStride), dst_ + l_.dstIndex(from),
                      int32_t(l_.dstStride), to - from);
    }

    // Interior positions: every tap in the line, no tests; unit strides vectorise, other strides keep
    // the shared taps of neighbouring positions in registers.
    template <int Taps, class W>
    void interior(const W& t, int64_t k0, int64_t p, int64_t count) const {
        const T* s = src_ + l_.srcIndex(k0);
        T* d = dst_ + l_.dstIndex(p);
        const int64_t ss = l_.srcStride, ds = l_.dstStride;
        if constexpr (Taps == 2) {
            const T w0 = t.weight(0), w1 = t.weight(1);
            if (ss == 1 && ds == 1) {
                for (int64_t n = 0; n < count; ++n)
                    d[n] = w0 * s[n] + w1 * s[n + 1];
                return;
            }
            int64_t n = 0;
            T left = s[0];
            for (; n + 4 <= count; n += 4) {
                const T a1 = s[(n + 1) * ss], a2 = s[(n + 2) * ss], a3 = s[(n + 3) * ss],
                        a4 = s[(n + 4) * ss];
                d[n * ds] = w0 * left + w1 * a1;
                d[(n + 1) * ds] = w0 * a1 + w1 * a2;
                d[(n + 2) * ds] = w0 * a2 + w1 * a3;
                d[(n + 3) * ds] = w0 * a3 + w1 * a4;
                left = a4;
            }
            for (; n < count; ++n) {
                const T right = s[(n + 1) * ss];
                d[n * ds] = w0 * left + w1 * right;
                left = right;
            }
        } else {
            const T w0 = t.weight(0), w1 = t.weight(1), w2 = t.weight(2), w3 = t.weight(3);
            if (ss == 1 && ds == 1) {
                for (int64_t n = 0; n < count; ++n)
                    d[n] = w0 * s[n] + w1 * s[n + 1] + w2 * s[n + 2] + w3 * s[n + 3];
                return;
            }
            T a0 = s[0], a1 = s[ss], a2 = s[2 * ss];
            for (int64_t n = 0; n < count; ++n) {
                const T a3 = s[(n + 3) * ss];
                d[n * ds] = w0 * a0 + w1 * a1 + w2 * a2 + w3 * a3;
                a0 = a1;
                a1 = a2;
                a2 = a3;
            }
        }
    }

  private:
    const T* src_;
    T* dst_;
    const LineSpan& l_;
    T fill_;
};

template <int32_t Method, typename T>
void floatSkew(const T* src, int32_t srcStart, int32_t srcLen, int32_t dstLen, T shift, int64_t lineOffset,
               int32_t fullDstLen, int32_t srcStride, int32_t dstStride, T* dst, int32_t dstStart,
               int32_t firstPos, T fill) {
    const LineSpan l{srcStart,
                     srcLen,
                     srcStride,
                     dstStart,
                     dstStride,
                     std::max<int32_t>(firstPos, 0),
                     std::max<int64_t>(dstLen, std::max<int32_t>(firstPos, 0)),
                     lineOffset,
                     fullDstLen};
    FloatSkewKit<T, Method> k(src, dst, l, fill);
    skewWith(k, l, shift);
}

}  // namespace skewdetail

// Moves the line by a whole number of positions s.
template <typename T>
void moveLine(const T* src, int32_t srcStart, int32_t srcLen, int32_t dstLen, int64_t s, int32_t srcStride,
              int32_t dstStride, T* dst, int32_t dstStart, int32_t firstPos, T fill) {
    const int64_t p0 = std::max<int32_t>(firstPos, 0);
    const LineSpan l{srcStart, srcLen, srcStride, dstStart, dstStride, p0, std::max<int64_t>(dstLen, p0),
                     0,        dstLen};
    skewdetail::FloatSkewKit<T, 1> k(src, dst, l, fill);
    skewdetail::moveLineWith(k, l, s);
}

// Nearest neighbour: the shift rounded once, halves up.
template <typename T>
void skewNearestAt(const T* src, int32_t srcStart, int32_t srcLen, int32_t dstLen, T shift,
                   int64_t lineOffset, int32_t fullDstLen, int32_t srcStride, int32_t dstStride, T* dst,
                   int32_t dstStart, int32_t firstPos, T fill) {
    skewdetail::floatSkew<1>(src, srcStart, srcLen, dstLen, shift, lineOffset, fullDstLen, srcStride,
                             dstStride, dst, dstStart, firstPos, fill);
}

template <typename T>
void skewBilinearAt(const T* src, int32_t srcStart, int32_t srcLen, int32_t dstLen, T shift,
                    int64_t lineOffset, int32_t fullDstLen, int32_t srcStride, int32_t dstStride, T* dst,
                    int32_t dstStart, int32_t firstPos, T fill) {
    skewdetail::floatSkew<2>(src, srcStart, srcLen, dstLen, shift, lineOffset, fullDstLen, srcStride,
                             dstStride, dst, dstStart, firstPos, fill);
}

template <typename T>
void skewBicubicAt(const T* src, int32_t srcStart, int32_t srcLen, int32_t dstLen, T shift,
                   int64_t lineOffset, int32_t fullDstLen, int32_t srcStride, int32_t dstStride, T* dst,
                   int32_t dstStart, int32_t firstPos, T fill) {
    skewdetail::floatSkew<3>(src, srcStart, srcLen, dstLen, shift, lineOffset, fullDstLen, srcStride,
                             dstStride, dst, dstStart, firstPos, fill);
}

// The skew routines themselves: the line starts at position 0 and the whole destination is [F, Ld).
template <typename T>
void skewNearest(const T* src, int32_t srcStart, int32_t srcLen, int32_t dstLen, T shift, int32_t srcStride,
                 int32_t dstStride, T* dst, int32_t dstStart, int32_t firstPos, T fill) {
    skewNearestAt(src, srcStart, srcLen, dstLen, shift, 0, dstLen, srcStride, dstStride, dst, dstStart,
                  firstPos, fill);
}

template <typename T>
void skewBilinear(const T* src, int32_t srcStart, int32_t srcLen, int32_t dstLen, T shift, int32_t srcStride,
                  int32_t dstStride, T* dst, int32_t dstStart, int32_t firstPos, T fill) {
    skewBilinearAt(src, srcStart, srcLen, dstLen, shift, 0, dstLen, srcStride, dstStride, dst, dstStart,
                   firstPos, fill);
}

template <typename T>
void skewBicubic(const T* src, int32_t srcStart, int32_t srcLen, int32_t dstLen, T shift, int32_t srcStride,
                 int32_t dstStride, T* dst, int32_t dstStart, int32_t firstPos, T fill) {
    skewBicubicAt(src, srcStart, srcLen, dstLen, shift, 0, dstLen, srcStride, dstStride, dst, dstStart,
                  firstPos, fill);
}

// The routine for an interpolation method: 1 nearest, 2 bilinear, anything else bicubic.
template <typename T>
SkewFcn<T> skewForMethod(int32_t method) {
    if (method == 1) return &skewNearest<T>;
    if (method == 2) return &skewBilinear<T>;
    return &skewBicubic<T>;
}

// Whether the method's routine moves the line by a whole number of positions for this shift (no
// interpolation), and by how many: what a caller needs to move the line in place instead.
template <typename T>
bool lineMoveOf(int32_t method, T shift, int32_t dstLen, int64_t* move) {
    if (method == 1) {
        *move = static_cast<int64_t>(std::floor(skewdetail::boundShift(shift) + T(0.5)));
        return true;
    }
    if (method == 2) {
        const BilinearTaps<T> t = bilinearTaps(shift);
        *move = t.shiftInt;
        return t.integral;
    }
    const BicubicTaps<T> t = bicubicTaps(shift, dstLen);
    *move = t.shiftInt;
    return t.integral;
}

// The same routines for a piece of a line: the line is preceded by lineOffset samples of the fill value that
// are not in memory (they count as part of the line), positions [F, Ld) are a part of the whole
// destination of fullDstLen positions. Each position gets exactly the value the whole-line call gives it.
template <typename T>
using SkewAtFcn = void (*)(const T* src, int32_t srcStart, int32_t srcLen, int32_t dstLen, T shift,
                           int64_t lineOffset, int32_t fullDstLen, int32_t srcStride, int32_t dstStride,
                           T* dst, int32_t dstStart, int32_t firstPos, T fill);

template <typename T>
SkewAtFcn<T> skewAtForMethod(int32_t method) {
    if (method == 1) return &skewNearestAt<T>;
    if (method == 2) return &skewBilinearAt<T>;
    return &skewBicubicAt<T>;
}

}  // namespace pellor
