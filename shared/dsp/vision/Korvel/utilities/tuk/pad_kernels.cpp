// Pad kernels. The values follow the walking definitions of each method (see pad_cache.h); they are
// produced here with block copies: along a dimension d every output position is a run of lowProd
// contiguous elements (a "unit"), so copying a position copies a whole unit, and the periodic tails of
// replicate, symmetric and circular padding are doubled from what is already written.
#include "pad_cache.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

// Fills [base + filled, base + total) by repeating the first `filled` bytes (filled > 0, a whole period).
void extendForward(uint8_t* base, size_t filled, size_t total)
{
    while (filled < total) {
        size_t chunk = std::min(filled, total - filled);
        std::memcpy(base + filled, base, chunk);
        filled += chunk;
    }
}

// Fills [base, base + total - filled) by repeating the last `filled` bytes (a whole period) backwards.
void extendBackward(uint8_t* base, size_t filled, size_t total)
{
    uint8_t* top = base + total;
    while (filled < total) {
        size_t chunk = std::min(filled, total - filled);
        std::memcpy(top - filled - chunk, top - chunk, chunk);
        filled += chunk;
    }
}

template <size_t Bytes>
void reverseFixed(uint8_t* dst, const uint8_t* src, int64_t n)
{
    for (int64_t i = 0; i < n; ++i) {
        std::memcpy(dst + (n - 1 - i) * Bytes, src + i * Bytes, Bytes);
    }
}

// dst unit (n - 1 - i) = src unit i; the two ranges do not overlap.
void reverseUnits(uint8_t* dst, const uint8_t* src, int64_t n, size_t unit)
{
    switch (unit) {
    case 1: reverseFixed<1>(dst, src, n); return;
    case 2: reverseFixed<2>(dst, src, n); return;
    case 4: reverseFixed<4>(dst, src, n); return;
    case 8: reverseFixed<8>(dst, src, n); return;
    case 16: reverseFixed<16>(dst, src, n); return;
    default:
        for (int64_t i = 0; i < n; ++i) {
            std::memcpy(dst + (n - 1 - i) * unit, src + i * unit, unit);
        }
    }
}

template <size_t Bytes>
void widenFixed(uint8_t* dst, const uint8_t* src, int64_t n, const uint8_t* zero)
{
    for (int64_t i = 0; i < n; ++i) {
        std::memcpy(dst + 2 * i * Bytes, src + i * Bytes, Bytes);
        std::memcpy(dst + 2 * i * Bytes + Bytes, zero, Bytes);
    }
}

// Real elements into a complex run: each element followed by the type's zero.
void widenRun(uint8_t* dst, const uint8_t* src, int64_t n, size_t elemBytes, const uint8_t* zero)
{
    switch (elemBytes) {
    case 1: widenFixed<1>(dst, src, n, zero); return;
    case 2: widenFixed<2>(dst, src, n, zero); return;
    case 4: widenFixed<4>(dst, src, n, zero); return;
    case 8: widenFixed<8>(dst, src, n, zero); return;
    default:
        for (int64_t i = 0; i < n; ++i) {
            std::memcpy(dst + 2 * i * elemBytes, src + i * elemBytes, elemBytes);
            std::memcpy(dst + 2 * i * elemBytes + elemBytes, zero, elemBytes);
        }
    }
}

// Geometry of one dimension's fill, in units of lowProd elements.
struct LineShape {
    int64_t before;  // positions filled before the data (0 when that side is not padded)
    int64_t after;   // positions filled after the data
    int64_t keptStart;
    int64_t kept;    // L, the kept length
    size_t unit;     // bytes per position
};

LineShape lineShape(const PadRunInfo& ri, int32_t dim, int32_t outDim, int64_t lowProd, int32_t elemBytes)
{
    LineShape s;
    s.before = std::max(ri.padBefore[dim], 0);
    s.after = std::max(ri.padAfter[dim], 0);
    s.keptStart = s.before;
    s.kept = outDim - s.before - s.after;
    s.unit = static_cast<size_t>(lowProd) * static_cast<size_t>(elemBytes);
    return s;
}

}  // namespace

