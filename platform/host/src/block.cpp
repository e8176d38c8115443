// The lifecycle engine: drives one block instance through its callbacks in the order the blocks rely
// on, checks the lifecycle stage before every callback and the error status after it, and turns a
// block's error status into a BlockError.
#include <algorithm>
#include <cstring>

#include "dravo/host/types.h"
#include "instance.h"
#include "rtp_store.h"
#include "sysobj_access.h"

namespace dravo::host {

using detail::Port;
using detail::Stage;
using sysobj::SysObjAdaptorSFun;

namespace {

constexpr uint32_t kAnyLiveStage = Stage::InitializingSizes | Stage::Initialized | Stage::Propagating |
                                   Stage::Propagated | Stage::SampleTimes | Stage::WorkWidths | Stage::Starting |
                                   Stage::Running | Stage::Failed;

// Turns a pending error status into a BlockError (and clears it: the host has taken it over).
void checkStatus(SysObjAdaptorSFun& s, const char* phase) {
    if (!s.hasError) return;
    std::string cls = std::move(s.errorClass);
    std::string text = std::move(s.errorText);
    s.hasError = false;
    s.errorClass.clear();
    s.errorText.clear();
    throw BlockError(phase, s.name, cls, text);
}

[[noreturn]] void hostError(SysObjAdaptorSFun& s, const char* phase, const std::string& text) {
    throw BlockError(phase, s.name, "", text);
}

// One prologue for every callback: the stage must allow it; afterwards the error status is checked.
template <typename Fn, typename... Args>
void invoke(SysObjAdaptorSFun& s, const char* phase, const char* callbackName, uint32_t allowed, Fn fn,
            Args... args) {
    if (!s.stageIn(allowed))
        hostError(s, phase,
                  std::string(callbackName) + " cannot be called while the block is " + detail::stageName(s.stage));
    s.callback = callbackName;
    try {
        fn(&s, args...);
    } catch (const std::exception& e) {
        s.callback = nullptr;
        hostError(s, phase, std::string(callbackName) + " let an exception escape: " + e.what());
    } catch (...) {
        s.callback = nullptr;
        hostError(s, phase, std::string(callbackName) + " let an exception escape");
    }
    s.callback = nullptr;
    checkStatus(s, phase);
}

#define DRAVO_INVOKE(s, phase, mask, cb, ...) invoke(s, phase, #cb, mask, s.plugin->cb, ##__VA_ARGS__)

std::vector<int32_t> pruned(std::vector<int32_t> d) {
    while (d.size() > 2 && d.back() == 1) d.pop_back();
    if (d.size() == 1) d.push_back(1);  // a vector [n] and a column [n 1] hold the same elements
    return d;
}

bool sameDims(const std::vector<int32_t>& a, const std::vector<int32_t>& b) { return pruned(a) == pruned(b); }

std::string portName(bool input, int32_t port) {
    return std::string(input ? "input" : "output") + " port " + std::to_string(port);
}

int64_t product(const std::vector<int32_t>& d) {
    int64_t n = 1;
    for (int32_t x : d) n *= x;
    return n;
}

size_t elementBytes(const Port& p) {
    return static_cast<size_t>(types::info(p.dataType).containerBytes) * (p.complexSignal == 1 ? 2 : 1);
}

std::string triName(const char* what, int32_t v) {
    if (std::strcmp(what, "complexity") == 0) return v == 1 ? "complex" : v == 0 ? "real" : "unset";
    if (std::strcmp(what, "dimensions mode") == 0) return v == 1 ? "variable-size" : v == 0 ? "fixed-size" : "unset";
    return std::to_string(v);
}

// A port attribute agreed between what was offered and what the port holds after the offer.
void requireAgreement(SysObjAdaptorSFun& s, const char* phase, bool input, int32_t port, const char* what,
                      int32_t offered, int32_t held) {
    if (held == offered) return;
    hostError(s, phase,
              portName(input, port) + ": " + triName(what, offered) + " " + what + " was offered, but the block " +
                  (held == -1 ? "left it unset" : "requires " + triName(what, held)));
}

void requireTypeAgreement(SysObjAdaptorSFun& s, const char* phase, bool input, int32_t port, DataTypeId offered,
                          DataTypeId held) {
    if (held == offered) return;
    hostError(s, phase,
              portName(input, port) + ": data type " + types::typeName(offered) + " was offered, but the block " +
                  (held == DYNAMICALLY_TYPED ? "left it unset" : "requires " + types::typeName(held)));
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------------

Block::Block(std::shared_ptr<Plugin> plugin, std::string instanceName, Settings settings)
    : impl_(std::make_unique<SysObjAdaptorSFun>()) {
    if (!plugin) throw BlockError("load", instanceName, "", "no plug-in given");
    impl_->plugin = std::move(plugin);
    impl_->name = std::move(instanceName);
    impl_->settings = settings;
}

Block::~Block() {
    try {
        terminate();
    } catch (...) {
        // A destructor must not throw; the error was the block's last word.
    }
}

const std::string& Block::name() const { return impl_->name; }
const Settings& Block::settings() const { return impl_->settings; }
Plugin& Block::plugin() { return *impl_->plugin; }
sysobj::SysObjAdaptorSFun* Block::handle() { return impl_.get(); }

void Block::setParameters(std::vector<Array> params) {
    SysObjAdaptorSFun& s = *impl_;
    if (s.stage != Stage::Created) hostError(s, "parameters", "dialog parameters are set before initialize()");
    s.params = std::move(params);
}

void Block::setParameter(int32_t index, Array value) {
    SysObjAdaptorSFun& s = *impl_;
    if (index < 0) hostError(s, "parameters", "negative parameter index " + std::to_string(index));
    if (s.stage != Stage::Created) {
        changeParameter(index, std::move(value));
        return;
    }
    if (s.params.size() <= static_cast<size_t>(index)) s.params.resize(static_cast<size_t>(index) + 1);
    for (Array& a : s.params)
        if (!a.get()) a = Array::empty();
    s.params[static_cast<size_t>(index)] = std::move(value);
}

const Array& Block::parameter(int32_t index) const {
    static const Array kEmpty = Array::empty();
    if (index < 0 || static_cast<size_t>(index) >= impl_->params.size()) return kEmpty;
    const Array& a = impl_->params[static_cast<size_t>(index)];
    return a.get() ? a : kEmpty;
}

bool Block::isParamTunable(int32_t index) const {
    return index >= 0 && static_cast<size_t>(index) < impl_->tunable.size() &&
           impl_->tunable[static_cast<size_t>(index)] != 0;
}

// ---- initialize ---------------------------------------------------------------------------------------------

void Block::initialize() {
    SysObjAdaptorSFun& s = *impl_;
    const char* phase = "initialize";
    if (s.stage == Stage::Failed) hostError(s, phase, "the block failed earlier");
    if (s.stage == Stage::Terminated) hostError(s, phase, "the block was terminated");
    if (s.stage != Stage::Created) return;
    for (Array& a : s.params)
        if (!a.get()) a = Array::empty();
    try {
        s.stage = Stage::InitializingSizes;
        s.sizesCalled = true;
        DRAVO_INVOKE(s, phase, static_cast<uint32_t>(Stage::InitializingSizes), mdlInitializeSizes);
        s.stage = Stage::Initialized;
        if (s.declaredNumParams >= 0 && static_cast<size_t>(s.declaredNumParams) != s.params.size())
            hostError(s, phase,
                      "the block takes " + std::to_string(s.declaredNumParams) + " dialog parameters, but " +
                          std::to_string(s.params.size()) + " were given");
        s.tunable.resize(s.params.size(), 1);
        if (s.plugin->mdlCheckParameters)
            DRAVO_INVOKE(s, phase, static_cast<uint32_t>(Stage::Initialized), mdlCheckParameters);
    } catch (...) {
        s.stage = Stage::Failed;
        throw;
    }
}

// ---- propagate ----------------------------------------------------------------------------------------------

namespace {

void validateOffer(SysObjAdaptorSFun& s, int32_t port, const InputSpec& in) {
    const char* phase = "propagate";
    std::string where = portName(true, port) + ": ";
    if (in.dims.empty()) hostError(s, phase, where + "no dimensions offered");
    for (int32_t d : in.dims)
        if (d < 0) hostError(s, phase, where + "invalid dimensions " + detail::dimsText(in.dims));
    if (product(in.dims) > INT32_MAX) hostError(s, phase, where + "dimensions " + detail::dimsText(in.dims) + " too large");
    if (in.dataType != DYNAMICALLY_TYPED && !types::isKnown(in.dataType))
        hostError(s, phase, where + "unknown data type id " + std::to_string(in.dataType));
    if (in.complexSignal != 0 && in.complexSignal != 1) hostError(s, phase, where + "complexity must be 0 or 1");
    if (in.dimsMode != 0 && in.dimsMode != 1) hostError(s, phase, where + "dimensions mode must be 0 or 1");
    if (in.frameData != 0 && in.frameData != 1) hostError(s, phase, where + "frame data must be 0 or 1");
}

constexpr uint32_t kProp = static_cast<uint32_t>(Stage::Propagating);

void offerInputDims(SysObjAdaptorSFun& s, int32_t port, const std::vector<int32_t>& dims) {
    const char* phase = "propagate";
    Port& p = s.inputs[static_cast<size_t>(port)];
    std::vector<int32_t> d = dims;
    DimsInfo_tag di{static_cast<int32_t>(product(d)), static_cast<int32_t>(d.size()), d.data(), nullptr};
    if (s.plugin->mdlSetInputPortDimensionInfo) {
        DRAVO_INVOKE(s, phase, kProp, mdlSetInputPortDimensionInfo, port, &di);
    } else if (!p.dimsKnown()) {
        sysobj::ssSetInputPortDimensionInfo(&s, port, &di);
        checkStatus(s, phase);
        // A plain one-in, one-out block passes the size through when nothing else decided the output.
        if (s.inputs.size() == 1 && s.outputs.size() == 1 && !s.outputs[0].dimsKnown()) {
            sysobj::ssSetOutputPortDimensionInfo(&s, 0, &di);
            checkStatus(s, phase);
        }
    }
    if (!p.dimsKnown())
        hostError(s, phase, portName(true, port) + ": dimensions " + detail::dimsText(dims) +
                                " were offered, but the block left them unset");
    if (!sameDims(p.dims, dims))
        hostError(s, phase, portName(true, port) + ": dimensions " + detail::dimsText(dims) +
                                " were offered, but the block requires " + detail::dimsText(p.dims));
}

void offerDimsMode(SysObjAdaptorSFun& s, int32_t port, int32_t mode) {
    const char* phase = "propagate";
    Port& p = s.inputs[static_cast<size_t>(port)];
    if (s.dimsModeFcn) {
        invoke(s, phase, "mdlSetInputPortDimsMode", kProp, s.dimsModeFcn, port, mode);
    } else if (s.plugin->mdlSetInputPortDimsMode) {
        DRAVO_INVOKE(s, phase, kProp, mdlSetInputPortDimsMode, port, mode);
    } else if (p.dimsMode == -1) {
        p.dimsMode = mode;
    }
    if (p.dimsMode == -1) p.dimsMode = mode;
    requireAgreement(s, phase, true, port, "dimensions mode", mode, p.dimsMode);
}

void offerFrameData(SysObjAdaptorSFun& s, int32_t port, int32_t frame) {
    const char* phase = "propagate";
    Port& p = s.inputs[static_cast<size_t>(port)];
    if (s.plugin->mdlSetInputPortFrameData) DRAVO_INVOKE(s, phase, kProp, mdlSetInputPortFrameData, port, frame);
    if (p.frameData == -1) p.frameData = frame;
    requireAgreement(s, phase, true, port, "frame data", frame, p.frameData);
}

void offerComplexity(SysObjAdaptorSFun& s, int32_t port, int32_t c) {
    const char* phase = "propagate";
    Port& p = s.inputs[static_cast<size_t>(port)];
    if (s.plugin->mdlSetInputPortComplexSignal) {
        DRAVO_INVOKE(s, phase, kProp, mdlSetInputPortComplexSignal, port, c);
    } else if (p.complexSignal == -1) {
        p.complexSignal = c;
    }
    requireAgreement(s, phase, true, port, "complexity", c, p.complexSignal);
}

void offerDataType(SysObjAdaptorSFun& s, int32_t port, DataTypeId id) {
    const char* phase = "propagate";
    Port& p = s.inputs[static_cast<size_t>(port)];
    if (s.plugin->mdlSetInputPortDataType) {
        DRAVO_INVOKE(s, phase, kProp, mdlSetInputPortDataType, port, id);
    } else if (p.dataType == DYNAMICALLY_TYPED) {
        p.dataType = id;
    }
    requireTypeAgreement(s, phase, true, port, id, p.dataType);
}

void requestOutput(SysObjAdaptorSFun& s, int32_t port, const OutputRequest& r) {
    const char* phase = "propagate";
    Port& p = s.outputs[static_cast<size_t>(port)];
    if (r.dims) {
        std::vector<int32_t> d = *r.dims;
        if (d.empty()) hostError(s, phase, portName(false, port) + ": no dimensions requested");
        for (int32_t x : d)
            if (x < 0) hostError(s, phase, portName(false, port) + ": invalid dimensions " + detail::dimsText(d));
        DimsInfo_tag di{static_cast<int32_t>(product(d)), static_cast<int32_t>(d.size()), d.data(), nullptr};
        if (s.plugin->mdlSetOutputPortDimensionInfo) {
            DRAVO_INVOKE(s, phase, kProp, mdlSetOutputPortDimensionInfo, port, &di);
        } else if (!p.dimsKnown()) {
            sysobj::ssSetOutputPortDimensionInfo(&s, port, &di);
            checkStatus(s, phase);
        }
        if (!p.dimsKnown() || !sameDims(p.dims, *r.dims))
            hostError(s, phase, portName(false, port) + ": dimensions " + detail::dimsText(*r.dims) +
                                    " were requested, but the block " +
                                    (p.dimsKnown() ? "produces " + detail::dimsText(p.dims) : "left them unset"));
    }
    if (r.complexSignal) {
        int32_t c = *r.complexSignal;
        if (c != 0 && c != 1) hostError(s, phase, portName(false, port) + ": complexity must be 0 or 1");
        if (s.plugin->mdlSetOutputPortComplexSignal) {
            DRAVO_INVOKE(s, phase, kProp, mdlSetOutputPortComplexSignal, port, c);
        } else if (p.complexSignal == -1) {
            p.complexSignal = c;
        }
        requireAgreement(s, phase, false, port, "complexity", c, p.complexSignal);
    }
    if (r.dataType) {
        DataTypeId id = *r.dataType;
        if (!types::isKnown(id))
            hostError(s, phase, portName(false, port) + ": unknown data type id " + std::to_string(id));
        if (s.plugin->mdlSetOutputPortDataType) {
            DRAVO_INVOKE(s, phase, kProp, mdlSetOutputPortDataType, port, id);
        } else if (p.dataType == DYNAMICALLY_TYPED) {
            p.dataType = id;
        }
        requireTypeAgreement(s, phase, false, port, id, p.dataType);
    }
}

bool anyDimsUnknown(const SysObjAdaptorSFun& s) {
    for (const auto* ports : {&s.inputs, &s.outputs})
        for (const Port& p : *ports)
            if (!p.dimsKnown()) return true;
    return false;
}

bool anyTypeUnknown(const SysObjAdaptorSFun& s) {
    for (const auto* ports : {&s.inputs, &s.outputs})
        for (const Port& p : *ports)
            if (p.dataType == DYNAMICALLY_TYPED) return true;
    return false;
}

void applyDefaults(SysObjAdaptorSFun& s) {
    const char* phase = "propagate";
    if (anyDimsUnknown(s) && s.plugin->mdlSetDefaultPortDimensionInfo)
        DRAVO_INVOKE(s, phase, kProp, mdlSetDefaultPortDimensionInfo);
    // An unconnected input is driven by a ground, which takes whatever the block settles on and otherwise
    // gives a real double scalar; what is still open is offered like any upstream signal.
    for (size_t k = 0; k < s.inputs.size(); ++k) {
        const int32_t port = static_cast<int32_t>(k);
        if (s.inputs[k].connected) continue;
        if (!s.inputs[k].dimsKnown()) offerInputDims(s, port, {1, 1});
        if (s.inputs[k].dimsMode == -1) offerDimsMode(s, port, 0);
        if (s.inputs[k].frameData == -1) offerFrameData(s, port, 0);
        if (s.inputs[k].complexSignal == -1) offerComplexity(s, port, 0);
    }
    if (anyTypeUnknown(s) && s.plugin->mdlSetDefaultPortDataTypes)
        DRAVO_INVOKE(s, phase, kProp, mdlSetDefaultPortDataTypes);
    for (size_t k = 0; k < s.inputs.size(); ++k)
        if (!s.inputs[k].connected && s.inputs[k].dataType == DYNAMICALLY_TYPED)
            offerDataType(s, static_cast<int32_t>(k), SS_DOUBLE);
    for (Port& p : s.outputs)
        if (p.dataType == DYNAMICALLY_TYPED) p.dataType = SS_DOUBLE;
    for (auto* ports : {&s.inputs, &s.outputs}) {
        for (Port& p : *ports) {
            if (p.complexSignal == -1) p.complexSignal = 0;
            if (p.frameData == -1) p.frameData = 0;
            if (p.dimsMode == -1) p.dimsMode = 0;
        }
    }
}

// A later callback may have changed a port that already agreed to its offer (a block answering an offer on
// one port by setting another): what was offered and requested must still hold at the end.
void requireOffersHeld(SysObjAdaptorSFun& s, const std::vector<InputSpec>& inputs,
                       const std::vector<OutputRequest>& outputs) {
    const char* phase = "propagate";
    for (size_t k = 0; k < inputs.size(); ++k) {
        const InputSpec& in = inputs[k];
        const Port& p = s.inputs[k];
        const int32_t port = static_cast<int32_t>(k);
        if (!p.dimsKnown() || !sameDims(p.dims, in.dims))
            hostError(s, phase, portName(true, port) + ": dimensions " + detail::dimsText(in.dims) +
                                    " were offered, but the block changed them to " + detail::dimsText(p.dims));
        requireAgreement(s, phase, true, port, "dimensions mode", in.dimsMode, p.dimsMode);
        requireAgreement(s, phase, true, port, "frame data", in.frameData, p.frameData);
        requireAgreement(s, phase, true, port, "complexity", in.complexSignal, p.complexSignal);
        if (in.dataType != DYNAMICALLY_TYPED) requireTypeAgreement(s, phase, true, port, in.dataType, p.dataType);
    }
    for (size_t k = 0; k < outputs.size(); ++k) {
        const OutputRequest& r = outputs[k];
        const Port& p = s.outputs[k];
        const int32_t port = static_cast<int32_t>(k);
        if (r.dims && (!p.dimsKnown() || !sameDims(p.dims, *r.dims)))
            hostError(s, phase, portName(false, port) + ": dimensions " + detail::dimsText(*r.dims) +
                                    " were requested, but the block changed them to " + detail::dimsText(p.dims));
        if (r.complexSignal) requireAgreement(s, phase, false, port, "complexity", *r.complexSignal, p.complexSignal);
        if (r.dataType) requireTypeAgreement(s, phase, false, port, *r.dataType, p.dataType);
    }
}

// Refuses to go on while any port attribute is unset, naming every such port and attribute.
void requireResolved(SysObjAdaptorSFun& s) {
    std::string missing;
    auto note = [&](bool input, size_t k, const char* what) {
        missing += (missing.empty() ? "" : "; ") + portName(input, static_cast<int32_t>(k)) + ": " + what + " unset";
    };
    for (int side = 0; side < 2; ++side) {
        const std::vector<Port>& ports = side == 0 ? s.inputs : s.outputs;
        for (size_t k = 0; k < ports.size(); ++k) {
            const Port& p = ports[k];
            if (!p.dimsKnown()) note(side == 0, k, "dimensions");
            if (p.dataType == DYNAMICALLY_TYPED) note(side == 0, k, "data type");
        }
    }
    if (!missing.empty()) hostError(s, "propagate", "cannot start: " + missing);
}

}  // namespace

void Block::propagate(const std::vector<InputSpec>& inputs, const std::vector<OutputRequest>& outputs) {
    SysObjAdaptorSFun& s = *impl_;
    const char* phase = "propagate";
    if (s.stage == Stage::Created) initialize();
    if (s.stage != Stage::Initialized)
        hostError(s, phase, "propagation needs an initialized block (it is " + detail::stageName(s.stage) + ")");
    if (inputs.size() > s.inputs.size())
        hostError(s, phase, std::to_string(inputs.size()) + " inputs offered, but the block has " +
                                std::to_string(s.inputs.size()) + " input port" + (s.inputs.size() == 1 ? "" : "s"));
    if (outputs.size() > s.outputs.size())
        hostError(s, phase, std::to_string(outputs.size()) + " output requests, but the block has " +
                                std::to_string(s.outputs.size()) + " output port" + (s.outputs.size() == 1 ? "" : "s"));
    for (size_t k = 0; k < inputs.size(); ++k) validateOffer(s, static_cast<int32_t>(k), inputs[k]);

    try {
        s.stage = Stage::Propagating;
        for (size_t k = 0; k < s.inputs.size(); ++k) s.inputs[k].connected = k < inputs.size() ? 1 : 0;
        const int32_t n = static_cast<int32_t>(inputs.size());
        if (s.plugin->mdlSetInputPortNumberOfDimensions)
            for (int32_t k = 0; k < n; ++k)
                DRAVO_INVOKE(s, phase, kProp, mdlSetInputPortNumberOfDimensions, k,
                             static_cast<int32_t>(inputs[static_cast<size_t>(k)].dims.size()));
        for (int32_t k = 0; k < n; ++k) offerInputDims(s, k, inputs[static_cast<size_t>(k)].dims);
        for (int32_t k = 0; k < n; ++k) offerDimsMode(s, k, inputs[static_cast<size_t>(k)].dimsMode);
        for (int32_t k = 0; k < n; ++k) offerFrameData(s, k, inputs[static_cast<size_t>(k)].frameData);
        for (int32_t k = 0; k < n; ++k) offerComplexity(s, k, inputs[static_cast<size_t>(k)].complexSignal);
        for (int32_t k = 0; k < n; ++k)
            if (inputs[static_cast<size_t>(k)].dataType != DYNAMICALLY_TYPED)
                offerDataType(s, k, inputs[static_cast<size_t>(k)].dataType);
        for (size_t k = 0; k < outputs.size(); ++k) requestOutput(s, static_cast<int32_t>(k), outputs[k]);
        applyDefaults(s);
        requireResolved(s);
        requireOffersHeld(s, inputs, outputs);
        s.stage = Stage::Propagated;
    } catch (...) {
        s.stage = Stage::Failed;
        throw;
    }
}

// ---- start --------------------------------------------------------------------------------------------------

namespace {

void allocateMemory(SysObjAdaptorSFun& s) {
    const char* phase = "start";
    for (size_t k = 0; k < s.dworks.size(); ++k) {
        detail::DWork& w = s.dworks[k];
        std::string label = "DWork " + std::to_string(k) + (w.name.empty() ? "" : " (\"" + w.name + "\")");
        if (w.width < 0) hostError(s, phase, label + " has no width");
        if (!types::isKnown(w.dataType)) hostError(s, phase, label + " has an unknown data type");
        w.data.resize(static_cast<size_t>(w.width) * static_cast<size_t>(types::info(w.dataType).containerBytes) *
                      (w.complexSignal ? 2 : 1));
    }
    for (size_t k = 0; k < s.rtps.size(); ++k)
        if (!s.rtps[k]->defined)
            hostError(s, phase, "run-time parameter " + std::to_string(k) + " was declared but never created");
    for (auto* ports : {&s.inputs, &s.outputs}) {
        for (Port& p : *ports) {
            p.buffer.resize(static_cast<size_t>(p.width) * elementBytes(p));
            p.currentDims = p.dims;
        }
    }
    s.dworksAllocated = true;
    s.buffersAllocated = true;
}

}  // namespace

void Block::start() {
    SysObjAdaptorSFun& s = *impl_;
    const char* phase = "start";
    if (s.stage == Stage::Created || s.stage == Stage::Initialized) propagate({});
    if (s.stage == Stage::Running) return;
    if (s.stage != Stage::Propagated)
        hostError(s, phase, "start needs a propagated block (it is " + detail::stageName(s.stage) + ")");
    try {
        s.stage = Stage::SampleTimes;
        DRAVO_INVOKE(s, phase, static_cast<uint32_t>(Stage::SampleTimes), mdlInitializeSampleTimes);
        s.stage = Stage::WorkWidths;
        if (s.plugin->mdlSetWorkWidths)
            DRAVO_INVOKE(s, phase, static_cast<uint32_t>(Stage::WorkWidths), mdlSetWorkWidths);
        allocateMemory(s);
        s.stage = Stage::Starting;
        if (s.plugin->mdlStart) DRAVO_INVOKE(s, phase, static_cast<uint32_t>(Stage::Starting), mdlStart);
        s.stage = Stage::Running;
    } catch (...) {
        s.stage = Stage::Failed;
        throw;
    }
}

// ---- ports ----------------------------------------------------------------------------------------------

int32_t Block::numInputPorts() const { return static_cast<int32_t>(impl_->inputs.size()); }
int32_t Block::numOutputPorts() const { return static_cast<int32_t>(impl_->outputs.size()); }

namespace {

PortInfo infoOf(const Port& p) {
    PortInfo i;
    i.dims = p.dims;
    i.width = p.width;
    i.dataType = p.dataType;
    i.complexSignal = p.complexSignal;
    i.frameData = p.frameData;
    i.dimsMode = p.dimsMode;
    i.connected = p.connected;
    return i;
}

const Port& portAt(const SysObjAdaptorSFun& s, bool input, int32_t port, const char* phase) {
    const std::vector<Port>& ports = input ? s.inputs : s.outputs;
    if (port < 0 || static_cast<size_t>(port) >= ports.size())
        throw BlockError(phase, s.name, "", portName(input, port) + " does not exist");
    return ports[static_cast<size_t>(port)];
}

void requireRunning(const SysObjAdaptorSFun& s, const char* phase) {
    if (s.stage != Stage::Running)
        throw BlockError(phase, s.name, "", "the block is not running (it is " + detail::stageName(s.stage) + ")");
}

}  // namespace

PortInfo Block::inputPort(int32_t port) const { return infoOf(portAt(*impl_, true, port, "query")); }
PortInfo Block::outputPort(int32_t port) const { return infoOf(portAt(*impl_, false, port, "query")); }

// ---- step -----------------------------------------------------------------------------------------------

void Block::setInput(int32_t port, const void* data, size_t bytes, const std::vector<int32_t>& currentDims) {
    SysObjAdaptorSFun& s = *impl_;
    const char* phase = "setInput";
    if (s.stage != Stage::Running) start();
    Port& p = const_cast<Port&>(portAt(s, true, port, phase));
    std::vector<int32_t> cur = p.dims;
    if (p.dimsMode == 1) {
        if (currentDims.empty())
            hostError(s, phase, portName(true, port) + " is variable-size: the current dimensions are required");
        if (currentDims.size() > p.dims.size())
            hostError(s, phase, portName(true, port) + ": current dimensions " + detail::dimsText(currentDims) +
                                    " have more dimensions than the declared " + detail::dimsText(p.dims));
        cur.assign(p.dims.size(), 1);
        for (size_t k = 0; k < currentDims.size(); ++k) {
            if (currentDims[k] < 0 || currentDims[k] > p.dims[k])
                hostError(s, phase, portName(true, port) + ": current dimensions " + detail::dimsText(currentDims) +
                                        " exceed the declared maximum " + detail::dimsText(p.dims));
            cur[k] = currentDims[k];
        }
    }
    size_t expected = static_cast<size_t>(product(cur)) * elementBytes(p);
    if (bytes != expected)
        hostError(s, phase, portName(true, port) + " takes " + std::to_string(expected) + " bytes (" +
                                detail::dimsText(cur) + " of " + types::typeName(p.dataType) +
                                (p.complexSignal == 1 ? ", complex" : "") + "), not " + std::to_string(bytes));
    if (bytes && !data) hostError(s, phase, portName(true, port) + ": no data");
    if (bytes) std::memcpy(p.buffer.data(), data, bytes);
    p.currentDims = std::move(cur);
}

void Block::step() {
    SysObjAdaptorSFun& s = *impl_;
    const char* phase = "step";
    if (s.stage != Stage::Running) start();
    // Outputs declared to follow an input's size take its current size before the block runs.
    for (auto [in, out] : s.sameDims) {
        Port& pi = s.inputs[static_cast<size_t>(in)];
        Port& po = s.outputs[static_cast<size_t>(out)];
        if (po.dimsMode != 1 || pi.currentDims.size() != po.dims.size()) continue;
        bool fits = true;
        for (size_t k = 0; k < po.dims.size(); ++k) fits = fits && pi.currentDims[k] <= po.dims[k];
        if (fits) po.currentDims = pi.currentDims;
    }
    DRAVO_INVOKE(s, phase, static_cast<uint32_t>(Stage::Running), mdlOutputs, 0);
}

const void* Block::output(int32_t port) const {
    const Port& p = portAt(*impl_, false, port, "output");
    requireRunning(*impl_, "output");
    return p.buffer.data();
}

std::vector<int32_t> Block::currentOutputDims(int32_t port) const {
    const Port& p = portAt(*impl_, false, port, "output");
    return p.currentDims.empty() ? p.dims : p.currentDims;
}

size_t Block::currentOutputBytes(int32_t port) const {
    const Port& p = portAt(*impl_, false, port, "output");
    if (!types::isKnown(p.dataType)) return 0;
    return static_cast<size_t>(product(p.currentDims.empty() ? p.dims : p.currentDims)) * elementBytes(p);
}

// ---- parameters while running ----------------------------------------------------------------------------

void Block::changeParameter(int32_t index, Array value) {
    SysObjAdaptorSFun& s = *impl_;
    const char* phase = "changeParameter";
    if (s.stage == Stage::Created) {
        setParameter(index, std::move(value));
        return;
    }
    if (s.stage == Stage::Terminated || s.stage == Stage::Failed)
        hostError(s, phase, "the block is " + detail::stageName(s.stage));
    if (index < 0 || static_cast<size_t>(index) >= s.params.size())
        hostError(s, phase, "parameter " + std::to_string(index) + " does not exist (the block has " +
                                std::to_string(s.params.size()) + ")");
    if (!value.get()) value = Array::empty();
    size_t k = static_cast<size_t>(index);
    // Once propagation has fixed the ports, only tunable parameters may change.
    bool fixedByPropagation = s.stage != Stage::Initialized;
    if (fixedByPropagation && !s.tunable[k])
        hostError(s, phase, "parameter " + std::to_string(index) +
                                " is not tunable: it cannot change once the simulation is set up");
    bool running = s.stage == Stage::Running;
    if (running) {
        for (const auto& r : s.rtps) {
            if (r->defined && r->dlgParamIndex == index &&
                qzGetNumberOfElements(value.get()) != qzGetNumberOfElements(s.params[k].get()))
                hostError(s, phase, "parameter " + std::to_string(index) + " backs run-time parameter \"" + r->name +
                                        "\" and cannot change its number of elements while running");
        }
    }
    Array old = std::move(s.params[k]);
    s.params[k] = std::move(value);
    try {
        uint32_t mask = Stage::Initialized | Stage::Propagated | Stage::Running;
        if (s.plugin->mdlCheckParameters) DRAVO_INVOKE(s, phase, mask, mdlCheckParameters);
        if (running && s.plugin->mdlProcessParameters) {
            DRAVO_INVOKE(s, phase, static_cast<uint32_t>(Stage::Running), mdlProcessParameters);
        } else if (running) {
            // Without mdlProcessParameters the host refreshes the run-time parameters behind the dialog value.
            for (auto& r : s.rtps) {
                if (!r->defined || r->dlgParamIndex != index) continue;
                std::string why = detail::fillRtpFromDialog(&s, index, *r);
                if (!why.empty()) hostError(s, phase, why);
            }
        }
    } catch (...) {
        s.retiredParams.push_back(std::move(s.params[k]));
        s.params[k] = std::move(old);
        // The RTPs may already hold the refused value: bring them back to the parameter in force.
        if (running)
            for (auto& r : s.rtps)
                if (r->defined && r->dlgParamIndex == index) detail::fillRtpFromDialog(&s, index, *r);
        throw;
    }
    s.retiredParams.push_back(std::move(old));
}

// ---- terminate ------------------------------------------------------------------------------------------

void Block::terminate() {
    SysObjAdaptorSFun& s = *impl_;
    if (s.stage == Stage::Terminated) return;
    bool owed = s.sizesCalled;
    s.hasError = false;  // an error left from a failed stage has been reported already
    if (owed) {
        try {
            DRAVO_INVOKE(s, "terminate", kAnyLiveStage, mdlTerminate);
        } catch (...) {
            s.stage = Stage::Terminated;
            throw;
        }
    }
    s.stage = Stage::Terminated;
}

// ---- results --------------------------------------------------------------------------------------------

std::vector<DWorkInfo> Block::dworks() const {
    std::vector<DWorkInfo> out;
    for (const detail::DWork& w : impl_->dworks) out.push_back({w.name, w.width, w.dataType, w.complexSignal, w.usageType});
    return out;
}

std::vector<RtpInfo> Block::runTimeParams() const {
    std::vector<RtpInfo> out;
    for (const auto& r : impl_->rtps) {
        RtpInfo i;
        if (r->defined) {
            i.name = r->name;
            i.dataType = r->dataType;
            i.complexSignal = r->complexSignal;
            i.dims = r->dims;
            i.dlgParamIndex = r->dlgParamIndex;
            i.bytes.assign(r->data.data(), r->data.data() + r->data.size());
        }
        out.push_back(std::move(i));
    }
    return out;
}

const std::vector<NameValuePair>& Block::nameValuePairs() const { return impl_->nameValuePairs; }
const std::vector<Warning>& Block::warnings() const { return impl_->warnings; }

void Block::generateCode(TarnCG::CGHandle* cg) {
    SysObjAdaptorSFun& s = *impl_;
    const char* phase = "codegen";
    if (!s.plugin->mdlTarnCG) hostError(s, phase, "plug-in " + s.plugin->name() + " has no code generator");
    if (s.stage != Stage::Running) start();
    DRAVO_INVOKE(s, phase, static_cast<uint32_t>(Stage::Running), mdlTarnCG, cg);
}

}  // namespace dravo::host
