#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "position/fen.h"
#include "position/makemove.h"
#include "position/movegen.h"
#include "position/movetext.h"
#include "position/perft.h"

namespace {

std::vector<std::string> generated(Position& pos) {
  generate_all(pos);
  std::vector<std::string> out;
  for (int i = 0; i < pos.move_stack.count(); ++i) out.push_back(move_text(pos.move_stack.at(i)));
  pos.move_stack.close_level();
  return out;
}

template <typename Stage>
std::vector<std::string> stage(Position& pos, Stage gen) {
  pos.move_stack.open_level();
  gen(pos);
  std::vector<std::string> out;
  for (int i = 0; i < pos.move_stack.count(); ++i) out.push_back(move_text(pos.move_stack.at(i)));
  pos.move_stack.close_level();
  return out;
}

bool contains(const std::vector<std::string>& v, const char* m) {
  return std::find(v.begin(), v.end(), m) != v.end();
}

TEST(MoveGeneration, StartPositionOrder) {
  Position pos(START_FEN);
  std::vector<std::string> expected;
  for (char f = 'a'; f <= 'h'; ++f) expected.push_back(std::string{f, '2', f, '3'});
  for (char f = 'a'; f <= 'h'; ++f) expected.push_back(std::string{f, '2', f, '4'});
  for (const char* m : {"b1a3", "b1c3", "g1f3", "g1h3"}) expected.push_back(m);
  EXPECT_EQ(generated(pos), expected);
}

TEST(MoveGeneration, PromotionsSplitBetweenStages) {
  Position pos("r3k3/1P6/8/8/8/8/8/4K3 w - - 0 1");
  EXPECT_EQ(stage(pos, gen_captures_white), (std::vector<std::string>{"b7a8q", "b7b8q"}));
  EXPECT_EQ(stage(pos, gen_underpromotions_white),
            (std::vector<std::string>{"b7b8r", "b7b8n", "b7b8b", "b7a8r", "b7a8n", "b7a8b"}));
  Position blocked("1n2k3/1P6/8/8/8/8/8/4K3 w - - 0 1");
  EXPECT_TRUE(stage(blocked, gen_captures_white).empty());
  Position black("4k3/8/8/8/8/8/p7/1R2K3 b - - 0 1");
  EXPECT_EQ(stage(black, gen_captures_black), (std::vector<std::string>{"a2b1q", "a2a1q"}));
  EXPECT_EQ(stage(black, gen_underpromotions_black)[0], "a2a1r");
}

TEST(MoveGeneration, EnPassantThatExposesTheKingIsNotGenerated) {
  Position pinned("8/8/8/K2pP2r/8/8/8/4k3 w - d6 0 1");
  EXPECT_FALSE(contains(generated(pinned), "e5d6"));
  Position free_pawn("8/8/8/3pP3/8/8/K7/4k3 w - d6 0 1");
  EXPECT_TRUE(contains(generated(free_pawn), "e5d6"));
}

// The set-up names the en-passant file only; the square it gives may hold a
// piece, and taking onto it would overwrite that piece.
TEST(MoveGeneration, EnPassantOntoAnOccupiedSquareIsNotGenerated) {
  Position own_pawn("4k3/8/1P6/1pP5/8/8/8/4K3 w - b6 0 1");
  EXPECT_FALSE(contains(generated(own_pawn), "c5b6"));
  Position own_knight("4k3/8/8/8/3Pp3/3n4/8/4K3 b - d3 0 1");
  EXPECT_FALSE(contains(generated(own_knight), "e4d3"));
  Position only_move("8/8/8/8/3Pp3/3p4/3P4/k1K5 b - d3 0 1");
  EXPECT_EQ(generated(only_move).empty(), has_legal_move(only_move) == 0);
  for (int i = 0; i < 2; ++i) {
    Position& pos = i == 0 ? own_pawn : own_knight;
    generate_all(pos);
    for (int k = 0; k < pos.move_stack.count(); ++k) {
      make_listed(pos, k);
      EXPECT_TRUE(position_consistent(pos)) << move_text(pos.history[0].move);
      unmake_move(pos);
    }
    pos.move_stack.close_level();
  }
}

TEST(MoveGeneration, CastlingConditions) {
  Position both("4k3/8/8/8/8/8/8/R3K2R w KQ - 0 1");
  auto moves = generated(both);
  EXPECT_TRUE(contains(moves, "e1g1"));
  EXPECT_TRUE(contains(moves, "e1c1"));
  Position in_check("4k3/8/8/8/8/8/4r3/R3K2R w KQ - 0 1");
  moves = generated(in_check);
  EXPECT_FALSE(contains(moves, "e1g1"));
  EXPECT_FALSE(contains(moves, "e1c1"));
  Position through_f1("4kr2/8/8/8/8/8/8/R3K2R w KQ - 0 1");
  EXPECT_FALSE(contains(generated(through_f1), "e1g1"));
  // b1 may be attacked: the king does not cross it.
  Position b1_attacked("1r2k3/8/8/8/8/8/8/R3K2R w KQ - 0 1");
  EXPECT_TRUE(contains(generated(b1_attacked), "e1c1"));
  Position path_blocked("4k3/8/8/8/8/8/8/RN2K1NR w KQ - 0 1");
  moves = generated(path_blocked);
  EXPECT_FALSE(contains(moves, "e1g1"));
  EXPECT_FALSE(contains(moves, "e1c1"));
}

TEST(MoveGeneration, CastlingNeedsKingAndRookAtHome) {
  // Rights kept by the set-up although king or rook has left home.
  Position no_rook("4k3/8/8/8/8/8/8/4K1R1 w K - 0 1");
  Position king_away("4k3/8/8/8/8/8/8/R2K3R w KQ - 0 1");
  Position black_rook_gone("r3k3/8/8/8/8/8/8/4K3 b kq - 0 1");
  for (const Position* pos : {&no_rook, &king_away, &black_rook_gone})
    EXPECT_NE(setup_problems(*pos).back().find("enrroque"), std::string::npos);
  EXPECT_FALSE(contains(generated(no_rook), "e1g1"));
  for (const auto& m : generated(king_away)) EXPECT_NE(m.substr(0, 2), "e1");
  auto black = generated(black_rook_gone);
  EXPECT_TRUE(contains(black, "e8c8"));
  EXPECT_FALSE(contains(black, "e8g8"));
}

// With several kings the legality test guards the first in square order;
// a second king on e1 must not castle past it, or the generator would offer
// a move where has_legal_move finds none.
TEST(MoveGeneration, OnlyTheGuardedKingOfSeveralCastles) {
  Position pinned_all("r3k2r/p1ppqpb1/1bn2pp1/3PN3/N4p2/3K2RK/QkqBBPPP/R3K2R w KQkq - 0 1");
  Position second_king("k7/8/8/8/8/3K4/8/4K2R w K - 0 1");
  Position black_first_on_e8("r3k3/8/8/8/8/8/8/3kK3 b q - 0 1");
  EXPECT_TRUE(generated(pinned_all).empty());
  EXPECT_EQ(has_legal_move(pinned_all), 0u);
  EXPECT_FALSE(contains(generated(second_king), "e1g1"));
  // A king later in square order leaves e8 the guarded one.
  EXPECT_TRUE(contains(generated(black_first_on_e8), "e8c8"));
}

// A set-up may leave the enemy king en prise: taking it is legal, and the
// taken king no longer guards the squares around it.
TEST(MoveGeneration, ATakenKingAttacksNothing) {
  Position white("8/8/8/8/8/8/R3k3/4K3 w - - 0 1");
  EXPECT_EQ(perft(white, 1), 2);
  EXPECT_TRUE(contains(generated(white), "a2e2"));
  EXPECT_EQ(has_legal_move(white), 1u);
  Position black("4k3/r3K3/8/8/8/8/8/8 b - - 0 1");
  EXPECT_EQ(perft(black, 1), 2);
  EXPECT_TRUE(contains(generated(black), "a7e7"));
}

TEST(MoveGeneration, CheckmateAndStalemateHaveNoMoves) {
  Position mate("7k/6Q1/6K1/8/8/8/8/8 b - - 0 1");
  EXPECT_TRUE(generated(mate).empty());
  EXPECT_EQ(has_legal_move(mate), 0u);
  Position stalemate("7k/8/6Q1/8/8/8/8/6K1 b - - 0 1");
  EXPECT_TRUE(generated(stalemate).empty());
  EXPECT_EQ(has_legal_move(stalemate), 0u);
  Position evasions("4k3/8/8/8/8/8/3q4/4K3 w - - 0 1");
  EXPECT_EQ(generated(evasions), (std::vector<std::string>{"e1d2", "e1f1"}));
}

TEST(MoveGeneration, HasLegalMoveFindsTheOnlyMove) {
  // Each position has these moves and no other; has_legal_move must find the
  // one kind of move that exists.
  const std::pair<const char*, std::vector<std::string>> only[] = {
      {"7k/8/8/8/8/1P6/5q2/7K w - - 0 1", {"b3b4"}},              // a single step
      {"7k/2n5/1p6/8/K6r/8/3nP3/2b5 w - - 0 1", {"e2e4"}},       // a double step blocks
      {"7k/8/2p1n1p1/3pP3/4K3/r7/8/8 w - d6 0 1", {"e5d6"}},     // en passant takes the checker
      {"7k/P7/8/8/8/8/5q2/7K w - - 0 1", {"a7a8q", "a7a8r", "a7a8n", "a7a8b"}},  // promotions
      {"7k/4Q3/8/8/8/8/8/K7 b - - 0 1", {"h8g8"}},                // a king move
  };
  for (const auto& [fen, moves] : only) {
    Position pos(fen);
    EXPECT_EQ(generated(pos), moves) << fen;
    EXPECT_EQ(has_legal_move(pos), 1u) << fen;
  }
  const char* agree[] = {
      "k7/8/8/8/8/p7/P7/K7 w - - 0 1",
      "7k/8/8/8/8/1q6/P7/K7 w - - 0 1",
      "8/8/8/8/r3P2K/8/5PPq/7k w - - 0 1",
      "8/8/8/2k5/3pP3/8/8/K1Q5 b - e3 0 1",
      "7k/5Q2/8/8/8/8/8/K7 b - - 0 1",  // stalemate
  };
  for (const char* fen : agree) {
    Position pos(fen);
    EXPECT_EQ(has_legal_move(pos), generated(pos).empty() ? 0u : 1u) << fen;
  }
}

// An en-passant field with no enemy pawn beyond it gives no capture, to the
// generator and to has_legal_move alike: this set-up is stalemate.
TEST(MoveGeneration, EnPassantNeedsItsVictimForHasLegalMoveToo) {
  Position pos("7k/8/4p3/4P3/8/8/2q5/K7 w - d6 0 1");
  EXPECT_TRUE(generated(pos).empty());
  EXPECT_EQ(has_legal_move(pos), 0u);
}

// Random play from varied positions: after every make and unmake every
// incremental field equals its from-scratch value, and unmake restores the
// whole record.
TEST(MakeUnmake, RandomPlayKeepsEveryFieldConsistent) {
  const char* fens[] = {
      START_FEN,
      "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
      "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
      "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
      "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 0 1",
  };
  std::mt19937 rng(2026);
  int checked = 0;
  for (const char* fen : fens) {
    Position pos(fen);
    for (int game = 0; game < 20; ++game) {
      struct Snapshot {
        uint32_t mailbox[64];
        Bitboard bbs[12];
        uint32_t castle, ep, fifty;
        uint64_t key;
        int32_t pw, pb, side;
      };
      std::vector<Snapshot> trail;
      for (int ply = 0; ply < 60; ++ply) {
        generate_all(pos);
        int n = pos.move_stack.count();
        if (n == 0) {
          pos.move_stack.close_level();
          break;
        }
        Move m = pos.move_stack.at(int(rng() % n));
        pos.move_stack.close_level();
        Snapshot s;
        std::memcpy(s.mailbox, pos.mailbox, sizeof s.mailbox);
        std::memcpy(s.bbs, pos.piece_bb, sizeof s.bbs);
        s.castle = pos.castle_flags, s.ep = pos.ep_square, s.fifty = pos.fifty_count;
        s.key = pos.hash_key, s.pw = pos.pst_white, s.pb = pos.pst_black, s.side = pos.side_to_move;
        trail.push_back(s);
        make_move(pos, m);
        ASSERT_TRUE(position_consistent(pos)) << fen << " after " << move_text(m);
        ++checked;
      }
      while (!trail.empty()) {
        unmake_move(pos);
        const Snapshot& s = trail.back();
        ASSERT_TRUE(position_consistent(pos));
        ASSERT_EQ(std::memcmp(s.mailbox, pos.mailbox, sizeof s.mailbox), 0);
        ASSERT_EQ(std::memcmp(s.bbs, pos.piece_bb, sizeof s.bbs), 0);
        ASSERT_EQ(s.castle, pos.castle_flags);
        ASSERT_EQ(s.ep, pos.ep_square);
        ASSERT_EQ(s.fifty, pos.fifty_count);
        ASSERT_EQ(s.key, pos.hash_key);
        ASSERT_EQ(s.pw, pos.pst_white);
        ASSERT_EQ(s.pb, pos.pst_black);
        ASSERT_EQ(s.side, pos.side_to_move);
        trail.pop_back();
      }
    }
  }
  EXPECT_GT(checked, 3000);
}

Move find_move(Position& pos, const char* text) {
  generate_all(pos);
  Move found = 0;
  for (int i = 0; i < pos.move_stack.count(); ++i)
    if (move_text(pos.move_stack.at(i)) == text) found = pos.move_stack.at(i);
  pos.move_stack.close_level();
  return found;
}

TEST(MakeUnmake, DoubleStepSetsTargetAndKey) {
  Position pos(START_FEN);
  const uint64_t before = pos.hash_key;
  Move m = find_move(pos, "e2e4");
  ASSERT_TRUE(m & MOVE_DOUBLE_STEP);
  make_move(pos, m);
  EXPECT_EQ(pos.ep_square, 44u);
  EXPECT_EQ(pos.fifty_count, 0u);
  EXPECT_EQ(pos.hash_key, before ^ piece_key[W_PAWN][52] ^ piece_key[W_PAWN][36] ^ ep_key(44));
  EXPECT_EQ(pos.node_count, 1u);
  unmake_move(pos);
  EXPECT_EQ(pos.hash_key, before);
  EXPECT_EQ(pos.ep_square, 0u);
}

TEST(MakeUnmake, RightsAndCastledMarks) {
  Position pos("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
  const uint64_t before = pos.hash_key;
  make_move(pos, find_move(pos, "e1g1"));
  EXPECT_EQ(pos.mailbox[SQ_G1], W_KING);
  EXPECT_EQ(pos.mailbox[SQ_F1], W_ROOK);
  EXPECT_EQ(pos.mailbox[SQ_H1], EMPTY);
  EXPECT_EQ(pos.castle_flags, CASTLE_BK | CASTLE_BQ | CASTLED_WK);
  EXPECT_TRUE(position_consistent(pos));
  unmake_move(pos);
  EXPECT_EQ(pos.castle_flags, 15u);
  EXPECT_EQ(pos.hash_key, before);

  make_move(pos, find_move(pos, "e1d1"));
  EXPECT_EQ(pos.hash_key, before ^ piece_key[W_KING][SQ_E1] ^ piece_key[W_KING][SQ_D1] ^
                              castle_key[0] ^ castle_key[1]);
  make_move(pos, find_move(pos, "a8b8"));
  EXPECT_EQ(pos.castle_flags, unsigned(CASTLE_BK));
  make_move(pos, find_move(pos, "d1e1"));  // a second king move changes no right
  EXPECT_EQ(pos.castle_flags, unsigned(CASTLE_BK));
  EXPECT_TRUE(position_consistent(pos));

  Position capture("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
  make_move(capture, find_move(capture, "h1h8"));
  EXPECT_EQ(capture.castle_flags, unsigned(CASTLE_WQ | CASTLE_BQ));

  // A king taken in a set-up that allows it leaves its side's rights alone,
  // and the key and evaluation with them.
  Position king_taken("r3k2r/8/8/8/8/8/8/4R1K1 w kq - 0 1");
  const uint64_t key = king_taken.hash_key;
  make_move(king_taken, find_move(king_taken, "e1e8"));
  EXPECT_EQ(king_taken.castle_flags, unsigned(CASTLE_BK | CASTLE_BQ));
  EXPECT_EQ(king_taken.hash_key, key ^ piece_key[W_ROOK][SQ_E1] ^ piece_key[W_ROOK][SQ_E8] ^
                                     piece_key[B_KING][SQ_E8]);
  EXPECT_TRUE(position_consistent(king_taken));
  unmake_move(king_taken);
  EXPECT_EQ(king_taken.castle_flags, unsigned(CASTLE_BK | CASTLE_BQ));
  EXPECT_EQ(king_taken.hash_key, key);
}

TEST(MakeUnmake, EnPassantAndPromotionCapture) {
  Position ep("4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1");
  Move m = find_move(ep, "e5d6");
  EXPECT_TRUE(m & MOVE_EN_PASSANT);
  EXPECT_EQ(move_captured(m), 0u);
  make_move(ep, m);
  EXPECT_EQ(ep.mailbox[make_square(3, 5)], EMPTY);
  EXPECT_TRUE(position_consistent(ep));
  unmake_move(ep);
  EXPECT_EQ(ep.mailbox[make_square(3, 5)], B_PAWN);

  Position promo("1r2k3/P7/8/8/8/8/8/4K3 w - - 0 1");
  const int32_t sum = promo.pst_white;
  const uint64_t key = promo.hash_key;
  make_move(promo, find_move(promo, "a7b8q"));
  const Square b8 = 1, a7 = 8;
  EXPECT_EQ(promo.pst_white, sum - piece_square_table[W_PAWN][a7] + piece_square_table[W_QUEEN][b8]);
  EXPECT_EQ(promo.hash_key, key ^ piece_key[W_PAWN][a7] ^ piece_key[W_QUEEN][b8] ^
                                piece_key[B_ROOK][b8]);
  unmake_move(promo);
  EXPECT_EQ(promo.mailbox[a7], W_PAWN);
  EXPECT_EQ(promo.mailbox[b8], B_ROOK);
  EXPECT_TRUE(position_consistent(promo));
}

TEST(Repetition, CountsFromEntryTwoOnAndStopsAtIrreversibleMoves) {
  Position pos(START_FEN);
  const char* cycle[] = {"g1f3", "g8f6", "f3g1", "f6g8"};
  for (const char* m : cycle) make_move(pos, find_move(pos, m));
  EXPECT_EQ(repetition_count(pos), 1);  // entry 0 is never examined
  for (const char* m : cycle) make_move(pos, find_move(pos, m));
  EXPECT_EQ(repetition_count(pos), 2);
  for (const char* m : cycle) make_move(pos, find_move(pos, m));
  EXPECT_EQ(repetition_count(pos), 3);
  make_move(pos, find_move(pos, "e2e4"));
  for (const char* m : {"g8f6", "g1f3", "f6g8", "f3g1"}) make_move(pos, find_move(pos, m));
  EXPECT_EQ(repetition_count(pos), 1);
}

TEST(Perft, ZeroNegativeAndTerminalDepths) {
  Position pos(START_FEN);
  EXPECT_EQ(perft(pos, 0), 1);
  EXPECT_EQ(perft(pos, -3), 1);
  Position mate("7k/6Q1/6K1/8/8/8/8/8 b - - 0 1");
  EXPECT_EQ(perft(mate, 1), 0);
  EXPECT_EQ(perft(pos, 3), 8902);
  EXPECT_EQ(pos.history.count, 0);
  EXPECT_EQ(pos.move_stack.level, 1);
  EXPECT_TRUE(position_consistent(pos));
}

}  // namespace
