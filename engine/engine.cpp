#include "engine/engine.h"

#include <system_error>

#include "position/clock.h"
#include "search/busy.h"
#include "search/driver.h"
#include "search/tt.h"

Engine::~Engine() {
  engine_stop(*this);
  engine_wait(*this);
  tt_release(table);
}

void engine_set_table(Engine& engine, int32_t buckets) {
  tt_allocate(engine.table, buckets);
  engine.searching.tt = engine.table;
}

void engine_clear_table(Engine& engine) { tt_clear(engine.table); }

namespace {

void seed(Engine& engine, const Position& game) {
  engine.searching = game;
  const EndgameKnowledge& k = engine.knowledge;
  engine.searching.oracle = k.tablebases || k.kpk ? &engine.oracle : nullptr;
}

// The first iteration of helper k (from 1): with two threads the helper
// runs one iteration ahead of the main search, so that the main search
// finds the next iteration's moves in the table; more helpers spread over
// the next two iterations.
int helper_first_iteration(int k) { return 2 + (k - 1) % 2; }

// Searches the seeded position on this thread, with engine.threads - 1
// helpers beside it that share the table and the stop flag. The main
// search's move is played, unless a helper finished every iteration asked
// for before it: then the helper's, and its last thinking line is reported
// as the search's last. The nodes of all count.
SearchResult search_all_threads(Engine& engine, const SearchLimits& limits,
                                const SearchReport& report) {
  const int extra = engine.threads - 1;
  engine.searching.busy = nullptr;
  if (extra <= 0) return search_root(engine.searching, limits, report);
  while (int(engine.helpers.size()) < extra) engine.helpers.push_back(std::make_unique<Position>());
  if (!engine.busy_moves) engine.busy_moves = std::make_unique<BusyMoves>();
  engine.searching.busy = engine.busy_moves.get();
  const int64_t start = now_ms();
  SearchLimits own = limits;
  std::vector<std::thread> threads;
  std::vector<HelperResult> found(static_cast<size_t>(extra));
  for (int k = 1; k <= extra; ++k) {
    Position& h = *engine.helpers[size_t(k - 1)];
    h = engine.searching;  // keeps its own killers and history counters
    h.tt = engine.table;
    h.oracle = engine.searching.oracle;
    h.busy = engine.searching.busy;
    HelperResult& out = found[size_t(k - 1)];
    try {
      threads.emplace_back([&h, &limits, &out, k] {
        out = search_helper(h, limits, helper_first_iteration(k));
      });
    } catch (const std::system_error&) {
      break;  // as many helpers as the system gives
    }
    own.helpers.push_back(&h);
  }
  SearchResult result = search_root(engine.searching, own, report);
  raise_stop();
  for (std::thread& t : threads) t.join();
  stop_search.store(0);
  for (const Position* h : own.helpers) result.nodes += h->node_count;
  if (!result.completed) {
    for (const HelperResult& h : found) {
      if (!h.completed) continue;
      result.best = h.variation[0];
      result.ponder = h.variation.size() >= 2 ? h.variation[1] : 0;
      result.score = h.score;
      result.completed = true;
      if (report.line) {
        uint64_t hits = engine.searching.tt_hits;
        for (const Position* p : own.helpers) hits += p->tt_hits;
        report.line(report.context, ThinkingLine{h.depth, h.score, now_ms() - start, result.nodes,
                                                 hits, h.variation});
      }
      break;
    }
  }
  return result;
}

}  // namespace

SearchResult engine_search(Engine& engine, const Position& game, const SearchLimits& limits,
                           const SearchReport& report) {
  seed(engine, game);
  return search_all_threads(engine, limits, report);
}

void engine_start(Engine& engine, const Position& game, const SearchLimits& limits,
                  const SearchReport& report, bool hold_result, SearchDone done, void* context) {
  if (engine.worker.joinable()) {
    engine_stop(engine);
    engine_wait(engine);
    stop_search.store(0);
  }
  {
    std::lock_guard<std::mutex> guard(engine.lock);
    engine.released = false;
  }
  seed(engine, game);
  engine.deadline = std::make_shared<std::atomic<int64_t>>(NO_DEADLINE);
  SearchLimits own = limits;
  own.deadline = engine.deadline;
  engine.busy.store(true);
  auto run = [&engine, own, report, hold_result, done, context] {
    const SearchResult result = search_all_threads(engine, own, report);
    if (hold_result) {
      std::unique_lock<std::mutex> guard(engine.lock);
      engine.released_signal.wait(guard, [&engine] { return engine.released; });
    }
    if (done) done(context, result);
    engine.busy.store(false);
  };
  try {
    engine.worker = std::thread(run);
  } catch (const std::system_error&) {
    // No thread to be had: the search runs here, and a search without end
    // cannot be told to stop.
    if (hold_result) {
      std::lock_guard<std::mutex> guard(engine.lock);
      engine.released = true;
    }
    run();
  }
}

void engine_stop(Engine& engine) {
  if (!engine.busy.load()) return;
  {
    std::lock_guard<std::mutex> guard(engine.lock);
    engine.released = true;
  }
  raise_stop();
  engine.released_signal.notify_all();
}

void engine_ponderhit(Engine& engine, bool timed, int64_t budget_ms, bool release) {
  if (timed && engine.deadline) engine.deadline->store(now_ms() + budget_ms);
  if (!release) return;
  {
    std::lock_guard<std::mutex> guard(engine.lock);
    engine.released = true;
  }
  engine.released_signal.notify_all();
}

void engine_wait(Engine& engine) {
  if (engine.worker.joinable()) engine.worker.join();
}
