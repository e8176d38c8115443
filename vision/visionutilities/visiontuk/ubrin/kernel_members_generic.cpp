// Kernel members for the build's baseline instruction set.
#define UBRIN_KERNEL_VARIANT generic
#define UBRIN_SELECT_FUNCTION selectGenericKernels
#include "kernel_members.inc"
