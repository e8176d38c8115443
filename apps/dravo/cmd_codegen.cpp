// dravo codegen BLOCK ... --out-dir DIR: configures and starts a block as `dravo run` would (the inputs
// fix the port sizes and types), generates its C unit and writes it, with the shared unit and the
// runtime header, into DIR. Nothing is written when generation fails.
#include <CLI/CLI.hpp>
#include <filesystem>
#include <iostream>

#include "block_runner.h"
#include "cg/emit_c.h"
#include "cg/diagnostics.h"
#include "cg/host_bridge.h"
#include "cg/sil.h"
#include "cmd_codegen.h"
#include "commands.h"
#include "errors.h"
#include "output_files.h"
#include "report.h"

namespace dravo::cli {

void addCodegenOptions(CLI::App& c, CodegenOptions& o) {
    c.add_option("BLOCK", o.block,
                 "block name (rotate, corner-metric, contrast, pad, convert) or plug-in name")
        ->required();
    c.add_option("-p,--param", o.params, "dialog parameter by index: INDEX=VALUE");
    c.add_option("-s,--set", o.sets, "dialog parameter by name: NAME=VALUE");
    c.add_option("-i,--input", o.inputs, "one per input port: a .npy or .png file, or a number");
    c.add_option("--input-type", o.inputTypes, "[PORT=]TYPE of an input file holding stored integers");
    c.add_option("--variable-size", o.variableSize, "input port whose size varies");
    c.add_option("--name", o.name, "name of the generated unit (default: the block name)");
    c.add_flag("--dt-override", o.dtOverride, "data-type override: scaled doubles");
}

StartedBlock startBlockForCodegen(const CodegenOptions& o) {
    StartedBlock sb;
    std::vector<ParamSetting> params;
    for (const auto& p : o.params) {
        auto [key, value] = splitAssignment(p, "--param");
        if (key.empty() || key.find_first_not_of("0123456789") != std::string::npos || key.size() > 6)
            throw UsageError(msg::kUsage,
                             "--param takes an index: '" + key + "' is not one (use --set NAME=VALUE)");
        params.push_back({std::stoi(key), "", value});
    }
    for (const auto& s : o.sets) {
        auto [key, value] = splitAssignment(s, "--set");
        params.push_back({std::nullopt, key, value});
    }
    std::map<int, DataTypeId> types;
    for (const auto& item : o.inputTypes) {
        size_t eq = item.find('=');
        int port = eq == std::string::npos ? 0 : std::atoi(item.substr(0, eq).c_str());
        auto id = dravo::types::parseTypeName(eq == std::string::npos ? item : item.substr(eq + 1));
        if (!id) throw UsageError(msg::kBadValue, "--input-type: unknown type '" + item + "'");
        types[port] = *id;
    }
    std::vector<std::string> warnings;
    for (size_t port = 0; port < o.inputs.size(); ++port) {
        std::optional<DataTypeId> type;
        if (auto it = types.find(static_cast<int>(port)); it != types.end()) type = it->second;
        const std::string& text = o.inputs[port];
        std::string ext = extensionOf(text);
        if (ext == ".npy" || ext == ".png")
            sb.inputs.push_back(readSignalFile(text, type, warnings));
        else if (looksLikeNumberList(text) && parseNumberList(text).size() == 1)
            sb.inputs.push_back(
                signalFromNumber(parseNumberList(text)[0], type, "input " + std::to_string(port)));
        else
            throw UsageError(msg::kBadValue, "input " + std::to_string(port) + ": '" + text +
                                                 "' is neither a number nor a .npy or .png file");
    }
    for (const auto& w : warnings)
        reportWarning(w);
    sb.variableSize.assign(sb.inputs.size(), false);
    for (int port : o.variableSize) {
        if (port < 0 || port >= static_cast<int>(sb.inputs.size()))
            throw UsageError(msg::kInputCount, "--variable-size names port " + std::to_string(port) +
                                                   " but only " + std::to_string(sb.inputs.size()) +
                                                   " inputs were given");
        sb.variableSize[static_cast<size_t>(port)] = true;
    }

    ResolvedBlock rb = resolveBlock(o.block);
    host::Settings settings;
    settings.dataTypeOverride = o.dtOverride ? 1 : 0;
    sb.block = std::make_unique<host::Block>(rb.plugin, rb.displayName, settings);
    sb.block->setParameters(buildParameters(rb.dialog, params));
    sb.block->initialize();
    if (static_cast<size_t>(sb.block->numInputPorts()) != sb.inputs.size())
        throw UsageError(msg::kInputCount, rb.displayName + " has " +
                                               std::to_string(sb.block->numInputPorts()) +
                                               " input port(s) with these parameters, but " +
                                               std::to_string(sb.inputs.size()) + " input(s) were given");
    std::vector<host::InputSpec> offers;
    for (size_t port = 0; port < sb.inputs.size(); ++port) {
        host::InputSpec offer;
        offer.dataType = sb.inputs[port].dataType;
        offer.complexSignal = sb.inputs[port].complex ? 1 : 0;
        offer.dims = sb.inputs[port].dims;
        offer.dimsMode = sb.variableSize[port] ? 1 : 0;
        offers.push_back(offer);
    }
    sb.block->propagate(offers);
    sb.block->start();
    sb.blockType = rb.displayName;
    sb.unitName = CG::cIdentifier(o.name.empty() ? rb.displayName : o.name);
    return sb;
}

std::string generateDemoCode(const RunPlan& plan, const std::string& outDir, const std::string& unitName) {
    static std::shared_ptr<CG::Pool> pool = std::make_shared<CG::Pool>();
    std::string name = CG::cIdentifier(unitName);
    try {
        host::Block block(plan.block.plugin, plan.block.displayName, plan.settings);
        block.setParameters(buildParameters(plan.block.dialog, plan.params));
        block.initialize();
        std::vector<host::InputSpec> offers;
        for (const auto& frames : plan.inputs) {
            host::InputSpec offer;
            offer.dataType = frames.at(0).dataType;
            offer.complexSignal = frames.at(0).complex ? 1 : 0;
            offer.dims = frames.at(0).dims;
            offers.push_back(offer);
        }
        block.propagate(offers, plan.outputRequests);
        block.start();
        std::unique_ptr<TarnCG::CGHandle> h = TarnCG::makeHandle(block, name, plan.block.displayName, pool);
        std::string error;
        if (!TarnCG::generateForBlock(block, *h, &error) ||
            !CG::writeUnit(h->unit(), (std::filesystem::path(outDir) / "code").string(), &error))
            return "no code: " + error;
    } catch (const std::exception& e) {
        return std::string("no code: ") + e.what();
    }
    return "code: code/" + name + ".c";
}

namespace {

int codegenCommand(const CodegenOptions& o, const std::string& outDir) {
    StartedBlock sb = startBlockForCodegen(o);
    std::unique_ptr<TarnCG::CGHandle> h = TarnCG::makeHandle(*sb.block, sb.unitName, sb.blockType);
    std::string error;
    if (!TarnCG::generateForBlock(*sb.block, *h, &error)) {
        reportError(error, "");
        return kExitFailure;
    }
    // Every file is staged beside its destination first: the folder gets all of them or none.
    std::vector<CG::EmittedFile> files;
    CG::Diagnostics diag;
    {
        CG::DiagnosticsScope scope(diag);
        files = CG::emitUnit(h->unit());
        auto common = CG::emitCommon(*h->unit().pool);
        files.insert(files.end(), common.begin(), common.end());
    }
    if (diag.failed()) {
        reportError("block '" + sb.unitName + "': " + diag.error().message(), "");
        return kExitFailure;
    }
    try {
        OutputFolder folder(outDir);
        PendingOutputs pending;
        for (const auto& f : files)
            pending.add((std::filesystem::path(outDir) / f.name).string(),
                        std::vector<uint8_t>(f.text.begin(), f.text.end()));
        pending.commit();
        folder.keep();
    } catch (const ToolError& e) {
        // As every failure of generation, it names the block.
        throw ToolError(e.messageClass(), "block '" + sb.unitName + "': " + e.what());
    }
    std::cout << "wrote " << sb.unitName << ".h, " << sb.unitName << ".c, " << CG::commonUnitName() << ".h, "
              << CG::commonUnitName() << ".c and " << CG::runtimeHeaderName() << " to " << outDir << "\n";
    return kExitOk;
}

}  // namespace

void defineCodegenCommand(CLI::App& c, CommandAction& action) {
    auto o = std::make_shared<CodegenOptions>();
    auto outDir = std::make_shared<std::string>();
    addCodegenOptions(c, *o);
    c.add_option("--out-dir", *outDir, "folder for the generated files")->required();
    c.footer("Example: dravo codegen pad -s Method=Symmetric -i image.npy --out-dir gen");
    action = [o, outDir] { return codegenCommand(*o, *outDir); };
}

}  // namespace dravo::cli
