// The pad block's sizes, work memory, run-time parameters and instance lifecycle.
#include <algorithm>
#include <cstring>

#include "blockcallbacks.h"
#include "pad_amounts.h"
#include "pad_cache.h"
#include "pad_checks.h"
#include "pad_instance.h"
#include "pad_propagation.h"
#include "pad_settings.h"
#include "vekdsp.h"

using namespace sysobj;
using namespace pad;

namespace {

enum RtpIndex : int32_t {
    RTP_OUT_DIMS = 0,
    RTP_PAD_BEFORE = 1,
    RTP_PAD_AFTER = 2,
    RTP_IN_WORK_ADD = 3,
    RTP_OUT_WORK_ADD = 4,
    RTP_PAD_VALUE = 5,
};
enum DWorkIndex : int32_t { DWORK_IN_ADD = 0, DWORK_OUT_ADD = 1 };
constexpr uint32_t kOptions = 0x21280002;

PadInstance* instanceOf(BlockHandle* S) {
    return static_cast<PadInstance*>(ssGetUserData(S));
}

void freeScratch(PadInstance* inst) {
    utFree(inst->workDims);
    utFree(inst->padBefore);
    utFree(inst->padAfter);
    inst->workDims = inst->padBefore = inst->padAfter = nullptr;
}

// Creates an int32 1 x n RTP from a scratch array, which is freed and nulled whatever the outcome.
bool createIndexRtp(BlockHandle* S, int32_t index, const char* name, int32_t n, int32_t*& data) {
    const int32_t dims[2] = {1, n};
    const bool ok = ssCreateRunTimeParamFromData(S, index, name, SS_INT32, 0, 2, dims, data);
    utFree(data);
    data = nullptr;
    return ok && ssGetErrorStatus(S) == nullptr;
}

// Replicate, symmetric and circular padding copy from the kept data; with none kept there is no source.
bool keptDataForFills(BlockHandle* S, int32_t method, int32_t n, const int32_t* outDims,
                      const int32_t* before, const int32_t* after) {
    if (method == PAD_CONSTANT) {
        return true;
    }
    for (int32_t k = 0; k < n; ++k) {
        const bool fills = before[k] > 0 || after[k] > 0;
        const int32_t kept = outDims[k] - std::max(before[k], 0) - std::max(after[k], 0);
        if (fills && kept < 1) {
            ssSetErrorStatus(S,
                             "Replicate, symmetric and circular padding need at least one input element "
                             "along each padded dimension.");
            return false;
        }
    }
    return true;
}

void refreshRunInfoPointers(BlockHandle* S, PadRunInfo& ri) {
    ri.outDims = static_cast<const int32_t*>(VekSimCommon::GetRTPDataPtr(S, RTP_OUT_DIMS));
    ri.padBefore = static_cast<const int32_t*>(VekSimCommon::GetRTPDataPtr(S, RTP_PAD_BEFORE));
    ri.padAfter = static_cast<const int32_t*>(VekSimCommon::GetRTPDataPtr(S, RTP_PAD_AFTER));
    ri.inWorkAdd = static_cast<const int32_t*>(VekSimCommon::GetRTPDataPtr(S, RTP_IN_WORK_ADD));
    ri.outWorkAdd = static_cast<const int32_t*>(VekSimCommon::GetRTPDataPtr(S, RTP_OUT_WORK_ADD));
}

}  // namespace

DRAVO_CALLBACK void mdlInitializeSizes(BlockHandle* S) {
    if (!VekSimCommon::registerSFcnParams(S, NUM_PARAMS)) {
        return;
    }
    ssAllowSignalsWithMoreThan2D(S);
    ssSetModelReferenceSampleTimeInheritanceRule(S, 1);
    ssSetSimStateCompliance(S, 1);

    const PadSettings p = readPadSettings(S);
    for (int32_t i = 0; i < NUM_PARAMS; ++i) {
        ssSetSFcnParamTunable(S, i, i == P_PAD_VALUE && p.valueFromDialog() ? 1 : 0);
    }

    const int32_t numInputs = p.hasValuePort() ? 2 : 1;
    if (!ssSetNumInputPorts(S, numInputs)) {
        return;
    }
    const DimsInfo_tag unset = getDefaultDimensionInfo();
    for (int32_t q = 0; q < numInputs; ++q) {
        if (!ssSetInputPortDimensionInfo(S, q, &unset)) {
            return;
        }
        ssSetInputPortFrameData(S, q, -1);
        ssSetInputPortDataType(S, q, DYNAMICALLY_TYPED);
        ssSetInputPortComplexSignal(S, q, -1);
        ssSetInputPortRequiredContiguous(S, q, 1);
        ssSetInputPortDirectFeedThrough(S, q, 1);
        ssSetInputPortOptimOpts(S, q, 1);
        ssSetInputPortOverWritable(S, q, 0);
    }
    ssSetBusSourcePort(S, 0);

    if (!ssSetNumOutputPorts(S, 1) || !ssSetOutputPortDimensionInfo(S, 0, &unset)) {
        return;
    }
    ssSetOutputPortFrameData(S, 0, -1);
    ssSetOutputPortComplexSignal(S, 0, -1);
    ssSetOutputPortDataType(S, 0, DYNAMICALLY_TYPED);
    ssSetOutputPortOptimOpts(S, 0, 1);

    ssSetUserData(S, nullptr);
    ssSetBusPropagationSupported(S, 1);
    ssSetNumSampleTimes(S, 1);
    ssSetModelReferenceNormalModeSupport(S, 2);
    VekSimCommon::dspEnableTarn33PlusCodeGen(S);
    ssSetOptions(S, kOptions);
    ssSetTarnCG(S, 1);
}

