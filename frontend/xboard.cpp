#include "frontend/xboard.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "frontend/book_play.h"
#include "frontend/config.h"
#include "frontend/messages.h"
#include "frontend/settings.h"
#include "frontend/strength.h"
#include "position/clock.h"
#include "position/game_end.h"
#include "position/makemove.h"
#include "position/movetext.h"
#include "position/text.h"
#include "search/tt.h"

namespace {

constexpr size_t LINE_WORD = 256;

// What the engine takes beside the table, in megabytes (resident, measured
// after a search with the smallest table): code, the attack tables, the KPK
// bitbase, the input ring and the stacks.
constexpr int64_t ENGINE_MEMORY_MB = 8;

// Seconds of a "M:S" or plain-number time field. Counts of seconds or
// minutes are cut to the 32-bit range (68 years): the clock then computes in
// milliseconds without overflow.
int64_t minutes_seconds(const char* field) {
  int64_t m = clamp32(read_decimal(field));
  const char* colon = std::strchr(field, ':');
  int64_t s = colon ? clamp32(read_decimal(colon + 1)) : 0;
  return clamp32(m * 60 + s);
}

void write_message_line(const std::string& text) {
  const std::string line = text + "\n";
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
}

// A non-null context asks for the protocol's mate scores.
void write_thinking_line(void* context, const ThinkingLine& line) {
  const std::string text = xboard_thinking_text(line, context != nullptr);
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

// The nodes of the search "hint" runs when no search has named a move.
constexpr uint64_t HINT_NODES = 20000;
constexpr int32_t HINT_TABLE_BUCKETS = BUCKETS_PER_MB;

// The modern style shows mates as the protocol asks.
const SearchReport& report_of(const Session& s) {
  return s.settings.number[SETTING_STYLE] == STYLE_MODERN ? XBOARD_MATES_REPORT : XBOARD_REPORT;
}

bool exclusions_apply(const Session& s) {
  return s.exclusion_ply == int32_t(s.game.history.count) && s.exclusion_key == s.game.hash_key;
}

SearchLimits iteration_limits(Session& s) {
  SearchLimits limits;
  limits.iteration_limit = s.iteration_limit;
  limits.depth_limit = s.depth_limit;
  limits.multi_pv = int32_t(s.settings.number[SETTING_MULTI_PV]);
  limits.progress = &s.progress;
  // Every move excluded: the search has none, as in a mate.
  if (exclusions_apply(s))
    limits.root_moves = s.included.empty() ? std::vector<Move>{0} : s.included;
  return limits;
}

void remember_hint(Session& s, Move move) {
  s.hint_move = move;
  s.hint_key = s.game.hash_key;
  s.hint_ply = int32_t(s.game.history.count);
}

void keep_ponder_result(void* context, const SearchResult& result) {
  static_cast<Session*>(context)->ponder_result = result;
}

// Searches, on the engine's thread and without a time limit, the position
// after the reply the engine expects. Its result is held until the reply
// comes or another line stops it. Nothing to ponder without a legal reply or
// when the reply ends the game.
void start_pondering(Session& s, Move reply) {
  if (!reply) return;
  const std::string text = xboard_move_text(s.game, reply);
  if (!play_move_text(s.game, text.c_str())) return;
  if (!game_result(s.game)) {
    stop_search.store(0);
    engine_start(s.engine, s.game, iteration_limits(s), report_of(s), true, keep_ponder_result,
                 &s);
    s.pondering = true;
    s.ponder_move = text;
  }
  unmake_move(s.game);
}

// The budget of the side to move's clock under the session's settings.
TimeBudget budget_of(const Session& s) {
  return plan_move_time(xboard_move_clock(s.clock, s.game.side_to_move, move_overhead(s.settings)),
                        time_rule(s.settings));
}

// Plays the search's move and writes it, charges the mover's clock from t0
// on (or with its nodes, on a clock of nodes), and ponders on the expected
// reply when asked to.
void play_result(Session& s, const SearchResult& result, int64_t t0) {
  Position& pos = s.game;
  // A position set up without a king can leave no move: then nothing is played.
  if (result.best) {
    make_move(pos, result.best);
    write_engine_move(pos, result.best);
  }
  remember_hint(s, result.ponder);
  stop_search.store(0);
  const int64_t elapsed = s.node_rate > 0 ? int64_t(result.nodes * 1000 / uint64_t(s.node_rate))
                                          : now_ms() - t0;
  charge_clock(s.clock, pos.side_to_move, elapsed);
  s.reports = ClockReports{};  // the next move waits for fresh reports
  // A clock of nodes has no time of the opponent's to ponder on.
  if (s.ponder && result.best && s.node_rate == 0) start_pondering(s, result.ponder);
}

}  // namespace

const SearchReport XBOARD_REPORT{write_thinking_line, nullptr};
namespace {
bool protocol_mates_on = true;
}  // namespace
const SearchReport XBOARD_MATES_REPORT{write_thinking_line, &protocol_mates_on};

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
  // A plain increment counts seconds, a fraction of them too; "A:B" reads
  // as minutes and seconds.
  int64_t a = clamp32(read_decimal(words[2]));
  const char* colon = std::strchr(words[2], ':');
  int64_t b = colon ? clamp32(read_decimal(colon + 1)) : 0;
  int64_t inc_seconds = clamp32(b == 0 ? a : a * 60 + b);
  const int64_t inc_fraction_ms = colon ? 0 : seconds_as_ms(words[2]) % 1000;

