// Code generation of the scale-and-convert block: one element loop performing the conversion rule that
// mdlPreSim selected for the pair of port types, with the constants of the block's state record.
#include <cstdint>
#include <new>

#include "blockcallbacks.h"
#include "dspcgctx.h"
#include "ubrin/conversion_rule.h"
#include "ubrin/scale_convert_setup.h"
#include "ubrin/scale_convert_state.h"

using namespace sysobj;

namespace {

using CG::Expr;
using CG::Type;
using CG::Var;
using ubrin::ConversionRule;

const Type kInt32 = Type::intT(true, 32);
const Type kUint32 = Type::intT(false, 32);

class TarnCGScaleAndConvert : public DSPCGCtx {
  public:
    TarnCGScaleAndConvert(SysObjAdaptorSFun* S, TarnCG::CGHandle* cg) : DSPCGCtx(cg, 3, 0), S_(S) {}
    ~TarnCGScaleAndConvert() override {}
    void declareIRSupport() override { setIRSupported(); }
    void output() override;

  private:
    // Words: unsigned below 9 bits in uint8, else uint16; signed likewise in int8/int16; scaled double
    // in double; floating and boolean types are their own containers.
    Type containerOf(const Type& portType, bool scaledDouble, int32_t wordLength) const {
        if (scaledDouble) return Type::doubleT();
        if (portType.isFloat() || portType.kind() == CG::TypeKind::Boolean) return portType;
        return Type::intT(portType.isSigned(), wordLength < 9 ? 8 : 16);
    }
    Expr reread(const Expr& e, const Type& t) {
        return e.type().sameAs(t) ? e : reInterpretWithContainerChange(e, t);
    }
    Expr cInt(const Type& t, int64_t v) { return CG::ConstNode::makeInt(t, v); }
    Expr cVal(const Type& t, double v) { return CG::ConstNode::makeValue(t, v); }
    // Index-width integer arithmetic on values far from overflow: plain C.
    Expr iop(CG::BinaryOp op, const Expr& a, const Expr& b) {
        return CG::BinaryNode::make(op, a, b, {}, {CG::RndZero, CG::OvfIndex});
    }
    Expr targetCast(const Expr& e, const Type& t) { return CG::CastNode::make(e, t, mathModes(), true); }
    void assign(const Expr& dst, const Expr& src) {
        appendNode(
            CG::AssignStmt::make(dst, src.type().sameAs(dst.type()) ? src : targetCast(src, dst.type())));
    }
    void storeOutput(const Expr& value) { assign(y(), reread(value, outType_)); }
    Expr x() { return reread(getIndexedVar(getInputRef(0).ref(), i_.ref()), inContainer_); }
    Expr y() { return getIndexedVar(getOutputVar(0).ref(), i_.ref()); }

    void unsignedRescale(const Expr& u);  // numerator/quotient steps: quotient = roundHalfUp(u*outMax, inMax)
    void signExtend(const Var& youtTmp);

