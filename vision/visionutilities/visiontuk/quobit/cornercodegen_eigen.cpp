// Code generation of the Harris and minimum-eigenvalue metrics: the pad tables (start phase for a fixed
// size, every step for a variable one), then per padded column the gradient products, the separable filter
// over the circular pad buffer and the metric of one output column.
//
// Each statement is one quantisation into its left-hand type, in the order of the simulation's kernels:
//   gx = X(r, c-1) -> Memory; gx = gx - X(r, c+1); P0 = gx * gx; P1 = gy * gy; P2 = gx * gy     (Memory)
//   acc = 0; acc = acc + (P * w -> Product output) ...; P = acc                      (Accumulator, Memory)
//   Harris      t1 = A + B; t2 = (t1 * t1 -> Product output); t2 = k * t2; t1 = A * B;
//               t1 = t1 - (D * D -> Product output); t1 = t1 - t2; out = t1
//   min. eig.   t1 = A - B; t2 = (t1 * t1 -> Product output); t1 = D * D; t1 = 4 * t1; t1 = t2 + t1;
//               root = sqrt(t1) (Square root); t2 = root; t1 = A + B; t1 = t1 - t2; out = t1
// On the floating path every type is the image's, so each step rounds to it as the kernels do.
#include "quobit/cornercodegen.h"

using namespace sysobj;

