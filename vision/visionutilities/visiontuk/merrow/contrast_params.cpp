// Contrast adjustment block: dialog parameter readers and the dialog checks, in their fixed order.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "blockcallbacks.h"
#include "merrow/contrast_params.h"
#include "merrow/contrast_state.h"
#include "vekdsp.h"

using namespace sysobj;
using namespace VekSimCommon;

namespace merrow {

namespace {

const char kFragInputRange[] = "dspshared::systemmessagefragment::mapBlkInputPixelValueRange";
const char kFragFractions[] = "dspshared::systemmessagefragment::mapBlkPercentagesOfPixeslToSaturate";
const char kFragNumBins[] = "dspshared::systemmessagefragment::mapBlkNumberOfHistogramBins";
const char kFragOutputRange[] = "dspshared::systemmessagefragment::mapBlkOutputPixelValueRange";
const char kFragWordLength[] = "dspshared::systemmessagefragment::mapBlkWordLength";
const char kFragFracLength[] = "dspshared::systemmessagefragment::mapBlkFractionLength";
const char kFractionsName[] = "Percentages of pixels to saturate [low high]";

struct ProductMessages {
    int32_t modeIndex;
    const char* wordLength;
    const char* fracLength;
};

const ProductMessages kProducts[] = {
    {kParamProduct1Mode, "The Product 1 word length must be a positive integer between 2 and 128 inclusive",
     "The Product 1 fractional length must be an integer"},
    {kParamProduct2Mode, "The Product 2 word length must be a positive integer between 2 and 128 inclusive",
     "The Product 2 fractional length must be an integer"},
};

bool isEmptyInSizesOnlyMode(SysObjAdaptorSFun* S, int32_t index) {
    return ssGetSimMode(S) == 1 && qzIsEmpty(ssGetSFcnParam(S, index));
}

// Two finite real values: the range check the library reports itself.
bool checkRange(SysObjAdaptorSFun* S, int32_t index, const char* fragment) {
    dspParamCheckerID range(S);
    range.setShape(2).setNumElements(2).setRealOnly(true).setValueClassCheck(2);
    return range.check(index, fragment);
}

// The library only gives the verdict here; the block words the message.
bool passesLengthCheck(SysObjAdaptorSFun* S, int32_t index, bool wordLength) {
    if (isEmptyInSizesOnlyMode(S, index)) return true;
    dspParamCheckerID length(S);
    length.setShape(1).setRealOnly(true).setValueClassCheck(1);
    if (wordLength) length.setValueRule(9, 2.0, 128.0);
    return length.check(index, wordLength ? kFragWordLength : kFragFracLength);
}

bool checkProductTypes(SysObjAdaptorSFun* S) {
    for (const ProductMessages& p : kProducts) {
        if (!dspIsPopupParamValid(S, p.modeIndex, 1, 2)) return false;
        if (!passesLengthCheck(S, p.modeIndex + 1, true)) {
            ssSetErrorStatus(S, p.wordLength);
            return false;
        }
        if (!passesLengthCheck(S, p.modeIndex + 2, false)) {
            ssSetErrorStatus(S, p.fracLength);
            return false;
        }
    }
    return true;
}

bool checkInputRange(SysObjAdaptorSFun* S) {
    if (!checkRange(S, kParamInputRange, kFragInputRange)) return false;
    if (qzIsEmpty(ssGetSFcnParam(S, kParamInputRange))) return true;
    if (readElement(S, kParamInputRange, 0) > readElement(S, kParamInputRange, 1)) {
        dspError(S, "vision::system::pixelUpperLimitWrong");
        return false;
    }
    return true;
}

bool checkHistogramSettings(SysObjAdaptorSFun* S) {
    if (!checkRange(S, kParamSaturationFractions, kFragFractions)) return false;
    if (!qzIsEmpty(ssGetSFcnParam(S, kParamSaturationFractions))) {
        const double low = readElement(S, kParamSaturationFractions, 0);
        const double high = readElement(S, kParamSaturationFractions, 1);
        if (low < 0.0 || high < 0.0) {
            dspError(S, "vision::system::settingNotPositive", {kFractionsName});
            return false;
        }
        if (low + high >= 1.0) {
            dspError(S, "vision::system::sumPixSatTooBig");
            return false;
        }
    }
    // The kernels need at least one bin; the upper bound keeps the histogram's work vector sane.
    dspParamCheckerID bins(S);
    bins.setShape(1).setRealOnly(true).setValueClassCheck(1).setValueRule(9, 1.0, kMaxNumBins);
    return bins.check(kParamNumBins, kFragNumBins);
}

// A running fixed-point kernel keeps the "Fraction" type chosen at start; a tuned fraction beyond its
// range would otherwise be saturated without a word.
bool checkTunedFractionsFit(SysObjAdaptorSFun* S) {
    const auto* st = static_cast<const ContrastState*>(ssGetUserData(S));
    if (st == nullptr || st->fix == nullptr || st->inputRangeMode != kInputFromHistogram) return true;
    const double largest = std::ldexp(2147483647.0, -st->fractionFracLength);
    const double wanted =
        std::max(readElement(S, kParamSaturationFractions, 0), readElement(S, kParamSaturationFractions, 1));
    if (wanted <= largest) return true;
    static char message[256];
    std::snprintf(
        message, sizeof message,
        "While the simulation runs, the percentages of pixels to saturate cannot exceed %.9g: their "
        "fixed-point type was chosen at start from the initial values.",
        largest);
    ssSetErrorStatus(S, message);
    return false;
}

}  // namespace

int32_t readPopup(SysObjAdaptorSFun* S, int32_t index) {
    const qzArray_tag* a = ssGetSFcnParam(S, index);
    if (a == nullptr || qzIsEmpty(a)) return 0;
    const double v = qzGetScalar(a);
    return std::isfinite(v) && std::fabs(v) < 2147483647.0 ? static_cast<int32_t>(v) : 0;
}

int32_t readLength(SysObjAdaptorSFun* S, int32_t index) {
    return readPopup(S, index);
}

int32_t readNumBins(SysObjAdaptorSFun* S) {
    dspParam bins(S, kParamNumBins, kFragNumBins);
    if (bins.isEmpty()) return 1;
    const double v = bins.getRealValueAsDouble(0);
    return std::isfinite(v) && v >= 1.0 && v <= kMaxNumBins ? static_cast<int32_t>(v) : 1;
}

double readElement(SysObjAdaptorSFun* S, int32_t index, int32_t i) {
    dspParam p(S, index, nullptr);
    if (i >= p.getNumberOfElements()) return 0.0;
    return p.getRealValueAsDouble(i);
}

bool checkContrastParameters(SysObjAdaptorSFun* S) {
    if (!dspIsPopupParamValid(S, kParamInputRangeMode, 1, 3)) return false;
    if (!dspIsPopupParamValid(S, kParamOutputRangeMode, 1, 2)) return false;
    if (!dspIsPopupParamValid(S, kParamCheckBox, 0, 1)) return false;
    const int32_t inputMode = readPopup(S, kParamInputRangeMode);
    if (inputMode == kInputFromDialog && !checkInputRange(S)) return false;
    if (inputMode == kInputFromHistogram && (!checkHistogramSettings(S) || !checkTunedFractionsFit(S)))
        return false;
    if (!checkRange(S, kParamOutputRange, kFragOutputRange)) return false;
    if (!dspIsPopupParamValid(S, kParamRoundingMode, 1, 7)) return false;
    if (!dspIsPopupParamValid(S, kParamOverflowMode, 1, 2)) return false;
    if (ssGetErrorStatus(S) != nullptr) return false;
    return checkProductTypes(S);
}

}  // namespace merrow

DRAVO_CALLBACK void mdlCheckParameters(BlockHandle* S) {
    merrow::checkContrastParameters(S);
}
