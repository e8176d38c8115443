// Every command configures a block the same way: the same refusals with the same exit status and class
// whether the command is run, codegen or sil; a new block needs only its dialog description.
#include <gtest/gtest.h>

#include <sstream>

#include "e2e_support.h"

using namespace dravo::test;
namespace fs = std::filesystem;

namespace {

// The command's own words before the block options; "@" stands for the test folder.
std::vector<std::string> commandWords(const std::string& cmd) {
    if (cmd == "codegen") return {"codegen", "--out-dir", "@/gen"};
    return {cmd};
}

std::vector<std::string> substitute(std::vector<std::string> args, const fs::path& dir) {
    for (auto& s : args)
        for (size_t p; (p = s.find('@')) != std::string::npos;)
            s.replace(p, 1, dir.string());
    return args;
}

struct Refusal {
    const char* name;
    std::vector<std::string> args;  // after the command words
    const char* messageClass;
    const char* mentions;
};

class EveryCommandRefuses : public ::testing::TestWithParam<std::tuple<std::string, Refusal>> {};

TEST_P(EveryCommandRefuses, WithExitTwoAndNothingWritten) {
    const auto& [cmd, c] = GetParam();
    TempDir dir;
    std::vector<std::string> args = commandWords(cmd);
    args.insert(args.end(), c.args.begin(), c.args.end());
    auto r = runDravo(substitute(args, dir.path()));
    EXPECT_EQ(r.status, 2) << cmd << " " << c.name << "\n" << r.err;
    EXPECT_TRUE(isOneErrorLine(r.err, c.messageClass)) << cmd << " " << c.name << "\n" << r.err;
    EXPECT_NE(r.err.find(c.mentions), std::string::npos) << cmd << " " << c.name << "\n" << r.err;
    EXPECT_TRUE(dir.files().empty()) << cmd << " " << c.name << ": something was written";
}

INSTANTIATE_TEST_SUITE_P(
    Table, EveryCommandRefuses,
    ::testing::Combine(::testing::Values("run", "codegen", "sil"),
                       ::testing::Values(Refusal{"port that is a word",
                                                 {"testblock", "--input-type", "abc=double", "-i", "0.5"},
                                                 "dravo::cli::usage",
                                                 "'abc' is not a port number"},
                                         Refusal{"port that is a letter",
                                                 {"testblock", "--input-type", "x=double", "-i", "0.5"},
                                                 "dravo::cli::usage",
                                                 "'x'"},
                                         Refusal{"negative port",
                                                 {"testblock", "--input-type", "-5=double", "-i", "0.5"},
                                                 "dravo::cli::usage",
                                                 "'-5'"},
                                         Refusal{"port beyond the inputs",
                                                 {"testblock", "--input-type", "1=double", "-i", "0.5"},
                                                 "dravo::cli::inputCount",
                                                 "port 1"},
                                         Refusal{"unknown type",
                                                 {"testblock", "--input-type", "0=fixed:q8", "-i", "0.5"},
                                                 "dravo::cli::badValue",
                                                 "fixed:q8"},
                                         Refusal{"parameter index the block does not have",
                                                 {"testblock", "-p", "99=1", "-i", "0.5"},
                                                 "dravo::cli::unknownParameter",
                                                 "99"},
                                         Refusal{
                                             "literal that a fixed type cannot hold",
                                             {"testblock", "--input-type", "fixed:s16:-1100", "-i", "300"},
                                             "dravo::cli::badValue",
                                             "300"},
                                         Refusal{"literal with more fraction bits than the type",
                                                 {"testblock", "--input-type", "fixed:s8:2", "-i", "0.3"},
                                                 "dravo::cli::badValue",
                                                 "0.3"},
                                         Refusal{"literal beyond the word",
                                                 {"testblock", "--input-type", "fixed:s8:0", "-i", "128"},
                                                 "dravo::cli::badValue",
                                                 "128"},
                                         Refusal{"variable-size port beyond the inputs",
                                                 {"testblock", "--variable-size", "3", "-i", "0.5"},
                                                 "dravo::cli::inputCount",
                                                 "port 3"})),
    [](const auto& info) {
        std::string n = std::get<0>(info.param) + "_" + std::get<1>(info.param).name;
        for (auto& ch : n)
            if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return n;
    });

// Literals that a fixed type holds exactly are taken, so the refusals above are about fit, not syntax.
TEST(EveryCommandAccepts, LiteralsThatFitTheirType) {
    for (auto [type, value, stored] : {std::tuple{"fixed:s8:2", "0.25", "0.25"},
                                       {"fixed:s16:-1100", "0", "0"},
                                       {"fixed:s8:0", "-128", "-128"},
                                       {"fixed:u8:0", "255", "255"}}) {
        auto r = runDravo({"run", "testblock", "-s", "mode=copy", "--input-type", type, "-i", value});
        EXPECT_EQ(r.status, 0) << type << " " << value << "\n" << r.err;
        EXPECT_NE(r.out.find(std::string("  ") + stored), std::string::npos) << r.out;
    }
}

// Names of files the generated set or the sil driver already has are refused before anything runs.
TEST(UnitNames, CollidingNamesAreRefusedUpFront) {
    struct Case {
        std::string cmd, name;
    };
    for (const auto& c : {Case{"codegen", "dravo_common"}, Case{"codegen", "dravo_rt"},
                          Case{"codegen", "dravo-rt"}, Case{"sil", "main"}, Case{"sil", "dravo_common"}}) {
        TempDir dir;
        std::vector<std::string> args = substitute(commandWords(c.cmd), dir.path());
        for (const char* a : {"testblock", "-i", "1", "--name"})
            args.push_back(a);
        args.push_back(c.name);
        auto r = runDravo(args);
        EXPECT_EQ(r.status, 2) << c.cmd << " --name " << c.name << "\n" << r.err;
        EXPECT_TRUE(isOneErrorLine(r.err, "dravo::cli::usage")) << r.err;
        EXPECT_NE(r.err.find("--name"), std::string::npos) << r.err;
        EXPECT_TRUE(dir.files().empty()) << c.cmd << " --name " << c.name;
    }
    // "main" is only the driver's name: codegen may use it.
    TempDir dir;
    auto r =
        runDravo({"codegen", "testblock", "-i", "1", "--name", "main", "--out-dir", (dir / "gen").string()});
    EXPECT_EQ(r.err.find("choose another name"), std::string::npos) << r.err;
}

// Without a dialog description the tool cannot know the parameter count; the block's refusal of an
// index it does not have is still a usage error.
TEST(ParameterIndex, BeyondAnUndescribedPluginIsAUsageError) {
    TempDir dir;
    fs::copy_file(fs::path(DRAVO_TEST_PLUGIN_DIR) / "dravo_testblock.so", dir / "undescribed.so");
    auto r = runDravo({"run", (dir / "undescribed.so").string(), "-p", "0=1", "-p", "1=0", "-p", "2=1", "-p",
                       "3=0", "-p", "99=1", "-i", "1"});
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_TRUE(isOneErrorLine(r.err, "dravo::cli::unknownParameter")) << r.err;
}

// A block is its dialog description and its plug-in: a description naming an existing plug-in under a
// new block name makes that name work in every command, with no change to the host.
TEST(NewBlock, OnlyItsDescriptionIsNeeded) {
    TempDir dir;
    fs::create_directory(dir / "dialogs");
    std::string json = R"({"block": "doubler", "plugin": "dravo_testblock", "summary": "twice the input",
        "parameters": [
          {"index": 0, "name": "factor", "kind": "number", "default": 2},
          {"index": 1, "name": "bias", "kind": "number", "default": 0},
          {"index": 2, "name": "mode", "kind": "popup", "choices": ["affine", "copy", "fail"], "default": 1},
          {"index": 3, "name": "rtpType", "kind": "number", "default": 0}]})";
    writeFile(dir / "dialogs" / "doubler.json", std::vector<uint8_t>(json.begin(), json.end()));
    std::vector<std::string> env = {"DRAVO_DIALOG_PATH=" + (dir / "dialogs").string()};
    auto r = runDravo({"run", "doubler", "-s", "bias=1", "-i", "3"}, env);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("  7"), std::string::npos) << r.out;  // 2 * 3 + 1
    auto b = runDravo({"blocks"}, env);
    EXPECT_NE(b.out.find("doubler"), std::string::npos) << b.out;
    auto d = runDravo({"describe", "doubler"}, env);
    EXPECT_EQ(d.status, 0) << d.err;
    EXPECT_NE(d.out.find("factor"), std::string::npos) << d.out;
}

