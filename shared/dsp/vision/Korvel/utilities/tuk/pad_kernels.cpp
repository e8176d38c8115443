// Pad kernels. Each pad position takes one kept element of its line: the pad value (constant), the edge
// (replicate), the half-sample mirror image (symmetric) or the periodic continuation (circular), wrapping
// as often as the pad is longer than the data. The values are produced with block copies: along a dimension d every output position is a run of lowProd
// contiguous elements (a "unit"), so copying a position copies a whole unit, and the periodic tails of
// replicate, symmetric and circular padding are doubled from what is already written.
#include "pad_cache.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

// Chunks of a periodic fill stop growing at this size, so the source stays in the nearest cache while a
// long run is written.
constexpr size_t kHotChunk = 16 * 1024;

// The next chunk of a periodic fill: at most what is filled (a whole number of periods), capped at the
// largest whole number of periods within kHotChunk.
inline size_t periodicChunk(size_t filled, size_t remaining, size_t period) {
    const size_t cap = std::max(period, kHotChunk / period * period);
    return std::min({filled, remaining, cap});
}

// Fills [base + filled, base + total) by repeating the first `filled` bytes (filled > 0, a whole period).
void extendForward(uint8_t* base, size_t filled, size_t total) {
    const size_t period = filled;
    while (filled < total) {
        const size_t chunk = periodicChunk(filled, total - filled, period);
        std::memcpy(base + filled, base, chunk);
        filled += chunk;
    }
}

// Fills [base, base + total - filled) by repeating the last `filled` bytes (a whole period) backwards.
void extendBackward(uint8_t* base, size_t filled, size_t total) {
    uint8_t* top = base + total;
    const size_t period = filled;
    while (filled < total) {
        const size_t chunk = periodicChunk(filled, total - filled, period);
        std::memcpy(top - filled - chunk, top - chunk, chunk);
        filled += chunk;
    }
}

typedef uint64_t Pair64 __attribute__((vector_size(16)));

// Two copies of an 8-byte pattern holding an element of 2, 4 or 8 bytes (or the element itself for 16
// bytes), built in registers: reading back a pattern just stored piecewise would stall the stores.
inline Pair64 elementPattern(const uint8_t* element, size_t elemBytes) {
    uint64_t word = 0;
    switch (elemBytes) {
        case 2: {
            uint16_t x;
            std::memcpy(&x, element, 2);
            word = x * 0x0001000100010001ull;
            break;
        }
        case 4: {
            uint32_t x;
            std::memcpy(&x, element, 4);
            word = x * 0x0000000100000001ull;
            break;
        }
        case 8:
            std::memcpy(&word, element, 8);
            break;
        default: {
            Pair64 v;
            std::memcpy(&v, element, 16);
            return v;
        }
    }
    return Pair64{word, word};
}

// count copies of one element (not inside dst). Elements of 2 to 16 bytes go out as 16-byte stores of a
// register pattern; long runs continue by doubling what is written.
inline void repeatElement(uint8_t* dst, const uint8_t* element, size_t elemBytes, int64_t count) {
    if (count <= 0) {
        return;
    }
    const size_t bytes = static_cast<size_t>(count) * elemBytes;
    // An element of one repeated byte (zero, above all) is a memset, the widest store the library has.
    if (std::all_of(element + 1, element + elemBytes, [element](uint8_t b) { return b == element[0]; })) {
        std::memset(dst, element[0], bytes);
        return;
    }
    if (elemBytes != 2 && elemBytes != 4 && elemBytes != 8 && elemBytes != 16) {
        std::memcpy(dst, element, elemBytes);
        extendForward(dst, elemBytes, bytes);
        return;
    }
    // Stores only: nothing already written is read back.
    const Pair64 pattern = elementPattern(element, elemBytes);
    size_t i = 0;
    for (; i + 32 <= bytes; i += 32) {
        std::memcpy(dst + i, &pattern, 16);
        std::memcpy(dst + i + 16, &pattern, 16);
    }
    if (i + 16 <= bytes) {
        std::memcpy(dst + i, &pattern, 16);
        i += 16;
    }
    if (i < bytes) {
        // Whole elements of at most 8 bytes remain, so the pattern's first bytes line up.
        std::memcpy(dst + i, &pattern, bytes - i);
    }
}

template <size_t Bytes>
void reverseFixed(uint8_t* dst, const uint8_t* src, int64_t n) {
    for (int64_t i = 0; i < n; ++i) {
        std::memcpy(dst + (n - 1 - i) * Bytes, src + i * Bytes, Bytes);
    }
}

