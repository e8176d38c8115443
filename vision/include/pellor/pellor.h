// The rotate block plug-in: dialog parameter indices, the named helpers it exports (C linkage) and the
// helpers its set-up and kernels share. All take the block handle first; sizes are int32.
#pragma once

#include <cstdint>

#include "blockcallbacks.h"

namespace pellor {

using sysobj::SysObjAdaptorSFun;

enum Param : int32_t {
    kOutputSizeMode = 0,  // 1 expanded, 2 same as input
    kAngleSource = 1,     // 1 dialog, 2 input port
    kAngle = 2,           // radians
    kMaxAngle = 3,        // radians, bounds a port angle
    kPlacement = 4,       // 1 top-left, 2 centred (port angle, expanded output)
    kSineMethod = 5,      // 1 trigonometric functions, 2 table lookup
    kFillValues = 6,      // one value, or one per plane; tunable
    kInterpolation = 7,   // 1 nearest, 2 bilinear, 3 bicubic
    kFirstCoeffMode = 8,  // data type groups: mode, word length, fraction length
    kProductMode = 11,
    kAccumMode = 14,
    kOutputMode = 17,
    kRoundingMode = 20,
    kOverflowMode = 21,
    kNumParams = 22,
};

enum Rtp : int32_t { kRtpFillValue = 0, kRtpAngle = 1, kRtpSineTable = 2, kRtpPiValue = 3 };
enum DWork : int32_t { kDWorkLineBuffer = 0, kDWorkShearedImage = 1 };

inline constexpr int32_t kImagePort = 0;
inline constexpr int32_t kAnglePort = 1;

// Popup or mode parameter: element 0 of the real data, truncated.
int32_t paramInt(SysObjAdaptorSFun* S, int32_t index);
double paramDouble(SysObjAdaptorSFun* S, int32_t index);

bool isExpandedOutput(SysObjAdaptorSFun* S);
bool isAngleFromPort(SysObjAdaptorSFun* S);
bool isSineByTable(SysObjAdaptorSFun* S);

bool isQuarterTurnOnly(SysObjAdaptorSFun* S, int32_t* quarterTurns);
bool isCenteredPlacement(SysObjAdaptorSFun* S);
int32_t getFillValueCount(SysObjAdaptorSFun* S);
// Reports vision::system::backgroundWrongDim unless the count is 1 or `planes`; false then.
bool checkFillValueCount(SysObjAdaptorSFun* S, int32_t planes);

// Word and fraction length of a data type group (first parameter index of the group), value v for the
// best-precision mode.
void groupWordAndFracLength(SysObjAdaptorSFun* S, int32_t modeIndex, double value, int32_t* wordLength,
                            int32_t* fracLength);

}  // namespace pellor

// Named helpers other components may call.
DRAVO_CALLBACK void getFullOutputDimsForRotation(BlockHandle* S, int32_t rowsIn, int32_t colsIn,
                                                 int32_t* rowsOut, int32_t* colsOut);
DRAVO_CALLBACK bool isAngleMultipleOfPiB2(BlockHandle* S, int32_t* quarterTurns);
DRAVO_CALLBACK int32_t maxPossibleWmaxSize_D(double angle, int32_t a, int32_t b);
DRAVO_CALLBACK void getDWorksSize(BlockHandle* S, int32_t* lineLength, int32_t* shearedSize);
DRAVO_CALLBACK void mdlSetInputPortDimsMode(BlockHandle* S, int32_t port, int32_t dimsMode);
DRAVO_CALLBACK void ondCreateSineTableRTP(BlockHandle* S, double angleStep, int32_t rtpIndex,
                                          DataTypeId dataType, const char* name);
DRAVO_CALLBACK void mdlStartFltPt(BlockHandle* S);
DRAVO_CALLBACK void mdlStartFixPt(BlockHandle* S);
