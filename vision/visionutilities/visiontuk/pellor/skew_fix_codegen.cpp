// The skew utility functions for integer and fixed-point lines. Each statement is one step of the
// fixed-point engine's skew routines (fixskew.h): the shift's integer part and fraction, the weights from
// the integer constants, each product quantised into the product type and each sum into the working
// (accumulator) type, the sample once more into the destination's type, all with the function's rounding
// and overflow modes. The regions of filled, edge and interior positions are the floating-point ones.
#include <algorithm>
#include <string>
#include <vector>

#include "ondskew.h"

using CG::BinaryNode;
using CG::BinaryOp;
using CG::CastNode;
using CG::ConstNode;
using CG::Expr;
using CG::IdxRef;
using CG::IdxVal;
using CG::NumRef;
using CG::NumVal;
using CG::Type;

namespace {

CG::SrcLoc at(int line) {
    return CG::SrcLoc{"ondskew", line};
}

Type int32T() {
    return Type::intT(true, 32);
}

// A small integer constant (the engine's 1, 2, 4, 5, 8) in a word just wide enough, so that its products
// with a working-type value stay within the 64-bit helpers.
Expr smallInt(int32_t v) {
    return ConstNode::makeInt(Type::fixedT(true, 5, 0), v);
}

}  // namespace

Expr SkewGen::fixCast(const Expr& v, const Type& t) {
    if (v.type().sameAs(t)) return v;
    return CastNode::make(v, t, mathModes());
}

void SkewGen::boundMove(IdxRef& move) {
    beginIf(move > 1073741824, "", at(40));
    move = 1073741824;
    endIf();
    beginIf(move < -1073741824, "", at(43));
    move = -1073741824;
    endIf();
}

void SkewGen::fixSample(const Args& a, const std::vector<NumVal>& weights, const std::vector<NumVal>& taps) {
    const CG::MathModes m = mathModes();
    NumRef acc = localNumVar("acc", accType_);
    auto product = [&](size_t t) {
        return BinaryNode::make(BinaryOp::Mul, weights[t].expr(), taps[t].expr(), prodType_, m);
    };
    // The first product starts the sum (the sum from zero of one product is that product).
    assign(acc.expr(), fixCast(product(0), accType_), at(55));
    for (size_t t = 1; t < weights.size(); ++t)
        assign(acc.expr(), BinaryNode::make(BinaryOp::Add, acc.expr(), product(t), accType_, m), at(57));
    assign(a.dst(a.dIdx).expr(), fixCast(acc.expr(), outType_), at(58));
}

bool SkewGen::exactInteriorFits(int32_t* productShift) const {
    auto integerOrFixed = [](const Type& t) {
        return (t.kind() == CG::TypeKind::Integer || t.kind() == CG::TypeKind::FixedPoint) &&
               !t.isScaledDouble();
    };
    if (!fixed_ || !integerOrFixed(accType_) || !integerOrFixed(prodType_) || !integerOrFixed(inBufType_))
        return false;
    const int32_t wlA = accType_.bits(), wlP = prodType_.bits(), wlS = inBufType_.bits();
    const int32_t k = accType_.exponent() + inBufType_.exponent() - prodType_.exponent();
    // Products onto the sum's grid without rounding, every exact product and aligned term within 62 bits.
    if (accType_.exponent() != prodType_.exponent() || k < 0) return false;
    if (wlA > 62 || wlP > 62 || wlA + wlS + k > 62) return false;
    *productShift = k;
    return true;
}

