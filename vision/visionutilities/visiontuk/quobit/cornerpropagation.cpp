// Propagation of the corner metric block's port attributes: dimensions (forward, backward, defaults, with
// the minimum size), dimensions mode and data types (forward, backward, defaults).
#include <string>
#include <type_traits>

#include "blockutils.h"
#include "quobit/quobit.h"
#include "quobit/roles.h"
#include "vekdsp.h"

using namespace sysobj;
using namespace VekSimCommon;
using namespace quobit;

namespace {

constexpr uint32_t kInputTypeMask = 0x66FF;
constexpr uint32_t kOutputTypeMask = 0x67FF;

bool failed(SysObjAdaptorSFun* S) {
    return ssGetErrorStatus(S) != nullptr;
}

bool isFloat(DataTypeId id) {
    return id == SS_DOUBLE || id == SS_SINGLE;
}

int32_t rowsOf(const DimsInfo_tag* di) {
    return di->numDims >= 1 ? di->dims[0] : 1;
}
int32_t colsOf(const DimsInfo_tag* di) {
    return di->numDims >= 2 ? di->dims[1] : 1;
}

// Below the minimum size: the message class with the two minimums.
bool checkSize(SysObjAdaptorSFun* S, const DimsInfo_tag* di, const char* messageClass) {
    int32_t minRows = 0, minCols = 0;
    minimumInputSize(S, &minRows, &minCols);
    if (failed(S)) return false;
    const int32_t rows = rowsOf(di), cols = colsOf(di);
    // Unknown sizes (-1) are judged when they become known.
    if ((rows >= 0 && rows < minRows) || (cols >= 0 && cols < minCols)) {
        dspError(S, messageClass, {std::to_string(minRows), std::to_string(minCols)});
        return false;
    }
    return true;
}

// The type the output takes for a given input type.
DataTypeId outputTypeFor(SysObjAdaptorSFun* S, DataTypeId in) {
    if (in == DYNAMICALLY_TYPED) return SS_DOUBLE;
    // A floating image keeps its type on both paths: logging alone must not change what the block outputs.
    if (isFloat(in)) return in;
    return fixedOutputDataType(S);
}

}  // namespace

DRAVO_CALLBACK void mdlSetInputPortFrameData(BlockHandle* S, int32_t port, int32_t frameData) {
    ssSetInputPortFrameData(S, port, frameData);
}

DRAVO_CALLBACK void mdlSetInputPortDimensionInfo(BlockHandle* S, int32_t port, const DimsInfo_tag* di) {
    if (!ssGetInputPortConnected(S, port)) {
        ssSetInputPortDimensionInfo(S, port, di);
        return;
    }
    if (!checkSize(S, di, "vision::system::inputDimsWrong")) return;
    // Only matrices: the host would refuse more dimensions without saying what the block expects.
    if (di->numDims > 2) {
        dspError(S, "dspshared::system::inputNot2D");
        return;
    }
    if (!ssSetInputPortDimensionInfo(S, port, di)) return;
    if (ssGetOutputPortWidth(S, 0) == -1) {
        const int32_t dims[2] = {rowsOf(di), colsOf(di)};
        blockutils::setOutputPortDimsFromArray(S, 0, dims, 2);
    }
}

DRAVO_CALLBACK void mdlSetOutputPortDimensionInfo(BlockHandle* S, int32_t port, const DimsInfo_tag* di) {
    if (!ssGetOutputPortConnected(S, port)) {
        ssSetOutputPortDimensionInfo(S, port, di);
        return;
    }
    if (!checkSize(S, di, "vision::system::outMetricTooSmall")) return;
    if (di->numDims > 2) {
        dspError(S, "dspshared::system::outputNot2D");
        return;
    }
    if (!ssSetOutputPortDimensionInfo(S, port, di)) return;
    if (ssGetInputPortWidth(S, kImagePort) == -1) {
        const int32_t dims[2] = {rowsOf(di), colsOf(di)};
        blockutils::setInputPortDimsFromArray(S, kImagePort, dims, 2);
    }
}

