// The skew utility functions of the rotate block's generated code (SkewGen). Each body computes the
// values of the block's skew routine: the same regions of filled, edge and interior positions, the same
// weights, and each sample's sum in the same order, so that -ffp-contract=off code gives the same bits.
#include "ondskew.h"

#include <string>
#include <vector>

using CG::IdxRef;
using CG::IdxVal;
using CG::NumRef;
using CG::NumVal;
using CG::Type;

namespace {

CG::SrcLoc at(int line) {
    return CG::SrcLoc{"ondskew", line};
}

}  // namespace

SkewGen::SkewGen(std::shared_ptr<CG::Pool> pool, const Type& inBufType, const Type& buf2Type,
                 const Type& buf3Type, const Type& outType, const Type& shiftType, const Type& accType,
                 const Type& prodType, const Type& idxType, int32_t rounding, int32_t overflow,
                 int32_t method)
    : DSPCG::LibGenerator(std::move(pool)),
      inBufType_(inBufType),
      buf2Type_(buf2Type),
      buf3Type_(buf3Type),
      outType_(outType),
      shiftType_(shiftType),
      accType_(accType),
      prodType_(prodType),
      idxType_(idxType),
      method_(method),
      fixed_(!inBufType.isFloat()) {
    if (overflow != 0 && overflow != 1) {
        client_assertion_failed("ondskew", 61, "overflowMode == 0 || overflowMode == 1");
        valid_ = false;
        return;
    }
    if (method < kNearest || method > kBicubic) {
        client_assertion_failed("ondskew", 65, "method >= 1 && method <= 3");
        valid_ = false;
        return;
    }
    // Overflow and rounding as given; the library has no breakpoints on overflow or division by zero.
    setMathModes(rounding, overflow);
}

Type SkewGen::inputType(int32_t i) const {
    switch (i) {
        case 0:
            return staticUnknownMatrixT(inBufType_);
        case 4:
            return shiftType_;
        case 7:
            return pointerT(staticUnknownMatrixT(outType_));
        case 10:
            return outType_;
        default:
            return idxType_;
    }
}

std::string SkewGen::inputName(int32_t i) const {
    static const char* names[] = {"src",       "srcStart", "srcLen",   "dstLen",   "shift",  "srcStride",
                                  "dstStride", "dst",      "dstStart", "firstPos", "fillVal"};
    return i >= 0 && i < 11 ? names[i] : DSPCG::LibGenerator::inputName(i);
}

std::string SkewGen::fcnName() const {
    static const char* methodPart[] = {"Nearest_", "Bilinear_", "Bicubic_"};
    std::string name = std::string("skew") + methodPart[method_ >= 1 && method_ <= 3 ? method_ - 1 : 0];
    if (inBufType_.isFloat()) return name + "in_" + floatTypeSymbol(inBufType_);
    // The modes decide the bits as much as the types do: functions of other modes must not be shared.
    return name + "in_" + fixptTypeShortName(inBufType_) + "out_" + fixptTypeShortName(outType_) + "shift_" +
           fixptTypeShortName(shiftType_) + "idx_" + fixptTypeShortName(idxType_) + "_a" +
           fixptTypeShortName(accType_) + "_p" + fixptTypeShortName(prodType_) + "_" +
           mathModeString(mathModes());
}

SkewGen::Args SkewGen::args() {
    Args a;
    a.src.rebind(numRef(inputVar(0).ref()));
    a.srcStart.rebind(idxRef(inputVar(1).ref()));
    a.srcLen.rebind(idxRef(inputVar(2).ref()));
    a.dstLen.rebind(idxRef(inputVar(3).ref()));
    a.shift.rebind(numRef(inputVar(4).ref()));
    a.srcStride.rebind(idxRef(inputVar(5).ref()));
    a.dstStride.rebind(idxRef(inputVar(6).ref()));
    a.dst.rebind(numRef(inputVar(7).ref()));
    a.dstStart.rebind(idxRef(inputVar(8).ref()));
    a.firstPos.rebind(idxRef(inputVar(9).ref()));
    a.fill.rebind(numRef(inputVar(10).ref()));
    a.p0.rebind(localIdxVar("p0"));
    a.end.rebind(localIdxVar("endPos"));
    a.lo.rebind(localIdxVar("lo"));
    a.ilo.rebind(localIdxVar("ilo"));
    a.ihi.rebind(localIdxVar("ihi"));
    a.hi.rebind(localIdxVar("hi"));
    a.dIdx.rebind(localIdxVar("dIdx"));
    a.istrt.rebind(localIdxVar("istrt"));
    a.lim.rebind(localIdxVar("lim"));
    a.i.rebind(localIdxVar("i"));
    return a;
}

