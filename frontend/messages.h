// The xboard front end's lines for what the lower layers return: set-up
// problems, the board, moves, perft's counts and the result of a game.
#pragma once

#include "position/position.h"

// Writes each problem of the set-up position as a "tellusererror" line.
void report_setup_problems(const Position& pos);
// Writes the 18-line diagram with Spanish piece letters.
void display_board(const Position& pos);
// Plays the move named at the start of the line if it is legal; otherwise
// writes the board and "Ilegal move: " with the whole line.
void read_user_move(Position& pos, const char* line);
// Writes "move " and the move's text.
// A move of the game as xboard reads it: castling in a Chess960 game as O-O
// or O-O-O.
std::string xboard_move_text(const Position& game, Move m);
// "move " and the move, as xboard_move_text writes it.
void write_engine_move(const Position& game, Move m);
// perft to the depth on that many threads: "PERFT:n" and, when it took any
// time, "TIME:s.ms".
void write_perft(Position& pos, int32_t depth, int32_t threads);
// The same, first one "move: leaves" line per root move.
void write_divide(Position& pos, int32_t depth, int32_t threads);
// Writes the result line and returns 1 when the game is over, else 0.
int game_over(Position& pos);
