// The local intensity comparison kernel: one template for the control flow (band, a screen of the pixels
// that cannot pass, bright test, dark test, arc search, arc and rest-of-circle sums, output rule) over
// an arithmetic policy that owns the numbers:
// - FloatComparisonArith<T>: double or single images, every step rounded to T;
// - StoredComparisonArith<C, ExactSums>: fixed-point and integer images on their stored integers, each
//   sum step quantised as the fixed-point library quantises it (or, when no step can round or overflow,
//   plain integer sums);
// - ObjectComparisonArith<N>: number objects of the fixed-point library (the path that logs).
// A step allocates nothing; the policies point into memory the caller owns.
#pragma once

#include <cstdint>
#include <cstring>
#include <type_traits>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "quobit/comparisonsearch.h"
#include "vekfixpt.h"

namespace quobit {

// The sizes and tables of one call.
struct ComparisonShape {
    int32_t rows = 0, cols = 0;
    const int32_t* circle = nullptr;  // 32 offsets
    const int32_t* step = nullptr;    // kSearchPasses entries
    const int32_t* offset = nullptr;  // kSearchPasses entries
    int32_t arcLimit = 9;             // A
    const ArcTable* arcs = nullptr;   // optional: the searches of this limit and schedule, precomputed
};

// The search of one test, from the table when it matches the call (checked once per call).
[[gnu::always_inline]] inline ArcVerdict searchOf(const ComparisonShape& s, uint32_t pattern, int32_t* lo,
                                                  int32_t* hi) {
    if (s.arcs) return s.arcs->lookup(pattern, lo, hi);
    return searchArc(pattern, s.arcLimit, s.step, s.offset, lo, hi);
}

// Sums one test's arc and the rest of the circle, then writes the output. `arcBright` says which test
// this is: its arc feeds `brightness` (else `darkness`).
template <class Arith>
[[gnu::always_inline]] inline void sumAndStore(Arith& a, uint32_t bright, uint32_t dark, int32_t lo,
                                               int32_t hi, bool arcBright) {
    a.resetSums();
    for (int32_t j = lo; j <= hi; ++j) {
        if (arcBright)
            a.brightTerm(j);
        else
            a.darkTerm(j);
    }
    int32_t from, to;
    restOfCircle(lo, hi, &from, &to);
    for (int32_t j = from; j <= to; ++j) {
        const uint32_t bit = 1u << (j & (kCircleLength - 1));
        if (bright & bit)
            a.brightTerm(j);
        else if (dark & bit)
            a.darkTerm(j);
    }
    a.storeLarger(arcBright);
}

// One visited pixel whose tests may start: the bright test, then the dark test, each replacing the output
// when its arc is accepted.
template <class Arith>
[[gnu::always_inline]] inline void comparisonPixel(Arith& a, int32_t idx, const ComparisonShape& s) {
    a.beginPixel(idx);
    uint32_t bright, dark;
    a.gather(s.circle, &bright, &dark);
    int32_t lo, hi;
    if (searchOf(s, bright, &lo, &hi) == ArcVerdict::Accepted) sumAndStore(a, bright, dark, lo, hi, true);
    if (searchOf(s, dark, &lo, &hi) == ArcVerdict::Accepted) sumAndStore(a, bright, dark, lo, hi, false);
}

// Pixels are screened a run of up to 64 rows at a time: the policy says in one bit per pixel where
// either test may be accepted (comparisonscreen.h); only those pixels run the tests, the others keep 0.
inline constexpr int32_t kScreenRun = 64;

template <class Arith>
void comparisonMetricRun(Arith& a, const ComparisonShape& shape) {
    ComparisonShape s = shape;
    if (s.arcs && !s.arcs->matches(s.arcLimit, s.step, s.offset)) s.arcs = nullptr;
    const ArcScreen screen = s.arcs ? s.arcs->screen() : ArcScreen{};
    a.clearOutput(int64_t(s.rows) * s.cols);
    const int32_t rowEnd = s.rows - kCircleRadius;
    for (int32_t c = kCircleRadius; c < s.cols - kCircleRadius; ++c) {
        const int32_t column = c * s.rows;
        for (int32_t r = kCircleRadius; r < rowEnd; r += kScreenRun) {
            const int32_t count = rowEnd - r < kScreenRun ? rowEnd - r : kScreenRun;
            uint64_t starts = a.startMask(column + r, count, s.circle, screen);
            if (starts == 0) continue;
            a.prepareRun(column + r, count, starts, s.circle);
            while (starts != 0) {
                const int32_t k = __builtin_ctzll(starts);
                starts &= starts - 1;
                comparisonPixel(a, column + r + k, s);
            }
        }
    }
}

// ---- Double and single images ------------------------------------------------------------------------

template <class T>
struct FloatComparisonLimits {
    T t, dtMin, dtMax, dtLow, dtHigh;
};

template <class T>
class FloatComparisonArith {
  public:
    FloatComparisonArith(const T* in, T* out, const FloatComparisonLimits<T>& lim)
        : in_(in), out_(out), l_(lim) {}

