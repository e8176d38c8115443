// What a hostile or unlucky run must not do: crash on empty arrays, leave temporaries or half-replaced
// outputs behind, follow planted links, allocate for data that is not there, write what cannot be read
// back, or disagree with generated code about NaNs. Every case goes through the real binary.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstring>

#include "e2e_support.h"

using namespace dravo::test;
namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> textBytes(const std::string& s) {
    return std::vector<uint8_t>(s.begin(), s.end());
}

// Like runDravo, with a resource limit set in the child (SIGXFSZ ignored, so a write past the file
// size limit fails with EFBIG as on a full disk).
RunOutcome runDravoLimited(const std::vector<std::string>& args, int resource, rlim_t limit,
                           const std::vector<std::string>& env = {}) {
    TempDir capture;
    std::string outPath = (capture / "stdout").string(), errPath = (capture / "stderr").string();
    pid_t pid = fork();
    if (pid == 0) {
        int o = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int e = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(o, 1);
        dup2(e, 2);
        struct rlimit rl = {limit, limit};
        setrlimit(resource, &rl);
        signal(SIGXFSZ, SIG_IGN);
        for (const auto& kv : env)
            putenv(const_cast<char*>(kv.c_str()));
        std::vector<std::string> store = {DRAVO_BINARY};
        store.insert(store.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : store)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(DRAVO_BINARY, argv.data());
        _exit(127);
    }
    int ws = 0;
    waitpid(pid, &ws, 0);
    RunOutcome r;
    r.status = WIFEXITED(ws) ? WEXITSTATUS(ws) : 128 + WTERMSIG(ws);
    auto o = readFile(outPath), e = readFile(errPath);
    r.out.assign(o.begin(), o.end());
    r.err.assign(e.begin(), e.end());
    return r;
}

