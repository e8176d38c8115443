// Steps of the rotate plug-in through the host: quarter turns, angle 0, port angles (wrap, clamp,
// Inf/NaN), per-plane and tuned fill values, variable-size steps and the one-pixel image.
#include <gtest/gtest.h>

#include <cmath>

#include "block_support.h"

using namespace rotatetest;
using dravo::host::BlockError;

namespace {

std::vector<double> runOnce(const std::map<int, Array>& set, const std::vector<int32_t>& dims,
                            const std::vector<double>& in, double portAngle = NAN) {
    std::vector<InputSpec> inputs = {image(dims)};
    if (!std::isnan(portAngle)) inputs.push_back(image({1, 1}));
    auto b = makeBlock(set, inputs);
    b->start();
    setInputValues(*b, 0, in);
    if (!std::isnan(portAngle)) setInputValues(*b, 1, std::vector<double>{portAngle});
    b->step();
    return outputOf<double>(*b);
}

TEST(RotateRun, QuarterTurnsPermuteEveryPlane) {
    const int32_t R = 6, C = 4, P = 3;
    const std::vector<double> in = rampImage(R * C * P);
    for (int q = 1; q <= 3; ++q) {
        const std::vector<double> out = runOnce({{2, Array::scalar(q * kPi / 2)}}, {R, C, P}, in);
        const int32_t outRows = q % 2 ? C : R;
        for (int32_t p = 0; p < P; ++p)
            for (int32_t i = 0; i < R; ++i)
                for (int32_t j = 0; j < C; ++j) {
                    int32_t oi = R - 1 - i, oj = C - 1 - j;
                    if (q == 1) {
                        oi = C - 1 - j;
                        oj = i;
                    }
                    if (q == 3) {
                        oi = j;
                        oj = R - 1 - i;
                    }
                    EXPECT_EQ(out[size_t(p * R * C + oi + oj * outRows)], in[size_t(p * R * C + i + j * R)]);
                }
    }
}

TEST(RotateRun, AngleZeroSameSizeNonSquareReproducesTheInput) {
    const std::vector<double> in = rampImage(9 * 14);
    for (int method = 1; method <= 3; ++method)
        for (int sine = 1; sine <= 2; ++sine)
            EXPECT_EQ(runOnce({{0, Array::scalar(2)},
                               {2, Array::scalar(0)},
                               {5, Array::scalar(sine)},
                               {7, Array::scalar(method)}},
                              {9, 14}, in),
                      in);
}

TEST(RotateRun, PortAngleWrapsAndClampsToTheMaximum) {
    const std::vector<double> in = rampImage(12 * 10);
    auto port = [&](double angle, double maxAngle) {
        return runOnce({{1, Array::scalar(2)}, {3, Array::scalar(maxAngle)}}, {12, 10}, in, angle);
    };
    EXPECT_EQ(port(4.0, 1.0), port(-1.0, 3.5));
    EXPECT_EQ(port(4.0, 5.0), port(4.0 - 2 * kPi, kPi));
    EXPECT_NE(port(4.0, 1.0), port(4.0, 5.0));
    EXPECT_EQ(port(0.7, 0.5), port(0.5, 0.5));
}

TEST(RotateRun, NonFinitePortAngleStopsTheStepWithoutWriting) {
    auto b = makeBlock({{1, Array::scalar(2)}}, {image({5, 5}), image({1, 1})});
    b->start();
    setInputValues(*b, 0, rampImage(25));
    setInputValues(*b, 1, std::vector<double>{0.3});
    b->step();
    const std::vector<double> before = outputOf<double>(*b);
    for (double bad : {NAN, INFINITY, -INFINITY}) {
        setInputValues(*b, 0, std::vector<double>(25, 77.0));
        setInputValues(*b, 1, std::vector<double>{bad});
        try {
            b->step();
            FAIL() << "accepted " << bad;
        } catch (const BlockError& e) {
            EXPECT_EQ(e.messageClass(), "vision::system::angleInfOrNaN");
        }
        EXPECT_EQ(outputOf<double>(*b), before);
        if (::testing::Test::HasFailure()) break;
        // The host may keep the block in error; a fresh block is used for the next value.
        b = makeBlock({{1, Array::scalar(2)}}, {image({5, 5}), image({1, 1})});
        b->start();
        setInputValues(*b, 0, rampImage(25));
        setInputValues(*b, 1, std::vector<double>{0.3});
        b->step();
    }
}

TEST(RotateRun, PerPlaneFillAndItsTuning) {
    const int32_t R = 8, C = 8, P = 3;
    auto b = makeBlock({{2, Array::scalar(0.6)}, {6, Array::realVector({10, 20, 30})}}, {image({R, C, P})});
    b->start();
    const auto dims = b->outputPort(0).dims;
    const int32_t outRows = dims[0], outCols = dims[1];
    setInputValues(*b, 0, std::vector<double>(size_t(R * C * P), 1.0));
    b->step();
    std::vector<double> out = outputOf<double>(*b);
    const size_t plane = size_t(outRows) * outCols;
    for (int p = 0; p < P; ++p) {
        EXPECT_EQ(out[p * plane], 10.0 * (p + 1)) << p;              // top-left corner
        EXPECT_EQ(out[p * plane + plane - 1], 10.0 * (p + 1)) << p;  // bottom-right corner
    }
    b->changeParameter(6, Array::realVector({5, 6, 7}));
    b->step();
    out = outputOf<double>(*b);
    for (int p = 0; p < P; ++p)
        EXPECT_EQ(out[p * plane], 5.0 + p) << p;
    EXPECT_THROW(b->changeParameter(6, Array::realVector({1, 2})), BlockError);
}

TEST(RotateRun, VariableSizeStepsMatchFixedSizeRuns) {
    const double angle = 0.45;
    auto b = makeBlock({{2, Array::scalar(angle)}}, {image({20, 30}, SS_DOUBLE, 1)});
    b->start();
    for (auto [r, c] : {std::pair{10, 16}, std::pair{20, 30}, std::pair{7, 3}}) {
        const std::vector<double> in = rampImage(size_t(r * c));
        setInputValues(*b, 0, in, {r, c});
        b->step();
        const std::vector<double> fixed = runOnce({{2, Array::scalar(angle)}}, {r, c}, in);
        auto fixedBlock = makeBlock({{2, Array::scalar(angle)}}, {image({r, c})});
        EXPECT_EQ(b->currentOutputDims(0), fixedBlock->outputPort(0).dims) << r << "x" << c;
        EXPECT_EQ(outputOf<double>(*b), fixed) << r << "x" << c;
    }
}

TEST(RotateRun, VariableSizeSameSizeKeepsTheInputSize) {
    auto b = makeBlock({{0, Array::scalar(2)}, {2, Array::scalar(-1.1)}}, {image({12, 12, 2}, SS_DOUBLE, 1)});
    b->start();
    const std::vector<double> in = rampImage(6 * 9 * 2);
    setInputValues(*b, 0, in, {6, 9, 2});
    b->step();
    EXPECT_EQ(b->currentOutputDims(0), (std::vector<int32_t>{6, 9, 2}));
    EXPECT_EQ(outputOf<double>(*b),
              runOnce({{0, Array::scalar(2)}, {2, Array::scalar(-1.1)}}, {6, 9, 2}, in));
}

TEST(RotateRun, OnePixelSameSizeWithPortAngleStaysInsideTheOutput) {
    // The full size of a 1 x 1 image at a port angle is 3 x 3; the output is 1 x 1 per plane.
    auto b = makeBlock({{0, Array::scalar(2)}, {1, Array::scalar(2)}}, {image({1, 1, 3}), image({1, 1})});
    b->start();
    setInputValues(*b, 0, std::vector<double>{4, 5, 6});
    setInputValues(*b, 1, std::vector<double>{0.9});
    b->step();
    EXPECT_EQ(outputOf<double>(*b), (std::vector<double>{4, 5, 6}));
}

TEST(RotateRun, OnePixelExpandedPutsEachPlaneAtItsStart) {
    auto b = makeBlock({{1, Array::scalar(2)}}, {image({1, 1, 2}), image({1, 1})});
    b->start();
    EXPECT_EQ(b->outputPort(0).dims, (std::vector<int32_t>{3, 3, 2}));
    setInputValues(*b, 0, std::vector<double>{4, 5});
    setInputValues(*b, 1, std::vector<double>{0.9});
    b->step();
    const std::vector<double> out = outputOf<double>(*b);
    std::vector<double> expected(18, 0.0);
    expected[0] = 4;
    expected[9] = 5;
    EXPECT_EQ(out, expected);
}

TEST(RotateRun, SingleImageFollowsTheDoubleOne) {
    const std::vector<double> in = rampImage(15 * 11);
    const std::vector<double> d = runOnce({{2, Array::scalar(2.4)}, {7, Array::scalar(3)}}, {15, 11}, in);
    auto b = makeBlock({{2, Array::scalar(2.4)}, {7, Array::scalar(3)}}, {image({15, 11}, SS_SINGLE)});
    b->start();
    std::vector<float> inF(in.begin(), in.end());
    setInputValues(*b, 0, inF);
    b->step();
    const std::vector<float> f = outputOf<float>(*b);
    ASSERT_EQ(f.size(), d.size());
    for (size_t k = 0; k < f.size(); ++k)
        EXPECT_NEAR(f[k], d[k], 1e-3 * (1 + std::fabs(d[k])));
}

TEST(RotateRun, CentredPlacementCentresThePortRotation) {
    const std::vector<double> in(6 * 6, 1.0);
    const std::vector<double> topLeft =
        runOnce({{1, Array::scalar(2)}, {4, Array::scalar(1)}}, {6, 6}, in, 0.0);
    const std::vector<double> centred =
        runOnce({{1, Array::scalar(2)}, {4, Array::scalar(2)}}, {6, 6}, in, 0.0);
    // The full size is 10 x 10 (diagonal 8.49); at angle 0 the image is 6 x 6 in either place.
    ASSERT_EQ(topLeft.size(), 100u);
    EXPECT_EQ(topLeft[0], 1.0);
    EXPECT_EQ(topLeft[5 + 5 * 10], 1.0);
    EXPECT_EQ(topLeft[6 + 6 * 10], 0.0);
    EXPECT_EQ(centred[0], 0.0);
    EXPECT_EQ(centred[2 + 2 * 10], 1.0);
    EXPECT_EQ(centred[7 + 7 * 10], 1.0);
    EXPECT_EQ(centred[8 + 8 * 10], 0.0);
}

}  // namespace

namespace {

TEST(RotateRun, SineTableFollowsTheTrigonometricFunctions) {
    const std::vector<double> in = rampImage(21 * 17);
    for (double angle : {0.7, -2.2, 3.0}) {
        const std::vector<double> byFunctions = runOnce({{2, Array::scalar(angle)}}, {21, 17}, in);
        const std::vector<double> byTable =
            runOnce({{2, Array::scalar(angle)}, {5, Array::scalar(2)}}, {21, 17}, in);
        ASSERT_EQ(byFunctions.size(), byTable.size());
        double worst = 0;
        for (size_t k = 0; k < byTable.size(); ++k)
            worst = std::max(worst, std::fabs(byTable[k] - byFunctions[k]));
        EXPECT_LT(worst, 0.05) << angle;  // pixel values up to 100; the table is good to about 2e-6
        EXPECT_NE(byTable, byFunctions) << "the table was not used at " << angle;
    }
}

}  // namespace
