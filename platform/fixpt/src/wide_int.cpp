#include "wide_int.h"

namespace VekDSPFixpt::detail {

namespace {

// Compares the low `limbs` limbs of a and b as unsigned numbers.
int32_t compareLimbs(const uint64_t* a, const uint64_t* b, int32_t limbs) {
    for (int32_t i = limbs - 1; i >= 0; --i)
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    return 0;
}

void subLimbs(uint64_t* a, const uint64_t* b, int32_t limbs) {
    uint64_t borrow = 0;
    for (int32_t i = 0; i < limbs; ++i) {
        const u128 d = u128(a[i]) - b[i] - borrow;
        a[i] = uint64_t(d);
        borrow = uint64_t(d >> 64) ? 1 : 0;
    }
}

}  // namespace

void divModMag(const Big& n, const Big& d, Big& q, Big& r) {
    q = Big::zero();
    r = Big::zero();
    const int32_t nBits = n.bitLength();
    // The running remainder stays below 2d, so it needs one bit more than d.
    const int32_t limbs =
        (d.bitLength() + 1 + 63) / 64 < Big::kLimbs ? (d.bitLength() + 1 + 63) / 64 : Big::kLimbs;
    for (int32_t i = nBits - 1; i >= 0; --i) {
        uint64_t carry = n.testBit(i) ? 1 : 0;
        for (int32_t j = 0; j < limbs; ++j) {
            const uint64_t next = r.w[j] >> 63;
            r.w[j] = (r.w[j] << 1) | carry;
            carry = next;
        }
        if (compareLimbs(r.w, d.w, limbs) >= 0) {
            subLimbs(r.w, d.w, limbs);
            q.setBit(i);
        }
    }
}

Big isqrtMag(const Big& n, bool& exact) {
    Big rem = n;
    Big res = Big::zero();
    Big bit = Big::zero();
    const int32_t len = n.bitLength();
    if (len == 0) {
        exact = true;
        return res;
    }
    bit.setBit((len - 1) & ~1);  // highest power of four not above n
    while (!bit.isZero()) {
        Big trial = res;
        trial.add(bit);
        res.sar(1);
        if (rem.compareMag(trial) >= 0) {
            rem.sub(trial);
            res.add(bit);
        }
        bit.sar(2);
    }
    exact = rem.isZero();
    return res;
}

u128 isqrtU128(u128 n, bool& exact) {
    u128 rem = n, res = 0;
    if (n == 0) {
        exact = true;
        return 0;
    }
    const uint64_t hi = uint64_t(n >> 64), lo = uint64_t(n);
    const int32_t len = hi ? 128 - __builtin_clzll(hi) : 64 - __builtin_clzll(lo);
    u128 bit = u128(1) << ((len - 1) & ~1);
    while (bit) {
        const u128 trial = res + bit;
        res >>= 1;
        if (rem >= trial) {
            rem -= trial;
            res += bit;
        }
        bit >>= 2;
    }
    exact = rem == 0;
    return res;
}

}  // namespace VekDSPFixpt::detail
