// The message catalogue: formatting, completeness of the names blocks use, unknown classes.
#include <gtest/gtest.h>

#include <set>

#include "dravo/dsphelpers/libmessages.h"
#include "dravo/host/messages.h"

namespace {

using namespace dravo::messages;

TEST(Messages, ArgumentsFillPlaceholdersInOrder) {
    EXPECT_EQ(text("vision::system::inputDimsWrong", {"3", "7"}),
              "The input must have at least 3 rows and 7 columns.");
    EXPECT_EQ(text("dspshared::system::sgnFixptWdLenWrong1", {"accumulator"}),
              "The accumulator word length must be a whole number from 2 to 128 bits.");
}

TEST(Messages, MissingArgumentsLeaveThePlaceholderOut) {
    EXPECT_EQ(text("vision::system::inputDimsWrong", {"3"}),
              "The input must have at least 3 rows and  columns.");
    // Extra arguments are ignored.
    EXPECT_EQ(text("dspshared::system::inputNot2D", {"x"}), text("dspshared::system::inputNot2D"));
}

TEST(Messages, FragmentsAreParameterDisplayNames) {
    EXPECT_EQ(text("dspshared::systemmessagefragment::mapBlkAngleRadians"), "Angle (radians)");
    EXPECT_EQ(text("dspshared::systemmessagefragment::mapBlkPercentagesOfPixeslToSaturate"),
              "Percentages of pixels to saturate [low high]");
}

TEST(Messages, UnknownClassIsNamedWithItsArguments) {
    EXPECT_FALSE(isKnown("vision::system::noSuchMessage"));
    EXPECT_EQ(text("vision::system::noSuchMessage"), "vision::system::noSuchMessage");
    EXPECT_EQ(text("vision::system::noSuchMessage", {"a", "b"}), "vision::system::noSuchMessage (a, b)");
}

// The classes and fragments the five blocks report; each must have a text of its own.
TEST(Messages, EveryClassTheBlocksReportHasAText) {
    const char* vision[] = {"allInportsScDoubles",
                            "angleInfOrNaN",
                            "angleNotScalar",
                            "backgroundWrongDim",
                            "dimPropError",
                            "inDataTypeNotFloatInt8Or16OrFixpt",
                            "inWordLenGT16",
                            "inputDimsWrong",
                            "inputScDblOutputDblScDblBool",
                            "numColorsChanged",
                            "outDataTypeNotFloatInt8Or16OrFixpt",
                            "outDataTypeSettingMismatch",
                            "outMetricTooSmall",
                            "outWordLenGT16",
                            "outputScDblInputDblScDblBool",
                            "smoothFltWronNumElem",
                            "pixelUpperLimitWrong",
                            "settingNotPositive",
                            "sumPixSatTooBig"};
    const char* dsp[] = {"backPropFixptMismatchSpec",
                         "fixptFracLenNotInt1",
                         "inputDimPropError",
                         "inputNot1D2D",
                         "inputNot2D",
                         "memoryAllocationFailed",
                         "outputNot2D",
                         "outputNot1D2D",
                         "rtpAllocFailed",
                         "sgnFixptWdLenWrong1",
                         "sineMethodNotTable",
                         "pValNotScalar",
                         "padDimsNotInSignal",
                         "padOutSzLTInSz",
                         "padOutSzLTInSzW",
                         "dimToPadNotUnique",
                         "padBegDimsDiffer",
                         "padEndDimsDiffer",
                         "padOutSzDimsDiffer",
                         "padOutRowsMaskDiffer",
                         "padOutColsMaskDiffer",
                         "padOutNotNxPow2",
                         "padOutDimsLT2",
                         "padOutLTPadSize",
                         "outDimNotPow2",
                         "outInherDimsDiffer",
                         "oneOutputDimension",
                         "padOutRowsOutSzDiffer",
                         "padOutRowSzNotPow2",
                         "padOutColsOutSzDiffer",
                         "padOutColSzNotPow2",
                         "padInputNegSize",
                         "inOutComplexityMismatch",
                         "inNotRealValOutRealVal",
                         "inOutTypesDiffer",
                         "inImgOutTypesDiffer"};
    const char* fragments[] = {"mapBlkAngleRadians",
                               "mapBlkBackgroundFillValues",
                               "mapBlkCoefficient",
                               "mapBlkColumnSize",
                               "mapBlkDimensionsToPad",
                               "mapBlkFractionLength",
                               "mapBlkInputPixelValueRange",
                               "mapBlkIntensityComparisonThreshold",
                               "mapBlkMaximumAngle",
                               "mapBlkMaximumNumberOfCorners",
                               "mapBlkMinimumMetricValueThatIndicatesACorner",
                               "mapBlkNeighborhoodSize",
                               "mapBlkNumberOfHistogramBins",
                               "mapBlkOutputFractionLength",
                               "mapBlkOutputPixelValueRange",
                               "mapBlkOutputSize",
                               "mapBlkOutputWordLength",
                               "mapBlkPadAtBeginning",
                               "mapBlkPadAtEnd",
                               "mapBlkPadSizeAlongColumns",
                               "mapBlkPadSizeAlongRows",
                               "mapBlkPadSizeAtBeginning",
                               "mapBlkPadSizeAtEnd",
                               "mapBlkPercentagesOfPixeslToSaturate",
                               "mapBlkRowSize",
                               "mapBlkSensitivity",
                               "mapBlkSmoothingFilterCoefficients",
                               "mapBlkValue",
                               "mapBlkWordLength"};
    std::vector<std::string> wanted;
    for (const char* c : vision)
        wanted.push_back(std::string("vision::system::") + c);
    for (const char* c : dsp)
        wanted.push_back(std::string("dspshared::system::") + c);
    for (const char* c : fragments)
        wanted.push_back(std::string("dspshared::systemmessagefragment::") + c);
    for (const std::string& c : wanted) {
        EXPECT_TRUE(isKnown(c)) << c;
        std::string t = text(c);
        EXPECT_FALSE(t.empty()) << c;
        EXPECT_EQ(t.find("::"), std::string::npos) << c << " has no text of its own: " << t;
    }
    std::vector<std::string> all = allClasses();
    std::set<std::string> unique(all.begin(), all.end());
    EXPECT_EQ(unique.size(), all.size());
    for (const std::string& c : wanted)
        EXPECT_TRUE(unique.count(c)) << c;
}

TEST(Messages, ErrorTextsEndWithAFullStopAndFragmentsDoNot) {
    for (const std::string& c : allClasses()) {
        std::string t = text(c);
        bool fragment = c.find("systemmessagefragment") != std::string::npos;
        EXPECT_EQ(t.back() == '.', !fragment) << c << ": " << t;
    }
}

}  // namespace

