// The fixed-point kernel object of the rotate block: integer and fixed-point images, and floating-point
// images in a run that logs minimum, maximum and overflow values. It follows the floating-point engine's
// geometry and passes; every quantity is a number object of the fixed-point library, quantised into the
// type that holds it with the block's rounding and overflow modes. The angle is wrapped with the stored
// "PiValue" and the sine and cosine always come from the "SineTable".
//
// mdlStartFixPt builds it; the handles and number objects are made once there, so a step allocates
// nothing. The object points into host-owned memory (ports, run-time parameters, work vectors).
#pragma once

#include <cstdint>
#include <memory>

#include "pellor/anglemath.h"
#include "pellor/fixskew.h"
#include "pellor/geometry.h"
#include "pellor/rotatesfcncache.h"
#include "pellor/threeshear.h"
#include "sysobj.h"
#include "vekfixpt.h"

namespace pellor {

using VekDSPFixpt::DSPDataAttributesHandle;

// Everything mdlStartFixPt gathers (sizes, flags, host-owned pointers and their type ids).
struct FixKernelConfig : RotateKernelShape {
    bool angleFromPort = false;
    bool centred = false;
    int32_t fillCount = 1;
    void* input = nullptr;
    void* output = nullptr;
    int32_t inputWidth = 0, outputWidth = 0;  // elements of the ports (all planes)
    void* sheared = nullptr;
    void* line = nullptr;
    void* sineTable = nullptr;
    int32_t sineTableLen = 0;
    void* twoPi = nullptr;     // "PiValue"
    void* angle = nullptr;     // "Angle" or the angle port's signal
    void* maxAngle = nullptr;  // "MaxAngle" (angle from the port)
    void* fill = nullptr;
    DataTypeId inputType = 0, outputType = 0, angleType = 0, sineType = 0, piType = 0;
    bool floatingImage = false;  // double or single image: the working types are the image's type
    int32_t productWordLength = 32, productFracLength = 0;
    int32_t accumWordLength = 32, accumFracLength = 0;
    int32_t rounding = VekDSPFixpt::kRoundFloor;
    int32_t overflow = VekDSPFixpt::kOverflowWrap;
};

// The step's angle after the wrap, clamp and reduction, as the engine computed it (for tests and tools).
struct FixStepAngle {
    double wrapped = 0.0;
    double reduced = 0.0;
    double tableIndex = 0.0;  // 360 * theta / (pi/2) in the working type
    ReducedAngle how;
};

class RotateSFcnCacheFix final : public RotateSFcnCache {
  public:
    // Builds the handles and number objects; null (and the host's error status set) when one is refused.
    static std::unique_ptr<RotateSFcnCacheFix> create(const FixKernelConfig& config);
    ~RotateSFcnCacheFix() override;

    void output() override;
    void processParameters() override;
    void setInputDims(int32_t rows, int32_t cols) override;
    void getOutputDims(int32_t* rows, int32_t* cols) const override;

    // The geometry of the last step, its sine and tan(theta/2) as doubles (for tests and tools).
    const ShearGeometry<double>& lastGeometry() const { return geometry_; }
    const FixStepAngle& lastAngle() const { return angle_; }
    const ShearLayout& lastLayout() const { return layout_; }

  private:
    explicit RotateSFcnCacheFix(const FixKernelConfig& config);
    bool build();

    // The step's angle: wrapped with the stored 2*pi, clamped (port angle), reduced into [0, pi/2).
    void stepAngle();
    // sin, cos, tan(theta/2) from the table and the rotated size of an R' x C' image, limited to the full
    // size before the parity step.
    void shearGeometry(int32_t rowsPre, int32_t colsPre, int32_t rowsLimit, int32_t colsLimit);
    Fixpt& integer(int64_t v);

    void quarterTurnOutput();
    void shearOutput();

    FixKernelConfig c_;
    ShearSetup<double> setup_;  // sizes and buffers lengths only: the layout helpers are shared
    ShearGeometry<double> geometry_;
    FixStepAngle angle_;
    ShearLayout layout_{};

    // Handles first: the number objects keep pointers to them.
    std::unique_ptr<DSPDataAttributesHandle> outputAttrs_, inputAttrs_, scaleAttrs_, sineAttrs_, angleAttrs_,
        angleWorkAttrs_, workingAttrs_, integerAttrs_;

    std::unique_ptr<Fixpt> input_, output_, sheared_, line_, fill_, sineTable_, twoPi_, pi_, halfPi_,
        angle_in_, maxAngle_;
    std::unique_ptr<Fixpt> wrapped_, reduced_, angleScratch_, maxWork_;
    std::unique_ptr<Fixpt> index_, frac_, sin_, cos_, tanHalf_, term_, shift_, centre_, integer_, count360_;
    std::unique_ptr<FixSkewEngine> skew_;
};

}  // namespace pellor
