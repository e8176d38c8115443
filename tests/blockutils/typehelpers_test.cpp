// Small type helpers, the scaled-double refusal and the code-generation type parameter.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "blockutils.h"
#include "dravo/host/types.h"
#include "probe_block.h"

namespace {

using dravo::host::InputSpec;
namespace types = dravo::types;

TEST(DoubleClassifiers, NaNAndFinite) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double denormal = std::numeric_limits<double>::denorm_min();
    const double max = std::numeric_limits<double>::max();
    struct Row {
        double v;
        bool isNaN, isFinite;
    };
    for (const Row& r : std::vector<Row>{{0.0, false, true},
                                         {-0.0, false, true},
                                         {denormal, false, true},
                                         {max, false, true},
                                         {-max, false, true},
                                         {inf, false, false},
                                         {-inf, false, false},
                                         {nan, true, false},
                                         {-nan, true, false}}) {
        EXPECT_EQ(blockutils::isNaNDouble(r.v), r.isNaN) << r.v;
        EXPECT_EQ(blockutils::isFiniteDouble(r.v), r.isFinite) << r.v;
    }
}

TEST(BuiltInTypes, IntegerAndFloatIds) {
    for (DataTypeId id = -2; id <= 12; ++id) {
        EXPECT_EQ(blockutils::isBuiltInIntegerType(id), id >= 2 && id <= 7) << id;
        EXPECT_EQ(blockutils::isBuiltInFloatType(id), id == 0 || id == 1) << id;
    }
}

TEST(ScaledDouble, RefusedWithItsOwnText) {
    const DataTypeId scaled = types::registerScaledDouble(true, 16, 8);
    const DataTypeId fixed = types::registerFixedPoint(true, 16, 8);
    for (DataTypeId id : std::vector<DataTypeId>{SS_DOUBLE, SS_BOOLEAN, SS_UINT8, fixed}) {
        DataTypeId got = -99;
        const probe::CallResult r = probe::inCheckParameters(
            [&](probe::Handle* S) { got = blockutils::checkNotScaledDouble(S, id); });
        EXPECT_EQ(got, id);
        EXPECT_FALSE(r.threw);
    }
    DataTypeId got = 0;
    const probe::CallResult r = probe::inCheckParameters(
        [&](probe::Handle* S) { got = blockutils::checkNotScaledDouble(S, scaled); });
    EXPECT_EQ(got, -10);
    ASSERT_TRUE(r.threw);
    EXPECT_EQ(r.text, "Scaled doubles not yet supported.");
}

TEST(ScaledDouble, PortVariantsReadThePortType) {
    const DataTypeId scaled = types::registerScaledDouble(false, 8, 0);
    probe::Hooks hooks;
    DataTypeId in = 0, out = 0;
    hooks.start = [&](probe::Handle* S) {
        in = blockutils::checkNotScaledDoubleInputPort(S, 0);
        out = blockutils::checkNotScaledDoubleOutputPort(S, 0);
    };
    {
        probe::Block b(hooks);
        b->initialize();
        b->propagate({InputSpec{{2, 2}, SS_UINT8}});
        b->start();
        EXPECT_EQ(in, SS_UINT8);
        EXPECT_EQ(out, SS_UINT8);
    }
    probe::Block b(hooks);
    b->initialize();
    b->propagate({InputSpec{{2, 2}, scaled}});
    EXPECT_THROW(b->start(), dravo::host::BlockError);
    EXPECT_EQ(in, -10);
}

TEST(CodeGenParam, FixedPointIdWrittenAsInt32) {
    probe::Hooks hooks;
    hooks.setWorkWidths = [](probe::Handle* S) {
        blockutils::writeFixptDataTypeParam(S, 20, 9, 0, "ProdDT");
    };
    dravo::host::Settings settings;
    settings.dataTypeOverride = 1;  // argument 0 keeps the type as given even under the override
    probe::Block b(hooks, {}, settings);
    b->initialize();
    b->propagate({InputSpec{{1, 1}, SS_DOUBLE}});
    b->start();
    const auto& pairs = b->nameValuePairs();
    ASSERT_EQ(pairs.size(), 1u);
    EXPECT_EQ(pairs[0].kind, 8);
    EXPECT_EQ(pairs[0].name, "ProdDT");
    EXPECT_EQ(pairs[0].dataType, SS_INT32);
    EXPECT_EQ(pairs[0].rows, 1);
    EXPECT_EQ(pairs[0].cols, 1);
    ASSERT_EQ(pairs[0].bytes.size(), 4u);
    int32_t id;
    std::memcpy(&id, pairs[0].bytes.data(), 4);
    EXPECT_EQ(id, types::registerFixedPoint(false, 20, 9));
}

TEST(CodeGenParam, RefusedPairReportsTheWriteFailure) {
    probe::Hooks hooks;
    hooks.setWorkWidths = [](probe::Handle* S) { blockutils::writeFixptDataTypeParam(S, 16, 4, 1, nullptr); };
    probe::Block b(hooks);
    b->initialize();
    b->propagate({InputSpec{{1, 1}, SS_DOUBLE}});
    try {
        b->start();
        ADD_FAILURE() << "no error";
    } catch (const dravo::host::BlockError& e) {
        // The host names its refusal first or takes the block's text; either way the write is reported.
        EXPECT_FALSE(e.text().empty());
    }
    EXPECT_TRUE(b->nameValuePairs().empty());
}

}  // namespace
