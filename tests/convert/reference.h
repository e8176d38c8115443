// Reference conversions written straight from the formulas of the scale-and-convert block, with the
// literal division of roundHalfUp and the bit-test sign extension, for comparison with the kernels.
#pragma once

#include <cmath>
#include <cstdint>

namespace convert_test {

inline uint32_t wordMax(int wl) {
    return (1u << wl) - 1u;
}
inline uint32_t wordOffset(int wl) {
    return 1u << (wl - 1);
}

inline uint32_t refRoundHalfUp(uint32_t p, uint32_t q) {
    uint32_t r = p / q;
    if (2 * (p % q) >= q) ++r;
    return r;
}

// Stored bits of a signed output after a subtraction in a storage of storageBits bits.
inline uint32_t refSignExtend(uint32_t stored, int wl, int storageBits) {
    const uint32_t storageMask = storageBits == 8 ? 0xFFu : 0xFFFFu;
    stored &= storageMask;
    if (wl == 8 || wl == 16) return stored;
    const uint32_t h = 1u << (wl - 1);
    if (stored & h) return (stored | ~(h - 1)) & storageMask;
    return stored & (h - 1);
}

}  // namespace convert_test
