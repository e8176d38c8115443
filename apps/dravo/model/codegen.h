// A model as C: one unit per block instance (as `dravo codegen` makes for one block), and a model unit
// whose model_step runs them in dependency order with the connection buffers as static storage.
//
//   void model_initialize(void);
//   void model_apply_changes(int32_t step);   the model file's parameter changes for that step (from 1)
//   void model_step(<model inputs, in file order>, <model outputs, in file order>);
//   void model_terminate(void);
//
// A model input is `const T* in_<inst>_<port>` (and `const int32_t* in_<inst>_<port>_dims` when its size
// varies); a model output `T* out_<inst>_<port>` (and `int32_t* out_<inst>_<port>_dims`). A connected
// output that is also a model output is written straight into the caller's buffer.
#pragma once

#include <string>
#include <vector>

#include "cg/emit_c.h"
#include "model.h"

namespace dravo::model {

// The blocks of `built` must be started and not yet stepped. Throws ToolError naming the instance when a
// block's generation fails, UsageError for what model code cannot hold (a tunable parameter whose size a
// change alters, an instance whose C name collides with another's or with a file of the set). The
// blocks are given the file's parameter changes (not stepped) to learn the values at each change step.
std::vector<CG::EmittedFile> generateModelCode(const Model& m, BuiltModel& built);

// The files include main.c: `prog STEPS FILES...` reads each model input of each step from a .npy file
// (C or Fortran order; its shape gives a variable-size input its current sizes), steps, and writes each
// model output as a Fortran-order .npy of its current size.

struct SilOutcome {
    bool identical = false;
    int steps = 0;
    int outputs = 0;
    std::string difference;  // the first: step, output, element or size
};

// Generates the model, builds it with the system C compiler, runs it over the model's inputs, steps
// the simulation on the same inputs and compares every model output at every step bit for bit.
// workDir: where the files go (created; kept). Throws ToolError when generation, the build or the run fails.
SilOutcome runModelSil(const Model& m, BuiltModel& built, const std::string& workDir);

}  // namespace dravo::model
