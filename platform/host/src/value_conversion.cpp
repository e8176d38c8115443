// Real-world values to and from stored elements: the one converter of the system.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "dravo/host/types.h"

namespace dravo::types {
namespace {

template <typename T>
void put(void* dst, T v) {
    std::memcpy(dst, &v, sizeof v);
}

template <typename T>
T get(const void* src) {
    T v;
    std::memcpy(&v, src, sizeof v);
    return v;
}

// Round half away from zero, then clamp to [lo, hi]; both bounds are exact in double for the ranges used.
template <typename I>
I roundSaturate(double v) {
    if (std::isnan(v)) return 0;
    double r = std::round(v);
    if (r <= static_cast<double>(std::numeric_limits<I>::min())) return std::numeric_limits<I>::min();
    if (r >= static_cast<double>(std::numeric_limits<I>::max())) return std::numeric_limits<I>::max();
    return static_cast<I>(r);
}

// The stored integer of a fixed-point value, saturated to the word; up to 128 bits.
__int128 fixedStoredInteger(double value, bool isSigned, int32_t wl, int32_t fl) {
    if (std::isnan(value)) return 0;
    double scaled = std::round(std::ldexp(value, fl));
    // Limits of the word as doubles: -2^(wl-1) .. 2^(wl-1)-1 or 0 .. 2^wl-1. Powers of two are exact; the
    // "-1" is applied on the integer side so 64- and 128-bit words saturate exactly.
    int maxExp = isSigned ? wl - 1 : wl;
    double upper = std::ldexp(1.0, maxExp);  // first value that no longer fits
    double lower = isSigned ? -upper : 0.0;
    unsigned __int128 one = 1;
    unsigned __int128 umax = maxExp >= 128 ? ~static_cast<unsigned __int128>(0) : (one << maxExp) - 1;
    if (scaled >= upper) return static_cast<__int128>(umax);
    if (scaled <= lower) return isSigned ? -static_cast<__int128>(umax) - 1 : 0;
    if (scaled < 0) return -static_cast<__int128>(static_cast<unsigned __int128>(-scaled));
    return static_cast<__int128>(static_cast<unsigned __int128>(scaled));
}

}  // namespace

bool storeRealWorld(double value, DataTypeId id, void* dst) {
    if (!isKnown(id)) return false;
    const TypeInfo& t = info(id);
    switch (t.kind) {
        case Kind::Double:
        case Kind::ScaledDouble:
            put(dst, value);
            return true;
        case Kind::Single:
            put(dst, static_cast<float>(value));
            return true;
        case Kind::Boolean:
            put<uint8_t>(dst, (value != 0.0 && !std::isnan(value)) ? 1 : 0);
            return true;
        case Kind::Integer:
            switch (id) {
                case SS_INT8:
                    put(dst, roundSaturate<int8_t>(value));
                    return true;
                case SS_UINT8:
                    put(dst, roundSaturate<uint8_t>(value));
                    return true;
                case SS_INT16:
                    put(dst, roundSaturate<int16_t>(value));
                    return true;
                case SS_UINT16:
                    put(dst, roundSaturate<uint16_t>(value));
                    return true;
                case SS_INT32:
                    put(dst, roundSaturate<int32_t>(value));
                    return true;
                case SS_UINT32:
                    put(dst, roundSaturate<uint32_t>(value));
                    return true;
                default:
                    return false;
            }
        case Kind::FixedPoint: {
            __int128 stored = fixedStoredInteger(value, t.isSigned, t.wordLength, t.fracLength);
            // Little-endian low bytes of the (already sign-extended) 128-bit value fill the container.
            unsigned char bytes[16];
            std::memcpy(bytes, &stored, 16);
            std::memcpy(dst, bytes, static_cast<size_t>(t.containerBytes));
            return true;
        }
    }
    return false;
}

double loadRealWorld(DataTypeId id, const void* src) {
    if (!isKnown(id)) return 0.0;
    const TypeInfo& t = info(id);
    switch (t.kind) {
        case Kind::Double:
        case Kind::ScaledDouble:
            return get<double>(src);
        case Kind::Single:
            return get<float>(src);
        case Kind::Boolean:
            return get<uint8_t>(src) ? 1.0 : 0.0;
        case Kind::Integer:
            switch (id) {
                case SS_INT8:
                    return get<int8_t>(src);
                case SS_UINT8:
                    return get<uint8_t>(src);
                case SS_INT16:
                    return get<int16_t>(src);
                case SS_UINT16:
                    return get<uint16_t>(src);
                case SS_INT32:
                    return get<int32_t>(src);
                case SS_UINT32:
                    return get<uint32_t>(src);
                default:
                    return 0.0;
            }
        case Kind::FixedPoint: {
            unsigned char bytes[16] = {};
            std::memcpy(bytes, src, static_cast<size_t>(t.containerBytes));
            unsigned __int128 u;
            std::memcpy(&u, bytes, 16);
            int bits = t.containerBytes * 8;
            if (bits < 128) {
                unsigned __int128 mask = (static_cast<unsigned __int128>(1) << bits) - 1;
                u &= mask;
                if (t.isSigned && (u >> (bits - 1)) & 1) u |= ~mask;
            }
            double v = t.isSigned ? static_cast<double>(static_cast<__int128>(u)) : static_cast<double>(u);
            return std::ldexp(v, -t.fracLength);
        }
    }
    return 0.0;
}

}  // namespace dravo::types
