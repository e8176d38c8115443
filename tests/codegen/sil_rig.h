// Runs a started host block through the equivalence harness and expects identical outputs. A unit that
// needs the 128-bit helpers is also built with the two-word ones (the path of targets without a 128-bit
// integer), so every sweep covers both.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cg/emit_c.h"
#include "cg/host_bridge.h"
#include "cg/sil.h"
#include "cg_test_util.h"
#include "dravo/host/engine.h"

namespace cgtest {

inline void expectIdentical(dravo::host::Block& block, const std::string& name, const std::string& type,
                            const std::vector<CG::HarnessInput>& inputs) {
    CG::HarnessOptions o;
    o.workDir = workDir(name);
    o.sanitize = true;
    TarnCG::SilResult r = TarnCG::runSil(block, name, type, inputs, o);
    EXPECT_TRUE(r.ran && r.identical) << r.verdict();
    if (!r.ran || !std::filesystem::exists(std::filesystem::path(o.workDir) / CG::wideHeaderName())) return;
    // The same unit on both integer paths must give the same bits (the simulation is not stepped again).
    std::unique_ptr<TarnCG::CGHandle> h = TarnCG::makeHandle(block, name, type);
    std::string err;
    ASSERT_TRUE(TarnCG::generateForBlock(block, *h, &err)) << err;
    std::vector<CG::HarnessResult> runs;
    for (bool portable : {false, true}) {
        o.workDir = workDir(name + (portable ? "_portable" : "_native"));
        o.portableInt = portable;
        runs.push_back(CG::buildAndRun(h->unit(), inputs, o));
        ASSERT_TRUE(runs.back().ok) << runs.back().error;
    }
    for (size_t k = 0; k < runs[0].outputs.size(); ++k)
        EXPECT_EQ(runs[0].outputs[k].bytes, runs[1].outputs[k].bytes)
            << "output " << k << " with two-word helpers";
}

}  // namespace cgtest
