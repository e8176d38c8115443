// The fixed-point kernel of the contrast adjustment block.
#include "merrow/contrast_fix_kernel.h"

#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <new>

#include "merrow/contrast_params.h"

using namespace sysobj;
using namespace VekDSPFixpt;

namespace merrow {

namespace {

// The extended input holds a difference of two inputs: one bit more, signed.
NumType extendedType(const NumType& input) {
    if (input.isFloating()) return input;
    return NumType::fixed(true, std::min(input.wordLength + 1, kMaxWordLength), input.fracLength);
}

bool processorHasVbmi();

}  // namespace

ContrastFixKernel* ContrastFixKernel::create(const FixKernelConfig& config) {
    ContrastFixKernel* k = new (std::nothrow) ContrastFixKernel(config);
    if (k == nullptr) {
        ssSetErrorStatus(config.S, "Contrast adjustment: out of memory.");
        return nullptr;
    }
    if (!k->build()) {
        delete k;
        return nullptr;
    }
    return k;
}

ContrastFixKernel::~ContrastFixKernel() = default;

bool ContrastFixKernel::build() {
    SysObjAdaptorSFun* S = c_.S;
    const int32_t rnd = c_.rounding, ovf = c_.overflow;
    logging_ = FixptFactory::isLoggingOn(S);

    const NumType product1 = NumType::fixed(true, c_.product1WordLength, c_.product1FracLength);
    inputAttrs_ = std::make_unique<DSPDataAttributesHandle>(c_.inputType, 0, product1, product1, rnd, ovf,
                                                            "Input", "Product output", "Accumulator");
    if (!inputAttrs_->isValid()) {
        ssSetErrorStatus(S, ("Contrast adjustment: input data type: " + inputAttrs_->errorMessage()).c_str());
        return false;
    }
    const NumType in = inputAttrs_->valueType();
    floatingImage_ = in.isFloating();
    wordLength_ = in.wordLength;
    inputSigned_ = in.isSigned;
    simpleMode_ = !floatingImage_ && in.fracLength == 0;
    // A scaled double computes as a double but has the value set of its fixed-point shape.
    const int32_t shapeWordLength = c_.inputWordLength > 0 ? c_.inputWordLength : in.wordLength;
    valNum_ = shapeWordLength > 30 ? (1 << 30) : (1 << shapeWordLength);

    // A floating image (logged run) keeps its own type for every intermediate value.
    const NumType ext = extendedType(in);
    const NumType p1 = floatingImage_ ? in : product1;
    const NumType p2 =
        floatingImage_ ? in : NumType::fixed(true, c_.product2WordLength, c_.product2FracLength);
    const NumType s32 = NumType::fixed(true, 32, 0);
    auto handle = [&](const NumType& t, const char* label) {
        return std::make_unique<DSPDataAttributesHandle>(t, t, t, rnd, ovf, label, label, label);
    };
    extendedAttrs_ = handle(ext, "Extended Input");
    product1Attrs_ = handle(p1, "Product 1");
    product2Attrs_ = handle(p2, "Product 2");
    int32Attrs_ = handle(s32, "S32");
    if (c_.inputRangeMode == kInputFromHistogram)
        fractionAttrs_ =
            std::make_unique<DSPDataAttributesHandle>(c_.fractionType, 0, s32, s32, rnd, ovf, "Fraction");

    auto over = [&](const DSPDataAttributesHandle* h, const void* data, int32_t count) {
        return std::unique_ptr<Fixpt>(FixptFactory::createFixpt(S, h, const_cast<void*>(data), count));
    };
    auto scalar = [&](const DSPDataAttributesHandle* h) {
        return std::unique_ptr<Fixpt>(FixptFactory::createFixpt(S, h));
    };
    auto failed = [&] { return ssGetErrorStatus(S) != nullptr; };

    const DSPDataAttributesHandle* inH = inputAttrs_.get();
    input_ = over(inH, c_.input, c_.numPixels);
    if (failed()) return false;
    output_ = over(inH, c_.output, c_.numPixels);
    if (failed()) return false;
    outputRange_ = over(inH, c_.outputRange, 2);
    if (failed()) return false;
    for (auto* p : {&lowIn_, &highIn_, &lowOut_, &highOut_, &inTmp_}) {
        *p = scalar(inH);
        if (failed()) return false;
    }
    for (auto* p : {&inExdTmp1_, &inExdTmp2_, &inExdTmp3_}) {
        *p = scalar(extendedAttrs_.get());
        if (failed()) return false;
    }
    for (auto* p : {&slopeMap_, &prod1Tmp1_, &prod1Tmp2_}) {
        *p = scalar(product1Attrs_.get());
        if (failed()) return false;
    }
    tmpInt32_ = scalar(int32Attrs_.get());
    if (failed()) return false;
    if (c_.inputRangeMode == kInputFromDialog) {
        inputRange_ = over(inH, c_.inputRange, 2);
        if (failed()) return false;
    }
    if (c_.inputRangeMode == kInputFromHistogram) {
        fractions_ = over(fractionAttrs_.get(), c_.fractions, 2);
        if (failed()) return false;
        slopeHist_ = scalar(product2Attrs_.get());
        if (failed()) return false;
        prod2Tmp1_ = scalar(product2Attrs_.get());
        if (failed()) return false;
        pixSaturate_ = scalar(int32Attrs_.get());
        if (failed()) return false;
        pixNumTmp1_ = scalar(int32Attrs_.get());
        if (failed()) return false;
    }
    if (c_.useLookUpTable) {
        lowerBound_ = over(inH, c_.lowerBound, 1);
        if (failed()) return false;
        table_ = over(inH, c_.table, valNum_);
        if (failed()) return false;
        rawBytes_ = !logging_ && !floatingImage_ && in.containerBytes == 1 && in.wordLength <= 8;
        vbmi_ = rawBytes_ && processorHasVbmi();
    }
    return true;
}

void ContrastFixKernel::setOutputRange(void* data) {
    outputRange_->setValPtr(data);
}

void ContrastFixKernel::setInputRange(void* data) {
    if (inputRange_) inputRange_->setValPtr(data);
}

void ContrastFixKernel::setFractions(void* data) {
    if (fractions_) fractions_->setValPtr(data);
}

void ContrastFixKernel::fillOutput(int32_t n, Fixpt& value) {
    Fixpt& out = *output_;
    for (int32_t i = 0; i < n; ++i)
        out[i] = value;
}

namespace {

// Index into the table of a 1-byte stored word: its value minus the type's lowest value. The word is
// read as the library reads it (sign- or zero-extended from its word length).
struct RawIndex {
    int32_t shift;  // 8 - word length
    bool isSigned;
    uint32_t operator()(uint8_t b) const {
        const uint32_t u = uint32_t(uint8_t(b << shift));
        return isSigned ? uint32_t(uint8_t(u ^ 0x80u)) >> shift : u >> shift;
    }
};

// out[i] = table[in[i] ^ flip] over a 256-entry byte table; flip 0x80 turns int8 values into indices.
// Four 64-byte table registers; two two-register permutes cover 128 entries each, the index's top bit
// picks between them.
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) void mapBytesVbmi(const uint8_t* in, uint8_t* out,
                                                                         int32_t n, const uint8_t* table,
                                                                         uint8_t flip) {
    const __m512i t0 = _mm512_loadu_si512(table);
    const __m512i t1 = _mm512_loadu_si512(table + 64);
    const __m512i t2 = _mm512_loadu_si512(table + 128);
    const __m512i t3 = _mm512_loadu_si512(table + 192);
    const __m512i f = _mm512_set1_epi8(char(flip));
    int32_t i = 0;
    for (; i + 64 <= n; i += 64) {
        const __m512i x = _mm512_xor_si512(_mm512_loadu_si512(in + i), f);
        const __m512i low = _mm512_permutex2var_epi8(t0, x, t1);
        const __m512i high = _mm512_permutex2var_epi8(t2, x, t3);
        _mm512_storeu_si512(out + i, _mm512_mask_blend_epi8(_mm512_movepi8_mask(x), low, high));
    }
    for (; i < n; ++i)
        out[i] = table[uint8_t(in[i] ^ flip)];
}

void mapBytes(const uint8_t* in, uint8_t* out, int32_t n, const uint8_t* table, uint8_t flip) {
    for (int32_t i = 0; i < n; ++i)
        out[i] = table[uint8_t(in[i] ^ flip)];
}

bool processorHasVbmi() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi");
}

