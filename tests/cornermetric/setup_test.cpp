// Set-up of the corner metric plug-in through the host: parameter checks and their message classes, the
// minimum size, ports and types, run-time parameters, work vectors and tunability.
#include <gtest/gtest.h>

#include "corner_support.h"

using namespace cornertest;

namespace {

TEST(CornerSetup, HarrisDoubleRuns) {
    auto b = makeBlock({}, image({8, 9}));
    b->start();
    std::vector<double> img(72, 1.0);
    auto out = runOnce<double>(*b, img);
    ASSERT_EQ(out.size(), 72u);
    for (double v : out)
        EXPECT_EQ(v, 0.0);
}

}  // namespace

namespace {

TEST(CornerSetup, Uint8FixedPathRuns) {
    auto b = makeBlock({}, image({8, 9}, SS_UINT8));
    b->start();
    std::vector<uint8_t> img(72, 7);
    setImage(*b, img);
    b->step();
    EXPECT_EQ(outputOf<int64_t>(*b), std::vector<int64_t>(72, 0));
}

}  // namespace
