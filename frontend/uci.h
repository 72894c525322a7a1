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

// "info depth D seldepth S score cp X time T nodes N nps R hashfull H pv ..."
// for a thinking line, "tbhits B" before the pv while the tablebases are on;
// a mate shows as "score mate M", M moves, negative when KELO is mated. One
// of several best lines says which after the seldepth: "multipv I".
std::string uci_info_text(const ThinkingLine& line, bool tablebases);
// "info depth D seldepth S time T nodes N nps R hashfull H [tbhits B]
// currmove M currmovenumber K" for the status of a running search.
std::string uci_status_text(const SearchStatus& status, bool tablebases);
