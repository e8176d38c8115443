// Best-precision fraction length: the finest scaling at which a value still fits the word.
#include <cmath>

#include "vekdsp.h"

namespace VekSimCommon {

namespace {

// Whether value, scaled by 2^fracLength and rounded to nearest, is a stored integer of the word.
bool fits(double value, int32_t fracLength, int32_t wordLength, bool isSigned) {
    const double stored = std::round(std::ldexp(value, fracLength));
    const double lo = isSigned ? -std::ldexp(1.0, wordLength - 1) : 0.0;
    const double hiExclusive = std::ldexp(1.0, isSigned ? wordLength - 1 : wordLength);
    return stored >= lo && stored < hiExclusive;
}

}  // namespace

int32_t dspComputeBestPrecFracLength(double value, int32_t wordLength, int32_t isSigned) {
    const bool sign = isSigned != 0;
    if (wordLength <= 0 || !std::isfinite(value)) return 0;
    if (value == 0.0) return sign ? wordLength - 1 : wordLength;
    // No scaling makes a negative value unsigned; the magnitude decides the scaling instead.
    if (!sign && value < 0.0) value = -value;

    int exponent = 0;
    std::frexp(value, &exponent);  // |value| = m * 2^exponent, 0.5 <= m < 1
    // At this fraction length |value| * 2^fl lies in [2^(WL-2), 2^(WL-1)) (signed); one more bit can
    // still fit a negative power of two, rounding can push one bit out: search down from there.
    int32_t fracLength = (sign ? wordLength - 1 : wordLength) - exponent + 1;
    while (!fits(value, fracLength, wordLength, sign))
        --fracLength;
    return fracLength;
}

}  // namespace VekSimCommon
