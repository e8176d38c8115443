// Worked values of every conversion, computed by hand from the block's formulas.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "kernel_harness.h"

using namespace convert_test;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

TEST(FloatToUnsigned, DoubleToUint8EdgeValues) {
    // 255 * x + 0.5, clamped to [0, 255], truncated.
    const std::vector<double> x = {0.0,   1.0,   0.5,    0.498, -3.0,   7.0,    kNaN,  kInf,
                                   -kInf, 1e300, -1e300, -0.0,  0.0019, 0.0020, -kNaN, 0.998};
    // 0.0019 * 255 + 0.5 = 0.9845 -> 0; 0.0020 * 255 + 0.5 = 1.01 -> 1; 0.998 * 255 + 0.5 = 254.99 -> 254.
    const std::vector<uint8_t> expected = {0, 255, 128, 127, 0, 255, 0, 255, 0, 255, 0, 0, 0, 1, 0, 254};
    EXPECT_EQ(convert<uint8_t>(kDouble, kUint8, x), expected);
}

TEST(FloatToUnsigned, SingleToUint16EdgeValues) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const std::vector<float> x = {0.0f, 1.0f, 0.5f, nan, inf, -inf, 2.0f, -1.0f, 3e38f};
    // 65535 * 0.5 + 0.5 = 32768.
    const std::vector<uint16_t> expected = {0, 65535, 32768, 0, 65535, 0, 65535, 0, 65535};
    EXPECT_EQ(convert<uint16_t>(kSingle, kUint16, x), expected);
}

TEST(FloatToUnsigned, SingleInputUsesSingleArithmetic) {
    // Find a single value whose product with 65535 rounds differently in single and double, and check
    // the kernel follows the single computation.
    int checked = 0;
    for (uint32_t bits = 0x3E000000u; bits < 0x3F800000u && checked < 50; bits += 997) {
        float x;
        std::memcpy(&x, &bits, sizeof x);
        const float vf = x * 65535.0f + 0.5f;
        const double vd = static_cast<double>(x) * 65535.0 + 0.5;
        if (static_cast<uint32_t>(vf) == static_cast<uint32_t>(vd)) continue;
        ++checked;
        EXPECT_EQ(convert<uint16_t>(kSingle, kUint16, std::vector<float>{x})[0], static_cast<uint16_t>(vf))
            << x;
    }
    EXPECT_GT(checked, 0) << "no value tells single from double arithmetic apart";
}

TEST(FloatToSigned, DoubleToInt8WorkedValues) {
    // F->U into the output, then minus 128: 0.0 -> -128, 1.0 -> 127, 0.5 -> 128 - 128 = 0.
    const std::vector<double> x = {0.0, 1.0, 0.5, kNaN, -5.0, 5.0};
    const std::vector<int8_t> expected = {-128, 127, 0, -128, -128, 127};
    EXPECT_EQ(convert<int8_t>(kDouble, kInt8, x), expected);
}

TEST(FloatToSigned, DoubleToSignedFiveBitsIsSignExtended) {
    // outMax 31, outOffset 16: 0 -> 0 - 16 = -16 (stored 0xF0); 1 -> 15; 0.5 -> 16 - 16 = 0.
    const std::vector<double> x = {0.0, 1.0, 0.5, 0.4};
    const std::vector<int8_t> expected = {-16, 15, 0, -4};  // 0.4: 31 * 0.4 + 0.5 = 12.9 -> 12 - 16
    EXPECT_EQ(convert<int8_t>(kDouble, fixedType(true, 5), x), expected);
}

TEST(FloatToSigned, SingleToSignedTwelveBits) {
    const std::vector<float> x = {0.0f, 1.0f, 0.5f};
    // outMax 4095: 0.5 -> 2048 - 2048 = 0; 0 -> -2048; 1 -> 2047.
    const std::vector<int16_t> expected = {-2048, 2047, 0};
    EXPECT_EQ(convert<int16_t>(kSingle, fixedType(true, 12), x), expected);
}

TEST(FloatToFloat, ClampsAndPassesNaN) {
    const std::vector<double> x = {1.5, -0.2, 0.25, 1.0, 0.0, kInf, -kInf};
    const std::vector<double> expected = {1.0, 0.0, 0.25, 1.0, 0.0, 1.0, 0.0};
    EXPECT_EQ(convert<double>(kDouble, kDouble, x), expected);
    EXPECT_TRUE(std::isnan(convert<double>(kDouble, kDouble, std::vector<double>{kNaN})[0]));
}

