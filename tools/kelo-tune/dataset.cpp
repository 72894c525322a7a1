// `kelo-tune fit`: reads the played positions, keeps the quiet ones in the
// sparse form of their evaluation's trace, and runs the fit.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "eval/modern_eval.h"
#include "position/movegen.h"
#include "search/modern_internal.h"
#include "search/modern_search.h"
#include "tools/kelo-tune/tune.h"

namespace {

double seconds_since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

struct LoadCounts {
  uint64_t lines = 0, malformed = 0, in_check = 0, not_quiet = 0, drawn = 0, extreme = 0, kept = 0;
  // A position whose trace does not give its score: the first one found.
  std::string mismatch;

  void add(const LoadCounts& o) {
    lines += o.lines, malformed += o.malformed, in_check += o.in_check;
    not_quiet += o.not_quiet, drawn += o.drawn, extreme += o.extreme, kept += o.kept;
    if (mismatch.empty()) mismatch = o.mismatch;
  }
};

// Scores this far from 0 may be the evaluation's clamp, which the linear
// form does not follow.
constexpr int32_t EXTREME_SCORE = 8000;

// The score the header's linear form gives from the trace and the table,
// in integers as the evaluation computes it, White's view.
int64_t linear_white_score(const ModernTrace& trace) {
  int64_t mg = 0, eg = 0;
  for (int i = 0; i < TERM_COUNT; ++i) {
    const int64_t diff = trace.count[i][1] - trace.count[i][0];
    mg += diff * MODERN_WEIGHTS[i].mg;
    eg += diff * MODERN_WEIGHTS[i].eg;
  }
  return (mg * trace.phase + eg * trace.scale / MODERN_SCALE_NORMAL * (MODERN_PHASE_MAX - trace.phase)) /
             MODERN_PHASE_MAX +
         trace.fixed;
}

// The quiescence search's score with a full window, from a fresh state and
// no table: the static score stands unless a capture line improves on it.
int32_t quiescence(Position& pos, ModernThread& t) {
  t.root_history = pos.history.count;
  t.null_min_ply = 0;
  for (int ply = -4; ply < 0; ++ply) {
    t.frame(ply) = ModernFrame{};
    t.frame(ply).cont = &t.no_continuation;
  }
  const int32_t score = modern_qsearch(pos, t, -SCORE_INFINITE, SCORE_INFINITE, 0);
  pos.node_count = 0;
  return score;
}

// Reads the lines [first, last) into part; "FEN;result", result from White's view.
void load_slice(const std::vector<std::string>& lines, size_t first, size_t last, TuneSet& part,
                LoadCounts& counts) {
  auto thread = std::make_unique<ModernThread>();
  PawnCache cache;
  auto trace = std::make_unique<ModernTrace>();
  for (size_t n = first; n < last; ++n) {
    const std::string& line = lines[n];
    ++counts.lines;
    const size_t semi = line.find(';');
    if (semi == std::string::npos) {
      ++counts.malformed;
      continue;
    }
    char* end = nullptr;
    const double result = std::strtod(line.c_str() + semi + 1, &end);
    if (end == line.c_str() + semi + 1 || result < 0 || result > 1) {
      ++counts.malformed;
      continue;
    }
    Position pos(line.substr(0, semi).c_str());
    if (popcount(pos.piece_bb[10]) != 1 || popcount(pos.piece_bb[11]) != 1) {
      ++counts.malformed;
      continue;
    }
    if (king_guard(pos).in_check) {
      ++counts.in_check;
      continue;
    }
    const int32_t eval = modern_evaluate(pos, cache);
    if (quiescence(pos, *thread) != eval) {
      ++counts.not_quiet;
      continue;
    }
    const int32_t traced = modern_evaluate_traced(pos, *trace);
    const int32_t white = pos.side_to_move == 1 ? traced : -traced;
    if (trace->drawn) {
      ++counts.drawn;
      continue;
    }
    if (white > EXTREME_SCORE || white < -EXTREME_SCORE) {
      ++counts.extreme;
      continue;
    }
    const int64_t linear = linear_white_score(*trace);
    if ((traced != eval || linear != white) && counts.mismatch.empty())
      counts.mismatch = line + ": modern_evaluate " + std::to_string(eval) + ", traced " +
                        std::to_string(traced) + ", from the trace (White's view) " +
                        std::to_string(linear) + " against " + std::to_string(white);
    TuneEntry e;
    e.first = uint32_t(part.terms.size());
    for (int i = 0; i < TERM_COUNT; ++i)
      if (const int diff = trace->count[i][1] - trace->count[i][0])
        part.terms.push_back(TuneTerm{uint16_t(i), int16_t(diff)});
    e.count = uint32_t(part.terms.size()) - e.first;
    e.mg_factor = float(trace->phase) / MODERN_PHASE_MAX;
    e.eg_factor = float(trace->scale) / MODERN_SCALE_NORMAL * float(MODERN_PHASE_MAX - trace->phase) /
                  MODERN_PHASE_MAX;
    e.fixed = float(trace->fixed);
    e.result = float(result);
    part.entries.push_back(e);
    ++counts.kept;
  }
}

// Moves every n-th block of entries (from the first) into a set of its own.
// Blocks of 1000, fewer in a small set, not single positions: a game's
// positions follow one another in the file and look alike, so most of a
// game stays on one side.
TuneSet split_off(TuneSet& set, int n) {
  TuneSet kept, held;
  if (n <= 0) return held;
  const size_t block = std::clamp<size_t>(set.entries.size() / (10 * size_t(n)), 1, 1000);
  for (size_t i = 0; i < set.entries.size(); ++i) {
    TuneSet& to = (i / block) % size_t(n) == 0 ? held : kept;
    TuneEntry e = set.entries[i];
    const auto first = set.terms.begin() + e.first;
    e.first = uint32_t(to.terms.size());
    to.terms.insert(to.terms.end(), first, first + e.count);
    to.entries.push_back(e);
  }
  set = std::move(kept);
  return held;
}

}  // namespace

