// The callbacks a block plug-in exports, as one set of function types shared by the plug-ins and the
// host's loader, so both sides agree on every signature. A plug-in defines the callbacks it needs with
// DRAVO_CALLBACK; only those symbols (and any named helpers) are visible outside the plug-in.
//
// Required: mdlInitializeSizes, mdlInitializeSampleTimes, mdlOutputs, mdlTerminate. Everything else is
// optional; the host applies its default where one is missing (a port takes what is offered).
#pragma once

#include <cstdint>

#include "sysobj.h"

namespace TarnCG {
class CGHandle;  // the code generator's handle for one block instance
}

#define DRAVO_CALLBACK extern "C" __attribute__((visibility("default")))

using SimStruct_ = sysobj::SysObjAdaptorSFun;

typedef void mdlInitializeSizesTYPE(SimStruct_* S);
typedef void mdlCheckParametersTYPE(SimStruct_* S);
typedef void mdlProcessParametersTYPE(SimStruct_* S);
typedef void mdlInitializeSampleTimesTYPE(SimStruct_* S);
typedef void mdlSetInputPortDimensionInfoTYPE(SimStruct_* S, int32_t port, const DimsInfo_tag* dimsInfo);
typedef void mdlSetOutputPortDimensionInfoTYPE(SimStruct_* S, int32_t port, const DimsInfo_tag* dimsInfo);
typedef void mdlSetDefaultPortDimensionInfoTYPE(SimStruct_* S);
typedef void mdlSetInputPortNumberOfDimensionsTYPE(SimStruct_* S, int32_t port, int32_t numDims);
typedef void mdlSetInputPortDimsModeTYPE(SimStruct_* S, int32_t port, int32_t dimsMode);
typedef void mdlSetInputPortDataTypeTYPE(SimStruct_* S, int32_t port, DataTypeId id);
typedef void mdlSetOutputPortDataTypeTYPE(SimStruct_* S, int32_t port, DataTypeId id);
typedef void mdlSetDefaultPortDataTypesTYPE(SimStruct_* S);
typedef void mdlSetInputPortFrameDataTYPE(SimStruct_* S, int32_t port, int32_t frameData);
typedef void mdlSetInputPortComplexSignalTYPE(SimStruct_* S, int32_t port, int32_t complexSignal);
typedef void mdlSetOutputPortComplexSignalTYPE(SimStruct_* S, int32_t port, int32_t complexSignal);
typedef void mdlSetWorkWidthsTYPE(SimStruct_* S);
typedef void mdlStartTYPE(SimStruct_* S);
typedef void mdlPreSimTYPE(SimStruct_* S);
typedef void mdlOutputsTYPE(SimStruct_* S, int32_t tid);
typedef void mdlTerminateTYPE(SimStruct_* S);
typedef void mdlTarnCGTYPE(SimStruct_* S, TarnCG::CGHandle* cg);
// Entry point a loadable module of the numeric environment must have; does nothing.
typedef void tukFunctionTYPE(int nlhs, void* plhs[], int nrhs, const void* prhs[]);

// One list of names drives the loader, so a name is never typed twice.
#define DRAVO_BLOCK_CALLBACKS(X)        \
    X(mdlInitializeSizes)               \
    X(mdlCheckParameters)               \
    X(mdlProcessParameters)             \
    X(mdlInitializeSampleTimes)         \
    X(mdlSetInputPortDimensionInfo)     \
    X(mdlSetOutputPortDimensionInfo)    \
    X(mdlSetDefaultPortDimensionInfo)   \
    X(mdlSetInputPortNumberOfDimensions)\
    X(mdlSetInputPortDimsMode)          \
    X(mdlSetInputPortDataType)          \
    X(mdlSetOutputPortDataType)         \
    X(mdlSetDefaultPortDataTypes)       \
    X(mdlSetInputPortFrameData)         \
    X(mdlSetInputPortComplexSignal)     \
    X(mdlSetOutputPortComplexSignal)    \
    X(mdlSetWorkWidths)                 \
    X(mdlStart)                         \
    X(mdlPreSim)                        \
    X(mdlOutputs)                       \
    X(mdlTerminate)                     \
    X(mdlTarnCG)                        \
    X(tukFunction)
