#include "book/book_reader.h"

#include <map>
#include <string>

#include "book/book_support.h"
#include "book/make_book.h"
#include "position/movetext.h"

namespace {

// 1.e4 three times (twice answered 1...c5, once 1...e5), 1.d4 once.
const char* GAMES =
    "1. e4 c5 2. Nf3 1-0\n\n1. e4 c5 2. Nc3 0-1\n\n1. e4 e5 1/2-1/2\n\n1. d4 d5 1-0\n";

TEST_F(BookDirTest, CountsAndChoicesComeFromTheBuiltBook) {
  settings_.slots = 1021;
  write_text("games.pgn", GAMES);
  make_book("games.pgn", settings_);
  OpeningBook book;
  std::string problem;
  ASSERT_TRUE(book_load(book, BOOK_FILE_NAME, problem)) << problem;

  Position pos(START_FEN);
  ASSERT_TRUE(play_move_text(pos, "e2e4"));
  EXPECT_EQ(book_count(book, pos.hash_key, pos.side_to_move), 3);
  unmake_move(pos);

  const BookChoice best = book_choice(book, pos, 0, true);
  EXPECT_EQ(move_text(best.move), "e2e4");
  EXPECT_EQ(best.count, 3);
  EXPECT_EQ(best.total, 4);
  // Drawn in proportion to the counts: every r below the total picks a
  // move, 3 of 4 picks 1.e4.
  std::map<std::string, int> picks;
  for (uint64_t r = 0; r < 400; ++r) ++picks[move_text(book_choice(book, pos, r, false).move)];
  EXPECT_EQ(picks["e2e4"], 300);
  EXPECT_EQ(picks["d2d4"], 100);

  ASSERT_TRUE(play_move_text(pos, "e2e4"));
  EXPECT_EQ(move_text(book_choice(book, pos, 0, true).move), "c7c5");
  ASSERT_TRUE(play_move_text(pos, "a7a6"));  // out of the book
  EXPECT_EQ(book_choice(book, pos, 0, true).move, 0u);
}

TEST_F(BookDirTest, BrokenOrMissingFilesAreRefused) {
  OpeningBook book;
  std::string problem;
  EXPECT_FALSE(book_load(book, "missing.bin", problem));
  EXPECT_NE(problem.find("missing.bin"), std::string::npos);
  settings_.slots = 8;
  write_text("games.pgn", GAMES);
  make_book("games.pgn", settings_);
  std::vector<unsigned char> bytes = read_bytes(BOOK_FILE_NAME);
  bytes.pop_back();  // one byte short of what the header counts
  write_text("short.bin", std::string(bytes.begin(), bytes.end()));
  EXPECT_FALSE(book_load(book, "short.bin", problem));
  EXPECT_NE(problem.find("8 slots"), std::string::npos) << problem;
  EXPECT_EQ(book.slot_count, 0u);
  Position pos(START_FEN);
  EXPECT_EQ(book_choice(book, pos, 0, true).move, 0u);
}

}  // namespace
