#include "cg/sil.h"

#include <cmath>
#include <cstring>
#include <sstream>

#include "cg/emit_c.h"
#include "cg/host_bridge.h"

namespace TarnCG {

std::string SilResult::verdict() const {
    if (!ran) return "error: " + error;
    if (identical) return "identical: generated code and simulation agree bit for bit";
    std::ostringstream os;
    os << "different: ";
    if (steps > 1) os << "step " << step << " ";
    os << "output " << port;
    if (element < 0)
        os << " sizes differ (" << detail << ")";
    else
        os << " element " << element << " (" << detail << ")";
    return os.str();
}

bool generateForBlock(dravo::host::Block& block, CGHandle& handle, std::string* error) {
    const std::string& name = handle.unit().desc.name;
    try {
        block.generateCode(&handle);
    } catch (const dravo::host::BlockError& e) {
        if (error) *error = "block '" + name + "': " + e.text();
        return false;
    }
    if (handle.diagnostics().failed()) {
        if (error) *error = "block '" + name + "': " + handle.diagnostics().error().message();
        return false;
    }
    if (!handle.constructed()) {
        if (error) *error = "block '" + name + "': the block generated no code";
        return false;
    }
    return true;
}

namespace {

std::string elementText(const CG::Type& t, const uint8_t* p) {
    std::ostringstream os;
    CG::Type b = t.isComplex() ? t.elem() : t;
    size_t sz = CG::storageBytes(b);
    auto one = [&](const uint8_t* q) {
        if (b.kind() == CG::TypeKind::Double || b.isScaledDouble()) {
            double v;
            std::memcpy(&v, q, 8);
            os.precision(17);
            os << v;
        } else if (b.kind() == CG::TypeKind::Single) {
            float v;
            std::memcpy(&v, q, 4);
            os.precision(9);
            os << v;
        } else {
            int64_t v = 0;
            uint64_t u = 0;
            std::memcpy(&u, q, sz);
            if (b.isSigned() && sz < 8 && (u >> (sz * 8 - 1)) & 1) u |= ~((uint64_t(1) << (sz * 8)) - 1);
            v = static_cast<int64_t>(u);
            if (b.isSigned())
                os << v;
            else
                os << u;
        }
    };
    one(p);
    if (t.isComplex()) {
        os << (" + i*");
        one(p + sz);
    }
    return os.str();
}

// Bit-equal elements agree; so do two NaNs of the same sign whatever their payloads (which C does not
// pin down), in either part of a complex element.
bool sameElement(const CG::Type& t, const uint8_t* a, const uint8_t* b, size_t bytes) {
    if (std::memcmp(a, b, bytes) == 0) return true;
    CG::Type base = t.isComplex() ? t.elem() : t;
    bool isDouble = base.kind() == CG::TypeKind::Double || base.isScaledDouble();
    bool isSingle = base.kind() == CG::TypeKind::Single;
    if (!isDouble && !isSingle) return false;
    size_t part = isDouble ? 8 : 4;
    for (size_t off = 0; off + part <= bytes; off += part) {
        if (std::memcmp(a + off, b + off, part) == 0) continue;
        bool nanA, nanB, signA, signB;
        if (isDouble) {
            double x, y;
            std::memcpy(&x, a + off, 8);
            std::memcpy(&y, b + off, 8);
            nanA = std::isnan(x), nanB = std::isnan(y), signA = std::signbit(x), signB = std::signbit(y);
        } else {
            float x, y;
            std::memcpy(&x, a + off, 4);
            std::memcpy(&y, b + off, 4);
            nanA = std::isnan(x), nanB = std::isnan(y), signA = std::signbit(x), signB = std::signbit(y);
        }
        if (!(nanA && nanB && signA == signB)) return false;
    }
    return true;
}

}  // namespace

SilResult runSil(dravo::host::Block& block, const std::string& instanceName, const std::string& blockType,
                 const std::vector<CG::HarnessInput>& inputs, const CG::HarnessOptions& options) {
    SilStep step;
    step.inputs = inputs;
    return runSilSteps(block, instanceName, blockType, {step}, options);
}

SilResult runSilSteps(dravo::host::Block& block, const std::string& instanceName,
                      const std::string& blockType, const std::vector<SilStep>& steps,
                      const CG::HarnessOptions& options) {
    SilResult res;
    res.steps = static_cast<int32_t>(steps.size());
    if (steps.empty()) {
        res.error = "no step to run";
        return res;
    }
    std::unique_ptr<CGHandle> h = makeHandle(block, instanceName, blockType);
    if (!generateForBlock(block, *h, &res.error)) return res;
    if (CG::findCCompiler(options.compiler).empty()) {
        res.compilerMissing = true;
        res.error = "no C compiler found (set CC or install cc)";
        return res;
    }
    const CG::BlockDesc& d = h->unit().desc;
    std::vector<CG::ParamMember> members = CG::parameterStruct(d);

    // The simulation first: its parameter processing gives the values the generated code is handed.
    std::vector<CG::HarnessStep> genSteps(steps.size());
    std::vector<std::vector<std::vector<uint8_t>>> simOut(steps.size());
    std::vector<std::vector<std::vector<int32_t>>> simDims(steps.size());
    std::vector<std::vector<uint8_t>> current;
    for (auto& m : members)
        current.push_back(d.rtps[m.rtpIndex].bytes);
    try {
        for (size_t k = 0; k < steps.size(); ++k) {
            genSteps[k].inputs = steps[k].inputs;
            if (!steps[k].paramChanges.empty()) {
                for (auto& [index, value] : steps[k].paramChanges)
                    block.changeParameter(index, value);
                std::vector<dravo::host::RtpInfo> rtps = block.runTimeParams();
                for (size_t m = 0; m < members.size(); ++m) {
                    size_t i = static_cast<size_t>(members[m].rtpIndex);
                    if (i >= rtps.size() || rtps[i].bytes.size() != members[m].bytes) {
                        res.error = "block '" + instanceName + "': tunable parameter \"" + d.rtps[i].name +
                                    "\" changed its size at step " + std::to_string(k) +
                                    ", which generated code cannot follow";
                        return res;
                    }
                    if (rtps[i].bytes != current[m]) {
                        current[m] = rtps[i].bytes;
                        genSteps[k].params[members[m].rtpIndex] = current[m];
                    }
                }
            }
            for (size_t i = 0; i < steps[k].inputs.size(); ++i)
                block.setInput(static_cast<int32_t>(i), steps[k].inputs[i].bytes.data(),
                               steps[k].inputs[i].bytes.size(), steps[k].inputs[i].dims);
            block.step();
            for (int32_t p = 0; p < block.numOutputPorts(); ++p) {
                const uint8_t* sim = static_cast<const uint8_t*>(block.output(p));
                simOut[k].emplace_back(sim, sim + block.currentOutputBytes(p));
                simDims[k].push_back(block.currentOutputDims(p));
            }
        }
    } catch (const dravo::host::BlockError& e) {
        res.error = "simulation: " + e.text();
        return res;
    }

    CG::HarnessResult gen = CG::buildAndRunSteps(h->unit(), genSteps, options);
    if (!gen.ok) {
        res.compilerMissing = gen.compilerMissing;
        // Emission failures come back already naming the block.
        const std::string prefix = "block '" + instanceName + "': ";
        res.error = gen.error.rfind(prefix, 0) == 0 ? gen.error : prefix + gen.error;
        return res;
    }
    res.generatedSecondsPerStep = gen.secondsPerStep;
    res.ran = true;
    res.identical = true;
    for (size_t k = 0; k < steps.size(); ++k) {
        for (size_t p = 0; p < simOut[k].size(); ++p) {
            const std::vector<uint8_t>& sim = simOut[k][p];
            const CG::HarnessOutput& g = gen.stepOutputs[k][p];
            bool varSize = d.outputs[p].variableSize;
            res.step = static_cast<int32_t>(k);
            res.port = static_cast<int32_t>(p);
            if (g.bytes.size() != sim.size() || (varSize && simDims[k][p] != g.dims)) {
                res.identical = false;
                res.detail = "simulation " + std::to_string(sim.size()) + " bytes, generated " +
                             std::to_string(g.bytes.size());
                return res;
            }
            size_t es = CG::storageBytes(d.outputs[p].elemType);
            for (size_t off = 0; off < sim.size(); off += es) {
                if (!sameElement(d.outputs[p].elemType, sim.data() + off, g.bytes.data() + off, es)) {
                    res.identical = false;
                    res.element = static_cast<int64_t>(off / es);
                    res.detail = "simulation " + elementText(d.outputs[p].elemType, sim.data() + off) +
                                 ", generated " + elementText(d.outputs[p].elemType, g.bytes.data() + off);
                    return res;
                }
            }
        }
    }
    res.step = -1;
    res.port = -1;
    return res;
}

}  // namespace TarnCG
