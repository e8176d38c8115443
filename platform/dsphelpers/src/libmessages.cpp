// English texts of the library's own message classes.
#include "dravo/dsphelpers/libmessages.h"

#include <cstring>

namespace dravo::dsphelpers {

namespace {

struct MessageTemplate {
    const char* messageClass;
    const char* text;
};

constexpr MessageTemplate kTemplates[] = {
    {kParamCountMismatch, "Wrong number of dialog parameters: %s given, %s expected."},
    {kPopupParamInvalid, "Parameter %s must be a whole number from %s to %s."},
    {kParamNotNumeric, "%s must be numeric."},
    {kParamNotScalar, "%s must be a scalar."},
    {kParamNotVector, "%s must be a vector."},
    {kParamNotScalarOrPair, "%s must be a scalar or a two-element vector."},
    {kParamEmpty, "%s must not be empty."},
    {kParamNotMatrix, "%s must be a matrix of at most two dimensions."},
    {kParamWrongNumElements, "%s must have %s elements."},
    {kParamNotReal, "%s must be real."},
    {kParamNotWhole, "%s must contain whole numbers."},
    {kParamNotFinite, "%s cannot contain Inf or NaN."},
    {kParamNotWholeOrInf, "%s must contain whole numbers or Inf."},
    {kParamOutOfRange, "%s must be %s."},
    {kDataTypeNotSupported, "Data type %s is not supported on %s."},
    {kFixptAttribsInvalid, "Fixed-point word length %s is outside the range 2 to 128."},
    {kPortTypeNotFloat, "Data type %s is neither double nor single."},
    {kRtpDataInvalid, "Run-time parameter %s cannot be created from the given data."},
};

}  // namespace

const char* libraryMessageTemplate(const std::string& messageClass) {
    for (const MessageTemplate& t : kTemplates)
        if (messageClass == t.messageClass) return t.text;
    return "";
}

}  // namespace dravo::dsphelpers
