// Contrast adjustment block: the kernel choice, run-time parameters and work vectors.
#include <algorithm>

#include "blockcallbacks.h"
#include "blockutils.h"
#include "merrow/contrast_params.h"
#include "merrow/contrast_setup.h"
#include "vekdsp.h"

using namespace sysobj;
using namespace merrow;

namespace merrow {

KernelChoice chooseKernel(SysObjAdaptorSFun* S) {
    KernelChoice k;
    const DataTypeId id = ssGetInputPortDataType(S, 0);
    k.floatingKernel = blockutils::useFloatingPointPath(S, 0);
    k.inputWordLength = VekSimCommon::dspGetDataTypeWordLength(S, id);
    k.inputFracLength = VekSimCommon::dspGetDataTypeFracLength(S, id);
    k.lookUpTable = !k.floatingKernel && k.inputWordLength <= 8 && k.inputFracLength == 0 &&
                    ssGetInputPortWidth(S, 0) > kTableSize;
    return k;
}

DataTypeId fractionDataType(SysObjAdaptorSFun* S, int32_t* fracLength) {
    const double larger =
        std::max(readElement(S, kParamSaturationFractions, 0), readElement(S, kParamSaturationFractions, 1));
    const int32_t fl = VekSimCommon::dspComputeBestPrecFracLength(larger, 32, 1);
    if (fracLength != nullptr) *fracLength = fl;
    return VekSimCommon::dspGetFixPtDataTypeIDFromAttribs(S, 1, 32, fl, 0);
}

int32_t lowerBoundRtpIndex(int32_t inputRangeMode) {
    return inputRangeMode == kInputFromMinMax ? 1 : 2;
}

}  // namespace merrow

namespace {

bool registerRunTimeParams(BlockHandle* S, const KernelChoice& k, int32_t inputMode, int32_t outputMode) {
    const DataTypeId inType = ssGetInputPortDataType(S, 0);
    DataTypeId fracType = inType;
    if (inputMode == kInputFromHistogram && !k.floatingKernel) {
        fracType = fractionDataType(S);
        if (ssGetErrorStatus(S) != nullptr) return false;
    }
    const int32_t count = (inputMode == kInputFromMinMax ? 1 : 2) + (k.lookUpTable ? 1 : 0);
    if (!ssSetNumRunTimeParams(S, count)) {
        VekSimCommon::dspError(S, "dspshared::system::rtpAllocFailed");
        return false;
    }
    const int32_t rowDims[2] = {1, 2};
    if (outputMode == kOutputFromDialog) {
        if (!ssRegDlgParamAsRunTimeParam(S, kParamOutputRange, kRtpOutputRange, "OUTPUTRANGE_RTP", inType))
            return false;
    } else {
        const double range[2] = {blockutils::getDataTypeMinValue(S, inType),
                                 blockutils::getDataTypeMaxValue(S, inType)};
        if (!VekSimCommon::ConvertDTypeAndCreateRTP(S, range, 2, rowDims, inType, kRtpOutputRange,
                                                    "OUTPUTRANGE_RTP"))
            return false;
    }
    if (inputMode == kInputFromDialog &&
        !ssRegDlgParamAsRunTimeParam(S, kParamInputRange, kRtpInputRangeOrFractions, "INPUTRANGE_RTP",
                                     inType))
        return false;
    if (inputMode == kInputFromHistogram &&
        !ssRegDlgParamAsRunTimeParam(S, kParamSaturationFractions, kRtpInputRangeOrFractions, "FRAC_RTP",
                                     fracType))
        return false;
    if (k.lookUpTable) {
        const double lowest = blockutils::getDataTypeMinValue(S, inType);
        const int32_t scalarDims[2] = {1, 1};
        if (!VekSimCommon::ConvertDTypeAndCreateRTP(S, &lowest, 2, scalarDims, inType,
                                                    lowerBoundRtpIndex(inputMode), "LOWERBOUND_RTP"))
            return false;
    }
    return true;
}

bool declareWork(BlockHandle* S, int32_t index, const char* name, int32_t width, DataTypeId type) {
    return ssSetDWorkWidth(S, index, width) && ssSetDWorkDataType(S, index, type) &&
           ssSetDWorkComplexSignal(S, index, 0) && ssSetDWorkName(S, index, name) &&
           ssSetDWorkUsageType(S, index, 2);
}

bool declareWorkVectors(BlockHandle* S, const KernelChoice& k, int32_t inputMode) {
    const bool histogram = inputMode == kInputFromHistogram;
    const int32_t count = (histogram ? 1 : 0) + (k.lookUpTable ? 1 : 0);
    if (!ssSetNumDWork(S, count)) {
        VekSimCommon::dspError(S, "dspshared::system::memoryAllocationFailed");
        return false;
    }
    int32_t index = 0;
    if (histogram) {
        const int32_t bins = ssGetErrorStatus(S) == nullptr ? readNumBins(S) : 1;
        if (!declareWork(S, index++, "HIST_DW", bins + 1, SS_UINT32)) return false;
    }
    if (k.lookUpTable && !declareWork(S, index, "LUT_DW", kTableSize, ssGetInputPortDataType(S, 0)))
        return false;
    return true;
}

}  // namespace

DRAVO_CALLBACK void mdlSetWorkWidths(BlockHandle* S) {
    const int32_t inputMode = readPopup(S, kParamInputRangeMode);
    const int32_t outputMode = readPopup(S, kParamOutputRangeMode);
    const KernelChoice k = chooseKernel(S);
    if (!registerRunTimeParams(S, k, inputMode, outputMode)) return;
    if (!declareWorkVectors(S, k, inputMode)) return;
    if (ssGetOutputPortDimensionsMode(S, 0) == 1) {
        ssSetSignalSizesComputeType(S, 0);
        ssSetInputPortDimsSameAsOutputPortDims(S, 0, 0);
    }
}