void writeScript(const fs::path& p, const std::string& text) {
    writeFile(p, textBytes("#!/bin/sh\n" + text));
    fs::permissions(p, fs::perms::owner_all);
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

bool isNegativeNan(double v) {
    return std::isnan(v) && std::signbit(v);
}

// ---- Empty arrays: every block on every path answers cleanly (pad and convert succeed).

struct EmptyCase {
    const char* block;
    const char* descr;
    const char* shape;
    bool mustSucceed;
};

class EmptyArrays : public ::testing::TestWithParam<EmptyCase> {
  protected:
    TempDir dir;
};

TEST_P(EmptyArrays, RunSilAndCodegenAnswerCleanly) {
    const auto& c = GetParam();
    fs::path in = dir / "empty.npy";
    writeFile(in, npyBytes(c.descr, false, c.shape, {}));
    std::vector<std::string> extra;
    if (std::string(c.block) == "pad") extra = {"-s", "rowsWhere=none", "-s", "colsWhere=none"};
    auto withArgs = [&](std::vector<std::string> head, std::vector<std::string> tail) {
        head.insert(head.end(), extra.begin(), extra.end());
        head.insert(head.end(), tail.begin(), tail.end());
        return head;
    };
    TempDir tmp;
    std::vector<std::string> env = {"TMPDIR=" + tmp.path().string()};
    std::vector<RunOutcome> outcomes = {
        runDravo(withArgs({"run", c.block}, {"-i", in.string(), "-o", (dir / "out.npy").string()}), env),
        runDravo(withArgs({"sil", c.block}, {"-i", in.string()}), env),
        runDravo(withArgs({"codegen", c.block}, {"-i", in.string(), "--out-dir", (dir / "gen").string()}),
                 env)};
    for (size_t k = 0; k < outcomes.size(); ++k) {
        const auto& r = outcomes[k];
        SCOPED_TRACE(std::string(c.block) + " " + c.shape + " path " + std::to_string(k) + ": " + r.err);
        if (c.mustSucceed)
            EXPECT_EQ(r.status, 0);
        else
            EXPECT_TRUE(r.status == 0 || (r.status == 1 && r.err.rfind("error: ", 0) == 0 &&
                                          r.err.find('\n') == r.err.size() - 1));
    }
    if (c.mustSucceed) {
        EXPECT_EQ(parseNpyFile(readFile(dir / "out.npy")).shape, c.shape);
        EXPECT_NE(outcomes[1].out.find("identical"), std::string::npos);
    }
    EXPECT_TRUE(tmp.files().empty()) << "sil left " << tmp.files().size() << " entries";
}

INSTANTIATE_TEST_SUITE_P(Table, EmptyArrays,
                         ::testing::Values(EmptyCase{"pad", "<f8", "(0, 5)", true},
                                           EmptyCase{"pad", "<f8", "(0, 0, 3)", true},
                                           EmptyCase{"pad", "|u1", "(0, 5)", true},
                                           EmptyCase{"pad", "<f8", "(5, 0)", true},
                                           EmptyCase{"convert", "<f8", "(0, 5)", true},
                                           EmptyCase{"convert", "|u1", "(0, 0, 3)", true},
                                           EmptyCase{"rotate", "<f8", "(0, 5)", false},
                                           EmptyCase{"rotate", "|u1", "(0, 5)", false},
                                           EmptyCase{"rotate", "<f8", "(0, 0, 3)", false}));

// ---- sil's work folder.

class SilFolder : public ::testing::Test {
  protected:
    void SetUp() override {
        writeFile(dir / "u.npy", npyBytes("<f8", false, "(2, 2)", bytesOf<double>({1, 2, 3, 4})));
    }
    std::vector<std::string> env() const { return {"TMPDIR=" + tmp.path().string()}; }
    TempDir dir, tmp;
};

TEST_F(SilFolder, FreshPrivateFolderUnderTmpdirRemovedAfterwards) {
    // The "compiler" records the folder it is asked to build in, then hands over to the real one.
    fs::path report = dir / "report.txt";
    writeScript(dir / "cc.sh",
                "prev=; out=\nfor a in \"$@\"; do [ \"$prev\" = -o ] && out=\"$a\"; prev=\"$a\"; done\n"
                "d=$(dirname \"$out\")\nstat -c '%a %u' \"$d\" > '" +
                    report.string() + "'\necho \"$d\" >> '" + report.string() + "'\nexec cc \"$@\"\n");
    auto r =
        runDravo({"sil", "pad", "-i", (dir / "u.npy").string(), "--cc", (dir / "cc.sh").string()}, env());
    ASSERT_EQ(r.status, 0) << r.err;
    auto reportBytes = readFile(report);
    std::string text(reportBytes.begin(), reportBytes.end());
    auto lines = text.substr(0, text.find('\n'));
    EXPECT_EQ(lines, "700 " + std::to_string(getuid()));
    std::string folder = text.substr(text.find('\n') + 1);
    folder.pop_back();
    EXPECT_EQ(fs::path(folder).parent_path(), tmp.path());
    // Not the process id: a name nobody could have prepared.
    std::string name = fs::path(folder).filename().string();
    EXPECT_EQ(name.rfind("dravo-sil-", 0), 0u);
    EXPECT_FALSE(name.substr(10).find_first_not_of("0123456789") == std::string::npos);
    EXPECT_TRUE(tmp.files().empty());
}

TEST_F(SilFolder, RemovedWhenTheBuildFails) {
    writeScript(dir / "bad-cc.sh", "exit 1\n");
    auto r =
        runDravo({"sil", "pad", "-i", (dir / "u.npy").string(), "--cc", (dir / "bad-cc.sh").string()}, env());
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(tmp.files().empty());
}

TEST_F(SilFolder, RemovedWhenTerminatedMidBuild) {
    // The "compiler" sends SIGTERM to dravo (its parent's parent: system() runs it under sh -c).
    writeScript(dir / "kill-cc.sh",
                "gp=$(awk '{print $4}' /proc/$PPID/stat)\nkill -TERM \"$gp\"\nsleep 1\nexit 1\n");
    auto r = runDravo({"sil", "pad", "-i", (dir / "u.npy").string(), "--cc", (dir / "kill-cc.sh").string()},
                      env());
    EXPECT_EQ(r.status, 128 + SIGTERM) << r.err;
    EXPECT_TRUE(tmp.files().empty());
}

TEST_F(SilFolder, PlantedLinkInAKeptFolderIsNotFollowed) {
    fs::path keep = dir / "keep";
    fs::create_directory(keep);
    writeFile(dir / "victim.txt", textBytes("precious"));
    fs::create_symlink(dir / "victim.txt", keep / "build.log");
    fs::create_symlink(dir / "victim.txt", keep / "stats.txt");
    auto r = runDravo({"sil", "pad", "-i", (dir / "u.npy").string(), "--keep", keep.string()}, env());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(dir / "victim.txt"), textBytes("precious"));
}

// ---- All outputs or none.

