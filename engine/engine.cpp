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

SearchResult engine_search(Engine& engine, const Position& game, const SearchLimits& limits,
                           const SearchReport& report) {
  engine.searching = game;
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
    engine.stop_requested = false;
  }
  engine.searching = game;
  engine.busy.store(true);
  auto run = [&engine, limits, report, hold_result, done, context] {
    const SearchResult result = search_root(engine.searching, limits, report);
    if (hold_result) {
      std::unique_lock<std::mutex> guard(engine.lock);
      engine.stop_wanted.wait(guard, [&engine] { return engine.stop_requested; });
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
      engine.stop_requested = true;
    }
    run();
  }
}

void engine_stop(Engine& engine) {
  if (!engine.busy.load()) return;
  {
    std::lock_guard<std::mutex> guard(engine.lock);
    engine.stop_requested = true;
  }
  raise_stop();
  engine.stop_wanted.notify_all();
}

void engine_wait(Engine& engine) {
  if (engine.worker.joinable()) engine.worker.join();
}
