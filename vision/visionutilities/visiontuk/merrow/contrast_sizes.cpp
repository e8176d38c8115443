// Contrast adjustment block: parameters, ports and options declared to the host, and the propagation of
// dimensions (1-D or 2-D, the same on both ports) and data types (one type for both ports).
#include "blockcallbacks.h"
#include "blockutils.h"
#include "merrow/contrast_params.h"
#include "vekdsp.h"

using namespace sysobj;
using namespace merrow;

namespace {

// Built-in numeric types and fixed point (both signednesses, scaled doubles, wide words); not boolean.
constexpr uint32_t kSupportedTypeMask = 26367;

// The extended input is one bit wider than the input; a 128-bit input has no such type.
constexpr int32_t kMaxInputWordLength = 127;
const char kInputTooWide[] =
    "The contrast adjustment block accepts fixed-point inputs of at most 127 bits: the difference of two "
    "pixels needs one bit more.";

void checkAndSetType(BlockHandle* S, DataTypeId id, VekSimCommon::DspPortDirection dir) {
    if (!VekSimCommon::dspIsDataTypeSupported(S, id, 1, dir, nullptr, kSupportedTypeMask, 0)) return;
    if (!VekSimCommon::dspIsDataTypeFloat(S, id) &&
        VekSimCommon::dspGetDataTypeFxpWordLength(S, id) > kMaxInputWordLength) {
        ssSetErrorStatus(S, kInputTooWide);
        return;
    }
    if (!ssSetInputPortDataType(S, 0, id)) return;
    ssSetOutputPortDataType(S, 0, id);
}

bool isOneOrTwoD(int32_t numDims) {
    return numDims == 1 || numDims == 2;
}

}  // namespace

DRAVO_CALLBACK void mdlInitializeSizes(BlockHandle* S) {
    if (!VekSimCommon::registerSFcnParams(S, kNumParams)) return;
    ssSetModelReferenceSampleTimeInheritanceRule(S, 1);
    // Ranges are tunable only in the modes that read them.
    const int32_t inputMode = readPopup(S, kParamInputRangeMode);
    const int32_t outputMode = readPopup(S, kParamOutputRangeMode);
    for (int32_t i = 0; i < kNumParams; ++i)
        ssSetSFcnParamNotTunable(S, i);
    ssSetSFcnParamTunable(S, kParamInputRange, inputMode == kInputFromDialog ? 1 : 0);
    ssSetSFcnParamTunable(S, kParamSaturationFractions, inputMode == kInputFromHistogram ? 1 : 0);
    ssSetSFcnParamTunable(S, kParamOutputRange, outputMode == kOutputFromDialog ? 1 : 0);

    const DimsInfo_tag unset = getDefaultDimensionInfo();
    if (!ssSetNumInputPorts(S, 1)) return;
    if (!ssSetInputPortDimensionInfo(S, 0, &unset)) return;
    if (!ssSetInputPortFrameData(S, 0, -1)) return;
    if (!ssSetInputPortDataType(S, 0, DYNAMICALLY_TYPED)) return;
    if (!ssSetInputPortComplexSignal(S, 0, 0)) return;
    ssSetInputPortOptimOpts(S, 0, 1);
    ssSetInputPortDirectFeedThrough(S, 0, 1);
    ssSetInputPortOverWritable(S, 0, 0);
    ssSetInputPortRequiredContiguous(S, 0, 1);
    if (!ssSetInputPortDimensionsMode(S, 0, -1)) return;

    if (!ssSetNumOutputPorts(S, 1)) return;
    if (!ssSetOutputPortDimensionInfo(S, 0, &unset)) return;
    if (!ssSetOutputPortFrameData(S, 0, 0)) return;
    if (!ssSetOutputPortDataType(S, 0, DYNAMICALLY_TYPED)) return;
    if (!ssSetOutputPortComplexSignal(S, 0, 0)) return;
    ssSetOutputPortOptimOpts(S, 0, 1);
    if (!ssSetOutputPortDimensionsMode(S, 0, -1)) return;

    // The count depends on the mode and the input; mdlSetWorkWidths sets it (the host has no "dynamic").
    if (!ssSetNumDWork(S, 0)) return;
    ssSetTarnCG(S, 1);
    VekSimCommon::dspEnableTarn33PlusCodeGen(S);
    ssSetUserData(S, nullptr);
    ssSetModelReferenceNormalModeSupport(S, 2);
    // 3-D offers reach mdlSetInputPortDimensionInfo, which refuses them with the block's own message.
    ssAllowSignalsWithMoreThan2D(S);
    if (!ssSetNumSampleTimes(S, 1)) return;
    ssSetSimStateCompliance(S, 1);
    ssSetOptions(S, 556269570u);
}

DRAVO_CALLBACK void mdlSetInputPortDimensionInfo(BlockHandle* S, int32_t port, const DimsInfo_tag* dimsInfo) {
    if (!ssSetInputPortDimensionInfo(S, port, dimsInfo)) return;
    const int32_t numDims = ssGetInputPortNumDimensions(S, port);
    if (!isOneOrTwoD(numDims)) {
        VekSimCommon::dspError(S, "dspshared::system::inputNot1D2D");
        return;
    }
    blockutils::setOutputPortDimsFromArray(S, 0, ssGetInputPortDimensions(S, port), numDims);
}

DRAVO_CALLBACK void mdlSetOutputPortDimensionInfo(BlockHandle* S, int32_t port,
                                                  const DimsInfo_tag* dimsInfo) {
    if (!ssSetOutputPortDimensionInfo(S, port, dimsInfo)) return;
    const int32_t numDims = ssGetOutputPortNumDimensions(S, port);
    if (!isOneOrTwoD(numDims)) {
        VekSimCommon::dspError(S, "dspshared::system::outputNot1D2D");
        return;
    }
    blockutils::setInputPortDimsFromArray(S, 0, ssGetOutputPortDimensions(S, port), numDims);
}

DRAVO_CALLBACK void mdlSetInputPortFrameData(BlockHandle* S, int32_t port, int32_t frameData) {
    ssSetInputPortFrameData(S, port, frameData);
}

DRAVO_CALLBACK void mdlSetInputPortDataType(BlockHandle* S, int32_t /*port*/, DataTypeId id) {
    checkAndSetType(S, id, VekSimCommon::DSP_INPUT_PORT);
}

DRAVO_CALLBACK void mdlSetOutputPortDataType(BlockHandle* S, int32_t /*port*/, DataTypeId id) {
    checkAndSetType(S, id, VekSimCommon::DSP_OUTPUT_PORT);
}

DRAVO_CALLBACK void mdlSetDefaultPortDataTypes(BlockHandle* S) {
    if (ssGetInputPortDataType(S, 0) == DYNAMICALLY_TYPED) ssSetInputPortDataType(S, 0, SS_DOUBLE);
    if (ssGetOutputPortDataType(S, 0) == DYNAMICALLY_TYPED) ssSetOutputPortDataType(S, 0, SS_DOUBLE);
}

// A variable-size input makes a variable-size output that follows the input's current sizes.
DRAVO_CALLBACK void mdlSetInputPortDimsMode(BlockHandle* S, int32_t port, int32_t dimsMode) {
    if (!ssSetInputPortDimensionsMode(S, port, dimsMode)) return;
    ssSetOutputPortDimensionsMode(S, 0, dimsMode);
}
