#include "sysobj_access.h"

namespace dravo::host::detail {
namespace {

Port* portAt(SysObjAdaptorSFun* S, std::vector<Port>& ports, int32_t port, const char* fn, const char* kind) {
    if (port >= 0 && static_cast<size_t>(port) < ports.size()) return &ports[static_cast<size_t>(port)];
    S->refuse(std::string(fn) + ": " + kind + " port " + std::to_string(port) +
              " does not exist (the block has " + std::to_string(ports.size()) + " " + kind + " port" +
              (ports.size() == 1 ? "" : "s") + ")");
    return nullptr;
}

}  // namespace

Port* inputPort(SysObjAdaptorSFun* S, int32_t port, const char* fn) {
    return S ? portAt(S, S->inputs, port, fn, "input") : nullptr;
}

Port* outputPort(SysObjAdaptorSFun* S, int32_t port, const char* fn) {
    return S ? portAt(S, S->outputs, port, fn, "output") : nullptr;
}

DWork* dwork(SysObjAdaptorSFun* S, int32_t i, const char* fn) {
    if (!S) return nullptr;
    if (i >= 0 && static_cast<size_t>(i) < S->dworks.size()) return &S->dworks[static_cast<size_t>(i)];
    S->refuse(std::string(fn) + ": DWork " + std::to_string(i) + " does not exist (the block has " +
              std::to_string(S->dworks.size()) + ")");
    return nullptr;
}

bool allowedIn(SysObjAdaptorSFun* S, uint32_t mask, const char* fn, const char* what) {
    if (!S) return false;
    if (S->stageIn(mask)) return true;
    S->refuse(std::string(fn) + ": " + what + " (called " +
              (S->callback ? std::string("in ") + S->callback : "at stage " + stageName(S->stage)) + ")");
    return false;
}

std::string stageName(Stage s) {
    switch (s) {
        case Stage::Created:
            return "created";
        case Stage::InitializingSizes:
            return "initializing sizes";
        case Stage::Initialized:
            return "initialized";
        case Stage::Propagating:
            return "propagating";
        case Stage::Propagated:
            return "propagated";
        case Stage::SampleTimes:
            return "initializing sample times";
        case Stage::WorkWidths:
            return "setting work widths";
        case Stage::Starting:
            return "starting";
        case Stage::Running:
            return "running";
        case Stage::Terminated:
            return "terminated";
        case Stage::Failed:
            return "failed";
    }
    return "unknown";
}

std::string dimsText(const std::vector<int32_t>& dims) {
    std::string s = "[";
    for (size_t k = 0; k < dims.size(); ++k) {
        if (k) s += " ";
        s += std::to_string(dims[k]);
    }
    return s + "]";
}

}  // namespace dravo::host::detail
