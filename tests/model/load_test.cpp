// Model files read and checked before any plug-in is loaded: the schema's refusals with a path to the
// bad field, the graph's own faults, and values turned into the text -s and -i take.
#include <gtest/gtest.h>

#include <cstdlib>

#include "model.h"

namespace dravo::model {
namespace {

struct RefusalCase {
    const char* what;
    const char* json;
    const char* field;     // the JSON path the message must name
    const char* instance;  // the instance it must name, or "" when none
};

TEST(ModelLoad, MalformedModelsAreRefusedWithAPath) {
    const RefusalCase cases[] = {
        {"no blocks", R"({"connections": []})", "at /:", ""},
        {"empty blocks", R"({"blocks": {}})", "/blocks", ""},
        {"unknown top-level field", R"({"blocks": {"a": {"block": "pad"}}, "extras": 1})", "extras", ""},
        {"instance without block", R"({"blocks": {"a": {"params": {}}}})", "/blocks/a", "a"},
        {"parameter as an object", R"({"blocks": {"a": {"block": "pad", "params": {"method": {"x": 1}}}}})",
         "/blocks/a/params/method", "a"},
        {"vector of strings", R"({"blocks": {"a": {"block": "pad", "params": {"rowsPadSize": ["1"]}}}})",
         "/blocks/a/params/rowsPadSize", "a"},
        {"ragged matrix", R"({"blocks": {"a": {"block": "pad", "params": {"m": [[1, 2], [3]]}}}})",
         "/blocks/a/params/m/1", "a"},
        {"change before step 0", R"({"blocks": {"a": {"block": "pad", "changes": {"0": {"padValue": 1}}}}})",
         "/blocks/a/changes", "a"},
        {"instance name with a dot", R"({"blocks": {"a.b": {"block": "pad"}}})", "/blocks", ""},
        {"connection without port", R"({"blocks": {"a": {"block": "pad"}}, "connections": [["a", "a.0"]]})",
         "/connections/0/0", ""},
        {"connection of three",
         R"({"blocks": {"a": {"block": "pad"}}, "connections": [["a.0", "a.0", "a.0"]]})", "/connections/0",
         ""},
        {"input key not a port", R"({"blocks": {"a": {"block": "pad"}}, "inputs": {"a": "x.npy"}})",
         "/inputs", ""},
        {"input object without data",
         R"({"blocks": {"a": {"block": "pad"}}, "inputs": {"a.0": {"type": "uint8"}}})", "/inputs/a.0", ""},
        {"output not .npy or .png", R"({"blocks": {"a": {"block": "pad"}}, "outputs": {"a.0": "out.txt"}})",
         "/outputs/a.0", ""},
        {"sim mode out of range", R"({"blocks": {"a": {"block": "pad"}}, "settings": {"simMode": 4}})",
         "/settings/simMode", ""},
        {"steps not whole", R"({"blocks": {"a": {"block": "pad"}}, "settings": {"steps": 1.5}})",
         "/settings/steps", ""},
        {"unknown instance in a connection",
         R"({"blocks": {"a": {"block": "pad"}}, "connections": [["a.0", "b.0"]]})", "/connections/0/1", "b"},
        {"unknown instance of an output",
         R"({"blocks": {"a": {"block": "pad"}}, "outputs": {"x.0": "o.npy"}})", "/outputs/x.0", "x"},
        {"two connections into one input",
         R"({"blocks": {"a": {"block": "pad"}, "b": {"block": "pad"}, "c": {"block": "pad"}},
             "connections": [["a.0", "c.0"], ["b.0", "c.0"]]})",
         "/connections/1/1", "c"},
        {"an input both connected and given",
         R"({"blocks": {"a": {"block": "pad"}, "b": {"block": "pad"}},
             "connections": [["a.0", "b.0"]], "inputs": {"b.0": 1}})",
         "/inputs/b.0", "b"},
        {"two outputs into one file",
         R"({"blocks": {"a": {"block": "pad"}, "b": {"block": "pad"}}, "outputs": {"a.0": "o.npy", "b.0": "./o.npy"}})",
         "/outputs/b.0", "b"},
        // A key given twice: the reader would keep one silently. The path names the second one.
        {"parameter given twice",
         R"({"blocks": {"r": {"block": "rotate", "params": {"angle": 1, "angle": 2}}}})",
         "/blocks/r/params/angle: the key is given twice", "r"},
        {"instance given twice", R"({"blocks": {"a": {"block": "pad"}, "a": {"block": "rotate"}}})",
         "/blocks/a: the key is given twice", "a"},
        {"top-level field twice", R"({"blocks": {"a": {"block": "pad"}}, "blocks": {"b": {"block": "pad"}}})",
         "json: /blocks: the key is given twice", ""},
        {"inside a list of objects: the index counts scalars and objects alike",
         R"({"blocks": {"a": {"block": "pad"}}, "inputs": {"a.0": [1, {"x": 1}, {"y": 1, "z": [2], "y": 2}]}})",
         "/inputs/a.0/2/y: the key is given twice", ""},
        {"pointer escapes", R"({"blocks": {"a": {"block": "pad", "params": {"a/b~c": 1, "a/b~c": 1}}}})",
         "/blocks/a/params/a~1b~0c:", "a"},
        {"one change step twice",
         R"({"blocks": {"a": {"block": "pad", "changes": {"2": {"padValue": 1}, "2": {"padValue": 3}}}}})",
         "/blocks/a/changes/2:", "a"},
    };
    for (const auto& c : cases) {
        try {
            parseModel(c.json, "dir/bad.json");
            ADD_FAILURE() << c.what << ": accepted";
        } catch (const UsageError& e) {
            std::string text = e.what();
            EXPECT_EQ(text.rfind("dir/bad.json: ", 0), 0u) << c.what << ": " << text;
            EXPECT_NE(text.find(c.field), std::string::npos) << c.what << ": " << text;
            if (*c.instance) {
                EXPECT_NE(text.find(std::string("instance '") + c.instance + "'"), std::string::npos)
                    << c.what << ": " << text;
            }
            EXPECT_EQ(text.find('\n'), std::string::npos) << c.what << ": one line";
        }
    }
}

