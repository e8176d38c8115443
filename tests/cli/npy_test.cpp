#include <gtest/gtest.h>

#include <numeric>

#include "errors.h"
#include "io_npy.h"
#include "test_files.h"

using namespace dravo::cli;
using dravo::test::bytesOf;
using dravo::test::npyBytes;
using dravo::test::valuesOf;

namespace {

// A 2x3 matrix [[0 1 2] [3 4 5]] in C order is 0..5; column-major it is 0 3 1 4 2 5.
TEST(Npy, COrderIsTransposedToColumnMajor) {
    auto file = npyBytes("<f8", false, "(2, 3)", bytesOf<double>({0, 1, 2, 3, 4, 5}));
    NpyArray a = parseNpy(file, "t");
    EXPECT_EQ(a.element, NpyElement::Float64);
    EXPECT_EQ(a.shape, (std::vector<size_t>{2, 3}));
    EXPECT_EQ(valuesOf<double>(a.data), (std::vector<double>{0, 3, 1, 4, 2, 5}));
}

// Whole-array layout changes against the index rule, for every item size and shapes beyond one tile of
// the copies: C-order (r, c) is element r*cols + c, column-major it is c*rows + r.
TEST(Npy, LayoutChangesFollowTheIndexRuleForEveryItemSize) {
    for (size_t itemsize : {1, 2, 4, 8, 16})
        for (auto [rows, cols] : {std::pair<size_t, size_t>{1, 200}, {200, 1}, {70, 130}, {3, 65}}) {
            std::vector<uint8_t> rowMajor(rows * cols * itemsize);
            for (size_t i = 0; i < rowMajor.size(); ++i)
                rowMajor[i] = static_cast<uint8_t>((i / itemsize) * 7 + i % itemsize);
            std::vector<uint8_t> colMajor = rowMajorToColumnMajor(rowMajor, {rows, cols}, itemsize);
            ASSERT_EQ(colMajor.size(), rowMajor.size());
            for (size_t r = 0; r < rows; ++r)
                for (size_t c = 0; c < cols; ++c)
                    for (size_t b = 0; b < itemsize; ++b)
                        ASSERT_EQ(colMajor[(c * rows + r) * itemsize + b],
                                  rowMajor[(r * cols + c) * itemsize + b])
                            << itemsize << " bytes, " << rows << "x" << cols << " at (" << r << ", " << c
                            << ")";
            EXPECT_EQ(columnMajorToRowMajor(colMajor, {rows, cols}, itemsize), rowMajor)
                << itemsize << " bytes, " << rows << "x" << cols;
        }
}

TEST(Npy, FortranOrderIsKeptAsItIs) {
    auto file = npyBytes("<f8", true, "(2, 3)", bytesOf<double>({0, 3, 1, 4, 2, 5}));
    NpyArray a = parseNpy(file, "t");
    EXPECT_EQ(valuesOf<double>(a.data), (std::vector<double>{0, 3, 1, 4, 2, 5}));
}

TEST(Npy, ThreeDimensionsFollowTheFirstIndexFastestRule) {
    // C-order element (i, j, k) of shape (2, 3, 4) holds i*100 + j*10 + k.
    std::vector<int32_t> c;
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 4; ++k)
                c.push_back(i * 100 + j * 10 + k);
    NpyArray a = parseNpy(npyBytes("<i4", false, "(2, 3, 4)", bytesOf(c)), "t");
    auto v = valuesOf<int32_t>(a.data);
    for (int k = 0; k < 4; ++k)
        for (int j = 0; j < 3; ++j)
            for (int i = 0; i < 2; ++i)
                EXPECT_EQ(v[i + 2 * j + 6 * k], i * 100 + j * 10 + k);
}

struct DtypeCase {
    const char* descr;
    NpyElement element;
    size_t bytes;
};

class NpyDtypes : public ::testing::TestWithParam<DtypeCase> {};

TEST_P(NpyDtypes, ReadAndWriteBackTheSameBytes) {
    const auto& c = GetParam();
    std::vector<uint8_t> data(c.bytes * 6);
    std::iota(data.begin(), data.end(), uint8_t(1));
    if (c.element == NpyElement::Bool)
        for (size_t i = 0; i < data.size(); ++i)
            data[i] = i % 2;
    NpyArray a = parseNpy(npyBytes(c.descr, false, "(3, 2)", data), "t");
    EXPECT_EQ(a.element, c.element);
    EXPECT_EQ(elementBytes(a.element), c.bytes);
    auto again = parseNpy(encodeNpy(a), "t");
    EXPECT_EQ(again.element, a.element);
    EXPECT_EQ(again.shape, a.shape);
    EXPECT_EQ(again.data, a.data);
    // The writer puts C order in the file: the data part equals what we started from.
    auto encoded = encodeNpy(a);
    std::vector<uint8_t> tail(encoded.end() - static_cast<long>(data.size()), encoded.end());
    EXPECT_EQ(tail, data);
    EXPECT_EQ((encoded.size() - data.size()) % 64, 0u) << "data should start on a 64-byte boundary";
}

