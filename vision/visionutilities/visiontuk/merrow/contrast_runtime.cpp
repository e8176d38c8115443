// Contrast adjustment block: start (instance record and kernel), steps, tuning and termination.
#include "blockcallbacks.h"
#include "blockutils.h"
#include "merrow/contrast_fix_kernel.h"
#include "merrow/contrast_float_kernel.h"
#include "merrow/contrast_params.h"
#include "merrow/contrast_setup.h"
#include "merrow/contrast_state.h"
#include "vekdsp.h"

using namespace sysobj;
using namespace merrow;

namespace {

const char kNotStarted[] = "The contrast adjustment block has not been started.";

ContrastState* stateOf(BlockHandle* S) {
    return static_cast<ContrastState*>(ssGetUserData(S));
}

template <typename T>
void floatingMember(ContrastState* s) {
    FloatContrastArgs<T> a;
    a.input = static_cast<const T*>(s->input);
    a.output = static_cast<T*>(s->output);
    a.numPixels = s->numPixels;
    a.inputRangeMode = s->inputRangeMode;
    a.numBins = s->numBins;
    a.outputRange = static_cast<const T*>(s->outputRange);
    a.inputRange = static_cast<const T*>(s->inputRange);
    a.fractions = static_cast<const T*>(s->fractions);
    a.hist = s->hist;
    adjustContrastFloat(a);
}

void fixedPointMember(ContrastState* s) {
    s->fix->run(s->numPixels);
}

bool prepareFixedPointKernel(BlockHandle* S, ContrastState* st, const KernelChoice& k) {
    FixKernelConfig c;
    c.S = S;
    c.input = st->input;
    c.output = st->output;
    c.numPixels = st->numPixels;
    c.inputRangeMode = st->inputRangeMode;
    c.numBins = st->numBins;
    c.inputType = st->inputType;
    c.inputWordLength = k.inputWordLength;
    if (st->inputRangeMode == kInputFromHistogram) {
        c.fractionType = fractionDataType(S, &st->fractionFracLength);
        if (ssGetErrorStatus(S) != nullptr) return false;
    }
    c.product1WordLength = readLength(S, kParamProduct1WordLength);
    c.product1FracLength = readLength(S, kParamProduct1FracLength);
    c.product2WordLength = readLength(S, kParamProduct2WordLength);
    c.product2FracLength = readLength(S, kParamProduct2FracLength);
    c.rounding = blockutils::getRoundingModeParam(S, kParamRoundingMode);
    c.overflow = blockutils::getOverflowModeParam(S, kParamOverflowMode);
    if (ssGetErrorStatus(S) != nullptr) return false;
    c.outputRange = const_cast<void*>(st->outputRange);
    c.inputRange = const_cast<void*>(st->inputRange);
    c.fractions = const_cast<void*>(st->fractions);
    c.hist = st->hist;
    c.table = st->table;
    c.lowerBound = const_cast<void*>(st->lowerBound);
    c.useLookUpTable = k.lookUpTable;
    st->fix = ContrastFixKernel::create(c);
    if (st->fix == nullptr) return false;
    st->simpleMode = st->fix->simpleMode() ? 1 : 0;
    st->valNum = st->fix->valNum();
    st->kernel = fixedPointMember;
    return true;
}

}  // namespace