    void clearOutput(int64_t count) { std::memset(out_, 0, size_t(count) * sizeof(T)); }
    [[gnu::always_inline]] void beginPixel(int32_t idx) {
        idx_ = idx;
        const T p = in_[idx];
        valLow_ = p <= l_.dtLow ? l_.dtMin : T(p - l_.t);
        valHigh_ = p >= l_.dtHigh ? l_.dtMax : T(l_.t + p);
    }
    void prepareRun(int32_t, int32_t, uint64_t, const int32_t*) {}
    // Bit k: pixel idx + k may start a test (position 0 or 8 brighter or darker). The compass screen of
    // the integer images measured slower here.
    uint64_t startMask(int32_t idx, int32_t count, const int32_t* circle, const ArcScreen&) const {
        uint64_t m = 0;
        const T* p = in_ + idx;
        const int32_t off0 = circle[0], off8 = circle[8];
        for (int32_t k = 0; k < count; ++k) {
            const T v = p[k];
            const T low = v <= l_.dtLow ? l_.dtMin : T(v - l_.t);
            const T high = v >= l_.dtHigh ? l_.dtMax : T(l_.t + v);
            const T q0 = p[k + off0], q8 = p[k + off8];
            const bool any = (q0 > high) | (q8 > high) | (q0 < low) | (q8 < low);
            m |= uint64_t(any) << k;
        }
        return m;
    }
    [[gnu::always_inline]] void gather(const int32_t* circle, uint32_t* bright, uint32_t* dark) {
        uint32_t b = 0, d = 0;
        for (int32_t i = 0; i < kCircleLength; ++i) {
            const T q = in_[idx_ + circle[i]];
            q_[i] = q;
            b |= uint32_t(q > valHigh_) << i;
            d |= uint32_t(q < valLow_) << i;
        }
        *bright = b;
        *dark = d;
    }
    void resetSums() { brightness_ = darkness_ = T(0); }
    [[gnu::always_inline]] void brightTerm(int32_t j) {
        brightness_ = T(brightness_ + q_[j & (kCircleLength - 1)]);
        brightness_ = T(brightness_ - valHigh_);
    }
    [[gnu::always_inline]] void darkTerm(int32_t j) {
        darkness_ = T(darkness_ + valLow_);
        darkness_ = T(darkness_ - q_[j & (kCircleLength - 1)]);
    }
    void storeLarger(bool brightTest) {
        const bool takeDark = brightTest ? brightness_ < darkness_ : brightness_ <= darkness_;
        out_[idx_] = takeDark ? darkness_ : brightness_;
    }

