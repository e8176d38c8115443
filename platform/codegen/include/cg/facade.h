// CG::SimpleConstructionFacade: the expression builders blocks use, with the facade's math modes.
// Conversions are explicit in the IR: assignE converts the right side into the left side's type.
#pragma once

#include <cstdint>
#include <string>

#include "cg/builder.h"
#include "cg/ir.h"

namespace CG {

class SimpleConstructionFacade {
  public:
    SimpleConstructionFacade() = default;
    virtual ~SimpleConstructionFacade() = default;

    void setBuilder(FunctionBuilder* b) { builder_ = b; }
    FunctionBuilder* builder() const { return builder_; }

    void setMathModes(int32_t rounding, int32_t overflow) { modes_ = {rounding, overflow}; }
    void setRoundingMode(int32_t rounding) { modes_.rounding = rounding; }
    void setOverflowMode(int32_t overflow) { modes_.overflow = overflow; }
    MathModes mathModes() const { return modes_; }

    // Arithmetic: exact, then quantised into `type` (natural type when undefined) with the facade's modes.
    Expr addE(const Expr& a, const Expr& b, const Type& type = {}) const;
    Expr minusE(const Expr& a, const Expr& b, const Type& type = {}) const;
    Expr multiplyE(const Expr& a, const Expr& b, const Type& type = {}) const;
    Expr equalE(const Expr& a, const Expr& b) const;
    Expr lessThanE(const Expr& a, const Expr& b) const;
    Expr greaterThanE(const Expr& a, const Expr& b) const;
    Expr greaterThanEqualE(const Expr& a, const Expr& b) const;
    Expr logicalAndE(const Expr& a, const Expr& b) const;
    Expr logicalOrE(const Expr& a, const Expr& b) const;
    Expr logicalConditionE(const Expr& cond, const Expr& whenTrue, const Expr& whenFalse) const;
    // lhs = rhs converted into lhs's type (with the facade's modes).
    Expr assignE(const Expr& lhs, const Expr& rhs) const;
    Expr castE(const Expr& a, const Type& type) const;
    Expr constE(const Type& type, double value) const;
    Expr cloneE(const Expr& e) const { return e; }  // nodes are immutable: sharing is cloning
    Expr derefE(const Expr& pointer) const;
    Expr elementE(const Expr& matrix, const Expr& index) const;
    Expr elementRefE(const Expr& matrix, const Expr& index) const;
    Var localV(const std::string& name, const Type& type, const Expr& init = {}) const;

    static Type sint32T() { return Type::intT(true, 32); }
    static Type boolT() { return Type::boolT(); }
    static Type pointerT(const Type& elem) { return Type::pointerT(elem); }
    static Type staticUnknownMatrixT(const Type& elem) { return Type::matrixT(elem, -1); }
    static Expr sint32C(int32_t v) { return ConstNode::makeInt(sint32T(), v); }

  protected:
    FunctionBuilder* builder_ = nullptr;
    MathModes modes_;
};

}  // namespace CG
