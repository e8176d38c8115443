// Generated code of the pad block against its simulation, bit for bit: every method in the 2-D form
// (padding, truncation, output sizes), the N-D form, complex signals and widening, the pad value from the
// dialog and from the port, and several storage types.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "dravo/host/types.h"
#include "sil_rig.h"

using dravo::host::Array;
using dravo::host::Block;
using dravo::host::InputSpec;
using dravo::host::Plugin;

namespace {

std::vector<Array> defaults() {
    std::vector<Array> p;
    for (double v : {1, 1, 0, 1, 1, 3, 1, 8, 1, 3, 1, 8, 1, 1, 1, 1})
        p.push_back(Array::scalar(v));
    p.push_back(Array::realVector({8}));
    p.push_back(Array::realVector({1}));
    p.push_back(Array::realVector({0}));
    p.push_back(Array::realVector({1}));
    p.push_back(Array::scalar(2));
    return p;
}

Array vec(std::vector<double> v) {
    return Array::realVector(v);
}

std::shared_ptr<Plugin> plugin() {
    static std::shared_ptr<Plugin> p = Plugin::load("dashel");
    return p;
}

InputSpec input(std::vector<int32_t> dims, int32_t complexSignal = 0, const std::string& type = "double") {
    InputSpec s;
    s.dims = std::move(dims);
    s.complexSignal = complexSignal;
    s.dataType = *dravo::types::parseTypeName(type);
    return s;
}

// Distinct, recognisable stored bytes for n elements of the port's storage.
std::vector<uint8_t> dataFor(const InputSpec& s, uint8_t seed) {
    size_t n = 1;
    for (int32_t d : s.dims)
        n *= static_cast<size_t>(d);
    const auto& info = dravo::types::info(s.dataType);
    size_t elem = static_cast<size_t>(info.containerBytes) * (s.complexSignal == 1 ? 2 : 1);
    std::vector<uint8_t> b(n * elem);
    if (s.dataType == SS_DOUBLE) {
        for (size_t i = 0; i < n * (s.complexSignal == 1 ? 2 : 1); ++i) {
            double v = static_cast<double>(i) * 1.5 + seed;
            std::memcpy(b.data() + i * 8, &v, 8);
        }
    } else if (s.dataType == SS_SINGLE) {
        for (size_t i = 0; i < n * (s.complexSignal == 1 ? 2 : 1); ++i) {
            float v = static_cast<float>(i) * 0.25f + seed;
            std::memcpy(b.data() + i * 4, &v, 4);
        }
    } else if (s.dataType == SS_BOOLEAN) {
        for (size_t i = 0; i < b.size(); ++i)
            b[i] = static_cast<uint8_t>((i + seed) % 2);
    } else {
        for (size_t i = 0; i < b.size(); ++i)
            b[i] = static_cast<uint8_t>(i * 37 + seed);
        // Keep fixed-point words sign-extended in their container.
        if (info.kind == dravo::types::Kind::FixedPoint && info.wordLength < info.containerBytes * 8) {
            for (size_t e = 0; e < b.size() / info.containerBytes; ++e) {
                int64_t v = 0;
                std::memcpy(&v, b.data() + e * info.containerBytes, info.containerBytes);
                int shift = 64 - info.wordLength;
                v = static_cast<int64_t>(static_cast<uint64_t>(v) << shift) >> shift;
                std::memcpy(b.data() + e * info.containerBytes, &v, info.containerBytes);
            }
        }
    }
    return b;
}

struct PadCase {
    std::string name;
    std::map<int32_t, Array> params;
    std::vector<InputSpec> inputs;
    friend void PrintTo(const PadCase& c, std::ostream* os) { *os << c.name; }
};

std::vector<PadCase> cases() {
    std::vector<PadCase> cs;
    const char* methods[] = {"constant", "replicate", "symmetric", "circular"};
    for (int m = 1; m <= 4; ++m) {
        std::string s = methods[m - 1];
        double dm = m;
        // Pads longer than the data along rows, both sides of the columns.
        cs.push_back(
            {s + "_2d_long",
             {{0, Array::scalar(dm)}, {2, Array::scalar(7)}, {6, vec({2, 3})}, {10, Array::scalar(4)}},
             {input({3, 2})}});
        // Output sizes: rows truncated at the end, columns grown on both sides, three planes.
        cs.push_back({s + "_2d_truncate",
                      {{0, Array::scalar(dm)},
                       {3, Array::scalar(2)},
                       {5, Array::scalar(2)},
                       {7, Array::scalar(3)},
                       {9, Array::scalar(3)},
                       {11, Array::scalar(9)}},
                      {input({4, 5, 2})}});
        cs.push_back({s + "_2d_complex",
                      {{0, Array::scalar(dm)}, {2, Array::complexScalar(1, -1)}, {6, vec({1, 2})}},
                      {input({3, 3}, 1)}});
        cs.push_back({s + "_int16",
                      {{0, Array::scalar(dm)}, {6, vec({2, 3})}, {10, Array::scalar(4)}},
                      {input({3, 2}, 0, "int16")}});
        cs.push_back(
            {s + "_fixed",
             {{0, Array::scalar(dm)}, {6, vec({1, 4})}, {9, Array::scalar(1)}, {10, Array::scalar(2)}},
             {input({2, 3}, 0, "fixed:s20:5")}});
    }
    cs.push_back({"nd_listed_4d",
                  {{20, Array::scalar(1)},
                   {13, Array::scalar(5)},
                   {2, Array::scalar(3)},
                   {17, vec({4, 2})},
                   {18, vec({1, 0})},
                   {19, vec({2, 3})}},
                  {input({2, 3, 2, 2})}});
    cs.push_back({"nd_both_1d",
                  {{20, Array::scalar(1)},
                   {13, Array::scalar(3)},
                   {14, Array::scalar(3)},
                   {2, Array::scalar(1)},
                   {11, Array::scalar(3)},
                   {7, Array::scalar(4)}},
                  {input({5})}});
    cs.push_back({"nd_columns_3d",
                  {{20, Array::scalar(1)}, {13, Array::scalar(1)}, {11, Array::scalar(6)}},
                  {input({4, 3, 2})}});
    cs.push_back({"widen_complex_constant", {{2, Array::complexScalar(2, -3)}}, {input({2, 3})}});
    cs.push_back({"value_from_port_complex", {{1, Array::scalar(2)}}, {input({3, 3}, 1), input({1, 1}, 0)}});
    cs.push_back({"value_from_port_single",
                  {{1, Array::scalar(2)}, {0, Array::scalar(1)}},
                  {input({2, 2}, 0, "single"), input({1, 1}, 1, "single")}});
    cs.push_back(
        {"boolean_replicate", {{0, Array::scalar(2)}, {6, vec({1, 2})}}, {input({2, 2}, 0, "boolean")}});
    cs.push_back({"uint8_symmetric",
                  {{0, Array::scalar(3)}, {6, vec({4, 0})}, {10, Array::scalar(5)}},
                  {input({2, 3}, 0, "uint8")}});
    return cs;
}

}  // namespace

