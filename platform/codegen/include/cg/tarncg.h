// TarnCG: the code generator's handle for one block instance and the context base a block's mdlTarnCG
// builds its IR through. constructCode() runs the phases into the unit's functions:
//   start, initialize           -> <unit>_start
//   setAllDims, output, update  -> <unit>_step
//   terminate                   -> <unit>_terminate
// The continuous-time and enable/disable phases have no place in the C target: code emitted there is a
// generation error. Errors never abort: the first one is recorded in the handle's diagnostics.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cg/builder.h"
#include "cg/unit.h"
#include "fxpprops.h"

namespace sysobj {
class SysObjAdaptorSFun;
}

namespace TarnCG {

class CGHandle;

// The block as the code generator sees it: constants and host data types as IR types.
class TarnBlock {
  public:
    explicit TarnBlock(CGHandle* cg) : cg_(cg) {}
    CG::Expr CreateConst(int32_t v) const;
    CG::Expr CreateConst(float v) const;
    CG::Expr CreateConst(double v) const;
    CG::Type CGTypeFromDtProp(int32_t dataTypeId) const;
    CG::Type CGTypeFromDtProp(const fxpDataTypeProp& props) const;

  private:
    CGHandle* cg_;
};

class CGHandle {
  public:
    explicit CGHandle(CG::BlockDesc desc, std::shared_ptr<CG::Pool> pool = nullptr,
                      CG::DataTypeResolver resolver = {});
    CG::Unit& unit() { return unit_; }
    const CG::Unit& unit() const { return unit_; }
    CG::Diagnostics& diagnostics() { return diag_; }
    const CG::Diagnostics& diagnostics() const { return diag_; }
    TarnBlock& block() { return block_; }
    CG::Type typeFromId(int32_t dataTypeId) const;
    void setBlockHandle(sysobj::SysObjAdaptorSFun* S) { S_ = S; }
    sysobj::SysObjAdaptorSFun* blockHandle() const { return S_; }
    // True once a context ran constructCode() on this handle.
    bool constructed() const { return constructed_; }
    void markConstructed() { constructed_ = true; }

  private:
    CG::Unit unit_;
    CG::Diagnostics diag_;
    CG::DataTypeResolver resolver_;
    TarnBlock block_;
    sysobj::SysObjAdaptorSFun* S_ = nullptr;
    bool constructed_ = false;
};

// A call of a target math function whose inputs are set one by one (counting from 1).
class TargetLibFcnCall {
  public:
    TargetLibFcnCall(std::string name, int32_t numInputs, CG::Type type)
        : name_(std::move(name)), inputs_(numInputs), type_(std::move(type)) {}
    void setInput(int32_t oneBasedIndex, const CG::Expr& e);
    CG::Expr expr() const;  // undefined (and an error) while an input is missing
    const std::string& name() const { return name_; }

  private:
    std::string name_;
    std::vector<CG::Expr> inputs_;
    CG::Type type_;
};
using TargetLibFcnCallPtr = std::shared_ptr<TargetLibFcnCall>;

struct IntrinsicAlgorithm {
    CG::Type type;  // the type the intrinsic computes in
};

// A context builds into its handle's unit: it must not outlive the handle.
class TarnCGCtx {
  public:
    TarnCGCtx(CGHandle* cg, int32_t roundingMode, int32_t overflowMode);

    // Phases, in slot order.
    virtual void start() {}
    virtual void virtualOutportStart() {}
    virtual void initialize() {}
    virtual void output() {}
    virtual void update() {}
    virtual void derivative() {}
    virtual void projection() {}
    virtual void forcingFunction() {}
    virtual void massMatrix() {}
    virtual void zerocrossings() {}
    virtual void enable() {}
    virtual void disable() {}
    virtual void setAllDims();  // default: a variable-size output takes input 0's current dimensions
    virtual void setDims() {}
    virtual void terminate() {}
    virtual void testInterface() {}
    virtual ~TarnCGCtx();
    // Every block context implements this by calling setIRSupported(): it declares that the context
    // builds its code as IR. constructCode() refuses a context that did not.
    virtual void declareIRSupport() = 0;
    virtual TargetLibFcnCallPtr getTargetLibFcnCallCGNode(const std::string& name, int32_t numInputs,
                                                          int32_t numOutputs, const CG::Type& type);
    virtual TargetLibFcnCallPtr getTargetLibFcnCallCGNodeIfExist(const std::string& name, int32_t numInputs,
                                                                 int32_t numOutputs, const CG::Type& type);

    // Runs the phases; returns false when generation failed (the handle's diagnostics say why).
    bool constructCode();

    CGHandle* cgHandle() const { return cg_; }
    int32_t roundingMode() const { return modes_.rounding; }
    int32_t overflowMode() const { return modes_.overflow; }
    CG::MathModes mathModes() const { return modes_; }

