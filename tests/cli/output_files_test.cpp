#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>

#include "errors.h"
#include "interrupt_cleanup.h"
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

namespace {

using dravo::test::TempDir;
namespace fs = std::filesystem;

// Runs `body` in a child that then raises `sig`; returns the child's wait status.
template <class F>
int inChildThenSignal(F body, int sig) {
    pid_t pid = fork();
    if (pid == 0) {
        body();
        raise(sig);
        _exit(0);  // not reached when the signal kills
    }
    int ws = 0;
    waitpid(pid, &ws, 0);
    return ws;
}

TEST(OutputFilesInterrupt, TemporariesAndNewFoldersGoOnTermIntAndHup) {
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        TempDir dir;
        int ws = inChildThenSignal(
            [&] {
                static OutputFolder folder((dir / "new" / "deeper").string());
                static PendingOutputs out;
                out.add((dir / "new" / "deeper" / "a.npy").string(), std::vector<uint8_t>(1000, 1));
                out.add((dir / "b.npy").string(), {2});
            },
            sig);
        ASSERT_TRUE(WIFSIGNALED(ws)) << sig;
        EXPECT_EQ(WTERMSIG(ws), sig);
        EXPECT_TRUE(dir.files().empty()) << sig << ": " << dir.files().size() << " left";
    }
}

TEST(OutputFilesInterrupt, PrivateFolderGoesWithWhatItHolds) {
    TempDir dir;
    setenv("TMPDIR", dir.path().c_str(), 1);
    int ws = inChildThenSignal(
        [&] {
            static PrivateTempFolder work("dravo-x-");
            fs::create_directories(fs::path(work.path()) / "sub" / "subsub");
            dravo::test::writeFile(fs::path(work.path()) / "sub" / "f", {1});
            fs::create_symlink(dir.path(), fs::path(work.path()) / "link-out");  // must not be followed
            struct stat st;
            if (stat(work.path().c_str(), &st) != 0 || (st.st_mode & 0777) != 0700) _exit(3);
        },
        SIGTERM);
    unsetenv("TMPDIR");
    ASSERT_TRUE(WIFSIGNALED(ws)) << (WIFEXITED(ws) ? WEXITSTATUS(ws) : -1);
    EXPECT_TRUE(dir.files().empty());
}

TEST(OutputFilesInterrupt, RegistrationsOfFinishedWorkAreForgotten) {
    // A committed file must survive a later interrupt.
    TempDir dir;
    int ws = inChildThenSignal(
        [&] {
            PendingOutputs out;
            out.add((dir / "kept.npy").string(), {1});
            out.commit();
        },
        SIGTERM);
    ASSERT_TRUE(WIFSIGNALED(ws));
    EXPECT_EQ(dir.files(), std::vector<std::string>{"kept.npy"});
}

TEST(OutputFilesCommit, FailedRenameRestoresEarlierFiles) {
    TempDir dir;
    dravo::test::writeFile(dir / "a.npy", {'o', 'l', 'd'});
    PendingOutputs out;
    out.add((dir / "a.npy").string(), {'n', 'e', 'w'});
    out.add((dir / "b.npy").string(), {'n', 'e', 'w'});
    // The second temporary disappears behind our back: its rename fails after the first succeeded.
    for (const auto& name : dir.files())
        if (name.rfind(".b.npy.tmp", 0) == 0) fs::remove(dir / name);
    try {
        out.commit();
        FAIL() << "commit succeeded";
    } catch (const ToolError& e) {
        EXPECT_EQ(e.messageClass(), msg::kUnwritableFile);
        EXPECT_NE(std::string(e.what()).find("b.npy"), std::string::npos);
    }
    EXPECT_EQ(dravo::test::readFile(dir / "a.npy"), (std::vector<uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(dir.files(), std::vector<std::string>{"a.npy"});
}

TEST(OutputFilesCommit, TemporaryNamesFitTheNameLimit) {
    TempDir dir;
    for (size_t len : {1u, 200u, 243u, 244u, 245u, 250u, 255u}) {
        std::string base(len, 'q');
        std::string stem = temporaryStem((dir / base).string());
        std::string name = fs::path(stem).filename().string();
        EXPECT_LE(name.size() + 6, 255u) << len;
        EXPECT_EQ(name.front(), '.');
        EXPECT_EQ(name.substr(name.size() - 4), ".tmp");
        PendingOutputs out;
        out.add((dir / base).string(), {1});
        out.commit();
        EXPECT_TRUE(fs::exists(dir / base)) << len;
        fs::remove(dir / base);
    }
    EXPECT_EQ(temporaryStem("out.npy"), ".out.npy.tmp");
}

TEST(OutputFilesCommit, FolderAndLinkDestinationsAreRefused) {
    TempDir dir;
    fs::create_directory(dir / "folder.npy");
    fs::create_symlink(dir / "elsewhere", dir / "link.npy");
    for (const char* name : {"folder.npy", "link.npy"}) {
        PendingOutputs out;
        EXPECT_THROW(out.add((dir / name).string(), {1}), ToolError) << name;
        EXPECT_THROW(checkOutputPath((dir / name).string()), ToolError) << name;
    }
    EXPECT_NO_THROW(checkOutputPath((dir / "missing.npy").string()));
    EXPECT_EQ(dir.files().size(), 2u);
}

TEST(OutputFilesCommit, OutputFolderRemovesOnlyWhatItMadeAndIsEmpty) {
    TempDir dir;
    { OutputFolder f((dir / "x" / "y").string()); }
    EXPECT_TRUE(dir.files().empty());
    {
        OutputFolder f((dir / "x" / "y").string());
        f.keep();
    }
    EXPECT_TRUE(fs::is_directory(dir / "x" / "y"));
    { OutputFolder f((dir / "x" / "y" / "z").string()); }
    EXPECT_TRUE(fs::is_directory(dir / "x" / "y"));
    EXPECT_FALSE(fs::exists(dir / "x" / "y" / "z"));
    dravo::test::writeFile(dir / "file", {1});
    EXPECT_THROW(OutputFolder((dir / "file").string()), ToolError);
}

}  // namespace
