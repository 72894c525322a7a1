#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "book/make_book.h"
#include "book_support.h"

namespace {

std::string normalised(std::string text) {
  normalise_pgn_line(text);
  return text;
}

SanSquares san(const char* token, const char* fen = START_FEN) {
  Position pos(fen);
  SanSquares out;
  parse_san_token(token, pos, out);
  return out;
}

Bitboard at(const char* name) { return square_bb(make_square(name[0] - 'a', name[1] - '0')); }

// make_book's standard output for a PGN text written to games.pgn.
std::string run_make_book(const BookSettings& settings, const std::string& pgn) {
  write_text("games.pgn", pgn);
  testing::internal::CaptureStdout();
  make_book("games.pgn", settings);
  return testing::internal::GetCapturedStdout();
}

constexpr const char* ALL_MESSAGES =
    "generando 01.tmp\n01.tmp generado\ngenerando book.bin\nbook.bin generado\n01.tmp eliminado\n";

}  // namespace

TEST(BookText, InsertAtAndReplaceAll) {
  char buffer[16] = "abcd";
  EXPECT_TRUE(insert_at(buffer, sizeof buffer, "XY", 2));
  EXPECT_STREQ(buffer, "abXYcd");
  EXPECT_TRUE(insert_at(buffer, sizeof buffer, "!", 6));
  EXPECT_STREQ(buffer, "abXYcd!");
  EXPECT_FALSE(insert_at(buffer, sizeof buffer, "123456789", 0));  // would need 17 bytes
  EXPECT_STREQ(buffer, "abXYcd!");

  char commas[16] = ",,,,,a,,";
  EXPECT_EQ(replace_all(commas, sizeof commas, ",,", ","), 1);
  EXPECT_STREQ(commas, ",a,");
  EXPECT_EQ(replace_all(commas, sizeof commas, ",,", ","), 0);
  char grow[8] = "a*b*";
  EXPECT_EQ(replace_all(grow, sizeof grow, "*", "@d\n"), 1);
  EXPECT_STREQ(grow, "a@d\nb*");  // the second would overflow the buffer and stays
}

// Every replacement lands where a fresh search from the start of the text
// would find the first occurrence, including occurrences that a replacement
// completes with the text before or after it.
TEST(BookText, ReplaceAllAgreesWithASearchFromTheStart) {
  auto from_the_start = [](std::string text, const std::string& find, const std::string& by) {
    for (size_t at; (at = text.find(find)) != std::string::npos;) text.replace(at, find.size(), by);
    return text;
  };
  const std::pair<const char*, const char*> rules[] = {
      {",,", ","}, {"0.", "."}, {"ab", "ba"}, {"aa", "b"}, {"*", "@d\n"}, {"x", ""}};
  std::mt19937 random(15);
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    for (int n = random() % 24; n > 0; --n) text += ",.0ab*x"[random() % 7];
    for (const auto& [find, by] : rules) {
      std::vector<char> buffer(4 * text.size() + 1, 0);
      std::memcpy(buffer.data(), text.data(), text.size());
      const std::string expected = from_the_start(text, find, by);
      EXPECT_EQ(replace_all(buffer.data(), buffer.size(), find, by), expected != text ? 1 : 0);
      EXPECT_EQ(std::string(buffer.data()), expected) << text << " " << find;
    }
  }
}

TEST(BookText, MovetextBecomesCommaSeparatedTokens) {
  EXPECT_EQ(normalised("1. e4 e5 2. Nf3 1-0\n"), ",e4,e5,Nf3,@a\n,");
  EXPECT_EQ(normalised("12...Nf6 13. exd5 e8=Q+ Qxf7#\n"), ",Nf6,ed5,e8Q,Qf7,");
  EXPECT_EQ(normalised("{good move} 104. Rd1!? Kh8?? 0-1\n"), "good,move,Rd1,Kh8,@b\n,");
  EXPECT_EQ(normalised("9. O-O 1/2-1/2\n"), ",O-O,@c\n,");
  // Castling with zeros loses its digits to the move-number step... only
  // before a point; 0-0 stays as written.
  EXPECT_EQ(normalised("5. 0-0 a6\n"), ",0-0,a6,");
}

TEST(BookText, UnfinishedGameEndsItsLine) {
  EXPECT_EQ(normalised("1. d4 d5 *\n"), ",d4,d5,@d\n,");
  // A line of nothing but markers grows the most, and still every one is rewritten.
  std::string markers;
  for (size_t i = 0; i < 5000; ++i) markers += "@d\n";
  EXPECT_EQ(normalised(std::string(5000, '*')), markers);
}

