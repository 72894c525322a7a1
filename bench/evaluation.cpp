// The two styles' evaluations over the bench positions after each legal
// move, and what the modern one's material and square values alone cost
// when summed from the board: the most that keeping them move by move in
// the position could save.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "engine/bench.h"
#include "eval/evaluate.h"
#include "eval/modern_eval.h"
#include "position/init.h"
#include "position/makemove.h"
#include "position/movegen.h"

namespace {

// The bench positions after each of their legal moves.
std::vector<std::unique_ptr<Position>> sample_positions() {
  std::vector<std::unique_ptr<Position>> out;
  for (const char* fen : BENCH_FENS) {
    Position root(fen);
    root.move_stack.open_level();
    generate_all(root);
    for (int i = 0; i < root.move_stack.count(); ++i) {
      make_move(root, root.move_stack.at(i));
      auto p = std::make_unique<Position>();
      *p = root;
      out.push_back(std::move(p));
      unmake_move(root);
    }
    root.move_stack.close_level();
  }
  return out;
}

const std::vector<std::unique_ptr<Position>>& positions() {
  static const auto all = sample_positions();
  return all;
}

void BM_ClassicEvaluate(benchmark::State& state) {
  for (auto _ : state)
    for (const auto& p : positions()) benchmark::DoNotOptimize(evaluate(*p));
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(positions().size()));
}

void BM_ModernEvaluate(benchmark::State& state) {
  PawnCache cache;
  for (auto _ : state)
    for (const auto& p : positions()) benchmark::DoNotOptimize(modern_evaluate(*p, cache));
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(positions().size()));
}

// Material and square values of every piece, summed from the bitboards.
void BM_ModernMaterialAndSquares(benchmark::State& state) {
  for (auto _ : state) {
    for (const auto& p : positions()) {
      int32_t mg = 0, eg = 0;
      for (int index = 0; index < 12; ++index) {
        const int kind = index / 2;
        const bool white = index % 2 == 0;
        for (Bitboard b = p->piece_bb[index]; b;) {
          const Square sq = pop_lowest(b);
          const TermValue& w = MODERN_WEIGHTS[T_PST + 64 * kind + (white ? sq : sq ^ 56)];
          const TermValue m = kind < 5 ? MODERN_WEIGHTS[T_MATERIAL + kind] : TermValue{};
          mg += (white ? 1 : -1) * (w.mg + m.mg);
          eg += (white ? 1 : -1) * (w.eg + m.eg);
        }
      }
      benchmark::DoNotOptimize(mg);
      benchmark::DoNotOptimize(eg);
    }
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(positions().size()));
}

}  // namespace

BENCHMARK(BM_ClassicEvaluate)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ModernEvaluate)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ModernMaterialAndSquares)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
  init_tables();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
