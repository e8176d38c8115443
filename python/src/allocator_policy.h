#pragma once

namespace dravo::python {

// A Python process runs many short block runs on frames of the same size. By default the C library hands
// every large buffer (work vectors, port buffers, the arrays themselves) back to the kernel when it is freed
// and takes fresh zeroed pages for the next run, so most of a run's time goes to page faults. Keep freed
// frame-sized buffers in the process instead. Left alone where the user set the C library's own tuning.
void keepFreedFramesInProcess();

}  // namespace dravo::python
