// Temporary files and folders that must not outlive the command: each is registered while it exists,
// and SIGINT, SIGTERM or SIGHUP removes every registered one before the process dies of the signal
// (so the shell sees the usual 128+signal status).
#pragma once

#include <cstdint>
#include <string>

namespace dravo::cli {

enum class Removal {
    File,
    Tree,         // a folder with everything in it
    EmptyFolder,  // a folder, only if nothing is left in it
};

// Registers a path. On an interrupt the latest registrations go first (files before their folders).
// The handlers are installed on the first registration, except for a signal the process was started
// ignoring.
uint64_t removeOnInterrupt(const std::string& path, Removal how);
// Forgets a registration (the path was committed or removed by the caller).
void keepOnInterrupt(uint64_t token);

// Holds SIGINT, SIGTERM and SIGHUP back for its lifetime; one that arrives meanwhile is delivered at
// the end. Used where a half-done step would leave worse debris than finishing it (renames).
class InterruptsHeld {
  public:
    InterruptsHeld();
    ~InterruptsHeld();
    InterruptsHeld(const InterruptsHeld&) = delete;
    InterruptsHeld& operator=(const InterruptsHeld&) = delete;

  private:
    uint64_t saved_[16];
};

// A fresh private folder (mode 0700, made by mkdtemp under $TMPDIR or /tmp) removed, with what it
// holds, by the destructor and on an interrupt.
class PrivateTempFolder {
  public:
    explicit PrivateTempFolder(const std::string& prefix);
    ~PrivateTempFolder();
    PrivateTempFolder(const PrivateTempFolder&) = delete;
    PrivateTempFolder& operator=(const PrivateTempFolder&) = delete;
    const std::string& path() const { return path_; }

  private:
    std::string path_;
    uint64_t token_ = 0;
};

// Removes a folder and everything under it (symbolic links are removed, never followed).
// Async-signal-safe; returns false when something stayed.
bool removeTreeNoFollow(const char* path);

}  // namespace dravo::cli
