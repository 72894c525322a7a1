// KELO inside XBoard on a virtual X server, through tools/xboard-match.sh.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/scratch.h"

namespace fs = std::filesystem;

namespace {

const char* OPPONENT = "/usr/games/fairymax";

bool on_path(const std::string& program) {
  const std::string command = "PATH=\"$PATH:/usr/games\" command -v " + program + " >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

// The reason when the tools are missing, empty when all are there.
std::string missing_tools() {
  if (!on_path("xboard")) return "xboard is not installed";
  if (!on_path("Xvfb")) return "Xvfb is not installed";
  if (access(OPPONENT, X_OK) != 0) return "fairymax is not installed";
  return "";
}

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Runs the script with the given options into a new directory; its exit status.
int run_script(const std::string& options, std::string& dir) {
  dir = scratch_dir("kelo-xboard");
  const std::string command = "timeout 300 '" + std::string(KELO_SOURCE_DIR) +
                              "/tools/xboard-match.sh' -k '" + KELO_BINARY + "' -o '" + dir +
                              "' " + options + " > '" + dir + "/script.out' 2>&1";
  const int status = std::system(command.c_str());
  std::printf("%s", read_file(dir + "/script.out").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// What XBoard received from KELO, its first engine: the lines of the debug file
// marked "<first : ", without the mark.
std::vector<std::string> received_from_kelo(const std::string& debug) {
  std::vector<std::string> out;
  static const std::regex FROM_FIRST(R"(^\d+ <first : (.*)$)");
  std::istringstream in(debug);
  for (std::string line; std::getline(in, line);) {
    std::smatch m;
    if (std::regex_match(line, m, FROM_FIRST)) out.push_back(m[1]);
  }
  return out;
}

// XBoard's own complaints about an engine, in its log or its debug file.
void expect_no_engine_trouble(const std::string& text) {
  for (const char* bad : {"Illegal move", "illegal move", "exited unexpectedly", "Forfeit",
                          "Failed to start", "rejected by"})
    EXPECT_EQ(text.find(bad), std::string::npos) << bad;
}

// One short game against Fairy-Max at a fast incremental control.
TEST(XBoard, GameAgainstFairyMax) {
  const std::string missing = missing_tools();
  ASSERT_TRUE(missing.empty()) << missing << ": tools/install-deps.sh installs it";
  std::string dir;
  ASSERT_EQ(run_script("-g 1 -l '0 0:05 1' -x '-adjudicateDrawMoves 40'", dir), 0);
  const std::string pgn = read_file(dir + "/games.pgn");
  ASSERT_FALSE(pgn.empty());
  std::smatch m;
  ASSERT_TRUE(std::regex_search(pgn, m, std::regex(R"re(\[Result "([^"]*)"\])re")));
  EXPECT_TRUE(m[1] == "1-0" || m[1] == "0-1" || m[1] == "1/2-1/2") << m[1];
  EXPECT_NE(pgn.find("[White \"KELO 0.56Z\"]"), std::string::npos);
  // The reason XBoard gives for the result, just before it at the end.
  std::smatch reason;
  ASSERT_TRUE(std::regex_search(pgn, reason, std::regex(R"(\{([^{}]*)\}\s*(1-0|0-1|1/2-1/2)\s*$)")))
      << pgn;
  const std::string why = reason[1];
  std::printf("result %s {%s}\n", std::string(m[1]).c_str(), why.c_str());
  for (const char* bad : {"on time", "time forfeit", "llegal", "xit", "rash", "isconnect"})
    EXPECT_EQ(why.find(bad), std::string::npos) << why;
  const std::string debug = read_file(dir + "/debug.txt");
  expect_no_engine_trouble(read_file(dir + "/xboard.log"));
  expect_no_engine_trouble(debug);
  int moves = 0;
  for (const auto& l : received_from_kelo(debug)) moves += l.rfind("move ", 0) == 0;
  EXPECT_GE(moves, 10);
  if (!HasFailure()) fs::remove_all(dir);
}

// XBoard's analysis mode: KELO sends thinking lines and never a move.
TEST(XBoard, AnalysisModeThinksWithoutMoving) {
  const std::string missing = missing_tools();
  ASSERT_TRUE(missing.empty()) << missing << ": tools/install-deps.sh installs it";
  std::string dir;
  ASSERT_EQ(run_script("-a 4", dir), 0);
  const std::string debug = read_file(dir + "/debug.txt");
  EXPECT_NE(debug.find(">first : analyze"), std::string::npos);
  static const std::regex THINKING(R"(^(\d+) -?\d+ \d+ \d+ ([a-h][1-8][a-h][1-8][nbrq]? )+\[.*\]$)");
  int thinking = 0, deepest = 0;
  for (const auto& l : received_from_kelo(debug)) {
    EXPECT_NE(l.rfind("move ", 0), 0u) << l;
    std::smatch m;
    if (std::regex_match(l, m, THINKING)) {
      ++thinking;
      deepest = std::max(deepest, std::stoi(m[1]));
    }
  }
  EXPECT_GT(thinking, 5);
  EXPECT_GE(deepest, 6);
  expect_no_engine_trouble(debug);
  if (!HasFailure()) fs::remove_all(dir);
}

}  // namespace
