#include "search/driver.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <memory>
#include <mutex>

#include "eval/evaluate.h"
#include "position/clock.h"
#include "position/makemove.h"
#include "position/movegen.h"
#include "search/busy.h"
#include "search/ordering.h"
#include "search/search.h"
#include "search/timer.h"
#include "search/tt.h"
#include "search/validation.h"

namespace {

void collect_chain(Position& pos, int n, std::vector<Move>& out) {
  if (n == 0) return;
  int32_t score = 0;
  uint32_t move = 0;
  tt_probe(pos, pos.hash_key, 1, 1, score, move);
  if (!is_valid_move(pos, move)) return;
  out.push_back(move);
  make_move(pos, move);
  collect_chain(pos, n - 1, out);
  unmake_move(pos);
}

struct Deepening {
  Position& pos;
  const SearchLimits& limits;
  const SearchReport& report;
  int64_t start;
  std::vector<Move> last_variation;
  int32_t last_score = 0;
  int first_iteration = 1;
  bool helper = false;  // a helper's iterations make no thinking lines
  int multi_pv = 1;     // the best lines each iteration keeps exact
  Move second = 0;      // the second line's move and score, once found
  int32_t second_score = 0;
  // Where the main search shows its place in the root: the caller's, or
  // its own for the status the timer tells.
  SearchProgress own_progress{};
  SearchProgress* progress = nullptr;

  // This search's counts and those of the helpers searching beside it.
  uint64_t all_nodes() const { return count_with_helpers(pos, limits, &Position::node_count); }
  uint64_t all_tt_hits() const { return count_with_helpers(pos, limits, &Position::tt_hits); }
  uint64_t all_tb_hits() const { return count_with_helpers(pos, limits, &Position::tb_hits); }

  bool iteration_allowed(int iteration) const {
    return iteration < limits.iteration_limit &&
           (limits.depth_limit <= 0 || iteration <= limits.depth_limit);
  }

  void report_line(int iteration, int32_t score, std::vector<Move> variation, int pv_index = 0) {
    last_variation = std::move(variation);
    last_score = score;
    if (report.line)
      report.line(report.context,
                  ThinkingLine{iteration + 1, score, now_ms() - start, all_nodes(), all_tt_hits(),
                               last_variation, pv_index, std::max(pos.seldepth, iteration + 1),
                               tt_hashfull(pos.tt), all_tb_hits()});
  }

  // The main search's place in the root, for a status line.
  void show_progress(int iteration, int searched, int n, Move move) const {
    SearchProgress* p = progress;
    if (!p || helper) return;
    p->nodes.store(all_nodes(), std::memory_order_relaxed);
    p->depth.store(iteration + 1, std::memory_order_relaxed);
    p->seldepth.store(std::max(pos.seldepth, iteration + 1), std::memory_order_relaxed);
    p->searched.store(searched, std::memory_order_relaxed);
    p->total.store(n, std::memory_order_relaxed);
    p->move.store(move, std::memory_order_relaxed);
  }

  void thinking_line(int iteration, int32_t score, Move best) {
    if (!helper) report_line(iteration, score, collect_variation(pos, best, iteration + 1));
  }

  // Offers the other threads the result of a finished iteration.
  void publish(int iteration, int32_t score, Move best) {
    SearchShare& share = *pos.share;
    std::vector<Move> variation = collect_variation(pos, best, iteration + 1);
    std::lock_guard<std::mutex> guard(share.lock);
    if (share.finished.load(std::memory_order_relaxed) >= iteration) return;
    share.score = score;
    share.variation = std::move(variation);
    share.finished.store(iteration, std::memory_order_relaxed);
  }

  // Moves root move m to the front of the n root moves, the others keeping
  // their order.
  void move_to_front(int n, Move m, std::vector<int32_t>& root_scores) {
    MoveStack& ms = pos.move_stack;
    for (int i = 0; i < n; ++i) {
      if (ms.at(i) != m) continue;
      for (; i > 0; --i) {
        std::swap(ms.at(i), ms.at(i - 1));
        std::swap(root_scores[size_t(i)], root_scores[size_t(i - 1)]);
      }
      return;
    }
  }

