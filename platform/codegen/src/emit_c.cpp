// The C emitter: one visitor-style pass per function, translating explicitly wherever C's rules differ
// from the IR's (integer promotion, signed overflow, division and shifts, fixed-point scaling, float
// constants written so that they read back bit-exactly).
#include "cg/emit_c.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <unistd.h>

#include "cg/diagnostics.h"

namespace CG {

const char* commonUnitName() {
    return "dravo_common";
}

namespace {

constexpr int kWideBits = 126;   // what the 128-bit helpers may hold safely
constexpr int kNarrowBits = 62;  // what the int64_t helpers may hold safely (the same two bits of margin)

struct FxInfo {
    bool sgn = false;
    int wl = 0;
    int exp = 0;
};

FxInfo fxInfo(const Type& t) {
    if (t.kind() == TypeKind::Boolean) return {false, 1, 0};
    return {t.isSigned(), t.bits(), t.kind() == TypeKind::FixedPoint ? t.exponent() : 0};
}

__int128 pow2(int n) {
    return static_cast<__int128>(1) << n;
}
__int128 maxOf(const FxInfo& f) {
    return f.sgn ? pow2(f.wl - 1) - 1 : pow2(f.wl) - 1;
}
__int128 minOf(const FxInfo& f) {
    return f.sgn ? -pow2(f.wl - 1) : 0;
}

std::string i128ToString(__int128 v) {
    if (v == 0) return "0";
    bool neg = v < 0;
    unsigned __int128 u = neg ? -static_cast<unsigned __int128>(v) : static_cast<unsigned __int128>(v);
    std::string s;
    while (u) {
        s += static_cast<char>('0' + static_cast<int>(u % 10));
        u /= 10;
    }
    if (neg) s += '-';
    std::reverse(s.begin(), s.end());
    return s;
}

bool isFloatish(const Type& t) {
    return t.isFloat() || t.isScaledDouble();
}

// A fixed-point word of more than 64 bits: held in the wide header's 128-bit stored integer.
bool isWideWord(const Type& t) {
    return t.kind() == TypeKind::FixedPoint && !t.isScaledDouble() && t.bits() > 64;
}

std::string stripParens(const std::string& s) {
    if (s.size() < 2 || s.front() != '(' || s.back() != ')') return s;
    int depth = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '(') ++depth;
        if (s[i] == ')') --depth;
        if (depth == 0 && i + 1 < s.size()) return s;
    }
    return s.substr(1, s.size() - 2);
}

std::string commentText(const std::string& text) {
    std::string t = text;
    size_t p;
    while ((p = t.find("*/")) != std::string::npos)
        t.replace(p, 2, "* /");
    while ((p = t.find("/*")) != std::string::npos)
        t.replace(p, 2, "/ *");
    return t;
}

// Collects variables read and written, and utility functions called.
class UseCollector : public IRVisitor {
  public:
    std::set<const VarDecl*> read, written;
    std::vector<Var> order;
    std::set<std::string> utilities;
    bool sizeChecks = false;

    void note(const Var& v) {
        if (!seen_.count(v.get())) {
            seen_.insert(v.get());
            order.push_back(v);
        }
    }

  protected:
    void visit(const VarRefNode& n) override {
        read.insert(n.var.get());
        note(n.var);
    }
    void visit(const AssignStmt& s) override {
        lvalue(s.lhs);
        visitExpr(s.rhs);
    }
    void visit(const AssignNode& n) override {
        lvalue(n.lhs);
        visitExpr(n.rhs);
    }
    void visit(const ForStmt& s) override {
        written.insert(s.var.get());
        note(s.var);
        IRVisitor::visit(s);
    }
    void visit(const CallNode& n) override {
        if (n.callKind == CallKind::Utility) utilities.insert(n.name);
        IRVisitor::visit(n);
    }
    void visit(const SizeCheckStmt& s) override {
        sizeChecks = true;
        IRVisitor::visit(s);
    }
    void visit(const MatrixCopyStmt& s) override {
        lvalueRoot(s.dst);
        visitExpr(s.src);
        visitExpr(s.count);
    }

  private:
    void lvalue(const Expr& e) {
        if (const auto* r = e.as<VarRefNode>()) {
            written.insert(r->var.get());
            note(r->var);
            return;
        }
        lvalueRoot(e);
    }
    void lvalueRoot(const Expr& e) {
        // Element and part writes go through the base, which counts as read (as the C compiler sees it).
        if (const auto* r = e.as<VarRefNode>()) {
            written.insert(r->var.get());
            read.insert(r->var.get());
            note(r->var);
            return;
        }
        if (const auto* el = e.as<ElementNode>()) {
            lvalueRoot(el->base);
            visitExpr(el->index);
            return;
        }
        if (const auto* p = e.as<ComplexPartNode>()) {
            lvalueRoot(p->a);
            return;
        }
        visitExpr(e);
    }
    std::set<const VarDecl*> seen_;
};

class CEmitter {
  public:
    CEmitter(const Unit* unit, const Pool* pool, EmitOptions options)
        : unit_(unit), pool_(pool), opt_(options) {
        if (unit_) {
            id_ = cIdentifier(unit_->desc.name);
            for (auto& m : parameterStruct(unit_->desc))
                members_[m.rtpIndex] = m.member;
        }
    }

    std::string cty(const Type& t);
    std::string expr(const Expr& e);
    std::string convert(const Expr& a, const Type& t, MathModes m, bool targetCast);
    std::string function(const Function& f, const std::string& signature, const UseCollector& uses);
    std::string signature(const Function& f, bool isStatic);
    std::string varName(const Var& v);
    std::string constant(const ConstNode& c);
    std::string valueLiteral(const Type& t, const uint8_t* bytes);
    std::string stepSignature();
    bool rtpTunable(int32_t index) const {
        return unit_ && index >= 0 && index < static_cast<int32_t>(unit_->desc.rtps.size()) &&
               unit_->desc.rtps[index].tunable;
    }
    const std::string& id() const { return id_; }

  private:
    void stmt(const Stmt& s, int indent, std::string& out);
    void body(const BlockStmt& b, int indent, std::string& out);
    std::string tag(SrcLoc loc) const {
        if (!opt_.sourceTags || !loc.file) return "";
        return " /* " + std::string(loc.file) + ":" + std::to_string(loc.line) + " */";
    }
    // A stored integer as an operand of the 128-bit helpers (which the unit then needs).
    std::string wide(const Expr& e) {
        usesWide_ = true;
        if (isWideWord(e.type())) return stripParens(expr(e));
        return (cty(e.type()) == "uint64_t" ? "dvrt_w_u64(" : "dvrt_w_i64(") + stripParens(expr(e)) + ")";
    }
    std::string shifted(const Expr& e, int k) {
        return k == 0 ? wide(e) : "dvrt_w_shl(" + wide(e) + ", " + std::to_string(k) + ")";
    }
    // The same on int64_t, for operations whose intermediates fit in kNarrowBits.
    std::string narrow(const Expr& e) { return "(int64_t)" + expr(e); }
    std::string shifted64(const Expr& e, int k) {
        return k == 0 ? narrow(e) : "dvrt64_shl(" + narrow(e) + ", " + std::to_string(k) + ")";
    }
    // A 128-bit helper's result back into the container of t (the value already fits its word).
    std::string fromWide(const std::string& w, const Type& t) {
        usesWide_ = true;
        if (isWideWord(t)) return w;
        std::string ct = cty(t);
        return "(" + ct + ")" + (ct == "uint64_t" ? "dvrt_w_to_u64(" : "dvrt_w_to_i64(") + w + ")";
    }
    static bool fitsNarrow(std::initializer_list<int> bits) {
        for (int b : bits)
            if (b > kNarrowBits) return false;
        return true;
    }
    std::string fromDouble(const std::string& d, const Type& t, MathModes m) {
        FxInfo r = fxInfo(t);
        std::string args = "(" + stripParens(d) + ", " + std::to_string(r.exp) + ", " + modesArgs(m, r) + ")";
        if (fitsNarrow({r.wl})) return "(" + cty(t) + ")dvrt64_from_double" + args;
        return fromWide("dvrt_from_double" + args, t);
    }
    std::string modesArgs(MathModes m, const FxInfo& r) {
        static const char* rnd[] = {"DVRT_ZERO",     "DVRT_NEAREST", "DVRT_CEIL",      "DVRT_FLOOR",
                                    "DVRT_SIMPLEST", "DVRT_ROUND",   "DVRT_CONVERGENT"};
        int rr = (m.rounding >= 0 && m.rounding <= 6) ? m.rounding : 3;
        return std::string(rnd[rr]) + ", " + (m.overflow == OvfSaturate ? "DVRT_SAT" : "DVRT_WRAP") + ", " +
               std::to_string(r.wl) + ", " + (r.sgn ? "1" : "0");
    }
    bool fitsWide(int bits) {
        if (bits <= kWideBits) return true;
        userError(
            "an intermediate of " + std::to_string(bits) +
            " bits (operand words plus binary-point shift) exceeds the 126 bits generated code computes in");
        return false;
    }
    std::string toDouble(const Expr& e);
    std::string binary(const BinaryNode& n);
    std::string compare(const BinaryNode& n);
    std::string call(const CallNode& n);

