// PNG reader: any bytes give an image or a ToolError, without allocating for data that is not there.
// An image the writer takes must read back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "errors.h"
#include "io_png.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace dravo::cli;
    PngImage img;
    try {
        img = decodePng(std::vector<uint8_t>(data, data + size), "fuzz");
    } catch (const ToolError&) {
        return 0;
    }
    size_t expect =
        img.rows * img.cols * static_cast<size_t>(img.channels) * static_cast<size_t>(img.bitDepth / 8);
    if (img.data.size() != expect) std::abort();
    std::vector<uint8_t> again;
    try {
        again = encodePng(img);
    } catch (const ToolError&) {
        return 0;
    }
    PngImage back = decodePng(again, "fuzz (written)");  // must not throw
    if (back.rows != img.rows || back.cols != img.cols || back.channels != img.channels ||
        back.bitDepth != img.bitDepth || back.data != img.data)
        std::abort();
    return 0;
}
