// Parameter registration, popup checks, the parameter reader, errors and warnings, small helpers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "dravo/dsphelpers/libmessages.h"
#include "dravo/host/messages.h"
#include "probe_block.h"
#include "vekdsp.h"

namespace {

using dravo::host::Array;
namespace msg = dravo::dsphelpers;

TEST(RegisterParams, MatchingCountPasses) {
    bool ok = false;
    probe::Hooks hooks;
    hooks.initializeSizes = [&](probe::Handle* S) { ok = VekSimCommon::registerSFcnParams(S, 2); };
    probe::Block b(hooks, {Array::scalar(1), Array::scalar(2)});
    EXPECT_NO_THROW(b->initialize());
    EXPECT_TRUE(ok);
}

TEST(RegisterParams, WrongCountIsReportedWithBothCounts) {
    bool ok = true;
    probe::Hooks hooks;
    hooks.initializeSizes = [&](probe::Handle* S) { ok = VekSimCommon::registerSFcnParams(S, 3); };
    probe::Block b(hooks, {Array::scalar(1), Array::scalar(2)});
    try {
        b->initialize();
        ADD_FAILURE() << "no error";
    } catch (const dravo::host::BlockError& e) {
        EXPECT_EQ(e.messageClass(), msg::kParamCountMismatch);
        EXPECT_NE(e.text().find('2'), std::string::npos) << e.text();
        EXPECT_NE(e.text().find('3'), std::string::npos) << e.text();
    }
    EXPECT_FALSE(ok);
}

TEST(PopupParam, WholeNumbersInRangePass) {
    struct Case {
        Array value;
        bool valid;
    };
    std::vector<Case> cases;
    cases.push_back({Array::scalar(1), true});
    cases.push_back({Array::scalar(3), true});
    cases.push_back({Array::scalar(0), false});
    cases.push_back({Array::scalar(4), false});
    cases.push_back({Array::scalar(2.5), false});
    cases.push_back({Array::scalar(std::numeric_limits<double>::quiet_NaN()), false});
    cases.push_back({Array::realVector({1, 2}), false});
    cases.push_back({Array::empty(), false});
    cases.push_back({Array::complexScalar(2, 1), false});
    for (const Case& c : cases) {
        bool valid = !c.valid;
        const probe::CallResult r = probe::inCheckParameters(
            [&](probe::Handle* S) { valid = VekSimCommon::dspIsPopupParamValid(S, 0, 1, 3); }, {c.value});
        EXPECT_EQ(valid, c.valid) << qzGetScalar(c.value.get());
        EXPECT_EQ(r.threw, !c.valid);
        if (r.threw) {
            EXPECT_EQ(r.messageClass, msg::kPopupParamInvalid);
            EXPECT_NE(r.text.find("from 1 to 3"), std::string::npos) << r.text;
        }
    }
}

TEST(PopupParam, EmptyPassesWhileOnlySizesAreComputed) {
    dravo::host::Settings sizesOnly;
    sizesOnly.simMode = 1;
    bool valid = false;
    const probe::CallResult r = probe::inCheckParameters(
        [&](probe::Handle* S) { valid = VekSimCommon::dspIsPopupParamValid(S, 0, 1, 3); }, {Array::empty()},
        sizesOnly);
    EXPECT_TRUE(valid);
    EXPECT_FALSE(r.threw);
}

TEST(DspParam, ReadsElementsAndClass) {
    probe::inCheckParameters(
        [](probe::Handle* S) {
            VekSimCommon::dspParam p(S, 0, "dspshared::systemmessagefragment::mapBlkValue");
            EXPECT_EQ(p.getNumberOfElements(), 2);
            EXPECT_FALSE(p.isEmpty());
            EXPECT_TRUE(p.isComplex());
            EXPECT_TRUE(p.isDouble());
            EXPECT_TRUE(p.isFloat());
            EXPECT_FALSE(p.isSingle());
            EXPECT_EQ(p.getClassID(), qzDOUBLE_CLASS);
            EXPECT_EQ(p.getRealValueAsDouble(1), 3.0);
            EXPECT_EQ(p.getImagValueAsDouble(1), -4.0);
            EXPECT_EQ(p.getRealValueAsDouble(2), 0.0);  // past the end
            EXPECT_EQ(p.getRealValueAsDouble(-1), 0.0);
            EXPECT_EQ(p.getIndex(), 0);
            EXPECT_STREQ(p.getFragment(), "dspshared::systemmessagefragment::mapBlkValue");
        },
        {[] {
            const size_t dims[2] = {1, 2};
            qzArray_tag* a = qzCreateNumericArray(2, dims, qzDOUBLE_CLASS, qzCOMPLEX);
            double* re = static_cast<double*>(qzGetDataMutable(a));
            double* im = static_cast<double*>(qzGetImagDataMutable(a));
            re[0] = 1;
            im[0] = 2;
            re[1] = 3;
            im[1] = -4;
            return Array(a);
        }()});
}

TEST(DspParam, MissingParameterReadsAsEmpty) {
    probe::inCheckParameters([](probe::Handle* S) {
        VekSimCommon::dspParam p(S, 5, "x");
        EXPECT_TRUE(p.isEmpty());
        EXPECT_EQ(p.getNumberOfElements(), 0);
        EXPECT_EQ(p.getRealValueAsDouble(0), 0.0);
    });
}

TEST(Messages, ErrorCarriesClassAndCatalogueText) {
    const char* cls = "vision::system::angleNotScalar";
    const probe::CallResult r =
        probe::inCheckParameters([&](probe::Handle* S) { VekSimCommon::dspError(S, cls); });
    ASSERT_TRUE(r.threw);
    EXPECT_EQ(r.messageClass, cls);
    EXPECT_EQ(r.text, dravo::messages::text(cls));
}

TEST(Messages, LibraryClassesHaveTextsWithArguments) {
    EXPECT_EQ(VekSimCommon::dspMessageText(msg::kParamOutOfRange, {"Word length", "in the range [2, 16]"}),
              "Word length must be in the range [2, 16].");
    EXPECT_EQ(VekSimCommon::dspMessageText("no::such::class"), "");
}

TEST(Messages, UnknownClassStillNamesItself) {
    const probe::CallResult r = probe::inCheckParameters(
        [](probe::Handle* S) { VekSimCommon::dspError(S, "no::such::class", {"x"}); });
    ASSERT_TRUE(r.threw);
    EXPECT_NE(r.text.find("no::such::class"), std::string::npos);
}

TEST(Messages, WarningDoesNotStopTheBlock) {
    probe::Hooks hooks;
    hooks.checkParameters = [](probe::Handle* S) {
        VekSimCommon::dspWarning(S, "dspshared::system::padOutSzLTInSzW");
        VekSimCommon::dspWarning(S, msg::kParamNotReal, {"Value"});
    };
    probe::Block b(hooks);
    EXPECT_NO_THROW(b->initialize());
    const auto& w = b->warnings();
    ASSERT_EQ(w.size(), 2u);
    EXPECT_EQ(w[0].messageClass, "dspshared::system::padOutSzLTInSzW");
    EXPECT_EQ(w[0].text, dravo::messages::text("dspshared::system::padOutSzLTInSzW"));
    EXPECT_EQ(w[1].text, "Value must be real.");
}

TEST(NextPow2, SmallestPowerNotBelow) {
    const std::vector<std::pair<int32_t, int32_t>> table = {
        {-5, 1},
        {0, 1},
        {1, 1},
        {2, 2},
        {3, 4},
        {4, 4},
        {5, 8},
        {1000, 1024},
        {1024, 1024},
        {1025, 2048},
        {(1 << 30) - 1, 1 << 30},
        {1 << 30, 1 << 30},
        {(1 << 30) + 1, -1},
        {std::numeric_limits<int32_t>::max(), -1},
    };
    for (const auto& [x, expected] : table)
        EXPECT_EQ(VekSimCommon::getNextPow2(x), expected) << x;
}

TEST(Allocators, CallocZeroesAndFreeIsNullSafe) {
    auto* p = static_cast<unsigned char*>(dvCalloc(37, 3));
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 111; ++i)
        EXPECT_EQ(p[i], 0);
    dvFree(p);
    dvFree(nullptr);
}

}  // namespace
