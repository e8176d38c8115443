#include <cstdio>
#include <sstream>

#include "vekfixpt_log.h"

namespace VekDSPFixpt {

void LogRecord::merge(const LogRecord& other) {
    wraps += other.wraps;
    saturations += other.saturations;
    divisionsByZero += other.divisionsByZero;
    if (other.hasExtremes) {
        noteValue(other.minValue);
        noteValue(other.maxValue);
    }
}

namespace {

bool worthReporting(const LogRecord& r) {
    return r.hasExtremes || r.wraps || r.saturations || r.divisionsByZero;
}

void mergeInto(std::map<std::string, LogRecord>& into, const ObjectLog& log) {
    for (int32_t i = 0; i < ObjectLog::kNumRecords; ++i) {
        if (!worthReporting(log.records[i])) continue;
        into[log.labels[i]].merge(log.records[i]);
    }
}

}  // namespace

LogRegistry& LogRegistry::instance() {
    static LogRegistry registry;
    return registry;
}

void LogRegistry::reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    totals_.clear();
}

void LogRegistry::attach(const ObjectLog* log) {
    std::lock_guard<std::mutex> lock(mutex_);
    live_.insert(log);
}

void LogRegistry::detachAndMerge(const ObjectLog* log) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (live_.erase(log) == 0) return;
    mergeInto(totals_, *log);
}

std::map<std::string, LogRecord> LogRegistry::mergedByLabel() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::map<std::string, LogRecord> merged = totals_;
    for (const ObjectLog* log : live_)
        mergeInto(merged, *log);
    return merged;
}

std::string LogRegistry::formatRecord(const std::string& label, const LogRecord& r) {
    std::ostringstream out;
    out << label << ": ";
    if (r.hasExtremes) {
        char range[96];
        std::snprintf(range, sizeof range, "min %.17g, max %.17g", r.minValue, r.maxValue);
        out << range;
    } else {
        out << "no values";
    }
    out << ", wraps " << r.wraps << ", saturations " << r.saturations << ", divisions by zero "
        << r.divisionsByZero;
    return out.str();
}

std::string LogRegistry::formatReport() const {
    const std::map<std::string, LogRecord> merged = mergedByLabel();
    if (merged.empty()) return "Min/max/overflow log: nothing logged\n";
    std::string text = "Min/max/overflow log:\n";
    for (const auto& [label, record] : merged)
        text += "  " + formatRecord(label, record) + "\n";
    return text;
}

}  // namespace VekDSPFixpt
