// Dialog parameters of the corner metric block: readers, the minimum input size, the run-time parameter
// index table, the threshold range check and mdlCheckParameters.
#include <cfloat>
#include <cmath>
#include <type_traits>

#include "blockutils.h"
#include "quobit/quobit.h"
#include "quobit/roles.h"
#include "vekdsp.h"

using namespace sysobj;
using namespace VekSimCommon;

namespace quobit {

namespace {
constexpr const char* kFragFilter = "dspshared::systemmessagefragment::mapBlkSmoothingFilterCoefficients";
constexpr const char* kFragSensitivity = "dspshared::systemmessagefragment::mapBlkSensitivity";
constexpr const char* kFragThreshold = "dspshared::systemmessagefragment::mapBlkIntensityComparisonThreshold";
constexpr const char* kFragMinMetric =
    "dspshared::systemmessagefragment::mapBlkMinimumMetricValueThatIndicatesACorner";
constexpr const char* kFragMaxCorners = "dspshared::systemmessagefragment::mapBlkMaximumNumberOfCorners";
constexpr const char* kFragNeighbourhood = "dspshared::systemmessagefragment::mapBlkNeighborhoodSize";

// Checker codes of the DSP helper library.
constexpr int32_t kShapeScalar = 1, kShapeVector = 2;
constexpr int32_t kClassWhole = 1, kClassFinite = 2;
constexpr int32_t kRuleAbove = 1, kRuleAtLeast = 2, kRuleBelow = 3;

// The largest single value: the comparison limits of floating images, whatever their precision.
constexpr double kLargestSingle = 3.4028234663852886e38;

// Integer part of a size value, kept within int32 (NaN and negatives give 0).
int32_t sizeValue(double v) {
    if (!(v > 0.0)) return 0;
    return v >= 2.0e9 ? 2000000000 : static_cast<int32_t>(v);
}

bool checkFilter(SysObjAdaptorSFun* S) {
    const int32_t n = static_cast<int32_t>(qzGetNumberOfElements(ssGetSFcnParam(S, kFilter)));
    if (n <= 5 || n % 2 != 0 || (n / 2) % 2 == 0) {
        dspError(S, "vision::system::smoothFltWronNumElem");
        return false;
    }
    dspParamCheckerID values(S, 1);
    values.setRealOnly(true).setValueClassCheck(kClassFinite);
    return values.check(kFilter, kFragFilter);
}

}  // namespace

double paramDouble(SysObjAdaptorSFun* S, int32_t index) {
    return qzGetRealElementAsDouble(ssGetSFcnParam(S, index), 0);
}

int32_t paramInt(SysObjAdaptorSFun* S, int32_t index) {
    const double v = paramDouble(S, index);
    if (!std::isfinite(v) || std::fabs(v) > 2.0e9) return 0;
    return static_cast<int32_t>(v);
}

int32_t method(SysObjAdaptorSFun* S) {
    return paramInt(S, kMethod);
}

int32_t effectiveOutputMode(SysObjAdaptorSFun* S) {
    const int32_t mode = paramInt(S, kOutputMode);
    return mode == 4 ? paramInt(S, kOutputModeSecond) : mode;
}

int32_t filterLength(SysObjAdaptorSFun* S) {
    return static_cast<int32_t>(qzGetNumberOfElements(ssGetSFcnParam(S, kFilter)) / 2);
}

void minimumInputSize(SysObjAdaptorSFun* S, int32_t* minRows, int32_t* minCols) {
    const int32_t start = method(S) == kComparison ? 7 : 3;
    *minRows = start;
    *minCols = start;
    if (!findsCorners(S)) return;
    dspParam size(S, kNeighbourhood, kFragNeighbourhood);
    const int32_t r = sizeValue(size.getRealValueAsDouble(0)) + 2;
    const int32_t c = sizeValue(size.getRealValueAsDouble(1)) + 2;
    if (r > *minRows) *minRows = r;
    if (c > *minCols) *minCols = c;
}

bool usesFloatingPath(SysObjAdaptorSFun* S) {
    return blockutils::isBuiltInFloatType(ssGetInputPortDataType(S, kImagePort)) &&
           blockutils::useFloatingPointPath(S, kImagePort);
}

void typeLimits(SysObjAdaptorSFun* S, double* lo, double* hi) {
    const DataTypeId in = ssGetInputPortDataType(S, kImagePort);
    if (usesFloatingPath(S) || blockutils::isBuiltInFloatType(in)) {
        *lo = -kLargestSingle;
        *hi = kLargestSingle;
        return;
    }
    const RoleType t = roleType(S, kRoleImage);
    const double scale = std::ldexp(1.0, -t.fracLength);
    if (t.isSigned) {
        *lo = -std::ldexp(1.0, t.wordLength - 1) * scale;
        *hi = (std::ldexp(1.0, t.wordLength - 1) - 1.0) * scale;
    } else {
        *lo = 0.0;
        *hi = (std::ldexp(1.0, t.wordLength) - 1.0) * scale;
    }
}

bool checkThresholdRange(SysObjAdaptorSFun* S) {
    if (blockutils::isBuiltInFloatType(ssGetInputPortDataType(S, kImagePort))) return true;
    double lo = 0.0, hi = 0.0;
    typeLimits(S, &lo, &hi);
    dspParamCheckerID range(S, 1);
    range.setShape(kShapeScalar).setRealOnly(true).setValueClassCheck(kClassFinite);
    range.setValueRule(kRuleBelow, 0.0, (hi - lo) / 2.0);
    return range.check(kThreshold, kFragThreshold);
}

int32_t rtpIndexFor(int32_t m, bool corners, Rtp which) {
    if (m == kComparison) {
        switch (which) {
            case Rtp::ThrAngle:
                return 0;
            case Rtp::ValThr:
                return 1;
            case Rtp::DtMin:
                return 2;
            case Rtp::DtMax:
                return 3;
            case Rtp::DtLow:
                return 4;
            case Rtp::DtHigh:
                return 5;
            case Rtp::Circle:
                return 6;
            case Rtp::Step:
                return 7;
            case Rtp::Offset:
                return 8;
            case Rtp::ThrMetric:
                return corners ? 9 : -1;
            default:
                return -1;
        }
    }
    switch (which) {
        case Rtp::Filter:
            return 0;
        case Rtp::ColRange:
            return 1;
        case Rtp::RowRange:
            return 2;
        case Rtp::Factor:
            return m == kHarris ? 3 : -1;
        case Rtp::ThrMetric:
            return corners ? (m == kHarris ? 4 : 3) : -1;
        default:
            return -1;
    }
}

int32_t rtpIndex(SysObjAdaptorSFun* S, Rtp which) {
    return rtpIndexFor(method(S), findsCorners(S), which);
}

int32_t rtpCount(int32_t m, bool corners) {
    const int32_t base = m == kHarris ? 4 : m == kMinEigen ? 3 : 9;
    return base + (corners ? 1 : 0);
}

const char* rtpName(Rtp which) {
    static constexpr const char* kNames[] = {
        "FILTER_RTP",   "COLRANGE_RTP", "ROWRANGE_RTP", "FACTOR_RTP", "THRMETRIC_RTP",
        "THRANGLE_RTP", "VALTHR_RTP",   "DTMIN_RTP",    "DTMAX_RTP",  "DTLOW_RTP",
        "DTHIGH_RTP",   "CIRCLE_RTP",   "STEP_RTP",     "OFFSET_RTP",
    };
    return kNames[static_cast<int32_t>(which)];
}

void fillCircleOffsets(int32_t rows, int32_t* offsets) {
    for (int32_t i = 0; i < 32; ++i)
        offsets[i] = kCircleRows[i % 16] + kCircleCols[i % 16] * rows;
}

}  // namespace quobit

