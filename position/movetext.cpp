#include "position/movetext.h"

#include "position/makemove.h"
#include "position/movegen.h"

namespace {

// Only the lower-case letters of the pieces a pawn may become name a
// promotion (e7e8q); the code carries the mover's colour.
unsigned promotion_code(char c, int side_to_move) {
  const unsigned kind = c >= 'a' && c != 'k' ? kind_from_letter(char(c - 'a' + 'A')) : 0;
  return kind ? make_piece(side_to_move == 1 ? White : Black, kind) : 0;
}

}  // namespace

bool is_coordinate_move(const char* line) {
  return names_square(line) && names_square(line + 2);
}

bool play_move_text(Position& pos, const char* line) {
  const Square from = square_named(line), to = square_named(line + 2);
  const unsigned promo = promotion_code(line[4], pos.side_to_move);
  generate_all(pos);
  bool found = false;
  for (int i = 0; i < pos.move_stack.count(); ++i) {
    Move m = pos.move_stack.at(i);
    if (move_from(m) == from && move_to(m) == to && move_promotion(m) == promo) {
      make_listed(pos, i);
      found = true;
      break;
    }
  }
  pos.move_stack.close_level();
  return found;
}

Move legal_move_named(Position& pos, const char* text) {
  if (!is_coordinate_move(text)) return 0;
  const Square from = square_named(text), to = square_named(text + 2);
  const unsigned promo = promotion_code(text[4], pos.side_to_move);
  generate_all(pos);
  Move found = 0;
  for (int i = 0; i < pos.move_stack.count() && !found; ++i) {
    const Move m = pos.move_stack.at(i);
    if (move_from(m) == from && move_to(m) == to && move_promotion(m) == promo) found = m;
  }
  pos.move_stack.close_level();
  return found;
}

std::vector<Move> legal_move_list(Position& pos) {
  generate_all(pos);
  std::vector<Move> moves;
  for (int i = 0; i < pos.move_stack.count(); ++i) moves.push_back(pos.move_stack.at(i));
  pos.move_stack.close_level();
  return moves;
}

std::string move_text(Move m) {
  static const char LETTER[8] = {'p', 'p', 'n', 'b', 'r', 'q', 'k', '?'};
  std::string text;
  for (Square sq : {move_from(m), move_to(m)}) {
    text += char('a' + file_of(sq));
    text += char('0' + rank_of(sq));
  }
  if (unsigned promo = move_promotion(m)) text += LETTER[kind_of(promo)];
  return text;
}
