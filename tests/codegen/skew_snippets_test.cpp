// The rotate block's generated text: skew function names, signatures, comments and sections; one shared
// function per method and type; the named locals of the step; configurations the generator refuses.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>

#include "cg/host_bridge.h"
#include "cg/sil.h"
#include "cg_test_util.h"
#include "dravo/host/engine.h"
#include "dravo/host/types.h"
#include "ondskew.h"

using dravo::host::Array;
using dravo::host::Block;
using dravo::host::InputSpec;
using dravo::host::Plugin;

namespace {

std::shared_ptr<Plugin> plugin() {
    static std::shared_ptr<Plugin> p = Plugin::load("pellor");
    return p;
}

std::unique_ptr<Block> startedRotate(int method, const std::string& type, std::map<int, double> extra = {}) {
    const double defaults[22] = {
        1, 1, 0.5, 3.141592653589793, 2, 1, 0, 2, 2, 16, 15, 2, 32, 30, 3, 32, 30, 2, 16, 15, 3, 1};
    std::vector<Array> p;
    for (int i = 0; i < 22; ++i)
        p.push_back(Array::scalar(i == 7 ? method : (extra.count(i) ? extra[i] : defaults[i])));
    auto b = std::make_unique<Block>(plugin(), "rotate");
    b->setParameters(std::move(p));
    b->initialize();
    InputSpec s;
    s.dims = {5, 6};
    s.dataType = *dravo::types::parseTypeName(type);
    b->propagate({s});
    b->start();
    return b;
}

std::string generatedText(Block& b, std::shared_ptr<CG::Pool> pool = nullptr) {
    auto h = TarnCG::makeHandle(b, "rotate", "rotate", std::move(pool));
    std::string err;
    EXPECT_TRUE(TarnCG::generateForBlock(b, *h, &err)) << err;
    std::string text = cgtest::emitText(*h);
    for (const auto& f : CG::emitCommon(*h->unit().pool))
        text += f.text;
    return text;
}

struct SkewSnippet {
    int method;
    const char* type;
    std::vector<const char*> expected;
};

}  // namespace

TEST(RotateSkewText, NamesSignaturesCommentsAndSections) {
    const std::vector<SkewSnippet> cases = {
        {1,
         "double",
         {"void skewNearest_in_D(const double* src, int32_t srcStart, int32_t srcLen, int32_t dstLen, "
          "double shift, int32_t srcStride, int32_t dstStride, double* dst, int32_t dstStart, int32_t "
          "firstPos, double fillVal)",
          "/* Skew function without interpolation (i.e. Nearest Neighbor) */", "/* Pad on the left edge */",
          "/* Process valid range */", "/* Pad on the right edge */"}},
        {2,
         "double",
         {"void skewBilinear_in_D(const double* src, int32_t srcStart, int32_t srcLen, int32_t dstLen, "
          "double shift, int32_t srcStride, int32_t dstStride, double* dst, int32_t dstStart, int32_t "
          "firstPos, double fillVal)",
          "/* Bilinear interpolation skew function */", "/* Pad on the left */",
          "/* Advance to the valid range */", "/* Process valid portion */", "/* Pad on the right */",
          "double fracPart", "double gFracPart", "int32_t mAP2"}},
        {3,
         "single",
         {"void skewBicubic_in_S(const float* src, int32_t srcStart, int32_t srcLen, int32_t dstLen, "
          "float shift, int32_t srcStride, int32_t dstStride, float* dst, int32_t dstStart, int32_t "
          "firstPos, float fillVal)",
          "/* Bicubic interpolation skew function */",
          "/* Compute weight for bicubic interpolating kernel */", "/* No need for interpolation */",
          "/* Interpolation is needed */", "/* Process central part */", "/* Process right edge */",
          "int32_t countb", "int32_t stopIdx", "int32_t mAP0"}},
    };
    for (const auto& c : cases) {
        auto b = startedRotate(c.method, c.type);
        const std::string t = generatedText(*b);
        for (const char* s : c.expected)
            EXPECT_NE(t.find(s), std::string::npos) << s << "\n" << t;
    }
}

