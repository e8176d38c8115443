// Conversion of real-world double values into the stored form of a registered data type: round to
// nearest (ties away from zero), saturate; fixed point as the stored integer (value x 2^FL) sign- or
// zero-extended to its container; NaN becomes zero for every integer-valued type.
#pragma once

#include <cstddef>

#include "sysobj.h"

namespace dravo::host::detail {

// Writes one element of type id at dst (containerBytes of the type). False for an unknown id.
bool storeAsType(double value, DataTypeId id, void* dst);
// Reads one stored element of type id back as its real-world value (for tests and tools).
double loadAsDouble(DataTypeId id, const void* src);

}  // namespace dravo::host::detail
