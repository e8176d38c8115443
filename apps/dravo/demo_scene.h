// The demo's test scene, drawn by the program itself: a gradient background with a rectangle, a
// triangle and a shaded disc, so that corners, straight and curved edges and smooth ramps all appear.
#pragma once

#include <string>

#include "signals.h"

namespace dravo::cli {

inline constexpr int kSceneRows = 120;
inline constexpr int kSceneCols = 160;

// name: "gray" (double, rows x cols, values in [0, 1]), "gray8" (the gray scene in uint8, for the
// blocks' integer paths) or "rgb" (double, rows x cols x 3). Throws std::invalid_argument otherwise.
Signal drawScene(const std::string& name);

}  // namespace dravo::cli