// 8-byte elements two at a time: a 16-byte load, its halves swapped, one store.
void reversePairs8(uint8_t* dst, const uint8_t* src, int64_t n) {
    int64_t i = 0;
    for (; i + 2 <= n; i += 2) {
        Pair64 v;
        std::memcpy(&v, src + i * 8, 16);
        v = __builtin_shufflevector(v, v, 1, 0);
        std::memcpy(dst + (n - i - 2) * 8, &v, 16);
    }
    if (i < n) {
        std::memcpy(dst, src + i * 8, 8);
    }
}

// Reverses the order of the 1-, 2- or 4-byte lanes of a 64-bit word.
template <size_t Bytes>
uint64_t reverseLanes(uint64_t x) {
    if constexpr (Bytes == 4) {
        return (x >> 32) | (x << 32);
    } else {
        x = __builtin_bswap64(x);
        if constexpr (Bytes == 2) {
            x = ((x >> 8) & 0x00FF00FF00FF00FFull) | ((x & 0x00FF00FF00FF00FFull) << 8);
        }
        return x;
    }
}

// Small elements are reversed eight bytes at a time.
template <size_t Bytes>
void reverseSmall(uint8_t* dst, const uint8_t* src, int64_t n) {
    constexpr int64_t perWord = 8 / Bytes;
    int64_t i = 0;
    for (; i + perWord <= n; i += perWord) {
        uint64_t word;
        std::memcpy(&word, src + i * Bytes, 8);
        word = reverseLanes<Bytes>(word);
        std::memcpy(dst + (n - i - perWord) * Bytes, &word, 8);
    }
    for (; i < n; ++i) {
        std::memcpy(dst + (n - 1 - i) * Bytes, src + i * Bytes, Bytes);
    }
}

// dst unit (n - 1 - i) = src unit i; the two ranges do not overlap.
void reverseUnits(uint8_t* dst, const uint8_t* src, int64_t n, size_t unit) {
    switch (unit) {
        case 1:
            reverseSmall<1>(dst, src, n);
            return;
        case 2:
            reverseSmall<2>(dst, src, n);
            return;
        case 4:
            reverseSmall<4>(dst, src, n);
            return;
        case 8:
            reversePairs8(dst, src, n);
            return;
        case 16:
            reverseFixed<16>(dst, src, n);
            return;
        default:
            for (int64_t i = 0; i < n; ++i) {
                std::memcpy(dst + (n - 1 - i) * unit, src + i * unit, unit);
            }
    }
}

template <size_t Bytes>
void widenFixed(uint8_t* dst, const uint8_t* src, int64_t n, const uint8_t* zero) {
    for (int64_t i = 0; i < n; ++i) {
        std::memcpy(dst + 2 * i * Bytes, src + i * Bytes, Bytes);
        std::memcpy(dst + 2 * i * Bytes + Bytes, zero, Bytes);
    }
}

// Real elements into a complex run: each element followed by the type's zero.
void widenRun(uint8_t* dst, const uint8_t* src, int64_t n, size_t elemBytes, const uint8_t* zero) {
    switch (elemBytes) {
        case 1:
            widenFixed<1>(dst, src, n, zero);
            return;
        case 2:
            widenFixed<2>(dst, src, n, zero);
            return;
        case 4:
            widenFixed<4>(dst, src, n, zero);
            return;
        case 8:
            widenFixed<8>(dst, src, n, zero);
            return;
        default:
            for (int64_t i = 0; i < n; ++i) {
                std::memcpy(dst + 2 * i * elemBytes, src + i * elemBytes, elemBytes);
                std::memcpy(dst + 2 * i * elemBytes + elemBytes, zero, elemBytes);
            }
    }
}

// ---- one line of each method --------------------------------------------------------------------------

void constantLine(const PadLineShape& s, const uint8_t* padElement, const uint8_t*, uint8_t* line) {
    const int64_t perPosition = static_cast<int64_t>(s.unit / s.elemBytes);
    repeatElement(line, padElement, s.elemBytes, s.before * perPosition);
    repeatElement(line + (s.before + s.kept) * s.unit, padElement, s.elemBytes, s.after * perPosition);
}

