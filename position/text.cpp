#include "position/text.h"

#include <cstring>

int64_t read_decimal(const char* s) {
  while (*s == ' ' || *s == '\t' || *s == '\n' || *s == '\r' || *s == '\f' || *s == '\v') ++s;
  bool negative = *s == '-';
  if (*s == '-' || *s == '+') ++s;
  int64_t v = 0;
  for (; *s >= '0' && *s <= '9'; ++s) {
    if (v > (INT64_MAX - 9) / 10) {
      v = INT64_MAX;
      while (s[1] >= '0' && s[1] <= '9') ++s;
      continue;
    }
    v = v * 10 + (*s - '0');
  }
  return negative ? -v : v;
}

void delete_first(char* line, const char* text) {
  size_t n = std::strlen(text);
  if (n == 0) return;
  char* at = std::strstr(line, text);
  if (!at) return;
  std::memmove(at, at + n, std::strlen(at + n) + 1);
}
