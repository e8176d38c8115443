// The streaming .npy reader and writer against the whole-file ones (an independent odometer transpose)
// over shapes, element sizes, both orders and both byte orders, and one case worked by hand.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <numeric>

#include "errors.h"
#include "io_npy.h"
#include "test_files.h"

using namespace dravo::cli;
using dravo::test::TempDir;

namespace {

std::string shapeText(const std::vector<size_t>& shape) {
    std::string s = "(";
    for (size_t i = 0; i < shape.size(); ++i)
        s += (i ? ", " : "") + std::to_string(shape[i]);
    return s + (shape.size() == 1 ? ",)" : ")");
}

struct StreamCase {
    std::vector<size_t> shape;
    const char* descr;
    NpyElement element;
};

class NpyStream : public ::testing::TestWithParam<StreamCase> {};

TEST_P(NpyStream, ReadsAndWritesWhatTheWholeFileCodeDoes) {
    const auto& c = GetParam();
    size_t n = std::accumulate(c.shape.begin(), c.shape.end(), size_t(1), std::multiplies<size_t>());
    size_t item = elementBytes(c.element);
    std::vector<uint8_t> data(n * item);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i * 37 + 11);
    TempDir dir;
    for (bool fortran : {false, true})
        for (char order : {'<', '>'}) {
            std::string descr = c.descr;
            if (descr[0] != '|') descr[0] = order;
            std::string path = (dir / "a.npy").string();
            dravo::test::writeFile(path, dravo::test::npyBytes(descr, fortran, shapeText(c.shape), data));
            NpyArray whole = readNpy(path);
            NpyLayout layout = readNpyLayout(path);
            EXPECT_EQ(layout.shape, c.shape);
            EXPECT_EQ(layout.element, c.element);
            std::vector<uint8_t> streamed(layout.dataBytes(), 0xee);
            readNpyInto(path, layout, streamed.data());
            EXPECT_EQ(streamed, whole.data) << descr << (fortran ? " fortran" : " C");

            std::string out = (dir / "b.npy").string();
            int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ASSERT_GE(fd, 0);
            writeNpyFromColumnMajor(fd, c.element, c.shape, whole.data.data(), "b.npy");
            ::close(fd);
            EXPECT_EQ(dravo::test::readFile(out), encodeNpy(whole)) << descr;
        }
}

INSTANTIATE_TEST_SUITE_P(
    Table, NpyStream,
    ::testing::Values(StreamCase{{}, "<f8", NpyElement::Float64}, StreamCase{{5}, "<f8", NpyElement::Float64},
                      StreamCase{{3, 4}, "<f8", NpyElement::Float64},
                      StreamCase{{1, 9}, "<i2", NpyElement::Int16},
                      StreamCase{{9, 1}, "|u1", NpyElement::UInt8},
                      StreamCase{{0, 4}, "<f4", NpyElement::Float32},
                      StreamCase{{70, 130}, "<i4", NpyElement::Int32},  // more columns than one tile
                      StreamCase{{4, 3, 3}, "<c16", NpyElement::Complex128},
                      StreamCase{{2, 3, 2, 5}, "<c8", NpyElement::Complex64},
                      StreamCase{{3, 1, 2}, "|b1", NpyElement::Bool}));

// [[1 2 3] [4 5 6]] in C order is 1 4 2 5 3 6 column-major.
TEST(NpyStream, TransposesAWorkedExample) {
    TempDir dir;
    std::string path = (dir / "m.npy").string();
    dravo::test::writeFile(path, dravo::test::npyBytes("<f8", false, "(2, 3)",
                                                       dravo::test::bytesOf<double>({1, 2, 3, 4, 5, 6})));
    NpyLayout layout = readNpyLayout(path);
    std::vector<double> m(6);
    readNpyInto(path, layout, m.data());
    EXPECT_EQ(m, (std::vector<double>{1, 4, 2, 5, 3, 6}));
}

TEST(NpyStream, RefusesWhatTheWholeFileReaderRefuses) {
    TempDir dir;
    auto good = dravo::test::npyBytes("<f8", false, "(2, 2)", dravo::test::bytesOf<double>({1, 2, 3, 4}));
    struct Bad {
        const char* name;
        std::vector<uint8_t> bytes;
        const char* messageClass;
    };
    auto longer = good;
    longer.push_back(0);
    auto badDtype = dravo::test::npyBytes("<f2", false, "(2,)", {0, 0, 0, 0});
    for (const auto& b :
         {Bad{"truncated", std::vector<uint8_t>(good.begin(), good.end() - 3), msg::kMalformedFile},
          Bad{"trailing bytes", longer, msg::kMalformedFile},
          Bad{"not npy", {'j', 'u', 'n', 'k', 0, 0, 0, 0, 0, 0, 0, 0}, msg::kMalformedFile},
          Bad{"float16", badDtype, msg::kUnsupportedArray}}) {
        std::string path = (dir / "x.npy").string();
        dravo::test::writeFile(path, b.bytes);
        try {
            readNpyLayout(path);
            ADD_FAILURE() << b.name;
        } catch (const ToolError& e) {
            EXPECT_EQ(e.messageClass(), b.messageClass) << b.name << ": " << e.what();
        }
    }
    // A file that changes after its header was read is refused, not read past its end.
    std::string path = (dir / "y.npy").string();
    dravo::test::writeFile(path, good);
    NpyLayout layout = readNpyLayout(path);
    dravo::test::writeFile(path, std::vector<uint8_t>(good.begin(), good.end() - 8));
    std::vector<double> dst(4);
    EXPECT_THROW(readNpyInto(path, layout, dst.data()), ToolError);
}

}  // namespace
