#include "io_png.h"

#include <png.h>

#include <csetjmp>
#include <cstring>

#include "errors.h"
#include "io_npy.h"

namespace dravo::cli {
namespace {

struct ReadSource {
    const std::vector<uint8_t>* bytes;
    size_t pos;
};

void readFromMemory(png_structp png, png_bytep out, png_size_t length) {
    auto* src = static_cast<ReadSource*>(png_get_io_ptr(png));
    if (length > src->bytes->size() - src->pos) png_error(png, "truncated file");
    std::memcpy(out, src->bytes->data() + src->pos, length);
    src->pos += length;
}

void writeToVector(png_structp png, png_bytep in, png_size_t length) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), in, in + length);
}

void flushNothing(png_structp) {}

// libpng reports errors by longjmp; the text is kept here and turned into a ToolError afterwards.
struct ErrorSink {
    char text[256] = {0};
};

void onError(png_structp png, png_const_charp message) {
    auto* sink = static_cast<ErrorSink*>(png_get_error_ptr(png));
    std::strncpy(sink->text, message, sizeof sink->text - 1);
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

}  // namespace

std::string pngSizeProblem(size_t rows, size_t cols, int channels, int bitDepth) {
    if (rows > kPngMaxSide || cols > kPngMaxSide)
        return "a PNG holds at most " + std::to_string(kPngMaxSide) + " rows and columns, not " +
               std::to_string(rows) + "x" + std::to_string(cols);
    double bytes = double(rows) * double(cols) * channels * (bitDepth / 8);
    if (bytes > double(kPngMaxSampleBytes))
        return "a PNG holds at most " + std::to_string(kPngMaxSampleBytes) + " bytes of samples";
    return "";
}

PngImage decodePng(const std::vector<uint8_t>& bytes, const std::string& what) {
    if (bytes.size() < 8 || png_sig_cmp(bytes.data(), 0, 8) != 0)
        throw ToolError(msg::kMalformedFile, what + ": not a PNG file");
    ErrorSink sink;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &sink, onError, onWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_read_struct(&png, &info, nullptr);
        throw ToolError(msg::kUnreadableFile, what + ": out of memory");
    }
    ReadSource src{&bytes, 0};
    // Everything that setjmp may return into is declared before it and not modified in between in a
    // way that matters: the result is copied out only after a successful read.
    PngImage image;
    std::vector<png_bytep> rowPointers;
    std::vector<uint8_t> interleaved;
    std::string declared;
    volatile size_t refusedBytes = 0;  // set before a longjmp
    volatile bool badLayout = false;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        if (badLayout) throw ToolError(msg::kUnsupportedArray, what + ": unsupported PNG layout");
        if (refusedBytes)
            throw ToolError(msg::kOutOfMemory,
                            what + ": out of memory (" + std::to_string(refusedBytes) + " bytes asked for)");
        if (!declared.empty())
            throw ToolError(msg::kMalformedFile, what + ": corrupt PNG: it declares " + declared +
                                                     " pixels but holds only " +
                                                     std::to_string(bytes.size()) + " bytes");
        throw ToolError(msg::kMalformedFile, what + ": corrupt PNG: " + sink.text);
    }
    png_set_read_fn(png, &src, readFromMemory);
    png_set_user_limits(png, kPngMaxSide, kPngMaxSide);
    png_read_info(png, info);
    png_uint_32 width = png_get_image_width(png, info);
    png_uint_32 height = png_get_image_height(png, info);
    // Deflate shrinks at most about 1032:1: a header declaring more samples than the file's bytes can
    // hold is refused before anything is allocated for them.
    size_t fileRowBytes = png_get_rowbytes(png, info);
    if ((double(fileRowBytes) + 1) * height > double(bytes.size()) * 1032 + 65536) {
        declared = std::to_string(width) + "x" + std::to_string(height);
        png_error(png, "header declares more image data than the file holds");
    }
    int colorType = png_get_color_type(png, info);
    int depth = png_get_bit_depth(png, info);
    if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (colorType == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
    bool hasAlpha = (colorType & PNG_COLOR_MASK_ALPHA) != 0 || png_get_valid(png, info, PNG_INFO_tRNS);
    if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
    if (hasAlpha) png_set_strip_alpha(png);
    if (depth == 16 && [] {
            const uint16_t one = 1;
            uint8_t first;
            std::memcpy(&first, &one, 1);
            return first == 1;
        }())
        png_set_swap(png);  // PNG stores 16-bit samples big-endian
    // Interlaced images need the whole interleaved image; others are read a row at a time straight
    // into the column-major planes, so the image is held once.
    bool interlaced = png_get_interlace_type(png, info) != PNG_INTERLACE_NONE;
    if (interlaced) png_set_interlace_handling(png);
    png_read_update_info(png, info);
    int channels = png_get_channels(png, info);
    int outDepth = png_get_bit_depth(png, info);
    size_t rowBytes = png_get_rowbytes(png, info);
    if ((channels != 1 && channels != 3) || (outDepth != 8 && outDepth != 16)) {
        badLayout = true;
        png_error(png, "unsupported PNG layout");
    }
    if (rowBytes * height > kPngMaxSampleBytes) png_error(png, "image too large");
    size_t sample = static_cast<size_t>(outDepth / 8);
    bool noMemory = false;
    try {
        image.data.resize(rowBytes * height);
        interleaved.resize(interlaced ? rowBytes * height : rowBytes);
        if (interlaced) rowPointers.resize(height);
    } catch (const std::bad_alloc&) {
        noMemory = true;
    }
    if (noMemory) {
        refusedBytes = rowBytes * height;
        png_error(png, "out of memory");
    }
    auto scatterRow = [&](size_t r, const uint8_t* row) {
        for (size_t c = 0; c < width; ++c)
            for (int p = 0; p < channels; ++p)
                std::memcpy(image.data.data() + ((r + c * height) + size_t(p) * height * width) * sample,
                            row + (c * size_t(channels) + size_t(p)) * sample, sample);
    };
    if (interlaced) {
        for (png_uint_32 r = 0; r < height; ++r)
            rowPointers[r] = interleaved.data() + r * rowBytes;
        png_read_image(png, rowPointers.data());
        for (png_uint_32 r = 0; r < height; ++r)
            scatterRow(r, rowPointers[r]);
    } else {
        for (png_uint_32 r = 0; r < height; ++r) {
            png_read_row(png, interleaved.data(), nullptr);
            scatterRow(r, interleaved.data());
        }
    }
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    image.rows = height;
    image.cols = width;
    image.channels = channels;
    image.bitDepth = outDepth;
    image.droppedAlpha = hasAlpha;
    return image;
}

