// Per-instance kernel objects of the rotate block. mdlStart stores one in the host's user pointer;
// mdlOutputs, mdlProcessParameters and mdlTerminate use it without type tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <utility>

#include "pellor/geometry.h"
#include "pellor/skew.h"
#include "pellor/threeshear.h"
#include "sysobj.h"

namespace pellor {

class RotateSFcnCache {
  public:
    virtual ~RotateSFcnCache() = default;
    // One step: reads the inputs and writes the whole output.
    virtual void output() = 0;
    // Re-reads the tunable fill values (RTP 0).
    virtual void processParameters() = 0;
    // Variable-size mode: recomputes the geometry for the current input size.
    virtual void setInputDims(int32_t rows, int32_t cols) = 0;
    virtual void getOutputDims(int32_t* rows, int32_t* cols) const = 0;
};

// Sizes and choices both engines take from the block at start.
struct RotateKernelShape {
    sysobj::SysObjAdaptorSFun* S = nullptr;
    bool quarterTurnOnly = false;
    int32_t quarterTurns = 0;
    int32_t method = 2;
    int32_t rows = 0, cols = 0, planes = 1;
    int32_t fullRows = 0, fullCols = 0;
    int32_t outRowsMax = 0, outColsMax = 0;  // the output port's declared size
    bool sameSize = false;
    int32_t lineLen = 0;     // "LineBuffer" width - 1 (0 for a quarter turn)
    int32_t shearedLen = 0;  // "ShearedImage" width (0 for a quarter turn)
};

// Fills the shape from the block's ports, parameters and work vectors; false when the host reported an error.
bool gatherKernelShape(sysobj::SysObjAdaptorSFun* S, RotateKernelShape& shape);

// The sizes a shear set-up takes from the shape; again after every size change.
template <typename T>
void setSetupSizes(ShearSetup<T>& setup, const RotateKernelShape& shape) {
    setup.rows = shape.rows;
    setup.cols = shape.cols;
    setup.fullRows = shape.fullRows;
    setup.fullCols = shape.fullCols;
    setup.outRows = shape.sameSize ? shape.rows : shape.fullRows;
    setup.outCols = shape.sameSize ? shape.cols : shape.fullCols;
}

// Everything else a shear set-up takes from the shape, the same for both engines.
template <typename T>
void setSetupFromShape(ShearSetup<T>& setup, const RotateKernelShape& shape, bool centred) {
    setup.sameSize = shape.sameSize;
    setup.centred = centred;
    setup.planes = shape.planes;
    setup.shearedLen = shape.shearedLen;
    setup.lineLen = shape.lineLen;
    setSetupSizes(setup, shape);
}

// Variable-size mode, both engines: the shape takes the current input size and its full size, the rotated
// size the engine's `rotatedSize(rows, cols)` gives for it (rows and columns exchanged when the reduction
// takes out a quarter turn) and never past the output port; the set-up takes the new sizes.
template <typename T, class RotatedSize>
void setInputDimsOf(RotateKernelShape& shape, ShearSetup<T>& setup, int32_t rows, int32_t cols,
                    RotatedSize&& rotatedSize) {
    shape.rows = rows;
    shape.cols = cols;
    if (shape.quarterTurnOnly) {
        const bool odd = shape.quarterTurns % 2 != 0;
        shape.fullRows = odd ? cols : rows;
        shape.fullCols = odd ? rows : cols;
    } else {
        // The rotated size can exceed the declared maximum by the parity step.
        const auto [rotatedRows, rotatedCols] = rotatedSize(rows, cols);
        shape.fullRows = std::min(rotatedRows, shape.outRowsMax);
        shape.fullCols = std::min(rotatedCols, shape.outColsMax);
    }
    setSetupSizes(setup, shape);
}

// Everything mdlStartFltPt gathers for the floating-point kernel (pointers into host-owned memory).
template <typename T>
struct FltKernelConfig : RotateKernelShape {
    const T* input = nullptr;
    T* output = nullptr;
    T* sheared = nullptr;
    T* line = nullptr;
    const T* sineTable = nullptr;
    const void* angle = nullptr;  // RTP "Angle" (type T) or the angle port's signal
    DataTypeId angleType = 0;
    const T* maxAngle = nullptr;  // RTP "MaxAngle" when the angle comes from the port
    const T* fill = nullptr;
    bool angleFromPort = false;
    bool sineByTable = false;
    bool centred = false;
    bool singleFill = true;
};

template <typename T>
class RotateSFcnCacheFlt final : public RotateSFcnCache {
  public:
    explicit RotateSFcnCacheFlt(const FltKernelConfig<T>& config);
    ~RotateSFcnCacheFlt() override = default;
    void output() override;
    void processParameters() override;
    void setInputDims(int32_t rows, int32_t cols) override;
    void getOutputDims(int32_t* rows, int32_t* cols) const override;

    // The geometry and layout of the last step (for tests and tools).
    const ShearGeometry<T>& lastGeometry() const { return geometry_; }
    const ShearLayout& lastLayout() const { return layout_; }

  private:
    T stepAngle() const;
    void quarterTurnOutput();
    void shearOutput();

    FltKernelConfig<T> c_;
    void (RotateSFcnCacheFlt::*outputRoutine_)();
    ShearSetup<T> setup_;
    ShearGeometry<T> geometry_;
    ShearLayout layout_{};
};

extern template class RotateSFcnCacheFlt<float>;
extern template class RotateSFcnCacheFlt<double>;

}  // namespace pellor
