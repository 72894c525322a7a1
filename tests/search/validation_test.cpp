#include "search/validation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "position/makemove.h"
#include "position/movegen.h"

namespace {

constexpr Square sq(const char* name) { return make_square(name[0] - 'a', name[1] - '0'); }
Move mv(const char* from, const char* to, unsigned captured = 0, unsigned promo = 0,
        Move flags = 0) {
  return make_move_word(sq(from), sq(to), captured, promo, flags);
}

std::vector<Move> legal_moves(Position& pos) {
  generate_all(pos);
  std::vector<Move> moves;
  for (int i = 0; i < pos.move_stack.count(); ++i) moves.push_back(pos.move_stack.at(i));
  pos.move_stack.close_level();
  return moves;
}

TEST(IsValidMove, ZeroAndFieldMismatch) {
  Position pos("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
  EXPECT_EQ(is_valid_move(pos, 0), 0u);
  Position cap("4k3/8/8/3b4/8/4N3/8/4K3 w - - 0 1");
  EXPECT_NE(is_valid_move(cap, mv("e3", "d5", B_BISHOP)), 0u);
  EXPECT_EQ(is_valid_move(cap, mv("e3", "d5", B_KNIGHT)), 0u);  // a sibling's killer
  EXPECT_EQ(is_valid_move(cap, mv("e3", "d5")), 0u);
}

TEST(IsValidMove, PawnPushes) {
  Position pos("4k3/8/8/8/8/8/4P3/4K3 w - - 0 1");
  EXPECT_NE(is_valid_move(pos, mv("e2", "e4", 0, 0, MOVE_DOUBLE_STEP)), 0u);
  EXPECT_EQ(is_valid_move(pos, mv("e2", "e4")), 0u);
  EXPECT_NE(is_valid_move(pos, mv("e2", "e3")), 0u);
  // A single step flagged as double would leave a false en-passant square.
  EXPECT_EQ(is_valid_move(pos, mv("e2", "e3", 0, 0, MOVE_DOUBLE_STEP)), 0u);
  Position blocked("4k3/8/8/8/4n3/8/4P3/4K3 w - - 0 1");
  EXPECT_EQ(is_valid_move(blocked, mv("e2", "e4", 0, 0, MOVE_DOUBLE_STEP)), 0u);
  Position jump("4k3/8/8/8/8/4n3/4P3/4K3 w - - 0 1");
  EXPECT_EQ(is_valid_move(jump, mv("e2", "e4", 0, 0, MOVE_DOUBLE_STEP)), 0u);
}

TEST(IsValidMove, Promotions) {
  Position pos("1k6/4P3/8/8/8/8/8/4K3 w - - 0 1");
  EXPECT_EQ(is_valid_move(pos, mv("e7", "e8")), 0u);
  EXPECT_NE(is_valid_move(pos, mv("e7", "e8", 0, W_QUEEN)), 0u);
  EXPECT_NE(is_valid_move(pos, mv("e7", "e8", 0, W_KNIGHT)), 0u);
  EXPECT_EQ(is_valid_move(pos, mv("e7", "e8", 0, B_QUEEN)), 0u);
  EXPECT_EQ(is_valid_move(pos, mv("e7", "e8", 0, W_KING)), 0u);
  EXPECT_EQ(is_valid_move(pos, mv("e1", "e2", 0, W_QUEEN)), 0u);
}

TEST(IsValidMove, EnPassant) {
  Position pos("4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1");
  EXPECT_NE(is_valid_move(pos, mv("e5", "d6", 0, 0, MOVE_EN_PASSANT)), 0u);
  EXPECT_EQ(is_valid_move(pos, mv("e5", "d6")), 0u);
  EXPECT_EQ(is_valid_move(pos, mv("e5", "e6", 0, 0, MOVE_EN_PASSANT)), 0u);
  Position other("4k3/8/8/3pP3/8/8/8/4K3 w - f6 0 1");
  EXPECT_EQ(is_valid_move(other, mv("e5", "d6", 0, 0, MOVE_EN_PASSANT)), 0u);
  // Both pawns leave the fifth rank and open it for the rook.
  Position pinned("4k3/8/8/K2pP2r/8/8/8/8 w - d6 0 1");
  EXPECT_EQ(is_valid_move(pinned, mv("e5", "d6", 0, 0, MOVE_EN_PASSANT)), 0u);
}

TEST(IsValidMove, Castling) {
  Position ok("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
  EXPECT_NE(is_valid_move(ok, CASTLE_WHITE_KING), 0u);
  EXPECT_NE(is_valid_move(ok, CASTLE_WHITE_QUEEN), 0u);
  EXPECT_EQ(is_valid_move(ok, CASTLE_BLACK_KING), 0u);
  EXPECT_EQ(is_valid_move(ok, mv("e1", "g1")), 0u);  // without its flag
  EXPECT_EQ(is_valid_move(ok, mv("e1", "f1", 0, 0, MOVE_CASTLE)), 0u);
  Position g1("r3k2r/8/8/8/8/8/8/R3K1NR w KQkq - 0 1");
  EXPECT_EQ(is_valid_move(g1, CASTLE_WHITE_KING), 0u);
  Position f1_attacked("r3kr2/8/8/8/8/8/8/R3K2R w KQq - 0 1");
  EXPECT_EQ(is_valid_move(f1_attacked, CASTLE_WHITE_KING), 0u);
  Position no_right("r3k2r/8/8/8/8/8/8/R3K2R w Qkq - 0 1");
  EXPECT_EQ(is_valid_move(no_right, CASTLE_WHITE_KING), 0u);
  // A right left over by a set-up whose rook is elsewhere moves nothing.
  Position no_rook("r3k2r/8/8/8/8/8/8/R3K1R1 w KQkq - 0 1");
  EXPECT_EQ(is_valid_move(no_rook, CASTLE_WHITE_KING), 0u);
  Position black("r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1");
  EXPECT_NE(is_valid_move(black, CASTLE_BLACK_QUEEN), 0u);
  black.mailbox[SQ_A8] = 0;  // the rook has gone, the right has not
  EXPECT_EQ(is_valid_move(black, CASTLE_BLACK_QUEEN), 0u);
}

TEST(IsValidMove, OnlyTheGuardedKingOfSeveralCastles) {
  Position second_king("k7/8/8/8/8/3K4/8/4K2R w K - 0 1");
  Position black_first_on_e8("r3k3/8/8/8/8/8/8/3kK3 b q - 0 1");
  EXPECT_EQ(is_valid_move(second_king, CASTLE_WHITE_KING), 0u);
  EXPECT_NE(is_valid_move(black_first_on_e8, CASTLE_BLACK_QUEEN), 0u);
}

TEST(IsValidMove, KingSafety) {
  Position pos("4k3/8/8/8/8/8/3r4/4K3 w - - 0 1");
  EXPECT_EQ(is_valid_move(pos, mv("e1", "e2")), 0u);  // still on the rook's rank
  EXPECT_NE(is_valid_move(pos, mv("e1", "d2", B_ROOK)), 0u);
  EXPECT_EQ(is_valid_move(pos, mv("e1", "d1")), 0u);
  EXPECT_NE(is_valid_move(pos, mv("e1", "f1")), 0u);
  Position pin("4k3/4r3/8/8/8/8/4B3/4K3 w - - 0 1");
  EXPECT_EQ(is_valid_move(pin, mv("e2", "d3")), 0u);
  Position slide("4k3/8/8/8/8/8/8/R3K3 w - - 0 1");
  EXPECT_NE(is_valid_move(slide, mv("a1", "a8")), 0u);
  EXPECT_EQ(is_valid_move(slide, mv("a1", "b2")), 0u);
}

TEST(IsValidMove, ArbitraryWordsOnKinglessBoards) {
  Position pos("8/8/8/3Q4/8/8/8/8 w - - 0 1");
  EXPECT_NE(is_valid_move(pos, mv("d5", "h1")), 0u);
  std::mt19937 rng(7);
  for (int i = 0; i < 20000; ++i) (void)is_valid_move(pos, Move(rng()));
  pos.side_to_move = 0;
  for (int i = 0; i < 20000; ++i) EXPECT_EQ(is_valid_move(pos, Move(rng())), 0u);
}

// Random games: the generated moves are valid, and a corrupted move word is
// valid exactly when it is itself one of the generated moves.
TEST(IsValidMove, AgreesWithTheGenerator) {
  std::mt19937 rng(2026);
  long checked = 0, corrupted_valid = 0;
  for (int game = 0; game < 40; ++game) {
    Position pos("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
    for (int ply = 0; ply < 120; ++ply) {
      std::vector<Move> moves = legal_moves(pos);
      if (moves.empty()) break;
      for (Move m : moves) ASSERT_NE(is_valid_move(pos, m), 0u) << std::hex << m;
      for (int k = 0; k < 200; ++k) {
        Move m = moves[rng() % moves.size()];
        const int bits = 1 + rng() % 3;
        for (int b = 0; b < bits; ++b) m ^= Move(1) << (rng() % (k % 10 == 0 ? 32 : 23));
        const bool generated = std::find(moves.begin(), moves.end(), m) != moves.end();
        ASSERT_EQ(is_valid_move(pos, m) != 0, generated) << std::hex << m;
        corrupted_valid += generated;
        ++checked;
      }
      make_move(pos, moves[rng() % moves.size()]);
    }
  }
  EXPECT_GT(corrupted_valid, 0);
  EXPECT_GT(checked, 100000);
}


// Every move word a position could be asked about (any origin, target,
// promotion and flag, the victim read from the board) is valid exactly when
// the generator lists it, in positions of pins, checks and double checks.
TEST(IsValidMove, PinsAndChecksAgreeWithTheGeneratorOverEveryWord) {
  struct Case {
    const char* fen;
    int moves;  // -1: not counted by hand
  };
  const Case cases[] = {
      {"4k3/4r3/8/8/8/8/4R3/4K3 w - - 0 1", 9},        // rook pinned along its file
      {"4k3/8/8/8/8/2b5/3P4/4K3 w - - 0 1", 5},        // pinned pawn takes its pinner
      {"4k3/8/8/8/4r3/8/8/4K3 w - - 0 1", 4},          // no step back along the check
      {"4r1k1/8/8/8/8/3n4/8/4K2R w K - 0 1", -1},      // double check
      {"8/8/8/2k5/3Pp3/8/8/4K3 b - d3 0 1", -1},       // en passant takes the checker
      {"8/8/8/KPp4r/8/8/8/4k3 w - c6 0 2", -1},        // en passant along a pinned rank
      {"4k3/8/8/1b6/8/3N4/8/5K1R w - - 0 1", -1},      // knight pinned on a diagonal
  };
  for (const Case& c : cases) {
    Position pos(c.fen);
    const std::vector<Move> moves = legal_moves(pos);
    if (c.moves >= 0) {
      EXPECT_EQ(int(moves.size()), c.moves) << c.fen;
    }
    const bool white = pos.side_to_move == 1;
    const unsigned promos[] = {0, make_piece(white ? White : Black, QUEEN),
                               make_piece(white ? White : Black, ROOK),
                               make_piece(white ? White : Black, BISHOP),
                               make_piece(white ? White : Black, KNIGHT)};
    const Move flags[] = {0, MOVE_DOUBLE_STEP, MOVE_EN_PASSANT, MOVE_CASTLE};
    int valid = 0;
    for (Square from = 0; from < 64; ++from)
      for (Square to = 0; to < 64; ++to)
        for (unsigned promo : promos)
          for (Move flag : flags) {
            // An en-passant word names no victim: its target square is empty.
            const unsigned victim = flag == MOVE_EN_PASSANT ? 0 : pos.mailbox[to];
            const Move m = make_move_word(from, to, victim, promo, flag);
            const bool generated = std::find(moves.begin(), moves.end(), m) != moves.end();
            ASSERT_EQ(is_valid_move(pos, m) != 0, generated) << c.fen << " " << std::hex << m;
            valid += generated;
          }
    EXPECT_EQ(valid, int(moves.size())) << c.fen;
  }
  // In double check only the king moves.
  Position pos("4r1k1/8/8/8/8/3n4/8/4K2R w K - 0 1");
  for (Move m : legal_moves(pos)) EXPECT_EQ(move_from(m), sq("e1"));
}

}  // namespace
