// Picks the kernel member(s) of a conversion rule for the storage of the two ports. Called once by
// mdlPreSim; the chosen function pointers then run without any type test.
#pragma once

#include <cstdint>

#include "ubrin/conversion_rule.h"
#include "ubrin/scale_convert_state.h"

namespace ubrin {

// A port's storage as the kernels see it: element size in bytes and, for a floating port, which float.
struct PortStorage {
    TypeClass typeClass;
    int32_t elemSize;  // 8 double, 4 single; 1 or 2 for integer, fixed-point and boolean words
};

struct KernelPair {
    ScaleConvertKernel first = nullptr;
    ScaleConvertKernel second = nullptr;  // only for the two-pass rules
};

// Both null when no member exists for the storage sizes (a type the set-up should have refused).
KernelPair selectKernels(ConversionRule rule, const PortStorage& in, const PortStorage& out);

}  // namespace ubrin
