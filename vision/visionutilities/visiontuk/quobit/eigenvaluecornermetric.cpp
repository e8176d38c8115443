// The Harris and minimum-eigenvalue metric objects: the tables, the floating members (eigenKernel) and the
// fixed-point member.
//
// The fixed-point member's order of operations, each line one quantisation into the left-hand object:
//   gradients   gx = X(r, c-1); gx -= X(r, c+1); gy = X(r-1, c); gy -= X(r+1, c)      ("Memory")
//   products    P0 = gx; P0 *= gx; P1 = gy; P1 *= gy; P2 = gx; P2 *= gy                  ("Memory")
//   filter      acc = 0; acc += P * w (the product in "Product output") ...; P = acc     ("Accumulator")
//   Harris      t1 = A; t1 += B; t2 = t1.square(); t2 *= k; t1 = A; t1 *= B; t1 -= D * D; t1 -= t2
//   min. eig.   t1 = A; t1 -= B; t2 = t1.square(); t1 = D; t1 *= D; t1 *= 4; t1 += t2;
//               t1.sqrt(root); t2 = root; t1 = A; t1 += B; t1 -= t2
//   output      out = t1                                                                 ("Metric output")
// square() and D * D are products of the "Product output" type; t1 and t2 are "Memory", root "Square root".
#include "quobit/eigenvalue.h"

#include <new>

#include "blockutils.h"
#include "vekdsp.h"

using namespace sysobj;
using namespace VekSimCommon;
using namespace VekDSPFixpt;

