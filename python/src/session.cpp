#include "session.h"

#include <mutex>
#include <shared_mutex>

#include "arrays.h"
#include "errors.h"

namespace dravo::python {

namespace {

std::shared_mutex& registryMutex() {
    static std::shared_mutex m;
    return m;
}

std::vector<setup::ParamSetting> toSettings(const Settings& params) {
    std::vector<setup::ParamSetting> out;
    for (const auto& [name, text] : params)
        out.push_back(setup::ParamSetting{std::nullopt, name, text});
    return out;
}

[[noreturn]] void raise(const char* type, py::tuple args) {
    py::object cls = py::module_::import("dravo").attr(type);
    py::object exc = cls(*args);
    PyErr_SetObject(cls.ptr(), exc.ptr());
    throw py::error_already_set();
}

}  // namespace

[[noreturn]] void translateCurrentException() {
    try {
        throw;
    } catch (const py::error_already_set&) {
        throw;
    } catch (const py::builtin_exception&) {
        throw;
    } catch (const host::BlockError& e) {
        raise("BlockError", py::make_tuple(e.text(), e.messageClass(), e.phase(), e.block()));
    } catch (const cli::UsageError& e) {
        // Unknown names and malformed values are the caller's mistake.
        throw py::value_error(std::string(e.what()) +
                              (e.messageClass().empty() ? "" : " [" + e.messageClass() + "]"));
    } catch (const cli::ToolError& e) {
        raise("BlockError", py::make_tuple(std::string(e.what()), e.messageClass(), "", ""));
    } catch (const std::bad_alloc&) {
        throw py::error_already_set((PyErr_NoMemory(), py::error_already_set()));
    } catch (const std::exception& e) {
        throw std::runtime_error(e.what());
    }
}

void withSetupLock(const std::function<void()>& f) {
    std::unique_lock lock(registryMutex());
    f();
}

Session::Session(std::string block, Settings params, SessionOptions options)
    : blockName_(std::move(block)), params_(std::move(params)), options_(std::move(options)) {
    // Unknown blocks and parameters are found now, not at the first step.
    try {
        withSetupLock([&] {
            setup::ResolvedBlock rb = setup::resolveBlock(blockName_);
            setup::buildParameters(rb.dialog, toSettings(params_));
        });
    } catch (...) {
        translateCurrentException();
    }
}

Session::~Session() {
    try {
        close();
    } catch (...) {
    }
}

std::vector<cli::Signal> Session::convertInputs(const std::vector<py::object>& inputs) const {
    std::vector<cli::Signal> out;
    for (size_t p = 0; p < inputs.size(); ++p)
        out.push_back(signalFromPython(inputs[p], "input " + std::to_string(p)));
    return out;
}

void Session::configure(const std::vector<cli::Signal>& signals) {
    setup::Request r;
    r.block = blockName_;
    r.params = toSettings(params_);
    r.settings = options_.host;
    r.outputTypes = options_.outputTypes;
    for (size_t p = 0; p < signals.size(); ++p) {
        setup::InputRequest in;
        in.text = "input " + std::to_string(p);
        auto var = options_.variableSize.find(static_cast<int>(p));
        if (var != options_.variableSize.end()) {
            // The port is declared at its largest size; each step then says its own.
            cli::Signal largest;
            largest.dataType = signals[p].dataType;
            largest.complex = signals[p].complex;
            largest.dims = var->second;
            size_t n = 1;
            for (int32_t d : largest.dims)
                n *= static_cast<size_t>(std::max(d, 0));
            const size_t elem = signals[p].count() ? signals[p].bytes.size() / signals[p].count() : 8;
            largest.bytes.assign(n * elem, 0);
            in.signals.push_back(std::move(largest));
            r.variableSize.push_back(static_cast<int>(p));
        } else {
            in.signals.push_back(signals[p]);
        }
        r.inputs.push_back(std::move(in));
    }
    for (const auto& [port, dims] : options_.variableSize)
        if (port < 0 || static_cast<size_t>(port) >= signals.size())
            throw py::value_error("variable_size names input " + std::to_string(port) + ", but " +
                                  std::to_string(signals.size()) + " inputs were given");
    withSetupLock([&] {
        plan_ = setup::makePlan(r);
        block_ = setup::configure(*plan_);
    });
}

host::Block& Session::configured(const std::vector<py::object>& inputs) {
    if (closed_) throw py::value_error("the block is closed");
    try {
        if (!block_) configure(convertInputs(inputs));
    } catch (...) {
        translateCurrentException();
    }
    return *block_;
}

std::vector<py::object> Session::step(const std::vector<py::object>& inputs) {
    if (closed_) throw py::value_error("the block is closed");
    std::vector<py::object> outputs;
    try {
        std::vector<cli::Signal> signals = convertInputs(inputs);
        if (!block_) configure(signals);
        if (signals.size() != plan_->inputs.size())
            throw py::value_error("the block was set up with " + std::to_string(plan_->inputs.size()) +
                                  " inputs, this step gives " + std::to_string(signals.size()));
        for (size_t p = 0; p < signals.size(); ++p) {
            const host::PortInfo port = block_->inputPort(static_cast<int32_t>(p));
            const bool var = plan_->inputs[p].variableSize;
            if (signals[p].dataType != port.dataType ||
                static_cast<int32_t>(signals[p].complex) != port.complexSignal)
                throw py::value_error("input " + std::to_string(p) + ": the block was set up for " +
                                      (port.complexSignal ? "complex " : "") +
                                      types::typeName(port.dataType) + ", this step gives " +
                                      (signals[p].complex ? "complex " : "") +
                                      types::typeName(signals[p].dataType));
            if (!var && signals[p].dims != port.dims)
                throw py::value_error(
                    "input " + std::to_string(p) +
                    ": its size differs from the first step's; declare the port in variable_size");
        }
        {
            py::gil_scoped_release release;
            std::shared_lock lock(registryMutex());
            for (size_t p = 0; p < signals.size(); ++p)
                block_->setInput(static_cast<int32_t>(p), signals[p].bytes.data(), signals[p].bytes.size(),
                                 plan_->inputs[p].variableSize ? signals[p].dims : std::vector<int32_t>{});
            block_->step();
        }
        for (int32_t p = 0; p < block_->numOutputPorts(); ++p)
            outputs.push_back(signalToPython(setup::readOutput(*block_, p), options_.realWorld));
    } catch (...) {
        translateCurrentException();
    }
    return outputs;
}

void Session::set(const Settings& params) {
    if (closed_) throw py::value_error("the block is closed");
    try {
        withSetupLock([&] {
            setup::ResolvedBlock rb = setup::resolveBlock(blockName_);
            for (const auto& p : params) {
                std::vector<host::Array> all = setup::buildParameters(rb.dialog, toSettings({p}));
                const cli::ParamDescription* d = rb.dialog ? rb.dialog->findByName(p.first) : nullptr;
                if (!d)
                    throw cli::UsageError(cli::msg::kUnknownParameter,
                                          blockName_ + " has no parameter " + p.first);
                if (block_) {
                    block_->changeParameter(d->index, all.at(static_cast<size_t>(d->index)));
                    plan_->parameters.at(static_cast<size_t>(d->index)) =
                        all.at(static_cast<size_t>(d->index));
                }
            }
        });
        for (const auto& p : params)
            params_.push_back(p);
    } catch (...) {
        translateCurrentException();
    }
}

void Session::close() {
    if (closed_) return;
    closed_ = true;
    if (block_) {
        std::unique_ptr<host::Block> b = std::move(block_);
        withSetupLock([&] { b->terminate(); });
    }
}

}  // namespace dravo::python
