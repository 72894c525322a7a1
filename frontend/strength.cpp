#include "frontend/strength.h"

#include <algorithm>
#include <cmath>

#include "frontend/settings.h"

namespace {

struct Level {
  int64_t elo;
  int64_t node_rate;
  int32_t second_best_percent;
};

// The measured levels; between two of them the node rate grows
// geometrically and the share of lesser moves falls linearly.
constexpr Level LEVELS[] = {
    {1000, 5000, 30}, {1400, 15000, 10}, {1800, 60000, 0}, {2200, 400000, 0}, {MAX_ELO, 0, 0},
};

}  // namespace

Strength strength_of(int64_t elo) {
  if (elo <= LEVELS[0].elo) return {LEVELS[0].node_rate, LEVELS[0].second_best_percent};
  if (elo >= MAX_ELO) return {};
  int i = 0;
  while (LEVELS[i + 1].elo <= elo) ++i;
  const Level& a = LEVELS[i];
  const Level& b = LEVELS[i + 1];
  const double t = double(elo - a.elo) / double(b.elo - a.elo);
  // Towards full strength the rate grows to ten times the last measured one.
  const double top = b.node_rate ? double(b.node_rate) : 10.0 * double(a.node_rate);
  const double rate = double(a.node_rate) * std::pow(top / double(a.node_rate), t);
  const double percent = a.second_best_percent + t * (b.second_best_percent - a.second_best_percent);
  return {int64_t(rate), int32_t(percent)};
}

Strength strength_setting(const SettingValues& values) {
  if (!values.number[SETTING_LIMIT_STRENGTH]) return {};
  return strength_of(values.number[SETTING_ELO]);
}

uint64_t strength_node_limit(const Strength& level, int64_t ms) {
  if (level.node_rate <= 0) return 0;
  return std::max<uint64_t>(uint64_t(std::max<int64_t>(ms, 0)) * uint64_t(level.node_rate) / 1000, 1);
}

void limit_strength(const Strength& level, SearchLimits& limits, int64_t budget_ms) {
  const uint64_t nodes = strength_node_limit(level, budget_ms);
  if (nodes && (!limits.node_limit || nodes < limits.node_limit)) limits.node_limit = nodes;
  if (level.second_best_percent > 0 && limits.multi_pv < 2) {
    limits.shown_pv = limits.multi_pv;
    limits.multi_pv = 2;
  }
}

bool draw_lesser_move(const Strength& level, std::mt19937_64& random) {
  return level.second_best_percent > 0 && int32_t(random() % 100) < level.second_best_percent;
}

void weaken_choice(SearchResult& result, bool lesser_drawn) {
  if (!lesser_drawn || !result.second || result.second == result.best) return;
  if (result.score - result.second_score > LESSER_MOVE_CP) return;
  result.best = result.second;
  result.score = result.second_score;
  result.ponder = 0;
}
