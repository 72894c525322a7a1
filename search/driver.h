// The search driver: the root moves, iterative deepening, the timer and the
// thinking lines. It never prints, plays or keeps a clock: the caller gives
// the limits, receives each thinking line and plays the move it is handed.
#pragma once

#include <vector>

#include "position/position.h"
#include "search/limits.h"

// Searches the side to move's legal moves under the limits. The position is
// left as it was (its move stack's killers, history counters and reduction
// latch, and the table, carry what the search learnt). Clears the stop flag
// when it ends; the caller clears it before, when an earlier stop must not
// count. A search whose time budget is 0 or less stops before its first
// root move and hands back the first generated move.
SearchResult search_root(Position& pos, const SearchLimits& limits, const SearchReport& report);

// A helper beside a search_root of the same position on another thread:
// iterative deepening from first_iteration under the same iteration, depth
// and root-move limits (the node limit, timer and reports are the main
// search's), sharing the table and pos.share, until the stop flag or its
// last iteration. Its counts stay readable in pos while it runs.
void search_helper(Position& pos, const SearchLimits& limits, int first_iteration);

// A single legal move played without a search: with limits.tell_single_move
// one thinking line of depth 1, scored by the evaluation after the move.
// Returns that score (0 when not told). The position is left as it was.
int32_t tell_single_move(Position& pos, const SearchLimits& limits, const SearchReport& report,
                         Move move, int32_t hashfull);

// A count of the search's position and of the helpers' beside it.
uint64_t count_with_helpers(const Position& pos, const SearchLimits& limits,
                            RelaxedCount Position::*count);

// The record of the search's place in the root, made ready for a search of
// moves root moves starting with first: the caller's, or else own.
SearchProgress* start_progress(const SearchLimits& limits, SearchProgress& own, int64_t start,
                               int32_t moves, Move first);

// Opens a level with the root moves the limits allow, in generation order.
void generate_root(Position& pos, const SearchLimits& limits);

// The variation of a thinking line: the root move, then the table's chain
// from the position after it, n moves at most in all. The moves made for it
// are not counted as searched nodes.
std::vector<Move> collect_variation(Position& pos, Move root_move, int n);
