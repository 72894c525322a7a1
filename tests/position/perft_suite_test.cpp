#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "position/fen.h"
#include "position/perft.h"

namespace {

// Runs the published counts of tests/data/perft.epd up to the depth whose
// count stays below the limit, so the suite stays fast.
TEST(Perft, PublishedSuite) {
  std::ifstream in(std::string(KELO_SOURCE_DIR) + "/tests/data/perft.epd");
  ASSERT_TRUE(in.good());
  std::string line;
  int positions = 0;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::string fen = line.substr(0, line.find(';'));
    Position pos((fen + " 0 1").c_str());
    EXPECT_TRUE(setup_problems(pos).empty()) << fen;
    std::istringstream fields(line.substr(line.find(';')));
    std::string tag;
    int64_t count;
    while (fields >> tag >> count) {
      if (count > 5000000) break;
      int depth = std::stoi(tag.substr(2));
      EXPECT_EQ(perft(pos, depth), count) << fen << " depth " << depth;
    }
    ++positions;
  }
  EXPECT_EQ(positions, 20);
}

}  // namespace
