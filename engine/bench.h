// The fixed-depth bench: the same positions searched to the same iteration
// limit from a fresh table, killers and history. Its node total is the
// search's signature: it changes only when the search itself changes.
#pragma once

#include <cstdint>

#include "engine/engine.h"
#include "position/position.h"
#include "search/limits.h"

constexpr int BENCH_POSITIONS = 6;
extern const char* const BENCH_FENS[BENCH_POSITIONS];
constexpr int BENCH_ITERATIONS = 8;  // iterations 1 to 8: thinking lines up to depth 9
constexpr int MODERN_BENCH_ITERATIONS = 12;  // the modern search: depths 1 to 13

struct BenchSearch {
  SearchResult result;
  // The search's nodes and the make of the move it plays, as the engine's
  // node counter has them when it plays in a game: the bench's signature.
  uint64_t nodes;
  double seconds;      // of the search alone, wall clock
  double cpu_seconds;  // spent by this process meanwhile: other programs' load counts less
};

// Searches the position to the iteration count with a fresh engine and the
// default table, thinking lines to the report, on that many threads, in
// the given style.
BenchSearch bench_search(const Position& pos, int iterations, const SearchReport& report = {},
                         int threads = 1, Style style = Style::CLASSIC);