INSTANTIATE_TEST_SUITE_P(
    AllTypes, NpyDtypes,
    ::testing::Values(DtypeCase{"<f8", NpyElement::Float64, 8}, DtypeCase{"<f4", NpyElement::Float32, 4},
                      DtypeCase{"|i1", NpyElement::Int8, 1}, DtypeCase{"|u1", NpyElement::UInt8, 1},
                      DtypeCase{"<i2", NpyElement::Int16, 2}, DtypeCase{"<u2", NpyElement::UInt16, 2},
                      DtypeCase{"<i4", NpyElement::Int32, 4}, DtypeCase{"<u4", NpyElement::UInt32, 4},
                      DtypeCase{"<i8", NpyElement::Int64, 8}, DtypeCase{"<u8", NpyElement::UInt64, 8},
                      DtypeCase{"|b1", NpyElement::Bool, 1}, DtypeCase{"<c16", NpyElement::Complex128, 16},
                      DtypeCase{"<c8", NpyElement::Complex64, 8}));

TEST(Npy, BigEndianIsSwapped) {
    std::vector<uint8_t> be = {0x01, 0x02, 0x03, 0x04};  // two >u2 values 0x0102, 0x0304
    NpyArray a = parseNpy(npyBytes(">u2", false, "(2,)", be), "t");
    EXPECT_EQ(valuesOf<uint16_t>(a.data), (std::vector<uint16_t>{0x0102, 0x0304}));
}

TEST(Npy, BigEndianComplexSwapsEachPart) {
    // >c8: real and imaginary float32 parts, each big-endian.
    float re = 1.5f, im = -2.0f;
    uint8_t r[4], i[4];
    std::memcpy(r, &re, 4);
    std::memcpy(i, &im, 4);
    std::vector<uint8_t> be = {r[3], r[2], r[1], r[0], i[3], i[2], i[1], i[0]};
    NpyArray a = parseNpy(npyBytes(">c8", false, "(1,)", be), "t");
    EXPECT_EQ(valuesOf<float>(a.data), (std::vector<float>{1.5f, -2.0f}));
}

TEST(Npy, VersionsTwoAndThreeAndZeroDimensions) {
    auto v2 = parseNpy(npyBytes("<f8", false, "()", bytesOf<double>({4.5}), 2), "t");
    EXPECT_TRUE(v2.shape.empty());
    EXPECT_EQ(v2.count(), 1u);
    auto v3 = parseNpy(npyBytes("<f4", false, "(1,)", bytesOf<float>({2}), 3), "t");
    EXPECT_EQ(v3.shape, (std::vector<size_t>{1}));
}

TEST(Npy, EmptyArrayReadsAndWrites) {
    NpyArray a = parseNpy(npyBytes("<f8", false, "(0, 3)", {}), "t");
    EXPECT_EQ(a.count(), 0u);
    EXPECT_EQ(parseNpy(encodeNpy(a), "t").shape, (std::vector<size_t>{0, 3}));
}

struct BadFile {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* messageClass;
};

class NpyBadFiles : public ::testing::TestWithParam<BadFile> {};

TEST_P(NpyBadFiles, AreRefusedWithTheRightClass) {
    try {
        parseNpy(GetParam().bytes, "'x.npy'");
        FAIL() << GetParam().name << " accepted";
    } catch (const dravo::cli::ToolError& e) {
        EXPECT_EQ(e.messageClass(), GetParam().messageClass) << GetParam().name << ": " << e.what();
        EXPECT_NE(std::string(e.what()).find("x.npy"), std::string::npos);
    }
}

std::vector<uint8_t> truncated(std::vector<uint8_t> v, size_t drop) {
    v.resize(v.size() - drop);
    return v;
}

std::vector<uint8_t> withHeaderLength(std::vector<uint8_t> v, uint16_t len) {
    v[8] = len & 0xff;
    v[9] = len >> 8;
    return v;
}

const auto kGood = npyBytes("<f8", false, "(2, 2)", bytesOf<double>({1, 2, 3, 4}));

