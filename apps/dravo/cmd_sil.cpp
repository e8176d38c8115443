// dravo sil BLOCK ...: generates the block's C unit, builds it with the system C compiler, runs it on
// the same inputs as one simulation step and compares the outputs bit for bit. Prints a one-line
// verdict; exit status 0 identical, 1 different (or a failure: no compiler, a build or run error).
#include <CLI/CLI.hpp>
#include <filesystem>
#include <iostream>
#include <unistd.h>

#include "cg/sil.h"
#include "cmd_codegen.h"
#include "commands.h"
#include "errors.h"
#include "report.h"

namespace dravo::cli {

namespace {

struct SilOptions {
    std::string compiler;
    std::string keepDir;
    bool sanitize = false;
    bool portableInt = false;
};

int silCommand(const CodegenOptions& o, const SilOptions& s) {
    StartedBlock sb = startBlockForCodegen(o, true);
    if (sb.plan.steps > 1 || !sb.plan.changes.empty())
        throw UsageError(msg::kUsage, "sil compares one step for now; give one frame per input");
    std::vector<CG::HarnessInput> inputs;
    for (size_t p = 0; p < sb.plan.inputs.size(); ++p) {
        const setup::PortPlan& port = sb.plan.inputs[p];
        Signal frame = port.frameOfStep(1).read();
        inputs.push_back({frame.bytes, port.variableSize ? frame.dims : std::vector<int32_t>{}});
    }
    CG::HarnessOptions h;
    h.compiler = s.compiler;
    h.sanitize = s.sanitize;
    h.portableInt = s.portableInt;
    namespace fs = std::filesystem;
    fs::path work = s.keepDir.empty()
                        ? fs::temp_directory_path() / ("dravo-sil-" + std::to_string(::getpid()))
                        : fs::path(s.keepDir);
    h.workDir = work.string();
    TarnCG::SilResult r = TarnCG::runSil(*sb.block, sb.unitName, sb.blockType, inputs, h);
    if (s.keepDir.empty()) {
        std::error_code ec;
        fs::remove_all(work, ec);
    }
    if (!r.ran) {
        reportError(
            r.compilerMissing ? "no C compiler found: install one or name it with --cc or $CC" : r.error, "");
        return kExitFailure;
    }
    std::cout << r.verdict() << "\n";
    return r.identical ? kExitOk : kExitFailure;
}

}  // namespace

void defineSilCommand(CLI::App& c, CommandAction& action) {
    auto o = std::make_shared<CodegenOptions>();
    auto s = std::make_shared<SilOptions>();
    addCodegenOptions(c, *o, true);
    c.add_option("--cc", s->compiler, "C compiler to build the generated code with (default: $CC, then cc)");
    c.add_option("--keep", s->keepDir, "keep the generated files, the driver and the build in this folder");
    c.add_flag("--sanitize", s->sanitize, "build with UndefinedBehaviorSanitizer");
    c.add_flag("--portable-int", s->portableInt,
               "use the two-word 128-bit helpers even where the compiler has a 128-bit integer");
    c.footer("Example: dravo sil convert -s \"Output data type\"=uint8 -i image.npy");
    action = [o, s] { return silCommand(*o, *s); };
}

}  // namespace dravo::cli