namespace quobit {

using CG::BinaryOp;
using CG::IdxRef;
using CG::IdxVal;
using CG::NumRef;
using CG::NumVal;
using CG::Type;

bool eigenvalueCornerMetricTarnCG::prepare() {
    if (prepared_) return ok_;
    prepared_ = true;
    if (!prepareCommon()) return false;
    harris_ = method(S_) == kHarris;
    L_ = filterLength(S_);
    memT_ = roleCGType(kRoleMemory);
    prodT_ = roleCGType(kRoleProduct);
    accT_ = roleCGType(kRoleAccum);
    if (!memT_ || !prodT_ || !accT_) return false;
    if (!harris_) {
        sqrtT_ = roleCGType(kRoleSqrt);
        if (!sqrtT_) return false;
    }
    fourT_ = floatingPath_ ? inType_ : Type::intT(false, 32);
    ok_ = true;
    return true;
}

// (L+1)/2 entries of 1, then 1 .. K-2, then (L+1)/2 entries of K-2: the source row (column) of every
// padded row (column).
void eigenvalueCornerMetricTarnCG::fillPadTable(const IdxRef& table, const IdxVal& size) {
    const int32_t edge = (L_ + 1) / 2;
    IdxRef i = f_.localIdxVar("i");
    IdxRef j = f_.localIdxVar("j");
    f_.beginCFor(i, 0, edge);
    table(i) = 1;
    f_.endCFor();
    f_.beginCFor(j, 1, size - 1);
    table(j + (edge - 1)) = j;
    f_.endCFor();
    f_.beginCFor(i, 0, edge);
    table(i + size + (edge - 2)) = size - 2;
    f_.endCFor();
}

void eigenvalueCornerMetricTarnCG::start() {
    if (!prepare()) return;
    IdxRef next = f_.idxRef(getDWorkRef(kDwNextPadIdx).ref());
    IdxRef i = f_.localIdxVar("i");
    f_.beginCFor(i, 0, L_ - 1, "The slot after each slot of the circular pad buffer.");
    next(i) = i + 1;
    f_.endCFor();
    next[L_ - 1] = 0;
    if (variableSize_) return;
    IdxRef numRows = f_.localIdxVar("numRows");
    IdxRef numCols = f_.localIdxVar("numCols");
    numRows = rows_;
    numCols = cols_;
    fillPadTable(f_.idxRef(getDWorkRef(kDwRowPadIdx).ref()), numRows);
    fillPadTable(f_.idxRef(getDWorkRef(kDwColPadIdx).ref()), numCols);
}

void eigenvalueCornerMetricTarnCG::setupSizes() {
    commonSizes();
    numRowPad_.rebind(f_.localIdxVar("numRowPad"));
    sizePad_.rebind(f_.localIdxVar("sizePad"));
    sizePadDbl_.rebind(f_.localIdxVar("sizePadDbl"));
    beginGuarded();
    numRowPad_ = numRows_ + (L_ - 1);
    sizePad_ = numRowPad_ * L_;
    sizePadDbl_ = sizePad_ + sizePad_;
    if (variableSize_) {
        fillPadTable(f_.idxRef(getDWorkRef(kDwRowPadIdx).ref()), numRows_);
        fillPadTable(f_.idxRef(getDWorkRef(kDwColPadIdx).ref()), numCols_);
        colRange_.rebind(f_.idxRef(createLocal("colRange", Type::intT(true, 32), 4).ref()));
        rowRange_.rebind(f_.idxRef(createLocal("rowRange", Type::intT(true, 32), 6).ref()));
        colRange_[0] = 0;
        colRange_[1] = L_ - 1;
        colRange_[2] = L_ - 1;
        colRange_[3] = numCols_ + (L_ - 1);
        rowRange_[0] = 2;
        rowRange_[1] = 1;
        rowRange_[2] = 0;
        rowRange_[3] = 0;
        rowRange_[4] = L_ - 1;
        rowRange_[5] = numRows_ + (L_ - 1);
    } else {
        colRange_.rebind(idxParam(Rtp::ColRange));
        rowRange_.rebind(idxParam(Rtp::RowRange));
    }
}

// The three gradient products of padded column "col" into slot "colPad" of the three planes. The rows
// between the replicated borders read consecutive image rows (the pad table holds row - (L-1)/2 there), so
// only the borders go through the table.
void eigenvalueCornerMetricTarnCG::gradients(IdxRef iPad) {
    const int32_t edge = (L_ + 1) / 2;
    IdxRef rowPad = f_.idxRef(getDWorkRef(kDwRowPadIdx).ref());
    IdxRef colPadIdx = f_.idxRef(getDWorkRef(kDwColPadIdx).ref());
    IdxRef col = f_.localIdxVar("col");
    IdxRef row = f_.localIdxVar("row");
    IdxRef iImg = f_.localIdxVar("iImg");
    IdxRef iImgStart = f_.localIdxVar("iImgStart");
    const auto products = [&] {
        gradientX_ = castTo(in_(iImg - numRows_), memT_);
        gradientX_ = op(BinaryOp::Sub, gradientX_, in_(iImg + numRows_), memT_);
        gradientY_ = castTo(in_(iImg - 1), memT_);
        gradientY_ = op(BinaryOp::Sub, gradientY_, in_(iImg + 1), memT_);
        pad_(iPad) = op(BinaryOp::Mul, gradientX_, gradientX_, memT_);
        pad_(iPad + sizePad_) = op(BinaryOp::Mul, gradientY_, gradientY_, memT_);
        pad_(iPad + sizePadDbl_) = op(BinaryOp::Mul, gradientX_, gradientY_, memT_);
        ++iPad;
    };
    iPad = colPad_ * numRowPad_;
    iImgStart = colPadIdx(col) * numRows_;
    f_.beginCFor(row, 0, edge, "Gradient products of one padded column: the upper border.");
    iImg = iImgStart + rowPad(row);
    products();
    f_.endCFor();
    f_.beginCFor(row, 1, numRows_ - 1, "The image rows 1 .. M-2.");
    iImg = iImgStart + row;
    products();
    f_.endCFor();
    f_.beginCFor(row, numRows_ + (edge - 2), numRowPad_, "The lower border.");
    iImg = iImgStart + rowPad(row);
    products();
    f_.endCFor();
}

// Horizontal then vertical pass of each plane into slot "colPadNext". Rows go kBlock at a time through a
// local array, so that a compiler keeps them in vector registers; every row's sum keeps its order (slot by
// slot, tap by tap), and the remaining rows go one at a time.
void eigenvalueCornerMetricTarnCG::filterPasses() {
    constexpr int32_t kBlock = 16;
    IdxRef row = f_.localIdxVar("row");
    IdxRef rowEnd = f_.localIdxVar("rowEnd");
    IdxRef iPad = f_.localIdxVar("iPad");
    IdxRef iPadDst = f_.localIdxVar("iPadDst");
    IdxRef iPadJump = f_.localIdxVar("iPadJump");
    IdxRef plane = f_.localIdxVar("plane");
    IdxRef iFltr = f_.localIdxVar("iFltr");
    IdxRef iFltrStart = f_.localIdxVar("iFltrStart");
    IdxRef j = f_.localIdxVar("j");
    NumRef accBlock = f_.numRef(createLocal("accBlock", accT_, kBlock).ref());
    const auto blockSums = [&](const IdxVal& srcStart, const IdxVal& tapStart, const IdxVal& srcStep) {
        f_.beginCFor(j, 0, kBlock);
        accBlock(j) = constOf(accT_, 0.0);
        f_.endCFor();
        iPad = srcStart;
        f_.beginCFor(iFltr, tapStart, tapStart + L_);
        f_.beginCFor(j, 0, kBlock);
        accBlock(j) =
            op(BinaryOp::Add, accBlock(j), op(BinaryOp::Mul, pad_(iPad + j), filter_(iFltr), prodT_), accT_);
        f_.endCFor();
        iPad += srcStep;
        f_.endCFor();
        f_.beginCFor(j, 0, kBlock);
        pad_(iPadDst + j) = castTo(accBlock(j), memT_);
        f_.endCFor();
        iPadDst += kBlock;
        row += kBlock;
    };
    const auto rowSum = [&](const IdxVal& srcStart, const IdxVal& tapStart, const IdxVal& srcStep) {
        accObj_ = constOf(accT_, 0.0);
        iPad = srcStart;
        f_.beginCFor(iFltr, tapStart, tapStart + L_);
        accObj_ = op(BinaryOp::Add, accObj_, op(BinaryOp::Mul, pad_(iPad), filter_(iFltr), prodT_), accT_);
        iPad += srcStep;
        f_.endCFor();
        pad_(iPadDst) = castTo(accObj_, memT_);
        ++iPadDst;
        ++row;
    };
    iFltrStart = (L_ - 1) - colPad_;
    f_.beginCFor(plane, 0, 3, "Planes gx*gx, gy*gy, gx*gy.");
    iPadJump = plane * sizePad_;
    rowEnd = rowRange_(rowRangeAdj_ + 2);
    f_.append("Horizontal pass: each row of the newest slot is the weighted sum of its row in every slot.");
    row = rowRange_(rowRangeAdj_);
    iPadDst = iPadNextStart_ + iPadJump + row;
    f_.beginCWhile(row + kBlock <= rowEnd);
    blockSums(iPadJump + row, iFltrStart, numRowPad_);
    f_.endCWhile();
    f_.beginCWhile(row < rowEnd);
    rowSum(iPadJump + row, iFltrStart, numRowPad_);
    f_.endCWhile();
    f_.append("Vertical pass, in place: each row becomes the weighted sum of itself and the L - 1 below.");
    row = rowRange_(rowRangeAdj_ + 1);
    iPadDst = iPadNextStart_ + iPadJump;
    f_.beginCWhile(row + kBlock <= rowEnd);
    blockSums(iPadDst, 0, 1);
    f_.endCWhile();
    f_.beginCWhile(row < rowEnd);
    rowSum(iPadDst, 0, 1);
    f_.endCWhile();
    f_.endCFor();
}

void eigenvalueCornerMetricTarnCG::metricColumn() {
    IdxRef iPad = f_.localIdxVar("iPad");
    f_.beginCFor(iPad, iPadNextStart_,
                 iPadNextStart_ + rowRange_(rowRangeAdj_ + 2) - rowRange_(rowRangeAdj_ + 1),
                 "One output column.");
    NumRef A = pad_(iPad), B = pad_(iPad + sizePad_), D = pad_(iPad + sizePadDbl_);
    if (harris_) {
        memObj1_ = op(BinaryOp::Add, A, B, memT_);
        memObj2_ = castTo(op(BinaryOp::Mul, memObj1_, memObj1_, prodT_), memT_);
        memObj2_ = op(BinaryOp::Mul, factor_[0], memObj2_, memT_);
        memObj1_ = op(BinaryOp::Mul, A, B, memT_);
        memObj1_ = op(BinaryOp::Sub, memObj1_, op(BinaryOp::Mul, D, D, prodT_), memT_);
        memObj1_ = op(BinaryOp::Sub, memObj1_, memObj2_, memT_);
    } else {
        memObj1_ = op(BinaryOp::Sub, A, B, memT_);
        memObj2_ = castTo(op(BinaryOp::Mul, memObj1_, memObj1_, prodT_), memT_);
        memObj1_ = op(BinaryOp::Mul, D, D, memT_);
        memObj1_ = op(BinaryOp::Mul, constOf(fourT_, 4.0), memObj1_, memT_);
        memObj1_ = op(BinaryOp::Add, memObj2_, memObj1_, memT_);
        const Type t = memObj1_.type();
        assignSqrt(sqrtObj_.expr(), memObj1_.expr(), &t);
        memObj2_ = castTo(sqrtObj_, memT_);
        memObj1_ = op(BinaryOp::Add, A, B, memT_);
        memObj1_ = op(BinaryOp::Sub, memObj1_, memObj2_, memT_);
    }
    out_(iImgOut_) = castTo(memObj1_, outType_);
    ++iImgOut_;
    f_.endCFor();
}

void eigenvalueCornerMetricTarnCG::output() {
    if (!prepare()) return;
    in_.rebind(f_.numRef(getInputRef(kImagePort).ref()));
    out_.rebind(f_.numRef(getOutputVar(0).ref()));
    pad_.rebind(f_.numRef(getDWorkRef(kDwPad).ref()));
    filter_.rebind(numParam(Rtp::Filter));
    if (harris_) factor_.rebind(numParam(Rtp::Factor));
    gradientX_.rebind(f_.localNumVar("gradientX", memT_));
    gradientY_.rebind(f_.localNumVar("gradientY", memT_));
    memObj1_.rebind(f_.localNumVar("memObj1", memT_));
    memObj2_.rebind(f_.localNumVar("memObj2", memT_));
    accObj_.rebind(f_.localNumVar("accObj", accT_));
    if (!harris_) sqrtObj_.rebind(f_.localNumVar("sqrtObj", sqrtT_));

    setupSizes();
    IdxRef next = f_.idxRef(getDWorkRef(kDwNextPadIdx).ref());
    IdxRef iRange = f_.localIdxVar("iRange");
    IdxRef col = f_.localIdxVar("col");
    IdxRef iPad = f_.localIdxVar("iPad");
    iImgOut_.rebind(f_.localIdxVar("iImgOut"));
    colPad_.rebind(f_.localIdxVar("colPad"));
    colPadNext_.rebind(f_.localIdxVar("colPadNext"));
    iPadNextStart_.rebind(f_.localIdxVar("iPadNextStart"));
    rowRangeAdj_.rebind(f_.localIdxVar("rowRangeAdj"));
    iImgOut_ = 0;
    colPad_ = 0;
    rowRangeAdj_ = 0;
    f_.beginCFor(iRange, 0, 4, 2, "Pass 0 fills the buffer, pass 1 writes one output column per column.");
    f_.beginCFor(col, colRange_(iRange), colRange_(iRange + 1));
    colPadNext_ = next(colPad_);
    gradients(iPad);
    iPadNextStart_ = colPadNext_ * numRowPad_;
    filterPasses();
    metricColumn();
    colPad_ = colPadNext_;
    f_.endCFor();
    rowRangeAdj_ += 3;
    f_.endCFor();
    endGuarded();
}

}  // namespace quobit
