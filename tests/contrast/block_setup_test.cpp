// Set-up of the contrast adjustment block through the host: dialog checks and their messages, ports and
// data types, run-time parameters, work vectors, the table choice and tunability.
#include <limits>

#include "contrast_rig.h"

using namespace contrast_test;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

struct CheckCase {
    const char* what;
    std::function<void(Dialog&)> edit;
    const char* messageClass;  // nullptr: passes; "" : a plain text (see textPart)
    const char* textPart;
};

const std::vector<CheckCase>& checkCases() {
    static const std::vector<CheckCase> cases = {
        {"defaults", [](Dialog&) {}, nullptr, nullptr},
        {"input mode 0", [](Dialog& d) { d.inputMode = 0; }, "dspshared::system::popupParamInvalid", ""},
        {"input mode 4", [](Dialog& d) { d.inputMode = 4; }, "dspshared::system::popupParamInvalid", ""},
        {"output mode 3", [](Dialog& d) { d.outputMode = 3; }, "dspshared::system::popupParamInvalid", ""},
        {"check box 2", [](Dialog& d) { d.checkBox = 2; }, "dspshared::system::popupParamInvalid", ""},
        {"input range low above high",
         [](Dialog& d) {
             d.inputMode = 2;
             d.inputRange = {0.8, 0.2};
         },
         "vision::system::pixelUpperLimitWrong", ""},
        {"input range low == high passes",
         [](Dialog& d) {
             d.inputMode = 2;
             d.inputRange = {0.5, 0.5};
         },
         nullptr, nullptr},
        {"input range of three values",
         [](Dialog& d) {
             d.inputMode = 2;
             d.inputRange = {0, 1, 2};
         },
         "dspshared::system::paramWrongNumElements", "Range [low high]"},
        {"input range with NaN",
         [](Dialog& d) {
             d.inputMode = 2;
             d.inputRange = {0, kNaN};
         },
         "dspshared::system::paramNotFinite", "Range [low high]"},
        {"a bad input range is not looked at in min/max mode",
         [](Dialog& d) {
             d.inputMode = 1;
             d.inputRange = {5, 1};
         },
         nullptr, nullptr},
        {"negative low fraction",
         [](Dialog& d) {
             d.fractions = {-0.1, 0.1};
         },
         "vision::system::settingNotPositive", "Percentages of pixels to saturate [low high]"},
        {"negative high fraction",
         [](Dialog& d) {
             d.fractions = {0.1, -0.01};
         },
         "vision::system::settingNotPositive", "Percentages of pixels to saturate [low high]"},
        {"fractions summing to 1",
         [](Dialog& d) {
             d.fractions = {0.5, 0.5};
         },
         "vision::system::sumPixSatTooBig", ""},
        {"fractions summing above 1",
         [](Dialog& d) {
             d.fractions = {0.9, 0.2};
         },
         "vision::system::sumPixSatTooBig", ""},
        {"fractions [0 0] pass",
         [](Dialog& d) {
             d.fractions = {0, 0};
         },
         nullptr, nullptr},
        {"0 bins", [](Dialog& d) { d.numBins = 0; }, "dspshared::system::paramOutOfRange",
         "Number of histogram bins"},
        {"-3 bins", [](Dialog& d) { d.numBins = -3; }, "dspshared::system::paramOutOfRange",
         "Number of histogram bins"},
        {"2.5 bins", [](Dialog& d) { d.numBins = 2.5; }, "dspshared::system::paramNotWholeNumber",
         "Number of histogram bins"},
        {"1 bin passes", [](Dialog& d) { d.numBins = 1; }, nullptr, nullptr},
        {"16777216 bins pass", [](Dialog& d) { d.numBins = 16777216; }, nullptr, nullptr},
        {"16777217 bins", [](Dialog& d) { d.numBins = 16777217; }, "dspshared::system::paramOutOfRange",
         "Number of histogram bins"},
        {"Product 1 mode 3", [](Dialog& d) { d.product1Mode = 3; }, "dspshared::system::popupParamInvalid",
         ""},
        {"Product 2 mode 0", [](Dialog& d) { d.product2Mode = 0; }, "dspshared::system::popupParamInvalid",
         ""},
        {"output range of one value", [](Dialog& d) { d.outputRange = {1}; },
         "dspshared::system::paramWrongNumElements", "Output pixel value range [low high]"},
        {"rounding 8", [](Dialog& d) { d.rounding = 8; }, "dspshared::system::popupParamInvalid", ""},
        {"overflow 0", [](Dialog& d) { d.overflow = 0; }, "dspshared::system::popupParamInvalid", ""},
        {"Product 1 word length 1", [](Dialog& d) { d.product1WordLength = 1; }, "",
         "The Product 1 word length must be a positive integer between 2 and 128 inclusive"},
        {"Product 1 word length 129", [](Dialog& d) { d.product1WordLength = 129; }, "",
         "The Product 1 word length must be a positive integer between 2 and 128 inclusive"},
        {"Product 1 word length 2 and 128 pass",
         [](Dialog& d) {
             d.product1WordLength = 2;
             d.product2WordLength = 128;
         },
         nullptr, nullptr},
        {"Product 1 fraction length 1.5", [](Dialog& d) { d.product1FracLength = 1.5; }, "",
         "The Product 1 fractional length must be an integer"},
        {"Product 2 word length 200", [](Dialog& d) { d.product2WordLength = 200; }, "",
         "The Product 2 word length must be a positive integer between 2 and 128 inclusive"},
        {"Product 2 fraction length NaN", [](Dialog& d) { d.product2FracLength = kNaN; }, "",
         "The Product 2 fractional length must be an integer"},
        {"negative fraction lengths pass",
         [](Dialog& d) {
             d.product1FracLength = -4;
             d.product2FracLength = -9;
         },
         nullptr, nullptr},
    };
    return cases;
}

