// The fixed-point kernel object of the rotate block and mdlStartFixPt, which builds it.
#include "pellor/rotatesfcncachefix.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <type_traits>

#include "blockutils.h"
#include "pellor/pellor.h"
#include "vekdsp.h"

using namespace sysobj;
using namespace VekDSPFixpt;

namespace pellor {

namespace {

using fixdetail::copyRun;
using fixdetail::fillRun;

// The wrapped and reduced angles live in the angle's type widened to hold |angle| + 2*pi and saturating,
// so the wrap cannot turn over in a narrow angle type (an s16.15 angle cannot even hold pi/2).
NumType angleWorkType(const NumType& angle) {
    if (angle.isFloating()) return angle;
    const int32_t magnitudeBits = angle.wordLength - (angle.isSigned ? 1 : 0);
    const int32_t intBits = std::max(magnitudeBits - angle.fracLength, 3) + 1;
    const int32_t wl = std::clamp(intBits + angle.fracLength + 1, kMinWordLength, kMaxWordLength);
    return NumType::fixed(true, wl, angle.fracLength);
}

int64_t elementsOf(const ssParamRec* rec) {
    if (rec == nullptr) return 0;
    int64_t n = 1;
    for (int32_t d = 0; d < rec->nDimensions; ++d)
        n *= rec->dimensions[d];
    return n;
}

}  // namespace

RotateSFcnCacheFix::RotateSFcnCacheFix(const FixKernelConfig& config) : c_(config) {
    setSetupFromShape(setup_, c_, c_.centred);
    setup_.method = c_.method;
}

RotateSFcnCacheFix::~RotateSFcnCacheFix() = default;

std::unique_ptr<RotateSFcnCacheFix> RotateSFcnCacheFix::create(const FixKernelConfig& config) {
    std::unique_ptr<RotateSFcnCacheFix> cache(new (std::nothrow) RotateSFcnCacheFix(config));
    if (!cache) {
        ssSetErrorStatus(config.S, "Rotate: out of memory.");
        return nullptr;
    }
    if (!cache->build()) return nullptr;
    return cache;
}

bool RotateSFcnCacheFix::build() {
    SysObjAdaptorSFun* S = c_.S;
    const NumType floatType = c_.inputType == SS_SINGLE ? NumType::singleType() : NumType::doubleType();
    const NumType product =
        c_.floatingImage ? floatType : NumType::fixed(true, c_.productWordLength, c_.productFracLength);
    const NumType accum =
        c_.floatingImage ? floatType : NumType::fixed(true, c_.accumWordLength, c_.accumFracLength);
    const int32_t rnd = c_.rounding, ovf = c_.overflow;

    auto fromId = [&](DataTypeId id, const char* label) {
        return std::make_unique<DSPDataAttributesHandle>(id, 0, product, accum, rnd, ovf, label);
    };
    outputAttrs_ = fromId(c_.outputType, "Output");
    inputAttrs_ = fromId(c_.inputType, "Input");
    scaleAttrs_ = fromId(c_.piType, "ScaleValue");
    sineAttrs_ = fromId(c_.sineType, "SineTable");
    angleAttrs_ = fromId(c_.angleType, "Angle values");
    if (!angleAttrs_->isValid()) {
        ssSetErrorStatus(S, ("Rotate: angle data type: " + angleAttrs_->errorMessage()).c_str());
        return false;
    }
    angleWorkAttrs_ = std::make_unique<DSPDataAttributesHandle>(
        angleWorkType(angleAttrs_->valueType()), product, accum, rnd, kOverflowSaturate, "Angle values");
    workingAttrs_ = std::make_unique<DSPDataAttributesHandle>(accum, product, accum, rnd, ovf, "Accumulator",
                                                              "Product output", "Accumulator");
    const NumType int32Type = NumType::fixed(true, 32, 0);
    integerAttrs_ = std::make_unique<DSPDataAttributesHandle>(
        int32Type, int32Type, int32Type, kRoundFloor, kOverflowWrap, "a32BitInt", "a32BitInt", "a32BitInt");

    auto over = [&](const DSPDataAttributesHandle* h, void* data, int32_t n) {
        return std::unique_ptr<Fixpt>(FixptFactory::createFixpt(S, h, data, n));
    };
    auto scalar = [&](const DSPDataAttributesHandle* h) {
        return std::unique_ptr<Fixpt>(FixptFactory::createFixpt(S, h));
    };
    auto failed = [&] { return ssGetErrorStatus(S) != nullptr; };

    input_ = over(inputAttrs_.get(), c_.input, c_.inputWidth);
    output_ = over(outputAttrs_.get(), c_.output, c_.outputWidth);
    fill_ = over(outputAttrs_.get(), c_.fill, c_.fillCount);
    if (failed()) return false;
    if (!c_.quarterTurnOnly) {
        sheared_ = over(outputAttrs_.get(), c_.sheared, c_.shearedLen);
        line_ = over(outputAttrs_.get(), c_.line, c_.lineLen + 1);
    }
    sineTable_ = over(sineAttrs_.get(), c_.sineTable, c_.sineTableLen);
    twoPi_ = over(scaleAttrs_.get(), c_.twoPi, 1);
    pi_ = scalar(scaleAttrs_.get());
    halfPi_ = scalar(scaleAttrs_.get());
    angle_in_ = over(angleAttrs_.get(), c_.angle, 1);
    if (c_.angleFromPort) maxAngle_ = over(angleAttrs_.get(), c_.maxAngle, 1);
    if (failed()) return false;

    wrapped_ = scalar(angleWorkAttrs_.get());
    reduced_ = scalar(angleWorkAttrs_.get());
    angleScratch_ = scalar(angleWorkAttrs_.get());
    maxWork_ = scalar(angleWorkAttrs_.get());
    for (auto* p : {&index_, &frac_, &sin_, &cos_, &tanHalf_, &term_, &shift_, &centre_})
        *p = scalar(workingAttrs_.get());
    integer_ = scalar(integerAttrs_.get());
    count360_ = scalar(integerAttrs_.get());
    if (failed()) return false;

    FixSkewNumbers numbers;
    for (auto* p :
         {&numbers.frac, &numbers.oneMinus, &numbers.d, &numbers.d2, &numbers.d3, &numbers.term, &numbers.acc,
          &numbers.weight[0], &numbers.weight[1], &numbers.weight[2], &numbers.weight[3]})
        *p = scalar(workingAttrs_.get());
    numbers.integer = scalar(integerAttrs_.get());
    if (failed() || !numbers.complete()) return false;
    skew_ = std::make_unique<FixSkewEngine>(c_.method, std::move(numbers), FixptFactory::isLoggingOn(S));

    // pi and pi/2 are the stored 2*pi shifted right, so the wrap and the reduction agree with each other.
    *pi_ = *twoPi_;
    pi_->shiftRight(1);
    *halfPi_ = *twoPi_;
    halfPi_->shiftRight(2);
    *count360_ = 360;
    return true;
}

Fixpt& RotateSFcnCacheFix::integer(int64_t v) {
    *integer_ = int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
    return *integer_;
}

void RotateSFcnCacheFix::stepAngle() {
    Fixpt& a = *wrapped_;
    Fixpt& t = *reduced_;
    Fixpt& tmp = *angleScratch_;
    const bool negative = angle_in_->isNegative();
    t.reset();
    if (negative)
        t -= *angle_in_;
    else
        t = *angle_in_;
    // Whole turns of a very large angle go at once (one whole turn fewer than the quotient, so what the
    // subtraction loop below finishes is what it would have found alone).
    const double turn = twoPi_->toDouble();
    for (double q = std::floor(t.toDouble() / turn) - 1.0; q >= 64.0;
         q = std::floor(t.toDouble() / turn) - 1.0) {
        tmp = *twoPi_;
        tmp *= integer(int64_t(std::min(q, 1073741824.0)));
        t -= tmp;
    }
    // Remainder in (0, 2*pi] with the angle's sign. An angle type coarser than 2*pi's rounding can round
    // t - 2*pi back onto t (fraction length -3 and rounding up): stop at the first turn that does not
    // decrease t rather than loop for ever.
    a.reset();
    while (t.isPositive()) {
        a = t;
        t -= *twoPi_;
        if (t >= a) break;
    }
    if (negative) {
        t = a;
        a.reset();
        a -= t;
    }
    if (a >= *pi_) a -= *twoPi_;
    tmp.reset();
    tmp -= *pi_;
    if (a < tmp) a += *twoPi_;

    if (c_.angleFromPort) {
        Fixpt& m = *maxWork_;
        m = *maxAngle_;
        if (m > *pi_) m = *pi_;
        tmp.reset();
        tmp -= m;
        if (a > m || a < tmp) {
            if (a.isNonNegative())
                a = m;
            else
                a = tmp;
        }
    }
    angle_.wrapped = a.toDouble();

    Fixpt& theta = *reduced_;
    Fixpt& negHalfPi = *maxWork_;
    tmp.reset();
    tmp -= *pi_;
    negHalfPi.reset();
    negHalfPi -= *halfPi_;
    theta = a;
    if (a >= *halfPi_ && a < *pi_) {
        theta -= *halfPi_;
        angle_.how = {Quadrant::QuarterCounter, true};
    } else if (a >= tmp && a < negHalfPi) {
        theta += *pi_;
        angle_.how = {Quadrant::Half, false};
    } else if (a >= negHalfPi && a.isNegative()) {
        theta += *halfPi_;
        angle_.how = {Quadrant::QuarterClockwise, true};
    } else {
        angle_.how = {Quadrant::None, false};
    }
    angle_.reduced = theta.toDouble();
}

namespace {

// The table trigonometry and the sizes on number objects: every step quantised into its register's type.
struct FixTrigKit {
    Fixpt &i, &f, &term, &other, &sine, &cosine, &tanHalf;
    Fixpt &theta, &count360, &halfPi, &table, &integerObj;
    int32_t last;
    double* tableIndex;

