// The specialised stored-integer engine's plan for one step: the constants of every quantisation step of
// the metric, and whether every exact intermediate fits int64 for the values this step can see (image
// container, the roles' words, the coefficients and k as they are now). When it does not, the general
// engine runs.
#pragma once

#include <cstdint>

#include "eigenstoredint_step.h"
#include "quobit/eigenstoredint.h"

namespace quobit::storedint {

struct FastPlan {
    int32_t rounding = 0;  // roundingClass of the block's mode
    int32_t overflow = 0;
    int32_t memoryBytes = 0, imageBytes = 0, outBytes = 0;
    bool imageSigned = false, harris = true;
    int32_t L = 0;
    int64_t W[64] = {};  // the 2L coefficients' stored integers
    int64_t k = 0;       // Harris: k's stored integer
    // Gradients: g = X(a); g -= X(b); products gx*gx, gy*gy, gx*gy into "Memory".
    StepConst gradFirst;
    AddConst gradSub;
    StepConst gradProduct;
    // Filter taps: p = P * w ("Product output"); acc += p ("Accumulator"); P = acc ("Memory").
    StepConst tapProduct;
    AddConst tapSum;
    StepConst tapOut;
    // The sums are on the products' grid and the coefficients fit 32 bits: a pass whose inputs are small
    // enough that no step can leave its word runs without saturation or wrap (see tapBound).
    bool tapsAligned = false;
    // Harris: sum = A + B; sq = sum^2 ("Product output") -> "Memory"; kt = sq * k; ab = A * B;
    // dd = D * D ("Product output"); t = ab - dd; t -= kt.
    // Minimum eigenvalue: diff = A - B; sq = diff^2 -> "Memory"; dd = D * D; dd4 = dd * 4; rad = dd4 + sq;
    // root; r = root -> "Memory"; sum = A + B; t = sum - r.
    AddConst sum, diff;
    StepConst square, squareToMemory, timesK, ab, dd, times4;
    AddConst minusDd, minusKt, radicand, minusRoot;
    // The root: radicand x 2^rootShift (a right shift when negative) as an integer, its floor root r, then
    // (2r + inexact) at 2^-(sqrt fraction + 3) into "Square root" and from there into "Memory".
    int32_t rootShift = 0;
    bool rootBelow52 = false;  // every shifted radicand below 2^52
    StepConst rootQuant, rootToMemory;
    StepConst output;
};

// The largest magnitude a filter pass can write (in "Memory") when its inputs are at most `largest` in
// magnitude and no product, partial sum or result can leave its word; false when one might.
bool tapBound(const FastPlan& plan, uint64_t largest, const int64_t* w, uint64_t* result);

// True when the specialised engine serves this step (the plan filled); false for the general engine.
bool makeFastPlan(const StoredIntData& d, const StoredIntTypes& t, FastPlan& plan);

// The specialised engine (processors with 256-bit vector units).
void runFastPlan(const FastPlan& plan, const StoredIntData& d);

}  // namespace quobit::storedint
