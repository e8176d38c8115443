// mdlSetWorkWidths of the rotate block: the run-time parameters (fill values, angle or maximum angle, sine
// table, 2*pi) and the two work vectors of the three-shear rotation.
#include <type_traits>

#include "blockutils.h"
#include "pellor/pellor.h"
#include "vekdsp.h"

using namespace sysobj;
using namespace VekSimCommon;
using namespace pellor;

namespace {

constexpr double kSineStep = 0.004363323129985824;  // pi/720: a quarter degree
constexpr double kTwoPi = 6.283185307179586;

bool failed(SysObjAdaptorSFun* S) {
    return ssGetErrorStatus(S) != nullptr;
}

// Data type of the angle (or maximum angle) RTP, and its word length for the sine table.
bool angleRtpType(SysObjAdaptorSFun* S, bool floatPath, DataTypeId* type, int32_t* wordLength) {
    if (floatPath) {
        *type = ssGetInputPortDataType(S, kImagePort);
        *wordLength = 0;
        return true;
    }
    if (!isSineByTable(S)) {
        dspError(S, "dspshared::system::sineMethodNotTable");
        return false;
    }
    if (isAngleFromPort(S)) {
        *type = ssGetInputPortDataType(S, kAnglePort);
        *wordLength = dspGetDataTypeWordLength(S, *type);
        return true;
    }
    dspParam angleParam(S, kAngle, "dspshared::systemmessagefragment::mapBlkAngleRadians");
    if (failed(S)) return false;
    double a = angleParam.getRealValueAsDouble(0);
    if (a > -0.7853981633974483 && a < 0.0) a += 1.5707963267948966;
    int32_t fl = 0;
    groupWordAndFracLength(S, kFirstCoeffMode, a, wordLength, &fl);
    *type = dspGetFixPtDataTypeIDFromAttribs(S, 1, *wordLength, fl, 2);
    return !failed(S);
}

bool declareWorkVectors(SysObjAdaptorSFun* S) {
    int32_t lineLength = 0, shearedSize = 0;
    getDWorksSize(S, &lineLength, &shearedSize);
    if (failed(S)) return false;
    const DataTypeId type = ssGetOutputPortDataType(S, 0);
    if (!ssSetNumDWork(S, 2)) return false;
    const struct {
        int32_t index;
        const char* name;
        int32_t width;
        int32_t usage;
    } works[] = {
        {kDWorkLineBuffer, "LineBuffer", lineLength + 1, 0},
        {kDWorkShearedImage, "ShearedImage", shearedSize, 2},
    };
    for (const auto& w : works) {
        if (!ssSetDWorkWidth(S, w.index, w.width) || !ssSetDWorkDataType(S, w.index, type) ||
            !ssSetDWorkComplexSignal(S, w.index, 0) || !ssSetDWorkName(S, w.index, w.name) ||
            !ssSetDWorkUsageType(S, w.index, w.usage)) {
            return false;
        }
    }
    return true;
}

}  // namespace

DRAVO_CALLBACK void mdlSetWorkWidths(BlockHandle* S) {
    const DataTypeId inType = ssGetInputPortDataType(S, kImagePort);
    const bool floatIn = blockutils::isBuiltInFloatType(inType);
    const bool floatPath = blockutils::useFloatingPointPath(S, kImagePort);
    const bool byTable = isSineByTable(S);
    const bool fromPort = isAngleFromPort(S);

    const bool withSineTable = !floatIn || !floatPath || byTable;
    const bool withPi = !floatPath;
    const int32_t count = 2 + (withSineTable ? 1 : 0) + (withPi ? 1 : 0);
    if (!ssSetNumRunTimeParams(S, count)) {
        dspError(S, "dspshared::system::rtpAllocFailed");
        return;
    }

    if (!ssRegDlgParamAsRunTimeParam(S, kFillValues, kRtpFillValue, "FillValue",
                                     ssGetOutputPortDataType(S, 0)) ||
        failed(S)) {
        return;
    }

    DataTypeId angleType = DYNAMICALLY_TYPED;
    int32_t angleWordLength = 0;
    if (!angleRtpType(S, floatPath, &angleType, &angleWordLength)) return;
    if (!ssRegDlgParamAsRunTimeParam(S, fromPort ? kMaxAngle : kAngle, kRtpAngle,
                                     fromPort ? "MaxAngle" : "Angle", angleType) ||
        failed(S)) {
        return;
    }

    if (withSineTable) {
        const DataTypeId tableType =
            floatPath ? inType
                      : dspGetFixPtDataTypeIDFromAttribs(S, 1, angleWordLength, angleWordLength - 1, 2);
        if (failed(S)) return;
        ondCreateSineTableRTP(S, kSineStep, kRtpSineTable, tableType, "SineTable");
        if (failed(S)) return;
    }
    if (withPi) {
        const DataTypeId piType = dspGetFixPtDataTypeIDFromAttribs(S, 1, 16, 12, 2);
        if (failed(S)) return;
        const int32_t dims[2] = {1, 1};
        if (!ConvertDTypeAndCreateRTP(S, &kTwoPi, 2, dims, piType, kRtpPiValue, "PiValue") || failed(S))
            return;
    }

    int32_t quarterTurns = -1;
    if (!isQuarterTurnOnly(S, &quarterTurns)) {
        if (failed(S) || !declareWorkVectors(S)) return;
    }
    if (failed(S)) return;

    if (ssGetInputPortDimensionsMode(S, kImagePort) == 1) {
        ssAddVariableSizeSignalsRuntimeChecker(S, 1);
        ssSetSignalSizesComputeType(S, 1);
    }
}

static_assert(std::is_same_v<decltype(mdlSetWorkWidths), mdlSetWorkWidthsTYPE>);
