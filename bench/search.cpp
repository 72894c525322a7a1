// Fixed-depth search bench: the same positions searched to the same iteration
// limit from a fresh table, killers and history. The total node count is the
// search's signature: it changes only when the search itself changes.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "frontend/config.h"
#include "position/init.h"
#include "search/search.h"
#include "search/think.h"
#include "search/tt.h"

namespace {

const char* FENS[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
    "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
    "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 0 1",
    "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 1",
};
constexpr int ITERATIONS = 8;  // iterations 1 to 8: thinking lines up to depth 9

struct Result {
  uint64_t nodes;
  double seconds;      // wall clock
  double cpu_seconds;  // spent by this process: the load of other programs counts less
};

double cpu_now() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// One search with the engine's output silenced.
Result search_once(const char* fen, int iterations = ITERATIONS) {
  const int saved = dup(1);
  const int null_fd = open("/dev/null", O_WRONLY);
  std::fflush(stdout);
  dup2(null_fd, 1);
  Position pos(fen);
  tt_allocate(pos.tt, 699040);
  pos.fixed_move_time = 1000000000;
  config.max_depth_search = iterations + 1;
  const double c0 = cpu_now();
  auto t0 = std::chrono::steady_clock::now();
  think(pos);
  double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  const double cpu = cpu_now() - c0;
  std::fflush(stdout);
  dup2(saved, 1);
  close(saved);
  close(null_fd);
  return {last_search_nodes, s, cpu};
}

void BM_SearchBench(benchmark::State& state) {
  uint64_t nodes = 0;
  for (auto _ : state) {
    nodes = 0;
    double seconds = 0;
    for (const char* fen : FENS) {
      Result r = search_once(fen);
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
  // --measure=N: the six positions once, to iteration N; one line with the
  // node total and the processor seconds spent searching, for bench/compare.sh.
  if (argc == 2 && std::strncmp(argv[1], "--measure=", 10) == 0) {
    const int iterations = std::atoi(argv[1] + 10);
    uint64_t nodes = 0;
    double seconds = 0;
    for (const char* fen : FENS) {
      Result r = search_once(fen, iterations);
      nodes += r.nodes;
      seconds += r.cpu_seconds;
    }
    std::printf("nodes %llu seconds %.6f\n", (unsigned long long)nodes, seconds);
    return 0;
  }
  benchmark::RegisterBenchmark("search/bench_depth8", BM_SearchBench)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond)
      ->Iterations(1)
      ->Repetitions(3);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  std::printf("\n%-8s %12s %10s\n", "position", "nodes", "ms");
  uint64_t total = 0;
  for (int i = 0; i < 6; ++i) {
    Result r = search_once(FENS[i]);
    total += r.nodes;
    std::printf("%-8d %12llu %10.0f\n", i + 1, (unsigned long long)r.nodes, r.seconds * 1000);
  }
  std::printf("Nodes searched: %llu\n", (unsigned long long)total);
  benchmark::Shutdown();
  return 0;
}
