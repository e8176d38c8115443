// Types of the code-generation IR. A CG::Type is a small immutable value: a scalar kind (double, single,
// built-in integer, boolean, fixed point, scaled double), optionally complex, or a pointer/matrix over an
// element type. Fixed-point types carry signedness, word length and fixed exponent (value = stored x 2^exp).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace CG {

enum class TypeKind : int32_t {
    Invalid = 0,
    Void = 1,
    Double = 2,
    Single = 3,
    Integer = 4,  // built-in intN / uintN
    Boolean = 5,
    FixedPoint = 9,  // also scaled doubles (flag below); the constructor kind blocks test for
    Pointer = 10,
    Matrix = 11,
    Complex = 12,
};

struct TypeRep;

class Type {
  public:
    Type() = default;  // invalid (an unset type)
    explicit Type(std::shared_ptr<const TypeRep> r) : rep_(std::move(r)) {}

    bool defined() const { return rep_ != nullptr; }
    explicit operator bool() const { return defined(); }
    const TypeRep* get() const { return rep_.get(); }
    const TypeRep* operator->() const { return rep_.get(); }

    TypeKind kind() const;
    bool isFloat() const;        // double or single (real)
    bool isIntegerLike() const;  // integer, boolean or fixed point (not scaled double), real
    bool isNumericScalar() const;
    bool isComplex() const;
    bool isMatrix() const;
    bool isPointer() const;
    Type elem() const;                 // element of a matrix or pointer; base of a complex
    int64_t length() const;            // matrix length; -1 when unknown at generation
    bool sameAs(const Type& o) const;  // structural equality, ignoring names
    bool operator==(const Type& o) const { return sameAs(o); }
    bool operator!=(const Type& o) const { return !sameAs(o); }

    // Scalar properties (integer, boolean and fixed point; floats report 64/32 bits, signed).
    bool isSigned() const;
    int32_t bits() const;
    int32_t exponent() const;
    bool isScaledDouble() const;

    // Keeps the type, with a new display name (kept by reinterpretations that derive a type).
    Type withName(std::string name) const;
    const std::string& name() const;

    static Type voidT();
    static Type doubleT();
    static Type singleT();
    static Type boolT();
    static Type intT(bool isSigned, int32_t bits);  // 8, 16, 32, 64
    // Word length 1..128 (the C target accepts at most 64, checked when emitting).
    static Type fixedT(bool isSigned, int32_t wordLength, int32_t exponent, bool scaledDouble = false);
    static Type complexT(const Type& base);
    static Type pointerT(const Type& elem);
    static Type matrixT(const Type& elem, int64_t length);  // length -1: unknown at generation

  private:
    std::shared_ptr<const TypeRep> rep_;
};

struct TypeRep {
    TypeKind kind = TypeKind::Invalid;
    bool isSigned = true;
    int32_t bits = 0;
    int32_t exponent = 0;
    bool scaledDouble = false;
    Type elem;  // pointer/matrix element, complex base
    int64_t length = -1;
    std::string name;  // display name; empty: derived
};

// Human-readable name: "double", "single", "int16", "uint8", "boolean", "fixed:s16:12", "scaled:s16:12",
// "complex double", "double[]", "double*".
std::string typeDisplayName(const Type& t);

}  // namespace CG

// ---- Type queries (free functions, as blocks call them) -------------------------------------------------
bool cg_type_is_double(const CG::Type& t);
bool cg_type_is_single(const CG::Type& t);
int32_t cg_type_numeric_nbits(const CG::Type& t);
bool cg_type_numeric_issigned(const CG::Type& t);
int32_t cg_type_constr_enum_value(const CG::Type& t);  // 9: fixed point
int32_t cg_type_fixed_point_exponent(const CG::Type& t);
bool cg_type_fixed_point_isscaleddouble(const CG::Type& t);
bool cg_type_is_complex_any(const CG::Type& t);
CG::Type cg_type_complex_base_any(const CG::Type& t);  // the type itself when real
CG::Type cg_type_complex_create(const CG::Type& base);
// slope must be 1.0 and bias 0.0 (other scalings are refused through the assertion hook).
CG::Type cg_type_fixed_point_create(bool isSigned, int32_t nbits, int32_t exponent, double slope, double bias,
                                    bool isScaledDouble);
std::string cg_type_name(const CG::Type& t);
CG::Type base_type(const CG::Type& t);  // strips matrix/pointer and complex down to the scalar