// Smallest and largest of n >= 1 values; written as plain reductions so that they vectorise.
template <typename T>
void byteExtremes(const T* in, int32_t n, int32_t* low, int32_t* high) {
    T a = in[0], b = in[0];
    for (int32_t i = 1; i < n; ++i) {
        a = std::min(a, in[i]);
        b = std::max(b, in[i]);
    }
    *low = a;
    *high = b;
}

}  // namespace

// The extremes of an image of full 8-bit words straight from the bytes; narrower words by their counts.
void ContrastFixKernel::rawExtremes(int32_t n) {
    if (wordLength_ != 8) {
        countValues(n);
        return;
    }
    int32_t low, high;
    if (inputSigned_)
        byteExtremes(static_cast<const int8_t*>(c_.input), n, &low, &high);
    else
        byteExtremes(static_cast<const uint8_t*>(c_.input), n, &low, &high);
    *lowIn_ = low;
    *highIn_ = high;
    numValid_ = n;
}

bool ContrastFixKernel::countValues(int32_t n) {
    const auto* in = static_cast<const uint8_t*>(c_.input);
    const RawIndex index{8 - wordLength_, inputSigned_};
    // Four interleaved sets of counters, so that runs of equal pixels do not wait on one another.
    uint32_t counts[4][256] = {};
    int32_t i = 0;
    if (wordLength_ == 8 && !inputSigned_) {
        for (; i + 4 <= n; i += 4) {
            ++counts[0][in[i]];
            ++counts[1][in[i + 1]];
            ++counts[2][in[i + 2]];
            ++counts[3][in[i + 3]];
        }
    } else {
        for (; i + 4 <= n; i += 4) {
            ++counts[0][index(in[i])];
            ++counts[1][index(in[i + 1])];
            ++counts[2][index(in[i + 2])];
            ++counts[3][index(in[i + 3])];
        }
    }
    for (; i < n; ++i)
        ++counts[0][index(in[i])];
    int32_t first = -1, last = -1;
    for (int32_t v = 0; v < valNum_; ++v) {
        valueCounts_[v] = counts[0][v] + counts[1][v] + counts[2][v] + counts[3][v];
        if (valueCounts_[v] != 0) {
            if (first < 0) first = v;
            last = v;
        }
    }
    if (first < 0) return false;
    const int32_t lowest = inputSigned_ ? -(valNum_ / 2) : 0;
    *lowIn_ = lowest + first;
    *highIn_ = lowest + last;
    numValid_ = n;
    return true;
}

