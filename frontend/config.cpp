#include "frontend/config.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "position/text.h"

Config config;

namespace {

constexpr int32_t BUCKETS_PER_MB = 21845;
constexpr int32_t SLOTS_PER_UNIT = 87381;
// The largest counts whose products still fit the 32-bit settings.
constexpr int64_t MAX_HASH_MB = INT32_MAX / BUCKETS_PER_MB;
constexpr int64_t MAX_BOOK_UNITS = INT32_MAX / SLOTS_PER_UNIT;

// Takes the key off the front of the line and reads the value after it.
bool take_key(char* line, const char* key, int64_t& value) {
  if (std::strncmp(line, key, std::strlen(key)) != 0) return false;
  delete_first(line, key);
  value = read_decimal(line);
  return true;
}

}  // namespace

void read_config(const char* path) {
  std::FILE* f = std::fopen(path, "r");
  if (!f) return;
  char line[1024];
  while (std::fgets(line, sizeof line, f)) {
    if (line[0] == '#') continue;
    delete_first(line, " ");
    for (int id = 0; id < SETTING_COUNT; ++id) {
      const char* key = SETTINGS[id].ini_key;
      if (!key || std::strncmp(line, key, std::strlen(key)) != 0) continue;
      std::string value = line + std::strlen(key);
      value.erase(value.find_last_not_of(" \r\n") + 1);
      parse_setting(id, value, config.settings);
    }
    int64_t v;
    // Out-of-range values are clamped: a negative size gives the smallest
    // table, a size too large for the setting gives the largest it can hold.
    if (take_key(line, "DIM_HASH=", v))
      config.hash_buckets = clamp32(v, 0, MAX_HASH_MB) * BUCKETS_PER_MB;
    if (take_key(line, "MAX_DEPTH_SEARCH=", v)) config.max_depth_search = clamp32(v, 0, INT32_MAX);
    if (take_key(line, "MAX_DEPTH_BOOK=", v)) config.max_depth_book = clamp32(v, 0, INT32_MAX);
    if (take_key(line, "BOOK_SIZE=", v))
      config.book_slots = clamp32(v, 0, MAX_BOOK_UNITS) * SLOTS_PER_UNIT;
  }
  std::fclose(f);
}
