// Dependency order and cycles, on models built from their JSON text (no plug-in is loaded).
#include <gtest/gtest.h>

#include "model.h"

namespace dravo::model {
namespace {

// Instances "a".."e" of the pad block in the order given, connected as listed.
std::string modelText(const std::vector<std::string>& names,
                      const std::vector<std::pair<std::string, std::string>>& conns) {
    std::string s = "{\"blocks\": {";
    for (size_t i = 0; i < names.size(); ++i)
        s += (i ? ", \"" : "\"") + names[i] + "\": {\"block\": \"pad\"}";
    s += "}, \"connections\": [";
    for (size_t i = 0; i < conns.size(); ++i)
        s += std::string(i ? ", " : "") + "[\"" + conns[i].first + "\", \"" + conns[i].second + "\"]";
    return s + "]}";
}

std::string joined(const std::vector<std::string>& v) {
    std::string s;
    for (const auto& x : v)
        s += (s.empty() ? "" : " ") + x;
    return s;
}

struct OrderCase {
    const char* what;
    std::vector<std::string> names;
    std::vector<std::pair<std::string, std::string>> conns;
    const char* order;  // worked out by hand: feeders first, ties in file order
};

TEST(ModelGraph, DependencyOrder) {
    const OrderCase cases[] = {
        {"no connections keep file order", {"b", "a", "c"}, {}, "b a c"},
        {"a chain listed backwards", {"c", "b", "a"}, {{"a.0", "b.0"}, {"b.0", "c.0"}}, "a b c"},
        {"fan-out", {"y", "x", "src"}, {{"src.0", "x.0"}, {"src.0", "y.0"}}, "src y x"},
        {"diamond", {"d", "c", "b", "a"}, {{"a.0", "b.0"}, {"a.0", "c.0"}, {"b.0", "d.0"}}, "a c b d"},
        {"two chains interleave by file order",
         {"q2", "p2", "q1", "p1"},
         {{"p1.0", "p2.0"}, {"q1.0", "q2.0"}},
         "q1 q2 p1 p2"},
        {"names that sort against the flow", {"z", "a"}, {{"z.0", "a.0"}}, "z a"},
    };
    for (const auto& c : cases) {
        Model m = parseModel(modelText(c.names, c.conns), "m.json");
        EXPECT_EQ(joined(dependencyOrder(m)), c.order) << c.what;
    }
}

struct CycleCase {
    const char* what;
    std::vector<std::string> names;
    std::vector<std::pair<std::string, std::string>> conns;
    const char* cycle;  // the loop the message must name, in flow order
};

TEST(ModelGraph, CyclesAreRefusedByName) {
    const CycleCase cases[] = {
        {"self loop", {"a"}, {{"a.0", "a.0"}}, "a -> a"},
        {"two blocks", {"a", "b"}, {{"a.0", "b.0"}, {"b.0", "a.0"}}, "-> a -> b ->"},
        {"three behind a source",
         {"s", "x", "y", "z"},
         {{"x.0", "y.0"}, {"y.0", "z.0"}, {"z.0", "x.0"}},
         "x -> y -> z"},
    };
    for (const auto& c : cases) {
        try {
            parseModel(modelText(c.names, c.conns), "loop.json");
            ADD_FAILURE() << c.what << ": no error";
        } catch (const UsageError& e) {
            std::string text = e.what();
            EXPECT_NE(text.find("loop.json: "), std::string::npos) << text;
            EXPECT_NE(text.find("/connections"), std::string::npos) << text;
            // The cycle is named whichever of its instances the walk starts from.
            std::string named = text.substr(text.find("cycle: ") + 7);
            std::string doubled = named.substr(0, named.rfind(" -> ")) + " -> " + named;
            EXPECT_NE((" " + doubled + " ").find(c.cycle), std::string::npos) << c.what << ": " << text;
            EXPECT_EQ(text.find("-> s"), std::string::npos)
                << "the source is not part of the cycle: " << text;
        }
    }
}

}  // namespace
}  // namespace dravo::model
