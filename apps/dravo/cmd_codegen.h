// What `dravo codegen` and `dravo sil` share: their block options and a block configured and started
// from them (the inputs fix the port sizes and types, as for `dravo run`).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "dravo/host/engine.h"
#include "signals.h"

namespace CLI {
class App;
}

namespace dravo::cli {

struct CodegenOptions {
    std::string block;
    std::string name;  // the unit's name; default: the block name
    std::vector<std::string> params, sets, inputs, inputTypes;
    std::vector<int> variableSize;
    bool dtOverride = false;
};

struct StartedBlock {
    std::unique_ptr<host::Block> block;
    std::vector<Signal> inputs;      // one per input port
    std::vector<bool> variableSize;  // per input port
    std::string unitName;            // a C identifier
    std::string blockType;
};

void addCodegenOptions(CLI::App& command, CodegenOptions& options);
// Throws UsageError / ToolError / host::BlockError like `dravo run`.
StartedBlock startBlockForCodegen(const CodegenOptions& options);

struct RunPlan;
// For `dravo demo`: starts a fresh instance of a demo step's block (its first input frames), generates its
// unit into <outDir>/code (one shared utility unit for the whole demo) and returns a note for the table:
// "code: code/<name>.c" or "no code: <reason>". Never throws.
std::string generateDemoCode(const RunPlan& plan, const std::string& outDir, const std::string& unitName);

}  // namespace dravo::cli
