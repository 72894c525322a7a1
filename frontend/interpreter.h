// Where each input line goes: to the xboard interpreter until the line
// "uci", then to the UCI front end until the end.
#pragma once

#include "frontend/session.h"

// Interprets one input line in the session's protocol; the line buffer may
// be edited in place.
void interpret_command(Session& s, char* line);
