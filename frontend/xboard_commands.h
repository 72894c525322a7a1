// The command interpreter of the xboard protocol and the engine's own tools.
#pragma once

#include "frontend/session.h"

// Interprets one input line (at most 255 characters); the line buffer may be
// edited in place.
void xboard_command(Session& s, char* line);

// Before the session turns to the other protocol: a ponder search is
// stopped, analysis mode left.
void leave_xboard(Session& s);
