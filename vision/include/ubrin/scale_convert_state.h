// Per-instance state of the scale-and-convert block: one zero-filled record, allocated in mdlStart,
// filled (and refilled) by mdlPreSim, read by mdlOutputs and by code generation, freed in mdlTerminate.
//
// The constants describe the integer range of each word: max = 2^WL - 1, offset = 2^(WL-1); both are 0
// for a floating port. A kernel reads input, output, numElements and the constants, converts elements
// 0 .. numElements-1 and touches nothing else.
#pragma once

#include <cstdint>

#include "sysobj.h"

struct ScaleConvertState;

// One element loop of a conversion; a second-pass kernel works in place on the output buffer.
typedef void (*ScaleConvertKernel)(const ScaleConvertState* state);

struct ScaleConvertState {
    sysobj::SysObjAdaptorSFun* S;
    const void* input;
    void* output;

    uint16_t inMax;
    uint16_t inOffset;
    uint16_t outMax;
    uint16_t outOffset;
    // Output value of a true boolean input: 1 for a floating output, outOffset - 1 for a signed
    // output, outMax for an unsigned one; 0 unless the input is boolean and the output is not.
    uint16_t trueValue;

    int32_t inElemSize;    // bytes
    int32_t outElemSize;   // bytes
    int32_t inWordLength;  // 0 for double and single
    int32_t inFracLength;
    int32_t outWordLength;
    int32_t outFracLength;
    int32_t numElements;

    int32_t dataTypeOverride;  // the host's data-type override setting read as 1
    int32_t inScaledDouble;
    int32_t outScaledDouble;

    // The conversion rule (a ConversionRule value) that selected the kernels.
    int32_t rule;
    // Exact replacement of the division in roundHalfUp(u * outMax, inMax) for u in [0, inMax]:
    // (u * rescaleMultiplier + 2^(rescaleShift-1)) >> rescaleShift (see rescale_multiplier.h), formed
    // in 32-bit arithmetic when rescaleFitsIn32Bits, else in 64-bit.
    uint32_t rescaleMultiplier;
    int32_t rescaleShift;
    int32_t rescaleFitsIn32Bits;

    ScaleConvertKernel firstKernel;   // always set after a successful mdlPreSim
    ScaleConvertKernel secondKernel;  // set only for the two-pass conversions
};
