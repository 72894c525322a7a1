#include "egdb/kpk.h"

#include <cstdio>
#include <cstdlib>

#include "egdb/tb_probe.h"
#include "position/position.h"

KpkEntry kpk_table[KPK_ENTRIES];
KpkEntry kkp_table[KPK_ENTRIES];
bool kpk_loaded = false;

namespace {

// The file holds each set as an unsigned 64-bit little-endian number,
// black-to-move set first, kpk_table's entries before kkp_table's.
bool read_word(std::FILE* f, Bitboard& out) {
  unsigned char b[8];
  if (std::fread(b, 1, 8, f) != 8) return false;
  out = 0;
  for (int i = 7; i >= 0; --i) out = (out << 8) | b[i];
  return true;
}

bool write_word(std::FILE* f, Bitboard v) {
  unsigned char b[8];
  for (int i = 0; i < 8; ++i) b[i] = (unsigned char)(v >> (8 * i));
  return std::fwrite(b, 1, 8, f) == 8;
}

// Both halves of one table: White has the pawn when `pawn` is W_PAWN.
void fill_half(Position& scratch, KpkEntry* table, unsigned pawn) {
  const bool white_pawn = pawn == W_PAWN;
  for (Square wk = 0; wk < 64; ++wk)
    for (Square bk = 0; bk < 64; ++bk) {
      if (bk == wk) continue;
      KpkEntry e{0, 0};
      for (Square p = 8; p < 56; ++p) {
        if (p == wk || p == bk) continue;
        for (Bitboard& b : scratch.piece_bb) b = 0;
        for (uint32_t& m : scratch.mailbox) m = EMPTY;
        scratch.bb(pawn) = square_bb(p);
        scratch.bb(W_KING) = square_bb(wk);
        scratch.bb(B_KING) = square_bb(bk);
        scratch.occ_white = square_bb(wk) | (white_pawn ? square_bb(p) : 0);
        scratch.occ_black = square_bb(bk) | (white_pawn ? 0 : square_bb(p));
        scratch.occ_all = scratch.occ_white | scratch.occ_black;
        scratch.mailbox[p] = pawn;
        scratch.mailbox[wk] = W_KING;
        scratch.mailbox[bk] = B_KING;
        scratch.castle_flags = 0;
        scratch.ep_square = 0;
        scratch.side_to_move = White;
        if (probe_tablebase(scratch, 0) > 0) e.white_to_move |= square_bb(p);
        scratch.side_to_move = Black;
        if (probe_tablebase(scratch, 0) > 0) e.black_to_move |= square_bb(p);
      }
      table[wk * 64 + bk] = e;
    }
}

}  // namespace

int load_kpk_bitbase() {
  std::FILE* f = std::fopen("kpk.bin", "r+b");
  if (!f) return 0;
  // A short file fills the entries it holds whole; the rest stay as they are.
  bool more = true;
  for (KpkEntry* table : {kpk_table, kkp_table})
    for (int i = 0; i < KPK_ENTRIES && more; ++i)
      more = read_word(f, table[i].black_to_move) && read_word(f, table[i].white_to_move);
  std::fclose(f);
  kpk_loaded = true;
  return 1;
}

void save_kpk_bitbase() {
  std::FILE* f = std::fopen("kpk.bin", "w+b");
  if (!f) {
    std::printf("malo");
    return;
  }
  bool ok = true;
  for (const KpkEntry* table : {kpk_table, kkp_table})
    for (int i = 0; i < KPK_ENTRIES; ++i)
      ok = write_word(f, table[i].black_to_move) && write_word(f, table[i].white_to_move) && ok;
  ok = std::fclose(f) == 0 && ok;
  // A failed write must not be reported as saved.
  std::printf(ok ? "kpk.bin GUARADADO\n" : "malo");
}

void generate_kpk_bitbase() {
  if (tb_max_pieces == 0) {
    const TbError error = init_tablebases();
    if (error.failed()) {
      // Broken tables would give a wrong bitbase: the program ends instead.
      std::printf("%s\n", error.message.c_str());
      std::fflush(stdout);
      std::exit(1);
    }
  }
  if (tb_max_pieces == 0) {
    std::printf("ERROR EN TBS\n");
    return;
  }
  Position scratch;
  fill_half(scratch, kpk_table, W_PAWN);
  std::printf("KPK GENERADO\n");
  fill_half(scratch, kkp_table, B_PAWN);
  std::printf("KKP GENERADO\n");
  save_kpk_bitbase();
  kpk_loaded = true;
}
