// The corner metric's generated code at the edges of what it accepts: a variable-size step below the
// smallest size (the simulation refuses it; the emitted check counts it and the step writes nothing, and
// the steps around it still agree), and configurations that have no generated form, refused at
// generation with the block, the role and the reason, leaving no output folder behind.
#include <cstdlib>
#include <fstream>

#include "sil_corner_rig.h"

namespace {

using cgcorner::a;
using cgcorner::CornerCase;
using cgcorner::Scene;

struct SmallStepCase {
    CornerCase c;
    std::vector<int32_t> small;
};

class SilCornerSmallStep : public ::testing::TestWithParam<SmallStepCase> {};

TEST_P(SilCornerSmallStep, CaughtByTheEmittedCheck) {
    const SmallStepCase& p = GetParam();
    CornerCase c = p.c;
    c.steps = {{Scene::Corners, c.dims, {}}, {Scene::Corners, p.small, {}}, {Scene::Specials, c.dims, {}}};
    std::vector<TarnCG::SilStep> steps = cgcorner::silSteps(c);

    // The simulation: the good steps give the expected outputs; the small one is refused.
    std::vector<std::vector<uint8_t>> expected;
    for (size_t k : {size_t(0), size_t(2)}) {
        auto block = cgcorner::startedBlock(c);
        block->setInput(0, steps[k].inputs[0].bytes.data(), steps[k].inputs[0].bytes.size(),
                        steps[k].inputs[0].dims);
        block->step();
        const auto* out = static_cast<const uint8_t*>(block->output(0));
        expected.emplace_back(out, out + block->currentOutputBytes(0));
    }
    {
        auto block = cgcorner::startedBlock(c);
        block->setInput(0, steps[1].inputs[0].bytes.data(), steps[1].inputs[0].bytes.size(),
                        steps[1].inputs[0].dims);
        try {
            block->step();
            ADD_FAILURE() << "the simulation accepted a " << p.small[0] << "x" << p.small[1] << " image";
        } catch (const dravo::host::BlockError& e) {
            EXPECT_EQ(e.messageClass(), "vision::system::inputDimsWrong");
        }
    }

    auto block = cgcorner::startedBlock(c);
    std::unique_ptr<TarnCG::CGHandle> h = TarnCG::makeHandle(*block, "corner", "corner-metric");
    std::string err;
    ASSERT_TRUE(TarnCG::generateForBlock(*block, *h, &err)) << err;
    std::vector<CG::HarnessStep> hs(3);
    for (size_t k = 0; k < 3; ++k)
        hs[k].inputs = steps[k].inputs;
    CG::HarnessOptions o;
    o.workDir = cgtest::workDir(c.name + "_small");
    o.sanitize = true;
    CG::HarnessResult r = CG::buildAndRunSteps(h->unit(), hs, o);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.sizeCheckFailures, 1);
    ASSERT_EQ(r.stepOutputs.size(), 3u);
    EXPECT_EQ(r.stepOutputs[0][0].bytes, expected[0]);
    EXPECT_EQ(r.stepOutputs[2][0].bytes, expected[1]);
    // The refused step leaves the metric buffer as the step before wrote it.
    const size_t smallBytes = r.stepOutputs[1][0].bytes.size();
    ASSERT_LE(smallBytes, expected[0].size());
    EXPECT_TRUE(
        std::equal(r.stepOutputs[1][0].bytes.begin(), r.stepOutputs[1][0].bytes.end(), expected[0].begin()));
}

std::vector<SmallStepCase> smallStepCases() {
    SmallStepCase h;
    h.c.name = "harris_single_small";
    h.c.params = {{0, a(1)}};
    h.c.type = "single";
    h.c.dims = {12, 10};
    h.c.variableSize = true;
    h.small = {2, 10};
    SmallStepCase l;
    l.c.name = "lic_uint8_small";
    l.c.params = {{0, a(3)}, {3, a(20)}};
    l.c.type = "uint8";
    l.c.dims = {15, 16};
    l.c.variableSize = true;
    l.small = {15, 6};
    return {h, l};
}

INSTANTIATE_TEST_SUITE_P(Sizes, SilCornerSmallStep, ::testing::ValuesIn(smallStepCases()),
                         [](const ::testing::TestParamInfo<SmallStepCase>& i) { return i.param.c.name; });

struct RefusedCase {
    std::string name;
    std::map<int, cornertest::Array> params;
    std::string type;
    cornertest::Settings settings;
    std::vector<std::string> mentions;  // the error names these
};

class CornerCodegenRefusal : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(CornerCodegenRefusal, NamesBlockAndReason) {
    const RefusedCase& p = GetParam();
    const DataTypeId id = *dravo::types::parseTypeName(p.type);
    auto block = cornertest::makeBlock(p.params, cornertest::image({9, 9}, id), p.settings);
    block->start();
    std::unique_ptr<TarnCG::CGHandle> h = TarnCG::makeHandle(*block, "corner", "corner-metric");
    std::string err;
    EXPECT_FALSE(TarnCG::generateForBlock(*block, *h, &err));
    EXPECT_EQ(err.rfind("block 'corner': ", 0), 0u) << err;
    for (const std::string& m : p.mentions)
        EXPECT_NE(err.find(m), std::string::npos) << "\"" << m << "\" missing in: " << err;
}

