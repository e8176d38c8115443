#include <gtest/gtest.h>

#include <cstdlib>

#include "dialogs.h"
#include "errors.h"
#include "test_files.h"

using namespace dravo::cli;

namespace {

const char* kGood = R"({
  "block": "shift", "plugin": "shifter", "summary": "moves things",
  "inputs": [{"name": "u"}], "outputs": [{"name": "y", "summary": "moved"}],
  "parameters": [
    {"index": 2, "name": "method", "kind": "popup", "choices": ["Nearest", "Bilinear", "Bicubic"], "default": "Bilinear"},
    {"index": 0, "name": "amount", "kind": "number", "default": 0.5},
    {"index": 1, "name": "fill", "kind": "vector", "default": [1, 2, 3]},
    {"index": 3, "name": "z", "kind": "number", "default": "1-2i"},
    {"index": 4, "name": "mode", "kind": "popup", "choices": ["binary point", "best precision"], "values": [0, 1], "default": 1},
    {"index": 5, "name": "m", "kind": "vector", "default": [[1, 2], [3, 4]]},
    {"index": 6, "name": "bits", "kind": "number", "default": 8, "whole": [-4, 40]}
  ]})";

TEST(Dialogs, ParsesEveryKindOfDefault) {
    DialogDescription d = parseDialogDescription(kGood, "good.json");
    EXPECT_EQ(d.block, "shift");
    EXPECT_EQ(d.plugin, "shifter");
    ASSERT_EQ(d.parameters.size(), 7u);
    EXPECT_EQ(d.findByName("bits")->wholeRange, std::make_pair(-4.0, 40.0));
    EXPECT_FALSE(d.findByName("amount")->wholeRange);
    EXPECT_EQ(d.parameters[0].name, "amount");  // sorted by index
    EXPECT_EQ(d.findByName("method")->defaultValue.re[0], 2.0);
    EXPECT_EQ(d.findByName("fill")->defaultValue.re, (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(d.findByName("z")->defaultValue.im, (std::vector<double>{-2}));
    EXPECT_EQ(d.findByName("mode")->defaultValue.re[0], 1.0);
    const auto* m = d.findByName("m");
    EXPECT_EQ(m->defaultValue.rows, 2u);
    EXPECT_EQ(m->defaultValue.re, (std::vector<double>{1, 3, 2, 4}));
    EXPECT_EQ(d.findByIndex(1)->name, "fill");
    EXPECT_EQ(d.findByName("AMOUNT")->index, 0);   // unambiguous case-insensitive match
    EXPECT_EQ(d.findByName("a mount")->index, 0);  // words may be separated as a person writes them
    EXPECT_EQ(d.findByName("A_MOUNT")->index, 0);
    EXPECT_EQ(d.findByName("nothing"), nullptr);
    EXPECT_EQ(d.outputs.at(0).summary, "moved");
}

TEST(Dialogs, PopupsTakeLabelsPrefixesAndNumbers) {
    DialogDescription d = parseDialogDescription(kGood, "good.json");
    const ParamDescription& method = *d.findByName("method");
    EXPECT_EQ(popupValue(method, "Bicubic").re[0], 3.0);
    EXPECT_EQ(popupValue(method, "bicubic").re[0], 3.0);
    EXPECT_EQ(popupValue(method, "near").re[0], 1.0);
    EXPECT_EQ(popupValue(method, "2").re[0], 2.0);
    EXPECT_EQ(popupValue(method, "cubic").re[0], 3.0);    // a unique part of a label
    EXPECT_THROW(popupValue(method, "ear"), UsageError);  // part of Nearest and Bilinear
    EXPECT_THROW(popupValue(method, "bi"), UsageError);   // ambiguous
    EXPECT_THROW(popupValue(method, "4"), UsageError);    // not a choice
    EXPECT_THROW(popupValue(method, "lanczos"), UsageError);
    const ParamDescription& mode = *d.findByName("mode");
    EXPECT_EQ(popupValue(mode, "binary point").re[0], 0.0);
    EXPECT_EQ(popupValue(mode, "0").re[0], 0.0);
    EXPECT_EQ(popupValue(mode, "precision").re[0], 1.0);
    EXPECT_THROW(popupValue(mode, "2"), UsageError);
    EXPECT_EQ(popupLabel(method, Value::scalar(3)), "Bicubic");
    try {
        popupValue(method, "lanczos");
    } catch (const UsageError& e) {
        EXPECT_NE(std::string(e.what()).find("Bilinear"), std::string::npos) << "lists the choices";
    }
}

struct BadDescription {
    const char* why;
    const char* json;
};

class BadDescriptions : public ::testing::TestWithParam<BadDescription> {};

TEST_P(BadDescriptions, AreRefusedNamingTheFile) {
    try {
        parseDialogDescription(GetParam().json, "bad.json");
        FAIL() << GetParam().why;
    } catch (const ToolError& e) {
        EXPECT_EQ(e.messageClass(), msg::kBadDialogDescription);
        EXPECT_NE(std::string(e.what()).find("bad.json"), std::string::npos);
    }
}

#define HEAD R"("block": "b", "plugin": "p", "summary": "s")"
INSTANTIATE_TEST_SUITE_P(
    Table, BadDescriptions,
    ::testing::Values(
        BadDescription{"not json", "{"}, BadDescription{"not an object", "[]"},
        BadDescription{"no block", R"({"plugin": "p", "summary": "s", "parameters": []})"},
        BadDescription{"no parameters", "{" HEAD "}"},
        BadDescription{"bad kind",
                       "{" HEAD
                       R"(, "parameters": [{"index": 0, "name": "a", "kind": "text", "default": 1}]})"},
        BadDescription{"no default",
                       "{" HEAD R"(, "parameters": [{"index": 0, "name": "a", "kind": "number"}]})"},
        BadDescription{"duplicate index",
                       "{" HEAD R"(, "parameters": [{"index": 0, "name": "a", "kind": "number", "default": 1},
                                                                        {"index": 0, "name": "b", "kind": "number", "default": 1}]})"},
        BadDescription{"duplicate name",
                       "{" HEAD R"(, "parameters": [{"index": 0, "name": "a", "kind": "number", "default": 1},
                                                                       {"index": 1, "name": "A", "kind": "number", "default": 1}]})"},
        BadDescription{"negative index",
                       "{" HEAD
                       R"(, "parameters": [{"index": -1, "name": "a", "kind": "number", "default": 1}]})"},
        BadDescription{"popup without choices",
                       "{" HEAD
                       R"(, "parameters": [{"index": 0, "name": "a", "kind": "popup", "default": 1}]})"},
        BadDescription{
            "popup default not a choice",
            "{" HEAD
            R"(, "parameters": [{"index": 0, "name": "a", "kind": "popup", "choices": ["x"], "default": 2}]})"},
        BadDescription{
            "values of wrong length",
            "{" HEAD
            R"(, "parameters": [{"index": 0, "name": "a", "kind": "popup", "choices": ["x", "y"], "values": [0], "default": 0}]})"},
        BadDescription{"malformed default string",
                       "{" HEAD
                       R"(, "parameters": [{"index": 0, "name": "a", "kind": "number", "default": "1+"}]})"},
        BadDescription{
            "ragged matrix",
            "{" HEAD
            R"(, "parameters": [{"index": 0, "name": "a", "kind": "vector", "default": [[1, 2], [3]]}]})"},
        BadDescription{
            "whole range reversed",
            "{" HEAD
            R"(, "parameters": [{"index": 0, "name": "a", "kind": "number", "default": 1, "whole": [3, 1]}]})"},
        BadDescription{
            "whole range on a popup",
            "{" HEAD
            R"(, "parameters": [{"index": 0, "name": "a", "kind": "popup", "choices": ["x"], "default": 1, "whole": [0, 9]}]})"},
        BadDescription{
            "default outside the whole range",
            "{" HEAD
            R"(, "parameters": [{"index": 0, "name": "a", "kind": "number", "default": 10, "whole": [0, 9]}]})"},
        BadDescription{
            "whole range of one number",
            "{" HEAD
            R"(, "parameters": [{"index": 0, "name": "a", "kind": "vector", "default": [1], "whole": [0]}]})"},
        BadDescription{"name with space",
                       "{" HEAD
                       R"(, "parameters": [{"index": 0, "name": "a b", "kind": "number", "default": 1}]})"}));

TEST(Dialogs, SearchPathFindsByBlockAndPluginName) {
    dravo::test::TempDir dir;
    std::string good = kGood;
    dravo::test::writeFile(dir / "shift.json", std::vector<uint8_t>(good.begin(), good.end()));
    std::string broken = "{ not json";
    dravo::test::writeFile(dir / "broken.json", std::vector<uint8_t>(broken.begin(), broken.end()));
    setenv("DRAVO_DIALOG_PATH", dir.path().c_str(), 1);
    EXPECT_TRUE(findDialog("shift").has_value());
    EXPECT_TRUE(findDialog("shifter").has_value());
    EXPECT_FALSE(findDialog("unshift").has_value());
    unsetenv("DRAVO_DIALOG_PATH");
}

}  // namespace
