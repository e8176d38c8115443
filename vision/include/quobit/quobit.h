// The corner metric block plug-in: dialog parameter indices, run-time parameter and work vector names, and
// the set-up helpers its callbacks and kernels share. All take the block handle first.
#pragma once

#include <cstdint>

#include "blockcallbacks.h"

namespace quobit {

using sysobj::SysObjAdaptorSFun;

enum Param : int32_t {
    kMethod = 0,            // 1 Harris, 2 minimum eigenvalue, 3 local intensity comparison
    kSensitivity = 1,       // k, Harris; tunable then
    kFilter = 2,            // 2L values: the L smoothing coefficients twice
    kThreshold = 3,         // intensity comparison threshold t; tunable for method 3
    kAngleChoice = 4,       // 1..7; the comparison kernel's arc limit is 16 minus it; tunable for method 3
    kOutputMode = 5,        // 1..4; 4 reads kOutputModeSecond
    kOutputModeSecond = 6,  // 1..3
    kMaxCorners = 7,        // checked only when the effective output mode is not 3
    kMinMetric = 8,         // "THRMETRIC_RTP" when the effective output mode is not 3
    kNeighbourhood = 9,     // [rows cols], when the effective output mode is not 3
    kCoeffMode = 10,        // data type groups: mode, word length, fraction length
    kProductMode = 13,
    kAccumMode = 16,
    kMemoryMode = 19,
    kOutputTypeMode = 22,
    kRoundingMode = 25,
    kOverflowMode = 26,
    kNumParams = 27,
};

enum Method : int32_t { kHarris = 1, kMinEigen = 2, kComparison = 3 };

inline constexpr int32_t kImagePort = 0;

// Popup or mode parameter: element 0 of the real data, truncated (0 when not a finite number).
int32_t paramInt(SysObjAdaptorSFun* S, int32_t index);
double paramDouble(SysObjAdaptorSFun* S, int32_t index);

int32_t method(SysObjAdaptorSFun* S);
// Parameter 5, or parameter 6 when parameter 5 is 4.
int32_t effectiveOutputMode(SysObjAdaptorSFun* S);
inline bool findsCorners(SysObjAdaptorSFun* S) {
    return effectiveOutputMode(S) != 3;
}
// L: half the element count of the filter parameter.
int32_t filterLength(SysObjAdaptorSFun* S);

// Smallest rows and columns the block accepts: 3 (methods 1, 2) or 7 (method 3), raised by the
// neighbourhood size plus 2 when the block finds corners.
void minimumInputSize(SysObjAdaptorSFun* S, int32_t* minRows, int32_t* minCols);

// Method 3 with an integer or fixed-point image: the threshold must stay below half the span of the
// image type. True when it passes (always for floating images); otherwise the error is set.
bool checkThresholdRange(SysObjAdaptorSFun* S);

// The computation runs on the input's own floating type (true) or through fixed-point number objects.
bool usesFloatingPath(SysObjAdaptorSFun* S);

// Smallest and largest value of the image type as the comparison kernel's limits: the largest single value
// (negated for the smallest) on the floating path, the type's range otherwise.
void typeLimits(SysObjAdaptorSFun* S, double* lo, double* hi);

// ---- Run-time parameters --------------------------------------------------------------------------------
enum class Rtp : int32_t {
    Filter,
    ColRange,
    RowRange,
    Factor,
    ThrMetric,
    ThrAngle,
    ValThr,
    DtMin,
    DtMax,
    DtLow,
    DtHigh,
    Circle,
    Step,
    Offset,
};
// The RTP index of a logical RTP for the block's method and output mode; -1 when it has none.
int32_t rtpIndex(SysObjAdaptorSFun* S, Rtp which);
int32_t rtpIndexFor(int32_t method, bool findsCorners, Rtp which);
// Harris 5, minimum eigenvalue 4, comparison 10; one fewer without corner finding.
int32_t rtpCount(int32_t method, bool findsCorners);
const char* rtpName(Rtp which);

// ---- Work vectors (methods 1 and 2) -----------------------------------------------------------------
enum DWork : int32_t { kDwPad = 0, kDwNextPadIdx = 1, kDwColPadIdx = 2, kDwRowPadIdx = 3, kNumDWorks = 4 };

// The sixteen circle positions of the comparison metric as (row, column) displacements.
inline constexpr int32_t kCircleRows[16] = {-1, 0, 1, 2, 3, 3, 3, 2, 1, 0, -1, -2, -3, -3, -3, -2};
inline constexpr int32_t kCircleCols[16] = {-3, -3, -3, -2, -1, 0, 1, 2, 3, 3, 3, 2, 1, 0, -1, -2};
// Fills the 32 element offsets (the 16 positions twice) for an image of `rows` rows.
void fillCircleOffsets(int32_t rows, int32_t* offsets);

}  // namespace quobit

DRAVO_CALLBACK void mdlSetInputPortDimsMode(BlockHandle* S, int32_t port, int32_t dimsMode);
