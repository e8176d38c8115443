// Code generation of the rotate block (TarnCGRotate): one step body that does what the block's
// floating-point engine does on each step, the angle and geometry included, with every line shifted by a
// call of the shared skew function of the block's method and type (ondskew.h). The layout mirrors the
// engine's clipping (threeshear.h), so the generated code writes nothing past the output or the work
// vectors and reads no row that pass 2 did not write.
#include <cstdint>
#include <new>
#include <string>

#include "pellor/anglemath.h"
#include "rotate_codegen.h"

using namespace sysobj;

namespace pellorcg {

using pellor::AngleConstants;

bool TarnCGRotate::floatingEngine() const {
    const DataTypeId in = ssGetInputPortDataType(S_, pellor::kImagePort);
    return blockutils::isBuiltInFloatType(in) && blockutils::useFloatingPointPath(S_, pellor::kImagePort);
}

void TarnCGRotate::fillElements(const NumRef& m, const IdxVal& from, const IdxVal& count, const NumVal& v) {
    IdxRef i = idx("i");
    f_.beginCFor(i, from, from + count, "", at(110));
    m(i) = v;
    f_.endCFor();
}

void TarnCGRotate::skewCall(const NumRef& src, const IdxVal& srcStart, const IdxVal& srcLen,
                            const IdxVal& dstLen, const NumVal& shift, const IdxVal& srcStride,
                            const IdxVal& dstStride, const NumRef& dst, const IdxVal& dstStart,
                            const IdxVal& firstPos, const NumVal& fill) {
    f_.append(skew_->callE({src.expr(), srcStart.expr(), srcLen.expr(), dstLen.expr(), shift.expr(),
                            srcStride.expr(), dstStride.expr(), dst.expr(), dstStart.expr(), firstPos.expr(),
                            fill.expr()}),
              at(120));
}

// Current input size, planes, full size and the size of one output plane.
void TarnCGRotate::sizes() {
    rowsIn_.rebind(idx("rowsIn"));
    colsIn_.rebind(idx("colsIn"));
    planes_.rebind(idx("planes"));
    rowsOut_.rebind(idx("rowsOut"));
    colsOut_.rebind(idx("colsOut"));
    outImageRows_.rebind(idx("outImageRows"));
    outImageCols_.rebind(idx("outImageCols"));
    if (variableSize_) {
        IdxRef dims = f_.idxRef(getInputDims(pellor::kImagePort).ref());
        rowsIn_ = dims[0];
        if (ssGetInputPortNumDimensions(S_, pellor::kImagePort) >= 2)
            colsIn_ = dims[1];
        else
            colsIn_ = 1;
    } else {
        rowsIn_ = shape_.rows;
        colsIn_ = shape_.cols;
    }
    planes_ = shape_.planes;
    outImageRows_ = shape_.fullRows;
    outImageCols_ = shape_.fullCols;
}

void TarnCGRotate::writeOutputDims() {
    if (!variableSize_) return;
    IdxRef dims = f_.idxRef(getOutputDims(0).ref());
    dims[0] = rowsOut_;
    dims[1] = colsOut_;
    if (ssGetOutputPortNumDimensions(S_, 0) > 2) dims[2] = planes_;
}

void TarnCGRotate::quarterTurnCode() {
    IdxRef plane = idx("plane"), planeWidth = idx("planeWidth"), planeOffset = idx("planeOffset");
    IdxRef i = idx("i"), j = idx("j"), indxI = idx("indxI"), indxO = idx("indxO");
    IdxRef swapRC = idx("swapRC"), inRows = idx("inRows"), inCols = idx("inCols");
    const int32_t q = shape_.quarterTurns;
    swapRC = q % 2;
    inRows = rowsIn_;
    inCols = colsIn_;
    if (variableSize_) {
        f_.beginIf(swapRC == 1, "", at(160));
        outImageRows_ = inCols;
        outImageCols_ = inRows;
        f_.beginElse("", at(163));
        outImageRows_ = inRows;
        outImageCols_ = inCols;
        f_.endIf();
    }
    if (shape_.sameSize) {
        rowsOut_ = rowsIn_;
        colsOut_ = colsIn_;
    } else {
        rowsOut_ = outImageRows_;
        colsOut_ = outImageCols_;
    }
    writeOutputDims();
    planeWidth = inRows * inCols;

    // A single pixel does not move: each output plane is cleared and its pixel goes to its start.
    f_.beginIf(inRows == 1 && inCols == 1, "", at(178));
    IdxRef outPlane = idx("outPlaneWidth");
    outPlane = rowsOut_ * colsOut_;
    f_.beginCFor(plane, 0, planes_, "", at(181));
    planeOffset = plane * outPlane;
    fillElements(out_, planeOffset, outPlane, 0.0);
    out_(planeOffset) = in_(plane);
    f_.endCFor();
    f_.beginElse("", at(186));
    f_.beginCFor(plane, 0, planes_, "", at(187));
    planeOffset = plane * planeWidth;
    switch (q) {
        case 1:
            f_.append("Quarter turn counterclockwise: (i, j) goes to (C-1-j, i).", at(191));
            f_.beginCFor(j, 0, inCols, "", at(192));
            f_.beginCFor(i, 0, inRows, "", at(193));
            indxI = planeOffset + i + j * inRows;
            indxO = planeOffset + (inCols - 1 - j) + i * inCols;
            out_(indxO) = in_(indxI);
            f_.endCFor();
            f_.endCFor();
            break;
        case 2:
            f_.append("Half turn: the plane reversed element by element.", at(201));
            f_.beginCFor(i, 0, planeWidth, "", at(202));
            out_(planeOffset + planeWidth - 1 - i) = in_(planeOffset + i);
            f_.endCFor();
            break;
        case 3:
            f_.append("Quarter turn clockwise: (i, j) goes to (j, R-1-i).", at(207));
            f_.beginCFor(j, 0, inCols, "", at(208));
            f_.beginCFor(i, 0, inRows, "", at(209));
            indxI = planeOffset + i + j * inRows;
            indxO = planeOffset + j + (inRows - 1 - i) * inCols;
            out_(indxO) = in_(indxI);
            f_.endCFor();
            f_.endCFor();
            break;
        default:
            f_.append("No turn: the plane is copied.", at(217));
            f_.beginCFor(i, 0, planeWidth, "", at(218));
            out_(planeOffset + i) = in_(planeOffset + i);
            f_.endCFor();
            break;
    }
    f_.endCFor();
    f_.endIf();
}

// The step's angle wrapped into [-pi, pi), a port angle clamped to +-min(max angle, pi), then reduced
// into [0, pi/2) with the quarter or half turn it takes out.
void TarnCGRotate::stepAngle() {
    const bool single = T_.kind() == CG::TypeKind::Single;
    const double pi = single ? double(AngleConstants<float>::pi) : AngleConstants<double>::pi;
    const double twoPi = single ? double(AngleConstants<float>::twoPi) : AngleConstants<double>::twoPi;
    const double halfPi = single ? double(AngleConstants<float>::halfPi) : AngleConstants<double>::halfPi;
    angle_.rebind(num("angleOfRotation"));
    theta_.rebind(num("angleForTan"));
    swapRC_.rebind(idx("swapRC"));
    quadrant_.rebind(idx("quadrant"));
    auto wrap = [&] {
        angle_ = call("fmod", {angle_, konst(twoPi)});
        f_.beginIf(angle_ >= konst(pi), "", at(241));
        angle_ -= konst(twoPi);
        f_.endIf();
        f_.beginIf(angle_ < konst(-pi), "", at(244));
        angle_ += konst(twoPi);
        f_.endIf();
    };
    if (fromPort_) {
        NumRef portAngle = f_.numRef(getInputRef(pellor::kAnglePort).ref());
        angle_ = f_.numVal(f_.castE(portAngle[0].expr(), T_));
    } else {
        angle_ = f_.numRef(getParamRef(pellor::kRtpAngle).ref())[0];
    }
    wrap();
    if (fromPort_) {
        NumRef maxAngle = num("maxAngleTemp");
        maxAngle = f_.numRef(getParamRef(pellor::kRtpAngle).ref())[0];
        f_.beginIf(!(maxAngle < konst(pi)), "", at(257));
        maxAngle = konst(pi);
        f_.endIf();
        f_.beginIf(call("fabs", {angle_}) > maxAngle, "", at(260));
        f_.beginIf(angle_ >= 0.0, "", at(261));
        angle_ = maxAngle;
        f_.beginElse("", at(263));
        angle_ = -maxAngle;
        f_.endIf();
        f_.endIf();
        // The clamped angle may sit on pi itself, which the reduction wraps once more.
        wrap();
    }
    theta_ = angle_;
    swapRC_ = 0;
    quadrant_ = 0;
    f_.beginIf(angle_ >= konst(halfPi) && angle_ < konst(pi), "", at(273));
    theta_ = angle_ - konst(halfPi);
    quadrant_ = 1;
    swapRC_ = 1;
    f_.beginElseIf(angle_ >= konst(-pi) && angle_ < konst(-halfPi), "", at(277));
    theta_ = angle_ + konst(pi);
    quadrant_ = 2;
    f_.beginElseIf(angle_ >= konst(-halfPi) && angle_ < 0.0, "", at(280));
    theta_ = angle_ + konst(halfPi);
    quadrant_ = 3;
    swapRC_ = 1;
    f_.endIf();
    exchangeRowsAndCols(287, 290);
}

void TarnCGRotate::exchangeRowsAndCols(int ifLine, int elseLine) {
    inRows_.rebind(idx("inRows"));
    inCols_.rebind(idx("inCols"));
    f_.beginIf(swapRC_ == 1, "", at(ifLine));
    inRows_ = colsIn_;
    inCols_ = rowsIn_;
    f_.beginElse("", at(elseLine));
    inRows_ = rowsIn_;
    inCols_ = colsIn_;
    f_.endIf();
}

void TarnCGRotate::trigonometry() {
    sin_.rebind(num("sinAngle"));
    cos_.rebind(num("cosAngle"));
    tanHalf_.rebind(num("tanAngleBy2"));
    if (!table_) {
        sin_ = call("sin", {theta_});
        cos_ = call("cos", {theta_});
        tanHalf_ = call("tan", {theta_ * 0.5});
        return;
    }
    const bool single = T_.kind() == CG::TypeKind::Single;
    const double halfPi = single ? double(AngleConstants<float>::halfPi) : AngleConstants<double>::halfPi;
    NumRef acc = num("acc"), acc1 = num("acc1"), acc2 = num("acc2"), acc3 = num("acc3");
    IdxRef indxI = idx("indxI"), tmpIdxI = idx("tmpIdxI");
    auto clampIndex = [&](IdxRef& k) {
        f_.beginIf(k < 0, "", at(310));
        k = 0;
        f_.endIf();
        f_.beginIf(k > 360, "", at(313));
        k = 360;
        f_.endIf();
    };
    f_.append("One table interval per quarter degree.", at(317));
    acc = theta_ * 360.0 / konst(halfPi);
    indxI = toIdx(acc);
    clampIndex(indxI);
    acc1 = acc - toT(indxI);
    sin_ = (NumVal(1.0) - acc1) * sineTable_(indxI) + acc1 * sineTable_(indxI + 1);
    acc2 = NumVal(360.0) - acc;
    tmpIdxI = toIdx(acc2);
    clampIndex(tmpIdxI);
    acc3 = acc2 - toT(tmpIdxI);
    cos_ = (NumVal(1.0) - acc3) * sineTable_(tmpIdxI) + acc3 * sineTable_(tmpIdxI + 1);
    tanHalf_ = sin_ / (cos_ + 1.0);
}

// Rotated size H x W and sheared width S of the pre-rotated image; in variable-size mode also the full
// size, which is the rotated size held at the port's size.
void TarnCGRotate::geometry() {
    rotRows_.rebind(idx("rotatedRows"));
    rotCols_.rebind(idx("rotatedCols"));
    shearCols_.rebind(idx("shearedCols"));
    rotCols_ = toIdx(call("ceil", {toT(inRows_) * sin_ + toT(inCols_) * cos_}));
    rotRows_ = toIdx(call("ceil", {toT(inCols_) * sin_ + toT(inRows_) * cos_}));
    shearCols_ = toIdx(call("ceil", {toT(inRows_) * tanHalf_ + toT(inCols_)}));
    f_.beginIf((rotCols_ - inCols_) % 2 != 0, "", at(342));
    ++rotCols_;
    f_.endIf();
    f_.beginIf((rotRows_ - inRows_) % 2 != 0, "", at(345));
    ++rotRows_;
    f_.endIf();
    maxInto(shearCols_, rotCols_);
    if (variableSize_) {
        outImageRows_ = rotRows_;
        minInto(outImageRows_, shape_.outRowsMax);
        outImageCols_ = rotCols_;
        minInto(outImageCols_, shape_.outColsMax);
    }
    if (shape_.sameSize) {
        rowsOut_ = rowsIn_;
        colsOut_ = colsIn_;
    } else {
        rowsOut_ = outImageRows_;
        colsOut_ = outImageCols_;
    }
}

void TarnCGRotate::lineCentre(const IdxVal& count) {
    NumRef temp = f_.localNumVar("temp", shiftT_);
    if (!fixed_) {
        temp = (toT(count) - 1.0) / 2.0;
        return;
    }
    // The engine's centre: count - 1 in the working type, then halved there (both steps quantised).
    fixSet(temp, (count - 1).expr(), blockModes(), 312);
    fixSet(temp,
           CG::ReinterpretNode::make(temp.expr(), Type::fixedT(true, shiftT_.bits(), shiftT_.exponent() - 1),
                                     false),
           blockModes(), 313);
}

void TarnCGRotate::lineShift(const IdxVal& position, const NumRef& factor, bool centreFirst) {
    NumRef shift = f_.localNumVar("shift", shiftT_);
    NumRef temp = f_.localNumVar("temp", shiftT_);
    if (!fixed_) {
        if (centreFirst)
            shift = (temp - toT(position)) * factor;
        else
            shift = (toT(position) - temp) * factor;
        return;
    }
    if (centreFirst) {
        fixSet(shift,
               CG::BinaryNode::make(CG::BinaryOp::Sub, temp.expr(), position.expr(), shiftT_, blockModes()),
               blockModes(), 327);
    } else {
        fixSet(shift, position.expr(), blockModes(), 329);
        fixUpdate(shift, CG::BinaryOp::Sub, temp.expr(), blockModes(), 330);
    }
    fixUpdate(shift, CG::BinaryOp::Mul, factor.expr(), blockModes(), 332);
}

void TarnCGRotate::shearPlanes() {
    // Layout of the sheared buffer, clipped to the work vectors.
    IdxRef row2padb = idx("row2padb"), row2pad = idx("row2pad"), col2pad = idx("col2pad");
    IdxRef shearBufRows = idx("shearBufRows"), wMax = idx("wMax"), tempBool = idx("tempBool");
    IdxRef centerRowOffset = idx("centerRowOffset"), centerColOffset = idx("centerColOffset");
    IdxRef inPlaneWidth = idx("inPlaneWidth"), outPlaneWidth = idx("outPlaneWidth");
    IdxRef lineLen = idx("lineLen");
    lineLen = shape_.lineLen;
    row2padb = (rotRows_ - inRows_) / 2;
    // The buffer's stride holds the full rows, the image rows and the rotated rows, so every row sits
    // where the geometry puts it; a layout the work vectors cannot hold leaves the fill value.
    shearBufRows = outImageRows_;
    maxInto(shearBufRows, inRows_);
    maxInto(shearBufRows, rotRows_);
    row2pad = row2padb;
    maxInto(row2pad, 0);
    wMax = shearCols_;
    col2pad = (wMax - inCols_) / 2;
    maxInto(col2pad, 0);
    IdxRef columnLen = idx("columnLen");
    columnLen = inRows_;
    f_.beginIf(row2padb >= 0, "", at(380));
    columnLen = outImageRows_;
    maxInto(columnLen, rotRows_);
    f_.endIf();
    tempBool =
        wMax >= inCols_ && shearBufRows > 0 && wMax <= lineLen && columnLen <= lineLen && inRows_ <= lineLen;
    f_.beginIf(tempBool == 1, "", at(387));
    tempBool = wMax <= IdxVal(shape_.shearedLen) / shearBufRows;
    f_.endIf();
    centerRowOffset = 0;
    centerColOffset = 0;
    if (!shape_.sameSize && centred_) {
        centerRowOffset = (outImageRows_ - rotRows_) / 2;
        centerColOffset = (outImageCols_ - rotCols_) / 2;
    }
    inPlaneWidth = rowsIn_ * colsIn_;
    outPlaneWidth = rowsOut_ * colsOut_;

    // Where pass 3 writes: output rows [startRIdx, endRIdx) take buffer rows k + offset, output columns
    // from colOffset take line positions [startIdx, endIdx).
    IdxRef nCols = idx("nColsAfterHorShear"), numOutputRows = idx("numOutputRows");
    IdxRef bufShift = idx("diff"), copied = idx("idx1"), pass3Rows = idx("idxO");
    IdxRef startIdxR = idx("startIdxR"), offset = idx("offset"), startIdx = idx("startIdx");
    IdxRef endIdx = idx("endIdx"), colOffset = idx("colOffset"), startRIdx = idx("startRIdx");
    IdxRef endRIdx = idx("endRIdx"), pass3Col2Pad = idx("pass3Col2Pad"), startIdxC = idx("startIdxC");
    IdxRef idxInt = idx("idxInt");
    nCols = inCols_ + col2pad * 2;
    numOutputRows = columnLen;
    minInto(numOutputRows, shearBufRows);
    bufShift = centerRowOffset;
    maxInto(bufShift, 0);
    minInto(bufShift, shearBufRows);
    copied = shearBufRows - bufShift;
    minInto(copied, numOutputRows);
    maxInto(copied, 0);
    pass3Rows = inRows_;
    f_.beginIf(row2padb >= 0, "", at(407));
    pass3Rows = rotRows_;
    f_.endIf();
    startIdxR = -row2padb;
    maxInto(startIdxR, 0);
    idxInt = startIdxR + rotRows_;
    minInto(idxInt, copied);
    if (shape_.sameSize) {
        offset = startIdxR + (rotRows_ - rowsIn_) / 2;
        startIdxC = (nCols - colsIn_) / 2;
        pass3Col2Pad = 0;
        endIdx = startIdxC + colsOut_;
    } else {
        offset = startIdxR - centerRowOffset;
        f_.beginIf(nCols >= rotCols_, "", at(421));
        pass3Col2Pad = (nCols - rotCols_) / 2;
        startIdxC = pass3Col2Pad - centerColOffset;
        f_.beginElse("", at(424));
        pass3Col2Pad = 0;
        startIdxC = -((outImageCols_ - nCols) / 2);
        f_.endIf();
        endIdx = pass3Col2Pad + rotCols_;
    }
    startIdx = pass3Col2Pad;
    maxInto(startIdx, startIdxC);
    minInto(endIdx, startIdxC + colsOut_);
    colOffset = startIdx - startIdxC;
    startRIdx = startIdxR - offset;
    maxInto(startRIdx, 0);
    endRIdx = idxInt - offset;
    minInto(endRIdx, rowsOut_);

    IdxRef plane = idx("plane"), fillValIdx = idx("fillValIdx"), inIdx = idx("inIdx"), outIdx = idx("outIdx");
    NumRef fillVal = num("fillVal");
    f_.beginCFor(plane, 0, planes_, "", at(441));
    fillValIdx = singleFill_ ? IdxVal(0) : IdxVal(plane);
    fillVal = fill_(fillValIdx);
    inIdx = plane * inPlaneWidth;
    outIdx = plane * outPlaneWidth;
    f_.beginIf(tempBool == 0, "The work vectors cannot hold this rotation: the plane keeps its fill value.",
               at(446));
    fillElements(out_, outIdx, outPlaneWidth, fillVal);
    f_.beginElse("", at(448));

    IdxRef i = idx("i"), j = idx("j"), indx = idx("indx"), indxa = idx("indxa"), indxb = idx("indxb");
    IdxRef inBufIdx = idx("inBufIdx"), shearBufIdx = idx("shearBufIdx"), tmp = idx("tmp");
    // The fill value where pass 2 reads and pass 1 does not write (above and below the image rows) and,
    // when pass 1 reads the buffer, where it reads and the image is not (the colPad columns).
    auto fillAroundImageRows = [&](bool colPadColumns) {
        f_.beginCFor(j, 0, wMax, "", at(452));
        tmp = j * shearBufRows;
        if (colPadColumns) {
            f_.beginIf(j < col2pad, "", at(454));
            fillElements(sheared_, tmp, shearBufRows, fillVal);
            f_.beginElse("", at(456));
        }
        fillElements(sheared_, tmp, row2pad, fillVal);
        fillElements(sheared_, tmp + row2pad + inRows_, shearBufRows - row2pad - inRows_, fillVal);
        if (colPadColumns) f_.endIf();
        f_.endCFor();
    };
    // Pre-rotation: the plane turned by what the reduction took out, at (row2pad, col2pad) of the buffer.
    auto preRotate = [&] {
        f_.beginIf(quadrant_ == 1, "", at(455));
        shearBufIdx = row2pad + colsIn_ - 1 + col2pad * shearBufRows;
        indxa = shearBufRows;
        indxb = -1;
        f_.beginElseIf(quadrant_ == 2, "", at(459));
        shearBufIdx = row2pad + rowsIn_ - 1 + (col2pad + colsIn_ - 1) * shearBufRows;
        indxa = -1;
        indxb = -shearBufRows;
        f_.beginElseIf(quadrant_ == 3, "", at(463));
        shearBufIdx = row2pad + (col2pad + rowsIn_ - 1) * shearBufRows;
        indxa = -shearBufRows;
        indxb = 1;
        f_.beginElse("", at(467));
        shearBufIdx = row2pad + col2pad * shearBufRows;
        indxa = 1;
        indxb = shearBufRows;
        f_.endIf();
        inBufIdx = inIdx;
        f_.beginCFor(j, 0, colsIn_, "", at(473));
        indx = shearBufIdx + j * indxb;
        f_.beginCFor(i, 0, rowsIn_, "", at(475));
        sheared_(indx) = in_(inBufIdx);
        ++inBufIdx;
        indx += indxa;
        f_.endCFor();
        f_.endCFor();
    };

    // Pass 1: rows by (r - (R'-1)/2) * tan(theta/2), through the line buffer.
    NumRef shift = f_.localNumVar("shift", shiftT_);
    IdxRef k = idx("k");
    lineCentre(inRows_);
    auto lineByLine = [&] {
        fillAroundImageRows(true);
        preRotate();
        f_.beginCFor(i, 0, inRows_, "Pass 1: horizontal shear", at(480));
        lineShift(i, tanHalf_, false);
        skewCall(sheared_, row2pad + i, col2pad + inCols_, wMax, shift, shearBufRows, 1, line_, 0, 0,
                 fillVal);
        tmp = row2pad + i;
        f_.beginCFor(k, 0, wMax, "", at(485));
        sheared_(tmp) = line_(k);
        tmp += shearBufRows;
        f_.endCFor();
        f_.endCFor();
    };
    // The output plane is free until pass 2: it holds a band of turned rows read from the input.
    IdxRef bandRows = idx("bandRows");
    bandRows = 0;
    f_.beginIf(col2pad + inCols_ > 0, "", at(495));
    bandRows = outPlaneWidth / (col2pad + inCols_);
    minInto(bandRows, kPass1BandRows);
    f_.endIf();
    f_.beginIf(bandRows > 1, "", at(499));
    fillAroundImageRows(false);
    bandedPass1(col2pad + inCols_, wMax, fillVal);
    f_.beginElse("", at(501));
    lineByLine();
    f_.endIf();

    // The fill value wherever pass 3 does not write: columns before and after its window, rows above and
    // below it.
    f_.beginIf(startIdx < endIdx && startRIdx < endRIdx, "", at(508));
    tmp = colOffset + endIdx - startIdx;
    fillElements(out_, outIdx, colOffset * rowsOut_, fillVal);
    f_.beginCFor(j, colOffset, tmp, "", at(511));
    indx = outIdx + j * rowsOut_;
    fillElements(out_, indx, startRIdx, fillVal);
    fillElements(out_, indx + endRIdx, rowsOut_ - endRIdx, fillVal);
    f_.endCFor();
    fillElements(out_, outIdx + tmp * rowsOut_, outPlaneWidth - tmp * rowsOut_, fillVal);
    f_.beginElse("", at(517));
    fillElements(out_, outIdx, outPlaneWidth, fillVal);
    f_.endIf();

    // Pass 2: columns by ((N-1)/2 - c) * sin(theta), moved down by the placement row shift.
    lineCentre(nCols);
    f_.beginCFor(j, 0, nCols, "Pass 2: vertical shear", at(500));
    lineShift(j, sin_, true);
    tmp = j * shearBufRows;
    IdxRef whole = idx("wholeShift"), move = idx("move");
    columnMove(numOutputRows, whole, move);
    f_.beginIf(whole == 1, "A whole shift moves the column in place.", at(503));
    moveColumnInPlace(tmp, numOutputRows, move, bufShift, copied, fillVal);
    f_.beginElse("", at(504));
    skewCall(sheared_, tmp, numOutputRows, numOutputRows, shift, 1, 1, line_, 0, 0, fillVal);
    fillElements(sheared_, tmp, bufShift, fillVal);
    f_.beginCFor(k, 0, copied, "", at(505));
    sheared_(tmp + bufShift + k) = line_(k);
    f_.endCFor();
    f_.endIf();
    f_.endCFor();

    // Pass 3: rows of the rotated image into the output window, about the centre row (L3-1)/2.
    lineCentre(pass3Rows);
    f_.beginIf(startIdx < endIdx && startRIdx < endRIdx, "", at(513));
    bandedPass3(offset, bufShift, nCols, startIdx, endIdx, colOffset, startRIdx, endRIdx, fillVal);
    f_.endIf();
    f_.endIf();
    f_.endCFor();
}

// Whether the skew function would only move a column of dstLen positions by a whole number of positions for
// the current "shift", and by how much: its own decision, taken from the same bounded shift. Integer and
// fixed-point columns are moved in place for nearest neighbour only, as the engine moves them.
void TarnCGRotate::columnMove(const IdxVal& dstLen, IdxRef& whole, IdxRef& move) {
    NumRef shift = f_.localNumVar("shift", shiftT_);
    whole = 0;
    move = 0;
    if (fixed_) {
        if (shape_.method != SkewGen::kNearest) return;
        whole = 1;
        move = f_.idxVal(CG::CastNode::make(shift.expr(), Type::intT(true, 32),
                                            CG::MathModes{CG::RndNearest, CG::OvfSaturate}));
        maxInto(move, -1073741824);
        minInto(move, 1073741824);
        return;
    }
    const double limit = 1073741824.0;
    NumRef bounded = num("boundedShift");
    bounded = shift;
    f_.beginIf(!(bounded == bounded), "", at(570));
    bounded = 0.0;
    f_.beginElseIf(bounded > konst(limit), "", at(572));
    bounded = konst(limit);
    f_.beginElseIf(bounded < konst(-limit), "", at(574));
    bounded = konst(-limit);
    f_.endIf();
    if (shape_.method == SkewGen::kNearest) {
        whole = 1;
        move = toIdx(call("floor", {bounded + 0.5}));
        return;
    }
    move = toIdx(bounded);
    if (shape_.method == SkewGen::kBilinear) {
        whole = bounded - toT(move) == 0.0;
        return;
    }
    // Bicubic takes a shift past the line's end as an interpolation.
    IdxRef stop = idx("stopIdx");
    stop = move;
    minInto(stop, dstLen);
    whole = bounded - toT(stop) == 0.0;
}

// Column col of the buffer (len samples) moved by `move` positions and down by bufShift, as the skew
// function moves it through the line buffer: positions [0, copied) after bufShift fill samples take sample
// p - move, or the fill value where that is outside the column.
void TarnCGRotate::moveColumnInPlace(const IdxVal& col, const IdxVal& len, const IdxVal& move,
                                     const IdxVal& bufShift, const IdxVal& copied, const NumVal& fillVal) {
    IdxRef lo = idx("moveLo"), hi = idx("moveHi"), k = idx("k");
    lo = move;
    maxInto(lo, 0);
    minInto(lo, copied);
    hi = move + len;
    maxInto(hi, lo);
    minInto(hi, copied);
    // The samples overlap where they go: down the column from its end, up it from its start.
    f_.beginIf(bufShift + move > 0, "", at(590));
    f_.beginCFor(k, 0, hi - lo, "", at(591));
    sheared_(col + bufShift + hi - 1 - k) = sheared_(col + hi - 1 - k - move);
    f_.endCFor();
    f_.beginElseIf(bufShift + move < 0, "", at(594));
    f_.beginCFor(k, lo, hi, "", at(595));
    sheared_(col + bufShift + k) = sheared_(col + k - move);
    f_.endCFor();
    f_.endIf();
    fillElements(sheared_, col, bufShift + lo, fillVal);
    fillElements(sheared_, col + bufShift + hi, copied - hi, fillVal);
}

// Pass 1 in bands of rows: the band's turned rows are read straight from the input into the output plane
// (column by column, after col2pad columns of fill, in the output's type as the buffer holds them), then
// sheared into the buffer, floating rows in pieces of kBandPositions positions, so that the strided reads
// and writes of neighbouring rows share cache lines and pages.
void TarnCGRotate::bandedPass1(const IdxVal& srcLen, const IdxVal& wMax, const NumVal& fillVal) {
    NumRef shift = f_.localNumVar("shift", shiftT_);
    IdxRef i = idx("i"), j = idx("j"), outIdx = idx("outIdx"), row2pad = idx("row2pad"), inIdx = idx("inIdx");
    IdxRef col2pad = idx("col2pad"), shearBufRows = idx("shearBufRows"), bandRows = idx("bandRows");
    IdxRef indx = idx("indx"), inBufIdx = idx("inBufIdx");
    IdxRef origin = idx("shearBufIdx"), rowStep = idx("indxa"), colStep = idx("indxb");
    IdxRef bandRow = idx("bandRow"), bandRowEnd = idx("bandRowEnd");
    IdxRef bandPos = idx("bandPos"), bandPosEnd = idx("bandPosEnd");
    // Sample (r, c) of the turned plane is the input's inIdx + origin + r * rowStep + c * colStep.
    f_.beginIf(quadrant_ == 1, "", at(600));
    origin = (colsIn_ - 1) * rowsIn_;
    rowStep = -rowsIn_;
    colStep = 1;
    f_.beginElseIf(quadrant_ == 2, "", at(604));
    origin = rowsIn_ - 1 + (colsIn_ - 1) * rowsIn_;
    rowStep = -1;
    colStep = -rowsIn_;
    f_.beginElseIf(quadrant_ == 3, "", at(608));
    origin = rowsIn_ - 1;
    rowStep = rowsIn_;
    colStep = -1;
    f_.beginElse("", at(612));
    origin = 0;
    rowStep = 1;
    colStep = rowsIn_;
    f_.endIf();
    origin += inIdx;
    bandRow = 0;
    f_.beginCWhile(bandRow < inRows_, "Pass 1: horizontal shear", at(618));
    bandRowEnd = bandRow + bandRows;
    minInto(bandRowEnd, inRows_);
    // The band column by column, bandRows apart: position c of band row r at (r - bandRow) + c * bandRows,
    // after col2pad columns of fill.
    fillElements(out_, outIdx, col2pad * bandRows, fillVal);
    f_.beginIf(swapRC_ == 1, "Along the input's rows, where the turn makes them the band's columns.",
               at(625));
    f_.beginCFor(i, bandRow, bandRowEnd, "", at(626));
    inBufIdx = origin + i * rowStep;
    indx = outIdx + (i - bandRow) + col2pad * bandRows;
    f_.beginCFor(j, 0, inCols_, "", at(629));
    out_(indx) = in_(inBufIdx);
    inBufIdx += colStep;
    indx += bandRows;
    f_.endCFor();
    f_.endCFor();
    f_.beginElse("Down the input's columns.", at(635));
    f_.beginCFor(j, 0, inCols_, "", at(636));
    inBufIdx = origin + bandRow * rowStep + j * colStep;
    indx = outIdx + (col2pad + j) * bandRows;
    f_.beginCFor(i, bandRow, bandRowEnd, "", at(639));
    out_(indx) = in_(inBufIdx);
    inBufIdx += rowStep;
    ++indx;
    f_.endCFor();
    f_.endCFor();
    f_.endIf();
    if (fixed_) {
        // Whole rows: their weights take many quantised operations per call.
        f_.beginCFor(i, bandRow, bandRowEnd, "", at(649));
        lineShift(i, tanHalf_, false);
        skewCall(out_, outIdx + (i - bandRow), srcLen, wMax, shift, bandRows, shearBufRows, sheared_,
                 row2pad + i, 0, fillVal);
        f_.endCFor();
    } else {
        f_.beginCFor(bandPos, 0, wMax, kBandPositions, "", at(646));
        bandPosEnd = bandPos + kBandPositions;
        minInto(bandPosEnd, wMax);
        f_.beginCFor(i, bandRow, bandRowEnd, "", at(649));
        lineShift(i, tanHalf_, false);
        skewCall(out_, outIdx + (i - bandRow), srcLen, bandPosEnd, shift, bandRows, shearBufRows, sheared_,
                 row2pad + i + bandPos * shearBufRows, bandPos, fillVal);
        f_.endCFor();
        f_.endCFor();
    }
    bandRow = bandRowEnd;
    f_.endCWhile();
}

// Pass 3 in bands of kPass3BandRows output rows and pieces of positions, so that neighbouring rows share
// the cache lines and pages of the strided buffer and output; each piece of a row gets exactly the values
// the whole row gives it. Integer and fixed-point pieces are longer: their weights take many quantised
// operations per call.
void TarnCGRotate::bandedPass3(const IdxVal& offset, const IdxVal& bufShift, const IdxVal& nCols,
                               const IdxVal& startIdx, const IdxVal& endIdx, const IdxVal& colOffset,
                               const IdxVal& startRIdx, const IdxVal& endRIdx, const NumVal& fillVal) {
    NumRef shift = f_.localNumVar("shift", shiftT_);
    IdxRef k = idx("k"), tmp = idx("tmp"), outBufIdx = idx("outBufIdx"), outIdx = idx("outIdx");
    IdxRef shearBufRows = idx("shearBufRows");
    IdxRef bandRow = idx("bandRow"), bandRowEnd = idx("bandRowEnd");
    IdxRef bandPos = idx("bandPos"), bandPosEnd = idx("bandPosEnd");
    f_.beginCFor(bandRow, startRIdx, endRIdx, kPass3BandRows, "Pass 3: horizontal shear into the output",
                 at(620));
    bandRowEnd = bandRow + kPass3BandRows;
    minInto(bandRowEnd, endRIdx);
    const int32_t positions = fixed_ ? kFixBandPositions : kBandPositions;
    f_.beginCFor(bandPos, startIdx, endIdx, positions, "", at(623));
    bandPosEnd = bandPos + positions;
    minInto(bandPosEnd, endIdx);
    f_.beginCFor(k, bandRow, bandRowEnd, "", at(626));
    tmp = k + offset;
    lineShift(tmp, tanHalf_, false);
    outBufIdx = outIdx + k + (colOffset + bandPos - startIdx) * rowsOut_;
    // A piece gives each position what the whole row gives it: a whole bicubic shift past the piece's end,
    // which the whole row takes as a move and the piece as an interpolation, leaves fill there either way.
    skewCall(sheared_, tmp + bufShift, nCols, bandPosEnd, shift, shearBufRows, rowsOut_, out_, outBufIdx,
             bandPos, fillVal);
    f_.endCFor();
    f_.endCFor();
    f_.endCFor();
}

void TarnCGRotate::output() {
    if (ssGetUserData(S_) == nullptr) {
        CG::userError("the block has not been started: its kernel object is missing");
        return;
    }
    const bool floatingImage = blockutils::isBuiltInFloatType(ssGetInputPortDataType(S_, pellor::kImagePort));
    if (floatingImage && !floatingEngine()) {
        CG::userError(
            "a double or single image in a run that logs minimum, maximum and overflow values takes the "
            "fixed-point engine with floating working types, which generated code does not reproduce");
        return;
    }
    fixed_ = !floatingImage;
    if (!pellor::gatherKernelShape(S_, shape_)) {
        CG::userError("the block's sizes could not be read");
        return;
    }
    f_.setBuilder(currentBuilder());
    f_.setMathModes(roundingMode(), overflowMode());
    variableSize_ = ssGetInputPortDimensionsMode(S_, pellor::kImagePort) == 1;
    fromPort_ = pellor::isAngleFromPort(S_);
    table_ = fixed_ || pellor::isSineByTable(S_);
    centred_ = pellor::isCenteredPlacement(S_);
    singleFill_ = pellor::getFillValueCount(S_) == 1;
    if (fixed_) {
        // Buffers, fill values and output are of the output's type; shifts of the working type.
        if (!fixTypes()) return;
        T_ = fx_.out;
        shiftT_ = fx_.acc;
    } else {
        T_ = getTarnBlock()->CGTypeFromDtProp(ssGetInputPortDataType(S_, pellor::kImagePort));
        if (!T_) return;
        shiftT_ = T_;
    }

    in_.rebind(f_.numRef(getInputRef(pellor::kImagePort).ref()));
    out_.rebind(f_.numRef(getOutputVar(0).ref()));
    fill_.rebind(f_.numRef(getParamRef(pellor::kRtpFillValue).ref()));
    if (!shape_.quarterTurnOnly) {
        line_.rebind(f_.numRef(getDWorkRef(pellor::kDWorkLineBuffer).ref()));
        sheared_.rebind(f_.numRef(getDWorkRef(pellor::kDWorkShearedImage).ref()));
        if (table_) sineTable_.rebind(f_.numRef(getParamRef(pellor::kRtpSineTable).ref()));
        if (fixed_) {
            skew_ = std::make_unique<SkewGen>(cg_->unit().pool, T_, T_, T_, T_, fx_.acc, fx_.acc, fx_.product,
                                              Type::intT(true, 32), roundingMode(), overflowMode(),
                                              shape_.method);
        } else {
            skew_ =
                std::make_unique<SkewGen>(cg_->unit().pool, T_, T_, T_, T_, T_, T_, T_, Type::intT(true, 32),
                                          roundingMode(), overflowMode(), shape_.method);
        }
        if (!skew_->valid() || !skew_->findOrCreateFcn()) return;
    }
    sizes();

    // An empty frame runs the whole step as the simulation does: its output takes the size the geometry
    // gives (held by no sample, so all fill in an expanded output), never the previous frame's.
    // A port angle that is Inf or NaN stops the simulation's step before anything is written.
    IdxRef angleOk = idx("angleOk");
    angleOk = 1;
    if (fromPort_ && blockutils::isBuiltInFloatType(ssGetInputPortDataType(S_, pellor::kAnglePort))) {
        NumRef portAngle = f_.numRef(getInputRef(pellor::kAnglePort).ref());
        angleOk = portAngle[0] - portAngle[0] == 0.0;
    }
    f_.beginIf(angleOk == 0, "", at(585));
    IdxRef falseVal = idx("falseVal");
    falseVal = 0;
    f_.beginElse("", at(588));
    if (shape_.quarterTurnOnly) {
        quarterTurnCode();
    } else if (fixed_) {
        fixStepAngle();
        fixTrigonometry();
        fixGeometry();
        writeOutputDims();
        shearPlanes();
    } else {
        stepAngle();
        trigonometry();
        geometry();
        writeOutputDims();
        shearPlanes();
    }
    f_.endIf();
}

}  // namespace pellorcg

using pellorcg::TarnCGRotate;

DRAVO_CALLBACK void mdlTarnCG(BlockHandle* S, TarnCG::CGHandle* cg) {
    // The context lives on the heap for this one call; a failed allocation generates nothing.
    TarnCGRotate* ctx = new (std::nothrow) TarnCGRotate(S, cg);
    if (ctx == nullptr) {
        ssSetErrorStatus(S, "Out of memory while generating code.");
        return;
    }
    ctx->constructCode();
    delete ctx;
}
