// Set-up of the rotate plug-in through the host: output sizes, work vectors, run-time parameters, the
// choice of engine and the checks with their messages.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include <dlfcn.h>

#include <random>

#include "block_support.h"
#include "geometry_oracle.h"

using namespace rotatetest;
using dravo::host::BlockError;

namespace {

int32_t dworkWidth(const Block& b, const std::string& name) {
    for (const auto& w : b.dworks())
        if (w.name == name) return w.width;
    return -1;
}

const dravo::host::RtpInfo* rtp(const std::vector<dravo::host::RtpInfo>& all, const std::string& name) {
    for (const auto& r : all)
        if (r.name == name) return &r;
    return nullptr;
}

TEST(RotateSetup, ExpandedSizeAndWorkVectorsOfTheExample) {
    auto b = makeBlock({{2, Array::scalar(0.5)}}, {image({100, 60})});
    EXPECT_EQ(b->outputPort(0).dims, (std::vector<int32_t>{118, 102}));
    b->start();
    // R, C -> 101, 61; w = trunc(tan(0.25)*101 + 61 + 1) = 87; m = max(87, 102, 118) = 118;
    // n = max(101, 61, 118) = 118 (odd: 119). Line 118 (+1), buffer 119 * 119.
    EXPECT_EQ(dworkWidth(*b, "LineBuffer"), 119);
    EXPECT_EQ(dworkWidth(*b, "ShearedImage"), 119 * 119);
    const auto dworks = b->dworks();
    ASSERT_EQ(dworks.size(), 2u);
    EXPECT_EQ(dworks[0].name, "LineBuffer");
    EXPECT_EQ(dworks[0].usageType, 0);
    EXPECT_EQ(dworks[1].usageType, 2);
    EXPECT_EQ(dworks[1].dataType, SS_DOUBLE);
}

TEST(RotateSetup, PortAngleOutputIsTheDiagonal) {
    auto b = makeBlock({{1, Array::scalar(2)}}, {image({3, 4}), image({1, 1})});
    EXPECT_EQ(b->outputPort(0).dims, (std::vector<int32_t>{5, 6}));
    b->start();
    // Port angle: t = tan(pi/4) (just under 1); R, C -> 3, 5; w = max(trunc(t*3+5+1), trunc(t*5+3+1)) = 9;
    // m = max(9, 6, 5) = 9, n = max(3, 5, 5) = 5. The rotated rows C' sin + R' cos reach the diagonal 5
    // near atan(4/3); rounded a hair above it they give ceil 6, and 7 after the parity step for R' = 3:
    // the buffer takes 7 rows. Line max(9, 7) (+1), buffer 10 * 7.
    EXPECT_EQ(dworkWidth(*b, "LineBuffer"), 10);
    EXPECT_EQ(dworkWidth(*b, "ShearedImage"), 70);
    const auto rtps = b->runTimeParams();
    ASSERT_NE(rtp(rtps, "MaxAngle"), nullptr);
    EXPECT_EQ(rtp(rtps, "Angle"), nullptr);
}

TEST(RotateSetup, QuarterTurnFromTheDialogSwapsSidesWithoutWorkVectors) {
    auto b = makeBlock({{2, Array::scalar(kPi / 2)}}, {image({7, 4})});
    EXPECT_EQ(b->outputPort(0).dims, (std::vector<int32_t>{4, 7}));
    b->start();
    EXPECT_TRUE(b->dworks().empty());
}

TEST(RotateSetup, QuarterTurnSameSizeNonSquareTakesTheGeneralPath) {
    auto b = makeBlock({{0, Array::scalar(2)}, {2, Array::scalar(kPi / 2)}}, {image({7, 4})});
    EXPECT_EQ(b->outputPort(0).dims, (std::vector<int32_t>{7, 4}));
    b->start();
    EXPECT_EQ(b->dworks().size(), 2u);
}

TEST(RotateSetup, OnePixelImageNeverDeclaresWorkVectors) {
    for (double angle : {0.3, 1.0, -2.0}) {
        auto b = makeBlock({{2, Array::scalar(angle)}}, {image({1, 1, 3})});
        b->start();
        EXPECT_TRUE(b->dworks().empty()) << angle;
    }
}

TEST(RotateSetup, RunTimeParametersHoldTheDialogValuesAndTheSineTable) {
    auto b = makeBlock({{2, Array::scalar(0.25)}, {5, Array::scalar(2)}, {6, Array::realVector({1, 2, 3})}},
                       {image({8, 9, 3}, SS_SINGLE)});
    b->start();
    const auto rtps = b->runTimeParams();
    ASSERT_EQ(rtps.size(), 3u);
    EXPECT_EQ(rtps[0].name, "FillValue");
    EXPECT_EQ(rtps[0].dataType, SS_SINGLE);
    float fill[3];
    std::memcpy(fill, rtps[0].bytes.data(), sizeof fill);
    EXPECT_EQ(fill[2], 3.0f);
    EXPECT_EQ(rtps[1].name, "Angle");
    float angle;
    std::memcpy(&angle, rtps[1].bytes.data(), sizeof angle);
    EXPECT_EQ(angle, 0.25f);
    const auto* table = rtp(rtps, "SineTable");
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->dims, (std::vector<int32_t>{1, 362}));
    ASSERT_EQ(table->bytes.size(), 362 * sizeof(float));
    float last;
    std::memcpy(&last, table->bytes.data() + 361 * sizeof(float), sizeof last);
    EXPECT_NEAR(last, std::sin(361 * kPi / 720), 1e-6);
}

