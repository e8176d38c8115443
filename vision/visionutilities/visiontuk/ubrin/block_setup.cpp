// Scale-and-convert block: parameters, ports and options declared to the host.
#include "blockcallbacks.h"
#include "ubrin/scale_convert_setup.h"
#include "vekdsp.h"

using namespace sysobj;
using namespace ubrin;

DRAVO_CALLBACK void mdlCheckParameters(BlockHandle* S) {
    checkScaleConvertParameters(S);
}

DRAVO_CALLBACK void mdlInitializeSizes(BlockHandle* S) {
    if (!VekSimCommon::registerSFcnParams(S, kNumParams)) return;
    // The output type is read from the dialog below, so its values must be sound before that.
    if (!checkScaleConvertParameters(S)) return;
    ssSetModelReferenceSampleTimeInheritanceRule(S, 1);
    for (int32_t i = 0; i < kNumParams; ++i)
        ssSetSFcnParamNotTunable(S, i);

    if (!ssSetNumInputPorts(S, 1)) return;
    const DimsInfo_tag unset = getDefaultDimensionInfo();
    if (!ssSetInputPortDimensionInfo(S, 0, &unset)) return;
    if (!ssSetInputPortFrameData(S, 0, -1)) return;
    if (!ssSetInputPortDataType(S, 0, DYNAMICALLY_TYPED)) return;
    if (!ssSetInputPortComplexSignal(S, 0, 0)) return;
    ssSetInputPortSampleTime(S, 0, -1.0);
    ssSetInputPortRequiredContiguous(S, 0, 1);
    ssSetInputPortDirectFeedThrough(S, 0, 1);
    ssSetInputPortOptimOpts(S, 0, 2);
    ssSetInputPortOverWritable(S, 0, 0);
    if (!ssSetInputPortDimensionsMode(S, 0, -1)) return;

    if (!ssSetNumOutputPorts(S, 1)) return;
    if (!ssSetOutputPortDimensionInfo(S, 0, &unset)) return;
    if (!ssSetOutputPortFrameData(S, 0, 0)) return;
    const DataTypeId outType = outputDataTypeFromDialog(S);
    if (ssGetErrorStatus(S) != nullptr) return;
    if (!ssSetOutputPortDataType(S, 0, outType)) return;
    if (!ssSetOutputPortComplexSignal(S, 0, 0)) return;
    ssSetOutputPortOptimOpts(S, 0, 2);
    if (!ssSetOutputPortDimensionsMode(S, 0, -1)) return;

    ssSetBusPropagationSupported(S, 1);
    ssSetBusSourcePort(S, 0);
    ssAllowSignalsWithMoreThan2D(S);
    if (!ssSetNumDWork(S, 0)) return;
    ssSetTarnCG(S, 1);
    ssSetUserData(S, nullptr);
    if (!ssSetNumSampleTimes(S, 1)) return;
    ssSetSimStateCompliance(S, 1);
    ssSetOptions(S, 0x23280002u);
}
