// `kelo-tune play`: self-play games of the modern style from book lines and
// random plies, on every core, each game's quiet positions written with its
// result.
//
// The stop flag of the search is one for the process, and a node limit
// raises it: on several threads one game's limit would stop the others'
// searches. So no search here has a node limit; a move deepens, one whole
// search after the other, until the nodes spent on it reach the budget.
// Each game starts from an empty table and fresh histories, so that a game
// depends on the seed and its number only, whatever the thread count.
#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "book/make_book.h"
#include "engine/engine.h"
#include "position/fen.h"
#include "position/game_end.h"
#include "position/makemove.h"
#include "position/movegen.h"
#include "position/movetext.h"
#include "search/modern_search.h"
#include "search/tt.h"
#include "tools/kelo-tune/tune.h"

namespace {

// Adjudication, White's view of the searches' scores: a win once they stay
// at or beyond WIN_SCORE for WIN_PLIES plies in a row, a draw once they stay
// within DRAW_SCORE for DRAW_PLIES plies in a row from ply DRAW_FROM_PLY on
// (move 41), and a draw at MAX_PLIES.
constexpr int32_t WIN_SCORE = 1000;
constexpr int WIN_PLIES = 6;
constexpr int32_t DRAW_SCORE = 10;
constexpr int DRAW_PLIES = 12;
constexpr int DRAW_FROM_PLY = 80;
constexpr int MAX_PLIES = 400;
// An opening whose search scores beyond this for either side is drawn again.
constexpr int32_t LOPSIDED = 150;
constexpr int OPENING_TRIES = 20;
// The deepest search a move deepens to (a found mate spends few nodes).
constexpr int MAX_DEPTH = 40;

using Clock = std::chrono::steady_clock;

// The moves of one book line of the ECO file, from the initial position.
using BookLine = std::vector<Move>;

// A SAN token of the file in the form parse_san_token reads: no move
// number, capture, check or promotion marks.
std::string bare_token(const std::string& token) {
  size_t i = 0;
  while (i < token.size() && (std::isdigit(static_cast<unsigned char>(token[i])) || token[i] == '.')) ++i;
  std::string bare;
  for (; i < token.size(); ++i)
    if (std::string("x+#=!?").find(token[i]) == std::string::npos) bare += token[i];
  return bare;
}

// The line's moves up to the first one that does not name a legal move.
BookLine play_book_moves(const std::string& moves) {
  Position pos(START_FEN);
  BookLine line;
  size_t at = 0;
  while (at < moves.size()) {
    const size_t start = moves.find_first_not_of(" \t\r\n", at);
    if (start == std::string::npos) break;
    const size_t end = std::min(moves.find_first_of(" \t\r\n", start), moves.size());
    at = end;
    const std::string token = bare_token(moves.substr(start, end - start));
    if (token.empty()) continue;
    SanSquares san;
    parse_san_token(token.c_str(), pos, san);
    Move chosen = 0;
    for (Move m : legal_move_list(pos))
      if ((san.from & square_bb(move_from(m))) && (san.to & square_bb(move_to(m))) &&
          (san.promotion == 0 || move_promotion(m) == san.promotion)) {
        chosen = m;
        break;
      }
    if (!chosen) break;
    make_move(pos, chosen);
    line.push_back(chosen);
  }
  return line;
}

// Every record of the file: a code, a quoted name, the moves, "*", possibly
// over several lines; "#" starts a comment line.
std::vector<BookLine> read_openings(const std::string& path) {
  std::ifstream in(path);
  std::vector<BookLine> lines;
  std::string record, text;
  while (std::getline(in, text)) {
    if (!text.empty() && text[0] == '#') continue;
    record += ' ' + text;
    const size_t last = record.find_last_not_of(" \t\r");
    if (last == std::string::npos || record[last] != '*') continue;
    const size_t open = record.find('"');
    const size_t close = open == std::string::npos ? open : record.find('"', open + 1);
    if (close != std::string::npos && close < last) {
      BookLine line = play_book_moves(record.substr(close + 1, last - close - 1));
      if (!line.empty()) lines.push_back(std::move(line));
    }
    record.clear();
  }
  return lines;
}

struct Thought {
  Move best = 0;
  int32_t score = 0;  // for the side to move
  uint64_t nodes = 0;
  bool forced = false;  // a single legal move, played without a search
};

// Deepens until the budget is spent, starting two iterations short of the
// depth the last move reached (depth_hint), which it then updates.
Thought think(Position& pos, ModernThread& t, uint64_t budget, int& depth_hint) {
  SearchLimits limits;
  Thought thought;
  int depth = std::max(1, depth_hint - 2);
  for (;; ++depth) {
    limits.iteration_limit = depth;
    ++t.generation;
    const SearchResult r = modern_search_root(pos, t, limits, SearchReport{});
    thought.best = r.best;
    thought.score = r.score;
    thought.nodes += r.nodes;
    if (r.legal_moves <= 1) {
      thought.forced = true;
      return thought;
    }
    if (thought.nodes >= budget || depth >= MAX_DEPTH || r.score >= MATE_BOUND ||
        r.score <= -MATE_BOUND)
      break;
  }
  depth_hint = depth;
  return thought;
}

enum Ending { MATE, RULE_DRAW, ADJUDICATED_WIN, ADJUDICATED_DRAW, TOO_LONG, ENDINGS };
constexpr const char* ENDING_NAMES[ENDINGS] = {"mate", "drawn by rule", "adjudicated win",
                                               "adjudicated draw", "drawn at the ply limit"};

struct GameRecord {
  std::string text;  // "FEN;result" lines
  int positions = 0;
  int plies = 0;  // searched moves, after the opening
  uint64_t nodes = 0;
  double result = 0.5;
  Ending ending = TOO_LONG;
  int redrawn = 0;  // openings drawn again as lopsided or ended
};

struct Worker {
  TranspositionTable tt;
  Position start{START_FEN};
  Position pos;
  std::unique_ptr<ModernThread> thread;
};

// Plays the book line to a random depth and then random plies; false when
// the game ends on the way.
bool play_opening(Position& pos, const BookLine& line, int random_plies, std::mt19937_64& rng) {
  const size_t plies = line.size() / 2 + rng() % (line.size() - line.size() / 2 + 1);
  for (size_t i = 0; i < plies; ++i) make_move(pos, line[i]);
  for (int i = 0; i < random_plies; ++i) {
    const std::vector<Move> moves = legal_move_list(pos);
    if (moves.empty()) return false;
    make_move(pos, moves[rng() % moves.size()]);
  }
  return game_result(pos) == nullptr;
}

GameRecord play_game(Worker& w, const PlayOptions& o, const std::vector<BookLine>& openings,
                     uint64_t index) {
  std::seed_seq seq{uint32_t(o.seed), uint32_t(o.seed >> 32), uint32_t(index), uint32_t(index >> 32)};
  std::mt19937_64 rng(seq);
  tt_clear(w.tt);
  w.thread = std::make_unique<ModernThread>();
  ModernThread& t = *w.thread;
  Position& pos = w.pos;
  GameRecord game;
  int depth_hint = 1;
  for (int attempt = 0;; ++attempt) {
    pos = w.start;
    if (!play_opening(pos, openings[rng() % openings.size()], o.random_plies, rng)) {
      ++game.redrawn;
      continue;
    }
    const Thought first = think(pos, t, o.nodes, depth_hint);
    if (attempt + 1 >= OPENING_TRIES || (first.score <= LOPSIDED && first.score >= -LOPSIDED)) break;
    ++game.redrawn;
  }

  std::vector<std::string> fens;
  int win_run = 0;  // plies in a row beyond WIN_SCORE: positive for White, negative for Black
  int draw_run = 0;
  for (;;) {
    if (const char* r = game_result(pos)) {
      game.result = r[0] == '1' && r[1] == '-' ? 1.0 : r[0] == '0' ? 0.0 : 0.5;
      game.ending = game.result == 0.5 ? RULE_DRAW : MATE;
      break;
    }
    if (pos.history.count >= MAX_PLIES) {
      game.ending = TOO_LONG;
      break;
    }
    const bool in_check = king_guard(pos).in_check;
    const Thought thought = think(pos, t, o.nodes, depth_hint);
    game.nodes += thought.nodes;
    ++game.plies;
    if (!thought.forced) {
      const int32_t white = pos.side_to_move == 1 ? thought.score : -thought.score;
      win_run = white >= WIN_SCORE ? std::max(win_run, 0) + 1 : white <= -WIN_SCORE ? std::min(win_run, 0) - 1 : 0;
      draw_run = pos.history.count >= DRAW_FROM_PLY && white <= DRAW_SCORE && white >= -DRAW_SCORE ? draw_run + 1 : 0;
    }
    // Quiet positions only: not in check, and the search's move neither a
    // capture nor a promotion (the score would hang on the exchange).
    if (!in_check && !(thought.best & MOVE_TACTICAL_MASK)) fens.push_back(fen_of(pos));
    if (win_run >= WIN_PLIES || win_run <= -WIN_PLIES) {
      game.result = win_run > 0 ? 1.0 : 0.0;
      game.ending = ADJUDICATED_WIN;
      break;
    }
    if (draw_run >= DRAW_PLIES) {
      game.ending = ADJUDICATED_DRAW;
      break;
    }
    make_move(pos, thought.best);
  }
  const char* result = game.result == 1.0 ? ";1.0\n" : game.result == 0.0 ? ";0.0\n" : ";0.5\n";
  for (const std::string& fen : fens) game.text += fen + result;
  game.positions = int(fens.size());
  return game;
}

struct Tally {
  std::mutex lock;
  std::ofstream out;
  std::vector<std::unique_ptr<GameRecord>> done;  // by game number, until written
  uint64_t written = 0;  // games written, in order of their numbers
  uint64_t finished = 0;
  uint64_t white = 0, draws = 0, black = 0, positions = 0, plies = 0, nodes = 0, redrawn = 0;
  uint64_t endings[ENDINGS] = {};
};

double seconds_since(Clock::time_point t0) {
  return std::chrono::duration<double>(Clock::now() - t0).count();
}

void report(const Tally& s, const PlayOptions& o, Clock::time_point t0) {
  const double seconds = seconds_since(t0);
  std::printf("games %llu/%d (+%llu =%llu -%llu) positions %llu, %.1f a game; %.1f s a game "
              "on a thread, %.2f games a minute\n",
              (unsigned long long)s.finished, o.games, (unsigned long long)s.white,
              (unsigned long long)s.draws, (unsigned long long)s.black,
              (unsigned long long)s.positions, double(s.positions) / double(s.finished),
              seconds / double(s.finished) * double(std::max(1, o.threads)), 60.0 * double(s.finished) / seconds);
  std::fflush(stdout);
}

void record(Tally& s, uint64_t index, std::unique_ptr<GameRecord> game, const PlayOptions& o,
            Clock::time_point t0) {
  std::lock_guard<std::mutex> guard(s.lock);
  ++s.finished;
  (game->result == 1.0 ? s.white : game->result == 0.0 ? s.black : s.draws) += 1;
  s.positions += uint64_t(game->positions);
  s.plies += uint64_t(game->plies);
  s.nodes += game->nodes;
  s.redrawn += uint64_t(game->redrawn);
  ++s.endings[game->ending];
  s.done[index] = std::move(game);
  // Written in the order of the games' numbers: the file is the same
  // whatever the threads' timing.
  while (s.written < s.done.size() && s.done[s.written]) {
    s.out << s.done[s.written]->text;
    s.done[s.written].reset();
    ++s.written;
  }
  s.out.flush();
  const uint64_t step = uint64_t(std::max(1, o.games / 50));
  if (s.finished % step == 0 || s.finished == uint64_t(o.games)) report(s, o, t0);
}

}  // namespace

