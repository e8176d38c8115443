// The entry points every plug-in carries: the loadable-module entry the numeric environment looks for, and
// the sample-time set-up that is the same for every block (one inherited sample time).
#include <type_traits>

#include "blockcallbacks.h"
#include "sysobj.h"

DRAVO_CALLBACK void tukFunction(int /*nlhs*/, void* /*plhs*/[], int /*nrhs*/, const void* /*prhs*/[]) {}

DRAVO_CALLBACK void mdlInitializeSampleTimes(BlockHandle* S) {
    sysobj::ssSetSampleTime(S, 0, -1.0);  // inherited from the driving block
    sysobj::ssSetOffsetTime(S, 0, 0.0);
}

// The loader looks the callbacks up through these types; a mismatch must fail here, not at run time.
static_assert(std::is_same_v<decltype(tukFunction), tukFunctionTYPE>);
static_assert(std::is_same_v<decltype(mdlInitializeSampleTimes), mdlInitializeSampleTimesTYPE>);
