#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "engine/bench.h"
#include "support/engine_process.h"

namespace {

// The value after a word of an info line, or "" without that word.
std::string field(const std::string& line, const std::string& word) {
  std::istringstream in(line);
  for (std::string w; in >> w;)
    if (w == word) return in >> w ? w : "";
  return "";
}

std::string last_with_prefix(const EngineProcess& e, const std::string& prefix, size_t from) {
  std::string found;
  for (size_t i = from; i < e.lines.size(); ++i)
    if (e.lines[i].rfind(prefix, 0) == 0) found = e.lines[i];
  return found;
}

// "go depth 9" in UCI and "sd 8" in xboard run the same iterations over the
// same tree: each bench position, one after the other in one process (the
// table, killers and history carry over alike), ends on the same node count.
TEST(UciProtocol, SearchesTheSameTreesAsXboard) {
  EngineProcess xboard, uci;
  xboard.send("xboard");
  xboard.send("st 100000");
  xboard.send("sd 8");
  uci.send("uci");
  ASSERT_TRUE(uci.wait_for_line("uciok"));
  for (const char* fen : BENCH_FENS) {
    SCOPED_TRACE(fen);
    size_t from = xboard.lines.size();
    xboard.send(std::string("setboard ") + fen);
    xboard.send("go");
    ASSERT_FALSE(xboard.wait_for_prefix("move ", 60000, from).empty());
    std::string thinking;
    for (size_t i = from; i < xboard.lines.size(); ++i)
      if (!xboard.lines[i].empty() && xboard.lines[i][0] >= '0' && xboard.lines[i][0] <= '9')
        thinking = xboard.lines[i];
    std::istringstream words(thinking);
    std::string depth, score, centiseconds, nodes;
    words >> depth >> score >> centiseconds >> nodes;

    from = uci.lines.size();
    uci.send(std::string("position fen ") + fen);
    uci.send("go depth 9");
    ASSERT_FALSE(uci.wait_for_prefix("bestmove ", 60000, from).empty());
    const std::string info = last_with_prefix(uci, "info depth", from);
    EXPECT_EQ(field(info, "depth"), depth) << info;
    EXPECT_EQ(field(info, "cp"), score) << info;
    EXPECT_EQ(field(info, "nodes"), nodes) << thinking << "\n" << info;
  }
}

// Mates show in moves, from the engine's side: its mate in one, and its
// being mated after the reply; a position without a move has no best move.
TEST(UciProtocol, MateScoresAndNoLegalMove) {
  EngineProcess e;
  e.send("uci");
  ASSERT_TRUE(e.wait_for_line("uciok"));
  struct Case {
    const char* fen;
    const char* score;
  } cases[] = {{"6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1", "score mate 1"},
               {"8/8/8/8/8/1k6/2q4P/K7 w - - 0 1", "score mate -1"}};
  for (const Case& c : cases) {
    const size_t from = e.lines.size();
    e.send(std::string("position fen ") + c.fen);
    e.send("go depth 5");
    ASSERT_FALSE(e.wait_for_prefix("bestmove ", 20000, from).empty());
    const std::string info = last_with_prefix(e, "info depth", from);
    EXPECT_NE(info.find(c.score), std::string::npos) << c.fen << ": " << info;
  }
  const size_t from = e.lines.size();
  e.send("position fen R5k1/5ppp/8/8/8/8/8/6K1 b - - 0 1");
  e.send("go depth 5");
  EXPECT_EQ(e.wait_for_prefix("bestmove ", 5000, from), "bestmove 0000");
  e.send("isready");
  ASSERT_TRUE(e.wait_for_line("readyok", 5000, from));
  for (size_t i = from; i < e.lines.size(); ++i)
    EXPECT_EQ(e.lines[i].rfind("info depth", 0), std::string::npos) << e.lines[i];
}

// "go mate N" answers once a mate in N or fewer is found, and keeps the
// other limits of its line where there is no such mate.
TEST(UciProtocol, GoMateAnswersAtTheMate) {
  EngineProcess e;
  e.send("uci");
  ASSERT_TRUE(e.wait_for_line("uciok"));
  size_t from = e.lines.size();
  // Kb6 (Kb8 Rh8) and Kc7 (Ka7 Ra1) are the two mates in 2.
  e.send("position fen k7/8/2K5/8/8/8/8/7R w - - 0 1");
  e.send("go mate 2");
  const std::string best = e.wait_for_prefix("bestmove ", 1000, from);
  ASSERT_FALSE(best.empty());
  const std::string move = best.substr(9, 4);
  EXPECT_TRUE(move == "c6b6" || move == "c6c7") << best;
  const std::string info = last_with_prefix(e, "info depth", from);
  EXPECT_NE(info.find("score mate 2 "), std::string::npos) << info;
  EXPECT_EQ(field(info, "pv"), move) << info;
  // No mate in 3 from the start: the depth and the time given end it.
  for (const char* go : {"go mate 3 depth 4", "go mate 3 movetime 200"}) {
    from = e.lines.size();
    e.send("position startpos");
    e.send(go);
    ASSERT_FALSE(e.wait_for_prefix("bestmove ", 2000, from).empty()) << go;
    EXPECT_EQ(field(last_with_prefix(e, "info depth", from), "score"), "cp") << go;
  }
}

// A single legal move is searched and reported as any position is: "go
// infinite" waits for "stop", "go depth 5" shows its lines; under a clock
// alone it is played at once after one line with a score.
TEST(UciProtocol, SingleLegalMoveIsReported) {
  EngineProcess e;
  e.send("uci");
  e.send("position fen 7k/8/8/8/8/8/6q1/K7 w - - 0 1");  // Kb1 only
  size_t from = e.lines.size();
  e.send("go infinite");
  ASSERT_FALSE(e.wait_for_prefix("info depth", 5000, from).empty());
  e.send("isready");
  ASSERT_TRUE(e.wait_for_line("readyok", 5000, from));
  for (size_t i = from; i < e.lines.size(); ++i) EXPECT_NE(e.lines[i].rfind("bestmove", 0), 0u);
  e.send("stop");
  EXPECT_EQ(e.wait_for_prefix("bestmove ", 5000, from).substr(0, 13), "bestmove a1b1");
  for (const char* go : {"go depth 5", "go wtime 1000 btime 1000"}) {
    from = e.lines.size();
    e.send(go);
    EXPECT_EQ(e.wait_for_prefix("bestmove ", 5000, from).substr(0, 13), "bestmove a1b1") << go;
    const std::string info = last_with_prefix(e, "info depth", from);
    EXPECT_EQ(field(info, "score"), "cp") << go << ": " << info;
    EXPECT_EQ(field(info, "pv"), "a1b1") << go << ": " << info;
    if (go == std::string("go depth 5")) {
      EXPECT_EQ(field(info, "depth"), "5") << info;
    }
  }
}

// Every search line carries seldepth and hashfull; after the first second
// the running search tells its root move; the Spanish messages are UTF-8.
TEST(UciProtocol, InfoFieldsAndUtf8Text) {
  EngineProcess e;
  e.send("uci");
  size_t from = e.lines.size();
  e.send("position fen 4k3/8/8/8/8/8/8/4K2K w - - 0 1");
  e.send("isready");
  ASSERT_TRUE(e.wait_for_line("readyok", 5000, from));
  EXPECT_EQ(last_with_prefix(e, "info string", from),
            "info string posici\xC3\xB3n ilegal varios reyes blancos");
  from = e.lines.size();
  e.send("position startpos");
  e.send("go infinite");
  const long status = e.wait_until(
      [](const std::string& l) { return l.find(" currmove ") != std::string::npos; }, from, 5000);
  ASSERT_GE(status, 0);
  const std::string& line = e.lines[size_t(status)];
  EXPECT_GE(std::stoll(field(line, "time")), 1000) << line;
  EXPECT_FALSE(field(line, "currmovenumber").empty()) << line;
  e.send("stop");
  const long best = e.wait_until(
      [](const std::string& l) { return l.rfind("bestmove ", 0) == 0; }, from, 5000);
  ASSERT_GT(best, long(from));
  // Each line has both, the last one before bestmove too.
  EXPECT_EQ(e.lines[size_t(best - 1)].rfind("info depth", 0), 0u);
  for (size_t i = from; i < size_t(best); ++i) {
    const std::string& l = e.lines[i];
    if (l.rfind("info depth", 0) != 0) continue;
    ASSERT_FALSE(field(l, "seldepth").empty()) << l;
    EXPECT_GE(std::stoi(field(l, "seldepth")), std::stoi(field(l, "depth"))) << l;
    EXPECT_FALSE(field(l, "hashfull").empty()) << l;
  }
}

// Input it does not take is answered with an "info string" saying so; the
// engine goes on.
TEST(UciProtocol, UnknownInputIsReported) {
  EngineProcess e;
  e.send("uci");
  ASSERT_TRUE(e.wait_for_line("uciok"));
  const size_t from = e.lines.size();
  e.send("frobnicate now");
  e.send("setoption name NoSuch value 1");
  e.send("setoption name UCI_Elo value 500");
  e.send("setoption name Ponder value maybe");
  e.send("setoption name MultiPV");
  e.send("isready");
  ASSERT_TRUE(e.wait_for_line("readyok", 5000, from));
  std::vector<std::string> told;
  for (size_t i = from; i < e.lines.size(); ++i)
    if (e.lines[i].rfind("info string ", 0) == 0) told.push_back(e.lines[i].substr(12));
  EXPECT_EQ(told, (std::vector<std::string>{
                      "unknown command: frobnicate", "no option named NoSuch",
                      "UCI_Elo 500 is out of range 1000 to 2400: set to 1000",
                      "Ponder has no value maybe: unchanged", "MultiPV needs a value: unchanged"}));
  e.send("go depth 2");
  EXPECT_FALSE(e.wait_for_prefix("bestmove ", 5000, from).empty());
}

}  // namespace
