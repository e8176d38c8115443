// Each model's outputs equal the same blocks run one by one through `dravo run`, bit for bit: the single
// block path is the oracle for the model's ordering, propagation, data passing and per-step changes.
#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "model_support.h"

namespace dravo::test {
namespace {

struct Chain {
    const char* what;
    const char* model;                                      // "@/" is the rig's folder
    std::vector<std::vector<std::string>> runs;             // dravo commands, in order, writing @/r*.npy
    std::vector<std::pair<std::string, std::string>> same;  // (model output under out/, one-by-one file)
};

TEST(ModelRun, OutputsEqualTheBlocksRunOneByOne) {
    const Chain chains[] = {
        {"convert then rotate",
         R"({"blocks": {"c": {"block": "convert", "params": {"outputDataType": "double"}},
                        "r": {"block": "rotate", "params": {"angle": 0.5, "interpolation": "bilinear"}}},
             "connections": [["c.0", "r.0"]], "inputs": {"c.0": "img.npy"}, "outputs": {"r.0": "out.npy"}})",
         {{"run", "convert", "-s", "outputDataType=double", "-i", "@/img.npy", "-o", "@/r1.npy"},
          {"run", "rotate", "-s", "angle=0.5", "-s", "interpolation=bilinear", "-i", "@/r1.npy", "-o",
           "@/r2.npy"}},
         {{"out.npy", "r2.npy"}}},
        // Listed downstream first, with names that sort against the flow: only the connections order it.
        {"fixed-point chain of four, listed backwards",
         R"({"blocks": {"a": {"block": "pad", "params": {"rowsPadSize": 2, "colsPadSize": [1, 3], "padValue": 7}},
                        "b": {"block": "rotate", "params": {"angle": -0.4, "interpolation": "bicubic"}},
                        "k": {"block": "contrast", "params": {"inputRangeMode": "histogram"}},
                        "z": {"block": "convert", "params": {"outputDataType": "fixed point", "isSigned": 0,
                                                            "wordLength": 16, "fractionLength": 8}}},
             "connections": [["b.0", "a.0"], ["k.0", "b.0"], ["z.0", "k.0"]],
             "inputs": {"z.0": "img.npy"}, "outputs": {"k.0": "k.npy", "a.0": "a.npy"}})",
         {{"run", "convert", "-s", "outputDataType=fixed point", "-s", "isSigned=0", "-s", "wordLength=16",
           "-s", "fractionLength=8", "-i", "@/img.npy", "-o", "@/r1.npy"},
          {"run", "contrast", "-s", "inputRangeMode=histogram", "--input-type", "fixed:u16:8", "-i",
           "@/r1.npy", "-o", "@/r2.npy"},
          {"run", "rotate", "-s", "angle=-0.4", "-s", "interpolation=bicubic", "--input-type", "fixed:u16:8",
           "-i", "@/r2.npy", "-o", "@/r3.npy"},
          {"run", "pad", "-s", "rowsPadSize=2", "-s", "colsPadSize=[1 3]", "-s", "padValue=7", "--input-type",
           "fixed:u16:8", "-i", "@/r3.npy", "-o", "@/r4.npy"}},
         {{"k.npy", "r2.npy"}, {"a.npy", "r4.npy"}}},
        {"fan-out: one output feeds two blocks",
         R"({"blocks": {"c": {"block": "convert", "params": {"outputDataType": "single"}},
                        "r": {"block": "rotate", "params": {"angle": 1.2, "interpolation": "nearest"}},
                        "k": {"block": "contrast", "params": {"inputRangeMode": "min max"}}},
             "connections": [["c.0", "r.0"], ["c.0", "k.0"]], "inputs": {"c.0": "img.npy"},
             "outputs": {"r.0": "r.npy", "k.0": "k.npy", "c.0": "c.npy"}})",
         {{"run", "convert", "-s", "outputDataType=single", "-i", "@/img.npy", "-o", "@/r1.npy"},
          {"run", "rotate", "-s", "angle=1.2", "-s", "interpolation=nearest", "-i", "@/r1.npy", "-o",
           "@/r2.npy"},
          {"run", "contrast", "-s", "inputRangeMode=min max", "-i", "@/r1.npy", "-o", "@/r3.npy"}},
         {{"c.npy", "r1.npy"}, {"r.npy", "r2.npy"}, {"k.npy", "r3.npy"}}},
        {"corner metric of a rotated image",
         R"({"blocks": {"c": {"block": "convert", "params": {"outputDataType": "single"}},
                        "r": {"block": "rotate", "params": {"angle": 0.25, "outputSize": "same as input"}},
                        "m": {"block": "corner-metric", "params": {"method": "minimum eigenvalue"}}},
             "connections": [["c.0", "r.0"], ["r.0", "m.0"]], "inputs": {"c.0": "img.npy"},
             "outputs": {"m.0": "m.npy"}})",
         {{"run", "convert", "-s", "outputDataType=single", "-i", "@/img.npy", "-o", "@/r1.npy"},
          {"run", "rotate", "-s", "angle=0.25", "-s", "outputSize=same as input", "-i", "@/r1.npy", "-o",
           "@/r2.npy"},
          {"run", "corner-metric", "-s", "method=minimum eigenvalue", "-i", "@/r2.npy", "-o", "@/r3.npy"}},
         {{"m.npy", "r3.npy"}}},
        // Three steps: a frame and an angle per step, and a tunable background change before step 2.
        {"per-step angle and a tunable change",
         R"({"blocks": {"s": {"block": "rotate", "params": {"angleSource": "input port", "outputSize": "same as input"},
                              "changes": {"2": {"fillValues": 0.5}}},
                        "w": {"block": "pad", "params": {"method": "circular", "rowsPadSize": [1, 2]}}},
             "connections": [["s.0", "w.0"]], "inputs": {"s.0": "seq/", "s.1": [0, 0.3, -0.6]},
             "outputs": {"w.0": "w.npy", "s.0": "s_%d.npy"}})",
         {{"run", "rotate", "-s", "angleSource=input port", "-s", "outputSize=same as input", "-i", "@/seq/",
           "-i", "0,0.3,-0.6", "-c", "2:fillValues=0.5", "-o", "@/r1.npy"},
          {"run", "pad", "-s", "method=circular", "-s", "rowsPadSize=[1 2]", "-i",
           "@/r1_0001.npy,@/r1_0002.npy,@/r1_0003.npy", "-o", "@/r2.npy"}},
         {{"s_1.npy", "r1_0001.npy"},
          {"s_2.npy", "r1_0002.npy"},
          {"s_3.npy", "r1_0003.npy"},
          {"w_0001.npy", "r2_0001.npy"},
          {"w_0002.npy", "r2_0002.npy"},
          {"w_0003.npy", "r2_0003.npy"}}},
        {"variable-size frames through three blocks",
         R"({"blocks": {"r": {"block": "rotate", "params": {"angle": 0.3, "outputSize": "same as input"}},
                        "c": {"block": "convert", "params": {"outputDataType": "single"}},
                        "k": {"block": "contrast", "params": {"inputRangeMode": "min max"}}},
             "connections": [["r.0", "c.0"], ["c.0", "k.0"]],
             "inputs": {"r.0": {"data": "var/", "variableSize": true}}, "outputs": {"k.0": "k.npy"}})",
         {{"run", "rotate", "-s", "angle=0.3", "-s", "outputSize=same as input", "-i", "@/var/",
           "--variable-size", "0", "-o", "@/r1.npy"},
          {"run", "convert", "-s", "outputDataType=single", "-i", "@/r1_0001.npy,@/r1_0002.npy,@/r1_0003.npy",
           "--variable-size", "0", "-o", "@/r2.npy"},
          {"run", "contrast", "-s", "inputRangeMode=min max", "-i",
           "@/r2_0001.npy,@/r2_0002.npy,@/r2_0003.npy", "--variable-size", "0", "-o", "@/r3.npy"}},
         {{"k_0001.npy", "r3_0001.npy"}, {"k_0002.npy", "r3_0002.npy"}, {"k_0003.npy", "r3_0003.npy"}}},
    };
    for (const auto& c : chains) {
        SCOPED_TRACE(c.what);
        ModelRig rig;
        RunOutcome m = rig.model(c.model);
        ASSERT_EQ(m.status, 0) << m.err;
        for (const auto& args : c.runs) {
            RunOutcome r = rig.run(args);
            ASSERT_EQ(r.status, 0) << r.err;
        }
        for (const auto& [mine, theirs] : c.same)
            EXPECT_TRUE(sameNpy(rig.path("out/" + mine), rig.path(theirs)));
    }
}

