#include "logging_report.h"

#include <ostream>

namespace dravo::cli {

// Hooked to the fixed-point library's records once that library is part of the build.
void resetLoggingReport() {}

void printLoggingReport(std::ostream& out) { out << "fixed-point logging: no records (fixed-point library not built)\n"; }

}  // namespace dravo::cli
