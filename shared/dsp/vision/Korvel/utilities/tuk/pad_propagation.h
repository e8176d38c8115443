// Helpers shared by the pad block's propagation and set-up callbacks.
#pragma once

#include <cstdint>
#include <vector>

#include "pad_settings.h"
#include "sysobj.h"

namespace pad {

// The output sizes the settings give for an input (working dims, unpruned); false when the amounts
// cannot be computed (result in *result, nothing reported).
bool expectedOutputDims(const PadSettings& p, int32_t numInDims, const int32_t* inDims,
                        std::vector<int32_t>& out, int32_t* result = nullptr);

// Whether two dimension lists describe the same array (missing trailing dimensions count as 1).
bool sameDims(const int32_t* a, int32_t na, const int32_t* b, int32_t nb);

// Reports (plain text) that the output port's dims differ from the ones the input and settings give.
void reportOutputDimsMismatch(sysobj::SysObjAdaptorSFun* S, const std::vector<int32_t>& expected);

// Some input size is below the corresponding output size; false while input port 0 is unsized.
bool anyDimensionGrows(sysobj::SysObjAdaptorSFun* S, const PadSettings& p);

}  // namespace pad
