// Set-up of the corner metric plug-in through the host: parameter checks and their message classes, the
// minimum size, ports and types, run-time parameters, work vectors, tunability, variable sizes and the
// refusal of role types the fixed-point library cannot hold.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "corner_support.h"
#include "reference.h"

using namespace cornertest;

namespace {

const dravo::host::RtpInfo* rtp(const std::vector<dravo::host::RtpInfo>& all, const std::string& name) {
    for (const auto& r : all)
        if (r.name == name) return &r;
    return nullptr;
}

template <class T>
std::vector<T> valuesOf(const dravo::host::RtpInfo& r) {
    std::vector<T> v(r.bytes.size() / sizeof(T));
    std::memcpy(v.data(), r.bytes.data(), v.size() * sizeof(T));
    return v;
}

// The error a configuration raises anywhere up to start (empty class and text when none).
BlockError errorOf(const std::map<int, Array>& set, const InputSpec& input, bool start = true) {
    try {
        auto b = makeBlock(set, input);
        if (start) b->start();
    } catch (const BlockError& e) {
        return e;
    }
    return BlockError("", "", "", "");
}

TEST(CornerSetup, FilterElementCounts) {
    const struct {
        std::vector<double> values;
        bool ok;
    } cases[] = {
        {{0.25, 0.5, 0.25, 0.25, 0.5, 0.25}, true},
        {{0.5, 0.5, 0.5, 0.5}, false},
        {{1, 2, 3, 4, 5, 6, 7}, false},
        {{1, 2, 3, 4, 1, 2, 3, 4}, false},
        {{1, 2, 3, 4, 5, 6, 7, 1, 2, 3, 4, 5, 6, 7}, true},
    };
    for (int method : {1, 2})
        for (const auto& c : cases) {
            const BlockError e =
                errorOf({{0, Array::scalar(method)}, {2, Array::realVector(c.values)}}, image({8, 8}));
            EXPECT_EQ(e.messageClass(), c.ok ? "" : "vision::system::smoothFltWronNumElem")
                << c.values.size() << " values, method " << method;
        }
    // Method 3 does not use the filter.
    EXPECT_EQ(errorOf({{0, Array::scalar(3)}, {2, Array::realVector({1, 2})}}, image({8, 8}), false).text(),
              "");
    // A NaN coefficient is refused by the value check, naming the parameter.
    const BlockError nan = errorOf({{2, filterParam({0.25, NAN, 0.25})}}, image({8, 8}));
    EXPECT_NE(nan.text().find("smoothing filter"), std::string::npos) << nan.text();
}

TEST(CornerSetup, SensitivityLiesStrictlyBetweenZeroAndAQuarter) {
    for (double k : {0.0, -0.1, 0.25, 0.3, double(NAN)}) {
        const BlockError e = errorOf({{1, Array::scalar(k)}}, image({8, 8}), false);
        EXPECT_NE(e.text().find("Sensitivity"), std::string::npos) << k << ": " << e.text();
    }
    for (double k : {1e-6, 0.04, 0.2499})
        EXPECT_EQ(errorOf({{1, Array::scalar(k)}}, image({8, 8})).text(), "") << k;
    // The minimum-eigenvalue method does not read k.
    EXPECT_EQ(errorOf({{0, Array::scalar(2)}, {1, Array::scalar(-3)}}, image({8, 8})).text(), "");
}

TEST(CornerSetup, NegativeThresholdIsRefusedForMethodsTwoAndThree) {
    EXPECT_EQ(errorOf({{0, Array::scalar(1)}, {3, Array::scalar(-1)}}, image({8, 8})).text(), "");
    for (int method : {2, 3}) {
        const BlockError e =
            errorOf({{0, Array::scalar(method)}, {3, Array::scalar(-1)}}, image({8, 8}), false);
        EXPECT_NE(e.text().find("Intensity comparison threshold"), std::string::npos) << e.text();
    }
    const BlockError angle = errorOf({{0, Array::scalar(2)}, {4, Array::scalar(8)}}, image({8, 8}), false);
    EXPECT_EQ(angle.messageClass(), "dspshared::system::popupParamInvalid");
}

TEST(CornerSetup, CornerFindingParametersAreCheckedOnlyWhenFindingCorners) {
    const std::map<int, Array> bad = {{7, Array::scalar(2.5)}, {8, Array::scalar(-1)}, {9, Array::scalar(3)}};
    std::map<int, Array> set = bad;
    EXPECT_EQ(errorOf(set, image({8, 8})).text(), "");
    set[5] = Array::scalar(1);
    EXPECT_NE(errorOf(set, image({8, 8}), false).text(), "");
    // One at a time with output mode 2: minimum metric, maximum corners (whole), neighbourhood (two values).
    const std::map<int, Array> one[] = {{{8, Array::scalar(-1)}},
                                        {{7, Array::scalar(2.5)}},
                                        {{9, Array::scalar(3)}},
                                        {{9, Array::realVector({3, -1})}}};
    for (const auto& o : one) {
        std::map<int, Array> s = o;
        s[5] = Array::scalar(2);
        EXPECT_NE(errorOf(s, image({20, 20}), false).text(), "") << o.begin()->first;
    }
    // Output mode 4 reads the second list: its choice 3 skips the corner finding again.
    set[5] = Array::scalar(4);
    set[6] = Array::scalar(3);
    EXPECT_EQ(errorOf(set, image({8, 8})).text(), "");
}

TEST(CornerSetup, MinimumInputSize) {
    const struct {
        int method, outputMode;
        std::vector<double> neighbourhood;
        std::vector<int32_t> dims;
        std::string minimum;  // "" when accepted, else "rows columns"
    } cases[] = {
        {1, 3, {5, 5}, {3, 3}, ""},    {2, 3, {5, 5}, {3, 3}, ""},       {1, 3, {5, 5}, {2, 5}, "3 3"},
        {2, 3, {5, 5}, {5, 2}, "3 3"}, {3, 3, {5, 5}, {7, 7}, ""},       {3, 3, {5, 5}, {6, 9}, "7 7"},
        {1, 1, {11, 5}, {13, 7}, ""},  {1, 1, {11, 5}, {12, 7}, "13 7"}, {2, 2, {11, 5}, {13, 6}, "13 7"},
        {3, 1, {11, 5}, {13, 7}, ""},  {3, 1, {11, 5}, {13, 6}, "13 7"}, {3, 1, {1, 1}, {6, 7}, "7 7"},
    };
    for (const auto& c : cases) {
        const BlockError e = errorOf({{0, Array::scalar(c.method)},
                                      {5, Array::scalar(c.outputMode)},
                                      {9, Array::realVector(c.neighbourhood)}},
                                     image(c.dims), false);
        if (c.minimum.empty()) {
            EXPECT_EQ(e.text(), "") << c.method << " " << c.dims[0] << "x" << c.dims[1];
        } else {
            EXPECT_EQ(e.messageClass(), "vision::system::inputDimsWrong") << c.dims[0] << "x" << c.dims[1];
            const std::string rows = c.minimum.substr(0, c.minimum.find(' '));
            const std::string cols = c.minimum.substr(c.minimum.find(' ') + 1);
            EXPECT_NE(e.text().find("at least " + rows + " rows and " + cols + " columns"), std::string::npos)
                << e.text();
        }
    }
}

TEST(CornerSetup, OutputSizeRequestedDownstream) {
    auto b = std::make_unique<Block>(plugin(), "corner");
    b->setParameters(cornerParams({}));
    b->initialize();
    OutputRequest small;
    small.dims = std::vector<int32_t>{2, 9};
    try {
        b->propagate({image({8, 9})}, {small});
        FAIL() << "a 2x9 metric was accepted";
    } catch (const BlockError& e) {
        EXPECT_TRUE(e.messageClass() == "vision::system::outMetricTooSmall" ||
                    e.messageClass() == "vision::system::inputDimsWrong")
            << e.what();
    }
}

TEST(CornerSetup, BadInputs) {
    InputSpec complex = image({8, 8});
    complex.complexSignal = 1;
    EXPECT_NE(errorOf({}, complex, false).text(), "");
    EXPECT_EQ(errorOf({}, image({8, 8, 3}), false).messageClass(), "dspshared::system::inputNot2D");
    EXPECT_EQ(errorOf({}, image({8, 8}, SS_BOOLEAN), false).messageClass(),
              "dspshared::system::dataTypeNotSupported");
}

TEST(CornerSetup, OutputTypes) {
    EXPECT_EQ(makeBlock({}, image({8, 8}))->outputPort(0).dataType, SS_DOUBLE);
    EXPECT_EQ(makeBlock({}, image({8, 8}, SS_SINGLE))->outputPort(0).dataType, SS_SINGLE);
    // Logging alone keeps a floating image's output floating.
    Settings logging;
    logging.minMaxOverflowLogging = 1;
    EXPECT_EQ(makeBlock({}, image({8, 8}), logging)->outputPort(0).dataType, SS_DOUBLE);
    // A whole signed 16-bit metric type is the built-in int16; the defaults give a fixed-point id.
    auto int16Out = makeBlock({{23, Array::scalar(16)}, {24, Array::scalar(0)}}, image({8, 8}, SS_INT16));
    EXPECT_EQ(int16Out->outputPort(0).dataType, SS_INT16);
    EXPECT_EQ(makeBlock({{23, Array::scalar(32)}, {24, Array::scalar(0)}}, image({8, 8}, SS_UINT8))
                  ->outputPort(0)
                  .dataType,
              SS_INT32);
    const DataTypeId fixedOut = makeBlock({}, image({8, 8}, SS_UINT8))->outputPort(0).dataType;
    EXPECT_GT(fixedOut, SS_BOOLEAN);
    // "Same as input" for the metric (mode 2) takes the input's lengths, signed: int8 for uint8.
    EXPECT_EQ(makeBlock({{22, Array::scalar(2)}}, image({8, 8}, SS_UINT8))->outputPort(0).dataType, SS_INT8);
}

TEST(CornerSetup, OutputTypeRequestedDownstream) {
    auto b = std::make_unique<Block>(plugin(), "corner");
    b->setParameters(cornerParams({}));
    b->initialize();
    OutputRequest single;
    single.dataType = SS_SINGLE;
    InputSpec untyped = image({8, 8}, DYNAMICALLY_TYPED);
    b->propagate({untyped}, {single});
    EXPECT_EQ(b->inputPort(0).dataType, SS_SINGLE);
    EXPECT_EQ(b->outputPort(0).dataType, SS_SINGLE);

    auto c = std::make_unique<Block>(plugin(), "corner");
    c->setParameters(cornerParams({}));
    c->initialize();
    OutputRequest int16;
    int16.dataType = SS_INT16;
    try {
        c->propagate({image({8, 8}, SS_UINT8)}, {int16});
        FAIL() << "an int16 metric was accepted for the default s64 metric type";
    } catch (const BlockError& e) {
        EXPECT_EQ(e.messageClass(), "vision::system::outDataTypeSettingMismatch") << e.what();
    }
}

TEST(CornerSetup, DefaultTypesWithNothingOffered) {
    auto b = std::make_unique<Block>(plugin(), "corner");
    b->setParameters(cornerParams({}));
    b->initialize();
    b->propagate({image({8, 8}, DYNAMICALLY_TYPED)});
    EXPECT_EQ(b->inputPort(0).dataType, SS_DOUBLE);
    EXPECT_EQ(b->outputPort(0).dataType, SS_DOUBLE);
}

TEST(CornerSetup, RunTimeParameterCountsAndIndices) {
    const struct {
        int method, outputMode;
        std::vector<std::string> names;  // in index order
    } cases[] = {
        {1, 3, {"FILTER_RTP", "COLRANGE_RTP", "ROWRANGE_RTP", "FACTOR_RTP"}},
        {1, 1, {"FILTER_RTP", "COLRANGE_RTP", "ROWRANGE_RTP", "FACTOR_RTP", "THRMETRIC_RTP"}},
        {2, 3, {"FILTER_RTP", "COLRANGE_RTP", "ROWRANGE_RTP"}},
        {2, 2, {"FILTER_RTP", "COLRANGE_RTP", "ROWRANGE_RTP", "THRMETRIC_RTP"}},
        {3,
         3,
         {"THRANGLE_RTP", "VALTHR_RTP", "DTMIN_RTP", "DTMAX_RTP", "DTLOW_RTP", "DTHIGH_RTP", "CIRCLE_RTP",
          "STEP_RTP", "OFFSET_RTP"}},
        {3,
         1,
         {"THRANGLE_RTP", "VALTHR_RTP", "DTMIN_RTP", "DTMAX_RTP", "DTLOW_RTP", "DTHIGH_RTP", "CIRCLE_RTP",
          "STEP_RTP", "OFFSET_RTP", "THRMETRIC_RTP"}},
    };
    for (const auto& c : cases) {
        auto b = makeBlock({{0, Array::scalar(c.method)}, {5, Array::scalar(c.outputMode)}}, image({12, 10}));
        try {
            b->start();
        } catch (const BlockError&) {
            // Method 3's kernel may be missing from the build; its run-time parameters exist regardless.
        }
        const auto rtps = b->runTimeParams();
        ASSERT_EQ(rtps.size(), c.names.size()) << c.method << " " << c.outputMode;
        for (size_t i = 0; i < rtps.size(); ++i)
            EXPECT_EQ(rtps[i].name, c.names[i]) << c.method << " " << c.outputMode << " index " << i;
    }
}

TEST(CornerSetup, EigenvalueTablesAndWorkVectors) {
    const int32_t M = 12, N = 10, L = 5;
    auto b = makeBlock({{5, Array::scalar(1)}, {8, Array::scalar(0.5)}}, image({M, N}));
    b->start();
    const auto rtps = b->runTimeParams();
    EXPECT_EQ(valuesOf<int32_t>(*rtp(rtps, "COLRANGE_RTP")), (std::vector<int32_t>{0, 4, 4, N + 4}));
    EXPECT_EQ(valuesOf<int32_t>(*rtp(rtps, "ROWRANGE_RTP")), (std::vector<int32_t>{2, 1, 0, 0, 4, M + 4}));
    EXPECT_EQ(valuesOf<double>(*rtp(rtps, "FACTOR_RTP")), std::vector<double>{0.04});
    EXPECT_EQ(valuesOf<double>(*rtp(rtps, "FILTER_RTP")).size(), 10u);
    EXPECT_EQ(valuesOf<double>(*rtp(rtps, "THRMETRIC_RTP")), std::vector<double>{0.5});
    const auto works = b->dworks();
    ASSERT_EQ(works.size(), 4u);
    const struct {
        const char* name;
        int32_t width;
        DataTypeId type;
        int32_t usage;
    } want[] = {{"DW_PAD", 3 * L * (M + L - 1), SS_DOUBLE, 2},
                {"DW_NEXTPADIDX", L, SS_INT32, 0},
                {"DW_COLPADIDX", N + L - 1, SS_INT32, 0},
                {"DW_ROWPADIDX", M + L - 1, SS_INT32, 0}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(works[i].name, want[i].name);
        EXPECT_EQ(works[i].width, want[i].width) << want[i].name;
        EXPECT_EQ(works[i].dataType, want[i].type) << want[i].name;
        EXPECT_EQ(works[i].usageType, want[i].usage) << want[i].name;
    }
    // The fixed path keeps its buffer in the "Memory" type and its coefficients in their own type.
    auto f = makeBlock({}, image({M, N}, SS_UINT8));
    f->start();
    EXPECT_GT(f->dworks()[0].dataType, SS_BOOLEAN);
    EXPECT_GT(rtp(f->runTimeParams(), "FILTER_RTP")->dataType, SS_BOOLEAN);
}

TEST(CornerSetup, ComparisonTablesAndLimits) {
    const int32_t M = 9;
    auto b = makeBlock({{0, Array::scalar(3)}, {3, Array::scalar(20)}, {4, Array::scalar(5)}},
                       image({M, 11}, SS_UINT8));
    try {
        b->start();
    } catch (const BlockError&) {
    }
    const auto rtps = b->runTimeParams();
    ASSERT_EQ(rtps.size(), 9u);
    EXPECT_EQ(valuesOf<uint8_t>(*rtp(rtps, "VALTHR_RTP")), std::vector<uint8_t>{20});
    EXPECT_EQ(valuesOf<uint8_t>(*rtp(rtps, "DTMIN_RTP")), std::vector<uint8_t>{0});
    EXPECT_EQ(valuesOf<uint8_t>(*rtp(rtps, "DTMAX_RTP")), std::vector<uint8_t>{255});
    EXPECT_EQ(valuesOf<uint8_t>(*rtp(rtps, "DTLOW_RTP")), std::vector<uint8_t>{20});
    EXPECT_EQ(valuesOf<uint8_t>(*rtp(rtps, "DTHIGH_RTP")), std::vector<uint8_t>{235});
    EXPECT_EQ(rtp(rtps, "THRANGLE_RTP")->dataType, SS_UINT32);
    EXPECT_EQ(valuesOf<uint32_t>(*rtp(rtps, "THRANGLE_RTP")), std::vector<uint32_t>{5});
    EXPECT_EQ(valuesOf<int32_t>(*rtp(rtps, "STEP_RTP")), (std::vector<int32_t>{8, 4, 2}));
    EXPECT_EQ(valuesOf<int32_t>(*rtp(rtps, "OFFSET_RTP")), (std::vector<int32_t>{3, 1, 0}));
    const auto circle = valuesOf<int32_t>(*rtp(rtps, "CIRCLE_RTP"));
    ASSERT_EQ(circle.size(), 32u);
    // Position 0 is one row up and three columns left; 4 three rows down, one left; 8 one down, three right.
    EXPECT_EQ(circle[0], -1 - 3 * M);
    EXPECT_EQ(circle[4], 3 - M);
    EXPECT_EQ(circle[8], 1 + 3 * M);
    EXPECT_EQ(circle[12], -3 + M);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(circle[i + 16], circle[i]);
    EXPECT_TRUE(b->dworks().empty());

    // Floating images: the limits are the largest single value, also for double images.
    auto d = makeBlock({{0, Array::scalar(3)}, {3, Array::scalar(0.25)}}, image({M, 11}));
    try {
        d->start();
    } catch (const BlockError&) {
    }
    const auto drtps = d->runTimeParams();
    EXPECT_EQ(valuesOf<double>(*rtp(drtps, "DTMAX_RTP")), std::vector<double>{3.4028234663852886e38});
    EXPECT_EQ(valuesOf<double>(*rtp(drtps, "DTMIN_RTP")), std::vector<double>{-3.4028234663852886e38});
    EXPECT_EQ(valuesOf<double>(*rtp(drtps, "DTLOW_RTP")), std::vector<double>{-3.4028234663852886e38 + 0.25});
    EXPECT_EQ(rtp(drtps, "THRANGLE_RTP")->dataType, SS_DOUBLE);
}

TEST(CornerSetup, IntegerThresholdMustStayBelowHalfTheTypeSpan) {
    // Half the span of uint8 is 127.5: 127 passes (the start may fail for another reason), 127.5 does not.
    const BlockError ok = errorOf({{0, Array::scalar(3)}, {3, Array::scalar(127)}}, image({9, 9}, SS_UINT8));
    EXPECT_EQ(ok.text().find("Intensity comparison threshold"), std::string::npos) << ok.text();
    const BlockError e = errorOf({{0, Array::scalar(3)}, {3, Array::scalar(127.5)}}, image({9, 9}, SS_UINT8));
    EXPECT_NE(e.text().find("Intensity comparison threshold"), std::string::npos) << e.text();
    EXPECT_NE(errorOf({{0, Array::scalar(3)}, {3, Array::scalar(200)}}, image({9, 9}, SS_UINT8))
                  .text()
                  .find("Intensity comparison threshold"),
              std::string::npos);
    // Floating images take any non-negative threshold.
    const BlockError f = errorOf({{0, Array::scalar(3)}, {3, Array::scalar(1e6)}}, image({9, 9}));
    EXPECT_EQ(f.text().find("Intensity comparison threshold"), std::string::npos) << f.text();
}

TEST(CornerSetup, Tunability) {
    const struct {
        int method, outputMode;
        std::vector<int> tunable;
    } cases[] = {{1, 3, {1}}, {1, 1, {1, 8}}, {2, 3, {}}, {2, 2, {8}}, {3, 3, {3, 4}}, {3, 1, {3, 4, 8}}};
    for (const auto& c : cases) {
        auto b = makeBlock({{0, Array::scalar(c.method)}, {5, Array::scalar(c.outputMode)}}, image({12, 12}));
        for (int i = 0; i < 27; ++i) {
            const bool want = std::find(c.tunable.begin(), c.tunable.end(), i) != c.tunable.end();
            EXPECT_EQ(b->isParamTunable(i), want)
                << "method " << c.method << " mode " << c.outputMode << " #" << i;
        }
    }
}

TEST(CornerSetup, RoleTypesTheLibraryCannotHoldAreRefused) {
    const struct {
        std::map<int, Array> set;
        const char* role;
        const char* param;
    } cases[] = {
        {{{20, Array::scalar(200)}}, "\"Memory\"", "parameter 20"},
        {{{19, Array::scalar(0)}, {20, Array::scalar(0)}}, "\"Memory\"", "parameter 20"},
        {{{10, Array::scalar(7)}}, "\"Coefficients\"", "parameter 10"},
        {{{17, Array::scalar(1)}}, "\"Accumulator\"", "parameter 17"},
        {{{23, Array::scalar(129)}}, "\"Metric output\"", "parameter 23"},
        {{{0, Array::scalar(2)}, {14, Array::scalar(3)}}, "\"Square root\"", "parameter 14"},
        {{{21, Array::scalar(4000)}}, "\"Memory\"", "parameter 20"},
    };
    for (const auto& c : cases) {
        const BlockError e = errorOf(c.set, image({8, 8}, SS_UINT8));
        EXPECT_NE(e.text().find(c.role), std::string::npos) << e.text();
        EXPECT_NE(e.text().find(c.param), std::string::npos) << e.text();
        // Floating images do not use the roles.
        EXPECT_EQ(errorOf(c.set, image({8, 8})).text(), "") << c.role;
    }
}

TEST(CornerSetup, TunableFactorChangedBetweenSteps) {
    const int32_t M = 10, N = 12;
    std::vector<double> img(M * N);
    for (int32_t i = 0; i < M * N; ++i)
        img[i] = double((i * 37) % 11) / 11.0;
    const std::vector<double> taps = {0.0625, 0.25, 0.375, 0.25, 0.0625};
    auto b = makeBlock({}, image({M, N}));
    b->start();
    EXPECT_EQ(runOnce<double>(*b, img), transcribedMetric<double>(img, M, N, taps, true, 0.04));
    b->changeParameter(1, Array::scalar(0.15));
    EXPECT_EQ(runOnce<double>(*b, img), transcribedMetric<double>(img, M, N, taps, true, 0.15));

    // The fixed path re-reads k as well: a block started with 0.15 gives the same output.
    std::vector<uint8_t> img8(M * N);
    for (int32_t i = 0; i < M * N; ++i)
        img8[i] = uint8_t((i * 53) % 256);
    auto f = makeBlock({}, image({M, N}, SS_UINT8));
    f->start();
    const auto before = runOnce<uint8_t, int64_t>(*f, img8);
    f->changeParameter(1, Array::scalar(0.15));
    const auto after = runOnce<uint8_t, int64_t>(*f, img8);
    auto g = makeBlock({{1, Array::scalar(0.15)}}, image({M, N}, SS_UINT8));
    g->start();
    const auto fresh = runOnce<uint8_t, int64_t>(*g, img8);
    EXPECT_EQ(after, fresh);
    EXPECT_NE(before, after);

    // The minimum metric follows a change while finding corners; the filter is not tunable.
    auto c = makeBlock({{5, Array::scalar(1)}}, image({M, N}));
    c->start();
    c->changeParameter(8, Array::scalar(2.5));
    EXPECT_EQ(valuesOf<double>(*rtp(c->runTimeParams(), "THRMETRIC_RTP")), std::vector<double>{2.5});
    EXPECT_THROW(c->changeParameter(2, filterParam({0.25, 0.5, 0.25})), BlockError);
    // A change that fails its check is refused.
    EXPECT_THROW(b->changeParameter(1, Array::scalar(0.3)), BlockError);
}

TEST(CornerSetup, VariableSizeSteps) {
    const int32_t MaxM = 12, MaxN = 14;
    const std::vector<double> taps = {0.0625, 0.25, 0.375, 0.25, 0.0625};
    auto b = makeBlock({{0, Array::scalar(2)}}, image({MaxM, MaxN}, SS_DOUBLE, 1));
    b->start();
    auto stepAt = [&](int32_t M, int32_t N) {
        std::vector<double> img(M * N);
        for (int32_t i = 0; i < M * N; ++i)
            img[i] = std::sin(0.7 * i) * 0.5 + 0.5;
        setImage(*b, img, {M, N});
        b->step();
        EXPECT_EQ(b->currentOutputDims(0), (std::vector<int32_t>{M, N}));
        const auto want = transcribedMetric<double>(img, M, N, taps, false, 0.0);
        EXPECT_EQ(outputOf<double>(*b), want) << M << "x" << N;
    };
    stepAt(12, 14);
    stepAt(8, 9);
    stepAt(8, 13);  // columns change, rows stay: the column tables are rebuilt
    stepAt(3, 3);
    const std::vector<uint8_t> before(static_cast<const uint8_t*>(b->output(0)),
                                      static_cast<const uint8_t*>(b->output(0)) + b->currentOutputBytes(0));
    std::vector<double> tiny(2 * 9, 1.0);
    setImage(*b, tiny, {2, 9});
    try {
        b->step();
        FAIL() << "a 2x9 step was accepted";
    } catch (const BlockError& e) {
        EXPECT_EQ(e.messageClass(), "vision::system::inputDimsWrong") << e.what();
    }
    const std::vector<uint8_t> after(static_cast<const uint8_t*>(b->output(0)),
                                     static_cast<const uint8_t*>(b->output(0)) + before.size());
    EXPECT_EQ(before, after);
}

}  // namespace

