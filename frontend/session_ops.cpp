#include "frontend/session_ops.h"

#include "egdb/kpk.h"
#include "egdb/tb_probe.h"
#include "frontend/settings.h"

void reset_exclusions(Session& s) { s.exclusion_ply = -1; }

// The clocks of a new game or set-up start afresh from the time control in
// force.
void set_position(Session& s, const char* fen) {
  s.game = Position(fen, s.fischerandom);
  reset_exclusions(s);
  XboardClock& c = s.clock;
  c.moves_left_white = c.moves_left_black = c.moves_per_period;
  c.time_left_white = c.time_left_black = c.base_time;
  s.engine_side = NO_SIDE;
}

std::string change_setting(Session& s, int id, const std::string& value) {
  if (!parse_setting(id, value, s.settings)) return "";
  EndgameKnowledge& knowledge = s.engine.knowledge;
  switch (id) {
    case SETTING_HASH:
      engine_set_table(s.engine, int32_t(s.settings.number[id]) * BUCKETS_PER_MB);
      break;
    case SETTING_CLEAR_HASH:
      engine_clear_table(s.engine);
      break;
    case SETTING_TABLEBASES: {
      knowledge.tablebases = false;
      const std::string& dir = s.settings.text[id];
      if (dir.empty()) break;
      // A broken file leaves out its table only; play never ends for it.
      std::vector<std::string> skipped;
      const TbError error = init_tablebases(dir.c_str(), &skipped);
      if (error.failed()) return error.message;
      knowledge.tablebases = tb_max_pieces > 0;
      std::string problems;
      for (const std::string& m : skipped) problems += (problems.empty() ? "" : "; ") + m;
      if (tb_max_pieces == 0 && problems.empty()) return "no tablebases in " + dir;
      return problems;
    }
    case SETTING_THREADS:
      s.engine.threads = int32_t(s.settings.number[id]);
      break;
    case SETTING_STYLE: {
      const bool modern = s.settings.number[id] == STYLE_MODERN;
      engine_set_style(s.engine, modern ? Style::MODERN : Style::CLASSIC);
      // Move Overhead follows the style until it is given.
      if (!s.settings.given[SETTING_MOVE_OVERHEAD])
        s.settings.number[SETTING_MOVE_OVERHEAD] =
            modern ? MODERN_MOVE_OVERHEAD : CLASSIC_MOVE_OVERHEAD;
      break;
    }
    case SETTING_KPK_BITBASE:
      knowledge.kpk = s.settings.number[id] && kpk_loaded;
      if (s.settings.number[id] && !kpk_loaded) return "no kpk.bin: the KPK bitbase stays off";
      break;
    default:
      break;  // read where it counts
  }
  return "";
}

std::vector<std::string> apply_start_settings(Session& s) {
  std::vector<std::string> problems;
  for (int id : {SETTING_TABLEBASES, SETTING_KPK_BITBASE, SETTING_THREADS, SETTING_STYLE}) {
    const Setting& setting = SETTINGS[id];
    const std::string value =
        setting.type == SettingType::STRING  ? s.settings.text[id]
        : setting.type == SettingType::COMBO ? setting.choices[s.settings.number[id]]
                                             : std::to_string(s.settings.number[id]);
    const std::string problem = change_setting(s, id, value);
    if (!problem.empty()) problems.push_back(problem);
  }
  return problems;
}
