// The fixed-point eigenvalue metrics through the plug-in against an exact evaluation (GMP) of the same
// quantisation steps, for several role types and every rounding and overflow mode; and the dialog
// defaults on 8- and 16-bit images against the floating metric.
#include <gtest/gtest.h>

#include <random>

#include "corner_support.h"
#include "fixed_oracle.h"
#include "reference.h"

using namespace cornertest;

namespace {

using TypeCase = RoleCase;

const TypeCase kTypeCases[] = {
    {"u8 narrow",
     SS_UINT8,
     {false, 8, 0},
     {true, 32, 4},
     {true, 32, 6},
     {true, 32, 6},
     {true, 32, 0},
     0,
     {true, 16, 14},
     {0.25, 0.5, 0.25}},
    {"s16 accumulator overflow",
     SS_INT16,
     {true, 16, 0},
     {true, 64, 8},
     {true, 48, 10},
     {true, 40, 10},
     {true, 64, -2},
     1,
     {true, 12, 0},
     {0.1, 0.2, 0.4, 0.2, 0.1}},
    {"s8 small words",
     SS_INT8,
     {true, 8, 0},
     {true, 16, 2},
     {true, 16, 4},
     {true, 24, 4},
     {true, 16, 0},
     0,
     {true, 8, 6},
     {0.3, 0.4, 0.3}},
    {"s16 wide words",
     SS_INT16,
     {true, 16, 0},
     {true, 48, 8},
     {true, 40, 6},
     {true, 44, 10},
     {true, 48, 0},
     1,
     {true, 14, 0},
     {0.2, 0.6, 0.2}},
    // The root's grid is much coarser than the memory's: the square root drops bits before rounding.
    {"s8 sticky root",
     SS_INT8,
     {true, 8, 0},
     {true, 48, 20},
     {true, 32, 4},
     {true, 48, 20},
     {true, 48, 8},
     1,
     {true, 12, 0},
     {0.05, 0.1, 0.05}},
    {"u8 defaults",
     SS_UINT8,
     {false, 8, 0},
     {true, 96, 28},
     {true, 96, 28},
     {true, 64, 28},
     {true, 64, -1},
     1,
     {true, 16, 0},
     {0.0625, 0.25, 0.375, 0.25, 0.0625}},
};

template <class T>
std::vector<T> randomInts(int n, int lo, int hi, uint32_t seed) {
    std::mt19937 gen(seed);
    std::uniform_int_distribution<int> d(lo, hi);
    std::vector<T> v(n);
    for (auto& x : v)
        x = T(d(gen));
    return v;
}

std::map<int, Array> paramsOf(const TypeCase& c, int method, int rounding, int overflow) {
    return roleParams(c, method, rounding, overflow);
}

FixedRoles rolesOf(const TypeCase& c, int rounding, int overflow, QType* coeffType, QType* factorType) {
    FixedRoles r;
    r.image = c.imageType;
    r.memory = c.memory;
    r.product = c.product;
    r.accum = c.accum;
    r.output = c.output;
    r.rounding = kRoundingCode[rounding];
    r.overflow = overflow - 1;
    const int half = c.product.wl / 2;
    r.sqrtType = half < c.memory.wl ? QType{true, half, c.product.fl / 2} : c.memory;
    *coeffType = c.coeffMode == 0 ? c.coeff : QType{true, c.coeff.wl, bestPrecision(c.taps, c.coeff.wl)};
    *factorType =
        c.coeffMode == 0 ? c.coeff : QType{true, c.coeff.wl, bestPrecision({0.04, 0.25}, c.coeff.wl)};
    return r;
}

int64_t storedOutput(const Block& b, size_t i, int wl) {
    const uint8_t* p = static_cast<const uint8_t*>(b.output(0));
    if (wl <= 8) return int8_t(p[i]);
    if (wl <= 16) {
        int16_t v;
        std::memcpy(&v, p + 2 * i, 2);
        return v;
    }
    if (wl <= 32) {
        int32_t v;
        std::memcpy(&v, p + 4 * i, 4);
        return v;
    }
    int64_t v;
    std::memcpy(&v, p + 8 * i, 8);
    return v;
}

template <class T>
void runCase(const TypeCase& c, int method, int rounding, int overflow, uint32_t seed) {
    const int M = 6, N = 7;
    const std::vector<T> img = c.image == SS_INT16  ? randomInts<T>(M * N, -32768, 32767, seed)
                               : c.image == SS_INT8 ? randomInts<T>(M * N, -128, 127, seed)
                                                    : randomInts<T>(M * N, 0, 255, seed);
    auto b = makeBlock(paramsOf(c, method, rounding, overflow), image({M, N}, c.image));
    b->start();
    setImage(*b, img);
    b->step();

    QType coeffType, factorType;
    const FixedRoles roles = rolesOf(c, rounding, overflow, &coeffType, &factorType);
    std::vector<mpq_class> X(img.begin(), img.end()), W;
    for (double t : c.taps)
        W.push_back(storedParam(t, coeffType));
    const mpq_class k = storedParam(0.04, factorType);
    const auto want = fixedMetric(X, M, N, W, method == 1, k, roles);
    for (int i = 0; i < M * N; ++i) {
        const mpq_class stored = want[i] * pow2q(c.output.fl);
        ASSERT_EQ(stored.get_den(), 1);
        ASSERT_EQ(mpz_class(storedOutput(*b, i, c.output.wl)), stored.get_num())
            << c.name << " method " << method << " rounding " << rounding << " overflow " << overflow
            << " at " << i;
    }
}

TEST(EigenFixed, AgreesWithTheExactQuantisationSteps) {
    uint32_t seed = 1;
    for (const TypeCase& c : kTypeCases)
        for (int method : {1, 2})
            for (int rounding = 1; rounding <= 7; ++rounding)
                for (int overflow = 1; overflow <= 2; ++overflow) {
                    // The wide default types take the library's slow path: a subset of the modes is enough.
                    if (c.memory.wl > 64 && (rounding % 3 != 1)) continue;
                    if (c.image == SS_INT16)
                        runCase<int16_t>(c, method, rounding, overflow, seed++);
                    else if (c.image == SS_INT8)
                        runCase<int8_t>(c, method, rounding, overflow, seed++);
                    else
                        runCase<uint8_t>(c, method, rounding, overflow, seed++);
                }
}

// The dialog defaults hold 8- and 16-bit images: checkerboards of the full range (the largest possible
// tensor) and random images agree with the floating metric within the output's resolution plus the
// quantisation of the coefficients.
bool dspDataTypeIsFloat(DataTypeId id) {
    return id == SS_DOUBLE || id == SS_SINGLE;
}

template <class T>
double defaultsAgree(const std::vector<T>& img, int M, int N, int method, DataTypeId type, double relTol) {
    auto b = makeBlock({{0, Array::scalar(method)}}, image({M, N}, type));
    b->start();
    setImage(*b, img);
    b->step();
    EXPECT_FALSE(dspDataTypeIsFloat(b->outputPort(0).dataType));
    const std::vector<double> taps = {0.0625, 0.25, 0.375, 0.25, 0.0625};
    // k as the 16-bit best-precision coefficient stores it; the binomial taps are exact.
    const int kFl = bestPrecision({0.04, 0.25}, 16);  // k's type holds every valid k
    const long double k = std::round(std::ldexp(0.04L, kFl)) / std::ldexp(1.0L, kFl);
    const auto want = formulaMetric(img, M, N, taps, method == 1, k);
    long double scale = 1;
    for (const auto& v : want)
        scale = std::max(scale, std::fabs(v));
    for (int i = 0; i < M * N; ++i) {
        const double got = std::ldexp(double(storedOutput(*b, i, 64)), 1);  // fraction length -1
        // Output step 2 (rounding to nearest: at most 1 off); the 2^-28 steps of the working types are
        // far below that relative to the values.
        EXPECT_NEAR(got, double(want[i]), 1.0 + relTol * double(scale)) << "method " << method << " at " << i;
    }
    return double(scale);
}

TEST(EigenFixed, DefaultsHoldFullRangeImages) {
    const int M = 9, N = 10;
    // X = full ? (a(r) xor b(c)) with period-4 patterns: every gradient is +-full scale.
    auto checker = [&](double lo, double hi) {
        std::vector<double> v(M * N);
        for (int c = 0; c < N; ++c)
            for (int r = 0; r < M; ++r)
                v[r + c * M] = (((r / 2) + (c / 2)) % 2) ? hi : lo;
        return v;
    };
    for (int method : {1, 2}) {
        const auto u16 = checker(0, 65535);
        const double largest =
            defaultsAgree(std::vector<uint16_t>(u16.begin(), u16.end()), M, N, method, SS_UINT16, 1e-12);
        // The Harris values of this image do not fit a 64-bit whole number; the minimum eigenvalue
        // measure needs 34 bits.
        EXPECT_GT(largest, method == 1 ? 1.5e19 : 8.5e9);
        const auto s16 = checker(-32768, 32767);
        defaultsAgree(std::vector<int16_t>(s16.begin(), s16.end()), M, N, method, SS_INT16, 1e-12);
        const auto u8 = checker(0, 255);
        defaultsAgree(std::vector<uint8_t>(u8.begin(), u8.end()), M, N, method, SS_UINT8, 1e-12);
        defaultsAgree(randomInts<uint8_t>(M * N, 0, 255, 5), M, N, method, SS_UINT8, 1e-12);
        defaultsAgree(randomInts<int16_t>(M * N, -32768, 32767, 6), M, N, method, SS_INT16, 1e-12);
    }
}

}  // namespace
