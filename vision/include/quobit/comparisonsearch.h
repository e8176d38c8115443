// The circle of the local intensity comparison metric and its coarse-to-fine arc search.
//
// Positions 0..15 run round a circle of radius 3; the circle table holds their element offsets twice
// (positions 16..31 repeat 0..15) so that an arc that wraps past position 15 is a plain index range.
// The search works on a 16-bit pattern of qualifying positions (bit i: position i is brighter, or
// darker, than the pixel's limit); it tests only the positions the step and offset tables name, so
// untested positions inside an accepted arc are taken as they are.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "quobit/comparisonscreen.h"

namespace quobit {

inline constexpr int32_t kCircleLength = 16;
inline constexpr int32_t kCircleTableLength = 2 * kCircleLength;
inline constexpr int32_t kArcSpan = 15;  // largest arc that leaves one position out
inline constexpr int32_t kSearchPasses = 3;
inline constexpr int32_t kSearchSteps[kSearchPasses] = {8, 4, 2};
inline constexpr int32_t kSearchOffsets[kSearchPasses] = {3, 1, 0};
// The band of rows and columns on every side whose pixels have no full circle and keep 0.
inline constexpr int32_t kCircleRadius = 3;

enum class ArcVerdict : uint8_t {
    NotStarted,  // neither position 0 nor position 8 qualifies
    Failed,      // a tested position split the arc below the limit
    Accepted,    // [lo, hi] (indices into the doubled table) is the arc
};

// The arc search for one pixel and one test. `qualifies` holds one bit per position; arcLimit is the
// count limit A (9..15); step and offset are the search tables (kSearchPasses entries each).
inline ArcVerdict searchArc(uint32_t qualifies, int32_t arcLimit, const int32_t* step, const int32_t* offset,
                            int32_t* arcLo, int32_t* arcHi) {
    const bool at0 = (qualifies & 1u) != 0;
    const bool at8 = (qualifies & (1u << 8)) != 0;
    if (!at0 && !at8) return ArcVerdict::NotStarted;
    // Doubled so that bit i answers for position i in 0..31.
    const uint32_t doubled = (qualifies & 0xFFFFu) | ((qualifies & 0xFFFFu) << kCircleLength);
    int32_t lo, hi;
    bool open;
    if (at0 && at8) {
        lo = 1, hi = kCircleLength, open = true;
    } else if (at0) {
        lo = 9, hi = 9 + kArcSpan - 1, open = false;
    } else {
        lo = 1, hi = kArcSpan, open = false;
    }
    for (int32_t k = 0; k < kSearchPasses; ++k) {
        for (int32_t i = lo + offset[k]; i <= hi; i += step[k]) {
            if ((doubled >> i) & 1u) continue;
            if (open) {
                lo = i + 1, hi = i + kArcSpan, open = false;
            } else if (hi - i < i - lo) {
                if (i - lo < arcLimit) return ArcVerdict::Failed;
                hi = i - 1;
            } else {
                if (hi - i < arcLimit) return ArcVerdict::Failed;
                lo = i + 1;
            }
        }
    }
    *arcLo = lo;
    *arcHi = hi;
    return ArcVerdict::Accepted;
}

// The outcome of searchArc for all 65,536 patterns of one arc limit and search schedule, so that a pixel's
// search is one look-up. Built outside the step (it allocates); a table that does not match the call's
// limit and schedule is not used.
class ArcTable {
  public:
    void build(int32_t arcLimit, const int32_t* step, const int32_t* offset) {
        entries_.resize(size_t(1) << kCircleLength);
        ArcScreenBuilder screen;
        for (uint32_t pattern = 0; pattern < entries_.size(); ++pattern) {
            int32_t lo = 0, hi = 0;
            const ArcVerdict v = searchArc(pattern, arcLimit, step, offset, &lo, &hi);
            if (v == ArcVerdict::Accepted) screen.accept(pattern);
            entries_[pattern] = v == ArcVerdict::Accepted ? uint16_t(kAccepted | lo | (hi << 5))
                                                          : uint16_t(v == ArcVerdict::Failed ? 1 : 0);
        }
        screen_ = screen.screen();
        arcLimit_ = arcLimit;
        std::memcpy(step_, step, sizeof step_);
        std::memcpy(offset_, offset, sizeof offset_);
    }
    bool matches(int32_t arcLimit, const int32_t* step, const int32_t* offset) const {
        return !entries_.empty() && arcLimit == arcLimit_ && std::memcmp(step, step_, sizeof step_) == 0 &&
               std::memcmp(offset, offset_, sizeof offset_) == 0;
    }
    [[gnu::always_inline]] ArcVerdict lookup(uint32_t pattern, int32_t* lo, int32_t* hi) const {
        const uint16_t e = entries_[pattern & 0xFFFFu];
        if (!(e & kAccepted)) return e ? ArcVerdict::Failed : ArcVerdict::NotStarted;
        *lo = e & 31;
        *hi = (e >> 5) & 31;
        return ArcVerdict::Accepted;
    }

    // Which pixels can pass this search (see comparisonscreen.h).
    const ArcScreen& screen() const { return screen_; }

  private:
    static constexpr uint16_t kAccepted = 0x8000;
    std::vector<uint16_t> entries_;
    ArcScreen screen_;
    int32_t arcLimit_ = -1;
    int32_t step_[kSearchPasses] = {};
    int32_t offset_[kSearchPasses] = {};
};

// The rest of the circle after an arc [lo, hi]: positions restFrom..restTo (inclusive, empty when
// restFrom > restTo), again as indices into the doubled table.
inline void restOfCircle(int32_t lo, int32_t hi, int32_t* restFrom, int32_t* restTo) {
    if (hi < kCircleLength)
        lo += kCircleLength;
    else
        hi -= kCircleLength;
    *restFrom = hi + 1;
    *restTo = lo - 1;
}

}  // namespace quobit
