// The model schema, checked by a JSON Schema validator before anything else reads the file.
#include <memory>
#include <nlohmann/json.hpp>
#include <valijson/adapters/nlohmann_json_adapter.hpp>
#include <valijson/schema.hpp>
#include <valijson/schema_parser.hpp>
#include <valijson/validation_results.hpp>
#include <valijson/validator.hpp>

#include "model.h"

namespace dravo::model {

extern const char* const kModelSchemaText;  // generated from model.schema.json

const std::string& modelSchemaText() {
    static const std::string text = kModelSchemaText;
    return text;
}

namespace {

// Parsed once; the schema object cannot be copied or moved.
const valijson::Schema& modelSchema() {
    static const std::unique_ptr<valijson::Schema> schema = [] {
        auto s = std::make_unique<valijson::Schema>();
        nlohmann::json doc = nlohmann::json::parse(modelSchemaText());
        valijson::SchemaParser parser;
        valijson::adapters::NlohmannJsonAdapter adapter(doc);
        parser.populateSchema(adapter, *s);
        return s;
    }();
    return *schema;
}

// "<root>", "[blocks]", "[r]" -> "/blocks/r".
std::string pointerOf(const std::vector<std::string>& context) {
    std::string path;
    for (const auto& part : context) {
        if (part == "<root>") continue;
        std::string name = part;
        if (name.size() >= 2 && name.front() == '[' && name.back() == ']')
            name = name.substr(1, name.size() - 2);
        path += "/" + name;
    }
    return path.empty() ? "/" : path;
}

}  // namespace

std::optional<std::string> schemaFault(const std::string& jsonText) {
    nlohmann::json doc = nlohmann::json::parse(jsonText);
    valijson::Validator validator;
    valijson::ValidationResults results;
    valijson::adapters::NlohmannJsonAdapter target(doc);
    if (validator.validate(modelSchema(), target, &results)) return std::nullopt;
    // The deepest fault says most: a bad parameter rather than "the instance does not match". At one
    // depth, a concrete fault ("Missing required property") beats the wrappers of oneOf and of
    // properties ("Failed to validate against ..."), and the last alternative tried beats the first.
    auto concrete = [](const valijson::ValidationResults::Error& x) {
        return x.description.rfind("Failed to validate", 0) != 0;
    };
    valijson::ValidationResults::Error e, best;
    bool any = false;
    while (results.popError(e)) {
        bool better = !any || e.context.size() > best.context.size() ||
                      (e.context.size() == best.context.size() && (concrete(e) || !concrete(best)));
        if (better) best = e;
        any = true;
    }
    return pointerOf(best.context) + ": " + best.description;
}

}  // namespace dravo::model
