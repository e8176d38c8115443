// dravo codegen BLOCK ... --out-dir DIR: configures and starts a block as `dravo run` would (the inputs
// fix the port sizes and types), generates its C unit and writes it, with the shared unit and the
// runtime header, into DIR. Nothing is written when generation fails.
#include <CLI/CLI.hpp>
#include <filesystem>
#include <iostream>

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

void addCodegenOptions(CLI::App& c, CodegenOptions& o, bool forSil) {
    c.add_option("BLOCK", o.block,
                 "block name (rotate, corner-metric, contrast, pad, convert) or plug-in name")
        ->required();
    auto multi = [](CLI::Option* opt) {
        return opt->expected(1)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    };
    multi(c.add_option("-p,--param", o.params, "dialog parameter by index: INDEX=VALUE"));
    multi(c.add_option("-s,--set", o.sets, "dialog parameter by name: NAME=VALUE"));
    multi(c.add_option("-i,--input", o.inputs,
                       forSil ? "one per input port, as for 'dravo run' (files, a folder or lists give one "
                                "frame per step)"
                              : "one per input port: a .npy or .png file, or a number"));
    multi(c.add_option("--input-type", o.inputTypes, "[PORT=]TYPE of an input's data"));
    multi(c.add_option("--output-type", o.outputTypes, "[PORT=]TYPE: the type a downstream block wants"));
    multi(c.add_option("--variable-size", o.variableSize, "input port whose size varies"));
    c.add_option("--name", o.name, "name of the generated unit (default: the block name)");
    c.add_flag("--dt-override", o.dtOverride, "data-type override: scaled doubles");
    if (forSil) {
        c.add_option("--steps", o.steps, "number of steps (default: as many as the per-step inputs have)");
        multi(
            c.add_option("-c,--change", o.changes,
                         "STEP:NAME=VALUE or STEP:INDEX=VALUE: change a tunable parameter before that step"));
    }
}

namespace {

// The names the generated set or the sil driver already use.
void checkUnitName(const std::string& unitName, bool forSil) {
    std::string runtime = CG::runtimeHeaderName();
    runtime = runtime.substr(0, runtime.rfind('.'));
    std::vector<std::string> taken = {CG::commonUnitName(), runtime};
    if (forSil) taken.push_back("main");
    for (const auto& t : taken)
        if (unitName == t)
            throw UsageError(msg::kUsage,
                             "--name " + unitName + " is the name of a file the generated code " +
                                 (t == "main" ? "is tested with" : "comes with") + "; choose another name");
}

}  // namespace

StartedBlock startBlockForCodegen(const CodegenOptions& o, bool forSil) {
    setup::Request r;
    r.block = o.block;
    for (const auto& p : o.params)
        r.params.push_back(setup::parseIndexSetting(p, "--param"));
    for (const auto& s : o.sets)
        r.params.push_back(setup::parseNameSetting(s, "--set"));
    for (const auto& i : o.inputs)
        r.inputs.push_back({i, {}});
    r.inputTypes = o.inputTypes;
    r.outputTypes = o.outputTypes;
    r.variableSize = o.variableSize;
    r.settings.dataTypeOverride = o.dtOverride ? 1 : 0;
    r.steps = o.steps;
    r.changes = o.changes;
    if (!o.name.empty()) checkUnitName(CG::cIdentifier(o.name), forSil);

    StartedBlock sb;
    sb.plan = setup::makePlan(r);
    if (!forSil && sb.plan.steps > 1)
        throw UsageError(msg::kUsage,
                         "codegen takes one frame per input (the code is the same for every step)");
    for (const auto& w : sb.plan.warnings)
        reportWarning(w);
    sb.block = setup::configure(sb.plan);
    sb.blockType = sb.plan.block.displayName;
    sb.unitName = CG::cIdentifier(o.name.empty() ? sb.blockType : o.name);
    checkUnitName(sb.unitName, forSil);
    return sb;
}

std::string generateDemoCode(const setup::Plan& plan, const std::string& outDir,
                             const std::string& unitName) {
    static std::shared_ptr<CG::Pool> pool = std::make_shared<CG::Pool>();
    std::string name = CG::cIdentifier(unitName);
    try {
        std::unique_ptr<host::Block> block = setup::configure(plan);
        std::unique_ptr<TarnCG::CGHandle> h = TarnCG::makeHandle(*block, name, plan.block.displayName, pool);
        std::string error;
        if (!TarnCG::generateForBlock(*block, *h, &error) ||
            !CG::writeUnit(h->unit(), (std::filesystem::path(outDir) / "code").string(), &error))
            return "no code: " + error;
    } catch (const std::exception& e) {
        return std::string("no code: ") + e.what();
    }
    return "code: code/" + name + ".c";
}

namespace {

int codegenCommand(const CodegenOptions& o, const std::string& outDir) {
    StartedBlock sb = startBlockForCodegen(o, false);
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
    std::cout << "wrote";
    for (size_t i = 0; i < files.size(); ++i)
        std::cout << (i == 0 ? " " : i + 1 == files.size() ? " and " : ", ") << files[i].name;
    std::cout << " to " << outDir << "\n";
    return kExitOk;
}

}  // namespace

void defineCodegenCommand(CLI::App& c, CommandAction& action) {
    auto o = std::make_shared<CodegenOptions>();
    auto outDir = std::make_shared<std::string>();
    addCodegenOptions(c, *o, false);
    c.add_option("--out-dir", *outDir, "folder for the generated files")->required();
    c.footer("Example: dravo codegen pad -s Method=Symmetric -i image.npy --out-dir gen");
    action = [o, outDir] { return codegenCommand(*o, *outDir); };
}

}  // namespace dravo::cli