  public:
    bool usesWide() const { return usesWide_; }

  private:
    const Unit* unit_;
    const Pool* pool_;
    EmitOptions opt_;
    std::string id_;
    bool usesWide_ = false;
    std::map<int32_t, std::string> members_;  // tunable RTP index -> member of the parameter structure
};

std::string CEmitter::cty(const Type& t) {
    switch (t.kind()) {
        case TypeKind::Double:
            return "double";
        case TypeKind::Single:
            return "float";
        case TypeKind::Boolean:
            return "dv_bool_t";
        case TypeKind::Integer:
            return std::string(t.isSigned() ? "int" : "uint") + std::to_string(t.bits()) + "_t";
        case TypeKind::FixedPoint: {
            if (t.isScaledDouble()) return "double";
            int wl = t.bits();
            if (wl > kWideBits) {
                userError("fixed-point word length " + std::to_string(wl) + " is above " +
                          std::to_string(kWideBits) + " bits, which generated code does not support (" +
                          typeDisplayName(t) + ")");
                return "int64_t";
            }
            if (wl > 64) {
                usesWide_ = true;
                return "dvrt_wide";
            }
            int c = wl <= 8 ? 8 : wl <= 16 ? 16 : wl <= 32 ? 32 : 64;
            return std::string(t.isSigned() ? "int" : "uint") + std::to_string(c) + "_t";
        }
        case TypeKind::Complex: {
            std::string b = cty(t.elem());
            if (b == "dv_bool_t") {
                userError("complex boolean values are not supported in generated code");
                return "dv_complex_uint8_t";
            }
            return "dv_complex_" + b;
        }
        case TypeKind::Matrix:
        case TypeKind::Pointer:
            return cty(t.elem()) + "*";
        case TypeKind::Void:
            return "void";
        default:
            client_assertion_failed("emit_c", __LINE__, "type is defined");
            return "void";
    }
}

std::string doubleLiteral(double v, bool single) {
    // NAN has a clear sign bit; a negative NaN constant keeps its sign through the negation.
    if (std::isnan(v))
        return std::signbit(v) ? (single ? "(-(float)NAN)" : "(-(double)NAN)")
                               : (single ? "((float)NAN)" : "((double)NAN)");
    if (std::isinf(v))
        return v < 0 ? (single ? "(-(float)INFINITY)" : "(-(double)INFINITY)")
                     : (single ? "((float)INFINITY)" : "((double)INFINITY)");
    char buf[64];
    for (int prec = 1; prec <= 17; ++prec) {
        std::snprintf(buf, sizeof buf, "%.*g", prec, v);
        if (single ? (std::strtof(buf, nullptr) == static_cast<float>(v)) : (std::strtod(buf, nullptr) == v))
            break;
    }
    std::string s = buf;
    if (s.find_first_of(".en") == std::string::npos) s += ".0";
    if (single) s += "F";
    return s;
}

std::string intLiteral(__int128 v, const Type& t) {
    int bits = t.kind() == TypeKind::Boolean ? 8 : t.bits();
    int c = bits <= 8 ? 8 : bits <= 16 ? 16 : bits <= 32 ? 32 : 64;
    bool sgn = t.kind() != TypeKind::Boolean && t.isSigned();
    if (c == 64) {
        if (sgn && v == -pow2(63)) return "(-INT64_C(9223372036854775807) - 1)";
        return std::string(sgn ? "INT64_C(" : "UINT64_C(") + i128ToString(v) + ")";
    }
    if (c == 32) {
        if (sgn && v == -pow2(31)) return "(-2147483647 - 1)";
        if (!sgn) return i128ToString(v) + "U";
    }
    return i128ToString(v);
}

// A wide word's value as an expression: one int64_t, or high part * 2^62 + low part.
std::string wideLiteral(__int128 v) {
    const Type i64 = Type::intT(true, 64);
    if (v >= -pow2(63) && v < pow2(63)) return "dvrt_w_i64(" + intLiteral(v, i64) + ")";
    __int128 lo = v & (pow2(62) - 1), hi = (v - lo) / pow2(62);
    return "dvrt_w_add(dvrt_w_shl(dvrt_w_i64(" + intLiteral(hi, i64) + "), 62), dvrt_w_i64(" +
           intLiteral(lo, i64) + "))";
}

std::string CEmitter::constant(const ConstNode& c) {
    const Type& t = c.type;
    if (t.isComplex()) {
        Type b = t.elem();
        auto part = [&](__int128 st, double val) {
            if (isFloatish(b)) return doubleLiteral(val, b.kind() == TypeKind::Single);
            return intLiteral(st, b);
        };
        return "((" + cty(t) + "){" + part(c.stored, c.value) + ", " + part(c.imagStored, c.imagValue) + "})";
    }
    if (isFloatish(t)) return doubleLiteral(c.value, t.kind() == TypeKind::Single);
    cty(t);  // reports unsupported words
    if (isWideWord(t)) return wideLiteral(c.stored);
    return intLiteral(c.stored, t);
}

std::string CEmitter::varName(const Var& v) {
    switch (v->kind) {
        case VarKind::Local:
        case VarKind::Param:
            return v.name();
        case VarKind::Input:
            return "u" + std::to_string(v->index);
        case VarKind::Output:
            return "y" + std::to_string(v->index);
        case VarKind::InputDims:
            return "u" + std::to_string(v->index) + "_dims";
        case VarKind::OutputDims:
            return "y" + std::to_string(v->index) + "_dims";
        case VarKind::Rtp:
            if (!unit_) client_assertion_failed("emit_c", __LINE__, "run-time parameters belong to a unit");
            // Tunable ones are read through the parameter pointer, so a change between steps is seen.
            if (rtpTunable(v->index)) return id_ + "_params->" + members_[v->index];
            return v.name();
        case VarKind::DWork:
            if (!unit_) client_assertion_failed("emit_c", __LINE__, "work vectors belong to a unit");
            return v.name();
    }
    return v.name();
}

