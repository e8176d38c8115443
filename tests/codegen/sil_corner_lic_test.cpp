// Generated code of the local intensity comparison metric against the simulation, bit for bit: double and
// single images (with NaN, +-Inf and values beyond the single range), uint8, int16 and fixed-point images
// with several accumulator and output types, rounding and overflow modes, fixed and variable sizes, the
// threshold and the angle choice changed between steps. Also: a variable-size step below the smallest size
// is caught by the emitted check as the simulation refuses it, and configurations the generated code
// cannot hold are refused at generation, naming the role.
#include "sil_corner_rig.h"

namespace {

using cgcorner::a;
using cgcorner::CornerCase;
using cgcorner::Scene;
using cgcorner::setRole;
using cgcorner::StepSpec;

const Scene kC = Scene::Corners, kN = Scene::Noise, kS = Scene::Specials, kK = Scene::Constant,
            kX = Scene::Crafted;

// Angle choices 7 (A = 9) down to 1 (A = 15), thresholds changed on the way.
std::vector<StepSpec> tunedSteps(double t1, double t2) {
    return {{kC, {}, {}},
            {kS, {}, {}},
            {kX, {}, {}},
            {kC, {}, {{4, a(3)}}},
            {kC, {}, {{3, a(t1)}, {4, a(5)}}},
            {kS, {}, {{4, a(1)}}},
            {kN, {}, {{3, a(t2)}, {4, a(7)}}},
            {kK, {}, {}}};
}

std::vector<CornerCase> floatingCases() {
    std::vector<CornerCase> cs;
    for (const char* type : {"double", "single"}) {
        CornerCase c;
        c.name = std::string("lic_") + type;
        c.params = {{0, a(3)}, {3, a(0.05)}};
        c.type = type;
        c.dims = {26, 23};
        c.steps = tunedSteps(0.3, 0.0);
        cs.push_back(c);
    }
    CornerCase v;
    v.name = "lic_double_varsize";
    v.params = {{0, a(3)}, {3, a(0.05)}};
    v.dims = {24, 21};
    v.variableSize = true;
    v.steps = {{kC, {24, 21}, {}},
               {kS, {7, 7}, {}},
               {kC, {13, 21}, {{4, a(4)}}},
               {kS, {24, 8}, {}},
               {kC, {24, 21}, {}}};
    cs.push_back(v);
    return cs;
}

std::vector<CornerCase> fixedCases() {
    std::vector<CornerCase> cs;
    {
        // The dialog's fixed-point defaults (accumulator s64:28, output s64:-1): the sums and the output
        // take 64-bit words and helpers only.
        CornerCase c;
        c.name = "lic_uint8_defaults";
        c.params = {{0, a(3)}, {3, a(12)}};
        c.type = "uint8";
        c.dims = {25, 22};
        c.steps = tunedSteps(40, 0);
        cs.push_back(c);
    }
    {
        CornerCase c;  // sums that wrap in 18 bits, a whole int16 metric (built-in output type)
        c.name = "lic_int16_simplest_wrap";
        c.params = {{0, a(3)}, {3, a(3000)}, {25, a(6)}, {26, a(1)}};
        setRole(c.params, 16, 18, 0);
        setRole(c.params, 22, 16, 0);
        c.type = "int16";
        c.dims = {20, 19};
        c.steps = tunedSteps(16000, 5);
        cs.push_back(c);
    }
    {
        CornerCase c;  // sums that round (accumulator coarser than the image) and saturate
        c.name = "lic_s16_8_zero_saturate";
        c.params = {{0, a(3)}, {3, a(2.5)}, {25, a(7)}, {26, a(2)}};
        setRole(c.params, 16, 14, 3);
        setRole(c.params, 22, 12, 1);
        c.type = "fixed:s16:8";
        c.dims = {19, 18};
        c.steps = tunedSteps(30.25, 0.00390625);
        cs.push_back(c);
    }
    {
        CornerCase c;  // unsigned fixed-point image, variable size, ceiling
        c.name = "lic_u12_4_ceiling_varsize";
        c.params = {{0, a(3)}, {3, a(9.5)}, {25, a(1)}, {26, a(2)}};
        setRole(c.params, 16, 20, 2);
        setRole(c.params, 22, 16, 1);
        c.type = "fixed:u12:4";
        c.dims = {18, 20};
        c.variableSize = true;
        c.steps = {{kC, {18, 20}, {}}, {kS, {9, 20}, {{3, a(60)}}}, {kN, {18, 7}, {{4, a(2)}}}};
        cs.push_back(c);
    }
    return cs;
}

class SilCornerLic : public ::testing::TestWithParam<CornerCase> {};

TEST_P(SilCornerLic, BitForBit) {
    cgcorner::runCase(GetParam());
}

std::string caseName(const ::testing::TestParamInfo<CornerCase>& i) {
    return i.param.name;
}

INSTANTIATE_TEST_SUITE_P(Floating, SilCornerLic, ::testing::ValuesIn(floatingCases()), caseName);
INSTANTIATE_TEST_SUITE_P(FixedPoint, SilCornerLic, ::testing::ValuesIn(fixedCases()), caseName);

}  // namespace
