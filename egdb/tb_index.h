// Index functions of the tablebase classes: each maps a position of a class's
// material, with one side to move, to its place in that class's table.
//
// Squares here are numbered a1 = 0, b1 = 1, ..., h8 = 63 (the engine's square
// XOR 56). The numbering folds away the board's symmetries (all eight for
// classes without pawns, the file mirror for classes with pawns) and never
// counts a square from which the side to move would give contact check.
#pragma once

#include <array>
#include <cstdint>

#include "egdb/tb_classes.h"

// One side's pieces: slot 0 the king (type 6), slots 1 to 3 the other pieces
// in increasing order of their engine square (a8 = 0 first); empty slots hold
// type 0 and square 0. Squares in tablebase numbering.
struct TbPieceList {
  int32_t type[4];
  int32_t square[4];
};

constexpr int TB_NO_EP = 64;

// Arguments: the first side's list, the second side's list, the en-passant
// target square (TB_NO_EP for none) and the mirror flag (1 when the first
// side is Black on the board, so the ranks are flipped).
using TbIndexFunction = uint32_t (*)(const TbPieceList& first, const TbPieceList& second,
                                     int ep, int mirror);

// Numbering kinds of the base tables: p is a pawn standing in for the pieces of
// the side to move and has no check rule; P to Q have the type's number.
constexpr int TB_KIND_COUNT = 6;
constexpr int TB_KIND_p = 0, TB_KIND_P = 1, TB_KIND_N = 2, TB_KIND_B = 3, TB_KIND_R = 4,
              TB_KIND_Q = 5;

constexpr int TB_PAWNLESS_PAIRS = 462;
constexpr int TB_PAWN_PAIRS = 1806;
constexpr uint16_t TB_NO_PAIR = 4000;

// Fixed tables.
extern const uint8_t quadrant_mask[64];
extern const uint8_t file_mask[64];
constexpr bool tb_in_triangle(int sq) {
  return (sq & 7) <= 3 && (sq >> 3) <= (sq & 7);
}
constexpr int tb_reflect_diagonal(int sq) { return 8 * (sq & 7) + (sq >> 3); }

// Tables built by init_tb_index_tables. The base tables have a first index
// 0 for the pawnless king pairs and 1 for the pawn king pairs.
extern uint16_t pawnless_king_pairs[4096];
extern uint16_t pawn_king_pairs[4096];
extern uint8_t square_ordinal[TB_KIND_COUNT][64][64];
extern uint8_t square_count[TB_KIND_COUNT][64];
extern uint32_t one_piece_base[2][TB_KIND_COUNT][TB_PAWN_PAIRS];
extern uint32_t two_piece_base[2][TB_KIND_COUNT][TB_KIND_COUNT][TB_PAWN_PAIRS];
// Final totals of the walks (the count of each kind or pair of kinds).
extern uint32_t one_piece_total[2][TB_KIND_COUNT];
extern uint32_t two_piece_total[2][TB_KIND_COUNT][TB_KIND_COUNT];

// Builds the tables once; later calls do nothing.
void init_tb_index_tables();

// The index functions of classes 1 to 110, white to move [0] and black to
// move [1]; class 0 has none.
extern const std::array<std::array<TbIndexFunction, 2>, TB_CLASS_COUNT> tb_index_functions;

// One past the largest index the scheme can give for class `cls` and table
// side `side`, the en-passant part included.
uint64_t tb_index_range(int cls, int side);
// The same without the en-passant part: indices from here on stand for
// positions with an en-passant target.
uint64_t tb_ordinary_range(int cls, int side);
// True for the classes whose index has the en-passant extension (both sides
// have pawns).
bool tb_has_ep_extension(int cls);

// The index from squares given in class order: first[0] and second[0] the
// kings, then each side's pieces in the order of the class name. The index
// functions and the generator both end here.
uint32_t tb_index_from_squares(int cls, int side, const int* first, const int* second, int ep,
                               int mirror);
