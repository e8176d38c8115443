// dravo_minblock: only the required callbacks, so every propagation step takes the host's default.
// No dialog parameters; one input and one output, both left unset; mdlOutputs copies the input's bytes.
// Built a second time with two outputs (dravo_minblock2), where the host passes no size through.
#include <cstring>

#include "blockcallbacks.h"
#include "sysobj.h"

using namespace sysobj;

DRAVO_CALLBACK void mdlInitializeSizes(BlockHandle* S) {
    if (!ssSetNumSFcnParams(S, 0)) return;
#ifndef MINBLOCK_OUTPUTS
#define MINBLOCK_OUTPUTS 1
#endif
    if (!ssSetNumInputPorts(S, 1) || !ssSetNumOutputPorts(S, MINBLOCK_OUTPUTS)) return;
}

DRAVO_CALLBACK void mdlOutputs(BlockHandle* S, int32_t) {
    size_t bytes = static_cast<size_t>(ssGetInputPortWidth(S, 0)) *
                   ssGetDataTypeSize(S, ssGetInputPortDataType(S, 0)) *
                   (ssGetInputPortComplexSignal(S, 0) == 1 ? 2 : 1);
    size_t room = static_cast<size_t>(ssGetOutputPortWidth(S, 0)) *
                  ssGetDataTypeSize(S, ssGetOutputPortDataType(S, 0)) *
                  (ssGetOutputPortComplexSignal(S, 0) == 1 ? 2 : 1);
    std::memcpy(ssGetOutputPortSignal(S, 0), ssGetInputPortSignal(S, 0), bytes < room ? bytes : room);
}

DRAVO_CALLBACK void mdlTerminate(BlockHandle*) {}