  private:
    const T* in_;
    T* out_;
    FloatComparisonLimits<T> l_;
    int32_t idx_ = 0;
    T valLow_ = 0, valHigh_ = 0, brightness_ = 0, darkness_ = 0;
    T q_[kCircleLength] = {};
};

// ---- Fixed-point and integer images on stored integers ---------------------------------------------------

using VekDSPFixpt::i128;
using VekDSPFixpt::detail::QuantDest;

// Everything the stored-integer path needs: the three quantisation targets and the limits as stored
// integers of the image type.
struct StoredComparisonPlan {
    QuantDest image, accum, output;
    int64_t t = 0, dtMin = 0, dtMax = 0, dtLow = 0, dtHigh = 0;
    int32_t outputBytes = 1;
    // Whether every partial sum is exact in the accumulator (no rounding, no overflow): then the sums are
    // kept in image units and only the output store quantises.
    bool exactSums = false;
    // Unsigned 8-bit words whose limits are the word's range (DTMIN 0, DTMAX 255, DTLOW t, DTHIGH 255 - t):
    // the screen runs on whole vectors of bytes (comparisonscreen.h).
    bool byteScreen = false;
    // The byte screen on 32-byte vectors (when the processor has them).
    bool wideScreen = false;
};

// Whether the stored-integer path computes exactly what the number objects compute: fixed-point words of
// at most 64 bits held in int64, and sum alignments the 128-bit path covers.
inline bool storedPathApplies(const QuantDest& image, const QuantDest& accum, const QuantDest& output) {
    const auto ok = [](const QuantDest& d) { return d.isFast() && d.fits64; };
    if (!ok(image) || !ok(accum) || !ok(output)) return false;
    const int32_t d = accum.type.fracLength - image.type.fracLength;
    return d <= 60 && d >= -60;
}

// Whether no sum step can round or overflow: the accumulator's grid holds the image's and its range holds
// 16 differences of image values plus one more image value, shifted onto its grid.
inline bool sumsAreExact(const QuantDest& image, const QuantDest& accum) {
    const int32_t d = accum.type.fracLength - image.type.fracLength;
    if (d < 0 || d > 60) return false;
    const i128 span = image.hi - image.lo;
    const i128 top = image.hi > -image.lo ? image.hi : -image.lo;
    const i128 bound = 16 * span + top;
    if (bound > (i128(1) << (120 - d))) return false;
    const i128 scaled = bound << d;
    return scaled <= accum.hi && -scaled >= accum.lo;
}

// Whether the byte screen of StoredComparisonArith may replace the general one.
inline bool byteScreenApplies(const StoredComparisonPlan& p) {
    const auto& t = p.image.type;
    return !t.isSigned && t.wordLength == 8 && p.t >= 0 && p.t <= 255 && p.dtMin == 0 && p.dtMax == 255 &&
           p.dtLow == p.t && p.dtHigh == 255 - p.t;
}

template <class C, bool ExactSums>
class StoredComparisonArith {
  public:
    StoredComparisonArith(const C* in, void* out, const StoredComparisonPlan& plan)
        : in_(in), out_(static_cast<unsigned char*>(out)), p_(plan) {
        shift_ = p_.accum.type.fracLength - p_.image.type.fracLength;
    }

