// The Universal Chess Interface front end: after "uci" every line comes here.
#pragma once

#include <string>

#include "frontend/session.h"
#include "search/limits.h"

// Interprets one line of the UCI dialect; unknown commands are ignored.
void uci_command(Session& s, char* line);

// At the end of input: a search with an end is let finish and answers, one
// without an end, or pondering, is stopped and answers.
void uci_input_ended(Session& s);

// "info depth D score cp S time T nodes N nps R pv ..." for a thinking line;
// a mate shows as "score mate M", M moves, negative when KELO is mated. One
// of several best lines says which after the depth: "multipv I".
std::string uci_info_text(const ThinkingLine& line);
