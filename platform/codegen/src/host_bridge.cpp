#include "cg/host_bridge.h"

#include "dravo/host/types.h"

namespace TarnCG {

CG::Type typeFromHostId(int32_t id) {
    CG::Type t = CG::builtinTypeFromId(id);
    if (t) return t;
    if (!dravo::types::isKnown(id)) return CG::Type();
    const auto& info = dravo::types::info(id);
    using K = dravo::types::Kind;
    if (info.kind == K::FixedPoint) return CG::Type::fixedT(info.isSigned, info.wordLength, -info.fracLength);
    if (info.kind == K::ScaledDouble)
        return CG::Type::fixedT(info.isSigned, info.wordLength, -info.fracLength, true);
    return CG::Type();
}

CG::DataTypeResolver hostTypeResolver() {
    return [](int32_t id) { return typeFromHostId(id); };
}

namespace {

CG::Type elemType(int32_t id, int32_t complexSignal) {
    CG::Type t = typeFromHostId(id);
    if (t && complexSignal == 1) t = CG::Type::complexT(t);
    return t;
}

CG::SignalDesc signal(const dravo::host::PortInfo& p) {
    CG::SignalDesc s;
    s.elemType = elemType(p.dataType, p.complexSignal);
    s.dims = p.dims;
    s.width = p.width;
    s.variableSize = p.dimsMode == 1;
    s.dataTypeId = p.dataType;
    return s;
}

int32_t product(const std::vector<int32_t>& d) {
    int64_t n = 1;
    for (int32_t x : d)
        n *= x;
    return static_cast<int32_t>(n);
}

}  // namespace

CG::BlockDesc describeBlock(dravo::host::Block& block, const std::string& instanceName,
                            const std::string& blockType) {
    CG::BlockDesc d;
    d.name = instanceName;
    d.blockType = blockType;
    for (int32_t i = 0; i < block.numInputPorts(); ++i)
        d.inputs.push_back(signal(block.inputPort(i)));
    for (int32_t i = 0; i < block.numOutputPorts(); ++i)
        d.outputs.push_back(signal(block.outputPort(i)));
    for (const auto& w : block.dworks()) {
        CG::DataDesc x;
        x.name = w.name;
        x.elemType = elemType(w.dataType, w.complexSignal);
        x.width = w.width;
        x.dims = {w.width};
        x.dataTypeId = w.dataType;
        d.dworks.push_back(std::move(x));
    }
    for (const auto& r : block.runTimeParams()) {
        CG::DataDesc x;
        x.name = r.name;
        x.elemType = elemType(r.dataType, r.complexSignal);
        x.dims = r.dims;
        x.width = product(r.dims);
        x.bytes = r.bytes;
        x.tunable = r.dlgParamIndex >= 0 && block.isParamTunable(r.dlgParamIndex);
        x.dataTypeId = r.dataType;
        d.rtps.push_back(std::move(x));
    }
    return d;
}

std::unique_ptr<CGHandle> makeHandle(dravo::host::Block& block, const std::string& instanceName,
                                     const std::string& blockType, std::shared_ptr<CG::Pool> pool) {
    auto h = std::make_unique<CGHandle>(describeBlock(block, instanceName, blockType), std::move(pool),
                                        hostTypeResolver());
    h->setBlockHandle(block.handle());
    return h;
}

}  // namespace TarnCG