bool load_tune_set(const std::string& path, int threads, TuneSet& set, std::string& problem) {
  std::ifstream in(path);
  if (!in) {
    problem = "cannot read " + path;
    return false;
  }
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) lines.push_back(line);
  threads = std::max(1, threads);
  std::vector<TuneSet> parts(static_cast<size_t>(threads));
  std::vector<LoadCounts> counts(static_cast<size_t>(threads));
  std::vector<std::thread> workers;
  const size_t n = lines.size();
  for (int k = 0; k < threads; ++k)
    workers.emplace_back(load_slice, std::cref(lines), n * size_t(k) / size_t(threads),
                         n * size_t(k + 1) / size_t(threads), std::ref(parts[size_t(k)]),
                         std::ref(counts[size_t(k)]));
  for (std::thread& t : workers) t.join();
  LoadCounts total;
  set = TuneSet{};
  for (int k = 0; k < threads; ++k) {
    total.add(counts[size_t(k)]);
    const uint32_t offset = uint32_t(set.terms.size());
    for (TuneEntry e : parts[size_t(k)].entries) {
      e.first += offset;
      set.entries.push_back(e);
    }
    set.terms.insert(set.terms.end(), parts[size_t(k)].terms.begin(), parts[size_t(k)].terms.end());
  }
  std::printf("positions %llu: kept %llu; left out: in check %llu, not quiet %llu, known draws %llu, "
              "extreme scores %llu, malformed %llu\n",
              (unsigned long long)total.lines, (unsigned long long)total.kept,
              (unsigned long long)total.in_check, (unsigned long long)total.not_quiet,
              (unsigned long long)total.drawn, (unsigned long long)total.extreme,
              (unsigned long long)total.malformed);
  if (!total.mismatch.empty()) {
    problem = "the trace does not give the evaluation's score: " + total.mismatch;
    return false;
  }
  return true;
}

