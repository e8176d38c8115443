// The fixed-point kernel through the host against the exact reference: integer and fixed-point types,
// every rounding and overflow mode, several product types, the table path and a wrapping Product 2.
#include <limits>
#include <random>

#include "contrast_rig.h"
#include "fix_reference.h"

using namespace contrast_test;

namespace {

struct Packed {
    std::vector<uint8_t> bytes;
    dravo::types::TypeInfo info;
};

Packed pack(const std::vector<mpz_class>& stored, DataTypeId id) {
    Packed p{{}, dravo::types::info(id)};
    const size_t cb = size_t(p.info.containerBytes);
    p.bytes.assign(stored.size() * cb, 0);
    for (size_t i = 0; i < stored.size(); ++i) {
        const VekDSPFixpt::u128 bits = fixpt_test::toBits(stored[i]);
        std::memcpy(p.bytes.data() + i * cb, &bits, cb);  // little-endian: the low container bytes
    }
    return p;
}

std::vector<mpz_class> unpack(const Block& b, DataTypeId id) {
    const auto& t = dravo::types::info(id);
    const size_t cb = size_t(t.containerBytes);
    const size_t n = b.currentOutputBytes(0) / cb;
    std::vector<mpz_class> v(n);
    for (size_t i = 0; i < n; ++i) {
        VekDSPFixpt::u128 bits = 0;
        std::memcpy(&bits, static_cast<const uint8_t*>(b.output(0)) + i * cb, cb);
        if (t.isSigned && cb < 16 && ((bits >> (8 * cb - 1)) & 1)) bits |= ~VekDSPFixpt::u128(0) << (8 * cb);
        v[i] = fixpt_test::fromBits(bits, t.isSigned);
    }
    return v;
}

NumType numTypeOf(DataTypeId id) {
    const auto& t = dravo::types::info(id);
    return NumType::fixed(t.isSigned, t.wordLength, t.fracLength);
}

std::vector<mpz_class> runBlock(const Dialog& d, DataTypeId id, const std::vector<mpz_class>& stored,
                                Settings settings = {}) {
    auto b = startedBlock(d, id, int32_t(stored.size()), settings);
    const Packed p = pack(stored, id);
    b->setInput(0, p.bytes.data(), p.bytes.size());
    b->step();
    return unpack(*b, id);
}

// Random stored integers of t, spread over a random part of the range (low-contrast images too).
std::vector<mpz_class> randomImage(std::mt19937_64& rng, const NumType& t, size_t n) {
    std::vector<mpz_class> v(n);
    const mpz_class lo = fixpt_test::minStored(t), hi = fixpt_test::maxStored(t);
    const mpz_class span = hi - lo;
    mpz_class a = lo, w = span;
    if (rng() % 2) {
        w = span / mpz_class(int(2 + rng() % 40));
        a = lo + (span - w) * mpz_class(int(rng() % 100)) / 100;
    }
    for (size_t i = 0; i < n; ++i) {
        const mpz_class r =
            fixpt_test::randomStored(rng, NumType::fixed(false, std::min(t.wordLength, 62), 0));
        v[i] = w == 0 ? a : mpz_class(a + r % (w + 1));
    }
    if (rng() % 4 == 0) v[rng() % n] = lo;  // an outlier at an end of the range
    if (rng() % 4 == 0) v[rng() % n] = hi;
    return v;
}

Dialog dialogFor(const FixCase& c, int32_t roundingPopup, int32_t overflowPopup) {
    Dialog d;
    d.inputMode = c.mode;
    d.numBins = c.bins;
    d.fractions = {c.lowFrac, c.highFrac};
    d.inputRange = {c.rangeLow, c.rangeHigh};
    d.outputMode = 2;
    d.outputRange = {c.lowOut, c.highOut};
    d.product1WordLength = c.product1.wordLength;
    d.product1FracLength = c.product1.fracLength;
    d.product2WordLength = c.product2.wordLength;
    d.product2FracLength = c.product2.fracLength;
    d.rounding = roundingPopup;
    d.overflow = overflowPopup;
    return d;
}

// The rounding popup's items in order, as library codes.
const int32_t kRoundingByPopup[] = {2, 6, 3, 1, 5, 4, 0};

std::string describe(const FixCase& c, DataTypeId id, int rp, int op) {
    return dravo::types::typeName(id) + " mode " + std::to_string(c.mode) + " bins " +
           std::to_string(c.bins) + " P1 s" + std::to_string(c.product1.wordLength) + ":" +
           std::to_string(c.product1.fracLength) + " P2 s" + std::to_string(c.product2.wordLength) + ":" +
           std::to_string(c.product2.fracLength) + " rounding popup " + std::to_string(rp) +
           " overflow popup " + std::to_string(op);
}

TEST(FixKernel, EveryTypeModeRoundingAndOverflowAgainstTheExactReference) {
    const char* types[] = {"int8",   "uint8",       "int16",        "uint16",      "int32",
                           "uint32", "fixed:s12:3", "fixed:u10:-2", "fixed:s20:5", "fixed:u5:0"};
    const NumType products[][2] = {
        {NumType::fixed(true, 64, 32), NumType::fixed(true, 64, 32)},
        {NumType::fixed(true, 32, 16), NumType::fixed(true, 32, 12)},
        {NumType::fixed(true, 16, 6), NumType::fixed(true, 24, 10)},
        {NumType::fixed(true, 40, 3), NumType::fixed(true, 12, 2)},
    };
    std::mt19937_64 rng(2024);
    int runs = 0;
    for (const char* name : types) {
        const DataTypeId id = typeId(name);
        const NumType t = numTypeOf(id);
        for (int mode = 1; mode <= 3; ++mode) {
            for (int rp = 1; rp <= 7; ++rp) {
                for (int op = 1; op <= 2; ++op) {
                    FixCase c;
                    c.mode = mode;
                    c.input = t;
                    const auto& pp = products[(rp + op + mode) % 4];
                    c.product1 = pp[0];
                    c.product2 = pp[1];
                    c.rounding = kRoundingByPopup[rp - 1];
                    c.overflow = op - 1;
                    const int binsChoices[] = {1, 5, 64, 256, 1000};
                    c.bins = binsChoices[rng() % 5];
                    const double lo = fixpt_test::realValue(fixpt_test::minStored(t), t).get_d();
                    const double hi = fixpt_test::realValue(fixpt_test::maxStored(t), t).get_d();
                    c.lowOut = lo + (hi - lo) * 0.1 * double(rng() % 3);
                    c.highOut = hi - (hi - lo) * 0.2 * double(rng() % 2);
                    c.rangeLow = lo + (hi - lo) * 0.25;
                    c.rangeHigh = lo + (hi - lo) * 0.6;
                    const double fracs[] = {0, 0.01, 0.1, 0.25};
                    c.lowFrac = fracs[rng() % 4];
                    c.highFrac = fracs[rng() % 4];
                    const size_t n = 2 + rng() % 300;
                    const std::vector<mpz_class> in = randomImage(rng, t, n);
                    const std::vector<mpz_class> want = FixReference(c).run(in);
                    const std::vector<mpz_class> got = runBlock(dialogFor(c, rp, op), id, in);
                    ASSERT_EQ(got.size(), want.size());
                    for (size_t i = 0; i < n; ++i)
                        ASSERT_EQ(got[i], want[i]) << describe(c, id, rp, op) << " pixel " << i << " of " << n
                                                   << " value " << in[i].get_str();
                    ++runs;
                }
            }
        }
    }
    EXPECT_EQ(runs, 10 * 3 * 14);
}

// 300 uint8 pixels 100..109 (30 of each): the span 9 is below 256 bins, so each value gets its own bin
// (slope 1, 10 bins). Fractions [0.1 0.1] saturate 30 pixels at each end: the 30 at 100 stay (the count
// must exceed 30), the range becomes [100, 108], and the slope 255 / 8 = 31.875 maps v to
// round((v - 100) * 31.875): 0 32 64 96 128 159 191 223 255 255.
TEST(FixKernel, Uint8SpanBelowTheBinCountUsesOneBinPerValue) {
    const uint8_t expected[10] = {0, 32, 64, 96, 128, 159, 191, 223, 255, 255};
    for (int32_t n : {300, 250}) {  // with and without the table
        std::vector<uint8_t> in(static_cast<size_t>(n));
        for (int32_t k = 0; k < n; ++k)
            in[size_t(k)] = uint8_t(100 + k % 10);
        Dialog d;
        d.fractions = {0.1, 0.1};  // 30 or 25 pixels: the same limits either way
        auto b = startedBlock(d, SS_UINT8, n);
        const std::vector<uint8_t> out = step(*b, in);
        for (int32_t k = 0; k < n; ++k)
            ASSERT_EQ(out[size_t(k)], expected[k % 10]) << "n " << n << " pixel " << k;
    }
}

// Saturating 3/8 and 7/16 of [3 5 7 10] with 12 bins and rounding "round" (1.5 and 1.75 pixels become 2)
// narrows the range to the inverted [6, 5]: no pixel lies inside, and a pixel at or below lowIn gives
// lowOut before any is compared with highIn, so 5 gives 0; 7 and 10 give 255.
TEST(FixKernel, InvertedRangeAfterSaturationSendsThePixelBetweenItsEndsToLowOut) {
    Dialog d;
    d.fractions = {0.375, 0.4375};
    d.numBins = 12;
    d.rounding = 5;  // round
    auto b = startedBlock(d, SS_UINT8, 4);
    EXPECT_EQ(step(*b, std::vector<uint8_t>{3, 5, 7, 10}), (std::vector<uint8_t>{0, 0, 255, 255}));
}

TEST(FixKernel, TableThresholdGivesTheSameNumbersOnBothSides) {
    std::mt19937_64 rng(7);
    for (const char* name : {"uint8", "int8", "fixed:u5:0", "fixed:s7:0"}) {
        const DataTypeId id = typeId(name);
        const NumType t = numTypeOf(id);
        for (int mode = 1; mode <= 3; ++mode) {
            for (size_t n : {size_t(255), size_t(256), size_t(257), size_t(1000)}) {
                FixCase c;
                c.mode = mode;
                c.input = t;
                c.bins = mode == 3 ? 20 : 256;
                c.lowFrac = 0.05;
                c.highFrac = 0.02;
                const double lo = fixpt_test::realValue(fixpt_test::minStored(t), t).get_d();
                const double hi = fixpt_test::realValue(fixpt_test::maxStored(t), t).get_d();
                c.lowOut = lo;
                c.highOut = hi;
                c.rangeLow = lo / 2;
                c.rangeHigh = hi / 2;
                const std::vector<mpz_class> in = randomImage(rng, t, n);
                const std::vector<mpz_class> want = FixReference(c).run(in);
                ASSERT_EQ(runBlock(dialogFor(c, 4, 2), id, in), want)
                    << name << " mode " << mode << " n " << n;
                // Logging takes the number objects everywhere: the same numbers.
                Settings logging;
                logging.minMaxOverflowLogging = 1;
                ASSERT_EQ(runBlock(dialogFor(c, 4, 2), id, in, logging), want)
                    << name << " logged, mode " << mode << " n " << n;
            }
        }
    }
}

// A narrow Product 2 wraps (highIn - v) * slope anywhere, negative too: the bin index stays inside the
// histogram and the result is still the reference's.
TEST(FixKernel, WrappingProduct2KeepsTheBinIndexInside) {
    std::mt19937_64 rng(99);
    for (const char* name : {"int16", "uint8", "fixed:s12:3"}) {
        const DataTypeId id = typeId(name);
        const NumType t = numTypeOf(id);
        for (int trial = 0; trial < 6; ++trial) {
            FixCase c;
            c.mode = 3;
            c.input = t;
            c.bins = 40;
            c.product2 = NumType::fixed(true, 6, 2);
            c.overflow = VekDSPFixpt::kOverflowWrap;
            c.lowFrac = 0.1;
            c.highFrac = 0.1;
            const double lo = fixpt_test::realValue(fixpt_test::minStored(t), t).get_d();
            const double hi = fixpt_test::realValue(fixpt_test::maxStored(t), t).get_d();
            c.lowOut = lo;
            c.highOut = hi;
            std::vector<mpz_class> in = randomImage(rng, t, 600);
            in[0] = fixpt_test::minStored(t);
            in[1] = fixpt_test::maxStored(t);
            const std::vector<mpz_class> want = FixReference(c).run(in);
            Dialog d = dialogFor(c, 4, 1);
            ASSERT_EQ(runBlock(d, id, in), want) << name << " trial " << trial;
        }
    }
}

TEST(FixKernel, LoggedFloatingImagesGiveTheFloatingResults) {
    // A double image in a logged run goes through the number objects in double: same numbers as the
    // plain kernel for a min/max mapping.
    std::vector<double> in = {0.2, 0.4, 0.3, 0.9, 0.25};
    Dialog d;
    d.inputMode = 1;
    Settings logging;
    logging.minMaxOverflowLogging = 1;
    auto plain = startedBlock(d, SS_DOUBLE, 5);
    auto logged = startedBlock(d, SS_DOUBLE, 5, logging);
    const auto a = step(*plain, in);
    const auto b = step(*logged, in);
    for (size_t i = 0; i < in.size(); ++i)
        EXPECT_NEAR(a[i], b[i], 1e-15) << i;
    EXPECT_EQ(a[3], 1.0);
    EXPECT_EQ(a[0], 0.0);
}

TEST(FixKernel, LoggedFloatingImagesFollowTheNaNAndInfinityRules) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    Settings logging;
    logging.minMaxOverflowLogging = 1;
    struct Case {
        double mode;
        std::vector<double> in;
        std::vector<double> expected;
    };
    const Case cases[] = {
        {1, {nan, 0, 4, nan, 2}, {0, 0, 1, 0, 0.5}},
        {2, {nan, 0, 4, nan, 2}, {0, 0, 1, 0, 0.5}},  // dialog range [0 4]
        {1, {1, inf, 2}, {0, 0, 0}},
        {3, {1, -inf, 2}, {0, 0, 0}},
        {1, {nan, nan}, {0, 0}},
    };
    for (const Case& c : cases) {
        Dialog d;
        d.inputMode = c.mode;
        d.inputRange = {0, 4};
        auto b = startedBlock(d, SS_DOUBLE, int32_t(c.in.size()), logging);
        const std::vector<double> out = step(*b, c.in);
        for (size_t i = 0; i < out.size(); ++i)
            EXPECT_NEAR(out[i], c.expected[i], 1e-12) << "mode " << c.mode << " pixel " << i;
    }
    // Histogram mode: NaN pixels are not binned and not counted; the ten others saturate as alone.
    Dialog d;
    d.numBins = 9;
    d.fractions = {0.1, 0.1};
    std::vector<double> in = {nan, 0, 1, 2, 3, nan, 4, 5, 6, 7, 8, 9, nan};
    auto b = startedBlock(d, SS_DOUBLE, int32_t(in.size()), logging);
    const std::vector<double> out = step(*b, in);
    const std::vector<double> expected = {0, 0, 0.125, 0.25, 0.375, 0, 0.5, 0.625, 0.75, 0.875, 1, 1, 0};
    for (size_t i = 0; i < out.size(); ++i)
        EXPECT_NEAR(out[i], expected[i], 1e-12) << "histogram, pixel " << i;
}

}  // namespace
