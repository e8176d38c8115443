// dravo_misbehaving: a block that breaks the rules, to show the host refuses instead of crashing.
// It has no mdlOutputs, so loading it must fail; the other callbacks are reached only by tests that call
// them through a handle.
#include "blockcallbacks.h"
#include "sysobj.h"

using namespace sysobj;

DRAVO_CALLBACK void mdlInitializeSizes(BlockHandle* S) {
    ssSetNumSFcnParams(S, 0);
    ssSetNumInputPorts(S, 1);
}

DRAVO_CALLBACK void mdlTerminate(BlockHandle*) {}
