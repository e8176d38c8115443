// Kernel members for processors with AVX2 (compiled with -mavx2, never with FMA: the results are the
// generic members' to the bit).
#define UBRIN_KERNEL_VARIANT avx2
#define UBRIN_SELECT_FUNCTION selectAvx2Kernels
#include "kernel_members.inc"
