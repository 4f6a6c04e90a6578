#include "tests/reliability/week_plan.h"

#include <fmt/format.h>

#include <nlohmann/json.hpp>
#include <random>
#include <string_view>

#include "tests/support/config_entry.h"

namespace week {
namespace {

using nlohmann::ordered_json;

constexpr int kBeasts = 8;
// Beast0 starts above every cap it is given; Beast5 and Beast6 hold the
// midnight clock entries; Beast7 loads but the game refuses to spawn it.
constexpr int kCrowded = 0;
constexpr int kAtMidnight = 5;
constexpr int kBeforeMidnight = 6;
constexpr int kUnspawnable = 7;
constexpr int kGoodVariants = 4;

std::string Reference(int beast) {
  return fmt::format("/Game/Week/Beast{0}/Beast{0}_BP.Beast{0}_BP_C", beast);
}

std::string Blueprint(int beast) {
  return fmt::format("Blueprint'/Game/Week/Beast{0}/Beast{0}_BP.Beast{0}_BP'", beast);
}

// Draws from one seed the same way on every platform (the standard
// distributions are not portable).
class Draw {
 public:
  explicit Draw(std::uint32_t seed) : engine_(seed) {}
  int Int(int low, int high) {
    return low + static_cast<int>(engine_() % static_cast<std::uint32_t>(high - low + 1));
  }
  bool Chance(int percent) { return Int(0, 99) < percent; }

