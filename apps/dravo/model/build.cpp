// Every instance configured through the set-up path in dependency order, with requirements flowing back.
#include <algorithm>
#include <set>

#include "model.h"
#include "report.h"

namespace dravo::model {
using namespace cli::msg;

Node& BuiltModel::node(const std::string& name) {
    for (auto& n : nodes)
        if (n.name == name) return n;
    throw std::out_of_range("no instance " + name);
}

namespace {

struct Prepared {
    const Instance* inst = nullptr;
    setup::ResolvedBlock block;
    std::vector<setup::ParamSetting> params;
    int inputs = 0, outputs = 0;
    std::vector<std::optional<PortRef>> sources;  // per input port
    std::vector<const ModelInput*> modelInputs;   // per input port
    setup::Plan plan;
};

bool isWhole(const std::string& s) {
    return !s.empty() && s.size() < 6 &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

setup::ParamSetting settingOf(const std::string& name, const std::string& text) {
    setup::ParamSetting s;
    if (isWhole(name))
        s.index = std::stoi(name);
    else
        s.name = name;
    s.text = text;
    return s;
}

std::string portLabel(const Prepared& p, bool input, int port) {
    std::string s = p.inst->name + "." + std::to_string(port);
    if (p.block.dialog) {
        const auto& list = input ? p.block.dialog->inputs : p.block.dialog->outputs;
        if (static_cast<size_t>(port) < list.size()) s += " (" + list[static_cast<size_t>(port)].name + ")";
    }
    return s;
}

std::string count(int n, const char* what) {
    return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

// The block, its parameters (each checked on its own so the message names it) and its port count.
void prepare(const Model& m, Prepared& p) {
    const Instance& inst = *p.inst;
    const std::string base = "/blocks/" + inst.name;
    try {
        p.block = setup::resolveBlock(inst.block);
    } catch (const UsageError& e) {
        throw UsageError(e.messageClass(), m.where(inst.name, base + "/block", e.what()));
    } catch (const host::BlockError& e) {
        throw ToolError(e.messageClass(), m.where(inst.name, base + "/block", e.text()));
    }
    for (const auto& [name, text] : inst.params) {
        p.params.push_back(settingOf(name, text));
        try {
            setup::buildParameters(p.block.dialog, {p.params.back()});
        } catch (const UsageError& e) {
            throw UsageError(e.messageClass(), m.where(inst.name, base + "/params/" + name, e.what()));
        }
    }
    for (const auto& [step, change] : inst.changes) {
        try {
            setup::buildParameters(p.block.dialog, {settingOf(change.first, change.second)});
        } catch (const UsageError& e) {
            throw UsageError(
                e.messageClass(),
                m.where(inst.name, base + "/changes/" + std::to_string(step) + "/" + change.first, e.what()));
        }
    }
    // The port count can depend on the parameters (an angle port, say): ask the block.
    try {
        host::Block probe(p.block.plugin, inst.name, m.settings);
        probe.setParameters(setup::buildParameters(p.block.dialog, p.params));
        probe.initialize();
        p.inputs = probe.numInputPorts();
        p.outputs = probe.numOutputPorts();
    } catch (const host::BlockError& e) {
        throw ToolError(e.messageClass(), m.where(inst.name, base + "/params", e.text()));
    }
    p.sources.assign(static_cast<size_t>(p.inputs), std::nullopt);
    p.modelInputs.assign(static_cast<size_t>(p.inputs), nullptr);
}

// Every port named in the model exists, and every input port has exactly one source.
void checkPorts(const Model& m, std::map<std::string, Prepared>& prep) {
    auto refuse = [&](const PortRef& r, const std::string& path, bool input) {
        const Prepared& p = prep.at(r.instance);
        int n = input ? p.inputs : p.outputs;
        throw UsageError(
            kInputCount,
            m.where(r.instance, path,
                    p.block.displayName + " has " + count(n, input ? "input port" : "output port") +
                        " with these parameters; there is no " + (input ? "input " : "output ") + r.text()));
    };
    for (const auto& c : m.connections) {
        std::string path = "/connections/" + std::to_string(c.index);
        if (c.from.port >= prep.at(c.from.instance).outputs) refuse(c.from, path + "/0", false);
        if (c.to.port >= prep.at(c.to.instance).inputs) refuse(c.to, path + "/1", true);
        prep.at(c.to.instance).sources[static_cast<size_t>(c.to.port)] = c.from;
    }
    for (const auto& in : m.inputs) {
        if (in.port.port >= prep.at(in.port.instance).inputs)
            refuse(in.port, "/inputs/" + in.port.text(), true);
        prep.at(in.port.instance).modelInputs[static_cast<size_t>(in.port.port)] = &in;
    }
    for (const auto& out : m.outputs)
        if (out.port.port >= prep.at(out.port.instance).outputs)
            refuse(out.port, "/outputs/" + out.port.text(), false);
    for (const auto& inst : m.instances) {
        const Prepared& p = prep.at(inst.name);
        for (int k = 0; k < p.inputs; ++k)
            if (!p.sources[static_cast<size_t>(k)] && !p.modelInputs[static_cast<size_t>(k)])
                throw UsageError(kInputCount,
                                 m.where(inst.name, "/inputs",
                                         "input " + portLabel(p, true, k) + " has no source: " +
                                             p.block.displayName + " takes " + count(p.inputs, "input") +
                                             " with these parameters; connect it or give it in /inputs"));
    }
}

// The field a set-up message is about, from the port it names.
std::string fieldOf(const Model& m, const Prepared& p, const std::string& text) {
    auto portIn = [&](const std::string& prefix) -> std::optional<int> {
        if (text.rfind(prefix, 0) != 0) return std::nullopt;
        size_t at = prefix.size(), end = at;
        while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end])))
            ++end;
        if (end == at) return std::nullopt;
        return std::stoi(text.substr(at, end - at));
    };
    const std::string& name = p.inst->name;
    auto k = portIn("input ");
    if (!k) k = portIn("input port ");
    if (!k)  // a message about a file names the file
        for (int port = 0; port < p.inputs && !k; ++port)
            if (const ModelInput* in = p.modelInputs[static_cast<size_t>(port)])
                if (text.find("'" + in->text) != std::string::npos) k = port;
    if (k && *k < p.inputs) {
        if (p.sources[static_cast<size_t>(*k)])
            for (const auto& c : m.connections)
                if (c.to.instance == name && c.to.port == *k)
                    return "/connections/" + std::to_string(c.index);
        return "/inputs/" + name + "." + std::to_string(*k);
    }
    k = portIn("output ");
    if (!k) k = portIn("output port ");
    if (k && *k < p.outputs) {
        for (const auto& o : m.outputs)
            if (o.port.instance == name && o.port.port == *k) return "/outputs/" + o.port.text();
        for (const auto& c : m.connections)
            if (c.from.instance == name && c.from.port == *k)
                return "/connections/" + std::to_string(c.index);
    }
    if (text.rfind("a change", 0) == 0) return "/blocks/" + name + "/changes";
    return "/blocks/" + name;
}

