// The rotate block's code-generation context (TarnCGRotate): the step body of the floating-point engine
// (rotate_codegen.cpp) and, for integer and fixed-point images, of the fixed-point engine, whose angle,
// trigonometry, geometry and line shifts are quantised step by step (rotate_fix_codegen.cpp).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "blockutils.h"
#include "dspcgctx.h"
#include "ondskew.h"
#include "pellor/pellor.h"
#include "pellor/rotatesfcncache.h"

namespace pellorcg {

using CG::IdxRef;
using CG::IdxVal;
using CG::NumRef;
using CG::NumVal;
using CG::Type;
using sysobj::SysObjAdaptorSFun;

inline CG::SrcLoc at(int line) {
    return CG::SrcLoc{"pellor", line};
}

// The types of the fixed-point engine's numbers, as the generated code declares them.
struct FixTypes {
    Type in, out, angle, angleWork, sine, pi, product, acc;
};

class TarnCGRotate : public DSPCGCtx {
  public:
    TarnCGRotate(SysObjAdaptorSFun* S, TarnCG::CGHandle* cg)
        : DSPCGCtx(cg, blockutils::getRoundingModeParam(S, pellor::kRoundingMode),
                   blockutils::getOverflowModeParam(S, pellor::kOverflowMode)),
          S_(S),
          cg_(cg) {}
    ~TarnCGRotate() override {}
    void declareIRSupport() override { setIRSupported(); }
    // Output sizes are set by output(), where the step's geometry is known.
    void setAllDims() override {}
    void output() override;

  private:
    // Index and numeric handles over the facade that builds into the current function.
    IdxRef idx(const std::string& name) { return f_.localIdxVar(name); }
    NumRef num(const std::string& name) { return f_.localNumVar(name, T_); }
    NumVal konst(double v) { return f_.numVal(CG::ConstNode::makeValue(T_, v)); }
    NumVal toT(const IdxVal& v) { return f_.numVal(f_.castE(v.expr(), T_)); }
    IdxVal toIdx(const NumVal& v) {
        return f_.idxVal(CG::CastNode::make(v.expr(), Type::intT(true, 32), mathModes(), true));
    }
    NumVal call(const char* name, std::vector<NumVal> args) { return f_.callNumVal(name, args, T_); }
    void minInto(IdxRef& x, const IdxVal& v) {
        f_.beginIf(v < x, "", at(60));
        x = v;
        f_.endIf();
    }
    void maxInto(IdxRef& x, const IdxVal& v) {
        f_.beginIf(v > x, "", at(65));
        x = v;
        f_.endIf();
    }
    void fillElements(const NumRef& m, const IdxVal& from, const IdxVal& count, const NumVal& v);
    // Bands of the passes: rows worked together, and positions of a floating row piece.
    static constexpr int32_t kPass1BandRows = 64, kPass3BandRows = 64, kBandPositions = 128;
    static constexpr int32_t kFixBandPositions = 512;
    // srcLen: samples of a buffer row (fill columns and image), wMax: positions of a sheared row.
    void bandedPass1(const IdxVal& srcLen, const IdxVal& wMax, const NumVal& fillVal);
    void bandedPass3(const IdxVal& offset, const IdxVal& bufShift, const IdxVal& nCols,
                     const IdxVal& startIdx, const IdxVal& endIdx, const IdxVal& colOffset,
                     const IdxVal& startRIdx, const IdxVal& endRIdx, const NumVal& fillVal);
    // Pass 2's whole-position moves in place (rotate_codegen.cpp).
    void columnMove(const IdxVal& dstLen, IdxRef& whole, IdxRef& move);
    void moveColumnInPlace(const IdxVal& col, const IdxVal& len, const IdxVal& move, const IdxVal& bufShift,
                           const IdxVal& copied, const NumVal& fillVal);
    void skewCall(const NumRef& src, const IdxVal& srcStart, const IdxVal& srcLen, const IdxVal& dstLen,
                  const NumVal& shift, const IdxVal& srcStride, const IdxVal& dstStride, const NumRef& dst,
                  const IdxVal& dstStart, const IdxVal& firstPos, const NumVal& fill);

    bool floatingEngine() const;
    void sizes();
    void quarterTurnCode();
    void stepAngle();
    // inRows/inCols from the quarter-turn reduction's row/column exchange.
    void exchangeRowsAndCols(int ifLine, int elseLine);
    void trigonometry();
    void geometry();
    void shearPlanes();
    void writeOutputDims();
    // The centre (count - 1) / 2 of a line family into "temp", and one line's shift into "shift":
    // (position - centre) * factor, or (centre - position) * factor.
    void lineCentre(const IdxVal& count);
    void lineShift(const IdxVal& position, const NumRef& factor, bool centreFirst);

    // The fixed-point engine (rotate_fix_codegen.cpp).
    bool fixTypes();
    CG::MathModes blockModes() const { return CG::MathModes{roundingMode(), overflowMode()}; }
    void fixSet(const NumRef& x, const CG::Expr& v, CG::MathModes m, int line);
    void fixUpdate(const NumRef& x, CG::BinaryOp op, const CG::Expr& y, CG::MathModes m, int line);
    CG::Expr smallIndex(const IdxVal& v, int32_t maxAbs);
    void fixStepAngle();
    void fixTrigonometry();
    void fixGeometry();
    IdxVal fixCeilOfSum(const NumRef& a, const IdxVal& na, const NumRef& b, const IdxVal& nb);

    SysObjAdaptorSFun* S_;
    TarnCG::CGHandle* cg_;
    DSPCG::ConstructionFacade f_;
    pellor::RotateKernelShape shape_;
    Type T_;
    Type shiftT_;  // lines' shifts and centres
    bool fixed_ = false;
    FixTypes fx_;
    bool variableSize_ = false, fromPort_ = false, table_ = false, centred_ = false, singleFill_ = true;
    std::unique_ptr<SkewGen> skew_;

    NumRef in_, out_, fill_, sheared_, line_, sineTable_;
    IdxRef rowsIn_, colsIn_, planes_, rowsOut_, colsOut_, outImageRows_, outImageCols_;
    NumRef angle_, theta_, sin_, cos_, tanHalf_;
    IdxRef swapRC_, quadrant_, inRows_, inCols_, rotRows_, rotCols_, shearCols_;
};

}  // namespace pellorcg
