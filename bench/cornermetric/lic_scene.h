// The benchmark scene of the local intensity comparison metric, defined by a formula that the peer
// script (lic_ratios.py) evaluates the same way: a checkerboard of 64x48 blocks at two levels with a
// diagonal ramp, plus a hashed noise of 0..7 levels, in 8-bit units.
#pragma once

#include <cstdint>
#include <vector>

namespace licbench {

inline uint8_t sceneValue(int64_t r, int64_t c) {
    const int64_t block = ((r / 64) + (c / 48)) % 2;
    const int64_t ramp = ((r + c) % 256) / 8;
    const uint64_t h = (uint64_t(r) * 7919u + uint64_t(c) * 104729u) * 2654435761u;
    const int64_t noise = int64_t((h & 0xFFFFFFFFu) >> 29);
    return uint8_t(60 + 120 * block + ramp + noise);
}

// Column-major rows x cols.
inline std::vector<uint8_t> scene(int32_t rows, int32_t cols) {
    std::vector<uint8_t> x(size_t(rows) * cols);
    for (int32_t c = 0; c < cols; ++c)
        for (int32_t r = 0; r < rows; ++r)
            x[size_t(r) + size_t(c) * rows] = sceneValue(r, c);
    return x;
}

}  // namespace licbench
