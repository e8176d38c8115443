// Floating images through the host (every input mode x output mode against the reference), tunable
// changes between steps, variable-size inputs and the instance's life.
#include <random>

#include "contrast_rig.h"
#include "float_reference.h"
#include "vekfixpt.h"

using namespace contrast_test;

namespace {

template <typename T>
std::vector<T> randomPixels(std::mt19937& rng, size_t n) {
    std::uniform_real_distribution<double> u(0.3, 0.6);  // low contrast, as the block is for
    std::vector<T> v(n);
    for (auto& x : v)
        x = T(u(rng));
    v[n / 2] = T(0.05);  // one dark outlier
    return v;
}

template <typename T>
void floatingModes(DataTypeId id) {
    std::mt19937 rng(5);
    for (int inputMode = 1; inputMode <= 3; ++inputMode) {
        for (int outputMode = 1; outputMode <= 2; ++outputMode) {
            Dialog d;
            d.inputMode = inputMode;
            d.outputMode = outputMode;
            d.inputRange = {0.35, 0.55};
            d.outputRange = {0.1, 0.9};
            d.fractions = {0.02, 0.05};
            d.numBins = 128;
            auto b = makeBlock(d);
            b->initialize();
            b->propagate({image({24, 31}, id)});
            b->start();
            const std::vector<T> in = randomPixels<T>(rng, 24 * 31);
            const std::vector<T> out = step(*b, in);
            FloatCase<T> c;
            c.mode = inputMode;
            c.bins = 128;
            c.rangeLow = T(0.35);
            c.rangeHigh = T(0.55);
            c.lowFrac = T(0.02);
            c.highFrac = T(0.05);
            c.lowOut = outputMode == 2 ? T(0.1) : T(0);
            c.highOut = outputMode == 2 ? T(0.9) : T(1);
            const std::vector<T> want = referenceContrast(in, c);
            ASSERT_EQ(out.size(), want.size());
            for (size_t i = 0; i < out.size(); ++i)
                ASSERT_EQ(out[i], want[i])
                    << "input mode " << inputMode << " output mode " << outputMode << " pixel " << i;
            EXPECT_EQ(b->currentOutputDims(0), (std::vector<int32_t>{24, 31}));
        }
    }
}

TEST(ContrastRun, DoubleEveryInputAndOutputMode) {
    floatingModes<double>(SS_DOUBLE);
}

TEST(ContrastRun, SingleEveryInputAndOutputMode) {
    floatingModes<float>(SS_SINGLE);
}

TEST(ContrastRun, TunableRangesChangeBetweenSteps) {
    const std::vector<double> in = {0, 0.25, 0.5, 0.75, 1};
    {
        Dialog d;
        d.inputMode = 2;
        d.outputMode = 2;
        d.inputRange = {0, 1};
        d.outputRange = {0, 1};
        auto b = startedBlock(d, SS_DOUBLE, 5);
        EXPECT_EQ(step(*b, in), in);
        b->changeParameter(1, Array::realVector({0.25, 0.75}));
        EXPECT_EQ(step(*b, in), (std::vector<double>{0, 0, 0.5, 1, 1}));
        b->changeParameter(6, Array::realVector({1, 0}));
        EXPECT_EQ(step(*b, in), (std::vector<double>{1, 1, 0.5, 0, 0}));
        // A bad value is refused and the block keeps running with the last good one.
        EXPECT_THROW(b->changeParameter(1, Array::realVector({0.9, 0.1})), BlockError);
        EXPECT_EQ(step(*b, in), (std::vector<double>{1, 1, 0.5, 0, 0}));
        EXPECT_THROW(b->changeParameter(0, Array::scalar(1)), BlockError);  // not tunable
    }
    {
        // uint8 through the table: the output range and the input range change.
        Dialog d;
        d.inputMode = 2;
        d.outputMode = 2;
        d.inputRange = {0, 255};
        d.outputRange = {0, 255};
        std::vector<uint8_t> px(300);
        for (size_t i = 0; i < px.size(); ++i)
            px[i] = uint8_t(i % 256);
        auto b = startedBlock(d, SS_UINT8, 300);
        EXPECT_EQ(step(*b, px), px);
        b->changeParameter(6, Array::realVector({255, 0}));
        std::vector<uint8_t> inverted(px.size());
        for (size_t i = 0; i < px.size(); ++i)
            inverted[i] = uint8_t(255 - px[i]);
        EXPECT_EQ(step(*b, px), inverted);
        b->changeParameter(1, Array::realVector({100, 100}));
        EXPECT_EQ(step(*b, px), std::vector<uint8_t>(300, 255));  // one value in: all lowOut
    }
    {
        // Fractions in the histogram mode, through the number objects (int16).
        Dialog d;
        d.fractions = {0, 0};
        d.numBins = 10;
        auto b = startedBlock(d, SS_INT16, 10);
        std::vector<int16_t> px(10);
        for (int k = 0; k < 10; ++k)
            px[size_t(k)] = int16_t(k * 100);
        const auto before = step(*b, px);
        EXPECT_EQ(before.front(), -32768);
        EXPECT_EQ(before.back(), 32767);
        b->changeParameter(2, Array::realVector({0.2, 0}));
        // Ten bins over [0, 900] (slope 1/90): pixel 0 is alone in the merged dark bin 9 together
        // with 100, 2 pixels to saturate are not exceeded there, so bin 8 sets lowIn = 900 - 9 * 90 = 90;
        // 100 then maps to round(10 * 65535 / 810) - 32768 = -31959.
        const auto after = step(*b, px);
        EXPECT_EQ(after[0], -32768);
        EXPECT_EQ(after[1], -31959);
        EXPECT_EQ(after.back(), 32767);
    }
}

TEST(ContrastRun, TunedFractionsBeyondTheFixedPointTypeAreRefused) {
    Dialog d;
    d.fractions = {0.01, 0.01};
    auto b = startedBlock(d, SS_INT16, 50);
    const BlockError e = errorOf([&] { b->changeParameter(2, Array::realVector({0.3, 0.01})); });
    EXPECT_NE(e.text().find("percentages of pixels to saturate"), std::string::npos) << e.text();
    EXPECT_NO_THROW(b->changeParameter(2, Array::realVector({0.012, 0.0})));
    // A floating image keeps its fractions in its own type: any value below the sum limit goes.
    auto f = startedBlock(d, SS_DOUBLE, 50);
    EXPECT_NO_THROW(f->changeParameter(2, Array::realVector({0.3, 0.01})));
}

TEST(ContrastRun, VariableSizeFollowsTheCurrentInput) {
    Dialog d;
    d.inputMode = 1;
    auto b = makeBlock(d);
    b->initialize();
    b->propagate({image({4, 6}, SS_DOUBLE, 1)});
    b->start();
    const std::vector<double> in = {2, 4, 3};
    EXPECT_EQ(step(*b, in, {3, 1}), (std::vector<double>{0, 1, 0.5}));
    EXPECT_EQ(b->currentOutputDims(0), (std::vector<int32_t>{3, 1}));
    const std::vector<double> more = {1, 5, 2, 3, 4, 9, 7, 8};
    const auto out = step(*b, more, {2, 4});
    EXPECT_EQ(out.size(), 8u);
    EXPECT_EQ(out[0], 0.0);
    EXPECT_EQ(out[5], 1.0);
}

TEST(ContrastRun, ScaledDoublesThroughTheTable) {
    // A scaled double of an 8-bit shape with more than 256 pixels takes the table, in double storage;
    // scaled doubles compute without quantisation, so -10..10 maps onto [-128, 127] by 255 / 20 exactly.
    Dialog d;
    d.inputMode = 1;
    auto b = startedBlock(d, typeId("scaled:s8:0"), 300);
    std::vector<double> px(300);
    for (size_t i = 0; i < px.size(); ++i)
        px[i] = double(int(i % 11) * 2 - 10);  // -10 .. 10
    const auto out = step(*b, px);
    for (size_t i = 0; i < px.size(); ++i)
        ASSERT_EQ(out[i], (px[i] + 10) * 12.75 - 128) << i;
}

TEST(ContrastRun, ManyStepsAndTerminate) {
    Dialog d;
    auto b = startedBlock(d, SS_UINT8, 1000);
    std::vector<uint8_t> px(1000);
    for (int s = 0; s < 5; ++s) {
        for (size_t i = 0; i < px.size(); ++i)
            px[i] = uint8_t(60 + (i * 7 + size_t(s)) % 50);
        // 50 levels of 20 pixels, 10 to saturate at each end: one bin per level; the lower limit
        // lies one level below the darkest (highIn - (j + 1)), the upper limit at the brightest.
        const auto out = step(*b, px);
        for (size_t i = 0; i < px.size(); ++i) {
            const long level = long(px[i]) - 59;
            ASSERT_EQ(out[i], uint8_t(std::lround(double(level) * 255.0 / 50.0)))
                << "step " << s << " pixel " << i;
        }
    }
    b->terminate();
    b->terminate();  // a second terminate finds no record
}

TEST(ContrastRun, LoggedRunReportsTheLabels) {
    VekDSPFixpt::LogRegistry::instance().reset();
    Settings logging;
    logging.minMaxOverflowLogging = 1;
    {
        Dialog d;
        auto b = startedBlock(d, SS_INT16, 40, logging);
        std::vector<int16_t> px(40);
        for (size_t i = 0; i < px.size(); ++i)
            px[i] = int16_t(i * 37);
        step(*b, px);
    }
    const auto merged = VekDSPFixpt::LogRegistry::instance().mergedByLabel();
    for (const char* label : {"Input", "Extended Input", "Product 1", "Product 2", "S32"})
        EXPECT_TRUE(merged.count(label)) << label;
}

}  // namespace
