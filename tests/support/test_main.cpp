#include <gtest/gtest.h>

#include "position/init.h"
#include "support/scratch.h"

// Every test program starts like the engine: the fixed tables first. The
// temporary folders of its tests all go under one root, removed at the end.
int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  init_tables();
  scratch_begin();
  const int status = RUN_ALL_TESTS();
  scratch_end();
  return status;
}
