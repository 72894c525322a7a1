// The modern search's margins and depths, in one place. Depths in plies,
// margins in centipawns.
#pragma once

#include <cstdint>

namespace modern {

// Aspiration windows: from this depth on, a window of ASPIRATION_DELTA
// around the last score, widened by half again at each failure.
constexpr int32_t ASPIRATION_DEPTH = 4;
constexpr int32_t ASPIRATION_DELTA = 16;

// Reverse futility: up to this depth, a static score this far above beta
// per ply (less when improving) stands.
constexpr int32_t RFP_DEPTH = 8;
constexpr int32_t RFP_MARGIN = 75;

// Razoring: up to this depth, a static score this far below alpha per ply
// asks the quiescence search whether anything helps.
constexpr int32_t RAZOR_DEPTH = 3;
constexpr int32_t RAZOR_MARGIN = 250;

// Null move: from this depth, with a static score at beta or above.
constexpr int32_t NULL_MOVE_DEPTH = 3;

// Futility: up to this depth of the reduced search, quiet moves that
// cannot lift the static score to alpha are passed over.
constexpr int32_t FUTILITY_DEPTH = 8;
constexpr int32_t FUTILITY_BASE = 80;
constexpr int32_t FUTILITY_PER_PLY = 90;

// Late-move pruning: up to this depth, only so many quiet moves.
constexpr int32_t LMP_DEPTH = 8;

// Exchange pruning: up to this depth, quiet moves losing more than
// SEE_QUIET per ply, captures more than SEE_CAPTURE per ply.
constexpr int32_t SEE_DEPTH = 8;
constexpr int32_t SEE_QUIET = 60;
constexpr int32_t SEE_CAPTURE = 100;

// Late-move reductions from this depth, after this many moves.
constexpr int32_t LMR_DEPTH = 3;

// The quiescence search's delta pruning: a capture whose victim and this
// margin cannot lift the static score to alpha is passed over.
constexpr int32_t DELTA_MARGIN = 200;

// Internal iterative reduction: without a table move, from this depth.
constexpr int32_t IIR_DEPTH = 4;

}  // namespace modern
