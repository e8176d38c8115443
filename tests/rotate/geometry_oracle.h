// The three-shear geometry and the buffer layout written out step by step from the rotation itself, for
// tests to hold the engines and the set-up against. Nothing here calls the block's own helpers.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace rotateoracle {

template <typename T>
struct Constants;
template <>
struct Constants<double> {
    static constexpr double pi = 3.141592653589793, twoPi = 6.283185307179586, halfPi = 1.5707963267948966;
};
template <>
struct Constants<float> {
    static constexpr float pi = 3.1415927f, twoPi = 6.2831855f, halfPi = 1.5707964f;
};

// The angle in [0, pi/2) after the quarter or half turn is taken out; swap: rows and columns exchange.
template <typename T>
T reduce(T angle, bool* swap) {
    using K = Constants<T>;
    T a = std::fmod(angle, K::twoPi);
    if (a >= K::pi) a -= K::twoPi;
    if (a < -K::pi) a += K::twoPi;
    *swap = false;
    if (a >= K::halfPi && a < K::pi) {
        *swap = true;
        return a - K::halfPi;
    }
    if (a >= -K::pi && a < -K::halfPi) return a + K::pi;
    if (a >= -K::halfPi && a < T(0)) {
        *swap = true;
        return a + K::halfPi;
    }
    return a;
}

template <typename T>
struct Geometry {
    T sinTheta, cosTheta, tanHalfTheta;
    int32_t H, W, S;
};

// The rotated size H x W and the sheared width S of an R' x C' image turned by theta in [0, pi/2), with
// sine and cosine from the functions or interpolated in the quarter-degree table.
template <typename T>
Geometry<T> geometry(T theta, int32_t rowsPre, int32_t colsPre, const T* table) {
    Geometry<T> g{};
    if (table == nullptr) {
        g.sinTheta = std::sin(theta);
        g.cosTheta = std::cos(theta);
        g.tanHalfTheta = std::tan(theta * T(0.5));
    } else {
        const T i = theta * T(360) / Constants<T>::halfPi;
        const int32_t k = std::min(int32_t(i), 360);
        const T f = i - T(k);
        g.sinTheta = (T(1) - f) * table[k] + f * table[k + 1];
        const T j = T(360) - i;
        const int32_t kc = std::min(int32_t(j), 360);
        const T h = j - T(kc);
        g.cosTheta = (T(1) - h) * table[kc] + h * table[kc + 1];
        g.tanHalfTheta = g.sinTheta / (g.cosTheta + T(1));
    }
    const T r = T(rowsPre), c = T(colsPre);
    g.W = int32_t(std::ceil(r * g.sinTheta + c * g.cosTheta));
    g.H = int32_t(std::ceil(c * g.sinTheta + r * g.cosTheta));
    g.S = int32_t(std::ceil(r * g.tanHalfTheta + c));
    // Keep the parity of the image's side, so that the image sits exactly in the middle.
    if ((g.W - colsPre) % 2 != 0) ++g.W;
    if ((g.H - rowsPre) % 2 != 0) ++g.H;
    g.S = std::max(g.S, g.W);
    return g;
}

// Where one step puts the image in the sheared buffer (column-major, `stride` rows) and the output.
struct Layout {
    int32_t rowOffset, rowPad, colPad, N;
    int32_t stride;     // rows: the full rows, the image's and the rotated image's, whichever is most
    int32_t columnLen;  // samples of a column that the vertical shear moves
    int32_t rowShift, colShift;
    bool operator==(const Layout&) const = default;
};

// The rotated image (H rows) is centred on the image rows, the sheared width S on the image columns.
inline Layout layout(int32_t H, int32_t W, int32_t S, int32_t rowsPre, int32_t colsPre, int32_t fullRows,
                     int32_t fullCols, bool centredInExpandedOutput) {
    Layout l{};
    l.rowOffset = (H - rowsPre) / 2;
    l.rowPad = l.rowOffset > 0 ? l.rowOffset : 0;
    l.colPad = (S - colsPre) / 2;
    l.N = colsPre + 2 * l.colPad;
    l.stride = std::max({fullRows, rowsPre, H});
    l.columnLen = l.rowOffset >= 0 ? std::max(fullRows, H) : rowsPre;
    l.rowShift = centredInExpandedOutput ? (fullRows - H) / 2 : 0;
    l.colShift = centredInExpandedOutput ? (fullCols - W) / 2 : 0;
    return l;
}

// sin(k * pi/720), k = 0..361, accumulated as the block builds its table.
template <typename T>
void sineTable(T* table) {
    double angle = 0.0;
    for (int32_t k = 0; k < 362; ++k) {
        table[k] = T(std::sin(angle));
        angle += 0.004363323129985824;
    }
}

}  // namespace rotateoracle
