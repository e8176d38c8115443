// The specialised engine's plan: each step's shifts, rounding constants and word range, and the bound
// of its exact intermediate. A value bound is a bit count b with |v| <= 2^b.
#include "eigenstoredint_plan.h"

#include <algorithm>
#include <cstring>

using VekDSPFixpt::u128;
using VekDSPFixpt::detail::QuantDest;

namespace quobit::storedint {

namespace {

// Every exact intermediate, shifted onto its destination's grid, stays within 2^62; the rounding bias
// (below 2^61) then cannot overflow int64 either.
constexpr int32_t kMaxBits = 62;
constexpr int32_t kMaxRight = 61;

struct Bound {
    int32_t bits;  // |v| <= 2^bits
    int32_t fl;    // on the grid 2^-fl
};

Bound wordOf(const QuantDest& d) {
    return {d.type.wordLength - 1, d.type.fracLength};
}

int32_t bitLength(uint64_t v) {
    return v == 0 ? 0 : 64 - __builtin_clzll(v);
}

int64_t loadStored(const void* base, int32_t i, int32_t bytes) {
    const unsigned char* p = static_cast<const unsigned char*>(base) + int64_t(i) * bytes;
    switch (bytes) {
        case 1:
            return int8_t(*p);
        case 2: {
            int16_t v;
            std::memcpy(&v, p, 2);
            return v;
        }
        case 4: {
            int32_t v;
            std::memcpy(&v, p, 4);
            return v;
        }
        default: {
            int64_t v;
            std::memcpy(&v, p, 8);
            return v;
        }
    }
}

uint64_t magnitude(int64_t v) {
    return v < 0 ? uint64_t(0) - uint64_t(v) : uint64_t(v);
}

// The value m x 2^-fl with |m| <= 2^bits into d.
bool step(int32_t bits, int32_t fl, const QuantDest& d, StepConst& s) {
    const int32_t k = fl - d.type.fracLength;
    s.left = std::max(0, -k);
    s.right = std::max(0, k);
    if (bits + s.left > kMaxBits || s.right > kMaxRight) return false;
    s.half = s.right > 0 ? int64_t(1) << (s.right - 1) : 0;
    s.mask = (int64_t(1) << s.right) - 1;
    s.lsb = s.right > 0 ? 1 : 0;
    s.lo = d.lo64;
    s.hi = d.hi64;
    s.wrap = 64 - d.type.wordLength;
    return true;
}

bool mulPlan(Bound a, Bound b, const QuantDest& d, StepConst& s) {
    return step(a.bits + b.bits, a.fl + b.fl, d, s);
}

bool addPlan(Bound a, Bound b, const QuantDest& d, AddConst& s) {
    const int32_t f = std::max(a.fl, b.fl);
    s.leftA = f - a.fl;
    s.leftB = f - b.fl;
    return std::max(a.bits + s.leftA, b.bits + s.leftB) < kMaxBits &&
           step(std::max(a.bits + s.leftA, b.bits + s.leftB) + 1, f, d, s.q);
}

bool destOk(const QuantDest& d, const QuantDest& like) {
    return d.type.isSigned && d.type.wordLength >= 2 && d.type.wordLength <= 64 && !d.isDivision &&
           d.rounding == like.rounding && d.overflow == like.overflow;
}

}  // namespace

bool makeFastPlan(const StoredIntData& d, const StoredIntTypes& t, FastPlan& p) {
    const QuantDest &mem = t.memory, &prod = t.product, &acc = t.accum;
    for (const QuantDest* q : {&mem, &prod, &acc, &t.output})
        if (!destOk(*q, mem)) return false;
    if (!d.harris && !destOk(t.sqrtType, mem)) return false;
    if (d.L < 1 || 2 * d.L > 64) return false;
    if (t.memoryBytes != 2 && t.memoryBytes != 4) return false;
    p.rounding = roundingClass(mem.rounding);
    p.overflow = mem.overflow;
    p.memoryBytes = t.memoryBytes;
    p.imageBytes = t.imageBytes;
    p.imageSigned = t.imageSigned;
    p.outBytes = d.outBytes;
    p.harris = d.harris;
    p.L = d.L;

    const Bound image{t.imageBytes * 8 - (t.imageSigned ? 1 : 0), t.imageFl};
    const Bound m = wordOf(mem), pr = wordOf(prod), ac = wordOf(acc);
    uint64_t largest = 0;
    for (int32_t i = 0; i < 2 * d.L; ++i) {
        p.W[i] = loadStored(d.W, i, d.coeffBytes);
        largest = std::max(largest, magnitude(p.W[i]));
    }
    const Bound coeff{bitLength(largest), t.coeffFl};
    bool ok = step(image.bits, image.fl, mem, p.gradFirst) && addPlan(m, image, mem, p.gradSub) &&
              mulPlan(m, m, mem, p.gradProduct) && mulPlan(m, coeff, prod, p.tapProduct) &&
              addPlan(ac, pr, acc, p.tapSum) && step(ac.bits, ac.fl, mem, p.tapOut) &&
              step(m.bits, m.fl, t.output, p.output) && mulPlan(m, m, prod, p.square) &&
              step(pr.bits, pr.fl, mem, p.squareToMemory);
    if (!ok) return false;
    p.tapsAligned = p.tapSum.leftA == 0 && p.tapSum.leftB == 0 && p.tapSum.q.left == 0 &&
                    p.tapSum.q.right == 0 && coeff.bits <= 31;
    if (d.harris) {
        p.k = loadStored(d.k, 0, d.factorBytes);
        const Bound k{bitLength(magnitude(p.k)), t.factorFl};
        return addPlan(m, m, mem, p.sum) && mulPlan(m, k, mem, p.timesK) && mulPlan(m, m, mem, p.ab) &&
               mulPlan(m, m, prod, p.dd) && addPlan(m, pr, mem, p.minusDd) && addPlan(m, m, mem, p.minusKt);
    }
    const Bound root = wordOf(t.sqrtType);
    p.rootShift = -m.fl + 2 * root.fl + 4;
    if (p.rootShift < -kMaxBits || m.bits + std::max(p.rootShift, 0) > kMaxBits) return false;
    p.rootBelow52 = m.bits + std::max(p.rootShift, 0) <= 52;
    // The integer root of a value below 2^62 is below 2^31; 2r + 1 stays below 2^32.
    return addPlan(m, m, mem, p.diff) && mulPlan(m, m, mem, p.dd) && mulPlan(m, {3, 0}, mem, p.times4) &&
           addPlan(m, m, mem, p.radicand) && step(32, root.fl + 3, t.sqrtType, p.rootQuant) &&
           step(root.bits, root.fl, mem, p.rootToMemory) && addPlan(m, m, mem, p.sum) &&
           addPlan(m, m, mem, p.minusRoot);
}

namespace {

// An upper bound of |round(v x 2^(left - right))| for any rounding.
u128 ceilStep(u128 v, const StepConst& s) {
    return ((v << s.left) + u128(s.mask)) >> s.right;
}

}  // namespace

bool tapBound(const FastPlan& p, uint64_t largest, const int64_t* w, uint64_t* result) {
    if (!p.tapsAligned) return false;
    u128 sum = 0;
    for (int32_t t = 0; t < p.L; ++t) {
        const u128 product = ceilStep(u128(largest) * magnitude(w[t]), p.tapProduct);
        sum += product;
        if (product > u128(p.tapProduct.hi) || sum > u128(p.tapSum.q.hi)) return false;
    }
    const u128 out = ceilStep(sum, p.tapOut);
    if (out > u128(p.tapOut.hi)) return false;
    *result = uint64_t(out);
    return true;
}

}  // namespace quobit::storedint
