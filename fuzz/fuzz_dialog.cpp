// Dialog description loader: any text gives a description or a ToolError (never another exception).
#include <cstddef>
#include <cstdint>
#include <string>

#include "dialogs.h"
#include "errors.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace dravo::cli;
    std::string text(reinterpret_cast<const char*>(data), size);
    try {
        DialogDescription d = parseDialogDescription(text, "fuzz.json");
        for (const auto& p : d.parameters) {
            // Popups answer for every label they list.
            for (const auto& label : p.choices) {
                try {
                    popupValue(p, label);
                } catch (const ToolError&) {
                }
            }
        }
    } catch (const ToolError&) {
    }
    return 0;
}
