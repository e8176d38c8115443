// Tunable run-time parameters in one structure: a caller changes them between steps and the next step
// computes with the new values; the defaults are the simulation's values. Checked against values worked
// out by hand, through the multi-step harness and through a driver of our own.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "cg_test_util.h"

using namespace CG;
using cgtest::LambdaCtx;

namespace {

// y[i] = u[i] * Gain[0] + Offset[i] (double), with "Scale" a non-tunable parameter the code also reads.
struct GainUnit {
    BlockDesc d;
    std::unique_ptr<TarnCG::CGHandle> h;
    std::unique_ptr<LambdaCtx> ctx;

    explicit GainUnit(const std::string& name) {
        d.name = name;
        d.inputs.push_back(cgtest::signal(Type::doubleT(), {2}));
        d.outputs.push_back(cgtest::signal(Type::doubleT(), {2}));
        d.rtps.push_back(
            cgtest::data("Scale", Type::doubleT(), 1, cgtest::bytesOf(std::vector<double>{1.0})));
        d.rtps.push_back(
            cgtest::data("Gain", Type::doubleT(), 1, cgtest::bytesOf(std::vector<double>{0.25}), true));
        d.rtps.push_back(cgtest::data("Offset", Type::intT(true, 16), 2,
                                      cgtest::bytesOf(std::vector<int16_t>{1, 2}), true));
        h = std::make_unique<TarnCG::CGHandle>(d);
        ctx = std::make_unique<LambdaCtx>(h.get(), [](LambdaCtx& c) {
            CG::IdxRef i = c.localIdxVar("i");
            c.beginCFor(i, 0, 2, "");
            CG::NumRef u = c.getInputNumRefAsMatrix(0);
            CG::NumRef scale = c.getParamNumRef(0);
            CG::NumRef gain = c.getParamNumRef(1);
            CG::NumRef off = c.getParamNumRef(2);
            c.getOutputNumRefAsMatrix(0)(i) = u(i) * gain * scale + off(i);
            c.endCFor();
        });
    }
};

std::vector<uint8_t> doubles(std::vector<double> v) {
    return cgtest::bytesOf(v);
}

}  // namespace

TEST(Params, StructureListsEveryTunableParameterInOrder) {
    GainUnit g("plist");
    auto m = parameterStruct(g.d);
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[0].rtpIndex, 1);
    EXPECT_EQ(m[0].member, "Gain");
    EXPECT_EQ(m[0].cType, "double");
    EXPECT_EQ(m[0].bytes, 8u);
    EXPECT_EQ(m[1].member, "Offset");
    EXPECT_EQ(m[1].cType, "int16_t");
    EXPECT_EQ(m[1].count, 2);
    EXPECT_EQ(m[1].bytes, 4u);
    BlockDesc none;
    none.rtps.push_back(cgtest::data("x", Type::doubleT(), 1));
    EXPECT_TRUE(parameterStruct(none).empty());
}

TEST(Params, NamesThatAreNoIdentifiersOrRepeatAreMadeDistinctMembers) {
    BlockDesc d;
    d.rtps.push_back(cgtest::data("fill value", Type::doubleT(), 1, {}, true));
    d.rtps.push_back(cgtest::data("fill_value", Type::doubleT(), 1, {}, true));
    auto m = parameterStruct(d);
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[0].member, "fill_value");
    EXPECT_NE(m[1].member, m[0].member);
}

// A change holds until the next one; a step without a change keeps the last values.
TEST(Params, ChangesBetweenStepsReachTheNextStepAndHold) {
    GainUnit g("pchange");
    ASSERT_TRUE(g.ctx->constructCode());
    std::vector<HarnessStep> steps(4);
    steps[0].inputs = {{doubles({4, 8}), {}}};
    steps[1].inputs = {{doubles({4, 8}), {}}};
    steps[1].params[1] = doubles({3});
    steps[2].inputs = {{doubles({-1, 0.5}), {}}};
    steps[3].inputs = {{doubles({-1, 0.5}), {}}};
    steps[3].params[2] = cgtest::bytesOf(std::vector<int16_t>{-10, 20});
    HarnessOptions o;
    o.workDir = cgtest::workDir("pchange");
    o.sanitize = true;
    HarnessResult r = buildAndRunSteps(g.h->unit(), steps, o);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.stepOutputs.size(), 4u);
    EXPECT_EQ(cgtest::valuesOf<double>(r.stepOutputs[0][0].bytes), (std::vector<double>{2, 4}));
    EXPECT_EQ(cgtest::valuesOf<double>(r.stepOutputs[1][0].bytes), (std::vector<double>{13, 26}));
    EXPECT_EQ(cgtest::valuesOf<double>(r.stepOutputs[2][0].bytes), (std::vector<double>{-2, 3.5}));
    EXPECT_EQ(cgtest::valuesOf<double>(r.stepOutputs[3][0].bytes), (std::vector<double>{-13, 21.5}));
    EXPECT_EQ(r.outputs[0].bytes, r.stepOutputs[3][0].bytes);
}

