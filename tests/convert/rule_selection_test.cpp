// Rule selection order: which conversion each pair of port types gets.
#include <gtest/gtest.h>

#include "kernel_harness.h"

using namespace convert_test;
using ubrin::ConversionRule;

namespace {

struct RuleCase {
    const char* what;
    TypeDesc in, out;
    ConversionRule expected;
};

const RuleCase kRuleCases[] = {
    {"double to double clamps, is not a copy", kDouble, kDouble, ConversionRule::FloatToFloat},
    {"single to single clamps", kSingle, kSingle, ConversionRule::FloatToFloat},
    {"double to single", kDouble, kSingle, ConversionRule::FloatToFloat},
    {"double to uint8", kDouble, kUint8, ConversionRule::FloatToUnsigned},
    {"single to ufix12", kSingle, fixedType(false, 12), ConversionRule::FloatToUnsigned},
    {"double to int8", kDouble, kInt8, ConversionRule::FloatToSigned},
    {"double to boolean goes to boolean first", kDouble, kBoolean, ConversionRule::ToBoolean},
    {"int16 to boolean", kInt16, kBoolean, ConversionRule::ToBoolean},
    {"boolean to boolean is a copy", kBoolean, kBoolean, ConversionRule::Copy},
    {"boolean to single", kBoolean, kSingle, ConversionRule::FromBoolean},
    {"boolean to int16", kBoolean, kInt16, ConversionRule::FromBoolean},
    {"uint8 to double", kUint8, kDouble, ConversionRule::UnsignedToFloat},
    {"int16 to single", kInt16, kSingle, ConversionRule::SignedToFloat},
    {"int16 to int16 is a copy", kInt16, kInt16, ConversionRule::Copy},
    {"uint8 to uint8 is a copy", kUint8, kUint8, ConversionRule::Copy},
    {"equal fixed-point types copy", fixedType(true, 5, 2), fixedType(true, 5, 2), ConversionRule::Copy},
    {"ufix8 fl3 to ufix8 fl0 rescales (a no-op)", fixedType(false, 8, 3), fixedType(false, 8, 0),
     ConversionRule::UnsignedToUnsigned},
    {"ufix8 fl0 is not the built-in uint8", fixedType(false, 8, 0), kUint8,
     ConversionRule::UnsignedToUnsigned},
    {"int8 to int16", kInt8, kInt16, ConversionRule::SignedToSigned},
    {"int8 to uint8 same word length", kInt8, kUint8, ConversionRule::SignedToUnsignedByOffset},
    {"int8 to uint16", kInt8, kUint16, ConversionRule::SignedToUnsignedByRescaling},
    {"sfix12 to ufix12 by offset", fixedType(true, 12), fixedType(false, 12),
     ConversionRule::SignedToUnsignedByOffset},
    {"uint16 to int16 by offset", kUint16, kInt16, ConversionRule::UnsignedToSignedByOffset},
    {"uint8 to sfix5 rescales", kUint8, fixedType(true, 5), ConversionRule::UnsignedToSignedByRescaling},
    {"uint8 to uint16", kUint8, kUint16, ConversionRule::UnsignedToUnsigned},
};

class RuleSelection : public ::testing::TestWithParam<RuleCase> {};

TEST_P(RuleSelection, PicksTheFirstMatchingRule) {
    const RuleCase& c = GetParam();
    EXPECT_EQ(ubrin::selectConversionRule(portInfo(c.in), portInfo(c.out)), c.expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Table, RuleSelection, ::testing::ValuesIn(kRuleCases));

TEST(RuleSelection, TwoPassRulesAreFloatToSignedAndUnsignedToSignedByRescaling) {
    for (int r = 0; r <= 13; ++r) {
        const auto rule = static_cast<ConversionRule>(r);
        const bool twoPass =
            rule == ConversionRule::FloatToSigned || rule == ConversionRule::UnsignedToSignedByRescaling;
        EXPECT_EQ(ubrin::isTwoPassRule(rule), twoPass) << ubrin::conversionRuleName(rule);
    }
}

// Every supported pair of port types has a kernel, and only the two-pass rules have a second one.
TEST(KernelSelection, EveryPairOfSupportedTypesHasItsKernels) {
    std::vector<TypeDesc> types = {kDouble, kSingle, kInt8, kUint8, kInt16, kUint16, kBoolean};
    for (int wl : {2, 5, 9, 12, 15}) {
        types.push_back(fixedType(true, wl));
        types.push_back(fixedType(false, wl));
    }
    for (const TypeDesc& in : types)
        for (const TypeDesc& out : types) {
            const Conversion c = prepare(in, out);
            EXPECT_TRUE(c.ok) << in.id << " -> " << out.id;
            EXPECT_EQ(c.state.secondKernel != nullptr, ubrin::isTwoPassRule(c.rule))
                << in.id << " -> " << out.id;
        }
}

TEST(KernelSelection, RefusesStorageItHasNoMemberFor) {
    EXPECT_EQ(ubrin::selectKernels(ConversionRule::SignedToFloat, {TypeClass::Signed, 4},
                                   {TypeClass::Float, 8}, false)
                  .first,
              nullptr);
    EXPECT_EQ(
        ubrin::selectKernels(ConversionRule::Copy, {TypeClass::Signed, 1}, {TypeClass::Signed, 2}, false)
            .first,
        nullptr);
}

}  // namespace
