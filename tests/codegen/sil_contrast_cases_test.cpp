// Generated contrast adjustment code on images whose results are worked out by hand (the block's own
// worked examples and the clamping of an inverted range), and the configurations that generation refuses.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "cg/host_bridge.h"
#include "cg/sil.h"
#include "cg_test_util.h"
#include "sil_contrast_rig.h"

using cgcontrast::Array;
using cgcontrast::Config;

namespace {

const double kNaN = std::nan("");
const double kInf = INFINITY;

struct HandStep {
    std::vector<double> pixels;
    std::vector<double> expected;
    std::vector<double> fractions;  // changed before the step (double image, histogram mode)
};

struct HandCase {
    std::string name;
    Config config;
    std::vector<HandStep> steps;
    friend void PrintTo(const HandCase& c, std::ostream* os) { *os << c.name; }
};

std::vector<uint8_t> stored(const std::string& type, const std::vector<double>& v) {
    if (type == "double") return cgtest::bytesOf(v);
    std::vector<uint8_t> b;
    for (double x : v)
        b.push_back(type == "int8" ? uint8_t(int8_t(x)) : uint8_t(x));
    return b;
}

std::vector<double> readBack(const std::string& type, const std::vector<uint8_t>& b) {
    if (type == "double") return cgtest::valuesOf<double>(b);
    std::vector<double> v;
    for (uint8_t x : b)
        v.push_back(type == "int8" ? double(int8_t(x)) : double(x));
    return v;
}

std::vector<double> repeat(const std::vector<double>& v, size_t times) {
    std::vector<double> r;
    for (size_t k = 0; k < times; ++k)
        r.insert(r.end(), v.begin(), v.end());
    return r;
}

std::vector<double> withLast(std::vector<double> v, double last, size_t times = 1) {
    v.insert(v.end(), times, last);
    return v;
}

std::vector<HandCase> handCases() {
    const std::vector<double> ramp = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    return {
        // Histogram 1,1,...,1,2 over bins 0..8: saturating 10 % at each end gives [0, 8], slope 1/8;
        // 20 % at the dark end alone gives [1, 9]; no saturation leaves [0, 9].
        {"double_histogram_ramp",
         {{{2, Array::realVector({0.1, 0.1})}, {4, Array::scalar(9)}}, "double", {1, 10}},
         {{ramp, {0, 0.125, 0.25, 0.375, 0.5, 0.625, 0.75, 0.875, 1, 1}, {}},
          {ramp, {0, 0, 0.125, 0.25, 0.375, 0.5, 0.625, 0.75, 0.875, 1}, {0.2, 0}},
          {{0, 4, 8, 2, 0, 0, 0, 0, 0, 8}, {0, 0.5, 1, 0.25, 0, 0, 0, 0, 0, 1}, {0, 0}}}},
        // NaN pixels are not counted among those that saturate: trunc(8 x 0.1) = 0 pixels may saturate at
        // the bright end, so highIn stays 7 and the slope onto [0, 7] is 1 (with all 10 pixels counted,
        // one pixel would saturate and highIn would become 6).
        {"double_histogram_nan_count",
         {{{2, Array::realVector({0, 0.1})},
           {4, Array::scalar(7)},
           {5, Array::scalar(2)},
           {6, Array::realVector({0, 7})}},
          "double",
          {1, 10}},
         {{{0, 1, 2, 3, 4, 5, 6, 7, kNaN, kNaN}, {0, 1, 2, 3, 4, 5, 6, 7, 0, 0}, {}}}},
        // Infinite extremes give lowOut everywhere; a NaN pixel gives lowOut and does not decide the
        // extremes, also when it comes first.
        {"double_minmax_nan_inf",
         {{{0, Array::scalar(1)}, {5, Array::scalar(2)}, {6, Array::realVector({-1, 3})}}, "double", {1, 4}},
         {{{0, 1, kInf, 2}, {-1, -1, -1, -1}, {}},
          {{0, kNaN, 1, 2}, {-1, -1, 1, 3}, {}},
          {{kNaN, 4, 0, 2}, {-1, 3, -1, 1}, {}},
          {{-kInf, 1, 0, 2}, {-1, -1, -1, -1}, {}}}},
        // Saturating 3/8 and 7/16 of [3 5 7 10] with 12 bins (one per level, rounding "round": 1.5 and
        // 1.75 pixels become 2) narrows the range to the inverted [6, 5]; no pixel lies inside it. At or
        // below lowIn comes first, so 5 gives lowOut; 7 and 10 lie above both ends and give highOut.
        {"uint8_inverted_range",
         {{{2, Array::realVector({0.375, 0.4375})}, {4, Array::scalar(12)}, {13, Array::scalar(5)}},
          "uint8",
          {1, 4}},
         {{{3, 5, 7, 10}, {0, 0, 255, 255}, {}}}},
        // Table path: range [10, 30], slope 255/20 = 12.75; 20 maps to 127.5, to nearest 128 (ties up);
        // the extremes give lowOut and highOut.
        {"uint8_table_minmax",
         {{{0, Array::scalar(1)}}, "uint8", {1, 300}},
         {{repeat({10, 20, 30}, 100), repeat({0, 128, 255}, 100), {}}}},
        // 301 pixels: the last one is left over after the groups of four.
        {"uint8_table_minmax_left_over",
         {{{0, Array::scalar(1)}}, "uint8", {1, 301}},
         {{withLast(repeat({30, 20, 10}, 100), 20), withLast(repeat({255, 128, 0}, 100), 128), {}}}},
        // int8 over its full range [-128, 127] from [-100, 100]: the slope 255/200 = 1.275 kept with 32
        // fraction bits (nearest) is 5476083302 / 2^32, a little below 1.275, so 0 lies 127.4999999991 above
        // lowOut and rounds to -128 + 127 = -1 (with the exact slope it would round to 0).
        {"int8_table_minmax_slope_quantised",
         {{{0, Array::scalar(1)}}, "int8", {1, 303}},
         {{withLast(repeat({-100, 0, 100}, 100), 0, 3), withLast(repeat({-128, -1, 127}, 100), -1, 3), {}}}},
    };
}

}  // namespace

