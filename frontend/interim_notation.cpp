// INTERIM until the notation branch lands: replaced there.
#include <string>
#include <vector>

#include "frontend/fen.h"
#include "frontend/movetext.h"
#include "position/makemove.h"
#include "position/movegen.h"

std::vector<std::string> setup_problems(const Position&) { return {}; }

bool play_move_text(Position& pos, const char* line) {
  const Square from = square_named(line), to = square_named(line + 2);
  generate_all(pos);
  bool found = false;
  for (int i = 0; i < pos.move_stack.count(); ++i) {
    Move m = pos.move_stack.at(i);
    if (move_from(m) == from && move_to(m) == to &&
        (move_promotion(m) == 0) == (line[4] == 0 || line[4] == ' ')) {
      if (move_promotion(m) && kind_of(move_promotion(m)) != kind_from_letter(char(line[4] - 32))) continue;
      make_listed(pos, i);
      found = true;
      break;
    }
  }
  pos.move_stack.close_level();
  return found;
}
