#include "host_bridge.h"

#include <stdexcept>

#include "dravo/host/types.h"

namespace VekDSPFixpt::detail {

bool hostLoggingOn(sysobj::SysObjAdaptorSFun* S) {
    return S != nullptr && sysobj::ssGetMinMaxOverflowLogging(S) == 1;
}

void hostSetError(sysobj::SysObjAdaptorSFun* S, const char* text) {
    if (S != nullptr) sysobj::ssSetErrorStatus(S, text);
}

bool hostTypeOf(DataTypeId id, NumType& type, std::string& error) {
    if (!dravo::types::isKnown(id)) {
        error = "Fixed-point library: unknown data type id " + std::to_string(id);
        return false;
    }
    const dravo::types::TypeInfo& info = dravo::types::info(id);
    switch (info.kind) {
        case dravo::types::Kind::Double:
        case dravo::types::Kind::ScaledDouble:
            type = NumType::doubleType();
            break;
        case dravo::types::Kind::Single:
            type = NumType::singleType();
            break;
        case dravo::types::Kind::Boolean:
            type = NumType{NumKind::Fixed, false, 1, 0, 1};
            break;
        case dravo::types::Kind::Integer:
        case dravo::types::Kind::FixedPoint:
            type = NumType::fixed(info.isSigned, info.wordLength, info.fracLength);
            break;
    }
    return true;
}

}  // namespace VekDSPFixpt::detail
