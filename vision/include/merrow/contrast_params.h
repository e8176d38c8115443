// Contrast adjustment block: dialog parameter indices, their readers and the dialog checks.
//
// The block maps pixel values from an input range [lowIn, highIn] onto an output range [lowOut, highOut];
// the input range is the image's extremes, a dialog range, or found from a histogram after saturating
// given fractions of the darkest and brightest pixels. Readers never fail: a value that does not pass
// the checks reads as 0 (popups) and is reported by mdlCheckParameters.
#pragma once

#include <cstdint>

#include "sysobj.h"

namespace merrow {

using sysobj::SysObjAdaptorSFun;

enum ContrastParam : int32_t {
    kParamInputRangeMode = 0,
    kParamInputRange = 1,
    kParamSaturationFractions = 2,
    kParamCheckBox = 3,
    kParamNumBins = 4,
    kParamOutputRangeMode = 5,
    kParamOutputRange = 6,
    kParamProduct1Mode = 7,
    kParamProduct1WordLength = 8,
    kParamProduct1FracLength = 9,
    kParamProduct2Mode = 10,
    kParamProduct2WordLength = 11,
    kParamProduct2FracLength = 12,
    kParamRoundingMode = 13,
    kParamOverflowMode = 14,
    kNumParams = 15,
};

enum InputRangeMode : int32_t { kInputFromMinMax = 1, kInputFromDialog = 2, kInputFromHistogram = 3 };
enum OutputRangeMode : int32_t { kOutputFullTypeRange = 1, kOutputFromDialog = 2 };

// The histogram work vector has binNum + 1 counters; the bound keeps it a sane size.
inline constexpr double kMaxNumBins = 16777216.0;

// Popup or mode value: the first real element truncated to an integer; 0 when empty or not finite.
int32_t readPopup(SysObjAdaptorSFun* S, int32_t index);
// Word or fraction length: the scalar value truncated to an integer; 0 when empty or not finite.
int32_t readLength(SysObjAdaptorSFun* S, int32_t index);
// The number of bins (parameter 4); 1 when the parameter is unreadable.
int32_t readNumBins(SysObjAdaptorSFun* S);
// Element i of a real parameter as double (0 when missing).
double readElement(SysObjAdaptorSFun* S, int32_t index, int32_t i);

// All checks in their order; false (error status set) at the first failure.
bool checkContrastParameters(SysObjAdaptorSFun* S);

}  // namespace merrow
