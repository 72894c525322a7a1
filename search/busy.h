// The moves that searching threads are in the middle of, shared by all the
// threads of one search. A thread that meets a move another thread is
// searching at the same node leaves it for the end of the node's list: by
// then the other thread's result is usually in the table, and meanwhile the
// two threads search different subtrees instead of the same one twice.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "position/types.h"

// Only nodes this deep share out their moves: below it a subtree is cheaper
// than the bookkeeping.
constexpr int32_t SHARED_DEPTH = 3 * ONE_PLY;

struct BusyMoves {
  // A bucket a slot group; 0 marks an empty slot. Each thread holds at most
  // one entry per ply of its current path, so the table stays sparse.
  static constexpr int BUCKETS = 1024, WAYS = 4;
  std::array<std::atomic<uint64_t>, BUCKETS * WAYS> slots{};
};

// The move's tag at the node of the given key; never 0.
inline uint64_t busy_tag(uint64_t node_key, Move m) {
  return (node_key ^ (uint64_t(m) * 0x9E3779B97F4A7C15ull)) | 1;
}

inline std::atomic<uint64_t>* busy_bucket(BusyMoves& b, uint64_t tag) {
  return &b.slots[size_t((tag >> 20) % BusyMoves::BUCKETS) * BusyMoves::WAYS];
}

inline bool busy_elsewhere(BusyMoves& b, uint64_t tag) {
  std::atomic<uint64_t>* s = busy_bucket(b, tag);
  for (int i = 0; i < BusyMoves::WAYS; ++i)
    if (s[i].load(std::memory_order_relaxed) == tag) return true;
  return false;
}

// Marks the move as being searched; false when another thread had marked it
// already (its mark is not ours to take back). A full bucket gives up its
// first slot.
inline bool busy_start(BusyMoves& b, uint64_t tag) {
  std::atomic<uint64_t>* s = busy_bucket(b, tag);
  for (int i = 0; i < BusyMoves::WAYS; ++i) {
    uint64_t v = s[i].load(std::memory_order_relaxed);
    if (v == tag) return false;
    if (v == 0 && s[i].compare_exchange_strong(v, tag, std::memory_order_relaxed)) return true;
  }
  s[0].store(tag, std::memory_order_relaxed);
  return true;
}

inline void busy_end(BusyMoves& b, uint64_t tag) {
  std::atomic<uint64_t>* s = busy_bucket(b, tag);
  for (int i = 0; i < BusyMoves::WAYS; ++i) {
    uint64_t v = tag;
    s[i].compare_exchange_strong(v, 0, std::memory_order_relaxed);
  }
}

// What the threads of one search share besides the table. An iteration
// costs the time of the fastest thread: once any thread finishes one, the
// others drop theirs (or an earlier one) and go on from its result.
struct SearchShare {
  BusyMoves moves;
  std::atomic<int32_t> finished{0};  // the deepest iteration a thread finished
  std::mutex lock;                   // guards finished's result
  int32_t score = 0;
  std::vector<Move> variation;  // the root move first
};

// Whether another thread has finished the given iteration or a later one.
inline bool overtaken(const SearchShare* share, int32_t iteration) {
  return share && share->finished.load(std::memory_order_relaxed) >= iteration;
}
