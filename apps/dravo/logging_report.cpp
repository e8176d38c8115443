#include "logging_report.h"

#include <ostream>

#ifdef DRAVO_HAVE_FIXPT
#include "vekfixpt_log.h"
#endif

namespace dravo::cli {

#ifdef DRAVO_HAVE_FIXPT

// The plug-ins and dravo share one copy of the fixed-point library, so its registry holds what every
// block instance of this run logged.
void resetLoggingReport() {
    VekDSPFixpt::LogRegistry::instance().reset();
}

void printLoggingReport(std::ostream& out) {
    out << "fixed-point logging (min, max, overflows per label):\n"
        << VekDSPFixpt::LogRegistry::instance().formatReport();
    out.flush();
}

#else

void resetLoggingReport() {}

void printLoggingReport(std::ostream& out) {
    out << "fixed-point logging: this dravo was built without the fixed-point library\n";
}

#endif

}  // namespace dravo::cli