TEST(BookText, CarriageReturnsSeparateTokens) {
  EXPECT_EQ(normalised("1. e4 e5 2. Nf3\r\n"), normalised("1. e4 e5 2. Nf3\n"));
  EXPECT_EQ(normalised("e4 1-0\r\n"), "e4,@a\n,");
  EXPECT_EQ(normalised("\r\n"), ",");
}

TEST(SanToken, SquaresNamedForTheSideToMove) {
  EXPECT_EQ(san("e4").from, RANK_2_BB);
  EXPECT_EQ(san("e4").to, at("e4"));
  EXPECT_EQ(san("Nf3").from, at("b1") | at("g1"));
  EXPECT_EQ(san("Nf3").to, at("f3"));
  EXPECT_EQ(san("ed5").from, at("e2"));
  EXPECT_EQ(san("Nbd2").from, at("b1"));
  EXPECT_EQ(san("R1e1").from, at("a1") | at("h1"));
  EXPECT_EQ(san("Rxe1").from, at("a1") | at("h1"));  // the x stays: neither file nor rank
  EXPECT_EQ(san("O-O").from, at("e1"));
  EXPECT_EQ(san("O-O").to, at("g1"));
  EXPECT_EQ(san("O-O-O").to, at("c1"));
  const char* black = "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1";
  EXPECT_EQ(san("O-O", black).from, at("e8"));
  EXPECT_EQ(san("O-O-O", black).to, at("c8"));
  EXPECT_EQ(san("Nc6", black).from, at("b8") | at("g8"));
  const char* promo = "1n2k3/P7/8/8/8/8/7p/4K1N1 w - - 0 1";
  SanSquares p = san("a8Q", promo);
  EXPECT_EQ(p.from, at("a7"));
  EXPECT_EQ(p.to, at("a8"));
  EXPECT_EQ(p.promotion, W_QUEEN);
  p = san("ab8N", promo);
  EXPECT_EQ(p.to, at("b8"));
  EXPECT_EQ(p.promotion, W_KNIGHT);
  p = san("hg1R", "4k3/8/8/8/8/8/7p/4K1N1 b - - 0 1");
  EXPECT_EQ(p.from, at("h2"));
  EXPECT_EQ(p.promotion, B_ROOK);
}

TEST(SanToken, TokensThatAreNoMoves) {
  for (const char* t : {"@a", "*", "0-0", "Nz3", "good", "Pe4", "e9", "", "Ngf3x", "Q"}) {
    const SanSquares s = san(t);
    EXPECT_TRUE(s.from == 0 || s.to == 0) << t;
  }
}

TEST_F(BookDirTest, CountsThePliesOfEveryGameAndDeletesTheTemporaryFile) {
  settings_.slots = 1009;
  const std::string pgn =
      "[Event \"one\"]\n[White \"a\"]\n\n"
      "1. e4 e5 2. Nf3 Nc6 3. Bb5 a6 4. Bxc6 dxc6 5. O-O f6 1-0\n\n"
      "[Event \"two\"]\n\n1. d4 d5 2. c4 e6 0-1\n";
  EXPECT_EQ(run_make_book(settings_, pgn), ALL_MESSAGES);
  EXPECT_FALSE(std::filesystem::exists("01.tmp"));
  std::map<uint64_t, int32_t> expected;
  add_game(expected,
           {"e2e4", "e7e5", "g1f3", "b8c6", "f1b5", "a7a6", "b5c6", "d7c6", "e1g1", "f7f6"}, 20);
  add_game(expected, {"d2d4", "d7d5", "c2c4", "e7e6"}, 20);
  EXPECT_EQ(book_counts(), expected);
}

TEST_F(BookDirTest, BookDepthAndSizeComeFromTheSettings) {
  settings_.slots = 13;
  settings_.max_depth = 3;
  run_make_book(settings_, "1. e4 e5 2. Nf3 Nc6 3. Bb5 1-0\n");
  EXPECT_EQ(std::filesystem::file_size(BOOK_FILE_NAME), 4u + 32 * 13);
  std::map<uint64_t, int32_t> expected;
  add_game(expected, {"e2e4", "e7e5", "g1f3", "b8c6", "f1b5"}, 3);
  EXPECT_EQ(book_counts(), expected);
}

