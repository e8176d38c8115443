#include "cg/diagnostics.h"

namespace CG {

std::string GenError::message() const {
    if (internal)
        return "internal code-generation check failed at " + file + ":" + std::to_string(line) + ": " +
               condition;
    return reason;
}

void Diagnostics::report(GenError e) {
    if (failed_) return;
    failed_ = true;
    error_ = std::move(e);
}

namespace {
thread_local Diagnostics threadDefault;
thread_local Diagnostics* current = nullptr;
}  // namespace

Diagnostics& activeDiagnostics() {
    return current ? *current : threadDefault;
}
// Outside a scope nothing is being generated: a stray error there must not silence later generations.
bool generationFailed() {
    return current != nullptr && current->failed();
}

DiagnosticsScope::DiagnosticsScope(Diagnostics& d) : previous_(current) {
    current = &d;
}
DiagnosticsScope::~DiagnosticsScope() {
    current = previous_;
}

void userError(const std::string& reason) {
    GenError e;
    e.reason = reason;
    activeDiagnostics().report(std::move(e));
}

}  // namespace CG

void client_assertion_failed(const char* file, int line, const char* condition) {
    CG::GenError e;
    e.internal = true;
    e.file = file ? file : "";
    e.line = line;
    e.condition = condition ? condition : "";
    CG::activeDiagnostics().report(std::move(e));
}
