// dravo blocks: every block that has a dialog description or a plug-in, one line each.
#include <CLI/CLI.hpp>
#include <iostream>
#include <set>

#include "commands.h"
#include "dialogs.h"
#include "dravo/host/engine.h"
#include "errors.h"
#include "report.h"

namespace dravo::cli {
namespace {

int blocksCommand() {
    std::vector<DialogDescription> dialogs = loadAllDialogs();
    std::vector<std::pair<std::string, std::string>> plugins = host::Plugin::discover();
    std::set<std::string> pluginNames;
    for (const auto& p : plugins)
        pluginNames.insert(p.first);

    std::vector<std::vector<std::string>> rows = {{"BLOCK", "PLUG-IN", "SUMMARY"}};
    std::set<std::string> described;
    for (const auto& d : dialogs) {
        described.insert(d.plugin);
        std::string summary = d.summary;
        if (!pluginNames.count(d.plugin)) summary += " (plug-in not found)";
        rows.push_back({d.block, d.plugin, summary});
    }
    for (const auto& [name, path] : plugins)
        if (!described.count(name)) rows.push_back({name, name, "(no dialog description) " + path});
    printTable(std::cout, rows);
    return kExitOk;
}

}  // namespace

void defineBlocksCommand(CLI::App& cmd, CommandAction& action) {
    cmd.footer(
        "Lists each block with its plug-in and a one-line summary. A block whose plug-in is not built is\n"
        "marked; a plug-in without a dialog description is listed under its own name.\n"
        "\nExample:\n"
        "  dravo blocks\n"
        "  DRAVO_PLUGIN_PATH=/opt/blocks dravo blocks    (also search /opt/blocks)\n");
    action = [] { return blocksCommand(); };
}

}  // namespace dravo::cli
