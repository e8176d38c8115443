// Generated code of the rotate block against its simulation, bit for bit: every interpolation method,
// both output sizes and both angle sources; angles at and near quarter turns, beyond +-pi and clamped port
// angles; table and trigonometric sine; double and single images, one and three planes with per-plane
// fill; odd and even sizes, 1xN, Nx1 and 1x1 images; variable-size frames. The generated units build with
// -Werror and run under UndefinedBehaviorSanitizer (the rig's sanitize option).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <sstream>

#include "dravo/host/types.h"
#include "sil_rig.h"

using dravo::host::Array;
using dravo::host::Block;
using dravo::host::InputSpec;
using dravo::host::Plugin;

namespace {

constexpr double kPi = 3.141592653589793;

std::shared_ptr<Plugin> plugin() {
    static std::shared_ptr<Plugin> p = Plugin::load("pellor");
    return p;
}

std::vector<Array> params(const std::map<int, Array>& set) {
    const double defaults[22] = {1, 1,  0.5, kPi, 2,  1,  0, 2,  2,  16, 15,
                                 2, 32, 30,  3,   32, 30, 2, 16, 15, 3,  1};
    std::vector<Array> p;
    for (int i = 0; i < 22; ++i) {
        auto it = set.find(i);
        p.push_back(it != set.end() ? it->second : Array::scalar(defaults[i]));
    }
    return p;
}

// Samples with many distinct values and fractions, so a misplaced or misweighted sample shows.
template <typename T>
std::vector<uint8_t> imageBytes(size_t n, uint32_t seed) {
    std::vector<T> v(n);
    for (size_t k = 0; k < n; ++k)
        v[k] = T(double((k * 37 + seed) % 101) + 0.25 * double(k % 7) - 20.0);
    std::vector<uint8_t> b(n * sizeof(T));
    std::memcpy(b.data(), v.data(), b.size());
    return b;
}

struct RotateCase {
    std::string name;
    std::map<int, Array> params;
    std::vector<int32_t> dims;
    std::string type = "double";
    double portAngle = NAN;  // set: the angle comes from the port (parameter 1 = 2)
    bool variableSize = false;
    std::vector<int32_t> current;  // current size of a variable-size image
    friend void PrintTo(const RotateCase& c, std::ostream* os) { *os << c.name; }
};

std::string tag(double v) {
    std::ostringstream s;
    s.precision(12);
    s << v;
    std::string t = s.str();
    for (char& ch : t)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return t;
}

void runCase(const RotateCase& c) {
    std::map<int, Array> set = c.params;
    const bool fromPort = !std::isnan(c.portAngle);
    if (fromPort) set[1] = Array::scalar(2);
    auto block = std::make_unique<Block>(plugin(), "rotate");
    block->setParameters(params(set));
    block->initialize();
    InputSpec image;
    image.dims = c.dims;
    image.dataType = *dravo::types::parseTypeName(c.type);
    image.dimsMode = c.variableSize ? 1 : 0;
    std::vector<InputSpec> specs = {image};
    if (fromPort) {
        InputSpec angle;
        angle.dims = {1, 1};
        angle.dataType = image.dataType;
        specs.push_back(angle);
    }
    block->propagate(specs);
    block->start();

    const std::vector<int32_t>& dims = c.variableSize ? c.current : c.dims;
    size_t n = 1;
    for (int32_t d : dims)
        n *= size_t(d);
    const bool single = c.type == "single";
    std::vector<CG::HarnessInput> in;
    in.push_back({single ? imageBytes<float>(n, 5) : imageBytes<double>(n, 5),
                  c.variableSize ? dims : std::vector<int32_t>{}});
    if (fromPort) {
        std::vector<uint8_t> a;
        if (single) {
            const float f = float(c.portAngle);
            a.resize(4);
            std::memcpy(a.data(), &f, 4);
        } else {
            a.resize(8);
            std::memcpy(a.data(), &c.portAngle, 8);
        }
        in.push_back({a, {}});
    }
    cgtest::expectIdentical(*block, "rotate", "rotate", in);
}

// Every method x output size x sine method at the angles that matter most (near quarter turns, on pi,
// beyond pi); further angles each with one combination, cycling through them.
std::vector<RotateCase> sweep() {
    std::vector<RotateCase> cs;
    const double core[] = {0.5, kPi / 2 + 1e-7, kPi / 2 - 1e-7, kPi, -kPi / 2 - 1e-9, 4.0};
    const double more[] = {0.0, -0.3, kPi / 4, kPi / 2, 2.4, -kPi, 3 * kPi / 2, -2.9, -7.5, 2 * kPi + 0.2};
    const char* methods[] = {"", "nearest", "bilinear", "bicubic"};
    auto add = [&](int method, int size, int sine, double a) {
        RotateCase c;
        c.name = std::string(methods[method]) + (size == 1 ? "_expanded" : "_same") +
                 (sine == 1 ? "_trig" : "_table") + "_a" + tag(a);
        c.params = {{0, Array::scalar(size)},
                    {2, Array::scalar(a)},
                    {5, Array::scalar(sine)},
                    {6, Array::scalar(3.5)},
                    {7, Array::scalar(method)}};
        c.dims = {7, 10};
        cs.push_back(c);
    };
    for (int method = 1; method <= 3; ++method)
        for (int size = 1; size <= 2; ++size)
            for (int sine = 1; sine <= 2; ++sine)
                for (double a : core)
                    add(method, size, sine, a);
    int combo = 0;
    for (double a : more) {
        add(1 + combo % 3, 1 + (combo / 3) % 2, 1 + (combo / 6) % 2, a);
        combo += 5;
    }
    return cs;
}

std::vector<RotateCase> shapes() {
    std::vector<RotateCase> cs;
    const std::vector<std::vector<int32_t>> dims = {{1, 9}, {9, 1}, {1, 1}, {2, 2}, {6, 4}, {8, 8}, {5, 5}};
    for (const auto& d : dims)
        for (int method = 1; method <= 3; ++method)
            for (int size = 1; size <= 2; ++size) {
                const double angles[] = {0.7, 2.0, -kPi / 2};
                const double a = angles[(method + size) % 3];
                RotateCase c;
                c.name = "dims" + std::to_string(d[0]) + "x" + std::to_string(d[1]) + "_m" +
                         std::to_string(method) + "_o" + std::to_string(size) + "_a" + tag(a);
                c.params = {{0, Array::scalar(size)}, {2, Array::scalar(a)}, {7, Array::scalar(method)}};
                c.dims = d;
                cs.push_back(c);
            }
    return cs;
}

std::vector<RotateCase> others() {
    std::vector<RotateCase> cs;
    auto add = [&](std::string name, std::map<int, Array> p, std::vector<int32_t> dims,
                   std::string type = "double", double portAngle = NAN) {
        RotateCase c;
        c.name = std::move(name);
        c.params = std::move(p);
        c.dims = std::move(dims);
        c.type = std::move(type);
        c.portAngle = portAngle;
        cs.push_back(c);
    };
    for (int method = 1; method <= 3; ++method) {
        const std::string m = std::to_string(method);
        // Three planes with one fill value each.
        add("rgb_fill_m" + m,
            {{2, Array::scalar(0.9)}, {6, Array::realVector({10, 20, 30})}, {7, Array::scalar(method)}},
            {6, 9, 3});
        add("rgb_same_m" + m,
            {{0, Array::scalar(2)},
             {2, Array::scalar(-2.2)},
             {6, Array::realVector({1, 2, 3})},
             {7, Array::scalar(method)}},
            {5, 8, 3});
        // Single precision: single constants and single math throughout.
        for (int sine = 1; sine <= 2; ++sine)
            for (double a : {0.5, 2.0, -1.0, kPi / 2 + 1e-6})
                add("single_m" + m + "_s" + std::to_string(sine) + "_a" + tag(a),
                    {{2, Array::scalar(a)}, {5, Array::scalar(sine)}, {7, Array::scalar(method)}}, {7, 10},
                    "single");
        // Port angles: wrapped beyond +-pi, clamped to the maximum angle, placement top-left or centred.
        int placement = 1;
        for (double a : {0.4, 4.0, -4.0, 1.2, -1.2, kPi, 2.0 * kPi, -0.0}) {
            placement = 3 - placement;  // top-left and centred in turn
            add("port_m" + m + "_p" + std::to_string(placement) + "_a" + tag(a),
                {{3, Array::scalar(1.0)}, {4, Array::scalar(placement)}, {7, Array::scalar(method)}}, {6, 9},
                "double", a);
        }
        add("port_max5_m" + m, {{3, Array::scalar(5.0)}, {7, Array::scalar(method)}}, {6, 9}, "double", 4.0);
        add("port_same_m" + m, {{0, Array::scalar(2)}, {7, Array::scalar(method)}}, {6, 9}, "double", 2.5);
        add("port_single_m" + m, {{7, Array::scalar(method)}, {5, Array::scalar(1)}}, {5, 7}, "single", -2.0);
        add("port_1x1_m" + m, {{7, Array::scalar(method)}}, {1, 1, 2}, "double", 0.3);
    }
    // Quarter turns of every count by the dialog.
    for (int q = 0; q < 4; ++q)
        for (int size = 1; size <= 2; ++size)
            add("quarter" + std::to_string(q) + "_o" + std::to_string(size),
                {{0, Array::scalar(size)}, {2, Array::scalar(q * kPi / 2)}},
                size == 1 ? std::vector<int32_t>{5, 8, 2} : std::vector<int32_t>{6, 6, 2});
    return cs;
}

std::vector<RotateCase> variableSize() {
    std::vector<RotateCase> cs;
    for (int method = 1; method <= 3; ++method)
        for (int size = 1; size <= 2; ++size)
            for (double a : {0.6, 2.5, -1.0}) {
                RotateCase c;
                c.name = "var_m" + std::to_string(method) + "_o" + std::to_string(size) + "_a" + tag(a);
                c.params = {{0, Array::scalar(size)}, {2, Array::scalar(a)}, {7, Array::scalar(method)}};
                c.dims = {9, 12};
                c.variableSize = true;
                c.current = {6, 11};
                cs.push_back(c);
            }
    RotateCase q;
    q.name = "var_quarter";
    q.params = {{2, Array::scalar(kPi / 2)}};
    q.dims = {7, 7, 3};
    q.variableSize = true;
    q.current = {4, 6, 3};
    cs.push_back(q);
    return cs;
}

}  // namespace

