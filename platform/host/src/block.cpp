// The lifecycle engine: drives one block instance through its callbacks in the order the blocks rely
// on, checks the lifecycle stage before every callback and the error status after it, and turns a
// block's error status into a BlockError.
#include <algorithm>
#include <cstring>
#include <new>

#include "engine_support.h"
#include "rtp_store.h"

namespace dravo::host {

using detail::Port;
using detail::Stage;
using sysobj::SysObjAdaptorSFun;
using namespace detail;

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

const std::string& Block::name() const {
    return impl_->name;
}
const Settings& Block::settings() const {
    return impl_->settings;
}
Plugin& Block::plugin() {
    return *impl_->plugin;
}
sysobj::SysObjAdaptorSFun* Block::handle() {
    return impl_.get();
}

void Block::setParameters(std::vector<Array> params) {
    SysObjAdaptorSFun& s = *impl_;
    if (s.stage != Stage::Created)
        hostError(s, "parameters", "dialog parameters are set before initialize()");
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

// ---- start --------------------------------------------------------------------------------------------------

namespace {

// The same class as the tool's own memory refusals, so every one reads alike.
constexpr const char* kOutOfMemoryClass = "dravo::cli::outOfMemory";

// What allocateMemory asks for in all: signals and work vectors.
uint64_t requestedBytes(const SysObjAdaptorSFun& s) {
    uint64_t total = 0;
    for (const detail::DWork& w : s.dworks)
        if (w.width > 0 && types::isKnown(w.dataType))
            total += static_cast<uint64_t>(w.width) *
                     static_cast<uint64_t>(types::info(w.dataType).containerBytes) *
                     (w.complexSignal ? 2u : 1u);
    for (auto* ports : {&s.inputs, &s.outputs})
        for (const Port& p : *ports)
            if (p.width > 0) total += static_cast<uint64_t>(p.width) * elementBytes(p);
    return total;
}

void allocateMemory(SysObjAdaptorSFun& s) {
    const char* phase = "start";
    for (size_t k = 0; k < s.dworks.size(); ++k) {
        detail::DWork& w = s.dworks[k];
        std::string label = "DWork " + std::to_string(k) + (w.name.empty() ? "" : " (\"" + w.name + "\")");
        if (w.width < 0) hostError(s, phase, label + " has no width");
        if (!types::isKnown(w.dataType)) hostError(s, phase, label + " has an unknown data type");
        w.data.resize(static_cast<size_t>(w.width) *
                      static_cast<size_t>(types::info(w.dataType).containerBytes) *
                      (w.complexSignal ? 2 : 1));
    }
    for (size_t k = 0; k < s.rtps.size(); ++k)
        if (!s.rtps[k]->defined)
            hostError(s, phase,
                      "run-time parameter " + std::to_string(k) + " was declared but never created");
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
        try {
            allocateMemory(s);
        } catch (const std::bad_alloc&) {
            throw BlockError(phase, s.name, kOutOfMemoryClass,
                             "not enough memory for the block's signals and work vectors (" +
                                 std::to_string(requestedBytes(s)) + " bytes asked for)");
        }
        s.stage = Stage::Starting;
        if (s.plugin->mdlStart) DRAVO_INVOKE(s, phase, static_cast<uint32_t>(Stage::Starting), mdlStart);
        s.stage = Stage::Running;
    } catch (...) {
        s.stage = Stage::Failed;
        throw;
    }
}

// ---- ports ----------------------------------------------------------------------------------------------

int32_t Block::numInputPorts() const {
    return static_cast<int32_t>(impl_->inputs.size());
}
int32_t Block::numOutputPorts() const {
    return static_cast<int32_t>(impl_->outputs.size());
}

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
        throw BlockError(phase, s.name, "",
                         "the block is not running (it is " + detail::stageName(s.stage) + ")");
}

}  // namespace

PortInfo Block::inputPort(int32_t port) const {
    return infoOf(portAt(*impl_, true, port, "query"));
}
PortInfo Block::outputPort(int32_t port) const {
    return infoOf(portAt(*impl_, false, port, "query"));
}

// ---- step -----------------------------------------------------------------------------------------------

