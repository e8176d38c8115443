// The `dravo._native` extension: the blocks, their descriptions, block sessions, files and generated
// code, over the same host, plug-ins and set-up path as the command line. The `dravo` package wraps it
// with Python-side conveniences (keyword parameters, fixed-point arrays, exceptions).
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <filesystem>

#include "allocator_policy.h"
#include "arrays.h"
#include "cg/emit_c.h"
#include "cg/host_bridge.h"
#include "cg/sil.h"
#include "cg/unit.h"
#include "dialogs.h"
#include "dravo/host/types.h"
#include "errors.h"
#include "output_files.h"
#include "session.h"

namespace py = pybind11;
using namespace dravo;
using python::Session;
using python::SessionOptions;
using python::Settings;

namespace {

py::object valueToPython(const cli::Value& v) {
    auto element = [&](size_t i) -> py::object {
        if (v.isComplex()) return py::cast(std::complex<double>(v.re[i], v.im[i]));
        return py::float_(v.re[i]);
    };
    if (v.isScalar()) return element(0);
    if (v.rows <= 1 || v.cols <= 1) {
        py::list out;
        for (size_t i = 0; i < v.size(); ++i)
            out.append(element(i));
        return out;
    }
    py::list rows;
    for (size_t r = 0; r < v.rows; ++r) {
        py::list row;
        for (size_t c = 0; c < v.cols; ++c)
            row.append(element(r + c * v.rows));
        rows.append(row);
    }
    return rows;
}

py::list blocks() {
    py::list out;
    for (const auto& d : cli::loadAllDialogs())
        out.append(py::dict(py::arg("name") = d.block, py::arg("plugin") = d.plugin,
                            py::arg("summary") = d.summary));
    return out;
}

py::dict describe(const std::string& name) {
    std::optional<cli::DialogDescription> d = cli::findDialog(name);
    if (!d) throw py::value_error("unknown block '" + name + "' (dravo.blocks() lists them)");
    auto ports = [](const std::vector<cli::PortDescription>& ps) {
        py::list out;
        for (size_t i = 0; i < ps.size(); ++i)
            out.append(py::dict(py::arg("index") = i, py::arg("name") = ps[i].name,
                                py::arg("summary") = ps[i].summary, py::arg("optional") = ps[i].optional));
        return out;
    };
    py::list params;
    for (const auto& p : d->parameters) {
        const char* kind = p.kind == cli::ParamKind::Popup    ? "popup"
                           : p.kind == cli::ParamKind::Vector ? "vector"
                                                              : "number";
        py::object def = p.kind == cli::ParamKind::Popup
                             ? py::object(py::str(cli::popupLabel(p, p.defaultValue)))
                             : valueToPython(p.defaultValue);
        py::dict e(py::arg("index") = p.index, py::arg("name") = p.name, py::arg("kind") = kind,
                   py::arg("default") = def, py::arg("choices") = p.choices, py::arg("summary") = p.summary,
                   py::arg("tunable") = p.tunable.value_or(false));
        params.append(e);
    }
    return py::dict(py::arg("name") = d->block, py::arg("plugin") = d->plugin,
                    py::arg("summary") = d->summary, py::arg("inputs") = ports(d->inputs),
                    py::arg("outputs") = ports(d->outputs), py::arg("parameters") = params);
}

SessionOptions sessionOptions(int simMode, bool logging, bool dtOverride,
                              std::map<int, std::vector<int32_t>> variableSize,
                              std::vector<std::string> outputTypes, bool realWorld) {
    SessionOptions o;
    o.host.simMode = simMode;
    o.host.minMaxOverflowLogging = logging ? 1 : 0;
    o.host.dataTypeOverride = dtOverride ? 1 : 0;
    o.variableSize = std::move(variableSize);
    o.outputTypes = std::move(outputTypes);
    o.realWorld = realWorld;
    return o;
}

void checkUnitName(const std::string& unit, bool forSil) {
    std::string runtime = CG::runtimeHeaderName();
    runtime = runtime.substr(0, runtime.rfind('.'));
    if (unit == CG::commonUnitName() || unit == runtime || (forSil && unit == "main"))
        throw py::value_error("unit name '" + unit + "' is the name of a file the generated code comes with");
}

std::string unitNameFor(Session& s, const std::string& name, bool forSil) {
    std::string unit = CG::cIdentifier(name.empty() ? s.plan().block.displayName : name);
    checkUnitName(unit, forSil);
    return unit;
}

py::list codegen(Session& s, const std::vector<py::object>& inputs, const std::string& outDir,
                 const std::string& name) {
    host::Block& block = s.configured(inputs);
    std::string unit = unitNameFor(s, name, false);
    std::string error;
    bool ok = false;
    {
        py::gil_scoped_release release;
        python::withSetupLock([&] {
            std::unique_ptr<TarnCG::CGHandle> h = TarnCG::makeHandle(block, unit, s.plan().block.displayName);
            ok = TarnCG::generateForBlock(block, *h, &error) && CG::writeUnit(h->unit(), outDir, &error);
        });
    }
    if (!ok) {
        py::object cls = py::module_::import("dravo").attr("BlockError");
        PyErr_SetObject(cls.ptr(), cls(error, "", "codegen", s.plan().block.displayName).ptr());
        throw py::error_already_set();
    }
    py::list files;
    for (const std::string& f :
         {unit + ".h", unit + ".c", std::string(CG::commonUnitName()) + ".h",
          std::string(CG::commonUnitName()) + ".c", std::string(CG::runtimeHeaderName())})
        files.append((std::filesystem::path(outDir) / f).string());
    return files;
}

py::dict sil(Session& s, const std::vector<py::object>& inputs, const std::string& workDir,
             const std::string& compiler, bool sanitize, const std::string& name) {
    host::Block& block = s.configured(inputs);
    std::string unit = unitNameFor(s, name, true);
    std::vector<CG::HarnessInput> hin;
    for (size_t p = 0; p < inputs.size(); ++p) {
        cli::Signal sig = python::signalFromPython(inputs[p], "input " + std::to_string(p));
        hin.push_back({sig.bytes, s.plan().inputs[p].variableSize ? sig.dims : std::vector<int32_t>{}});
    }
    CG::HarnessOptions h;
    h.workDir = workDir;
    h.compiler = compiler;
    h.sanitize = sanitize;
    TarnCG::SilResult r;
    {
        py::gil_scoped_release release;
        python::withSetupLock([&] { r = TarnCG::runSil(block, unit, s.plan().block.displayName, hin, h); });
    }
    if (!r.ran) {
        py::object cls = py::module_::import("dravo").attr("BlockError");
        std::string text =
            r.compilerMissing ? "no C compiler found: install one or name it with cc=..." : r.error;
        PyErr_SetObject(cls.ptr(), cls(text, "", "sil", s.plan().block.displayName).ptr());
        throw py::error_already_set();
    }
    return py::dict(py::arg("identical") = r.identical, py::arg("verdict") = r.verdict(),
                    py::arg("port") = r.port, py::arg("element") = r.element);
}

py::object load(const std::string& path, std::optional<std::string> typeName, bool realWorld) {
    try {
        std::optional<DataTypeId> asType;
        if (typeName) {
            asType = types::parseTypeName(*typeName);
            if (!asType) throw py::value_error("unknown type '" + *typeName + "'");
        }
        std::vector<std::string> warnings;
        cli::Signal s;
        python::withSetupLock([&] { s = cli::readSignalFile(path, asType, warnings); });
        return python::signalToPython(s, realWorld);
    } catch (...) {
        python::translateCurrentException();
    }
}

void save(const std::string& path, const py::object& value, bool realWorld) {
    try {
        cli::Signal s = python::signalFromPython(value, path);
        std::vector<std::string> warnings;
        std::vector<uint8_t> bytes = cli::encodeSignal(s, path, realWorld, warnings);
        cli::PendingOutputs out;
        out.add(path, bytes);
        out.commit();
    } catch (...) {
        python::translateCurrentException();
    }
}

void check(const std::string& block, const Settings& params) {
    Session probe(block, params, {});
}

}  // namespace

