#include <gtest/gtest.h>
#include <png.h>

#include "errors.h"
#include "io_png.h"
#include "test_files.h"

using namespace dravo::cli;

namespace {

// libpng's simplified API is an independent path through the format: files it writes must read back
// through our decoder, and files we write must read back through it.
std::vector<uint8_t> writeWithSimplifiedApi(int rows, int cols, bool rgb,
                                            const std::vector<uint8_t>& interleaved) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(cols);
    image.height = static_cast<png_uint_32>(rows);
    image.format = rgb ? PNG_FORMAT_RGB : PNG_FORMAT_GRAY;
    png_alloc_size_t size = 0;
    EXPECT_TRUE(png_image_write_to_memory(&image, nullptr, &size, 0, interleaved.data(), 0, nullptr));
    std::vector<uint8_t> out(size);
    EXPECT_TRUE(png_image_write_to_memory(&image, out.data(), &size, 0, interleaved.data(), 0, nullptr));
    out.resize(size);
    return out;
}

std::vector<uint8_t> readWithSimplifiedApi(const std::vector<uint8_t>& file, bool rgb, int& rows, int& cols) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    EXPECT_TRUE(png_image_begin_read_from_memory(&image, file.data(), file.size()));
    image.format = rgb ? PNG_FORMAT_RGB : PNG_FORMAT_GRAY;
    std::vector<uint8_t> out(PNG_IMAGE_SIZE(image));
    EXPECT_TRUE(png_image_finish_read(&image, nullptr, out.data(), 0, nullptr));
    rows = static_cast<int>(image.height);
    cols = static_cast<int>(image.width);
    return out;
}

std::vector<uint8_t> pattern(size_t n) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>(i * 37 + 11);
    return v;
}

class PngLayouts : public ::testing::TestWithParam<bool> {};

TEST_P(PngLayouts, ForeignFileReadsColumnMajor) {
    bool rgb = GetParam();
    const int rows = 5, cols = 7, ch = rgb ? 3 : 1;
    auto interleaved = pattern(size_t(rows) * cols * ch);
    PngImage img = decodePng(writeWithSimplifiedApi(rows, cols, rgb, interleaved), "t");
    ASSERT_EQ(img.rows, size_t(rows));
    ASSERT_EQ(img.cols, size_t(cols));
    ASSERT_EQ(img.channels, ch);
    EXPECT_EQ(img.bitDepth, 8);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            for (int p = 0; p < ch; ++p)
                ASSERT_EQ(img.data[r + c * rows + p * rows * cols], interleaved[(r * cols + c) * ch + p]);
}

TEST_P(PngLayouts, OurFileReadsBackThroughLibpng) {
    bool rgb = GetParam();
    PngImage img;
    img.rows = 4;
    img.cols = 6;
    img.channels = rgb ? 3 : 1;
    img.data = pattern(img.rows * img.cols * img.channels);
    int rows = 0, cols = 0;
    auto back = readWithSimplifiedApi(encodePng(img), rgb, rows, cols);
    ASSERT_EQ(rows, 4);
    ASSERT_EQ(cols, 6);
    for (size_t r = 0; r < img.rows; ++r)
        for (size_t c = 0; c < img.cols; ++c)
            for (int p = 0; p < img.channels; ++p)
                ASSERT_EQ(back[(r * img.cols + c) * img.channels + p],
                          img.data[r + c * img.rows + p * img.rows * img.cols]);
}

TEST_P(PngLayouts, SixteenBitRoundTrip) {
    PngImage img;
    img.rows = 3;
    img.cols = 5;
    img.channels = GetParam() ? 3 : 1;
    img.bitDepth = 16;
    std::vector<uint16_t> samples;
    for (size_t i = 0; i < img.rows * img.cols * img.channels; ++i)
        samples.push_back(static_cast<uint16_t>(i * 4099 + 1));
    img.data = dravo::test::bytesOf(samples);
    auto file = encodePng(img);
    // IHDR: bit depth at byte 24, colour type at byte 25.
    ASSERT_GT(file.size(), 26u);
    EXPECT_EQ(file[24], 16);
    EXPECT_EQ(file[25], GetParam() ? 2 : 0);
    PngImage back = decodePng(file, "t");
    EXPECT_EQ(back.bitDepth, 16);
    EXPECT_EQ(back.channels, img.channels);
    EXPECT_EQ(dravo::test::valuesOf<uint16_t>(back.data), samples);
}

INSTANTIATE_TEST_SUITE_P(GrayAndRgb, PngLayouts, ::testing::Bool());

