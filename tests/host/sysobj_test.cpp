// The block-side API outside the lifecycle: dimension records, allocator, small helpers.
#include <gtest/gtest.h>

#include "test_support.h"

using namespace hosttest;

namespace {

// A block initialized but not yet propagated: port setters are allowed.
struct InitializedBlock {
    Block block{Plugin::load("dravo_testblock"), "api"};
    InitializedBlock() {
        block.setParameters(testParams(1, 0, 2));
        block.initialize();
    }
    sysobj::SysObjAdaptorSFun* h() { return block.handle(); }
    std::string takeError() {
        const char* e = sysobj::ssGetErrorStatus(h());
        std::string s = e ? e : "";
        sysobj::ssSetErrorStatus(h(), nullptr);
        return s;
    }
};

TEST(Sysobj, DefaultDimensionRecordMeansUnset) {
    DimsInfo_tag d = sysobj::getDefaultDimensionInfo();
    EXPECT_EQ(d.width, -1);
    EXPECT_EQ(d.numDims, -1);
    EXPECT_EQ(d.dims, nullptr);
    InitializedBlock b;
    int32_t dims[2] = {2, 2};
    DimsInfo_tag set{4, 2, dims, nullptr};
    ASSERT_TRUE(sysobj::ssSetInputPortDimensionInfo(b.h(), 0, &set));
    EXPECT_EQ(sysobj::ssGetInputPortWidth(b.h(), 0), 4);
    ASSERT_TRUE(sysobj::ssSetInputPortDimensionInfo(b.h(), 0, &d));
    EXPECT_EQ(sysobj::ssGetInputPortWidth(b.h(), 0), -1);
    EXPECT_EQ(sysobj::ssGetInputPortNumDimensions(b.h(), 0), -1);
    // Unset dims still read safely.
    ASSERT_NE(sysobj::ssGetInputPortDimensions(b.h(), 0), nullptr);
    EXPECT_EQ(sysobj::ssGetInputPortDimensions(b.h(), 0)[0], -1);
}

struct DimsCase {
    const char* label;
    int32_t width, numDims;
    std::vector<int32_t> dims;  // empty: null pointer
    bool accepted;
    int32_t storedWidth;
    std::vector<int32_t> storedDims;
};

class SysobjDims : public ::testing::TestWithParam<DimsCase> {};

TEST_P(SysobjDims, RecordsAreCheckedAndStored) {
    const DimsCase& c = GetParam();
    InitializedBlock b;
    std::vector<int32_t> dims = c.dims;
    DimsInfo_tag di{c.width, c.numDims, dims.empty() ? nullptr : dims.data(), nullptr};
    EXPECT_EQ(sysobj::ssSetOutputPortDimensionInfo(b.h(), 0, &di), c.accepted);
    std::string err = b.takeError();
    EXPECT_EQ(err.empty(), c.accepted) << err;
    if (!c.accepted) {
        EXPECT_EQ(err.rfind("ssSetOutputPortDimensionInfo: ", 0), 0u) << err;
        return;
    }
    EXPECT_EQ(sysobj::ssGetOutputPortWidth(b.h(), 0), c.storedWidth);
    ASSERT_EQ(sysobj::ssGetOutputPortNumDimensions(b.h(), 0), static_cast<int32_t>(c.storedDims.size()));
    const int32_t* got = sysobj::ssGetOutputPortDimensions(b.h(), 0);
    for (size_t k = 0; k < c.storedDims.size(); ++k)
        EXPECT_EQ(got[k], c.storedDims[k]);
}

INSTANTIATE_TEST_SUITE_P(Records, SysobjDims,
                         ::testing::Values(DimsCase{"matrix", 6, 2, {2, 3}, true, 6, {2, 3}},
                                           DimsCase{"width_free", -1, 2, {2, 3}, true, 6, {2, 3}},
                                           DimsCase{"vector_without_sizes", 5, 1, {}, true, 5, {5}},
                                           DimsCase{"three_d", 24, 3, {2, 3, 4}, true, 24, {2, 3, 4}},
                                           DimsCase{"partly_free", -1, 2, {-1, 3}, true, -1, {-1, 3}},
                                           DimsCase{"empty_signal", 0, 2, {0, 3}, true, 0, {0, 3}},
                                           DimsCase{"width_mismatch", 5, 2, {2, 3}, false, 0, {}},
                                           DimsCase{"bad_size", -1, 2, {2, -4}, false, 0, {}},
                                           DimsCase{"sizes_missing", 6, 2, {}, false, 0, {}},
                                           DimsCase{"too_large", -1, 2, {65536, 65536}, false, 0, {}}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(Sysobj, PruneDropsTrailingSingletonsDownToTwo) {
    int32_t d[5] = {4, 1, 1, 1, 1};
    DimsInfo_tag di{4, 5, d, nullptr};
    sysobj::ssPruneNDMatrixSingletonDims(nullptr, &di);
    EXPECT_EQ(di.numDims, 2);
    int32_t e[4] = {4, 1, 3, 1};
    DimsInfo_tag ei{12, 4, e, nullptr};
    sysobj::ssPruneNDMatrixSingletonDims(nullptr, &ei);
    EXPECT_EQ(ei.numDims, 3);
    sysobj::ssPruneNDMatrixSingletonDims(nullptr, nullptr);  // null-safe
}

TEST(Sysobj, UtilityAllocatorIsZeroedAndNullSafe) {
    auto* p = static_cast<unsigned char*>(sysobj::utCalloc(16, 4));
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 64; ++i)
        EXPECT_EQ(p[i], 0);
    sysobj::utFree(p);
    sysobj::utFree(nullptr);
    EXPECT_EQ(sysobj::utCalloc(SIZE_MAX / 2, 4), nullptr);  // overflowing request refused, not wrapped
}

TEST(Sysobj, DataTypeQueries) {
    EXPECT_EQ(sysobj::ssGetDataTypeSize(nullptr, SS_UINT16), 2);
    EXPECT_EQ(sysobj::ssGetDataTypeSize(nullptr, 12345), 0);
    EXPECT_EQ(sysobj::ssGetDataTypeSize(nullptr, DYNAMICALLY_TYPED), 0);
    EXPECT_STREQ(sysobj::ssGetDataTypeName(nullptr, SS_BOOLEAN), "boolean");
    EXPECT_STREQ(sysobj::ssGetDataTypeName(nullptr, DYNAMICALLY_TYPED), "unset");
    EXPECT_EQ(sysobj::ssGetDataTypeZero(nullptr, 12345), nullptr);
}

TEST(Sysobj, NullHandleIsHarmless) {
    EXPECT_FALSE(sysobj::ssSetNumInputPorts(nullptr, 1));
    EXPECT_EQ(sysobj::ssGetInputPortWidth(nullptr, 0), -1);
    EXPECT_EQ(sysobj::ssGetErrorStatus(nullptr), nullptr);
    EXPECT_EQ(sysobj::ssGetSFcnParam(nullptr, 0), nullptr);
    sysobj::ssSetErrorStatus(nullptr, "x");
    sysobj::ssWarning(nullptr, "", "x");
}

TEST(Sysobj, FrameDataOfferWithoutCallbackIsTaken) {
    Block b(Plugin::load("dravo_minblock"), "frames");
    b.propagate({InputSpec{{4, 1}, SS_DOUBLE, 0, 0, 1}});
    EXPECT_EQ(b.inputPort(0).frameData, 1);
    EXPECT_EQ(b.outputPort(0).frameData, 0);  // host default for the untouched output
}

TEST(Sysobj, VariableSizeOfferWithoutCallbackIsTaken) {
    Block b(Plugin::load("dravo_minblock"), "var");
    b.propagate({InputSpec{{4, 4}, SS_DOUBLE, 0, 1, 0}});
    EXPECT_EQ(b.inputPort(0).dimsMode, 1);
    std::vector<double> u = {1, 2, 3, 4};
    setInputFrom(b, 0, u, {2, 2});
    EXPECT_EQ(sysobj::ssGetCurrentInputPortWidth(b.handle(), 0), 4);
    EXPECT_EQ(sysobj::ssGetCurrentInputPortDimensions(b.handle(), 0, 1), 2);
    EXPECT_EQ(sysobj::ssGetCurrentInputPortDimensions(b.handle(), 0, 5), 1);  // trailing singleton
}

}  // namespace
