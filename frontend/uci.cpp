#include "frontend/uci.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <vector>

#include "frontend/book_play.h"
#include "frontend/config.h"
#include "frontend/session_ops.h"
#include "frontend/settings.h"
#include "frontend/strength.h"
#include "position/text.h"
#include "position/movetext.h"
#include "position/clock.h"
#include "position/makemove.h"
#include "position/perft.h"

namespace {

void write_line(const std::string& text) {
  const std::string line = text + "\n";
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
}

std::vector<std::string> words_of(const char* line) {
  std::vector<std::string> words;
  std::istringstream in(line);
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

// A number after a keyword; saturates instead of wrapping, as the xboard
// commands do.
int64_t number(const std::string& word) { return read_decimal(word.c_str()); }

// The reports' context is the session: the tables' hits are told while
// they are on.
bool tablebases_on(void* context) {
  return static_cast<const Session*>(context)->engine.knowledge.tablebases;
}
void write_info(void* context, const ThinkingLine& line) {
  write_line(uci_info_text(line, tablebases_on(context)));
}
void write_status(void* context, const SearchStatus& status) {
  write_line(uci_status_text(status, tablebases_on(context)));
}

// The Spanish messages keep the single Latin-1 bytes of their accented
// letters for the xboard interfaces; UCI text is UTF-8.
std::string utf8_from_latin1(const std::string& text) {
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      out += c;
    } else {
      out += char(0xC0 | byte >> 6);
      out += char(0x80 | (byte & 0x3F));
    }
  }
  return out;
}

void write_best_move(void* context, const SearchResult& found) {
  SearchResult result = found;
  weaken_choice(result, static_cast<const Session*>(context)->lesser_move);
  if (!result.best) {
    write_line("bestmove 0000");
    return;
  }
  std::string text = "bestmove " + move_text(result.best);
  if (result.ponder) text += " ponder " + move_text(result.ponder);
  write_line(text);
}

// A running search ends before the position or the settings change.
void finish_search(Session& s) {
  s.pondering = false;
  engine_stop(s.engine);
  engine_wait(s.engine);
  stop_search.store(0);
}

// "go perft N": one "move: leaves" line per root move, a blank line, then
// "Nodes searched: N", as testing tools read it.
void write_perft(Position& pos, int32_t depth, int32_t threads) {
  int64_t total = depth <= 0 ? 1 : 0;
  std::string text;
  for (const RootCount& c : perft_divide(pos, depth, threads)) {
    text += move_text(c.move) + ": " + std::to_string(c.leaves) + "\n";
    total += c.leaves;
  }
  text += "\nNodes searched: " + std::to_string(total);
  write_line(text);
}

void identify(const Session& s) {
  write_line("id name KELO 0.56Z");
  write_line("id author Brenu");
  for (int id = 0; id < SETTING_COUNT; ++id)
    if (SETTINGS[id].in_uci) write_line(uci_option_line(id, s.settings));
  write_line("uciok");
}

// "position startpos|fen FEN [moves M...]": a new game from the set-up, the
// moves played on it. The table, killers and history counters stay.
void set_up(Session& s, const std::vector<std::string>& w) {
  size_t i = 1;
  std::string fen;
  if (i < w.size() && w[i] == "startpos") {
    fen = START_FEN;
    ++i;
  } else if (i < w.size() && w[i] == "fen") {
    for (++i; i < w.size() && w[i] != "moves"; ++i) fen += (fen.empty() ? "" : " ") + w[i];
  } else {
    return;
  }
  Position fresh(fen.c_str(), s.settings.number[SETTING_CHESS960] != 0);
  for (const std::string& problem : setup_problems(fresh))
    write_line("info string " + utf8_from_latin1(problem));
  s.game = fresh;
  if (i < w.size() && w[i] == "moves") {
    for (++i; i < w.size(); ++i) {
      if (!is_coordinate_move(w[i].c_str()) || !play_move_text(s.game, w[i].c_str())) {
        write_line("info string Ilegal move: " + w[i]);
        break;
      }
    }
  }
}