PngImage readPng(const std::string& path) {
    return decodePng(readFileBytes(path), "'" + path + "'");
}

std::vector<uint8_t> encodePng(const PngImage& image) {
    if (image.channels != 1 && image.channels != 3)
        throw ToolError(msg::kUnsupportedOutput,
                        "a PNG holds 1 (gray) or 3 (RGB) planes, not " + std::to_string(image.channels));
    if (image.bitDepth != 8 && image.bitDepth != 16)
        throw ToolError(msg::kUnsupportedOutput, "a PNG holds 8- or 16-bit samples");
    if (image.rows == 0 || image.cols == 0)
        throw ToolError(msg::kUnsupportedOutput, "a PNG cannot hold an empty image");
    if (std::string why = pngSizeProblem(image.rows, image.cols, image.channels, image.bitDepth);
        !why.empty())
        throw ToolError(msg::kUnsupportedOutput, why + "; use .npy");
    size_t sample = image.bitDepth / 8;
    size_t rowBytes = image.cols * image.channels * sample;
    std::vector<uint8_t> interleaved(rowBytes * image.rows);
    for (size_t r = 0; r < image.rows; ++r)
        for (size_t c = 0; c < image.cols; ++c)
            for (int p = 0; p < image.channels; ++p) {
                uint8_t* dst = interleaved.data() + r * rowBytes + (c * image.channels + p) * sample;
                const uint8_t* srcSample =
                    image.data.data() + ((r + c * image.rows) + p * image.rows * image.cols) * sample;
                if (sample == 2) {
                    uint16_t v;
                    std::memcpy(&v, srcSample, 2);
                    dst[0] = static_cast<uint8_t>(v >> 8);
                    dst[1] = static_cast<uint8_t>(v & 0xff);
                } else {
                    dst[0] = srcSample[0];
                }
            }
    std::vector<uint8_t> out;
    ErrorSink sink;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &sink, onError, onWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_write_struct(&png, &info);
        throw ToolError(msg::kUnwritableFile, "out of memory");
    }
    std::vector<png_bytep> rowPointers(image.rows);
    for (size_t r = 0; r < image.rows; ++r)
        rowPointers[r] = interleaved.data() + r * rowBytes;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        throw ToolError(msg::kUnwritableFile, std::string("PNG encoding failed: ") + sink.text);
    }
    png_set_write_fn(png, &out, writeToVector, flushNothing);
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.cols), static_cast<png_uint_32>(image.rows),
                 image.bitDepth, image.channels == 3 ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rowPointers.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

}  // namespace dravo::cli
