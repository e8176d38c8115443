// The IR: typed expression trees and structured statements with comments, functions with parameters
// and locals. Nodes are small immutable structs made only through their checked factories (make), which
// record a generation error and return an undefined handle when operands are undefined or types disagree.
// A visitor base walks children by default; passes override what they care about.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cg/type.h"

namespace CG {

// Rounding codes (as blocks pass them): 0 toward zero, 1 nearest (ties toward +inf), 2 ceiling, 3 floor,
// 4 simplest, 5 round (ties away from zero), 6 convergent. Overflow: 0 wrap, 1 saturate.
enum RoundingMode : int32_t {
    RndZero = 0,
    RndNearest = 1,
    RndCeil = 2,
    RndFloor = 3,
    RndSimplest = 4,
    RndRound = 5,
    RndConvergent = 6
};
enum OverflowMode : int32_t { OvfWrap = 0, OvfSaturate = 1, OvfIndex = -1 };
// OvfIndex marks int32 index arithmetic: plain C arithmetic, overflow is a fault of the generated
// algorithm (caught by the sanitizer in tests), not a mode.

struct MathModes {
    int32_t rounding = RndFloor;
    int32_t overflow = OvfWrap;
};

// Where a construct came from (block source tag and line), for traceability in generated code.
struct SrcLoc {
    const char* file = nullptr;
    int line = 0;
};

enum class ExprKind {
    Const,
    VarRef,
    Element,
    Unary,
    Binary,
    Cast,
    Reinterpret,
    Select,
    Call,
    ComplexPart,
    Assign
};
enum class VarKind { Local, Param, Input, Output, DWork, Rtp, InputDims, OutputDims };

struct ExprNode;
class Expr {
  public:
    Expr() = default;
    explicit Expr(std::shared_ptr<const ExprNode> n) : node_(std::move(n)) {}
    bool defined() const { return node_ != nullptr; }
    explicit operator bool() const { return defined(); }
    const ExprNode* get() const { return node_.get(); }
    const ExprNode* operator->() const { return node_.get(); }
    Type type() const;
    template <typename T>
    const T* as() const;
    bool isLValue() const;

  private:
    std::shared_ptr<const ExprNode> node_;
};

struct VarDecl {
    std::string name;
    Type type;
    VarKind kind = VarKind::Local;
    int32_t index = -1;  // port, DWork, RTP or parameter index
    Expr init;           // locals: optional initial value
};

// A named variable: local, function parameter, port signal, work vector or run-time parameter.
class Var {
  public:
    Var() = default;
    explicit Var(std::shared_ptr<const VarDecl> d) : decl_(std::move(d)) {}
    static Var make(std::string name, Type type, VarKind kind, int32_t index = -1, Expr init = {});
    bool defined() const { return decl_ != nullptr; }
    explicit operator bool() const { return defined(); }
    const VarDecl* operator->() const { return decl_.get(); }
    const VarDecl* get() const { return decl_.get(); }
    const std::string& name() const;
    Type type() const;
    Expr ref() const;  // the variable as an expression (an lvalue)
    operator Expr() const { return ref(); }
    bool operator==(const Var& o) const { return decl_ == o.decl_; }

