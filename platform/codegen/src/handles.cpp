#include "cg/handles.h"

#include "cg/diagnostics.h"
#include "cg/dspcg.h"

namespace CG {

namespace {

const Type& int32T() {
    static const Type t = Type::intT(true, 32);
    return t;
}

DSPCG::ConstructionFacade* facadeOf(const NumVal& a, const NumVal& b) {
    return a.facade() ? a.facade() : b.facade();
}
DSPCG::ConstructionFacade* facadeOf(const IdxVal& a, const IdxVal& b) {
    return a.facade() ? a.facade() : b.facade();
}

// An untyped numeric constant takes the other operand's (base) type.
Expr typed(const NumVal& v, const NumVal& other) {
    if (!v.isUntypedConstant()) return v.expr();
    Type t = other.isUntypedConstant() ? Type::doubleT() : cg_type_complex_base_any(other.type());
    if (!t.defined()) t = Type::doubleT();
    return ConstNode::makeValue(t, v.untypedValue());
}

MathModes modesOf(DSPCG::ConstructionFacade* f) {
    return f ? f->mathModes() : MathModes{};
}

NumVal numBinary(BinaryOp op, const NumVal& a, const NumVal& b) {
    auto* f = facadeOf(a, b);
    return NumVal(f, BinaryNode::make(op, typed(a, b), typed(b, a), {}, modesOf(f)));
}
IdxVal numCompare(BinaryOp op, const NumVal& a, const NumVal& b) {
    auto* f = facadeOf(a, b);
    return IdxVal(f, BinaryNode::make(op, typed(a, b), typed(b, a), {}, modesOf(f)));
}
IdxVal idxBinary(BinaryOp op, const IdxVal& a, const IdxVal& b) {
    auto* f = facadeOf(a, b);
    Type t = (isComparison(op) || isLogical(op)) ? Type() : int32T();
    Expr ea = a.expr(), eb = b.expr();
    // Index arithmetic is int32 arithmetic; booleans and narrower indices widen first.
    if (ea && !isLogical(op) && !ea.type().sameAs(int32T()) && ea.type().isIntegerLike())
        ea = CastNode::make(ea, int32T(), {}, true);
    if (eb && !isLogical(op) && !eb.type().sameAs(int32T()) && eb.type().isIntegerLike())
        eb = CastNode::make(eb, int32T(), {}, true);
    return IdxVal(f, BinaryNode::make(op, ea, eb, t, MathModes{RndZero, OvfIndex}));
}

void emitAssign(DSPCG::ConstructionFacade* f, const Expr& lhs, const Expr& rhs) {
    CG_INTERNAL_ASSERT_RET(f != nullptr, );
    f->assign(lhs, rhs);
}

}  // namespace

NumVal::NumVal(const IdxVal& i) : f_(i.facade()), e_(i.expr()) {}
NumVal::NumVal(double constant) : untyped_(constant) {}

NumRef& NumRef::operator=(const NumVal& v) {
    emitAssign(f_ ? f_ : v.facade(), e_, typed(v, *this));
    return *this;
}
NumRef& NumRef::operator=(const NumRef& v) {
    return *this = static_cast<const NumVal&>(v);
}
NumRef& NumRef::operator=(double v) {
    return *this = NumVal(v);
}
NumRef& NumRef::operator+=(const NumVal& v) {
    return *this = (*this + v);
}
NumRef& NumRef::operator-=(const NumVal& v) {
    return *this = (*this - v);
}
NumRef& NumRef::operator*=(const NumVal& v) {
    return *this = (*this * v);
}
NumRef NumRef::operator()(const IdxVal& index) const {
    return NumRef(f_, ElementNode::make(e_, index.expr()));
}
NumRef NumRef::operator[](int32_t index) const {
    return (*this)(IdxVal(index));
}
NumRef NumRef::re() const {
    return NumRef(f_, ComplexPartNode::make(e_, 0));
}
NumRef NumRef::im() const {
    return NumRef(f_, ComplexPartNode::make(e_, 1));
}

IdxVal::IdxVal(int32_t constant) : e_(ConstNode::makeInt(int32T(), constant)) {}

IdxRef& IdxRef::operator=(const IdxVal& v) {
    emitAssign(f_ ? f_ : v.facade(), e_, v.expr());
    return *this;
}
IdxRef& IdxRef::operator=(const IdxRef& v) {
    return *this = static_cast<const IdxVal&>(v);
}
IdxRef& IdxRef::operator=(int32_t v) {
    return *this = IdxVal(v);
}
IdxRef& IdxRef::operator+=(const IdxVal& v) {
    return *this = (*this + v);
}
IdxRef& IdxRef::operator-=(const IdxVal& v) {
    return *this = (*this - v);
}
IdxRef& IdxRef::operator*=(const IdxVal& v) {
    return *this = (*this * v);
}
IdxRef& IdxRef::operator++() {
    return *this = (*this + IdxVal(1));
}
IdxRef& IdxRef::operator--() {
    return *this = (*this - IdxVal(1));
}
IdxRef IdxRef::operator()(const IdxVal& index) const {
    return IdxRef(f_, ElementNode::make(e_, index.expr()));
}
IdxRef IdxRef::operator[](int32_t index) const {
    return (*this)(IdxVal(index));
}

NumVal operator+(const NumVal& a, const NumVal& b) {
    return numBinary(BinaryOp::Add, a, b);
}
NumVal operator-(const NumVal& a, const NumVal& b) {
    return numBinary(BinaryOp::Sub, a, b);
}
NumVal operator*(const NumVal& a, const NumVal& b) {
    return numBinary(BinaryOp::Mul, a, b);
}
NumVal operator/(const NumVal& a, const NumVal& b) {
    return numBinary(BinaryOp::Div, a, b);
}
NumVal operator-(const NumVal& a) {
    return NumVal(a.facade(), UnaryNode::make(UnaryOp::Neg, a.expr(), {}, modesOf(a.facade())));
}
IdxVal operator==(const NumVal& a, const NumVal& b) {
    return numCompare(BinaryOp::Eq, a, b);
}
IdxVal operator!=(const NumVal& a, const NumVal& b) {
    return numCompare(BinaryOp::Ne, a, b);
}
IdxVal operator<(const NumVal& a, const NumVal& b) {
    return numCompare(BinaryOp::Lt, a, b);
}
IdxVal operator<=(const NumVal& a, const NumVal& b) {
    return numCompare(BinaryOp::Le, a, b);
}
IdxVal operator>(const NumVal& a, const NumVal& b) {
    return numCompare(BinaryOp::Gt, a, b);
}
IdxVal operator>=(const NumVal& a, const NumVal& b) {
    return numCompare(BinaryOp::Ge, a, b);
}

IdxVal operator+(const IdxVal& a, const IdxVal& b) {
    return idxBinary(BinaryOp::Add, a, b);
}
IdxVal operator-(const IdxVal& a, const IdxVal& b) {
    return idxBinary(BinaryOp::Sub, a, b);
}
IdxVal operator*(const IdxVal& a, const IdxVal& b) {
    return idxBinary(BinaryOp::Mul, a, b);
}
IdxVal operator/(const IdxVal& a, const IdxVal& b) {
    return idxBinary(BinaryOp::Div, a, b);
}
IdxVal operator%(const IdxVal& a, const IdxVal& b) {
    return idxBinary(BinaryOp::Mod, a, b);
}
IdxVal operator-(const IdxVal& a) {
    Expr e = a.expr();
    if (e && !e.type().sameAs(int32T())) e = CastNode::make(e, int32T(), {}, true);
    return IdxVal(a.facade(), UnaryNode::make(UnaryOp::Neg, e, int32T(), MathModes{RndZero, OvfIndex}));
}
IdxVal operator==(const IdxVal& a, const IdxVal& b) {
    return idxBinary(BinaryOp::Eq, a, b);
}
IdxVal operator!=(const IdxVal& a, const IdxVal& b) {
    return idxBinary(BinaryOp::Ne, a, b);
}
IdxVal operator<(const IdxVal& a, const IdxVal& b) {
    return idxBinary(BinaryOp::Lt, a, b);
}
IdxVal operator<=(const IdxVal& a, const IdxVal& b) {
    return idxBinary(BinaryOp::Le, a, b);
}
IdxVal operator>(const IdxVal& a, const IdxVal& b) {
    return idxBinary(BinaryOp::Gt, a, b);
}
IdxVal operator>=(const IdxVal& a, const IdxVal& b) {
    return idxBinary(BinaryOp::Ge, a, b);
}
IdxVal operator&&(const IdxVal& a, const IdxVal& b) {
    return idxBinary(BinaryOp::And, a, b);
}
IdxVal operator||(const IdxVal& a, const IdxVal& b) {
    return idxBinary(BinaryOp::Or, a, b);
}
IdxVal operator!(const IdxVal& a) {
    return IdxVal(a.facade(), UnaryNode::make(UnaryOp::Not, a.expr(), {}, {}));
}

}  // namespace CG
