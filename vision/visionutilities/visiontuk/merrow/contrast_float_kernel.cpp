// The double and single kernels of the contrast adjustment block.
#include "merrow/contrast_float_kernel.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "merrow/contrast_params.h"

namespace merrow {

namespace {

// 16-byte vectors (the baseline instruction set's) of the compiler's vector extension: each lane does what the scalar code does, in the same
// order, so results do not depend on the width (and nothing is fused: the project compiles without
// floating-point contraction).
template <typename T>
struct Lanes;
template <>
struct Lanes<double> {
    typedef double V __attribute__((vector_size(16)));
    typedef int64_t M __attribute__((vector_size(16)));
    static constexpr int32_t kCount = 2;
};
template <>
struct Lanes<float> {
    typedef float V __attribute__((vector_size(16)));
    typedef int32_t M __attribute__((vector_size(16)));
    static constexpr int32_t kCount = 4;
};

template <typename T>
typename Lanes<T>::V load(const T* p) {
    typename Lanes<T>::V v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <typename T>
typename Lanes<T>::V splat(T x) {
    return typename Lanes<T>::V{} + x;
}

template <typename T>
struct Extremes {
    T low;
    T high;
    int32_t numValid;  // pixels that are not NaN
};

// Minimum and maximum over the pixels that are not NaN; both NaN when there is none. A leading NaN
// must not become the extreme, or every comparison after it would fail.
template <typename T>
Extremes<T> findExtremes(const T* in, int32_t n) {
    int32_t i = 0;
    while (i < n && std::isnan(in[i]))
        ++i;
    if (i == n) return {std::numeric_limits<T>::quiet_NaN(), std::numeric_limits<T>::quiet_NaN(), 0};
    T low = in[i], high = in[i];
    int32_t numNaN = i;
    // Lane-wise extremes, then across the lanes: the order of a minimum does not matter, and NaN lanes
    // never win a comparison.
    using L = Lanes<T>;
    constexpr int32_t w = L::kCount;
    if (n - i > 2 * w) {
        typename L::V lowV = splat(low), highV = splat(high);
        typename L::M nanV = {};
        for (; i + w <= n; i += w) {
            const typename L::V v = load(in + i);
            lowV = v < lowV ? v : lowV;
            highV = v > highV ? v : highV;
            nanV -= v != v;  // true lanes are -1
        }
        for (int32_t k = 0; k < w; ++k) {
            low = lowV[k] < low ? lowV[k] : low;
            high = highV[k] > high ? highV[k] : high;
            numNaN += int32_t(nanV[k]);
        }
    }
    for (; i < n; ++i) {
        const T v = in[i];
        low = v < low ? v : low;
        high = v > high ? v : high;
        numNaN += v != v ? 1 : 0;
    }
    return {low, high, n - numNaN};
}

template <typename T>
void fillConstant(T* out, int32_t n, T value) {
    std::fill(out, out + n, value);
}

// Bins pixels by (highIn - v) * slope + 1/2, truncated: bin 0 holds the brightest pixels. scale is 1, or
// 1/2 when highIn - lowIn overflows the type (then every operand is halved, exactly).
template <typename T>
void countBins(const T* in, int32_t n, T highScaled, T slope, T scale, int32_t numBins, uint32_t* hist) {
    const double top = double(numBins);
    for (int32_t i = 0; i < n; ++i) {
        const T product = T((highScaled - in[i] * scale) * slope);
        const double x = double(product) + 0.5;
        if (!(x >= 0.0)) continue;  // NaN pixels have no bin
        const int32_t j = x < top ? int32_t(x) : numBins;
        ++hist[j];
    }
}

// Index of the first bin from the dark end (lower) or the bright end (upper) at which the running
// count exceeds the number of pixels to saturate; -1 or numBins when none does.
int32_t darkLimitBin(const uint32_t* hist, int32_t numBins, int64_t toSaturate) {
    int64_t sum = 0;
    for (int32_t j = numBins - 1; j >= 0; --j) {
        sum += hist[j];
        if (sum > toSaturate) return j;
    }
    return -1;
}

int32_t brightLimitBin(const uint32_t* hist, int32_t numBins, int64_t toSaturate) {
    int64_t sum = 0;
    for (int32_t j = 0; j < numBins; ++j) {
        sum += hist[j];
        if (sum > toSaturate) return j;
    }
    return numBins;
}

template <typename T>
int64_t pixelsToSaturate(int32_t numValid, T fraction) {
    const T t = T(T(numValid) * fraction);
    return int64_t(t);
}

// lowIn + (v - lowIn) * s inside (lowIn, highIn); highOut at or above highIn; lowOut otherwise (and for
// NaN). Written as two selects so that the loop has no branch.
template <typename T>
void mapPixels(const T* in, T* out, int32_t n, T lowIn, T highIn, T lowOut, T highOut, T slope, T scale) {
    const T lowScaled = lowIn * scale;
    using L = Lanes<T>;
    constexpr int32_t w = L::kCount;
    int32_t i = 0;
    for (; i + w <= n; i += w) {
        const typename L::V v = load(in + i);
        const typename L::V y = (v * scale - lowScaled) * slope + lowOut;
        typename L::V r = v > lowIn ? y : splat(lowOut);
        r = v >= highIn ? splat(highOut) : r;
        std::memcpy(out + i, &r, sizeof r);
    }
    for (; i < n; ++i) {
        const T v = in[i];
        const T y = T(T(T(v * scale - lowScaled) * slope) + lowOut);
        T r = v > lowIn ? y : lowOut;
        r = v >= highIn ? highOut : r;
        out[i] = r;
    }
}

}  // namespace

template <typename T>
void adjustContrastFloat(const FloatContrastArgs<T>& a) {
    const int32_t n = a.numPixels;
    if (n <= 0) return;
    const T lowOut = a.outputRange[0];
    const T highOut = a.outputRange[1];
    T lowIn, highIn;
    int32_t numValid = n;
    if (a.inputRangeMode == kInputFromDialog) {
        lowIn = a.inputRange[0];
        highIn = a.inputRange[1];
    } else {
        const Extremes<T> e = findExtremes(a.input, n);
        lowIn = e.low;
        highIn = e.high;
        numValid = e.numValid;
        if (std::isinf(lowIn) || std::isinf(highIn)) {
            fillConstant(a.output, n, lowOut);
            return;
        }
    }
    if (!(highIn > lowIn)) {
        fillConstant(a.output, n, lowOut);
        return;
    }
    // A span beyond the type's largest value is handled at half scale, which is exact.
    const T scale = std::isfinite(T(highIn - lowIn)) ? T(1) : T(0.5);
    const T highScaled = highIn * scale;

    if (a.inputRangeMode == kInputFromHistogram) {
        const T lowFrac = a.fractions[0], highFrac = a.fractions[1];
        if (lowFrac > T(0) || highFrac > T(0)) {
            const int32_t numBins = a.numBins;
            std::fill(a.hist, a.hist + numBins + 1, 0u);
            const T slope = T(T(numBins) / T(highScaled - lowIn * scale));
            countBins(a.input, n, highScaled, slope, scale, numBins, a.hist);
            a.hist[numBins - 1] += a.hist[numBins];
            // Both limits are measured from the extremes' highIn.
            T newLow = lowIn, newHigh = highIn;
            if (lowFrac > T(0)) {
                const int32_t j = darkLimitBin(a.hist, numBins, pixelsToSaturate(numValid, lowFrac));
                newLow = T(T(highScaled - T(T(j + 1) / slope)) / scale);
            }
            if (highFrac > T(0)) {
                const int32_t j = brightLimitBin(a.hist, numBins, pixelsToSaturate(numValid, highFrac));
                newHigh = T(T(highScaled - T(T(j) / slope)) / scale);
            }
            lowIn = newLow;
            highIn = newHigh;
        }
    }
    // After saturation the span may be empty: then no pixel lies inside it and the slope is never used.
    const T slope = highIn > lowIn ? T(T(highOut - lowOut) / T(highIn * scale - lowIn * scale)) : T(0);
    mapPixels(a.input, a.output, n, lowIn, highIn, lowOut, highOut, slope, scale);
}

template void adjustContrastFloat<double>(const FloatContrastArgs<double>&);
template void adjustContrastFloat<float>(const FloatContrastArgs<float>&);

}  // namespace merrow
