// The equivalence harness in library form: emits a unit, writes a main program that reads the inputs
// from files, runs start/step/terminate and writes the outputs, builds it all with the system C compiler
// (-std=c99 -Wall -Wextra -Werror) and runs it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "cg/unit.h"

namespace CG {

struct HarnessInput {
    std::vector<uint8_t> bytes;  // stored elements, column-major, interleaved when complex
    std::vector<int32_t> dims;   // current dimensions (variable-size ports)
};

struct HarnessOutput {
    std::vector<uint8_t> bytes;  // the current elements only
    std::vector<int32_t> dims;   // current dimensions
};

// One step of a multi-step run: the step's inputs and the tunable run-time parameters to change before it
// (a change holds for the later steps too).
struct HarnessStep {
    std::vector<HarnessInput> inputs;  // port order
    // Run-time parameter index (into BlockDesc::rtps, tunable ones only) -> the whole parameter's new
    // stored values, in the parameter's type.
    std::map<int32_t, std::vector<uint8_t>> params;
};

struct HarnessOptions {
    std::string workDir;   // created if missing; the files stay there for inspection
    std::string compiler;  // empty: $CC, else cc, else the compiler the project was built with
    bool sanitize =
        false;  // -fsanitize=undefined, aborting on the first report (and address in a sanitized build)
    // Builds with -DDVRT_PORTABLE_INT: the 128-bit helpers use two 64-bit words even where the compiler
    // has a 128-bit integer (the path of targets without one).
    bool portableInt = false;
    std::vector<std::string> extraFlags;
    int32_t repeat = 1;  // steps to run (timing); outputs are those of the last step
};

struct HarnessResult {
    bool ok = false;
    bool compilerMissing = false;
    std::string error;  // what went wrong (generation, build, run)
    std::string buildLog;
    std::vector<HarnessOutput> outputs;                   // of the last step
    std::vector<std::vector<HarnessOutput>> stepOutputs;  // of every step, in step order
    double secondsPerStep = 0.0;                          // mean over the timed steps
    double bestSecondsPerStep = 0.0;                      // fastest timed step
    int32_t sizeCheckFailures = 0;
};

// The C compiler to use ("" when none can be found).
std::string findCCompiler(const std::string& preferred = {});

// The unit must be complete (generation succeeded). Inputs in port order.
HarnessResult buildAndRun(const Unit& unit, const std::vector<HarnessInput>& inputs,
                          const HarnessOptions& options);
// Several steps in one run of the unit (start once, the steps in order, terminate once): each step's
// inputs, with its parameter changes applied through the unit's parameter structure before it. With
// repeat > 1 the last step is the one timed.
HarnessResult buildAndRunSteps(const Unit& unit, const std::vector<HarnessStep>& steps,
                               const HarnessOptions& options);

}  // namespace CG
