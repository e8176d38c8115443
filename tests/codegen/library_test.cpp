// The library's own rules: errors are reported, never abort, and leave no files; shared functions are
// generated once per name; contexts run their phases.
#include <gtest/gtest.h>

#include <filesystem>

#include "cg_test_util.h"

using namespace CG;
using cgtest::LambdaCtx;

namespace {

BlockDesc simple(const std::string& name, Type t = Type::doubleT(), int32_t width = 3) {
    BlockDesc d;
    d.name = name;
    d.inputs.push_back(cgtest::signal(t, {width}));
    d.outputs.push_back(cgtest::signal(t, {width}));
    return d;
}

}  // namespace

TEST(Library, WordLengthAbove64IsAClearErrorAndWritesNothing) {
    Type wide = Type::fixedT(true, 80, -10);
    BlockDesc d = simple("wideblk", wide, 2);
    TarnCG::CGHandle h(d);
    LambdaCtx ctx(&h, [](LambdaCtx& c) { c.getOutputNumRefAsMatrix(0)[0] = c.getInputNumRefAsMatrix(0)[0]; });
    ASSERT_TRUE(ctx.constructCode());  // the IR can hold it; the C target cannot
    namespace fs = std::filesystem;
    fs::path dir = cgtest::workDir("out");
    fs::remove_all(dir);
    std::string err;
    EXPECT_FALSE(writeUnit(h.unit(), dir.string(), &err));
    EXPECT_NE(err.find("block 'wideblk'"), std::string::npos) << err;
    EXPECT_NE(err.find("word length 80"), std::string::npos) << err;
    EXPECT_NE(err.find("above 64"), std::string::npos) << err;
    if (fs::exists(dir)) {
        EXPECT_TRUE(fs::is_empty(dir));
    }
}

TEST(Library, SuccessfulGenerationWritesUnitCommonUnitAndRuntimeHeader) {
    TarnCG::CGHandle h(simple("okblk"));
    LambdaCtx ctx(&h, [](LambdaCtx& c) { c.getOutputNumRefAsMatrix(0)[0] = 1.0; });
    ASSERT_TRUE(ctx.constructCode());
    namespace fs = std::filesystem;
    fs::path dir = cgtest::workDir("out");
    fs::remove_all(dir);
    std::string err;
    ASSERT_TRUE(writeUnit(h.unit(), dir.string(), &err)) << err;
    for (const char* f : {"okblk.h", "okblk.c", "dravo_common.h", "dravo_common.c", "dravo_rt.h"})
        EXPECT_TRUE(fs::exists(dir / f)) << f;
    int n = 0;
    for (auto& e : fs::directory_iterator(dir))
        n += e.is_regular_file() || e.is_directory();
    EXPECT_EQ(n, 5);  // no scratch folder left behind
}

TEST(Library, InternalCheckIsReportedNotAborting) {
    TarnCG::CGHandle h(simple("badblk"));
    bool ranToEnd = false;
    LambdaCtx ctx(&h, [&](LambdaCtx& c) {
        // Indexing a scalar is an internal fault of the caller.
        Var s = c.createLocal("s", Type::doubleT());
        c.castAssign(c.getIndexedVar(s.ref(), 0), 1.0);
        c.getOutputNumRefAsMatrix(0)[0] = 2.0;  // later calls are harmless no-ops
        ranToEnd = true;
    });
    EXPECT_FALSE(ctx.constructCode());
    EXPECT_TRUE(ranToEnd);
    const GenError& e = h.diagnostics().error();
    EXPECT_TRUE(e.internal);
    EXPECT_EQ(e.file, "codegen/ir.cpp");
    EXPECT_NE(e.condition.find("isMatrix"), std::string::npos) << e.condition;
    EXPECT_NE(e.message().find("internal code-generation check failed"), std::string::npos);
}

TEST(Library, ClientAssertionHookRecordsFileLineAndCondition) {
    Diagnostics d;
    {
        DiagnosticsScope scope(d);
        client_assertion_failed("dspcgctx", 280, "!(cg_type_is_double(srcType))");
        client_assertion_failed("other", 1, "second is a consequence");
    }
    ASSERT_TRUE(d.failed());
    EXPECT_EQ(d.error().file, "dspcgctx");
    EXPECT_EQ(d.error().line, 280);
    EXPECT_EQ(d.error().condition, "!(cg_type_is_double(srcType))");
}

