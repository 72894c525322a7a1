#include "position/attacks.h"

#include <cstdlib>
#include <vector>

#include "position/position.h"

Bitboard square_mask[64];
Bitboard pawn_push_white[64], pawn_double_white[64], pawn_attacks_white[64];
Bitboard pawn_push_black[64], pawn_double_black[64], pawn_attacks_black[64];
Bitboard knight_attacks[64], king_attacks[64];
Bitboard rook_lines[64], bishop_lines[64];
Bitboard between_orth[64][64], between_diag[64][64];
Bitboard castle_path[4];

Bitboard rook_mask[64], bishop_mask[64];
unsigned rook_shift[64], bishop_shift[64];
Bitboard* rook_table[64];
Bitboard* bishop_table[64];

namespace {

Bitboard rook_storage[102400];
Bitboard bishop_storage[5248];

bool on_board(int row, int file) { return row >= 0 && row < 8 && file >= 0 && file < 8; }

struct Step {
  int drow, dfile;
};
constexpr Step ROOK_STEPS[4] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}};
constexpr Step BISHOP_STEPS[4] = {{-1, -1}, {-1, 1}, {1, -1}, {1, 1}};

// Attack set of a slider on sq walking each ray until the first blocker.
Bitboard slide(Square sq, Bitboard occ, const Step* steps) {
  Bitboard result = 0;
  for (int d = 0; d < 4; ++d) {
    int r = row_of(sq) + steps[d].drow, f = file_of(sq) + steps[d].dfile;
    while (on_board(r, f)) {
      Square s = 8 * r + f;
      result |= square_bb(s);
      if (occ & square_bb(s)) break;
      r += steps[d].drow;
      f += steps[d].dfile;
    }
  }
  return result;
}

// The relevant occupancy: the rays without their last square.
Bitboard relevant_mask(Square sq, const Step* steps) {
  Bitboard result = 0;
  for (int d = 0; d < 4; ++d) {
    int r = row_of(sq) + steps[d].drow, f = file_of(sq) + steps[d].dfile;
    while (on_board(r + steps[d].drow, f + steps[d].dfile)) {
      result |= square_bb(8 * r + f);
      r += steps[d].drow;
      f += steps[d].dfile;
    }
  }
  return result;
}

// Fills the sub-table of sq: every subset of the mask, at the index its
// multiplier gives it.
void build_slider(Square sq, bool rook, Bitboard* mask, const uint64_t* magic, unsigned* shift,
                  Bitboard** table, Bitboard*& storage) {
  const Bitboard m = walk_mask(sq, rook);
  const int n = popcount(m);
  mask[sq] = m;
  shift[sq] = 64 - n;
  table[sq] = storage;
  storage += size_t(1) << n;
  for (Bitboard occ : mask_subsets(m))
    table[sq][(occ * magic[sq]) >> shift[sq]] = walk_attacks(sq, occ, rook);
}

}  // namespace

Bitboard walk_attacks(Square sq, Bitboard occ, bool rook) {
  return slide(sq, occ, rook ? ROOK_STEPS : BISHOP_STEPS);
}

Bitboard walk_mask(Square sq, bool rook) {
  return relevant_mask(sq, rook ? ROOK_STEPS : BISHOP_STEPS);
}

std::vector<Bitboard> mask_subsets(Bitboard mask) {
  // Counting up through the subsets by borrowing only from the mask's bits.
  std::vector<Bitboard> out;
  out.reserve(size_t(1) << popcount(mask));
  Bitboard subset = 0;
  do {
    out.push_back(subset);
    subset = (subset - mask) & mask;
  } while (subset);
  return out;
}

bool multiplier_fits(Square sq, bool rook, uint64_t multiplier) {
  const Bitboard mask = walk_mask(sq, rook);
  const unsigned shift = 64 - unsigned(popcount(mask));
  std::vector<Bitboard> seen(size_t(1) << (64 - shift));
  std::vector<bool> used(seen.size());
  for (Bitboard occ : mask_subsets(mask)) {
    const size_t index = size_t((occ * multiplier) >> shift);
    const Bitboard attacks = walk_attacks(sq, occ, rook);
    // Two subsets may share an index only when they give the same attacks.
    if (used[index] && seen[index] != attacks) return false;
    used[index] = true;
    seen[index] = attacks;
  }
  return true;
}

