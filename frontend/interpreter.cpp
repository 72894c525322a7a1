#include "frontend/interpreter.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "book/make_book.h"
#include "egdb/kpk.h"
#include "eval/pawn_report.h"
#include "frontend/command_queue.h"
#include "frontend/config.h"
#include "frontend/messages.h"
#include "position/fen.h"
#include "position/makemove.h"
#include "position/movetext.h"
#include "position/perft.h"
#include "position/position.h"
#include "position/text.h"
#include "search/think.h"

namespace {

constexpr size_t LINE_WORD = 256;

bool is(const char* line, const char* word) { return std::strcmp(line, word) == 0; }
bool starts(const char* line, const char* prefix) {
  return std::strncmp(line, prefix, std::strlen(prefix)) == 0;
}

// Seconds of a "M:S" or plain-number time field. Counts of seconds or
// minutes are cut to the 32-bit range (68 years): the clock then computes in
// milliseconds without overflow.
int64_t minutes_seconds(const char* field) {
  int64_t m = clamp32(read_decimal(field));
  const char* colon = std::strchr(field, ':');
  int64_t s = colon ? clamp32(read_decimal(colon + 1)) : 0;
  return clamp32(m * 60 + s);
}

// The clocks of a new game or set-up start afresh from the time control in
// force, which the assignment would otherwise take from the fresh position.
void set_position(Position& pos, const char* fen) {
  const int32_t period = pos.moves_per_period;
  const int64_t base = pos.base_time, inc = pos.increment;
  Position fresh(fen);
  report_setup_problems(fresh);
  pos = fresh;
  pos.moves_per_period = pos.moves_left_white = pos.moves_left_black = period;
  pos.base_time = pos.time_left_white = pos.time_left_black = base;
  pos.increment = inc;
}

// A count that does not begin with a digit reads as 0: "st -5" is no time.
int64_t leading_count(const char* text) {
  return *text >= '0' && *text <= '9' ? clamp32(read_decimal(text)) : 0;
}

// A clock report counts hundredths of a second; a negative one is a clock
// already run out.
int64_t report_ms(const char* text) { return int64_t{clamp32(read_decimal(text))} * 10; }

// Analysis mode ends in force mode.
void leave_analysis(Position& pos) {
  analysis_mode.store(false);
  analysis_due = false;
  pos.engine_side = NO_SIDE;
}

}  // namespace

void set_level(Position& pos, const char* line) {
  // The words after "level": moves per period, base time, increment.
  char words[3][LINE_WORD] = {};
  int n = 0;
  for (const char* c = line; *c && n < 4;) {
    while (*c == ' ') ++c;
    if (!*c) break;
    const char* start = c;
    while (*c && *c != ' ') ++c;
    if (n > 0) {
      size_t len = size_t(c - start) < LINE_WORD - 1 ? size_t(c - start) : LINE_WORD - 1;
      std::memcpy(words[n - 1], start, len);
      words[n - 1][len] = 0;
    }
    ++n;
  }
  // A negative count of moves is no period at all: the whole game is one.
  int64_t mps = read_decimal(words[0]);
  if (mps < 0) mps = 0;
  int32_t period = mps == 0 ? 30 : clamp32(mps);
  pos.no_move_count = mps == 0 ? 1 : 0;
  int64_t base_seconds = minutes_seconds(words[1]);
  // A plain increment counts seconds; "A:B" reads as minutes and seconds.
  int64_t a = clamp32(read_decimal(words[2]));
  const char* colon = std::strchr(words[2], ':');
  int64_t b = colon ? clamp32(read_decimal(colon + 1)) : 0;
  int64_t inc_seconds = clamp32(b == 0 ? a : a * 60 + b);

  pos.base_time = base_seconds * 1000;
  pos.time_left_white = pos.time_left_black = pos.base_time;
  pos.moves_left_white = pos.moves_left_black = pos.moves_per_period = period;
  pos.increment = inc_seconds * 1000;
  pos.fixed_move_time = 0;
}