void SkewGen::fixInteriorSample(const Args& a, const std::vector<NumVal>& weights,
                                const std::vector<NumVal>& taps) {
    int32_t k = 0;
    if (!exactInteriorFits(&k)) {
        fixSample(a, weights, taps);
        return;
    }
    // The exact products and their running sum in int64_t (wrapping, never overflowing C): while every
    // product lies in the product type and every partial sum in the working type, nothing is rounded or
    // kept in range before the last step, so the sum is what the step-by-step quantisation gives. A sample
    // where something leaves its range takes the step-by-step quantisation.
    const Type i64 = Type::intT(true, 64);
    const CG::MathModes wrap{mathModes().rounding, CG::OvfWrap};
    const CG::MathModes m = mathModes();
    auto range = [](const Type& t, int64_t* lo, int64_t* hi) {
        *lo = t.isSigned() ? -(int64_t(1) << (t.bits() - 1)) : 0;
        *hi = t.isSigned() ? (int64_t(1) << (t.bits() - 1)) - 1 : (int64_t(1) << t.bits()) - 1;
    };
    int64_t loP, hiP, loA, hiA;
    range(prodType_, &loP, &hiP);
    range(accType_, &loA, &hiA);
    auto within = [&](const NumRef& v, int64_t lo, int64_t hi) {
        return idxVal(BinaryNode::make(BinaryOp::Ge, v.expr(), ConstNode::makeInt(i64, lo), {}, m)) &&
               idxVal(BinaryNode::make(BinaryOp::Le, v.expr(), ConstNode::makeInt(i64, hi), {}, m));
    };
    NumRef sum = localNumVar("sum", i64);
    IdxVal inRange;
    for (size_t t = 0; t < weights.size(); ++t) {
        NumRef term = localNumVar("term" + std::to_string(t), i64);
        Expr prod = BinaryNode::make(BinaryOp::Mul, CG::ReinterpretNode::make(weights[t].expr(), i64, true),
                                     CG::ReinterpretNode::make(taps[t].expr(), i64, true), i64, wrap);
        if (k > 0)
            prod = BinaryNode::make(BinaryOp::Mul, prod, ConstNode::makeInt(i64, int64_t(1) << k), i64, wrap);
        assign(term.expr(), prod, at(70));
        if (t == 0) {
            sum = term;
            inRange = within(term, std::max(loP, loA), std::min(hiP, hiA));
        } else {
            assign(sum.expr(), BinaryNode::make(BinaryOp::Add, sum.expr(), term.expr(), i64, wrap), at(75));
            inRange = inRange && within(term, loP, hiP) && within(sum, loA, hiA);
        }
    }
    beginIf(inRange, "", at(79));
    assign(a.dst(a.dIdx).expr(), fixCast(CG::ReinterpretNode::make(sum.expr(), accType_, true), outType_),
           at(80));
    beginElse("", at(81));
    fixSample(a, weights, taps);
    endIf();
}

void SkewGen::fixNearestBody() {
    append("Skew function without interpolation (i.e. Nearest Neighbor)", at(62));
    Args a = args();
    IdxRef move = localIdxVar("move");
    // Nearest, halves toward +infinity, saturated to int32.
    move = idxVal(CastNode::make(a.shift.expr(), int32T(), CG::MathModes{CG::RndNearest, CG::OvfSaturate}));
    boundMove(move);
    moveBody(a, move, "Pad on the left edge", "Process valid range", "Pad on the right edge");
}

