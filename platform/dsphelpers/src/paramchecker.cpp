// The configurable dialog-parameter checker: shape, element count, realness, value class and a bound rule,
// tested in that order; the first failure is reported naming the parameter by its fragment's text.
#include <cmath>
#include <cstdio>
#include <string>

#include "dravo/dsphelpers/libmessages.h"
#include "vekdsp.h"

namespace VekSimCommon {

using namespace sysobj;
namespace msg = dravo::dsphelpers;

namespace {

enum ShapeCode : int32_t {
    ShapeAny,
    ShapeScalar,
    ShapeVector,
    ShapeScalarOrPair,
    ShapeNonEmpty,
    ShapeMatrix
};
enum ClassCode : int32_t { ClassAnyNumeric, ClassWhole, ClassFinite, ClassWholeOrInf };
enum RuleCode : int32_t {
    RuleNone,
    RuleGreater,
    RuleGreaterOrEqual,
    RuleLess,
    RuleLessOrEqual,
    RuleNotEqual,
    RuleOpenInterval,
    RuleClosedOpenInterval,
    RuleOpenClosedInterval,
    RuleClosedInterval,
};

// Bounds as a person would write them: 2, 0.25, -1e-06.
std::string formatBound(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    return buf;
}

bool isVectorShaped(const qzArray_tag* a) {
    if (qzGetNumberOfDimensions(a) > 2 || qzGetNumberOfElements(a) == 0) return false;
    return qzGetM(a) == 1 || qzGetN(a) == 1;
}

const char* shapeFailure(int32_t shape, const qzArray_tag* a) {
    const size_t n = qzGetNumberOfElements(a);
    switch (shape) {
        case ShapeScalar:
            return n == 1 ? nullptr : msg::kParamNotScalar;
        case ShapeVector:
            return isVectorShaped(a) ? nullptr : msg::kParamNotVector;
        case ShapeScalarOrPair:
            return (n == 1 || n == 2) && isVectorShaped(a) ? nullptr : msg::kParamNotScalarOrPair;
        case ShapeNonEmpty:
            return n > 0 ? nullptr : msg::kParamEmpty;
        case ShapeMatrix:
            return qzGetNumberOfDimensions(a) <= 2 ? nullptr : msg::kParamNotMatrix;
        default:
            return nullptr;
    }
}

bool isWhole(double v) {
    return std::isfinite(v) && v == std::floor(v);
}

bool passesClass(int32_t classCode, double v) {
    switch (classCode) {
        case ClassWhole:
            return isWhole(v);
        case ClassFinite:
            return std::isfinite(v);
        case ClassWholeOrInf:
            return std::isinf(v) || isWhole(v);
        default:
            return true;
    }
}

const char* classFailureMessage(int32_t classCode) {
    switch (classCode) {
        case ClassWhole:
            return msg::kParamNotWhole;
        case ClassFinite:
            return msg::kParamNotFinite;
        default:
            return msg::kParamNotWholeOrInf;
    }
}

// A NaN satisfies no bound.
bool passesRule(int32_t rule, double x, double lo, double hi) {
    switch (rule) {
        case RuleGreater:
            return x > lo;
        case RuleGreaterOrEqual:
            return x >= lo;
        case RuleLess:
            return x < hi;
        case RuleLessOrEqual:
            return x <= hi;
        case RuleNotEqual:
            return x == x && x != lo;
        case RuleOpenInterval:
            return lo < x && x < hi;
        case RuleClosedOpenInterval:
            return lo <= x && x < hi;
        case RuleOpenClosedInterval:
            return lo < x && x <= hi;
        case RuleClosedInterval:
            return lo <= x && x <= hi;
        default:
            return true;
    }
}

std::string ruleDescription(int32_t rule, double lo, double hi) {
    const std::string l = formatBound(lo), h = formatBound(hi);
    switch (rule) {
        case RuleGreater:
            return "greater than " + l;
        case RuleGreaterOrEqual:
            return "greater than or equal to " + l;
        case RuleLess:
            return "less than " + h;
        case RuleLessOrEqual:
            return "less than or equal to " + h;
        case RuleNotEqual:
            return "different from " + l;
        case RuleOpenInterval:
            return "in the range (" + l + ", " + h + ")";
        case RuleClosedOpenInterval:
            return "in the range [" + l + ", " + h + ")";
        case RuleOpenClosedInterval:
            return "in the range (" + l + ", " + h + "]";
        default:
            return "in the range [" + l + ", " + h + "]";
    }
}

bool isNumericClass(qzClassID cls) {
    return cls != qzUNKNOWN_CLASS && cls != qzCHAR_CLASS;
}

}  // namespace

dspParamCheckerID::dspParamCheckerID(SysObjAdaptorSFun* S, int32_t productPrefix)
    : S_(S), productPrefix_(productPrefix) {}

dspParamCheckerID& dspParamCheckerID::setShape(int32_t shapeCode) {
    shape_ = shapeCode;
    return *this;
}

dspParamCheckerID& dspParamCheckerID::setNumElements(int32_t n) {
    numElements_ = n;
    return *this;
}

dspParamCheckerID& dspParamCheckerID::setRealOnly(bool realOnly) {
    realOnly_ = realOnly;
    return *this;
}

dspParamCheckerID& dspParamCheckerID::setValueClassCheck(int32_t classCode) {
    classCode_ = classCode;
    return *this;
}

dspParamCheckerID& dspParamCheckerID::setValueRule(int32_t ruleCode, double lo, double hi) {
    rule_ = ruleCode;
    lo_ = lo;
    hi_ = hi;
    return *this;
}

dspParamCheckerID& dspParamCheckerID::setValueRuleOff() {
    rule_ = RuleNone;
    return *this;
}

bool dspParamCheckerID::check(int32_t index, const char* fragment) {
    (void)productPrefix_;  // one product family: the prefix selects nothing
    const qzArray_tag* a = ssGetSFcnParam(S_, index);
    if (ssGetSimMode(S_) == 1 && qzIsEmpty(a)) return true;

    const std::string name = fragment != nullptr && !dspMessageText(fragment).empty()
                                 ? dspMessageText(fragment)
                                 : "Parameter " + std::to_string(index + 1);
    auto fail = [&](const char* messageClass, std::initializer_list<std::string> more = {}) {
        if (more.size() == 0) {
            dspError(S_, messageClass, {name});
        } else {
            dspError(S_, messageClass, {name, *more.begin()});
        }
        return false;
    };

    if (a == nullptr || !isNumericClass(qzGetClassID(a))) return fail(msg::kParamNotNumeric);
    if (const char* shapeError = shapeFailure(shape_, a)) return fail(shapeError);
    const size_t n = qzGetNumberOfElements(a);
    if (numElements_ >= 0 && n != static_cast<size_t>(numElements_))
        return fail(msg::kParamWrongNumElements, {std::to_string(numElements_)});
    const bool complex = qzIsComplex(a);
    if (realOnly_ && complex) return fail(msg::kParamNotReal);

    for (size_t i = 0; i < n; ++i) {
        const double re = qzGetRealElementAsDouble(a, i);
        const double im = complex ? qzGetImagElementAsDouble(a, i) : 0.0;
        if (!passesClass(classCode_, re) || !passesClass(classCode_, im))
            return fail(classFailureMessage(classCode_));
    }
    // Bounds compare the real parts.
    for (size_t i = 0; i < n; ++i) {
        if (!passesRule(rule_, qzGetRealElementAsDouble(a, i), lo_, hi_))
            return fail(msg::kParamOutOfRange, {ruleDescription(rule_, lo_, hi_)});
    }
    return true;
}

}  // namespace VekSimCommon
