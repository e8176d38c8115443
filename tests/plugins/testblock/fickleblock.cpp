// dravo_fickleblock: two inputs, one output, and a dimensions-mode callback that ignores which port it is
// asked about and always sets input port 0 - the kind of slip the host must catch at the end of
// propagation instead of running a variable-size signal as fixed-size.
#include <cstring>

#include "blockcallbacks.h"
#include "sysobj.h"

using namespace sysobj;

DRAVO_CALLBACK void mdlInitializeSizes(BlockHandle* S) {
    if (!ssSetNumSFcnParams(S, 0)) return;
    if (!ssSetNumInputPorts(S, 2) || !ssSetNumOutputPorts(S, 1)) return;
    ssSetOutputPortMatrixDimensions(S, 0, 1, 1);
}

DRAVO_CALLBACK void mdlSetInputPortDimsMode(BlockHandle* S, int32_t port, int32_t mode) {
    (void)port;
    if (!ssSetInputPortDimensionsMode(S, 0, mode)) return;
    ssSetOutputPortDimensionsMode(S, 0, mode);
}

DRAVO_CALLBACK void mdlOutputs(BlockHandle*, int32_t) {}
DRAVO_CALLBACK void mdlTerminate(BlockHandle*) {}
