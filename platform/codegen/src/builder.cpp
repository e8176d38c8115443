#include "cg/builder.h"

#include "cg/diagnostics.h"

namespace CG {

Var FunctionBuilder::findLocal(const std::string& name) const {
    for (auto& v : fn_->locals)
        if (v.name() == name) return v;
    return Var();
}

Var FunctionBuilder::local(const std::string& name, const Type& type, const Expr& init) {
    CG_INTERNAL_ASSERT_RET(type.defined() && !name.empty(), Var());
    if (Var existing = findLocal(name)) {
        CG_INTERNAL_ASSERT_RET(existing.type().sameAs(type), Var());
        return existing;
    }
    for (auto& p : fn_->params)
        CG_INTERNAL_ASSERT_RET(p.name() != name, Var());
    if (init) CG_INTERNAL_ASSERT_RET(init.type().sameAs(type) && init.as<ConstNode>(), Var());
    Var v = Var::make(name, type, VarKind::Local, -1, init);
    if (v) fn_->locals.push_back(v);
    return v;
}

Var FunctionBuilder::param(const std::string& name, const Type& type) {
    Var v = Var::make(name, type, VarKind::Param, static_cast<int32_t>(fn_->params.size()));
    if (v) fn_->params.push_back(v);
    return v;
}

BlockStmt& FunctionBuilder::current() {
    if (stack_.empty()) return *fn_->body;
    Open& o = stack_.back();
    switch (o.kind) {
        case OpenKind::For:
            return *o.forStmt->body;
        case OpenKind::While:
            return *o.whileStmt->body;
        case OpenKind::If:
            return *o.ifStmt->branches.back().body;
    }
    return *fn_->body;
}

void FunctionBuilder::append(const Stmt& s) {
    if (!s || generationFailed()) return;
    current().body.push_back(s);
}

void FunctionBuilder::appendExpr(const Expr& e, SrcLoc loc) {
    if (!e) {
        CG_INTERNAL_ASSERT_RET(e.defined(), );
    }
    if (const auto* a = e.as<AssignNode>()) {
        append(AssignStmt::make(a->lhs, a->rhs, loc));
        return;
    }
    CG_INTERNAL_ASSERT_RET(e.as<CallNode>() != nullptr, );
    append(std::make_shared<EvalStmt>(e, loc));
}

void FunctionBuilder::comment(const std::string& text, SrcLoc loc) {
    append(std::make_shared<CommentStmt>(text, loc));
}

void FunctionBuilder::beginFor(const Var& v, const Expr& init, const Expr& cond, const Expr& step,
                               const std::string& comment, SrcLoc loc) {
    CG_INTERNAL_ASSERT_RET(v.defined() && init.defined() && cond.defined() && step.defined(), );
    CG_INTERNAL_ASSERT_RET(
        v.type().isIntegerLike() && init.type().sameAs(v.type()) && step.type().sameAs(v.type()), );
    auto f = std::make_shared<ForStmt>(loc);
    f->var = v;
    f->init = init;
    f->cond = cond;
    f->step = step;
    f->body = std::make_shared<BlockStmt>();
    f->comment = comment;
    stack_.push_back({OpenKind::For, f, nullptr, nullptr, false});
}

void FunctionBuilder::endFor() {
    CG_INTERNAL_ASSERT_RET(!stack_.empty() && stack_.back().kind == OpenKind::For, );
    Stmt s = stack_.back().forStmt;
    stack_.pop_back();
    append(s);
}

void FunctionBuilder::beginWhile(const std::string& comment, SrcLoc loc) {
    auto w = std::make_shared<WhileStmt>(loc);
    w->body = std::make_shared<BlockStmt>();
    w->comment = comment;
    stack_.push_back({OpenKind::While, nullptr, w, nullptr, false});
}

void FunctionBuilder::whileCond(const Expr& cond) {
    CG_INTERNAL_ASSERT_RET(!stack_.empty() && stack_.back().kind == OpenKind::While, );
    CG_INTERNAL_ASSERT_RET(cond.defined(), );
    stack_.back().whileStmt->cond = cond;
}

void FunctionBuilder::endWhile() {
    CG_INTERNAL_ASSERT_RET(!stack_.empty() && stack_.back().kind == OpenKind::While, );
    CG_INTERNAL_ASSERT_RET(stack_.back().whileStmt->cond.defined(), );
    Stmt s = stack_.back().whileStmt;
    stack_.pop_back();
    append(s);
}

void FunctionBuilder::beginIf(const Expr& cond, const std::string& comment, SrcLoc loc) {
    CG_INTERNAL_ASSERT_RET(cond.defined(), );
    auto i = std::make_shared<IfStmt>(loc);
    i->branches.push_back({cond, std::make_shared<BlockStmt>(), comment, loc});
    stack_.push_back({OpenKind::If, nullptr, nullptr, i, false});
}

void FunctionBuilder::elseIf(const Expr& cond, const std::string& comment, SrcLoc loc) {
    CG_INTERNAL_ASSERT_RET(!stack_.empty() && stack_.back().kind == OpenKind::If && !stack_.back().hasElse, );
    CG_INTERNAL_ASSERT_RET(cond.defined(), );
    stack_.back().ifStmt->branches.push_back({cond, std::make_shared<BlockStmt>(), comment, loc});
}

void FunctionBuilder::elseBranch(const std::string& comment, SrcLoc loc) {
    CG_INTERNAL_ASSERT_RET(!stack_.empty() && stack_.back().kind == OpenKind::If && !stack_.back().hasElse, );
    stack_.back().hasElse = true;
    stack_.back().ifStmt->branches.push_back({Expr(), std::make_shared<BlockStmt>(), comment, loc});
}

void FunctionBuilder::endIf() {
    CG_INTERNAL_ASSERT_RET(!stack_.empty() && stack_.back().kind == OpenKind::If, );
    Stmt s = stack_.back().ifStmt;
    stack_.pop_back();
    append(s);
}

}  // namespace CG
