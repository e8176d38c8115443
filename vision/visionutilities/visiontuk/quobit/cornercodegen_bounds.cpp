// Value bounds of the corner metric's fixed-point quantities, worked out at generation from the image type,
// the role types, the filter taps and the block's overflow mode. A quantity whose every value fits a word
// narrower than its role's is held in that narrower word: each assignment rounds the same way (the fraction
// length is the role's) and overflows in neither word, so the numbers are those of the role's type, and a
// 96-bit role whose values fit 64 bits becomes plain 64-bit code.
#include <algorithm>
#include <cmath>

#include "quobit/cornercodegen.h"
#include "vekdsp.h"

using namespace VekSimCommon;

namespace quobit {

namespace {

// Doubles carry about 53 bits; every bound is pushed outward by far more than their rounding error.
constexpr double kMargin = 0x1p-40;

double outward(double x) {
    return x + std::fabs(x) * kMargin;
}

Span make(double lo, double hi) {
    return {lo - std::fabs(lo) * kMargin, outward(hi)};
}

double smallest(const RoleType& r) {
    return r.isSigned ? -std::ldexp(1.0, r.wordLength - 1 - r.fracLength) : 0.0;
}

// The word's largest value, or a little less for words too wide for a double to tell it from the power
// above (so that a span within it never holds a value that overflows).
double largest(const RoleType& r) {
    const double top = std::ldexp(1.0, (r.isSigned ? r.wordLength - 1 : r.wordLength) - r.fracLength);
    return std::min(top - std::ldexp(1.0, -r.fracLength), top * (1.0 - kMargin));
}

}  // namespace

Span spanUnion(const Span& a, const Span& b) {
    return {std::min(a.lo, b.lo), std::max(a.hi, b.hi)};
}

Span spanAdd(const Span& a, const Span& b) {
    return make(a.lo + b.lo, a.hi + b.hi);
}

Span spanSub(const Span& a, const Span& b) {
    return make(a.lo - b.hi, a.hi - b.lo);
}

Span spanMul(const Span& a, const Span& b) {
    const double p[4] = {a.lo * b.lo, a.lo * b.hi, a.hi * b.lo, a.hi * b.hi};
    return make(*std::min_element(p, p + 4), *std::max_element(p, p + 4));
}

Span spanSquare(const Span& a) {
    const double m = std::max(std::fabs(a.lo), std::fabs(a.hi));
    const double n = (a.lo <= 0.0 && a.hi >= 0.0) ? 0.0 : std::min(std::fabs(a.lo), std::fabs(a.hi));
    return make(n * n, m * m);
}

Span spanSqrt(const Span& a) {
    return make(std::sqrt(std::max(a.lo, 0.0)), std::sqrt(std::max(a.hi, 0.0)));
}

// Every value of the word (the top rounded up where a double cannot hold it).
Span roleSpan(const RoleType& r) {
    const int32_t magnitudeBits = r.isSigned ? r.wordLength - 1 : r.wordLength;
    const double top = std::ldexp(1.0, magnitudeBits - r.fracLength);
    return {smallest(r), magnitudeBits <= 52 ? top - std::ldexp(1.0, -r.fracLength) : top};
}

// Any rounding moves a value by less than one step of the destination; past the word, saturation clamps
// and wrapping may give any value of the word.
Span quantSpan(const Span& v, const RoleType& r, bool saturate) {
    const double step = std::ldexp(1.0, -r.fracLength);
    const Span s = make(v.lo - step, v.hi + step);
    const Span word = roleSpan(r);
    if (s.lo >= word.lo && s.hi <= largest(r)) return s;
    if (!saturate) return word;
    return {std::max(s.lo, word.lo), std::min(s.hi, word.hi)};
}

int32_t signedBitsFor(const Span& s, int32_t fracLength) {
    const double lo = std::ldexp(std::min(s.lo, 0.0), fracLength);
    const double hi = std::ldexp(std::max(s.hi, 0.0), fracLength);
    int32_t w = 2;
    // -2^(w-1) <= lo and hi <= 2^(w-1) - 1
    while (w < 1024 && (lo < -std::ldexp(1.0, w - 1) || hi > std::ldexp(1.0, w - 1) - 1.0))
        ++w;
    return w;
}

CG::Type narrowedType(const RoleType& r, const Span& s) {
    const int32_t w = signedBitsFor(s, r.fracLength);
    if (!r.isSigned || w >= r.wordLength) return CG::Type::fixedT(r.isSigned, r.wordLength, -r.fracLength);
    return CG::Type::fixedT(true, w, -r.fracLength);
}

Span filterTapsSpan(SysObjAdaptorSFun* S, const RoleType& coeff, int32_t L, std::vector<Span>* windows) {
    dspParam values(S, kFilter, "dspshared::systemmessagefragment::mapBlkCoefficient");
    const int32_t n = values.getNumberOfElements();
    const double step = std::ldexp(1.0, -coeff.fracLength);
    std::vector<Span> taps;
    for (int32_t i = 0; i < n; ++i) {
        const double w = values.getRealValueAsDouble(i);
        // The stored tap is within a step of the dialog's value, and within the word.
        const Span t = make(w - step, w + step);
        const Span word = roleSpan(coeff);
        taps.push_back({std::max(t.lo, word.lo), std::min(t.hi, word.hi)});
    }
    windows->clear();
    Span all = {0.0, 0.0};
    for (int32_t j = 0; j + L <= n; ++j) {
        for (int32_t t = 0; t < L; ++t) {
            windows->push_back(taps[size_t(j + t)]);
            all = spanUnion(all, taps[size_t(j + t)]);
        }
    }
    return all;
}

}  // namespace quobit
