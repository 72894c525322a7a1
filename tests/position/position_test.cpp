#include <gtest/gtest.h>

#include "position/attacks.h"
#include "position/fen.h"
#include "position/makemove.h"
#include "position/movegen.h"
#include "position/position.h"

namespace {

Square sq(const char* name) { return make_square(name[0] - 'a', name[1] - '0'); }

TEST(PositionRecord, StartPositionSumsAndContainers) {
  Position pos(START_FEN);
  EXPECT_EQ(pos.pst_white, 4628);
  EXPECT_EQ(pos.pst_black, 4628);
  EXPECT_EQ(pos.material_balance(), 0);
  EXPECT_EQ(pos.history.count, 0);
  EXPECT_EQ(pos.move_stack.level, 1);
  EXPECT_EQ(pos.move_stack.top, 0);
  EXPECT_EQ(pos.move_stack.count(), 0);
  EXPECT_EQ(pos.castle_flags, 15u);
  EXPECT_EQ(pos.ep_square, 0u);
  EXPECT_TRUE(position_consistent(pos));
}

TEST(PositionRecord, KeyTablesHaveTheirZeroRows) {
  for (int s = 0; s < 64; ++s) {
    EXPECT_EQ(piece_key[7][s], 0u);
    EXPECT_EQ(piece_key[8][s], 0u);
    EXPECT_EQ(piece_key[15][s], 0u);
    EXPECT_NE(piece_key[W_PAWN][s], 0u);
  }
  EXPECT_EQ(ep_key(0), 0u);
  EXPECT_NE(ep_key(44), 0u);
}

TEST(PositionRecord, BlackRowsMirrorWhiteRows) {
  for (unsigned kind = PAWN; kind <= KING; ++kind)
    for (int s = 0; s < 64; ++s)
      EXPECT_EQ(piece_square_table[kind][s], piece_square_table[kind + 8][s ^ 56]);
  EXPECT_EQ(piece_square_table[W_PAWN][sq("e4")], 116);
  EXPECT_EQ(piece_square_table[B_PAWN][sq("e5")], 116);
  EXPECT_EQ(piece_square_table[W_KNIGHT][sq("d4")], 362);
}

TEST(MoveStack, CloseAtBottomIsHarmless) {
  MoveStack ms;
  ms.close_level();
  EXPECT_EQ(ms.level, 1);
  EXPECT_EQ(ms.top, 0);
}

TEST(MoveStack, LevelGrowthKeepsBoundsAndKillers) {
  MoveStack ms;
  for (int i = 0; i < 31; ++i) {
    ms.killer1[ms.level] = Move(100 + i);
    ms.mate_killer[ms.level] = Move(200 + i);
    ms.open_level();
    ms.push(Move(i + 1));
  }
  EXPECT_EQ(ms.level, 32);
  EXPECT_EQ(ms.level_capacity, 64);
  for (int i = 0; i < 31; ++i) {
    EXPECT_EQ(ms.list_begin[i + 1], i);
    EXPECT_EQ(ms.list_end[i + 1], i + 1);
    EXPECT_EQ(ms.killer1[i + 1], Move(100 + i));
    EXPECT_EQ(ms.mate_killer[i + 1], Move(200 + i));
  }
  for (int i = 30; i >= 0; --i) {
    EXPECT_EQ(ms.count(), 1);
    EXPECT_EQ(ms.at(0), Move(i + 1));
    ms.close_level();
  }
  EXPECT_EQ(ms.level, 1);
  EXPECT_EQ(ms.top, 0);
}

TEST(MoveStack, PoolGrowthKeepsMoves) {
  MoveStack ms;
  ms.open_level();
  for (int i = 0; i < 1024; ++i) ms.push(Move(i + 1));
  EXPECT_EQ(ms.pool_capacity, 2048);
  ASSERT_EQ(ms.count(), 1024);
  for (int i = 0; i < 1024; ++i) EXPECT_EQ(ms.at(i), Move(i + 1));
}

TEST(MoveStack, RecordCutoffUpdatesHistoryAndKillers) {
  MoveStack ms;
  const Move a = make_move_word(sq("g1"), sq("f3")), b = make_move_word(sq("b1"), sq("c3"));
  ms.record_cutoff(a, 2, 1);
  EXPECT_EQ(ms.history_score[0][a & 0xFFF], 4u);
  EXPECT_EQ(ms.get_killer1(), a);
  ms.record_cutoff(b, 3, 0);
  EXPECT_EQ(ms.history_score[1][b & 0xFFF], 9u);
  EXPECT_EQ(ms.get_killer1(), b);
  EXPECT_EQ(ms.get_killer2(), a);
  // The killer already first leaves both slots as they are.
  ms.record_cutoff(b, 1, 0);
  EXPECT_EQ(ms.history_score[1][b & 0xFFF], 10u);
  EXPECT_EQ(ms.get_killer1(), b);
  EXPECT_EQ(ms.get_killer2(), a);
}

TEST(PositionRecord, AssignmentKeepsKillersHistoryAndOwnFields) {
  Position engine(START_FEN);
  const Move m = make_move_word(sq("e2"), sq("e4"));
  engine.move_stack.record_cutoff(m, 3, 1);
  engine.move_stack.set_mate_killer(m);
  engine.node_count = 77;
  engine.tt.bucket_count = 5;  // a handle only: the position owns no table
  Position fresh("4k3/8/8/8/8/8/8/4K2R w K - 0 1");
  engine = fresh;
  EXPECT_EQ(engine.move_stack.get_killer1(), m);
  EXPECT_EQ(engine.move_stack.get_mate_killer(), m);
  EXPECT_EQ(engine.move_stack.history_score[0][m & 0xFFF], 9u);
  EXPECT_EQ(engine.node_count, 77u);
  EXPECT_EQ(engine.tt.bucket_count, 5u);
  EXPECT_EQ(engine.mailbox[sq("h1")], W_ROOK);
  EXPECT_EQ(engine.castle_flags, CASTLE_WK);
  // The copied bitboards must be reached through the target's own table.
  EXPECT_EQ(engine.bb_of_code[W_ROOK], &engine.piece_bb[6]);
  EXPECT_TRUE(position_consistent(engine));
}

// A game that searched past the first 32 levels leaves killers there; a new
// game ("new" and "setboard" assign a fresh position) finds them again once
// its own search grows that deep.
TEST(PositionRecord, KillersPastTheFirstLevelsSurviveAFreshPosition) {
  Position engine(START_FEN);
  MoveStack& ms = engine.move_stack;
  const Move deep = make_move_word(sq("g1"), sq("f3")), mate = make_move_word(sq("d1"), sq("h5"));
  while (ms.level < 40) ms.open_level();
  ms.record_cutoff(deep, 1, 1);
  ms.set_mate_killer(mate);
  while (ms.level > 1) ms.close_level();
  ASSERT_EQ(ms.level_capacity, 64);

  Position fresh(START_FEN);
  engine = fresh;
  EXPECT_EQ(ms.level_capacity, 32);
  while (ms.level < 40) ms.open_level();
  EXPECT_EQ(ms.level_capacity, 64);
  EXPECT_EQ(ms.get_killer1(), deep);
  EXPECT_EQ(ms.get_mate_killer(), mate);
}

TEST(PositionRecord, HistoryDoublesAfter1024Plies) {
  Position pos("4k3/8/8/8/8/8/8/4K2N w - - 0 1");
  const Move out = make_move_word(sq("h1"), sq("g3")), back = make_move_word(sq("g3"), sq("h1"));
  const Move bout = make_move_word(sq("e8"), sq("d8")), bback = make_move_word(sq("d8"), sq("e8"));
  for (int i = 0; i < 256; ++i) {
    make_move(pos, out);
    make_move(pos, bout);
    make_move(pos, back);
    make_move(pos, bback);
  }
  EXPECT_EQ(pos.history.count, 1024);
  EXPECT_EQ(pos.history.capacity, 2048);
  EXPECT_EQ(pos.history[1024].hash_key, pos.hash_key);
  EXPECT_EQ(pos.history[0].hash_key, pos.hash_key);
  EXPECT_TRUE(position_consistent(pos));
}

TEST(Geometry, SlidingAttacksOnEmptyAndBlockedBoards) {
  Bitboard a8 = rook_attacks(sq("a8"), 0);
  EXPECT_EQ(popcount(a8), 14);
  Bitboard blocked = rook_attacks(sq("a8"), square_bb(sq("a5")));
  EXPECT_TRUE(blocked & square_bb(sq("a5")));
  EXPECT_FALSE(blocked & square_bb(sq("a4")));
  EXPECT_EQ(popcount(bishop_attacks(sq("h1"), 0)), 7);
  EXPECT_EQ(popcount(bishop_attacks(sq("d4"), 0)), 13);
  EXPECT_EQ(popcount(rook_mask[sq("a8")]), 12);
  EXPECT_EQ(popcount(rook_mask[sq("d4")]), 10);
}

TEST(Geometry, SlidingTablesMatchARayWalkOnRandomBoards) {
  uint64_t s = 12345;
  for (int n = 0; n < 20000; ++n) {
    s ^= s << 13, s ^= s >> 7, s ^= s << 17;
    Bitboard occ = s & (s >> 3);
    Square from = Square(n % 64);
    Bitboard rook = 0, bishop = 0;
    const int dirs[8][2] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}, {-1, -1}, {-1, 1}, {1, -1}, {1, 1}};
    for (int d = 0; d < 8; ++d) {
      for (int r = row_of(from) + dirs[d][0], f = file_of(from) + dirs[d][1];
           r >= 0 && r < 8 && f >= 0 && f < 8; r += dirs[d][0], f += dirs[d][1]) {
        (d < 4 ? rook : bishop) |= square_bb(8 * r + f);
        if (occ & square_bb(8 * r + f)) break;
      }
    }
    ASSERT_EQ(rook_attacks(from, occ), rook) << from;
    ASSERT_EQ(bishop_attacks(from, occ), bishop) << from;
  }
}

