// Quantisation of an exact value m x 2^e into a fixed-point destination: the single place where rounding
// and overflow are decided. Templated over the integer that holds m, so the 128-bit fast path (I128,
// defined here) and the library's 2048-bit exact path share the same decisions.
#pragma once

#include <cstdint>
#include <type_traits>

#include "vekfixpt_types.h"

namespace VekDSPFixpt::detail {

// Whether the floor of the exact value (kept part) must be raised by one unit, given the first dropped
// bit, the OR of all further dropped bits, the sign of the exact value and the kept part's last bit.
inline bool roundUp(int32_t rounding, bool isDivision, bool negative, bool firstDropped, bool restDropped,
                    bool keptLsb) {
    const bool inexact = firstDropped || restDropped;
    switch (rounding) {
        case kRoundZero:
            return negative && inexact;
        case kRoundNearest:
            return firstDropped;
        case kRoundCeiling:
            return inexact;
        case kRoundFloor:
            return false;
        case kRoundSimplest:
            return isDivision && negative && inexact;
        case kRoundRound:
            return firstDropped && (restDropped || !negative);
        case kRoundConvergent:
            return firstDropped && (restDropped || keptLsb);
        default:
            return false;
    }
}

// Destination of a quantisation: its type and modes. isDivision selects the division rule of the
// "simplest" rounding code.
struct QuantDest {
    NumType type;
    int32_t rounding = kRoundFloor;
    int32_t overflow = kOverflowSaturate;
    bool isDivision = false;
    i128 lo = 0, hi = 0;         // the word's range as stored integers, for words of at most 64 bits
    int64_t lo64 = 0, hi64 = 0;  // the same within int64
    bool fits64 = false;         // every stored integer fits int64 (not unsigned 64)
    bool neverRoundsUp = false;  // the rounding keeps the floor whatever is dropped (floor, simplest)