void init_geometry() {
  square_mask[0] = 1;
  for (int sq = 1; sq < 64; ++sq) square_mask[sq] = square_mask[sq - 1] * 2;

  for (int sq = 0; sq < 64; ++sq) {
    int r = row_of(sq), f = file_of(sq);
    pawn_push_white[sq] = r > 0 ? square_bb(sq - 8) : 0;
    pawn_double_white[sq] = (sq >= 48 && sq <= 55) ? square_bb(sq - 16) : 0;
    pawn_attacks_white[sq] = 0;
    if (r > 0 && f > 0) pawn_attacks_white[sq] |= square_bb(sq - 9);
    if (r > 0 && f < 7) pawn_attacks_white[sq] |= square_bb(sq - 7);
  }
  for (int sq = 0; sq < 64; ++sq) {
    int r = row_of(sq), f = file_of(sq);
    pawn_push_black[sq] = r < 7 ? square_bb(sq + 8) : 0;
    pawn_double_black[sq] = (sq >= 8 && sq <= 15) ? square_bb(sq + 16) : 0;
    pawn_attacks_black[sq] = 0;
    if (r < 7 && f > 0) pawn_attacks_black[sq] |= square_bb(sq + 7);
    if (r < 7 && f < 7) pawn_attacks_black[sq] |= square_bb(sq + 9);
  }

  constexpr Step KING_STEPS[8] = {{-1, -1}, {-1, 0}, {-1, 1}, {0, -1},
                                  {0, 1},   {1, -1}, {1, 0},  {1, 1}};
  constexpr Step KNIGHT_STEPS[8] = {{-2, -1}, {-2, 1}, {-1, -2}, {-1, 2},
                                    {1, -2},  {1, 2},  {2, -1},  {2, 1}};
  for (int sq = 0; sq < 64; ++sq) {
    king_attacks[sq] = knight_attacks[sq] = 0;
    for (int d = 0; d < 8; ++d) {
      int r = row_of(sq) + KING_STEPS[d].drow, f = file_of(sq) + KING_STEPS[d].dfile;
      if (on_board(r, f)) king_attacks[sq] |= square_bb(8 * r + f);
      r = row_of(sq) + KNIGHT_STEPS[d].drow;
      f = file_of(sq) + KNIGHT_STEPS[d].dfile;
      if (on_board(r, f)) knight_attacks[sq] |= square_bb(8 * r + f);
    }
  }

  for (int sq = 0; sq < 64; ++sq) {
    rook_lines[sq] = slide(sq, 0, ROOK_STEPS) | square_bb(sq);
    bishop_lines[sq] = slide(sq, 0, BISHOP_STEPS) | square_bb(sq);
  }

  for (int a = 0; a < 64; ++a)
    for (int b = 0; b < 64; ++b) {
      between_orth[a][b] = between_diag[a][b] = 0;
      if (a == b) continue;
      int dr = row_of(b) - row_of(a), df = file_of(b) - file_of(a);
      bool orth = dr == 0 || df == 0;
      bool diag = dr == df || dr == -df;
      if (!orth && !diag) continue;
      int sr = (dr > 0) - (dr < 0), sf = (df > 0) - (df < 0);
      Bitboard between = 0;
      for (int r = row_of(a) + sr, f = file_of(a) + sf; 8 * r + f != b; r += sr, f += sf)
        between |= square_bb(8 * r + f);
      (orth ? between_orth : between_diag)[a][b] = between;
    }

  castle_path[0] = square_bb(SQ_B8) | square_bb(SQ_C8) | square_bb(SQ_D8);
  castle_path[1] = square_bb(SQ_F8) | square_bb(SQ_G8);
  castle_path[2] = square_bb(SQ_B1) | square_bb(SQ_C1) | square_bb(SQ_D1);
  castle_path[3] = square_bb(SQ_F1) | square_bb(SQ_G1);

  init_pawn_masks();
}

void init_sliding_attacks() {
  Bitboard* storage = bishop_storage;
  for (int sq = 0; sq < 64; ++sq)
    build_slider(sq, false, bishop_mask, bishop_magic, bishop_shift, bishop_table, storage);
  storage = rook_storage;
  for (int sq = 0; sq < 64; ++sq)
    build_slider(sq, true, rook_mask, rook_magic, rook_shift, rook_table, storage);
}

template <Colour By>
unsigned attacked_by(const Position& pos, Square sq) {
  const Bitboard* p = pos.piece_bb;
  const Bitboard pawns = p[piece_bb_index(make_piece(By, PAWN))];
  const Bitboard knights = p[piece_bb_index(make_piece(By, KNIGHT))];
  const Bitboard bishops = p[piece_bb_index(make_piece(By, BISHOP))];
  const Bitboard rooks = p[piece_bb_index(make_piece(By, ROOK))];
  const Bitboard queens = p[piece_bb_index(make_piece(By, QUEEN))];
  const Bitboard king = p[piece_bb_index(make_piece(By, KING))];
  // A pawn attacks sq from where a pawn of the other colour on sq would attack.
  const Bitboard* pawn_from = By == White ? pawn_attacks_black : pawn_attacks_white;
  if (pawn_from[sq] & pawns) return 1;
  if (knight_attacks[sq] & knights) return 1;
  if (king_attacks[sq] & king) return 1;
  // A slider on a line through sq attacks it when nothing stands between.
  for (Bitboard b = bishop_lines[sq] & (bishops | queens) & ~square_bb(sq); b;)
    if (!(between_diag[pop_lowest(b)][sq] & pos.occ_all)) return 1;
  for (Bitboard b = rook_lines[sq] & (rooks | queens) & ~square_bb(sq); b;)
    if (!(between_orth[pop_lowest(b)][sq] & pos.occ_all)) return 1;
  return 0;
}

template unsigned attacked_by<White>(const Position& pos, Square sq);
template unsigned attacked_by<Black>(const Position& pos, Square sq);