std::string CEmitter::toDouble(const Expr& e) {
    Type t = e.type();
    if (t.kind() == TypeKind::Double || t.isScaledDouble()) return expr(e);
    if (t.kind() == TypeKind::Single) return "(double)" + expr(e);
    if (isWideWord(t)) {
        userError("a fixed-point value of more than 64 bits (" + typeDisplayName(t) +
                  ") cannot be converted to floating point in generated code");
        return "0.0";
    }
    FxInfo f = fxInfo(t);
    if (f.exp == 0) return "(double)" + expr(e);
    return "ldexp((double)" + expr(e) + ", " + std::to_string(f.exp) + ")";
}

std::string CEmitter::convert(const Expr& a, const Type& T, MathModes m, bool targetCast) {
    Type S = a.type();
    if (S.sameAs(T)) return expr(a);
    if (T.isComplex()) {
        Type tb = T.elem();
        if (S.isComplex())
            return "((" + cty(T) + "){" +
                   stripParens(convert(ComplexPartNode::make(a, 0), tb, m, targetCast)) + ", " +
                   stripParens(convert(ComplexPartNode::make(a, 1), tb, m, targetCast)) + "})";
        return "((" + cty(T) + "){" + stripParens(convert(a, tb, m, targetCast)) + ", 0})";
    }
    if (S.isComplex()) return convert(ComplexPartNode::make(a, 0), T, m, targetCast);
    if (targetCast && (isWideWord(S) || isWideWord(T))) {
        userError(
            "a plain cast to or from a fixed-point word of more than 64 bits is not supported in "
            "generated code");
        return "0";
    }
    if (targetCast) {
        if (T.kind() == TypeKind::Boolean) return "(" + expr(a) + " != 0)";
        return "(" + cty(T) + ")" + expr(a);
    }
    if (isFloatish(T)) {
        if (isWideWord(S)) return toDouble(a);  // reports it
        if (isFloatish(S)) return cty(S) == cty(T) ? expr(a) : "(" + cty(T) + ")" + expr(a);
        FxInfo f = fxInfo(S);
        if (f.exp == 0) return "(" + cty(T) + ")" + expr(a);
        std::string d = "ldexp((double)" + expr(a) + ", " + std::to_string(f.exp) + ")";
        return T.kind() == TypeKind::Single ? "(float)" + d : d;
    }
    if (T.kind() == TypeKind::Boolean && isWideWord(S)) return "(dvrt_w_sign(" + wide(a) + ") != 0)";
    if (T.kind() == TypeKind::Boolean) {
        if (const auto* k = a.as<ConstNode>())
            return (isFloatish(S) ? k->value != 0.0 : k->stored != 0) ? "1" : "0";
        return "(" + expr(a) + " != 0)";
    }
    FxInfo r = fxInfo(T);
    std::string ct = cty(T);
    if (isFloatish(S)) return fromDouble(toDouble(a), T, m);
    FxInfo s = fxInfo(S);
    int k = s.exp - r.exp;
    if (k >= 0 && k <= 64 && minOf(s) * pow2(k) >= minOf(r) && maxOf(s) * pow2(k) <= maxOf(r)) {
        if (isWideWord(S) || isWideWord(T)) return fromWide(shifted(a, k), T);
        if (k == 0) return cty(S) == ct ? expr(a) : "(" + ct + ")" + expr(a);
        // The value fits the destination word: int64_t holds it unless that is a 64-bit unsigned word.
        if (k <= kNarrowBits && (r.sgn || r.wl <= 63))
            return "(" + ct + ")dvrt64_shl(" + narrow(a) + ", " + std::to_string(k) + ")";
        if (k <= 63 && !r.sgn) return "(" + ct + ")((uint64_t)" + expr(a) + " << " + std::to_string(k) + ")";
        return fromWide("dvrt_w_shl(" + wide(a) + ", " + std::to_string(k) + ")", T);
    }
    if (!fitsWide(s.wl + std::max(k, 0)) || !fitsWide(-k)) return "0";
    std::string args = ", " + std::to_string(k) + ", " + modesArgs(m, r) + ")";
    if (fitsNarrow({s.wl + std::max(k, 0), -k, r.wl}))
        return "(" + ct + ")dvrt64_quantize(" + narrow(a) + args;
    return fromWide("dvrt_quantize(" + wide(a) + args, T);
}

std::string CEmitter::compare(const BinaryNode& n) {
    std::string op = binaryOpSymbol(n.op);
    Type ta = n.a.type(), tb = n.b.type();
    if (ta.isComplex() || tb.isComplex()) {
        Type ct = ta.isComplex() ? ta : tb;
        std::string A = convert(n.a, ct, n.modes, false), B = convert(n.b, ct, n.modes, false);
        Expr ea = n.a, eb = n.b;
        std::string ar =
            expr(ComplexPartNode::make(ta.isComplex() ? n.a : CastNode::make(n.a, ct, n.modes), 0));
        std::string ai =
            expr(ComplexPartNode::make(ta.isComplex() ? n.a : CastNode::make(n.a, ct, n.modes), 1));
        std::string br =
            expr(ComplexPartNode::make(tb.isComplex() ? n.b : CastNode::make(n.b, ct, n.modes), 0));
        std::string bi =
            expr(ComplexPartNode::make(tb.isComplex() ? n.b : CastNode::make(n.b, ct, n.modes), 1));
        if (n.op == BinaryOp::Eq) return "(" + ar + " == " + br + " && " + ai + " == " + bi + ")";
        return "(" + ar + " != " + br + " || " + ai + " != " + bi + ")";
    }
    if (isFloatish(ta) || isFloatish(tb)) {
        if (ta.kind() == TypeKind::Single && tb.kind() == TypeKind::Single)
            return "(" + expr(n.a) + " " + op + " " + expr(n.b) + ")";
        if (ta.kind() == TypeKind::Single && tb.isIntegerLike() && fxInfo(tb).exp == 0 && fxInfo(tb).wl <= 16)
            return "(" + expr(n.a) + " " + op + " " + expr(n.b) + ")";
        return "(" + toDouble(n.a) + " " + op + " " + toDouble(n.b) + ")";
    }
    FxInfo fa = fxInfo(ta), fb = fxInfo(tb);
    // Comparisons the operand's range decides are folded (C compilers warn about them).
    auto folded = [&](const FxInfo& f, const Expr& var, const Expr& c, bool constOnRight) -> std::string {
        const auto* k = c.as<ConstNode>();
        if (!k || var.as<ConstNode>()) return "";
        FxInfo fk = fxInfo(c.type());
        if (fk.exp != f.exp) return "";
        __int128 lo = minOf(f), hi = maxOf(f), v = k->stored;
        BinaryOp o = n.op;
        if (!constOnRight) {  // c op x  ->  x op' c
            if (o == BinaryOp::Lt)
                o = BinaryOp::Gt;
            else if (o == BinaryOp::Gt)
                o = BinaryOp::Lt;
            else if (o == BinaryOp::Le)
                o = BinaryOp::Ge;
            else if (o == BinaryOp::Ge)
                o = BinaryOp::Le;
        }
        switch (o) {
            case BinaryOp::Lt:
                if (v <= lo) return "0";
                if (v > hi) return "1";
                break;
            case BinaryOp::Le:
                if (v < lo) return "0";
                if (v >= hi) return "1";
                break;
            case BinaryOp::Gt:
                if (v >= hi) return "0";
                if (v < lo) return "1";
                break;
            case BinaryOp::Ge:
                if (v > hi) return "0";
                if (v <= lo) return "1";
                break;
            case BinaryOp::Eq:
                if (v < lo || v > hi) return "0";
                break;
            case BinaryOp::Ne:
                if (v < lo || v > hi) return "1";
                break;
            default:
                break;
        }
        return "";
    };
    std::string f1 = folded(fa, n.a, n.b, true);
    if (!f1.empty()) return f1;
    std::string f2 = folded(fb, n.b, n.a, false);
    if (!f2.empty()) return f2;
    auto container = [](const FxInfo& f) { return f.wl <= 8 ? 8 : f.wl <= 16 ? 16 : f.wl <= 32 ? 32 : 64; };
    bool plain = fa.exp == fb.exp && !isWideWord(ta) && !isWideWord(tb);
    if (plain && fa.sgn != fb.sgn) {
        const FxInfo& u = fa.sgn ? fb : fa;
        const FxInfo& s = fa.sgn ? fa : fb;
        plain = container(u) < 32 || container(u) < container(s);
    }
    if (plain) return "(" + expr(n.a) + " " + op + " " + expr(n.b) + ")";
    int e = std::min(fa.exp, fb.exp);
    if (!fitsWide(fa.wl + fa.exp - e) || !fitsWide(fb.wl + fb.exp - e)) return "0";
    if (fitsNarrow({fa.wl + fa.exp - e, fb.wl + fb.exp - e}))
        return "(" + shifted64(n.a, fa.exp - e) + " " + op + " " + shifted64(n.b, fb.exp - e) + ")";
    return "(dvrt_w_cmp(" + shifted(n.a, fa.exp - e) + ", " + shifted(n.b, fb.exp - e) + ") " + op + " 0)";
}

