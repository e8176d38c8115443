// From a request to a plan: the block, its parameters, the step plan of its inputs.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>

#include <map>
#include <mutex>

#include "setup.h"

namespace dravo::setup {
namespace fs = std::filesystem;
using namespace cli::msg;
using cli::DialogDescription;
using cli::ParamDescription;
using cli::Signal;
using cli::Value;

namespace {

ResolvedBlock resolveUncached(const std::string& name);

}  // namespace

// Reading every description and opening the plug-in cost milliseconds; a process that sets many blocks
// up (the Python module, a model) pays that once per name. Plug-ins stay loaded for the process.
ResolvedBlock resolveBlock(const std::string& name) {
    static std::mutex mutex;
    static std::map<std::string, ResolvedBlock> cache;
    std::lock_guard lock(mutex);
    if (auto it = cache.find(name); it != cache.end()) return it->second;
    ResolvedBlock r = resolveUncached(name);
    cache.emplace(name, r);
    return r;
}

namespace {

ResolvedBlock resolveUncached(const std::string& name) {
    ResolvedBlock r;
    r.dialog = cli::findDialog(name);
    bool isPath = name.find('/') != std::string::npos || cli::extensionOf(name) == ".so";
    if (r.dialog && !isPath) {
        r.plugin = host::Plugin::load(r.dialog->plugin);  // a missing plug-in is the host's error
        r.displayName = r.dialog->block;
        return r;
    }
    try {
        r.plugin = host::Plugin::load(name);
    } catch (const host::BlockError& e) {
        if (isPath) throw;
        throw UsageError(kUnknownBlock, "unknown block '" + name +
                                            "': no dialog description and no plug-in of that name (" +
                                            e.text() + "); 'dravo blocks' lists the blocks");
    }
    // A plug-in loaded by path or by plug-in name may still have a description under its own name.
    r.dialog = cli::findDialog(r.plugin->name());
    r.displayName = r.dialog ? r.dialog->block : r.plugin->name();
    return r;
}

}  // namespace

namespace {

std::string dimsText(const std::vector<int32_t>& dims) {
    std::string s;
    for (size_t i = 0; i < dims.size(); ++i)
        s += (i ? "x" : "") + std::to_string(dims[i]);
    return s;
}

std::string parameterList(const DialogDescription& d) {
    std::string names;
    for (const auto& p : d.parameters)
        names += (names.empty() ? "" : ", ") + p.name;
    return names;
}

// An integer-valued parameter out of its range is refused here, in one way whatever the value's
// magnitude, before any code turns the double into an integer. Fractions, Inf and NaN are left to the
// block's own checks, which name them.
void checkWholeRange(const ParamDescription& desc, const Value& v, const std::string& typed) {
    if (!desc.wholeRange) return;
    auto [lo, hi] = *desc.wholeRange;
    for (double x : v.re)
        if (std::isfinite(x) && (x < lo || x > hi))
            throw UsageError(kBadValue, desc.name + ": '" + typed + "' is outside the range " +
                                            cli::formatNumber(lo) + " to " + cli::formatNumber(hi));
}

// (index, value) of one setting. Unknown names and, for a described block, undescribed indices are
// usage errors.
std::pair<int, Value> resolveSetting(const ParamSetting& s, const std::optional<DialogDescription>& dialog) {
    const ParamDescription* desc = nullptr;
    int index;
    if (s.index) {
        index = *s.index;
        if (dialog) {
            desc = dialog->findByIndex(index);
            if (!desc)
                throw UsageError(kUnknownParameter, dialog->block + " has no parameter " +
                                                        std::to_string(index) + " (indices 0 to " +
                                                        std::to_string(dialog->maxIndex()) + ": " +
                                                        parameterList(*dialog) + ")");
        }
    } else {
        if (!dialog)
            throw UsageError(
                kUnknownParameter,
                "parameter '" + s.name + "': the block has no dialog description; set it by index with -p");
        desc = dialog->findByName(s.name);
        if (!desc)
            throw UsageError(kUnknownParameter, "unknown parameter '" + s.name + "' of " + dialog->block +
                                                    "; parameters: " + parameterList(*dialog));
        index = desc->index;
    }
    if (desc && desc->kind == cli::ParamKind::Popup) return {index, cli::popupValue(*desc, s.text)};
    Value v;
    try {
        v = cli::parseValue(s.text);
    } catch (const UsageError& e) {
        std::string who = desc ? desc->name : "parameter " + std::to_string(index);
        throw UsageError(e.messageClass(), who + ": " + e.what());
    }
    if (desc) checkWholeRange(*desc, v, s.text);
    return {index, std::move(v)};
}

// What the port is offered: the first frame's attributes; for a variable-size port, the largest size
// of any frame. Every frame must agree on type and complexity; on a fixed-size port also on size.
host::InputSpec offerOfPort(const std::vector<Frame>& frames, bool variable, size_t port) {
    const Frame& first = frames.front();
    host::InputSpec offer;
    offer.dataType = first.dataType();
    offer.complexSignal = first.complex() ? 1 : 0;
    offer.dimsMode = variable ? 1 : 0;
    offer.dims = first.dims();
    for (size_t k = 1; k < frames.size(); ++k) {
        const Frame& f = frames[k];
        std::string where = "input " + std::to_string(port) + ", step " + std::to_string(k + 1);
        if (f.dataType() != first.dataType() || f.complex() != first.complex())
            throw UsageError(kUnsupportedArray,
                             where + ": " + (f.complex() ? "complex " : "") + types::typeName(f.dataType()) +
                                 " differs from step 1's " + (first.complex() ? "complex " : "") +
                                 types::typeName(first.dataType()));
        if (!variable) {
            if (f.dims() != first.dims())
                throw UsageError(kUnsupportedArray,
                                 where + ": size " + dimsText(f.dims()) + " differs from step 1's " +
                                     dimsText(first.dims()) +
                                     "; declare the port variable-size with --variable-size " +
                                     std::to_string(port));
        } else {
            if (f.dims().size() != offer.dims.size())
                throw UsageError(kUnsupportedArray, where + ": " + std::to_string(f.dims().size()) +
                                                        " dimensions where step 1 has " +
                                                        std::to_string(offer.dims.size()));
            for (size_t d = 0; d < offer.dims.size(); ++d)
                offer.dims[d] = std::max(offer.dims[d], f.dims()[d]);
        }
    }
    return offer;
}

std::vector<std::string> stepFilesInFolder(const std::string& folder) {
    std::vector<std::string> files;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec)) {
        std::string ext = cli::extensionOf(e.path().string());
        if ((ext == ".npy" || ext == ".png") && e.is_regular_file()) files.push_back(e.path().string());
    }
    if (ec) throw ToolError(kUnreadableFile, "cannot read folder '" + folder + "': " + ec.message());
    std::sort(files.begin(), files.end());
    if (files.empty())
        throw ToolError(kUnreadableFile, "folder '" + folder + "' holds no .npy or .png files");
    return files;
}

