#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "eval/pawn_report.h"
#include "position/fen.h"

namespace {

Bitboard at(const char* name) { return square_bb(make_square(name[0] - 'a', name[1] - '0')); }

template <typename... Names>
Bitboard squares(Names... names) {
  return (Bitboard(0) | ... | at(names));
}

std::string report_of(const char* fen) {
  Position pos(fen);
  testing::internal::CaptureStdout();
  pawn_report(pos);
  return testing::internal::GetCapturedStdout();
}

std::string board_of(const char* fen) {
  Position pos(fen);
  return board_diagram(pos);
}

constexpr const char* TITLES[10] = {
    "PEON PASADO BLANCO", "PEON AISLADO BLANCO", "PEON DOBLADO BLANCO", "PEON DEFENDIDO BLANCO",
    "PEON INDEFENSO BLANCO", "PEON PASADO NEGRO", "PEON AISLADO NEGRO", "PEON DOBLADO NEGRO",
    "PEON DEFENDIDO NEGRO", "PEON INDEFENSO NEGRO"};

// The expected report from grids written out as eight rank lines each.
std::string expected_report(const char* fen, const std::string (&grids)[10]) {
  const std::string board = board_of(fen);
  std::string out;
  for (int i = 0; i < 10; ++i) out += board + TITLES[i] + "\n" + grids[i] + "\n";
  return out;
}

const std::string EMPTY_GRID = "--------\n--------\n--------\n--------\n--------\n--------\n--------\n--------\n";

}  // namespace

TEST(PawnMasks, SpansCoverThreeFilesUpToThePromotionRow) {
  EXPECT_EQ(passed_span[White][make_square(4, 2)],
            (0x38ull << 8) | (0x38ull << 16) | (0x38ull << 24) | (0x38ull << 32) | (0x38ull << 40));
  EXPECT_EQ(passed_span[White][make_square(4, 6)], squares("d7", "e7", "f7"));
  EXPECT_EQ(passed_span[Black][make_square(0, 3)], squares("a2", "b2"));
  EXPECT_EQ(passed_span[White][make_square(7, 5)], squares("g6", "h6", "g7", "h7"));
  // No span on the rows a pawn cannot advance from or never stands on.
  for (int file = 0; file < 8; ++file) {
    for (int rank : {7, 8, 1}) EXPECT_EQ(passed_span[White][make_square(file, rank)], 0u);
    for (int rank : {2, 1, 8}) EXPECT_EQ(passed_span[Black][make_square(file, rank)], 0u);
  }
}

TEST(PawnMasks, FileMasks) {
  const Bitboard file_a = 0x0101010101010101ull;
  for (int sq = 0; sq < 64; ++sq) {
    const int f = file_of(sq);
    EXPECT_EQ(same_file_mask[sq], file_a << f);
    Bitboard neighbours = 0;
    if (f > 0) neighbours |= file_a << (f - 1);
    if (f < 7) neighbours |= file_a << (f + 1);
    EXPECT_EQ(adjacent_files_mask[sq], neighbours) << sq;
  }
}

TEST(PawnClassify, InitialPosition) {
  Position pos(START_FEN);
  const PawnClasses k = classify_pawns(pos);
  for (Colour c : {White, Black}) {
    EXPECT_EQ(k.passed[c], 0u);
    EXPECT_EQ(k.isolated[c], 0u);
    EXPECT_EQ(k.doubled[c], 0u);
    EXPECT_EQ(k.defended[c], 0u);
  }
  EXPECT_EQ(k.undefended[White], RANK_2_BB);
  EXPECT_EQ(k.undefended[Black], RANK_7_BB);
}

TEST(PawnClassify, DefenderDiagonallyBehindAndSpanBlockedByOwnPawn) {
  Position pos("4k3/8/8/8/4P3/5P2/8/4K3 w - - 0 1");
  const PawnClasses k = classify_pawns(pos);
  EXPECT_EQ(k.defended[White], at("e4"));
  EXPECT_EQ(k.undefended[White], at("f3"));
  EXPECT_EQ(k.isolated[White], 0u);
  EXPECT_EQ(k.passed[White], at("e4"));
}

