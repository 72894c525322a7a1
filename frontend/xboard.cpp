#include "frontend/xboard.h"

#include <cstdio>
#include <cstring>

#include "frontend/config.h"
#include "frontend/messages.h"
#include "frontend/messages.h"
#include "position/text.h"
#include "position/movetext.h"
#include "position/clock.h"
#include "position/makemove.h"

namespace {

constexpr size_t LINE_WORD = 256;

// Seconds of a "M:S" or plain-number time field. Counts of seconds or
// minutes are cut to the 32-bit range (68 years): the clock then computes in
// milliseconds without overflow.
int64_t minutes_seconds(const char* field) {
  int64_t m = clamp32(read_decimal(field));
  const char* colon = std::strchr(field, ':');
  int64_t s = colon ? clamp32(read_decimal(colon + 1)) : 0;
  return clamp32(m * 60 + s);
}

void write_thinking_line(void*, const ThinkingLine& line) {
  const std::string text = xboard_thinking_text(line);
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

SearchLimits iteration_limits(const Session& s) {
  SearchLimits limits;
  limits.iteration_limit = s.iteration_limit;
  limits.depth_limit = s.depth_limit;
  return limits;
}

}  // namespace

const SearchReport XBOARD_REPORT{write_thinking_line, nullptr};

void set_level(XboardClock& clock, const char* line) {
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
  clock.no_move_count = mps == 0 ? 1 : 0;
  int64_t base_seconds = minutes_seconds(words[1]);
  // A plain increment counts seconds; "A:B" reads as minutes and seconds.
  int64_t a = clamp32(read_decimal(words[2]));
  const char* colon = std::strchr(words[2], ':');
  int64_t b = colon ? clamp32(read_decimal(colon + 1)) : 0;
  int64_t inc_seconds = clamp32(b == 0 ? a : a * 60 + b);

  clock.base_time = base_seconds * 1000;
  clock.time_left_white = clock.time_left_black = clock.base_time;
  clock.moves_left_white = clock.moves_left_black = clock.moves_per_period = period;
  clock.increment = inc_seconds * 1000;
  clock.fixed_move_time = 0;
}

void apply_clock_reports(XboardClock& clock, const ClockReports& reports, int side_to_move) {
  if (clock.fixed_move_time != 0) return;
  const bool white = side_to_move == 1;
  if (reports.has_own) (white ? clock.time_left_white : clock.time_left_black) = reports.own;
  if (reports.has_opponent)
    (white ? clock.time_left_black : clock.time_left_white) = reports.opponent;
}

int64_t move_budget(const XboardClock& clock, int side_to_move) {
  if (clock.fixed_move_time != 0) return int64_t(clock.fixed_move_time) - 30;
  if (side_to_move == 1) return clock.time_left_white / (2 * int64_t(clock.moves_left_white) + 1);
  return clock.time_left_black / (2 * int64_t(clock.moves_left_black) + 1);
}

void charge_clock(XboardClock& clock, int side_to_move_now, int64_t elapsed) {
  if (clock.fixed_move_time != 0) return;
  const bool white_moved = side_to_move_now == 0;
  int64_t& time_left = white_moved ? clock.time_left_white : clock.time_left_black;
  int32_t& moves_left = white_moved ? clock.moves_left_white : clock.moves_left_black;
  time_left -= elapsed;
  moves_left += clock.no_move_count - 1;
  if (moves_left != 0) {
    time_left += clock.increment;
  } else {
    // The period is over: a new one starts, without the increment.
    time_left += clock.base_time;
    moves_left = clock.moves_per_period;
  }
}

std::string xboard_thinking_text(const ThinkingLine& line) {
  char buffer[128];
  std::snprintf(buffer, sizeof buffer, "%i %i %lli %lli ", line.depth, line.score,
                (long long)(line.elapsed_ms / 10), (long long)line.nodes);
  std::string text = buffer;
  for (Move m : line.variation) text += move_text(m) + ' ';
  const double nodes = double(line.nodes);
  // With no nodes or no time yet the ratios have no value: show zeros.
  const double hit_rate = nodes > 0 ? double(line.tt_hits * 100) / nodes : 0.0;
  const double nps =
      line.elapsed_ms > 0 ? double(line.nodes * 1000) / double(line.elapsed_ms) : 0.0;
  std::snprintf(buffer, sizeof buffer, "[%4.2f%% NPS=%1.0f]\n", hit_rate, nps);
  return text + buffer;
}

void think(Session& s) {
  Position& pos = s.game;
  stop_search.store(0);
  const int64_t t0 = now_ms();
  apply_clock_reports(s.clock, s.reports, pos.side_to_move);
  const int64_t budget = move_budget(s.clock, pos.side_to_move);
  if (game_over(pos)) {
    pos.side_to_move = pos.side_to_move == 1 ? 0 : 1;
  } else {
    SearchLimits limits = iteration_limits(s);
    limits.timed = true;
    limits.budget_ms = budget;
    const SearchResult result = engine_search(s.engine, pos, limits, XBOARD_REPORT);
    // A position set up without a king can leave no move: then nothing is played.
    if (result.best) {
      make_move(pos, result.best);
      write_engine_move(result.best);
    }
  }
  stop_search.store(0);
  charge_clock(s.clock, pos.side_to_move, now_ms() - t0);
  s.reports = ClockReports{};  // the next move waits for fresh reports
}

bool analyse(Session& s) {
  SearchLimits limits = iteration_limits(s);
  limits.search_single_move = true;
  return engine_search(s.engine, s.game, limits, XBOARD_REPORT).completed;
}