TEST(Params, HarnessRefusesUnknownOrMisSizedParameterValues) {
    GainUnit g("prefuse");
    ASSERT_TRUE(g.ctx->constructCode());
    struct Case {
        int32_t index;
        std::vector<uint8_t> bytes;
        const char* fragment;
    } cases[] = {{0, doubles({2}), "not tunable"},
                 {7, doubles({2}), "not tunable"},
                 {1, doubles({2, 3}), "holds 8 bytes, 16 given"},
                 {2, doubles({1}), "holds 4 bytes, 8 given"}};
    for (const Case& c : cases) {
        std::vector<HarnessStep> steps(1);
        steps[0].inputs = {{doubles({1, 1}), {}}};
        steps[0].params[c.index] = c.bytes;
        HarnessOptions o;
        o.workDir = cgtest::workDir("prefuse");
        HarnessResult r = buildAndRunSteps(g.h->unit(), steps, o);
        EXPECT_FALSE(r.ok) << c.index;
        EXPECT_NE(r.error.find(c.fragment), std::string::npos) << r.error;
    }
}

// A caller of its own: its instance is read from the next step on, and NULL goes back to the defaults.
TEST(Params, SetterSwitchesInstancesAndNullRestoresTheDefaults) {
    GainUnit g("pown");
    ASSERT_TRUE(g.ctx->constructCode());
    std::string cc = findCCompiler();
    if (cc.empty()) GTEST_SKIP() << "no C compiler";
    namespace fs = std::filesystem;
    fs::path dir = cgtest::workDir("pown");
    std::string err;
    ASSERT_TRUE(writeUnit(g.h->unit(), dir.string(), &err)) << err;
    std::ofstream(dir / "own.c") << R"C(#include <stdio.h>
#include "pown.h"
int main(void)
{
    const double u[2] = {2.0, 4.0};
    double y[2];
    pown_params_t mine = pown_params_default;
    pown_start();
    pown_step(u, y);
    printf("%g %g\n", y[0], y[1]);
    mine.Gain[0] = 10.0;
    mine.Offset[1] = -7;
    pown_set_params(&mine);
    pown_step(u, y);
    printf("%g %g\n", y[0], y[1]);
    mine.Gain[0] = 0.5; /* the step reads the caller's instance itself */
    pown_step(u, y);
    printf("%g %g\n", y[0], y[1]);
    pown_set_params(NULL);
    pown_step(u, y);
    printf("%g %g\n", y[0], y[1]);
    pown_terminate();
    return pown_params == &pown_params_default ? 0 : 1;
}
)C";
    std::string cmd =
        cc + " -std=c99 -Wall -Wextra -Werror -fsanitize=undefined -fno-sanitize-recover=undefined -o " +
        (dir / "own").string() + " " + (dir / "own.c").string() + " " + (dir / "pown.c").string() + " " +
        (dir / "dravo_common.c").string() + " -lm > " + (dir / "own.out").string() + " 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    ASSERT_EQ(std::system(((dir / "own").string() + " > " + (dir / "own.out").string()).c_str()), 0);
    std::ifstream is(dir / "own.out");
    std::string out((std::istreambuf_iterator<char>(is)), std::istreambuf_iterator<char>());
    EXPECT_EQ(out, "1.5 3\n21 33\n2 -5\n1.5 3\n");
}

// A tunable parameter the target cannot hold is a generation error of the unit; asking for the layout
// alone reports nothing, so it does not spoil a later generation on the same thread.
TEST(Params, TunableOfAnUnsupportedTypeFailsTheUnitNotTheQuery) {
    BlockDesc d;
    d.name = "pwide";
    d.inputs.push_back(cgtest::signal(Type::doubleT(), {1}));
    d.outputs.push_back(cgtest::signal(Type::doubleT(), {1}));
    d.rtps.push_back(cgtest::data("Huge", Type::fixedT(true, 80, -3), 1, std::vector<uint8_t>(16, 0), true));
    ASSERT_EQ(parameterStruct(d).size(), 1u);
    TarnCG::CGHandle h(d);
    LambdaCtx ctx(&h, [](LambdaCtx& c) { c.getOutputNumRefAsMatrix(0)[0] = c.getInputNumRefAsMatrix(0)[0]; });
    ASSERT_TRUE(ctx.constructCode());
    std::string err;
    EXPECT_EQ(cgtest::emitText(h, &err), "");
    EXPECT_NE(err.find("above 64 bits"), std::string::npos) << err;
    GainUnit ok("pafter");
    ASSERT_TRUE(ok.ctx->constructCode());
    std::string err2;
    EXPECT_NE(cgtest::emitText(*ok.h, &err2), "") << err2;
}