// The variable-size run really changes size from step to step (else the case above proves little).
TEST(ModelRun, VariableSizeFramesKeepTheirSizes) {
    ModelRig rig;
    RunOutcome m =
        rig.model(R"({"blocks": {"r": {"block": "rotate", "params": {"outputSize": "same as input"}},
                                            "c": {"block": "convert", "params": {"outputDataType": "single"}}},
        "connections": [["r.0", "c.0"]], "inputs": {"r.0": {"data": "var/", "variableSize": true}},
        "outputs": {"c.0": "c.npy"}})");
    ASSERT_EQ(m.status, 0) << m.err;
    const char* shapes[] = {"(4, 5)", "(6, 3)", "(5, 5)"};
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(parseNpyFile(readFile(rig.path("out/c_000" + std::to_string(k + 1) + ".npy"))).shape,
                  shapes[k]);
}

// --logging: one report over every block's fixed-point records.
TEST(ModelRun, LoggingMergesTheReportsOfEveryBlock) {
    ModelRig rig;
    const char* model = R"({"blocks": {"z": {"block": "convert", "params": {"outputDataType": "fixed point",
                                              "isSigned": 0, "wordLength": 16, "fractionLength": 8}},
                                       "k": {"block": "contrast"},
                                       "r": {"block": "rotate", "params": {"angle": 0.2}}},
        "connections": [["z.0", "k.0"], ["k.0", "r.0"]], "inputs": {"z.0": "img.npy"}, "outputs": {"r.0": "r.npy"}})";
    RunOutcome both = rig.model(model, "run", {"--logging"});
    ASSERT_EQ(both.status, 0) << both.err;
    RunOutcome z = rig.run({"run", "convert", "-s", "outputDataType=fixed point", "-s", "isSigned=0", "-s",
                            "fractionLength=8", "-i", "@/img.npy", "-o", "@/z.npy"});
    ASSERT_EQ(z.status, 0) << z.err;
    RunOutcome k = rig.run({"run", "contrast", "--input-type", "fixed:u16:8", "-i", "@/z.npy", "--logging"});
    RunOutcome r = rig.run(
        {"run", "rotate", "-s", "angle=0.2", "--input-type", "fixed:u16:8", "-i", "@/z.npy", "--logging"});
    ASSERT_EQ(k.status, 0) << k.err;
    ASSERT_EQ(r.status, 0) << r.err;
    // Labels one block logs and the other does not must all be in the model's report.
    auto labels = [](const std::string& out) {
        std::set<std::string> s;
        std::istringstream in(out);
        std::string line;
        while (std::getline(in, line))
            if (line.rfind("  ", 0) == 0 && line.find(": min") != std::string::npos)
                s.insert(line.substr(2, line.find(": min") - 2));
        return s;
    };
    std::set<std::string> merged = labels(both.out), fromK = labels(k.out), fromR = labels(r.out);
    ASSERT_FALSE(fromK.empty());
    ASSERT_FALSE(fromR.empty());
    bool differ = false;
    for (const auto& l : fromK) {
        EXPECT_TRUE(merged.count(l)) << "contrast's " << l;
        differ = differ || !fromR.count(l);
    }
    for (const auto& l : fromR)
        EXPECT_TRUE(merged.count(l)) << "rotate's " << l;
    EXPECT_TRUE(differ) << "the two blocks log the same labels; the test shows nothing";
}

}  // namespace
}  // namespace dravo::test