  clock.base_time = base_seconds * 1000;
  clock.time_left_white = clock.time_left_black = clock.base_time;
  clock.moves_left_white = clock.moves_left_black = clock.moves_per_period = period;
  clock.increment = inc_seconds * 1000 + inc_fraction_ms;
  clock.fixed_move_time = 0;
}

void apply_clock_reports(XboardClock& clock, const ClockReports& reports, int side_to_move) {
  if (clock.fixed_move_time != 0) return;
  const bool white = side_to_move == 1;
  if (reports.has_own) (white ? clock.time_left_white : clock.time_left_black) = reports.own;
  if (reports.has_opponent)
    (white ? clock.time_left_black : clock.time_left_white) = reports.opponent;
}

int64_t seconds_as_ms(const char* text) {
  const char* point = text;
  while (*point >= '0' && *point <= '9') ++point;
  const bool fraction = *point == '.' && point[1] >= '0' && point[1] <= '9';
  if (point == text && !fraction) return 0;
  int64_t ms = int64_t{clamp32(read_decimal(text))} * 1000;
  if (fraction) {
    int64_t scale = 100;
    for (const char* d = point + 1; *d >= '0' && *d <= '9' && scale > 0; ++d, scale /= 10)
      ms += (*d - '0') * scale;
  }
  return ms;
}

MoveClock xboard_move_clock(const XboardClock& clock, int side_to_move, int64_t overhead) {
  MoveClock c;
  c.overhead = overhead;
  if (clock.fixed_move_time != 0) {
    c.fixed_ms = clock.fixed_move_time;
    c.keep_half = true;
    return c;
  }
  const bool white = side_to_move == 1;
  c.time_left = white ? clock.time_left_white : clock.time_left_black;
  c.moves_to_go = white ? clock.moves_left_white : clock.moves_left_black;
  c.moves_known = !clock.no_move_count;
  c.increment = clock.increment;
  return c;
}

