// mdlSetWorkWidths of the corner metric block: the run-time parameters of each method (filter, range
// tables and k; or threshold, type limits and circle tables; the minimum metric when finding corners) and
// the four work vectors of the eigenvalue metrics.
#include <cmath>
#include <cstdint>
#include <type_traits>

#include "blockutils.h"
#include "quobit/quobit.h"
#include "quobit/roles.h"
#include "vekdsp.h"

using namespace sysobj;
using namespace VekSimCommon;
using namespace quobit;

namespace {

constexpr const char* kFragThreshold = "dspshared::systemmessagefragment::mapBlkIntensityComparisonThreshold";

bool failed(SysObjAdaptorSFun* S) {
    return ssGetErrorStatus(S) != nullptr;
}

// Data type of a working quantity of a role: the image's floating type whenever the image is floating.
DataTypeId workType(SysObjAdaptorSFun* S, Role role) {
    const DataTypeId in = ssGetInputPortDataType(S, kImagePort);
    if (blockutils::isBuiltInFloatType(in)) return in;
    return roleDataTypeId(S, role);
}

bool dialogRtp(SysObjAdaptorSFun* S, int32_t dlgIndex, Rtp which, DataTypeId type) {
    if (type < 0 || failed(S)) return false;
    return ssRegDlgParamAsRunTimeParam(S, dlgIndex, rtpIndex(S, which), rtpName(which), type) && !failed(S);
}

bool dataRtp(SysObjAdaptorSFun* S, Rtp which, const double* values, int32_t n, DataTypeId type) {
    if (type < 0 || failed(S)) return false;
    const int32_t dims[1] = {n};
    return ConvertDTypeAndCreateRTP(S, values, 1, dims, type, rtpIndex(S, which), rtpName(which)) &&
           !failed(S);
}

void inputSize(SysObjAdaptorSFun* S, int32_t* rows, int32_t* cols) {
    blockutils::getInputPortMatrixDims(S, kImagePort, rows, cols);
}

bool eigenvalueRtps(SysObjAdaptorSFun* S) {
    const int32_t L = filterLength(S);
    int32_t M = 0, N = 0;
    inputSize(S, &M, &N);
    if (!dialogRtp(S, kFilter, Rtp::Filter, workType(S, kRoleFilterCoeff))) return false;
    if (method(S) == kHarris && !dialogRtp(S, kSensitivity, Rtp::Factor, workType(S, kRoleFactorCoeff)))
        return false;
    const double colRange[4] = {0, double(L - 1), double(L - 1), double(N + L - 1)};
    const double rowRange[6] = {2, 1, 0, 0, double(L - 1), double(M + L - 1)};
    return dataRtp(S, Rtp::ColRange, colRange, 4, SS_INT32) &&
           dataRtp(S, Rtp::RowRange, rowRange, 6, SS_INT32);
}

// The threshold as the image type stores it (round to nearest, ties away from zero), so that the limits
// derived from it agree with the stored threshold.
double storedThreshold(SysObjAdaptorSFun* S, double t) {
    const DataTypeId in = ssGetInputPortDataType(S, kImagePort);
    if (blockutils::isBuiltInFloatType(in)) return in == SS_SINGLE ? double(float(t)) : t;
    const RoleType r = roleType(S, kRoleImage);
    return std::ldexp(std::round(std::ldexp(t, r.fracLength)), -r.fracLength);
}

bool comparisonRtps(SysObjAdaptorSFun* S) {
    const DataTypeId in = ssGetInputPortDataType(S, kImagePort);
    const bool floatPath = usesFloatingPath(S);
    if (!blockutils::isBuiltInFloatType(in) && !checkThresholdRange(S)) return false;
    dspParam threshold(S, kThreshold, kFragThreshold);
    if (failed(S)) return false;
    const double t = storedThreshold(S, threshold.getRealValueAsDouble(0));

    const DataTypeId imageType = in;
    if (!dialogRtp(S, kThreshold, Rtp::ValThr, imageType)) return false;
    if (!dialogRtp(S, kAngleChoice, Rtp::ThrAngle, floatPath ? in : SS_UINT32)) return false;
    double lo = 0.0, hi = 0.0;
    typeLimits(S, &lo, &hi);
    const double low = lo + t, high = hi - t;
    if (!dataRtp(S, Rtp::DtMin, &lo, 1, imageType) || !dataRtp(S, Rtp::DtLow, &low, 1, imageType) ||
        !dataRtp(S, Rtp::DtMax, &hi, 1, imageType) || !dataRtp(S, Rtp::DtHigh, &high, 1, imageType))
        return false;

    int32_t M = 0, N = 0;
    inputSize(S, &M, &N);
    int32_t offsets[32];
    fillCircleOffsets(M, offsets);
    double circle[32];
    for (int32_t i = 0; i < 32; ++i)
        circle[i] = offsets[i];
    const double steps[3] = {8, 4, 2};
    const double starts[3] = {3, 1, 0};
    return dataRtp(S, Rtp::Circle, circle, 32, SS_INT32) && dataRtp(S, Rtp::Step, steps, 3, SS_INT32) &&
           dataRtp(S, Rtp::Offset, starts, 3, SS_INT32);
}

bool declareWorkVectors(SysObjAdaptorSFun* S) {
    const int64_t L = filterLength(S);
    int32_t M = 0, N = 0;
    inputSize(S, &M, &N);
    const int64_t padWidth = 3 * L * (int64_t(M) + L - 1);
    if (padWidth > INT32_MAX) {
        dspError(S, "dspshared::system::memoryAllocationFailed");
        return false;
    }
    const DataTypeId padType = workType(S, kRoleMemory);
    if (padType < 0 || failed(S)) return false;
    if (!ssSetNumDWork(S, kNumDWorks)) {
        dspError(S, "dspshared::system::memoryAllocationFailed");
        return false;
    }
    const struct {
        int32_t index;
        const char* name;
        int64_t width;
        DataTypeId type;
        int32_t usage;
    } works[] = {
        {kDwPad, "DW_PAD", padWidth, padType, 2},
        {kDwNextPadIdx, "DW_NEXTPADIDX", L, SS_INT32, 0},
        {kDwColPadIdx, "DW_COLPADIDX", N + L - 1, SS_INT32, 0},
        {kDwRowPadIdx, "DW_ROWPADIDX", M + L - 1, SS_INT32, 0},
    };
    for (const auto& w : works) {
        if (!ssSetDWorkWidth(S, w.index, int32_t(w.width)) || !ssSetDWorkDataType(S, w.index, w.type) ||
            !ssSetDWorkComplexSignal(S, w.index, 0) || !ssSetDWorkName(S, w.index, w.name) ||
            !ssSetDWorkUsageType(S, w.index, w.usage)) {
            if (!failed(S)) dspError(S, "dspshared::system::memoryAllocationFailed");
            return false;
        }
    }
    return true;
}

}  // namespace

