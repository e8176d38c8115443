// Dialog parameters of the scale-and-convert block: their checks and the output type they choose.
#include <cmath>

#include "blockutils.h"
#include "ubrin/scale_convert_setup.h"
#include "vekdsp.h"

using namespace sysobj;

namespace ubrin {

namespace {

const char kWordLengthFragment[] = "dspshared::systemmessagefragment::mapBlkOutputWordLength";
const char kFractionLengthFragment[] = "dspshared::systemmessagefragment::mapBlkOutputFractionLength";

bool isEmptyInSizesOnlyMode(SysObjAdaptorSFun* S, int32_t index) {
    return ssGetSimMode(S) == 1 && qzIsEmpty(ssGetSFcnParam(S, index));
}

int32_t readChoice(SysObjAdaptorSFun* S) {
    const double v = qzGetScalar(ssGetSFcnParam(S, kParamOutputDataType));
    return std::isfinite(v) ? static_cast<int32_t>(v) : 0;
}

// Word and fraction lengths are whole numbers by the checks; truncated like every length parameter.
int32_t readLength(SysObjAdaptorSFun* S, int32_t index, const char* fragment) {
    VekSimCommon::dspParam param(S, index, fragment);
    const double v = param.getRealValueAsDouble(0);
    return std::isfinite(v) ? static_cast<int32_t>(v) : 0;
}

DataTypeId builtInChoiceToId(int32_t choice) {
    switch (choice) {
        case kChoiceDouble:
            return SS_DOUBLE;
        case kChoiceSingle:
            return SS_SINGLE;
        case kChoiceInt8:
            return SS_INT8;
        case kChoiceUint8:
            return SS_UINT8;
        case kChoiceInt16:
            return SS_INT16;
        case kChoiceUint16:
            return SS_UINT16;
        case kChoiceBoolean:
            return SS_BOOLEAN;
        default:
            return DYNAMICALLY_TYPED;
    }
}

}  // namespace

bool checkScaleConvertParameters(SysObjAdaptorSFun* S) {
    if (isEmptyInSizesOnlyMode(S, kParamOutputDataType)) return true;
    if (!VekSimCommon::dspIsPopupParamValid(S, kParamOutputDataType, kChoiceDouble, kChoiceInherited))
        return false;
    if (readChoice(S) != kChoiceFixedPoint) return true;

    VekSimCommon::dspParamCheckerID checker(S, 1);
    checker.setShape(1).setRealOnly(true).setValueClassCheck(1).setValueRule(9, 2.0, 16.0);
    if (!checker.check(kParamWordLength, kWordLengthFragment)) return false;
    if (blockutils::checkParamNotInfOrNaN(S, kParamWordLength, "Output word length")) return false;

    checker.setValueRule(0, 0.0).setValueRuleOff();
    if (!checker.check(kParamFractionLength, kFractionLengthFragment)) return false;
    if (blockutils::checkParamNotInfOrNaN(S, kParamFractionLength, "Output fraction length")) return false;
    return true;
}

DataTypeId outputDataTypeFromDialog(SysObjAdaptorSFun* S) {
    if (isEmptyInSizesOnlyMode(S, kParamOutputDataType)) return SS_DOUBLE;
    const int32_t choice = readChoice(S);
    DataTypeId id = builtInChoiceToId(choice);
    if (choice == kChoiceFixedPoint) {
        // Sizes-only mode may leave the attributes empty; the type is then not known yet.
        for (int32_t i : {kParamIsSigned, kParamWordLength, kParamFractionLength})
            if (isEmptyInSizesOnlyMode(S, i)) return DYNAMICALLY_TYPED;
        // A NaN compares unequal to 0, so it counts as signed.
        const int32_t isSigned = qzGetScalar(ssGetSFcnParam(S, kParamIsSigned)) != 0.0 ? 1 : 0;
        const int32_t wordLength = readLength(S, kParamWordLength, kWordLengthFragment);
        const int32_t fracLength = readLength(S, kParamFractionLength, kFractionLengthFragment);
        fxpBlockProperties props{};
        VekSimCommon::dspFxpBlockProp_SetSFunOrTuk(S, &props);
        id = VekSimCommon::dspGetFixPtDataTypeIDFromAttribsLocal(S, &props, isSigned, wordLength, fracLength,
                                                                 0, 5);
        if (ssGetErrorStatus(S) != nullptr) return DYNAMICALLY_TYPED;
    }
    if (id != DYNAMICALLY_TYPED && blockutils::isDataTypeOverrideOne(S))
        id = VekSimCommon::dspGetScaledDoubleDTypeIdFromNonOverrideDTypeId(S, id);
    return id;
}

}  // namespace ubrin
