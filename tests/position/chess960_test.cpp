#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>

#include "position/fen.h"
#include "position/makemove.h"
#include "position/movegen.h"
#include "position/movetext.h"
#include "position/perft.h"

namespace {

// Every count of tests/data/perft960.epd up to ten million leaves: published
// positions to depth 5 where they stay below it, the rest to depth 4.
TEST(Chess960, PerftSuite) {
  std::ifstream in(std::string(KELO_SOURCE_DIR) + "/tests/data/perft960.epd");
  ASSERT_TRUE(in.good());
  int positions = 0, deepest = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    const std::string fen = line.substr(0, line.find(';'));
    Position pos((fen + " 0 1").c_str(), true);
    EXPECT_TRUE(setup_problems(pos).empty()) << fen;
    std::istringstream fields(line.substr(line.find(';')));
    std::string tag;
    int64_t count;
    while (fields >> tag >> count && count <= 10000000) {
      const int depth = std::stoi(tag.substr(2));
      EXPECT_EQ(perft(pos, depth), count) << fen << " depth " << depth;
      deepest = std::max(deepest, depth);
    }
    ++positions;
  }
  EXPECT_EQ(positions, 65);
  EXPECT_EQ(deepest, 5);
}

// Every make and unmake two plies deep keeps bitboards, sums and key in
// step, castlings included, and unmaking restores the key exactly.
int walk(Position& pos, int depth) {
  int castlings = 0;
  generate_all(pos);
  for (int i = 0; i < pos.move_stack.count(); ++i) {
    const Move m = pos.move_stack.at(i);
    const uint64_t key = pos.hash_key;
    make_move(pos, m);
    EXPECT_TRUE(position_consistent(pos)) << move_text(m);
    castlings += (m & MOVE_CASTLE) != 0;
    if (depth > 1) castlings += walk(pos, depth - 1);
    unmake_move(pos);
    EXPECT_EQ(pos.hash_key, key) << move_text(m);
    EXPECT_TRUE(position_consistent(pos)) << move_text(m);
  }
  pos.move_stack.close_level();
  return castlings;
}

TEST(Chess960, MakeAndUnmakeKeepThePositionConsistent) {
  int castlings = 0;
  for (const char* fen : {"r5kr/8/8/8/8/8/8/R5KR w HAha - 0 1", "rk5r/8/8/8/8/8/8/RK5R w HAha - 0 1",
                          "4k3/8/8/8/8/8/8/5KR1 w G - 0 1",
                          "1r1k1r2/pppppppp/8/8/8/8/PPPPPPPP/1R1K1R2 w FBfb - 0 1"}) {
    Position pos(fen, true);
    castlings += walk(pos, 2);
  }
  EXPECT_GT(castlings, 40);
}

// X-FEN's K and Q name the outermost rook, a Shredder-FEN file letter any
// rook; the same rights set up the same position and key. A right on an
// inner rook is another right: another key, another castling.
TEST(Chess960, FenCastlingFields) {
  const Position shredder("1r2k1r1/8/8/8/8/8/8/1R2K1R1 w GBgb - 0 1", true);
  const Position xfen("1r2k1r1/8/8/8/8/8/8/1R2K1R1 w KQkq - 0 1", true);
  EXPECT_EQ(shredder.castle_flags, 15u);
  EXPECT_EQ(xfen.castle_flags, 15u);
  EXPECT_EQ(shredder.hash_key, xfen.hash_key);
  EXPECT_EQ(shredder.castling.rook_home[0], make_square(6, 1));
  EXPECT_EQ(shredder.castling.rook_home[3], make_square(1, 8));

  Position outer("2k5/8/8/8/8/8/8/1K3R1R w K - 0 1", true);
  Position inner("2k5/8/8/8/8/8/8/1K3R1R w F - 0 1", true);
  EXPECT_NE(outer.hash_key, inner.hash_key);
  EXPECT_EQ(legal_move_named(outer, "O-O"), 0u);  // the f1 rook stands in the way
  EXPECT_EQ(move_text(legal_move_named(inner, "O-O")), "b1f1");

  // Normal chess's castling position read as Chess960 has the normal key;
  // only the castling words differ.
  const char* corners = "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1";
  Position normal(corners), fischer(corners, true);
  EXPECT_EQ(fischer.hash_key, normal.hash_key);
  EXPECT_TRUE(setup_problems(fischer).empty());
  EXPECT_EQ(move_text(legal_move_named(fischer, "O-O")), "e1h1");
  EXPECT_EQ(legal_move_named(normal, "O-O"), 0u);
  EXPECT_NE(legal_move_named(normal, "e1g1") & MOVE_CASTLE, 0u);
}

// The king to the rook (UCI), O-O and O-O-O (xboard), and the king to its
// target where no other king move goes there, all name one castling.
TEST(Chess960, CastlingMoveTexts) {
  Position pos("rk5r/8/8/8/8/8/8/RK5R w HAha - 0 1", true);
  const Move queen_side = legal_move_named(pos, "b1a1");
  ASSERT_NE(queen_side, 0u);
  EXPECT_EQ(legal_move_named(pos, "O-O-O"), queen_side);
  EXPECT_EQ(legal_move_named(pos, "0-0-0"), queen_side);
  // b1c1 is also a plain king step: that is what it names.
  EXPECT_EQ(legal_move_named(pos, "b1c1") & MOVE_CASTLE, 0u);
  const Move king_side = legal_move_named(pos, "b1h1");
  ASSERT_NE(king_side, 0u);
  EXPECT_EQ(legal_move_named(pos, "b1g1"), king_side);
  EXPECT_EQ(legal_move_named(pos, "O-O"), king_side);

  ASSERT_TRUE(play_move_text(pos, "O-O"));
  EXPECT_EQ(pos.mailbox[make_square(6, 1)], W_KING);
  EXPECT_EQ(pos.mailbox[make_square(5, 1)], W_ROOK);
  EXPECT_EQ(pos.mailbox[make_square(7, 1)], EMPTY);
  EXPECT_EQ(pos.castle_flags & 3u, 0u);
  EXPECT_EQ(pos.castle_flags & CASTLED_WK, CASTLED_WK);
}

// In Chess960 a castling can be the one legal move: the king on g1 stays
// there while its rook goes from h1 to f1.
TEST(Chess960, CastlingCanBeTheOnlyMove) {
  Position pos("k4r2/8/8/8/8/7p/7P/6KR w H - 0 1", true);
  ASSERT_EQ(count_moves(pos), 1u);
  EXPECT_EQ(has_legal_move(pos), 1u);
}

}  // namespace
