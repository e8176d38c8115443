// Port attributes across connections: sizes and types flowing forward, a downstream requirement flowing
// back to the upstream output, and disagreements refused with the instance, the port and the attribute.
#include <gtest/gtest.h>

#include "model_support.h"

namespace dravo::test {
namespace {

std::vector<int> dimsOf(const std::string& signal) {
    std::vector<int> dims;
    size_t at = signal.find(' ');
    std::string text = signal.substr(at + 1);
    text = text.substr(0, text.find(' '));
    size_t start = 0;
    while (start <= text.size()) {
        size_t x = text.find('x', start);
        dims.push_back(std::stoi(text.substr(start, x - start)));
        if (x == std::string::npos) break;
        start = x + 1;
    }
    return dims;
}

TEST(ModelPropagation, SizesAndTypesFlowForward) {
    ModelRig rig;
    RunOutcome r = rig.model(R"({"blocks": {"c": {"block": "convert", "params": {"outputDataType": "single"}},
                                            "r": {"block": "rotate", "params": {"angle": 0.5}},
                                            "p": {"block": "pad", "params": {"rowsPadSize": [1, 2], "colsPadSize": 3}}},
        "connections": [["c.0", "r.0"], ["r.0", "p.0"]], "inputs": {"c.0": "img.npy"}})",
                             "check");
    ASSERT_EQ(r.status, 0) << r.err;
    auto rows = checkRows(r.out);
    EXPECT_EQ(rows["c in 0"].first, "uint8 7x6");
    EXPECT_EQ(rows["c out 0"].first, "single 7x6");
    EXPECT_EQ(rows["r in 0"], std::make_pair(std::string("single 7x6"), std::string("from c.0")));
    EXPECT_EQ(rows["p in 0"].first, rows["r out 0"].first);
    EXPECT_EQ(rows["p in 0"].second, "from r.0");
    // The expanded rotation is larger than its input; pad adds 1+2 along dimension 2 and 3+3 along 1.
    std::vector<int> rot = dimsOf(rows["r out 0"].first), pad = dimsOf(rows["p out 0"].first);
    ASSERT_EQ(rot.size(), 2u);
    ASSERT_EQ(pad.size(), 2u);
    EXPECT_GT(rot[0] * rot[1], 7 * 6);
    EXPECT_EQ(pad[0], rot[0] + 6);
    EXPECT_EQ(pad[1], rot[1] + 3);
    EXPECT_NE(r.out.find("order: c -> r -> p"), std::string::npos) << r.out;
}

TEST(ModelPropagation, VariableSizeFlowsForward) {
    ModelRig rig;
    RunOutcome r =
        rig.model(R"({"blocks": {"r": {"block": "rotate", "params": {"outputSize": "same as input"}},
                                            "c": {"block": "convert", "params": {"outputDataType": "single"}}},
        "connections": [["r.0", "c.0"]], "inputs": {"r.0": {"data": "var/", "variableSize": true}}})",
                  "check");
    ASSERT_EQ(r.status, 0) << r.err;
    auto rows = checkRows(r.out);
    // The largest frame is 6x5 (rows of one, columns of another).
    EXPECT_EQ(rows["r in 0"].first, "double 6x5 variable-size");
    EXPECT_EQ(rows["c in 0"].first, "double 6x5 variable-size");
    EXPECT_EQ(rows["c out 0"].first, "single 6x5 variable-size");
}