std::string fen_of(const Position& pos) {
  static const char LETTER[16] = {' ', 'p', 'n', 'b', 'r', 'q', 'k', ' ',
                                  ' ', 'P', 'N', 'B', 'R', 'Q', 'K', ' '};
  std::string fen;
  for (int row = 0; row < 8; ++row) {
    int empty = 0;
    for (int file = 0; file < 8; ++file) {
      const uint32_t code = pos.mailbox[row * 8 + file];
      if (code == EMPTY) {
        ++empty;
        continue;
      }
      if (empty) fen += char('0' + empty), empty = 0;
      fen += LETTER[code & 15];
    }
    if (empty) fen += char('0' + empty);
    if (row < 7) fen += '/';
  }
  fen += pos.side_to_move == 1 ? " w " : " b ";
  const size_t rights = fen.size();
  if (pos.castle_flags & CASTLE_WK) fen += 'K';
  if (pos.castle_flags & CASTLE_WQ) fen += 'Q';
  if (pos.castle_flags & CASTLE_BK) fen += 'k';
  if (pos.castle_flags & CASTLE_BQ) fen += 'q';
  if (fen.size() == rights) fen += '-';
  fen += ' ';
  if (pos.ep_square) {
    fen += char('a' + file_of(Square(pos.ep_square)));
    fen += char('0' + rank_of(Square(pos.ep_square)));
  } else {
    fen += '-';
  }
  fen += ' ' + std::to_string(pos.fifty_count) + ' ' + std::to_string(1 + pos.history.count / 2);
  return fen;
}