TEST(FloatToFloat, DoubleToSingleTestsTheDoubleValue) {
    // 1 + 2^-40 is above 1 in double but rounds to 1.0f: the clamp must see the double.
    const std::vector<double> x = {1.0 + std::ldexp(1.0, -40), -std::ldexp(1.0, -200), 0.1};
    const std::vector<float> expected = {1.0f, 0.0f, 0.1f};
    EXPECT_EQ(convert<float>(kDouble, kSingle, x), expected);
    const auto y = convert<double>(kSingle, kDouble, std::vector<float>{0.1f, 2.0f});
    EXPECT_EQ(y[0], static_cast<double>(0.1f));
    EXPECT_EQ(y[1], 1.0);
}

TEST(UnsignedToFloat, Uint8ToDouble) {
    const auto y = convert<double>(kUint8, kDouble, std::vector<uint8_t>{255, 0, 128});
    EXPECT_EQ(y, (std::vector<double>{1.0, 0.0, 128.0 / 255.0}));
}

TEST(UnsignedToFloat, Uint16ToSingleDividesInSingle) {
    const auto y = convert<float>(kUint16, kSingle, std::vector<uint16_t>{65535, 1, 30000});
    EXPECT_EQ(y, (std::vector<float>{1.0f, 1.0f / 65535.0f, 30000.0f / 65535.0f}));
}

TEST(SignedToFloat, Int16ToDouble) {
    const auto y = convert<double>(kInt16, kDouble, std::vector<int16_t>{-32768, 32767, 0});
    EXPECT_EQ(y, (std::vector<double>{0.0, 1.0, 32768.0 / 65535.0}));
}

TEST(SignedToFloat, SignedFiveBitsToSingle) {
    // (s + 16) / 31 in single.
    const auto y = convert<float>(fixedType(true, 5), kSingle, std::vector<int8_t>{-16, 15, 0});
    EXPECT_EQ(y, (std::vector<float>{0.0f, 1.0f, 16.0f / 31.0f}));
}

TEST(UnsignedToUnsigned, WorkedValues) {
    EXPECT_EQ(convert<uint16_t>(kUint8, kUint16, std::vector<uint8_t>{1, 255, 0}),
              (std::vector<uint16_t>{257, 65535, 0}));
    EXPECT_EQ(convert<uint8_t>(kUint16, kUint8, std::vector<uint16_t>{128, 129, 65535, 0}),
              (std::vector<uint8_t>{0, 1, 255, 0}));
    // ufix8 fl3 -> ufix8 fl0 keeps the stored word.
    EXPECT_EQ(convert<uint8_t>(fixedType(false, 8, 3), fixedType(false, 8, 0), std::vector<uint8_t>{3, 200}),
              (std::vector<uint8_t>{3, 200}));
    // ufix3 -> uint8: 7 -> 255, 1 -> round(255/7 = 36.43) = 36, 4 -> round(145.71) = 146.
    EXPECT_EQ(convert<uint8_t>(fixedType(false, 3), kUint8, std::vector<uint8_t>{7, 1, 4}),
              (std::vector<uint8_t>{255, 36, 146}));
}

TEST(SignedToUnsigned, ByOffsetAndByRescaling) {
    EXPECT_EQ(convert<uint8_t>(kInt8, kUint8, std::vector<int8_t>{-128, 127, 0}),
              (std::vector<uint8_t>{0, 255, 128}));
    // int8 -> uint16: (s + 128) * 65535 / 255 = (s + 128) * 257.
    EXPECT_EQ(convert<uint16_t>(kInt8, kUint16, std::vector<int8_t>{-128, 127, 0}),
              (std::vector<uint16_t>{0, 65535, 128 * 257}));
}

TEST(SignedToSigned, WorkedValues) {
    // int8 -> int16: (s + 128) * 257 - 32768.
    EXPECT_EQ(convert<int16_t>(kInt8, kInt16, std::vector<int8_t>{-128, 127, 0, -1}),
              (std::vector<int16_t>{-32768, 32767, 128, -129}));
    // int16 -> sfix5: round((s + 32768) * 31 / 65535) - 16.
    EXPECT_EQ(convert<int8_t>(kInt16, fixedType(true, 5), std::vector<int16_t>{-32768, 32767, 0}),
              (std::vector<int8_t>{-16, 15, 0}));  // 32768 * 31 / 65535 = 15.5002 -> 16 - 16 = 0
}

TEST(UnsignedToSigned, ByOffsetAndByRescaling) {
    EXPECT_EQ(convert<int8_t>(kUint8, kInt8, std::vector<uint8_t>{0, 255, 128}),
              (std::vector<int8_t>{-128, 127, 0}));
    EXPECT_EQ(convert<int16_t>(kUint16, kInt16, std::vector<uint16_t>{0, 65535, 32768}),
              (std::vector<int16_t>{-32768, 32767, 0}));
    // uint8 -> sfix5: 255 -> 31 - 16 = 15; 0 -> -16, stored sign-extended in the 8-bit word (0xF0).
    const auto y = convert<uint8_t>(kUint8, fixedType(true, 5), std::vector<uint8_t>{255, 0});
    EXPECT_EQ(y, (std::vector<uint8_t>{15, 0xF0}));
}

