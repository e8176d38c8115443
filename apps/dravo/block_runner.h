// Runs one block instance over one or more steps: the part of `dravo run` that the demo shares.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dialogs.h"
#include "dravo/host/engine.h"
#include "signals.h"
#include "values.h"

namespace dravo::cli {

// Parameter settings as typed: by index (-p) or by name (-s), in the order given.
struct ParamSetting {
    std::optional<int> index;  // set for -p
    std::string name;          // set for -s
    std::string text;          // the VALUE
};

// The loaded plug-in with its dialog description (if there is one).
struct ResolvedBlock {
    std::shared_ptr<host::Plugin> plugin;
    std::optional<DialogDescription> dialog;
    std::string displayName;  // the block name when known, else the plug-in name
};

// Finds the description and loads the plug-in. An unknown name is a usage error; a block with a
// description whose plug-in cannot be loaded is the host's error (exit 1).
ResolvedBlock resolveBlock(const std::string& name);

// "INDEX=VALUE" / "NAME=VALUE" split at the first '='; UsageError when there is none.
std::pair<std::string, std::string> splitAssignment(const std::string& text, const char* option);

// The value a setting means for its parameter (popups by label, names through the description).
// Returns (index, value). UsageError for an unknown name or a malformed value.
std::pair<int, Value> resolveSetting(const ParamSetting& s, const std::optional<DialogDescription>& dialog);

// Every dialog parameter: description defaults, then the settings in order. Indices up to the highest
// one described or set; gaps are empty arrays.
std::vector<host::Array> buildParameters(const std::optional<DialogDescription>& dialog,
                                         const std::vector<ParamSetting>& settings);
host::Array toHostArray(const Value& v);

struct RunPlan {
    ResolvedBlock block;
    std::vector<ParamSetting> params;
    host::Settings settings;
    // Per input port, the signal of each step (one entry: the same every step).
    std::vector<std::vector<Signal>> inputs;
    std::vector<bool> variableSize;  // per input port
    std::vector<host::OutputRequest> outputRequests;
    int steps = 1;
    // Before step k (from 1): tunable changes, applied in order.
    std::map<int, std::vector<ParamSetting>> changes;
};

struct RunResult {
    std::vector<std::vector<Signal>> outputs;  // per step, per output port
    std::vector<host::Warning> warnings;
    std::vector<host::PortInfo> outputPorts;
};

// Throws host::BlockError from the block, UsageError/ToolError for what the plan gets wrong.
RunResult runBlock(const RunPlan& plan);

}  // namespace dravo::cli
