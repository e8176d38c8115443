// Propagation: offers, output requests, default callbacks, host defaults, unresolved ports.
#include <gtest/gtest.h>

#include "dravo/host/types.h"
#include "test_support.h"

using namespace hosttest;
using dravo::host::BlockError;

namespace {

std::shared_ptr<Plugin> minblock() {
    return Plugin::load("dravo_minblock");
}
std::shared_ptr<Plugin> testblock() {
    return Plugin::load("dravo_testblock");
}

std::string propagateError(Block& b, const std::vector<InputSpec>& in,
                           const std::vector<OutputRequest>& out = {}) {
    try {
        b.propagate(in, out);
    } catch (const BlockError& e) {
        EXPECT_EQ(e.phase(), "propagate");
        return e.text();
    }
    return "";
}

TEST(Propagation, WithoutCallbacksAOneInOneOutBlockPassesTheSizeThrough) {
    Block b(minblock(), "min");
    b.propagate({InputSpec{{2, 3}, SS_INT16, 1, 0, 0}});
    EXPECT_EQ(b.outputPort(0).dims, (std::vector<int32_t>{2, 3}));
    // Only the size: type and complexity take the host's defaults.
    EXPECT_EQ(b.outputPort(0).dataType, SS_DOUBLE);
    EXPECT_EQ(b.outputPort(0).complexSignal, 0);
}

TEST(Propagation, WithMoreOutputsNoSizeIsPassedAndUnsetOutputsAreNamed) {
    Block b(Plugin::load("dravo_minblock2"), "min2");
    std::string err = propagateError(b, {InputSpec{{2, 3}, SS_INT16, 1, 0, 0}});
    EXPECT_EQ(err, "cannot start: output port 0: dimensions unset; output port 1: dimensions unset");
}

TEST(Propagation, HostDefaultsFillOutputTypeComplexityAndMode) {
    Block b(minblock(), "min");
    InputSpec in{{2, 3}, SS_INT16, 1, 0, 0};
    OutputRequest req;
    req.dims = std::vector<int32_t>{2, 3};
    b.propagate({in}, {req});
    auto ip = b.inputPort(0);
    EXPECT_EQ(ip.dims, (std::vector<int32_t>{2, 3}));
    EXPECT_EQ(ip.width, 6);
    EXPECT_EQ(ip.dataType, SS_INT16);
    EXPECT_EQ(ip.complexSignal, 1);
    auto op = b.outputPort(0);
    EXPECT_EQ(op.dims, (std::vector<int32_t>{2, 3}));
    EXPECT_EQ(op.dataType, SS_DOUBLE);
    EXPECT_EQ(op.complexSignal, 0);
    EXPECT_EQ(op.dimsMode, 0);
    EXPECT_EQ(op.frameData, 0);
}

TEST(Propagation, OutputRequestsPlayTheDownstreamBlock) {
    Block b(minblock(), "min");
    InputSpec in{{4}, SS_UINT8, 0, 0, 0};
    OutputRequest req;
    req.dims = std::vector<int32_t>{4};
    req.dataType = SS_UINT8;
    req.complexSignal = 0;
    b.propagate({in}, {req});
    EXPECT_EQ(b.outputPort(0).dataType, SS_UINT8);
    b.start();
    std::vector<uint8_t> u = {1, 2, 250, 7};
    setInputFrom(b, 0, u);
    b.step();
    EXPECT_EQ(outputAs<uint8_t>(b, 0), u);
}

TEST(Propagation, RequestAgainstThePassedSizeIsRefusedByTheHost) {
    Block b(minblock(), "min");
    OutputRequest req;
    req.dims = std::vector<int32_t>{3, 3};
    EXPECT_EQ(propagateError(b, {InputSpec{{2, 3}, SS_DOUBLE, 0, 0, 0}}, {req}),
              "output port 0: dimensions [3 3] were requested, but the block produces [2 3]");
}

TEST(Propagation, UnsetInputTypeIsRefusedNamingPortAndAttribute) {
    Block b(minblock(), "min");
    InputSpec in{{2, 2}, DYNAMICALLY_TYPED, 0, 0, 0};
    OutputRequest req;
    req.dims = std::vector<int32_t>{2, 2};
    std::string err = propagateError(b, {in}, {req});
    EXPECT_NE(err.find("input port 0: data type unset"), std::string::npos) << err;
}

TEST(Propagation, MoreThanTwoDimsNeedTheBlocksConsent) {
    Block b(minblock(), "min");
    InputSpec in{{2, 2, 3}, SS_DOUBLE, 0, 0, 0};
    std::string err = propagateError(b, {in});
    EXPECT_NE(err.find("ssSetInputPortDimensionInfo"), std::string::npos) << err;
    EXPECT_NE(err.find("more than 2 dimensions"), std::string::npos) << err;

    Block t(testblock(), "t");
    t.setParameters(testParams(1, 0, 2));
    t.propagate({InputSpec{{2, 2, 3}, SS_DOUBLE, 0, 0, 0}});
    EXPECT_EQ(t.outputPort(0).dims, (std::vector<int32_t>{2, 2, 3}));
}

TEST(Propagation, BlockCallbacksCarryTheOfferToTheOutput) {
    Block b(testblock(), "t");
    b.setParameters(testParams(1, 0, 2));
    InputSpec in{{3, 5}, SS_SINGLE, 1, 0, 0};
    b.propagate({in});
    auto op = b.outputPort(0);
    EXPECT_EQ(op.dims, (std::vector<int32_t>{3, 5}));
    EXPECT_EQ(op.dataType, SS_SINGLE);
    EXPECT_EQ(op.complexSignal, 1);
}

TEST(Propagation, OutputTypeRequestReachesTheInputThroughTheBlock) {
    Block b(testblock(), "t");
    b.setParameters(testParams(1, 0, 2));
    InputSpec in{{2, 2}, DYNAMICALLY_TYPED, 0, 0, 0};
    OutputRequest req;
    req.dataType = SS_INT16;
    b.propagate({in}, {req});
    EXPECT_EQ(b.inputPort(0).dataType, SS_INT16);
    EXPECT_EQ(b.outputPort(0).dataType, SS_INT16);
}

TEST(Propagation, ConflictingTypeRequestIsTheBlocksError) {
    Block b(testblock(), "t");
    b.setParameters(testParams(1, 0, 2));
    OutputRequest req;
    req.dataType = SS_INT16;
    try {
        b.propagate({InputSpec{{2, 2}, SS_DOUBLE, 0, 0, 0}}, {req});
        FAIL();
    } catch (const BlockError& e) {
        EXPECT_EQ(e.messageClass(), "dspshared::system::inOutTypesDiffer");
    }
}

TEST(Propagation, ConflictingRequestWithoutCallbackIsRefusedByTheHost) {
    Block b(testblock(), "t");
    b.setParameters(testParams(1, 0, 2));
    OutputRequest req;
    req.complexSignal = 0;
    std::string err = propagateError(b, {InputSpec{{2, 2}, SS_DOUBLE, 1, 0, 0}}, {req});
    EXPECT_EQ(err, "output port 0: real complexity was offered, but the block requires complex");
}

TEST(Propagation, BlockErrorInARequestCallbackStops) {
    Block b(testblock(), "t");
    b.setParameters(testParams(1, 0, 2));
    OutputRequest req;
    req.dims = std::vector<int32_t>{3, 3};
    EXPECT_EQ(propagateError(b, {InputSpec{{2, 2}, SS_DOUBLE, 0, 0, 0}}, {req}),
              "Output dimensions must equal input dimensions.");
}

TEST(Propagation, FixedPointTypesPassThrough) {
    Block b(testblock(), "t");
    b.setParameters(testParams(1, 0, 2));
    DataTypeId fx = dravo::types::registerFixedPoint(true, 20, 7);
    b.propagate({InputSpec{{2, 2}, fx, 0, 0, 0}});
    EXPECT_EQ(b.outputPort(0).dataType, fx);
    std::vector<int32_t> u = {-5, 6, 7, -8};  // 20-bit words in 4-byte containers
    setInputFrom(b, 0, u);
    b.step();
    EXPECT_EQ(outputAs<int32_t>(b, 0), u);
}

TEST(Propagation, OffersAreValidated) {
    {
        Block b(minblock(), "min");
        EXPECT_NE(propagateError(b, {InputSpec{{2, -1}, SS_DOUBLE, 0, 0, 0}}).find("invalid dimensions"),
                  std::string::npos);
    }
    {
        Block b(minblock(), "min");
        EXPECT_NE(propagateError(b, {InputSpec{{}, SS_DOUBLE, 0, 0, 0}}).find("no dimensions"),
                  std::string::npos);
    }
    {
        Block b(minblock(), "min");
        EXPECT_NE(propagateError(b, {InputSpec{{1}, 12345, 0, 0, 0}}).find("unknown data type"),
                  std::string::npos);
    }
    {
        Block b(minblock(), "min");
        InputSpec in{{1}, SS_DOUBLE, 0, 0, 0};
        EXPECT_NE(propagateError(b, {in, in}).find("2 inputs offered, but the block has 1 input port"),
                  std::string::npos);
    }
    {
        Block b(minblock(), "min");
        EXPECT_NE(propagateError(b, {InputSpec{{1}, SS_DOUBLE, 2, 0, 0}}).find("complexity"),
                  std::string::npos);
    }
}

TEST(Propagation, UnconnectedInputTakesWhatTheOutputFixes) {
    Block b(testblock(), "t");
    b.setParameters(testParams(1, 0, 2));
    OutputRequest req;
    req.dims = std::vector<int32_t>{2, 5};
    req.dataType = SS_UINT16;
    b.propagate({}, {req});
    auto ip = b.inputPort(0);
    EXPECT_EQ(ip.connected, 0);
    EXPECT_EQ(ip.dims, (std::vector<int32_t>{2, 5}));
    EXPECT_EQ(ip.dataType, SS_UINT16);
    EXPECT_EQ(ip.complexSignal, 0);
}

TEST(Propagation, UnconnectedInputOtherwiseReadsAsARealDoubleScalar) {
    Block b(testblock(), "t");
    b.setParameters(testParams(1, 0, 2));
    b.propagate({});
    auto ip = b.inputPort(0);
    EXPECT_EQ(ip.dims, (std::vector<int32_t>{1, 1}));
    EXPECT_EQ(ip.dataType, SS_DOUBLE);
    // Offered through the block's own callbacks, so the output follows.
    EXPECT_EQ(b.outputPort(0).dims, (std::vector<int32_t>{1, 1}));
}

TEST(Propagation, AnOfferTheBlockLaterOverturnsIsCaught) {
    Block b(Plugin::load("dravo_fickleblock"), "fickle");
    InputSpec image{{4, 4}, SS_DOUBLE, 0, 1, 0};
    InputSpec scalar{{1, 1}, SS_DOUBLE, 0, 0, 0};
    EXPECT_EQ(propagateError(b, {image, scalar}),
              "input port 0: variable-size dimensions mode was offered, but the block requires fixed-size");
    // Offered the other way round nothing is overturned.
    Block c(Plugin::load("dravo_fickleblock"), "fickle");
    c.propagate({scalar, scalar});
    EXPECT_EQ(c.inputPort(0).dimsMode, 0);
}

TEST(Propagation, PropagatingTwiceIsRefused) {
    Block b(testblock(), "t");
    b.setParameters(testParams(1, 0, 2));
    b.propagate({doubleInput({1, 1})});
    EXPECT_THROW(b.propagate({doubleInput({1, 1})}), BlockError);
}

}  // namespace
