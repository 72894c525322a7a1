// Fixed-depth search bench: the same positions searched to the same iteration
// limit from a fresh table, killers and history. The total node count is the
// search's signature: it changes only when the search itself changes.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/bench.h"
#include "position/init.h"

namespace {

struct Result {
  uint64_t nodes;
  double seconds;      // wall clock
  double cpu_seconds;  // spent by this process: the load of other programs counts less
};

// One search with the engine's output silenced.
Result search_once(const char* fen, int iterations = BENCH_ITERATIONS,
                   Style style = Style::CLASSIC) {
  const Position pos(fen);
  const BenchSearch run = bench_search(pos, iterations, {}, 1, style);
  return {run.nodes, run.seconds, run.cpu_seconds};
}

void BM_SearchBench(benchmark::State& state, Style style, int iterations) {
  uint64_t nodes = 0;
  for (auto _ : state) {
    nodes = 0;
    double seconds = 0;
    for (const char* fen : BENCH_FENS) {
      Result r = search_once(fen, iterations, style);
      nodes += r.nodes;
      seconds += r.seconds;
    }
    state.SetIterationTime(seconds);
  }
  state.counters["nodes"] = double(nodes);
  state.counters["nps"] = benchmark::Counter(double(nodes) * double(state.iterations()),
                                             benchmark::Counter::kIsRate);
}

}  // namespace

int main(int argc, char** argv) {
  init_tables();
  // --measure=N [modern]: the six positions once, to iteration N, in the
  // classic style or the modern one; one line with the node total and the
  // processor seconds spent searching, for bench/compare.sh.
  if ((argc == 2 || argc == 3) && std::strncmp(argv[1], "--measure=", 10) == 0) {
    const int iterations = std::atoi(argv[1] + 10);
    const Style style =
        argc == 3 && std::strcmp(argv[2], "modern") == 0 ? Style::MODERN : Style::CLASSIC;
    uint64_t nodes = 0;
    double seconds = 0;
    for (const char* fen : BENCH_FENS) {
      Result r = search_once(fen, iterations, style);
      nodes += r.nodes;
      seconds += r.cpu_seconds;
    }
    std::printf("nodes %llu seconds %.6f\n", (unsigned long long)nodes, seconds);
    return 0;
  }
  benchmark::RegisterBenchmark("search/bench_depth8", BM_SearchBench, Style::CLASSIC,
                               BENCH_ITERATIONS)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond)
      ->Iterations(1)
      ->Repetitions(3);
  benchmark::RegisterBenchmark("search/bench_modern_depth12", BM_SearchBench, Style::MODERN,
                               MODERN_BENCH_ITERATIONS)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond)
      ->Iterations(1)
      ->Repetitions(3);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  std::printf("\n%-8s %12s %10s\n", "position", "nodes", "ms");
  uint64_t total = 0;
  for (int i = 0; i < BENCH_POSITIONS; ++i) {
    Result r = search_once(BENCH_FENS[i]);
    total += r.nodes;
    std::printf("%-8d %12llu %10.0f\n", i + 1, (unsigned long long)r.nodes, r.seconds * 1000);
  }
  std::printf("Nodes searched: %llu\n", (unsigned long long)total);
  benchmark::Shutdown();
  return 0;
}
