// Zeroed per-instance records and small numeric helpers shared by the blocks.
#include <cstdlib>

#include "vekdsp.h"

void* dvCalloc(size_t n, size_t size) {
    return std::calloc(n, size);
}

void dvFree(void* p) {
    std::free(p);
}

namespace VekSimCommon {

int32_t getNextPow2(int32_t x) {
    if (x <= 1) return 1;
    if (x > (1 << 30)) return -1;  // no int32 power of two is that large
    int32_t p = 1;
    while (p < x)
        p <<= 1;
    return p;
}

void dspEnableTarn33PlusCodeGen(SysObjAdaptorSFun* S) {
    // The current code generator is the only one there is; enabling it is enabling code generation.
    sysobj::ssSetTarnCG(S, 1);
}

}  // namespace VekSimCommon
