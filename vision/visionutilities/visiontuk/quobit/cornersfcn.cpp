// The corner metric block's life cycle: parameters, ports and options; the metric object at start; each
// step; the tunable k, threshold, angle choice and minimum metric; the end of the run.
#include <type_traits>

#include "blockutils.h"
#include "quobit/cornermetric.h"
#include "quobit/quobit.h"
#include "vekdsp.h"

using namespace sysobj;
using namespace VekSimCommon;
using namespace quobit;

namespace {

constexpr uint32_t kOptions = 0x21280002;

baseCornerMetric* metricOf(SysObjAdaptorSFun* S) {
    return static_cast<baseCornerMetric*>(ssGetUserData(S));
}

void declareTunability(SysObjAdaptorSFun* S) {
    const int32_t m = method(S);
    for (int32_t i = 0; i < kNumParams; ++i)
        ssSetSFcnParamTunable(S, i, 0);
    if (m == kComparison) {
        ssSetSFcnParamTunable(S, kThreshold, 1);
        ssSetSFcnParamTunable(S, kAngleChoice, 1);
    } else {
        ssSetSFcnParamTunable(S, kSensitivity, m == kHarris ? 1 : 0);
    }
    ssSetSFcnParamTunable(S, kMinMetric, findsCorners(S) ? 1 : 0);
}

}  // namespace

DRAVO_CALLBACK void mdlInitializeSizes(BlockHandle* S) {
    if (!registerSFcnParams(S, kNumParams)) return;
    ssSetModelReferenceSampleTimeInheritanceRule(S, 1);
    declareTunability(S);

    const DimsInfo_tag unset = getDefaultDimensionInfo();
    if (!ssSetNumInputPorts(S, 1) || !ssSetInputPortDimensionInfo(S, kImagePort, &unset)) return;
    ssSetInputPortFrameData(S, kImagePort, -1);
    ssSetInputPortDataType(S, kImagePort, DYNAMICALLY_TYPED);
    ssSetInputPortComplexSignal(S, kImagePort, 0);
    ssSetInputPortOptimOpts(S, kImagePort, 1);
    ssSetInputPortDirectFeedThrough(S, kImagePort, 1);
    ssSetInputPortOverWritable(S, kImagePort, 0);
    ssSetInputPortRequiredContiguous(S, kImagePort, 1);
    ssSetInputPortDimensionsMode(S, kImagePort, -1);
    ssRegMdlSetInputPortDimensionsModeFcn(S, mdlSetInputPortDimsMode);

    if (!ssSetNumOutputPorts(S, 1) || !ssSetOutputPortDimensionInfo(S, 0, &unset)) return;
    ssSetOutputPortFrameData(S, 0, 0);
    ssSetOutputPortDataType(S, 0, DYNAMICALLY_TYPED);
    ssSetOutputPortComplexSignal(S, 0, 0);
    ssSetOutputPortOptimOpts(S, 0, 1);
    ssSetOutputPortDimensionsMode(S, 0, -1);

    // The work vector count is decided in mdlSetWorkWidths (4, or 0 for method 3).
    ssSetTarnCG(S, 1);
    dspEnableTarn33PlusCodeGen(S);
    ssSetUserData(S, nullptr);
    ssSetModelReferenceNormalModeSupport(S, 2);
    if (!ssSetNumSampleTimes(S, 1)) return;
    ssSetSimStateCompliance(S, 1);
    ssSetOptions(S, kOptions);
}

DRAVO_CALLBACK void mdlStart(BlockHandle* S) {
    CornerMetricSetup setup;
    if (!gatherCornerMetricSetup(S, setup)) return;
    ssSetUserData(S, createCornerMetric(setup));
}

DRAVO_CALLBACK void mdlOutputs(BlockHandle* S, int32_t /*tid*/) {
    baseCornerMetric* metric = metricOf(S);
    if (metric == nullptr) {
        ssSetErrorStatus(S, "Corner metric: the block was not started.");
        return;
    }
    if (ssGetInputPortDimensionsMode(S, kImagePort) == 1) {
        if (!metric->updateDims()) return;
        // The metric has the image's size.
        ssSetCurrentOutputPortDimensions(S, 0, 0, ssGetCurrentInputPortDimensions(S, kImagePort, 0));
        ssSetCurrentOutputPortDimensions(S, 0, 1, ssGetCurrentInputPortDimensions(S, kImagePort, 1));
    }
    metric->computeMetric();
}

DRAVO_CALLBACK void mdlProcessParameters(BlockHandle* S) {
    baseCornerMetric* metric = metricOf(S);
    if (metric == nullptr) return;
    metric->updateRuntimeParams();
    if (ssGetErrorStatus(S) != nullptr) return;
    if (findsCorners(S)) ssUpdateDlgParamAsRunTimeParam(S, rtpIndex(S, Rtp::ThrMetric));
}

DRAVO_CALLBACK void mdlTerminate(BlockHandle* S) {
    delete metricOf(S);
    ssSetUserData(S, nullptr);
}

static_assert(std::is_same_v<decltype(mdlInitializeSizes), mdlInitializeSizesTYPE>);
static_assert(std::is_same_v<decltype(mdlStart), mdlStartTYPE>);
static_assert(std::is_same_v<decltype(mdlOutputs), mdlOutputsTYPE>);
static_assert(std::is_same_v<decltype(mdlProcessParameters), mdlProcessParametersTYPE>);
static_assert(std::is_same_v<decltype(mdlTerminate), mdlTerminateTYPE>);
