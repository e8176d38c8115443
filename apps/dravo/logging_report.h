// The fixed-point library's min/max/overflow records, merged per label, printed after `run --logging`.
#pragma once

#include <iosfwd>

namespace dravo::cli {

void resetLoggingReport();
void printLoggingReport(std::ostream& out);

}  // namespace dravo::cli
