// Throughput of the eigenvalue corner metrics: the block's floating kernel (double and single, L = 5)
// beside OpenCV's cornerHarris and cornerMinEigenVal (blockSize 5, ksize 3, one thread; OpenCV takes
// 8-bit or single images only, so it runs on single), and the whole block through the host on an int16
// image with 32-bit product, accumulator and memory (rounding to nearest, saturation: the stored-integer
// engine) beside the same block on a double image. Items are pixels.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "dravo/host/engine.h"
#include "quobit/eigenkernel.h"

namespace {

const double kTaps[5] = {0.0625, 0.25, 0.375, 0.25, 0.0625};

double pixel(int r, int c) {
    return 0.5 + 0.4 * std::sin(r * 0.05) * std::cos(c * 0.031) + 0.001 * ((r * 7 + c) % 13);
}

template <class U>
struct KernelRig {
    int32_t n, L = 5;
    std::vector<U> image, out, pad, W;
    std::vector<int32_t> next, colPad, rowPad, colRange = std::vector<int32_t>(4),
                                               rowRange = std::vector<int32_t>(6);
    quobit::EigenKernelData<U> d;

    KernelRig(int32_t size, bool harris) : n(size) {
        image.resize(size_t(n) * n);
        for (int c = 0; c < n; ++c)
            for (int r = 0; r < n; ++r)
                image[r + size_t(c) * n] = U(pixel(r, c));
        out.resize(image.size());
        pad.resize(size_t(3) * L * (n + L - 1));
        next.resize(L);
        colPad.resize(n + L - 1);
        rowPad.resize(n + L - 1);
        for (int i = 0; i < 2 * L; ++i)
            W.push_back(U(kTaps[i % L]));
        quobit::fillNextTable(L, next.data());
        quobit::fillPadTable(n, L, rowPad.data());
        quobit::fillPadTable(n, L, colPad.data());
        quobit::fillRangeTables(n, n, L, colRange.data(), rowRange.data());
        d.image = image.data();
        d.out = out.data();
        d.M = d.N = n;
        d.L = L;
        d.pad = pad.data();
        d.next = next.data();
        d.colPad = colPad.data();
        d.rowPad = rowPad.data();
        d.colRange = colRange.data();
        d.rowRange = rowRange.data();
        d.W = W.data();
        d.k = U(0.04);
        d.harris = harris;
    }
};

template <class U>
void BM_Kernel(benchmark::State& state) {
    KernelRig<U> rig(int32_t(state.range(0)), state.range(1) == 1);
    for (auto _ : state) {
        quobit::runEigenKernel(rig.d);
        benchmark::DoNotOptimize(rig.out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * state.range(0) * state.range(0));
}

void BM_OpenCV(benchmark::State& state) {
    cv::setNumThreads(1);
    const int n = int(state.range(0));
    cv::Mat src(n, n, CV_32F), dst;
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c)
            src.at<float>(r, c) = float(pixel(r, c));
    const bool harris = state.range(1) == 1;
    for (auto _ : state) {
        if (harris)
            cv::cornerHarris(src, dst, 5, 3, 0.04, cv::BORDER_REPLICATE);
        else
            cv::cornerMinEigenVal(src, dst, 5, 3, cv::BORDER_REPLICATE);
        benchmark::DoNotOptimize(dst.data);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * n * n);
}

// The whole block through the host: one step per iteration (the input copy included).
std::unique_ptr<dravo::host::Block> hostBlock(int32_t n, DataTypeId type, int method) {
    using dravo::host::Array;
    static std::shared_ptr<dravo::host::Plugin> plugin = dravo::host::Plugin::load("quobit");
    auto b = std::make_unique<dravo::host::Block>(plugin, "corner");
    const double p[27] = {double(method),
                          0.04,
                          0,
                          0.1,
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
                          32,
                          12,
                          0,
                          32,
                          12,
                          0,
                          32,
                          12,
                          0,
                          32,
                          0,
                          4,
                          2};
    std::vector<Array> params;
    for (int i = 0; i < 27; ++i)
        params.push_back(i == 2   ? Array::realVector({kTaps[0], kTaps[1], kTaps[2], kTaps[3], kTaps[4],
                                                       kTaps[0], kTaps[1], kTaps[2], kTaps[3], kTaps[4]})
                         : i == 9 ? Array::realVector({5, 5})
                                  : Array::scalar(p[i]));
    b->setParameters(params);
    b->initialize();
    dravo::host::InputSpec in;
    in.dims = {n, n};
    in.dataType = type;
    b->propagate({in});
    b->start();
    return b;
}

void BM_HostBlock(benchmark::State& state) {
    const int32_t n = int32_t(state.range(0));
    const bool fixed = state.range(2) == 1;
    auto b = hostBlock(n, fixed ? SS_INT16 : SS_DOUBLE, int(state.range(1)));
    std::vector<double> imgD(size_t(n) * n);
    std::vector<int16_t> imgI(imgD.size());
    for (int c = 0; c < n; ++c)
        for (int r = 0; r < n; ++r) {
            imgD[r + size_t(c) * n] = pixel(r, c);
            imgI[r + size_t(c) * n] = int16_t(pixel(r, c) * 255);
        }
    for (auto _ : state) {
        if (fixed)
            b->setInput(0, imgI.data(), imgI.size() * sizeof(int16_t));
        else
            b->setInput(0, imgD.data(), imgD.size() * sizeof(double));
        b->step();
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * n * n);
}

}  // namespace

// Args: size, method (1 Harris, 2 minimum eigenvalue).
BENCHMARK(BM_Kernel<double>)->ArgsProduct({{1024, 4096}, {1, 2}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Kernel<float>)->ArgsProduct({{1024, 4096}, {1, 2}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenCV)->ArgsProduct({{1024, 4096}, {1, 2}})->Unit(benchmark::kMillisecond);
// Args: size, method, path (0 double image, 1 int16 image through fixed-point objects).
BENCHMARK(BM_HostBlock)->ArgsProduct({{1024, 4096}, {1, 2}, {0, 1}})->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