int64_t move_budget(const XboardClock& clock, int side_to_move, bool full_clock) {
  return plan_move_time(xboard_move_clock(clock, side_to_move),
                        full_clock ? TimeRule::FULL : TimeRule::CLASSIC)
      .hard_ms;
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

std::string xboard_thinking_text(const ThinkingLine& line, bool protocol_mates) {
  char buffer[128];
  int32_t score = line.score;
  if (protocol_mates && score > MATE_BOUND)
    score = 100000 + (SCORE_INFINITE - score + 1) / 2;
  else if (protocol_mates && score < -MATE_BOUND)
    score = -100000 - (SCORE_INFINITE + score) / 2;
  std::snprintf(buffer, sizeof buffer, "%i %i %lli %lli ", line.depth, score,
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
  const TimeBudget budget = budget_of(s);
  if (game_over(pos)) {
    pos.side_to_move = pos.side_to_move == 1 ? 0 : 1;
    stop_search.store(0);
    charge_clock(s.clock, pos.side_to_move, now_ms() - t0);
    s.reports = ClockReports{};
    return;
  }
  std::string problem;
  // The book and the tablebases know nothing of excluded moves.
  const bool restricted = exclusions_apply(s);
  const BookChoice book = restricted ? BookChoice{} : book_move(s, problem);
  if (!problem.empty()) write_message_line("tellusererror " + problem);
  if (book.move) {
    // Played at once; a thinking line tells the interface where it came from.
    write_message_line("0 0 0 0 " + book_move_text(book));
    SearchResult result;
    result.best = book.move;
    play_result(s, result, t0);
    return;
  }
  SearchLimits limits = iteration_limits(s);
  const Strength level = strength_setting(s.settings);
  if (s.node_rate > 0) {
    // The budget in nodes of the engine's clock; a fixed time a move is all
    // of its nodes, with no margin for the way to the interface.
    const int64_t ms = s.clock.fixed_move_time != 0 ? s.clock.fixed_move_time : budget.soft_ms;
    limits.node_limit = strength_node_limit(Strength{s.node_rate}, ms);
  } else {
    // A weaker level searches the nodes its rate gives the budget, within
    // the budget all the same.
    limits.timed = true;
    limits.budget_ms = budget.hard_ms;
    limits.soft_ms = budget.soft_ms;
    limit_strength(level, limits, budget.soft_ms);
  }
  TablebaseRoot table;
  if (!restricted && s.engine.knowledge.tablebases && tablebase_root(pos, table)) {
    if (table.score != 0 || table.moves.size() == 1) {
      // The tables' best move at once, with their score.
      const std::vector<Move> variation{table.moves[0]};
      const SearchReport& report = report_of(s);
      report.line(report.context, ThinkingLine{1, table.score, 0, 0, 0, variation, 0, 1, 0, 0});
      SearchResult result;
      result.best = table.moves[0];
      play_result(s, result, t0);
      return;
    }
    limits.root_moves = table.moves;  // a draw: the search picks among the drawing moves
  }
  const bool lesser = draw_lesser_move(level, s.random);
  SearchResult result = engine_search(s.engine, pos, limits, report_of(s));
  weaken_choice(result, lesser);
  play_result(s, result, t0);
}

bool ponder_hit(Session& s, const char* line) {
  if (!s.pondering || !(is_coordinate_move(line) || is_castling_text(line))) return false;
  const size_t n = s.ponder_move.size();
  if (s.ponder_move.compare(0, n, line, n) != 0 || (line[n] != 0 && line[n] != ' ')) return false;
  const int64_t t0 = now_ms();
  read_user_move(s.game, line);
  Position& pos = s.game;
  apply_clock_reports(s.clock, s.reports, pos.side_to_move);
  engine_ponderhit(s.engine, true, budget_of(s), true);
  engine_wait(s.engine);
  s.pondering = false;
  play_result(s, s.ponder_result, t0);
  return true;
}

void stop_pondering(Session& s) {
  if (!s.pondering) return;
  engine_stop(s.engine);
  engine_wait(s.engine);
  stop_search.store(0);
  s.pondering = false;
}

bool analyse(Session& s) {
  SearchLimits limits = iteration_limits(s);
  limits.search_single_move = true;
  const SearchResult result = engine_search(s.engine, s.game, limits, report_of(s));
  remember_hint(s, result.best);
  return result.completed;
}

void change_exclusions(Session& s, const char* line) {
  const bool exclude = std::strncmp(line, "exclude", 7) == 0;
  const char* what = line + 8;
  Position& pos = s.game;
  if (!exclusions_apply(s)) {
    s.included = legal_move_list(pos);
    s.exclusion_key = pos.hash_key;
    s.exclusion_ply = int32_t(pos.history.count);
  }
  if (std::strcmp(what, "all") == 0) {
    s.included = exclude ? std::vector<Move>{} : legal_move_list(pos);
    return;
  }
  const Move m = legal_move_named(pos, what);
  if (!m) return;
  std::vector<Move>& in = s.included;
  in.erase(std::remove(in.begin(), in.end(), m), in.end());
  if (!exclude) in.push_back(m);
}

void give_hint(Session& s) {
  Position& pos = s.game;
  Move m = 0;
  if (s.hint_move && s.hint_key == pos.hash_key && s.hint_ply == int32_t(pos.history.count))
    m = legal_move_named(pos, move_text(s.hint_move).c_str());
  if (!m) {
    // No search named a move here: a short one does, on an engine of its
    // own, so that the game's table, killers and history counters are left
    // as they were and later searches go as they would have.
    SearchLimits limits = iteration_limits(s);
    limits.multi_pv = 1;
    limits.progress = nullptr;
    limits.node_limit = HINT_NODES;
    auto aside = std::make_unique<Engine>();
    engine_set_table(*aside, HINT_TABLE_BUCKETS);
    engine_set_style(*aside, s.engine.style);
    aside->knowledge = s.engine.knowledge;
    stop_search.store(0);
    m = engine_search(*aside, pos, limits, SearchReport{}).best;
    remember_hint(s, m);
  }
  if (m) write_message_line("Hint: " + xboard_move_text(pos, m));
}

void write_status(const Session& s) {
  const SearchProgress& p = s.progress;
  const uint64_t live = s.engine.searching.node_count;
  const uint64_t shown = p.nodes.load();
  const int32_t total = p.total.load();
  char buffer[128];
  std::snprintf(buffer, sizeof buffer, "stat01: %lli %llu %i %i %i ",
                (long long)((now_ms() - p.start_ms.load()) / 10),
                (unsigned long long)(live > shown ? live : shown), p.depth.load(),
                total - p.searched.load(), total);
  const Move m = p.move.load();
  write_message_line(buffer + (m ? move_text(m) : std::string()));
}

int32_t memory_buckets(int64_t megabytes) {
  const int64_t bytes = (megabytes - ENGINE_MEMORY_MB) * (int64_t{1} << 20);
  const int64_t buckets = bytes / int64_t(sizeof(TtBucket));
  return clamp32(buckets, 3, int64_t{MAX_HASH_MB} * BUCKETS_PER_MB);
}

void set_memory(Session& s, int64_t megabytes) {
  const int32_t buckets = memory_buckets(megabytes);
  s.settings.number[SETTING_HASH] =
      clamp32(int64_t(buckets) / BUCKETS_PER_MB, 1, SETTINGS[SETTING_HASH].max);
  if (uint32_t(prime_bucket_count(buckets)) == s.engine.table.bucket_count) return;
  engine_set_table(s.engine, buckets);
}
