// Core types shared by every part of the engine: squares, colours, piece
// codes, the move word, scores and depths, and the bit utilities.
#pragma once

#include <cstdint>

using Bitboard = uint64_t;

// Square 0 is a8, 7 is h8, 56 is a1, 63 is h1: square = 8 * (8 - rank) + file.
// Bit i of a bitboard stands for square i. A white pawn advances to sq - 8.
using Square = int;

constexpr int row_of(Square sq) { return sq >> 3; }   // 0 = rank 8
constexpr int file_of(Square sq) { return sq & 7; }   // 0 = file a
constexpr int rank_of(Square sq) { return 8 - (sq >> 3); }
constexpr Square make_square(int file, int rank) { return 8 * (8 - rank) + file; }
// The tablebases number a1 = 0; the same square flips rows both ways.
constexpr Square flip_rows(Square sq) { return sq ^ 56; }
constexpr Bitboard square_bb(Square sq) { return Bitboard(1) << sq; }

constexpr Square SQ_A8 = 0, SQ_B8 = 1, SQ_C8 = 2, SQ_D8 = 3, SQ_E8 = 4, SQ_F8 = 5, SQ_G8 = 6,
                 SQ_H8 = 7;
constexpr Square SQ_A1 = 56, SQ_B1 = 57, SQ_C1 = 58, SQ_D1 = 59, SQ_E1 = 60, SQ_F1 = 61,
                 SQ_G1 = 62, SQ_H1 = 63;

constexpr Bitboard RANK_8_BB = 0xFFull;
constexpr Bitboard RANK_7_BB = RANK_8_BB << 8;
constexpr Bitboard RANK_5_BB = RANK_8_BB << 24;
constexpr Bitboard RANK_4_BB = RANK_8_BB << 32;
constexpr Bitboard RANK_2_BB = RANK_8_BB << 48;
constexpr Bitboard RANK_1_BB = RANK_8_BB << 56;

// Colours take the values of side_to_move.
enum Colour : int { Black = 0, White = 1 };
constexpr Colour opposite(Colour c) { return Colour(c ^ 1); }
constexpr int NO_SIDE = 3;  // engine_side in force mode

// Piece code = kind + 8 for White, kind alone for Black; 0 is an empty square.
enum PieceKind : unsigned { PAWN = 1, KNIGHT = 2, BISHOP = 3, ROOK = 4, QUEEN = 5, KING = 6 };
constexpr unsigned make_piece(Colour c, unsigned kind) { return kind + 8 * unsigned(c); }
constexpr unsigned kind_of(unsigned code) { return code & 7; }
constexpr bool is_white_code(unsigned code) { return code >= 9; }

constexpr unsigned EMPTY = 0;
constexpr unsigned B_PAWN = 1, B_KNIGHT = 2, B_BISHOP = 3, B_ROOK = 4, B_QUEEN = 5, B_KING = 6;
constexpr unsigned W_PAWN = 9, W_KNIGHT = 10, W_BISHOP = 11, W_ROOK = 12, W_QUEEN = 13,
                   W_KING = 14;

// Index of a piece code's bitboard in Position::piece_bb: colours interleaved,
// white pawns 0, black pawns 1, ..., black king 11.
constexpr int piece_bb_index(unsigned code) {
  return 2 * int(kind_of(code) - 1) + (is_white_code(code) ? 0 : 1);
}

// Castling rights (low four bits) and castled marks (high four) of castle_flags.
constexpr unsigned CASTLE_WK = 1, CASTLE_WQ = 2, CASTLE_BK = 4, CASTLE_BQ = 8;
constexpr unsigned CASTLED_WK = 16, CASTLED_WQ = 32, CASTLED_BK = 64, CASTLED_BQ = 128;

// The move word:
//
//   31      23 22 21 20 19   16 15   12 11     6 5      0
//   +---------+--+--+--+-------+-------+--------+--------+
//   |    0    |C |EP|DS| promo | capt. |   to   |  from  |
//   +---------+--+--+--+-------+-------+--------+--------+
//
// captured: the victim's piece code (0 also for en passant); promo: the piece
// code, with colour, that the pawn becomes; DS double step, EP en passant,
// C castling (the word is the king's move). The word 0 is no move.
using Move = uint32_t;

constexpr Move NO_MOVE = 0;
constexpr Move MOVE_DOUBLE_STEP = 0x100000;
constexpr Move MOVE_EN_PASSANT = 0x200000;
constexpr Move MOVE_CASTLE = 0x400000;
constexpr Move MOVE_TACTICAL_MASK = 0x2FF000;  // capture, promotion or en passant
constexpr Move MOVE_SPECIAL_MASK = 0x6F0000;   // promotion, en passant or castling

constexpr Square move_from(Move m) { return Square(m & 0x3F); }
constexpr Square move_to(Move m) { return Square((m >> 6) & 0x3F); }
constexpr unsigned move_captured(Move m) { return (m >> 12) & 0xF; }
constexpr unsigned move_promotion(Move m) { return (m >> 16) & 0xF; }
constexpr Move make_move_word(Square from, Square to, unsigned captured = 0,
                              unsigned promotion = 0, Move flags = 0) {
  return Move(from) | Move(to) << 6 | Move(captured) << 12 | Move(promotion) << 16 | flags;
}

constexpr Move CASTLE_WHITE_KING = make_move_word(SQ_E1, SQ_G1, 0, 0, MOVE_CASTLE);
constexpr Move CASTLE_WHITE_QUEEN = make_move_word(SQ_E1, SQ_C1, 0, 0, MOVE_CASTLE);
constexpr Move CASTLE_BLACK_KING = make_move_word(SQ_E8, SQ_G8, 0, 0, MOVE_CASTLE);
constexpr Move CASTLE_BLACK_QUEEN = make_move_word(SQ_E8, SQ_C8, 0, 0, MOVE_CASTLE);

// Scores are hundredths of a pawn from the side to move's point of view.
using Score = int32_t;
constexpr Score SCORE_INFINITE = 15000;  // the root window; mated at ply p scores p - 15000
constexpr Score MATE_BOUND = 10000;      // larger magnitudes are mate scores

// Depth in sixteenths of a ply.
constexpr int ONE_PLY = 16;

// Bit utilities; the argument of lowest_bit must not be empty.
inline int lowest_bit(Bitboard b) { return __builtin_ctzll(b); }
inline int popcount(Bitboard b) { return __builtin_popcountll(b); }
inline int pop_lowest(Bitboard& b) {
  int sq = lowest_bit(b);
  b &= b - 1;
  return sq;
}
inline bool more_than_one(Bitboard b) { return (b & (b - 1)) != 0; }