DRAVO_CALLBACK void mdlSetWorkWidths(BlockHandle* S) {
    const int32_t m = method(S);
    const bool corners = findsCorners(S);
    if (!usesFloatingPath(S) && !blockutils::isBuiltInFloatType(ssGetInputPortDataType(S, kImagePort)) &&
        !checkRolesOfMethod(S))
        return;
    if (!ssSetNumRunTimeParams(S, rtpCount(m, corners))) {
        dspError(S, "dspshared::system::rtpAllocFailed");
        return;
    }
    const bool ok = m == kComparison ? comparisonRtps(S) : eigenvalueRtps(S);
    if (!ok) return;
    if (corners && !dialogRtp(S, kMinMetric, Rtp::ThrMetric, ssGetOutputPortDataType(S, 0))) return;

    if (m == kComparison) {
        if (!ssSetNumDWork(S, 0)) return;
    } else if (!declareWorkVectors(S)) {
        return;
    }
    if (ssGetInputPortDimensionsMode(S, kImagePort) == 1) {
        ssSetSignalSizesComputeType(S, 0);
        ssSetInputPortDimsSameAsOutputPortDims(S, kImagePort, 0);
        ssAddVariableSizeSignalsRuntimeChecker(S, 1);
    }
}

static_assert(std::is_same_v<decltype(mdlSetWorkWidths), mdlSetWorkWidthsTYPE>);
