#include "search/think.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <system_error>
#include <thread>

#include "frontend/config.h"
#include "position/clock.h"
#include "position/game_end.h"
#include "position/makemove.h"
#include "position/movegen.h"
#include "position/movetext.h"
#include "search/ordering.h"
#include "search/search.h"
#include "search/tt.h"
#include "search/validation.h"

int64_t search_deadline = 0;
uint64_t last_search_nodes = 0;
ClockReports clock_reports;
int32_t depth_limit = 0;

namespace {

// Each search has its own number; its timer stops only that search.
std::atomic<uint64_t> search_generation{0};
uint64_t timer_generation = 0;

std::string pv_text;

void collect_pv(Position& pos, int n) {
  if (n == 0) return;
  int32_t score = 0;
  uint32_t move = 0;
  tt_probe(pos, pos.hash_key, 1, 1, score, move);
  if (!is_valid_move(pos, move)) return;
  pv_text += move_text(move);
  make_move(pos, move);
  pv_text += ' ';
  collect_pv(pos, n - 1);
  unmake_move(pos);
}

void thinking_line(Position& pos, int iteration, int32_t score, int64_t start, Move best) {
  const int64_t elapsed = now_ms() - start;
  std::printf("%i %i %lli %lli ", iteration + 1, score, (long long)(elapsed / 10),
              (long long)pos.node_count);
  print_variation(pos, best, iteration + 1);
  const double nodes = double(pos.node_count);
  // With no nodes or no time yet the ratios have no value: show zeros.
  const double hit_rate = nodes > 0 ? double(pos.tt_hits * 100) / nodes : 0.0;
  const double nps = elapsed > 0 ? double(pos.node_count * 1000) / double(elapsed) : 0.0;
  std::printf("[%4.2f%% NPS=%1.0f]\n", hit_rate, nps);
  std::fflush(stdout);
}

void play(Position& pos, Move m) {
  make_move(pos, m);
  std::printf("move %s\n", move_text(m).c_str());
  std::fflush(stdout);
}

void charge_clock(Position& pos, int64_t elapsed) {
  if (pos.fixed_move_time != 0) return;
  const bool white_moved = pos.side_to_move == 0;
  int64_t& time_left = white_moved ? pos.time_left_white : pos.time_left_black;
  int32_t& moves_left = white_moved ? pos.moves_left_white : pos.moves_left_black;
  time_left -= elapsed;
  moves_left += pos.no_move_count - 1;
  if (moves_left != 0) {
    time_left += pos.increment;
  } else {
    // The period is over: a new one starts, without the increment.
    time_left += pos.base_time;
    moves_left = pos.moves_per_period;
  }
}

// Whether the iteration may run under the configuration's limit and "sd".
bool iteration_allowed(int iteration) {
  return iteration < config.max_depth_search && (depth_limit <= 0 || iteration <= depth_limit);
}

// Iterative deepening over the n root moves of the open level, until the stop
// flag or the iteration limit. Returns the index of the move to play: the
// best so far when stopped, else the first of the last sorted iteration.
int deepen(Position& pos, int n, int64_t start, bool& stopped) {
  MoveStack& ms = pos.move_stack;
  std::vector<int32_t> root_scores(size_t(n), 0);
  stopped = false;
  for (int iteration = 1; iteration_allowed(iteration); ++iteration) {
    int best_index = 0;
    const int32_t depth = iteration * ONE_PLY;
    make_move(pos, ms.at(0));
    int32_t score = -search(pos, -SCORE_INFINITE, SCORE_INFINITE, depth, 1, false);
    unmake_move(pos);
    if (search_stopped()) {
      stopped = true;
      return 0;
    }
    int32_t best;
    if (score > -SCORE_INFINITE) {
      best = score;
      root_scores[0] = score;
      thinking_line(pos, iteration, score, start, ms.at(0));
    } else {
      best = -SCORE_INFINITE;
    }
    for (int i = 1; i < n; ++i) {
      make_move(pos, ms.at(i));
      int32_t s = -search(pos, -best - 1, -best, depth, 1, false);
      if (best < s && s < SCORE_INFINITE) s = -search(pos, -SCORE_INFINITE, -best, depth, 1, false);
      unmake_move(pos);
      if (search_stopped()) {
        stopped = true;
        return best_index;
      }
      root_scores[size_t(i)] = -SCORE_INFINITE;
      if (s > best) {
        root_scores[size_t(i)] = s;
        best_index = i;
        best = s;
        thinking_line(pos, iteration, s, start, ms.at(i));
      }
    }
    shell_sort(&ms.at(0), root_scores.data(), n);
  }
  return 0;
}

}  // namespace

