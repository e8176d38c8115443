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
// On the floating path every type is the image's, so each step rounds to it as the kernels do. On the fixed
// path each quantity is held in the narrowest word its values fit (chooseFixedTypes): the same numbers as
// in its role's type, in 64-bit code where the image type allows. The kernels' t1 and t2 go through the
// locals memObj1 .. memObj4 (Harris: A + B; t2; A * B and on; minimum eigenvalue: A - B; t2; D * D and on;
// A + B and on), so that a small stage is not held in the word of a large one.
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
    if (floatingPath_) {
        gradT_ = padT_ = m1T_ = m2T_ = m3T_ = m4T_ = rootMemT_ = prodT_ = prodSqT_ = accT_ = sqrtT_ = fourT_ =
            inType_;
    } else {
        if (!roleCGType(kRoleFilterCoeff)) return false;
        if (harris_ && !roleCGType(kRoleFactorCoeff)) return false;
        if (!chooseFixedTypes()) return false;
        // 4 is exact in any unsigned word: 8 bits keep its product with a wide temporary within the helpers.
        fourT_ = Type::intT(false, 8);
        // The pad buffer is the generated code's own state: it takes the word its values fit.
        cgHandle()->unit().desc.dworks[kDwPad].elemType = padT_;
    }
    ok_ = true;
    return true;
}