DRAVO_CALLBACK void mdlCheckParameters(BlockHandle* S) {
    checkPadParameters(S);
}

DRAVO_CALLBACK void mdlSetWorkWidths(BlockHandle* S) {
    PadInstance* inst = instanceOf(S);
    if (inst == nullptr) {
        inst = static_cast<PadInstance*>(dvCalloc(1, sizeof(PadInstance)));
        if (inst == nullptr) {
            ssSetErrorStatus(S, "Out of memory for the pad block's instance record.");
            return;
        }
        ssSetUserData(S, inst);
    }
    freeScratch(inst);

    const PadSettings p = readPadSettings(S);
    int32_t n = 0;
    const int32_t result =
        computePadAmounts(S, ssGetInputPortNumDimensions(S, 0), ssGetInputPortDimensions(S, 0), &n,
                          &inst->workDims, &inst->padBefore, &inst->padAfter);
    if (!reportPadAmountResult(S, result)) {
        freeScratch(inst);
        return;
    }
    // The output buffer is the host's; the kernels may only write the shape they were set up for.
    if (!sameDims(inst->workDims, n, ssGetOutputPortDimensions(S, 0), ssGetOutputPortNumDimensions(S, 0))) {
        reportOutputDimsMismatch(S, std::vector<int32_t>(inst->workDims, inst->workDims + n));
        freeScratch(inst);
        return;
    }
    if (!keptDataForFills(S, p.method, n, inst->workDims, inst->padBefore, inst->padAfter)) {
        freeScratch(inst);
        return;
    }

    if (!ssSetNumRunTimeParams(S, p.valueFromDialog() ? 6 : 5)) {
        VekSimCommon::dspError(S, "dspshared::system::rtpAllocFailed");
        freeScratch(inst);
        return;
    }
    // Strides before the scratch arrays go: input size = output size - before - after.
    int32_t* inWorkAdd = static_cast<int32_t*>(utCalloc(static_cast<size_t>(n), sizeof(int32_t)));
    int32_t* outWorkAdd = static_cast<int32_t*>(utCalloc(static_cast<size_t>(n), sizeof(int32_t)));
    if (inWorkAdd == nullptr || outWorkAdd == nullptr) {
        utFree(inWorkAdd);
        utFree(outWorkAdd);
        freeScratch(inst);
        ssSetErrorStatus(S, "Out of memory for the pad block's strides.");
        return;
    }
    bool anyGrowth = false;
    inWorkAdd[0] = outWorkAdd[0] = 1;
    for (int32_t k = 0; k < n; ++k) {
        const int32_t out = inst->workDims[k];
        const int32_t in = out - inst->padBefore[k] - inst->padAfter[k];
        anyGrowth = anyGrowth || inst->padBefore[k] + inst->padAfter[k] > 0;
        if (k + 1 < n) {
            inWorkAdd[k + 1] = inWorkAdd[k] * in;
            outWorkAdd[k + 1] = outWorkAdd[k] * out;
        }
    }

    PadRunInfo& ri = inst->runInfo;
    ri.numDims = n;
    ri.padMethod = p.method;  // read by the code generator before mdlStart
    const bool ok = createIndexRtp(S, RTP_OUT_DIMS, "outDims", n, inst->workDims) &&
                    createIndexRtp(S, RTP_PAD_BEFORE, "padBefore", n, inst->padBefore) &&
                    createIndexRtp(S, RTP_PAD_AFTER, "padAfter", n, inst->padAfter) &&
                    createIndexRtp(S, RTP_IN_WORK_ADD, "inWorkAdd", n, inWorkAdd) &&
                    createIndexRtp(S, RTP_OUT_WORK_ADD, "outWorkAdd", n, outWorkAdd);
    utFree(inWorkAdd);
    utFree(outWorkAdd);
    freeScratch(inst);
    if (!ok) {
        return;
    }
    refreshRunInfoPointers(S, ri);

    if (p.valueFromDialog()) {
        const DataTypeId outType = ssGetOutputPortDataType(S, 0);
        if (anyGrowth) {
            ssRegDlgParamAsRunTimeParamFull(S, P_PAD_VALUE, RTP_PAD_VALUE, "PadValue", outType,
                                            VekSimCommon::isOutputComplex(S, 0) ? 1 : 0);
        } else {
            ssRegDlgParamAsRunTimeParam(S, P_PAD_VALUE, RTP_PAD_VALUE, "PadValue", outType);
        }
        if (ssGetErrorStatus(S) != nullptr) {
            return;
        }
    }

    if (ssSetNumDWork(S, 2)) {
        const char* names[2] = {"inAdd", "outAdd"};
        for (int32_t i = 0; i < 2; ++i) {
            ssSetDWorkWidth(S, i, n);
            ssSetDWorkDataType(S, i, SS_INT32);
            ssSetDWorkComplexSignal(S, i, 0);
            ssSetDWorkName(S, i, names[i]);
            ssSetDWorkUsageType(S, i, 2);
        }
    }
    ssSupportsMultipleExecInstances(S, 1);
}

