// Propagation of the rotate block's port attributes: number of dimensions, dimensions (forward, backward,
// defaults), dimensions mode and data types (forward, backward, defaults, the angle port).
#include <type_traits>

#include "blockutils.h"
#include "pellor/pellor.h"
#include "vekdsp.h"

using namespace sysobj;
using namespace VekSimCommon;
using namespace pellor;

namespace {

constexpr uint32_t kImageTypeMask = 0x66FF;
constexpr uint32_t kAngleTypeMask = 0x2257;
constexpr const char* kTooManyInputDims = "Input signals with more than 3 dimensions are not supported.";
constexpr const char* kTooManyOutputDims = "Output signals with more than 3 dimensions are not supported.";

struct Shape {
    int32_t numDims = 0, rows = 0, cols = 1, planes = 1;
};

Shape shapeOf(const DimsInfo_tag* di) {
    Shape s;
    s.numDims = di->numDims;
    s.rows = di->numDims >= 1 ? di->dims[0] : 1;
    s.cols = di->numDims >= 2 ? di->dims[1] : 1;
    s.planes = di->numDims == 3 ? di->dims[2] : 1;
    return s;
}

Shape inputShape(SysObjAdaptorSFun* S) {
    Shape s;
    s.numDims = ssGetInputPortNumDimensions(S, kImagePort);
    blockutils::getInputPortMatrixDims(S, kImagePort, &s.rows, &s.cols, &s.planes);
    return s;
}

Shape outputShape(SysObjAdaptorSFun* S) {
    Shape s;
    s.numDims = ssGetOutputPortNumDimensions(S, 0);
    blockutils::getOutputPortMatrixDims(S, 0, &s.rows, &s.cols, &s.planes);
    return s;
}

bool is2D(int32_t numDims) {
    return numDims == 1 || numDims == 2;
}

// A 1-D or 2-D signal as a 2-D matrix, a 3-D one with its planes.
bool setPortShape(SysObjAdaptorSFun* S, bool output, const Shape& s, int32_t numDims) {
    int32_t dims[3] = {s.rows, s.cols, s.planes};
    const int32_t n = numDims == 3 ? 3 : 2;
    return output ? blockutils::setOutputPortDimsFromArray(S, 0, dims, n)
                  : blockutils::setInputPortDimsFromArray(S, kImagePort, dims, n);
}

// The output type of a fixed-point (or integer) image: from the output group (parameters 17 to 19).
void setOutputTypeFromInput(SysObjAdaptorSFun* S) {
    if (ssGetOutputPortDataType(S, 0) != DYNAMICALLY_TYPED) return;
    const DataTypeId in = ssGetInputPortDataType(S, kImagePort);
    int32_t wl = 0, fl = 0;
    switch (paramInt(S, kOutputMode)) {
        case 0:
            wl = paramInt(S, kOutputMode + 1);
            fl = paramInt(S, kOutputMode + 2);
            break;
        case 2:
            wl = dspGetDataTypeWordLength(S, in);
            fl = dspGetDataTypeFracLength(S, in);
            break;
        default:
            break;
    }
    dspSetOutputPortFixpt(S, 0, wl, fl, dspGetDataTypeSignedStatus(S, in) != 0);
}

void checkScaledDoubleAgreement(SysObjAdaptorSFun* S) {
    if (ssGetNumInputPorts(S) < 2) return;
    const DataTypeId image = ssGetInputPortDataType(S, kImagePort);
    const DataTypeId angle = ssGetInputPortDataType(S, kAnglePort);
    if (image == DYNAMICALLY_TYPED || angle == DYNAMICALLY_TYPED) return;
    if (dspIsDataTypeScaledDouble(S, image) != dspIsDataTypeScaledDouble(S, angle)) {
        dspError(S, "vision::system::allInportsScDoubles");
    }
}

bool isFloat(DataTypeId id) {
    return id == SS_DOUBLE || id == SS_SINGLE;
}

}  // namespace

DRAVO_CALLBACK void mdlSetInputPortNumberOfDimensions(BlockHandle* S, int32_t port, int32_t numDims) {
    if (port != kImagePort || !ssGetInputPortConnected(S, kImagePort)) return;
    if (numDims > 3) {
        ssSetErrorStatus(S, kTooManyInputDims);
        return;
    }
    // The output learns its full shape with the dimensions; here only a known output is checked.
    if (ssGetOutputPortWidth(S, 0) == -1) return;
    const int32_t outDims = ssGetOutputPortNumDimensions(S, 0);
    if (is2D(numDims) && outDims != 2) {
        dspError(S, "dspshared::system::outputNot2D");
    } else if (numDims == 3 && outDims != 3) {
        ssSetErrorStatus(S, "Output must be 3-D.");
    }
}