// An integer-valued parameter out of range gets one message whatever the magnitude, before any
// integer conversion; values in range pass on to the block.
TEST(IntegerParameters, OutOfRangeIsOneMessageWhateverTheMagnitude) {
    if (!fs::exists(fs::path(DRAVO_TEST_PLUGIN_DIR) / "ubrin.so"))
        GTEST_SKIP() << "convert plug-in not built";
    std::string first;
    for (const char* v : {"2147483648", "-2147483648", "-2147483649", "1e300", "-1e300", "4294967296"}) {
        for (std::string cmd : {"run", "codegen"}) {
            TempDir dir;
            auto args = substitute(commandWords(cmd), dir.path());
            for (std::string a : {"convert", "-s", "outputDataType=fixed point", "-s"})
                args.push_back(a);
            args.push_back(std::string("fractionLength=") + v);
            args.push_back("-i");
            args.push_back("0.5");
            auto r = runDravo(args);
            EXPECT_EQ(r.status, 2) << cmd << " " << v << "\n" << r.err;
            EXPECT_TRUE(isOneErrorLine(r.err, "dravo::cli::badValue")) << r.err;
            std::string text = r.err;
            text.replace(text.find(v), std::string(v).size(), "V");
            if (first.empty()) first = text;
            EXPECT_EQ(text, first) << v;
            EXPECT_TRUE(dir.files().empty());
        }
    }
    // By index the same.
    auto r = runDravo({"run", "convert", "-p", "0=8", "-p", "3=2147483648", "-i", "0.5"});
    EXPECT_EQ(r.status, 2) << r.err;
    for (const char* v : {"513", "-2147483647", "2147483647"}) {
        auto ok = runDravo({"run", "convert", "-s", "outputDataType=fixed point", "-s",
                            std::string("fractionLength=") + v, "-i", "0.5"});
        EXPECT_EQ(ok.status, 0) << v << "\n" << ok.err;
        EXPECT_NE(ok.out.find(std::string("fixed:s16:") + v), std::string::npos) << ok.out;
    }
    // A fraction is still the block's to refuse, with its own class and exit status.
    auto frac = runDravo(
        {"run", "convert", "-s", "outputDataType=fixed point", "-s", "fractionLength=2.5", "-i", "0.5"});
    EXPECT_EQ(frac.status, 1) << frac.err;
}

}  // namespace