namespace {

// A logged run takes the number objects; with a floating image they compute in the image's own type, so
// every value equals the plain floating path's.
TEST(CornerSetup, LoggedFloatingImagesMatchTheFloatingPath) {
    Settings logging;
    logging.minMaxOverflowLogging = 1;
    const int32_t M = 11, N = 9;
    std::vector<double> img(M * N);
    for (int32_t i = 0; i < M * N; ++i)
        img[i] = std::cos(0.37 * i) * 0.5 + 0.5;
    const std::vector<float> imgF(img.begin(), img.end());
    for (int method : {1, 2}) {
        auto plain = makeBlock({{0, Array::scalar(method)}}, image({M, N}));
        auto logged = makeBlock({{0, Array::scalar(method)}}, image({M, N}), logging);
        plain->start();
        logged->start();
        EXPECT_EQ(logged->dworks()[0].dataType, SS_DOUBLE);
        EXPECT_EQ(runOnce<double>(*logged, img), runOnce<double>(*plain, img)) << method;
        auto plainF = makeBlock({{0, Array::scalar(method)}}, image({M, N}, SS_SINGLE));
        auto loggedF = makeBlock({{0, Array::scalar(method)}}, image({M, N}, SS_SINGLE), logging);
        plainF->start();
        loggedF->start();
        EXPECT_EQ(runOnce<float>(*loggedF, imgF), runOnce<float>(*plainF, imgF)) << method;
    }
}

TEST(CornerSetup, RoundingAndOverflowListsAreChecked) {
    EXPECT_EQ(errorOf({{25, Array::scalar(8)}}, image({8, 8}), false).messageClass(),
              "dspshared::system::popupParamInvalid");
    EXPECT_EQ(errorOf({{26, Array::scalar(3)}}, image({8, 8}), false).messageClass(),
              "dspshared::system::popupParamInvalid");
    EXPECT_EQ(errorOf({{5, Array::scalar(5)}}, image({8, 8}), false).messageClass(),
              "dspshared::system::popupParamInvalid");
}

// The limits derive from the threshold as the image type stores it: 20.5 is stored as 21 in uint8.
TEST(CornerSetup, ComparisonLimitsFollowTheStoredThreshold) {
    auto b = makeBlock({{0, Array::scalar(3)}, {3, Array::scalar(20.5)}}, image({9, 9}, SS_UINT8));
    try {
        b->start();
    } catch (const BlockError& e) {
        // Without the comparison kernel in the build, only that refusal is allowed.
        EXPECT_NE(e.text().find("local intensity comparison"), std::string::npos) << e.what();
    }
    const auto rtps = b->runTimeParams();
    EXPECT_EQ(valuesOf<uint8_t>(*rtp(rtps, "VALTHR_RTP")), std::vector<uint8_t>{21});
    EXPECT_EQ(valuesOf<uint8_t>(*rtp(rtps, "DTLOW_RTP")), std::vector<uint8_t>{21});
    EXPECT_EQ(valuesOf<uint8_t>(*rtp(rtps, "DTHIGH_RTP")), std::vector<uint8_t>{234});
}

}  // namespace
