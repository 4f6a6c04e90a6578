// The two ways of counting wild creatures within a run: one walk tallied by
// reference (the plug-in's own) against a fresh walk per count. Random worlds
// and configurations must give the same spawns, levels, positions, notices
// and log lines either way.
#include <fmt/format.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "config/config.h"
#include "host/game_string.h"
#include "host/game_types.h"
#include "spawn/cap.h"
#include "spawn/tick.h"
#include "standin/host/host.h"
#include "tests/support/config_entry.h"
#include "tests/support/host_fixture.h"
#include "tests/support/scripted_env.h"
#include "tests/support/spawn_run_fixture.h"

namespace drovekeeper::spawn {

namespace {

using nlohmann::json;

constexpr std::int64_t kStartTicks = 800'000 * ScriptedEnv::kTicksPerSecond;

// What the game does to the level's actor array besides appending the
// creature it spawned.
enum class SpawnEffect { kNone, kAppendMore, kRemoveEarlier, kReorder };

// ---- A game whose spawn changes more of the level than the one actor, and
// a check of every count the tally gives against a fresh walk at each spawn.

void* real_spawn_actor = nullptr;
SpawnEffect spawn_effect = SpawnEffect::kNone;
std::mt19937 spawn_effects;
std::vector<std::string> counted_names;
int counts_checked = 0;

void* SpawnWithEffect(UWorld* world, void* cls, const Vec3* location, const Rot3* rotation,
                      const SpawnParameters* parameters) {
  using Fn = void* (*)(UWorld*, void*, const Vec3*, const Rot3*, const SpawnParameters*);
  void* spawned =
      reinterpret_cast<Fn>(real_spawn_actor)(world, cls, location, rotation, parameters);
  standin::game::World& w = *standin::game::World::FromGame(world);
  auto between = [](int low, int high) {
    return std::uniform_int_distribution(low, high)(spawn_effects);
  };
  const auto& actors = w.actors();
  if (spawned != nullptr && !actors.empty()) {
    const standin::game::Actor* some = actors[between(0, static_cast<int>(actors.size()) - 1)];
    switch (spawn_effect) {
      case SpawnEffect::kNone:
        break;
      case SpawnEffect::kAppendMore:
        for (int i = between(1, 2); i > 0; --i) {
          if (some != nullptr) w.AddCreature(some->game_class, between(0, 1) * 49999);
        }
        break;
      case SpawnEffect::kRemoveEarlier: {
        // Never the creature just spawned: the plug-in goes on to level it.
        // A kill takes the oldest of the class as wild or tamed as `some`.
        const standin::game::GameClass* own =
            static_cast<standin::game::Actor*>(spawned)->game_class;
        const bool tamed = some != nullptr && !some->wild();
        const int wild = w.CountCreatures(own, true);
        const int alike = tamed ? w.CountCreatures(own) - wild : wild;
        if (some != nullptr && (some->game_class != own || alike >= 2)) {
          w.KillCreatures(some->game_class, 1, tamed);
        }
        break;
      }
      case SpawnEffect::kReorder: {
        // Swaps two slots of the array the game hands out.
        auto& live = reinterpret_cast<standin::game::WorldRecord*>(world)->persistent_level->actors;
        std::swap(live.data[between(0, live.count - 1)], live.data[between(0, live.count - 1)]);
        break;
      }
    }
  }
  // Every count the run could ask for now, tallied against a fresh walk.
  for (const std::string& name : counted_names) {
    const std::int32_t tallied = CountWildOfClass(name);
    SetCountStrategyForTesting(CountStrategy::kPerEntry);
    EXPECT_EQ(tallied, CountWildOfClass(name)) << name;
    SetCountStrategyForTesting(CountStrategy::kTally);
    ++counts_checked;
  }
  return spawned;
}

// ---- Random scenarios.

struct ClassSpec {
  std::string reference;
  bool creature;
  bool spawnable;
};

// References chosen to reach every branch of the matching: ordinary paths,
// non-ASCII paths, references too short to lose two characters, a class that
// is no creature and one that the game will not spawn.
const ClassSpec kClasses[] = {
    {"/Game/Rex/Rex.Rex_C", true, true},
    {"/Game/Anky/Anky.Anky_C", true, true},
    {"/Game/Raptor/Raptor.Raptor_C", true, true},
    {"/P/\xC3\x84.\xC3\x84_C", true, true},
    {"/P/\xE9\x9C\xB8.\xE9\x9C\xB8_C", true, true},
    {"AB", true, true},
    {"A", true, true},
    {"/Game/Rock/Rock.Rock_C", false, false},
    {"/Game/Crate/Crate.Crate_C", true, false},
};
constexpr int kClassCount = std::size(kClasses);

// "Blueprint'" + the reference less two characters + "'".
std::string EntryNameOf(const std::string& reference) {
  return "Blueprint'" + (reference.size() < 2 ? "" : reference.substr(0, reference.size() - 2)) +
         "'";
}

// Names that match no creature although they look close to one.
const char* const kDecoyNames[] = {
    "blueprint'/Game/Rex/Rex.Rex'",
    "Blueprint'/Game/Rex/Rex.Rex",
    "/Game/Rex/Rex.Rex_C",
    "Blueprint'/Game/Absent/Absent.Absent'",
    "",
};

struct Population {
  int class_index;
  int count;
  std::int32_t team;
};

// Between two runs the world changes on its own.
struct WorldChange {
  int before_run;
  bool kill;  // else a birth
  int class_index;
  int count;
  std::int32_t team;
};

struct Scenario {
  std::uint32_t seed;
  SpawnEffect spawn_effect;
  std::vector<Population> population;
  int null_actors;
  int classless_actors;
  std::vector<WorldChange> changes;
  json config;
  int runs;
  int start_hour;
  int start_minute;
};

class ScenarioMaker {
 public:
  explicit ScenarioMaker(std::uint32_t seed) : generator_(seed) { scenario_.seed = seed; }

