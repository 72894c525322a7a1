#include "engine/engine.h"

#include <system_error>

#include "position/clock.h"
#include "search/busy.h"
#include "search/driver.h"
#include "search/modern_search.h"
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

void engine_set_style(Engine& engine, Style style) {
  if (engine.style == style) return;
  engine.style = style;
  tt_clear(engine.table);
}

int engine_hashfull(const Engine& engine) {
  return engine.style == Style::MODERN ? modern_tt_hashfull(engine.table, engine.generation)
                                       : tt_hashfull(engine.table);
}

namespace {

void seed(Engine& engine, const Position& game) {
  engine.searching = game;
  const EndgameKnowledge& k = engine.knowledge;
  engine.searching.oracle = k.tablebases || k.kpk ? &engine.oracle : nullptr;
}

// The first iteration of helper k (from 1); from there a helper keeps one
// iteration ahead of the main search. With two threads, a helper starting
// at 3 (or at 1) finished the bench positions' iteration 9 about 1.5 times
// sooner than one thread, one starting at 2 about 1.3 times.
int helper_first_iteration(int k) { return k % 2 ? 3 : 1; }

// The modern state of threads 0 to n - 1, made when first needed; each
// search writes table entries of a new generation.
void prepare_modern(Engine& engine, int n) {
  while (int(engine.modern.size()) < n) engine.modern.push_back(std::make_unique<ModernThread>());
  ++engine.generation;
  for (int k = 0; k < n; ++k) engine.modern[size_t(k)]->generation = engine.generation;
}

// Searches the seeded position on this thread, in the engine's style, with
// engine.threads - 1 helpers beside it that share the table and the stop
// flag. Classic helpers also share the finished iterations: the main search
// plays the deepest iteration any of them finished, or its own best so far
// in the iteration after. Modern helpers share the table alone, and the
// main search plays its own result. The nodes of all count.
SearchResult search_all_threads(Engine& engine, const SearchLimits& limits,
                                const SearchReport& report) {
  const bool modern = engine.style == Style::MODERN;
  const int extra = engine.threads - 1;
  engine.searching.share = nullptr;
  if (modern) prepare_modern(engine, extra + 1);
  if (extra <= 0)
    return modern ? modern_search_root(engine.searching, *engine.modern[0], limits, report)
                  : search_root(engine.searching, limits, report);
  while (int(engine.helpers.size()) < extra) engine.helpers.push_back(std::make_unique<Position>());
  if (!modern) {
    if (!engine.share) engine.share = std::make_unique<SearchShare>();
    engine.share->finished.store(0);
    engine.share->variation.clear();
    engine.searching.share = engine.share.get();
  }
  SearchLimits own = limits;
  std::vector<std::thread> threads;
  for (int k = 1; k <= extra; ++k) {
    Position& h = *engine.helpers[size_t(k - 1)];
    h = engine.searching;  // keeps its own killers and history counters
    h.tt = engine.table;
    h.oracle = engine.searching.oracle;
    h.share = engine.searching.share;
    try {
      if (modern) {
        ModernThread& t = *engine.modern[size_t(k)];
        threads.emplace_back([&h, &t, &limits, k] { modern_search_helper(h, t, limits, 1 + k % 2); });
      } else {
        threads.emplace_back(
            [&h, &limits, k] { search_helper(h, limits, helper_first_iteration(k)); });
      }
    } catch (const std::system_error&) {
      break;  // as many helpers as the system gives
    }
    own.helpers.push_back(&h);
  }
  SearchResult result = modern ? modern_search_root(engine.searching, *engine.modern[0], own, report)
                               : search_root(engine.searching, own, report);
  raise_stop();
  for (std::thread& t : threads) t.join();
  stop_search.store(0);
  for (const Position* h : own.helpers) result.nodes += h->node_count;
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
  engine.soft = std::make_shared<SoftLimit>();
  SearchLimits own = limits;
  own.deadline = engine.deadline;
  own.soft = engine.soft;
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

void engine_ponderhit(Engine& engine, bool timed, TimeBudget budget, bool release) {
  const int64_t now = now_ms();
  if (timed && engine.deadline) engine.deadline->store(now + budget.hard_ms);
  if (timed && engine.soft) engine.soft->start(now, budget.soft_ms, budget.hard_ms);
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
