#include "pad_amounts.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "vekdsp.h"

namespace pad {

namespace {

constexpr int64_t kMaxSize = std::numeric_limits<int32_t>::max();

// A dialog number as a whole amount; values beyond int32 are clamped so that the range check refuses them.
int64_t asAmount(double v) {
    if (!(v == v)) {
        return 0;
    }
    const double limit = 4.0 * static_cast<double>(kMaxSize);
    return static_cast<int64_t>(std::clamp(std::trunc(v), -limit, limit));
}

// A size's distance to the next power of two; -1 when that power is beyond int32.
int64_t nextPow2Gap(int64_t size, int32_t (*nextPow2)(int32_t)) {
    if (size > (int64_t{1} << 30)) {
        return -1;
    }
    return static_cast<int64_t>(nextPow2(static_cast<int32_t>(size))) - size;
}

void placeND(int32_t where, int64_t amount, int64_t& before, int64_t& after) {
    switch (where) {
        case WHERE_ND_BEFORE:
            before = amount;
            after = 0;
            break;
        case WHERE_ND_BOTH:
            before = amount / 2;
            after = amount - before;
            break;  // C division truncates toward 0
        default:
            before = 0;
            after = amount;
            break;
    }
}

void place2D(int32_t where, int64_t amount, int64_t& before, int64_t& after) {
    switch (where) {
        case WHERE2D_BEFORE:
            before = amount;
            break;
        case WHERE2D_AFTER:
            after = amount;
            break;
        case WHERE2D_BOTH:
            before = amount / 2;
            after = amount - before;
            break;
        default:
            break;
    }
}

void placePadSizes2D(int32_t where, const std::vector<double>& sizes, int64_t& before, int64_t& after) {
    const int64_t first = sizes.empty() ? 0 : asAmount(sizes[0]);
    switch (where) {
        case WHERE2D_BEFORE:
            before = first;
            break;
        case WHERE2D_AFTER:
            after = first;
            break;
        case WHERE2D_BOTH:
            before = first;
            after = sizes.size() >= 2 ? asAmount(sizes[1]) : first;
            break;
        default:
            break;
    }
}

}  // namespace

int32_t padWorkingShape(const PadSettings& p, int32_t numInDims, const int32_t* inDims, int32_t* shape) {
    const bool oneDimAsColumn = p.form == FORM_2D || p.ndChoice == DIMS_BOTH;
    if (numInDims <= 1 && oneDimAsColumn) {
        shape[0] = numInDims == 1 ? inDims[0] : 1;
        shape[1] = 1;
        return 2;
    }
    if (numInDims < 1) {
        shape[0] = 1;
        return 1;
    }
    std::copy(inDims, inDims + numInDims, shape);
    return numInDims;
}

PadAmountOutcome computePadAmountsFromShape(const PadSettings& p, int32_t n, const int32_t* shape,
                                            int32_t* outDims, int32_t* before, int32_t* after,
                                            int32_t (*nextPow2)(int32_t)) {
    PadAmountOutcome outcome;
    std::vector<int64_t> b(static_cast<size_t>(n), 0), e(static_cast<size_t>(n), 0);
    bool gapOutOfRange = false;
    auto gap = [&](int32_t dim) {
        const int64_t g = nextPow2Gap(shape[dim], nextPow2);
        gapOutOfRange = gapOutOfRange || g < 0;
        return std::max<int64_t>(g, 0);
    };

    if (p.form == FORM_ND && p.ndChoice != DIMS_LISTED) {
        int64_t f[2] = {0, 0};
        auto columnsAmount = [&]() {
            return p.sizeSwitch8 == SIZE_FROM_DIALOG ? asAmount(p.colSize) - shape[0] : gap(0);
        };
        if (p.ndChoice == DIMS_COLUMNS) {
            f[0] = columnsAmount();
        } else if (p.ndChoice == DIMS_ROWS) {
            const int32_t t = n == 1 ? 0 : 1;
            f[t] = p.sizeSwitch4 == SIZE_FROM_DIALOG ? asAmount(p.rowSize) - shape[t] : gap(t);
        } else if (p.ndChoice == DIMS_BOTH) {
            f[1] = p.sizeSwitch4 == SIZE_FROM_DIALOG ? asAmount(p.rowSize) - shape[1] : gap(1);
            f[0] = columnsAmount();
        }
        placeND(p.ndWhere, f[0], b[0], e[0]);
        if (n >= 2) {
            placeND(p.ndWhere, f[1], b[1], e[1]);
        }
    } else if (p.form == FORM_ND) {
        for (size_t i = 0; i < p.ndDims.size(); ++i) {
            const int64_t k = asAmount(p.ndDims[i]);
            if (k > n || k < 1) {
                outcome.result = PAD_DIM_NOT_IN_SIGNAL;
                return outcome;
            }
            const size_t d = static_cast<size_t>(k - 1);
            if (p.sizeSpec == SIZES_PAD) {
                b[d] = i < p.ndPadBegin.size() ? asAmount(p.ndPadBegin[i]) : 0;
                e[d] = i < p.ndPadEnd.size() ? asAmount(p.ndPadEnd[i]) : 0;
            } else {
                const int64_t f =
                    p.ndSizeSwitch == SIZE_FROM_DIALOG
                        ? (i < p.ndOutputSizes.size() ? asAmount(p.ndOutputSizes[i]) : 0) - shape[d]
                        : gap(static_cast<int32_t>(d));
                placeND(p.ndWhere, f, b[d], e[d]);
            }
        }
    } else if (p.sizeSpec == SIZES_PAD) {
        placePadSizes2D(p.colsWhere, p.colsPadSize, b[0], e[0]);
        placePadSizes2D(p.rowsWhere, p.rowsPadSize, b[1], e[1]);
    } else {
        const int64_t rows = p.rowsWhere == WHERE2D_NONE         ? 0
                             : p.sizeSwitch8 == SIZE_FROM_DIALOG ? asAmount(p.rowSize) - shape[1]
                                                                 : gap(1);
        const int64_t cols = p.colsWhere == WHERE2D_NONE         ? 0
                             : p.sizeSwitch4 == SIZE_FROM_DIALOG ? asAmount(p.colSize) - shape[0]
                                                                 : gap(0);
        place2D(p.rowsWhere, rows, b[1], e[1]);
        place2D(p.colsWhere, cols, b[0], e[0]);
    }

    for (int32_t d = 0; d < n; ++d) {
        const int64_t s = b[d] + e[d];
        if (s < 0) {
            if (p.truncationAction == TRUNC_ERROR) {
                outcome.result = PAD_TRUNCATION_REFUSED;
                return outcome;
            }
            outcome.truncationWarning = outcome.truncationWarning || p.truncationAction == TRUNC_WARNING;
        }
        const int64_t out = shape[d] + s;
        // Dropping more than a side holds would leave nothing to copy from; refuse rather than run off
        // the input.
        const bool range = out >= 0 && out <= kMaxSize && std::abs(b[d]) <= kMaxSize &&
                           std::abs(e[d]) <= kMaxSize &&
                           -std::min<int64_t>(b[d], 0) - std::min<int64_t>(e[d], 0) <= shape[d];
        if (!range) {
            outcome.outOfRange = true;
            outcome.result = PAD_READ_FAILED;
            return outcome;
        }
        before[d] = static_cast<int32_t>(b[d]);
        after[d] = static_cast<int32_t>(e[d]);
        outDims[d] = static_cast<int32_t>(out);
    }
    int64_t total = 1;
    for (int32_t d = 0; d < n && total <= kMaxSize; ++d) {
        total *= outDims[d];
    }
    if (gapOutOfRange || total > kMaxSize) {
        outcome.outOfRange = true;
        outcome.result = PAD_READ_FAILED;
    }
    return outcome;
}

int32_t computePadAmounts(sysobj::SysObjAdaptorSFun* S, int32_t numInDims, const int32_t* inDims,
                          int32_t* numWorkDims, int32_t** workDims, int32_t** before, int32_t** after) {
    const PadSettings p = readPadSettings(S);
    const size_t capacity = static_cast<size_t>(std::max(numInDims, 2));
    *workDims = static_cast<int32_t*>(sysobj::utCalloc(capacity, sizeof(int32_t)));
    *before = static_cast<int32_t*>(sysobj::utCalloc(capacity, sizeof(int32_t)));
    *after = static_cast<int32_t*>(sysobj::utCalloc(capacity, sizeof(int32_t)));
    if (*workDims == nullptr || *before == nullptr || *after == nullptr) {
        sysobj::ssSetErrorStatus(S, "Out of memory while computing the pad amounts.");
        return PAD_READ_FAILED;
    }
    const int32_t n = padWorkingShape(p, numInDims, inDims, *workDims);
    *numWorkDims = n;
    std::vector<int32_t> shape(*workDims, *workDims + n);
    const PadAmountOutcome outcome = computePadAmountsFromShape(p, n, shape.data(), *workDims, *before,
                                                                *after, &VekSimCommon::getNextPow2);
    if (outcome.outOfRange) {
        reportPadAmountResult(S, PAD_READ_FAILED);
        return PAD_READ_FAILED;
    }
    if (outcome.result == PAD_AMOUNTS_OK && outcome.truncationWarning) {
        VekSimCommon::dspWarning(S, "dspshared::system::padOutSzLTInSzW");
    }
    return outcome.result;
}

bool reportPadAmountResult(sysobj::SysObjAdaptorSFun* S, int32_t result) {
    switch (result) {
        case PAD_AMOUNTS_OK:
            return true;
        case PAD_DIM_NOT_IN_SIGNAL:
            VekSimCommon::dspError(S, "dspshared::system::padDimsNotInSignal");
            return false;
        case PAD_TRUNCATION_REFUSED:
            VekSimCommon::dspError(S, "dspshared::system::padOutSzLTInSz");
            return false;
        default:
            if (sysobj::ssGetErrorStatus(S) == nullptr) {
                sysobj::ssSetErrorStatus(S,
                                         "The pad settings give an output size that is negative, drop more "
                                         "elements than the input has, or exceed 2^31-1 elements.");
            }
            return false;
    }
}

}  // namespace pad
