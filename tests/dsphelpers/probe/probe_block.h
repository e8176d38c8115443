// Test side of the probe plug-in: a host block whose callbacks run the test's lambdas.
#pragma once

#include <dlfcn.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "dravo/host/engine.h"
#include "probe.h"

namespace probe {

using Handle = sysobj::SysObjAdaptorSFun;

struct Hooks {
    int32_t numInputs = 1;
    int32_t numOutputs = 1;
    std::function<void(Handle*)> initializeSizes;
    std::function<void(Handle*)> checkParameters;
    std::function<void(Handle*, int32_t, const DimsInfo_tag*)> setInputPortDimensionInfo;
    std::function<void(Handle*, int32_t, DataTypeId)> setInputPortDataType;
    std::function<void(Handle*, int32_t, DataTypeId)> setOutputPortDataType;
    std::function<void(Handle*)> setWorkWidths;
    std::function<void(Handle*)> start;
};

inline std::shared_ptr<dravo::host::Plugin> plugin() {
    static std::shared_ptr<dravo::host::Plugin> p = dravo::host::Plugin::load(DRAVO_PROBE_PATH);
    return p;
}

inline Hooks& H(void* ctx) {
    return *static_cast<Hooks*>(ctx);
}

// Installs the hooks for the next blocks; the Hooks object must outlive them.
inline void install(Hooks& h) {
    plugin();
    void* lib = dlopen(DRAVO_PROBE_PATH, RTLD_NOW | RTLD_NOLOAD);
    if (lib == nullptr) throw std::runtime_error("probe plug-in not loaded");
    auto* setHooks = reinterpret_cast<dravoProbeSetHooksTYPE*>(dlsym(lib, "dravoProbeSetHooks"));
    dlclose(lib);
    if (setHooks == nullptr) throw std::runtime_error("probe plug-in has no dravoProbeSetHooks");
    ProbeHooks raw;
    raw.ctx = &h;
    raw.numInputs = h.numInputs;
    raw.numOutputs = h.numOutputs;
    if (h.initializeSizes) raw.initializeSizes = [](Handle* S, void* c) { H(c).initializeSizes(S); };
    if (h.checkParameters) raw.checkParameters = [](Handle* S, void* c) { H(c).checkParameters(S); };
    if (h.setInputPortDimensionInfo)
        raw.setInputPortDimensionInfo = [](Handle* S, int32_t p, const DimsInfo_tag* d, void* c) {
            H(c).setInputPortDimensionInfo(S, p, d);
        };
    if (h.setInputPortDataType)
        raw.setInputPortDataType = [](Handle* S, int32_t p, DataTypeId id, void* c) {
            H(c).setInputPortDataType(S, p, id);
        };
    if (h.setOutputPortDataType)
        raw.setOutputPortDataType = [](Handle* S, int32_t p, DataTypeId id, void* c) {
            H(c).setOutputPortDataType(S, p, id);
        };
    if (h.setWorkWidths) raw.setWorkWidths = [](Handle* S, void* c) { H(c).setWorkWidths(S); };
    if (h.start) raw.start = [](Handle* S, void* c) { H(c).start(S); };
    setHooks(&raw);
}

// A probe block with the given hooks, dialog parameters and host settings.
class Block {
  public:
    Block(Hooks& hooks, std::vector<dravo::host::Array> params = {}, dravo::host::Settings settings = {}) {
        install(hooks);
        block_ = std::make_unique<dravo::host::Block>(plugin(), "probe", settings);
        block_->setParameters(std::move(params));
    }
    dravo::host::Block* operator->() { return block_.get(); }
    dravo::host::Block& get() { return *block_; }

  private:
    std::unique_ptr<dravo::host::Block> block_;
};

// Runs fn inside mdlCheckParameters of a fresh probe block; returns the block's error, if any.
struct CallResult {
    bool threw = false;
    std::string messageClass;
    std::string text;
};

inline CallResult inCheckParameters(std::function<void(Handle*)> fn,
                                    std::vector<dravo::host::Array> params = {},
                                    dravo::host::Settings settings = {}) {
    Hooks hooks;
    hooks.checkParameters = std::move(fn);
    Block b(hooks, std::move(params), settings);
    CallResult r;
    try {
        b->initialize();
    } catch (const dravo::host::BlockError& e) {
        r.threw = true;
        r.messageClass = e.messageClass();
        r.text = e.text();
    }
    return r;
}

}  // namespace probe
