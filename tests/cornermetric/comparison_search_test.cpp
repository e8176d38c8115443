// The arc search, exhaustively: every pattern of qualifying circle positions, every arc limit, both
// tests, against the transcription of the description's steps; then whole pixels built from each pattern
// through the kernel against the reference metric.
#include <gtest/gtest.h>

#include <vector>

#include "comparison_reference.h"
#include "quobit/comparisonkernel.h"
#include "quobit/comparisonsearch.h"

namespace {

using comparison_test::SearchOutcome;
using comparison_test::transcribedSearch;

TEST(ComparisonSearch, EveryPatternEveryLimitMatchesTheTranscription) {
    int accepted = 0, failed = 0;
    for (int A = 9; A <= 15; ++A) {
        for (uint32_t pattern = 0; pattern < 65536; ++pattern) {
            auto is = [&](int i) { return ((pattern >> (i % 16)) & 1u) != 0; };
            const SearchOutcome want = transcribedSearch(is, A);
            int32_t lo = -1, hi = -1;
            const quobit::ArcVerdict got =
                quobit::searchArc(pattern, A, quobit::kSearchSteps, quobit::kSearchOffsets, &lo, &hi);
            const quobit::ArcVerdict wantVerdict = !want.started ? quobit::ArcVerdict::NotStarted
                                                   : want.passed ? quobit::ArcVerdict::Accepted
                                                                 : quobit::ArcVerdict::Failed;
            ASSERT_EQ(int(got), int(wantVerdict)) << "pattern " << pattern << " A " << A;
            if (got == quobit::ArcVerdict::Accepted) {
                ASSERT_EQ(lo, want.lo) << "pattern " << pattern << " A " << A;
                ASSERT_EQ(hi, want.hi) << "pattern " << pattern << " A " << A;
                ++accepted;
            } else if (got == quobit::ArcVerdict::Failed) {
                ++failed;
            }
        }
    }
    // Both outcomes occur for many patterns (the comparison above is not vacuous).
    EXPECT_GT(accepted, 1000);
    EXPECT_GT(failed, 10000);
}

// The precomputed table answers as the transcription does, for every limit; a table built for another
// limit is not used.
TEST(ComparisonSearch, ArcTableMatchesTheTranscription) {
    quobit::ArcTable table;
    for (int A = 9; A <= 15; ++A) {
        table.build(A, quobit::kSearchSteps, quobit::kSearchOffsets);
        ASSERT_TRUE(table.matches(A, quobit::kSearchSteps, quobit::kSearchOffsets));
        EXPECT_FALSE(table.matches(A == 9 ? 10 : 9, quobit::kSearchSteps, quobit::kSearchOffsets));
        for (uint32_t pattern = 0; pattern < 65536; ++pattern) {
            auto is = [&](int i) { return ((pattern >> (i % 16)) & 1u) != 0; };
            const SearchOutcome want = transcribedSearch(is, A);
            int32_t lo = -1, hi = -1;
            const quobit::ArcVerdict got = table.lookup(pattern, &lo, &hi);
            ASSERT_EQ(got == quobit::ArcVerdict::NotStarted, !want.started) << pattern;
            ASSERT_EQ(got == quobit::ArcVerdict::Accepted, want.started && want.passed) << pattern;
            if (got == quobit::ArcVerdict::Accepted) {
                ASSERT_EQ(lo, want.lo) << pattern;
                ASSERT_EQ(hi, want.hi) << pattern;
            }
        }
    }
}

// Properties that follow from the steps without running them: an accepted arc is at least A long, lies
// inside one turn of the circle, and every position the passes tested inside it qualifies; the whole
// circle qualifying is always accepted as positions 1..16.
TEST(ComparisonSearch, AcceptedArcsAreLongEnoughAndWithinOneTurn) {
    for (int A = 9; A <= 15; ++A) {
        for (uint32_t pattern = 0; pattern < 65536; ++pattern) {
            int32_t lo, hi;
            if (quobit::searchArc(pattern, A, quobit::kSearchSteps, quobit::kSearchOffsets, &lo, &hi) !=
                quobit::ArcVerdict::Accepted)
                continue;
            ASSERT_GE(hi - lo + 1, A) << pattern;
            ASSERT_LE(hi - lo + 1, 16) << pattern;
            ASSERT_GE(lo, 1);
            ASSERT_LE(hi, 31);
            // Positions 0 and 8 lie opposite: one of them qualifies, so an arc of 15 or less holds a
            // qualifying one of them or starts right after the other.
            int32_t from, to;
            quobit::restOfCircle(lo, hi, &from, &to);
            ASSERT_EQ((hi - lo + 1) + (to >= from ? to - from + 1 : 0), 16) << pattern;
        }
        int32_t lo, hi;
        ASSERT_EQ(quobit::searchArc(0xFFFF, A, quobit::kSearchSteps, quobit::kSearchOffsets, &lo, &hi),
                  quobit::ArcVerdict::Accepted);
        EXPECT_EQ(lo, 1);
        EXPECT_EQ(hi, 16);
    }
}

// Hand-followed search: bright positions 12..15 and 0..4 (nine in a row through position 0). The passes
// cut the span 9..23 to 11..21, then to 12..20; the last cut leaves exactly nine positions, so A = 9
// accepts and A = 10 refuses.
TEST(ComparisonSearch, NineInARowPassesOnlyTheLowestLimit) {
    uint32_t pattern = 0;
    for (int i : {12, 13, 14, 15, 0, 1, 2, 3, 4})
        pattern |= 1u << i;
    int32_t lo = 0, hi = 0;
    ASSERT_EQ(quobit::searchArc(pattern, 9, quobit::kSearchSteps, quobit::kSearchOffsets, &lo, &hi),
              quobit::ArcVerdict::Accepted);
    EXPECT_EQ(lo, 12);
    EXPECT_EQ(hi, 20);
    EXPECT_EQ(quobit::searchArc(pattern, 10, quobit::kSearchSteps, quobit::kSearchOffsets, &lo, &hi),
              quobit::ArcVerdict::Failed);
}

// A 7x7 image whose only visited pixel (3, 3) has value 50 and whose circle follows the pattern: qualifying
// positions are brighter (bright test) or darker (dark test) than the limits 45 and 55, the others take
// turns at neutral, opposite and exactly-at-the-limit values.
std::vector<double> patternImage(uint32_t pattern, bool brightTest) {
    std::vector<double> x(49, 50.0);
    for (int i = 0; i < 16; ++i) {
        const bool set = (pattern >> i) & 1u;
        double v;
        if (set) {
            v = brightTest ? 60.0 + i : 40.0 - i;
        } else {
            switch ((i + pattern) % 3) {
                case 0:
                    v = 50.0;
                    break;
                case 1:
                    v = brightTest ? 40.0 - 0.5 * i : 60.0 + 0.5 * i;
                    break;
                default:
                    v = brightTest ? 55.0 : 45.0;
                    break;
            }
        }
        x[(3 + comparison_test::kDr[i]) + (3 + comparison_test::kDc[i]) * 7] = v;
    }
    return x;
}

TEST(ComparisonSearch, EveryPatternThroughTheKernelMatchesTheReference) {
    int32_t circle[32];
    comparison_test::circleOffsets(7, circle);
    const double kMax = 3.4028234663852886e38;
    const double t = 5.0;
    comparison_test::FloatModel<double> model{t, -kMax, kMax, -kMax + t, kMax - t};
    quobit::FloatComparisonLimits<double> lim{t, -kMax, kMax, -kMax + t, kMax - t};
    int nonzero = 0;
    std::vector<double> out(49);
    for (int brightTest = 0; brightTest <= 1; ++brightTest) {
        for (int A = 9; A <= 15; ++A) {
            quobit::ComparisonShape shape{7, 7, circle, quobit::kSearchSteps, quobit::kSearchOffsets, A};
            for (uint32_t pattern = 0; pattern < 65536; ++pattern) {
                const std::vector<double> x = patternImage(pattern, brightTest != 0);
                quobit::FloatComparisonArith<double> a(x.data(), out.data(), lim);
                quobit::comparisonMetricRun(a, shape);
                const std::vector<double> want = comparison_test::referenceMetric(model, x, 7, 7, A);
                ASSERT_EQ(out[24], want[24])
                    << "pattern " << pattern << " A " << A << " bright " << brightTest;
                nonzero += out[24] != 0.0;
            }
        }
    }
    EXPECT_GT(nonzero, 2000);
}

}  // namespace
