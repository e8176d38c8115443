// Compile-and-run: IR built by hand, emitted, built with -std=c99 -Wall -Wextra -Werror under
// UndefinedBehaviorSanitizer, run, and compared with an independent oracle (exact long double arithmetic
// on values that long double holds exactly).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "cg_test_util.h"

using namespace CG;
using cgtest::LambdaCtx;

namespace {

const int32_t kRoundings[] = {RndZero, RndNearest, RndCeil, RndFloor, RndSimplest, RndRound, RndConvergent};

// Rounds an exact value x to an integer by a rounding code (isDivision: simplest truncates).
long double roundBy(long double x, int32_t mode, bool isDivision) {
    long double f = std::floor(x);
    long double frac = x - f;
    switch (mode) {
        case RndZero:
            return std::trunc(x);
        case RndNearest:
            return frac >= 0.5L ? f + 1 : f;
        case RndCeil:
            return std::ceil(x);
        case RndFloor:
            return f;
        case RndSimplest:
            return isDivision ? std::trunc(x) : f;
        case RndRound:
            return x < 0 ? -std::floor(-x + 0.5L) : std::floor(x + 0.5L);
        case RndConvergent: {
            if (frac > 0.5L) return f + 1;
            if (frac < 0.5L) return f;
            return std::fmod(f, 2.0L) == 0 ? f : f + 1;
        }
    }
    return f;
}

// Fits an integer into a word (wrap or saturate).
int64_t fitWord(long double r, int wl, bool sgn, int32_t overflow) {
    long double lo = sgn ? -std::ldexp(1.0L, wl - 1) : 0.0L;
    long double hi = sgn ? std::ldexp(1.0L, wl - 1) - 1 : std::ldexp(1.0L, wl) - 1;
    if (r >= lo && r <= hi) return static_cast<int64_t>(r);
    if (overflow == OvfSaturate) return static_cast<int64_t>(r < lo ? lo : hi);
    long double m = std::fmod(r - lo, std::ldexp(1.0L, wl));
    if (m < 0) m += std::ldexp(1.0L, wl);
    return static_cast<int64_t>(m + lo);
}

}  // namespace

// double -> fixed s16 E-4 under every rounding and overflow mode (one output per mode pair).
TEST(CompileRun, DoubleToFixedUnderEveryMode) {
    const std::vector<double> in = {0.0,         0.03125,  -0.03125, 0.09375, -0.09375,
                                    1.46875,     -1.46875, 2047.9,   -2048.0, 2048.0,
                                    3000.25,     -3000.3,  1e10,     -1e10,   0.0625 * 3 + 0.03125,
                                    std::nan("")};
    Type s16 = Type::fixedT(true, 16, -4);
    BlockDesc d;
    d.name = "dbl2fix";
    d.inputs.push_back(cgtest::signal(Type::doubleT(), {static_cast<int32_t>(in.size())}));
    for (int i = 0; i < 14; ++i)
        d.outputs.push_back(cgtest::signal(s16, {static_cast<int32_t>(in.size())}));
    TarnCG::CGHandle h(d);
    LambdaCtx ctx(&h, [&](LambdaCtx& c) {
        CG::IdxRef i = c.localIdxVar("i");
        c.beginCFor(i, 0, static_cast<int32_t>(in.size()), "");
        for (int k = 0; k < 14; ++k) {
            MathModes m{kRoundings[k / 2], k % 2};
            Expr x = ElementNode::make(c.getInputRef(0).ref(), i.expr());
            c.appendNode(AssignStmt::make(ElementNode::make(c.getOutputVar(k).ref(), i.expr()),
                                          CastNode::make(x, s16, m)));
        }
        c.endCFor();
    });
    ASSERT_TRUE(ctx.constructCode()) << h.diagnostics().error().message();
    auto r = cgtest::run(h, {{cgtest::bytesOf(in), {}}});
    ASSERT_TRUE(r.ok);
    for (int k = 0; k < 14; ++k) {
        auto got = cgtest::valuesOf<int16_t>(r.outputs[k].bytes);
        ASSERT_EQ(got.size(), in.size());
        for (size_t j = 0; j < in.size(); ++j) {
            int64_t want = std::isnan(in[j]) ? 0
                                             : fitWord(roundBy(std::ldexp(static_cast<long double>(in[j]), 4),
                                                               kRoundings[k / 2], false),
                                                       16, true, k % 2);
            EXPECT_EQ(got[j], want) << "value " << in[j] << " rounding " << kRoundings[k / 2] << " overflow "
                                    << k % 2;
        }
    }
}

