#include "report.h"

#include <algorithm>
#include <iostream>

#include "values.h"

namespace dravo::cli {
namespace {

// Messages are one line; texts handed over by plug-ins may carry newlines.
std::string oneLine(std::string s) {
    std::replace(s.begin(), s.end(), '\n', ' ');
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

}  // namespace

void reportError(const std::string& text, const std::string& messageClass) {
    std::cerr << "error: " << oneLine(text);
    if (!messageClass.empty()) std::cerr << " [" << messageClass << "]";
    std::cerr << std::endl;
}

void reportWarning(const std::string& text, const std::string& messageClass) {
    std::cerr << "warning: " << oneLine(text);
    if (!messageClass.empty()) std::cerr << " [" << messageClass << "]";
    std::cerr << std::endl;
}

void reportWarnings(const std::vector<host::Warning>& warnings) {
    for (const auto& w : warnings)
        reportWarning(w.text, w.messageClass);
}

void printTable(std::ostream& out, const std::vector<std::vector<std::string>>& rows) {
    std::vector<size_t> widths;
    for (const auto& r : rows)
        for (size_t c = 0; c < r.size(); ++c) {
            if (widths.size() <= c) widths.push_back(0);
            widths[c] = std::max(widths[c], r[c].size());
        }
    for (const auto& r : rows) {
        std::string line;
        for (size_t c = 0; c < r.size(); ++c) {
            line += r[c];
            if (c + 1 < r.size()) line += std::string(widths[c] - r[c].size() + 2, ' ');
        }
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        out << line << "\n";
    }
}

std::string describeSignal(const Signal& s) {
    std::string text = (s.complex ? "complex " : "") + types::typeName(s.dataType) + " ";
    for (size_t i = 0; i < s.dims.size(); ++i)
        text += (i ? "x" : "") + std::to_string(s.dims[i]);
    return text;
}

void printSignal(std::ostream& out, const Signal& s) {
    out << describeSignal(s) << "\n";
    constexpr size_t kMaxShown = 256;
    size_t n = s.count();
    if (n == 0 || n > kMaxShown) return;
    std::vector<double> im;
    std::vector<double> re = realWorldValues(s, &im);
    size_t rows = s.dims.empty() ? 1 : static_cast<size_t>(s.dims[0]);
    size_t cols = rows ? n / rows : 0;
    // Planes beyond the second dimension print one after another.
    size_t perPlane = s.dims.size() >= 2 ? rows * static_cast<size_t>(s.dims[1]) : n;
    size_t planes = perPlane ? n / perPlane : 0;
    size_t planeCols = rows ? perPlane / rows : 0;
    (void)cols;
    for (size_t p = 0; p < planes; ++p) {
        if (planes > 1) out << "plane " << p + 1 << ":\n";
        for (size_t r = 0; r < rows; ++r) {
            std::string line;
            for (size_t c = 0; c < planeCols; ++c) {
                size_t i = p * perPlane + r + c * rows;
                Value v = Value::scalar(re[i]);
                if (s.complex) v.im = {im[i]};
                line += (c ? "  " : "  ") + formatValue(v);
            }
            out << line << "\n";
        }
    }
}

}  // namespace dravo::cli
