// A 2048-bit two's complement integer for the exact path: wide enough to align any two operands whose
// fraction lengths stay within +-kMaxFracLengthMagnitude, to hold 128 x 128-bit products and the shifted
// numerators of divisions and square roots. Fixed size, so nothing is allocated.
#pragma once

#include <cstdint>
#include <cstring>

#include "vekfixpt_types.h"

namespace VekDSPFixpt::detail {

struct Big {
    static constexpr int32_t kLimbs = 32;
    static constexpr int32_t kBits = kLimbs * 64;
    uint64_t w[kLimbs];

    static Big zero() {
        Big b;
        std::memset(b.w, 0, sizeof b.w);
        return b;
    }
    static Big fromU128(u128 v) {
        Big b = zero();
        b.w[0] = uint64_t(v);
        b.w[1] = uint64_t(v >> 64);
        return b;
    }
    static Big fromI128(i128 v) {
        Big b = fromU128(u128(v));
        if (v < 0) std::memset(b.w + 2, 0xff, sizeof(uint64_t) * (kLimbs - 2));
        return b;
    }
    // Unsigned 128 x 128 -> 256-bit product.
    static Big mulU128(u128 a, u128 b) {
        const uint64_t a0 = uint64_t(a), a1 = uint64_t(a >> 64), b0 = uint64_t(b), b1 = uint64_t(b >> 64);
        Big r = zero();
        const uint64_t parts[4][2] = {{a0, b0}, {a0, b1}, {a1, b0}, {a1, b1}};
        const int32_t at[4] = {0, 1, 1, 2};
        for (int32_t p = 0; p < 4; ++p) {
            const u128 prod = u128(parts[p][0]) * parts[p][1];
            uint64_t carry = 0;
            u128 s = u128(r.w[at[p]]) + uint64_t(prod);
            r.w[at[p]] = uint64_t(s);
            s = u128(r.w[at[p] + 1]) + uint64_t(prod >> 64) + uint64_t(s >> 64);
            r.w[at[p] + 1] = uint64_t(s);
            carry = uint64_t(s >> 64);
            for (int32_t i = at[p] + 2; carry && i < kLimbs; ++i) {
                s = u128(r.w[i]) + carry;
                r.w[i] = uint64_t(s);
                carry = uint64_t(s >> 64);
            }
        }
        return r;
    }

    bool isNeg() const { return (w[kLimbs - 1] >> 63) != 0; }
    bool isZero() const {
        for (uint64_t x : w)
            if (x) return false;
        return true;
    }
    bool testBit(int64_t i) const {
        if (i >= kBits) return isNeg();
        return ((w[i >> 6] >> (i & 63)) & 1) != 0;
    }
    void setBit(int32_t i) { w[i >> 6] |= uint64_t(1) << (i & 63); }
    bool anyBitBelow(int64_t k) const {
        if (k <= 0) return false;
        if (k >= kBits) return !isZero();
        const int32_t full = int32_t(k >> 6);
        for (int32_t i = 0; i < full; ++i)
            if (w[i]) return true;
        const int32_t rem = int32_t(k & 63);
        return rem && (w[full] & ((uint64_t(1) << rem) - 1)) != 0;
    }
    void sar(int64_t k) {
        const uint64_t fill = isNeg() ? ~uint64_t(0) : 0;
        if (k >= kBits) {
            for (uint64_t& x : w)
                x = fill;
            return;
        }
        const int32_t limbs = int32_t(k >> 6), bits = int32_t(k & 63);
        for (int32_t i = 0; i < kLimbs; ++i) {
            const int32_t src = i + limbs;
            const uint64_t lo = src < kLimbs ? w[src] : fill;
            const uint64_t hi = src + 1 < kLimbs ? w[src + 1] : fill;
            w[i] = bits ? (lo >> bits) | (hi << (64 - bits)) : lo;
        }
    }
    void shl(int32_t s) {
        if (s >= kBits) {
            std::memset(w, 0, sizeof w);
            return;
        }
        const int32_t limbs = s >> 6, bits = s & 63;
        for (int32_t i = kLimbs - 1; i >= 0; --i) {
            const int32_t src = i - limbs;
            const uint64_t hi = src >= 0 ? w[src] : 0;
            const uint64_t lo = src - 1 >= 0 ? w[src - 1] : 0;
            w[i] = bits ? (hi << bits) | (lo >> (64 - bits)) : hi;
        }
    }
    void add(const Big& o) {
        uint64_t carry = 0;
        for (int32_t i = 0; i < kLimbs; ++i) {
            const u128 s = u128(w[i]) + o.w[i] + carry;
            w[i] = uint64_t(s);
            carry = uint64_t(s >> 64);
        }
    }
    void sub(const Big& o) {
        uint64_t borrow = 0;
        for (int32_t i = 0; i < kLimbs; ++i) {
            const u128 d = u128(w[i]) - o.w[i] - borrow;
            w[i] = uint64_t(d);
            borrow = uint64_t(d >> 64) ? 1 : 0;
        }
    }
    void inc() {
        for (int32_t i = 0; i < kLimbs; ++i)
            if (++w[i] != 0) break;
    }
    void negate() {
        for (uint64_t& x : w)
            x = ~x;
        inc();
    }
    // Position of the highest set bit + 1, for a non-negative value.
    int32_t bitLength() const {
        for (int32_t i = kLimbs - 1; i >= 0; --i)
            if (w[i]) return i * 64 + 64 - __builtin_clzll(w[i]);
        return 0;
    }
    // Bits of the shortest two's complement form, sign included.
    int32_t signedBits() const {
        if (!isNeg()) return bitLength() + 1;
        Big inv = *this;
        for (uint64_t& x : inv.w)
            x = ~x;
        return inv.bitLength() + 1;
    }
    bool fitsSignedBits(int32_t n) const { return signedBits() <= n; }
    bool fitsUnsignedBits(int32_t n) const { return !isNeg() && bitLength() <= n; }
    u128 low128() const { return (u128(w[1]) << 64) | w[0]; }
    bool fitsU128() const {
        if (isNeg()) return false;
        for (int32_t i = 2; i < kLimbs; ++i)
            if (w[i]) return false;
        return true;
    }
    // Unsigned comparison of non-negative values.
    int32_t compareMag(const Big& o) const {
        for (int32_t i = kLimbs - 1; i >= 0; --i)
            if (w[i] != o.w[i]) return w[i] < o.w[i] ? -1 : 1;
        return 0;
    }
    int32_t sign() const { return isNeg() ? -1 : (isZero() ? 0 : 1); }
};

// Quotient and remainder of non-negative n by positive d (restoring division, one bit at a time over the
// limbs the remainder can occupy).
void divModMag(const Big& n, const Big& d, Big& q, Big& r);
// Floor square root of non-negative n; exact tells whether n was a perfect square.
Big isqrtMag(const Big& n, bool& exact);
u128 isqrtU128(u128 n, bool& exact);

}  // namespace VekDSPFixpt::detail
