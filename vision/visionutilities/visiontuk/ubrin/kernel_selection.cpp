// Chooses the widest kernel variant the processor runs.
#include "ubrin/kernel_selection.h"

namespace ubrin {

KernelPair selectKernels(ConversionRule rule, const PortStorage& in, const PortStorage& out,
                         bool rescaleIn32Bits) {
    __builtin_cpu_init();  // a plug-in may be loaded before the processor model is known
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
        __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq"))
        return selectAvx512Kernels(rule, in, out, rescaleIn32Bits);
    if (__builtin_cpu_supports("avx2")) return selectAvx2Kernels(rule, in, out, rescaleIn32Bits);
    return selectGenericKernels(rule, in, out, rescaleIn32Bits);
}

}  // namespace ubrin
