// Value types and mode codes of the fixed-point number library.
//
// A fixed-point value is stored integer x 2^-fracLength. Word lengths run from 2 to 128 bits, signed or
// unsigned; the fraction length may be any integer within +-kMaxFracLengthMagnitude (negative lengths
// scale up). Stored integers live in containers of 1, 2, 4, 8 or 16 bytes, the smallest that holds the
// word, sign-extended (signed) or zero-extended (unsigned).
#pragma once

#include <cstdint>

#define VEKFIXPT_API __attribute__((visibility("default")))

namespace VekDSPFixpt {

using u128 = unsigned __int128;
using i128 = __int128;

// Rounding codes: how an exact result is brought onto the destination's grid.
enum RoundingCode : int32_t {
    kRoundZero = 0,        // toward zero
    kRoundNearest = 1,     // nearest, ties toward +infinity
    kRoundCeiling = 2,     // toward +infinity
    kRoundFloor = 3,       // toward -infinity
    kRoundSimplest = 4,    // floor, except that division truncates toward zero
    kRoundRound = 5,       // nearest, ties away from zero
    kRoundConvergent = 6,  // nearest, ties to even
};

// Overflow codes: what happens to a result outside the destination's range.
enum OverflowCode : int32_t {
    kOverflowWrap = 0,      // two's complement modulo 2^WL
    kOverflowSaturate = 1,  // the nearest end of the range
};

inline constexpr int32_t kMinWordLength = 2;
inline constexpr int32_t kMaxWordLength = 128;
// Exact intermediates are formed in a 2048-bit window; this bound on |fraction length| keeps every
// alignment of two operands inside it.
inline constexpr int32_t kMaxFracLengthMagnitude = 512;

enum class NumKind : uint8_t { Fixed, Double, Single };

// One value type: fixed point (signedness, word and fraction length) or a floating type. Scaled doubles
// are carried as Double.
struct NumType {
    NumKind kind = NumKind::Fixed;
    bool isSigned = true;
    int32_t wordLength = 16;
    int32_t fracLength = 0;
    int32_t containerBytes = 2;

    static constexpr int32_t containerFor(int32_t wordLength) {
        return wordLength <= 8 ? 1 : wordLength <= 16 ? 2 : wordLength <= 32 ? 4 : wordLength <= 64 ? 8 : 16;
    }
    static constexpr NumType fixed(bool isSigned, int32_t wordLength, int32_t fracLength) {
        return NumType{NumKind::Fixed, isSigned, wordLength, fracLength, containerFor(wordLength)};
    }
    static constexpr NumType doubleType() { return NumType{NumKind::Double, true, 64, 0, 8}; }
    static constexpr NumType singleType() { return NumType{NumKind::Single, true, 32, 0, 4}; }

    constexpr bool isFloating() const { return kind != NumKind::Fixed; }
    constexpr bool operator==(const NumType&) const = default;
};

// Flags of one quantisation, counted by the logging records.
enum QuantFlags : uint8_t { kQuantWrapped = 1, kQuantSaturated = 2, kQuantDivByZero = 4 };

}  // namespace VekDSPFixpt
