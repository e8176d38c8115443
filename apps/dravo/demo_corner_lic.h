// The local intensity comparison steps of `dravo demo`: the corner metric block's method 3 on the gray
// scene, in double and in uint8.
#pragma once

#include <string>
#include <vector>

namespace dravo::cli {

// Writes corner-lic*.png (the metric scaled for display) and corner-lic*.npy (the exact output) into
// outDir, adds one row per step to the demo's table (FILE, BLOCK, WHAT, INPUT, OUTPUT, NOTE) and the
// settings used; returns the number of failed steps.
int runCornerLicDemo(const std::string& outDir, std::vector<std::vector<std::string>>& rows,
                     std::vector<std::string>& settingLines);

}  // namespace dravo::cli
