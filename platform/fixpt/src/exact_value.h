// Operands of the exact path: a value read from a number object, and its exact form m x 2^e.
#pragma once

#include <cmath>
#include <cstdint>

#include "vekfixpt_quantise.h"
#include "vekfixpt_types.h"
#include "wide_int.h"

namespace VekDSPFixpt::detail {

struct Value {
    NumType type;
    u128 bits = 0;   // fixed point: the stored integer, extended to 128 bits
    double f = 0.0;  // floating types

    bool isNaN() const { return type.isFloating() && f != f; }
    bool isInf() const { return type.isFloating() && std::isinf(f); }
    int32_t sign() const {
        if (type.isFloating()) return f > 0 ? 1 : (f < 0 ? -1 : 0);
        if (type.isSigned && i128(bits) < 0) return -1;
        return bits != 0 ? 1 : 0;
    }
    double toDouble() const {
        if (type.isFloating()) return f;
        return type.isSigned ? std::ldexp(double(i128(bits)), -type.fracLength)
                             : std::ldexp(double(bits), -type.fracLength);
    }
};

struct Exact {
    Big m;
    int32_t e = 0;
};

// Exponent standing for an infinity: far enough above every destination word that only its sign (and, for
// wrap, low bits of zero) reach the result.
inline constexpr int32_t kInfinityExponent = 4000;

// The exact value of v. Floating operands are exact dyadic numbers; NaN reads as 0, infinities as
// +-2^kInfinityExponent.
inline Exact exactOf(const Value& v) {
    Exact x;
    if (!v.type.isFloating()) {
        x.m = v.type.isSigned ? Big::fromI128(i128(v.bits)) : Big::fromU128(v.bits);
        x.e = -v.type.fracLength;
        return x;
    }
    x.m = Big::zero();
    if (v.f != v.f || v.f == 0.0) return x;
    if (std::isinf(v.f)) {
        x.m = Big::fromI128(v.f < 0 ? -1 : 1);
        x.e = kInfinityExponent;
        return x;
    }
    int ex = 0;
    const double mant = std::frexp(v.f, &ex);
    x.m = Big::fromI128(i128(int64_t(std::ldexp(mant, 53))));
    x.e = ex - 53;
    return x;
}

// For sums and comparisons the operands must share one 2048-bit window. Fixed operands already do;
// a floating operand far below every fixed grid (below 2^-600) only contributes its sign to the dropped
// bits, and one far above every word (2^700 and more) only its sign and zero low bits, so both are
// replaced by a value of the same class.
inline Exact exactForSum(const Value& v) {
    Exact x = exactOf(v);
    if (!v.type.isFloating() || x.m.isZero()) return x;
    const int32_t top = x.e + x.m.signedBits();
    if (x.e < -600 && top < -600) {
        x.m = Big::fromI128(x.m.isNeg() ? -1 : 1);
        x.e = -601;
    } else if (top > 700) {
        x.m = Big::fromI128(x.m.isNeg() ? -1 : 1);
        x.e = 700;
    } else if (x.e < -700) {
        // A value straddling the lower bound keeps its bits from 2^-700 up and folds the rest into a
        // sticky unit below.
        const bool sticky = x.m.anyBitBelow(-700 - x.e);
        x.m.sar(-700 - x.e);
        x.m.shl(1);
        if (sticky) x.m.inc();
        x.e = -701;
    }
    return x;
}

}  // namespace VekDSPFixpt::detail
