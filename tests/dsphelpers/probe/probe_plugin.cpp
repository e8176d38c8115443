// The probe plug-in: one input and one output by default, every callback deferring to the test's hooks.
#include <type_traits>

#include "probe.h"
#include "sysobj.h"

using namespace sysobj;

namespace {

ProbeHooks hooks;

}  // namespace

DRAVO_CALLBACK void dravoProbeSetHooks(const ProbeHooks* h) {
    hooks = h != nullptr ? *h : ProbeHooks{};
}

DRAVO_CALLBACK void mdlInitializeSizes(BlockHandle* S) {
    if (!ssSetNumSFcnParams(S, ssGetSFcnParamsCount(S))) return;
    ssAllowSignalsWithMoreThan2D(S);
    if (!ssSetNumInputPorts(S, hooks.numInputs) || !ssSetNumOutputPorts(S, hooks.numOutputs)) return;
    for (int32_t port = 0; port < hooks.numOutputs; ++port) {
        ssSetOutputPortComplexSignal(S, port, 0);
        ssSetOutputPortFrameData(S, port, 0);
    }
    if (!ssSetNumSampleTimes(S, 1)) return;
    if (hooks.initializeSizes) hooks.initializeSizes(S, hooks.ctx);
}

DRAVO_CALLBACK void mdlCheckParameters(BlockHandle* S) {
    if (hooks.checkParameters) hooks.checkParameters(S, hooks.ctx);
}

DRAVO_CALLBACK void mdlSetInputPortDimensionInfo(BlockHandle* S, int32_t port, const DimsInfo_tag* di) {
    if (hooks.setInputPortDimensionInfo) {
        hooks.setInputPortDimensionInfo(S, port, di, hooks.ctx);
        return;
    }
    if (!ssSetInputPortDimensionInfo(S, port, di)) return;
    if (port == 0 && ssGetNumOutputPorts(S) > 0 && ssGetOutputPortWidth(S, 0) == -1)
        ssSetOutputPortDimensionInfo(S, 0, di);
}

DRAVO_CALLBACK void mdlSetInputPortDataType(BlockHandle* S, int32_t port, DataTypeId id) {
    if (hooks.setInputPortDataType) {
        hooks.setInputPortDataType(S, port, id, hooks.ctx);
        return;
    }
    if (!ssSetInputPortDataType(S, port, id)) return;
    if (port == 0 && ssGetNumOutputPorts(S) > 0 && ssGetOutputPortDataType(S, 0) == DYNAMICALLY_TYPED)
        ssSetOutputPortDataType(S, 0, id);
}

DRAVO_CALLBACK void mdlSetOutputPortDataType(BlockHandle* S, int32_t port, DataTypeId id) {
    if (hooks.setOutputPortDataType) {
        hooks.setOutputPortDataType(S, port, id, hooks.ctx);
        return;
    }
    ssSetOutputPortDataType(S, port, id);
}

DRAVO_CALLBACK void mdlSetWorkWidths(BlockHandle* S) {
    if (hooks.setWorkWidths) hooks.setWorkWidths(S, hooks.ctx);
}

DRAVO_CALLBACK void mdlStart(BlockHandle* S) {
    if (hooks.start) hooks.start(S, hooks.ctx);
}

DRAVO_CALLBACK void mdlOutputs(BlockHandle*, int32_t) {}

DRAVO_CALLBACK void mdlTerminate(BlockHandle*) {}

static_assert(std::is_same_v<decltype(dravoProbeSetHooks), dravoProbeSetHooksTYPE>);
