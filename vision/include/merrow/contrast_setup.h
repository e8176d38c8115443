// Contrast adjustment block: decisions shared by the work widths, start and code generation.
#pragma once

#include <cstdint>

#include "sysobj.h"

namespace merrow {

using sysobj::SysObjAdaptorSFun;

// Images of at most this many pixels never use the look-up table (it has as many entries).
inline constexpr int32_t kTableSize = 256;

struct KernelChoice {
    bool floatingKernel = false;  // double or single kernel; else the fixed-point kernel
    bool lookUpTable = false;     // fixed-point kernel through the table
    int32_t inputWordLength = 0;
    int32_t inputFracLength = 0;
};

// From the input port's type and width and the host's logging setting.
KernelChoice chooseKernel(SysObjAdaptorSFun* S);

// The "Fraction" type: signed 32 bits, best precision for the larger saturation fraction. -1 with the
// error status set when the type cannot be made.
DataTypeId fractionDataType(SysObjAdaptorSFun* S, int32_t* fracLength = nullptr);

// Run-time parameter indices of the input range or fractions, and of the lower bound.
inline constexpr int32_t kRtpOutputRange = 0;
inline constexpr int32_t kRtpInputRangeOrFractions = 1;
int32_t lowerBoundRtpIndex(int32_t inputRangeMode);

}  // namespace merrow
