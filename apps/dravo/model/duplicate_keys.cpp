// A key given twice in one object: the JSON reader keeps one of them silently, so the model would not
// mean what its file says.
#include <nlohmann/json.hpp>
#include <set>

#include "model.h"

namespace dravo::model {

namespace {

// One open object or array and the child being read in it.
struct Level {
    bool array = false;
    long next = 0;               // arrays: elements begun so far
    std::set<std::string> keys;  // objects: keys seen so far
    std::string key;             // objects: the current key
};

std::string pointerToken(const std::string& key) {
    std::string t;
    for (char c : key)
        t += c == '~' ? std::string("~0") : c == '/' ? std::string("~1") : std::string(1, c);
    return t;
}

struct Found {
    std::string path;
};

}  // namespace

std::optional<std::string> duplicateKeyPath(const std::string& jsonText) {
    using Json = nlohmann::json;
    std::vector<Level> levels;
    auto beginChild = [&] {
        if (!levels.empty() && levels.back().array) ++levels.back().next;
    };
    Json::parser_callback_t callback = [&](int, Json::parse_event_t event, Json& parsed) {
        switch (event) {
            case Json::parse_event_t::object_start:
            case Json::parse_event_t::array_start:
                beginChild();
                levels.push_back({event == Json::parse_event_t::array_start, 0, {}, {}});
                break;
            case Json::parse_event_t::object_end:
            case Json::parse_event_t::array_end:
                if (!levels.empty()) levels.pop_back();
                break;
            case Json::parse_event_t::key: {
                Level& top = levels.back();
                top.key = parsed.get<std::string>();
                if (!top.keys.insert(top.key).second) {
                    std::string path;
                    for (const Level& l : levels)
                        path += "/" + (l.array ? std::to_string(l.next - 1) : pointerToken(l.key));
                    throw Found{path};
                }
                break;
            }
            case Json::parse_event_t::value:
                beginChild();
                break;
        }
        // Keep everything: the reader reports nothing inside a container a callback discarded.
        return true;
    };
    try {
        Json::parse(jsonText, callback, /*allow_exceptions=*/false);
    } catch (const Found& f) {
        return f.path;
    }
    return std::nullopt;
}

}  // namespace dravo::model