  // Takes the deepest iteration a helper finished as the main search's own:
  // its move goes first and its line is reported. Returns the iteration.
  int adopt(int n, std::vector<int32_t>& root_scores) {
    SearchShare& share = *pos.share;
    int iteration;
    int32_t score;
    std::vector<Move> variation;
    {
      std::lock_guard<std::mutex> guard(share.lock);
      iteration = share.finished.load(std::memory_order_relaxed);
      score = share.score;
      variation = share.variation;
    }
    move_to_front(n, variation[0], root_scores);
    report_line(iteration, score, std::move(variation));
    return iteration;
  }

  enum class Ending { FINISHED, OVERTAKEN, STOPPED };

  // One iteration over the n root moves; best_index is the best so far.
  Ending iterate(int iteration, int n, std::vector<int32_t>& root_scores, std::vector<int>& left,
                 int& best_index) {
    MoveStack& ms = pos.move_stack;
    best_index = 0;
    const int32_t depth = iteration * ONE_PLY;
    pos.seldepth = 0;
    show_progress(iteration, 0, n, ms.at(0));
    make_move(pos, ms.at(0));
    int32_t score = -search(pos, -SCORE_INFINITE, SCORE_INFINITE, depth, 1, false);
    unmake_move(pos);
    if (overtaken(pos.share, pos.overtaken_at)) return Ending::OVERTAKEN;
    if (search_stopped()) return Ending::STOPPED;
    int32_t best;
    if (score > -SCORE_INFINITE) {
      best = score;
      root_scores[0] = score;
      thinking_line(iteration, score, ms.at(0));
    } else {
      best = -SCORE_INFINITE;
    }
    // Root moves another thread is searching wait for the end of the list.
    BusyMoves* busy = pos.share && depth >= SHARED_DEPTH ? &pos.share->moves : nullptr;
    left.clear();
    int searched = 1;
    for (int k = 1, end = n; k < end; ++k) {
      const int i = k < n ? k : left[size_t(k - n)];
      uint64_t tag = busy && k < n ? busy_tag(pos.hash_key, ms.at(i)) : 0;
      if (tag) {
        if (busy_elsewhere(*busy, tag)) {
          left.push_back(i);
          ++end;
          continue;
        }
        if (!busy_start(*busy, tag)) tag = 0;
      }
      show_progress(iteration, searched++, n, ms.at(i));
      make_move(pos, ms.at(i));
      int32_t s = -search(pos, -best - 1, -best, depth, 1, false);
      if (best < s && s < SCORE_INFINITE) s = -search(pos, -SCORE_INFINITE, -best, depth, 1, false);
      unmake_move(pos);
      if (tag) busy_end(*busy, tag);
      if (overtaken(pos.share, pos.overtaken_at)) return Ending::OVERTAKEN;
      if (search_stopped()) return Ending::STOPPED;
      root_scores[size_t(i)] = -SCORE_INFINITE;
      if (s > best) {
        root_scores[size_t(i)] = s;
        best_index = i;
        best = s;
        thinking_line(iteration, s, ms.at(i));
      }
    }
    if (pos.share) publish(iteration, best, ms.at(best_index));
    return Ending::FINISHED;
  }

  // A root move among the best lines of an iteration.
  struct Line {
    int32_t score;
    int index;
    std::vector<Move> variation;
  };