void interpret_command(Position& pos, char* line) {
  if (is(line, "xboard")) return;
  if (is(line, "protover 2")) {
    std::printf(
        "feature ping=1 setboard=1 playother=1 sigint=0 sigterm=0 myname=\"KELO 0.56Z\" "
        "colors=0 done=1\n");
    std::fflush(stdout);
    return;
  }
  if (starts(line, "makebook")) {
    // The rest of the line, blanks and all, names the PGN file.
    delete_first(line, "makebook ");
    make_book(line, BookSettings{.slots = config.book_slots, .max_depth = config.max_depth_book});
    return;
  }
  if (starts(line, "genkpk")) {
    generate_kpk_bitbase();
    return;
  }
  if (starts(line, "ping")) {
    line[1] = 'o';
    std::printf("%s\n", line);
    std::fflush(stdout);
    return;
  }
  if (starts(line, "level")) {
    set_level(pos, line);
    return;
  }
  if (starts(line, "st ")) {
    pos.fixed_move_time = clamp32(leading_count(line + 3) * 1000);
    return;
  }
  if (starts(line, "sd ")) {
    // Engine testers' fixed-depth games; 0 or less lifts the limit.
    depth_limit = clamp32(read_decimal(line + 3));
    if (depth_limit < 0) depth_limit = 0;
    return;
  }
  if (starts(line, "time ")) {
    clock_reports.own = report_ms(line + 5);
    clock_reports.has_own = true;
    return;
  }
  if (starts(line, "otim ")) {
    clock_reports.opponent = report_ms(line + 5);
    clock_reports.has_opponent = true;
    return;
  }
  if (is(line, "quit")) {
    std::fflush(stdout);
    std::_Exit(0);
  }
  if (is(line, "new")) {
    set_position(pos, START_FEN);
    pos.side_to_move = 1;
    pos.engine_side = 0;
    depth_limit = 0;
    if (analysis_mode.load()) analysis_due = true;
    return;
  }
  if (starts(line, "setboard ")) {
    set_position(pos, line + 9);
    if (analysis_mode.load()) analysis_due = true;
    return;
  }
  if (is(line, "force")) {
    pos.engine_side = NO_SIDE;
    return;
  }
  if (is(line, "go")) {
    if (analysis_mode.load()) leave_analysis(pos);
    pos.engine_side = pos.side_to_move;
    think(pos);
    return;
  }
  if (starts(line, "perft ")) {
    int64_t depth = read_decimal(line + 6);
    perft_command(pos, depth < 0 ? 0 : clamp32(depth));
    return;
  }
  if (is(line, "playother")) {
    pos.engine_side = pos.side_to_move != 1 ? 1 : 0;
    return;
  }
  if (is(line, "display")) {
    display_board(pos);
    return;
  }
  if (is(line, "undo")) {
    pos.engine_side = NO_SIDE;
    // Only a move of the game can be taken back.
    if (pos.history.count > 0) unmake_move(pos);
    if (analysis_mode.load()) analysis_due = true;
    return;
  }
  if (is(line, "peoneval")) {
    pawn_report(pos);
    return;
  }
  if (is(line, "analyze")) {
    // The command loop runs the analysis once no line is pending.
    analysis_mode.store(true);
    analysis_due = true;
    pos.engine_side = NO_SIDE;
    return;
  }
  if (is(line, "exit")) {
    if (analysis_mode.load()) leave_analysis(pos);
    return;
  }
  if (is_coordinate_move(line)) {
    read_user_move(pos, line);
    if (analysis_mode.load()) {
      analysis_due = true;
      return;
    }
    // Also after an illegal move: the engine may be the side to move.
    if (pos.side_to_move == pos.engine_side) think(pos);
    return;
  }
  if (starts(line, "result ")) {
    pos.engine_side = NO_SIDE;
    return;
  }
}
