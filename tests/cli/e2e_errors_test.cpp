// Bad input of every kind: one error line naming what is wrong, the documented exit status, nothing
// written to the output path (not even a temporary), and no crash (the sanitizer build runs these too).
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "e2e_support.h"

using namespace dravo::test;

namespace {

struct BadRun {
    const char* name;
    std::vector<std::string> args;  // "@" stands for the test folder
    int status;
    const char* messageClass;  // nullptr: any (a block's own class, or none)
    const char* mentions;      // a piece of text the error must contain
};

class E2eBadInput : public ::testing::TestWithParam<BadRun> {
  protected:
    void SetUp() override {
        writeFile(dir / "u.npy", npyBytes("<f8", false, "(2, 2)", bytesOf<double>({1, 2, 3, 4})));
        writeFile(dir / "i64.npy", npyBytes("<i8", false, "(2,)", bytesOf<int64_t>({1, 2})));
        writeFile(dir / "i16.npy", npyBytes("<i2", false, "(2, 2)", bytesOf<int16_t>({1, 2, 3, 4})));
        writeFile(dir / "f2.npy", npyBytes("<f2", false, "(2,)", {0, 0, 0, 0}));
        auto good = npyBytes("<f8", false, "(2, 2)", bytesOf<double>({1, 2, 3, 4}));
        writeFile(dir / "trunc.npy", std::vector<uint8_t>(good.begin(), good.end() - 5));
        writeFile(dir / "junk.npy", {'j', 'u', 'n', 'k', '!', '!', '!', '!', '!', '!', '!', '!'});
        writeFile(dir / "junk.png",
                  {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R', 1});
        writeFile(dir / "text.txt", {'1', '2'});
        writeFile(dir / "four.npy", npyBytes("<f8", false, "(1, 1, 1, 2)", bytesOf<double>({1, 2})));
        std::filesystem::create_directory(dir / "sub");
        std::string missingPlugin =
            R"({"block": "ghost", "plugin": "dravo_no_such_plugin", "summary": "s", "parameters": []})";
        std::filesystem::create_directory(dir / "dialogs");
        writeFile(dir / "dialogs" / "ghost.json",
                  std::vector<uint8_t>(missingPlugin.begin(), missingPlugin.end()));
    }
    std::vector<std::string> args() const {
        std::vector<std::string> out;
        for (const auto& a : GetParam().args) {
            std::string s = a;
            for (size_t p; (p = s.find('@')) != std::string::npos;)
                s.replace(p, 1, dir.path().string());
            out.push_back(s);
        }
        return out;
    }
    TempDir dir;
};

TEST_P(E2eBadInput, OneErrorLineAndNoOutput) {
    const auto& c = GetParam();
    auto before = dir.files();
    auto r = runDravo(args(), {"DRAVO_DIALOG_PATH=" + (dir / "dialogs").string()});
    EXPECT_EQ(r.status, c.status) << c.name << "\nstderr: " << r.err;
    EXPECT_TRUE(isOneErrorLine(r.err, c.messageClass ? c.messageClass : "") ||
                (!c.messageClass && r.err.rfind("error: ", 0) == 0 && r.err.find('\n') == r.err.size() - 1))
        << c.name << "\nstderr: " << r.err;
    EXPECT_NE(r.err.find(c.mentions), std::string::npos) << c.name << "\nstderr: " << r.err;
    EXPECT_EQ(dir.files(), before) << c.name << ": something was written";
    EXPECT_TRUE(std::filesystem::is_empty(dir / "sub")) << c.name;
}

const std::vector<std::string> kRun = {"run", "testblock"};

std::vector<std::string> run(std::initializer_list<std::string> more) {
    std::vector<std::string> out = {"run"};
    out.insert(out.end(), more);
    return out;
}

INSTANTIATE_TEST_SUITE_P(
    Table, E2eBadInput,
    ::testing::Values(
        BadRun{"unknown block", run({"nosuchblock", "-i", "@/u.npy", "-o", "@/sub/o.npy"}), 2,
               "dravo::cli::unknownBlock", "nosuchblock"},
        BadRun{"missing plug-in", run({"ghost", "-i", "@/u.npy", "-o", "@/sub/o.npy"}), 1, nullptr,
               "dravo_no_such_plugin"},
        BadRun{"plug-in path that does not exist", run({"@/none.so", "-i", "@/u.npy"}), 1, nullptr,
               "none.so"},
        BadRun{"unknown parameter name",
               run({"testblock", "-s", "gian=2", "-i", "@/u.npy", "-o", "@/sub/o.npy"}), 2,
               "dravo::cli::unknownParameter", "gian"},
        BadRun{"unknown popup label",
               run({"testblock", "-s", "mode=sideways", "-i", "@/u.npy", "-o", "@/sub/o.npy"}), 2,
               "dravo::cli::badValue", "sideways"},
        BadRun{"malformed value",
               run({"testblock", "-s", "gain=1.2.3", "-i", "@/u.npy", "-o", "@/sub/o.npy"}), 2,
               "dravo::cli::badValue", "1.2.3"},
        BadRun{"malformed vector", run({"testblock", "-p", "0=[1 2", "-i", "@/u.npy", "-o", "@/sub/o.npy"}),
               2, "dravo::cli::badValue", "[1 2"},
        BadRun{"param without =", run({"testblock", "-p", "3", "-i", "@/u.npy"}), 2, "dravo::cli::usage",
               "--param"},
        BadRun{"param index not a number", run({"testblock", "-p", "gain=2", "-i", "@/u.npy"}), 2,
               "dravo::cli::usage", "gain"},
        BadRun{"no inputs", run({"testblock", "-o", "@/sub/o.npy"}), 2, "dravo::cli::inputCount",
               "1 input port"},
        BadRun{"two inputs", run({"testblock", "-i", "@/u.npy", "-i", "@/u.npy", "-o", "@/sub/o.npy"}), 2,
               "dravo::cli::inputCount", "2 inputs"},
        BadRun{"missing file", run({"testblock", "-i", "@/nothere.npy", "-o", "@/sub/o.npy"}), 1,
               "dravo::cli::unreadableFile", "nothere.npy"},
        BadRun{"truncated npy", run({"testblock", "-i", "@/trunc.npy", "-o", "@/sub/o.npy"}), 1,
               "dravo::cli::malformedFile", "trunc.npy"},
        BadRun{"not an npy", run({"testblock", "-i", "@/junk.npy", "-o", "@/sub/o.npy"}), 1,
               "dravo::cli::malformedFile", "junk.npy"},
        BadRun{"truncated png", run({"testblock", "-i", "@/junk.png", "-o", "@/sub/o.npy"}), 1,
               "dravo::cli::malformedFile", "junk.png"},
        BadRun{"int64 without a type", run({"testblock", "-i", "@/i64.npy", "-o", "@/sub/o.npy"}), 1,
               "dravo::cli::unsupportedArray", "int64"},
        BadRun{"float16", run({"testblock", "-i", "@/f2.npy", "-o", "@/sub/o.npy"}), 1,
               "dravo::cli::unsupportedArray", "<f2"},
        BadRun{"input of unknown kind", run({"testblock", "-i", "@/text.txt", "-o", "@/sub/o.npy"}), 2,
               "dravo::cli::usage", "text.txt"},
        BadRun{"neither number nor file", run({"testblock", "-i", "seven", "-o", "@/sub/o.npy"}), 2,
               "dravo::cli::badValue", "seven"},
        BadRun{"unknown type name", run({"testblock", "--input-type", "fixed:q8", "-i", "@/u.npy"}), 2,
               "dravo::cli::badValue", "fixed:q8"},
        BadRun{"input type that does not match",
               run({"testblock", "--input-type", "int16", "-i", "@/u.npy", "-o", "@/sub/o.npy"}), 2,
               "dravo::cli::unsupportedArray", "int16"},
        BadRun{"output of unknown kind", run({"testblock", "-i", "@/u.npy", "-o", "@/sub/o.txt"}), 2,
               "dravo::cli::usage", "o.txt"},
        BadRun{"output folder missing", run({"testblock", "-i", "@/u.npy", "-o", "@/nofolder/o.npy"}), 1,
               "dravo::cli::unwritableFile", "nofolder"},
        BadRun{"complex to png", run({"testblock", "-s", "offset=1i", "-i", "@/u.npy", "-o", "@/sub/o.png"}),
               1, "dravo::cli::unsupportedOutput", "complex"},
        BadRun{"block error at set-up",
               run({"testblock", "-s", "gain=inf", "-i", "@/u.npy", "-o", "@/sub/o.npy"}), 1, nullptr,
               "Gain must be a finite real scalar"},
        BadRun{"block error with a message class",
               run({"testblock", "-s", "mode=copy", "-i", "@/four.npy", "-o", "@/sub/o.npy"}), 1,
               "dspshared::system::inputNot2D", ""},
        BadRun{"block error in a step",
               run({"testblock", "-s", "mode=fail", "-i", "@/u.npy", "-o", "@/sub/o.npy"}), 1, nullptr,
               "told to fail"},
        BadRun{"affine on an integer input",
               run({"testblock", "-i", "@/i64.npy", "--input-type", "fixed:s32:0", "-o", "@/sub/o.npy"}), 1,
               nullptr, "double or single"},
        BadRun{"unknown option", run({"testblock", "--frobnicate", "-i", "@/u.npy"}), 2, "dravo::cli::usage",
               "frobnicate"},
        BadRun{"missing command", {}, 2, "dravo::cli::usage", ""},
        BadRun{"unknown command", {"transmogrify"}, 2, "dravo::cli::usage", "transmogrify"},
        BadRun{"describe an unknown block",
               {"describe", "nosuchblock"},
               2,
               "dravo::cli::unknownBlock",
               "nosuchblock"},
        BadRun{"sim mode out of range", run({"testblock", "--sim-mode", "7", "-i", "@/u.npy"}), 2,
               "dravo::cli::usage", "sim-mode"},
        // Each engine writes its own kind of type: a request of the other kind was once written past the
        // output buffer.
        BadRun{"rotate: integer output of a double image",
               run({"rotate", "--output-type", "int16", "-i", "@/u.npy", "-o", "@/sub/o.npy"}), 1,
               "dspshared::system::inImgOutTypesDiffer", ""},
        BadRun{"rotate: double output of an integer image",
               run({"rotate", "--output-type", "double", "-i", "@/i16.npy", "-o", "@/sub/o.npy"}), 1,
               "dspshared::system::inImgOutTypesDiffer", ""},
        // The dialog's output type is the block's choice; a request for another is refused, not obeyed.
        BadRun{"convert: requested output type against the dialog's",
               run({"convert", "-s", "outputDataType=uint8", "--output-type", "int16", "-i", "@/u.npy", "-o",
                    "@/sub/o.npy"}),
               1, "vision::system::outDataTypeSettingMismatch", ""}));

}  // namespace

// A block whose signals do not fit the memory the process may have: one error line with the memory
// class and the size asked for, no output. The limit is set with ulimit in a shell, which the
// sanitizers' shadow memory cannot live under, so sanitizer builds skip this.
TEST(MemoryRefusal, HostAllocationNamesClassAndSize) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "address space limits and AddressSanitizer do not mix";
#else
    const std::string out = ::testing::TempDir() + "dravo_oom_out.npy";
    const std::string err = ::testing::TempDir() + "dravo_oom_err.txt";
    std::remove(out.c_str());
    // 30001 x 30001 doubles: about 7.2 GB for the output alone, under a 3 GB address-space limit.
    const std::string cmd = "bash -c 'ulimit -v 3000000; exec \"" + std::string(DRAVO_BINARY) +
                            "\" run pad -s rowsPadSize=15000 -s colsPadSize=15000 -i 1 -o \"" + out +
                            "\"' 2>\"" + err + "\"";
    int status = std::system(cmd.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    std::ifstream in(err);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_TRUE(dravo::test::isOneErrorLine(text, "dravo::cli::outOfMemory")) << text;
    // The output alone is 30001^2 x 8 bytes, the input 8 more; work vectors may add a little.
    size_t at = text.find(" bytes asked for");
    ASSERT_NE(at, std::string::npos) << text;
    size_t from = text.rfind('(', at);
    ASSERT_NE(from, std::string::npos) << text;
    const unsigned long long asked = std::stoull(text.substr(from + 1, at - from - 1));
    EXPECT_GE(asked, 30001ull * 30001ull * 8ull + 8ull);
    EXPECT_LT(asked, 30001ull * 30001ull * 8ull + (1ull << 26));
    EXPECT_FALSE(std::ifstream(out).good());
#endif
}