TEST_F(BookDirTest, UnfinishedGameDoesNotSwallowTheNext) {
  settings_.slots = 1009;
  run_make_book(settings_, "1. e4 e5 *\n\n[Event \"next\"]\n\n1. d4 Nf6 1/2-1/2\n");
  std::map<uint64_t, int32_t> expected;
  add_game(expected, {"e2e4", "e7e5"}, 20);
  add_game(expected, {"d2d4", "g8f6"}, 20);
  EXPECT_EQ(book_counts(), expected);
}

TEST_F(BookDirTest, CrLfFileReadsLikeLf) {
  settings_.slots = 1009;
  const std::string lf = "[Event \"a\"]\n\n1. e4 c5 2. Nf3 d6\n3. d4 1-0\n\n[Event \"b\"]\n\n1. c4 0-1\n";
  std::string crlf;
  for (char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  run_make_book(settings_, lf);
  const auto from_lf = read_bytes(BOOK_FILE_NAME);
  run_make_book(settings_, crlf);
  EXPECT_EQ(read_bytes(BOOK_FILE_NAME), from_lf);
  std::map<uint64_t, int32_t> expected;
  add_game(expected, {"e2e4", "c7c5", "g1f3", "d7d6", "d2d4"}, 20);
  add_game(expected, {"c2c4"}, 20);
  EXPECT_EQ(book_counts(), expected);
}

TEST_F(BookDirTest, GameLongerThanTheLineBufferIsReplayedWhole) {
  settings_.slots = 1009;
  settings_.max_depth = 100000;
  // 300 rounds of knights out and back: a 01.tmp line of some 5,000 characters.
  std::string pgn;
  std::vector<std::string> moves;
  for (int round = 0; round < 300; ++round) {
    pgn += std::to_string(2 * round + 1) + ". Nf3 Nf6 " + std::to_string(2 * round + 2) + ". Ng1 Ng8\n";
    for (const char* m : {"g1f3", "g8f6", "f3g1", "f6g8"}) moves.push_back(m);
  }
  pgn += "1-0\n";
  ASSERT_GT(pgn.size(), 4096u);
  run_make_book(settings_, pgn);
  std::map<uint64_t, int32_t> expected;
  add_game(expected, moves, 100000);
  ASSERT_EQ(expected.size(), 4u);
  EXPECT_EQ(book_counts(), expected);
}

// Games written one to a line: the first is long enough that a result marker
// near its end would fall across a 2,047-byte piece of the line, wherever it
// stands there.
TEST_F(BookDirTest, OneLineGamesKeepTheirResultMarkers) {
  settings_.slots = 1009;
  std::vector<std::string> moves;
  std::string knights;
  for (int round = 0; round < 120; ++round) {
    knights += "Nf3 Nf6 Ng1 Ng8 ";
    for (const char* m : {"g1f3", "g8f6", "f3g1", "f6g8"}) moves.push_back(m);
  }
  ASSERT_LT(knights.size(), 2040u);
  std::map<uint64_t, int32_t> expected;
  add_game(expected, moves, 20);
  add_game(expected, {"d2d4", "d7d5"}, 20);
  for (size_t marker_at = 2040; marker_at <= 2050; ++marker_at) {
    const std::string first = knights + std::string(marker_at - knights.size(), ' ') + "1-0\n";
    EXPECT_EQ(run_make_book(settings_, first + "1. d4 d5 0-1\n"), ALL_MESSAGES) << marker_at;
    EXPECT_EQ(book_counts(), expected) << marker_at;
  }
}

// A byte-order mark before the first tag or the first move is passed over.
TEST_F(BookDirTest, ByteOrderMarkAtTheStartIsSkipped) {
  settings_.slots = 1009;
  std::map<uint64_t, int32_t> expected;
  add_game(expected, {"e2e4", "e7e5"}, 20);
  add_game(expected, {"d2d4"}, 20);
  const std::string bom = "\xEF\xBB\xBF";
  EXPECT_EQ(run_make_book(settings_, bom + "[Event \"a\"]\n\n1. e4 e5 1-0\n\n[Event \"b\"]\n\n1. d4 0-1\n"),
            ALL_MESSAGES);
  EXPECT_EQ(book_counts(), expected);
  run_make_book(settings_, bom + "1. e4 e5 1-0\n1. d4 0-1\n");
  EXPECT_EQ(book_counts(), expected);
  // Only at the start of the file: elsewhere the bytes are part of a token.
  run_make_book(settings_, "1. e4 e5 1-0\n" + bom + "1. d4 0-1\n");
  std::map<uint64_t, int32_t> first_only;
  add_game(first_only, {"e2e4", "e7e5"}, 20);
  EXPECT_EQ(book_counts(), first_only);
}

TEST_F(BookDirTest, ReplayStopsAtTheFirstTokenThatIsNoMove) {
  settings_.slots = 1009;
  // "then" is no move, 0-0 is no castling token; the comment word d5 is legal.
  run_make_book(settings_, "1. e4 {then} e5 1-0\n1. Nf3 {d5} Nc3 1-0\n1. e4 e5 2. Nf3 Nc6 3. Bc4 Bc5 4. 0-0 Nf6 1-0\n");
  std::map<uint64_t, int32_t> expected;
  add_game(expected, {"e2e4"}, 20);
  add_game(expected, {"g1f3", "d7d5", "b1c3"}, 20);
  add_game(expected, {"e2e4", "e7e5", "g1f3", "b8c6", "f1c4", "f8c5"}, 20);
  EXPECT_EQ(book_counts(), expected);
}

TEST_F(BookDirTest, AmbiguousAndBarePromotionTokensTakeTheFirstGeneratedMove) {
  settings_.slots = 1009;
  // Nd2 with knights on b1 and f3: the first in generation order plays.
  run_make_book(settings_, "1. Nf3 e5 2. d3 e4 3. Nd2 1-0\n");
  Position gen_order("rnbqkbnr/pppp1ppp/8/8/4p3/3P1N2/PPP1PPPP/RNBQKB1R w KQkq - 0 3");
  generate_all(gen_order);
  std::string first;
  for (int i = 0; i < gen_order.move_stack.count() && first.empty(); ++i) {
    const Move m = gen_order.move_stack.at(i);
    if (move_to(m) == make_square(3, 2) && kind_of(gen_order.mailbox[move_from(m)]) == KNIGHT)
      first = std::string{char('a' + file_of(move_from(m))), char('0' + rank_of(move_from(m)))} + "d2";
  }
  gen_order.move_stack.close_level();
  ASSERT_FALSE(first.empty());
  std::map<uint64_t, int32_t> expected;
  add_game(expected, {"g1f3", "e7e5", "d2d3", "e5e4", first}, 20);
  EXPECT_EQ(book_counts(), expected);
}

TEST_F(BookDirTest, PromotionWithoutLetterIsTheQueen) {
  settings_.slots = 1009;
  const std::vector<std::string> line = {"a2a4", "b7b5", "a4b5", "g8f6", "b5b6", "f6g8", "b6a7", "g8f6"};
  run_make_book(settings_, "1. a4 b5 2. axb5 Nf6 3. b6 Ng8 4. bxa7 Nf6 5. axb8 1-0\n");
  std::map<uint64_t, int32_t> expected;
  std::vector<std::string> with_queen = line;
  with_queen.push_back("a7b8q");
  add_game(expected, with_queen, 20);
  EXPECT_EQ(book_counts(), expected);
  run_make_book(settings_, "1. a4 b5 2. axb5 Nf6 3. b6 Ng8 4. bxa7 Nf6 5. axb8=N 1-0\n");
  std::map<uint64_t, int32_t> knight;
  std::vector<std::string> with_knight = line;
  with_knight.push_back("a7b8n");
  add_game(knight, with_knight, 20);
  EXPECT_EQ(book_counts(), knight);
}

TEST_F(BookDirTest, MissingPgnStillRecreatesAnEmptyBook) {
  settings_.slots = 3;
  write_text(BOOK_FILE_NAME, "old contents");
  testing::internal::CaptureStdout();
  make_book("no such file.pgn", settings_);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "book.bin generado\n01.tmp eliminado\n");
  EXPECT_EQ(read_bytes(BOOK_FILE_NAME), std::vector<unsigned char>(4 + 32 * 3, 0) = [] {
    std::vector<unsigned char> v(4 + 32 * 3, 0);
    v[0] = 3;
    return v;
  }());
  EXPECT_FALSE(std::filesystem::exists("01.tmp"));
}

TEST_F(BookDirTest, PgnEndingInsideATagSection) {
  settings_.slots = 1009;
  EXPECT_EQ(run_make_book(settings_, "1. e4 1-0\n\n[Event \"cut\"]\n[Site \"x\""), ALL_MESSAGES);
  std::map<uint64_t, int32_t> expected;
  add_game(expected, {"e2e4"}, 20);
  EXPECT_EQ(book_counts(), expected);
}
