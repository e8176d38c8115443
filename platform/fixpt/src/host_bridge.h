// What the library asks of the block host: the logging setting, the error status and the type registry.
#pragma once

#include <string>

#include "sysobj.h"
#include "vekfixpt_types.h"

namespace VekDSPFixpt::detail {

bool hostLoggingOn(sysobj::SysObjAdaptorSFun* S);
void hostSetError(sysobj::SysObjAdaptorSFun* S, const char* text);
// The value type of a host data type id; false with a reason when the id is unknown.
bool hostTypeOf(DataTypeId id, NumType& type, std::string& error);

}  // namespace VekDSPFixpt::detail
