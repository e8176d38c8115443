// The block host's API as a block sees it: every function takes the block handle first.
//
// Contract:
// - Setters that return bool answer false on refusal (bad port index, call not allowed in the current
//   lifecycle state, conflicting attribute); the block then returns from its callback at once. A refused
//   call sets the host's error status with a text naming the function, so the refusal is never silent.
// - Pointers handed out (signals, DWorks, dims, parameters) stay valid until the next propagation change
//   or until terminate; the host owns them.
// - ssSetErrorStatus keeps the pointer it is given only until the callback returns; the host copies the
//   text then, so blocks may pass static buffers.
// - Dimensions are int32, rows first; images are column-major.
#pragma once

#include <cstddef>
#include <cstdint>

#include "qzarray.h"

typedef int32_t DataTypeId;

enum : DataTypeId {
    SS_DOUBLE = 0,
    SS_SINGLE = 1,
    SS_INT8 = 2,
    SS_UINT8 = 3,
    SS_INT16 = 4,
    SS_UINT16 = 5,
    SS_INT32 = 6,
    SS_UINT32 = 7,
    SS_BOOLEAN = 8,
    DYNAMICALLY_TYPED = -1,
};

// Port dimension record: width (product of dims, -1 until known), number of dims, dims (rows first).
struct DimsInfo_tag {
    int32_t width;
    int32_t numDims;
    int32_t* dims;
    void* nextSigDims;  // always null
};

// A run-time parameter as the host stores it.
struct ssParamRec {
    const char* name;
    DataTypeId dataTypeId;
    int32_t complexSignal;
    int32_t nDimensions;
    const int32_t* dimensions;
    void* data;             // host-owned, interleaved when complex
    int32_t dlgParamIndex;  // -1 when created from data
};