void ContrastFixKernel::findInputRange(int32_t n) {
    Fixpt& in = *input_;
    Fixpt& lowIn = *lowIn_;
    Fixpt& highIn = *highIn_;
    int32_t i = 0;
    if (floatingImage_) {
        // A leading NaN must not become the extreme (every comparison with it fails).
        while (i < n && std::isnan(in[i].toDouble()))
            ++i;
        if (i == n) {
            numValid_ = 0;
            return;
        }
    }
    int32_t numNaN = i;
    lowIn = in[i];
    highIn = in[i];
    for (++i; i < n; ++i) {
        Fixpt& v = in[i];
        if (floatingImage_ && std::isnan(v.toDouble())) {
            ++numNaN;
            continue;
        }
        if (lowIn > v)
            lowIn = v;
        else if (highIn < v)
            highIn = v;
    }
    numValid_ = n - numNaN;
}

int32_t ContrastFixKernel::binOf(Fixpt& v, bool simple, int32_t bins) {
    Fixpt& t1 = *inExdTmp1_;
    t1 = *highIn_;
    *inExdTmp2_ = v;
    t1 -= *inExdTmp2_;
    int32_t j;
    if (simple) {
        j = t1.nearest();
    } else {
        Fixpt& p = *prod2Tmp1_;
        p = t1;
        p *= *slopeHist_;
        j = p.nearest();
    }
    // A wrapped Product 2 can land anywhere in int32: keep the index inside the histogram.
    return std::clamp(j, 0, bins);
}