TEST(Png, AlphaIsDroppedAndReported) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = 2;
    image.height = 1;
    image.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> px = {10, 20, 30, 255, 40, 50, 60, 128};
    png_alloc_size_t size = 0;
    ASSERT_TRUE(png_image_write_to_memory(&image, nullptr, &size, 0, px.data(), 0, nullptr));
    std::vector<uint8_t> file(size);
    ASSERT_TRUE(png_image_write_to_memory(&image, file.data(), &size, 0, px.data(), 0, nullptr));
    PngImage img = decodePng(file, "t");
    EXPECT_TRUE(img.droppedAlpha);
    EXPECT_EQ(img.channels, 3);
    EXPECT_EQ(img.data, (std::vector<uint8_t>{10, 40, 20, 50, 30, 60}));
}

TEST(Png, TruncatedAndCorruptFilesAreMalformed) {
    PngImage img;
    img.rows = 16;
    img.cols = 16;
    img.data = pattern(256);
    auto good = encodePng(img);
    std::vector<std::vector<uint8_t>> bad;
    for (size_t keep : {size_t(4), size_t(12), size_t(40), good.size() / 2, good.size() - 13})
        bad.emplace_back(good.begin(), good.begin() + static_cast<long>(keep));
    auto corrupt = good;
    for (size_t i = 40; i < corrupt.size() - 20; ++i)
        corrupt[i] ^= 0x5a;
    bad.push_back(corrupt);
    for (const auto& b : bad) {
        try {
            decodePng(b, "'p.png'");
            ADD_FAILURE() << "accepted a file of " << b.size() << " bytes";
        } catch (const ToolError& e) {
            EXPECT_EQ(e.messageClass(), msg::kMalformedFile) << e.what();
            EXPECT_NE(std::string(e.what()).find("p.png"), std::string::npos);
        }
    }
}

TEST(Png, EncoderRefusesWhatAPngCannotHold) {
    PngImage twoPlanes;
    twoPlanes.rows = twoPlanes.cols = 2;
    twoPlanes.channels = 2;
    twoPlanes.data.resize(8);
    EXPECT_THROW(encodePng(twoPlanes), ToolError);
    PngImage empty;
    EXPECT_THROW(encodePng(empty), ToolError);
}

}  // namespace

namespace {

TEST(PngLimits, WhatTheWriterMakesTheReaderTakes) {
    // Wide and tall images up to the side limit round-trip; beyond it the writer refuses.
    for (auto [rows, cols] : {std::pair<size_t, size_t>{8, 70006}, {70006, 2}, {1, kPngMaxSide}}) {
        PngImage img;
        img.rows = rows;
        img.cols = cols;
        img.data.assign(rows * cols, 0);
        for (size_t i = 0; i < img.data.size(); ++i)
            img.data[i] = static_cast<uint8_t>(i * 7);
        PngImage back = decodePng(encodePng(img), "t");
        EXPECT_EQ(back.rows, rows);
        EXPECT_EQ(back.cols, cols);
        EXPECT_EQ(back.data, img.data);
    }
    PngImage wide;
    wide.rows = 1;
    wide.cols = kPngMaxSide + 1;
    wide.data.assign(wide.cols, 0);
    try {
        encodePng(wide);
        FAIL();
    } catch (const dravo::cli::ToolError& e) {
        EXPECT_EQ(e.messageClass(), msg::kUnsupportedOutput);
    }
    EXPECT_EQ(pngSizeProblem(46341, 46341, 1, 8), "a PNG holds at most 2147483648 bytes of samples");
    EXPECT_EQ(pngSizeProblem(46340, 46340, 1, 8), "");
    EXPECT_NE(pngSizeProblem(30000, 30000, 3, 8), "");
}

}  // namespace

namespace {

// An Adam7-interlaced file written by libpng itself (our writer makes none): RGB 8-bit rows x cols.
std::vector<uint8_t> writeInterlaced(int rows, int cols, const std::vector<uint8_t>& interleaved) {
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep d, png_size_t n) {
            auto* o = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(p));
            o->insert(o->end(), d, d + n);
        },
        nullptr);
    png_set_IHDR(png, info, static_cast<png_uint_32>(cols), static_cast<png_uint_32>(rows), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_ADAM7, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_bytep> rowPointers(static_cast<size_t>(rows));
    for (int r = 0; r < rows; ++r)
        rowPointers[static_cast<size_t>(r)] = const_cast<uint8_t*>(interleaved.data()) + size_t(r) * cols * 3;
    png_set_rows(png, info, rowPointers.data());
    png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

TEST(PngInterlaced, ReadsLikeAPlainFile) {
    const int rows = 13, cols = 9;
    auto interleaved = pattern(size_t(rows) * cols * 3);
    PngImage img = decodePng(writeInterlaced(rows, cols, interleaved), "t");
    ASSERT_EQ(img.rows, size_t(rows));
    ASSERT_EQ(img.cols, size_t(cols));
    ASSERT_EQ(img.channels, 3);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            for (int p = 0; p < 3; ++p)
                ASSERT_EQ(img.data[r + c * rows + p * rows * cols], interleaved[(r * cols + c) * 3 + p]);
}

}  // namespace
