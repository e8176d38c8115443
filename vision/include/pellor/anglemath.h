// Angle arithmetic of the rotate block in the sample type: the constants, the wrap of an angle into
// [-pi, pi), the clamp of a port angle and the reduction to [0, pi/2) with the quarter or half turn it
// takes out. Single images use single constants and single math throughout, so the float kernel and the
// set-up that sizes its work memory agree on every boundary.
#pragma once

#include <cmath>
#include <cstdint>

namespace pellor {

template <typename T>
struct AngleConstants;

template <>
struct AngleConstants<double> {
    static constexpr double pi = 3.141592653589793;
    static constexpr double twoPi = 6.283185307179586;
    static constexpr double halfPi = 1.5707963267948966;
};

template <>
struct AngleConstants<float> {
    static constexpr float pi = 3.1415927f;
    static constexpr float twoPi = 6.2831855f;
    static constexpr float halfPi = 1.5707964f;
};

// The turn that the reduction takes out, which is also the turn the pre-rotation applies.
enum class Quadrant : int32_t {
    None = 0,              // 0 <= a < pi/2
    QuarterCounter = 1,    // pi/2 <= a < pi: rows and columns exchange
    Half = 2,              // -pi <= a < -pi/2
    QuarterClockwise = 3,  // -pi/2 <= a < 0: rows and columns exchange
};

struct ReducedAngle {
    Quadrant quadrant = Quadrant::None;
    bool swap = false;
};

inline float mathFmod(float a, float b) {
    return std::fmod(a, b);
}
inline double mathFmod(double a, double b) {
    return std::fmod(a, b);
}

// fmod by 2*pi, then into [-pi, pi).
template <typename T>
T wrapAngle(T angle) {
    using K = AngleConstants<T>;
    T a = mathFmod(angle, K::twoPi);
    if (a >= K::pi) a -= K::twoPi;
    if (a < -K::pi) a += K::twoPi;
    return a;
}

// The angle of one step: wrapped, and for a port angle clamped to +-min(maxAngle, pi).
template <typename T>
T currentAngle(T angle, bool fromPort, T maxAngle) {
    using K = AngleConstants<T>;
    T a = wrapAngle(angle);
    if (fromPort) {
        const T m = maxAngle < K::pi ? maxAngle : K::pi;
        if (std::fabs(a) > m) a = a >= T(0) ? m : -m;
    }
    return a;
}

// The angle in [0, pi/2) left after taking out a quarter or half turn; `how` says which turn went.
template <typename T>
T reduceRotationAngle(T angle, ReducedAngle* how) {
    using K = AngleConstants<T>;
    const T a = wrapAngle(angle);
    ReducedAngle r;
    T reduced = a;
    if (a >= K::halfPi && a < K::pi) {
        reduced = a - K::halfPi;
        r = {Quadrant::QuarterCounter, true};
    } else if (a >= -K::pi && a < -K::halfPi) {
        reduced = a + K::pi;
        r = {Quadrant::Half, false};
    } else if (a >= -K::halfPi && a < T(0)) {
        reduced = a + K::halfPi;
        r = {Quadrant::QuarterClockwise, true};
    }
    if (how != nullptr) *how = r;
    return reduced;
}

// Ceiling (or truncation) of a finite value to int32; NaN gives 0 and out-of-range values saturate, so a
// bad angle can never turn into undefined behaviour in the size arithmetic.
template <typename T>
int32_t saturatingTrunc(T v) {
    if (!(v == v)) return 0;
    if (v >= T(2147483520.0)) return 2147483520;
    if (v <= T(-2147483520.0)) return -2147483520;
    return static_cast<int32_t>(v);
}

inline float mathCeil(float v) {
    return std::ceil(v);
}
inline double mathCeil(double v) {
    return std::ceil(v);
}

}  // namespace pellor
