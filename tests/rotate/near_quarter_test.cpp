// Rotations a hair away from a whole number of quarter turns: the result must be the exact quarter turn of a
// smooth image, placed where the rotation centres it, whichever way the angle reduction goes.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "block_support.h"

using namespace rotatetest;

namespace {

// A plane whose values change by at most 0.1 per pixel along rows and 0.037 along columns: a line moved by
// one position is off by far more than the interpolation error of a rotation by at most 1e-3 rad.
double smooth(int32_t i, int32_t j) {
    return 2.0 + 0.1 * i + 0.037 * j + 0.02 * std::sin(0.3 * i) * std::cos(0.2 * j);
}

// Output (k, j) of an outRows x outCols output holds element (k - dr, j - dc) of the input turned by q
// quarter turns counterclockwise, or the fill value outside it. Written from the rotation alone: element
// (i, j) of an R x C input goes to (C-1-j, i) for one quarter turn.
struct Expected {
    int32_t rows, cols;  // of the turned image
    int32_t dr, dc;
};

double turnedValue(int32_t q, int32_t R, int32_t C, int32_t r, int32_t c) {
    // The input element that lands on (r, c) of the turned image.
    switch (q) {
        case 1:  // (i, j) -> (C-1-j, i)
            return smooth(c, C - 1 - r);
        case 2:  // (i, j) -> (R-1-i, C-1-j)
            return smooth(R - 1 - r, C - 1 - c);
        case 3:  // (i, j) -> (j, R-1-i)
            return smooth(R - 1 - c, r);
        default:
            return smooth(r, c);
    }
}

constexpr int32_t kExpanded = 0, kSameSize = 1, kPort = 2;

struct NearCase {
    int32_t rows, cols;
    int32_t mode;  // kExpanded, kSameSize, or kPort (expanded, angle from the port, centred)
    // 1 nearest, 2 bilinear, 3 bicubic. Nearest runs on odd sizes only: with an even side the centre lies
    // between pixels, and near a quarter turn taken out by the reduction the three rounded shifts of a
    // nearly exact 90-degree shear can leave the image one pixel aside of the exact turn.
    int32_t method;
    int32_t sine;  // 1 functions, 2 table
};

std::string describe(const NearCase& c, int32_t q, double delta) {
    std::ostringstream s;
    const char* modes[] = {" expanded", " same-size", " port angle"};
    s << c.rows << "x" << c.cols << modes[c.mode] << " method " << c.method << " sine " << c.sine << " angle "
      << q << "*pi/2" << (delta >= 0 ? "+" : "") << delta;
    return s.str();
}

class NearQuarterTurn : public ::testing::TestWithParam<NearCase> {};

TEST_P(NearQuarterTurn, MatchesTheExactQuarterTurn) {
    const NearCase c = GetParam();
    const int32_t R = c.rows, C = c.cols;
    std::vector<double> in(size_t(R) * C);
    for (int32_t j = 0; j < C; ++j)
        for (int32_t i = 0; i < R; ++i)
            in[size_t(i + j * R)] = smooth(i, j);
    const double fill = -5.0;
    for (int32_t q = 0; q < 4; ++q) {
        for (double delta : {1e-6, -1e-6, 1e-5, -1e-5, 1e-4, -1e-4, 1e-3, -1e-3}) {
            const double angle = q * (kPi / 2) + delta;
            std::vector<InputSpec> inputs = {image({R, C})};
            if (c.mode == kPort) inputs.push_back(image({1, 1}));
            auto b = makeBlock({{0, Array::scalar(c.mode == kSameSize ? 2 : 1)},
                                {1, Array::scalar(c.mode == kPort ? 2 : 1)},
                                {2, Array::scalar(angle)},
                                {4, Array::scalar(2)},
                                {5, Array::scalar(c.sine)},
                                {6, Array::scalar(fill)},
                                {7, Array::scalar(c.method)}},
                               inputs);
            b->start();
            setInputValues(*b, 0, in);
            if (c.mode == kPort) setInputValues(*b, 1, std::vector<double>{angle});
            b->step();
            const std::vector<double> out = outputOf<double>(*b);
            const auto dims = b->outputPort(0).dims;
            const int32_t outRows = dims[0], outCols = dims[1];
            const int32_t turnedRows = q % 2 ? C : R, turnedCols = q % 2 ? R : C;
            // The turned image is centred on the output; both differences are even in these cases.
            ASSERT_EQ((outRows - turnedRows) % 2, 0);
            ASSERT_EQ((outCols - turnedCols) % 2, 0);
            const int32_t dr = (outRows - turnedRows) / 2, dc = (outCols - turnedCols) / 2;
            int wrong = 0;
            double worst = 0;
            for (int32_t k = 0; k < outRows; ++k) {
                for (int32_t j = 0; j < outCols; ++j) {
                    const int32_t r = k - dr, col = j - dc;
                    const double got = out[size_t(k + j * outRows)];
                    const bool inside = r >= 0 && r < turnedRows && col >= 0 && col < turnedCols;
                    // Near the image's edge (either side) the shears mix the edge with the fill: over one
                    // pixel for the two-tap methods, over three for the four-tap kernel, whose negative
                    // lobes carry the step to the fill through all three passes.
                    const int32_t e = c.method == 3 ? 3 : 1;
                    const bool edge = r >= -e && r < turnedRows + e && col >= -e && col < turnedCols + e &&
                                      (r < e || col < e || r >= turnedRows - e || col >= turnedCols - e);
                    if (edge) continue;
                    const double expect = inside ? turnedValue(q, R, C, r, col) : fill;
                    const double err = std::fabs(got - expect);
                    if (err > 0.02) ++wrong;
                    worst = std::max(worst, err);
                }
            }
            EXPECT_EQ(wrong, 0) << describe(c, q, delta) << ": worst error " << worst;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, NearQuarterTurn,
    ::testing::Values(NearCase{22, 16, kSameSize, 2, 2}, NearCase{22, 16, kExpanded, 2, 2},
                      NearCase{22, 16, kSameSize, 2, 1}, NearCase{22, 16, kPort, 2, 2},
                      NearCase{21, 15, kExpanded, 1, 1}, NearCase{21, 15, kSameSize, 2, 2},
                      NearCase{21, 15, kExpanded, 2, 2}, NearCase{21, 15, kPort, 1, 1},
                      NearCase{15, 21, kSameSize, 1, 2}, NearCase{16, 22, kExpanded, 3, 1},
                      NearCase{16, 22, kSameSize, 3, 2}, NearCase{16, 22, kPort, 3, 2},
                      NearCase{13, 13, kSameSize, 2, 2}, NearCase{14, 14, kExpanded, 2, 1},
                      NearCase{14, 14, kPort, 2, 1}));

}  // namespace
