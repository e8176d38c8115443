// The contrast adjustment steps of `dravo demo`.
#include "demo_contrast.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "cmd_codegen.h"
#include "demo_scene.h"
#include "demo_support.h"
#include "errors.h"
#include "output_files.h"
#include "report.h"
#include "setup/setup.h"

namespace dravo::cli {
namespace fs = std::filesystem;

namespace {

// The gray scene squeezed into [0.35, 0.6]: a washed-out picture with little contrast.
constexpr double kLowContrastOffset = 0.35;
constexpr double kLowContrastGain = 0.25;

Signal lowContrastScene(bool asUint8) {
    const Signal gray = drawScene("gray");
    Signal s;
    s.dataType = asUint8 ? SS_UINT8 : SS_DOUBLE;
    s.dims = gray.dims;
    const size_t n = gray.count();
    s.bytes.resize(n * (asUint8 ? 1 : sizeof(double)));
    for (size_t i = 0; i < n; ++i) {
        double v = 0;
        std::memcpy(&v, gray.bytes.data() + i * sizeof(double), sizeof(double));
        v = kLowContrastOffset + kLowContrastGain * std::clamp(v, 0.0, 1.0);
        if (asUint8)
            s.bytes[i] = uint8_t(std::lround(v * 255.0));
        else
            std::memcpy(s.bytes.data() + i * sizeof(double), &v, sizeof(double));
    }
    return s;
}

struct ContrastDemoStep {
    const char* before;
    const char* after;
    const char* what;
    bool uint8;
};

const ContrastDemoStep kSteps[] = {
    {"contrast-before.png", "contrast-after.png", "low-contrast scene stretched (histogram, 1% each end)",
     false},
    {"contrast-before-uint8.png", "contrast-after-uint8.png", "the same in uint8 (look-up table)", true},
};

}  // namespace

int runContrastDemo(const std::string& outDir, std::vector<std::vector<std::string>>& rows,
                    std::vector<std::string>& settingLines) {
    const std::optional<DialogDescription> dialog = findDialog("contrast");
    int failures = 0;
    for (const ContrastDemoStep& step : kSteps) {
        const Signal input = lowContrastScene(step.uint8);
        std::vector<std::string> warnings;
        const std::string beforePath = (fs::path(outDir) / step.before).string();
        writeDemoFile(beforePath, encodeSignal(input, beforePath, false, warnings));
        rows.push_back({step.before, "-", "the gray scene in [0.35, 0.6]", "-", describeSignal(input),
                        "drawn by dravo; input of the next step"});
        std::vector<std::string> row = {step.after, "contrast", step.what, describeSignal(input), "-", ""};
        row[5] = demoSkipReason("contrast", dialog);
        if (!row[5].empty()) {
            rows.push_back(row);
            continue;
        }
        setup::Request request;
        request.block = "contrast";
        request.inputs.push_back({step.before, {input}});
        settingLines.push_back(std::string(step.after) + ": dravo run contrast (defaults) on " + step.before);
        try {
            const setup::Plan plan = setup::makePlan(request);
            std::unique_ptr<host::Block> block = setup::configure(plan);
            setup::feedStep(*block, plan, 1);
            block->step();
            const Signal out = setup::readOutput(*block, 0);
            block->terminate();
            const std::string afterPath = (fs::path(outDir) / step.after).string();
            writeDemoFile(afterPath, encodeSignal(out, afterPath, false, warnings));
            row[4] = describeSignal(out);
            row[5] = "written; " + generateDemoCode(plan, outDir, fs::path(step.after).stem().string());
        } catch (const host::BlockError& e) {
            ++failures;
            row[5] = "FAILED: " + e.text() + (e.messageClass().empty() ? "" : " [" + e.messageClass() + "]");
        } catch (const ToolError& e) {
            ++failures;
            row[5] = std::string("FAILED: ") + e.what() + " [" + e.messageClass() + "]";
        }
        rows.push_back(row);
    }
    return failures;
}

}  // namespace dravo::cli
