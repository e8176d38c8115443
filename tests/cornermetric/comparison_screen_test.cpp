// The screen that lets the integer kernels skip pixels before the search, and the byte path that uses
// it against the transcribed reference on images built to sit on the screen's edges: threshold 0, circle
// values exactly at the limits, the ends of the range, every angle choice, sizes whose runs end in whole,
// overlapping and single-pixel blocks, row-count changes, wrapping and saturating accumulators.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "comparison_exact.h"
#include "comparison_reference.h"
#include "corner_support.h"
#include "quobit/comparisonkernel.h"

namespace {

using comparison_test::SearchOutcome;
using comparison_test::transcribedSearch;
using VekDSPFixpt::NumType;

// Compass positions 0, 4, 8 and 12 of a pattern as bits 0..3, and its number of qualifying positions.
int compassOf(uint32_t pattern) {
    int c = 0;
    for (int k = 0; k < 4; ++k)
        if ((pattern >> (4 * k)) & 1u) c |= 1 << k;
    return c;
}
int countOf(uint32_t pattern, int first = 0, int step = 1) {
    int n = 0;
    for (int i = first; i < 16; i += step)
        n += (pattern >> i) & 1u;
    return n;
}
int oddCountOf(uint32_t pattern) {
    return countOf(pattern, 1, 2);
}

// The table's screen is what the transcribed search gives: the compass nibbles of the accepted patterns
// and their fewest qualifying positions, in all and among the odd ones.
TEST(ComparisonScreen, TableScreenIsTheTranscribedSearchs) {
    quobit::ArcTable table;
    for (int A = 9; A <= 15; ++A) {
        uint32_t nibbles = 0;
        int fewest = 17, fewestOdd = 9;
        for (uint32_t pattern = 0; pattern < 65536; ++pattern) {
            auto is = [&](int i) { return ((pattern >> (i % 16)) & 1u) != 0; };
            const SearchOutcome o = transcribedSearch(is, A);
            if (!(o.started && o.passed)) continue;
            nibbles |= 1u << compassOf(pattern);
            fewest = std::min(fewest, countOf(pattern));
            fewestOdd = std::min(fewestOdd, oddCountOf(pattern));
        }
        table.build(A, quobit::kSearchSteps, quobit::kSearchOffsets);
        EXPECT_EQ(table.screen().nibbles, nibbles) << "A " << A;
        EXPECT_EQ(table.screen().minCount, fewest) << "A " << A;
        EXPECT_EQ(table.screen().minOdd, fewestOdd) << "A " << A;
        // By hand: with 0 and 8 qualifying and 4 and 12 not, the first pass opens the arc after 4
        // ([5, 19]) and then 12 leaves 7 positions on either side, fewer than any A: 0b0101 never passes.
        // Without 0 and 8 no test starts at all.
        EXPECT_EQ(nibbles & (1u << 5), 0u) << "A " << A;
        EXPECT_EQ(nibbles & ((1u << 0) | (1u << 2) | (1u << 8) | (1u << 10)), 0u) << "A " << A;
    }
}

// The predicate each vector form stands for, written from its definition.
enum class Form { All, Start, Pairs, Three };
bool formHolds(Form f, int c) {
    const bool b0 = c & 1, b4 = c & 2, b8 = c & 4, b12 = c & 8;
    switch (f) {
        case Form::Start:
            return b0 || b8;
        case Form::Pairs:
            return (b0 || b8) && (b4 || b12);
        case Form::Three:
            return int(b0) + b4 + b8 + b12 >= 3;
        default:
            return true;
    }
}

// Images of a few levels around a base: a pixel's circle then holds values equal to its limits, one past
// them and far beyond, with the ends of the range mixed in.
std::vector<int64_t> edgeStored(std::mt19937_64& rng, int rows, int cols, const NumType& type, int64_t t,
                                int64_t base) {
    const int64_t lo = fixpt_test::minStored(type).get_si(), hi = fixpt_test::maxStored(type).get_si();
    std::vector<int64_t> x(size_t(rows) * cols);
    const int64_t steps[] = {0, 0, 0, t, -t, t + 1, -t - 1, 2 * t + 1, -2 * t - 1};
    for (auto& v : x) {
        const uint64_t r = rng() % 24;
        v = r == 0 ? lo : r == 1 ? hi : std::clamp(base + steps[r % 9], lo, hi);
    }
    return x;
}

std::vector<uint8_t> edgeImage(std::mt19937_64& rng, int rows, int cols, int t, int base) {
    const std::vector<int64_t> x = edgeStored(rng, rows, cols, NumType::fixed(false, 8, 0), t, base);
    return std::vector<uint8_t>(x.begin(), x.end());
}

std::vector<int> circleOffsets(int rows) {
    std::vector<int> c(32);
    comparison_test::circleOffsets(rows, c.data());
    return c;
}

// Each vector screen gives, bit for bit, the predicate of its form and count on every pixel of a run.
TEST(ComparisonScreen, VectorScreensMatchTheirPredicates) {
    struct Case {
        Form form;
        int minCount, minOdd, t, base;
    };
    const Case cases[] = {
        {Form::Pairs, 9, 4, 20, 100},   {Form::Pairs, 0, 0, 0, 128},  {Form::Three, 12, 6, 1, 3},
        {Form::Three, 15, 7, 127, 127}, {Form::Start, 0, 0, 5, 250},  {Form::Start, 16, 8, 0, 0},
        {Form::All, 9, 4, 10, 60},      {Form::Pairs, 17, 9, 20, 90}, {Form::Pairs, 1, 0, 30, 255},
        {Form::Pairs, 6, 5, 20, 100},   {Form::Three, 10, 2, 3, 50}};
    std::mt19937_64 rng(41);
    const int rows = 80, cols = 9;
    const std::vector<int> circle = circleOffsets(rows);
    int passed = 0, refused = 0;
    for (const Case& k : cases) {
        quobit::ArcScreen screen;
        screen.nibbles = 0;
        for (int c = 0; c < 16; ++c)
            if (formHolds(k.form, c)) screen.nibbles |= uint16_t(1u << c);
        screen.minCount = k.minCount;
        screen.minOdd = k.minOdd;
        const std::vector<uint8_t> x = edgeImage(rng, rows, cols, k.t, k.base);
        for (int width : {16, 32}) {
#if !defined(QUOBIT_WIDE_BYTE_SCREEN)
            if (width == 32) continue;
#else
            if (width == 32 && !quobit::wideByteScreenRuns()) continue;
#endif
            for (int count : {64, 40, width}) {
                const int idx = 4 * rows + 3;
                uint64_t got = 0;
#if defined(QUOBIT_WIDE_BYTE_SCREEN)
                if (width == 32)
                    got = quobit::avx2::screenRun(x.data() + idx, count, uint8_t(k.t), circle.data(), screen);
#endif
#if defined(__SSE2__)
                if (width == 16)
                    got = quobit::sse2::screenRun(x.data() + idx, count, uint8_t(k.t), circle.data(), screen);
#else
                GTEST_SKIP() << "no vector screen on this processor";
#endif
                for (int j = 0; j < count; ++j) {
                    const int v = x[idx + j];
                    const int high = std::min(255, v + k.t), low = std::max(0, v - k.t);
                    uint32_t bright = 0, dark = 0;
                    for (int i = 0; i < 16; ++i) {
                        const int q = x[idx + j + circle[i]];
                        bright |= uint32_t(q > high) << i;
                        dark |= uint32_t(q < low) << i;
                    }
                    const auto side = [&](uint32_t p) {
                        if (k.form == Form::All) return true;
                        if (k.minCount <= 0) return formHolds(k.form, compassOf(p));
                        return formHolds(k.form, compassOf(p)) && countOf(p) >= k.minCount &&
                               oddCountOf(p) >= k.minOdd;
                    };
                    const bool want = side(bright) || side(dark);
                    ASSERT_EQ(((got >> j) & 1u) != 0, want) << "width " << width << " count " << count
                                                            << " pixel " << j << " minCount " << k.minCount;
                    (want ? passed : refused)++;
                }
                if (count < 64) {
                    EXPECT_EQ(got >> count, 0u) << "bits past the run";
                }
            }
        }
    }
    EXPECT_GT(passed, 200);
    EXPECT_GT(refused, 200);
}

// One configuration of the stored-integer kernel: image, accumulator and output types and modes, the
// threshold and the base level of the test images, in stored units.
struct StoredCase {
    const char* name;
    NumType image;
    int64_t t, base;
    NumType accum, output;
    int32_t rounding, overflow;
};

enum class PathKind { Wide, Narrow, NoTable };

// Runs the stored kernel on x; `kind` picks the 32-byte byte screen, the 16-byte one, or no table (the
// start rule only). Other image types than 8-bit unsigned take the general screen for the first two.
std::vector<mpq_class> runStored(const StoredCase& sc, const std::vector<int64_t>& x, int rows, int cols,
                                 int A, PathKind kind, quobit::ArcTable& table,
                                 std::vector<unsigned char>& in, std::vector<unsigned char>& out) {
    using VekDSPFixpt::detail::QuantDest;
    quobit::StoredComparisonPlan plan;
    plan.image = QuantDest::make(sc.image, sc.rounding, sc.overflow);
    plan.accum = QuantDest::make(sc.accum, sc.rounding, sc.overflow);
    plan.output = QuantDest::make(sc.output, sc.rounding, sc.overflow);
    plan.t = sc.t;
    plan.dtMin = fixpt_test::minStored(sc.image).get_si();
    plan.dtMax = fixpt_test::maxStored(sc.image).get_si();
    plan.dtLow = plan.dtMin + sc.t;
    plan.dtHigh = plan.dtMax - sc.t;
    plan.outputBytes = sc.output.containerBytes;
    plan.exactSums = quobit::sumsAreExact(plan.image, plan.accum);
    plan.byteScreen = quobit::byteScreenApplies(plan);
    plan.wideScreen = kind == PathKind::Wide;
    const std::vector<int> circle = circleOffsets(rows);
    if (!table.matches(A, quobit::kSearchSteps, quobit::kSearchOffsets))
        table.build(A, quobit::kSearchSteps, quobit::kSearchOffsets);
    const quobit::ComparisonShape shape{rows,
                                        cols,
                                        circle.data(),
                                        quobit::kSearchSteps,
                                        quobit::kSearchOffsets,
                                        A,
                                        kind == PathKind::NoTable ? nullptr : &table};
    const size_t n = size_t(rows) * cols, wi = size_t(sc.image.containerBytes);
    const size_t wo = size_t(sc.output.containerBytes);
    for (size_t i = 0; i < n; ++i)
        std::memcpy(in.data() + i * wi, &x[i], wi);  // little-endian: the low bytes
    std::fill(out.begin(), out.end(), 0x5A);         // stale bytes of an earlier step must go
    quobit::comparisonMetricStored(in.data(), out.data(), plan, shape);
    std::vector<mpq_class> got(n);
    for (size_t i = 0; i < n; ++i) {
        int64_t s = 0;
        std::memcpy(&s, out.data() + i * wo, wo);
        if (wo < 8) s = (s << (64 - 8 * wo)) >> (64 - 8 * wo);  // sign-extend
        got[i] = fixpt_test::realValue(mpz_class(static_cast<long>(s)), sc.output);
    }
    return got;
}

// Every path of the stored kernel against the exact evaluation of the transcribed steps, for every angle
// choice, over sizes whose 64-row runs end in whole vectors, overlapping vectors and single pixels, with
// one table and one output buffer from step to step while the row count changes.
TEST(ComparisonScreen, StoredPathsMatchTheReference) {
    const NumType u8 = NumType::fixed(false, 8, 0), s32 = NumType::fixed(true, 32, 0);
    const StoredCase cases[] = {
        {"t 20 exact", u8, 20, 100, s32, s32, VekDSPFixpt::kRoundFloor, VekDSPFixpt::kOverflowWrap},
        {"t 0", u8, 0, 128, s32, s32, VekDSPFixpt::kRoundFloor, VekDSPFixpt::kOverflowWrap},
        {"t 1 near 0, dialog defaults", u8, 1, 1, NumType::fixed(true, 64, 28), NumType::fixed(true, 64, -1),
         VekDSPFixpt::kRoundNearest, VekDSPFixpt::kOverflowSaturate},
        {"t 127 at the top", u8, 127, 255, s32, NumType::fixed(true, 16, 0), VekDSPFixpt::kRoundZero,
         VekDSPFixpt::kOverflowSaturate},
        {"s8 accumulator wraps", u8, 15, 120, NumType::fixed(true, 8, 0), NumType::fixed(true, 8, 0),
         VekDSPFixpt::kRoundFloor, VekDSPFixpt::kOverflowWrap},
        {"s8 accumulator saturates", u8, 15, 240, NumType::fixed(true, 8, 0), NumType::fixed(true, 16, 0),
         VekDSPFixpt::kRoundNearest, VekDSPFixpt::kOverflowSaturate},
        {"s12:2 accumulator rounds, output s10:-1", u8, 40, 30, NumType::fixed(true, 12, 2),
         NumType::fixed(true, 10, -1), VekDSPFixpt::kRoundConvergent, VekDSPFixpt::kOverflowSaturate},
        {"s8 image near the bottom", NumType::fixed(true, 8, 0), 9, -120, s32, s32, VekDSPFixpt::kRoundFloor,
         VekDSPFixpt::kOverflowWrap},
        {"u16 image, s16 accumulator wraps", NumType::fixed(false, 16, 0), 300, 65000,
         NumType::fixed(true, 16, 0), s32, VekDSPFixpt::kRoundFloor, VekDSPFixpt::kOverflowWrap},
        {"s16:4 image, t 0", NumType::fixed(true, 16, 4), 0, -5, NumType::fixed(true, 40, 4), s32,
         VekDSPFixpt::kRoundNearest, VekDSPFixpt::kOverflowSaturate},
    };
    // rows - 6 pixels per column: 1, 16, 32, 39 (an overlapping vector), 64, 65 (a run of one), 94, 3.
    const int sizes[][2] = {{7, 7}, {22, 9}, {38, 8}, {45, 7}, {70, 8}, {71, 9}, {100, 10}, {9, 30}};
    const int nSizes = int(sizeof sizes / sizeof sizes[0]);
    std::mt19937_64 rng(59);
    quobit::ArcTable table;
    std::vector<unsigned char> in(100 * 30 * 8), out(100 * 30 * 8);
    int corners = 0, compared = 0;
    for (size_t ci = 0; ci < sizeof cases / sizeof cases[0]; ++ci) {
        const StoredCase& sc = cases[ci];
        const comparison_test::ExactModel m =
            comparison_test::exactModel(sc.image, sc.accum, sc.output, sc.rounding, sc.overflow, sc.t);
        for (int choice = 1; choice <= 7; ++choice) {
            // Two sizes per angle choice, rotating through the list: the row count changes at every step.
            for (int s = 0; s < 2; ++s) {
                const int rows = sizes[(2 * choice + s + int(ci)) % nSizes][0];
                const int cols = sizes[(2 * choice + s + int(ci)) % nSizes][1];
                const int A = 16 - choice;
                const std::vector<int64_t> x = edgeStored(rng, rows, cols, sc.image, sc.t, sc.base);
                std::vector<mpq_class> xq(x.size());
                for (size_t i = 0; i < x.size(); ++i)
                    xq[i] = fixpt_test::realValue(mpz_class(static_cast<long>(x[i])), sc.image);
                const std::vector<mpq_class> want = comparison_test::referenceMetric(m, xq, rows, cols, A);
                for (PathKind kind : {PathKind::Wide, PathKind::Narrow, PathKind::NoTable}) {
                    const std::vector<mpq_class> got = runStored(sc, x, rows, cols, A, kind, table, in, out);
                    for (size_t i = 0; i < want.size(); ++i)
                        ASSERT_EQ(got[i], want[i]) << sc.name << " choice " << choice << " " << rows << "x"
                                                   << cols << " path " << int(kind) << " at " << i;
                    compared += int(want.size());
                }
                for (const mpq_class& v : want)
                    corners += v != 0;
            }
        }
    }
    EXPECT_GT(corners, 300);
    EXPECT_GT(compared, 20000);
}

// Through the plug-in: a variable-size uint8 image whose row count changes from step to step, with the
// angle choice tuned between steps, against the exact evaluation (32-bit whole output).
TEST(ComparisonScreen, VariableSizeUint8BlockMatchesTheReference) {
    using namespace cornertest;
    std::map<int, Array> params = {{0, Array::scalar(3)},  {3, Array::scalar(12)},  {4, Array::scalar(7)},
                                   {22, Array::scalar(0)}, {23, Array::scalar(32)}, {24, Array::scalar(0)}};
    auto b = makeBlock(params, image({80, 12}, SS_UINT8, 1));
    b->start();
    const NumType u8 = NumType::fixed(false, 8, 0), s32 = NumType::fixed(true, 32, 0);
    const comparison_test::ExactModel m =
        comparison_test::exactModel(u8, NumType::fixed(true, 64, 28), s32, VekDSPFixpt::kRoundNearest,
                                    VekDSPFixpt::kOverflowSaturate, 12);
    std::mt19937_64 rng(73);
    const int steps[][3] = {{80, 12, 7}, {23, 12, 7}, {45, 9, 3}, {7, 7, 3}, {70, 11, 1}, {80, 12, 5}};
    int corners = 0;
    for (const auto& st : steps) {
        const int rows = st[0], cols = st[1], choice = st[2];
        b->changeParameter(4, Array::scalar(choice));
        const std::vector<uint8_t> x = edgeImage(rng, rows, cols, 12, 90);
        setImage(*b, x, {rows, cols});
        b->step();
        const std::vector<int32_t> got = outputOf<int32_t>(*b);
        const std::vector<mpq_class> xq(x.begin(), x.end());
        const std::vector<mpq_class> want = comparison_test::referenceMetric(m, xq, rows, cols, 16 - choice);
        ASSERT_EQ(got.size(), want.size());
        for (size_t i = 0; i < want.size(); ++i) {
            ASSERT_EQ(mpq_class(got[i]), want[i])
                << rows << "x" << cols << " choice " << choice << " at " << i;
            corners += want[i] != 0;
        }
    }
    EXPECT_GT(corners, 50);
}

}  // namespace
