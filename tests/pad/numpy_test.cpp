// The kernels against numpy.pad (constant, edge, symmetric, wrap) on Fortran-ordered arrays, for pads no
// longer than the data, where numpy computes the same values. Skipped when numpy is not installed.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>

#include "kernel_rig.h"

using namespace padtest;

namespace {

const char* kPython = "/usr/bin/python3";

bool numpyAvailable() {
    static const bool available = [] {
        const std::string cmd = std::string(kPython) + " -c 'import numpy' 2>/dev/null";
        return std::system(cmd.c_str()) == 0;
    }();
    return available;
}

std::string listOf(const std::vector<int32_t>& v) {
    std::string s = "(";
    for (int32_t x : v) {
        s += std::to_string(x) + ",";
    }
    return s + ")";
}

// numpy's padded array of arange data, flattened in Fortran order.
std::vector<double> numpyPad(const PadCase& c, double value) {
    static const char* modes[] = {"", "constant", "edge", "symmetric", "wrap"};
    std::string widths = "(";
    for (size_t k = 0; k < c.inDims.size(); ++k) {
        widths += "(" + std::to_string(c.before[k]) + "," + std::to_string(c.after[k]) + "),";
    }
    widths += ")";
    std::ostringstream script;
    script << "import numpy as np\n"
           << "shape=" << listOf(c.inDims) << "\n"
           << "a=np.arange(int(np.prod(shape)),dtype=np.float64).reshape(shape,order='F')\n"
           << "kw={'constant_values':" << value << "} if '" << modes[c.method] << "'=='constant' else {}\n"
           << "o=np.pad(a," << widths << ",mode='" << modes[c.method] << "',**kw)\n"
           << "print(' '.join(repr(float(x)) for x in o.ravel(order='F')))\n";
    const std::string cmd = std::string(kPython) + " -c \"" + script.str() + "\"";
    FILE* pipe = popen(cmd.c_str(), "r");
    std::vector<double> out;
    if (pipe == nullptr) {
        return out;
    }
    double x;
    while (std::fscanf(pipe, "%lf", &x) == 1) {
        out.push_back(x);
    }
    pclose(pipe);
    return out;
}

class PadAgainstNumpy : public ::testing::TestWithParam<std::tuple<int, PadCase>> {};

TEST_P(PadAgainstNumpy, SameValues) {
    if (!numpyAvailable()) {
        GTEST_SKIP() << "numpy is not installed for " << kPython;
    }
    PadCase c = std::get<1>(GetParam());
    c.method = std::get<0>(GetParam());
    const double value = -2.5;
    std::vector<uint8_t> pad(8);
    std::memcpy(pad.data(), &value, 8);
    KernelRig rig(c, 8, false, pad, false, std::vector<uint8_t>(8, 0));
    for (size_t i = 0; i < rig.input.size() / 8; ++i) {
        const double v = static_cast<double>(i);
        std::memcpy(rig.input.data() + 8 * i, &v, 8);
    }
    rig.run();
    std::vector<double> got(rig.output.size() / 8);
    std::memcpy(got.data(), rig.output.data(), rig.output.size());
    EXPECT_EQ(got, numpyPad(c, value));
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, PadAgainstNumpy,
    ::testing::Combine(::testing::Values(1, 2, 3, 4),
                       ::testing::Values(PadCase{{7}, {3}, {7}, 0}, PadCase{{5, 4}, {2, 4}, {5, 1}, 0},
                                         PadCase{{1, 6}, {0, 6}, {1, 2}, 0},
                                         PadCase{{4, 3, 2}, {1, 3, 2}, {4, 0, 1}, 0},
                                         PadCase{{3, 2, 2, 3}, {3, 1, 0, 2}, {2, 2, 2, 3}, 0},
                                         PadCase{{6, 5}, {0, 0}, {0, 0}, 0})));

}  // namespace