void replicateLine(const PadLineShape& s, const uint8_t*, const uint8_t* kept, uint8_t* line) {
    uint8_t* first = line + s.before * s.unit;
    uint8_t* afterStart = first + s.kept * s.unit;
    const uint8_t* keptLast = kept + (s.kept - 1) * s.unit;
    if (s.unit == s.elemBytes) {
        repeatElement(line, kept, s.unit, s.before);
        repeatElement(afterStart, keptLast, s.unit, s.after);
        return;
    }
    if (s.before > 0) {
        std::memcpy(first - s.unit, kept, s.unit);
        extendBackward(line, s.unit, static_cast<size_t>(s.before) * s.unit);
    }
    if (s.after > 0) {
        std::memcpy(afterStart, keptLast, s.unit);
        extendForward(afterStart, s.unit, static_cast<size_t>(s.after) * s.unit);
    }
}

// Half-sample reflection: nearest the data the kept run mirrored, then the kept run as is; the pattern
// repeats with period 2L.
void symmetricLine(const PadLineShape& s, const uint8_t*, const uint8_t* kept, uint8_t* line) {
    const int64_t L = s.kept;
    uint8_t* keptOut = line + s.before * s.unit;
    if (s.before > 0) {
        const int64_t mirrored = std::min(s.before, L);
        reverseUnits(keptOut - mirrored * s.unit, kept, mirrored, s.unit);
        const int64_t straight = std::min(s.before, 2 * L) - mirrored;
        if (straight > 0) {
            std::memcpy(keptOut - (mirrored + straight) * s.unit, kept + (L - straight) * s.unit,
                        static_cast<size_t>(straight) * s.unit);
        }
        extendBackward(line, static_cast<size_t>(mirrored + straight) * s.unit,
                       static_cast<size_t>(s.before) * s.unit);
    }
    if (s.after > 0) {
        uint8_t* first = keptOut + L * s.unit;
        const int64_t mirrored = std::min(s.after, L);
        reverseUnits(first, kept + (L - mirrored) * s.unit, mirrored, s.unit);
        const int64_t straight = std::min(s.after, 2 * L) - mirrored;
        if (straight > 0) {
            std::memcpy(first + mirrored * s.unit, kept, static_cast<size_t>(straight) * s.unit);
        }
        extendForward(first, static_cast<size_t>(mirrored + straight) * s.unit,
                      static_cast<size_t>(s.after) * s.unit);
    }
}

// Circular: the tail of the kept run lands just before it, its head just after it; period L.
void circularLine(const PadLineShape& s, const uint8_t*, const uint8_t* kept, uint8_t* line) {
    const int64_t L = s.kept;
    uint8_t* keptOut = line + s.before * s.unit;
    if (s.before > 0) {
        const int64_t first = std::min(s.before, L);
        std::memcpy(keptOut - first * s.unit, kept + (L - first) * s.unit,
                    static_cast<size_t>(first) * s.unit);
        extendBackward(line, static_cast<size_t>(first) * s.unit, static_cast<size_t>(s.before) * s.unit);
    }
    if (s.after > 0) {
        uint8_t* start = keptOut + L * s.unit;
        const int64_t first = std::min(s.after, L);
        std::memcpy(start, kept, static_cast<size_t>(first) * s.unit);
        extendForward(start, static_cast<size_t>(first) * s.unit, static_cast<size_t>(s.after) * s.unit);
    }
}

}  // namespace

PadSFcnCache* PadSFcnCache::create(PadRunInfo* runInfo) {
    PadSFcnCache* cache = new (std::nothrow) PadSFcnCache(runInfo);
    if (cache == nullptr) {
        return nullptr;
    }
    if (!cache->allocateScratch()) {
        delete cache;
        return nullptr;
    }
    return cache;
}

