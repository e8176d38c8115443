// Dialog checks of the pad block, in the order the block reports them; the first failure ends the check.
#pragma once

#include "sysobj.h"

namespace pad {

void checkPadParameters(sysobj::SysObjAdaptorSFun* S);

}  // namespace pad
