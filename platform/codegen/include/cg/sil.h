// Equivalence of generated code and simulation for one started host block: the block's generator builds
// the unit, the harness builds and runs it on the same inputs the simulation steps on, and the outputs are
// compared bit for bit.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cg/harness.h"
#include "dravo/host/engine.h"

namespace TarnCG {

struct SilResult {
    bool ran = false;  // both sides produced outputs
    bool identical = false;
    bool compilerMissing = false;
    std::string error;     // generation, build or run failure
    int32_t steps = 1;     // steps compared
    int32_t step = -1;     // first differing step (counting from 0)
    int32_t port = -1;     // first differing output port
    int64_t element = -1;  // first differing element (-1: the sizes differ)
    std::string detail;    // the two values (or sizes) at the difference
    double generatedSecondsPerStep = 0.0;
    std::string verdict() const;  // the one-line verdict
};

// Generates the unit for the block (started; not yet stepped on these inputs), runs it, steps the
// simulation on the same inputs (stored bytes per port; dims for variable-size ports), compares.
SilResult runSil(dravo::host::Block& block, const std::string& instanceName, const std::string& blockType,
                 const std::vector<CG::HarnessInput>& inputs, const CG::HarnessOptions& options);

// One step of a multi-step check: the inputs, and the dialog parameters changed before it (tunable ones,
// by index, as the host changes them while running).
struct SilStep {
    std::vector<CG::HarnessInput> inputs;
    std::vector<std::pair<int32_t, dravo::host::Array>> paramChanges;
};

// The same over several steps: the simulation takes each change through the block's own parameter
// processing; the generated code gets the run-time parameters that processing produced through its
// parameter structure. Every step is compared; the verdict names the first differing step.
SilResult runSilSteps(dravo::host::Block& block, const std::string& instanceName,
                      const std::string& blockType, const std::vector<SilStep>& steps,
                      const CG::HarnessOptions& options);

// Generation alone: the unit in *handle, or false with "block '<name>': <reason>" in *error.
bool generateForBlock(dravo::host::Block& block, TarnCG::CGHandle& handle, std::string* error);

}  // namespace TarnCG
