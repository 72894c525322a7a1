// KELO weaker on request (UCI_LimitStrength, UCI_Elo): a level of play is a
// rate of nodes a second, against which its clock is counted, and at the
// weakest levels a share of moves on which it plays a lesser line.
#pragma once

#include <cstdint>
#include <random>

#include "search/limits.h"

constexpr int64_t MIN_ELO = 1000, MAX_ELO = 2400;  // MAX_ELO: full strength

struct Strength {
  int64_t node_rate = 0;  // nodes a second of the engine's clock; 0: no limit
  int32_t second_best_percent = 0;
};

// The level of an Elo rating, between the measured levels of the table.
Strength strength_of(int64_t elo);

struct SettingValues;
// The level the settings ask for: full strength unless UCI_LimitStrength.
Strength strength_setting(const SettingValues& values);

// A search budget of ms milliseconds as nodes at the level's rate, at least
// one; 0 at full strength.
uint64_t strength_node_limit(const Strength& level, int64_t ms);

// A search at the level: a timed budget of budget_ms also becomes a count of
// nodes, and where the level plays lesser moves the search keeps a second
// line, unreported unless the interface asked for it.
void limit_strength(const Strength& level, SearchLimits& limits, int64_t budget_ms);

// At such a level, now and then the second line's move instead of the best
// one, when it gives away no more than LESSER_MOVE_CP: whether this move is
// one is drawn before the search, so that the drawing stays on the thread
// that owns the generator.
constexpr int32_t LESSER_MOVE_CP = 200;
bool draw_lesser_move(const Strength& level, std::mt19937_64& random);
void weaken_choice(SearchResult& result, bool lesser_drawn);
