// dravo demo: runs the blocks that are built on a scene the program draws, writes PNG files and prints
// what it produced. Each step is data; a step whose plug-in (or dialog description) is missing is
// skipped with a note, so the demo grows as blocks arrive.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <iostream>

#include "cmd_codegen.h"
#include "commands.h"
#include "demo_corner.h"
#include "demo_corner_lic.h"
#include "demo_contrast.h"
#include "demo_model.h"
#include "demo_scene.h"
#include "demo_support.h"
#include "errors.h"
#include "output_files.h"
#include "report.h"
#include "setup/setup.h"

namespace dravo::cli {
namespace fs = std::filesystem;

namespace {

struct DemoSetting {
    int index;
    const char* value;
};

struct DemoStep {
    const char* file;                   // PNG written into the output folder
    const char* block;                  // block name
    const char* what;                   // one line for the table
    const char* scene;                  // "gray" or "rgb"
    std::vector<DemoSetting> settings;  // by index: the indices are the blocks' own, names may vary
};

// Settings not listed take the dialog description's defaults.
const std::vector<DemoStep> kDemoSteps = {
    {"rotate-30-bilinear-gray.png",
     "rotate",
     "30 degrees, bilinear, expanded",
     "gray",
     {{0, "1"}, {1, "1"}, {2, "0.52359877559829882"}, {7, "2"}}},
    {"rotate-30-bilinear-rgb.png",
     "rotate",
     "30 degrees, bilinear, expanded",
     "rgb",
     {{0, "1"}, {1, "1"}, {2, "0.52359877559829882"}, {7, "2"}}},
    {"rotate-quarter-turn.png",
     "rotate",
     "a quarter turn (index permutation)",
     "gray",
     {{0, "1"}, {1, "1"}, {2, "1.5707963267948966"}}},
    {"rotate-30-bilinear-uint8.png",
     "rotate",
     "30 degrees, bilinear, 8-bit (fixed-point engine)",
     "gray8",
     {{0, "1"}, {1, "1"}, {2, "0.52359877559829882"}, {5, "2"}, {7, "2"}, {11, "0"}, {12, "32"}, {13, "16"}}},
    {"pad-symmetric.png",
     "pad",
     "2-D form, symmetric, 16 on every side",
     "gray",
     {{20, "2"}, {0, "3"}, {3, "1"}, {5, "3"}, {6, "16"}, {9, "3"}, {10, "16"}}},
    {"pad-circular.png",
     "pad",
     "2-D form, circular, 16 on every side",
     "gray",
     {{20, "2"}, {0, "4"}, {3, "1"}, {5, "3"}, {6, "16"}, {9, "3"}, {10, "16"}}},
    {"convert-uint8.png", "convert", "double to uint8", "gray", {{0, "4"}}},
    {"convert-fixed-u12.png",
     "convert",
     "double to fixed:u12:0 (shown scaled)",
     "gray",
     {{0, "8"}, {1, "0"}, {2, "12"}, {3, "0"}}},
};

// A PNG a person can look at: types a PNG holds go as they are; others (fixed point, wider integers)
// are scaled from the type's range (or the values' range for signed types) onto 16 bits.
std::vector<uint8_t> displayPng(const Signal& s, const std::string& path, bool& scaled) {
    std::vector<std::string> warnings;
    scaled = false;
    const types::TypeInfo& t = types::info(s.dataType);
    if (t.kind != types::Kind::FixedPoint && t.kind != types::Kind::Integer &&
        t.kind != types::Kind::ScaledDouble)
        return encodeSignal(s, path, false, warnings);
    if (s.dataType == SS_UINT8 || s.dataType == SS_UINT16) return encodeSignal(s, path, false, warnings);
    scaled = true;
    std::vector<double> v = realWorldValues(s);
    double lo = 0, hi = 0;
    if (!t.isSigned && t.wordLength < 64) {
        hi = std::ldexp(std::ldexp(1.0, t.wordLength) - 1, -t.fracLength);
    } else {
        lo = hi = v.empty() ? 0 : v[0];
        for (double x : v)
            lo = std::min(lo, x), hi = std::max(hi, x);
    }
    Signal d;
    d.dataType = SS_DOUBLE;
    d.dims = s.dims;
    d.bytes.resize(v.size() * sizeof(double));
    for (size_t i = 0; i < v.size(); ++i) {
        double x = hi > lo ? (v[i] - lo) / (hi - lo) : 0.0;
        std::memcpy(d.bytes.data() + i * sizeof(double), &x, sizeof(double));
    }
    return encodeSignal(d, path, false, warnings);
}

std::string settingsText(const DemoStep& step, const std::optional<DialogDescription>& dialog) {
    std::string out;
    for (const auto& s : step.settings) {
        const ParamDescription* p = dialog ? dialog->findByIndex(s.index) : nullptr;
        std::string text = p ? "-s " + p->name + "=" : "-p " + std::to_string(s.index) + "=";
        std::string value =
            (p && p->kind == ParamKind::Popup) ? popupLabel(*p, parseValue(s.value)) : s.value;
        if (value.find(' ') != std::string::npos) value = "'" + value + "'";
        text += value;
        out += (out.empty() ? "" : " ") + text;
    }
    return out;
}

int demoCommand(const std::string& outDir) {
    std::error_code ec;
    fs::create_directories(outDir, ec);
    if (ec) throw ToolError(msg::kUnwritableFile, "cannot create folder '" + outDir + "': " + ec.message());

    std::vector<std::vector<std::string>> rows = {{"FILE", "BLOCK", "WHAT", "INPUT", "OUTPUT", "NOTE"}};
    std::vector<std::string> settingLines;
    for (const char* scene : {"gray", "rgb"}) {
        std::string file = std::string("scene-") + scene + ".png";
        Signal s = drawScene(scene);
        std::vector<std::string> warnings;
        writeDemoFile((fs::path(outDir) / file).string(), encodeSignal(s, file, false, warnings));
        rows.push_back({file, "-", "the test scene", "-", describeSignal(s), "drawn by dravo"});
    }
    int failures = 0;
    for (const auto& step : kDemoSteps) {
        std::string path = (fs::path(outDir) / step.file).string();
        Signal input = drawScene(step.scene);
        std::optional<DialogDescription> dialog = findDialog(step.block);
        std::vector<std::string> row = {step.file, step.block, step.what, describeSignal(input), "-", ""};
        row[5] = demoSkipReason(step.block, dialog);
        if (!row[5].empty()) {
            rows.push_back(row);
            continue;
        }
        setup::Request request;
        request.block = step.block;
        for (const auto& s : step.settings)
            request.params.push_back({s.index, "", s.value});
        request.inputs.push_back({step.scene, {input}});
        settingLines.push_back(std::string(step.file) + ": dravo run " + step.block + " " +
                               settingsText(step, dialog));
        try {
            setup::Plan plan = setup::makePlan(request);
            std::unique_ptr<host::Block> block = setup::configure(plan);
            setup::feedStep(*block, plan, 1);
            block->step();
            const Signal out = setup::readOutput(*block, 0);
            block->terminate();
            bool scaled = false;
            writeDemoFile(path, displayPng(out, path, scaled));
            row[4] = describeSignal(out);
            row[5] = scaled ? "written (scaled for display)" : "written";
            row[5] += "; " + generateDemoCode(plan, outDir, fs::path(step.file).stem().string());
            for (const auto& w : block->warnings())
                row[5] += "; warning: " + w.text;
        } catch (const host::BlockError& e) {
            ++failures;
            row[5] = "FAILED: " + e.text() + (e.messageClass().empty() ? "" : " [" + e.messageClass() + "]");
        } catch (const ToolError& e) {
            ++failures;
            row[5] = std::string("FAILED: ") + e.what() + " [" + e.messageClass() + "]";
        }
        rows.push_back(row);
    }
    runCornerDemoSteps(outDir, rows, settingLines, failures);
    failures += runCornerLicDemo(outDir, rows, settingLines);
    failures += runContrastDemo(outDir, rows, settingLines);
    failures += runModelDemo(outDir, rows, settingLines);
    std::cout << "dravo demo: results in " << outDir << "/\n\n";
    printTable(std::cout, rows);
    if (!settingLines.empty()) {
        std::cout << "\nSettings (other parameters at their defaults):\n";
        for (const auto& line : settingLines)
            std::cout << "  " << line << "\n";
    }
    if (failures) {
        reportError(std::to_string(failures) + " demo step(s) failed", "");
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace

void defineDemoCommand(CLI::App& cmd, CommandAction& action) {
    auto outDir = std::make_shared<std::string>("dravo-demo");
    cmd.add_option("--out-dir", *outDir, "folder for the PNG files (created if missing)")
        ->capture_default_str();
    cmd.footer(
        "Draws a test scene (a gradient with a rectangle, a triangle and a shaded disc; gray and RGB),\n"
        "runs every built block on it (rotate, pad, convert) and the camera example model, writes each "
        "result as a PNG file and\n"
        "prints a table of what was produced. Steps whose plug-in is not built are skipped with a note.\n"
        "\nExample:\n"
        "  dravo demo --out-dir /tmp/demo && ls /tmp/demo\n");
    action = [outDir] { return demoCommand(*outDir); };
}

}  // namespace dravo::cli