void print_pv(Position& pos, int n) {
  const uint64_t nodes = pos.node_count;
  pv_text.clear();
  collect_pv(pos, n);
  pos.node_count = nodes;
  std::fputs(pv_text.c_str(), stdout);
}

void print_variation(Position& pos, Move root_move, int n) {
  // The search never stores the root position, so the table's chain starts
  // after the root move that the driver itself chose.
  const uint64_t nodes = pos.node_count;
  pv_text = move_text(root_move) + ' ';
  make_move(pos, root_move);
  collect_pv(pos, n - 1);
  unmake_move(pos);
  pos.node_count = nodes;
  std::fputs(pv_text.c_str(), stdout);
}

void apply_clock_reports(Position& pos) {
  if (pos.fixed_move_time != 0) return;
  const bool white = pos.side_to_move == 1;
  if (clock_reports.has_own) (white ? pos.time_left_white : pos.time_left_black) = clock_reports.own;
  if (clock_reports.has_opponent)
    (white ? pos.time_left_black : pos.time_left_white) = clock_reports.opponent;
}

void timer_thread() {
  const uint64_t mine = timer_generation;
  const int64_t deadline = search_deadline;
  while (now_ms() < deadline) {
    if (search_generation.load() != mine) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  if (search_generation.load() == mine) raise_stop();
}

void think(Position& pos) {
  pos.tt_hits = 0;
  pos.node_count = 0;
  stop_search.store(0);
  const int64_t t0 = now_ms();

  apply_clock_reports(pos);
  int64_t budget;
  if (pos.fixed_move_time != 0)
    budget = int64_t(pos.fixed_move_time) - 30;
  else if (pos.side_to_move == 1)
    budget = pos.time_left_white / (2 * int64_t(pos.moves_left_white) + 1);
  else
    budget = pos.time_left_black / (2 * int64_t(pos.moves_left_black) + 1);

  if (const char* result = game_result(pos)) {
    std::printf("%s\n", result);
    std::fflush(stdout);
    pos.side_to_move = pos.side_to_move == 1 ? 0 : 1;
  } else {
    MoveStack& ms = pos.move_stack;
    generate_all(pos);
    const int n = ms.count();
    // A position set up without a king can leave no move: then nothing is played.
    if (n == 1) {
      play(pos, ms.at(0));
    } else if (n > 1) {
      const int64_t start = now_ms();
      search_deadline = start + budget;
      timer_generation = search_generation.load();
      if (budget <= 0) {
        // No time at all: stop before the first root move is searched, so that
        // the first generated move is played, every time the same.
        raise_stop();
      } else {
        try {
          std::thread(timer_thread).detach();
        } catch (const std::system_error&) {
          // Without a timer the iteration limit or a stop line ends the search.
        }
      }
      bool stopped = false;
      play(pos, ms.at(deepen(pos, n, start, stopped)));
    }
    ms.close_level();
  }

  ++search_generation;  // this search's timer, if still waiting, must not fire later
  stop_search.store(0);
  last_search_nodes = pos.node_count;
  pos.node_count = 0;
  charge_clock(pos, now_ms() - t0);
  clock_reports = ClockReports{};  // the next move waits for fresh reports
}

bool analyse(Position& pos) {
  pos.tt_hits = 0;
  pos.node_count = 0;
  MoveStack& ms = pos.move_stack;
  generate_all(pos);
  const int n = ms.count();
  bool stopped = false;
  // Mate, stalemate or a side without its king: nothing to search.
  if (n > 0) deepen(pos, n, now_ms(), stopped);
  ms.close_level();
  stop_search.store(0);
  last_search_nodes = pos.node_count;
  pos.node_count = 0;
  return !stopped;
}
