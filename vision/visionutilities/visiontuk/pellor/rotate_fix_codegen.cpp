// The fixed-point engine's angle, trigonometry, geometry and line shifts in the rotate block's generated
// code (integer and fixed-point images). Each assignment is one statement of the engine
// (rotatesfcncachefix.cpp): the exact result of one operation quantised into the type of the number that
// holds it, with that number's modes: the block's rounding and overflow for the working, scale and image
// numbers, the block's rounding with saturation for the widened angle, and the products of the angle in
// the block's product type, saturated.
#include <algorithm>
#include <string>

#include "rotate_codegen.h"
#include "vekdsp.h"

using namespace sysobj;

namespace pellorcg {

using CG::BinaryNode;
using CG::BinaryOp;
using CG::CastNode;
using CG::ConstNode;
using CG::Expr;
using CG::MathModes;

namespace {

// Word and fraction length of the product output or the accumulator group, as the engine reads them.
void workingGroup(SysObjAdaptorSFun* S, int32_t modeIndex, int32_t* wl, int32_t* fl) {
    const DataTypeId in = ssGetInputPortDataType(S, pellor::kImagePort);
    switch (pellor::paramInt(S, modeIndex)) {
        case 0:
            *wl = pellor::paramInt(S, modeIndex + 1);
            *fl = pellor::paramInt(S, modeIndex + 2);
            return;
        case 2:
            *wl = VekSimCommon::dspGetDataTypeWordLength(S, in);
            *fl = VekSimCommon::dspGetDataTypeFracLength(S, in);
            return;
        case 3:
            if (modeIndex == pellor::kAccumMode) {
                workingGroup(S, pellor::kProductMode, wl, fl);
                return;
            }
            break;
        default:
            break;
    }
    *wl = 0;
    *fl = 0;
}

// The angle's type widened to hold |angle| + 2*pi, as the engine widens it (at least 3 integer bits).
Type angleWorkType(const Type& angle) {
    const int32_t fl = -angle.exponent();
    const int32_t magnitudeBits = angle.bits() - (angle.isSigned() ? 1 : 0);
    const int32_t intBits = std::max(magnitudeBits - fl, 3) + 1;
    const int32_t wl = std::clamp(intBits + fl + 1, 2, 128);
    return Type::fixedT(true, wl, angle.exponent());
}

Type elementType(const CG::Var& v) {
    return base_type(v.type());
}

int32_t bitsFor(int32_t maxAbs) {
    int32_t bits = 2;
    while (bits < 32 && (int64_t(1) << (bits - 1)) <= maxAbs)
        ++bits;
    return bits;
}

}  // namespace

bool TarnCGRotate::fixTypes() {
    const DataTypeId inId = ssGetInputPortDataType(S_, pellor::kImagePort);
    fx_.in = getTarnBlock()->CGTypeFromDtProp(inId);
    fx_.out = getTarnBlock()->CGTypeFromDtProp(ssGetOutputPortDataType(S_, 0));
    if (!fx_.in || !fx_.out) return false;
    int32_t pwl = 0, pfl = 0, awl = 0, afl = 0;
    workingGroup(S_, pellor::kProductMode, &pwl, &pfl);
    workingGroup(S_, pellor::kAccumMode, &awl, &afl);
    if (pwl < 2 || awl < 2) {
        CG::userError("the product output or accumulator data type has no word length (" +
                      std::to_string(pwl) + ", " + std::to_string(awl) + " bits)");
        return false;
    }
    fx_.product = Type::fixedT(true, pwl, -pfl);
    fx_.acc = Type::fixedT(true, awl, -afl);
    std::vector<std::pair<const char*, Type>> roles = {
        {"input", fx_.in}, {"output", fx_.out}, {"product output", fx_.product}, {"accumulator", fx_.acc}};
    if (!shape_.quarterTurnOnly) {
        fx_.angle = fromPort_
                        ? getTarnBlock()->CGTypeFromDtProp(ssGetInputPortDataType(S_, pellor::kAnglePort))
                        : elementType(getParamRef(pellor::kRtpAngle));
        if (!fx_.angle) return false;
        if (fx_.angle.isFloat() || fx_.angle.isScaledDouble()) {
            CG::userError("an integer or fixed-point image with a floating-point angle (" +
                          CG::typeDisplayName(fx_.angle) +
                          ") is not generated: the engine would compute "
                          "the angle's products in floating point");
            return false;
        }
        fx_.angleWork = angleWorkType(fx_.angle);
        fx_.sine = elementType(getParamRef(pellor::kRtpSineTable));
        fx_.pi = elementType(getParamRef(pellor::kRtpPiValue));
        roles.insert(roles.end(), {{"angle", fx_.angle},
                                   {"widened angle", fx_.angleWork},
                                   {"sine table", fx_.sine},
                                   {"2*pi", fx_.pi}});
    }
    for (const auto& [role, t] : roles) {
        if (t.isScaledDouble() || t.isFloat()) {
            CG::userError(std::string("the ") + role + " data type " + CG::typeDisplayName(t) +
                          " is not integer or fixed point");
            return false;
        }
        if (t.bits() > 64) {
            CG::userError(std::string("the ") + role + " data type " + CG::typeDisplayName(t) + " has a " +
                          std::to_string(t.bits()) +
                          "-bit word; generated code holds fixed-point words of at most 64 bits");
            return false;
        }
    }
    return true;
}

void TarnCGRotate::fixSet(const NumRef& x, const Expr& v, MathModes m, int line) {
    f_.assign(x.expr(), v.type().sameAs(x.type()) ? v : CastNode::make(v, x.type(), m), at(line));
}

void TarnCGRotate::fixUpdate(const NumRef& x, BinaryOp op, const Expr& y, MathModes m, int line) {
    fixSet(x, BinaryNode::make(op, x.expr(), y, x.type(), m), m, line);
}

Expr TarnCGRotate::smallIndex(const IdxVal& v, int32_t maxAbs) {
    // The value is in range by construction: the target's plain cast keeps it.
    return CastNode::make(v.expr(), Type::fixedT(true, bitsFor(maxAbs), 0), f_.mathModes(), true);
}

// The step's angle: |angle| less whole turns of the stored 2*pi, the sign put back, into [-pi, pi); a port
// angle clamped to the maximum angle (at most pi); then the quarter or half turn taken out.
void TarnCGRotate::fixStepAngle() {
    const MathModes aw{roundingMode(), CG::OvfSaturate};
    const MathModes b = blockModes();
    const Type W = fx_.angleWork;
    auto zero = [&](const Type& t) { return ConstNode::makeInt(t, 0); };
    auto op = [&](BinaryOp o, const Expr& x, const Expr& y) { return BinaryNode::make(o, x, y, W, aw); };
    auto cmp = [&](BinaryOp o, const Expr& x, const Expr& y) {
        return f_.idxVal(BinaryNode::make(o, x, y, {}, aw));
    };

    NumRef twoPi = f_.localNumVar("twoPiVal", fx_.pi);
    NumRef pi = f_.localNumVar("piVal", fx_.pi);
    NumRef halfPi = f_.localNumVar("halfPiVal", fx_.pi);
    twoPi = f_.numRef(getParamRef(pellor::kRtpPiValue).ref())[0];
    // pi and pi/2: the stored 2*pi halved once and twice, rounded as the scale value is.
    auto scaled = [&](int n) {
        return CG::ReinterpretNode::make(
            twoPi.expr(), Type::fixedT(fx_.pi.isSigned(), fx_.pi.bits(), fx_.pi.exponent() - n), false);
    };
    fixSet(pi, scaled(1), b, 150);
    fixSet(halfPi, scaled(2), b, 151);

    NumRef angleIn = fromPort_ ? f_.numRef(getInputRef(pellor::kAnglePort).ref())[0]
                               : f_.numRef(getParamRef(pellor::kRtpAngle).ref())[0];
    angle_.rebind(f_.localNumVar("angleOfRotation", W));
    theta_.rebind(f_.localNumVar("angleForTan", W));
    NumRef a = angle_, t = theta_;
    NumRef tmp = f_.localNumVar("acc4", W);
    IdxRef negative = idx("isNegAngle");
    negative = cmp(BinaryOp::Lt, angleIn.expr(), zero(fx_.angle));
    fixSet(t, zero(W), aw, 166);
    f_.beginIf(negative == 1, "", at(167));
    fixSet(t, op(BinaryOp::Sub, t.expr(), angleIn.expr()), aw, 168);
    f_.beginElse("", at(169));
    fixSet(t, angleIn.expr(), aw, 170);
    f_.endIf();

    // Whole turns of a very large angle go at once, one turn fewer than the quotient, in double.
    NumRef turns = f_.localNumVar("turns", Type::doubleT());
    auto quotient = [&] {
        NumVal ratio = f_.numVal(
            BinaryNode::make(BinaryOp::Div, CastNode::make(t.expr(), Type::doubleT(), aw),
                             CastNode::make(twoPi.expr(), Type::doubleT(), aw), Type::doubleT(), aw));
        turns = f_.callNumVal("floor", {ratio}, Type::doubleT()) - NumVal(1.0);
    };
    quotient();
    f_.beginCWhile(turns >= NumVal(64.0), "", at(181));
    fixSet(tmp, twoPi.expr(), aw, 182);
    IdxRef count = idx("turnCount");
    count =
        f_.idxVal(CastNode::make(CG::SelectNode::make((turns < NumVal(1073741824.0)).expr(), turns.expr(),
                                                      ConstNode::makeValue(Type::doubleT(), 1073741824.0)),
                                 Type::intT(true, 32), aw, true));
    fixUpdate(tmp, BinaryOp::Mul, count.expr(), aw, 187);
    fixUpdate(t, BinaryOp::Sub, tmp.expr(), aw, 188);
    quotient();
    f_.endCWhile();

    // The remainder in (0, 2*pi] by subtraction, then with the angle's sign.
    // A widened angle coarser than 2*pi's rounding can round t - 2*pi back onto t (fraction length -3 and
    // rounding up): the loop then stops at the first turn that does not decrease t instead of hanging.
    fixSet(a, zero(W), aw, 193);
    IdxRef stalled = idx("wrapStalled");
    stalled = 0;
    f_.beginCWhile(cmp(BinaryOp::Gt, t.expr(), zero(W)) && stalled == 0, "", at(194));
    a = t;
    fixUpdate(t, BinaryOp::Sub, twoPi.expr(), aw, 196);
    stalled = cmp(BinaryOp::Ge, t.expr(), a.expr());
    f_.endCWhile();
    f_.beginIf(negative == 1, "", at(198));
    t = a;
    fixSet(a, op(BinaryOp::Sub, zero(W), t.expr()), aw, 200);
    f_.endIf();
    f_.beginIf(cmp(BinaryOp::Ge, a.expr(), pi.expr()), "", at(202));
    fixUpdate(a, BinaryOp::Sub, twoPi.expr(), aw, 203);
    f_.endIf();
    fixSet(tmp, op(BinaryOp::Sub, zero(W), pi.expr()), aw, 205);
    f_.beginIf(cmp(BinaryOp::Lt, a.expr(), tmp.expr()), "", at(206));
    fixUpdate(a, BinaryOp::Add, twoPi.expr(), aw, 207);
    f_.endIf();

    NumRef m = f_.localNumVar("maxAngleTemp", W);
    if (fromPort_) {
        fixSet(m, f_.numRef(getParamRef(pellor::kRtpAngle).ref())[0].expr(), aw, 212);
        f_.beginIf(cmp(BinaryOp::Gt, m.expr(), pi.expr()), "", at(213));
        fixSet(m, pi.expr(), aw, 214);
        f_.endIf();
        fixSet(tmp, op(BinaryOp::Sub, zero(W), m.expr()), aw, 216);
        f_.beginIf(cmp(BinaryOp::Gt, a.expr(), m.expr()) || cmp(BinaryOp::Lt, a.expr(), tmp.expr()), "",
                   at(217));
        f_.beginIf(cmp(BinaryOp::Ge, a.expr(), zero(W)), "", at(218));
        a = m;
        f_.beginElse("", at(220));
        a = tmp;
        f_.endIf();
        f_.endIf();
    }

    // Reduction into [0, pi/2) with the quarter or half turn it takes out.
    NumRef negHalfPi = m;
    fixSet(tmp, op(BinaryOp::Sub, zero(W), pi.expr()), aw, 227);
    fixSet(negHalfPi, op(BinaryOp::Sub, zero(W), halfPi.expr()), aw, 228);
    NumRef theta = t;
    theta = a;
    swapRC_.rebind(idx("swapRC"));
    quadrant_.rebind(idx("quadrant"));
    swapRC_ = 0;
    quadrant_ = 0;
    f_.beginIf(cmp(BinaryOp::Ge, a.expr(), halfPi.expr()) && cmp(BinaryOp::Lt, a.expr(), pi.expr()), "",
               at(235));
    fixUpdate(theta, BinaryOp::Sub, halfPi.expr(), aw, 236);
    quadrant_ = 1;
    swapRC_ = 1;
    f_.beginElseIf(cmp(BinaryOp::Ge, a.expr(), tmp.expr()) && cmp(BinaryOp::Lt, a.expr(), negHalfPi.expr()),
                   "", at(239));
    fixUpdate(theta, BinaryOp::Add, pi.expr(), aw, 240);
    quadrant_ = 2;
    f_.beginElseIf(cmp(BinaryOp::Ge, a.expr(), negHalfPi.expr()) && cmp(BinaryOp::Lt, a.expr(), zero(W)), "",
                   at(242));
    fixUpdate(theta, BinaryOp::Add, halfPi.expr(), aw, 243);
    quadrant_ = 3;
    swapRC_ = 1;
    f_.endIf();
    exchangeRowsAndCols(249, 252);
    // pi/2 stays for the table index.
    tanHalf_.rebind(halfPi);
}

// sin, cos and tan(theta/2) from the table: one interval per quarter degree, i = 360 * theta / (pi/2).
void TarnCGRotate::fixTrigonometry() {
    const MathModes b = blockModes();
    const MathModes prodModes{roundingMode(), CG::OvfSaturate};
    const Type A = fx_.acc;
    NumRef halfPi = tanHalf_;
    sin_.rebind(f_.localNumVar("sinAngle", A));
    cos_.rebind(f_.localNumVar("cosAngle", A));
    NumRef tanHalf = f_.localNumVar("tanAngleBy2", A);
    NumRef i = f_.localNumVar("acc", A), frac = f_.localNumVar("acc1", A), term = f_.localNumVar("acc2", A);
    const int32_t tableLen = int32_t(getParamRef(pellor::kRtpSineTable).type().length());
    const int32_t last = std::max(tableLen - 2, 0);
    auto integer = [&](int32_t v) {
        return ConstNode::makeInt(Type::fixedT(true, bitsFor(std::abs(v)), 0), v);
    };
    auto op = [&](BinaryOp o, const Expr& x, const Expr& y) { return BinaryNode::make(o, x, y, A, b); };

    f_.append("One table interval per quarter degree.", at(276));
    // 360 * theta is a product of the angle's number: its product type, saturated.
    fixSet(i, BinaryNode::make(BinaryOp::Mul, theta_.expr(), integer(360), fx_.product, prodModes), b, 278);
    fixSet(i, op(BinaryOp::Div, i.expr(), halfPi.expr()), b, 279);
    auto interpolate = [&](IdxRef& k, const NumRef& result, int line) {
        k = f_.idxVal(
            CastNode::make(i.expr(), Type::intT(true, 32), MathModes{CG::RndFloor, CG::OvfSaturate}));
        f_.beginIf(k < 0, "", at(line));
        k = 0;
        f_.endIf();
        f_.beginIf(k > last, "", at(line + 1));
        k = last;
        f_.endIf();
        fixSet(frac, op(BinaryOp::Sub, i.expr(), smallIndex(k, last)), b, line + 2);
        fixSet(result, op(BinaryOp::Mul, frac.expr(), sineTable_(k + 1).expr()), b, line + 3);
        fixSet(term, integer(1), b, line + 4);
        fixUpdate(term, BinaryOp::Sub, frac.expr(), b, line + 5);
        fixUpdate(term, BinaryOp::Mul, sineTable_(k).expr(), b, line + 6);
        fixUpdate(result, BinaryOp::Add, term.expr(), b, line + 7);
    };
    IdxRef indxI = idx("indxI"), tmpIdxI = idx("tmpIdxI");
    interpolate(indxI, sin_, 282);
    fixSet(term, integer(360), b, 291);
    fixUpdate(term, BinaryOp::Sub, i.expr(), b, 292);
    i = term;
    interpolate(tmpIdxI, cos_, 294);
    term = cos_;
    fixUpdate(term, BinaryOp::Add, integer(1), b, 304);
    fixSet(tanHalf, op(BinaryOp::Div, sin_.expr(), term.expr()), b, 305);
    tanHalf_.rebind(tanHalf);
}

IdxVal TarnCGRotate::fixCeilOfSum(const NumRef& a, const IdxVal& na, const NumRef& b, const IdxVal& nb) {
    const MathModes m = blockModes();
    NumRef term = f_.localNumVar("acc2", fx_.acc), other = f_.localNumVar("acc3", fx_.acc);
    const int32_t maxSide = std::max({shape_.rows, shape_.cols, 1});
    term = a;
    fixUpdate(term, BinaryOp::Mul, smallIndex(na, maxSide), m, 314);
    other = b;
    fixUpdate(other, BinaryOp::Mul, smallIndex(nb, maxSide), m, 316);
    fixUpdate(term, BinaryOp::Add, other.expr(), m, 317);
    return f_.idxVal(
        CastNode::make(term.expr(), Type::intT(true, 32), MathModes{CG::RndCeil, CG::OvfSaturate}));
}

// Rotated size H x W and sheared width S of the pre-rotated image, held at the full size before the parity
// step. In variable-size mode the full size is first found as the engine's size update finds it (limited
// by the port's size), then the step's geometry is held at it.
void TarnCGRotate::fixGeometry() {
    rotRows_.rebind(idx("rotatedRows"));
    rotCols_.rebind(idx("rotatedCols"));
    shearCols_.rebind(idx("shearedCols"));
    IdxRef rawRows = idx("rawRows"), rawCols = idx("rawCols");
    rawCols = fixCeilOfSum(sin_, inRows_, cos_, inCols_);
    rawRows = fixCeilOfSum(sin_, inCols_, cos_, inRows_);
    {
        NumRef term = f_.localNumVar("acc2", fx_.acc);
        term = tanHalf_;
        const int32_t maxSide = std::max({shape_.rows, shape_.cols, 1});
        fixUpdate(term, BinaryOp::Mul, smallIndex(inRows_, maxSide), blockModes(), 335);
        fixUpdate(term, BinaryOp::Add, smallIndex(inCols_, maxSide), blockModes(), 336);
        shearCols_ = f_.idxVal(
            CastNode::make(term.expr(), Type::intT(true, 32), CG::MathModes{CG::RndCeil, CG::OvfSaturate}));
    }
    auto held = [&](IdxRef& x, const IdxVal& raw, const IdxVal& limit, const IdxVal& pre, int line) {
        x = raw;
        maxInto(x, 0);
        IdxRef lim = idx("sizeLimit");
        lim = limit;
        maxInto(lim, 0);
        minInto(x, lim);
        f_.beginIf((x - pre) % 2 != 0, "", at(line));
        ++x;
        f_.endIf();
    };
    if (variableSize_) {
        held(rotRows_, rawRows, shape_.outRowsMax, inRows_, 349);
        held(rotCols_, rawCols, shape_.outColsMax, inCols_, 350);
        outImageRows_ = rotRows_;
        minInto(outImageRows_, shape_.outRowsMax);
        outImageCols_ = rotCols_;
        minInto(outImageCols_, shape_.outColsMax);
    }
    held(rotRows_, rawRows, outImageRows_, inRows_, 356);
    held(rotCols_, rawCols, outImageCols_, inCols_, 357);
    maxInto(shearCols_, rotCols_);
    maxInto(shearCols_, inCols_);
    if (shape_.sameSize) {
        rowsOut_ = rowsIn_;
        colsOut_ = colsIn_;
    } else {
        rowsOut_ = outImageRows_;
        colsOut_ = outImageCols_;
    }
}

}  // namespace pellorcg