    void index() {
        i = theta * count360;
        i.divide(i, halfPi);
        *tableIndex = i.toDouble();
    }
    int32_t interval(Fixpt& x) const { return std::clamp(x.floor(), 0, last); }
    Fixpt& integer(int64_t v) {
        integerObj = int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
        return integerObj;
    }
    static void set(Fixpt& x, Fixpt& y) { x = y; }
    void setInt(Fixpt& x, int32_t n) { x = integer(n); }
    static void add(Fixpt& x, Fixpt& y) { x += y; }
    void addInt(Fixpt& x, int32_t n) { x += integer(n); }
    static void sub(Fixpt& x, Fixpt& y) { x -= y; }
    void subInt(Fixpt& x, int32_t n) { x -= integer(n); }
    void mulInt(Fixpt& x, int32_t n) { x *= integer(n); }
    void mulTable(Fixpt& x, int32_t k) { x *= table[k]; }
    static void divide(Fixpt& out, Fixpt& a, Fixpt& b) { out.divide(a, b); }
    static int32_t ceil(Fixpt& x) { return x.ceil(); }
};

}  // namespace

void RotateSFcnCacheFix::shearGeometry(int32_t rowsPre, int32_t colsPre, int32_t rowsLimit,
                                       int32_t colsLimit) {
    FixTrigKit k{*index_,
                 *frac_,
                 *term_,
                 *shift_,
                 *sin_,
                 *cos_,
                 *tanHalf_,
                 *reduced_,
                 *count360_,
                 *halfPi_,
                 *sineTable_,
                 *integer_,
                 std::max(sineTable_->getNumElements() - 2, 0),
                 &angle_.tableIndex};
    tableTrigWith(k);
    // Never beyond the full size (a table value a hair high must not grow the output). The sheared width
    // holds at least the image itself, even when a narrow working type has overflowed.
    const RotatedSizes z = rotatedSizesWith(k, rowsPre, colsPre, &rowsLimit, &colsLimit);
    geometry_.sinTheta = sin_->toDouble();
    geometry_.tanHalfTheta = tanHalf_->toDouble();
    geometry_.rotatedRows = z.rotatedRows;
    geometry_.rotatedCols = z.rotatedCols;
    geometry_.shearedWidth = std::max(z.shearedWidth, colsPre);
}

void RotateSFcnCacheFix::output() {
    if (c_.quarterTurnOnly) {
        quarterTurnOutput();
    } else {
        shearOutput();
    }
}

void RotateSFcnCacheFix::quarterTurnOutput() {
    Fixpt& in = *input_;
    Fixpt& out = *output_;
    const int32_t R = c_.rows, C = c_.cols;
    const int64_t plane = int64_t(R) * C;
    if (R == 1 && C == 1) {
        // A single pixel does not move. Each output plane is cleared (never past the output) and the pixel
        // of plane p goes to the start of plane p.
        const int64_t outPlane = int64_t(setup_.outRows) * setup_.outCols;
        if (outPlane != 1) {
            std::memset(out.getValPtr(), 0,
                        size_t(outPlane * c_.planes) * size_t(out.getType().containerBytes));
        }
        for (int64_t p = 0; p < c_.planes; ++p)
            out[int32_t(p * outPlane)] = in[int32_t(p)];
        return;
    }
    for (int64_t p = 0; p < c_.planes; ++p) {
        const int64_t base = p * plane;
        switch (c_.quarterTurns) {
            case 1:  // (i, j) -> (C-1-j, i) of the C x R plane
                for (int64_t j = 0; j < C; ++j)
                    for (int64_t i = 0; i < R; ++i)
                        out[int32_t(base + (C - 1 - j) + i * C)] = in[int32_t(base + i + j * R)];
                break;
            case 2:
                for (int64_t n = 0; n < plane; ++n)
                    out[int32_t(base + plane - 1 - n)] = in[int32_t(base + n)];
                break;
            case 3:  // (i, j) -> (j, R-1-i)
                for (int64_t j = 0; j < C; ++j)
                    for (int64_t i = 0; i < R; ++i)
                        out[int32_t(base + j + (R - 1 - i) * C)] = in[int32_t(base + i + j * R)];
                break;
            default:
                copyRun(in, base, 1, out, base, 1, plane);
                break;
        }
    }
}

// Lanes of number objects for the shared passes: every sample, weight and shift quantised as its object's
// type says.
class FixLanes {
  public:
    struct Ref {
        Fixpt* obj;
        int64_t base;
    };
    using Src = Ref;
    using Dst = Ref;

