// What every step of `dravo demo` does alike: decide whether its block can run here, and write a file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "dialogs.h"

namespace dravo::cli {

// Why a demo step of `block` is skipped ("skipped: ..."), or empty when it can run. Only a plug-in that
// is not there is skipped; one that is there and fails to load is the step's failure.
std::string demoSkipReason(const std::string& block, const std::optional<DialogDescription>& dialog);

// One file, written all or nothing.
void writeDemoFile(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace dravo::cli
