// Bad models through the real binary: one error line naming the file, the instance and the field, exit
// status 2 (cannot be meant) or 1 (a file or a block refused), and nothing written.
#include <gtest/gtest.h>

#include "model_support.h"

namespace dravo::test {
namespace {

struct Refusal {
    const char* what;
    const char* model;
    int status;
    const char* messageClass;
    std::vector<std::string> named;  // besides the file name
};

TEST(ModelRefusal, OneLineNamingFileInstanceAndField) {
    const Refusal cases[] = {
        {"not JSON", R"({"blocks": {"c": )", 1, "dravo::cli::malformedFile", {"not valid JSON", "line 1"}},
        {"schema: a parameter that is an object",
         R"({"blocks": {"c": {"block": "convert", "params": {"outputDataType": {"x": 1}}}}})",
         2,
         "dravo::cli::usage",
         {"instance 'c'", "/blocks/c/params/outputDataType"}},
        {"unknown block",
         R"({"blocks": {"c": {"block": "convertor"}}, "inputs": {"c.0": "img.npy"}})",
         2,
         "dravo::cli::unknownBlock",
         {"instance 'c'", "/blocks/c/block", "convertor"}},
        {"unknown parameter",
         R"({"blocks": {"c": {"block": "convert", "params": {"outputType": "single"}}}, "inputs": {"c.0": "img.npy"}})",
         2,
         "dravo::cli::unknownParameter",
         {"instance 'c'", "/blocks/c/params/outputType"}},
        {"a popup label that is not one",
         R"({"blocks": {"c": {"block": "convert", "params": {"outputDataType": "quad"}}}, "inputs": {"c.0": "img.npy"}})",
         2,
         "dravo::cli::badValue",
         {"instance 'c'", "/blocks/c/params/outputDataType", "quad"}},
        {"unknown instance",
         R"({"blocks": {"c": {"block": "convert"}}, "connections": [["c.0", "d.0"]], "inputs": {"c.0": "img.npy"}})",
         2,
         "dravo::cli::unknownBlock",
         {"instance 'd'", "/connections/0/1"}},
        {"a port the block does not have",
         R"({"blocks": {"c": {"block": "convert"}, "p": {"block": "pad"}},
             "connections": [["c.1", "p.0"]], "inputs": {"c.0": "img.npy"}})",
         2,
         "dravo::cli::inputCount",
         {"instance 'c'", "/connections/0/0", "c.1"}},
        {"an input port the parameters do not give",
         R"({"blocks": {"r": {"block": "rotate"}}, "inputs": {"r.0": "img.npy", "r.1": 0.5}})",
         2,
         "dravo::cli::inputCount",
         {"instance 'r'", "/inputs/r.1"}},
        {"two connections into one input",
         R"({"blocks": {"c": {"block": "convert"}, "d": {"block": "convert"}, "p": {"block": "pad"}},
             "connections": [["c.0", "p.0"], ["d.0", "p.0"]], "inputs": {"c.0": "img.npy", "d.0": "img.npy"}})",
         2,
         "dravo::cli::usage",
         {"instance 'p'", "/connections/1/1", "p.0"}},
        {"an input left unconnected",
         R"({"blocks": {"r": {"block": "rotate", "params": {"angleSource": "input port"}}}, "inputs": {"r.0": "img.npy"}})",
         2,
         "dravo::cli::inputCount",
         {"instance 'r'", "/inputs", "r.1 (angle)"}},
        {"a cycle",
         R"({"blocks": {"c": {"block": "convert"}, "p": {"block": "pad"}, "q": {"block": "pad"}},
             "connections": [["p.0", "q.0"], ["q.0", "p.0"]], "inputs": {"c.0": "img.npy"}})",
         2,
         "dravo::cli::usage",
         {"/connections", "cycle", "p -> q", "q -> p"}},
        {"a change to a parameter that is not tunable",
         R"({"blocks": {"r": {"block": "rotate", "changes": {"2": {"interpolation": "nearest"}}}},
             "inputs": {"r.0": "seq/"}})",
         2,
         "dravo::cli::usage",
         {"instance 'r'", "/blocks/r/changes/2/interpolation", "not tunable"}},
        {"a change after the last step",
         R"({"blocks": {"r": {"block": "rotate", "changes": {"4": {"fillValues": 1}}}}, "inputs": {"r.0": "seq/"}})",
         2,
         "dravo::cli::usage",
         {"instance 'r'", "/blocks/r/changes", "step 4"}},
        {"a missing input file",
         R"({"blocks": {"c": {"block": "convert"}}, "inputs": {"c.0": "nothere.npy"}})",
         1,
         "dravo::cli::unreadableFile",
         {"instance 'c'", "/inputs/c.0", "nothere.npy"}},
        {"inputs of different lengths",
         R"({"blocks": {"r": {"block": "rotate", "params": {"angleSource": "input port"}}},
             "inputs": {"r.0": "seq/", "r.1": [0, 0.1]}})",
         2,
         "dravo::cli::inputCount",
         {"instance 'r'", "/inputs/r.1"}},
        {"a block refusing a parameter value",
         R"({"blocks": {"m": {"block": "corner-metric", "params": {"sensitivity": 0.3}}}, "inputs": {"m.0": "img.npy"}})",
         1,
         "",
         {"instance 'm'", "/blocks/m/params"}},
        // Step 1 runs and is staged; the angle at step 2 is not a number: nothing may be left.
        {"a failure at the second step",
         R"({"blocks": {"r": {"block": "rotate", "params": {"angleSource": "input port"}},
                        "p": {"block": "pad"}},
             "connections": [["r.0", "p.0"]], "inputs": {"r.0": "seq/f0.npy", "r.1": "0.5,nan"},
             "outputs": {"p.0": "p.npy", "r.0": "r.npy"}})",
         1,
         "vision::system::angleInfOrNaN",
         {"instance 'r'", "/blocks/r", "step 2"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ModelRig rig;
        RunOutcome r = rig.model(c.model);
        EXPECT_EQ(r.status, c.status) << r.err;
        if (*c.messageClass)
            EXPECT_TRUE(isOneErrorLine(r.err, c.messageClass)) << r.err;
        else
            EXPECT_TRUE(r.err.rfind("error: ", 0) == 0 && std::count(r.err.begin(), r.err.end(), '\n') == 1)
                << r.err;
        EXPECT_NE(r.err.find(rig.path("model.json") + ": "), std::string::npos) << r.err;
        for (const auto& n : c.named)
            EXPECT_NE(r.err.find(n), std::string::npos) << "'" << n << "' in " << r.err;
        EXPECT_FALSE(std::filesystem::exists(rig.path("out"))) << "nothing written, no folder made";
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
}

// Outputs beside the model (no --out-dir) are also all or nothing, and an earlier file is left as it was.
TEST(ModelRefusal, AFailedRunLeavesEarlierFilesAlone) {
    ModelRig rig;
    writeFile(rig.path("r_0001.npy"), {'o', 'l', 'd'});
    std::string model = R"({"blocks": {"r": {"block": "rotate", "params": {"angleSource": "input port"}}},
        "inputs": {"r.0": "seq/f0.npy", "r.1": "0.5,0.7,nan"}, "outputs": {"r.0": "r.npy"}})";
    writeFile(rig.path("model.json"), std::vector<uint8_t>(model.begin(), model.end()));
    auto before = rig.dir().files();
    RunOutcome r = runDravo({"model", "run", rig.path("model.json")});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(rig.dir().files(), before);
    EXPECT_EQ(readFile(rig.path("r_0001.npy")), (std::vector<uint8_t>{'o', 'l', 'd'}));
}

}  // namespace
}  // namespace dravo::test
