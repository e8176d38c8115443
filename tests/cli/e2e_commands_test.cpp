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
    for (const char* cmd : {"blocks", "describe", "run", "demo"}) {
        auto r = runDravo({cmd, "--help"});
        EXPECT_EQ(r.status, 0) << cmd;
        EXPECT_NE(r.out.find("Example"), std::string::npos) << cmd << "\n" << r.out;
        EXPECT_NE(r.out.find(std::string("dravo ") + cmd), std::string::npos) << cmd;
    }
    auto top = runDravo({"--help"});
    EXPECT_EQ(top.status, 0);
    for (const char* cmd : {"blocks", "describe", "run", "demo"})
        EXPECT_NE(top.out.find(cmd), std::string::npos);
}

TEST(E2eCommands, DemoWritesTheSceneAndATable) {
    TempDir dir;
    auto out = dir / "demo";
    auto r = runDravo({"demo", "--out-dir", out.string()});
    // Steps whose plug-in is not built are skipped, so the demo passes at every stage of the project.
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(std::filesystem::exists(out / "scene-gray.png"));
    EXPECT_TRUE(std::filesystem::exists(out / "scene-rgb.png"));
    EXPECT_NE(r.out.find("FILE"), std::string::npos);
    for (const char* block : {"rotate", "pad", "convert"})
        EXPECT_NE(r.out.find(block), std::string::npos) << block;
    EXPECT_EQ(r.out.find("FAILED"), std::string::npos) << r.out;
    // Each row is written or skipped; a written row's file is a PNG in the folder.
    std::istringstream lines(r.out);
    int written = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.find(".png ") == std::string::npos || line.find("dravo run") != std::string::npos) continue;
        std::string file = line.substr(0, line.find(' '));
        bool skipped = line.find("skipped:") != std::string::npos;
        EXPECT_TRUE(skipped || line.find("written") != std::string::npos ||
                    line.find("drawn") != std::string::npos)
            << line;
        if (skipped) continue;
        ++written;
        auto bytes = readFile(out / file);
        ASSERT_GT(bytes.size(), 8u) << file;
        EXPECT_EQ(bytes[1], 'P') << file;
    }
    EXPECT_GE(written, 2);
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
