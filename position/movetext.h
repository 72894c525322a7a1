// Moves in coordinate notation: e2e4, e1g1 for castling, e7e8q; a Chess960
// castling is the king taking its own rook (e1h1).
#pragma once

#include <string>
#include <vector>

#include "position/position.h"

// Coordinates and piece letters, read alike in coordinate moves and in the
// book builder's SAN tokens.
constexpr bool is_file_letter(char c) { return c >= 'a' && c <= 'h'; }
constexpr bool is_rank_digit(char c) { return c >= '1' && c <= '8'; }
// Whether the two characters at s name a square, as "e4" does.
constexpr bool names_square(const char* s) { return is_file_letter(s[0]) && is_rank_digit(s[1]); }
// The square that the two characters at s name; names_square(s) must hold.
constexpr Square square_named(const char* s) { return make_square(s[0] - 'a', s[1] - '0'); }
// The kind of a SAN piece letter (K, Q, R, B, N); 0 for any other character.
constexpr unsigned kind_from_letter(char c) {
  switch (c) {
    case 'K': return KING;
    case 'Q': return QUEEN;
    case 'R': return ROOK;
    case 'B': return BISHOP;
    case 'N': return KNIGHT;
    default: return 0;
  }
}

std::string move_text(Move m);
// Whether the line begins with a file, a rank, a file and a rank.
bool is_coordinate_move(const char* line);
// Whether the line begins with O-O or O-O-O (or 0-0, 0-0-0) as a whole word.
bool is_castling_text(const char* line);
// "O-O" for a castling towards file h, "O-O-O" towards file a.
std::string castling_text(Move m);
// Makes the move named at the start of the line and returns true when it is
// legal; otherwise returns false and leaves the position as it was. A fifth
// character names the promotion piece. A Chess960 game also takes O-O and
// O-O-O, and a castling named by the king's target square where no other
// king move goes there.
bool play_move_text(Position& pos, const char* line);
// The legal move the text names, read as play_move_text reads it, or 0.
Move legal_move_named(Position& pos, const char* text);
// The side to move's legal moves, in generation order.
std::vector<Move> legal_move_list(Position& pos);
