// Static exchange evaluation and the ordering of the search's move stages.
// Every range indexes the current level of pos.move_stack; each operation
// moves the moves that fail its threshold to the end of the range, sorts the
// rest best first and returns the end of the kept part.
#pragma once

#include <cstdint>

#include "position/position.h"

// Material outcome, for the mover, of the exchange m starts on its target.
int32_t static_exchange_eval(const Position& pos, Move m);

// Captures losing more than half a pawn go last; a recapture on last_to and
// a material lead both favour keeping a capture.
int order_good_captures(Position& pos, int begin, int end, Square last_to);
// Quiet moves that lose material go last; the rest by history counter of
// side (1 White, 0 Black).
int order_quiet_moves(Position& pos, int begin, int end, int side);
int order_losing_captures(Position& pos, int begin, int end);
int order_losing_quiets(Position& pos, int begin, int end);
// Keeps the captures that win material and can lift the score to alpha.
int select_qsearch_captures(Position& pos, int begin, int end, int32_t stand_pat, int32_t alpha);

// Shell sort of moves by keys, highest first, moves and keys together. The
// gaps run n, then 5 * gap / 11, with 1 after 2 to 4; equal keys may change
// places, and in the same way every time.
template <typename Key>
void shell_sort(Move* moves, Key* keys, int n) {
  for (int gap = n; gap > 0; gap = (gap >= 2 && gap <= 4) ? 1 : 5 * gap / 11) {
    for (int i = gap; i < n; ++i) {
      const Move m = moves[i];
      const Key k = keys[i];
      int j = i;
      for (; j >= gap && k > keys[j - gap]; j -= gap) {
        moves[j] = moves[j - gap];
        keys[j] = keys[j - gap];
      }
      moves[j] = m;
      keys[j] = k;
    }
  }
}
