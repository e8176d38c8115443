// Exact reference arithmetic for the fixed-point tests: rationals (GMP) rounded and fitted by the rules
// of the rounding and overflow codes, written from their definitions, not from the library's algorithm.
#pragma once

#include <gmpxx.h>

#include <cstdint>
#include <random>

#include "vekfixpt.h"

namespace fixpt_test {

using VekDSPFixpt::NumType;
using VekDSPFixpt::u128;

inline mpz_class pow2(long n) {
    mpz_class r;
    mpz_ui_pow_ui(r.get_mpz_t(), 2, static_cast<unsigned long>(n));
    return r;
}

// 2^n as a rational, any integer n.
inline mpq_class pow2q(long n) {
    if (n >= 0) return mpq_class(pow2(n));
    mpq_class q(mpz_class(1), pow2(-n));
    q.canonicalize();
    return q;
}

inline mpz_class fromBits(u128 bits, bool isSigned) {
    mpz_class hi(static_cast<unsigned long>(static_cast<uint64_t>(bits >> 64)));
    mpz_class lo(static_cast<unsigned long>(static_cast<uint64_t>(bits)));
    mpz_class v = hi * pow2(64) + lo;
    if (isSigned && (bits >> 127) != 0) v -= pow2(128);
    return v;
}

// Two's complement bits of v (which must lie in the type's range), extended to 128 bits.
inline u128 toBits(const mpz_class& v) {
    mpz_class m = v;
    if (m < 0) m += pow2(128);
    mpz_class lo = m % pow2(64);
    mpz_class hi = m / pow2(64);
    return (u128(mpz_get_ui(hi.get_mpz_t())) << 64) | u128(mpz_get_ui(lo.get_mpz_t()));
}

inline mpz_class minStored(const NumType& t) {
    return t.isSigned ? mpz_class(-pow2(t.wordLength - 1)) : mpz_class(0);
}
inline mpz_class maxStored(const NumType& t) {
    return t.isSigned ? mpz_class(pow2(t.wordLength - 1) - 1) : mpz_class(pow2(t.wordLength) - 1);
}

inline mpq_class realValue(const mpz_class& stored, const NumType& t) {
    mpq_class q = mpq_class(stored) * pow2q(-t.fracLength);
    q.canonicalize();
    return q;
}

inline mpz_class floorQ(const mpq_class& q) {
    mpz_class r;
    mpz_fdiv_q(r.get_mpz_t(), q.get_num_mpz_t(), q.get_den_mpz_t());
    return r;
}
inline mpz_class ceilQ(const mpq_class& q) {
    mpz_class r;
    mpz_cdiv_q(r.get_mpz_t(), q.get_num_mpz_t(), q.get_den_mpz_t());
    return r;
}

// An integer from a real scaled value y under a rounding code.
inline mpz_class roundQ(const mpq_class& y, int32_t rounding, bool isDivision) {
    const mpq_class half(1, 2);
    switch (rounding) {
        case VekDSPFixpt::kRoundZero:
            return y < 0 ? ceilQ(y) : floorQ(y);
        case VekDSPFixpt::kRoundNearest:
            return floorQ(y + half);
        case VekDSPFixpt::kRoundCeiling:
            return ceilQ(y);
        case VekDSPFixpt::kRoundFloor:
            return floorQ(y);
        case VekDSPFixpt::kRoundSimplest:
            return isDivision ? (y < 0 ? ceilQ(y) : floorQ(y)) : floorQ(y);
        case VekDSPFixpt::kRoundRound:
            return y < 0 ? mpz_class(-floorQ(-y + half)) : floorQ(y + half);
        case VekDSPFixpt::kRoundConvergent: {
            const mpz_class f = floorQ(y);
            const mpq_class frac = y - mpq_class(f);
            if (frac > half) return f + 1;
            if (frac < half) return f;
            return (f % 2 == 0) ? f : mpz_class(f + 1);
        }
    }
    return 0;
}

enum class Outcome { Exact, Wrapped, Saturated };

// Fits an integer into the word by the overflow code.
inline mpz_class fitQ(const mpz_class& r, const NumType& t, int32_t overflow, Outcome* outcome = nullptr) {
    const mpz_class lo = minStored(t), hi = maxStored(t);
    if (outcome) *outcome = Outcome::Exact;
    if (r >= lo && r <= hi) return r;
    if (outcome)
        *outcome = overflow == VekDSPFixpt::kOverflowSaturate ? Outcome::Saturated : Outcome::Wrapped;
    if (overflow == VekDSPFixpt::kOverflowSaturate) return r < lo ? lo : hi;
    mpz_class m;
    mpz_fdiv_r_2exp(m.get_mpz_t(), r.get_mpz_t(), static_cast<unsigned long>(t.wordLength));
    if (t.isSigned && m > hi) m -= pow2(t.wordLength);
    return m;
}

// The stored integer a destination of type t must hold for the exact value x.
inline mpz_class quantiseQ(const mpq_class& x, const NumType& t, int32_t rounding, int32_t overflow,
                           bool isDivision = false, Outcome* outcome = nullptr) {
    mpq_class y = x * pow2q(t.fracLength);
    y.canonicalize();
    return fitQ(roundQ(y, rounding, isDivision), t, overflow, outcome);
}

// Rounded square root of a >= 0 onto the grid of t, decided by exact comparisons of squares.
inline mpz_class sqrtQ(const mpq_class& a, const NumType& t, int32_t rounding, int32_t overflow) {
    if (a <= 0) return 0;
    mpq_class z = a * pow2q(2 * t.fracLength);  // y^2 for y = sqrt(a) x 2^fl
    z.canonicalize();
    mpz_class q;
    const mpz_class fz = floorQ(z);
    mpz_sqrt(q.get_mpz_t(), fz.get_mpz_t());  // floor(y)
    const bool exact = mpq_class(q * q) == z;
    const mpq_class h = mpq_class(q) + mpq_class(1, 2);
    const int cmpHalf = cmp(z, h * h);  // sign of y - (floor(y) + 1/2)
    mpz_class r = q;
    switch (rounding) {
        case VekDSPFixpt::kRoundZero:
        case VekDSPFixpt::kRoundFloor:
        case VekDSPFixpt::kRoundSimplest:
            r = q;
            break;
        case VekDSPFixpt::kRoundCeiling:
            r = exact ? q : mpz_class(q + 1);
            break;
        case VekDSPFixpt::kRoundNearest:
        case VekDSPFixpt::kRoundRound:
            r = cmpHalf >= 0 ? mpz_class(q + 1) : q;
            break;
        case VekDSPFixpt::kRoundConvergent:
            r = cmpHalf > 0 ? mpz_class(q + 1) : (cmpHalf < 0 ? q : (q % 2 == 0 ? q : mpz_class(q + 1)));
            break;
    }
    return fitQ(r, t, overflow);
}

// A random stored integer of t, often at or next to the ends of the range and zero.
inline mpz_class randomStored(std::mt19937_64& rng, const NumType& t) {
    const mpz_class lo = minStored(t), hi = maxStored(t);
    switch (rng() % 8) {
        case 0:
            return lo;
        case 1:
            return hi;
        case 2:
            return 0;
        case 3:
            return t.isSigned ? mpz_class(-1) : mpz_class(1);
        default:
            break;
    }
    // Uniform over the word, or over a random number of low bits (small magnitudes matter too).
    const int32_t bits = (rng() % 2) ? t.wordLength : 1 + static_cast<int32_t>(rng() % t.wordLength);
    mpz_class v = 0;
    for (int32_t i = 0; i < bits; i += 64)
        v = v * pow2(64) + mpz_class(static_cast<unsigned long>(rng()));
    mpz_fdiv_r_2exp(v.get_mpz_t(), v.get_mpz_t(), static_cast<unsigned long>(bits));
    if (t.isSigned) {
        v -= (bits == t.wordLength) ? pow2(t.wordLength - 1) : mpz_class(pow2(bits - 1));
    }
    return v < lo ? lo : (v > hi ? hi : v);
}

}  // namespace fixpt_test