// Spans of every quantity, in the kernels' order, from the image type, the taps and k's type.
bool eigenvalueCornerMetricTarnCG::chooseFixedTypes() {
    const bool sat = saturates();
    const RoleType mem = roleType(S_, kRoleMemory), prod = roleType(S_, kRoleProduct),
                   acc = roleType(S_, kRoleAccum);
    const auto q = [&](const Span& v, const RoleType& r) { return quantSpan(v, r, sat); };
    const Span X = imageSpan();
    const Span g1 = q(X, mem);
    const Span g = q(spanSub(g1, X), mem);
    const Span square = q(spanSquare(g), mem), cross = q(spanMul(g, g), mem);

    std::vector<Span> windows;
    filterTapsSpan(S_, roleType(S_, kRoleFilterCoeff), L_, &windows);
    Span accAll{0.0, 0.0}, prodAll = q(spanMul(square, windows.at(0)), prod);
    // One pass over a plane: every window of taps, each product and partial sum quantised.
    const auto pass = [&](const Span& in) {
        Span out = q(Span{0.0, 0.0}, mem);
        for (size_t k = 0; k + size_t(L_) <= windows.size(); k += size_t(L_)) {
            Span a{0.0, 0.0};
            for (int32_t t = 0; t < L_; ++t) {
                const Span p = q(spanMul(in, windows[k + size_t(t)]), prod);
                prodAll = spanUnion(prodAll, p);
                a = q(spanAdd(a, p), acc);
                accAll = spanUnion(accAll, a);
            }
            out = spanUnion(out, q(a, mem));
        }
        return out;
    };
    // A plane holds its products, the horizontal pass of them and the vertical pass of that (taken over
    // both, to be safe). The metric reads the rows the vertical pass has just written.
    Span pad = spanUnion(square, cross);
    const auto plane = [&](const Span& in) {
        const Span h = pass(in);
        const Span v = pass(spanUnion(in, h));
        pad = spanUnion(pad, spanUnion(h, v));
        return v;
    };
    const Span AB = plane(square), D = plane(cross);

    Span m1, m2, m3, m4{0.0, 0.0}, sq;
    if (harris_) {
        m1 = q(spanAdd(AB, AB), mem);
        sq = q(spanSquare(m1), prod);
        const Span t2 = q(sq, mem);
        const Span kt2 = q(spanMul(t2, roleSpan(roleType(S_, kRoleFactorCoeff))), mem);
        const Span dd = q(spanSquare(D), prod);
        sq = spanUnion(sq, dd);
        const Span ab = q(spanMul(AB, AB), mem);
        const Span t1 = q(spanSub(ab, dd), mem);
        m2 = spanUnion(t2, kt2);
        resultSpan_ = q(spanSub(t1, kt2), mem);
        m3 = spanUnion(spanUnion(ab, t1), resultSpan_);
    } else {
        const Span diff = q(spanSub(AB, AB), mem);
        sq = q(spanSquare(diff), prod);
        m2 = q(sq, mem);
        const Span dd = q(spanSquare(D), mem);
        const Span dd4 = q(spanMul(dd, Span{4.0, 4.0}), mem);
        const Span sum = q(spanAdd(dd4, m2), mem);
        m3 = spanUnion(spanUnion(dd, dd4), sum);
        const Span root = quantSpan(spanSqrt(sum), roleType(S_, kRoleSqrt), sat);
        const Span rootMem = q(root, mem);
        const Span ab = q(spanAdd(AB, AB), mem);
        resultSpan_ = q(spanSub(ab, rootMem), mem);
        m1 = diff;
        m4 = spanUnion(ab, resultSpan_);
        sqrtT_ = workCGType(kRoleSqrt, root, "square root");
        rootMemT_ = workCGType(kRoleMemory, rootMem, "square root in the memory type");
        m4T_ = workCGType(kRoleMemory, m4, "fourth metric temporary");
        if (!sqrtT_ || !rootMemT_ || !m4T_) return false;
    }
    gradT_ = workCGType(kRoleMemory, spanUnion(g1, g), "gradients");
    padT_ = workCGType(kRoleMemory, pad, "pad buffer");
    m1T_ = workCGType(kRoleMemory, m1, "first metric temporary");
    m2T_ = workCGType(kRoleMemory, m2, "second metric temporary");
    m3T_ = workCGType(kRoleMemory, m3, "third metric temporary");
    prodT_ = workCGType(kRoleProduct, prodAll, "filter products");
    prodSqT_ = workCGType(kRoleProduct, sq, "metric products");
    accT_ = workCGType(kRoleAccum, accAll, "filter sums");
    return gradT_ && padT_ && m1T_ && m2T_ && m3T_ && prodT_ && prodSqT_ && accT_;
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
        gradientX_ = castTo(in_(iImg - numRows_), gradT_);
        gradientX_ = op(BinaryOp::Sub, gradientX_, in_(iImg + numRows_), gradT_, "gradient");
        gradientY_ = castTo(in_(iImg - 1), gradT_);
        gradientY_ = op(BinaryOp::Sub, gradientY_, in_(iImg + 1), gradT_, "gradient");
        pad_(iPad) = op(BinaryOp::Mul, gradientX_, gradientX_, padT_, "gradient product");
        pad_(iPad + sizePad_) = op(BinaryOp::Mul, gradientY_, gradientY_, padT_, "gradient product");
        pad_(iPad + sizePadDbl_) = op(BinaryOp::Mul, gradientX_, gradientY_, padT_, "gradient product");
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
        accBlock(j) = op(BinaryOp::Add, accBlock(j),
                         op(BinaryOp::Mul, pad_(iPad + j), filter_(iFltr), prodT_, "filter product"), accT_,
                         "filter sum");
        f_.endCFor();
        iPad += srcStep;
        f_.endCFor();
        f_.beginCFor(j, 0, kBlock);
        pad_(iPadDst + j) = castTo(accBlock(j), padT_);
        f_.endCFor();
        iPadDst += kBlock;
        row += kBlock;
    };
    const auto rowSum = [&](const IdxVal& srcStart, const IdxVal& tapStart, const IdxVal& srcStep) {
        accObj_ = constOf(accT_, 0.0);
        iPad = srcStart;
        f_.beginCFor(iFltr, tapStart, tapStart + L_);
        accObj_ =
            op(BinaryOp::Add, accObj_,
               op(BinaryOp::Mul, pad_(iPad), filter_(iFltr), prodT_, "filter product"), accT_, "filter sum");
        iPad += srcStep;
        f_.endCFor();
        pad_(iPadDst) = castTo(accObj_, padT_);
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
        memObj1_ = op(BinaryOp::Add, A, B, m1T_, "Harris sum");
        memObj2_ = castTo(op(BinaryOp::Mul, memObj1_, memObj1_, prodSqT_, "Harris square"), m2T_);
        memObj2_ = op(BinaryOp::Mul, factor_[0], memObj2_, m2T_, "Harris product with k");
        memObj3_ = op(BinaryOp::Mul, A, B, m3T_, "Harris product A*B");
        memObj3_ = op(BinaryOp::Sub, memObj3_, op(BinaryOp::Mul, D, D, prodSqT_, "Harris product D*D"), m3T_,
                      "Harris difference");
        memObj3_ = op(BinaryOp::Sub, memObj3_, memObj2_, m3T_, "Harris difference");
        out_(iImgOut_) = toOutput(memObj3_, resultSpan_);
    } else {
        memObj1_ = op(BinaryOp::Sub, A, B, m1T_, "minimum-eigenvalue difference");
        memObj2_ = castTo(op(BinaryOp::Mul, memObj1_, memObj1_, prodSqT_, "minimum-eigenvalue square"), m2T_);
        memObj3_ = op(BinaryOp::Mul, D, D, m3T_, "minimum-eigenvalue product D*D");
        memObj3_ = op(BinaryOp::Mul, constOf(fourT_, 4.0), memObj3_, m3T_, "minimum-eigenvalue product");
        memObj3_ = op(BinaryOp::Add, memObj2_, memObj3_, m3T_, "minimum-eigenvalue sum");
        const Type t = memObj3_.type();
        assignSqrt(sqrtObj_.expr(), memObj3_.expr(), &t);
        memObj4_ = op(BinaryOp::Add, A, B, m4T_, "minimum-eigenvalue sum");
        memObj4_ =
            op(BinaryOp::Sub, memObj4_, castTo(sqrtObj_, rootMemT_), m4T_, "minimum-eigenvalue difference");
        out_(iImgOut_) = toOutput(memObj4_, resultSpan_);
    }
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
    gradientX_.rebind(f_.localNumVar("gradientX", gradT_));
    gradientY_.rebind(f_.localNumVar("gradientY", gradT_));
    memObj1_.rebind(f_.localNumVar("memObj1", m1T_));
    memObj2_.rebind(f_.localNumVar("memObj2", m2T_));
    memObj3_.rebind(f_.localNumVar("memObj3", m3T_));
    if (!harris_) memObj4_.rebind(f_.localNumVar("memObj4", m4T_));
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
