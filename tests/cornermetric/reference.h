// Independent references for the eigenvalue corner metrics.
//
// formulaMetric: the metric from its definition, in long double: gradients with the edge rows and columns
// taking the adjacent interior gradient, the three products, a 2-D correlation with w(a)·w(b) over the
// gradient image extended by replication, then A·B - D² - k(A+B)² or (A+B) - sqrt((A-B)² + 4D²).
//
// transcribedMetric: the block's documented steps written out literally (circular buffer of L columns,
// doubled coefficients, sums in slot order, rows upward), computing and storing in U; the kernel must
// agree with it bit for bit.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace cornertest {

inline int32_t clampIndex(int32_t v, int32_t lo, int32_t hi) {
    return std::min(std::max(v, lo), hi);
}

template <class V>
std::vector<long double> formulaMetric(const std::vector<V>& X, int32_t M, int32_t N,
                                       const std::vector<double>& w, bool harris, long double k) {
    const int32_t L = int32_t(w.size()), h = (L - 1) / 2;
    auto at = [&](int32_t r, int32_t c) { return (long double)X[size_t(r) + size_t(c) * M]; };
    std::vector<long double> xx(size_t(M) * N), yy(xx.size()), xy(xx.size());
    for (int32_t c = 0; c < N; ++c)
        for (int32_t r = 0; r < M; ++r) {
            const int32_t rr = clampIndex(r, 1, M - 2), cc = clampIndex(c, 1, N - 2);
            const long double gx = at(rr, cc - 1) - at(rr, cc + 1);
            const long double gy = at(rr - 1, cc) - at(rr + 1, cc);
            xx[r + size_t(c) * M] = gx * gx;
            yy[r + size_t(c) * M] = gy * gy;
            xy[r + size_t(c) * M] = gx * gy;
        }
    std::vector<long double> out(xx.size());
    for (int32_t c = 0; c < N; ++c)
        for (int32_t r = 0; r < M; ++r) {
            long double A = 0, B = 0, D = 0;
            for (int32_t a = 0; a < L; ++a)
                for (int32_t b = 0; b < L; ++b) {
                    const int32_t rr = clampIndex(r + a - h, 0, M - 1), cc = clampIndex(c + b - h, 0, N - 1);
                    const long double wt = (long double)w[a] * w[b];
                    A += wt * xx[rr + size_t(cc) * M];
                    B += wt * yy[rr + size_t(cc) * M];
                    D += wt * xy[rr + size_t(cc) * M];
                }
            out[r + size_t(c) * M] = harris ? A * B - D * D - k * (A + B) * (A + B)
                                            : (A + B) - std::sqrt((A - B) * (A - B) + 4 * D * D);
        }
    return out;
}

template <class U>
std::vector<U> transcribedMetric(const std::vector<U>& X, int32_t M, int32_t N,
                                 const std::vector<double>& taps, bool harris, U k) {
    const int32_t L = int32_t(taps.size()), Rp = M + L - 1, S1 = L * Rp, S2 = 2 * S1;
    std::vector<U> W(2 * L);
    for (int32_t t = 0; t < L; ++t)
        W[t] = W[t + L] = U(taps[t]);
    std::vector<int32_t> NEXT(L), ROWPAD(Rp), COLPAD(N + L - 1);
    for (int32_t t = 0; t < L; ++t)
        NEXT[t] = t < L - 1 ? t + 1 : 0;
    for (int32_t p = 0; p < Rp; ++p)
        ROWPAD[p] = std::min(std::max(p - (L - 1) / 2, 1), M - 2);
    for (int32_t p = 0; p < N + L - 1; ++p)
        COLPAD[p] = std::min(std::max(p - (L - 1) / 2, 1), N - 2);
    const int32_t COLRANGE[4] = {0, L - 1, L - 1, N + L - 1};
    const int32_t ROWRANGE[6] = {2, 1, 0, 0, L - 1, Rp};
    std::vector<U> P(3 * S1), out(size_t(M) * N);
    int32_t s = 0, o = 0;
    for (int32_t pass = 0; pass < 2; ++pass) {
        for (int32_t q = COLRANGE[2 * pass]; q < COLRANGE[2 * pass + 1]; ++q) {
            const int32_t n = NEXT[s];
            for (int32_t i = 0; i < Rp; ++i) {
                const int32_t r = ROWPAD[i], c = COLPAD[q];
                U gx = X[r + (c - 1) * M];
                gx = gx - X[r + (c + 1) * M];
                U gy = X[r - 1 + c * M];
                gy = gy - X[r + 1 + c * M];
                P[s * Rp + i] = gx;
                P[s * Rp + i] = P[s * Rp + i] * gx;
                P[S1 + s * Rp + i] = gy;
                P[S1 + s * Rp + i] = P[S1 + s * Rp + i] * gy;
                P[S2 + s * Rp + i] = gx;
                P[S2 + s * Rp + i] = P[S2 + s * Rp + i] * gy;
            }
            for (int32_t plane = 0; plane < 3; ++plane) {
                U* Q = P.data() + plane * S1;
                for (int32_t i = ROWRANGE[3 * pass]; i < ROWRANGE[3 * pass + 2]; ++i) {
                    U acc = 0;
                    for (int32_t t = 0; t < L; ++t) {
                        const U prod = Q[t * Rp + i] * W[L - 1 - s + t];
                        acc = acc + prod;
                    }
                    Q[n * Rp + i] = acc;
                }
                for (int32_t m = 0; m <= ROWRANGE[3 * pass + 2] - ROWRANGE[3 * pass + 1] - 1; ++m) {
                    U acc = 0;
                    for (int32_t t = 0; t < L; ++t) {
                        const U prod = Q[n * Rp + m + t] * W[t];
                        acc = acc + prod;
                    }
                    Q[n * Rp + m] = acc;
                }
            }
            for (int32_t m = 0; m <= ROWRANGE[3 * pass + 2] - ROWRANGE[3 * pass + 1] - 1; ++m) {
                const U A = P[n * Rp + m], B = P[S1 + n * Rp + m], D = P[S2 + n * Rp + m];
                U t1, t2;
                if (harris) {
                    t1 = A + B;
                    t2 = t1 * t1;
                    t2 = k * t2;
                    t1 = A * B;
                    const U dd = D * D;
                    t1 = t1 - dd;
                    t1 = t1 - t2;
                } else {
                    t1 = A - B;
                    t2 = t1 * t1;
                    t1 = D * D;
                    t1 = U(4) * t1;
                    t1 = t2 + t1;
                    const U r = std::sqrt(t1);
                    t2 = r;
                    t1 = A + B;
                    t1 = t1 - t2;
                }
                out[o++] = t1;
            }
            s = n;
        }
    }
    return out;
}

}  // namespace cornertest
