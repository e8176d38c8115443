#include "cg/facade.h"

#include "cg/diagnostics.h"

namespace CG {

Expr SimpleConstructionFacade::addE(const Expr& a, const Expr& b, const Type& type) const {
    return BinaryNode::make(BinaryOp::Add, a, b, type, modes_);
}
Expr SimpleConstructionFacade::minusE(const Expr& a, const Expr& b, const Type& type) const {
    return BinaryNode::make(BinaryOp::Sub, a, b, type, modes_);
}
Expr SimpleConstructionFacade::multiplyE(const Expr& a, const Expr& b, const Type& type) const {
    return BinaryNode::make(BinaryOp::Mul, a, b, type, modes_);
}
Expr SimpleConstructionFacade::equalE(const Expr& a, const Expr& b) const {
    return BinaryNode::make(BinaryOp::Eq, a, b, {}, modes_);
}
Expr SimpleConstructionFacade::lessThanE(const Expr& a, const Expr& b) const {
    return BinaryNode::make(BinaryOp::Lt, a, b, {}, modes_);
}
Expr SimpleConstructionFacade::greaterThanE(const Expr& a, const Expr& b) const {
    return BinaryNode::make(BinaryOp::Gt, a, b, {}, modes_);
}
Expr SimpleConstructionFacade::greaterThanEqualE(const Expr& a, const Expr& b) const {
    return BinaryNode::make(BinaryOp::Ge, a, b, {}, modes_);
}
Expr SimpleConstructionFacade::logicalAndE(const Expr& a, const Expr& b) const {
    return BinaryNode::make(BinaryOp::And, a, b, {}, modes_);
}
Expr SimpleConstructionFacade::logicalOrE(const Expr& a, const Expr& b) const {
    return BinaryNode::make(BinaryOp::Or, a, b, {}, modes_);
}
Expr SimpleConstructionFacade::logicalConditionE(const Expr& cond, const Expr& whenTrue,
                                                 const Expr& whenFalse) const {
    return SelectNode::make(cond, whenTrue, whenFalse);
}

Expr SimpleConstructionFacade::assignE(const Expr& lhs, const Expr& rhs) const {
    CG_INTERNAL_ASSERT_RET(lhs.defined() && rhs.defined(), Expr());
    Expr r = rhs;
    if (!rhs.type().sameAs(lhs.type())) r = castE(rhs, lhs.type());
    return AssignNode::make(lhs, r);
}

Expr SimpleConstructionFacade::castE(const Expr& a, const Type& type) const {
    CG_INTERNAL_ASSERT_RET(a.defined(), Expr());
    if (a.type().sameAs(type)) return a;
    return CastNode::make(a, type, modes_);
}

Expr SimpleConstructionFacade::constE(const Type& type, double value) const {
    return ConstNode::makeValue(type, value);
}

Expr SimpleConstructionFacade::derefE(const Expr& pointer) const {
    return ElementNode::make(pointer, sint32C(0));
}
Expr SimpleConstructionFacade::elementE(const Expr& matrix, const Expr& index) const {
    return ElementNode::make(matrix, index);
}
Expr SimpleConstructionFacade::elementRefE(const Expr& matrix, const Expr& index) const {
    return ElementNode::make(matrix, index);
}

Var SimpleConstructionFacade::localV(const std::string& name, const Type& type, const Expr& init) const {
    CG_INTERNAL_ASSERT_RET(builder_ != nullptr, Var());
    return builder_->local(name, type, init);
}

}  // namespace CG
