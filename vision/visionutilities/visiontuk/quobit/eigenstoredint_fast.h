// The specialised stored-integer engine: the general engine's sequence of steps, specialised on the modes
// and on the "Memory" container, over whole column blocks so that the compiler keeps every step in vector
// registers. The image is read through one small loader per container and the metric written through
// one store per container, both chosen once per column block.
//
// Internal linkage (an unnamed namespace): the unit compiled for 256-bit vector units keeps its own copy.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "eigenstoredint_plan.h"

namespace quobit::storedint {
namespace {

constexpr int32_t kChunk = 128;  // rows per block of every stage

// The four image samples of padded rows [p0, p0 + count) of padded column c: left, right, up, down.
template <class X>
void loadGradientInputs(const void* image, int32_t M, int32_t c, const int32_t* rowPad, int32_t p0,
                        int32_t count, int64_t* l, int64_t* r, int64_t* u, int64_t* dn) {
    const X* col = static_cast<const X*>(image) + int64_t(c) * M;
    const int32_t row0 = rowPad[p0];
    if (rowPad[p0 + count - 1] - row0 == count - 1) {
        // Interior rows: consecutive image rows, converted as whole lines.
        const X* mid = col + row0;
        for (int32_t j = 0; j < count; ++j) {
            l[j] = int64_t(mid[j - M]);
            r[j] = int64_t(mid[j + M]);
            u[j] = int64_t(mid[j - 1]);
            dn[j] = int64_t(mid[j + 1]);
        }
        return;
    }
    for (int32_t j = 0; j < count; ++j) {
        const int32_t row = rowPad[p0 + j];
        l[j] = int64_t(col[row - M]);
        r[j] = int64_t(col[row + M]);
        u[j] = int64_t(col[row - 1]);
        dn[j] = int64_t(col[row + 1]);
    }
}

inline void loadGradientInputs(const FastPlan& p, const void* image, int32_t M, int32_t c,
                               const int32_t* rowPad, int32_t p0, int32_t count, int64_t* l, int64_t* r,
                               int64_t* u, int64_t* dn) {
    switch (p.imageBytes * 2 + (p.imageSigned ? 1 : 0)) {
        case 2:
            return loadGradientInputs<uint8_t>(image, M, c, rowPad, p0, count, l, r, u, dn);
        case 3:
            return loadGradientInputs<int8_t>(image, M, c, rowPad, p0, count, l, r, u, dn);
        case 4:
            return loadGradientInputs<uint16_t>(image, M, c, rowPad, p0, count, l, r, u, dn);
        case 5:
            return loadGradientInputs<int16_t>(image, M, c, rowPad, p0, count, l, r, u, dn);
        case 8:
            return loadGradientInputs<uint32_t>(image, M, c, rowPad, p0, count, l, r, u, dn);
        case 9:
            return loadGradientInputs<int32_t>(image, M, c, rowPad, p0, count, l, r, u, dn);
        default:
            return loadGradientInputs<int64_t>(image, M, c, rowPad, p0, count, l, r, u, dn);
    }
}

template <class O>
void storeMetric(void* out, int64_t at, const int64_t* v, int32_t count) {
    O* dst = static_cast<O*>(out) + at;
    for (int32_t j = 0; j < count; ++j)
        dst[j] = O(v[j]);
}

inline void storeMetric(int32_t bytes, void* out, int64_t at, const int64_t* v, int32_t count) {
    switch (bytes) {
        case 1:
            return storeMetric<int8_t>(out, at, v, count);
        case 2:
            return storeMetric<int16_t>(out, at, v, count);
        case 4:
            return storeMetric<int32_t>(out, at, v, count);
        default:
            return storeMetric<int64_t>(out, at, v, count);
    }
}

// floor(sqrt(n)) for n < 2^62.
inline uint64_t rootFloor(uint64_t n) {
    uint64_t r = uint64_t(std::sqrt(double(n)));
    while (r * r > n)
        --r;
    while ((r + 1) * (r + 1) <= n)
        ++r;
    return r;
}

// floor(sqrt(n)) for n < 2^52, without a branch or a 64-bit conversion instruction (so that it vectorises
// on 256-bit units): n and the root pass through doubles by their bit patterns (exact below 2^52; adding
// 2^52 rounds the root to the nearest integer), which is the floor or one above; the corrections settle it.
inline uint64_t rootBelow52(uint64_t n) {
    constexpr uint64_t kExponent = 0x4330000000000000;  // 2^52 as a double's bits
    constexpr double kTwo52 = 4503599627370496.0;
    const double x = std::bit_cast<double>(n | kExponent) - kTwo52;
    uint64_t r = std::bit_cast<uint64_t>(std::sqrt(x) + kTwo52) ^ kExponent;
    r -= uint64_t(r * r > n);
    r += uint64_t((r + 1) * (r + 1) <= n);
    return r;
}

template <int32_t R, int32_t O, class Mem>
struct Engine {
    const FastPlan& p;
    const StoredIntData& d;
    // Per plane and slot, a bound of the magnitudes of the gradient products written there.
    uint64_t largest[3][64] = {};

