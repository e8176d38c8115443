// dravo sil BLOCK ...: generates the block's C unit, builds it with the system C compiler, runs it on
// the same inputs as one simulation step and compares the outputs bit for bit. Prints a one-line
// verdict; exit status 0 identical, 1 different (or a failure: no compiler, a build or run error).
#include <CLI/CLI.hpp>
#include <iostream>
#include <optional>

#include "cg/sil.h"
#include "cmd_codegen.h"
#include "commands.h"
#include "errors.h"
#include "interrupt_cleanup.h"
#include "report.h"

namespace dravo::cli {

namespace {

struct SilOptions {
    std::string compiler;
    std::string keepDir;
    bool sanitize = false;
    bool portableInt = false;
};

// The verdict with steps counted from 1, as --change and the output files of `dravo run` count them.
std::string verdictOf(const TarnCG::SilResult& r, int steps) {
    if (r.identical)
        return "identical: generated code and simulation agree bit for bit" +
               (steps > 1 ? " over " + std::to_string(steps) + " steps" : std::string());
    std::string where = steps > 1 ? "step " + std::to_string(r.step + 1) + ", " : "";
    if (r.element < 0)
        return "different: " + where + "output " + std::to_string(r.port) + " sizes differ (" + r.detail +
               ")";
    return "different: " + where + "output " + std::to_string(r.port) + " element " +
           std::to_string(r.element) + " (" + r.detail + ")";
}

int silCommand(const CodegenOptions& o, const SilOptions& s) {
    StartedBlock sb = startBlockForCodegen(o, true);
    // The step plan of `dravo run`: each step's frames and the tunable changes before it.
    std::vector<TarnCG::SilStep> steps(static_cast<size_t>(sb.plan.steps));
    for (int k = 1; k <= sb.plan.steps; ++k) {
        TarnCG::SilStep& step = steps[static_cast<size_t>(k - 1)];
        for (const setup::PortPlan& port : sb.plan.inputs) {
            Signal frame = port.frameOfStep(k).read();
            step.inputs.push_back(
                {std::move(frame.bytes), port.variableSize ? frame.dims : std::vector<int32_t>{}});
        }
        if (auto it = sb.plan.changes.find(k); it != sb.plan.changes.end())
            for (const auto& [index, value] : it->second)
                step.paramChanges.emplace_back(index, value);
    }
    CG::HarnessOptions h;
    h.compiler = s.compiler;
    h.sanitize = s.sanitize;
    h.portableInt = s.portableInt;
    // Without --keep the work happens in a fresh private folder, removed on every way out.
    std::optional<PrivateTempFolder> scratch;
    if (s.keepDir.empty()) scratch.emplace("dravo-sil-");
    h.workDir = scratch ? scratch->path() : s.keepDir;
    TarnCG::SilResult r = TarnCG::runSilSteps(*sb.block, sb.unitName, sb.blockType, steps, h);
    if (!r.ran) {
        reportError(
            r.compilerMissing ? "no C compiler found: install one or name it with --cc or $CC" : r.error, "");
        return kExitFailure;
    }
    std::cout << verdictOf(r, sb.plan.steps) << "\n";
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
    c.footer(
        "Takes the step plan of 'dravo run': folders or lists of frames, --steps, --variable-size and\n"
        "--change; every step is compared bit for bit and the verdict names the first differing step.\n"
        "\nExamples:\n"
        "  dravo sil convert -s \"Output data type\"=uint8 -i image.npy\n"
        "  dravo sil pad -i frames/ -c 2:padValue=7   (a step per file, the fill changed before step 2)\n");
    action = [o, s] { return silCommand(*o, *s); };
}

}  // namespace dravo::cli
