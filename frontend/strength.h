// KELO weaker on request (UCI_LimitStrength, UCI_Elo): a level of play is a
// rate of nodes a second, against which its clock is counted, and at the
// weakest levels a share of moves on which it plays a lesser line.
#pragma once

#include <cstdint>

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
