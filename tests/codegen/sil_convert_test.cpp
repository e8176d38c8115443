// Generated code of the scale-and-convert block against its simulation, bit for bit, for every pair of
// port types (built-in, boolean, fixed point of odd word lengths) and a variable-size 3-D input.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "dravo/host/types.h"
#include "sil_rig.h"

using dravo::host::Array;
using dravo::host::Block;
using dravo::host::InputSpec;
using dravo::host::Plugin;

namespace {

struct PortType {
    const char* name;  // type name for the input
    double choice;     // output dialog choice
    double isSigned, wordLength, fracLength;
};

const PortType kTypes[] = {
    {"double", 1, 1, 16, 0}, {"single", 2, 1, 16, 0},      {"int8", 3, 1, 8, 0},
    {"uint8", 4, 0, 8, 0},   {"int16", 5, 1, 16, 0},       {"uint16", 6, 0, 16, 0},
    {"boolean", 7, 0, 1, 0}, {"fixed:s12:3", 8, 1, 12, 3}, {"fixed:u6:2", 8, 0, 6, 2},
};

std::shared_ptr<Plugin> plugin() {
    static std::shared_ptr<Plugin> p = Plugin::load("ubrin");
    return p;
}

// In-range stored values of a type (words sign- or zero-extended in their container), extremes first.
std::vector<uint8_t> valuesFor(const std::string& typeName, size_t n, uint32_t seed) {
    const DataTypeId id = *dravo::types::parseTypeName(typeName);
    const auto& info = dravo::types::info(id);
    std::mt19937 rng(seed);
    std::vector<uint8_t> bytes;
    auto push = [&](const void* p, size_t sz) {
        const auto* b = static_cast<const uint8_t*>(p);
        bytes.insert(bytes.end(), b, b + sz);
    };
    for (size_t i = 0; i < n; ++i) {
        if (typeName == "double" || typeName == "single") {
            const double specials[] = {0.0, 1.0, 0.5, -0.25, 1.75, std::nan(""), 1.0 / 255, 0.998, -0.0};
            double v = i < std::size(specials) ? specials[i]
                                               : std::uniform_real_distribution<double>(-0.5, 1.5)(rng);
            if (typeName == "double")
                push(&v, 8);
            else {
                float f = static_cast<float>(v);
                push(&f, 4);
            }
            continue;
        }
        if (typeName == "boolean") {
            uint8_t b = static_cast<uint8_t>(i % 3 == 0);
            push(&b, 1);
            continue;
        }
        const int wl = info.wordLength;
        const int64_t lo = info.isSigned ? -(int64_t(1) << (wl - 1)) : 0;
        const int64_t hi = info.isSigned ? (int64_t(1) << (wl - 1)) - 1 : (int64_t(1) << wl) - 1;
        int64_t v = i == 0   ? lo
                    : i == 1 ? hi
                    : i == 2 ? 0
                             : std::uniform_int_distribution<int64_t>(lo, hi)(rng);
        if (info.containerBytes == 1) {
            int8_t c = static_cast<int8_t>(v);
            push(&c, 1);
        } else {
            int16_t c = static_cast<int16_t>(v);
            push(&c, 2);
        }
    }
    return bytes;
}

std::unique_ptr<Block> makeConvert(const PortType& out, const std::string& inType, std::vector<int32_t> dims,
                                   int32_t dimsMode) {
    auto b = std::make_unique<Block>(plugin(), "convert");
    b->setParameters({Array::scalar(out.choice), Array::scalar(out.isSigned), Array::scalar(out.wordLength),
                      Array::scalar(out.fracLength)});
    InputSpec in;
    in.dims = std::move(dims);
    in.dataType = *dravo::types::parseTypeName(inType);
    in.dimsMode = dimsMode;
    b->propagate({in});
    b->start();
    return b;
}

}  // namespace

class ConvertSil : public ::testing::TestWithParam<std::tuple<int, int>> {};

TEST_P(ConvertSil, GeneratedCodeMatchesSimulation) {
    const PortType& in = kTypes[std::get<0>(GetParam())];
    const PortType& out = kTypes[std::get<1>(GetParam())];
    auto block = makeConvert(out, in.name, {7, 5}, 0);
    cgtest::expectIdentical(*block, "convert", "convert", {{valuesFor(in.name, 35, 7u), {}}});
}

INSTANTIATE_TEST_SUITE_P(AllPairs, ConvertSil,
                         ::testing::Combine(::testing::Range(0, int(std::size(kTypes))),
                                            ::testing::Range(0, int(std::size(kTypes)))),
                         [](const auto& info) {
                             std::string s = std::string(kTypes[std::get<0>(info.param)].name) + "_to_" +
                                             kTypes[std::get<1>(info.param)].name;
                             for (auto& c : s)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return s;
                         });

TEST(ConvertSilVariableSize, ThreeDimensionalInputUsesTheProductOfCurrentSizes) {
    auto block = makeConvert(kTypes[3], "double", {4, 3, 2}, 1);  // double -> uint8
    cgtest::expectIdentical(*block, "convertvs", "convert",
                            {{valuesFor("double", 3 * 2 * 2, 11u), {3, 2, 2}}});
}

TEST(ConvertSilText, EmitsTheRuleBodiesAsDescribed) {
    struct K {
        const char* in;
        int out;
        const char* snippet;
    } ks[] = {
        {"double", 3, "val = (val * 255.0) + 0.5;"},
        {"uint8", 3, "memcpy(y0, u0, (size_t)inWidth * sizeof(uint8_t));"},
        {"double", 0, "if (u0[i] > 1.0) {"},
        {"uint16", 4, "val = (int32_t)u0[i] - 32768;"},
        {"uint16", 7, "if ((int16_t)(youtTmp & 2048) != 0) {"},
    };
    for (const auto& k : ks) {
        auto block = makeConvert(kTypes[k.out], k.in, {2, 2}, 0);
        std::unique_ptr<TarnCG::CGHandle> h = TarnCG::makeHandle(*block, "cv", "convert");
        std::string err;
        ASSERT_TRUE(TarnCG::generateForBlock(*block, *h, &err)) << err;
        std::string text = cgtest::emitText(*h);
        EXPECT_NE(text.find(k.snippet), std::string::npos) << k.snippet << "\n" << text;
        if (std::string(k.in) == "uint16" && k.out == 4) {
            EXPECT_EQ(text.find("youtTmp &"), std::string::npos) << text;
        }
    }
}

TEST(ConvertSilText, VariableSizeWidthIsTheProductOfTheCurrentSizes) {
    auto block = makeConvert(kTypes[3], "double", {4, 3, 2}, 1);
    std::unique_ptr<TarnCG::CGHandle> h = TarnCG::makeHandle(*block, "cvs", "convert");
    std::string err;
    ASSERT_TRUE(TarnCG::generateForBlock(*block, *h, &err)) << err;
    std::string text = cgtest::emitText(*h);
    EXPECT_NE(
        text.find(
            "    inWidth = 1;\n    inWidth = u0_dims[0] * inWidth;\n    inWidth = u0_dims[1] * inWidth;\n"
            "    inWidth = u0_dims[2] * inWidth;\n"),
        std::string::npos)
        << text;
}
