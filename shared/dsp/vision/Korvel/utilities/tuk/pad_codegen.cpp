// Code generation of the pad block: the generated step copies the kept part of the input into the output
// and fills the pad regions dimension by dimension, reading sizes, amounts and strides from the block's
// run-time parameters, so one body serves whatever sizes the model has. Only the number of dimensions,
// the column count and the method are fixed when the code is generated.
#include <cstdint>

#include "blockcallbacks.h"
#include "cg/codegen.h"
#include "pad_cache.h"
#include "pad_instance.h"

using namespace sysobj;

namespace {

using CG::IdxRef;
using CG::IdxVal;
using CG::NumRef;
using CG::SrcLoc;

enum : int32_t {
    RTP_OUT_DIMS = 0,
    RTP_PAD_BEFORE,
    RTP_PAD_AFTER,
    RTP_IN_WORK_ADD,
    RTP_OUT_WORK_ADD,
    RTP_PAD_VALUE
};
enum : int32_t { DWORK_IN_ADD = 0, DWORK_OUT_ADD = 1 };

SrcLoc at(int line) {
    return SrcLoc{"dashel", line};
}

class PadCoreCtx : public DSPCG::CoreCtx {
  public:
    PadCoreCtx(SysObjAdaptorSFun* S, TarnCG::CGHandle* cg)
        : DSPCG::CoreCtx(cg, 3, 0, nullptr, nullptr), S_(S) {}
    ~PadCoreCtx() override {}
    void declareIRSupport() override { setIRSupported(); }
    void generateOutputFcn() override;

  private:
    void copyInToOut(int32_t numDims, int32_t columnCount);
    void fillDimension(int32_t numDims, int32_t method, const IdxRef& dim);
    void constantLine(const IdxRef& d);
    void replicateLine(const IdxRef& d);
    void symmetricLine(const IdxRef& d);
    void circularLine(const IdxRef& d);

