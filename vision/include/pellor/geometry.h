// Geometry of the three-shear rotation and the output sizes of the rotate block. All sizes are int32;
// trigonometry runs in the sample type T (single images in single precision).
#pragma once

#include <algorithm>
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

// sin, cos and tan(theta/2) from the sine table, written once over the number type through a kit K with
// registers i, f, term, sine, cosine, tanHalf of its number type and the operations
//   index()            i = 360 * theta / (pi/2): one table interval per quarter degree, 360 * theta one product
//   interval(x)        the table interval holding x, limited to the table
//   set(x, y), setInt(x, n), add(x, y), addInt(x, n), sub(x, y), subInt(x, n)
//   mulTable(x, k)     x *= table[k]
//   divide(out, a, b)  out = a / b
// each rounded as the kit's type rounds it.
template <class K>
void tableTrigWith(K& k) {
    auto& i = k.i;
    auto& f = k.f;
    auto& term = k.term;
    k.index();
    // sine = f * T[k+1] + (1 - f) * T[k]
    const int32_t ks = k.interval(i);
    k.set(f, i);
    k.subInt(f, ks);
    k.set(k.sine, f);
    k.mulTable(k.sine, ks + 1);
    k.setInt(term, 1);
    k.sub(term, f);
    k.mulTable(term, ks);
    k.add(k.sine, term);
    // cosine from the index 360 - i in the same way
    k.setInt(term, 360);
    k.sub(term, i);
    k.set(i, term);
    const int32_t kc = k.interval(i);
    k.set(f, i);
    k.subInt(f, kc);
    k.set(k.cosine, f);
    k.mulTable(k.cosine, kc + 1);
    k.setInt(term, 1);
    k.sub(term, f);
    k.mulTable(term, kc);
    k.add(k.cosine, term);
    // tan(theta/2) = sine / (cosine + 1)
    k.set(term, k.cosine);
    k.addInt(term, 1);
    k.divide(k.tanHalf, k.sine, term);
}

// The rotated size H x W and sheared width S of an R' x C' image, written once over the number type: the
// kit's registers sine, cosine, tanHalf hold the trigonometry and term, other are scratch; ceil(x) is the
// kit's ceiling to int32 and mulInt(x, n) x *= n. Limits (when given) keep W and H within the full size
// before the parity steps, which keep the image exactly in the middle of the rotated frame.
struct RotatedSizes {
    int32_t rotatedRows, rotatedCols, shearedWidth;
};

template <class K>
RotatedSizes rotatedSizesWith(K& k, int32_t rowsPre, int32_t colsPre, const int32_t* rowsLimit,
                              const int32_t* colsLimit) {
    auto& term = k.term;
    auto& other = k.other;
    // a * na + b * nb
    auto sizeOf = [&](auto& a, int32_t na, auto& b, int32_t nb) {
        k.set(term, a);
        k.mulInt(term, na);
        k.set(other, b);
        k.mulInt(other, nb);
        k.add(term, other);
        return k.ceil(term);
    };
    RotatedSizes z;
    z.rotatedCols = sizeOf(k.sine, rowsPre, k.cosine, colsPre);
    z.rotatedRows = sizeOf(k.sine, colsPre, k.cosine, rowsPre);
    k.set(term, k.tanHalf);
    k.mulInt(term, rowsPre);
    k.addInt(term, colsPre);
    z.shearedWidth = k.ceil(term);
    if (colsLimit != nullptr) z.rotatedCols = std::clamp(z.rotatedCols, 0, std::max(*colsLimit, 0));
    if (rowsLimit != nullptr) z.rotatedRows = std::clamp(z.rotatedRows, 0, std::max(*rowsLimit, 0));
    if ((z.rotatedCols - colsPre) % 2 != 0) ++z.rotatedCols;
    if ((z.rotatedRows - rowsPre) % 2 != 0) ++z.rotatedRows;
    if (z.shearedWidth < z.rotatedCols) z.shearedWidth = z.rotatedCols;
    return z;
}

// The kit of a double or single angle: native arithmetic, each step rounded to T.
template <typename T>
struct FloatTrigKit {
    T theta;
    const T* table;
    T i{}, f{}, term{}, other{}, sine{}, cosine{}, tanHalf{};

    void index() { i = theta * T(360) / AngleConstants<T>::halfPi; }
    // The reduced angle stays below pi/2, so the index stays below 360; the limit only guards rounding.
    static int32_t interval(T x) { return std::clamp(saturatingTrunc(x), 0, kSineTableLength - 2); }
    static void set(T& x, T y) { x = y; }
    static void setInt(T& x, int32_t n) { x = T(n); }
    static void add(T& x, T y) { x = x + y; }
    static void addInt(T& x, int32_t n) { x = x + T(n); }
    static void sub(T& x, T y) { x = x - y; }
    static void subInt(T& x, int32_t n) { x = x - T(n); }
    static void mulInt(T& x, int32_t n) { x = x * T(n); }
    void mulTable(T& x, int32_t k) const { x = x * table[k]; }
    static void divide(T& out, T a, T b) { out = a / b; }
    static int32_t ceil(T x) { return saturatingTrunc(mathCeil(x)); }
};

// sin, cos and tan(theta/2) of a reduced angle in [0, pi/2), from the math library or the sine table.
template <typename T>
Trig<T> shearTrig(T theta, const std::type_identity_t<T>* sineTable) {
    if (sineTable == nullptr) {
        return {std::sin(theta), std::cos(theta), std::tan(theta * T(0.5))};
    }
    FloatTrigKit<T> k{theta, sineTable};
    tableTrigWith(k);
    return {k.sine, k.cosine, k.tanHalf};
}

// Rotated size H x W and sheared width S of a pre-rotated R' x C' image; the parity steps keep the image
// exactly in the middle of the rotated frame.
template <typename T>
ShearGeometry<T> computeShearGeometry(T theta, int32_t rowsPre, int32_t colsPre,
                                      const std::type_identity_t<T>* sineTable) {
    const Trig<T> t = shearTrig(theta, sineTable);
    FloatTrigKit<T> k{theta, sineTable};
    k.sine = t.sinTheta;
    k.cosine = t.cosTheta;
    k.tanHalf = t.tanHalfTheta;
    const RotatedSizes z = rotatedSizesWith(k, rowsPre, colsPre, nullptr, nullptr);
    ShearGeometry<T> g;
    g.sinTheta = t.sinTheta;
    g.tanHalfTheta = t.tanHalfTheta;
    g.rotatedRows = z.rotatedRows;
    g.rotatedCols = z.rotatedCols;
    g.shearedWidth = z.shearedWidth;
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
