// The floating kernels of the contrast adjustment block (double and single), on plain arrays.
//
// Steps: output range from outputRange; input range from the dialog (mode 2) or the image's extremes
// (modes 1, 3); in mode 3 the range is narrowed from an inverted histogram of numBins + 1 counters so that
// the given fractions of the darkest and brightest pixels saturate; then every pixel is mapped linearly,
// clamping outside the range. Degenerate ranges give a constant lowOut image.
//
// NaN pixels: they map to lowOut, never decide the extremes, never land in a bin and are not counted among
// the pixels whose fractions saturate. An image whose extremes are infinite maps to lowOut entirely.
// Nothing is allocated; hist must hold numBins + 1 counters in mode 3.
#pragma once

#include <cstdint>

namespace merrow {

template <typename T>
struct FloatContrastArgs {
    const T* input = nullptr;
    T* output = nullptr;
    int32_t numPixels = 0;
    int32_t inputRangeMode = 1;
    int32_t numBins = 1;
    const T* outputRange = nullptr;  // [lowOut, highOut]
    const T* inputRange = nullptr;   // mode 2: [low, high]
    const T* fractions = nullptr;    // mode 3: [lowFrac, highFrac]
    uint32_t* hist = nullptr;        // mode 3: numBins + 1 counters
};

// Single: arithmetic in single precision, with the bin rounding (+0.5, truncation) in double.
template <typename T>
void adjustContrastFloat(const FloatContrastArgs<T>& args);

extern template void adjustContrastFloat<double>(const FloatContrastArgs<double>&);
extern template void adjustContrastFloat<float>(const FloatContrastArgs<float>&);

}  // namespace merrow
