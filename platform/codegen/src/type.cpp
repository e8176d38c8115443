#include "cg/type.h"

#include "cg/diagnostics.h"

namespace CG {

namespace {
Type makeRep(TypeRep r) {
    return Type(std::make_shared<const TypeRep>(std::move(r)));
}
}  // namespace

TypeKind Type::kind() const {
    return rep_ ? rep_->kind : TypeKind::Invalid;
}
bool Type::isFloat() const {
    return kind() == TypeKind::Double || kind() == TypeKind::Single;
}
bool Type::isIntegerLike() const {
    auto k = kind();
    return k == TypeKind::Integer || k == TypeKind::Boolean ||
           (k == TypeKind::FixedPoint && !rep_->scaledDouble);
}
bool Type::isNumericScalar() const {
    auto k = kind();
    return isFloat() || k == TypeKind::Integer || k == TypeKind::Boolean || k == TypeKind::FixedPoint;
}
bool Type::isComplex() const {
    return kind() == TypeKind::Complex;
}
bool Type::isMatrix() const {
    return kind() == TypeKind::Matrix;
}
bool Type::isPointer() const {
    return kind() == TypeKind::Pointer;
}
Type Type::elem() const {
    return rep_ ? rep_->elem : Type();
}
int64_t Type::length() const {
    return rep_ ? rep_->length : -1;
}

bool Type::sameAs(const Type& o) const {
    if (!rep_ || !o.rep_) return rep_ == o.rep_;
    const TypeRep& a = *rep_;
    const TypeRep& b = *o.rep_;
    if (a.kind != b.kind) return false;
    switch (a.kind) {
        case TypeKind::Integer:
            return a.isSigned == b.isSigned && a.bits == b.bits;
        case TypeKind::FixedPoint:
            return a.isSigned == b.isSigned && a.bits == b.bits && a.exponent == b.exponent &&
                   a.scaledDouble == b.scaledDouble;
        case TypeKind::Complex:
        case TypeKind::Pointer:
            return a.elem.sameAs(b.elem);
        case TypeKind::Matrix:
            return a.elem.sameAs(b.elem) && a.length == b.length;
        default:
            return true;
    }
}

bool Type::isSigned() const {
    if (!rep_) return false;
    if (isComplex()) return rep_->elem.isSigned();
    return rep_->isSigned;
}
int32_t Type::bits() const {
    if (!rep_) return 0;
    if (isComplex()) return rep_->elem.bits();
    return rep_->bits;
}
int32_t Type::exponent() const {
    if (!rep_) return 0;
    if (isComplex()) return rep_->elem.exponent();
    return rep_->exponent;
}
bool Type::isScaledDouble() const {
    if (!rep_) return false;
    if (isComplex()) return rep_->elem.isScaledDouble();
    return rep_->scaledDouble;
}

Type Type::withName(std::string name) const {
    if (!rep_) return *this;
    TypeRep r = *rep_;
    r.name = std::move(name);
    return makeRep(std::move(r));
}

const std::string& Type::name() const {
    static const std::string none;
    return rep_ ? rep_->name : none;
}

Type Type::voidT() {
    return makeRep({TypeKind::Void, false, 0, 0, false, {}, -1, ""});
}
Type Type::doubleT() {
    static const Type t = makeRep({TypeKind::Double, true, 64, 0, false, {}, -1, ""});
    return t;
}
Type Type::singleT() {
    static const Type t = makeRep({TypeKind::Single, true, 32, 0, false, {}, -1, ""});
    return t;
}
Type Type::boolT() {
    static const Type t = makeRep({TypeKind::Boolean, false, 1, 0, false, {}, -1, ""});
    return t;
}
Type Type::intT(bool isSigned, int32_t bits) {
    CG_INTERNAL_ASSERT_RET(bits == 8 || bits == 16 || bits == 32 || bits == 64, Type());
    return makeRep({TypeKind::Integer, isSigned, bits, 0, false, {}, -1, ""});
}
Type Type::fixedT(bool isSigned, int32_t wordLength, int32_t exponent, bool scaledDouble) {
    CG_INTERNAL_ASSERT_RET(wordLength >= 1 && wordLength <= 128, Type());
    return makeRep({TypeKind::FixedPoint, isSigned, wordLength, exponent, scaledDouble, {}, -1, ""});
}
Type Type::complexT(const Type& base) {
    CG_INTERNAL_ASSERT_RET(base.isNumericScalar(), Type());
    return makeRep({TypeKind::Complex, base.isSigned(), base.bits(), base.exponent(), base.isScaledDouble(),
                    base, -1, ""});
}
Type Type::pointerT(const Type& elem) {
    CG_INTERNAL_ASSERT_RET(elem.defined(), Type());
    return makeRep({TypeKind::Pointer, false, 0, 0, false, elem, -1, ""});
}
Type Type::matrixT(const Type& elem, int64_t length) {
    CG_INTERNAL_ASSERT_RET(elem.defined() && !elem.isMatrix(), Type());
    return makeRep({TypeKind::Matrix, false, 0, 0, false, elem, length, ""});
}

std::string typeDisplayName(const Type& t) {
    if (!t.defined()) return "undefined";
    const TypeRep& r = *t.get();
    switch (r.kind) {
        case TypeKind::Void:
            return "void";
        case TypeKind::Double:
            return "double";
        case TypeKind::Single:
            return "single";
        case TypeKind::Boolean:
            return "boolean";
        case TypeKind::Integer:
            return std::string(r.isSigned ? "int" : "uint") + std::to_string(r.bits);
        case TypeKind::FixedPoint:
            return std::string(r.scaledDouble ? "scaled:" : "fixed:") + (r.isSigned ? "s" : "u") +
                   std::to_string(r.bits) + ":" + std::to_string(-r.exponent);
        case TypeKind::Complex:
            return "complex " + typeDisplayName(r.elem);
        case TypeKind::Pointer:
            return typeDisplayName(r.elem) + "*";
        case TypeKind::Matrix:
            return typeDisplayName(r.elem) + "[]";
        default:
            return "invalid";
    }
}

}  // namespace CG

