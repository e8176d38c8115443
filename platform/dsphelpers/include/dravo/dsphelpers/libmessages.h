// Message classes the DSP helper library reports on its own (parameter checks, popups, type support).
// Their English texts are in the host's one catalogue, like every other class.
#pragma once

namespace dravo::dsphelpers {

inline constexpr const char* kParamCountMismatch = "dspshared::system::paramCountMismatch";
inline constexpr const char* kPopupParamInvalid = "dspshared::system::popupParamInvalid";
inline constexpr const char* kParamNotNumeric = "dspshared::system::paramNotNumeric";
inline constexpr const char* kParamNotScalar = "dspshared::system::paramNotScalar";
inline constexpr const char* kParamNotVector = "dspshared::system::paramNotVector";
inline constexpr const char* kParamNotScalarOrPair = "dspshared::system::paramNotScalarOrTwoElementVector";
inline constexpr const char* kParamEmpty = "dspshared::system::paramEmpty";
inline constexpr const char* kParamNotMatrix = "dspshared::system::paramNotMatrix";
inline constexpr const char* kParamWrongNumElements = "dspshared::system::paramWrongNumElements";
inline constexpr const char* kParamNotReal = "dspshared::system::paramNotReal";
inline constexpr const char* kParamNotWhole = "dspshared::system::paramNotWholeNumber";
inline constexpr const char* kParamNotFinite = "dspshared::system::paramNotFinite";
inline constexpr const char* kParamNotWholeOrInf = "dspshared::system::paramNotWholeNumberOrInf";
inline constexpr const char* kParamOutOfRange = "dspshared::system::paramOutOfRange";
inline constexpr const char* kDataTypeNotSupported = "dspshared::system::dataTypeNotSupported";
inline constexpr const char* kFixptAttribsInvalid = "dspshared::system::fixptAttributesInvalid";
inline constexpr const char* kPortTypeNotFloat = "dspshared::system::portTypeNotFloat";
inline constexpr const char* kRtpDataInvalid = "dspshared::system::rtpDataInvalid";

}  // namespace dravo::dsphelpers
