// One quantisation step of the stored-integer engine with its modes known at compile time: an exact value
// r (an int64 on the grid 2^-e) brought onto the destination's grid and fitted into its word. Every
// constant depends only on the step's fraction lengths and the destination, so it is made once per step.
//
// Rounding is a bias added before the arithmetic shift, which is floor division by 2^right: the same
// decision as the library's roundUp for each mode, without a branch, so that loops of steps vectorise.
// The caller guarantees |r << left| <= 2^62 (see eigenstoredint_plan.cpp), so nothing here overflows.
#pragma once

#include <cstdint>

#include "vekfixpt.h"

namespace quobit::storedint {

// Rounding classes of the engine: the library's codes, "simplest" (never a division here) folded into
// floor.
inline constexpr int32_t roundingClass(int32_t code) {
    return code == VekDSPFixpt::kRoundSimplest ? int32_t(VekDSPFixpt::kRoundFloor) : code;
}

struct StepConst {
    int32_t left = 0, right = 0;  // one of them is 0
    int64_t half = 0;             // 2^(right-1), 0 when right is 0
    int64_t mask = 0;             // 2^right - 1
    int64_t lsb = 0;              // 1 when right > 0
    int64_t lo = 0, hi = 0;       // the destination word's range
    int32_t wrap = 0;             // 64 - word length
};

// Inputs of a sum: each operand shifted onto the finer of the two grids, then one step.
struct AddConst {
    int32_t leftA = 0, leftB = 0;
    StepConst q;
};

// The overflow code of a step whose result is known to fit its word: nothing to saturate or wrap.
inline constexpr int32_t kInRange = -1;

template <int32_t R, int32_t O>
[[gnu::always_inline]] inline int64_t quantStep(const StepConst& s, int64_t r) {
    using namespace VekDSPFixpt;
    r = int64_t(uint64_t(r) << s.left);
    int64_t q;
    if constexpr (R == kRoundFloor)
        q = r >> s.right;
    else if constexpr (R == kRoundCeiling)
        q = (r + s.mask) >> s.right;
    else if constexpr (R == kRoundNearest)
        q = (r + s.half) >> s.right;
    else if constexpr (R == kRoundZero)
        q = (r + (s.mask & (r >> 63))) >> s.right;
    else if constexpr (R == kRoundRound)
        q = (r + s.half - ((r >> 63) & s.lsb)) >> s.right;
    else  // convergent: a tie goes up only from an odd floor
        q = (r + s.half - s.lsb + ((r >> s.right) & s.lsb)) >> s.right;
    if constexpr (O == kOverflowSaturate)
        q = q < s.lo ? s.lo : (q > s.hi ? s.hi : q);
    else if constexpr (O != kInRange)
        q = int64_t(uint64_t(q) << s.wrap) >> s.wrap;
    return q;
}

template <int32_t R, int32_t O>
[[gnu::always_inline]] inline int64_t addStep(const AddConst& s, int64_t a, int64_t b) {
    return quantStep<R, O>(s.q, int64_t(uint64_t(a) << s.leftA) + int64_t(uint64_t(b) << s.leftB));
}

template <int32_t R, int32_t O>
[[gnu::always_inline]] inline int64_t subStep(const AddConst& s, int64_t a, int64_t b) {
    return quantStep<R, O>(s.q, int64_t(uint64_t(a) << s.leftA) - int64_t(uint64_t(b) << s.leftB));
}

}  // namespace quobit::storedint
