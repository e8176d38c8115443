// The fixed-point rotate engine through the host: the stored constants (2*pi as 25736/4096, pi and pi/2
// from shifts), the table's last interval, the size limit, agreement with the floating-point engine
// within the rounding the types imply, rounding and overflow modes at the output, logging runs, quarter
// turns, variable sizes and the refusal of the trigonometric sine method.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "block_support.h"
#include "dravo/host/types.h"
#include "geometry_oracle.h"
#include "pellor/rotatesfcncachefix.h"
#include "vekfixpt_log.h"

using namespace rotatetest;
using dravo::host::BlockError;

namespace {

constexpr double kStoredTwoPi = 25736.0 / 4096.0;  // 2*pi in s16.12, rounded to nearest
constexpr double kStoredPi = 12868.0 / 4096.0;
constexpr double kStoredHalfPi = 6434.0 / 4096.0;

// Fixed-point friendly dialog: sine table, products and sums s32.16, output as the input, floor, wrap.
std::map<int, Array> fixParams(std::map<int, Array> set) {
    const std::map<int, double> base = {{5, 2},   {8, 1},  {9, 16}, {11, 0}, {12, 32},
                                        {13, 16}, {14, 3}, {17, 2}, {20, 3}, {21, 1}};
    for (const auto& [i, v] : base)
        if (!set.count(i)) set.emplace(i, Array::scalar(v));
    return set;
}

const pellor::RotateSFcnCacheFix& fixEngine(Block& b) {
    return *static_cast<const pellor::RotateSFcnCacheFix*>(
        static_cast<const pellor::RotateSFcnCache*>(sysobj::ssGetUserData(b.handle())));
}

std::vector<uint8_t> smoothUint8(int32_t R, int32_t C, int32_t P = 1) {
    std::vector<uint8_t> v(size_t(R) * C * P);
    for (int32_t p = 0; p < P; ++p)
        for (int32_t j = 0; j < C; ++j)
            for (int32_t i = 0; i < R; ++i)
                v[size_t(p) * R * C + i + size_t(j) * R] = uint8_t(40 + (2 * i + 3 * j + 17 * p) % 170);
    return v;
}

// Port angles are signed 32-bit with 24 fraction bits: this is the value a port angle carries.
double portAngleValue(double angle) {
    return std::round(angle * 16777216.0) / 16777216.0;
}

// A port-angle run of a uint8 image; returns the block after one step.
std::unique_ptr<Block> portAngleRun(double angle, std::map<int, Array> set = {}, int32_t R = 12,
                                    int32_t C = 10) {
    set.emplace(1, Array::scalar(2));
    InputSpec anglePort = image({1, 1}, dravo::types::registerFixedPoint(true, 32, 24));
    auto b = makeBlock(fixParams(set), {image({R, C}, SS_UINT8), anglePort});
    b->start();
    setInputValues(*b, 0, smoothUint8(R, C));
    setInputValues(*b, 1, std::vector<int32_t>{int32_t(std::lround(angle * 16777216.0))});
    b->step();
    return b;
}

TEST(RotateFix, PiValueIsTwoPiQuantisedToTwelveFractionBits) {
    auto b = makeBlock(fixParams({}), {image({8, 8}, SS_UINT8)});
    b->start();
    bool found = false;
    for (const auto& rtp : b->runTimeParams()) {
        if (rtp.name != "PiValue") continue;
        found = true;
        int16_t stored = 0;
        ASSERT_EQ(rtp.bytes.size(), 2u);
        std::memcpy(&stored, rtp.bytes.data(), 2);
        EXPECT_EQ(stored, 25736);
    }
    EXPECT_TRUE(found);
}

// Angles between the double constants and the stored ones fall on the stored side.
TEST(RotateFix, AnglesAreWrappedAndReducedWithTheStoredConstants) {
    struct Case {
        double angle, wrapped, reduced;
        pellor::Quadrant quadrant;
    };
    const Case cases[] = {
        // Above double 2*pi, below the stored one: one whole turn is not yet taken out, so the wrap
        // goes to a - 2*pi (stored) just below zero: a quarter turn clockwise.
        {6.2832, 6.2832 - kStoredTwoPi, 6.2832 - kStoredTwoPi + kStoredHalfPi,
         pellor::Quadrant::QuarterClockwise},
        // Above double pi, below the stored pi: not wrapped, a quarter turn counterclockwise is taken out.
        {3.1416, 3.1416, 3.1416 - kStoredHalfPi, pellor::Quadrant::QuarterCounter},
        // Above double pi/2, below the stored pi/2: no turn taken out.
        {1.5708, 1.5708, 1.5708, pellor::Quadrant::None},
        // Below double -pi/2, above the stored one: a quarter turn clockwise, not a half turn.
        {-1.5708, -1.5708, -1.5708 + kStoredHalfPi, pellor::Quadrant::QuarterClockwise},
        // Many turns: 15 whole turns leave 5.75, at or above pi, so one more comes off.
        {100.0, 100.0 - 16 * kStoredTwoPi, 100.0 - 16 * kStoredTwoPi + kStoredHalfPi,
         pellor::Quadrant::QuarterClockwise},
        {-100.0, -100.0 + 16 * kStoredTwoPi, -100.0 + 16 * kStoredTwoPi, pellor::Quadrant::None},
    };
    for (Case c : cases) {
        // The port carries the angle in s32.24: the expectations move with it.
        const double carried = portAngleValue(c.angle);
        c.wrapped += carried - c.angle;
        c.reduced += carried - c.angle;
        auto b = portAngleRun(c.angle, {{3, Array::scalar(5.0)}});
        const pellor::FixStepAngle& a = fixEngine(*b).lastAngle();
        EXPECT_NEAR(a.wrapped, c.wrapped, 1e-12) << c.angle;
        EXPECT_NEAR(a.reduced, c.reduced, 1e-12) << c.angle;
        EXPECT_EQ(int(a.how.quadrant), int(c.quadrant)) << c.angle;
    }
}

TEST(RotateFix, PortAngleIsClampedToTheMaximumAndToStoredPi) {
    auto clampTo = [](double angle, double maxAngle) {
        auto b = portAngleRun(angle, {{3, Array::scalar(maxAngle)}});
        return fixEngine(*b).lastAngle().wrapped;
    };
    // The maximum angle is stored in the port's type (s32.24).
    EXPECT_DOUBLE_EQ(clampTo(0.9, 0.5), 0.5);
    EXPECT_DOUBLE_EQ(clampTo(-0.9, 0.5), -0.5);
    EXPECT_DOUBLE_EQ(clampTo(0.3, 0.5), portAngleValue(0.3));
    EXPECT_DOUBLE_EQ(clampTo(3.0, 5.0), portAngleValue(3.0));
    // A maximum beyond pi is the stored pi: 3.1416 lies above double pi but below it.
    EXPECT_DOUBLE_EQ(clampTo(3.1416, 5.0), portAngleValue(3.1416));
    EXPECT_DOUBLE_EQ(clampTo(-3.1416, 5.0), portAngleValue(-3.1416));
}

// Just below the stored pi/2, the index rounded up lands on 360: the table's last interval, with
// sin = T[360] (f = 0) and nothing read past T[361].
TEST(RotateFix, TableLastIntervalAtIndex360) {
    auto b = portAngleRun(1.5708, {{20, Array::scalar(1)}});  // ceiling
    double t360 = 0;
    int32_t sineFrac = 0;
    for (const auto& rtp : b->runTimeParams()) {
        if (rtp.name != "SineTable") continue;
        const dravo::types::TypeInfo& t = dravo::types::info(rtp.dataType);
        ASSERT_EQ(rtp.dims.back(), 362);
        ASSERT_EQ(t.containerBytes, 4);  // the angle's word length, 32
        int32_t stored = 0;
        std::memcpy(&stored, rtp.bytes.data() + 360 * 4, 4);
        sineFrac = t.fracLength;
        t360 = std::ldexp(double(stored), -t.fracLength);
    }
    ASSERT_GT(sineFrac, 0);
    const auto& g = fixEngine(*b).lastGeometry();
    // sin = T[361]*0 + T[360]*1 in the s32.16 working type, rounded up.
    EXPECT_DOUBLE_EQ(g.sinTheta, std::ceil(t360 * 65536.0) / 65536.0);
    // Floor rounding keeps the index below 360: the value interpolates inside interval 359.
    auto floorRun = portAngleRun(1.5708, {{20, Array::scalar(3)}});
    EXPECT_LT(fixEngine(*floorRun).lastGeometry().sinTheta, g.sinTheta);
}

template <typename T>
std::vector<double> asDoubles(const std::vector<T>& v) {
    return std::vector<double>(v.begin(), v.end());
}

struct RunResult {
    std::vector<double> values;
    std::vector<int32_t> dims;
    pellor::ShearGeometry<double> geometry;
};

// One step of the double image through the floating-point engine (sine table, no logging). Its geometry
// is worked out from the rotation with the block's own table.
RunResult floatRun(std::map<int, Array> set, int32_t R, int32_t C, const std::vector<double>& in) {
    set.emplace(5, Array::scalar(2));
    auto b = makeBlock(set, {image({R, C})});
    b->start();
    setInputValues(*b, 0, in);
    b->step();
    std::vector<double> table;
    for (const auto& rtp : b->runTimeParams()) {
        if (rtp.name != "SineTable") continue;
        table.resize(rtp.bytes.size() / sizeof(double));
        std::memcpy(table.data(), rtp.bytes.data(), rtp.bytes.size());
    }
    bool swap = false;
    const double theta = rotateoracle::reduce(qzGetRealElementAsDouble(b->parameter(2).get(), 0), &swap);
    const rotateoracle::Geometry<double> o =
        rotateoracle::geometry<double>(theta, swap ? C : R, swap ? R : C, table.data());
    pellor::ShearGeometry<double> g;
    g.sinTheta = o.sinTheta;
    g.tanHalfTheta = o.tanHalfTheta;
    g.rotatedRows = o.H;
    g.rotatedCols = o.W;
    g.shearedWidth = o.S;
    return {outputOf<double>(*b), b->currentOutputDims(0), g};
}

RunResult uint8Run(const std::map<int, Array>& set, int32_t R, int32_t C, const std::vector<uint8_t>& in) {
    auto b = makeBlock(fixParams(set), {image({R, C}, SS_UINT8)});
    b->start();
    setInputValues(*b, 0, in);
    b->step();
    return {asDoubles(outputOf<uint8_t>(*b)), b->currentOutputDims(0), fixEngine(*b).lastGeometry()};
}

// Agreement with the floating-point engine on the same uint8 values. Every pass writes uint8 (the output
// type) rounded down, so each pass loses less than 1 plus the working type's rounding (2^-16 per product
// and sum); bilinear weights are a convex pair, so earlier errors do not grow: fewer than 3 + 3*2^-15
// below, never above beyond the trigonometry's share. That share: the table, the s16.15 angle and the
// stored pi move sin and tan(theta/2) by less than 1e-4, which moves a position by less than 1e-4 * 10
// on these 12 x 10 images, times a slope of at most 3.7 per pixel, per pass: below 0.02 in all.
// Bicubic weights add up to at most 1.5 in magnitude, so the pass errors grow as 1, 2.5, 4.75.
TEST(RotateFix, AgreesWithTheFloatingPointEngineWithinTheRoundingOfTheTypes) {
    const int32_t R = 12, C = 10;
    const std::vector<uint8_t> in8 = smoothUint8(R, C);
    const std::vector<double> in = asDoubles(in8);
    struct Case {
        int method;
        double below, above;
    };
    const Case methods[] = {{2, 3.0 + 3.0 / 32768 + 0.02, 0.02}, {3, 4.75 + 0.02, 4.75 + 0.02}};
    int compared = 0;
    for (const Case& m : methods) {
        for (double angle : {0.3, 0.5235987755982988, 1.0, 2.0, -0.7, 3.0}) {
            for (double sizeMode : {1.0, 2.0}) {
                // A fill value inside the image's range keeps bicubic overshoot off the uint8 ends.
                const std::map<int, Array> set = {{0, Array::scalar(sizeMode)},
                                                  {2, Array::scalar(angle)},
                                                  {6, Array::scalar(64)},
                                                  {7, Array::scalar(m.method)},
                                                  {21, Array::scalar(2)}};
                const RunResult flt = floatRun(set, R, C, in);
                const RunResult fix = uint8Run(set, R, C, in8);
                ASSERT_EQ(fix.dims, flt.dims);
                if (fix.geometry.rotatedRows != flt.geometry.rotatedRows ||
                    fix.geometry.rotatedCols != flt.geometry.rotatedCols ||
                    fix.geometry.shearedWidth != flt.geometry.shearedWidth)
                    continue;
                EXPECT_NEAR(fix.geometry.sinTheta, flt.geometry.sinTheta, 1e-4);
                EXPECT_NEAR(fix.geometry.tanHalfTheta, flt.geometry.tanHalfTheta, 1e-4);
                ++compared;
                for (size_t k = 0; k < flt.values.size(); ++k) {
                    const double ref = std::clamp(flt.values[k], 0.0, 255.0);
                    EXPECT_GE(fix.values[k], ref - m.below)
                        << "method " << m.method << " angle " << angle << " at " << k;
                    EXPECT_LE(fix.values[k], ref + m.above)
                        << "method " << m.method << " angle " << angle << " at " << k;
                }
            }
        }
    }
    EXPECT_GE(compared, 20);
}

// Non-negative values: zero and simplest round as floor, round as nearest; ceiling lies above floor
// and nearest between them, element by element (every operation is monotone).
TEST(RotateFix, EveryRoundingModeReachesTheOutput) {
    const int32_t R = 12, C = 10;
    const std::vector<uint8_t> in = smoothUint8(R, C);
    std::map<int, std::vector<double>> out;  // by rounding popup
    for (int popup = 1; popup <= 7; ++popup)
        out[popup] =
            uint8Run({{2, Array::scalar(0.5235987755982988)}, {20, Array::scalar(popup)}}, R, C, in).values;
    const auto& ceiling = out[1];
    const auto& convergent = out[2];
    const auto& floorOut = out[3];
    const auto& nearest = out[4];
    EXPECT_EQ(out[7], floorOut);  // zero
    EXPECT_EQ(out[6], floorOut);  // simplest
    EXPECT_EQ(out[5], nearest);   // round
    EXPECT_NE(ceiling, floorOut);
    EXPECT_NE(nearest, floorOut);
    EXPECT_NE(nearest, ceiling);
    for (size_t k = 0; k < floorOut.size(); ++k) {
        EXPECT_LE(floorOut[k], nearest[k]);
        EXPECT_LE(nearest[k], ceiling[k]);
        EXPECT_LE(floorOut[k], convergent[k]);
        EXPECT_LE(convergent[k], ceiling[k]);
    }
}

// Negative samples of a signed 16-bit fixed-point image: toward zero and floor part.
TEST(RotateFix, RoundingTowardZeroDiffersFromFloorOnNegativeValues) {
    const DataTypeId s16_8 = dravo::types::registerFixedPoint(true, 16, 8);
    const int32_t R = 9, C = 11;
    std::vector<int16_t> in(size_t(R) * C);
    for (size_t k = 0; k < in.size(); ++k)
        in[k] = int16_t(int(k * 97 % 8000) - 4000);
    auto run = [&](int popup) {
        auto b = makeBlock(fixParams({{2, Array::scalar(0.4)}, {20, Array::scalar(popup)}}),
                           {image({R, C}, s16_8)});
        b->start();
        setInputValues(*b, 0, in);
        b->step();
        return outputOf<int16_t>(*b);
    };
    const std::vector<int16_t> zero = run(7), floorOut = run(3);
    EXPECT_NE(zero, floorOut);
    for (size_t k = 0; k < zero.size(); ++k) {
        if (floorOut[k] >= 0) {
            EXPECT_GE(zero[k], floorOut[k]);
        }
    }
}

// Output u8.1 of a uint8 image from 150 to 209: saturation holds at 127.5, wrapping turns over.
TEST(RotateFix, OverflowModesReachTheOutput) {
    const int32_t R = 12, C = 10;
    std::vector<uint8_t> in = smoothUint8(R, C);
    for (uint8_t& v : in)
        v = uint8_t(150 + v % 60);
    auto run = [&](int overflowPopup) {
        return uint8Run({{2, Array::scalar(0.5)},
                         {17, Array::scalar(0)},
                         {18, Array::scalar(8)},
                         {19, Array::scalar(1)},
                         {21, Array::scalar(overflowPopup)}},
                        R, C, in)
            .values;
    };
    const std::vector<double> wrapped = run(1), saturated = run(2);
    // Saturated samples stay at the top (255 = 127.5; interpolating two of them rounds down once to 254).
    EXPECT_GE(*std::max_element(saturated.begin(), saturated.end()), 254.0);
    EXPECT_NE(wrapped, saturated);
    size_t turnedOver = 0;
    for (size_t k = 0; k < wrapped.size(); ++k)
        turnedOver += (saturated[k] >= 254.0 && wrapped[k] < 200.0) ? 1 : 0;
    EXPECT_GT(turnedOver, 0u);
}

TEST(RotateFix, LoggingRunOfADoubleImageTakesTheFixedPointEngine) {
    const int32_t R = 12, C = 10;
    const std::vector<double> in = asDoubles(smoothUint8(R, C));
    const std::map<int, Array> set = {{2, Array::scalar(0.5235987755982988)}, {5, Array::scalar(2)}};
    const RunResult flt = floatRun(set, R, C, in);

    VekDSPFixpt::LogRegistry::instance().reset();
    Settings logging;
    logging.minMaxOverflowLogging = 1;
    auto b = makeBlock(fixParams(set), {image({R, C})}, logging);
    b->start();
    setInputValues(*b, 0, in);
    b->step();
    const auto& engine = fixEngine(*b);  // the fixed-point engine's accessors answer
    EXPECT_NEAR(engine.lastAngle().reduced, 0.5235987755982988, 1e-4);
    const std::vector<double> out = outputOf<double>(*b);
    ASSERT_EQ(b->currentOutputDims(0), flt.dims);
    ASSERT_EQ(engine.lastGeometry().rotatedCols, flt.geometry.rotatedCols);
    // Double samples and sums: only the trigonometry differs (below 0.02, as above).
    for (size_t k = 0; k < out.size(); ++k)
        EXPECT_NEAR(out[k], flt.values[k], 0.02) << k;
    b.reset();

    const auto records = VekDSPFixpt::LogRegistry::instance().mergedByLabel();
    ASSERT_TRUE(records.count("Output"));
    ASSERT_TRUE(records.count("Accumulator"));
    const auto& o = records.at("Output");
    EXPECT_GE(o.minValue, -1e-9);
    EXPECT_LE(o.maxValue, 209.0 + 0.02);
    EXPECT_EQ(o.wraps + o.saturations, 0u);
    EXPECT_TRUE(records.count("Angle values"));
}

TEST(RotateFix, QuarterTurnsPermuteUint8Planes) {
    const int32_t R = 6, C = 4, P = 2;
    const std::vector<uint8_t> in = smoothUint8(R, C, P);
    for (int q = 0; q <= 3; ++q) {
        auto b = makeBlock(fixParams({{2, Array::scalar(q * kPi / 2)}}), {image({R, C, P}, SS_UINT8)});
        b->start();
        setInputValues(*b, 0, in);
        b->step();
        const std::vector<uint8_t> out = outputOf<uint8_t>(*b);
        const int32_t outRows = q % 2 ? C : R;
        ASSERT_EQ(out.size(), in.size());
        for (int32_t p = 0; p < P; ++p)
            for (int32_t i = 0; i < R; ++i)
                for (int32_t j = 0; j < C; ++j) {
                    int32_t oi = i, oj = j;
                    if (q == 1) {
                        oi = C - 1 - j;
                        oj = i;
                    }
                    if (q == 2) {
                        oi = R - 1 - i;
                        oj = C - 1 - j;
                    }
                    if (q == 3) {
                        oi = j;
                        oj = R - 1 - i;
                    }
                    EXPECT_EQ(out[size_t(p * R * C + oi + oj * outRows)], in[size_t(p * R * C + i + j * R)])
                        << q;
                }
    }
}

// A one-pixel image in an expanded 3 x 3 output: each plane cleared, its pixel at the start, nothing
// written past the output.
TEST(RotateFix, OnePixelImageFillsOnlyItsOutput) {
    auto b = makeBlock(fixParams({{2, Array::scalar(0.5)}}), {image({1, 1, 3}, SS_UINT8)});
    b->start();
    setInputValues(*b, 0, std::vector<uint8_t>{7, 8, 9});
    b->step();
    const std::vector<uint8_t> out = outputOf<uint8_t>(*b);
    ASSERT_EQ(out.size(), 27u);
    for (size_t k = 0; k < out.size(); ++k)
        EXPECT_EQ(out[k], k % 9 == 0 ? 7 + k / 9 : 0) << k;
}

// Variable sizes: the rotated size exchanges rows and columns when a quarter turn is taken out, as the
// floating-point engine does.
TEST(RotateFix, VariableSizeOutputMatchesTheFloatingPointEngine) {
    for (double angle : {0.4, 2.0, -1.0, 3.0}) {
        std::vector<std::vector<int32_t>> dims;
        for (DataTypeId type : {DataTypeId(SS_DOUBLE), DataTypeId(SS_UINT8)}) {
            auto b = makeBlock(fixParams({{2, Array::scalar(angle)}}), {image({16, 12}, type, 1)});
            b->start();
            if (type == SS_DOUBLE)
                setInputValues(*b, 0, std::vector<double>(9 * 5, 100.0), {9, 5});
            else
                setInputValues(*b, 0, std::vector<uint8_t>(9 * 5, 100), {9, 5});
            b->step();
            dims.push_back(b->currentOutputDims(0));
        }
        EXPECT_EQ(dims[0], dims[1]) << angle;
    }
}

TEST(RotateFix, TrigonometricSineMethodIsRefusedForFixedPointWork) {
    struct Case {
        DataTypeId type;
        int logging;
    };
    for (const Case& c : {Case{SS_UINT8, 0}, Case{SS_DOUBLE, 1}}) {
        Settings s;
        s.minMaxOverflowLogging = c.logging;
        try {
            auto b = makeBlock(fixParams({{5, Array::scalar(1)}}), {image({8, 8}, c.type)}, s);
            b->start();
            ADD_FAILURE() << "not refused";
        } catch (const BlockError& e) {
            EXPECT_EQ(e.messageClass(), "dspshared::system::sineMethodNotTable");
        }
    }
}

// A logging run computes every sample through the number objects; a plain run takes the stored-integer
// interior. Both must give the same bits, for every method, image type and a spread of modes.
TEST(RotateFix, PlainRunsMatchLoggingRunsBitForBit) {
    const int32_t R = 13, C = 11;
    const DataTypeId s16_8 = dravo::types::registerFixedPoint(true, 16, 8);
    std::vector<int16_t> in16(size_t(R) * C);
    for (size_t k = 0; k < in16.size(); ++k)
        in16[k] = int16_t(int(k * 389 % 30000) - 15000);
    const std::vector<uint8_t> in8 = smoothUint8(R, C);
    struct Modes {
        int rounding, overflow, productFL, accumFL, productWL;
    };
    // Products on the accumulator's grid (equal fraction lengths) take the exact interior for uint8, in
    // every rounding mode; the last one takes the 128-bit interior (64-bit products).
    const Modes modes[] = {{3, 1, 16, 16, 32}, {1, 2, 16, 16, 32}, {2, 1, 12, 12, 32}, {4, 2, 9, 9, 32},
                           {5, 2, 16, 16, 32}, {6, 1, 16, 16, 32}, {7, 2, 20, 20, 32}, {1, 2, 12, 14, 32},
                           {4, 1, 6, 9, 32},   {2, 2, 20, 10, 32}, {7, 2, 3, 3, 32},   {5, 1, 40, 20, 64}};
    for (int method = 1; method <= 3; ++method) {
        for (const Modes& m : modes) {
            for (double angle : {0.6, -2.2}) {
                for (DataTypeId type : {DataTypeId(SS_UINT8), s16_8}) {
                    const std::map<int, Array> set = fixParams({{2, Array::scalar(angle)},
                                                                {7, Array::scalar(method)},
                                                                {20, Array::scalar(m.rounding)},
                                                                {21, Array::scalar(m.overflow)},
                                                                {11, Array::scalar(0)},
                                                                {12, Array::scalar(m.productWL)},
                                                                {13, Array::scalar(m.productFL)},
                                                                {14, Array::scalar(0)},
                                                                {15, Array::scalar(m.accumFL + 8)},
                                                                {16, Array::scalar(m.accumFL)}});
                    std::vector<std::vector<uint8_t>> outs;
                    for (int logging : {0, 1}) {
                        Settings s;
                        s.minMaxOverflowLogging = logging;
                        auto b = makeBlock(set, {image({R, C}, type)}, s);
                        b->start();
                        if (type == SS_UINT8)
                            setInputValues(*b, 0, in8);
                        else
                            setInputValues(*b, 0, in16);
                        b->step();
                        outs.push_back(outputOf<uint8_t>(*b));
                    }
                    EXPECT_EQ(outs[0], outs[1]) << "method " << method << " rounding " << m.rounding
                                                << " angle " << angle << " type " << type;
                }
            }
        }
    }
}

// Per-plane fill values: each plane's background is its own value, and a second step (work vectors
// holding the first step's planes) gives the same output.
TEST(RotateFix, PerPlaneFillValuesAcrossSteps) {
    const int32_t R = 12, C = 10, P = 3;
    const std::vector<uint8_t> in8 = smoothUint8(R, C, P);
    const std::map<int, Array> set = {
        {2, Array::scalar(0.5)}, {6, Array::realVector({10, 20, 30})}, {21, Array::scalar(2)}};
    auto flt = makeBlock(fixParams(set), {image({R, C, P})});
    flt->start();
    setInputValues(*flt, 0, asDoubles(in8));
    flt->step();
    const std::vector<double> ref = outputOf<double>(*flt);
    auto b = makeBlock(fixParams(set), {image({R, C, P}, SS_UINT8)});
    b->start();
    setInputValues(*b, 0, in8);
    b->step();
    const std::vector<uint8_t> first = outputOf<uint8_t>(*b);
    b->step();
    EXPECT_EQ(outputOf<uint8_t>(*b), first);
    ASSERT_EQ(first.size(), ref.size());
    const size_t plane = ref.size() / P;
    for (size_t p = 0; p < size_t(P); ++p) {
        EXPECT_EQ(first[p * plane], 10 * (p + 1));  // a corner outside the rotated image
        for (size_t k = p * plane; k < (p + 1) * plane; ++k) {
            EXPECT_GE(first[k], ref[k] - (3.0 + 3.0 / 32768 + 0.02)) << k;
            EXPECT_LE(first[k], ref[k] + 0.02) << k;
        }
    }
}

}  // namespace