// The same key in different objects, at any depth, is no duplicate.
TEST(ModelLoad, SameKeyInSiblingObjectsIsAccepted) {
    const char* texts[] = {
        R"({"blocks": {"a": {"block": "pad", "params": {"padValue": 1}}, "b": {"block": "pad", "params": {"padValue": 2}}},
            "connections": [["a.0", "b.0"]]})",
        R"({"blocks": {"a": {"block": "pad", "changes": {"2": {"padValue": 1}, "3": {"padValue": 2}}}},
            "inputs": {"a.0": {"data": "x.npy", "type": "uint8"}}, "outputs": {"a.0": {"file": "o.npy", "type": "uint8"}}})",
    };
    for (const char* t : texts) {
        EXPECT_EQ(duplicateKeyPath(t), std::nullopt) << t;
        EXPECT_NO_THROW(parseModel(t, "m.json")) << t;
    }
}

TEST(ModelLoad, NotJsonIsAFileErrorWithItsPlace) {
    try {
        parseModel("{\"blocks\": {\"a\": \n {\"block\": }}", "m.json");
        FAIL() << "accepted";
    } catch (const UsageError&) {
        FAIL() << "a broken file is not a usage error";
    } catch (const ToolError& e) {
        std::string text = e.what();
        EXPECT_EQ(text.rfind("m.json: not valid JSON", 0), 0u) << text;
        EXPECT_NE(text.find("line 2"), std::string::npos) << text;
    }
}

