// Errors of code generation. Generation never aborts the process and never throws across the library's
// interface: the first error is recorded in the active sink and makes the rest of the generation a no-op
// (builders return undefined expressions), and the caller finds the error when construction ends.
//
// Two kinds: internal checks (a block or the library itself broke a rule: file tag, line, condition text)
// and user errors (the model asks for something the target cannot express: a clear reason).
#pragma once

#include <string>

namespace CG {

struct GenError {
    bool internal = false;
    std::string file;  // source tag of an internal check, e.g. "dspcgctx"
    int line = 0;
    std::string condition;  // condition text of an internal check
    std::string reason;     // user error text
    std::string message() const;
};

class Diagnostics {
  public:
    bool failed() const { return failed_; }
    const GenError& error() const { return error_; }
    // Keeps only the first error: later ones are consequences.
    void report(GenError e);
    void clear() {
        failed_ = false;
        error_ = {};
    }

  private:
    bool failed_ = false;
    GenError error_;
};

// The sink errors go to on this thread: the innermost active scope, else a thread default.
Diagnostics& activeDiagnostics();
bool generationFailed();

class DiagnosticsScope {
  public:
    explicit DiagnosticsScope(Diagnostics& d);
    ~DiagnosticsScope();
    DiagnosticsScope(const DiagnosticsScope&) = delete;
    DiagnosticsScope& operator=(const DiagnosticsScope&) = delete;

  private:
    Diagnostics* previous_;
};

void userError(const std::string& reason);

}  // namespace CG

// The library's assertion hook: records a generation error (never aborts).
void client_assertion_failed(const char* file, int line, const char* condition);

// Internal check inside the library; records the failure and makes the enclosing function return `ret`.
#define CG_INTERNAL_ASSERT_RET(cond, ret)                                       \
    do {                                                                        \
        if (!(cond)) {                                                          \
            client_assertion_failed("codegen/" __FILE_NAME__, __LINE__, #cond); \
            return ret;                                                         \
        }                                                                       \
    } while (0)