    void clearOutput(int64_t count) { std::memset(out_, 0, size_t(count) * size_t(p_.outputBytes)); }
    [[gnu::always_inline]] void beginPixel(int32_t idx) {
        idx_ = idx;
        const int64_t p = int64_t(in_[idx]);
        valLow_ = p <= p_.dtLow ? p_.dtMin : fitImage(p - p_.t);
        valHigh_ = p >= p_.dtHigh ? p_.dtMax : fitImage(p_.t + p);
    }
    uint64_t startMask(int32_t idx, int32_t count, const int32_t* circle, const ArcScreen& screen) const {
        if constexpr (std::is_same_v<C, uint8_t>) {
            if (p_.byteScreen) return byteStartMask(idx, count, circle, screen);
        }
        uint64_t m = 0;
        const C* p = in_ + idx;
        const int32_t o0 = circle[0], o4 = circle[4], o8 = circle[8], o12 = circle[12];
        for (int32_t k = 0; k < count; ++k) {
            const int64_t v = int64_t(p[k]);
            const int64_t low = v <= p_.dtLow ? p_.dtMin : fitImage(v - p_.t);
            const int64_t high = v >= p_.dtHigh ? p_.dtMax : fitImage(p_.t + v);
            const int64_t q0 = int64_t(p[k + o0]), q4 = int64_t(p[k + o4]);
            const int64_t q8 = int64_t(p[k + o8]), q12 = int64_t(p[k + o12]);
            const uint32_t b = uint32_t(q0 > high) | uint32_t(q4 > high) << 4 | uint32_t(q8 > high) << 8 |
                               uint32_t(q12 > high) << 12;
            const uint32_t d = uint32_t(q0 < low) | uint32_t(q4 < low) << 4 | uint32_t(q8 < low) << 8 |
                               uint32_t(q12 < low) << 12;
            m |= uint64_t(screen.admits(b, d)) << k;
        }
        return m;
    }
    // Before the pixels of a run: the byte path compares whole 16-pixel blocks with the circle at once.
    void prepareRun(int32_t idx, int32_t count, uint64_t starts, const int32_t* circle) {
        circle_ = circle;
        if constexpr (std::is_same_v<C, uint8_t>) {
            if (p_.byteScreen) byteRunMasks(idx, count, starts);
        }
    }
    [[gnu::always_inline]] void gather(const int32_t* circle, uint32_t* bright, uint32_t* dark) {
        circle_ = circle;
        if constexpr (std::is_same_v<C, uint8_t>) {
            if (p_.byteScreen) {
                const int32_t k = idx_ - runIdx_;
                if ((runMasked_ >> (k >> 4)) & 1u) {
                    *bright = runBright_[k];
                    *dark = runDark_[k];
                    return;
                }
            }
        }
        uint32_t b = 0, d = 0;
        for (int32_t i = 0; i < kCircleLength; ++i) {
            const int64_t q = int64_t(in_[idx_ + circle[i]]);
            b |= uint32_t(q > valHigh_) << i;
            d |= uint32_t(q < valLow_) << i;
        }
        *bright = b;
        *dark = d;
    }
    void resetSums() { brightness_ = darkness_ = 0; }
    [[gnu::always_inline]] void brightTerm(int32_t j) {
        const int64_t q = int64_t(in_[idx_ + circle_[j]]);
        if constexpr (ExactSums) {
            brightness_ += q - valHigh_;
        } else {
            brightness_ = addImage(brightness_, q, false);
            brightness_ = addImage(brightness_, valHigh_, true);
        }
    }
    [[gnu::always_inline]] void darkTerm(int32_t j) {
        const int64_t q = int64_t(in_[idx_ + circle_[j]]);
        if constexpr (ExactSums) {
            darkness_ += valLow_ - q;
        } else {
            darkness_ = addImage(darkness_, valLow_, false);
            darkness_ = addImage(darkness_, q, true);
        }
    }
    void storeLarger(bool brightTest) {
        const bool takeDark = brightTest ? brightness_ < darkness_ : brightness_ <= darkness_;
        const int64_t sum = takeDark ? darkness_ : brightness_;
        // Exact sums are in image units, the others on the accumulator's grid.
        const int32_t e = ExactSums ? -p_.image.type.fracLength : -p_.accum.type.fracLength;
        const int64_t bits = int64_t(VekDSPFixpt::detail::quantiseFast<i128>(i128(sum), e, p_.output).bits);
        unsigned char* dst = out_ + size_t(idx_) * size_t(p_.outputBytes);
        switch (p_.outputBytes) {
            case 1: {
                const uint8_t v = uint8_t(bits);
                std::memcpy(dst, &v, 1);
                break;
            }
            case 2: {
                const uint16_t v = uint16_t(bits);
                std::memcpy(dst, &v, 2);
                break;
            }
            case 4: {
                const uint32_t v = uint32_t(bits);
                std::memcpy(dst, &v, 4);
                break;
            }
            default:
                std::memcpy(dst, &bits, 8);
                break;
        }
    }

