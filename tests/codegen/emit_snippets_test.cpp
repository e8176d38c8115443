// Small golden snippets of the emitter's constructs: each test builds a few IR statements and checks the
// lines they become (not whole files, so formatting elsewhere can change freely).
#include <gtest/gtest.h>

#include "cg_test_util.h"

using namespace CG;
using cgtest::LambdaCtx;

namespace {

Type f64() {
    return Type::doubleT();
}
Type i32() {
    return Type::intT(true, 32);
}

std::string emitWith(const LambdaCtx::Body& body, BlockDesc desc = {}) {
    if (desc.name.empty()) desc.name = "blk";
    if (desc.inputs.empty()) desc.inputs.push_back(cgtest::signal(f64(), {4}));
    if (desc.outputs.empty()) desc.outputs.push_back(cgtest::signal(f64(), {4}));
    TarnCG::CGHandle h(desc);
    LambdaCtx ctx(&h, body);
    EXPECT_TRUE(ctx.constructCode()) << h.diagnostics().error().message();
    std::string err;
    std::string text = cgtest::emitText(h, &err);
    EXPECT_TRUE(err.empty()) << err;
    return text;
}

void expectContains(const std::string& text, const std::string& snippet) {
    EXPECT_NE(text.find(snippet), std::string::npos) << "missing:\n" << snippet << "\nin:\n" << text;
}

}  // namespace

TEST(EmitSnippets, ForLoopWithCommentAndNamedLocals) {
    std::string t = emitWith([](LambdaCtx& c) {
        CG::IdxRef j = c.localIdxVar("j");
        CG::IdxRef inColLength = c.localIdxVar("inColLength");
        inColLength = 4;
        c.beginCFor(j, 0, inColLength, "Copy a column from input to output array.");
        c.getOutputNumRefAsMatrix(0)(j) = c.getInputNumRefAsMatrix(0)(j);
        c.endCFor();
    });
    expectContains(t, "    int32_t j = 0;\n    int32_t inColLength = 0;\n");
    expectContains(t,
                   "    /* Copy a column from input to output array. */\n"
                   "    for (j = 0; j < inColLength; j++) {\n"
                   "        y0[j] = u0[j];\n"
                   "    }  /* for j */\n");
}

TEST(EmitSnippets, CountingDownLoopAndStep) {
    std::string t = emitWith([](LambdaCtx& c) {
        CG::IdxRef i = c.localIdxVar("i");
        c.beginCFor(i, 3, -1, -1, "down");
        c.getOutputNumRefAsMatrix(0)(i) = 1.0;
        c.endCFor();
        c.beginCFor(i, 0, 4, 2, "");
        c.getOutputNumRefAsMatrix(0)(i) = 2.0;
        c.endCFor();
    });
    expectContains(t, "for (i = 3; i > -1; i--) {");
    expectContains(t, "for (i = 0; i < 4; i += 2) {");
    expectContains(t, "y0[i] = 2.0;");
}

TEST(EmitSnippets, IfElseIfElseWithBranchComments) {
    std::string t = emitWith([](LambdaCtx& c) {
        CG::NumRef x = c.getInputNumRefAsMatrix(0)[0];
        CG::NumRef y = c.getOutputNumRefAsMatrix(0)[0];
        c.beginIf(x > 1.0, "too large");
        y = 1.0;
        c.beginElseIf(x < 0.0, "too small");
        y = 0.0;
        c.beginElse("in range");
        y = x;
        c.endIf();
    });
    expectContains(t,
                   "    if (u0[0] > 1.0) {\n        /* too large */\n        y0[0] = 1.0;\n"
                   "    } else if (u0[0] < 0.0) {\n        /* too small */\n        y0[0] = 0.0;\n"
                   "    } else {\n        /* in range */\n        y0[0] = u0[0];\n    }\n");
}

TEST(EmitSnippets, CommentsAppearAsWrittenAndCannotCloseEarly) {
    std::string t = emitWith([](LambdaCtx& c) {
        c.append("Compute initial column start addresses in both input and output arrays.");
        c.append("a */ b");
    });
    expectContains(t, "    /* Compute initial column start addresses in both input and output arrays. */\n");
    expectContains(t, "/* a * / b */");
}

TEST(EmitSnippets, WhileLoop) {
    std::string t = emitWith([](LambdaCtx& c) {
        CG::IdxRef k = c.localIdxVar("k");
        c.beginCWhile(k < 3, "count");
        ++k;
        c.endCWhile();
    });
    expectContains(t, "    /* count */\n    while (k < 3) {\n        k = k + 1;\n    }  /* while */\n");
}

// Casts into a fixed-point type name the rounding and overflow codes they use.
struct CastCase {
    int32_t rounding, overflow;
    const char* snippet;
};

