// Lists whose large blocks are mapped on their own: they grow across the size where blocks are
// mapped, shrink back below it and are copied and moved, and keep every value on the way.
#include "util/CMappedAllocator.h"

#include <gtest/gtest.h>

namespace {

constexpr size_t kMapped = CMappedAllocator<int>::kMapFrom / sizeof(int);

TEST(CMappedAllocatorTest, ValuesSurviveGrowingAcrossTheMappedSizeAndBack) {
    for (size_t size : {size_t(0), size_t(1), kMapped - 1, kMapped, 3 * kMapped + 7}) {
        CMappedVector<int> v;
        for (size_t i = 0; i < size; ++i) v.push_back(int(i));  // grows through both kinds of block
        CMappedVector<int> copy = v;
        const CMappedVector<int> moved = std::move(v);
        copy.resize(size / 2);
        copy.shrink_to_fit();  // a mapped block given back for a heap one
        ASSERT_EQ(moved.size(), size);
        for (size_t i = 0; i < size; ++i) ASSERT_EQ(moved[i], int(i)) << size;
        for (size_t i = 0; i < copy.size(); ++i) ASSERT_EQ(copy[i], int(i)) << size;
    }
}

}  // namespace
