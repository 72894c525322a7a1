#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "frontend/fen.h"

namespace {

// The position of a FEN, with the set-up messages it wrote.
std::unique_ptr<Position> set_up(const char* fen, std::string* messages = nullptr) {
  testing::internal::CaptureStdout();
  auto pos = std::make_unique<Position>(fen);
  std::string out = testing::internal::GetCapturedStdout();
  if (messages) *messages = out;
  return pos;
}

}  // namespace

// Each letter of the castling field toggles its right, so a repeated letter
// takes the right away again.
TEST(FenSetup, CastlingLettersToggleTheirRights) {
  struct Case {
    const char* field;
    uint32_t rights;
  };
  for (const Case& c : {Case{"KQkq", 15}, Case{"KKQkq", 14}, Case{"-", 0}, Case{"qkQK", 15},
                        Case{"KQkqq", 7}, Case{"KxQ", 3}}) {
    std::string fen = std::string("r3k2r/8/8/8/8/8/8/R3K2R w ") + c.field + " - 0 1";
    std::string messages;
    auto pos = set_up(fen.c_str(), &messages);
    EXPECT_EQ(pos->castle_flags, c.rights) << c.field;
    EXPECT_EQ(pos->history.entries[0].castle_flags, c.rights) << c.field;
    EXPECT_EQ(messages, "") << c.field;
  }
}

// The half-move field is not read: a set-up position starts its count at 0,
// in the record and in history entry 0.
TEST(FenSetup, FiftyMoveCounterStartsAtZero) {
  for (const char* fen : {"4k3/8/8/8/8/8/8/4K2R w K - 37 80", "4k3/8/8/8/8/8/8/4K2R b - - 99 1",
                          "4k3/8/8/8/8/8/8/4K2R w"}) {
    auto pos = set_up(fen);
    EXPECT_EQ(pos->fifty_count, 0u) << fen;
    EXPECT_EQ(pos->history.entries[0].fifty_count, 0u) << fen;
  }
}
