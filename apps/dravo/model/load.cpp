// From a model file's text to a Model: the schema first, then what the schema cannot say.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "model.h"

namespace dravo::model {
namespace fs = std::filesystem;
using namespace cli::msg;
using Json = nlohmann::ordered_json;

const Instance* Model::find(const std::string& name) const {
    for (const auto& i : instances)
        if (i.name == name) return &i;
    return nullptr;
}

std::string Model::where(const std::string& instance, const std::string& path,
                         const std::string& text) const {
    std::string s = file + ": ";
    if (!instance.empty()) s += "instance '" + instance + "', ";
    if (!path.empty()) s += path + ": ";
    return s + text;
}

namespace {

// A JSON number as -s and -i read it: whole numbers plainly, others with every digit a double needs.
std::string numberText(const Json& v) {
    if (v.is_number_integer())
        return v.is_number_unsigned() ? std::to_string(v.get<uint64_t>()) : std::to_string(v.get<int64_t>());
    double d = v.get<double>();
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", d);
    return buf;
}

// A parameter value as -s takes it: "[1 2 3]" for a vector, "[1 2; 3 4]" for rows of a matrix.
std::string paramText(const Model& m, const std::string& inst, const std::string& path, const Json& v) {
    if (v.is_string()) return v.get<std::string>();
    if (v.is_boolean()) return v.get<bool>() ? "1" : "0";
    if (v.is_number()) return numberText(v);
    std::string s = "[";
    bool matrix = !v.empty() && v[0].is_array();
    size_t cols = matrix ? v[0].size() : 0;
    for (size_t r = 0; r < v.size(); ++r) {
        if (matrix) {
            if (v[r].size() != cols)
                throw UsageError(kBadValue, m.where(inst, path + "/" + std::to_string(r),
                                                    "row of " + std::to_string(v[r].size()) +
                                                        " numbers where row 0 has " + std::to_string(cols)));
            if (r) s += "; ";
            for (size_t c = 0; c < cols; ++c)
                s += (c ? " " : "") + numberText(v[r][c]);
        } else {
            s += (r ? " " : "") + numberText(v[r]);
        }
    }
    return s + "]";
}

PortRef portRef(const std::string& text) {
    size_t dot = text.rfind('.');
    return {text.substr(0, dot), std::stoi(text.substr(dot + 1))};
}

// An input file path as written in the model: relative to the model's folder.
std::string resolvePath(const std::string& folder, const std::string& p) {
    if (p.empty() || fs::path(p).is_absolute() || folder.empty()) return p;
    return (fs::path(folder) / p).string();
}

// Input data as -i takes it, with file names resolved against the model's folder.
std::string inputText(const Model& m, const Json& v) {
    if (v.is_number()) return numberText(v);
    if (v.is_array()) {
        std::string s;
        for (const auto& x : v)
            s += (s.empty() ? "" : ",") +
                 (x.is_number() ? numberText(x) : resolvePath(m.folder, x.get<std::string>()));
        return s;
    }
    std::string text = v.get<std::string>();
    std::error_code ec;
    if (cli::looksLikeNumberList(text) && !fs::exists(resolvePath(m.folder, text), ec)) return text;
    if (text.find(',') == std::string::npos || fs::exists(resolvePath(m.folder, text), ec))
        return resolvePath(m.folder, text);
    std::string s;
    size_t start = 0;
    while (true) {
        size_t comma = text.find(',', start);
        s += (start ? "," : "") +
             resolvePath(m.folder,
                         text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) return s;
        start = comma + 1;
    }
}

void checkInstance(const Model& m, const PortRef& p, const std::string& path) {
    if (!m.find(p.instance))
        throw UsageError(kUnknownBlock,
                         m.where(p.instance, path, "no instance named '" + p.instance + "' in /blocks"));
}

// What the graph must satisfy before any block is loaded.
void checkGraph(const Model& m) {
    std::map<PortRef, size_t> fed;  // input -> connection index
    for (const auto& c : m.connections) {
        std::string path = "/connections/" + std::to_string(c.index);
        checkInstance(m, c.from, path + "/0");
        checkInstance(m, c.to, path + "/1");
        auto [it, fresh] = fed.emplace(c.to, c.index);
        if (!fresh)
            throw UsageError(kUsage,
                             m.where(c.to.instance, path + "/1",
                                     "input " + c.to.text() + " already has a connection (/connections/" +
                                         std::to_string(it->second) + "); an input takes one"));
    }
    for (const auto& in : m.inputs) {
        std::string path = "/inputs/" + in.port.text();
        checkInstance(m, in.port, path);
        if (auto it = fed.find(in.port); it != fed.end())
            throw UsageError(kUsage, m.where(in.port.instance, path,
                                             "input " + in.port.text() + " is also fed by /connections/" +
                                                 std::to_string(it->second) + "; an input takes one source"));
    }
    std::map<std::string, std::string> files;
    for (const auto& out : m.outputs) {
        std::string path = "/outputs/" + out.port.text();
        checkInstance(m, out.port, path);
        auto [it, fresh] = files.emplace(fs::path(out.path).lexically_normal().string(), out.port.text());
        if (!fresh)
            throw UsageError(kUsage, m.where(out.port.instance, path,
                                             "'" + out.path + "' is also the file of output " + it->second));
    }
}

}  // namespace

Model parseModel(const std::string& jsonText, const std::string& file) {
    Model m;
    m.file = file;
    m.folder = fs::path(file).parent_path().string();
    Json doc;
    try {
        doc = Json::parse(jsonText);
    } catch (const nlohmann::json::parse_error& e) {
        // "[json.exception.parse_error.101] parse error at line 3, column 5: ..." without the prefix.
        std::string what = e.what();
        size_t at = what.find("] ");
        throw ToolError(
            kMalformedFile,
            m.where("", "", "not valid JSON: " + what.substr(at == std::string::npos ? 0 : at + 2)));
    }
    if (auto dup = duplicateKeyPath(jsonText)) {
        std::string inst;
        if (dup->rfind("/blocks/", 0) == 0) inst = dup->substr(8, dup->find('/', 8) - 8);
        throw UsageError(kUsage, m.where(inst, *dup, "the key is given twice; give it once"));
    }
    if (auto fault = schemaFault(jsonText)) {
        // Name the instance when the path lies inside one.
        std::string inst;
        if (fault->rfind("/blocks/", 0) == 0) {
            size_t end = fault->find('/', 8);
            inst = fault->substr(8, end == std::string::npos ? std::string::npos : end - 8);
            size_t colon = inst.find(':');
            if (colon != std::string::npos) inst = inst.substr(0, colon);
        }
        throw UsageError(kUsage, m.where(inst, "", "does not fit the model schema at " + *fault));
    }

    for (const auto& [name, b] : doc["blocks"].items()) {
        Instance inst;
        inst.name = name;
        inst.block = b["block"].get<std::string>();
        if (b.contains("params"))
            for (const auto& [p, v] : b["params"].items())
                inst.params.emplace_back(p, paramText(m, name, "/blocks/" + name + "/params/" + p, v));
        if (b.contains("changes"))
            for (const auto& [step, list] : b["changes"].items())
                for (const auto& [p, v] : list.items())
                    inst.changes.push_back(
                        {std::stoi(step),
                         {p, paramText(m, name, "/blocks/" + name + "/changes/" + step + "/" + p, v)}});
        m.instances.push_back(std::move(inst));
    }
    if (doc.contains("connections"))
        for (size_t k = 0; k < doc["connections"].size(); ++k) {
            const Json& c = doc["connections"][k];
            m.connections.push_back({portRef(c[0].get<std::string>()), portRef(c[1].get<std::string>()), k});
        }
    if (doc.contains("inputs"))
        for (const auto& [port, v] : doc["inputs"].items()) {
            ModelInput in;
            in.port = portRef(port);
            const Json& data = v.is_object() ? v["data"] : v;
            in.text = inputText(m, data);
            if (v.is_object() && v.contains("type")) in.type = v["type"].get<std::string>();
            if (v.is_object() && v.contains("variableSize")) in.variableSize = v["variableSize"].get<bool>();
            m.inputs.push_back(std::move(in));
        }
    if (doc.contains("outputs"))
        for (const auto& [port, v] : doc["outputs"].items()) {
            ModelOutput out;
            out.port = portRef(port);
            out.path = v.is_object() ? v["file"].get<std::string>() : v.get<std::string>();
            if (v.is_object() && v.contains("type")) out.type = v["type"].get<std::string>();
            if (v.is_object() && v.contains("realWorld")) out.realWorld = v["realWorld"].get<bool>();
            m.outputs.push_back(std::move(out));
        }
    if (doc.contains("settings")) {
        const Json& s = doc["settings"];
        m.settings.simMode = s.value("simMode", 0);
        m.logging = s.value("logging", false);
        m.settings.minMaxOverflowLogging = m.logging ? 1 : 0;
        m.settings.dataTypeOverride = s.value("dataTypeOverride", false) ? 1 : 0;
        m.steps = s.value("steps", 0);
    }
    checkGraph(m);
    dependencyOrder(m);  // a cycle is the file's fault, found before any plug-in loads
    return m;
}

Model loadModel(const std::string& file) {
    std::ifstream f(file, std::ios::binary);
    if (!f) throw ToolError(kUnreadableFile, file + ": cannot read the model file");
    std::stringstream ss;
    ss << f.rdbuf();
    if (f.bad()) throw ToolError(kUnreadableFile, file + ": cannot read the model file");
    return parseModel(ss.str(), file);
}

}  // namespace dravo::model
