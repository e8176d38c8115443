// The scale-and-convert block running in the host: whole signals, 3-D images, variable sizes, a
// repeated mdlPreSim and termination.
#include "block_rig.h"

#include <limits>

#include "ubrin/conversion_rule.h"
#include "ubrin/scale_convert_state.h"

using namespace convert_test;

namespace {

InputSpec input(DataTypeId type, std::vector<int32_t> dims, int32_t dimsMode = 0) {
    InputSpec in;
    in.dims = std::move(dims);
    in.dataType = type;
    in.dimsMode = dimsMode;
    return in;
}

const ScaleConvertState& stateOf(Block& b) {
    return *static_cast<const ScaleConvertState*>(sysobj::ssGetUserData(b.handle()));
}

TEST(BlockRun, DoubleToUint8Matrix) {
    auto b = makeBlock({4});
    b->propagate({input(SS_DOUBLE, {2, 3})});
    b->start();
    const std::vector<double> x = {0.0, 1.0, 0.5, 0.498, -3.0, std::numeric_limits<double>::quiet_NaN()};
    EXPECT_EQ(as<uint8_t>(stepWith(*b, x)), (std::vector<uint8_t>{0, 255, 128, 127, 0, 0}));
    EXPECT_EQ(b->outputPort(0).dims, (std::vector<int32_t>{2, 3}));
}

TEST(BlockRun, Uint8ToSignedFiveBitFixedPoint) {
    auto b = makeBlock({8, 1, 5, 2});
    b->propagate({input(SS_UINT8, {1, 3})});
    b->start();
    EXPECT_EQ(stateOf(*b).rule, static_cast<int32_t>(ubrin::ConversionRule::UnsignedToSignedByRescaling));
    EXPECT_NE(stateOf(*b).secondKernel, nullptr);
    EXPECT_EQ(as<uint8_t>(stepWith(*b, std::vector<uint8_t>{255, 0, 128})),
              (std::vector<uint8_t>{15, 0xF0, 0}));  // 128 * 31 / 255 = 15.56 -> 16 - 16 = 0
}

TEST(BlockRun, ThreeDimensionalInt16ToDouble) {
    auto b = makeBlock({1});
    b->propagate({input(SS_INT16, {2, 1, 2})});
    b->start();
    const std::vector<int16_t> x = {-32768, 32767, 0, -1};
    EXPECT_EQ(as<double>(stepWith(*b, x)),
              (std::vector<double>{0.0, 1.0, 32768.0 / 65535.0, 32767.0 / 65535.0}));
    EXPECT_EQ(b->outputPort(0).dims, (std::vector<int32_t>{2, 1, 2}));
}

TEST(BlockRun, EqualTypesCopyAndFloatsClamp) {
    auto copy = makeBlock({5});
    copy->propagate({input(SS_INT16, {3})});
    copy->start();
    EXPECT_EQ(stateOf(*copy).rule, static_cast<int32_t>(ubrin::ConversionRule::Copy));
    EXPECT_EQ(as<int16_t>(stepWith(*copy, std::vector<int16_t>{-32768, 7, 32767})),
              (std::vector<int16_t>{-32768, 7, 32767}));

    auto clamp = makeBlock({1});
    clamp->propagate({input(SS_DOUBLE, {3})});
    clamp->start();
    EXPECT_EQ(as<double>(stepWith(*clamp, std::vector<double>{1.5, -0.2, 0.3})),
              (std::vector<double>{1.0, 0.0, 0.3}));
}

TEST(BlockRun, BooleanInAndOut) {
    auto from = makeBlock({5});
    from->propagate({input(SS_BOOLEAN, {3})});
    from->start();
    EXPECT_EQ(stateOf(*from).trueValue, 32767);
    EXPECT_EQ(as<int16_t>(stepWith(*from, std::vector<uint8_t>{1, 0, 1})),
              (std::vector<int16_t>{32767, 0, 32767}));

    auto to = makeBlock({7});
    to->propagate({input(SS_SINGLE, {3})});
    to->start();
    EXPECT_EQ(
        as<uint8_t>(stepWith(*to, std::vector<float>{0.0f, std::numeric_limits<float>::quiet_NaN(), -2.0f})),
        (std::vector<uint8_t>{0, 1, 1}));
}

TEST(BlockRun, StateConstantsForSixteenBitWords) {
    auto b = makeBlock({5});
    b->propagate({input(SS_UINT16, {2})});
    b->start();
    const ScaleConvertState& s = stateOf(*b);
    EXPECT_EQ(s.inMax, 65535);
    EXPECT_EQ(s.inOffset, 32768);
    EXPECT_EQ(s.outMax, 65535);
    EXPECT_EQ(s.outOffset, 32768);
    EXPECT_EQ(s.trueValue, 0);
    EXPECT_EQ(s.inElemSize, 2);
    EXPECT_EQ(s.outWordLength, 16);
    EXPECT_EQ(s.numElements, 2);
    EXPECT_EQ(s.rule, static_cast<int32_t>(ubrin::ConversionRule::UnsignedToSignedByOffset));
    EXPECT_EQ(s.secondKernel, nullptr);
}

TEST(BlockRun, FixedPointWordLengthAndFractionLengthAreRecorded) {
    auto b = makeBlock({8, 0, 12, 7});
    b->propagate({input(SS_SINGLE, {2})});
    b->start();
    const ScaleConvertState& s = stateOf(*b);
    EXPECT_EQ(s.inWordLength, 0);
    EXPECT_EQ(s.inMax, 0);
    EXPECT_EQ(s.outWordLength, 12);
    EXPECT_EQ(s.outFracLength, 7);
    EXPECT_EQ(s.outMax, 4095);
    EXPECT_EQ(s.outOffset, 2048);
    EXPECT_EQ(as<uint16_t>(stepWith(*b, std::vector<float>{1.0f, 0.5f})),
              (std::vector<uint16_t>{4095, 2048}));
}

TEST(BlockRun, VariableSizeInputConvertsTheCurrentElementsOnly) {
    auto b = makeBlock({1});
    b->propagate({input(SS_UINT8, {4, 4}, 1)});
    b->start();
    const std::vector<uint8_t> x = {0, 51, 102, 153, 204, 255};
    const auto y = as<double>(stepWith(*b, x, {2, 3}));
    EXPECT_EQ(y, (std::vector<double>{0.0, 0.2, 0.4, 0.6, 0.8, 1.0}));
    EXPECT_EQ(b->currentOutputDims(0), (std::vector<int32_t>{2, 3}));
    EXPECT_EQ(stateOf(*b).numElements, 6);
}

TEST(BlockRun, PreSimCanBeCalledAgainOnALiveInstance) {
    auto b = makeBlock({6});
    b->propagate({input(SS_UINT8, {3})});
    b->start();
    const void* record = sysobj::ssGetUserData(b->handle());
    const std::vector<uint8_t> x = {1, 255, 0};
    const auto first = stepWith(*b, x);
    ASSERT_NE(b->plugin().mdlPreSim, nullptr);
    b->plugin().mdlPreSim(b->handle());
    EXPECT_EQ(sysobj::ssGetErrorStatus(b->handle()), nullptr);
    EXPECT_EQ(sysobj::ssGetUserData(b->handle()), record);  // the same record, refilled
    EXPECT_EQ(stepWith(*b, x), first);
    EXPECT_EQ(as<uint16_t>(first), (std::vector<uint16_t>{257, 65535, 0}));
}

TEST(BlockRun, TerminateFreesTheRecordAndToleratesNone) {
    auto b = makeBlock({4});
    b->propagate({input(SS_DOUBLE, {2})});
    b->start();
    ASSERT_NE(sysobj::ssGetUserData(b->handle()), nullptr);
    b->plugin().mdlTerminate(b->handle());
    EXPECT_EQ(sysobj::ssGetUserData(b->handle()), nullptr);
    b->plugin().mdlTerminate(b->handle());  // a second call finds nothing to free
    EXPECT_EQ(sysobj::ssGetUserData(b->handle()), nullptr);
}

}  // namespace
