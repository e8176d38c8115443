// Dialog parameter registration, popup checks and the parameter reader.
#include <cmath>
#include <string>

#include "dravo/dsphelpers/libmessages.h"
#include "vekdsp.h"

namespace VekSimCommon {

using namespace sysobj;
namespace msg = dravo::dsphelpers;

bool registerSFcnParams(SysObjAdaptorSFun* S, int32_t n) {
    if (!ssSetNumSFcnParams(S, n)) return false;
    const int32_t given = ssGetSFcnParamsCount(S);
    if (given != n) {
        dspError(S, msg::kParamCountMismatch, {std::to_string(given), std::to_string(n)});
        return false;
    }
    return true;
}

bool dspIsPopupParamValid(SysObjAdaptorSFun* S, int32_t index, int32_t lo, int32_t hi) {
    const qzArray_tag* a = ssGetSFcnParam(S, index);
    // While only sizes are computed, a parameter may still be unevaluated (empty).
    if (ssGetSimMode(S) == 1 && qzIsEmpty(a)) return true;
    const qzClassID cls = qzGetClassID(a);
    bool valid =
        a != nullptr && qzGetNumberOfElements(a) == 1 && cls != qzUNKNOWN_CLASS && cls != qzCHAR_CLASS;
    if (valid) {
        const double v = qzGetRealElementAsDouble(a, 0);
        valid = v == std::floor(v) && v >= lo && v <= hi && qzGetImagElementAsDouble(a, 0) == 0.0;
    }
    if (!valid) {
        dspError(S, msg::kPopupParamInvalid,
                 {std::to_string(index + 1), std::to_string(lo), std::to_string(hi)});
        return false;
    }
    return true;
}

dspParam::dspParam(SysObjAdaptorSFun* S, int32_t index, const char* fragment)
    : S_(S), index_(index), fragment_(fragment), array_(ssGetSFcnParam(S, index)) {}

int32_t dspParam::getNumberOfElements() const {
    return static_cast<int32_t>(qzGetNumberOfElements(array_));
}

bool dspParam::isEmpty() const {
    return qzIsEmpty(array_);
}

bool dspParam::isComplex() const {
    return qzIsComplex(array_);
}

bool dspParam::isDouble() const {
    return qzGetClassID(array_) == qzDOUBLE_CLASS;
}

bool dspParam::isSingle() const {
    return qzGetClassID(array_) == qzSINGLE_CLASS;
}

bool dspParam::isFloat() const {
    return isDouble() || isSingle();
}

qzClassID dspParam::getClassID() const {
    return qzGetClassID(array_);
}

double dspParam::getRealValueAsDouble(int32_t i) const {
    return i < 0 ? 0.0 : qzGetRealElementAsDouble(array_, static_cast<size_t>(i));
}

double dspParam::getImagValueAsDouble(int32_t i) const {
    return i < 0 ? 0.0 : qzGetImagElementAsDouble(array_, static_cast<size_t>(i));
}

const qzArray_tag* dspParam::getArray() const {
    return array_;
}

const char* dspParam::getFragment() const {
    return fragment_;
}

int32_t dspParam::getIndex() const {
    return index_;
}

}  // namespace VekSimCommon
