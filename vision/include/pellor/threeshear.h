// Rotation by three shears (horizontal, vertical, horizontal) of every plane of an image.
//
// The input plane is first turned by the quarter or half turn that the angle reduction took out and placed
// in the sheared buffer (column-major, `stride` rows); pass 1 shears its rows by tan(theta/2), pass 2 its
// columns by sin(theta), pass 3 shears the rows once more by tan(theta/2) straight into the output, cut to
// the output's window. Every read and write stays inside its buffer: rows and columns the geometry would
// put outside the output, the sheared buffer or the line buffer are clipped, and output positions left
// unwritten keep the plane's fill value. Allocates nothing.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "pellor/anglemath.h"
#include "pellor/geometry.h"
#include "pellor/quarterturn.h"
#include "pellor/skew.h"

namespace pellor {

// What stays fixed for an instance (sizes change only through setInputDims in variable-size mode).
template <typename T>
struct ShearSetup {
    int32_t rows = 0, cols = 0, planes = 1;  // input R x C x P
    int32_t fullRows = 0, fullCols = 0;      // Rf x Cf
    int32_t outRows = 0, outCols = 0;        // one output plane
    bool sameSize = false;
    bool centred = false;
    SkewAtFcn<T> skew = nullptr;   // skewAtForMethod(method)
    int32_t method = 0;            // 1 nearest, 2 bilinear, 3 bicubic; 0: always through the line buffer
    const T* sineTable = nullptr;  // null: trigonometric functions
    T* sheared = nullptr;
    int32_t shearedLen = 0;
    T* line = nullptr;
    int32_t lineLen = 0;
};

// The layout of one step, from the geometry alone. Every row and column sits where the geometry puts it:
// the buffer's stride holds the rotated rows (which can exceed the full size by the parity step, near a
// quarter turn) and the line buffer holds a sheared row and a sheared column. `fits` says whether the work
// vectors hold that; set-up sizes them so that they do.
struct ShearLayout {
    int32_t rowsPre, colsPre;  // R' x C'
    int32_t rowOffset, rowPad, colPad, stride, usedCols;
    int32_t columnLen;  // samples of a buffer column that pass 2 shears
    int32_t rowShift, colShift;
    bool fits;
};

// Rows of the sheared buffer that one step needs: the full rows, the image rows and the rotated rows.
inline int32_t shearStride(int32_t fullRows, int32_t rowsPre, int32_t rotatedRows) {
    return std::max({fullRows, rowsPre, rotatedRows});
}

template <typename T>
ShearLayout shearLayout(const ShearSetup<T>& s, const ShearGeometry<T>& g, bool swap) {
    ShearLayout l{};
    l.rowsPre = swap ? s.cols : s.rows;
    l.colsPre = swap ? s.rows : s.cols;
    l.rowOffset = (g.rotatedRows - l.rowsPre) / 2;
    l.rowPad = std::max(l.rowOffset, 0);
    l.stride = shearStride(s.fullRows, l.rowsPre, g.rotatedRows);
    l.usedCols = g.shearedWidth;
    l.colPad = std::max((l.usedCols - l.colsPre) / 2, 0);
    l.columnLen = l.rowOffset >= 0 ? std::max(s.fullRows, g.rotatedRows) : l.rowsPre;
    l.fits = l.usedCols >= l.colsPre && l.stride > 0 && int64_t(l.stride) * l.usedCols <= s.shearedLen &&
             l.usedCols <= s.lineLen && l.columnLen <= s.lineLen && l.rowsPre <= s.lineLen;
    l.rowShift = 0;
    l.colShift = 0;
    if (!s.sameSize && s.centred) {
        l.rowShift = (s.fullRows - g.rotatedRows) / 2;
        l.colShift = (s.fullCols - g.rotatedCols) / 2;
    }
    return l;
}

namespace sheardetail {

template <typename T>
void fillRange(T* d, int64_t count, T v) {
    skewdetail::fillPositions(d, 0, count, 1, v);
}

// The fill value in the sheared buffer wherever pass 2 reads what pass 1 does not write: above and below
// the image rows in every column in use.
template <typename T>
void fillAroundImageRows(const ShearSetup<T>& s, const ShearLayout& l, T v) {
    const int64_t stride = l.stride;
    for (int64_t c = 0; c < l.usedCols; ++c) {
        T* col = s.sheared + c * stride;
        fillRange(col, l.rowPad, v);
        fillRange(col + l.rowPad + l.rowsPre, stride - l.rowPad - l.rowsPre, v);
    }
}

// A column moved by a whole number of positions without the line buffer: the same values as skewing it
// into the line buffer and copying `copied` samples back after `bufShift` fill values.
template <typename T>
void moveColumnInPlace(T* col, int32_t len, int64_t move, int32_t bufShift, int32_t copied, T v) {
    // Destination position p (0 <= p < copied) takes sample p - move when that lies in [0, len).
    const int64_t lo = std::clamp<int64_t>(move, 0, copied);
    const int64_t hi = std::clamp<int64_t>(move + len, lo, copied);
    if (hi > lo) std::memmove(col + bufShift + lo, col + (lo - move), size_t(hi - lo) * sizeof(T));
    fillRange(col, bufShift + lo, v);
    fillRange(col + bufShift + hi, copied - hi, v);
}

// Row r of the plane turned by the quarter or half turn that the reduction took out, read in place:
// its first sample and the step between samples.
struct TurnedRow {
    int32_t start, step;
};

inline TurnedRow turnedRow(Quadrant turn, int32_t rows, int32_t cols, int32_t r) {
    switch (turn) {
        case Quadrant::QuarterCounter:
            return {(cols - 1 - r) * rows, 1};  // input column C-1-r
        case Quadrant::Half:
            return {(rows - 1 - r) + (cols - 1) * rows, -rows};  // input row R-1-r, reversed
        case Quadrant::QuarterClockwise:
            return {(rows - 1) + r * rows, -1};  // input column r, reversed
        default:
            return {r, rows};  // input row r
    }
}

// Lines are worked in bands of kBandLines neighbouring lines and kBandWidth positions, so that the
// strided accesses of neighbouring lines share cache lines and pages.
inline constexpr int32_t kBandLines = 64;
inline constexpr int32_t kBandWidth = 128;

}  // namespace sheardetail

// Where pass 3 writes: output rows [kLo, kHi) take rows b = k + rowFromOut of the sheared buffer (moved down
// by bufShift), output columns from firstCol take line positions [firstPos, endPos).
struct OutputWindow {
    int32_t N, L2, bufShift, copied;
    int32_t r0, L3, rowFromOut;
    int32_t firstPos, endPos, firstCol;
    int32_t kLo, kHi;
    bool empty() const { return firstPos >= endPos || kLo >= kHi; }
};

template <typename T>
OutputWindow outputWindow(const ShearSetup<T>& s, const ShearGeometry<T>& g, const ShearLayout& l) {
    OutputWindow w{};
    const int32_t Rp = l.rowsPre, H = g.rotatedRows, W = g.rotatedCols;
    w.N = l.colsPre + 2 * l.colPad;
    w.L2 = std::min(l.columnLen, l.stride);
    w.bufShift = std::clamp(l.rowShift, 0, l.stride);
    w.copied = std::max(std::min(w.L2, l.stride - w.bufShift), 0);
    w.L3 = l.rowOffset >= 0 ? H : Rp;
    w.r0 = std::max(-l.rowOffset, 0);
    // Only rows of the rotated image that pass 2 wrote are read: never past H, never past the buffer.
    const int32_t endValid = std::min(w.r0 + H, w.copied);
    int32_t posFromOut, posLo, posHi;
    if (s.sameSize) {
        w.rowFromOut = w.r0 + (H - s.rows) / 2;
        posFromOut = (w.N - s.cols) / 2;
        posLo = 0;
        posHi = posFromOut + s.outCols;
    } else {
        w.rowFromOut = w.r0 - l.rowShift;
        if (w.N >= W) {
            posLo = (w.N - W) / 2;
            posFromOut = posLo - l.colShift;
        } else {
            posLo = 0;
            posFromOut = -saturatingTrunc((double(s.fullCols) - w.N) * 0.5);
        }
        posHi = posLo + W;
    }
    w.firstPos = std::max(posLo, posFromOut);
    w.endPos = std::min(posHi, posFromOut + s.outCols);
    w.firstCol = w.firstPos - posFromOut;
    w.kLo = std::max(0, w.r0 - w.rowFromOut);
    w.kHi = std::min(s.outRows, endValid - w.rowFromOut);
    return w;
}

// The fill value everywhere pass 3 does not write.
template <typename T>
void fillOutsideWindow(T* out, int32_t outRows, int32_t outCols, const OutputWindow& w, T v) {
    using sheardetail::fillRange;
    if (w.empty()) {
        fillRange(out, int64_t(outRows) * outCols, v);
        return;
    }
    const int64_t colEnd = int64_t(w.firstCol) + (w.endPos - w.firstPos);
    fillRange(out, int64_t(w.firstCol) * outRows, v);
    for (int64_t c = w.firstCol; c < colEnd; ++c) {
        T* col = out + c * outRows;
        fillRange(col, w.kLo, v);
        fillRange(col + w.kHi, outRows - w.kHi, v);
    }
    fillRange(out + colEnd * outRows, (outCols - colEnd) * outRows, v);
}

// One output plane's worth of three shears.
template <typename T>
void shearPlane(const ShearSetup<T>& s, const ShearGeometry<T>& g, const ShearLayout& l, Quadrant turn,
                const T* plane, T* out, T v) {
    using sheardetail::fillRange;
    using sheardetail::kBandLines;
    using sheardetail::kBandWidth;
    const int32_t Rp = l.rowsPre, Cp = l.colsPre, stride = l.stride;
    T* buf = s.sheared;
    T* line = s.line;
    const OutputWindow w = outputWindow(s, g, l);

    // Pass 1: rows of the turned image, about the centre row (R'-1)/2, read straight from the input plane
    // (the colPad fill samples before each row are implied) into rows rowPad.. of the buffer.
    sheardetail::fillAroundImageRows(s, l, v);
    const T rowCentre = (T(Rp) - T(1)) / T(2);
    for (int32_t r0 = 0; r0 < Rp; r0 += kBandLines) {
        const int32_t r1 = std::min(Rp, r0 + kBandLines);
        for (int32_t p0 = 0; p0 < l.usedCols; p0 += kBandWidth) {
            const int32_t p1 = std::min(l.usedCols, p0 + kBandWidth);
            for (int32_t r = r0; r < r1; ++r) {
                const T shift = (T(r) - rowCentre) * g.tanHalfTheta;
                const sheardetail::TurnedRow src = sheardetail::turnedRow(turn, s.rows, s.cols, r);
                s.skew(plane, src.start, Cp, p1, shift, l.colPad, l.usedCols, src.step, stride, buf,
                       l.rowPad + r + p0 * stride, p0, v);
            }
        }
    }
    // The input is read completely: an output sharing its memory may now be written.
    fillOutsideWindow(out, s.outRows, s.outCols, w, v);

    // Pass 2: columns in use, about the centre column (N-1)/2, moved down by the placement row shift.
    const T colCentre = (T(w.N) - T(1)) / T(2);
    for (int32_t c = 0; c < w.N; ++c) {
        const T shift = (colCentre - T(c)) * g.sinTheta;
        T* col = buf + int64_t(c) * stride;
        int64_t move = 0;
        if (s.method != 0 && lineMoveOf(s.method, shift, w.L2, &move)) {
            sheardetail::moveColumnInPlace(col, w.L2, move, w.bufShift, w.copied, v);
            continue;
        }
        s.skew(col, 0, w.L2, w.L2, shift, 0, w.L2, 1, 1, line, 0, 0, v);
        fillRange(col, w.bufShift, v);
        std::memcpy(col + w.bufShift, line, size_t(w.copied) * sizeof(T));
    }

    // Pass 3: rows of the rotated image into the output window, about the centre row (L3-1)/2.
    if (w.empty()) return;
    const T lineCentre = (T(w.L3) - T(1)) / T(2);
    for (int32_t k0 = w.kLo; k0 < w.kHi; k0 += kBandLines) {
        const int32_t k1 = std::min(w.kHi, k0 + kBandLines);
        for (int32_t p0 = w.firstPos; p0 < w.endPos; p0 += kBandWidth) {
            const int32_t p1 = std::min(w.endPos, p0 + kBandWidth);
            const int32_t col = w.firstCol + (p0 - w.firstPos);
            for (int32_t k = k0; k < k1; ++k) {
                const int32_t b = k + w.rowFromOut;
                const T shift = (T(b) - lineCentre) * g.tanHalfTheta;
                s.skew(buf, b + w.bufShift, w.N, p1, shift, 0, w.endPos, stride, s.outRows, out,
                       k + col * s.outRows, p0, v);
            }
        }
    }
}

// Rotates every plane; returns the geometry of the step (and its layout through `layout`). `fits` false
// (a sizing fault) leaves the output at the fill values.
template <typename T>
ShearGeometry<T> rotateByShears(const ShearSetup<T>& s, T angle, const T* input, T* output, const T* fill,
                                bool singleFill, bool* fits = nullptr, ShearLayout* layout = nullptr) {
    ReducedAngle how;
    const T theta = reduceRotationAngle(angle, &how);
    const int32_t Rp = how.swap ? s.cols : s.rows;
    const int32_t Cp = how.swap ? s.rows : s.cols;
    const ShearGeometry<T> g = computeShearGeometry(theta, Rp, Cp, s.sineTable);
    const ShearLayout l = shearLayout(s, g, how.swap);
    if (fits != nullptr) *fits = l.fits;
    if (layout != nullptr) *layout = l;
    const int64_t inPlane = int64_t(s.rows) * s.cols;
    const int64_t outPlane = int64_t(s.outRows) * s.outCols;
    for (int64_t p = 0; p < s.planes; ++p) {
        const T v = singleFill ? fill[0] : fill[p];
        if (!l.fits) {
            sheardetail::fillRange(output + p * outPlane, outPlane, v);
            continue;
        }
        shearPlane(s, g, l, how.quadrant, input + p * inPlane, output + p * outPlane, v);
    }
    return g;
}

}  // namespace pellor