namespace {

// A value that does not fit is named as the file holds it, at its index in the file's C order.
TEST(StoredIntegers, RefusalNamesTheValueAsWrittenAndItsCOrderIndex) {
    TempDir dir;
    // 2 x 3, C order: element 4 is row 1, column 1.
    std::vector<uint64_t> data = {0, 1, 2, 3, UINT64_MAX, 5};
    writeFile(dir / "u64.npy", npyBytes("<u8", false, "(2, 3)", bytesOf<uint64_t>(data)));
    auto r = runDravo({"run", "testblock", "-s", "mode=copy", "--input-type", "fixed:u16:0", "-i",
                       (dir / "u64.npy").string()});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("stored integer 18446744073709551615 at element 4 "), std::string::npos) << r.err;
    // The same array in Fortran order has the value at C index 4 too when placed at column-major 3.
    std::vector<int64_t> fortran = {0, 3, 1, -70000, 2, 5};  // column-major of [[0 1 2] [3 -70000 5]]
    writeFile(dir / "f.npy", npyBytes("<i8", true, "(2, 3)", bytesOf<int64_t>(fortran)));
    r = runDravo({"run", "testblock", "-s", "mode=copy", "--input-type", "fixed:s16:0", "-i",
                  (dir / "f.npy").string()});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("stored integer -70000 at element 4 "), std::string::npos) << r.err;
}

}  // namespace

