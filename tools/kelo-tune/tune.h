// kelo-tune: self-play data from the modern style's own games, and a
// logistic fit of the modern evaluation's term table to their results.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "eval/modern_terms.h"
#include "position/position.h"

// ---- play ----

struct PlayOptions {
  int games = 100;
  uint64_t nodes = 10000;  // per move: iterations deepen until this many are spent
  int threads = 0;        // 0 for every core
  uint64_t seed = 1;
  std::string openings = "/usr/share/scid/data/scid.eco";
  int random_plies = 4;   // random legal moves after the book line
  int hash_mb = 16;       // per thread
  std::string out;
};

// Plays the games and writes their positions; the process's exit status.
int run_play(const PlayOptions& options);

// The FEN text of a position (the move number counted from the game's start).
std::string fen_of(const Position& pos);

// ---- fit ----

// One term of one position: its index and White's count minus Black's.
struct TuneTerm {
  uint16_t index;
  int16_t diff;
};

// One position in the sparse form the fit works on: the score in White's
// view is mg_factor * sum diff * weight.mg + eg_factor * sum diff * weight.eg
// + fixed, with mg_factor = phase / 24 and eg_factor =
// scale / 64 * (24 - phase) / 24.
struct TuneEntry {
  uint32_t first = 0;  // of its terms in TuneSet::terms
  uint32_t count = 0;
  float mg_factor = 0, eg_factor = 0;
  float fixed = 0;
  float result = 0;  // 1 White won, 0.5 drawn, 0 Black won
};

struct TuneSet {
  std::vector<TuneEntry> entries;
  std::vector<TuneTerm> terms;
};

// Weights as the fit moves them: [term][0 mg, 1 eg].
using TuneWeights = std::vector<std::array<double, 2>>;

TuneWeights starting_weights();
// The entry's score in White's view under the weights.
double entry_score(const TuneSet& set, const TuneEntry& e, const TuneWeights& w);
// Expected result of a White-view score: 1 / (1 + 10^(-k * score / 400)).
double expected_result(double k, double score);
// Mean squared error of the expected results against the game results,
// over `threads` threads.
double mean_error(const TuneSet& set, const TuneWeights& w, double k, int threads);
// The k that minimises mean_error with the given weights.
double fit_scale(const TuneSet& set, const TuneWeights& w, int threads);

struct AdamState {
  std::vector<std::array<double, 2>> m, v;
  int step = 0;
  // A pull of l2 times the distance back toward the anchor (the starting
  // table), so that weights few positions use stay near it.
  double l2 = 0;
  TuneWeights anchor;
};
// Which weights some entry depends on; the others stay as they are.
std::vector<std::array<bool, 2>> weights_with_data(const TuneSet& set);
// One full-batch gradient step of Adam on every weight with data; answers
// the error before the step.
double adam_step(const TuneSet& set, TuneWeights& w, AdamState& adam,
                 const std::vector<std::array<bool, 2>>& tunable, double k, double rate,
                 int threads);

// The weights table as eval/modern_weights.cpp holds it, the values rounded.
std::string weights_source(const TuneWeights& w);

struct FitOptions {
  std::string data;
  int epochs = 300;
  int threads = 2;
  double rate = 1.0;  // Adam's step, in centipawns
  double l2 = 0;      // the pull toward the starting table (AdamState::l2)
  int holdout = 10;   // every holdout-th block of positions is not fitted, only measured; 0 none
  std::string out = "eval/modern_weights.cpp";
};

// Reads "FEN;result" lines and keeps the quiet positions (see dataset.cpp)
// on `threads` threads; false with the problem when the file cannot be read
// or a position's trace does not give its evaluation.
bool load_tune_set(const std::string& path, int threads, TuneSet& set, std::string& problem);

int run_fit(const FitOptions& options);
