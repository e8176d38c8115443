// Generated units built by every compiler they are meant for: a 32-bit embedded target
// (arm-none-eabi-gcc -mcpu=cortex-m4 -mthumb) and clang and gcc on the host, each with
// -std=c99 -Wall -Wextra -Werror. The units come from `dravo codegen` over a table of configurations per
// block (a block that gains a code generator adds its rows to kRows); the runtime headers are also built
// alone, with every helper used. A compiler that is not installed is skipped with a message.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>

#include "cg/emit_c.h"
#include "cg/harness.h"
#include "cg_test_util.h"

namespace fs = std::filesystem;

namespace {

struct Compiler {
    std::string name;               // test name
    std::vector<std::string> exes;  // executable, by preference
    std::string flags;              // beyond -std=c99 -Wall -Wextra -Werror -O2 -ffp-contract=off
    bool host;                      // also built with the two-word 128-bit helpers forced
};

const Compiler kCompilers[] = {
    {"arm_cortex_m4", {"arm-none-eabi-gcc"}, "-mcpu=cortex-m4 -mthumb", false},
    {"clang", {"clang", "clang-14"}, "", true},
    {"gcc", {"gcc"}, "", true},
};

// Input files the rows refer to by name: .npy arrays of the given dtype and shape (C order).
struct NpyFile {
    const char* name;
    const char* descr;
    std::vector<int> shape;
};
const NpyFile kInputs[] = {
    {"d34", "<f8", {3, 4}},       {"f34", "<f4", {3, 4}},   {"u8", "|u1", {3, 4}},
    {"i8", "|i1", {3, 4}},        {"u16", "<u2", {3, 4}},   {"i16", "<i2", {3, 4}},
    {"b", "|b1", {3, 4}},         {"c34", "<c16", {3, 4}},  {"d3d", "<f8", {2, 3, 2}},
    {"d4d", "<f8", {2, 3, 2, 2}}, {"d11", "<f8", {1, 1}},   {"f11", "<f4", {1, 1}},
    {"u78", "|u1", {7, 8}},       {"u8t", "|u1", {17, 16}}, {"i8t", "|i1", {17, 17}},
};

struct Row {
    std::string block;
    std::string name;
    std::string args;  // dravo codegen options; $name stands for the input file of that name
};

// A representative sweep: every conversion rule and port kind, every pad method and form.
const std::vector<Row> kRows = {
    {"convert", "double_to_uint8", "-s outputDataType=uint8 -i $d34"},
    {"convert", "double_to_double", "-s outputDataType=double -i $d34"},
    {"convert", "single_to_int16", "-s outputDataType=int16 -i $f34"},
    {"convert", "double_to_fixed_s12_3",
     "-s outputDataType=8 -s isSigned=1 -s wordLength=12 -s fractionLength=3 -i $d34"},
    {"convert", "uint8_to_single", "-s outputDataType=single -i $u8"},
    {"convert", "int8_to_double", "-s outputDataType=double -i $i8"},
    {"convert", "uint8_to_uint8", "-s outputDataType=uint8 -i $u8"},
    {"convert", "uint8_to_uint16", "-s outputDataType=uint16 -i $u8"},
    {"convert", "int16_to_int8", "-s outputDataType=int8 -i $i16"},
    {"convert", "int8_to_uint8", "-s outputDataType=uint8 -i $i8"},
    {"convert", "int16_to_uint8", "-s outputDataType=uint8 -i $i16"},
    {"convert", "uint16_to_int16", "-s outputDataType=int16 -i $u16"},
    {"convert", "uint8_to_fixed_u6_2",
     "-s outputDataType=8 -s isSigned=0 -s wordLength=6 -s fractionLength=2 -i $u8"},
    {"convert", "fixed_s12_3_to_uint16", "-s outputDataType=uint16 -i $i16 --input-type fixed:s12:3"},
    {"convert", "boolean_to_int16", "-s outputDataType=int16 -i $b"},
    {"convert", "uint16_to_boolean", "-s outputDataType=boolean -i $u16"},
    {"convert", "double_to_boolean", "-s outputDataType=boolean -i $d34"},
    {"convert", "variable_size_3d", "-s outputDataType=int16 -i $d3d --variable-size 0"},
    {"pad", "constant", "-s method=constant -s padValue=7 -i $d34"},
    {"pad", "replicate", "-s method=replicate -i $d34"},
    {"pad", "symmetric", "-s method=symmetric -s 'rowsPadSize=[2 3]' -i $i16"},
    {"pad", "circular", "-s method=circular -s colsPadSize=4 -i $u8"},
    {"pad", "output_size_truncates",
     "-s method=replicate -s sizeSpec=2 -s rowSize=3 -s columnSize=9 -i $f34"},
    {"pad", "complex_constant", "-s padValue=1+2i -i $c34"},
    {"pad", "complex_input", "-s method=symmetric -i $c34"},
    {"pad", "value_from_port", "-s padValueSource=2 -i $d34 -i $d11"},
    {"pad", "nd_listed",
     "-s form=1 -s dimsChoice=5 -s 'dimsToPad=[4 2]' -s 'padAtBeginning=[1 0]' -s 'padAtEnd=[2 1]' -i $d4d"},
    {"pad", "boolean_replicate", "-s method=replicate -i $b"},
    {"pad", "fixed_point", "-s method=circular -i $i16 --input-type fixed:s12:3"},
    {"corner-metric", "harris_double", "-i $d34"},
    {"corner-metric", "min_eigenvalue_uint8",
     "-s method=2 -s memoryWordLength=40 -s productWordLength=48 -i $u8 --variable-size 0"},
    {"corner-metric", "comparison_uint8_defaults", "-s method=3 -s threshold=20 -i $u78"},
    {"corner-metric", "harris_uint8_defaults", "-i $u8"},
    {"corner-metric", "min_eigenvalue_int16_defaults_wide", "-s method=2 -i $i16 --variable-size 0"},
    {"contrast", "double_histogram", "-i $d34"},
    {"contrast", "uint8_table", "-i $u8t"},
    {"contrast", "fixed_point_histogram",
     "-s product1WordLength=40 -s product1FractionLength=24 -s product2WordLength=40 "
     "-s product2FractionLength=20 -i $i16 --input-type fixed:s12:3"},
    {"contrast", "variable_size", "-i $d34 --variable-size 0"},
    {"contrast", "int8_table_minmax_dialog_output",
     "-s inputRangeMode=1 -s outputRangeMode=2 -s 'outputRange=[-100 90]' -s rounding=2 -s overflow=1 -i "
     "$i8t"},
    {"contrast", "uint16_minmax", "-s inputRangeMode=1 -i $u16 --variable-size 0"},
};

// Uses every runtime helper, so the headers are built whole even when no unit of the sweep needs them.
const char* kRuntimeUse = R"C(#include "dravo_rt_wide.h"
int64_t dravo_rt_use(int64_t a, int64_t b, double d);
int64_t dravo_rt_use(int64_t a, int64_t b, double d)
{
    dvrt_wide wa = dvrt_w_i64(a), wb = dvrt_w_u64((uint64_t)b);
    int64_t s = dvrt64_quantize(a, -3, DVRT_CONVERGENT, DVRT_SAT, 31, 1) + dvrt64_divide(a, b, 4, DVRT_ROUND, DVRT_WRAP, 40, 0) +
                dvrt64_rem(a, b) + dvrt64_from_double(d, -5, DVRT_NEAREST, DVRT_SAT, 20, 1) +
                dvrt64_sqrt(a, -10, -6, DVRT_CEIL, DVRT_WRAP, 30, 0) + dvrt64_shl(a, 3) + dvrt64_sar(a, 2);
    s += dvrt_w_to_i64(dvrt_quantize(dvrt_w_mul(wa, wb), -20, DVRT_FLOOR, DVRT_SAT, 64, 1));
    s += dvrt_w_to_i64(dvrt_divide(wa, wb, 30, DVRT_SIMPLEST, DVRT_WRAP, 64, 1));
    s += dvrt_w_to_i64(dvrt_sqrt(wa, -10, -40, DVRT_NEAREST, DVRT_SAT, 64, 0));
    s += dvrt_w_to_i64(dvrt_from_double(d, -70, DVRT_ZERO, DVRT_WRAP, 64, 1));
    s += dvrt_w_to_i64(dvrt_rem(wa, wb)) + (int64_t)dvrt_w_to_u64(dvrt_w_sub(dvrt_w_shl(wa, 40), dvrt_w_sar(wb, 3)));
    return s + dvrt_w_cmp(wa, dvrt_w_neg(wb)) + dvrt_w_sign(dvrt_w_add(wa, wb));
}
)C";

