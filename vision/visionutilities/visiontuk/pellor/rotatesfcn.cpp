// The rotate block's life cycle: ports and options, the choice of engine at start, each step, the
// tunable fill values and the end of the run.
#include <cmath>
#include <type_traits>

#include "blockutils.h"
#include "pellor/pellor.h"
#include "pellor/rotatesfcncache.h"
#include "vekdsp.h"

using namespace sysobj;
using namespace VekSimCommon;
using namespace pellor;

namespace {

// The host's option flags for this block as one word (the host gives the bits their meaning); the
// scale-and-convert block declares the same word.
constexpr uint32_t kPluginOptionWord = 0x23280002;

RotateSFcnCache* cacheOf(SysObjAdaptorSFun* S) {
    return static_cast<RotateSFcnCache*>(ssGetUserData(S));
}

bool declareInputPort(SysObjAdaptorSFun* S, int32_t port, int32_t dimsMode) {
    const DimsInfo_tag unset = getDefaultDimensionInfo();
    if (!ssSetInputPortDimensionInfo(S, port, &unset)) return false;
    ssSetInputPortFrameData(S, port, -1);
    ssSetInputPortDataType(S, port, DYNAMICALLY_TYPED);
    ssSetInputPortComplexSignal(S, port, 0);
    ssSetInputPortRequiredContiguous(S, port, 1);
    ssSetInputPortDirectFeedThrough(S, port, 1);
    ssSetInputPortOptimOpts(S, port, 1);
    ssSetInputPortOverWritable(S, port, 0);
    ssSetInputPortDimensionsMode(S, port, dimsMode);
    return ssGetErrorStatus(S) == nullptr;
}

// A finite angle sample, when the port carries a floating-point angle.
bool portAngleIsFinite(SysObjAdaptorSFun* S) {
    const void* p = ssGetInputPortSignal(S, kAnglePort);
    switch (ssGetInputPortDataType(S, kAnglePort)) {
        case SS_DOUBLE:
            return std::isfinite(*static_cast<const double*>(p));
        case SS_SINGLE:
            return std::isfinite(*static_cast<const float*>(p));
        default:
            return true;
    }
}

// Variable-size steps: the current sizes into the kernel and onto the output.
bool updateCurrentDims(SysObjAdaptorSFun* S, RotateSFcnCache* cache) {
    const int32_t numDims = ssGetInputPortNumDimensions(S, kImagePort);
    if (numDims > 2) {
        const int32_t planes = ssGetCurrentInputPortDimensions(S, kImagePort, 2);
        if (planes != ssGetInputPortDimensions(S, kImagePort)[2]) {
            dspError(S, "vision::system::numColorsChanged");
            return false;
        }
        if (!ssSetCurrentOutputPortDimensions(S, 0, 2, planes)) return false;
    }
    const int32_t rows = ssGetCurrentInputPortDimensions(S, kImagePort, 0);
    const int32_t cols = numDims >= 2 ? ssGetCurrentInputPortDimensions(S, kImagePort, 1) : 1;
    cache->setInputDims(rows, cols);
    int32_t outRows = rows, outCols = cols;
    if (isExpandedOutput(S)) cache->getOutputDims(&outRows, &outCols);
    return ssSetCurrentOutputPortDimensions(S, 0, 0, outRows) &&
           ssSetCurrentOutputPortDimensions(S, 0, 1, outCols);
}

}  // namespace

DRAVO_CALLBACK void mdlInitializeSizes(BlockHandle* S) {
    if (!registerSFcnParams(S, kNumParams)) return;
    ssSetModelReferenceSampleTimeInheritanceRule(S, 1);
    for (int32_t i = 0; i < kNumParams; ++i)
        ssSetSFcnParamTunable(S, i, i == kFillValues ? 1 : 0);

    const bool fromPort = isAngleFromPort(S);
    if (!ssSetNumInputPorts(S, fromPort ? 2 : 1)) return;
    if (fromPort && !declareInputPort(S, kAnglePort, 0)) return;
    if (!declareInputPort(S, kImagePort, -1)) return;

    const DimsInfo_tag unset = getDefaultDimensionInfo();
    if (!ssSetNumOutputPorts(S, 1) || !ssSetOutputPortDimensionInfo(S, 0, &unset)) return;
    ssSetOutputPortFrameData(S, 0, 0);
    ssSetOutputPortComplexSignal(S, 0, 0);
    ssSetOutputPortDataType(S, 0, DYNAMICALLY_TYPED);
    ssSetOutputPortOptimOpts(S, 0, 2);
    ssSetOutputPortDimensionsMode(S, 0, -1);
    ssRegMdlSetInputPortDimensionsModeFcn(S, mdlSetInputPortDimsMode);

    // The output may reuse the image's memory only where each output plane is exactly its input plane,
    // which the kernel has copied away before writing it: same-size output, not a pure quarter turn.
    int32_t quarterTurns = -1;
    const bool dialogQuarterTurn = !fromPort && isAngleMultipleOfPiB2(S, &quarterTurns);
    if (!dialogQuarterTurn && !isExpandedOutput(S)) ssSetInputPortOverWritable(S, kImagePort, 1);

    ssSetBusPropagationSupported(S, 1);
    ssSetBusSourcePort(S, 0);
    ssSetUserData(S, nullptr);
    ssSetTarnCG(S, 1);
    dspEnableTarn33PlusCodeGen(S);
    ssAllowSignalsWithMoreThan2D(S);
    ssSetModelReferenceNormalModeSupport(S, 2);
    if (!ssSetNumSampleTimes(S, 1)) return;
    ssSetSimStateCompliance(S, 1);
    ssSetOptions(S, kPluginOptionWord);
}

DRAVO_CALLBACK void mdlStart(BlockHandle* S) {
    if (blockutils::isBuiltInFloatType(ssGetInputPortDataType(S, kImagePort)) &&
        blockutils::useFloatingPointPath(S, kImagePort)) {
        mdlStartFltPt(S);
    } else {
        mdlStartFixPt(S);
    }
}

DRAVO_CALLBACK void mdlOutputs(BlockHandle* S, int32_t /*tid*/) {
    RotateSFcnCache* cache = cacheOf(S);
    if (cache == nullptr) {
        ssSetErrorStatus(S, "Rotate: the block was not started.");
        return;
    }
    if (isAngleFromPort(S) && !portAngleIsFinite(S)) {
        dspError(S, "vision::system::angleInfOrNaN");
        return;
    }
    if (ssGetInputPortDimensionsMode(S, kImagePort) == 1 && !updateCurrentDims(S, cache)) return;
    cache->output();
}

DRAVO_CALLBACK void mdlProcessParameters(BlockHandle* S) {
    if (RotateSFcnCache* cache = cacheOf(S)) cache->processParameters();
}

DRAVO_CALLBACK void mdlTerminate(BlockHandle* S) {
    delete cacheOf(S);
    ssSetUserData(S, nullptr);
}

static_assert(std::is_same_v<decltype(mdlInitializeSizes), mdlInitializeSizesTYPE>);
static_assert(std::is_same_v<decltype(mdlStart), mdlStartTYPE>);
static_assert(std::is_same_v<decltype(mdlOutputs), mdlOutputsTYPE>);
static_assert(std::is_same_v<decltype(mdlProcessParameters), mdlProcessParametersTYPE>);
static_assert(std::is_same_v<decltype(mdlTerminate), mdlTerminateTYPE>);
