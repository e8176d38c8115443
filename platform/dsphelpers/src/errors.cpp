// Errors and warnings by message class: the text comes from the host's catalogue (the library's own
// classes included), so every block reports a class the same way.
#include <string>
#include <vector>

#include "dravo/host/messages.h"
#include "vekdsp.h"

namespace VekSimCommon {

namespace {

std::string textOrClassName(const char* messageClass, std::initializer_list<std::string> args) {
    if (messageClass == nullptr) return "Unknown error.";
    const std::string known = dspMessageText(messageClass, args);
    if (!known.empty()) return known;
    // Unknown everywhere: the class name and its arguments still say what went wrong.
    return dravo::messages::text(messageClass, std::vector<std::string>(args));
}

// The host may keep the text pointer until the callback returns, so the texts live in library storage:
// one slot for the error (a later error replaces it) and a ring for the warnings of one callback.
std::string& errorTextSlot() {
    static std::string slot;
    return slot;
}

std::string& nextWarningTextSlot() {
    static std::string ring[16];
    static size_t next = 0;
    std::string& slot = ring[next];
    next = (next + 1) % 16;
    return slot;
}

}  // namespace

std::string dspMessageText(const char* messageClass, std::initializer_list<std::string> args) {
    if (messageClass == nullptr) return "";
    if (!dravo::messages::isKnown(messageClass)) return "";
    return dravo::messages::text(messageClass, std::vector<std::string>(args));
}

void dspError(SysObjAdaptorSFun* S, const char* messageClass, std::initializer_list<std::string> args) {
    std::string& text = errorTextSlot();
    text = textOrClassName(messageClass, args);
    sysobj::ssSetErrorStatusWithClass(S, messageClass != nullptr ? messageClass : "", text.c_str());
}

void dspWarning(SysObjAdaptorSFun* S, const char* messageClass, std::initializer_list<std::string> args) {
    std::string& text = nextWarningTextSlot();
    text = textOrClassName(messageClass, args);
    sysobj::ssWarning(S, messageClass != nullptr ? messageClass : "", text.c_str());
}

}  // namespace VekSimCommon
