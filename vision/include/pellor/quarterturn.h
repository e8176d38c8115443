// Whole quarter and half turns of one image plane by index permutation, written into a destination plane
// at a row and column offset. Counterclockwise as displayed with row 0 at the top: a quarter turn sends
// (row i, column j) of an R x C plane to (C-1-j, i). Column-major planes; the caller guarantees that the
// turned plane fits the destination at the offsets. Tiled so that both sides stay in cache.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "pellor/anglemath.h"

namespace pellor {

inline constexpr int64_t kTurnTile = 128;
inline constexpr int64_t kTurnRows = 8;  // input rows moved together: one input column read 8 samples wide

template <typename T>
void turnPlaneInto(const T* in, int32_t rows, int32_t cols, Quadrant turn, T* dst, int32_t dstRows,
                   int32_t rowOff, int32_t colOff) {
    const int64_t R = rows, C = cols, D = dstRows;
    T* base = dst + rowOff + int64_t(colOff) * D;
    switch (turn) {
        case Quadrant::None:
            for (int64_t j = 0; j < C; ++j)
                std::memcpy(base + j * D, in + j * R, size_t(R) * sizeof(T));
            return;
        case Quadrant::Half:
            // (i, j) -> (R-1-i, C-1-j): each column reversed into the mirrored column.
            for (int64_t j = 0; j < C; ++j) {
                const T* s = in + j * R;
                T* d = base + (C - 1 - j) * D + (R - 1);
                for (int64_t i = 0; i < R; ++i)
                    d[-i] = s[i];
            }
            return;
        case Quadrant::QuarterCounter:
            // (i, j) -> (C-1-j, i)
            for (int64_t i0 = 0; i0 < R; i0 += kTurnTile) {
                const int64_t i1 = std::min(R, i0 + kTurnTile);
                for (int64_t j0 = 0; j0 < C; j0 += kTurnTile) {
                    const int64_t j1 = std::min(C, j0 + kTurnTile);
                    int64_t i = i0;
                    for (; i + kTurnRows <= i1; i += kTurnRows) {
                        T* d = base + i * D + (C - 1);
                        for (int64_t j = j0; j < j1; ++j) {
                            const T* s = in + i + j * R;
                            for (int64_t k = 0; k < kTurnRows; ++k)
                                d[k * D - j] = s[k];
                        }
                    }
                    for (; i < i1; ++i) {
                        T* d = base + i * D + (C - 1);
                        for (int64_t j = j0; j < j1; ++j)
                            d[-j] = in[i + j * R];
                    }
                }
            }
            return;
        case Quadrant::QuarterClockwise:
            // (i, j) -> (j, R-1-i)
            for (int64_t i0 = 0; i0 < R; i0 += kTurnTile) {
                const int64_t i1 = std::min(R, i0 + kTurnTile);
                for (int64_t j0 = 0; j0 < C; j0 += kTurnTile) {
                    const int64_t j1 = std::min(C, j0 + kTurnTile);
                    int64_t i = i0;
                    for (; i + kTurnRows <= i1; i += kTurnRows) {
                        T* d = base + (R - 1 - i) * D;
                        for (int64_t j = j0; j < j1; ++j) {
                            const T* s = in + i + j * R;
                            for (int64_t k = 0; k < kTurnRows; ++k)
                                d[j - k * D] = s[k];
                        }
                    }
                    for (; i < i1; ++i) {
                        T* d = base + (R - 1 - i) * D;
                        for (int64_t j = j0; j < j1; ++j)
                            d[j] = in[i + j * R];
                    }
                }
            }
            return;
    }
}

// The quarter-turn copy of the block: q quarter turns (0..3) of every plane; the output plane is C x R for
// odd q. Whole planes move with one block copy when q is 0.
template <typename T>
void quarterTurnCopy(const T* in, int32_t rows, int32_t cols, int32_t planes, int32_t q, T* out) {
    const int64_t planeSize = int64_t(rows) * cols;
    if (q == 0) {
        if (in != out) std::memmove(out, in, size_t(planeSize * planes) * sizeof(T));
        return;
    }
    for (int64_t p = 0; p < planes; ++p) {
        const T* s = in + p * planeSize;
        T* d = out + p * planeSize;
        if (q == 2) {
            // Output index R*C-1-n takes input index n.
            for (int64_t n = 0; n < planeSize; ++n)
                d[planeSize - 1 - n] = s[n];
        } else if (q == 1) {
            turnPlaneInto(s, rows, cols, Quadrant::QuarterCounter, d, cols, 0, 0);
        } else {
            turnPlaneInto(s, rows, cols, Quadrant::QuarterClockwise, d, cols, 0, 0);
        }
    }
}

}  // namespace pellor