class PadSil : public ::testing::TestWithParam<PadCase> {};

TEST_P(PadSil, GeneratedCodeMatchesSimulation) {
    const PadCase& c = GetParam();
    auto block = std::make_unique<Block>(plugin(), "pad");
    std::vector<Array> p = defaults();
    for (const auto& [i, v] : c.params)
        p[static_cast<size_t>(i)] = v;
    block->setParameters(std::move(p));
    block->propagate(c.inputs);
    block->start();
    std::vector<CG::HarnessInput> in;
    for (size_t i = 0; i < c.inputs.size(); ++i)
        in.push_back({dataFor(c.inputs[i], static_cast<uint8_t>(3 + i * 40)), {}});
    cgtest::expectIdentical(*block, "pad", "pad", in);
}

INSTANTIATE_TEST_SUITE_P(Forms, PadSil, ::testing::ValuesIn(cases()),
                         [](const auto& info) { return info.param.name; });

TEST(PadSilText, StructureNamesAndCommentsAsDescribed) {
    auto block = std::make_unique<Block>(plugin(), "pad");
    std::vector<Array> p = defaults();
    p[0] = Array::scalar(3);
    block->setParameters(std::move(p));
    block->propagate({input({3, 3})});
    block->start();
    auto h = TarnCG::makeHandle(*block, "pad", "pad");
    std::string err;
    ASSERT_TRUE(TarnCG::generateForBlock(*block, *h, &err)) << err;
    std::string t = cgtest::emitText(*h);
    for (const char* s :
         {"/* Length of input columns to copy. Start with output column length and adjust. */",
          "/* Compute initial column start addresses in both input and output arrays. */",
          "/* Copy all needed input columns to the output array. */",
          "/* Compute starting address of next column to copy. */",
          "/* Copy a column from input to output array. */", "/* Increment the column starting address. */",
          "/* Reset index of this dim and continue to the next dim. */",
          "/* Done incrementing address for this pass. */", "/* end CopyInToOut. */",
          "inColLength = rtp_outDims[0];", "dw_inAdd[i] = -rtp_padBefore[i];",
          "if ((rtp_padBefore[dim] > 0) || (rtp_padAfter[dim] > 0)) {", "dv_bool_t direction",
          "y0[outAddOffset + j] = u0[inAddOffset + j];"})
        EXPECT_NE(t.find(s), std::string::npos) << s << "\n" << t;
}

