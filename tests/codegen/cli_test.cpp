// dravo codegen and dravo sil end to end through the binary.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "cg_test_util.h"

namespace fs = std::filesystem;

namespace {

struct CliRun {
    int status = -1;
    std::string out, err;
};

CliRun dravo(const std::string& args) {
    fs::path dir = cgtest::workDir("cli");
    fs::create_directories(dir);
    std::string cmd = std::string("DRAVO_PLUGIN_PATH='") + DRAVO_PLUGIN_DIR + "' '" + DRAVO_BINARY + "' " +
                      args + " > '" + (dir / "out.txt").string() + "' 2> '" + (dir / "err.txt").string() +
                      "'";
    CliRun r;
    int rc = std::system(cmd.c_str());
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    auto slurp = [](const fs::path& p) {
        std::ifstream is(p);
        return std::string(std::istreambuf_iterator<char>(is), std::istreambuf_iterator<char>());
    };
    r.out = slurp(dir / "out.txt");
    r.err = slurp(dir / "err.txt");
    return r;
}

// A little-endian float64 .npy of a rows x cols matrix (C order).
std::string writeNpy(const std::string& name, int rows, int cols) {
    fs::path p = fs::path(cgtest::workDir("cli")) / name;
    fs::create_directories(p.parent_path());
    std::string header = "{'descr': '<f8', 'fortran_order': False, 'shape': (" + std::to_string(rows) + ", " +
                         std::to_string(cols) + "), }";
    while ((10 + header.size() + 1) % 64 != 0)
        header += ' ';
    header += '\n';
    std::ofstream os(p, std::ios::binary);
    os.write("\x93NUMPY\x01\x00", 8);
    uint16_t len = static_cast<uint16_t>(header.size());
    os.write(reinterpret_cast<const char*>(&len), 2);
    os << header;
    for (int i = 0; i < rows * cols; ++i) {
        double v = (i % 7) / 6.0 - 0.1;
        os.write(reinterpret_cast<const char*>(&v), 8);
    }
    return p.string();
}

}  // namespace

TEST(CodegenCli, WritesACompilableUnit) {
    std::string in = writeNpy("img.npy", 5, 4);
    fs::path out = fs::path(cgtest::workDir("cli")) / "gen";
    fs::remove_all(out);
    CliRun r = dravo("codegen pad -s method=symmetric -i '" + in + "' --name padSym --out-dir '" +
                     out.string() + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* f : {"padSym.h", "padSym.c", "dravo_common.h", "dravo_common.c", "dravo_rt.h"})
        EXPECT_TRUE(fs::exists(out / f)) << f;
    std::string cc =
        "cc -std=c99 -Wall -Wextra -Werror -c -o /dev/null '" + (out / "padSym.c").string() + "'";
    EXPECT_EQ(std::system(cc.c_str()), 0);
}

TEST(CodegenCli, UnwritableFolderIsAnErrorNamingTheBlock) {
    std::string in = writeNpy("img.npy", 3, 3);
    fs::path file = fs::path(cgtest::workDir("cli")) / "afile";
    std::ofstream(file) << "x";
    CliRun r = dravo("codegen convert -i '" + in + "' --out-dir '" + file.string() + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("error: block 'convert'"), std::string::npos) << r.err;
}

TEST(SilCli, IdenticalVerdictExitsZero) {
    std::string in = writeNpy("img.npy", 6, 5);
    CliRun r = dravo("sil convert -s outputDataType=int16 -i '" + in + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "identical: generated code and simulation agree bit for bit\n");
}

TEST(SilCli, PortableIntegerSwitchIsAcceptedAndKeepsTheVerdict) {
    std::string in = writeNpy("img.npy", 4, 3);
    CliRun r = dravo("sil convert -s outputDataType=int16 --portable-int -i '" + in + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "identical: generated code and simulation agree bit for bit\n");
}

TEST(SilCli, MissingCompilerIsReportedAsSuch) {
    std::string in = writeNpy("img.npy", 3, 3);
    CliRun r = dravo("sil pad -i '" + in + "' --cc /nonexistent/cc");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no C compiler found"), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
}
