// The shared context of the image blocks: binary-point shifts, square roots and their assertions.
#include <gtest/gtest.h>

#include <cmath>

#include "cg_test_util.h"

using namespace CG;
using cgtest::LambdaDspCtx;

namespace {

BlockDesc oneToOne(const std::string& name, Type in, Type out, int32_t n) {
    BlockDesc d;
    d.name = name;
    d.inputs.push_back(cgtest::signal(in, {n}));
    d.outputs.push_back(cgtest::signal(out, {n}));
    return d;
}

}  // namespace

TEST(DSPCGCtx, ShiftBinaryPointRightDividesByPowerOfTwo) {
    // s16 with exponent -4: stored 80 is 5.0; shifted by 3 it reads 0.625, stored 10 in the same type.
    Type s16 = Type::fixedT(true, 16, -4);
    const std::vector<int16_t> in = {80, -80, 7, -7, 32767, -32768, 8, 0};
    TarnCG::CGHandle h(oneToOne("shift", s16, s16, static_cast<int32_t>(in.size())));
    LambdaDspCtx ctx(&h, [&](LambdaDspCtx& c) {
        Var i = c.createLocal("i", Type::intT(true, 32));
        Var v = c.createLocal("v", s16);
        c.beginFor(i, 0, ConstNode::makeInt(Type::intT(true, 32), static_cast<int64_t>(in.size())));
        c.castAssign(v.ref(), c.getInputRef(0), i.ref());
        c.shiftBinaryPointRight(v.ref(), 3);
        c.castAssign(c.getIndexedVar(c.getOutputVar(0).ref(), i.ref()), v.ref());
        c.endFor();
    });
    ASSERT_TRUE(ctx.constructCode()) << h.diagnostics().error().message();
    EXPECT_NE(cgtest::emitText(h).find(
                  "v = (int16_t)dvrt64_quantize((int64_t)v, -3, DVRT_FLOOR, DVRT_WRAP, 16, 1);"),
              std::string::npos)
        << cgtest::emitText(h);
    auto r = cgtest::run(h, {{cgtest::bytesOf(in), {}}});
    ASSERT_TRUE(r.ok);
    auto got = cgtest::valuesOf<int16_t>(r.outputs[0].bytes);
    EXPECT_EQ(got[0], 10);  // 0.625 in exponent -4
    for (size_t j = 0; j < in.size(); ++j)
        EXPECT_EQ(got[j], static_cast<int16_t>(std::floor(in[j] / 8.0))) << in[j];
}

TEST(DSPCGCtx, ShiftBinaryPointRightOnComplexShiftsBothParts) {
    Type c16 = Type::complexT(Type::fixedT(true, 16, -4));
    TarnCG::CGHandle h(oneToOne("cshift", c16, c16, 2));
    LambdaDspCtx ctx(
        &h,
        [&](LambdaDspCtx& c) {
            Var v = c.createLocal("v", c16);
            for (int k = 0; k < 2; ++k) {
                c.castAssign(v.ref(), c.getIndexedVar(c.getInputRef(0).ref(), k));
                c.shiftBinaryPointRight(v.ref(), 2);
                c.castAssign(c.getIndexedVar(c.getOutputVar(0).ref(), k), v.ref());
            }
        },
        RndNearest, OvfSaturate);
    ASSERT_TRUE(ctx.constructCode()) << h.diagnostics().error().message();
    auto r = cgtest::run(h, {{cgtest::bytesOf(std::vector<int16_t>{40, -40, 6, -6}), {}}});
    ASSERT_TRUE(r.ok);
    // 40/4 = 10, -10; 6/4 = 1.5 -> 2, -1.5 -> -1 (nearest rounds ties toward +infinity).
    EXPECT_EQ(cgtest::valuesOf<int16_t>(r.outputs[0].bytes), (std::vector<int16_t>{10, -10, 2, -1}));
}