void SkewGen::generateBody() {
    if (!valid_) return;
    if (fixed_) {
        if (method_ == kNearest)
            fixNearestBody();
        else if (method_ == kBilinear)
            fixBilinearBody();
        else
            fixBicubicBody();
        return;
    }
    switch (method_) {
        case kNearest:
            nearestBody();
            break;
        case kBilinear:
            bilinearBody();
            break;
        default:
            bicubicBody();
            break;
    }
}

IdxVal SkewGen::truncToIdx(const NumVal& v) {
    // The target's conversion (toward zero): the value is bounded by boundedShift.
    return idxVal(CG::CastNode::make(v.expr(), idxType_, mathModes(), true));
}

NumVal SkewGen::asShift(const IdxVal& v) {
    return numVal(castE(v.expr(), shiftType_));
}

NumRef SkewGen::boundedShift(const Args& a) {
    NumRef sh = localNumVar("sh", shiftType_);
    const double limit = 1073741824.0;
    sh = a.shift;
    beginIf(sh != sh, "A NaN shift moves nothing.", at(170));
    sh = 0.0;
    beginElseIf(sh > limit, "", at(172));
    sh = limit;
    beginElseIf(sh < -limit, "", at(174));
    sh = -limit;
    endIf();
    return sh;
}

NumVal SkewGen::sampleAt(const Args& a, const IdxVal& k) {
    IdxVal inside = k >= 0 && k < a.srcLen;
    return numVal(
        logicalConditionE(inside.expr(), a.src(a.srcStart + k * a.srcStride).expr(), a.fill.expr()));
}

void SkewGen::fillRange(const Args& a, const IdxVal& from, const IdxVal& to) {
    beginCFor(a.i, from, to, "", at(190));
    a.dst(a.dIdx) = a.fill;
    IdxRef d = a.dIdx;
    d += a.dstStride;
    endCFor();
}

void SkewGen::splitRegions(const Args& a, const IdxVal& offset, const IdxVal& aMin, const IdxVal& aMax,
                           const IdxVal& iMin, const IdxVal& iMax) {
    IdxRef p0 = a.p0, end = a.end, lo = a.lo, hi = a.hi, ilo = a.ilo, ihi = a.ihi, dIdx = a.dIdx;
    auto clampInto = [&](IdxRef& x, const IdxVal& v, const IdxVal& low, const IdxVal& high) {
        x = v;
        beginIf(x < low, "", at(200));
        x = low;
        endIf();
        beginIf(x > high, "", at(203));
        x = high;
        endIf();
    };
    p0 = a.firstPos;
    beginIf(p0 < 0, "", at(208));
    p0 = 0;
    endIf();
    end = a.dstLen;
    beginIf(end < p0, "", at(212));
    end = p0;
    endIf();
    clampInto(lo, offset + aMin, p0, end);
    clampInto(hi, offset + aMax + 1, lo, end);
    clampInto(ilo, offset + iMin, lo, hi);
    clampInto(ihi, offset + iMax + 1, ilo, hi);
    dIdx = a.dstStart;
}

void SkewGen::moveBody(const Args& a, const IdxVal& move, const char* leftComment, const char* validComment,
                       const char* rightComment) {
    splitRegions(a, move, 0, a.srcLen - 1, 0, a.srcLen - 1);
    IdxRef istrt = a.istrt;
    append(leftComment, at(226));
    fillRange(a, a.p0, a.lo);
    append(validComment, at(228));
    istrt = a.srcStart + (a.lo - move) * a.srcStride;
    beginCFor(a.i, a.lo, a.hi, "", at(230));
    a.dst(a.dIdx) = a.src(istrt);
    IdxRef d = a.dIdx;
    d += a.dstStride;
    istrt += a.srcStride;
    endCFor();
    append(rightComment, at(236));
    fillRange(a, a.hi, a.end);
}

