// Helpers every image plug-in carries in its own copy. Failures set the host's error status and return a
// plain value; nothing here throws.
#include "blockutils.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "vekdsp.h"

#if __has_include("vekfixpt.h")
#include "vekfixpt.h"
#define DRAVO_HAVE_FIXPT_HANDLE 1
#endif

using namespace sysobj;

// Weak so a plug-in links whether or not the library defining the default record is in the build; when it
// is absent the record's documented defaults are used.
__attribute__((weak)) fxpDataTypeProp fxpGetDataTypePropertiesDefault();

namespace blockutils {

namespace {

const char kWriteParamsFailed[] = "Error encountered writing block parameters.";
const char kScaledDoubleRefused[] = "Scaled doubles not yet supported.";
constexpr DataTypeId kScaledDoubleRefusal = -10;

// Shared by all instances of the plug-in: only written on the error path, and the host copies the text
// before the next callback.
char notInfOrNaNMessage[256];

// 2^n exactly in double for any integer n, by repeated squaring; negative n gives the reciprocal.
double pow2(int32_t n) {
    double result = 1.0;
    double base = 2.0;
    uint32_t e = n < 0 ? static_cast<uint32_t>(-static_cast<int64_t>(n)) : static_cast<uint32_t>(n);
    while (e != 0) {
        if (e & 1u) result *= base;
        base *= base;
        e >>= 1;
    }
    return n < 0 ? 1.0 / result : result;
}

bool isRangeFixedToUnit(DataTypeId id) {
    return id == SS_DOUBLE || id == SS_SINGLE || id == SS_BOOLEAN;
}

void matrixDims(int32_t numDims, const int32_t* dims, int32_t* rows, int32_t* cols, int32_t* depth) {
    // A port whose dimensions are not known yet has no sizes to read; report them as unknown.
    const bool known = dims != nullptr && numDims >= 1;
    if (rows) *rows = known ? dims[0] : -1;
    if (cols) *cols = !known ? -1 : (numDims >= 2 ? dims[1] : 1);
    if (depth) *depth = !known ? -1 : (numDims == 3 ? dims[2] : 1);
}

// Fills a dimension record from an array; false (error set) when the request cannot be a signal size.
bool dimsInfoFromArray(SysObjAdaptorSFun* S, const int32_t* dims, int32_t numDims, DimsInfo_tag* di) {
    *di = getDefaultDimensionInfo();
    if (numDims < 0 || (numDims > 0 && dims == nullptr)) {
        ssSetErrorStatus(S, "Invalid number of dimensions for a port.");
        return false;
    }
    int64_t width = 1;
    for (int32_t i = 0; i < numDims; ++i) {
        if (dims[i] < 0) {
            width = -1;  // not yet known
            break;
        }
        width *= dims[i];
        if (width > std::numeric_limits<int32_t>::max()) {
            ssSetErrorStatus(S, "Port dimensions exceed the largest possible signal width.");
            return false;
        }
    }
    di->width = static_cast<int32_t>(width);
    if (numDims == 0) {
        // No sizes at all is one element; the host keeps every signal with at least one dimension.
        static const int32_t kOneElement[1] = {1};
        di->numDims = 1;
        di->dims = const_cast<int32_t*>(kOneElement);
        return true;
    }
    di->numDims = numDims;
    di->dims = const_cast<int32_t*>(dims);  // the host copies the sizes
    return true;
}

// Popups and modes: the first real element, truncated. Anything that is not a finite number reads as 0,
// which no popup uses.
int32_t readPopup(SysObjAdaptorSFun* S, int32_t paramIndex) {
    const qzArray_tag* a = ssGetSFcnParam(S, paramIndex);
    if (a == nullptr || qzIsEmpty(a)) return 0;
    const double v = qzGetRealElementAsDouble(a, 0);
    if (!std::isfinite(v) || v < std::numeric_limits<int32_t>::min() ||
        v > std::numeric_limits<int32_t>::max())
        return 0;
    return static_cast<int32_t>(v);
}

}  // namespace

bool isNaNDouble(double v) {
    return v != v;
}

bool isFiniteDouble(double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    constexpr uint64_t exponentMask = 0x7FF0000000000000ull;
    return (bits & exponentMask) != exponentMask;
}

DataTypeId getContainerDataTypeId(SysObjAdaptorSFun* S, DataTypeId id) {
    if (isRangeFixedToUnit(id)) return id;
    const int32_t bytes = ssGetDataTypeSize(S, id);
    if (bytes <= 0 || bytes > 4) return id;
    const bool isSigned = VekSimCommon::isDataTypeSigned(S, id);
    if (bytes == 1) return isSigned ? SS_INT8 : SS_UINT8;
    if (bytes == 2) return isSigned ? SS_INT16 : SS_UINT16;
    return isSigned ? SS_INT32 : SS_UINT32;
}

void setFixptDataTypeProps(SysObjAdaptorSFun* S, fxpDataTypeProp* props, DataTypeId id) {
    if (&fxpGetDataTypePropertiesDefault != nullptr) {
        *props = fxpGetDataTypePropertiesDefault();
    } else {
        *props = fxpDataTypeProp{};
        props->isSigned = 1;
        props->wordLength = 16;
    }
    props->dataTypeClass = 0;
    props->isSigned = VekSimCommon::dspGetDataTypeSignedStatus(S, id) != 0 ? 1 : 0;
    props->wordLength = VekSimCommon::dspGetDataTypeWordLength(S, id);
    props->fixedExponent = -VekSimCommon::dspGetDataTypeFracLength(S, id);
    props->slopeAdjustmentFactor = 1.0;
    props->bias = 0.0;
}

bool isBuiltInIntegerType(DataTypeId id) {
    return id >= SS_INT8 && id <= SS_UINT32;
}

bool isBuiltInFloatType(DataTypeId id) {
    return id == SS_DOUBLE || id == SS_SINGLE;
}

namespace {

void writeDataTypeIdParam(SysObjAdaptorSFun* S, int32_t wordLength, int32_t fracLength, int32_t isSigned,
                          int32_t overrideArg, const char* paramName, bool* written) {
    *written = false;
    const DataTypeId id =
        VekSimCommon::dspGetFixPtDataTypeIDFromAttribs(S, isSigned, wordLength, fracLength, overrideArg);
    if (id < 0 || ssGetErrorStatus(S) != nullptr) return;
    if (!ssWriteTarnNameValuePair(S, 8, paramName, &id, SS_INT32, 1, 1)) {
        ssSetErrorStatus(S, kWriteParamsFailed);
        return;
    }
    *written = true;
}

}  // namespace

void writeFixptDataTypeParam(SysObjAdaptorSFun* S, int32_t wordLength, int32_t fracLength, int32_t isSigned,
                             const char* paramName) {
    bool written;
    writeDataTypeIdParam(S, wordLength, fracLength, isSigned, 0, paramName, &written);
}

void writeFixptDataTypeParamFromHandle(SysObjAdaptorSFun* S, VekDSPFixpt::DSPDataAttributesHandle* attr,
                                       const char* paramName) {
#ifdef DRAVO_HAVE_FIXPT_HANDLE
    if (attr == nullptr) {
        ssSetErrorStatus(S, kWriteParamsFailed);
        return;
    }
    bool written;
    writeDataTypeIdParam(S, attr->getWordLength(), attr->getFracLength(), attr->isSigned() ? 1 : 0, 2,
                         paramName, &written);
    if (written) delete attr;
#else
    (void)attr;
    (void)paramName;
    ssSetErrorStatus(S, kWriteParamsFailed);
#endif
}

void getInputPortMatrixDims(SysObjAdaptorSFun* S, int32_t port, int32_t* rows, int32_t* cols,
                            int32_t* depth) {
    matrixDims(ssGetInputPortNumDimensions(S, port), ssGetInputPortDimensions(S, port), rows, cols, depth);
}

void getOutputPortMatrixDims(SysObjAdaptorSFun* S, int32_t port, int32_t* rows, int32_t* cols,
                             int32_t* depth) {
    matrixDims(ssGetOutputPortNumDimensions(S, port), ssGetOutputPortDimensions(S, port), rows, cols, depth);
}

bool isDataTypeOverrideOne(SysObjAdaptorSFun* S) {
    return ssGetDataTypeOverride(S) == 1;
}

DataTypeId checkNotScaledDouble(SysObjAdaptorSFun* S, DataTypeId id) {
    if (id == SS_BOOLEAN) return id;
    if (VekSimCommon::dspIsDataTypeScaledDouble(S, id)) {
        ssSetErrorStatus(S, kScaledDoubleRefused);
        return kScaledDoubleRefusal;
    }
    return id;
}

DataTypeId checkNotScaledDoubleInputPort(SysObjAdaptorSFun* S, int32_t port) {
    return checkNotScaledDouble(S, ssGetInputPortDataType(S, port));
}

DataTypeId checkNotScaledDoubleOutputPort(SysObjAdaptorSFun* S, int32_t port) {
    return checkNotScaledDouble(S, ssGetOutputPortDataType(S, port));
}

bool setInputPortDimsFromArray(SysObjAdaptorSFun* S, int32_t port, const int32_t* dims, int32_t numDims) {
    DimsInfo_tag di;
    if (!dimsInfoFromArray(S, dims, numDims, &di)) return false;
    return ssSetInputPortDimensionInfo(S, port, &di);
}

bool setOutputPortDimsFromArray(SysObjAdaptorSFun* S, int32_t port, const int32_t* dims, int32_t numDims) {
    DimsInfo_tag di;
    if (!dimsInfoFromArray(S, dims, numDims, &di)) return false;
    return ssSetOutputPortDimensionInfo(S, port, &di);
}

bool isInputPort1to3D(SysObjAdaptorSFun* S, int32_t port) {
    const int32_t n = ssGetInputPortNumDimensions(S, port);
    return n >= 1 && n <= 3;
}

bool isOutputPort1to3D(SysObjAdaptorSFun* S, int32_t port) {
    const int32_t n = ssGetOutputPortNumDimensions(S, port);
    return n >= 1 && n <= 3;
}

bool isInputPort3D(SysObjAdaptorSFun* S, int32_t port) {
    return ssGetInputPortNumDimensions(S, port) == 3;
}

bool isOutputPort3D(SysObjAdaptorSFun* S, int32_t port) {
    return ssGetOutputPortNumDimensions(S, port) == 3;
}

double getDataTypeMaxValue(SysObjAdaptorSFun* S, DataTypeId id) {
    if (isRangeFixedToUnit(id)) return 1.0;
    const int32_t wordLength = VekSimCommon::dspGetDataTypeWordLength(S, id);
    if (wordLength <= 0) return 0.0;  // not a known type: no range
    const int32_t fracLength = VekSimCommon::dspGetDataTypeFracLength(S, id);
    const bool isSigned = VekSimCommon::dspGetDataTypeSignedStatus(S, id) != 0;
    const double storedMax = isSigned ? pow2(wordLength - 1) - 1.0 : pow2(wordLength) - 1.0;
    return storedMax / pow2(fracLength);
}

double getDataTypeMinValue(SysObjAdaptorSFun* S, DataTypeId id) {
    if (isRangeFixedToUnit(id)) return 0.0;
    const int32_t wordLength = VekSimCommon::dspGetDataTypeWordLength(S, id);
    if (wordLength <= 0) return 0.0;
    if (VekSimCommon::dspGetDataTypeSignedStatus(S, id) == 0) return 0.0;
    const int32_t fracLength = VekSimCommon::dspGetDataTypeFracLength(S, id);
    return -pow2(wordLength - 1) / pow2(fracLength);
}

bool checkParamNotInfOrNaN(SysObjAdaptorSFun* S, int32_t index, const char* name) {
    if (ssGetSimMode(S) == 1 && qzIsEmpty(ssGetSFcnParam(S, index))) return false;
    const VekSimCommon::dspParam param(S, index, name);
    if (!param.isFloat()) return false;
    const bool complex = param.isComplex();
    const int32_t n = param.getNumberOfElements();
    for (int32_t i = 0; i < n; ++i) {
        const double re = param.getRealValueAsDouble(i);
        // An Inf or NaN hidden in the imaginary part is just as unusable as one in the real part.
        const double im = complex ? param.getImagValueAsDouble(i) : 0.0;
        if (!isFiniteDouble(re) || isNaNDouble(re) || !isFiniteDouble(im) || isNaNDouble(im)) {
            std::snprintf(notInfOrNaNMessage, sizeof notInfOrNaNMessage, "%s cannot be Inf or NaN",
                          name != nullptr ? name : "Parameter");
            ssSetErrorStatus(S, notInfOrNaNMessage);
            return true;
        }
    }
    return false;
}

bool isMinMaxOverflowLoggingOne(SysObjAdaptorSFun* S) {
    int32_t logging = 3;
    logging = ssGetMinMaxOverflowLogging(S);
    return logging == 1;
}

bool useFloatingPointPath(SysObjAdaptorSFun* S, int32_t inputPort) {
    if (!isBuiltInFloatType(ssGetInputPortDataType(S, inputPort))) return false;
    if (!isMinMaxOverflowLoggingOne(S)) return true;
    const int32_t simMode = ssGetSimMode(S);
    return simMode == 2 || simMode == 3;
}

int32_t getRoundingModeParam(SysObjAdaptorSFun* S, int32_t paramIndex) {
    static constexpr int32_t kRoundingByPopup[] = {2, 6, 3, 1, 5, 4, 0};
    const int32_t popup = readPopup(S, paramIndex);
    if (popup < 1 || popup > 7) {
        ssSetErrorStatus(S, "Invalid rounding mode.");
        return 0;
    }
    return kRoundingByPopup[popup - 1];
}

int32_t getOverflowModeParam(SysObjAdaptorSFun* S, int32_t paramIndex) {
    const int32_t popup = readPopup(S, paramIndex);
    if (popup < 1 || popup > 2) {
        ssSetErrorStatus(S, "Invalid overflow mode.");
        return 0;
    }
    return popup - 1;
}

}  // namespace blockutils
