// The lifecycle through the test plug-in: initialize, start, steps, tunable changes, errors, terminate.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "dravo/host/messages.h"
#include "test_support.h"

using namespace hosttest;
using dravo::host::BlockError;

namespace {

std::shared_ptr<Plugin> testblock() {
    return Plugin::load("dravo_testblock");
}

TEST(Lifecycle, AffineStepsUseGainAndOffset) {
    Block b(testblock(), "affine");
    b.setParameters(testParams(2.0, 0.5));
    b.propagate({doubleInput({2, 3})});
    b.start();
    std::vector<double> u = {1, 2, 3, 4, 5, 6};
    setInputFrom(b, 0, u);
    b.step();
    EXPECT_EQ(outputAs<double>(b, 0), (std::vector<double>{2.5, 4.5, 6.5, 8.5, 10.5, 12.5}));
    EXPECT_EQ(b.currentOutputDims(0), (std::vector<int32_t>{2, 3}));
}

TEST(Lifecycle, StagesRunTheEarlierOnesWhenSkipped) {
    Block b(testblock(), "lazy");
    b.setParameters(testParams(1.0, 1.0));
    // start() without propagate(): the input is unconnected and reads as a grounded double scalar.
    b.start();
    EXPECT_EQ(b.inputPort(0).dims, (std::vector<int32_t>{1, 1}));
    EXPECT_EQ(b.inputPort(0).connected, 0);
    b.step();
    EXPECT_EQ(outputAs<double>(b, 0), (std::vector<double>{1.0}));
}

TEST(Lifecycle, WrongParameterCountIsRefused) {
    Block b(testblock(), "count");
    auto p = testParams(1, 0);
    p.pop_back();
    b.setParameters(std::move(p));
    try {
        b.initialize();
        FAIL() << "expected a BlockError";
    } catch (const BlockError& e) {
        EXPECT_EQ(e.phase(), "initialize");
        EXPECT_EQ(e.block(), "count");
        EXPECT_NE(e.text().find("takes 4 dialog parameters, but 3 were given"), std::string::npos)
            << e.text();
    }
}

TEST(Lifecycle, CheckParametersErrorComesOutAsBlockError) {
    Block b(testblock(), "badgain");
    b.setParameters(testParams(std::numeric_limits<double>::infinity(), 0));
    try {
        b.initialize();
        FAIL();
    } catch (const BlockError& e) {
        EXPECT_EQ(e.phase(), "initialize");
        EXPECT_EQ(e.messageClass(), "");
        EXPECT_EQ(e.text(), "Gain must be a finite real scalar.");
    }
    // A failed block stays failed.
    EXPECT_THROW(b.propagate({doubleInput({1, 1})}), BlockError);
}

TEST(Lifecycle, ErrorWithMessageClassKeepsClassAndText) {
    Block b(testblock(), "fourd");
    b.setParameters(testParams(1, 0));
    try {
        b.propagate({doubleInput({2, 2, 2, 2})});
        FAIL();
    } catch (const BlockError& e) {
        EXPECT_EQ(e.phase(), "propagate");
        EXPECT_EQ(e.messageClass(), "dspshared::system::inputNot2D");
        EXPECT_EQ(e.text(), dravo::messages::text("dspshared::system::inputNot2D"));
        EXPECT_NE(std::string(e.what()).find("[dspshared::system::inputNot2D]"), std::string::npos);
    }
}

TEST(Lifecycle, StepErrorIsReportedEveryStep) {
    Block b(testblock(), "fail");
    b.setParameters(testParams(1, 0, 3));
    b.propagate({doubleInput({1, 1})});
    for (int k = 0; k < 2; ++k) {
        try {
            b.step();
            FAIL();
        } catch (const BlockError& e) {
            EXPECT_EQ(e.phase(), "step");
            EXPECT_EQ(e.text(), "The test block was told to fail.");
        }
    }
}

TEST(Lifecycle, StartErrorStopsTheBlock) {
    Block b(testblock(), "int8affine");
    b.setParameters(testParams(1, 0, 1));
    InputSpec in = doubleInput({2, 2});
    in.dataType = SS_INT8;
    b.propagate({in});
    try {
        b.start();
        FAIL();
    } catch (const BlockError& e) {
        EXPECT_EQ(e.phase(), "start");
        EXPECT_EQ(e.text(), "Affine mode needs a double or single input.");
    }
    EXPECT_THROW(b.step(), BlockError);
}

TEST(Lifecycle, TunableChangeIsCheckedThenProcessed) {
    Block b(testblock(), "tune");
    b.setParameters(testParams(1.0, 0.0));
    b.propagate({doubleInput({1, 2})});
    std::vector<double> u = {1, 2};
    setInputFrom(b, 0, u);
    b.step();
    EXPECT_EQ(outputAs<double>(b, 0), (std::vector<double>{1, 2}));

    b.changeParameter(1, Array::scalar(10.0));
    b.step();
    EXPECT_EQ(outputAs<double>(b, 0), (std::vector<double>{11, 12}));

    // A value mdlCheckParameters refuses leaves the old one in force.
    EXPECT_THROW(b.changeParameter(1, Array::realVector({1, 2})), BlockError);
    EXPECT_EQ(qzGetScalar(b.parameter(1).get()), 10.0);
    b.step();
    EXPECT_EQ(outputAs<double>(b, 0), (std::vector<double>{11, 12}));
}

TEST(Lifecycle, NonTunableChangeWhileRunningIsRefused) {
    Block b(testblock(), "nontunable");
    b.setParameters(testParams(1.0, 0.0));
    b.start();
    EXPECT_TRUE(b.isParamTunable(1));
    EXPECT_FALSE(b.isParamTunable(0));
    try {
        b.changeParameter(0, Array::scalar(3.0));
        FAIL();
    } catch (const BlockError& e) {
        EXPECT_EQ(e.phase(), "changeParameter");
        EXPECT_NE(e.text().find("not tunable"), std::string::npos);
    }
    EXPECT_EQ(qzGetScalar(b.parameter(0).get()), 1.0);
}

TEST(Lifecycle, NonTunableChangeBeforePropagationIsChecked) {
    Block b(testblock(), "early");
    b.setParameters(testParams(1.0, 0.0));
    b.initialize();
    b.changeParameter(0, Array::scalar(4.0));  // not running yet: allowed, and checked
    EXPECT_THROW(b.changeParameter(0, Array::scalar(std::nan(""))), BlockError);
    EXPECT_EQ(qzGetScalar(b.parameter(0).get()), 4.0);
}

TEST(Lifecycle, VariableSizeStepsCarryCurrentDims) {
    Block b(testblock(), "varsize");
    b.setParameters(testParams(1.0, 0.0, 2));
    b.propagate({doubleInput({4, 3}, 1)});
    EXPECT_EQ(b.inputPort(0).dimsMode, 1);
    EXPECT_EQ(b.outputPort(0).dimsMode, 1);
    std::vector<double> u = {1, 2, 3, 4, 5, 6};
    setInputFrom(b, 0, u, {2, 3});
    b.step();
    EXPECT_EQ(b.currentOutputDims(0), (std::vector<int32_t>{2, 3}));
    EXPECT_EQ(b.currentOutputBytes(0), 6 * sizeof(double));
    EXPECT_EQ(outputAs<double>(b, 0), u);

    std::vector<double> v = {7, 8, 9, 10};
    setInputFrom(b, 0, v, {4, 1});
    b.step();
    EXPECT_EQ(b.currentOutputDims(0), (std::vector<int32_t>{4, 1}));
    EXPECT_EQ(outputAs<double>(b, 0), v);
}

// The host's own buffer, written in place, is what the block reads; its size follows the current dims.
TEST(Lifecycle, InputBufferIsWrittenInPlace) {
    Block b(testblock(), "inplace");
    b.setParameters(testParams(2.0, 1.0, 1));
    b.propagate({doubleInput({4, 3}, 1)});
    size_t bytes = 0;
    auto* u = static_cast<double*>(b.inputBuffer(0, {2, 3}, &bytes));
    ASSERT_EQ(bytes, 6 * sizeof(double));
    for (int i = 0; i < 6; ++i)
        u[i] = i;
    b.step();
    EXPECT_EQ(b.currentOutputDims(0), (std::vector<int32_t>{2, 3}));
    EXPECT_EQ(outputAs<double>(b, 0), (std::vector<double>{1, 3, 5, 7, 9, 11}));
    // The same storage every step.
    EXPECT_EQ(b.inputBuffer(0, {4, 3}, &bytes), u);
    EXPECT_EQ(bytes, 12 * sizeof(double));
    EXPECT_THROW(b.inputBuffer(0, {5, 3}, &bytes), BlockError);
    EXPECT_THROW(b.inputBuffer(1, {1, 1}, &bytes), BlockError);
}

// A refused input leaves the port's current size as it was.
TEST(Lifecycle, RefusedInputKeepsTheCurrentSize) {
    Block b(testblock(), "keep");
    b.setParameters(testParams(1.0, 0.0, 2));
    b.propagate({doubleInput({4, 3}, 1)});
    std::vector<double> u = {1, 2};
    setInputFrom(b, 0, u, {2, 1});
    std::vector<double> wrong(5, 0.0);
    EXPECT_THROW(setInputFrom(b, 0, wrong, {3, 3}), BlockError);
    b.step();
    EXPECT_EQ(b.currentOutputDims(0), (std::vector<int32_t>{2, 1}));
    EXPECT_EQ(outputAs<double>(b, 0), u);
}

TEST(Lifecycle, VariableSizeInputLargerThanDeclaredIsRefused) {
    Block b(testblock(), "varsize");
    b.setParameters(testParams(1.0, 0.0, 2));
    b.propagate({doubleInput({4, 3}, 1)});
    std::vector<double> u(15, 1.0);
    EXPECT_THROW(setInputFrom(b, 0, u, {5, 3}), BlockError);
    EXPECT_THROW(setInputFrom(b, 0, u, {4, 3}), BlockError);  // byte count does not match 4 x 3
    std::vector<double> none;
    EXPECT_THROW(setInputFrom(b, 0, none), BlockError);  // current dims are required
}

TEST(Lifecycle, FixedSizeInputNeedsExactBytes) {
    Block b(testblock(), "fixed");
    b.setParameters(testParams(1.0, 0.0, 2));
    b.propagate({doubleInput({2, 2})});
    std::vector<double> three = {1, 2, 3};
    EXPECT_THROW(setInputFrom(b, 0, three), BlockError);
}

TEST(Lifecycle, TerminateRunsOnceAndClearsUserData) {
    Block b(testblock(), "term");
    b.setParameters(testParams(1.0, 0.0));
    b.start();
    ASSERT_NE(sysobj::ssGetUserData(b.handle()), nullptr);
    EXPECT_EQ(*static_cast<int*>(sysobj::ssGetUserData(b.handle())), 42);
    b.terminate();
    EXPECT_EQ(sysobj::ssGetUserData(b.handle()), nullptr);
    b.terminate();  // a second terminate does nothing
    EXPECT_THROW(b.step(), BlockError);
}

TEST(Lifecycle, WarningsAndNameValuePairsAreKept) {
    Block b(testblock(), "zero");
    b.setParameters(testParams(0.0, 3.0));
    b.start();
    ASSERT_EQ(b.warnings().size(), 1u);
    EXPECT_EQ(b.warnings()[0].text, "Gain is zero: the output is the offset alone.");
    ASSERT_EQ(b.nameValuePairs().size(), 1u);
    const auto& nvp = b.nameValuePairs()[0];
    EXPECT_EQ(nvp.name, "Gain");
    EXPECT_EQ(nvp.kind, 8);
    EXPECT_EQ(nvp.dataType, SS_DOUBLE);
    double g = 1;
    ASSERT_EQ(nvp.bytes.size(), sizeof g);
    std::memcpy(&g, nvp.bytes.data(), sizeof g);
    EXPECT_EQ(g, 0.0);
}

TEST(Lifecycle, ComplexSignalsAreInterleaved) {
    Block b(testblock(), "complex");
    b.setParameters(testParams(2.0, 1.0));
    InputSpec in = doubleInput({1, 2});
    in.complexSignal = 1;
    b.propagate({in});
    EXPECT_EQ(b.outputPort(0).complexSignal, 1);
    std::vector<double> u = {1, -1, 2, -2};  // 1-1i, 2-2i
    setInputFrom(b, 0, u);
    b.step();
    EXPECT_EQ(outputAs<double>(b, 0), (std::vector<double>{3, -2, 5, -4}));
}

TEST(Lifecycle, RealInputUnderAComplexOffsetWidensToComplex) {
    Block b(testblock(), "widen");
    auto params = testParams(2.0, 0.0);
    params[1] = Array::complexScalar(1.0, 3.0);
    b.setParameters(params);
    b.propagate({doubleInput({1, 2})});
    ASSERT_EQ(b.outputPort(0).complexSignal, 1);
    setInputFrom(b, 0, std::vector<double>{1, 2});
    b.step();
    EXPECT_EQ(outputAs<double>(b, 0), (std::vector<double>{3, 3, 5, 3}));  // 2*1+1 +3i, 2*2+1 +3i
}

TEST(Lifecycle, ClassWithoutTextReadsAsTheCatalogueText) {
    Block b(testblock(), "cls");
    sysobj::ssSetErrorStatusWithClass(b.handle(), "dspshared::system::inputNot2D", nullptr);
    EXPECT_EQ(std::string(sysobj::ssGetErrorStatus(b.handle())), "The input must be a 2-D signal.");
    sysobj::ssSetErrorStatus(b.handle(), nullptr);
    EXPECT_EQ(sysobj::ssGetErrorStatus(b.handle()), nullptr);
    sysobj::ssWarning(b.handle(), "dspshared::system::padOutSzLTInSzW", "");
    ASSERT_EQ(b.warnings().size(), 1u);
    EXPECT_EQ(b.warnings()[0].messageClass, "dspshared::system::padOutSzLTInSzW");
    EXPECT_EQ(b.warnings()[0].text, dravo::messages::text("dspshared::system::padOutSzLTInSzW"));
}

TEST(Lifecycle, HostSettingsReachTheBlock) {
    dravo::host::Settings settings;
    settings.simMode = 2;
    settings.minMaxOverflowLogging = 1;
    settings.dataTypeOverride = 1;
    Block b(testblock(), "settings", settings);
    EXPECT_EQ(sysobj::ssGetSimMode(b.handle()), 2);
    EXPECT_EQ(sysobj::ssGetMinMaxOverflowLogging(b.handle()), 1);
    EXPECT_EQ(sysobj::ssGetDataTypeOverride(b.handle()), 1);
    EXPECT_STREQ(sysobj::ssGetPath(b.handle()), "settings");
}

TEST(Lifecycle, CodeGenerationWithoutGeneratorIsAnError) {
    Block b(testblock(), "nocg");
    b.setParameters(testParams(1.0, 0.0));
    try {
        b.generateCode(nullptr);
        FAIL();
    } catch (const BlockError& e) {
        EXPECT_EQ(e.phase(), "codegen");
    }
}

}  // namespace