TEST(PadSilText, PadValueFromThePortIsReadFromThePort) {
    auto block = std::make_unique<Block>(plugin(), "pad");
    std::vector<Array> p = defaults();
    p[1] = Array::scalar(2);
    block->setParameters(std::move(p));
    block->propagate({input({3, 3}), input({1, 1})});
    block->start();
    auto h = TarnCG::makeHandle(*block, "padport", "pad");
    std::string err;
    ASSERT_TRUE(TarnCG::generateForBlock(*block, *h, &err)) << err;
    std::string t = cgtest::emitText(*h);
    EXPECT_NE(t.find("y0[vector] = u1[0];"), std::string::npos) << t;
    EXPECT_EQ(t.find("PadValue"), std::string::npos) << t;
}

// The pad value changed between steps, as the host changes a tunable parameter: the generated code gets
// the processed run-time parameter through its parameter structure and stays identical at every step.
TEST(PadSilSteps, TunablePadValueChangedBetweenSteps) {
    for (const char* type : {"double", "int16", "fixed:s12:4"}) {
        auto block = std::make_unique<Block>(plugin(), "pad");
        std::vector<Array> p = defaults();
        p[2] = Array::scalar(7);
        p[6] = vec({1, 2});
        block->setParameters(std::move(p));
        InputSpec in = input({2, 3}, 0, type);
        block->propagate({in});
        block->start();
        ASSERT_TRUE(block->isParamTunable(2));
        std::vector<TarnCG::SilStep> steps(4);
        steps[0].inputs = {{dataFor(in, 3), {}}};
        steps[1].inputs = {{dataFor(in, 9), {}}};
        steps[1].paramChanges = {{2, Array::scalar(-2.5)}};
        steps[2].inputs = {{dataFor(in, 11), {}}};
        steps[3].inputs = {{dataFor(in, 5), {}}};
        steps[3].paramChanges = {{2, Array::scalar(5)}};
        CG::HarnessOptions o;
        o.workDir = cgtest::workDir(std::string("padsteps_") + type);
        o.sanitize = true;
        TarnCG::SilResult r = TarnCG::runSilSteps(*block, "pad", "pad", steps, o);
        EXPECT_TRUE(r.ran && r.identical) << type << ": " << r.verdict();
        EXPECT_EQ(r.steps, 4);
        // The last step padded with the last value (row 0 is padding): the change did reach the block.
        auto rtps = block->runTimeParams();
        const auto& info = dravo::types::info(in.dataType);
        const uint8_t* y = static_cast<const uint8_t*>(block->output(0));
        auto it = std::find_if(rtps.begin(), rtps.end(), [](auto& x) { return x.name == "PadValue"; });
        ASSERT_NE(it, rtps.end());
        EXPECT_EQ(std::memcmp(y, it->bytes.data(), static_cast<size_t>(info.containerBytes)), 0) << type;
        if (in.dataType == SS_DOUBLE) {
            double v;
            std::memcpy(&v, y, 8);
            EXPECT_EQ(v, 5.0);
        }
    }
}
