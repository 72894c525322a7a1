#include "search/tt.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int32_t MATE_SCORE = 10000;  // larger magnitudes count plies to a mate

inline TTSlot* slot_of(const Position& pos, uint64_t key) {
  const TranspositionTable& tt = pos.tt;
  if (tt.bucket_count == 0) return nullptr;
  return &tt.buckets[bucket_of(key, tt.reciprocal, tt.bucket_count)]
              .slot[pos.side_to_move == 1 ? 0 : 1];
}

}  // namespace

int32_t prime_bucket_count(int32_t n) {
  if (n < 5) return 3;
  const int32_t s = int32_t(std::sqrt(double(n)));
  int32_t c = (n & 1) ? n : n - 1;
  for (int32_t d = 3; d <= s;) {
    if (c % d == 0) {
      c -= 2;
      d = 3;
    } else {
      d += 2;
    }
  }
  return c;
}

void tt_release(TranspositionTable& tt) {
  release_table_memory(tt.buckets, tt.bytes);
  tt.buckets = nullptr;
  tt.bucket_count = 0;
  tt.bytes = 0;
}

void tt_clear(TranspositionTable& tt) {
  if (tt.bucket_count) std::memset(static_cast<void*>(tt.buckets), 0, tt.bytes);
}

void tt_allocate(TranspositionTable& tt, int32_t requested) {
  tt_release(tt);
  for (int32_t n = requested;; n /= 2) {
    const int32_t count = prime_bucket_count(n);
    tt.buckets = static_cast<TtBucket*>(table_memory(size_t(count) * sizeof(TtBucket)));
    if (tt.buckets) {
      tt.bytes = size_t(count) * sizeof(TtBucket);
      tt.bucket_count = uint32_t(count);
      tt.reciprocal = bucket_reciprocal(tt.bucket_count);
      if (n != requested)
        std::fprintf(stderr, "KELO: not enough memory for the hash table, using %d buckets\n",
                     count);
      return;
    }
    if (count == 3) break;
  }
  std::fprintf(stderr, "KELO: no memory for a hash table, searching without one\n");
}

void tt_store(Position& pos, uint64_t key, int32_t score, uint32_t best_move, uint32_t bound,
              int32_t depth, int32_t ply) {
  TTSlot* s = slot_of(pos, key);
  if (!s) return;
  // A mate is kept as a distance from this position, valid at any depth.
  if (score > MATE_SCORE) {
    score += ply;
    depth = 0;
  }
  if (score < -MATE_SCORE) {
    score -= ply;
    depth = 0;
  }
  tt_write(*s, TtEntry{key, bound, depth, score, best_move});
}

uint32_t tt_probe(const Position& pos, uint64_t key, int32_t depth, int32_t ply, int32_t& score,
                  uint32_t& best_move) {
  const TTSlot* slot = slot_of(pos, key);
  if (!slot) return 0;
  const TtEntry s = tt_read(*slot);
  if (s.key != key) return 0;
  best_move = s.best_move;
  if (s.depth < depth) return 0;
  int32_t v = s.score;
  if (v > MATE_SCORE) v -= ply;
  if (v < -MATE_SCORE) v += ply;
  score = v;
  return s.bound;
}

uint32_t tt_best_move(const Position& pos, uint64_t key) {
  const TTSlot* slot = slot_of(pos, key);
  if (!slot) return 0;
  const TtEntry s = tt_read(*slot);
  return s.key == key ? s.best_move : 0;
}

int tt_hashfull(const TranspositionTable& tt) {
  int used = 0, seen = 0;
  for (uint32_t i = 0; i < tt.bucket_count && seen < 1000; ++i)
    for (const TTSlot& s : tt.buckets[i].slot) {
      const uint32_t bound = tt_read(s).bound;
      used += bound >= TT_LOWER && bound <= TT_EXACT;
      ++seen;
    }
  return seen ? used * 1000 / seen : 0;
}
