// Counting the leaves of the legal move tree.
#pragma once

#include <vector>

#include "position/position.h"

// Leaves at depth plies below the position. The generator yields legal moves
// only, so the last ply's moves are counted as generated, not made. Adds the
// nodes of plies 1 to depth to pos.node_count.
int64_t perft(Position& pos, int32_t depth);

// A root move and the leaves below it.
struct RootCount {
  Move move;
  int64_t leaves;
};

// The leaves below each root move, in generation order, the subtrees shared
// among threads (the caller's own included; 1 or less: the caller alone).
// pos.node_count grows as perft's would.
std::vector<RootCount> perft_divide(Position& pos, int32_t depth, int32_t threads);
// perft with the work shared among threads as perft_divide shares it.
int64_t perft(Position& pos, int32_t depth, int32_t threads);
