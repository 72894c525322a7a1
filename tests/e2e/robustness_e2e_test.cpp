// The engine stays alive whatever it is set up with or finds in its working
// directory: odd positions that the FEN constructor accepts with a message,
// a damaged configuration file, a damaged book file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "position/fen.h"
#include "position/movegen.h"
#include "position/movetext.h"
#include "support/engine_process.h"
#include "support/scratch.h"

namespace {

// Set-ups accepted with a message: kings missing or doubled, pawns on the
// first or last rank, castling rights without king or rook, a king that can
// be taken, an en-passant square without the pawn.
const std::vector<std::string> ODD_SETUPS = {
    "8/8/8/8/8/8/8/8 w - - 0 1",
    "4k3/8/8/8/8/8/8/8 w - - 0 1",
    "8/8/8/8/8/8/8/4K3 b - - 0 1",
    "4k3/8/8/8/8/8/8/KK6 w - - 0 1",
    "kk6/8/8/8/8/8/8/4K3 b - - 0 1",
    "4k3/8/8/8/8/8/8/KKKKKKKK b - - 0 1",
    "P3k3/8/8/8/8/8/8/p3K3 w - - 0 1",
    "pppkpppp/8/8/8/8/8/8/PPPPKPPP b - - 0 1",
    "PPPPPPPP/8/8/4k3/8/8/8/pppppppK w - - 0 1",
    "4k3/8/8/8/8/8/8/4K3 w KQkq - 0 1",
    "8/8/8/8/8/8/8/R3K2R w KQkq - 0 1",
    "r3k2r/8/8/8/8/8/8/8 b KQkq - 0 1",
    "4k3/8/8/8/8/8/8/4R1K1 w - - 0 1",
    "4k3/8/8/8/8/8/8/4K3 w - e6 0 1",
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KkQqKQkq a 0 1",
};

// The first generated move of the set-up, or a move it cannot have.
std::string some_move(const std::string& fen) {
  testing::internal::CaptureStdout();  // the set-up messages
  Position pos(fen.c_str());
  generate_all(pos);
  std::string move = pos.move_stack.count() > 0 ? move_text(pos.move_stack.at(0)) : "a1a2";
  pos.move_stack.close_level();
  testing::internal::GetCapturedStdout();
  return move;
}

// One engine per set-up, all running at once.
TEST(Robustness, EveryCommandAfterAnOddSetupKeepsTheEngineAlive) {
  std::vector<std::unique_ptr<EngineProcess>> engines;
  std::vector<std::vector<std::string>> labels(ODD_SETUPS.size());
  for (size_t i = 0; i < ODD_SETUPS.size(); ++i) {
    const std::string& fen = ODD_SETUPS[i];
    engines.push_back(std::make_unique<EngineProcess>());
    EngineProcess& e = *engines.back();
    auto checkpoint = [&](const std::string& label) {
      labels[i].push_back(label);
      e.send("ping " + std::to_string(labels[i].size()));
    };
    // A zero fixed time hands the search to the clock, which holds nothing:
    // each search stops at once.
    e.send("st 0");
    for (const std::string& command : {std::string("go"), std::string("perft 2"),
                                       std::string("display"), std::string("peoneval"),
                                       some_move(fen), std::string("undo")}) {
      e.send("setboard " + fen);
      e.send(command);
      checkpoint(command);
    }
    // The same commands one after the other, the engine moving for both
    // sides, so that later commands meet what earlier ones left.
    e.send("setboard " + fen);
    for (const char* command : {"go", "go", "go", "undo", "undo", "perft 2", "display",
                                "peoneval", "undo", "undo", "undo"})
      e.send(command);
    e.send(some_move(fen));
    e.send("go");
    checkpoint("the whole sequence");
    e.send("quit");
  }
  for (size_t i = 0; i < engines.size(); ++i) {
    SCOPED_TRACE(ODD_SETUPS[i]);
    EngineProcess& e = *engines[i];
    for (size_t k = 0; k < labels[i].size(); ++k)
      ASSERT_TRUE(e.wait_for_line("pong " + std::to_string(k + 1), 60000))
          << "no answer after " << labels[i][k];
    EXPECT_EQ(e.wait_exit(5000), 0);
  }
}

// Starts the engine in dir with a few commands and returns whether it
// answered all of them and ended normally; lines receives its output.
bool run_in(const std::string& dir, const std::vector<std::string>& commands,
            std::vector<std::string>* lines = nullptr) {
  EngineProcess e(dir);
  for (const std::string& c : commands) e.send(c);
  const bool alive = e.sync(20000);
  e.send("quit");
  const bool ended = e.wait_exit(5000) == 0;
  if (lines) *lines = e.lines;
  return alive && ended;
}

class WorkingDirTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = scratch_dir("kelo-robust");
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  void write(const std::string& name, const std::string& content) {
    std::ofstream(dir_ + "/" + name, std::ios::binary) << content;
  }
  std::string dir_;
};

