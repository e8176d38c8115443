// A function under construction: its locals and the stack of open constructs (for, while, if) into which
// statements are appended. Every begin has its end; a mismatch is an internal error, never a crash.
#pragma once

#include <string>
#include <vector>

#include "cg/ir.h"

namespace CG {

class FunctionBuilder {
  public:
    explicit FunctionBuilder(Function* fn) : fn_(fn) {}
    Function& function() { return *fn_; }

    // A local of the function; asking again for a name returns the same local when the type agrees
    // (sections reuse "i", "j"), and is an internal error when it does not.
    Var local(const std::string& name, const Type& type, const Expr& init = {});
    Var param(const std::string& name, const Type& type);
    Var findLocal(const std::string& name) const;

    void append(const Stmt& s);
    void appendExpr(const Expr& e, SrcLoc loc = {});  // an assignment expression or a call
    void comment(const std::string& text, SrcLoc loc = {});

    void beginFor(const Var& v, const Expr& init, const Expr& cond, const Expr& step,
                  const std::string& comment = {}, SrcLoc loc = {});
    void endFor();
    void beginWhile(const std::string& comment = {}, SrcLoc loc = {});
    void whileCond(const Expr& cond);
    void endWhile();
    void beginIf(const Expr& cond, const std::string& comment = {}, SrcLoc loc = {});
    void elseIf(const Expr& cond, const std::string& comment = {}, SrcLoc loc = {});
    void elseBranch(const std::string& comment = {}, SrcLoc loc = {});
    void endIf();
    bool balanced() const { return stack_.empty(); }

  private:
    enum class OpenKind { For, While, If };
    struct Open {
        OpenKind kind;
        std::shared_ptr<ForStmt> forStmt;
        std::shared_ptr<WhileStmt> whileStmt;
        std::shared_ptr<IfStmt> ifStmt;
        bool hasElse = false;
    };
    BlockStmt& current();

    Function* fn_;
    std::vector<Open> stack_;
};

}  // namespace CG
