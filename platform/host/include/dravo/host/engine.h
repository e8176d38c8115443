// The host's own C++ API: load a plug-in, configure one block instance, drive its lifecycle, read results.
// Used by the dravo command line and by the tests. Errors reported by a block (or found by the host) come
// out as BlockError; nothing here lets an exception cross into a plug-in.
//
// Lifecycle, each stage running the ones before it if needed:
//   Block b(plugin, "rotate", settings);
//   b.setParameter(i, array) ...          dialog values (defaults come from the caller)
//   b.initialize();                       mdlInitializeSizes, then mdlCheckParameters
//   b.propagate({inputSpec...}, {request...});  offers, requests, defaults; refuses unset attributes
//   b.start();                            mdlInitializeSampleTimes, mdlSetWorkWidths, DWork/RTP allocation, mdlStart
//   b.setInput(port, bytes, currentDims); b.step();  b.output(port) ...
//   b.changeParameter(i, array);          tunable: mdlCheckParameters then mdlProcessParameters
//   b.terminate();                        also done by the destructor
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "blockcallbacks.h"
#include "qzarray.h"
#include "sysobj.h"

namespace dravo::host {

struct Settings {
    int32_t simMode = 0;                // 0 normal; 1 sizes only; 2, 3 as the blocks describe
    int32_t minMaxOverflowLogging = 0;  // 1 on
    int32_t dataTypeOverride = 0;       // 1 on: scaled doubles
};

// A block's (or the host's) error: which phase, which block, the message class (empty for a plain
// text) and the text. Phases: "load", "parameters", "initialize", "propagate", "start", "setInput",
// "step", "changeParameter", "terminate", "codegen", and "query"/"output" for a bad port index.
// what() reads "<block> (<phase>): <text> [<message class>]".
class BlockError : public std::runtime_error {
  public:
    BlockError(std::string phase, std::string block, std::string messageClass, std::string text);
    const std::string& phase() const { return phase_; }
    const std::string& block() const { return block_; }
    const std::string& messageClass() const { return messageClass_; }
    const std::string& text() const { return text_; }

  private:
    std::string phase_, block_, messageClass_, text_;
};

struct Warning {
    std::string messageClass;  // may be empty
    std::string text;
};

// Owning wrapper of a host array.
class Array {
  public:
    Array() = default;
    explicit Array(qzArray_tag* owned) : a_(owned) {}
    static Array scalar(double v);
    static Array realVector(const std::vector<double>& v);  // 1 x n row
    static Array complexScalar(double re, double im);
    static Array matrix(size_t rows, size_t cols, const std::vector<double>& columnMajor);
    static Array empty();  // 0 x 0 double
    Array(const Array& o);
    Array& operator=(const Array& o);
    Array(Array&& o) noexcept;
    Array& operator=(Array&& o) noexcept;
    ~Array();
    const qzArray_tag* get() const { return a_; }
    qzArray_tag* get() { return a_; }

  private:
    qzArray_tag* a_ = nullptr;
};

// A loaded plug-in; the callback table is looked up through the shared callback types.
class Plugin {
  public:
    // name: a plug-in name ("pellor") or a path to a .so. Block names belong to the dialog descriptions,
    // which name their plug-in; the host knows none of them. Searches DRAVO_PLUGIN_PATH, then the
    // build/install tree. Throws BlockError (phase "load").
    static std::shared_ptr<Plugin> load(const std::string& name);
    // The file load(name) would open, without opening it; nullopt when there is none.
    static std::optional<std::string> locate(const std::string& name);
    // Every plug-in that can be found: (plug-in name, path).
    static std::vector<std::pair<std::string, std::string>> discover();
    ~Plugin();
    const std::string& name() const { return name_; }
    const std::string& path() const { return path_; }
#define DRAVO_DECLARE_CALLBACK_FIELD(cb) cb##TYPE* cb = nullptr;
    DRAVO_BLOCK_CALLBACKS(DRAVO_DECLARE_CALLBACK_FIELD)
#undef DRAVO_DECLARE_CALLBACK_FIELD

