// The eigenvalue corner metrics on floating images: gradients, their three products, a separable smoothing
// filter of L taps over a circular buffer of L columns with replicated borders, then the Harris or the
// minimum-eigenvalue measure. Every step computes and stores in U (double or float), in the order the
// block documents, so generated code can reproduce each value exactly.
//
// Memory: the pad buffer of 3 planes x L slots x Rp = M + L - 1 rows and the index tables are the block's
// work vectors; nothing is allocated here. The loops run over whole columns in blocks of rows so that the
// compiler keeps each row's order of operations and still uses vector registers.
//
// The kernel templates have internal linkage (an unnamed namespace), so that units compiled for different
// instruction sets each keep their own copy; runEigenKernel picks the widest one the processor has.
#pragma once

#include <cmath>
#include <cstdint>

namespace quobit {

// NEXT[t] = t+1 (last: 0); ROWPAD[p] = clamp(p - (L-1)/2, 1, M-2) for p < M+L-1; COLPAD likewise over N.
inline void fillNextTable(int32_t L, int32_t* next) {
    for (int32_t t = 0; t < L; ++t)
        next[t] = t + 1 < L ? t + 1 : 0;
}
inline void fillPadTable(int32_t K, int32_t L, int32_t* pad) {
    const int32_t half = (L - 1) / 2;
    for (int32_t p = 0; p < K + L - 1; ++p) {
        int32_t v = p - half;
        v = v < 1 ? 1 : v;
        pad[p] = v > K - 2 ? K - 2 : v;
    }
}
// COLRANGE = 0, L-1, L-1, N+L-1 and ROWRANGE = 2, 1, 0, 0, L-1, M+L-1.
inline void fillRangeTables(int32_t M, int32_t N, int32_t L, int32_t* colRange, int32_t* rowRange) {
    colRange[0] = 0;
    colRange[1] = L - 1;
    colRange[2] = L - 1;
    colRange[3] = N + L - 1;
    rowRange[0] = 2;
    rowRange[1] = 1;
    rowRange[2] = 0;
    rowRange[3] = 0;
    rowRange[4] = L - 1;
    rowRange[5] = M + L - 1;
}

template <class U>
struct EigenKernelData {
    const U* image = nullptr;  // M x N, column-major
    U* out = nullptr;          // M x N
    int32_t M = 0, N = 0, L = 0;
    U* pad = nullptr;  // 3 * L * (M + L - 1)
    const int32_t* next = nullptr;
    const int32_t* colPad = nullptr;
    const int32_t* rowPad = nullptr;
    const int32_t* colRange = nullptr;
    const int32_t* rowRange = nullptr;
    const U* W = nullptr;  // 2L coefficients: w0..w(L-1) twice
    U k = U(0);
    bool harris = true;
};

// The kernel for this processor (vector units chosen once); defined for float and double.
template <class U>
void runEigenKernel(const EigenKernelData<U>& d);

namespace eigendetail {
namespace {

constexpr int32_t kBlock = 16;

// Gradient products of padded column q into slot s of the three planes.
template <class U>
inline void gradientColumn(const EigenKernelData<U>& d, int32_t q, U* p0, U* p1, U* p2) {
    const int32_t M = d.M, Rp = d.M + d.L - 1;
    const int32_t c = d.colPad[q];
    const U* col = d.image + int64_t(c) * M;
    const U* left = col - M;
    const U* right = col + M;
    // Interior padded rows map onto consecutive image rows; only the replicated borders need the table.
    const int32_t half = (d.L - 1) / 2;
    const int32_t first = half + 1, last = half + M - 2;  // padded rows whose source row is p - half
    for (int32_t p = 0; p < Rp; ++p) {
        if (p == first) {
            const U* l = left - half;
            const U* r = right - half;
            const U* up = col - half - 1;
            const U* down = col - half + 1;
            for (; p <= last; ++p) {
                const U gx = U(l[p] - r[p]);
                const U gy = U(up[p] - down[p]);
                p0[p] = U(gx * gx);
                p1[p] = U(gy * gy);
                p2[p] = U(gx * gy);
            }
            if (p >= Rp) break;
        }
        const int32_t r = d.rowPad[p];
        const U gx = U(left[r] - right[r]);
        const U gy = U(col[r - 1] - col[r + 1]);
        p0[p] = U(gx * gx);
        p1[p] = U(gy * gy);
        p2[p] = U(gx * gy);
    }
}

// Horizontal pass into slot n: P(n, i) = sum over slots t in order of P(t, i) * w[t].
template <class U>
inline void horizontalPass(U* plane, int32_t L, int32_t Rp, int32_t n, const U* w, int32_t from, int32_t to) {
    U* dst = plane + int64_t(n) * Rp;
    int32_t i = from;
    for (; i + kBlock <= to; i += kBlock) {
        U acc[kBlock];
        for (int32_t j = 0; j < kBlock; ++j)
            acc[j] = U(0);
        for (int32_t t = 0; t < L; ++t) {
            const U* src = plane + int64_t(t) * Rp + i;
            const U wt = w[t];
            for (int32_t j = 0; j < kBlock; ++j)
                acc[j] = U(acc[j] + U(src[j] * wt));
        }
        for (int32_t j = 0; j < kBlock; ++j)
            dst[i + j] = acc[j];
    }
    for (; i < to; ++i) {
        U acc = U(0);
        for (int32_t t = 0; t < L; ++t)
            acc = U(acc + U(plane[int64_t(t) * Rp + i] * w[t]));
        dst[i] = acc;
    }
}

// Vertical pass in place in slot n: P(n, m) = sum over t of P(n, m + t) * W[t], rows upward.
template <class U>
inline void verticalPass(U* col, int32_t L, int32_t rows, const U* W) {
    int32_t m = 0;
    for (; m + kBlock <= rows; m += kBlock) {
        U acc[kBlock];
        for (int32_t j = 0; j < kBlock; ++j)
            acc[j] = U(0);
        for (int32_t t = 0; t < L; ++t) {
            const U* src = col + m + t;
            const U wt = W[t];
            for (int32_t j = 0; j < kBlock; ++j)
                acc[j] = U(acc[j] + U(src[j] * wt));
        }
        for (int32_t j = 0; j < kBlock; ++j)
            col[m + j] = acc[j];
    }
    for (; m < rows; ++m) {
        U acc = U(0);
        for (int32_t t = 0; t < L; ++t)
            acc = U(acc + U(col[m + t] * W[t]));
        col[m] = acc;
    }
}

template <class U>
inline void harrisColumn(const U* A, const U* B, const U* D, U* out, int32_t rows, U k) {
    for (int32_t m = 0; m < rows; ++m) {
        U t1 = U(A[m] + B[m]);
        U t2 = U(t1 * t1);
        t2 = U(k * t2);
        t1 = U(A[m] * B[m]);
        t1 = U(t1 - U(D[m] * D[m]));
        out[m] = U(t1 - t2);
    }
}

template <class U>
inline void minEigenColumn(const U* A, const U* B, const U* D, U* out, int32_t rows) {
    for (int32_t m = 0; m < rows; ++m) {
        U t1 = U(A[m] - B[m]);
        const U t2 = U(t1 * t1);
        t1 = U(D[m] * D[m]);
        t1 = U(U(4) * t1);
        t1 = U(t2 + t1);
        const U r = std::sqrt(t1);
        t1 = U(A[m] + B[m]);
        out[m] = U(t1 - r);
    }
}

}  // namespace
}  // namespace eigendetail

namespace {

// Writes all M x N outputs. The tables must have been filled for M, N and L.
template <class U>
void eigenKernel(const EigenKernelData<U>& d) {
    using namespace eigendetail;
    const int32_t L = d.L, Rp = d.M + d.L - 1;
    const int64_t S1 = int64_t(L) * Rp;
    U* planes[3] = {d.pad, d.pad + S1, d.pad + 2 * S1};
    int32_t s = 0;
    U* out = d.out;
    for (int32_t pass = 0; pass < 2; ++pass) {
        const int32_t qFrom = d.colRange[2 * pass], qTo = d.colRange[2 * pass + 1];
        const int32_t hFrom = d.rowRange[3 * pass], hTo = d.rowRange[3 * pass + 2];
        const int32_t vRows = d.rowRange[3 * pass + 2] - d.rowRange[3 * pass + 1];
        for (int32_t q = qFrom; q < qTo; ++q) {
            const int32_t n = d.next[s];
            const int64_t slot = int64_t(s) * Rp;
            gradientColumn(d, q, planes[0] + slot, planes[1] + slot, planes[2] + slot);
            if (vRows > 0) {
                // The doubled coefficients give the column of age a the weight w(L-1-a).
                const U* w = d.W + (L - 1 - s);
                for (U* plane : planes) {
                    horizontalPass(plane, L, Rp, n, w, hFrom, hTo);
                    verticalPass(plane + int64_t(n) * Rp, L, vRows, d.W);
                }
                const int64_t col = int64_t(n) * Rp;
                if (d.harris)
                    harrisColumn(planes[0] + col, planes[1] + col, planes[2] + col, out, vRows, d.k);
                else
                    minEigenColumn(planes[0] + col, planes[1] + col, planes[2] + col, out, vRows);
                out += vRows;
            }
            s = n;
        }
    }
}

}  // namespace
}  // namespace quobit