std::vector<std::string> splitCommas(const std::string& text) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        size_t comma = text.find(',', start);
        parts.push_back(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) return parts;
        start = comma + 1;
    }
}

// One input port's frames: numbers, a folder, a list of files or one file.
std::vector<Frame> framesOfInput(const InputRequest& in, std::optional<DataTypeId> type, size_t port,
                                 std::vector<std::string>& warnings) {
    std::vector<Frame> frames;
    std::string what = "input " + std::to_string(port);
    if (!in.signals.empty()) {
        for (const Signal& s : in.signals)
            frames.push_back(Frame::fromSignal(s));
        return frames;
    }
    const std::string& text = in.text;
    std::error_code ec;
    if (!fs::exists(text, ec) && cli::looksLikeNumberList(text)) {
        for (double v : cli::parseNumberList(text))
            frames.push_back(Frame::fromSignal(cli::signalFromNumber(v, type, what)));
        return frames;
    }
    std::vector<std::string> files;
    if (fs::is_directory(text, ec))
        files = stepFilesInFolder(text);
    else if (!fs::exists(text, ec) && text.find(',') != std::string::npos)
        files = splitCommas(text);
    else
        files.push_back(text);
    for (const auto& f : files) {
        std::string ext = cli::extensionOf(f);
        if (ext != ".npy" && ext != ".png") {
            if (!fs::exists(f, ec))
                throw UsageError(kBadValue,
                                 what + ": '" + f + "' is neither a number nor a .npy or .png file");
            throw UsageError(kUsage, what + ": '" + f + "': inputs are .npy or .png files or numbers");
        }
    }
    for (const auto& f : files)
        frames.push_back(Frame::fromFile(f, type, warnings));
    return frames;
}

void checkPortsGiven(const std::map<int, DataTypeId>& ports, size_t given, const char* option) {
    for (const auto& [port, type] : ports)
        if (port >= static_cast<int>(given))
            throw UsageError(kInputCount, std::string(option) + " names port " + std::to_string(port) +
                                              " but only " + std::to_string(given) + " inputs were given");
}

}  // namespace

host::Array toHostArray(const Value& v) {
    size_t dims[2] = {v.rows, v.cols};
    qzArray_tag* a = qzCreateNumericArray(2, dims, qzDOUBLE_CLASS, v.isComplex() ? qzCOMPLEX : qzREAL);
    host::Array arr(a);
    if (!v.re.empty()) std::memcpy(qzGetDataMutable(a), v.re.data(), v.re.size() * sizeof(double));
    if (v.isComplex()) std::memcpy(qzGetImagDataMutable(a), v.im.data(), v.im.size() * sizeof(double));
    return arr;
}

