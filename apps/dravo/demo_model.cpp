// The model step of `dravo demo`.
#include "demo_model.h"

#include <filesystem>

#include "demo_scene.h"
#include "demo_support.h"
#include "errors.h"
#include "logging_report.h"
#include "model/codegen.h"
#include "model/model.h"
#include "output_files.h"
#include "report.h"

namespace dravo::cli {
extern const char* const kDemoModelText;  // the camera example's model file, compiled in
namespace fs = std::filesystem;

namespace {

constexpr const char* kFolder = "model-camera";
constexpr const char* kLastOutput = "framed.npy";  // the model's final output, named in its file

std::vector<uint8_t> bytesOf(const std::string& text) {
    return {text.begin(), text.end()};
}

}  // namespace

int runModelDemo(const std::string& outDir, std::vector<std::vector<std::string>>& rows,
                 std::vector<std::string>& settingLines) {
    const fs::path folder = fs::path(outDir) / kFolder;
    const std::string modelFile = (folder / "model.json").string();
    const Signal scene = drawScene("gray8");
    std::vector<std::string> row = {std::string(kFolder) + "/" + kLastOutput,
                                    "model",
                                    "camera example: to fixed point, stretch, rotate, pad",
                                    describeSignal(scene),
                                    "-",
                                    ""};
    for (const char* block : {"convert", "contrast", "rotate", "pad"}) {
        row[5] = demoSkipReason(block, findDialog(block));
        if (!row[5].empty()) {
            rows.push_back(row);
            return 0;
        }
    }
    settingLines.push_back(row[0] + ": dravo model run " + modelFile);
    try {
        std::error_code ec;
        fs::create_directories(folder / "code", ec);
        if (ec)
            throw ToolError(msg::kUnwritableFile,
                            "cannot create folder '" + folder.string() + "': " + ec.message());
        std::vector<std::string> warnings;
        const std::string input = (folder / "camera.npy").string();
        writeDemoFile(input, encodeSignal(scene, input, false, warnings));
        writeDemoFile(modelFile, bytesOf(kDemoModelText));

        model::Model m = model::parseModel(kDemoModelText, modelFile);
        if (m.logging) resetLoggingReport();
        model::BuiltModel built = model::buildModel(m);
        PendingOutputs code;
        for (const auto& f : model::generateModelCode(m, built))
            code.add((folder / "code" / f.name).string(), bytesOf(f.text));
        const model::RunResult r = model::runModel(m, built, folder.string());
        code.commit();
        // "wrote PATH (SIGNAL)": the last line is the model's final output.
        const std::string& last = r.wrote.back();
        const size_t open = last.rfind(" (");
        row[4] = open == std::string::npos ? "-" : last.substr(open + 2, last.size() - open - 3);
        row[5] = "written with " + std::to_string(r.wrote.size() - 1) +
                 " more output(s); model code: " + kFolder + "/code/model.c";
        if (m.logging) resetLoggingReport();
        rows.push_back(row);
        return 0;
    } catch (const host::BlockError& e) {
        row[5] = "FAILED: " + e.text() + (e.messageClass().empty() ? "" : " [" + e.messageClass() + "]");
    } catch (const ToolError& e) {
        row[5] = std::string("FAILED: ") + e.what() + " [" + e.messageClass() + "]";
    }
    rows.push_back(row);
    return 1;
}

}  // namespace dravo::cli
