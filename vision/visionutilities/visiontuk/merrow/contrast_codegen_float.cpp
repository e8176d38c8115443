// Generated step of the contrast adjustment block for double and single images: the floating kernel's
// operations in its order and types (each operation rounded into the image's type, the bin rounding of
// single images in double), so that the generated numbers are the simulation's.
#include "merrow/contrast_codegen.h"
#include "merrow/contrast_params.h"
#include "merrow/contrast_setup.h"

namespace merrow {

using CG::BinaryOp;
using CG::Expr;
using CG::Type;
using CG::Var;

void CGContrastAdjust::floatingBody() {
    const Type T = inType_;
    const Type int32T = Type::intT(true, 32);
    Var lowOut = createLocal("lowOut", T), highOut = createLocal("highOut", T);
    Var lowIn = createLocal("lowIn", T), highIn = createLocal("highIn", T);
    Var numValid = createLocal("numValid", int32T);
    // 1 when the image maps to lowOut entirely.
    Var flat = createLocal("flat", int32T);
    set(lowOut.ref(), rtp(kRtpOutputRange, 0));
    set(highOut.ref(), rtp(kRtpOutputRange, 1));
    set(numValid.ref(), pixNum_.ref());
    set(flat.ref(), ci(0));
    if (inputMode_ == kInputFromDialog) {
        set(lowIn.ref(), rtp(kRtpInputRangeOrFractions, 0));
        set(highIn.ref(), rtp(kRtpInputRangeOrFractions, 1));
    } else {
        // A leading NaN must not become the extreme: every comparison after it would fail.
        note("the extremes of the pixels that are not NaN");
        set(i_.ref(), ci(0));
        beginWhile();
        whileExpr(cmp(BinaryOp::And, cmp(BinaryOp::Lt, i_.ref(), pixNum_.ref()),
                      cmp(BinaryOp::Ne, in(i_.ref()), in(i_.ref()))));
        set(i_.ref(), iop(BinaryOp::Add, i_.ref(), ci(1)));
        endWhile();
        ifB(cmp(BinaryOp::Eq, i_.ref(), pixNum_.ref()));
        set(flat.ref(), ci(1));
        elseB();
        Var v = createLocal("v", T);
        Var numNaN = createLocal("numNaN", int32T);
        set(lowIn.ref(), in(i_.ref()));
        set(highIn.ref(), in(i_.ref()));
        set(numNaN.ref(), i_.ref());
        forB(j_, i_.ref(), pixNum_.ref());
        set(v.ref(), in(j_.ref()));
        ifB(cmp(BinaryOp::Lt, v.ref(), lowIn.ref()));
        set(lowIn.ref(), v.ref());
        EndIf();
        ifB(cmp(BinaryOp::Gt, v.ref(), highIn.ref()));
        set(highIn.ref(), v.ref());
        EndIf();
        ifB(cmp(BinaryOp::Ne, v.ref(), v.ref()));
        set(numNaN.ref(), iop(BinaryOp::Add, numNaN.ref(), ci(1)));
        EndIf();
        endFor();
        set(numValid.ref(), iop(BinaryOp::Sub, pixNum_.ref(), numNaN.ref()));
        ifB(CG::CallNode::makeIntrinsic(CG::kIntrinsicIsInfAny, {lowIn.ref(), highIn.ref()}, Type::boolT(),
                                        mathModes()));
        note("lowIn = 0; highIn = 0;");
        set(flat.ref(), ci(1));
        EndIf();
        EndIf();
    }
    ifB(cmp(BinaryOp::Eq, flat.ref(), ci(0)));
    ifB(CG::UnaryNode::make(CG::UnaryOp::Not, cmp(BinaryOp::Gt, highIn.ref(), lowIn.ref()), {}, mathModes()));
    set(flat.ref(), ci(1));
    EndIf();
    EndIf();

    ifB(cmp(BinaryOp::Ne, flat.ref(), ci(0)));
    note("lowIn == highIn i.e. input has only one value");
    fill(lowOut.ref());
    elseB();
    note("highIn > lowIn");
    // A span beyond the type's largest value is worked at half scale, which is exact.
    Var span = createLocal("span", T), scale = createLocal("scale", T);
    Var highScaled = createLocal("highScaled", T);
    set(span.ref(), op(BinaryOp::Sub, highIn.ref(), lowIn.ref(), T));
    ifB(cmp(BinaryOp::Eq, op(BinaryOp::Sub, span.ref(), span.ref(), T), cv(T, 0.0)));
    set(scale.ref(), cv(T, 1.0));
    elseB();
    set(scale.ref(), cv(T, 0.5));
    EndIf();
    set(highScaled.ref(), op(BinaryOp::Mul, highIn.ref(), scale.ref(), T));
    if (inputMode_ == kInputFromHistogram) floatingHistogram(lowIn, highIn, scale, highScaled, numValid);

    Var slope = createLocal("slopeMap", T), lowScaled = createLocal("lowScaled", T);
    Var v = createLocal("v", T);
    note("slope=(highOut-lowOut)/(highIn-lowIn)");
    ifB(cmp(BinaryOp::Gt, highIn.ref(), lowIn.ref()));
    set(slope.ref(), op(BinaryOp::Div, op(BinaryOp::Sub, highOut.ref(), lowOut.ref(), T),
                        op(BinaryOp::Sub, op(BinaryOp::Mul, highIn.ref(), scale.ref(), T),
                           op(BinaryOp::Mul, lowIn.ref(), scale.ref(), T), T),
                        T));
    elseB();
    set(slope.ref(), cv(T, 0.0));
    EndIf();
    set(lowScaled.ref(), op(BinaryOp::Mul, lowIn.ref(), scale.ref(), T));
    note("adjust the pixel values from the input range to the output range");
    // The simulation maps whole 16-byte vectors first, with the ends of the output range broadcast as
    // 0 + value (a -0 end becomes +0 there), and the remaining pixels one by one.
    const int32_t lanes = T.kind() == CG::TypeKind::Single ? 4 : 2;
    Var vectorEnd = createLocal("vectorEnd", int32T);
    Var lowOutV = createLocal("lowOutV", T), highOutV = createLocal("highOutV", T);
    set(vectorEnd.ref(), iop(BinaryOp::Sub, pixNum_.ref(), iop(BinaryOp::Mod, pixNum_.ref(), ci(lanes))));
    set(lowOutV.ref(), op(BinaryOp::Add, cv(T, 0.0), lowOut.ref(), T));
    set(highOutV.ref(), op(BinaryOp::Add, cv(T, 0.0), highOut.ref(), T));
    for (bool vectorPart : {true, false}) {
        if (vectorPart)
            forB(i_, 0, vectorEnd.ref());
        else
            forB(i_, vectorEnd.ref(), pixNum_.ref());
        set(v.ref(), in(i_.ref()));
        ifB(cmp(BinaryOp::Ge, v.ref(), highIn.ref()));
        set(out(i_.ref()), (vectorPart ? highOutV : highOut).ref());
        elseIfB(cmp(BinaryOp::Gt, v.ref(), lowIn.ref()));
        const Expr shifted =
            op(BinaryOp::Sub, op(BinaryOp::Mul, v.ref(), scale.ref(), T), lowScaled.ref(), T);
        set(out(i_.ref()), op(BinaryOp::Add, op(BinaryOp::Mul, shifted, slope.ref(), T), lowOut.ref(), T));
        elseB();
        note("If NaN exists in input data it will be mapped to lowOut");
        set(out(i_.ref()), (vectorPart ? lowOutV : lowOut).ref());
        EndIf();
        endFor();
    }
    EndIf();
}

// Narrows [lowIn, highIn] from the inverted histogram: bin 0 holds the brightest pixels.
void CGContrastAdjust::floatingHistogram(const Var& lowIn, const Var& highIn, const Var& scale,
                                         const Var& highScaled, const Var& numValid) {
    const Type T = inType_;
    const Type D = Type::doubleT();
    const Type int32T = Type::intT(true, 32);
    const Type int64T = Type::intT(true, 64);
    Var lowFrac = createLocal("lowFrac", T), highFrac = createLocal("highFrac", T);
    set(lowFrac.ref(), rtp(kRtpInputRangeOrFractions, 0));
    set(highFrac.ref(), rtp(kRtpInputRangeOrFractions, 1));
    note("Input range is determined from saturation fractions by inspecting the histogram");
    ifB(cmp(BinaryOp::Or, cmp(BinaryOp::Gt, lowFrac.ref(), cv(T, 0.0)),
            cmp(BinaryOp::Gt, highFrac.ref(), cv(T, 0.0))));
    Var binNum = createLocal("binNum", int32T);
    Var slopeHist = createLocal("slopeHist", T), product = createLocal("prod2Tmp1", T);
    Var x = createLocal("binPos", D), top = createLocal("binTop", D);
    Var newLow = createLocal("newLow", T), newHigh = createLocal("newHigh", T);
    Var pixSaturate = createLocal("pixSaturate", int64T), sum = createLocal("pixNumTmp1", int64T);
    set(binNum.ref(), ci(numBins_));
    forB(i_, 0, iop(BinaryOp::Add, binNum.ref(), ci(1)));
    set(hist(i_.ref()), ci(0));
    endFor();
    note("slope = binNum / (max(inImg) - min(inImg))");
    set(slopeHist.ref(),
        op(BinaryOp::Div, cast(binNum.ref(), T),
           op(BinaryOp::Sub, highScaled.ref(), op(BinaryOp::Mul, lowIn.ref(), scale.ref(), T), T), T));
    set(top.ref(), cast(binNum.ref(), D));
    note("the histogram is inverted in that darker colors are put in the higher bins");
    forB(i_, 0, pixNum_.ref());
    note("j = binNum*(max(inImg)-inImg[i])/(max(inImg)-min(inImg)))");
    set(product.ref(),
        op(BinaryOp::Mul,
           op(BinaryOp::Sub, highScaled.ref(), op(BinaryOp::Mul, in(i_.ref()), scale.ref(), T), T),
           slopeHist.ref(), T));
    set(x.ref(), op(BinaryOp::Add, cast(product.ref(), D), cv(D, 0.5), D));
    // NaN pixels have no bin; the rounded slope can reach one past the last bin.
    ifB(cmp(BinaryOp::Ge, x.ref(), cv(D, 0.0)));
    ifB(cmp(BinaryOp::Lt, x.ref(), top.ref()));
    set(j_.ref(), cast(x.ref(), int32T));
    elseB();
    set(j_.ref(), binNum.ref());
    EndIf();
    set(hist(j_.ref()), iop(BinaryOp::Add, hist(j_.ref()), cast(ci(1), Type::intT(false, 32))));
    EndIf();
    endFor();
    note("array hist has (binNum+1) elements; the last two bins are represented by only one");
    const Expr last = iop(BinaryOp::Sub, binNum.ref(), ci(1));
    set(hist(last), iop(BinaryOp::Add, hist(last), hist(binNum.ref())));
    // Both limits are measured from the extremes' highIn.
    set(newLow.ref(), lowIn.ref());
    set(newHigh.ref(), highIn.ref());
    for (bool lower : {true, false}) {
        const Var& frac = lower ? lowFrac : highFrac;
        ifB(cmp(BinaryOp::Gt, frac.ref(), cv(T, 0.0)));
        note(lower ? "update the lower limit" : "update the upper limit");
        set(pixSaturate.ref(), cast(op(BinaryOp::Mul, cast(numValid.ref(), T), frac.ref(), T), int64T));
        set(sum.ref(), cast(ci(0), int64T));
        set(j_.ref(), lower ? ci(-1) : binNum.ref());
        if (lower)
            forB(i_, iop(BinaryOp::Sub, binNum.ref(), ci(1)), ci(-1), -1);
        else
            forB(i_, 0, binNum.ref());
        set(sum.ref(), iop(BinaryOp::Add, sum.ref(), cast(hist(i_.ref()), int64T)));
        ifB(cmp(BinaryOp::Gt, sum.ref(), pixSaturate.ref()));
        set(j_.ref(), i_.ref());
        set(i_.ref(), lower ? ci(-1) : binNum.ref());
        EndIf();
        endFor();
        const Expr count = lower ? iop(BinaryOp::Add, j_.ref(), ci(1)) : j_.ref();
        const Expr limit =
            op(BinaryOp::Sub, highScaled.ref(), op(BinaryOp::Div, cast(count, T), slopeHist.ref(), T), T);
        set((lower ? newLow : newHigh).ref(), op(BinaryOp::Div, limit, scale.ref(), T));
        EndIf();
    }
    set(lowIn.ref(), newLow.ref());
    set(highIn.ref(), newHigh.ref());
    EndIf();
}

}  // namespace merrow
