#include "search/tt.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

inline TTSlot* slot_of(const Position& pos, uint64_t key) {
  if (pos.tt.bucket_count == 0) return nullptr;
  TtBucket& b = pos.tt.buckets[key % uint64_t(pos.tt.bucket_count)];
  return &b.slot[pos.side_to_move == 1 ? 0 : 1];
}

}  // namespace

int32_t prime_bucket_count(int32_t n) {
  if (n < 5) return 3;
  const int32_t s = int32_t(std::sqrt(double(n)));
  int32_t c = n % 2 ? n : n - 1;
  for (;;) {
    bool composite = false;
    for (int32_t d = 3; d <= s; d += 2)
      if (c % d == 0) {
        composite = true;
        break;
      }
    if (!composite) return c;
    c -= 2;
  }
}

void tt_allocate(TranspositionTable& tt, int32_t requested) {
  std::free(tt.buckets);
  tt.buckets = nullptr;
  tt.bucket_count = 0;
  for (int32_t want = requested;; want /= 2) {
    int32_t count = prime_bucket_count(want);
    void* array = std::calloc(size_t(count), sizeof(TtBucket));
    if (array) {
      if (want != requested)
        std::fprintf(stderr, "KELO: not enough memory for %d hash buckets, using %d\n",
                     int(prime_bucket_count(requested)), int(count));
      tt.buckets = static_cast<TtBucket*>(array);
      tt.bucket_count = uint32_t(count);
      return;
    }
    if (count == 3) {
      std::fprintf(stderr, "KELO: out of memory for the hash table\n");
      std::exit(1);
    }
  }
}

void tt_store(Position& pos, uint64_t key, int32_t score, uint32_t best_move, uint32_t bound,
              int32_t depth, int32_t ply) {
  TTSlot* s = slot_of(pos, key);
  if (!s) return;
  s->key = key;
  // Mates are kept as distances from this position.
  int32_t v = score, d = depth;
  if (v >= 10001) v += ply, d = 0;
  if (v < -10000) v -= ply, d = 0;
  s->score = v;
  s->best_move = best_move;
  s->bound = bound;
  s->depth = d;
}

uint32_t tt_probe(const Position& pos, uint64_t key, int32_t depth, int32_t ply, int32_t& score,
                  uint32_t& best_move) {
  const TTSlot* s = slot_of(pos, key);
  if (!s || s->key != key) return 0;
  best_move = s->best_move;
  if (s->depth < depth) return 0;
  int32_t v = s->score;
  if (v > 10000) v -= ply;
  if (v < -10000) v += ply;
  score = v;
  return s->bound;
}

uint32_t tt_best_move(const Position& pos, uint64_t key) {
  const TTSlot* s = slot_of(pos, key);
  return s && s->key == key ? s->best_move : 0;
}