  private:
    // 8-bit words whose limits are the word's range: whole vectors where the run has one, else one pixel
    // at a time.
    uint64_t byteStartMask(int32_t idx, int32_t count, const int32_t* circle, const ArcScreen& screen) const {
        const uint8_t* p = reinterpret_cast<const uint8_t*>(in_) + idx;
        uint64_t m = 0;
#if defined(QUOBIT_WIDE_BYTE_SCREEN)
        if (p_.wideScreen && count >= avx2::ByteScreen::kWidth)
            return avx2::screenRun(p, count, uint8_t(p_.t), circle, screen);
#endif
#if defined(__SSE2__)
        if (count >= sse2::ByteScreen::kWidth)
            return sse2::screenRun(p, count, uint8_t(p_.t), circle, screen);
#endif
        const int32_t tt = int32_t(p_.t);
        const int32_t o0 = circle[0], o4 = circle[4], o8 = circle[8], o12 = circle[12];
        for (int32_t k = 0; k < count; ++k) {
            const int32_t v = p[k], high = v + tt > 255 ? 255 : v + tt, low = v - tt < 0 ? 0 : v - tt;
            const int32_t q0 = p[k + o0], q4 = p[k + o4], q8 = p[k + o8], q12 = p[k + o12];
            const uint32_t b = uint32_t(q0 > high) | uint32_t(q4 > high) << 4 | uint32_t(q8 > high) << 8 |
                               uint32_t(q12 > high) << 12;
            const uint32_t d = uint32_t(q0 < low) | uint32_t(q4 < low) << 4 | uint32_t(q8 < low) << 8 |
                               uint32_t(q12 < low) << 12;
            m |= uint64_t(screen.admits(b, d)) << k;
        }
        return m;
    }
#if defined(__SSE2__)
    // Columns of a 16x16 byte matrix (rows x[0..15]) as 16-bit masks: mask[k] bit i = top bit of x[i] byte k.
    static void transposedMasks(__m128i* x, uint16_t* mask) {
        __m128i a[16], b[16], c[16];
        for (int32_t j = 0; j < 8; ++j) {
            a[2 * j] = _mm_unpacklo_epi8(x[2 * j], x[2 * j + 1]);
            a[2 * j + 1] = _mm_unpackhi_epi8(x[2 * j], x[2 * j + 1]);
        }
        for (int32_t g = 0; g < 4; ++g) {  // rows 4g..4g+3
            __m128i* ag = a + 4 * g;
            b[4 * g] = _mm_unpacklo_epi16(ag[0], ag[2]);
            b[4 * g + 1] = _mm_unpackhi_epi16(ag[0], ag[2]);
            b[4 * g + 2] = _mm_unpacklo_epi16(ag[1], ag[3]);
            b[4 * g + 3] = _mm_unpackhi_epi16(ag[1], ag[3]);
        }
        for (int32_t h = 0; h < 2; ++h) {  // rows 8h..8h+7
            __m128i* bh = b + 8 * h;
            for (int32_t m = 0; m < 4; ++m) {
                c[8 * h + 2 * m] = _mm_unpacklo_epi32(bh[m], bh[m + 4]);
                c[8 * h + 2 * m + 1] = _mm_unpackhi_epi32(bh[m], bh[m + 4]);
            }
        }
        for (int32_t m = 0; m < 8; ++m) {
            mask[2 * m] = uint16_t(_mm_movemask_epi8(_mm_unpacklo_epi64(c[m], c[m + 8])));
            mask[2 * m + 1] = uint16_t(_mm_movemask_epi8(_mm_unpackhi_epi64(c[m], c[m + 8])));
        }
    }
#endif
    // The patterns of every full 16-pixel block of the run that holds several starting pixels (one bit per
    // block in runMasked_); the other pixels take the general gather, which is cheaper for one or two.
    void byteRunMasks(int32_t idx, int32_t count, uint64_t starts) {
        runIdx_ = idx;
        runMasked_ = 0;
#if defined(__SSE2__)
        const uint8_t* p = reinterpret_cast<const uint8_t*>(in_) + idx;
        const __m128i t = _mm_set1_epi8(char(uint8_t(p_.t)));
        const __m128i zero = _mm_setzero_si128(), ones = _mm_set1_epi8(char(0xFF));
        for (int32_t k = 0; k + 16 <= count; k += 16) {
            if (__builtin_popcount(uint32_t(starts >> k) & 0xFFFFu) < kMinBlockStarts) continue;
            runMasked_ |= 1u << (k >> 4);
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k));
            const __m128i high = _mm_adds_epu8(v, t), low = _mm_subs_epu8(v, t);
            __m128i bright[16], dark[16];
            for (int32_t i = 0; i < kCircleLength; ++i) {
                const __m128i q = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k + circle_[i]));
                bright[i] = _mm_xor_si128(_mm_cmpeq_epi8(_mm_subs_epu8(q, high), zero), ones);
                dark[i] = _mm_xor_si128(_mm_cmpeq_epi8(_mm_subs_epu8(low, q), zero), ones);
            }
            transposedMasks(bright, runBright_ + k);
            transposedMasks(dark, runDark_ + k);
        }
#else
        (void)idx, (void)count, (void)starts;