  private:
    std::shared_ptr<const VarDecl> decl_;
};

struct ExprNode {
    ExprKind kind;
    Type type;
    explicit ExprNode(ExprKind k, Type t) : kind(k), type(std::move(t)) {}
    virtual ~ExprNode() = default;
};

template <typename T>
const T* Expr::as() const {
    return node_ && node_->kind == T::kKind ? static_cast<const T*>(node_.get()) : nullptr;
}

// A constant. Integer-like types keep the stored integer (fixed point: the stored integer), floats the
// value, complex types both parts.
struct ConstNode : ExprNode {
    static constexpr ExprKind kKind = ExprKind::Const;
    __int128 stored = 0;  // integer, boolean, fixed point
    double value = 0.0;   // floats, scaled doubles
    double imagValue = 0.0;
    __int128 imagStored = 0;
    ConstNode(Type t) : ExprNode(kKind, std::move(t)) {}
    // Real-world value of an integer-like or float constant.
    static Expr makeInt(const Type& t, int64_t v);   // stored integer
    static Expr makeValue(const Type& t, double v);  // real-world value, quantised (nearest, saturate)
    static Expr makeComplex(const Type& t, double re, double im);
    double realWorld() const;
};

struct VarRefNode : ExprNode {
    static constexpr ExprKind kKind = ExprKind::VarRef;
    Var var;
    VarRefNode(Var v) : ExprNode(kKind, v.type()), var(std::move(v)) {}
    static Expr make(const Var& v);
};

// base[index]: element of a matrix or through a pointer (deref is index 0); an lvalue when base is.
struct ElementNode : ExprNode {
    static constexpr ExprKind kKind = ExprKind::Element;
    Expr base, index;
    ElementNode(Type t, Expr b, Expr i)
        : ExprNode(kKind, std::move(t)), base(std::move(b)), index(std::move(i)) {}
    static Expr make(const Expr& base, const Expr& index);
};

enum class UnaryOp { Neg, Not, BitNot };
struct UnaryNode : ExprNode {
    static constexpr ExprKind kKind = ExprKind::Unary;
    UnaryOp op;
    Expr a;
    MathModes modes;
    UnaryNode(Type t, UnaryOp o, Expr x, MathModes m)
        : ExprNode(kKind, std::move(t)), op(o), a(std::move(x)), modes(m) {}
    static Expr make(UnaryOp op, const Expr& a, const Type& resultType, MathModes modes);
};

enum class BinaryOp {
    Add,
    Sub,
    Mul,
    Div,
    Mod,
    Eq,
    Ne,
    Lt,
    Le,
    Gt,
    Ge,
    And,
    Or,
    BitAnd,
    BitOr,
    BitXor,
    Shl,
    Shr
};
bool isComparison(BinaryOp op);
bool isLogical(BinaryOp op);
bool isBitwise(BinaryOp op);
const char* binaryOpSymbol(BinaryOp op);

// Arithmetic is exact on the operands' real-world values, then quantised once into the result type with
// the node's modes; comparisons compare exact values; bitwise operators act on stored integers.
struct BinaryNode : ExprNode {
    static constexpr ExprKind kKind = ExprKind::Binary;
    BinaryOp op;
    Expr a, b;
    MathModes modes;
    BinaryNode(Type t, BinaryOp o, Expr x, Expr y, MathModes m)
        : ExprNode(kKind, std::move(t)), op(o), a(std::move(x)), b(std::move(y)), modes(m) {}
    // resultType may be undefined: then the natural type (see natural result type in the builders).
    static Expr make(BinaryOp op, const Expr& a, const Expr& b, const Type& resultType, MathModes modes);
};

// Value conversion into `type` with the given modes. `targetCast` marks the target's plain cast (C's
// conversion: truncation toward zero, value assumed in range), used where the algorithm asks for it.
struct CastNode : ExprNode {
    static constexpr ExprKind kKind = ExprKind::Cast;
    Expr a;
    MathModes modes;
    bool targetCast = false;
    CastNode(Type t, Expr x, MathModes m, bool tc)
        : ExprNode(kKind, std::move(t)), a(std::move(x)), modes(m), targetCast(tc) {}
    static Expr make(const Expr& a, const Type& type, MathModes modes, bool targetCast = false);
};

// The same stored integer read as another type (another fixed exponent, or another container of the same
// width class): no value conversion happens. With container change the stored bits move between
// containers of possibly different sizes (sign or zero extension by the source's signedness).
struct ReinterpretNode : ExprNode {
    static constexpr ExprKind kKind = ExprKind::Reinterpret;
    Expr a;
    bool containerChange = false;
    ReinterpretNode(Type t, Expr x, bool cc)
        : ExprNode(kKind, std::move(t)), a(std::move(x)), containerChange(cc) {}
    static Expr make(const Expr& a, const Type& type, bool containerChange);
};

struct SelectNode : ExprNode {
    static constexpr ExprKind kKind = ExprKind::Select;
    Expr cond, a, b;
    SelectNode(Type t, Expr c, Expr x, Expr y)
        : ExprNode(kKind, std::move(t)), cond(std::move(c)), a(std::move(x)), b(std::move(y)) {}
    static Expr make(const Expr& cond, const Expr& a, const Expr& b);
};

enum class CallKind { TargetLib, Intrinsic, Utility };
// Intrinsic numbers the library knows.
enum : int32_t { kIntrinsicSqrt = 16, kIntrinsicIsInfAny = 28 };

struct CallNode : ExprNode {
    static constexpr ExprKind kKind = ExprKind::Call;
    CallKind callKind;
    std::string name;  // target function ("sin", "max"), utility function name
    int32_t intrinsic = -1;
    std::vector<Expr> args;
    MathModes modes;
    CallNode(Type t, CallKind k) : ExprNode(kKind, std::move(t)), callKind(k) {}
    static Expr makeTargetLib(const std::string& name, std::vector<Expr> args, const Type& resultType);
    static Expr makeIntrinsic(int32_t id, std::vector<Expr> args, const Type& resultType, MathModes modes);
    static Expr makeUtility(const std::string& name, std::vector<Expr> args, const Type& resultType);
};

// Real (part 0) or imaginary (part 1) part of a complex value; an lvalue when the operand is.
struct ComplexPartNode : ExprNode {
    static constexpr ExprKind kKind = ExprKind::ComplexPart;
    Expr a;
    int part = 0;
    ComplexPartNode(Type t, Expr x, int p) : ExprNode(kKind, std::move(t)), a(std::move(x)), part(p) {}
    static Expr make(const Expr& a, int part);
};

// An assignment used as an expression (what assignE builds); appended, it becomes an assignment statement.
// rhs already has lhs's type.
struct AssignNode : ExprNode {
    static constexpr ExprKind kKind = ExprKind::Assign;
    Expr lhs, rhs;
    AssignNode(Type t, Expr l, Expr r)
        : ExprNode(kKind, std::move(t)), lhs(std::move(l)), rhs(std::move(r)) {}
    static Expr make(const Expr& lhs, const Expr& rhs);
};

// ---- Statements -----------------------------------------------------------------------------------------
enum class StmtKind { Block, Assign, Eval, For, While, If, Comment, SizeCheck, MatrixCopy };

struct StmtNode;
using Stmt = std::shared_ptr<const StmtNode>;

struct StmtNode {
    StmtKind kind;
    SrcLoc loc;
    explicit StmtNode(StmtKind k, SrcLoc l = {}) : kind(k), loc(l) {}
    virtual ~StmtNode() = default;
    template <typename T>
    const T* as() const {
        return kind == T::kKind ? static_cast<const T*>(this) : nullptr;
    }
};

struct BlockStmt : StmtNode {
    static constexpr StmtKind kKind = StmtKind::Block;
    std::vector<Stmt> body;
    BlockStmt() : StmtNode(kKind) {}
};

// lhs = rhs; rhs already has lhs's type (builders insert the conversion).
struct AssignStmt : StmtNode {
    static constexpr StmtKind kKind = StmtKind::Assign;
    Expr lhs, rhs;
    AssignStmt(Expr l, Expr r, SrcLoc loc) : StmtNode(kKind, loc), lhs(std::move(l)), rhs(std::move(r)) {}
    static Stmt make(const Expr& lhs, const Expr& rhs, SrcLoc loc = {});
};

struct EvalStmt : StmtNode {
    static constexpr StmtKind kKind = StmtKind::Eval;
    Expr e;
    EvalStmt(Expr x, SrcLoc loc) : StmtNode(kKind, loc), e(std::move(x)) {}
};

// for (var = init; cond; var += step) body.
struct ForStmt : StmtNode {
    static constexpr StmtKind kKind = StmtKind::For;
    Var var;
    Expr init, cond, step;
    std::shared_ptr<BlockStmt> body;
    std::string comment;
    ForStmt(SrcLoc loc) : StmtNode(kKind, loc) {}
};

struct WhileStmt : StmtNode {
    static constexpr StmtKind kKind = StmtKind::While;
    Expr cond;
    std::shared_ptr<BlockStmt> body;
    std::string comment;
    WhileStmt(SrcLoc loc) : StmtNode(kKind, loc) {}
};

struct IfBranch {
    Expr cond;  // undefined for the final else
    std::shared_ptr<BlockStmt> body;
    std::string comment;
    SrcLoc loc;
};
struct IfStmt : StmtNode {
    static constexpr StmtKind kKind = StmtKind::If;
    std::vector<IfBranch> branches;
    IfStmt(SrcLoc loc) : StmtNode(kKind, loc) {}
};

struct CommentStmt : StmtNode {
    static constexpr StmtKind kKind = StmtKind::Comment;
    std::string text;
    CommentStmt(std::string t, SrcLoc loc) : StmtNode(kKind, loc), text(std::move(t)) {}
};

// Run-time check that two int32 sizes agree; a mismatch is counted in the unit's error counter.
struct SizeCheckStmt : StmtNode {
    static constexpr StmtKind kKind = StmtKind::SizeCheck;
    Expr a, b;
    SizeCheckStmt(Expr x, Expr y, SrcLoc loc) : StmtNode(kKind, loc), a(std::move(x)), b(std::move(y)) {}
};

// Whole-signal copy of `count` elements between matrices of the same element type.
struct MatrixCopyStmt : StmtNode {
    static constexpr StmtKind kKind = StmtKind::MatrixCopy;
    Expr dst, src, count;
    MatrixCopyStmt(Expr d, Expr s, Expr c, SrcLoc loc)
        : StmtNode(kKind, loc), dst(std::move(d)), src(std::move(s)), count(std::move(c)) {}
};

// ---- Functions --------------------------------------------------------------------------------------------
struct Function {
    std::string name;
    std::string comment;
    std::vector<Var> params;  // inputs, then outputs (pointers) in declaration order
    Type returnType;          // undefined: void
    std::vector<Var> locals;
    std::shared_ptr<BlockStmt> body = std::make_shared<BlockStmt>();
    Var returnVar;  // utility functions with one scalar output return it
    bool empty() const { return body->body.empty(); }
};

// ---- Visitor -----------------------------------------------------------------------------------------------
class IRVisitor {
  public:
    virtual ~IRVisitor() = default;
    void visitExpr(const Expr& e);
    void visitStmt(const Stmt& s);
    void visitBody(const BlockStmt& b);

