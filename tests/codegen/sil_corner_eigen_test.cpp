// Generated code of the Harris and minimum-eigenvalue metrics against the simulation, bit for bit: double
// and single images (with NaN and +-Inf), 8- and 16-bit integer and fixed-point images with several role
// types and rounding and overflow modes, filters of 3, 5 and 7 taps, fixed and variable sizes, k changed
// between steps. Each configuration is one unit built with -Werror under UndefinedBehaviorSanitizer that
// runs all its steps.
#include "sil_corner_rig.h"

namespace {

using cgcorner::a;
using cgcorner::CornerCase;
using cgcorner::Scene;
using cgcorner::setRole;
using cgcorner::StepSpec;
using cornertest::filterParam;

const Scene kC = Scene::Corners, kN = Scene::Noise, kS = Scene::Specials, kK = Scene::Constant;

std::vector<StepSpec> floatSteps(bool harris) {
    std::vector<StepSpec> s = {{kC, {}, {}}, {kS, {}, {}}, {kN, {}, {}}, {kK, {}, {}}};
    if (harris) {
        s.push_back({kC, {}, {{1, a(0.2)}}});
        s.push_back({kS, {}, {{1, a(0.0625)}}});
    }
    return s;
}

std::vector<CornerCase> floatingCases() {
    std::vector<CornerCase> cs;
    for (const char* type : {"double", "single"}) {
        for (int method : {1, 2}) {
            CornerCase c;
            c.name = std::string(method == 1 ? "harris_" : "mineig_") + type;
            c.params = {{0, a(method)}};
            c.type = type;
            c.dims = {23, 19};
            c.steps = floatSteps(method == 1);
            cs.push_back(c);
        }
    }
    // Other filter lengths, and the smallest image (every padded position maps to the centre).
    CornerCase l3;
    l3.name = "harris_double_L3_3x3";
    l3.params = {{0, a(1)}, {2, filterParam({0.25, 0.5, 0.25})}};
    l3.dims = {3, 3};
    l3.steps = {{kN, {}, {}}, {kS, {}, {}}};
    cs.push_back(l3);
    CornerCase l7;
    l7.name = "mineig_single_L7";
    l7.params = {{0, a(2)}, {2, filterParam({0.02, 0.1, 0.2, 0.36, 0.2, 0.1, 0.02})}};
    l7.type = "single";
    l7.dims = {9, 14};
    l7.steps = {{kC, {}, {}}, {kN, {}, {}}};
    cs.push_back(l7);
    return cs;
}

// Sizes change every step, both dimensions and each alone, down to the smallest accepted (3 x 3).
std::vector<CornerCase> variableSizeCases() {
    CornerCase h;
    h.name = "harris_double_varsize";
    h.params = {{0, a(1)}};
    h.dims = {20, 17};
    h.variableSize = true;
    h.steps = {{kC, {20, 17}, {}}, {kS, {11, 17}, {}}, {kN, {11, 4}, {{1, a(0.11)}}},
               {kC, {3, 3}, {}},   {kC, {20, 17}, {}}, {kC, {20, 9}, {}}};
    CornerCase m = h;
    m.name = "mineig_single_varsize_L3";
    m.params = {{0, a(2)}, {2, filterParam({0.3, 0.4, 0.3})}};
    m.type = "single";
    for (auto& s : m.steps)
        s.changes.clear();
    return {h, m};
}

// Fixed-point configurations: every rounding mode appears on this path or the comparison's, each overflow
// mode several times, with narrow words that round and overflow and wide ones that need the 128-bit helpers.
std::vector<CornerCase> fixedCases() {
    std::vector<CornerCase> cs;
    {
        CornerCase c;  // wraps: products of 8-bit gradients in 16 bits overflow
        c.name = "harris_uint8_ceiling_wrap";
        c.params = {{0, a(1)}, {25, a(1)}, {26, a(1)}};
        setRole(c.params, 13, 18, 2);
        setRole(c.params, 16, 20, 3);
        setRole(c.params, 19, 16, 1);
        setRole(c.params, 22, 24, 0);
        c.type = "uint8";
        c.dims = {16, 13};
        c.steps = {{kC, {}, {}}, {kN, {}, {{1, a(0.15)}}}, {kS, {}, {}}};
        cs.push_back(c);
    }
    {
        CornerCase c;  // 64-bit words: exact intermediates beyond 64 bits
        c.name = "mineig_int16_convergent_saturate";
        c.params = {{0, a(2)}, {25, a(2)}, {26, a(2)}};
        setRole(c.params, 13, 64, 6);
        setRole(c.params, 16, 64, 10);
        setRole(c.params, 19, 60, 8);
        setRole(c.params, 22, 48, 3);
        c.type = "int16";
        c.dims = {12, 15};
        c.steps = {{kC, {}, {}}, {kS, {}, {}}, {kN, {}, {}}};
        c.portable = true;
        cs.push_back(c);
    }
    {
        CornerCase c;  // fixed-point image, metric output of the accumulator's type
        c.name = "harris_s16_10_floor_saturate";
        c.params = {{0, a(1)}, {25, a(3)}, {26, a(2)}, {22, a(4)}};
        setRole(c.params, 10, 12, 10);
        setRole(c.params, 13, 32, 10);
        setRole(c.params, 16, 32, 12);
        setRole(c.params, 19, 32, 12);
        c.type = "fixed:s16:10";
        c.dims = {11, 12};
        c.steps = {{kC, {}, {}}, {kN, {}, {{1, a(0.03125)}}}, {kS, {}, {}}};
        cs.push_back(c);
    }
    {
        CornerCase c;  // a square root narrower than memory (half the product word)
        c.name = "mineig_uint8_nearest_wrap";
        c.params = {{0, a(2)}, {25, a(4)}, {26, a(1)}};
        setRole(c.params, 13, 20, 0);
        setRole(c.params, 16, 24, 2);
        setRole(c.params, 19, 24, 2);
        setRole(c.params, 22, 16, 0);
        c.type = "uint8";
        c.dims = {10, 14};
        c.steps = {{kC, {}, {}}, {kS, {}, {}}};
        cs.push_back(c);
    }
    {
        CornerCase c;  // negative fraction lengths, round, same-as-input coefficients
        c.name = "harris_int16_round_saturate_varsize";
        c.params = {{0, a(1)}, {25, a(5)}, {26, a(2)}, {10, a(2)}};
        setRole(c.params, 13, 62, 0);
        setRole(c.params, 16, 40, -2);
        setRole(c.params, 19, 33, -2);
        setRole(c.params, 22, 32, -4);
        c.params[10] = a(2);
        c.type = "int16";
        c.dims = {14, 12};
        c.variableSize = true;
        c.steps = {{kC, {14, 12}, {}}, {kS, {6, 12}, {{1, a(0.2)}}}, {kN, {14, 5}, {}}};
        cs.push_back(c);
    }
    return cs;
}

class SilCornerEigen : public ::testing::TestWithParam<CornerCase> {};

TEST_P(SilCornerEigen, BitForBit) {
    cgcorner::runCase(GetParam());
}

std::string caseName(const ::testing::TestParamInfo<CornerCase>& i) {
    return i.param.name;
}

INSTANTIATE_TEST_SUITE_P(Floating, SilCornerEigen, ::testing::ValuesIn(floatingCases()), caseName);
INSTANTIATE_TEST_SUITE_P(VariableSize, SilCornerEigen, ::testing::ValuesIn(variableSizeCases()), caseName);
INSTANTIATE_TEST_SUITE_P(FixedPoint, SilCornerEigen, ::testing::ValuesIn(fixedCases()), caseName);

}  // namespace
