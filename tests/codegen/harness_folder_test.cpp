// The harness's work folder: without one given, a fresh private folder under $TMPDIR that is gone
// afterwards; with one given, links planted at the names it writes are removed, never followed.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "cg_test_util.h"

using namespace CG;
using cgtest::LambdaCtx;
namespace fs = std::filesystem;

namespace {

struct ScratchDir {
    ScratchDir() {
        std::string pattern = (fs::temp_directory_path() / "dravo-harness-test-XXXXXX").string();
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        path = mkdtemp(buf.data());
    }
    ~ScratchDir() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    size_t entries() const {
        return static_cast<size_t>(std::distance(fs::directory_iterator(path), fs::directory_iterator()));
    }
    fs::path path;
};

HarnessResult runAddOne(const HarnessOptions& o) {
    BlockDesc d;
    d.name = "addone";
    d.inputs.push_back(cgtest::signal(Type::intT(true, 32), {1}));
    d.outputs.push_back(cgtest::signal(Type::intT(true, 32), {1}));
    TarnCG::CGHandle h(d);
    LambdaCtx ctx(
        &h, [&](LambdaCtx& c) { c.getOutputNumRefAsMatrix(0)[0] = c.getInputNumRefAsMatrix(0)[0] + 1; });
    EXPECT_TRUE(ctx.constructCode());
    return buildAndRun(h.unit(), {{cgtest::bytesOf(std::vector<int32_t>{41}), {}}}, o);
}

TEST(HarnessFolder, NoneGivenMeansAFreshOneRemovedAfterwards) {
    ScratchDir tmp;
    const char* old = std::getenv("TMPDIR");
    std::string saved = old ? old : "";
    setenv("TMPDIR", tmp.path.c_str(), 1);
    HarnessResult ok = runAddOne({});
    HarnessOptions failing;
    failing.extraFlags = {"-DNO_SUCH_FLAG_WORKS", "-no-such-option"};
    HarnessResult bad = runAddOne(failing);
    if (old)
        setenv("TMPDIR", saved.c_str(), 1);
    else
        unsetenv("TMPDIR");
    ASSERT_TRUE(ok.ok) << ok.error;
    EXPECT_EQ(cgtest::valuesOf<int32_t>(ok.outputs[0].bytes), (std::vector<int32_t>{42}));
    EXPECT_FALSE(bad.ok);
    EXPECT_EQ(tmp.entries(), 0u);
}

TEST(HarnessFolder, PlantedLinksAreNotFollowed) {
    ScratchDir dir;
    fs::path work = dir.path / "work";
    fs::create_directory(work);
    { std::ofstream(dir.path / "victim") << "precious"; }
    for (const char* name : {"build.log", "run.log", "stats.txt", "main.c", "in0.bin", "out0.bin"})
        fs::create_symlink(dir.path / "victim", work / name);
    HarnessOptions o;
    o.workDir = work.string();
    HarnessResult r = runAddOne(o);
    ASSERT_TRUE(r.ok) << r.error;
    std::ifstream in(dir.path / "victim");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "precious");
    EXPECT_FALSE(fs::is_symlink(work / "build.log"));
}

}  // namespace