#endif
    }
    // A difference of two image values put back into the image's word (same grid: only the range).
    int64_t fitImage(int64_t v) const {
        if (v > p_.image.hi64 || v < p_.image.lo64) [[unlikely]]
            return int64_t(VekDSPFixpt::detail::overflowed(v < 0, VekDSPFixpt::u128(i128(v)), p_.image.type,
                                                           p_.image.overflow)
                               .bits);
        return v;
    }
    // acc +- v (an image value), the exact result quantised into the accumulator.
    int64_t addImage(int64_t acc, int64_t v, bool subtract) const {
        i128 m;
        int32_t e;
        if (shift_ >= 0) {
            const i128 b = i128(v) << shift_;
            m = subtract ? i128(acc) - b : i128(acc) + b;
            e = -p_.accum.type.fracLength;
        } else {
            const i128 a = i128(acc) << -shift_;
            m = subtract ? a - v : a + v;
            e = -p_.image.type.fracLength;
        }
        return int64_t(VekDSPFixpt::detail::quantiseFast<i128>(m, e, p_.accum).bits);
    }

    const C* in_;
    unsigned char* out_;
    StoredComparisonPlan p_;
    int32_t shift_ = 0;  // accumulator fraction length minus image fraction length
    int32_t idx_ = 0;
    int64_t valLow_ = 0, valHigh_ = 0, brightness_ = 0, darkness_ = 0;
    const int32_t* circle_ = nullptr;
    // Byte path: the bright and dark patterns of the blocks of the run at runIdx_ flagged in runMasked_.
    static constexpr int32_t kMinBlockStarts = 3;
    int32_t runIdx_ = 0;
    uint32_t runMasked_ = 0;
    uint16_t runBright_[kScreenRun] = {}, runDark_[kScreenRun] = {};
};

// Calls f with a null pointer of the image's container type (the stored integers as the port holds them).
template <class F>
void withImageContainer(const QuantDest& image, F&& f) {
    const bool s = image.type.isSigned;
    switch (image.type.containerBytes) {
        case 1:
            return s ? f(static_cast<int8_t*>(nullptr)) : f(static_cast<uint8_t*>(nullptr));
        case 2:
            return s ? f(static_cast<int16_t*>(nullptr)) : f(static_cast<uint16_t*>(nullptr));
        case 4:
            return s ? f(static_cast<int32_t*>(nullptr)) : f(static_cast<uint32_t*>(nullptr));
        default:
            return f(static_cast<int64_t*>(nullptr));  // unsigned 64-bit words never take this path
    }
}

// Runs the stored-integer path; the plan must satisfy storedPathApplies.
inline void comparisonMetricStored(const void* in, void* out, const StoredComparisonPlan& plan,
                                   const ComparisonShape& shape) {
    withImageContainer(plan.image, [&](auto* tag) {
        using C = std::remove_pointer_t<decltype(tag)>;
        if (plan.exactSums) {
            StoredComparisonArith<C, true> a(static_cast<const C*>(in), out, plan);
            comparisonMetricRun(a, shape);
        } else {
            StoredComparisonArith<C, false> a(static_cast<const C*>(in), out, plan);
            comparisonMetricRun(a, shape);
        }
    });
}

// ---- Number objects --------------------------------------------------------------------------------------

// The objects of one kernel, all positioned by the policy: the input and output signals, the limits (one
// element each), the three comparison temporaries and the two sums.
template <class N>
struct ComparisonObjects {
    N *input, *output;
    N *t, *dtMin, *dtMax, *dtLow, *dtHigh;
    N *valLow, *valHigh, *valCur;
    N *brightness, *darkness;
};

template <class N>
class ObjectComparisonArith {
  public:
    explicit ObjectComparisonArith(const ComparisonObjects<N>& o) : o_(o) {}

