// The settings an interface may change: one table for KELO.ini, the xboard
// "option" features and the UCI options. Each setting starts at its default,
// then takes KELO.ini's value at start-up, then whatever the interface says;
// the last word wins.
#pragma once

#include <cstdint>
#include <string>

#include "search/time_manager.h"

enum SettingId : int {
  SETTING_HASH,
  SETTING_CLEAR_HASH,
  SETTING_PONDER,
  SETTING_OWN_BOOK,
  SETTING_BOOK_FILE,
  SETTING_BOOK_BEST,
  SETTING_TABLEBASES,
  SETTING_KPK_BITBASE,
  SETTING_THREADS,
  SETTING_TIME_USE,
  SETTING_LIMIT_STRENGTH,
  SETTING_ELO,
  SETTING_MULTI_PV,
  SETTING_STYLE,
  SETTING_MOVE_OVERHEAD,
  SETTING_CHESS960,
  SETTING_COUNT
};

// The kinds of value both protocols know.
enum class SettingType { SPIN, CHECK, BUTTON, STRING, COMBO };

// The choices of TimeUse, in the order of its COMBO values.
enum TimeUse : int64_t { TIME_USE_CLASSIC, TIME_USE_FULL };
// The choices of Style: the engine's search and evaluation.
enum StyleChoice : int64_t { STYLE_CLASSIC, STYLE_MODERN };
// Move Overhead's value under each style until it is given.
constexpr int64_t CLASSIC_MOVE_OVERHEAD = 0, MODERN_MOVE_OVERHEAD = 20;

struct Setting {
  const char* name;  // as the interfaces show it
  SettingType type;
  int64_t default_number;    // spin; check: 0 or 1; combo: the choice's index
  int64_t min, max;          // spin
  const char* default_text;  // string
  const char* ini_key;       // "KEY=" in KELO.ini, or nullptr
  bool in_xboard;            // offered as an xboard option feature
  bool in_uci;               // offered as a UCI option
  const char* const* choices = nullptr;  // combo: its names, ended by nullptr
};

extern const Setting SETTINGS[SETTING_COUNT];

struct SettingValues {
  int64_t number[SETTING_COUNT];
  std::string text[SETTING_COUNT];
  bool given[SETTING_COUNT];  // set by KELO.ini or an interface, not left at its default
  SettingValues();  // the defaults
};

// The setting of that name (the case of letters does not count, as UCI
// asks), or -1.
int find_setting(const std::string& name);

// Takes an interface's or KELO.ini's text as the setting's value: a spin is
// clamped into its range, a check reads "true"/"false" or 1/0, a combo one of
// its choices (the case of letters does not count); the setting is then
// given. False, and nothing changed, when the text is no value of the
// setting's kind.
bool parse_setting(int id, const std::string& text, SettingValues& values);

// "option name Hash type spin default 32 min 1 max 98304"
std::string uci_option_line(int id, const SettingValues& values);
// "feature option=\"Clear Hash -button\""
std::string xboard_option_feature(int id, const SettingValues& values);

// How the clock is shared out under the settings: Style modern's rule, or
// TimeUse's.
TimeRule time_rule(const SettingValues& values);
// The milliseconds kept back from every timed move.
int64_t move_overhead(const SettingValues& values);
