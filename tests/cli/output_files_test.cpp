#include <gtest/gtest.h>

#include "errors.h"
#include "output_files.h"
#include "test_files.h"

using namespace dravo::cli;

namespace {

TEST(OutputFiles, StepPaths) {
    EXPECT_EQ(stepOutputPath("out.png", 1, 1), "out.png");
    EXPECT_EQ(stepOutputPath("out.png", 2, 3), "out_0002.png");
    EXPECT_EQ(stepOutputPath("dir.v2/out", 3, 3), "dir.v2/out_0003");
    EXPECT_EQ(stepOutputPath("f%03d.npy", 7, 9), "f007.npy");
    EXPECT_EQ(stepOutputPath("f%d.npy", 12, 12), "f12.npy");
    EXPECT_EQ(stepOutputPath("f%99999d.npy", 2, 3), "f%99999d_0002.npy");  // absurd widths are not fields
}

TEST(OutputFiles, NothingAppearsUntilCommit) {
    dravo::test::TempDir dir;
    {
        PendingOutputs out;
        out.add((dir / "a.bin").string(), {1, 2, 3});
        out.add((dir / "b.bin").string(), {4});
        EXPECT_FALSE(std::filesystem::exists(dir / "a.bin"));
        // Destroyed without commit: the temporaries go too.
    }
    EXPECT_TRUE(dir.files().empty());
    PendingOutputs out;
    out.add((dir / "a.bin").string(), {1, 2, 3});
    out.commit();
    EXPECT_EQ(dravo::test::readFile(dir / "a.bin"), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(dir.files().size(), 1u);
}

TEST(OutputFiles, UnwritableFolderAndDuplicateNames) {
    PendingOutputs out;
    try {
        out.add("/nonexistent-folder/x.npy", {1});
        FAIL();
    } catch (const ToolError& e) {
        EXPECT_EQ(e.messageClass(), msg::kUnwritableFile);
    }
    dravo::test::TempDir dir;
    out.add((dir / "x").string(), {1});
    EXPECT_THROW(out.add((dir / "x").string(), {2}), UsageError);
}

}  // namespace