// Values reach the set-up path as the text -s and -i take; numbers must come back bit for bit.
TEST(ModelLoad, ParameterValuesAsTheCommandLineTakesThem) {
    struct Case {
        const char* json;
        const char* text;
    } cases[] = {
        {"\"bilinear\"", "bilinear"},
        {"3", "3"},
        {"-2", "-2"},
        {"true", "1"},
        {"false", "0"},
        {"[1, 2.5, -3]", "[1 2.5 -3]"},
        {"[[1, 2], [3, 4]]", "[1 2; 3 4]"},
        {"[]", "[]"},
    };
    for (const auto& c : cases) {
        Model m = parseModel(
            std::string(R"({"blocks": {"a": {"block": "pad", "params": {"p": )") + c.json + "}}}}", "m.json");
        ASSERT_EQ(m.instances.at(0).params.size(), 1u);
        EXPECT_EQ(m.instances[0].params[0].second, c.text) << c.json;
    }
    for (double v : {0.1, 1.0 / 3.0, 0.5235987755982988, -1e-300, 6.02214076e23}) {
        char json[64];
        std::snprintf(json, sizeof json, "%.17g", v);
        Model m = parseModel(
            std::string(R"({"blocks": {"a": {"block": "pad", "params": {"p": )") + json + "}}}}", "m.json");
        EXPECT_EQ(std::strtod(m.instances[0].params[0].second.c_str(), nullptr), v) << json;
    }
}

TEST(ModelLoad, InputsResolvedAgainstTheModelFolder) {
    struct Case {
        const char* json;
        const char* text;
    } cases[] = {
        {"\"frames/\"", "models/frames/"},
        {"\"img.npy\"", "models/img.npy"},
        {"\"/abs/img.npy\"", "/abs/img.npy"},
        {"\"a.npy,b.npy\"", "models/a.npy,models/b.npy"},
        {"[\"a.npy\", \"b.png\"]", "models/a.npy,models/b.png"},
        {"0.25", "0.25"},
        {"\"0.1,0.2\"", "0.1,0.2"},
        {"[0, 0.5, 1]", "0,0.5,1"},
        {"{\"data\": \"x.npy\", \"type\": \"fixed:s16:12\", \"variableSize\": true}", "models/x.npy"},
    };
    for (const auto& c : cases) {
        Model m = parseModel(
            std::string(R"({"blocks": {"a": {"block": "pad"}}, "inputs": {"a.0": )") + c.json + "}}",
            "models/m.json");
        ASSERT_EQ(m.inputs.size(), 1u);
        EXPECT_EQ(m.inputs[0].text, c.text) << c.json;
    }
    Model m = parseModel(
        R"({"blocks": {"a": {"block": "pad"}}, "inputs": {"a.0": {"data": "x.npy", "type": "fixed:s16:12", "variableSize": true}}})",
        "m.json");
    EXPECT_EQ(m.inputs[0].type.value_or(""), "fixed:s16:12");
    EXPECT_TRUE(m.inputs[0].variableSize);
}

TEST(ModelLoad, SettingsAndChanges) {
    Model m = parseModel(
        R"({"blocks": {"r": {"block": "rotate", "changes": {"3": {"fillValues": [1, 2]}, "2": {"fillValues": 0}}}},
        "settings": {"simMode": 2, "logging": true, "dataTypeOverride": true, "steps": 4}})",
        "m.json");
    EXPECT_EQ(m.settings.simMode, 2);
    EXPECT_EQ(m.settings.minMaxOverflowLogging, 1);
    EXPECT_EQ(m.settings.dataTypeOverride, 1);
    EXPECT_EQ(m.steps, 4);
    ASSERT_EQ(m.instances[0].changes.size(), 2u);
    EXPECT_EQ(m.instances[0].changes[0].first, 3);
    EXPECT_EQ(m.instances[0].changes[0].second.second, "[1 2]");
    EXPECT_EQ(m.instances[0].changes[1].first, 2);
}

}  // namespace
}  // namespace dravo::model
