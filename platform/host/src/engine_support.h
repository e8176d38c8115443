// What the lifecycle engine's parts share: the callback prologue and epilogue, and small port helpers.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "dravo/host/engine.h"
#include "dravo/host/types.h"
#include "instance.h"
#include "sysobj_access.h"

namespace dravo::host::detail {

using sysobj::SysObjAdaptorSFun;

inline constexpr uint32_t kAnyLiveStage = Stage::InitializingSizes | Stage::Initialized | Stage::Propagating |
                                          Stage::Propagated | Stage::SampleTimes | Stage::WorkWidths |
                                          Stage::Starting | Stage::Running | Stage::Failed;

// Turns a pending error status into a BlockError (and clears it: the host has taken it over).
inline void checkStatus(SysObjAdaptorSFun& s, const char* phase) {
    if (!s.hasError) return;
    std::string cls = std::move(s.errorClass);
    std::string text = std::move(s.errorText);
    s.hasError = false;
    s.errorClass.clear();
    s.errorText.clear();
    throw BlockError(phase, s.name, cls, text);
}

[[noreturn]] inline void hostError(SysObjAdaptorSFun& s, const char* phase, const std::string& text) {
    throw BlockError(phase, s.name, "", text);
}

// One prologue for every callback: the stage must allow it; afterwards the error status is checked.
template <typename Fn, typename... Args>
void invoke(SysObjAdaptorSFun& s, const char* phase, const char* callbackName, uint32_t allowed, Fn fn,
            Args... args) {
    if (!s.stageIn(allowed))
        hostError(
            s, phase,
            std::string(callbackName) + " cannot be called while the block is " + detail::stageName(s.stage));
    s.callback = callbackName;
    try {
        fn(&s, args...);
    } catch (const std::exception& e) {
        s.callback = nullptr;
        hostError(s, phase, std::string(callbackName) + " let an exception escape: " + e.what());
    } catch (...) {
        s.callback = nullptr;
        hostError(s, phase, std::string(callbackName) + " let an exception escape");
    }
    s.callback = nullptr;
    checkStatus(s, phase);
}

#define DRAVO_INVOKE(s, phase, mask, cb, ...) invoke(s, phase, #cb, mask, s.plugin->cb, ##__VA_ARGS__)

inline std::vector<int32_t> pruned(std::vector<int32_t> d) {
    while (d.size() > 2 && d.back() == 1)
        d.pop_back();
    if (d.size() == 1) d.push_back(1);  // a vector [n] and a column [n 1] hold the same elements
    return d;
}

inline bool sameDims(const std::vector<int32_t>& a, const std::vector<int32_t>& b) {
    return pruned(a) == pruned(b);
}

inline std::string portName(bool input, int32_t port) {
    return std::string(input ? "input" : "output") + " port " + std::to_string(port);
}

inline int64_t product(const std::vector<int32_t>& d) {
    int64_t n = 1;
    for (int32_t x : d)
        n *= x;
    return n;
}

inline size_t elementBytes(const Port& p) {
    return static_cast<size_t>(types::info(p.dataType).containerBytes) * (p.complexSignal == 1 ? 2 : 1);
}

}  // namespace dravo::host::detail
