// What one block instance becomes in generated code (a Unit), the description of the instance the code
// generator works from (BlockDesc: ports, work vectors, run-time parameters with their values), and the
// Pool of shared utility functions generated once per name for all units of a generation.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "cg/diagnostics.h"
#include "cg/ir.h"

namespace CG {

struct SignalDesc {
    Type elemType;              // element type, complex when the signal is
    std::vector<int32_t> dims;  // declared (maximum) dimensions, rows first
    int32_t width = 0;          // product of dims
    bool variableSize = false;
    int32_t dataTypeId = -1;  // the host's id, for reference
};

struct DataDesc {
    std::string name;
    Type elemType;
    std::vector<int32_t> dims;
    int32_t width = 0;
    std::vector<uint8_t> bytes;  // RTPs: the values the simulation used (stored, interleaved)
    bool tunable = false;
    int32_t dataTypeId = -1;
};

struct BlockDesc {
    std::string name;       // instance name; becomes the unit's C identifier prefix
    std::string blockType;  // e.g. "pad"
    std::vector<SignalDesc> inputs, outputs;
    std::vector<DataDesc> dworks, rtps;
};

// Shared utility functions of one generation, by name, in creation order.
class Pool {
  public:
    Function* find(const std::string& name);
    Function* create(const std::string& name);
    const std::vector<std::unique_ptr<Function>>& functions() const { return functions_; }

  private:
    std::vector<std::unique_ptr<Function>> functions_;
    std::map<std::string, Function*> byName_;
};

struct Unit {
    BlockDesc desc;
    Function start, step, terminate;
    std::shared_ptr<Pool> pool;
    std::set<std::string> usedUtilities;  // pool functions this unit calls
};

// A valid C identifier from an instance name ("pad 1" -> "pad_1").
std::string cIdentifier(const std::string& name);

// Maps a host data type id to an IR type; ids 0..8 are built in, others need the host's registry.
using DataTypeResolver = std::function<Type(int32_t dataTypeId)>;
Type builtinTypeFromId(int32_t dataTypeId);

}  // namespace CG
