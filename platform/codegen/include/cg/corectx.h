// DSPCG::CoreCtx: a TarnCGCtx whose phases are generate*Fcn operations, with the construction facade as
// second base so the block builds its code through value handles.
#pragma once

#include "cg/dspcg.h"
#include "cg/tarncg.h"

namespace DSPCG {

class CoreCtx : public TarnCG::TarnCGCtx, public ConstructionFacade {
  public:
    CoreCtx(TarnCG::CGHandle* cg, int32_t roundingMode, int32_t overflowMode, const CG::Type* type1 = nullptr,
            const CG::Type* type2 = nullptr);
    ~CoreCtx() override;

    virtual void generateOutputDimsFcn() { TarnCG::TarnCGCtx::setAllDims(); }
    virtual void generateOutputFcn() = 0;
    virtual void generateStartFcn() {}
    virtual void generateInitializeFcn() {}
    virtual void generateUpdateFcn() {}
    virtual void generateProjectionFcn() {}
    virtual void generateForcingFunctionFcn() {}
    virtual void generateDerivativeFcn() {}
    virtual void generateMassMatrixFcn() {}
    virtual void generateZerocrossingsFcn() {}
    virtual void generateEnableFcn() {}
    virtual void generateDisableFcn() {}
    virtual void generateTerminateFcn() {}

    // Phase mapping.
    void start() override { generateStartFcn(); }
    void initialize() override { generateInitializeFcn(); }
    void setAllDims() override { generateOutputDimsFcn(); }
    void output() override { generateOutputFcn(); }
    void update() override { generateUpdateFcn(); }
    void projection() override { generateProjectionFcn(); }
    void forcingFunction() override { generateForcingFunctionFcn(); }
    void derivative() override { generateDerivativeFcn(); }
    void massMatrix() override { generateMassMatrixFcn(); }
    void zerocrossings() override { generateZerocrossingsFcn(); }
    void enable() override { generateEnableFcn(); }
    void disable() override { generateDisableFcn(); }
    void terminate() override { generateTerminateFcn(); }

    using ConstructionFacade::setMathModes;
    CG::MathModes mathModes() const { return ConstructionFacade::mathModes(); }

    CG::NumRef getInputNumRef(int32_t port);  // a one-element port: the element itself
    CG::NumRef getInputNumRefAsMatrix(int32_t port);
    CG::NumRef getOutputNumRef(int32_t port);
    CG::NumRef getOutputNumRefAsMatrix(int32_t port);
    CG::NumRef getParamNumRef(int32_t index);
    CG::IdxRef getParamIdxRefAsMatrix(int32_t index);
    CG::NumRef getDWorkNumRef(int32_t index);
    CG::IdxRef getDWorkIdxRefAsMatrix(int32_t index);
    CG::IdxVal getInputDimSizeIdxRef(int32_t port, int32_t dim);  // current size (declared when fixed)

    const CG::Type* type1() const { return type1_.defined() ? &type1_ : nullptr; }
    const CG::Type* type2() const { return type2_.defined() ? &type2_ : nullptr; }

  protected:
    void onBuilderChanged(CG::FunctionBuilder* b) override { ConstructionFacade::setBuilder(b); }

  private:
    CG::NumRef scalarOrMatrix(const CG::Var& v, int32_t width);
    CG::Type type1_, type2_;
};

}  // namespace DSPCG
