// The model step of `dravo demo`: the camera example model (convert to fixed point, contrast stretch,
// rotate, pad) run on the demo's 8-bit scene, with the model file, its input, its outputs and its
// generated C left in the demo folder so that `dravo model run` can repeat it.
#pragma once

#include <string>
#include <vector>

namespace dravo::cli {

// Writes model-camera/ into outDir, adds one row to the demo's table (FILE, BLOCK, WHAT, INPUT, OUTPUT,
// NOTE) and the command that repeats it; returns the number of failed steps (0 or 1).
int runModelDemo(const std::string& outDir, std::vector<std::vector<std::string>>& rows,
                 std::vector<std::string>& settingLines);

}  // namespace dravo::cli