std::string CEmitter::binary(const BinaryNode& n) {
    if (isComparison(n.op)) return compare(n);
    std::string op = binaryOpSymbol(n.op);
    if (isLogical(n.op)) return "(" + expr(n.a) + " " + op + " " + expr(n.b) + ")";
    const Type& R = n.type;
    if (isBitwise(n.op) && (isWideWord(R) || isWideWord(n.a.type()) || isWideWord(n.b.type()))) {
        userError(
            "bitwise operations on fixed-point words of more than 64 bits are not supported in generated "
            "code");
        return "0";
    }
    if (isBitwise(n.op)) {
        std::string A = convert(n.a, R, n.modes, true), B = convert(n.b, R, n.modes, true);
        if (n.op == BinaryOp::Shl) {
            // Unsigned words of int width or more shift without promotion to a signed int; narrower or
            // signed ones go through uint64_t so that no shift is undefined.
            if (!R.isSigned() && R.kind() == TypeKind::Integer && R.bits() >= 32 && n.a.type().sameAs(R))
                return "(" + expr(n.a) + " << " + expr(n.b) + ")";
            return "(" + cty(R) + ")((uint64_t)" + A + " << " + expr(n.b) + ")";
        }
        if (n.op == BinaryOp::Shr) return "(" + cty(R) + ")(" + A + " >> " + expr(n.b) + ")";
        return "(" + cty(R) + ")(" + A + " " + op + " " + B + ")";
    }
    if (R.isComplex()) {
        Type b = R.elem();
        if (!b.isFloat()) {
            userError("complex fixed-point or integer arithmetic is not supported in generated code");
            return "0";
        }
        Expr A = n.a.type().sameAs(R) ? n.a : CastNode::make(n.a, R, n.modes);
        Expr B = n.b.type().sameAs(R) ? n.b : CastNode::make(n.b, R, n.modes);
        std::string ar = expr(ComplexPartNode::make(A, 0)), ai = expr(ComplexPartNode::make(A, 1));
        std::string br = expr(ComplexPartNode::make(B, 0)), bi = expr(ComplexPartNode::make(B, 1));
        std::string lit = "((" + cty(R) + "){";
        if (n.op == BinaryOp::Add) return lit + ar + " + " + br + ", " + ai + " + " + bi + "})";
        if (n.op == BinaryOp::Sub) return lit + ar + " - " + br + ", " + ai + " - " + bi + "})";
        if (n.op == BinaryOp::Mul)
            return lit + ar + " * " + br + " - " + ai + " * " + bi + ", " + ar + " * " + bi + " + " + ai +
                   " * " + br + "})";
        userError("complex division is not supported in generated code");
        return "0";
    }
    if (isFloatish(R)) {
        Type ft = R.isScaledDouble() ? Type::doubleT() : R;
        return "(" + convert(n.a, ft, n.modes, false) + " " + op + " " + convert(n.b, ft, n.modes, false) +
               ")";
    }
    Type ta = n.a.type(), tb = n.b.type();
    FxInfo r = fxInfo(R);
    std::string ct = cty(R);
    if (isFloatish(ta) || isFloatish(tb)) {
        std::string v = "(" + stripParens(toDouble(n.a)) + " " + op + " " + stripParens(toDouble(n.b)) + ")";
        return fromDouble(v, R, n.modes);
    }
    // Index arithmetic and full-width integer arithmetic of one type map onto C directly.
    if (n.modes.overflow == OvfIndex) return "(" + expr(n.a) + " " + op + " " + expr(n.b) + ")";
    bool sameInt = R.kind() == TypeKind::Integer && ta.sameAs(R) && tb.sameAs(R) && R.bits() >= 32;
    if (sameInt) {
        const auto* kb = n.b.as<ConstNode>();
        bool nonzeroConst = kb && kb->stored != 0;
        bool addSubMul = n.op == BinaryOp::Add || n.op == BinaryOp::Sub || n.op == BinaryOp::Mul;
        if (addSubMul && n.modes.overflow == OvfWrap) {
            if (!R.isSigned()) return "(" + expr(n.a) + " " + op + " " + expr(n.b) + ")";
            std::string u = "uint" + std::to_string(R.bits()) + "_t";
            return "(" + ct + ")((" + u + ")" + expr(n.a) + " " + op + " (" + u + ")" + expr(n.b) + ")";
        }
        bool truncates =
            n.modes.rounding == RndZero || n.modes.rounding == RndFloor || n.modes.rounding == RndSimplest;
        if (!R.isSigned() && nonzeroConst && ((n.op == BinaryOp::Div && truncates) || n.op == BinaryOp::Mod))
            return "(" + expr(n.a) + " " + op + " " + expr(n.b) + ")";
    }
    FxInfo fa = fxInfo(ta), fb = fxInfo(tb);
    switch (n.op) {
        case BinaryOp::Add:
        case BinaryOp::Sub: {
            int e = std::min(fa.exp, fb.exp);
            int shift = e - r.exp;
            int bits = std::max(fa.wl + fa.exp - e, fb.wl + fb.exp - e) + 1;
            if (!fitsWide(bits + std::max(shift, 0)) || !fitsWide(-shift)) return "0";
            std::string args = ", " + std::to_string(shift) + ", " + modesArgs(n.modes, r) + ")";
            if (fitsNarrow({bits + std::max(shift, 0), -shift, r.wl}))
                return "(" + ct + ")dvrt64_quantize(" + shifted64(n.a, fa.exp - e) + " " + op + " " +
                       shifted64(n.b, fb.exp - e) + args;
            return fromWide(std::string("dvrt_quantize(") +
                                (n.op == BinaryOp::Add ? "dvrt_w_add(" : "dvrt_w_sub(") +
                                shifted(n.a, fa.exp - e) + ", " + shifted(n.b, fb.exp - e) + ")" + args,
                            R);
        }
        case BinaryOp::Mul: {
            int shift = fa.exp + fb.exp - r.exp;
            if (!fitsWide(fa.wl + fb.wl + std::max(shift, 0)) || !fitsWide(-shift)) return "0";
            std::string args = ", " + std::to_string(shift) + ", " + modesArgs(n.modes, r) + ")";
            if (fitsNarrow({fa.wl + fb.wl + std::max(shift, 0), -shift, r.wl}))
                return "(" + ct + ")dvrt64_quantize(" + narrow(n.a) + " * " + narrow(n.b) + args;
            return fromWide("dvrt_quantize(dvrt_w_mul(" + wide(n.a) + ", " + wide(n.b) + ")" + args, R);
        }
        case BinaryOp::Div: {
            int shift = fa.exp - fb.exp - r.exp;
            if (!fitsWide(fa.wl + std::max(shift, 0)) || !fitsWide(fb.wl + std::max(-shift, 0))) return "0";
            std::string args = ", " + std::to_string(shift) + ", " + modesArgs(n.modes, r) + ")";
            if (fitsNarrow({fa.wl + std::max(shift, 0), fb.wl + std::max(-shift, 0), r.wl}))
                return "(" + ct + ")dvrt64_divide(" + narrow(n.a) + ", " + narrow(n.b) + args;
            return fromWide("dvrt_divide(" + wide(n.a) + ", " + wide(n.b) + args, R);
        }
        case BinaryOp::Mod: {
            if (fa.exp != 0 || fb.exp != 0 || r.exp != 0) {
                userError(
                    "remainder of fixed-point values with fraction bits is not supported in generated code");
                return "0";
            }
            std::string args = std::string(", ") +
                               (n.modes.overflow == OvfSaturate ? "DVRT_SAT" : "DVRT_WRAP") + ", " +
                               std::to_string(r.wl) + ", " + (r.sgn ? "1" : "0") + ")";
            if (fitsNarrow({fa.wl, fb.wl, r.wl}))
                return "(" + ct + ")dvrt64_overflow(dvrt64_rem(" + narrow(n.a) + ", " + narrow(n.b) + ")" +
                       args;
            return fromWide("dvrt_overflow(dvrt_rem(" + wide(n.a) + ", " + wide(n.b) + ")" + args, R);
        }
        default:
            break;
    }
    client_assertion_failed("emit_c", __LINE__, "arithmetic operator");
    return "0";
}

