#include "demo_support.h"

#include "dravo/host/engine.h"
#include "output_files.h"

namespace dravo::cli {

std::string demoSkipReason(const std::string& block, const std::optional<DialogDescription>& dialog) {
    if (!dialog) return "skipped: no dialog description for " + block;
    if (!host::Plugin::locate(dialog->plugin)) return "skipped: plug-in " + dialog->plugin + " not built";
    return "";
}

void writeDemoFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    PendingOutputs out;
    out.add(path, bytes);
    out.commit();
}

}  // namespace dravo::cli
