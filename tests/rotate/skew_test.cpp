// Skew routines against a per-position reference written straight from the definition: position p reads
// the source line at x = p - shift; nearest takes round-half-up, bilinear and bicubic weigh the taps
// around x, counting samples outside the line as the fill value, and give the fill value where too few
// taps lie in the line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "pellor/skew.h"

using namespace pellor;

namespace {

double cubicRef(double d) {
    d = std::fabs(d);
    if (d < 1) return 1.0 - 2.0 * d * d + d * d * d;
    if (d < 2) return 4.0 - 8.0 * d + 5.0 * d * d - d * d * d;
    return 0.0;
}

// The value of destination position p, or nullopt-as-NaN when the position takes the fill value.
double referenceAt(int method, const std::vector<double>& line, double shift, int p, double fill) {
    const int n = static_cast<int>(line.size());
    auto at = [&](long k) { return (k >= 0 && k < n) ? line[size_t(k)] : fill; };
    const double x = p - shift;
    const double fl = std::floor(x);
    if (method == 1 || x == fl) {
        const long k = method == 1 ? long(p - std::floor(shift + 0.5)) : long(fl);
        return at(k);
    }
    const long k = long(fl);
    const double u = x - fl;
    if (method == 2) {
        const int inLine = (k >= 0 && k < n) + (k + 1 >= 0 && k + 1 < n);
        if (inLine == 0) return fill;
        return (1 - u) * at(k) + u * at(k + 1);
    }
    int inLine = 0;
    double sum = 0;
    for (long t = k - 1; t <= k + 2; ++t) {
        inLine += (t >= 0 && t < n);
        sum += cubicRef(x - double(t)) * at(t);
    }
    return inLine >= 2 ? sum : fill;
}

struct SkewCase {
    int method;
    int srcLen, dstLen;
    double shift;
    int firstPos;
};

class SkewAgainstReference : public ::testing::TestWithParam<SkewCase> {};

TEST_P(SkewAgainstReference, MatchesDefinitionWithStrides) {
    const SkewCase c = GetParam();
    const double fill = -7.25;
    std::vector<double> line(size_t(c.srcLen));
    for (int k = 0; k < c.srcLen; ++k)
        line[size_t(k)] = std::sin(0.7 * k) * 10 + k;
    // The source lives every 3rd element from offset 2; the destination every 2nd from offset 1.
    const int srcStride = 3, dstStride = 2, srcStart = 2, dstStart = 1;
    std::vector<double> src(size_t(srcStart + 3 * std::max(c.srcLen, 1) + 3), 999.0);
    for (int k = 0; k < c.srcLen; ++k)
        src[size_t(srcStart + k * srcStride)] = line[size_t(k)];
    const int p0 = std::max(c.firstPos, 0);
    const int written = std::max(c.dstLen - p0, 0);
    std::vector<double> dst(size_t(dstStart + dstStride * written + 2), 555.0);
    skewForMethod<double>(c.method)(src.data(), srcStart, c.srcLen, c.dstLen, c.shift, srcStride, dstStride,
                                    dst.data(), dstStart, c.firstPos, fill);
    for (int p = p0; p < c.dstLen; ++p) {
        const double expected = referenceAt(c.method, line, c.shift, p, fill);
        EXPECT_NEAR(dst[size_t(dstStart + (p - p0) * dstStride)], expected, 1e-12)
            << "method " << c.method << " shift " << c.shift << " p " << p;
    }
    // Nothing outside the written positions changes.
    EXPECT_EQ(dst[0], 555.0);
    for (size_t k = 0; k < dst.size(); ++k) {
        const long rel = long(k) - dstStart;
        if (rel < 0 || rel % dstStride != 0 || rel / dstStride >= written) {
            EXPECT_EQ(dst[k], 555.0) << k;
        }
    }
}

std::vector<SkewCase> skewCases() {
    std::vector<SkewCase> cases;
    const double shifts[] = {0.0,  -0.0, 0.25,  0.5, 0.75, 1.0,  2.5,   -2.5, 3.3,
                             -3.3, -0.4, 0.999, 7.0, -7.0, 11.6, -11.6, 25.0, -25.0};
    for (int method = 1; method <= 3; ++method) {
        for (int srcLen : {0, 1, 2, 3, 4, 9}) {
            for (double shift : shifts) {
                for (int firstPos : {0, 2, -3})
                    cases.push_back({method, srcLen, 14, shift, firstPos});
            }
        }
    }
    return cases;
}

// A line preceded by `offset` fill samples, worked in pieces of a few positions, gives bit for bit the
// whole-line result with the fill samples written out.
TEST_P(SkewAgainstReference, PiecesWithAnImpliedOffsetEqualTheWholeLine) {
    const SkewCase c = GetParam();
    const double fill = 2.5;
    const int offset = 3;
    std::vector<double> line(size_t(c.srcLen));
    for (int k = 0; k < c.srcLen; ++k)
        line[size_t(k)] = std::cos(0.3 * k) * 5 - k;
    std::vector<double> padded(size_t(offset), fill);
    padded.insert(padded.end(), line.begin(), line.end());
    const int ld = c.dstLen + offset;
    std::vector<double> whole(size_t(ld), -1.0), pieces(size_t(ld), -1.0);
    skewForMethod<double>(c.method)(padded.data(), 0, int(padded.size()), ld, c.shift, 1, 1, whole.data(), 0,
                                    0, fill);
    const SkewAtFcn<double> at = skewAtForMethod<double>(c.method);
    for (int p0 = 0; p0 < ld; p0 += 4) {
        const int p1 = std::min(ld, p0 + 4);
        // The line read backwards from its last sample exercises a negative step as well.
        std::vector<double> reversed(line.rbegin(), line.rend());
        at(reversed.data(), std::max(c.srcLen - 1, 0), c.srcLen, p1, c.shift, offset, ld, -1, 1,
           pieces.data(), p0, p0, fill);
    }
    for (int p = 0; p < ld; ++p)
        EXPECT_EQ(std::memcmp(&whole[size_t(p)], &pieces[size_t(p)], sizeof(double)), 0) << p;
}

INSTANTIATE_TEST_SUITE_P(AllMethods, SkewAgainstReference, ::testing::ValuesIn(skewCases()));

TEST(SkewNearest, HalfShiftsRoundUp) {
    const std::vector<double> src = {1, 2, 3, 4, 5, 6, 7, 8};
    std::vector<double> dst(8);
    skewNearest<double>(src.data(), 0, 8, 8, 2.5, 1, 1, dst.data(), 0, 0, 0.0);
    EXPECT_EQ(dst, (std::vector<double>{0, 0, 0, 1, 2, 3, 4, 5}));  // moved by 3
    skewNearest<double>(src.data(), 0, 8, 8, -2.5, 1, 1, dst.data(), 0, 0, 0.0);
    EXPECT_EQ(dst, (std::vector<double>{3, 4, 5, 6, 7, 8, 0, 0}));  // moved by -2
}

TEST(SkewBicubic, WeightsAtHalfSumToOne) {
    const BicubicTaps<double> t = bicubicTaps(0.5, 100);
    EXPECT_DOUBLE_EQ(t.w[0], -0.125);
    EXPECT_DOUBLE_EQ(t.w[1], 0.625);
    EXPECT_DOUBLE_EQ(t.w[2], 0.625);
    EXPECT_DOUBLE_EQ(t.w[3], -0.125);
    const BicubicTaps<float> f = bicubicTaps(-1.25f, 100);
    EXPECT_NEAR(f.w[0] + f.w[1] + f.w[2] + f.w[3], 1.0f, 1e-6f);
}

TEST(SkewBilinear, EdgeWeightsFollowTheShiftSign) {
    // Positive shift 1.25: position 1 is the first partly covered one (0.25 on the fill, 0.75 on src[0]).
    const std::vector<float> src = {8, 4};
    std::vector<float> dst(5, -1);
    skewBilinear<float>(src.data(), 0, 2, 5, 1.25f, 1, 1, dst.data(), 0, 0, 100.0f);
    EXPECT_FLOAT_EQ(dst[0], 100.0f);
    EXPECT_FLOAT_EQ(dst[1], 0.25f * 100 + 0.75f * 8);
    EXPECT_FLOAT_EQ(dst[2], 0.25f * 8 + 0.75f * 4);
    EXPECT_FLOAT_EQ(dst[3], 0.25f * 4 + 0.75f * 100);
    EXPECT_FLOAT_EQ(dst[4], 100.0f);
}

TEST(SkewFill, ZeroFillClearsAndNegativeZeroIsKept) {
    const std::vector<double> src = {1, 2};
    std::vector<double> dst(6, 9.0);
    skewNearest<double>(src.data(), 0, 2, 6, 10.0, 1, 1, dst.data(), 0, 0, -0.0);
    for (double v : dst)
        EXPECT_TRUE(v == 0.0 && std::signbit(v));
}

}  // namespace