    SysObjAdaptorSFun* S_;
    IdxRef outDims_, padBefore_, padAfter_, inWorkAdd_, outWorkAdd_, inAdd_, outAdd_;
    NumRef in_, out_, padValue_;
    IdxRef vector_, vectorLength_, prodLowDims_, skip_, k_;
};

void PadCoreCtx::generateOutputFcn() {
    const auto* inst = static_cast<const PadInstance*>(ssGetUserData(S_));
    if (!inst || !inst->cache) {
        CG::userError("the pad block has not been started: its instance record is missing");
        return;
    }
    const PadRunInfo& ri = inst->runInfo;
    outDims_.rebind(getParamIdxRefAsMatrix(RTP_OUT_DIMS));
    padBefore_.rebind(getParamIdxRefAsMatrix(RTP_PAD_BEFORE));
    padAfter_.rebind(getParamIdxRefAsMatrix(RTP_PAD_AFTER));
    inWorkAdd_.rebind(getParamIdxRefAsMatrix(RTP_IN_WORK_ADD));
    outWorkAdd_.rebind(getParamIdxRefAsMatrix(RTP_OUT_WORK_ADD));
    inAdd_.rebind(getDWorkIdxRefAsMatrix(DWORK_IN_ADD));
    outAdd_.rebind(getDWorkIdxRefAsMatrix(DWORK_OUT_ADD));
    in_.rebind(getInputNumRefAsMatrix(0));
    out_.rebind(getOutputNumRefAsMatrix(0));
    if (ri.padMethod == 1)
        padValue_.rebind(ssGetNumInputPorts(S_) > 1 ? getInputNumRef(1) : getParamNumRef(RTP_PAD_VALUE));

    copyInToOut(ri.numDims, inst->cache->columnCount());

    IdxRef dim = localIdxVar("dim");
    beginCFor(dim, 0, ri.numDims, "", at(2402));
    beginIf(padBefore_(dim) > 0 || padAfter_(dim) > 0, "", at(2404));
    fillDimension(ri.numDims, ri.padMethod, dim);
    endIf();
    endCFor();
}

void PadCoreCtx::copyInToOut(int32_t numDims, int32_t columnCount) {
    IdxRef inAddOffset = localIdxVar("inAddOffset");
    IdxRef outAddOffset = localIdxVar("outAddOffset");
    IdxRef inColLength = localIdxVar("inColLength");
    IdxRef i = localIdxVar("i");
    IdxRef j = localIdxVar("j");

    append("Length of input columns to copy. Start with output column length and adjust.", at(2297));
    inColLength = outDims_[0];
    beginIf(padBefore_[0] > 0, "", at(2299));
    inColLength -= padBefore_[0];
    endIf();
    beginIf(padAfter_[0] > 0, "", at(2302));
    inColLength -= padAfter_[0];
    endIf();

    append("Compute initial column start addresses in both input and output arrays.", at(2306));
    beginCFor(i, 0, numDims, "", at(2307));
    beginIf(padBefore_(i) < 0, "", at(2308));
    inAdd_(i) = -padBefore_(i);
    outAdd_(i) = 0;
    beginElse("", at(2311));
    inAdd_(i) = 0;
    outAdd_(i) = padBefore_(i);
    endIf();
    endCFor();

    append("Copy all needed input columns to the output array.", at(2318));
    beginCFor(i, 0, columnCount, "", at(2319));
    append("Compute starting address of next column to copy.", at(2320));
    inAddOffset = 0;
    outAddOffset = 0;
    beginCFor(j, 0, numDims, "", at(2323));
    inAddOffset += inAdd_(j) * inWorkAdd_(j);
    outAddOffset += outAdd_(j) * outWorkAdd_(j);
    endCFor();

    append("Copy a column from input to output array.", at(2328));
    beginCFor(j, 0, inColLength, "", at(2329));
    out_(outAddOffset + j) = in_(inAddOffset + j);
    endCFor();

    append("Increment the column starting address.", at(2333));
    beginCFor(j, 1, numDims, "", at(2334));
    ++inAdd_(j);
    ++outAdd_(j);
    beginIf(inAdd_(j) == outDims_(j) - (padBefore_(j) + padAfter_(j)) || outAdd_(j) == outDims_(j), "",
            at(2337));
    append("Reset index of this dim and continue to the next dim.", at(2338));
    beginIf(padBefore_(j) < 0, "", at(2339));
    inAdd_(j) = -padBefore_(j);
    outAdd_(j) = 0;
    beginElse("", at(2342));
    inAdd_(j) = 0;
    outAdd_(j) = padBefore_(j);
    endIf();
    beginElse("", at(2346));
    append("Done incrementing address for this pass.", at(2347));
    j = numDims;
    endIf();
    endCFor();
    endCFor();
    append("end CopyInToOut.", at(2360));
}

void PadCoreCtx::fillDimension(int32_t numDims, int32_t method, const IdxRef& d) {
    IdxRef i = localIdxVar("i");
    IdxRef j = localIdxVar("j");
    k_.rebind(localIdxVar("k"));
    vector_.rebind(localIdxVar("vector"));
    IdxRef vectorStart = localIdxVar("vectorStart");
    vectorLength_.rebind(localIdxVar("vectorLength"));
    prodLowDims_.rebind(localIdxVar("prodLowDims"));
    IdxRef prodHighDims = localIdxVar("prodHighDims");
    skip_.rebind(localIdxVar("skip"));

    vectorStart = 0;
    vectorLength_ = outDims_(d);
    prodLowDims_ = 1;
    prodHighDims = 1;
    beginCFor(i, 0, numDims, "", at(2412));
    beginIf(i < d, "", at(2413));
    prodLowDims_ *= outDims_(i);
    beginElseIf(i > d, "", at(2415));
    prodHighDims *= outDims_(i);
    endIf();
    endCFor();
    skip_ = vectorLength_;
    beginIf(padBefore_(d) > 0, "", at(2420));
    skip_ -= padBefore_(d);
    endIf();
    beginIf(padAfter_(d) > 0, "", at(2423));
    skip_ -= padAfter_(d);
    endIf();
    if (method == 1 || method == 2) skip_ *= prodLowDims_;

    beginCFor(i, 0, prodLowDims_, "", at(2428));
    vector_ = vectorStart;
    beginCFor(j, 0, prodHighDims, "", at(2430));
    switch (method) {
        case 2:
            replicateLine(d);
            break;
        case 3:
            symmetricLine(d);
            break;
        case 4:
            circularLine(d);
            break;
        default:
            constantLine(d);
            break;
    }
    endCFor();
    ++vectorStart;
    endCFor();
}

void PadCoreCtx::constantLine(const IdxRef& d) {
    beginCFor(k_, 0, padBefore_(d), "", at(2436));
    out_(vector_) = padValue_;
    vector_ += prodLowDims_;
    endCFor();
    vector_ += skip_;
    beginCFor(k_, 0, padAfter_(d), "", at(2441));
    out_(vector_) = padValue_;
    vector_ += prodLowDims_;
    endCFor();
}

void PadCoreCtx::replicateLine(const IdxRef& d) {
    IdxRef repLow = localIdxVar("repLow");
    IdxRef repHigh = localIdxVar("repHigh");
    repLow = vector_ + padBefore_(d) * prodLowDims_;
    repHigh = vector_ + (vectorLength_ - (padAfter_(d) + 1)) * prodLowDims_;
    beginCFor(k_, 0, padBefore_(d), "", at(2436));
    out_(vector_) = out_(repLow);
    vector_ += prodLowDims_;
    endCFor();
    vector_ += skip_;
    beginCFor(k_, 0, padAfter_(d), "", at(2441));
    out_(vector_) = out_(repHigh);
    vector_ += prodLowDims_;
    endCFor();
}

void PadCoreCtx::symmetricLine(const IdxRef& d) {
    IdxRef pad = localIdxVar("pad");
    IdxRef cir = localIdxVar("cir");
    IdxRef direction = localIdxVar("direction", SimpleConstructionFacade::boolT());
    // Before side: from the last before position backwards, mirroring the kept data from its first element.
    pad = vector_ + (padBefore_(d) - 1) * prodLowDims_;
    cir = vector_ + padBefore_(d) * prodLowDims_;
    direction = 1;
    beginCForCond(k_, 1, k_ <= padBefore_(d), 1, "", at(2436));
    out_(pad) = out_(cir);
    pad -= prodLowDims_;
    beginIf(k_ % skip_ == 0, "", at(2438));
    direction = !direction;
    beginElseIf(direction == 1, "", at(2440));
    cir += prodLowDims_;
    beginElse("", at(2442));
    cir -= prodLowDims_;
    endIf();
    endCFor();
    // After side: from the first after position forwards, mirroring from the last kept element.
    pad = vector_ + (vectorLength_ - padAfter_(d)) * prodLowDims_;
    cir = vector_ + (vectorLength_ - padAfter_(d) - 1) * prodLowDims_;
    direction = 1;
    beginCForCond(k_, 1, k_ <= padAfter_(d), 1, "", at(2441));
    out_(pad) = out_(cir);
    pad += prodLowDims_;
    beginIf(k_ % skip_ == 0, "", at(2443));
    direction = !direction;
    beginElseIf(direction == 1, "", at(2444));
    cir -= prodLowDims_;
    beginElse("", at(2445));
    cir += prodLowDims_;
    endIf();
    endCFor();
    vector_ += vectorLength_ * prodLowDims_;
}

void PadCoreCtx::circularLine(const IdxRef& d) {
    IdxRef pad = localIdxVar("pad");
    IdxRef cir = localIdxVar("cir");
    IdxRef cirStart = localIdxVar("cirStart");
    // Before side: from the last before position backwards, walking the kept data from its last element.
    pad = vector_ + (padBefore_(d) - 1) * prodLowDims_;
    cirStart = vectorLength_ - 1;
    beginIf(padAfter_(d) > 0, "", at(2433));
    cirStart -= padAfter_(d);
    endIf();
    cirStart = vector_ + cirStart * prodLowDims_;
    cir = cirStart;
    beginCForCond(k_, 1, k_ <= padBefore_(d), 1, "", at(2436));
    out_(pad) = out_(cir);
    pad -= prodLowDims_;
    beginIf(k_ % skip_ == 0, "", at(2438));
    cir = cirStart;
    beginElse("", at(2440));
    cir -= prodLowDims_;
    endIf();
    endCFor();
    // After side: from the first after position forwards, walking from the first kept element.
    pad = vector_ + (vectorLength_ - padAfter_(d)) * prodLowDims_;
    cirStart = vector_;
    beginIf(padBefore_(d) > 0, "", at(2439));
    cirStart += padBefore_(d) * prodLowDims_;
    endIf();
    cir = cirStart;
    beginCForCond(k_, 1, k_ <= padAfter_(d), 1, "", at(2441));
    out_(pad) = out_(cir);
    pad += prodLowDims_;
    beginIf(k_ % skip_ == 0, "", at(2443));
    cir = cirStart;
    beginElse("", at(2445));
    cir += prodLowDims_;
    endIf();
    endCFor();
    vector_ += vectorLength_ * prodLowDims_;
}

}  // namespace

DRAVO_CALLBACK void mdlTarnCG(BlockHandle* S, TarnCG::CGHandle* cg) {
    PadCoreCtx ctx(S, cg);
    ctx.constructCode();
}
