// dravo run BLOCK: simulate one block instance on files and numbers, over one or more steps.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <filesystem>
#include <iostream>

#include "block_runner.h"
#include "commands.h"
#include "errors.h"
#include "logging_report.h"
#include "output_files.h"
#include "report.h"

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

// "[PORT=]TYPE" for --input-type and --output-type.
std::map<int, DataTypeId> parsePortTypes(const std::vector<std::string>& items, const char* option) {
    std::map<int, DataTypeId> out;
    for (const auto& item : items) {
        int port = 0;
        std::string typeText = item;
        size_t eq = item.find('=');
        if (eq != std::string::npos) {
            std::string portText = item.substr(0, eq);
            if (portText.empty() || portText.find_first_not_of("0123456789") != std::string::npos ||
                portText.size() > 4)
                throw UsageError(msg::kUsage,
                                 std::string(option) + ": '" + portText + "' is not a port number");
            port = std::stoi(portText);
            typeText = item.substr(eq + 1);
        }
        auto id = types::parseTypeName(typeText);
        if (!id)
            throw UsageError(msg::kBadValue,
                             std::string(option) + ": unknown type '" + typeText +
                                 "' (double, single, int8, uint8, int16, uint16, int32, uint32, boolean, "
                                 "fixed:s16:12, fixed:u8:0, scaled:s16:12)");
        out[port] = *id;
    }
    return out;
}

std::vector<std::string> stepFilesInFolder(const std::string& folder) {
    std::vector<std::string> files;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec)) {
        std::string ext = extensionOf(e.path().string());
        if ((ext == ".npy" || ext == ".png") && e.is_regular_file()) files.push_back(e.path().string());
    }
    if (ec) throw ToolError(msg::kUnreadableFile, "cannot read folder '" + folder + "': " + ec.message());
    std::sort(files.begin(), files.end());
    if (files.empty())
        throw ToolError(msg::kUnreadableFile, "folder '" + folder + "' holds no .npy or .png files");
    return files;
}