// The DSP helper library's own classes live in the one catalogue: known, and filled by its one filler.
TEST(Messages, LibraryClassesAreInTheOneCatalogue) {
    namespace lib = dravo::dsphelpers;
    for (const char* cls :
         {lib::kParamCountMismatch, lib::kPopupParamInvalid, lib::kParamNotNumeric, lib::kParamNotScalar,
          lib::kParamNotVector, lib::kParamNotScalarOrPair, lib::kParamEmpty, lib::kParamNotMatrix,
          lib::kParamWrongNumElements, lib::kParamNotReal, lib::kParamNotWhole, lib::kParamNotFinite,
          lib::kParamNotWholeOrInf, lib::kParamOutOfRange, lib::kDataTypeNotSupported,
          lib::kFixptAttribsInvalid, lib::kPortTypeNotFloat, lib::kRtpDataInvalid}) {
        EXPECT_TRUE(isKnown(cls)) << cls;
        EXPECT_EQ(text(cls).find("%s"), std::string::npos) << cls;
    }
    EXPECT_EQ(text(lib::kParamCountMismatch, {"3", "4"}),
              "Wrong number of dialog parameters: 3 given, 4 expected.");
    EXPECT_EQ(text(lib::kPopupParamInvalid, {"2", "1", "3"}),
              "Parameter 2 must be a whole number from 1 to 3.");
    EXPECT_EQ(text(lib::kDataTypeNotSupported, {"fixed:u16:13", "the input port"}),
              "Data type fixed:u16:13 is not supported on the input port.");
}
