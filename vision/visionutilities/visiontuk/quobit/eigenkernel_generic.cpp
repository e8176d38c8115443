// The floating eigenvalue kernels for any x86-64 processor.
#include "quobit/eigenkernel.h"

namespace quobit::kernels {

void eigenGeneric(const EigenKernelData<double>& d) {
    eigenKernel(d);
}
void eigenGeneric(const EigenKernelData<float>& d) {
    eigenKernel(d);
}

}  // namespace quobit::kernels