  private:
    Plugin() = default;
    void* handle_ = nullptr;
    std::string name_, path_;
};

// What the caller offers on an input port (a connected upstream block).
struct InputSpec {
    std::vector<int32_t> dims;  // rows first; for a variable-size port, the maximum
    DataTypeId dataType = DYNAMICALLY_TYPED;
    int32_t complexSignal = 0;
    int32_t dimsMode = 0;  // 0 fixed, 1 variable
    int32_t frameData = 0;
};

// What the caller fixes on an output port (plays a downstream block); unset fields are free.
struct OutputRequest {
    std::optional<std::vector<int32_t>> dims;
    std::optional<DataTypeId> dataType;
    std::optional<int32_t> complexSignal;
};

struct PortInfo {
    std::vector<int32_t> dims;
    int32_t width = -1;
    DataTypeId dataType = DYNAMICALLY_TYPED;
    int32_t complexSignal = -1;
    int32_t frameData = -1;
    int32_t dimsMode = -1;
    int32_t connected = 1;
};

struct DWorkInfo {
    std::string name;
    int32_t width = 0;
    DataTypeId dataType = 0;
    int32_t complexSignal = 0;
    int32_t usageType = 0;
};

struct RtpInfo {
    std::string name;
    DataTypeId dataType = 0;
    int32_t complexSignal = 0;
    std::vector<int32_t> dims;
    int32_t dlgParamIndex = -1;
    std::vector<uint8_t> bytes;  // a copy of the data as stored
};

struct NameValuePair {
    int32_t kind = 0;
    std::string name;
    DataTypeId dataType = 0;
    int32_t rows = 0, cols = 0;
    std::vector<uint8_t> bytes;
};

class Block {
  public:
    Block(std::shared_ptr<Plugin> plugin, std::string instanceName, Settings settings = {});
    ~Block();  // terminates a started block; never throws
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;

    const std::string& name() const;
    const Settings& settings() const;
    Plugin& plugin();

    // Dialog parameters before initialize(); index from 0. Missing ones are empty arrays.
    void setParameters(std::vector<Array> params);
    void setParameter(int32_t index, Array value);
    const Array& parameter(int32_t index) const;

    void initialize();
    void propagate(const std::vector<InputSpec>& inputs, const std::vector<OutputRequest>& outputs = {});
    void start();

    int32_t numInputPorts() const;
    int32_t numOutputPorts() const;
    PortInfo inputPort(int32_t port) const;
    PortInfo outputPort(int32_t port) const;

    // Copies one step's input data (stored bytes, column-major). currentDims: required for a
    // variable-size port (each at most the declared size), ignored otherwise; the byte count must
    // match the current element count x type size x complexity.
    void setInput(int32_t port, const void* data, size_t bytes, const std::vector<int32_t>& currentDims = {});
    // The same without a copy: sets the port's current dimensions as setInput does and returns the
    // host's buffer of the port, into which the caller writes exactly *bytes bytes (stored elements,
    // column-major) before step(). The pointer stays valid until terminate().
    void* inputBuffer(int32_t port, const std::vector<int32_t>& currentDims, size_t* bytes);
    void step();
    const void* output(int32_t port) const;
    std::vector<int32_t> currentOutputDims(int32_t port) const;
    size_t currentOutputBytes(int32_t port) const;

    // Tunable change while running: refused (BlockError) for a non-tunable parameter.
    void changeParameter(int32_t index, Array value);
    void terminate();

    std::vector<DWorkInfo> dworks() const;
    std::vector<RtpInfo> runTimeParams() const;
    const std::vector<NameValuePair>& nameValuePairs() const;
    const std::vector<Warning>& warnings() const;
    bool isParamTunable(int32_t index) const;

    // Hands the code generator's handle to mdlTarnCG (after start()); errors come out as BlockError.
    void generateCode(TarnCG::CGHandle* cg);

    sysobj::SysObjAdaptorSFun* handle();

  private:
    std::unique_ptr<sysobj::SysObjAdaptorSFun> impl_;
};

}  // namespace dravo::host