DRAVO_CALLBACK void mdlSetDefaultPortDimensionInfo(BlockHandle* S) {
    int32_t minRows = 0, minCols = 0;
    minimumInputSize(S, &minRows, &minCols);
    if (failed(S)) return;
    if (ssGetInputPortWidth(S, kImagePort) == -1 &&
        !ssSetInputPortMatrixDimensions(S, kImagePort, minRows, minCols))
        return;
    if (ssGetOutputPortWidth(S, 0) == -1) ssSetOutputPortMatrixDimensions(S, 0, minRows, minCols);
}

DRAVO_CALLBACK void mdlSetInputPortDimsMode(BlockHandle* S, int32_t port, int32_t dimsMode) {
    if (!ssSetInputPortDimensionsMode(S, port, dimsMode)) return;
    if (port == kImagePort) ssSetOutputPortDimensionsMode(S, 0, dimsMode);
}

DRAVO_CALLBACK void mdlSetInputPortDataType(BlockHandle* S, int32_t port, DataTypeId id) {
    if (!dspIsDataTypeSupported(S, id, 1, DSP_INPUT_PORT, nullptr, kInputTypeMask)) return;
    if (!ssSetInputPortDataType(S, port, id)) return;
    const DataTypeId out = outputTypeFor(S, id);
    if (failed(S) || out < 0) return;
    const DataTypeId current = ssGetOutputPortDataType(S, 0);
    if (current == DYNAMICALLY_TYPED) {
        ssSetOutputPortDataType(S, 0, out);
    } else if (current != out) {
        dspError(S, "vision::system::outDataTypeSettingMismatch");
    }
}

DRAVO_CALLBACK void mdlSetOutputPortDataType(BlockHandle* S, int32_t port, DataTypeId id) {
    if (!dspIsDataTypeSupported(S, id, 1, DSP_OUTPUT_PORT, nullptr, kOutputTypeMask)) return;
    if (isFloat(id)) {
        // A floating metric needs the image in the same floating type.
        const DataTypeId in = ssGetInputPortDataType(S, kImagePort);
        if (in != DYNAMICALLY_TYPED && in != id) {
            dspError(S, "vision::system::outDataTypeSettingMismatch");
            return;
        }
        if (in == DYNAMICALLY_TYPED && !ssSetInputPortDataType(S, kImagePort, id)) return;
        ssSetOutputPortDataType(S, port, id);
        return;
    }
    const DataTypeId in = ssGetInputPortDataType(S, kImagePort);
    if (in != DYNAMICALLY_TYPED) {
        const DataTypeId expected = outputTypeFor(S, in);
        if (failed(S)) return;
        if (id != expected) {
            dspError(S, "vision::system::outDataTypeSettingMismatch");
            return;
        }
    }
    ssSetOutputPortDataType(S, port, id);
}

DRAVO_CALLBACK void mdlSetDefaultPortDataTypes(BlockHandle* S) {
    if (ssGetInputPortDataType(S, kImagePort) != DYNAMICALLY_TYPED) return;
    if (ssGetOutputPortDataType(S, 0) != DYNAMICALLY_TYPED) {
        ssSetInputPortDataType(S, kImagePort, SS_UINT8);
        return;
    }
    if (!ssSetInputPortDataType(S, kImagePort, SS_DOUBLE)) return;
    ssSetOutputPortDataType(S, 0, SS_DOUBLE);
}

static_assert(std::is_same_v<decltype(mdlSetInputPortFrameData), mdlSetInputPortFrameDataTYPE>);
static_assert(std::is_same_v<decltype(mdlSetInputPortDimensionInfo), mdlSetInputPortDimensionInfoTYPE>);
static_assert(std::is_same_v<decltype(mdlSetOutputPortDimensionInfo), mdlSetOutputPortDimensionInfoTYPE>);
static_assert(std::is_same_v<decltype(mdlSetDefaultPortDimensionInfo), mdlSetDefaultPortDimensionInfoTYPE>);
static_assert(std::is_same_v<decltype(mdlSetInputPortDimsMode), mdlSetInputPortDimsModeTYPE>);
static_assert(std::is_same_v<decltype(mdlSetInputPortDataType), mdlSetInputPortDataTypeTYPE>);
static_assert(std::is_same_v<decltype(mdlSetOutputPortDataType), mdlSetOutputPortDataTypeTYPE>);
static_assert(std::is_same_v<decltype(mdlSetDefaultPortDataTypes), mdlSetDefaultPortDataTypesTYPE>);
