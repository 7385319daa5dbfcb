// A lock-free ring buffer for exactly one producer thread and one consumer
// thread: the real-time period loop on one side, the disk thread on the other.
//
// Neither side ever waits for the other, allocates or takes a lock. The
// storage is allocated once, by the constructor; after that the two counters
// are all the sides share:
//
//   written (producer's)  counts every item ever pushed
//   read    (consumer's)  counts every item ever popped
//
//   storage  [....read % capacity ====== readable ====== written % capacity....]
//
// Each side owns one counter and only reads the other's: the producer
// publishes items with a release store of `written` after copying them in, the
// consumer acquires it before copying them out, and the same the other way for
// the room it hands back. Counters of 64 bits never wrap in practice.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <type_traits>
#include <vector>

namespace varnow {

template <typename Item>
class SpscRing {
  static_assert(std::is_trivially_copyable_v<Item>, "items are copied as bytes");

 public:
  // An empty ring; reset(capacity) gives it room.
  SpscRing() = default;
  explicit SpscRing(std::size_t capacityItems) { allocate(capacityItems); }
  SpscRing(const SpscRing&) = delete;
  SpscRing& operator=(const SpscRing&) = delete;

  // Allocates room for `capacityItems` items and empties the ring. Only while
  // neither side uses it (before a pass).
  void allocate(std::size_t capacityItems) {
    items_.assign(capacityItems, Item{});
    clear();
  }
  // Empties the ring. Only while neither side uses it.
  void clear() {
    written_.store(0, std::memory_order_relaxed);
    read_.store(0, std::memory_order_relaxed);
  }

  std::size_t capacity() const { return items_.size(); }

  // Producer side: the items that may be pushed now.
  std::size_t writable() const {
    return capacity() - static_cast<std::size_t>(written_.load(std::memory_order_relaxed) -
                                                 read_.load(std::memory_order_acquire));
  }
  // Consumer side: the items that may be popped now.
  std::size_t readable() const {
    return static_cast<std::size_t>(written_.load(std::memory_order_acquire) -
                                    read_.load(std::memory_order_relaxed));
  }

  // Producer side: copies up to `count` items in; returns how many fitted.
  std::size_t push(const Item* from, std::size_t count) {
    const std::size_t n = std::min(count, writable());
    std::size_t done = 0;
    while (done < n) {
      const std::span<Item> room = writeRegion();
      const std::size_t part = std::min(n - done, room.size());
      std::memcpy(room.data(), from + done, part * sizeof(Item));
      commitWrite(part);
      done += part;
    }
    return n;
  }

  // Consumer side: copies up to `count` items out; returns how many came.
  std::size_t pop(Item* to, std::size_t count) {
    const std::size_t n = std::min(count, readable());
    std::size_t done = 0;
    while (done < n) {
      const std::span<const Item> items = readRegion();
      const std::size_t part = std::min(n - done, items.size());
      std::memcpy(to + done, items.data(), part * sizeof(Item));
      commitRead(part);
      done += part;
    }
    return n;
  }

  // Consumer side: drops up to `count` items unread; returns how many.
  std::size_t discard(std::size_t count) {
    const std::size_t n = std::min(count, readable());
    commitRead(n);
    return n;
  }

  // Producer side, without a copy: the free items up to the end of the
  // storage (the rest of the room, if any, starts at its beginning). Fill a
  // prefix and commitWrite() it.
  std::span<Item> writeRegion() {
    if (capacity() == 0) return {};
    const std::uint64_t at = written_.load(std::memory_order_relaxed);
    const std::size_t start = static_cast<std::size_t>(at % capacity());
    return {items_.data() + start, std::min(writable(), capacity() - start)};
  }
  void commitWrite(std::size_t count) {
    written_.store(written_.load(std::memory_order_relaxed) + count, std::memory_order_release);
  }

  // Consumer side, without a copy: the readable items up to the end of the
  // storage. Use a prefix and commitRead() it.
  std::span<const Item> readRegion() const {
    if (capacity() == 0) return {};
    const std::uint64_t at = read_.load(std::memory_order_relaxed);
    const std::size_t start = static_cast<std::size_t>(at % capacity());
    return {items_.data() + start, std::min(readable(), capacity() - start)};
  }
  void commitRead(std::size_t count) {
    read_.store(read_.load(std::memory_order_relaxed) + count, std::memory_order_release);
  }

 private:
  std::vector<Item> items_;
  // Apart, so that the two sides do not share a cache line.
  alignas(64) std::atomic<std::uint64_t> written_{0};
  alignas(64) std::atomic<std::uint64_t> read_{0};
};

}  // namespace varnow
