// Loading plug-ins: search path, names, required symbols, discovery.
#include <gtest/gtest.h>
#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>

#include "dravo/host/engine.h"

namespace {

namespace fs = std::filesystem;
using dravo::host::BlockError;
using dravo::host::Plugin;

// Keeps DRAVO_PLUGIN_PATH as it was around a test.
class PluginPathGuard {
  public:
    PluginPathGuard() {
        const char* v = std::getenv("DRAVO_PLUGIN_PATH");
        if (v) saved_ = v;
        had_ = v != nullptr;
    }
    ~PluginPathGuard() {
        if (had_)
            setenv("DRAVO_PLUGIN_PATH", saved_.c_str(), 1);
        else
            unsetenv("DRAVO_PLUGIN_PATH");
    }

  private:
    std::string saved_;
    bool had_ = false;
};

TEST(Plugin, LoadsFromTheHostLibraryFolderAndFillsTheCallbackTable) {
    auto p = Plugin::load("dravo_testblock");
    EXPECT_EQ(p->name(), "dravo_testblock");
    EXPECT_TRUE(fs::exists(p->path()));
    EXPECT_NE(p->mdlInitializeSizes, nullptr);
    EXPECT_NE(p->mdlCheckParameters, nullptr);
    EXPECT_NE(p->mdlProcessParameters, nullptr);
    EXPECT_NE(p->mdlInitializeSampleTimes, nullptr);
    EXPECT_NE(p->tukFunction, nullptr);
    EXPECT_EQ(p->mdlTarnCG, nullptr);
    EXPECT_EQ(p->mdlSetInputPortNumberOfDimensions, nullptr);
}

TEST(Plugin, LoadsByPath) {
    auto first = Plugin::load("dravo_minblock");
    auto byPath = Plugin::load(first->path());
    EXPECT_EQ(byPath->name(), "dravo_minblock");
    EXPECT_EQ(byPath->path(), first->path());
}

TEST(Plugin, MissingPluginIsALoadError) {
    try {
        Plugin::load("no_such_block_here");
        FAIL();
    } catch (const BlockError& e) {
        EXPECT_EQ(e.phase(), "load");
        EXPECT_NE(e.text().find("no_such_block_here.so not found"), std::string::npos) << e.text();
    }
    EXPECT_THROW(Plugin::load("/nonexistent/folder/x.so"), BlockError);
}

// Block names live in the dialog descriptions, each naming its plug-in; the host loads by plug-in name
// or path only, so adding a block touches no host file.
TEST(Plugin, HostKnowsPluginsNotBlockNames) {
    for (const char* blockName : {"rotate", "pad", "convert", "corner-metric", "contrast"}) {
        EXPECT_FALSE(Plugin::locate(blockName)) << blockName;
        try {
            Plugin::load(blockName);
            FAIL() << blockName;
        } catch (const BlockError& e) {
            EXPECT_EQ(e.phase(), "load");
            EXPECT_NE(e.text().find(std::string(blockName) + ".so not found"), std::string::npos) << e.text();
        }
    }
}

TEST(Plugin, LocateFindsWhatLoadOpens) {
    auto found = Plugin::locate("dravo_minblock");
    ASSERT_TRUE(found);
    EXPECT_EQ(*found, Plugin::load("dravo_minblock")->path());
    EXPECT_FALSE(Plugin::locate("no_such_block_here"));
    // A path is taken as it is, whether or not the file exists; load() reports what is wrong with it.
    EXPECT_EQ(Plugin::locate("/nonexistent/x.so").value_or(""), "/nonexistent/x.so");
}

TEST(Plugin, MissingRequiredSymbolIsNamed) {
    try {
        Plugin::load("dravo_misbehaving");
        FAIL();
    } catch (const BlockError& e) {
        EXPECT_EQ(e.phase(), "load");
        EXPECT_NE(e.text().find("symbol mdlOutputs is missing in plug-in"), std::string::npos) << e.text();
    }
}

TEST(Plugin, SearchPathComesFirst) {
    PluginPathGuard guard;
    auto original = Plugin::load("dravo_minblock");
    fs::path dir = fs::temp_directory_path() / ("dravo_plugin_path_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    fs::copy_file(original->path(), dir / "zz_probe_block.so", fs::copy_options::overwrite_existing);
    setenv("DRAVO_PLUGIN_PATH", ("/nonexistent:" + dir.string()).c_str(), 1);
    auto p = Plugin::load("zz_probe_block");
    EXPECT_EQ(p->path(), (dir / "zz_probe_block.so").string());
    auto found = Plugin::discover();
    bool listed = false;
    for (auto& [name, path] : found)
        listed = listed || name == "zz_probe_block";
    EXPECT_TRUE(listed);
    p.reset();
    fs::remove_all(dir);
}

TEST(Plugin, DiscoverListsBlocksButNotLibraries) {
    auto found = Plugin::discover();
    bool testblock = false;
    for (auto& [name, path] : found) {
        EXPECT_NE(name.rfind("lib", 0), 0u) << name;
        testblock = testblock || name == "dravo_testblock";
        EXPECT_NE(name, "dravo_misbehaving");  // lacks mdlOutputs: not loadable, so not listed
    }
    EXPECT_TRUE(testblock);
}

}  // namespace
