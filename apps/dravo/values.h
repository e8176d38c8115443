// Values typed on the command line and in dialog descriptions: a real or complex number ("2.5", "-1e3",
// "inf", "1+2i", "-3j"), a row vector "[1 2 3]" or "[1, 2, 3]", a matrix "[1 2; 3 4]", the empty "[]".
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace dravo::cli {

struct Value {
    size_t rows = 0, cols = 0;
    std::vector<double> re;  // column-major, rows x cols
    std::vector<double> im;  // empty for a real value, else the same size as re

    static Value scalar(double v) { return Value{1, 1, {v}, {}}; }
    bool isComplex() const { return !im.empty(); }
    bool isScalar() const { return rows == 1 && cols == 1; }
    size_t size() const { return re.size(); }
};

// Throws UsageError (dravo::cli::badValue) naming what is wrong.
Value parseValue(std::string_view text);
// A list of values for one scalar port, one per step: "0.1,0.2,0.3" (a single number is a list of one).
std::vector<double> parseNumberList(std::string_view text);
// True when text reads as a number list (so it is not a file name).
bool looksLikeNumberList(std::string_view text);
// The value in the syntax parseValue reads ("1+2i", "[1 2; 3 4]").
std::string formatValue(const Value& value);
std::string formatNumber(double v);

}  // namespace dravo::cli