class RotateSil : public ::testing::TestWithParam<RotateCase> {};

TEST_P(RotateSil, GeneratedCodeMatchesSimulation) {
    runCase(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Angles, RotateSil, ::testing::ValuesIn(sweep()),
                         [](const auto& info) { return info.param.name; });
INSTANTIATE_TEST_SUITE_P(Shapes, RotateSil, ::testing::ValuesIn(shapes()),
                         [](const auto& info) { return info.param.name; });
INSTANTIATE_TEST_SUITE_P(Forms, RotateSil, ::testing::ValuesIn(others()),
                         [](const auto& info) { return info.param.name; });
INSTANTIATE_TEST_SUITE_P(VariableSize, RotateSil, ::testing::ValuesIn(variableSize()),
                         [](const auto& info) { return info.param.name; });

namespace {

std::vector<uint8_t> doubleBytes(const std::vector<double>& v) {
    std::vector<uint8_t> b(v.size() * sizeof(double));
    std::memcpy(b.data(), v.data(), b.size());
    return b;
}

}  // namespace

// Several steps of one instance: the port angle turns from step to step (across quarter turns and
// beyond +-pi), the frame size changes, and the per-plane fill value is tuned between steps, as the host
// does while running. Every step is compared.
TEST(RotateSilSteps, AngleFrameSizeAndTunedFillChangeBetweenSteps) {
    for (int method = 1; method <= 3; ++method) {
        auto block = std::make_unique<Block>(plugin(), "rotate");
        block->setParameters(params({{1, Array::scalar(2)},
                                     {3, Array::scalar(5.0)},
                                     {6, Array::realVector({1, 2, 3})},
                                     {7, Array::scalar(method)}}));
        block->initialize();
        InputSpec image;
        image.dims = {8, 11, 3};
        image.dataType = SS_DOUBLE;
        image.dimsMode = 1;
        InputSpec angle;
        angle.dims = {1, 1};
        angle.dataType = SS_DOUBLE;
        block->propagate({image, angle});
        block->start();
        const struct {
            std::vector<int32_t> dims;
            double angle;
        } frames[] = {
            {{8, 11, 3}, 0.4}, {{5, 9, 3}, 1.9}, {{8, 11, 3}, -2.5}, {{7, 4, 3}, 4.0}, {{3, 3, 3}, 0.0}};
        std::vector<TarnCG::SilStep> steps;
        int seed = 0;
        for (const auto& f : frames) {
            TarnCG::SilStep s;
            const size_t n = size_t(f.dims[0]) * size_t(f.dims[1]) * size_t(f.dims[2]);
            s.inputs.push_back({imageBytes<double>(n, uint32_t(seed++)), f.dims});
            s.inputs.push_back({doubleBytes({f.angle}), {}});
            steps.push_back(s);
        }
        steps[2].paramChanges.push_back({6, Array::realVector({7, -8, 9.5})});
        steps[4].paramChanges.push_back({6, Array::realVector({0.25, 0.5, 0.75})});
        CG::HarnessOptions o;
        o.workDir = cgtest::workDir("rotate_steps");
        o.sanitize = true;
        TarnCG::SilResult r = TarnCG::runSilSteps(*block, "rotate", "rotate", steps, o);
        EXPECT_TRUE(r.ran && r.identical) << "method " << method << ": " << r.verdict();
        EXPECT_EQ(r.steps, 5);
    }
}
