// Dependency order of a model's instances, and the cycle that prevents one.
#include <algorithm>
#include <set>

#include "model.h"

namespace dravo::model {
using namespace cli::msg;

std::vector<std::string> dependencyOrder(const Model& m) {
    std::map<std::string, std::set<std::string>> feeders;
    for (const auto& i : m.instances)
        feeders[i.name];
    for (const auto& c : m.connections)
        feeders[c.to.instance].insert(c.from.instance);

    std::vector<std::string> order;
    std::set<std::string> placed;
    while (order.size() < m.instances.size()) {
        // The first instance in file order whose feeders are all placed, so that the order is stable.
        const Instance* next = nullptr;
        for (const auto& i : m.instances) {
            if (placed.count(i.name)) continue;
            const auto& f = feeders[i.name];
            if (std::all_of(f.begin(), f.end(), [&](const std::string& x) { return placed.count(x) > 0; })) {
                next = &i;
                break;
            }
        }
        if (!next) {
            // Every instance left has a feeder left: walking feeders back must come round to one seen.
            std::string at;
            for (const auto& i : m.instances)
                if (!placed.count(i.name)) {
                    at = i.name;
                    break;
                }
            std::vector<std::string> walk;
            while (std::find(walk.begin(), walk.end(), at) == walk.end()) {
                walk.push_back(at);
                for (const auto& f : feeders[at])
                    if (!placed.count(f)) {
                        at = f;
                        break;
                    }
            }
            std::vector<std::string> cycle(std::find(walk.begin(), walk.end(), at), walk.end());
            std::reverse(cycle.begin(), cycle.end());
            std::string text;
            for (const auto& n : cycle)
                text += n + " -> ";
            text += cycle.front();
            throw UsageError(kUsage,
                             m.where(cycle.front(), "/connections", "the connections form a cycle: " + text));
        }
        placed.insert(next->name);
        order.push_back(next->name);
    }
    return order;
}

}  // namespace dravo::model
