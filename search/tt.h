// The transposition table: a prime number of buckets, each with one slot
// for White to move and one for Black, since the key leaves the side out.
#pragma once

#include <atomic>
#include <cstdint>

#include "position/position.h"

//   TTSlot, 24 bytes, three words written and read one at a time:
//
//   byte 0               8         12        16        20        24
//        +---------------+---------+---------+---------+---------+
//        |     check     |  bound  |  depth  |  score  |best_move|
//        +---------------+---------+---------+---------+---------+
//                         \_______ info ______/\______ result _____/
//
// check is the key XOR info XOR result: searches on several threads may
// write one slot at once, and a slot mixed from two writes then fails the
// key test instead of handing out another position's score. The words are
// relaxed atomics, plain loads and stores on the machine.
// bound: 1 lower, 2 upper, 3 exact, anything else never acted on. depth in
// sixteenths of a ply, 0 for a mate score; a mate score counts from the
// position, not from the root.
struct TTSlot {
  std::atomic<uint64_t> check;
  std::atomic<uint64_t> info;
  std::atomic<uint64_t> result;
};
static_assert(sizeof(TTSlot) == 24);

// One slot's content, as read at once.
struct TtEntry {
  uint64_t key;
  uint32_t bound;
  int32_t depth;
  int32_t score;
  uint32_t best_move;
};

inline TtEntry tt_read(const TTSlot& s) {
  const uint64_t info = s.info.load(std::memory_order_relaxed);
  const uint64_t result = s.result.load(std::memory_order_relaxed);
  const uint64_t check = s.check.load(std::memory_order_relaxed);
  return TtEntry{check ^ info ^ result, uint32_t(info), int32_t(uint32_t(info >> 32)),
                 int32_t(uint32_t(result)), uint32_t(result >> 32)};
}

inline void tt_write(TTSlot& s, const TtEntry& e) {
  const uint64_t info = uint64_t(e.bound) | uint64_t(uint32_t(e.depth)) << 32;
  const uint64_t result = uint64_t(uint32_t(e.score)) | uint64_t(e.best_move) << 32;
  s.check.store(e.key ^ info ^ result, std::memory_order_relaxed);
  s.info.store(info, std::memory_order_relaxed);
  s.result.store(result, std::memory_order_relaxed);
}

//   TtBucket, 48 bytes: slot[0] White to move | slot[1] Black to move
struct TtBucket {
  TTSlot slot[2];
};
static_assert(sizeof(TtBucket) == 48);

constexpr uint32_t TT_LOWER = 1, TT_UPPER = 2, TT_EXACT = 3;

// The largest prime not above n, and 3 below 5.
int32_t prime_bucket_count(int32_t n);

// key % d without a division: with r = bucket_reciprocal(d), the low 128 bits
// of r * key, times d, have the remainder as their bits 128 and up. Exact for
// every 64-bit key and every d from 1 to 2^32 - 1 (a 128-bit fraction carries
// more than 64 + 32 bits); a hardware division costs tens of cycles per node.
constexpr unsigned __int128 bucket_reciprocal(uint32_t d) {
  return ~(unsigned __int128)0 / d + 1;
}
inline uint64_t bucket_of(uint64_t key, unsigned __int128 reciprocal, uint32_t d) {
  const unsigned __int128 low = reciprocal * key;
  // (low * d) >> 128, from the two 64-bit halves of low.
  const unsigned __int128 bottom = (low & ~uint64_t(0)) * d >> 64;
  return uint64_t((bottom + (low >> 64) * d) >> 64);
}
// Replaces the table by a zero-filled one of prime_bucket_count(requested)
// buckets, halving the request while memory is short.
void tt_allocate(TranspositionTable& tt, int32_t requested);
// Gives the table's memory back; the handle is then an empty table.
void tt_release(TranspositionTable& tt);
// Empties the table, keeping its size.
void tt_clear(TranspositionTable& tt);
// Per mille of the table's first thousand slots that hold an entry.
int tt_hashfull(const TranspositionTable& tt);

// The slot operations touch the slot of pos.side_to_move only; an empty table
// stores nothing and finds nothing.
void tt_store(Position& pos, uint64_t key, int32_t score, uint32_t best_move, uint32_t bound,
              int32_t depth, int32_t ply);
uint32_t tt_probe(const Position& pos, uint64_t key, int32_t depth, int32_t ply, int32_t& score,
                  uint32_t& best_move);
uint32_t tt_best_move(const Position& pos, uint64_t key);

// Asks the processor to fetch the position's slot ahead of its probe.
inline void tt_prefetch(const Position& pos) {
  const TranspositionTable& tt = pos.tt;
  if (tt.bucket_count)
    __builtin_prefetch(&tt.buckets[bucket_of(pos.hash_key, tt.reciprocal, tt.bucket_count)]
                            .slot[pos.side_to_move == 1 ? 0 : 1]);
}
