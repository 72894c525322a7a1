// The modern search's move picker: a node's moves one at a time, best
// first by stage. A stage's moves are generated only when the stages before
// it are spent, so a node that cuts off on the table's move or a good
// capture never generates its quiet moves. Every move handed out is legal.
#pragma once

#include <cstdint>

#include "position/movegen.h"
#include "position/position.h"
#include "search/modern_history.h"

// Exchange values by piece kind, for ordering and pruning.
constexpr int32_t PIECE_VALUE[8] = {0, 100, 300, 300, 520, 980, 0, 0};

inline bool is_quiet(Move m) { return (m & MOVE_TACTICAL_MASK) == 0; }
// A move's victim kind; a pawn for en passant.
inline unsigned victim_kind(Move m) {
  return m & MOVE_EN_PASSANT ? PAWN : kind_of(move_captured(m));
}

struct ModernPicker {
  enum Stage {
    TABLE_MOVE,
    GENERATE_CAPTURES,
    GOOD_CAPTURES,
    KILLER1,
    KILLER2,
    COUNTER,
    GENERATE_QUIETS,
    QUIETS,
    BAD_CAPTURES,
    GENERATE_UNDERPROMOTIONS,
    UNDERPROMOTIONS,
    DONE,
  };
  static constexpr int MAX_MOVES = 256;

  Position& pos;
  const KingGuard& guard;
  const MoveHistories& hist;
  // The continuation rows of the moves one, two and four plies before (a
  // row of zeros where there is none).
  const ContinuationTable* cont[3];
  Move table_move;
  Move killer1, killer2, counter;
  // The quiescence search asks for captures and queen promotions only
  // (evasions in check are all moves).
  bool captures_only;
  // Set by the search: quiet moves not yet handed out are passed over.
  bool skip_quiets = false;
  Stage stage = TABLE_MOVE;

  int cur = 0, end = 0;
  int bad_end = 0;       // losing captures kept at [0, bad_end)
  int capture_end = 0;   // the captures' part of the level
  int quiet_end = 0;
  Move tried[4] = {};    // the one-move stages' moves, passed over later
  int tried_count = 0;
  int32_t scores[MAX_MOVES];

  ModernPicker(Position& p, const KingGuard& g, const MoveHistories& h,
               const ContinuationTable* c1, const ContinuationTable* c2,
               const ContinuationTable* c4, Move tt, Move k1, Move k2, Move cm, bool qsearch);

  // The next move, or 0 when none is left.
  Move next();

 private:
  bool already_tried(Move m) const;
  bool usable_quiet(Move m) const;
  void score_captures(int from, int to);
  void score_quiets(int from, int to);
  Move pick_best();
};
