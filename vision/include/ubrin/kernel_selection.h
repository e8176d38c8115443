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
// rescaleIn32Bits picks the 32-bit members of the rescaling rules (see rescale_multiplier.h). The
// members come from the widest instruction set the processor offers; every variant computes the same
// values (element-wise operations, no fused multiply-add).
KernelPair selectKernels(ConversionRule rule, const PortStorage& in, const PortStorage& out,
                         bool rescaleIn32Bits);

// The same from one variant: "generic" (the build's baseline), "avx2" or "avx512".
KernelPair selectGenericKernels(ConversionRule rule, const PortStorage& in, const PortStorage& out,
                                bool rescaleIn32Bits);
KernelPair selectAvx2Kernels(ConversionRule rule, const PortStorage& in, const PortStorage& out,
                             bool rescaleIn32Bits);
KernelPair selectAvx512Kernels(ConversionRule rule, const PortStorage& in, const PortStorage& out,
                               bool rescaleIn32Bits);

}  // namespace ubrin
