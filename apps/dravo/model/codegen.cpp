// The model unit: the blocks' units called in dependency order, connection buffers as static storage;
// and the check that the compiled model computes what the simulation computes, bit for bit.
#include "codegen.h"

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
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

std::vector<CG::EmittedFile> modelUnit(const Model& m, const std::vector<UnitInfo>& units) {
    const std::string signature = stepSignature(m, units);
    std::string h = "/* Generated code for a model of " + std::to_string(units.size()) + " blocks. */\n";
    h += "#ifndef DRAVO_MODEL_H\n#define DRAVO_MODEL_H\n\n#include <stdint.h>\n\n#include \"dravo_rt.h\"\n\n";
    h += "void model_initialize(void);\n" + signature + ";\nvoid model_terminate(void);\n\n#endif\n";

    std::string c =
        "/* Generated code for a model: its blocks in dependency order. */\n#include \"model.h\"\n";
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
    c += "\nvoid model_initialize(void)\n{\n";
    for (const auto& u : units)
        c += "    " + u.id + "_start();\n";
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
    for (const auto& inst : m.instances)
        if (!inst.changes.empty())
            throw UsageError(kUsage, m.where(inst.name, "/blocks/" + inst.name + "/changes",
                                             "model code takes no per-step parameter changes"));
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

std::vector<CG::EmittedFile> emitAll(const Model& m, const std::vector<UnitInfo>& units) {
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
    auto model = modelUnit(m, units);
    files.insert(files.end(), model.begin(), model.end());
    return files;
}

std::string mainProgram(const Model& m, const std::vector<UnitInfo>& units) {
    std::string s =
        "/* Runs model_step over files: prog STEPS, then per step each model input (and its sizes when they\n"
        "   vary), then each model output and its sizes. Raw stored elements, column-major. */\n"
        "#include <stdio.h>\n#include <stdlib.h>\n\n#include \"model.h\"\n\n"
        "static void readInto(const char* path, void* dst, size_t most)\n{\n"
        "    FILE* f = fopen(path, \"rb\");\n"
        "    if (!f) { fprintf(stderr, \"cannot read %s\\n\", path); exit(3); }\n"
        "    (void)fread(dst, 1, most, f);\n    fclose(f);\n}\n\n"
        "static void writeAll(const char* path, const void* p, size_t n)\n{\n"
        "    FILE* f = fopen(path, \"wb\");\n"
        "    if (!f || fwrite(p, 1, n, f) != n) { fprintf(stderr, \"cannot write %s\\n\", path); exit(3); }\n"
        "    fclose(f);\n}\n\n";
    std::vector<std::string> decls, args, reads, writes;
    int perStep = 0;
    for (const auto& in : m.inputs) {
        const CG::SignalDesc& sd =
            unitOf(units, in.port.instance).desc().inputs.at(static_cast<size_t>(in.port.port));
        std::string n = portName("in_", in.port), ct = CG::cTypeName(sd.elemType),
                    w = std::to_string(std::max(sd.width, 1));
        decls.push_back("static " + ct + " " + n + "[" + w + "];");
        reads.push_back("readInto(argv[arg++], " + n + ", sizeof " + n + ");");
        args.push_back(n);
        ++perStep;
        if (sd.variableSize) {
            decls.push_back("static int32_t " + n + "_dims[" + std::to_string(sd.dims.size()) + "];");
            reads.push_back("readInto(argv[arg++], " + n + "_dims, sizeof " + n + "_dims);");
            args.push_back(n + "_dims");
            ++perStep;
        }
    }
    for (const auto& out : m.outputs) {
        const CG::SignalDesc& sd =
            unitOf(units, out.port.instance).desc().outputs.at(static_cast<size_t>(out.port.port));
        std::string n = portName("out_", out.port), ct = CG::cTypeName(sd.elemType),
                    w = std::to_string(std::max(sd.width, 1));
        decls.push_back("static " + ct + " " + n + "[" + w + "];");
        args.push_back(n);
        perStep += 2;
        std::string count = w;
        if (sd.variableSize) {
            decls.push_back("static int32_t " + n + "_dims[" + std::to_string(sd.dims.size()) + "];");
            args.push_back(n + "_dims");
            count = "1";
            for (size_t d = 0; d < sd.dims.size(); ++d)
                count += " * (size_t)" + n + "_dims[" + std::to_string(d) + "]";
            writes.push_back("writeAll(argv[arg++], " + n + ", " + count + " * sizeof " + n + "[0]);");
            writes.push_back("writeAll(argv[arg++], " + n + "_dims, sizeof " + n + "_dims);");
        } else {
            writes.push_back("writeAll(argv[arg++], " + n + ", sizeof " + n + ");");
            writes.push_back("arg++;");
        }
    }
    for (const auto& d : decls)
        s += d + "\n";
    s += "\nint main(int argc, char** argv)\n{\n    int arg = 2;\n    long steps, st;\n";
    s += "    if (argc < 2) return 2;\n    steps = atol(argv[1]);\n";
    s += "    if (steps < 1 || argc != 2 + steps * " + std::to_string(perStep) +
         ") { fprintf(stderr, \"wrong argument count\\n\"); return 2; }\n";
    s += "    model_initialize();\n    for (st = 0; st < steps; st++) {\n";
    for (const auto& r : reads)
        s += "        " + r + "\n";
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

}  // namespace

std::vector<CG::EmittedFile> generateModelCode(const Model& m, BuiltModel& built) {
    std::vector<UnitInfo> units = generateUnits(m, built);
    std::vector<CG::EmittedFile> files = emitAll(m, units);
    files.push_back({"main.c", mainProgram(m, units)});
    return files;
}

SilOutcome runModelSil(const Model& m, BuiltModel& built, const std::string& workDir) {
    std::vector<UnitInfo> units = generateUnits(m, built);
    std::vector<CG::EmittedFile> files = emitAll(m, units);
    files.push_back({"main.c", mainProgram(m, units)});
    std::string error;
    if (!CG::writeFilesAtomically(workDir, files, &error)) throw ToolError(kUnwritableFile, error);

    std::string cc = CG::findCCompiler();
    if (cc.empty()) throw ToolError("", "no C compiler found (tried $CC, cc)");
    fs::path dir(workDir);
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

    // The simulation, step by step, on the model's inputs; the same inputs go to the program.
    SilOutcome outcome;
    outcome.steps = built.steps;
    outcome.outputs = static_cast<int>(m.outputs.size());
    std::string run = shellQuote((dir / "prog").string()) + " " + std::to_string(built.steps);
    std::vector<std::vector<cli::Signal>> simulated(static_cast<size_t>(built.steps));
    for (int step = 1; step <= built.steps; ++step) {
        std::string tag = "s" + std::to_string(step) + "_";
        for (const auto& in : m.inputs) {
            const Node& node = built.node(in.port.instance);
            const setup::PortPlan& p = node.plan.inputs.at(static_cast<size_t>(in.port.port));
            auto data = p.frameOfStep(step).data();
            fs::path f = dir / (tag + portName("in_", in.port));
            writeBytes(f, data->bytes.data(), data->bytes.size());
            run += " " + shellQuote(f.string());
            if (unitOf(units, in.port.instance)
                    .desc()
                    .inputs.at(static_cast<size_t>(in.port.port))
                    .variableSize) {
                writeBytes(f.string() + "_dims", data->dims.data(), data->dims.size() * sizeof(int32_t));
                run += " " + shellQuote(f.string() + "_dims");
            }
        }
        for (const auto& out : m.outputs) {
            fs::path f = dir / (tag + portName("out_", out.port));
            run += " " + shellQuote(f.string()) + " " + shellQuote(f.string() + "_dims");
        }
        stepModel(m, built, step);
        for (const auto& out : m.outputs)
            simulated[static_cast<size_t>(step - 1)].push_back(
                setup::readOutput(*built.node(out.port.instance).block, out.port.port));
    }
    run += " > " + shellQuote((dir / "run.log").string()) + " 2>&1";
    if (std::system(run.c_str()) != 0) {
        auto log = readBytes(dir / "run.log");
        throw ToolError("", m.file + ": the model's program failed: " + std::string(log.begin(), log.end()));
    }

    for (int step = 1; step <= built.steps; ++step) {
        std::string tag = "s" + std::to_string(step) + "_";
        for (size_t o = 0; o < m.outputs.size(); ++o) {
            const ModelOutput& out = m.outputs[o];
            const cli::Signal& sim = simulated[static_cast<size_t>(step - 1)][o];
            fs::path f = dir / (tag + portName("out_", out.port));
            std::vector<uint8_t> gen = readBytes(f);
            std::string where = "step " + std::to_string(step) + ", output " + out.port.text() + ": ";
            if (unitOf(units, out.port.instance)
                    .desc()
                    .outputs.at(static_cast<size_t>(out.port.port))
                    .variableSize) {
                std::vector<uint8_t> d = readBytes(f.string() + "_dims");
                std::vector<int32_t> dims(d.size() / sizeof(int32_t));
                std::memcpy(dims.data(), d.data(), dims.size() * sizeof(int32_t));
                if (dims != sim.dims) {
                    outcome.difference = where + "the sizes differ";
                    return outcome;
                }
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
                    std::to_string((diff.first - gen.begin()) / static_cast<long>(elementBytes)) + " differs";
                return outcome;
            }
        }
    }
    outcome.identical = true;
    return outcome;
}

}  // namespace dravo::model