class ContrastHandValues : public ::testing::TestWithParam<HandCase> {};

TEST_P(ContrastHandValues, GeneratedCodeGivesTheWorkedValues) {
    const HandCase& c = GetParam();
    auto block = cgcontrast::startBlock(c.config);
    std::unique_ptr<TarnCG::CGHandle> h = TarnCG::makeHandle(*block, "contrast", "contrast");
    std::string error;
    ASSERT_TRUE(TarnCG::generateForBlock(*block, *h, &error)) << error;
    std::vector<CG::HarnessStep> steps;
    for (const HandStep& s : c.steps) {
        CG::HarnessStep step;
        step.inputs.push_back({stored(c.config.type, s.pixels), {}});
        if (!s.fractions.empty()) step.params[1] = cgtest::bytesOf(s.fractions);  // "FRAC_RTP"
        steps.push_back(step);
    }
    CG::HarnessOptions o;
    o.workDir = cgtest::workDir("contrast_hand_" + c.name);
    o.sanitize = true;
    CG::HarnessResult r = CG::buildAndRunSteps(h->unit(), steps, o);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.stepOutputs.size(), c.steps.size());
    for (size_t k = 0; k < c.steps.size(); ++k)
        EXPECT_EQ(readBack(c.config.type, r.stepOutputs[k][0].bytes), c.steps[k].expected) << "step " << k;
}

INSTANTIATE_TEST_SUITE_P(Worked, ContrastHandValues, ::testing::ValuesIn(handCases()),
                         [](const auto& info) { return info.param.name; });

namespace {

struct RefusedCase {
    std::string name;
    Config config;
    std::string reason;  // part of the message
    friend void PrintTo(const RefusedCase& c, std::ostream* os) { *os << c.name; }
};

std::vector<RefusedCase> refusedCases() {
    dravo::host::Settings logging;
    logging.minMaxOverflowLogging = 1;
    return {
        {"product1_96_bits",
         {{{8, Array::scalar(96)}, {9, Array::scalar(40)}}, "uint8", {4, 4}},
         "the Product 1 type has 96 bits"},
        {"product2_72_bits", {{{11, Array::scalar(72)}}, "int16", {4, 4}}, "the Product 2 type has 72 bits"},
        {"extended_input_65_bits", {{{0, Array::scalar(1)}}, "fixed:s64:10", {2, 2}}, "extended input"},
        {"logged_double", {{}, "double", {4, 4}, false, logging}, "not generated"},
        {"scaled_double", {{}, "scaled:s16:4", {4, 4}}, "not generated"},
        // Product 1 cannot hold the extended input exactly: its square of 64-bit words needs 128 bits.
        {"fraction_bits_lost_in_product1", {{{9, Array::scalar(0)}}, "fixed:s12:4", {4, 4}}, "needs 128-bit"},
        {"uint32_with_64_bit_products",
         {{{0, Array::scalar(1)}}, "uint32", {4, 4}},
         "does not hold the extended input"},
    };
}

}  // namespace

class ContrastRefused : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(ContrastRefused, GenerationFailsNamingTheBlockAndTheReason) {
    const RefusedCase& c = GetParam();
    std::unique_ptr<dravo::host::Block> block = cgcontrast::startBlock(c.config);
    std::unique_ptr<TarnCG::CGHandle> h = TarnCG::makeHandle(*block, "contrast", "contrast");
    std::string error;
    EXPECT_FALSE(TarnCG::generateForBlock(*block, *h, &error));
    EXPECT_NE(error.find("block 'contrast'"), std::string::npos) << error;
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(Bad, ContrastRefused, ::testing::ValuesIn(refusedCases()),
                         [](const auto& info) { return info.param.name; });
