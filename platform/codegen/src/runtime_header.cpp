// The runtime headers of generated units. dravo_rt.h: container typedefs, interleaved complex layouts and
// the fixed-point helpers on 64-bit integers, which serve every operation whose exact intermediate fits in
// 62 bits. dravo_rt_wide.h, included only by units that need it: the same helpers on a 128-bit stored
// integer, which is the compiler's own 128-bit type where it has one (__SIZEOF_INT128__) and otherwise a
// pair of 64-bit words with portable helpers computing the same bits (forced with DVRT_PORTABLE_INT).
// Every helper computes exactly and quantises once. Plain C99: no shift of a negative value, no signed
// overflow.
#include "cg/emit_c.h"

namespace CG {

const char* runtimeHeaderName() {
    return "dravo_rt.h";
}

const char* wideHeaderName() {
    return "dravo_rt_wide.h";
}

const char* runtimeHeaderText() {
    return R"RT(/* Runtime support for generated dravo code: types and fixed-point helpers. */
#ifndef DRAVO_RT_H
#define DRAVO_RT_H

#include <math.h>
#include <stdint.h>
#include <string.h>

typedef uint8_t dv_bool_t;

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

/* Fixed-point helpers on int64_t. The generator uses them only where every intermediate, every shift and
   the destination word fit in 62 bits; wider operations use dravo_rt_wide.h. */

static inline int64_t dvrt64_pow2(int32_t n) { return (int64_t)1 << n; }

/* v * 2^n. */
static inline int64_t dvrt64_shl(int64_t v, int32_t n) { return v * dvrt64_pow2(n); }

/* floor(v / 2^n), without shifting a negative value. */
static inline int64_t dvrt64_sar(int64_t v, int32_t n) { return v < 0 ? ~(~v >> n) : v >> n; }

/* Rounds the quotient q (floor) with remainder r (0 <= r < d) and d > 0 by the rounding code. */
static inline int64_t dvrt64_round_qr(int64_t q, int64_t r, int64_t d, int32_t rnd, int32_t towardZeroForSimplest)
{
    int64_t twice = r * 2;
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
static inline int64_t dvrt64_overflow(int64_t v, int32_t ovf, int32_t wl, int32_t sgn)
{
    int64_t hi = sgn ? dvrt64_pow2(wl - 1) - 1 : dvrt64_pow2(wl) - 1;
    int64_t lo = sgn ? -dvrt64_pow2(wl - 1) : 0;
    if (v >= lo && v <= hi) return v;
    if (ovf == DVRT_SAT) return v < lo ? lo : hi;
    v &= dvrt64_pow2(wl) - 1;
    if (sgn && v > hi) v -= dvrt64_pow2(wl);
    return v;
}

/* Stored integer v with a binary point moved by shift (left when positive), rounded and kept in the
   destination word. */
static inline int64_t dvrt64_quantize(int64_t v, int32_t shift, int32_t rnd, int32_t ovf, int32_t wl, int32_t sgn)
{
    if (shift > 0) {
        v = dvrt64_shl(v, shift);
    } else if (shift < 0) {
        int64_t q = dvrt64_sar(v, -shift);
        v = dvrt64_round_qr(q, v - dvrt64_shl(q, -shift), dvrt64_pow2(-shift), rnd, 0);
    }
    return dvrt64_overflow(v, ovf, wl, sgn);
}

/* (n / d) * 2^shift quantised; division by zero gives the largest or smallest value by n's sign, 0 for 0/0. */
static inline int64_t dvrt64_divide(int64_t n, int64_t d, int32_t shift, int32_t rnd, int32_t ovf, int32_t wl, int32_t sgn)
{
    int64_t q, r;
    if (d == 0) {
        if (n == 0) return 0;
        return dvrt64_overflow(n > 0 ? dvrt64_pow2(62) : -dvrt64_pow2(62), DVRT_SAT, wl, sgn);
    }
    if (shift > 0) n = dvrt64_shl(n, shift);
    if (shift < 0) d = dvrt64_shl(d, -shift);
    if (d < 0) { n = -n; d = -d; }
    q = n / d;
    r = n % d;
    if (r < 0) { q -= 1; r += d; }
    return dvrt64_overflow(dvrt64_round_qr(q, r, d, rnd, 1), ovf, wl, sgn);
}

/* a % b on stored integers (0 when b is 0). */
static inline int64_t dvrt64_rem(int64_t a, int64_t b) { return b == 0 ? 0 : a % b; }

/* A floating value into a stored integer with exponent exp (NaN gives 0). */
static inline int64_t dvrt64_from_double(double v, int32_t exp, int32_t rnd, int32_t ovf, int32_t wl, int32_t sgn)
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
        if (r <= lo) return dvrt64_overflow(-dvrt64_pow2(62), DVRT_SAT, wl, sgn);
        if (r >= hi) return dvrt64_overflow(dvrt64_pow2(62), DVRT_SAT, wl, sgn);
        return (int64_t)r;
    }
    if (fabs(r) >= ldexp(1.0, 62)) r = fmod(r, ldexp(1.0, wl));
    return dvrt64_overflow((int64_t)r, DVRT_WRAP, wl, sgn);
}

/* Largest s with s*s <= n, for n >= 0. */
static inline int64_t dvrt64_isqrt(int64_t n)
{
    uint64_t x = (uint64_t)n, r = 0, bit = (uint64_t)1 << 62;
    while (bit > x) bit >>= 2;
    while (bit != 0) {
        if (x >= r + bit) { x -= r + bit; r = (r >> 1) + bit; } else { r >>= 1; }
        bit >>= 2;
    }
    return (int64_t)r;
}

/* Square root of the stored integer v (exponent inExp) as a stored integer of exponent outExp. */
static inline int64_t dvrt64_sqrt(int64_t v, int32_t inExp, int32_t outExp, int32_t rnd, int32_t ovf, int32_t wl, int32_t sgn)
{
    int32_t k = inExp - 2 * outExp, m;
    int64_t s, q;
    if (v <= 0) return 0;
    if (k >= 0) {
        int64_t n = dvrt64_shl(v, k);
        s = dvrt64_isqrt(n);
        if (s * s != n) {
            if (rnd == DVRT_CEIL) s += 1;
            else if (rnd == DVRT_NEAREST || rnd == DVRT_ROUND || rnd == DVRT_CONVERGENT) {
                if (n - s * s > s) s += 1; /* n >= (s + 1/2)^2 exactly when n - s^2 > s */
            }
        }
        return dvrt64_overflow(s, ovf, wl, sgn);
    }
    /* sqrt(v / 2^j) = sqrt(v') / 2^m with v' = v or 2v so that j' = 2m is even. */
    m = (-k + 1) / 2;
    if ((-k) % 2 != 0) v *= 2;
    s = dvrt64_isqrt(v);
    q = s >> m;
    if (rnd == DVRT_CEIL && !(s * s == v && (s & (dvrt64_pow2(m) - 1)) == 0)) q += 1;
    else if (rnd == DVRT_NEAREST || rnd == DVRT_ROUND || rnd == DVRT_CONVERGENT) {
        q = (s + dvrt64_pow2(m - 1)) >> m;
        /* An exact root halfway between two results goes to the even one. */
        if (rnd == DVRT_CONVERGENT && (q & 1) != 0 && s * s == v && (s & (dvrt64_pow2(m) - 1)) == dvrt64_pow2(m - 1))
            q -= 1;
    }
    return dvrt64_overflow(q, ovf, wl, sgn);
}

#endif /* DRAVO_RT_H */
)RT";
}

