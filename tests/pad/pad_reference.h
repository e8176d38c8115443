// An independent pad: every output element is computed from its own index by the closed-form source
// position of each method, without the walking copies or the block copies of the kernels.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

namespace padtest {

inline int64_t symmetricIndex(int64_t m, int64_t L) {
    const int64_t r = m % (2 * L);
    return r < L ? r : 2 * L - 1 - r;
}

// Maps output coordinate o of one dimension to an input coordinate, or -1 for "pad value".
inline int64_t sourceCoordinate(int method, int64_t o, int64_t a, int64_t b, int64_t e) {
    const int64_t keptStart = b > 0 ? b : 0;
    const int64_t L = a - keptStart - (e > 0 ? e : 0);
    const int64_t inStart = b < 0 ? -b : 0;
    int64_t j;
    if (o < keptStart) {
        const int64_t k = keptStart - o;
        switch (method) {
            case 1:
                return -1;
            case 2:
                j = 0;
                break;
            case 3:
                j = symmetricIndex(k - 1, L);
                break;
            default:
                j = L - 1 - ((k - 1) % L);
                break;
        }
    } else if (o >= keptStart + L) {
        const int64_t k = o - (keptStart + L) + 1;
        switch (method) {
            case 1:
                return -1;
            case 2:
                j = L - 1;
                break;
            case 3:
                j = L - 1 - symmetricIndex(k - 1, L);
                break;
            default:
                j = (k - 1) % L;
                break;
        }
    } else {
        j = o - keptStart;
    }
    return inStart + j;
}

struct PadCase {
    std::vector<int32_t> inDims;
    std::vector<int32_t> before;
    std::vector<int32_t> after;
    int method = 1;
};

inline std::vector<int32_t> outputDims(const PadCase& c) {
    std::vector<int32_t> out(c.inDims.size());
    for (size_t k = 0; k < out.size(); ++k) {
        out[k] = c.inDims[k] + c.before[k] + c.after[k];
    }
    return out;
}

// Reference output bytes. inElem: bytes per input element; widen: real input into a complex output
// (each element followed by `zero`); padElem: output element bytes of the pad value.
inline std::vector<uint8_t> referencePad(const PadCase& c, const std::vector<uint8_t>& input, size_t inElem,
                                         bool widen, const std::vector<uint8_t>& padElem,
                                         const std::vector<uint8_t>& zero) {
    const std::vector<int32_t> out = outputDims(c);
    const size_t n = out.size();
    const size_t outElem = widen ? 2 * inElem : inElem;
    int64_t total = 1;
    for (int32_t d : out) {
        total *= d;
    }
    std::vector<uint8_t> result(static_cast<size_t>(total) * outElem);
    std::vector<int64_t> idx(n, 0);
    for (int64_t linear = 0; linear < total; ++linear) {
        int64_t rest = linear;
        for (size_t k = 0; k < n; ++k) {
            idx[k] = rest % out[k];
            rest /= out[k];
        }
        int64_t src = 0;
        int64_t stride = 1;
        bool pad = false;
        for (size_t k = 0; k < n; ++k) {
            const int64_t s = sourceCoordinate(c.method, idx[k], out[k], c.before[k], c.after[k]);
            if (s < 0) {
                pad = true;
                break;
            }
            src += s * stride;
            stride *= c.inDims[k];
        }
        uint8_t* dst = result.data() + static_cast<size_t>(linear) * outElem;
        if (pad) {
            std::memcpy(dst, padElem.data(), outElem);
        } else {
            std::memcpy(dst, input.data() + static_cast<size_t>(src) * inElem, inElem);
            if (widen) {
                std::memcpy(dst + inElem, zero.data(), inElem);
            }
        }
    }
    return result;
}

}  // namespace padtest