// The plan through the set-up path: model inputs as -i takes them; a connected port gets a frame of the
// upstream's shape as a stand-in, whose offer configure() replaces.
setup::Plan planOf(const Model& m, const Prepared& p, int steps) {
    setup::Request r;
    r.block = p.inst->block;
    r.params = p.params;
    for (int k = 0; k < p.inputs; ++k) {
        const ModelInput* in = p.modelInputs[static_cast<size_t>(k)];
        if (in) {
            r.inputs.push_back({in->text, {}});
            if (in->type) r.inputTypes.push_back(std::to_string(k) + "=" + *in->type);
            if (in->variableSize) r.variableSize.push_back(k);
        } else {
            cli::Signal standIn;
            standIn.dataType = SS_DOUBLE;
            standIn.dims = {1, 1};
            r.inputs.push_back({p.sources[static_cast<size_t>(k)]->text(), {standIn}});
        }
    }
    r.settings = m.settings;
    r.steps = steps;
    for (const auto& [step, change] : p.inst->changes)
        r.changes.push_back(std::to_string(step) + ":" + change.first + "=" + change.second);
    try {
        return setup::makePlan(r);
    } catch (const UsageError& e) {
        throw UsageError(e.messageClass(), m.where(p.inst->name, fieldOf(m, p, e.what()), e.what()));
    } catch (const ToolError& e) {
        throw ToolError(e.messageClass(), m.where(p.inst->name, fieldOf(m, p, e.what()), e.what()));
    } catch (const host::BlockError& e) {
        throw ToolError(e.messageClass(), m.where(p.inst->name, "/blocks/" + p.inst->name, e.text()));
    }
}

