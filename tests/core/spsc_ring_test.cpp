// The lock-free ring between the period loop and the disk thread.
#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <thread>
#include <vector>

#include "core/spsc_ring.hpp"

namespace varnow {
namespace {

std::vector<int> popAll(SpscRing<int>& ring) {
  std::vector<int> out(ring.readable());
  EXPECT_EQ(ring.pop(out.data(), out.size()), out.size());
  return out;
}

TEST(SpscRing, EmptyAndFullRefuseWhatTheyCannotGiveOrTake) {
  SpscRing<int> ring(4);
  int item = 0;
  EXPECT_EQ(ring.readable(), 0u);
  EXPECT_EQ(ring.pop(&item, 1), 0u);
  EXPECT_EQ(ring.discard(3), 0u);
  EXPECT_TRUE(ring.readRegion().empty());
  const int five[] = {1, 2, 3, 4, 5};
  EXPECT_EQ(ring.push(five, 5), 4u);  // the fifth does not fit
  EXPECT_EQ(ring.writable(), 0u);
  EXPECT_EQ(ring.push(five, 1), 0u);
  EXPECT_TRUE(ring.writeRegion().empty());
  EXPECT_EQ(ring.discard(1), 1u);
  EXPECT_EQ(ring.push(five + 4, 1), 1u);
  EXPECT_EQ(popAll(ring), (std::vector<int>{2, 3, 4, 5}));
  EXPECT_EQ(ring.readable(), 0u);
  // A ring without room is always empty and always full.
  SpscRing<int> none;
  EXPECT_EQ(none.push(five, 1), 0u);
  EXPECT_EQ(none.pop(&item, 1), 0u);
  EXPECT_TRUE(none.writeRegion().empty() && none.readRegion().empty());
}

TEST(SpscRing, ItemsWrapAroundTheEndOfTheStorageInOrder) {
  SpscRing<int> ring(10);
  std::vector<int> in(25);
  std::iota(in.begin(), in.end(), 100);
  ASSERT_EQ(ring.push(in.data(), 7), 7u);
  int first[5];
  ASSERT_EQ(ring.pop(first, 5), 5u);
  EXPECT_EQ(std::vector<int>(first, first + 5), std::vector<int>(in.begin(), in.begin() + 5));
  // Items 5 and 6 sit at 5..6: the free items run 7..9, then 0..4.
  EXPECT_EQ(ring.writable(), 8u);
  EXPECT_EQ(ring.writeRegion().size(), 3u);
  EXPECT_EQ(ring.push(in.data() + 7, 9), 8u);  // 107..114; 115 does not fit
  EXPECT_EQ(ring.readRegion().size(), 5u);     // 105..109, up to the storage's end
  EXPECT_EQ(popAll(ring), std::vector<int>(in.begin() + 5, in.begin() + 15));

  // Filled and emptied in place, across the end again.
  std::span<int> room = ring.writeRegion();
  ASSERT_EQ(room.size(), 5u);  // 5..9
  for (std::size_t i = 0; i < room.size(); ++i)
    room[i] = static_cast<int>(i);
  ring.commitWrite(room.size());
  room = ring.writeRegion();
  ASSERT_EQ(room.size(), 5u);  // 0..4
  room[0] = 5;
  ring.commitWrite(1);
  EXPECT_EQ(ring.readRegion().size(), 5u);
  ring.commitRead(4);
  EXPECT_EQ(popAll(ring), (std::vector<int>{4, 5}));
  ring.clear();
  EXPECT_EQ(ring.readable(), 0u);
  EXPECT_EQ(ring.writable(), 10u);
}

TEST(SpscRing, OneProducerAndOneConsumerOnTwoThreadsPassEveryItemOnceInOrder) {
  // A capacity that is no power of two, chunks that never divide it.
  constexpr std::uint32_t kItems = 2'000'000;
  SpscRing<std::uint32_t> ring(1009);
  std::thread producer([&] {
    std::vector<std::uint32_t> chunk(37);
    std::uint32_t next = 0;
    while (next < kItems) {
      const std::size_t wanted = std::min<std::size_t>(chunk.size(), kItems - next);
      for (std::size_t i = 0; i < wanted; ++i)
        chunk[i] = next + static_cast<std::uint32_t>(i);
      next += static_cast<std::uint32_t>(ring.push(chunk.data(), wanted));
    }
  });
  std::uint32_t expected = 0;
  std::uint32_t wrong = 0;
  std::vector<std::uint32_t> got(53);
  while (expected < kItems) {
    const std::size_t n = ring.pop(got.data(), got.size());
    for (std::size_t i = 0; i < n; ++i)
      wrong += got[i] != expected++ ? 1u : 0u;
    // The zero-copy side as well, now and then.
    const std::span<const std::uint32_t> region = ring.readRegion();
    for (const std::uint32_t item : region)
      wrong += item != expected++ ? 1u : 0u;
    ring.commitRead(region.size());
  }
  producer.join();
  EXPECT_EQ(wrong, 0u);
  EXPECT_EQ(expected, kItems);
  EXPECT_EQ(ring.readable(), 0u);
}

}  // namespace
}  // namespace varnow
