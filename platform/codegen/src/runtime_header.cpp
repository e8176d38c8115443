// The runtime header every generated unit includes: container typedefs, interleaved complex layouts and the
// fixed-point helpers. Every helper computes exactly on a 128-bit stored integer and quantises once.
#include "cg/emit_c.h"

namespace CG {

const char* runtimeHeaderName() {
    return "dravo_rt.h";
}

const char* runtimeHeaderText() {
    return R"RT(/* Runtime support for generated dravo code: types and fixed-point helpers. */
#ifndef DRAVO_RT_H
#define DRAVO_RT_H

#include <math.h>
#include <stdint.h>
#include <string.h>

typedef uint8_t dv_bool_t;
__extension__ typedef __int128 dvrt_wide;

/* Complex values are stored interleaved: real part, then imaginary part. */
#define DVRT_COMPLEX(T) typedef struct { T re; T im; } dv_complex_##T;
DVRT_COMPLEX(double)
DVRT_COMPLEX(float)
DVRT_COMPLEX(int8_t)
DVRT_COMPLEX(uint8_t)
DVRT_COMPLEX(int16_t)
DVRT_COMPLEX(uint16_t)
DVRT_COMPLEX(int32_t)
DVRT_COMPLEX(uint32_t)
DVRT_COMPLEX(int64_t)
DVRT_COMPLEX(uint64_t)
#undef DVRT_COMPLEX

/* Rounding codes. */
#define DVRT_ZERO 0
#define DVRT_NEAREST 1
#define DVRT_CEIL 2
#define DVRT_FLOOR 3
#define DVRT_SIMPLEST 4
#define DVRT_ROUND 5
#define DVRT_CONVERGENT 6
/* Overflow codes. */
#define DVRT_WRAP 0
#define DVRT_SAT 1

static inline dvrt_wide dvrt_pow2(int32_t n) { return (dvrt_wide)1 << n; }

/* v * 2^n for 0 <= n <= 126 (the generator keeps values within 127 bits). */
static inline dvrt_wide dvrt_shl(dvrt_wide v, int32_t n) { return v * dvrt_pow2(n); }

/* Rounds the quotient q (floor) with remainder r (0 <= r < d) and d > 0 by the rounding code; neg tells
   whether the exact quotient is negative (for the modes that look at the sign). */
static inline dvrt_wide dvrt_round_qr(dvrt_wide q, dvrt_wide r, dvrt_wide d, int32_t rnd, int32_t towardZeroForSimplest)
{
    dvrt_wide twice = r * 2;
    int neg = q < 0;
    if (r == 0) return q;
    switch (rnd) {
    case DVRT_CEIL: return q + 1;
    case DVRT_ZERO: return neg ? q + 1 : q;
    case DVRT_SIMPLEST: return (towardZeroForSimplest && neg) ? q + 1 : q;
    case DVRT_NEAREST: return twice >= d ? q + 1 : q;
    case DVRT_ROUND: return neg ? (twice > d ? q + 1 : q) : (twice >= d ? q + 1 : q);
    case DVRT_CONVERGENT: return (twice > d || (twice == d && (q & 1) != 0)) ? q + 1 : q;
    default: return q; /* DVRT_FLOOR */
    }
}

/* Keeps a value within a word of wl bits (wrap: two's complement modulo 2^wl; saturate: clamp). */
static inline dvrt_wide dvrt_overflow(dvrt_wide v, int32_t ovf, int32_t wl, int32_t sgn)
{
    dvrt_wide hi, lo;
    if (wl >= 127) return v;
    hi = sgn ? dvrt_pow2(wl - 1) - 1 : dvrt_pow2(wl) - 1;
    lo = sgn ? -dvrt_pow2(wl - 1) : 0;
    if (v >= lo && v <= hi) return v;
    if (ovf == DVRT_SAT) return v < lo ? lo : hi;
    v &= dvrt_pow2(wl) - 1;
    if (sgn && v > hi) v -= dvrt_pow2(wl);
    return v;
}

/* Stored integer v with a binary point moved by shift (left when positive), rounded and kept in the
   destination word. */
static inline dvrt_wide dvrt_quantize(dvrt_wide v, int32_t shift, int32_t rnd, int32_t ovf, int32_t wl, int32_t sgn)
{
    if (shift > 0) {
        v = dvrt_shl(v, shift);
    } else if (shift < 0) {
        dvrt_wide d = dvrt_pow2(-shift);
        dvrt_wide q = v >> -shift; /* floor */
        v = dvrt_round_qr(q, v - q * d, d, rnd, 0);
    }
    return dvrt_overflow(v, ovf, wl, sgn);
}

/* (n / d) * 2^shift quantised; division by zero gives the largest or smallest value by n's sign, 0 for 0/0. */
static inline dvrt_wide dvrt_divide(dvrt_wide n, dvrt_wide d, int32_t shift, int32_t rnd, int32_t ovf, int32_t wl, int32_t sgn)
{
    dvrt_wide q, r;
    if (d == 0) {
        if (n == 0) return 0;
        return dvrt_overflow(n > 0 ? dvrt_pow2(126) : -dvrt_pow2(126), DVRT_SAT, wl, sgn);
    }
    if (shift > 0) n = dvrt_shl(n, shift);
    if (shift < 0) d = dvrt_shl(d, -shift);
    if (d < 0) { n = -n; d = -d; }
    q = n / d;
    r = n % d;
    if (r < 0) { q -= 1; r += d; }
    return dvrt_overflow(dvrt_round_qr(q, r, d, rnd, 1), ovf, wl, sgn);
}

/* a % b on stored integers (0 when b is 0). */
static inline dvrt_wide dvrt_rem(dvrt_wide a, dvrt_wide b) { return b == 0 ? 0 : a % b; }

static inline double dvrt_to_double(dvrt_wide v, int32_t exp) { return ldexp((double)v, exp); }

/* A floating value into a stored integer with exponent exp (NaN gives 0). */
static inline dvrt_wide dvrt_from_double(double v, int32_t exp, int32_t rnd, int32_t ovf, int32_t wl, int32_t sgn)
{
    double s = ldexp(v, -exp), f, r;
    if (isnan(s)) return 0;
    f = floor(s);
    switch (rnd) {
    case DVRT_CEIL: r = ceil(s); break;
    case DVRT_ZERO: r = s < 0 ? ceil(s) : f; break;
    case DVRT_NEAREST: r = (s - f >= 0.5) ? f + 1.0 : f; break;
    case DVRT_ROUND: r = floor(fabs(s)); r = (fabs(s) - r >= 0.5) ? r + 1.0 : r; r = s < 0 ? -r : r; break;
    case DVRT_CONVERGENT: r = (s - f > 0.5 || (s - f == 0.5 && fmod(f, 2.0) != 0.0)) ? f + 1.0 : f; break;
    default: r = f; break;
    }
    if (ovf == DVRT_SAT || isinf(r)) {
        double hi = ldexp(1.0, sgn ? wl - 1 : wl), lo = sgn ? -hi : 0.0;
        if (isinf(r) && ovf != DVRT_SAT) return 0;
        if (r <= lo) return dvrt_overflow(-dvrt_pow2(126), DVRT_SAT, wl, sgn);
        if (r >= hi) return dvrt_overflow(dvrt_pow2(126), DVRT_SAT, wl, sgn);
        return (dvrt_wide)r;
    }
    if (fabs(r) >= ldexp(1.0, 126)) r = fmod(r, ldexp(1.0, wl < 126 ? wl : 126));
    return dvrt_overflow((dvrt_wide)r, DVRT_WRAP, wl, sgn);
}

/* Largest s with s*s <= n, for n >= 0. */
static inline dvrt_wide dvrt_isqrt(dvrt_wide n)
{
    unsigned __int128 x = (unsigned __int128)n, r = 0, bit = (unsigned __int128)1 << 126;
    while (bit > x) bit >>= 2;
    while (bit != 0) {
        if (x >= r + bit) { x -= r + bit; r = (r >> 1) + bit; } else { r >>= 1; }
        bit >>= 2;
    }
    return (dvrt_wide)r;
}

/* Square root of the stored integer v (exponent inExp) as a stored integer of exponent outExp. */
static inline dvrt_wide dvrt_sqrt(dvrt_wide v, int32_t inExp, int32_t outExp, int32_t rnd, int32_t ovf, int32_t wl, int32_t sgn)
{
    int32_t k = inExp - 2 * outExp, m;
    dvrt_wide s, q;
    if (v <= 0) return 0;
    if (k >= 0) {
        dvrt_wide n = dvrt_shl(v, k);
        s = dvrt_isqrt(n);
        if (s * s != n) {
            if (rnd == DVRT_CEIL) s += 1;
            else if (rnd == DVRT_NEAREST || rnd == DVRT_ROUND || rnd == DVRT_CONVERGENT) {
                if (n - s * s > s) s += 1; /* n >= (s + 1/2)^2 exactly when n - s^2 > s */
            }
        }
        return dvrt_overflow(s, ovf, wl, sgn);
    }
    /* sqrt(v / 2^j) = sqrt(v') / 2^m with v' = v or 2v so that j' = 2m is even. */
    m = (-k + 1) / 2;
    if ((-k) % 2 != 0) v *= 2;
    s = dvrt_isqrt(v);
    q = s >> m;
    if (rnd == DVRT_CEIL && !(s * s == v && (s & (dvrt_pow2(m) - 1)) == 0)) q += 1;
    else if (rnd == DVRT_NEAREST || rnd == DVRT_ROUND || rnd == DVRT_CONVERGENT) q = (s + dvrt_pow2(m - 1)) >> m;
    return dvrt_overflow(q, ovf, wl, sgn);
}

#endif /* DRAVO_RT_H */
)RT";
}

}  // namespace CG