  Scenario Make() {
    const int groups = Between(0, 8);
    for (int i = 0; i < groups; ++i) {
      scenario_.population.push_back({Between(0, kClassCount - 1), Between(0, 4), Team()});
    }
    scenario_.null_actors = Between(0, 2);
    scenario_.classless_actors = Between(0, 1);
    scenario_.runs = Between(3, 10);
    scenario_.spawn_effect = static_cast<SpawnEffect>(Between(0, 3));
    scenario_.start_hour = Between(0, 23);
    scenario_.start_minute = Between(0, 59);
    const int changes = Between(1, 6);
    for (int i = 0; i < changes; ++i) {
      scenario_.changes.push_back({Between(1, scenario_.runs - 1), Chance(60),
                                   Between(0, kClassCount - 1), Between(1, 3), Team()});
    }

    json countdown = json::object();
    json clock = json::object();
    std::vector<std::string> names;
    for (const ClassSpec& spec : kClasses) names.push_back(EntryNameOf(spec.reference));
    for (const char* decoy : kDecoyNames) names.emplace_back(decoy);
    for (const std::string& name : names) {
      if (Chance(60)) countdown[name] = Entry(Between(-1, 2));
      // Often the same class in both tables, so one run counts it after
      // having spawned it.
      if (Chance(60)) {
        const int offset = Between(0, scenario_.runs - 1);
        const int minutes = scenario_.start_hour * 60 + scenario_.start_minute + offset;
        clock[name] = Entry(fmt::format("{}:{}", minutes / 60 % 24, minutes % 60));
      }
    }
    scenario_.config = {{"SpawnDino", countdown}, {"SpawnDinoX", clock}};
    return scenario_;
  }

 private:
  int Between(int low, int high) { return std::uniform_int_distribution(low, high)(generator_); }
  bool Chance(int percent) { return Between(1, 100) <= percent; }

  std::int32_t Team() {
    const std::int32_t teams[] = {0, 0, 0, 7, 49998, 49999, 50000};
    return teams[Between(0, std::size(teams) - 1)];
  }

  // Chained calls draw in the order written.
  json Entry(json interval) {
    json entry = ConfigEntry(interval)
                     .Cap(Between(-1, 4))
                     .Position(fmt::format("{} {} {}", Between(-90000, 90000),
                                           Between(-90000, 90000), Between(0, 5000)))
                     .Set("PositionRangeRandom", Chance(50))
                     .Set("Maxlevel", Between(1, 40))
                     .Set("levelFixed", Chance(50))
                     .Notice(Chance(60))
                     .Name(fmt::format("Beast {}", Between(0, 99)));
    // Faults that end an entry's turn with a log line, before or after the
    // count.
    const int fault = Between(1, 100);
    if (fault <= 5) entry.erase("Worldmaximum");
    if (fault > 5 && fault <= 10) entry["Position"] = "1 two 3";
    if (fault > 10 && fault <= 14) {
      entry["SpawnNotice"] = true;
      entry.erase("Name");
    }
    return entry;
  }