using namespace quobit;

DRAVO_CALLBACK void mdlCheckParameters(BlockHandle* S) {
    if (!dspIsPopupParamValid(S, kMethod, 1, 3)) return;
    if (!dspIsPopupParamValid(S, kOutputMode, 1, 4)) return;
    if (!dspIsPopupParamValid(S, kOutputModeSecond, 1, 3)) return;
    const int32_t m = method(S);

    if (m != kComparison && !checkFilter(S)) return;

    // One checker, each rule changing or adding to what the earlier ones set.
    dspParamCheckerID checker(S, 1);
    checker.setShape(kShapeScalar).setRealOnly(true).setValueClassCheck(kClassFinite);
    if (m == kHarris) {
        checker.setValueRule(kRuleAbove, 0.0);
        if (!checker.check(kSensitivity, kFragSensitivity)) return;
        checker.setValueRule(kRuleBelow, 0.0, 0.25);
        if (!checker.check(kSensitivity, kFragSensitivity)) return;
    }
    if (m != kHarris) {
        checker.setValueRule(kRuleAtLeast, 0.0);
        if (!checker.check(kThreshold, kFragThreshold)) return;
        if (!dspIsPopupParamValid(S, kAngleChoice, 1, 7)) return;
    }
    if (findsCorners(S)) {
        checker.setValueRule(kRuleAtLeast, 0.0);
        if (!checker.check(kMinMetric, kFragMinMetric)) return;
        checker.setValueClassCheck(kClassWhole);
        if (!checker.check(kMaxCorners, kFragMaxCorners)) return;
        checker.setShape(kShapeVector).setNumElements(2).setValueRuleOff();
        if (!checker.check(kNeighbourhood, kFragNeighbourhood)) return;
        checker.setValueRule(kRuleAtLeast, 0.0);
        if (!checker.check(kNeighbourhood, kFragNeighbourhood)) return;
    }
    if (!dspIsPopupParamValid(S, kRoundingMode, 1, 7)) return;
    dspIsPopupParamValid(S, kOverflowMode, 1, 2);
}

static_assert(std::is_same_v<decltype(mdlCheckParameters), mdlCheckParametersTYPE>);