TEST(RotateSkewText, ExactInteriorOnlyWhereProductsAndSumsFitInt64) {
    // The int64_t interior needs products landing unrounded on the working type's grid, and working word
    // plus sample word plus the product's shift onto that grid within 62 bits (worked out here by hand).
    const auto working = [](double pwl, double pfl, double awl, double afl) {
        // Sines by table (the fixed-point engine needs it).
        return std::map<int, double>{{5, 2}, {11, 0}, {12, pwl}, {13, pfl}, {14, 0}, {15, awl}, {16, afl}};
    };
    auto with = [](std::map<int, double> a, const std::map<int, double>& b) {
        for (const auto& [k, v] : b)
            a[k] = v;
        return a;
    };
    const struct {
        const char* type;
        std::map<int, double> params;
        bool exact;
        const char* why;
    } cases[] = {
        {"uint8", working(40, 22, 40, 22), true, "40 + 8 bits"},
        {"uint8", working(54, 30, 54, 30), true, "54 + 8 = 62 bits"},
        {"uint8", working(55, 30, 55, 30), false, "55 + 8 = 63 bits"},
        {"uint8", working(24, 10, 30, 12), false, "products on a finer grid than the sums"},
        {"fixed:s16:8", working(32, 16, 32, 16), false, "products rounded (sample fraction bits)"},
        {"int16", with(working(32, 12, 32, 12), {{17, 0}, {18, 12}, {19, -2}}), true,
         "samples of exponent 2: products shifted left by 2, 32 + 12 + 2 bits"},
    };
    for (const auto& c : cases) {
        auto b = startedRotate(2, c.type, c.params);
        const std::string t = generatedText(*b);
        EXPECT_EQ(t.find("sum = (int64_t)((uint64_t)sum + (uint64_t)term1)") != std::string::npos, c.exact)
            << c.type << ": " << c.why;
    }
    // The shifted products: w x sample x 4.
    auto b = startedRotate(3, "int16", with(working(32, 12, 32, 12), {{17, 0}, {18, 12}, {19, -2}}));
    EXPECT_NE(generatedText(*b).find("* (uint64_t)INT64_C(4))"), std::string::npos);
}

TEST(RotateSkewText, StepBodyNamedLocals) {
    auto b = startedRotate(2, "double");
    const std::string t = generatedText(*b);
    for (const char* s :
         {"int32_t rowsIn",       "int32_t colsIn",         "int32_t planes",
          "int32_t rowsOut",      "int32_t colsOut",        "int32_t outImageRows",
          "int32_t outImageCols", "double angleOfRotation", "double angleForTan",
          "double sinAngle",      "double cosAngle",        "double tanAngleBy2",
          "int32_t angleOk",      "int32_t swapRC",         "int32_t row2pad",
          "int32_t col2pad",      "int32_t shearBufRows",   "int32_t nColsAfterHorShear",
          "int32_t shearBufIdx",  "double fillVal",         "skewBilinear_in_D(dw_ShearedImage"})
        EXPECT_NE(t.find(s), std::string::npos) << s;
}

TEST(RotateSkewText, InstancesWhoseTypesAgreeShareOneFunction) {
    auto pool = std::make_shared<CG::Pool>();
    auto a = startedRotate(2, "double");
    auto b = startedRotate(2, "double", {{2, -1.0}});
    auto c = startedRotate(3, "double");
    auto d = startedRotate(2, "single");
    for (Block* blk : {a.get(), b.get(), c.get(), d.get()})
        generatedText(*blk, pool);
    std::vector<std::string> names;
    for (const auto& f : pool->functions())
        names.push_back(f->name);
    EXPECT_EQ(names,
              (std::vector<std::string>{"skewBilinear_in_D", "skewBicubic_in_D", "skewBilinear_in_S"}));
}

