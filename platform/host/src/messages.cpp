// The message catalogue: the English text behind every message class and parameter fragment the blocks
// report. Texts take their arguments through %s, filled in order.
#include "dravo/host/messages.h"

#include <map>

namespace dravo::messages {
namespace {

struct Entry {
    const char* messageClass;
    const char* text;
};

// clang-format off
constexpr Entry kCatalogue[] = {
    // ---- vision::system ----
    {"vision::system::allInportsScDoubles", "All input ports must be scaled doubles, or none of them."},
    {"vision::system::angleInfOrNaN", "The angle input must be finite; Inf and NaN are not allowed."},
    {"vision::system::angleNotScalar", "The angle input must be a scalar."},
    {"vision::system::backgroundWrongDim",
     "Background fill values must be a scalar or have one value per plane of the input image."},
    {"vision::system::dimPropError",
     "The input dimensions cannot be derived from the output dimensions when the output size is expanded to fit the rotated image."},
    {"vision::system::inDataTypeNotFloatInt8Or16OrFixpt",
     "The input data type must be double, single, boolean, an 8- or 16-bit integer, or fixed point."},
    {"vision::system::inWordLenGT16", "The input word length must be at most 16 bits."},
    {"vision::system::inputDimsWrong", "The input must have at least %s rows and %s columns."},
    {"vision::system::inputScDblOutputDblScDblBool",
     "A scaled-double input requires a double, scaled-double or boolean output."},
    {"vision::system::numColorsChanged",
     "The number of color planes of a variable-size input cannot change while the simulation runs."},
    {"vision::system::outDataTypeNotFloatInt8Or16OrFixpt",
     "The output data type must be double, single, boolean, an 8- or 16-bit integer, or fixed point."},
    {"vision::system::outDataTypeSettingMismatch",
     "The output data type does not match the data type set in the block's dialog."},
    {"vision::system::outMetricTooSmall", "The output must have at least %s rows and %s columns."},
    {"vision::system::outWordLenGT16", "The output word length must be at most 16 bits."},
    {"vision::system::outputScDblInputDblScDblBool",
     "A scaled-double output requires a double, scaled-double or boolean input."},
    {"vision::system::pixelUpperLimitWrong",
     "The upper limit of the input pixel value range must not be below the lower limit."},
    {"vision::system::settingNotPositive", "%s must not be negative."},
    {"vision::system::smoothFltWronNumElem",
     "The smoothing filter coefficients must be a vector of more than 5 elements, an even count whose half is odd."},
    {"vision::system::sumPixSatTooBig", "The percentages of pixels to saturate must add up to less than 1."},

    // ---- dspshared::system ----
    {"dspshared::system::backPropFixptMismatchSpec",
     "The fixed-point data type required at the output does not match the word and fraction lengths set in the dialog."},
    {"dspshared::system::dimToPadNotUnique", "Each dimension to pad may be listed only once."},
    {"dspshared::system::fixptFracLenNotInt1", "The %s fraction length must be an integer."},
    {"dspshared::system::inImgOutTypesDiffer", "The input signal and the output must have the same data type."},
    {"dspshared::system::inNotRealValOutRealVal", "A complex input cannot produce a real output."},
    {"dspshared::system::inOutComplexityMismatch", "The complexity of the inputs does not match that of the output."},
    {"dspshared::system::inOutTypesDiffer", "All inputs and the output must have the same data type."},
    {"dspshared::system::inputDimPropError", "The input dimensions do not agree with the output dimensions."},
    {"dspshared::system::inputNot1D2D", "The input must be a 1-D or 2-D signal."},
    {"dspshared::system::inputNot2D", "The input must be a 2-D signal."},
    {"dspshared::system::memoryAllocationFailed", "Work memory for the block could not be allocated."},
    {"dspshared::system::oneOutputDimension", "The output must have at least two dimensions."},
    {"dspshared::system::outDimNotPow2", "Each padded output dimension must be a power of two."},
    {"dspshared::system::outInherDimsDiffer",
     "The output dimensions differ from the output sizes set in the dialog."},
    {"dspshared::system::outputNot1D2D", "The output must be a 1-D or 2-D signal."},
    {"dspshared::system::outputNot2D", "The output must be a 2-D signal."},
    {"dspshared::system::pValNotScalar", "The pad value input must be a scalar."},
    {"dspshared::system::padBegDimsDiffer",
     "The pad sizes at the beginning must have one element per dimension to pad."},
    {"dspshared::system::padDimsNotInSignal", "A dimension to pad is not a dimension of the signal."},
    {"dspshared::system::padEndDimsDiffer", "The pad sizes at the end must have one element per dimension to pad."},
    {"dspshared::system::padInputNegSize", "The pad sizes are larger than the output: the input size would be below 1."},
    {"dspshared::system::padOutColSzNotPow2", "The output column size must be a power of two."},
    {"dspshared::system::padOutColsMaskDiffer", "The output column size differs from the column size set in the dialog."},
    {"dspshared::system::padOutColsOutSzDiffer", "The output column size differs from the column size set in the dialog."},
    {"dspshared::system::padOutDimsLT2", "The output must have at least two dimensions to pad both columns and rows."},
    {"dspshared::system::padOutLTPadSize", "The output size is smaller than the pad sizes along a padded dimension."},
    {"dspshared::system::padOutNotNxPow2", "The padded output size must be a power of two."},
    {"dspshared::system::padOutRowSzNotPow2", "The output row size must be a power of two."},
    {"dspshared::system::padOutRowsMaskDiffer", "The output row size differs from the row size set in the dialog."},
    {"dspshared::system::padOutRowsOutSzDiffer", "The output row size differs from the row size set in the dialog."},
    {"dspshared::system::padOutSzDimsDiffer", "The output sizes must have one element per dimension to pad."},
    {"dspshared::system::padOutSzLTInSz", "The output size is smaller than the input size; the input would be truncated."},
    {"dspshared::system::padOutSzLTInSzW",
     "The output size is smaller than the input size; the input is truncated."},
    {"dspshared::system::rtpAllocFailed", "Run-time parameters for the block could not be allocated."},
    {"dspshared::system::sgnFixptWdLenWrong1",
     "The %s word length must be a whole number from 2 to 128 bits."},
    {"dspshared::system::sineMethodNotTable",
     "Fixed-point rotation requires the table lookup sine computation method."},

    // ---- dspshared::system: refusals of the DSP helper library itself ----
    {"dspshared::system::paramCountMismatch", "Wrong number of dialog parameters: %s given, %s expected."},
    {"dspshared::system::popupParamInvalid", "Parameter %s must be a whole number from %s to %s."},
    {"dspshared::system::paramNotNumeric", "%s must be numeric."},
    {"dspshared::system::paramNotScalar", "%s must be a scalar."},
    {"dspshared::system::paramNotVector", "%s must be a vector."},
    {"dspshared::system::paramNotScalarOrTwoElementVector", "%s must be a scalar or a two-element vector."},
    {"dspshared::system::paramEmpty", "%s must not be empty."},
    {"dspshared::system::paramNotMatrix", "%s must be a matrix of at most two dimensions."},
    {"dspshared::system::paramWrongNumElements", "%s must have %s elements."},
    {"dspshared::system::paramNotReal", "%s must be real."},
    {"dspshared::system::paramNotWholeNumber", "%s must contain whole numbers."},
    {"dspshared::system::paramNotFinite", "%s cannot contain Inf or NaN."},
    {"dspshared::system::paramNotWholeNumberOrInf", "%s must contain whole numbers or Inf."},
    {"dspshared::system::paramOutOfRange", "%s must be %s."},
    {"dspshared::system::dataTypeNotSupported", "Data type %s is not supported on %s."},
    {"dspshared::system::fixptAttributesInvalid", "Fixed-point word length %s is outside the range 2 to 128."},
    {"dspshared::system::portTypeNotFloat", "Data type %s is neither double nor single."},
    {"dspshared::system::rtpDataInvalid", "Run-time parameter %s cannot be created from the given data."},

    // ---- dspshared::systemmessagefragment: parameter names as the dialog shows them ----
    {"dspshared::systemmessagefragment::mapBlkAngleRadians", "Angle (radians)"},
    {"dspshared::systemmessagefragment::mapBlkBackgroundFillValues", "Background fill values"},
    {"dspshared::systemmessagefragment::mapBlkCoefficient", "Coefficient"},
    {"dspshared::systemmessagefragment::mapBlkColumnSize", "Column size"},
    {"dspshared::systemmessagefragment::mapBlkDimensionsToPad", "Dimensions to pad"},
    {"dspshared::systemmessagefragment::mapBlkFractionLength", "Fraction length"},
    {"dspshared::systemmessagefragment::mapBlkInputPixelValueRange", "Range [low high]"},
    {"dspshared::systemmessagefragment::mapBlkIntensityComparisonThreshold", "Intensity comparison threshold"},
    {"dspshared::systemmessagefragment::mapBlkMaximumAngle", "Maximum angle (enter pi value)"},
    {"dspshared::systemmessagefragment::mapBlkMaximumNumberOfCorners", "Maximum number of corners"},
    {"dspshared::systemmessagefragment::mapBlkMinimumMetricValueThatIndicatesACorner",
     "Minimum metric value that indicates a corner"},
    {"dspshared::systemmessagefragment::mapBlkNeighborhoodSize", "Neighborhood size [r c]"},
    {"dspshared::systemmessagefragment::mapBlkNumberOfHistogramBins", "Number of histogram bins"},
    {"dspshared::systemmessagefragment::mapBlkOutputFractionLength", "Output fraction length"},
    {"dspshared::systemmessagefragment::mapBlkOutputPixelValueRange", "Output pixel value range [low high]"},
    {"dspshared::systemmessagefragment::mapBlkOutputSize", "Output size"},
    {"dspshared::systemmessagefragment::mapBlkOutputWordLength", "Output word length"},
    {"dspshared::systemmessagefragment::mapBlkPadAtBeginning", "Pad size at beginning"},
    {"dspshared::systemmessagefragment::mapBlkPadAtEnd", "Pad size at end"},
    {"dspshared::systemmessagefragment::mapBlkPadSizeAlongColumns", "Pad size along columns"},
    {"dspshared::systemmessagefragment::mapBlkPadSizeAlongRows", "Pad size along rows"},
    {"dspshared::systemmessagefragment::mapBlkPadSizeAtBeginning", "Pad size at beginning"},
    {"dspshared::systemmessagefragment::mapBlkPadSizeAtEnd", "Pad size at end"},
    {"dspshared::systemmessagefragment::mapBlkPercentagesOfPixeslToSaturate",
     "Percentages of pixels to saturate [low high]"},
    {"dspshared::systemmessagefragment::mapBlkRowSize", "Row size"},
    {"dspshared::systemmessagefragment::mapBlkSensitivity", "Sensitivity factor (0<k<0.25)"},
    {"dspshared::systemmessagefragment::mapBlkSmoothingFilterCoefficients", "Coefficients for separable smoothing filter"},
    {"dspshared::systemmessagefragment::mapBlkValue", "Pad value"},
    {"dspshared::systemmessagefragment::mapBlkWordLength", "Word length"},
};
// clang-format on

const std::map<std::string, const char*>& catalogue() {
    static const std::map<std::string, const char*> m = [] {
        std::map<std::string, const char*> out;
        for (const Entry& e : kCatalogue)
            out.emplace(e.messageClass, e.text);
        return out;
    }();
    return m;
}

}  // namespace

bool isKnown(const std::string& messageClass) {
    return catalogue().count(messageClass) != 0;
}

std::string text(const std::string& messageClass, const std::vector<std::string>& args) {
    auto it = catalogue().find(messageClass);
    if (it == catalogue().end()) {
        // Unknown class: still say which one and with what, so nothing is lost.
        std::string s = messageClass;
        if (!args.empty()) {
            s += " (";
            for (size_t k = 0; k < args.size(); ++k)
                s += (k ? ", " : "") + args[k];
            s += ")";
        }
        return s;
    }
    std::string out;
    const std::string tmpl = it->second;
    size_t next = 0;
    for (size_t i = 0; i < tmpl.size(); ++i) {
        if (tmpl[i] == '%' && i + 1 < tmpl.size() && tmpl[i + 1] == 's') {
            if (next < args.size()) out += args[next++];
            ++i;
        } else {
            out += tmpl[i];
        }
    }
    return out;
}

std::vector<std::string> allClasses() {
    std::vector<std::string> out;
    out.reserve(catalogue().size());
    for (const auto& [cls, txt] : catalogue())
        out.push_back(cls);
    return out;
}

}  // namespace dravo::messages
