// The modern search's root: iterative deepening with aspiration windows,
// several best lines, the thinking lines and the soft time limit.
#include <algorithm>
#include <memory>

#include "position/clock.h"
#include "position/makemove.h"
#include "search/driver.h"
#include "search/modern_internal.h"
#include "search/modern_params.h"
#include "search/modern_picker.h"
#include "search/modern_search.h"
#include "search/search.h"
#include "search/time_manager.h"
#include "search/timer.h"
#include "search/validation.h"

using namespace modern;

namespace {

// A root move's score before the running iteration has one.
constexpr int32_t UNKNOWN = -SCORE_INFINITE - 1;

bool by_score(const RootMove& a, const RootMove& b) { return a.score > b.score; }

struct ModernDeepening {
  Position& pos;
  ModernThread& t;
  const SearchLimits& limits;
  const SearchReport& report;
  int64_t start;
  bool helper;
  int multi_pv = 1;
  SoftLimit* soft = nullptr;
  std::shared_ptr<std::atomic<int64_t>> deadline = nullptr;  // the hard one
  Move reported = 0;  // the first move and score of the last thinking line
  int32_t reported_score = 0;
  // The last finished iteration's best move and score, and for how many
  // iterations that move has stayed best.
  Move last_best = 0;
  int32_t last_score = 0;
  int stable = 0;
  Move second = 0;
  int32_t second_score = 0;
  // Where the main search shows its place in the root: the caller's, or
  // its own for the status the timer tells.
  SearchProgress own_progress{};
  SearchProgress* progress = nullptr;

  uint64_t all_nodes() const { return count_with_helpers(pos, limits, &Position::node_count); }
  uint64_t all_tt_hits() const { return count_with_helpers(pos, limits, &Position::tt_hits); }
  uint64_t all_tb_hits() const { return count_with_helpers(pos, limits, &Position::tb_hits); }

  // Depth d is iteration d - 1 of the classic count, which shows depth
  // iteration + 1: both styles stop at the same shown depth.
  bool depth_allowed(int32_t d) const {
    return d - 1 < limits.iteration_limit && (limits.depth_limit <= 0 || d - 1 <= limits.depth_limit);
  }

  void show_progress(int32_t depth, int searched, int n, Move move) const {
    SearchProgress* p = progress;
    if (!p || helper) return;
    p->nodes.store(all_nodes(), std::memory_order_relaxed);
    p->depth.store(depth, std::memory_order_relaxed);
    p->seldepth.store(std::max(t.seldepth, depth), std::memory_order_relaxed);
    p->searched.store(searched, std::memory_order_relaxed);
    p->total.store(n, std::memory_order_relaxed);
    p->move.store(move, std::memory_order_relaxed);
  }

  void report_line(const RootMove& rm, int32_t depth, int pv_index) {
    if (helper) return;
    if (pv_index <= 1) reported = rm.move, reported_score = rm.score;
    if (report.line)
      report.line(report.context,
                  ThinkingLine{depth, rm.score, now_ms() - start, all_nodes(), all_tt_hits(), rm.pv,
                               pv_index, std::max(t.seldepth, depth),
                               modern_tt_hashfull(pos.tt, t.generation), all_tb_hits()});
  }

  // The root moves from t.pv_index on, in a window; the best score found.
  // Each move's score is set when its search ends: the first move's always,
  // another's when it beats alpha. Returns early once stopped.
  int32_t root_search(int32_t alpha, int32_t beta, int32_t depth) {
    std::vector<RootMove>& moves = t.root_moves;
    const int n = int(moves.size());
    for (int i = t.pv_index; i < n; ++i) moves[size_t(i)].score = UNKNOWN;
    int32_t best = UNKNOWN;
    int searched = 0;
    for (int i = t.pv_index; i < n; ++i) {
      RootMove& rm = moves[size_t(i)];
      const Move m = rm.move;
      show_progress(depth, searched, n, m);
      const bool checks = gives_check(pos, m);
      enter_move(t, pos, 0, m);
      ++searched;
      const int32_t new_depth = depth - 1 + (checks ? 1 : 0);
      int32_t score;
      if (searched == 1) {
        score = -modern_search(pos, t, -beta, -alpha, new_depth, 1, false);
      } else {
        int32_t d = new_depth;
        if (depth >= LMR_DEPTH && searched > 3 && is_quiet(m) && !checks)
          d = std::clamp(new_depth - modern_reduction(depth, searched) + 1, 1, new_depth);
        score = -modern_search(pos, t, -alpha - 1, -alpha, d, 1, true);
        if (score > alpha && d < new_depth && !search_stopped())
          score = -modern_search(pos, t, -alpha - 1, -alpha, new_depth, 1, false);
        if (score > alpha && score < beta && !search_stopped())
          score = -modern_search(pos, t, -beta, -alpha, new_depth, 1, false);
      }
      leave_move(pos);
      if (search_stopped()) return best;
      rm.latest = score;
      if (searched == 1 || score > alpha) {
        rm.score = score;
        rm.pv.assign(1, m);
        for (int32_t k = 1; k < t.pv_length[1]; ++k) rm.pv.push_back(t.pv[1][size_t(k)]);
      }
      best = std::max(best, score);
      if (score > alpha) {
        alpha = score;
        if (score >= beta) break;
      }
    }
    return best;
  }

