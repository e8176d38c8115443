// Kernel members for processors with AVX-512 (F, BW, VL, DQ), never with FMA: the results are the
// generic members' to the bit.
#define UBRIN_KERNEL_VARIANT avx512
#define UBRIN_SELECT_FUNCTION selectAvx512Kernels
#include "kernel_members.inc"
