// The own book in play, for both protocols: with OwnBook on and the game
// within the book's depth, a move among the counted continuations.
#pragma once

#include <string>

#include "book/book_reader.h"
#include "frontend/session.h"

// The book's move for the game's position, or a choice without a move. The
// book is read when first needed and again when BookFile names another
// file; a file that cannot be used is refused once, with the reason in
// `problem` (empty otherwise), and play goes on without it.
BookChoice book_move(Session& s, std::string& problem);

// "book e7e5, 120 of 300 games": what the front ends tell the interface.
std::string book_move_text(const BookChoice& choice);
