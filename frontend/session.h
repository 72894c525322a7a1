// What the front ends keep from line to line: the game, the engine, and the
// state of each protocol.
#pragma once

#include <atomic>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "book/book_reader.h"
#include "engine/engine.h"
#include "frontend/settings.h"
#include "position/fen.h"
#include "position/position.h"

// The engine's own clock for the xboard protocol, set by "level" and "st"
// and charged after each of the engine's moves.
struct XboardClock {
  int32_t no_move_count = 0;  // 1 when the control has no move count
  int32_t moves_left_white = 0;
  int32_t moves_left_black = 0;
  int32_t moves_per_period = 0;
  int64_t time_left_white = 0;  // milliseconds
  int64_t time_left_black = 0;
  int64_t base_time = 0;
  int64_t increment = 0;
  int32_t fixed_move_time = 1000;  // milliseconds a move, 0 for clock play
};

// The interface's latest clock reports since the engine last moved, in
// milliseconds: "time" for the engine's own clock, "otim" for its opponent's.
struct ClockReports {
  bool has_own = false;
  bool has_opponent = false;
  int64_t own = 0;
  int64_t opponent = 0;
};

enum class Protocol { XBOARD, UCI };

struct Session {
  Engine engine;
  Position game{START_FEN};
  std::atomic<Protocol> protocol{Protocol::XBOARD};

  // xboard
  int32_t engine_side = NO_SIDE;  // 1, 0, or NO_SIDE in force mode
  bool fischerandom = false;      // "variant fischerandom" until "new"
  XboardClock clock;
  ClockReports reports;
  int32_t iteration_limit = 64;  // KELO.ini's MAX_DEPTH_SEARCH
  int32_t depth_limit = 0;       // "sd", 0 for none
  // "nps N": the engine's clock counts N nodes as a second; 0 for the wall
  // clock. Until "new".
  int64_t node_rate = 0;
  // Analysis mode lets every line but "." stop the running search.
  std::atomic<bool> analysis_mode{false};
  // Main thread only: the current position is still to be analysed (set on
  // entering analysis mode and by every change of the position, cleared when
  // an analysis reaches the iteration limit). The command loop runs it
  // whenever no line is pending.
  bool analysis_due = false;

  // xboard's "hard": after its move the engine searches the position after
  // the reply it expects, until the next line.
  bool ponder = false;
  std::string ponder_move;  // that reply, as the interface writes it

  // UCI
  bool infinite = false;  // the running search waits for "stop"
  // "go ponder": the go line's time limit, counted from "ponderhit".
  bool ponder_timed = false;
  TimeBudget ponder_budget;
  // The running search's move is to be a lesser one (a weaker level's).
  std::atomic<bool> lesser_move{false};

  // xboard's "exclude" and "include": the root moves still to be searched
  // in the position of exclusion_key and exclusion_ply (the game's length);
  // in any other position every move is.
  std::vector<Move> included;
  uint64_t exclusion_key = 0;
  int32_t exclusion_ply = -1;
  // What "hint" names in the position of hint_key and hint_ply: the reply
  // the engine's last search expected, or the best move of an analysis.
  Move hint_move = 0;
  uint64_t hint_key = 0;
  int32_t hint_ply = -1;
  // The running search's place in the root, for xboard's status line.
  SearchProgress progress;

  // Both: a ponder search runs on the engine's thread.
  bool pondering = false;
  SearchResult ponder_result;  // handed over when the xboard ponder search ends

  SettingValues settings;

  // The own book, read when first needed; book_path names the file it was
  // read from (or refused), so that another BookFile is read anew.
  OpeningBook book;
  std::string book_path;
  std::mt19937_64 random{std::random_device{}()};
};