// One -i: a number or a list of numbers (one per step), a folder of files (one per step, in name
// order), files separated by commas (one per step), or one file (the same every step).
std::vector<Signal> loadInput(const std::string& text, std::optional<DataTypeId> type, size_t port,
                              std::vector<std::string>& warnings) {
    std::error_code ec;
    std::vector<Signal> frames;
    std::string what = "input " + std::to_string(port);
    if (!fs::exists(text, ec) && looksLikeNumberList(text)) {
        for (double v : parseNumberList(text))
            frames.push_back(signalFromNumber(v, type, what));
        return frames;
    }
    std::vector<std::string> files;
    if (fs::is_directory(text, ec)) {
        files = stepFilesInFolder(text);
    } else if (!fs::exists(text, ec) && text.find(',') != std::string::npos) {
        size_t start = 0;
        while (true) {
            size_t comma = text.find(',', start);
            files.push_back(
                text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
            if (comma == std::string::npos) break;
            start = comma + 1;
        }
    } else {
        files.push_back(text);
    }
    for (const auto& f : files) {
        std::string ext = extensionOf(f);
        if (ext != ".npy" && ext != ".png") {
            if (!fs::exists(f, ec))
                throw UsageError(msg::kBadValue,
                                 what + ": '" + f + "' is neither a number nor a .npy or .png file");
            throw UsageError(msg::kUsage, what + ": '" + f + "': inputs are .npy or .png files or numbers");
        }
        frames.push_back(readSignalFile(f, type, warnings));
    }
    return frames;
}

ParamSetting parseChange(const std::string& text, int& step) {
    // STEP:NAME=VALUE or STEP:INDEX=VALUE
    size_t colon = text.find(':');
    std::string stepText = colon == std::string::npos ? "" : text.substr(0, colon);
    if (stepText.empty() || stepText.find_first_not_of("0123456789") != std::string::npos ||
        stepText.size() > 9)
        throw UsageError(msg::kUsage, "--change expects STEP:NAME=VALUE, got '" + text + "'");
    step = std::stoi(stepText);
    auto [key, value] = splitAssignment(text.substr(colon + 1), "--change");
    ParamSetting s;
    if (key.find_first_not_of("0123456789") == std::string::npos && key.size() <= 6)
        s.index = std::stoi(key);
    else
        s.name = key;
    s.text = value;
    return s;
}

int runCommand(const RunOptions& o) {
    RunPlan plan;
    // Settings are checked before the plug-in is loaded, so usage errors come first.
    for (const auto& p : o.params) {
        auto [key, value] = splitAssignment(p, "--param");
        if (key.find_first_not_of("0123456789") != std::string::npos || key.size() > 6)
            throw UsageError(msg::kUsage,
                             "--param takes an index: '" + key + "' is not one (use --set NAME=VALUE)");
        plan.params.push_back({std::stoi(key), "", value});
    }
    for (const auto& s : o.sets) {
        auto [key, value] = splitAssignment(s, "--set");
        plan.params.push_back({std::nullopt, key, value});
    }
    std::map<int, DataTypeId> inputTypes = parsePortTypes(o.inputTypes, "--input-type");
    std::map<int, DataTypeId> outputTypes = parsePortTypes(o.outputTypes, "--output-type");
    for (const auto& [port, type] : inputTypes)
        if (port >= static_cast<int>(o.inputs.size()))
            throw UsageError(msg::kInputCount, "--input-type names port " + std::to_string(port) +
                                                   " but only " + std::to_string(o.inputs.size()) +
                                                   " inputs were given");
    for (int port : o.variableSize)
        if (port < 0 || port >= static_cast<int>(o.inputs.size()))
            throw UsageError(msg::kInputCount, "--variable-size names port " + std::to_string(port) +
                                                   " but only " + std::to_string(o.inputs.size()) +
                                                   " inputs were given");
    if (o.simMode < 0 || o.simMode > 3) throw UsageError(msg::kUsage, "--sim-mode takes 0, 1, 2 or 3");
    if (o.steps < 0) throw UsageError(msg::kUsage, "--steps must be at least 1");
    for (const auto& c : o.changes) {
        int step = 0;
        ParamSetting s = parseChange(c, step);
        plan.changes[step].push_back(s);
    }
    for (const auto& out : o.outputs) {
        std::string ext = extensionOf(out);
        if (ext != ".npy" && ext != ".png")
            throw UsageError(msg::kUsage, "'" + out + "': outputs are .npy or .png files");
    }

    std::vector<std::string> warnings;
    for (size_t port = 0; port < o.inputs.size(); ++port) {
        std::optional<DataTypeId> type;
        if (auto it = inputTypes.find(static_cast<int>(port)); it != inputTypes.end()) type = it->second;
        plan.inputs.push_back(loadInput(o.inputs[port], type, port, warnings));
    }
    plan.variableSize.assign(o.inputs.size(), false);
    for (int port : o.variableSize)
        plan.variableSize[static_cast<size_t>(port)] = true;
    plan.steps = o.steps;
    if (plan.steps == 0) {
        plan.steps = 1;
        for (const auto& frames : plan.inputs)
            plan.steps = std::max(plan.steps, static_cast<int>(frames.size()));
    }
    for (const auto& [port, type] : outputTypes) {
        if (port > 64)
            throw UsageError(msg::kUsage, "--output-type: no block has output port " + std::to_string(port));
        if (plan.outputRequests.size() <= static_cast<size_t>(port))
            plan.outputRequests.resize(static_cast<size_t>(port) + 1);
        plan.outputRequests[static_cast<size_t>(port)].dataType = type;
    }
    plan.settings.simMode = o.simMode;
    plan.settings.minMaxOverflowLogging = o.logging ? 1 : 0;
    plan.settings.dataTypeOverride = o.dtOverride ? 1 : 0;

    plan.block = resolveBlock(o.block);
    if (o.logging) resetLoggingReport();
    RunResult result = runBlock(plan);
    if (o.outputs.size() > result.outputPorts.size())
        throw UsageError(msg::kUsage, std::to_string(o.outputs.size()) + " outputs named but " +
                                          plan.block.displayName + " has " +
                                          std::to_string(result.outputPorts.size()) + " output port(s)");

    PendingOutputs files;
    for (int step = 1; step <= plan.steps; ++step)
        for (size_t port = 0; port < o.outputs.size(); ++port) {
            const Signal& s = result.outputs[static_cast<size_t>(step - 1)][port];
            std::string path = stepOutputPath(o.outputs[port], step, plan.steps);
            files.add(path, encodeSignal(s, path, o.realWorld, warnings));
        }
    files.commit();

    for (const auto& w : warnings)
        reportWarning(w);
    reportWarnings(result.warnings);
    for (int step = 1; step <= plan.steps; ++step)
        for (size_t port = o.outputs.size(); port < result.outputPorts.size(); ++port) {
            std::cout << (plan.steps > 1 ? "step " + std::to_string(step) + ", " : "") << "output " << port
                      << ": ";
            printSignal(std::cout, result.outputs[static_cast<size_t>(step - 1)][port]);
        }
    for (int step = 1; step <= plan.steps && !o.outputs.empty(); ++step)
        for (size_t port = 0; port < o.outputs.size(); ++port)
            std::cout << "wrote " << stepOutputPath(o.outputs[port], step, plan.steps) << " ("
                      << describeSignal(result.outputs[static_cast<size_t>(step - 1)][port]) << ")\n";
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
        "  dravo run pad -s method=symmetric -i frames/ --variable-size 0 -o padded.npy  (a step per file)\n"
        "  dravo run rotate -i image.npy --steps 2 -c 2:fillValues=1 -o out.npy   (a tunable change before "
        "step 2)\n"
        "  dravo run convert -s outputDataType=inherited --output-type fixed:u12:0 -i image.npy -o q.npy "
        "--real-world\n");
    action = [o] { return runCommand(*o); };
}

}  // namespace dravo::cli