// The multipliers are constants: each must send every subset of its square's
// mask to an index no subset with other attacks shares, and the filled tables
// must then answer every subset as the ray walk does.
TEST(Geometry, EveryMultiplierMapsEverySubsetOfItsMask) {
  for (Square from = 0; from < 64; ++from) {
    EXPECT_TRUE(multiplier_fits(from, true, rook_magic[from])) << "rook " << from;
    EXPECT_TRUE(multiplier_fits(from, false, bishop_magic[from])) << "bishop " << from;
    EXPECT_EQ(rook_mask[from], walk_mask(from, true));
    EXPECT_EQ(bishop_mask[from], walk_mask(from, false));
    for (Bitboard occ : mask_subsets(rook_mask[from]))
      ASSERT_EQ(rook_attacks(from, occ), walk_attacks(from, occ, true)) << from;
    for (Bitboard occ : mask_subsets(bishop_mask[from]))
      ASSERT_EQ(bishop_attacks(from, occ), walk_attacks(from, occ, false)) << from;
  }
  // The check can fail: one index for every subset, or a multiplier of 1 that
  // shifts the whole mask out.
  EXPECT_FALSE(multiplier_fits(sq("d4"), true, 0));
  EXPECT_FALSE(multiplier_fits(sq("a8"), true, 1));
  EXPECT_FALSE(multiplier_fits(sq("c1"), false, 1));
  EXPECT_EQ(mask_subsets(rook_mask[sq("a8")]).size(), 4096u);
  EXPECT_EQ(popcount(rook_mask[sq("d4")]), 10);
}

