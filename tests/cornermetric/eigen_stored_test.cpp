// The fixed-point eigenvalue metrics' specialised stored-integer engine against the number objects of the
// roles: the same block run with min/max logging on (every step through the objects) and off (the engine),
// output bits compared, over every rounding and overflow mode, several role-type sets, both methods, odd
// sizes, variable-size steps and images at the limits of their type.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "corner_support.h"
#include "eigenstoredint_fast.h"
#include "eigenstoredint_plan.h"
#include "fixed_oracle.h"

using namespace cornertest;

namespace {

struct StoredCase : RoleCase {
    bool specialised;  // the specialised engine serves it (else the general one)
};

const StoredCase kCases[] = {
    // The benchmark's types.
    {"s16 32-bit working types",
     SS_INT16,
     {true, 16, 0},
     {true, 32, 12},
     {true, 32, 12},
     {true, 32, 12},
     {true, 32, 0},
     1,
     {true, 16, 0},
     {0.0625, 0.25, 0.375, 0.25, 0.0625},
     true},
    // Products of gradients overflow the 16-bit memory word.
    {"u8 narrow words",
     SS_UINT8,
     {false, 8, 0},
     {true, 16, 2},
     {true, 16, 4},
     {true, 20, 4},
     {true, 16, 0},
     0,
     {true, 12, 10},
     {0.25, 0.5, 0.25},
     true},
    {"s8 negative fractions",
     SS_INT8,
     {true, 8, 0},
     {true, 16, -2},
     {true, 24, -4},
     {true, 20, -3},
     {true, 16, -6},
     0,
     {true, 8, 6},
     {0.3, 0.4, 0.3},
     true},
    {"u16 wide coefficients, 64-bit output",
     SS_UINT16,
     {false, 16, 0},
     {true, 32, 4},
     {true, 48, 8},
     {true, 44, 6},
     {true, 64, 10},
     0,
     {true, 32, 28},
     {0.1, 0.2, 0.4, 0.2, 0.1, 0.0, -0.05},
     true},
    {"u32 image, coarse memory",
     SS_UINT32,
     {false, 32, 0},
     {true, 30, -4},
     {true, 40, -8},
     {true, 40, -8},
     {true, 24, -30},
     1,
     {true, 10, 0},
     {0.2, 0.6, 0.2},
     true},
    {"s32 image, 16-bit product",
     SS_INT32,
     {true, 32, 0},
     {true, 31, -2},
     {true, 16, -40},
     {true, 18, -40},
     {true, 8, -52},
     1,
     {true, 6, 0},
     {0.25, 0.5, 0.25},
     true},
    // Products and sums narrower than "Memory": only the inputs' bound keeps a pass from overflowing.
    {"s16 narrow product and accumulator",
     SS_INT16,
     {true, 16, 0},
     {true, 31, 0},
     {true, 20, 0},
     {true, 22, 0},
     {true, 31, 0},
     1,
     {true, 12, 0},
     {0.2, 0.4, 0.2},
     true},
    // A 64-bit accumulator's sums do not fit int64 with room to round: the general engine.
    {"s16 64-bit accumulator",
     SS_INT16,
     {true, 16, 0},
     {true, 32, 8},
     {true, 40, 10},
     {true, 64, 10},
     {true, 64, -2},
     1,
     {true, 12, 0},
     {0.1, 0.2, 0.4, 0.2, 0.1},
     false},
    {"s8 8-bit memory",
     SS_INT8,
     {true, 8, 0},
     {true, 8, 0},
     {true, 12, 2},
     {true, 12, 2},
     {true, 8, 0},
     0,
     {true, 8, 6},
     {0.3, 0.4, 0.3},
     false},
};

std::map<int, Array> paramsOf(const StoredCase& c, int method, int rounding, int overflow) {
    return roleParams(c, method, rounding, overflow);
}

int containerBytes(int wl) {
    return wl <= 8 ? 1 : wl <= 16 ? 2 : wl <= 32 ? 4 : 8;
}

// Stored integers of doubles in a type, in that type's container.
std::vector<uint8_t> storedBytes(const std::vector<double>& v, const QType& t) {
    const int bytes = containerBytes(t.wl);
    std::vector<uint8_t> out(v.size() * bytes);
    for (size_t i = 0; i < v.size(); ++i) {
        const int64_t s = storedParam(v[i], t).get_num().get_si();
        std::memcpy(out.data() + i * bytes, &s, bytes);  // little-endian low bytes
    }
    return out;
}

// Whether the specialised engine's plan holds for the case (so the comparison exercises it).
bool planHolds(const StoredCase& c, int method, int rounding, int overflow) {
    using VekDSPFixpt::NumType;
    using VekDSPFixpt::detail::QuantDest;
    const int code = kRoundingCode[rounding], ovf = overflow - 1;
    auto dest = [&](const QType& q) { return QuantDest::make(NumType::fixed(true, q.wl, q.fl), code, ovf); };
    const QType coeff =
        c.coeffMode == 0 ? c.coeff : QType{true, c.coeff.wl, bestPrecision(c.taps, c.coeff.wl)};
    const QType factor =
        c.coeffMode == 0 ? c.coeff : QType{true, c.coeff.wl, bestPrecision({0.04, 0.25}, c.coeff.wl)};
    quobit::StoredIntTypes t;
    t.memory = dest(c.memory);
    t.product = dest(c.product);
    t.accum = dest(c.accum);
    t.output = dest(c.output);
    const int half = c.product.wl / 2;
    t.sqrtType = dest(half < c.memory.wl ? QType{true, half, c.product.fl / 2} : c.memory);
    t.imageFl = c.imageType.fl;
    t.coeffFl = coeff.fl;
    t.factorFl = factor.fl;
    t.imageBytes = containerBytes(c.imageType.wl);
    t.memoryBytes = containerBytes(c.memory.wl);
    t.imageSigned = c.imageType.isSigned;
    std::vector<double> w = c.taps;
    w.insert(w.end(), c.taps.begin(), c.taps.end());
    const auto W = storedBytes(w, coeff), k = storedBytes({0.04}, factor);
    quobit::StoredIntData d;
    d.L = int32_t(c.taps.size());
    d.W = W.data();
    d.coeffBytes = containerBytes(coeff.wl);
    d.k = k.data();
    d.factorBytes = containerBytes(factor.wl);
    d.harris = method == 1;
    d.outBytes = containerBytes(c.output.wl);
    quobit::storedint::FastPlan plan;
    return quobit::storedint::makeFastPlan(d, t, plan);
}

enum class Picture { Random, Extremes, Faint };

// A random image over the whole range of the type; a checkerboard of its two extremes (the largest
// gradients, so every working type saturates or wraps where it can); or a faint random image (values
// within 1/512 of the range), whose filter passes cannot overflow.
std::vector<double> imageValues(const QType& t, int M, int N, Picture kind, uint32_t seed) {
    double lo = t.isSigned ? -std::ldexp(1.0, t.wl - 1) : 0.0;
    double hi = t.isSigned ? std::ldexp(1.0, t.wl - 1) - 1 : std::ldexp(1.0, t.wl) - 1;
    if (kind == Picture::Faint) {
        lo = std::floor(lo / 512);
        hi = std::floor(hi / 512);
    }
    std::mt19937_64 gen(seed);
    std::uniform_real_distribution<double> u(lo, hi);
    std::vector<double> v(size_t(M) * N);
    for (int c = 0; c < N; ++c)
        for (int r = 0; r < M; ++r)
            v[r + size_t(c) * M] =
                kind == Picture::Extremes ? (((r / 2 + c) % 2) ? hi : lo) : std::floor(u(gen));
    return v;
}

std::vector<uint8_t> asInput(const std::vector<double>& v, const QType& t) {
    const int bytes = containerBytes(t.wl);
    std::vector<uint8_t> out(v.size() * bytes);
    for (size_t i = 0; i < v.size(); ++i) {
        const int64_t s = t.isSigned ? int64_t(v[i]) : int64_t(uint64_t(v[i]));
        std::memcpy(out.data() + i * bytes, &s, bytes);
    }
    return out;
}

std::vector<uint8_t> stepBytes(Block& b, const std::vector<uint8_t>& in, std::vector<int32_t> dims) {
    b.setInput(0, in.data(), in.size(), dims);
    b.step();
    const uint8_t* o = static_cast<const uint8_t*>(b.output(0));
    return std::vector<uint8_t>(o, o + b.currentOutputBytes(0));
}

struct Size {
    int M, N;
};

// Steps of both blocks over the sizes (fixed-size blocks take the first one only), two images each.
void compareCase(const StoredCase& c, int method, int rounding, int overflow, bool variable, uint32_t seed) {
    const std::vector<Size> sizes =
        variable ? std::vector<Size>{{11, 16}, {5, 3}, {9, 15}, {3, 7}, {11, 13}} : std::vector<Size>{{7, 9}};
    const auto params = paramsOf(c, method, rounding, overflow);
    const InputSpec in = image({sizes[0].M, sizes[0].N}, c.image, variable ? 1 : 0);
    Settings logged;
    logged.minMaxOverflowLogging = 1;
    auto objects = makeBlock(params, in, logged);
    auto engine = makeBlock(params, in);
    objects->start();
    engine->start();
    for (const Size& s : sizes)
        for (Picture kind : {Picture::Random, Picture::Extremes, Picture::Faint}) {
            const auto img = asInput(imageValues(c.imageType, s.M, s.N, kind, seed++), c.imageType);
            const std::vector<int32_t> dims =
                variable ? std::vector<int32_t>{s.M, s.N} : std::vector<int32_t>{};
            const auto got = stepBytes(*engine, img, dims), want = stepBytes(*objects, img, dims);
            ASSERT_EQ(got.size(), want.size());
            const auto diff = std::mismatch(got.begin(), got.end(), want.begin()).first - got.begin();
            ASSERT_EQ(size_t(diff), got.size())
                << "first differing byte " << diff << ": " << c.name << ", method " << method
                << ", rounding popup " << rounding << ", overflow popup " << overflow << ", " << s.M << "x"
                << s.N << ", picture " << int(kind);
        }
}

TEST(EigenStored, TheCasesTakeTheEngineTheyAreMeantFor) {
    for (const StoredCase& c : kCases)
        for (int method : {1, 2})
            EXPECT_EQ(planHolds(c, method, 4, 2), c.specialised) << c.name << ", method " << method;
}

TEST(EigenStored, SameBitsAsTheNumberObjectsInEveryMode) {
    uint32_t seed = 11;
    for (const StoredCase& c : kCases)
        for (int method : {1, 2})
            for (int rounding = 1; rounding <= 7; ++rounding)
                for (int overflow = 1; overflow <= 2; ++overflow)
                    compareCase(c, method, rounding, overflow, false, seed += 4);
}

TEST(EigenStored, SameBitsOverVariableSizeSteps) {
    uint32_t seed = 7;
    // Each mode once, the cases in turn.
    int i = 0;
    for (int rounding = 1; rounding <= 7; ++rounding)
        for (int overflow = 1; overflow <= 2; ++overflow, ++i) {
            const StoredCase& c = kCases[i % std::size(kCases)];
            compareCase(c, 1 + i % 2, rounding, overflow, true, seed += 20);
        }
}

// Tuning k between steps re-plans the engine (the plan's bounds use k's value).
TEST(EigenStored, TunedSensitivityBetweenSteps) {
    const StoredCase& c = kCases[0];
    const auto params = paramsOf(c, 1, 4, 2);
    Settings logged;
    logged.minMaxOverflowLogging = 1;
    auto objects = makeBlock(params, image({8, 9}, c.image), logged);
    auto engine = makeBlock(params, image({8, 9}, c.image));
    objects->start();
    engine->start();
    for (double k : {0.04, 0.2, 0.001, 0.24}) {
        objects->changeParameter(1, Array::scalar(k));
        engine->changeParameter(1, Array::scalar(k));
        const auto img =
            asInput(imageValues(c.imageType, 8, 9, Picture::Random, uint32_t(k * 100) + 3), c.imageType);
        ASSERT_EQ(stepBytes(*engine, img, {}), stepBytes(*objects, img, {})) << "k " << k;
    }
}

// The engine's integer root below 2^52 against a root found by bisection, at the squares where a rounded
// floating root can land on the wrong side.
uint64_t bisectedRoot(uint64_t n) {
    uint64_t lo = 0, hi = uint64_t(1) << 26;  // lo^2 <= n < hi^2
    while (hi - lo > 1) {
        const uint64_t mid = (lo + hi) / 2;
        (mid * mid <= n ? lo : hi) = mid;
    }
    return lo;
}

TEST(EigenStored, IntegerRootBelow2To52) {
    std::vector<uint64_t> values = {0, 1, 2, 3, 4, 5, 8, 9, 10, (uint64_t(1) << 52) - 1};
    for (uint64_t k : {uint64_t(2), uint64_t(3), uint64_t(1) << 13, (uint64_t(1) << 26) - 1,
                       uint64_t(67108859), uint64_t(94906263) / 2, uint64_t(40000003)})
        for (int64_t off : {-2, -1, 0, 1, 2})
            values.push_back(k * k + off);
    std::mt19937_64 gen(3);
    for (int i = 0; i < 2000; ++i)
        values.push_back(gen() >> (12 + i % 40));
    for (uint64_t n : values)
        EXPECT_EQ(quobit::storedint::rootBelow52(n), bisectedRoot(n)) << n;
}

}  // namespace
