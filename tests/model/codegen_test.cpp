// Generated model programs equal the simulation bit for bit (`dravo model sil`), and, checked without
// the sil comparator, the generated program built here computes what `dravo model run` writes.
#include <gtest/gtest.h>

#include <cstdlib>

#include "model_support.h"

namespace dravo::test {
namespace {

// One model of four independent chains, so that one build covers them all: fixed point through pad and
// back, an output that is also connected with fan-out, an angle per step, and variable-size frames.
TEST(ModelCode, SilIsBitForBit) {
    const char* model = R"({"blocks": {
        "z": {"block": "convert", "params": {"outputDataType": "fixed point", "isSigned": 0, "wordLength": 16,
                                             "fractionLength": 8}},
        "zp": {"block": "pad", "params": {"method": "symmetric", "rowsPadSize": 2}},
        "zd": {"block": "convert", "params": {"outputDataType": "double"}},
        "c": {"block": "convert", "params": {"outputDataType": "single"}},
        "cr": {"block": "rotate", "params": {"angle": -2.1}},
        "cp": {"block": "pad", "params": {"method": "circular", "colsPadSize": [0, 3]}},
        "s": {"block": "rotate", "params": {"angleSource": "input port", "outputSize": "same as input"}},
        "sw": {"block": "pad", "params": {"method": "replicate"}},
        "v": {"block": "rotate", "params": {"angle": 0.3, "outputSize": "same as input"}},
        "vc": {"block": "convert", "params": {"outputDataType": "uint8"}}},
      "connections": [["z.0", "zp.0"], ["zp.0", "zd.0"], ["c.0", "cr.0"], ["c.0", "cp.0"], ["s.0", "sw.0"],
                      ["v.0", "vc.0"]],
      "inputs": {"z.0": "img.npy", "c.0": "img.npy", "s.0": "seq/", "s.1": [0.2, -0.9, 3],
                 "v.0": {"data": "var/", "variableSize": true}},
      "outputs": {"zd.0": "zd.npy", "c.0": "c.npy", "cr.0": "cr.npy", "cp.0": "cp.npy", "sw.0": "sw.npy",
                  "vc.0": "vc.npy", "v.0": "v.npy"}})";
    ModelRig rig;
    RunOutcome r = rig.model(model, "sil");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("identical: 7 outputs x 3 steps, bit for bit"), std::string::npos) << r.out;
}

TEST(ModelCode, WhatModelCodeCannotHoldIsRefused) {
    struct Case {
        const char* model;
        const char* named;
    } cases[] = {
        {R"({"blocks": {"main": {"block": "pad"}}, "inputs": {"main.0": "img.npy"}})", "/blocks/main"},
    };
    for (const auto& c : cases) {
        ModelRig rig;
        RunOutcome r = rig.model(c.model, "codegen", {"--out-dir", rig.path("gen")});
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_TRUE(isOneErrorLine(r.err, "dravo::cli::usage")) << r.err;
        EXPECT_NE(r.err.find(c.named), std::string::npos) << r.err;
        EXPECT_FALSE(std::filesystem::exists(rig.path("gen")));
    }
}

