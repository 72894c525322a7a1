#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <tuple>
#include <vector>

#include "support/engine_process.h"

namespace {

const char* BORDER = "  +---+---+---+---+---+---+---+---+";
const char* FOOTER = "    a   b   c   d   e   f   g   h  ";

// The 18 lines of the diagram that end at index last (inclusive).
std::vector<std::string> diagram_before(const EngineProcess& e, size_t last) {
  if (last < 17) return {};
  return std::vector<std::string>(e.lines.begin() + long(last - 17), e.lines.begin() + long(last + 1));
}

TEST(Protocol, BannerHandshakePingAndQuit) {
  EngineProcess e;
  e.send("xboard");
  e.send("protover 2");
  e.send("protover 3");
  e.send("ping 12");
  ASSERT_TRUE(e.wait_for_line("pong 12"));
  // The newer features on lines of their own, one a setting, then the line
  // of old, last.
  const size_t n = e.lines.size();
  ASSERT_GE(n, 5u);
  EXPECT_EQ(e.lines[0], "KELO 0.56Z, Brenu");
  EXPECT_EQ(e.lines[1], "feature memory=1 smp=1 nps=1 exclude=1 variants=\"normal,fischerandom\"");
  EXPECT_EQ(e.lines[2], "feature option=\"Clear Hash -button\"");
  for (size_t i = 3; i + 2 < n; ++i) EXPECT_EQ(e.lines[i].rfind("feature option=\"", 0), 0u);
  EXPECT_EQ(e.lines[n - 2],
            "feature ping=1 setboard=1 playother=1 sigint=0 sigterm=0 myname=\"KELO 0.56Z\" "
            "colors=0 done=1");
  e.send("quit ");  // not the quit command
  ASSERT_TRUE(e.sync());
  e.send("quit");
  EXPECT_EQ(e.wait_exit(3000), 0);
}

TEST(Protocol, EndOfInputExitsAfterTheQueuedLines) {
  EngineProcess e;
  e.send("display");
  EXPECT_EQ(e.close_and_wait(5000), 0);
  ASSERT_EQ(e.lines.size(), 19u);
  EXPECT_EQ(e.lines[1], BORDER);
  EXPECT_EQ(e.lines[2], "8 |TN |CN |AN |DN |RN |AN |CN |TN |");
  EXPECT_EQ(e.lines[16], "1 |TB |CB |AB |DB |RB |AB |CB |TB |");
  EXPECT_EQ(e.lines[17], BORDER);
  EXPECT_EQ(e.lines[18], FOOTER);
}

TEST(Protocol, OverlongLineIsCutAndItsRestDropped) {
  EngineProcess e;
  e.send("ping 7" + std::string(400, 'x'));
  e.send("ping 8");
  ASSERT_TRUE(e.wait_for_line("pong 8"));
  ASSERT_EQ(e.lines.size(), 3u);
  EXPECT_EQ(e.lines[1], "pong 7" + std::string(249, 'x'));
}

// A NUL byte cuts its line's text but not the line: the next lines come
// through whole.
TEST(Protocol, NulByteDoesNotSwallowTheNextLine) {
  EngineProcess e;
  e.send(std::string("ping 11\0zz", 10));
  e.send("ping 12");
  e.send("ping 13");
  ASSERT_TRUE(e.wait_for_line("pong 13", 5000));
  EXPECT_EQ(e.since(1), (std::vector<std::string>{"pong 11", "pong 12", "pong 13"}));
}

// Lines are read and interpreted as they come, in order, none lost: a burst
// of several rings' worth is answered at once, not at a line per pause.
TEST(Protocol, BurstOfLinesIsWorkedOffInOrder) {
  EngineProcess e;
  ASSERT_TRUE(e.sync());
  const size_t from = e.lines.size();
  std::string burst;
  for (int i = 0; i < 200; ++i) burst += (i ? "\nping " : "ping ") + std::to_string(i);
  const auto t0 = std::chrono::steady_clock::now();
  e.send(burst);
  ASSERT_TRUE(e.wait_for_line("pong 199", 5000, from));
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - t0).count();
  EXPECT_LT(took, 1000);
  const auto got = e.since(from);
  ASSERT_EQ(got.size(), 200u);
  for (int i = 0; i < 200; ++i) EXPECT_EQ(got[size_t(i)], "pong " + std::to_string(i));
}

