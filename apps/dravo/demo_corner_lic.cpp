// The local intensity comparison steps of `dravo demo`.
#include "demo_corner_lic.h"

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

struct LicDemoStep {
    const char* stem;  // <stem>.png and <stem>.npy
    const char* what;
    bool uint8;
    const char* threshold;
};

// Method 3, an arc of at least 9 circle pixels (largest angle 157.5 degrees); the threshold in the
// image's units.
const LicDemoStep kSteps[] = {
    {"corner-lic", "local intensity comparison, t 0.1, arc of 9", false, "0.1"},
    {"corner-lic-uint8", "the same in uint8 (stored integers), t 25", true, "25"},
};

// The metric over its largest value, as a double image a PNG can show (the metric is never negative).
Signal forDisplay(const Signal& metric) {
    const std::vector<double> v = realWorldValues(metric);
    double hi = 0.0;
    for (double x : v)
        hi = std::max(hi, x);
    Signal d;
    d.dataType = SS_DOUBLE;
    d.dims = metric.dims;
    d.bytes.resize(v.size() * sizeof(double));
    for (size_t i = 0; i < v.size(); ++i) {
        const double x = hi > 0.0 ? std::clamp(v[i] / hi, 0.0, 1.0) : 0.0;
        std::memcpy(d.bytes.data() + i * sizeof(double), &x, sizeof(double));
    }
    return d;
}

}  // namespace

int runCornerLicDemo(const std::string& outDir, std::vector<std::vector<std::string>>& rows,
                     std::vector<std::string>& settingLines) {
    const std::optional<DialogDescription> dialog = findDialog("corner-metric");
    int failures = 0;
    for (const LicDemoStep& step : kSteps) {
        const std::string png = std::string(step.stem) + ".png", npy = std::string(step.stem) + ".npy";
        const Signal input = drawScene(step.uint8 ? "gray8" : "gray");
        std::vector<std::string> row = {png, "corner-metric", step.what, describeSignal(input), "-", ""};
        row[5] = demoSkipReason("corner-metric", dialog);
        if (!row[5].empty()) {
            rows.push_back(row);
            continue;
        }
        setup::Request request;
        request.block = "corner-metric";
        request.params = {{0, "", "3"}, {3, "", step.threshold}, {4, "", "7"}};
        request.inputs.push_back({step.uint8 ? "gray scene (uint8)" : "gray scene", {input}});
        settingLines.push_back(
            png + ": dravo run corner-metric -s 'method=local intensity comparison' -s threshold=" +
            step.threshold + " -s maximumAngle=157.5" + (step.uint8 ? " (uint8 scene)" : ""));
        try {
            setup::Plan plan = setup::makePlan(request);
            std::unique_ptr<host::Block> block = setup::configure(plan);
            setup::feedStep(*block, plan, 1);
            block->step();
            const Signal out = setup::readOutput(*block, 0);
            block->terminate();
            std::vector<std::string> warnings;
            const std::string pngPath = (fs::path(outDir) / png).string();
            const std::string npyPath = (fs::path(outDir) / npy).string();
            writeDemoFile(npyPath, encodeSignal(out, npyPath, false, warnings));
            writeDemoFile(pngPath, encodeSignal(forDisplay(out), pngPath, false, warnings));
            row[4] = describeSignal(out);
            row[5] = "written (scaled for display); exact values in " + npy + "; " +
                     generateDemoCode(plan, outDir, step.stem);
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