// Tunable changes per step in the generated program: two units changing at one step, a change back to
// the starting value, a fixed-point background, a matrix-valued parameter, and values far from the
// defaults. The input is the same frame every step, so a change is the only thing that moves an output.
TEST(ModelCode, ParameterChangesPerStepAreBitForBit) {
    const char* model = R"({"blocks": {
        "z": {"block": "convert", "params": {"outputDataType": "fixed point", "isSigned": 0, "wordLength": 16,
                                             "fractionLength": 8}},
        "zr": {"block": "rotate", "params": {"angle": 0.7}, "changes": {"2": {"fillValues": 200.5}, "3": {"fillValues": 0}}},
        "d": {"block": "convert", "params": {"outputDataType": "double"}},
        "dp": {"block": "pad", "params": {"rowsPadSize": 1, "padValue": 0.5},
               "changes": {"2": {"padValue": -3}, "4": {"padValue": 0.5}}},
        "dr": {"block": "rotate", "params": {"angle": -1.1, "fillValues": 0.25}, "changes": {"2": {"fillValues": 1e300}}},
        "k": {"block": "contrast", "params": {"inputRangeMode": "histogram"},
              "changes": {"3": {"saturationFractions": [0.015, 0.002]}}}},
      "connections": [["z.0", "zr.0"], ["d.0", "dp.0"], ["dp.0", "dr.0"], ["z.0", "k.0"]],
      "inputs": {"z.0": "img.npy", "d.0": "img.npy"},
      "outputs": {"zr.0": "zr.npy", "dr.0": "dr.npy", "dp.0": "dp.npy", "k.0": "k.npy"},
      "settings": {"steps": 4}})";
    ModelRig rig;
    RunOutcome s = rig.model(model, "sil", {"--work-dir", rig.path("sil")});
    ASSERT_EQ(s.status, 0) << s.out << s.err;
    EXPECT_NE(s.out.find("identical: 4 outputs x 4 steps, bit for bit"), std::string::npos) << s.out;

    // Which steps differ from the one before: exactly those whose changes reach the output.
    ASSERT_EQ(rig.model(model).status, 0);
    struct Moves {
        const char* output;
        bool differs[3];  // step 2 against 1, 3 against 2, 4 against 3
    } moves[] = {{"zr", {true, true, false}},
                 {"dp", {true, false, true}},
                 {"dr", {true, false, true}},
                 {"k", {false, true, false}}};
    for (const auto& m : moves)
        for (int k = 0; k < 3; ++k) {
            auto file = [&](int step) {
                return readFile(
                    rig.path("out/" + std::string(m.output) + "_000" + std::to_string(step) + ".npy"));
            };
            EXPECT_EQ(file(k + 1) != file(k + 2), m.differs[k]) << m.output << " step " << k + 2;
        }

    // `codegen` learns the values without stepping; its model unit must be the one sil just checked.
    RunOutcome g = rig.model(model, "codegen", {"--out-dir", rig.path("gen")});
    ASSERT_EQ(g.status, 0) << g.err;
    EXPECT_EQ(readFile(rig.path("gen/model.c")), readFile(rig.path("sil/model.c")));
}

// model.c and main.c built by the test and run on the model's own input file; the result is compared
// with the .npy (rows first) that `model run` writes.
TEST(ModelCode, GeneratedProgramMatchesTheRun) {
    ModelRig rig;
    const char* model = R"({"blocks": {"c": {"block": "convert", "params": {"outputDataType": "double"}},
                                       "p": {"block": "pad", "params": {"rowsPadSize": [1, 3], "colsPadSize": 2,
                                                                       "padValue": 0.25}}},
        "connections": [["c.0", "p.0"]], "inputs": {"c.0": "img.npy"}, "outputs": {"p.0": "p.npy"}})";
    ASSERT_EQ(rig.model(model).status, 0);
    RunOutcome g = rig.model(model, "codegen", {"--out-dir", rig.path("gen")});
    ASSERT_EQ(g.status, 0) << g.err;
    const char* cc = std::getenv("CC");
    std::string build = std::string(cc && *cc ? cc : "cc") + " -std=c99 -O1 -o " + rig.path("gen/prog") +
                        " " + rig.path("gen") + "/*.c -lm";
    ASSERT_EQ(std::system(build.c_str()), 0) << build;
    // img.npy is a rows-first (C-order) file, which the driver must reorder; it writes Fortran order.
    std::string run = rig.path("gen/prog") + " 1 " + rig.path("img.npy") + " " + rig.path("gen.npy");
    ASSERT_EQ(std::system(run.c_str()), 0) << run;
    NpyFile gen = parseNpyFile(readFile(rig.path("gen.npy")));
    EXPECT_TRUE(gen.fortran);
    EXPECT_EQ(gen.descr, "<f8");
    EXPECT_EQ(gen.shape, "(11, 10)");
    std::vector<double> generated = valuesOf<double>(gen.data);
    NpyFile written = parseNpyFile(readFile(rig.path("out/p.npy")));
    // Rows 7 + 2 + 2 (colsPadSize along dimension 1), columns 6 + 1 + 3.
    ASSERT_EQ(written.shape, "(11, 10)");
    std::vector<double> rowsFirst = valuesOf<double>(written.data);
    ASSERT_EQ(generated.size(), 110u);
    ASSERT_EQ(rowsFirst.size(), 110u);
    for (int r = 0; r < 11; ++r)
        for (int c = 0; c < 10; ++c)
            ASSERT_EQ(generated[static_cast<size_t>(r + 11 * c)], rowsFirst[static_cast<size_t>(r * 10 + c)])
                << "row " << r << ", column " << c;
    // The frame: padValue outside, the scaled image inside.
    EXPECT_EQ(rowsFirst[0], 0.25);
    EXPECT_EQ(rowsFirst[static_cast<size_t>(2 * 10 + 1)], 0.0);  // img(0, 0) = 0
    EXPECT_EQ(rowsFirst[static_cast<size_t>(3 * 10 + 1)], 37.0 / 255.0);
}

}  // namespace
}  // namespace dravo::test