const char* wideHeaderText() {
    return R"RT(/* Wide fixed-point helpers for generated dravo code: exact arithmetic on a 128-bit stored integer, for
   the few products, sums, quotients and square roots whose intermediates need more than 62 bits. */
#ifndef DRAVO_RT_WIDE_H
#define DRAVO_RT_WIDE_H

#include "dravo_rt.h"

#if defined(__SIZEOF_INT128__) && !defined(DVRT_PORTABLE_INT)

/* The compiler's 128-bit integer. */
__extension__ typedef __int128 dvrt_wide;
__extension__ typedef unsigned __int128 dvrt_uwide;

static inline dvrt_wide dvrt_w_i64(int64_t v) { return v; }
static inline dvrt_wide dvrt_w_u64(uint64_t v) { return v; }
static inline int64_t dvrt_w_to_i64(dvrt_wide v) { return (int64_t)v; }
static inline uint64_t dvrt_w_to_u64(dvrt_wide v) { return (uint64_t)(dvrt_uwide)v; }
static inline dvrt_wide dvrt_w_add(dvrt_wide a, dvrt_wide b) { return (dvrt_wide)((dvrt_uwide)a + (dvrt_uwide)b); }
static inline dvrt_wide dvrt_w_sub(dvrt_wide a, dvrt_wide b) { return (dvrt_wide)((dvrt_uwide)a - (dvrt_uwide)b); }
static inline dvrt_wide dvrt_w_neg(dvrt_wide a) { return (dvrt_wide)(0 - (dvrt_uwide)a); }
static inline dvrt_wide dvrt_w_mul(dvrt_wide a, dvrt_wide b) { return (dvrt_wide)((dvrt_uwide)a * (dvrt_uwide)b); }
static inline int dvrt_w_cmp(dvrt_wide a, dvrt_wide b) { return (a > b) - (a < b); }
static inline int dvrt_w_sign(dvrt_wide a) { return (a > 0) - (a < 0); }
static inline int dvrt_w_is_odd(dvrt_wide a) { return (int)((dvrt_uwide)a & 1); }
/* v * 2^n, 0 <= n <= 126. */
static inline dvrt_wide dvrt_w_shl(dvrt_wide v, int32_t n) { return (dvrt_wide)((dvrt_uwide)v << n); }
/* floor(v / 2^n), 0 <= n <= 127. */
static inline dvrt_wide dvrt_w_sar(dvrt_wide v, int32_t n) { return v < 0 ? ~(~v >> n) : v >> n; }
/* v modulo 2^n (0 <= result < 2^n), 1 <= n <= 126. */
static inline dvrt_wide dvrt_w_mod_pow2(dvrt_wide v, int32_t n) { return (dvrt_wide)((dvrt_uwide)v & (((dvrt_uwide)1 << n) - 1)); }
/* q = floor(n / d), r = n - q * d (0 <= r < d), for d > 0. */
static inline void dvrt_w_floordiv(dvrt_wide n, dvrt_wide d, dvrt_wide* q, dvrt_wide* r)
{
    *q = n / d;
    *r = n % d;
    if (*r < 0) { *q -= 1; *r += d; }
}
/* a % b (sign of a), b != 0. */
static inline dvrt_wide dvrt_w_rem(dvrt_wide a, dvrt_wide b) { return a % b; }
/* An integral double with |r| < 2^126. */
static inline dvrt_wide dvrt_w_from_double(double r) { return (dvrt_wide)r; }
/* Largest s with s*s <= n, for n >= 0. */
static inline dvrt_wide dvrt_w_isqrt(dvrt_wide n)
{
    dvrt_uwide x = (dvrt_uwide)n, r = 0, bit = (dvrt_uwide)1 << 126;
    while (bit > x) bit >>= 2;
    while (bit != 0) {
        if (x >= r + bit) { x -= r + bit; r = (r >> 1) + bit; } else { r >>= 1; }
        bit >>= 2;
    }
    return (dvrt_wide)r;
}

#else

/* Two 64-bit words, two's complement (hi:lo), for compilers without a 128-bit integer. */
typedef struct { uint64_t lo; uint64_t hi; } dvrt_wide;

static inline dvrt_wide dvrt_w_make(uint64_t hi, uint64_t lo) { dvrt_wide w; w.lo = lo; w.hi = hi; return w; }
static inline dvrt_wide dvrt_w_i64(int64_t v) { return dvrt_w_make(v < 0 ? ~(uint64_t)0 : 0, (uint64_t)v); }
static inline dvrt_wide dvrt_w_u64(uint64_t v) { return dvrt_w_make(0, v); }
/* The low word as a signed value, without an out-of-range conversion. */
static inline int64_t dvrt_w_to_i64(dvrt_wide v)
{
    return v.lo >> 63 ? -(int64_t)(~v.lo) - 1 : (int64_t)v.lo;
}
static inline uint64_t dvrt_w_to_u64(dvrt_wide v) { return v.lo; }
static inline dvrt_wide dvrt_w_add(dvrt_wide a, dvrt_wide b)
{
    uint64_t lo = a.lo + b.lo;
    return dvrt_w_make(a.hi + b.hi + (lo < a.lo), lo);
}
static inline dvrt_wide dvrt_w_neg(dvrt_wide a) { return dvrt_w_add(dvrt_w_make(~a.hi, ~a.lo), dvrt_w_u64(1)); }
static inline dvrt_wide dvrt_w_sub(dvrt_wide a, dvrt_wide b) { return dvrt_w_add(a, dvrt_w_neg(b)); }
/* The full 128-bit product of two 64-bit words, from 32-bit halves. */
static inline dvrt_wide dvrt_w_mul64(uint64_t a, uint64_t b)
{
    uint64_t a0 = a & 0xFFFFFFFFu, a1 = a >> 32, b0 = b & 0xFFFFFFFFu, b1 = b >> 32;
    uint64_t p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
    uint64_t mid = (p00 >> 32) + (p01 & 0xFFFFFFFFu) + (p10 & 0xFFFFFFFFu);
    return dvrt_w_make(p11 + (p01 >> 32) + (p10 >> 32) + (mid >> 32), (mid << 32) | (p00 & 0xFFFFFFFFu));
}
/* The low 128 bits of the product, which is the product itself while it fits (two's complement). */
static inline dvrt_wide dvrt_w_mul(dvrt_wide a, dvrt_wide b)
{
    dvrt_wide p = dvrt_w_mul64(a.lo, b.lo);
    p.hi += a.lo * b.hi + a.hi * b.lo;
    return p;
}
static inline int dvrt_w_sign(dvrt_wide a)
{
    if (a.hi >> 63) return -1;
    return (a.hi | a.lo) != 0;
}
static inline int dvrt_w_cmp(dvrt_wide a, dvrt_wide b)
{
    int na = (int)(a.hi >> 63), nb = (int)(b.hi >> 63);
    if (na != nb) return na ? -1 : 1;
    if (a.hi != b.hi) return a.hi < b.hi ? -1 : 1;
    if (a.lo != b.lo) return a.lo < b.lo ? -1 : 1;
    return 0;
}
static inline int dvrt_w_is_odd(dvrt_wide a) { return (int)(a.lo & 1); }
/* Logical shifts by 0 <= n <= 127. */
static inline dvrt_wide dvrt_w_lsl(dvrt_wide v, int32_t n)
{
    if (n == 0) return v;
    if (n >= 64) return dvrt_w_make(v.lo << (n - 64), 0);
    return dvrt_w_make((v.hi << n) | (v.lo >> (64 - n)), v.lo << n);
}
static inline dvrt_wide dvrt_w_lsr(dvrt_wide v, int32_t n)
{
    if (n == 0) return v;
    if (n >= 64) return dvrt_w_make(0, v.hi >> (n - 64));
    return dvrt_w_make(v.hi >> n, (v.lo >> n) | (v.hi << (64 - n)));
}
/* v * 2^n, 0 <= n <= 126. */
static inline dvrt_wide dvrt_w_shl(dvrt_wide v, int32_t n) { return dvrt_w_lsl(v, n); }
/* floor(v / 2^n), 0 <= n <= 127. */
static inline dvrt_wide dvrt_w_sar(dvrt_wide v, int32_t n)
{
    if (v.hi >> 63) {
        dvrt_wide c = dvrt_w_lsr(dvrt_w_make(~v.hi, ~v.lo), n);
        return dvrt_w_make(~c.hi, ~c.lo);
    }
    return dvrt_w_lsr(v, n);
}
/* v modulo 2^n (0 <= result < 2^n), 1 <= n <= 126. */
static inline dvrt_wide dvrt_w_mod_pow2(dvrt_wide v, int32_t n)
{
    if (n >= 64) return dvrt_w_make(n >= 128 ? v.hi : v.hi & ((((uint64_t)1) << (n - 64)) - 1), v.lo);
    return dvrt_w_make(0, v.lo & ((((uint64_t)1) << n) - 1));
}
/* Unsigned long division of n >= 0 by d > 0, one bit at a time. */
static inline void dvrt_w_udivmod(dvrt_wide n, dvrt_wide d, dvrt_wide* q, dvrt_wide* r)
{
    dvrt_wide qq = dvrt_w_u64(0), rr = dvrt_w_u64(0);
    int32_t i;
    for (i = 127; i >= 0; i--) {
        uint64_t bit = i >= 64 ? (n.hi >> (i - 64)) & 1 : (n.lo >> i) & 1;
        rr = dvrt_w_lsl(rr, 1);
        rr.lo |= bit;
        if (dvrt_w_cmp(rr, d) >= 0) {
            rr = dvrt_w_sub(rr, d);
            if (i >= 64) qq.hi |= (uint64_t)1 << (i - 64); else qq.lo |= (uint64_t)1 << i;
        }
    }
    *q = qq;
    *r = rr;
}
/* q = floor(n / d), r = n - q * d (0 <= r < d), for d > 0. */
static inline void dvrt_w_floordiv(dvrt_wide n, dvrt_wide d, dvrt_wide* q, dvrt_wide* r)
{
    if (dvrt_w_sign(n) >= 0) {
        dvrt_w_udivmod(n, d, q, r);
        return;
    }
    dvrt_w_udivmod(dvrt_w_neg(n), d, q, r);
    *q = dvrt_w_neg(*q);
    if (dvrt_w_sign(*r) != 0) {
        *q = dvrt_w_sub(*q, dvrt_w_u64(1));
        *r = dvrt_w_sub(d, *r);
    }
}
/* a % b (sign of a), b != 0. */
static inline dvrt_wide dvrt_w_rem(dvrt_wide a, dvrt_wide b)
{
    dvrt_wide q, r;
    int na = dvrt_w_sign(a) < 0;
    dvrt_w_udivmod(na ? dvrt_w_neg(a) : a, dvrt_w_sign(b) < 0 ? dvrt_w_neg(b) : b, &q, &r);
    return na ? dvrt_w_neg(r) : r;
}
/* An integral double with |r| < 2^126: both words are exact. */
static inline dvrt_wide dvrt_w_from_double(double r)
{
    double m = fabs(r), hi = floor(ldexp(m, -64));
    dvrt_wide w = dvrt_w_make((uint64_t)hi, (uint64_t)(m - ldexp(hi, 64)));
    return r < 0 ? dvrt_w_neg(w) : w;
}
/* Largest s with s*s <= n, for n >= 0. */
static inline dvrt_wide dvrt_w_isqrt(dvrt_wide n)
{
    dvrt_wide x = n, r = dvrt_w_u64(0), bit = dvrt_w_make((uint64_t)1 << 62, 0);
    while (dvrt_w_cmp(bit, x) > 0) bit = dvrt_w_lsr(bit, 2);
    while (dvrt_w_sign(bit) != 0) {
        dvrt_wide rb = dvrt_w_add(r, bit);
        if (dvrt_w_cmp(x, rb) >= 0) {
            x = dvrt_w_sub(x, rb);
            r = dvrt_w_add(dvrt_w_lsr(r, 1), bit);
        } else {
            r = dvrt_w_lsr(r, 1);
        }
        bit = dvrt_w_lsr(bit, 2);
    }
    return r;
}

#endif

/* The helpers, written once over the primitives above. The generator keeps values within 127 bits. */

static inline dvrt_wide dvrt_pow2(int32_t n) { return dvrt_w_shl(dvrt_w_i64(1), n); }

/* Rounds the quotient q (floor) with remainder r (0 <= r < d) and d > 0 by the rounding code. */
static inline dvrt_wide dvrt_round_qr(dvrt_wide q, dvrt_wide r, dvrt_wide d, int32_t rnd, int32_t towardZeroForSimplest)
{
    dvrt_wide up = dvrt_w_add(q, dvrt_w_i64(1));
    int neg = dvrt_w_sign(q) < 0, half;
    if (dvrt_w_sign(r) == 0) return q;
    half = dvrt_w_cmp(dvrt_w_add(r, r), d);
    switch (rnd) {
    case DVRT_CEIL: return up;
    case DVRT_ZERO: return neg ? up : q;
    case DVRT_SIMPLEST: return (towardZeroForSimplest && neg) ? up : q;
    case DVRT_NEAREST: return half >= 0 ? up : q;
    case DVRT_ROUND: return (neg ? half > 0 : half >= 0) ? up : q;
    case DVRT_CONVERGENT: return (half > 0 || (half == 0 && dvrt_w_is_odd(q))) ? up : q;
    default: return q; /* DVRT_FLOOR */
    }
}

/* Keeps a value within a word of wl bits (wrap: two's complement modulo 2^wl; saturate: clamp). */
static inline dvrt_wide dvrt_overflow(dvrt_wide v, int32_t ovf, int32_t wl, int32_t sgn)
{
    dvrt_wide one = dvrt_w_i64(1), hi, lo;
    if (wl >= 127) return v;
    hi = dvrt_w_sub(dvrt_pow2(sgn ? wl - 1 : wl), one);
    lo = sgn ? dvrt_w_neg(dvrt_pow2(wl - 1)) : dvrt_w_i64(0);
    if (dvrt_w_cmp(v, lo) >= 0 && dvrt_w_cmp(v, hi) <= 0) return v;
    if (ovf == DVRT_SAT) return dvrt_w_cmp(v, lo) < 0 ? lo : hi;
    v = dvrt_w_mod_pow2(v, wl);
    if (sgn && dvrt_w_cmp(v, hi) > 0) v = dvrt_w_sub(v, dvrt_pow2(wl));
    return v;
}

/* Stored integer v with a binary point moved by shift (left when positive), rounded and kept in the
   destination word. */
static inline dvrt_wide dvrt_quantize(dvrt_wide v, int32_t shift, int32_t rnd, int32_t ovf, int32_t wl, int32_t sgn)
{
    if (shift > 0) {
        v = dvrt_w_shl(v, shift);
    } else if (shift < 0) {
        dvrt_wide q = dvrt_w_sar(v, -shift);
        v = dvrt_round_qr(q, dvrt_w_sub(v, dvrt_w_shl(q, -shift)), dvrt_pow2(-shift), rnd, 0);
    }
    return dvrt_overflow(v, ovf, wl, sgn);
}

/* (n / d) * 2^shift quantised; division by zero gives the largest or smallest value by n's sign, 0 for 0/0. */
static inline dvrt_wide dvrt_divide(dvrt_wide n, dvrt_wide d, int32_t shift, int32_t rnd, int32_t ovf, int32_t wl, int32_t sgn)
{
    dvrt_wide q, r;
    if (dvrt_w_sign(d) == 0) {
        if (dvrt_w_sign(n) == 0) return dvrt_w_i64(0);
        return dvrt_overflow(dvrt_w_sign(n) > 0 ? dvrt_pow2(126) : dvrt_w_neg(dvrt_pow2(126)), DVRT_SAT, wl, sgn);
    }
    if (shift > 0) n = dvrt_w_shl(n, shift);
    if (shift < 0) d = dvrt_w_shl(d, -shift);
    if (dvrt_w_sign(d) < 0) { n = dvrt_w_neg(n); d = dvrt_w_neg(d); }
    dvrt_w_floordiv(n, d, &q, &r);
    return dvrt_overflow(dvrt_round_qr(q, r, d, rnd, 1), ovf, wl, sgn);
}

/* a % b on stored integers (0 when b is 0). */
static inline dvrt_wide dvrt_rem(dvrt_wide a, dvrt_wide b) { return dvrt_w_sign(b) == 0 ? dvrt_w_i64(0) : dvrt_w_rem(a, b); }

/* A floating value into a stored integer with exponent exp (NaN gives 0). */
static inline dvrt_wide dvrt_from_double(double v, int32_t exp, int32_t rnd, int32_t ovf, int32_t wl, int32_t sgn)
{
    double s = ldexp(v, -exp), f, r;
    if (isnan(s)) return dvrt_w_i64(0);
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
        if (isinf(r) && ovf != DVRT_SAT) return dvrt_w_i64(0);
        if (r <= lo) return dvrt_overflow(dvrt_w_neg(dvrt_pow2(126)), DVRT_SAT, wl, sgn);
        if (r >= hi) return dvrt_overflow(dvrt_pow2(126), DVRT_SAT, wl, sgn);
        return dvrt_w_from_double(r);
    }
    if (fabs(r) >= ldexp(1.0, 126)) r = fmod(r, ldexp(1.0, wl < 126 ? wl : 126));
    return dvrt_overflow(dvrt_w_from_double(r), DVRT_WRAP, wl, sgn);
}

