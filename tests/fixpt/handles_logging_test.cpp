// Data attributes handles, refusals at creation, the block form of the handle, the default properties
// record, and min/max/overflow logging with the merge by label.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>

#include "dravo/host/types.h"
#include "vekfixpt.h"

namespace {

using namespace VekDSPFixpt;

struct BadType {
    NumType type;
    int32_t rounding;
    int32_t overflow;
    const char* expectedWords;
};

class Refusals : public ::testing::TestWithParam<BadType> {};

TEST_P(Refusals, UnsupportedHandlesAreRefusedAtCreation) {
    const BadType c = GetParam();
    const NumType ok = NumType::fixed(true, 16, 0);
    DSPDataAttributesHandle h(c.type, ok, ok, c.rounding, c.overflow, "Bad");
    EXPECT_FALSE(h.isValid());
    EXPECT_NE(h.errorMessage().find(c.expectedWords), std::string::npos) << h.errorMessage();
    try {
        std::unique_ptr<Fixpt> x(FixptFactory::createFixpt(h, nullptr, 1));
        ADD_FAILURE() << "created from an invalid handle";
    } catch (const std::invalid_argument& e) {
        EXPECT_NE(std::string(e.what()).find(c.expectedWords), std::string::npos) << e.what();
    }
    // Block side: null, with the reason kept for the error status.
    EXPECT_EQ(FixptFactory::createFixpt(nullptr, &h), nullptr);
    EXPECT_NE(std::string(FixptFactory::lastError()).find(c.expectedWords), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Handles, Refusals,
    ::testing::Values(BadType{NumType::fixed(true, 1, 0), 3, 1, "word length 1"},
                      BadType{NumType::fixed(true, 0, 0), 3, 1, "word length 0"},
                      BadType{NumType::fixed(false, 129, 0), 3, 1, "word length 129"},
                      BadType{NumType::fixed(true, -5, 0), 3, 1, "word length -5"},
                      BadType{NumType::fixed(true, 16, 513), 3, 1, "fraction length 513"},
                      BadType{NumType::fixed(true, 16, -600), 3, 1, "fraction length -600"},
                      BadType{NumType::fixed(true, 16, 0), 7, 1, "rounding code 7"},
                      BadType{NumType::fixed(true, 16, 0), -1, 1, "rounding code -1"},
                      BadType{NumType::fixed(true, 16, 0), 3, 2, "overflow code 2"}));

TEST(Handles, ProductAndAccumulatorTypesAreCheckedToo) {
    const NumType ok = NumType::fixed(true, 16, 0);
    DSPDataAttributesHandle p(ok, NumType::fixed(true, 200, 0), ok, 3, 1, "x");
    EXPECT_FALSE(p.isValid());
    EXPECT_NE(p.errorMessage().find("product word length 200"), std::string::npos);
    DSPDataAttributesHandle a(ok, ok, NumType::fixed(true, 16, 9999), 3, 1, "x");
    EXPECT_NE(a.errorMessage().find("accumulator fraction length 9999"), std::string::npos);
}

TEST(Handles, ElementCountsAreCheckedAtCreation) {
    const NumType t = NumType::fixed(true, 16, 0);
    DSPDataAttributesHandle h(t, t, t, 3, 1, "Counted");
    int16_t data[4] = {};
    EXPECT_THROW(FixptFactory::createFixpt(h, data, 0), std::invalid_argument);
    EXPECT_THROW(FixptFactory::createFixpt(h, data, -3), std::invalid_argument);
    EXPECT_THROW(FixptFactory::createFixpt(h, nullptr, 5), std::invalid_argument);
    EXPECT_EQ(FixptFactory::createFixpt(nullptr, &h, data, 5, sizeof data), nullptr);
    EXPECT_NE(std::string(FixptFactory::lastError()).find("need 10 bytes, only 8"), std::string::npos)
        << FixptFactory::lastError();
    EXPECT_EQ(FixptFactory::createFixpt(nullptr, nullptr, data, 1), nullptr);
    std::unique_ptr<Fixpt> ok(FixptFactory::createFixpt(nullptr, &h, data, 4, sizeof data));
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->getNumElements(), 4);
    std::unique_ptr<Fixpt> scalar(FixptFactory::createFixpt(nullptr, &h));
    ASSERT_NE(scalar, nullptr);
    EXPECT_EQ(scalar->getNumElements(), 1);
    EXPECT_TRUE(scalar->isZero());
}

TEST(Handles, ComplexDataIsInterleavedParts) {
    const NumType t = NumType::fixed(true, 8, 0);
    DSPDataAttributesHandle h(t, t, t, 3, 1, "Complex", "Product output", "Accumulator", true);
    int8_t data[6] = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(FixptFactory::elementBytes(h), 2u);
    EXPECT_EQ(FixptFactory::createFixpt(nullptr, &h, data, 4, sizeof data), nullptr);  // 8 bytes needed
    std::unique_ptr<Fixpt> x(FixptFactory::createFixpt(nullptr, &h, data, 3, sizeof data));
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(x->getNumElements(), 6);
    std::unique_ptr<Fixpt> y(FixptFactory::createFixpt(nullptr, &h, data, 3, sizeof data));
    (*x)[5] = (*y)[0];  // imaginary part of element 2 = real part of element 0
    EXPECT_EQ(data[5], 1);
    EXPECT_EQ(data[4], 5);
}

TEST(Handles, BlockFormCarriesSignedProductAndAccumulatorTypes) {
    DSPDataAttributesHandle h(12, 10, 32, 20, 24, 18, nullptr, 0, 5, false, false, "Image", "Product output",
                              "Accumulator", 2);
    ASSERT_TRUE(h.isValid()) << h.errorMessage();
    EXPECT_EQ(h.valueType(), NumType::fixed(false, 12, 10));
    EXPECT_EQ(h.accumulatorType(), NumType::fixed(true, 32, 20));
    EXPECT_EQ(h.productType(), NumType::fixed(true, 24, 18));
    EXPECT_EQ(h.getOverflowCode(), 0);
    EXPECT_EQ(h.getRoundingCode(), 5);
    EXPECT_EQ(h.getLabel(), "Image");
    EXPECT_EQ(h.getProductLabel(), "Product output");
    EXPECT_EQ(h.getAccumulatorLabel(), "Accumulator");
    EXPECT_EQ(h.getWordLength(), 12);
    EXPECT_EQ(h.getFracLength(), 10);
    EXPECT_FALSE(h.isSigned());
}

TEST(Handles, ValueTypeFromTheHostsRegistry) {
    const NumType acc = NumType::fixed(true, 32, 0);
    struct Case {
        DataTypeId id;
        NumType expected;
    };
    const Case cases[] = {{SS_DOUBLE, NumType::doubleType()},
                          {SS_SINGLE, NumType::singleType()},
                          {SS_INT8, NumType::fixed(true, 8, 0)},
                          {SS_UINT16, NumType::fixed(false, 16, 0)},
                          {SS_UINT32, NumType::fixed(false, 32, 0)},
                          {dravo::types::registerFixedPoint(true, 16, 12), NumType::fixed(true, 16, 12)},
                          {dravo::types::registerFixedPoint(false, 100, -3), NumType::fixed(false, 100, -3)},
                          {dravo::types::registerScaledDouble(true, 16, 12), NumType::doubleType()}};
    for (const Case& c : cases) {
        DSPDataAttributesHandle h(c.id, 0, acc, acc, 3, 1, "FromId");
        ASSERT_TRUE(h.isValid()) << c.id << ": " << h.errorMessage();
        EXPECT_EQ(h.valueType(), c.expected) << c.id;
        EXPECT_EQ(h.getDataTypeId(), c.id);
    }
    DSPDataAttributesHandle b(SS_BOOLEAN, 0, acc, acc, 3, 1, "Flag");
    ASSERT_TRUE(b.isValid());
    uint8_t flag = 0;
    std::unique_ptr<Fixpt> f(FixptFactory::createFixpt(b, &flag, 1));
    *f = 7;  // saturates to true
    EXPECT_EQ(flag, 1);
    DSPDataAttributesHandle unknown(DataTypeId(987654), 0, acc, acc, 3, 1, "Unknown");
    EXPECT_FALSE(unknown.isValid());
    EXPECT_NE(unknown.errorMessage().find("987654"), std::string::npos);
    DSPDataAttributesHandle complexId(SS_INT16, 1, acc, acc, 3, 1, "C");
    EXPECT_TRUE(complexId.isComplex());
}

TEST(Properties, DefaultRecord) {
    const fxpDataTypeProp p = fxpGetDataTypePropertiesDefault();
    EXPECT_EQ(p.dataTypeClass, 0);
    EXPECT_EQ(p.isSigned, 1);
    EXPECT_EQ(p.wordLength, 16);
    EXPECT_EQ(p.fixedExponent, 0);
    EXPECT_EQ(p.slopeAdjustmentFactor, 1.0);
    EXPECT_EQ(p.bias, 0.0);
}

class Logging : public ::testing::Test {
  protected:
    void SetUp() override { LogRegistry::instance().reset(); }
};

TEST_F(Logging, ObjectsRecordExtremesAndCountEvents) {
    const NumType t = NumType::fixed(true, 8, 0);
    DSPDataAttributesHandle h(t, NumType::fixed(true, 8, 0), NumType::fixed(true, 16, 0), kRoundFloor,
                              kOverflowSaturate, "Sat", "SatProduct", "SatAcc");
    DSPDataAttributesHandle hw(t, t, t, kRoundFloor, kOverflowWrap, "Wrap");
    std::unique_ptr<Fixpt> s(FixptFactory::createFixpt(h, nullptr, 1, true));
    std::unique_ptr<Fixpt> w(FixptFactory::createFixpt(hw, nullptr, 1, true));
    std::unique_ptr<Fixpt> quiet(FixptFactory::createFixpt(hw, nullptr, 1, false));
    EXPECT_EQ(quiet->getLog(), nullptr);
    *s = 100;
    *s = -5;
    *s = 300;  // saturates to 127
    *w = 120;
    *w += *w;  // 240 wraps to -16
    *quiet = 0;
    w->divide(*w, *quiet);    // counted
    const Fixpt p = *s * *s;  // 127 * 127 saturates the 8-bit product
    const LogRecord& rs = s->getLog()->records[0];
    EXPECT_TRUE(rs.hasExtremes);
    EXPECT_EQ(rs.minValue, -5);
    EXPECT_EQ(rs.maxValue, 127);
    EXPECT_EQ(rs.saturations, 1u);
    EXPECT_EQ(rs.wraps, 0u);
    EXPECT_EQ(s->getLog()->records[1].saturations, 1u);
    EXPECT_EQ(s->getLog()->records[1].maxValue, 127);
    const LogRecord& rw = *w->getLogRecord();
    EXPECT_EQ(rw.wraps, 1u);
    EXPECT_EQ(rw.divisionsByZero, 1u);
    EXPECT_EQ(rw.minValue, -128);  // -16 / 0 gives the smallest value
    EXPECT_EQ(rw.maxValue, 120);

    // Merge by label: live objects and deleted ones alike.
    std::unique_ptr<Fixpt> s2(FixptFactory::createFixpt(h, nullptr, 1, true));
    *s2 = -100;
    s2.reset();
    const auto merged = LogRegistry::instance().mergedByLabel();
    ASSERT_EQ(merged.count("Sat"), 1u);
    EXPECT_EQ(merged.at("Sat").minValue, -100);
    EXPECT_EQ(merged.at("Sat").maxValue, 127);
    EXPECT_EQ(merged.at("Sat").saturations, 1u);
    EXPECT_EQ(merged.at("SatProduct").saturations, 1u);
    EXPECT_EQ(merged.count("SatAcc"), 0u);  // no sums were formed
    EXPECT_EQ(merged.at("Wrap").wraps, 1u);
    EXPECT_EQ(merged.at("Wrap").divisionsByZero, 1u);
    const std::string report = LogRegistry::instance().formatReport();
    EXPECT_NE(report.find("Sat: min -100, max 127, wraps 0, saturations 1, divisions by zero 0"),
              std::string::npos)
        << report;
    EXPECT_NE(report.find("Wrap: min -128, max 120, wraps 1, saturations 0, divisions by zero 1"),
              std::string::npos)
        << report;
}

// acc += a * b where the sum leaves int64: the saturated product is counted once, the sum saturates once.
TEST_F(Logging, MultiplyAccumulateCountsEachProductOnce) {
    const NumType acc = NumType::fixed(true, 64, 0);
    DSPDataAttributesHandle hv(NumType::fixed(true, 16, 0), NumType::fixed(true, 8, 0), acc, kRoundFloor,
                               kOverflowSaturate, "In", "InProduct", "InAcc");
    DSPDataAttributesHandle ha(acc, acc, acc, kRoundFloor, kOverflowSaturate, "Acc");
    std::unique_ptr<Fixpt> a(FixptFactory::createFixpt(hv, nullptr, 1, true));
    std::unique_ptr<Fixpt> s(FixptFactory::createFixpt(ha, nullptr, 1, true));
    *a = 100;
    *s = INT64_MAX - 100;
    *s += *a * *a;  // 10000 saturates to 127 in s8; the sum then passes the top of s64
    const LogRecord& products = a->getLog()->records[1];
    EXPECT_EQ(products.saturations, 1u);
    EXPECT_EQ(products.maxValue, 127);
    EXPECT_EQ(s->getLogRecord()->saturations, 1u);
    EXPECT_EQ(static_cast<int64_t>(s->getStoredBits()), INT64_MAX);
    *s -= *a * *a;
    EXPECT_EQ(products.saturations, 2u);
    EXPECT_EQ(s->getLogRecord()->saturations, 1u);
    EXPECT_EQ(static_cast<int64_t>(s->getStoredBits()), INT64_MAX - 127);
}

TEST_F(Logging, TotalsSurviveObjectsAndResetClearsThem) {
    const NumType t = NumType::fixed(false, 4, 0);
    DSPDataAttributesHandle h(t, t, t, kRoundFloor, kOverflowWrap, "Nibble");
    {
        std::unique_ptr<Fixpt> a(FixptFactory::createFixpt(h, nullptr, 1, true));
        *a = 17;  // wraps to 1
    }
    {
        std::unique_ptr<Fixpt> b(FixptFactory::createFixpt(h, nullptr, 1, true));
        *b = 9;
    }
    auto merged = LogRegistry::instance().mergedByLabel();
    EXPECT_EQ(merged.at("Nibble").wraps, 1u);
    EXPECT_EQ(merged.at("Nibble").minValue, 1);
    EXPECT_EQ(merged.at("Nibble").maxValue, 9);
    LogRegistry::instance().reset();
    EXPECT_TRUE(LogRegistry::instance().mergedByLabel().empty());
    EXPECT_NE(LogRegistry::instance().formatReport().find("nothing logged"), std::string::npos);
}

TEST(LogRecords, MergeAddsCountersAndWidensTheRange) {
    LogRecord a, b, empty;
    a.noteValue(2);
    a.noteValue(5);
    a.wraps = 1;
    b.noteValue(-1);
    b.saturations = 2;
    b.divisionsByZero = 3;
    a.merge(b);
    a.merge(empty);
    EXPECT_EQ(a.minValue, -1);
    EXPECT_EQ(a.maxValue, 5);
    EXPECT_EQ(a.wraps, 1u);
    EXPECT_EQ(a.saturations, 2u);
    EXPECT_EQ(a.divisionsByZero, 3u);
    empty.merge(b);
    EXPECT_TRUE(empty.hasExtremes);
    EXPECT_EQ(empty.minValue, -1);
    EXPECT_EQ(empty.maxValue, -1);
}

}  // namespace