namespace quobit {

template <class T, class U>
eigenvalueCornerMetric<T, U>::eigenvalueCornerMetric(const CornerMetricSetup& setup)
    : commonCornerMetric<T, U>(setup) {}

template <class T, class U>
eigenvalueCornerMetric<T, U>::~eigenvalueCornerMetric() = default;

template <class T, class U>
eigenvalueCornerMetric<T, U>* eigenvalueCornerMetric<T, U>::create(const CornerMetricSetup& setup) {
    auto* m = new (std::nothrow) eigenvalueCornerMetric(setup);
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
bool eigenvalueCornerMetric<T, U>::build() {
    SysObjAdaptorSFun* S = this->S_;
    harris_ = this->setup_.method == kHarris;
    L_ = filterLength(S);
    padData_ = ssGetDWork(S, kDwPad);
    next_ = static_cast<int32_t*>(ssGetDWork(S, kDwNextPadIdx));
    colPad_ = static_cast<int32_t*>(ssGetDWork(S, kDwColPadIdx));
    rowPad_ = static_cast<int32_t*>(ssGetDWork(S, kDwRowPadIdx));
    colRange_ = static_cast<int32_t*>(GetRTPDataPtr(S, rtpIndex(S, Rtp::ColRange)));
    rowRange_ = static_cast<int32_t*>(GetRTPDataPtr(S, rtpIndex(S, Rtp::RowRange)));
    filterData_ = GetRTPDataPtr(S, rtpIndex(S, Rtp::Filter));
    if (harris_) factorData_ = GetRTPDataPtr(S, rtpIndex(S, Rtp::Factor));
    if (!padData_ || !next_ || !colPad_ || !rowPad_ || !colRange_ || !rowRange_ || !filterData_ ||
        (harris_ && !factorData_)) {
        if (ssGetErrorStatus(S) == nullptr)
            ssSetErrorStatus(S, "Corner metric: work vectors or run-time parameters are missing.");
        return false;
    }
    fillTables();
    if constexpr (std::is_same_v<T, Fixpt>) {
        if (!this->buildPorts()) return false;
        pad_ = this->makeNumber(kRoleMemory, padData_, int32_t(3 * S1_));
        W_ = this->makeNumber(kRoleFilterCoeff, filterData_, 2 * L_);
        if (harris_) k_ = this->makeNumber(kRoleFactorCoeff, factorData_, 1);
        gx_ = this->makeScalar(kRoleMemory);
        gy_ = this->makeScalar(kRoleMemory);
        t1_ = this->makeScalar(kRoleMemory);
        t2_ = this->makeScalar(kRoleMemory);
        four_ = this->makeScalar(kRoleUint32);
        if (!harris_) root_ = this->makeScalar(kRoleSqrt);
        acc_ = this->makeScalar(kRoleAccum);
        if (ssGetErrorStatus(S) != nullptr) return false;
        *four_ = 4;
        storedInt_ = !FixptFactory::isLoggingOn(S) && L_ <= 32 &&
                     storedIntTypes(this->setup_.roles, harris_, this->setup_.rounding, this->setup_.overflow,
                                    intTypes_);
    }
    return true;
}

template <class T, class U>
void eigenvalueCornerMetric<T, U>::fillTables() {
    const int32_t M = this->rows_, N = this->cols_;
    Rp_ = M + L_ - 1;
    S1_ = int64_t(L_) * Rp_;
    S2_ = 2 * S1_;
    fillNextTable(L_, next_);
    fillPadTable(M, L_, rowPad_);
    fillPadTable(N, L_, colPad_);
    fillRangeTables(M, N, L_, colRange_, rowRange_);
}

template <class T, class U>
bool eigenvalueCornerMetric<T, U>::updateDims() {
    const int32_t oldRows = this->rows_, oldCols = this->cols_;
    if (!commonCornerMetric<T, U>::updateDims()) {
        // Keep the tables of the last good size: the next good step rebuilds them if it must.
        this->rows_ = oldRows;
        this->cols_ = oldCols;
        return false;
    }
    if (this->rows_ != oldRows || this->cols_ != oldCols) fillTables();
    return true;
}

template <class T, class U>
void eigenvalueCornerMetric<T, U>::updateRuntimeParams() {
    if (!harris_) return;
    SysObjAdaptorSFun* S = this->S_;
    const int32_t index = rtpIndex(S, Rtp::Factor);
    if (!ssUpdateDlgParamAsRunTimeParam(S, index)) return;
    factorData_ = GetRTPDataPtr(S, index);
    if constexpr (std::is_same_v<T, Fixpt>) k_->setValPtr(factorData_);
}

template <class T, class U>
void eigenvalueCornerMetric<T, U>::computeMetric() {
    if constexpr (std::is_same_v<T, Fixpt>) {
        computeFixed();
    } else {
        EigenKernelData<U> d;
        d.image = static_cast<const U*>(this->setup_.input);
        d.out = static_cast<U*>(this->setup_.output);
        d.M = this->rows_;
        d.N = this->cols_;
        d.L = L_;
        d.pad = static_cast<U*>(padData_);
        d.next = next_;
        d.colPad = colPad_;
        d.rowPad = rowPad_;
        d.colRange = colRange_;
        d.rowRange = rowRange_;
        d.W = static_cast<const U*>(filterData_);
        d.k = harris_ ? *static_cast<const U*>(factorData_) : U(0);
        d.harris = harris_;
        runEigenKernel(d);
    }
}

template <class T, class U>
void eigenvalueCornerMetric<T, U>::computeStoredInt() {
    if constexpr (std::is_same_v<T, Fixpt>) {
        const RoleType* roles = this->setup_.roles;
        StoredIntData d;
        d.image = this->setup_.input;
        d.out = this->setup_.output;
        d.outBytes = NumType::containerFor(roles[kRoleOutput].wordLength);
        d.M = this->rows_;
        d.N = this->cols_;
        d.L = L_;
        d.pad = padData_;
        d.next = next_;
        d.colPad = colPad_;
        d.rowPad = rowPad_;
        d.colRange = colRange_;
        d.rowRange = rowRange_;
        d.W = filterData_;
        d.coeffBytes = NumType::containerFor(roles[kRoleFilterCoeff].wordLength);
        d.k = factorData_;
        d.factorBytes = NumType::containerFor(roles[kRoleFactorCoeff].wordLength);
        d.harris = harris_;
        d.sqrtIn = t1_.get();
        d.sqrtRoot = root_.get();
        storedIntEigenKernel(d, intTypes_);
    }
}

template <class T, class U>
void eigenvalueCornerMetric<T, U>::computeFixed() {
    if constexpr (std::is_same_v<T, Fixpt>) {
        if (storedInt_) {
            computeStoredInt();
            return;
        }
        Fixpt& X = *this->input_;
        Fixpt& out = *this->output_;
        Fixpt& P = *pad_;
        Fixpt& W = *W_;
        Fixpt& gx = *gx_;
        Fixpt& gy = *gy_;
        Fixpt& t1 = *t1_;
        Fixpt& t2 = *t2_;
        Fixpt& acc = *acc_;
        const int32_t M = this->rows_, L = L_, Rp = Rp_;
        const int32_t S1 = int32_t(S1_), S2 = int32_t(S2_);
        int32_t s = 0;
        int32_t o = 0;
        for (int32_t pass = 0; pass < 2; ++pass) {
            const int32_t qFrom = colRange_[2 * pass], qTo = colRange_[2 * pass + 1];
            const int32_t hFrom = rowRange_[3 * pass], hTo = rowRange_[3 * pass + 2];
            const int32_t vRows = rowRange_[3 * pass + 2] - rowRange_[3 * pass + 1];
            for (int32_t q = qFrom; q < qTo; ++q) {
                const int32_t n = next_[s];
                const int32_t c = colPad_[q];
                for (int32_t i = 0; i < Rp; ++i) {
                    const int32_t e = rowPad_[i] + c * M;
                    gx = X[e - M];
                    gx -= X[e + M];
                    gy = X[e - 1];
                    gy -= X[e + 1];
                    const int32_t at = s * Rp + i;
                    P[at] = gx;
                    P[at] *= gx;
                    P[S1 + at] = gy;
                    P[S1 + at] *= gy;
                    P[S2 + at] = gx;
                    P[S2 + at] *= gy;
                }
                for (int32_t plane = 0; plane < 3; ++plane) {
                    const int32_t base = plane * S1;
                    for (int32_t i = hFrom; i < hTo; ++i) {
                        acc = 0;
                        for (int32_t t = 0; t < L; ++t)
                            acc += P[base + t * Rp + i] * W[L - 1 - s + t];
                        P[base + n * Rp + i] = acc;
                    }
                    for (int32_t m = 0; m < vRows; ++m) {
                        acc = 0;
                        for (int32_t t = 0; t < L; ++t)
                            acc += P[base + n * Rp + m + t] * W[t];
                        P[base + n * Rp + m] = acc;
                    }
                }
                for (int32_t m = 0; m < vRows; ++m) {
                    const int32_t a = n * Rp + m, b = S1 + a, d = S2 + a;
                    if (harris_) {
                        t1 = P[a];
                        t1 += P[b];
                        t2 = t1.square();
                        t2 *= *k_;
                        t1 = P[a];
                        t1 *= P[b];
                        t1 -= P[d] * P[d];
                        t1 -= t2;
                    } else {
                        t1 = P[a];
                        t1 -= P[b];
                        t2 = t1.square();
                        t1 = P[d];
                        t1 *= P[d];
                        t1 *= *four_;
                        t1 += t2;
                        t1.sqrt(*root_);
                        t2 = *root_;
                        t1 = P[a];
                        t1 += P[b];
                        t1 -= t2;
                    }
                    out[o++] = t1;
                }
                s = n;
            }
        }
    }
}

template class eigenvalueCornerMetric<Fltpt<double>, double>;
template class eigenvalueCornerMetric<Fltpt<float>, float>;
template class eigenvalueCornerMetric<Fixpt, Fixpt>;

baseCornerMetric* createEigenvalueCornerMetric(const CornerMetricSetup& setup) {
    if (setup.floatingPath) {
        if (setup.inputType == SS_SINGLE) return eigenvalueCornerMetric<Fltpt<float>, float>::create(setup);
        return eigenvalueCornerMetric<Fltpt<double>, double>::create(setup);
    }
    return eigenvalueCornerMetric<Fixpt, Fixpt>::create(setup);
}

}  // namespace quobit
