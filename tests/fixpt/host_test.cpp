// The library inside a real plug-in driven by the host: the logging setting comes from the block handle,
// refusals become the block's error, and the records of the block's objects reach the registry by label.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "dravo/host/engine.h"
#include "vekfixpt.h"

namespace {

using namespace dravo::host;
using VekDSPFixpt::LogRegistry;

std::unique_ptr<Block> startProbe(int32_t fault, int32_t logging) {
    Settings settings;
    settings.minMaxOverflowLogging = logging;
    auto block = std::make_unique<Block>(Plugin::load(DRAVO_FIXPT_PROBE_PATH), "probe", settings);
    block->setParameters({Array::scalar(fault)});
    block->initialize();
    InputSpec in;
    in.dims = {4};
    in.dataType = SS_INT8;
    block->propagate({in});
    block->start();
    return block;
}

TEST(HostDriven, ObjectsOverPortSignalsComputeAndLogByLabel) {
    LogRegistry::instance().reset();
    auto block = startProbe(0, 1);
    const int8_t input[4] = {100, -100, 3, -3};
    block->setInput(0, input, sizeof input);
    block->step();
    int8_t output[4];
    std::memcpy(output, block->output(0), sizeof output);
    EXPECT_EQ(output[0], 127);
    EXPECT_EQ(output[1], -128);
    EXPECT_EQ(output[2], 6);
    EXPECT_EQ(output[3], -6);
    block->terminate();
    const auto merged = LogRegistry::instance().mergedByLabel();
    ASSERT_EQ(merged.count("Output"), 1u) << LogRegistry::instance().formatReport();
    EXPECT_EQ(merged.at("Output").saturations, 2u);
    EXPECT_EQ(merged.at("Output").minValue, -128);
    EXPECT_EQ(merged.at("Output").maxValue, 127);
    EXPECT_EQ(merged.count("Input"), 0u);  // read only
}

TEST(HostDriven, NothingIsLoggedWhenTheSettingIsOff) {
    LogRegistry::instance().reset();
    auto block = startProbe(0, 0);
    const int8_t input[4] = {100, -100, 3, -3};
    block->setInput(0, input, sizeof input);
    block->step();
    block->terminate();
    EXPECT_TRUE(LogRegistry::instance().mergedByLabel().empty());
}

TEST(HostDriven, RefusalsBecomeTheBlocksError) {
    struct Case {
        int32_t fault;
        const char* words;
    };
    for (const Case& c : {Case{1, "word length 200"}, Case{2, "need 5 bytes, only 4 available"}}) {
        try {
            auto block = startProbe(c.fault, 0);
            ADD_FAILURE() << "fault " << c.fault << " was not refused";
        } catch (const BlockError& e) {
            EXPECT_NE(e.text().find(c.words), std::string::npos) << e.text();
        }
    }
}

}  // namespace