TEST(RotateSkewText, FixedPointNamesCarryEveryTypeAndTheModes) {
    // The name spells out all six types and the rounding and overflow modes, so functions whose numbers
    // could differ never share a name.
    auto pool = std::make_shared<CG::Pool>();
    const CG::Type in = CG::Type::fixedT(true, 16, -8), shift = CG::Type::fixedT(true, 32, -10);
    const CG::Type prod = CG::Type::fixedT(true, 32, -20), idx = CG::Type::intT(true, 32);
    CG::Diagnostics diag;
    CG::DiagnosticsScope scope(diag);
    const struct {
        int32_t rounding, overflow, method;
        const char* name;
    } cases[] = {
        {CG::RndFloor, CG::OvfWrap, 1,
         "skewNearest_in_s16En8out_s16En8shift_s32En10idx_s32_as32En10_ps32En20_Floor_Wrap"},
        {CG::RndNearest, CG::OvfSaturate, 1,
         "skewNearest_in_s16En8out_s16En8shift_s32En10idx_s32_as32En10_ps32En20_Nearest_Sat"},
        {CG::RndConvergent, CG::OvfWrap, 2,
         "skewBilinear_in_s16En8out_s16En8shift_s32En10idx_s32_as32En10_ps32En20_Convergent_Wrap"},
        {CG::RndZero, CG::OvfSaturate, 3,
         "skewBicubic_in_s16En8out_s16En8shift_s32En10idx_s32_as32En10_ps32En20_Zero_Sat"},
    };
    for (const auto& c : cases) {
        SkewGen g(pool, in, in, in, in, shift, shift, prod, idx, c.rounding, c.overflow, c.method);
        const CG::Function* f = g.findOrCreateFcn();
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->name, c.name);
        EXPECT_EQ(f->params.size(), 11u);
    }
    EXPECT_EQ(pool->functions().size(), 4u);
}

TEST(RotateSkewText, FixedPointBodiesQuantiseEachProductAndSum) {
    // uint8 bilinear at the dialog's defaults: products and sums s40.22, nearest, saturate.
    auto b = startedRotate(
        2, "uint8", {{5, 2}, {8, 1}, {9, 32}, {10, 30}, {11, 0}, {12, 40}, {13, 22}, {20, 4}, {21, 2}});
    const std::string t = generatedText(*b);
    for (const char* s :
         {"void skewBilinear_in_u8out_u8shift_s40En22idx_s32_as40En22_ps40En22_Nearest_Sat(",
          "/* Bilinear interpolation skew function */", "int64_t fracPart", "int64_t gFracPart",
          "int64_t acc", "DVRT_NEAREST, DVRT_SAT, 40, 1)", "DVRT_NEAREST, DVRT_SAT, 8, 0)",
          "int16_t twoPiVal", "int64_t angleOfRotation", "int64_t sinAngle", "int64_t tanAngleBy2",
          "rtp_PiValue[0]", "rtp_SineTable[", "/* One table interval per quarter degree. */"})
        EXPECT_NE(t.find(s), std::string::npos) << s << "\n" << t;
}

TEST(RotateSkewText, OverflowChoiceOtherThanWrapOrSaturateFailsTheAssertion) {
    CG::Diagnostics diag;
    {
        CG::DiagnosticsScope scope(diag);
        const CG::Type d = CG::Type::doubleT();
        SkewGen g(std::make_shared<CG::Pool>(), d, d, d, d, d, d, d, CG::Type::intT(true, 32), CG::RndFloor,
                  2, 2);
        EXPECT_FALSE(g.valid());
    }
    ASSERT_TRUE(diag.failed());
    EXPECT_NE(diag.error().message().find("ondskew"), std::string::npos) << diag.error().message();
}

TEST(RotateGenerationRefuses, ConfigurationsTheEmittedCodeDoesNotExpress) {
    // Fixed-point words above 64 bits, and a floating angle port with an integer image (its products
    // would be computed in floating point).
    const struct {
        std::map<int, double> params;
        const char* type;
        const char* reason;
    } cases[] = {
        {{{5, 2}, {11, 0}, {12, 70}, {13, 22}}, "uint8", "70-bit word"},
        {{{5, 2}, {14, 0}, {15, 65}, {16, 30}}, "fixed:s16:8", "65-bit word"},
        {{{5, 2}, {17, 0}, {18, 72}, {19, 4}}, "int16", "72-bit word"},
    };
    for (const auto& c : cases) {
        auto b = startedRotate(2, c.type, c.params);
        auto h = TarnCG::makeHandle(*b, "rot", "rotate");
        std::string err;
        EXPECT_FALSE(TarnCG::generateForBlock(*b, *h, &err)) << c.type;
        EXPECT_NE(err.find("block 'rot'"), std::string::npos) << err;
        EXPECT_NE(err.find(c.reason), std::string::npos) << err;
    }
}

