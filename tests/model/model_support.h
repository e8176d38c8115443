// Running model files and single blocks through the real dravo binary, on inputs written here.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "e2e_support.h"

namespace dravo::test {

// A scratch folder with the inputs the model tests share:
//   img.npy     uint8 7x6, pixel (r, c) = (37*r + 11*c) mod 256
//   seq/        three double 5x6 frames
//   var/        three double frames of sizes 4x5, 6x3, 5x5 (for variable-size ports)
class ModelRig {
  public:
    ModelRig();
    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    // "@/" in the text becomes this folder.
    std::string expand(const std::string& text) const;
    // Writes the model as model.json and runs `dravo model <verb> model.json` (run: --out-dir out/).
    RunOutcome model(const std::string& json, const std::string& verb = "run",
                     const std::vector<std::string>& extra = {});
    RunOutcome run(const std::vector<std::string>& args);  // `dravo ...` with "@/" expanded
    const TempDir& dir() const { return dir_; }

  private:
    TempDir dir_;
};

// `model check` rows: "c in 0" -> ("uint8 7x6", "model input").
std::map<std::string, std::pair<std::string, std::string>> checkRows(const std::string& out);

// The same type, shape and bytes (headers written by dravo either way).
::testing::AssertionResult sameNpy(const std::string& a, const std::string& b);

}  // namespace dravo::test
