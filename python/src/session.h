// One block instance driven from Python: configured through the command line's set-up path on its
// first step (the inputs fix port sizes and types, as `dravo run`'s files do), then stepped, with
// tunable changes in between. Steps run without the GIL.
#pragma once

#include <pybind11/pybind11.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "setup/setup.h"

namespace dravo::python {

namespace py = pybind11;

using Settings = std::vector<std::pair<std::string, std::string>>;  // (dialog name, value text)

struct SessionOptions {
    host::Settings host;
    std::map<int, std::vector<int32_t>> variableSize;  // port -> largest dims
    std::vector<std::string> outputTypes;              // "[PORT=]TYPE"
    bool realWorld = false;
};

class Session {
  public:
    Session(std::string block, Settings params, SessionOptions options);
    ~Session();

    // Outputs of one step, one entry per output port.
    std::vector<py::object> step(const std::vector<py::object>& inputs);
    void set(const Settings& params);
    void close();
    bool started() const { return block_ != nullptr; }

    // Configures the block on these inputs without stepping (for code generation).
    host::Block& configured(const std::vector<py::object>& inputs);
    const setup::Plan& plan() const { return *plan_; }

  private:
    std::vector<cli::Signal> convertInputs(const std::vector<py::object>& inputs) const;
    void configure(const std::vector<cli::Signal>& signals);

    std::string blockName_;
    Settings params_;
    SessionOptions options_;
    std::optional<setup::Plan> plan_;
    std::unique_ptr<host::Block> block_;
    bool closed_ = false;
};

// Raises the Python exception that stands for the C++ one in flight (BlockError, ValueError,
// TypeError, OSError); call from a catch block.
[[noreturn]] void translateCurrentException();

// The lock that keeps the host's process-wide registries consistent: set-up takes it exclusively,
// steps share it.
void withSetupLock(const std::function<void()>& f);

}  // namespace dravo::python
