// Value handles with overloaded operators, bound to the facade that builds them:
//   NumVal / NumRef: numeric data (ports, work vectors, parameters, numeric locals);
//   IdxVal / IdxRef: int32 (and boolean) index values.
// A *Ref is an lvalue: assigning to it (=, +=, -=, *=, ++, --) appends an assignment to the facade's
// current construct, converting the right side into the target's type with the facade's math modes.
// Copying a handle copies the reference (use assign() or = on an existing handle to emit code).
#pragma once

#include <cstdint>
#include <optional>

#include "cg/ir.h"

namespace DSPCG {
class ConstructionFacade;
}

namespace CG {

class IdxVal;

class NumVal {
  public:
    NumVal() = default;
    NumVal(DSPCG::ConstructionFacade* f, Expr e) : f_(f), e_(std::move(e)) {}
    NumVal(const IdxVal& i);  // an index used as data
    NumVal(double constant);  // typed at use: the other operand's type
    const Expr& expr() const { return e_; }
    Type type() const { return e_.type(); }
    DSPCG::ConstructionFacade* facade() const { return f_; }
    bool isUntypedConstant() const { return untyped_.has_value(); }
    double untypedValue() const { return untyped_.value_or(0.0); }

  protected:
    DSPCG::ConstructionFacade* f_ = nullptr;
    Expr e_;
    std::optional<double> untyped_;
};

class NumRef : public NumVal {
  public:
    NumRef() = default;
    NumRef(DSPCG::ConstructionFacade* f, Expr e) : NumVal(f, std::move(e)) {}
    NumRef(const NumRef&) = default;
    // Emitting assignments.
    NumRef& operator=(const NumVal& v);
    NumRef& operator=(const NumRef& v);
    NumRef& operator=(double v);
    NumRef& operator+=(const NumVal& v);
    NumRef& operator-=(const NumVal& v);
    NumRef& operator*=(const NumVal& v);
    NumRef operator()(const IdxVal& index) const;  // element of a matrix
    NumRef operator[](int32_t index) const;
    // Re-seats this handle to refer to what `other` refers to (emits nothing).
    void rebind(const NumRef& other) {
        f_ = other.f_;
        e_ = other.e_;
    }
    NumRef re() const;
    NumRef im() const;
};

class IdxVal {
  public:
    IdxVal() = default;
    IdxVal(DSPCG::ConstructionFacade* f, Expr e) : f_(f), e_(std::move(e)) {}
    IdxVal(int32_t constant);
    const Expr& expr() const { return e_; }
    Type type() const { return e_.type(); }
    DSPCG::ConstructionFacade* facade() const { return f_; }

  protected:
    DSPCG::ConstructionFacade* f_ = nullptr;
    Expr e_;
};

class IdxRef : public IdxVal {
  public:
    IdxRef() = default;
    IdxRef(DSPCG::ConstructionFacade* f, Expr e) : IdxVal(f, std::move(e)) {}
    IdxRef(const IdxRef&) = default;
    IdxRef& operator=(const IdxVal& v);
    IdxRef& operator=(const IdxRef& v);
    IdxRef& operator=(int32_t v);
    IdxRef& operator+=(const IdxVal& v);
    IdxRef& operator-=(const IdxVal& v);
    IdxRef& operator*=(const IdxVal& v);
    IdxRef& operator++();
    IdxRef& operator--();
    IdxRef operator()(const IdxVal& index) const;  // element of an index matrix
    IdxRef operator[](int32_t index) const;
    // Re-seats this handle to refer to what `other` refers to (emits nothing).
    void rebind(const IdxRef& other) {
        f_ = other.f_;
        e_ = other.e_;
    }
};

// Numeric operators: natural result type (see BinaryNode), the facade's math modes.
NumVal operator+(const NumVal& a, const NumVal& b);
NumVal operator-(const NumVal& a, const NumVal& b);
NumVal operator*(const NumVal& a, const NumVal& b);
NumVal operator/(const NumVal& a, const NumVal& b);
NumVal operator-(const NumVal& a);
IdxVal operator==(const NumVal& a, const NumVal& b);
IdxVal operator!=(const NumVal& a, const NumVal& b);
IdxVal operator<(const NumVal& a, const NumVal& b);
IdxVal operator<=(const NumVal& a, const NumVal& b);
IdxVal operator>(const NumVal& a, const NumVal& b);
IdxVal operator>=(const NumVal& a, const NumVal& b);

// Index operators: int32 arithmetic as C does it.
IdxVal operator+(const IdxVal& a, const IdxVal& b);
IdxVal operator-(const IdxVal& a, const IdxVal& b);
IdxVal operator*(const IdxVal& a, const IdxVal& b);
IdxVal operator/(const IdxVal& a, const IdxVal& b);
IdxVal operator%(const IdxVal& a, const IdxVal& b);
IdxVal operator-(const IdxVal& a);
IdxVal operator==(const IdxVal& a, const IdxVal& b);
IdxVal operator!=(const IdxVal& a, const IdxVal& b);
IdxVal operator<(const IdxVal& a, const IdxVal& b);
IdxVal operator<=(const IdxVal& a, const IdxVal& b);
IdxVal operator>(const IdxVal& a, const IdxVal& b);
IdxVal operator>=(const IdxVal& a, const IdxVal& b);
IdxVal operator&&(const IdxVal& a, const IdxVal& b);
IdxVal operator||(const IdxVal& a, const IdxVal& b);
IdxVal operator!(const IdxVal& a);

// Holder of a handle that is set once and read later (a handle itself is not re-seatable by =).
template <typename H>
class ExprHFactory {
  public:
    void set(const H& h) { h_.emplace(h); }
    bool isSet() const { return h_.has_value(); }
    H operator()() const { return h_.value_or(H()); }

  private:
    std::optional<H> h_;
};

}  // namespace CG
