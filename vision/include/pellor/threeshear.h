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
    SkewFcn<T> skew = nullptr;
    const T* sineTable = nullptr;  // null: trigonometric functions
    T* sheared = nullptr;
    int32_t shearedLen = 0;
    T* line = nullptr;
    int32_t lineLen = 0;
};

// The layout of one step, derived from the geometry and clipped to the buffers.
struct ShearLayout {
    int32_t rowsPre, colsPre;  // R' x C'
    int32_t rowOffset, rowPad, colPad, stride, usedCols;
    int32_t rowShift, colShift;
    bool fits;
};

template <typename T>
ShearLayout shearLayout(const ShearSetup<T>& s, const ShearGeometry<T>& g, bool swap)
{
    ShearLayout l{};
    l.rowsPre = swap ? s.cols : s.rows;
    l.colsPre = swap ? s.rows : s.cols;
    l.rowOffset = (g.rotatedRows - l.rowsPre) / 2;
    l.stride = std::max(s.fullRows, l.rowsPre);
    l.rowPad = std::clamp(l.rowOffset, 0, l.stride - l.rowsPre);
    const int32_t maxCols = l.stride > 0 ? s.shearedLen / l.stride : 0;
    l.usedCols = std::min({g.shearedWidth, maxCols, s.lineLen});
    l.colPad = std::max((l.usedCols - l.colsPre) / 2, 0);
    l.fits = l.usedCols >= l.colsPre && l.rowsPre <= s.lineLen && l.stride > 0;
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
void fillRange(T* d, int64_t count, T v)
{
    skewdetail::fillPositions(d, 0, count, 1, v);
}

// The sheared buffer before pass 1: the turned plane at (rowPad, colPad), the fill value around it in the
// columns the passes use.
template <typename T>
void preRotate(const ShearSetup<T>& s, const ShearLayout& l, const T* plane, Quadrant turn, T v)
{
    const int64_t stride = l.stride;
    T* buf = s.sheared;
    for (int64_t c = 0; c < l.usedCols; ++c) {
        T* col = buf + c * stride;
        if (c < l.colPad || c >= l.colPad + l.colsPre) {
            fillRange(col, stride, v);
        } else {
            fillRange(col, l.rowPad, v);
            fillRange(col + l.rowPad + l.rowsPre, stride - l.rowPad - l.rowsPre, v);
        }
    }
    turnPlaneInto(plane, s.rows, s.cols, turn, buf, l.stride, l.rowPad, l.colPad);
}

}  // namespace sheardetail

// One output plane's worth of three shears. `angle` is the step's wrapped (and clamped) angle.
template <typename T>
void shearPlane(const ShearSetup<T>& s, const ShearGeometry<T>& g, const ShearLayout& l, Quadrant turn,
                const T* plane, T* out, T v)
{
    using sheardetail::fillRange;
    const int32_t Rp = l.rowsPre, Cp = l.colsPre, stride = l.stride;
    T* buf = s.sheared;
    T* line = s.line;

    sheardetail::preRotate(s, l, plane, turn, v);
    fillRange(out, int64_t(s.outRows) * s.outCols, v);

    // Pass 1: rows of the image, about the centre row (R'-1)/2.
    const T rowCentre = (T(Rp) - T(1)) / T(2);
    for (int32_t r = 0; r < Rp; ++r) {
        const T shift = (T(r) - rowCentre) * g.tanHalfTheta;
        const int32_t bufRow = l.rowPad + r;
        s.skew(buf, bufRow, l.colPad + Cp, l.usedCols, shift, stride, 1, line, 0, 0, v);
        skewdetail::copyPositions(line, 1, buf + bufRow, stride, l.usedCols);
    }

    // Pass 2: columns in use, about the centre column (N-1)/2, moved down by the placement row shift.
    const int32_t N = Cp + 2 * l.colPad;
    const int32_t L2 = std::min({l.rowOffset >= 0 ? s.fullRows : Rp, stride, s.lineLen});
    const int32_t bufShift = std::clamp(l.rowShift, 0, stride);
    const int32_t copied = std::max(std::min(L2, stride - bufShift), 0);
    const T colCentre = (T(N) - T(1)) / T(2);
    for (int32_t c = 0; c < N; ++c) {
        const T shift = (colCentre - T(c)) * g.sinTheta;
        T* col = buf + int64_t(c) * stride;
        s.skew(col, 0, L2, L2, shift, 1, 1, line, 0, 0, v);
        fillRange(col, bufShift, v);
        std::memcpy(col + bufShift, line, size_t(copied) * sizeof(T));
    }

    // Pass 3: rows b = r0 .. r0+H-1 of the rotated image (as far as pass 2 wrote them) into the output.
    const int32_t H = g.rotatedRows, W = g.rotatedCols;
    const int32_t L3 = l.rowOffset >= 0 ? H : Rp;
    const int32_t r0 = std::max(-l.rowOffset, 0);
    const T lineCentre = (T(L3) - T(1)) / T(2);
    const int32_t endValid = std::min(r0 + H, copied);

    // Output row k takes row b = k + rowFromOut; output column j takes line position j + posFromOut.
    int32_t rowFromOut, posFromOut, posLo, posHi;
    if (s.sameSize) {
        rowFromOut = r0 + (H - s.rows) / 2;
        posFromOut = (N - s.cols) / 2;
        posLo = 0;
        posHi = posFromOut + s.outCols;
    } else {
        rowFromOut = r0 - l.rowShift;
        if (N >= W) {
            posLo = (N - W) / 2;
            posFromOut = posLo - l.colShift;
        } else {
            posLo = 0;
            posFromOut = -saturatingTrunc((double(s.fullCols) - N) * 0.5);
        }
        posHi = posLo + W;
    }
    const int32_t firstPos = std::max(posLo, posFromOut);
    const int32_t endPos = std::min(posHi, posFromOut + s.outCols);
    if (firstPos >= endPos) return;
    const int32_t firstCol = firstPos - posFromOut;
    const int32_t kLo = std::max(0, r0 - rowFromOut);
    const int32_t kHi = std::min(s.outRows, endValid - rowFromOut);
    for (int32_t k = kLo; k < kHi; ++k) {
        const int32_t b = k + rowFromOut;
        const T shift = (T(b) - lineCentre) * g.tanHalfTheta;
        s.skew(buf, b + bufShift, N, endPos, shift, stride, s.outRows, out, k + firstCol * s.outRows, firstPos,
               v);
    }
}

// Rotates every plane; returns the geometry of the step. `fits` false (a sizing fault) leaves the output
// at the fill values.
template <typename T>
ShearGeometry<T> rotateByShears(const ShearSetup<T>& s, T angle, const T* input, T* output, const T* fill,
                                bool singleFill, bool* fits = nullptr)
{
    ReducedAngle how;
    const T theta = reduceRotationAngle(angle, &how);
    const int32_t Rp = how.swap ? s.cols : s.rows;
    const int32_t Cp = how.swap ? s.rows : s.cols;
    const ShearGeometry<T> g = computeShearGeometry(theta, Rp, Cp, s.sineTable);
    const ShearLayout l = shearLayout(s, g, how.swap);
    if (fits != nullptr) *fits = l.fits;
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
