#include "cg/tarncg.h"

#include <set>

#include "cg/diagnostics.h"

namespace TarnCG {

using namespace CG;

namespace {
const Type& int32T() {
    static const Type t = Type::intT(true, 32);
    return t;
}
}  // namespace

// ---- TarnBlock ---------------------------------------------------------------------------------------------
Expr TarnBlock::CreateConst(int32_t v) const {
    return ConstNode::makeInt(int32T(), v);
}
Expr TarnBlock::CreateConst(float v) const {
    return ConstNode::makeValue(Type::singleT(), v);
}
Expr TarnBlock::CreateConst(double v) const {
    return ConstNode::makeValue(Type::doubleT(), v);
}
Type TarnBlock::CGTypeFromDtProp(int32_t dataTypeId) const {
    return cg_->typeFromId(dataTypeId);
}
Type TarnBlock::CGTypeFromDtProp(const fxpDataTypeProp& p) const {
    CG_INTERNAL_ASSERT_RET(p.dataTypeClass == 0 && p.slopeAdjustmentFactor == 1.0 && p.bias == 0.0, Type());
    return Type::fixedT(p.isSigned != 0, p.wordLength, p.fixedExponent);
}

// ---- CGHandle ------------------------------------------------------------------------------------------------
CGHandle::CGHandle(BlockDesc desc, std::shared_ptr<Pool> pool, DataTypeResolver resolver)
    : resolver_(std::move(resolver)), block_(this) {
    unit_.desc = std::move(desc);
    unit_.pool = pool ? std::move(pool) : std::make_shared<Pool>();
    std::string id = cIdentifier(unit_.desc.name);
    unit_.start.name = id + "_start";
    unit_.step.name = id + "_step";
    unit_.terminate.name = id + "_terminate";
}

Type CGHandle::typeFromId(int32_t id) const {
    Type t = builtinTypeFromId(id);
    if (!t.defined() && resolver_) t = resolver_(id);
    if (!t.defined()) {
        DiagnosticsScope scope(const_cast<Diagnostics&>(diag_));
        userError("data type id " + std::to_string(id) + " is not known to the code generator");
    }
    return t;
}

void TargetLibFcnCall::setInput(int32_t oneBasedIndex, const Expr& e) {
    CG_INTERNAL_ASSERT_RET(oneBasedIndex >= 1 && oneBasedIndex <= static_cast<int32_t>(inputs_.size()), );
    inputs_[oneBasedIndex - 1] = e;
}

Expr TargetLibFcnCall::expr() const {
    for (auto& i : inputs_)
        CG_INTERNAL_ASSERT_RET(i.defined(), Expr());
    // Arguments take the function's type (a single sqrt takes a single argument).
    std::vector<Expr> args;
    for (auto& i : inputs_)
        args.push_back(i.type().sameAs(type_) ? i : CastNode::make(i, type_, {}, false));
    return CallNode::makeTargetLib(name_, args, type_);
}

bool isTargetLibFunction(const std::string& name) {
    static const std::set<std::string> known = {"sin",  "cos", "tan", "atan", "sqrt", "ceil", "floor",
                                                "fmod", "exp", "log", "fabs", "max",  "min"};
    return known.count(name) != 0;
}

// ---- TarnCGCtx ---------------------------------------------------------------------------------------------
TarnCGCtx::TarnCGCtx(CGHandle* cg, int32_t roundingMode, int32_t overflowMode)
    : cg_(cg),
      modes_{roundingMode, overflowMode},
      startB_(&cg->unit().start),
      stepB_(&cg->unit().step),
      termB_(&cg->unit().terminate),
      scratchB_(&scratch_),
      cur_(&stepB_) {}

TarnCGCtx::~TarnCGCtx() = default;

void TarnCGCtx::switchTo(FunctionBuilder* b) {
    cur_ = b;
    onBuilderChanged(b);
}

bool TarnCGCtx::constructCode() {
    DiagnosticsScope scope(cg_->diagnostics());
    cg_->markConstructed();
    if (modes_.rounding < 0 || modes_.rounding > 6 || (modes_.overflow != 0 && modes_.overflow != 1)) {
        userError("rounding mode " + std::to_string(modes_.rounding) + " / overflow mode " +
                  std::to_string(modes_.overflow) + " is not one the code generator knows");
        return false;
    }
    declareIRSupport();
    if (irSupported_ != 1) {
        userError("the block's code-generation context does not build IR");
        return false;
    }
    switchTo(&startB_);
    start();
    initialize();
    switchTo(&stepB_);
    setAllDims();
    output();
    update();
    switchTo(&termB_);
    terminate();
    struct Phase {
        const char* name;
        void (TarnCGCtx::*fn)();
    };
    static const Phase unsupported[] = {{"virtual outport start", &TarnCGCtx::virtualOutportStart},
                                        {"derivative", &TarnCGCtx::derivative},
                                        {"projection", &TarnCGCtx::projection},
                                        {"forcing function", &TarnCGCtx::forcingFunction},
                                        {"mass matrix", &TarnCGCtx::massMatrix},
                                        {"zero crossings", &TarnCGCtx::zerocrossings},
                                        {"enable", &TarnCGCtx::enable},
                                        {"disable", &TarnCGCtx::disable},
                                        {"set dims", &TarnCGCtx::setDims},
                                        {"test interface", &TarnCGCtx::testInterface}};
    switchTo(&scratchB_);
    for (const Phase& p : unsupported) {
        (this->*p.fn)();
        if (!scratch_.empty() || !scratch_.locals.empty()) {
            userError(std::string("the ") + p.name + " phase has no place in the C target");
            break;
        }
    }
    switchTo(&stepB_);
    if (!generationFailed() &&
        !(startB_.balanced() && stepB_.balanced() && termB_.balanced() && scratchB_.balanced()))
        client_assertion_failed("codegen", __LINE__, "every begin has its end");
    return !cg_->diagnostics().failed();
}

void TarnCGCtx::setAllDims() {
    const Unit& u = cg_->unit();
    for (int32_t p = 0; p < static_cast<int32_t>(u.desc.outputs.size()); ++p) {
        if (!u.desc.outputs[p].variableSize) continue;
        if (u.desc.inputs.empty() || !u.desc.inputs[0].variableSize) continue;
        if (u.desc.inputs[0].dims.size() != u.desc.outputs[p].dims.size()) continue;
        Var in = getInputDims(0), out = getOutputDims(p);
        for (int32_t d = 0; d < static_cast<int32_t>(u.desc.outputs[p].dims.size()); ++d)
            appendNode(AssignStmt::make(getIndexedVar(out.ref(), d), getIndexedVar(in.ref(), d)));
    }
}

TargetLibFcnCallPtr TarnCGCtx::getTargetLibFcnCallCGNode(const std::string& name, int32_t numInputs,
                                                         int32_t numOutputs, const Type& type) {
    auto p = getTargetLibFcnCallCGNodeIfExist(name, numInputs, numOutputs, type);
    if (!p)
        userError("the C target has no function \"" + name + "\" with " + std::to_string(numInputs) +
                  " input(s)");
    return p;
}

TargetLibFcnCallPtr TarnCGCtx::getTargetLibFcnCallCGNodeIfExist(const std::string& name, int32_t numInputs,
                                                                int32_t numOutputs, const Type& type) {
    if (!isTargetLibFunction(name) || numOutputs != 1 || numInputs < 1 || numInputs > 2) return nullptr;
    bool twoInputs = name == "fmod" || name == "max" || name == "min";
    if (twoInputs != (numInputs == 2)) return nullptr;
    if (!(type.isFloat() || (type.kind() == TypeKind::Integer && (name == "max" || name == "min"))))
        return nullptr;
    return std::make_shared<TargetLibFcnCall>(name, numInputs, type);
}

TargetLibFcnCallPtr TarnCGCtx::getTargetLibFcnCall(const std::string& name, int32_t numInputs,
                                                   int32_t numOutputs, const Type& type) {
    return getTargetLibFcnCallCGNode(name, numInputs, numOutputs, type);
}

Var TarnCGCtx::createLocal(const std::string& name, int32_t dataTypeId) {
    Type t = cg_->typeFromId(dataTypeId);
    if (!t) return Var();
    return cur_->local(name, t);
}

Var TarnCGCtx::createLocal(const std::string& name, const Type& type, int32_t width) {
    CG_INTERNAL_ASSERT_RET(width >= 1, Var());
    return cur_->local(name, width == 1 ? type : Type::matrixT(type, width));
}

Var TarnCGCtx::portVar(bool input, int32_t port) {
    auto& sigs = input ? cg_->unit().desc.inputs : cg_->unit().desc.outputs;
    auto& cache = input ? inputs_ : outputs_;
    CG_INTERNAL_ASSERT_RET(port >= 0 && port < static_cast<int32_t>(sigs.size()), Var());
    if (cache.size() < sigs.size()) cache.resize(sigs.size());
    if (!cache[port]) {
        const SignalDesc& s = sigs[port];
        cache[port] = Var::make((input ? "u" : "y") + std::to_string(port),
                                Type::matrixT(s.elemType, s.variableSize ? -1 : s.width),
                                input ? VarKind::Input : VarKind::Output, port);
    }
    return cache[port];
}

Var TarnCGCtx::getInputRef(int32_t port) {
    return portVar(true, port);
}
Var TarnCGCtx::getOutputVar(int32_t port) {
    return portVar(false, port);
}

Var TarnCGCtx::getInputDims(int32_t port) {
    auto& sigs = cg_->unit().desc.inputs;
    CG_INTERNAL_ASSERT_RET(port >= 0 && port < static_cast<int32_t>(sigs.size()), Var());
    if (inDims_.size() < sigs.size()) inDims_.resize(sigs.size());
    if (!inDims_[port])
        inDims_[port] = Var::make("u" + std::to_string(port) + "_dims",
                                  Type::matrixT(int32T(), static_cast<int64_t>(sigs[port].dims.size())),
                                  VarKind::InputDims, port);
    return inDims_[port];
}

Var TarnCGCtx::getOutputDims(int32_t port) {
    auto& sigs = cg_->unit().desc.outputs;
    CG_INTERNAL_ASSERT_RET(port >= 0 && port < static_cast<int32_t>(sigs.size()), Var());
    CG_INTERNAL_ASSERT_RET(sigs[port].variableSize, Var());
    if (outDims_.size() < sigs.size()) outDims_.resize(sigs.size());
    if (!outDims_[port])
        outDims_[port] = Var::make("y" + std::to_string(port) + "_dims",
                                   Type::matrixT(int32T(), static_cast<int64_t>(sigs[port].dims.size())),
                                   VarKind::OutputDims, port);
    return outDims_[port];
}

Var TarnCGCtx::dataVar(bool rtp, int32_t index) {
    auto& data = rtp ? cg_->unit().desc.rtps : cg_->unit().desc.dworks;
    auto& cache = rtp ? rtps_ : dworks_;
    CG_INTERNAL_ASSERT_RET(index >= 0 && index < static_cast<int32_t>(data.size()), Var());
    if (cache.size() < data.size()) cache.resize(data.size());
    if (!cache[index]) {
        const DataDesc& d = data[index];
        cache[index] =
            Var::make((rtp ? "rtp_" : "dw_") + cIdentifier(d.name), Type::matrixT(d.elemType, d.width),
                      rtp ? VarKind::Rtp : VarKind::DWork, index);
    }
    return cache[index];
}

Var TarnCGCtx::getDWorkRef(int32_t index) {
    return dataVar(false, index);
}
Var TarnCGCtx::getParamRef(int32_t index) {
    return dataVar(true, index);
}

Expr TarnCGCtx::getIndexedVar(const Expr& matrix, const Expr& index) {
    return ElementNode::make(matrix, index);
}
Expr TarnCGCtx::getIndexedVar(const Expr& matrix, int32_t index) {
    return ElementNode::make(matrix, ConstNode::makeInt(int32T(), index));
}

Var TarnCGCtx::getConst(const std::string& name, double value, const Type& type) {
    return cur_->local(name, type, ConstNode::makeValue(type, value));
}

Pool& TarnCGCtx::getPool() {
    return *cg_->unit().pool;
}

void TarnCGCtx::beginFor(const Var& var, const Expr& start, const Expr& end, int32_t step) {
    CG_INTERNAL_ASSERT_RET(var.defined() && start.defined() && end.defined(), );
    Type t = var.type();
    Expr s = start.type().sameAs(t) ? start : CastNode::make(start, t, {}, true);
    Expr cond = BinaryNode::make(step > 0 ? BinaryOp::Lt : BinaryOp::Gt, var.ref(), end, {}, {});
    cur_->beginFor(var, s, cond, ConstNode::makeInt(t, step));
}
void TarnCGCtx::beginFor(const Var& var, int32_t start, const Expr& end, int32_t step) {
    CG_INTERNAL_ASSERT_RET(var.defined(), );
    beginFor(var, ConstNode::makeInt(var.type(), start), end, step);
}
void TarnCGCtx::endFor() {
    cur_->endFor();
}
void TarnCGCtx::beginWhile() {
    cur_->beginWhile();
}
void TarnCGCtx::whileExpr(const Expr& cond) {
    cur_->whileCond(cond);
}
void TarnCGCtx::endWhile() {
    cur_->endWhile();
}
void TarnCGCtx::If(const Expr& cond) {
    cur_->beginIf(cond);
}
void TarnCGCtx::ElseIf(const Expr& cond) {
    cur_->elseIf(cond);
}
void TarnCGCtx::Else() {
    cur_->elseBranch();
}
void TarnCGCtx::EndIf() {
    cur_->endIf();
}
void TarnCGCtx::comment(const std::string& text) {
    cur_->comment(text);
}
void TarnCGCtx::appendNode(const Stmt& s) {
    CG_INTERNAL_ASSERT_RET(s != nullptr, );
    cur_->append(s);
}
void TarnCGCtx::appendExpr(const Expr& e) {
    cur_->appendExpr(e);
}

Expr TarnCGCtx::castNode(const Expr& e, const Type& type) {
    CG_INTERNAL_ASSERT_RET(e.defined(), Expr());
    if (e.type().sameAs(type)) return e;
    return CastNode::make(e, type, modes_);
}

void TarnCGCtx::castAssign(const Expr& dst, const Var& src, const Expr& index) {
    castAssign(dst, ElementNode::make(src.ref(), index));
}
void TarnCGCtx::castAssign(const Expr& dst, const Expr& node) {
    CG_INTERNAL_ASSERT_RET(dst.defined() && node.defined(), );
    appendNode(AssignStmt::make(dst, castNode(node, dst.type())));
}
void TarnCGCtx::castAssign(const Expr& dst, double constant) {
    CG_INTERNAL_ASSERT_RET(dst.defined(), );
    appendNode(AssignStmt::make(dst, ConstNode::makeValue(dst.type(), constant)));
}

Expr TarnCGCtx::plus(const Expr& a, const Expr& b, const Type& type) {
    return BinaryNode::make(BinaryOp::Add, a, b, type, modes_);
}
Expr TarnCGCtx::minus(const Expr& a, const Expr& b, const Type& type) {
    return BinaryNode::make(BinaryOp::Sub, a, b, type, modes_);
}
Expr TarnCGCtx::multiply(const Expr& a, const Expr& b, const Type& type) {
    return BinaryNode::make(BinaryOp::Mul, a, b, type, modes_);
}
Expr TarnCGCtx::divide(const Expr& a, const Expr& b, const Type& type) {
    return BinaryNode::make(BinaryOp::Div, a, b, type, modes_);
}
Expr TarnCGCtx::unaryMinus(const Expr& a, const Type& type) {
    return UnaryNode::make(UnaryOp::Neg, a, type, modes_);
}

void TarnCGCtx::plusEq(const Expr& dst, const Expr& e) {
    CG_INTERNAL_ASSERT_RET(dst.defined(), );
    castAssign(dst, plus(dst, e, dst.type()));
}
void TarnCGCtx::minusEq(const Expr& dst, const Expr& e) {
    CG_INTERNAL_ASSERT_RET(dst.defined(), );
    castAssign(dst, minus(dst, e, dst.type()));
}
void TarnCGCtx::increment(const Expr& dst) {
    CG_INTERNAL_ASSERT_RET(dst.defined(), );
    plusEq(dst, ConstNode::makeValue(dst.type(), 1.0));
}
void TarnCGCtx::decrement(const Expr& dst) {
    CG_INTERNAL_ASSERT_RET(dst.defined(), );
    minusEq(dst, ConstNode::makeValue(dst.type(), 1.0));
}

void TarnCGCtx::insertSizeEqCheck1D(const Expr& a, const Expr& b) {
    CG_INTERNAL_ASSERT_RET(a.defined() && b.defined(), );
    appendNode(std::make_shared<SizeCheckStmt>(a, b, SrcLoc{}));
}

Expr TarnCGCtx::getIntrinsicFcnExpr(int32_t id, const std::vector<Type>& inputTypes,
                                    const std::vector<Type>& outputTypes, const std::vector<Expr>& inputs,
                                    const Expr& inputRef, const IntrinsicAlgorithm& algorithm) {
    (void)inputRef;
    (void)algorithm;
    CG_INTERNAL_ASSERT_RET(outputTypes.size() == 1 && inputTypes.size() == inputs.size(), Expr());
    std::vector<Expr> args;
    for (size_t i = 0; i < inputs.size(); ++i) {
        CG_INTERNAL_ASSERT_RET(inputs[i].defined(), Expr());
        args.push_back(inputs[i].type().sameAs(inputTypes[i]) ? inputs[i]
                                                              : castNode(inputs[i], inputTypes[i]));
    }
    return CallNode::makeIntrinsic(id, args, outputTypes[0], modes_);
}

Expr TarnCGCtx::reInterpretWithContainerChange(const Expr& e, const Type& type) {
    return ReinterpretNode::make(e, type, true);
}
Expr TarnCGCtx::reInterpret(const Expr& e, const Type& type) {
    return ReinterpretNode::make(e, type, false);
}

}  // namespace TarnCG
