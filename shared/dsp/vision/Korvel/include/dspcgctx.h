// DSPCGCtx: the common code-generation context of the rotate, corner metric and scale-and-convert blocks.
// Header-only, so each plug-in compiles its own copy. It adds forwarding operations and emitters for
// fixed-point binary-point shifts and square roots to the library's TarnCGCtx; the pure slot stays pure,
// so only the blocks' own contexts are instantiated. Wrong argument types are internal faults reported
// through client_assertion_failed with the source tag "dspcgctx" (generation stops, nothing aborts).
#pragma once

#include <cstdint>

#include "cg/codegen.h"
#include "fxpprops.h"

class DSPCGCtx : public TarnCG::TarnCGCtx {
  public:
    DSPCGCtx(TarnCG::CGHandle* cg, int32_t roundingMode, int32_t overflowMode)
        : TarnCG::TarnCGCtx(cg, roundingMode, overflowMode) {}
    ~DSPCGCtx() override {}

    // Forwarding operations, with the base's meaning.
    CG::Expr getIndexedVar(const CG::Expr& matrix, const CG::Expr& index) {
        return TarnCG::TarnCGCtx::getIndexedVar(matrix, index);
    }
    CG::Expr getIndexedVar(const CG::Expr& matrix, int32_t index) {
        return TarnCG::TarnCGCtx::getIndexedVar(matrix, index);
    }
    CG::Expr castNode(const CG::Expr& e, const CG::Type& type) {
        return TarnCG::TarnCGCtx::castNode(e, type);
    }
    void castAssign(const CG::Expr& dst, const CG::Var& src, const CG::Expr& index) {
        TarnCG::TarnCGCtx::castAssign(dst, src, index);
    }
    void castAssign(const CG::Expr& dst, const CG::Expr& node) { TarnCG::TarnCGCtx::castAssign(dst, node); }
    void castAssign(const CG::Expr& dst, double constant) { TarnCG::TarnCGCtx::castAssign(dst, constant); }
    void plusEq(const CG::Expr& dst, const CG::Expr& e) { TarnCG::TarnCGCtx::plusEq(dst, e); }
    void minusEq(const CG::Expr& dst, const CG::Expr& e) { TarnCG::TarnCGCtx::minusEq(dst, e); }
    CG::Expr plus(const CG::Expr& a, const CG::Expr& b, const CG::Type& type = {}) {
        return TarnCG::TarnCGCtx::plus(a, b, type);
    }
    CG::Expr minus(const CG::Expr& a, const CG::Expr& b, const CG::Type& type = {}) {
        return TarnCG::TarnCGCtx::minus(a, b, type);
    }
    CG::Expr multiply(const CG::Expr& a, const CG::Expr& b, const CG::Type& type = {}) {
        return TarnCG::TarnCGCtx::multiply(a, b, type);
    }

    // The fixed exponent of a fixed-point type; 0 for every other kind.
    static int32_t getFixptExponent(const CG::Type& type) {
        return cg_type_constr_enum_value(type) == 9 ? cg_type_fixed_point_exponent(type) : 0;
    }
    static bool isScaledDoubleType(const CG::Type& type) {
        return cg_type_constr_enum_value(type) == 9 && cg_type_fixed_point_isscaleddouble(type);
    }

    void assignProduct(const CG::Expr& variable, const CG::Expr& a, const CG::Expr& b, const CG::Type& type) {
        castAssign(variable, multiply(a, b, type));
    }
    void accumulateProduct(const CG::Expr& variable, const CG::Expr& a, const CG::Expr& b,
                           const CG::Type& type) {
        plusEq(variable, multiply(a, b, type));
    }

    // variable /= 2^n in place: the stored integer is reread with an exponent n smaller and converted
    // back into the variable's type (with the context's rounding and overflow modes).
    void shiftBinaryPointRight(const CG::Expr& variable, int32_t n) {
        const CG::Type srcType = variable.type();
        if (cg_type_is_double(srcType)) {
            client_assertion_failed("dspcgctx", 280, "!(cg_type_is_double(srcType))");
            return;
        }
        if (cg_type_is_single(srcType)) {
            client_assertion_failed("dspcgctx", 281, "!(cg_type_is_single(srcType))");
            return;
        }
        const bool isComplex = cg_type_is_complex_any(srcType);
        const CG::Type base = isComplex ? cg_type_complex_base_any(srcType) : srcType;
        const bool isSigned = cg_type_numeric_issigned(base);
        const int32_t nbits = cg_type_numeric_nbits(base);
        const int32_t exponent = getFixptExponent(base);
        const bool scaledDouble = isScaledDoubleType(base);
        CG::Type newType;
        if (!isComplex) {
            newType = cg_type_fixed_point_create(isSigned, nbits, exponent - n, 1.0, 0.0, scaledDouble);
        } else {
            fxpDataTypeProp props{};
            props.dataTypeClass = 0;
            props.isSigned = isSigned ? 1 : 0;
            props.wordLength = nbits;
            props.fixedExponent = exponent - n;
            props.slopeAdjustmentFactor = 1.0;
            props.bias = 0.0;
            CG::Type real = getTarnBlock()->CGTypeFromDtProp(props);
            if (scaledDouble && real) real = CG::Type::fixedT(isSigned, nbits, exponent - n, true);
            newType = cg_type_complex_create(real);
        }
        if (!newType) return;
        newType = newType.withName(srcType.name());
        castAssign(variable, reInterpret(variable, newType));
    }

    // y = sqrt(u). A missing type means u's type. Fixed point: the library's square-root intrinsic;
    // double or single: the target's "sqrt" (single variant for single), u of that same type.
    void assignSqrt(const CG::Expr& y, const CG::Expr& u, const CG::Type* type = nullptr) {
        const CG::Type t = type ? *type : u.type();
        if (!cg_type_is_double(t) && !cg_type_is_single(t)) {
            TarnCG::IntrinsicAlgorithm algorithm;
            algorithm.type = t;
            CG::Expr call = getIntrinsicFcnExpr(CG::kIntrinsicSqrt, {base_type(u.type())},
                                                {base_type(y.type())}, {u}, u, algorithm);
            castAssign(y, call);
            return;
        }
        if (cg_type_is_double(t)) {
            if (!cg_type_is_double(u.type())) {
                client_assertion_failed("dspcgctx", 592, "0");
                return;
            }
        } else if (!cg_type_is_single(u.type())) {
            client_assertion_failed("dspcgctx", 599, "0");
            return;
        }
        TarnCG::TargetLibFcnCallPtr sqrtCall = getTargetLibFcnCall("sqrt", 1, 1, t);
        if (!sqrtCall) return;
        sqrtCall->setInput(1, u);
        castAssign(y, sqrtCall->expr());
    }
};
