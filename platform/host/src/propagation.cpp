// Propagation: offers from upstream, requests from downstream, the block's default callbacks, the host's
// defaults, and the refusal to go on while anything is unset or an offer was overturned.
#include <algorithm>
#include <cstring>

#include "engine_support.h"

namespace dravo::host {

using detail::Port;
using detail::Stage;
using namespace detail;

namespace {

std::string triName(const char* what, int32_t v) {
    if (std::strcmp(what, "complexity") == 0) return v == 1 ? "complex" : v == 0 ? "real" : "unset";
    if (std::strcmp(what, "dimensions mode") == 0)
        return v == 1 ? "variable-size" : v == 0 ? "fixed-size" : "unset";
    return std::to_string(v);
}

// A port attribute agreed between what was offered and what the port holds after the offer.
void requireAgreement(SysObjAdaptorSFun& s, const char* phase, bool input, int32_t port, const char* what,
                      int32_t offered, int32_t held) {
    if (held == offered) return;
    hostError(s, phase,
              portName(input, port) + ": " + triName(what, offered) + " " + what +
                  " was offered, but the block " +
                  (held == -1 ? "left it unset" : "requires " + triName(what, held)));
}

void requireTypeAgreement(SysObjAdaptorSFun& s, const char* phase, bool input, int32_t port,
                          DataTypeId offered, DataTypeId held) {
    if (held == offered) return;
    hostError(s, phase,
              portName(input, port) + ": data type " + types::typeName(offered) +
                  " was offered, but the block " +
                  (held == DYNAMICALLY_TYPED ? "left it unset" : "requires " + types::typeName(held)));
}

void validateOffer(SysObjAdaptorSFun& s, int32_t port, const InputSpec& in) {
    const char* phase = "propagate";
    std::string where = portName(true, port) + ": ";
    if (in.dims.empty()) hostError(s, phase, where + "no dimensions offered");
    for (int32_t d : in.dims)
        if (d < 0) hostError(s, phase, where + "invalid dimensions " + detail::dimsText(in.dims));
    if (product(in.dims) > INT32_MAX)
        hostError(s, phase, where + "dimensions " + detail::dimsText(in.dims) + " too large");
    if (in.dataType != DYNAMICALLY_TYPED && !types::isKnown(in.dataType))
        hostError(s, phase, where + "unknown data type id " + std::to_string(in.dataType));
    if (in.complexSignal != 0 && in.complexSignal != 1)
        hostError(s, phase, where + "complexity must be 0 or 1");
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
        hostError(s, phase,
                  portName(true, port) + ": dimensions " + detail::dimsText(dims) +
                      " were offered, but the block left them unset");
    if (!sameDims(p.dims, dims))
        hostError(s, phase,
                  portName(true, port) + ": dimensions " + detail::dimsText(dims) +
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
    if (s.plugin->mdlSetInputPortFrameData)
        DRAVO_INVOKE(s, phase, kProp, mdlSetInputPortFrameData, port, frame);
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
            if (x < 0)
                hostError(s, phase, portName(false, port) + ": invalid dimensions " + detail::dimsText(d));
        DimsInfo_tag di{static_cast<int32_t>(product(d)), static_cast<int32_t>(d.size()), d.data(), nullptr};
        if (s.plugin->mdlSetOutputPortDimensionInfo) {
            DRAVO_INVOKE(s, phase, kProp, mdlSetOutputPortDimensionInfo, port, &di);
        } else if (!p.dimsKnown()) {
            sysobj::ssSetOutputPortDimensionInfo(&s, port, &di);
            checkStatus(s, phase);
        }
        if (!p.dimsKnown() || !sameDims(p.dims, *r.dims))
            hostError(s, phase,
                      portName(false, port) + ": dimensions " + detail::dimsText(*r.dims) +
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
            hostError(s, phase,
                      portName(true, port) + ": dimensions " + detail::dimsText(in.dims) +
                          " were offered, but the block changed them to " + detail::dimsText(p.dims));
        requireAgreement(s, phase, true, port, "dimensions mode", in.dimsMode, p.dimsMode);
        requireAgreement(s, phase, true, port, "frame data", in.frameData, p.frameData);
        requireAgreement(s, phase, true, port, "complexity", in.complexSignal, p.complexSignal);
        if (in.dataType != DYNAMICALLY_TYPED)
            requireTypeAgreement(s, phase, true, port, in.dataType, p.dataType);
    }
    for (size_t k = 0; k < outputs.size(); ++k) {
        const OutputRequest& r = outputs[k];
        const Port& p = s.outputs[k];
        const int32_t port = static_cast<int32_t>(k);
        if (r.dims && (!p.dimsKnown() || !sameDims(p.dims, *r.dims)))
            hostError(s, phase,
                      portName(false, port) + ": dimensions " + detail::dimsText(*r.dims) +
                          " were requested, but the block changed them to " + detail::dimsText(p.dims));
        if (r.complexSignal)
            requireAgreement(s, phase, false, port, "complexity", *r.complexSignal, p.complexSignal);
        if (r.dataType) requireTypeAgreement(s, phase, false, port, *r.dataType, p.dataType);
    }
}

// Refuses to go on while any port attribute is unset, naming every such port and attribute.
void requireResolved(SysObjAdaptorSFun& s) {
    std::string missing;
    auto note = [&](bool input, size_t k, const char* what) {
        missing +=
            (missing.empty() ? "" : "; ") + portName(input, static_cast<int32_t>(k)) + ": " + what + " unset";
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
        hostError(s, phase,
                  "propagation needs an initialized block (it is " + detail::stageName(s.stage) + ")");
    if (inputs.size() > s.inputs.size())
        hostError(s, phase,
                  std::to_string(inputs.size()) + " inputs offered, but the block has " +
                      std::to_string(s.inputs.size()) + " input port" + (s.inputs.size() == 1 ? "" : "s"));
    if (outputs.size() > s.outputs.size())
        hostError(s, phase,
                  std::to_string(outputs.size()) + " output requests, but the block has " +
                      std::to_string(s.outputs.size()) + " output port" + (s.outputs.size() == 1 ? "" : "s"));
    for (size_t k = 0; k < inputs.size(); ++k)
        validateOffer(s, static_cast<int32_t>(k), inputs[k]);

    try {
        s.stage = Stage::Propagating;
        for (size_t k = 0; k < s.inputs.size(); ++k)
            s.inputs[k].connected = k < inputs.size() ? 1 : 0;
        const int32_t n = static_cast<int32_t>(inputs.size());
        if (s.plugin->mdlSetInputPortNumberOfDimensions)
            for (int32_t k = 0; k < n; ++k)
                DRAVO_INVOKE(s, phase, kProp, mdlSetInputPortNumberOfDimensions, k,
                             static_cast<int32_t>(inputs[static_cast<size_t>(k)].dims.size()));
        for (int32_t k = 0; k < n; ++k)
            offerInputDims(s, k, inputs[static_cast<size_t>(k)].dims);
        for (int32_t k = 0; k < n; ++k)
            offerDimsMode(s, k, inputs[static_cast<size_t>(k)].dimsMode);
        for (int32_t k = 0; k < n; ++k)
            offerFrameData(s, k, inputs[static_cast<size_t>(k)].frameData);
        for (int32_t k = 0; k < n; ++k)
            offerComplexity(s, k, inputs[static_cast<size_t>(k)].complexSignal);
        for (int32_t k = 0; k < n; ++k)
            if (inputs[static_cast<size_t>(k)].dataType != DYNAMICALLY_TYPED)
                offerDataType(s, k, inputs[static_cast<size_t>(k)].dataType);
        for (size_t k = 0; k < outputs.size(); ++k)
            requestOutput(s, static_cast<int32_t>(k), outputs[k]);
        applyDefaults(s);
        requireResolved(s);
        requireOffersHeld(s, inputs, outputs);
        s.stage = Stage::Propagated;
    } catch (...) {
        s.stage = Stage::Failed;
        throw;
    }
}

}  // namespace dravo::host
