#include "frontend/game_end.h"

#include <cstdio>

#include "position/attacks.h"
#include "position/makemove.h"
#include "position/movegen.h"

namespace {

void result(const char* line) {
  std::printf("%s\n", line);
  std::fflush(stdout);
}

}  // namespace

int insufficient_material(const Position& pos, int side) {
  const int own = side == 1 ? 0 : 1;
  const Bitboard* p = pos.piece_bb;
  if (p[0 + own] | p[6 + own] | p[8 + own]) return 0;
  const int pieces = popcount(side == 1 ? pos.occ_white : pos.occ_black);
  if (pieces < 3) return 1;
  if (pieces > 3) return 0;
  // King and two minor pieces: only two knights cannot force mate.
  return popcount(p[2 + own]) == 2 ? 1 : 0;
}

int game_over(Position& pos) {
  // The fifty-move rule comes first: it draws even a mated position.
  if (pos.fifty_count > 7) {
    if (pos.fifty_count > 99) {
      result("1/2-1/2 {Tablas, 50 movimientos}");
      return 1;
    }
    if (repetition_count(pos) > 2) {
      result("1/2-1/2 {Tablas, 3 repeticiones}");
      return 1;
    }
  }
  if (has_legal_move(pos)) {
    if (!insufficient_material(pos, 1) || !insufficient_material(pos, 0)) return 0;
    result("1/2-1/2 {Tablas, Material Insuficiente}");
    return 1;
  }
  // Without the king of the side to move there is no mate to announce.
  const Bitboard king = pos.piece_bb[pos.side_to_move == 1 ? 10 : 11];
  if (!king) return 0;
  if (pos.side_to_move == 1)
    result(attacked_by_black(pos, lowest_bit(king)) ? "0-1 {Negras ganan, Jaque Mate}"
                                                    : "1/2-1/2 {Tablas, Rey blanco ahogado}");
  else
    result(attacked_by_white(pos, lowest_bit(king)) ? "1-0 {Blancas ganan, Jaque Mate}"
                                                    : "1/2-1/2 {Tablas, Rey negro ahogado}");
  return 1;
}