DRAVO_CALLBACK void mdlSetInputPortDimensionInfo(BlockHandle* S, int32_t port, const DimsInfo_tag* di) {
    if (port == kAnglePort) {
        if (di->width != 1) {
            dspError(S, "vision::system::angleNotScalar");
            return;
        }
        if (!is2D(di->numDims)) {
            dspError(S, "dspshared::system::inputNot1D2D");
            return;
        }
        ssSetInputPortDimensionInfo(S, kAnglePort, di);
        return;
    }
    if (di->numDims > 3) {
        ssSetErrorStatus(S, kTooManyInputDims);
        return;
    }
    if (!ssSetInputPortDimensionInfo(S, kImagePort, di)) return;
    if (!ssGetInputPortConnected(S, kImagePort)) return;

    const Shape in = shapeOf(di);
    if (!checkFillValueCount(S, in.planes)) return;
    Shape expected = in;
    if (isExpandedOutput(S)) {
        getFullOutputDimsForRotation(S, in.rows, in.cols, &expected.rows, &expected.cols);
        if (ssGetErrorStatus(S) != nullptr) return;
    }
    if (ssGetOutputPortWidth(S, 0) == -1) {
        setPortShape(S, true, expected, in.numDims);
        return;
    }
    const Shape out = outputShape(S);
    if (in.numDims == 3) {
        if (out.numDims != 3) {
            ssSetErrorStatus(S, "Output must be 3-D.");
        } else if (out.rows != expected.rows || out.cols != expected.cols || out.planes != in.planes) {
            dspError(S, "dspshared::system::inputDimPropError");
        }
        return;
    }
    if (out.numDims != 2) {
        dspError(S, "dspshared::system::outputNot2D");
    } else if (out.rows != expected.rows || out.cols != expected.cols) {
        dspError(S, "dspshared::system::inputDimPropError");
    }
}

DRAVO_CALLBACK void mdlSetOutputPortDimensionInfo(BlockHandle* S, int32_t port, const DimsInfo_tag* di) {
    if (di->numDims > 3) {
        ssSetErrorStatus(S, kTooManyOutputDims);
        return;
    }
    if (!ssSetOutputPortDimensionInfo(S, port, di)) return;
    if (!ssGetOutputPortConnected(S, 0)) return;

    const Shape out = shapeOf(di);
    if (!checkFillValueCount(S, out.planes)) return;
    const bool inputKnown = ssGetInputPortWidth(S, kImagePort) != -1;
    if (isExpandedOutput(S)) {
        // The input cannot be derived from an expanded output.
        if (!inputKnown) dspError(S, "vision::system::dimPropError");
        return;
    }
    if (!inputKnown) {
        setPortShape(S, false, out, out.numDims);
        return;
    }
    const Shape in = inputShape(S);
    if (is2D(out.numDims)) {
        if (!is2D(in.numDims)) {
            dspError(S, "dspshared::system::inputNot2D");
        } else if (in.rows != out.rows || in.cols != out.cols) {
            dspError(S, "dspshared::system::inputDimPropError");
        }
        return;
    }
    if (in.numDims != 3) {
        ssSetErrorStatus(S, "Input must be 3-D.");
    } else if (in.rows != out.rows || in.cols != out.cols || in.planes != out.planes) {
        dspError(S, "dspshared::system::inputDimPropError");
    }
}

DRAVO_CALLBACK void mdlSetDefaultPortDimensionInfo(BlockHandle* S) {
    for (int32_t port = 0; port < ssGetNumInputPorts(S); ++port) {
        if (ssGetInputPortWidth(S, port) == -1 && !ssSetInputPortMatrixDimensions(S, port, 1, 1)) return;
    }
    if (ssGetOutputPortWidth(S, 0) == -1 && !ssSetOutputPortMatrixDimensions(S, 0, 1, 1)) return;
}

DRAVO_CALLBACK void mdlSetInputPortDimsMode(BlockHandle* S, int32_t port, int32_t dimsMode) {
    if (port != kImagePort) {
        ssSetInputPortDimensionsMode(S, port, dimsMode);
        return;
    }
    if (!ssSetInputPortDimensionsMode(S, kImagePort, dimsMode)) return;
    ssSetOutputPortDimensionsMode(S, 0, dimsMode);
}

DRAVO_CALLBACK void mdlSetInputPortDataType(BlockHandle* S, int32_t port, DataTypeId id) {
    const bool image = port == kImagePort;
    if (!dspIsDataTypeSupported(S, id, 1, DSP_INPUT_PORT, image ? nullptr : "Angle",
                                image ? kImageTypeMask : kAngleTypeMask)) {
        return;
    }
    if (isFloat(id)) {
        if (!checkAndSetAllPortsToDblOrSngl(S, id)) return;
    } else {
        if (!ssSetInputPortDataType(S, port, id)) return;
        if (image) setOutputTypeFromInput(S);
        if (ssGetErrorStatus(S) != nullptr) return;
    }
    checkScaledDoubleAgreement(S);
}