namespace {

const pellor::RotateSFcnCacheFlt<double>& floatEngine(Block& b) {
    return *static_cast<const pellor::RotateSFcnCacheFlt<double>*>(
        static_cast<const pellor::RotateSFcnCache*>(sysobj::ssGetUserData(b.handle())));
}

rotateoracle::Layout oracleLayout(const pellor::ShearLayout& l, int32_t H, int32_t W, int32_t S,
                                  int32_t fullRows, int32_t fullCols, bool centred) {
    return rotateoracle::layout(H, W, S, l.rowsPre, l.colsPre, fullRows, fullCols, centred);
}

rotateoracle::Layout engineLayout(const pellor::ShearLayout& l) {
    return {l.rowOffset, l.rowPad,    l.colPad,   l.colsPre + 2 * l.colPad,
            l.stride,    l.columnLen, l.rowShift, l.colShift};
}

// Both engines place the image where the geometry they computed puts it: the layout follows from H, W and
// S alone, never from the work vectors' sizes. Where the two engines' geometries agree, so do their
// layouts; a uint8 image laid one column aside shows up as a different colPad and N.
TEST(RotateFix, LayoutFollowsTheGeometryInBothEngines) {
    std::mt19937 rng(11);
    std::uniform_int_distribution<int32_t> side(2, 40);
    std::uniform_real_distribution<double> turn(-kPi, kPi);
    int agreeing = 0, cases = 0;
    auto check = [&](int32_t R, int32_t C, double angle, bool expanded) {
        const std::map<int, Array> set = {{0, Array::scalar(expanded ? 1 : 2)},
                                          {2, Array::scalar(angle)},
                                          {5, Array::scalar(2)},
                                          {7, Array::scalar(3)}};
        auto fix = makeBlock(fixParams(set), {image({R, C}, SS_UINT8)});
        auto flt = makeBlock(set, {image({R, C})});
        int32_t q = 0;
        if (pellor::quarterTurnsOf(angle, &q) && (expanded || R == C)) return;  // no shears
        fix->start();
        flt->start();
        setInputValues(*fix, 0, smoothUint8(R, C));
        setInputValues(*flt, 0, asDoubles(smoothUint8(R, C)));
        ASSERT_NO_THROW(fix->step()) << R << "x" << C << " at " << angle;
        ASSERT_NO_THROW(flt->step()) << R << "x" << C << " at " << angle;
        // The full size both engines work to: the output's in the expanded mode, else the diagonal one.
        const auto dims = fix->outputPort(0).dims;
        int32_t fullRows = dims[0], fullCols = dims[1];
        if (!expanded) {
            const double a = std::fabs(angle);
            fullRows = pellor::fullRotatedRows(R, C, a);
            fullCols = pellor::fullRotatedCols(R, C, a);
            if (pellor::quarterTurnsOf(angle, &q)) {
                fullRows = q % 2 ? C : R;
                fullCols = q % 2 ? R : C;
            }
        }
        const auto& fg = fixEngine(*fix).lastGeometry();
        const auto& fl = fixEngine(*fix).lastLayout();
        const auto& dg = floatEngine(*flt).lastGeometry();
        const auto& dl = floatEngine(*flt).lastLayout();
        const rotateoracle::Layout fixExpect =
            oracleLayout(fl, fg.rotatedRows, fg.rotatedCols, fg.shearedWidth, fullRows, fullCols, false);
        const rotateoracle::Layout fltExpect =
            oracleLayout(dl, dg.rotatedRows, dg.rotatedCols, dg.shearedWidth, fullRows, fullCols, false);
        EXPECT_EQ(engineLayout(fl), fixExpect) << R << "x" << C << " at " << angle << " colPad " << fl.colPad
                                               << " expected " << fixExpect.colPad;
        EXPECT_EQ(engineLayout(dl), fltExpect) << R << "x" << C << " at " << angle;
        ++cases;
        if (fg.rotatedRows == dg.rotatedRows && fg.rotatedCols == dg.rotatedCols &&
            fg.shearedWidth == dg.shearedWidth) {
            ++agreeing;
            EXPECT_EQ(engineLayout(fl), engineLayout(dl)) << R << "x" << C << " at " << angle;
        }
    };
    check(10, 21, -0.7, true);  // the column that went missing: S = 24, N = 24, colPad 7
    for (int n = 0; n < 150; ++n)
        check(side(rng), side(rng), turn(rng), n % 2 == 0);
    EXPECT_GT(agreeing, cases * 9 / 10);
}

// 360 * theta is one product (in the product type) before it goes into the working type: with a working
// type coarser than the angle, putting theta there first would move the table index by up to 360/(pi/2)
// working steps. Products s32.20, sums s32.8, floor; the index worked out on stored integers.
TEST(RotateFix, TableIndexIsOneProductOfTheAngle) {
    for (double angle : {0.4567, 1.234, 0.0123}) {
        auto b = makeBlock(fixParams({{2, Array::scalar(angle)},
                                      {11, Array::scalar(0)},
                                      {12, Array::scalar(32)},
                                      {13, Array::scalar(20)},
                                      {14, Array::scalar(0)},
                                      {15, Array::scalar(32)},
                                      {16, Array::scalar(8)},
                                      {20, Array::scalar(3)}}),
                           {image({9, 8}, SS_UINT8)});
        b->start();
        int64_t stored = 0;
        int32_t fracLength = -1;
        for (const auto& rtp : b->runTimeParams()) {
            if (rtp.name != "Angle") continue;
            const dravo::types::TypeInfo& t = dravo::types::info(rtp.dataType);
            ASSERT_EQ(t.containerBytes, 2);
            int16_t s = 0;
            std::memcpy(&s, rtp.bytes.data(), 2);
            stored = s;
            fracLength = t.fracLength;
        }
        ASSERT_GE(fracLength, 8);
        setInputValues(*b, 0, smoothUint8(9, 8));
        b->step();
        // 360 * theta on the 2^-8 grid, floored; then divided by pi/2 = 6434/4096 and floored again.
        const int64_t product = (360 * stored) >> (fracLength - 8);
        const int64_t index = (product * 4096) / 6434;
        EXPECT_EQ(fixEngine(*b).lastAngle().tableIndex, double(index) / 256.0) << angle;
    }
}

}  // namespace