void SkewGen::nearestBody() {
    append("Skew function without interpolation (i.e. Nearest Neighbor)", at(240));
    Args a = args();
    NumRef sh = boundedShift(a);
    IdxRef move = localIdxVar("move");
    // Halves round up: floor(shift + 0.5).
    move = truncToIdx(callNumVal("floor", {sh + 0.5}, shiftType_));
    moveBody(a, move, "Pad on the left edge", "Process valid range", "Pad on the right edge");
}

void SkewGen::bilinearBody() {
    append("Bilinear interpolation skew function", at(250));
    Args a = args();
    NumRef sh = boundedShift(a);
    IdxRef shiftInt = localIdxVar("shiftInt");
    IdxRef offset = localIdxVar("offset");
    NumRef fracPart = localNumVar("fracPart", shiftType_);
    NumRef gFracPart = localNumVar("gFracPart", shiftType_);
    shiftInt = truncToIdx(sh);
    fracPart = callNumVal("fabs", {sh - asShift(shiftInt)}, shiftType_);
    beginIf(fracPart == 0.0, "A whole shift moves the line.", at(259));
    moveBody(a, shiftInt, "Pad on the left", "Process valid portion", "Pad on the right");
    beginElse("", at(261));
    // Weights of the left and right taps: value = fracPart-side * src[a] + other * src[a + 1].
    NumRef w0 = localNumVar("w0", shiftType_);
    NumRef w1 = localNumVar("w1", shiftType_);
    gFracPart = NumVal(1.0) - fracPart;
    beginIf(sh > 0.0, "", at(266));
    offset = shiftInt + 1;
    w0 = fracPart;
    w1 = gFracPart;
    beginElse("", at(270));
    offset = shiftInt;
    w0 = gFracPart;
    w1 = fracPart;
    endIf();
    splitRegions(a, offset, -1, a.srcLen - 1, 0, a.srcLen - 2);
    IdxRef mAP2 = localIdxVar("mAP2");
    append("Pad on the left", at(277));
    fillRange(a, a.p0, a.lo);
    append("Advance to the valid range", at(279));
    beginCFor(a.i, a.lo, a.ilo, "", at(280));
    a.dst(a.dIdx) = w0 * sampleAt(a, a.i - offset) + w1 * sampleAt(a, a.i - offset + 1);
    IdxRef d = a.dIdx;
    d += a.dstStride;
    endCFor();
    append("Process valid portion", at(285));
    // Each sample is read once: the right tap of one position is the left tap of the next.
    NumRef tap0 = localNumVar("tap0", shiftType_), tap1 = localNumVar("tap1", shiftType_);
    mAP2 = a.srcStart + (a.ilo - offset) * a.srcStride;
    beginIf(a.ilo < a.ihi, "", at(287));
    tap0 = a.src(mAP2);
    endIf();
    beginCFor(a.i, a.ilo, a.ihi, "", at(287));
    mAP2 += a.srcStride;
    tap1 = a.src(mAP2);
    a.dst(a.dIdx) = w0 * tap0 + w1 * tap1;
    tap0 = tap1;
    d += a.dstStride;
    endCFor();
    beginCFor(a.i, a.ihi, a.hi, "", at(292));
    a.dst(a.dIdx) = w0 * sampleAt(a, a.i - offset) + w1 * sampleAt(a, a.i - offset + 1);
    d += a.dstStride;
    endCFor();
    append("Pad on the right", at(296));
    fillRange(a, a.hi, a.end);
    endIf();
}

