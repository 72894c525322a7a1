#include "eval/pawn_report.h"
#include "position/attacks.h"

Bitboard passed_span[2][64];
Bitboard adjacent_files_mask[64];
Bitboard same_file_mask[64];

namespace {

constexpr Bitboard repeat_byte(unsigned byte) { return Bitboard(byte) * 0x0101010101010101ull; }

// One byte per row: the neighbouring files of files a to h.
constexpr unsigned ADJACENT_FILE_BYTES[8] = {0x02, 0x05, 0x0A, 0x14, 0x28, 0x50, 0xA0, 0x40};

Bitboard rows_between(int first, int last) {
  Bitboard b = 0;
  for (int r = first; r <= last; ++r) b |= RANK_8_BB << (8 * r);
  return b;
}

}  // namespace

void init_pawn_masks() {
  for (int row = 0; row < 8; ++row) {
    // Pawns never stand on the first or last row; their spans stay empty.
    const bool pawn_row = row >= 1 && row <= 6;
    const Bitboard white_rows = pawn_row ? rows_between(1, row - 1) : 0;
    const Bitboard black_rows = pawn_row ? rows_between(row + 1, 6) : 0;
    for (int file = 0; file < 8; ++file) {
      const Square sq = 8 * row + file;
      const Bitboard own_file = repeat_byte(1u << file);
      const Bitboard neighbours = repeat_byte(ADJACENT_FILE_BYTES[file]);
      same_file_mask[sq] = own_file;
      adjacent_files_mask[sq] = neighbours;
      passed_span[White][sq] = white_rows & (own_file | neighbours);
      passed_span[Black][sq] = black_rows & (own_file | neighbours);
    }
  }
}
