// The command interpreter of the xboard protocol and the engine's own tools;
// "uci" hands every later line to the UCI front end.
#pragma once

#include <string>

#include "frontend/session.h"

// Interprets one input line (at most 255 characters); the line buffer may be
// edited in place.
void interpret_command(Session& s, char* line);

// Sets up the position of a FEN text as a new game, reporting an illegal
// set-up; the clocks start afresh from the time control in force.
void set_position(Session& s, const char* fen);

// Sets a setting of the table from the interface's text and acts on it (a
// new hash size rebuilds the table empty, a tablebase folder is registered);
// no search may be running. Returns what went wrong, for the user, or "".
std::string change_setting(Session& s, int id, const std::string& value);
// Acts on the settings KELO.ini gave that take effect at once.
void apply_start_settings(Session& s);
