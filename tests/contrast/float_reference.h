// Reference of the floating kernels, written step by step from the block's description in plain
// arithmetic of the image's type (single: bin rounding in double). It also states this block's NaN
// decisions: NaN pixels never decide the extremes, have no bin and are not counted among the pixels
// whose fractions saturate; they map to lowOut.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

namespace contrast_test {

template <typename T>
struct FloatCase {
    int mode = 1;  // 1 min/max, 2 dialog range, 3 histogram
    int bins = 256;
    T lowOut = 0, highOut = 1;
    T rangeLow = 0, rangeHigh = 1;
    T lowFrac = 0, highFrac = 0;
};

template <typename T>
std::vector<T> referenceContrast(const std::vector<T>& in, const FloatCase<T>& c) {
    const size_t n = in.size();
    std::vector<T> out(n, c.lowOut);
    T lowIn = 0, highIn = 0;
    size_t valid = n;
    if (c.mode == 2) {
        lowIn = c.rangeLow;
        highIn = c.rangeHigh;
    } else {
        bool seen = false;
        valid = 0;
        for (T v : in) {
            if (std::isnan(v)) continue;
            ++valid;
            if (!seen) {
                lowIn = highIn = v;
                seen = true;
            } else if (lowIn > v) {
                lowIn = v;
            } else if (v > highIn) {
                highIn = v;
            }
        }
        if (!seen) return out;
        if (std::isinf(lowIn) || std::isinf(highIn)) return out;
    }
    if (!(highIn > lowIn)) return out;
    if (c.mode == 3 && (c.lowFrac > 0 || c.highFrac > 0)) {
        std::vector<uint64_t> hist(size_t(c.bins) + 1, 0);
        const T slope = T(c.bins) / (highIn - lowIn);
        for (T v : in) {
            if (std::isnan(v)) continue;
            const T p = (highIn - v) * slope;
            long j = long(std::trunc(double(p) + 0.5));
            if (j > c.bins) j = c.bins;  // rounding of the slope may reach one past the last bin
            ++hist[size_t(j)];
        }
        hist[size_t(c.bins) - 1] += hist[size_t(c.bins)];
        T newLow = lowIn, newHigh = highIn;
        if (c.lowFrac > 0) {
            const long t = long(std::trunc(T(T(valid) * c.lowFrac)));
            long sum = 0, j = c.bins - 1;
            for (; j >= 0; --j) {
                sum += long(hist[size_t(j)]);
                if (sum > t) break;
            }
            newLow = highIn - T(j + 1) / slope;
        }
        if (c.highFrac > 0) {
            const long t = long(std::trunc(T(T(valid) * c.highFrac)));
            long sum = 0, j = 0;
            for (; j < c.bins; ++j) {
                sum += long(hist[size_t(j)]);
                if (sum > t) break;
            }
            newHigh = highIn - T(j) / slope;
        }
        lowIn = newLow;
        highIn = newHigh;
    }
    const T s = (c.highOut - c.lowOut) / (highIn - lowIn);
    for (size_t i = 0; i < n; ++i) {
        const T v = in[i];
        if (v > lowIn && v < highIn)
            out[i] = (v - lowIn) * s + c.lowOut;
        else if (v >= highIn)
            out[i] = c.highOut;
        else
            out[i] = c.lowOut;
    }
    return out;
}

}  // namespace contrast_test
