// The command interpreter of the xboard protocol and the engine's own tools.
#pragma once

struct Position;

// Interprets one input line (at most 255 characters); the line buffer may be
// edited in place.
void interpret_command(Position& pos, char* line);

// "level MPS BASE INC": the clock fields of a conventional or incremental control.
void set_level(Position& pos, const char* line);
