// The rotate block's generated step against its simulation step on the same image: double bilinear and
// bicubic at 30 degrees on 1024 x 1024 and 4096 x 4096, and uint8 bilinear (fixed-point engine) with
// narrow working types (s32.16, floor, wrap) and at the dialog's defaults (s40.22, nearest, saturate). Both
// sides are the best single step: the simulation's over the benchmark iterations, the generated
// program's over its timed steps of two runs (each after one untimed warm-up step). The generated code
// is built with the harness's flags (-O2 -ffp-contract=off), the simulation's optimisation level.
//
// Run with DRAVO_PLUGIN_PATH pointing at the plug-in folder; the counter gen_over_sim is the ratio.
// DRAVO_BENCH_STEPS (default 5) sets the timed steps of each side: more steps give steadier bests on a busy
// machine.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>

#include "../codegen/generated_vs_simulation.h"
#include "cg/host_bridge.h"
#include "cg/sil.h"
#include "dravo/host/engine.h"
#include "dravo/host/types.h"

using dravo::host::Array;
using dravo::host::Block;
using dravo::host::InputSpec;
using dravo::host::Plugin;

namespace {

constexpr double kThirtyDegrees = 0.52359877559829882;

int32_t timedSteps() {
    const char* v = std::getenv("DRAVO_BENCH_STEPS");
    const int32_t n = v ? std::atoi(v) : 0;
    return n > 0 ? n : 5;
}

std::vector<uint8_t> image(const std::string& type, int32_t side) {
    const size_t n = size_t(side) * side;
    std::mt19937 rng(1);
    if (type == "uint8") {
        std::vector<uint8_t> b(n);
        for (auto& x : b)
            x = static_cast<uint8_t>(rng());
        return b;
    }
    std::vector<double> v(n);
    std::uniform_real_distribution<double> d(0.0, 1.0);
    for (auto& x : v)
        x = d(rng);
    const auto* bytes = reinterpret_cast<const uint8_t*>(v.data());
    return std::vector<uint8_t>(bytes, bytes + n * sizeof(double));
}

std::unique_ptr<Block> rotateBlock(int32_t method, const std::string& type, int32_t side, bool defaults) {
    double values[22] = {1,
                         1,
                         kThirtyDegrees,
                         3.141592653589793,
                         2,
                         2,
                         0,
                         double(method),
                         1,
                         16,
                         15,
                         0,
                         32,
                         16,
                         3,
                         32,
                         16,
                         2,
                         16,
                         8,
                         3,
                         1};
    if (defaults) {
        // Products and sums s40.22, round to nearest, saturate.
        const double w[][2] = {{12, 40}, {13, 22}, {15, 40}, {16, 22}, {20, 4}, {21, 2}};
        for (const auto& kv : w)
            values[int(kv[0])] = kv[1];
    }
    std::vector<Array> p;
    for (double v : values)
        p.push_back(Array::scalar(v));
    auto b = std::make_unique<Block>(Plugin::load("pellor"), "rotate");
    b->setParameters(std::move(p));
    b->initialize();
    InputSpec s;
    s.dims = {side, side};
    s.dataType = *dravo::types::parseTypeName(type);
    b->propagate({s});
    b->start();
    return b;
}

void compare(benchmark::State& state, int32_t method, const std::string& type, int32_t side, bool defaults,
             const std::string& tag) {
    std::unique_ptr<Block> block = rotateBlock(method, type, side, defaults);
    std::vector<uint8_t> in = image(type, side);
    block->setInput(0, in.data(), in.size());
    auto h = TarnCG::makeHandle(*block, "bench", "rotate");
    std::string err;
    if (!TarnCG::generateForBlock(*block, *h, &err)) {
        state.SkipWithError(err.c_str());
        return;
    }
    CG::HarnessOptions o;
    o.workDir = (std::filesystem::temp_directory_path() / "dravo-rotate-codegen-bench" / tag).string();
    o.repeat = timedSteps();
    timeGeneratedAgainstSimulation(state, *block, h->unit(), in, o);
}

struct BenchCase {
    int32_t method;
    const char* type;
    int32_t side;
    bool defaults;
    const char* name;
};
const BenchCase kCases[] = {
    {2, "double", 1024, false, "RotateDoubleBilinear1024"},
    {3, "double", 1024, false, "RotateDoubleBicubic1024"},
    {2, "double", 4096, false, "RotateDoubleBilinear4096"},
    {3, "double", 4096, false, "RotateDoubleBicubic4096"},
    {2, "uint8", 1024, false, "RotateUint8Bilinear1024"},
    {2, "uint8", 1024, true, "RotateUint8BilinearDefaults1024"},
    {2, "uint8", 4096, true, "RotateUint8BilinearDefaults4096"},
};

const bool kRegistered = [] {
    for (const BenchCase& c : kCases)
        benchmark::RegisterBenchmark(
            (std::string("BM_") + c.name).c_str(),
            [c](benchmark::State& s) { compare(s, c.method, c.type, c.side, c.defaults, c.name); })
            ->UseManualTime()
            ->Iterations(timedSteps())
            ->Unit(benchmark::kMillisecond);
    return true;
}();

}  // namespace

BENCHMARK_MAIN();
