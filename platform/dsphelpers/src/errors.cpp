// Errors and warnings by message class: the text comes from the host's catalogue, so every block
// reports a class the same way.
#include <string>
#include <vector>

#include "dravo/dsphelpers/libmessages.h"
#include "dravo/host/messages.h"
#include "vekdsp.h"

namespace VekSimCommon {

namespace {

// Fills %s placeholders in order; a placeholder without an argument is dropped.
std::string fillPlaceholders(const std::string& text, std::initializer_list<std::string> args) {
    std::string out;
    auto arg = args.begin();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == 's') {
            if (arg != args.end()) out += *arg++;
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

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
    if (dravo::messages::isKnown(messageClass))
        return dravo::messages::text(messageClass, std::vector<std::string>(args));
    const std::string own = dravo::dsphelpers::libraryMessageTemplate(messageClass);
    return own.empty() ? std::string() : fillPlaceholders(own, args);
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
