// Code generation of the corner metric block: one context per method family over a common base that
// builds the sizes, the run-time size check and the "okToProceed" guard of the step.
//
// The generated code computes what the simulation's kernels compute, step for step: every operation is
// emitted in the kernels' order and with their intermediate types (see eigenvaluecornermetric.cpp and
// comparisonkernel.h), and the choices the kernels make on unordered values (NaN) are kept.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cg/codegen.h"
#include "dspcgctx.h"
#include "quobit/quobit.h"
#include "quobit/roles.h"

namespace quobit {

// A closed interval of real-world values that a quantity of the generated code can take.
struct Span {
    double lo = 0.0, hi = 0.0;
};
Span spanUnion(const Span& a, const Span& b);
Span spanAdd(const Span& a, const Span& b);
Span spanSub(const Span& a, const Span& b);
Span spanMul(const Span& a, const Span& b);
Span spanSquare(const Span& a);
Span spanSqrt(const Span& a);
// Every value of the role's word.
Span roleSpan(const RoleType& r);
// The values v can take once quantised into the role's type (rounding, then saturation or wrapping).
Span quantSpan(const Span& v, const RoleType& r, bool saturate);
// The smallest signed word length whose type of the given fraction length holds every value of s.
int32_t signedBitsFor(const Span& s, int32_t fracLength);
// The role's type, or the narrowest signed word of the same fraction length that holds s (the same numbers:
// no value of s overflows either word).
CG::Type narrowedType(const RoleType& r, const Span& s);
// The stored filter taps: every window of L consecutive taps of the doubled filter, one after another;
// returns the span of all of them.
Span filterTapsSpan(SysObjAdaptorSFun* S, const RoleType& coeff, int32_t L, std::vector<Span>* windows);

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
    // The type of a port or run-time parameter role as the IR sees it; undefined (and a generation error
    // naming the role) when it is wider than the generated code exchanges.
    CG::Type roleCGType(Role role);
    // The type a working quantity of the role is held in: the role's, or a narrower word that holds every
    // value of s; undefined (and a generation error naming the role) beyond what the wide helpers hold.
    CG::Type workCGType(Role role, const Span& s, const char* what);
    // Every value the image type holds.
    Span imageSpan();
    bool saturates() const { return overflowMode() == CG::OvfSaturate; }
    // "numRows", "numCols" and "okToProceed" (with the emitted size check for a variable-size input).
    void commonSizes();
    // The output code goes between these two: inside a conditional on "okToProceed".
    void beginGuarded();
    void endGuarded();

    // An operation quantised once into `type` with the block's modes (plain C for floating types). A fixed
    // operation whose exact intermediate would pass the wide helpers' 126 bits is refused, naming `what`.
    CG::NumVal op(CG::BinaryOp o, const CG::NumVal& a, const CG::NumVal& b, const CG::Type& type,
                  const char* what = nullptr);
    CG::NumVal castTo(const CG::NumVal& v, const CG::Type& type);
    // v (whose values lie in s) into the metric output: on the fixed path through the narrowest word of the
    // output's fraction length that holds the result, so that a 64-bit output need not take the wide
    // helpers for values that fit.
    CG::NumVal toOutput(const CG::NumVal& v, const Span& s);
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
    // Gradients, pad buffer, the four metric temporaries, filter products, metric products, accumulator and
    // square root: each the role's type or the narrower word its values fit (fixed path).
    CG::Type gradT_, padT_, m1T_, m2T_, m3T_, m4T_, rootMemT_, prodT_, prodSqT_, accT_, sqrtT_, fourT_;
    bool chooseFixedTypes();
    Span resultSpan_;  // the value stored into the output (fixed path)
    CG::IdxRef numRowPad_, sizePad_, sizePadDbl_, colRange_, rowRange_;
    CG::IdxRef iImgOut_, colPad_, colPadNext_, iPadNextStart_, rowRangeAdj_;
    CG::NumRef pad_, filter_, factor_, gradientX_, gradientY_, memObj1_, memObj2_, memObj3_, memObj4_,
        accObj_, sqrtObj_;
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
    Span sumSpan_;  // every value of the sums (fixed path)
    CG::IdxRef circle_, center_, arcLimit_;
    CG::NumRef t_, dtMin_, dtMax_, dtLow_, dtHigh_;
    CG::NumRef valLow_, valHigh_, valCur_, brightness_, darkness_;
};

}  // namespace quobit