TEST(RotateSetup, TrigonometricFunctionsNeedNoTable) {
    auto b = makeBlock({}, {image({8, 9})});
    b->start();
    EXPECT_EQ(b->runTimeParams().size(), 2u);
}

TEST(RotateSetup, FillValueIsTheOnlyTunableParameter) {
    auto b = makeBlock({}, {image({8, 9})});
    for (int i = 0; i < 22; ++i)
        EXPECT_EQ(b->isParamTunable(i), i == 6) << i;
}

// Single images reduce the single angle with single constants: at 3*pi/2 the single reduction lands just
// below a quarter-turn boundary (a shear of nearly pi/2) where the double one takes out a quarter turn.
// The work vectors must hold the single kernel's geometry.
TEST(RotateSetup, SingleImageWorkVectorsHoldTheSingleGeometry) {
    int crossings = 0;
    for (double angle : {3 * kPi / 2, 5 * kPi / 2, 3 * kPi, 7 * kPi / 2}) {
        bool dSwap = false, fSwap = false;
        const double dTheta = rotateoracle::reduce(angle, &dSwap);
        const float fTheta = rotateoracle::reduce(static_cast<float>(angle), &fSwap);
        crossings += dSwap != fSwap;
        auto b = makeBlock({{0, Array::scalar(2)}, {2, Array::scalar(angle)}}, {image({20, 31}, SS_SINGLE)});
        b->start();
        const int32_t rowsPre = fSwap ? 31 : 20, colsPre = fSwap ? 20 : 31;
        const rotateoracle::Geometry<float> g =
            rotateoracle::geometry<float>(fTheta, rowsPre, colsPre, nullptr);
        // Same-size mode at a whole number of quarter turns: the full size is the input's, turned.
        const int32_t fullRows = int32_t(std::lround(angle / (kPi / 2))) % 2 ? 31 : 20;
        const int32_t stride = std::max({fullRows, rowsPre, g.H});
        EXPECT_GE(dworkWidth(*b, "LineBuffer") - 1, std::max(g.S, stride)) << angle;
        EXPECT_GE(dworkWidth(*b, "ShearedImage"), stride * g.S) << angle;
        std::vector<float> in(20 * 31, 1.0f);
        setInputValues(*b, 0, in);
        EXPECT_NO_THROW(b->step()) << angle << " double theta " << dTheta << " single theta " << fTheta;
    }
    EXPECT_GT(crossings, 0) << "no angle lands on different sides in single and double precision";
}

