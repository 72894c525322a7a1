#include "frontend/book_play.h"

#include "frontend/config.h"
#include "position/movetext.h"

BookChoice book_move(Session& s, std::string& problem) {
  problem.clear();
  if (!s.settings.number[SETTING_OWN_BOOK]) return {};
  // The book holds normal chess; a Chess960 game never consults it.
  if (s.game.castling.chess960) return {};
  // A position counted after ply p comes from a game of p plies at most.
  if (s.game.history.count >= config.max_depth_book) return {};
  const std::string& path = s.settings.text[SETTING_BOOK_FILE];
  if (path != s.book_path) {
    s.book_path = path;
    if (!book_load(s.book, path.c_str(), problem)) problem = "book refused: " + problem;
  }
  return book_choice(s.book, s.game, s.random(), s.settings.number[SETTING_BOOK_BEST] != 0);
}

std::string book_move_text(const BookChoice& choice) {
  return "book " + move_text(choice.move) + ", " + std::to_string(choice.count) + " of " +
         std::to_string(choice.total) + " games";
}
