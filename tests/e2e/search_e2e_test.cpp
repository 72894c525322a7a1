#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "position/fen.h"
#include "position/makemove.h"
#include "position/movegen.h"
#include "position/movetext.h"
#include "support/engine_process.h"

namespace {

using Clock = std::chrono::steady_clock;

int64_t ms_since(Clock::time_point t0) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count();
}

bool is_legal(const char* fen, const std::vector<std::string>& before, const std::string& move) {
  Position pos(fen);
  for (const auto& m : before) play_move_text(pos, m.c_str());
  generate_all(pos);
  bool found = false;
  for (int i = 0; i < pos.move_stack.count(); ++i)
    if (move_text(pos.move_stack.at(i)) == move) found = true;
  pos.move_stack.close_level();
  return found;
}

// Waits until earlier output is complete; the next line is then read at once.
bool settle(EngineProcess& e) { return e.sync(); }

const std::regex THINKING(R"(^(\d+) (-?\d+) (\d+) (\d+) ([a-h][1-8][a-h][1-8][nbrq]? )*\[\d+\.\d\d% NPS=\d+\]$)");

std::vector<std::string> thinking_lines(const EngineProcess& e, size_t from) {
  std::vector<std::string> out;
  for (size_t i = from; i < e.lines.size(); ++i)
    if (std::regex_match(e.lines[i], THINKING)) out.push_back(e.lines[i]);
  return out;
}

TEST(Play, AnswersTheUsersMoveWithALegalMove) {
  EngineProcess e;
  e.send("new");
  e.send("e2e4");
  std::string reply = e.wait_for_prefix("move ", 5000);
  ASSERT_FALSE(reply.empty());
  EXPECT_TRUE(is_legal(START_FEN, {"e2e4"}, reply.substr(5))) << reply;
  // The first thinking line counts the root move: depth 2.
  auto lines = thinking_lines(e, 0);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0].substr(0, 2), "2 ");
  // In force mode the engine stays silent after a move.
  e.send("force");
  e.send("g1f3");
  ASSERT_TRUE(e.sync());
  EXPECT_EQ(e.wait_for_prefix("move ", 300, e.lines.size()), "");
}

TEST(Play, FixedTimePerMoveIsKept) {
  EngineProcess e;
  e.send("st 1");
  ASSERT_TRUE(settle(e));
  size_t from = e.lines.size();
  auto t0 = Clock::now();
  e.send("go");
  std::string reply = e.wait_for_prefix("move ", 5000, from);
  int64_t took = ms_since(t0);
  ASSERT_FALSE(reply.empty());
  EXPECT_TRUE(is_legal(START_FEN, {}, reply.substr(5)));
  // 970 ms of search: "st 1" less the 30 ms kept for the reply.
  EXPECT_LT(took, 1100);
  EXPECT_GT(took, 900);
  for (const auto& l : e.since(from))
    if (l.rfind("move", 0) != 0) {
      EXPECT_TRUE(std::regex_match(l, THINKING)) << l;
    }
}

// The moves of a thinking line, after depth, score, time and nodes.
std::vector<std::string> variation(const std::string& line) {
  std::vector<std::string> out;
  if (!std::regex_match(line, THINKING)) return out;
  size_t start = 0;
  for (int field = 0; field < 4; ++field) start = line.find(' ', start) + 1;
  const std::string text = line.substr(start);
  for (size_t p = 0; p < text.size() && text[p] != '[';) {
    const size_t blank = text.find(' ', p);
    out.push_back(text.substr(p, blank - p));
    p = blank + 1;
  }
  return out;
}