  // One iteration: each of the multi_pv lines in an aspiration window that
  // widens until the score falls inside it. False once stopped.
  bool iterate(int32_t depth) {
    std::vector<RootMove>& moves = t.root_moves;
    t.root_depth = depth;
    for (RootMove& rm : moves) rm.latest = UNKNOWN;
    for (int line = 0; line < multi_pv; ++line) {
      t.pv_index = line;
      t.seldepth = 0;
      const int32_t previous = moves[size_t(line)].previous;
      int32_t delta = ASPIRATION_DELTA, alpha = -SCORE_INFINITE, beta = SCORE_INFINITE;
      if (depth >= ASPIRATION_DEPTH && previous > -MATE_BOUND && previous < MATE_BOUND) {
        alpha = std::max(previous - delta, -SCORE_INFINITE);
        beta = std::min(previous + delta, SCORE_INFINITE);
      }
      for (;;) {
        const int32_t score = root_search(alpha, beta, depth);
        // A move that beat alpha goes first; the others keep their order.
        std::stable_sort(moves.begin() + line, moves.end(), by_score);
        if (search_stopped()) return false;
        if (score <= alpha) {
          beta = (alpha + beta) / 2;
          alpha = std::max(score - delta, -SCORE_INFINITE);
        } else if (score >= beta) {
          beta = std::min(score + delta, SCORE_INFINITE);
        } else {
          break;
        }
        delta += delta / 2;
        if (delta > 1000) alpha = -SCORE_INFINITE, beta = SCORE_INFINITE;
      }
      std::stable_sort(moves.begin(), moves.begin() + line + 1, by_score);
      if (multi_pv == 1) report_line(moves[0], depth, 0);
    }
    if (multi_pv > 1) {
      const int shown = limits.shown_pv > 0 ? std::min(limits.shown_pv, multi_pv) : multi_pv;
      for (int line = 0; line < shown; ++line)
        report_line(moves[size_t(line)], depth, shown == 1 ? 0 : line + 1);
      second = moves[1].move;
      second_score = moves[1].score;
    }
    for (RootMove& rm : moves) rm.previous = rm.score;
    return true;
  }

  // After a finished iteration: whether the soft budget, scaled by how the
  // result has held, is spent.
  bool soft_limit_spent(int32_t depth) {
    const RootMove& best = t.root_moves[0];
    stable = best.move == last_best ? stable + 1 : 0;
    const int32_t drop = depth > 1 ? last_score - best.score : 0;
    last_best = best.move;
    last_score = best.score;
    if (helper || !soft) return false;
    const int64_t from = soft->from.load(std::memory_order_acquire);
    if (from == NO_DEADLINE) return false;
    const double budget = double(soft->ms.load(std::memory_order_relaxed)) * soft_scale(stable, drop);
    return double(now_ms() - from) >= budget;
  }

  // The timer's tick: how the main search stands.
  static void tell_status(void* context) {
    const ModernDeepening& d = *static_cast<const ModernDeepening*>(context);
    const SearchProgress& p = *d.progress;
    d.report.status(d.report.context,
                    SearchStatus{p.depth.load(), p.seldepth.load(), now_ms() - d.start,
                                 d.all_nodes(), d.all_tb_hits(),
                                 modern_tt_hashfull(d.pos.tt, d.t.generation), p.move.load(),
                                 p.searched.load() + 1});
  }

