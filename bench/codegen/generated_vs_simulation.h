// Times a block's generated step against its own step on the same input, best step against best step:
// counters sim_ms, gen_ms and gen_over_sim. The generated program runs once before and once after the
// simulation, so both sides get the same chances under a changing load.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <vector>

#include "cg/harness.h"
#include "dravo/host/engine.h"

inline void timeGeneratedAgainstSimulation(benchmark::State& state, dravo::host::Block& block,
                                           const CG::Unit& unit, const std::vector<uint8_t>& in,
                                           const CG::HarnessOptions& options,
                                           CG::HarnessResult* firstRun = nullptr) {
    CG::HarnessResult r = CG::buildAndRun(unit, {{in, {}}}, options);
    if (!r.ok) {
        state.SkipWithError(r.error.c_str());
        return;
    }
    double simBest = 1e30, genBest = r.bestSecondsPerStep;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        block.step();
        const double sim = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        simBest = std::min(simBest, sim);
        state.SetIterationTime(r.bestSecondsPerStep);
    }
    CG::HarnessResult again = CG::buildAndRun(unit, {{in, {}}}, options);
    if (again.ok) genBest = std::min(genBest, again.bestSecondsPerStep);
    state.counters["sim_ms"] = simBest * 1e3;
    state.counters["gen_ms"] = genBest * 1e3;
    state.counters["gen_over_sim"] = genBest / simBest;
    if (firstRun) *firstRun = std::move(r);
}