  // One iteration that keeps the best multi_pv root moves with exact scores.
  // The first multi_pv moves get the full window; each later move is tested
  // against the worst score kept and, if it beats it, searched again for its
  // exact score and takes that line's place. The lines are reported at the
  // iteration's end, best first. Threads that finish an iteration first are
  // not followed here: their single line would not give the others.
  Ending iterate_lines(int iteration, int n, std::vector<int32_t>& root_scores, int& best_index) {
    MoveStack& ms = pos.move_stack;
    best_index = 0;
    const int32_t depth = iteration * ONE_PLY;
    const size_t kept = size_t(multi_pv);
    pos.seldepth = 0;
    std::vector<Line> lines;  // best first
    for (int i = 0; i < n; ++i) {
      const bool open = lines.size() < kept;
      const int32_t bound = open ? -SCORE_INFINITE : lines.back().score;
      show_progress(iteration, i, n, ms.at(i));
      make_move(pos, ms.at(i));
      int32_t s;
      if (open) {
        s = -search(pos, -SCORE_INFINITE, SCORE_INFINITE, depth, 1, false);
      } else {
        s = -search(pos, -bound - 1, -bound, depth, 1, false);
        if (bound < s && s < SCORE_INFINITE)
          s = -search(pos, -SCORE_INFINITE, -bound, depth, 1, false);
      }
      unmake_move(pos);
      if (search_stopped()) return Ending::STOPPED;
      root_scores[size_t(i)] = -SCORE_INFINITE;
      if (s <= bound) continue;
      root_scores[size_t(i)] = s;
      // Of equal scores the move searched first ranks first.
      size_t at = 0;
      while (at < lines.size() && lines[at].score >= s) ++at;
      lines.insert(lines.begin() + std::ptrdiff_t(at),
                   Line{s, i, collect_variation(pos, ms.at(i), iteration + 1)});
      if (lines.size() > kept) lines.pop_back();
      best_index = lines[0].index;
    }
    if (lines.empty()) return Ending::FINISHED;
    const size_t shown = limits.shown_pv > 0 ? size_t(limits.shown_pv) : lines.size();
    for (size_t j = 0; j < lines.size() && j < shown; ++j)
      report_line(iteration, lines[j].score, lines[j].variation, shown == 1 ? 0 : int(j + 1));
    if (lines.size() >= 2) {
      second = ms.at(lines[1].index);
      second_score = lines[1].score;
    }
    last_variation = std::move(lines[0].variation);
    last_score = lines[0].score;
    if (pos.share) publish(iteration, last_score, ms.at(best_index));
    return Ending::FINISHED;
  }

  // The iteration after the one a thread finished or took over. A helper
  // keeps one ahead of the deepest finished iteration, where the main search
  // is, so that the main search finds its moves in the table; it skips an
  // iteration for it, but never the last one.
  int next_iteration(int iteration) const {
    if (!helper) return iteration + 1;
    const int next = std::max(iteration + 1, pos.share->finished.load() + 2);
    return iteration_allowed(next) || next - 1 == iteration ? next : next - 1;
  }

  // Iterative deepening over the n root moves of the open level, until the
  // stop flag or the iteration limit. Returns the index of the move to play:
  // the best so far when stopped, else the first of the last sorted iteration.
  int deepen(int n, bool& stopped) {
    std::vector<int32_t> root_scores(size_t(n), 0);
    std::vector<int> left;
    stopped = false;
    for (int iteration = first_iteration; iteration_allowed(iteration);
         iteration = next_iteration(iteration)) {
      // The main search drops an iteration another thread has finished;
      // a helper never drops one.
      pos.overtaken_at = helper || multi_pv > 1 ? INT32_MAX : iteration;
      int best_index;
      const Ending ending = multi_pv > 1 ? iterate_lines(iteration, n, root_scores, best_index)
                                         : iterate(iteration, n, root_scores, left, best_index);
      switch (ending) {
        case Ending::FINISHED: {
          // Several lines may tie on the best score: the sort need not keep
          // the best line's move first, and the move played is that one.
          const Move best = pos.move_stack.at(best_index);
          shell_sort(&pos.move_stack.at(0), root_scores.data(), n);
          if (multi_pv > 1) move_to_front(n, best, root_scores);
          break;
        }
        case Ending::OVERTAKEN:
          iteration = adopt(n, root_scores);
          break;
        case Ending::STOPPED:
          stopped = true;
          return best_index;
      }
      // A mate search ends at the mate it asked for (the best move is first).
      if (mates_within(last_score, limits.mate_moves)) break;
    }
    return 0;
  }
};

// The timer's tick: how the main search stands.
void tell_status(void* context) {
  const Deepening& d = *static_cast<const Deepening*>(context);
  const SearchProgress& p = *d.progress;
  d.report.status(d.report.context,
                  SearchStatus{p.depth.load(), p.seldepth.load(), now_ms() - d.start, d.all_nodes(),
                               d.all_tb_hits(), tt_hashfull(d.pos.tt), p.move.load(),
                               p.searched.load() + 1});
}

}  // namespace

uint64_t count_with_helpers(const Position& pos, const SearchLimits& limits,
                            RelaxedCount Position::*count) {
  uint64_t n = pos.*count;
  for (const Position* h : limits.helpers) n += h->*count;
  return n;
}

