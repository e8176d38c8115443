// One way to set a block up, shared by every caller: `dravo run`, `codegen`, `sil` and `demo`, and the
// Python module and model files. It knows nothing of the command-line parser; callers hand it text as a
// person or a file writes it, and get back a loaded, configured, started block ready to step or to
// generate code from.
//
// The path has three stages:
//   Request  what was asked, as text: the block, parameter settings, inputs, types, host settings, steps.
//   Plan     everything checked and resolved: the plug-in and its dialog description, every dialog
//            parameter as a host array, per input port its frames (one per step, or one for every step)
//            and what the port is offered, the output requests, the tunable changes per step.
//   Block    configure(plan): a host::Block initialized with the plan's parameters, propagated and started.
//            feedStep(block, plan, k) then applies step k's changes and hands the host step k's inputs.
//
// Errors are exceptions carrying a message class and one line of text (what() is the text):
//   cli::UsageError    the request cannot be meant (unknown block, parameter or type; malformed value;
//                      wrong number of inputs; a value that does not fit). The command line exits 2.
//   cli::ToolError     a file cannot be read or is malformed, or a limit is exceeded. Exit 1.
//   host::BlockError   the block or the host refused (phase, block, class, text). Exit 1.
// Nothing here prints; warnings are collected in Plan::warnings.
//
// Thread-compatible: one plan and its block are used from one thread at a time.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dialogs.h"
#include "dravo/host/engine.h"
#include "errors.h"
#include "signals.h"
#include "values.h"

namespace dravo::setup {

using cli::ToolError;
using cli::UsageError;

// One dialog parameter setting: by index (from 0) or by name (the dialog description's name, matched in
// any case and word separation), and the value as typed ("2.5", "[1 2; 3 4]", "1+2i", or a popup label).
struct ParamSetting {
    std::optional<int> index;
    std::string name;
    std::string text;
};

// ---- Option texts -------------------------------------------------------------------------------
// The syntax every caller shares, so that each command accepts and refuses the same things. Each
// throws UsageError naming `option` and the text.

// "INDEX=VALUE" (INDEX a whole number from 0).
ParamSetting parseIndexSetting(const std::string& text, const char* option = "--param");
// "NAME=VALUE".
ParamSetting parseNameSetting(const std::string& text, const char* option = "--set");
// "STEP:NAME=VALUE" or "STEP:INDEX=VALUE" (STEP from 1); returns the step.
int parseChange(const std::string& text, ParamSetting& setting);
// "[PORT=]TYPE" items (PORT a whole number from 0, default 0; TYPE a type name such as fixed:s16:12).
std::map<int, DataTypeId> parsePortTypes(const std::vector<std::string>& items, const char* option);

// ---- Request --------------------------------------------------------------------------------------

// One input port: either text (a .npy or .png file, a folder of them, files separated by commas, a
// number, or numbers separated by commas, one per step) or signals already in memory (one per step, or
// one for every step).
struct InputRequest {
    std::string text;
    std::vector<cli::Signal> signals;  // used when not empty; text then only names the input in messages
};

struct Request {
    std::string block;                     // block name, plug-in name or path of a plug-in file
    std::vector<ParamSetting> params;      // applied in order over the description's defaults
    std::vector<InputRequest> inputs;      // one per input port, in port order
    std::vector<std::string> inputTypes;   // "[PORT=]TYPE": what an input's data is
    std::vector<std::string> outputTypes;  // "[PORT=]TYPE": what a downstream block asks of an output
    std::vector<int> variableSize;         // input ports declared variable-size
    host::Settings settings;
    int steps = 0;                     // 0: as many as the longest per-step input
    std::vector<std::string> changes;  // "STEP:NAME=VALUE" / "STEP:INDEX=VALUE"
};

// ---- Plan -----------------------------------------------------------------------------------------

struct ResolvedBlock {
    std::shared_ptr<host::Plugin> plugin;
    std::optional<cli::DialogDescription> dialog;
    std::string displayName;  // the block name when described, else the plug-in name
};

// Finds the dialog description by block or plug-in name and loads the plug-in it names, or loads the
// plug-in by name or path. An unknown name is a UsageError; a described block whose plug-in cannot be
// loaded is the host's BlockError.
ResolvedBlock resolveBlock(const std::string& name);

// One step's data for one input port. A literal is held in memory; a file is looked at when the plan is
// made (a plain .npy only through its header) and read when its step comes, a plain .npy straight into
// the host's input buffer in its column-major layout. hold() keeps a file's data for a frame that serves
// every step of a run.
class Frame {
  public:
    static Frame fromSignal(cli::Signal s);
    static Frame fromFile(const std::string& path, std::optional<DataTypeId> asType,
                          std::vector<std::string>& warnings);

