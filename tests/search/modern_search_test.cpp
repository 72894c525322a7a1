#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "position/fen.h"
#include "position/makemove.h"
#include "position/movegen.h"
#include "position/movetext.h"
#include "search/modern_internal.h"
#include "search/modern_search.h"
#include "search/search.h"
#include "search/modern_tt.h"
#include "search/search_setup.h"
#include "search/time_manager.h"

namespace {

struct Lines {
  std::vector<Move> first_moves;
  std::vector<int32_t> scores;
};

void record(void* context, const ThinkingLine& line) {
  auto* r = static_cast<Lines*>(context);
  r->first_moves.push_back(line.variation[0]);
  r->scores.push_back(line.score);
}

SearchResult search_to_depth(Position& pos, ModernThread& t, int32_t depth, Lines* lines = nullptr,
                             uint64_t nodes = 0) {
  SearchLimits limits;
  limits.depth_limit = depth - 1;
  limits.node_limit = nodes;
  limits.search_single_move = true;
  return modern_search_root(pos, t, limits, lines ? SearchReport{record, lines} : SearchReport{});
}

// Every legal move survives the table's packing, en passant, castling and
// promotions included.
TEST(ModernTable, PackedMovesComeBackWhole) {
  for (const char* fen : {"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
                          "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 b kq - 0 1",
                          "8/8/8/2k5/3Pp3/8/8/4K3 b - d3 0 1"}) {
    auto p = setup_position(fen);
    generate_all(*p);
    for (int i = 0; i < p->move_stack.count(); ++i) {
      const Move m = p->move_stack.at(i);
      EXPECT_EQ(unpack_move(*p, pack_move(m)), m) << fen << " " << move_text(m);
    }
    p->move_stack.close_level();
  }
}

// Whether a move checks, told before it is made, agrees with the board
// after it over every line three plies deep from the perft suite's
// positions: castling rooks, en passant, promotions and uncovered sliders.
void compare_checks(Position& pos, int depth, int& compared) {
  generate_all(pos);
  for (int i = 0; i < pos.move_stack.count(); ++i) {
    const Move m = pos.move_stack.at(i);
    const bool told = gives_check(pos, m);
    make_move(pos, m);
    ASSERT_EQ(told, side_in_check(pos)) << move_text(m);
    ++compared;
    if (depth > 1) compare_checks(pos, depth - 1, compared);
    unmake_move(pos);
  }
  pos.move_stack.close_level();
}

TEST(ModernSearch, ChecksAreToldBeforeTheMove) {
  std::ifstream suite(std::string(KELO_SOURCE_DIR) + "/tests/data/perft.epd");
  int compared = 0, positions = 0;
  for (std::string line; std::getline(suite, line);) {
    if (line.empty() || line[0] == '#') continue;
    auto p = setup_position(line.substr(0, line.find(';')).c_str());
    compare_checks(*p, 3, compared);
    ++positions;
  }
  EXPECT_GE(positions, 20);
  EXPECT_GT(compared, 100000);
}

// The same in Chess960, two plies deep from its perft suite and from a
// castling whose rook gives check (the word is the king onto its rook; king
// and rook land elsewhere); and every move there survives the table's packing.
TEST(ModernSearch, Chess960ChecksAreToldBeforeTheMove) {
  std::ifstream suite(std::string(KELO_SOURCE_DIR) + "/tests/data/perft960.epd");
  std::vector<std::string> fens = {"5k2/8/8/8/8/8/8/1K5R w H - 0 1"};
  for (std::string line; std::getline(suite, line);)
    if (!line.empty() && line[0] != '#') fens.push_back(line.substr(0, line.find(';')) + " 0 1");
  int compared = 0;
  for (const std::string& fen : fens) {
    Position pos(fen.c_str(), true);
    compare_checks(pos, 2, compared);
    // Castlings survive the table's packing too.
    generate_all(pos);
    for (int i = 0; i < pos.move_stack.count(); ++i) {
      const Move m = pos.move_stack.at(i);
      EXPECT_EQ(unpack_move(pos, pack_move(m)), m) << fen << " " << move_text(m);
    }
    pos.move_stack.close_level();
  }
  Position castling_check(fens[0].c_str(), true);
  EXPECT_TRUE(gives_check(castling_check, make_move_word(SQ_B1, SQ_H1, 0, 0, MOVE_CASTLE)));
  EXPECT_GT(compared, 30000);
}

// A mate score stored at one ply counts from its position: read at another
// ply it is as far from that ply's root; other scores stay as they are.
TEST(ModernTable, MateScoresMoveWithThePly) {
  auto p = setup_position("4k3/8/8/8/8/8/4P3/4K3 w - - 0 1");
  const uint64_t key = modern_key(*p);
  ModernEntry e;
  const struct {
    int32_t stored, read;
  } cases[] = {{SCORE_INFINITE - 7, SCORE_INFINITE - 9}, {-SCORE_INFINITE + 8, -SCORE_INFINITE + 10},
               {250, 250}};
  for (const auto& c : cases) {
    modern_tt_store(*p, key, 3, 1, ModernEntry{0, c.stored, 10, 5, TT_EXACT, false});
    ASSERT_TRUE(modern_tt_probe(*p, key, 5, e));
    EXPECT_EQ(e.score, c.read);
    EXPECT_EQ(e.eval, 10);
    EXPECT_EQ(e.depth, 5);
  }
  EXPECT_FALSE(modern_tt_probe(*p, key ^ 1, 5, e));
}

// Mates are found at their distance (a sacrifice's a few plies later than
// the mate's length), and the table keeps them right when the same position
// is searched again.
TEST(ModernSearch, MateInNAtItsDistance) {
  auto t = std::make_unique<ModernThread>();
  const struct {
    const char* fen;
    int moves;
  } mates[] = {{"r2qkb1r/pp2nppp/3p4/2pNN1B1/2BnP3/3P4/PPP2PPP/R2bK2R w KQkq - 1 1", 2},
               {"6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1", 1},
               {"r1b1kb1r/pppp1ppp/5q2/4n3/3KP3/2N3PN/PPP4P/R1BQ1B1R b kq - 0 1", 3}};
  for (const auto& m : mates) {
    auto p = setup_position(m.fen);
    // The second time the table is full of the first search's mates.
    for (int round = 0; round < 2; ++round)
      EXPECT_EQ(search_to_depth(*p, *t, 12).score, SCORE_INFINITE - (2 * m.moves - 1))
          << m.fen << " round " << round;
    if (m.moves == 1) continue;
    // Mated: the other side sees the same distance from below.
    make_move(*p, search_to_depth(*p, *t, 12).best);
    EXPECT_EQ(search_to_depth(*p, *t, 12).score, -SCORE_INFINITE + 2 * m.moves - 2)
        << m.fen;
  }
}

TEST(ModernSearch, RepetitionAndFiftyMovesAreDraws) {
  auto p = setup_position(START_FEN);
  auto play = [&](const char* text) { ASSERT_TRUE(play_move_text(*p, text)); };
  for (const char* m : {"g1f3", "g8f6", "f3g1", "f6g8"}) play(m);
  // Back at the start: a draw when it happened inside the search, not yet
  // when the first position was the game's own before the root.
  EXPECT_TRUE(modern_draw(*p, 0));
  EXPECT_FALSE(modern_draw(*p, 4));
  for (const char* m : {"g1f3", "g8f6", "f3g1", "f6g8"}) play(m);
  EXPECT_TRUE(modern_draw(*p, 8));  // a third time in the game
  auto q = setup_position("4k3/8/8/8/8/8/4P3/R3K3 w - - 99 80");
  EXPECT_FALSE(modern_draw(*q, 0));
  q->fifty_count = 100;
  EXPECT_TRUE(modern_draw(*q, 0));
  // Too little to mate: a lone minor piece; two knights still play on.
  EXPECT_TRUE(modern_draw(*setup_position("4k3/8/8/8/8/8/8/2B1K3 w - - 0 1"), 0));
  EXPECT_FALSE(modern_draw(*setup_position("4k3/8/8/8/8/8/8/1NN1K3 w - - 0 1"), 0));

  // A side a queen down holds by perpetual check: the search scores a draw.
  auto t = std::make_unique<ModernThread>();
  auto perpetual = setup_position("5rk1/5ppp/8/8/8/7Q/q4PPP/q5K1 w - - 0 1");
  EXPECT_EQ(search_to_depth(*perpetual, *t, 10).score, 0);
}

TEST(ModernSearch, NullMoveNeverInCheckOrWithPawnsAlone) {
  EXPECT_FALSE(modern_null_move_allowed(*setup_position("4k3/4p3/8/8/8/8/4P3/4K3 w - - 0 1"), false));
  EXPECT_TRUE(modern_null_move_allowed(*setup_position("4k3/4p3/8/8/8/8/4P3/1N2K3 w - - 0 1"), false));
  EXPECT_FALSE(modern_null_move_allowed(*setup_position("4k3/4r3/8/8/8/8/8/1N2K3 w - - 0 1"), true));
  // Only the side to move's pieces count.
  EXPECT_FALSE(modern_null_move_allowed(*setup_position("4k3/8/8/8/8/8/4P3/1n2K3 w - - 0 1"), false));
}

// Stopped anywhere, in an aspiration window's failure too, the move played
// is one a finished search of it put first: the last thinking line's.
TEST(ModernSearch, AStoppedSearchPlaysItsLastReportedMove) {
  auto t = std::make_unique<ModernThread>();
  for (const char* fen : {"r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP1B1PPP/R2QKB1R w KQ - 0 1",
                          "2r3k1/5pp1/p3p2p/1p1nP3/3P4/P2B1N2/1r3PPP/2R2RK1 b - - 0 1"}) {
    auto p = setup_position(fen);
    for (uint64_t nodes = 2000; nodes < 400000; nodes = nodes * 5 / 4) {
      Lines lines;
      const SearchResult r = search_to_depth(*p, *t, 64, &lines, nodes);
      ASSERT_FALSE(lines.first_moves.empty());
      EXPECT_EQ(r.best, lines.first_moves.back()) << fen << " nodes " << nodes;
      EXPECT_EQ(r.score, lines.scores.back());
    }
  }
}

// The modern budget keeps the overhead back, and its hard limit stays within
// the clock whatever the control.
TEST(TimeManager, ModernBudgetsStayWithinTheClock) {
  for (int64_t left : {50, 400, 3000, 60000, 900000})
    for (int64_t inc : {0, 10, 100, 2000})
      for (int64_t mtg : {0, 1, 2, 40}) {
        MoveClock c;
        c.time_left = left;
        c.increment = inc;
        c.moves_to_go = mtg;
        c.moves_known = mtg > 0;
        c.overhead = 20;
        const TimeBudget b = plan_move_time(c, TimeRule::MODERN);
        EXPECT_GE(b.soft_ms, 1);
        EXPECT_LE(b.soft_ms, b.hard_ms);
        EXPECT_LE(b.hard_ms, std::max<int64_t>(1, (left - 20) * 3 / 4)) << left << " " << inc;
      }
  MoveClock fixed;
  fixed.fixed_ms = 1000;
  fixed.overhead = 20;
  EXPECT_EQ(plan_move_time(fixed, TimeRule::MODERN).hard_ms, 980);
  // The classic rules are as before: the overhead, 0 by default, comes off.
  fixed.overhead = 0;
  EXPECT_EQ(plan_move_time(fixed, TimeRule::CLASSIC).hard_ms, 970);
}

}  // namespace
