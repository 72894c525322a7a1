// The transposition table: buckets of two slots, one per side to move.
#pragma once

#include <cstdint>

#include "position/position.h"

//   TTSlot, 24 bytes:
//   +--------------------------------+--------+--------+--------+-----------+
//   | key (64)                       | bound  | depth  | score  | best_move |
//   +--------------------------------+--------+--------+--------+-----------+
//   bound 1 lower, 2 upper, 3 exact, anything else never acted on; a mate
//   score is stored relative to the position, with depth 0.
struct TTSlot {
  uint64_t key;
  uint32_t bound;
  int32_t depth;
  int32_t score;
  uint32_t best_move;
};
static_assert(sizeof(TTSlot) == 24);

// Slot 0 holds the position with White to move, slot 1 with Black: the key
// does not include the side to move.
struct TtBucket {
  TTSlot slot[2];
};
static_assert(sizeof(TtBucket) == 48);

// The largest prime not above n (3 for n below 5).
int32_t prime_bucket_count(int32_t n);

// Replaces the table by a zero-filled one of prime_bucket_count(requested)
// buckets, halving the request while memory cannot be had.
void tt_allocate(TranspositionTable& tt, int32_t requested);

void tt_store(Position& pos, uint64_t key, int32_t score, uint32_t best_move, uint32_t bound,
              int32_t depth, int32_t ply);
// The stored bound when the slot holds key with at least depth (writing the
// score), else 0; the best move is written on any key match.
uint32_t tt_probe(const Position& pos, uint64_t key, int32_t depth, int32_t ply, int32_t& score,
                  uint32_t& best_move);
uint32_t tt_best_move(const Position& pos, uint64_t key);
