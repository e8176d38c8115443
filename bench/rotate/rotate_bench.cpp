// Throughput of the rotate kernel on double images beside OpenCV on the same machine and thread:
// three shears at 30 degrees (nearest, bilinear, bicubic) against warpAffine with the matching
// interpolation and a constant border into the same expanded size, and the quarter-turn copy against
// cv::rotate. Items are output pixels.
#include <benchmark/benchmark.h>

#include <cmath>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "pellor/geometry.h"
#include "pellor/quarterturn.h"
#include "pellor/threeshear.h"

namespace {

constexpr double kAngle = 0.5235987755982988;  // 30 degrees

cv::Mat testImage(int n) {
    cv::Mat m(n, n, CV_64F);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            m.at<double>(i, j) = std::sin(i * 0.01) * std::cos(j * 0.013) + 0.001 * ((i * 7 + j) % 13);
    return m;
}

// Column-major copy (the block's layout); a square image's transpose.
std::vector<double> columnMajor(const cv::Mat& m) {
    cv::Mat t = m.t();
    return std::vector<double>(t.begin<double>(), t.end<double>());
}

void BM_ThreeShears(benchmark::State& state) {
    const int n = int(state.range(0));
    const int method = int(state.range(1));
    const std::vector<double> in = columnMajor(testImage(n));
    pellor::ShearSetup<double> s;
    s.rows = s.cols = n;
    s.fullRows = pellor::fullRotatedRows(n, n, kAngle);
    s.fullCols = pellor::fullRotatedCols(n, n, kAngle);
    s.outRows = s.fullRows;
    s.outCols = s.fullCols;
    s.skew = pellor::skewAtForMethod<double>(method);
    s.method = method;
    // The block's work vector sizes for this case: line max(m, n), buffer (m + 1) x odd(n).
    const int m = std::max(s.fullRows, s.fullCols) + 1, rowsOdd = s.fullRows | 1;
    std::vector<double> line(size_t(m) + 1), sheared(size_t(m + 1) * rowsOdd),
        out(size_t(s.outRows) * s.outCols);
    s.line = line.data();
    s.lineLen = m;
    s.sheared = sheared.data();
    s.shearedLen = int32_t(sheared.size());
    const double fill = 0.0;
    for (auto _ : state) {
        pellor::rotateByShears(s, kAngle, in.data(), out.data(), &fill, true);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * s.outRows * s.outCols);
}

void BM_OpenCVWarpAffine(benchmark::State& state) {
    cv::setNumThreads(1);
    const int n = int(state.range(0));
    const int flags[] = {0, cv::INTER_NEAREST, cv::INTER_LINEAR, cv::INTER_CUBIC};
    const cv::Mat in = testImage(n);
    const int rows = pellor::fullRotatedRows(n, n, kAngle), cols = pellor::fullRotatedCols(n, n, kAngle);
    cv::Mat rot = cv::getRotationMatrix2D(cv::Point2f((n - 1) / 2.0f, (n - 1) / 2.0f), 30.0, 1.0);
    rot.at<double>(0, 2) += (cols - n) / 2.0;
    rot.at<double>(1, 2) += (rows - n) / 2.0;
    cv::Mat out(rows, cols, CV_64F);
    for (auto _ : state) {
        cv::warpAffine(in, out, rot, out.size(), flags[state.range(1)], cv::BORDER_CONSTANT, cv::Scalar(0));
        benchmark::DoNotOptimize(out.data);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * rows * cols);
}

void BM_QuarterTurn(benchmark::State& state) {
    const int n = int(state.range(0));
    const std::vector<double> in = columnMajor(testImage(n));
    std::vector<double> out(in.size());
    for (auto _ : state) {
        pellor::quarterTurnCopy(in.data(), n, n, 1, 1, out.data());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * n * n);
}

void BM_OpenCVRotate(benchmark::State& state) {
    cv::setNumThreads(1);
    const int n = int(state.range(0));
    const cv::Mat in = testImage(n);
    cv::Mat out(n, n, CV_64F);
    for (auto _ : state) {
        cv::rotate(in, out, cv::ROTATE_90_COUNTERCLOCKWISE);
        benchmark::DoNotOptimize(out.data);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * n * n);
}

// Arguments: image side, method (1 nearest, 2 bilinear, 3 bicubic).
void methodArgs(benchmark::internal::Benchmark* b) {
    for (int n : {1024, 4096})
        for (int method = 1; method <= 3; ++method)
            b->Args({n, method});
    b->Unit(benchmark::kMillisecond)->MinTime(1.0);
}

BENCHMARK(BM_ThreeShears)->Apply(methodArgs);
BENCHMARK(BM_OpenCVWarpAffine)->Apply(methodArgs);
BENCHMARK(BM_QuarterTurn)->Arg(1024)->Arg(4096)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_OpenCVRotate)->Arg(1024)->Arg(4096)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace

BENCHMARK_MAIN();