int run_play(const PlayOptions& given) {
  PlayOptions o = given;
  if (o.threads <= 0) o.threads = int(std::max(1u, std::thread::hardware_concurrency()));
  const std::vector<BookLine> openings = read_openings(o.openings);
  if (openings.empty()) {
    std::fprintf(stderr, "kelo-tune: no opening lines in %s\n", o.openings.c_str());
    return 1;
  }
  Tally s;
  s.out.open(o.out, std::ios::binary);
  if (!s.out) {
    std::fprintf(stderr, "kelo-tune: cannot write %s\n", o.out.c_str());
    return 1;
  }
  s.done.resize(size_t(o.games));
  std::printf("%zu opening lines from %s; %d games of at least %llu nodes a move on %d threads, "
              "seed %llu\n",
              openings.size(), o.openings.c_str(), o.games, (unsigned long long)o.nodes, o.threads,
              (unsigned long long)o.seed);
  std::fflush(stdout);

  const Clock::time_point start = Clock::now();
  const std::clock_t cpu0 = std::clock();
  std::atomic<uint64_t> next{0};
  auto work = [&] {
    Worker w;
    tt_allocate(w.tt, o.hash_mb * BUCKETS_PER_MB);
    w.pos.tt = w.tt;
    for (uint64_t i; (i = next.fetch_add(1)) < uint64_t(o.games);)
      record(s, i, std::make_unique<GameRecord>(play_game(w, o, openings, i)), o, start);
    tt_release(w.tt);
  };
  std::vector<std::thread> threads;
  for (int k = 1; k < o.threads; ++k) threads.emplace_back(work);
  work();
  for (std::thread& t : threads) t.join();
  s.out.close();

  const double seconds = seconds_since(start);
  const double cpu = double(std::clock() - cpu0) / CLOCKS_PER_SEC;
  std::printf("done: %d games in %.1f s, %.1f s of processor time (%.2f s a game); %llu positions "
              "to %s\n",
              o.games, seconds, cpu, cpu / o.games, (unsigned long long)s.positions, o.out.c_str());
  for (int e = 0; e < ENDINGS; ++e)
    std::printf("  %s: %llu\n", ENDING_NAMES[e], (unsigned long long)s.endings[e]);
  std::printf("  searched plies %llu, %.0f nodes a move; openings drawn again %llu\n",
              (unsigned long long)s.plies, s.plies ? double(s.nodes) / double(s.plies) : 0.0,
              (unsigned long long)s.redrawn);
  return s.out ? 0 : 1;
}