TEST(Atomic, MultiStepRunWithATakenNameReplacesNothing) {
    TempDir dir;
    writeFile(dir / "out_0001.npy", textBytes("old one"));
    writeFile(dir / "out_0002.npy", textBytes("old two"));
    fs::create_directory(dir / "out_0003.npy");
    auto r = runDravo({"run", "pad", "-i", "1,2,3,4,5", "-o", (dir / "out.npy").string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(isOneErrorLine(r.err, "dravo::cli::unwritableFile")) << r.err;
    EXPECT_EQ(readFile(dir / "out_0001.npy"), textBytes("old one"));
    EXPECT_EQ(readFile(dir / "out_0002.npy"), textBytes("old two"));
    EXPECT_EQ(dir.files().size(), 3u);  // no temporaries, no fourth or fifth step
}

TEST(Atomic, CodegenWithATakenNameWritesNothing) {
    TempDir dir;
    writeFile(dir / "u.npy", npyBytes("<f8", false, "(2, 2)", bytesOf<double>({1, 2, 3, 4})));
    fs::path gen = dir / "gen";
    fs::create_directories(gen / "pad.c");
    writeFile(gen / "dravo_rt.h", textBytes("old header"));
    auto r = runDravo({"codegen", "pad", "-i", (dir / "u.npy").string(), "--out-dir", gen.string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("pad.c"), std::string::npos) << r.err;
    EXPECT_EQ(readFile(gen / "dravo_rt.h"), textBytes("old header"));
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(gen))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"dravo_rt.h", "pad.c"}));
}

TEST(Atomic, CodegenOnAFullDiskLeavesNoFolder) {
    TempDir dir;
    writeFile(dir / "u.npy", npyBytes("<f8", false, "(2, 2)", bytesOf<double>({1, 2, 3, 4})));
    auto r = runDravoLimited(
        {"codegen", "pad", "-i", (dir / "u.npy").string(), "--out-dir", (dir / "new" / "gen").string()},
        RLIMIT_FSIZE, 2000);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(isOneErrorLine(r.err, "dravo::cli::unwritableFile")) << r.err;
    EXPECT_FALSE(fs::exists(dir / "new"));
}

TEST(Atomic, RunOnAFullDiskLeavesNothing) {
    TempDir dir;
    writeFile(dir / "u.npy", npyBytes("<f8", false, "(40, 40)", std::vector<uint8_t>(40 * 40 * 8, 0)));
    auto r = runDravoLimited({"run", "pad", "-i", (dir / "u.npy").string(), "-o", (dir / "out.npy").string()},
                             RLIMIT_FSIZE, 4000);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(isOneErrorLine(r.err, "dravo::cli::unwritableFile")) << r.err;
    EXPECT_EQ(dir.files(), std::vector<std::string>{"u.npy"});
}

// ---- Output names and what is at the output path.

TEST(OutputPath, LongNamesWork) {
    for (size_t len : {245u, 250u, 255u}) {
        TempDir dir;
        std::string name = std::string(len - 4, 'n') + ".npy";
        auto r = runDravo({"run", "pad", "-i", "1", "-o", (dir / name).string()});
        EXPECT_EQ(r.status, 0) << len << ": " << r.err;
        EXPECT_EQ(dir.files(), std::vector<std::string>{name}) << len;
    }
}

