#include "position/game_end.h"

#include <gtest/gtest.h>

#include <string>

#include "position/makemove.h"

namespace {

constexpr Square sq(const char* name) { return make_square(name[0] - 'a', name[1] - '0'); }

constexpr const char* GOES_ON = "(the game goes on)";

// The result line's text, or GOES_ON when game_result finds none.
std::string result_of(Position& pos) {
  const char* result = game_result(pos);
  return result ? result : GOES_ON;
}

TEST(GameResult, StartPositionGoesOn) {
  Position pos("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
  EXPECT_EQ(result_of(pos), GOES_ON);
}

TEST(GameResult, Checkmates) {
  Position black_mated("R5k1/5ppp/8/8/8/8/8/6K1 b - - 0 1");
  EXPECT_EQ(result_of(black_mated), "1-0 {Blancas ganan, Jaque Mate}");
  Position white_mated("6k1/8/8/8/8/8/5PPP/r5K1 w - - 0 1");
  EXPECT_EQ(result_of(white_mated), "0-1 {Negras ganan, Jaque Mate}");
}

TEST(GameResult, Stalemates) {
  Position white("8/8/8/8/8/1q6/8/K6k w - - 0 1");
  EXPECT_EQ(result_of(white), "1/2-1/2 {Tablas, Rey blanco ahogado}");
  Position black("k7/8/1Q6/8/8/8/8/7K b - - 0 1");
  EXPECT_EQ(result_of(black), "1/2-1/2 {Tablas, Rey negro ahogado}");
}

TEST(GameResult, FiftyMovesComeBeforeMate) {
  Position pos("6k1/8/8/8/8/8/5PPP/r5K1 w - - 0 1");
  pos.fifty_count = 100;
  EXPECT_EQ(result_of(pos), "1/2-1/2 {Tablas, 50 movimientos}");
  pos.fifty_count = 99;
  EXPECT_EQ(result_of(pos), "0-1 {Negras ganan, Jaque Mate}");
}

TEST(GameResult, Repetition) {
  Position pos("r3k3/8/8/8/8/8/8/R3K3 w - - 0 1");
  const Move shuffle[4] = {make_move_word(sq("a1"), sq("b1")), make_move_word(sq("a8"), sq("b8")),
                           make_move_word(sq("b1"), sq("a1")), make_move_word(sq("b8"), sq("a8"))};
  make_move(pos, make_move_word(sq("e1"), sq("e2")));
  make_move(pos, make_move_word(sq("e8"), sq("e7")));
  for (int round = 0; round < 2; ++round)
    for (Move m : shuffle) make_move(pos, m);
  ASSERT_EQ(repetition_count(pos), 3);
  ASSERT_GT(pos.fifty_count, 7u);
  EXPECT_EQ(result_of(pos), "1/2-1/2 {Tablas, 3 repeticiones}");
  // With seven reversible plies or fewer the repetition is not looked for.
  pos.fifty_count = 7;
  EXPECT_EQ(result_of(pos), GOES_ON);
}

TEST(GameResult, InsufficientMaterial) {
  Position knight("4k3/8/8/8/8/8/8/1N2K3 w - - 0 1");
  EXPECT_EQ(result_of(knight), "1/2-1/2 {Tablas, Material Insuficiente}");
  Position bishop("4k3/8/8/8/8/8/8/4Kb2 w - - 0 1");
  EXPECT_EQ(result_of(bishop), "1/2-1/2 {Tablas, Material Insuficiente}");
  Position bishop_knight("4k3/8/8/8/8/8/8/1N2KB2 b - - 0 1");
  EXPECT_EQ(result_of(bishop_knight), GOES_ON);
  Position pawn("4k3/8/8/8/8/8/4P3/4K3 b - - 0 1");
  EXPECT_EQ(result_of(pawn), GOES_ON);
  Position same_colour("4k3/8/8/8/2b5/8/8/4KB2 w - - 0 1");  // c4 and f1
  EXPECT_EQ(result_of(same_colour), "1/2-1/2 {Tablas, Material Insuficiente}");
}

// Materials where neither side can force mate but a mate can still happen:
// the game goes on, since an interface that checks draw claims forfeits a
// claim there (XBoard did, with king and bishop against king and knight).
TEST(GameResult, MateStillPossibleGoesOn) {
  for (const char* fen : {"4k3/8/8/2n5/8/8/8/1N2K3 w - - 0 1",      // knight each
                          "4k3/8/8/8/8/8/8/1N2KN2 b - - 0 1",       // two knights
                          "4k3/8/8/8/8/B1n5/8/4K3 b - - 0 1",       // bishop against knight
                          "4k3/8/8/2b5/8/8/8/4KB2 w - - 0 1"}) {    // c5 and f1
    Position pos(fen);
    EXPECT_EQ(result_of(pos), GOES_ON) << fen;
  }
}

TEST(InsufficientMaterial, PerSide) {
  Position pos("4k3/8/8/8/8/8/8/BB2K2r w - - 0 1");
  EXPECT_EQ(insufficient_material(pos, 1), 0);  // two bishops mate
  EXPECT_EQ(insufficient_material(pos, 0), 0);  // a rook mates
  Position lone("4k3/8/8/8/8/8/8/4K3 w - - 0 1");
  EXPECT_EQ(insufficient_material(lone, 1), 1);
  EXPECT_EQ(insufficient_material(lone, 0), 1);
  Position many("4k3/8/8/8/8/8/8/NNN1K3 w - - 0 1");
  EXPECT_EQ(insufficient_material(many, 1), 0);
  Position queen("4k3/8/8/8/8/8/8/3QK3 w - - 0 1");
  EXPECT_EQ(insufficient_material(queen, 1), 0);
}

TEST(GameResult, NoKingToMoveIsNotOver) {
  Position pos("4k3/8/8/8/8/8/8/8 w - - 0 1");
  pos.fifty_count = 120;
  EXPECT_EQ(result_of(pos), GOES_ON);
}

}  // namespace
