#include "frontend/messages.h"

#include <cstdio>
#include <string>
#include <vector>

#include "position/clock.h"
#include "position/fen.h"
#include "position/game_end.h"
#include "position/movetext.h"
#include "position/perft.h"

namespace {

void write_line(const std::string& text) {
  std::printf("%s\n", text.c_str());
  std::fflush(stdout);
}

void write_perft_report(int64_t leaves, int64_t elapsed) {
  std::printf("PERFT:%lli\n", static_cast<long long>(leaves));
  if (elapsed != 0) {
    std::printf("TIME:%lli.%lli\n", static_cast<long long>(elapsed / 1000),
                static_cast<long long>(elapsed % 1000));
  }
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

std::string xboard_move_text(const Position& game, Move m) {
  return (m & MOVE_CASTLE) && game.castling.chess960 ? castling_text(m) : move_text(m);
}

void write_engine_move(const Position& game, Move m) {
  write_line("move " + xboard_move_text(game, m));
}

int game_over(Position& pos) {
  const char* result = game_result(pos);
  if (!result) return 0;
  write_line(result);
  return 1;
}

void write_perft(Position& pos, int32_t depth, int32_t threads) {
  const int64_t t0 = now_ms();
  const int64_t n = perft(pos, depth, threads);
  write_perft_report(n, now_ms() - t0);
}

void write_divide(Position& pos, int32_t depth, int32_t threads) {
  const int64_t t0 = now_ms();
  const std::vector<RootCount> counts = perft_divide(pos, depth, threads);
  int64_t n = depth <= 0 ? 1 : 0;
  for (const RootCount& c : counts) {
    std::printf("%s: %lli\n", move_text(c.move).c_str(), static_cast<long long>(c.leaves));
    n += c.leaves;
  }
  write_perft_report(n, now_ms() - t0);
}
