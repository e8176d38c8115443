// Integer rescaling of the scale-and-convert block without a per-element division.
//
// roundHalfUp(u * outMax, inMax) for 0 <= u <= inMax equals floor(u * outMax / inMax + 1/2). With
// M = outMax * 2^k / inMax rounded up or down to an integer and D = M * inMax - outMax * 2^k,
//   (u * M + 2^(k-1)) >> k  =  floor(u * outMax / inMax + 1/2 + u * D / (inMax * 2^k)).
// The exact value u * outMax / inMax + 1/2 is an odd multiple of 1/(2 * inMax) (inMax = 2^WL - 1 is
// odd), so it stays at least 1/(2 * inMax) away from every integer; the floor is unchanged as long as
// the error u * |D| / (inMax * 2^k) stays below that, i.e. when 2 * inMax * |D| < 2^k. The search below
// takes the smallest such k (with M below 2^32), so that u * M + 2^(k-1) fits 32 bits whenever it can;
// otherwise it fits 48 bits and the kernels form it in 64-bit arithmetic.
#pragma once

#include <cstdint>

namespace ubrin {

struct RescaleMultiplier {
    uint32_t multiplier;
    int32_t shift;      // 0 when no multiplier exists (never for word lengths 2 to 16)
    bool fitsIn32Bits;  // inMax * multiplier + 2^(shift-1) < 2^32
};

// The literal rounding rule: floor(p / q) + 1 when 2 * (p mod q) >= q, else floor(p / q).
constexpr uint32_t roundHalfUp(uint32_t p, uint32_t q) {
    const uint32_t quotient = p / q;
    const uint32_t remainder = p % q;
    return quotient + ((remainder << 1) >= q ? 1u : 0u);
}

constexpr RescaleMultiplier findRescaleMultiplier(uint32_t inMax, uint32_t outMax) {
    if (inMax == 0 || inMax > 0xFFFFu || outMax > 0xFFFFu) return {0, 0, false};
    for (int32_t k = 1; k <= 47; ++k) {
        const uint64_t scaled = static_cast<uint64_t>(outMax) << k;
        const uint64_t down = scaled / inMax;
        const uint64_t candidates[2] = {down + (scaled % inMax != 0 ? 1u : 0u), down};
        for (uint64_t m : candidates) {
            if (m > 0xFFFFFFFFull) continue;
            const int64_t d = static_cast<int64_t>(m * inMax) - static_cast<int64_t>(scaled);
            const uint64_t absD = static_cast<uint64_t>(d < 0 ? -d : d);
            if (2 * static_cast<uint64_t>(inMax) * absD < (uint64_t{1} << k)) {
                const uint64_t largest = m * inMax + (uint64_t{1} << (k - 1));
                return {static_cast<uint32_t>(m), k, largest <= 0xFFFFFFFFull};
            }
        }
    }
    return {0, 0, false};
}

}  // namespace ubrin
