// Code generation of the corner metric block: one context per method family over a common base that
// builds the sizes, the run-time size check and the "okToProceed" guard of the step.
//
// The generated code computes what the simulation's kernels compute, step for step: every operation is
// emitted in the kernels' order and with their intermediate types (see eigenvaluecornermetric.cpp and
// comparisonkernel.h), and the choices the kernels make on unordered values (NaN) are kept.
#pragma once

#include <cstdint>
#include <string>

#include "cg/codegen.h"
#include "dspcgctx.h"
#include "quobit/quobit.h"
#include "quobit/roles.h"

namespace quobit {

class commonCornerMetricTarnCG : public DSPCGCtx {
  public:
    commonCornerMetricTarnCG(SysObjAdaptorSFun* S, TarnCG::CGHandle* cg);
    ~commonCornerMetricTarnCG() override {}
    void declareIRSupport() override { setIRSupported(); }

  protected:
    // Sizes of the step: constants, or the input's current sizes with the run-time size check; then
    // what each method derives from them.
    virtual void setupSizes() = 0;
    void onBuilderChanged(CG::FunctionBuilder* b) override { f_.setBuilder(b); }

    // Reads the port types, the path and the sizes; false (with a generation error) when the
    // configuration has no generated form.
    bool prepareCommon();
    // The role's type as the IR sees it; undefined (and a generation error naming the role) when it is
    // wider than the generated code holds.
    CG::Type roleCGType(Role role);
    // "numRows", "numCols" and "okToProceed" (with the emitted size check for a variable-size input).
    void commonSizes();
    // The output code goes between these two: inside a conditional on "okToProceed".
    void beginGuarded();
    void endGuarded();

    // An operation quantised once into `type` with the block's modes (plain C for floating types).
    CG::NumVal op(CG::BinaryOp o, const CG::NumVal& a, const CG::NumVal& b, const CG::Type& type);
    CG::NumVal castTo(const CG::NumVal& v, const CG::Type& type);
    CG::NumVal constOf(const CG::Type& type, double value);
    CG::IdxVal toIndex(const CG::NumVal& v);
    CG::NumRef numParam(Rtp which);
    CG::IdxRef idxParam(Rtp which);

    SysObjAdaptorSFun* S_;
    DSPCG::ConstructionFacade f_;
    bool floatingPath_ = true;
    bool variableSize_ = false;
    int32_t minRows_ = 3, minCols_ = 3;
    int32_t rows_ = 0, cols_ = 0;  // the ports' declared sizes
    CG::Type inType_, outType_;
    CG::NumRef in_, out_;
    CG::IdxRef numRows_, numCols_, okToProceed_;
};

class eigenvalueCornerMetricTarnCG final : public commonCornerMetricTarnCG {
  public:
    using commonCornerMetricTarnCG::commonCornerMetricTarnCG;
    void start() override;
    void output() override;

  protected:
    void setupSizes() override;

  private:
    bool prepare();
    void fillPadTable(const CG::IdxRef& table, const CG::IdxVal& size);
    void gradients(CG::IdxRef iPad);
    void filterPasses();
    void metricColumn();

    bool prepared_ = false, ok_ = false;
    bool harris_ = true;
    int32_t L_ = 3;
    CG::Type memT_, prodT_, accT_, sqrtT_, fourT_;
    CG::IdxRef numRowPad_, sizePad_, sizePadDbl_, colRange_, rowRange_;
    CG::IdxRef iImgOut_, colPad_, colPadNext_, iPadNextStart_, rowRangeAdj_;
    CG::NumRef pad_, filter_, factor_, gradientX_, gradientY_, memObj1_, memObj2_, accObj_, sqrtObj_;
};

class comparisonCornerMetricTarnCG final : public commonCornerMetricTarnCG {
  public:
    using commonCornerMetricTarnCG::commonCornerMetricTarnCG;
    void output() override;

  protected:
    void setupSizes() override;

  private:
    // One test: the span choice, the coarse-to-fine search and the sums; `bright` picks the test.
    void test(bool bright);
    CG::IdxVal qualifies(const CG::NumVal& v, bool bright);
    CG::NumRef circleValue(const CG::IdxVal& position);
    void brightTerm(const CG::NumVal& v);
    void darkTerm(const CG::NumVal& v);

    CG::Type accT_;
    CG::IdxRef circle_, center_, arcLimit_;
    CG::NumRef t_, dtMin_, dtMax_, dtLow_, dtHigh_;
    CG::NumRef valLow_, valHigh_, valCur_, brightness_, darkness_;
};

}  // namespace quobit