TEST(OutputPath, ExistingFileKeepsItsMode) {
    TempDir dir;
    fs::path out = dir / "out.npy";
    writeFile(out, textBytes("old"));
    for (mode_t mode : {0640u, 0444u, 0600u}) {
        chmod(out.c_str(), mode);
        auto r = runDravo({"run", "pad", "-i", "1", "-o", out.string()});
        EXPECT_EQ(r.status, 0) << r.err;
        struct stat st;
        ASSERT_EQ(stat(out.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, mode);
        EXPECT_NE(readFile(out), textBytes("old"));
    }
}

TEST(OutputPath, SymbolicLinkIsRefusedAndItsTargetUntouched) {
    TempDir dir;
    writeFile(dir / "target.npy", textBytes("target"));
    fs::create_symlink(dir / "target.npy", dir / "out.npy");
    fs::create_symlink(dir / "nowhere.npy", dir / "dangling.npy");
    for (const char* name : {"out.npy", "dangling.npy"}) {
        auto r = runDravo({"run", "pad", "-i", "1", "-o", (dir / name).string()});
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(isOneErrorLine(r.err, "dravo::cli::unwritableFile")) << r.err;
        EXPECT_NE(r.err.find("symbolic link"), std::string::npos) << r.err;
        EXPECT_TRUE(fs::is_symlink(dir / name));
    }
    EXPECT_EQ(readFile(dir / "target.npy"), textBytes("target"));
    EXPECT_FALSE(fs::exists(dir / "nowhere.npy"));
    EXPECT_EQ(dir.files().size(), 3u);
}

// ---- What the readers take.

TEST(Readers, BooleanBytesAreNormalised) {
    TempDir dir;
    writeFile(dir / "b.npy", npyBytes("|b1", false, "(2, 2)", {0, 1, 2, 255}));
    auto r = runDravo({"run", "pad", "-s", "rowsWhere=none", "-s", "colsWhere=none", "-i",
                       (dir / "b.npy").string(), "-o", (dir / "out.npy").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    auto f = parseNpyFile(readFile(dir / "out.npy"));
    EXPECT_EQ(f.descr, "|b1");
    EXPECT_EQ(f.data, (std::vector<uint8_t>{0, 1, 1, 1}));
}

TEST(Readers, HeaderKeysAreEscapedAndShortened) {
    TempDir dir;
    std::string key = "\x1b[31m" + std::string(60000, 'k');
    std::string header = "{'" + key + "': 1, 'descr': '<f8', 'fortran_order': False, 'shape': (1,), }";
    while ((12 + header.size() + 1) % 64)
        header += ' ';
    header += '\n';
    std::vector<uint8_t> bytes = {0x93, 'N', 'U', 'M', 'P', 'Y', 2, 0};
    for (int k = 0; k < 4; ++k)
        bytes.push_back(static_cast<uint8_t>(header.size() >> (8 * k)));
    bytes.insert(bytes.end(), header.begin(), header.end());
    auto data = bytesOf<double>({1});
    bytes.insert(bytes.end(), data.begin(), data.end());
    writeFile(dir / "key.npy", bytes);
    auto r = runDravo({"run", "pad", "-i", (dir / "key.npy").string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(isOneErrorLine(r.err, "dravo::cli::malformedFile")) << r.err.substr(0, 300);
    EXPECT_EQ(r.err.find('\x1b'), std::string::npos);
    EXPECT_NE(r.err.find("\\x1b[31mkkk"), std::string::npos) << r.err.substr(0, 300);
    EXPECT_LT(r.err.size(), 400u);
}

TEST(Readers, MoreThan32DimensionsAreRefused) {
    TempDir dir;
    for (size_t n : {33u, 22000u}) {
        std::string shape = "(";
        for (size_t k = 0; k < n; ++k)
            shape += "1, ";
        shape += ")";
        writeFile(dir / "many.npy", npyBytes("<f8", false, shape, bytesOf<double>({1}), 2));
        auto r =
            runDravo({"run", "pad", "-i", (dir / "many.npy").string(), "-o", (dir / "out.npy").string()});
        EXPECT_EQ(r.status, 1) << n;
        EXPECT_TRUE(isOneErrorLine(r.err, "dravo::cli::unsupportedArray")) << n << ": " << r.err;
        EXPECT_FALSE(fs::exists(dir / "out.npy"));
    }
    // 32 dimensions are the most a file holds, and go through.
    std::string shape = "(";
    for (int k = 0; k < 32; ++k)
        shape += "1, ";
    shape += ")";
    writeFile(dir / "32.npy", npyBytes("<f8", false, shape, bytesOf<double>({7})));
    auto r = runDravo(
        {"run", "pad", "-s", "form=N-D", "-i", (dir / "32.npy").string(), "-o", (dir / "out.npy").string()});
    EXPECT_EQ(r.status, 0) << r.err;
}

TEST(Readers, OversizedIntegerIsReportedAsWrittenAtItsRowMajorIndex) {
    TempDir dir;
    // C order: row 0 is {0, 2^64-1}; the bad value is element 1 in row-major counting (2 in column order).
    writeFile(dir / "u.npy", npyBytes("<u8", false, "(2, 2)", bytesOf<uint64_t>({0, ~uint64_t(0), 0, 0})));
    auto r = runDravo({"run", "pad", "--input-type", "fixed:u16:0", "-i", (dir / "u.npy").string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("stored integer 18446744073709551615 at element 1 "), std::string::npos) << r.err;
}

// A PNG made of a signature and an IHDR declaring width x height gray 8-bit, then an empty IDAT and IEND.
std::vector<uint8_t> pngDeclaring(uint32_t width, uint32_t height) {
    auto crc = [](const uint8_t* p, size_t n) {
        uint32_t c = 0xffffffffu;
        for (size_t i = 0; i < n; ++i) {
            c ^= p[i];
            for (int k = 0; k < 8; ++k)
                c = (c >> 1) ^ (0xedb88320u & (0u - (c & 1)));
        }
        return c ^ 0xffffffffu;
    };
    std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    auto chunk = [&](const char* type, std::vector<uint8_t> data) {
        uint32_t n = static_cast<uint32_t>(data.size());
        for (int k = 3; k >= 0; --k)
            out.push_back(static_cast<uint8_t>(n >> (8 * k)));
        std::vector<uint8_t> body(type, type + 4);
        body.insert(body.end(), data.begin(), data.end());
        out.insert(out.end(), body.begin(), body.end());
        uint32_t c = crc(body.data(), body.size());
        for (int k = 3; k >= 0; --k)
            out.push_back(static_cast<uint8_t>(c >> (8 * k)));
    };
    std::vector<uint8_t> ihdr;
    for (uint32_t v : {width, height})
        for (int k = 3; k >= 0; --k)
            ihdr.push_back(static_cast<uint8_t>(v >> (8 * k)));
    ihdr.insert(ihdr.end(), {8, 0, 0, 0, 0});
    chunk("IHDR", ihdr);
    chunk("IDAT", {0x78, 0x9c, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01});
    chunk("IEND", {});
    return out;
}

TEST(Readers, TinyPngDeclaringHugeImageIsRefusedBeforeAllocating) {
    TempDir dir;
    writeFile(dir / "huge.png", pngDeclaring(65536, 32768));
    writeFile(dir / "big.png", pngDeclaring(46000, 46000));
    for (const char* name : {"huge.png", "big.png"}) {
        // 512 MB of address space: enough to run, far from enough for the declared image. (The address
        // sanitizer reserves terabytes of address space, so there the limit is left off.)
        rlim_t limit = kAddressSanitizer ? RLIM_INFINITY : rlim_t(512) << 20;
        auto r = runDravoLimited({"run", "rotate", "--input-type", "double", "-i", (dir / name).string()},
                                 RLIMIT_AS, limit);
        EXPECT_EQ(r.status, 1) << name;
        EXPECT_TRUE(isOneErrorLine(r.err, "dravo::cli::malformedFile")) << name << ": " << r.err;
        EXPECT_NE(r.err.find("declares"), std::string::npos) << r.err;
    }
}

TEST(Writers, WidePngIsWrittenOnlyWhenItReadsBack) {
    TempDir dir;
    writeFile(dir / "wide.npy", npyBytes("|u1", false, "(8, 70006)", std::vector<uint8_t>(8 * 70006, 9)));
    auto r = runDravo({"run", "pad", "-s", "rowsWhere=none", "-s", "colsWhere=none", "-i",
                       (dir / "wide.npy").string(), "-o", (dir / "wide.png").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    auto back = runDravo({"run", "pad", "-s", "rowsWhere=none", "-s", "colsWhere=none", "-i",
                          (dir / "wide.png").string(), "-o", (dir / "back.npy").string()});
    ASSERT_EQ(back.status, 0) << back.err;
    EXPECT_EQ(parseNpyFile(readFile(dir / "back.npy")).data, std::vector<uint8_t>(8 * 70006, 9));
}

// ---- Generated code and simulation on NaN padding.

TEST(SilNan, NegativeNanPaddingAgreesBitForBit) {
    TempDir dir, tmp;
    writeFile(dir / "u.npy", npyBytes("<f8", false, "(2, 2)", bytesOf<double>({1, 2, 3, 4})));
    for (const char* value : {"-nan", "nan"}) {
        auto run = runDravo({"run", "pad", "-s", std::string("padValue=") + value, "-i",
                             (dir / "u.npy").string(), "-o", (dir / "out.npy").string()});
        ASSERT_EQ(run.status, 0) << run.err;
        auto v = valuesOf<double>(parseNpyFile(readFile(dir / "out.npy")).data);
        ASSERT_EQ(v.size(), 16u);
        EXPECT_EQ(isNegativeNan(v[0]), value[0] == '-') << value;
        auto r =
            runDravo({"sil", "pad", "-s", std::string("padValue=") + value, "-i", (dir / "u.npy").string()},
                     {"TMPDIR=" + tmp.path().string()});
        EXPECT_EQ(r.status, 0) << value << ": " << r.out << r.err;
        EXPECT_NE(r.out.find("identical"), std::string::npos) << r.out;
    }
}

}  // namespace