void ContrastFixKernel::narrowFromHistogram(int32_t n) {
    Fixpt& t1 = *inExdTmp1_;
    Fixpt& t2 = *inExdTmp2_;
    Fixpt& tmpInt32 = *tmpInt32_;
    Fixpt& slopeHist = *slopeHist_;
    Fixpt& fractions = *fractions_;
    Fixpt& pixSaturate = *pixSaturate_;
    Fixpt& pixNum = *pixNumTmp1_;
    uint32_t* hist = c_.hist;
    const int32_t numBins = c_.numBins;

    t1 = *highIn_;
    t2 = *lowIn_;
    t1 -= t2;
    bool simple = false;
    if (simpleMode_) {
        if (numBins < valNum_) {
            // The bin count fits the extended type only below valNum.
            tmpInt32 = numBins;
            t2 = tmpInt32;
            simple = t1 < t2;
        } else {
            simple = true;
        }
    }
    std::fill(hist, hist + numBins + 1, 0u);
    int32_t bins = numBins;
    if (simple) {
        // The span is below the bin count: one bin per value, slope 1.
        bins = std::clamp(t1.nearest() + 1, 1, numBins);
        tmpInt32 = 1;
        slopeHist = tmpInt32;
    } else {
        tmpInt32 = numBins;
        slopeHist.divide(tmpInt32, t1);
    }
    if (rawBytes_) {
        const int32_t lowest = inputSigned_ ? -(valNum_ / 2) : 0;
        Fixpt& v = *inTmp_;
        for (int32_t u = 0; u < valNum_; ++u) {
            if (valueCounts_[u] == 0) continue;
            v = lowest + u;
            hist[binOf(v, simple, bins)] += valueCounts_[u];
        }
    } else {
        Fixpt& in = *input_;
        for (int32_t i = 0; i < n; ++i) {
            Fixpt& v = in[i];
            if (floatingImage_ && std::isnan(v.toDouble())) continue;
            ++hist[binOf(v, simple, bins)];
        }
    }
    hist[bins - 1] += hist[bins];

    if (fractions[0].isPositive()) {
        pixSaturate = numValid_;
        pixSaturate *= fractions[0];
        pixNum = 0;
        int32_t j = bins - 1;
        for (; j >= 0; --j) {
            tmpInt32 = int64_t(hist[j]);
            pixNum += tmpInt32;
            if (pixNum > pixSaturate) break;
        }
        pixNum = j + 1;
        t1.divide(pixNum, slopeHist);
        t2 = *highIn_;
        t2 -= t1;
        *lowIn_ = t2;  // "update the lower limit"
    }
    if (fractions[1].isPositive()) {
        pixSaturate = numValid_;
        pixSaturate *= fractions[1];
        pixNum = 0;
        int32_t j = 0;
        for (; j < bins; ++j) {
            tmpInt32 = int64_t(hist[j]);
            pixNum += tmpInt32;
            if (pixNum > pixSaturate) break;
        }
        pixNum = j;
        t1.divide(pixNum, slopeHist);
        t2 = *highIn_;
        t2 -= t1;
        *highIn_ = t2;  // "update the upper limit"
    }
}

void ContrastFixKernel::mapSlope() {
    Fixpt& t1 = *inExdTmp1_;
    Fixpt& t2 = *inExdTmp2_;
    // A span emptied by saturation leaves no pixel inside it: the slope would never be used.
    if (!(*highIn_ > *lowIn_)) {
        slopeMap_->reset();
        return;
    }
    t1 = *highIn_;
    t2 = *lowIn_;
    t1 -= t2;
    *prod1Tmp1_ = t1;
    t1 = *highOut_;
    t2 = *lowOut_;
    t1 -= t2;
    *prod1Tmp2_ = t1;
    slopeMap_->divide(*prod1Tmp2_, *prod1Tmp1_);  // "slope=(highOut-lowOut)/(highIn-lowIn)"
}

// dst = the mapped value of v; inExdTmp2 holds lowIn and inExdTmp3 lowOut. v and dst may be one
// object at one element: v is read in full before dst is written.
void ContrastFixKernel::mapValue(Fixpt& v, Fixpt& dst) {
    if (v > *lowIn_ && v < *highIn_) {
        Fixpt& t1 = *inExdTmp1_;
        Fixpt& p = *prod1Tmp1_;
        t1 = v;
        t1 -= *inExdTmp2_;
        p = t1;
        p *= *slopeMap_;
        t1 = p;
        t1 += *inExdTmp3_;
        dst = t1;
    } else if (v <= *lowIn_) {
        // lowIn first: a range that saturation inverted (lowIn > highIn) sends a pixel between the two ends
        // to lowOut
        dst = *lowOut_;
    } else if (v >= *highIn_) {
        dst = *highOut_;
    } else {
        dst = *lowOut_;  // a NaN pixel (a logged floating run)
    }
}

