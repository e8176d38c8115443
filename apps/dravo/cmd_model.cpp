// dravo model: run a model file (several blocks connected output to input), or check it.
#include <CLI/CLI.hpp>
#include <iostream>

#include "commands.h"
#include "errors.h"
#include "logging_report.h"
#include "model/model.h"
#include "report.h"

namespace dravo::cli {

namespace {

struct ModelOptions {
    std::string file;
    std::string outDir;
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

}  // namespace

void defineModelCommand(CLI::App& cmd, CommandAction& action) {
    auto o = std::make_shared<ModelOptions>();
    cmd.require_subcommand(1);
    CLI::App* run = cmd.add_subcommand("run", "simulate a model file step by step and write its outputs");
    CLI::App* check = cmd.add_subcommand("check", "configure a model file and print every port's signal");
    for (CLI::App* sub : {run, check}) {
        sub->add_option("MODEL", o->file, "model file (JSON; docs/models.md)")->required();
        sub->add_flag("--logging", o->logging, "log fixed-point min/max/overflow of every block");
    }
    run->add_option("--out-dir", o->outDir, "folder for relative output paths (default: the model's folder)");
    run->footer(
        "Input files are found relative to the model file. Nothing is written unless every step of every "
        "block succeeds.\n\nExample:\n  dravo model run examples/rotate-pad/model.json --out-dir out/\n");
    action = [o, run] { return run->parsed() ? runCommand(*o) : checkCommand(*o); };
}

}  // namespace dravo::cli
