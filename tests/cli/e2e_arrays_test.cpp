// Arrays and images through `dravo run` over the host's test block: every .npy dtype, both orders,
// three dimensions, PNG layouts, fixed-point stored integers and real-world output.
#include <gtest/gtest.h>
#include <png.h>

#include <cmath>

#include "e2e_support.h"

using namespace dravo::test;

namespace {

struct DtypeCase {
    const char* descr;
    size_t itemsize;
    const char* typeName;  // what dravo reports for the output
};

class E2eDtypes : public ::testing::TestWithParam<DtypeCase> {};

// Copy mode moves raw bytes, so the output file must hold exactly the input's data, in C order.
TEST_P(E2eDtypes, CopyRoundTripInBothOrders) {
    const auto& c = GetParam();
    TempDir dir;
    std::vector<uint8_t> rowMajor(6 * c.itemsize);
    for (size_t i = 0; i < rowMajor.size(); ++i)
        rowMajor[i] = static_cast<uint8_t>(i * 7 + 3);
    if (std::string(c.descr) == "|b1")
        for (size_t i = 0; i < rowMajor.size(); ++i)
            rowMajor[i] = (i % 3) == 0;
    // The same 2x3 matrix written in Fortran order: element (r, c) at r + 2c.
    std::vector<uint8_t> colMajor(rowMajor.size());
    for (size_t r = 0; r < 2; ++r)
        for (size_t col = 0; col < 3; ++col)
            std::memcpy(&colMajor[(r + 2 * col) * c.itemsize], &rowMajor[(r * 3 + col) * c.itemsize],
                        c.itemsize);
    writeFile(dir / "c.npy", npyBytes(c.descr, false, "(2, 3)", rowMajor));
    writeFile(dir / "f.npy", npyBytes(c.descr, true, "(2, 3)", colMajor));
    for (const char* in : {"c.npy", "f.npy"}) {
        auto r = runDravo({"run", "testblock", "-s", "mode=copy", "-i", (dir / in).string(), "-o",
                           (dir / "out.npy").string()});
        ASSERT_EQ(r.status, 0) << in << ": " << r.err;
        EXPECT_NE(r.out.find(c.typeName), std::string::npos) << r.out;
        NpyFile out = parseNpyFile(readFile(dir / "out.npy"));
        EXPECT_EQ(out.descr, c.descr) << in;
        EXPECT_FALSE(out.fortran);
        EXPECT_EQ(out.shape, "(2, 3)");
        EXPECT_EQ(out.data, rowMajor) << in;
    }
}

INSTANTIATE_TEST_SUITE_P(
    AllTypes, E2eDtypes,
    ::testing::Values(DtypeCase{"<f8", 8, "double 2x3"}, DtypeCase{"<f4", 4, "single 2x3"},
                      DtypeCase{"|i1", 1, "int8 2x3"}, DtypeCase{"|u1", 1, "uint8 2x3"},
                      DtypeCase{"<i2", 2, "int16 2x3"}, DtypeCase{"<u2", 2, "uint16 2x3"},
                      DtypeCase{"<i4", 4, "int32 2x3"}, DtypeCase{"<u4", 4, "uint32 2x3"},
                      DtypeCase{"|b1", 1, "boolean 2x3"}, DtypeCase{"<c16", 16, "complex double 2x3"},
                      DtypeCase{"<c8", 8, "complex single 2x3"}));

TEST(E2eArrays, ThreeDimensionsKeepTheirShapeAndOrder) {
    TempDir dir;
    std::vector<int16_t> v(2 * 3 * 4);
    for (size_t i = 0; i < v.size(); ++i)
        v[i] = static_cast<int16_t>(i * 11 - 50);
    writeFile(dir / "in.npy", npyBytes("<i2", false, "(2, 3, 4)", bytesOf(v)));
    auto r = runDravo({"run", "testblock", "-s", "mode=copy", "-i", (dir / "in.npy").string(), "-o",
                       (dir / "o.npy").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    NpyFile out = parseNpyFile(readFile(dir / "o.npy"));
    EXPECT_EQ(out.shape, "(2, 3, 4)");
    EXPECT_EQ(valuesOf<int16_t>(out.data), v);
}

TEST(E2eArrays, AffineComputesGainTimesInputPlusOffset) {
    TempDir dir;
    std::vector<double> u = {1, -2, 0.5, 4};
    writeFile(dir / "u.npy", npyBytes("<f8", false, "(2, 2)", bytesOf(u)));
    auto r = runDravo({"run", "testblock", "-s", "gain=2", "-p", "1=0.25", "-i", (dir / "u.npy").string(),
                       "-o", (dir / "y.npy").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    auto y = valuesOf<double>(parseNpyFile(readFile(dir / "y.npy")).data);
    ASSERT_EQ(y.size(), 4u);
    for (size_t i = 0; i < 4; ++i)
        EXPECT_EQ(y[i], 2 * u[i] + 0.25);
}

TEST(E2eArrays, ComplexInputAndOffset) {
    TempDir dir;
    writeFile(dir / "u.npy", npyBytes("<c16", false, "(1, 2)", bytesOf<double>({1, 0, 3, -1})));
    auto r = runDravo({"run", "testblock", "-s", "offset=1+2i", "-i", (dir / "u.npy").string(), "-o",
                       (dir / "y.npy").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    NpyFile y = parseNpyFile(readFile(dir / "y.npy"));
    EXPECT_EQ(y.descr, "<c16");
    EXPECT_EQ(valuesOf<double>(y.data), (std::vector<double>{2, 2, 4, 1}));
}

TEST(E2eArrays, SmallOutputsArePrintedWhenNoFileIsNamed) {
    TempDir dir;
    writeFile(dir / "u.npy", npyBytes("<f8", false, "(2, 2)", bytesOf<double>({1, 2, 3, 4})));
    auto r = runDravo({"run", "testblock", "-s", "gain=10", "-i", (dir / "u.npy").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("double 2x2"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("10  20"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("30  40"), std::string::npos) << r.out;
}

TEST(E2eArrays, FixedPointStoredIntegersAndRealWorld) {
    TempDir dir;
    std::vector<int16_t> stored = {4096, -2048, 1, 32767};
    writeFile(dir / "q.npy", npyBytes("<i2", false, "(4,)", bytesOf(stored)));
    auto r = runDravo({"run", "testblock", "-s", "mode=copy", "--input-type", "fixed:s16:12", "-i",
                       (dir / "q.npy").string(), "-o", (dir / "s.npy").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("fixed:s16:12"), std::string::npos) << r.out;
    NpyFile s = parseNpyFile(readFile(dir / "s.npy"));
    EXPECT_EQ(s.descr, "<i2");
    EXPECT_EQ(valuesOf<int16_t>(s.data), stored);

    r = runDravo({"run", "testblock", "-s", "mode=copy", "--input-type", "0=fixed:s16:12", "-i",
                  (dir / "q.npy").string(), "--real-world", "-o", (dir / "w.npy").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    NpyFile w = parseNpyFile(readFile(dir / "w.npy"));
    EXPECT_EQ(w.descr, "<f8");
    auto values = valuesOf<double>(w.data);
    ASSERT_EQ(values.size(), 4u);
    for (size_t i = 0; i < 4; ++i)
        EXPECT_EQ(values[i], std::ldexp(double(stored[i]), -12));
}

TEST(E2eArrays, NarrowFixedPointIsExtendedIntoItsContainer) {
    // fixed:s12:4 lives in 2 bytes; int8 stored integers are sign-extended into them.
    TempDir dir;
    writeFile(dir / "q.npy", npyBytes("|i1", false, "(3,)", bytesOf<int8_t>({-1, 5, -128})));
    auto r = runDravo({"run", "testblock", "-s", "mode=copy", "--input-type", "fixed:s12:4", "-i",
                       (dir / "q.npy").string(), "-o", (dir / "s.npy").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    NpyFile s = parseNpyFile(readFile(dir / "s.npy"));
    EXPECT_EQ(s.descr, "<i2");
    EXPECT_EQ(valuesOf<int16_t>(s.data), (std::vector<int16_t>{-1, 5, -128}));
    // numpy's default int64 works as long as each value fits the word.
    writeFile(dir / "q64.npy", npyBytes("<i8", false, "(2,)", bytesOf<int64_t>({-2048, 2047})));
    r = runDravo({"run", "testblock", "-s", "mode=copy", "--input-type", "fixed:s12:4", "-i",
                  (dir / "q64.npy").string(), "-o", (dir / "s64.npy").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(valuesOf<int16_t>(parseNpyFile(readFile(dir / "s64.npy")).data),
              (std::vector<int16_t>{-2048, 2047}));
    // An unsigned type takes uint8 samples zero-extended; fixed:u4:0 refuses 16.
    writeFile(dir / "u8.npy", npyBytes("|u1", false, "(2,)", {255, 16}));
    r = runDravo({"run", "testblock", "-s", "mode=copy", "--input-type", "fixed:u9:0", "-i",
                  (dir / "u8.npy").string(), "-o", (dir / "s9.npy").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    NpyFile s9 = parseNpyFile(readFile(dir / "s9.npy"));
    EXPECT_EQ(s9.descr, "<u2");
    EXPECT_EQ(valuesOf<uint16_t>(s9.data), (std::vector<uint16_t>{255, 16}));
    r = runDravo({"run", "testblock", "-s", "mode=copy", "--input-type", "fixed:u4:0", "-i",
                  (dir / "u8.npy").string()});
    EXPECT_EQ(r.status, 1) << r.err;
}

TEST(E2eArrays, StoredIntegersOutsideTheWordAreRefused) {
    TempDir dir;
    writeFile(dir / "q.npy", npyBytes("<i2", false, "(2,)", bytesOf<int16_t>({100, 2048})));
    auto r = runDravo({"run", "testblock", "-s", "mode=copy", "--input-type", "fixed:s12:0", "-i",
                       (dir / "q.npy").string(), "-o", (dir / "s.npy").string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(isOneErrorLine(r.err, "dravo::cli::badValue")) << r.err;
    EXPECT_NE(r.err.find("2048"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir / "s.npy"));
}

// PNG images through copy mode: 8- and 16-bit, gray and RGB, come back sample for sample.
struct PngCase {
    bool rgb;
    int depth;
};

class E2ePng : public ::testing::TestWithParam<PngCase> {};

std::vector<uint8_t> writePng(int rows, int cols, bool rgb, int depth, const std::vector<uint16_t>& samples) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(cols);
    image.height = static_cast<png_uint_32>(rows);
    image.format = (rgb ? PNG_FORMAT_RGB : PNG_FORMAT_GRAY) | (depth == 16 ? PNG_FORMAT_FLAG_LINEAR : 0);
    std::vector<uint8_t> buffer;
    if (depth == 16) {
        buffer = bytesOf(samples);
    } else {
        for (auto s : samples)
            buffer.push_back(static_cast<uint8_t>(s));
    }
    png_alloc_size_t size = 0;
    png_image_write_to_memory(&image, nullptr, &size, 0, buffer.data(), 0, nullptr);
    std::vector<uint8_t> out(size);
    png_image_write_to_memory(&image, out.data(), &size, 0, buffer.data(), 0, nullptr);
    out.resize(size);
    return out;
}

// Raw samples in file order (row by row, channels interleaved), read with libpng's low-level API so
// that no gamma handling touches them.
std::vector<uint16_t> readPng(const std::vector<uint8_t>& file, bool rgb, int depth, int& rows, int& cols) {
    std::vector<uint16_t> out;
    rows = cols = 0;
    FILE* f = fmemopen(const_cast<uint8_t*>(file.data()), file.size(), "rb");
    if (!f) return out;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        fclose(f);
        return {};
    }
    png_init_io(png, f);
    png_read_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    rows = static_cast<int>(png_get_image_height(png, info));
    cols = static_cast<int>(png_get_image_width(png, info));
    int channels = png_get_channels(png, info);
    int fileDepth = png_get_bit_depth(png, info);
    EXPECT_EQ(channels, rgb ? 3 : 1);
    EXPECT_EQ(fileDepth, depth);
    png_bytepp rowPointers = png_get_rows(png, info);
    for (int r = 0; r < rows; ++r)
        for (int i = 0; i < cols * channels; ++i)
            out.push_back(fileDepth == 16
                              ? static_cast<uint16_t>(rowPointers[r][2 * i] << 8 | rowPointers[r][2 * i + 1])
                              : rowPointers[r][i]);
    png_destroy_read_struct(&png, &info, nullptr);
    fclose(f);
    return out;
}

TEST_P(E2ePng, CopyRoundTrip) {
    const auto& c = GetParam();
    TempDir dir;
    const int rows = 6, cols = 9, ch = c.rgb ? 3 : 1;
    std::vector<uint16_t> samples;
    for (int i = 0; i < rows * cols * ch; ++i)
        samples.push_back(static_cast<uint16_t>(c.depth == 16 ? (i * 1237) % 65536 : (i * 29) % 256));
    writeFile(dir / "in.png", writePng(rows, cols, c.rgb, c.depth, samples));
    auto r = runDravo({"run", "testblock", "-s", "mode=copy", "-i", (dir / "in.png").string(), "-o",
                       (dir / "out.png").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    std::string expectType = std::string(c.depth == 16 ? "uint16" : "uint8") + " 6x9" + (c.rgb ? "x3" : "");
    EXPECT_NE(r.out.find(expectType), std::string::npos) << r.out;
    int outRows = 0, outCols = 0;
    auto back = readPng(readFile(dir / "out.png"), c.rgb, c.depth, outRows, outCols);
    EXPECT_EQ(outRows, rows);
    EXPECT_EQ(outCols, cols);
    EXPECT_EQ(back, samples);
    // And as .npy: rows x cols (x 3), C order, the samples in the PNG's own order.
    r = runDravo({"run", "testblock", "-s", "mode=copy", "-i", (dir / "in.png").string(), "-o",
                  (dir / "out.npy").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    NpyFile n = parseNpyFile(readFile(dir / "out.npy"));
    EXPECT_EQ(n.shape, c.rgb ? "(6, 9, 3)" : "(6, 9)");
    std::vector<uint16_t> fromNpy =
        c.depth == 16 ? valuesOf<uint16_t>(n.data) : std::vector<uint16_t>(n.data.begin(), n.data.end());
    EXPECT_EQ(fromNpy, samples);
}

INSTANTIATE_TEST_SUITE_P(Layouts, E2ePng,
                         ::testing::Values(PngCase{false, 8}, PngCase{true, 8}, PngCase{false, 16},
                                           PngCase{true, 16}));

TEST(E2eArrays, PngAsDoubleSpansZeroToOne) {
    TempDir dir;
    writeFile(dir / "in.png", writePng(1, 3, false, 8, {0, 51, 255}));
    auto r = runDravo({"run", "testblock", "--input-type", "double", "-i", (dir / "in.png").string(), "-o",
                       (dir / "o.npy").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(valuesOf<double>(parseNpyFile(readFile(dir / "o.npy")).data), (std::vector<double>{0, 0.2, 1}));
}

TEST(E2eArrays, DoubleOutputToPngClampsAndWarns) {
    TempDir dir;
    writeFile(dir / "u.npy", npyBytes("<f8", false, "(1, 3)", bytesOf<double>({0, 0.5, 2})));
    auto r = runDravo({"run", "testblock", "-i", (dir / "u.npy").string(), "-o", (dir / "o.png").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("warning: "), std::string::npos);
    EXPECT_NE(r.err.find("1 values outside [0, 1]"), std::string::npos) << r.err;
    int rows, cols;
    auto back = readPng(readFile(dir / "o.png"), false, 16, rows, cols);
    EXPECT_EQ(back, (std::vector<uint16_t>{0, 32768, 65535}));
}

}  // namespace
