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

// Input column j of the plane as a run of the sheared buffer whose image starts at `origin`: down a
// column, along a row, or either reversed.
inline TurnedRow turnedColumnInBuffer(Quadrant turn, int32_t rows, int32_t cols, int32_t stride, int32_t j) {
    switch (turn) {
        case Quadrant::QuarterCounter:
            return {cols - 1 - j, stride};
        case Quadrant::Half:
            return {(rows - 1) + (cols - 1 - j) * stride, -1};
        case Quadrant::QuarterClockwise:
            return {j + (rows - 1) * stride, -stride};
        default:
            return {j * stride, 1};
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

// The factor a line's shift is taken from: tan(theta/2) for the row passes, sin(theta) for the column pass.
enum class ShiftFactor { TanHalf, Sin };

// The passes below are written once over the number type, through "lanes" K that say how lines of that
// type are resampled, moved and filled:
//   K::Src, K::Dst          where samples are read and written (a pointer, or a number object and base)
//   lineShift(pos, n, f, centreFirst)   (pos - (n-1)/2) * factor, or ((n-1)/2 - pos) * factor
//   skew(src, srcStart, Ls, Ld, shift, lineOffset, fullLd, srcStride, dstStride, dst, dstStart, F)
//   lineMove(shift, Ld, &move)          whether skew would only move the line, and by how much
//   fill(dst, start, count), move(dst, to, from, count), copy(src, start, step, dst, start, step, count)
//   readsInputDirectly()                false: the input is first put into the buffer in the output's type
//   bandWidth()                         positions of a row piece worked at once (the weights of a row are
//                                       found again for every piece)
// with the plane's fill value set by setPlane(p).

// The fill value everywhere pass 3 does not write.
template <class K>
void fillOutsideWindow(K& k, typename K::Dst out, int32_t outRows, int32_t outCols, const OutputWindow& w) {
    if (w.empty()) {
        k.fill(out, 0, int64_t(outRows) * outCols);
        return;
    }
    const int64_t colEnd = int64_t(w.firstCol) + (w.endPos - w.firstPos);
    k.fill(out, 0, int64_t(w.firstCol) * outRows);
    for (int64_t c = w.firstCol; c < colEnd; ++c) {
        k.fill(out, c * outRows, w.kLo);
        k.fill(out, c * outRows + w.kHi, outRows - w.kHi);
    }
    k.fill(out, colEnd * outRows, (outCols - colEnd) * outRows);
}

namespace sheardetail {

// The fill value in the sheared buffer wherever pass 2 reads what pass 1 does not write: above and below
// the image rows in every column in use.
template <class K>
void fillAroundImageRows(K& k, const ShearLayout& l) {
    const int64_t stride = l.stride;
    for (int64_t c = 0; c < l.usedCols; ++c) {
        k.fill(k.sheared(), c * stride, l.rowPad);
        k.fill(k.sheared(), c * stride + l.rowPad + l.rowsPre, stride - l.rowPad - l.rowsPre);
    }
}

// A column moved by a whole number of positions without the line buffer: the same values as skewing it
// into the line buffer and copying `copied` samples back after `bufShift` fill values.
template <class K>
void moveColumnInPlace(K& k, int64_t col, int32_t len, int64_t move, int32_t bufShift, int32_t copied) {
    // Destination position p (0 <= p < copied) takes sample p - move when that lies in [0, len).
    const int64_t lo = std::clamp<int64_t>(move, 0, copied);
    const int64_t hi = std::clamp<int64_t>(move + len, lo, copied);
    if (hi > lo) k.move(k.sheared(), col + bufShift + lo, col + (lo - move), hi - lo);
    k.fill(k.sheared(), col, bufShift + lo);
    k.fill(k.sheared(), col + bufShift + hi, copied - hi);
}

}  // namespace sheardetail

// One output plane's worth of three shears. `rows` x `cols` is the input plane, `outRows` x `outCols`
// the output plane.
template <class K>
void shearPlaneWith(K& k, const ShearLayout& l, const OutputWindow& w, Quadrant turn, int32_t rows,
                    int32_t cols, int32_t outRows, int32_t outCols, typename K::Src plane,
                    typename K::Dst out) {
    using sheardetail::kBandLines;
    const int32_t kBandWidth = k.bandWidth();
    const int32_t Rp = l.rowsPre, Cp = l.colsPre, stride = l.stride;
    const auto buf = k.sheared();
    const auto line = k.line();

    // Pass 1: rows of the turned image, about the centre row (R'-1)/2, into rows rowPad.. of the buffer
    // (the colPad fill samples before each row are implied).
    sheardetail::fillAroundImageRows(k, l);
    if (k.readsInputDirectly()) {
        // Straight from the input plane, in bands.
        for (int32_t r0 = 0; r0 < Rp; r0 += kBandLines) {
            const int32_t r1 = std::min(Rp, r0 + kBandLines);
            for (int32_t p0 = 0; p0 < l.usedCols; p0 = std::min(l.usedCols - p0, kBandWidth) + p0) {
                const int32_t p1 = p0 + std::min(l.usedCols - p0, kBandWidth);
                for (int32_t r = r0; r < r1; ++r) {
                    decltype(auto) shift = k.lineShift(r, Rp, ShiftFactor::TanHalf, false);
                    const sheardetail::TurnedRow src = sheardetail::turnedRow(turn, rows, cols, r);
                    k.skew(plane, src.start, Cp, p1, shift, l.colPad, l.usedCols, src.step, stride, buf,
                           l.rowPad + r + int64_t(p0) * stride, p0);
                }
            }
        }
    } else {
        // The turned plane in the output's type at (rowPad, colPad) first, the colPad fill samples before
        // each row in memory too, then each row through the line.
        const int64_t origin = l.rowPad + int64_t(l.colPad) * stride;
        for (int32_t j = 0; j < cols; ++j) {
            const sheardetail::TurnedRow run = sheardetail::turnedColumnInBuffer(turn, rows, cols, stride, j);
            k.copy(plane, int64_t(j) * rows, 1, buf, origin + run.start, run.step, rows);
        }
        for (int64_t c = 0; c < l.colPad; ++c)
            k.fill(buf, c * stride + l.rowPad, Rp);
        for (int32_t r = 0; r < Rp; ++r) {
            decltype(auto) shift = k.lineShift(r, Rp, ShiftFactor::TanHalf, false);
            k.skew(buf, l.rowPad + r, l.colPad + Cp, l.usedCols, shift, 0, l.usedCols, stride, 1, line, 0, 0);
            k.copy(line, 0, 1, buf, l.rowPad + r, stride, l.usedCols);
        }
    }
    // The input is read completely: an output sharing its memory may now be written.
    fillOutsideWindow(k, out, outRows, outCols, w);

    // Pass 2: columns in use, about the centre column (N-1)/2, moved down by the placement row shift.
    for (int32_t c = 0; c < w.N; ++c) {
        decltype(auto) shift = k.lineShift(c, w.N, ShiftFactor::Sin, true);
        const int64_t col = int64_t(c) * stride;
        int64_t move = 0;
        if (k.lineMove(shift, w.L2, &move)) {
            sheardetail::moveColumnInPlace(k, col, w.L2, move, w.bufShift, w.copied);
            continue;
        }
        k.skew(buf, col, w.L2, w.L2, shift, 0, w.L2, 1, 1, line, 0, 0);
        k.fill(buf, col, w.bufShift);
        k.copy(line, 0, 1, buf, col + w.bufShift, 1, w.copied);
    }

    // Pass 3: rows of the rotated image into the output window, about the centre row (L3-1)/2.
    if (w.empty()) return;
    for (int32_t k0 = w.kLo; k0 < w.kHi; k0 += kBandLines) {
        const int32_t k1 = std::min(w.kHi, k0 + kBandLines);
        for (int32_t p0 = w.firstPos; p0 < w.endPos; p0 = std::min(w.endPos - p0, kBandWidth) + p0) {
            const int32_t p1 = p0 + std::min(w.endPos - p0, kBandWidth);
            const int32_t col = w.firstCol + (p0 - w.firstPos);
            for (int32_t r = k0; r < k1; ++r) {
                const int32_t b = r + w.rowFromOut;
                decltype(auto) shift = k.lineShift(b, w.L3, ShiftFactor::TanHalf, false);
                k.skew(buf, b + w.bufShift, w.N, p1, shift, 0, w.endPos, stride, outRows, out,
                       r + int64_t(col) * outRows, p0);
            }
        }
    }
}

// Every plane of a step whose geometry and layout are known; an output plane the work vectors cannot
// hold (`fits` false, a sizing fault) is left at the fill value.
template <class K>
void shearPlanesWith(K& k, const ShearLayout& l, const OutputWindow& w, Quadrant turn, int32_t rows,
                     int32_t cols, int32_t planes, int32_t outRows, int32_t outCols) {
    const int64_t inPlane = int64_t(rows) * cols;
    const int64_t outPlane = int64_t(outRows) * outCols;
    for (int64_t p = 0; p < planes; ++p) {
        k.setPlane(p);
        const auto out = k.output(p * outPlane);
        if (!l.fits) {
            k.fill(out, 0, outPlane);
            continue;
        }
        shearPlaneWith(k, l, w, turn, rows, cols, outRows, outCols, k.input(p * inPlane), out);
    }
}

// Lanes of double or single samples in memory the caller owns: the set-up's skew routine, in-place
// moves for whole-position shifts unless the set-up's method is 0.
template <typename T>
class FloatLanes {
  public:
    using Src = const T*;
    using Dst = T*;

    FloatLanes(const ShearSetup<T>& s, const ShearGeometry<T>& g, const T* input, T* output, const T* fill,
               bool singleFill)
        : s_(s),
          sin_(g.sinTheta),
          tanHalf_(g.tanHalfTheta),
          input_(input),
          output_(output),
          fill_(fill),
          singleFill_(singleFill) {}

    void setPlane(int64_t p) { v_ = singleFill_ ? fill_[0] : fill_[p]; }
    Src input(int64_t offset) const { return input_ + offset; }
    Dst output(int64_t offset) const { return output_ + offset; }
    Dst sheared() const { return s_.sheared; }
    Dst line() const { return s_.line; }
    static constexpr bool readsInputDirectly() { return true; }
    static constexpr int32_t bandWidth() { return sheardetail::kBandWidth; }

    T lineShift(int32_t position, int32_t count, ShiftFactor f, bool centreFirst) const {
        const T centre = (T(count) - T(1)) / T(2);
        const T factor = f == ShiftFactor::Sin ? sin_ : tanHalf_;
        return (centreFirst ? centre - T(position) : T(position) - centre) * factor;
    }
    void skew(Src src, int64_t srcStart, int32_t srcLen, int32_t dstLen, T shift, int64_t lineOffset,
              int32_t fullDstLen, int32_t srcStride, int32_t dstStride, Dst dst, int64_t dstStart,
              int32_t firstPos) const {
        s_.skew(src, int32_t(srcStart), srcLen, dstLen, shift, lineOffset, fullDstLen, srcStride, dstStride,
                dst, int32_t(dstStart), firstPos, v_);
    }
    bool lineMove(T shift, int32_t dstLen, int64_t* move) const {
        return s_.method != 0 && lineMoveOf(s_.method, shift, dstLen, move);
    }
    void fill(Dst d, int64_t start, int64_t count) const {
        skewdetail::fillPositions(d, start, count, 1, v_);
    }
    void move(Dst d, int64_t to, int64_t from, int64_t count) const {
        std::memmove(d + to, d + from, size_t(count) * sizeof(T));
    }
    void copy(Src from, int64_t fromStart, int32_t fromStep, Dst to, int64_t toStart, int32_t toStep,
              int64_t count) const {
        skewdetail::copyPositions(from + fromStart, fromStep, to + toStart, toStep, count);
    }

  private:
    const ShearSetup<T>& s_;
    T sin_, tanHalf_;
    const T* input_;
    T* output_;
    const T* fill_;
    bool singleFill_;
    T v_ = T(0);
};

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
    FloatLanes<T> k(s, g, input, output, fill, singleFill);
    shearPlanesWith(k, l, outputWindow(s, g, l), how.quadrant, s.rows, s.cols, s.planes, s.outRows,
                    s.outCols);
    return g;
}

}  // namespace pellor
