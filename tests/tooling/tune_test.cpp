// kelo-tune's fit and its writer. The tool is a program of its own, outside
// the engine's library: its sources are compiled in here.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "tools/kelo-tune/fit.cpp"
#include "tools/kelo-tune/weights_file.cpp"

namespace {

// The unchanged table comes out as the very file it was compiled from, so a
// fit rewrites only the values it moved.
TEST(Tune, WritesTheWeightsFileItWasCompiledFrom) {
  std::ifstream in(std::string(KELO_SOURCE_DIR) + "/eval/modern_weights.cpp", std::ios::binary);
  ASSERT_TRUE(in);
  std::stringstream file;
  file << in.rdbuf();
  EXPECT_EQ(weights_source(starting_weights()), file.str());
}

// Positions of two terms at several phases, their results the expected
// results of the scores under `truth`.
TuneSet synthetic_set(const TuneWeights& truth, double k) {
  TuneSet set;
  for (int pawns = -2; pawns <= 2; ++pawns)
    for (int pair = -1; pair <= 1; ++pair)
      for (int phase = 0; phase <= MODERN_PHASE_MAX; phase += 4) {
        TuneEntry e;
        e.first = uint32_t(set.terms.size());
        if (pawns) set.terms.push_back({uint16_t(T_MATERIAL), int16_t(pawns)});
        if (pair) set.terms.push_back({uint16_t(T_BISHOP_PAIR), int16_t(pair)});
        e.count = uint32_t(set.terms.size()) - e.first;
        e.mg_factor = float(phase) / MODERN_PHASE_MAX;
        e.eg_factor = 1 - e.mg_factor;
        set.entries.push_back(e);
        set.entries.back().result = float(expected_result(k, entry_score(set, e, truth)));
      }
  return set;
}

TEST(Tune, FitRecoversTheScaleAndTheWeightsTheResultsCameFrom) {
  constexpr double K = 1.3;
  const TuneWeights start = starting_weights();
  // Results of the starting weights: the scale is found again.
  EXPECT_NEAR(fit_scale(synthetic_set(start, K), start, 2), K, 0.01);

  // Results of weights with another bishop pair: the steps go there, the
  // pawn stays, and a weight without data is left as it was.
  TuneWeights truth = start;
  truth[T_BISHOP_PAIR] = {start[T_BISHOP_PAIR][0] + 40, start[T_BISHOP_PAIR][1] - 30};
  const TuneSet set = synthetic_set(truth, K);
  TuneWeights w = start;
  const std::vector<std::array<bool, 2>> tunable = weights_with_data(set);
  EXPECT_TRUE(tunable[T_BISHOP_PAIR][0] && tunable[T_BISHOP_PAIR][1]);
  EXPECT_FALSE(tunable[T_TEMPO][0] || tunable[T_TEMPO][1]);
  AdamState adam;
  const double before = mean_error(set, w, K, 2);
  for (int epoch = 0; epoch < 600; ++epoch) adam_step(set, w, adam, tunable, K, 1.0, 2);
  EXPECT_LT(mean_error(set, w, K, 2), before / 100);
  for (int p = 0; p < 2; ++p) {
    EXPECT_NEAR(w[T_BISHOP_PAIR][p], truth[T_BISHOP_PAIR][p], 2) << p;
    EXPECT_NEAR(w[T_MATERIAL][p], start[T_MATERIAL][p], 2) << p;
    EXPECT_EQ(w[T_TEMPO][p], start[T_TEMPO][p]) << p;
  }
}

}  // namespace
