// Output files written all or nothing: each file goes to a temporary name beside its destination, and
// only commit() renames them into place. Whatever was not committed is removed, so an error leaves no
// output (neither a half-written one nor earlier steps' files).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace dravo::cli {

class PendingOutputs {
  public:
    PendingOutputs() = default;
    PendingOutputs(const PendingOutputs&) = delete;
    PendingOutputs& operator=(const PendingOutputs&) = delete;
    ~PendingOutputs();

    // Writes the bytes to a temporary file next to `path` (ToolError unwritableFile on failure).
    void add(const std::string& path, const std::vector<uint8_t>& bytes);
    // The same with the writing left to `write`, given the temporary file's descriptor (for data written
    // in pieces straight from where it lies).
    void addWith(const std::string& path, const std::function<void(int fd)>& write);
    // Renames every temporary file into place (creating no folders).
    void commit();

  private:
    std::vector<std::pair<std::string, std::string>> pending_;  // (temporary, final)
};

// The file of one step: "out_%03d.png" is formatted with the step number; otherwise "_0001" (the step
// number, from 1) goes before the extension. With one step the path is used as given.
std::string stepOutputPath(const std::string& path, int step, int steps);

}  // namespace dravo::cli
