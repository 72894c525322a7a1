#include "position/game_end.h"

#include "position/attacks.h"
#include "position/makemove.h"
#include "position/movegen.h"

int insufficient_material(const Position& pos, int side) {
  const int own = side == 1 ? 0 : 1;  // piece_bb interleaves White, Black
  const Bitboard* p = pos.piece_bb;
  if (p[own] | p[own + 6] | p[own + 8]) return 0;  // a pawn, rook or queen mates
  const int pieces = popcount(side == 1 ? pos.occ_white : pos.occ_black);
  if (pieces < 3) return 1;
  if (pieces > 3) return 0;
  // Two knights cannot force mate; two bishops or bishop and knight can.
  return popcount(p[own + 2]) == 2 ? 1 : 0;
}

namespace {

// Of the materials where neither side can force mate, only those where no
// sequence of legal moves mates at all are a draw: a king and at most one
// minor piece against a bare king, or bishops on squares of one colour.
// Knight against knight or bishop, bishops of both colours, and two knights
// can still mate with the loser's help; an interface that checks the claim
// would score it as a false claim and forfeit the game.
bool no_mate_possible(const Position& pos) {
  const Bitboard* p = pos.piece_bb;
  const Bitboard knights = p[2] | p[3], bishops = p[4] | p[5];
  if (popcount(knights | bishops) <= 1) return true;
  if (knights) return false;
  // a8 is square 0: a square's colour is the parity of its row plus column.
  constexpr Bitboard DARK = 0x55AA55AA55AA55AAULL;
  return (bishops & DARK) == 0 || (bishops & ~DARK) == 0;
}

}  // namespace

const char* game_result(Position& pos) {
  const Bitboard king = pos.piece_bb[pos.side_to_move == 1 ? 10 : 11];
  if (!king) return nullptr;

  // Too few reversible plies for either draw to be possible.
  if (pos.fifty_count > 7) {
    if (pos.fifty_count > 99) return "1/2-1/2 {Tablas, 50 movimientos}";
    if (repetition_count(pos) > 2) return "1/2-1/2 {Tablas, 3 repeticiones}";
  }
  if (has_legal_move(pos)) {
    if (!insufficient_material(pos, 1)) return nullptr;
    if (!insufficient_material(pos, 0)) return nullptr;
    if (!no_mate_possible(pos)) return nullptr;
    return "1/2-1/2 {Tablas, Material Insuficiente}";
  }
  const Square king_sq = lowest_bit(king);
  if (pos.side_to_move == 1)
    return attacked_by_black(pos, king_sq) ? "0-1 {Negras ganan, Jaque Mate}"
                                           : "1/2-1/2 {Tablas, Rey blanco ahogado}";
  return attacked_by_white(pos, king_sq) ? "1-0 {Blancas ganan, Jaque Mate}"
                                         : "1/2-1/2 {Tablas, Rey negro ahogado}";
}
