// The contrast adjustment steps of `dravo demo`: a deliberately low-contrast version of the gray scene,
// stretched back by the contrast block (double, and uint8 through the block's look-up table).
#pragma once

#include <string>
#include <vector>

namespace dravo::cli {

// Writes contrast-before*.png and contrast-after*.png into outDir, adds one row per file to the demo's
// table (FILE, BLOCK, WHAT, INPUT, OUTPUT, NOTE) and the settings used; returns the number of failed steps.
int runContrastDemo(const std::string& outDir, std::vector<std::vector<std::string>>& rows,
                    std::vector<std::string>& settingLines);

}  // namespace dravo::cli
