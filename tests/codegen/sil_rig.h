// Runs a started host block through the equivalence harness and expects identical outputs.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

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
}

}  // namespace cgtest
