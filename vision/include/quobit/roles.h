// The nine fixed-point data type roles of the corner metric block: how each role's word length, fraction
// length and signedness follow from the input type and the dialog, which roles a method uses, and the
// refusal of a role whose type the fixed-point library cannot hold.
#pragma once

#include <cstdint>

#include "quobit/quobit.h"
#include "sysobj.h"

namespace quobit {

enum Role : int32_t {
    kRoleImage = 0,
    kRoleOutput = 1,
    kRoleFilterCoeff = 2,
    kRoleFactorCoeff = 3,
    kRoleAccum = 4,
    kRoleProduct = 5,
    kRoleMemory = 6,
    kRoleUint32 = 7,
    kRoleSqrt = 8,
    kNumRoles = 9,
};

// "Image", "Metric output", "Coefficients", "Coefficients", "Accumulator", "Product output", "Memory",
// "Unsigned int 32", "Square root".
const char* roleLabel(Role role);

struct RoleType {
    int32_t wordLength = 0;
    int32_t fracLength = 0;
    bool isSigned = true;
    // The dialog parameter whose value decided the word length (for messages); -1 when the input's type did.
    int32_t sourceParam = -1;
};

// The role's type by its rule, as given (it may lie outside what the library holds; see checkRoleType).
RoleType roleType(SysObjAdaptorSFun* S, Role role);

// True when the library can hold the role's type (word length 2..128, fraction length within its bounds);
// otherwise a one-line error naming the role and the dialog parameter is set.
bool checkRoleType(SysObjAdaptorSFun* S, Role role);
// Every role the block's method uses on the fixed path.
bool checkRolesOfMethod(SysObjAdaptorSFun* S);

// The role's fixed-point id (registered on first use); -1 with the error set when refused.
DataTypeId roleDataTypeId(SysObjAdaptorSFun* S, Role role);

// The output port's type on the fixed path: role 1, or int8/int16/int32 when role 1 is a whole signed
// word of that size. -1 with the error set when refused.
DataTypeId fixedOutputDataType(SysObjAdaptorSFun* S);

}  // namespace quobit
