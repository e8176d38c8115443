#include "cg/harness.h"

#include <algorithm>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <memory>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <cstring>

#include "cg/diagnostics.h"
#include "cg/emit_c.h"

#ifndef DRAVO_C_COMPILER
#define DRAVO_C_COMPILER "cc"
#endif

namespace CG {

namespace fs = std::filesystem;

namespace {

// A sanitized build checks the generated code for out-of-bounds accesses as well as undefined behaviour.
#if defined(__SANITIZE_ADDRESS__)
constexpr const char* kAddressCheck = " -fsanitize=address";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr const char* kAddressCheck = " -fsanitize=address";
#else
constexpr const char* kAddressCheck = "";
#endif
#else
constexpr const char* kAddressCheck = "";
#endif

std::string shellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

bool onPath(const std::string& exe) {
    if (exe.find('/') != std::string::npos) return fs::exists(exe);
    const char* path = std::getenv("PATH");
    if (!path) return false;
    std::stringstream ss(path);
    std::string dir;
    while (std::getline(ss, dir, ':'))
        if (!dir.empty() && fs::exists(fs::path(dir) / exe)) return true;
    return false;
}

bool writeBytes(const fs::path& p, const void* data, size_t n) {
    std::ofstream os(p, std::ios::binary);
    os.write(static_cast<const char*>(data), static_cast<std::streamsize>(n));
    return static_cast<bool>(os);
}

bool readBytes(const fs::path& p, std::vector<uint8_t>& out) {
    std::ifstream is(p, std::ios::binary);
    if (!is) return false;
    out.assign(std::istreambuf_iterator<char>(is), std::istreambuf_iterator<char>());
    return true;
}

std::string readText(const fs::path& p) {
    std::ifstream is(p);
    std::stringstream ss;
    ss << is.rdbuf();
    return ss.str();
}

// system() ignores SIGINT while the child runs; a child that died of it means the user interrupted us.
void passOnInterrupt(int status) {
    if (status != -1 && WIFSIGNALED(status) && (WTERMSIG(status) == SIGINT || WTERMSIG(status) == SIGQUIT))
        raise(WTERMSIG(status));
}

// main(): argv = [repeat, steps, then per step: one file per input (and its dims), one file or "-" per
// parameter-structure member, one file per output (and its dims); finally the stats file].
std::string mainProgram(const Unit& u) {
    const BlockDesc& d = u.desc;
    std::string id = cIdentifier(d.name);
    std::vector<ParamMember> members = parameterStruct(d);
    std::string s =
        "/* Test driver: reads the inputs, runs the unit, writes the outputs. */\n"
        "#define _POSIX_C_SOURCE 199309L\n"
        "#include <stdio.h>\n#include <stdlib.h>\n#include <string.h>\n#include <time.h>\n\n"
        "#include \"" +
        id +
        ".h\"\n\n"
        "static void* readAll(const char* path, size_t minBytes)\n{\n"
        "    FILE* f = fopen(path, \"rb\");\n    long n;\n    void* p;\n"
        "    if (!f) { perror(path); exit(3); }\n"
        "    fseek(f, 0, SEEK_END);\n    n = ftell(f);\n    fseek(f, 0, SEEK_SET);\n"
        "    p = calloc(1, (size_t)n > minBytes ? (size_t)n + 1 : minBytes + 1);\n"
        "    if (!p || fread(p, 1, (size_t)n, f) != (size_t)n) { fprintf(stderr, \"cannot read %s\\n\", "
        "path); exit(3); }\n"
        "    fclose(f);\n    return p;\n}\n\n"
        "static void writeAll(const char* path, const void* p, size_t n)\n{\n"
        "    FILE* f = fopen(path, \"wb\");\n"
        "    if (!f || fwrite(p, 1, n, f) != n) { fprintf(stderr, \"cannot write %s\\n\", path); exit(3); }\n"
        "    fclose(f);\n}\n\n";
    if (!members.empty()) {
        s += "static void readExactly(const char* path, void* dst, size_t n)\n{\n"
             "    FILE* f = fopen(path, \"rb\");\n"
             "    if (!f || fread(dst, 1, n, f) != n) { fprintf(stderr, \"cannot read %s\\n\", path); "
             "exit(3); }\n"
             "    fclose(f);\n}\n\n";
        s += "static " + paramStructType(u) + " params;\n\n";
    }
    s += "int main(int argc, char** argv)\n{\n"
         "    int arg = 3;\n    long repeat, steps, st, r;\n    struct timespec t0, t1;\n"
         "    double dt, total = 0.0, best = 0.0;\n    long timed = 0;\n"
         "    FILE* stats;\n";
    int perStep = 0;
    for (size_t i = 0; i < d.inputs.size(); ++i) {
        std::string ct = cTypeName(d.inputs[i].elemType);
        s += "    " + ct + "* u" + std::to_string(i) + ";\n";
        if (d.inputs[i].variableSize) s += "    int32_t* u" + std::to_string(i) + "_dims;\n";
        perStep += d.inputs[i].variableSize ? 2 : 1;
    }
    perStep += static_cast<int>(members.size());
    for (size_t i = 0; i < d.outputs.size(); ++i) {
        std::string ct = cTypeName(d.outputs[i].elemType);
        s += "    " + ct + "* y" + std::to_string(i) + ";\n";
        s += "    int32_t y" + std::to_string(i) + "_dims[" +
             std::to_string(std::max<size_t>(d.outputs[i].dims.size(), 1)) + "] = {0};\n";
        perStep += 2;
    }
    s += "    if (argc < 3) { fprintf(stderr, \"usage: repeat steps files...\\n\"); return 2; }\n";
    s += "    repeat = atol(argv[1]);\n    steps = atol(argv[2]);\n";
    s += "    if (steps < 1 || argc != 4 + steps * " + std::to_string(perStep) +
         ") { fprintf(stderr, \"usage: wrong argument count\\n\"); return 2; }\n";
    if (!members.empty()) s += "    params = " + paramDefaultName(u) + ";\n";
    for (size_t i = 0; i < d.outputs.size(); ++i) {
        std::string n = std::to_string(i);
        std::string ct = cTypeName(d.outputs[i].elemType);
        s += "    y" + n + " = (" + ct + "*)calloc((size_t)" +
             std::to_string(std::max(d.outputs[i].width, 1)) + ", sizeof(" + ct + "));\n";
        s += "    if (!y" + n + ") return 3;\n";
    }
    std::string call = id + "_step(";
    std::vector<std::string> args;
    for (size_t i = 0; i < d.inputs.size(); ++i) {
        args.push_back("u" + std::to_string(i));
        if (d.inputs[i].variableSize) args.push_back("u" + std::to_string(i) + "_dims");
    }
    for (size_t i = 0; i < d.outputs.size(); ++i) {
        args.push_back("y" + std::to_string(i));
        if (d.outputs[i].variableSize) args.push_back("y" + std::to_string(i) + "_dims");
    }
    for (size_t i = 0; i < args.size(); ++i)
        call += (i ? ", " : "") + args[i];
    call += ")";
    s += "    " + id + "_start();\n";
    s += "    for (st = 0; st < steps; st++) {\n";
    for (size_t i = 0; i < d.inputs.size(); ++i) {
        std::string n = std::to_string(i);
        std::string ct = cTypeName(d.inputs[i].elemType);
        s += "        u" + n + " = (" + ct + "*)readAll(argv[arg++], " +
             std::to_string(std::max(d.inputs[i].width, 1)) + " * sizeof(" + ct + "));\n";
        if (d.inputs[i].variableSize) s += "        u" + n + "_dims = (int32_t*)readAll(argv[arg++], 64);\n";
    }
    // A changed parameter goes into the driver's own instance, which the step then reads.
    for (auto& m : members) {
        s += "        if (strcmp(argv[arg], \"-\") != 0) {\n";
        s += "            readExactly(argv[arg], params." + m.member + ", sizeof params." + m.member + ");\n";
        s += "            " + paramSetterName(u) + "(&params);\n        }\n        arg++;\n";
    }
    for (size_t i = 0; i < d.outputs.size(); ++i) {
        std::string n = std::to_string(i);
        for (size_t k = 0; k < d.outputs[i].dims.size(); ++k)
            s += "        y" + n + "_dims[" + std::to_string(k) +
                 "] = " + std::to_string(d.outputs[i].dims[k]) + ";\n";
    }
    // One step outside the timing when timing several: page faults of fresh buffers are not the code.
    s += "        r = (st == steps - 1) ? repeat : 1;\n";
    s += "        if (r > 1) {\n            " + call + ";\n            r--;\n        }\n";
    // Each step timed on its own: the mean, and the best step (the figure least disturbed by other load).
    s += "        for (; r > 0; r--) {\n";
    s += "            clock_gettime(CLOCK_MONOTONIC, &t0);\n            " + call + ";\n";
    s += "            clock_gettime(CLOCK_MONOTONIC, &t1);\n";
    s += "            dt = (double)(t1.tv_sec - t0.tv_sec) + 1e-9 * (double)(t1.tv_nsec - t0.tv_nsec);\n";
    s += "            if (st == steps - 1) {\n                total += dt;\n"
         "                if (timed == 0 || dt < best) best = dt;\n                timed++;\n            }\n";
    s += "        }\n";
    for (size_t i = 0; i < d.outputs.size(); ++i) {
        std::string n = std::to_string(i);
        std::string ct = cTypeName(d.outputs[i].elemType);
        std::string count = "1";
        for (size_t k = 0; k < d.outputs[i].dims.size(); ++k)
            count += " * (size_t)y" + n + "_dims[" + std::to_string(k) + "]";
        if (d.outputs[i].dims.empty()) count = std::to_string(d.outputs[i].width);
        s += "        writeAll(argv[arg++], y" + n + ", " + count + " * sizeof(" + ct + "));\n";
        s += "        writeAll(argv[arg++], y" + n + "_dims, sizeof y" + n + "_dims);\n";
    }
    for (size_t i = 0; i < d.inputs.size(); ++i) {
        s += "        free((void*)u" + std::to_string(i) + ");\n";
        if (d.inputs[i].variableSize) s += "        free(u" + std::to_string(i) + "_dims);\n";
    }
    s += "    }\n";
    s += "    " + id + "_terminate();\n";
    for (size_t i = 0; i < d.outputs.size(); ++i)
        s += "    free(y" + std::to_string(i) + ");\n";
    s += "    stats = fopen(argv[arg], \"w\");\n    if (!stats) return 3;\n";
    s += "    fprintf(stats, \"%.9f %ld %.9f\\n\", timed ? total / (double)timed : 0.0, (long)" + id +
         "_sizeCheckFailures, best);\n";
    s += "    fclose(stats);\n    return 0;\n}\n";
    return s;
}

}  // namespace

std::string findCCompiler(const std::string& preferred) {
    if (!preferred.empty()) return onPath(preferred) ? preferred : std::string();
    if (const char* cc = std::getenv("CC"); cc && *cc && onPath(cc)) return cc;
    if (onPath("cc")) return "cc";
    if (onPath(DRAVO_C_COMPILER)) return DRAVO_C_COMPILER;
    return "";
}

HarnessResult buildAndRun(const Unit& unit, const std::vector<HarnessInput>& inputs,
                          const HarnessOptions& options) {
    HarnessStep step;
    step.inputs = inputs;
    return buildAndRunSteps(unit, {step}, options);
}

HarnessResult buildAndRunSteps(const Unit& unit, const std::vector<HarnessStep>& steps,
                               const HarnessOptions& options) {
    HarnessResult res;
    const BlockDesc& d = unit.desc;
    if (steps.empty()) {
        res.error = "no step to run";
        return res;
    }
    std::vector<ParamMember> members = parameterStruct(d);
    for (size_t k = 0; k < steps.size(); ++k) {
        const HarnessStep& st = steps[k];
        if (st.inputs.size() != d.inputs.size()) {
            res.error = "the block has " + std::to_string(d.inputs.size()) + " input(s), " +
                        std::to_string(st.inputs.size()) + " given" +
                        (steps.size() > 1 ? " at step " + std::to_string(k) : std::string());
            return res;
        }
        for (auto& [index, bytes] : st.params) {
            const auto wanted = index;  // a structured binding cannot be captured by every compiler
            auto m = std::find_if(members.begin(), members.end(),
                                  [&](const ParamMember& x) { return x.rtpIndex == wanted; });
            if (m == members.end()) {
                res.error = "run-time parameter " + std::to_string(index) + " is not tunable in the unit";
                return res;
            }
            if (bytes.size() != m->bytes) {
                res.error = "tunable parameter \"" + d.rtps[index].name + "\" holds " +
                            std::to_string(m->bytes) + " bytes, " + std::to_string(bytes.size()) +
                            " given at step " + std::to_string(k);
                return res;
            }
        }
    }
    std::string cc = findCCompiler(options.compiler);
    if (cc.empty()) {
        res.compilerMissing = true;
        res.error = "no C compiler found (tried " +
                    (options.compiler.empty() ? std::string("$CC, cc") : options.compiler) + ")";
        return res;
    }
    Diagnostics diag;
    std::vector<EmittedFile> files;
    {
        DiagnosticsScope scope(diag);
        files = emitUnit(unit);
        auto common = emitCommon(*unit.pool);
        files.insert(files.end(), common.begin(), common.end());
    }
    if (diag.failed()) {
        res.error = "block '" + d.name + "': " + diag.error().message();
        return res;
    }
    std::string id = cIdentifier(d.name);
    files.push_back({"main.c", mainProgram(unit)});
    // Without a work folder the build happens in a fresh private one, removed afterwards.
    fs::path dir;
    std::unique_ptr<fs::path, void (*)(fs::path*)> scratch(nullptr, [](fs::path* p) {
        std::error_code ec;
        fs::remove_all(*p, ec);
        delete p;
    });
    if (options.workDir.empty()) {
        std::error_code ec;
        std::string pattern = (fs::temp_directory_path(ec) / "dravo-harness-XXXXXX").string();
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        if (!mkdtemp(name.data())) {
            res.error = "cannot make a temporary folder: " + std::string(std::strerror(errno));
            return res;
        }
        dir = name.data();
        scratch.reset(new fs::path(dir));
    } else {
        dir = options.workDir;
    }
    // A link planted at one of the names written below would redirect the write: links are removed
    // (never followed) first.
    {
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(dir, ec))
            if (e.is_symlink(ec)) fs::remove(e.path(), ec);
    }
    std::string werr;
    if (!writeFilesAtomically(dir.string(), files, &werr)) {
        res.error = werr;
        return res;
    }
    std::string cmd = shellQuote(cc) + " -std=c99 -Wall -Wextra -Werror -O2 -ffp-contract=off";
    if (options.sanitize)
        cmd += std::string(" -fsanitize=undefined -fno-sanitize-recover=undefined") + kAddressCheck;
    if (options.portableInt) cmd += " -DDVRT_PORTABLE_INT";
    for (auto& f : options.extraFlags)
        cmd += " " + f;
    cmd += " -o " + shellQuote((dir / "prog").string()) + " " + shellQuote((dir / "main.c").string()) + " " +
           shellQuote((dir / (id + ".c")).string()) + " " + shellQuote((dir / "dravo_common.c").string()) +
           " -lm > " + shellQuote((dir / "build.log").string()) + " 2>&1";
    int rc = std::system(cmd.c_str());
    passOnInterrupt(rc);
    res.buildLog = readText(dir / "build.log");
    if (rc != 0) {
        res.error = "the generated code does not build:\n" + res.buildLog;
        return res;
    }
    auto stepFile = [&](size_t k, const std::string& what) {
        return dir / ((steps.size() > 1 ? "s" + std::to_string(k) + "_" : std::string()) + what);
    };
    std::string run = shellQuote((dir / "prog").string()) + " " +
                      std::to_string(std::max(options.repeat, 1)) + " " + std::to_string(steps.size());
    for (size_t k = 0; k < steps.size(); ++k) {
        const HarnessStep& st = steps[k];
        for (size_t i = 0; i < st.inputs.size(); ++i) {
            fs::path p = stepFile(k, "in" + std::to_string(i) + ".bin");
            writeBytes(p, st.inputs[i].bytes.data(), st.inputs[i].bytes.size());
            run += " " + shellQuote(p.string());
            if (d.inputs[i].variableSize) {
                fs::path q = stepFile(k, "in" + std::to_string(i) + "_dims.bin");
                std::vector<int32_t> dims = st.inputs[i].dims.empty() ? d.inputs[i].dims : st.inputs[i].dims;
                writeBytes(q, dims.data(), dims.size() * sizeof(int32_t));
                run += " " + shellQuote(q.string());
            }
        }
        for (auto& m : members) {
            auto it = st.params.find(m.rtpIndex);
            if (it == st.params.end()) {
                run += " -";
                continue;
            }
            fs::path p = stepFile(k, "param_" + m.member + ".bin");
            writeBytes(p, it->second.data(), it->second.size());
            run += " " + shellQuote(p.string());
        }
        for (size_t i = 0; i < d.outputs.size(); ++i) {
            run += " " + shellQuote(stepFile(k, "out" + std::to_string(i) + ".bin").string());
            run += " " + shellQuote(stepFile(k, "out" + std::to_string(i) + "_dims.bin").string());
        }
    }
    run += " " + shellQuote((dir / "stats.txt").string()) + " > " + shellQuote((dir / "run.log").string()) +
           " 2>&1";
    rc = std::system(run.c_str());
    passOnInterrupt(rc);
    if (rc != 0) {
        res.error =
            "the generated program failed (status " + std::to_string(rc) + "):\n" + readText(dir / "run.log");
        return res;
    }
    for (size_t k = 0; k < steps.size(); ++k) {
        std::vector<HarnessOutput> outs;
        for (size_t i = 0; i < d.outputs.size(); ++i) {
            HarnessOutput o;
            std::vector<uint8_t> dims;
            readBytes(stepFile(k, "out" + std::to_string(i) + ".bin"), o.bytes);
            readBytes(stepFile(k, "out" + std::to_string(i) + "_dims.bin"), dims);
            o.dims.resize(d.outputs[i].dims.size());
            if (dims.size() >= o.dims.size() * sizeof(int32_t) && !o.dims.empty())
                std::memcpy(o.dims.data(), dims.data(), o.dims.size() * sizeof(int32_t));
            outs.push_back(std::move(o));
        }
        res.stepOutputs.push_back(std::move(outs));
    }
    res.outputs = res.stepOutputs.back();
    std::istringstream stats(readText(dir / "stats.txt"));
    stats >> res.secondsPerStep >> res.sizeCheckFailures >> res.bestSecondsPerStep;
    res.ok = true;
    return res;
}

}  // namespace CG
