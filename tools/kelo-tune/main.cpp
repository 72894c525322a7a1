// kelo-tune: the modern evaluation's weights fitted to KELO's own games.
//   kelo-tune play [--games N] [--nodes N] [--threads N] [--seed S]
//                  [--openings FILE] [--random-plies N] [--hash MB] --out FILE
//   kelo-tune fit --data FILE [--epochs N] [--threads N] [--rate R] [--l2 L] [--holdout N]
//                 [--out FILE]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "position/init.h"
#include "tools/kelo-tune/tune.h"

namespace {

int usage() {
  std::printf(
      "usage:\n"
      "  kelo-tune play [--games N] [--nodes N] [--threads N] [--seed S] [--openings FILE]\n"
      "                 [--random-plies N] [--hash MB] --out FILE\n"
      "      self-play games of the modern style; writes \"FEN;result\" lines\n"
      "  kelo-tune fit --data FILE [--epochs N] [--threads N] [--rate R] [--l2 L] [--holdout N]\n"
      "                [--out eval/modern_weights.cpp]\n"
      "      fits the modern evaluation's table to the positions' results\n");
  return 2;
}

// The options' values, read as --name VALUE pairs; false on an unknown
// name or a missing or malformed value.
struct Arguments {
  int argc;
  char** argv;
  int i = 0;
  const char* value() { return i + 1 < argc ? argv[++i] : nullptr; }
};

bool read_number(const char* text, long long low, long long& out) {
  if (!text) return false;
  char* end = nullptr;
  out = std::strtoll(text, &end, 10);
  return *text && *end == '\0' && out >= low;
}

bool parse_play(Arguments a, PlayOptions& o) {
  for (a.i = 0; a.i < a.argc; ++a.i) {
    const std::string name = a.argv[a.i];
    long long n = 0;
    if (name == "--out" || name == "--openings") {
      const char* v = a.value();
      if (!v) return false;
      (name == "--out" ? o.out : o.openings) = v;
    } else if (name == "--games") {
      if (!read_number(a.value(), 1, n)) return false;
      o.games = int(n);
    } else if (name == "--nodes") {
      if (!read_number(a.value(), 1, n)) return false;
      o.nodes = uint64_t(n);
    } else if (name == "--threads") {
      if (!read_number(a.value(), 1, n)) return false;
      o.threads = int(n);
    } else if (name == "--seed") {
      if (!read_number(a.value(), 0, n)) return false;
      o.seed = uint64_t(n);
    } else if (name == "--random-plies") {
      if (!read_number(a.value(), 0, n)) return false;
      o.random_plies = int(n);
    } else if (name == "--hash") {
      if (!read_number(a.value(), 1, n)) return false;
      o.hash_mb = int(n);
    } else {
      return false;
    }
  }
  return !o.out.empty();
}

bool parse_fit(Arguments a, FitOptions& o) {
  for (a.i = 0; a.i < a.argc; ++a.i) {
    const std::string name = a.argv[a.i];
    long long n = 0;
    if (name == "--data" || name == "--out") {
      const char* v = a.value();
      if (!v) return false;
      (name == "--data" ? o.data : o.out) = v;
    } else if (name == "--epochs") {
      if (!read_number(a.value(), 0, n)) return false;
      o.epochs = int(n);
    } else if (name == "--threads") {
      if (!read_number(a.value(), 1, n)) return false;
      o.threads = int(n);
    } else if (name == "--holdout") {
      if (!read_number(a.value(), 0, n)) return false;
      o.holdout = int(n);
    } else if (name == "--l2") {
      const char* v = a.value();
      if (!v || (o.l2 = std::atof(v)) < 0) return false;
    } else if (name == "--rate") {
      const char* v = a.value();
      if (!v || (o.rate = std::atof(v)) <= 0) return false;
    } else {
      return false;
    }
  }
  return !o.data.empty();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  init_tables();
  const Arguments rest{argc - 2, argv + 2};
  if (std::strcmp(argv[1], "play") == 0) {
    PlayOptions o;
    return parse_play(rest, o) ? run_play(o) : usage();
  }
  if (std::strcmp(argv[1], "fit") == 0) {
    FitOptions o;
    return parse_fit(rest, o) ? run_fit(o) : usage();
  }
  return usage();
}
