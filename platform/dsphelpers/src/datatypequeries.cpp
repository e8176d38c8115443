// Data-type queries and fixed-point ids, answered from the host's type registry.
#include <string>

#include "dravo/dsphelpers/libmessages.h"
#include "dravo/host/types.h"
#include "vekdsp.h"

namespace VekSimCommon {

using namespace sysobj;
namespace types = dravo::types;
namespace msg = dravo::dsphelpers;

namespace {

const types::TypeInfo* lookup(DataTypeId id) {
    return types::isKnown(id) ? &types::info(id) : nullptr;
}

bool isFixedShape(const types::TypeInfo* t) {
    return t != nullptr && (t->kind == types::Kind::FixedPoint || t->kind == types::Kind::ScaledDouble);
}

// overrideArg 1 or 2 asks for the scaled double of the type when the data-type override is on.
DataTypeId fixedPointId(SysObjAdaptorSFun* S, bool overrideOn, int32_t isSigned, int32_t wordLength,
                        int32_t fracLength, int32_t overrideArg) {
    if (wordLength < types::kMinFixedWordLength || wordLength > types::kMaxFixedWordLength) {
        dspError(S, msg::kFixptAttribsInvalid, {std::to_string(wordLength)});
        return -1;
    }
    const bool scaled = overrideOn && (overrideArg == 1 || overrideArg == 2);
    const DataTypeId id = scaled ? types::registerScaledDouble(isSigned != 0, wordLength, fracLength)
                                 : types::registerFixedPoint(isSigned != 0, wordLength, fracLength);
    if (id < 0) dspError(S, msg::kFixptAttribsInvalid, {std::to_string(wordLength)});
    return id;
}

}  // namespace

int32_t dspGetDataTypeWordLength(SysObjAdaptorSFun*, DataTypeId id) {
    const types::TypeInfo* t = lookup(id);
    return t != nullptr ? t->wordLength : 0;
}

int32_t dspGetDataTypeFracLength(SysObjAdaptorSFun*, DataTypeId id) {
    const types::TypeInfo* t = lookup(id);
    return isFixedShape(t) ? t->fracLength : 0;
}

int32_t dspGetDataTypeSignedStatus(SysObjAdaptorSFun*, DataTypeId id) {
    const types::TypeInfo* t = lookup(id);
    return t != nullptr && t->isSigned ? 1 : 0;
}

bool isDataTypeSigned(SysObjAdaptorSFun* S, DataTypeId id) {
    return dspGetDataTypeSignedStatus(S, id) != 0;
}

int32_t dspGetDataTypeFxpWordLength(SysObjAdaptorSFun* S, DataTypeId id) {
    return dspIsDataTypeFloat(S, id) ? 0 : dspGetDataTypeWordLength(S, id);
}

int32_t dspGetDataTypeFxpFracLength(SysObjAdaptorSFun* S, DataTypeId id) {
    return dspGetDataTypeFracLength(S, id);
}

bool dspGetDataTypeFxpIsSigned(SysObjAdaptorSFun* S, DataTypeId id) {
    return !dspIsDataTypeFloat(S, id) && isDataTypeSigned(S, id);
}

bool dspIsDataTypeFixedPoint(SysObjAdaptorSFun*, DataTypeId id) {
    const types::TypeInfo* t = lookup(id);
    return t != nullptr && t->kind == types::Kind::FixedPoint;
}

bool dspIsDataTypeScaledDouble(SysObjAdaptorSFun*, DataTypeId id) {
    const types::TypeInfo* t = lookup(id);
    return t != nullptr && t->kind == types::Kind::ScaledDouble;
}

bool dspIsDataTypeFloat(SysObjAdaptorSFun*, DataTypeId id) {
    return id == SS_DOUBLE || id == SS_SINGLE;
}

DataTypeId dspGetFixPtDataTypeIDFromAttribs(SysObjAdaptorSFun* S, int32_t isSigned, int32_t wordLength,
                                            int32_t fracLength, int32_t overrideArg) {
    return fixedPointId(S, ssGetDataTypeOverride(S) == 1, isSigned, wordLength, fracLength, overrideArg);
}

void dspFxpBlockProp_SetSFunOrTuk(SysObjAdaptorSFun* S, fxpBlockProperties* props) {
    if (props == nullptr) return;
    props->isTuk = 1;
    props->simMode = ssGetSimMode(S);
    props->dtOverride = ssGetDataTypeOverride(S);
    props->logging = ssGetMinMaxOverflowLogging(S);
}

DataTypeId dspGetFixPtDataTypeIDFromAttribsLocal(SysObjAdaptorSFun* S, const fxpBlockProperties* props,
                                                 int32_t isSigned, int32_t wordLength, int32_t fracLength,
                                                 int32_t arg0, int32_t /*arg5: kept for the callers*/) {
    // The settings captured in props, not the host's current ones, decide the override.
    const int32_t dtOverride = props != nullptr ? props->dtOverride : ssGetDataTypeOverride(S);
    return fixedPointId(S, dtOverride == 1, isSigned, wordLength, fracLength, arg0);
}

DataTypeId dspGetScaledDoubleDTypeIdFromNonOverrideDTypeId(SysObjAdaptorSFun* S, DataTypeId id) {
    const types::TypeInfo* t = lookup(id);
    if (t == nullptr) return id;
    if (t->kind == types::Kind::Integer || t->kind == types::Kind::FixedPoint) {
        const DataTypeId scaled = types::registerScaledDouble(t->isSigned, t->wordLength, t->fracLength);
        if (scaled < 0) dspError(S, msg::kFixptAttribsInvalid, {std::to_string(t->wordLength)});
        return scaled;
    }
    return id;  // double, single, boolean and scaled doubles have nothing to scale
}

bool dspSetInputPortFixpt(SysObjAdaptorSFun* S, int32_t port, int32_t wordLength, int32_t fracLength,
                          bool isSigned, bool allowOverride) {
    const DataTypeId id =
        dspGetFixPtDataTypeIDFromAttribs(S, isSigned ? 1 : 0, wordLength, fracLength, allowOverride ? 2 : 0);
    return id >= 0 && ssSetInputPortDataType(S, port, id);
}

bool dspSetOutputPortFixpt(SysObjAdaptorSFun* S, int32_t port, int32_t wordLength, int32_t fracLength,
                           bool isSigned) {
    const DataTypeId id = dspGetFixPtDataTypeIDFromAttribs(S, isSigned ? 1 : 0, wordLength, fracLength, 2);
    return id >= 0 && ssSetOutputPortDataType(S, port, id);
}

bool isInputComplex(SysObjAdaptorSFun* S, int32_t port) {
    return ssGetInputPortComplexSignal(S, port) == 1;
}

bool isOutputComplex(SysObjAdaptorSFun* S, int32_t port) {
    return ssGetOutputPortComplexSignal(S, port) == 1;
}

}  // namespace VekSimCommon
