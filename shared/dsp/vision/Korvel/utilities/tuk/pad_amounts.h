// Per-dimension pad amounts: for each working dimension an amount before and after the data (negative:
// that many elements are dropped at that end) and the output size = input size + before + after.
#pragma once

#include <cstdint>

#include "pad_settings.h"
#include "sysobj.h"

namespace pad {

enum PadAmountResult : int32_t {
    PAD_AMOUNTS_OK = 1,
    PAD_DIM_NOT_IN_SIGNAL = 2,   // a listed dimension is beyond the signal
    PAD_TRUNCATION_REFUSED = 3,  // an output would be shorter than the input and the action is "error"
    PAD_READ_FAILED = 4,         // already reported
};

struct PadAmountOutcome {
    int32_t result = PAD_AMOUNTS_OK;
    bool truncationWarning = false;  // some dimension shrinks and the action is "warning"
    bool outOfRange = false;         // a size would not fit int32 or would be negative (result 4)
};

// The working shape: the input's dimensions, except that a one-dimensional input of length n is [n 1] in
// the 2-D form and with N-D choice "columns and rows". Writes at most max(numInDims, 2) entries; returns N.
int32_t padWorkingShape(const PadSettings& p, int32_t numInDims, const int32_t* inDims, int32_t* shape);

// The amounts for a working shape of N dimensions; outDims, before and after hold N entries each.
// nextPow2: the smallest power of two not below its argument.
PadAmountOutcome computePadAmountsFromShape(const PadSettings& p, int32_t n, const int32_t* shape,
                                            int32_t* outDims, int32_t* before, int32_t* after,
                                            int32_t (*nextPow2)(int32_t));

// The block's entry: reads the dialog, allocates the three arrays with utCalloc (the caller frees them
// with utFree, also on failure), issues the truncation warning (once) and reports out-of-range sizes.
// Results 2 and 3 are left for the caller to report. *workDims ends up holding the output sizes.
int32_t computePadAmounts(sysobj::SysObjAdaptorSFun* S, int32_t numInDims, const int32_t* inDims,
                          int32_t* numWorkDims, int32_t** workDims, int32_t** before, int32_t** after);

// Reports result 2 or 3 by message class; true when result is success.
bool reportPadAmountResult(sysobj::SysObjAdaptorSFun* S, int32_t result);

}  // namespace pad
