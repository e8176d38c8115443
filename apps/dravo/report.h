// What dravo tells a person: errors and warnings on stderr in one fixed form, tables and arrays on stdout.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "dravo/host/engine.h"
#include "signals.h"

namespace dravo::cli {

// "error: <text> [<message class>]" (no brackets when there is no class); one line.
void reportError(const std::string& text, const std::string& messageClass);
// "warning: <text> [<message class>]".
void reportWarning(const std::string& text, const std::string& messageClass = "");
void reportWarnings(const std::vector<host::Warning>& warnings);

// Left-aligned columns; the first row is the heading.
void printTable(std::ostream& out, const std::vector<std::vector<std::string>>& rows);

// "double 3x4", "complex single 2x2x3".
std::string describeSignal(const Signal& s);
// The type, size and (for small signals) the values, rows first.
void printSignal(std::ostream& out, const Signal& s);

}  // namespace dravo::cli