    static uint64_t ceilPow2(uint64_t orOfMagnitudes) {
        return orOfMagnitudes == 0 ? 0 : uint64_t(1) << (64 - __builtin_clzll(orOfMagnitudes));
    }

    // Gradient products of padded column q into slot s of the three planes.
    void gradients(int32_t q, int32_t s) {
        const int32_t M = d.M, Rp = d.M + d.L - 1;
        const int64_t S1 = int64_t(d.L) * Rp;
        const StepConst first = p.gradFirst, product = p.gradProduct;
        const AddConst sub = p.gradSub;
        Mem* p0 = static_cast<Mem*>(d.pad) + int64_t(s) * Rp;
        Mem* p1 = p0 + S1;
        Mem* p2 = p1 + S1;
        int64_t l[kChunk], r[kChunk], u[kChunk], dn[kChunk];
        uint64_t m0 = 0, m1 = 0, m2 = 0;
        for (int32_t i0 = 0; i0 < Rp; i0 += kChunk) {
            const int32_t count = Rp - i0 < kChunk ? Rp - i0 : kChunk;
            loadGradientInputs(p, d.image, M, d.colPad[q], d.rowPad, i0, count, l, r, u, dn);
            for (int32_t j = 0; j < count; ++j) {
                const int64_t gx = subStep<R, O>(sub, quantStep<R, O>(first, l[j]), r[j]);
                const int64_t gy = subStep<R, O>(sub, quantStep<R, O>(first, u[j]), dn[j]);
                const int64_t a = quantStep<R, O>(product, gx * gx);
                const int64_t b = quantStep<R, O>(product, gy * gy);
                const int64_t c = quantStep<R, O>(product, gx * gy);
                p0[i0 + j] = Mem(a);
                p1[i0 + j] = Mem(b);
                p2[i0 + j] = Mem(c);
                // One's complement magnitudes: |v|, or |v| - 1 for negative v.
                m0 = m0 | uint64_t(a ^ (a >> 63));
                m1 = m1 | uint64_t(b ^ (b >> 63));
                m2 = m2 | uint64_t(c ^ (c >> 63));
            }
        }
        // Every |v| is at most the power of two above the OR of those magnitudes.
        largest[0][s] = ceilPow2(m0);
        largest[1][s] = ceilPow2(m1);
        largest[2][s] = ceilPow2(m2);
    }

    // One filter product into "Product output". Clean: it cannot leave its word, and the coefficients fit
    // 32 bits (so that 32-bit memory words multiply as 32 x 32 bits).
    template <bool Clean>
    [[gnu::always_inline]] static int64_t tapProduct(const StepConst& product, Mem x, int64_t w) {
        if constexpr (Clean && sizeof(Mem) <= 4)
            return quantStep<R, kInRange>(product, int64_t(int32_t(x)) * int64_t(int32_t(w)));
        else if constexpr (Clean)
            return quantStep<R, kInRange>(product, int64_t(x) * w);
        else
            return quantStep<R, O>(product, int64_t(x) * w);
    }

    // dst[j] = sum over taps t of src[t * stride + j] * w[t] for j < count <= kChunk, each product and
    // partial sum quantised, the sum into "Memory"; each tap is a whole line of products added into a line
    // of sums, so that every line loop vectorises. Clean: no step can leave its word (tapBound) and the
    // sums lie on the products' grid, so they are plain additions.
    template <bool Clean>
    [[gnu::always_inline]] void tapBlock(const Mem* src, int64_t stride, const int64_t* w, Mem* dst,
                                         int32_t count) const {
        const StepConst product = p.tapProduct, out = p.tapOut;
        const AddConst sum = p.tapSum;
        int64_t acc[kChunk];
        for (int32_t j = 0; j < count; ++j)
            acc[j] = 0;
        for (int32_t t = 0; t < p.L; ++t) {
            const Mem* x = src + t * stride;
            const int64_t wt = w[t];
            if constexpr (Clean) {
                for (int32_t j = 0; j < count; ++j)
                    acc[j] += tapProduct<true>(product, x[j], wt);
            } else {
                for (int32_t j = 0; j < count; ++j)
                    acc[j] = addStep<R, O>(sum, acc[j], tapProduct<false>(product, x[j], wt));
            }
        }
        constexpr int32_t kOutOverflow = Clean ? kInRange : O;
        for (int32_t j = 0; j < count; ++j)
            dst[j] = Mem(quantStep<R, kOutOverflow>(out, acc[j]));
    }

