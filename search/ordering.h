// Move ordering: static exchange evaluation and the ordering of move ranges
// of the current list, best first.
#pragma once

#include <cstdint>

#include "position/position.h"

// Material outcome of the exchange the move starts on its target square,
// for the side making it.
int32_t static_exchange_eval(const Position& pos, Move m);

// Each operation scores the moves in [begin, end) of the current list, moves
// those failing its threshold to the end of the range, sorts the rest best
// first and returns the end of the kept part.
int order_good_captures(Position& pos, int begin, int end, Square last_to);
int order_quiet_moves(Position& pos, int begin, int end, int side);
int order_losing_captures(Position& pos, int begin, int end);
int order_losing_quiets(Position& pos, int begin, int end);
int select_qsearch_captures(Position& pos, int begin, int end, int32_t stand_pat, int32_t alpha);
