#include "eval/pawn_report.h"

#include <cstdio>

#include "position/attacks.h"
#include "position/fen.h"

namespace {

// own, other: the pawn sets of the colour classified and of its opponent;
// behind: for each square, where a defending pawn of that colour stands.
void classify(Colour c, Bitboard own, Bitboard other, const Bitboard* behind, PawnClasses& out) {
  out.passed[c] = out.isolated[c] = out.doubled[c] = out.defended[c] = 0;
  for (Bitboard b = own; b;) {
    const Square sq = pop_lowest(b);
    const Bitboard bit = square_bb(sq);
    if (!(passed_span[c][sq] & (own | other))) out.passed[c] |= bit;
    if (!(adjacent_files_mask[sq] & own)) out.isolated[c] |= bit;
    if (same_file_mask[sq] & own & ~bit) out.doubled[c] |= bit;
    if (behind[sq] & own) out.defended[c] |= bit;
  }
  out.undefended[c] = own & ~out.defended[c];
}

void print_grid(const char* title, Bitboard set) {
  std::printf("%s\n", title);
  std::fflush(stdout);
  char line[10];
  for (int row = 0; row < 8; ++row) {
    for (int file = 0; file < 8; ++file) line[file] = (set >> (8 * row + file)) & 1 ? 'X' : '-';
    line[8] = '\n';
    line[9] = 0;
    std::fputs(line, stdout);
  }
  std::fputs("\n", stdout);
  std::fflush(stdout);
}

}  // namespace

PawnClasses classify_pawns(const Position& pos) {
  const Bitboard white = pos.piece_bb[piece_bb_index(W_PAWN)];
  const Bitboard black = pos.piece_bb[piece_bb_index(B_PAWN)];
  PawnClasses out{};
  // A white pawn's defenders stand where a black pawn on its square would capture.
  classify(White, white, black, pawn_attacks_black, out);
  classify(Black, black, white, pawn_attacks_white, out);
  return out;
}

void pawn_report(const Position& pos) {
  const PawnClasses k = classify_pawns(pos);
  const struct {
    const char* title;
    Bitboard set;
  } rows[10] = {
      {"PEON PASADO BLANCO", k.passed[White]},       {"PEON AISLADO BLANCO", k.isolated[White]},
      {"PEON DOBLADO BLANCO", k.doubled[White]},     {"PEON DEFENDIDO BLANCO", k.defended[White]},
      {"PEON INDEFENSO BLANCO", k.undefended[White]}, {"PEON PASADO NEGRO", k.passed[Black]},
      {"PEON AISLADO NEGRO", k.isolated[Black]},     {"PEON DOBLADO NEGRO", k.doubled[Black]},
      {"PEON DEFENDIDO NEGRO", k.defended[Black]},   {"PEON INDEFENSO NEGRO", k.undefended[Black]},
  };
  for (const auto& row : rows) {
    std::fputs(board_diagram(pos).c_str(), stdout);
    std::fflush(stdout);
    print_grid(row.title, row.set);
  }
}
