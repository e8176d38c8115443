// Runs of several steps: a folder of frames, frames of different sizes on a variable-size port, a list
// of values for a scalar port, one output file per step, and a tunable change between steps.
#include <gtest/gtest.h>
#include <png.h>

#include "e2e_support.h"

using namespace dravo::test;

namespace {

std::vector<double> doublesIn(const std::filesystem::path& p) {
    return valuesOf<double>(parseNpyFile(readFile(p)).data);
}

TEST(E2eSteps, FolderOfFramesGivesOneOutputPerStep) {
    TempDir dir;
    std::filesystem::create_directory(dir / "frames");
    for (int k = 0; k < 3; ++k)
        writeFile(dir / "frames" / ("f" + std::to_string(k) + ".npy"),
                  npyBytes("<f8", false, "(1, 2)", bytesOf<double>({double(k), double(10 * k)})));
    auto r = runDravo({"run", "testblock", "-s", "gain=3", "-i", (dir / "frames").string(), "-o",
                       (dir / "out.npy").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    for (int k = 0; k < 3; ++k) {
        auto p = dir / ("out_000" + std::to_string(k + 1) + ".npy");
        ASSERT_TRUE(std::filesystem::exists(p)) << p;
        EXPECT_EQ(doublesIn(p), (std::vector<double>{3.0 * k, 30.0 * k}));
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "out.npy"));
}

std::vector<uint8_t> grayPng(int rows, int cols, uint8_t base) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(cols);
    image.height = static_cast<png_uint_32>(rows);
    image.format = PNG_FORMAT_GRAY;
    std::vector<uint8_t> px(static_cast<size_t>(rows * cols));
    for (size_t i = 0; i < px.size(); ++i)
        px[i] = static_cast<uint8_t>(base + i);
    png_alloc_size_t size = 0;
    png_image_write_to_memory(&image, nullptr, &size, 0, px.data(), 0, nullptr);
    std::vector<uint8_t> out(size);
    png_image_write_to_memory(&image, out.data(), &size, 0, px.data(), 0, nullptr);
    out.resize(size);
    return out;
}

TEST(E2eSteps, FolderOfPngFramesOfDifferentSizes) {
    TempDir dir;
    std::filesystem::create_directory(dir / "frames");
    writeFile(dir / "frames" / "frame1.png", grayPng(4, 6, 0));
    writeFile(dir / "frames" / "frame2.png", grayPng(5, 3, 100));
    writeFile(dir / "frames" / "notes.txt", {'x'});  // not a frame: ignored
    auto r = runDravo({"run", "testblock", "-s", "mode=copy", "-i", (dir / "frames").string(),
                       "--variable-size", "0", "-o", (dir / "out.png").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    // Each step's file is that frame again, at its own size.
    EXPECT_EQ(readFile(dir / "out_0001.png").size() > 8, true);
    auto again = runDravo({"run", "testblock", "-s", "mode=copy", "-i", (dir / "out_0002.png").string(), "-o",
                           (dir / "check.npy").string()});
    ASSERT_EQ(again.status, 0) << again.err;
    NpyFile n = parseNpyFile(readFile(dir / "check.npy"));
    EXPECT_EQ(n.shape, "(5, 3)");
    std::vector<uint8_t> expect(15);
    for (size_t i = 0; i < 15; ++i)
        expect[i] = static_cast<uint8_t>(100 + i);
    EXPECT_EQ(n.data, expect);
    EXPECT_NE(r.out.find("uint8 4x6"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("uint8 5x3"), std::string::npos) << r.out;
}

TEST(E2eSteps, PrintfPatternNamesTheFiles) {
    TempDir dir;
    auto r = runDravo({"run", "testblock", "-i", "1,2", "-o", (dir / "y%02d.npy").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(doublesIn(dir / "y01.npy"), (std::vector<double>{1}));
    EXPECT_EQ(doublesIn(dir / "y02.npy"), (std::vector<double>{2}));
}

TEST(E2eSteps, FramesOfDifferentSizesNeedAVariableSizePort) {
    TempDir dir;
    writeFile(dir / "a.npy", npyBytes("<f8", false, "(2, 2)", bytesOf<double>({1, 2, 3, 4})));
    writeFile(dir / "b.npy", npyBytes("<f8", false, "(3, 1)", bytesOf<double>({5, 6, 7})));
    writeFile(dir / "c.npy", npyBytes("<f8", false, "(1, 3)", bytesOf<double>({8, 9, 10})));
    std::string frames =
        (dir / "a.npy").string() + "," + (dir / "b.npy").string() + "," + (dir / "c.npy").string();
    auto r = runDravo({"run", "testblock", "-s", "mode=copy", "-i", frames, "-o", (dir / "o.npy").string()});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(isOneErrorLine(r.err, "dravo::cli::unsupportedArray")) << r.err;
    EXPECT_NE(r.err.find("--variable-size"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "o_0001.npy"));

    r = runDravo({"run", "testblock", "-s", "mode=copy", "-i", frames, "--variable-size", "0", "-o",
                  (dir / "o.npy").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    NpyFile o1 = parseNpyFile(readFile(dir / "o_0001.npy"));
    NpyFile o2 = parseNpyFile(readFile(dir / "o_0002.npy"));
    NpyFile o3 = parseNpyFile(readFile(dir / "o_0003.npy"));
    EXPECT_EQ(o1.shape, "(2, 2)");
    EXPECT_EQ(o2.shape, "(3, 1)");
    EXPECT_EQ(o3.shape, "(1, 3)");
    EXPECT_EQ(valuesOf<double>(o1.data), (std::vector<double>{1, 2, 3, 4}));
    EXPECT_EQ(valuesOf<double>(o2.data), (std::vector<double>{5, 6, 7}));
    EXPECT_EQ(valuesOf<double>(o3.data), (std::vector<double>{8, 9, 10}));
}

TEST(E2eSteps, ListOfValuesForAScalarPort) {
    TempDir dir;
    auto r = runDravo({"run", "testblock", "-s", "gain=2", "-s", "offset=1", "-i", "0.5,-1,4", "-o",
                       (dir / "s.npy").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(doublesIn(dir / "s_0001.npy"), (std::vector<double>{2}));
    EXPECT_EQ(doublesIn(dir / "s_0002.npy"), (std::vector<double>{-1}));
    EXPECT_EQ(doublesIn(dir / "s_0003.npy"), (std::vector<double>{9}));
}

TEST(E2eSteps, NegativeNumberAsInput) {
    auto r = runDravo({"run", "testblock", "-i", "-2.5"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("-2.5"), std::string::npos) << r.out;
}

TEST(E2eSteps, TunableChangeTakesEffectFromItsStep) {
    TempDir dir;
    writeFile(dir / "u.npy", npyBytes("<f8", false, "(1, 2)", bytesOf<double>({1, 2})));
    auto r = runDravo({"run", "testblock", "-i", (dir / "u.npy").string(), "--steps", "3", "-c",
                       "2:offset=10", "-o", (dir / "y.npy").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(doublesIn(dir / "y_0001.npy"), (std::vector<double>{1, 2}));
    EXPECT_EQ(doublesIn(dir / "y_0002.npy"), (std::vector<double>{11, 12}));
    EXPECT_EQ(doublesIn(dir / "y_0003.npy"), (std::vector<double>{11, 12}));
    // By index too.
    r = runDravo({"run", "testblock", "-i", (dir / "u.npy").string(), "--steps", "2", "-c", "2:1=-1", "-o",
                  (dir / "z.npy").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(doublesIn(dir / "z_0002.npy"), (std::vector<double>{0, 1}));
}

TEST(E2eSteps, RefusedChangeLeavesNoOutputOfAnyStep) {
    TempDir dir;
    writeFile(dir / "u.npy", npyBytes("<f8", false, "(1, 2)", bytesOf<double>({1, 2})));
    auto before = dir.files();
    // gain is not tunable: the host refuses the change before step 2, after step 1 ran.
    auto r = runDravo({"run", "testblock", "-i", (dir / "u.npy").string(), "--steps", "3", "-c", "2:gain=5",
                       "-o", (dir / "y.npy").string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("error: ", 0), 0u) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    EXPECT_EQ(dir.files(), before);
}

TEST(E2eSteps, ChangeThatCannotBeMadeIsAnError) {
    TempDir dir;
    writeFile(dir / "u.npy", npyBytes("<f8", false, "(1, 2)", bytesOf<double>({1, 2})));
    // A vector where a scalar offset was: refused (by the host or the block's check), not applied.
    auto r = runDravo({"run", "testblock", "-i", (dir / "u.npy").string(), "--steps", "2", "-c",
                       "2:offset=[1 2]", "-o", (dir / "y.npy").string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("error: ", 0), 0u) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "y_0001.npy"));
}

struct BadSteps {
    const char* name;
    std::vector<std::string> args;
    const char* mentions;
};

class E2eBadSteps : public ::testing::TestWithParam<BadSteps> {};

TEST_P(E2eBadSteps, AreUsageErrors) {
    auto r = runDravo(GetParam().args);
    EXPECT_EQ(r.status, 2) << GetParam().name << ": " << r.err;
    EXPECT_EQ(r.err.rfind("error: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find(GetParam().mentions), std::string::npos) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Table, E2eBadSteps,
    ::testing::Values(
        BadSteps{"steps and list disagree",
                 {"run", "testblock", "-i", "1,2,3", "--steps", "2"},
                 "3 steps of data"},
        BadSteps{"change outside the run", {"run", "testblock", "-i", "1", "-c", "5:offset=1"}, "step 5"},
        BadSteps{"change without a step", {"run", "testblock", "-i", "1", "-c", "offset=1"}, "STEP"},
        BadSteps{
            "change of an unknown name", {"run", "testblock", "-i", "1,2", "-c", "2:offest=1"}, "offest"},
        BadSteps{"variable-size port that is not there",
                 {"run", "testblock", "-i", "1", "--variable-size", "1"},
                 "--variable-size"}));

}  // namespace
