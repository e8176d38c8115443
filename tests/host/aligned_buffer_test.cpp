// The host's storage for signals and work vectors, small (from the heap) and frame-sized (own mapping):
// zero, aligned, movable and resizable without losing what the pointer promises.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "aligned_buffer.h"

using dravo::host::detail::AlignedBuffer;

namespace {

bool allZero(const AlignedBuffer& b) {
    for (size_t i = 0; i < b.size(); ++i)
        if (b.data()[i] != 0) return false;
    return true;
}

}  // namespace

TEST(AlignedBuffer, EverySizeIsZeroAlignedAndWritable) {
    // Around the large-page threshold, and well beyond it.
    for (size_t bytes : {size_t{0}, size_t{1}, size_t{63}, size_t{65}, size_t{4096}, (size_t{2} << 20) - 1,
                         size_t{2} << 20, (size_t{2} << 20) + 1, size_t{9} << 20}) {
        AlignedBuffer b(bytes);
        SCOPED_TRACE(bytes);
        ASSERT_TRUE(b.allocated());
        EXPECT_EQ(b.size(), bytes);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(b.data()) % 64, 0u);
        EXPECT_TRUE(allZero(b));
        if (bytes) {
            b.data()[0] = 1;
            b.data()[bytes - 1] = 2;
        }
    }
}

TEST(AlignedBuffer, ResizeGivesFreshZeroStorageAndMovesKeepTheData) {
    std::vector<size_t> sizes = {size_t{3} << 20, 100, size_t{5} << 20, 1};
    AlignedBuffer b;
    for (size_t bytes : sizes) {
        b.resize(bytes);
        SCOPED_TRACE(bytes);
        EXPECT_TRUE(allZero(b));
        for (size_t i = 0; i < bytes; i += 4093)
            b.data()[i] = static_cast<unsigned char>(i % 251 + 1);
        AlignedBuffer moved(std::move(b));
        EXPECT_FALSE(b.allocated());
        for (size_t i = 0; i < bytes; i += 4093)
            ASSERT_EQ(moved.data()[i], static_cast<unsigned char>(i % 251 + 1));
        AlignedBuffer assigned;
        assigned = std::move(moved);
        EXPECT_EQ(assigned.size(), bytes);
        EXPECT_EQ(assigned.data()[0], 1);
        b = std::move(assigned);  // back into b, replacing its empty state
    }
}