/* Square root of the stored integer v (exponent inExp) as a stored integer of exponent outExp. */
static inline dvrt_wide dvrt_sqrt(dvrt_wide v, int32_t inExp, int32_t outExp, int32_t rnd, int32_t ovf, int32_t wl, int32_t sgn)
{
    int32_t k = inExp - 2 * outExp, m;
    dvrt_wide s, q, one = dvrt_w_i64(1);
    if (dvrt_w_sign(v) <= 0) return dvrt_w_i64(0);
    if (k >= 0) {
        dvrt_wide n = dvrt_w_shl(v, k), rem;
        s = dvrt_w_isqrt(n);
        rem = dvrt_w_sub(n, dvrt_w_mul(s, s));
        if (dvrt_w_sign(rem) != 0) {
            if (rnd == DVRT_CEIL) s = dvrt_w_add(s, one);
            else if (rnd == DVRT_NEAREST || rnd == DVRT_ROUND || rnd == DVRT_CONVERGENT) {
                if (dvrt_w_cmp(rem, s) > 0) s = dvrt_w_add(s, one); /* n >= (s + 1/2)^2 exactly when n - s^2 > s */
            }
        }
        return dvrt_overflow(s, ovf, wl, sgn);
    }
    /* sqrt(v / 2^j) = sqrt(v') / 2^m with v' = v or 2v so that j' = 2m is even. */
    m = (-k + 1) / 2;
    if ((-k) % 2 != 0) v = dvrt_w_add(v, v);
    s = dvrt_w_isqrt(v);
    q = dvrt_w_sar(s, m);
    if (rnd == DVRT_CEIL &&
        !(dvrt_w_cmp(dvrt_w_mul(s, s), v) == 0 && dvrt_w_sign(dvrt_w_mod_pow2(s, m)) == 0))
        q = dvrt_w_add(q, one);
    else if (rnd == DVRT_NEAREST || rnd == DVRT_ROUND || rnd == DVRT_CONVERGENT) {
        q = dvrt_w_sar(dvrt_w_add(s, dvrt_pow2(m - 1)), m);
        /* An exact root halfway between two results goes to the even one. */
        if (rnd == DVRT_CONVERGENT && dvrt_w_is_odd(q) && dvrt_w_cmp(dvrt_w_mul(s, s), v) == 0 &&
            dvrt_w_cmp(dvrt_w_mod_pow2(s, m), dvrt_pow2(m - 1)) == 0)
            q = dvrt_w_sub(q, dvrt_w_i64(1));
    }
    return dvrt_overflow(q, ovf, wl, sgn);
}

#endif /* DRAVO_RT_WIDE_H */
)RT";
}

}  // namespace CG