// fixed s32 E-8 -> s16 E-5 (3 bits dropped): ties of both signs, every mode, wrap and saturate.
TEST(CompileRun, FixedToFixedShiftUnderEveryMode) {
    const std::vector<int32_t> in = {0, 4,  -4, 12,  -12,     5,          -5,     3,       -3,
                                     7, -7, 20, -20, 1 << 20, -(1 << 20), 262143, -262144, 262148};
    Type src = Type::fixedT(true, 32, -8), dst = Type::fixedT(true, 16, -5);
    BlockDesc d;
    d.name = "fix2fix";
    d.inputs.push_back(cgtest::signal(src, {static_cast<int32_t>(in.size())}));
    for (int i = 0; i < 14; ++i)
        d.outputs.push_back(cgtest::signal(dst, {static_cast<int32_t>(in.size())}));
    TarnCG::CGHandle h(d);
    LambdaCtx ctx(&h, [&](LambdaCtx& c) {
        CG::IdxRef i = c.localIdxVar("i");
        c.beginCFor(i, 0, static_cast<int32_t>(in.size()), "");
        for (int k = 0; k < 14; ++k) {
            MathModes m{kRoundings[k / 2], k % 2};
            Expr x = ElementNode::make(c.getInputRef(0).ref(), i.expr());
            c.appendNode(AssignStmt::make(ElementNode::make(c.getOutputVar(k).ref(), i.expr()),
                                          CastNode::make(x, dst, m)));
        }
        c.endCFor();
    });
    ASSERT_TRUE(ctx.constructCode());
    auto r = cgtest::run(h, {{cgtest::bytesOf(in), {}}});
    ASSERT_TRUE(r.ok);
    for (int k = 0; k < 14; ++k) {
        auto got = cgtest::valuesOf<int16_t>(r.outputs[k].bytes);
        for (size_t j = 0; j < in.size(); ++j) {
            long double exact = std::ldexp(static_cast<long double>(in[j]), -3);
            EXPECT_EQ(got[j], fitWord(roundBy(exact, kRoundings[k / 2], false), 16, true, k % 2))
                << "stored " << in[j] << " mode " << k;
        }
    }
}

// a + b, a * b, a / b on fixed-point operands of different scalings into a third type.
struct ArithCase {
    BinaryOp op;
    Type ta, tb, tr;
    int32_t rounding, overflow;
};

TEST(CompileRun, FixedPointArithmeticMatchesExactOracle) {
    const std::vector<int16_t> a = {0, 1, -1, 7, -7, 100, -100, 32767, -32768, 1234, -999, 5};
    const std::vector<int16_t> b = {3, -3, 2, 0, 5, -9, 7, 32767, 1, -1234, 333, -2};
    const ArithCase cases[] = {
        {BinaryOp::Add, Type::fixedT(true, 16, -4), Type::fixedT(true, 16, -2), Type::fixedT(true, 16, -3),
         RndNearest, OvfSaturate},
        {BinaryOp::Sub, Type::fixedT(true, 16, -4), Type::fixedT(true, 16, -2), Type::fixedT(true, 12, -3),
         RndFloor, OvfWrap},
        {BinaryOp::Mul, Type::fixedT(true, 16, -8), Type::fixedT(true, 16, -8), Type::fixedT(true, 16, -10),
         RndConvergent, OvfSaturate},
        {BinaryOp::Mul, Type::fixedT(true, 16, -8), Type::fixedT(true, 16, -8), Type::fixedT(true, 16, -10),
         RndZero, OvfWrap},
        {BinaryOp::Div, Type::fixedT(true, 16, -4), Type::fixedT(true, 16, -4), Type::fixedT(true, 16, -8),
         RndSimplest, OvfSaturate},
        {BinaryOp::Div, Type::fixedT(true, 16, -4), Type::fixedT(true, 16, -2), Type::fixedT(true, 32, -12),
         RndRound, OvfWrap},
    };
    int n = static_cast<int>(a.size());
    for (const auto& k : cases) {
        BlockDesc d;
        d.name = "arith";
        d.inputs.push_back(cgtest::signal(k.ta, {n}));
        d.inputs.push_back(cgtest::signal(k.tb, {n}));
        d.outputs.push_back(cgtest::signal(k.tr, {n}));
        TarnCG::CGHandle h(d);
        LambdaCtx ctx(&h, [&](LambdaCtx& c) {
            CG::IdxRef i = c.localIdxVar("i");
            c.beginCFor(i, 0, n, "");
            Expr x = ElementNode::make(c.getInputRef(0).ref(), i.expr());
            Expr y = ElementNode::make(c.getInputRef(1).ref(), i.expr());
            c.appendNode(AssignStmt::make(ElementNode::make(c.getOutputVar(0).ref(), i.expr()),
                                          BinaryNode::make(k.op, x, y, k.tr, {k.rounding, k.overflow})));
            c.endCFor();
        });
        ASSERT_TRUE(ctx.constructCode());
        auto r = cgtest::run(h, {{cgtest::bytesOf(a), {}}, {cgtest::bytesOf(b), {}}});
        ASSERT_TRUE(r.ok);
        bool wide = k.tr.bits() > 16;
        std::vector<int64_t> got;
        if (wide)
            for (int32_t v : cgtest::valuesOf<int32_t>(r.outputs[0].bytes))
                got.push_back(v);
        else
            for (int16_t v : cgtest::valuesOf<int16_t>(r.outputs[0].bytes))
                got.push_back(v);
        for (int j = 0; j < n; ++j) {
            long double va = std::ldexp(static_cast<long double>(a[j]), k.ta.exponent());
            long double vb = std::ldexp(static_cast<long double>(b[j]), k.tb.exponent());
            int64_t want;
            if (k.op == BinaryOp::Div && b[j] == 0) {
                want = a[j] == 0 ? 0 : fitWord(a[j] > 0 ? 1e30L : -1e30L, k.tr.bits(), true, OvfSaturate);
            } else {
                long double exact = k.op == BinaryOp::Add   ? va + vb
                                    : k.op == BinaryOp::Sub ? va - vb
                                    : k.op == BinaryOp::Mul ? va * vb
                                                            : va / vb;
                // Division results are not exact in long double in general; these operands give short
                // binary fractions or are compared within the rounding of the last bit below.
                long double scaled = std::ldexp(exact, -k.tr.exponent());
                want = fitWord(roundBy(scaled, k.rounding, k.op == BinaryOp::Div), k.tr.bits(), true,
                               k.overflow);
            }
            EXPECT_EQ(got[j], want) << binaryOpSymbol(k.op) << " a=" << a[j] << " b=" << b[j];
        }
    }
}

