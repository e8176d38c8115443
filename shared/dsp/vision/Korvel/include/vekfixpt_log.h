// Minimum, maximum and overflow logging of number objects.
//
// When the host's logging setting is on, every object made by FixptFactory owns an ObjectLog: one record
// for the values stored into it and two sub-records for the results of its operations (products and
// sums, under the handle's product and accumulator labels). The ObjectLog is attached to the process-wide
// LogRegistry at creation; when the object is deleted its records are merged into the registry's totals
// by label, so the host can print the report after the blocks have terminated.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>

#include "vekfixpt_types.h"

namespace VekDSPFixpt {

struct VEKFIXPT_API LogRecord {
    bool hasExtremes = false;  // min and max are valid once a value was stored
    double minValue = 0.0;
    double maxValue = 0.0;
    uint64_t wraps = 0;
    uint64_t saturations = 0;
    uint64_t divisionsByZero = 0;

    void noteValue(double v) {
        if (v != v) return;  // a NaN stored into a floating object has no place in a range
        if (!hasExtremes) {
            minValue = maxValue = v;
            hasExtremes = true;
        } else {
            if (v < minValue) minValue = v;
            if (v > maxValue) maxValue = v;
        }
    }
    void noteFlags(uint8_t flags) {
        wraps += (flags & kQuantWrapped) ? 1 : 0;
        saturations += (flags & kQuantSaturated) ? 1 : 0;
        divisionsByZero += (flags & kQuantDivByZero) ? 1 : 0;
    }
    // Adds the counters and widens the range by other's extremes.
    void merge(const LogRecord& other);
    bool operator==(const LogRecord&) const = default;
};

// The records of one object: sub-record 0 is its own values, 1 its products, 2 its sums.
struct VEKFIXPT_API ObjectLog {
    static constexpr int32_t kNumRecords = 3;
    LogRecord records[kNumRecords];
    std::string labels[kNumRecords];
};

class VEKFIXPT_API LogRegistry {
  public:
    static LogRegistry& instance();

    // Forgets the totals of earlier runs (live objects stay attached).
    void reset();
    // Totals per label: the records of deleted objects plus those of live ones. Only labels that saw a
    // value or a counted event appear.
    std::map<std::string, LogRecord> mergedByLabel() const;
    // The report the host prints: one line per label, or a line saying that nothing was logged.
    std::string formatReport() const;
    static std::string formatRecord(const std::string& label, const LogRecord& r);

    // Used by the number objects.
    void attach(const ObjectLog* log);
    void detachAndMerge(const ObjectLog* log);

  private:
    LogRegistry() = default;
    mutable std::mutex mutex_;
    std::set<const ObjectLog*> live_;
    std::map<std::string, LogRecord> totals_;
};

}  // namespace VekDSPFixpt
