// 4096 x 4096 contrast adjustment, uint8 and double, each input range mode: the block (through the host,
// one step on an input set once), the same operation composed from OpenCV (one thread), and memcpy of the
// image for the bandwidth ceiling. ratios.py adds numpy and prints the ratios.
//
// Bytes processed count input plus output bytes, so bytes_per_second compares directly with memcpy, whose
// count is its read plus its write.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <random>
#include <vector>

#include "dravo/host/engine.h"

namespace {

using dravo::host::Array;
using dravo::host::Block;
using dravo::host::InputSpec;
using dravo::host::Plugin;

constexpr int kSide = 4096;
constexpr size_t kCount = size_t(kSide) * kSide;
constexpr double kFraction = 0.01;
constexpr double kRangeLow = 0.35, kRangeHigh = 0.65;  // dialog range of the double cases (x 255 for uint8)

// A washed-out image: values in the middle of the range, with noise.
template <typename T>
const std::vector<T>& lowContrastImage() {
    static const std::vector<T> image = [] {
        std::mt19937 rng(3);
        std::normal_distribution<double> d(0.5, 0.08);
        std::vector<T> v(kCount);
        for (auto& x : v) {
            const double y = std::clamp(d(rng), 0.2, 0.8);
            if constexpr (std::is_same_v<T, uint8_t>)
                x = uint8_t(std::lround(y * 255));
            else
                x = y;
        }
        return v;
    }();
    return image;
}

template <typename T>
void setBytes(benchmark::State& st) {
    st.SetBytesProcessed(int64_t(st.iterations()) * int64_t(kCount * 2 * sizeof(T)));
}

// ---- The block --------------------------------------------------------------------------------------
template <typename T>
void block(benchmark::State& st, int mode) {
    static std::shared_ptr<Plugin> plugin = Plugin::load("merrow");
    const bool isByte = std::is_same_v<T, uint8_t>;
    const double scale = isByte ? 255.0 : 1.0;
    Block b(plugin, "contrast");
    b.setParameters({Array::scalar(mode), Array::realVector({kRangeLow * scale, kRangeHigh * scale}),
                     Array::realVector({kFraction, kFraction}), Array::scalar(0), Array::scalar(256),
                     Array::scalar(1), Array::realVector({0, 1}), Array::scalar(1), Array::scalar(64),
                     Array::scalar(32), Array::scalar(1), Array::scalar(64), Array::scalar(32),
                     Array::scalar(4), Array::scalar(2)});
    b.initialize();
    InputSpec in;
    in.dims = {kSide, kSide};
    in.dataType = isByte ? SS_UINT8 : SS_DOUBLE;
    b.propagate({in});
    b.start();
    const auto& image = lowContrastImage<T>();
    b.setInput(0, image.data(), kCount * sizeof(T));
    b.step();  // warm-up: first touch of every page
    for (auto _ : st) {
        b.step();
        benchmark::DoNotOptimize(b.output(0));
        benchmark::ClobberMemory();
    }
    setBytes<T>(st);
}

void blockUint8(benchmark::State& st, int mode) {
    block<uint8_t>(st, mode);
}
void blockDouble(benchmark::State& st, int mode) {
    block<double>(st, mode);
}

// ---- OpenCV compositions ----------------------------------------------------------------------------
// The darkest and brightest levels that keep more than kFraction of the pixels outside, from a histogram.
void saturatedLimits(const cv::Mat& hist, double lo, double hi, double* low, double* high) {
    const int bins = hist.rows;
    const double toSaturate = std::floor(double(kCount) * kFraction);
    double sum = 0;
    int j = 0;
    for (; j < bins; ++j) {
        sum += hist.at<float>(j);
        if (sum > toSaturate) break;
    }
    *low = lo + (hi - lo) * j / bins;
    sum = 0;
    int k = bins - 1;
    for (; k >= 0; --k) {
        sum += hist.at<float>(k);
        if (sum > toSaturate) break;
    }
    *high = lo + (hi - lo) * (k + 1) / bins;
}

cv::Mat byteTable(double low, double high) {
    cv::Mat lut(1, 256, CV_8U);
    for (int v = 0; v < 256; ++v)
        lut.at<uint8_t>(v) = cv::saturate_cast<uint8_t>((v - low) * 255.0 / (high - low));
    return lut;
}

void opencvUint8(benchmark::State& st, int mode) {
    cv::setNumThreads(1);
    auto& image = const_cast<std::vector<uint8_t>&>(lowContrastImage<uint8_t>());
    const cv::Mat src(kSide, kSide, CV_8U, image.data());
    cv::Mat dst(kSide, kSide, CV_8U), hist;
    auto run = [&] {
        double low = kRangeLow * 255, high = kRangeHigh * 255;
        if (mode == 1) {
            cv::minMaxLoc(src, &low, &high);
        } else if (mode == 3) {
            const int channels[] = {0}, histSize[] = {256};
            const float range[] = {0, 256};
            const float* ranges[] = {range};
            cv::calcHist(&src, 1, channels, cv::Mat(), hist, 1, histSize, ranges);
            saturatedLimits(hist, 0, 256, &low, &high);
        }
        cv::LUT(src, byteTable(low, high), dst);
    };
    run();  // warm-up: the library's first call of an operation costs far more than the later ones
    for (auto _ : st) {
        run();
        benchmark::DoNotOptimize(dst.data);
        benchmark::ClobberMemory();
    }
    setBytes<uint8_t>(st);
}

void opencvDouble(benchmark::State& st, int mode) {
    cv::setNumThreads(1);
    auto& image = const_cast<std::vector<double>&>(lowContrastImage<double>());
    const cv::Mat src(kSide, kSide, CV_64F, image.data());
    cv::Mat dst(kSide, kSide, CV_64F), single, hist;
    auto run = [&] {
        double low = kRangeLow, high = kRangeHigh;
        if (mode != 2) cv::minMaxLoc(src, &low, &high);
        if (mode == 3) {
            // calcHist takes 8-bit or single images only.
            src.convertTo(single, CV_32F);
            const int channels[] = {0}, histSize[] = {256};
            const float range[] = {float(low), float(std::nextafter(high, 2.0))};
            const float* ranges[] = {range};
            cv::calcHist(&single, 1, channels, cv::Mat(), hist, 1, histSize, ranges);
            saturatedLimits(hist, low, high, &low, &high);
        }
        src.convertTo(dst, CV_64F, 1.0 / (high - low), -low / (high - low));
        if (mode != 1) {
            cv::max(dst, 0.0, dst);
            cv::min(dst, 1.0, dst);
        }
    };
    run();  // warm-up, as above
    for (auto _ : st) {
        run();
        benchmark::DoNotOptimize(dst.data);
        benchmark::ClobberMemory();
    }
    setBytes<double>(st);
}

// ---- memcpy of the image ------------------------------------------------------------------------------
template <typename T>
void memcpyImage(benchmark::State& st) {
    const auto& image = lowContrastImage<T>();
    std::vector<T> out(kCount);
    std::memcpy(out.data(), image.data(), kCount * sizeof(T));  // warm-up
    for (auto _ : st) {
        std::memcpy(out.data(), image.data(), kCount * sizeof(T));
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    setBytes<T>(st);
}

}  // namespace

BENCHMARK_CAPTURE(blockUint8, uint8_minmax, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(blockUint8, uint8_dialog, 2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(blockUint8, uint8_histogram, 3)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(opencvUint8, uint8_minmax, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(opencvUint8, uint8_dialog, 2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(opencvUint8, uint8_histogram, 3)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(blockDouble, double_minmax, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(blockDouble, double_dialog, 2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(blockDouble, double_histogram, 3)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(opencvDouble, double_minmax, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(opencvDouble, double_dialog, 2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(opencvDouble, double_histogram, 3)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(memcpyImage, uint8_t)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(memcpyImage, double)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