// In a two-second search every thinking line shows a variation that can be
// played from the position, the root move first, no longer than its depth;
// the last line's first move is the move played.
TEST(Play, ThinkingLinesShowPlayableVariationsEndingInTheMovePlayed) {
  for (const char* fen : {START_FEN, "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1"}) {
    EngineProcess e;
    e.send(std::string("setboard ") + fen);
    e.send("st 2");
    ASSERT_TRUE(settle(e));
    const size_t from = e.lines.size();
    e.send("go");
    const std::string reply = e.wait_for_prefix("move ", 6000, from);
    ASSERT_FALSE(reply.empty()) << fen;
    const auto lines = thinking_lines(e, from);
    ASSERT_FALSE(lines.empty()) << fen;
    for (const auto& l : lines) {
      const auto moves = variation(l);
      ASSERT_FALSE(moves.empty()) << l;
      EXPECT_LE(int(moves.size()), std::stoi(l)) << l;
      for (size_t i = 0; i < moves.size(); ++i)
        ASSERT_TRUE(is_legal(fen, std::vector<std::string>(moves.begin(), moves.begin() + long(i)),
                             moves[i]))
            << l;
    }
    EXPECT_EQ(variation(lines.back())[0], reply.substr(5)) << fen;
    std::printf("%s: %zu lines, last: %s\n", fen, lines.size(), lines.back().c_str());
  }
}

TEST(Play, SingleLegalMoveIsPlayedAtOnce) {
  EngineProcess e;
  e.send("setboard 7k/8/8/8/8/8/1q6/K7 w - - 0 1");
  e.send("st 10");
  ASSERT_TRUE(settle(e));
  size_t from = e.lines.size();
  auto t0 = Clock::now();
  e.send("go");
  EXPECT_EQ(e.wait_for_prefix("move ", 3000, from), "move a1b2");
  EXPECT_LT(ms_since(t0), 600);
  EXPECT_TRUE(thinking_lines(e, from).empty());
}

TEST(Play, StopLinesEndALongSearch) {
  for (const char* stop : {"?", "hint"}) {
    EngineProcess e;
    e.send("st 60");
    ASSERT_TRUE(settle(e));
    size_t from = e.lines.size();
    e.send("go");
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    auto t0 = Clock::now();
    e.send(stop);
    std::string reply = e.wait_for_prefix("move ", 3000, from);
    EXPECT_FALSE(reply.empty()) << stop;
    EXPECT_LT(ms_since(t0), 500) << stop;
  }
}

TEST(Play, ResultStopsTheSearchAndLeavesForceMode) {
  EngineProcess e;
  e.send("new");
  e.send("st 60");
  e.send("e2e4");
  std::this_thread::sleep_for(std::chrono::milliseconds(800));
  e.send("result 1-0 {White resigns}");
  std::string reply = e.wait_for_prefix("move ", 3000);
  ASSERT_FALSE(reply.empty());
  size_t from = e.lines.size();
  e.send("d2d4");
  ASSERT_TRUE(e.sync());
  EXPECT_EQ(e.wait_for_prefix("move ", 300, from), "");
}

TEST(Play, ConventionalClockBudgetsTheFirstMove) {
  EngineProcess e;
  e.send("level 40 5 0");
  ASSERT_TRUE(settle(e));
  size_t from = e.lines.size();
  auto t0 = Clock::now();
  e.send("go");
  ASSERT_FALSE(e.wait_for_prefix("move ", 8000, from).empty());
  int64_t took = ms_since(t0);
  // 300000 ms for 40 moves: the first move may use 300000 / 81 ms.
  EXPECT_GT(took, 3500);
  EXPECT_LT(took, 4200);
}

// The engine keeps its own clock: each move is charged and the period restarts
// after its last one. With 2 moves in 2 seconds the budgets are 2000 / 5 ms,
// then the 1600 ms left / 3, then (1067 + 2000) / 5 in the new period.
TEST(Play, ClockCountsDownMoveByMove) {
  EngineProcess e;
  e.send("new");
  e.send("level 2 0:02 0");
  e.send("force");
  e.send("e2e4");
  e.send("playother");  // the engine takes White and waits for Black
  ASSERT_TRUE(settle(e));
  std::vector<int64_t> took;
  for (const char* black : {"e7e5", "b8c6", "g8f6"}) {
    size_t from = e.lines.size();
    auto t0 = Clock::now();
    e.send(black);
    std::string reply = e.wait_for_prefix("move ", 5000, from);
    ASSERT_FALSE(reply.empty()) << black;
    took.push_back(ms_since(t0));
    ASSERT_TRUE(settle(e));
  }
  EXPECT_NEAR(double(took[0]), 400, 100);
  EXPECT_NEAR(double(took[1]), 533, 100);
  EXPECT_NEAR(double(took[2]), 613, 100);
}

