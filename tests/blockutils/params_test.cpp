// Dialog-parameter helpers of the shared utilities: the Inf/NaN check, rounding and overflow popups, and
// the host settings that choose the floating-point path.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "blockutils.h"
#include "dravo/host/types.h"
#include "probe_block.h"

namespace {

using dravo::host::Array;
using dravo::host::InputSpec;
const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

Array ofClass(qzClassID cls, std::vector<double> values, bool complex = false,
              std::vector<double> imag = {}) {
    const size_t dims[2] = {1, values.size()};
    qzArray_tag* a = qzCreateNumericArray(2, dims, cls, complex ? qzCOMPLEX : qzREAL);
    for (size_t i = 0; i < values.size(); ++i) {
        if (cls == qzINT32_CLASS)
            static_cast<int32_t*>(qzGetDataMutable(a))[i] = static_cast<int32_t>(values[i]);
        if (cls == qzSINGLE_CLASS)
            static_cast<float*>(qzGetDataMutable(a))[i] = static_cast<float>(values[i]);
        if (cls == qzDOUBLE_CLASS) static_cast<double*>(qzGetDataMutable(a))[i] = values[i];
        if (complex && cls == qzDOUBLE_CLASS) static_cast<double*>(qzGetImagDataMutable(a))[i] = imag[i];
    }
    return Array(a);
}

struct InfNaNResult {
    bool reported = false;
    probe::CallResult call;
};

InfNaNResult checkInfNaN(Array value, dravo::host::Settings settings = {}) {
    InfNaNResult r;
    r.call = probe::inCheckParameters(
        [&](probe::Handle* S) { r.reported = blockutils::checkParamNotInfOrNaN(S, 0, "Output word length"); },
        {std::move(value)}, settings);
    return r;
}

TEST(InfOrNaN, FloatingParametersAreExamined) {
    const InfNaNResult nan = checkInfNaN(Array::realVector({1, kNaN}));
    EXPECT_TRUE(nan.reported);
    ASSERT_TRUE(nan.call.threw);
    EXPECT_EQ(nan.call.text, "Output word length cannot be Inf or NaN");

    EXPECT_TRUE(checkInfNaN(Array::realVector({-kInf, 2})).reported);
    EXPECT_TRUE(checkInfNaN(ofClass(qzSINGLE_CLASS, {3, kInf})).reported);
    EXPECT_FALSE(checkInfNaN(Array::realVector({1, -2, 1e308})).reported);
    EXPECT_FALSE(checkInfNaN(Array::realVector({1, -2, 1e308})).call.threw);
}

TEST(InfOrNaN, ImaginaryPartsCountToo) {
    EXPECT_TRUE(checkInfNaN(ofClass(qzDOUBLE_CLASS, {1, 2}, true, {0, kInf})).reported);
    EXPECT_FALSE(checkInfNaN(ofClass(qzDOUBLE_CLASS, {1, 2}, true, {0, -3})).reported);
}

TEST(InfOrNaN, OtherClassesAreNotExamined) {
    const InfNaNResult r = checkInfNaN(ofClass(qzINT32_CLASS, {std::numeric_limits<int32_t>::max(), -5}));
    EXPECT_FALSE(r.reported);
    EXPECT_FALSE(r.call.threw);
}

TEST(InfOrNaN, EmptyWhileSizingIsNotExamined) {
    dravo::host::Settings sizesOnly;
    sizesOnly.simMode = 1;
    EXPECT_FALSE(checkInfNaN(Array::empty(), sizesOnly).reported);
    EXPECT_FALSE(checkInfNaN(Array::empty()).reported);  // nothing in it to be Inf
}

TEST(InfOrNaN, LongNamesAreCutNotOverrun) {
    const std::string longName(1000, 'x');
    bool reported = false;
    const probe::CallResult r = probe::inCheckParameters(
        [&](probe::Handle* S) { reported = blockutils::checkParamNotInfOrNaN(S, 0, longName.c_str()); },
        {Array::scalar(kNaN)});
    EXPECT_TRUE(reported);
    ASSERT_TRUE(r.threw);
    EXPECT_LT(r.text.size(), 300u);
    EXPECT_EQ(r.text.substr(0, 10), "xxxxxxxxxx");
}

TEST(Popups, RoundingModeMapping) {
    const int32_t expected[7] = {2, 6, 3, 1, 5, 4, 0};
    for (int popup = 1; popup <= 7; ++popup) {
        int32_t mode = -1;
        const probe::CallResult r =
            probe::inCheckParameters([&](probe::Handle* S) { mode = blockutils::getRoundingModeParam(S, 1); },
                                     {Array::empty(), Array::scalar(popup)});
        EXPECT_EQ(mode, expected[popup - 1]) << popup;
        EXPECT_FALSE(r.threw);
    }
    // The popup is read as its first element, truncated.
    int32_t mode = -1;
    probe::inCheckParameters([&](probe::Handle* S) { mode = blockutils::getRoundingModeParam(S, 0); },
                             {Array::realVector({4.7, 1})});
    EXPECT_EQ(mode, 1);
}

TEST(Popups, OverflowModeMapping) {
    for (int popup = 1; popup <= 2; ++popup) {
        int32_t mode = -1;
        probe::inCheckParameters([&](probe::Handle* S) { mode = blockutils::getOverflowModeParam(S, 0); },
                                 {Array::scalar(popup)});
        EXPECT_EQ(mode, popup - 1);
    }
}

TEST(Popups, OutOfRangeIsAnErrorNotARead) {
    for (double v : {0.0, 8.0, -1.0, kNaN, 1e12}) {
        const probe::CallResult r = probe::inCheckParameters(
            [&](probe::Handle* S) { blockutils::getRoundingModeParam(S, 0); }, {Array::scalar(v)});
        EXPECT_TRUE(r.threw) << v;
    }
    for (double v : {0.0, 3.0}) {
        const probe::CallResult r = probe::inCheckParameters(
            [&](probe::Handle* S) { blockutils::getOverflowModeParam(S, 0); }, {Array::scalar(v)});
        EXPECT_TRUE(r.threw) << v;
    }
}

TEST(HostSettings, FloatingPointPathTable) {
    struct Row {
        DataTypeId input;
        int32_t logging, simMode;
        bool floatingPath;
    };
    const std::vector<Row> table = {
        {SS_DOUBLE, 0, 0, true},
        {SS_SINGLE, 0, 0, true},
        {SS_DOUBLE, 1, 0, false},
        {SS_DOUBLE, 1, 2, true},
        {SS_SINGLE, 1, 3, true},
        {SS_DOUBLE, 1, 1, false},
        {SS_UINT8, 0, 0, false},
        {SS_INT16, 1, 2, false},
        {dravo::types::registerFixedPoint(true, 16, 8), 0, 0, false},
        {dravo::types::registerScaledDouble(true, 16, 8), 0, 0, false},
    };
    for (const Row& r : table) {
        dravo::host::Settings settings;
        settings.minMaxOverflowLogging = r.logging;
        settings.simMode = r.simMode;
        probe::Hooks hooks;
        probe::Block b(hooks, {}, settings);
        b->initialize();
        b->propagate({InputSpec{{2, 2}, r.input}});
        EXPECT_EQ(blockutils::useFloatingPointPath(b->handle(), 0), r.floatingPath)
            << dravo::types::typeName(r.input) << " logging " << r.logging << " mode " << r.simMode;
        EXPECT_EQ(blockutils::isMinMaxOverflowLoggingOne(b->handle()), r.logging == 1);
    }
}

TEST(HostSettings, DataTypeOverride) {
    for (int32_t dtOverride : {0, 1, 2}) {
        dravo::host::Settings settings;
        settings.dataTypeOverride = dtOverride;
        probe::Hooks hooks;
        probe::Block b(hooks, {}, settings);
        b->initialize();
        EXPECT_EQ(blockutils::isDataTypeOverrideOne(b->handle()), dtOverride == 1);
    }
}

}  // namespace
