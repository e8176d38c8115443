// Dialog parameters of the rotate block: readers, the quarter-turn and placement tests, the fill value
// count, and mdlCheckParameters.
#include <cmath>
#include <type_traits>

#include "blockutils.h"
#include "pellor/geometry.h"
#include "pellor/pellor.h"
#include "vekdsp.h"

using namespace sysobj;
using namespace VekSimCommon;

namespace pellor {

namespace {
constexpr const char* kFragAngle = "dspshared::systemmessagefragment::mapBlkAngleRadians";
constexpr const char* kFragMaxAngle = "dspshared::systemmessagefragment::mapBlkMaximumAngle";
constexpr const char* kFragFill = "dspshared::systemmessagefragment::mapBlkBackgroundFillValues";
constexpr const char* kFragWordLength = "dspshared::systemmessagefragment::mapBlkWordLength";
constexpr const char* kFragFracLength = "dspshared::systemmessagefragment::mapBlkFractionLength";
}  // namespace

double paramDouble(SysObjAdaptorSFun* S, int32_t index) {
    return qzGetRealElementAsDouble(ssGetSFcnParam(S, index), 0);
}

int32_t paramInt(SysObjAdaptorSFun* S, int32_t index) {
    const double v = paramDouble(S, index);
    if (!std::isfinite(v) || std::fabs(v) > 2.0e9) return 0;
    return static_cast<int32_t>(v);
}

bool isExpandedOutput(SysObjAdaptorSFun* S) {
    return paramInt(S, kOutputSizeMode) == 1;
}
bool isAngleFromPort(SysObjAdaptorSFun* S) {
    return paramInt(S, kAngleSource) != 1;
}
bool isSineByTable(SysObjAdaptorSFun* S) {
    return paramInt(S, kSineMethod) == 2;
}

bool isQuarterTurnOnly(SysObjAdaptorSFun* S, int32_t* quarterTurns) {
    int32_t rows = 0, cols = 0;
    blockutils::getInputPortMatrixDims(S, kImagePort, &rows, &cols);
    *quarterTurns = -1;
    if (rows == 1 && cols == 1) {
        *quarterTurns = 0;
        return true;
    }
    if (isAngleFromPort(S)) return false;
    if (!isExpandedOutput(S) && rows != cols) return false;
    return isAngleMultipleOfPiB2(S, quarterTurns);
}

bool isCenteredPlacement(SysObjAdaptorSFun* S) {
    if (!isAngleFromPort(S) || ssGetInputPortDimensionsMode(S, kImagePort) == 1) return false;
    return isExpandedOutput(S) && paramInt(S, kPlacement) == 2;
}

int32_t getFillValueCount(SysObjAdaptorSFun* S) {
    return static_cast<int32_t>(qzGetNumberOfElements(ssGetSFcnParam(S, kFillValues)));
}

bool checkFillValueCount(SysObjAdaptorSFun* S, int32_t planes) {
    const int32_t count = getFillValueCount(S);
    if (count == 1 || count == planes) return true;
    dspError(S, "vision::system::backgroundWrongDim");
    return false;
}

void groupWordAndFracLength(SysObjAdaptorSFun* S, int32_t modeIndex, double value, int32_t* wordLength,
                            int32_t* fracLength) {
    *wordLength = 0;
    *fracLength = 0;
    switch (paramInt(S, modeIndex)) {
        case 0:
            *wordLength = paramInt(S, modeIndex + 1);
            *fracLength = paramInt(S, modeIndex + 2);
            break;
        case 1:
            *wordLength = paramInt(S, modeIndex + 1);
            *fracLength = dspComputeBestPrecFracLength(value, *wordLength, 1);
            break;
        case 2:
            *wordLength = dspGetDataTypeWordLength(S, ssGetInputPortDataType(S, kImagePort));
            *fracLength = dspComputeBestPrecFracLength(value, *wordLength, 1);
            break;
        default:
            break;
    }
}

namespace {

struct TypeGroup {
    int32_t modeIndex;
    const char* name;
};
constexpr TypeGroup kTypeGroups[] = {
    {kFirstCoeffMode, "first coefficient"},
    {kProductMode, "product output"},
    {kAccumMode, "accumulator"},
    {kOutputMode, "output"},
};

bool checkTypeGroup(SysObjAdaptorSFun* S, const TypeGroup& g) {
    if (!dspIsPopupParamValid(S, g.modeIndex, -2, 5)) return false;
    const int32_t mode = paramInt(S, g.modeIndex);
    if (mode >= 0 && mode <= 1) {
        dspParamCheckerID wl(S);
        wl.setShape(1).setRealOnly(true).setValueClassCheck(1).setValueRule(9, 2.0, 128.0);
        if (!wl.check(g.modeIndex + 1, kFragWordLength)) {
            dspError(S, "dspshared::system::sgnFixptWdLenWrong1", {g.name});
            return false;
        }
    }
    if (mode == 0) {
        dspParamCheckerID fl(S);
        fl.setShape(1).setRealOnly(true).setValueClassCheck(1);
        if (!fl.check(g.modeIndex + 2, kFragFracLength)) {
            dspError(S, "dspshared::system::fixptFracLenNotInt1", {g.name});
            return false;
        }
    }
    return ssGetErrorStatus(S) == nullptr;
}

}  // namespace

}  // namespace pellor