// During a search the input thread reads one line ahead and then waits: a
// "?" behind an ordinary line is read only after the search, so it does not
// stop it (while a "?" first does).
TEST(Protocol, QuestionMarkBehindAnotherLineWaitsForTheSearch) {
  EngineProcess e;
  e.send("st 2");
  ASSERT_TRUE(e.sync());
  const size_t from = e.lines.size();
  const auto t0 = std::chrono::steady_clock::now();
  e.send("go");
  ASSERT_NE(e.wait_for_prefix("2 ", 5000, from), "");
  e.send("ping 5\n?");
  const std::string move = e.wait_for_prefix("move ", 5000, from);
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - t0).count();
  ASSERT_NE(move, "");
  EXPECT_GT(took, 1900);
  // The ping comes after the move: it waited for the search to end.
  ASSERT_TRUE(e.wait_for_line("pong 5", 2000, from));
  long pong = e.wait_until([](const std::string& l) { return l == "pong 5"; }, from, 0);
  long moved = e.wait_until([](const std::string& l) { return l.rfind("move ", 0) == 0; }, from, 0);
  EXPECT_GT(pong, moved);

  e.send("go");
  ASSERT_NE(e.wait_for_prefix("2 ", 5000, size_t(pong)), "");
  const auto t1 = std::chrono::steady_clock::now();
  e.send("?\nping 6");
  ASSERT_NE(e.wait_for_prefix("move ", 5000, size_t(pong)), "");
  EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - t1).count(), 1000);
  EXPECT_TRUE(e.wait_for_line("pong 6", 2000, size_t(pong)));
}

