// The fixed-point engine at the dialog description's defaults: 8- and 16-bit images of random sizes,
// turned by random angles, stay within 2 levels of the floating-point engine on every pixel away from the
// image's edges. The defaults are read from the description file the command line uses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <random>
#include <sstream>

#include "block_support.h"
#include "dialogs.h"

using namespace rotatetest;

namespace {

std::map<int, Array> dialogDefaults() {
    std::ifstream file(DRAVO_ROTATE_DIALOG);
    std::stringstream text;
    text << file.rdbuf();
    const dravo::cli::DialogDescription d =
        dravo::cli::parseDialogDescription(text.str(), DRAVO_ROTATE_DIALOG);
    std::map<int, Array> set;
    for (const auto& p : d.parameters) {
        if (p.defaultValue.size() == 1)
            set[p.index] = Array::scalar(p.defaultValue.re[0]);
        else
            set[p.index] = Array::realVector(p.defaultValue.re);
    }
    return set;
}

// A smooth image over most of the type's range: at most about 2.5% of the range per pixel.
template <typename T>
std::vector<T> smoothImage(int32_t R, int32_t C, double top, uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> phase(0.0, 6.0);
    const double a = phase(rng), b = phase(rng);
    std::vector<T> v(size_t(R) * C);
    for (int32_t j = 0; j < C; ++j)
        for (int32_t i = 0; i < R; ++i)
            v[size_t(i + j * R)] =
                T(std::lround(top * (0.5 + 0.2 * std::sin(0.11 * i + a) + 0.2 * std::cos(0.07 * j + b))));
    return v;
}

template <typename T>
std::vector<double> run(const std::map<int, Array>& set, int32_t R, int32_t C, DataTypeId type,
                        const std::vector<T>& in, std::vector<int32_t>* dims) {
    auto b = makeBlock(set, {image({R, C}, type)});
    b->start();
    setInputValues(*b, 0, in);
    b->step();
    *dims = b->currentOutputDims(0);
    const std::vector<T> out = outputOf<T>(*b);
    return std::vector<double>(out.begin(), out.end());
}

// Pixels of the output whose 5 x 5 neighbourhood lies wholly inside or wholly outside the rotated image:
// found by turning an image of ones over a zero background with the floating-point engine.
std::vector<bool> awayFromEdges(const std::map<int, Array>& floatSet, int32_t R, int32_t C) {
    std::vector<int32_t> dims;
    const std::vector<double> ones(size_t(R) * C, 1.0);
    const std::vector<double> cover = run(floatSet, R, C, SS_DOUBLE, ones, &dims);
    const int32_t rows = dims[0], cols = dims[1];
    std::vector<bool> away(cover.size(), false);
    for (int32_t j = 2; j + 2 < cols; ++j) {
        for (int32_t i = 2; i + 2 < rows; ++i) {
            bool allIn = true, allOut = true;
            for (int32_t dj = -2; dj <= 2; ++dj)
                for (int32_t di = -2; di <= 2; ++di) {
                    const double v = cover[size_t(i + di + (j + dj) * rows)];
                    allIn = allIn && std::fabs(v - 1.0) < 1e-9;
                    allOut = allOut && std::fabs(v) < 1e-9;
                }
            away[size_t(i + j * rows)] = allIn || allOut;
        }
    }
    return away;
}

struct Kind {
    DataTypeId type;
    double top;
};

TEST(RotateFixDefaults, WithinTwoLevelsOfTheFloatingPointEngine) {
    const std::map<int, Array> defaults = dialogDefaults();
    ASSERT_EQ(defaults.size(), 22u);
    std::mt19937 rng(2026);
    std::uniform_int_distribution<int32_t> side(6, 48);
    std::uniform_real_distribution<double> turn(-4.0, 4.0);
    int compared = 0;
    for (const Kind kind : {Kind{SS_UINT8, 255.0}, Kind{SS_UINT16, 65535.0}}) {
        for (int n = 0; n < 60; ++n) {
            const int32_t R = side(rng), C = side(rng);
            const double angle = turn(rng);
            std::map<int, Array> set = defaults;
            set[2] = Array::scalar(angle);
            // The floating-point engine with the same sine table: only the fixed-point rounding differs.
            std::map<int, Array> floatSet = set;
            floatSet[5] = Array::scalar(2);
            std::vector<int32_t> fixDims, fltDims;
            std::vector<double> fix, flt;
            if (kind.type == SS_UINT8) {
                const auto in = smoothImage<uint8_t>(R, C, kind.top, uint32_t(n));
                fix = run(set, R, C, SS_UINT8, in, &fixDims);
                flt = run(floatSet, R, C, SS_DOUBLE, std::vector<double>(in.begin(), in.end()), &fltDims);
            } else {
                const auto in = smoothImage<uint16_t>(R, C, kind.top, uint32_t(n));
                fix = run(set, R, C, SS_UINT16, in, &fixDims);
                flt = run(floatSet, R, C, SS_DOUBLE, std::vector<double>(in.begin(), in.end()), &fltDims);
            }
            ASSERT_EQ(fixDims, fltDims);
            const std::vector<bool> away = awayFromEdges(floatSet, R, C);
            int wrong = 0;
            double worst = 0;
            for (size_t k = 0; k < fix.size(); ++k) {
                if (!away[k]) continue;
                const double err = std::fabs(fix[k] - std::clamp(flt[k], 0.0, kind.top));
                worst = std::max(worst, err);
                wrong += err > 2.0 ? 1 : 0;
            }
            EXPECT_EQ(wrong, 0) << "type " << kind.type << " " << R << "x" << C << " at " << angle
                                << ": worst " << worst;
            ++compared;
        }
    }
    EXPECT_EQ(compared, 120);
}

}  // namespace
