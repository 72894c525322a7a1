#include "frontend/messages.h"

#include <cstdio>
#include <string>

#include "position/fen.h"
#include "position/game_end.h"
#include "position/movetext.h"

namespace {

void write_line(const std::string& text) {
  std::printf("%s\n", text.c_str());
  std::fflush(stdout);
}

}  // namespace

void report_setup_problems(const Position& pos) {
  for (const std::string& problem : setup_problems(pos)) write_line("tellusererror " + problem);
}

void display_board(const Position& pos) {
  std::fputs(board_diagram(pos).c_str(), stdout);
  std::fflush(stdout);
}

void read_user_move(Position& pos, const char* line) {
  if (play_move_text(pos, line)) return;
  display_board(pos);
  write_line(std::string("Ilegal move: ") + line);
}

void write_engine_move(Move m) { write_line("move " + move_text(m)); }

int game_over(Position& pos) {
  const char* result = game_result(pos);
  if (!result) return 0;
  write_line(result);
  return 1;
}
