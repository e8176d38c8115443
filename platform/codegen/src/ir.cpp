#include "cg/ir.h"

#include <algorithm>
#include <cmath>

#include "cg/diagnostics.h"

namespace CG {

Type Expr::type() const {
    return node_ ? node_->type : Type();
}

bool Expr::isLValue() const {
    if (!node_) return false;
    switch (node_->kind) {
        case ExprKind::VarRef:
            return true;
        case ExprKind::Element: {
            const auto* e = as<ElementNode>();
            return e->base.type().isPointer() || e->base.isLValue();
        }
        case ExprKind::ComplexPart:
            return as<ComplexPartNode>()->a.isLValue();
        default:
            return false;
    }
}

Var Var::make(std::string name, Type type, VarKind kind, int32_t index, Expr init) {
    CG_INTERNAL_ASSERT_RET(!name.empty() && type.defined(), Var());
    auto d = std::make_shared<VarDecl>();
    d->name = std::move(name);
    d->type = std::move(type);
    d->kind = kind;
    d->index = index;
    d->init = std::move(init);
    return Var(std::move(d));
}
const std::string& Var::name() const {
    static const std::string none;
    return decl_ ? decl_->name : none;
}
Type Var::type() const {
    return decl_ ? decl_->type : Type();
}
Expr Var::ref() const {
    return VarRefNode::make(*this);
}

// ---- Constants --------------------------------------------------------------------------------------------
namespace {

__int128 maxStored(const Type& t) {
    if (t.kind() == TypeKind::Boolean) return 1;
    int bits = t.bits();
    int magnitude = t.isSigned() ? bits - 1 : bits;
    if (magnitude >= 127) return ~(static_cast<__int128>(1) << 127);
    return (static_cast<__int128>(1) << magnitude) - 1;
}
__int128 minStored(const Type& t) {
    if (!t.isSigned() || t.kind() == TypeKind::Boolean) return 0;
    int bits = t.bits();
    if (bits >= 128) return static_cast<__int128>(1) << 127;
    return -(static_cast<__int128>(1) << (bits - 1));
}

}  // namespace

Expr ConstNode::makeInt(const Type& t, int64_t v) {
    CG_INTERNAL_ASSERT_RET(t.isNumericScalar(), Expr());
    auto n = std::make_shared<ConstNode>(t);
    if (t.isFloat() || t.isScaledDouble()) {
        n->value = std::ldexp(static_cast<double>(v), t.isScaledDouble() ? t.exponent() : 0);
    } else {
        __int128 s = v;
        s = std::clamp(s, minStored(t), maxStored(t));
        n->stored = s;
    }
    return Expr(std::move(n));
}

Expr ConstNode::makeValue(const Type& t, double v) {
    CG_INTERNAL_ASSERT_RET(t.isNumericScalar() || t.isComplex(), Expr());
    if (t.isComplex()) return makeComplex(t, v, 0.0);
    auto n = std::make_shared<ConstNode>(t);
    if (t.isFloat()) {
        n->value = t.kind() == TypeKind::Single ? static_cast<double>(static_cast<float>(v)) : v;
    } else if (t.isScaledDouble()) {
        n->value = v;
    } else {
        // Quantise the real-world value: nearest, saturate (NaN gives 0).
        double scaled = std::ldexp(v, -t.exponent());
        if (std::isnan(scaled)) scaled = 0.0;
        double r = std::floor(scaled + 0.5);
        double hi = std::ldexp(1.0, 126);
        r = std::clamp(r, -hi, hi);
        __int128 s = static_cast<__int128>(r);
        n->stored = std::clamp(s, minStored(t), maxStored(t));
    }
    return Expr(std::move(n));
}

Expr ConstNode::makeComplex(const Type& t, double re, double im) {
    CG_INTERNAL_ASSERT_RET(t.isComplex(), Expr());
    Expr r = makeValue(t.elem(), re);
    Expr i = makeValue(t.elem(), im);
    if (!r || !i) return Expr();
    auto n = std::make_shared<ConstNode>(t);
    n->stored = r.as<ConstNode>()->stored;
    n->value = r.as<ConstNode>()->value;
    n->imagStored = i.as<ConstNode>()->stored;
    n->imagValue = i.as<ConstNode>()->value;
    return Expr(std::move(n));
}

double ConstNode::realWorld() const {
    if (type.isFloat() || type.isScaledDouble()) return value;
    return std::ldexp(static_cast<double>(stored), type.exponent());
}

Expr VarRefNode::make(const Var& v) {
    CG_INTERNAL_ASSERT_RET(v.defined(), Expr());
    return Expr(std::make_shared<VarRefNode>(v));
}

Expr ElementNode::make(const Expr& base, const Expr& index) {
    CG_INTERNAL_ASSERT_RET(base.defined() && index.defined(), Expr());
    Type bt = base.type();
    CG_INTERNAL_ASSERT_RET(bt.isMatrix() || bt.isPointer(), Expr());
    CG_INTERNAL_ASSERT_RET(index.type().isIntegerLike() && index.type().exponent() == 0, Expr());
    Type et = bt.elem();
    // A pointer to a matrix indexes the matrix.
    if (bt.isPointer() && et.isMatrix()) et = et.elem();
    return Expr(std::make_shared<ElementNode>(et, base, index));
}

Expr UnaryNode::make(UnaryOp op, const Expr& a, const Type& resultType, MathModes modes) {
    CG_INTERNAL_ASSERT_RET(a.defined(), Expr());
    Type t = resultType.defined() ? resultType : a.type();
    if (op == UnaryOp::Not) t = Type::boolT();
    CG_INTERNAL_ASSERT_RET(a.type().isNumericScalar() || (op == UnaryOp::Neg && a.type().isComplex()),
                           Expr());
    if (op == UnaryOp::BitNot) CG_INTERNAL_ASSERT_RET(a.type().isIntegerLike(), Expr());
    return Expr(std::make_shared<UnaryNode>(t, op, a, modes));
}

bool isComparison(BinaryOp op) {
    return op >= BinaryOp::Eq && op <= BinaryOp::Ge;
}
bool isLogical(BinaryOp op) {
    return op == BinaryOp::And || op == BinaryOp::Or;
}
bool isBitwise(BinaryOp op) {
    return op >= BinaryOp::BitAnd;
}
const char* binaryOpSymbol(BinaryOp op) {
    static const char* s[] = {
        "+", "-", "*", "/", "%", "==", "!=", "<", "<=", ">", ">=", "&&", "||", "&", "|", "^", "<<", ">>"};
    return s[static_cast<int>(op)];
}

namespace {

// The type an arithmetic result takes when the builder names none: floating if either is, the common
// type when both agree, else a full-precision fixed-point type.
Type naturalArithmeticType(BinaryOp op, const Type& a, const Type& b) {
    if (a.kind() == TypeKind::Double || b.kind() == TypeKind::Double) return Type::doubleT();
    if (a.kind() == TypeKind::Single || b.kind() == TypeKind::Single) return Type::singleT();
    if (a.isScaledDouble() || b.isScaledDouble()) return Type::doubleT();
    if (a.sameAs(b)) return a;
    if (a.kind() == TypeKind::Integer && b.kind() == TypeKind::Integer) {
        if (a.bits() != b.bits()) return a.bits() > b.bits() ? a : b;
        return a.isSigned() ? b : a;
    }
    bool sgn = a.isSigned() || b.isSigned();
    auto fracOf = [](const Type& t) { return -t.exponent(); };
    auto intOf = [&](const Type& t) { return t.bits() - fracOf(t) + ((sgn && !t.isSigned()) ? 1 : 0); };
    if (op == BinaryOp::Mul) {
        int wl = a.bits() + b.bits() + ((a.isSigned() != b.isSigned()) ? 1 : 0);
        return Type::fixedT(sgn, std::min(wl, 128), a.exponent() + b.exponent());
    }
    if (op == BinaryOp::Div || op == BinaryOp::Mod) return a;
    int frac = std::max(fracOf(a), fracOf(b));
    int wl = std::max(intOf(a), intOf(b)) + frac + 1;
    return Type::fixedT(sgn, std::clamp(wl, 2, 128), -frac);
}

}  // namespace

Expr BinaryNode::make(BinaryOp op, const Expr& a, const Expr& b, const Type& resultType, MathModes modes) {
    CG_INTERNAL_ASSERT_RET(a.defined() && b.defined(), Expr());
    Type ta = a.type(), tb = b.type();
    bool complexOk = (op == BinaryOp::Add || op == BinaryOp::Sub || op == BinaryOp::Mul ||
                      op == BinaryOp::Eq || op == BinaryOp::Ne);
    CG_INTERNAL_ASSERT_RET((ta.isNumericScalar() || (complexOk && ta.isComplex())) &&
                               (tb.isNumericScalar() || (complexOk && tb.isComplex())),
                           Expr());
    Type t = resultType;
    if (isComparison(op) || isLogical(op)) {
        t = Type::boolT();
    } else if (isBitwise(op)) {
        CG_INTERNAL_ASSERT_RET(ta.isIntegerLike() && tb.isIntegerLike(), Expr());
        if (!t.defined()) t = ta;
    } else if (!t.defined()) {
        if (ta.isComplex() || tb.isComplex()) {
            Type base = naturalArithmeticType(op, cg_type_complex_base_any(ta), cg_type_complex_base_any(tb));
            t = Type::complexT(base);
        } else {
            t = naturalArithmeticType(op, ta, tb);
        }
    }
    if (op == BinaryOp::Mod) CG_INTERNAL_ASSERT_RET(ta.isIntegerLike() && tb.isIntegerLike(), Expr());
    CG_INTERNAL_ASSERT_RET(t.defined(), Expr());
    return Expr(std::make_shared<BinaryNode>(t, op, a, b, modes));
}

Expr CastNode::make(const Expr& a, const Type& type, MathModes modes, bool targetCast) {
    CG_INTERNAL_ASSERT_RET(a.defined() && type.defined(), Expr());
    Type ta = a.type();
    CG_INTERNAL_ASSERT_RET(
        (ta.isNumericScalar() || ta.isComplex()) && (type.isNumericScalar() || type.isComplex()), Expr());
    return Expr(std::make_shared<CastNode>(type, a, modes, targetCast));
}

Expr ReinterpretNode::make(const Expr& a, const Type& type, bool containerChange) {
    CG_INTERNAL_ASSERT_RET(a.defined() && type.defined(), Expr());
    Type ta = a.type();
    CG_INTERNAL_ASSERT_RET(ta.isComplex() == type.isComplex(), Expr());
    Type ba = cg_type_complex_base_any(ta), bt = cg_type_complex_base_any(type);
    // Stored integers move between integer-like types; a scaled double is its own container (double).
    bool intLike = ba.isIntegerLike() && bt.isIntegerLike();
    bool dbl = (ba.isScaledDouble() || ba.kind() == TypeKind::Double) &&
               (bt.isScaledDouble() || bt.kind() == TypeKind::Double);
    bool same = ba.sameAs(bt);
    CG_INTERNAL_ASSERT_RET(intLike || dbl || same, Expr());
    if (!containerChange && intLike)
        CG_INTERNAL_ASSERT_RET(ba.bits() == bt.bits() && ba.isSigned() == bt.isSigned(), Expr());
    return Expr(std::make_shared<ReinterpretNode>(type, a, containerChange));
}

Expr SelectNode::make(const Expr& cond, const Expr& a, const Expr& b) {
    CG_INTERNAL_ASSERT_RET(cond.defined() && a.defined() && b.defined(), Expr());
    CG_INTERNAL_ASSERT_RET(a.type().sameAs(b.type()), Expr());
    return Expr(std::make_shared<SelectNode>(a.type(), cond, a, b));
}

Expr CallNode::makeTargetLib(const std::string& name, std::vector<Expr> args, const Type& resultType) {
    for (auto& x : args)
        CG_INTERNAL_ASSERT_RET(x.defined(), Expr());
    CG_INTERNAL_ASSERT_RET(resultType.defined(), Expr());
    auto n = std::make_shared<CallNode>(resultType, CallKind::TargetLib);
    n->name = name;
    n->args = std::move(args);
    return Expr(std::move(n));
}

Expr CallNode::makeIntrinsic(int32_t id, std::vector<Expr> args, const Type& resultType, MathModes modes) {
    for (auto& x : args)
        CG_INTERNAL_ASSERT_RET(x.defined(), Expr());
    CG_INTERNAL_ASSERT_RET(id == kIntrinsicSqrt || id == kIntrinsicIsInfAny, Expr());
    CG_INTERNAL_ASSERT_RET(resultType.defined(), Expr());
    if (id == kIntrinsicSqrt) CG_INTERNAL_ASSERT_RET(args.size() == 1, Expr());
    auto n = std::make_shared<CallNode>(resultType, CallKind::Intrinsic);
    n->intrinsic = id;
    n->name = id == kIntrinsicSqrt ? "sqrt" : "isinf_any";
    n->args = std::move(args);
    n->modes = modes;
    return Expr(std::move(n));
}

Expr CallNode::makeUtility(const std::string& name, std::vector<Expr> args, const Type& resultType) {
    for (auto& x : args)
        CG_INTERNAL_ASSERT_RET(x.defined(), Expr());
    auto n = std::make_shared<CallNode>(resultType.defined() ? resultType : Type::voidT(), CallKind::Utility);
    n->name = name;
    n->args = std::move(args);
    return Expr(std::move(n));
}

Expr ComplexPartNode::make(const Expr& a, int part) {
    CG_INTERNAL_ASSERT_RET(a.defined() && a.type().isComplex() && (part == 0 || part == 1), Expr());
    return Expr(std::make_shared<ComplexPartNode>(a.type().elem(), a, part));
}

Expr AssignNode::make(const Expr& lhs, const Expr& rhs) {
    CG_INTERNAL_ASSERT_RET(lhs.defined() && rhs.defined(), Expr());
    CG_INTERNAL_ASSERT_RET(lhs.isLValue(), Expr());
    CG_INTERNAL_ASSERT_RET(lhs.type().sameAs(rhs.type()), Expr());
    return Expr(std::make_shared<AssignNode>(lhs.type(), lhs, rhs));
}

Stmt AssignStmt::make(const Expr& lhs, const Expr& rhs, SrcLoc loc) {
    CG_INTERNAL_ASSERT_RET(lhs.defined() && rhs.defined(), nullptr);
    CG_INTERNAL_ASSERT_RET(lhs.isLValue(), nullptr);
    CG_INTERNAL_ASSERT_RET(lhs.type().sameAs(rhs.type()), nullptr);
    return std::make_shared<AssignStmt>(lhs, rhs, loc);
}

// ---- Visitor ------------------------------------------------------------------------------------------------
void IRVisitor::visitExpr(const Expr& e) {
    if (!e) return;
    switch (e->kind) {
        case ExprKind::Const:
            visit(*e.as<ConstNode>());
            break;
        case ExprKind::VarRef:
            visit(*e.as<VarRefNode>());
            break;
        case ExprKind::Element:
            visit(*e.as<ElementNode>());
            break;
        case ExprKind::Unary:
            visit(*e.as<UnaryNode>());
            break;
        case ExprKind::Binary:
            visit(*e.as<BinaryNode>());
            break;
        case ExprKind::Cast:
            visit(*e.as<CastNode>());
            break;
        case ExprKind::Reinterpret:
            visit(*e.as<ReinterpretNode>());
            break;
        case ExprKind::Select:
            visit(*e.as<SelectNode>());
            break;
        case ExprKind::Call:
            visit(*e.as<CallNode>());
            break;
        case ExprKind::ComplexPart:
            visit(*e.as<ComplexPartNode>());
            break;
        case ExprKind::Assign:
            visit(*e.as<AssignNode>());
            break;
    }
}

void IRVisitor::visitStmt(const Stmt& s) {
    if (!s) return;
    switch (s->kind) {
        case StmtKind::Block:
            visitBody(*s->as<BlockStmt>());
            break;
        case StmtKind::Assign:
            visit(*s->as<AssignStmt>());
            break;
        case StmtKind::Eval:
            visit(*s->as<EvalStmt>());
            break;
        case StmtKind::For:
            visit(*s->as<ForStmt>());
            break;
        case StmtKind::While:
            visit(*s->as<WhileStmt>());
            break;
        case StmtKind::If:
            visit(*s->as<IfStmt>());
            break;
        case StmtKind::Comment:
            visit(*s->as<CommentStmt>());
            break;
        case StmtKind::SizeCheck:
            visit(*s->as<SizeCheckStmt>());
            break;
        case StmtKind::MatrixCopy:
            visit(*s->as<MatrixCopyStmt>());
            break;
    }
}

void IRVisitor::visitBody(const BlockStmt& b) {
    for (auto& s : b.body)
        visitStmt(s);
}

void IRVisitor::visit(const ForStmt& s) {
    visitExpr(s.init);
    visitExpr(s.cond);
    visitExpr(s.step);
    if (s.body) visitBody(*s.body);
}
void IRVisitor::visit(const WhileStmt& s) {
    visitExpr(s.cond);
    if (s.body) visitBody(*s.body);
}
void IRVisitor::visit(const IfStmt& s) {
    for (auto& br : s.branches) {
        visitExpr(br.cond);
        if (br.body) visitBody(*br.body);
    }
}

}  // namespace CG
