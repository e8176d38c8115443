// Every word of every 8- and 16-bit input domain, through every integer conversion and both floating
// outputs, against the reference formulas (literal division, bit-test sign extension).
#include <gtest/gtest.h>

#include <string>

#include "kernel_harness.h"
#include "reference.h"

using namespace convert_test;

namespace {

std::vector<TypeDesc> integerTypes() {
    std::vector<TypeDesc> types = {kInt8, kUint8, kInt16, kUint16};
    for (int wl : {2, 3, 5, 7, 9, 12, 15}) {
        types.push_back(fixedType(true, wl));
        types.push_back(fixedType(false, wl));
    }
    types.push_back(fixedType(true, 8, 4));
    types.push_back(fixedType(false, 16, -3));
    return types;
}

std::string name(const TypeDesc& t) {
    return std::string(t.cls == TypeClass::Signed ? "s" : "u") + std::to_string(t.wordLength) + "#" +
           std::to_string(t.id);
}

// Every valid word of the type, as the stored bits of its container.
std::vector<uint32_t> storedWords(const TypeDesc& t) {
    std::vector<uint32_t> words;
    const uint32_t mask = t.elemSize == 1 ? 0xFFu : 0xFFFFu;
    if (t.cls == TypeClass::Unsigned) {
        for (uint32_t u = 0; u <= wordMax(t.wordLength); ++u)
            words.push_back(u);
    } else {
        const int32_t lo = -static_cast<int32_t>(wordOffset(t.wordLength));
        for (int32_t s = lo; s < -lo; ++s)
            words.push_back(static_cast<uint32_t>(s) & mask);
    }
    return words;
}

int32_t signedValue(uint32_t stored, int storageBits) {
    return storageBits == 8 ? static_cast<int8_t>(stored) : static_cast<int16_t>(stored);
}

// The reference output bits of an integer-to-integer conversion.
uint32_t referenceBits(const TypeDesc& in, const TypeDesc& out, uint32_t stored) {
    const int inBits = in.elemSize * 8, outBits = out.elemSize * 8;
    const uint32_t outMask = outBits == 8 ? 0xFFu : 0xFFFFu;
    if (in.id == out.id) return stored;
    const uint32_t inMax = wordMax(in.wordLength), outMax = wordMax(out.wordLength);
    const uint32_t inOffset = wordOffset(in.wordLength), outOffset = wordOffset(out.wordLength);
    const bool sameWl = in.wordLength == out.wordLength;
    if (in.cls == TypeClass::Signed) {
        const uint32_t shifted =
            static_cast<uint32_t>(signedValue(stored, inBits) + static_cast<int32_t>(inOffset));
        if (out.cls == TypeClass::Signed)
            return refSignExtend(refRoundHalfUp(shifted * outMax, inMax) - outOffset, out.wordLength,
                                 outBits);
        if (sameWl) return shifted & outMask;
        return refRoundHalfUp(shifted * outMax, inMax);
    }
    if (out.cls == TypeClass::Signed) {
        if (sameWl) return refSignExtend(stored - outOffset, out.wordLength, outBits);
        return refSignExtend(refRoundHalfUp(stored * outMax, inMax) - outOffset, out.wordLength, outBits);
    }
    return refRoundHalfUp(stored * outMax, inMax);
}

std::vector<uint8_t> packWords(const TypeDesc& t, const std::vector<uint32_t>& words) {
    std::vector<uint8_t> bytes(words.size() * t.elemSize);
    for (size_t i = 0; i < words.size(); ++i) {
        if (t.elemSize == 1)
            bytes[i] = static_cast<uint8_t>(words[i]);
        else {
            const uint16_t w = static_cast<uint16_t>(words[i]);
            std::memcpy(&bytes[2 * i], &w, 2);
        }
    }
    return bytes;
}

uint32_t wordAt(const std::vector<uint8_t>& bytes, int elemSize, size_t i) {
    if (elemSize == 1) return bytes[i];
    uint16_t w;
    std::memcpy(&w, &bytes[2 * i], 2);
    return w;
}

class KernelsExhaustive : public ::testing::TestWithParam<Variant> {
  protected:
    void SetUp() override {
        if (!variantRuns(GetParam())) GTEST_SKIP() << "the processor lacks " << variantName(GetParam());
    }
};

TEST_P(KernelsExhaustive, IntegerToIntegerMatchesTheFormulas) {
    const auto types = integerTypes();
    for (const TypeDesc& in : types) {
        const auto words = storedWords(in);
        const auto input = packWords(in, words);
        for (const TypeDesc& out : types) {
            Conversion c = prepare(in, out, GetParam());
            ASSERT_TRUE(c.ok) << name(in) << " -> " << name(out);
            const auto bytes = run(c, input.data(), static_cast<int32_t>(words.size()));
            size_t mismatches = 0, first = 0;
            for (size_t i = 0; i < words.size(); ++i)
                if (wordAt(bytes, out.elemSize, i) != referenceBits(in, out, words[i]) && mismatches++ == 0)
                    first = i;
            EXPECT_EQ(mismatches, 0u)
                << name(in) << " -> " << name(out) << " (" << ubrin::conversionRuleName(c.rule)
                << "), first input word " << words[first] << " gave " << wordAt(bytes, out.elemSize, first)
                << " expected " << referenceBits(in, out, words[first]);
        }
    }
}

template <typename Out>
void checkToFloat(const TypeDesc& outType, Variant variant) {
    for (const TypeDesc& in : integerTypes()) {
        const auto words = storedWords(in);
        const auto input = packWords(in, words);
        Conversion c = prepare(in, outType, variant);
        ASSERT_TRUE(c.ok);
        const auto bytes = run(c, input.data(), static_cast<int32_t>(words.size()));
        const Out inMax = static_cast<Out>(wordMax(in.wordLength));
        const Out inOffset = static_cast<Out>(wordOffset(in.wordLength));
        size_t mismatches = 0;
        for (size_t i = 0; i < words.size(); ++i) {
            Out expected;
            if (in.cls == TypeClass::Unsigned) {
                expected = static_cast<Out>(words[i]) / inMax;
            } else {
                expected = (static_cast<Out>(signedValue(words[i], in.elemSize * 8)) + inOffset) / inMax;
            }
            Out got;
            std::memcpy(&got, &bytes[i * sizeof(Out)], sizeof(Out));
            if (got != expected) ++mismatches;
            if (words[i] == 0 && in.cls == TypeClass::Unsigned) {
                EXPECT_EQ(got, Out(0));
            }
        }
        EXPECT_EQ(mismatches, 0u) << name(in) << " -> float of " << sizeof(Out) << " bytes";
    }
}

TEST_P(KernelsExhaustive, IntegerToDoubleAndSingleMatchTheFormulas) {
    checkToFloat<double>(kDouble, GetParam());
    checkToFloat<float>(kSingle, GetParam());
}

// Back and forth: an integer converted to double and back lands on the same word.
TEST_P(KernelsExhaustive, IntegerRoundTripsThroughDouble) {
    for (const TypeDesc& t : integerTypes()) {
        const auto words = storedWords(t);
        const auto input = packWords(t, words);
        Conversion there = prepare(t, kDouble, GetParam());
        const auto doubles = run(there, input.data(), static_cast<int32_t>(words.size()));
        Conversion back = prepare(kDouble, t, GetParam());
        const auto bytes = run(back, doubles.data(), static_cast<int32_t>(words.size()));
        size_t mismatches = 0;
        for (size_t i = 0; i < words.size(); ++i)
            mismatches += wordAt(bytes, t.elemSize, i) != words[i];
        EXPECT_EQ(mismatches, 0u) << name(t);
    }
}

// Every double of the form k / 2^20 in [-0.25, 1.25], each float type, against the formula.
TEST_P(KernelsExhaustive, FloatToIntegerSweepMatchesTheFormula) {
    std::vector<double> x;
    for (int k = -(1 << 18); k <= (5 << 18); ++k)
        x.push_back(std::ldexp(static_cast<double>(k), -20));
    for (const TypeDesc& out : integerTypes()) {
        Conversion c = prepare(kDouble, out, GetParam());
        const auto bytes = run(c, x.data(), static_cast<int32_t>(x.size()));
        const double outMax = wordMax(out.wordLength);
        size_t mismatches = 0;
        for (size_t i = 0; i < x.size(); ++i) {
            double v = outMax * x[i] + 0.5;
            if (v > outMax) v = outMax;
            if (v < 0) v = 0;
            uint32_t expected = static_cast<uint32_t>(v);
            if (out.cls == TypeClass::Signed)
                expected =
                    refSignExtend(expected - wordOffset(out.wordLength), out.wordLength, out.elemSize * 8);
            mismatches += wordAt(bytes, out.elemSize, i) != expected;
        }
        EXPECT_EQ(mismatches, 0u) << "double -> " << name(out);
    }
}

// The same single sweep through single arithmetic.
TEST_P(KernelsExhaustive, SingleToIntegerSweepMatchesTheFormula) {
    std::vector<float> x;
    for (int k = -(1 << 16); k <= (5 << 16); ++k)
        x.push_back(std::ldexp(static_cast<float>(k), -18));
    for (const TypeDesc& out : integerTypes()) {
        Conversion c = prepare(kSingle, out, GetParam());
        const auto bytes = run(c, x.data(), static_cast<int32_t>(x.size()));
        const float outMax = static_cast<float>(wordMax(out.wordLength));
        size_t mismatches = 0;
        for (size_t i = 0; i < x.size(); ++i) {
            float v = outMax * x[i] + 0.5f;
            if (v > outMax) v = outMax;
            if (v < 0) v = 0;
            uint32_t expected = static_cast<uint32_t>(v);
            if (out.cls == TypeClass::Signed)
                expected =
                    refSignExtend(expected - wordOffset(out.wordLength), out.wordLength, out.elemSize * 8);
            mismatches += wordAt(bytes, out.elemSize, i) != expected;
        }
        EXPECT_EQ(mismatches, 0u) << "single -> " << name(out);
    }
}

// Floating outputs of every floating input on a sweep, both variants against the formula.
TEST_P(KernelsExhaustive, FloatToFloatSweepMatchesTheFormula) {
    std::vector<double> x;
    for (int k = -(1 << 16); k <= (5 << 16); ++k)
        x.push_back(std::ldexp(static_cast<double>(k), -18) + 1e-9);
    Conversion c = prepare(kDouble, kSingle, GetParam());
    const auto bytes = run(c, x.data(), static_cast<int32_t>(x.size()));
    size_t mismatches = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        const float expected = static_cast<float>(x[i] > 1 ? 1.0 : x[i] < 0 ? 0.0 : x[i]);
        float got;
        std::memcpy(&got, &bytes[4 * i], 4);
        mismatches += got != expected;
    }
    EXPECT_EQ(mismatches, 0u);
}

INSTANTIATE_TEST_SUITE_P(Variants, KernelsExhaustive,
                         ::testing::Values(Variant::Dispatched, Variant::Generic, Variant::Avx2,
                                           Variant::Avx512),
                         [](const auto& info) { return std::string(variantName(info.param)); });

}  // namespace
