#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "position/clock.h"
#include "position/position.h"
#include "search/search.h"
#include "search/tt.h"

// A position with a small table and the stop flag down.
inline std::unique_ptr<Position> setup_position(const char* fen) {
  auto pos = std::make_unique<Position>(fen);
  tt_allocate(pos->tt, 1 << 16);
  stop_search.store(0);
  return pos;
}
