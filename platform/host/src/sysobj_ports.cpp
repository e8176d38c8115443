// sysobj: ports, their attributes, signals and per-step dimensions.
#include <cstring>

#include "dravo/host/types.h"
#include "sysobj_access.h"

using namespace dravo::host::detail;

namespace sysobj {
namespace {

const int32_t kUnsetDims[8] = {-1, -1, -1, -1, -1, -1, -1, -1};

bool setNumPorts(SysObjAdaptorSFun* S, std::vector<Port>& ports, int32_t n, const char* fn) {
    if (!allowedIn(S, static_cast<uint32_t>(Stage::InitializingSizes), fn,
                   "the number of ports is fixed in mdlInitializeSizes"))
        return false;
    if (n < 0) {
        S->refuse(std::string(fn) + ": a negative number of ports (" + std::to_string(n) + ")");
        return false;
    }
    ports.clear();
    ports.resize(static_cast<size_t>(n));
    return true;
}

bool setDims(SysObjAdaptorSFun* S, Port* p, const DimsInfo_tag* di, const char* fn) {
    if (!p || !allowedIn(S, kPortSetStages, fn, "port dimensions are fixed once propagation is over"))
        return false;
    if (!di) {
        S->refuse(std::string(fn) + ": null dimension record");
        return false;
    }
    if (di->numDims < 0 || (di->numDims == 0 && di->width < 0)) {  // the default record: back to unset
        p->dims.clear();
        p->width = -1;
        return true;
    }
    std::vector<int32_t> dims;
    if (di->dims) {
        dims.assign(di->dims, di->dims + di->numDims);
    } else if (di->numDims == 1) {
        dims = {di->width};
    } else {
        S->refuse(std::string(fn) + ": the dimension record has " + std::to_string(di->numDims) +
                  " dimensions but no sizes");
        return false;
    }
    if (dims.empty()) {
        S->refuse(std::string(fn) + ": a dimension record with no dimensions");
        return false;
    }
    if (dims.size() > 2 && !S->moreThan2D) {
        S->refuse(std::string(fn) + ": " + std::to_string(dims.size()) +
                  "-D dimensions, but the block does not allow signals with more than 2 dimensions");
        return false;
    }
    int64_t width = 1;
    bool known = true;
    for (int32_t d : dims) {
        if (d < -1) {
            S->refuse(std::string(fn) + ": invalid size " + std::to_string(d) + " in " + dimsText(dims));
            return false;
        }
        if (d < 0)
            known = false;
        else
            width *= d;
        if (width > INT32_MAX) {
            S->refuse(std::string(fn) + ": dimensions " + dimsText(dims) + " exceed the largest signal");
            return false;
        }
    }
    if (known && di->width >= 0 && di->width != width) {
        S->refuse(std::string(fn) + ": width " + std::to_string(di->width) + " does not match dimensions " +
                  dimsText(dims));
        return false;
    }
    p->dims = std::move(dims);
    p->width = known ? static_cast<int32_t>(width) : -1;
    return true;
}

bool setMatrix(SysObjAdaptorSFun* S, Port* p, int32_t rows, int32_t cols, const char* fn) {
    int32_t dims[2] = {rows, cols};
    DimsInfo_tag di{-1, 2, dims, nullptr};
    return setDims(S, p, &di, fn);
}

bool setTriState(SysObjAdaptorSFun* S, Port* p, int32_t Port::*field, int32_t v, const char* fn,
                 const char* what) {
    if (!p || !allowedIn(S, kPortSetStages, fn, "port attributes are fixed once propagation is over"))
        return false;
    if (v < -1 || v > 1) {
        S->refuse(std::string(fn) + ": invalid " + what + " " + std::to_string(v) + " (expected -1, 0 or 1)");
        return false;
    }
    p->*field = v;
    return true;
}

bool setType(SysObjAdaptorSFun* S, Port* p, DataTypeId id, const char* fn) {
    if (!p || !allowedIn(S, kPortSetStages, fn, "port data types are fixed once propagation is over"))
        return false;
    if (id != DYNAMICALLY_TYPED && !dravo::types::isKnown(id)) {
        S->refuse(std::string(fn) + ": unknown data type id " + std::to_string(id));
        return false;
    }
    p->dataType = id;
    return true;
}

const int32_t* dimsOf(const Port* p) {
    return p && !p->dims.empty() ? p->dims.data() : (p ? kUnsetDims : nullptr);
}
int32_t numDimsOf(const Port* p) {
    return p ? (p->dims.empty() ? -1 : static_cast<int32_t>(p->dims.size())) : -1;
}

int32_t currentDim(const Port* p, int32_t dimIndex) {
    const std::vector<int32_t>& d = p->currentDims.empty() ? p->dims : p->currentDims;
    if (static_cast<size_t>(dimIndex) < d.size()) return d[static_cast<size_t>(dimIndex)];
    return d.empty() ? -1 : 1;  // trailing singleton dimensions
}

bool dimIndexValid(SysObjAdaptorSFun* S, int32_t dimIndex, const char* fn) {
    if (dimIndex >= 0) return true;
    S->refuse(std::string(fn) + ": negative dimension index " + std::to_string(dimIndex));
    return false;
}

bool signalsReady(SysObjAdaptorSFun* S, const char* fn) {
    if (S && S->buffersAllocated) return true;
    if (S) S->refuse(std::string(fn) + ": port signals exist only from mdlStart on");
    return false;
}

}  // namespace

DimsInfo_tag getDefaultDimensionInfo() {
    return DimsInfo_tag{-1, -1, nullptr, nullptr};
}

bool ssSetNumInputPorts(SysObjAdaptorSFun* S, int32_t n) {
    return S && setNumPorts(S, S->inputs, n, __func__);
}
bool ssSetNumOutputPorts(SysObjAdaptorSFun* S, int32_t n) {
    return S && setNumPorts(S, S->outputs, n, __func__);
}
int32_t ssGetNumInputPorts(SysObjAdaptorSFun* S) {
    return S ? static_cast<int32_t>(S->inputs.size()) : 0;
}
int32_t ssGetNumOutputPorts(SysObjAdaptorSFun* S) {
    return S ? static_cast<int32_t>(S->outputs.size()) : 0;
}

bool ssSetInputPortDimensionInfo(SysObjAdaptorSFun* S, int32_t port, const DimsInfo_tag* di) {
    return setDims(S, inputPort(S, port, __func__), di, __func__);
}
bool ssSetOutputPortDimensionInfo(SysObjAdaptorSFun* S, int32_t port, const DimsInfo_tag* di) {
    return setDims(S, outputPort(S, port, __func__), di, __func__);
}
bool ssSetInputPortMatrixDimensions(SysObjAdaptorSFun* S, int32_t port, int32_t rows, int32_t cols) {
    return setMatrix(S, inputPort(S, port, __func__), rows, cols, __func__);
}
bool ssSetOutputPortMatrixDimensions(SysObjAdaptorSFun* S, int32_t port, int32_t rows, int32_t cols) {
    return setMatrix(S, outputPort(S, port, __func__), rows, cols, __func__);
}
const int32_t* ssGetInputPortDimensions(SysObjAdaptorSFun* S, int32_t port) {
    return dimsOf(inputPort(S, port, __func__));
}
const int32_t* ssGetOutputPortDimensions(SysObjAdaptorSFun* S, int32_t port) {
    return dimsOf(outputPort(S, port, __func__));
}
int32_t ssGetInputPortNumDimensions(SysObjAdaptorSFun* S, int32_t port) {
    return numDimsOf(inputPort(S, port, __func__));
}
int32_t ssGetOutputPortNumDimensions(SysObjAdaptorSFun* S, int32_t port) {
    return numDimsOf(outputPort(S, port, __func__));
}
int32_t ssGetInputPortWidth(SysObjAdaptorSFun* S, int32_t port) {
    const Port* p = inputPort(S, port, __func__);
    return p ? p->width : -1;
}
int32_t ssGetOutputPortWidth(SysObjAdaptorSFun* S, int32_t port) {
    const Port* p = outputPort(S, port, __func__);
    return p ? p->width : -1;
}

void ssPruneNDMatrixSingletonDims(SysObjAdaptorSFun*, DimsInfo_tag* di) {
    if (!di || !di->dims) return;
    while (di->numDims > 2 && di->dims[di->numDims - 1] == 1)
        --di->numDims;
}

void ssAllowSignalsWithMoreThan2D(SysObjAdaptorSFun* S) {
    if (S) S->moreThan2D = true;
}

void ssSetInputPortDimsSameAsOutputPortDims(SysObjAdaptorSFun* S, int32_t inPort, int32_t outPort) {
    if (!inputPort(S, inPort, __func__) || !outputPort(S, outPort, __func__)) return;
    S->sameDims.emplace_back(inPort, outPort);
}

DataTypeId ssGetInputPortDataType(SysObjAdaptorSFun* S, int32_t port) {
    const Port* p = inputPort(S, port, __func__);
    return p ? p->dataType : DYNAMICALLY_TYPED;
}
DataTypeId ssGetOutputPortDataType(SysObjAdaptorSFun* S, int32_t port) {
    const Port* p = outputPort(S, port, __func__);
    return p ? p->dataType : DYNAMICALLY_TYPED;
}
bool ssSetInputPortDataType(SysObjAdaptorSFun* S, int32_t port, DataTypeId id) {
    return setType(S, inputPort(S, port, __func__), id, __func__);
}
bool ssSetOutputPortDataType(SysObjAdaptorSFun* S, int32_t port, DataTypeId id) {
    return setType(S, outputPort(S, port, __func__), id, __func__);
}

int32_t ssGetInputPortComplexSignal(SysObjAdaptorSFun* S, int32_t port) {
    const Port* p = inputPort(S, port, __func__);
    return p ? p->complexSignal : -1;
}
int32_t ssGetOutputPortComplexSignal(SysObjAdaptorSFun* S, int32_t port) {
    const Port* p = outputPort(S, port, __func__);
    return p ? p->complexSignal : -1;
}
bool ssSetInputPortComplexSignal(SysObjAdaptorSFun* S, int32_t port, int32_t c) {
    return setTriState(S, inputPort(S, port, __func__), &Port::complexSignal, c, __func__, "complexity");
}
bool ssSetOutputPortComplexSignal(SysObjAdaptorSFun* S, int32_t port, int32_t c) {
    return setTriState(S, outputPort(S, port, __func__), &Port::complexSignal, c, __func__, "complexity");
}

int32_t ssGetInputPortFrameData(SysObjAdaptorSFun* S, int32_t port) {
    const Port* p = inputPort(S, port, __func__);
    return p ? p->frameData : -1;
}
int32_t ssGetOutputPortFrameData(SysObjAdaptorSFun* S, int32_t port) {
    const Port* p = outputPort(S, port, __func__);
    return p ? p->frameData : -1;
}
bool ssSetInputPortFrameData(SysObjAdaptorSFun* S, int32_t port, int32_t f) {
    return setTriState(S, inputPort(S, port, __func__), &Port::frameData, f, __func__, "frame data");
}
bool ssSetOutputPortFrameData(SysObjAdaptorSFun* S, int32_t port, int32_t f) {
    return setTriState(S, outputPort(S, port, __func__), &Port::frameData, f, __func__, "frame data");
}

int32_t ssGetInputPortConnected(SysObjAdaptorSFun* S, int32_t port) {
    const Port* p = inputPort(S, port, __func__);
    return p ? p->connected : 0;
}
int32_t ssGetOutputPortConnected(SysObjAdaptorSFun* S, int32_t port) {
    const Port* p = outputPort(S, port, __func__);
    return p ? p->connected : 0;
}

bool ssSetInputPortDimensionsMode(SysObjAdaptorSFun* S, int32_t port, int32_t mode) {
    return setTriState(S, inputPort(S, port, __func__), &Port::dimsMode, mode, __func__, "dimensions mode");
}
bool ssSetOutputPortDimensionsMode(SysObjAdaptorSFun* S, int32_t port, int32_t mode) {
    return setTriState(S, outputPort(S, port, __func__), &Port::dimsMode, mode, __func__, "dimensions mode");
}
int32_t ssGetInputPortDimensionsMode(SysObjAdaptorSFun* S, int32_t port) {
    const Port* p = inputPort(S, port, __func__);
    return p ? p->dimsMode : -1;
}
int32_t ssGetOutputPortDimensionsMode(SysObjAdaptorSFun* S, int32_t port) {
    const Port* p = outputPort(S, port, __func__);
    return p ? p->dimsMode : -1;
}
void ssRegMdlSetInputPortDimensionsModeFcn(SysObjAdaptorSFun* S, mdlSetInputPortDimsModeFcn fcn) {
    if (S) S->dimsModeFcn = fcn;
}
void ssSetSignalSizesComputeType(SysObjAdaptorSFun* S, int32_t type) {
    if (S) S->signalSizesComputeType = type;
}
void ssAddVariableSizeSignalsRuntimeChecker(SysObjAdaptorSFun* S, int32_t on) {
    if (S) S->variableSizeChecker = on;
}

int32_t ssGetCurrentInputPortDimensions(SysObjAdaptorSFun* S, int32_t port, int32_t dimIndex) {
    const Port* p = inputPort(S, port, __func__);
    if (!p || !dimIndexValid(S, dimIndex, __func__)) return -1;
    return currentDim(p, dimIndex);
}

int32_t ssGetCurrentInputPortWidth(SysObjAdaptorSFun* S, int32_t port) {
    const Port* p = inputPort(S, port, __func__);
    if (!p) return -1;
    if (p->currentDims.empty()) return p->width;
    int32_t w = 1;
    for (int32_t d : p->currentDims)
        w *= d;
    return w;
}

int32_t ssGetCurrentOutputPortDimensions(SysObjAdaptorSFun* S, int32_t port, int32_t dimIndex) {
    const Port* p = outputPort(S, port, __func__);
    if (!p || !dimIndexValid(S, dimIndex, __func__)) return -1;
    return currentDim(p, dimIndex);
}

bool ssSetCurrentOutputPortDimensions(SysObjAdaptorSFun* S, int32_t port, int32_t dimIndex, int32_t value) {
    Port* p = outputPort(S, port, __func__);
    if (!p || !dimIndexValid(S, dimIndex, __func__) || !signalsReady(S, __func__)) return false;
    size_t k = static_cast<size_t>(dimIndex);
    int32_t declared = k < p->dims.size() ? p->dims[k] : 1;
    if (p->dimsMode != 1) {
        if (value == declared) return true;
        S->refuse(std::string(__func__) + ": output port " + std::to_string(port) +
                  " has fixed dimensions; dimension " + std::to_string(dimIndex) + " is " +
                  std::to_string(declared) + ", not " + std::to_string(value));
        return false;
    }
    if (k >= p->dims.size() || value < 0 || value > declared) {
        S->refuse(std::string(__func__) + ": dimension " + std::to_string(dimIndex) + " of output port " +
                  std::to_string(port) + " cannot be " + std::to_string(value) + " (declared maximum " +
                  dimsText(p->dims) + ")");
        return false;
    }
    p->currentDims[k] = value;
    return true;
}

void ssSetInputPortDirectFeedThrough(SysObjAdaptorSFun* S, int32_t port, int32_t on) {
    if (Port* p = inputPort(S, port, __func__)) p->directFeedThrough = on;
}
void ssSetInputPortRequiredContiguous(SysObjAdaptorSFun* S, int32_t port, int32_t on) {
    if (Port* p = inputPort(S, port, __func__)) p->requiredContiguous = on;
}
void ssSetInputPortOverWritable(SysObjAdaptorSFun* S, int32_t port, int32_t on) {
    if (Port* p = inputPort(S, port, __func__)) p->overWritable = on;
}
void ssSetInputPortOptimOpts(SysObjAdaptorSFun* S, int32_t port, int32_t opts) {
    if (Port* p = inputPort(S, port, __func__)) p->optimOpts = opts;
}
void ssSetOutputPortOptimOpts(SysObjAdaptorSFun* S, int32_t port, int32_t opts) {
    if (Port* p = outputPort(S, port, __func__)) p->optimOpts = opts;
}
void ssSetInputPortSampleTime(SysObjAdaptorSFun* S, int32_t port, double) {
    inputPort(S, port, __func__);
}
void ssSetInputPortOffsetTime(SysObjAdaptorSFun* S, int32_t port, double) {
    inputPort(S, port, __func__);
}
void ssSetBusSourcePort(SysObjAdaptorSFun* S, int32_t port) {
    if (S) S->busSourcePort = port;
}
void ssSetBusPropagationSupported(SysObjAdaptorSFun* S, int32_t on) {
    if (S) S->busPropagation = on;
}

const void* ssGetInputPortSignal(SysObjAdaptorSFun* S, int32_t port) {
    Port* p = inputPort(S, port, __func__);
    if (!p || !signalsReady(S, __func__)) return nullptr;
    return p->buffer.data();
}

void* ssGetOutputPortSignal(SysObjAdaptorSFun* S, int32_t port) {
    Port* p = outputPort(S, port, __func__);
    if (!p || !signalsReady(S, __func__)) return nullptr;
    return p->buffer.data();
}

int32_t ssGetDataTypeSize(SysObjAdaptorSFun*, DataTypeId id) {
    return dravo::types::isKnown(id) ? dravo::types::info(id).containerBytes : 0;
}

const void* ssGetDataTypeZero(SysObjAdaptorSFun*, DataTypeId id) {
    return dravo::types::zeroValue(id);
}

const char* ssGetDataTypeName(SysObjAdaptorSFun*, DataTypeId id) {
    if (id == DYNAMICALLY_TYPED) return "unset";
    return dravo::types::isKnown(id) ? dravo::types::info(id).name.c_str() : "unknown";
}

}  // namespace sysobj
