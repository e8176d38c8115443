// The floating eigenvalue kernels compiled for 256-bit vector units. Without fused multiply-add and with
// contraction off, every value is the one the generic kernel computes.
#include "quobit/eigenkernel.h"

namespace quobit::kernels {

void eigenAvx2(const EigenKernelData<double>& d) {
    eigenKernel(d);
}
void eigenAvx2(const EigenKernelData<float>& d) {
    eigenKernel(d);
}

}  // namespace quobit::kernels