    static QuantDest make(const NumType& t, int32_t rounding, int32_t overflow, bool isDivision = false) {
        QuantDest d{t, rounding, overflow, isDivision};
        d.neverRoundsUp = true;
        for (int32_t c = 0; c < 16; ++c)
            if (roundUp(rounding, isDivision, c & 1, c & 2, c & 4, c & 8)) d.neverRoundsUp = false;
        if (t.kind == NumKind::Fixed && t.wordLength >= 1 && t.wordLength <= 64) {
            d.hi = t.isSigned ? (i128(1) << (t.wordLength - 1)) - 1 : (i128(1) << t.wordLength) - 1;
            d.lo = t.isSigned ? -(i128(1) << (t.wordLength - 1)) : 0;
            d.fits64 = t.isSigned || t.wordLength < 64;
            d.hi64 = d.hi > i128(INT64_MAX) ? INT64_MAX : int64_t(d.hi);
            d.lo64 = int64_t(d.lo);
        }
        return d;
    }
    bool isFast() const { return type.kind == NumKind::Fixed && type.wordLength <= 64; }
};

// A stored integer as 128 bits, sign-extended (signed types) or zero-extended (unsigned), and the flags of
// the quantisation that produced it.
struct Fit {
    u128 bits = 0;
    uint8_t flags = 0;
};

inline constexpr u128 wordMask(int32_t wl) {
    return wl >= 128 ? ~u128(0) : ((u128(1) << wl) - 1);
}

// Keeps the low wl bits and extends them to 128 bits by the type's signedness.
inline constexpr u128 extendWord(u128 bits, int32_t wl, bool isSigned) {
    const u128 mask = wordMask(wl);
    bits &= mask;
    if (isSigned && wl < 128 && ((bits >> (wl - 1)) & 1)) bits |= ~mask;
    return bits;
}

inline constexpr u128 maxStored(const NumType& t) {
    return t.isSigned ? (u128(1) << (t.wordLength - 1)) - 1 : wordMask(t.wordLength);
}
inline constexpr u128 minStored(const NumType& t) {
    return t.isSigned ? ~u128(0) << (t.wordLength - 1) : 0;
}

// The one place where an out-of-range result is saturated or wrapped. lowBits are the low 128 bits of the
// exact (already rounded) result.
[[gnu::always_inline]] inline Fit overflowed(bool negative, u128 lowBits, const NumType& t,
                                             int32_t overflow) {
    if (overflow == kOverflowSaturate) return Fit{negative ? minStored(t) : maxStored(t), kQuantSaturated};
    return Fit{extendWord(lowBits, t.wordLength, t.isSigned), kQuantWrapped};
}

template <class Int>
inline Fit fitToWord(const Int& r, const NumType& t, int32_t overflow) {
    const bool inRange = t.isSigned ? r.fitsSignedBits(t.wordLength) : r.fitsUnsignedBits(t.wordLength);
    if (inRange) return Fit{r.low128(), 0};
    return overflowed(r.isNeg(), r.low128(), t, overflow);
}

// Quantises the exact value m x 2^e into d: drops (k > 0) or appends (k < 0) bits to land on the
// destination's grid 2^-fracLength, rounds once, then fits the word.
template <class Int>
inline Fit quantise(Int m, int32_t e, const QuantDest& d) {
    const int64_t k = int64_t(-d.type.fracLength) - e;
    if (k > 0) {
        const bool negative = m.isNeg();
        const bool first = m.testBit(k - 1);
        const bool rest = m.anyBitBelow(k - 1);
        m.sar(k);
        if (roundUp(d.rounding, d.isDivision, negative, first, rest, m.testBit(0))) m.inc();
    } else if (k < 0 && !m.isZero()) {
        const int64_t s = -k;
        if (m.signedBits() + s > Int::kBits - 2) {
            // Far outside any word: only the sign (saturation) and the low bits (wrap) matter.
            const u128 low = s >= 128 ? u128(0) : m.low128() << s;
            return overflowed(m.isNeg(), low, d.type, d.overflow);
        }
        m.shl(int32_t(s));
    }
    return fitToWord(m, d.type, d.overflow);
}

// Signed 128-bit integer with the interface quantise() needs; values must stay within +-2^126.
struct I128 {
    static constexpr int32_t kBits = 128;
    i128 v = 0;