    // Rows [from, to) of the pass; in place (the vertical pass) block m reads rows m .. m + kChunk + L - 2,
    // which only later blocks write.
    template <bool Clean>
    void pass(const Mem* src, int64_t stride, const int64_t* w, Mem* dst, int32_t from, int32_t to) const {
        for (int32_t i = from; i < to; i += kChunk)
            tapBlock<Clean>(src + i, stride, w, dst + i, to - i < kChunk ? to - i : kChunk);
    }

    // Horizontal pass over rows [from, to) into slot n, then the vertical pass in place in slot n. Each
    // pass without saturation or wrap when its inputs' bound shows it cannot overflow.
    void filter(int32_t plane, int32_t s, int32_t n, int32_t from, int32_t to, int32_t vRows) const {
        const int32_t L = p.L, Rp = d.M + L - 1;
        Mem* base = static_cast<Mem*>(d.pad) + plane * int64_t(L) * Rp;
        Mem* col = base + int64_t(n) * Rp;
        const int64_t* hw = p.W + (L - 1 - s);
        uint64_t in = 0, mid = 0, unused = 0;
        for (int32_t t = 0; t < L; ++t)
            in = in > largest[plane][t] ? in : largest[plane][t];
        const bool cleanH = from < to && tapBound(p, in, hw, &mid);
        if (cleanH)
            pass<true>(base, Rp, hw, col, from, to);
        else
            pass<false>(base, Rp, hw, col, from, to);
        // Rows upward; the inputs are the horizontal pass's results, bounded by mid when that pass was clean.
        if (cleanH && tapBound(p, mid, p.W, &unused))
            pass<true>(col, 1, p.W, col, 0, vRows);
        else
            pass<false>(col, 1, p.W, col, 0, vRows);
    }

    void harris(const Mem* A, const Mem* B, const Mem* D, int64_t* out, int32_t count) const {
        const AddConst sum = p.sum, minusDd = p.minusDd, minusKt = p.minusKt;
        const StepConst square = p.square, toMemory = p.squareToMemory, timesK = p.timesK, ab = p.ab,
                        dd = p.dd, output = p.output;
        const int64_t k = p.k;
        for (int32_t j = 0; j < count; ++j) {
            const int64_t a = A[j], b = B[j], dv = D[j];
            const int64_t s = addStep<R, O>(sum, a, b);
            int64_t kt = quantStep<R, O>(toMemory, quantStep<R, O>(square, s * s));
            kt = quantStep<R, O>(timesK, kt * k);
            int64_t t = quantStep<R, O>(ab, a * b);
            t = subStep<R, O>(minusDd, t, quantStep<R, O>(dd, dv * dv));
            t = subStep<R, O>(minusKt, t, kt);
            out[j] = quantStep<R, O>(output, t);
        }
    }

    // In three loops, so that all but the root's vectorise.
    void minEigen(const Mem* A, const Mem* B, const Mem* D, int64_t* out, int32_t count) const {
        const AddConst diff = p.diff, radicand = p.radicand, sum = p.sum, minusRoot = p.minusRoot;
        const StepConst square = p.square, toMemory = p.squareToMemory, dd = p.dd, times4 = p.times4,
                        rootQuant = p.rootQuant, rootToMemory = p.rootToMemory, output = p.output;
        const int32_t shift = p.rootShift;
        int64_t rad[kChunk], total[kChunk];
        for (int32_t j = 0; j < count; ++j) {
            const int64_t a = A[j], b = B[j], dv = D[j];
            const int64_t df = subStep<R, O>(diff, a, b);
            const int64_t sq = quantStep<R, O>(toMemory, quantStep<R, O>(square, df * df));
            int64_t t = quantStep<R, O>(dd, dv * dv);
            t = quantStep<R, O>(times4, t * 4);
            rad[j] = addStep<R, O>(radicand, t, sq);
            total[j] = addStep<R, O>(sum, a, b);
        }
        if (p.rootBelow52) {
            const int32_t up = shift > 0 ? shift : 0, down = shift < 0 ? -shift : 0;
            const uint64_t dropped = (uint64_t(1) << down) - 1;
            for (int32_t j = 0; j < count; ++j) {
                const uint64_t t = rad[j] > 0 ? uint64_t(rad[j]) : 0;
                const uint64_t n = (t << up) >> down;
                const uint64_t r = rootBelow52(n);
                const int64_t inexact = ((t & dropped) != 0) | (r * r != n);
                const int64_t root = quantStep<R, O>(rootQuant, int64_t(2 * r) + inexact);
                rad[j] = t != 0 ? root : 0;
            }
        } else {
            rootsAnySize(rad, count);
        }
        for (int32_t j = 0; j < count; ++j)
            out[j] = quantStep<R, O>(
                output, subStep<R, O>(minusRoot, total[j], quantStep<R, O>(rootToMemory, rad[j])));
    }