TEST(EmitSnippets, CastsCarryTheirRoundingAndOverflowModes) {
    const CastCase cases[] = {
        {RndZero, OvfWrap, "DVRT_ZERO, DVRT_WRAP, 8, 1"},
        {RndNearest, OvfSaturate, "DVRT_NEAREST, DVRT_SAT, 8, 1"},
        {RndCeil, OvfWrap, "DVRT_CEIL, DVRT_WRAP, 8, 1"},
        {RndFloor, OvfSaturate, "DVRT_FLOOR, DVRT_SAT, 8, 1"},
        {RndSimplest, OvfWrap, "DVRT_SIMPLEST, DVRT_WRAP, 8, 1"},
        {RndRound, OvfSaturate, "DVRT_ROUND, DVRT_SAT, 8, 1"},
        {RndConvergent, OvfWrap, "DVRT_CONVERGENT, DVRT_WRAP, 8, 1"},
    };
    Type s16 = Type::fixedT(true, 16, -4), s8 = Type::fixedT(true, 8, -2);
    for (const auto& k : cases) {
        BlockDesc d;
        d.name = "castblk";
        d.inputs.push_back(cgtest::signal(s16, {1}));
        d.outputs.push_back(cgtest::signal(s8, {1}));
        std::string t = emitWith(
            [&](LambdaCtx& c) {
                c.castAssign(c.getIndexedVar(c.getOutputVar(0), 0), c.getIndexedVar(c.getInputRef(0), 0));
            },
            d);
        TarnCG::CGHandle h(d);
        expectContains(t, std::string("y0[0] = (int8_t)dvrt64_quantize((int64_t)u0[0], -2, ") +
                              "DVRT_FLOOR, DVRT_WRAP, 8, 1);");
        LambdaCtx ctx(
            &h,
            [&](LambdaCtx& c) {
                c.castAssign(c.getIndexedVar(c.getOutputVar(0), 0), c.getIndexedVar(c.getInputRef(0), 0));
            },
            k.rounding, k.overflow);
        ASSERT_TRUE(ctx.constructCode());
        expectContains(cgtest::emitText(h),
                       std::string("(int8_t)dvrt64_quantize((int64_t)u0[0], -2, ") + k.snippet + ");");
    }
}

TEST(EmitSnippets, ValuePreservingConversionsAreplainC) {
    BlockDesc d;
    d.name = "widen";
    d.inputs.push_back(cgtest::signal(Type::intT(true, 16), {1}));
    d.outputs.push_back(cgtest::signal(Type::fixedT(true, 32, -4), {1}));
    std::string t = emitWith(
        [](LambdaCtx& c) {
            c.castAssign(c.getIndexedVar(c.getOutputVar(0), 0), c.getIndexedVar(c.getInputRef(0), 0));
        },
        d);
    expectContains(t, "y0[0] = (int32_t)dvrt64_shl((int64_t)u0[0], 4);");
}

TEST(EmitSnippets, FloatConstantsReadBackExactly) {
    struct K {
        double v;
        bool single;
        const char* text;
    } ks[] = {{0.1, false, "0.1"},
              {1.0 / 3.0, false, "0.3333333333333333"},
              {2.0, false, "2.0"},
              {0.1, true, "0.1F"},
              {-1.5e-300, false, "-1.5e-300"}};
    for (auto& k : ks) {
        BlockDesc d;
        d.name = "consts";
        Type t = k.single ? Type::singleT() : Type::doubleT();
        d.inputs.push_back(cgtest::signal(t, {1}));
        d.outputs.push_back(cgtest::signal(t, {1}));
        std::string txt =
            emitWith([&](LambdaCtx& c) { c.castAssign(c.getIndexedVar(c.getOutputVar(0), 0), k.v); }, d);
        expectContains(txt, std::string("y0[0] = ") + k.text + ";");
    }
}

TEST(EmitSnippets, IntegerConstantsAtTheLimits) {
    BlockDesc d;
    d.name = "lims";
    d.inputs.push_back(cgtest::signal(i32(), {1}));
    d.outputs.push_back(cgtest::signal(i32(), {2}));
    std::string t = emitWith(
        [](LambdaCtx& c) {
            c.castAssign(c.getIndexedVar(c.getOutputVar(0), 0), -2147483648.0);
            c.castAssign(c.getIndexedVar(c.getOutputVar(0), 1), 5.0);
        },
        d);
    expectContains(t, "y0[0] = -2147483647 - 1;");
    expectContains(t, "y0[1] = 5;");
}

TEST(EmitSnippets, TargetFunctionsUseTheSinglePrecisionVariant) {
    for (bool single : {false, true}) {
        BlockDesc d;
        d.name = "fn";
        Type t = single ? Type::singleT() : Type::doubleT();
        d.inputs.push_back(cgtest::signal(t, {1}));
        d.outputs.push_back(cgtest::signal(t, {1}));
        std::string txt = emitWith(
            [&](LambdaCtx& c) {
                auto call = c.getTargetLibFcnCall("sin", 1, 1, t);
                ASSERT_TRUE(call);
                call->setInput(1, c.getIndexedVar(c.getInputRef(0), 0));
                c.castAssign(c.getIndexedVar(c.getOutputVar(0), 0), call->expr());
            },
            d);
        expectContains(txt, single ? "y0[0] = sinf(u0[0]);" : "y0[0] = sin(u0[0]);");
    }
}

