#include "block_runner.h"

#include <algorithm>
#include <cstring>

#include "errors.h"

namespace dravo::cli {

ResolvedBlock resolveBlock(const std::string& name) {
    ResolvedBlock r;
    r.dialog = findDialog(name);
    bool isPath = name.find('/') != std::string::npos || extensionOf(name) == ".so";
    if (r.dialog) {
        r.plugin = host::Plugin::load(r.dialog->plugin);  // a missing plug-in is the host's error
        r.displayName = r.dialog->block;
        return r;
    }
    try {
        r.plugin = host::Plugin::load(name);
    } catch (const host::BlockError& e) {
        if (isPath) throw;
        throw UsageError(msg::kUnknownBlock, "unknown block '" + name +
                                                 "': no dialog description and no plug-in of that name (" +
                                                 e.text() + "); 'dravo blocks' lists the blocks");
    }
    // A plug-in loaded by path or by plug-in name may still have a description under its own name.
    r.dialog = findDialog(r.plugin->name());
    r.displayName = r.dialog ? r.dialog->block : r.plugin->name();
    return r;
}

std::pair<std::string, std::string> splitAssignment(const std::string& text, const char* option) {
    size_t eq = text.find('=');
    if (eq == std::string::npos || eq == 0)
        throw UsageError(msg::kUsage,
                         std::string(option) + " expects NAME=VALUE or INDEX=VALUE, got '" + text + "'");
    return {text.substr(0, eq), text.substr(eq + 1)};
}

std::pair<int, Value> resolveSetting(const ParamSetting& s, const std::optional<DialogDescription>& dialog) {
    const ParamDescription* desc = nullptr;
    int index;
    if (s.index) {
        index = *s.index;
        if (dialog) desc = dialog->findByIndex(index);
    } else {
        if (!dialog)
            throw UsageError(
                msg::kUnknownParameter,
                "parameter '" + s.name + "': the block has no dialog description; set it by index with -p");
        desc = dialog->findByName(s.name);
        if (!desc) {
            std::string names;
            for (const auto& p : dialog->parameters)
                names += (names.empty() ? "" : ", ") + p.name;
            throw UsageError(msg::kUnknownParameter, "unknown parameter '" + s.name + "' of " +
                                                         dialog->block + "; parameters: " + names);
        }
        index = desc->index;
    }
    if (desc && desc->kind == ParamKind::Popup) return {index, popupValue(*desc, s.text)};
    try {
        return {index, parseValue(s.text)};
    } catch (const UsageError& e) {
        std::string who = desc ? desc->name : "parameter " + std::to_string(index);
        throw UsageError(e.messageClass(), who + ": " + e.what());
    }
}

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

namespace {

std::string dimsText(const std::vector<int32_t>& dims) {
    std::string s;
    for (size_t i = 0; i < dims.size(); ++i)
        s += (i ? "x" : "") + std::to_string(dims[i]);
    return s;
}

// What the port is offered: the first step's attributes; for a variable-size port, the largest size
// of any step. Every step must agree on type and complexity; on a fixed-size port also on size.
host::InputSpec offerOfPort(const std::vector<Signal>& frames, bool variable, size_t port) {
    const Signal& first = frames.front();
    host::InputSpec offer;
    offer.dataType = first.dataType;
    offer.complexSignal = first.complex ? 1 : 0;
    offer.dimsMode = variable ? 1 : 0;
    offer.dims = first.dims;
    for (size_t k = 1; k < frames.size(); ++k) {
        const Signal& f = frames[k];
        std::string where = "input " + std::to_string(port) + ", step " + std::to_string(k + 1);
        if (f.dataType != first.dataType || f.complex != first.complex)
            throw UsageError(msg::kUnsupportedArray,
                             where + ": " + (f.complex ? "complex " : "") + types::typeName(f.dataType) +
                                 " differs from step 1's " + (first.complex ? "complex " : "") +
                                 types::typeName(first.dataType));
        if (!variable) {
            if (f.dims != first.dims)
                throw UsageError(
                    msg::kUnsupportedArray,
                    where + ": size " + dimsText(f.dims) + " differs from step 1's " + dimsText(first.dims) +
                        "; declare the port variable-size with --variable-size " + std::to_string(port));
        } else {
            if (f.dims.size() != offer.dims.size())
                throw UsageError(msg::kUnsupportedArray, where + ": " + std::to_string(f.dims.size()) +
                                                             " dimensions where step 1 has " +
                                                             std::to_string(offer.dims.size()));
            for (size_t d = 0; d < f.dims.size(); ++d)
                offer.dims[d] = std::max(offer.dims[d], f.dims[d]);
        }
    }
    return offer;
}

Signal readOutput(host::Block& b, int32_t port) {
    host::PortInfo info = b.outputPort(port);
    Signal s;
    s.dataType = info.dataType;
    s.complex = info.complexSignal == 1;
    s.dims = b.currentOutputDims(port);
    size_t bytes = b.currentOutputBytes(port);
    const auto* p = static_cast<const uint8_t*>(b.output(port));
    s.bytes.assign(p, p + bytes);
    return s;
}

}  // namespace

RunResult runBlock(const RunPlan& plan) {
    if (plan.steps < 1) throw UsageError(msg::kUsage, "the number of steps must be at least 1");
    for (size_t port = 0; port < plan.inputs.size(); ++port) {
        size_t n = plan.inputs[port].size();
        if (n == 0) throw UsageError(msg::kInputCount, "input " + std::to_string(port) + " has no data");
        if (n != 1 && n != static_cast<size_t>(plan.steps))
            throw UsageError(msg::kInputCount, "input " + std::to_string(port) + " has " + std::to_string(n) +
                                                   " steps of data for a run of " +
                                                   std::to_string(plan.steps) + " steps");
    }
    for (const auto& [step, list] : plan.changes)
        if (step < 1 || step > plan.steps)
            throw UsageError(msg::kUsage, "a change before step " + std::to_string(step) +
                                              " lies outside the run of " + std::to_string(plan.steps) +
                                              " steps");

    std::vector<host::InputSpec> offers;
    for (size_t port = 0; port < plan.inputs.size(); ++port)
        offers.push_back(
            offerOfPort(plan.inputs[port], port < plan.variableSize.size() && plan.variableSize[port], port));
    // Resolve every change up front, so a typing mistake is reported before anything runs.
    std::map<int, std::vector<std::pair<int, Value>>> changes;
    for (const auto& [step, list] : plan.changes)
        for (const auto& s : list)
            changes[step].push_back(resolveSetting(s, plan.block.dialog));

    host::Block block(plan.block.plugin, plan.block.displayName, plan.settings);
    block.setParameters(buildParameters(plan.block.dialog, plan.params));
    block.initialize();
    int32_t ports = block.numInputPorts();
    if (static_cast<size_t>(ports) != plan.inputs.size())
        throw UsageError(msg::kInputCount, plan.block.displayName + " has " + std::to_string(ports) +
                                               " input port" + (ports == 1 ? "" : "s") +
                                               " with these parameters, but " +
                                               std::to_string(plan.inputs.size()) + " input" +
                                               (plan.inputs.size() == 1 ? " was" : "s were") + " given");
    block.propagate(offers, plan.outputRequests);
    block.start();

    RunResult result;
    for (int32_t p = 0; p < block.numOutputPorts(); ++p)
        result.outputPorts.push_back(block.outputPort(p));
    for (int step = 1; step <= plan.steps; ++step) {
        if (auto it = changes.find(step); it != changes.end())
            for (const auto& [index, value] : it->second)
                block.changeParameter(index, toHostArray(value));
        for (size_t port = 0; port < plan.inputs.size(); ++port) {
            const auto& frames = plan.inputs[port];
            const Signal& s = frames.size() == 1 ? frames[0] : frames[static_cast<size_t>(step - 1)];
            std::vector<int32_t> current = offers[port].dimsMode == 1 ? s.dims : std::vector<int32_t>{};
            block.setInput(static_cast<int32_t>(port), s.bytes.data(), s.bytes.size(), current);
        }
        block.step();
        std::vector<Signal> outs;
        for (int32_t p = 0; p < block.numOutputPorts(); ++p)
            outs.push_back(readOutput(block, p));
        result.outputs.push_back(std::move(outs));
    }
    block.terminate();
    result.warnings = block.warnings();
    return result;
}

}  // namespace dravo::cli