    bool isNeg() const { return v < 0; }
    bool isZero() const { return v == 0; }
    bool testBit(int64_t i) const { return i >= 127 ? v < 0 : ((v >> i) & 1) != 0; }
    bool anyBitBelow(int64_t k) const {
        if (k <= 0) return false;
        if (k >= 128) return v != 0;
        return (u128(v) & ((u128(1) << k) - 1)) != 0;
    }
    void sar(int64_t k) { v = k >= 127 ? (v < 0 ? -1 : 0) : (v >> k); }
    void shl(int32_t s) { v = i128(u128(v) << s); }
    void inc() { ++v; }
    int32_t signedBits() const {
        const u128 mag = v < 0 ? ~u128(v) : u128(v);
        const uint64_t hi = uint64_t(mag >> 64), lo = uint64_t(mag);
        const int32_t len = hi ? 128 - __builtin_clzll(hi) : (lo ? 64 - __builtin_clzll(lo) : 0);
        return len + 1;
    }
    bool fitsSignedBits(int32_t n) const {
        if (n >= 128) return true;
        const i128 lim = i128(1) << (n - 1);
        return v >= -lim && v < lim;
    }
    bool fitsUnsignedBits(int32_t n) const { return v >= 0 && (n >= 127 || v < (i128(1) << n)); }
    u128 low128() const { return u128(v); }
};

// The fast path of quantise() for T = int64_t (m within +-2^62) or i128 (m within +-2^126), into a word
// of at most 64 bits (d made by QuantDest::make). The same decisions (roundUp, overflowed); unusual
// shifts go to the general template.
template <class T>
[[gnu::always_inline]] inline Fit quantiseFast(T m, int32_t e, const QuantDest& d) {
    using U = std::conditional_t<sizeof(T) == 8, uint64_t, u128>;
    constexpr int32_t kValueBits = sizeof(T) == 8 ? 62 : 126;
    const int32_t k = -d.type.fracLength - e;
    if (k > 0) {
        if (k > kValueBits - 4) return quantise(I128{i128(m)}, e, d);
        const U mask = (U(1) << k) - 1;
        const U dropped = U(m) & mask;
        const bool negative = m < 0;
        m >>= k;
        if (!d.neverRoundsUp && dropped != 0 &&
            roundUp(d.rounding, d.isDivision, negative, ((dropped >> (k - 1)) & 1) != 0,
                    (dropped & (mask >> 1)) != 0, (m & 1) != 0)) {
            ++m;
        }
    } else if (k < 0) {
        if (k < -(kValueBits / 2)) return quantise(I128{i128(m)}, e, d);
        const T limit = T(1) << (kValueBits - 1 + k);
        if (m >= limit || m < -limit) return quantise(I128{i128(m)}, e, d);
        m = T(U(m) << -k);
    }
    if constexpr (sizeof(T) == 8) {
        if (m > d.hi64 || m < d.lo64) [[unlikely]]
            return overflowed(m < 0, u128(i128(m)), d.type, d.overflow);
    } else {
        if (m > d.hi || m < d.lo) [[unlikely]]
            return overflowed(m < 0, u128(m), d.type, d.overflow);
    }
    return Fit{u128(i128(m)), 0};
}

// A stored integer of a destination whose words fit int64 (QuantDest::fits64), with the quantisation's
// flags: the same value as Fit's bits, small enough to stay in registers.
struct Fit64 {
    int64_t bits = 0;
    uint8_t flags = 0;
};

// The general quantisation of m x 2^e, for the rare cases of quantiseFast64 (kept out of line).
[[gnu::noinline]] inline Fit64 quantiseRare64(int64_t m, int32_t e, const QuantDest& d) {
    const Fit f = quantise(I128{i128(m)}, e, d);
    return Fit64{int64_t(f.bits), f.flags};
}
[[gnu::noinline]] inline Fit64 overflowed64(int64_t m, const QuantDest& d) {
    const Fit f = overflowed(m < 0, u128(i128(m)), d.type, d.overflow);
    return Fit64{int64_t(f.bits), f.flags};
}

// quantiseFast<int64_t> into a destination with d.fits64: the same decisions and results.
[[gnu::always_inline]] inline Fit64 quantiseFast64(int64_t m, int32_t e, const QuantDest& d) {
    constexpr int32_t kValueBits = 62;
    const int32_t k = -d.type.fracLength - e;
    if (k > 0) {
        if (k > kValueBits - 4) [[unlikely]]
            return quantiseRare64(m, e, d);
        const uint64_t mask = (uint64_t(1) << k) - 1;
        const uint64_t dropped = uint64_t(m) & mask;
        const bool negative = m < 0;
        m >>= k;
        if (!d.neverRoundsUp && dropped != 0 &&
            roundUp(d.rounding, d.isDivision, negative, ((dropped >> (k - 1)) & 1) != 0,
                    (dropped & (mask >> 1)) != 0, (m & 1) != 0)) {
            ++m;
        }
    } else if (k < 0) {
        if (k < -(kValueBits / 2)) [[unlikely]]
            return quantiseRare64(m, e, d);
        const int64_t limit = int64_t(1) << (kValueBits - 1 + k);
        if (m >= limit || m < -limit) [[unlikely]]
            return quantiseRare64(m, e, d);
        m = int64_t(uint64_t(m) << -k);
    }
    if (m > d.hi64 || m < d.lo64) [[unlikely]]
        return overflowed64(m, d);
    return Fit64{m, 0};
}

}  // namespace VekDSPFixpt::detail
