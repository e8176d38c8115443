// The metric object of methods 1 (Harris) and 2 (minimum eigenvalue). The floating members run
// eigenKernel on the host's buffers; the Fixpt member performs the same sequence with number objects of
// the roles (see eigenvalue.cpp for the order of its operations).
#pragma once

#include <cstdint>
#include <memory>

#include "quobit/cornermetric.h"
#include "quobit/eigenkernel.h"
#include "quobit/eigenstoredint.h"

namespace quobit {

template <class T, class U>
class eigenvalueCornerMetric final : public commonCornerMetric<T, U> {
  public:
    // Null with the host's error status set when a number object is refused.
    static eigenvalueCornerMetric* create(const CornerMetricSetup& setup);
    ~eigenvalueCornerMetric() override;

    bool updateDims() override;
    void computeMetric() override;
    void updateRuntimeParams() override;

  private:
    explicit eigenvalueCornerMetric(const CornerMetricSetup& setup);
    bool build();
    void fillTables();
    void computeFixed();
    void computeStoredInt();

    int32_t L_ = 0, Rp_ = 0;
    int64_t S1_ = 0, S2_ = 0;
    bool harris_ = true;
    void* padData_ = nullptr;
    int32_t* next_ = nullptr;
    int32_t* colPad_ = nullptr;
    int32_t* rowPad_ = nullptr;
    int32_t* colRange_ = nullptr;
    int32_t* rowRange_ = nullptr;
    void* filterData_ = nullptr;
    void* factorData_ = nullptr;
    // Fixpt member: the stored-integer engine serves the step when it can (nothing logged, narrow types).
    bool storedInt_ = false;
    StoredIntTypes intTypes_;
    // The number objects (the floating members use only the data pointers above).
    std::unique_ptr<T> pad_, W_, k_, gx_, gy_, t1_, t2_, four_, root_, acc_;
};

extern template class eigenvalueCornerMetric<Fltpt<double>, double>;
extern template class eigenvalueCornerMetric<Fltpt<float>, float>;
extern template class eigenvalueCornerMetric<Fixpt, Fixpt>;

}  // namespace quobit
