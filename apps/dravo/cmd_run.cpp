// dravo run BLOCK: simulate one block instance on files and numbers, over one or more steps.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <filesystem>
#include <iostream>

#include "commands.h"
#include "errors.h"
#include "logging_report.h"
#include "output_files.h"
#include "report.h"
#include "setup/setup.h"

namespace dravo::cli {
namespace fs = std::filesystem;

namespace {

struct RunOptions {
    std::string block;
    std::vector<std::string> params, sets, inputs, inputTypes, outputs, outputTypes, changes;
    std::vector<int> variableSize;
    bool realWorld = false, logging = false, dtOverride = false;
    int simMode = 0;
    int steps = 0;  // 0: as many as the inputs have
};

// The .npy element that holds a port's stored elements as they are, when there is one: the built-in
// numbers, booleans and fixed point in a container of up to 8 bytes (as encodeSignal writes them).
std::optional<NpyElement> plainNpyElement(DataTypeId id, bool complex) {
    const types::TypeInfo& t = types::info(id);
    switch (t.kind) {
        case types::Kind::Double:
            return complex ? NpyElement::Complex128 : NpyElement::Float64;
        case types::Kind::Single:
            return complex ? NpyElement::Complex64 : NpyElement::Float32;
        case types::Kind::Boolean:
            if (complex) return std::nullopt;
            return NpyElement::Bool;
        case types::Kind::Integer:
        case types::Kind::FixedPoint: {
            if (complex || t.containerBytes > 8) return std::nullopt;
            static const NpyElement kSigned[] = {NpyElement::Int8, NpyElement::Int16, NpyElement::Int32,
                                                 NpyElement::Int64};
            static const NpyElement kUnsigned[] = {NpyElement::UInt8, NpyElement::UInt16, NpyElement::UInt32,
                                                   NpyElement::UInt64};
            int k = t.containerBytes == 1 ? 0 : t.containerBytes == 2 ? 1 : t.containerBytes == 4 ? 2 : 3;
            return t.isSigned ? kSigned[k] : kUnsigned[k];
        }
        case types::Kind::ScaledDouble:
            return std::nullopt;
    }
    return std::nullopt;
}

// Writes an output port to a .npy file straight from the host's buffer, transposed in pieces; false when
// the file needs a conversion (real-world values, scaled doubles, wide or complex fixed point).
bool writeNpyStraight(PendingOutputs& files, const std::string& path, const host::Block& block, int32_t port,
                      bool realWorld) {
    if (extensionOf(path) != ".npy") return false;
    host::PortInfo info = block.outputPort(port);
    const types::TypeInfo& t = types::info(info.dataType);
    bool complex = info.complexSignal == 1;
    if (realWorld && t.kind != types::Kind::Double && t.kind != types::Kind::Single) return false;
    std::optional<NpyElement> element = plainNpyElement(info.dataType, complex);
    if (!element) return false;
    std::vector<int32_t> dims = block.currentOutputDims(port);
    std::vector<size_t> shape(dims.begin(), dims.end());
    const void* data = block.output(port);
    files.addWith(path,
                  [&](int fd) { writeNpyFromColumnMajor(fd, *element, shape, data, "'" + path + "'"); });
    return true;
}

setup::Request requestOf(const RunOptions& o) {
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
    r.settings.simMode = o.simMode;
    r.settings.minMaxOverflowLogging = o.logging ? 1 : 0;
    r.settings.dataTypeOverride = o.dtOverride ? 1 : 0;
    r.steps = o.steps;
    r.changes = o.changes;
    return r;
}

int runCommand(const RunOptions& o) {
    for (const auto& out : o.outputs) {
        std::string ext = extensionOf(out);
        if (ext != ".npy" && ext != ".png")
            throw UsageError(msg::kUsage, "'" + out + "': outputs are .npy or .png files");
    }
    setup::Request request = requestOf(o);
    if (o.logging) resetLoggingReport();
    setup::Plan plan = setup::makePlan(request);
    std::unique_ptr<host::Block> block = setup::configure(plan);
    size_t outputPorts = static_cast<size_t>(block->numOutputPorts());
    if (o.outputs.size() > outputPorts)
        throw UsageError(msg::kUsage, std::to_string(o.outputs.size()) + " outputs named but " +
                                          plan.block.displayName + " has " + std::to_string(outputPorts) +
                                          " output port(s)");

    // Each step's files go to disk as the step ends; nothing is renamed into place before the last one.
    std::vector<std::string> warnings = plan.warnings;
    std::vector<std::string> wrote;
    PendingOutputs files;
    for (int step = 1; step <= plan.steps; ++step) {
        setup::feedStep(*block, plan, step);
        block->step();
        for (size_t port = 0; port < outputPorts; ++port) {
            const auto p = static_cast<int32_t>(port);
            host::PortInfo info = block->outputPort(p);
            Signal shape;  // type and size only
            shape.dataType = info.dataType;
            shape.complex = info.complexSignal == 1;
            shape.dims = block->currentOutputDims(p);
            if (port < o.outputs.size()) {
                std::string path = stepOutputPath(o.outputs[port], step, plan.steps);
                if (!writeNpyStraight(files, path, *block, p, o.realWorld))
                    files.add(path, encodeSignal(setup::readOutput(*block, p), path, o.realWorld, warnings));
                wrote.push_back("wrote " + path + " (" + describeSignal(shape) + ")");
            } else {
                // Values are printed for small signals only; a large one is described without a copy.
                constexpr size_t kPrintedElements = 256;
                Signal s = shape.count() <= kPrintedElements ? setup::readOutput(*block, p) : shape;
                std::cout << (plan.steps > 1 ? "step " + std::to_string(step) + ", " : "") << "output "
                          << port << ": ";
                printSignal(std::cout, s);
            }
        }
    }
    block->terminate();
    files.commit();

    for (const auto& w : warnings)
        reportWarning(w);
    reportWarnings(block->warnings());
    for (const auto& line : wrote)
        std::cout << line << "\n";
    if (o.logging) printLoggingReport(std::cout);
    return kExitOk;
}

}  // namespace

void defineRunCommand(CLI::App& cmd, CommandAction& action) {
    auto o = std::make_shared<RunOptions>();
    cmd.add_option("BLOCK", o->block,
                   "block name (rotate, corner-metric, contrast, pad, convert) or plug-in name")
        ->required();
    auto multi = [](CLI::Option* opt) {
        return opt->expected(1)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    };
    multi(cmd.add_option("-p,--param", o->params, "INDEX=VALUE: a dialog parameter by index (from 0)"));
    multi(cmd.add_option("-s,--set", o->sets,
                         "NAME=VALUE: a dialog parameter by name; popups by label or number"));
    multi(cmd.add_option("-i,--input", o->inputs,
                         "one per input port, in port order: FILE.npy, FILE.png, a number, a list of numbers "
                         "(one per step), a folder or comma-separated files (one per step)"));
    multi(cmd.add_option("--input-type", o->inputTypes,
                         "[PORT=]TYPE: the type of an input's data, e.g. fixed:s16:12 for stored integers"));
    multi(cmd.add_option("-o,--output", o->outputs,
                         "one per output port: FILE.npy (exact type) or FILE.png; with several steps, "
                         "out.png becomes out_0001.png, ... (or give out_%03d.png)"));
    cmd.add_flag("--real-world", o->realWorld, "write .npy outputs as doubles (fixed point scaled)");
    multi(cmd.add_option("--output-type", o->outputTypes, "[PORT=]TYPE: the type a downstream block wants"));
    cmd.add_option("--steps", o->steps, "number of steps (default: as many as the per-step inputs have)");
    multi(cmd.add_option("--variable-size", o->variableSize,
                         "PORT: the input port takes frames of different sizes (up to the largest given)"));
    multi(cmd.add_option("-c,--change", o->changes,
                         "STEP:NAME=VALUE or STEP:INDEX=VALUE: change a tunable parameter before that step"));
    cmd.add_flag("--logging", o->logging, "log fixed-point min/max/overflow and print the report");
    cmd.add_option("--sim-mode", o->simMode, "host simulation mode: 0 normal, 1 sizes only, 2, 3");
    cmd.add_flag("--dt-override", o->dtOverride,
                 "data-type override: fixed point computed as scaled doubles");
    cmd.footer(
        "Parameters not set take the defaults of the block's dialog description ('dravo describe BLOCK').\n"
        "VALUE is a number (2.5), a vector ([1 2 3]), a matrix ([1 2; 3 4]) or a complex number (1+2i).\n"
        "\nExamples:\n"
        "  dravo run rotate -s angle=0.5236 -s interpolation=bilinear --input-type double -i photo.png -o "
        "rotated.png\n"
        "  dravo run rotate -p 2=0.5 -i image.npy -o out.npy            (parameter 2, the angle, by index)\n"
        "  dravo run rotate -s angleSource=port -i image.npy -i 0,0.1,0.2 -o out.png   (3 steps: "
        "out_0001.png ...)\n"
        "  dravo run pad -s method=symmetric -i frames/ -o padded.npy   (a step per file, frames of one "
        "size)\n"
        "  dravo run rotate -s angle=0.3 -i frames/ --variable-size 0 -o rotated.npy   (frames of any size)\n"
        "  dravo run rotate -i image.npy --steps 2 -c 2:fillValues=1 -o out.npy   (a tunable change before "
        "step 2)\n"
        "  dravo run convert -s outputDataType=inherited --output-type fixed:u12:0 -i image.npy -o q.npy "
        "--real-world\n");
    action = [o] { return runCommand(*o); };
}

}  // namespace dravo::cli
