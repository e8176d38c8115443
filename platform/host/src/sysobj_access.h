// Checked access to an instance's ports, DWorks and RTPs for the sysobj functions: a bad index or a call
// in the wrong lifecycle stage records an error naming the function and answers null, never crashes.
#pragma once

#include <string>

#include "instance.h"

namespace dravo::host::detail {

using sysobj::SysObjAdaptorSFun;

// Port attributes may change while the block declares (mdlInitializeSizes, mdlCheckParameters) and
// while it propagates; after that the host has sized buffers from them.
constexpr uint32_t kPortSetStages = Stage::InitializingSizes | Stage::Initialized | Stage::Propagating;
// Work vectors are declared in mdlInitializeSizes or mdlSetWorkWidths, before the host allocates them.
constexpr uint32_t kDWorkSetStages = Stage::InitializingSizes | Stage::WorkWidths;
constexpr uint32_t kRtpCreateStages = static_cast<uint32_t>(Stage::WorkWidths);

Port* inputPort(SysObjAdaptorSFun* S, int32_t port, const char* fn);
Port* outputPort(SysObjAdaptorSFun* S, int32_t port, const char* fn);
DWork* dwork(SysObjAdaptorSFun* S, int32_t i, const char* fn);
// False (error recorded) when the instance is not in one of the stages of mask.
bool allowedIn(SysObjAdaptorSFun* S, uint32_t mask, const char* fn, const char* what);
std::string stageName(Stage s);
std::string dimsText(const std::vector<int32_t>& dims);

}  // namespace dravo::host::detail
