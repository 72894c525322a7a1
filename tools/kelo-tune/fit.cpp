// Texel's method: the game results of quiet positions against a logistic
// curve of the evaluation, the scale constant fitted first, then full-batch
// Adam steps over every midgame and endgame weight of the table.
#include <algorithm>
#include <cmath>
#include <thread>
#include <vector>

#include "tools/kelo-tune/tune.h"

namespace {

constexpr double LN10_OVER_400 = 2.302585092994046 / 400;

// Runs part(first, last, k) over `threads` contiguous slices of the entries,
// one thread each, and waits for them.
template <typename Part>
void over_slices(const TuneSet& set, int threads, Part part) {
  const size_t n = set.entries.size();
  threads = std::max(1, std::min<int>(threads, int(n / 1024) + 1));
  std::vector<std::thread> workers;
  for (int k = 1; k < threads; ++k)
    workers.emplace_back(part, n * size_t(k) / size_t(threads), n * size_t(k + 1) / size_t(threads), k);
  part(size_t(0), n / size_t(threads), 0);
  for (std::thread& t : workers) t.join();
}

}  // namespace

TuneWeights starting_weights() {
  TuneWeights w(TERM_COUNT);
  for (int i = 0; i < TERM_COUNT; ++i) w[size_t(i)] = {double(MODERN_WEIGHTS[i].mg), double(MODERN_WEIGHTS[i].eg)};
  return w;
}

double entry_score(const TuneSet& set, const TuneEntry& e, const TuneWeights& w) {
  double mg = 0, eg = 0;
  for (uint32_t i = e.first; i < e.first + e.count; ++i) {
    const TuneTerm& t = set.terms[i];
    mg += t.diff * w[t.index][0];
    eg += t.diff * w[t.index][1];
  }
  return e.mg_factor * mg + e.eg_factor * eg + e.fixed;
}

double expected_result(double k, double score) { return 1 / (1 + std::exp(-k * LN10_OVER_400 * score)); }

double mean_error(const TuneSet& set, const TuneWeights& w, double k, int threads) {
  std::vector<double> sums(size_t(std::max(1, threads)), 0.0);
  over_slices(set, threads, [&](size_t first, size_t last, int slice) {
    double sum = 0;
    for (size_t i = first; i < last; ++i) {
      const TuneEntry& e = set.entries[i];
      const double d = e.result - expected_result(k, entry_score(set, e, w));
      sum += d * d;
    }
    sums[size_t(slice)] = sum;
  });
  double total = 0;
  for (double s : sums) total += s;
  return set.entries.empty() ? 0 : total / double(set.entries.size());
}

// The error is smooth and has one minimum in k: a scan over a range,
// narrowed around its best point ten times.
double fit_scale(const TuneSet& set, const TuneWeights& w, int threads) {
  double low = 0, high = 4, best = 1;
  for (int round = 0; round < 10; ++round) {
    const double step = (high - low) / 10;
    double best_error = 2;
    for (int i = 0; i <= 10; ++i) {
      const double k = low + step * i;
      const double error = mean_error(set, w, k, threads);
      if (error < best_error) best_error = error, best = k;
    }
    low = std::max(0.0, best - step);
    high = best + step;
  }
  return best;
}

std::vector<std::array<bool, 2>> weights_with_data(const TuneSet& set) {
  std::vector<std::array<bool, 2>> has(TERM_COUNT, {false, false});
  for (const TuneEntry& e : set.entries)
    for (uint32_t i = e.first; i < e.first + e.count; ++i) {
      if (set.terms[i].diff == 0) continue;
      if (e.mg_factor != 0) has[set.terms[i].index][0] = true;
      if (e.eg_factor != 0) has[set.terms[i].index][1] = true;
    }
  return has;
}

double adam_step(const TuneSet& set, TuneWeights& w, AdamState& adam,
                 const std::vector<std::array<bool, 2>>& tunable, double k, double rate,
                 int threads) {
  constexpr double BETA1 = 0.9, BETA2 = 0.999, EPSILON = 1e-8;
  const size_t slices = size_t(std::max(1, threads));
  std::vector<TuneWeights> grads(slices, TuneWeights(TERM_COUNT, {0.0, 0.0}));
  std::vector<double> errors(slices, 0.0);
  over_slices(set, threads, [&](size_t first, size_t last, int slice) {
    TuneWeights& g = grads[size_t(slice)];
    double sum = 0;
    for (size_t i = first; i < last; ++i) {
      const TuneEntry& e = set.entries[i];
      const double s = expected_result(k, entry_score(set, e, w));
      const double d = e.result - s;
      sum += d * d;
      // d(error)/d(score) of this entry: -2 (r - s) s (1 - s) k ln10 / 400.
      const double slope = -2 * d * s * (1 - s) * k * LN10_OVER_400;
      const double mg = slope * e.mg_factor, eg = slope * e.eg_factor;
      for (uint32_t j = e.first; j < e.first + e.count; ++j) {
        const TuneTerm& t = set.terms[j];
        g[t.index][0] += mg * t.diff;
        g[t.index][1] += eg * t.diff;
      }
    }
    errors[size_t(slice)] = sum;
  });
  const double n = double(std::max<size_t>(1, set.entries.size()));
  if (adam.m.empty()) {
    adam.m.assign(TERM_COUNT, {0.0, 0.0});
    adam.v.assign(TERM_COUNT, {0.0, 0.0});
  }
  ++adam.step;
  const double correct1 = 1 - std::pow(BETA1, adam.step), correct2 = 1 - std::pow(BETA2, adam.step);
  for (size_t i = 0; i < size_t(TERM_COUNT); ++i)
    for (int p = 0; p < 2; ++p) {
      if (!tunable[i][size_t(p)]) continue;
      double g = 0;
      for (const TuneWeights& part : grads) g += part[i][size_t(p)];
      g /= n;
      if (adam.l2 > 0 && !adam.anchor.empty()) g += adam.l2 * (w[i][size_t(p)] - adam.anchor[i][size_t(p)]);
      double& m = adam.m[i][size_t(p)];
      double& v = adam.v[i][size_t(p)];
      m = BETA1 * m + (1 - BETA1) * g;
      v = BETA2 * v + (1 - BETA2) * g * g;
      w[i][size_t(p)] -= rate * (m / correct1) / (std::sqrt(v / correct2) + EPSILON);
    }
  double total = 0;
  for (double e : errors) total += e;
  return total / n;
}
