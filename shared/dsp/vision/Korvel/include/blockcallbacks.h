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

using BlockHandle = sysobj::SysObjAdaptorSFun;

typedef void mdlInitializeSizesTYPE(BlockHandle* S);
typedef void mdlCheckParametersTYPE(BlockHandle* S);
typedef void mdlProcessParametersTYPE(BlockHandle* S);
typedef void mdlInitializeSampleTimesTYPE(BlockHandle* S);
typedef void mdlSetInputPortDimensionInfoTYPE(BlockHandle* S, int32_t port, const DimsInfo_tag* dimsInfo);
typedef void mdlSetOutputPortDimensionInfoTYPE(BlockHandle* S, int32_t port, const DimsInfo_tag* dimsInfo);
typedef void mdlSetDefaultPortDimensionInfoTYPE(BlockHandle* S);
typedef void mdlSetInputPortNumberOfDimensionsTYPE(BlockHandle* S, int32_t port, int32_t numDims);
typedef void mdlSetInputPortDimsModeTYPE(BlockHandle* S, int32_t port, int32_t dimsMode);
typedef void mdlSetInputPortDataTypeTYPE(BlockHandle* S, int32_t port, DataTypeId id);
typedef void mdlSetOutputPortDataTypeTYPE(BlockHandle* S, int32_t port, DataTypeId id);
typedef void mdlSetDefaultPortDataTypesTYPE(BlockHandle* S);
typedef void mdlSetInputPortFrameDataTYPE(BlockHandle* S, int32_t port, int32_t frameData);
typedef void mdlSetInputPortComplexSignalTYPE(BlockHandle* S, int32_t port, int32_t complexSignal);
typedef void mdlSetOutputPortComplexSignalTYPE(BlockHandle* S, int32_t port, int32_t complexSignal);
typedef void mdlSetWorkWidthsTYPE(BlockHandle* S);
typedef void mdlStartTYPE(BlockHandle* S);
typedef void mdlPreSimTYPE(BlockHandle* S);
typedef void mdlOutputsTYPE(BlockHandle* S, int32_t tid);
typedef void mdlTerminateTYPE(BlockHandle* S);
typedef void mdlTarnCGTYPE(BlockHandle* S, TarnCG::CGHandle* cg);
// Entry point a loadable module of the numeric environment must have; does nothing.
typedef void tukFunctionTYPE(int nlhs, void* plhs[], int nrhs, const void* prhs[]);

// One list of names drives the loader, so a name is never typed twice.
#define DRAVO_BLOCK_CALLBACKS(X)         \
    X(mdlInitializeSizes)                \
    X(mdlCheckParameters)                \
    X(mdlProcessParameters)              \
    X(mdlInitializeSampleTimes)          \
    X(mdlSetInputPortDimensionInfo)      \
    X(mdlSetOutputPortDimensionInfo)     \
    X(mdlSetDefaultPortDimensionInfo)    \
    X(mdlSetInputPortNumberOfDimensions) \
    X(mdlSetInputPortDimsMode)           \
    X(mdlSetInputPortDataType)           \
    X(mdlSetOutputPortDataType)          \
    X(mdlSetDefaultPortDataTypes)        \
    X(mdlSetInputPortFrameData)          \
    X(mdlSetInputPortComplexSignal)      \
    X(mdlSetOutputPortComplexSignal)     \
    X(mdlSetWorkWidths)                  \
    X(mdlStart)                          \
    X(mdlPreSim)                         \
    X(mdlOutputs)                        \
    X(mdlTerminate)                      \
    X(mdlTarnCG)                         \
    X(tukFunction)