TEST(DSPCGCtx, ShiftOfABuiltInIntegerRereadsItWithNegativeExponent) {
    Type i16 = Type::intT(true, 16);
    TarnCG::CGHandle h(oneToOne("ishift", i16, i16, 3));
    LambdaDspCtx ctx(
        &h,
        [&](LambdaDspCtx& c) {
            Var v = c.createLocal("v", i16);
            for (int k = 0; k < 3; ++k) {
                c.castAssign(v.ref(), c.getIndexedVar(c.getInputRef(0).ref(), k));
                c.shiftBinaryPointRight(v.ref(), 1);
                c.castAssign(c.getIndexedVar(c.getOutputVar(0).ref(), k), v.ref());
            }
        },
        RndZero, OvfWrap);
    ASSERT_TRUE(ctx.constructCode());
    auto r = cgtest::run(h, {{cgtest::bytesOf(std::vector<int16_t>{9, -9, 100}), {}}});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(cgtest::valuesOf<int16_t>(r.outputs[0].bytes), (std::vector<int16_t>{4, -4, 50}));
}

struct RefusedShift {
    Type type;
    int line;
    const char* condition;
};

TEST(DSPCGCtx, ShiftBinaryPointRightRefusesFloatingTypes) {
    const RefusedShift cases[] = {{Type::doubleT(), 280, "!(cg_type_is_double(srcType))"},
                                  {Type::singleT(), 281, "!(cg_type_is_single(srcType))"}};
    for (const auto& k : cases) {
        TarnCG::CGHandle h(oneToOne("refuse", k.type, k.type, 1));
        LambdaDspCtx ctx(&h, [&](LambdaDspCtx& c) {
            Var v = c.createLocal("v", k.type);
            c.shiftBinaryPointRight(v.ref(), 2);
        });
        EXPECT_FALSE(ctx.constructCode());
        const GenError& e = h.diagnostics().error();
        EXPECT_TRUE(e.internal);
        EXPECT_EQ(e.file, "dspcgctx");
        EXPECT_EQ(e.line, k.line);
        EXPECT_EQ(e.condition, k.condition);
    }
}

TEST(DSPCGCtx, AssignSqrtUsesTheTargetFunctionOfTheFloatingType) {
    struct K {
        Type t;
        bool passType;
        const char* snippet;
    } ks[] = {{Type::doubleT(), true, "y0[0] = sqrt(u0[0]);"},
              {Type::singleT(), false, "y0[0] = sqrtf(u0[0]);"}};
    for (const auto& k : ks) {
        TarnCG::CGHandle h(oneToOne("sq", k.t, k.t, 1));
        LambdaDspCtx ctx(&h, [&](LambdaDspCtx& c) {
            c.assignSqrt(c.getIndexedVar(c.getOutputVar(0).ref(), 0),
                         c.getIndexedVar(c.getInputRef(0).ref(), 0), k.passType ? &k.t : nullptr);
        });
        ASSERT_TRUE(ctx.constructCode()) << h.diagnostics().error().message();
        EXPECT_NE(cgtest::emitText(h).find(k.snippet), std::string::npos) << cgtest::emitText(h);
    }
}

TEST(DSPCGCtx, AssignSqrtRefusesAMismatchedFloatingOperand) {
    struct K {
        Type type, operand;
        int line;
    } ks[] = {{Type::doubleT(), Type::singleT(), 592}, {Type::singleT(), Type::doubleT(), 599}};
    for (const auto& k : ks) {
        TarnCG::CGHandle h(oneToOne("sqbad", k.operand, k.type, 1));
        LambdaDspCtx ctx(&h, [&](LambdaDspCtx& c) {
            c.assignSqrt(c.getIndexedVar(c.getOutputVar(0).ref(), 0),
                         c.getIndexedVar(c.getInputRef(0).ref(), 0), &k.type);
        });
        EXPECT_FALSE(ctx.constructCode());
        const GenError& e = h.diagnostics().error();
        EXPECT_EQ(e.file, "dspcgctx");
        EXPECT_EQ(e.line, k.line);
        EXPECT_EQ(e.condition, "0");
    }
}

