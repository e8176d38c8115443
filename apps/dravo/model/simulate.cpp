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

// Where each connected input reads from, worked out once before the first step.
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

RunResult runModel(const Model& m, BuiltModel& built, const std::string& outDir) {
    RunResult result;
    result.warnings = built.warnings;
    std::vector<std::vector<Link>> links(built.nodes.size());
    for (size_t n = 0; n < built.nodes.size(); ++n) {
        Node& node = built.nodes[n];
        for (size_t k = 0; k < node.sources.size(); ++k) {
            if (!node.sources[k]) continue;
            const PortRef& src = *node.sources[k];
            Link l;
            l.from = built.node(src.instance).block.get();
            l.fromPort = src.port;
            l.toPort = static_cast<int32_t>(k);
            l.variableSize = node.block->inputPort(l.toPort).dimsMode == 1;
            links[n].push_back(l);
        }
    }
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
        for (size_t n = 0; n < built.nodes.size(); ++n) {
            Node& node = built.nodes[n];
            try {
                if (auto it = node.plan.changes.find(step); it != node.plan.changes.end())
                    for (const auto& [index, value] : it->second)
                        node.block->changeParameter(index, value);
                for (size_t k = 0; k < node.sources.size(); ++k)
                    if (!node.sources[k]) {
                        const setup::PortPlan& p = node.plan.inputs[k];
                        p.frameOfStep(step).feed(*node.block, static_cast<int32_t>(k), p.variableSize);
                    }
                for (const Link& l : links[n])
                    pass(l, *node.block);
                node.block->step();
            } catch (const host::BlockError& e) {
                throw ToolError(e.messageClass(), m.where(node.name, "/blocks/" + node.name,
                                                          "step " + std::to_string(step) + ": " + e.text()));
            } catch (const ToolError& e) {
                throw ToolError(e.messageClass(), m.where(node.name, "/blocks/" + node.name,
                                                          "step " + std::to_string(step) + ": " + e.what()));
            }
        }
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
