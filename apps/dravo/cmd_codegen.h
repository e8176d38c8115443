// What `dravo codegen` and `dravo sil` share: their block options and a block configured and started
// through the set-up path (the inputs fix the port sizes and types, as for `dravo run`).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "dravo/host/engine.h"
#include "setup/setup.h"

namespace CLI {
class App;
}

namespace dravo::cli {

struct CodegenOptions {
    std::string block;
    std::string name;  // the unit's name; default: the block name
    std::vector<std::string> params, sets, inputs, inputTypes, outputTypes, changes;
    std::vector<int> variableSize;
    bool dtOverride = false;
    int steps = 0;  // sil only: 0 as many as the inputs have
};

struct StartedBlock {
    setup::Plan plan;
    std::unique_ptr<host::Block> block;
    std::string unitName;  // a C identifier
    std::string blockType;
};

// forSil adds the step options (--steps, -c) that only `dravo sil` takes.
void addCodegenOptions(CLI::App& command, CodegenOptions& options, bool forSil);
// Throws UsageError / ToolError / host::BlockError like `dravo run`. A unit name that would collide with
// a file of the generated set (or, for sil, the test driver's) is a usage error before anything runs.
StartedBlock startBlockForCodegen(const CodegenOptions& options, bool forSil);

// For `dravo demo`: starts a fresh instance of a demo step's block from its plan, generates its unit into
// <outDir>/code (one shared utility unit for the whole demo) and returns a note for the table:
// "code: code/<name>.c" or "no code: <reason>". Never throws.
std::string generateDemoCode(const setup::Plan& plan, const std::string& outDir, const std::string& unitName);

}  // namespace dravo::cli