void go(Session& s, const std::vector<std::string>& w) {
  const int side = s.game.side_to_move;
  SearchLimits limits;
  limits.iteration_limit = s.iteration_limit;
  bool infinite = false, clock_given = false, limited = false, ponder = false;
  // "searchmoves": the legal moves it names are the only root moves.
  bool restricted = false;
  std::vector<Move> allowed;
  int64_t time_left = 0, moves_to_go = 30, move_time = -1, increment = 0;
  bool moves_to_go_given = false;
  for (size_t i = 1; i < w.size(); ++i) {
    const std::string& key = w[i];
    const bool has_value = i + 1 < w.size();
    if (key == "infinite") {
      infinite = true;
    } else if (key == "ponder") {
      ponder = true;
    } else if (key == "searchmoves") {
      restricted = true;
      for (; i + 1 < w.size() && is_coordinate_move(w[i + 1].c_str()); ++i)
        if (const Move m = legal_move_named(s.game, w[i + 1].c_str())) allowed.push_back(m);
    } else if (!has_value) {
      break;
    } else if (key == "wtime" || key == "btime") {
      if ((key == "wtime") == (side == 1)) {
        time_left = number(w[i + 1]);
        clock_given = true;
      }
      ++i;
    } else if (key == "winc" || key == "binc") {
      // Left out of the default budget, as xboard's increment is.
      if ((key == "winc") == (side == 1)) increment = std::max<int64_t>(number(w[i + 1]), 0);
      ++i;
    } else if (key == "movestogo") {
      const int64_t n = number(w[i + 1]);
      if (n > 0) moves_to_go = n, moves_to_go_given = true;
      ++i;
    } else if (key == "movetime") {
      move_time = clamp32(number(w[i + 1]), 0);
      ++i;
    } else if (key == "depth") {
      // The depth counts the root move: N shows depths up to N, at least the
      // first iteration's.
      const int64_t n = number(w[i + 1]);
      limits.depth_limit = clamp32(n - 1, 1);
      limited = true;
      ++i;
    } else if (key == "mate") {
      // Ends at a mate in N moves or fewer, or at the iteration limit.
      limits.mate_moves = clamp32(number(w[i + 1]), 1);
      limited = true;
      ++i;
    } else if (key == "nodes") {
      const int64_t n = number(w[i + 1]);
      limits.node_limit = n > 0 ? uint64_t(n) : 1;
      limited = true;
      ++i;
    }
  }
  if (move_time >= 0 || clock_given) {
    MoveClock clock;
    clock.fixed_ms = move_time;
    clock.time_left = time_left;
    clock.increment = increment;
    clock.moves_to_go = moves_to_go;
    clock.moves_known = moves_to_go_given;
    clock.overhead = move_overhead(s.settings);
    const TimeBudget budget = plan_move_time(clock, time_rule(s.settings));
    limits.timed = true;
    limits.budget_ms = budget.hard_ms;
    limits.soft_ms = budget.soft_ms;
  }
  // Without any limit the search runs until "stop".
  if (!limits.timed && !limited) infinite = true;
  if (infinite) {
    limits = SearchLimits{};
    limits.iteration_limit = s.iteration_limit;
  }
  limits.multi_pv = int32_t(s.settings.number[SETTING_MULTI_PV]);
  // A single legal move is searched as asked, and reported; only under a
  // clock alone is it played at once, after one line with a score.
  limits.search_single_move = infinite || ponder || limited || move_time >= 0;
  limits.tell_single_move = true;
  // A weaker level searches the nodes its rate gives a timed budget.
  const Strength level = strength_setting(s.settings);
  if (limits.timed) limit_strength(level, limits, limits.soft_ms);
  s.lesser_move = limits.timed && draw_lesser_move(level, s.random);
  // No legal move named: the search has none, as in a mate.
  if (restricted) limits.root_moves = allowed.empty() ? std::vector<Move>{0} : allowed;
  // The own book answers an ordinary go at once, unless told which moves
  // or asked for a mate.
  if (!ponder && !infinite && !restricted && limits.mate_moves == 0) {
    std::string problem;
    const BookChoice book = book_move(s, problem);
    if (!problem.empty()) write_line("info string " + problem);
    if (book.move) {
      finish_search(s);
      write_line("info string " + book_move_text(book));
      write_line("bestmove " + move_text(book.move));
      return;
    }
  }
  // The tablebases' best move at once; of several draws the search chooses.
  TablebaseRoot table;
  if (!restricted && s.engine.knowledge.tablebases && tablebase_root(s.game, table)) {
    if (!ponder && !infinite && (table.score != 0 || table.moves.size() == 1)) {
      finish_search(s);
      const std::vector<Move> variation{table.moves[0]};
      write_line(uci_info_text(
          ThinkingLine{1, table.score, 0, 0, 0, variation, 0, 1, engine_hashfull(s.engine), 0},
          true));
      write_line("bestmove " + move_text(table.moves[0]));
      return;
    }
    limits.root_moves = table.moves;
  }
  // A ponder search runs without its time limit, which counts from
  // "ponderhit", and answers only after "ponderhit" or "stop".
  s.pondering = ponder;
  s.ponder_timed = limits.timed;
  s.ponder_budget = TimeBudget{limits.soft_ms, limits.budget_ms};
  if (ponder) limits.timed = false;
  stop_search.store(0);
  s.infinite = infinite;
  engine_start(s.engine, s.game, limits, SearchReport{write_info, &s, write_status},
               infinite || ponder, write_best_move, &s);
}