TEST(ContrastSetup, DialogChecksReportTheirMessage) {
    for (const CheckCase& c : checkCases()) {
        Dialog d;
        c.edit(d);
        auto b = makeBlock(d);
        const BlockError e = errorOf([&] { b->initialize(); });
        if (c.messageClass == nullptr) {
            EXPECT_EQ(e.text(), "no error") << c.what;
            continue;
        }
        EXPECT_NE(e.text(), "no error") << c.what;
        EXPECT_EQ(e.messageClass(), c.messageClass) << c.what << ": " << e.text();
        if (*c.textPart) {
            EXPECT_NE(e.text().find(c.textPart), std::string::npos) << c.what << ": " << e.text();
        }
        EXPECT_EQ(e.text().find('\n'), std::string::npos) << c.what;
    }
}

TEST(ContrastSetup, ARefusedDialogWritesNothing) {
    Dialog d;
    d.fractions = {0.5, 0.5};
    auto b = makeBlock(d);
    EXPECT_THROW(b->initialize(), BlockError);
    EXPECT_THROW(b->start(), BlockError);
}

struct TypeCase {
    const char* type;
    bool accepted;
};

TEST(ContrastSetup, DataTypes) {
    const TypeCase cases[] = {
        {"double", true},       {"single", true},        {"int8", true},          {"uint8", true},
        {"int16", true},        {"uint16", true},        {"int32", true},         {"uint32", true},
        {"boolean", false},     {"fixed:s12:3", true},   {"fixed:u16:-2", true},  {"fixed:s40:10", true},
        {"fixed:s127:0", true}, {"fixed:s128:0", false}, {"fixed:u128:4", false},
    };
    for (const TypeCase& c : cases) {
        auto b = makeBlock(Dialog{});
        b->initialize();
        const BlockError e = errorOf([&] { b->propagate({image({4, 5}, typeId(c.type))}); });
        if (c.accepted) {
            EXPECT_EQ(e.text(), "no error") << c.type;
            EXPECT_EQ(b->outputPort(0).dataType, typeId(c.type)) << c.type;
        } else {
            EXPECT_NE(e.text(), "no error") << c.type;
        }
    }
}

TEST(ContrastSetup, A128BitInputIsRefusedWithAReason) {
    auto b = makeBlock(Dialog{});
    b->initialize();
    const BlockError e = errorOf([&] { b->propagate({image({4, 5}, typeId("fixed:s128:0"))}); });
    EXPECT_NE(e.text().find("127 bits"), std::string::npos) << e.text();
}

TEST(ContrastSetup, DimensionsAndComplexity) {
    {
        auto b = makeBlock(Dialog{});
        b->initialize();
        const BlockError e = errorOf([&] { b->propagate({image({4, 5, 3}, SS_DOUBLE)}); });
        EXPECT_EQ(e.messageClass(), "dspshared::system::inputNot1D2D") << e.text();
    }
    {
        auto b = makeBlock(Dialog{});
        b->initialize();
        InputSpec in = image({4, 5}, SS_DOUBLE);
        in.complexSignal = 1;
        EXPECT_THROW(b->propagate({in}), BlockError);
    }
    for (const std::vector<int32_t>& dims : {std::vector<int32_t>{7}, std::vector<int32_t>{3, 9}}) {
        auto b = makeBlock(Dialog{});
        b->initialize();
        b->propagate({image(dims, SS_UINT16)});
        EXPECT_EQ(b->outputPort(0).dims, dims);
        EXPECT_EQ(b->outputPort(0).complexSignal, 0);
    }
}

struct LayoutCase {
    const char* what;
    double inputMode;
    double outputMode;
    const char* type;
    int32_t pixels;
    std::vector<std::string> rtps;
    std::vector<std::string> dworks;
};

