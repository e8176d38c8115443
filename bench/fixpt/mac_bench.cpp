// acc += a[i] * b[i] over n elements: in double, through Fltpt<double>, and through Fixpt objects over
// 16-bit and 32-bit data (products in the handle's product type, sums in the accumulator type). The
// fixed-point goal is at most ten times the double loop's time; compare the per-element times.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "vekfixpt.h"

namespace {

using namespace VekDSPFixpt;

constexpr int32_t kLength = 4096;

template <class N>
void macLoop(N& acc, N& a, N& b, int32_t n) {
    acc.reset();
    for (int32_t i = 0; i < n; ++i)
        acc += a[i] * b[i];
}

void BM_MacDouble(benchmark::State& state) {
    std::vector<double> a(kLength), b(kLength);
    std::mt19937 rng(1);
    for (int32_t i = 0; i < kLength; ++i)
        a[i] = (rng() % 65536) / 32768.0 - 1, b[i] = (rng() % 65536) / 32768.0 - 1;
    for (auto _ : state) {
        double acc = 0;
        for (int32_t i = 0; i < kLength; ++i)
            acc += a[i] * b[i];
        benchmark::DoNotOptimize(acc);
    }
    state.SetItemsProcessed(state.iterations() * kLength);
}

void BM_MacFltptDouble(benchmark::State& state) {
    std::vector<double> a(kLength), b(kLength);
    std::mt19937 rng(1);
    for (int32_t i = 0; i < kLength; ++i)
        a[i] = (rng() % 65536) / 32768.0 - 1, b[i] = (rng() % 65536) / 32768.0 - 1;
    double accValue = 0;
    Fltpt<double> av(a.data(), kLength), bv(b.data(), kLength), acc(&accValue, 1);
    for (auto _ : state) {
        macLoop(acc, av, bv, kLength);
        benchmark::DoNotOptimize(accValue);
    }
    state.SetItemsProcessed(state.iterations() * kLength);
}

// Data of word length wl with wl - 1 fraction bits; products of prodWl bits with prodFl fraction bits,
// accumulated with guard bits in accWl bits on the product's grid.
template <class Stored>
void macFixpt(benchmark::State& state, int32_t wl, int32_t prodWl, int32_t prodFl, int32_t accWl,
              int32_t rounding) {
    const NumType value = NumType::fixed(true, wl, wl - 1);
    const NumType product = NumType::fixed(true, prodWl, prodFl);
    const NumType accumulator = NumType::fixed(true, accWl, prodFl);
    DSPDataAttributesHandle hv(value, product, accumulator, rounding, kOverflowSaturate, "Input");
    DSPDataAttributesHandle ha(accumulator, accumulator, accumulator, rounding, kOverflowSaturate,
                               "Accumulator");
    std::vector<Stored> a(kLength), b(kLength);
    std::mt19937_64 rng(1);
    for (int32_t i = 0; i < kLength; ++i)
        a[i] = Stored(rng()), b[i] = Stored(rng());
    std::unique_ptr<Fixpt> av(FixptFactory::createFixpt(hv, a.data(), kLength));
    std::unique_ptr<Fixpt> bv(FixptFactory::createFixpt(hv, b.data(), kLength));
    std::unique_ptr<Fixpt> acc(FixptFactory::createFixpt(ha, nullptr, 1));
    for (auto _ : state) {
        macLoop(*acc, *av, *bv, kLength);
        benchmark::DoNotOptimize(acc->getStoredBits());
    }
    state.SetItemsProcessed(state.iterations() * kLength);
}

// 16-bit: exact products (s32:30), sums in s40:30.
void BM_MacFixpt16(benchmark::State& state) {
    macFixpt<int16_t>(state, 16, 32, 30, 40, kRoundFloor);
}
// 32-bit: products floored onto s48:40, sums in s64:40.
void BM_MacFixpt32(benchmark::State& state) {
    macFixpt<int32_t>(state, 32, 48, 40, 64, kRoundFloor);
}
// The product grid is coarser than the exact product here, so every product is rounded.
void BM_MacFixpt16Nearest(benchmark::State& state) {
    const NumType value = NumType::fixed(true, 16, 15);
    const NumType product = NumType::fixed(true, 24, 20);
    const NumType accumulator = NumType::fixed(true, 32, 20);
    DSPDataAttributesHandle hv(value, product, accumulator, kRoundNearest, kOverflowSaturate, "Input");
    DSPDataAttributesHandle ha(accumulator, accumulator, accumulator, kRoundNearest, kOverflowSaturate,
                               "Acc");
    std::vector<int16_t> a(kLength), b(kLength);
    std::mt19937_64 rng(1);
    for (int32_t i = 0; i < kLength; ++i)
        a[i] = int16_t(rng()), b[i] = int16_t(rng());
    std::unique_ptr<Fixpt> av(FixptFactory::createFixpt(hv, a.data(), kLength));
    std::unique_ptr<Fixpt> bv(FixptFactory::createFixpt(hv, b.data(), kLength));
    std::unique_ptr<Fixpt> acc(FixptFactory::createFixpt(ha, nullptr, 1));
    for (auto _ : state) {
        macLoop(*acc, *av, *bv, kLength);
        benchmark::DoNotOptimize(acc->getStoredBits());
    }
    state.SetItemsProcessed(state.iterations() * kLength);
}

BENCHMARK(BM_MacDouble);
BENCHMARK(BM_MacFltptDouble);
BENCHMARK(BM_MacFixpt16);
BENCHMARK(BM_MacFixpt32);
BENCHMARK(BM_MacFixpt16Nearest);

}  // namespace

BENCHMARK_MAIN();