INSTANTIATE_TEST_SUITE_P(
    Table, NpyBadFiles,
    ::testing::Values(
        BadFile{"empty", {}, msg::kMalformedFile},
        BadFile{"not npy", {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'}, msg::kMalformedFile},
        BadFile{"truncated data", truncated(kGood, 1), msg::kMalformedFile},
        BadFile{"truncated header", truncated(kGood, kGood.size() - 20), msg::kMalformedFile},
        BadFile{"trailing bytes", npyBytes("<f8", false, "(1,)", bytesOf<double>({1, 2})), msg::kMalformedFile},
        BadFile{"header length past the end", withHeaderLength(kGood, 60000), msg::kMalformedFile},
        BadFile{"no data", npyBytes("<f8", false, "(1,)", {}), msg::kMalformedFile},
        BadFile{"shape not a tuple", npyBytes("<f8", false, "[2]", bytesOf<double>({1, 2})), msg::kMalformedFile},
        BadFile{"negative shape", npyBytes("<f8", false, "(-2,)", bytesOf<double>({1, 2})), msg::kMalformedFile},
        BadFile{"huge shape", npyBytes("<f8", false, "(4294967296, 4294967296, 4294967296)", {}),
                msg::kMalformedFile},
        BadFile{"float16", npyBytes("<f2", false, "(1,)", {0, 0}), msg::kUnsupportedArray},
        BadFile{"string", npyBytes("<U3", false, "(1,)", std::vector<uint8_t>(12)), msg::kUnsupportedArray},
        BadFile{"object", npyBytes("|O", false, "(1,)", std::vector<uint8_t>(8)), msg::kUnsupportedArray},
        BadFile{"version 9", [] {
                    auto v = kGood;
                    v[6] = 9;
                    return v;
                }(),
                msg::kMalformedFile}));

TEST(Npy, BadFortranOrderValue) {
    std::string header = "{'descr': '<f8', 'fortran_order': Maybe, 'shape': (1,), }";
    std::vector<uint8_t> v = {0x93, 'N', 'U', 'M', 'P', 'Y', 1, 0, static_cast<uint8_t>(header.size()), 0};
    v.insert(v.end(), header.begin(), header.end());
    v.resize(v.size() + 8);
    EXPECT_THROW(parseNpy(v, "t"), ToolError);
}

TEST(Npy, StructuredDtypeIsUnsupported) {
    std::string header = "{'descr': [('a', '<f8')], 'fortran_order': False, 'shape': (1,), }";
    std::vector<uint8_t> v = {0x93, 'N', 'U', 'M', 'P', 'Y', 1, 0, static_cast<uint8_t>(header.size()), 0};
    v.insert(v.end(), header.begin(), header.end());
    v.resize(v.size() + 8);
    try {
        parseNpy(v, "t");
        FAIL();
    } catch (const ToolError& e) {
        EXPECT_EQ(e.messageClass(), msg::kUnsupportedArray);
    }
}

TEST(Npy, MissingFileIsUnreadable) {
    try {
        readNpy("/nonexistent/dir/a.npy");
        FAIL();
    } catch (const ToolError& e) {
        EXPECT_EQ(e.messageClass(), msg::kUnreadableFile);
        EXPECT_NE(std::string(e.what()).find("/nonexistent/dir/a.npy"), std::string::npos);
    }
}

}  // namespace

namespace {

TEST(NpyLimits, PrintableEscapesAndShortens) {
    struct Case {
        std::string in;
        size_t limit;
        std::string out;
    } cases[] = {
        {"descr", 64, "descr"},
        {"a\x1b[0m", 64, "a\\x1b[0m"},
        {std::string("n\0l", 3), 64, "n\\x00l"},
        {"back\\slash", 64, "back\\\\slash"},
        {"\xc3\xa9", 64, "\\xc3\\xa9"},
        {"abcdefghij", 4, "abcd..."},
        {"\x01\x02", 5, "\\x01..."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(printable(c.in, c.limit), c.out) << c.in;
}

TEST(NpyLimits, DimensionsBeyondThirtyTwoAreRefusedBothWays) {
    std::string shape33 = "(";
    for (int k = 0; k < 33; ++k)
        shape33 += "1, ";
    shape33 += ")";
    try {
        parseNpy(npyBytes("<f8", false, shape33, bytesOf<double>({1})), "t");
        FAIL();
    } catch (const dravo::cli::ToolError& e) {
        EXPECT_EQ(e.messageClass(), msg::kUnsupportedArray);
    }
    NpyArray a;
    a.shape.assign(33, 1);
    a.data = bytesOf<double>({1});
    try {
        encodeNpy(a);
        FAIL();
    } catch (const dravo::cli::ToolError& e) {
        EXPECT_EQ(e.messageClass(), msg::kUnsupportedOutput);
    }
    // 32 dimensions of 1 round-trip, and the header stays a version 1.0 one aligned to 64 bytes.
    a.shape.assign(32, 1);
    auto bytes = encodeNpy(a);
    EXPECT_EQ(bytes[6], 1);
    size_t headerLen = bytes[8] | (size_t(bytes[9]) << 8);
    EXPECT_EQ((10 + headerLen) % 64, 0u);
    EXPECT_EQ(parseNpy(bytes, "t").shape, a.shape);
}

TEST(NpyLimits, ElementCountBeyondTheHostLimitIsRefusedBeforeReadingData) {
    // 2^31 one-byte elements declared, none present: refused for the count, not for missing data.
    try {
        parseNpy(npyBytes("|u1", false, "(65536, 32768)", {}), "t");
        FAIL();
    } catch (const dravo::cli::ToolError& e) {
        EXPECT_EQ(e.messageClass(), msg::kUnsupportedArray);
        EXPECT_NE(std::string(e.what()).find("2147483648 elements"), std::string::npos) << e.what();
    }
}

}  // namespace
