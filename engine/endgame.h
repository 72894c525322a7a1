// Endgame knowledge in play: the tablebases and the KPK bitbase answer for
// positions of few pieces, inside the search (as its oracle) and at the root.
#pragma once

#include <cstdint>
#include <vector>

#include "position/position.h"

struct EndgameKnowledge {
  bool tablebases = false;  // registered tables are probed
  bool kpk = false;         // kpk.bin scores king and pawn against king
};

// The oracle's probe; `context` is an EndgameKnowledge. The tables answer
// where a capture or a pawn move has just made the material (the search
// plays on inside a class by itself); the bitbase answers every KPK node.
bool endgame_probe(void* context, Position& pos, int ply, int32_t& score);

// The KPK bitbase's score for the side to move: won, a large score below
// every mate score that grows as the pawn advances; drawn, 0. False when
// the position is not king and pawn against king.
bool kpk_score(const Position& pos, int32_t& score);

// At the root, from the tablebases: the best result and the moves that keep
// it (for a win the fastest mates, for a loss the longest defences, for a
// draw every drawing move), with the score as the search would give it.
// False when some move's position is not in the tables.
struct TablebaseRoot {
  int32_t score = 0;
  std::vector<Move> moves;
};
bool tablebase_root(Position& pos, TablebaseRoot& root);
