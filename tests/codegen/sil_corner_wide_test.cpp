// Generated code of the corner metric at the dialog's fixed-point defaults (product and memory s96 FL 28,
// accumulator s64 FL 28, metric output s64 FL -1, 16-bit best-precision coefficients) against the
// simulation, bit for bit: 8- and 16-bit integer images with Harris and minimum eigenvalue, 16- and 32-bit
// images with local intensity comparison, every rounding mode and both overflow modes, fixed and variable
// sizes, k, the threshold and the angle choice changed between steps. Rows marked portable also run with
// the two-word helpers forced. Also checked: 8-bit images at the defaults keep every quantity in 64-bit
// words, while 16-bit Harris and minimum eigenvalue hold their large metric temporaries in 128-bit words.
#include <fstream>
#include <sstream>

#include "sil_corner_rig.h"

namespace {

using cgcorner::a;
using cgcorner::CornerCase;
using cgcorner::Scene;
using cgcorner::StepSpec;

const Scene kC = Scene::Corners, kN = Scene::Noise, kS = Scene::Specials, kK = Scene::Constant;

// Rounding choices of the dialog: 1 ceiling, 2 convergent, 3 floor, 4 nearest (default), 5 round,
// 6 simplest, 7 zero. Overflow: 1 wrap, 2 saturate (default).
CornerCase eigenCase(const std::string& name, int method, const std::string& type, int rounding, int overflow,
                     bool variableSize, bool portable) {
    CornerCase c;
    c.name = name;
    c.params = {{0, a(method)}, {25, a(rounding)}, {26, a(overflow)}};
    c.type = type;
    c.dims = {14, 12};
    c.variableSize = variableSize;
    c.portable = portable;
    if (variableSize) {
        c.steps = {{kC, {14, 12}, {}}, {kS, {5, 12}, {}}, {kN, {14, 4}, {}}};
    } else {
        c.steps = {{kC, {}, {}}, {kS, {}, {}}, {kK, {}, {}}};
    }
    if (method == 1) {  // k changed between steps
        c.steps[1].changes = {{1, a(0.15)}};
        c.steps[2].changes = {{1, a(0.0625)}};
    }
    return c;
}

std::vector<CornerCase> eigenCases() {
    return {
        eigenCase("harris_uint8_defaults", 1, "uint8", 4, 2, false, false),
        eigenCase("mineig_uint8_ceiling_wrap_varsize", 2, "uint8", 1, 1, true, false),
        eigenCase("harris_int16_defaults", 1, "int16", 4, 2, false, true),
        eigenCase("mineig_int16_convergent_wrap_varsize", 2, "int16", 2, 1, true, true),
        eigenCase("harris_uint16_floor", 1, "uint16", 3, 2, false, false),
        eigenCase("mineig_int8_zero", 2, "int8", 7, 2, false, false),
    };
}

// Angle choices and thresholds changed on the way.
std::vector<StepSpec> licSteps(double t1, double t2) {
    return {{kC, {}, {}}, {kS, {}, {{4, a(3)}}}, {kN, {}, {{3, a(t1)}, {4, a(6)}}}, {kC, {}, {{3, a(t2)}}}};
}

std::vector<CornerCase> licCases() {
    CornerCase i16;
    i16.name = "lic_int16_simplest";
    i16.params = {{0, a(3)}, {3, a(900)}, {25, a(6)}};
    i16.type = "int16";
    i16.dims = {18, 16};
    i16.steps = licSteps(12000, 0);
    CornerCase i32 = i16;
    i32.name = "lic_int32_round_wrap_varsize";
    i32.params = {{0, a(3)}, {3, a(5e7)}, {25, a(5)}, {26, a(1)}};
    i32.type = "int32";
    i32.variableSize = true;
    i32.steps = {{kC, {18, 16}, {}}, {kS, {9, 16}, {{3, a(1e9)}}}, {kN, {18, 8}, {{4, a(2)}}}};
    i32.portable = true;
    return {i16, i32};
}

class SilCornerDefaults : public ::testing::TestWithParam<CornerCase> {};

TEST_P(SilCornerDefaults, BitForBit) {
    cgcorner::runCase(GetParam());
}

std::string caseName(const ::testing::TestParamInfo<CornerCase>& i) {
    return i.param.name;
}

INSTANTIATE_TEST_SUITE_P(Eigenvalue, SilCornerDefaults, ::testing::ValuesIn(eigenCases()), caseName);
INSTANTIATE_TEST_SUITE_P(Comparison, SilCornerDefaults, ::testing::ValuesIn(licCases()), caseName);

// What the generated unit holds its quantities in: 64-bit words where the image type keeps the values
// small, the wide helpers only where they are needed.
struct WordCase {
    std::string name;
    std::map<int, cornertest::Array> params;
    std::string type;
    bool wideHeader;                    // the unit includes the wide helpers
    std::vector<std::string> mentions;  // text the unit contains
    std::vector<std::string> absences;  // text it does not
};

class CornerDefaultWords : public ::testing::TestWithParam<WordCase> {};

TEST_P(CornerDefaultWords, NarrowestWordThatHolds) {
    const WordCase& p = GetParam();
    const DataTypeId id = *dravo::types::parseTypeName(p.type);
    auto block = cornertest::makeBlock(p.params, cornertest::image({12, 11}, id));
    block->start();
    std::unique_ptr<TarnCG::CGHandle> h = TarnCG::makeHandle(*block, "corner", "corner-metric");
    std::string err;
    ASSERT_TRUE(TarnCG::generateForBlock(*block, *h, &err)) << err;
    std::string c;
    bool wide = false;
    for (const CG::EmittedFile& f : CG::emitUnit(h->unit(), {})) {
        if (f.name == "corner.c") c = f.text;
        if (f.name == CG::wideHeaderName()) wide = true;
    }
    ASSERT_FALSE(c.empty());
    EXPECT_EQ(wide, p.wideHeader);
    for (const std::string& m : p.mentions)
        EXPECT_NE(c.find(m), std::string::npos) << "\"" << m << "\" missing";
    for (const std::string& m : p.absences)
        EXPECT_EQ(c.find(m), std::string::npos) << "\"" << m << "\" present";
}

std::vector<WordCase> wordCases() {
    return {
        // uint8 at the defaults: gradients within 9 bits, their products within 17, the metric's terms
        // within 35, all at fraction length 28: every quantity fits a 64-bit word (exact products such as
        // A*B still form 128-bit intermediates).
        {"harris_uint8",
         {{0, a(1)}},
         "uint8",
         true,
         {"static int64_t dw_DW_PAD", "int64_t memObj2", "int64_t accObj"},
         {"dvrt_wide "}},
        // The comparison sums of a uint8 image and the metric output: 64-bit helpers only.
        {"lic_uint8", {{0, a(3)}, {3, a(10)}}, "uint8", false, {"int64_t brightness"}, {"dvrt_w"}},
        // int16: (A+B)^2 reaches 2^66, 94 bits at fraction length 28; the pad buffer stays in 64 bits.
        {"harris_int16",
         {{0, a(1)}},
         "int16",
         true,
         {"dvrt_wide memObj2", "static int64_t dw_DW_PAD"},
         {"dvrt_wide dw_DW_PAD"}},
        // int16 minimum eigenvalue: (A-B)^2 and 4*D^2 in 128-bit words, the root and A+B in 64 bits.
        {"mineig_int16",
         {{0, a(2)}},
         "int16",
         true,
         {"dvrt_wide memObj2", "dvrt_wide memObj3", "int64_t memObj1", "int64_t memObj4"},
         {}},
    };
}

INSTANTIATE_TEST_SUITE_P(Defaults, CornerDefaultWords, ::testing::ValuesIn(wordCases()),
                         [](const ::testing::TestParamInfo<WordCase>& i) { return i.param.name; });

}  // namespace