bool onPath(const std::string& exe) {
    std::string cmd = "command -v '" + exe + "' > /dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}

std::string slurp(const fs::path& p) {
    std::ifstream is(p);
    return std::string(std::istreambuf_iterator<char>(is), std::istreambuf_iterator<char>());
}

void writeNpy(const fs::path& p, const NpyFile& f) {
    std::string shape;
    size_t n = 1;
    for (int d : f.shape) {
        shape += std::to_string(d) + ", ";
        n *= static_cast<size_t>(d);
    }
    std::string header =
        std::string("{'descr': '") + f.descr + "', 'fortran_order': False, 'shape': (" + shape + "), }";
    while ((10 + header.size() + 1) % 64 != 0)
        header += ' ';
    header += '\n';
    std::ofstream os(p, std::ios::binary);
    os.write("\x93NUMPY\x01\x00", 8);
    uint16_t len = static_cast<uint16_t>(header.size());
    os.write(reinterpret_cast<const char*>(&len), 2);
    os << header;
    size_t bytes = std::strcmp(f.descr, "<c16") == 0 ? 16 : std::atoi(f.descr + 2);
    for (size_t i = 0; i < n; ++i) {
        uint8_t elem[16] = {0};
        if (f.descr[1] == 'f' || f.descr[1] == 'c') {
            double v = static_cast<double>(i % 5) / 4.0;
            if (bytes == 4) {
                float x = static_cast<float>(v);
                std::memcpy(elem, &x, 4);
            } else {
                std::memcpy(elem, &v, 8);
                if (bytes == 16) std::memcpy(elem + 8, &v, 8);
            }
        } else if (f.descr[1] == 'b') {
            elem[0] = static_cast<uint8_t>(i % 2);
        } else {
            elem[0] = static_cast<uint8_t>(i * 13);
        }
        os.write(reinterpret_cast<const char*>(elem), static_cast<std::streamsize>(bytes));
    }
}

// Generates every row once per test program run: <root>/<block>_<row>/ holds the unit.
const std::vector<fs::path>& generatedUnits() {
    static std::vector<fs::path> dirs = [] {
        std::vector<fs::path> out;
        fs::path root = fs::path(::testing::TempDir()) / "dravo_cg_cross";
        fs::remove_all(root);
        fs::create_directories(root / "inputs");
        std::map<std::string, std::string> files;
        for (const NpyFile& f : kInputs) {
            fs::path p = root / "inputs" / (std::string(f.name) + ".npy");
            writeNpy(p, f);
            files[f.name] = p.string();
        }
        for (const Row& r : kRows) {
            std::string args = r.args;
            for (size_t at; (at = args.find('$')) != std::string::npos;) {
                size_t end = args.find(' ', at);
                std::string key =
                    args.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1);
                EXPECT_TRUE(files.count(key)) << key;
                args.replace(at, key.size() + 1, "'" + files[key] + "'");
            }
            fs::path dir = root / (r.block + "_" + r.name);
            std::string cmd = std::string("DRAVO_PLUGIN_PATH='") + DRAVO_PLUGIN_DIR + "' '" + DRAVO_BINARY +
                              "' codegen " + r.block + " " + args + " --name unit --out-dir '" +
                              dir.string() + "' > '" + (root / "log.txt").string() + "' 2>&1";
            EXPECT_EQ(std::system(cmd.c_str()), 0)
                << r.block << " " << r.name << ": " << slurp(root / "log.txt");
            out.push_back(dir);
        }
        fs::create_directories(root / "runtime");
        std::ofstream(root / "runtime" / CG::runtimeHeaderName()) << CG::runtimeHeaderText();
        std::ofstream(root / "runtime" / CG::wideHeaderName()) << CG::wideHeaderText();
        std::ofstream(root / "runtime" / "rt_use.c") << kRuntimeUse;
        out.push_back(root / "runtime");
        return out;
    }();
    return dirs;
}