TEST(Library, UnbalancedConstructsAreAnError) {
    TarnCG::CGHandle h(simple("unbal"));
    LambdaCtx ctx(&h, [](LambdaCtx& c) {
        CG::IdxRef i = c.localIdxVar("i");
        c.beginCFor(i, 0, 3, "never closed");
    });
    EXPECT_FALSE(ctx.constructCode());
    EXPECT_NE(h.diagnostics().error().message().find("every begin has its end"), std::string::npos);
}

TEST(Library, ContextWithoutIRSupportIsRefused) {
    struct NoFlag : DSPCG::CoreCtx {
        using DSPCG::CoreCtx::CoreCtx;
        void generateOutputFcn() override {}
        void declareIRSupport() override {}
    };
    TarnCG::CGHandle h(simple("noflag"));
    NoFlag ctx(&h, 3, 0);
    EXPECT_FALSE(ctx.constructCode());
}

TEST(Library, ContinuousPhasesHaveNoPlaceInTheCTarget) {
    struct Deriv : DSPCG::CoreCtx {
        using DSPCG::CoreCtx::CoreCtx;
        void generateOutputFcn() override {}
        void generateDerivativeFcn() override { append("d/dt"); }
        void declareIRSupport() override { setIRSupported(); }
    };
    TarnCG::CGHandle h(simple("deriv"));
    Deriv ctx(&h, 3, 0);
    EXPECT_FALSE(ctx.constructCode());
    EXPECT_NE(h.diagnostics().error().message().find("derivative"), std::string::npos);
}

TEST(Library, StartAndTerminatePhasesGoToTheirFunctions) {
    struct Phases : DSPCG::CoreCtx {
        using DSPCG::CoreCtx::CoreCtx;
        void generateStartFcn() override { append("in start"); }
        void generateOutputFcn() override { append("in step"); }
        void generateTerminateFcn() override { append("in terminate"); }
        void declareIRSupport() override { setIRSupported(); }
    };
    TarnCG::CGHandle h(simple("phases"));
    Phases ctx(&h, 3, 0);
    ASSERT_TRUE(ctx.constructCode());
    std::string t = cgtest::emitText(h);
    size_t s = t.find("void phases_start(void)\n{\n    /* in start */");
    size_t o =
        t.find("void phases_step(const double* restrict u0, double* restrict y0)\n{\n    /* in step */");
    size_t e = t.find("void phases_terminate(void)\n{\n    /* in terminate */");
    EXPECT_NE(s, std::string::npos) << t;
    EXPECT_NE(o, std::string::npos) << t;
    EXPECT_NE(e, std::string::npos) << t;
}

// A utility generator: y = x * k + 1 for the element type, with a name per type.
class ScaleAddGen : public DSPCG::LibGenerator {
  public:
    ScaleAddGen(std::shared_ptr<Pool> pool, Type t, int* bodies)
        : DSPCG::LibGenerator(std::move(pool)), t_(t), bodies_(bodies) {
        setFcnName("scaleAdd_" + (t.isFloat() ? floatTypeSymbol(t) : fixptTypeShortName(t)));
        setInput(0, Type::matrixT(t, -1), "x");
        setInput(1, Type::intT(true, 32), "n");
        setInput(2, t, "k");
        setOutput(0, Type::matrixT(t, -1), "y");
    }

  protected:
    void generateBody() override {
        ++*bodies_;
        append("Scale and add one.");
        CG::IdxRef i = localIdxVar("i");
        CG::NumRef x = numRef(inputVar(0).ref()), y = numRef(outputVar(0).ref());
        CG::IdxRef n = idxRef(inputVar(1).ref());
        CG::NumRef k = numRef(inputVar(2).ref());
        beginCFor(i, 0, n, "");
        y(i) = x(i) * k + 1.0;
        endCFor();
    }

  private:
    Type t_;
    int* bodies_;
};