// What a block settles on for its connected inputs when their data types are left open: the types it
// requires, where they differ from what was offered. Empty when the block cannot say.
std::vector<std::pair<int, DataTypeId>> requiredTypes(const Prepared& p, const setup::Plan& plan,
                                                      const std::string& name) {
    std::vector<host::InputSpec> offers;
    for (const auto& port : plan.inputs)
        offers.push_back(port.offer);
    for (size_t k = 0; k < offers.size(); ++k)
        if (p.sources[k]) offers[k].dataType = DYNAMICALLY_TYPED;
    std::vector<std::pair<int, DataTypeId>> out;
    try {
        host::Block probe(p.block.plugin, name, plan.settings);
        probe.setParameters(plan.parameters);
        probe.propagate(offers, plan.outputRequests);
        for (size_t k = 0; k < offers.size(); ++k) {
            if (!p.sources[k]) continue;
            DataTypeId held = probe.inputPort(static_cast<int32_t>(k)).dataType;
            if (held != DYNAMICALLY_TYPED && held != plan.inputs[k].offer.dataType)
                out.emplace_back(static_cast<int>(k), held);
        }
    } catch (const host::BlockError&) {
        out.clear();
    }
    return out;
}

}  // namespace

BuiltModel buildModel(const Model& m) {
    std::vector<std::string> order = dependencyOrder(m);
    std::map<std::string, Prepared> prep;
    for (const auto& inst : m.instances) {
        Prepared& p = prep[inst.name];
        p.inst = &inst;
        prepare(m, p);
    }
    checkPorts(m, prep);

    BuiltModel built;
    // The run's length: the settings, else the longest per-step input of any instance.
    for (const auto& name : order) {
        Prepared& p = prep.at(name);
        p.plan = planOf(m, p, m.steps);
        built.steps = std::max(built.steps, p.plan.steps);
    }
    for (const auto& name : order) {
        Prepared& p = prep.at(name);
        if (p.plan.steps != built.steps) p.plan = planOf(m, p, built.steps);
        built.warnings.insert(built.warnings.end(), p.plan.warnings.begin(), p.plan.warnings.end());
    }

    // Requests on outputs: the model's own (an output file's type), then what flowed back.
    std::map<PortRef, std::string> askedBy, askedField;
    for (const auto& out : m.outputs) {
        if (!out.type) continue;
        auto id = types::parseTypeName(*out.type);
        if (!id)
            throw UsageError(kBadValue, m.where(out.port.instance, "/outputs/" + out.port.text() + "/type",
                                                "unknown type '" + *out.type + "'"));
        built.requests[out.port] = *id;
        askedBy[out.port] = "the model output /outputs/" + out.port.text();
        askedField[out.port] = "/outputs/" + out.port.text();
    }

    // Each pass configures every block forward in dependency order; a pass that finds a requirement
    // flowing back adds a request and starts again. Requests only grow and never change, so the passes
    // end within one more than the number of outputs that can be asked.
    const size_t maxRounds = m.connections.size() + m.outputs.size() + 2;
    for (size_t round = 1; round <= maxRounds; ++round) {
        built.rounds = static_cast<int>(round);
        built.nodes.clear();
        built.nodes.reserve(order.size());
        bool again = false;
        for (const auto& name : order) {
            const Prepared& p = prep.at(name);
            Node node;
            node.name = name;
            node.plan = p.plan;
            node.sources = p.sources;
            for (int k = 0; k < p.inputs; ++k) {
                const auto& src = p.sources[static_cast<size_t>(k)];
                if (!src) continue;
                const host::Block& up = *built.node(src->instance).block;
                host::PortInfo info = up.outputPort(src->port);
                host::InputSpec& offer = node.plan.inputs[static_cast<size_t>(k)].offer;
                offer.dims = info.dims;
                offer.dataType = info.dataType;
                offer.complexSignal = info.complexSignal;
                offer.dimsMode = info.dimsMode;
                offer.frameData = info.frameData;
                node.plan.inputs[static_cast<size_t>(k)].variableSize = info.dimsMode == 1;
            }
            for (const auto& [port, type] : built.requests) {
                if (port.instance != name) continue;
                auto& reqs = node.plan.outputRequests;
                if (reqs.size() <= static_cast<size_t>(port.port))
                    reqs.resize(static_cast<size_t>(port.port) + 1);
                reqs[static_cast<size_t>(port.port)].dataType = type;
            }
            try {
                node.block = setup::configure(node.plan, name);
            } catch (const host::BlockError& e) {
                if (e.phase() == "propagate") {
                    for (const auto& [k, type] : requiredTypes(p, node.plan, name)) {
                        const PortRef& up = *p.sources[static_cast<size_t>(k)];
                        auto [it, fresh] = built.requests.emplace(up, type);
                        if (fresh) {
                            askedBy[up] = "input " + portLabel(p, true, k);
                            askedField[up] = fieldOf(m, p, "input " + std::to_string(k));
                            again = true;
                        } else if (it->second != type) {
                            throw ToolError(
                                kUnsupportedArray,
                                m.where(name, fieldOf(m, p, "input " + std::to_string(k)),
                                        "input " + portLabel(p, true, k) + " requires data type " +
                                            types::typeName(type) + ", but output " + up.text() +
                                            " is already asked for " + types::typeName(it->second) + " by " +
                                            askedBy[up]));
                        }
                    }
                    if (again) break;
                }
                std::string text = e.text();
                std::string field = fieldOf(m, p, text);
                // What was asked of this block's outputs may be what it refused.
                for (const auto& [port, type] : built.requests) {
                    if (port.instance != name) continue;
                    text += " (output " + std::to_string(port.port) + " is asked for " +
                            types::typeName(type) + " by " + askedBy[port] + ")";
                    if (field == "/blocks/" + name) field = askedField[port];
                }
                // A block's own refusal rarely names the port: say what the connections offered it.
                if ((e.phase() == "propagate" || e.phase() == "start") && field == "/blocks/" + name) {
                    std::string offered;
                    for (int k = 0; k < p.inputs; ++k)
                        if (const auto& src = p.sources[static_cast<size_t>(k)]) {
                            const host::InputSpec& o = node.plan.inputs[static_cast<size_t>(k)].offer;
                            cli::Signal shape;
                            shape.dataType = o.dataType;
                            shape.complex = o.complexSignal == 1;
                            shape.dims = o.dims;
                            offered += std::string(offered.empty() ? "" : "; ") + "input " +
                                       std::to_string(k) + " was offered " + cli::describeSignal(shape) +
                                       (o.dimsMode == 1 ? " variable-size" : "") + " by " + src->text();
                            if (field == "/blocks/" + name)
                                field = fieldOf(m, p, "input " + std::to_string(k));
                        }
                    if (!offered.empty()) text += " (" + offered + ")";
                }
                throw ToolError(e.messageClass(), m.where(name, field, text));
            }
            built.nodes.push_back(std::move(node));
        }
        if (!again) break;
        if (round == maxRounds)
            throw ToolError(kUnsupportedArray, m.where("", "/connections", "the data types did not settle"));
    }

    // A change before a step must be to a tunable parameter; found now rather than halfway through a run.
    for (auto& node : built.nodes) {
        const Prepared& p = prep.at(node.name);
        for (const auto& [step, change] : p.inst->changes) {
            setup::ParamSetting s = settingOf(change.first, change.second);
            int index = s.index ? *s.index : -1;
            if (!s.index && p.block.dialog)
                if (const auto* d = p.block.dialog->findByName(s.name)) index = d->index;
            if (index >= 0 && !node.block->isParamTunable(index))
                throw UsageError(
                    kUsage,
                    m.where(node.name,
                            "/blocks/" + node.name + "/changes/" + std::to_string(step) + "/" + change.first,
                            "parameter '" + change.first + "' of " + p.block.displayName +
                                " is not tunable; it cannot change during a run"));
        }
    }
    return built;
}

}  // namespace dravo::model
