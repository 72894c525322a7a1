// The search tree pinned: fixed searches from a fresh table, killers and
// history give exactly these thinking lines (depth, score, nodes) and these
// node totals. Any change to the order of the stages, a comparison, a
// reduction, the exchange evaluation, the ordering or the evaluation moves
// them; a change that only makes nodes cheaper leaves them alone.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "frontend/config.h"
#include "frontend/movetext.h"
#include "position/clock.h"
#include "search/search.h"
#include "search/think.h"
#include "search/tt.h"

namespace {

struct Line {
  int depth;
  int score;
  unsigned long long nodes;
  bool operator==(const Line&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Line& l) {
  return out << "{" << l.depth << ", " << l.score << ", " << l.nodes << "}";
}

struct Searched {
  std::vector<Line> lines;
  unsigned long long nodes;
};

// What the search bench does for one position: a new position with the
// engine's default table, the reductions as at start-up, a fixed number of
// iterations, the engine's output captured. The moves are played first, so
// the search sees them in the game history.
Searched search_to(const char* fen, int iterations, const std::vector<const char*>& moves = {}) {
  testing::internal::CaptureStdout();
  auto pos = std::make_unique<Position>(fen);
  for (const char* m : moves) read_user_move(*pos, m);
  const int plies = pos->history.count;
  EXPECT_EQ(size_t(plies), moves.size()) << "every move of the game is legal";
  tt_allocate(pos->tt, 699040);
  pos->fixed_move_time = 1000000000;
  const int32_t saved_limit = config.max_depth_search;
  config.max_depth_search = iterations + 1;
  stop_search.store(0);
  think(*pos);
  config.max_depth_search = saved_limit;
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(pos->history.count, plies + 1) << "the search plays one move";

  // A thinking line: depth score centiseconds nodes variation [statistics].
  Searched result{{}, last_search_nodes};
  std::istringstream in(out);
  for (std::string text; std::getline(in, text);) {
    if (text.rfind("move ", 0) == 0) continue;
    Line l{};
    long long centiseconds = 0;
    if (std::sscanf(text.c_str(), "%d %d %lld %llu", &l.depth, &l.score, &centiseconds,
                    &l.nodes) == 4)
      result.lines.push_back(l);
    else
      ADD_FAILURE() << "unexpected output line: " << text;
  }
  return result;
}

void expect_lines(const Searched& got, const std::vector<Line>& want) {
  ASSERT_EQ(got.lines.size(), want.size());
  for (size_t i = 0; i < want.size(); ++i) EXPECT_EQ(got.lines[i], want[i]) << "line " << i;
}

}  // namespace

namespace {

struct BenchCase {
  const char* fen;
  unsigned long long nodes;
  std::vector<Line> lines;
};

// The search bench's six positions, to iteration 8.
const BenchCase BENCH[] = {
    {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", 150275,
     {{2, -22, 21}, {2, -16, 62}, {2, -14, 122}, {2, -12, 175}, {2, -8, 216}, {2, 0, 267},
      {3, 20, 371}, {4, 0, 490}, {5, 12, 1314}, {6, 0, 2234}, {7, 8, 6343}, {8, 0, 11597},
      {9, 6, 55860}, {9, 8, 98683}, {9, 12, 148897}}},
    {"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", 295450,
     {{2, -100, 108}, {2, 26, 327}, {3, 24, 577}, {4, 26, 2611}, {5, -14, 7075}, {5, 4, 9397},
      {6, -2, 23426}, {6, 2, 24913}, {7, 40, 41859}, {8, 60, 81902}, {9, 18, 190439}}},
    {"8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1", 40998,
     {{2, 112, 52}, {3, 8, 203}, {3, 104, 271}, {4, 10, 680}, {5, 10, 1451}, {5, 100, 2460},
      {6, 14, 5589}, {7, 14, 11784}, {8, 10, 22739}, {9, 10, 37051}}},
    {"r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1", 91711,
     {{2, -440, 126}, {3, -440, 308}, {4, -440, 776}, {5, -483, 2493}, {6, -483, 6820},
      {7, -587, 14875}, {8, -587, 31887}, {9, -587, 66737}}},
    {"rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 0 1", 147517,
     {{2, 590, 37}, {3, 590, 191}, {4, 574, 668}, {5, 582, 1864}, {6, 604, 6111},
      {7, 600, 13652}, {8, 594, 32323}, {9, 598, 129406}}},
    {"r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 1", 340405,
     {{2, -654, 66}, {2, 2, 145}, {3, 10, 387}, {4, 10, 1232}, {5, 8, 3003}, {5, 18, 5430},
      {5, 20, 8167}, {6, 0, 18875}, {6, 4, 27185}, {7, 8, 46583}, {8, 4, 107339},
      {9, 32, 300779}}},
};

TEST(TreePin, SearchBenchPositionByPosition) {
  unsigned long long total = 0;
  for (const BenchCase& c : BENCH) {
    SCOPED_TRACE(c.fen);
    const Searched got = search_to(c.fen, 8);
    EXPECT_EQ(got.nodes, c.nodes);
    expect_lines(got, c.lines);
    total += got.nodes;
  }
  EXPECT_EQ(total, 1066356u);
}

// The same search twice in one process: nothing left over from the first
// (the reductions, the shared ordering scratch) may steer the second.
TEST(TreePin, RepeatsInOneProcess) {
  const BenchCase& c = BENCH[1];
  EXPECT_EQ(search_to(c.fen, 8).nodes, c.nodes);
  EXPECT_EQ(search_to(c.fen, 8).nodes, c.nodes);
}

// A pawn ending searched deep: the table carries the tree (few pieces, many
// transpositions), and the winning line appears only from iteration 23 on.
TEST(TreePin, PawnEndingToIteration30) {
  const Searched got = search_to("8/k7/3p4/p2P1p2/P2P1P2/8/8/K7 w - - 0 1", 30);
  EXPECT_EQ(got.nodes, 228399u);
  expect_lines(
      got, {{2, 130, 6},       {3, 130, 25},       {4, 130, 83},       {5, 130, 177},
            {6, 130, 342},     {7, 130, 557},      {8, 130, 956},      {9, 130, 1389},
            {10, 130, 2006},   {11, 130, 2660},    {12, 130, 3452},    {13, 130, 4279},
            {14, 130, 5291},   {15, 130, 6390},    {16, 130, 7698},    {17, 130, 10391},
            {18, 130, 13533},  {19, 130, 22495},   {20, 130, 26295},   {21, 130, 32217},
            {21, 136, 34553},  {22, 132, 40105},   {23, 140, 46474},   {24, 242, 60143},
            {25, 242, 89244},  {26, 242, 110377},  {27, 242, 129519},  {28, 242, 157175},
            {29, 254, 176142}, {30, 254, 197361},  {31, 254, 228329}});
}

// A game played up to a mate in two (queen sacrifice, then a rook mate): the
// mate scores, their table conversion and the mate killer shape the tree.
TEST(TreePin, MateFoundAfterAGame) {
  const Searched got = search_to(
      "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", 8,
      {"e2e4", "e7e5", "g1f3", "d7d6", "d2d4", "c8g4", "d4e5", "g4f3", "d1f3", "d6e5",
       "f1c4", "g8f6", "f3b3", "d8e7", "b1c3", "c7c6", "c1g5", "b7b5", "c3b5", "c6b5",
       "c4b5", "b8d7", "e1c1", "a8d8", "d1d7", "d8d7", "h1d1", "e7e6", "b5d7", "f6d7"});
  EXPECT_EQ(got.nodes, 9477u);
  expect_lines(got, {{2, -106, 36},    {3, -114, 195},   {3, -110, 434},   {3, -106, 964},
                     {3, -104, 1197},  {3, -100, 1350},  {3, 14997, 1475}, {4, 14997, 1532},
                     {5, 14997, 1612}, {6, 14997, 1725}, {7, 14997, 3184}, {8, 14997, 5278},
                     {9, 14997, 7373}});
}

// Eighty-two plies of knights going out and back between pawn moves: the
// position to search has occurred before, so repetitions inside the search
// reach back into the game's history.
TEST(TreePin, LongGameWithRepetitionsInItsHistory) {
  std::vector<const char*> moves = {"e2e4", "e7e5"};
  const char* pawn_moves[][2] = {{"a2a3", "a7a6"}, {"h2h3", "h7h6"}, {"b2b3", "b7b6"},
                                 {"g2g3", "g7g6"}, {"a3a4", "a6a5"}, {"h3h4", "h6h5"},
                                 {"d2d3", "d7d6"}, {"b3b4", "b6b5"}};
  for (const auto& pair : pawn_moves) {
    for (const char* m : {"g1e2", "g8e7", "e2g1", "e7g8"}) moves.push_back(m);
    moves.push_back(pair[0]);
    moves.push_back(pair[1]);
    for (const char* m : {"b1c3", "b8c6", "c3b1", "c6b8"}) moves.push_back(m);
  }
  const Searched got =
      search_to("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", 9, moves);
  EXPECT_EQ(got.nodes, 400336u);
  expect_lines(got, {{2, 110, 56}, {3, 122, 279}, {4, 122, 1086}, {5, 122, 2693},
                     {6, 90, 7581}, {7, 126, 29676}, {8, 112, 60610}, {9, 114, 140258},
                     {10, 108, 311340}});
}

}  // namespace
