#include "frontend/messages.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The wrappers write what the lower layers return, one flushed line each.
TEST(FrontendMessages, ResultAndSetupLines) {
  Position mated("R5k1/5ppp/8/8/8/8/8/6K1 b - - 0 1");
  testing::internal::CaptureStdout();
  EXPECT_EQ(game_over(mated), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "1-0 {Blancas ganan, Jaque Mate}\n");

  Position start("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
  testing::internal::CaptureStdout();
  EXPECT_EQ(game_over(start), 0);
  report_setup_problems(start);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

  Position two_faults("4k3/8/8/8/8/8/8/4K3 w K e6 0 1");
  testing::internal::CaptureStdout();
  report_setup_problems(two_faults);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "tellusererror posici\xF3n ilegal enrroque\n"
            "tellusererror posicion ilegal peon pasado\n");
}

}  // namespace