TEST(DSPCGCtx, AssignSqrtOfFixedPointUsesTheIntrinsic) {
    Type in = Type::fixedT(false, 16, -4), out = Type::fixedT(false, 16, -8);
    const std::vector<uint16_t> u = {36, 0, 1, 16, 65535, 2, 400};  // 2.25, 0, 1/16, 1, 4095.9375, 1/8, 25
    TarnCG::CGHandle h(oneToOne("fxsqrt", in, out, static_cast<int32_t>(u.size())));
    LambdaDspCtx ctx(
        &h,
        [&](LambdaDspCtx& c) {
            for (int k = 0; k < static_cast<int>(u.size()); ++k)
                c.assignSqrt(c.getIndexedVar(c.getOutputVar(0).ref(), k),
                             c.getIndexedVar(c.getInputRef(0).ref(), k), &out);
        },
        RndFloor, OvfSaturate);
    ASSERT_TRUE(ctx.constructCode()) << h.diagnostics().error().message();
    auto r = cgtest::run(h, {{cgtest::bytesOf(u), {}}});
    ASSERT_TRUE(r.ok);
    auto got = cgtest::valuesOf<uint16_t>(r.outputs[0].bytes);
    for (size_t j = 0; j < u.size(); ++j) {
        long double exact = std::sqrt(static_cast<long double>(u[j]) / 16.0L) * 256.0L;
        long double want = std::min(std::floor(exact), 65535.0L);
        EXPECT_EQ(got[j], static_cast<uint16_t>(want)) << u[j];
    }
    EXPECT_EQ(got[0], 384);  // sqrt(2.25) = 1.5
}

TEST(DSPCGCtx, FixedExponentAndScaledDoubleQueries) {
    EXPECT_EQ(DSPCGCtx::getFixptExponent(Type::doubleT()), 0);
    EXPECT_EQ(DSPCGCtx::getFixptExponent(Type::intT(true, 16)), 0);
    EXPECT_EQ(DSPCGCtx::getFixptExponent(Type::fixedT(true, 16, -7)), -7);
    EXPECT_TRUE(DSPCGCtx::isScaledDoubleType(Type::fixedT(true, 16, -7, true)));
    EXPECT_FALSE(DSPCGCtx::isScaledDoubleType(Type::fixedT(true, 16, -7)));
    EXPECT_FALSE(DSPCGCtx::isScaledDoubleType(Type::doubleT()));
}

TEST(DSPCGCtx, ProductHelpersQuantiseIntoTheVariable) {
    Type s16 = Type::fixedT(true, 16, -8), prod = Type::fixedT(true, 32, -16);
    BlockDesc d;
    d.name = "prod";
    d.inputs.push_back(cgtest::signal(s16, {2}));
    d.outputs.push_back(cgtest::signal(s16, {2}));
    TarnCG::CGHandle h(d);
    LambdaDspCtx ctx(
        &h,
        [&](LambdaDspCtx& c) {
            Var acc = c.createLocal("acc", s16);
            Expr a = c.getIndexedVar(c.getInputRef(0).ref(), 0),
                 b = c.getIndexedVar(c.getInputRef(0).ref(), 1);
            c.assignProduct(acc.ref(), a, b, prod);
            c.castAssign(c.getIndexedVar(c.getOutputVar(0).ref(), 0), acc.ref());
            c.accumulateProduct(acc.ref(), a, a, prod);
            c.castAssign(c.getIndexedVar(c.getOutputVar(0).ref(), 1), acc.ref());
        },
        RndNearest, OvfSaturate);
    ASSERT_TRUE(ctx.constructCode()) << h.diagnostics().error().message();
    // 1.5 * -2.25 = -3.375; then + 1.5 * 1.5 = -1.125 (stored x256).
    auto r = cgtest::run(h, {{cgtest::bytesOf(std::vector<int16_t>{384, -576}), {}}});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(cgtest::valuesOf<int16_t>(r.outputs[0].bytes), (std::vector<int16_t>{-864, -288}));
}
