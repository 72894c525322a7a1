#include "engine/bench.h"

#include <chrono>
#include <ctime>
#include <memory>

#include "engine/engine.h"

const char* const BENCH_FENS[BENCH_POSITIONS] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
    "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
    "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 0 1",
    "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 1",
};

BenchSearch bench_search(const Position& pos, int iterations, const SearchReport& report,
                         int threads, Style style) {
  auto engine = std::make_unique<Engine>();
  engine->threads = threads;
  engine->style = style;
  engine_set_table(*engine, DEFAULT_HASH_BUCKETS);
  // The system zeroes a fresh mapping's pages at their first write; written
  // here, before the clock starts, that cost is not counted as the search's.
  engine_clear_table(*engine);
  // Timed as a game's search is, with a deadline that never comes: the timer
  // thread runs beside the search as it does in play.
  SearchLimits limits;
  limits.timed = true;
  limits.budget_ms = 1000000000;
  limits.soft_ms = limits.budget_ms;
  limits.iteration_limit = iterations + 1;
  const std::clock_t c0 = std::clock();
  const auto t0 = std::chrono::steady_clock::now();
  const SearchResult result = engine_search(*engine, pos, limits, report);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  const double cpu_seconds = double(std::clock() - c0) / CLOCKS_PER_SEC;
  return {result, result.nodes + (result.best ? 1 : 0), seconds, cpu_seconds};
}