void SkewGen::bicubicBody() {
    append("Bicubic interpolation skew function", at(301));
    Args a = args();
    NumRef sh = boundedShift(a);
    IdxRef shiftInt = localIdxVar("shiftInt");
    IdxRef offset = localIdxVar("offset");
    IdxRef stopIdx = localIdxVar("stopIdx");
    shiftInt = truncToIdx(sh);
    stopIdx = shiftInt;
    beginIf(a.dstLen < stopIdx, "", at(309));
    stopIdx = a.dstLen;
    endIf();
    beginIf(sh - asShift(stopIdx) == 0.0, "No need for interpolation", at(312));
    moveBody(a, shiftInt, "Pad on the left", "Process valid portion", "Pad on the right");
    beginElse("Interpolation is needed", at(314));
    NumRef v = localNumVar("fracPart", shiftType_);
    NumRef u = localNumVar("gFracPart", shiftType_);
    beginIf(sh > 0.0, "", at(317));
    v = NumVal(1.0) - (sh - asShift(shiftInt));
    offset = shiftInt + 1;
    beginElse("", at(320));
    v = asShift(shiftInt) - sh;
    offset = shiftInt;
    endIf();
    u = NumVal(1.0) - v;

    append("Compute weight for bicubic interpolating kernel", at(326));
    NumRef dist = localNumVar("dist", shiftType_);
    NumRef dist2 = localNumVar("dist2", shiftType_);
    NumRef dist3 = localNumVar("dist3", shiftType_);
    std::vector<NumRef> w;
    const NumVal distances[4] = {NumVal(1.0) + v, v, u, NumVal(1.0) + u};
    for (int k = 0; k < 4; ++k) {
        w.push_back(localNumVar("w" + std::to_string(k), shiftType_));
        // Cubic convolution with a = -1.
        dist = distances[k];
        dist2 = dist * dist;
        dist3 = dist2 * dist;
        beginIf(dist < 1.0, "", at(337));
        w[k] = dist3 - NumVal(2.0) * dist2 + 1.0;
        beginElse("", at(339));
        w[k] = -dist3 + NumVal(5.0) * dist2 - NumVal(8.0) * dist + 4.0;
        endIf();
    }

    // Positions with at least two of their four taps in the line (none for a line of one sample).
    IdxRef countb = localIdxVar("countb");
    countb = a.srcLen - 1;
    beginIf(a.srcLen < 2, "", at(347));
    countb = -2;
    endIf();
    splitRegions(a, offset, -1, countb, 1, a.srcLen - 3);
    auto edgeSample = [&](const IdxVal& base) {
        return w[0] * sampleAt(a, base - 1) + w[1] * sampleAt(a, base) + w[2] * sampleAt(a, base + 1) +
               w[3] * sampleAt(a, base + 2);
    };
    append("Pad on the left", at(355));
    fillRange(a, a.p0, a.lo);
    append("Advance to the valid range", at(357));
    IdxRef d = a.dIdx;
    beginCFor(a.i, a.lo, a.ilo, "", at(359));
    a.dst(a.dIdx) = edgeSample(a.i - offset);
    d += a.dstStride;
    endCFor();
    append("Process valid portion", at(363));
    append("Process central part", at(364));
    // Each sample is read once: three taps of a position are taps of the next.
    IdxRef mAP0 = localIdxVar("mAP0");
    std::vector<NumRef> tap;
    for (int k = 0; k < 4; ++k)
        tap.push_back(localNumVar("tap" + std::to_string(k), shiftType_));
    mAP0 = a.srcStart + (a.ilo - offset - 1) * a.srcStride;
    beginIf(a.ilo < a.ihi, "", at(366));
    tap[0] = a.src(mAP0);
    tap[1] = a.src(mAP0 + a.srcStride);
    tap[2] = a.src(mAP0 + a.srcStride * 2);
    mAP0 += a.srcStride * 2;
    endIf();
    beginCFor(a.i, a.ilo, a.ihi, "", at(367));
    mAP0 += a.srcStride;
    tap[3] = a.src(mAP0);
    a.dst(a.dIdx) = w[0] * tap[0] + w[1] * tap[1] + w[2] * tap[2] + w[3] * tap[3];
    tap[0] = tap[1];
    tap[1] = tap[2];
    tap[2] = tap[3];
    d += a.dstStride;
    endCFor();
    append("Process right edge", at(373));
    beginCFor(a.i, a.ihi, a.hi, "", at(374));
    a.dst(a.dIdx) = edgeSample(a.i - offset);
    d += a.dstStride;
    endCFor();
    append("Pad on the right", at(378));
    fillRange(a, a.hi, a.end);
    endIf();
}