std::string CEmitter::call(const CallNode& n) {
    const Type& R = n.type;
    if (n.callKind == CallKind::TargetLib) {
        std::vector<std::string> args;
        for (auto& a : n.args)
            args.push_back(stripParens(convert(a, R, n.modes, false)));
        if (R.isFloat()) {
            bool single = R.kind() == TypeKind::Single;
            std::string name = n.name;
            if (name == "max") name = "fmax";
            if (name == "min") name = "fmin";
            if (single) name += "f";
            std::string s = name + "(";
            for (size_t i = 0; i < args.size(); ++i)
                s += (i ? ", " : "") + args[i];
            return s + ")";
        }
        if ((n.name == "max" || n.name == "min") && args.size() == 2 && !isWideWord(R)) {
            std::string A = convert(n.args[0], R, n.modes, false), B = convert(n.args[1], R, n.modes, false);
            return "(" + A + (n.name == "max" ? " > " : " < ") + B + " ? " + A + " : " + B + ")";
        }
        userError("target function \"" + n.name + "\" is available for floating-point types only");
        return "0";
    }
    if (n.callKind == CallKind::Intrinsic) {
        if (n.intrinsic == kIntrinsicSqrt) {
            const Expr& a = n.args[0];
            if (R.isFloat()) {
                std::string A = stripParens(convert(a, R, n.modes, false));
                return (R.kind() == TypeKind::Single ? "sqrtf(" : "sqrt(") + A + ")";
            }
            FxInfo r = fxInfo(R);
            if (isFloatish(a.type())) return fromDouble("sqrt(" + stripParens(toDouble(a)) + ")", R, n.modes);
            FxInfo fa = fxInfo(a.type());
            int k = fa.exp - 2 * r.exp;
            if (!fitsWide(fa.wl + std::max(k, 0) + 1) || !fitsWide(-k)) return "0";
            std::string args = ", " + std::to_string(fa.exp) + ", " + std::to_string(r.exp) + ", " +
                               modesArgs(n.modes, r) + ")";
            if (fitsNarrow({fa.wl + std::max(k, 0) + 1, -k, r.wl}))
                return "(" + cty(R) + ")dvrt64_sqrt(" + narrow(a) + args;
            return fromWide("dvrt_sqrt(" + wide(a) + args, R);
        }
        std::string s;
        for (auto& a : n.args) {
            if (!isFloatish(a.type())) continue;
            s += (s.empty() ? "" : " || ") + std::string("isinf(") + stripParens(expr(a)) + ")";
        }
        return s.empty() ? "0" : "(" + s + ")";
    }
    // Utility function of the pool.
    const Function* f = pool_ ? const_cast<Pool*>(pool_)->find(n.name) : nullptr;
    if (!f) {
        client_assertion_failed("emit_c", __LINE__, "utility function exists in the pool");
        return "0";
    }
    std::string s = n.name + "(";
    for (size_t i = 0; i < n.args.size(); ++i) {
        const Expr& a = n.args[i];
        Type pt = f->params[i].type();
        std::string A;
        if (pt.isPointer() && !a.type().isMatrix() && !a.type().isPointer())
            A = "&" + expr(a);
        else if (pt.isMatrix() || pt.isPointer())
            A = expr(a);
        else
            A = stripParens(convert(a, pt, n.modes, false));
        s += (i ? ", " : "") + A;
    }
    return s + ")";
}

std::string CEmitter::expr(const Expr& e) {
    if (!e) {
        client_assertion_failed("emit_c", __LINE__, "expression is defined");
        return "0";
    }
    switch (e->kind) {
        case ExprKind::Const:
            return constant(*e.as<ConstNode>());
        case ExprKind::VarRef:
            return varName(e.as<VarRefNode>()->var);
        case ExprKind::Element: {
            const auto* n = e.as<ElementNode>();
            return expr(n->base) + "[" + stripParens(expr(n->index)) + "]";
        }
        case ExprKind::ComplexPart: {
            const auto* n = e.as<ComplexPartNode>();
            return expr(n->a) + (n->part == 0 ? ".re" : ".im");
        }
        case ExprKind::Unary: {
            const auto* n = e.as<UnaryNode>();
            if (n->op == UnaryOp::Not) return "(!" + expr(n->a) + ")";
            if (n->op == UnaryOp::BitNot && isWideWord(n->type)) {
                userError(
                    "bitwise operations on fixed-point words of more than 64 bits are not supported in "
                    "generated code");
                return "0";
            }
            if (n->op == UnaryOp::BitNot) return "(" + cty(n->type) + ")(~" + expr(n->a) + ")";
            const Type& R = n->type;
            if (R.isComplex()) {
                Expr A = n->a.type().sameAs(R) ? n->a : CastNode::make(n->a, R, n->modes);
                return "((" + cty(R) + "){-" + expr(ComplexPartNode::make(A, 0)) + ", -" +
                       expr(ComplexPartNode::make(A, 1)) + "})";
            }
            if (isFloatish(R))
                return "(-" + convert(n->a, R.isScaledDouble() ? Type::doubleT() : R, n->modes, false) + ")";
            if (n->modes.overflow == OvfIndex) return "(-" + expr(n->a) + ")";
            if (isFloatish(n->a.type())) {
                return fromDouble("-" + toDouble(n->a), R, n->modes);
            }
            FxInfo fa = fxInfo(n->a.type()), r = fxInfo(R);
            int shift = fa.exp - r.exp;
            if (!fitsWide(fa.wl + 1 + std::max(shift, 0)) || !fitsWide(-shift)) return "0";
            std::string args = ", " + std::to_string(shift) + ", " + modesArgs(n->modes, r) + ")";
            if (fitsNarrow({fa.wl + 1 + std::max(shift, 0), -shift, r.wl}))
                return "(" + cty(R) + ")dvrt64_quantize(-" + narrow(n->a) + args;
            return fromWide("dvrt_quantize(dvrt_w_neg(" + wide(n->a) + ")" + args, R);
        }
        case ExprKind::Binary:
            return binary(*e.as<BinaryNode>());
        case ExprKind::Cast: {
            const auto* n = e.as<CastNode>();
            return convert(n->a, n->type, n->modes, n->targetCast);
        }
        case ExprKind::Reinterpret: {
            const auto* n = e.as<ReinterpretNode>();
            std::string from = cty(n->a.type()), to = cty(n->type);
            // A scaled double holds the real-world value: rereading its stored integer with another
            // exponent scales the value.
            if (n->type.isScaledDouble() && n->a.type().isScaledDouble() && !n->type.isComplex() &&
                n->type.exponent() != n->a.type().exponent())
                return "ldexp(" + expr(n->a) + ", " +
                       std::to_string(n->type.exponent() - n->a.type().exponent()) + ")";
            if (from == to) return expr(n->a);
            if (isWideWord(n->type) || isWideWord(n->a.type())) {
                userError(
                    "reinterpreting fixed-point words of more than 64 bits is not supported in generated "
                    "code");
                return "0";
            }
            if (n->type.isComplex())
                return "((" + to + "){(" + cty(n->type.elem()) + ")" + expr(ComplexPartNode::make(n->a, 0)) +
                       ", (" + cty(n->type.elem()) + ")" + expr(ComplexPartNode::make(n->a, 1)) + "})";
            return "(" + to + ")" + expr(n->a);
        }
        case ExprKind::Select: {
            const auto* n = e.as<SelectNode>();
            return "(" + expr(n->cond) + " ? " + expr(n->a) + " : " + expr(n->b) + ")";
        }
        case ExprKind::Call:
            return call(*e.as<CallNode>());
        case ExprKind::Assign: {
            const auto* n = e.as<AssignNode>();
            return "(" + expr(n->lhs) + " = " + stripParens(expr(n->rhs)) + ")";
        }
    }
    return "0";
}

