// The fixed-point eigenvalue metrics on stored integers: the same sequence as the Fixpt member (see
// eigenvaluecornermetric.cpp), each step an exact integer result quantised once by the fixed-point
// library's own quantiseFast into the step's type, without building number objects. Used when nothing is
// logged and every type the method uses is fixed point of at most 62 bits with fraction lengths within 60
// of each other (so every exact product and aligned sum fits 128 bits); otherwise the Fixpt member runs.
#pragma once

#include <cstdint>

#include "quobit/roles.h"
#include "vekfixpt.h"

namespace quobit {

struct StoredIntTypes {
    VekDSPFixpt::detail::QuantDest memory, product, accum, output, sqrtType;
    int32_t imageFl = 0, coeffFl = 0, factorFl = 0;
    int32_t imageBytes = 1, memoryBytes = 1;  // containers
    bool imageSigned = false;
    bool narrow = false;  // every exact step fits int64
};

// The types of the roles with the block's modes; false when the stored-integer engine cannot serve them.
bool storedIntTypes(const RoleType* roles, bool harris, int32_t rounding, int32_t overflow,
                    StoredIntTypes& t);

struct StoredIntData {
    const void* image = nullptr;
    void* out = nullptr;  // "Metric output" container
    int32_t outBytes = 8;
    int32_t M = 0, N = 0, L = 0;
    void* pad = nullptr;  // "Memory" container, 3 * L * (M + L - 1)
    const int32_t* next = nullptr;
    const int32_t* colPad = nullptr;
    const int32_t* rowPad = nullptr;
    const int32_t* colRange = nullptr;
    const int32_t* rowRange = nullptr;
    const void* W = nullptr;  // 2L coefficients, "Coefficients" container
    int32_t coeffBytes = 2;
    const void* k = nullptr;  // Harris
    int32_t factorBytes = 2;
    bool harris = true;
    // Minimum eigenvalue: scalars for a square root whose alignment does not fit 128 bits.
    VekDSPFixpt::Fixpt* sqrtIn = nullptr;    // "Memory" scalar
    VekDSPFixpt::Fixpt* sqrtRoot = nullptr;  // "Square root" scalar
};

void storedIntEigenKernel(const StoredIntData& d, const StoredIntTypes& t);

}  // namespace quobit