std::vector<RefusedCase> refusedCases() {
    std::vector<RefusedCase> cs;
    // int32 gradients in s64 FL 0 saturate to 2^63, so the pad buffer and A, B and D reach 2^63: (A - B)^2
    // is an exact product of two 64-bit words, 128 bits.
    std::map<int, cornertest::Array> minEig64 = {{0, a(2)}};
    cgcorner::setRole(minEig64, 13, 64, 0);
    cgcorner::setRole(minEig64, 16, 64, 0);
    cgcorner::setRole(minEig64, 19, 64, 0);
    cs.push_back({"mineig_int32_64bit_types",
                  minEig64,
                  "int32",
                  {},
                  {"minimum-eigenvalue square", "words of 64 and 64 bits", "128 bits", "at most 126 bits"}});
    // int32 at the dialog's defaults: A and B reach the 64-bit accumulator's limit (2^35 at fraction length
    // 28), so A + B takes 66 bits and its exact square 132.
    cs.push_back({"harris_int32_defaults",
                  {{0, a(1)}},
                  "int32",
                  {},
                  {"Harris square", "words of 66 and 66 bits", "132 bits", "at most 126 bits"}});
    // 8-bit gradients at fraction length 125 overflow a 128-bit memory word; wrapping, they take any value
    // of it.
    std::map<int, cornertest::Array> wrapped = {{0, a(1)}, {26, a(1)}};
    cgcorner::setRole(wrapped, 19, 128, 125);
    cs.push_back({"harris_uint8_memory_128_wrap",
                  wrapped,
                  "uint8",
                  {},
                  {"gradients", "\"Memory\" data type, 128 bits", "need 128 bits"}});
    std::map<int, cornertest::Array> wideAcc = {{0, a(3)}, {3, a(5)}, {26, a(1)}};
    cgcorner::setRole(wideAcc, 16, 128, 125);
    cs.push_back({"lic_uint8_accumulator_128_wrap",
                  wideAcc,
                  "uint8",
                  {},
                  {"brightness and darkness sums", "\"Accumulator\" data type, 128 bits"}});
    // Ports and run-time parameters keep words of at most 64 bits.
    std::map<int, cornertest::Array> wideOut = {{0, a(1)}};
    cgcorner::setRole(wideOut, 22, 96, 0);
    cs.push_back(
        {"harris_uint8_metric_output_96", wideOut, "uint8", {}, {"\"Metric output\"", "96 bits", "ports"}});
    std::map<int, cornertest::Array> wideTaps = {{0, a(2)}};
    cgcorner::setRole(wideTaps, 10, 80, 70);
    cs.push_back({"mineig_uint8_coefficients_80",
                  wideTaps,
                  "uint8",
                  {},
                  {"\"Coefficients\"", "80 bits", "run-time parameters"}});
    cornertest::Settings logging;
    logging.minMaxOverflowLogging = 1;
    cs.push_back({"harris_double_logging", {{0, a(1)}}, "double", logging, {"logs minimum, maximum"}});
    return cs;
}

INSTANTIATE_TEST_SUITE_P(Configurations, CornerCodegenRefusal, ::testing::ValuesIn(refusedCases()),
                         [](const ::testing::TestParamInfo<RefusedCase>& i) { return i.param.name; });

// Through the command line: the refusal leaves no output folder, and a uint8 image with no type options
// (the dialog's 96-bit product and memory) generates.
TEST(CornerCodegenCli, RefusalLeavesNoFolder) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(cgtest::workDir("corner_cli"));
    fs::remove_all(dir);
    fs::create_directories(dir);
    // A 9 x 9 uint8 image as .npy.
    const fs::path npy = dir / "img.npy";
    {
        std::string hdr = "{'descr': '|u1', 'fortran_order': False, 'shape': (9, 9), }";
        hdr += std::string(63 - (10 + hdr.size()) % 64, ' ') + "\n";
        std::ofstream f(npy, std::ios::binary);
        f.write("\x93NUMPY\x01\x00", 8);
        const uint16_t n = uint16_t(hdr.size());
        f.put(char(n & 0xFF)).put(char(n >> 8));
        f << hdr;
        for (int i = 0; i < 81; ++i)
            f.put(char((i * 37) % 251));
    }
    const fs::path out = dir / "gen";
    const std::string base0 = std::string("DRAVO_PLUGIN_PATH='") + DRAVO_PLUGIN_DIR + "' '" + DRAVO_BINARY +
                              "' codegen corner-metric -i '" + npy.string() + "' --out-dir '" + out.string() +
                              "'";
    const std::string base = base0 + " -s metricOutputWordLength=96";
    EXPECT_NE(std::system((base + " > '" + (dir / "log").string() + "' 2>&1").c_str()), 0);
    EXPECT_FALSE(fs::exists(out));
    std::ifstream log(dir / "log");
    const std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("\"Metric output\" data type is 96 bits wide"), std::string::npos) << text;
    // The same image with the dialog's types generates.
    EXPECT_EQ(std::system((base0 + " > /dev/null 2>&1").c_str()), 0);
    EXPECT_TRUE(fs::exists(out / "corner_metric.c"));
}

}  // namespace
