#include "position/text.h"

#include <gtest/gtest.h>

namespace {

TEST(Text, DeleteFirst) {
  char line[64] = "makebook games.pgn makebook ";
  delete_first(line, "makebook ");
  EXPECT_STREQ(line, "games.pgn makebook ");
  delete_first(line, "absent");
  EXPECT_STREQ(line, "games.pgn makebook ");
}

}  // namespace
