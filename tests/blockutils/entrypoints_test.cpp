// The common entry points every plug-in carries, as the host's loader sees them in a real plug-in.
#include <gtest/gtest.h>

#include "probe_block.h"

namespace {

TEST(EntryPoints, ExportedThroughTheCallbackTypes) {
    auto plugin = probe::plugin();
    ASSERT_NE(plugin->tukFunction, nullptr);
    ASSERT_NE(plugin->mdlInitializeSampleTimes, nullptr);
    plugin->tukFunction(0, nullptr, 0, nullptr);  // does nothing, returns at once
}

TEST(EntryPoints, OnlyCallbacksAreVisible) {
    // Each test may run in its own process: load the plug-in here rather than rely on an earlier test.
    void* lib = dlopen(DRAVO_PROBE_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr);
    // The helper set is compiled in with hidden visibility: one plug-in's copy never shadows another's.
    EXPECT_EQ(dlsym(lib, "_ZN10blockutils19getDataTypeMaxValueEPN6sysobj17SysObjAdaptorSFunEi"), nullptr);
    EXPECT_NE(dlsym(lib, "mdlInitializeSampleTimes"), nullptr);
    dlclose(lib);
}

TEST(EntryPoints, InheritedSampleTimeLetsTheBlockStart) {
    probe::Hooks hooks;
    probe::Block b(hooks);
    b->initialize();
    b->propagate({dravo::host::InputSpec{{2, 3}, SS_DOUBLE}});
    EXPECT_NO_THROW(b->start());
}

}  // namespace
