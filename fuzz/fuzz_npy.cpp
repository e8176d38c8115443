// .npy reader: any bytes give an array or a ToolError. An array that the writer takes must read back
// as the same array (we never write what we cannot read).
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "errors.h"
#include "io_npy.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace dravo::cli;
    NpyArray a;
    try {
        a = parseNpy(std::vector<uint8_t>(data, data + size), "fuzz");
    } catch (const ToolError&) {
        return 0;
    }
    if (a.data.size() != a.count() * elementBytes(a.element)) std::abort();
    std::vector<uint8_t> again;
    try {
        again = encodeNpy(a);
    } catch (const ToolError&) {
        return 0;
    }
    NpyArray b = parseNpy(again, "fuzz (written)");  // must not throw
    if (b.element != a.element || b.shape != a.shape || b.data != a.data) std::abort();
    return 0;
}
