// dravo model: run a model file (several blocks connected output to input), or check it.
#include <CLI/CLI.hpp>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "commands.h"
#include "errors.h"
#include "logging_report.h"
#include "model/codegen.h"
#include "model/model.h"
#include "output_files.h"
#include "report.h"

namespace dravo::cli {

namespace {

struct ModelOptions {
    std::string file;
    std::string outDir;
    std::string workDir;
    bool logging = false;
};

std::string portText(const host::PortInfo& info) {
    Signal shape;
    shape.dataType = info.dataType;
    shape.complex = info.complexSignal == 1;
    shape.dims = info.dims;
    return describeSignal(shape) + (info.dimsMode == 1 ? " variable-size" : "");
}

model::Model load(const ModelOptions& o) {
    model::Model m = model::loadModel(o.file);
    if (o.logging) {
        m.logging = true;
        m.settings.minMaxOverflowLogging = 1;
    }
    return m;
}

// The order and every port's settled attributes, with where each input comes from.
int checkCommand(const ModelOptions& o) {
    model::Model m = load(o);
    model::BuiltModel built = model::buildModel(m);
    std::vector<std::vector<std::string>> rows = {{"PORT", "SIGNAL", "SOURCE"}};
    for (const auto& node : built.nodes) {
        for (int32_t k = 0; k < node.block->numInputPorts(); ++k) {
            const auto& src = node.sources[static_cast<size_t>(k)];
            rows.push_back({node.name + " in " + std::to_string(k), portText(node.block->inputPort(k)),
                            src ? "from " + src->text() : "model input"});
        }
        for (int32_t k = 0; k < node.block->numOutputPorts(); ++k) {
            model::PortRef ref{node.name, k};
            auto req = built.requests.find(ref);
            rows.push_back({node.name + " out " + std::to_string(k), portText(node.block->outputPort(k)),
                            req == built.requests.end() ? "" : "asked for " + types::typeName(req->second)});
        }
    }
    std::string order;
    for (const auto& node : built.nodes)
        order += (order.empty() ? "" : " -> ") + node.name;
    std::cout << "order: " << order << "\nsteps: " << built.steps
              << "\nconfiguration passes: " << built.rounds << "\n";
    printTable(std::cout, rows);
    for (const auto& w : built.warnings)
        reportWarning(w);
    return kExitOk;
}

int runCommand(const ModelOptions& o) {
    model::Model m = load(o);
    if (m.logging) resetLoggingReport();
    model::BuiltModel built = model::buildModel(m);
    model::RunResult r = model::runModel(m, built, o.outDir);
    for (const auto& w : r.warnings)
        reportWarning(w);
    for (const auto& node : built.nodes)
        reportWarnings(node.block->warnings());
    for (const auto& line : r.wrote)
        std::cout << line << "\n";
    if (m.logging) printLoggingReport(std::cout);
    return kExitOk;
}

// One unit per block, the model unit and main.c, written all together or not at all.
int codegenCommand(const ModelOptions& o) {
    model::Model m = load(o);
    model::BuiltModel built = model::buildModel(m);
    std::vector<CG::EmittedFile> files = model::generateModelCode(m, built);
    OutputFolder folder(o.outDir);
    PendingOutputs pending;
    for (const auto& f : files)
        pending.add((std::filesystem::path(o.outDir) / f.name).string(),
                    std::vector<uint8_t>(f.text.begin(), f.text.end()));
    pending.commit();
    folder.keep();
    std::cout << "wrote " << files.size() << " files to " << o.outDir << " (model.h, model.c, main.c and "
              << built.nodes.size() << " block units)\n";
    return kExitOk;
}

int silCommand(const ModelOptions& o) {
    model::Model m = load(o);
    model::BuiltModel built = model::buildModel(m);
    std::string dir = o.workDir;
    if (dir.empty()) {
        std::string pattern = (std::filesystem::temp_directory_path() / "dravo-model-sil-XXXXXX").string();
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        if (!mkdtemp(name.data())) throw ToolError(msg::kUnwritableFile, "cannot make a temporary folder");
        dir = name.data();
    }
    model::SilOutcome r = model::runModelSil(m, built, dir);
    if (o.workDir.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    if (!r.identical) {
        std::cout << "model sil: DIFFERENT: " << r.difference << "\n";
        return kExitFailure;
    }
    std::cout << "model sil: identical: " << r.outputs << " output" << (r.outputs == 1 ? "" : "s") << " x "
              << r.steps << " step" << (r.steps == 1 ? "" : "s") << ", bit for bit\n";
    return kExitOk;
}

}  // namespace

void defineModelCommand(CLI::App& cmd, CommandAction& action) {
    auto o = std::make_shared<ModelOptions>();
    cmd.require_subcommand(1);
    CLI::App* run = cmd.add_subcommand("run", "simulate a model file step by step and write its outputs");
    CLI::App* check = cmd.add_subcommand("check", "configure a model file and print every port's signal");
    CLI::App* codegen =
        cmd.add_subcommand("codegen", "generate C for the model: a unit per block and model_step");
    CLI::App* sil =
        cmd.add_subcommand("sil", "generate, build and run the model's C; compare with simulation");
    codegen->add_option("--out-dir", o->outDir, "folder for the generated files")->required();
    sil->add_option("--work-dir", o->workDir, "keep the generated files, program and its data here");
    for (CLI::App* sub : {run, check, codegen, sil}) {
        sub->add_option("MODEL", o->file, "model file (JSON; docs/models.md)")->required();
        sub->add_flag("--logging", o->logging, "log fixed-point min/max/overflow of every block");
    }
    run->add_option("--out-dir", o->outDir, "folder for relative output paths (default: the model's folder)");
    run->footer(
        "Input files are found relative to the model file. Nothing is written unless every step of every "
        "block succeeds.\n\nExample:\n  dravo model run examples/rotate-pad/model.json --out-dir out/\n");
    action = [o, run, codegen, sil] {
        if (run->parsed()) return runCommand(*o);
        if (codegen->parsed()) return codegenCommand(*o);
        if (sil->parsed()) return silCommand(*o);
        return checkCommand(*o);
    };
}

}  // namespace dravo::cli
