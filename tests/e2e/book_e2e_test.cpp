// The "makebook" and "peoneval" commands through the engine binary, the book
// checked against games replayed by an independent referee (chess.js).
#include <gtest/gtest.h>

#include "support/engine_process.h"
#include "support/referee.h"
#include "support/scratch.h"
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "book/book_file.h"
#include "eval/pawn_report.h"
#include "position/fen.h"

namespace fs = std::filesystem;

namespace {

// Runs the engine in dir, writes the lines, waits for the reply to "ping 1"
// and quits; returns everything the engine wrote.
std::string run_engine(const fs::path& dir, const std::vector<std::string>& lines) {
  int in[2], out[2];
  if (pipe(in) != 0 || pipe(out) != 0) return "pipe failed";
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    close(in[1]);
    close(out[0]);
    if (chdir(dir.c_str()) != 0) _exit(127);
    execl(KELO_BINARY, KELO_BINARY, (char*)nullptr);
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  std::string text;
  for (const std::string& l : lines) text += l + "\n";
  text += "ping 1\n";
  if (write(in[1], text.data(), text.size()) != ssize_t(text.size())) return "write failed";
  std::string output;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  bool quit_sent = false;
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd p{out[0], POLLIN, 0};
    if (poll(&p, 1, 200) <= 0) continue;
    char chunk[65536];
    const ssize_t n = read(out[0], chunk, sizeof chunk);
    if (n <= 0) break;
    output.append(chunk, size_t(n));
    if (!quit_sent && output.find("pong 1\n") != std::string::npos) {
      const char quit[] = "quit\n";
      if (write(in[1], quit, sizeof quit - 1) < 0) break;
      quit_sent = true;
    }
  }
  close(in[1]);
  close(out[0]);
  if (!quit_sent) kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
  return output;
}

class EngineDirTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = scratch_dir("kelo-e2e-book");
  }
  void TearDown() override { fs::remove_all(dir_); }
  void write_file(const std::string& name, const std::string& text) {
    std::ofstream(dir_ / name, std::ios::binary) << text;
  }
  fs::path dir_;
};

// The test games: tags, comments after the counted plies, move numbers with
// "..." continuations, captures, checks, promotions, both castlings, NAGs
// and all four results; the unfinished game is followed by another.
const std::vector<std::string> GAMES = {
    "[Event \"one\"]\n[White \"A\"]\n[Black \"B\"]\n\n"
    "1. e4 e5 2. Nf3 Nc6 3. Bb5 a6 4. Ba4 Nf6 5. O-O!? Be7 6. Re1 b5 7. Bb3 d6 8. c3\n"
    "O-O 9. h3 Nb8 10. d4 Nbd7 11. c4 c6 12. cxb5 axb5 13. Nc3 Bb7 14. Bg5 b4 {the\n"
    "usual plan} 1-0\n",
    "[Event \"two\"]\n\n1. f3 e5 2. g4?? Qh4# 0-1\n",
    "[Event \"three\"]\n\n1. a4 b5 2. axb5 Nf6 3. b6 Ng8 4. bxa7 Nf6 5. axb8=Q Rxb8 6. h4 g5 "
    "7. hxg5 Ne4 8. g6 Bh6 9. gxh7 Rg8 10. hxg8=N Bf8 11. Rh8 Nd6 1/2-1/2\n",
    "[Event \"four\"]\n\n1. d4 d5 2. c4 e6 3. Nc3 Nf6 4. Bg5 Be7 5. e3 O-O 6. Nf3 h6 7. Bh4 b6\n"
    "8. cxd5 Nxd5 9. Bxe7 Qxe7 10. Nxd5 exd5 11. Rc1 Be6 12. Qa4 c5 13. Qa3 Rc8 14. Bb5 a6\n"
    "15. dxc5 bxc5 16. O-O Ra7 17. Be2 Nd7 18. Nd4 Qf8 19. Nxe6 fxe6 20. e4 d4 21. f4 Qe7\n"
    "22. e5 Rb8 *\n",
    "[Event \"five\"]\n\n1. c4 1... e5 2. Nc3 Nf6 3. g3 3... d5 4. cxd5 Nxd5 5. Bg2 Nb6 1/2-1/2\n",
    "[Event \"six\"]\n\n1. d4 d5 2. Nc3 Nc6 3. Bf4 Bf5 4. Qd2 Qd7 5. O-O-O O-O-O 6. e3 e6 7. e4 dxe4\n"
    "8. d5 exd5 0-1\n",
    "[Event \"seven\"]\n\n1. e4 f5 2. Qh5+ g6 3. exf5 Nf6 4. fxg6 Nxh5 5. g7+ Kf7 6. gxh8=Q Bg7 1-0\n",
};

