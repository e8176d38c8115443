// The local intensity comparison metric object (method 3): run-time parameters, tunable threshold and
// angle choice, variable sizes, and the choice between number objects and stored integers for the
// fixed-point member.
#include "quobit/comparisoncornermetric.h"

#include <new>
#include <type_traits>

#include "vekdsp.h"

using namespace sysobj;
using namespace VekSimCommon;
using namespace VekDSPFixpt;

namespace quobit {

template <class T, class U>
comparisonCornerMetric<T, U>::comparisonCornerMetric(const CornerMetricSetup& setup)
    : commonCornerMetric<T, U>(setup) {}

template <class T, class U>
comparisonCornerMetric<T, U>::~comparisonCornerMetric() = default;

template <class T, class U>
comparisonCornerMetric<T, U>* comparisonCornerMetric<T, U>::create(const CornerMetricSetup& setup) {
    auto* m = new (std::nothrow) comparisonCornerMetric(setup);
    if (m == nullptr) {
        ssSetErrorStatus(setup.S, "Corner metric: out of memory.");
        return nullptr;
    }
    if (!m->build()) {
        delete m;
        return nullptr;
    }
    return m;
}

template <class T, class U>
bool comparisonCornerMetric<T, U>::readRtps() {
    SysObjAdaptorSFun* S = this->S_;
    valThr_ = GetRTPDataPtr(S, rtpIndex(S, Rtp::ValThr));
    dtMin_ = GetRTPDataPtr(S, rtpIndex(S, Rtp::DtMin));
    dtMax_ = GetRTPDataPtr(S, rtpIndex(S, Rtp::DtMax));
    dtLow_ = GetRTPDataPtr(S, rtpIndex(S, Rtp::DtLow));
    dtHigh_ = GetRTPDataPtr(S, rtpIndex(S, Rtp::DtHigh));
    circle_ = static_cast<int32_t*>(GetRTPDataPtr(S, rtpIndex(S, Rtp::Circle)));
    step_ = static_cast<const int32_t*>(GetRTPDataPtr(S, rtpIndex(S, Rtp::Step)));
    offset_ = static_cast<const int32_t*>(GetRTPDataPtr(S, rtpIndex(S, Rtp::Offset)));
    if (valThr_ && dtMin_ && dtMax_ && dtLow_ && dtHigh_ && circle_ && step_ && offset_) return true;
    if (ssGetErrorStatus(S) == nullptr)
        ssSetErrorStatus(S, "Corner metric: run-time parameters are missing.");
    return false;
}

template <class T, class U>
void comparisonCornerMetric<T, U>::readArcLimit() {
    arcLimit_ = kCircleLength - paramInt(this->S_, kAngleChoice);
    // Outside the step: the table's storage is allocated once, at start.
    if (!arcs_.matches(arcLimit_, step_, offset_)) arcs_.build(arcLimit_, step_, offset_);
}

template <class T, class U>
bool comparisonCornerMetric<T, U>::build() {
    if (!readRtps()) return false;
    readArcLimit();
    if constexpr (std::is_same_v<T, Fixpt>) {
        if (!this->buildPorts()) return false;
        t_ = this->makeNumber(kRoleImage, valThr_, 1);
        dtMinN_ = this->makeNumber(kRoleImage, dtMin_, 1);
        dtMaxN_ = this->makeNumber(kRoleImage, dtMax_, 1);
        dtLowN_ = this->makeNumber(kRoleImage, dtLow_, 1);
        dtHighN_ = this->makeNumber(kRoleImage, dtHigh_, 1);
        valLow_ = this->makeScalar(kRoleImage);
        valHigh_ = this->makeScalar(kRoleImage);
        valCur_ = this->makeScalar(kRoleImage);
        brightness_ = this->makeScalar(kRoleAccum);
        darkness_ = this->makeScalar(kRoleAccum);
        if (ssGetErrorStatus(this->S_) != nullptr) return false;
        stored_ = makeStoredPlan({this->input_.get(), this->output_.get(), t_.get(), dtMinN_.get(),
                                  dtMaxN_.get(), dtLowN_.get(), dtHighN_.get(), valLow_.get(), valHigh_.get(),
                                  valCur_.get(), brightness_.get(), darkness_.get()},
                                 &plan_);
    }
    return true;
}

template <class T, class U>
bool comparisonCornerMetric<T, U>::updateDims() {
    const int32_t oldRows = this->rows_, oldCols = this->cols_;
    if (!commonCornerMetric<T, U>::updateDims()) {
        // Keep the offsets of the last good size: the next good step rewrites them if it must.
        this->rows_ = oldRows;
        this->cols_ = oldCols;
        return false;
    }
    if (this->rows_ != oldRows) fillCircleOffsets(this->rows_, circle_);
    return true;
}

template <class T, class U>
ComparisonShape comparisonCornerMetric<T, U>::shape() const {
    return {this->rows_, this->cols_, circle_, step_, offset_, arcLimit_, &arcs_};
}

template <class T, class U>
void comparisonCornerMetric<T, U>::computeMetric() {
    if constexpr (std::is_same_v<T, Fixpt>) {
        if (stored_) {
            comparisonMetricStored(this->setup_.input, this->setup_.output, plan_, shape());
            return;
        }
        ObjectComparisonArith<Fixpt> a({this->input_.get(), this->output_.get(), t_.get(), dtMinN_.get(),
                                        dtMaxN_.get(), dtLowN_.get(), dtHighN_.get(), valLow_.get(),
                                        valHigh_.get(), valCur_.get(), brightness_.get(), darkness_.get()});
        comparisonMetricRun(a, shape());
    } else {
        const FloatComparisonLimits<U> lim{*static_cast<const U*>(valThr_), *static_cast<const U*>(dtMin_),
                                           *static_cast<const U*>(dtMax_), *static_cast<const U*>(dtLow_),
                                           *static_cast<const U*>(dtHigh_)};
        FloatComparisonArith<U> a(static_cast<const U*>(this->setup_.input),
                                  static_cast<U*>(this->setup_.output), lim);
        comparisonMetricRun(a, shape());
    }
}

template <class T, class U>
void comparisonCornerMetric<T, U>::recomputeLimits() {
    if constexpr (std::is_same_v<T, Fixpt>) {
        // On the image's grid: exact, since the threshold is below half the type's span.
        (*dtLowN_)[0] = (*dtMinN_)[0];
        *dtLowN_ += (*t_)[0];
        (*dtHighN_)[0] = (*dtMaxN_)[0];
        *dtHighN_ -= (*t_)[0];
    } else {
        const U t = *static_cast<const U*>(valThr_);
        *static_cast<U*>(dtLow_) = U(*static_cast<const U*>(dtMin_) + t);
        *static_cast<U*>(dtHigh_) = U(*static_cast<const U*>(dtMax_) - t);
    }
}

template <class T, class U>
void comparisonCornerMetric<T, U>::rebindObjects() {
    if constexpr (std::is_same_v<T, Fixpt>) {
        t_->setValPtr(valThr_);
        dtMinN_->setValPtr(dtMin_);
        dtMaxN_->setValPtr(dtMax_);
        dtLowN_->setValPtr(dtLow_);
        dtHighN_->setValPtr(dtHigh_);
    }
}

template <class T, class U>
void comparisonCornerMetric<T, U>::updateRuntimeParams() {
    SysObjAdaptorSFun* S = this->S_;
    if (!checkThresholdRange(S)) return;
    if (!ssUpdateDlgParamAsRunTimeParam(S, rtpIndex(S, Rtp::ValThr))) return;
    if (!readRtps()) return;
    rebindObjects();
    recomputeLimits();
    if (!ssUpdateDlgParamAsRunTimeParam(S, rtpIndex(S, Rtp::ThrAngle))) return;
    readArcLimit();
    if constexpr (std::is_same_v<T, Fixpt>) {
        if (stored_) {
            stored_ = makeStoredPlan({this->input_.get(), this->output_.get(), t_.get(), dtMinN_.get(),
                                      dtMaxN_.get(), dtLowN_.get(), dtHighN_.get(), valLow_.get(),
                                      valHigh_.get(), valCur_.get(), brightness_.get(), darkness_.get()},
                                     &plan_);
        }
    }
}

template class comparisonCornerMetric<Fltpt<double>, double>;
template class comparisonCornerMetric<Fltpt<float>, float>;
template class comparisonCornerMetric<Fixpt, Fixpt>;

baseCornerMetric* createComparisonCornerMetric(const CornerMetricSetup& setup) {
    if (setup.floatingPath) {
        if (setup.inputType == SS_SINGLE) return comparisonCornerMetric<Fltpt<float>, float>::create(setup);
        return comparisonCornerMetric<Fltpt<double>, double>::create(setup);
    }
    return comparisonCornerMetric<Fixpt, Fixpt>::create(setup);
}

}  // namespace quobit
