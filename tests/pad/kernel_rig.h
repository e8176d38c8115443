// Drives PadSFcnCache directly: builds the run-time tables the block would create (sizes, amounts,
// strides, index work vectors) for one case, then runs the kernel.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "pad_cache.h"
#include "pad_reference.h"

namespace padtest {

struct KernelRig {
    PadCase c;
    std::vector<int32_t> outDims, before, after, inWorkAdd, outWorkAdd, inAdd, outAdd;
    std::vector<uint8_t> input, output, padValue, zero;
    PadRunInfo ri{};
    std::unique_ptr<PadSFcnCache> cache;

    // padValueBytes: the bytes the pad value pointer exposes (output element, or half with padValueWiden).
    KernelRig(const PadCase& pc, size_t inElem, bool widen, std::vector<uint8_t> pad, bool padValueWiden,
              std::vector<uint8_t> zeroElem)
        : c(pc), padValue(std::move(pad)), zero(std::move(zeroElem)) {
        const size_t n = c.inDims.size();
        outDims = outputDims(c);
        before = c.before;
        after = c.after;
        inWorkAdd.assign(n, 1);
        outWorkAdd.assign(n, 1);
        for (size_t k = 1; k < n; ++k) {
            inWorkAdd[k] = inWorkAdd[k - 1] * c.inDims[k - 1];
            outWorkAdd[k] = outWorkAdd[k - 1] * outDims[k - 1];
        }
        inAdd.assign(n, -7);
        outAdd.assign(n, -7);
        int64_t inCount = 1, outCount = 1;
        for (size_t k = 0; k < n; ++k) {
            inCount *= c.inDims[k];
            outCount *= outDims[k];
        }
        input.resize(static_cast<size_t>(inCount) * inElem);
        for (size_t i = 0; i < input.size(); ++i) {
            input[i] = static_cast<uint8_t>((i * 131 + 7) ^ (i >> 8));
        }
        const size_t outElem = widen ? 2 * inElem : inElem;
        output.assign(static_cast<size_t>(outCount) * outElem, 0xCD);
        ri.inputData = input.data();
        ri.outputData = output.data();
        ri.inElemBytes = static_cast<int32_t>(inElem);
        ri.widen = widen ? 1 : 0;
        ri.padValueWiden = padValueWiden ? 1 : 0;
        ri.padMethod = c.method;
        ri.numDims = static_cast<int32_t>(n);
        ri.outDims = outDims.data();
        ri.padBefore = before.data();
        ri.padAfter = after.data();
        ri.padValue = padValue.data();
        ri.inWorkAdd = inWorkAdd.data();
        ri.outWorkAdd = outWorkAdd.data();
        ri.inAdd = inAdd.data();
        ri.outAdd = outAdd.data();
        ri.zeroElement = zero.data();
        cache.reset(PadSFcnCache::create(&ri));
    }

    void run() { cache->computeOutputs(); }

    std::vector<uint8_t> expected() const {
        const size_t inElem = static_cast<size_t>(ri.inElemBytes);
        const size_t outElem = ri.widen ? 2 * inElem : inElem;
        std::vector<uint8_t> padElem(outElem);
        if (ri.padValueWiden) {
            std::copy(padValue.begin(), padValue.begin() + static_cast<long>(outElem / 2), padElem.begin());
            std::copy(zero.begin(), zero.begin() + static_cast<long>(outElem / 2),
                      padElem.begin() + static_cast<long>(outElem / 2));
        } else {
            std::copy(padValue.begin(), padValue.begin() + static_cast<long>(outElem), padElem.begin());
        }
        return referencePad(c, input, inElem, ri.widen != 0, padElem, zero);
    }
};

}  // namespace padtest
