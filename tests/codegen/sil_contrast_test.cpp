// Generated code of the contrast adjustment block against its simulation, bit for bit, over several
// steps per configuration (one build each): every input-range mode and output-range mode; double,
// single, integer and fixed-point images with several product and fraction types; the look-up table;
// every rounding and overflow mode on the fixed-point path; fixed and variable-size inputs; tuned ranges
// and fractions between steps; images with NaN and +-Inf, constant images and spans beyond the largest
// floating value. Units build with -Werror under UndefinedBehaviorSanitizer (some also AddressSanitizer); every other configuration
// that needs 128-bit helpers uses the two-word ones.
#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "cg/sil.h"
#include "cg_test_util.h"
#include "sil_contrast_rig.h"

using cgcontrast::Array;
using cgcontrast::Config;
using cgcontrast::Image;

namespace {

Array v2(double a, double b) {
    return Array::realVector({a, b});
}

// Parameter indices.
enum { kMode = 0, kRange = 1, kFrac = 2, kBins = 4, kOutMode = 5, kOutRange = 6 };
enum { kP1Wl = 8, kP1Fl = 9, kP2Wl = 11, kP2Fl = 12, kRound = 13, kOvf = 14 };
// Rounding popup: 1 ceiling, 2 convergent, 3 floor, 4 nearest, 5 round, 6 simplest, 7 zero.
enum { kCeil = 1, kConvergent = 2, kFloor = 3, kNearest = 4, kRoundMode = 5, kSimplest = 6, kZero = 7 };
enum { kWrap = 1, kSaturate = 2 };

struct Step {
    Image image;
    std::vector<int32_t> dims;  // variable size: the current size (else the port's)
    std::vector<std::pair<int32_t, Array>> changes;
};

struct SweepCase {
    std::string name;
    Config config;
    std::vector<Step> steps;
    bool portable = false;  // 128-bit helpers as two 64-bit words
    friend void PrintTo(const SweepCase& c, std::ostream* os) { *os << c.name; }
};

std::map<int, Array> fixedModes(int rounding, int overflow, std::map<int, Array> more = {}) {
    // The "Fraction" type is chosen at start from the larger fraction: 0.45 leaves room for the tuned ones.
    if (!more.count(kFrac)) more[kFrac] = v2(0.05, 0.45);
    more[kRound] = Array::scalar(rounding);
    more[kOvf] = Array::scalar(overflow);
    return more;
}

std::vector<SweepCase> floatingCases() {
    std::vector<SweepCase> cs;
    const std::vector<Step> everyImage = {
        {Image::Random, {}, {}}, {Image::Special, {}, {}}, {Image::NaNs, {}, {}}, {Image::Constant, {}, {}},
        {Image::AllNaN, {}, {}}, {Image::Huge, {}, {}},    {Image::Ramp, {}, {}}};
    for (const char* type : {"double", "single"}) {
        const std::string t = type;
        cs.push_back({t + "_minmax_full", {{{kMode, Array::scalar(1)}}, t, {7, 9}}, everyImage});
        if (t == "double")
            cs.push_back({t + "_dialog_dialog",
                          {{{kMode, Array::scalar(2)},
                            {kRange, v2(-1, 2.5)},
                            {kOutMode, Array::scalar(2)},
                            {kOutRange, v2(0.1, 0.9)}},
                           t,
                           {6, 7}},
                          {{Image::Random, {}, {}},
                           {Image::Special, {}, {}},
                           {Image::Random, {}, {{kRange, v2(0.5, 0.75)}, {kOutRange, v2(1, -2)}}},
                           {Image::Huge, {}, {{kRange, v2(-1e30, 1e30)}}},
                           {Image::NaNs, {}, {{kRange, v2(0.25, 0.25)}}},
                           {Image::Random, {}, {{kRange, v2(0, 1)}, {kOutRange, v2(0.0, -0.0)}}}}});
        cs.push_back({t + "_histogram_full",
                      {{{kFrac, v2(0.1, 0.05)}, {kBins, Array::scalar(9)}}, t, {8, 8}},
                      {{Image::Random, {}, {}},
                       {Image::Special, {}, {}},
                       {Image::NaNs, {}, {{kFrac, v2(0.2, 0)}}},
                       {Image::Random, {}, {{kFrac, v2(0, 0.3)}}},
                       {Image::Huge, {}, {}},
                       {Image::Ramp, {}, {{kFrac, v2(0, 0)}}},
                       {Image::Narrow, {}, {{kFrac, v2(0.45, 0.45)}}},
                       {Image::Constant, {}, {}},
                       {Image::AllNaN, {}, {}},
                       {Image::Sparse, {}, {{kFrac, v2(0.375, 0.4375)}}}}});
        if (t == "single")
            cs.push_back({t + "_histogram_dialog_inverted",
                          {{{kBins, Array::scalar(256)}, {kOutMode, Array::scalar(2)}, {kOutRange, v2(1, 0)}},
                           t,
                           {1, 300}},
                          {{Image::Random, {}, {}},
                           {Image::Narrow, {}, {{kOutRange, v2(-4, 7.25)}}},
                           {Image::Special, {}, {{kFrac, v2(0.3, 0.1)}}},
                           {Image::Huge, {}, {}}}});
    }
    // The bin of a product just below 1/2 depends on the precision of the added 1/2.
    cs.push_back({"single_histogram_bin_edge",
                  {{{kBins, Array::scalar(2)}, {kFrac, v2(0, 0.2)}}, "single", {1, 5}},
                  {{Image::BinEdge, {}, {}}}});
    // Variable size: frames of several sizes, one pixel and none.
    cs.push_back({"double_histogram_variable",
                  {{{kFrac, v2(0.05, 0.2)}, {kBins, Array::scalar(17)}}, "double", {9, 12}, true},
                  {{Image::Random, {9, 12}, {}},
                   {Image::Special, {4, 7}, {}},
                   {Image::Random, {1, 1}, {}},
                   {Image::Random, {0, 3}, {}},
                   {Image::Ramp, {5, 2}, {{kFrac, v2(0.25, 0.25)}}}}});
    cs.push_back({"single_minmax_variable",
                  {{{kMode, Array::scalar(1)}}, "single", {20}, true},
                  {{Image::Random, {20}, {}}, {Image::NaNs, {7}, {}}, {Image::Random, {2}, {}}}});
    return cs;
}

std::vector<SweepCase> fixedCases() {
    std::vector<SweepCase> cs;
    const std::vector<Step> histogramSteps = {{Image::Random, {}, {}},
                                              {Image::Narrow, {}, {}},
                                              {Image::Constant, {}, {}},
                                              {Image::Random, {}, {{kFrac, v2(0.25, 0.125)}}},
                                              {Image::Ramp, {}, {{kFrac, v2(0, 0.4)}}},
                                              {Image::Narrow, {}, {{kFrac, v2(0.3, 0)}}},
                                              {Image::Sparse, {}, {{kFrac, v2(0.375, 0.4375)}}}};
    // Look-up table (8-bit words, more than 256 pixels).
    cs.push_back({"uint8_table_histogram_nearest_sat",
                  {fixedModes(kNearest, kSaturate), "uint8", {20, 20}},
                  histogramSteps});
    cs.push_back(
        {"uint8_table_minmax_dialog_floor_wrap_variable",
         {fixedModes(kFloor, kWrap,
                     {{kMode, Array::scalar(1)}, {kOutMode, Array::scalar(2)}, {kOutRange, v2(200, 20)}}),
          "uint8",
          {20, 20},
          true},
         {{Image::Random, {20, 20}, {}},
          {Image::Narrow, {13, 20}, {{kOutRange, v2(10, 250)}}},
          {Image::Random, {3, 5}, {}},
          {Image::Constant, {20, 20}, {}}}});
    cs.push_back(
        {"uint8_table_dialog_full_ceil_sat",
         {fixedModes(kCeil, kSaturate, {{kMode, Array::scalar(2)}, {kRange, v2(30, 220)}}), "uint8", {300}},
         {{Image::Random, {}, {}},
          {Image::Ramp, {}, {{kRange, v2(100, 101)}}},
          {Image::Random, {}, {{kRange, v2(7, 7)}}}}});
    cs.push_back({"int8_table_histogram_convergent_wrap_p1_s24",
                  {fixedModes(kConvergent, kWrap,
                              {{kBins, Array::scalar(50)},
                               {kP1Wl, Array::scalar(24)},
                               {kP1Fl, Array::scalar(12)},
                               {kP2Wl, Array::scalar(20)},
                               {kP2Fl, Array::scalar(10)}}),
                   "int8",
                   {17, 19}},
                  histogramSteps,
                  true});
    cs.push_back({"fixed_u6_table_histogram_bins_above_values",
                  {fixedModes(kRoundMode, kSaturate, {{kBins, Array::scalar(100)}, {kFrac, v2(0.1, 0.45)}}),
                   "fixed:u6:0",
                   {16, 20}},
                  histogramSteps});
    // Without the table.
    cs.push_back(
        {"uint8_small_histogram_round",
         {fixedModes(kRoundMode, kSaturate, {{kBins, Array::scalar(12)}, {kFrac, v2(0.375, 0.4375)}}),
          "uint8",
          {9, 9}},
         histogramSteps});
    cs.push_back({"int16_histogram_zero_wrap_narrow_products",
                  {fixedModes(kZero, kWrap,
                              {{kP1Wl, Array::scalar(32)},
                               {kP1Fl, Array::scalar(16)},
                               {kP2Wl, Array::scalar(16)},
                               {kP2Fl, Array::scalar(8)},
                               {kBins, Array::scalar(64)}}),
                   "int16",
                   {7, 9}},
                  histogramSteps});
    cs.push_back(
        {"int16_histogram_product2_6bit_wrap",
         {fixedModes(kNearest, kWrap,
                     {{kP2Wl, Array::scalar(6)}, {kP2Fl, Array::scalar(0)}, {kBins, Array::scalar(40)}}),
          "int16",
          {5, 11}},
         histogramSteps});
    cs.push_back(
        {"int16_minmax_dialog_ceil_sat",
         {fixedModes(
              kCeil, kSaturate,
              {{kMode, Array::scalar(1)}, {kOutMode, Array::scalar(2)}, {kOutRange, v2(-1000, 30000)}}),
          "int16",
          {6, 6}},
         {{Image::Random, {}, {}}, {Image::Narrow, {}, {{kOutRange, v2(5, -5)}}}, {Image::Constant, {}, {}}},
         true});
    cs.push_back(
        {"int32_histogram_simplest_sat_p1_s64_fl20",
         {fixedModes(kSimplest, kSaturate,
                     {{kP1Fl, Array::scalar(20)}, {kP2Fl, Array::scalar(24)}, {kBins, Array::scalar(1000)}}),
          "int32",
          {6, 5}},
         histogramSteps,
         true});
    cs.push_back({"uint32_minmax_full_round_wrap",
                  {fixedModes(kRoundMode, kWrap, {{kMode, Array::scalar(1)}, {kP1Fl, Array::scalar(28)}}),
                   "uint32",
                   {3, 7}},
                  {{Image::Random, {}, {}}, {Image::Narrow, {}, {}}}});
    cs.push_back({"fixed_s12_fl4_histogram_round_sat_p40",
                  {fixedModes(kRoundMode, kSaturate,
                              {{kP1Wl, Array::scalar(40)},
                               {kP1Fl, Array::scalar(24)},
                               {kP2Wl, Array::scalar(40)},
                               {kP2Fl, Array::scalar(20)},
                               {kBins, Array::scalar(30)}}),
                   "fixed:s12:4",
                   {8, 6}},
                  histogramSteps});
    cs.push_back(
        {"fixed_s20_flm2_minmax_dialog_floor_wrap",
         {fixedModes(
              kFloor, kWrap,
              {{kMode, Array::scalar(1)}, {kOutMode, Array::scalar(2)}, {kOutRange, v2(-4000, 100000)}}),
          "fixed:s20:-2",
          {5, 5}},
         {{Image::Random, {}, {}}, {Image::Narrow, {}, {}}}});
    cs.push_back({"fixed_u10_fl3_histogram_convergent_p1_narrow_twostep",
                  {fixedModes(kConvergent, kSaturate,
                              {{kP1Wl, Array::scalar(16)},
                               {kP1Fl, Array::scalar(2)},
                               {kP2Wl, Array::scalar(24)},
                               {kP2Fl, Array::scalar(1)},
                               {kBins, Array::scalar(8)}}),
                   "fixed:u10:3",
                   {10, 4}},
                  histogramSteps});
    cs.push_back({"int16_histogram_variable",
                  {fixedModes(kNearest, kSaturate, {{kBins, Array::scalar(20)}}), "int16", {8, 8}, true},
                  {{Image::Random, {8, 8}, {}},
                   {Image::Narrow, {3, 8}, {{kFrac, v2(0.2, 0.2)}}},
                   {Image::Random, {1, 1}, {}},
                   {Image::Random, {6, 2}, {}}}});
    return cs;
}

// The pixel scans that go in groups of four (the extremes, the table lookup) with pixel counts that leave
// 0 to 3 pixels over; 7- and 8-bit tables, 8- and 16-bit images with and without fraction bits.
std::vector<SweepCase> groupedCases() {
    std::vector<SweepCase> cs;
    cs.push_back(
        {"int8_table_minmax_dialog_convergent_wrap_variable",
         {fixedModes(kConvergent, kWrap,
                     {{kMode, Array::scalar(1)}, {kOutMode, Array::scalar(2)}, {kOutRange, v2(-100, 90)}}),
          "int8",
          {20, 20},
          true},
         {{Image::Random, {20, 20}, {}},
          {Image::Random, {1, 1}, {}},
          {Image::Ramp, {3, 1}, {{kOutRange, v2(120, -120)}}},
          {Image::Narrow, {7, 9}, {}},
          {Image::Random, {2, 1}, {{kOutRange, v2(-128, 127)}}},
          {Image::Sparse, {5, 2}, {}}}});
    cs.push_back({"fixed_s7_table_histogram_floor_sat_odd",
                  {fixedModes(kFloor, kSaturate, {{kBins, Array::scalar(90)}}), "fixed:s7:0", {15, 19}},
                  {{Image::Random, {}, {}},
                   {Image::Narrow, {}, {{kFrac, v2(0.2, 0.1)}}},
                   {Image::Ramp, {}, {{kFrac, v2(0, 0.3)}}}},
                  true});
    cs.push_back(
        {"uint16_minmax_dialog_round_sat_variable",
         {fixedModes(kRoundMode, kSaturate,
                     {{kMode, Array::scalar(1)}, {kOutMode, Array::scalar(2)}, {kOutRange, v2(1000, 60000)}}),
          "uint16",
          {8, 8},
          true},
         {{Image::Random, {5, 7}, {}},
          {Image::Narrow, {3, 1}, {{kOutRange, v2(65535, 0)}}},
          {Image::Random, {1, 1}, {}},
          {Image::Random, {8, 8}, {}},
          {Image::Ramp, {2, 3}, {}}},
         true});
    cs.push_back(
        {"fixed_s8_fl3_histogram_nearest_wrap",
         {fixedModes(kNearest, kWrap, {{kBins, Array::scalar(40)}}), "fixed:s8:3", {9, 9}},
         {{Image::Random, {}, {}}, {Image::Narrow, {}, {}}, {Image::Sparse, {}, {{kFrac, v2(0.3, 0.2)}}}}});
    cs.push_back({"fixed_u16_fl5_dialog_minmax_ceil_sat",
                  {fixedModes(kCeil, kSaturate, {{kMode, Array::scalar(2)}, {kRange, v2(100, 1500.5)}}),
                   "fixed:u16:5",
                   {5, 7}},
                  {{Image::Random, {}, {}},
                   {Image::Ramp, {}, {{kRange, v2(0.25, 3)}}},
                   {Image::Random, {}, {{kRange, v2(2000, 2000)}}}}});
    return cs;
}

size_t count(const std::vector<int32_t>& dims) {
    size_t n = 1;
    for (int32_t d : dims)
        n *= size_t(d);
    return n;
}

// The cases also built with AddressSanitizer (each such build costs about twice an ordinary one).
const std::set<std::string> kAddressChecked = {
    "uint8_table_histogram_nearest_sat", "double_histogram_variable", "int16_histogram_product2_6bit_wrap",
    "fixed_u6_table_histogram_bins_above_values", "int8_table_minmax_dialog_convergent_wrap_variable"};

void runCase(const SweepCase& c) {
    auto block = cgcontrast::startBlock(c.config);
    std::vector<TarnCG::SilStep> steps;
    uint32_t seed = 1;
    for (const Step& s : c.steps) {
        TarnCG::SilStep step;
        const std::vector<int32_t>& dims = c.config.variableSize ? s.dims : c.config.dims;
        step.inputs.push_back({cgcontrast::image(c.config.type, count(dims), s.image, seed++),
                               c.config.variableSize ? dims : std::vector<int32_t>{}});
        for (const auto& [index, value] : s.changes)
            step.paramChanges.push_back({index, value});
        steps.push_back(std::move(step));
    }
    CG::HarnessOptions o;
    o.workDir = cgtest::workDir("contrast_" + c.name);
    o.sanitize = true;
    o.portableInt = c.portable;
    // Out-of-bounds accesses of the generated step, where indices come from data (bins, table, counts,
    // current sizes), also in a build without sanitizers.
    if (kAddressChecked.count(c.name)) o.extraFlags = {"-fsanitize=address"};
    TarnCG::SilResult r = TarnCG::runSilSteps(*block, "contrast", "contrast", steps, o);
    EXPECT_TRUE(r.ran && r.identical) << r.verdict();
    EXPECT_EQ(r.steps, int32_t(c.steps.size()));
}

}  // namespace

class ContrastSil : public ::testing::TestWithParam<SweepCase> {};

TEST_P(ContrastSil, GeneratedCodeMatchesSimulation) {
    runCase(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Floating, ContrastSil, ::testing::ValuesIn(floatingCases()),
                         [](const auto& info) { return info.param.name; });
INSTANTIATE_TEST_SUITE_P(FixedPoint, ContrastSil, ::testing::ValuesIn(fixedCases()),
                         [](const auto& info) { return info.param.name; });
INSTANTIATE_TEST_SUITE_P(Grouped, ContrastSil, ::testing::ValuesIn(groupedCases()),
                         [](const auto& info) { return info.param.name; });