int run_fit(const FitOptions& o) {
  // The writer walks the groups: they must cover the table in order.
  int next = 0;
  for (int g = 0; g < TERM_GROUP_COUNT; ++g) {
    if (TERM_GROUPS[g].first != next) {
      std::fprintf(stderr, "kelo-tune: term group \"%s\" starts at %d, not %d\n", TERM_GROUPS[g].name,
                   TERM_GROUPS[g].first, next);
      return 1;
    }
    next += TERM_GROUPS[g].count;
  }
  if (next != TERM_COUNT) {
    std::fprintf(stderr, "kelo-tune: the term groups cover %d of %d terms\n", next, TERM_COUNT);
    return 1;
  }

  const auto t0 = std::chrono::steady_clock::now();
  TuneSet set;
  std::string problem;
  if (!load_tune_set(o.data, o.threads, set, problem)) {
    std::fprintf(stderr, "kelo-tune: %s\n", problem.c_str());
    return 1;
  }
  std::printf("read in %.1f s; %zu terms stored, %.1f a position\n", seconds_since(t0),
              set.terms.size(), set.entries.empty() ? 0.0 : double(set.terms.size()) / double(set.entries.size()));
  if (set.entries.empty()) {
    std::fprintf(stderr, "kelo-tune: no quiet position to fit\n");
    return 1;
  }

  const TuneSet held = split_off(set, o.holdout);
  if (set.entries.empty()) {
    std::fprintf(stderr, "kelo-tune: every position is held out\n");
    return 1;
  }
  // The error of the held-out positions, which the fit does not see: it
  // stops falling when the steps start to fit the noise of the others.
  auto held_error = [&](const TuneWeights& w, double k) {
    return held.entries.empty() ? 0.0 : mean_error(held, w, k, o.threads);
  };
  std::printf("%zu positions to fit, %zu held out\n", set.entries.size(), held.entries.size());

  TuneWeights w = starting_weights();
  const double k = fit_scale(set, w, o.threads);
  std::printf("K %.4f, error %.8f (held out %.8f) with the starting weights\n", k,
              mean_error(set, w, k, o.threads), held_error(w, k));
  const std::vector<std::array<bool, 2>> tunable = weights_with_data(set);
  int free_weights = 0;
  for (const std::array<bool, 2>& t : tunable) free_weights += t[0] + t[1];
  std::printf("%d of %d weights have data\n", free_weights, 2 * TERM_COUNT);

  AdamState adam;
  adam.l2 = o.l2;
  adam.anchor = w;
  // With positions held out, the weights written are those of the epoch
  // whose held-out error was least: past it the steps fit the noise.
  TuneWeights best = w;
  double best_held = held_error(w, k);
  int best_epoch = 0;
  for (int epoch = 1; epoch <= o.epochs; ++epoch) {
    // Both errors as the epoch found the weights.
    const double held_before = held_error(w, k);
    if (!held.entries.empty() && held_before < best_held)
      best_held = held_before, best = w, best_epoch = epoch - 1;
    const auto e0 = std::chrono::steady_clock::now();
    const double error = adam_step(set, w, adam, tunable, k, o.rate, o.threads);
    std::printf("epoch %d error %.8f held out %.8f (%.3f s)\n", epoch, error, held_before,
                seconds_since(e0));
    std::fflush(stdout);
  }
  std::printf("error %.8f (held out %.8f) after %d epochs\n", mean_error(set, w, k, o.threads),
              held_error(w, k), o.epochs);
  if (!held.entries.empty() && held_error(w, k) >= best_held) {
    w = best;
    std::printf("kept the weights after epoch %d: error %.8f, held out %.8f\n", best_epoch,
                mean_error(set, w, k, o.threads), best_held);
  }

  const std::string text = weights_source(w);
  std::ofstream out(o.out, std::ios::binary);
  out << text;
  out.close();
  if (!out) {
    std::fprintf(stderr, "kelo-tune: cannot write %s\n", o.out.c_str());
    return 1;
  }
  int changed = 0;
  for (int i = 0; i < TERM_COUNT; ++i)
    changed += (std::lround(w[size_t(i)][0]) != MODERN_WEIGHTS[i].mg) +
               (std::lround(w[size_t(i)][1]) != MODERN_WEIGHTS[i].eg);
  std::printf("wrote %s: %d weights changed; %.1f s in all\n", o.out.c_str(), changed, seconds_since(t0));
  return 0;
}