PYBIND11_MODULE(_native, m) {
    python::keepFreedFramesInProcess();
    m.doc() = "dravo's blocks over numpy arrays (see the dravo package)";
    m.def("blocks", &blocks);
    m.def("describe", &describe, py::arg("name"));
    m.def("check", &check, py::arg("block"), py::arg("params"));
    m.def("session_options", &sessionOptions);
    m.def("load", &load, py::arg("path"), py::arg("type") = std::nullopt, py::arg("real_world") = false);
    m.def("save", &save, py::arg("path"), py::arg("value"), py::arg("real_world") = false);
    m.def("type_info", [](const std::string& name) {
        std::optional<DataTypeId> id;
        python::withSetupLock([&] { id = types::parseTypeName(name); });
        if (!id) throw py::value_error("unknown type '" + name + "'");
        const types::TypeInfo& t = types::info(*id);
        return py::make_tuple(t.name, t.isSigned, t.wordLength, t.fracLength, t.containerBytes);
    });

    py::class_<SessionOptions>(m, "SessionOptions");
    py::class_<Session>(m, "Session")
        .def(py::init<std::string, Settings, SessionOptions>())
        .def("step", &Session::step)
        .def("set", &Session::set)
        .def("close", &Session::close)
        .def_property_readonly("started", &Session::started)
        .def("codegen", &codegen)
        .def("sil", &sil);
}
