// The common part of the corner metric objects: what mdlStart gathers, the choice of member, the port
// accessors, number objects of the roles and the per-step size check.
#include "quobit/cornermetric.h"

#include <new>
#include <string>

#include "blockutils.h"
#include "vekdsp.h"

using namespace sysobj;
using namespace VekSimCommon;
using namespace VekDSPFixpt;

namespace quobit {

bool gatherCornerMetricSetup(SysObjAdaptorSFun* S, CornerMetricSetup& setup) {
    setup.S = S;
    setup.method = method(S);
    setup.floatingPath = usesFloatingPath(S);
    setup.inputType = ssGetInputPortDataType(S, kImagePort);
    setup.outputType = ssGetOutputPortDataType(S, 0);
    blockutils::getInputPortMatrixDims(S, kImagePort, &setup.rows, &setup.cols);
    minimumInputSize(S, &setup.minRows, &setup.minCols);
    setup.input = ssGetInputPortSignal(S, kImagePort);
    setup.output = ssGetOutputPortSignal(S, 0);
    if (!setup.floatingPath) {
        setup.rounding = blockutils::getRoundingModeParam(S, kRoundingMode);
        setup.overflow = blockutils::getOverflowModeParam(S, kOverflowMode);
        for (int32_t r = 0; r < kNumRoles; ++r)
            setup.roles[r] = roleType(S, Role(r));
    }
    return ssGetErrorStatus(S) == nullptr;
}

baseCornerMetric* createCornerMetric(const CornerMetricSetup& setup) {
    if (setup.method == kComparison) return createComparisonCornerMetric(setup);
    return createEigenvalueCornerMetric(setup);
}

#ifndef QUOBIT_WITH_COMPARISON_KERNEL
// Built without the local intensity comparison kernel: method 3 is refused when the run starts.
baseCornerMetric* createComparisonCornerMetric(const CornerMetricSetup& setup) {
    ssSetErrorStatus(setup.S,
                     "Corner metric: the local intensity comparison method is not available in this build.");
    return nullptr;
}
#endif

template <class T, class U>
commonCornerMetric<T, U>::commonCornerMetric(const CornerMetricSetup& setup)
    : setup_(setup), S_(setup.S), floatingPath_(setup.floatingPath), rows_(setup.rows), cols_(setup.cols) {}

template <class T, class U>
commonCornerMetric<T, U>::~commonCornerMetric() = default;

template <class T, class U>
bool commonCornerMetric<T, U>::updateDims() {
    rows_ = ssGetCurrentInputPortDimensions(S_, kImagePort, 0);
    cols_ = ssGetCurrentInputPortDimensions(S_, kImagePort, 1);
    if (rows_ < setup_.minRows || cols_ < setup_.minCols) {
        dspError(S_, "vision::system::inputDimsWrong",
                 {std::to_string(setup_.minRows), std::to_string(setup_.minCols)});
        return false;
    }
    return true;
}

template <class T, class U>
const DSPDataAttributesHandle* commonCornerMetric<T, U>::roleAttributes(Role role) {
    if (attrs_[role]) return attrs_[role].get();
    const RoleType* roles = setup_.roles;
    const RoleType& acc = roles[kRoleAccum];
    const RoleType& prod = setup_.method == kComparison ? roles[kRoleAccum] : roles[kRoleProduct];
    DSPDataAttributesHandle* h = nullptr;
    if (blockutils::isBuiltInFloatType(setup_.inputType) && role != kRoleUint32) {
        // A floating image on this path (a logged run): every working quantity keeps the image's type.
        const NumType f = setup_.inputType == SS_SINGLE ? NumType::singleType() : NumType::doubleType();
        h = new (std::nothrow) DSPDataAttributesHandle(f, f, f, setup_.rounding, setup_.overflow,
                                                       roleLabel(role), "Product output", "Accumulator");
    } else {
        const RoleType& t = roles[role];
        h = new (std::nothrow)
            DSPDataAttributesHandle(t.wordLength, t.fracLength, acc.wordLength, acc.fracLength,
                                    prod.wordLength, prod.fracLength, S_, setup_.overflow, setup_.rounding,
                                    false, t.isSigned, roleLabel(role), "Product output", "Accumulator", 2);
    }
    attrs_[role].reset(h);
    return h;
}

template <class T, class U>
std::unique_ptr<T> commonCornerMetric<T, U>::makeNumber(Role role, void* data, int32_t n) {
    if constexpr (std::is_same_v<T, Fixpt>) {
        const DSPDataAttributesHandle* h = roleAttributes(role);
        if (h == nullptr) {
            ssSetErrorStatus(S_, "Corner metric: out of memory.");
            return nullptr;
        }
        Fixpt* f = data ? FixptFactory::createFixpt(S_, h, data, n) : FixptFactory::createFixpt(S_, h);
        return std::unique_ptr<T>(f);
    } else {
        T* f = data ? new (std::nothrow) T(static_cast<U*>(data), n) : new (std::nothrow) T();
        if (f == nullptr) ssSetErrorStatus(S_, "Corner metric: out of memory.");
        return std::unique_ptr<T>(f);
    }
}

template <class T, class U>
bool commonCornerMetric<T, U>::buildPorts() {
    const int32_t n = setup_.rows * setup_.cols;
    input_ = makeNumber(kRoleImage, const_cast<void*>(setup_.input), n);
    output_ = makeNumber(kRoleOutput, setup_.output, n);
    return input_ && output_ && ssGetErrorStatus(S_) == nullptr;
}

template class commonCornerMetric<Fltpt<double>, double>;
template class commonCornerMetric<Fltpt<float>, float>;
template class commonCornerMetric<Fixpt, Fixpt>;

}  // namespace quobit
