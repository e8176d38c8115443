// A test plug-in whose callbacks run code handed in by the test, so library calls that the host only
// allows inside a callback (port setters, RTP creation, errors) can be exercised with a live handle.
#pragma once

#include <cstdint>

#include "blockcallbacks.h"

struct ProbeHooks {
    void* ctx = nullptr;
    int32_t numInputs = 1;
    int32_t numOutputs = 1;
    // Each hook is optional; without one the callback does the obvious default.
    void (*initializeSizes)(BlockHandle* S, void* ctx) = nullptr;  // after the default set-up
    void (*checkParameters)(BlockHandle* S, void* ctx) = nullptr;
    void (*setInputPortDimensionInfo)(BlockHandle* S, int32_t port, const DimsInfo_tag* di,
                                      void* ctx) = nullptr;
    void (*setInputPortDataType)(BlockHandle* S, int32_t port, DataTypeId id, void* ctx) = nullptr;
    void (*setOutputPortDataType)(BlockHandle* S, int32_t port, DataTypeId id, void* ctx) = nullptr;
    void (*setWorkWidths)(BlockHandle* S, void* ctx) = nullptr;
    void (*start)(BlockHandle* S, void* ctx) = nullptr;
};

// Exported by the probe plug-in; the hooks are copied and apply to every later callback.
typedef void dravoProbeSetHooksTYPE(const ProbeHooks* hooks);
