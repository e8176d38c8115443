// Code generation of the local intensity comparison metric: for every pixel inside the band of 3, the
// limits, the bright test and then the dark test (each: span choice, coarse-to-fine arc search, arc and
// rest-of-circle sums, output), as the simulation's kernel does them.
//
// Kept from the kernel where a shorter form would differ:
// - the limits: valLow = DTMIN when the pixel is <= DTLOW, else pixel - t; valHigh = DTMAX when the pixel
//   is >= DTHIGH, else t + pixel (a NaN pixel gives NaN limits, not the type's extremes);
// - "not brighter" is !(q > valHigh) and "not darker" !(q < valLow), so a NaN position never qualifies;
// - every sum step is an addition followed by a subtraction, each quantised into the accumulator type;
// - outside the arc a position counts as brighter first, then as darker;
// - the output: the bright test keeps brightness unless brightness < darkness, the dark test unless
//   brightness <= darkness (unordered sums keep brightness).
#include "quobit/cornercodegen.h"

#include "quobit/comparisonsearch.h"

using namespace sysobj;

namespace quobit {

using CG::BinaryOp;
using CG::IdxRef;
using CG::IdxVal;
using CG::NumRef;
using CG::NumVal;
using CG::Type;

void comparisonCornerMetricTarnCG::setupSizes() {
    commonSizes();
    beginGuarded();
    if (!variableSize_) {
        circle_.rebind(idxParam(Rtp::Circle));
        return;
    }
    circle_.rebind(f_.idxRef(createLocal("circle", Type::intT(true, 32), kCircleTableLength).ref()));
    for (int32_t i = 0; i < kCircleLength; ++i)
        circle_[i] = numRows_ * kCircleCols[i] + kCircleRows[i];
    IdxRef i = f_.localIdxVar("i");
    IdxRef j = f_.localIdxVar("j");
    f_.beginCFor(i, 0, kCircleLength, "The offsets again, so that an arc past position 15 is a plain range.");
    j = i + kCircleLength;
    circle_(j) = circle_(i);
    f_.endCFor();
}

NumRef comparisonCornerMetricTarnCG::circleValue(const IdxVal& position) {
    return in_(center_ + circle_(position));
}

IdxVal comparisonCornerMetricTarnCG::qualifies(const NumVal& v, bool bright) {
    return bright ? v > valHigh_ : v < valLow_;
}

void comparisonCornerMetricTarnCG::brightTerm(const NumVal& v) {
    brightness_ = op(BinaryOp::Add, brightness_, v, accT_, "brightness sum");
    brightness_ = op(BinaryOp::Sub, brightness_, valHigh_, accT_, "brightness sum");
}

void comparisonCornerMetricTarnCG::darkTerm(const NumVal& v) {
    darkness_ = op(BinaryOp::Add, darkness_, valLow_, accT_, "darkness sum");
    darkness_ = op(BinaryOp::Sub, darkness_, v, accT_, "darkness sum");
}

void comparisonCornerMetricTarnCG::test(bool bright) {
    IdxRef idx = f_.localIdxVar("idx");
    IdxRef start = f_.localIdxVar("start");
    IdxRef stop = f_.localIdxVar("stop");
    IdxRef pixel = f_.localIdxVar("pixel");
    IdxRef disStart = f_.localIdxVar("disStart");
    IdxRef disStop = f_.localIdxVar("disStop");
    IdxRef flag = f_.localIdxVar("flag", Type::boolT());
    IdxRef isValid = f_.localIdxVar("isValid", Type::boolT());
    IdxRef stepTable = idxParam(Rtp::Step);
    IdxRef offsetTable = idxParam(Rtp::Offset);
    const auto boolC = [&](int32_t v) { return f_.idxVal(CG::ConstNode::makeInt(Type::boolT(), v)); };

    const IdxVal at0 = qualifies(circleValue(0), bright);
    const IdxVal at8 = qualifies(circleValue(8), bright);
    f_.beginIf(at0 || at8, bright ? "Bright test." : "Dark test.");
    f_.beginIf(!at0, "The first span leaves out the position of 0 and 8 that does not qualify.");
    start = 1;
    stop = kArcSpan;
    flag = boolC(0);
    f_.beginElseIf(!at8);
    start = 9;
    stop = 9 + kArcSpan - 1;
    flag = boolC(0);
    f_.beginElse();
    start = 1;
    stop = kCircleLength;
    flag = boolC(1);
    f_.endIf();
    isValid = boolC(1);
    f_.beginCForCond(idx, 0, isValid && idx < kSearchPasses, 1,
                     "Coarse to fine: every 8th, 4th, 2nd position.");
    pixel = start + offsetTable(idx);
    f_.beginCWhile(isValid && pixel <= stop);
    f_.beginIf(!qualifies(circleValue(pixel), bright));
    f_.beginIf(flag);
    start = pixel + 1;
    stop = pixel + kArcSpan;
    flag = boolC(0);
    f_.beginElse();
    disStart = pixel - start;
    disStop = stop - pixel;
    f_.beginIf(disStop >= disStart, "Keep the longer side of the split.");
    f_.beginIf(disStop < arcLimit_);
    isValid = boolC(0);
    f_.beginElse();
    start = pixel + 1;
    f_.endIf();
    f_.beginElse();
    f_.beginIf(disStart < arcLimit_);
    isValid = boolC(0);
    f_.beginElse();
    stop = pixel - 1;
    f_.endIf();
    f_.endIf();
    f_.endIf();
    f_.endIf();
    pixel += stepTable(idx);
    f_.endCWhile();
    f_.endCFor();

    f_.beginIf(isValid, "The arc, then the rest of the circle.");
    brightness_ = constOf(accT_, 0.0);
    darkness_ = constOf(accT_, 0.0);
    f_.beginCFor(idx, start, stop + 1);
    valCur_ = circleValue(idx);
    if (bright)
        brightTerm(valCur_);
    else
        darkTerm(valCur_);
    f_.endCFor();
    f_.beginIf(stop >= kCircleLength);
    stop -= kCircleLength;
    f_.beginElse();
    start += kCircleLength;
    f_.endIf();
    f_.beginCFor(idx, stop + 1, start);
    valCur_ = circleValue(idx);
    f_.beginIf(valCur_ > valHigh_);
    brightTerm(valCur_);
    f_.beginElseIf(valCur_ < valLow_);
    darkTerm(valCur_);
    f_.endIf();
    f_.endCFor();
    f_.beginIf(bright ? brightness_ < darkness_ : brightness_ <= darkness_);
    out_(center_) = toOutput(darkness_, sumSpan_);
    f_.beginElse();
    out_(center_) = toOutput(brightness_, sumSpan_);
    f_.endIf();
    f_.endIf();
    f_.endIf();
}

void comparisonCornerMetricTarnCG::output() {
    if (!prepareCommon()) return;
    const Type imgT = floatingPath_ ? inType_ : roleCGType(kRoleImage);
    if (!imgT) return;
    {
        // A sum steps at most 16 times by a value and a limit of the image type, each quantised.
        const RoleType acc = roleType(S_, kRoleAccum);
        const Span X = floatingPath_ ? Span{} : imageSpan();
        Span sum{0.0, 0.0}, all{0.0, 0.0};
        for (int32_t i = 0; i < kCircleLength && !floatingPath_; ++i) {
            const Span added = quantSpan(spanAdd(sum, X), acc, saturates());
            sum = spanUnion(sum, quantSpan(spanSub(added, X), acc, saturates()));
            all = spanUnion(all, spanUnion(added, sum));
        }
        sumSpan_ = all;
        accT_ = workCGType(kRoleAccum, all, "brightness and darkness sums");
    }
    if (!accT_) return;
    in_.rebind(f_.numRef(getInputRef(kImagePort).ref()));
    out_.rebind(f_.numRef(getOutputVar(0).ref()));
    t_.rebind(numParam(Rtp::ValThr));
    dtMin_.rebind(numParam(Rtp::DtMin));
    dtMax_.rebind(numParam(Rtp::DtMax));
    valLow_.rebind(f_.localNumVar("valLow", imgT));
    valHigh_.rebind(f_.localNumVar("valHigh", imgT));
    valCur_.rebind(f_.localNumVar("valCur", imgT));
    dtLow_.rebind(f_.localNumVar("dtLow", imgT));
    dtHigh_.rebind(f_.localNumVar("dtHigh", imgT));
    brightness_.rebind(f_.localNumVar("brightness", accT_));
    darkness_.rebind(f_.localNumVar("darkness", accT_));

    setupSizes();
    IdxRef i = f_.localIdxVar("i");
    IdxRef row = f_.localIdxVar("row");
    IdxRef col = f_.localIdxVar("col");
    center_.rebind(f_.localIdxVar("center"));
    arcLimit_.rebind(f_.localIdxVar("arcLimit"));
    f_.beginCFor(i, 0, numRows_ * numCols_, "The band of 3 keeps 0.");
    out_(i) = constOf(outType_, 0.0);
    f_.endCFor();
    // The threshold and the angle choice are tunable: the limits follow the threshold as the block's
    // parameter processing recomputes them.
    arcLimit_ = kCircleLength - toIndex(numParam(Rtp::ThrAngle)[0]);
    dtLow_ = op(BinaryOp::Add, dtMin_[0], t_[0], imgT);
    dtHigh_ = op(BinaryOp::Sub, dtMax_[0], t_[0], imgT);
    center_ = numRows_ * kCircleRadius + kCircleRadius;
    f_.beginCFor(col, kCircleRadius, numCols_ - kCircleRadius);
    f_.beginCFor(row, kCircleRadius, numRows_ - kCircleRadius);
    valCur_ = in_(center_);
    f_.beginIf(valCur_ <= dtLow_);
    valLow_ = dtMin_[0];
    f_.beginElse();
    valLow_ = op(BinaryOp::Sub, valCur_, t_[0], imgT);
    f_.endIf();
    f_.beginIf(valCur_ >= dtHigh_);
    valHigh_ = dtMax_[0];
    f_.beginElse();
    valHigh_ = op(BinaryOp::Add, t_[0], valCur_, imgT);
    f_.endIf();
    test(true);
    test(false);
    ++center_;
    f_.endCFor();
    center_ += 2 * kCircleRadius;
    f_.endCFor();
    endGuarded();
}

}  // namespace quobit