class CrossCompile : public ::testing::TestWithParam<Compiler> {};

}  // namespace

TEST_P(CrossCompile, EveryGeneratedUnitBuildsWithoutWarnings) {
    const Compiler& c = GetParam();
    std::string exe;
    for (const std::string& e : c.exes)
        if (exe.empty() && onPath(e)) exe = e;
    if (exe.empty())
        GTEST_SKIP() << c.exes.front() << " is not installed here; CI installs it (scripts/install-deps.sh)";
    const auto& dirs = generatedUnits();
    ASSERT_EQ(dirs.size(), kRows.size() + 1);
    std::vector<std::string> variants = {""};
    if (c.host) variants.push_back(" -DDVRT_PORTABLE_INT");
    int built = 0;
    for (const fs::path& dir : dirs) {
        std::string sources;
        for (const auto& e : fs::directory_iterator(dir))
            if (e.path().extension() == ".c") sources += " '../" + e.path().filename().string() + "'";
        ASSERT_FALSE(sources.empty()) << dir;
        for (const std::string& v : variants) {
            // Forcing the two-word helpers changes nothing in a unit that does not include them.
            if (!v.empty() && !fs::exists(dir / CG::wideHeaderName())) continue;
            fs::path obj = dir / ("obj_" + c.name + (v.empty() ? "" : "_portable"));
            fs::create_directories(obj);
            std::string cmd = "cd '" + obj.string() + "' && " + exe + " " + c.flags +
                              " -std=c99 -Wall -Wextra -Werror -O2 -ffp-contract=off" + v + " -I.. -c" +
                              sources + " > build.log 2>&1";
            EXPECT_EQ(std::system(cmd.c_str()), 0) << c.name << v << " " << dir.filename() << ":\n"
                                                   << slurp(obj / "build.log");
            ++built;
        }
    }
    EXPECT_GE(built, static_cast<int>(dirs.size()));
}

INSTANTIATE_TEST_SUITE_P(Compilers, CrossCompile, ::testing::ValuesIn(kCompilers),
                         [](const auto& info) { return info.param.name; });

// The embedded build really has no 128-bit integer, so the two-word helpers are what it compiles.
TEST(CrossCompileTarget, EmbeddedTargetHasNoCompilerWideInteger) {
    if (!onPath("arm-none-eabi-gcc")) GTEST_SKIP() << "arm-none-eabi-gcc is not installed here";
    fs::path dir = fs::path(::testing::TempDir()) / "dravo_cg_cross_probe";
    fs::create_directories(dir);
    std::ofstream(dir / "probe.c") << "#ifdef __SIZEOF_INT128__\n#error has int128\n#endif\nint probe;\n";
    std::string cmd = "arm-none-eabi-gcc -mcpu=cortex-m4 -mthumb -std=c99 -c '" + (dir / "probe.c").string() +
                      "' -o '" + (dir / "probe.o").string() + "' > /dev/null 2>&1";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
}