PadSFcnCache::PadSFcnCache(PadRunInfo* runInfo)
    : fill_(nullptr), runInfo_(runInfo), outElemBytes_(0), columnCount_(1) {
    const PadRunInfo& ri = *runInfo;
    switch (ri.padMethod) {
        case PAD_REPLICATE:
            fill_ = &replicateFill;
            break;
        case PAD_SYMMETRIC:
            fill_ = &symmetricFill;
            break;
        case PAD_CIRCULAR:
            fill_ = &circularFill;
            break;
        default:
            fill_ = ri.padValueWiden ? &widenConstantFill : &constantFill;
            break;
    }
    outElemBytes_ = ri.widen ? 2 * ri.inElemBytes : ri.inElemBytes;

    const int32_t n = ri.numDims;
    auto keptSize = [&ri](int32_t k) {
        return ri.outDims[k] - std::max(ri.padBefore[k], 0) - std::max(ri.padAfter[k], 0);
    };
    int64_t columns = 1;
    for (int32_t k = 1; k < n; ++k) {
        columns *= keptSize(k);
    }
    columnCount_ = n == 1 ? 1 : static_cast<int32_t>(columns);

    // Merge leading untouched dimensions into the column.
    int32_t merged = 0;
    while (merged < n - 1 && ri.padBefore[merged] == 0 && ri.padAfter[merged] == 0) {
        ++merged;
    }
    mergedDim_ = merged;
    mergedColumnLength_ = keptSize(merged);
    for (int32_t k = 0; k < merged; ++k) {
        mergedColumnLength_ *= ri.outDims[k];
    }
    mergedColumnCount_ = 1;
    for (int32_t k = merged + 1; k < n; ++k) {
        mergedColumnCount_ *= keptSize(k);
    }
    // When columns are lines of dimension 1, pad each right after copying it, while it is in cache.
    fuseFirstDimFill_ =
        n >= 1 && merged == 0 && (ri.padBefore[0] > 0 || ri.padAfter[0] > 0) && mergedColumnLength_ > 0;
    // Constant fills write places no copy or other fill writes, so their order is free.
    const int32_t lineDim = merged + 1;
    if (ri.padMethod == PAD_CONSTANT && lineDim < n &&
        (ri.padBefore[lineDim] > 0 || ri.padAfter[lineDim] > 0) && mergedColumnLength_ > 0 &&
        mergedColumnCount_ > 0) {
        fusedLineDim_ = lineDim;
    }
}

bool PadSFcnCache::allocateScratch() {
    const int32_t n = std::max(runInfo_->numDims, 1);
    lineIndex_.reset(new (std::nothrow) int32_t[n]);
    padElement_.reset(new (std::nothrow) uint8_t[std::max(outElemBytes_, 1)]);
    return lineIndex_ != nullptr && padElement_ != nullptr;
}

PadSFcnCache::~PadSFcnCache() = default;

void PadSFcnCache::computeOutputs() {
    const PadRunInfo& ri = *runInfo_;
    // An empty output has nothing to copy or fill (and its zero extents would divide below).
    for (int32_t d = 0; d < ri.numDims; ++d) {
        if (ri.outDims[d] <= 0) return;
    }
    bool anyFill = false;
    for (int32_t d = 0; d < ri.numDims; ++d) {
        anyFill = anyFill || ri.padBefore[d] > 0 || ri.padAfter[d] > 0;
    }
    if (anyFill && ri.padMethod == PAD_CONSTANT && ri.padValue != nullptr) {
        // The pad value may change between hits (tunable parameter, port 1), so it is read each time.
        if (ri.padValueWiden) {
            const size_t half = static_cast<size_t>(outElemBytes_) / 2;
            std::memcpy(padElement_.get(), ri.padValue, half);
            std::memcpy(padElement_.get() + half, ri.zeroElement, half);
        } else {
            std::memcpy(padElement_.get(), ri.padValue, static_cast<size_t>(outElemBytes_));
        }
    }

    switch (ri.padMethod) {
        case PAD_REPLICATE:
            copyInputToOutput<&replicateLine>();
            break;
        case PAD_SYMMETRIC:
            copyInputToOutput<&symmetricLine>();
            break;
        case PAD_CIRCULAR:
            copyInputToOutput<&circularLine>();
            break;
        default:
            copyInputToOutput<&constantLine>();
            break;
    }

    int64_t lowProd = 1;
    int64_t total = 1;
    for (int32_t d = 0; d < ri.numDims; ++d) {
        total *= ri.outDims[d];
    }
    for (int32_t d = 0; d < ri.numDims; ++d) {
        const int32_t outDim = ri.outDims[d];
        const int64_t highProd = total / (lowProd * outDim);
        const bool filledDuringCopy = (d == 0 && fuseFirstDimFill_) || d == fusedLineDim_;
        if ((ri.padBefore[d] > 0 || ri.padAfter[d] > 0) && !filledDuringCopy) {
            fill_(this, d, outDim, lowProd, highProd);
        }
        lowProd *= outDim;
    }
}

