// The three-shear engine on plain buffers: angle 0 reproduces the input, quarter turns are index
// permutations, a smooth image rotates like the continuous function it samples (checked in the interior
// against the exact rotation), and nothing is read or written outside any buffer, even where the geometry
// runs one row or column past the output.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "pellor/geometry.h"
#include "pellor/quarterturn.h"
#include "pellor/threeshear.h"

using namespace pellor;

namespace {

constexpr double kPi = 3.141592653589793;
constexpr int kGuard = 64;

// A buffer with NaN guards on both sides: a read past either end shows up as NaN in the output, a write
// past either end as a changed guard.
template <typename T>
struct Guarded {
    std::vector<T> all;
    explicit Guarded(size_t n, T init = T(0)) : all(n + 2 * kGuard, std::numeric_limits<T>::quiet_NaN()) {
        for (size_t k = 0; k < n; ++k)
            all[kGuard + k] = init;
    }
    T* data() { return all.data() + kGuard; }
    size_t size() const { return all.size() - 2 * kGuard; }
    bool guardsIntact() const {
        for (int k = 0; k < kGuard; ++k) {
            if (!std::isnan(all[size_t(k)]) || !std::isnan(all[all.size() - 1 - size_t(k)])) return false;
        }
        return true;
    }
};

template <typename T>
struct ShearRun {
    std::vector<T> out;
    int32_t outRows = 0, outCols = 0;
    ShearGeometry<T> g;
    bool fits = false, guardsIntact = false, anyNaN = false;
};

template <typename T>
ShearRun<T> runShears(const std::vector<T>& image, int32_t rows, int32_t cols, int32_t planes, double angle,
                      bool sameSize, int32_t method, const std::vector<T>& fill, int32_t lineLen = 0,
                      int32_t shearedLen = 0, bool inPlaceMoves = true) {
    ShearSetup<T> s;
    s.rows = rows;
    s.cols = cols;
    s.planes = planes;
    s.fullRows = fullRotatedRows(rows, cols, angle);
    s.fullCols = fullRotatedCols(rows, cols, angle);
    s.outRows = sameSize ? rows : s.fullRows;
    s.outCols = sameSize ? cols : s.fullCols;
    s.sameSize = sameSize;
    s.skew = skewAtForMethod<T>(method);
    s.method = inPlaceMoves ? method : 0;
    const int32_t big = std::max({rows, cols, s.fullRows, s.fullCols});
    s.lineLen = lineLen > 0 ? lineLen : 3 * big + 8;
    s.shearedLen = shearedLen > 0 ? shearedLen : (big + 1) * s.lineLen;
    Guarded<T> sheared(size_t(s.shearedLen)), line(size_t(s.lineLen) + 1);
    Guarded<T> out(size_t(s.outRows) * s.outCols * planes, T(12345));
    Guarded<T> in(image.size());
    std::copy(image.begin(), image.end(), in.data());
    s.sheared = sheared.data();
    s.line = line.data();
    ShearRun<T> r;
    r.g = rotateByShears(s, wrapAngle(static_cast<T>(angle)), in.data(), out.data(), fill.data(),
                         fill.size() == 1, &r.fits);
    r.out.assign(out.data(), out.data() + out.size());
    r.outRows = s.outRows;
    r.outCols = s.outCols;
    r.guardsIntact = sheared.guardsIntact() && line.guardsIntact() && out.guardsIntact() && in.guardsIntact();
    for (T v : r.out)
        r.anyNaN = r.anyNaN || std::isnan(v);
    return r;
}

std::vector<double> ramp(int32_t rows, int32_t cols, int32_t planes = 1) {
    std::vector<double> v(size_t(rows) * cols * planes);
    for (size_t k = 0; k < v.size(); ++k)
        v[k] = double(k % 97) * 0.5 + double(k / 97);
    return v;
}

TEST(ThreeShears, AngleZeroReproducesTheInput) {
    for (int32_t method = 1; method <= 3; ++method) {
        for (auto [rows, cols] : {std::pair{7, 12}, std::pair{12, 7}, std::pair{1, 9}, std::pair{10, 10}}) {
            const std::vector<double> image = ramp(rows, cols, 2);
            const ShearRun<double> r = runShears(image, rows, cols, 2, 0.0, true, method, {3.0});
            ASSERT_TRUE(r.fits);
            EXPECT_EQ(r.out, image) << method << " " << rows << "x" << cols;
            EXPECT_TRUE(r.guardsIntact);
        }
    }
}

TEST(QuarterTurns, MatchIndexPermutation) {
    const int32_t R = 5, C = 3, P = 2;
    const std::vector<double> in = ramp(R, C, P);
    for (int32_t q = 0; q < 4; ++q) {
        std::vector<double> out(in.size(), -1);
        quarterTurnCopy(in.data(), R, C, P, q, out.data());
        for (int32_t p = 0; p < P; ++p) {
            for (int32_t i = 0; i < R; ++i) {
                for (int32_t j = 0; j < C; ++j) {
                    const double v = in[size_t(p * R * C + i + j * R)];
                    // Counterclockwise as displayed: a quarter turn sends (i, j) to (C-1-j, i) of C x R.
                    int32_t oi = i, oj = j, orows = R;
                    if (q == 1) {
                        oi = C - 1 - j;
                        oj = i;
                        orows = C;
                    }
                    if (q == 2) {
                        oi = R - 1 - i;
                        oj = C - 1 - j;
                    }
                    if (q == 3) {
                        oi = j;
                        oj = R - 1 - i;
                        orows = C;
                    }
                    EXPECT_EQ(out[size_t(p * R * C + oi + oj * orows)], v) << q;
                }
            }
        }
    }
}

TEST(QuarterTurns, LargeTiledPlaneMatchesPermutation) {
    const int32_t R = 70, C = 45;
    const std::vector<double> in = ramp(R, C);
    std::vector<double> out(in.size());
    quarterTurnCopy(in.data(), R, C, 1, 3, out.data());
    for (int32_t i = 0; i < R; ++i)
        for (int32_t j = 0; j < C; ++j)
            ASSERT_EQ(out[size_t(j + (R - 1 - i) * C)], in[size_t(i + j * R)]);
}

double smooth(double y, double x) {
    return std::sin(0.11 * x + 0.05 * y) + std::cos(0.07 * y - 0.03 * x);
}

struct OracleCase {
    int32_t method;
    double angle;
    bool sameSize;
    int32_t rows, cols;
    double tolerance;
};

class SmoothImageOracle : public ::testing::TestWithParam<OracleCase> {};

// Output pixel (r, c), centred, maps back to input (y, x) = rotation by -angle; positive angles turn
// counterclockwise as displayed with row 0 at the top.
TEST_P(SmoothImageOracle, InteriorMatchesTheExactRotation) {
    const OracleCase c = GetParam();
    std::vector<double> image(size_t(c.rows) * c.cols);
    for (int32_t j = 0; j < c.cols; ++j)
        for (int32_t i = 0; i < c.rows; ++i)
            image[size_t(i + j * c.rows)] = smooth(i, j);
    const ShearRun<double> r = runShears(image, c.rows, c.cols, 1, c.angle, c.sameSize, c.method, {0.0});
    ASSERT_TRUE(r.fits);
    EXPECT_TRUE(r.guardsIntact);
    EXPECT_FALSE(r.anyNaN);
    const double cy = (c.rows - 1) / 2.0, cx = (c.cols - 1) / 2.0;
    const double oy = (r.outRows - 1) / 2.0, ox = (r.outCols - 1) / 2.0;
    const double cs = std::cos(c.angle), sn = std::sin(c.angle);
    int checked = 0;
    double worst = 0;
    for (int32_t oc = 0; oc < r.outCols; ++oc) {
        for (int32_t orow = 0; orow < r.outRows; ++orow) {
            const double yp = orow - oy, xp = oc - ox;
            const double x = xp * cs - yp * sn + cx;
            const double y = xp * sn + yp * cs + cy;
            if (x < 3 || y < 3 || x > c.cols - 4 || y > c.rows - 4) continue;
            worst = std::max(worst, std::fabs(r.out[size_t(orow + oc * r.outRows)] - smooth(y, x)));
            ++checked;
        }
    }
    EXPECT_GT(checked, c.rows * c.cols / 4);
    EXPECT_LT(worst, c.tolerance) << "method " << c.method << " angle " << c.angle;
}

INSTANTIATE_TEST_SUITE_P(
    MethodsAndQuadrants, SmoothImageOracle,
    ::testing::Values(OracleCase{2, 0.5236, false, 40, 56, 0.02}, OracleCase{3, 0.5236, false, 40, 56, 0.04},
                      OracleCase{1, 0.5236, false, 40, 56, 0.35}, OracleCase{2, 2.2, false, 41, 33, 0.02},
                      OracleCase{3, -2.5, false, 41, 33, 0.04}, OracleCase{2, -0.9, true, 48, 60, 0.02},
                      OracleCase{3, 1.3, true, 45, 45, 0.04}, OracleCase{2, 7.0, false, 30, 50, 0.02},
                      OracleCase{3, -1.7, true, 50, 50, 0.04}));

// Expanded output, a quarter turn taken out, sides differing by an odd number: the parity step can make
// the rotated size one larger than the full size. Nothing may land outside the output.
TEST(ThreeShears, RotatedSizeOneLargerThanTheOutputIsClipped) {
    int found = 0;
    for (auto [rows, cols] : {std::pair{10, 7}, std::pair{9, 14}, std::pair{16, 5}}) {
        for (double a = 1.58; a < 3.1 && found < 6; a += 0.0173) {
            ReducedAngle how;
            const double theta = reduceRotationAngle(a, &how);
            const ShearGeometry<double> g =
                computeShearGeometry(theta, how.swap ? cols : rows, how.swap ? rows : cols, nullptr);
            if (g.rotatedRows <= fullRotatedRows(rows, cols, a) &&
                g.rotatedCols <= fullRotatedCols(rows, cols, a))
                continue;
            ++found;
            for (int32_t method = 1; method <= 3; ++method) {
                const ShearRun<double> r =
                    runShears(ramp(rows, cols), rows, cols, 1, a, false, method, {-1.0});
                EXPECT_TRUE(r.fits);
                EXPECT_TRUE(r.guardsIntact) << rows << "x" << cols << " at " << a;
                EXPECT_FALSE(r.anyNaN) << rows << "x" << cols << " at " << a;
                for (double v : r.out)
                    EXPECT_NE(v, 12345.0);  // every output element is written
            }
        }
    }
    EXPECT_GT(found, 0) << "no case where the rotated size exceeds the full size";
}

// Same-size output where H - R is odd: rows beyond the rotated image keep the fill value.
TEST(ThreeShears, SameSizeRowsOutsideTheRotatedImageKeepTheFill) {
    const int32_t rows = 20, cols = 9;
    const double a = kPi / 2 + 0.05;  // quarter turn taken out: H ~ 9 rows of a 20-row output
    for (int32_t method = 1; method <= 3; ++method) {
        const ShearRun<double> r = runShears(ramp(rows, cols), rows, cols, 1, a, true, method, {-1.0});
        ASSERT_TRUE(r.fits);
        EXPECT_TRUE(r.guardsIntact);
        EXPECT_FALSE(r.anyNaN);
        const int32_t H = r.g.rotatedRows;
        ASSERT_EQ((H - rows) % 2 != 0, true);
        const int32_t top = -((H - rows) / 2);  // first output row of the rotated image
        for (int32_t k = 0; k < rows; ++k) {
            if (k >= top && k < top + H) continue;
            for (int32_t j = 0; j < cols; ++j)
                EXPECT_EQ(r.out[size_t(k + j * rows)], -1.0) << "row " << k;
        }
    }
}

// Columns moved in place (nearest, or a whole-number shift) equal the line-buffer route bit for bit.
TEST(ThreeShears, InPlaceColumnMovesEqualTheLineBufferRoute) {
    for (int32_t method = 1; method <= 3; ++method) {
        for (double angle : {0.0, 0.3, -2.0, 2.9, 1.6}) {
            for (bool sameSize : {false, true}) {
                const std::vector<double> image = ramp(23, 17, 2);
                const ShearRun<double> a = runShears(image, 23, 17, 2, angle, sameSize, method, {1.5, -2.0});
                const ShearRun<double> b =
                    runShears(image, 23, 17, 2, angle, sameSize, method, {1.5, -2.0}, 0, 0, false);
                EXPECT_EQ(a.out, b.out) << method << " " << angle << " " << sameSize;
            }
        }
    }
}

TEST(ThreeShears, TooSmallWorkMemoryWritesOnlyTheFill) {
    const ShearRun<double> r = runShears(ramp(20, 30), 20, 30, 1, 0.7, false, 2, {4.0}, 10, 200);
    EXPECT_FALSE(r.fits);
    EXPECT_TRUE(r.guardsIntact);
    for (double v : r.out)
        EXPECT_EQ(v, 4.0);
}

TEST(ThreeShears, SinglePrecisionMatchesDoubleClosely) {
    std::vector<float> imageF(40 * 30);
    std::vector<double> imageD(40 * 30);
    for (size_t k = 0; k < imageF.size(); ++k)
        imageD[k] = imageF[k] = float(smooth(double(k % 40), double(k / 40)));
    const ShearRun<float> f = runShears(imageF, 40, 30, 1, 0.8, false, 3, {0.0f});
    const ShearRun<double> d = runShears(imageD, 40, 30, 1, 0.8, false, 3, {0.0});
    ASSERT_EQ(f.out.size(), d.out.size());
    for (size_t k = 0; k < f.out.size(); ++k)
        EXPECT_NEAR(f.out[k], d.out[k], 1e-4);
}

}  // namespace
