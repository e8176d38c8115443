// Work vectors, run-time parameters and the host's refusals of misplaced or malformed calls.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "dravo/host/types.h"
#include "test_support.h"

using namespace hosttest;
using dravo::host::BlockError;
using dravo::host::RtpInfo;

namespace {

std::shared_ptr<Plugin> testblock() {
    return Plugin::load("dravo_testblock");
}

template <typename T>
std::vector<T> bytesAs(const std::vector<uint8_t>& bytes) {
    std::vector<T> v(bytes.size() / sizeof(T));
    std::memcpy(v.data(), bytes.data(), v.size() * sizeof(T));
    return v;
}

// The pending error text, cleared afterwards so the next callback does not pick it up.
std::string takeError(Block& b) {
    const char* e = sysobj::ssGetErrorStatus(b.handle());
    std::string s = e ? e : "";
    sysobj::ssSetErrorStatus(b.handle(), nullptr);
    return s;
}

TEST(Memory, DWorksAreSizedFromTheirDeclaration) {
    Block b(testblock(), "dw");
    b.setParameters(testParams(1, 0, 2));
    InputSpec in{{3, 4}, SS_INT16, 1, 0, 0};
    b.propagate({in});
    b.start();
    auto dw = b.dworks();
    ASSERT_EQ(dw.size(), 2u);
    EXPECT_EQ(dw[0].name, "StepCount");
    EXPECT_EQ(dw[0].width, 1);
    EXPECT_EQ(dw[0].dataType, SS_INT32);
    EXPECT_EQ(dw[1].name, "LastInput");
    EXPECT_EQ(dw[1].width, 12);
    EXPECT_EQ(dw[1].dataType, SS_INT16);
    EXPECT_EQ(dw[1].complexSignal, 1);
    EXPECT_EQ(sysobj::ssGetDWorkName(b.handle(), 1), std::string("LastInput"));

    // Zeroed at start; then the block's own counter and copy.
    auto* count = static_cast<int32_t*>(sysobj::ssGetDWork(b.handle(), 0));
    ASSERT_NE(count, nullptr);
    EXPECT_EQ(*count, 0);
    std::vector<int16_t> u(24);
    for (size_t i = 0; i < u.size(); ++i)
        u[i] = static_cast<int16_t>(i * 100 - 1000);
    setInputFrom(b, 0, u);
    b.step();
    b.step();
    EXPECT_EQ(*count, 2);
    EXPECT_EQ(std::memcmp(sysobj::ssGetDWork(b.handle(), 1), u.data(), u.size() * sizeof(int16_t)), 0);
}

struct RtpCase {
    const char* type;
    double re, im;
    bool complex;
    std::vector<int64_t> stored;  // expected stored integers (re, im interleaved)
};

class RtpConversion : public ::testing::TestWithParam<RtpCase> {};

// The stored integers of an RTP whose container holds a signed or unsigned integer.
std::vector<int64_t> storedIntegers(const RtpInfo& r) {
    const auto& t = dravo::types::info(r.dataType);
    std::vector<int64_t> out;
    for (size_t off = 0; off + t.containerBytes <= r.bytes.size(); off += t.containerBytes) {
        int64_t v = 0;
        std::memcpy(&v, r.bytes.data() + off, t.containerBytes);
        int bits = 8 * t.containerBytes;
        if (t.isSigned && bits < 64 && (v >> (bits - 1)) & 1) v -= int64_t(1) << bits;
        out.push_back(v);
    }
    return out;
}

TEST_P(RtpConversion, DialogValueIsRoundedAndSaturatedIntoTheType) {
    const RtpCase& c = GetParam();
    DataTypeId id = *dravo::types::parseTypeName(c.type);
    Block b(testblock(), "rtp");
    auto p = testParams(1, 0, 2, id);
    p[1] = c.complex ? Array::complexScalar(c.re, c.im) : Array::scalar(c.re);
    b.setParameters(std::move(p));
    b.start();
    auto rtps = b.runTimeParams();
    ASSERT_EQ(rtps.size(), 2u);
    EXPECT_EQ(rtps[0].name, "Offset");
    EXPECT_EQ(rtps[0].dataType, id);
    EXPECT_EQ(rtps[0].complexSignal, c.complex ? 1 : 0);
    EXPECT_EQ(rtps[0].dims, (std::vector<int32_t>{1, 1}));
    EXPECT_EQ(rtps[0].dlgParamIndex, 1);
    EXPECT_EQ(storedIntegers(rtps[0]), c.stored);
}

INSTANTIATE_TEST_SUITE_P(
    Types, RtpConversion,
    ::testing::Values(RtpCase{"int8", 200.7, 0, false, {127}}, RtpCase{"int8", -128.5, 0, false, {-128}},
                      RtpCase{"uint8", -3, 0, false, {0}}, RtpCase{"int16", 2.5, 0, false, {3}},
                      RtpCase{"int16", -2.5, 0, false, {-3}}, RtpCase{"uint16", 65535.4, 0, false, {65535}},
                      RtpCase{"int32", 1e12, 0, false, {2147483647}}, RtpCase{"uint32", 7.49, 0, false, {7}},
                      RtpCase{"boolean", 0.2, 0, false, {1}},
                      RtpCase{"fixed:s16:12", 1.3, 0, false, {5325}},   // 1.3 * 4096 = 5324.8
                      RtpCase{"fixed:s16:12", -9, 0, false, {-32768}},  // below -8: saturates
                      RtpCase{"fixed:u8:0", 300, 0, false, {255}},
                      RtpCase{"fixed:s12:-2", 10, 0, false, {3}},        // 10 / 4 = 2.5, ties away
                      RtpCase{"fixed:s12:4", -0.03125, 0, false, {-1}},  // -0.5 LSB, ties away
                      RtpCase{"fixed:u40:8", 2.5, 0, false, {640}},
                      RtpCase{"int16", 1.5, -2.5, true, {2, -3}},
                      RtpCase{"fixed:s8:1", 100, -100, true, {127, -128}}));

TEST(Memory, DoubleRtpIsAnExactCopyAndComplexIsInterleaved) {
    Block b(testblock(), "rtp");
    auto p = testParams(1, 0, 2, 0);
    p[1] = Array::complexScalar(0.1, -7.25);
    b.setParameters(std::move(p));
    b.start();
    auto r = b.runTimeParams()[0];
    EXPECT_EQ(bytesAs<double>(r.bytes), (std::vector<double>{0.1, -7.25}));
    const ssParamRec* rec = sysobj::ssGetRunTimeParamInfo(b.handle(), 0);
    ASSERT_NE(rec, nullptr);
    EXPECT_STREQ(rec->name, "Offset");
    EXPECT_EQ(rec->complexSignal, 1);
    EXPECT_EQ(static_cast<const double*>(rec->data)[1], -7.25);
}

TEST(Memory, RtpFromDataIsCopied) {
    Block b(testblock(), "rtp");
    b.setParameters(testParams(1, 0, 2));
    b.propagate({InputSpec{{5, 6, 2}, SS_DOUBLE, 0, 0, 0}});
    b.start();
    auto r = b.runTimeParams()[1];
    EXPECT_EQ(r.name, "InputDims");
    EXPECT_EQ(r.dataType, SS_INT32);
    EXPECT_EQ(r.dims, (std::vector<int32_t>{1, 3}));
    EXPECT_EQ(r.dlgParamIndex, -1);
    EXPECT_EQ(bytesAs<int32_t>(r.bytes), (std::vector<int32_t>{5, 6, 2}));
}

TEST(Memory, TunableChangeReconvertsTheRtpInPlace) {
    DataTypeId s8 = SS_INT8;
    Block b(testblock(), "rtp");
    b.setParameters(testParams(1, 5, 2, s8));
    b.start();
    const void* before = sysobj::ssGetRunTimeParamInfo(b.handle(), 0)->data;
    b.changeParameter(1, Array::scalar(-1000));
    auto r = b.runTimeParams()[0];
    EXPECT_EQ(bytesAs<int8_t>(r.bytes), (std::vector<int8_t>{-128}));
    EXPECT_EQ(sysobj::ssGetRunTimeParamInfo(b.handle(), 0)->data, before);  // same size: same storage
}

TEST(Memory, WithoutProcessParametersTheHostRefreshesTheRtp) {
    Block b(Plugin::load("dravo_testblock_noproc"), "noproc");
    ASSERT_EQ(b.plugin().mdlProcessParameters, nullptr);
    b.setParameters(testParams(1, 5, 1, SS_INT16));
    b.propagate({doubleInput({1, 1})});
    b.start();
    b.changeParameter(1, Array::scalar(-7.5));
    EXPECT_EQ(bytesAs<int16_t>(b.runTimeParams()[0].bytes), (std::vector<int16_t>{-8}));
}

TEST(Memory, ParameterPointersReadBeforeAChangeStayReadable) {
    Block b(testblock(), "rtp");
    b.setParameters(testParams(1, 5, 2));
    b.start();
    const qzArray_tag* before = sysobj::ssGetSFcnParam(b.handle(), 1);
    b.changeParameter(1, Array::scalar(6));
    EXPECT_EQ(qzGetScalar(before), 5.0);  // the old value, still alive
    EXPECT_EQ(qzGetScalar(sysobj::ssGetSFcnParam(b.handle(), 1)), 6.0);
}

TEST(Memory, TunableChangeOfSizeIsRefusedForAnRtpBackedParameter) {
    Block b(testblock(), "rtp");
    b.setParameters(testParams(1, 5, 2));
    b.start();
    try {
        b.changeParameter(1, Array::realVector({1, 2, 3}));
        FAIL();
    } catch (const BlockError& e) {
        EXPECT_NE(e.text().find("number of elements"), std::string::npos) << e.text();
    }
}

TEST(Memory, ComplexValueForARealRtpIsRefusedNotTruncated) {
    Block b(testblock(), "rtp");
    b.setParameters(testParams(1, 5, 1));
    b.start();
    // RTP "Offset" was registered real; an imaginary part would be lost.
    try {
        b.changeParameter(1, Array::complexScalar(1, 2));
        FAIL();
    } catch (const BlockError& e) {
        EXPECT_NE(e.text().find("is complex but run-time parameter \"Offset\" is real"), std::string::npos)
            << e.text();
    }
    EXPECT_EQ(qzGetScalar(b.parameter(1).get()), 5.0);
}

// ---- refusals of misplaced calls -----------------------------------------------------------------------

TEST(Refusals, BadPortIndexNamesTheFunction) {
    Block b(testblock(), "r");
    b.setParameters(testParams(1, 0, 2));
    b.initialize();
    EXPECT_FALSE(sysobj::ssSetInputPortDataType(b.handle(), 3, SS_DOUBLE));
    EXPECT_EQ(takeError(b),
              "ssSetInputPortDataType: input port 3 does not exist (the block has 1 input port)");
    EXPECT_FALSE(sysobj::ssSetOutputPortComplexSignal(b.handle(), -1, 0));
    EXPECT_NE(takeError(b).find("ssSetOutputPortComplexSignal: output port -1"), std::string::npos);
    EXPECT_EQ(sysobj::ssGetInputPortDimensions(b.handle(), 7), nullptr);
    EXPECT_NE(takeError(b).find("ssGetInputPortDimensions"), std::string::npos);
}

TEST(Refusals, InvalidAttributeValues) {
    Block b(testblock(), "r");
    b.setParameters(testParams(1, 0, 2));
    b.initialize();
    EXPECT_FALSE(sysobj::ssSetInputPortComplexSignal(b.handle(), 0, 5));
    EXPECT_NE(takeError(b).find("invalid complexity 5"), std::string::npos);
    EXPECT_FALSE(sysobj::ssSetInputPortDataType(b.handle(), 0, 99999));
    EXPECT_NE(takeError(b).find("unknown data type id 99999"), std::string::npos);
    int32_t dims[2] = {2, 3};
    DimsInfo_tag wrongWidth{7, 2, dims, nullptr};
    EXPECT_FALSE(sysobj::ssSetInputPortDimensionInfo(b.handle(), 0, &wrongWidth));
    EXPECT_NE(takeError(b).find("width 7 does not match dimensions [2 3]"), std::string::npos);
    EXPECT_FALSE(sysobj::ssSetInputPortDimensionInfo(b.handle(), 0, nullptr));
    takeError(b);
}

TEST(Refusals, CallsOutOfTheirLifecycleStage) {
    Block b(testblock(), "r");
    b.setParameters(testParams(1, 0, 2));
    b.initialize();
    EXPECT_FALSE(sysobj::ssSetNumInputPorts(b.handle(), 2));
    EXPECT_NE(takeError(b).find("ssSetNumInputPorts: the number of ports is fixed in mdlInitializeSizes"),
              std::string::npos);
    EXPECT_EQ(sysobj::ssGetInputPortSignal(b.handle(), 0), nullptr);
    EXPECT_NE(takeError(b).find("ssGetInputPortSignal: port signals exist only from mdlStart on"),
              std::string::npos);
    EXPECT_FALSE(sysobj::ssSetNumRunTimeParams(b.handle(), 1));
    EXPECT_NE(takeError(b).find("ssSetNumRunTimeParams"), std::string::npos);

    b.start();
    EXPECT_FALSE(sysobj::ssSetNumDWork(b.handle(), 3));
    EXPECT_NE(takeError(b).find("ssSetNumDWork: work vectors are declared in"), std::string::npos);
    EXPECT_FALSE(sysobj::ssSetOutputPortDataType(b.handle(), 0, SS_INT8));
    EXPECT_NE(takeError(b).find("once propagation is over"), std::string::npos);
    EXPECT_EQ(b.outputPort(0).dataType, SS_DOUBLE);
    // Fixed-size output: the current size cannot move away from the declared one.
    EXPECT_TRUE(sysobj::ssSetCurrentOutputPortDimensions(b.handle(), 0, 0, 1));
    EXPECT_FALSE(sysobj::ssSetCurrentOutputPortDimensions(b.handle(), 0, 0, 0));
    EXPECT_NE(takeError(b).find("fixed dimensions"), std::string::npos);
    EXPECT_EQ(sysobj::ssGetDWork(b.handle(), 2), nullptr);
    EXPECT_NE(takeError(b).find("DWork 2 does not exist"), std::string::npos);
}

TEST(Refusals, PendingRefusalSurfacesAtTheNextCallback) {
    Block b(testblock(), "r");
    b.setParameters(testParams(1, 0, 2));
    b.start();
    sysobj::ssSetNumDWork(b.handle(), 3);  // refused; status left pending
    try {
        b.step();
        FAIL();
    } catch (const BlockError& e) {
        EXPECT_NE(e.text().find("ssSetNumDWork"), std::string::npos);
    }
    b.step();  // the status was handed over once
}

TEST(Refusals, NameValuePairArgumentsAreChecked) {
    Block b(testblock(), "r");
    b.setParameters(testParams(1, 0, 2));
    b.start();
    double v = 1;
    EXPECT_FALSE(sysobj::ssWriteTarnNameValuePair(b.handle(), -1, "x", &v, SS_DOUBLE, 1, 1));
    takeError(b);
    EXPECT_FALSE(sysobj::ssWriteTarnNameValuePair(b.handle(), 8, nullptr, &v, SS_DOUBLE, 1, 1));
    takeError(b);
    EXPECT_FALSE(sysobj::ssWriteTarnNameValuePair(b.handle(), 8, "x", nullptr, SS_DOUBLE, 1, 1));
    takeError(b);
    EXPECT_TRUE(sysobj::ssWriteTarnNameValuePair(b.handle(), 8, "Gain", &v, SS_DOUBLE, 1, 1));
    ASSERT_EQ(b.nameValuePairs().size(), 1u);  // same name replaces
}

}  // namespace