TEST(CompileRun, ComplexValuesAreInterleavedAndRealsWidenWithZeroImaginary) {
    BlockDesc d;
    d.name = "cplx";
    Type c64 = Type::complexT(Type::doubleT());
    d.inputs.push_back(cgtest::signal(c64, {2}));
    d.inputs.push_back(cgtest::signal(Type::intT(true, 16), {2}));
    d.outputs.push_back(cgtest::signal(c64, {4}));
    TarnCG::CGHandle h(d);
    LambdaCtx ctx(&h, [&](LambdaCtx& c) {
        CG::NumRef y = c.getOutputNumRefAsMatrix(0);
        CG::NumRef u = c.getInputNumRefAsMatrix(0);
        CG::NumRef v = c.getInputNumRefAsMatrix(1);
        y[0] = u[0];
        y[1] = u[1];
        y[2] = v[0];
        y[3] = v[1];
    });
    ASSERT_TRUE(ctx.constructCode());
    auto r = cgtest::run(h, {{cgtest::bytesOf(std::vector<double>{1.5, -2.5, 3.25, 4.0}), {}},
                             {cgtest::bytesOf(std::vector<int16_t>{-7, 9}), {}}});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(cgtest::valuesOf<double>(r.outputs[0].bytes),
              (std::vector<double>{1.5, -2.5, 3.25, 4.0, -7, 0, 9, 0}));
}

TEST(CompileRun, VariableSizeInputDrivesWidthAndOutputDims) {
    BlockDesc d;
    d.name = "varsize";
    d.inputs.push_back(cgtest::signal(Type::singleT(), {3, 4}, true));
    d.outputs.push_back(cgtest::signal(Type::singleT(), {3, 4}, true));
    TarnCG::CGHandle h(d);
    LambdaCtx ctx(&h, [&](LambdaCtx& c) {
        CG::IdxRef i = c.localIdxVar("i");
        CG::IdxRef inWidth = c.localIdxVar("inWidth");
        inWidth = c.getInputDimSizeIdxRef(0, 0) * c.getInputDimSizeIdxRef(0, 1);
        c.beginCFor(i, 0, inWidth, "");
        c.getOutputNumRefAsMatrix(0)(i) = c.getInputNumRefAsMatrix(0)(i) * 2.0;
        c.endCFor();
    });
    ASSERT_TRUE(ctx.constructCode());
    auto r = cgtest::run(h, {{cgtest::bytesOf(std::vector<float>{1, 2, 3, 4, 5, 6}), {2, 3}}});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.outputs[0].dims, (std::vector<int32_t>{2, 3}));
    EXPECT_EQ(cgtest::valuesOf<float>(r.outputs[0].bytes), (std::vector<float>{2, 4, 6, 8, 10, 12}));
}

