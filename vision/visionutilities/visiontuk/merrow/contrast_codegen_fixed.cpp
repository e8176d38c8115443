// Generated step of the contrast adjustment block for integer and fixed-point images: the number-object
// kernel's operations on the block's intermediate types, each assignment quantised with the block's
// rounding and overflow modes, in the kernel's order.
#include <algorithm>
#include <string>
#include <vector>

#include "merrow/contrast_codegen.h"
#include "merrow/contrast_params.h"
#include "merrow/contrast_setup.h"

namespace merrow {

using CG::BinaryNode;
using CG::BinaryOp;
using CG::Expr;
using CG::Type;
using CG::Var;

namespace {

// Sets of per-value counters of table images.
constexpr int32_t kCountSets = 4;

// Pixels mapped per pass of the table lookup.
constexpr int32_t kMapGroup = 4;

// Running extremes of the scan over the pixels.
constexpr int32_t kScanGroup = 4;

// The widest exact intermediate of generated fixed-point code.
constexpr int32_t kWidestProduct = 126;

// True when every value of `from` is a value of `to` (both fixed point or integer): conversion is exact.
bool holdsExactly(const Type& from, const Type& to) {
    auto exp = [](const Type& t) { return t.kind() == CG::TypeKind::FixedPoint ? t.exponent() : 0; };
    if (from.isFloat() || to.isFloat() || from.isScaledDouble() || to.isScaledDouble()) return false;
    if (exp(to) > exp(from)) return false;  // fraction bits would be lost
    const int32_t fromInt = from.bits() + exp(from) - (from.isSigned() ? 1 : 0);
    const int32_t toInt = to.bits() + exp(to) - (to.isSigned() ? 1 : 0);
    return toInt >= fromInt && (to.isSigned() || !from.isSigned());
}

}  // namespace

void CGContrastAdjust::scaledProduct(const Var& p, const Expr& a, const Expr& b) {
    if (holdsExactly(a.type(), p.type())) {
        // p = a changes no value, so quantising a * b once gives the number of p = a; p *= b.
        set(p.ref(), op(BinaryOp::Mul, a, b, p.type()));
        return;
    }
    // Otherwise p = a may round or overflow, and the product is of p's word with b's word.
    if (p.type().bits() + b.type().bits() > kWidestProduct) {
        CG::userError(
            std::string("the ") + (p == prod1Tmp1_ ? "Product 1" : "Product 2") + " type (" +
            CG::typeDisplayName(p.type()) + ") does not hold the extended input (" +
            CG::typeDisplayName(a.type()) + ") exactly, so its product with " +
            CG::typeDisplayName(b.type()) + " needs " + std::to_string(p.type().bits() + b.type().bits()) +
            "-bit intermediates; generated code computes in at most " + std::to_string(kWidestProduct) +
            " bits (give the product type more integer and fraction bits, or fewer bits in all)");
        return;
    }
    set(p.ref(), a);
    set(p.ref(), op(BinaryOp::Mul, p.ref(), b, p.type()));
}

void CGContrastAdjust::fixedBody() {
    lowIn_ = createLocal("lowIn", inType_);
    highIn_ = createLocal("highIn", inType_);
    lowOut_ = createLocal("lowOut", inType_);
    highOut_ = createLocal("highOut", inType_);
    inExdTmp1_ = createLocal("inExdTmp1", extType_);
    inExdTmp2_ = createLocal("inExdTmp2", extType_);
    inExdTmp3_ = createLocal("inExdTmp3", extType_);
    slopeMap_ = createLocal("slopeMap", p1Type_);
    prod1Tmp1_ = createLocal("prod1Tmp1", p1Type_);
    prod1Tmp2_ = createLocal("prod1Tmp2", p1Type_);
    tmpInt32_ = createLocal("tmpInt32", s32Type_);
    rawCounts_ = st_->useLookUpTable && inputMode_ == kInputFromHistogram;
    if (rawCounts_) counts_ = createLocal("valueCounts", Type::intT(false, 32), kCountSets * valNum_);

    set(lowOut_.ref(), rtp(kRtpOutputRange, 0));
    set(highOut_.ref(), rtp(kRtpOutputRange, 1));
    ifB(cmp(BinaryOp::Eq, lowOut_.ref(), highOut_.ref()));
    note("lowout == highOut i.e. output has only one value");
    fill(lowOut_.ref());
    elseB();
    if (inputMode_ == kInputFromDialog) {
        set(lowIn_.ref(), rtp(kRtpInputRangeOrFractions, 0));
        set(highIn_.ref(), rtp(kRtpInputRangeOrFractions, 1));
    } else if (rawCounts_) {
        countValues();
    } else {
        fixedExtremes();
    }
    ifB(cmp(BinaryOp::Eq, lowIn_.ref(), highIn_.ref()));
    note("lowIn == highIn i.e. input has only one value");
    fill(lowOut_.ref());
    elseB();
    note("highIn > lowIn");
    if (inputMode_ == kInputFromHistogram) {
        const Expr zero = cv(fracType_, 0.0);
        ifB(cmp(BinaryOp::Or, cmp(BinaryOp::Gt, rtp(kRtpInputRangeOrFractions, 0), zero),
                cmp(BinaryOp::Gt, rtp(kRtpInputRangeOrFractions, 1), zero)));
        narrowFromHistogram();
        EndIf();
    }
    mapSlope();
    set(inExdTmp2_.ref(), lowIn_.ref());
    set(inExdTmp3_.ref(), lowOut_.ref());
    if (st_->useLookUpTable) {
        const Expr table = getDWorkRef(inputMode_ == kInputFromHistogram ? 1 : 0).ref();
        const Expr lowerBound = rtp(lowerBoundRtpIndex(inputMode_), 0);
        note("use look-up-table");
        set(inExdTmp1_.ref(), lowerBound);
        set(getIndexedVar(table, 0), inExdTmp1_.ref());
        set(tmpInt32_.ref(), ci(1));
        set(inExdTmp2_.ref(), tmpInt32_.ref());
        forB(i_, 1, ci(valNum_));
        set(inExdTmp1_.ref(), op(BinaryOp::Add, inExdTmp1_.ref(), inExdTmp2_.ref(), extType_));
        set(getIndexedVar(table, i_.ref()), inExdTmp1_.ref());
        endFor();
        set(inExdTmp2_.ref(), lowIn_.ref());
        note("adjust the pixel values from the input range to the output range");
        forB(i_, 0, ci(valNum_));
        mapValue(getIndexedVar(table, i_.ref()), getIndexedVar(table, i_.ref()));
        endFor();
        tableOutput();
    } else {
        note("adjust the pixel values from the input range to the output range");
        forB(i_, 0, pixNum_.ref());
        mapValue(in(i_.ref()), out(i_.ref()));
        endFor();
    }
    EndIf();
    EndIf();
}

// The extremes of the pixels. The kernel's scan (lowIn > v sets lowIn, else highIn < v sets highIn) finds
// the smallest and the largest value of ordered values; here kScanGroup running pairs take every
// kScanGroup-th pixel, so that no comparison waits on the one before, and are merged at the end.
void CGContrastAdjust::fixedExtremes() {
    const Type int32T = Type::intT(true, 32);
    std::vector<Var> low, high;
    for (int32_t k = 0; k < kScanGroup; ++k) {
        low.push_back(k == 0 ? lowIn_ : createLocal("lowIn" + std::to_string(k), inType_));
        high.push_back(k == 0 ? highIn_ : createLocal("highIn" + std::to_string(k), inType_));
    }
    Var end = createLocal("scanEnd", int32T);
    Var v = createLocal("v", inType_);
    auto visit = [&](const Expr& i, int32_t k) {
        set(v.ref(), in(i));
        ifB(cmp(BinaryOp::Gt, low[k].ref(), v.ref()));
        set(low[k].ref(), v.ref());
        EndIf();
        ifB(cmp(BinaryOp::Lt, high[k].ref(), v.ref()));
        set(high[k].ref(), v.ref());
        EndIf();
    };
    for (int32_t k = 0; k < kScanGroup; ++k) {
        set(low[k].ref(), in(ci(0)));
        set(high[k].ref(), in(ci(0)));
    }
    set(end.ref(), iop(BinaryOp::Sub, pixNum_.ref(), iop(BinaryOp::Mod, pixNum_.ref(), ci(kScanGroup))));
    forB(i_, ci(0), end.ref(), kScanGroup);
    for (int32_t k = 0; k < kScanGroup; ++k)
        visit(k == 0 ? i_.ref() : iop(BinaryOp::Add, i_.ref(), ci(k)), k);
    endFor();
    forB(i_, end.ref(), pixNum_.ref());
    visit(i_.ref(), 0);
    endFor();
    for (int32_t k = 1; k < kScanGroup; ++k) {
        ifB(cmp(BinaryOp::Gt, lowIn_.ref(), low[k].ref()));
        set(lowIn_.ref(), low[k].ref());
        EndIf();
        ifB(cmp(BinaryOp::Lt, highIn_.ref(), high[k].ref()));
        set(highIn_.ref(), high[k].ref());
        EndIf();
    }
}

// The table index of a pixel of a table image: its value minus the type's lowest value, read from the low
// word-length bits of the stored integer as the simulation reads them (so it stays inside the table).
Expr CGContrastAdjust::valueIndex(const Expr& pixel) {
    const Expr offset = iop(BinaryOp::Sub, cast(pixel, Type::intT(true, 32)), ci(lowest_));
    return BinaryNode::make(BinaryOp::BitAnd, offset, ci(valNum_ - 1), {}, {CG::RndZero, CG::OvfIndex});
}

// Table images in histogram mode: the pixels per value in one pass; the extremes are the first and the
// last value that occurs, and the histogram bins each value once with its count.
void CGContrastAdjust::countValues() {
    const Type int32T = Type::intT(true, 32);
    const Type u32 = Type::intT(false, 32);
    Var first = createLocal("firstValue", int32T), last = createLocal("lastValue", int32T);
    note("pixels per value of the input type");
    // Four sets of counters for pixels i, i + 1, i + 2, i + 3, so that runs of equal pixels do not wait
    // on one another; then summed into the first set.
    Var end = createLocal("countEnd", int32T);
    forB(i_, 0, ci(kCountSets * valNum_));
    set(getIndexedVar(counts_.ref(), i_.ref()), cast(ci(0), u32));
    endFor();
    auto bump = [&](const Expr& pixel, int32_t set0) {
        const Expr index = iop(BinaryOp::Add, valueIndex(in(pixel)), ci(set0 * valNum_));
        const Expr c = getIndexedVar(counts_.ref(), index);
        set(c, iop(BinaryOp::Add, c, cast(ci(1), u32)));
    };
    set(end.ref(), iop(BinaryOp::Sub, pixNum_.ref(), iop(BinaryOp::Mod, pixNum_.ref(), ci(kCountSets))));
    forB(i_, ci(0), end.ref(), kCountSets);
    for (int32_t k = 0; k < kCountSets; ++k)
        bump(k == 0 ? i_.ref() : iop(BinaryOp::Add, i_.ref(), ci(k)), k);
    endFor();
    forB(i_, end.ref(), pixNum_.ref());
    bump(i_.ref(), 0);
    endFor();
    forB(i_, 0, ci(valNum_));
    Expr sum = getIndexedVar(counts_.ref(), i_.ref());
    for (int32_t k = 1; k < kCountSets; ++k)
        sum = iop(BinaryOp::Add, sum,
                  getIndexedVar(counts_.ref(), iop(BinaryOp::Add, i_.ref(), ci(k * valNum_))));
    set(getIndexedVar(counts_.ref(), i_.ref()), sum);
    endFor();
    set(first.ref(), ci(-1));
    set(last.ref(), ci(-1));
    forB(i_, 0, ci(valNum_));
    ifB(cmp(BinaryOp::Ne, getIndexedVar(counts_.ref(), i_.ref()), cast(ci(0), u32)));
    ifB(cmp(BinaryOp::Lt, first.ref(), ci(0)));
    set(first.ref(), i_.ref());
    EndIf();
    set(last.ref(), i_.ref());
    EndIf();
    endFor();
    set(lowIn_.ref(), iop(BinaryOp::Add, first.ref(), ci(lowest_)));
    set(highIn_.ref(), iop(BinaryOp::Add, last.ref(), ci(lowest_)));
}

// The bin of one value: highIn - v, times slopeHist unless the slope is simplified to 1, to nearest,
// kept inside 0..bins (a wrapping Product 2 can give any int32).
Expr CGContrastAdjust::binOf(const Expr& value, bool simple) {
    set(inExdTmp1_.ref(), highIn_.ref());
    set(inExdTmp2_.ref(), value);
    set(inExdTmp1_.ref(), op(BinaryOp::Sub, inExdTmp1_.ref(), inExdTmp2_.ref(), extType_));
    note("j = binNum*(max(inImg)-inImg[i])/(max(inImg)-min(inImg)))");
    if (simple) {
        set(j_.ref(),
            CG::CastNode::make(inExdTmp1_.ref(), Type::intT(true, 32), {CG::RndNearest, CG::OvfSaturate}));
    } else {
        scaledProduct(prod2Tmp1_, inExdTmp1_.ref(), slopeHist_.ref());
        set(j_.ref(),
            CG::CastNode::make(prod2Tmp1_.ref(), Type::intT(true, 32), {CG::RndNearest, CG::OvfSaturate}));
    }
    note("due to quantization error of slope, j can be greater than binNum");
    ifB(cmp(BinaryOp::Lt, j_.ref(), ci(0)));
    set(j_.ref(), ci(0));
    elseIfB(cmp(BinaryOp::Gt, j_.ref(), bins_.ref()));
    set(j_.ref(), bins_.ref());
    EndIf();
    return hist(j_.ref());
}

void CGContrastAdjust::binPixels(bool simple) {
    const Type u32 = Type::intT(false, 32);
    if (rawCounts_) {
        Var v = createLocal("v", inType_);
        forB(i_, 0, ci(valNum_));
        ifB(cmp(BinaryOp::Ne, getIndexedVar(counts_.ref(), i_.ref()), cast(ci(0), u32)));
        set(v.ref(), iop(BinaryOp::Add, i_.ref(), ci(lowest_)));
        const Expr h = binOf(v.ref(), simple);
        set(h, iop(BinaryOp::Add, h, getIndexedVar(counts_.ref(), i_.ref())));
        EndIf();
        endFor();
        return;
    }
    forB(i_, 0, pixNum_.ref());
    note("j = max(inImg) - inImg[i]");
    const Expr h = binOf(in(i_.ref()), simple);
    set(h, iop(BinaryOp::Add, h, cast(ci(1), u32)));
    endFor();
}

void CGContrastAdjust::narrowFromHistogram() {
    const Type int32T = Type::intT(true, 32);
    const Type u32 = Type::intT(false, 32);
    slopeHist_ = createLocal("slopeHist", p2Type_);
    prod2Tmp1_ = createLocal("prod2Tmp1", p2Type_);
    pixSaturate_ = createLocal("pixSaturate", s32Type_);
    pixNumTmp1_ = createLocal("pixNumTmp1", s32Type_);
    bins_ = createLocal("binNum", int32T);
    Var simpleMode = createLocal("simpleMode", int32T);
    note("here, inputRange = [min(inImg), max(inImg)]");
    set(inExdTmp1_.ref(), highIn_.ref());
    set(inExdTmp2_.ref(), lowIn_.ref());
    set(inExdTmp1_.ref(), op(BinaryOp::Sub, inExdTmp1_.ref(), inExdTmp2_.ref(), extType_));
    set(simpleMode.ref(), ci(0));
    if (st_->simpleMode) {
        if (numBins_ < valNum_) {
            note("if valNum <= binNum, inExdTmp2 may not be long enough to hold binNum");
            set(tmpInt32_.ref(), ci(numBins_));
            set(inExdTmp2_.ref(), tmpInt32_.ref());
            ifB(cmp(BinaryOp::Lt, inExdTmp1_.ref(), inExdTmp2_.ref()));
            note("max(inImg) - min(inImg) < binNum");
            set(simpleMode.ref(), ci(1));
            EndIf();
        } else {
            set(simpleMode.ref(), ci(1));
        }
    }
    set(bins_.ref(), ci(numBins_));
    forB(i_, 0, ci(numBins_ + 1));
    set(hist(i_.ref()), cast(ci(0), u32));
    endFor();
    if (st_->simpleMode) {
        ifB(cmp(BinaryOp::Ne, simpleMode.ref(), ci(0)));
        note("binNum is reduced to the range of input data");
        set(bins_.ref(),
            iop(BinaryOp::Add,
                CG::CastNode::make(inExdTmp1_.ref(), int32T, {CG::RndNearest, CG::OvfSaturate}), ci(1)));
        ifB(cmp(BinaryOp::Lt, bins_.ref(), ci(1)));
        set(bins_.ref(), ci(1));
        elseIfB(cmp(BinaryOp::Gt, bins_.ref(), ci(numBins_)));
        set(bins_.ref(), ci(numBins_));
        EndIf();
        note("slope is simplified to 1");
        set(tmpInt32_.ref(), ci(1));
        set(slopeHist_.ref(), tmpInt32_.ref());
        binPixels(true);
        elseB();
    }
    note("slope = binNum / (max(inImg) - min(inImg))");
    set(tmpInt32_.ref(), ci(numBins_));
    set(slopeHist_.ref(), op(BinaryOp::Div, tmpInt32_.ref(), inExdTmp1_.ref(), p2Type_));
    binPixels(false);
    if (st_->simpleMode) EndIf();
    const Expr last = iop(BinaryOp::Sub, bins_.ref(), ci(1));
    set(hist(last), iop(BinaryOp::Add, hist(last), hist(bins_.ref())));
    saturationLimit(true);
    saturationLimit(false);
}

// The lower limit counts from the dark end (bin binNum - 1 down), the upper from the bright end; both
// are measured from the highIn of the extremes, the lower one first.
void CGContrastAdjust::saturationLimit(bool lower) {
    const Expr frac = rtp(kRtpInputRangeOrFractions, lower ? 0 : 1);
    ifB(cmp(BinaryOp::Gt, frac, cv(fracType_, 0.0)));
    note(lower ? "update the lower limit" : "update the upper limit");
    // pixSaturate = pixNum; pixSaturate *= fraction (the count is exact in 32 bits).
    set(pixSaturate_.ref(), op(BinaryOp::Mul, cast(pixNum_.ref(), s32Type_), frac, s32Type_));
    set(pixNumTmp1_.ref(), ci(0));
    set(j_.ref(), lower ? ci(-1) : bins_.ref());
    if (lower)
        forB(i_, iop(BinaryOp::Sub, bins_.ref(), ci(1)), ci(-1), -1);
    else
        forB(i_, 0, bins_.ref());
    set(tmpInt32_.ref(), hist(i_.ref()));
    set(pixNumTmp1_.ref(), op(BinaryOp::Add, pixNumTmp1_.ref(), tmpInt32_.ref(), s32Type_));
    ifB(cmp(BinaryOp::Gt, pixNumTmp1_.ref(), pixSaturate_.ref()));
    set(j_.ref(), i_.ref());
    set(i_.ref(), lower ? ci(-1) : bins_.ref());
    EndIf();
    endFor();
    set(pixNumTmp1_.ref(), lower ? iop(BinaryOp::Add, j_.ref(), ci(1)) : j_.ref());
    set(inExdTmp1_.ref(), op(BinaryOp::Div, pixNumTmp1_.ref(), slopeHist_.ref(), extType_));
    set(inExdTmp2_.ref(), highIn_.ref());
    set(inExdTmp2_.ref(), op(BinaryOp::Sub, inExdTmp2_.ref(), inExdTmp1_.ref(), extType_));
    set((lower ? lowIn_ : highIn_).ref(), inExdTmp2_.ref());
    EndIf();
}

void CGContrastAdjust::mapSlope() {
    // A span emptied by saturation leaves no pixel inside it: the slope is never used.
    ifB(cmp(BinaryOp::Gt, highIn_.ref(), lowIn_.ref()));
    set(inExdTmp1_.ref(), highIn_.ref());
    set(inExdTmp2_.ref(), lowIn_.ref());
    set(inExdTmp1_.ref(), op(BinaryOp::Sub, inExdTmp1_.ref(), inExdTmp2_.ref(), extType_));
    set(prod1Tmp1_.ref(), inExdTmp1_.ref());
    set(inExdTmp1_.ref(), highOut_.ref());
    set(inExdTmp2_.ref(), lowOut_.ref());
    set(inExdTmp1_.ref(), op(BinaryOp::Sub, inExdTmp1_.ref(), inExdTmp2_.ref(), extType_));
    set(prod1Tmp2_.ref(), inExdTmp1_.ref());
    note("slope=(highOut-lowOut)/(highIn-lowIn)");
    set(slopeMap_.ref(), op(BinaryOp::Div, prod1Tmp2_.ref(), prod1Tmp1_.ref(), p1Type_));
    elseB();
    set(slopeMap_.ref(), cv(p1Type_, 0.0));
    EndIf();
}

// Inside (lowIn, highIn) the line; else lowOut at or below lowIn; else highOut (the simulation's order:
// an inverted range sends a pixel between its ends to lowOut). inExdTmp2 holds lowIn and inExdTmp3 lowOut; v is read in full before dst is written (they may be one element).
void CGContrastAdjust::mapValue(const Expr& v, const Expr& dst) {
    ifB(cmp(BinaryOp::And, cmp(BinaryOp::Gt, v, lowIn_.ref()), cmp(BinaryOp::Lt, v, highIn_.ref())));
    set(inExdTmp1_.ref(), v);
    set(inExdTmp1_.ref(), op(BinaryOp::Sub, inExdTmp1_.ref(), inExdTmp2_.ref(), extType_));
    scaledProduct(prod1Tmp1_, inExdTmp1_.ref(), slopeMap_.ref());
    set(inExdTmp1_.ref(), prod1Tmp1_.ref());
    set(inExdTmp1_.ref(), op(BinaryOp::Add, inExdTmp1_.ref(), inExdTmp3_.ref(), extType_));
    set(dst, inExdTmp1_.ref());
    elseIfB(cmp(BinaryOp::Le, v, lowIn_.ref()));
    set(dst, lowOut_.ref());
    elseB();
    set(dst, highOut_.ref());
    EndIf();
}

// Every pixel indexes the mapped table by its value minus the type's lowest value (for an integer of at
// most 8 bits, the index nearest() gives). Groups of kMapGroup neighbouring pixels per pass: their table
// reads do not wait on one another and a compiler may write the group's bytes as one word; the pixels
// left over go one by one.
void CGContrastAdjust::tableOutput() {
    const Type int32T = Type::intT(true, 32);
    const Expr table = getDWorkRef(inputMode_ == kInputFromHistogram ? 1 : 0).ref();
    Var end = createLocal("groupEnd", int32T);
    auto mapPixel = [&](const Expr& i) { set(out(i), getIndexedVar(table, valueIndex(in(i)))); };
    set(end.ref(), iop(BinaryOp::Sub, pixNum_.ref(), iop(BinaryOp::Mod, pixNum_.ref(), ci(kMapGroup))));
    forB(i_, ci(0), end.ref(), kMapGroup);
    for (int32_t k = 0; k < kMapGroup; ++k)
        mapPixel(k == 0 ? i_.ref() : iop(BinaryOp::Add, i_.ref(), ci(k)));
    endFor();
    forB(i_, end.ref(), pixNum_.ref());
    mapPixel(i_.ref());
    endFor();
}

}  // namespace merrow
