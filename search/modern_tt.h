// The modern search's view of the transposition table: the same buckets as
// the classic table (the engine empties the table when the style changes),
// each holding three entries of two words instead of two slots of three.
//
//   ModernSlot, 16 bytes: check = key XOR data, so that an entry mixed from
//   two writes fails the key test, and data:
//
//   bit 63   59 58 57 56 55      48 47        32 31        16 15         0
//       +-----+--+-----+----------+------------+------------+------------+
//       | gen |pv|bound| depth + 8|    eval    |   score    |    move    |
//       +-----+--+-----+----------+------------+------------+------------+
//
// move: from, to and the promotion's kind (the rest follows from the
// board); score: mate scores count from the entry's position; eval: the
// static evaluation, or NO_EVAL; depth: plies, 0 and below for the
// quiescence search; an entry of depth field 0 is empty.
#pragma once

#include <atomic>
#include <cstdint>

#include "position/position.h"
#include "search/tt.h"

struct ModernSlot {
  std::atomic<uint64_t> check;
  std::atomic<uint64_t> data;
};
struct ModernBucket {
  static constexpr int WAYS = 3;
  ModernSlot slot[WAYS];
};
static_assert(sizeof(ModernBucket) == sizeof(TtBucket));

constexpr int32_t NO_EVAL = -32768;
constexpr uint32_t MODERN_GENERATIONS = 32;

struct ModernEntry {
  Move move = 0;  // unchecked: may not be legal here
  int32_t score = 0;  // from the root's point of view at the probing ply
  int32_t eval = NO_EVAL;
  int32_t depth = 0;
  uint32_t bound = 0;  // TT_LOWER, TT_UPPER, TT_EXACT
  bool pv = false;     // stored by a principal-variation node
};

// The key the modern search files positions under: the position key, which
// leaves the side to move out, with the side put in.
inline uint64_t modern_key(const Position& pos) {
  return pos.side_to_move == 1 ? pos.hash_key ^ 0x9D39247E33776D41ull : pos.hash_key;
}

inline ModernBucket* modern_bucket(const TranspositionTable& tt, uint64_t key) {
  return reinterpret_cast<ModernBucket*>(&tt.buckets[bucket_of(key, tt.reciprocal, tt.bucket_count)]);
}

inline void modern_tt_prefetch(const TranspositionTable& tt, uint64_t key) {
  if (tt.bucket_count) __builtin_prefetch(modern_bucket(tt, key));
}

// The move word of a packed table move in this position, or 0 when no
// piece stands on its origin.
Move unpack_move(const Position& pos, uint32_t packed);
inline uint32_t pack_move(Move m) {
  return uint32_t(move_from(m) | move_to(m) << 6 | kind_of(move_promotion(m)) << 12);
}

// Finds the position's entry; false when the table has none.
bool modern_tt_probe(const Position& pos, uint64_t key, int32_t ply, ModernEntry& entry);
// Stores an entry, replacing the same position's (keeping its move when
// this one has none) or the bucket's shallowest and oldest.
void modern_tt_store(const Position& pos, uint64_t key, int32_t ply, uint32_t generation,
                     const ModernEntry& entry);
// Per mille of the table's first thousand entries stored this generation.
int modern_tt_hashfull(const TranspositionTable& tt, uint32_t generation);
