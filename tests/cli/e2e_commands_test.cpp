// blocks, describe, demo, warnings and every command's --help.
#include <gtest/gtest.h>

#include <sstream>

#include "e2e_support.h"

using namespace dravo::test;

namespace {

TEST(E2eCommands, BlocksListsTheTestBlockWithItsSummary) {
    auto r = runDravo({"blocks"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("testblock"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("dravo_testblock"), std::string::npos);
    EXPECT_NE(r.out.find("Test block of the host"), std::string::npos);
}

TEST(E2eCommands, DescribeShowsParametersChoicesAndTunability) {
    auto r = runDravo({"describe", "testblock"});
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* s : {"gain", "offset", "mode", "rtpType", "affine", "copy", "fail", "Inputs", "Outputs"})
        EXPECT_NE(r.out.find(s), std::string::npos) << s << "\n" << r.out;
    // The plug-in declares offset tunable and gain not; the table says so on their lines.
    auto lineOf = [&](const std::string& name) {
        size_t p = r.out.find("  " + name + " ");
        size_t b = r.out.rfind('\n', p);
        return r.out.substr(b + 1, r.out.find('\n', p) - b - 1);
    };
    EXPECT_NE(lineOf("offset").find("yes"), std::string::npos) << lineOf("offset");
    EXPECT_NE(lineOf("gain").find("no"), std::string::npos) << lineOf("gain");
    // By plug-in name too.
    EXPECT_EQ(runDravo({"describe", "dravo_testblock"}).status, 0);
}

TEST(E2eCommands, PluginWithoutDescriptionRunsByIndex) {
    // The test block under another file name has no dialog description: parameters go by index.
    TempDir dir;
    std::filesystem::copy_file(std::filesystem::path(DRAVO_TEST_PLUGIN_DIR) / "dravo_testblock.so",
                               dir / "undescribed.so");
    std::string plugin = (dir / "undescribed.so").string();
    writeFile(dir / "u.npy", npyBytes("<f8", false, "(1, 2)", bytesOf<double>({1, 2})));
    auto r = runDravo({"run", plugin, "-p", "0=3", "-p", "1=1", "-p", "2=1", "-p", "3=0", "-i",
                       (dir / "u.npy").string(), "-o", (dir / "y.npy").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(valuesOf<double>(parseNpyFile(readFile(dir / "y.npy")).data), (std::vector<double>{4, 7}));
    auto d = runDravo({"describe", plugin});
    EXPECT_EQ(d.status, 0) << d.err;
    EXPECT_NE(d.out.find("-p INDEX=VALUE"), std::string::npos) << d.out;
    r = runDravo({"run", plugin, "-s", "gain=1", "-i", (dir / "u.npy").string()});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(isOneErrorLine(r.err, "dravo::cli::unknownParameter")) << r.err;
}

TEST(E2eCommands, BlockWarningsGoToStderr) {
    auto r = runDravo({"run", "testblock", "-s", "gain=0", "-i", "3"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("warning: Gain is zero"), std::string::npos) << r.err;
}

TEST(E2eCommands, HelpOfEveryCommandTeachesWithAnExample) {
    for (const char* cmd : {"blocks", "describe", "run", "demo", "codegen", "sil"}) {
        auto r = runDravo({cmd, "--help"});
        EXPECT_EQ(r.status, 0) << cmd;
        EXPECT_NE(r.out.find("Example"), std::string::npos) << cmd << "\n" << r.out;
        EXPECT_NE(r.out.find(std::string("dravo ") + cmd), std::string::npos) << cmd;
    }
    auto top = runDravo({"--help"});
    EXPECT_EQ(top.status, 0);
    for (const char* cmd : {"blocks", "describe", "run", "demo", "codegen", "sil"})
        EXPECT_NE(top.out.find(cmd), std::string::npos);
}

// The demo's steps by block and the plug-in each needs; a step is skipped only when its plug-in file is
// not in the build, and every other step must be written.
struct DemoBlock {
    const char* block;
    const char* plugin;
    std::vector<const char*> files;
};
const std::vector<DemoBlock> kDemoBlocks = {
    {"rotate",
     "pellor",
     {"rotate-30-bilinear-gray.png", "rotate-30-bilinear-rgb.png", "rotate-quarter-turn.png",
      "rotate-30-bilinear-uint8.png"}},
    {"pad", "dashel", {"pad-symmetric.png", "pad-circular.png"}},
    {"convert", "ubrin", {"convert-uint8.png", "convert-fixed-u12.png"}},
};

std::string lineOf(const std::string& out, const std::string& file) {
    size_t p = out.find("\n" + file + " ");
    if (p == std::string::npos) return "";
    return out.substr(p + 1, out.find('\n', p + 1) - p - 1);
}

TEST(E2eCommands, DemoWritesEveryStepWhosePluginIsBuilt) {
    TempDir dir;
    auto out = dir / "demo";
    auto r = runDravo({"demo", "--out-dir", out.string()});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    for (const char* scene : {"scene-gray.png", "scene-rgb.png"}) {
        auto bytes = readFile(out / scene);
        ASSERT_GT(bytes.size(), 8u) << scene;
        EXPECT_EQ(bytes[1], 'P') << scene;
    }
    EXPECT_EQ(r.out.find("FAILED"), std::string::npos) << r.out;
    for (const auto& b : kDemoBlocks) {
        bool built = std::filesystem::exists(std::filesystem::path(DRAVO_TEST_PLUGIN_DIR) /
                                             (std::string(b.plugin) + ".so"));
        for (const char* file : b.files) {
            std::string line = lineOf(r.out, file);
            ASSERT_FALSE(line.empty()) << file << "\n" << r.out;
            if (!built) {
                EXPECT_NE(line.find("skipped: plug-in " + std::string(b.plugin) + " not built"),
                          std::string::npos)
                    << line;
                EXPECT_FALSE(std::filesystem::exists(out / file)) << file;
                continue;
            }
            EXPECT_NE(line.find("written"), std::string::npos) << line;
            auto bytes = readFile(out / file);
            ASSERT_GT(bytes.size(), 8u) << file;
            EXPECT_EQ(bytes[1], 'P') << file;
        }
    }
}

// A plug-in that is there but cannot be loaded is a failure of the demo, not a skipped step.
TEST(E2eCommands, DemoFailsWhenAPluginFailsToLoad) {
    TempDir dir;
    std::filesystem::create_directory(dir / "plugins");
    // A library that lacks a required callback, under the rotate plug-in's name, found first.
    std::filesystem::copy_file(std::filesystem::path(DRAVO_TEST_PLUGIN_DIR) / "dravo_misbehaving.so",
                               dir / "plugins" / "pellor.so");
    auto r = runDravo({"demo", "--out-dir", (dir / "demo").string()},
                      {"DRAVO_PLUGIN_PATH=" + (dir / "plugins").string() + ":" + DRAVO_TEST_PLUGIN_DIR});
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    for (const char* file : kDemoBlocks[0].files) {
        std::string line = lineOf(r.out, file);
        EXPECT_NE(line.find("FAILED"), std::string::npos) << line;
        EXPECT_NE(line.find("mdlOutputs"), std::string::npos) << line;
    }
    EXPECT_NE(r.err.find("demo step(s) failed"), std::string::npos) << r.err;
}

TEST(E2eCommands, LoggingPrintsTheFixedPointReport) {
    auto r = runDravo({"run", "testblock", "-i", "1", "--logging"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("fixed-point logging"), std::string::npos) << r.out;
}

}  // namespace

// An 8-bit PNG goes through the fixed-point rotation with the dialog's defaults and comes back as an 8-bit
// PNG of the expanded size: 120x160 at 30 degrees is 2*ceil((cos*120 + sin*160)/2) = 184 rows by
// 2*ceil((sin*120 + cos*160)/2) = 200 columns.
TEST(E2eCommands, RotateTakesAnEightBitPngDirectly) {
    TempDir dir;
    auto demo = dir / "demo";
    ASSERT_EQ(runDravo({"demo", "--out-dir", demo.string()}).status, 0);
    if (!std::filesystem::exists(demo / "convert-uint8.png") ||
        !std::filesystem::exists(demo / "rotate-quarter-turn.png"))
        GTEST_SKIP() << "convert or rotate plug-in not built";
    auto rotated = dir / "rotated.png";
    auto r = runDravo({"run", "rotate", "-i", (demo / "convert-uint8.png").string(), "-o", rotated.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    auto bytes = readFile(rotated);
    ASSERT_GT(bytes.size(), 25u);
    auto be32 = [&](size_t at) {
        return (bytes[at] << 24) | (bytes[at + 1] << 16) | (bytes[at + 2] << 8) | bytes[at + 3];
    };
    EXPECT_EQ(be32(16), 200);  // IHDR width
    EXPECT_EQ(be32(20), 184);  // IHDR height
    EXPECT_EQ(bytes[24], 8);   // bit depth
}