    FixLanes(FixSkewEngine& skew, Fixpt& input, Fixpt& output, Fixpt& sheared, Fixpt& line, Fixpt& fill,
             bool singleFill, Fixpt& sine, Fixpt& tanHalf, Fixpt& centre, Fixpt& shift, Fixpt& integer)
        : skew_(skew),
          input_(input),
          output_(output),
          sheared_(sheared),
          line_(line),
          fill_(fill),
          singleFill_(singleFill),
          sin_(sine),
          tanHalf_(tanHalf),
          centre_(centre),
          shift_(shift),
          integer_(integer) {}

    void setPlane(int64_t p) { fillIndex_ = singleFill_ ? 0 : int32_t(p); }
    Src input(int64_t offset) { return {&input_, offset}; }
    Dst output(int64_t offset) { return {&output_, offset}; }
    Dst sheared() { return {&sheared_, 0}; }
    Dst line() { return {&line_, 0}; }
    // The input goes into the buffer in the output's type first, the fill samples before each row in
    // memory, so that a row's samples take the same arithmetic whatever the input's type.
    static constexpr bool readsInputDirectly() { return false; }
    // Whole rows: the weights of a line take many quantised operations, found once per line.
    static constexpr int32_t bandWidth() { return INT32_MAX; }

    // shift = (position - centre) * factor or (centre - position) * factor, centre = (count - 1) / 2, all in
    // the working type.
    Fixpt& lineShift(int32_t position, int32_t count, ShiftFactor f, bool centreFirst) {
        centre_ = integer(int64_t(count) - 1);
        centre_.shiftRight(1);
        if (centreFirst) {
            shift_ = centre_;
            shift_ -= integer(position);
        } else {
            shift_ = integer(position);
            shift_ -= centre_;
        }
        shift_ *= f == ShiftFactor::Sin ? sin_ : tanHalf_;
        return shift_;
    }
    void skew(Src src, int64_t srcStart, int32_t srcLen, int32_t dstLen, Fixpt& shift, int64_t lineOffset,
              int32_t fullDstLen, int32_t srcStride, int32_t dstStride, Dst dst, int64_t dstStart,
              int32_t firstPos) {
        skew_.skewAt(*src.obj, src.base + srcStart, srcLen, dstLen, shift, lineOffset, fullDstLen, srcStride,
                     dstStride, *dst.obj, dst.base + dstStart, firstPos, fill_, fillIndex_);
    }
    // Only nearest moves a column in place: the other methods decide on their weights in the skew itself.
    bool lineMove(Fixpt& shift, int32_t /*dstLen*/, int64_t* move) const {
        if (skew_.method() != 1) return false;
        *move = shift.nearest();
        return true;
    }
    void fill(Dst d, int64_t start, int64_t count) {
        fillRun(*d.obj, d.base + start, count, 1, fill_, fillIndex_);
    }
    void move(Dst d, int64_t to, int64_t from, int64_t count) {
        copyRun(*d.obj, d.base + from, 1, *d.obj, d.base + to, 1, count);
    }
    void copy(Src from, int64_t fromStart, int32_t fromStep, Dst to, int64_t toStart, int32_t toStep,
              int64_t count) {
        copyRun(*from.obj, from.base + fromStart, fromStep, *to.obj, to.base + toStart, toStep, count);
    }

