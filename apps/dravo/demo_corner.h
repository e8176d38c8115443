// The corner metric steps of `dravo demo`.
#pragma once

#include <string>
#include <vector>

namespace dravo::cli {

// Runs the corner metric on the demo scene (Harris and minimum eigenvalue on the double scene, Harris on
// its 8-bit version through the fixed-point path), writes each metric exactly as .npy and, beside it, a
// PNG for the eye, and adds one table row (and one settings line) per step. Failed steps count in
// `failures`; a missing plug-in or description skips the steps with a note.
void runCornerDemoSteps(const std::string& outDir, std::vector<std::vector<std::string>>& rows,
                        std::vector<std::string>& settingLines, int& failures);

}  // namespace dravo::cli
