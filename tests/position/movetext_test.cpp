#include "position/movetext.h"

#include <gtest/gtest.h>

#include <cstring>

#include "position/fen.h"

namespace {

// An illegal or unknown move leaves every field as it was; a legal one is made.
TEST(PlayMoveText, IllegalMovesLeaveThePositionAsItWas) {
  Position pos("4k3/P7/8/8/8/8/4P3/4K3 w - - 0 1");
  const uint64_t key = pos.hash_key;
  uint32_t mailbox[64];
  std::memcpy(mailbox, pos.mailbox, sizeof mailbox);
  const int32_t level = pos.move_stack.level, top = pos.move_stack.top;
  // A pawn to the last rank needs its piece letter, a lower-case one other
  // than the king's.
  for (const char* bad : {"e2e5", "e7e5", "a7a8", "a7a8Q", "a7a8k", "e1e1"}) {
    EXPECT_FALSE(play_move_text(pos, bad)) << bad;
    EXPECT_EQ(pos.hash_key, key) << bad;
    EXPECT_EQ(std::memcmp(pos.mailbox, mailbox, sizeof mailbox), 0) << bad;
    EXPECT_EQ(pos.history.count, 0) << bad;
    EXPECT_EQ(pos.side_to_move, 1) << bad;
    EXPECT_EQ(pos.move_stack.level, level) << bad;
    EXPECT_EQ(pos.move_stack.top, top) << bad;
  }
  // Text after the move is passed over.
  ASSERT_TRUE(play_move_text(pos, "a7a8n and more"));
  EXPECT_EQ(pos.mailbox[SQ_A8], W_KNIGHT);
  EXPECT_EQ(pos.history.count, 1);
  EXPECT_EQ(pos.move_stack.level, level);
  EXPECT_EQ(move_text(pos.history[0].move), "a7a8n");
}

}  // namespace
