// Errors of the command-line tool itself. A UsageError means the command was asked for something that
// cannot be meant (exit status 2); a ToolError is a failure of a file or of the host (exit status 1).
// Block errors come from the host as dravo::host::BlockError and also give exit status 1.
#pragma once

#include <stdexcept>
#include <string>

namespace dravo::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

class ToolError : public std::runtime_error {
  public:
    ToolError(std::string messageClass, const std::string& text)
        : std::runtime_error(text), messageClass_(std::move(messageClass)) {}
    const std::string& messageClass() const { return messageClass_; }

  private:
    std::string messageClass_;
};

class UsageError : public ToolError {
  public:
    UsageError(std::string messageClass, const std::string& text)
        : ToolError(std::move(messageClass), text) {}
};

// Message classes of the tool's own errors.
namespace msg {
inline constexpr const char* kUsage = "dravo::cli::usage";
inline constexpr const char* kBadValue = "dravo::cli::badValue";
inline constexpr const char* kUnknownBlock = "dravo::cli::unknownBlock";
inline constexpr const char* kUnknownParameter = "dravo::cli::unknownParameter";
inline constexpr const char* kBadDialogDescription = "dravo::cli::badDialogDescription";
inline constexpr const char* kInputCount = "dravo::cli::inputCount";
inline constexpr const char* kUnreadableFile = "dravo::cli::unreadableFile";
inline constexpr const char* kMalformedFile = "dravo::cli::malformedFile";
inline constexpr const char* kUnsupportedArray = "dravo::cli::unsupportedArray";
inline constexpr const char* kUnwritableFile = "dravo::cli::unwritableFile";
inline constexpr const char* kUnsupportedOutput = "dravo::cli::unsupportedOutput";
inline constexpr const char* kOutOfMemory = "dravo::cli::outOfMemory";
}  // namespace msg

}  // namespace dravo::cli
