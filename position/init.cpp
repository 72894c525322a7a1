#include "position/init.h"

#include "position/attacks.h"

void init_tables() {
  init_geometry();
  init_sliding_attacks();
}