TEST(Protocol, SetboardValidationMessages) {
  EngineProcess e;
  const std::string o = "\xF3";
  struct Case {
    const char* fen;
    std::vector<std::string> messages;
  } cases[] = {
      {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - - 0 1", {}},
      {"4k3/8/8/8/8/8/8/KKK5 w - - 0 1", {"tellusererror posici" + o + "n ilegal varios reyes blancos"}},
      {"8/8/8/8/8/8/8/4K3 w - - 0 1", {"tellusererror posici" + o + "n ilegal varios reyes negros"}},
      {"4k3/8/8/8/8/8/8/4R1K1 w - - 0 1", {"tellusererror posici" + o + "n ilegal rey negro en jaque"}},
      {"4k3/8/8/8/8/8/8/4r1K1 b - - 0 1", {"tellusererror posici" + o + "n ilegal rey blanco en jaque"}},
      {"4k3/8/8/8/8/8/8/4r1K1 w - - 0 1", {}},
      {"4k3/8/8/8/8/8/8/4K1R1 w K - 0 1", {"tellusererror posici" + o + "n ilegal enrroque"}},
      {"4k3/8/8/8/8/8/8/4K3 w KQkq - 0 1",
       std::vector<std::string>(4, "tellusererror posici" + o + "n ilegal enrroque")},
      {"P3k3/8/8/8/8/8/8/4K3 w - - 0 1", {"tellusererror posici" + o + "n ilegal de peones"}},
      {"4k3/8/8/4p3/8/8/8/4K3 w - e6 0 1", {}},
      {"4k3/8/8/8/8/8/8/4K3 w - e6 0 1", {"tellusererror posicion ilegal peon pasado"}},
      {"4k3/8/8/8/4P3/8/8/4K3 b - e3 0 1", {}},
  };
  ASSERT_TRUE(e.sync());  // past the banner
  for (const Case& c : cases) {
    size_t before = e.lines.size();
    e.send(std::string("setboard ") + c.fen);
    ASSERT_TRUE(e.sync());
    std::vector<std::string> got = e.since(before);
    got.pop_back();  // the pong
    EXPECT_EQ(got, c.messages) << c.fen;
  }
  // Without separators the board reads the same; display shows it.
  e.send("setboard 4k34P38888884K3 w - - 0 1");
  e.send("display");
  ASSERT_TRUE(e.sync());
  size_t pong = e.lines.size() - 1;
  auto board = diagram_before(e, pong - 1);
  ASSERT_EQ(board.size(), 18u);
  EXPECT_EQ(board[1], "8 |   |   |   |   |RN |   |   |   |");
  EXPECT_EQ(board[3], "7 |   |   |   |   |PB |   |   |   |");
}

TEST(Moves, UserMovesPromotionAndIllegalReports) {
  EngineProcess e;
  e.send("new");
  e.send("force");
  e.send("e2e5");
  ASSERT_TRUE(e.sync());
  size_t report = e.lines.size() - 2;
  EXPECT_EQ(e.lines[report], "Ilegal move: e2e5");
  auto board = diagram_before(e, report - 1);
  ASSERT_EQ(board.size(), 18u);
  EXPECT_EQ(board[0], BORDER);
  EXPECT_EQ(board[17], FOOTER);

  for (const char* bad : {"e2e4q", "e7e5"}) {
    size_t before = e.lines.size();
    e.send(bad);
    ASSERT_TRUE(e.sync());
    EXPECT_EQ(e.lines[e.lines.size() - 2], std::string("Ilegal move: ") + bad);
    EXPECT_EQ(e.lines.size() - before, 20u);
  }
  size_t before = e.lines.size();
  e.send("e2e4 and some trailing text");
  e.send("e7e5");
  ASSERT_TRUE(e.sync());
  EXPECT_EQ(e.lines.size() - before, 1u);  // both legal: only the pong

  e.send("setboard 4k3/P7/8/8/8/8/8/4K3 w - - 0 1");
  for (const char* bad : {"a7a8", "a7a8Q", "a7a8k"}) {
    before = e.lines.size();
    e.send(bad);
    ASSERT_TRUE(e.sync());
    EXPECT_EQ(e.lines[e.lines.size() - 2], std::string("Ilegal move: ") + bad);
  }
  e.send("a7a8n");
  e.send("display");
  ASSERT_TRUE(e.sync());
  board = diagram_before(e, e.lines.size() - 2);
  EXPECT_EQ(board[1], "8 |CB |   |   |   |RN |   |   |   |");
  e.send("undo");
  e.send("display");
  ASSERT_TRUE(e.sync());
  board = diagram_before(e, e.lines.size() - 2);
  EXPECT_EQ(board[3], "7 |PB |   |   |   |   |   |   |   |");
  // With no move left in the game, undo is ignored.
  e.send("undo");
  e.send("undo");
  e.send("display");
  ASSERT_TRUE(e.sync());
  board = diagram_before(e, e.lines.size() - 2);
  EXPECT_EQ(board[3], "7 |PB |   |   |   |   |   |   |   |");
}

TEST(Perft, ReportThroughTheProtocol) {
  EngineProcess e;
  e.send("perft 0");
  e.send("perft -2");
  e.send("perft 3");
  e.send("setboard r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - ");
  e.send("perft 3");
  ASSERT_TRUE(e.sync(30000));
  std::vector<std::string> perfts;
  for (const auto& l : e.lines) {
    if (l.rfind("PERFT:", 0) == 0) perfts.push_back(l);
    if (l.rfind("TIME:", 0) == 0) {
      // Whole seconds, a point, then milliseconds without leading zeros.
      std::string ms = l.substr(l.find('.') + 1);
      EXPECT_FALSE(ms.empty());
      EXPECT_TRUE(ms == "0" || ms[0] != '0') << l;
    }
  }
  EXPECT_EQ(perfts, (std::vector<std::string>{"PERFT:1", "PERFT:1", "PERFT:8902", "PERFT:97862"}));
}

// The "MOVE: COUNT" lines of divide, and the PERFT line after them, from
// index from on.
std::vector<std::string> divide_lines(const EngineProcess& e, size_t from) {
  std::vector<std::string> found;
  for (size_t i = from; i < e.lines.size(); ++i)
    if (e.lines[i].find(": ") != std::string::npos || e.lines[i].rfind("PERFT:", 0) == 0)
      found.push_back(e.lines[i]);
  return found;
}

// divide writes each root move's leaves in generation order, then perft's
// report; the thread count (xboard's cores) changes none of it.
TEST(Perft, DivideThroughTheProtocol) {
  EngineProcess e;
  e.send("setboard 8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1");
  e.send("divide 0");
  ASSERT_TRUE(e.sync());
  EXPECT_EQ(divide_lines(e, 0), std::vector<std::string>{"PERFT:1"});
  // Stockfish's "go perft 4" gives each of these moves the same count; the
  // capture comes first, as the generator yields captures before the rest.
  const std::vector<std::string> expected = {
      "b4f4: 606",  "e2e3: 3107", "g2g3: 1014", "e2e4: 2748", "g2g4: 3702",
      "b4a4: 3019", "b4c4: 3797", "b4d4: 3622", "b4e4: 3391", "b4b3: 3658",
      "b4b2: 3328", "b4b1: 4199", "a5a6: 3653", "a5a4: 3394", "PERFT:43238"};
  for (const char* cores : {"1", "3"}) {
    size_t from = e.lines.size();
    e.send(std::string("cores ") + cores);
    e.send("divide 4");
    ASSERT_TRUE(e.sync(30000));
    EXPECT_EQ(divide_lines(e, from), expected) << cores << " cores";
  }
}

// UCI's "go perft N": one "move: leaves" line per root move, a blank line,
// "Nodes searched: N"; with the Threads setting too.
TEST(Perft, GoPerftOverUci) {
  EngineProcess e;
  e.send("uci");
  e.send("position startpos");
  e.send("go perft 3");
  e.send("setoption name Threads value 2");
  e.send("position fen r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1");
  e.send("go perft 3");
  e.send("isready");
  ASSERT_TRUE(e.wait_for_line("readyok", 30000));
  std::vector<std::vector<std::string>> reports(1);
  for (const auto& l : e.lines) {
    if (l.rfind("Nodes searched: ", 0) == 0) {
      reports.back().push_back(l);
      reports.emplace_back();
    } else if (l.empty() || l.find(": ") != std::string::npos) {
      reports.back().push_back(l);
    }
  }
  ASSERT_EQ(reports.size(), 3u);
  for (const auto& [report, moves, total] :
       {std::tuple{reports[0], 20, "8902"}, std::tuple{reports[1], 48, "97862"}}) {
    ASSERT_EQ(report.size(), size_t(moves + 2));
    int64_t sum = 0;
    for (int i = 0; i < moves; ++i) {
      const std::string& line = report[size_t(i)];
      EXPECT_EQ(line.find(": "), 4u) << line;  // a coordinate move, no promotion here
      sum += std::stoll(line.substr(6));
    }
    EXPECT_EQ(std::to_string(sum), total);
    EXPECT_EQ(report[size_t(moves)], "");
    EXPECT_EQ(report[size_t(moves) + 1], std::string("Nodes searched: ") + total);
  }
}

}  // namespace
