// runEigenKernel: the widest floating kernel the processor runs, chosen once.
#include "quobit/eigenkernel.h"

namespace quobit {

namespace kernels {
void eigenGeneric(const EigenKernelData<double>& d);
void eigenGeneric(const EigenKernelData<float>& d);
void eigenAvx2(const EigenKernelData<double>& d);
void eigenAvx2(const EigenKernelData<float>& d);
}  // namespace kernels

namespace {
bool hasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}
}  // namespace

template <class U>
void runEigenKernel(const EigenKernelData<U>& d) {
    if (hasAvx2())
        kernels::eigenAvx2(d);
    else
        kernels::eigenGeneric(d);
}

template void runEigenKernel<double>(const EigenKernelData<double>&);
template void runEigenKernel<float>(const EigenKernelData<float>&);

}  // namespace quobit
