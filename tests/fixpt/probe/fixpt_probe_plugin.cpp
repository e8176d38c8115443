// A test plug-in that uses the fixed-point library the way blocks do: handles from the port types,
// objects over the port signals made in mdlStart, and out = 2 x in computed through them. Parameter 0
// chooses a fault: 1 an unsupported output word length, 2 one element more than the input holds.
#include "blockcallbacks.h"
#include "qzarray.h"
#include "sysobj.h"
#include "vekfixpt.h"

using namespace sysobj;
using namespace VekDSPFixpt;

namespace {

struct ProbeState {
    DSPDataAttributesHandle* inAttrs = nullptr;
    DSPDataAttributesHandle* outAttrs = nullptr;
    Fixpt* in = nullptr;
    Fixpt* out = nullptr;
    int32_t width = 0;
};

void freeState(ProbeState* st) {
    delete st->in;
    delete st->out;
    delete st->inAttrs;
    delete st->outAttrs;
    delete st;
}

}  // namespace

DRAVO_CALLBACK void mdlInitializeSizes(BlockHandle* S) {
    if (!ssSetNumSFcnParams(S, 1)) return;
    if (!ssSetNumInputPorts(S, 1) || !ssSetNumOutputPorts(S, 1)) return;
    ssSetOutputPortComplexSignal(S, 0, 0);
    ssSetOutputPortFrameData(S, 0, 0);
    ssSetNumSampleTimes(S, 1);
    ssSetUserData(S, nullptr);
}

DRAVO_CALLBACK void mdlSetInputPortDataType(BlockHandle* S, int32_t port, DataTypeId id) {
    if (!ssSetInputPortDataType(S, port, id)) return;
    if (ssGetOutputPortDataType(S, 0) == DYNAMICALLY_TYPED) ssSetOutputPortDataType(S, 0, id);
}

DRAVO_CALLBACK void mdlStart(BlockHandle* S) {
    const int32_t fault = int32_t(qzGetScalar(ssGetSFcnParam(S, 0)));
    const NumType acc = NumType::fixed(true, 32, 0);
    ProbeState* st = new ProbeState;
    const DataTypeId inType = ssGetInputPortDataType(S, 0), outType = ssGetOutputPortDataType(S, 0);
    st->inAttrs = new DSPDataAttributesHandle(inType, 0, acc, acc, kRoundNearest, kOverflowSaturate, "Input");
    st->outAttrs = fault == 1 ? new DSPDataAttributesHandle(NumType::fixed(true, 200, 0), acc, acc,
                                                            kRoundNearest, kOverflowSaturate, "Output")
                              : new DSPDataAttributesHandle(outType, 0, acc, acc, kRoundNearest,
                                                            kOverflowSaturate, "Output");
    st->width = ssGetInputPortWidth(S, 0);
    const int32_t count = fault == 2 ? st->width + 1 : st->width;
    st->in = FixptFactory::createFixpt(S, st->inAttrs, const_cast<void*>(ssGetInputPortSignal(S, 0)), count,
                                       size_t(st->width) * size_t(ssGetDataTypeSize(S, inType)));
    if (st->in == nullptr) {
        freeState(st);
        return;
    }
    st->out = FixptFactory::createFixpt(S, st->outAttrs, ssGetOutputPortSignal(S, 0), st->width,
                                        size_t(st->width) * size_t(ssGetDataTypeSize(S, outType)));
    if (st->out == nullptr) {
        freeState(st);
        return;
    }
    ssSetUserData(S, st);
}

DRAVO_CALLBACK void mdlOutputs(BlockHandle* S, int32_t) {
    ProbeState* st = static_cast<ProbeState*>(ssGetUserData(S));
    for (int32_t i = 0; i < st->width; ++i) {
        (*st->out)[i] = (*st->in)[i];
        *st->out += *st->in;
    }
}

DRAVO_CALLBACK void mdlTerminate(BlockHandle* S) {
    ProbeState* st = static_cast<ProbeState*>(ssGetUserData(S));
    if (st != nullptr) freeState(st);
    ssSetUserData(S, nullptr);
}
