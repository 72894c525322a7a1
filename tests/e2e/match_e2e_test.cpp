#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "support/referee.h"
#include "support/scratch.h"

namespace fs = std::filesystem;

namespace {

const char* OPPONENT = "/usr/games/fairymax";

// Two whole games against Fairy-Max, KELO White in the first: no illegal
// move, no crash, no KELO move later than its budget plus 100 ms.
TEST(Match, TwoGamesAgainstFairyMax) {
  ASSERT_EQ(access(OPPONENT, X_OK), 0) << "fairymax is not installed: tools/install-deps.sh installs it";
  const fs::path package = referee_package();
  const std::string missing = referee_missing();
  ASSERT_TRUE(missing.empty()) << missing;
  const std::string dir = scratch_dir("kelo-match");
  const std::string out = dir + "/games.txt";
  const std::string command = "cd '" + dir + "' && MATCH_DIR='" + dir + "' timeout 600 node '" +
                              KELO_SOURCE_DIR + "/tests/e2e/match.cjs' '" + package.string() +
                              "' '" + KELO_BINARY + "' '" + OPPONENT + "' 2 > '" + out + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  std::ifstream in(out);
  int games = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("GAME ", 0) != 0) continue;
    ++games;
    std::printf("%s\n", line.substr(0, 300).c_str());
    EXPECT_NE(line.find("\"error\":null"), std::string::npos) << line;
    EXPECT_EQ(line.find("\"result\":\"unfinished\""), std::string::npos) << line;
    const size_t late = line.find("\"worstLateMs\":");
    ASSERT_NE(late, std::string::npos);
    EXPECT_LE(std::stol(line.substr(late + 14)), 100) << line;
  }
  EXPECT_EQ(games, 2);
  fs::remove_all(dir);
}

}  // namespace
