// Per-instance record of the contrast adjustment block: allocated zero-filled with dvCalloc in mdlStart,
// read by mdlOutputs, mdlProcessParameters and code generation, freed with dvFree in mdlTerminate.
//
// Pointers point into host-owned memory (ports, run-time parameters, work vectors) and are refreshed when
// the host may have moved the data (tuning). The fixed-point kernel's number objects live in `fix`, which
// the record owns.
#pragma once

#include <cstdint>

#include "sysobj.h"

namespace merrow {

class ContrastFixKernel;
struct ContrastState;

// One kernel member; chosen once at start, so mdlOutputs runs without type tests.
typedef void (*ContrastKernel)(ContrastState* state);

struct ContrastState {
    sysobj::SysObjAdaptorSFun* S;
    const void* input;
    void* output;
    int32_t numPixels;  // refreshed per step for a variable-size input
    int32_t numBins;
    int32_t inputRangeMode;   // 1 min/max, 2 dialog, 3 histogram
    int32_t outputRangeMode;  // 1 full type range, 2 dialog
    DataTypeId inputType;

    const void* outputRange;  // "OUTPUTRANGE_RTP": lowOut, highOut
    const void* inputRange;   // "INPUTRANGE_RTP" (mode 2), else null
    const void* fractions;    // "FRAC_RTP" (mode 3), else null
    uint32_t* hist;           // "HIST_DW" (mode 3), else null
    void* table;              // "LUT_DW" with the look-up table, else null
    const void* lowerBound;   // "LOWERBOUND_RTP" with the look-up table, else null

    int32_t useFloatingKernel;  // double or single kernel (no fixed-point objects)
    int32_t useLookUpTable;
    int32_t simpleMode;          // input fraction length 0 (integer-valued input)
    int32_t valNum;              // 2^input word length, 2^30 above 30 bits
    int32_t fractionFracLength;  // the "Fraction" type's fraction length (fixed-point kernel, mode 3)

    ContrastKernel kernel;
    ContrastFixKernel* fix;  // fixed-point kernel only
};

}  // namespace merrow