TEST(Play, IterationLimitFromTheConfiguration) {
  EngineProcess e(EngineProcess::dir_with_file("KELO.ini", "MAX_DEPTH_SEARCH=4\n"));
  e.send("st 30");
  e.send("go");
  ASSERT_FALSE(e.wait_for_prefix("move ", 10000).empty());
  int deepest = 0;
  for (const auto& l : thinking_lines(e, 0)) deepest = std::max(deepest, std::stoi(l));
  EXPECT_EQ(deepest, 4);  // iterations 1 to 3, each shown with the root move
}

TEST(Play, FindsMates) {
  struct Case {
    const char* fen;
    std::vector<std::string> mates;
  } cases[] = {
      {"6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1", {"a1a8"}},
      {"r1bqkb1r/pppp1ppp/2n2n2/4p2Q/2B1P3/8/PPPP1PPP/RNB1K1NR w KQkq - 0 1", {"h5f7"}},
      // Mate in two: 1.Nf6+ gxf6 2.Bxf7.
      {"r2qkb1r/pp2nppp/3p4/2pNN1B1/2BnP3/3P4/PPP2PPP/R2bK2R w KQkq - 1 1", {"d5f6", "g7f6", "c4f7"}},
  };
  for (const Case& c : cases) {
    EngineProcess e;
    e.send(std::string("setboard ") + c.fen);
    e.send("st 2");
    e.send("go");
    std::string reply = e.wait_for_prefix("move ", 6000);
    ASSERT_FALSE(reply.empty()) << c.fen;
    EXPECT_EQ(reply.substr(5), c.mates[0]) << c.fen;
    if (c.mates.size() > 1) {
      size_t from = e.lines.size();
      e.send("playother");
      e.send(c.mates[1]);
      EXPECT_EQ(e.wait_for_prefix("move ", 6000, from), "move " + c.mates[2]) << c.fen;
    }
  }
}

TEST(Play, GameOverWritesTheResultInsteadOfAMove) {
  EngineProcess e;
  e.send("setboard 7k/6Q1/6K1/8/8/8/8/8 b - - 0 1");
  e.send("go");
  ASSERT_TRUE(e.wait_for_line("1-0 {Blancas ganan, Jaque Mate}", 3000));
  ASSERT_TRUE(e.sync());
  EXPECT_EQ(e.wait_for_prefix("move ", 100), "");
}

TEST(Play, SameCommandsGiveTheSameThinkingLines) {
  auto run = [] {
    EngineProcess e(EngineProcess::dir_with_file("KELO.ini", "MAX_DEPTH_SEARCH=6\n"));
    e.send("setboard r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1");
    e.send("st 60");
    e.send("go");
    e.wait_for_prefix("move ", 30000);
    std::vector<std::string> out;
    for (const auto& l : thinking_lines(e, 0)) {
      std::smatch m;
      std::regex_match(l, m, THINKING);
      out.push_back(m[1].str() + " " + m[2].str() + " " + m[4].str() + " " + m[5].str());
    }
    return out;
  };
  auto first = run();
  EXPECT_FALSE(first.empty());
  EXPECT_EQ(first, run());
}

TEST(Robustness, PositionsWithoutKingsDoNotHang) {
  EngineProcess e;
  e.send("setboard 8/8/8/8/8/8/8/8 w - - 0 1");
  e.send("go");
  e.send("setboard 4k3/8/8/8/8/8/PPPP4/8 w - - 0 1");
  e.send("st 1");
  e.send("go");
  e.send("perft 3");
  e.send("display");
  ASSERT_TRUE(e.sync(8000));
  e.send("quit");
  EXPECT_EQ(e.wait_exit(3000), 0);
}

}  // namespace
