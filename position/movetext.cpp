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

// 1 for O-O, 2 for O-O-O (either with zeros), 0 for any other text.
int castling_letters(const char* text) {
  const char o = text[0];
  if ((o != 'O' && o != '0') || text[1] != '-' || text[2] != o) return 0;
  const bool long_side = text[3] == '-' && text[4] == o;
  const char after = text[long_side ? 5 : 3];
  if (after != 0 && after != ' ' && after != '+' && after != '#') return 0;
  return long_side ? 2 : 1;
}

// Index in the top move list of the legal move the text names, or -1:
// coordinates and a promotion letter; in a Chess960 game also O-O and O-O-O,
// and a castling named by the king's target square (e1g1) where no other
// move of the king goes there.
int listed_move_named(Position& pos, const char* text) {
  const bool chess960 = pos.castling.chess960;
  if (const int letters = chess960 ? castling_letters(text) : 0) {
    for (int i = 0; i < pos.move_stack.count(); ++i) {
      const Move m = pos.move_stack.at(i);
      if ((m & MOVE_CASTLE) && (move_to(m) > move_from(m)) == (letters == 1)) return i;
    }
    return -1;
  }
  if (!is_coordinate_move(text)) return -1;
  const Square from = square_named(text), to = square_named(text + 2);
  const unsigned promo = promotion_code(text[4], pos.side_to_move);
  for (int i = 0; i < pos.move_stack.count(); ++i) {
    const Move m = pos.move_stack.at(i);
    if (move_from(m) == from && move_to(m) == to && move_promotion(m) == promo) return i;
  }
  if (!chess960) return -1;
  for (int i = 0; i < pos.move_stack.count(); ++i) {
    const Move m = pos.move_stack.at(i);
    if ((m & MOVE_CASTLE) && move_from(m) == from && !promo &&
        castle_king_target((pos.side_to_move == 1 ? 0 : 2) + (move_to(m) > from ? 0 : 1)) == to)
      return i;
  }
  return -1;
}

}  // namespace

bool is_coordinate_move(const char* line) {
  return names_square(line) && names_square(line + 2);
}

bool is_castling_text(const char* line) { return castling_letters(line) != 0; }

bool play_move_text(Position& pos, const char* line) {
  generate_all(pos);
  const int i = listed_move_named(pos, line);
  if (i >= 0) make_listed(pos, i);
  pos.move_stack.close_level();
  return i >= 0;
}

Move legal_move_named(Position& pos, const char* text) {
  generate_all(pos);
  const int i = listed_move_named(pos, text);
  const Move found = i >= 0 ? pos.move_stack.at(i) : 0;
  pos.move_stack.close_level();
  return found;
}

std::string castling_text(Move m) { return move_to(m) > move_from(m) ? "O-O" : "O-O-O"; }

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