namespace {

// The examples of `dravo run --help` that step over a folder of frames work as printed.
TEST(RunHelp, FolderExamplesRunAsPrinted) {
    for (const char* plugin : {"pellor.so", "dashel.so"})
        if (!fs::exists(fs::path(DRAVO_TEST_PLUGIN_DIR) / plugin)) GTEST_SKIP() << plugin << " not built";
    auto help = runDravo({"run", "--help"});
    ASSERT_EQ(help.status, 0);
    std::vector<std::string> examples;
    std::istringstream lines(help.out);
    for (std::string line; std::getline(lines, line);)
        if (line.find("dravo run") != std::string::npos && line.find("frames/") != std::string::npos)
            examples.push_back(line.substr(line.find("dravo run")));
    ASSERT_GE(examples.size(), 2u) << help.out;
    for (const auto& example : examples) {
        TempDir dir;
        bool variable = example.find("--variable-size") != std::string::npos;
        fs::create_directory(dir / "frames");
        writeFile(dir / "frames" / "a.npy",
                  npyBytes("<f8", false, "(3, 4)", bytesOf<double>(std::vector<double>(12, 0.5))));
        int rows = variable ? 5 : 3, cols = variable ? 2 : 4;
        writeFile(dir / "frames" / "b.npy",
                  npyBytes("<f8", false, "(" + std::to_string(rows) + ", " + std::to_string(cols) + ")",
                           bytesOf<double>(std::vector<double>(size_t(rows * cols), 0.25))));
        // The words up to the first parenthesis, run in the test folder.
        std::istringstream words(example.substr(0, example.find('(')));
        std::vector<std::string> args;
        for (std::string w; words >> w;)
            if (w != "dravo")
                args.push_back(w.find('/') != std::string::npos || w.find(".npy") != std::string::npos
                                   ? (dir / w).string()
                                   : w);
        auto r = runDravo(args);
        EXPECT_EQ(r.status, 0) << example << "\n" << r.err;
        EXPECT_NE(r.out.find("_0002.npy"), std::string::npos) << example << "\n" << r.out;
    }
}

}  // namespace

namespace {

// sil takes the step plan of run: frames per step and tunable changes between steps, each step compared;
// the simulation side of that plan is checked against values worked by hand through `run`.
TEST(SilSteps, FollowTheRunStepPlan) {
    if (!fs::exists(fs::path(DRAVO_TEST_PLUGIN_DIR) / "dashel.so")) GTEST_SKIP() << "pad plug-in not built";
    if (std::system("command -v cc > /dev/null 2>&1") != 0) GTEST_SKIP() << "no C compiler";
    TempDir dir;
    writeFile(dir / "a.npy", npyBytes("<f8", false, "(1, 1)", bytesOf<double>({1})));
    writeFile(dir / "b.npy", npyBytes("<f8", false, "(1, 1)", bytesOf<double>({2})));
    std::vector<std::string> plan = {
        "pad",
        "-s",
        "rowsWhere=both",
        "-s",
        "rowsPadSize=1",
        "-s",
        "colsWhere=none",
        "-i",
        (dir / "a.npy").string() + "," + (dir / "b.npy").string() + "," + (dir / "a.npy").string(),
        "-c",
        "2:padValue=7",
        "-c",
        "3:padValue=-2.5"};
    std::vector<std::string> run = {"run"}, sil = {"sil"};
    run.insert(run.end(), plan.begin(), plan.end());
    sil.insert(sil.end(), plan.begin(), plan.end());
    auto r = runDravo(run);
    ASSERT_EQ(r.status, 0) << r.err;
    // Padding along rows adds a column on each side: per step the fill around the frame's value.
    for (const char* expected :
         {"step 1, output 0: double 1x3\n  0  1  0\n", "step 2, output 0: double 1x3\n  7  2  7\n",
          "step 3, output 0: double 1x3\n  -2.5  1  -2.5\n"})
        EXPECT_NE(r.out.find(expected), std::string::npos) << expected << "\n" << r.out;
    auto s = runDravo(sil);
    EXPECT_EQ(s.status, 0) << s.out << s.err;
    EXPECT_NE(s.out.find("identical"), std::string::npos) << s.out;
    EXPECT_NE(s.out.find("over 3 steps"), std::string::npos) << s.out;
    // A change outside the run is refused by both alike.
    plan.back() = "4:padValue=1";
    std::vector<std::string> bad = {"sil"};
    bad.insert(bad.end(), plan.begin(), plan.end());
    auto b = runDravo(bad);
    EXPECT_EQ(b.status, 2) << b.err;
    EXPECT_TRUE(isOneErrorLine(b.err, "dravo::cli::usage")) << b.err;
}

}  // namespace
