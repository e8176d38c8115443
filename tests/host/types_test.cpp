// The data-type registry: built-ins, registration of fixed-point and scaled-double types, names.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>

#include "dravo/host/types.h"

namespace {

using namespace dravo::types;

TEST(Types, BuiltInsHaveTheSystemsIds) {
    const char* names[] = {"double", "single", "int8",   "uint8",  "int16",
                           "uint16", "int32",  "uint32", "boolean"};
    const int32_t bytes[] = {8, 4, 1, 1, 2, 2, 4, 4, 1};
    const bool isSigned[] = {true, true, true, false, true, false, true, false, false};
    for (DataTypeId id = 0; id <= 8; ++id) {
        ASSERT_TRUE(isKnown(id));
        EXPECT_EQ(info(id).name, names[id]);
        EXPECT_EQ(info(id).containerBytes, bytes[id]);
        EXPECT_EQ(info(id).isSigned, isSigned[id]) << names[id];
        EXPECT_EQ(parseTypeName(names[id]), id);
    }
    EXPECT_EQ(info(SS_BOOLEAN).wordLength, 1);
    EXPECT_EQ(info(SS_INT16).wordLength, 16);
}

TEST(Types, OneIdPerDistinctType) {
    DataTypeId a = registerFixedPoint(true, 16, 12);
    DataTypeId b = registerFixedPoint(true, 16, 12);
    DataTypeId c = registerFixedPoint(false, 16, 12);
    DataTypeId d = registerFixedPoint(true, 16, 11);
    DataTypeId e = registerScaledDouble(true, 16, 12);
    EXPECT_GE(a, 9);
    EXPECT_EQ(a, b);
    std::set<DataTypeId> ids = {a, c, d, e};
    EXPECT_EQ(ids.size(), 4u);
    EXPECT_EQ(info(e).kind, Kind::ScaledDouble);
    EXPECT_EQ(info(e).containerBytes, 8);
    EXPECT_EQ(info(a).kind, Kind::FixedPoint);
}

struct ContainerCase {
    int32_t wl;
    int32_t bytes;
};

class TypesContainer : public ::testing::TestWithParam<ContainerCase> {};

TEST_P(TypesContainer, SmallestContainerHoldingTheWord) {
    auto [wl, bytes] = GetParam();
    for (bool s : {true, false}) {
        DataTypeId id = registerFixedPoint(s, wl, 0);
        ASSERT_GE(id, 9);
        EXPECT_EQ(info(id).containerBytes, bytes) << "WL " << wl;
        EXPECT_EQ(info(id).wordLength, wl);
    }
}

INSTANTIATE_TEST_SUITE_P(WordLengths, TypesContainer,
                         ::testing::Values(ContainerCase{2, 1}, ContainerCase{8, 1}, ContainerCase{9, 2},
                                           ContainerCase{16, 2}, ContainerCase{17, 4}, ContainerCase{32, 4},
                                           ContainerCase{33, 8}, ContainerCase{64, 8}, ContainerCase{65, 16},
                                           ContainerCase{128, 16}));

TEST(Types, WordLengthOutOfRangeIsRefused) {
    EXPECT_EQ(registerFixedPoint(true, 1, 0), -1);
    EXPECT_EQ(registerFixedPoint(false, 129, 0), -1);
    EXPECT_EQ(registerFixedPoint(true, 0, 0), -1);
    EXPECT_EQ(registerScaledDouble(true, 200, 3), -1);
    EXPECT_FALSE(parseTypeName("fixed:s1:0").has_value());
    EXPECT_FALSE(parseTypeName("fixed:u129:0").has_value());
}

// A fraction length is negated into an exponent by the tools and the code generator; the one int32
// without a negation is refused, its neighbours are types like any other.
TEST(Types, FractionLengthWithoutANegationIsRefused) {
    EXPECT_EQ(registerFixedPoint(true, 16, INT32_MIN), -1);
    EXPECT_EQ(registerScaledDouble(true, 16, INT32_MIN), -1);
    EXPECT_FALSE(parseTypeName("fixed:s16:-2147483648").has_value());
    EXPECT_FALSE(parseTypeName("fixed:s16:2147483648").has_value());
    for (int32_t fl : {INT32_MIN + 1, INT32_MAX}) {
        DataTypeId id = registerFixedPoint(true, 16, fl);
        ASSERT_GE(id, 0) << fl;
        EXPECT_EQ(info(id).fracLength, fl);
        EXPECT_EQ(parseTypeName("fixed:s16:" + std::to_string(fl)), id);
    }
}

TEST(Types, NamesRoundTrip) {
    for (const char* n : {"fixed:s16:12", "fixed:u8:0", "fixed:s32:-4", "fixed:u128:130", "scaled:s16:12",
                          "scaled:u8:-2", "fixed:s2:1"}) {
        auto id = parseTypeName(n);
        ASSERT_TRUE(id.has_value()) << n;
        EXPECT_EQ(typeName(*id), n);
    }
    auto id = parseTypeName("fixed:s16:12");
    EXPECT_EQ(*id, registerFixedPoint(true, 16, 12));
    EXPECT_EQ(info(*id).fracLength, 12);
}

TEST(Types, MalformedNamesAreRejected) {
    for (const char* n : {"", "float", "fixed", "fixed:", "fixed:x16:2", "fixed:s16", "fixed:s16:",
                          "fixed:s:3", "fixed:s16:3x", "fixed:s16:3:1", "scaled:16:3", "Double", "int64"})
        EXPECT_FALSE(parseTypeName(n).has_value()) << n;
}

TEST(Types, UnsetAndUnknownIds) {
    EXPECT_EQ(typeName(-1), "unset");
    EXPECT_EQ(typeName(100000), "unknown(100000)");
    EXPECT_FALSE(isKnown(-1));
    EXPECT_THROW(info(100000), std::out_of_range);
    EXPECT_EQ(zeroValue(100000), nullptr);
}

TEST(Types, ZeroValueIsZeroBytes) {
    DataTypeId wide = registerFixedPoint(true, 100, 3);
    const auto* z = static_cast<const unsigned char*>(zeroValue(wide));
    ASSERT_NE(z, nullptr);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(z[i], 0);
}

}  // namespace