// The unit and the shared skew functions build for a 32-bit embedded target as they are (no 128-bit type,
// no warnings), for every method and both floating types.
TEST(RotateGeneratedUnit, BuildsForCortexM4WithoutWarnings) {
    if (std::system("arm-none-eabi-gcc --version > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "arm-none-eabi-gcc not installed";
    for (int method = 1; method <= 3; ++method)
        for (const char* type : {"double", "single", "uint8", "fixed:s16:8"}) {
            const bool fixed = type[0] == 'u' || type[0] == 'f';
            if (type[0] == 'f' && method != 3) continue;  // uint8 covers the other methods
            // Integer and fixed-point images at the dialog's working types (s40.22: the wide helpers).
            std::map<int, double> p = {{5, fixed || method == 2 ? 2.0 : 1.0}};
            if (fixed) p.insert({{11, 0}, {12, 40}, {13, 22}, {8, 1}, {9, 32}, {10, 30}, {20, 4}, {21, 2}});
            auto b = startedRotate(method, type, p);
            auto h = TarnCG::makeHandle(*b, "rot", "rotate");
            std::string err;
            ASSERT_TRUE(TarnCG::generateForBlock(*b, *h, &err)) << err;
            const std::string dir = cgtest::workDir(std::string("rotate_arm_") + (fixed ? "fx" : "") +
                                                    std::to_string(method) + type[0]);
            std::filesystem::remove_all(dir);
            ASSERT_TRUE(CG::writeUnit(h->unit(), dir, &err)) << err;
            const std::string cmd =
                "cd '" + dir +
                "' && arm-none-eabi-gcc -mcpu=cortex-m4 -mthumb -std=c99 -Wall -Wextra -Werror "
                "-ffp-contract=off -O2 -c rot.c dravo_common.c > build.log 2>&1";
            EXPECT_EQ(std::system(cmd.c_str()), 0) << "see " << dir << "/build.log";
        }
}

// Narrow working types keep every intermediate within 64 bits: the unit is plain C99 on int64_t and
// neither includes nor writes the 128-bit helpers.
TEST(RotateGeneratedUnit, NarrowFixedPointTypesNeedNoWideHelpers) {
    for (int method = 1; method <= 3; ++method) {
        auto b = startedRotate(
            method, "uint8",
            {{5, 2}, {8, 0}, {9, 16}, {10, 13}, {11, 0}, {12, 24}, {13, 12}, {14, 0}, {15, 24}, {16, 12}});
        auto h = TarnCG::makeHandle(*b, "rot", "rotate");
        std::string err;
        ASSERT_TRUE(TarnCG::generateForBlock(*b, *h, &err)) << err;
        const std::string dir = cgtest::workDir("rotate_narrow" + std::to_string(method));
        std::filesystem::remove_all(dir);
        ASSERT_TRUE(CG::writeUnit(h->unit(), dir, &err)) << err;
        EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(dir) / CG::wideHeaderName())) << dir;
        const std::string t = generatedText(*b);
        EXPECT_EQ(t.find("dvrt_w_"), std::string::npos) << t;
        EXPECT_EQ(t.find("__int128"), std::string::npos);
    }
}

// An angle type coarse enough (fraction length -3) that rounding t - 2*pi up gives t back: the
// simulation's wrap loop never ends, the generated step stops at the first turn that does not decrease
// the angle and finishes (under UndefinedBehaviorSanitizer) with an output of the expanded size.
TEST(RotateGeneratedUnit, CoarseAngleWrapTerminates) {
    auto b = startedRotate(2, "uint8", {{2, 8.0}, {5, 2}, {8, 0}, {9, 8}, {10, -3}, {20, 1}});
    auto h = TarnCG::makeHandle(*b, "rot", "rotate");
    std::string err;
    ASSERT_TRUE(TarnCG::generateForBlock(*b, *h, &err)) << err;
    EXPECT_NE(cgtest::emitText(*h).find("wrapStalled"), std::string::npos);
    CG::HarnessOptions o;
    o.workDir = cgtest::workDir("rotate_coarse_wrap");
    o.sanitize = true;
    const CG::HarnessResult r = CG::buildAndRun(h->unit(), {{std::vector<uint8_t>(30, 7), {}}}, o);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.outputs.size(), 1u);
    EXPECT_FALSE(r.outputs[0].bytes.empty());
}