    // The roots of radicands up to 2^62, one at a time.
    void rootsAnySize(int64_t* rad, int32_t count) const {
        const StepConst rootQuant = p.rootQuant;
        const int32_t shift = p.rootShift;
        for (int32_t j = 0; j < count; ++j) {
            const int64_t t = rad[j];
            int64_t root = 0;
            if (t > 0) {
                uint64_t n = uint64_t(t);
                bool sticky = false;
                if (shift >= 0) {
                    n <<= shift;
                } else {
                    sticky = (n & ((uint64_t(1) << -shift) - 1)) != 0;
                    n >>= -shift;
                }
                const uint64_t r = rootFloor(n);
                const bool inexact = sticky || r * r != n;
                root = quantStep<R, O>(rootQuant, int64_t(2 * r + (inexact ? 1 : 0)));
            }
            rad[j] = root;
        }
    }

    void run() {
        const int32_t M = d.M, L = d.L, Rp = M + L - 1;
        const int64_t S1 = int64_t(L) * Rp;
        Mem* pad = static_cast<Mem*>(d.pad);
        int64_t metric[kChunk];
        int32_t s = 0;
        int64_t o = 0;
        for (int32_t pass = 0; pass < 2; ++pass) {
            const int32_t qFrom = d.colRange[2 * pass], qTo = d.colRange[2 * pass + 1];
            const int32_t hFrom = d.rowRange[3 * pass], hTo = d.rowRange[3 * pass + 2];
            const int32_t vRows = d.rowRange[3 * pass + 2] - d.rowRange[3 * pass + 1];
            for (int32_t q = qFrom; q < qTo; ++q) {
                const int32_t n = d.next[s];
                gradients(q, s);
                for (int32_t plane = 0; plane < 3; ++plane)
                    filter(plane, s, n, hFrom, hTo, vRows);
                const Mem* A = pad + int64_t(n) * Rp;
                for (int32_t m = 0; m < vRows; m += kChunk) {
                    const int32_t count = vRows - m < kChunk ? vRows - m : kChunk;
                    if (p.harris)
                        harris(A + m, A + S1 + m, A + 2 * S1 + m, metric, count);
                    else
                        minEigen(A + m, A + S1 + m, A + 2 * S1 + m, metric, count);
                    storeMetric(p.outBytes, d.out, o, metric, count);
                    o += count;
                }
                s = n;
            }
        }
    }
};

template <int32_t R, int32_t O>
void runWithModes(const FastPlan& p, const StoredIntData& d) {
    // The plan keeps "Memory" within 32 bits: the exact square of a wider word does not fit int64.
    if (p.memoryBytes == 2)
        Engine<R, O, int16_t>{p, d}.run();
    else
        Engine<R, O, int32_t>{p, d}.run();
}

template <int32_t R>
void runWithRounding(const FastPlan& p, const StoredIntData& d) {
    if (p.overflow == VekDSPFixpt::kOverflowSaturate)
        runWithModes<R, VekDSPFixpt::kOverflowSaturate>(p, d);
    else
        runWithModes<R, VekDSPFixpt::kOverflowWrap>(p, d);
}

inline void runFast(const FastPlan& p, const StoredIntData& d) {
    using namespace VekDSPFixpt;
    switch (p.rounding) {
        case kRoundZero:
            return runWithRounding<kRoundZero>(p, d);
        case kRoundNearest:
            return runWithRounding<kRoundNearest>(p, d);
        case kRoundCeiling:
            return runWithRounding<kRoundCeiling>(p, d);
        case kRoundRound:
            return runWithRounding<kRoundRound>(p, d);
        case kRoundConvergent:
            return runWithRounding<kRoundConvergent>(p, d);
        default:
            return runWithRounding<kRoundFloor>(p, d);
    }
}

}  // namespace
}  // namespace quobit::storedint
