// What both front ends do to the session in the same way: set up a game
// and change a setting. Each writes what went wrong in its own dialect.
#pragma once

#include <string>
#include <vector>

#include "frontend/session.h"

// Sets up the position of a FEN text as a new game (setup_problems tells
// what is illegal in it); every root move is searched again, and the xboard
// clocks start afresh from the time control in force.
void set_position(Session& s, const char* fen);

// Every root move is searched again (a new position, a move taken back):
// xboard's "exclude" list is dropped.
void reset_exclusions(Session& s);

// Sets a setting of the table from the interface's text and acts on it (a
// new hash size rebuilds the table empty, a tablebase folder is registered);
// no search may be running. Returns what went wrong, for the user, or "".
std::string change_setting(Session& s, int id, const std::string& value);
// Acts on the settings KELO.ini gave that take effect at once; returns what
// went wrong with them.
std::vector<std::string> apply_start_settings(Session& s);