void* Block::inputBuffer(int32_t port, const std::vector<int32_t>& currentDims, size_t* bytes) {
    SysObjAdaptorSFun& s = *impl_;
    const char* phase = "setInput";
    if (s.stage != Stage::Running) start();
    Port& p = const_cast<Port&>(portAt(s, true, port, phase));
    std::vector<int32_t> cur = p.dims;
    if (p.dimsMode == 1) {
        if (currentDims.empty())
            hostError(s, phase,
                      portName(true, port) + " is variable-size: the current dimensions are required");
        if (currentDims.size() > p.dims.size())
            hostError(s, phase,
                      portName(true, port) + ": current dimensions " + detail::dimsText(currentDims) +
                          " have more dimensions than the declared " + detail::dimsText(p.dims));
        cur.assign(p.dims.size(), 1);
        for (size_t k = 0; k < currentDims.size(); ++k) {
            if (currentDims[k] < 0 || currentDims[k] > p.dims[k])
                hostError(s, phase,
                          portName(true, port) + ": current dimensions " + detail::dimsText(currentDims) +
                              " exceed the declared maximum " + detail::dimsText(p.dims));
            cur[k] = currentDims[k];
        }
    }
    *bytes = static_cast<size_t>(product(cur)) * elementBytes(p);
    p.currentDims = std::move(cur);
    return p.buffer.data();
}

void Block::setInput(int32_t port, const void* data, size_t bytes, const std::vector<int32_t>& currentDims) {
    size_t expected = 0;
    std::vector<int32_t> previous =
        impl_->stage == Stage::Running && port >= 0 && static_cast<size_t>(port) < impl_->inputs.size()
            ? impl_->inputs[static_cast<size_t>(port)].currentDims
            : std::vector<int32_t>{};
    void* dst = inputBuffer(port, currentDims, &expected);
    const char* phase = "setInput";
    Port& p = impl_->inputs[static_cast<size_t>(port)];
    if (bytes != expected || (bytes && !data)) {
        std::vector<int32_t> cur = p.currentDims;
        p.currentDims = previous;  // a refused input leaves the port as it was
        if (bytes != expected)
            hostError(*impl_, phase,
                      portName(true, port) + " takes " + std::to_string(expected) + " bytes (" +
                          detail::dimsText(cur) + " of " + types::typeName(p.dataType) +
                          (p.complexSignal == 1 ? ", complex" : "") + "), not " + std::to_string(bytes));
        hostError(*impl_, phase, portName(true, port) + ": no data");
    }
    if (bytes) std::memcpy(dst, data, bytes);
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
        for (size_t k = 0; k < po.dims.size(); ++k)
            fits = fits && pi.currentDims[k] <= po.dims[k];
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
        hostError(s, phase,
                  "parameter " + std::to_string(index) + " does not exist (the block has " +
                      std::to_string(s.params.size()) + ")");
    if (!value.get()) value = Array::empty();
    size_t k = static_cast<size_t>(index);
    // Once propagation has fixed the ports, only tunable parameters may change.
    bool fixedByPropagation = s.stage != Stage::Initialized;
    if (fixedByPropagation && !s.tunable[k])
        hostError(s, phase,
                  "parameter " + std::to_string(index) +
                      " is not tunable: it cannot change once the simulation is set up");
    bool running = s.stage == Stage::Running;
    if (running) {
        for (const auto& r : s.rtps) {
            if (r->defined && r->dlgParamIndex == index &&
                qzGetNumberOfElements(value.get()) != qzGetNumberOfElements(s.params[k].get()))
                hostError(s, phase,
                          "parameter " + std::to_string(index) + " backs run-time parameter \"" + r->name +
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
    for (const detail::DWork& w : impl_->dworks)
        out.push_back({w.name, w.width, w.dataType, w.complexSignal, w.usageType});
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

const std::vector<NameValuePair>& Block::nameValuePairs() const {
    return impl_->nameValuePairs;
}
const std::vector<Warning>& Block::warnings() const {
    return impl_->warnings;
}

void Block::generateCode(TarnCG::CGHandle* cg) {
    SysObjAdaptorSFun& s = *impl_;
    const char* phase = "codegen";
    if (!s.plugin->mdlTarnCG) hostError(s, phase, "plug-in " + s.plugin->name() + " has no code generator");
    if (s.stage != Stage::Running) start();
    DRAVO_INVOKE(s, phase, static_cast<uint32_t>(Stage::Running), mdlTarnCG, cg);
}

}  // namespace dravo::host