using CG::Type;
using CG::TypeKind;

bool cg_type_is_double(const Type& t) {
    return t.kind() == TypeKind::Double;
}
bool cg_type_is_single(const Type& t) {
    return t.kind() == TypeKind::Single;
}
int32_t cg_type_numeric_nbits(const Type& t) {
    return t.bits();
}
bool cg_type_numeric_issigned(const Type& t) {
    return t.isSigned();
}
int32_t cg_type_constr_enum_value(const Type& t) {
    return static_cast<int32_t>(t.kind());
}
int32_t cg_type_fixed_point_exponent(const Type& t) {
    return t.kind() == TypeKind::FixedPoint ? t.exponent() : 0;
}
bool cg_type_fixed_point_isscaleddouble(const Type& t) {
    return t.kind() == TypeKind::FixedPoint && t.isScaledDouble();
}
bool cg_type_is_complex_any(const Type& t) {
    return t.isComplex();
}
Type cg_type_complex_base_any(const Type& t) {
    return t.isComplex() ? t.elem() : t;
}
Type cg_type_complex_create(const Type& base) {
    return Type::complexT(base);
}
Type cg_type_fixed_point_create(bool isSigned, int32_t nbits, int32_t exponent, double slope, double bias,
                                bool isScaledDouble) {
    CG_INTERNAL_ASSERT_RET(slope == 1.0 && bias == 0.0, Type());
    return Type::fixedT(isSigned, nbits, exponent, isScaledDouble);
}
std::string cg_type_name(const Type& t) {
    return t.name().empty() ? CG::typeDisplayName(t) : t.name();
}
Type base_type(const Type& t) {
    Type b = t;
    while (b.isMatrix() || b.isPointer() || b.isComplex())
        b = b.elem();
    return b;
}
