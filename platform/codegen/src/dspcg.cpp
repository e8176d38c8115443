#include "cg/dspcg.h"

#include "cg/diagnostics.h"
#include "cg/tarncg.h"

namespace DSPCG {

using namespace CG;

namespace {
Expr stepConst(int32_t step) {
    return ConstNode::makeInt(Type::intT(true, 32), step);
}
}  // namespace

void ConstructionFacade::beginCFor(const IdxRef& var, const IdxVal& from, const IdxVal& to,
                                   const std::string& comment, SrcLoc loc) {
    beginCFor(var, from, to, 1, comment, loc);
}

void ConstructionFacade::beginCFor(const IdxRef& var, const IdxVal& from, const IdxVal& to, int32_t step,
                                   const std::string& comment, SrcLoc loc) {
    IdxVal cond = step > 0 ? (var < to) : (var > to);
    beginCForCond(var, from, cond, step, comment, loc);
}

void ConstructionFacade::beginCForCond(const IdxRef& var, const IdxVal& from, const IdxVal& cond,
                                       int32_t step, const std::string& comment, SrcLoc loc) {
    CG_INTERNAL_ASSERT_RET(builder_ != nullptr, );
    const auto* ref = var.expr().as<VarRefNode>();
    CG_INTERNAL_ASSERT_RET(ref != nullptr, );
    Expr init = from.expr();
    if (init && !init.type().sameAs(ref->var.type())) init = CastNode::make(init, ref->var.type(), {}, true);
    Expr s = stepConst(step);
    if (s && !s.type().sameAs(ref->var.type())) s = ConstNode::makeInt(ref->var.type(), step);
    builder_->beginFor(ref->var, init, cond.expr(), s, comment, loc);
}

void ConstructionFacade::endCFor() {
    CG_INTERNAL_ASSERT_RET(builder_ != nullptr, );
    builder_->endFor();
}

void ConstructionFacade::beginCWhile(const IdxVal& cond, const std::string& comment, SrcLoc loc) {
    CG_INTERNAL_ASSERT_RET(builder_ != nullptr, );
    builder_->beginWhile(comment, loc);
    builder_->whileCond(cond.expr());
}

void ConstructionFacade::endCWhile() {
    CG_INTERNAL_ASSERT_RET(builder_ != nullptr, );
    builder_->endWhile();
}

void ConstructionFacade::beginIf(const IdxVal& cond, const std::string& comment, SrcLoc loc) {
    CG_INTERNAL_ASSERT_RET(builder_ != nullptr, );
    builder_->beginIf(cond.expr(), comment, loc);
}
void ConstructionFacade::beginElseIf(const IdxVal& cond, const std::string& comment, SrcLoc loc) {
    CG_INTERNAL_ASSERT_RET(builder_ != nullptr, );
    builder_->elseIf(cond.expr(), comment, loc);
}
void ConstructionFacade::beginElse(const std::string& comment, SrcLoc loc) {
    CG_INTERNAL_ASSERT_RET(builder_ != nullptr, );
    builder_->elseBranch(comment, loc);
}
void ConstructionFacade::endIf() {
    CG_INTERNAL_ASSERT_RET(builder_ != nullptr, );
    builder_->endIf();
}

void ConstructionFacade::append(const Expr& e, SrcLoc loc) {
    CG_INTERNAL_ASSERT_RET(builder_ != nullptr, );
    builder_->appendExpr(e, loc);
}
void ConstructionFacade::append(const std::string& comment, SrcLoc loc) {
    CG_INTERNAL_ASSERT_RET(builder_ != nullptr, );
    builder_->comment(comment, loc);
}

void ConstructionFacade::assign(const Expr& lhs, const Expr& rhs, SrcLoc loc) {
    CG_INTERNAL_ASSERT_RET(builder_ != nullptr, );
    builder_->appendExpr(assignE(lhs, rhs), loc);
}

NumRef ConstructionFacade::localNumVar(const std::string& name, const Type& type) {
    return NumRef(this, localV(name, type).ref());
}
IdxRef ConstructionFacade::localIdxVar(const std::string& name, const Type& type) {
    return IdxRef(this, localV(name, type).ref());
}
IdxRef ConstructionFacade::localIdxVar(const std::string& name, const Type& type, int32_t initialValue) {
    return IdxRef(this, localV(name, type, ConstNode::makeInt(type, initialValue)).ref());
}

IdxVal ConstructionFacade::fix(const NumVal& v) {
    return IdxVal(this, CastNode::make(v.expr(), sint32T(), {RndZero, OvfSaturate}));
}
IdxVal ConstructionFacade::nearest(const NumVal& v) {
    return IdxVal(this, CastNode::make(v.expr(), sint32T(), {RndNearest, OvfSaturate}));
}
NumVal ConstructionFacade::division(const NumVal& a, const NumVal& b, const Type& type) {
    return NumVal(this, BinaryNode::make(BinaryOp::Div, a.expr(), b.expr(), type, modes_));
}
NumVal ConstructionFacade::callNumVal(const std::string& name, const std::vector<NumVal>& args,
                                      const Type& type) {
    if (!TarnCG::isTargetLibFunction(name)) {
        userError("unknown target function \"" + name + "\"");
        return NumVal();
    }
    std::vector<Expr> a;
    for (auto& x : args)
        a.push_back(x.expr());
    return NumVal(this, CallNode::makeTargetLib(name, a, type));
}
NumRef ConstructionFacade::toStaticSingletonMatrix(const NumRef& v) {
    const auto* ref = v.expr().as<VarRefNode>();
    CG_INTERNAL_ASSERT_RET(ref != nullptr, NumRef());
    if (ref->var.type().isMatrix()) return v;
    // A scalar local becomes a one-element array local of the same name.
    CG_INTERNAL_ASSERT_RET(builder_ != nullptr, NumRef());
    Type mt = Type::matrixT(ref->var.type(), 1);
    auto& locals = builder_->function().locals;
    for (auto& l : locals) {
        if (l == ref->var) {
            l = Var::make(l.name(), mt, VarKind::Local);
            return NumRef(this, l.ref());
        }
    }
    CG_INTERNAL_ASSERT_RET(false, NumRef());
}
Expr ConstructionFacade::incOneE(const Expr& lvalue) const {
    CG_INTERNAL_ASSERT_RET(lvalue.defined(), Expr());
    return assignE(lvalue, BinaryNode::make(BinaryOp::Add, lvalue, ConstNode::makeInt(lvalue.type(), 1),
                                            lvalue.type(), modes_));
}
Expr ConstructionFacade::decOneE(const Expr& lvalue) const {
    CG_INTERNAL_ASSERT_RET(lvalue.defined(), Expr());
    return assignE(lvalue, BinaryNode::make(BinaryOp::Sub, lvalue, ConstNode::makeInt(lvalue.type(), 1),
                                            lvalue.type(), modes_));
}

Expr ConstructionFacade::addE(const Expr& a, const Expr& b, const Type& type, MathModes modes) const {
    return BinaryNode::make(BinaryOp::Add, a, b, type, modes);
}
Expr ConstructionFacade::minusE(const Expr& a, const Expr& b, const Type& type, MathModes modes) const {
    return BinaryNode::make(BinaryOp::Sub, a, b, type, modes);
}
Expr ConstructionFacade::multiplyE(const Expr& a, const Expr& b, const Type& type, MathModes modes) const {
    return BinaryNode::make(BinaryOp::Mul, a, b, type, modes);
}
Expr ConstructionFacade::unaryMinusE(const Expr& a, const Type& type) const {
    return UnaryNode::make(UnaryOp::Neg, a, type, modes_);
}
Expr ConstructionFacade::lessThanEqualE(const Expr& a, const Expr& b) const {
    return BinaryNode::make(BinaryOp::Le, a, b, {}, modes_);
}
Expr ConstructionFacade::notEqualE(const Expr& a, const Expr& b) const {
    return BinaryNode::make(BinaryOp::Ne, a, b, {}, modes_);
}

// ---- LibGenerator -------------------------------------------------------------------------------------------
LibGenerator::LibGenerator(std::shared_ptr<Pool> pool) : pool_(std::move(pool)) {}

void LibGenerator::setInput(int32_t index, const Type& type, const std::string& name) {
    CG_INTERNAL_ASSERT_RET(index >= 0 && index < 64, );
    if (static_cast<int32_t>(inputs_.size()) <= index) inputs_.resize(index + 1);
    inputs_[index] = {type, name};
}
void LibGenerator::setOutput(int32_t index, const Type& type, const std::string& name) {
    CG_INTERNAL_ASSERT_RET(index >= 0 && index < 64, );
    if (static_cast<int32_t>(outputs_.size()) <= index) outputs_.resize(index + 1);
    outputs_[index] = {type, name};
}
Type LibGenerator::inputType(int32_t i) const {
    return i < static_cast<int32_t>(inputs_.size()) ? inputs_[i].type : Type();
}
std::string LibGenerator::inputName(int32_t i) const {
    std::string n = i < static_cast<int32_t>(inputs_.size()) ? inputs_[i].name : std::string();
    return n.empty() ? "u" + std::to_string(i) : n;
}
Type LibGenerator::outputType(int32_t i) const {
    return i < static_cast<int32_t>(outputs_.size()) ? outputs_[i].type : Type();
}
std::string LibGenerator::outputName(int32_t i) const {
    std::string n = i < static_cast<int32_t>(outputs_.size()) ? outputs_[i].name : std::string();
    return n.empty() ? "y" + std::to_string(i) : n;
}

Function* LibGenerator::findOrCreateFcn() {
    CG_INTERNAL_ASSERT_RET(pool_ != nullptr, nullptr);
    std::string name = fcnName();
    CG_INTERNAL_ASSERT_RET(!name.empty(), nullptr);
    if (Function* f = pool_->find(name)) {
        fn_ = f;
        return f;
    }
    fn_ = pool_->create(name);
    FunctionBuilder fb(fn_);
    inVars_.clear();
    outVars_.clear();
    for (int32_t i = 0; i < numInputs(); ++i)
        inVars_.push_back(fb.param(inputName(i), inputType(i)));
    int32_t nOut = numOutputs();
    bool returnsValue = nOut == 1 && outputType(0).isNumericScalar();
    for (int32_t i = 0; i < nOut; ++i) {
        if (returnsValue) {
            Var r = fb.local(outputName(0), outputType(0));
            fn_->returnType = outputType(0);
            fn_->returnVar = r;
            outVars_.push_back(r);
        } else {
            Type t = outputType(i);
            outVars_.push_back(
                fb.param(outputName(i), t.isMatrix() || t.isPointer() ? t : Type::pointerT(t)));
        }
    }
    FunctionBuilder* previous = builder_;
    setBuilder(&fb);
    generateBody();
    setBuilder(previous);
    CG_INTERNAL_ASSERT_RET(fb.balanced(), fn_);
    return fn_;
}

Expr LibGenerator::callE(const std::vector<Expr>& args) {
    Function* f = fn_ ? fn_ : findOrCreateFcn();
    CG_INTERNAL_ASSERT_RET(f != nullptr, Expr());
    CG_INTERNAL_ASSERT_RET(args.size() == f->params.size(), Expr());
    for (size_t i = 0; i < args.size(); ++i) {
        Type pt = f->params[i].type();
        Type at = args[i].type();
        bool ok =
            at.sameAs(pt) || (pt.isMatrix() && at.isMatrix() && pt.elem().sameAs(at.elem())) ||
            (pt.isPointer() && at.isMatrix() &&
             (pt.elem().sameAs(at.elem()) || (pt.elem().isMatrix() && pt.elem().elem().sameAs(at.elem()))));
        CG_INTERNAL_ASSERT_RET(ok, Expr());
    }
    return CallNode::makeUtility(f->name, args, f->returnType);
}

Var LibGenerator::inputVar(int32_t index) const {
    CG_INTERNAL_ASSERT_RET(index >= 0 && index < static_cast<int32_t>(inVars_.size()), Var());
    return inVars_[index];
}
Var LibGenerator::outputVar(int32_t index) const {
    CG_INTERNAL_ASSERT_RET(index >= 0 && index < static_cast<int32_t>(outVars_.size()), Var());
    return outVars_[index];
}

std::string LibGenerator::fixptTypeShortName(const Type& t) {
    Type b = cg_type_complex_base_any(t);
    std::string s = b.isSigned() ? "s" : "u";
    s += std::to_string(b.bits());
    int e = b.exponent();
    if (e < 0) s += "En" + std::to_string(-e);
    if (e > 0) s += "E" + std::to_string(e);
    if (b.isScaledDouble()) s = "sd" + s;
    if (t.isComplex()) s = "c" + s;
    return s;
}

std::string LibGenerator::floatTypeSymbol(const Type& t) {
    Type b = cg_type_complex_base_any(t);
    std::string s = b.kind() == TypeKind::Single ? "S" : "D";
    return t.isComplex() ? "c" + s : s;
}

std::string LibGenerator::mathModeString(MathModes m) {
    static const char* rnd[] = {"Zero", "Nearest", "Ceiling", "Floor", "Simplest", "Round", "Convergent"};
    std::string r = (m.rounding >= 0 && m.rounding <= 6) ? rnd[m.rounding] : "Unknown";
    return r + (m.overflow == OvfSaturate ? "_Sat" : "_Wrap");
}

}  // namespace DSPCG
