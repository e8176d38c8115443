// Which pixels can have an accepted arc, judged before the search from a few circle positions.
//
// The screen is derived from the search itself: the arc table runs the search on all 65,536 patterns and
// notes, for every accepted one, which of the compass positions 0, 4, 8 and 12 qualify (a 4-bit "compass
// nibble") and how many positions qualify, in all and among the odd ones. A pixel whose bright and dark
// patterns both have a nibble no accepted pattern has, or fewer qualifying positions than any accepted
// pattern, has no accepted test and keeps its 0, so it need not be visited. Nothing is assumed about the
// step and offset tables.
#pragma once

#include <cstdint>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#include <immintrin.h>
#endif

namespace quobit {

// Bits 0..3: positions 0, 4, 8 and 12 of a pattern.
[[gnu::always_inline]] inline uint32_t compassNibble(uint32_t pattern) {
    return (pattern & 1u) | ((pattern >> 3) & 2u) | ((pattern >> 6) & 4u) | ((pattern >> 9) & 8u);
}

struct ArcScreen {
    // Bit c: some accepted pattern has compass nibble c. Without a table only the search's first rule is
    // known (no test starts unless position 0 or 8 qualifies): the nibbles with bit 0 or bit 2.
    uint16_t nibbles = kStartNibbles;
    // The fewest qualifying positions of an accepted pattern, and the fewest among its odd positions
    // (0: not known).
    int32_t minCount = 0;
    int32_t minOdd = 0;

    static constexpr uint16_t kStartNibbles = 0xFAFA;  // c & 5 != 0
    // (0 or 8) and (4 or 12): at least one pair of neighbouring compass positions.
    static constexpr uint16_t kPairNibbles = 0xFAC8;
    static constexpr uint16_t kThreeNibbles = 0xE880;  // at least three of the four

    // Whether a pixel with these bright and dark patterns may have an accepted test.
    [[gnu::always_inline]] bool admits(uint32_t bright, uint32_t dark) const {
        return ((nibbles >> compassNibble(bright)) | (nibbles >> compassNibble(dark))) & 1u;
    }

    // The form the vector screen evaluates: the smallest of these sets that holds every admitted nibble.
    enum class Form : uint8_t { All, Start, Pairs, Three };
    Form form() const {
        if ((nibbles & ~kThreeNibbles) == 0) return Form::Three;
        if ((nibbles & ~kPairNibbles) == 0) return Form::Pairs;
        if ((nibbles & ~kStartNibbles) == 0) return Form::Start;
        return Form::All;
    }
};

// Collects the screen of a search from its accepted patterns.
class ArcScreenBuilder {
  public:
    void accept(uint32_t pattern) {
        nibbles_ |= uint16_t(1u << compassNibble(pattern));
        const int32_t n = __builtin_popcount(pattern & 0xFFFFu);
        const int32_t odd = __builtin_popcount(pattern & 0xAAAAu);
        if (n < minCount_) minCount_ = n;
        if (odd < minOdd_) minOdd_ = odd;
    }
    // With no accepted pattern at all nothing is admitted.
    ArcScreen screen() const { return {nibbles_, minCount_, minOdd_}; }

  private:
    uint16_t nibbles_ = 0;
    int32_t minCount_ = 17, minOdd_ = 9;
};

// The screen on whole vectors of 8-bit unsigned words whose limits are the word's range (valHigh and
// valLow are the saturating sum and difference): one body (comparisonbytescreen.inc) over the 16-byte
// vectors every x86-64 processor has and, with GCC, over 32-byte vectors for processors that have them.
#if defined(__SSE2__)
namespace sse2 {
struct Ops {
    using V = __m128i;
    static constexpr int32_t kWidth = 16;
    static V load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const V*>(p)); }
    static V splat(uint8_t x) { return _mm_set1_epi8(char(x)); }
    static V zero() { return _mm_setzero_si128(); }
    static V adds(V a, V b) { return _mm_adds_epu8(a, b); }
    static V subs(V a, V b) { return _mm_subs_epu8(a, b); }
    static V min(V a, V b) { return _mm_min_epu8(a, b); }
    static V max(V a, V b) { return _mm_max_epu8(a, b); }
    static V add(V a, V b) { return _mm_add_epi8(a, b); }
    static V isZero(V a) { return _mm_cmpeq_epi8(a, _mm_setzero_si128()); }
    static V greater(V a, V b) { return _mm_cmpgt_epi8(a, b); }
    static uint32_t bits(V a) { return uint32_t(_mm_movemask_epi8(a)); }
};
#include "quobit/comparisonbytescreen.inc"
}  // namespace sse2
#endif

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define QUOBIT_WIDE_BYTE_SCREEN 1
#pragma GCC push_options
#pragma GCC target("avx2")
namespace avx2 {
struct Ops {
    using V = __m256i;
    static constexpr int32_t kWidth = 32;
    static V load(const uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const V*>(p)); }
    static V splat(uint8_t x) { return _mm256_set1_epi8(char(x)); }
    static V zero() { return _mm256_setzero_si256(); }
    static V adds(V a, V b) { return _mm256_adds_epu8(a, b); }
    static V subs(V a, V b) { return _mm256_subs_epu8(a, b); }
    static V min(V a, V b) { return _mm256_min_epu8(a, b); }
    static V max(V a, V b) { return _mm256_max_epu8(a, b); }
    static V add(V a, V b) { return _mm256_add_epi8(a, b); }
    static V isZero(V a) { return _mm256_cmpeq_epi8(a, _mm256_setzero_si256()); }
    static V greater(V a, V b) { return _mm256_cmpgt_epi8(a, b); }
    static uint32_t bits(V a) { return uint32_t(_mm256_movemask_epi8(a)); }
};
#include "quobit/comparisonbytescreen.inc"
}  // namespace avx2
#pragma GCC pop_options

// Whether this processor runs the 32-byte screen (asked once).
inline bool wideByteScreenRuns() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}
#else
inline bool wideByteScreenRuns() {
    return false;
}
#endif

}  // namespace quobit
