// The engine record: the transposition table, the searching position and the
// search thread. A front end keeps the game; before each search the engine's
// own position is seeded from it, so that the killers, the history counters,
// the reduction latch and the table carry over from search to search and
// from game to game, whatever protocol asks.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/endgame.h"
#include "position/position.h"
#include "search/busy.h"
#include "search/limits.h"
#include "search/modern_search.h"
#include "search/time_manager.h"

// The table's size by the megabyte, as KELO.ini and the interfaces give it.
constexpr int32_t BUCKETS_PER_MB = 21845;  // 21845 buckets of 48 bytes
constexpr int32_t DEFAULT_HASH_BUCKETS = 32 * BUCKETS_PER_MB;
// The largest count of megabytes whose buckets still fit a 32-bit count.
constexpr int32_t MAX_HASH_MB = INT32_MAX / BUCKETS_PER_MB;

// Searching threads, the caller's own included.
constexpr int32_t MAX_THREADS = 64;
// The most best lines a search reports at each iteration.
constexpr int32_t MAX_MULTI_PV = 16;

// The search and evaluation a search runs with: the classic ones, or the
// modern search.
enum class Style { CLASSIC, MODERN };

// Called on the search thread when an asynchronous search has ended.
using SearchDone = void (*)(void* context, const SearchResult& result);

struct Engine {
  TranspositionTable table;  // owned: released with the record
  Position searching;        // searches through a copy of the table's handle
  // What the searches may ask of the endgame tables; none by default.
  EndgameKnowledge knowledge;
  EndgameOracle oracle{endgame_probe, &knowledge};
  int32_t threads = 1;  // searching threads, and perft's
  // The helper searches' own positions, kept so that their killers and
  // history counters carry over as the main search's do.
  std::vector<std::unique_ptr<Position>> helpers;
  // What the threads of a search share, made for the first search on more
  // than one thread.
  std::unique_ptr<SearchShare> share;
  Style style = Style::CLASSIC;
  // The modern search's state of each thread, the first the main search's;
  // made when first needed. Its histories carry over from search to search.
  std::vector<std::unique_ptr<ModernThread>> modern;
  uint32_t generation = 0;  // of the modern table entries, one more each search

  // The asynchronous search: one at a time, on a thread of its own.
  std::thread worker;
  std::atomic<bool> busy{false};
  // Set by engine_stop or engine_ponderhit; a search started with
  // hold_result waits for it before it hands its result over.
  std::mutex lock;
  std::condition_variable released_signal;
  bool released = false;
  // The running asynchronous search's deadline (see SearchLimits::deadline).
  std::shared_ptr<std::atomic<int64_t>> deadline;
  std::shared_ptr<SoftLimit> soft;  // and its soft budget

  Engine() = default;
  Engine(const Engine&) = delete;
  ~Engine();
};

// Replaces the table by an empty one of the given bucket count (brought to a
// prime, halved while memory is short).
void engine_set_table(Engine& engine, int32_t buckets);
// Empties the table, keeping its size.
void engine_clear_table(Engine& engine);
// Sets the style of the searches to come; the table is emptied, since the
// styles lay out its entries differently.
void engine_set_style(Engine& engine, Style style);

// Per mille of the table in use, as the style lays it out.
int engine_hashfull(const Engine& engine);

// Searches the game's position on the caller's thread. The game is not
// changed: playing the move is the caller's.
SearchResult engine_search(Engine& engine, const Position& game, const SearchLimits& limits,
                           const SearchReport& report);

// The same on the engine's thread: returns at once; `done` receives the
// result there. With hold_result the result waits for engine_stop (a search
// without end must not answer before it is told to). Any search still
// running is stopped and waited for first. The caller clears the stop flag
// before, when an earlier stop must not count.
void engine_start(Engine& engine, const Position& game, const SearchLimits& limits,
                  const SearchReport& report, bool hold_result, SearchDone done, void* context);
// Stops the running search (its result is still handed to `done`).
void engine_stop(Engine& engine);
// The running search, started without a time limit to ponder, becomes the
// real one: when timed its budget counts from now, and with `release` its
// result no longer waits for engine_stop (it is handed over at once if the
// search has already ended).
void engine_ponderhit(Engine& engine, bool timed, TimeBudget budget, bool release);
// Waits until the search thread has handed over its result and ended.
void engine_wait(Engine& engine);
