// The model's run: every block stepped per frame in dependency order, outputs written all together.
#include <cstring>
#include <filesystem>

#include "model.h"
#include "output_files.h"
#include "report.h"

namespace dravo::model {
namespace fs = std::filesystem;
using namespace cli::msg;

namespace {

// Where a connected input reads from.
struct Link {
    const host::Block* from = nullptr;
    int32_t fromPort = 0;
    int32_t toPort = 0;
    bool variableSize = false;
};

// Hands an upstream output to a downstream input: the host gives each port its own buffer, so the
// bytes are copied once, straight into the downstream buffer.
void pass(const Link& l, host::Block& to) {
    size_t bytes = l.from->currentOutputBytes(l.fromPort);
    std::vector<int32_t> dims;
    if (l.variableSize) dims = l.from->currentOutputDims(l.fromPort);
    size_t room = 0;
    void* dst = to.inputBuffer(l.toPort, dims, &room);
    if (room != bytes)
        throw ToolError(kUnsupportedArray,
                        "input " + std::to_string(l.toPort) + " takes " + std::to_string(room) +
                            " bytes but the connected output holds " + std::to_string(bytes));
    if (bytes) std::memcpy(dst, l.from->output(l.fromPort), bytes);
}

std::string outputPath(const Model& m, const ModelOutput& out, const std::string& outDir) {
    if (fs::path(out.path).is_absolute()) return out.path;
    const std::string& base = outDir.empty() ? m.folder : outDir;
    return base.empty() ? out.path : (fs::path(base) / out.path).string();
}

}  // namespace

void stepModel(const Model& m, BuiltModel& built, int step) {
    for (Node& node : built.nodes) {
        try {
            if (auto it = node.plan.changes.find(step); it != node.plan.changes.end())
                for (const auto& [index, value] : it->second)
                    node.block->changeParameter(index, value);
            for (size_t k = 0; k < node.sources.size(); ++k) {
                const auto port = static_cast<int32_t>(k);
                if (!node.sources[k]) {
                    const setup::PortPlan& p = node.plan.inputs[k];
                    p.frameOfStep(step).feed(*node.block, port, p.variableSize);
                    continue;
                }
                Link l;
                l.from = built.node(node.sources[k]->instance).block.get();
                l.fromPort = node.sources[k]->port;
                l.toPort = port;
                l.variableSize = node.plan.inputs[k].variableSize;
                pass(l, *node.block);
            }
            node.block->step();
        } catch (const host::BlockError& e) {
            throw ToolError(e.messageClass(), m.where(node.name, "/blocks/" + node.name,
                                                      "step " + std::to_string(step) + ": " + e.text()));
        } catch (const ToolError& e) {
            throw ToolError(e.messageClass(), m.where(node.name, "/blocks/" + node.name,
                                                      "step " + std::to_string(step) + ": " + e.what()));
        }
    }
}

RunResult runModel(const Model& m, BuiltModel& built, const std::string& outDir) {
    RunResult result;
    result.warnings = built.warnings;
    struct Sink {
        const ModelOutput* out;
        host::Block* block;
        std::string path;
    };
    std::vector<Sink> sinks;
    for (const auto& out : m.outputs)
        sinks.push_back({&out, built.node(out.port.instance).block.get(), outputPath(m, out, outDir)});
    for (const auto& s : sinks)
        for (int step = 1; step <= built.steps; ++step)
            cli::checkOutputPath(cli::stepOutputPath(s.path, step, built.steps));

    std::optional<cli::OutputFolder> folder;
    if (!outDir.empty()) folder.emplace(outDir);
    cli::PendingOutputs files;
    for (int step = 1; step <= built.steps; ++step) {
        stepModel(m, built, step);
        for (const auto& s : sinks) {
            std::string path = cli::stepOutputPath(s.path, step, built.steps);
            cli::Signal signal = setup::readOutput(*s.block, s.out->port.port);
            try {
                files.add(path, cli::encodeSignal(signal, path, s.out->realWorld, result.warnings));
            } catch (const ToolError& e) {
                throw ToolError(e.messageClass(),
                                m.where(s.out->port.instance, "/outputs/" + s.out->port.text(), e.what()));
            }
            signal.bytes.clear();
            result.wrote.push_back("wrote " + path + " (" + cli::describeSignal(signal) + ")");
        }
    }
    for (auto& node : built.nodes)
        node.block->terminate();
    files.commit();
    if (folder) folder->keep();
    return result;
}

}  // namespace dravo::model
