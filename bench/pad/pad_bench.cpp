// Pad kernels beside cv::copyMakeBorder (one thread) and a memcpy of the output size. Bytes processed:
// input + output for the pads, read + write (2 x output) for memcpy, so the rates compare bandwidths.
// numpy.pad is timed by numpy_pad.py in the same session, which also runs this program and prints ratios.
#include <benchmark/benchmark.h>

#include <cstring>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

#include "kernel_rig.h"
#include "walking_pad.h"

namespace {

struct BenchCase {
    const char* name;
    std::vector<int32_t> dims;  // rows first
    int32_t pad;                // added before and after along dimensions 1 and 2
    size_t elemBytes;
    int cvDepth;
};

const std::vector<BenchCase>& cases() {
    static const std::vector<BenchCase> c = {
        {"4096x4096_double", {4096, 4096}, 32, 8, CV_64F},  {"4096x4096_uint8", {4096, 4096}, 32, 1, CV_8U},
        {"1024x1024_double", {1024, 1024}, 32, 8, CV_64F},  {"1024x1024_uint8", {1024, 1024}, 32, 1, CV_8U},
        {"512x512x3_double", {512, 512, 3}, 16, 8, CV_64F},
    };
    return c;
}

const char* kMethodNames[] = {"", "constant", "replicate", "symmetric", "circular"};
const int kCvBorders[] = {0, cv::BORDER_CONSTANT, cv::BORDER_REPLICATE, cv::BORDER_REFLECT, cv::BORDER_WRAP};

padtest::PadCase padCaseOf(const BenchCase& bc, int method) {
    padtest::PadCase c;
    c.inDims = bc.dims;
    c.before.assign(bc.dims.size(), 0);
    c.after.assign(bc.dims.size(), 0);
    c.before[0] = c.before[1] = c.after[0] = c.after[1] = bc.pad;
    c.method = method;
    return c;
}

int64_t countOf(const std::vector<int32_t>& dims) {
    int64_t n = 1;
    for (int32_t d : dims) {
        n *= d;
    }
    return n;
}

void padKernel(benchmark::State& state, const BenchCase& bc, int method) {
    const padtest::PadCase c = padCaseOf(bc, method);
    padtest::KernelRig rig(c, bc.elemBytes, false, std::vector<uint8_t>(bc.elemBytes, 0), false,
                           std::vector<uint8_t>(bc.elemBytes, 0));
    rig.run();  // touch the output once
    for (auto _ : state) {
        rig.run();
        benchmark::DoNotOptimize(rig.output.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(rig.input.size() + rig.output.size()));
}

// The element-by-element walking fills: the baseline the block copies are measured against.
void walking(benchmark::State& state, const BenchCase& bc, int method) {
    const padtest::PadCase c = padCaseOf(bc, method);
    padtest::KernelRig rig(c, bc.elemBytes, false, std::vector<uint8_t>(bc.elemBytes, 0), false,
                           std::vector<uint8_t>(bc.elemBytes, 0));
    rig.run();
    const std::vector<uint8_t> fast = rig.output;
    std::fill(rig.output.begin(), rig.output.end(), uint8_t{0x5A});
    padbench::walkingPad(rig.ri, static_cast<int32_t>(bc.elemBytes));
    if (rig.output != fast) {
        state.SkipWithError("walking and block-copy kernels differ");
        return;
    }
    for (auto _ : state) {
        padbench::walkingPad(rig.ri, static_cast<int32_t>(bc.elemBytes));
        benchmark::DoNotOptimize(rig.output.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(rig.input.size() + rig.output.size()));
}

void openCv(benchmark::State& state, const BenchCase& bc, int method) {
    cv::setNumThreads(1);
    // Column-major rows x cols is row-major cols x rows; the pads are symmetric, so the work is the same.
    const int planes = bc.dims.size() > 2 ? bc.dims[2] : 1;
    std::vector<cv::Mat> src, dst;
    for (int p = 0; p < planes; ++p) {
        src.emplace_back(bc.dims[1], bc.dims[0], CV_MAKETYPE(bc.cvDepth, 1));
        cv::randu(src.back(), 0, 100);
        dst.emplace_back(bc.dims[1] + 2 * bc.pad, bc.dims[0] + 2 * bc.pad, CV_MAKETYPE(bc.cvDepth, 1));
    }
    for (auto _ : state) {
        for (int p = 0; p < planes; ++p) {
            cv::copyMakeBorder(src[static_cast<size_t>(p)], dst[static_cast<size_t>(p)], bc.pad, bc.pad,
                               bc.pad, bc.pad, kCvBorders[method], cv::Scalar(0));
        }
        benchmark::DoNotOptimize(dst[0].data);
        benchmark::ClobberMemory();
    }
    const int64_t in = countOf(bc.dims) * static_cast<int64_t>(bc.elemBytes);
    const int64_t out = static_cast<int64_t>(bc.dims[0] + 2 * bc.pad) * (bc.dims[1] + 2 * bc.pad) * planes *
                        static_cast<int64_t>(bc.elemBytes);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * (in + out));
}

void memcpyOutput(benchmark::State& state, const BenchCase& bc) {
    const padtest::PadCase c = padCaseOf(bc, 1);
    const size_t bytes = static_cast<size_t>(countOf(padtest::outputDims(c))) * bc.elemBytes;
    std::vector<uint8_t> src(bytes, 1), dst(bytes, 0);
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), bytes);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(2 * bytes));
}

const bool registered = [] {
    for (const BenchCase& bc : cases()) {
        for (int m = 1; m <= 4; ++m) {
            benchmark::RegisterBenchmark((std::string("pad/") + bc.name + "/" + kMethodNames[m]).c_str(),
                                         padKernel, bc, m)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
            benchmark::RegisterBenchmark((std::string("walking/") + bc.name + "/" + kMethodNames[m]).c_str(),
                                         walking, bc, m)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
            benchmark::RegisterBenchmark((std::string("opencv/") + bc.name + "/" + kMethodNames[m]).c_str(),
                                         openCv, bc, m)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
        }
        benchmark::RegisterBenchmark((std::string("memcpy/") + bc.name).c_str(), memcpyOutput, bc)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    return true;
}();

}  // namespace

BENCHMARK_MAIN();
