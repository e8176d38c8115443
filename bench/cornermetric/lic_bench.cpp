// Cost of the local intensity comparison metric beside OpenCV's FAST detector (uint8, no non-maximum
// suppression, one thread). The metric scores every pixel; FAST only classifies candidates, so this
// compares cost, not values. lic_ratios.py runs this program and scikit-image's corner_fast in one go.
#include <benchmark/benchmark.h>

#include <opencv2/core.hpp>
#include <opencv2/features2d.hpp>
#include <vector>

#include "lic_scene.h"
#include "quobit/comparisonkernel.h"

namespace {

constexpr double kThreshold8 = 20.0;  // in 8-bit units; the double image uses 20 / 255
constexpr int32_t kArcLimit = 9;      // largest angle choice 7: arcs of 9, as FAST-9

void circleOffsets(int32_t rows, int32_t* circle) {
    static const int32_t dr[16] = {-1, 0, 1, 2, 3, 3, 3, 2, 1, 0, -1, -2, -3, -3, -3, -2};
    static const int32_t dc[16] = {-3, -3, -3, -2, -1, 0, 1, 2, 3, 3, 3, 2, 1, 0, -1, -2};
    for (int32_t i = 0; i < 32; ++i)
        circle[i] = dr[i % 16] + dc[i % 16] * rows;
}

void BM_LicDouble(benchmark::State& state) {
    const int32_t n = int32_t(state.range(0));
    const std::vector<uint8_t> s = licbench::scene(n, n);
    std::vector<double> in(s.begin(), s.end()), out(in.size());
    for (double& v : in)
        v /= 255.0;
    int32_t circle[32];
    circleOffsets(n, circle);
    const double big = 3.4028234663852886e38, t = kThreshold8 / 255.0;
    quobit::FloatComparisonArith<double> a(in.data(), out.data(), {t, -big, big, -big + t, big - t});
    // The block builds the search table of its arc limit at start; so does the benchmark, outside the loop.
    quobit::ArcTable arcs;
    arcs.build(kArcLimit, quobit::kSearchSteps, quobit::kSearchOffsets);
    const quobit::ComparisonShape shape{n,         n,    circle, quobit::kSearchSteps, quobit::kSearchOffsets,
                                        kArcLimit, &arcs};
    for (auto _ : state) {
        quobit::comparisonMetricRun(a, shape);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * n * n);
}

// uint8 with the dialog's fixed-point defaults: accumulator s64:28, metric output s64:-1, nearest,
// saturate (the stored-integer path with exact sums). Arguments: size, 32-byte screen (1) or 16-byte (0),
// metric output bits: 64 (the default) or 16 (s16:0, which holds every metric of an 8-bit image: an
// eighth of the output to clear).
void BM_LicUint8(benchmark::State& state) {
    using VekDSPFixpt::NumType;
    using VekDSPFixpt::detail::QuantDest;
    const int32_t n = int32_t(state.range(0));
    const std::vector<uint8_t> in = licbench::scene(n, n);
    const int32_t outBits = int32_t(state.range(2));
    std::vector<unsigned char> out(in.size() * size_t(outBits / 8));
    int32_t circle[32];
    circleOffsets(n, circle);
    quobit::StoredComparisonPlan plan;
    plan.image = QuantDest::make(NumType::fixed(false, 8, 0), VekDSPFixpt::kRoundNearest,
                                 VekDSPFixpt::kOverflowSaturate);
    plan.accum = QuantDest::make(NumType::fixed(true, 64, 28), VekDSPFixpt::kRoundNearest,
                                 VekDSPFixpt::kOverflowSaturate);
    plan.output = QuantDest::make(NumType::fixed(true, outBits, outBits == 64 ? -1 : 0),
                                  VekDSPFixpt::kRoundNearest, VekDSPFixpt::kOverflowSaturate);
    plan.t = int64_t(kThreshold8);
    plan.dtMin = 0;
    plan.dtMax = 255;
    plan.dtLow = plan.t;
    plan.dtHigh = 255 - plan.t;
    plan.outputBytes = outBits / 8;
    plan.exactSums = quobit::sumsAreExact(plan.image, plan.accum);
    plan.byteScreen = quobit::byteScreenApplies(plan);
    plan.wideScreen = quobit::wideByteScreenRuns() && state.range(1) != 0;
    // The block builds the search table of its arc limit at start; so does the benchmark, outside the loop.
    quobit::ArcTable arcs;
    arcs.build(kArcLimit, quobit::kSearchSteps, quobit::kSearchOffsets);
    const quobit::ComparisonShape shape{n,         n,    circle, quobit::kSearchSteps, quobit::kSearchOffsets,
                                        kArcLimit, &arcs};
    for (auto _ : state) {
        quobit::comparisonMetricStored(in.data(), out.data(), plan, shape);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * n * n);
}

void BM_OpenCVFast(benchmark::State& state) {
    cv::setNumThreads(1);
    const int32_t n = int32_t(state.range(0));
    const std::vector<uint8_t> colMajor = licbench::scene(n, n);
    // OpenCV images are row-major: the same picture.
    cv::Mat img(n, n, CV_8UC1);
    for (int32_t r = 0; r < n; ++r)
        for (int32_t c = 0; c < n; ++c)
            img.at<uint8_t>(r, c) = colMajor[size_t(r) + size_t(c) * n];
    std::vector<cv::KeyPoint> kp;
    kp.reserve(size_t(n) * n / 4);
    for (auto _ : state) {
        kp.clear();
        cv::FAST(img, kp, int(kThreshold8), false, cv::FastFeatureDetector::TYPE_9_16);
        benchmark::DoNotOptimize(kp.data());
    }
    state.counters["keypoints"] = double(kp.size());
    state.SetItemsProcessed(int64_t(state.iterations()) * n * n);
}

BENCHMARK(BM_LicDouble)->Arg(1024)->Arg(4096)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LicUint8)
    ->Args({1024, 1, 64})
    ->Args({4096, 1, 64})
    ->Args({1024, 0, 64})
    ->Args({4096, 0, 64})
    ->Args({1024, 1, 16})
    ->Args({4096, 1, 16})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenCVFast)->Arg(1024)->Arg(4096)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