constexpr const char* REFEREE_SCRIPT = R"(
const { Chess } = require(process.argv[2]);
const fs = require('fs');
for (const file of process.argv.slice(3)) {
  const game = new Chess();
  game.loadPgn(fs.readFileSync(file, 'utf8'));
  const replay = new Chess();
  const lines = [];
  for (const move of game.history({ verbose: true })) {
    replay.move({ from: move.from, to: move.to, promotion: move.promotion });
    const fields = replay.fen().split(' ');
    // The engine keeps the passed-over square after every double step.
    fields[3] = move.flags.includes('b') ? move.from[0] + (move.color === 'w' ? '3' : '6') : '-';
    lines.push(fields.join(' '));
  }
  console.log('game ' + lines.length);
  for (const l of lines) console.log(l);
}
)";

// Per game, the FEN after each ply, as the referee replays the games.
std::vector<std::vector<std::string>> referee_plies(const fs::path& dir) {
  std::vector<std::vector<std::string>> games;
  const fs::path package = referee_package();
  if (const std::string missing = referee_missing(); !missing.empty()) {
    ADD_FAILURE() << missing;
    return games;
  }
  std::ofstream(dir / "referee.cjs") << REFEREE_SCRIPT;
  std::string command = "cd '" + dir.string() + "' && node referee.cjs '" + package.string() + "'";
  for (size_t i = 0; i < GAMES.size(); ++i) {
    std::ofstream(dir / ("game" + std::to_string(i) + ".pgn")) << GAMES[i];
    command += " game" + std::to_string(i) + ".pgn";
  }
  command += " > referee.txt";
  if (std::system(command.c_str()) != 0) {
    ADD_FAILURE() << "the referee rejected a game";
    return games;
  }
  std::ifstream in(dir / "referee.txt");
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("game ", 0) == 0)
      games.emplace_back();
    else if (!games.empty())
      games.back().push_back(line);
  }
  return games;
}

// Book key to count for the first depth plies of every game.
std::map<uint64_t, int32_t> expected_counts(const std::vector<std::vector<std::string>>& games,
                                            int depth) {
  std::map<uint64_t, int32_t> counts;
  testing::internal::CaptureStdout();  // the FEN set-up reports nothing here
  for (const auto& plies : games)
    for (int ply = 0; ply < depth && ply < int(plies.size()); ++ply) {
      Position pos(plies[ply].c_str());
      ++counts[book_key(pos.hash_key, pos.side_to_move)];
    }
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  return counts;
}

