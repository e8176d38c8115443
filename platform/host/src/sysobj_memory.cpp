// sysobj: dialog parameters, work vectors, run-time parameters and name-value pairs.
#include <cstring>

#include "dravo/host/types.h"
#include "rtp_store.h"
#include "sysobj_access.h"

using namespace dravo::host::detail;

namespace sysobj {
namespace {

Rtp* rtpSlot(SysObjAdaptorSFun* S, int32_t i, const char* fn) {
    if (!S) return nullptr;
    if (i >= 0 && static_cast<size_t>(i) < S->rtps.size()) return S->rtps[static_cast<size_t>(i)].get();
    S->refuse(std::string(fn) + ": run-time parameter " + std::to_string(i) +
              " does not exist (the block declared " + std::to_string(S->rtps.size()) + ")");
    return nullptr;
}

// A DWork the block may still declare: the right stage and an existing index.
DWork* dworkToDeclare(SysObjAdaptorSFun* S, int32_t i, const char* fn) {
    if (!allowedIn(S, kDWorkSetStages, fn,
                   "work vectors are declared in mdlInitializeSizes or mdlSetWorkWidths"))
        return nullptr;
    return dwork(S, i, fn);
}

bool knownType(SysObjAdaptorSFun* S, DataTypeId id, const char* fn) {
    if (dravo::types::isKnown(id)) return true;
    S->refuse(std::string(fn) + ": unknown data type id " + std::to_string(id));
    return false;
}

bool nonNullName(SysObjAdaptorSFun* S, const char* name, const char* fn) {
    if (name) return true;
    S->refuse(std::string(fn) + ": null name");
    return false;
}

bool regDlgParam(SysObjAdaptorSFun* S, int32_t dlgIndex, int32_t rtpIndex, const char* name, DataTypeId id,
                 int32_t complexSignal, const char* fn) {
    if (!allowedIn(S, kRtpCreateStages, fn, "run-time parameters are created in mdlSetWorkWidths"))
        return false;
    Rtp* slot = rtpSlot(S, rtpIndex, fn);
    if (!slot || !nonNullName(S, name, fn) || !knownType(S, id, fn)) return false;
    if (complexSignal < 0)
        complexSignal = dlgIndex >= 0 && static_cast<size_t>(dlgIndex) < S->params.size() &&
                                qzIsComplex(S->params[static_cast<size_t>(dlgIndex)].get())
                            ? 1
                            : 0;
    try {
        Rtp fresh;
        fresh.name = name;
        fresh.dataType = id;
        fresh.complexSignal = complexSignal ? 1 : 0;
        std::string why = fillRtpFromDialog(S, dlgIndex, fresh);
        if (!why.empty()) {
            S->refuse(std::string(fn) + ": " + why);
            return false;
        }
        *slot = std::move(fresh);
        slot->defined = true;
        refreshRecord(*slot);
    } catch (const std::exception& e) {
        S->refuse(std::string(fn) + ": " + e.what());
        return false;
    }
    return true;
}

}  // namespace

// ---- Dialog parameters ----

bool ssSetNumSFcnParams(SysObjAdaptorSFun* S, int32_t n) {
    if (!allowedIn(S, static_cast<uint32_t>(Stage::InitializingSizes), __func__,
                   "the parameter count is declared in mdlInitializeSizes"))
        return false;
    if (n < 0) {
        S->refuse(std::string(__func__) + ": a negative parameter count");
        return false;
    }
    S->declaredNumParams = n;
    if (S->tunable.size() < static_cast<size_t>(n)) S->tunable.resize(static_cast<size_t>(n), 1);
    return true;
}

int32_t ssGetNumSFcnParams(SysObjAdaptorSFun* S) {
    return S ? S->declaredNumParams : -1;
}
int32_t ssGetSFcnParamsCount(SysObjAdaptorSFun* S) {
    return S ? static_cast<int32_t>(S->params.size()) : 0;
}

const qzArray_tag* ssGetSFcnParam(SysObjAdaptorSFun* S, int32_t index) {
    if (!S || index < 0 || static_cast<size_t>(index) >= S->params.size()) return nullptr;
    return S->params[static_cast<size_t>(index)].get();
}

void ssSetSFcnParamTunable(SysObjAdaptorSFun* S, int32_t index, int32_t tunable) {
    if (!allowedIn(S, static_cast<uint32_t>(Stage::InitializingSizes), __func__,
                   "tunability is declared in mdlInitializeSizes"))
        return;
    size_t limit = std::max(S->params.size(), static_cast<size_t>(std::max(S->declaredNumParams, 0)));
    if (index < 0 || static_cast<size_t>(index) >= limit) {
        S->refuse(std::string(__func__) + ": parameter " + std::to_string(index) + " does not exist");
        return;
    }
    if (S->tunable.size() <= static_cast<size_t>(index)) S->tunable.resize(static_cast<size_t>(index) + 1, 1);
    S->tunable[static_cast<size_t>(index)] = tunable ? 1 : 0;
}

void ssSetSFcnParamNotTunable(SysObjAdaptorSFun* S, int32_t index) {
    ssSetSFcnParamTunable(S, index, 0);
}

// ---- Work vectors ----

bool ssSetNumDWork(SysObjAdaptorSFun* S, int32_t n) {
    if (!allowedIn(S, kDWorkSetStages, __func__,
                   "work vectors are declared in mdlInitializeSizes or mdlSetWorkWidths"))
        return false;
    if (n < 0) {
        S->refuse(std::string(__func__) + ": a negative number of work vectors");
        return false;
    }
    S->dworks.resize(static_cast<size_t>(n));
    return true;
}

int32_t ssGetNumDWork(SysObjAdaptorSFun* S) {
    return S ? static_cast<int32_t>(S->dworks.size()) : 0;
}

bool ssSetDWorkWidth(SysObjAdaptorSFun* S, int32_t i, int32_t width) {
    DWork* w = dworkToDeclare(S, i, __func__);
    if (!w) return false;
    if (width < -1) {
        S->refuse(std::string(__func__) + ": invalid width " + std::to_string(width));
        return false;
    }
    w->width = width;
    return true;
}

bool ssSetDWorkDataType(SysObjAdaptorSFun* S, int32_t i, DataTypeId id) {
    DWork* w = dworkToDeclare(S, i, __func__);
    if (!w || !knownType(S, id, __func__)) return false;
    w->dataType = id;
    return true;
}

bool ssSetDWorkComplexSignal(SysObjAdaptorSFun* S, int32_t i, int32_t c) {
    DWork* w = dworkToDeclare(S, i, __func__);
    if (!w) return false;
    if (c != 0 && c != 1) {
        S->refuse(std::string(__func__) + ": invalid complexity " + std::to_string(c));
        return false;
    }
    w->complexSignal = c;
    return true;
}

bool ssSetDWorkName(SysObjAdaptorSFun* S, int32_t i, const char* name) {
    DWork* w = dworkToDeclare(S, i, __func__);
    if (!w || !nonNullName(S, name, __func__)) return false;
    w->name = name;
    return true;
}

bool ssSetDWorkUsageType(SysObjAdaptorSFun* S, int32_t i, int32_t usage) {
    DWork* w = dworkToDeclare(S, i, __func__);
    if (!w) return false;
    w->usageType = usage;
    return true;
}

void* ssGetDWork(SysObjAdaptorSFun* S, int32_t i) {
    DWork* w = dwork(S, i, __func__);
    if (!w) return nullptr;
    if (!S->dworksAllocated) {
        S->refuse(std::string(__func__) + ": work vector memory exists only from mdlStart on");
        return nullptr;
    }
    return w->data.data();
}

int32_t ssGetDWorkWidth(SysObjAdaptorSFun* S, int32_t i) {
    DWork* w = dwork(S, i, __func__);
    return w ? w->width : -1;
}
DataTypeId ssGetDWorkDataType(SysObjAdaptorSFun* S, int32_t i) {
    DWork* w = dwork(S, i, __func__);
    return w ? w->dataType : DYNAMICALLY_TYPED;
}
int32_t ssGetDWorkComplexSignal(SysObjAdaptorSFun* S, int32_t i) {
    DWork* w = dwork(S, i, __func__);
    return w ? w->complexSignal : -1;
}
const char* ssGetDWorkName(SysObjAdaptorSFun* S, int32_t i) {
    DWork* w = dwork(S, i, __func__);
    return w ? w->name.c_str() : nullptr;
}

// ---- Run-time parameters ----

bool ssSetNumRunTimeParams(SysObjAdaptorSFun* S, int32_t n) {
    if (!allowedIn(S, kRtpCreateStages, __func__, "run-time parameters are declared in mdlSetWorkWidths"))
        return false;
    if (n < 0) {
        S->refuse(std::string(__func__) + ": a negative number of run-time parameters");
        return false;
    }
    size_t old = S->rtps.size();
    S->rtps.resize(static_cast<size_t>(n));
    for (size_t k = old; k < S->rtps.size(); ++k)
        S->rtps[k] = std::make_unique<Rtp>();
    return true;
}

int32_t ssGetNumRunTimeParams(SysObjAdaptorSFun* S) {
    return S ? static_cast<int32_t>(S->rtps.size()) : 0;
}

bool ssRegDlgParamAsRunTimeParam(SysObjAdaptorSFun* S, int32_t dlgIndex, int32_t rtpIndex, const char* name,
                                 DataTypeId dataTypeId) {
    // Keeps the parameter's own complexity: dropping an imaginary part would lose data silently.
    return S && regDlgParam(S, dlgIndex, rtpIndex, name, dataTypeId, -1, __func__);
}

bool ssRegDlgParamAsRunTimeParamFull(SysObjAdaptorSFun* S, int32_t dlgIndex, int32_t rtpIndex,
                                     const char* name, DataTypeId dataTypeId, int32_t complexSignal) {
    if (!S) return false;
    if (complexSignal != 0 && complexSignal != 1) {
        S->refuse(std::string(__func__) + ": invalid complexity " + std::to_string(complexSignal));
        return false;
    }
    return regDlgParam(S, dlgIndex, rtpIndex, name, dataTypeId, complexSignal, __func__);
}

bool ssCreateRunTimeParamFromData(SysObjAdaptorSFun* S, int32_t rtpIndex, const char* name,
                                  DataTypeId dataTypeId, int32_t complexSignal, int32_t nDims,
                                  const int32_t* dims, const void* data) {
    if (!allowedIn(S, kRtpCreateStages, __func__, "run-time parameters are created in mdlSetWorkWidths"))
        return false;
    Rtp* slot = rtpSlot(S, rtpIndex, __func__);
    if (!slot || !nonNullName(S, name, __func__) || !knownType(S, dataTypeId, __func__)) return false;
    if (nDims < 1 || !dims) {
        S->refuse(std::string(__func__) + ": run-time parameter \"" + name +
                  "\" needs at least one dimension");
        return false;
    }
    size_t n = 1;
    for (int32_t k = 0; k < nDims; ++k) {
        if (dims[k] < 0) {
            S->refuse(std::string(__func__) + ": negative size in run-time parameter \"" + name + "\"");
            return false;
        }
        n *= static_cast<size_t>(dims[k]);
    }
    size_t bytes =
        n * static_cast<size_t>(dravo::types::info(dataTypeId).containerBytes) * (complexSignal ? 2 : 1);
    if (bytes && !data) {
        S->refuse(std::string(__func__) + ": null data for run-time parameter \"" + name + "\"");
        return false;
    }
    try {
        Rtp fresh;
        fresh.name = name;
        fresh.dataType = dataTypeId;
        fresh.complexSignal = complexSignal ? 1 : 0;
        fresh.dims.assign(dims, dims + nDims);
        fresh.data.resize(bytes);
        if (bytes) std::memcpy(fresh.data.data(), data, bytes);
        fresh.defined = true;
        *slot = std::move(fresh);
        refreshRecord(*slot);
    } catch (const std::exception& e) {
        S->refuse(std::string(__func__) + ": " + e.what());
        return false;
    }
    return true;
}

bool ssUpdateDlgParamAsRunTimeParam(SysObjAdaptorSFun* S, int32_t rtpIndex) {
    Rtp* slot = rtpSlot(S, rtpIndex, __func__);
    if (!slot) return false;
    if (!slot->defined || slot->dlgParamIndex < 0) {
        S->refuse(std::string(__func__) + ": run-time parameter " + std::to_string(rtpIndex) +
                  " was not registered from a dialog parameter");
        return false;
    }
    try {
        std::string why = fillRtpFromDialog(S, slot->dlgParamIndex, *slot);
        if (!why.empty()) {
            S->refuse(std::string(__func__) + ": " + why);
            return false;
        }
    } catch (const std::exception& e) {
        S->refuse(std::string(__func__) + ": " + e.what());
        return false;
    }
    return true;
}

const ssParamRec* ssGetRunTimeParamInfo(SysObjAdaptorSFun* S, int32_t rtpIndex) {
    Rtp* slot = rtpSlot(S, rtpIndex, __func__);
    if (!slot) return nullptr;
    if (!slot->defined) {
        S->refuse(std::string(__func__) + ": run-time parameter " + std::to_string(rtpIndex) +
                  " was never created");
        return nullptr;
    }
    return &slot->rec;
}

// ---- Code generation ----

void ssSetTarnCG(SysObjAdaptorSFun* S, int32_t on) {
    if (S) S->tarnCG = on;
}

bool ssWriteTarnNameValuePair(SysObjAdaptorSFun* S, int32_t kind, const char* name, const void* value,
                              DataTypeId dataTypeId, int32_t rows, int32_t cols) {
    if (!S) return false;
    // Kinds are small tags the code generator understands; anything else is a block fault.
    if (kind < 0 || kind > 15) {
        S->refuse(std::string(__func__) + ": invalid kind " + std::to_string(kind));
        return false;
    }
    if (!nonNullName(S, name, __func__) || !knownType(S, dataTypeId, __func__)) return false;
    if (!value || rows < 0 || cols < 0) {
        S->refuse(std::string(__func__) + ": \"" + name + "\" has no value or a negative size");
        return false;
    }
    try {
        dravo::host::NameValuePair nvp;
        nvp.kind = kind;
        nvp.name = name;
        nvp.dataType = dataTypeId;
        nvp.rows = rows;
        nvp.cols = cols;
        size_t bytes = static_cast<size_t>(rows) * static_cast<size_t>(cols) *
                       static_cast<size_t>(dravo::types::info(dataTypeId).containerBytes);
        const auto* p = static_cast<const uint8_t*>(value);
        nvp.bytes.assign(p, p + bytes);
        // A second write of the same name replaces the first, so re-running set-up does not duplicate.
        for (auto& existing : S->nameValuePairs) {
            if (existing.name == nvp.name) {
                existing = std::move(nvp);
                return true;
            }
        }
        S->nameValuePairs.push_back(std::move(nvp));
    } catch (const std::exception& e) {
        S->refuse(std::string(__func__) + ": " + e.what());
        return false;
    }
    return true;
}

}  // namespace sysobj
