// Helpers every image plug-in carries in its own copy: data-type ranges, port dimensions, parameter
// checks, code-generation parameters and the common entry points. All take the block handle first,
// report failures by setting the host's error status and returning a plain value, and never throw.
#pragma once

#include <cstdint>

#include "fxpprops.h"
#include "sysobj.h"

namespace VekDSPFixpt {
class DSPDataAttributesHandle;
}

namespace blockutils {

using sysobj::SysObjAdaptorSFun;

bool isNaNDouble(double v);
bool isFiniteDouble(double v);
DataTypeId getContainerDataTypeId(SysObjAdaptorSFun* S, DataTypeId id);
void setFixptDataTypeProps(SysObjAdaptorSFun* S, fxpDataTypeProp* props, DataTypeId id);
bool isBuiltInIntegerType(DataTypeId id);
bool isBuiltInFloatType(DataTypeId id);
void writeFixptDataTypeParam(SysObjAdaptorSFun* S, int32_t wordLength, int32_t fracLength, int32_t isSigned,
                             const char* paramName);
// Takes ownership of attr: destroyed after a successful write.
void writeFixptDataTypeParamFromHandle(SysObjAdaptorSFun* S, VekDSPFixpt::DSPDataAttributesHandle* attr,
                                       const char* paramName);

void getInputPortMatrixDims(SysObjAdaptorSFun* S, int32_t port, int32_t* rows, int32_t* cols,
                            int32_t* depth = nullptr);
void getOutputPortMatrixDims(SysObjAdaptorSFun* S, int32_t port, int32_t* rows, int32_t* cols,
                             int32_t* depth = nullptr);
bool isDataTypeOverrideOne(SysObjAdaptorSFun* S);
// Scaled doubles: "Scaled doubles not yet supported." and -10; otherwise the id (boolean passes).
DataTypeId checkNotScaledDouble(SysObjAdaptorSFun* S, DataTypeId id);
DataTypeId checkNotScaledDoubleInputPort(SysObjAdaptorSFun* S, int32_t port);
DataTypeId checkNotScaledDoubleOutputPort(SysObjAdaptorSFun* S, int32_t port);
bool setInputPortDimsFromArray(SysObjAdaptorSFun* S, int32_t port, const int32_t* dims, int32_t numDims);
bool setOutputPortDimsFromArray(SysObjAdaptorSFun* S, int32_t port, const int32_t* dims, int32_t numDims);
bool isInputPort1to3D(SysObjAdaptorSFun* S, int32_t port);
bool isOutputPort1to3D(SysObjAdaptorSFun* S, int32_t port);
bool isInputPort3D(SysObjAdaptorSFun* S, int32_t port);
bool isOutputPort3D(SysObjAdaptorSFun* S, int32_t port);
double getDataTypeMaxValue(SysObjAdaptorSFun* S, DataTypeId id);
double getDataTypeMinValue(SysObjAdaptorSFun* S, DataTypeId id);
// True (error set) when a double/single parameter holds Inf or NaN: "%s cannot be Inf or NaN".
bool checkParamNotInfOrNaN(SysObjAdaptorSFun* S, int32_t index, const char* name);
bool isMinMaxOverflowLoggingOne(SysObjAdaptorSFun* S);
bool useFloatingPointPath(SysObjAdaptorSFun* S, int32_t inputPort);
// Rounding popup (1..7) at the given parameter index mapped to 2, 6, 3, 1, 5, 4, 0; overflow popup - 1.
int32_t getRoundingModeParam(SysObjAdaptorSFun* S, int32_t paramIndex);
int32_t getOverflowModeParam(SysObjAdaptorSFun* S, int32_t paramIndex);

}  // namespace blockutils

// Common entry points (defined once per plug-in by the utilities' common source).
// mdlInitializeSampleTimes: sample time 0 = -1.0 (inherited), offset 0 = 0.0.
