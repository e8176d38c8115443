// The corner metric steps of `dravo demo`: the exact metric as .npy and an 8-bit view of it as PNG.
#include "demo_corner.h"

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

struct CornerStep {
    const char* stem;  // file names: <stem>.png and <stem>.npy
    const char* what;
    bool eightBit;  // the scene in uint8 (fixed-point path)
    std::vector<setup::ParamSetting> settings;
};

// Corners are sparse peaks: the positive part relative to the largest value, square-rooted so that
// weaker corners stay visible, onto 0..255. Negative values (edges under Harris) show as 0.
std::vector<uint8_t> displayPng(const Signal& metric) {
    const std::vector<double> v = realWorldValues(metric);
    double top = 0;
    for (double x : v)
        top = std::max(top, x);
    PngImage png;
    png.rows = size_t(metric.dims.at(0));
    png.cols = metric.dims.size() > 1 ? size_t(metric.dims[1]) : 1;
    png.data.resize(v.size());
    for (size_t i = 0; i < v.size(); ++i)
        png.data[i] = top > 0 ? uint8_t(std::lround(255.0 * std::sqrt(std::max(v[i], 0.0) / top))) : 0;
    return encodePng(png);
}

}  // namespace

void runCornerDemoSteps(const std::string& outDir, std::vector<std::vector<std::string>>& rows,
                        std::vector<std::string>& settingLines, int& failures) {
    const std::vector<CornerStep> steps = {
        {"corner-harris", "Harris metric, k 0.04, 5-tap binomial filter", false, {}},
        {"corner-min-eigenvalue",
         "minimum-eigenvalue metric, 5-tap binomial filter",
         false,
         {{std::nullopt, "method", "minimum eigenvalue"}}},
        {"corner-harris-uint8", "Harris metric of the 8-bit scene (fixed-point path)", true, {}},
    };
    const std::optional<DialogDescription> dialog = findDialog("corner-metric");
    for (const CornerStep& step : steps) {
        const std::string png = std::string(step.stem) + ".png", npy = std::string(step.stem) + ".npy";
        const Signal input = drawScene(step.eightBit ? "gray8" : "gray");
        std::vector<std::string> row = {png, "corner-metric", step.what, describeSignal(input), "-", ""};
        row[5] = demoSkipReason("corner-metric", dialog);
        if (!row[5].empty()) {
            rows.push_back(row);
            continue;
        }
        setup::Request request;
        request.block = "corner-metric";
        request.params = step.settings;
        request.inputs.push_back({step.eightBit ? "gray8" : "gray", {input}});
        std::string line = png + ": dravo run corner-metric";
        for (const auto& s : step.settings)
            line += " -s " + s.name + "='" + s.text + "'";
        settingLines.push_back(line + (step.eightBit ? " (8-bit scene)" : "") + " -o " + npy);
        try {
            setup::Plan plan = setup::makePlan(request);
            std::unique_ptr<host::Block> block = setup::configure(plan);
            setup::feedStep(*block, plan, 1);
            block->step();
            const Signal metric = setup::readOutput(*block, 0);
            block->terminate();
            std::vector<std::string> warnings;
            PendingOutputs out;
            out.add((fs::path(outDir) / npy).string(), encodeSignal(metric, npy, false, warnings));
            out.add((fs::path(outDir) / png).string(), displayPng(metric));
            out.commit();
            row[4] = describeSignal(metric);
            row[5] =
                "written; PNG shows sqrt(max(metric, 0) / largest) as 8-bit for display, exact metric in " +
                npy + "; " + generateDemoCode(plan, outDir, step.stem);
        } catch (const host::BlockError& e) {
            ++failures;
            row[5] = "FAILED: " + e.text() + (e.messageClass().empty() ? "" : " [" + e.messageClass() + "]");
        } catch (const ToolError& e) {
            ++failures;
            row[5] = std::string("FAILED: ") + e.what() + " [" + e.messageClass() + "]";
        }
        rows.push_back(row);
    }
}

}  // namespace dravo::cli