namespace sysobj {

class SysObjAdaptorSFun;  // the host's object for one block instance

typedef void (*mdlSetInputPortDimsModeFcn)(SysObjAdaptorSFun* S, int32_t port, int32_t dimsMode);

// Default dimension record: width -1, numDims -1, dims null.
DRAVO_HOST_API DimsInfo_tag getDefaultDimensionInfo();

// ---- Ports -------------------------------------------------------------------------------------------
DRAVO_HOST_API bool ssSetNumInputPorts(SysObjAdaptorSFun* S, int32_t n);
DRAVO_HOST_API bool ssSetNumOutputPorts(SysObjAdaptorSFun* S, int32_t n);
DRAVO_HOST_API int32_t ssGetNumInputPorts(SysObjAdaptorSFun* S);
DRAVO_HOST_API int32_t ssGetNumOutputPorts(SysObjAdaptorSFun* S);

DRAVO_HOST_API bool ssSetInputPortDimensionInfo(SysObjAdaptorSFun* S, int32_t port, const DimsInfo_tag* di);
DRAVO_HOST_API bool ssSetOutputPortDimensionInfo(SysObjAdaptorSFun* S, int32_t port, const DimsInfo_tag* di);
DRAVO_HOST_API bool ssSetInputPortMatrixDimensions(SysObjAdaptorSFun* S, int32_t port, int32_t rows,
                                                   int32_t cols);
DRAVO_HOST_API bool ssSetOutputPortMatrixDimensions(SysObjAdaptorSFun* S, int32_t port, int32_t rows,
                                                    int32_t cols);
DRAVO_HOST_API const int32_t* ssGetInputPortDimensions(SysObjAdaptorSFun* S, int32_t port);
DRAVO_HOST_API const int32_t* ssGetOutputPortDimensions(SysObjAdaptorSFun* S, int32_t port);
DRAVO_HOST_API int32_t ssGetInputPortNumDimensions(SysObjAdaptorSFun* S, int32_t port);
DRAVO_HOST_API int32_t ssGetOutputPortNumDimensions(SysObjAdaptorSFun* S, int32_t port);
DRAVO_HOST_API int32_t ssGetInputPortWidth(SysObjAdaptorSFun* S, int32_t port);   // -1 until set
DRAVO_HOST_API int32_t ssGetOutputPortWidth(SysObjAdaptorSFun* S, int32_t port);  // -1 until set
// Drops trailing size-1 dimensions of the record in place (never below 2 dimensions).
DRAVO_HOST_API void ssPruneNDMatrixSingletonDims(SysObjAdaptorSFun* S, DimsInfo_tag* di);
DRAVO_HOST_API void ssAllowSignalsWithMoreThan2D(SysObjAdaptorSFun* S);
DRAVO_HOST_API void ssSetInputPortDimsSameAsOutputPortDims(SysObjAdaptorSFun* S, int32_t inPort,
                                                           int32_t outPort);

DRAVO_HOST_API DataTypeId ssGetInputPortDataType(SysObjAdaptorSFun* S, int32_t port);
DRAVO_HOST_API DataTypeId ssGetOutputPortDataType(SysObjAdaptorSFun* S, int32_t port);
DRAVO_HOST_API bool ssSetInputPortDataType(SysObjAdaptorSFun* S, int32_t port, DataTypeId id);
DRAVO_HOST_API bool ssSetOutputPortDataType(SysObjAdaptorSFun* S, int32_t port, DataTypeId id);

DRAVO_HOST_API int32_t ssGetInputPortComplexSignal(SysObjAdaptorSFun* S, int32_t port);   // -1, 0, 1
DRAVO_HOST_API int32_t ssGetOutputPortComplexSignal(SysObjAdaptorSFun* S, int32_t port);  // -1, 0, 1
DRAVO_HOST_API bool ssSetInputPortComplexSignal(SysObjAdaptorSFun* S, int32_t port, int32_t c);
DRAVO_HOST_API bool ssSetOutputPortComplexSignal(SysObjAdaptorSFun* S, int32_t port, int32_t c);

DRAVO_HOST_API int32_t ssGetInputPortFrameData(SysObjAdaptorSFun* S, int32_t port);
DRAVO_HOST_API int32_t ssGetOutputPortFrameData(SysObjAdaptorSFun* S, int32_t port);
DRAVO_HOST_API bool ssSetInputPortFrameData(SysObjAdaptorSFun* S, int32_t port, int32_t f);
DRAVO_HOST_API bool ssSetOutputPortFrameData(SysObjAdaptorSFun* S, int32_t port, int32_t f);

DRAVO_HOST_API int32_t ssGetInputPortConnected(SysObjAdaptorSFun* S, int32_t port);
DRAVO_HOST_API int32_t ssGetOutputPortConnected(SysObjAdaptorSFun* S, int32_t port);

// Dimensions mode: 0 fixed, 1 variable, -1 inherited.
DRAVO_HOST_API bool ssSetInputPortDimensionsMode(SysObjAdaptorSFun* S, int32_t port, int32_t mode);
DRAVO_HOST_API bool ssSetOutputPortDimensionsMode(SysObjAdaptorSFun* S, int32_t port, int32_t mode);
DRAVO_HOST_API int32_t ssGetInputPortDimensionsMode(SysObjAdaptorSFun* S, int32_t port);
DRAVO_HOST_API int32_t ssGetOutputPortDimensionsMode(SysObjAdaptorSFun* S, int32_t port);
DRAVO_HOST_API void ssRegMdlSetInputPortDimensionsModeFcn(SysObjAdaptorSFun* S,
                                                          mdlSetInputPortDimsModeFcn fcn);
DRAVO_HOST_API void ssSetSignalSizesComputeType(SysObjAdaptorSFun* S, int32_t type);
DRAVO_HOST_API void ssAddVariableSizeSignalsRuntimeChecker(SysObjAdaptorSFun* S, int32_t on);
// Current (per-step) dimensions of variable-size ports; for fixed-size ports the declared ones.
DRAVO_HOST_API int32_t ssGetCurrentInputPortDimensions(SysObjAdaptorSFun* S, int32_t port, int32_t dimIndex);
DRAVO_HOST_API int32_t ssGetCurrentInputPortWidth(SysObjAdaptorSFun* S, int32_t port);
DRAVO_HOST_API int32_t ssGetCurrentOutputPortDimensions(SysObjAdaptorSFun* S, int32_t port, int32_t dimIndex);
DRAVO_HOST_API bool ssSetCurrentOutputPortDimensions(SysObjAdaptorSFun* S, int32_t port, int32_t dimIndex,
                                                     int32_t value);

// Port attributes that only describe memory use; the host records them.
DRAVO_HOST_API void ssSetInputPortDirectFeedThrough(SysObjAdaptorSFun* S, int32_t port, int32_t on);
DRAVO_HOST_API void ssSetInputPortRequiredContiguous(SysObjAdaptorSFun* S, int32_t port, int32_t on);
DRAVO_HOST_API void ssSetInputPortOverWritable(SysObjAdaptorSFun* S, int32_t port, int32_t on);
DRAVO_HOST_API void ssSetInputPortOptimOpts(SysObjAdaptorSFun* S, int32_t port, int32_t opts);
DRAVO_HOST_API void ssSetOutputPortOptimOpts(SysObjAdaptorSFun* S, int32_t port, int32_t opts);
DRAVO_HOST_API void ssSetInputPortSampleTime(SysObjAdaptorSFun* S, int32_t port, double t);
DRAVO_HOST_API void ssSetInputPortOffsetTime(SysObjAdaptorSFun* S, int32_t port, double t);
DRAVO_HOST_API void ssSetBusSourcePort(SysObjAdaptorSFun* S, int32_t port);
DRAVO_HOST_API void ssSetBusPropagationSupported(SysObjAdaptorSFun* S, int32_t on);

// ---- Data ----------------------------------------------------------------------------------------------
DRAVO_HOST_API const void* ssGetInputPortSignal(SysObjAdaptorSFun* S, int32_t port);
DRAVO_HOST_API void* ssGetOutputPortSignal(SysObjAdaptorSFun* S, int32_t port);
DRAVO_HOST_API int32_t ssGetDataTypeSize(SysObjAdaptorSFun* S, DataTypeId id);  // bytes; 0 if unknown
DRAVO_HOST_API const void* ssGetDataTypeZero(SysObjAdaptorSFun* S, DataTypeId id);
DRAVO_HOST_API const char* ssGetDataTypeName(SysObjAdaptorSFun* S, DataTypeId id);

// ---- Host settings ---------------------------------------------------------------------------------------
DRAVO_HOST_API int32_t ssGetSimMode(SysObjAdaptorSFun* S);
DRAVO_HOST_API int32_t ssGetDataTypeOverride(SysObjAdaptorSFun* S);
DRAVO_HOST_API int32_t ssGetMinMaxOverflowLogging(SysObjAdaptorSFun* S);

// ---- Dialog parameters --------------------------------------------------------------------------------
DRAVO_HOST_API bool ssSetNumSFcnParams(SysObjAdaptorSFun* S, int32_t n);
DRAVO_HOST_API int32_t ssGetNumSFcnParams(SysObjAdaptorSFun* S);    // declared by the block
DRAVO_HOST_API int32_t ssGetSFcnParamsCount(SysObjAdaptorSFun* S);  // given by the user
DRAVO_HOST_API const qzArray_tag* ssGetSFcnParam(SysObjAdaptorSFun* S, int32_t index);
DRAVO_HOST_API void ssSetSFcnParamTunable(SysObjAdaptorSFun* S, int32_t index, int32_t tunable);
DRAVO_HOST_API void ssSetSFcnParamNotTunable(SysObjAdaptorSFun* S, int32_t index);

// ---- Work vectors ----------------------------------------------------------------------------------------
DRAVO_HOST_API bool ssSetNumDWork(SysObjAdaptorSFun* S, int32_t n);
DRAVO_HOST_API int32_t ssGetNumDWork(SysObjAdaptorSFun* S);
DRAVO_HOST_API bool ssSetDWorkWidth(SysObjAdaptorSFun* S, int32_t i, int32_t width);
DRAVO_HOST_API bool ssSetDWorkDataType(SysObjAdaptorSFun* S, int32_t i, DataTypeId id);
DRAVO_HOST_API bool ssSetDWorkComplexSignal(SysObjAdaptorSFun* S, int32_t i, int32_t c);
DRAVO_HOST_API bool ssSetDWorkName(SysObjAdaptorSFun* S, int32_t i, const char* name);
DRAVO_HOST_API bool ssSetDWorkUsageType(SysObjAdaptorSFun* S, int32_t i, int32_t usage);
DRAVO_HOST_API void* ssGetDWork(SysObjAdaptorSFun* S, int32_t i);
DRAVO_HOST_API int32_t ssGetDWorkWidth(SysObjAdaptorSFun* S, int32_t i);
DRAVO_HOST_API DataTypeId ssGetDWorkDataType(SysObjAdaptorSFun* S, int32_t i);
DRAVO_HOST_API int32_t ssGetDWorkComplexSignal(SysObjAdaptorSFun* S, int32_t i);
DRAVO_HOST_API const char* ssGetDWorkName(SysObjAdaptorSFun* S, int32_t i);

// ---- Run-time parameters ----------------------------------------------------------------------------------
DRAVO_HOST_API bool ssSetNumRunTimeParams(SysObjAdaptorSFun* S, int32_t n);
DRAVO_HOST_API int32_t ssGetNumRunTimeParams(SysObjAdaptorSFun* S);
// A copy of dialog parameter dlgIndex converted (round to nearest, saturate) to dataTypeId, with the
// parameter's own complexity (real for a real parameter; an imaginary part is never dropped silently).
DRAVO_HOST_API bool ssRegDlgParamAsRunTimeParam(SysObjAdaptorSFun* S, int32_t dlgIndex, int32_t rtpIndex,
                                                const char* name, DataTypeId dataTypeId);
// The same with an explicit complexity (a real parameter registered complex gets zero imaginary parts;
// a complex parameter registered real is refused).
DRAVO_HOST_API bool ssRegDlgParamAsRunTimeParamFull(SysObjAdaptorSFun* S, int32_t dlgIndex, int32_t rtpIndex,
                                                    const char* name, DataTypeId dataTypeId,
                                                    int32_t complexSignal);
// A run-time parameter from block data already in dataTypeId (copied; interleaved when complex).
DRAVO_HOST_API bool ssCreateRunTimeParamFromData(SysObjAdaptorSFun* S, int32_t rtpIndex, const char* name,
                                                 DataTypeId dataTypeId, int32_t complexSignal, int32_t nDims,
                                                 const int32_t* dims, const void* data);
// Re-reads the dialog parameter behind rtpIndex after a tunable change; the data pointer may change.
DRAVO_HOST_API bool ssUpdateDlgParamAsRunTimeParam(SysObjAdaptorSFun* S, int32_t rtpIndex);
DRAVO_HOST_API const ssParamRec* ssGetRunTimeParamInfo(SysObjAdaptorSFun* S, int32_t rtpIndex);

// ---- Code generation ---------------------------------------------------------------------------------------
DRAVO_HOST_API void ssSetTarnCG(SysObjAdaptorSFun* S, int32_t on);
// Kept by the host for code generation; false on refusal (bad kind, null name or value).
DRAVO_HOST_API bool ssWriteTarnNameValuePair(SysObjAdaptorSFun* S, int32_t kind, const char* name,
                                             const void* value, DataTypeId dataTypeId, int32_t rows,
                                             int32_t cols);

// ---- Timing and options ------------------------------------------------------------------------------------
DRAVO_HOST_API bool ssSetNumSampleTimes(SysObjAdaptorSFun* S, int32_t n);
DRAVO_HOST_API void ssSetSampleTime(SysObjAdaptorSFun* S, int32_t i, double t);
DRAVO_HOST_API void ssSetOffsetTime(SysObjAdaptorSFun* S, int32_t i, double t);
DRAVO_HOST_API void ssSetModelReferenceSampleTimeInheritanceRule(SysObjAdaptorSFun* S, int32_t rule);
DRAVO_HOST_API void ssSetModelReferenceNormalModeSupport(SysObjAdaptorSFun* S, int32_t support);
DRAVO_HOST_API void ssSetSimStateCompliance(SysObjAdaptorSFun* S, int32_t compliance);
DRAVO_HOST_API void ssSetOptions(SysObjAdaptorSFun* S, uint32_t options);
DRAVO_HOST_API void ssSupportsMultipleExecInstances(SysObjAdaptorSFun* S, int32_t on);

// ---- Status and user data ------------------------------------------------------------------------------------
DRAVO_HOST_API void ssSetErrorStatus(SysObjAdaptorSFun* S, const char* text);
// An error with a message class of the host's catalogue and its already formatted text.
DRAVO_HOST_API void ssSetErrorStatusWithClass(SysObjAdaptorSFun* S, const char* messageClass,
                                              const char* text);
DRAVO_HOST_API const char* ssGetErrorStatus(SysObjAdaptorSFun* S);  // null when no error
DRAVO_HOST_API void ssWarning(SysObjAdaptorSFun* S, const char* messageClass, const char* text);
DRAVO_HOST_API void ssSetUserData(SysObjAdaptorSFun* S, void* data);
DRAVO_HOST_API void* ssGetUserData(SysObjAdaptorSFun* S);
DRAVO_HOST_API const char* ssGetPath(SysObjAdaptorSFun* S);  // the instance's name

// ---- Host utility allocator (zeroed; free with utFree; null-safe free) ----------------------------------------
DRAVO_HOST_API void* utCalloc(size_t n, size_t size);
DRAVO_HOST_API void utFree(void* p);

}  // namespace sysobj
