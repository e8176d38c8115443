#include "dialogs.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <iostream>
#include <nlohmann/json.hpp>
#include <set>

#include "errors.h"
#include "io_npy.h"

#ifndef DRAVO_SOURCE_DIALOG_DIR
#define DRAVO_SOURCE_DIALOG_DIR ""
#endif

namespace dravo::cli {
namespace fs = std::filesystem;
using nlohmann::json;

namespace {

[[noreturn]] void badDescription(const std::string& source, const std::string& why) {
    throw ToolError(msg::kBadDialogDescription, "dialog description '" + source + "': " + why);
}

std::string lower(std::string s) {
    for (auto& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The form a user may type a name in: any case, with spaces, '_' or '-' between words, so
// "Output data type", "output_data_type" and "outputDataType" all name one parameter.
std::string folded(const std::string& s) {
    std::string out;
    for (char c : s)
        if (c != ' ' && c != '_' && c != '-')
            out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool isIdentifier(const std::string& s) {
    if (s.empty()) return false;
    for (char c : s)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-') return false;
    return true;
}

Value valueFromJson(const json& j, const std::string& source, const std::string& what) {
    if (j.is_number()) return Value::scalar(j.get<double>());
    if (j.is_string()) {
        try {
            return parseValue(j.get<std::string>());
        } catch (const ToolError& e) {
            badDescription(source, what + ": " + e.what());
        }
    }
    if (j.is_array()) {
        Value v;
        if (j.empty()) return v;
        bool matrix = j[0].is_array();
        std::vector<std::vector<double>> rows;
        if (matrix) {
            for (const auto& row : j) {
                if (!row.is_array() || row.empty())
                    badDescription(source, what + ": a matrix is a list of rows");
                std::vector<double> r;
                for (const auto& x : row) {
                    if (!x.is_number()) badDescription(source, what + ": matrix elements must be numbers");
                    r.push_back(x.get<double>());
                }
                rows.push_back(std::move(r));
            }
        } else {
            std::vector<double> r;
            for (const auto& x : j) {
                if (!x.is_number()) badDescription(source, what + ": vector elements must be numbers");
                r.push_back(x.get<double>());
            }
            rows.push_back(std::move(r));
        }
        v.rows = rows.size();
        v.cols = rows[0].size();
        v.re.resize(v.rows * v.cols);
        for (size_t r = 0; r < v.rows; ++r) {
            if (rows[r].size() != v.cols) badDescription(source, what + ": rows of different lengths");
            for (size_t c = 0; c < v.cols; ++c)
                v.re[r + c * v.rows] = rows[r][c];
        }
        return v;
    }
    badDescription(source, what + ": expected a number, a list of numbers or a value string");
}

std::string requireString(const json& j, const char* key, const std::string& source,
                          const std::string& where) {
    if (!j.contains(key) || !j[key].is_string())
        badDescription(source, where + "'" + key + "' must be a string");
    return j[key].get<std::string>();
}

std::vector<PortDescription> parsePorts(const json& j, const char* key, const std::string& source) {
    std::vector<PortDescription> ports;
    if (!j.contains(key)) return ports;
    if (!j[key].is_array()) badDescription(source, std::string("'") + key + "' must be a list");
    for (const auto& p : j[key]) {
        if (!p.is_object()) badDescription(source, std::string("each of '") + key + "' must be an object");
        PortDescription port;
        port.name = requireString(p, "name", source, std::string(key) + ": ");
        if (p.contains("summary")) port.summary = requireString(p, "summary", source, port.name + ": ");
        if (p.contains("optional")) {
            if (!p["optional"].is_boolean())
                badDescription(source, port.name + ": 'optional' must be true or false");
            port.optional = p["optional"].get<bool>();
        }
        ports.push_back(std::move(port));
    }
    return ports;
}

ParamDescription parseParameter(const json& p, const std::string& source) {
    if (!p.is_object()) badDescription(source, "each parameter must be an object");
    ParamDescription d;
    if (!p.contains("index") || !p["index"].is_number_integer() || p["index"].get<long long>() < 0 ||
        p["index"].get<long long>() > 10000)
        badDescription(source, "each parameter needs an 'index' (an integer from 0)");
    d.index = p["index"].get<int>();
    std::string where = "parameter " + std::to_string(d.index) + ": ";
    d.name = requireString(p, "name", source, where);
    if (!isIdentifier(d.name))
        badDescription(
            source, where + "name '" + d.name + "' has characters other than letters, digits, '_' and '-'");
    std::string kind = requireString(p, "kind", source, where);
    if (kind == "number")
        d.kind = ParamKind::Number;
    else if (kind == "vector")
        d.kind = ParamKind::Vector;
    else if (kind == "popup")
        d.kind = ParamKind::Popup;
    else
        badDescription(source, where + "kind must be number, vector or popup, not '" + kind + "'");
    if (p.contains("summary")) d.summary = requireString(p, "summary", source, where);
    if (p.contains("tunable")) {
        if (!p["tunable"].is_boolean()) badDescription(source, where + "'tunable' must be true or false");
        d.tunable = p["tunable"].get<bool>();
    }
    if (p.contains("whole")) {
        const json& w = p["whole"];
        if (d.kind == ParamKind::Popup || !w.is_array() || w.size() != 2 || !w[0].is_number() ||
            !w[1].is_number() || w[0].get<double>() > w[1].get<double>())
            badDescription(source, where + "'whole' must be [low, high] on a number or vector parameter");
        d.wholeRange = std::make_pair(w[0].get<double>(), w[1].get<double>());
    }
    if (d.kind == ParamKind::Popup) {
        if (!p.contains("choices") || !p["choices"].is_array() || p["choices"].empty())
            badDescription(source, where + "a popup needs a list of 'choices'");
        for (const auto& c : p["choices"]) {
            if (!c.is_string()) badDescription(source, where + "choices must be strings");
            d.choices.push_back(c.get<std::string>());
        }
        if (p.contains("values")) {
            if (!p["values"].is_array() || p["values"].size() != d.choices.size())
                badDescription(source, where + "'values' must list one number per choice");
            for (const auto& v : p["values"]) {
                if (!v.is_number()) badDescription(source, where + "'values' must be numbers");
                d.choiceValues.push_back(v.get<double>());
            }
        } else {
            for (size_t i = 0; i < d.choices.size(); ++i)
                d.choiceValues.push_back(double(i + 1));
        }
    } else if (p.contains("choices") || p.contains("values")) {
        badDescription(source, where + "only a popup has choices");
    }
    if (!p.contains("default")) badDescription(source, where + "'default' is missing");
    if (d.kind == ParamKind::Popup && p["default"].is_string()) {
        try {
            d.defaultValue = popupValue(d, p["default"].get<std::string>());
        } catch (const ToolError& e) {
            badDescription(source, where + "default: " + e.what());
        }
    } else {
        d.defaultValue = valueFromJson(p["default"], source, where + "default");
        if (d.kind == ParamKind::Popup &&
            (!d.defaultValue.isScalar() || std::find(d.choiceValues.begin(), d.choiceValues.end(),
                                                     d.defaultValue.re[0]) == d.choiceValues.end()))
            badDescription(source, where + "the default is none of the popup's values");
    }
    if (d.wholeRange)
        for (double x : d.defaultValue.re)
            if (x < d.wholeRange->first || x > d.wholeRange->second)
                badDescription(source, where + "the default is outside the 'whole' range");
    return d;
}

}  // namespace

const ParamDescription* DialogDescription::findByName(const std::string& name) const {
    for (const auto& p : parameters)
        if (p.name == name) return &p;
    // Otherwise names match in any case and word separation when that is unambiguous.
    const ParamDescription* found = nullptr;
    for (const auto& p : parameters)
        if (folded(p.name) == folded(name)) {
            if (found) return nullptr;
            found = &p;
        }
    return found;
}

const ParamDescription* DialogDescription::findByIndex(int index) const {
    for (const auto& p : parameters)
        if (p.index == index) return &p;
    return nullptr;
}

int DialogDescription::maxIndex() const {
    return parameters.empty() ? -1 : parameters.back().index;
}

DialogDescription parseDialogDescription(const std::string& jsonText, const std::string& sourcePath) {
    json j;
    try {
        j = json::parse(jsonText);
    } catch (const json::exception& e) {
        badDescription(sourcePath, std::string("not valid JSON: ") + e.what());
    }
    if (!j.is_object()) badDescription(sourcePath, "the top level must be an object");
    DialogDescription d;
    d.sourcePath = sourcePath;
    d.block = requireString(j, "block", sourcePath, "");
    d.plugin = requireString(j, "plugin", sourcePath, "");
    d.summary = requireString(j, "summary", sourcePath, "");
    if (!isIdentifier(d.block) || !isIdentifier(d.plugin))
        badDescription(sourcePath, "block and plugin must be plain names");
    d.inputs = parsePorts(j, "inputs", sourcePath);
    d.outputs = parsePorts(j, "outputs", sourcePath);
    if (!j.contains("parameters") || !j["parameters"].is_array())
        badDescription(sourcePath, "'parameters' must be a list");
    std::set<int> indices;
    std::set<std::string> names;
    for (const auto& p : j["parameters"]) {
        ParamDescription param = parseParameter(p, sourcePath);
        if (!indices.insert(param.index).second)
            badDescription(sourcePath, "index " + std::to_string(param.index) + " appears twice");
        if (!names.insert(folded(param.name)).second)
            badDescription(sourcePath, "name '" + param.name + "' appears twice");
        d.parameters.push_back(std::move(param));
    }
    std::sort(d.parameters.begin(), d.parameters.end(),
              [](const auto& a, const auto& b) { return a.index < b.index; });
    return d;
}

std::vector<std::string> dialogFolders() {
    std::vector<std::string> folders;
    if (const char* env = std::getenv("DRAVO_DIALOG_PATH")) {
        std::string s = env;
        size_t start = 0;
        while (start <= s.size()) {
            size_t colon = s.find(':', start);
            std::string part =
                s.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
            if (!part.empty()) folders.push_back(part);
            if (colon == std::string::npos) break;
            start = colon + 1;
        }
    }
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) folders.push_back((exe.parent_path().parent_path() / "share" / "dravo" / "dialogs").string());
    if (std::string(DRAVO_SOURCE_DIALOG_DIR).size()) folders.push_back(DRAVO_SOURCE_DIALOG_DIR);
    return folders;
}

std::vector<DialogDescription> loadAllDialogs() {
    std::vector<DialogDescription> all;
    std::set<std::string> seen;
    for (const auto& folder : dialogFolders()) {
        std::error_code ec;
        if (!fs::is_directory(folder, ec)) continue;
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(folder, ec))
            if (entry.path().extension() == ".json") files.push_back(entry.path());
        std::sort(files.begin(), files.end());
        for (const auto& f : files) {
            try {
                auto bytes = readFileBytes(f.string());
                DialogDescription d =
                    parseDialogDescription(std::string(bytes.begin(), bytes.end()), f.string());
                if (seen.insert(d.block).second) all.push_back(std::move(d));
            } catch (const ToolError& e) {
                std::cerr << "warning: " << e.what() << "\n";
            }
        }
    }
    return all;
}

std::optional<DialogDescription> findDialog(const std::string& name) {
    for (auto& d : loadAllDialogs())
        if (d.block == name || d.plugin == name) return d;
    return std::nullopt;
}

Value popupValue(const ParamDescription& param, const std::string& text) {
    // In order: the exact label, the number a label stands for, a unique prefix, a unique part.
    for (size_t i = 0; i < param.choices.size(); ++i)
        if (param.choices[i] == text) return Value::scalar(param.choiceValues[i]);
    bool isNumber = looksLikeNumberList(text) && text.find(',') == std::string::npos;
    if (isNumber) {
        double v = parseNumberList(text)[0];
        if (std::find(param.choiceValues.begin(), param.choiceValues.end(), v) != param.choiceValues.end())
            return Value::scalar(v);
    }
    std::string wanted = lower(text);
    int matches = 0;
    if (!isNumber && !wanted.empty()) {
        for (bool partial : {false, true}) {
            size_t match = 0;
            matches = 0;
            for (size_t i = 0; i < param.choices.size(); ++i) {
                size_t at = lower(param.choices[i]).find(wanted);
                if (partial ? at != std::string::npos : at == 0) {
                    ++matches;
                    match = i;
                }
            }
            if (matches == 1) return Value::scalar(param.choiceValues[match]);
            if (matches > 1) break;
        }
    }
    std::string list;
    for (size_t i = 0; i < param.choices.size(); ++i)
        list += (i ? ", " : "") + formatNumber(param.choiceValues[i]) + " '" + param.choices[i] + "'";
    throw UsageError(msg::kBadValue, "'" + text + "' is " + (matches > 1 ? "ambiguous" : "not a choice") +
                                         " for " + param.name + "; choices: " + list);
}

std::string popupLabel(const ParamDescription& param, const Value& value) {
    if (value.isScalar() && !value.isComplex())
        for (size_t i = 0; i < param.choices.size(); ++i)
            if (param.choiceValues[i] == value.re[0]) return param.choices[i];
    return formatValue(value);
}

}  // namespace dravo::cli
