#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "frontend/config.h"
#include "frontend/interpreter.h"
#include "frontend/session.h"
#include "frontend/strength.h"
#include "frontend/xboard.h"
#include "search/tt.h"
#include "support/scratch.h"

namespace {

Config read(const std::string& text) {
  const std::string path = scratch_dir("kelo-config") + "/KELO.ini";
  std::FILE* f = std::fopen(path.c_str(), "w");
  std::fputs(text.c_str(), f);
  std::fclose(f);
  config = Config{};
  read_config(path.c_str());
  return config;
}

TEST(Config, DefaultsWithoutAFile) {
  config = Config{};
  read_config("/nonexistent/KELO.ini");
  EXPECT_EQ(config.hash_buckets, 699040);
  EXPECT_EQ(config.max_depth_search, 64);
  EXPECT_EQ(config.max_depth_book, 20);
  EXPECT_EQ(config.book_slots, 349524);
}

TEST(Config, KeysCommentsBlanksAndTheLastLineWins) {
  Config c = read("DIM_HASH=64\n");
  EXPECT_EQ(c.hash_buckets, 1398080);
  EXPECT_EQ(c.max_depth_search, 64);
  EXPECT_EQ(read("#DIM_HASH=64\n").hash_buckets, 699040);
  EXPECT_EQ(read("DIM_HASH=8\nDIM_HASH=16\n").hash_buckets, 349520);
  EXPECT_EQ(read("dim_hash=64\n").hash_buckets, 699040);
  EXPECT_EQ(read("MAX_DEPTH_SEARCH= 10\n").max_depth_search, 10);
  EXPECT_EQ(read("MAX_DEPTH_SEARCH =10\n").max_depth_search, 10);   // one blank is dropped
  EXPECT_EQ(read(" MAX_DEPTH_BOOK=7\n").max_depth_book, 7);
  EXPECT_EQ(read("MAX_DEPTH_SEARCH  =10\n").max_depth_search, 64);  // two are not
  EXPECT_EQ(read("BOOK_SIZE=2 # two units\n").book_slots, 174762);
  EXPECT_EQ(read("DIM_HASH=abc\n").hash_buckets, 0);
}

TEST(Config, OutOfRangeValuesAreClamped) {
  EXPECT_EQ(read("DIM_HASH=-5\n").hash_buckets, 0);
  EXPECT_EQ(read("DIM_HASH=99999999999999999999\n").hash_buckets, 98305 * 21845);
  EXPECT_EQ(read("BOOK_SIZE=30000\n").book_slots, 24576 * 87381);
  EXPECT_EQ(read("BOOK_SIZE=-1\n").book_slots, 0);
  EXPECT_EQ(read("MAX_DEPTH_SEARCH=-3\n").max_depth_search, 0);
  config = Config{};
}

TEST(Level, ClockFieldsOfBothControls) {
  XboardClock pos;
  set_level(pos, "level 40 5 0");
  EXPECT_EQ(pos.base_time, 300000);
  EXPECT_EQ(pos.time_left_white, 300000);
  EXPECT_EQ(pos.moves_left_black, 40);
  EXPECT_EQ(pos.no_move_count, 0);
  EXPECT_EQ(pos.increment, 0);
  EXPECT_EQ(pos.fixed_move_time, 0);
  set_level(pos, "level 0 2:30 5");
  EXPECT_EQ(pos.base_time, 150000);
  EXPECT_EQ(pos.moves_per_period, 30);
  EXPECT_EQ(pos.no_move_count, 1);
  EXPECT_EQ(pos.increment, 5000);
  set_level(pos, "level 0 1 0:30");
  EXPECT_EQ(pos.increment, 30000);
  set_level(pos, "level");
  EXPECT_EQ(pos.base_time, 0);
  EXPECT_EQ(pos.moves_per_period, 30);
}

// Counts beyond 32 bits are cut before they are turned into milliseconds.
TEST(Level, HugeTimesSaturateInsteadOfOverflowing) {
  auto session = std::make_unique<Session>();
  XboardClock& pos = session->clock;
  const std::string huge = "99999999999999999999";
  set_level(pos, ("level " + huge + " " + huge + ":" + huge + " " + huge + ":" + huge).c_str());
  EXPECT_EQ(pos.moves_per_period, INT32_MAX);
  EXPECT_EQ(pos.base_time, int64_t(INT32_MAX) * 1000);
  EXPECT_EQ(pos.time_left_black, int64_t(INT32_MAX) * 1000);
  EXPECT_EQ(pos.increment, int64_t(INT32_MAX) * 1000);
  set_level(pos, ("level 40 -" + huge + " -" + huge).c_str());
  EXPECT_EQ(pos.base_time, int64_t(INT32_MIN) * 1000);
  EXPECT_EQ(pos.increment, int64_t(INT32_MIN) * 1000);
  // A negative period would count its moves down past the 32-bit range.
  set_level(pos, ("level -" + huge + " 5 0").c_str());
  EXPECT_EQ(pos.moves_per_period, 30);
  EXPECT_EQ(pos.no_move_count, 1);

  char st_huge[] = "st 99999999999999999";
  interpret_command(*session, st_huge);
  EXPECT_EQ(pos.fixed_move_time, INT32_MAX);
  // No digit after "st ": no fixed time, the clock governs again.
  char st_negative[] = "st -99999999999999999";
  interpret_command(*session, st_negative);
  EXPECT_EQ(pos.fixed_move_time, 0);
  char st_plain[] = "st 7";
  interpret_command(*session, st_plain);
  EXPECT_EQ(pos.fixed_move_time, 7000);
}

// Fractions of a second in "st" and in the increment; whole seconds budget
// as before, and a short fixed time keeps at least half of itself.
TEST(Level, FractionalSeconds) {
  auto session = std::make_unique<Session>();
  XboardClock& clock = session->clock;
  struct Case {
    const char* line;
    int32_t fixed;
    int64_t budget;
  } cases[] = {{"st 0.5", 500, 470}, {"st 0.05", 50, 25}, {"st 1", 1000, 970},
               {"st .25", 250, 220}, {"st 2.0009", 2000, 1970}, {"st 0", 0, 0}};
  for (const Case& c : cases) {
    std::string line = c.line;
    interpret_command(*session, line.data());
    EXPECT_EQ(clock.fixed_move_time, c.fixed) << c.line;
    if (c.fixed) {
      EXPECT_EQ(move_budget(clock, 1), c.budget) << c.line;
    }
  }
  set_level(clock, "level 0 0:15 0.1");
  EXPECT_EQ(clock.increment, 100);
  charge_clock(clock, 0, 40);  // White took 40 ms
  EXPECT_EQ(clock.time_left_white, 15000 - 40 + 100);
  set_level(clock, "level 0 1 2.5");
  EXPECT_EQ(clock.increment, 2500);
}

// TimeUse "full" shares the time left over the moves to go (25 without a
// move count) with most of the increment, but never more than a fifth of the
// time left nor under 5 ms; the default rule keeps the base time.
TEST(Level, WholeClockBudget) {
  auto session = std::make_unique<Session>();
  XboardClock& clock = session->clock;
  set_level(clock, "level 0 0:10 0.1");
  EXPECT_EQ(move_budget(clock, 1), 10000 / 61);
  EXPECT_EQ(move_budget(clock, 1, true), 10000 / 25 + 75);
  clock.time_left_black = 200;  // running low: a fifth of what is left
  EXPECT_EQ(move_budget(clock, 0, true), 40);
  clock.time_left_black = 3;
  EXPECT_EQ(move_budget(clock, 0, true), 5);
  set_level(clock, "level 40 5 0");
  EXPECT_EQ(move_budget(clock, 1, true), 300000 / 40);
  clock.moves_left_white = 2;  // the last moves of the period
  EXPECT_EQ(move_budget(clock, 1, true), 300000 / 5);
}

// The strength levels: a rating above another never searches fewer nodes nor
// plays more lesser moves; the top of the range is full strength, and so is
// any rating while UCI_LimitStrength is off.
TEST(Strength, LevelsGrowWithTheRating) {
  Strength last = strength_of(MIN_ELO - 500);
  EXPECT_GT(last.node_rate, 0);
  for (int64_t elo = MIN_ELO; elo < MAX_ELO; elo += 25) {
    const Strength level = strength_of(elo);
    EXPECT_GE(level.node_rate, last.node_rate) << elo;
    EXPECT_LE(level.second_best_percent, last.second_best_percent) << elo;
    last = level;
  }
  EXPECT_GT(strength_of(MAX_ELO - 1).node_rate, strength_of(MIN_ELO).node_rate * 100);
  EXPECT_EQ(strength_of(MAX_ELO).node_rate, 0);
  SettingValues v;
  v.number[SETTING_ELO] = MIN_ELO;
  EXPECT_EQ(strength_setting(v).node_rate, 0);
  v.number[SETTING_LIMIT_STRENGTH] = 1;
  EXPECT_EQ(strength_setting(v).node_rate, strength_of(MIN_ELO).node_rate);
  EXPECT_EQ(strength_node_limit(strength_of(MIN_ELO), 0), 1u);
  EXPECT_EQ(strength_node_limit(strength_of(MAX_ELO), 5000), 0u);
}

// KELO.ini's keys of the settings table, then the interface's word.
TEST(Settings, IniThenInterface) {
  Config c = read("DIM_HASH=64\n");
  EXPECT_EQ(c.settings.number[SETTING_HASH], 64);
  EXPECT_EQ(read("DIM_HASH=0\n").settings.number[SETTING_HASH], 1);  // the spin's least
  config = Config{};

  SettingValues v;
  EXPECT_EQ(find_setting("clear hash"), SETTING_CLEAR_HASH);
  EXPECT_EQ(find_setting("Hash "), -1);
  EXPECT_TRUE(parse_setting(SETTING_HASH, "99999999", v));
  EXPECT_EQ(v.number[SETTING_HASH], SETTINGS[SETTING_HASH].max);
  EXPECT_FALSE(parse_setting(SETTING_HASH, "big", v));
  EXPECT_EQ(v.number[SETTING_HASH], SETTINGS[SETTING_HASH].max);
  EXPECT_TRUE(parse_setting(SETTING_PONDER, "TRUE", v));
  EXPECT_EQ(v.number[SETTING_PONDER], 1);
  EXPECT_FALSE(parse_setting(SETTING_PONDER, "yes", v));
  EXPECT_EQ(uci_option_line(SETTING_PONDER, v), "option name Ponder type check default true");
  EXPECT_EQ(xboard_option_feature(SETTING_CLEAR_HASH, v), "feature option=\"Clear Hash -button\"");
  EXPECT_EQ(read("TIME_USE=full\n").settings.number[SETTING_TIME_USE], TIME_USE_FULL);
  config = Config{};
  EXPECT_FALSE(parse_setting(SETTING_TIME_USE, "fast", v));
  EXPECT_EQ(v.number[SETTING_TIME_USE], TIME_USE_CLASSIC);
  EXPECT_EQ(uci_option_line(SETTING_TIME_USE, v),
            "option name TimeUse type combo default classic var classic var full");
  EXPECT_TRUE(parse_setting(SETTING_TIME_USE, "Full", v));
  EXPECT_EQ(xboard_option_feature(SETTING_TIME_USE, v),
            "feature option=\"TimeUse -combo classic /// *full\"");

  // "memory N" counts the whole engine: the table is what is left of N.
  EXPECT_LT(int64_t(memory_buckets(256)) * int64_t(sizeof(TtBucket)), int64_t(256) << 20);
  EXPECT_GT(int64_t(memory_buckets(256)) * int64_t(sizeof(TtBucket)), int64_t(240) << 20);
  EXPECT_EQ(memory_buckets(1), 3);
}

}  // namespace