template <PadSFcnCache::LineFillFcn FirstDimFill>
void PadSFcnCache::copyInputToOutput() {
    const PadRunInfo& ri = *runInfo_;
    const int32_t n = ri.numDims;
    if (mergedColumnLength_ <= 0 || mergedColumnCount_ <= 0) {
        return;
    }
    // Start positions: dropped leading elements are skipped in the input, added ones in the output.
    for (int32_t k = 0; k < n; ++k) {
        if (ri.padBefore[k] < 0) {
            ri.inAdd[k] = -ri.padBefore[k];
            ri.outAdd[k] = 0;
        } else {
            ri.inAdd[k] = 0;
            ri.outAdd[k] = ri.padBefore[k];
        }
    }
    const uint8_t* in = static_cast<const uint8_t*>(ri.inputData);
    uint8_t* out = static_cast<uint8_t*>(ri.outputData);
    const size_t inBytes = static_cast<size_t>(ri.inElemBytes);
    const size_t outBytes = static_cast<size_t>(outElemBytes_);
    const uint8_t* zero = static_cast<const uint8_t*>(ri.zeroElement);
    const size_t elemBytes = ri.widen ? inBytes : 0;
    const PadLineShape firstDimLine = lineShape(0, ri.outDims[0], 1);
    const uint8_t* padElement = padElement_.get();

    int64_t inOffset = 0;
    int64_t outOffset = 0;
    for (int32_t k = mergedDim_; k < n; ++k) {
        inOffset += static_cast<int64_t>(ri.inWorkAdd[k]) * ri.inAdd[k];
        outOffset += static_cast<int64_t>(ri.outWorkAdd[k]) * ri.outAdd[k];
    }
    // Lines along fusedLineDim_ (constant padding) are runs of consecutive columns; a line's pad regions are
    // written just before its first column and just after its last.
    PadLineShape lineDimShape{};
    int64_t columnsPerLine = 0;
    int64_t columnsLeftInLine = 0;
    int64_t lineStart = 0;
    if (fusedLineDim_ >= 0) {
        int64_t lowProd = 1;
        for (int32_t k = 0; k < fusedLineDim_; ++k) {
            lowProd *= ri.outDims[k];
        }
        lineDimShape = lineShape(fusedLineDim_, ri.outDims[fusedLineDim_], lowProd);
        columnsPerLine = lineDimShape.kept;
    }
    const int64_t padPerPosition = static_cast<int64_t>(lineDimShape.unit / outBytes);
    for (int64_t column = 0; column < mergedColumnCount_; ++column) {
        if (fusedLineDim_ >= 0 && columnsLeftInLine == 0) {
            // The first column of a line: its start lies outAdd positions back along the line's dimension
            // and along the column's own dimension.
            lineStart = outOffset -
                        static_cast<int64_t>(ri.outWorkAdd[fusedLineDim_]) * ri.outAdd[fusedLineDim_] -
                        static_cast<int64_t>(ri.outWorkAdd[mergedDim_]) * ri.outAdd[mergedDim_];
            repeatElement(out + lineStart * outBytes, padElement, outBytes,
                          lineDimShape.before * padPerPosition);
            columnsLeftInLine = columnsPerLine;
        }
        // Leading merged dimensions have start 0 in both arrays.
        if (ri.widen) {
            widenRun(out + outOffset * outBytes, in + inOffset * inBytes, mergedColumnLength_, elemBytes,
                     zero);
        } else {
            std::memcpy(out + outOffset * outBytes, in + inOffset * inBytes,
                        static_cast<size_t>(mergedColumnLength_) * inBytes);
        }
        if (fuseFirstDimFill_) {
            // The kept values are read from the input, not from the output just written.
            uint8_t* line = out + (outOffset - ri.outAdd[0]) * outBytes;
            const uint8_t* kept =
                ri.widen ? line + firstDimLine.before * firstDimLine.unit : in + inOffset * inBytes;
            FirstDimFill(firstDimLine, padElement, kept, line);
        }
        if (fusedLineDim_ >= 0 && --columnsLeftInLine == 0) {
            const int64_t afterStart = lineDimShape.before + lineDimShape.kept;
            repeatElement(out + (lineStart * outBytes + static_cast<size_t>(afterStart) * lineDimShape.unit),
                          padElement, outBytes, lineDimShape.after * padPerPosition);
        }
        // Advance the dimensions above the column; a dimension that runs out restarts and carries. The
        // offsets follow the indices incrementally.
        for (int32_t k = mergedDim_ + 1; k < n; ++k) {
            ++ri.inAdd[k];
            ++ri.outAdd[k];
            inOffset += ri.inWorkAdd[k];
            outOffset += ri.outWorkAdd[k];
            const int32_t inSize = ri.outDims[k] - ri.padBefore[k] - ri.padAfter[k];
            if (ri.inAdd[k] < inSize && ri.outAdd[k] < ri.outDims[k]) {
                break;
            }
            const int32_t inStart = ri.padBefore[k] < 0 ? -ri.padBefore[k] : 0;
            const int32_t outStart = ri.padBefore[k] < 0 ? 0 : ri.padBefore[k];
            inOffset -= static_cast<int64_t>(ri.inWorkAdd[k]) * (ri.inAdd[k] - inStart);
            outOffset -= static_cast<int64_t>(ri.outWorkAdd[k]) * (ri.outAdd[k] - outStart);
            ri.inAdd[k] = inStart;
            ri.outAdd[k] = outStart;
        }
    }
}

