// The multiply-shift that replaces the division of roundHalfUp must equal it for every word of every
// pair of word lengths the block accepts (2..16 bits): 15 x 15 pairs, exhaustively.
#include <gtest/gtest.h>

#include "reference.h"
#include "ubrin/rescale_multiplier.h"
#include "ubrin/scale_convert_kernels.h"

using namespace convert_test;

TEST(RescaleMultiplier, EqualsRoundHalfUpForEveryWordOfEveryWordLengthPair) {
    for (int inWl = 2; inWl <= 16; ++inWl) {
        for (int outWl = 2; outWl <= 16; ++outWl) {
            const uint32_t inMax = wordMax(inWl), outMax = wordMax(outWl);
            const auto m = ubrin::findRescaleMultiplier(inMax, outMax);
            ASSERT_GT(m.shift, 0) << inWl << " -> " << outWl;
            const uint64_t largest = uint64_t{inMax} * m.multiplier + (uint64_t{1} << (m.shift - 1));
            EXPECT_EQ(m.fitsIn32Bits, largest < (uint64_t{1} << 32)) << inWl << " -> " << outWl;
            uint32_t mismatches = 0, first = 0;
            for (uint32_t u = 0; u <= inMax; ++u) {
                const uint32_t expected = refRoundHalfUp(u * outMax, inMax);
                const bool wideOk =
                    ubrin::kernels::rescaleWord<uint64_t>(u, m.multiplier, m.shift) == expected;
                const bool narrowOk = !m.fitsIn32Bits || ubrin::kernels::rescaleWord<uint32_t>(
                                                             u, m.multiplier, m.shift) == expected;
                if (!(wideOk && narrowOk) && mismatches++ == 0) first = u;
            }
            EXPECT_EQ(mismatches, 0u) << inWl << " -> " << outWl << " first at u = " << first;
        }
    }
}

TEST(RescaleMultiplier, RoundHalfUpMatchesTheWorkedExamples) {
    // uint8 -> uint16 multiplies by 257; uint16 -> uint8: 128 * 255 / 65535 = 0.498 -> 0, 129 -> 1.
    EXPECT_EQ(ubrin::roundHalfUp(1 * 65535u, 255u), 257u);
    EXPECT_EQ(ubrin::roundHalfUp(255 * 65535u, 255u), 65535u);
    EXPECT_EQ(ubrin::roundHalfUp(128 * 255u, 65535u), 0u);
    EXPECT_EQ(ubrin::roundHalfUp(129 * 255u, 65535u), 1u);
    // Exactly half way rounds up.
    EXPECT_EQ(ubrin::roundHalfUp(5u, 2u), 3u);
    EXPECT_EQ(ubrin::roundHalfUp(7u, 2u), 4u);
    EXPECT_EQ(ubrin::roundHalfUp(65535u * 65535u, 65535u), 65535u);  // largest product fits 32 bits
}

TEST(RescaleMultiplier, ExactMultiplesUseThirtyTwoBits) {
    // 65535 = 255 * 257: uint8 -> uint16 is an exact multiply, well inside 32 bits; the way back needs
    // 2^k > 2 * 65535 * 255 and so a 64-bit product.
    EXPECT_TRUE(ubrin::findRescaleMultiplier(255, 65535).fitsIn32Bits);
    EXPECT_FALSE(ubrin::findRescaleMultiplier(65535, 255).fitsIn32Bits);
    EXPECT_TRUE(ubrin::findRescaleMultiplier(3, 65535).fitsIn32Bits);
}

TEST(RescaleMultiplier, RefusesRangesOutsideSixteenBits) {
    EXPECT_EQ(ubrin::findRescaleMultiplier(0, 255).shift, 0);
    EXPECT_EQ(ubrin::findRescaleMultiplier(0x1FFFF, 255).shift, 0);
    EXPECT_EQ(ubrin::findRescaleMultiplier(255, 0x1FFFF).shift, 0);
}
