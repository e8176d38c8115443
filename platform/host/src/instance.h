// The host's object for one block instance: everything a block can set or read through sysobj, plus the
// lifecycle stage the engine checks before each callback and in the setters where order matters.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "aligned_buffer.h"
#include "dravo/host/engine.h"
#include "sysobj.h"

namespace dravo::host::detail {

// Where the instance is in its life. Setters consult it; the engine moves it forward.
enum class Stage : uint32_t {
    Created = 1u << 0,
    InitializingSizes = 1u << 1,  // inside mdlInitializeSizes
    Initialized = 1u << 2,
    Propagating = 1u << 3,
    Propagated = 1u << 4,
    SampleTimes = 1u << 5,  // inside mdlInitializeSampleTimes
    WorkWidths = 1u << 6,   // inside mdlSetWorkWidths
    Starting = 1u << 7,     // memory allocated, inside mdlStart
    Running = 1u << 8,
    Terminated = 1u << 9,
    Failed = 1u << 10,
};

constexpr uint32_t operator|(Stage a, Stage b) {
    return static_cast<uint32_t>(a) | static_cast<uint32_t>(b);
}
constexpr uint32_t operator|(uint32_t a, Stage b) {
    return a | static_cast<uint32_t>(b);
}

struct Port {
    std::vector<int32_t> dims;  // empty while unset; may hold -1 entries for sizes still free
    int32_t width = -1;
    DataTypeId dataType = DYNAMICALLY_TYPED;
    int32_t complexSignal = -1;
    int32_t frameData = -1;
    int32_t dimsMode = -1;
    int32_t connected = 1;
    int32_t directFeedThrough = 0, requiredContiguous = 0, overWritable = 0, optimOpts = 0;
    std::vector<int32_t> currentDims;  // per step; equal to dims for fixed-size ports
    AlignedBuffer buffer;              // sized for the declared (maximum) dims

    bool dimsKnown() const {
        if (dims.empty() || width < 0) return false;
        for (int32_t d : dims)
            if (d < 0) return false;
        return true;
    }
};

struct DWork {
    std::string name;
    int32_t width = 0;
    DataTypeId dataType = SS_DOUBLE;
    int32_t complexSignal = 0;
    int32_t usageType = 0;
    AlignedBuffer data;
};

struct Rtp {
    bool defined = false;
    std::string name;
    DataTypeId dataType = SS_DOUBLE;
    int32_t complexSignal = 0;
    std::vector<int32_t> dims;
    int32_t dlgParamIndex = -1;
    AlignedBuffer data;
    ssParamRec rec{};  // what ssGetRunTimeParamInfo hands out; points into the fields above
};

}  // namespace dravo::host::detail

namespace sysobj {

class SysObjAdaptorSFun {
  public:
    using Stage = dravo::host::detail::Stage;

    std::string name;
    dravo::host::Settings settings;
    std::shared_ptr<dravo::host::Plugin> plugin;
    Stage stage = Stage::Created;
    bool sizesCalled = false;        // mdlInitializeSizes was entered: mdlTerminate is owed
    const char* callback = nullptr;  // the callback running now, for messages

    // Dialog parameters.
    std::vector<dravo::host::Array> params;
    // Values replaced while set up or running stay alive until the instance ends: a block may still hold a
    // pointer it read before the change.
    std::vector<dravo::host::Array> retiredParams;
    std::vector<int32_t> tunable;
    int32_t declaredNumParams = -1;

    // Ports.
    std::vector<dravo::host::detail::Port> inputs, outputs;
    bool moreThan2D = false;
    mdlSetInputPortDimsModeFcn dimsModeFcn = nullptr;
    std::vector<std::pair<int32_t, int32_t>> sameDims;  // (input, output)
    int32_t signalSizesComputeType = 0;
    int32_t variableSizeChecker = 0;
    bool buffersAllocated = false;

    // Work memory and run-time parameters.
    std::vector<dravo::host::detail::DWork> dworks;
    bool dworksAllocated = false;
    std::vector<std::unique_ptr<dravo::host::detail::Rtp>> rtps;

    // Code generation.
    int32_t tarnCG = 0;
    std::vector<dravo::host::NameValuePair> nameValuePairs;

    // Timing and options (recorded only).
    // One inherited sample time unless the block declares otherwise.
    int32_t numSampleTimes = 1;
    std::vector<double> sampleTimes{-1.0}, offsetTimes{0.0};
    int32_t inheritanceRule = 0, normalModeSupport = 0, simStateCompliance = 0, multipleExecInstances = 0;
    int32_t busPropagation = 0, busSourcePort = -1;
    uint32_t options = 0;

    // Status.
    bool hasError = false;
    std::string errorText;
    std::string errorClass;
    std::vector<dravo::host::Warning> warnings;
    void* userData = nullptr;

    // Records a host-found error (refused call and so on) unless one is already pending: the first
    // error is the one the block's caller needs to see.
    void refuse(const std::string& text) {
        if (hasError) return;
        hasError = true;
        errorText = text;
        errorClass.clear();
    }
    bool stageIn(uint32_t mask) const { return (static_cast<uint32_t>(stage) & mask) != 0; }
};

}  // namespace sysobj
