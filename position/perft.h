// Counting the leaves of the legal move tree.
#pragma once

#include "position/position.h"

// Leaves at depth plies below the position; every leaf is made and unmade.
int64_t perft(Position& pos, int32_t depth);
// Runs perft and writes "PERFT:n" and, when it took any time, "TIME:s.ms".
void perft_command(Position& pos, int32_t depth);
