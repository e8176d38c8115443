// 4096 x 4096 conversions: the block's kernels, OpenCV's convertTo with the matching scale (one
// thread), and memcpy of the same bytes (input plus output) for the bandwidth ceiling.
// Bytes processed count input and output bytes, so bytes_per_second compares directly with memcpy,
// whose count is its read plus its write.
#include <benchmark/benchmark.h>

#include <cstring>
#include <opencv2/core.hpp>
#include <random>
#include <vector>

#include "kernel_harness.h"

using namespace convert_test;

namespace {

constexpr int kSide = 4096;
constexpr size_t kCount = static_cast<size_t>(kSide) * kSide;

template <typename T>
std::vector<T> randomImage() {
    std::mt19937 rng(7);
    std::vector<T> v(kCount);
    if constexpr (std::is_floating_point_v<T>) {
        std::uniform_real_distribution<T> d(T(-0.05), T(1.05));
        for (auto& x : v)
            x = d(rng);
    } else {
        std::uniform_int_distribution<int> d(std::numeric_limits<T>::min(), std::numeric_limits<T>::max());
        for (auto& x : v)
            x = static_cast<T>(d(rng));
    }
    return v;
}

template <typename In, typename Out>
void blockKernel(benchmark::State& st, const TypeDesc& inType, const TypeDesc& outType) {
    const auto input = randomImage<In>();
    std::vector<Out> output(kCount);
    Conversion c = prepare(inType, outType);
    c.state.input = input.data();
    c.state.output = output.data();
    c.state.numElements = static_cast<int32_t>(kCount);
    for (auto _ : st) {
        c.state.firstKernel(&c.state);
        if (c.state.secondKernel) c.state.secondKernel(&c.state);
        benchmark::DoNotOptimize(output.data());
        benchmark::ClobberMemory();
    }
    st.SetBytesProcessed(static_cast<int64_t>(st.iterations()) * kCount * (sizeof(In) + sizeof(Out)));
}

template <typename In, typename Out>
void opencvConvertTo(benchmark::State& st, int outDepth, double alpha, double beta) {
    cv::setNumThreads(1);
    auto input = randomImage<In>();
    const cv::Mat src(kSide, kSide, cv::DataType<In>::type, input.data());
    cv::Mat dst(kSide, kSide, outDepth);
    for (auto _ : st) {
        src.convertTo(dst, outDepth, alpha, beta);
        benchmark::DoNotOptimize(dst.data);
        benchmark::ClobberMemory();
    }
    st.SetBytesProcessed(static_cast<int64_t>(st.iterations()) * kCount * (sizeof(In) + sizeof(Out)));
}

// Copies (inBytes + outBytes) / 2 bytes: the same traffic as the conversion, read plus write.
void memcpySameBytes(benchmark::State& st, size_t inBytes, size_t outBytes) {
    const size_t n = (inBytes + outBytes) * kCount / 2;
    std::vector<uint8_t> a(n, 1), b(n);
    for (auto _ : st) {
        std::memcpy(b.data(), a.data(), n);
        benchmark::DoNotOptimize(b.data());
        benchmark::ClobberMemory();
    }
    st.SetBytesProcessed(static_cast<int64_t>(st.iterations()) * 2 * n);
}

}  // namespace

int main(int argc, char** argv) {
    using benchmark::RegisterBenchmark;
    RegisterBenchmark("block/double_to_uint8", blockKernel<double, uint8_t>, kDouble, kUint8);
    RegisterBenchmark("opencv/double_to_uint8", opencvConvertTo<double, uint8_t>, CV_8U, 255.0, 0.0);
    RegisterBenchmark("memcpy/double_to_uint8", memcpySameBytes, 8, 1);
    RegisterBenchmark("block/uint8_to_double", blockKernel<uint8_t, double>, kUint8, kDouble);
    RegisterBenchmark("opencv/uint8_to_double", opencvConvertTo<uint8_t, double>, CV_64F, 1.0 / 255.0, 0.0);
    RegisterBenchmark("memcpy/uint8_to_double", memcpySameBytes, 1, 8);
    RegisterBenchmark("block/uint8_to_uint16", blockKernel<uint8_t, uint16_t>, kUint8, kUint16);
    RegisterBenchmark("opencv/uint8_to_uint16", opencvConvertTo<uint8_t, uint16_t>, CV_16U, 257.0, 0.0);
    RegisterBenchmark("memcpy/uint8_to_uint16", memcpySameBytes, 1, 2);
    RegisterBenchmark("block/uint16_to_int16", blockKernel<uint16_t, int16_t>, kUint16, kInt16);
    RegisterBenchmark("opencv/uint16_to_int16", opencvConvertTo<uint16_t, int16_t>, CV_16S, 1.0, -32768.0);
    RegisterBenchmark("memcpy/uint16_to_int16", memcpySameBytes, 2, 2);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
