// dravo describe BLOCK: the dialog parameters (index, name, default, choices, tunable) and the ports.
#include <CLI/CLI.hpp>
#include <iostream>

#include "commands.h"
#include "errors.h"
#include "report.h"
#include "setup/setup.h"

namespace dravo::cli {
namespace {

std::string kindName(ParamKind k) {
    switch (k) {
        case ParamKind::Number:
            return "number";
        case ParamKind::Vector:
            return "vector";
        case ParamKind::Popup:
            return "popup";
    }
    return "";
}

std::string choicesText(const ParamDescription& p) {
    std::string out;
    for (size_t i = 0; i < p.choices.size(); ++i)
        out += (i ? ", " : "") + formatNumber(p.choiceValues[i]) + " " + p.choices[i];
    return out;
}

// Tunability and port counts as the plug-in declares them with the default parameters; nullopt when
// the plug-in cannot be loaded or refuses the defaults.
struct Declared {
    std::vector<bool> tunable;
    int inputs = -1, outputs = -1;
};

std::optional<Declared> askPlugin(const std::shared_ptr<host::Plugin>& plugin,
                                  const std::optional<DialogDescription>& dialog, const std::string& name) {
    try {
        host::Block b(plugin, name);
        std::vector<host::Array> params = setup::buildParameters(dialog, {});
        size_t count = params.size();
        b.setParameters(std::move(params));
        b.initialize();
        Declared d;
        for (size_t i = 0; i < count; ++i)
            d.tunable.push_back(b.isParamTunable(static_cast<int32_t>(i)));
        d.inputs = b.numInputPorts();
        d.outputs = b.numOutputPorts();
        return d;
    } catch (const host::BlockError& e) {
        reportWarning("the plug-in refuses the default parameters: " + e.text(), e.messageClass());
    }
    return std::nullopt;
}

void printPorts(const char* heading, const std::vector<PortDescription>& ports, int declared) {
    std::cout << "\n" << heading;
    if (declared >= 0) std::cout << " (" << declared << " with the defaults)";
    std::cout << ":\n";
    std::vector<std::vector<std::string>> rows;
    for (size_t i = 0; i < ports.size(); ++i)
        rows.push_back({"  " + std::to_string(i), ports[i].name,
                        ports[i].summary + (ports[i].optional ? " (only with some settings)" : "")});
    if (rows.empty())
        std::cout << "  (not described)\n";
    else
        printTable(std::cout, rows);
}

int describeCommand(const std::string& name) {
    std::optional<DialogDescription> dialog = findDialog(name);
    std::shared_ptr<host::Plugin> plugin;
    std::string displayName = dialog ? dialog->block : name;
    if (dialog) {
        try {
            plugin = host::Plugin::load(dialog->plugin);
        } catch (const host::BlockError& e) {
            reportWarning("plug-in '" + dialog->plugin + "' not found: " + e.text(), e.messageClass());
        }
    } else {
        setup::ResolvedBlock r = setup::resolveBlock(name);
        plugin = r.plugin;
        dialog = r.dialog;
        displayName = r.displayName;
    }
    std::optional<Declared> declared;
    if (plugin) declared = askPlugin(plugin, dialog, displayName);

    std::cout << displayName;
    if (dialog) std::cout << " (plug-in " << dialog->plugin << ")";
    std::cout << "\n";
    if (dialog) std::cout << "  " << dialog->summary << "\n";
    if (plugin) std::cout << "  plug-in file: " << plugin->path() << "\n";
    if (dialog)
        std::cout << "  description: " << dialog->sourcePath << "\n";
    else
        std::cout << "  no dialog description: set parameters by index with -p INDEX=VALUE\n";

    printPorts("Inputs", dialog ? dialog->inputs : std::vector<PortDescription>{},
               declared ? declared->inputs : -1);
    printPorts("Outputs", dialog ? dialog->outputs : std::vector<PortDescription>{},
               declared ? declared->outputs : -1);

    std::cout << "\nParameters (-p INDEX=VALUE or -s NAME=VALUE):\n";
    std::vector<std::vector<std::string>> rows = {
        {"  INDEX", "NAME", "KIND", "DEFAULT", "TUNABLE", "CHOICES / SUMMARY"}};
    if (dialog)
        for (const auto& p : dialog->parameters) {
            std::string def = p.kind == ParamKind::Popup
                                  ? formatValue(p.defaultValue) + " " + popupLabel(p, p.defaultValue)
                                  : formatValue(p.defaultValue);
            std::string tunable = "?";
            if (declared && p.index < static_cast<int>(declared->tunable.size()))
                tunable = declared->tunable[static_cast<size_t>(p.index)] ? "yes" : "no";
            else if (p.tunable)
                tunable = *p.tunable ? "yes" : "no";
            std::string extra = p.kind == ParamKind::Popup ? choicesText(p) : "";
            if (!p.summary.empty()) extra += (extra.empty() ? "" : "; ") + p.summary;
            rows.push_back({"  " + std::to_string(p.index), p.name, kindName(p.kind), def, tunable, extra});
        }
    if (rows.size() == 1)
        std::cout << "  (not described)\n";
    else
        printTable(std::cout, rows);
    return kExitOk;
}

}  // namespace

void defineDescribeCommand(CLI::App& cmd, CommandAction& action) {
    auto name = std::make_shared<std::string>();
    cmd.add_option("BLOCK", *name, "block name or plug-in name")->required();
    cmd.footer(
        "Shows the block's ports and its dialog parameters: index, name, kind, default, whether the\n"
        "plug-in declares it tunable (changeable between steps with 'run --change'), and popup choices.\n"
        "\nExample:\n"
        "  dravo describe rotate\n"
        "  dravo run rotate -s interpolation=bicubic -i in.png -o out.png   (a popup set by its label)\n");
    action = [name] { return describeCommand(*name); };
}

}  // namespace dravo::cli
