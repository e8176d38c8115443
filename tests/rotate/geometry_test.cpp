// Angle arithmetic and sizes, from hand-computed examples.
#include <gtest/gtest.h>

#include <cmath>

#include "pellor/anglemath.h"
#include "pellor/geometry.h"

using namespace pellor;

namespace {

constexpr double kPi = 3.141592653589793;

TEST(FullSize, ExpandedExampleAtHalfRadian) {
    // 2*ceil((cos 0.5*100 + sin 0.5*60)/2) = 118 and 2*ceil((sin 0.5*100 + cos 0.5*60)/2) = 102.
    EXPECT_EQ(fullRotatedRows(100, 60, 0.5), 118);
    EXPECT_EQ(fullRotatedCols(100, 60, 0.5), 102);
}

TEST(FullSize, DiagonalKeepsTheParityOfEachSide) {
    // 3 x 4 has diagonal 5: odd rows 2*ceil(2.5-0.5)+1 = 5, even columns 2*ceil(2.5) = 6.
    EXPECT_EQ(fullRotatedRows(3, 4, std::atan(4.0 / 3.0)), 5);
    EXPECT_EQ(fullRotatedCols(3, 4, std::atan(3.0 / 4.0)), 6);
}

struct QuarterCase {
    double angle;
    bool multiple;
    int32_t count;
};

class QuarterTurnTest : public ::testing::TestWithParam<QuarterCase> {};

TEST_P(QuarterTurnTest, TruncatesTowardZero) {
    const QuarterCase c = GetParam();
    int32_t q = 99;
    EXPECT_EQ(quarterTurnsOf(c.angle, &q), c.multiple) << c.angle;
    EXPECT_EQ(q, c.count) << c.angle;
}

INSTANTIATE_TEST_SUITE_P(
    Examples, QuarterTurnTest,
    ::testing::Values(QuarterCase{0.0, true, 0}, QuarterCase{1.57079, false, -1},
                      QuarterCase{1.5708, true, 1},
                      QuarterCase{kPi / 2 - 1e-9, false, -1},  // a hair below a positive multiple
                      QuarterCase{kPi / 2 + 1e-9, true, 1}, QuarterCase{-kPi / 2, true, 3},
                      QuarterCase{-5 * kPi / 2, true, 3}, QuarterCase{3 * kPi, true, 2},
                      QuarterCase{kPi, true, 2}, QuarterCase{0.5, false, -1}));

TEST(Reduction, ThreeQuarterPiTakesOutAQuarterTurn) {
    ReducedAngle how;
    const double theta = reduceRotationAngle(3 * kPi / 4, &how);
    EXPECT_TRUE(how.swap);
    EXPECT_EQ(how.quadrant, Quadrant::QuarterCounter);
    EXPECT_NEAR(theta, kPi / 4, 1e-15);
}

TEST(Reduction, EveryAngleLandsInTheFirstQuadrant) {
    for (double a = -20.0; a <= 20.0; a += 0.0137) {
        ReducedAngle how;
        const double theta = reduceRotationAngle(a, &how);
        EXPECT_GE(theta, 0.0) << a;
        EXPECT_LT(theta, kPi / 2) << a;
        // Adding back the turn that was taken out gives the same direction.
        const double taken[] = {0.0, kPi / 2, -kPi, -kPi / 2};
        const double back = theta + taken[static_cast<int>(how.quadrant)];
        EXPECT_EQ(how.swap,
                  how.quadrant == Quadrant::QuarterCounter || how.quadrant == Quadrant::QuarterClockwise);
        EXPECT_NEAR(std::remainder(back - a, 2 * kPi), 0.0, 1e-9) << a;
    }
}

TEST(Reduction, SingleUsesSingleConstants) {
    // Just below 3*pi/2 in single precision: the single reduction stays on its own side of the boundary.
    const float a = 4.712389f;
    ReducedAngle how;
    const float theta = reduceRotationAngle(a, &how);
    EXPECT_GE(theta, 0.0f);
    EXPECT_LT(theta, AngleConstants<float>::halfPi);
    const float wrapped = std::fmod(a, 6.2831855f) - 6.2831855f;  // [pi, 2pi) wraps down
    EXPECT_EQ(wrapAngle(a), wrapped);
}

TEST(StepAngle, PortAngleWrapsAndClamps) {
    // 4 rad wraps to 4 - 2*pi; a bound of 1 rad clamps it to -1, a bound of 5 (limited to pi) keeps it.
    EXPECT_NEAR(currentAngle(4.0, true, 1.0), -1.0, 0.0);
    EXPECT_NEAR(currentAngle(4.0, true, 5.0), 4.0 - 2 * kPi, 1e-15);
    EXPECT_NEAR(currentAngle(4.0, false, 0.0), 4.0 - 2 * kPi, 1e-15);
    EXPECT_EQ(currentAngle(0.7, true, 0.5), 0.5);
    EXPECT_EQ(currentAngle(-0.7, true, 0.5), -0.5);
}

TEST(Geometry, ParityAndShearedWidth) {
    // theta = 0.5, R' = 100, C' = 60: W = ceil(47.94 + 52.65) = 101 -> 102 (parity of 60),
    // H = ceil(28.77 + 87.76) = 117 -> 118, S = ceil(25.53 + 60) = 86 -> max(86, 102) = 102.
    const ShearGeometry<double> g = computeShearGeometry(0.5, 100, 60, nullptr);
    EXPECT_EQ(g.rotatedCols, 102);
    EXPECT_EQ(g.rotatedRows, 118);
    EXPECT_EQ(g.shearedWidth, 102);
    EXPECT_DOUBLE_EQ(g.tanHalfTheta, std::tan(0.25));
}

TEST(Geometry, SineTableMatchesTheFunctions) {
    double table[kSineTableLength];
    double angle = 0;
    for (double& t : table) {
        t = std::sin(angle);
        angle += kSineTableStep;
    }
    for (double theta = 0.0; theta < kPi / 2; theta += 0.01) {
        const Trig<double> t = shearTrig(theta, table);
        EXPECT_NEAR(t.sinTheta, std::sin(theta), 3e-6) << theta;
        EXPECT_NEAR(t.cosTheta, std::cos(theta), 3e-6) << theta;
        EXPECT_NEAR(t.tanHalfTheta, std::tan(theta / 2), 3e-6) << theta;
    }
    const Trig<double> zero = shearTrig(0.0, table);
    EXPECT_EQ(zero.sinTheta, 0.0);
    EXPECT_EQ(zero.cosTheta, 1.0);
}

}  // namespace
