#include <gtest/gtest.h>

#include "position/init.h"

// Every test program starts like the engine: the fixed tables first.
int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  init_tables();
  return RUN_ALL_TESTS();
}
