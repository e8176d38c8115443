// The contrast adjustment block's generated step against its simulation step on the same image in
// histogram mode: uint8 4096 x 4096 and 1024 x 1024 (the look-up table path) and, for comparison, double
// 4096 x 4096; and uint8 4096 x 4096 with the image's extremes as input range (mode 1).
// Both sides are the best single step (the simulation's over the benchmark iterations, the generated
// program's over its timed steps of two runs, each after an untimed warm-up step); the generated code is
// built with the harness's flags (-O2 -ffp-contract=off) plus -march=native, as the simulation kernels
// pick their instruction set at run time. The iteration time is the generated step; counters give both
// and the ratio gen/sim.
//
// Run with DRAVO_PLUGIN_PATH pointing at the plug-in folder.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>

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

// A washed-out picture: values in the middle of the range, as the block is meant for.
std::vector<uint8_t> image(const std::string& type, int32_t side) {
    const size_t n = size_t(side) * side;
    std::mt19937 rng(7);
    std::normal_distribution<double> d(0.47, 0.06);
    std::vector<uint8_t> b;
    if (type == "double") {
        std::vector<double> v(n);
        for (auto& x : v)
            x = d(rng);
        const auto* bytes = reinterpret_cast<const uint8_t*>(v.data());
        b.assign(bytes, bytes + n * sizeof(double));
    } else {
        b.resize(n);
        for (auto& x : b)
            x = uint8_t(std::clamp(d(rng) * 255.0, 0.0, 255.0));
    }
    return b;
}

// The dialog's defaults (histogram mode, 1 % saturated at each end, 256 bins, full output range), with
// the given input-range mode.
std::unique_ptr<Block> contrastBlock(const std::string& type, int32_t side, int32_t mode) {
    auto b = std::make_unique<Block>(Plugin::load("merrow"), "contrast");
    std::vector<Array> p = {
        Array::scalar(mode),       Array::realVector({0, 1}), Array::realVector({0.01, 0.01}),
        Array::scalar(0),          Array::scalar(256),        Array::scalar(1),
        Array::realVector({0, 1}), Array::scalar(1),          Array::scalar(64),
        Array::scalar(32),         Array::scalar(1),          Array::scalar(64),
        Array::scalar(32),         Array::scalar(4),          Array::scalar(2)};
    b->setParameters(std::move(p));
    InputSpec s;
    s.dims = {side, side};
    s.dataType = *dravo::types::parseTypeName(type);
    b->propagate({s});
    b->start();
    return b;
}

void compare(benchmark::State& state, const std::string& type, int32_t side, int32_t mode,
             const std::string& tag) {
    std::unique_ptr<Block> block = contrastBlock(type, side, mode);
    std::vector<uint8_t> in = image(type, side);
    block->setInput(0, in.data(), in.size());
    auto h = TarnCG::makeHandle(*block, "bench", "bench");
    std::string err;
    if (!TarnCG::generateForBlock(*block, *h, &err)) {
        state.SkipWithError(err.c_str());
        return;
    }
    CG::HarnessOptions o;
    o.workDir = (std::filesystem::temp_directory_path() / "dravo-codegen-bench" / tag).string();
    o.repeat = 11;
    o.extraFlags = {"-march=native"};
    CG::HarnessResult r;
    timeGeneratedAgainstSimulation(state, *block, h->unit(), in, o, &r);
    // Same numbers, or the timing compares different work.
    if (r.ok && std::memcmp(block->output(0), r.outputs[0].bytes.data(), r.outputs[0].bytes.size()) != 0)
        state.SkipWithError("generated and simulated outputs differ");
}

const bool kRegistered = [] {
    struct Case {
        const char* type;
        int32_t side, mode;
    };
    const Case cases[] = {{"uint8", 4096, 3}, {"uint8", 1024, 3}, {"double", 4096, 3}, {"uint8", 4096, 1}};
    for (const Case& c : cases) {
        const std::string tag =
            std::string(c.mode == 3 ? "Histogram_" : "MinMax_") + c.type + "_" + std::to_string(c.side);
        benchmark::RegisterBenchmark(
            ("BM_Contrast" + tag).c_str(),
            [c, tag](benchmark::State& s) { compare(s, c.type, c.side, c.mode, tag); })
            ->UseManualTime()
            ->Iterations(c.side > 2048 ? 10 : 40)
            ->Unit(benchmark::kMillisecond);
    }
    return true;
}();

}  // namespace

BENCHMARK_MAIN();
