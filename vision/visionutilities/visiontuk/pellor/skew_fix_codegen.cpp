// The skew utility functions for integer and fixed-point lines. Each statement is one step of the
// fixed-point engine's skew routines (fixskew.h): the shift's integer part and fraction, the weights from
// the integer constants, each product quantised into the product type and each sum into the working
// (accumulator) type, the sample once more into the destination's type, all with the function's rounding
// and overflow modes. The regions of filled, edge and interior positions are the floating-point ones.
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
    fixSample(a, {w0, w1}, {a.src(mAP2), a.src(mAP2 + a.srcStride)});
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
    fixSample(a, weights,
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