DRAVO_CALLBACK void mdlStart(BlockHandle* S) {
    PadInstance* inst = instanceOf(S);
    if (inst == nullptr) {
        ssSetErrorStatus(S, "The pad block was started without its work widths set.");
        return;
    }
    const PadSettings p = readPadSettings(S);
    PadRunInfo& ri = inst->runInfo;
    refreshRunInfoPointers(S, ri);
    ri.inputData = ssGetInputPortSignal(S, 0);
    ri.outputData = ssGetOutputPortSignal(S, 0);
    ri.padMethod = p.method;
    ri.inAdd = static_cast<int32_t*>(ssGetDWork(S, DWORK_IN_ADD));
    ri.outAdd = static_cast<int32_t*>(ssGetDWork(S, DWORK_OUT_ADD));

    const DataTypeId inType = ssGetInputPortDataType(S, 0);
    const int32_t typeBytes = ssGetDataTypeSize(S, inType);
    if (ri.zeroElement == nullptr) {
        ri.zeroElement = utCalloc(1, static_cast<size_t>(std::max(typeBytes, 1)));
        if (ri.zeroElement == nullptr) {
            ssSetErrorStatus(S, "Out of memory for the pad block's zero element.");
            return;
        }
        const void* zero = ssGetDataTypeZero(S, inType);
        if (zero != nullptr) {
            std::memcpy(ri.zeroElement, zero, static_cast<size_t>(typeBytes));
        }
    }
    const bool inputComplex = VekSimCommon::isInputComplex(S, 0);
    const bool outputComplex = VekSimCommon::isOutputComplex(S, 0);
    ri.inElemBytes = typeBytes * (inputComplex ? 2 : 1);
    ri.widen = outputComplex && !inputComplex ? 1 : 0;
    ri.padValue = nullptr;
    ri.padValueWiden = 0;
    if (p.method == PAD_CONSTANT) {
        if (p.valueFromDialog()) {
            ri.padValue = VekSimCommon::GetRTPDataPtr(S, RTP_PAD_VALUE);
            const ssParamRec* rec = ssGetRunTimeParamInfo(S, RTP_PAD_VALUE);
            // A real value under a complex output gets a zero imaginary part rather than a read past it.
            ri.padValueWiden = outputComplex && rec != nullptr && rec->complexSignal == 0 ? 1 : 0;
        } else {
            ri.padValue = ssGetInputPortSignal(S, 1);
            ri.padValueWiden = outputComplex && !VekSimCommon::isInputComplex(S, 1) ? 1 : 0;
        }
    }
    if (inst->cache == nullptr) {
        inst->cache = PadSFcnCache::create(&ri);
        if (inst->cache == nullptr) {
            ssSetErrorStatus(S, "Out of memory for the pad block's kernel.");
        }
    }
}

DRAVO_CALLBACK void mdlOutputs(BlockHandle* S, int32_t /*tid*/) {
    PadInstance* inst = instanceOf(S);
    if (inst != nullptr && inst->cache != nullptr) {
        inst->cache->computeOutputs();
    }
}

DRAVO_CALLBACK void mdlProcessParameters(BlockHandle* S) {
    const PadSettings p = readPadSettings(S);
    if (!p.valueFromDialog()) {
        return;
    }
    if (!ssUpdateDlgParamAsRunTimeParam(S, RTP_PAD_VALUE)) {
        return;
    }
    PadInstance* inst = instanceOf(S);
    if (inst != nullptr) {
        inst->runInfo.padValue = VekSimCommon::GetRTPDataPtr(S, RTP_PAD_VALUE);
    }
}

DRAVO_CALLBACK void mdlTerminate(BlockHandle* S) {
    PadInstance* inst = instanceOf(S);
    if (inst != nullptr) {
        delete inst->cache;
        inst->cache = nullptr;
        utFree(inst->runInfo.zeroElement);
        inst->runInfo.zeroElement = nullptr;
        freeScratch(inst);
    }
    dvFree(inst);
    ssSetUserData(S, nullptr);
}