void SkewGen::fixBilinearBody() {
    append("Bilinear interpolation skew function", at(72));
    Args a = args();
    const CG::MathModes m = mathModes();
    IdxRef shiftInt = localIdxVar("shiftInt");
    IdxRef offset = localIdxVar("offset");
    NumRef fracPart = localNumVar("fracPart", accType_);
    NumRef gFracPart = localNumVar("gFracPart", accType_);
    shiftInt = idxVal(CastNode::make(a.shift.expr(), int32T(), CG::MathModes{CG::RndZero, CG::OvfSaturate}));
    assign(fracPart.expr(), BinaryNode::make(BinaryOp::Sub, a.shift.expr(), shiftInt.expr(), accType_, m),
           at(81));
    beginIf(fracPart < NumVal(0.0), "", at(82));
    assign(fracPart.expr(), fixCast(shiftInt.expr(), accType_), at(83));
    assign(fracPart.expr(), BinaryNode::make(BinaryOp::Sub, fracPart.expr(), a.shift.expr(), accType_, m),
           at(84));
    endIf();
    boundMove(shiftInt);
    beginIf(fracPart == NumVal(0.0), "A whole shift moves the line.", at(87));
    moveBody(a, shiftInt, "Pad on the left", "Process valid portion", "Pad on the right");
    beginElse("", at(89));
    NumRef w0 = localNumVar("w0", accType_);
    NumRef w1 = localNumVar("w1", accType_);
    assign(gFracPart.expr(), fixCast(smallInt(1), accType_), at(92));
    assign(gFracPart.expr(), BinaryNode::make(BinaryOp::Sub, gFracPart.expr(), fracPart.expr(), accType_, m),
           at(94));
    beginIf(a.shift > NumVal(0.0), "", at(95));
    offset = shiftInt + 1;
    w0 = fracPart;
    w1 = gFracPart;
    beginElse("", at(99));
    offset = shiftInt;
    w0 = gFracPart;
    w1 = fracPart;
    endIf();
    splitRegions(a, offset, -1, a.srcLen - 1, 0, a.srcLen - 2);
    IdxRef mAP2 = localIdxVar("mAP2");
    IdxRef d = a.dIdx;
    auto edge = [&](const IdxVal& from, const IdxVal& to, int line) {
        beginCFor(a.i, from, to, "", at(line));
        fixSample(a, {w0, w1}, {sampleAt(a, a.i - offset), sampleAt(a, a.i - offset + 1)});
        d += a.dstStride;
        endCFor();
    };
    append("Pad on the left", at(112));
    fillRange(a, a.p0, a.lo);
    append("Advance to the valid range", at(114));
    edge(a.lo, a.ilo, 115);
    append("Process valid portion", at(116));
    mAP2 = a.srcStart + (a.ilo - offset) * a.srcStride;
    beginCFor(a.i, a.ilo, a.ihi, "", at(118));
    fixInteriorSample(a, {w0, w1}, {a.src(mAP2), a.src(mAP2 + a.srcStride)});
    d += a.dstStride;
    mAP2 += a.srcStride;
    endCFor();
    edge(a.ihi, a.hi, 123);
    append("Pad on the right", at(124));
    fillRange(a, a.hi, a.end);
    endIf();
}

void SkewGen::fixCubicWeight(const NumRef& d, NumRef out) {
    const CG::MathModes m = mathModes();
    NumRef d2 = localNumVar("dist2", accType_);
    NumRef d3 = localNumVar("dist3", accType_);
    NumRef t = localNumVar("term", accType_);
    auto times = [&](const NumRef& x, const Expr& y) {
        return BinaryNode::make(BinaryOp::Mul, x.expr(), y, accType_, m);
    };
    auto integer = [](int32_t v) { return smallInt(v); };
    auto update = [&](const NumRef& x, BinaryOp op, const Expr& y, int line) {
        assign(x.expr(), BinaryNode::make(op, x.expr(), y, accType_, m), at(line));
    };
    assign(d2.expr(), times(d, d.expr()), at(141));
    assign(d3.expr(), times(d2, d.expr()), at(142));
    beginIf(idxVal(BinaryNode::make(BinaryOp::Lt, d.expr(), integer(1), {}, m)), "", at(143));
    out = d3;
    assign(t.expr(), times(d2, integer(2)), at(145));
    update(out, BinaryOp::Sub, t.expr(), 146);
    update(out, BinaryOp::Add, integer(1), 147);
    beginElse("", at(148));
    assign(out.expr(), fixCast(integer(4), accType_), at(149));
    assign(t.expr(), times(d, integer(8)), at(150));
    update(out, BinaryOp::Sub, t.expr(), 151);
    assign(t.expr(), times(d2, integer(5)), at(152));
    update(out, BinaryOp::Add, t.expr(), 153);
    update(out, BinaryOp::Sub, d3.expr(), 154);
    endIf();
}

