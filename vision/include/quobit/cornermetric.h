// Per-instance metric objects of the corner metric block. mdlStart builds one (createCornerMetric) and
// keeps it in the host's user pointer; mdlOutputs, mdlProcessParameters and mdlTerminate drive it through
// baseCornerMetric without type tests.
//
// Family:
//   baseCornerMetric                    the three operations, all virtual
//   commonCornerMetric<T, U>            block handle, input and output accessors, sizes, updateDims
//   eigenvalueCornerMetric<T, U>        methods 1 and 2 (eigenvalue.h)
//   comparisonCornerMetric<T, U>        method 3, local intensity comparison (written separately)
// T, U: (Fltpt<double>, double), (Fltpt<float>, float) or (Fixpt, Fixpt).
//
// Hooking in method 3: define, in its own comparison*.cpp of this plug-in,
//
//   baseCornerMetric* createComparisonCornerMetric(const CornerMetricSetup& setup);
//
// returning a new comparisonCornerMetric of the member the setup names (setup.floatingPath and
// setup.inputType: double -> (Fltpt<double>, double), single -> (Fltpt<float>, float), else (Fixpt, Fixpt)),
// or null with the host's error status set. Its constructor takes what it needs from the setup and the
// block: the RTPs through rtpIndex(S, Rtp::...) and GetRTPDataPtr (all of method 3's RTPs exist, in the
// types set out in quobit.h), the arc limit from kAngleChoice, and number objects of the "Image",
// "Accumulator" and "Metric output" roles through makeNumber. It overrides updateDims (call the common
// one first, then rewrite the circle offsets when the rows changed: fillCircleOffsets), computeMetric
// and updateRuntimeParams (checkThresholdRange first). The plug-in's CMakeLists picks comparison*.cpp up
// by name; while none exists, method 3 is refused at start with a clear error.
#pragma once

#include <cstdint>
#include <memory>

#include "quobit/quobit.h"
#include "quobit/roles.h"
#include "sysobj.h"
#include "vekfixpt.h"

namespace quobit {

using VekDSPFixpt::DSPDataAttributesHandle;
using VekDSPFixpt::Fixpt;
using VekDSPFixpt::Fltpt;

class baseCornerMetric {
  public:
    virtual ~baseCornerMetric() = default;
    // Variable-size input: takes the current size; false (error set) when it is below the minimum.
    virtual bool updateDims() = 0;
    // One step: writes all rows x columns outputs.
    virtual void computeMetric() = 0;
    // After a tunable change (k, or the threshold and angle choice).
    virtual void updateRuntimeParams() = 0;
};

// What mdlStart gathers for every member; pointers into host-owned memory.
struct CornerMetricSetup {
    SysObjAdaptorSFun* S = nullptr;
    int32_t method = kHarris;
    bool floatingPath = true;  // Fltpt members; else Fixpt
    DataTypeId inputType = SS_DOUBLE;
    DataTypeId outputType = SS_DOUBLE;
    int32_t rows = 0, cols = 0;  // the ports' declared (largest) sizes
    int32_t minRows = 3, minCols = 3;
    const void* input = nullptr;
    void* output = nullptr;
    int32_t rounding = VekDSPFixpt::kRoundNearest;
    int32_t overflow = VekDSPFixpt::kOverflowSaturate;
    RoleType roles[kNumRoles];  // fixed path only
};

// Fills the setup from the block's ports, parameters and host settings; false when an error is set.
bool gatherCornerMetricSetup(SysObjAdaptorSFun* S, CornerMetricSetup& setup);

// The member of the method and path; null with the error set when it cannot be built.
baseCornerMetric* createCornerMetric(const CornerMetricSetup& setup);
baseCornerMetric* createEigenvalueCornerMetric(const CornerMetricSetup& setup);
baseCornerMetric* createComparisonCornerMetric(const CornerMetricSetup& setup);

template <class T, class U>
class commonCornerMetric : public baseCornerMetric {
  public:
    ~commonCornerMetric() override;
    // Reads the current rows and columns and checks them against the minimum size
    // (vision::system::inputDimsWrong).
    bool updateDims() override;

    int32_t rows() const { return rows_; }
    int32_t cols() const { return cols_; }

  protected:
    explicit commonCornerMetric(const CornerMetricSetup& setup);
    // Makes the input and output accessors; false with the error set.
    bool buildPorts();
    // A number object of a role: over n elements at data, or a free scalar (data null, n 1). On the
    // floating path the role is ignored (Fltpt over U). Null with the error set when refused.
    std::unique_ptr<T> makeNumber(Role role, void* data, int32_t n);
    std::unique_ptr<T> makeScalar(Role role) { return makeNumber(role, nullptr, 1); }
    // The attribute handle of a role (fixed path), built once and kept by this object.
    const DSPDataAttributesHandle* roleAttributes(Role role);

    CornerMetricSetup setup_;
    SysObjAdaptorSFun* S_;
    bool floatingPath_;
    int32_t rows_, cols_;
    std::unique_ptr<T> input_, output_;

  private:
    std::unique_ptr<DSPDataAttributesHandle> attrs_[kNumRoles];
};

extern template class commonCornerMetric<Fltpt<double>, double>;
extern template class commonCornerMetric<Fltpt<float>, float>;
extern template class commonCornerMetric<Fixpt, Fixpt>;

}  // namespace quobit
