#include <cstdio>

int main() {
  std::printf("KELO 0.56Z, Brenu\n");
  return 0;
}
