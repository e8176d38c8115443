#include "values.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "errors.h"

namespace dravo::cli {
namespace {

struct Complex {
    double re = 0, im = 0;
};

[[noreturn]] void bad(std::string_view text, const std::string& why) {
    throw UsageError(msg::kBadValue, "malformed value '" + std::string(text) + "': " + why);
}

bool isImagUnit(char c) {
    return c == 'i' || c == 'j';
}

// strtod on a bounded token; nullopt unless it consumed at least one character.
std::optional<double> readReal(const std::string& s, size_t& pos) {
    if (pos >= s.size()) return std::nullopt;
    // strtod would also take hexadecimal and "infinity"; numbers people type are decimal.
    const char* begin = s.c_str() + pos;
    char* end = nullptr;
    double v = std::strtod(begin, &end);
    if (end == begin) return std::nullopt;
    pos += static_cast<size_t>(end - begin);
    return v;
}

// One number token without spaces: "2", "-1.5e3", "2i", "1+2i", "1-2j", "inf", "-nan".
std::optional<Complex> parseScalarToken(const std::string& tok) {
    if (tok.empty()) return std::nullopt;
    for (char c : tok)
        if (c == 'x' || c == 'X') return std::nullopt;  // no hexadecimal
    size_t pos = 0;
    // A lone imaginary unit: "i", "-i", "+j".
    if (tok == "i" || tok == "j" || tok == "+i" || tok == "+j") return Complex{0, 1};
    if (tok == "-i" || tok == "-j") return Complex{0, -1};
    auto first = readReal(tok, pos);
    if (!first) return std::nullopt;
    if (pos == tok.size()) return Complex{*first, 0};
    if (isImagUnit(tok[pos]) && pos + 1 == tok.size()) return Complex{0, *first};
    if (tok[pos] != '+' && tok[pos] != '-') return std::nullopt;
    double sign = tok[pos] == '-' ? -1.0 : 1.0;
    // "1+i" has no coefficient.
    if (pos + 2 == tok.size() && isImagUnit(tok[pos + 1])) return Complex{*first, sign};
    auto second = readReal(tok, pos);
    if (!second || pos + 1 != tok.size() || !isImagUnit(tok[pos])) return std::nullopt;
    return Complex{*first, *second};
}

std::string trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b])))
        ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1])))
        --e;
    return std::string(s.substr(b, e - b));
}

std::vector<std::string> splitTokens(const std::string& row) {
    std::vector<std::string> out;
    std::string cur;
    for (char c : row) {
        if (std::isspace(static_cast<unsigned char>(c)) || c == ',') {
            if (!cur.empty()) out.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) out.push_back(cur);
    return out;
}

}  // namespace

Value parseValue(std::string_view text) {
    std::string s = trim(text);
    if (s.empty()) bad(text, "empty");
    if (s.front() != '[') {
        // A scalar may be written with spaces around the sign of its imaginary part: "1 + 2i".
        std::string compact;
        for (char c : s)
            if (!std::isspace(static_cast<unsigned char>(c))) compact += c;
        auto z = parseScalarToken(compact);
        if (!z) bad(text, "expected a number such as 2.5, 1+2i or a vector [1 2 3]");
        Value v = Value::scalar(z->re);
        if (z->im != 0) v.im = {z->im};
        return v;
    }
    if (s.back() != ']') bad(text, "missing ']'");
    std::string body = s.substr(1, s.size() - 2);
    if (body.find_first_of("[]") != std::string::npos) bad(text, "nested brackets");
    std::vector<std::vector<Complex>> rows;
    size_t start = 0;
    while (true) {
        size_t semi = body.find(';', start);
        std::string row = body.substr(start, semi == std::string::npos ? std::string::npos : semi - start);
        std::vector<Complex> elems;
        for (const auto& tok : splitTokens(row)) {
            auto z = parseScalarToken(tok);
            if (!z) bad(text, "'" + tok + "' is not a number");
            elems.push_back(*z);
        }
        rows.push_back(std::move(elems));
        if (semi == std::string::npos) break;
        start = semi + 1;
    }
    // A trailing ';' ("[1 2;]") leaves an empty last row; so does "[]".
    if (rows.size() > 1 && rows.back().empty()) rows.pop_back();
    Value v;
    if (rows.size() == 1 && rows[0].empty()) return v;  // [] : 0 x 0
    v.rows = rows.size();
    v.cols = rows[0].size();
    for (const auto& r : rows)
        if (r.size() != v.cols || r.empty()) bad(text, "rows of different lengths");
    v.re.resize(v.rows * v.cols);
    std::vector<double> im(v.rows * v.cols);
    bool anyImag = false;
    for (size_t r = 0; r < v.rows; ++r)
        for (size_t c = 0; c < v.cols; ++c) {
            v.re[r + c * v.rows] = rows[r][c].re;
            im[r + c * v.rows] = rows[r][c].im;
            anyImag = anyImag || rows[r][c].im != 0;
        }
    if (anyImag) v.im = std::move(im);
    return v;
}

bool looksLikeNumberList(std::string_view text) {
    std::string s = trim(text);
    if (s.empty()) return false;
    size_t start = 0;
    while (true) {
        size_t comma = s.find(',', start);
        std::string tok =
            trim(s.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        auto z = parseScalarToken(tok);
        if (!z || z->im != 0) return false;
        if (comma == std::string::npos) return true;
        start = comma + 1;
    }
}

std::vector<double> parseNumberList(std::string_view text) {
    if (!looksLikeNumberList(text))
        bad(text, "expected a real number or a comma-separated list of real numbers");
    std::vector<double> out;
    std::string s = trim(text);
    size_t start = 0;
    while (true) {
        size_t comma = s.find(',', start);
        std::string tok =
            trim(s.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        out.push_back(parseScalarToken(tok)->re);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return out;
}

std::string formatNumber(double v) {
    if (std::isnan(v)) return "nan";
    if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
    // The shortest text that reads back the same ("20", not "2e+01").
    std::string best;
    for (int prec = 1; prec <= 17; ++prec) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.*g", prec, v);
        if (std::strtod(buf, nullptr) == v && (best.empty() || std::strlen(buf) < best.size())) best = buf;
    }
    return best;
}

namespace {
std::string formatElement(double re, double im, bool complex) {
    if (!complex) return formatNumber(re);
    std::string imText = formatNumber(std::fabs(im));
    bool negative = std::signbit(im) && !std::isnan(im);
    return formatNumber(re) + (negative ? "-" : "+") + imText + "i";
}
}  // namespace

std::string formatValue(const Value& value) {
    bool complex = value.isComplex();
    if (value.isScalar()) return formatElement(value.re[0], complex ? value.im[0] : 0, complex);
    std::string out = "[";
    for (size_t r = 0; r < value.rows; ++r) {
        if (r) out += "; ";
        for (size_t c = 0; c < value.cols; ++c) {
            if (c) out += ' ';
            size_t i = r + c * value.rows;
            out += formatElement(value.re[i], complex ? value.im[i] : 0, complex);
        }
    }
    return out + "]";
}

}  // namespace dravo::cli