std::vector<unsigned char> read_file(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

// Compares book.bin with the expected counts: the slot of every key holds it
// with its count, and no other entry is used.
void check_book(const std::vector<unsigned char>& bytes, int32_t slots,
                const std::map<uint64_t, int32_t>& expected) {
  ASSERT_EQ(bytes.size(), size_t(4 + 32 * int64_t(slots)));
  EXPECT_EQ(int32_t(bytes[0] | bytes[1] << 8 | bytes[2] << 16 | uint32_t(bytes[3]) << 24), slots);
  std::map<uint64_t, int> keys_per_slot;
  for (const auto& [key, count] : expected) ++keys_per_slot[key % uint64_t(slots)];
  for (const auto& [slot, n] : keys_per_slot) ASSERT_LE(n, 2) << "test games overfill slot " << slot;

  std::multiset<int32_t> counts_found, counts_expected;
  for (const auto& [key, count] : expected) {
    counts_expected.insert(count);
    const BookSlot s = decode_slot(bytes.data() + 4 + 32 * (key % uint64_t(slots)));
    const bool held = (s.entry[0].key == key && s.entry[0].count == count) ||
                      (s.entry[1].key == key && s.entry[1].count == count);
    EXPECT_TRUE(held) << "key " << key << " count " << count;
    EXPECT_GE(s.entry[0].count, s.entry[1].count);
  }
  for (size_t at = 4; at < bytes.size(); at += 32) {
    const BookSlot s = decode_slot(bytes.data() + at);
    for (const BookEntry& e : s.entry)
      if (e.count) counts_found.insert(e.count);
  }
  EXPECT_EQ(counts_found, counts_expected);
}

std::string all_games() {
  std::string pgn;
  for (const std::string& g : GAMES) pgn += g + "\n";
  return pgn;
}

constexpr const char* MAKEBOOK_OUTPUT =
    "KELO 0.56Z, Brenu\ngenerando 01.tmp\n01.tmp generado\ngenerando book.bin\n"
    "book.bin generado\n01.tmp eliminado\npong 1\n";

// The own book in play: off, the engine searches as ever; on (KELO.ini, or
// the interface's option), the most counted reply comes at once with a line
// that says it is the book's; out of the book, the search takes over. A
// broken book is refused with one message and play goes on.
TEST_F(EngineDirTest, OwnBookAnswersFromTheBuiltBook) {
  write_file("games.pgn", "1. e4 c5 2. Nf3 1-0\n\n1. e4 c5 2. Nc3 0-1\n\n1. e4 e5 1/2-1/2\n");
  write_file("KELO.ini", "BOOK_BEST=1\n");
  {
    EngineProcess e(dir_.string());
    e.send("makebook games.pgn");
    ASSERT_TRUE(e.sync(60000));
    const size_t built = e.lines.size();
    e.send("new\nst 1\ne2e4");
    ASSERT_FALSE(e.wait_for_prefix("move ", 10000, built).empty());
    for (size_t i = built; i < e.lines.size(); ++i)
      EXPECT_EQ(e.lines[i].find("book"), std::string::npos) << e.lines[i];

    // The first book move reads the book; the next is timed.
    e.send("option OwnBook=1\nnew\ne2e4");
    ASSERT_EQ(e.wait_for_prefix("move ", 5000, e.lines.size()), "move c7c5");
    e.send("new");
    ASSERT_TRUE(e.sync());
    size_t from = e.lines.size();
    const auto sent = std::chrono::steady_clock::now();
    e.send("e2e4");
    EXPECT_EQ(e.wait_for_prefix("move ", 5000, from), "move c7c5");
    EXPECT_LE(std::chrono::duration_cast<std::chrono::milliseconds>(
                  std::chrono::steady_clock::now() - sent).count(), 50);
    ASSERT_TRUE(e.sync());
    EXPECT_EQ(e.lines[from], "0 0 0 0 book c7c5, 2 of 3 games");
    from = e.lines.size();
    e.send("a2a3");  // out of the book: a search's thinking lines
    ASSERT_FALSE(e.wait_for_prefix("move ", 10000, from).empty());
    EXPECT_EQ(e.lines[from].find("book"), std::string::npos) << e.lines[from];
  }
  {
    EngineProcess uci(dir_.string());
    uci.send("uci\nsetoption name OwnBook value true\nposition startpos moves e2e4\ngo wtime 60000 btime 60000");
    EXPECT_EQ(uci.wait_for_prefix("bestmove", 5000), "bestmove c7c5");
    EXPECT_FALSE(uci.wait_for_prefix("info string book c7c5", 1000).empty());
  }
  write_file("KELO.ini", "OWN_BOOK=1\nBOOK_FILE=broken.bin\n");
  write_file("broken.bin", std::string(40, '\x7f'));
  EngineProcess broken(dir_.string());
  broken.send("new\nst 1\ne2e4");
  ASSERT_FALSE(broken.wait_for_prefix("move ", 10000).empty());
  broken.send("new\ne2e4");
  ASSERT_FALSE(broken.wait_for_prefix("move ", 10000, broken.lines.size()).empty());
  int refusals = 0;
  for (const std::string& l : broken.lines) refusals += l.rfind("tellusererror book refused", 0) == 0;
  EXPECT_EQ(refusals, 1);
}

}  // namespace

TEST_F(EngineDirTest, MakebookCountsTheOpeningPliesOfEveryGame) {
  write_file("games.pgn", all_games());
  EXPECT_EQ(run_engine(dir_, {"makebook games.pgn"}), MAKEBOOK_OUTPUT);
  EXPECT_FALSE(fs::exists(dir_ / "01.tmp"));
  const auto games = referee_plies(dir_);
  ASSERT_EQ(games.size(), GAMES.size());
  const auto expected = expected_counts(games, 20);
  // The start-position replies repeat across games, so some counts exceed 1.
  EXPECT_GT(expected.size(), 80u);
  check_book(read_file(dir_ / "book.bin"), 349524, expected);
}

TEST_F(EngineDirTest, ConfigurationSetsBookSizeAndDepth) {
  write_file("games.pgn", all_games());
  write_file("KELO.ini", "# book settings\nBOOK_SIZE=1\nMAX_DEPTH_BOOK = 6\n");
  EXPECT_EQ(run_engine(dir_, {"makebook games.pgn"}), MAKEBOOK_OUTPUT);
  const auto games = referee_plies(dir_);
  ASSERT_EQ(games.size(), GAMES.size());
  check_book(read_file(dir_ / "book.bin"), 87381, expected_counts(games, 6));
}

TEST_F(EngineDirTest, PeonevalPrintsTheReportOfTheEnginesPosition) {
  const char* fen = "4k3/2p4p/4p3/2pp4/8/3P4/8/4K3 b - - 0 1";
  Position pos(fen);
  testing::internal::CaptureStdout();
  pawn_report(pos);
  const std::string report = testing::internal::GetCapturedStdout();
  const std::string out =
      run_engine(dir_, {std::string("setboard ") + fen, "peoneval", "peoneval ", "xpeoneval"});
  EXPECT_EQ(out, "KELO 0.56Z, Brenu\n" + report + "pong 1\n");
}