std::vector<host::Array> buildParameters(const std::optional<DialogDescription>& dialog,
                                         const std::vector<ParamSetting>& settings) {
    std::map<int, Value> values;
    if (dialog)
        for (const auto& p : dialog->parameters)
            values[p.index] = p.defaultValue;
    for (const auto& s : settings) {
        auto [index, value] = resolveSetting(s, dialog);
        values[index] = std::move(value);
    }
    std::vector<host::Array> params;
    int count = values.empty() ? 0 : values.rbegin()->first + 1;
    for (int i = 0; i < count; ++i) {
        auto it = values.find(i);
        params.push_back(it == values.end() ? host::Array::empty() : toHostArray(it->second));
    }
    return params;
}

Plan makePlan(const Request& r) {
    Plan plan;
    // Option syntax and port numbers first, so usage errors come before any file is read.
    std::map<int, DataTypeId> inputTypes = parsePortTypes(r.inputTypes, "--input-type");
    std::map<int, DataTypeId> outputTypes = parsePortTypes(r.outputTypes, "--output-type");
    checkPortsGiven(inputTypes, r.inputs.size(), "--input-type");
    for (int port : r.variableSize)
        if (port < 0 || port >= static_cast<int>(r.inputs.size()))
            throw UsageError(kInputCount, "--variable-size names port " + std::to_string(port) +
                                              " but only " + std::to_string(r.inputs.size()) +
                                              " inputs were given");
    if (r.settings.simMode < 0 || r.settings.simMode > 3)
        throw UsageError(kUsage, "--sim-mode takes 0, 1, 2 or 3");
    if (r.steps < 0) throw UsageError(kUsage, "--steps must be at least 1");
    std::map<int, std::vector<ParamSetting>> changes;
    for (const auto& c : r.changes) {
        ParamSetting s;
        int step = parseChange(c, s);
        changes[step].push_back(s);
    }
    constexpr int kMaxOutputPort = 64;
    for (const auto& [port, type] : outputTypes) {
        if (port > kMaxOutputPort)
            throw UsageError(kUsage, "--output-type: no block has output port " + std::to_string(port));
        if (plan.outputRequests.size() <= static_cast<size_t>(port))
            plan.outputRequests.resize(static_cast<size_t>(port) + 1);
        plan.outputRequests[static_cast<size_t>(port)].dataType = type;
    }
    plan.settings = r.settings;

    plan.block = resolveBlock(r.block);
    plan.parameters = buildParameters(plan.block.dialog, r.params);
    if (!plan.block.dialog)
        for (const auto& s : r.params)
            if (s.index) plan.highestUndescribedIndex = std::max(plan.highestUndescribedIndex, *s.index);

    for (size_t port = 0; port < r.inputs.size(); ++port) {
        std::optional<DataTypeId> type;
        if (auto it = inputTypes.find(static_cast<int>(port)); it != inputTypes.end()) type = it->second;
        PortPlan p;
        p.frames = framesOfInput(r.inputs[port], type, port, plan.warnings);
        if (p.frames.empty()) throw UsageError(kInputCount, "input " + std::to_string(port) + " has no data");
        p.variableSize =
            std::find(r.variableSize.begin(), r.variableSize.end(), int(port)) != r.variableSize.end();
        plan.inputs.push_back(std::move(p));
    }
    plan.steps = r.steps;
    if (plan.steps == 0) {
        plan.steps = 1;
        for (const auto& p : plan.inputs)
            plan.steps = std::max(plan.steps, static_cast<int>(p.frames.size()));
    }
    for (size_t port = 0; port < plan.inputs.size(); ++port) {
        PortPlan& p = plan.inputs[port];
        size_t n = p.frames.size();
        if (n != 1 && n != static_cast<size_t>(plan.steps))
            throw UsageError(kInputCount, "input " + std::to_string(port) + " has " + std::to_string(n) +
                                              " steps of data for a run of " + std::to_string(plan.steps) +
                                              " steps");
        p.offer = offerOfPort(p.frames, p.variableSize, port);
        // A file that serves every step of a longer run is read once; a frame of a list when its step comes.
        if (p.frames.size() == 1 && plan.steps > 1) p.frames[0].hold();
    }
    // Every change is resolved up front, so a typing mistake is reported before anything runs.
    for (const auto& [step, list] : changes) {
        if (step < 1 || step > plan.steps)
            throw UsageError(kUsage, "a change before step " + std::to_string(step) +
                                         " lies outside the run of " + std::to_string(plan.steps) + " steps");
        for (const auto& s : list) {
            auto [index, value] = resolveSetting(s, plan.block.dialog);
            plan.changes[step].emplace_back(index, toHostArray(value));
        }
    }
    return plan;
}

}  // namespace dravo::setup
