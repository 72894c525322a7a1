// The optional configuration file KELO.ini, read once at start-up.
#pragma once

#include <cstdint>

#include "book/book_file.h"
#include "frontend/settings.h"

struct Config {
  int32_t hash_buckets = 699040;                         // DIM_HASH= megabytes, 21845 buckets each
  int32_t max_depth_search = 64;                         // MAX_DEPTH_SEARCH= iteration limit
  int32_t max_depth_book = BookSettings{}.max_depth;     // MAX_DEPTH_BOOK= last ply the book counts
  int32_t book_slots = BookSettings{}.slots;             // BOOK_SIZE= units of 87381 slots
  SettingValues settings;  // the settings table's start values, by their keys
};

extern Config config;

// Reads KELO.ini from the working directory; without it the defaults stay.
void read_config(const char* path = "KELO.ini");
