#include "frontend/xboard_commands.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "book/make_book.h"
#include "egdb/kpk.h"
#include "eval/pawn_report.h"
#include "frontend/config.h"
#include "frontend/messages.h"
#include "frontend/session_ops.h"
#include "frontend/settings.h"
#include "position/text.h"
#include "position/fen.h"
#include "position/makemove.h"
#include "position/movetext.h"
#include "frontend/xboard.h"

namespace {

bool is(const char* line, const char* word) { return std::strcmp(line, word) == 0; }
bool starts(const char* line, const char* prefix) {
  return std::strncmp(line, prefix, std::strlen(prefix)) == 0;
}

// A count that does not begin with a digit reads as 0: "st -5" is no time.
int64_t leading_count(const char* text) {
  return *text >= '0' && *text <= '9' ? clamp32(read_decimal(text)) : 0;
}

// A clock report counts hundredths of a second; a negative one is a clock
// already run out.
int64_t report_ms(const char* text) { return int64_t{clamp32(read_decimal(text))} * 10; }

// Analysis mode ends in force mode.
void leave_analysis(Session& s) {
  s.analysis_mode.store(false);
  s.analysis_due = false;
  s.engine_side = NO_SIDE;
}

}  // namespace

void leave_xboard(Session& s) {
  stop_pondering(s);
  if (s.analysis_mode.load()) leave_analysis(s);
}

