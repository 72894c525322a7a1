// Book building over a generated collection of random legal games: the
// whole command, and its parts measured apart (PGN rewriting, SAN replay,
// one counted position, creating the empty table).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "book/book_file.h"
#include "book/make_book.h"
#include "position/attacks.h"
#include "position/fen.h"
#include "position/init.h"
#include "position/makemove.h"
#include "position/movegen.h"

namespace fs = std::filesystem;

namespace {

constexpr int GAME_COUNT = 2000;
constexpr int MAX_PLIES = 80;

bool side_in_check(const Position& pos) {
  const Bitboard king = pos.piece_bb[piece_bb_index(make_piece(Colour(pos.side_to_move), KING))];
  return pos.side_to_move == 1 ? attacked_by_black(pos, lowest_bit(king))
                               : attacked_by_white(pos, lowest_bit(king));
}

std::string square_name(Square sq) { return {char('a' + file_of(sq)), char('0' + rank_of(sq))}; }

// SAN of move i of the top list, before it is made.
std::string san_of(Position& pos, int i) {
  const Move m = pos.move_stack.at(i);
  const Square from = move_from(m), to = move_to(m);
  if (m & MOVE_CASTLE) return file_of(to) == 6 ? "O-O" : "O-O-O";
  const unsigned kind = kind_of(pos.mailbox[from]);
  const bool capture = move_captured(m) || (m & MOVE_EN_PASSANT);
  std::string s;
  if (kind == PAWN) {
    if (capture) s += char('a' + file_of(from));
  } else {
    s += " PNBRQK"[kind];
    bool same_file = false, same_rank = false, other = false;
    for (int j = 0; j < pos.move_stack.count(); ++j) {
      const Move o = pos.move_stack.at(j);
      if (j == i || move_to(o) != to || kind_of(pos.mailbox[move_from(o)]) != kind) continue;
      other = true;
      same_file |= file_of(move_from(o)) == file_of(from);
      same_rank |= rank_of(move_from(o)) == rank_of(from);
    }
    if (other && !same_file) s += char('a' + file_of(from));
    else if (other && !same_rank) s += char('0' + rank_of(from));
    else if (other) s += square_name(from);
  }
  if (capture) s += 'x';
  s += square_name(to);
  if (unsigned p = move_promotion(m)) s += std::string("=") + " PNBRQK"[kind_of(p)];
  return s;
}

// A PGN of random legal games with tags, move numbers, checks and results.
std::string random_games(int count) {
  std::mt19937 rng(20260);
  std::string pgn;
  for (int g = 0; g < count; ++g) {
    pgn += "[Event \"random " + std::to_string(g) + "\"]\n[Site \"bench\"]\n\n";
    Position pos(START_FEN);
    std::string line;
    const char* result = "1/2-1/2";
    for (int ply = 0; ply < MAX_PLIES; ++ply) {
      generate_all(pos);
      const int n = pos.move_stack.count();
      if (n == 0) {
        pos.move_stack.close_level();
        if (side_in_check(pos)) result = pos.side_to_move == 1 ? "0-1" : "1-0";
        break;
      }
      const int i = int(rng() % unsigned(n));
      std::string san = san_of(pos, i);
      make_listed(pos, i);
      pos.move_stack.close_level();
      if (side_in_check(pos)) san += has_legal_move(pos) ? "+" : "#";
      std::string word = (ply % 2 == 0 ? std::to_string(ply / 2 + 1) + ". " : "") + san + " ";
      if (line.size() + word.size() > 79) {
        pgn += line + "\n";
        line.clear();
      }
      line += word;
    }
    pgn += line + result + "\n\n";
  }
  return pgn;
}

struct Corpus {
  fs::path dir;
  std::string pgn;
  Corpus() {
    char pattern[] = "/tmp/kelo-bench-book-XXXXXX";
    dir = mkdtemp(pattern);
    fs::current_path(dir);
    pgn = random_games(GAME_COUNT);
    std::FILE* f = std::fopen("games.pgn", "w");
    std::fwrite(pgn.data(), 1, pgn.size(), f);
    std::fclose(f);
  }
  ~Corpus() { fs::remove_all(dir); }
};

Corpus& corpus() {
  static Corpus c;
  return c;
}

void silence_stdout() { std::freopen("/dev/null", "w", stdout); }

void BM_MakeBook(benchmark::State& state) {
  corpus();
  for (auto _ : state) make_book("games.pgn", BookSettings{});
  state.SetItemsProcessed(state.iterations() * GAME_COUNT);
  state.counters["games_per_s"] =
      benchmark::Counter(double(GAME_COUNT), benchmark::Counter::kIsIterationInvariantRate);
}

// Phase 1 alone: the rewriting of every PGN line in memory.
void BM_RewritePgn(benchmark::State& state) {
  const std::string& pgn = corpus().pgn;
  std::string line;
  for (auto _ : state) {
    size_t at = 0, out = 0;
    while (at < pgn.size()) {
      size_t end = pgn.find('\n', at);
      end = end == std::string::npos ? pgn.size() : end + 1;
      line.assign(pgn, at, end - at);
      if (line[0] != '[') {
        normalise_pgn_line(line);
        out += line.size();
      }
      at = end;
    }
    benchmark::DoNotOptimize(out);
  }
  state.counters["games_per_s"] =
      benchmark::Counter(double(GAME_COUNT), benchmark::Counter::kIsIterationInvariantRate);
}

// The same games as one line, as some PGN writers put a whole file: the
// rewriting should take about as long per game as with a line per move.
void BM_RewriteOneLine(benchmark::State& state) {
  std::string whole = corpus().pgn;
  for (char& c : whole)
    if (c == '\n') c = ' ';
  std::string line;
  for (auto _ : state) {
    line = whole;
    normalise_pgn_line(line);
    benchmark::DoNotOptimize(line.size());
  }
  state.counters["games_per_s"] =
      benchmark::Counter(double(GAME_COUNT), benchmark::Counter::kIsIterationInvariantRate);
}

// The SAN replay of phase 2 without the book file: tokens, generation,
// matching and making, with a fresh position per game.
void BM_ReplaySan(benchmark::State& state) {
  std::vector<std::vector<std::string>> games;
  {
    std::string tokens, pgn_line;
    const std::string& pgn = corpus().pgn;
    for (size_t at = 0; at < pgn.size();) {
      size_t end = pgn.find('\n', at);
      end = end == std::string::npos ? pgn.size() : end + 1;
      pgn_line.assign(pgn, at, end - at);
      if (pgn_line[0] != '[') {
        normalise_pgn_line(pgn_line);
        tokens += pgn_line;
      }
      at = end;
    }
    for (size_t at = 0; at < tokens.size();) {
      size_t end = tokens.find('\n', at);
      if (end == std::string::npos) end = tokens.size();
      games.emplace_back();
      std::string line = tokens.substr(at, end - at);
      for (char* t = std::strtok(line.data(), " ,\t\r"); t; t = std::strtok(nullptr, " ,\t\r"))
        games.back().push_back(t);
      at = end + 1;
    }
  }
  uint64_t plies = 0;
  for (auto _ : state) {
    for (const auto& game : games) {
      Position pos(START_FEN);
      for (const std::string& t : game) {
        SanSquares san;
        generate_all(pos);
        parse_san_token(t.c_str(), pos, san);
        int chosen = -1;
        for (int i = 0; i < pos.move_stack.count() && chosen < 0; ++i) {
          const Move m = pos.move_stack.at(i);
          if ((san.from >> move_from(m) & 1) && (san.to >> move_to(m) & 1) &&
              (san.promotion == 0 || move_promotion(m) == san.promotion))
            chosen = i;
        }
        if (chosen < 0) {
          pos.move_stack.close_level();
          break;
        }
        make_listed(pos, chosen);
        pos.move_stack.close_level();
        ++plies;
      }
    }
  }
  // Plies replayed per game, of at most MAX_PLIES: a SAN token that the
  // replay reads differently (a bare pawn target also taken by a capture, a
  // double disambiguation) ends its game early.
  state.counters["plies_per_game"] = double(plies) / double(state.iterations()) / GAME_COUNT;
  state.counters["games_per_s"] =
      benchmark::Counter(double(GAME_COUNT), benchmark::Counter::kIsIterationInvariantRate);
}

// One counted position: open, seek, read, seek, write, close of book.bin.
void BM_CountPosition(benchmark::State& state) {
  corpus();
  create_book_file(BookSettings{}.slots);
  std::mt19937_64 rng(7);
  for (auto _ : state) count_book_position(rng(), int32_t(rng() & 1), 1, BookSettings{}.max_depth);
}

void BM_CreateBookFile(benchmark::State& state) {
  corpus();
  for (auto _ : state) create_book_file(BookSettings{}.slots);
}

BENCHMARK(BM_MakeBook)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_RewritePgn)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_RewriteOneLine)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_ReplaySan)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_CountPosition)->Unit(benchmark::kMicrosecond)->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_CreateBookFile)->Unit(benchmark::kMillisecond)->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv) {
  init_tables();
  benchmark::Initialize(&argc, argv);
  // make_book's messages would mix with the report: the report goes to
  // standard error, the messages nowhere.
  benchmark::ConsoleReporter reporter;
  reporter.SetOutputStream(&std::cerr);
  reporter.SetErrorStream(&std::cerr);
  silence_stdout();
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
}