TEST(CompileRun, RunTimeParametersWorkVectorsAndIndexArithmetic) {
    BlockDesc d;
    d.name = "rtpdw";
    d.inputs.push_back(cgtest::signal(Type::intT(false, 8), {4}));
    d.outputs.push_back(cgtest::signal(Type::intT(false, 8), {4}));
    d.rtps.push_back(
        cgtest::data("order", Type::intT(true, 32), 4, cgtest::bytesOf(std::vector<int32_t>{3, 0, 2, 1})));
    d.dworks.push_back(cgtest::data("count", Type::intT(true, 32), 1));
    TarnCG::CGHandle h(d);
    LambdaCtx ctx(&h, [&](LambdaCtx& c) {
        CG::IdxRef i = c.localIdxVar("i");
        CG::IdxRef order = c.getParamIdxRefAsMatrix(0);
        CG::IdxRef count = c.getDWorkIdxRefAsMatrix(0);
        c.beginCFor(i, 0, 4, "Permute.");
        c.getOutputNumRefAsMatrix(0)(order(i)) = c.getInputNumRefAsMatrix(0)(i);
        ++count[0];
        c.endCFor();
    });
    ASSERT_TRUE(ctx.constructCode());
    auto r = cgtest::run(h, {{std::vector<uint8_t>{10, 20, 30, 40}, {}}});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.outputs[0].bytes, (std::vector<uint8_t>{20, 40, 30, 10}));
}

TEST(CompileRun, SaturatingUnsignedArithmeticOnNarrowIntegers) {
    BlockDesc d;
    d.name = "u8sat";
    d.inputs.push_back(cgtest::signal(Type::intT(false, 8), {4}));
    d.outputs.push_back(cgtest::signal(Type::intT(false, 8), {4}));
    TarnCG::CGHandle h(d);
    LambdaCtx ctx(
        &h,
        [&](LambdaCtx& c) {
            CG::IdxRef i = c.localIdxVar("i");
            c.beginCFor(i, 0, 4, "");
            CG::NumRef y = c.getOutputNumRefAsMatrix(0)(i);
            y = c.getInputNumRefAsMatrix(0)(i) * c.getInputNumRefAsMatrix(0)(i);
            c.endCFor();
        },
        RndFloor, OvfSaturate);
    ASSERT_TRUE(ctx.constructCode());
    auto r = cgtest::run(h, {{std::vector<uint8_t>{3, 15, 16, 255}, {}}});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.outputs[0].bytes, (std::vector<uint8_t>{9, 225, 255, 255}));
}

// Timing several steps: one untimed warm-up, then each timed step; the outputs are those of the last step
// (a work-vector counter shows how many steps ran) and the best step is never slower than the mean
// (up to the rounding of the sum).
TEST(CompileRun, RepeatedStepsReportTheMeanAndTheBestStep) {
    for (int32_t repeat : {1, 2, 5}) {
        BlockDesc d;
        d.name = "steps";
        d.inputs.push_back(cgtest::signal(Type::intT(true, 32), {1}));
        d.outputs.push_back(cgtest::signal(Type::intT(true, 32), {1}));
        d.dworks.push_back(cgtest::data("count", Type::intT(true, 32), 1));
        TarnCG::CGHandle h(d);
        LambdaCtx ctx(&h, [&](LambdaCtx& c) {
            CG::IdxRef count = c.getDWorkIdxRefAsMatrix(0);
            ++count[0];
            c.getOutputNumRefAsMatrix(0)[0] = c.getInputNumRefAsMatrix(0)[0] + count[0];
        });
        ASSERT_TRUE(ctx.constructCode());
        CG::HarnessOptions o;
        o.workDir = cgtest::workDir(d.name + std::to_string(repeat));
        o.repeat = repeat;
        CG::HarnessResult r =
            CG::buildAndRun(h.unit(), {{cgtest::bytesOf(std::vector<int32_t>{100}), {}}}, o);
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_EQ(cgtest::valuesOf<int32_t>(r.outputs[0].bytes), (std::vector<int32_t>{100 + repeat}))
            << repeat;
        EXPECT_GT(r.bestSecondsPerStep, 0.0) << repeat;
        EXPECT_LE(r.bestSecondsPerStep, r.secondsPerStep * (1 + 1e-9)) << repeat;
    }
}
