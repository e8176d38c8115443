// The corner metric's generated step against the simulation step of the same block instance on the same
// 1024 x 1024 double image: Harris and local intensity comparison (and, for reference, minimum eigenvalue
// and an 8-bit comparison). Best step against best step: the simulation's over the benchmark iterations,
// the generated program's over its timed steps of two runs (each after an untimed warm-up step). The
// generated code is built like the simulation (-O2 -ffp-contract=off) plus -march=native, since the
// simulation kernels pick their instruction set at run time. The iteration time is the generated step;
// counters give both and the ratio gen/sim (below 1: the generated step is faster).
//
// The int16 cases run the dialog's fixed-point defaults (product and memory s96 FL 28, accumulator s64
// FL 28, output s64 FL -1): the simulation takes the number objects (its stored-integer engine holds words
// of at most 62 bits), the generated step holds (A+B)^2 and the like in 128-bit words. They run fewer
// iterations, the simulation step taking seconds.
//
// Run with DRAVO_PLUGIN_PATH pointing at the plug-in folder.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>

#include "../cornermetric/lic_scene.h"
#include "generated_vs_simulation.h"
#include "cg/host_bridge.h"
#include "cg/sil.h"
#include "dravo/host/engine.h"
#include "dravo/host/types.h"

using dravo::host::Array;
using dravo::host::Block;
using dravo::host::InputSpec;
using dravo::host::Plugin;

namespace {

constexpr int32_t kSide = 1024;

enum class Pixels { Double, Uint8, Int16 };

// The comparison benchmark's scene (blocks, ramp, noise), as double on [0, 1], as uint8, or as int16
// over the whole range.
std::vector<uint8_t> image(Pixels px) {
    const std::vector<uint8_t> s = licbench::scene(kSide, kSide);
    if (px == Pixels::Uint8) return s;
    const size_t bytes = px == Pixels::Double ? sizeof(double) : sizeof(int16_t);
    std::vector<uint8_t> b(s.size() * bytes);
    for (size_t i = 0; i < s.size(); ++i) {
        if (px == Pixels::Double) {
            const double x = s[i] / 255.0;
            std::memcpy(b.data() + i * bytes, &x, bytes);
        } else {
            const int16_t x = int16_t((int32_t(s[i]) - 128) * 257);
            std::memcpy(b.data() + i * bytes, &x, bytes);
        }
    }
    return b;
}

std::unique_ptr<Block> cornerBlock(int method, Pixels px) {
    const bool dbl = px == Pixels::Double;
    auto b = std::make_unique<Block>(Plugin::load("quobit"), "corner");
    std::vector<Array> p;
    const double d[27] = {double(method),
                          0.04,
                          0,
                          dbl ? 0.1 : 25,
                          7,
                          3,
                          1,
                          200,
                          0,
                          0,
                          1,
                          16,
                          15,
                          0,
                          96,
                          28,
                          0,
                          64,
                          28,
                          0,
                          96,
                          28,
                          0,
                          64,
                          -1,
                          4,
                          2};
    for (int i = 0; i < 27; ++i)
        p.push_back(
            i == 2 ? Array::realVector({0.0625, 0.25, 0.375, 0.25, 0.0625, 0.0625, 0.25, 0.375, 0.25, 0.0625})
                   : Array::scalar(d[i]));
    b->setParameters(std::move(p));
    b->initialize();
    InputSpec s;
    s.dims = {kSide, kSide};
    s.dataType = dbl ? SS_DOUBLE : px == Pixels::Uint8 ? SS_UINT8 : SS_INT16;
    b->propagate({s});
    b->start();
    return b;
}

void compare(benchmark::State& state, int method, Pixels px, const char* tag) {
    std::unique_ptr<Block> block = cornerBlock(method, px);
    std::vector<uint8_t> in = image(px);
    block->setInput(0, in.data(), in.size());
    auto h = TarnCG::makeHandle(*block, "bench", "corner-metric");
    std::string err;
    if (!TarnCG::generateForBlock(*block, *h, &err)) {
        state.SkipWithError(err.c_str());
        return;
    }
    CG::HarnessOptions o;
    o.workDir = (std::filesystem::temp_directory_path() / "dravo-codegen-bench" / tag).string();
    o.repeat = 8;
    o.extraFlags = {"-O3", "-fno-math-errno", "-march=native"};
    timeGeneratedAgainstSimulation(state, *block, h->unit(), in, o);
}

struct BenchCase {
    int method;
    Pixels px;
    const char* name;
    int iterations;
};
const BenchCase kCases[] = {
    {1, Pixels::Double, "HarrisDouble", 16},        {3, Pixels::Double, "ComparisonDouble", 16},
    {2, Pixels::Double, "MinEigenvalueDouble", 16}, {3, Pixels::Uint8, "ComparisonUint8", 16},
    {1, Pixels::Int16, "HarrisInt16Defaults", 2},   {2, Pixels::Int16, "MinEigenvalueInt16Defaults", 2},
};

const bool kRegistered = [] {
    for (const BenchCase& c : kCases)
        benchmark::RegisterBenchmark((std::string("BM_Corner") + c.name).c_str(),
                                     [c](benchmark::State& s) { compare(s, c.method, c.px, c.name); })
            ->UseManualTime()
            ->Iterations(c.iterations)
            ->Unit(benchmark::kMillisecond);
    return true;
}();

}  // namespace

BENCHMARK_MAIN();
