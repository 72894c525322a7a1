// Feeds a few input lines to the command interpreter, one at a time, on a
// fresh engine position in a scratch working directory. Lines are cut like
// the input thread cuts them (255 characters, line end removed). What the
// harness changes, and why:
//   - "quit" is skipped: it ends the process.
//   - "perft N", "divide N" and UCI's "go perft N" run with N at most 2:
//     deeper trees only cost time.
//   - "makebook NAME" runs only for names without a "/": the book builder may
//     write only into the scratch directory and must not read devices such
//     as /dev/zero, which never end; its book has a few slots only.
//   - Before a line that can start a search, the clock is cut to a few tens
//     of milliseconds, and the iteration limit is 2 (one iteration): the
//     searches stay short; the FEN target searches deeper. A search that
//     waits for a stop line instead of its clock (analysis) is stopped
//     after half a second, as a "?" line would.
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "fuzz/watchdog.h"
#include "frontend/config.h"
#include "position/fen.h"
#include "frontend/interpreter.h"
#include "position/movetext.h"
#include "position/clock.h"
#include "position/init.h"
#include "position/text.h"
#include "frontend/session.h"
#include "frontend/xboard.h"
#include "position/position.h"

namespace {

constexpr size_t LINE_BYTES = 256;
constexpr int MAX_LINES = 24;

std::filesystem::path scratch;

void remove_scratch() {
  std::error_code ec;
  std::filesystem::remove_all(scratch, ec);
}

bool starts(const char* line, const char* prefix) {
  return std::strncmp(line, prefix, std::strlen(prefix)) == 0;
}

bool may_think(const char* line) {
  return std::strcmp(line, "go") == 0 || std::strcmp(line, "analyze") == 0 ||
         is_coordinate_move(line);
}

// False for a line the harness does not pass on; may rewrite the line.
bool admit(char* line) {
  if (std::strcmp(line, "quit") == 0) return false;
  for (const char* counting : {"perft ", "divide ", "go perft "}) {
    const size_t length = std::strlen(counting);
    if (starts(line, counting) && read_decimal(line + length) > 2) {
      std::strcpy(line + length, "2");
      return true;
    }
  }
  if (starts(line, "makebook")) return std::strchr(line, '/') == nullptr;
  return true;
}

void cut_clock(Session& s) {
  XboardClock& c = s.clock;
  if (c.fixed_move_time > 40) c.fixed_move_time = 40;
  if (c.fixed_move_time == 0) {
    if (c.time_left_white > 100) c.time_left_white = 100;
    if (c.time_left_black > 100) c.time_left_black = 100;
  }
  // The interface's reports replace the clocks when the search budgets.
  if (s.reports.own > 100) s.reports.own = 100;
  if (s.reports.opponent > 100) s.reports.opponent = 100;
}


}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  init_tables();
  std::string pattern = (std::filesystem::temp_directory_path() / "kelo-fuzz-XXXXXX").string();
  if (!mkdtemp(pattern.data())) return 1;
  scratch = pattern;
  std::filesystem::current_path(scratch);
  std::atexit(remove_scratch);
  // A small collection for "makebook games.pgn".
  if (std::FILE* f = std::fopen("games.pgn", "w")) {
    std::fputs("[Event \"x\"]\n1. e4 e5 2. Nf3 Nc6 3. Bb5 a6 1-0\n1. d4 d5 2. c4 * \n", f);
    std::fclose(f);
  }
  config.max_depth_search = 2;
  config.book_slots = 61;
  if (!std::freopen("/dev/null", "w", stdout)) return 1;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Each input starts without the settings an earlier one left. A UCI
  // search still running at the end is stopped with the session.
  auto session = std::make_unique<Session>();
  Session& s = *session;
  s.iteration_limit = config.max_depth_search;
  engine_set_table(s.engine, 1 << 10);
  size_t at = 0;
  for (int n = 0; n < MAX_LINES && at < size; ++n) {
    char line[LINE_BYTES] = {};
    size_t end = at;
    while (end < size && data[end] != '\n') ++end;
    size_t length = end - at < LINE_BYTES - 1 ? end - at : LINE_BYTES - 1;
    std::memcpy(line, data + at, length);
    size_t text = std::strlen(line);
    if (text > 0 && line[text - 1] == '\r') line[text - 1] = 0;
    at = end + 1;
    if (!admit(line)) continue;
    if (may_think(line)) {
      cut_clock(s);
      Watchdog watchdog(500);
      interpret_command(s, line);
    } else {
      interpret_command(s, line);
    }
  }
  return 0;
}
