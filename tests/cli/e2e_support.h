// Runs the real dravo binary and captures its exit status, stdout and stderr.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "test_files.h"

namespace dravo::test {

struct RunOutcome {
    int status = -1;  // exit status; 128+signal when killed by a signal
    std::string out, err;
};

// env: extra NAME=VALUE entries for the child's environment.
RunOutcome runDravo(const std::vector<std::string>& args, const std::vector<std::string>& env = {});

// The error line has the fixed form "error: <text> [<class>]" and is the only line on stderr.
bool isOneErrorLine(const std::string& err, const std::string& messageClass);

// Test-side reading of the .npy files dravo writes: descr, shape text and data bytes.
struct NpyFile {
    std::string descr;
    bool fortran = false;
    std::string shape;
    std::vector<uint8_t> data;
};
NpyFile parseNpyFile(const std::vector<uint8_t>& bytes);

}  // namespace dravo::test
