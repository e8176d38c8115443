// The rotate block's fixed-point engine through the host, beside its double engine and OpenCV's
// warpAffine on uint8 in the same run: 1024 x 1024 at 30 degrees, bilinear and bicubic, expanded output.
// Images: uint8 and signed 16-bit fixed point with 8 fraction bits (products and sums s32.16). Items are
// output pixels; fix_ratios.py prints the time ratios.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "dravo/host/engine.h"
#include "dravo/host/types.h"

namespace {

using dravo::host::Array;
using dravo::host::Block;
using dravo::host::InputSpec;
using dravo::host::Plugin;

constexpr double kAngle = 0.5235987755982988;  // 30 degrees
constexpr int kSize = 1024;

double pixel(int i, int j) {
    return 0.5 + 0.45 * std::sin(i * 0.01) * std::cos(j * 0.013);
}

std::unique_ptr<Block> rotateBlock(DataTypeId type, int method) {
    static std::shared_ptr<Plugin> plugin = Plugin::load("pellor");
    // Expanded, dialog angle, sine table, products and sums s32.16, output as the input, floor, saturate.
    const std::map<int, double> set = {{0, 1},   {1, 1},   {2, kAngle}, {3, 3.141592653589793},
                                       {4, 2},   {5, 2},   {6, 0},      {7, double(method)},
                                       {8, 1},   {9, 16},  {10, 15},    {11, 0},
                                       {12, 32}, {13, 16}, {14, 3},     {15, 32},
                                       {16, 16}, {17, 2},  {18, 16},    {19, 8},
                                       {20, 3},  {21, 2}};
    std::vector<Array> params;
    for (const auto& [i, v] : set)
        params.push_back(Array::scalar(v));
    auto b = std::make_unique<Block>(plugin, "rotate");
    b->setParameters(params);
    b->initialize();
    InputSpec in;
    in.dims = {kSize, kSize};
    in.dataType = type;
    b->propagate({in});
    b->start();
    const dravo::types::TypeInfo& t = dravo::types::info(type);
    std::vector<uint8_t> bytes(size_t(kSize) * kSize * t.containerBytes);
    for (int j = 0; j < kSize; ++j)
        for (int i = 0; i < kSize; ++i) {
            const size_t k = size_t(i) + size_t(j) * kSize;
            const double v = pixel(i, j);
            if (type == SS_DOUBLE)
                std::memcpy(bytes.data() + 8 * k, &v, 8);
            else if (type == SS_UINT8)
                bytes[k] = uint8_t(std::lround(255 * v));
            else {
                const int16_t s = int16_t(std::lround(v * 256.0 * 100.0));  // 0..100 in s16.8
                std::memcpy(bytes.data() + 2 * k, &s, 2);
            }
        }
    b->setInput(0, bytes.data(), bytes.size());
    return b;
}

DataTypeId typeOf(int code) {
    if (code == 0) return SS_DOUBLE;
    if (code == 1) return SS_UINT8;
    return dravo::types::registerFixedPoint(true, 16, 8);
}

// range(0): 0 double (floating engine), 1 uint8, 2 fixed s16.8 (fixed-point engine); range(1): method.
void BM_RotateBlock(benchmark::State& state) {
    auto b = rotateBlock(typeOf(int(state.range(0))), int(state.range(1)));
    const auto dims = b->outputPort(0).dims;
    for (auto _ : state) {
        b->step();
        benchmark::DoNotOptimize(b->output(0));
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * dims[0] * dims[1]);
}
BENCHMARK(BM_RotateBlock)->ArgsProduct({{0, 1, 2}, {2, 3}})->Unit(benchmark::kMillisecond);

void BM_OpenCVWarpAffineUint8(benchmark::State& state) {
    cv::setNumThreads(1);
    cv::Mat in(kSize, kSize, CV_8U);
    for (int i = 0; i < kSize; ++i)
        for (int j = 0; j < kSize; ++j)
            in.at<uint8_t>(i, j) = uint8_t(std::lround(255 * pixel(i, j)));
    const double c = std::cos(kAngle), s = std::sin(kAngle);
    const int outSize = int(std::ceil(kSize * (c + s)));
    cv::Mat m = cv::getRotationMatrix2D(cv::Point2f((kSize - 1) * 0.5f, (kSize - 1) * 0.5f), 30.0, 1.0);
    m.at<double>(0, 2) += (outSize - kSize) * 0.5;
    m.at<double>(1, 2) += (outSize - kSize) * 0.5;
    cv::Mat out;
    const int flags = state.range(0) == 2 ? cv::INTER_LINEAR : cv::INTER_CUBIC;
    for (auto _ : state) {
        cv::warpAffine(in, out, m, cv::Size(outSize, outSize), flags, cv::BORDER_CONSTANT, cv::Scalar(0));
        benchmark::DoNotOptimize(out.data);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * outSize * outSize);
}
BENCHMARK(BM_OpenCVWarpAffineUint8)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