SearchProgress* start_progress(const SearchLimits& limits, SearchProgress& own, int64_t start,
                               int32_t moves, Move first) {
  SearchProgress* p = limits.progress ? limits.progress : &own;
  p->start_ms.store(start);
  p->depth.store(0);
  p->seldepth.store(0);
  p->searched.store(0);
  p->total.store(moves);
  p->move.store(first);
  return p;
}

std::vector<Move> collect_variation(Position& pos, Move root_move, int n) {
  // The search never stores the root position, so the table's chain starts
  // after the root move that the driver itself chose.
  const uint64_t nodes = pos.node_count;
  std::vector<Move> variation{root_move};
  make_move(pos, root_move);
  collect_chain(pos, n - 1, variation);
  unmake_move(pos);
  pos.node_count = nodes;
  return variation;
}

int32_t tell_single_move(Position& pos, const SearchLimits& limits, const SearchReport& report,
                         Move move, int32_t hashfull) {
  if (!limits.tell_single_move) return 0;
  make_move(pos, move);
  const int32_t score = -evaluate(pos);
  unmake_move(pos);
  const std::vector<Move> variation{move};
  if (report.line)
    report.line(report.context, ThinkingLine{1, score, 0, 0, 0, variation, 0, 1, hashfull, 0});
  return score;
}

void generate_root(Position& pos, const SearchLimits& limits) {
  MoveStack& ms = pos.move_stack;
  generate_all(pos);
  if (!limits.root_moves.empty()) {
    int kept = 0;
    for (int i = 0; i < ms.count(); ++i)
      for (Move m : limits.root_moves)
        if (ms.at(i) == m) {
          ms.at(kept++) = m;
          break;
        }
    ms.list_end[size_t(ms.level - 1)] = ms.list_begin[size_t(ms.level - 1)] + kept;
    ms.top = ms.list_end[size_t(ms.level - 1)];
  }
}

SearchResult search_root(Position& pos, const SearchLimits& limits, const SearchReport& report) {
  pos.tt_hits = 0;
  pos.tb_hits = 0;
  pos.node_count = 0;
  pos.node_limit = limits.node_limit ? limits.node_limit : UINT64_MAX;
  SearchResult result;
  MoveStack& ms = pos.move_stack;
  generate_root(pos, limits);
  const int n = ms.count();
  result.legal_moves = n;
  // Mate, stalemate or a side without its king: nothing to search.
  if (n == 1 && !limits.search_single_move) {
    result.best = ms.at(0);
    result.score = tell_single_move(pos, limits, report, result.best, tt_hashfull(pos.tt));
    result.completed = true;
  } else if (n > 0) {
    Deepening d{pos, limits, report, now_ms(), {}, 0};
    d.multi_pv = std::clamp(limits.multi_pv, 1, n);
    d.progress = start_progress(limits, d.own_progress, d.start, n, ms.at(0));
    const SearchTick tick = report.status ? SearchTick{tell_status, &d} : SearchTick{};
    const bool armed = arm_search_timer(limits, d.start, search_deadline(limits), tick);
    bool stopped = false;
    result.best = ms.at(d.deepen(n, stopped));
    if (armed) disarm_search_timer();
    d.progress->nodes.store(d.all_nodes());
    result.completed = !stopped;
    result.score = d.last_score;
    result.second = d.second;
    result.second_score = d.second_score;
    if (d.last_variation.size() >= 2 && d.last_variation[0] == result.best)
      result.ponder = d.last_variation[1];
  } else {
    result.completed = true;
  }
  ms.close_level();
  stop_search.store(0);
  result.nodes = pos.node_count;
  pos.node_count = 0;
  pos.node_limit = UINT64_MAX;
  return result;
}

void search_helper(Position& pos, const SearchLimits& limits, int first_iteration) {
  pos.tt_hits = 0;
  pos.tb_hits = 0;
  pos.node_count = 0;
  pos.node_limit = UINT64_MAX;
  generate_root(pos, limits);
  const int n = pos.move_stack.count();
  if (n > 0) {
    const SearchReport none;
    Deepening d{pos, limits, none, now_ms(), {}, 0, first_iteration, true};
    bool stopped = false;
    d.deepen(n, stopped);
  }
  pos.move_stack.close_level();
}
