// Code generation of the contrast adjustment block: the context, its expression helpers and the prologue
// shared by both bodies (pixel count, types, the choice of body).
#include "merrow/contrast_codegen.h"

#include <string>

#include "blockcallbacks.h"
#include "blockutils.h"
#include "merrow/contrast_params.h"
#include "merrow/contrast_setup.h"

using namespace sysobj;

namespace merrow {

using CG::BinaryNode;
using CG::BinaryOp;
using CG::CastNode;
using CG::ConstNode;
using CG::Expr;
using CG::Type;

namespace {

// The widest word the generated code holds in one variable.
constexpr int32_t kMaxGeneratedWord = 64;

std::string wordTooWide(const char* what, int32_t bits) {
    return std::string("the ") + what + " type has " + std::to_string(bits) +
           " bits; generated code holds words of at most 64 bits";
}

}  // namespace

CGContrastAdjust::CGContrastAdjust(SysObjAdaptorSFun* S, TarnCG::CGHandle* cg, int32_t rounding,
                                   int32_t overflow)
    : DSPCG::CoreCtx(cg, rounding, overflow, nullptr, nullptr), S_(S) {
    setMathModes(rounding, overflow);
}

static CG::SrcLoc tagged(int line) {
    return CG::SrcLoc{"sondcontrastadjust", line};
}

void CGContrastAdjust::set(const Expr& dst, const Expr& src, int line) {
    if (!dst || !src) return;
    appendNode(CG::AssignStmt::make(
        dst, src.type().sameAs(dst.type()) ? src : CastNode::make(src, dst.type(), mathModes()),
        tagged(line)));
}

void CGContrastAdjust::ifB(const Expr& cond, int line) {
    currentBuilder()->beginIf(cond, {}, tagged(line));
}

void CGContrastAdjust::elseIfB(const Expr& cond, int line) {
    currentBuilder()->elseIf(cond, {}, tagged(line));
}

void CGContrastAdjust::elseB(int line) {
    currentBuilder()->elseBranch({}, tagged(line));
}

void CGContrastAdjust::forB(const CG::Var& var, const Expr& start, const Expr& end, int32_t step, int line) {
    const Type t = var.type();
    const Expr s = start.type().sameAs(t) ? start : CastNode::make(start, t, {}, true);
    const Expr cond = BinaryNode::make(step > 0 ? BinaryOp::Lt : BinaryOp::Gt, var.ref(), end, {}, {});
    currentBuilder()->beginFor(var, s, cond, ConstNode::makeInt(t, step), {}, tagged(line));
}

void CGContrastAdjust::note(const std::string& text, int line) {
    currentBuilder()->comment(text, tagged(line));
}

Expr CGContrastAdjust::op(BinaryOp o, const Expr& a, const Expr& b, const Type& type) {
    return BinaryNode::make(o, a, b, type, mathModes());
}

Expr CGContrastAdjust::cmp(BinaryOp o, const Expr& a, const Expr& b) {
    return BinaryNode::make(o, a, b, {}, mathModes());
}

Expr CGContrastAdjust::iop(BinaryOp o, const Expr& a, const Expr& b) {
    return BinaryNode::make(o, a, b, {}, {CG::RndZero, CG::OvfIndex});
}

Expr CGContrastAdjust::cast(const Expr& e, const Type& type) {
    return e.type().sameAs(type) ? e : CastNode::make(e, type, mathModes(), true);
}

Expr CGContrastAdjust::ci(int32_t v) {
    return ConstNode::makeInt(Type::intT(true, 32), v);
}

Expr CGContrastAdjust::cv(const Type& t, double v) {
    return ConstNode::makeValue(t, v);
}

Expr CGContrastAdjust::in(const Expr& i) {
    return getIndexedVar(getInputRef(0).ref(), i);
}

Expr CGContrastAdjust::out(const Expr& i) {
    return getIndexedVar(getOutputVar(0).ref(), i);
}

Expr CGContrastAdjust::rtp(int32_t index, int32_t element) {
    return getIndexedVar(getParamRef(index).ref(), element);
}

Expr CGContrastAdjust::hist(const Expr& i) {
    return getIndexedVar(getDWorkRef(0).ref(), i);
}

void CGContrastAdjust::fill(const Expr& value) {
    forB(i_, 0, pixNum_.ref());
    set(out(i_.ref()), value);
    endFor();
}

void CGContrastAdjust::generateOutputFcn() {
    st_ = static_cast<const ContrastState*>(ssGetUserData(S_));
    if (st_ == nullptr) {
        CG::userError("the block has not been started: its state record is missing");
        return;
    }
    inType_ = getInputRef(0).type().elem();
    if (!inType_) return;
    if (inType_.isScaledDouble() || (inType_.isFloat() && !st_->useFloatingKernel)) {
        CG::userError(
            "code generation of the contrast adjustment block supports double and single images on the "
            "floating kernel and integer and fixed-point images; this configuration (a scaled double image, "
            "or a double or single image in a run that logs minimum, maximum and overflow values) is not "
            "generated");
        return;
    }
    inputMode_ = st_->inputRangeMode;
    numBins_ = st_->numBins;
    variableSize_ = ssGetInputPortDimensionsMode(S_, 0) == 1;
    const Type int32T = Type::intT(true, 32);

    // "pixNum": the constant width, or the product of the current sizes of a variable-size input.
    pixNum_ = createLocal("pixNum", int32T);
    if (variableSize_) {
        set(pixNum_.ref(), ci(1));
        const int32_t nd = ssGetInputPortNumDimensions(S_, 0);
        for (int32_t d = 0; d < nd; ++d)
            set(pixNum_.ref(), iop(BinaryOp::Mul, getIndexedVar(getInputDims(0).ref(), d), pixNum_.ref()));
    } else {
        set(pixNum_.ref(), ci(ssGetInputPortWidth(S_, 0)));
    }
    i_ = createLocal("i", int32T);
    j_ = createLocal("j", int32T);

    if (st_->useFloatingKernel) {
        ifB(cmp(BinaryOp::Gt, pixNum_.ref(), ci(0)));
        floatingBody();
        EndIf();
        return;
    }

    // Intermediate types of the number-object kernel.
    const int32_t inBits = inType_.bits();
    const int32_t inExp = inType_.kind() == CG::TypeKind::FixedPoint ? inType_.exponent() : 0;
    if (inBits + 1 > kMaxGeneratedWord) {
        CG::userError(wordTooWide("extended input", inBits + 1));
        return;
    }
    extType_ = Type::fixedT(true, inBits + 1, inExp);
    const int32_t p1 = readLength(S_, kParamProduct1WordLength),
                  p2 = readLength(S_, kParamProduct2WordLength);
    if (p1 > kMaxGeneratedWord) {
        CG::userError(wordTooWide("Product 1", p1));
        return;
    }
    p1Type_ = Type::fixedT(true, p1, -readLength(S_, kParamProduct1FracLength));
    s32Type_ = Type::fixedT(true, 32, 0);
    if (inputMode_ == kInputFromHistogram) {
        if (p2 > kMaxGeneratedWord) {
            CG::userError(wordTooWide("Product 2", p2));
            return;
        }
        p2Type_ = Type::fixedT(true, p2, -readLength(S_, kParamProduct2FracLength));
        fracType_ = getParamRef(kRtpInputRangeOrFractions).type().elem();
    }
    valNum_ = st_->valNum;
    lowest_ = inType_.isSigned() ? -(valNum_ / 2) : 0;
    ifB(cmp(BinaryOp::Gt, pixNum_.ref(), ci(0)));
    fixedBody();
    EndIf();
}

}  // namespace merrow

DRAVO_CALLBACK void mdlTarnCG(BlockHandle* S, TarnCG::CGHandle* cg) {
    const int32_t rounding = blockutils::getRoundingModeParam(S, merrow::kParamRoundingMode);
    const int32_t overflow = blockutils::getOverflowModeParam(S, merrow::kParamOverflowMode);
    merrow::CGContrastAdjust ctx(S, cg, rounding, overflow);
    ctx.constructCode();
}
