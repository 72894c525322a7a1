#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "position/clock.h"
#include "position/position.h"
#include "search/search.h"
#include "search/tt.h"

// A position with a small table and the stop flag down, set up without
// echoing its validation.
inline std::unique_ptr<Position> setup_position(const char* fen) {
  testing::internal::CaptureStdout();
  auto pos = std::make_unique<Position>(fen);
  testing::internal::GetCapturedStdout();
  tt_allocate(pos->tt, 1 << 16);
  stop_search.store(0);
  return pos;
}
