#include "eval/modern_eval.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "position/fen.h"
#include "position/makemove.h"
#include "position/movegen.h"
#include "search/modern_search.h"
#include "search/search_setup.h"

namespace {

// The position's FEN, or that of its colour-flipped mirror: ranks reversed,
// colours swapped, the other side to move.
std::string fen_of(const Position& pos, bool flip) {
  std::string fen;
  for (int row = 0; row < 8; ++row) {
    const int from_row = flip ? 7 - row : row;
    int empty = 0;
    for (int file = 0; file < 8; ++file) {
      unsigned code = pos.mailbox[8 * from_row + file];
      if (!code) {
        ++empty;
        continue;
      }
      if (flip) code ^= 8;
      if (empty) fen += char('0' + empty), empty = 0;
      const char letter = "?pnbrqk"[kind_of(code)];
      fen += is_white_code(code) ? char(letter - 'a' + 'A') : letter;
    }
    if (empty) fen += char('0' + empty);
    if (row < 7) fen += '/';
  }
  const bool white = (pos.side_to_move == 1) != flip;
  fen += white ? " w " : " b ";
  unsigned rights = pos.castle_flags & 15;
  if (flip) rights = (rights >> 2) | ((rights & 3) << 2);
  std::string castling;
  if (rights & CASTLE_WK) castling += 'K';
  if (rights & CASTLE_WQ) castling += 'Q';
  if (rights & CASTLE_BK) castling += 'k';
  if (rights & CASTLE_BQ) castling += 'q';
  fen += castling.empty() ? "-" : castling;
  if (pos.ep_square) {
    const Square ep = flip ? Square(pos.ep_square ^ 56) : Square(pos.ep_square);
    fen += ' ';
    fen += char('a' + file_of(ep));
    fen += char('0' + rank_of(ep));
  } else {
    fen += " -";
  }
  return fen + " 0 1";
}

// Positions of KELO's own games: the modern search at a few hundred nodes a
// move, after a few random opening plies, up to the game's end.
std::vector<std::string> game_positions(int games) {
  std::vector<std::string> fens;
  auto t = std::make_unique<ModernThread>();
  std::mt19937 rng(20261209);
  for (int g = 0; g < games; ++g) {
    auto p = setup_position(START_FEN);
    for (int ply = 0; ply < 240; ++ply) {
      p->move_stack.open_level();
      generate_all(*p);
      const int legal = p->move_stack.count();
      const Move random = legal ? p->move_stack.at(int(rng() % unsigned(legal))) : NO_MOVE;
      p->move_stack.close_level();
      if (!legal || p->fifty_count >= 100) break;
      Move m = random;
      if (ply >= 6) {
        SearchLimits limits;
        limits.node_limit = 400;
        limits.search_single_move = true;
        m = modern_search_root(*p, *t, limits, SearchReport{}).best;
      }
      make_move(*p, m);
      fens.push_back(fen_of(*p, false));
    }
  }
  return fens;
}

// A term written for one colour only, or a square read unmirrored, shows as
// a difference between a position and its mirror. The traced evaluation
// must give the same score as the cached one, and its counts rebuild it.
TEST(ModernEval, SymmetricAndTracedAlikeOverGames) {
  const std::vector<std::string> fens = game_positions(24);
  ASSERT_GT(fens.size(), 2000u);
  PawnCache cache;
  int endgames = 0;
  for (const std::string& fen : fens) {
    auto p = setup_position(fen.c_str());
    auto mirror = setup_position(fen_of(*p, true).c_str());
    const int32_t score = modern_evaluate(*p, cache);
    ASSERT_EQ(score, modern_evaluate(*mirror, cache)) << fen;

    ModernTrace trace;
    ASSERT_EQ(modern_evaluate_traced(*p, trace), score) << fen;
    if (trace.drawn) continue;
    if (trace.phase < 8) ++endgames;
    int64_t mg = 0, eg = 0;
    for (int term = 0; term < TERM_COUNT; ++term) {
      const int diff = trace.count[term][White] - trace.count[term][Black];
      mg += int64_t(diff) * MODERN_WEIGHTS[term].mg;
      eg += int64_t(diff) * MODERN_WEIGHTS[term].eg;
    }
    int64_t white = (mg * trace.phase + eg * trace.scale / MODERN_SCALE_NORMAL *
                                            (MODERN_PHASE_MAX - trace.phase)) /
                        MODERN_PHASE_MAX +
                    trace.fixed;
    white = std::clamp<int64_t>(white, -9000, 9000);
    ASSERT_EQ(p->side_to_move == 1 ? white : -white, score) << fen;
  }
  EXPECT_GT(endgames, 100);
}

// Endgame knowledge: the known draws score 0, opposite bishops and a rook
// against a minor are scaled toward a draw, and the mating drive pushes a
// bare king to the bishop's corner in KBNK.
TEST(ModernEval, EndgameScalingAndMatingDrive) {
  PawnCache cache;
  auto eval = [&](const char* fen) {
    auto p = setup_position(fen);
    return modern_evaluate(*p, cache);
  };
  EXPECT_EQ(eval("8/8/4k3/8/8/3NK3/8/8 w - - 0 1"), 0);
  EXPECT_EQ(eval("8/8/4k3/8/8/3NKN2/8/8 w - - 0 1"), 0);
  EXPECT_EQ(eval("8/8/2b1k3/8/8/3BK3/8/8 b - - 0 1"), 0);
  // A pawn up with opposite bishops and nothing else: far less than with
  // bishops of one colour.
  const int32_t opposite = eval("8/5k2/3b2p1/8/8/3BKPP1/8/8 w - - 0 1");
  const int32_t same = eval("8/5k2/4b1p1/8/8/3BKPP1/8/8 w - - 0 1");
  EXPECT_GT(opposite, 0);
  EXPECT_LT(2 * opposite, same);
  EXPECT_LT(eval("8/8/4k3/8/3n4/8/8/R3K3 w - - 0 1"), 150);
  // KBNK with a light bishop: a8 and h1 are the corners to drive to.
  const int32_t near_right = eval("k7/8/1K6/8/8/8/8/5BN1 w - - 0 1");
  const int32_t near_wrong = eval("7k/8/6K1/8/8/8/8/5BN1 w - - 0 1");
  EXPECT_GT(near_right, near_wrong + 100);
}

}  // namespace