    DataTypeId dataType() const { return dataType_; }
    bool complex() const { return complex_; }
    const std::vector<int32_t>& dims() const { return dims_; }
    const std::string& path() const { return path_; }  // empty for a literal
    bool direct() const { return layout_.has_value() && !held_; }

    void hold();
    // The frame's data: the held copy, or the file read again (ToolError if it no longer holds what
    // the plan saw).
    std::shared_ptr<const cli::Signal> data() const;
    cli::Signal read() const { return *data(); }
    // Hands the frame to the host as the port's data for the coming step.
    void feed(host::Block& block, int32_t port, bool variableSize) const;

  private:
    DataTypeId dataType_ = -1;
    bool complex_ = false;
    std::vector<int32_t> dims_;
    std::string path_;
    std::optional<DataTypeId> asType_;
    std::optional<cli::NpyLayout> layout_;     // a plain .npy read straight into the host's buffer
    std::shared_ptr<const cli::Signal> held_;  // the data, when held
};

struct PortPlan {
    std::vector<Frame> frames;  // one per step, or one for every step
    bool variableSize = false;
    host::InputSpec offer;  // the first frame's type; for a variable-size port the largest size of any
    const Frame& frameOfStep(int step) const { return frames.size() == 1 ? frames[0] : frames.at(step - 1); }
};

struct Plan {
    ResolvedBlock block;
    std::vector<host::Array> parameters;  // every dialog parameter, defaults filled in
    std::vector<PortPlan> inputs;
    std::vector<host::OutputRequest> outputRequests;
    host::Settings settings;
    int steps = 1;
    std::map<int, std::vector<std::pair<int, host::Array>>>
        changes;                        // before step k (from 1): (index, value)
    std::vector<std::string> warnings;  // from reading the inputs
    int highestUndescribedIndex =
        -1;  // without a description: the highest index set, which the block may lack
};

// Checks the request and resolves it into a plan: option syntax and ports first, then the block, its
// parameters and the changes, then the inputs (files are read or their headers looked at). Loads the
// plug-in but does not run any of its callbacks.
Plan makePlan(const Request& request);

// Every dialog parameter: description defaults, then the settings in order (UsageError for an unknown
// name or index, a malformed value, or an integer-valued parameter whose value is out of range).
std::vector<host::Array> buildParameters(const std::optional<cli::DialogDescription>& dialog,
                                         const std::vector<ParamSetting>& settings);
host::Array toHostArray(const cli::Value& v);

// A new block instance configured from the plan: parameters set, initialized (the port count must match
// the inputs given: UsageError inputCount otherwise), propagated with the plan's offers and output
// requests, and started. instanceName defaults to the block's display name.
std::unique_ptr<host::Block> configure(const Plan& plan, const std::string& instanceName = "");

// Before step k (from 1): applies the plan's tunable changes for k, then hands each port its frame.
void feedStep(host::Block& block, const Plan& plan, int step);

// What an output port holds after a step, as a signal (a copy of the current elements).
cli::Signal readOutput(const host::Block& block, int32_t port);

}  // namespace dravo::setup
