// PNG images as column-major sample planes: rows x cols (gray) or rows x cols x 3 (RGB), 8-bit samples as
// uint8 and 16-bit samples as uint16 (native byte order). On read, palettes become RGB, bit depths below
// 8 become 8-bit, and an alpha channel is dropped (the caller is told so it can warn).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace dravo::cli {

struct PngImage {
    size_t rows = 0, cols = 0;
    int channels = 1;           // 1 gray, 3 RGB
    int bitDepth = 8;           // 8 or 16
    std::vector<uint8_t> data;  // column-major planes; 16-bit samples as native uint16
    bool droppedAlpha = false;  // set by readPng
};

// What the reader takes, and so what the writer makes: at most kPngMaxSide rows and columns, and at most
// kPngMaxSampleBytes bytes of samples.
inline constexpr size_t kPngMaxSide = 1000000;
inline constexpr size_t kPngMaxSampleBytes = size_t(1) << 31;
// Why such an image cannot be a PNG of ours ("" when it can).
std::string pngSizeProblem(size_t rows, size_t cols, int channels, int bitDepth);

// Throws ToolError: unreadableFile, malformedFile (not a PNG, truncated, corrupt, or declaring more
// samples than its compressed data could hold), unsupportedArray (beyond the limits above).
PngImage readPng(const std::string& path);
PngImage decodePng(const std::vector<uint8_t>& bytes, const std::string& what);
// Throws ToolError (unsupportedOutput) for a channel count other than 1 or 3, a bad depth, or a size
// beyond the reader's limits.
std::vector<uint8_t> encodePng(const PngImage& image);

}  // namespace dravo::cli
