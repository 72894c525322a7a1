#include <cstdio>

#include "tools/kelo-tb/commands.h"

int cmd_compress(int, char**) {
  std::printf("compression is not available yet\n");
  return 1;
}
