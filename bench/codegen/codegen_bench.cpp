// The generated step function against the simulation step of the same block instance on the same
// 4096 x 4096 image, for a few conversions and pad methods. The iteration time is the generated step;
// counters give the simulation step and the ratio gen/sim. Both sides are the best single step: the
// simulation's over the benchmark iterations, the generated program's over its timed steps of two runs
// (each after one untimed warm-up step). The generated code is built like the simulation: -O2
// -ffp-contract=off (the harness's flags), plus -march=native since the simulation kernels pick their
// instruction set (AVX2 / AVX-512) at run time.
//
// Run with DRAVO_PLUGIN_PATH pointing at the plug-in folder.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>

#include "cg/host_bridge.h"
#include "cg/sil.h"
#include "dravo/host/engine.h"
#include "dravo/host/types.h"

using dravo::host::Array;
using dravo::host::Block;
using dravo::host::InputSpec;
using dravo::host::Plugin;

namespace {

constexpr int32_t kSide = 4096;

std::vector<uint8_t> image(const std::string& type) {
    const size_t n = size_t(kSide) * kSide;
    std::mt19937 rng(1);
    std::vector<uint8_t> b;
    if (type == "double") {
        std::vector<double> v(n);
        std::uniform_real_distribution<double> d(-0.1, 1.1);
        for (auto& x : v)
            x = d(rng);
        const auto* bytes = reinterpret_cast<const uint8_t*>(v.data());
        b.assign(bytes, bytes + n * sizeof(double));
    } else if (type == "uint8") {
        b.resize(n);
        for (auto& x : b)
            x = static_cast<uint8_t>(rng());
    } else {  // uint16
        b.resize(n * 2);
        for (size_t i = 0; i < n; ++i) {
            uint16_t x = static_cast<uint16_t>(rng());
            std::memcpy(b.data() + 2 * i, &x, 2);
        }
    }
    return b;
}

std::unique_ptr<Block> convertBlock(double outChoice, const std::string& inType) {
    auto b = std::make_unique<Block>(Plugin::load("ubrin"), "convert");
    b->setParameters({Array::scalar(outChoice), Array::scalar(1), Array::scalar(16), Array::scalar(0)});
    InputSpec s;
    s.dims = {kSide, kSide};
    s.dataType = *dravo::types::parseTypeName(inType);
    b->propagate({s});
    b->start();
    return b;
}

std::unique_ptr<Block> padBlock(double method, const std::string& inType) {
    auto b = std::make_unique<Block>(Plugin::load("dashel"), "pad");
    std::vector<Array> p;
    for (double v : {method, 1.0, 0.0, 1.0, 1.0, 3.0})
        p.push_back(Array::scalar(v));
    p.push_back(Array::realVector({2, 3}));  // rows: 2 before, 3 after
    for (double v : {8.0, 1.0, 3.0, 4.0, 8.0, 1.0, 1.0, 1.0, 1.0})
        p.push_back(Array::scalar(v));
    p.push_back(Array::realVector({8}));
    p.push_back(Array::realVector({1}));
    p.push_back(Array::realVector({0}));
    p.push_back(Array::realVector({1}));
    p.push_back(Array::scalar(2));
    b->setParameters(std::move(p));
    InputSpec s;
    s.dims = {kSide, kSide};
    s.dataType = *dravo::types::parseTypeName(inType);
    b->propagate({s});
    b->start();
    return b;
}

void compare(benchmark::State& state, std::unique_ptr<Block> block, const std::string& inType,
             const char* tag) {
    std::vector<uint8_t> in = image(inType);
    block->setInput(0, in.data(), in.size());
    auto h = TarnCG::makeHandle(*block, "bench", "bench");
    std::string err;
    if (!TarnCG::generateForBlock(*block, *h, &err)) {
        state.SkipWithError(err.c_str());
        return;
    }
    CG::HarnessOptions o;
    // One folder per case, so the generated files of every case stay for inspection.
    o.workDir = (std::filesystem::temp_directory_path() / "dravo-codegen-bench" / tag).string();
    o.repeat = 6;
    o.extraFlags = {"-march=native"};
    CG::HarnessResult r = CG::buildAndRun(h->unit(), {{in, {}}}, o);
    if (!r.ok) {
        state.SkipWithError(r.error.c_str());
        return;
    }
    double simBest = 1e30, genBest = r.bestSecondsPerStep;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        block->step();
        double sim = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        simBest = std::min(simBest, sim);
        state.SetIterationTime(r.bestSecondsPerStep);
    }
    // A second run of the generated program, after the simulation, to give both sides the same chances.
    CG::HarnessResult r2 = CG::buildAndRun(h->unit(), {{in, {}}}, o);
    if (r2.ok) genBest = std::min(genBest, r2.bestSecondsPerStep);
    state.counters["sim_ms"] = simBest * 1e3;
    state.counters["gen_ms"] = genBest * 1e3;
    state.counters["gen_over_sim"] = genBest / simBest;
}

}  // namespace

namespace {

// The cases as data: block kind, its choice (output type or pad method), the input type and the name.
struct BenchCase {
    bool pad;
    int choice;
    const char* inputType;
    const char* name;
};
const BenchCase kCases[] = {
    {false, 4, "double", "ConvertDoubleToUint8"}, {false, 1, "uint8", "ConvertUint8ToDouble"},
    {false, 4, "uint16", "ConvertUint16ToUint8"}, {false, 5, "uint16", "ConvertUint16ToInt16"},
    {true, 1, "double", "PadConstantDouble"},     {true, 2, "uint8", "PadReplicateUint8"},
    {true, 3, "double", "PadSymmetricDouble"},    {true, 4, "uint8", "PadCircularUint8"},
};

const bool kRegistered = [] {
    for (const BenchCase& c : kCases)
        benchmark::RegisterBenchmark(
            (std::string("BM_") + c.name).c_str(),
            [c](benchmark::State& s) {
                compare(s, c.pad ? padBlock(c.choice, c.inputType) : convertBlock(c.choice, c.inputType),
                        c.inputType, c.name);
            })
            ->UseManualTime()
            ->Iterations(5)
            ->Unit(benchmark::kMillisecond);
    return true;
}();

}  // namespace

BENCHMARK_MAIN();
