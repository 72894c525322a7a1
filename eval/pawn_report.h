// The pawn-structure report of the "peoneval" command.
#pragma once

#include "position/position.h"

// Squares that must be free of pawns of either colour for a pawn on a square
// to be passed, by colour (Black 0, White 1): the pawn's own and neighbouring
// files, strictly between the pawn and its promotion row.
extern Bitboard passed_span[2][64];
// Every square of the neighbouring file or files.
extern Bitboard adjacent_files_mask[64];
// Every square of the square's file, the square itself included.
extern Bitboard same_file_mask[64];

struct PawnClasses {
  Bitboard passed[2];      // by colour, Black 0, White 1
  Bitboard isolated[2];
  Bitboard doubled[2];
  Bitboard defended[2];
  Bitboard undefended[2];
};

PawnClasses classify_pawns(const Position& pos);

// Ten boards, each followed by its title and the grid of the pawns it names.
void pawn_report(const Position& pos);