PadSFcnCache* PadSFcnCache::create(PadRunInfo* runInfo)
{
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
    : fill_(nullptr), runInfo_(runInfo), outElemBytes_(0), columnCount_(1)
{
    const PadRunInfo& ri = *runInfo;
    switch (ri.padMethod) {
    case PAD_REPLICATE: fill_ = &replicateFill; break;
    case PAD_SYMMETRIC: fill_ = &symmetricFill; break;
    case PAD_CIRCULAR: fill_ = &circularFill; break;
    default: fill_ = ri.padValueWiden ? &widenConstantFill : &constantFill; break;
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
}

bool PadSFcnCache::allocateScratch()
{
    const int32_t n = std::max(runInfo_->numDims, 1);
    lineIndex_.reset(new (std::nothrow) int32_t[n]);
    padElement_.reset(new (std::nothrow) uint8_t[std::max(outElemBytes_, 1)]);
    return lineIndex_ != nullptr && padElement_ != nullptr;
}

PadSFcnCache::~PadSFcnCache() = default;

void PadSFcnCache::computeOutputs()
{
    const PadRunInfo& ri = *runInfo_;
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

    copyInputToOutput();

    int64_t lowProd = 1;
    int64_t total = 1;
    for (int32_t d = 0; d < ri.numDims; ++d) {
        total *= ri.outDims[d];
    }
    for (int32_t d = 0; d < ri.numDims; ++d) {
        const int32_t outDim = ri.outDims[d];
        const int64_t highProd = outDim == 0 ? 0 : total / (lowProd * outDim);
        if ((ri.padBefore[d] > 0 || ri.padAfter[d] > 0) && outDim > 0) {
            fill_(this, d, outDim, lowProd, highProd);
        }
        lowProd *= outDim;
    }
}

void PadSFcnCache::copyInputToOutput()
{
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

    for (int64_t column = 0; column < mergedColumnCount_; ++column) {
        int64_t inOffset = 0;
        int64_t outOffset = 0;
        for (int32_t k = mergedDim_; k < n; ++k) {
            inOffset += static_cast<int64_t>(ri.inWorkAdd[k]) * ri.inAdd[k];
            outOffset += static_cast<int64_t>(ri.outWorkAdd[k]) * ri.outAdd[k];
        }
        // Leading merged dimensions have start 0 in both arrays.
        if (ri.widen) {
            widenRun(out + outOffset * outBytes, in + inOffset * inBytes, mergedColumnLength_, elemBytes, zero);
        } else {
            std::memcpy(out + outOffset * outBytes, in + inOffset * inBytes,
                        static_cast<size_t>(mergedColumnLength_) * inBytes);
        }
        // Advance the dimensions above the column; a dimension that runs out restarts and carries.
        for (int32_t k = mergedDim_ + 1; k < n; ++k) {
            ++ri.inAdd[k];
            ++ri.outAdd[k];
            const int32_t inSize = ri.outDims[k] - ri.padBefore[k] - ri.padAfter[k];
            if (ri.inAdd[k] >= inSize || ri.outAdd[k] >= ri.outDims[k]) {
                ri.inAdd[k] = ri.padBefore[k] < 0 ? -ri.padBefore[k] : 0;
                ri.outAdd[k] = ri.padBefore[k] < 0 ? 0 : ri.padBefore[k];
            } else {
                break;
            }
        }
    }
}

// Calls fillLine(lineStart) for every line along dim whose coordinates in the higher dimensions lie in
// their kept ranges. Lines elsewhere sit in pad regions of a higher dimension, whose own fill overwrites
// them afterwards, so skipping them leaves the same result.
template <class LineFill>
void PadSFcnCache::forEachKeptLine(int32_t dim, int64_t lowProd, LineFill&& fillLine)
{
    const PadRunInfo& ri = *runInfo_;
    const int32_t n = ri.numDims;
    uint8_t* out = static_cast<uint8_t*>(ri.outputData);
    const size_t elemBytes = static_cast<size_t>(outElemBytes_);
    (void)lowProd;
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
        fillLine(out + static_cast<size_t>(offset) * elemBytes);
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

void PadSFcnCache::constantFill(PadSFcnCache* self, int32_t dim, int32_t outDim, int64_t lowProd, int64_t)
{
    const LineShape s = lineShape(*self->runInfo_, dim, outDim, lowProd, self->outElemBytes_);
    const uint8_t* element = self->padElement_.get();
    const size_t elemBytes = static_cast<size_t>(self->outElemBytes_);
    // The pad regions of a line are contiguous (before positions x lowProd elements), so each is one
    // element written and then doubled.
    auto fillRegion = [&](uint8_t* start, int64_t positions) {
        if (positions <= 0) {
            return;
        }
        std::memcpy(start, element, elemBytes);
        extendForward(start, elemBytes, static_cast<size_t>(positions) * s.unit);
    };
    self->forEachKeptLine(dim, lowProd, [&](uint8_t* line) {
        fillRegion(line, s.before);
        fillRegion(line + (s.keptStart + s.kept) * s.unit, s.after);
    });
}

void PadSFcnCache::widenConstantFill(PadSFcnCache* self, int32_t dim, int32_t outDim, int64_t lowProd,
                                     int64_t highProd)
{
    // padElement_ already holds the real pad value followed by the zero imaginary part.
    constantFill(self, dim, outDim, lowProd, highProd);
}

void PadSFcnCache::replicateFill(PadSFcnCache* self, int32_t dim, int32_t outDim, int64_t lowProd, int64_t)
{
    const LineShape s = lineShape(*self->runInfo_, dim, outDim, lowProd, self->outElemBytes_);
    if (s.kept < 1) {
        return;
    }
    self->forEachKeptLine(dim, lowProd, [&](uint8_t* line) {
        if (s.before > 0) {
            std::memcpy(line + (s.before - 1) * s.unit, line + s.keptStart * s.unit, s.unit);
            extendBackward(line, s.unit, static_cast<size_t>(s.before) * s.unit);
        }
        if (s.after > 0) {
            uint8_t* first = line + (s.keptStart + s.kept) * s.unit;
            std::memcpy(first, first - s.unit, s.unit);
            extendForward(first, s.unit, static_cast<size_t>(s.after) * s.unit);
        }
    });
}

void PadSFcnCache::symmetricFill(PadSFcnCache* self, int32_t dim, int32_t outDim, int64_t lowProd, int64_t)
{
    const LineShape s = lineShape(*self->runInfo_, dim, outDim, lowProd, self->outElemBytes_);
    const int64_t L = s.kept;
    if (L < 1) {
        return;
    }
    self->forEachKeptLine(dim, lowProd, [&](uint8_t* line) {
        uint8_t* kept = line + s.keptStart * s.unit;
        if (s.before > 0) {
            // Nearest the data: the kept run mirrored; then the kept run as is; then period 2L.
            const int64_t mirrored = std::min(s.before, L);
            reverseUnits(line + (s.before - mirrored) * s.unit, kept, mirrored, s.unit);
            const int64_t straight = std::min(s.before, 2 * L) - mirrored;
            if (straight > 0) {
                std::memcpy(line + (s.before - mirrored - straight) * s.unit, kept + (L - straight) * s.unit,
                            static_cast<size_t>(straight) * s.unit);
            }
            extendBackward(line, static_cast<size_t>(mirrored + straight) * s.unit,
                           static_cast<size_t>(s.before) * s.unit);
        }
        if (s.after > 0) {
            uint8_t* first = kept + L * s.unit;
            const int64_t mirrored = std::min(s.after, L);
            reverseUnits(first, kept + (L - mirrored) * s.unit, mirrored, s.unit);
            const int64_t straight = std::min(s.after, 2 * L) - mirrored;
            if (straight > 0) {
                std::memcpy(first + mirrored * s.unit, kept, static_cast<size_t>(straight) * s.unit);
            }
            extendForward(first, static_cast<size_t>(mirrored + straight) * s.unit,
                          static_cast<size_t>(s.after) * s.unit);
        }
    });
}

void PadSFcnCache::circularFill(PadSFcnCache* self, int32_t dim, int32_t outDim, int64_t lowProd, int64_t)
{
    const LineShape s = lineShape(*self->runInfo_, dim, outDim, lowProd, self->outElemBytes_);
    const int64_t L = s.kept;
    if (L < 1) {
        return;
    }
    self->forEachKeptLine(dim, lowProd, [&](uint8_t* line) {
        uint8_t* kept = line + s.keptStart * s.unit;
        if (s.before > 0) {
            // The tail of the kept run lands just before it; further out the pattern repeats with period L.
            const int64_t first = std::min(s.before, L);
            std::memcpy(line + (s.before - first) * s.unit, kept + (L - first) * s.unit,
                        static_cast<size_t>(first) * s.unit);
            extendBackward(line, static_cast<size_t>(first) * s.unit, static_cast<size_t>(s.before) * s.unit);
        }
        if (s.after > 0) {
            uint8_t* start = kept + L * s.unit;
            const int64_t first = std::min(s.after, L);
            std::memcpy(start, kept, static_cast<size_t>(first) * s.unit);
            extendForward(start, static_cast<size_t>(first) * s.unit, static_cast<size_t>(s.after) * s.unit);
        }
    });
}
