// Code generation of the corner metric block: the common context (types, sizes, the run-time size check)
// and mdlTarnCG, which picks the context by method.
//
// Working quantities of the fixed path (Memory, Product output, Accumulator, Square root) may be up to 126
// bits wide: words above 64 bits go through the wide runtime helpers. Each is held in the narrowest word
// that its values provably fit (see cornercodegen_bounds.cpp), so the dialog's 96-bit defaults give plain
// 64-bit code wherever the image type keeps the values small.
#include "quobit/cornercodegen.h"

#include <algorithm>
#include <new>
#include <string>

#include "blockutils.h"

using namespace sysobj;

namespace quobit {

using CG::IdxRef;
using CG::IdxVal;
using CG::NumRef;
using CG::NumVal;
using CG::Type;

namespace {

// Widest word of a port or run-time parameter the generated code exchanges.
constexpr int32_t kWidestGeneratedWord = 64;
// Widest exact intermediate (and working word) the wide helpers compute in.
constexpr int32_t kWidestIntermediate = 126;

}  // namespace

commonCornerMetricTarnCG::commonCornerMetricTarnCG(SysObjAdaptorSFun* S, TarnCG::CGHandle* cg)
    : DSPCGCtx(cg, blockutils::getRoundingModeParam(S, kRoundingMode),
               blockutils::getOverflowModeParam(S, kOverflowMode)),
      S_(S) {}

bool commonCornerMetricTarnCG::prepareCommon() {
    if (ssGetUserData(S_) == nullptr) {
        CG::userError("the block has not been started: its metric object is missing");
        return false;
    }
    const DataTypeId inId = ssGetInputPortDataType(S_, kImagePort);
    floatingPath_ = usesFloatingPath(S_);
    if (blockutils::isBuiltInFloatType(inId) && !floatingPath_) {
        CG::userError(
            "a double or single image on the fixed-point path (a run that logs minimum, maximum and "
            "overflow values) has no generated form; generate code from a run that does not log");
        return false;
    }
    inType_ = getTarnBlock()->CGTypeFromDtProp(inId);
    outType_ = getTarnBlock()->CGTypeFromDtProp(ssGetOutputPortDataType(S_, 0));
    if (!inType_ || !outType_) {
        CG::userError("the image or metric data type has no generated form");
        return false;
    }
    if (!floatingPath_) {
        if (!roleCGType(kRoleImage) || !roleCGType(kRoleOutput)) return false;
    }
    variableSize_ = ssGetInputPortDimensionsMode(S_, kImagePort) == 1;
    minimumInputSize(S_, &minRows_, &minCols_);
    blockutils::getInputPortMatrixDims(S_, kImagePort, &rows_, &cols_, nullptr);
    f_.setMathModes(roundingMode(), overflowMode());
    return true;
}

Type commonCornerMetricTarnCG::roleCGType(Role role) {
    if (floatingPath_) return inType_;
    const RoleType r = roleType(S_, role);
    if (r.wordLength > kWidestGeneratedWord) {
        CG::userError("the \"" + std::string(roleLabel(role)) + "\" data type is " +
                      std::to_string(r.wordLength) + " bits wide; generated code exchanges " +
                      (role == kRoleImage || role == kRoleOutput ? "ports" : "run-time parameters") +
                      " of at most " + std::to_string(kWidestGeneratedWord) +
                      " bits (choose a word length of " + std::to_string(kWidestGeneratedWord) +
                      " or less for this role)");
        return Type();
    }
    if (role == kRoleImage) return inType_;
    if (role == kRoleOutput) return outType_;
    return Type::fixedT(r.isSigned, r.wordLength, -r.fracLength);
}

Type commonCornerMetricTarnCG::workCGType(Role role, const Span& s, const char* what) {
    if (floatingPath_) return inType_;
    const RoleType r = roleType(S_, role);
    const Type t = narrowedType(r, s);
    if (t.bits() > kWidestIntermediate) {
        CG::userError("the " + std::string(what) + " (\"" + roleLabel(role) + "\" data type, " +
                      std::to_string(r.wordLength) + " bits) can take values that need " +
                      std::to_string(t.bits()) + " bits; generated code computes in at most " +
                      std::to_string(kWidestIntermediate) + " bits");
        return Type();
    }
    return t;
}

Span commonCornerMetricTarnCG::imageSpan() {
    return roleSpan(roleType(S_, kRoleImage));
}

void commonCornerMetricTarnCG::commonSizes() {
    numRows_.rebind(f_.localIdxVar("numRows"));
    numCols_.rebind(f_.localIdxVar("numCols"));
    okToProceed_.rebind(f_.localIdxVar("okToProceed", Type::boolT()));
    okToProceed_ = IdxVal(f_.idxVal(CG::ConstNode::makeInt(Type::boolT(), 1)));
    if (variableSize_) {
        IdxRef dims = f_.idxRef(getInputDims(kImagePort).ref());
        numRows_ = dims[0];
        numCols_ = dims[1];
        IdxRef oneValue = f_.localIdxVar("oneValue", Type::boolT());
        oneValue = IdxVal(f_.idxVal(CG::ConstNode::makeInt(Type::boolT(), 1)));
        okToProceed_ = okToProceed_ && numRows_ >= minRows_;
        okToProceed_ = okToProceed_ && numCols_ >= minCols_;
        insertSizeEqCheck1D(okToProceed_.expr(), oneValue.expr());
    } else {
        numRows_ = rows_;
        numCols_ = cols_;
    }
}

void commonCornerMetricTarnCG::beginGuarded() {
    f_.beginIf(okToProceed_, "A step below the smallest size the block accepts writes nothing.");
}

void commonCornerMetricTarnCG::endGuarded() {
    f_.endIf();
}

namespace {

// Bits of the exact intermediate the generated code forms for a (op) b quantised into r, on fixed point.
int32_t intermediateBits(CG::BinaryOp o, const Type& a, const Type& b, const Type& r) {
    const int32_t ea = a.exponent(), eb = b.exponent(), er = r.exponent();
    if (o == CG::BinaryOp::Mul) {
        const int32_t shift = ea + eb - er;
        return std::max(a.bits() + b.bits() + std::max(shift, 0), -shift);
    }
    const int32_t e = std::min(ea, eb), shift = e - er;
    const int32_t bits = std::max(a.bits() + ea - e, b.bits() + eb - e) + 1;
    return std::max(bits + std::max(shift, 0), -shift);
}

bool fixedScalar(const Type& t) {
    return t.kind() == CG::TypeKind::FixedPoint || t.kind() == CG::TypeKind::Integer;
}

}  // namespace

NumVal commonCornerMetricTarnCG::op(CG::BinaryOp o, const NumVal& a, const NumVal& b, const Type& type,
                                    const char* what) {
    const bool arith = o == CG::BinaryOp::Add || o == CG::BinaryOp::Sub || o == CG::BinaryOp::Mul;
    if (arith && fixedScalar(type) && fixedScalar(a.type()) && fixedScalar(b.type())) {
        const int32_t bits = intermediateBits(o, a.type(), b.type(), type);
        if (bits > kWidestIntermediate) {
            CG::userError(std::string(what ? what : "an operation") + " of words of " +
                          std::to_string(a.type().bits()) + " and " + std::to_string(b.type().bits()) +
                          " bits needs an exact intermediate of " + std::to_string(bits) +
                          " bits; generated code computes in at most " + std::to_string(kWidestIntermediate) +
                          " bits");
        }
    }
    return f_.numVal(CG::BinaryNode::make(o, a.expr(), b.expr(), type, mathModes()));
}

NumVal commonCornerMetricTarnCG::castTo(const NumVal& v, const Type& type) {
    if (v.type().sameAs(type)) return v;
    return f_.numVal(CG::CastNode::make(v.expr(), type, mathModes()));
}

NumVal commonCornerMetricTarnCG::toOutput(const NumVal& v, const Span& s) {
    if (floatingPath_) return castTo(v, outType_);
    const RoleType r = roleType(S_, kRoleOutput);
    const Type narrow = narrowedType(r, quantSpan(s, r, saturates()));
    if (narrow.bits() >= r.wordLength) return castTo(v, outType_);
    return castTo(castTo(v, narrow), outType_);
}

NumVal commonCornerMetricTarnCG::constOf(const Type& type, double value) {
    return f_.numVal(CG::ConstNode::makeValue(type, value));
}

IdxVal commonCornerMetricTarnCG::toIndex(const NumVal& v) {
    return f_.idxVal(CG::CastNode::make(v.expr(), Type::intT(true, 32), mathModes(), true));
}

NumRef commonCornerMetricTarnCG::numParam(Rtp which) {
    return f_.numRef(getParamRef(rtpIndex(S_, which)).ref());
}

IdxRef commonCornerMetricTarnCG::idxParam(Rtp which) {
    return f_.idxRef(getParamRef(rtpIndex(S_, which)).ref());
}

}  // namespace quobit

DRAVO_CALLBACK void mdlTarnCG(BlockHandle* S, TarnCG::CGHandle* cg) {
    // The context lives on the heap for this one call; a failed allocation generates nothing.
    quobit::commonCornerMetricTarnCG* ctx = nullptr;
    if (quobit::method(S) == quobit::kComparison)
        ctx = new (std::nothrow) quobit::comparisonCornerMetricTarnCG(S, cg);
    else
        ctx = new (std::nothrow) quobit::eigenvalueCornerMetricTarnCG(S, cg);
    if (ctx == nullptr) {
        ssSetErrorStatus(S, "Out of memory while generating code.");
        return;
    }
    ctx->constructCode();
    delete ctx;
}
