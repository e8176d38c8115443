// The metric object of method 3, local intensity comparison. It keeps the data pointers of its run-time
// parameters (threshold, the four type limits, circle, step and offset tables) and runs the kernel of
// comparisonkernel.h on the host's buffers:
// - (Fltpt<double>, double) and (Fltpt<float>, float): the floating policy on the raw data;
// - (Fixpt, Fixpt): number objects of the "Image", "Accumulator" and "Metric output" roles; when nothing is
//   logged and every type is fixed point of at most 64 bits, the same steps on stored integers, bit for bit.
// The circle offsets are rewritten in their run-time parameter when a variable-size input changes its
// row count; the threshold and angle choice are re-read after a tunable change, with DTLOW and DTHIGH
// recomputed from the stored threshold.
#pragma once

#include <cstdint>
#include <memory>

#include "quobit/comparisonkernel.h"
#include "quobit/cornermetric.h"

namespace quobit {

template <class T, class U>
class comparisonCornerMetric final : public commonCornerMetric<T, U> {
  public:
    // Null with the host's error status set when a run-time parameter or number object is missing.
    static comparisonCornerMetric* create(const CornerMetricSetup& setup);
    ~comparisonCornerMetric() override;

    bool updateDims() override;
    void computeMetric() override;
    void updateRuntimeParams() override;

    // The count limit A = 16 - angle choice (for tests and tools).
    int32_t arcLimit() const { return arcLimit_; }
    // Whether the fixed-point member runs on stored integers (for tests and tools).
    bool usesStoredIntegers() const { return stored_; }

  private:
    explicit comparisonCornerMetric(const CornerMetricSetup& setup);
    bool build();
    // Re-reads every run-time parameter's data pointer (the host may move them after an update).
    bool readRtps();
    void readArcLimit();
    // DTLOW = DTMIN + t and DTHIGH = DTMAX - t, in their run-time parameters' storage.
    void recomputeLimits();
    void rebindObjects();
    ComparisonShape shape() const;

    int32_t arcLimit_ = 9;
    void *valThr_ = nullptr, *dtMin_ = nullptr, *dtMax_ = nullptr, *dtLow_ = nullptr, *dtHigh_ = nullptr;
    int32_t* circle_ = nullptr;
    const int32_t* step_ = nullptr;
    const int32_t* offset_ = nullptr;

    // Fixed-point member: the limits over their run-time parameters, the comparison temporaries and sums.
    std::unique_ptr<T> t_, dtMinN_, dtMaxN_, dtLowN_, dtHighN_, valLow_, valHigh_, valCur_, brightness_,
        darkness_;
    bool stored_ = false;
    StoredComparisonPlan plan_;
    ArcTable arcs_;  // the searches of the current arc limit, rebuilt when the angle choice changes
};

extern template class comparisonCornerMetric<Fltpt<double>, double>;
extern template class comparisonCornerMetric<Fltpt<float>, float>;
extern template class comparisonCornerMetric<Fixpt, Fixpt>;

}  // namespace quobit
