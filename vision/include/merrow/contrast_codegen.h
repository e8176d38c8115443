// Code generation of the contrast adjustment block: the generated step computes the numbers of the kernel
// the simulation runs for the same instance, operation for operation.
//
// Double and single images on the floating kernel get its steps in the image's own type (the bin
// rounding of single images in double, the half scale of spans beyond the type's largest value, the NaN
// and infinity rules). Integer and fixed-point images get the number-object kernel's steps in the
// intermediate types of the block (extended input, products 1 and 2, fraction, 32-bit counts), each
// assignment quantised with the block's rounding and overflow modes; images of at most 8 bits with more
// than 256 pixels go through the look-up table, and their extremes and histogram come from per-value
// counts, as in the simulation.
#pragma once

#include <cstdint>
#include <string>

#include "cg/codegen.h"
#include "merrow/contrast_state.h"
#include "sysobj.h"

namespace merrow {

class CGContrastAdjust : public DSPCG::CoreCtx {
  public:
    CGContrastAdjust(sysobj::SysObjAdaptorSFun* S, TarnCG::CGHandle* cg, int32_t rounding, int32_t overflow);
    ~CGContrastAdjust() override {}
    void declareIRSupport() override { setIRSupported(); }
    void generateOutputFcn() override;

  private:
    // Constructs tagged with the block's source tag and the generator's line (written into the C text
    // when the emitter is asked for source tags).
    void set(const CG::Expr& dst, const CG::Expr& src, int line = __builtin_LINE());
    void ifB(const CG::Expr& cond, int line = __builtin_LINE());
    void elseIfB(const CG::Expr& cond, int line = __builtin_LINE());
    void elseB(int line = __builtin_LINE());
    void forB(const CG::Var& var, const CG::Expr& start, const CG::Expr& end, int32_t step = 1,
              int line = __builtin_LINE());
    void forB(const CG::Var& var, int32_t start, const CG::Expr& end, int32_t step = 1,
              int line = __builtin_LINE()) {
        forB(var, ci(start), end, step, line);
    }
    void note(const std::string& text, int line = __builtin_LINE());

    // Expression helpers: quantising assignment, arithmetic in a type with the block's modes,
    // comparisons of exact values, int32 index arithmetic and C's own conversion.
    CG::Expr op(CG::BinaryOp o, const CG::Expr& a, const CG::Expr& b, const CG::Type& type);
    CG::Expr cmp(CG::BinaryOp o, const CG::Expr& a, const CG::Expr& b);
    CG::Expr iop(CG::BinaryOp o, const CG::Expr& a, const CG::Expr& b);
    CG::Expr cast(const CG::Expr& e, const CG::Type& type);
    CG::Expr ci(int32_t v);
    CG::Expr cv(const CG::Type& t, double v);
    CG::Expr in(const CG::Expr& i);
    CG::Expr out(const CG::Expr& i);
    CG::Expr rtp(int32_t index, int32_t element);
    CG::Expr hist(const CG::Expr& i);
    void fill(const CG::Expr& value);

    // Floating kernel (floating_codegen).
    void floatingBody();
    void floatingHistogram(const CG::Var& lowIn, const CG::Var& highIn, const CG::Var& scale,
                           const CG::Var& highScaled, const CG::Var& numValid);

    // Number-object kernel (fixed_codegen).
    void fixedBody();
    void fixedExtremes();
    void countValues();
    CG::Expr valueIndex(const CG::Expr& pixel);
    void narrowFromHistogram();
    void binPixels(bool simple);
    CG::Expr binOf(const CG::Expr& value, bool simple);
    void saturationLimit(bool lower);
    void mapSlope();
    void mapValue(const CG::Expr& v, const CG::Expr& dst);
    void tableOutput();
    // p = a; p *= b as one product quantised into p's type when p = a is exact (the same number).
    void scaledProduct(const CG::Var& p, const CG::Expr& a, const CG::Expr& b);

    sysobj::SysObjAdaptorSFun* S_;
    const ContrastState* st_ = nullptr;
    int32_t inputMode_ = 1;
    int32_t numBins_ = 1;
    bool variableSize_ = false;
    CG::Type inType_, extType_, p1Type_, p2Type_, fracType_, s32Type_;
    CG::Var pixNum_, i_, j_;
    // Number-object kernel quantities.
    CG::Var lowIn_, highIn_, lowOut_, highOut_, inExdTmp1_, inExdTmp2_, inExdTmp3_, slopeMap_, prod1Tmp1_,
        prod1Tmp2_, tmpInt32_, slopeHist_, prod2Tmp1_, pixSaturate_, pixNumTmp1_, bins_, counts_;
    bool rawCounts_ = false;
    int32_t valNum_ = 0;
    int32_t lowest_ = 0;
};

}  // namespace merrow
