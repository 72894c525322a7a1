// Perft speed on one thread: KELO and the reference engine's own perft
// (Debian's stockfish, when installed) both count the last ply's moves
// without making them. Runs alternate between the two so that machine noise
// hits both alike; the summary gives median leaves per second and their ratio.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "position/init.h"
#include "position/perft.h"

namespace {

struct Case {
  const char* name;
  const char* fen;
  int depth;
  int64_t leaves;
};

const Case CASES[] = {
    {"start", "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", 6, 119060324},
    {"kiwipete", "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", 5,
     193690690},
};

const char* REFERENCE = "/usr/games/stockfish";

double seconds_since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

double cpu_now() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Processor seconds of one perft: the load of other programs counts less.
double kelo_cpu_seconds(const Case& c) {
  Position pos(c.fen);
  const double t0 = cpu_now();
  int64_t n = perft(pos, c.depth);
  const double s = cpu_now() - t0;
  if (n != c.leaves) std::fprintf(stderr, "wrong count %lld for %s\n", (long long)n, c.name);
  return s;
}

double kelo_seconds(const Case& c) {
  Position pos(c.fen);
  auto t0 = std::chrono::steady_clock::now();
  int64_t n = perft(pos, c.depth);
  double s = seconds_since(t0);
  if (n != c.leaves) std::fprintf(stderr, "wrong count %lld for %s\n", (long long)n, c.name);
  return s;
}

// Seconds of the reference's perft alone: its start-up is timed separately
// and taken off.
double reference_seconds(const Case& c) {
  auto run = [&](int depth) {
    std::string cmd = std::string("printf 'position fen ") + c.fen + "\\ngo perft " +
                      std::to_string(depth) + "\\nquit\\n' | " + REFERENCE + " >/dev/null 2>&1";
    auto t0 = std::chrono::steady_clock::now();
    if (std::system(cmd.c_str()) != 0) return -1.0;
    return seconds_since(t0);
  };
  double startup = run(1);
  double total = run(c.depth);
  if (startup < 0 || total < 0) return -1.0;
  return std::max(total - startup, 1e-3);
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void BM_Perft(benchmark::State& state, const Case* c) {
  for (auto _ : state) state.SetIterationTime(kelo_seconds(*c));
  state.counters["leaves_per_s"] =
      benchmark::Counter(double(c->leaves) * double(state.iterations()), benchmark::Counter::kIsRate);
}

}  // namespace

int main(int argc, char** argv) {
  init_tables();
  // --measure=NAME: one perft of the named case; one line with the leaves and
  // the processor seconds it took, for bench/compare.sh.
  if (argc == 2 && std::strncmp(argv[1], "--measure=", 10) == 0) {
    for (const Case& c : CASES)
      if (std::strcmp(argv[1] + 10, c.name) == 0) {
        const double s = kelo_cpu_seconds(c);
        std::printf("leaves %lld seconds %.6f\n", (long long)c.leaves, s);
        return 0;
      }
    return 1;
  }
  for (const Case& c : CASES)
    benchmark::RegisterBenchmark((std::string("perft/") + c.name).c_str(), BM_Perft, &c)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1)
        ->Repetitions(3);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();

  bool have_reference = std::system((std::string("test -x ") + REFERENCE).c_str()) == 0;
  std::printf("\n%-10s %6s %16s %16s %8s\n", "position", "depth", "KELO leaves/s",
              "reference/s", "ratio");
  for (const Case& c : CASES) {
    std::vector<double> ours, theirs;
    for (int i = 0; i < 5; ++i) {
      ours.push_back(kelo_seconds(c));
      if (have_reference) theirs.push_back(reference_seconds(c));
    }
    double kelo_rate = double(c.leaves) / median(ours);
    if (have_reference && median(theirs) > 0) {
      double ref_rate = double(c.leaves) / median(theirs);
      std::printf("%-10s %6d %16.0f %16.0f %8.3f\n", c.name, c.depth, kelo_rate, ref_rate,
                  kelo_rate / ref_rate);
    } else {
      std::printf("%-10s %6d %16.0f %16s %8s\n", c.name, c.depth, kelo_rate, "n/a", "n/a");
    }
  }
  benchmark::Shutdown();
  return 0;
}