bool has_move_line(const std::vector<std::string>& lines) {
  for (const std::string& l : lines)
    if (l.rfind("move ", 0) == 0) return true;
  return false;
}

TEST_F(WorkingDirTest, DamagedConfigurationStillPlays) {
  std::string binary;
  for (int i = 0; i < 3000; ++i) binary += char((i * 37 + 11) & 0xFF);
  const std::vector<std::string> files = {
      binary,
      std::string(5000, 'D') + "\nDIM_HASH=\nMAX_DEPTH_SEARCH=x\n=\n\n",
      "DIM_HASH=-7\nMAX_DEPTH_SEARCH=-3\nMAX_DEPTH_BOOK=-1\nBOOK_SIZE=-9\n",
      "DIM_HASH=0\nMAX_DEPTH_SEARCH=0\n",
      "MAX_DEPTH_SEARCH=99999999999999999999999\nMAX_DEPTH_BOOK=99999999999999999999\n",
      // More table than the machine has: the engine settles for less.
      "DIM_HASH=99999999999999999999\n",
  };
  for (const std::string& content : files) {
    SCOPED_TRACE(content.substr(0, 60));
    write("KELO.ini", content);
    std::vector<std::string> lines;
    EXPECT_TRUE(run_in(dir_, {"st 1", "go"}, &lines));
    EXPECT_TRUE(has_move_line(lines));
  }
}

std::vector<unsigned char> read_all(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

TEST_F(WorkingDirTest, MakebookRecreatesADamagedBook) {
  write("games.pgn", "1. e4 e5 2. Nf3 Nc6 1-0\n");
  write("KELO.ini", "BOOK_SIZE=1\n");
  const size_t good_size = 4 + 32 * 87381;
  const std::vector<std::string> books = {
      "",
      "\xFF",
      "\xFF\xFF\xFF\x7F garbage that is no slot",
      std::string("\x00\x00\x00\x80", 4) + std::string(100, '\x55'),
      std::string("\x05\x00\x01\x00", 4) + std::string(70000, '\xAA'),
  };
  for (const std::string& book : books) {
    SCOPED_TRACE(book.size());
    write("book.bin", book);
    EXPECT_TRUE(run_in(dir_, {"makebook games.pgn"}));
    const std::vector<unsigned char> bytes = read_all(dir_ + "/book.bin");
    ASSERT_EQ(bytes.size(), good_size);
    EXPECT_EQ(bytes[0] | bytes[1] << 8 | bytes[2] << 16 | bytes[3] << 24, 87381);
    size_t used = 0;
    for (size_t at = 4; at < bytes.size(); at += 16)
      if (bytes[at + 8] | bytes[at + 9] | bytes[at + 10] | bytes[at + 11]) ++used;
    EXPECT_EQ(used, 4u);  // the four plies of the game, nothing of the old file
  }
}

TEST_F(WorkingDirTest, UnwritableBookAndTemporaryFiles) {
  write("games.pgn", "1. e4 e5 1-0\n");
  std::filesystem::create_directory(dir_ + "/book.bin");
  EXPECT_TRUE(run_in(dir_, {"makebook games.pgn", "makebook missing.pgn", "makebook "}));
  std::filesystem::remove(dir_ + "/book.bin");
  std::filesystem::create_directory(dir_ + "/01.tmp");
  EXPECT_TRUE(run_in(dir_, {"makebook games.pgn"}));
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/book.bin"));
}

}  // namespace
