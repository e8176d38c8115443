// sysobj: host settings, timing and options, error status, warnings, user data, the utility allocator.
#include <cstdint>
#include <cstdlib>

#include "dravo/host/messages.h"
#include "sysobj_access.h"

using namespace dravo::host::detail;

namespace sysobj {

int32_t ssGetSimMode(SysObjAdaptorSFun* S) {
    return S ? S->settings.simMode : 0;
}
int32_t ssGetDataTypeOverride(SysObjAdaptorSFun* S) {
    return S ? S->settings.dataTypeOverride : 0;
}
int32_t ssGetMinMaxOverflowLogging(SysObjAdaptorSFun* S) {
    return S ? S->settings.minMaxOverflowLogging : 0;
}

bool ssSetNumSampleTimes(SysObjAdaptorSFun* S, int32_t n) {
    if (!S) return false;
    if (n < 1) {
        S->refuse(std::string(__func__) + ": a block needs at least one sample time, not " +
                  std::to_string(n));
        return false;
    }
    S->numSampleTimes = n;
    S->sampleTimes.assign(static_cast<size_t>(n), -1.0);
    S->offsetTimes.assign(static_cast<size_t>(n), 0.0);
    return true;
}

void ssSetSampleTime(SysObjAdaptorSFun* S, int32_t i, double t) {
    if (!S) return;
    if (i < 0 || static_cast<size_t>(i) >= S->sampleTimes.size()) {
        S->refuse(std::string(__func__) + ": sample time " + std::to_string(i) + " was not declared");
        return;
    }
    S->sampleTimes[static_cast<size_t>(i)] = t;
}

void ssSetOffsetTime(SysObjAdaptorSFun* S, int32_t i, double t) {
    if (!S) return;
    if (i < 0 || static_cast<size_t>(i) >= S->offsetTimes.size()) {
        S->refuse(std::string(__func__) + ": sample time " + std::to_string(i) + " was not declared");
        return;
    }
    S->offsetTimes[static_cast<size_t>(i)] = t;
}

void ssSetModelReferenceSampleTimeInheritanceRule(SysObjAdaptorSFun* S, int32_t rule) {
    if (S) S->inheritanceRule = rule;
}
void ssSetModelReferenceNormalModeSupport(SysObjAdaptorSFun* S, int32_t support) {
    if (S) S->normalModeSupport = support;
}
void ssSetSimStateCompliance(SysObjAdaptorSFun* S, int32_t compliance) {
    if (S) S->simStateCompliance = compliance;
}
void ssSetOptions(SysObjAdaptorSFun* S, uint32_t options) {
    if (S) S->options = options;
}
void ssSupportsMultipleExecInstances(SysObjAdaptorSFun* S, int32_t on) {
    if (S) S->multipleExecInstances = on;
}

void ssSetErrorStatus(SysObjAdaptorSFun* S, const char* text) {
    if (!S) return;
    if (!text) {  // a null text clears the status
        S->hasError = false;
        S->errorText.clear();
        S->errorClass.clear();
        return;
    }
    S->hasError = true;
    S->errorText = text;
    S->errorClass.clear();
}

namespace {

// A class without a text of its own reads as the catalogue's text (without arguments).
std::string textFor(const char* messageClass, const char* text) {
    if (text && *text) return text;
    return messageClass && *messageClass ? dravo::messages::text(messageClass) : std::string();
}

}  // namespace

void ssSetErrorStatusWithClass(SysObjAdaptorSFun* S, const char* messageClass, const char* text) {
    if (!S) return;
    S->hasError = true;
    S->errorClass = messageClass ? messageClass : "";
    S->errorText = textFor(messageClass, text);
}

const char* ssGetErrorStatus(SysObjAdaptorSFun* S) {
    return S && S->hasError ? S->errorText.c_str() : nullptr;
}

void ssWarning(SysObjAdaptorSFun* S, const char* messageClass, const char* text) {
    if (!S) return;
    S->warnings.push_back({messageClass ? messageClass : "", textFor(messageClass, text)});
}

void ssSetUserData(SysObjAdaptorSFun* S, void* data) {
    if (S) S->userData = data;
}
void* ssGetUserData(SysObjAdaptorSFun* S) {
    return S ? S->userData : nullptr;
}
const char* ssGetPath(SysObjAdaptorSFun* S) {
    return S ? S->name.c_str() : "";
}

void* utCalloc(size_t n, size_t size) {
    if (size != 0 && n > SIZE_MAX / size) return nullptr;  // the byte count would not fit
    return std::calloc(n, size);
}
void utFree(void* p) {
    std::free(p);
}

}  // namespace sysobj
