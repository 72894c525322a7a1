// The principal-variation alpha-beta search and the quiescence search.
#pragma once

#include <cstdint>

#include "position/position.h"

// Fail-soft search of the side to move; depth in sixteenths of a ply, ply
// counted from the root (1 after a root move). Returns 0 once stopped.
int32_t search(Position& pos, int32_t alpha, int32_t beta, int32_t depth, int32_t ply,
               bool after_null);

// Captures only, standing on the static score; mates score ply - 10000.
int32_t quiescence(Position& pos, int32_t alpha, int32_t beta, int32_t ply);

// The null move is tried below the root, never twice running, never in check
// or at a pv node, only with a piece besides king and pawns and only when the
// material already stands above alpha.
bool null_move_allowed(const Position& pos, int32_t ply, bool after_null, bool in_check,
                       bool pv_node, int32_t static_material, int32_t alpha);
// Depth of the internal search for a first move, or -1 when there is none:
// only without a table move and with more than five plies to go.
int32_t internal_search_depth(Move hash_move, int32_t depth);

// Whether the side to move's king is attacked (false without a king).
bool side_in_check(const Position& pos);
