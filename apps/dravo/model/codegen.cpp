// The model unit: the blocks' units called in dependency order, connection buffers as static storage;
// and the check that the compiled model computes what the simulation computes, bit for bit.
#include "codegen.h"

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>

#include "cg/diagnostics.h"
#include "cg/harness.h"
#include "cg/host_bridge.h"
#include "cg/sil.h"
#include "cg/tarncg.h"

namespace dravo::model {
namespace fs = std::filesystem;
using namespace cli::msg;

namespace {

struct UnitInfo {
    const Node* node = nullptr;
    std::string id;  // the unit's C identifier
    std::unique_ptr<TarnCG::CGHandle> handle;
    const CG::BlockDesc& desc() const { return handle->unit().desc; }
};

std::string portName(const char* prefix, const PortRef& p) {
    return std::string(prefix) + CG::cIdentifier(p.instance) + "_" + std::to_string(p.port);
}

const ModelOutput* modelOutput(const Model& m, const PortRef& p) {
    for (const auto& o : m.outputs)
        if (o.port == p) return &o;
    return nullptr;
}

const UnitInfo& unitOf(const std::vector<UnitInfo>& units, const std::string& inst) {
    for (const auto& u : units)
        if (u.node->name == inst) return u;
    throw std::out_of_range(inst);
}

std::string join(const std::vector<std::string>& v) {
    std::string s;
    for (size_t i = 0; i < v.size(); ++i)
        s += (i ? ", " : "") + v[i];
    return s;
}

// The tunable parameter structure of one unit as the simulation holds it after a step's changes: every
// member's bytes, in member order (the generated code copies them in whole).
struct ParamsAt {
    std::string instance;
    int step = 0;
    std::vector<uint8_t> bytes;
};

// Reads the block's tunable run-time parameters after its changes for `step` were applied. A parameter
// whose size changed cannot be followed by storage fixed at generation time.
ParamsAt paramsAt(const Model& m, const UnitInfo& u, int step) {
    ParamsAt p{u.node->name, step, {}};
    std::vector<host::RtpInfo> rtps = u.node->block->runTimeParams();
    for (const CG::ParamMember& member : CG::parameterStruct(u.desc())) {
        const auto i = static_cast<size_t>(member.rtpIndex);
        if (i >= rtps.size() || rtps[i].bytes.size() != member.bytes)
            throw UsageError(
                kUsage, m.where(u.node->name, "/blocks/" + u.node->name + "/changes/" + std::to_string(step),
                                "tunable parameter \"" + u.desc().rtps[i].name +
                                    "\" changes its size, which generated code cannot follow"));
        p.bytes.insert(p.bytes.end(), rtps[i].bytes.begin(), rtps[i].bytes.end());
    }
    return p;
}

bool hasChangesAt(const Node& node, int step) {
    auto it = node.plan.changes.find(step);
    return it != node.plan.changes.end() && !it->second.empty();
}

std::string stepSignature(const Model& m, const std::vector<UnitInfo>& units) {
    std::vector<std::string> params;
    for (const auto& in : m.inputs) {
        const CG::SignalDesc& s =
            unitOf(units, in.port.instance).desc().inputs.at(static_cast<size_t>(in.port.port));
        params.push_back("const " + CG::cTypeName(s.elemType) + "* " + portName("in_", in.port));
        if (s.variableSize) params.push_back("const int32_t* " + portName("in_", in.port) + "_dims");
    }
    for (const auto& out : m.outputs) {
        const CG::SignalDesc& s =
            unitOf(units, out.port.instance).desc().outputs.at(static_cast<size_t>(out.port.port));
        params.push_back(CG::cTypeName(s.elemType) + "* " + portName("out_", out.port));
        if (s.variableSize) params.push_back("int32_t* " + portName("out_", out.port) + "_dims");
    }
    return "void model_step(" + (params.empty() ? std::string("void") : join(params)) + ")";
}

std::vector<CG::EmittedFile> modelUnit(const Model& m, const std::vector<UnitInfo>& units,
                                       const std::vector<ParamsAt>& changes) {
    const std::string signature = stepSignature(m, units);
    std::string h = "/* Generated code for a model of " + std::to_string(units.size()) + " blocks. */\n";
    h += "#ifndef DRAVO_MODEL_H\n#define DRAVO_MODEL_H\n\n#include <stdint.h>\n\n#include \"dravo_rt.h\"\n\n";
    h += "void model_initialize(void);\n";
    h += "/* The model file's parameter changes for that step (from 1); call before model_step. */\n";
    h += "void model_apply_changes(int32_t step);\n";
    h += signature + ";\nvoid model_terminate(void);\n\n#endif\n";

    std::string c =
        "/* Generated code for a model: its blocks in dependency order. */\n#include \"model.h\"\n\n"
        "#include <string.h>\n\n";
    for (const auto& u : units)
        c += "#include \"" + u.id + ".h\"\n";
    // An output the caller does not take is a connection's storage (or unused); one the caller takes is
    // written in place, and blocks downstream read it there.
    auto bufferOf = [&](const PortRef& p) {
        return modelOutput(m, p) ? portName("out_", p) : portName("buf_", p);
    };
    c += "\n";
    for (const auto& u : units)
        for (size_t k = 0; k < u.desc().outputs.size(); ++k) {
            PortRef p{u.node->name, static_cast<int>(k)};
            if (modelOutput(m, p)) continue;
            const CG::SignalDesc& s = u.desc().outputs[k];
            c += "static " + CG::cTypeName(s.elemType) + " " + portName("buf_", p) + "[" +
                 std::to_string(std::max(s.width, 1)) + "];\n";
            if (s.variableSize)
                c += "static int32_t " + portName("buf_", p) + "_dims[" + std::to_string(s.dims.size()) +
                     "];\n";
        }
    // A unit with changes reads its parameters from a copy of its defaults, overwritten whole at each
    // change step with what the simulation holds then (bytes, so every value is exact).
    std::set<std::string> changing;
    for (const auto& p : changes)
        changing.insert(p.instance);
    for (const auto& u : units) {
        if (!changing.count(u.node->name)) continue;
        c += "static " + CG::paramStructType(u.handle->unit()) + " params_" + u.id + ";\n";
    }
    for (const auto& p : changes) {
        const std::string id = CG::cIdentifier(p.instance);
        c += "static const unsigned char params_" + id + "_" + std::to_string(p.step) + "[" +
             std::to_string(std::max<size_t>(p.bytes.size(), 1)) + "] = {";
        for (size_t i = 0; i < p.bytes.size(); ++i)
            c += (i ? (i % 16 ? ", " : ",\n    ") : "") + std::to_string(p.bytes[i]);
        c += p.bytes.empty() ? "0};\n" : "};\n";
    }
    c += "\nvoid model_initialize(void)\n{\n";
    for (const auto& u : units) {
        if (changing.count(u.node->name)) {
            c += "    params_" + u.id + " = " + CG::paramDefaultName(u.handle->unit()) + ";\n";
            c += "    " + CG::paramSetterName(u.handle->unit()) + "(&params_" + u.id + ");\n";
        }
        c += "    " + u.id + "_start();\n";
    }
    c += "}\n\nvoid model_apply_changes(int32_t step)\n{\n";
    std::map<int, std::vector<const ParamsAt*>> byStep;
    for (const auto& p : changes)
        byStep[p.step].push_back(&p);
    if (byStep.empty()) c += "    (void)step;\n";
    for (const auto& [step, list] : byStep) {
        c += "    if (step == " + std::to_string(step) + ") {\n";
        for (const ParamsAt* p : list) {
            // Member by member: the structure may hold padding the bytes do not.
            const std::string id = CG::cIdentifier(p->instance),
                              from = "params_" + id + "_" + std::to_string(step);
            size_t offset = 0;
            for (const CG::ParamMember& member : CG::parameterStruct(unitOf(units, p->instance).desc())) {
                c += "        memcpy(params_" + id + "." + member.member + ", " + from + " + " +
                     std::to_string(offset) + ", " + std::to_string(member.bytes) + ");\n";
                offset += member.bytes;
            }
        }
        c += "    }\n";
    }
    c += "}\n\n" + signature + "\n{\n";
    for (const auto& u : units) {
        std::vector<std::string> args;
        for (size_t k = 0; k < u.desc().inputs.size(); ++k) {
            const auto& src = u.node->sources[k];
            std::string name =
                src ? bufferOf(*src) : portName("in_", PortRef{u.node->name, static_cast<int>(k)});
            args.push_back(name);
            if (u.desc().inputs[k].variableSize) args.push_back(name + "_dims");
        }
        for (size_t k = 0; k < u.desc().outputs.size(); ++k) {
            const CG::SignalDesc& s = u.desc().outputs[k];
            std::string name = bufferOf(PortRef{u.node->name, static_cast<int>(k)});
            args.push_back(name);
            if (!s.variableSize) continue;
            args.push_back(name + "_dims");
            // The step is handed the largest sizes and leaves the current ones.
            for (size_t d = 0; d < s.dims.size(); ++d)
                c +=
                    "    " + name + "_dims[" + std::to_string(d) + "] = " + std::to_string(s.dims[d]) + ";\n";
        }
        c += "    " + u.id + "_step(" + join(args) + ");\n";
    }
    c += "}\n\nvoid model_terminate(void)\n{\n";
    for (auto it = units.rbegin(); it != units.rend(); ++it)
        c += "    " + it->id + "_terminate();\n";
    c += "}\n";
    return {{"model.h", h}, {"model.c", c}};
}

// Every block's unit from one shared pool of utilities, named after its instance.
std::vector<UnitInfo> generateUnits(const Model& m, BuiltModel& built) {
    std::set<std::string> taken = {"model", "main", CG::commonUnitName(), "dravo_rt", "dravo_rt_wide"};
    auto pool = std::make_shared<CG::Pool>();
    std::vector<UnitInfo> units;
    for (Node& node : built.nodes) {
        UnitInfo u;
        u.node = &node;
        u.id = CG::cIdentifier(node.name);
        if (!taken.insert(u.id).second)
            throw UsageError(kUsage, m.where(node.name, "/blocks/" + node.name,
                                             "its C name '" + u.id +
                                                 "' is taken by another instance or a file of the model's "
                                                 "code; rename the instance"));
        u.handle = TarnCG::makeHandle(*node.block, u.id, node.plan.block.displayName, pool);
        std::string error;
        if (!TarnCG::generateForBlock(*node.block, *u.handle, &error))
            throw ToolError("", m.where(node.name, "/blocks/" + node.name, error));
        units.push_back(std::move(u));
    }
    return units;
}

std::vector<CG::EmittedFile> emitAll(const Model& m, const std::vector<UnitInfo>& units,
                                     const std::vector<ParamsAt>& changes) {
    std::vector<CG::EmittedFile> files;
    CG::Diagnostics diag;
    {
        CG::DiagnosticsScope scope(diag);
        for (const auto& u : units) {
            auto f = CG::emitUnit(u.handle->unit());
            if (diag.failed())
                throw ToolError("", m.where(u.node->name, "/blocks/" + u.node->name, diag.error().message()));
            for (auto& x : f)
                if (std::none_of(files.begin(), files.end(), [&](const auto& y) { return y.name == x.name; }))
                    files.push_back(std::move(x));
        }
        if (!units.empty()) {
            auto common = CG::emitCommon(*units.front().handle->unit().pool);
            files.insert(files.end(), common.begin(), common.end());
        }
    }
    if (diag.failed()) throw ToolError("", m.where("", "", diag.error().message()));
    auto model = modelUnit(m, units, changes);
    files.insert(files.end(), model.begin(), model.end());
    return files;
}

// The .npy element of a port's C type, as main.c reads and writes it; empty when there is none.
std::string npyDescr(const std::string& cType) {
    static const std::map<std::string, std::string> kDescr = {
        {"double", "<f8"},  {"float", "<f4"},    {"int8_t", "|i1"},  {"uint8_t", "|u1"},
        {"int16_t", "<i2"}, {"uint16_t", "<u2"}, {"int32_t", "<i4"}, {"uint32_t", "<u4"},
        {"int64_t", "<i8"}, {"uint64_t", "<u8"}, {"bool", "|b1"},    {"boolean_T", "|b1"}};
    auto it = kDescr.find(cType);
    return it == kDescr.end() ? std::string() : it->second;
}

// The .npy reader and writer of main.c: any version's header, C or Fortran order in, Fortran order out,
// so the step sees column-major elements either way. Little-endian files on a little-endian machine.
const char* kNpyHelpers = R"(static void fail(const char* what, const char* path)
{
    fprintf(stderr, "%s: %s\n", path, what);
    exit(3);
}

/* Reads a .npy of the given element into dst (at most `most` elements), column-major; the sizes go to
   dims (rows first, ndims of them; a missing trailing size is 1). */
static void readNpy(const char* path, const char* descr, void* dst, size_t elem, size_t most, int32_t* dims,
                    int ndims)
{
    unsigned char pre[12];
    char header[4096];
    size_t len, n = 1, k, i;
    long shape[8];
    int nd = 0, fortran, d;
    const char* p;
    unsigned char* data;
    FILE* f = fopen(path, "rb");
    if (!f || fread(pre, 1, 10, f) != 10 || memcmp(pre, "\x93NUMPY", 6) != 0) fail("not a .npy file", path);
    len = (size_t)pre[8] | ((size_t)pre[9] << 8);
    if (pre[6] >= 2) {
        if (fread(pre + 10, 1, 2, f) != 2) fail("truncated", path);
        len |= ((size_t)pre[10] << 16) | ((size_t)pre[11] << 24);
    }
    if (len >= sizeof header || fread(header, 1, len, f) != len) fail("header too long", path);
    header[len] = '\0';
    p = strstr(header, "'descr':");
    if (!p || !strstr(p, descr)) fail("not of the element the model takes", path);
    fortran = strstr(header, "'fortran_order': True") != NULL;
    p = strstr(header, "'shape':");
    if (!p || !(p = strchr(p, '('))) fail("no shape", path);
    for (p++; *p && *p != ')' && nd < 8;) {
        char* end;
        long v = strtol(p, &end, 10);
        if (end == p) break;
        shape[nd++] = v;
        n *= (size_t)v;
        p = end;
        while (*p == ',' || *p == ' ') p++;
    }
    if (nd > ndims) fail("more dimensions than the port has", path);
    for (d = 0; d < ndims; d++) dims[d] = d < nd ? (int32_t)shape[d] : 1;
    if (nd == 0) n = 1;
    if (n > most) fail("larger than the port", path);
    data = (unsigned char*)malloc(n * elem + 1);
    if (!data || fread(data, elem, n, f) != n) fail("truncated", path);
    fclose(f);
    if (fortran || nd < 2) {
        memcpy(dst, data, n * elem);
    } else {
        /* Element k in column-major order sits at the row-major offset of the same subscripts. */
        for (k = 0; k < n; k++) {
            size_t rest = k, off = 0, sub[8];
            for (d = 0; d < nd; d++) { sub[d] = rest % (size_t)shape[d]; rest /= (size_t)shape[d]; }
            for (d = 0; d < nd; d++) off = off * (size_t)shape[d] + sub[d];
            for (i = 0; i < elem; i++) ((unsigned char*)dst)[k * elem + i] = data[off * elem + i];
        }
    }
    free(data);
}

/* Writes column-major elements as a Fortran-order .npy (version 1, header padded to 64 bytes). */
static void writeNpy(const char* path, const char* descr, const void* src, size_t elem, const int32_t* dims,
                     int ndims)
{
    char header[512];
    char shape[256] = "";
    size_t n = 1, len;
    int d;
    unsigned char pre[10] = {0x93, 'N', 'U', 'M', 'P', 'Y', 1, 0, 0, 0};
    FILE* f;
    for (d = 0; d < ndims; d++) {
        char part[32];
        sprintf(part, "%s%ld", d ? ", " : "", (long)dims[d]);
        strcat(shape, part);
        n *= (size_t)dims[d];
    }
    if (ndims == 1) strcat(shape, ",");
    sprintf(header, "{'descr': '%s', 'fortran_order': True, 'shape': (%s), }", descr, shape);
    len = strlen(header);
    while ((10 + len + 1) % 64) header[len++] = ' ';
    header[len++] = '\n';
    pre[8] = (unsigned char)(len & 0xff);
    pre[9] = (unsigned char)(len >> 8);
    f = fopen(path, "wb");
    if (!f || fwrite(pre, 1, 10, f) != 10 || fwrite(header, 1, len, f) != len ||
        fwrite(src, elem, n, f) != n)
        fail("cannot write", path);
    fclose(f);
}

)";

std::string mainProgram(const Model& m, const std::vector<UnitInfo>& units) {
    std::string s =
        "/* Runs model_step over .npy files: prog STEPS, then per step one file for each model input and "
        "one\n"
        "   for each model output, in the order of the model file. */\n"
        "#include <stdio.h>\n#include <stdlib.h>\n#include <string.h>\n\n#include \"model.h\"\n\n";
    s += kNpyHelpers;
    std::vector<std::string> decls, args, reads, writes;
    int perStep = 0;
    auto check = [&](const std::string& inst, const std::string& ct, const std::string& field) {
        if (npyDescr(ct).empty())
            throw UsageError(
                kUnsupportedOutput,
                m.where(inst, field,
                        "the model's driver reads and writes real built-in elements only, not " + ct));
    };
    for (const auto& in : m.inputs) {
        const CG::SignalDesc& sd =
            unitOf(units, in.port.instance).desc().inputs.at(static_cast<size_t>(in.port.port));
        std::string n = portName("in_", in.port), ct = CG::cTypeName(sd.elemType),
                    w = std::to_string(std::max(sd.width, 1)),
                    nd = std::to_string(std::max<size_t>(sd.dims.size(), 1));
        check(in.port.instance, ct, "/inputs/" + in.port.text());
        decls.push_back("static " + ct + " " + n + "[" + w + "];");
        decls.push_back("static int32_t " + n + "_dims[" + nd + "];");
        reads.push_back("readNpy(argv[arg++], \"" + npyDescr(ct) + "\", " + n + ", sizeof " + n + "[0], " +
                        w + ", " + n + "_dims, " + nd + ");");
        // A fixed-size port takes its size exactly; a variable-size one anything up to it.
        for (size_t d = 0; d < sd.dims.size(); ++d)
            reads.push_back("if (" + n + "_dims[" + std::to_string(d) + "] " +
                            (sd.variableSize ? ">" : "!=") + " " + std::to_string(sd.dims[d]) +
                            ") fail(\"not of the size the model takes\", argv[arg - 1]);");
        args.push_back(n);
        if (sd.variableSize) args.push_back(n + "_dims");
        ++perStep;
    }
    for (const auto& out : m.outputs) {
        const CG::SignalDesc& sd =
            unitOf(units, out.port.instance).desc().outputs.at(static_cast<size_t>(out.port.port));
        std::string n = portName("out_", out.port), ct = CG::cTypeName(sd.elemType),
                    w = std::to_string(std::max(sd.width, 1)),
                    nd = std::to_string(std::max<size_t>(sd.dims.size(), 1));
        check(out.port.instance, ct, "/outputs/" + out.port.text());
        decls.push_back("static " + ct + " " + n + "[" + w + "];");
        std::string dims = "{";
        for (size_t d = 0; d < sd.dims.size(); ++d)
            dims += (d ? ", " : "") + std::to_string(sd.dims[d]);
        decls.push_back("static int32_t " + n + "_dims[" + nd +
                        "] = " + (sd.dims.empty() ? "{1}" : dims + "}") + ";");
        args.push_back(n);
        if (sd.variableSize) args.push_back(n + "_dims");
        writes.push_back("writeNpy(argv[arg++], \"" + npyDescr(ct) + "\", " + n + ", sizeof " + n + "[0], " +
                         n + "_dims, " + nd + ");");
        ++perStep;
    }
    for (const auto& d : decls)
        s += d + "\n";
    s += "\nint main(int argc, char** argv)\n{\n    int arg = 2;\n    long steps, st;\n";
    s += "    if (argc < 2) return 2;\n    steps = atol(argv[1]);\n";
    s += "    if (steps < 1 || argc != 2 + steps * " + std::to_string(perStep) +
         ") {\n        fprintf(stderr, \"usage: prog STEPS, then per step " +
         std::to_string(m.inputs.size()) + " input and " + std::to_string(m.outputs.size()) +
         " output .npy files\\n\");\n        return 2;\n    }\n";
    s += "    model_initialize();\n    for (st = 0; st < steps; st++) {\n";
    for (const auto& r : reads)
        s += "        " + r + "\n";
    s += "        model_apply_changes((int32_t)(st + 1));\n";
    s += "        model_step(" + join(args) + ");\n";
    for (const auto& w : writes)
        s += "        " + w + "\n";
    s += "    }\n    model_terminate();\n    return 0;\n}\n";
    return s;
}

std::string shellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::vector<uint8_t> readBytes(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

void writeBytes(const fs::path& p, const void* data, size_t n) {
    std::ofstream f(p, std::ios::binary);
    f.write(static_cast<const char*>(data), static_cast<std::streamsize>(n));
    if (!f) throw ToolError(kUnwritableFile, "cannot write '" + p.string() + "'");
}

// A Fortran-order .npy of column-major elements, as main.c reads it.
std::vector<uint8_t> fortranNpy(const std::string& descr, const std::vector<int32_t>& dims,
                                const std::vector<uint8_t>& data) {
    std::string shape;
    for (size_t d = 0; d < dims.size(); ++d)
        shape += (d ? ", " : "") + std::to_string(dims[d]);
    if (dims.size() == 1) shape += ",";
    std::string header = "{'descr': '" + descr + "', 'fortran_order': True, 'shape': (" + shape + "), }";
    while ((10 + header.size() + 1) % 64)
        header += ' ';
    header += '\n';
    std::string prefix = "\x93NUMPY";
    prefix += '\x01';
    prefix += '\x00';
    prefix += static_cast<char>(header.size() & 0xff);
    prefix += static_cast<char>(header.size() >> 8);
    std::vector<uint8_t> out(prefix.begin(), prefix.end());
    out.insert(out.end(), header.begin(), header.end());
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

// The data of a .npy main.c wrote (version 1, Fortran order), and its shape.
std::vector<uint8_t> fortranNpyData(const std::vector<uint8_t>& file, std::vector<int32_t>& dims) {
    if (file.size() < 10) return {};
    size_t len = file[8] | (static_cast<size_t>(file[9]) << 8);
    if (file.size() < 10 + len) return {};
    std::string header(file.begin() + 10, file.begin() + 10 + static_cast<long>(len));
    size_t at = header.find("'shape': (");
    dims.clear();
    if (at != std::string::npos) {
        std::istringstream in(header.substr(at + 10));
        long v;
        char sep;
        while (in >> v) {
            dims.push_back(static_cast<int32_t>(v));
            if (!(in >> sep) || sep == ')') break;
        }
    }
    return std::vector<uint8_t>(file.begin() + 10 + static_cast<long>(len), file.end());
}

}  // namespace

std::vector<CG::EmittedFile> generateModelCode(const Model& m, BuiltModel& built) {
    std::vector<UnitInfo> units = generateUnits(m, built);
    // The units hold the starting values; each change step's values come from the blocks themselves,
    // given that step's changes in order (nothing is stepped).
    std::vector<ParamsAt> changes;
    for (int step = 1; step <= built.steps; ++step)
        for (const auto& u : units) {
            if (!hasChangesAt(*u.node, step)) continue;
            try {
                for (const auto& [index, value] : u.node->plan.changes.at(step))
                    u.node->block->changeParameter(index, value);
            } catch (const host::BlockError& e) {
                throw ToolError(e.messageClass(),
                                m.where(u.node->name, "/blocks/" + u.node->name + "/changes",
                                        "step " + std::to_string(step) + ": " + e.text()));
            }
            changes.push_back(paramsAt(m, u, step));
        }
    std::vector<CG::EmittedFile> files = emitAll(m, units, changes);
    files.push_back({"main.c", mainProgram(m, units)});
    return files;
}

SilOutcome runModelSil(const Model& m, BuiltModel& built, const std::string& workDir) {
    std::vector<UnitInfo> units = generateUnits(m, built);
    fs::path dir(workDir);
    {
        std::error_code ec;
        fs::create_directories(dir, ec);
        if (ec) throw ToolError(kUnwritableFile, "cannot create folder '" + workDir + "': " + ec.message());
    }

    // The simulation, step by step, on the model's inputs; the same inputs go to the program.
    SilOutcome outcome;
    outcome.steps = built.steps;
    outcome.outputs = static_cast<int>(m.outputs.size());
    std::string run = shellQuote((dir / "prog").string()) + " " + std::to_string(built.steps);
    std::vector<std::vector<cli::Signal>> simulated(static_cast<size_t>(built.steps));
    std::vector<ParamsAt> changes;
    for (int step = 1; step <= built.steps; ++step) {
        std::string tag = "s" + std::to_string(step) + "_";
        for (const auto& in : m.inputs) {
            const Node& node = built.node(in.port.instance);
            const setup::PortPlan& p = node.plan.inputs.at(static_cast<size_t>(in.port.port));
            auto data = p.frameOfStep(step).data();
            const CG::SignalDesc& sd =
                unitOf(units, in.port.instance).desc().inputs.at(static_cast<size_t>(in.port.port));
            fs::path f = dir / (tag + portName("in_", in.port) + ".npy");
            std::vector<uint8_t> npy =
                fortranNpy(npyDescr(CG::cTypeName(sd.elemType)), data->dims, data->bytes);
            writeBytes(f, npy.data(), npy.size());
            run += " " + shellQuote(f.string());
        }
        for (const auto& out : m.outputs)
            run += " " + shellQuote((dir / (tag + portName("out_", out.port) + ".npy")).string());
        stepModel(m, built, step);
        for (const auto& u : units)
            if (hasChangesAt(*u.node, step)) changes.push_back(paramsAt(m, u, step));
        for (const auto& out : m.outputs)
            simulated[static_cast<size_t>(step - 1)].push_back(
                setup::readOutput(*built.node(out.port.instance).block, out.port.port));
    }
    // The code carries the parameters the simulation held at each change step.
    std::vector<CG::EmittedFile> files = emitAll(m, units, changes);
    files.push_back({"main.c", mainProgram(m, units)});
    std::string error;
    if (!CG::writeFilesAtomically(workDir, files, &error)) throw ToolError(kUnwritableFile, error);
    std::string cc = CG::findCCompiler();
    if (cc.empty()) throw ToolError("", "no C compiler found (tried $CC, cc)");
    std::string cmd = shellQuote(cc) + " -std=c99 -Wall -Wextra -Werror -O2 -ffp-contract=off -o " +
                      shellQuote((dir / "prog").string());
    for (const auto& f : files)
        if (f.name.size() > 2 && f.name.substr(f.name.size() - 2) == ".c")
            cmd += " " + shellQuote((dir / f.name).string());
    cmd += " -lm > " + shellQuote((dir / "build.log").string()) + " 2>&1";
    if (std::system(cmd.c_str()) != 0) {
        auto log = readBytes(dir / "build.log");
        std::string first(log.begin(), std::find(log.begin(), log.end(), '\n'));
        throw ToolError("", m.file + ": the model's code does not build: " + first + " (" +
                                (dir / "build.log").string() + ")");
    }
    run += " > " + shellQuote((dir / "run.log").string()) + " 2>&1";
    if (std::system(run.c_str()) != 0) {
        auto log = readBytes(dir / "run.log");
        std::string first(log.begin(), std::find(log.begin(), log.end(), '\n'));
        throw ToolError("", m.file + ": the model's program failed: " + first);
    }

    for (int step = 1; step <= built.steps; ++step) {
        std::string tag = "s" + std::to_string(step) + "_";
        for (size_t o = 0; o < m.outputs.size(); ++o) {
            const ModelOutput& out = m.outputs[o];
            const cli::Signal& sim = simulated[static_cast<size_t>(step - 1)][o];
            std::vector<int32_t> dims;
            std::vector<uint8_t> gen =
                fortranNpyData(readBytes(dir / (tag + portName("out_", out.port) + ".npy")), dims);
            std::string where = "step " + std::to_string(step) + ", output " + out.port.text() + ": ";
            while (dims.size() < sim.dims.size())
                dims.push_back(1);
            if (dims != sim.dims) {
                outcome.difference = where + "the sizes differ";
                return outcome;
            }
            if (gen.size() != sim.bytes.size()) {
                outcome.difference = where + std::to_string(gen.size()) + " bytes generated, " +
                                     std::to_string(sim.bytes.size()) + " simulated";
                return outcome;
            }
            auto diff = std::mismatch(gen.begin(), gen.end(), sim.bytes.begin());
            if (diff.first != gen.end()) {
                size_t elementBytes = sim.bytes.size() / std::max<size_t>(sim.count(), 1);
                outcome.difference =
                    where + "element " +
                    std::to_string((diff.first - gen.begin()) / static_cast<long>(elementBytes)) +
                    " (column-major) differs";
                return outcome;
            }
        }
    }
    outcome.identical = true;
    return outcome;
}

}  // namespace dravo::model
