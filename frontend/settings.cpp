#include "frontend/settings.h"

#include <cctype>

#include "book/book_file.h"
#include "engine/engine.h"
#include "frontend/strength.h"
#include "position/text.h"

namespace {
const char* const TIME_USE_CHOICES[] = {"classic", "full", nullptr};
const char* const STYLE_CHOICES[] = {"classic", "modern", nullptr};
}  // namespace

// xboard sets the hash size by "memory", pondering by "hard" and "easy", and
// the threads by "cores".
const Setting SETTINGS[SETTING_COUNT] = {
    {"Hash", SettingType::SPIN, 32, 1, MAX_HASH_MB, "", "DIM_HASH=", false, true},
    {"Clear Hash", SettingType::BUTTON, 0, 0, 0, "", nullptr, true, true},
    {"Ponder", SettingType::CHECK, 0, 0, 1, "", nullptr, false, true},
    {"OwnBook", SettingType::CHECK, 0, 0, 1, "", "OWN_BOOK=", true, true},
    {"BookFile", SettingType::STRING, 0, 0, 0, BOOK_FILE_NAME, "BOOK_FILE=", true, true},
    {"BookBest", SettingType::CHECK, 0, 0, 1, "", "BOOK_BEST=", true, true},
    {"Tablebases", SettingType::STRING, 0, 0, 0, "", "TB_PATH=", true, true},
    {"KPKBitbase", SettingType::CHECK, 0, 0, 1, "", "KPK_BITBASE=", true, true},
    {"Threads", SettingType::SPIN, 1, 1, MAX_THREADS, "", "THREADS=", false, true},
    {"TimeUse", SettingType::COMBO, TIME_USE_CLASSIC, 0, 0, "", "TIME_USE=", true, true,
     TIME_USE_CHOICES},
    {"UCI_LimitStrength", SettingType::CHECK, 0, 0, 1, "", "LIMIT_STRENGTH=", false, true},
    {"UCI_Elo", SettingType::SPIN, MAX_ELO, MIN_ELO, MAX_ELO, "", "ELO=", false, true},
    {"MultiPV", SettingType::SPIN, 1, 1, MAX_MULTI_PV, "", "MULTI_PV=", true, true},
    {"Style", SettingType::COMBO, STYLE_CLASSIC, 0, 0, "", "STYLE=", true, true, STYLE_CHOICES},
    {"Move Overhead", SettingType::SPIN, CLASSIC_MOVE_OVERHEAD, 0, 5000, "", "MOVE_OVERHEAD=",
     true, true},
    // xboard chooses the variant by "variant fischerandom" instead.
    {"UCI_Chess960", SettingType::CHECK, 0, 0, 1, "", nullptr, false, true},
};

SettingValues::SettingValues() {
  for (int i = 0; i < SETTING_COUNT; ++i) {
    number[i] = SETTINGS[i].default_number;
    text[i] = SETTINGS[i].default_text;
    given[i] = false;
  }
}

namespace {

bool same_name(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return i == a.size() && !b[i];
}

}  // namespace

int find_setting(const std::string& name) {
  for (int i = 0; i < SETTING_COUNT; ++i)
    if (same_name(name, SETTINGS[i].name)) return i;
  return -1;
}

namespace {

bool parse_value(int id, const std::string& text, SettingValues& values) {
  const Setting& s = SETTINGS[id];
  switch (s.type) {
    case SettingType::SPIN: {
      const char* c = text.c_str();
      while (*c == ' ') ++c;
      if (!std::isdigit(static_cast<unsigned char>(c[*c == '-' || *c == '+'])))
        return false;
      const int64_t v = read_decimal(c);
      values.number[id] = v < s.min ? s.min : v > s.max ? s.max : v;
      return true;
    }
    case SettingType::CHECK:
      if (same_name(text, "true") || text == "1") {
        values.number[id] = 1;
      } else if (same_name(text, "false") || text == "0") {
        values.number[id] = 0;
      } else {
        return false;
      }
      return true;
    case SettingType::BUTTON:
      return true;
    case SettingType::STRING:
      values.text[id] = text;
      return true;
    case SettingType::COMBO:
      for (int i = 0; s.choices[i]; ++i)
        if (same_name(text, s.choices[i])) {
          values.number[id] = i;
          return true;
        }
      return false;
  }
  return false;
}

}  // namespace

bool parse_setting(int id, const std::string& text, SettingValues& values) {
  if (!parse_value(id, text, values)) return false;
  values.given[id] = true;
  return true;
}

std::string uci_option_line(int id, const SettingValues& values) {
  const Setting& s = SETTINGS[id];
  std::string line = std::string("option name ") + s.name + " type ";
  switch (s.type) {
    case SettingType::SPIN:
      return line + "spin default " + std::to_string(values.number[id]) + " min " +
             std::to_string(s.min) + " max " + std::to_string(s.max);
    case SettingType::CHECK:
      return line + "check default " + (values.number[id] ? "true" : "false");
    case SettingType::BUTTON:
      return line + "button";
    case SettingType::STRING:
      // UCI's mark for an empty text.
      return line + "string default " + (values.text[id].empty() ? "<empty>" : values.text[id]);
    case SettingType::COMBO:
      line += std::string("combo default ") + s.choices[values.number[id]];
      for (int i = 0; s.choices[i]; ++i) line += std::string(" var ") + s.choices[i];
      return line;
  }
  return line;
}

std::string xboard_option_feature(int id, const SettingValues& values) {
  const Setting& s = SETTINGS[id];
  std::string body = s.name;
  switch (s.type) {
    case SettingType::SPIN:
      body += " -spin " + std::to_string(values.number[id]) + " " + std::to_string(s.min) + " " +
              std::to_string(s.max);
      break;
    case SettingType::CHECK:
      body += std::string(" -check ") + (values.number[id] ? "1" : "0");
      break;
    case SettingType::BUTTON:
      body += " -button";
      break;
    case SettingType::STRING:
      body += " -string " + values.text[id];
      break;
    case SettingType::COMBO:  // the current choice marked with a star
      body += " -combo";
      for (int i = 0; s.choices[i]; ++i)
        body += std::string(i ? " /// " : " ") + (i == values.number[id] ? "*" : "") + s.choices[i];
      break;
  }
  return "feature option=\"" + body + "\"";
}

TimeRule time_rule(const SettingValues& values) {
  if (values.number[SETTING_STYLE] == STYLE_MODERN) return TimeRule::MODERN;
  return values.number[SETTING_TIME_USE] == TIME_USE_FULL ? TimeRule::FULL : TimeRule::CLASSIC;
}

int64_t move_overhead(const SettingValues& values) { return values.number[SETTING_MOVE_OVERHEAD]; }
