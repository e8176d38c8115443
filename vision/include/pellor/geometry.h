// Geometry of the three-shear rotation and the output sizes of the rotate block. All sizes are int32;
// trigonometry runs in the sample type T (single images in single precision).
#pragma once

#include <cmath>
#include <cstdint>
#include <type_traits>

#include "pellor/anglemath.h"

namespace pellor {

// Sine table: sin(k * pi/720) for k = 0..361, read by linear interpolation.
inline constexpr int32_t kSineTableLength = 362;
inline constexpr double kSineTableStep = 0.004363323129985824;  // pi/720

template <typename T>
struct ShearGeometry {
    T sinTheta = T(0);
    T tanHalfTheta = T(0);
    int32_t rotatedRows = 0;   // H
    int32_t rotatedCols = 0;   // W
    int32_t shearedWidth = 0;  // S
};

template <typename T>
struct Trig {
    T sinTheta, cosTheta, tanHalfTheta;
};

// sin, cos and tan(theta/2) of a reduced angle in [0, pi/2), from the math library or the sine table.
template <typename T>
Trig<T> shearTrig(T theta, const std::type_identity_t<T>* sineTable) {
    if (sineTable == nullptr) {
        return {std::sin(theta), std::cos(theta), std::tan(theta * T(0.5))};
    }
    const T i = theta * T(360) / AngleConstants<T>::halfPi;
    // The reduced angle stays below pi/2, so the index stays below 360; the limit only guards rounding.
    int32_t k = saturatingTrunc(i);
    k = k < 0 ? 0 : (k > 360 ? 360 : k);
    const T f = i - T(k);
    const T s = (T(1) - f) * sineTable[k] + f * sineTable[k + 1];
    const T j = T(360) - i;
    int32_t kc = saturatingTrunc(j);
    kc = kc < 0 ? 0 : (kc > 360 ? 360 : kc);
    const T g = j - T(kc);
    const T c = (T(1) - g) * sineTable[kc] + g * sineTable[kc + 1];
    return {s, c, s / (c + T(1))};
}

// Rotated size H x W and sheared width S of a pre-rotated R' x C' image; the parity steps keep the image
// exactly in the middle of the rotated frame.
template <typename T>
ShearGeometry<T> computeShearGeometry(T theta, int32_t rowsPre, int32_t colsPre,
                                      const std::type_identity_t<T>* sineTable) {
    const Trig<T> t = shearTrig(theta, sineTable);
    const T r = T(rowsPre), c = T(colsPre);
    ShearGeometry<T> g;
    g.sinTheta = t.sinTheta;
    g.tanHalfTheta = t.tanHalfTheta;
    g.rotatedCols = saturatingTrunc(mathCeil(r * t.sinTheta + c * t.cosTheta));
    g.rotatedRows = saturatingTrunc(mathCeil(c * t.sinTheta + r * t.cosTheta));
    g.shearedWidth = saturatingTrunc(mathCeil(r * t.tanHalfTheta + c));
    if ((g.rotatedCols - colsPre) % 2 != 0) ++g.rotatedCols;
    if ((g.rotatedRows - rowsPre) % 2 != 0) ++g.rotatedRows;
    if (g.shearedWidth < g.rotatedCols) g.shearedWidth = g.rotatedCols;
    return g;
}

// One side of the full (expanded) output: keeps the parity of the input side.
inline int32_t fullRotatedSide(int32_t side, double x) {
    if (side % 2 != 0) return 2 * saturatingTrunc(std::ceil(x - 0.5)) + 1;
    return 2 * saturatingTrunc(std::ceil(x));
}

inline int32_t fullRotatedRows(int32_t rows, int32_t cols, double a) {
    return fullRotatedSide(rows, (std::fabs(std::cos(a)) * rows + std::fabs(std::sin(a)) * cols) * 0.5);
}

inline int32_t fullRotatedCols(int32_t rows, int32_t cols, double a) {
    return fullRotatedSide(cols, (std::fabs(std::sin(a)) * rows + std::fabs(std::cos(a)) * cols) * 0.5);
}

// Whole quarter turns of an angle: truncation toward zero (not rounding), tolerance 1e-5, count 0..3,
// -1 when the angle is not a multiple.
inline bool quarterTurnsOf(double angle, int32_t* quarterTurns) {
    const double q = angle / 1.5707963267948966;
    const double k = std::trunc(q);
    if (std::isfinite(q) && std::fabs(k - q) < 1e-5) {
        int32_t n = static_cast<int32_t>(std::fmod(k, 4.0));
        if (n < 0) n += 4;
        *quarterTurns = n;
        return true;
    }
    *quarterTurns = -1;
    return false;
}

}  // namespace pellor
