// Exact evaluation (GMP rationals) of the fixed-point eigenvalue metric's quantisation steps: every step's
// exact result rounded and fitted into its destination type by the rounding and overflow codes, written
// from their definitions.
#pragma once

#include <gmpxx.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "sysobj.h"

namespace cornertest {

struct QType {
    bool isSigned = true;
    int wl = 16, fl = 0;
};

inline mpq_class pow2q(long n) {
    mpz_class p;
    mpz_ui_pow_ui(p.get_mpz_t(), 2, static_cast<unsigned long>(n < 0 ? -n : n));
    if (n >= 0) return mpq_class(p);
    mpq_class q(mpz_class(1), p);
    q.canonicalize();
    return q;
}

inline mpz_class floorQ(const mpq_class& x) {
    mpz_class f;
    mpz_fdiv_q(f.get_mpz_t(), x.get_num_mpz_t(), x.get_den_mpz_t());
    return f;
}

// Rounds a value scaled onto the integer grid, given its floor, how its fraction compares with one half
// (-1 below, 0 equal, 1 above; exact: the fraction is zero) and its sign.
inline mpz_class roundScaled(const mpz_class& fl, bool exact, int vsHalf, bool negative, int rounding) {
    if (exact) return fl;
    switch (rounding) {
        case 0:  // toward zero
            return negative ? fl + 1 : fl;
        case 1:  // nearest, ties up
            return vsHalf >= 0 ? fl + 1 : fl;
        case 2:  // ceiling
            return fl + 1;
        case 3:  // floor
        case 4:  // simplest (not a division)
            return fl;
        case 5:  // ties away from zero
            return vsHalf > 0 || (vsHalf == 0 && !negative) ? fl + 1 : fl;
        default: {  // ties to even
            if (vsHalf != 0) return vsHalf > 0 ? fl + 1 : fl;
            return mpz_even_p(fl.get_mpz_t()) ? fl : fl + 1;
        }
    }
}

inline mpz_class fitWord(mpz_class v, const QType& t, int overflow) {
    const mpq_class span = pow2q(t.wl);
    const mpz_class lo = t.isSigned ? mpz_class(-floorQ(pow2q(t.wl - 1))) : mpz_class(0);
    const mpz_class hi = lo + span.get_num() - 1;
    if (v >= lo && v <= hi) return v;
    if (overflow == 1) return v < lo ? lo : hi;
    mpz_class r = v - lo;
    mpz_fdiv_r(r.get_mpz_t(), r.get_mpz_t(), span.get_num_mpz_t());
    return r + lo;
}

// The stored integer of x quantised into t.
inline mpz_class storedOf(const mpq_class& x, const QType& t, int rounding, int overflow) {
    const mpq_class y = x * pow2q(t.fl);
    const mpz_class f = floorQ(y);
    const mpq_class frac = y - mpq_class(f);
    const int vsHalf = cmp(frac, mpq_class(1, 2));
    return fitWord(roundScaled(f, frac == 0, vsHalf, y < 0, rounding), t, overflow);
}

inline mpq_class quantised(const mpq_class& x, const QType& t, int rounding, int overflow) {
    return mpq_class(storedOf(x, t, rounding, overflow)) * pow2q(-t.fl);
}

// sqrt(x) quantised into t (0 for x <= 0): the exact root rounded by the mode.
inline mpq_class qSqrt(const mpq_class& x, const QType& t, int rounding, int overflow) {
    if (x <= 0) return 0;
    const mpq_class y = x * pow2q(2L * t.fl);  // sqrt(x) * 2^fl = sqrt(y)
    const mpz_class fy = floorQ(y);
    mpz_class s;
    mpz_sqrt(s.get_mpz_t(), fy.get_mpz_t());  // floor(sqrt(y)) = floor(sqrt(floor(y)))
    const bool exact = mpq_class(s * s) == y;
    const mpq_class half = mpq_class(s) + mpq_class(1, 2);
    const int vsHalf = cmp(y, half * half);
    return mpq_class(fitWord(roundScaled(s, exact, vsHalf, false, rounding), t, overflow)) * pow2q(-t.fl);
}

struct FixedRoles {
    QType image, memory, product, accum, output, coeff, factor, sqrtType;
    int rounding = 1, overflow = 1;
};

// The block's documented fixed-point sequence on exact values. W and k are the stored coefficient values.
inline std::vector<mpq_class> fixedMetric(const std::vector<mpq_class>& X, int M, int N,
                                          const std::vector<mpq_class>& taps, bool harris, const mpq_class& k,
                                          const FixedRoles& r) {
    const int L = int(taps.size()), h = (L - 1) / 2, Rp = M + L - 1;
    const int rm = r.rounding, om = r.overflow;
    auto mem = [&](const mpq_class& v) { return quantised(v, r.memory, rm, om); };
    auto prod = [&](const mpq_class& v) { return quantised(v, r.product, rm, om); };
    auto acc = [&](const mpq_class& v) { return quantised(v, r.accum, rm, om); };
    auto rowPad = [&](int p) { return std::min(std::max(p - h, 1), M - 2); };
    auto colPad = [&](int p) { return std::min(std::max(p - h, 1), N - 2); };
    std::vector<std::vector<mpq_class>> P(3, std::vector<mpq_class>(size_t(L) * Rp));
    std::vector<mpq_class> out(size_t(M) * N);
    int s = 0, o = 0;
    for (int col = 0; col < N + L - 1; ++col) {
        const int n = s + 1 < L ? s + 1 : 0;
        for (int i = 0; i < Rp; ++i) {
            const int row = rowPad(i), c = colPad(col);
            mpq_class gx = mem(X[row + (c - 1) * M]);
            gx = mem(gx - X[row + (c + 1) * M]);
            mpq_class gy = mem(X[row - 1 + c * M]);
            gy = mem(gy - X[row + 1 + c * M]);
            P[0][s * Rp + i] = mem(gx * gx);
            P[1][s * Rp + i] = mem(gy * gy);
            P[2][s * Rp + i] = mem(gx * gy);
        }
        if (col >= L - 1) {
            for (auto& plane : P) {
                for (int i = 0; i < Rp; ++i) {
                    mpq_class a = 0;
                    for (int t = 0; t < L; ++t) {
                        // Column in slot t has age (s - t) mod L and weight w(L-1-age).
                        const int age = (s - t + L) % L;
                        a = acc(a + prod(plane[t * Rp + i] * taps[L - 1 - age]));
                    }
                    plane[n * Rp + i] = mem(a);
                }
                for (int m = 0; m < M; ++m) {
                    mpq_class a = 0;
                    for (int t = 0; t < L; ++t)
                        a = acc(a + prod(plane[n * Rp + m + t] * taps[t]));
                    plane[n * Rp + m] = mem(a);
                }
            }
            for (int m = 0; m < M; ++m) {
                const mpq_class A = P[0][n * Rp + m], B = P[1][n * Rp + m], D = P[2][n * Rp + m];
                mpq_class t1, t2;
                if (harris) {
                    t1 = mem(A + B);
                    t2 = mem(prod(t1 * t1));
                    t2 = mem(t2 * k);
                    t1 = mem(A * B);
                    t1 = mem(t1 - prod(D * D));
                    t1 = mem(t1 - t2);
                } else {
                    t1 = mem(A - B);
                    t2 = mem(prod(t1 * t1));
                    t1 = mem(D * D);
                    t1 = mem(t1 * 4);
                    t1 = mem(t1 + t2);
                    const mpq_class root = qSqrt(t1, r.sqrtType, rm, om);
                    t2 = mem(root);
                    t1 = mem(A + B);
                    t1 = mem(t1 - t2);
                }
                out[o++] = quantised(t1, r.output, rm, om);
            }
        }
        s = n;
    }
    (void)h;
    return out;
}

// Largest fraction length at which every value rounds (ties away) into a signed word of wl bits.
inline int bestPrecision(const std::vector<double>& values, int wl) {
    for (int fl = 2 * wl + 64; fl > -2 * wl - 64; --fl) {
        bool fits = true;
        for (double v : values) {
            const double s = std::round(std::ldexp(v, fl));
            if (s > std::ldexp(1.0, wl - 1) - 1 || s < -std::ldexp(1.0, wl - 1)) fits = false;
        }
        if (fits) return fl;
    }
    return 0;
}

// A double rounded (ties away from zero) and saturated onto a type's grid, as run-time parameters store it.
inline mpq_class storedParam(double v, const QType& t) {
    return quantised(mpq_class(v), t, 5, 1);
}

// Rounding popup (1..7) to the library's codes.
constexpr int kRoundingCode[8] = {-1, 2, 6, 3, 1, 5, 4, 0};

// An image type and the five fixed-point roles of a case, with the filter taps.
struct RoleCase {
    const char* name;
    DataTypeId image;
    QType imageType;
    QType memory, product, accum, output;
    int coeffMode;  // 0 explicit (coeff), 1 best precision with coeff.wl
    QType coeff;
    std::vector<double> taps;
};

}  // namespace cornertest