// The work vectors hold every step's layout: the sheared buffer stride x S elements, the line buffer a
// sheared row and a sheared column, with the stride from the full rows, the image rows and the rotated
// rows. The exported sizing helper gives the sizes the block declared.
TEST(RotateSetup, WorkVectorsHoldTheLayoutOfTheStep) {
    using DWorks = void(sysobj::SysObjAdaptorSFun*, int32_t*, int32_t*);
    void* h = dlopen(plugin()->path().c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(h, nullptr);
    DWorks* sizes = reinterpret_cast<DWorks*>(dlsym(h, "getDWorksSize"));
    dlclose(h);
    ASSERT_NE(sizes, nullptr);
    double table[362];
    rotateoracle::sineTable(table);
    std::mt19937 rng(7);
    std::uniform_int_distribution<int32_t> side(1, 30);
    std::uniform_real_distribution<double> nearTurn(-1e-3, 1e-3);
    std::uniform_real_distribution<double> anyTurn(-7.0, 7.0);
    int checked = 0;
    for (int n = 0; n < 300; ++n) {
        const int32_t R = side(rng), C = side(rng);
        // Half the angles a hair from a quarter turn, where the rotated size passes the full size.
        const double angle = n % 2 ? anyTurn(rng) : (n / 2 % 4) * (kPi / 2) + nearTurn(rng);
        const bool sameSize = n % 3 == 0;
        const bool byTable = n % 5 < 2;
        auto b = makeBlock({{0, Array::scalar(sameSize ? 2 : 1)},
                            {2, Array::scalar(angle)},
                            {5, Array::scalar(byTable ? 2 : 1)}},
                           {image({R, C})});
        b->start();
        if (b->dworks().empty()) continue;  // a quarter turn by permutation
        int32_t line = 0, sheared = 0;
        sizes(b->handle(), &line, &sheared);
        EXPECT_EQ(dworkWidth(*b, "LineBuffer"), line + 1);
        EXPECT_EQ(dworkWidth(*b, "ShearedImage"), sheared);
        bool swap = false;
        const double theta = rotateoracle::reduce(angle, &swap);
        const int32_t rowsPre = swap ? C : R, colsPre = swap ? R : C;
        const rotateoracle::Geometry<double> g =
            rotateoracle::geometry<double>(theta, rowsPre, colsPre, byTable ? table : nullptr);
        int32_t fullRows = b->outputPort(0).dims[0];
        if (sameSize) {
            const double q = angle / (kPi / 2);
            const double k = std::trunc(q);
            if (std::fabs(k - q) < 1e-5)
                fullRows = int64_t(k) % 2 ? C : R;
            else
                fullRows = 2 * int32_t(std::ceil(
                                   (std::fabs(std::cos(angle)) * R + std::fabs(std::sin(angle)) * C) * 0.5 -
                                   (R % 2 ? 0.5 : 0.0))) +
                           (R % 2 ? 1 : 0);
        }
        const rotateoracle::Layout l =
            rotateoracle::layout(g.H, g.W, g.S, rowsPre, colsPre, fullRows, 0, false);
        EXPECT_GE(int64_t(sheared), int64_t(l.stride) * g.S) << R << "x" << C << " at " << angle;
        EXPECT_GE(line, std::max(g.S, l.columnLen)) << R << "x" << C << " at " << angle;
        setInputValues(*b, 0, std::vector<double>(size_t(R) * C, 1.0));
        EXPECT_NO_THROW(b->step()) << R << "x" << C << " at " << angle;
        ++checked;
    }
    EXPECT_GT(checked, 200);
}

TEST(RotateStart, IntegerImageWithTrigonometricSineFails) {
    auto b = makeBlock({{5, Array::scalar(1)}}, {image({8, 9}, SS_UINT8)});
    try {
        b->start();
        FAIL() << "start succeeded";
    } catch (const BlockError& e) {
        EXPECT_EQ(e.messageClass(), "dspshared::system::sineMethodNotTable");
    }
}

struct BadSetting {
    std::map<int, double> params;
    std::vector<int32_t> dims;
    std::string expectClass;  // empty: a plain text containing expectText
    std::string expectText;
};

class RotateChecks : public ::testing::TestWithParam<BadSetting> {};

TEST_P(RotateChecks, RefusedWithItsMessage) {
    const BadSetting c = GetParam();
    std::map<int, Array> set;
    for (auto [i, v] : c.params)
        set[i] = Array::scalar(v);
    try {
        auto b = makeBlock(set, {image(c.dims)});
        b->start();
        FAIL() << "accepted";
    } catch (const BlockError& e) {
        if (!c.expectClass.empty()) {
            EXPECT_EQ(e.messageClass(), c.expectClass) << e.text();
        }
        if (!c.expectText.empty()) {
            EXPECT_NE(e.text().find(c.expectText), std::string::npos) << e.text();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Messages, RotateChecks,
    ::testing::Values(BadSetting{{{0, 3}}, {4, 4}, "", ""}, BadSetting{{{7, 4}}, {4, 4}, "", ""},
                      BadSetting{{{2, NAN}}, {4, 4}, "", "Angle (radians) cannot be Inf or NaN"},
                      BadSetting{{{2, INFINITY}}, {4, 4}, "", "cannot be Inf or NaN"},
                      BadSetting{{{8, 0}, {9, 1}}, {4, 4}, "dspshared::system::sgnFixptWdLenWrong1", ""},
                      BadSetting{{{17, 0}, {19, 1.5}}, {4, 4}, "dspshared::system::fixptFracLenNotInt1", ""},
                      BadSetting{{{20, 8}}, {4, 4}, "", ""},
                      BadSetting{{}, {4, 4, 2, 2}, "", "more than 3 dimensions"}));

TEST(RotateChecks, FillValuesMustMatchThePlanes) {
    try {
        auto b = makeBlock({{6, Array::realVector({1, 2})}}, {image({4, 5, 3})});
        FAIL() << "accepted";
    } catch (const BlockError& e) {
        EXPECT_EQ(e.messageClass(), "vision::system::backgroundWrongDim");
    }
    EXPECT_NO_THROW(makeBlock({{6, Array::realVector({1, 2, 3})}}, {image({4, 5, 3})}));
}

TEST(RotateChecks, AngleInputMustBeScalar) {
    try {
        auto b = makeBlock({{1, Array::scalar(2)}}, {image({4, 5}), image({1, 2})});
        FAIL() << "accepted";
    } catch (const BlockError& e) {
        EXPECT_EQ(e.messageClass(), "vision::system::angleNotScalar");
    }
}

}  // namespace

#include <dlfcn.h>

namespace {

// The named helpers the plug-in exports, looked up as another component would.
template <typename F>
F* exported(const char* name) {
    void* h = dlopen(plugin()->path().c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (h == nullptr) return nullptr;
    F* f = reinterpret_cast<F*>(dlsym(h, name));
    dlclose(h);
    return f;
}

TEST(RotateExports, SizingHelpers) {
    using MaxW = int32_t(double, int32_t, int32_t);
    using FullDims = void(sysobj::SysObjAdaptorSFun*, int32_t, int32_t, int32_t*, int32_t*);
    using Multiple = bool(sysobj::SysObjAdaptorSFun*, int32_t*);
    using DWorks = void(sysobj::SysObjAdaptorSFun*, int32_t*, int32_t*);
    MaxW* maxW = exported<MaxW>("maxPossibleWmaxSize_D");
    FullDims* full = exported<FullDims>("getFullOutputDimsForRotation");
    Multiple* multiple = exported<Multiple>("isAngleMultipleOfPiB2");
    DWorks* dworks = exported<DWorks>("getDWorksSize");
    ASSERT_TRUE(maxW && full && multiple && dworks);
    for (const char* name : {"ondCreateSineTableRTP", "mdlStartFltPt", "mdlStartFixPt"})
        EXPECT_NE(exported<void()>(name), nullptr) << name;

    // trunc(|tan(0.25)| * 100 + 60 + 1) = trunc(86.53) = 86, for either sign of the angle.
    EXPECT_EQ(maxW(0.5, 100, 60), 86);
    EXPECT_EQ(maxW(-0.5, 100, 60), 86);

    auto b = makeBlock({{2, Array::scalar(0.5)}}, {image({100, 60})});
    int32_t rows = 0, cols = 0;
    full(b->handle(), 100, 60, &rows, &cols);
    EXPECT_EQ(rows, 118);
    EXPECT_EQ(cols, 102);
    int32_t q = 7;
    EXPECT_FALSE(multiple(b->handle(), &q));
    EXPECT_EQ(q, -1);
    int32_t line = 0, sheared = 0;
    dworks(b->handle(), &line, &sheared);
    EXPECT_EQ(line, 118);
    EXPECT_EQ(sheared, 119 * 119);

    auto turned = makeBlock({{2, Array::scalar(-kPi / 2)}}, {image({5, 3})});
    EXPECT_TRUE(multiple(turned->handle(), &q));
    EXPECT_EQ(q, 3);
    full(turned->handle(), 5, 3, &rows, &cols);
    EXPECT_EQ(rows, 3);
    EXPECT_EQ(cols, 5);
}

}  // namespace