PadLineShape PadSFcnCache::lineShape(int32_t dim, int32_t outDim, int64_t lowProd) const {
    const PadRunInfo& ri = *runInfo_;
    PadLineShape s;
    s.before = std::max(ri.padBefore[dim], 0);
    s.after = std::max(ri.padAfter[dim], 0);
    s.kept = outDim - s.before - s.after;
    s.elemBytes = static_cast<size_t>(outElemBytes_);
    s.unit = static_cast<size_t>(lowProd) * s.elemBytes;
    return s;
}

// Fills every line along dim whose coordinates in the higher dimensions lie in their kept ranges. Lines
// elsewhere sit in pad regions of a higher dimension, whose own fill overwrites them afterwards, so
// skipping them leaves the same result.
void PadSFcnCache::fillKeptLines(int32_t dim, int32_t outDim, int64_t lowProd, LineFillFcn fillLine) {
    const PadRunInfo& ri = *runInfo_;
    const PadLineShape shape = lineShape(dim, outDim, lowProd);
    if (shape.kept < 1 && fillLine != &constantLine) {
        return;  // nothing to copy from; the set-up refuses this case
    }
    const int32_t n = ri.numDims;
    uint8_t* out = static_cast<uint8_t*>(ri.outputData);
    const uint8_t* padElement = padElement_.get();
    int32_t* index = lineIndex_.get();
    auto keptStart = [&ri](int32_t k) { return std::max(ri.padBefore[k], 0); };
    auto keptEnd = [&ri](int32_t k) { return ri.outDims[k] - std::max(ri.padAfter[k], 0); };
    for (int32_t k = dim + 1; k < n; ++k) {
        index[k] = keptStart(k);
        if (index[k] >= keptEnd(k)) {
            return;
        }
    }
    for (;;) {
        int64_t offset = 0;
        for (int32_t k = dim + 1; k < n; ++k) {
            offset += static_cast<int64_t>(ri.outWorkAdd[k]) * index[k];
        }
        uint8_t* line = out + static_cast<size_t>(offset) * shape.elemBytes;
        fillLine(shape, padElement, line + shape.before * shape.unit, line);
        int32_t k = dim + 1;
        for (; k < n; ++k) {
            if (++index[k] < keptEnd(k)) {
                break;
            }
            index[k] = keptStart(k);
        }
        if (k >= n) {
            return;
        }
    }
}

void PadSFcnCache::constantFill(PadSFcnCache* self, int32_t dim, int32_t outDim, int64_t lowProd, int64_t) {
    self->fillKeptLines(dim, outDim, lowProd, &constantLine);
}

void PadSFcnCache::widenConstantFill(PadSFcnCache* self, int32_t dim, int32_t outDim, int64_t lowProd,
                                     int64_t) {
    // padElement_ already holds the real pad value followed by the zero imaginary part.
    self->fillKeptLines(dim, outDim, lowProd, &constantLine);
}

void PadSFcnCache::replicateFill(PadSFcnCache* self, int32_t dim, int32_t outDim, int64_t lowProd, int64_t) {
    self->fillKeptLines(dim, outDim, lowProd, &replicateLine);
}

void PadSFcnCache::symmetricFill(PadSFcnCache* self, int32_t dim, int32_t outDim, int64_t lowProd, int64_t) {
    self->fillKeptLines(dim, outDim, lowProd, &symmetricLine);
}

void PadSFcnCache::circularFill(PadSFcnCache* self, int32_t dim, int32_t outDim, int64_t lowProd, int64_t) {
    self->fillKeptLines(dim, outDim, lowProd, &circularLine);
}