// The type an output file asks for reaches back through pads to the converter that takes its type from
// downstream; the data equals asking the converter for that type directly.
TEST(ModelPropagation, RequirementsFlowBack) {
    struct Case {
        const char* what;
        const char* pads;         // instances between the converter and the output
        const char* connections;  // from c.0 to the last pad
        const char* last;
        const char* type;
    } cases[] = {
        {"one pad", R"("p": {"block": "pad"})", R"(["c.0", "p.0"])", "p", "int16"},
        {"two pads", R"("p": {"block": "pad"}, "q": {"block": "pad", "params": {"method": "replicate"}})",
         R"(["c.0", "p.0"], ["p.0", "q.0"])", "q", "fixed:s16:5"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ModelRig rig;
        std::string model =
            std::string(
                R"({"blocks": {"c": {"block": "convert", "params": {"outputDataType": "inherited"}}, )") +
            c.pads + R"(}, "connections": [)" + c.connections + R"(], "inputs": {"c.0": "img.npy"},
            "outputs": {")" +
            c.last + R"(.0": {"file": "o.npy", "type": ")" + c.type + R"("}}})";
        RunOutcome check = rig.model(model, "check");
        ASSERT_EQ(check.status, 0) << check.err;
        auto rows = checkRows(check.out);
        EXPECT_EQ(rows["c out 0"].first, std::string(c.type) + " 7x6");
        EXPECT_EQ(rows["p in 0"].first, std::string(c.type) + " 7x6");
        RunOutcome run = rig.model(model);
        ASSERT_EQ(run.status, 0) << run.err;
        ASSERT_EQ(rig.run({"run", "convert", "-s", "outputDataType=inherited", "--output-type", c.type, "-i",
                           "@/img.npy", "-o", "@/c.npy"})
                      .status,
                  0);
        std::string in = "@/c.npy";
        if (std::string(c.last) == "q") {
            ASSERT_EQ(rig.run({"run", "pad", "--input-type", c.type, "-i", in, "-o", "@/p.npy"}).status, 0);
            ASSERT_EQ(rig.run({"run", "pad", "-s", "method=replicate", "--input-type", c.type, "-i",
                               "@/p.npy", "-o", "@/q.npy"})
                          .status,
                      0);
            EXPECT_TRUE(sameNpy(rig.path("out/o.npy"), rig.path("q.npy")));
        } else {
            ASSERT_EQ(rig.run({"run", "pad", "--input-type", c.type, "-i", in, "-o", "@/p.npy"}).status, 0);
            EXPECT_TRUE(sameNpy(rig.path("out/o.npy"), rig.path("p.npy")));
        }
    }
}

struct Disagreement {
    const char* what;
    const char* model;
    std::vector<std::string> named;  // what the one error line must name
};

TEST(ModelPropagation, DisagreementsAreRefusedByName) {
    const Disagreement cases[] = {
        {"two downstream requirements on one output",
         R"({"blocks": {"c": {"block": "convert", "params": {"outputDataType": "inherited"}},
                        "p": {"block": "pad"}, "q": {"block": "pad"}},
             "connections": [["c.0", "p.0"], ["c.0", "q.0"]], "inputs": {"c.0": "img.npy"},
             "outputs": {"p.0": {"file": "p.npy", "type": "int16"}, "q.0": {"file": "q.npy", "type": "single"}}})",
         {"instance 'q'", "/connections/1", "c.0", "int16", "single", "data type"}},
        {"a type the downstream block refuses",
         R"({"blocks": {"c": {"block": "convert", "params": {"outputDataType": "uint8"}},
                        "t": {"block": "testblock", "params": {"mode": "affine"}}},
             "connections": [["c.0", "t.0"]], "inputs": {"c.0": "img.npy"}})",
         {"instance 't'", "/connections/0", "input 0", "uint8", "c.0"}},
        {"an output asked for a type its block cannot give",
         R"({"blocks": {"c": {"block": "convert", "params": {"outputDataType": "double"}},
                        "m": {"block": "corner-metric"}},
             "connections": [["c.0", "m.0"]], "inputs": {"c.0": "img.npy"},
             "outputs": {"m.0": {"file": "m.npy", "type": "int16"}}})",
         // m could give int16 from an integer image only; c's dialog keeps double, so c refuses the uint8
         // that m asks of it.
         {"instance 'c'", "/connections/0", "m.0", "uint8", "vision::system::outDataTypeSettingMismatch"}},
        {"a sizes-only block upstream of one that needs 3x3",
         R"({"blocks": {"p": {"block": "pad", "params": {"sizeSpec": "output size", "rowSize": 2, "columnSize": 2,
                                                          "truncation": "none"}},
                        "m": {"block": "corner-metric"}},
             "connections": [["p.0", "m.0"]], "inputs": {"p.0": "img.npy"}})",
         {"instance 'm'", "/connections/0", "2x2"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ModelRig rig;
        RunOutcome r = rig.model(c.model);
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_NE(r.err.find("model.json: "), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        for (const auto& n : c.named)
            EXPECT_NE(r.err.find(n), std::string::npos) << "'" << n << "' in " << r.err;
        EXPECT_FALSE(std::filesystem::exists(rig.path("out"))) << "nothing written";
    }
}

}  // namespace
}  // namespace dravo::test