    SysObjAdaptorSFun* S_;
    const ScaleConvertState* st_ = nullptr;
    Type inType_, outType_, inContainer_, outContainer_;
    Var i_, inWidth_, numerator_, quotient_;
};

void TarnCGScaleAndConvert::unsignedRescale(const Expr& u) {
    numerator_ = createLocal("numerator", kUint32);
    quotient_ = createLocal("quotient", kUint32);
    assign(numerator_.ref(), CG::BinaryNode::make(CG::BinaryOp::Mul, targetCast(u, kUint32),
                                                  cInt(kUint32, st_->outMax), kUint32, mathModes()));
    assign(quotient_.ref(),
           CG::BinaryNode::make(CG::BinaryOp::Div, numerator_.ref(), cInt(kUint32, st_->inMax), kUint32,
                                {CG::RndFloor, CG::OvfWrap}));
    assign(numerator_.ref(),
           CG::BinaryNode::make(CG::BinaryOp::Mod, numerator_.ref(), cInt(kUint32, st_->inMax), kUint32,
                                {CG::RndFloor, CG::OvfWrap}));
    Expr twice =
        CG::BinaryNode::make(CG::BinaryOp::Shl, numerator_.ref(), cInt(kInt32, 1), kUint32, mathModes());
    If(CG::BinaryNode::make(CG::BinaryOp::Ge, twice, cInt(kUint32, st_->inMax), {}, mathModes()));
    assign(quotient_.ref(),
           CG::BinaryNode::make(CG::BinaryOp::Add, quotient_.ref(), cInt(kUint32, 1), kUint32, mathModes()));
    EndIf();
}

void TarnCGScaleAndConvert::signExtend(const Var& youtTmp) {
    const int32_t wl = st_->outWordLength;
    if (wl == 8 || wl == 16) return;
    const Type t = youtTmp.type();
    const int64_t h = int64_t(1) << (wl - 1);
    Expr test = CG::BinaryNode::make(CG::BinaryOp::BitAnd, youtTmp.ref(), cInt(t, h), t, mathModes());
    If(CG::BinaryNode::make(CG::BinaryOp::Ne, test, cInt(t, 0), {}, mathModes()));
    assign(youtTmp.ref(),
           CG::BinaryNode::make(CG::BinaryOp::BitOr, youtTmp.ref(), cInt(t, ~(h - 1)), t, mathModes()));
    Else();
    assign(youtTmp.ref(),
           CG::BinaryNode::make(CG::BinaryOp::BitAnd, youtTmp.ref(), cInt(t, h - 1), t, mathModes()));
    EndIf();
}

void TarnCGScaleAndConvert::output() {
    st_ = static_cast<const ScaleConvertState*>(ssGetUserData(S_));
    if (!st_) {
        CG::userError("the block has not been started: its state record is missing");
        return;
    }
    const DataTypeId inId = ssGetInputPortDataType(S_, 0);
    const DataTypeId outId = ssGetOutputPortDataType(S_, 0);
    inType_ = getTarnBlock()->CGTypeFromDtProp(inId);
    outType_ = getTarnBlock()->CGTypeFromDtProp(outId);
    if (!inType_ || !outType_) return;
    inContainer_ = containerOf(inType_, st_->inScaledDouble != 0, st_->inWordLength);
    outContainer_ = containerOf(outType_, st_->outScaledDouble != 0, st_->outWordLength);

    // "inWidth": the constant width, or the product of the current sizes of a variable-size input.
    inWidth_ = createLocal("inWidth", kInt32);
    if (ssGetInputPortDimensionsMode(S_, 0) == 1) {
        assign(inWidth_.ref(), cInt(kInt32, 1));
        const int32_t nd = ssGetInputPortNumDimensions(S_, 0);
        for (int32_t d = 0; d < nd; ++d)
            assign(inWidth_.ref(),
                   iop(CG::BinaryOp::Mul, getIndexedVar(getInputDims(0).ref(), d), inWidth_.ref()));
    } else {
        assign(inWidth_.ref(), cInt(kInt32, ssGetInputPortWidth(S_, 0)));
    }

    const auto rule =
        ubrin::selectConversionRule(ubrin::describePortType(S_, inId), ubrin::describePortType(S_, outId));
    if (rule == ConversionRule::Copy) {
        appendNode(std::make_shared<CG::MatrixCopyStmt>(getOutputVar(0).ref(), getInputRef(0).ref(),
                                                        inWidth_.ref(), CG::SrcLoc{}));
        return;
    }
    i_ = createLocal("i", kInt32);
    beginFor(i_, 0, inWidth_.ref());
    switch (rule) {
        case ConversionRule::FloatToFloat: {
            If(CG::BinaryNode::make(CG::BinaryOp::Gt, x(), cVal(inType_, 1.0), {}, mathModes()));
            assign(y(), cVal(outType_, 1.0));
            ElseIf(CG::BinaryNode::make(CG::BinaryOp::Lt, x(), cVal(inType_, 0.0), {}, mathModes()));
            assign(y(), cVal(outType_, 0.0));
            Else();
            castAssign(y(), x());
            EndIf();
            break;
        }
        case ConversionRule::FloatToUnsigned:
        case ConversionRule::FloatToSigned: {
            const bool toSigned = rule == ConversionRule::FloatToSigned;
            Var val = createLocal(toSigned ? "valFlt" : "val", inType_);
            Expr outMax = cVal(inType_, st_->outMax);
            assign(val.ref(), x());
            assign(val.ref(), plus(multiply(val.ref(), outMax, inType_), cVal(inType_, 0.5), inType_));
            If(CG::BinaryNode::make(CG::BinaryOp::Gt, val.ref(), outMax, {}, mathModes()));
            assign(val.ref(), outMax);
            EndIf();
            // Written as "not >= 0" so that a NaN lands on 0 too: casting a NaN to an integer is undefined.
            If(CG::UnaryNode::make(
                CG::UnaryOp::Not,
                CG::BinaryNode::make(CG::BinaryOp::Ge, val.ref(), cVal(inType_, 0.0), {}, mathModes()), {},
                mathModes()));
            assign(val.ref(), cVal(inType_, 0.0));
            EndIf();
            if (!toSigned) {
                storeOutput(targetCast(val.ref(), outContainer_));
                break;
            }
            Var valInt32 = createLocal("valInt32", kInt32);
            Var youtTmp = createLocal("youtTmp", outContainer_);
            assign(valInt32.ref(),
                   iop(CG::BinaryOp::Sub, targetCast(val.ref(), kInt32), cInt(kInt32, st_->outOffset)));
            assign(youtTmp.ref(), valInt32.ref());
            signExtend(youtTmp);
            storeOutput(youtTmp.ref());
            break;
        }
        case ConversionRule::UnsignedToFloat:
            assign(y(), divide(castNode(x(), outType_), cVal(outType_, st_->inMax), outType_));
            break;
        case ConversionRule::SignedToFloat:
            assign(y(), divide(plus(castNode(x(), outType_), cVal(outType_, st_->inOffset), outType_),
                               cVal(outType_, st_->inMax), outType_));
            break;
        case ConversionRule::UnsignedToUnsigned:
            unsignedRescale(x());
            storeOutput(targetCast(quotient_.ref(), outContainer_));
            break;
        case ConversionRule::SignedToSigned:
        case ConversionRule::SignedToUnsignedByRescaling: {
            Var valSint32 = createLocal("valSint32", kInt32);
            Var valUint32 = createLocal("valUint32", kUint32);
            assign(valSint32.ref(),
                   iop(CG::BinaryOp::Add, targetCast(x(), kInt32), cInt(kInt32, st_->inOffset)));
            assign(valUint32.ref(), valSint32.ref());
            unsignedRescale(valUint32.ref());
            if (rule == ConversionRule::SignedToUnsignedByRescaling) {
                storeOutput(targetCast(quotient_.ref(), outContainer_));
                break;
            }
            Var youtTmp = createLocal("youtTmp", outContainer_);
            assign(valUint32.ref(), quotient_.ref());
            assign(valSint32.ref(),
                   iop(CG::BinaryOp::Sub, targetCast(valUint32.ref(), kInt32), cInt(kInt32, st_->outOffset)));
            assign(youtTmp.ref(), valSint32.ref());
            signExtend(youtTmp);
            storeOutput(youtTmp.ref());
            break;
        }
        case ConversionRule::SignedToUnsignedByOffset: {
            Var val = createLocal("val", kInt32);
            assign(val.ref(), iop(CG::BinaryOp::Add, targetCast(x(), kInt32), cInt(kInt32, st_->inOffset)));
            storeOutput(targetCast(val.ref(), outContainer_));
            break;
        }
        case ConversionRule::UnsignedToSignedByOffset:
        case ConversionRule::UnsignedToSignedByRescaling: {
            Var val = createLocal("val", kInt32);
            Var youtTmp = createLocal("youtTmp", outContainer_);
            if (rule == ConversionRule::UnsignedToSignedByOffset) {
                assign(val.ref(),
                       iop(CG::BinaryOp::Sub, targetCast(x(), kInt32), cInt(kInt32, st_->outOffset)));
            } else {
                unsignedRescale(x());
                Var tmpUyout = createLocal("tmpUyout", outContainer_);
                assign(tmpUyout.ref(), quotient_.ref());
                assign(val.ref(), iop(CG::BinaryOp::Sub, targetCast(tmpUyout.ref(), kInt32),
                                      cInt(kInt32, st_->outOffset)));
            }
            assign(youtTmp.ref(), val.ref());
            signExtend(youtTmp);
            storeOutput(youtTmp.ref());
            break;
        }
        case ConversionRule::FromBoolean:
            storeOutput(
                CG::SelectNode::make(x(), cVal(outContainer_, st_->trueValue), cVal(outContainer_, 0.0)));
            break;
        case ConversionRule::ToBoolean:
            assign(y(), CG::SelectNode::make(CG::BinaryNode::make(CG::BinaryOp::Eq, x(),
                                                                  cVal(inContainer_, 0.0), {}, mathModes()),
                                             cInt(Type::boolT(), 0), cInt(Type::boolT(), 1)));
            break;
        case ConversionRule::Copy:
            break;
    }
    endFor();
}

}  // namespace

DRAVO_CALLBACK void mdlTarnCG(BlockHandle* S, TarnCG::CGHandle* cg) {
    // The context lives on the heap for this one call; a failed allocation generates nothing.
    TarnCGScaleAndConvert* ctx = new (std::nothrow) TarnCGScaleAndConvert(S, cg);
    if (!ctx) {
        ssSetErrorStatus(S, "Out of memory while generating code.");
        return;
    }
    ctx->constructCode();
    delete ctx;
}
