#include "engine/engine.h"

#include <system_error>

#include "position/clock.h"
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

}  // namespace

SearchResult engine_search(Engine& engine, const Position& game, const SearchLimits& limits,
                           const SearchReport& report) {
  seed(engine, game);
  return search_root(engine.searching, limits, report);
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
    const SearchResult result = search_root(engine.searching, own, report);
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