  std::mt19937 generator_;
  Scenario scenario_;
};

// What a scenario left behind, as comparable text.
struct Outcome {
  std::vector<std::string> spawns;
  std::vector<std::string> notices;
  std::vector<std::string> log;
  std::string countdowns;
  int draws = 0;
};

std::string Describe(const standin::game::SpawnRecord& spawn) {
  std::string points;
  for (std::uint8_t p : spawn.points) points += fmt::format("{},", p);
  return fmt::format("{} at ({} {} {}) level {} points {} alive {} rescaled {} began {}",
                     spawn.class_reference, spawn.location.X, spawn.location.Y, spawn.location.Z,
                     spawn.level, points, spawn.alive, spawn.rescale_calls, spawn.begin_play_calls);
}

class CountDifferentialTest : public HostFixture {
 protected:
  standin::game::World& BuildWorld(const Scenario& s) {
    WorldBuilder builder;
    builder.Seed(s.seed)
        .Settings(800, 800, -400000, -400000)
        .Player("Ayla")
        .Player("Ghost", /*resolvable=*/false);
    for (const ClassSpec& spec : kClasses)
      builder.Class(spec.reference, spec.creature, spec.spawnable);
    for (const Population& p : s.population) {
      builder.Creatures(kClasses[p.class_index].reference, p.count, p.team);
    }
    builder.NullActors(s.null_actors);
    standin::game::World& world = UseWorld(builder);
    for (int i = 0; i < s.classless_actors; ++i) world.AddActor(nullptr);
    return world;
  }

  Outcome Run(const Scenario& s, CountStrategy strategy) {
    SetCountStrategyForTesting(strategy);
    standin::game::World& world = BuildWorld(s);
    real_spawn_actor = standin::host::GetAddress("UWorld.SpawnActor");
    standin::host::RegisterFunction("UWorld.SpawnActor", &SpawnWithEffect);
    spawn_effect = s.spawn_effect;
    spawn_effects.seed(s.seed);
    counted_names.clear();
    // Half the scenarios leave bringing the tally up to date to the plug-in's
    // own next count.
    if (strategy == CountStrategy::kTally && s.seed % 2 == 1) {
      for (const auto* table : {&s.config["SpawnDino"], &s.config["SpawnDinoX"]}) {
        for (const auto& [name, entry] : table->items()) counted_names.push_back(name);
      }
    }
    sink().Clear();
    LoadSpawnTablesAfresh(s.config);

    ScriptedEnv env;
    ScopedEnv scoped(env);
    env.SetNowTicks(kStartTicks);
    env.SetLocalTime(s.start_hour, s.start_minute, 30);
    std::mt19937 draws(s.seed ^ 0x5eedu);
    for (int i = 0; i < 20000; ++i) env.QueueDraws({static_cast<int>(draws() % 32768)});
    env.AllowEmptyQueue(16384);

    for (int run = 0; run < s.runs; ++run) {
      for (const WorldChange& change : s.changes) {
        if (change.before_run != run) continue;
        standin::game::GameClass* cls = world.FindClass(kClasses[change.class_index].reference);
        if (change.kill) {
          world.KillCreatures(cls, change.count);
        } else {
          for (int i = 0; i < change.count; ++i) world.AddCreature(cls, change.team);
        }
      }
      TimingSpawnTick();
      env.AdvanceSeconds(60);
    }

    Outcome outcome;
    for (const auto& spawn : world.Spawns()) outcome.spawns.push_back(Describe(spawn));
    for (const auto& [player, notice] : world.notices()) {
      outcome.notices.push_back(player + ": " + host::Utf16ToUtf8(notice.text));
    }
    outcome.log = sink().payloads();
    outcome.countdowns = config::CountdownTable.dump();
    outcome.draws = env.DrawsTaken();
    return outcome;
  }
};

TEST_F(CountDifferentialTest, RandomWorldsRunAlikeWithEitherStrategy) {
  std::size_t spawns = 0;
  std::size_t notices = 0;
  std::size_t log_lines = 0;
  counts_checked = 0;
  for (std::uint32_t seed = 1; seed <= 200; ++seed) {
    SCOPED_TRACE(fmt::format("seed {}", seed));
    const Scenario scenario = ScenarioMaker(seed).Make();
    const Outcome fresh = Run(scenario, CountStrategy::kPerEntry);
    const Outcome tallied = Run(scenario, CountStrategy::kTally);
    EXPECT_EQ(tallied.spawns, fresh.spawns);
    EXPECT_EQ(tallied.notices, fresh.notices);
    EXPECT_EQ(tallied.log, fresh.log);
    EXPECT_EQ(tallied.countdowns, fresh.countdowns);
    EXPECT_EQ(tallied.draws, fresh.draws);
    spawns += fresh.spawns.size();
    notices += fresh.notices.size();
    log_lines += fresh.log.size();
  }
  // The scenarios must exercise spawning, notices and faults at all.
  EXPECT_GT(spawns, 100u);
  EXPECT_GT(notices, 50u);
  EXPECT_GT(log_lines, 10u);
  EXPECT_GT(counts_checked, 1000);
}

}  // namespace

}  // namespace drovekeeper::spawn