TEST(Library, LibGeneratorCreatesEachFunctionOncePerName) {
    auto pool = std::make_shared<Pool>();
    int bodies = 0;
    auto build = [&](const std::string& name) {
        auto h = std::make_unique<TarnCG::CGHandle>(simple(name), pool);
        LambdaCtx ctx(h.get(), [&](LambdaCtx& c) {
            ScaleAddGen gen(pool, Type::doubleT(), &bodies);
            gen.findOrCreateFcn();
            c.append(gen.callE({c.getInputRef(0).ref(), ConstNode::makeInt(Type::intT(true, 32), 3),
                                ConstNode::makeValue(Type::doubleT(), 2.0), c.getOutputVar(0).ref()}));
        });
        EXPECT_TRUE(ctx.constructCode()) << h->diagnostics().error().message();
        return h;
    };
    auto h1 = build("first");
    auto h2 = build("second");
    EXPECT_EQ(bodies, 1);
    ASSERT_EQ(pool->functions().size(), 1u);
    EXPECT_EQ(pool->functions()[0]->name, "scaleAdd_D");
    auto r = cgtest::run(*h2, {{cgtest::bytesOf(std::vector<double>{1, 2, 3}), {}}});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(cgtest::valuesOf<double>(r.outputs[0].bytes), (std::vector<double>{3, 5, 7}));
}

TEST(Library, TypeNamesForUtilityFunctions) {
    EXPECT_EQ(DSPCG::LibGenerator::fixptTypeShortName(Type::fixedT(true, 16, -12)), "s16En12");
    EXPECT_EQ(DSPCG::LibGenerator::fixptTypeShortName(Type::fixedT(false, 8, 0)), "u8");
    EXPECT_EQ(DSPCG::LibGenerator::fixptTypeShortName(Type::fixedT(true, 32, 3)), "s32E3");
    EXPECT_EQ(DSPCG::LibGenerator::floatTypeSymbol(Type::singleT()), "S");
    EXPECT_EQ(DSPCG::LibGenerator::floatTypeSymbol(Type::doubleT()), "D");
    EXPECT_EQ(DSPCG::LibGenerator::mathModeString({RndNearest, OvfSaturate}), "Nearest_Sat");
}

TEST(Library, TypeQueries) {
    Type fx = cg_type_fixed_point_create(true, 16, -4, 1.0, 0.0, false);
    EXPECT_EQ(cg_type_constr_enum_value(fx), 9);
    EXPECT_EQ(cg_type_fixed_point_exponent(fx), -4);
    EXPECT_EQ(cg_type_numeric_nbits(fx), 16);
    EXPECT_TRUE(cg_type_numeric_issigned(fx));
    EXPECT_FALSE(cg_type_fixed_point_isscaleddouble(fx));
    EXPECT_NE(cg_type_constr_enum_value(Type::doubleT()), 9);
    EXPECT_NE(cg_type_constr_enum_value(Type::intT(true, 16)), 9);
    Type c = cg_type_complex_create(fx);
    EXPECT_TRUE(cg_type_is_complex_any(c));
    EXPECT_TRUE(cg_type_complex_base_any(c) == fx);
    EXPECT_TRUE(base_type(Type::matrixT(c, 4)) == fx);
    EXPECT_EQ(cg_type_name(fx), "fixed:s16:4");
    // Only slope 1 and bias 0 exist in generated code.
    Diagnostics d;
    {
        DiagnosticsScope scope(d);
        EXPECT_FALSE(cg_type_fixed_point_create(true, 16, -4, 0.5, 0.0, false).defined());
    }
    EXPECT_TRUE(d.failed());
}

TEST(Library, UnknownTargetFunctionIsAnError) {
    TarnCG::CGHandle h(simple("nofn"));
    LambdaCtx ctx(
        &h, [](LambdaCtx& c) { EXPECT_EQ(c.getTargetLibFcnCall("gamma", 1, 1, Type::doubleT()), nullptr); });
    EXPECT_FALSE(ctx.constructCode());
    EXPECT_NE(h.diagnostics().error().message().find("gamma"), std::string::npos);
}