TEST(ContrastSetup, RunTimeParametersAndWorkVectors) {
    const LayoutCase cases[] = {
        {"min/max, full range", 1, 1, "double", 300, {"OUTPUTRANGE_RTP"}, {}},
        {"dialog range", 2, 2, "double", 300, {"OUTPUTRANGE_RTP", "INPUTRANGE_RTP"}, {}},
        {"histogram, double", 3, 1, "double", 300, {"OUTPUTRANGE_RTP", "FRAC_RTP"}, {"HIST_DW"}},
        {"histogram, uint8 of 257 pixels",
         3,
         1,
         "uint8",
         257,
         {"OUTPUTRANGE_RTP", "FRAC_RTP", "LOWERBOUND_RTP"},
         {"HIST_DW", "LUT_DW"}},
        {"histogram, uint8 of 256 pixels", 3, 1, "uint8", 256, {"OUTPUTRANGE_RTP", "FRAC_RTP"}, {"HIST_DW"}},
        {"min/max, int8 of 1000 pixels",
         1,
         1,
         "int8",
         1000,
         {"OUTPUTRANGE_RTP", "LOWERBOUND_RTP"},
         {"LUT_DW"}},
        {"dialog range, fixed:u6:0",
         2,
         1,
         "fixed:u6:0",
         500,
         {"OUTPUTRANGE_RTP", "INPUTRANGE_RTP", "LOWERBOUND_RTP"},
         {"LUT_DW"}},
        {"int16 never uses the table", 1, 1, "int16", 100000, {"OUTPUTRANGE_RTP"}, {}},
        {"fraction bits: no table", 1, 1, "fixed:s8:2", 1000, {"OUTPUTRANGE_RTP"}, {}},
    };
    for (const LayoutCase& c : cases) {
        Dialog d;
        d.inputMode = c.inputMode;
        d.outputMode = c.outputMode;
        auto b = startedBlock(d, typeId(c.type), c.pixels);
        std::vector<std::string> rtps, dworks;
        for (const auto& r : b->runTimeParams())
            rtps.push_back(r.name);
        for (const auto& w : b->dworks())
            dworks.push_back(w.name);
        EXPECT_EQ(rtps, c.rtps) << c.what;
        EXPECT_EQ(dworks, c.dworks) << c.what;
        for (const auto& w : b->dworks()) {
            EXPECT_EQ(w.usageType, 2) << c.what;
            if (w.name == "HIST_DW") {
                EXPECT_EQ(w.width, 257) << c.what;
                EXPECT_EQ(w.dataType, SS_UINT32) << c.what;
            } else {
                EXPECT_EQ(w.width, 256) << c.what;
                EXPECT_EQ(w.dataType, typeId(c.type)) << c.what;
            }
        }
    }
}

template <typename T>
std::vector<T> rtpValues(const dravo::host::RtpInfo& r) {
    std::vector<T> v(r.bytes.size() / sizeof(T));
    std::memcpy(v.data(), r.bytes.data(), v.size() * sizeof(T));
    return v;
}

TEST(ContrastSetup, RunTimeParameterContents) {
    {
        auto b = startedBlock(Dialog{}, SS_INT16, 300);
        const auto rtps = b->runTimeParams();
        EXPECT_EQ(rtpValues<int16_t>(rtps[0]), (std::vector<int16_t>{-32768, 32767}));
        EXPECT_NE(rtps[1].dataType, SS_INT16);  // the "Fraction" type
    }
    {
        Dialog d;
        d.inputMode = 1;
        auto b = startedBlock(d, SS_INT8, 300);
        const auto rtps = b->runTimeParams();
        EXPECT_EQ(rtpValues<int8_t>(rtps[0]), (std::vector<int8_t>{-128, 127}));
        EXPECT_EQ(rtpValues<int8_t>(rtps[1]), (std::vector<int8_t>{-128}));
    }
    {
        auto b = startedBlock(Dialog{}, SS_SINGLE, 30);
        const auto rtps = b->runTimeParams();
        EXPECT_EQ(rtpValues<float>(rtps[0]), (std::vector<float>{0, 1}));
        EXPECT_EQ(rtpValues<float>(rtps[1]), (std::vector<float>{0.01f, 0.01f}));
    }
    {
        Dialog d;
        d.outputMode = 2;
        d.outputRange = {10.4, 200.6};
        auto b = startedBlock(d, SS_UINT8, 30);
        EXPECT_EQ(rtpValues<uint8_t>(b->runTimeParams()[0]), (std::vector<uint8_t>{10, 201}));
    }
}

TEST(ContrastSetup, TunabilityFollowsTheModes) {
    struct Case {
        double inputMode, outputMode;
        bool range, fractions, outputRange;
    };
    const Case cases[] = {{1, 1, false, false, false}, {2, 1, true, false, false}, {3, 2, false, true, true}};
    for (const Case& c : cases) {
        Dialog d;
        d.inputMode = c.inputMode;
        d.outputMode = c.outputMode;
        auto b = makeBlock(d);
        b->initialize();
        EXPECT_EQ(b->isParamTunable(1), c.range);
        EXPECT_EQ(b->isParamTunable(2), c.fractions);
        EXPECT_EQ(b->isParamTunable(6), c.outputRange);
        for (int i : {0, 3, 4, 5, 7, 8, 9, 10, 11, 12, 13, 14})
            EXPECT_FALSE(b->isParamTunable(i)) << i;
    }
}

}  // namespace