TEST(PawnClassify, DoubledPairAndOwnPawnAheadOnNeighbouringFile) {
  {
    Position pos("4k3/8/8/8/4P3/8/4P3/4K3 w - - 0 1");
    const PawnClasses k = classify_pawns(pos);
    EXPECT_EQ(k.doubled[White], squares("e2", "e4"));
    EXPECT_EQ(k.passed[White], at("e4"));
    EXPECT_EQ(k.isolated[White], squares("e2", "e4"));
  }
  {
    Position pos("4k3/8/3P4/4P3/8/8/8/4K3 w - - 0 1");
    const PawnClasses k = classify_pawns(pos);
    EXPECT_EQ(k.passed[White], at("d6"));
    EXPECT_EQ(k.defended[White], at("d6"));
  }
  {
    Position pos("4k3/P7/8/8/8/8/1p6/4K3 w - - 0 1");
    const PawnClasses k = classify_pawns(pos);
    EXPECT_EQ(k.passed[White], at("a7"));
    EXPECT_EQ(k.passed[Black], at("b2"));
  }
}

TEST(PawnClassify, BlackMirrorsWhite) {
  // Black: d5 defended by e6, c7 and c5 doubled, h7 isolated; the white d3
  // pawn stands on the spans of c5, d5 and e6, so only h7 is passed.
  Position pos("4k3/2p4p/4p3/2pp4/8/3P4/8/4K3 b - - 0 1");
  const PawnClasses k = classify_pawns(pos);
  EXPECT_EQ(k.defended[Black], at("d5"));
  EXPECT_EQ(k.doubled[Black], squares("c7", "c5"));
  EXPECT_EQ(k.isolated[Black], at("h7"));
  EXPECT_EQ(k.passed[Black], at("h7"));
  EXPECT_EQ(k.undefended[Black], squares("c7", "c5", "e6", "h7"));
  EXPECT_EQ(k.passed[White], 0u);
  EXPECT_EQ(k.isolated[White], at("d3"));
}

TEST(PawnReport, InitialPositionPrintsTenBoardsTitlesAndGrids) {
  const std::string rank2 = "--------\n--------\n--------\n--------\n--------\n--------\nXXXXXXXX\n--------\n";
  const std::string rank7 = "--------\nXXXXXXXX\n--------\n--------\n--------\n--------\n--------\n--------\n";
  const std::string grids[10] = {EMPTY_GRID, EMPTY_GRID, EMPTY_GRID, EMPTY_GRID, rank2,
                                 EMPTY_GRID, EMPTY_GRID, EMPTY_GRID, EMPTY_GRID, rank7};
  EXPECT_EQ(report_of(START_FEN), expected_report(START_FEN, grids));
}

TEST(PawnReport, WithoutPawnsEveryGridIsEmpty) {
  const char* fen = "4k3/8/8/8/8/8/8/R3K3 w - - 0 1";
  const std::string grids[10] = {EMPTY_GRID, EMPTY_GRID, EMPTY_GRID, EMPTY_GRID, EMPTY_GRID,
                                 EMPTY_GRID, EMPTY_GRID, EMPTY_GRID, EMPTY_GRID, EMPTY_GRID};
  const std::string out = report_of(fen);
  EXPECT_EQ(out, expected_report(fen, grids));
  // Ten diagrams of 18 lines plus ten titles and ten grids of nine lines.
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 10 * (18 + 1 + 9));
}

TEST(PawnReport, GridLinesRunFromRankEightAndFileA) {
  const char* fen = "4k3/8/8/8/4P3/5P2/8/4K3 w - - 0 1";
  const std::string e4 = "--------\n--------\n--------\n--------\n----X---\n--------\n--------\n--------\n";
  const std::string f3 = "--------\n--------\n--------\n--------\n--------\n-----X--\n--------\n--------\n";
  const std::string grids[10] = {e4, EMPTY_GRID, EMPTY_GRID, e4, f3,
                                 EMPTY_GRID, EMPTY_GRID, EMPTY_GRID, EMPTY_GRID, EMPTY_GRID};
  EXPECT_EQ(report_of(fen), expected_report(fen, grids));
}
