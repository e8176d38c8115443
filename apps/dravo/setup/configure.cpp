// From a plan to a started block, and the changes and inputs of each step.
#include "setup.h"

namespace dravo::setup {
using namespace cli::msg;

std::unique_ptr<host::Block> configure(const Plan& plan, const std::string& instanceName) {
    auto block = std::make_unique<host::Block>(
        plan.block.plugin, instanceName.empty() ? plan.block.displayName : instanceName, plan.settings);
    block->setParameters(plan.parameters);
    try {
        block->initialize();
    } catch (const host::BlockError& e) {
        // Without a description the tool cannot know the parameter count; an index the block does not
        // have is still the user's mistake.
        int32_t declared = sysobj::ssGetNumSFcnParams(block->handle());
        if (declared >= 0 && plan.highestUndescribedIndex >= declared)
            throw UsageError(kUnknownParameter, plan.block.displayName + " has no parameter " +
                                                    std::to_string(plan.highestUndescribedIndex) +
                                                    " (it takes " + std::to_string(declared) +
                                                    "): " + e.text());
        throw;
    }
    int32_t ports = block->numInputPorts();
    size_t given = plan.inputs.size();
    if (static_cast<size_t>(ports) != given)
        throw UsageError(kInputCount, plan.block.displayName + " has " + std::to_string(ports) +
                                          " input port" + (ports == 1 ? "" : "s") +
                                          " with these parameters, but " + std::to_string(given) + " input" +
                                          (given == 1 ? " was" : "s were") + " given");
    std::vector<host::InputSpec> offers;
    for (const auto& p : plan.inputs)
        offers.push_back(p.offer);
    block->propagate(offers, plan.outputRequests);
    block->start();
    return block;
}

void feedStep(host::Block& block, const Plan& plan, int step) {
    if (auto it = plan.changes.find(step); it != plan.changes.end())
        for (const auto& [index, value] : it->second)
            block.changeParameter(index, value);
    for (size_t port = 0; port < plan.inputs.size(); ++port) {
        const PortPlan& p = plan.inputs[port];
        p.frameOfStep(step).feed(block, static_cast<int32_t>(port), p.variableSize);
    }
}

cli::Signal readOutput(const host::Block& block, int32_t port) {
    host::PortInfo info = block.outputPort(port);
    cli::Signal s;
    s.dataType = info.dataType;
    s.complex = info.complexSignal == 1;
    s.dims = block.currentOutputDims(port);
    size_t bytes = block.currentOutputBytes(port);
    const auto* p = static_cast<const uint8_t*>(block.output(port));
    s.bytes.assign(p, p + bytes);
    return s;
}

}  // namespace dravo::setup
