// Value parser: any text gives a value or a UsageError. A parsed value formats to text that parses
// back to the same value (NaN compared as NaN).
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "errors.h"
#include "values.h"

namespace {

bool same(double a, double b) {
    return a == b || (std::isnan(a) && std::isnan(b));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace dravo::cli;
    std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        if (looksLikeNumberList(text)) parseNumberList(text);
    } catch (const ToolError&) {
    }
    Value v;
    try {
        v = parseValue(text);
    } catch (const ToolError&) {
        return 0;
    }
    if (v.re.size() != v.rows * v.cols || (!v.im.empty() && v.im.size() != v.re.size())) std::abort();
    Value w = parseValue(formatValue(v));  // must not throw
    if (w.rows != v.rows || w.cols != v.cols || w.re.size() != v.re.size() || w.im.size() != v.im.size())
        std::abort();
    for (size_t i = 0; i < v.re.size(); ++i)
        if (!same(v.re[i], w.re[i]) || (!v.im.empty() && !same(v.im[i], w.im[i]))) std::abort();
    return 0;
}
