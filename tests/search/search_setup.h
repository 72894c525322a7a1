#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "position/clock.h"
#include "position/position.h"
#include "search/search.h"
#include "search/tt.h"

// Gives the table back with the position: a position only borrows it.
struct ReleaseTable {
  void operator()(Position* pos) const {
    tt_release(pos->tt);
    delete pos;
  }
};
using SearchPosition = std::unique_ptr<Position, ReleaseTable>;

// A position with a small table and the stop flag down, set up without
// echoing its validation.
inline SearchPosition setup_position(const char* fen) {
  testing::internal::CaptureStdout();
  SearchPosition pos(new Position(fen));
  testing::internal::GetCapturedStdout();
  tt_allocate(pos->tt, 1 << 16);
  stop_search.store(0);
  return pos;
}
