// DSPCG: structured code with a comment per construct, value handles, the core block context and the
// generator of shared utility functions.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cg/facade.h"
#include "cg/handles.h"
#include "cg/unit.h"

namespace DSPCG {

class ConstructionFacade : public CG::SimpleConstructionFacade {
  public:
    using CG::SimpleConstructionFacade::addE;
    using CG::SimpleConstructionFacade::minusE;
    using CG::SimpleConstructionFacade::multiplyE;

    // for (var = from; var < to; var += step), with a comment above the loop.
    void beginCFor(const CG::IdxRef& var, const CG::IdxVal& from, const CG::IdxVal& to,
                   const std::string& comment = {}, CG::SrcLoc loc = {});
    void beginCFor(const CG::IdxRef& var, const CG::IdxVal& from, const CG::IdxVal& to, int32_t step,
                   const std::string& comment, CG::SrcLoc loc = {});
    // for (var = from; cond; var += step): loops counting down or with a compound condition.
    void beginCForCond(const CG::IdxRef& var, const CG::IdxVal& from, const CG::IdxVal& cond, int32_t step,
                       const std::string& comment = {}, CG::SrcLoc loc = {});
    void endCFor();
    void beginCWhile(const CG::IdxVal& cond, const std::string& comment = {}, CG::SrcLoc loc = {});
    void endCWhile();
    void beginIf(const CG::IdxVal& cond, const std::string& comment = {}, CG::SrcLoc loc = {});
    void beginElseIf(const CG::IdxVal& cond, const std::string& comment = {}, CG::SrcLoc loc = {});
    void beginElse(const std::string& comment = {}, CG::SrcLoc loc = {});
    void endIf();
    void append(const CG::Expr& e, CG::SrcLoc loc = {});
    void append(const std::string& comment, CG::SrcLoc loc = {});
    void append(const char* comment, CG::SrcLoc loc = {}) { append(std::string(comment), loc); }

    // Assignments through handles come here.
    void assign(const CG::Expr& lhs, const CG::Expr& rhs, CG::SrcLoc loc = {});

    CG::NumRef localNumVar(const std::string& name, const CG::Type& type);
    CG::IdxRef localIdxVar(const std::string& name, const CG::Type& type = sint32T());
    CG::IdxRef localIdxVar(const std::string& name, const CG::Type& type, int32_t initialValue);
    CG::NumRef numRef(const CG::Expr& lvalue) { return CG::NumRef(this, lvalue); }
    CG::NumVal numVal(const CG::Expr& e) { return CG::NumVal(this, e); }
    CG::IdxRef idxRef(const CG::Expr& lvalue) { return CG::IdxRef(this, lvalue); }
    CG::IdxVal idxVal(const CG::Expr& e) { return CG::IdxVal(this, e); }

    // To int32: toward zero (fix) and to nearest, ties toward +infinity (nearest).
    CG::IdxVal fix(const CG::NumVal& v);
    CG::IdxVal nearest(const CG::NumVal& v);
    // a / b computed exactly and quantised into `type` with the facade's modes.
    CG::NumVal division(const CG::NumVal& a, const CG::NumVal& b, const CG::Type& type);
    // A call of a target math function ("sin", "sqrt", "max", ...) of result type `type`.
    CG::NumVal callNumVal(const std::string& name, const std::vector<CG::NumVal>& args, const CG::Type& type);
    // A scalar variable viewed as a one-element matrix (so element 0 addresses it).
    CG::NumRef toStaticSingletonMatrix(const CG::NumRef& v);
    CG::Expr incOneE(const CG::Expr& lvalue) const;
    CG::Expr decOneE(const CG::Expr& lvalue) const;

    // Mode-taking forms.
    CG::Expr addE(const CG::Expr& a, const CG::Expr& b, const CG::Type& type, CG::MathModes modes) const;
    CG::Expr minusE(const CG::Expr& a, const CG::Expr& b, const CG::Type& type, CG::MathModes modes) const;
    CG::Expr multiplyE(const CG::Expr& a, const CG::Expr& b, const CG::Type& type, CG::MathModes modes) const;
    CG::Expr unaryMinusE(const CG::Expr& a, const CG::Type& type = {}) const;
    CG::Expr lessThanEqualE(const CG::Expr& a, const CG::Expr& b) const;
    CG::Expr notEqualE(const CG::Expr& a, const CG::Expr& b) const;
};

// Generates one shared utility function, once per name, into the generation's pool. A derived generator
// either sets name and interface with setFcnName/setInput/setOutput or overrides the slots, and
// implements generateBody(). An input's C parameter is its given name or "u<index>"; one scalar output is
// the return value, several outputs are pointer parameters after the inputs.
class LibGenerator : public ConstructionFacade {
  public:
    explicit LibGenerator(std::shared_ptr<CG::Pool> pool);
    ~LibGenerator() override = default;

    void setFcnName(const std::string& name) { name_ = name; }
    void setInput(int32_t index, const CG::Type& type, const std::string& name = {});
    void setOutput(int32_t index, const CG::Type& type, const std::string& name = {});
    // The function (created and its body generated only the first time the name is asked for).
    CG::Function* findOrCreateFcn();
    // A call of the function with these arguments (inputs, then output pointers).
    CG::Expr callE(const std::vector<CG::Expr>& args);

    // Parameters inside generateBody().
    CG::Var inputVar(int32_t index) const;
    CG::Var outputVar(int32_t index) const;

    static std::string fixptTypeShortName(const CG::Type& t);  // "s16En12", "u8", "s32E3"
    static std::string floatTypeSymbol(const CG::Type& t);     // "D" double, "S" single
    static std::string mathModeString(CG::MathModes m);        // "Floor_Wrap", ...

  protected:
    virtual int32_t numInputs() const { return static_cast<int32_t>(inputs_.size()); }
    virtual CG::Type inputType(int32_t i) const;
    virtual std::string inputName(int32_t i) const;
    virtual int32_t numOutputs() const { return static_cast<int32_t>(outputs_.size()); }
    virtual CG::Type outputType(int32_t i) const;
    virtual std::string outputName(int32_t i) const;
    virtual std::string fcnName() const { return name_; }
    virtual void generateBody() = 0;

  private:
    struct Slot {
        CG::Type type;
        std::string name;
    };
    std::shared_ptr<CG::Pool> pool_;
    std::string name_;
    std::vector<Slot> inputs_, outputs_;
    std::vector<CG::Var> inVars_, outVars_;
    CG::Function* fn_ = nullptr;
};

}  // namespace DSPCG
