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

// Moves the line by a whole number of positions s.
template <typename T>
void moveLine(const T* src, int32_t srcStart, int32_t srcLen, int32_t dstLen, int64_t s, int32_t srcStride,
              int32_t dstStride, T* dst, int32_t dstStart, int32_t firstPos, T fill) {
    using namespace skewdetail;
    const int64_t p0 = std::max<int32_t>(firstPos, 0);
    const Regions r = splitRegions(p0, dstLen, s, 0, int64_t(srcLen) - 1, 0, int64_t(srcLen) - 1);
    fillPositions(dst, dstStart, r.lo - p0, dstStride, fill);
    if (r.hi > r.lo) {
        copyPositions(src + srcStart + (r.lo - s) * srcStride, srcStride,
                      dst + dstStart + (r.lo - p0) * dstStride, dstStride, r.hi - r.lo);
    }
    fillPositions(dst, dstStart + (r.hi - p0) * dstStride, r.end - r.hi, dstStride, fill);
}

// Nearest neighbour: the shift rounded once, halves up.
template <typename T>
void skewNearestAt(const T* src, int32_t srcStart, int32_t srcLen, int32_t dstLen, T shift,
                   int64_t lineOffset, int32_t /*fullDstLen*/, int32_t srcStride, int32_t dstStride, T* dst,
                   int32_t dstStart, int32_t firstPos, T fill) {
    const int64_t s = static_cast<int64_t>(std::floor(skewdetail::boundShift(shift) + T(0.5))) + lineOffset;
    moveLine(src, srcStart, srcLen, dstLen, s, srcStride, dstStride, dst, dstStart, firstPos, fill);
}

// Bilinear weights of one line: value = w0 * src[p - offset] + w1 * src[p - offset + 1].
template <typename T>
struct BilinearTaps {
    bool integral;
    int64_t shiftInt;  // the shift truncated toward zero
    int64_t offset;
    T w0, w1;
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

template <typename T>
void skewBilinearAt(const T* src, int32_t srcStart, int32_t srcLen, int32_t dstLen, T shift,
                    int64_t lineOffset, int32_t /*fullDstLen*/, int32_t srcStride, int32_t dstStride, T* dst,
                    int32_t dstStart, int32_t firstPos, T fill) {
    using namespace skewdetail;
    BilinearTaps<T> t = bilinearTaps(shift);
    if (t.integral) {
        moveLine(src, srcStart, srcLen, dstLen, t.shiftInt + lineOffset, srcStride, dstStride, dst, dstStart,
                 firstPos, fill);
        return;
    }
    t.offset += lineOffset;
    const int64_t p0 = std::max<int32_t>(firstPos, 0);
    const int64_t ls = srcLen;
    // The implied samples before the line are part of it (they only read as the fill value).
    const Regions r = splitRegions(p0, dstLen, t.offset, -1 - lineOffset, ls - 1, 0, ls - 2);
    const LineReader<T> in{src, srcStart, ls, srcStride, fill};
    const T w0 = t.w0, w1 = t.w1;
    auto edge = [&](int64_t from, int64_t to) {
        for (int64_t p = from; p < to; ++p) {
            const int64_t a = p - t.offset;
            dst[dstStart + (p - p0) * dstStride] = w0 * in.at(a) + w1 * in.at(a + 1);
        }
    };
    fillPositions(dst, dstStart, r.lo - p0, dstStride, fill);
    edge(r.lo, r.ilo);
    if (r.ihi > r.ilo) {
        const int64_t count = r.ihi - r.ilo;
        const T* s = src + srcStart + (r.ilo - t.offset) * srcStride;
        T* d = dst + dstStart + (r.ilo - p0) * dstStride;
        if (srcStride == 1 && dstStride == 1) {
            for (int64_t n = 0; n < count; ++n)
                d[n] = w0 * s[n] + w1 * s[n + 1];
        } else {
            const int64_t ss = srcStride, ds = dstStride;
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
        }
    }
    edge(r.ihi, r.hi);
    fillPositions(dst, dstStart + (r.hi - p0) * dstStride, r.end - r.hi, dstStride, fill);
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

template <typename T>
void skewBicubicAt(const T* src, int32_t srcStart, int32_t srcLen, int32_t dstLen, T shift,
                   int64_t lineOffset, int32_t fullDstLen, int32_t srcStride, int32_t dstStride, T* dst,
                   int32_t dstStart, int32_t firstPos, T fill) {
    using namespace skewdetail;
    BicubicTaps<T> t = bicubicTaps(shift, fullDstLen);
    if (t.integral) {
        moveLine(src, srcStart, srcLen, dstLen, t.shiftInt + lineOffset, srcStride, dstStride, dst, dstStart,
                 firstPos, fill);
        return;
    }
    t.offset += lineOffset;
    const int64_t p0 = std::max<int32_t>(firstPos, 0);
    const int64_t ls = srcLen;
    // At least two of the four taps in the line, the implied samples before it included:
    // a in [-1-lineOffset, Ls-1] (none for a line of one sample).
    const Regions r = ls + lineOffset >= 2
                          ? splitRegions(p0, dstLen, t.offset, -1 - lineOffset, ls - 1, 1, ls - 3)
                          : splitRegions(p0, dstLen, t.offset, 1, 0, 1, 0);
    const LineReader<T> in{src, srcStart, ls, srcStride, fill};
    const T w0 = t.w[0], w1 = t.w[1], w2 = t.w[2], w3 = t.w[3];
    auto edge = [&](int64_t from, int64_t to) {
        for (int64_t p = from; p < to; ++p) {
            const int64_t a = p - t.offset;
            dst[dstStart + (p - p0) * dstStride] =
                w0 * in.at(a - 1) + w1 * in.at(a) + w2 * in.at(a + 1) + w3 * in.at(a + 2);
        }
    };
    fillPositions(dst, dstStart, r.lo - p0, dstStride, fill);
    edge(r.lo, r.ilo);
    if (r.ihi > r.ilo) {
        const int64_t count = r.ihi - r.ilo;
        const T* s = src + srcStart + (r.ilo - t.offset - 1) * srcStride;
        T* d = dst + dstStart + (r.ilo - p0) * dstStride;
        if (srcStride == 1 && dstStride == 1) {
            for (int64_t n = 0; n < count; ++n)
                d[n] = w0 * s[n] + w1 * s[n + 1] + w2 * s[n + 2] + w3 * s[n + 3];
        } else {
            const int64_t ss = srcStride, ds = dstStride;
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
    edge(r.ihi, r.hi);
    fillPositions(dst, dstStart + (r.hi - p0) * dstStride, r.end - r.hi, dstStride, fill);
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