void ContrastFixKernel::buildTable() {
    Fixpt& table = *table_;
    Fixpt& t1 = *inExdTmp1_;
    Fixpt& t2 = *inExdTmp2_;
    t1 = *lowerBound_;
    table[0] = t1;
    *tmpInt32_ = 1;
    t2 = *tmpInt32_;
    for (int32_t s = 1; s < valNum_; ++s) {
        t1 += t2;
        table[s] = t1;
    }
}

void ContrastFixKernel::tableOutput(int32_t n) {
    if (rawBytes_) {
        const auto* in = static_cast<const uint8_t*>(c_.input);
        auto* out = static_cast<uint8_t*>(c_.output);
        const auto* table = static_cast<const uint8_t*>(c_.table);
        if (wordLength_ == 8) {
            const uint8_t flip = inputSigned_ ? 0x80 : 0x00;
            if (vbmi_)
                mapBytesVbmi(in, out, n, table, flip);
            else
                mapBytes(in, out, n, table, flip);
        } else {
            const RawIndex index{8 - wordLength_, inputSigned_};
            for (int32_t i = 0; i < n; ++i)
                out[i] = table[index(in[i])];
        }
        return;
    }
    Fixpt& in = *input_;
    Fixpt& out = *output_;
    Fixpt& table = *table_;
    Fixpt& t1 = *inExdTmp1_;
    *inExdTmp2_ = *lowerBound_;
    for (int32_t i = 0; i < n; ++i) {
        t1 = in[i];
        t1 -= *inExdTmp2_;
        const int32_t j = std::clamp(t1.nearest(), 0, valNum_ - 1);
        out[i] = table[j];
    }
}

void ContrastFixKernel::run(int32_t n) {
    Fixpt& outputRange = *outputRange_;
    Fixpt& lowOut = *lowOut_;
    Fixpt& highOut = *highOut_;
    Fixpt& lowIn = *lowIn_;
    Fixpt& highIn = *highIn_;
    lowOut = outputRange[0];
    highOut = outputRange[1];
    if (lowOut == highOut) {  // "output has only one value"
        fillOutput(n, lowOut);
        return;
    }
    numValid_ = n;
    if (c_.inputRangeMode == kInputFromDialog) {
        lowIn = (*inputRange_)[0];
        highIn = (*inputRange_)[1];
    } else {
        if (rawBytes_ && c_.inputRangeMode == kInputFromHistogram)
            countValues(n);
        else if (rawBytes_)
            rawExtremes(n);
        else
            findInputRange(n);
        if (numValid_ == 0) {
            fillOutput(n, lowOut);
            return;
        }
        // Infinite extremes of a floating image leave no range to map.
        if (floatingImage_ && (std::isinf(lowIn.toDouble()) || std::isinf(highIn.toDouble()))) {
            fillOutput(n, lowOut);
            return;
        }
    }
    if (lowIn == highIn) {  // "input has only one value"
        fillOutput(n, lowOut);
        return;
    }
    if (c_.inputRangeMode == kInputFromHistogram &&
        ((*fractions_)[0].isPositive() || (*fractions_)[1].isPositive()))
        narrowFromHistogram(n);
    mapSlope();
    *inExdTmp2_ = lowIn;
    *inExdTmp3_ = lowOut;
    if (c_.useLookUpTable) {
        buildTable();
        *inExdTmp2_ = lowIn;  // the table build used it
        Fixpt& table = *table_;
        for (int32_t s = 0; s < valNum_; ++s) {
            Fixpt& v = table[s];
            mapValue(v, v);
        }
        tableOutput(n);
        return;
    }
    Fixpt& in = *input_;
    Fixpt& out = *output_;
    for (int32_t i = 0; i < n; ++i)
        mapValue(in[i], out[i]);
}

}  // namespace merrow