void xboard_command(Session& s, char* line) {
  // A ponder search goes on through the clock reports and "ping"; the reply
  // it expects turns it into the real search; any other line stops it first.
  if (s.pondering) {
    if (ponder_hit(s, line)) return;
    if (!starts(line, "time ") && !starts(line, "otim ") && !starts(line, "ping"))
      stop_pondering(s);
  }
  Position& pos = s.game;
  if (is(line, "xboard")) return;
  if (is(line, "protover 2")) {
    // The settings and the variants first: the last line ends in done=1.
    std::string features = "feature memory=1 smp=1 nps=1 exclude=1 variants=\"normal,fischerandom\"\n";
    for (int id = 0; id < SETTING_COUNT; ++id)
      if (SETTINGS[id].in_xboard) features += xboard_option_feature(id, s.settings) + "\n";
    std::fwrite(features.data(), 1, features.size(), stdout);
    std::printf(
        "feature ping=1 setboard=1 playother=1 sigint=0 sigterm=0 myname=\"KELO 0.56Z\" "
        "colors=0 done=1\n");
    std::fflush(stdout);
    return;
  }
  if (is(line, "hard")) {
    s.ponder = true;
    return;
  }
  if (is(line, "easy")) {
    s.ponder = false;  // a ponder search was stopped above
    return;
  }
  if (starts(line, "cores ")) {
    change_setting(s, SETTING_THREADS, std::to_string(leading_count(line + 6)));
    return;
  }
  if (starts(line, "memory ")) {
    set_memory(s, leading_count(line + 7));
    return;
  }
  if (starts(line, "option ")) {
    // "option NAME=VALUE", or "option NAME" for a button.
    const std::string text = line + 7;
    const size_t eq = text.find('=');
    const int id = find_setting(text.substr(0, eq));
    if (id < 0 || !SETTINGS[id].in_xboard) return;
    const std::string problem =
        change_setting(s, id, eq == std::string::npos ? "" : text.substr(eq + 1));
    if (!problem.empty()) std::printf("tellusererror %s\n", problem.c_str());
    std::fflush(stdout);
    return;
  }
  if (is(line, "remove")) {
    // The last move of each side; engine_side stays.
    for (int i = 0; i < 2 && pos.history.count > 0; ++i) unmake_move(pos);
    reset_exclusions(s);
    if (s.analysis_mode.load()) s.analysis_due = true;
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
    set_level(s.clock, line);
    return;
  }
  if (starts(line, "st ")) {
    s.clock.fixed_move_time = clamp32(seconds_as_ms(line + 3));
    return;
  }
  if (starts(line, "nps ")) {
    s.node_rate = std::max<int64_t>(read_decimal(line + 4), 0);
    return;
  }
  if (starts(line, "sd ")) {
    // Engine testers' fixed-depth games; 0 or less lifts the limit.
    s.depth_limit = clamp32(read_decimal(line + 3));
    if (s.depth_limit < 0) s.depth_limit = 0;
    return;
  }
  if (starts(line, "time ")) {
    s.reports.own = report_ms(line + 5);
    s.reports.has_own = true;
    return;
  }
  if (starts(line, "otim ")) {
    s.reports.opponent = report_ms(line + 5);
    s.reports.has_opponent = true;
    return;
  }
  if (is(line, "quit")) {
    std::fflush(stdout);
    std::_Exit(0);
  }
  if (is(line, "new")) {
    s.fischerandom = false;
    set_position(s, START_FEN);
    report_setup_problems(s.game);
    pos.side_to_move = 1;
    s.engine_side = 0;
    s.depth_limit = 0;
    s.node_rate = 0;
    if (s.analysis_mode.load()) s.analysis_due = true;
    return;
  }
  // Comes after "new": the start position stands, now under the variant's
  // castling rules, until "setboard" gives the game's own.
  if (is(line, "variant fischerandom") || is(line, "variant normal")) {
    s.fischerandom = line[8] == 'f';
    s.game = Position(START_FEN, s.fischerandom);
    return;
  }
  if (starts(line, "setboard ")) {
    set_position(s, line + 9);
    report_setup_problems(s.game);
    if (s.analysis_mode.load()) s.analysis_due = true;
    return;
  }
  if (is(line, "force")) {
    s.engine_side = NO_SIDE;
    return;
  }
  if (is(line, "go")) {
    if (s.analysis_mode.load()) leave_analysis(s);
    s.engine_side = pos.side_to_move;
    think(s);
    return;
  }
  if (starts(line, "perft ")) {
    int64_t depth = read_decimal(line + 6);
    write_perft(pos, depth < 0 ? 0 : clamp32(depth), s.engine.threads);
    return;
  }
  if (starts(line, "divide ")) {
    int64_t depth = read_decimal(line + 7);
    write_divide(pos, depth < 0 ? 0 : clamp32(depth), s.engine.threads);
    return;
  }
  if (is(line, "playother")) {
    s.engine_side = pos.side_to_move != 1 ? 1 : 0;
    return;
  }
  if (is(line, "display")) {
    display_board(pos);
    return;
  }
  if (is(line, "undo")) {
    s.engine_side = NO_SIDE;
    // Only a move of the game can be taken back.
    if (pos.history.count > 0) unmake_move(pos);
    reset_exclusions(s);
    if (s.analysis_mode.load()) s.analysis_due = true;
    return;
  }
  if (is(line, "peoneval")) {
    pawn_report(pos);
    return;
  }
  if (is(line, "analyze")) {
    // The command loop runs the analysis once no line is pending.
    s.analysis_mode.store(true);
    s.analysis_due = true;
    s.engine_side = NO_SIDE;
    return;
  }
  if (starts(line, "exclude ") || starts(line, "include ")) {
    // An analysis starts again with the new set.
    change_exclusions(s, line);
    if (s.analysis_mode.load()) s.analysis_due = true;
    return;
  }
  if (is(line, "hint")) {
    give_hint(s);
    return;
  }
  if (is(line, "exit")) {
    if (s.analysis_mode.load()) leave_analysis(s);
    return;
  }
  if (is_coordinate_move(line) || (s.fischerandom && is_castling_text(line))) {
    read_user_move(pos, line);
    if (s.analysis_mode.load()) {
      s.analysis_due = true;
      return;
    }
    // Also after an illegal move: the engine may be the side to move.
    if (pos.side_to_move == s.engine_side) think(s);
    return;
  }
  if (starts(line, "result ")) {
    s.engine_side = NO_SIDE;
    return;
  }
}
