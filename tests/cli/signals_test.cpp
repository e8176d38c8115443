// Conversions between files and host signals that need the host's type registry.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "errors.h"
#include "signals.h"
#include "test_files.h"

using namespace dravo::cli;
namespace types = dravo::types;

namespace {

DataTypeId typeOf(const char* name) {
    return *types::parseTypeName(name);
}

TEST(Signals, LiteralsMustBeValuesOfTheirType) {
    Signal s = signalFromNumber(1.5, typeOf("fixed:s8:4"), "t");
    ASSERT_EQ(s.bytes.size(), 1u);
    EXPECT_EQ(static_cast<int8_t>(s.bytes[0]), 24);  // 1.5 * 2^4
    Signal neg = signalFromNumber(-1, typeOf("fixed:s12:0"), "t");
    EXPECT_EQ(dravo::test::valuesOf<int16_t>(neg.bytes), (std::vector<int16_t>{-1}));
    EXPECT_THROW(signalFromNumber(300, SS_INT8, "t"), UsageError);
    EXPECT_THROW(signalFromNumber(-1, SS_UINT8, "t"), UsageError);
    EXPECT_THROW(signalFromNumber(0.5, SS_INT32, "t"), UsageError);
    EXPECT_THROW(signalFromNumber(1.03, typeOf("fixed:s8:4"), "t"), UsageError);
    EXPECT_THROW(signalFromNumber(8, typeOf("fixed:s8:4"), "t"), UsageError);  // largest is 7.9375
    EXPECT_THROW(signalFromNumber(2, SS_BOOLEAN, "t"), UsageError);
    EXPECT_THROW(signalFromNumber(NAN, SS_INT16, "t"), UsageError);
    Signal f = signalFromNumber(0.1, SS_SINGLE, "t");
    EXPECT_EQ(dravo::test::valuesOf<float>(f.bytes), (std::vector<float>{0.1f}));
}

TEST(Signals, LiteralsAtTheEdgesOfWideWords) {
    // Stored integers expected as the 8 low container bytes, little-endian (written out by hand).
    struct Case {
        double value;
        const char* type;
        bool fits;
        uint64_t stored;
    } cases[] = {
        {9223372036854775808.0, "fixed:u64:0", true, 0x8000000000000000ull},   // 2^63
        {18446744073709549568.0, "fixed:u64:0", true, 0xfffffffffffff800ull},  // largest double below 2^64
        {18446744073709551616.0, "fixed:u64:0", false, 0},                     // 2^64
        {-9223372036854775808.0, "fixed:s64:0", true, 0x8000000000000000ull},  // -2^63
        {9223372036854775808.0, "fixed:s64:0", false, 0},                      // 2^63
        {1e300, "fixed:s64:0", false, 0},
        {-1e300, "fixed:u64:0", false, 0},
        {300, "fixed:s16:-1100", false, 0},  // scales to a fraction far below one: stored 0 would lie
        {0x1p1000, "fixed:s16:-1000", true, 1},
        {-0x1p1000, "fixed:s16:-1000", true, 0xffff},  // a 2-byte container
        {-1, "fixed:s80:0", true, 0xffffffffffffffffull},
    };
    for (const auto& c : cases) {
        if (!c.fits) {
            EXPECT_THROW(signalFromNumber(c.value, typeOf(c.type), "t"), UsageError)
                << c.value << " " << c.type;
            continue;
        }
        Signal sig = signalFromNumber(c.value, typeOf(c.type), "t");
        uint64_t low = 0;
        std::memcpy(&low, sig.bytes.data(), std::min<size_t>(8, sig.bytes.size()));
        EXPECT_EQ(low, c.stored) << c.value << " " << c.type;
        for (size_t k = 8; k < sig.bytes.size(); ++k)
            EXPECT_EQ(sig.bytes[k], c.value < 0 ? 0xff : 0x00) << c.type;
    }
}

TEST(Signals, RealWorldValuesScaleStoredIntegers) {
    Signal s;
    s.dataType = typeOf("fixed:u12:4");
    s.dims = {1, 2};
    s.bytes = dravo::test::bytesOf<uint16_t>({0x0fff, 16});
    EXPECT_EQ(realWorldValues(s), (std::vector<double>{255.9375, 1.0}));
    Signal wide;
    wide.dataType = typeOf("fixed:s100:90");
    wide.dims = {1, 1};
    wide.bytes.assign(16, 0xff);  // -1 stored
    EXPECT_EQ(realWorldValues(wide), (std::vector<double>{std::ldexp(-1.0, -90)}));
}

TEST(Signals, NpyOutputKeepsTheContainer) {
    std::vector<std::string> warnings;
    Signal s;
    s.dataType = typeOf("fixed:s40:0");
    s.dims = {2};
    s.bytes = dravo::test::bytesOf<int64_t>({-5, 7});
    NpyArray a = parseNpy(encodeSignal(s, "o.npy", false, warnings), "t");
    EXPECT_EQ(a.element, NpyElement::Int64);
    EXPECT_EQ(dravo::test::valuesOf<int64_t>(a.data), (std::vector<int64_t>{-5, 7}));

    Signal wide;
    wide.dataType = typeOf("fixed:u70:0");
    wide.dims = {1};
    wide.bytes.assign(16, 0);
    wide.bytes[0] = 3;
    EXPECT_THROW(encodeSignal(wide, "o.npy", false, warnings), ToolError);
    NpyArray real = parseNpy(encodeSignal(wide, "o.npy", true, warnings), "t");
    EXPECT_EQ(real.element, NpyElement::Float64);
    EXPECT_EQ(dravo::test::valuesOf<double>(real.data), (std::vector<double>{3.0}));
}

TEST(Signals, PngOutputRefusesWhatItCannotShow) {
    std::vector<std::string> warnings;
    Signal s;
    s.dataType = SS_INT16;
    s.dims = {2, 2};
    s.bytes.resize(8);
    EXPECT_THROW(encodeSignal(s, "o.png", false, warnings), ToolError);
    s.dataType = SS_UINT8;
    s.dims = {1, 2, 2};
    s.bytes.resize(4);
    EXPECT_THROW(encodeSignal(s, "o.png", false, warnings), ToolError);  // two planes
    s.dims = {2, 2, 1};
    EXPECT_NO_THROW(encodeSignal(s, "o.png", false, warnings));
    EXPECT_THROW(encodeSignal(s, "o.tiff", false, warnings), UsageError);
}

TEST(Signals, NpyInputTypeMustMatchUnlessItIsFixedPoint) {
    NpyArray a;
    a.element = NpyElement::Float32;
    a.shape = {2};
    a.data = dravo::test::bytesOf<float>({1, 2});
    EXPECT_EQ(signalFromNpy(a, std::nullopt, "t").dataType, SS_SINGLE);
    EXPECT_EQ(signalFromNpy(a, SS_SINGLE, "t").dataType, SS_SINGLE);
    EXPECT_THROW(signalFromNpy(a, SS_DOUBLE, "t"), UsageError);
    EXPECT_THROW(signalFromNpy(a, typeOf("fixed:s16:0"), "t"), UsageError);  // floats are not stored integers
}

}  // namespace
