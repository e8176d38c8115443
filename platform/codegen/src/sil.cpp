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
    os << "different: output " << port;
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
    SilResult res;
    std::unique_ptr<CGHandle> h = makeHandle(block, instanceName, blockType);
    if (!generateForBlock(block, *h, &res.error)) return res;
    if (CG::findCCompiler(options.compiler).empty()) {
        res.compilerMissing = true;
        res.error = "no C compiler found (set CC or install cc)";
        return res;
    }
    CG::HarnessResult gen = CG::buildAndRun(h->unit(), inputs, options);
    if (!gen.ok) {
        res.compilerMissing = gen.compilerMissing;
        res.error = "block '" + instanceName + "': " + gen.error;
        return res;
    }
    res.generatedSecondsPerStep = gen.secondsPerStep;
    try {
        for (size_t i = 0; i < inputs.size(); ++i)
            block.setInput(static_cast<int32_t>(i), inputs[i].bytes.data(), inputs[i].bytes.size(),
                           inputs[i].dims);
        block.step();
    } catch (const dravo::host::BlockError& e) {
        res.error = "simulation: " + e.text();
        return res;
    }
    res.ran = true;
    res.identical = true;
    const CG::BlockDesc& d = h->unit().desc;
    for (int32_t p = 0; p < block.numOutputPorts(); ++p) {
        size_t n = block.currentOutputBytes(p);
        const uint8_t* sim = static_cast<const uint8_t*>(block.output(p));
        const CG::HarnessOutput& g = gen.outputs[p];
        bool varSize = d.outputs[p].variableSize;
        std::vector<int32_t> simDims = block.currentOutputDims(p);
        if (g.bytes.size() != n || (varSize && simDims != g.dims)) {
            res.identical = false;
            res.port = p;
            res.detail =
                "simulation " + std::to_string(n) + " bytes, generated " + std::to_string(g.bytes.size());
            return res;
        }
        size_t es = CG::storageBytes(d.outputs[p].elemType);
        for (size_t off = 0; off < n; off += es) {
            if (!sameElement(d.outputs[p].elemType, sim + off, g.bytes.data() + off, es)) {
                res.identical = false;
                res.port = p;
                res.element = static_cast<int64_t>(off / es);
                res.detail = "simulation " + elementText(d.outputs[p].elemType, sim + off) + ", generated " +
                             elementText(d.outputs[p].elemType, g.bytes.data() + off);
                return res;
            }
        }
    }
    return res;
}

}  // namespace TarnCG
