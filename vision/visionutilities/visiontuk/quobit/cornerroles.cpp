// The fixed-point data type roles of the corner metric block.
#include <algorithm>
#include <cmath>
#include <string>

#include "blockutils.h"
#include "quobit/roles.h"
#include "vekdsp.h"
#include "vekfixpt.h"

using namespace sysobj;
using namespace VekSimCommon;

namespace quobit {

namespace {

constexpr const char* kFragCoefficient = "dspshared::systemmessagefragment::mapBlkCoefficient";

RoleType inputRole(SysObjAdaptorSFun* S) {
    const DataTypeId in = ssGetInputPortDataType(S, kImagePort);
    RoleType t;
    t.wordLength = dspGetDataTypeWordLength(S, in);
    t.fracLength = dspGetDataTypeFracLength(S, in);
    t.isSigned = dspGetDataTypeSignedStatus(S, in) != 0;
    return t;
}

RoleType explicitRole(SysObjAdaptorSFun* S, int32_t modeIndex) {
    RoleType t;
    t.wordLength = paramInt(S, modeIndex + 1);
    t.fracLength = paramInt(S, modeIndex + 2);
    t.sourceParam = modeIndex + 1;
    return t;
}

RoleType zeroRole(int32_t modeIndex) {
    RoleType t;
    t.sourceParam = modeIndex;
    return t;
}

// Signed with the input's lengths ("same as input" for a working type).
RoleType signedInputRole(SysObjAdaptorSFun* S) {
    RoleType t = inputRole(S);
    t.isSigned = true;
    return t;
}

// Best precision over every value of a parameter: the smallest of the values' own fraction lengths.
// atLeast: a magnitude the type must hold as well (0 for none).
int32_t bestPrecisionFracLength(SysObjAdaptorSFun* S, int32_t paramIndex, int32_t wordLength,
                                double atLeast) {
    dspParam values(S, paramIndex, kFragCoefficient);
    const int32_t n = values.getNumberOfElements();
    int32_t fl = dspComputeBestPrecFracLength(atLeast, wordLength, 1);
    for (int32_t i = 0; i < n; ++i) {
        const int32_t f = dspComputeBestPrecFracLength(values.getRealValueAsDouble(i), wordLength, 1);
        fl = i == 0 && atLeast == 0.0 ? f : std::min(fl, f);
    }
    return fl;
}

// k is tunable: its best-precision type must hold every valid k (below 0.25), not only the first one, or a
// later k would saturate.
constexpr double kLargestFactor = 0.25;

RoleType coefficientRole(SysObjAdaptorSFun* S, int32_t valuesParam, double atLeast) {
    switch (paramInt(S, kCoeffMode)) {
        case 0:
            return explicitRole(S, kCoeffMode);
        case 1: {
            RoleType t;
            t.wordLength = paramInt(S, kCoeffMode + 1);
            t.sourceParam = kCoeffMode + 1;
            t.fracLength = bestPrecisionFracLength(S, valuesParam, t.wordLength, atLeast);
            return t;
        }
        case 2: {
            RoleType t;
            t.wordLength = inputRole(S).wordLength;
            t.fracLength = bestPrecisionFracLength(S, valuesParam, t.wordLength, atLeast);
            return t;
        }
        default:
            return zeroRole(kCoeffMode);
    }
}

RoleType productRule(SysObjAdaptorSFun* S) {
    switch (paramInt(S, kProductMode)) {
        case 0:
            return explicitRole(S, kProductMode);
        case 2:
            return signedInputRole(S);
        default:
            return zeroRole(kProductMode);
    }
}

RoleType accumulatorRule(SysObjAdaptorSFun* S) {
    switch (paramInt(S, kAccumMode)) {
        case 0:
            return explicitRole(S, kAccumMode);
        case 2:
            return signedInputRole(S);
        case 3:
            return productRule(S);
        default:
            return zeroRole(kAccumMode);
    }
}

// Role type for a "mode 0 gives the parameters, anything else the input" group.
RoleType explicitOrInput(SysObjAdaptorSFun* S, int32_t modeIndex) {
    return paramInt(S, modeIndex) == 0 ? explicitRole(S, modeIndex) : signedInputRole(S);
}

}  // namespace

const char* roleLabel(Role role) {
    static constexpr const char* kLabels[kNumRoles] = {
        "Image",          "Metric output", "Coefficients",    "Coefficients", "Accumulator",
        "Product output", "Memory",        "Unsigned int 32", "Square root",
    };
    return kLabels[role];
}

RoleType roleType(SysObjAdaptorSFun* S, Role role) {
    switch (role) {
        case kRoleImage:
            return inputRole(S);
        case kRoleOutput: {
            const int32_t mode = paramInt(S, kOutputTypeMode);
            if (mode == 0) return explicitRole(S, kOutputTypeMode);
            if (mode == 4) return accumulatorRule(S);
            return signedInputRole(S);
        }
        case kRoleFilterCoeff:
            return coefficientRole(S, kFilter, 0.0);
        case kRoleFactorCoeff:
            return coefficientRole(S, kSensitivity, kLargestFactor);
        case kRoleAccum:
            return explicitOrInput(S, kAccumMode);
        case kRoleProduct:
            return explicitOrInput(S, kProductMode);
        case kRoleMemory:
            return explicitOrInput(S, kMemoryMode);
        case kRoleUint32: {
            RoleType t;
            t.wordLength = 32;
            t.isSigned = false;
            return t;
        }
        case kRoleSqrt: {
            const RoleType product = roleType(S, kRoleProduct);
            const RoleType memory = roleType(S, kRoleMemory);
            const int32_t half = product.wordLength / 2;
            if (half < memory.wordLength) {
                RoleType t;
                t.wordLength = half;
                t.fracLength = product.fracLength / 2;
                t.sourceParam = product.sourceParam;
                return t;
            }
            return memory;
        }
        default:
            return RoleType{};
    }
}

bool checkRoleType(SysObjAdaptorSFun* S, Role role) {
    const RoleType t = roleType(S, role);
    const VekDSPFixpt::NumType n = VekDSPFixpt::NumType::fixed(t.isSigned, t.wordLength, t.fracLength);
    const std::string why = VekDSPFixpt::DSPDataAttributesHandle::checkType(n, roleLabel(role));
    if (why.empty()) return true;
    static char message[512];
    const std::string from = t.sourceParam >= 0 ? "dialog parameter " + std::to_string(t.sourceParam)
                                                : std::string("the input's data type");
    std::snprintf(message, sizeof message,
                  "Corner metric: the \"%s\" data type (%s) has word length %d and fraction length %d, which "
                  "fixed-point numbers cannot hold: %s",
                  roleLabel(role), from.c_str(), t.wordLength, t.fracLength, why.c_str());
    ssSetErrorStatus(S, message);
    return false;
}

bool checkRolesOfMethod(SysObjAdaptorSFun* S) {
    const int32_t m = method(S);
    Role used[kNumRoles];
    int32_t n = 0;
    used[n++] = kRoleImage;
    used[n++] = kRoleOutput;
    used[n++] = kRoleAccum;
    if (m != kComparison) {
        used[n++] = kRoleFilterCoeff;
        if (m == kHarris) used[n++] = kRoleFactorCoeff;
        used[n++] = kRoleProduct;
        used[n++] = kRoleMemory;
        used[n++] = kRoleUint32;
        if (m == kMinEigen) used[n++] = kRoleSqrt;
    }
    for (int32_t i = 0; i < n; ++i)
        if (!checkRoleType(S, used[i])) return false;
    return true;
}

DataTypeId roleDataTypeId(SysObjAdaptorSFun* S, Role role) {
    if (!checkRoleType(S, role)) return -1;
    const RoleType t = roleType(S, role);
    return dspGetFixPtDataTypeIDFromAttribs(S, t.isSigned ? 1 : 0, t.wordLength, t.fracLength, 2);
}

DataTypeId fixedOutputDataType(SysObjAdaptorSFun* S) {
    if (!checkRoleType(S, kRoleOutput)) return -1;
    const RoleType t = roleType(S, kRoleOutput);
    if (t.fracLength == 0 && t.isSigned && !blockutils::isDataTypeOverrideOne(S)) {
        if (t.wordLength == 8) return SS_INT8;
        if (t.wordLength == 16) return SS_INT16;
        if (t.wordLength == 32) return SS_INT32;
    }
    return roleDataTypeId(S, kRoleOutput);
}

}  // namespace quobit