    // ---- Variables ------------------------------------------------------------------------------------------
    CG::Var createLocal(const std::string& name, int32_t dataTypeId);
    CG::Var createLocal(const std::string& name, const CG::Type& type, int32_t width = 1);
    CG::Var getInputRef(int32_t port);  // the port's elements as a matrix
    CG::Var getOutputVar(int32_t port);
    CG::Var getDWorkRef(int32_t index);
    CG::Var getParamRef(int32_t index);  // run-time parameter by index
    CG::Var getInputDims(int32_t port);  // current dimensions of a variable-size input (int32 matrix)
    CG::Var getOutputDims(int32_t port);
    CG::Expr getIndexedVar(const CG::Expr& matrix, const CG::Expr& index);
    CG::Expr getIndexedVar(const CG::Expr& matrix, int32_t index);
    // A named constant: a local initialised to value in `type`.
    CG::Var getConst(const std::string& name, double value, const CG::Type& type);
    TarnBlock* getTarnBlock() { return &cg_->block(); }
    CG::Pool& getPool();
    CG::Type getType(const CG::Expr& e) const { return e.type(); }

    // ---- Structure -----------------------------------------------------------------------------------------
    void beginFor(const CG::Var& var, const CG::Expr& start, const CG::Expr& end, int32_t step = 1);
    void beginFor(const CG::Var& var, int32_t start, const CG::Expr& end, int32_t step = 1);
    void endFor();
    void beginWhile();
    void whileExpr(const CG::Expr& cond);
    void endWhile();
    void If(const CG::Expr& cond);
    void ElseIf(const CG::Expr& cond);
    void Else();
    void EndIf();
    void comment(const std::string& text);
    void appendNode(const CG::Stmt& s);
    void appendExpr(const CG::Expr& e);

    // ---- Arithmetic with the context's modes ---------------------------------------------------------------------
    void castAssign(const CG::Expr& dst, const CG::Var& src, const CG::Expr& index);
    void castAssign(const CG::Expr& dst, const CG::Expr& node);
    void castAssign(const CG::Expr& dst, double constant);
    CG::Expr castNode(const CG::Expr& e, const CG::Type& type);
    CG::Expr plus(const CG::Expr& a, const CG::Expr& b, const CG::Type& type = {});
    CG::Expr minus(const CG::Expr& a, const CG::Expr& b, const CG::Type& type = {});
    CG::Expr multiply(const CG::Expr& a, const CG::Expr& b, const CG::Type& type = {});
    CG::Expr divide(const CG::Expr& a, const CG::Expr& b, const CG::Type& type = {});
    CG::Expr unaryMinus(const CG::Expr& a, const CG::Type& type = {});
    void plusEq(const CG::Expr& dst, const CG::Expr& e);
    void minusEq(const CG::Expr& dst, const CG::Expr& e);
    void increment(const CG::Expr& dst);
    void decrement(const CG::Expr& dst);
    // Run-time check that two sizes agree (a mismatch is counted by the unit).
    void insertSizeEqCheck1D(const CG::Expr& a, const CG::Expr& b);
    TargetLibFcnCallPtr getTargetLibFcnCall(const std::string& name, int32_t numInputs, int32_t numOutputs,
                                            const CG::Type& type);
    CG::Expr getIntrinsicFcnExpr(int32_t id, const std::vector<CG::Type>& inputTypes,
                                 const std::vector<CG::Type>& outputTypes,
                                 const std::vector<CG::Expr>& inputs, const CG::Expr& inputRef,
                                 const IntrinsicAlgorithm& algorithm);
    // The stored bits of e read as `type`, moving between containers (sign/zero extension by e's type).
    CG::Expr reInterpretWithContainerChange(const CG::Expr& e, const CG::Type& type);
    CG::Expr reInterpret(const CG::Expr& e, const CG::Type& type);

  protected:
    void setIRSupported() { irSupported_ = 1; }
    CG::FunctionBuilder* currentBuilder() const { return cur_; }
    // Called when constructCode() moves to another function (CoreCtx points its facade there).
    virtual void onBuilderChanged(CG::FunctionBuilder*) {}
    // Pure slot bodies run through this (so derived contexts need not repeat the flag logic).
    int32_t irSupported_ = 0;

  private:
    void switchTo(CG::FunctionBuilder* b);
    CG::Var portVar(bool input, int32_t port);
    CG::Var dataVar(bool rtp, int32_t index);
    CGHandle* cg_;
    CG::MathModes modes_;
    CG::FunctionBuilder startB_, stepB_, termB_;
    CG::Function scratch_;
    CG::FunctionBuilder scratchB_;
    CG::FunctionBuilder* cur_;
    std::vector<CG::Var> inputs_, outputs_, dworks_, rtps_, inDims_, outDims_;
};

// Known target math functions: sin cos tan atan sqrt ceil floor fmod exp log fabs max min.
bool isTargetLibFunction(const std::string& name);

}  // namespace TarnCG
