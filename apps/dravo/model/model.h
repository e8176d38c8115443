// Models: named block instances connected output to input, run step by step over frames.
//
// A model file is read in three stages, each refusing with one line that names the file, the instance
// and the field (a JSON path such as /blocks/r/params/angle):
//   loadModel     the JSON text, checked against the model schema, turned into a Model; the graph's own
//                 faults (unknown instance, two connections into one input, a cycle) are found here.
//   buildModel    every block through the one set-up path (Request -> Plan -> configured block), in
//                 dependency order, each connected input offered the upstream output's attributes; a
//                 data type a downstream input requires flows back to the upstream output as a request,
//                 and the whole model is configured again until nothing changes.
//   runModel      every block stepped per frame in dependency order, outputs written all together.
//
// Errors are cli::UsageError (the model cannot be meant: exit 2) or cli::ToolError (a file, a block or
// the host refused: exit 1). Nothing here prints.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "setup/setup.h"

namespace dravo::model {

using cli::ToolError;
using cli::UsageError;

// "inst.port": an instance's port, from 0.
struct PortRef {
    std::string instance;
    int port = 0;
    std::string text() const { return instance + "." + std::to_string(port); }
    bool operator<(const PortRef& o) const { return std::tie(instance, port) < std::tie(o.instance, o.port); }
    bool operator==(const PortRef& o) const { return instance == o.instance && port == o.port; }
};

struct Instance {
    std::string name;
    std::string block;                                        // as `dravo run` takes it
    std::vector<std::pair<std::string, std::string>> params;  // (name, value text as -s takes it)
    std::vector<std::pair<int, std::pair<std::string, std::string>>> changes;  // (step, (name, value))
};

struct Connection {
    PortRef from, to;
    size_t index = 0;  // in the file's list, for messages
};

struct ModelInput {
    PortRef port;
    std::string text;  // as -i takes it; relative paths resolved against the model's folder
    std::optional<std::string> type;
    bool variableSize = false;
};

struct ModelOutput {
    PortRef port;
    std::string path;                 // as given; resolved by the caller
    std::optional<std::string> type;  // what the output is asked to be (a downstream requirement)
    bool realWorld = false;
};

struct Model {
    std::string file;                 // as named by the user, for messages
    std::string folder;               // the model file's folder
    std::vector<Instance> instances;  // in file order
    std::vector<Connection> connections;
    std::vector<ModelInput> inputs;
    std::vector<ModelOutput> outputs;
    host::Settings settings;
    int steps = 0;  // 0: as many as the longest per-step input
    bool logging = false;

    const Instance* find(const std::string& name) const;
    // "FILE: instance 'x', /json/path: text" (the instance part left out when empty).
    std::string where(const std::string& instance, const std::string& path, const std::string& text) const;
};

// Parses and checks a model's JSON text; `file` names it in messages and gives the folder against which
// relative input paths are resolved.
Model parseModel(const std::string& jsonText, const std::string& file);
Model loadModel(const std::string& file);

// The JSON pointer of the first key given a second time in one object ("/blocks/r/params/angle"), or
// empty. Only for text that parses.
std::optional<std::string> duplicateKeyPath(const std::string& jsonText);

// The schema the file is checked against (model.schema.json beside this header, compiled in).
const std::string& modelSchemaText();
// Empty when the document passes; else "<json path>: <what is wrong>" for the most specific fault.
std::optional<std::string> schemaFault(const std::string& jsonText);

// Instances in dependency order (each after every instance that feeds it; ties in file order). A cycle
// is refused naming it: "a -> b -> a".
std::vector<std::string> dependencyOrder(const Model& m);

// One configured instance and where each of its inputs comes from.
struct Node {
    std::string name;
    setup::Plan plan;
    std::unique_ptr<host::Block> block;
    std::vector<std::optional<PortRef>> sources;  // per input port: the upstream output, or a model input
};

struct BuiltModel {
    std::vector<Node> nodes;  // in dependency order
    int steps = 1;
    int rounds = 0;                          // configuration passes until nothing changed
    std::map<PortRef, DataTypeId> requests;  // what flowed back to upstream outputs
    std::vector<std::string> warnings;
    Node& node(const std::string& name);
};

BuiltModel buildModel(const Model& m);

struct RunResult {
    std::vector<std::string> wrote;  // "wrote PATH (double 3x4)"
    std::vector<std::string> warnings;
};

// One step (from 1) of every block in dependency order: the step's parameter changes, its model inputs
// and the connected outputs of the blocks before it, then the block's step.
void stepModel(const Model& m, BuiltModel& built, int step);

// outDir: where relative output paths go (empty: the model's folder). Writes nothing unless every step
// of every block succeeded.
RunResult runModel(const Model& m, BuiltModel& built, const std::string& outDir);

}  // namespace dravo::model