 private:
  std::mt19937 engine_;
};

ordered_json Entry(Draw& draw, ordered_json interval, int cap, int beast) {
  // Chained calls draw in the order written.
  ConfigEntry entry(std::move(interval));
  entry.Cap(cap)
      .Position(fmt::format("{} {} {}", draw.Int(-200000, 200000), draw.Int(-200000, 200000),
                            draw.Int(0, 20000)))
      .Set("PositionRangeRandom", draw.Chance(40))
      .Set("Maxlevel", draw.Int(1, 450))
      .Set("levelFixed", draw.Chance(60));
  const bool notice = draw.Chance(60);
  entry.Notice(notice);
  if (notice || draw.Chance(50)) entry.Name(fmt::format("Beast{} 兽{}", beast, beast));
  return entry;
}

std::string ClockText(Draw& draw) {
  // Hour and minute without leading zeros, as the clock table compares them.
  return fmt::format("{}:{}", draw.Int(0, 23), draw.Int(0, 59));
}

// A good configuration: both tables, many entries. Variant v leaves out
// Beast(1 + v), so each one has a class that must not spawn under it.
std::string GoodConfig(Draw& draw, int variant) {
  ordered_json countdown;
  ordered_json clock;
  countdown[Blueprint(kCrowded)] = Entry(draw, draw.Int(0, 5), draw.Int(3, 5), kCrowded);
  for (int beast = 1; beast <= 4; ++beast) {
    if (beast == 1 + variant) continue;
    // One entry falls due at every run.
    int interval = beast == 2 ? 0 : draw.Int(1, 45);
    countdown[Blueprint(beast)] = Entry(draw, interval, draw.Int(1, 6), beast);
  }
  countdown[Blueprint(kUnspawnable)] = Entry(draw, draw.Int(0, 10), 5, kUnspawnable);
  // The midnight entries can never meet their cap within a week.
  clock[Blueprint(kAtMidnight)] = Entry(draw, "0:0", 1000, kAtMidnight);
  clock[Blueprint(kBeforeMidnight)] = Entry(draw, "23:59", 1000, kBeforeMidnight);
  for (int beast = 1; beast <= 4; ++beast) {
    if (beast == 1 + variant || !draw.Chance(50)) continue;
    clock[Blueprint(beast)] = Entry(draw, ClockText(draw), draw.Int(2, 8), beast);
  }
  const ordered_json config{{"SpawnDino", countdown}, {"SpawnDinoX", clock}};
  std::string text = config.dump(2) + "\n";
  // Text after the first value is never read.
  if (variant == kGoodVariants - 1) text += "} trailing notes, not JSON {\n";
  return text;
}

// What broken files start from: every class, caps far above the good ones,
// due at every run. Should any of it be taken, the crowded class would spawn
// above the cap in force and the run would fail.
std::string BaitConfig(Draw& draw) {
  ordered_json config;
  for (int beast = 0; beast < kBeasts; ++beast) {
    config["SpawnDino"][Blueprint(beast)] = Entry(draw, 0, 100, beast);
  }
  config["SpawnDinoX"][Blueprint(1)] = Entry(draw, ClockText(draw), 100, 1);
  return config.dump(2) + "\n";
}

std::map<std::string, std::string> BrokenConfigs(Draw& draw) {
  const std::string bait = BaitConfig(draw);
  std::map<std::string, std::string> broken;
  broken["broken_truncated.json"] = bait.substr(0, bait.size() * 2 / 3);
  broken["broken_comment.json"] = "// the spring herds\n" + bait;
  ordered_json interval = ordered_json::parse(bait);
  interval["SpawnDino"][Blueprint(2)]["SpawnInterval"] = "soon";
  broken["broken_interval.json"] = interval.dump(2);
  ordered_json table = ordered_json::parse(bait);
  table["SpawnDinoX"] = 5;
  broken["broken_table.json"] = table.dump(2);
  broken["broken_top.json"] = "[" + bait + "]";
  broken["broken_empty.json"] = "";
  return broken;
}

std::string World() {
  ordered_json world;
  world["seed"] = 7;
  world["world_settings"] = {{"LatitudeScale", 800},
                             {"LongitudeScale", 800},
                             {"LatitudeOrigin", -400000},
                             {"LongitudeOrigin", -400000}};
  ordered_json classes = ordered_json::array();
  for (int beast = 0; beast < kBeasts; ++beast) {
    ordered_json c{{"reference", Reference(beast)}, {"creature", true}};
    if (beast == kUnspawnable) c["spawnable"] = false;
    classes.push_back(c);
  }
  classes.push_back({{"reference", "/Game/Week/Hut/Hut_BP.Hut_BP_C"}, {"creature", false}});
  world["classes"] = classes;
  world["actors"] = ordered_json::array({
      {{"class", Reference(kCrowded)}, {"team", 0}, {"count", 7}},
      {{"class", Reference(1)}, {"team", 0}, {"count", 2}},
      // Tamed: never counted against a cap.
      {{"class", Reference(1)}, {"team", 50000}, {"count", 3}},
      {{"class", Reference(2)}, {"team", 49999}, {"count", 2}},
      {{"class", Reference(3)}, {"team", 0}, {"count", 1}},
      {{"class", "/Game/Week/Hut/Hut_BP.Hut_BP_C"}, {"team", 0}, {"count", 4}},
  });
  world["players"] = ordered_json::array({
      {{"name", "Ayla"}},
      {{"name", "Borin"}},
      {{"name", "Ghost"}, {"resolves", false}},
      {{"name", "旅人"}},
  });
  return world.dump(2) + "\n";
}

}  // namespace

WeekPlan MakeWeekPlan(std::uint32_t seed, int days) {
  Draw draw(seed);
  WeekPlan plan;
  plan.minutes = static_cast<std::int64_t>(days) * 24 * 60;
  plan.world = World();
  plan.before_midnight = Blueprint(kBeforeMidnight);
  plan.at_midnight = Blueprint(kAtMidnight);

  std::vector<std::string> good;
  for (int v = 0; v < kGoodVariants; ++v) {
    std::string name = fmt::format("good{}.json", v);
    plan.configs[name] = GoodConfig(draw, v);
    good.push_back(name);
  }
  plan.first_config = good.front();
  std::vector<std::string> broken;
  for (auto& [name, text] : BrokenConfigs(draw)) {
    plan.configs[name] = text;
    broken.push_back(name);
  }

  ordered_json script = ordered_json::array();
  auto at = [&](double minute, const char* action, ordered_json value) {
    script.push_back({{"minute", minute}, {action, std::move(value)}});
  };

  // Reloads every two to five hours: a good file, a broken one, or none.
  static constexpr const char* kReloadSpellings[] = {"Drovekeeper.reload", "drovekeeper.RELOAD",
                                                     "Drovekeeper.reload now please"};
  for (int minute = draw.Int(60, 180); minute < plan.minutes - 1; minute += draw.Int(120, 300)) {
    const int kind = draw.Int(0, 99);
    if (kind < 55) {
      at(minute, "config_from", good[draw.Int(0, kGoodVariants - 1)]);
      ++plan.reloads_ok;
    } else if (kind < 85) {
      at(minute, "config_from", broken[draw.Int(0, static_cast<int>(broken.size()) - 1)]);
      ++plan.reloads_failed;
    } else {
      at(minute, "config_delete", true);
      ++plan.reloads_failed;
    }
    at(minute + 0.5, "rcon", kReloadSpellings[draw.Int(0, 2)]);
  }
  // A command nobody registered, once a day.
  for (int day = 0; day < days; ++day) at(day * 1440 + 700, "rcon", "listplayers");
  // Creatures die every quarter to three quarters of an hour.
  for (int minute = draw.Int(10, 45); minute < plan.minutes; minute += draw.Int(15, 45)) {
    at(minute + 0.25, "kill",
       {{"class", Reference(draw.Int(0, kBeforeMidnight))}, {"count", draw.Int(1, 3)}});
    ++plan.kill_actions;
  }
  // Players come and go every two to six hours; names are never reused.
  std::vector<std::string> present{"Ayla", "Borin", "Ghost", "旅人"};
  int travellers = 0;
  for (int minute = draw.Int(60, 240); minute < plan.minutes; minute += draw.Int(120, 360)) {
    if (present.size() > 1 && draw.Chance(50)) {
      const int index = draw.Int(0, static_cast<int>(present.size()) - 1);
      plan.leaves.push_back({present[index], minute + 0.75});
      at(minute + 0.75, "player_leave", present[index]);
      present.erase(present.begin() + index);
    } else {
      std::string name = fmt::format("Traveller{}", ++travellers);
      at(minute + 0.75, "player_join", name);
      present.push_back(name);
      ++plan.joins;
    }
  }
  plan.script = script.dump(1) + "\n";
  return plan;
}

}  // namespace week