  // Iterative deepening from first_depth; true when the depth limit ended it.
  // The first iteration of the main search runs before the timer is armed,
  // so that even a move with no time has searched one ply.
  bool run(int32_t first_depth) {
    bool armed = false;
    bool finished = true;
    for (int32_t depth = first_depth; depth_allowed(depth); ++depth) {
      if (!iterate(depth) || soft_limit_spent(depth)) {
        finished = false;
        break;
      }
      // A mate search ends at the mate it asked for.
      if (mates_within(t.root_moves[0].score, limits.mate_moves)) break;
      if (!helper && !armed && depth == first_depth) {
        const SearchTick tick = report.status ? SearchTick{tell_status, this} : SearchTick{};
        armed = arm_search_timer(limits, start, deadline, tick);
        if (armed) t.deadline = deadline.get();
      }
    }
    if (armed) disarm_search_timer();
    t.deadline = nullptr;
    return finished;
  }
};

void prepare(Position& pos, ModernThread& t, const SearchLimits& limits) {
  pos.tt_hits = 0;
  pos.tb_hits = 0;
  pos.node_count = 0;
  t.root_history = pos.history.count;
  t.null_min_ply = 0;
  for (int ply = -4; ply < 0; ++ply) {
    ModernFrame& f = t.frame(ply);
    f = ModernFrame{};
    f.cont = &t.no_continuation;
  }
  MoveStack& ms = pos.move_stack;
  generate_root(pos, limits);
  t.root_moves.clear();
  for (int i = 0; i < ms.count(); ++i)
    t.root_moves.push_back(RootMove{ms.at(i), UNKNOWN, UNKNOWN, UNKNOWN, {ms.at(i)}});
  ms.close_level();
}

// The reply the table expects after the best move, when the line has none.
Move table_reply(Position& pos, Move best) {
  const uint64_t nodes = pos.node_count;
  make_move(pos, best);
  ModernEntry e;
  Move reply = 0;
  if (modern_tt_probe(pos, modern_key(pos), 1, e) && e.move && is_valid_move(pos, e.move))
    reply = e.move;
  unmake_move(pos);
  pos.node_count = nodes;
  return reply;
}

}  // namespace

SearchResult modern_search_root(Position& pos, ModernThread& t, const SearchLimits& limits,
                                const SearchReport& report) {
  pos.node_limit = limits.node_limit ? limits.node_limit : UINT64_MAX;
  prepare(pos, t, limits);
  SearchResult result;
  const int n = int(t.root_moves.size());
  result.legal_moves = n;
  if (n == 1 && !limits.search_single_move) {
    result.best = t.root_moves[0].move;
    result.score = tell_single_move(pos, limits, report, result.best,
                                    modern_tt_hashfull(pos.tt, t.generation));
    result.completed = true;
  } else if (n > 0) {
    ModernDeepening d{pos, t, limits, report, now_ms(), false};
    d.multi_pv = std::clamp(limits.multi_pv, 1, n);
    d.progress = start_progress(limits, d.own_progress, d.start, n, t.root_moves[0].move);
    SoftLimit own;
    d.soft = limits.soft ? limits.soft.get() : &own;
    d.deadline = search_deadline(limits);
    if (limits.timed) d.soft->start(d.start, limits.soft_ms, limits.budget_ms);
    result.completed = d.run(1);
    d.progress->nodes.store(d.all_nodes());
    const RootMove& best = t.root_moves[0];
    result.best = best.move;
    // A best move found in an unfinished iteration (one that beat alpha, or
    // failed high and was stopped in its search again) gets its thinking
    // line; the score is the last line's.
    if (best.move != d.reported && best.latest != UNKNOWN) {
      RootMove shown = best;
      if (shown.score == UNKNOWN) shown.score = shown.latest;
      d.report_line(shown, t.root_depth, 0);
    }
    result.score = d.reported_score;
    result.ponder = best.pv.size() >= 2 ? best.pv[1] : table_reply(pos, best.move);
    result.second = d.second;
    result.second_score = d.second_score;
  } else {
    result.completed = true;
  }
  stop_search.store(0);
  result.nodes = pos.node_count;
  pos.node_count = 0;
  pos.node_limit = UINT64_MAX;
  return result;
}

void modern_search_helper(Position& pos, ModernThread& t, const SearchLimits& limits,
                          int first_depth) {
  pos.node_limit = UINT64_MAX;
  prepare(pos, t, limits);
  if (t.root_moves.empty()) return;
  const SearchReport none;
  ModernDeepening d{pos, t, limits, none, now_ms(), true};
  d.run(first_depth);
}
