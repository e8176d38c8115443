// The element-by-element walking pad, as a baseline for the block-copy kernels: the same copy of whole
// columns, then every pad element copied on its own from a source position that walks along the line.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "pad_instance.h"

namespace padbench {

inline void walkingPad(const PadRunInfo& ri, int32_t outElemBytes) {
    const int32_t n = ri.numDims;
    const size_t eb = static_cast<size_t>(outElemBytes);
    const uint8_t* in = static_cast<const uint8_t*>(ri.inputData);
    uint8_t* out = static_cast<uint8_t*>(ri.outputData);
    auto kept = [&](int32_t k) {
        return ri.outDims[k] - std::max(ri.padBefore[k], 0) - std::max(ri.padAfter[k], 0);
    };
    int64_t columns = 1;
    for (int32_t k = 1; k < n; ++k)
        columns *= kept(k);
    for (int32_t k = 0; k < n; ++k) {
        ri.inAdd[k] = ri.padBefore[k] < 0 ? -ri.padBefore[k] : 0;
        ri.outAdd[k] = ri.padBefore[k] < 0 ? 0 : ri.padBefore[k];
    }
    const size_t columnBytes = static_cast<size_t>(kept(0)) * eb;
    for (int64_t c = 0; c < columns; ++c) {
        int64_t io = 0, oo = 0;
        for (int32_t k = 0; k < n; ++k) {
            io += int64_t{ri.inWorkAdd[k]} * ri.inAdd[k];
            oo += int64_t{ri.outWorkAdd[k]} * ri.outAdd[k];
        }
        std::memcpy(out + oo * eb, in + io * eb, columnBytes);
        for (int32_t k = 1; k < n; ++k) {
            ++ri.inAdd[k];
            ++ri.outAdd[k];
            if (ri.inAdd[k] >= ri.outDims[k] - ri.padBefore[k] - ri.padAfter[k] ||
                ri.outAdd[k] >= ri.outDims[k]) {
                ri.inAdd[k] = ri.padBefore[k] < 0 ? -ri.padBefore[k] : 0;
                ri.outAdd[k] = ri.padBefore[k] < 0 ? 0 : ri.padBefore[k];
            } else {
                break;
            }
        }
    }
    int64_t lowProd = 1, total = 1;
    for (int32_t k = 0; k < n; ++k)
        total *= ri.outDims[k];
    for (int32_t d = 0; d < n; ++d) {
        const int64_t a = ri.outDims[d], b = ri.padBefore[d], e = ri.padAfter[d];
        const int64_t highProd = total / (lowProd * a), L = kept(d);
        if (b > 0 || e > 0) {
            for (int64_t i = 0; i < lowProd; ++i) {
                for (int64_t j = 0; j < highProd; ++j) {
                    uint8_t* line = out + (i + j * lowProd * a) * eb;
                    auto at = [&](int64_t pos) { return line + pos * lowProd * static_cast<int64_t>(eb); };
                    const int64_t first = std::max<int64_t>(b, 0), last = a - std::max<int64_t>(e, 0) - 1;
                    for (int side = 0; side < 2; ++side) {
                        const int64_t count = side == 0 ? b : e;
                        const int64_t step = side == 0 ? -1 : 1;  // pad positions move away from the data
                        int64_t pad = side == 0 ? b - 1 : a - e;
                        int64_t cir = side == 0 ? (ri.padMethod == PAD_CIRCULAR ? last : first)
                                                : (ri.padMethod == PAD_CIRCULAR ? first : last);
                        const int64_t cirStart = cir;
                        bool direction = true;
                        for (int64_t k = 1; k <= count; ++k, pad += step) {
                            switch (ri.padMethod) {
                                case PAD_CONSTANT:
                                    std::memcpy(at(pad), ri.padValue, eb);
                                    break;
                                case PAD_REPLICATE:
                                    std::memcpy(at(pad), at(side == 0 ? first : last), eb);
                                    break;
                                case PAD_SYMMETRIC:
                                    std::memcpy(at(pad), at(cir), eb);
                                    if (k % L == 0)
                                        direction = !direction;
                                    else
                                        cir += (direction ? -step : step);
                                    break;
                                default:
                                    std::memcpy(at(pad), at(cir), eb);
                                    cir = k % L == 0 ? cirStart : cir + step;
                                    break;
                            }
                        }
                    }
                }
            }
        }
        lowProd *= a;
    }
}

}  // namespace padbench