  protected:
    virtual void visit(const ConstNode&) {}
    virtual void visit(const VarRefNode&) {}
    virtual void visit(const ElementNode& n) {
        visitExpr(n.base);
        visitExpr(n.index);
    }
    virtual void visit(const UnaryNode& n) { visitExpr(n.a); }
    virtual void visit(const BinaryNode& n) {
        visitExpr(n.a);
        visitExpr(n.b);
    }
    virtual void visit(const CastNode& n) { visitExpr(n.a); }
    virtual void visit(const ReinterpretNode& n) { visitExpr(n.a); }
    virtual void visit(const SelectNode& n) {
        visitExpr(n.cond);
        visitExpr(n.a);
        visitExpr(n.b);
    }
    virtual void visit(const CallNode& n) {
        for (auto& a : n.args)
            visitExpr(a);
    }
    virtual void visit(const ComplexPartNode& n) { visitExpr(n.a); }
    virtual void visit(const AssignNode& n) {
        visitExpr(n.lhs);
        visitExpr(n.rhs);
    }

    virtual void visit(const AssignStmt& s) {
        visitExpr(s.lhs);
        visitExpr(s.rhs);
    }
    virtual void visit(const EvalStmt& s) { visitExpr(s.e); }
    virtual void visit(const ForStmt& s);
    virtual void visit(const WhileStmt& s);
    virtual void visit(const IfStmt& s);
    virtual void visit(const CommentStmt&) {}
    virtual void visit(const SizeCheckStmt& s) {
        visitExpr(s.a);
        visitExpr(s.b);
    }
    virtual void visit(const MatrixCopyStmt& s) {
        visitExpr(s.dst);
        visitExpr(s.src);
        visitExpr(s.count);
    }
};

}  // namespace CG