void set_option(Session& s, const std::vector<std::string>& w) {
  // "setoption name NAME [value VALUE]"; names may hold blanks.
  std::string name, value;
  size_t i = 1;
  if (i < w.size() && w[i] == "name") ++i;
  for (; i < w.size() && w[i] != "value"; ++i) name += (name.empty() ? "" : " ") + w[i];
  if (i < w.size()) ++i;
  for (; i < w.size(); ++i) value += (value.empty() ? "" : " ") + w[i];
  const int id = find_setting(name);
  if (id < 0 || !SETTINGS[id].in_uci) {
    write_line("info string no option named " + name);
    return;
  }
  const Setting& setting = SETTINGS[id];
  if (setting.type != SettingType::BUTTON && value.empty()) {
    write_line(std::string("info string ") + setting.name + " needs a value: unchanged");
    return;
  }
  // What the value would make of the setting: none, or a spin clamped.
  SettingValues trial = s.settings;
  if (!parse_setting(id, value, trial)) {
    write_line(std::string("info string ") + setting.name + " has no value " + value +
               ": unchanged");
    return;
  }
  if (setting.type == SettingType::SPIN && trial.number[id] != number(value))
    write_line(std::string("info string ") + setting.name + " " + value + " is out of range " +
               std::to_string(setting.min) + " to " + std::to_string(setting.max) +
               ": set to " + std::to_string(trial.number[id]));
  finish_search(s);
  const std::string problem = change_setting(s, id, value);
  if (!problem.empty()) write_line("info string " + problem);
}

}  // namespace

namespace {

// " time T nodes N nps R hashfull H", and " tbhits B" while the tables are on.
std::string counts_text(int64_t elapsed_ms, uint64_t nodes, int32_t hashfull, uint64_t tb_hits,
                        bool tablebases) {
  const uint64_t nps = elapsed_ms > 0 ? nodes * 1000 / uint64_t(elapsed_ms) : 0;
  std::string text = " time " + std::to_string(elapsed_ms) + " nodes " + std::to_string(nodes) +
                     " nps " + std::to_string(nps) + " hashfull " + std::to_string(hashfull);
  if (tablebases) text += " tbhits " + std::to_string(tb_hits);
  return text;
}

}  // namespace

std::string uci_info_text(const ThinkingLine& line, bool tablebases) {
  std::string text =
      "info depth " + std::to_string(line.depth) + " seldepth " + std::to_string(line.seldepth);
  if (line.pv_index > 0) text += " multipv " + std::to_string(line.pv_index);
  text += " score ";
  // Mated at ply p scores p - SCORE_INFINITE; the quiescence search's mates
  // stay within MATE_BOUND and show as centipawns.
  if (line.score > MATE_BOUND)
    text += "mate " + std::to_string((SCORE_INFINITE - line.score + 1) / 2);
  else if (line.score < -MATE_BOUND)
    text += "mate " + std::to_string(-(SCORE_INFINITE + line.score) / 2);
  else
    text += "cp " + std::to_string(line.score);
  text += counts_text(line.elapsed_ms, line.nodes, line.hashfull, line.tb_hits, tablebases);
  text += " pv";
  for (Move m : line.variation) text += " " + move_text(m);
  return text;
}

std::string uci_status_text(const SearchStatus& status, bool tablebases) {
  std::string text = "info depth " + std::to_string(status.depth) + " seldepth " +
                     std::to_string(status.seldepth) +
                     counts_text(status.elapsed_ms, status.nodes, status.hashfull,
                                 status.tb_hits, tablebases);
  if (status.move)
    text += " currmove " + move_text(status.move) + " currmovenumber " +
            std::to_string(status.move_number);
  return text;
}

void uci_input_ended(Session& s) {
  if (s.infinite || s.pondering) engine_stop(s.engine);
  engine_wait(s.engine);
}

void uci_command(Session& s, char* line) {
  const std::vector<std::string> w = words_of(line);
  if (w.empty()) return;
  const std::string& command = w[0];
  if (command == "uci") {
    identify(s);
  } else if (command == "isready") {
    write_line("readyok");
  } else if (command == "ucinewgame") {
    finish_search(s);
    set_position(s, START_FEN);
  } else if (command == "position") {
    finish_search(s);
    set_up(s, w);
  } else if (command == "go" && w.size() > 1 && w[1] == "perft") {
    finish_search(s);
    write_perft(s.game, w.size() > 2 ? clamp32(number(w[2]), 0) : 0, s.engine.threads);
  } else if (command == "go") {
    go(s, w);
  } else if (command == "ponderhit") {
    if (s.pondering)
      engine_ponderhit(s.engine, s.ponder_timed, s.ponder_budget, !s.infinite);
    s.pondering = false;
  } else if (command == "stop") {
    finish_search(s);
  } else if (command == "setoption") {
    set_option(s, w);
  } else if (command == "quit") {
    std::fflush(stdout);
    std::_Exit(0);
  } else if (command != "debug" && command != "register") {
    write_line("info string unknown command: " + command);
  }
}