void CEmitter::body(const BlockStmt& b, int indent, std::string& out) {
    for (auto& s : b.body)
        stmt(s, indent, out);
}

void CEmitter::stmt(const Stmt& s, int indent, std::string& out) {
    std::string pad(indent * 4, ' ');
    switch (s->kind) {
        case StmtKind::Block:
            body(*s->as<BlockStmt>(), indent, out);
            break;
        case StmtKind::Assign: {
            const auto* a = s->as<AssignStmt>();
            out += pad + expr(a->lhs) + " = " + stripParens(expr(a->rhs)) + ";" + tag(s->loc) + "\n";
            break;
        }
        case StmtKind::Eval:
            out += pad + stripParens(expr(s->as<EvalStmt>()->e)) + ";" + tag(s->loc) + "\n";
            break;
        case StmtKind::Comment:
            out += pad + "/* " + commentText(s->as<CommentStmt>()->text) + " */" + tag(s->loc) + "\n";
            break;
        case StmtKind::For: {
            const auto* f = s->as<ForStmt>();
            if (!f->comment.empty()) out += pad + "/* " + commentText(f->comment) + " */\n";
            std::string v = varName(f->var);
            std::string step;
            const auto* k = f->step.as<ConstNode>();
            if (k && k->stored == 1)
                step = v + "++";
            else if (k && k->stored == -1)
                step = v + "--";
            else if (k && k->stored < 0)
                step = v + " -= " + i128ToString(-k->stored);
            else
                step = v + " += " + stripParens(expr(f->step));
            out += pad + "for (" + v + " = " + stripParens(expr(f->init)) + "; " +
                   stripParens(expr(f->cond)) + "; " + step + ") {" + tag(s->loc) + "\n";
            body(*f->body, indent + 1, out);
            out += pad + "}  /* for " + v + " */\n";
            break;
        }
        case StmtKind::While: {
            const auto* w = s->as<WhileStmt>();
            if (!w->comment.empty()) out += pad + "/* " + commentText(w->comment) + " */\n";
            out += pad + "while (" + stripParens(expr(w->cond)) + ") {" + tag(s->loc) + "\n";
            body(*w->body, indent + 1, out);
            out += pad + "}  /* while */\n";
            break;
        }
        case StmtKind::If: {
            const auto* i = s->as<IfStmt>();
            for (size_t b = 0; b < i->branches.size(); ++b) {
                const IfBranch& br = i->branches[b];
                std::string head = b == 0 ? "if (" : br.cond ? "} else if (" : "} else";
                if (br.cond) head += stripParens(expr(br.cond)) + ")";
                out += pad + head + " {" + tag(br.loc) + "\n";
                if (!br.comment.empty()) out += pad + "    /* " + commentText(br.comment) + " */\n";
                body(*br.body, indent + 1, out);
            }
            out += pad + "}\n";
            break;
        }
        case StmtKind::SizeCheck: {
            const auto* c = s->as<SizeCheckStmt>();
            out += pad + "if (" + expr(c->a) + " != " + expr(c->b) + ") {" + tag(s->loc) + "\n";
            out +=
                pad + "    " + (id_.empty() ? std::string("dravo_common") : id_) + "_sizeCheckFailures++;\n";
            out += pad + "}\n";
            break;
        }
        case StmtKind::MatrixCopy: {
            const auto* c = s->as<MatrixCopyStmt>();
            out += pad + "memcpy(" + expr(c->dst) + ", " + expr(c->src) + ", (size_t)" + expr(c->count) +
                   " * sizeof(" + cty(c->dst.type().elem()) + "));" + tag(s->loc) + "\n";
            break;
        }
    }
}

std::string CEmitter::signature(const Function& f, bool isStatic) {
    UseCollector uses;
    uses.visitBody(*f.body);
    std::string s = std::string(isStatic ? "static " : "") +
                    (f.returnType.defined() ? cty(f.returnType) : "void") + " " + f.name + "(";
    if (f.params.empty()) s += "void";
    for (size_t i = 0; i < f.params.size(); ++i) {
        const Var& p = f.params[i];
        Type t = p.type();
        std::string decl;
        if (t.isMatrix() || t.isPointer()) {
            Type el = t.elem();
            if (el.isMatrix()) el = el.elem();
            bool written = uses.written.count(p.get()) != 0 || t.isPointer();
            decl = std::string(written ? "" : "const ") + cty(el) + "* " + p.name();
        } else {
            decl = cty(t) + " " + p.name();
        }
        s += (i ? ", " : "") + decl;
    }
    return s + ")";
}

std::string CEmitter::stepSignature() {
    std::string s = "void " + id_ + "_step(";
    std::vector<std::string> ps;
    const BlockDesc& d = unit_->desc;
    for (const auto* sigs : {&d.inputs, &d.outputs})
        for (const SignalDesc& sd : *sigs)
            if (isWideWord(base_type(sd.elemType)))
                userError("fixed-point word length " + std::to_string(base_type(sd.elemType).bits()) +
                          " is above 64 bits, which generated code does not support in ports (" +
                          typeDisplayName(sd.elemType) + ")");
    for (size_t i = 0; i < d.inputs.size(); ++i) {
        // Ports never overlap (the caller owns separate buffers), so the pointers are restrict.
        ps.push_back("const " + cty(d.inputs[i].elemType) + "* restrict u" + std::to_string(i));
        if (d.inputs[i].variableSize) ps.push_back("const int32_t* u" + std::to_string(i) + "_dims");
    }
    for (size_t i = 0; i < d.outputs.size(); ++i) {
        ps.push_back(cty(d.outputs[i].elemType) + "* restrict y" + std::to_string(i));
        if (d.outputs[i].variableSize) ps.push_back("int32_t* y" + std::to_string(i) + "_dims");
    }
    if (ps.empty()) ps.push_back("void");
    for (size_t i = 0; i < ps.size(); ++i)
        s += (i ? ", " : "") + ps[i];
    return s + ")";
}