DRAVO_CALLBACK void mdlSetOutputPortDataType(BlockHandle* S, int32_t port, DataTypeId id) {
    if (!dspIsDataTypeSupported(S, id, 1, DSP_OUTPUT_PORT, nullptr, kImageTypeMask)) return;
    // A floating image is rotated in its own type and an integer or fixed-point one by the fixed-point
    // engine: an output of the other kind would be written by the wrong engine, past its buffer.
    const DataTypeId image = ssGetInputPortDataType(S, kImagePort);
    if (image != DYNAMICALLY_TYPED && isFloat(image) != isFloat(id)) {
        dspError(S, "dspshared::system::inImgOutTypesDiffer");
        return;
    }
    if (isFloat(id)) {
        checkAndSetAllPortsToDblOrSngl(S, id);
        return;
    }
    if (paramInt(S, kOutputMode) != 2) {
        if (dspGetDataTypeWordLength(S, id) != paramInt(S, kOutputMode + 1) ||
            dspGetDataTypeFracLength(S, id) != paramInt(S, kOutputMode + 2)) {
            dspError(S, "dspshared::system::backPropFixptMismatchSpec");
            return;
        }
        if (!ssSetOutputPortDataType(S, port, id)) return;
        if (ssGetInputPortDataType(S, kImagePort) == DYNAMICALLY_TYPED) {
            ssSetInputPortDataType(S, kImagePort, isDataTypeSigned(S, id) ? SS_INT8 : SS_UINT8);
        }
        return;
    }
    if (!ssSetOutputPortDataType(S, port, id)) return;
    if (ssGetInputPortDataType(S, kImagePort) == DYNAMICALLY_TYPED) ssSetInputPortDataType(S, kImagePort, id);
}

DRAVO_CALLBACK void mdlSetDefaultPortDataTypes(BlockHandle* S) {
    const bool fromPort = isAngleFromPort(S) && ssGetNumInputPorts(S) > 1;
    if (ssGetInputPortDataType(S, kImagePort) == DYNAMICALLY_TYPED &&
        ssGetOutputPortDataType(S, 0) == DYNAMICALLY_TYPED) {
        DataTypeId d = SS_DOUBLE;
        if (fromPort) {
            const DataTypeId angle = ssGetInputPortDataType(S, kAnglePort);
            if (angle == DYNAMICALLY_TYPED) {
                if (!ssSetInputPortDataType(S, kAnglePort, SS_DOUBLE)) return;
            } else if (isFloat(angle)) {
                d = angle;
            } else if (dspIsDataTypeScaledDouble(S, angle)) {
                d = dspGetScaledDoubleDTypeIdFromNonOverrideDTypeId(S, SS_UINT8);
            } else {
                d = SS_UINT8;
            }
        }
        if (!ssSetInputPortDataType(S, kImagePort, d)) return;
        if (ssGetOutputPortDataType(S, 0) == DYNAMICALLY_TYPED) {
            if (isFloat(d)) {
                if (!ssSetOutputPortDataType(S, 0, d)) return;
            } else {
                setOutputTypeFromInput(S);
            }
        }
        if (ssGetErrorStatus(S) != nullptr) return;
    }
    if (fromPort && ssGetInputPortDataType(S, kAnglePort) == DYNAMICALLY_TYPED) {
        const DataTypeId image = ssGetInputPortDataType(S, kImagePort);
        if (isFloat(image)) {
            ssSetInputPortDataType(S, kAnglePort, image);
        } else {
            dspSetInputPortFixpt(S, kAnglePort, 16, 13, true, !dspIsDataTypeFixedPoint(S, image));
        }
    }
}

static_assert(std::is_same_v<decltype(mdlSetInputPortDimensionInfo), mdlSetInputPortDimensionInfoTYPE>);
static_assert(std::is_same_v<decltype(mdlSetOutputPortDimensionInfo), mdlSetOutputPortDimensionInfoTYPE>);
static_assert(std::is_same_v<decltype(mdlSetInputPortDataType), mdlSetInputPortDataTypeTYPE>);
static_assert(std::is_same_v<decltype(mdlSetOutputPortDataType), mdlSetOutputPortDataTypeTYPE>);
static_assert(std::is_same_v<decltype(mdlSetDefaultPortDataTypes), mdlSetDefaultPortDataTypesTYPE>);
static_assert(std::is_same_v<decltype(mdlSetInputPortDimsMode), mdlSetInputPortDimsModeTYPE>);
