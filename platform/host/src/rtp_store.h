// Filling run-time parameter storage from a dialog parameter (shared by registration and update).
#pragma once

#include <string>

#include "instance.h"

namespace dravo::host::detail {

// Converts dialog parameter dlgIndex into rtp (type, complexity already set in rtp). On failure returns
// the reason (empty on success); rtp is unchanged then.
std::string fillRtpFromDialog(sysobj::SysObjAdaptorSFun* S, int32_t dlgIndex, Rtp& rtp);
// Points rtp.rec at rtp's fields.
void refreshRecord(Rtp& rtp);

}  // namespace dravo::host::detail