std::string CEmitter::function(const Function& f, const std::string& sig, const UseCollector& uses) {
    std::string out;
    if (!f.comment.empty()) out += "/* " + commentText(f.comment) + " */\n";
    out += sig + "\n{\n";
    bool any = false;
    for (auto& l : f.locals) {
        if (!uses.read.count(l.get()) && !uses.written.count(l.get()) && !(f.returnVar == l)) continue;
        Type t = l.type();
        std::string init;
        if (l->init) init = stripParens(expr(l->init));
        if (t.isMatrix()) {
            out += "    " + cty(t.elem()) + " " + l.name() + "[" +
                   std::to_string(std::max<int64_t>(t.length(), 1)) + "] = {" +
                   (t.elem().isComplex() ? "{0, 0}" : "0") + "};\n";
        } else {
            if (init.empty()) init = t.isComplex() ? "{0, 0}" : isWideWord(t) ? "dvrt_w_i64(0)" : "0";
            out += "    " + cty(t) + " " + l.name() + " = " + init + ";\n";
        }
        any = true;
    }
    // Parameters and locals the body never reads are marked used, so -Wall -Wextra stays quiet.
    std::string voids;
    for (auto& p : f.params)
        if (!uses.read.count(p.get())) voids += "    (void)" + p.name() + ";\n";
    for (auto& l : f.locals)
        if (uses.written.count(l.get()) && !uses.read.count(l.get()) && !(f.returnVar == l))
            voids += "    (void)" + l.name() + ";\n";
    if (!voids.empty()) out += voids;
    if (any || !voids.empty()) out += "\n";
    std::string b;
    body(*f.body, 1, b);
    out += b;
    if (f.returnVar) out += "    return " + f.returnVar.name() + ";\n";
    out += "}\n";
    return out;
}

std::string CEmitter::valueLiteral(const Type& t, const uint8_t* p) {
    if (t.isComplex()) {
        size_t sz = 0;
        Type b = t.elem();
        std::string c = cty(b);
        sz = c == "double"  ? 8
             : c == "float" ? 4
                            : (b.bits() <= 8    ? 1
                               : b.bits() <= 16 ? 2
                               : b.bits() <= 32 ? 4
                                                : 8);
        return "{" + valueLiteral(b, p) + ", " + valueLiteral(b, p + sz) + "}";
    }
    if (t.kind() == TypeKind::Double || t.isScaledDouble()) {
        double v;
        std::memcpy(&v, p, 8);
        return doubleLiteral(v, false);
    }
    if (t.kind() == TypeKind::Single) {
        float v;
        std::memcpy(&v, p, 4);
        return doubleLiteral(v, true);
    }
    if (isWideWord(t)) {
        userError("fixed-point word length " + std::to_string(t.bits()) +
                  " is above 64 bits, which generated code does not support in run-time parameters (" +
                  typeDisplayName(t) + ")");
        return "0";
    }
    FxInfo f = fxInfo(t);
    int bytes = f.wl <= 8 ? 1 : f.wl <= 16 ? 2 : f.wl <= 32 ? 4 : f.wl <= 64 ? 8 : 16;
    unsigned __int128 u = 0;
    for (int i = bytes - 1; i >= 0; --i)
        u = (u << 8) | p[i];
    __int128 v = static_cast<__int128>(u);
    if (f.sgn && bytes < 16 && (u >> (bytes * 8 - 1)) & 1) v -= pow2(bytes * 8);
    return intLiteral(v, t);
}

}  // namespace

std::vector<ParamMember> parameterStruct(const BlockDesc& desc) {
    std::vector<ParamMember> out;
    std::set<std::string> taken;
    for (size_t i = 0; i < desc.rtps.size(); ++i) {
        const DataDesc& r = desc.rtps[i];
        if (!r.tunable) continue;
        ParamMember m;
        m.rtpIndex = static_cast<int32_t>(i);
        m.member = cIdentifier(r.name);
        if (taken.count(m.member)) m.member += "_" + std::to_string(i);
        taken.insert(m.member);
        {
            // A type the target cannot hold is reported when the unit is emitted, not by this query.
            Diagnostics quiet;
            DiagnosticsScope scope(quiet);
            m.cType = cTypeName(r.elemType);
        }
        m.count = std::max(r.width, 1);
        m.bytes = storageBytes(r.elemType) * static_cast<size_t>(m.count);
        out.push_back(std::move(m));
    }
    return out;
}

std::string paramStructType(const Unit& unit) {
    return cIdentifier(unit.desc.name) + "_params_t";
}
std::string paramPointerName(const Unit& unit) {
    return cIdentifier(unit.desc.name) + "_params";
}
std::string paramDefaultName(const Unit& unit) {
    return cIdentifier(unit.desc.name) + "_params_default";
}
std::string paramSetterName(const Unit& unit) {
    return cIdentifier(unit.desc.name) + "_set_params";
}

size_t storageBytes(const Type& t) {
    if (t.isComplex()) return 2 * storageBytes(t.elem());
    if (t.kind() == TypeKind::Double || t.isScaledDouble()) return 8;
    if (t.kind() == TypeKind::Single) return 4;
    if (t.kind() == TypeKind::Boolean) return 1;
    int wl = t.bits();
    return wl <= 8 ? 1 : wl <= 16 ? 2 : wl <= 32 ? 4 : wl <= 64 ? 8 : 16;
}

std::string cTypeName(const Type& t) {
    CEmitter e(nullptr, nullptr, {});
    return e.cty(t);
}