DRAVO_CALLBACK void mdlStart(BlockHandle* S) {
    auto* st = static_cast<ContrastState*>(dvCalloc(1, sizeof(ContrastState)));
    if (st == nullptr) {
        VekSimCommon::dspError(S, "dspshared::system::memoryAllocationFailed");
        return;
    }
    ssSetUserData(S, st);
    st->S = S;
    st->inputRangeMode = readPopup(S, kParamInputRangeMode);
    st->outputRangeMode = readPopup(S, kParamOutputRangeMode);
    st->numPixels = ssGetInputPortWidth(S, 0);
    st->input = ssGetInputPortSignal(S, 0);
    st->output = ssGetOutputPortSignal(S, 0);
    st->inputType = ssGetInputPortDataType(S, 0);
    st->numBins = st->inputRangeMode == kInputFromHistogram ? readNumBins(S) : 0;

    const KernelChoice k = chooseKernel(S);
    st->useFloatingKernel = k.floatingKernel ? 1 : 0;
    st->useLookUpTable = k.lookUpTable ? 1 : 0;
    st->outputRange = VekSimCommon::GetRTPDataPtr(S, kRtpOutputRange);
    if (st->inputRangeMode == kInputFromDialog)
        st->inputRange = VekSimCommon::GetRTPDataPtr(S, kRtpInputRangeOrFractions);
    if (st->inputRangeMode == kInputFromHistogram) {
        st->fractions = VekSimCommon::GetRTPDataPtr(S, kRtpInputRangeOrFractions);
        st->hist = static_cast<uint32_t*>(ssGetDWork(S, 0));
    }
    if (k.lookUpTable) {
        st->table = ssGetDWork(S, st->inputRangeMode == kInputFromHistogram ? 1 : 0);
        st->lowerBound = VekSimCommon::GetRTPDataPtr(S, lowerBoundRtpIndex(st->inputRangeMode));
    }
    if (k.floatingKernel) {
        st->kernel = st->inputType == SS_SINGLE ? floatingMember<float> : floatingMember<double>;
        return;
    }
    prepareFixedPointKernel(S, st, k);
}

DRAVO_CALLBACK void mdlProcessParameters(BlockHandle* S) {
    ContrastState* st = stateOf(S);
    const int32_t inputMode = readPopup(S, kParamInputRangeMode);
    const int32_t outputMode = readPopup(S, kParamOutputRangeMode);
    if (inputMode == kInputFromDialog || inputMode == kInputFromHistogram) {
        if (!ssUpdateDlgParamAsRunTimeParam(S, kRtpInputRangeOrFractions)) return;
        void* data = VekSimCommon::GetRTPDataPtr(S, kRtpInputRangeOrFractions);
        if (st != nullptr && inputMode == kInputFromDialog) {
            st->inputRange = data;
            if (st->fix) st->fix->setInputRange(data);
        }
        if (st != nullptr && inputMode == kInputFromHistogram) {
            st->fractions = data;
            if (st->fix) st->fix->setFractions(data);
        }
    }
    if (outputMode == kOutputFromDialog) {
        if (!ssUpdateDlgParamAsRunTimeParam(S, kRtpOutputRange)) return;
        void* data = VekSimCommon::GetRTPDataPtr(S, kRtpOutputRange);
        if (st != nullptr) {
            st->outputRange = data;
            if (st->fix) st->fix->setOutputRange(data);
        }
    }
}

DRAVO_CALLBACK void mdlOutputs(BlockHandle* S, int32_t /*tid*/) {
    ContrastState* st = stateOf(S);
    if (st == nullptr || st->kernel == nullptr) {
        ssSetErrorStatus(S, kNotStarted);
        return;
    }
    if (ssGetInputPortDimensionsMode(S, 0) == 1) {
        st->numPixels = ssGetCurrentInputPortWidth(S, 0);
        const int32_t numDims = ssGetInputPortNumDimensions(S, 0);
        for (int32_t d = 0; d < numDims; ++d)
            if (!ssSetCurrentOutputPortDimensions(S, 0, d, ssGetCurrentInputPortDimensions(S, 0, d))) return;
    }
    if (st->numPixels <= 0) return;
    st->kernel(st);
}

// Deleting the number objects merges their logged records into the library's totals per label.
DRAVO_CALLBACK void mdlTerminate(BlockHandle* S) {
    ContrastState* st = stateOf(S);
    if (st == nullptr) return;
    delete st->fix;
    dvFree(st);
    ssSetUserData(S, nullptr);
}