    void clearOutput(int64_t count) {
        N& out = *o_.output;
        for (int64_t i = 0; i < count; ++i)
            out[int32_t(i)] = 0;
    }
    void beginPixel(int32_t idx) {
        idx_ = idx;
        N& p = *o_.valCur;
        p = (*o_.input)[idx];
        if (p <= (*o_.dtLow)[0]) {
            *o_.valLow = (*o_.dtMin)[0];
        } else {
            *o_.valLow = p;
            *o_.valLow -= (*o_.t)[0];
        }
        if (p >= (*o_.dtHigh)[0]) {
            *o_.valHigh = (*o_.dtMax)[0];
        } else {
            *o_.valHigh = (*o_.t)[0];
            *o_.valHigh += p;
        }
    }
    void prepareRun(int32_t, int32_t, uint64_t, const int32_t*) {}
    // The number objects keep the screen on positions 0 and 8: every pixel's limits are assigned (and so
    // recorded) here as before.
    uint64_t startMask(int32_t idx, int32_t count, const int32_t* circle, const ArcScreen&) {
        const int32_t off0 = circle[0], off8 = circle[8];
        uint64_t m = 0;
        for (int32_t k = 0; k < count; ++k) {
            beginPixel(idx + k);
            const bool any = brighter(off0) || brighter(off8) || darker(off0) || darker(off8);
            m |= uint64_t(any) << k;
        }
        return m;
    }
    bool brighter(int32_t off) const { return (*o_.input)[idx_ + off] > *o_.valHigh; }
    bool darker(int32_t off) const { return (*o_.input)[idx_ + off] < *o_.valLow; }
    void gather(const int32_t* circle, uint32_t* bright, uint32_t* dark) {
        circle_ = circle;
        uint32_t b = 0, d = 0;
        for (int32_t i = 0; i < kCircleLength; ++i) {
            b |= uint32_t(brighter(circle[i])) << i;
            d |= uint32_t(darker(circle[i])) << i;
        }
        *bright = b;
        *dark = d;
    }
    void resetSums() {
        *o_.brightness = 0;
        *o_.darkness = 0;
    }
    void brightTerm(int32_t j) {
        *o_.brightness += (*o_.input)[idx_ + circle_[j]];
        *o_.brightness -= *o_.valHigh;
    }
    void darkTerm(int32_t j) {
        *o_.darkness += *o_.valLow;
        *o_.darkness -= (*o_.input)[idx_ + circle_[j]];
    }
    void storeLarger(bool brightTest) {
        const bool takeDark = brightTest ? *o_.brightness < *o_.darkness : *o_.brightness <= *o_.darkness;
        (*o_.output)[idx_] = takeDark ? *o_.darkness : *o_.brightness;
    }

  private:
    ComparisonObjects<N> o_;
    const int32_t* circle_ = nullptr;
    int32_t idx_ = 0;
};

}  // namespace quobit

namespace quobit {

// Fills the stored-integer plan from the number objects of the fixed-point member; false when that path
// does not apply (an object logs, a type is floating, wider than 64 bits or unsigned 64-bit, or the
// input and limits do not share the comparison temporaries' type) and the objects must do the work.
inline bool makeStoredPlan(const ComparisonObjects<VekDSPFixpt::Fixpt>& o, StoredComparisonPlan* plan) {
    using VekDSPFixpt::Fixpt;
    const Fixpt* all[] = {o.input,  o.output, o.t,       o.dtMin,  o.dtMax,      o.dtLow,
                          o.dtHigh, o.valLow, o.valHigh, o.valCur, o.brightness, o.darkness};
    for (const Fixpt* x : all)
        if (x == nullptr || x->getLog() != nullptr) return false;
    const Fixpt& img = *o.valLow;
    for (const Fixpt* x : {o.input, o.t, o.dtMin, o.dtMax, o.dtLow, o.dtHigh, o.valHigh, o.valCur})
        if (!(x->getType() == img.getType()) || x->getOverflowCode() != img.getOverflowCode()) return false;
    if (!(o.darkness->getType() == o.brightness->getType())) return false;
    plan->image = QuantDest::make(img.getType(), img.getRoundingCode(), img.getOverflowCode());
    plan->accum = QuantDest::make(o.brightness->getType(), o.brightness->getRoundingCode(),
                                  o.brightness->getOverflowCode());
    plan->output =
        QuantDest::make(o.output->getType(), o.output->getRoundingCode(), o.output->getOverflowCode());
    if (!storedPathApplies(plan->image, plan->accum, plan->output)) return false;
    const auto stored = [](Fixpt* x) { return int64_t(i128((*x)[0].getStoredBits())); };
    plan->t = stored(o.t);
    plan->dtMin = stored(o.dtMin);
    plan->dtMax = stored(o.dtMax);
    plan->dtLow = stored(o.dtLow);
    plan->dtHigh = stored(o.dtHigh);
    plan->outputBytes = plan->output.type.containerBytes;
    plan->exactSums = sumsAreExact(plan->image, plan->accum);
    plan->byteScreen = byteScreenApplies(*plan);
    plan->wideScreen = wideByteScreenRuns();
    return true;
}

}  // namespace quobit