TEST(Geometry, PawnAndBetweenTables) {
  EXPECT_EQ(popcount(pawn_attacks_white[sq("a4")]), 1);
  EXPECT_EQ(pawn_attacks_white[sq("e8")], 0u);
  EXPECT_EQ(pawn_attacks_black[sq("e1")], 0u);
  EXPECT_EQ(pawn_attacks_white[sq("e4")], square_bb(sq("d5")) | square_bb(sq("f5")));
  EXPECT_EQ(pawn_double_white[sq("e2")], square_bb(sq("e4")));
  EXPECT_EQ(pawn_double_white[sq("e3")], 0u);
  Bitboard a_file = 0;
  for (int r = 2; r <= 7; ++r) a_file |= square_bb(make_square(0, r));
  EXPECT_EQ(between_orth[sq("a1")][sq("a8")], a_file);
  EXPECT_EQ(between_orth[sq("a1")][sq("b2")], 0u);
  EXPECT_EQ(between_diag[sq("a1")][sq("a2")], 0u);
  EXPECT_EQ(popcount(between_diag[sq("a1")][sq("h8")]), 6);
  EXPECT_TRUE(between_diag[sq("h8")][sq("a1")] & square_bb(sq("d4")));
  EXPECT_EQ(popcount(knight_attacks[sq("a1")]), 2);
  EXPECT_EQ(popcount(king_attacks[sq("e4")]), 8);
}

TEST(AttackQueries, KingSafetyAlongAFile) {
  const Bitboard rook = square_bb(sq("e8")), king = square_bb(sq("e1"));
  const Bitboard occ = rook | king;
  EXPECT_EQ(king_safe_vs_black(occ, 0, 0, 0, rook, 0, 0, sq("e1")), 0u);
  for (int r = 2; r <= 7; ++r)
    EXPECT_EQ(king_safe_vs_black(occ | square_bb(make_square(4, r)), 0, 0, 0, rook, 0, 0,
                                 sq("e1")),
              1u);
}

TEST(AttackQueries, QueenAttackAlongRankStopsAtBlocker) {
  Position open("4k3/8/8/8/q6K/8/8/8 w - - 0 1");
  EXPECT_EQ(attacked_by_black(open, sq("h4")), 1u);
  Position blocked("4k3/8/8/8/q2P3K/8/8/8 w - - 0 1");
  EXPECT_EQ(attacked_by_black(blocked, sq("h4")), 0u);
  EXPECT_EQ(attacked_by_white(blocked, sq("e5")), 1u);  // the d4 pawn
}

TEST(AttackQueries, AttackersOfSeesXRayOnlyThroughRemovedSquares) {
  Position pos("4k3/8/8/8/8/8/3Q4/3RK3 w - - 0 1");
  Bitboard with_queen = attackers_of(pos, sq("d5"), pos.occ_all);
  EXPECT_TRUE(with_queen & square_bb(sq("d2")));
  EXPECT_FALSE(with_queen & square_bb(sq("d1")));
  Bitboard through = attackers_of(pos, sq("d5"), pos.occ_all & ~square_bb(sq("d2")));
  EXPECT_TRUE(through & square_bb(sq("d1")));
  EXPECT_FALSE(through & square_bb(sq("d2")));
}

}  // namespace