std::vector<EmittedFile> emitUnit(const Unit& unit, const EmitOptions& options) {
    CEmitter em(&unit, unit.pool.get(), options);
    const std::string& id = em.id();
    const BlockDesc& d = unit.desc;

    UseCollector all;
    all.visitBody(*unit.start.body);
    all.visitBody(*unit.step.body);
    all.visitBody(*unit.terminate.body);
    for (auto& fnp : {&unit.start, &unit.step, &unit.terminate})
        for (auto& l : fnp->locals)
            if (l->init) all.visitExpr(l->init);

    std::string c;
    c += "/* Generated code for block instance \"" + commentText(d.name) + "\"" +
         (d.blockType.empty() ? "" : " (" + commentText(d.blockType) + ")") + ". */\n";
    c += "#include \"" + id + ".h\"\n\n#include <math.h>\n#include <string.h>\n\n#include \"dravo_rt.h\"\n";
    if (!all.utilities.empty()) c += "#include \"" + std::string(commonUnitName()) + ".h\"\n";
    c += "\n";

    auto values = [&](const DataDesc& r) {
        size_t sz = storageBytes(r.elemType);
        std::string vals;
        size_t n = static_cast<size_t>(std::max(r.width, 1));
        for (size_t i = 0; i < n; ++i) {
            std::string lit = (i + 1) * sz <= r.bytes.size()
                                  ? em.valueLiteral(r.elemType, r.bytes.data() + i * sz)
                                  : (r.elemType.isComplex() ? "{0, 0}" : "0");
            vals += (i ? (i % 8 == 0 ? ",\n        " : ", ") : "") + lit;
        }
        return vals;
    };

    std::string rtps, dws, hdrParams, params;
    std::vector<ParamMember> members = parameterStruct(d);
    if (!members.empty()) {
        std::string type = paramStructType(unit), ptr = paramPointerName(unit), def = paramDefaultName(unit);
        hdrParams += "\n/* Tunable run-time parameters. The step reads them through " + ptr +
                     ", which points at\n   " + def + " (the values the simulation started with) until " +
                     paramSetterName(unit) +
                     " points it at\n   another instance; change them between steps only. */\n";
        hdrParams += "typedef struct {\n";
        std::string init;
        for (size_t i = 0; i < members.size(); ++i) {
            const ParamMember& m = members[i];
            const DataDesc& r = d.rtps[m.rtpIndex];
            em.cty(r.elemType);  // reports a type the target cannot hold
            hdrParams += "    " + m.cType + " " + m.member + "[" + std::to_string(m.count) + "];  /* \"" +
                         commentText(r.name) + "\" */\n";
            init += std::string(i ? ",\n" : "") + "    /* \"" + commentText(r.name) + "\" */\n    {" +
                    values(r) + "}";
        }
        hdrParams += "} " + type + ";\n";
        hdrParams += "extern const " + type + " " + def + ";\n";
        hdrParams += "extern const " + type + "* " + ptr + ";\n";
        hdrParams += "/* Makes the step read *params from its next call on (NULL: the defaults). */\n";
        hdrParams += "void " + paramSetterName(unit) + "(const " + type + "* params);\n";
        params += "/* Tunable run-time parameters, by default the values the simulation started with. */\n";
        params += "const " + type + " " + def + " = {\n" + init + "\n};\n";
        params += "const " + type + "* " + ptr + " = &" + def + ";\n\n";
        params += "void " + paramSetterName(unit) + "(const " + type + "* params)\n{\n    " + ptr +
                  " = params ? params : &" + def + ";\n}\n\n";
    }
    for (auto& v : all.order) {
        if (v->kind == VarKind::Rtp) {
            const DataDesc& r = d.rtps[v->index];
            if (r.tunable) continue;  // in the parameter structure
            size_t n = static_cast<size_t>(std::max(r.width, 1));
            std::string arr = em.varName(v) + "[" + std::to_string(n) + "]";
            rtps += "/* \"" + commentText(r.name) + "\" */\n";
            std::string vals = values(r);
            for (size_t p; (p = vals.find("\n        ")) != std::string::npos;)
                vals.replace(p, 9, "\n    ");
            rtps += "static const " + em.cty(r.elemType) + " " + arr + " = {\n    " + vals + "\n};\n";
        } else if (v->kind == VarKind::DWork) {
            const DataDesc& w = d.dworks[v->index];
            dws += "static " + em.cty(w.elemType) + " " + em.varName(v) + "[" +
                   std::to_string(std::max(w.width, 1)) + "];  /* \"" + commentText(w.name) + "\" */\n";
        }
    }
    c += params;
    if (!rtps.empty()) c += "/* Run-time parameters, with the values the simulation used. */\n" + rtps + "\n";
    if (!dws.empty()) c += "/* Work vectors. */\n" + dws + "\n";
    c += "int32_t " + id + "_sizeCheckFailures = 0;\n\n";

    auto fn = [&](const Function& f, const std::string& sig) {
        UseCollector u;
        u.visitBody(*f.body);
        for (auto& l : f.locals)
            if (l->init) u.visitExpr(l->init);
        return em.function(f, sig, u);
    };
    c += fn(unit.start, "void " + id + "_start(void)") + "\n";
    c += fn(unit.step, em.stepSignature()) + "\n";
    c += fn(unit.terminate, "void " + id + "_terminate(void)");

    std::string guard = id;
    for (auto& ch : guard)
        ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    std::string h;
    h += "/* Generated code for block instance \"" + commentText(d.name) + "\". */\n";
    h += "#ifndef " + guard + "_H\n#define " + guard +
         "_H\n\n#include <stdint.h>\n\n#include \"dravo_rt.h\"\n\n";
    h += "void " + id + "_start(void);\n";
    h += em.stepSignature() + ";\n";
    h += "void " + id + "_terminate(void);\n\n";
    h += "/* Number of failed run-time size checks since load. */\nextern int32_t " + id +
         "_sizeCheckFailures;\n";
    h += hdrParams;
    h += "\n#endif /* " + guard + "_H */\n";

    if (generationFailed()) return {};
    if (!em.usesWide()) return {{id + ".h", h}, {id + ".c", c}};
    // Only units whose intermediates need them carry the 128-bit helpers.
    std::string rt = "#include \"" + std::string(runtimeHeaderName()) + "\"\n";
    c.insert(c.find(rt) + rt.size(), "#include \"" + std::string(wideHeaderName()) + "\"\n");
    return {{id + ".h", h}, {id + ".c", c}, {wideHeaderName(), wideHeaderText()}};
}

std::vector<EmittedFile> emitCommon(const Pool& pool, const EmitOptions& options) {
    CEmitter em(nullptr, &pool, options);
    std::string h =
        "/* Utility functions shared by the generated units. */\n#ifndef DRAVO_COMMON_H\n#define "
        "DRAVO_COMMON_H\n\n"
        "#include <stdint.h>\n\n#include \"dravo_rt.h\"\n\n";
    std::string c =
        "/* Utility functions shared by the generated units. */\n#include \"dravo_common.h\"\n\n#include "
        "<math.h>\n#include <string.h>\n\n";
    for (auto& f : pool.functions()) {
        std::string sig = em.signature(*f, false);
        h += sig + ";\n";
        UseCollector u;
        u.visitBody(*f->body);
        for (auto& l : f->locals)
            if (l->init) u.visitExpr(l->init);
        c += em.function(*f, sig, u) + "\n";
    }
    h += "\n#endif /* DRAVO_COMMON_H */\n";
    if (generationFailed()) return {};
    std::vector<EmittedFile> files = {{std::string(runtimeHeaderName()), runtimeHeaderText()},
                                      {std::string(commonUnitName()) + ".h", h}};
    if (em.usesWide()) {
        std::string at = "#include <string.h>\n\n";
        c.insert(c.find(at) + at.size(), "#include \"" + std::string(wideHeaderName()) + "\"\n\n");
        files.push_back({wideHeaderName(), wideHeaderText()});
    }
    files.push_back({std::string(commonUnitName()) + ".c", c});
    return files;
}

bool writeUnit(const Unit& unit, const std::string& dir, std::string* error, const EmitOptions& options) {
    Diagnostics diag;
    std::vector<EmittedFile> files;
    {
        DiagnosticsScope scope(diag);
        files = emitUnit(unit, options);
        auto common = emitCommon(*unit.pool, options);
        files.insert(files.end(), common.begin(), common.end());
    }
    if (diag.failed()) {
        if (error) *error = "block '" + unit.desc.name + "': " + diag.error().message();
        return false;
    }
    std::string werr;
    if (!writeFilesAtomically(dir, files, &werr)) {
        if (error) *error = "block '" + unit.desc.name + "': " + werr;
        return false;
    }
    return true;
}

bool writeFilesAtomically(const std::string& dir, const std::vector<EmittedFile>& files, std::string* error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) {
        if (error) *error = "cannot create folder " + dir + ": " + ec.message();
        return false;
    }
    fs::path scratch = fs::path(dir) / (".dravo-codegen-" + std::to_string(::getpid()));
    fs::remove_all(scratch, ec);
    fs::create_directory(scratch, ec);
    if (ec) {
        if (error) *error = "cannot write into " + dir + ": " + ec.message();
        return false;
    }
    std::set<std::string> names;
    std::vector<const EmittedFile*> unique;
    for (auto& f : files)  // a unit and the common unit may both bring the same header
        if (names.insert(f.name).second) unique.push_back(&f);
    for (const EmittedFile* f : unique) {
        std::ofstream os(scratch / f->name, std::ios::binary);
        os << f->text;
        os.close();
        if (!os) {
            if (error) *error = "cannot write " + (fs::path(dir) / f->name).string();
            fs::remove_all(scratch, ec);
            return false;
        }
    }
    for (const EmittedFile* f : unique) {
        fs::rename(scratch / f->name, fs::path(dir) / f->name, ec);
        if (ec) {
            if (error) *error = "cannot move " + f->name + " into " + dir + ": " + ec.message();
            fs::remove_all(scratch, ec);
            return false;
        }
    }
    fs::remove_all(scratch, ec);
    return true;
}

}  // namespace CG