using namespace pellor;

DRAVO_CALLBACK bool isAngleMultipleOfPiB2(BlockHandle* S, int32_t* quarterTurns) {
    dspParam angle(S, kAngle, kFragAngle);
    if (angle.isEmpty()) {
        *quarterTurns = -1;
        return false;
    }
    return quarterTurnsOf(angle.getRealValueAsDouble(0), quarterTurns);
}

DRAVO_CALLBACK void mdlCheckParameters(BlockHandle* S) {
    if (!dspIsPopupParamValid(S, kOutputSizeMode, 1, 2)) return;
    if (!dspIsPopupParamValid(S, kAngleSource, 1, 2)) return;
    if (!dspIsPopupParamValid(S, kSineMethod, 1, 2)) return;

    if (!isAngleFromPort(S)) {
        dspParamCheckerID angle(S);
        angle.setShape(1).setRealOnly(true);
        if (!angle.check(kAngle, kFragAngle)) return;
        if (blockutils::checkParamNotInfOrNaN(S, kAngle, "Angle (radians)")) return;
    } else {
        // A bound on the magnitude: a negative one means nothing.
        dspParamCheckerID maxAngle(S);
        maxAngle.setShape(1).setRealOnly(true).setValueRule(2, 0.0);
        if (!maxAngle.check(kMaxAngle, kFragMaxAngle)) return;
        if (blockutils::checkParamNotInfOrNaN(S, kMaxAngle, "Maximum angle")) return;
    }

    if (!dspIsPopupParamValid(S, kPlacement, 1, 2)) return;
    if (!dspIsPopupParamValid(S, kInterpolation, 1, 3)) return;

    dspParamCheckerID fill(S);
    fill.setShape(2).setRealOnly(true);
    if (!fill.check(kFillValues, kFragFill)) return;

    for (const TypeGroup& g : kTypeGroups) {
        if (!checkTypeGroup(S, g)) return;
    }

    if (!dspIsPopupParamValid(S, kRoundingMode, 1, 7)) return;
    if (!dspIsPopupParamValid(S, kOverflowMode, 1, 2)) return;

    // A tunable change of the fill values while the image size is known must still fit the planes.
    if (ssGetInputPortWidth(S, kImagePort) > 0) {
        int32_t rows = 0, cols = 0, planes = 1;
        blockutils::getInputPortMatrixDims(S, kImagePort, &rows, &cols, &planes);
        checkFillValueCount(S, planes);
    }
}

static_assert(std::is_same_v<decltype(mdlCheckParameters), mdlCheckParametersTYPE>);
