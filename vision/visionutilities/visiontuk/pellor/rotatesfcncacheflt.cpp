// The floating-point kernel object of the rotate block and mdlStartFltPt, which builds it.
#include <algorithm>
#include <cstring>
#include <new>

#include "blockutils.h"
#include "pellor/anglemath.h"
#include "pellor/pellor.h"
#include "pellor/quarterturn.h"
#include "pellor/rotatesfcncache.h"
#include "vekdsp.h"

using namespace sysobj;

namespace pellor {

namespace {

// The angle sample in the kernel's type, whatever built-in numeric type the port carries.
template <typename T>
T readAngle(const void* p, DataTypeId type) {
    switch (type) {
        case SS_DOUBLE:
            return static_cast<T>(*static_cast<const double*>(p));
        case SS_SINGLE:
            return static_cast<T>(*static_cast<const float*>(p));
        case SS_INT8:
            return static_cast<T>(*static_cast<const int8_t*>(p));
        case SS_UINT8:
            return static_cast<T>(*static_cast<const uint8_t*>(p));
        case SS_INT16:
            return static_cast<T>(*static_cast<const int16_t*>(p));
        case SS_UINT16:
            return static_cast<T>(*static_cast<const uint16_t*>(p));
        case SS_INT32:
            return static_cast<T>(*static_cast<const int32_t*>(p));
        case SS_UINT32:
            return static_cast<T>(*static_cast<const uint32_t*>(p));
        default:
            return T(0);
    }
}

}  // namespace

template <typename T>
RotateSFcnCacheFlt<T>::RotateSFcnCacheFlt(const FltKernelConfig<T>& config) : c_(config) {
    outputRoutine_ =
        c_.quarterTurnOnly ? &RotateSFcnCacheFlt::quarterTurnOutput : &RotateSFcnCacheFlt::shearOutput;
    setup_.skew = skewAtForMethod<T>(c_.method);
    setup_.method = c_.method == 1 || c_.method == 2 ? c_.method : 3;
    setup_.sineTable = c_.sineByTable ? c_.sineTable : nullptr;
    setup_.sheared = c_.sheared;
    setup_.line = c_.line;
    setSetupFromShape(setup_, c_, c_.centred);
}

template <typename T>
T RotateSFcnCacheFlt<T>::stepAngle() const {
    const T angle = readAngle<T>(c_.angle, c_.angleType);
    const T maxAngle = c_.maxAngle != nullptr ? *c_.maxAngle : T(0);
    return currentAngle(angle, c_.angleFromPort, maxAngle);
}

template <typename T>
void RotateSFcnCacheFlt<T>::output() {
    (this->*outputRoutine_)();
}

template <typename T>
void RotateSFcnCacheFlt<T>::quarterTurnOutput() {
    if (c_.rows == 1 && c_.cols == 1) {
        // A single pixel does not move. Each output plane is cleared (never past the output) and the
        // pixel of plane p goes to the start of plane p.
        const int64_t outPlane = int64_t(setup_.outRows) * setup_.outCols;
        if (outPlane == 1) {
            if (c_.output != c_.input) std::memmove(c_.output, c_.input, size_t(c_.planes) * sizeof(T));
            return;
        }
        std::memset(c_.output, 0, size_t(outPlane * c_.planes) * sizeof(T));
        for (int64_t p = 0; p < c_.planes; ++p)
            c_.output[p * outPlane] = c_.input[p];
        return;
    }
    quarterTurnCopy(c_.input, c_.rows, c_.cols, c_.planes, c_.quarterTurns, c_.output);
}

template <typename T>
void RotateSFcnCacheFlt<T>::shearOutput() {
    bool fits = true;
    geometry_ =
        rotateByShears(setup_, stepAngle(), c_.input, c_.output, c_.fill, c_.singleFill, &fits, &layout_);
    if (!fits) ssSetErrorStatus(c_.S, "Rotate: the work vectors are too small for this rotation.");
}

template <typename T>
void RotateSFcnCacheFlt<T>::processParameters() {
    if (!ssUpdateDlgParamAsRunTimeParam(c_.S, kRtpFillValue)) return;
    const ssParamRec* rec = ssGetRunTimeParamInfo(c_.S, kRtpFillValue);
    if (rec == nullptr || rec->data == nullptr) return;
    int64_t count = 1;
    for (int32_t d = 0; d < rec->nDimensions; ++d)
        count *= rec->dimensions[d];
    if (count != 1 && count != c_.planes) {
        VekSimCommon::dspError(c_.S, "vision::system::backgroundWrongDim");
        return;
    }
    c_.fill = static_cast<const T*>(rec->data);
    c_.singleFill = count == 1;
}

template <typename T>
void RotateSFcnCacheFlt<T>::setInputDims(int32_t rows, int32_t cols) {
    setInputDimsOf(c_, setup_, rows, cols, [&](int32_t r, int32_t c) {
        ReducedAngle how;
        const T theta = reduceRotationAngle(stepAngle(), &how);
        geometry_ = computeShearGeometry(theta, how.swap ? c : r, how.swap ? r : c, setup_.sineTable);
        return std::pair{geometry_.rotatedRows, geometry_.rotatedCols};
    });
}

template <typename T>
void RotateSFcnCacheFlt<T>::getOutputDims(int32_t* rows, int32_t* cols) const {
    *rows = c_.fullRows;
    *cols = c_.fullCols;
}

template class RotateSFcnCacheFlt<float>;
template class RotateSFcnCacheFlt<double>;

namespace {

template <typename T>
RotateSFcnCache* buildFltKernel(SysObjAdaptorSFun* S) {
    FltKernelConfig<T> c;
    if (!gatherKernelShape(S, c)) return nullptr;
    if (!c.quarterTurnOnly) {
        c.line = static_cast<T*>(ssGetDWork(S, kDWorkLineBuffer));
        c.sheared = static_cast<T*>(ssGetDWork(S, kDWorkShearedImage));
    }
    c.input = static_cast<const T*>(ssGetInputPortSignal(S, kImagePort));
    c.output = static_cast<T*>(ssGetOutputPortSignal(S, 0));
    c.sineByTable = isSineByTable(S);
    if (c.sineByTable) c.sineTable = static_cast<const T*>(VekSimCommon::GetRTPDataPtr(S, kRtpSineTable));
    c.angleFromPort = isAngleFromPort(S);
    if (c.angleFromPort) {
        c.angle = ssGetInputPortSignal(S, kAnglePort);
        c.angleType = ssGetInputPortDataType(S, kAnglePort);
        c.maxAngle = static_cast<const T*>(VekSimCommon::GetRTPDataPtr(S, kRtpAngle));
    } else {
        c.angle = VekSimCommon::GetRTPDataPtr(S, kRtpAngle);
        c.angleType = ssGetInputPortDataType(S, kImagePort);
    }
    c.fill = static_cast<const T*>(VekSimCommon::GetRTPDataPtr(S, kRtpFillValue));
    c.singleFill = getFillValueCount(S) == 1;
    c.centred = isCenteredPlacement(S);
    if (ssGetErrorStatus(S) != nullptr) return nullptr;
    if (c.input == nullptr || c.output == nullptr || c.angle == nullptr || c.fill == nullptr ||
        (c.sineByTable && c.sineTable == nullptr) || (c.angleFromPort && c.maxAngle == nullptr) ||
        (!c.quarterTurnOnly && (c.line == nullptr || c.sheared == nullptr))) {
        ssSetErrorStatus(S, "Rotate: the host did not provide the block's memory.");
        return nullptr;
    }
    RotateSFcnCache* cache = new (std::nothrow) RotateSFcnCacheFlt<T>(c);
    if (cache == nullptr) ssSetErrorStatus(S, "Rotate: out of memory.");
    return cache;
}

}  // namespace

}  // namespace pellor

using namespace pellor;

DRAVO_CALLBACK void mdlStartFltPt(BlockHandle* S) {
    RotateSFcnCache* cache = ssGetInputPortDataType(S, kImagePort) == SS_SINGLE ? buildFltKernel<float>(S)
                                                                                : buildFltKernel<double>(S);
    ssSetUserData(S, cache);
}