void SkewGen::fixBicubicBody() {
    append("Bicubic interpolation skew function", at(159));
    Args a = args();
    const CG::MathModes m = mathModes();
    IdxRef shiftInt = localIdxVar("shiftInt");
    IdxRef offset = localIdxVar("offset");
    IdxRef stopIdx = localIdxVar("stopIdx");
    shiftInt = idxVal(CastNode::make(a.shift.expr(), int32T(), CG::MathModes{CG::RndZero, CG::OvfSaturate}));
    stopIdx = shiftInt;
    beginIf(a.dstLen < stopIdx, "", at(167));
    stopIdx = a.dstLen;
    endIf();
    IdxVal whole = idxVal(BinaryNode::make(BinaryOp::Eq, a.shift.expr(), stopIdx.expr(), {}, m));
    beginIf(whole, "No need for interpolation", at(171));
    boundMove(shiftInt);
    moveBody(a, shiftInt, "Pad on the left", "Process valid portion", "Pad on the right");
    beginElse("Interpolation is needed", at(174));
    NumRef v = localNumVar("fracPart", accType_);
    NumRef u = localNumVar("gFracPart", accType_);
    auto one = [&] { return fixCast(smallInt(1), accType_); };
    auto sub = [&](const NumRef& x, const Expr& y) {
        assign(x.expr(), BinaryNode::make(BinaryOp::Sub, x.expr(), y, accType_, m), at(179));
    };
    beginIf(a.shift > NumVal(0.0), "", at(181));
    assign(u.expr(), BinaryNode::make(BinaryOp::Sub, a.shift.expr(), shiftInt.expr(), accType_, m), at(182));
    assign(v.expr(), one(), at(183));
    sub(v, u.expr());
    beginElse("", at(185));
    assign(v.expr(), fixCast(shiftInt.expr(), accType_), at(186));
    sub(v, a.shift.expr());
    endIf();
    boundMove(shiftInt);
    assign(u.expr(), one(), at(190));
    sub(u, v.expr());
    beginIf(a.shift > NumVal(0.0), "", at(192));
    offset = shiftInt + 1;
    beginElse("", at(194));
    offset = shiftInt;
    endIf();

    append("Compute weight for bicubic interpolating kernel", at(198));
    NumRef dist = localNumVar("dist", accType_);
    std::vector<NumRef> w;
    for (int k = 0; k < 4; ++k)
        w.push_back(localNumVar("w" + std::to_string(k), accType_));
    assign(dist.expr(), one(), at(203));
    assign(dist.expr(), BinaryNode::make(BinaryOp::Add, dist.expr(), v.expr(), accType_, m), at(204));
    fixCubicWeight(dist, w[0]);
    fixCubicWeight(v, w[1]);
    fixCubicWeight(u, w[2]);
    assign(dist.expr(), one(), at(208));
    assign(dist.expr(), BinaryNode::make(BinaryOp::Add, dist.expr(), u.expr(), accType_, m), at(209));
    fixCubicWeight(dist, w[3]);

    // Positions with at least two of their four taps in the line (none for a line of one sample).
    IdxRef countb = localIdxVar("countb");
    countb = a.srcLen - 1;
    beginIf(a.srcLen < 2, "", at(215));
    countb = -2;
    endIf();
    splitRegions(a, offset, -1, countb, 1, a.srcLen - 3);
    const std::vector<NumVal> weights = {w[0], w[1], w[2], w[3]};
    IdxRef d = a.dIdx;
    auto edge = [&](const IdxVal& from, const IdxVal& to, int line) {
        beginCFor(a.i, from, to, "", at(line));
        const IdxVal base = a.i - offset;
        fixSample(a, weights,
                  {sampleAt(a, base - 1), sampleAt(a, base), sampleAt(a, base + 1), sampleAt(a, base + 2)});
        d += a.dstStride;
        endCFor();
    };
    append("Pad on the left", at(228));
    fillRange(a, a.p0, a.lo);
    append("Advance to the valid range", at(230));
    edge(a.lo, a.ilo, 231);
    append("Process valid portion", at(232));
    append("Process central part", at(233));
    IdxRef mAP0 = localIdxVar("mAP0");
    mAP0 = a.srcStart + (a.ilo - offset - 1) * a.srcStride;
    beginCFor(a.i, a.ilo, a.ihi, "", at(236));
    fixInteriorSample(a, weights,
                      {a.src(mAP0), a.src(mAP0 + a.srcStride), a.src(mAP0 + a.srcStride * 2),
                       a.src(mAP0 + a.srcStride * 3)});
    d += a.dstStride;
    mAP0 += a.srcStride;
    endCFor();
    append("Process right edge", at(243));
    edge(a.ihi, a.hi, 244);
    append("Pad on the right", at(245));
    fillRange(a, a.hi, a.end);
    endIf();
}
