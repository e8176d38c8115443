// Scale-and-convert block: work widths, start, the per-step conversion and termination.
#include "blockcallbacks.h"
#include "ubrin/scale_convert_setup.h"
#include "ubrin/scale_convert_state.h"
#include "vekdsp.h"

using namespace sysobj;
using namespace ubrin;

namespace {

const char kNotStarted[] = "The scale-and-convert block has no conversion prepared.";

ScaleConvertState* stateOf(BlockHandle* S) {
    return static_cast<ScaleConvertState*>(ssGetUserData(S));
}

// The instance's record, allocated zero-filled on first use; null (error set) when out of memory.
ScaleConvertState* ensureState(BlockHandle* S) {
    ScaleConvertState* state = stateOf(S);
    if (state != nullptr) return state;
    state = static_cast<ScaleConvertState*>(dvCalloc(1, sizeof(ScaleConvertState)));
    if (state == nullptr) {
        ssSetErrorStatus(S, "Out of memory.");
        return nullptr;
    }
    ssSetUserData(S, state);
    return state;
}

}  // namespace

DRAVO_CALLBACK void mdlSetWorkWidths(BlockHandle* S) {
    ssSetSignalSizesComputeType(S, 0);
    ssAddVariableSizeSignalsRuntimeChecker(S, 1);
    ssSetInputPortDimsSameAsOutputPortDims(S, 0, 0);
}

DRAVO_CALLBACK void mdlPreSim(BlockHandle* S) {
    // The host may call this before mdlStart too: the record it fills must exist all the same.
    ScaleConvertState* state = ensureState(S);
    if (state == nullptr) return;
    prepareScaleConvertState(S, state);
}

DRAVO_CALLBACK void mdlStart(BlockHandle* S) {
    if (ensureState(S) == nullptr) return;
    mdlPreSim(S);
}

DRAVO_CALLBACK void mdlOutputs(BlockHandle* S, int32_t /*tid*/) {
    ScaleConvertState* state = stateOf(S);
    if (state == nullptr || state->firstKernel == nullptr) {
        ssSetErrorStatus(S, kNotStarted);
        return;
    }
    // Port buffers belong to the host; take them afresh each step.
    state->input = ssGetInputPortSignal(S, 0);
    state->output = ssGetOutputPortSignal(S, 0);
    if (ssGetInputPortDimensionsMode(S, 0) == 1) {
        state->numElements = ssGetCurrentInputPortWidth(S, 0);
        const int32_t numDims = ssGetInputPortNumDimensions(S, 0);
        for (int32_t d = 0; d < numDims; ++d)
            if (!ssSetCurrentOutputPortDimensions(S, 0, d, ssGetCurrentInputPortDimensions(S, 0, d))) return;
    }
    state->firstKernel(state);
    if (state->secondKernel != nullptr) state->secondKernel(state);
}

DRAVO_CALLBACK void mdlTerminate(BlockHandle* S) {
    dvFree(stateOf(S));
    ssSetUserData(S, nullptr);
}