TEST(FromBoolean, TrueValuePerOutputType) {
    const std::vector<uint8_t> b = {1, 0, 7};
    EXPECT_EQ(convert<int16_t>(kBoolean, kInt16, b), (std::vector<int16_t>{32767, 0, 32767}));
    EXPECT_EQ(convert<uint16_t>(kBoolean, kUint16, b), (std::vector<uint16_t>{65535, 0, 65535}));
    EXPECT_EQ(convert<float>(kBoolean, kSingle, b), (std::vector<float>{1.0f, 0.0f, 1.0f}));
    EXPECT_EQ(convert<double>(kBoolean, kDouble, b), (std::vector<double>{1.0, 0.0, 1.0}));
    EXPECT_EQ(convert<int8_t>(kBoolean, kInt8, b), (std::vector<int8_t>{127, 0, 127}));
    EXPECT_EQ(convert<uint8_t>(kBoolean, kUint8, b), (std::vector<uint8_t>{255, 0, 255}));
    EXPECT_EQ(convert<int8_t>(kBoolean, fixedType(true, 5), b), (std::vector<int8_t>{15, 0, 15}));
    EXPECT_EQ(convert<uint16_t>(kBoolean, fixedType(false, 12), b), (std::vector<uint16_t>{4095, 0, 4095}));
}

TEST(ToBoolean, NonZeroIsTrueNaNIncluded) {
    EXPECT_EQ(convert<uint8_t>(kDouble, kBoolean, std::vector<double>{0.0, -0.0, 0.5, kNaN, -kInf}),
              (std::vector<uint8_t>{0, 0, 1, 1, 1}));
    EXPECT_EQ(convert<uint8_t>(kSingle, kBoolean, std::vector<float>{0.0f, 1e-30f}),
              (std::vector<uint8_t>{0, 1}));
    EXPECT_EQ(convert<uint8_t>(kInt16, kBoolean, std::vector<int16_t>{0, -1, -32768}),
              (std::vector<uint8_t>{0, 1, 1}));
    EXPECT_EQ(convert<uint8_t>(kUint16, kBoolean, std::vector<uint16_t>{0, 256}),
              (std::vector<uint8_t>{0, 1}));
    EXPECT_EQ(convert<uint8_t>(kInt8, kBoolean, std::vector<int8_t>{0, -128}), (std::vector<uint8_t>{0, 1}));
    EXPECT_EQ(convert<uint8_t>(kUint8, kBoolean, std::vector<uint8_t>{0, 2}), (std::vector<uint8_t>{0, 1}));
}

TEST(Copy, EqualIntegerTypesAndBooleansCopyBytes) {
    EXPECT_EQ(convert<int16_t>(kInt16, kInt16, std::vector<int16_t>{-32768, 5, 32767}),
              (std::vector<int16_t>{-32768, 5, 32767}));
    EXPECT_EQ(convert<uint8_t>(kBoolean, kBoolean, std::vector<uint8_t>{0, 1, 2}),
              (std::vector<uint8_t>{0, 1, 2}));
}

TEST(Kernels, WriteNothingPastTheLastElementAndNothingForZeroElements) {
    const std::vector<TypeDesc> types = {
        kDouble, kSingle, kInt8, kUint8, kInt16, kUint16, kBoolean, fixedType(true, 5), fixedType(false, 12)};
    std::vector<uint8_t> input(64, 0x3C);
    for (const auto& in : types)
        for (const auto& out : types) {
            for (int32_t n : {0, 1, 7}) {
                Conversion c = prepare(in, out);
                ASSERT_TRUE(c.ok);
                const auto bytes = run(c, input.data(), n);
                EXPECT_TRUE(c.guardIntact) << in.id << " -> " << out.id << " n = " << n;
            }
        }
}

// Stray bits above the word length of a container are not part of the word: the word converts.
TEST(Kernels, StrayContainerBitsDoNotChangeTheResult) {
    const TypeDesc u5 = fixedType(false, 5), s5 = fixedType(true, 5);
    // 0xFF holds the unsigned 5-bit word 31; 0x0F in a signed 5-bit container is the word 15, 0x30 is -16.
    EXPECT_EQ(convert<uint16_t>(u5, kUint16, std::vector<uint8_t>{0xFF}), (std::vector<uint16_t>{65535}));
    EXPECT_EQ(convert<double>(u5, kDouble, std::vector<uint8_t>{0xE0}), (std::vector<double>{0.0}));
    EXPECT_EQ(convert<double>(s5, kDouble, std::vector<int8_t>{0x30}), (std::vector<double>{0.0}));
    EXPECT_EQ(convert<uint8_t>(s5, kUint8, std::vector<int8_t>{0x0F}), (std::vector<uint8_t>{255}));
}

}  // namespace