  private:
    Fixpt& integer(int64_t v) {
        integer_ = int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
        return integer_;
    }

    FixSkewEngine& skew_;
    Fixpt &input_, &output_, &sheared_, &line_, &fill_;
    bool singleFill_;
    Fixpt &sin_, &tanHalf_, &centre_, &shift_, &integer_;
    int32_t fillIndex_ = 0;
};

void RotateSFcnCacheFix::shearOutput() {
    stepAngle();
    const bool swap = angle_.how.swap;
    const int32_t rowsPre = swap ? c_.cols : c_.rows;
    const int32_t colsPre = swap ? c_.rows : c_.cols;
    shearGeometry(rowsPre, colsPre, c_.fullRows, c_.fullCols);
    const ShearLayout l = shearLayout(setup_, geometry_, swap);
    layout_ = l;
    FixLanes k(*skew_, *input_, *output_, *sheared_, *line_, *fill_, c_.fillCount == 1, *sin_, *tanHalf_,
               *centre_, *shift_, *integer_);
    shearPlanesWith(k, l, outputWindow(setup_, geometry_, l), angle_.how.quadrant, c_.rows, c_.cols,
                    c_.planes, setup_.outRows, setup_.outCols);
    if (!l.fits) ssSetErrorStatus(c_.S, "Rotate: the work vectors are too small for this rotation.");
}

void RotateSFcnCacheFix::processParameters() {
    SysObjAdaptorSFun* S = c_.S;
    if (!ssUpdateDlgParamAsRunTimeParam(S, kRtpFillValue)) return;
    const ssParamRec* rec = ssGetRunTimeParamInfo(S, kRtpFillValue);
    if (rec == nullptr || rec->data == nullptr) return;
    const int64_t count = elementsOf(rec);
    if (count != 1 && count != c_.planes) {
        VekSimCommon::dspError(S, "vision::system::backgroundWrongDim");
        return;
    }
    if (count == fill_->getNumElements()) {
        fill_->setValPtr(rec->data);
    } else {
        std::unique_ptr<Fixpt> fill(
            FixptFactory::createFixpt(S, outputAttrs_.get(), rec->data, int32_t(count)));
        if (!fill) return;
        fill_ = std::move(fill);
    }
    c_.fill = rec->data;
    c_.fillCount = int32_t(count);
}

void RotateSFcnCacheFix::setInputDims(int32_t rows, int32_t cols) {
    setInputDimsOf(c_, setup_, rows, cols, [&](int32_t r, int32_t c) {
        stepAngle();
        const bool swap = angle_.how.swap;
        shearGeometry(swap ? c : r, swap ? r : c, c_.outRowsMax, c_.outColsMax);
        return std::pair{geometry_.rotatedRows, geometry_.rotatedCols};
    });
}

void RotateSFcnCacheFix::getOutputDims(int32_t* rows, int32_t* cols) const {
    *rows = c_.fullRows;
    *cols = c_.fullCols;
}

namespace {

// Word and fraction length of the product output (group 11) or the accumulator (group 14, mode 3: as the
// product output); mode 2 takes the image's.
void workingGroup(SysObjAdaptorSFun* S, int32_t modeIndex, int32_t* wl, int32_t* fl) {
    const DataTypeId in = ssGetInputPortDataType(S, kImagePort);
    switch (paramInt(S, modeIndex)) {
        case 0:
            *wl = paramInt(S, modeIndex + 1);
            *fl = paramInt(S, modeIndex + 2);
            return;
        case 2:
            *wl = VekSimCommon::dspGetDataTypeWordLength(S, in);
            *fl = VekSimCommon::dspGetDataTypeFracLength(S, in);
            return;
        case 3:
            if (modeIndex == kAccumMode) {
                workingGroup(S, kProductMode, wl, fl);
                return;
            }
            break;
        default:
            break;
    }
    *wl = 0;
    *fl = 0;
}

bool gatherFixConfig(SysObjAdaptorSFun* S, FixKernelConfig& c) {
    if (!gatherKernelShape(S, c)) return false;
    if (!c.quarterTurnOnly) {
        c.line = ssGetDWork(S, kDWorkLineBuffer);
        c.sheared = ssGetDWork(S, kDWorkShearedImage);
    }
    c.inputType = ssGetInputPortDataType(S, kImagePort);
    c.outputType = ssGetOutputPortDataType(S, 0);
    c.input = const_cast<void*>(ssGetInputPortSignal(S, kImagePort));
    c.output = ssGetOutputPortSignal(S, 0);
    c.inputWidth = ssGetInputPortWidth(S, kImagePort);
    c.outputWidth = ssGetOutputPortWidth(S, 0);
    c.floatingImage = blockutils::isBuiltInFloatType(c.inputType);

    c.fill = VekSimCommon::GetRTPDataPtr(S, kRtpFillValue);
    c.fillCount = getFillValueCount(S);
    c.angleFromPort = isAngleFromPort(S);
    const ssParamRec* angleRec = ssGetRunTimeParamInfo(S, kRtpAngle);
    if (c.angleFromPort) {
        c.angle = const_cast<void*>(ssGetInputPortSignal(S, kAnglePort));
        c.angleType = ssGetInputPortDataType(S, kAnglePort);
        c.maxAngle = angleRec != nullptr ? angleRec->data : nullptr;
    } else {
        c.angle = angleRec != nullptr ? angleRec->data : nullptr;
        c.angleType = angleRec != nullptr ? angleRec->dataTypeId : DYNAMICALLY_TYPED;
    }
    const ssParamRec* sineRec = ssGetRunTimeParamInfo(S, kRtpSineTable);
    const ssParamRec* piRec = ssGetRunTimeParamInfo(S, kRtpPiValue);
    if (sineRec != nullptr) {
        c.sineTable = sineRec->data;
        c.sineTableLen = int32_t(elementsOf(sineRec));
        c.sineType = sineRec->dataTypeId;
    }
    if (piRec != nullptr) {
        c.twoPi = piRec->data;
        c.piType = piRec->dataTypeId;
    }
    c.centred = isCenteredPlacement(S);

    workingGroup(S, kProductMode, &c.productWordLength, &c.productFracLength);
    workingGroup(S, kAccumMode, &c.accumWordLength, &c.accumFracLength);
    if (!c.floatingImage) {
        VekSimCommon::dspGetFixPtDataTypeIDFromAttribs(S, 1, c.accumWordLength, c.accumFracLength, 2);
        VekSimCommon::dspGetFixPtDataTypeIDFromAttribs(S, 1, c.productWordLength, c.productFracLength, 2);
    }
    c.rounding = blockutils::getRoundingModeParam(S, kRoundingMode);
    c.overflow = blockutils::getOverflowModeParam(S, kOverflowMode);
    if (ssGetErrorStatus(S) != nullptr) return false;

    if (c.input == nullptr || c.output == nullptr || c.angle == nullptr || c.fill == nullptr ||
        c.sineTable == nullptr || c.sineTableLen < 2 || c.twoPi == nullptr ||
        (c.angleFromPort && c.maxAngle == nullptr) ||
        (!c.quarterTurnOnly && (c.line == nullptr || c.sheared == nullptr))) {
        ssSetErrorStatus(S, "Rotate: the host did not provide the block's memory.");
        return false;
    }
    return true;
}

}  // namespace

}  // namespace pellor

using namespace pellor;

// The user pointer stays null until the object exists, so mdlTerminate never deletes anything else.
DRAVO_CALLBACK void mdlStartFixPt(BlockHandle* S) {
    ssSetUserData(S, nullptr);
    FixKernelConfig config;
    if (!gatherFixConfig(S, config)) return;
    std::unique_ptr<RotateSFcnCacheFix> cache = RotateSFcnCacheFix::create(config);
    if (!cache) {
        if (ssGetErrorStatus(S) == nullptr)
            ssSetErrorStatus(S, "Rotate: the fixed-point engine could not be built.");
        return;
    }
    ssSetUserData(S, static_cast<RotateSFcnCache*>(cache.release()));
}
