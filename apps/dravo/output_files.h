// Output files written all or nothing: each file goes to a temporary name beside its destination, and
// only commit() renames them into place. Whatever was not committed is removed (also on SIGINT, SIGTERM
// and SIGHUP), so an error leaves no output: neither a half-written one nor earlier steps' files. When a
// rename fails halfway through commit(), the files already replaced get their old contents back.
//
// A destination that is a symbolic link or a folder is refused; an existing file keeps its mode.
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
    // Removes every temporary file (what the destructor does).
    void discard();

  private:
    struct Pending {
        std::string tmp, final;
        uint64_t token = 0;  // interrupt registration of tmp
    };
    std::vector<Pending> pending_;
};

// A folder for outputs: the missing parts of the path are made by the constructor and, unless keep()
// was called, removed again by the destructor when still empty (a failed command leaves no new folder).
class OutputFolder {
  public:
    explicit OutputFolder(const std::string& path);
    ~OutputFolder();
    OutputFolder(const OutputFolder&) = delete;
    OutputFolder& operator=(const OutputFolder&) = delete;
    void keep();

  private:
    std::vector<std::string> made_;  // innermost last
    std::vector<uint64_t> tokens_;
};

// Refuses a destination dravo would not write by rename: a folder or a symbolic link (ToolError
// unwritableFile naming the path). A missing path or a regular file passes.
void checkOutputPath(const std::string& path);

// The temporary name beside `path` that add() uses, without the random suffix: "DIR/.BASE.tmp", with BASE
// shortened so that the whole name with its six-character suffix stays within the name limit.
std::string temporaryStem(const std::string& path);

// The file of one step: "out_%03d.png" is formatted with the step number; otherwise "_0001" (the step
// number, from 1) goes before the extension. With one step the path is used as given.
std::string stepOutputPath(const std::string& path, int step, int steps);

}  // namespace dravo::cli
