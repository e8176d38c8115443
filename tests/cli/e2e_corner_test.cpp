// The corner metric's local intensity comparison from the command line, on images whose metric follows by
// hand from the definition: a single bright pixel on a dark background.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "e2e_support.h"

using namespace dravo::test;

namespace {

constexpr int kSide = 9;
constexpr int kCentre = 4 + 4 * kSide;  // column-major index of the middle pixel

// The only bright pixel's circle is all darker by more than the threshold: the dark test adds 16 terms of
// (p - t - 0) one after another; every other pixel sees at most one brighter circle pixel, no corner arc.
double sixteenTermsOf(double term) {
    double sum = 0;
    for (int k = 0; k < 16; ++k)
        sum += term;
    return sum;
}

template <class T>
std::vector<uint8_t> brightPixelImage(T value) {
    std::vector<T> v(kSide * kSide, T(0));
    v[kCentre] = value;
    return bytesOf(v);
}

}  // namespace

struct BrightPixelCase {
    const char* name;
    const char* descr;
    std::vector<uint8_t> image;
    std::vector<std::string> extra;
    const char* outDescr;
    double centre;  // the metric as the file holds it
};

TEST(E2eCorner, LocalIntensityComparisonOfOneBrightPixel) {
    const std::vector<BrightPixelCase> cases = {
        {"double, method by label",
         "<f8",
         brightPixelImage<double>(1.0),
         {"-s", "method=local intensity comparison"},
         "<f8",
         sixteenTermsOf(1.0 - 0.1)},
        {"single",
         "<f4",
         brightPixelImage<float>(1.0f),
         {"-s", "method=3"},
         "<f4",
         // single arithmetic throughout: the term and every partial sum rounded to single
         [] {
             float s = 0, term = float(1.0f - 0.1f);
             for (int k = 0; k < 16; ++k)
                 s = s + term;
             return double(s);
         }()},
        // uint8: 16 x (200 - 10) = 3040 in the metric output type s64 with fraction length -1, stored 1520.
        {"uint8 stored",
         "|u1",
         brightPixelImage<uint8_t>(200),
         {"-s", "method=3", "-s", "threshold=10"},
         "<i8",
         1520},
        {"uint8 real-world",
         "|u1",
         brightPixelImage<uint8_t>(200),
         {"-s", "method=3", "-s", "threshold=10", "--real-world"},
         "<f8",
         3040},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        writeFile(dir / "x.npy", npyBytes(c.descr, true, "(9, 9)", c.image));
        std::vector<std::string> args = {"run", "corner-metric",         "-i", (dir / "x.npy").string(),
                                         "-o",  (dir / "y.npy").string()};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        auto r = runDravo(args);
        ASSERT_EQ(r.status, 0) << r.err;
        NpyFile y = parseNpyFile(readFile(dir / "y.npy"));
        ASSERT_EQ(y.descr, c.outDescr);
        ASSERT_EQ(y.shape, "(9, 9)");
        std::vector<double> values;
        if (y.descr == "<f8")
            values = valuesOf<double>(y.data);
        else if (y.descr == "<f4")
            for (float f : valuesOf<float>(y.data))
                values.push_back(f);
        else
            for (int64_t s : valuesOf<int64_t>(y.data))
                values.push_back(double(s));
        ASSERT_EQ(values.size(), size_t(kSide * kSide));
        // Stored as a column-major file or not, the bright pixel is the middle one either way.
        for (size_t i = 0; i < values.size(); ++i)
            EXPECT_EQ(values[i], i == size_t(kCentre) ? c.centre : 0.0) << "element " << i;
    }
}

TEST(E2eCorner, LocalIntensityComparisonRefusals) {
    struct Case {
        const char* name;
        std::string shape;
        int cells;
        std::vector<std::string> extra;
        const char* messageClass;
    };
    const std::vector<Case> cases = {
        {"image below 7x7", "(6, 6)", 36, {}, "vision::system::inputDimsWrong"},
        {"negative threshold", "(9, 9)", 81, {"-s", "threshold=-1"}, "dspshared::system::paramOutOfRange"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        writeFile(dir / "x.npy", npyBytes("<f8", true, c.shape, bytesOf(std::vector<double>(c.cells, 0.5))));
        std::vector<std::string> args = {"run", "corner-metric",          "-s", "method=3",
                                         "-i",  (dir / "x.npy").string(), "-o", (dir / "y.npy").string()};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        auto r = runDravo(args);
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(isOneErrorLine(r.err, c.messageClass)) << r.err;
        EXPECT_FALSE(std::filesystem::exists(dir / "y.npy"));
    }
}
