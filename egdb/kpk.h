// The KPK bitbase: for every placement of two kings and one pawn, whether the
// side to move wins. Derived from the tablebases by "genkpk", kept in kpk.bin.
#pragma once

#include <cstdint>

#include "position/types.h"

// Entry wk * 64 + bk (engine squares): bit p of a set is 1 when, with the
// pawn on p, that side to move wins.
struct KpkEntry {
  Bitboard black_to_move;
  Bitboard white_to_move;
};
constexpr int KPK_ENTRIES = 4096;
constexpr long KPK_FILE_BYTES = 2L * KPK_ENTRIES * sizeof(KpkEntry);

extern KpkEntry kpk_table[KPK_ENTRIES];  // White has the pawn
extern KpkEntry kkp_table[KPK_ENTRIES];  // Black has the pawn
extern bool kpk_loaded;

// Reads kpk.bin from the working directory as far as it goes; 1 when it was
// opened, else 0.
int load_kpk_bitbase();
// Computes both halves from the tablebases and saves them in kpk.bin; a
// broken table file ends the program with status 1, after its "***" line.
void generate_kpk_bitbase();
void save_kpk_bitbase();