TEST(EmitSnippets, RunTimeParametersHoldTheSimulationValues) {
    BlockDesc d;
    d.name = "rtps";
    d.inputs.push_back(cgtest::signal(f64(), {3}));
    d.outputs.push_back(cgtest::signal(f64(), {3}));
    d.rtps.push_back(cgtest::data("outDims", i32(), 3, cgtest::bytesOf(std::vector<int32_t>{5, -4, 1})));
    d.rtps.push_back(cgtest::data("Gain", f64(), 1, cgtest::bytesOf(std::vector<double>{0.25}), true));
    d.dworks.push_back(cgtest::data("inAdd", i32(), 3));
    std::string t = emitWith(
        [](LambdaCtx& c) {
            CG::IdxRef outDims = c.getParamIdxRefAsMatrix(0);
            CG::IdxRef inAdd = c.getDWorkIdxRefAsMatrix(0);
            CG::NumRef gain = c.getParamNumRef(1);
            inAdd[0] = outDims[1];
            c.getOutputNumRefAsMatrix(0)[0] = gain;
        },
        d);
    expectContains(t, "/* \"outDims\" */\nstatic const int32_t rtp_outDims[3] = {\n    5, -4, 1\n};");
    // Tunable ones live in the parameter structure and are read through its pointer.
    expectContains(t, "typedef struct {\n    double Gain[1];  /* \"Gain\" */\n} rtps_params_t;");
    expectContains(t, "extern const rtps_params_t rtps_params_default;");
    expectContains(t, "extern const rtps_params_t* rtps_params;");
    expectContains(t, "void rtps_set_params(const rtps_params_t* params);");
    expectContains(t, "const rtps_params_t rtps_params_default = {\n    /* \"Gain\" */\n    {0.25}\n};");
    expectContains(t, "const rtps_params_t* rtps_params = &rtps_params_default;");
    expectContains(t, "y0[0] = rtps_params->Gain[0];");
    EXPECT_EQ(t.find("rtp_Gain"), std::string::npos) << t;
    expectContains(t, "static int32_t dw_inAdd[3];  /* \"inAdd\" */");
    expectContains(t, "dw_inAdd[0] = rtp_outDims[1];");
}

// Operations whose exact intermediate fits in 62 bits run on int64_t and the unit needs no 128-bit
// support; a product of two 40-bit words does not fit, so that unit includes and carries the wide header.
TEST(EmitSnippets, WideHelpersOnlyWhereAnIntermediateNeedsThem) {
    struct Case {
        int wl;
        const char* snippet;
        bool wide;
    } cases[] = {
        {31, "(int32_t)dvrt64_quantize((int64_t)u0[0] * (int64_t)u0[1], -4, DVRT_FLOOR, DVRT_WRAP, 31, 1)",
         false},
        {40,
         "(int64_t)dvrt_w_to_i64(dvrt_quantize(dvrt_w_mul(dvrt_w_i64(u0[0]), dvrt_w_i64(u0[1])), -4, "
         "DVRT_FLOOR, DVRT_WRAP, 40, 1))",
         true}};
    for (const Case& k : cases) {
        Type t = Type::fixedT(true, k.wl, -4);
        BlockDesc d;
        d.name = "prod";
        d.inputs.push_back(cgtest::signal(t, {2}));
        d.outputs.push_back(cgtest::signal(t, {1}));
        TarnCG::CGHandle h(d);
        LambdaCtx ctx(&h, [&](LambdaCtx& c) {
            Expr u = c.getInputRef(0).ref();
            c.appendNode(AssignStmt::make(
                ElementNode::make(c.getOutputVar(0).ref(), ConstNode::makeInt(i32(), 0)),
                BinaryNode::make(BinaryOp::Mul, ElementNode::make(u, ConstNode::makeInt(i32(), 0)),
                                 ElementNode::make(u, ConstNode::makeInt(i32(), 1)), t,
                                 {RndFloor, OvfWrap})));
        });
        ASSERT_TRUE(ctx.constructCode()) << h.diagnostics().error().message();
        Diagnostics diag;
        DiagnosticsScope scope(diag);
        auto files = emitUnit(h.unit());
        ASSERT_FALSE(diag.failed()) << diag.error().message();
        std::string c;
        bool carriesWide = false;
        for (auto& f : files) {
            if (f.name == "prod.c") c = f.text;
            carriesWide |= f.name == wideHeaderName();
        }
        expectContains(c, k.snippet);
        EXPECT_EQ(carriesWide, k.wide) << k.wl;
        EXPECT_EQ(c.find("#include \"dravo_rt_wide.h\"") != std::string::npos, k.wide) << c;
        EXPECT_EQ(c.find("dvrt_w") != std::string::npos, k.wide) << c;
    }
    EXPECT_EQ(std::string(runtimeHeaderText()).find("int128"), std::string::npos);
}
