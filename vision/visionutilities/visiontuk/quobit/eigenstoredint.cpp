// The fixed-point eigenvalue metrics on stored integers (see eigenstoredint.h): the specialised engine when
// its plan holds for the step, else the general engine below, which reads every element through its
// container and quantises through the library's run-time modes.
#include "quobit/eigenstoredint.h"

#include "eigenstoredint_plan.h"

#include <algorithm>
#include <cmath>
#include <cstring>

using VekDSPFixpt::i128;
using VekDSPFixpt::NumType;
using VekDSPFixpt::u128;
using VekDSPFixpt::detail::QuantDest;

namespace quobit {

namespace {

constexpr int32_t kMaxWord = 62;
constexpr int32_t kMaxAlign = 60;

// A stored integer of `bytes` bytes, extended by its signedness (containers hold extended words).
inline int64_t load(const void* base, int64_t i, int32_t bytes, bool isSigned) {
    const unsigned char* p = static_cast<const unsigned char*>(base) + i * bytes;
    switch (bytes) {
        case 1: {
            uint8_t u;
            std::memcpy(&u, p, 1);
            return isSigned ? int64_t(int8_t(u)) : int64_t(u);
        }
        case 2: {
            uint16_t u;
            std::memcpy(&u, p, 2);
            return isSigned ? int64_t(int16_t(u)) : int64_t(u);
        }
        case 4: {
            uint32_t u;
            std::memcpy(&u, p, 4);
            return isSigned ? int64_t(int32_t(u)) : int64_t(u);
        }
        default: {
            int64_t v;
            std::memcpy(&v, p, 8);
            return v;
        }
    }
}

inline void store(void* base, int64_t i, int32_t bytes, int64_t v) {
    unsigned char* p = static_cast<unsigned char*>(base) + i * bytes;
    switch (bytes) {
        case 1: {
            const uint8_t u = uint8_t(v);
            std::memcpy(p, &u, 1);
            break;
        }
        case 2: {
            const uint16_t u = uint16_t(v);
            std::memcpy(p, &u, 2);
            break;
        }
        case 4: {
            const uint32_t u = uint32_t(v);
            std::memcpy(p, &u, 4);
            break;
        }
        default:
            std::memcpy(p, &v, 8);
    }
}

inline int32_t flOf(const QuantDest& d) {
    return d.type.fracLength;
}

// floor(sqrt(n)).
inline u128 isqrt(u128 n) {
    u128 r = u128(std::sqrt(static_cast<long double>(n)));
    while (r > 0 && r * r > n)
        --r;
    while ((r + 1) * (r + 1) <= n)
        ++r;
    return r;
}

int32_t bitLength(u128 v) {
    const uint64_t hi = uint64_t(v >> 64), lo = uint64_t(v);
    return hi ? 128 - __builtin_clzll(hi) : (lo ? 64 - __builtin_clzll(lo) : 0);
}

// sqrt(m x 2^-fm) as a stored integer of d, rounded as the library's square root does: the root to two bits
// beyond d's grid, one more bit standing for anything dropped, then one quantisation. Values whose
// alignment does not fit 128 bits go through the library's objects.
int64_t sqrtStored(int64_t m, int32_t fm, const QuantDest& d, VekDSPFixpt::Fixpt* in,
                   VekDSPFixpt::Fixpt* root) {
    if (m <= 0) return 0;
    const int32_t fl = d.type.fracLength;
    const int64_t t = int64_t(-fm) + 2 * int64_t(fl) + 4;
    u128 n = u128(m);
    bool sticky = false;
    if (t >= 0) {
        if (bitLength(n) + t > 126) {
            in->setStoredBits(u128(i128(m)));
            in->sqrt(*root);
            return int64_t(root->getStoredBits());
        }
        n <<= t;
    } else if (t <= -64) {
        sticky = true;
        n = 0;
    } else {
        sticky = (n & ((u128(1) << -t) - 1)) != 0;
        n >>= -t;
    }
    const u128 r = isqrt(n);
    const bool inexact = sticky || r * r != n;
    const i128 scaled = i128(r) * 2 + (inexact ? 1 : 0);
    return int64_t(VekDSPFixpt::detail::quantiseFast<i128>(scaled, -(fl + 3), d).bits);
}

// Exact integer steps in I (int64_t when every word is narrow enough, else 128 bits), each quantised once.
template <class I>
struct Steps {
    // m x 2^e into d.
    [[gnu::always_inline]] static int64_t quant(I m, int32_t e, const QuantDest& d) {
        if constexpr (sizeof(I) == 8)
            return VekDSPFixpt::detail::quantiseFast64(m, e, d).bits;
        else
            return int64_t(VekDSPFixpt::detail::quantiseFast<i128>(m, e, d).bits);
    }
    // a x 2^-fa +- b x 2^-fb into d.
    [[gnu::always_inline]] static int64_t add(int64_t a, int32_t fa, int64_t b, int32_t fb, bool subtract,
                                              const QuantDest& d) {
        const int32_t f = std::max(fa, fb);
        const I A = I(a) * (I(1) << (f - fa));
        const I B = I(b) * (I(1) << (f - fb));
        return quant(subtract ? A - B : A + B, -f, d);
    }
    [[gnu::always_inline]] static int64_t mul(int64_t a, int32_t fa, int64_t b, int32_t fb,
                                              const QuantDest& d) {
        return quant(I(a) * I(b), -(fa + fb), d);
    }
};

bool usable(const RoleType& r) {
    return r.wordLength >= 2 && r.wordLength <= kMaxWord;
}

int32_t containerOf(int32_t wl) {
    return NumType::containerFor(wl);
}

}  // namespace

bool storedIntTypes(const RoleType* roles, bool harris, int32_t rounding, int32_t overflow,
                    StoredIntTypes& t) {
    const RoleType& image = roles[kRoleImage];
    // Images may be unsigned up to 32 bits (uint32) or signed up to 62.
    if (image.wordLength < 2 || image.wordLength > (image.isSigned ? kMaxWord : 32)) return false;
    const Role used[] = {kRoleOutput,  kRoleFilterCoeff, kRoleAccum,
                         kRoleProduct, kRoleMemory,      harris ? kRoleFactorCoeff : kRoleSqrt};
    int32_t lo = image.fracLength, hi = image.fracLength;
    for (Role r : used) {
        if (!usable(roles[r]) || !roles[r].isSigned) return false;
        lo = std::min(lo, roles[r].fracLength);
        hi = std::max(hi, roles[r].fracLength);
    }
    if (hi - lo > kMaxAlign) return false;
    // int64 suffices when every exact product and aligned sum stays within 62 bits.
    int32_t magnitude = image.wordLength - (image.isSigned ? 1 : 0);
    for (Role r : used)
        magnitude = std::max(magnitude, roles[r].wordLength - 1);
    t.narrow = 2 * magnitude <= 62 && magnitude + (hi - lo) <= 60;
    auto dest = [&](Role r) {
        return QuantDest::make(NumType::fixed(true, roles[r].wordLength, roles[r].fracLength), rounding,
                               overflow);
    };
    t.memory = dest(kRoleMemory);
    t.product = dest(kRoleProduct);
    t.accum = dest(kRoleAccum);
    t.output = dest(kRoleOutput);
    if (!harris) t.sqrtType = dest(kRoleSqrt);
    t.imageFl = image.fracLength;
    t.coeffFl = roles[kRoleFilterCoeff].fracLength;
    t.factorFl = harris ? roles[kRoleFactorCoeff].fracLength : 0;
    t.imageBytes = containerOf(image.wordLength);
    t.memoryBytes = containerOf(roles[kRoleMemory].wordLength);
    t.imageSigned = image.isSigned;
    return true;
}

namespace {

template <class I>
void kernel(const StoredIntData& d, const StoredIntTypes& t) {
    using St = Steps<I>;
    const int32_t M = d.M, L = d.L, Rp = M + L - 1;
    const int64_t S1 = int64_t(L) * Rp;
    const int32_t fm = flOf(t.memory), fp = flOf(t.product), fa = flOf(t.accum), fx = t.imageFl;
    const int32_t mb = t.memoryBytes;
    auto X = [&](int64_t i) { return load(d.image, i, t.imageBytes, t.imageSigned); };
    auto P = [&](int64_t i) { return load(d.pad, i, mb, true); };
    auto setP = [&](int64_t i, int64_t v) { store(d.pad, i, mb, v); };
    int64_t W[64];
    for (int32_t i = 0; i < 2 * L && i < 64; ++i)
        W[i] = load(d.W, i, d.coeffBytes, true);
    const int64_t k = d.harris ? load(d.k, 0, d.factorBytes, true) : 0;

    int32_t s = 0;
    int64_t o = 0;
    for (int32_t pass = 0; pass < 2; ++pass) {
        const int32_t qFrom = d.colRange[2 * pass], qTo = d.colRange[2 * pass + 1];
        const int32_t hFrom = d.rowRange[3 * pass], hTo = d.rowRange[3 * pass + 2];
        const int32_t vRows = d.rowRange[3 * pass + 2] - d.rowRange[3 * pass + 1];
        for (int32_t q = qFrom; q < qTo; ++q) {
            const int32_t n = d.next[s];
            const int64_t c = d.colPad[q];
            for (int32_t i = 0; i < Rp; ++i) {
                const int64_t e = d.rowPad[i] + c * M;
                int64_t gx = St::quant(X(e - M), -fx, t.memory);
                gx = St::add(gx, fm, X(e + M), fx, true, t.memory);
                int64_t gy = St::quant(X(e - 1), -fx, t.memory);
                gy = St::add(gy, fm, X(e + 1), fx, true, t.memory);
                const int64_t at = int64_t(s) * Rp + i;
                setP(at, St::mul(gx, fm, gx, fm, t.memory));
                setP(S1 + at, St::mul(gy, fm, gy, fm, t.memory));
                setP(2 * S1 + at, St::mul(gx, fm, gy, fm, t.memory));
            }
            for (int32_t plane = 0; plane < 3; ++plane) {
                const int64_t base = plane * S1;
                for (int32_t i = hFrom; i < hTo; ++i) {
                    int64_t acc = 0;
                    for (int32_t tt = 0; tt < L; ++tt) {
                        const int64_t p = St::mul(P(base + int64_t(tt) * Rp + i), fm, W[L - 1 - s + tt],
                                                  t.coeffFl, t.product);
                        acc = St::add(acc, fa, p, fp, false, t.accum);
                    }
                    setP(base + int64_t(n) * Rp + i, St::quant(acc, -fa, t.memory));
                }
                for (int32_t m = 0; m < vRows; ++m) {
                    int64_t acc = 0;
                    for (int32_t tt = 0; tt < L; ++tt) {
                        const int64_t p =
                            St::mul(P(base + int64_t(n) * Rp + m + tt), fm, W[tt], t.coeffFl, t.product);
                        acc = St::add(acc, fa, p, fp, false, t.accum);
                    }
                    setP(base + int64_t(n) * Rp + m, St::quant(acc, -fa, t.memory));
                }
            }
            for (int32_t m = 0; m < vRows; ++m) {
                const int64_t a = int64_t(n) * Rp + m;
                const int64_t A = P(a), B = P(S1 + a), D = P(2 * S1 + a);
                int64_t t1, t2;
                if (d.harris) {
                    t1 = St::add(A, fm, B, fm, false, t.memory);
                    t2 = St::quant(St::mul(t1, fm, t1, fm, t.product), -fp, t.memory);
                    t2 = St::mul(t2, fm, k, t.factorFl, t.memory);
                    t1 = St::mul(A, fm, B, fm, t.memory);
                    t1 = St::add(t1, fm, St::mul(D, fm, D, fm, t.product), fp, true, t.memory);
                    t1 = St::add(t1, fm, t2, fm, true, t.memory);
                } else {
                    t1 = St::add(A, fm, B, fm, true, t.memory);
                    t2 = St::quant(St::mul(t1, fm, t1, fm, t.product), -fp, t.memory);
                    t1 = St::mul(D, fm, D, fm, t.memory);
                    t1 = St::mul(t1, fm, 4, 0, t.memory);
                    t1 = St::add(t1, fm, t2, fm, false, t.memory);
                    const int64_t root = sqrtStored(t1, fm, t.sqrtType, d.sqrtIn, d.sqrtRoot);
                    t2 = St::quant(root, -flOf(t.sqrtType), t.memory);
                    t1 = St::add(A, fm, B, fm, false, t.memory);
                    t1 = St::add(t1, fm, t2, fm, true, t.memory);
                }
                store(d.out, o++, d.outBytes, St::quant(t1, -fm, t.output));
            }
            s = n;
        }
    }
}

}  // namespace

namespace storedint {

void runFastAvx2(const FastPlan& plan, const StoredIntData& d);

void runFastPlan(const FastPlan& plan, const StoredIntData& d) {
    runFastAvx2(plan, d);
}

}  // namespace storedint

void storedIntEigenKernel(const StoredIntData& d, const StoredIntTypes& t) {
    // The specialised engine is built for 256-bit vector units only (one copy of its many instances to
    // compile and test); other processors keep the general engine. The plan depends on the coefficients
    // and k, which may change between steps.
    static const bool avx2 = __builtin_cpu_supports("avx2");
    storedint::FastPlan plan;
    if (avx2 && storedint::makeFastPlan(d, t, plan)) {
        storedint::runFastPlan(plan, d);
        return;
    }
    if (t.narrow)
        kernel<int64_t>(d, t);
    else
        kernel<i128>(d, t);
}

}  // namespace quobit
