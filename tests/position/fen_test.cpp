#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "position/fen.h"

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
    auto pos = set_up(fen.c_str());
    EXPECT_EQ(pos->castle_flags, c.rights) << c.field;
    EXPECT_EQ(pos->history.entries[0].castle_flags, c.rights) << c.field;
    EXPECT_TRUE(setup_problems(*pos).empty()) << c.field;
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

// All checks fail at once: one message each, in the order the checks run, in
// the interfaces' Latin-1 (the en-passant message never had the accent). The
// set-up itself writes nothing; the front end reports the messages.
TEST(FenSetup, ProblemsComeInCheckingOrder) {
  // Two white kings, the black king in check with White to move, no king or
  // rook where the four rights need them, a pawn on the last rank, and an
  // en-passant target with no pawn beyond it.
  testing::internal::CaptureStdout();
  Position pos("P3k3/8/8/8/8/8/8/KK2R3 w KQkq e6 0 1");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  const std::string illegal = "posici\xF3n ilegal ";
  const std::vector<std::string> expected = {
      illegal + "varios reyes blancos", illegal + "rey negro en jaque", illegal + "enrroque",
      illegal + "enrroque",             illegal + "enrroque",          illegal + "enrroque",
      illegal + "de peones",            "posicion ilegal peon pasado"};
  EXPECT_EQ(setup_problems(pos), expected);

  Position black_to_move("8/8/8/8/8/8/8/4K2r b - - 0 1");
  EXPECT_EQ(setup_problems(black_to_move),
            (std::vector<std::string>{illegal + "varios reyes negros", illegal + "rey blanco en jaque"}));
}
