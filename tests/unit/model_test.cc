// The stand-in's model of the plug-in's rules (standin/model/) held against
// the plug-in's own functions on seeded random inputs, so that neither side
// can change unseen: the integer read, the position, the map formula, the
// acceptance of a document and of a file, and the gate and countdown of the
// timer. Every case must agree exactly. A few pinned cases say what the
// rules are.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <limits>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "config/config.h"
#include "config/fingerprint.h"
#include "config/position_number.h"
#include "host/game_string.h"
#include "plugin/config_read.h"
#include "spawn/entry_faults.h"
#include "spawn/notice.h"
#include "spawn/position.h"
#include "spawn/tick.h"
#include "standin/model/config_reading.h"
#include "standin/model/fingerprint.h"
#include "standin/model/map.h"
#include "standin/model/schedule.h"
#include "tests/support/host_fixture.h"
#include "tests/support/scripted_env.h"

namespace {

using nlohmann::json;

constexpr std::uint32_t kSeed = 20240301;
constexpr int kCases = 3000;

class Draw {
 public:
  explicit Draw(std::uint32_t seed) : engine_(seed) {}
  int Int(int low, int high) { return std::uniform_int_distribution<int>(low, high)(engine_); }
  std::int64_t Int64(std::int64_t low, std::int64_t high) {
    return std::uniform_int_distribution<std::int64_t>(low, high)(engine_);
  }
  double Real(double low, double high) {
    return std::uniform_real_distribution<double>(low, high)(engine_);
  }
  bool Chance(double p) { return std::bernoulli_distribution(p)(engine_); }
  template <typename T>
  const T& Pick(const std::vector<T>& from) {
    return from[static_cast<std::size_t>(Int(0, static_cast<int>(from.size()) - 1))];
  }

 private:
  std::mt19937_64 engine_;
};

// A JSON value of any kind, numbers most often and near the 32-bit limits.
json AnyValue(Draw& draw) {
  switch (draw.Int(0, 11)) {
    case 0:
      return draw.Int64(std::numeric_limits<std::int64_t>::min(),
                        std::numeric_limits<std::int64_t>::max());
    case 1:
      return draw.Int64(-3'000'000'000, 3'000'000'000);
    case 2:
      return static_cast<std::uint64_t>(draw.Int64(0, std::numeric_limits<std::int64_t>::max())) *
             2u;
    case 3:
      return draw.Real(-3e9, 3e9);
    case 4:
      return draw.Pick<double>({2147483647.9, 2147483648.0, -2147483648.9, -2147483649.0, -0.0, 0.5,
                                -0.5, 1e300, -1e300, std::numeric_limits<double>::quiet_NaN(),
                                std::numeric_limits<double>::infinity()});
    case 5:
      return draw.Int(-5, 5);
    case 6:
      return draw.Chance(0.5);
    case 7:
      return nullptr;
    case 8:
      return "7";
    case 9:
      return json::array({1});
    case 10:
      return json::object();
    default:
      return draw.Real(-20, 20);
  }
}

// A narrow piece of a position text: signs, spaces of every kind, digits,
// long runs near the 32-bit limits, stray bytes.
std::string AnyPiece(Draw& draw) {
  if (draw.Chance(0.2)) {
    return draw.Pick<std::string>({"2147483647", "2147483648", "-2147483648", "-2147483649",
                                   "+0002147483647", "99999999999999999999", "-", "+", "",
                                   "\t\n\v\f\r12", "\xC3\xA9", "12\xC3\xA9"});
  }
  static const std::string kAlphabet = "0123456789012345678901234567890123456789+-.x e\t?";
  std::string piece;
  const int length = draw.Int(0, 12);
  for (int i = 0; i < length; ++i) {
    piece += kAlphabet[static_cast<std::size_t>(draw.Int(0, kAlphabet.size() - 1))];
  }
  return piece;
}

// HostFixture resets the plug-in's objects around every test.
class ModelTest : public HostFixture {
 protected:
  Draw draw_{kSeed};
};

TEST_F(ModelTest, IntegerReadAgreesWithThePlugIn) {
  for (int i = 0; i < kCases; ++i) {
    const json value = AnyValue(draw_);
    SCOPED_TRACE(value.dump());
    std::optional<std::int32_t> plugin;
    try {
      plugin = drovekeeper::config::ToInt32(value, "Worldmaximum");
    } catch (const json::exception&) {
    }
    EXPECT_EQ(standin::model::ReadInt32(value), plugin);
  }
}

TEST_F(ModelTest, PositionNumberAgreesWithThePlugIn) {
  for (int i = 0; i < kCases; ++i) {
    const std::string piece = AnyPiece(draw_);
    SCOPED_TRACE(testing::Message() << '"' << piece << '"');
    const GameString wide = GameString::FromNarrow(piece);
    std::optional<std::int32_t> plugin;
    bool plugin_out_of_range = false;
    try {
      plugin = drovekeeper::config::ParsePositionNumber(wide.View());
    } catch (const std::out_of_range&) {
      plugin_out_of_range = true;
    } catch (const std::invalid_argument&) {
    }
    bool out_of_range = false;
    EXPECT_EQ(standin::model::ReadPositionNumber(piece, &out_of_range), plugin);
    EXPECT_EQ(out_of_range, plugin_out_of_range);
  }
}

TEST_F(ModelTest, PositionAgreesWithThePlugIn) {
  const std::string name = "Blueprint'/P/A.A'";
  for (int i = 0; i < kCases; ++i) {
    std::string text(static_cast<std::size_t>(draw_.Int(0, 2)), ' ');
    for (int piece = draw_.Int(0, 5); piece > 0; --piece) {
      text += (draw_.Chance(0.7) ? std::to_string(draw_.Int(-100000, 100000)) : AnyPiece(draw_)) +
              std::string(static_cast<std::size_t>(draw_.Int(1, 3)), ' ');
    }
    SCOPED_TRACE(testing::Message() << '"' << text << '"');
    drovekeeper::config::ConfigDocument = {
        {"SpawnDino", {{name, {{"Position", text}, {"PositionRangeRandom", false}}}}}};
    std::optional<Vec3> plugin;
    try {
      plugin = drovekeeper::spawn::ComputeSpawnLocation("SpawnDino", name);
    } catch (const std::exception&) {
    }
    const std::optional<standin::model::Position> position = standin::model::ReadPosition(text);
    ASSERT_EQ(position.has_value(), plugin.has_value());
    if (!position) continue;
    EXPECT_EQ(static_cast<float>(position->x), plugin->X);
    EXPECT_EQ(static_cast<float>(position->y), plugin->Y);
    EXPECT_EQ(static_cast<float>(position->z), plugin->Z);
    if (!position->placed) {
      EXPECT_EQ(position->x | position->y | position->z, 0);
    }
  }
}

TEST_F(ModelTest, MapFormulaAgreesWithTheNotices) {
  standin::game::World& world = UseWorld();
  auto member = [&] {
    switch (draw_.Int(0, 4)) {
      case 0:
        return 0.0f;
      case 1:
        return -0.0f;
      case 2:
        return static_cast<float>(draw_.Real(-1e6, 1e6));
      case 3:
        return static_cast<float>(draw_.Real(-2, 2));
      default:
        return static_cast<float>(draw_.Int(1, 2000));
    }
  };
  auto bits = [](float value) { return std::bit_cast<std::uint32_t>(value); };
  for (int i = 0; i < kCases; ++i) {
    const standin::model::WorldSettings settings{member(), member(), member(), member()};
    const float x = static_cast<float>(draw_.Real(-1e6, 1e6));
    const float y = static_cast<float>(draw_.Real(-1e6, 1e6));
    SCOPED_TRACE(testing::Message() << settings.latitude_scale << " " << settings.longitude_scale
                                    << " " << settings.latitude_origin << " "
                                    << settings.longitude_origin << " at " << x << "," << y);
    world.SetWorldSettings(settings);
    const auto* game_settings =
        reinterpret_cast<const drovekeeper::spawn::AWorldSettings*>(world.settings());
    const drovekeeper::spawn::MapPosition plugin = MapCoordinates(game_settings, x, y);
    const standin::model::MapPoint at = standin::model::ToNoticeMap(settings, x, y);
    EXPECT_EQ(bits(at.lat), bits(plugin.latitude));
    EXPECT_EQ(bits(at.lon), bits(plugin.longitude));
    const drovekeeper::spawn::MapPosition defaults =
        drovekeeper::spawn::MapCoordinates(nullptr, x, y);
    EXPECT_EQ(bits(standin::model::ToNoticeMap({}, x, y).lat), bits(defaults.latitude));
  }
}

TEST(ModelMap, AsTheNoticesPrintThem) {
  struct Case {
    standin::model::WorldSettings settings;
    float x, y;
    float lat, lon;
  };
  const std::vector<Case> cases = {
      {{}, 80000, 0, 50.0f, 60.0f},
      {{}, 0, 600, 50.0f, 50.0f},
      {{}, 0, -4000, 49.5f, 50.0f},
      {{}, 0, 1000, 50.1f, 50.0f},
      {{}, 0, -400400, -0.1f, 50.0f},
      {{400, 0, 0, 0}, 0, 4000, 101.0f, 50.0f},
      {{0, 0, 0, 200000}, 8000, 0, 50.0f, 26.0f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.x << "," << c.y);
    const standin::model::MapPoint at = standin::model::ToNoticeMap(c.settings, c.x, c.y);
    EXPECT_FLOAT_EQ(at.lat, c.lat);
    EXPECT_FLOAT_EQ(at.lon, c.lon);
  }
}

// ---- Fault lines, class paths and random squares.

TEST(ModelFaultLine, Parse) {
  struct Case {
    std::string line;
    bool matches;
    standin::model::Table table;
    std::string name;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"SpawnDino[\"Blueprint'/A.A'\"]: bad", true, standin::model::Table::kCountdown,
       "Blueprint'/A.A'", "bad"},
      {"SpawnDinoX[\"X\"]: a \"]: b", true, standin::model::Table::kClock, "X", "a \"]: b"},
      {"SpawnDino[\"\"]: empty name", true, standin::model::Table::kCountdown, "", "empty name"},
      {"SpawnDino: [json.exception] whole table", false, {}, "", ""},
      {"SpawnDino[\"unterminated", false, {}, "", ""},
      {"重新加载配置", false, {}, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    auto fault = standin::model::ParseFaultLine(c.line);
    ASSERT_EQ(fault.has_value(), c.matches);
    if (!fault) continue;
    EXPECT_EQ(fault->table, c.table);
    EXPECT_EQ(fault->name, c.name);
    EXPECT_EQ(fault->message, c.message);
  }
}

TEST(ModelClassPath, HighBytesBecomeQuestionMarks) {
  EXPECT_EQ(standin::model::ClassPathOf("Blueprint'/Game/\xE9\xBE\x99.X'"),
            "Blueprint'/Game/???.X'");
  EXPECT_EQ(standin::model::ClassPathOf("Blueprint'/Game/F/Clock.Clock'"),
            "Blueprint'/Game/F/Clock.Clock'");
}

// The plug-in writes fault lines and the stand-in reads them back apart.
std::string fault_line_written;
void KeepFaultLine(std::string_view line) { fault_line_written = line; }

TEST(ModelFaultLine, ReadsBackWhatThePlugInWrites) {
  struct Case {
    std::string table, entry, message;
  };
  const std::vector<Case> cases = {
      {"SpawnDino", "Blueprint'/Game/A/A.A_C'", "[json.exception.type_error.302] bad"},
      {"SpawnDinoX", "Blueprint'/Game/\xE9\xBE\x99.X'", "a \"]: b"},
      {"SpawnDino", "", "empty name"},
  };
  drovekeeper::spawn::SetEntryFaultSink(KeepFaultLine);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.entry);
    drovekeeper::spawn::ForgetEntryFaults();
    fault_line_written.clear();
    drovekeeper::spawn::ReportEntryFault(c.table, c.entry, c.message);
    const std::optional<standin::model::FaultLine> fault =
        standin::model::ParseFaultLine(fault_line_written);
    ASSERT_TRUE(fault.has_value()) << fault_line_written;
    EXPECT_EQ(fault->table, c.table == "SpawnDino" ? standin::model::Table::kCountdown
                                                   : standin::model::Table::kClock);
    EXPECT_EQ(fault->name, c.entry);
    EXPECT_EQ(fault->message, c.message);
  }
  drovekeeper::spawn::SetEntryFaultSink(nullptr);
  drovekeeper::spawn::ForgetEntryFaults();
}

TEST(ModelMap, RandomPositionHasFourSquaresOneInEachQuadrant) {
  const std::vector<standin::model::Square> squares = standin::model::RandomSquares(1000, 2000);
  ASSERT_EQ(squares.size(), 4u);
  int quadrants = 0;
  for (const standin::model::Square& s : squares) {
    EXPECT_DOUBLE_EQ(s.max_x - s.min_x, 32767);
    EXPECT_DOUBLE_EQ(s.max_y - s.min_y, 32767);
    const bool east = s.min_x > 1000;
    const bool south = s.min_y > 2000;
    EXPECT_DOUBLE_EQ(east ? s.min_x : s.max_x, east ? 1000 + 18888 : 1000 - 18888);
    EXPECT_DOUBLE_EQ(south ? s.min_y : s.max_y, south ? 2000 + 18888 : 2000 - 18888);
    quadrants |= 1 << ((east ? 1 : 0) + (south ? 2 : 0));
  }
  EXPECT_EQ(quadrants, 0b1111);
}

// ---- Acceptance.

json AnyEntry(Draw& draw, bool clock) {
  switch (draw.Int(0, 9)) {
    case 0:
      return AnyValue(draw);  // mostly no object
    case 1:
      return json::object();  // no "SpawnInterval"
    default: {
      json interval =
          clock && draw.Chance(0.8)
              ? json(std::to_string(draw.Int(0, 23)) + ":" + std::to_string(draw.Int(0, 59)))
              : AnyValue(draw);
      return {{"SpawnInterval", interval}, {"Worldmaximum", AnyValue(draw)}};
    }
  }
}

json AnyTable(Draw& draw, bool clock) {
  switch (draw.Int(0, 9)) {
    case 0:
      return nullptr;
    case 1:
      return json::array();
    case 2:
      return AnyValue(draw);
    default: {
      json table = json::object();
      for (int n = draw.Int(0, 4); n > 0; --n) {
        table["Blueprint'/P/E" + std::to_string(draw.Int(0, 6)) + ".E'"] = AnyEntry(draw, clock);
      }
      return table;
    }
  }
}

json AnyDocument(Draw& draw) {
  if (draw.Chance(0.05)) return draw.Chance(0.5) ? json(nullptr) : AnyValue(draw);
  json document = json::object();
  if (draw.Chance(0.9)) document["SpawnDino"] = AnyTable(draw, false);
  if (draw.Chance(0.9)) document["SpawnDinoX"] = AnyTable(draw, true);
  if (draw.Chance(0.2)) document["Other"] = AnyValue(draw);
  return document;
}

TEST_F(ModelTest, DocumentAcceptanceAgreesWithTheTablesTheLoadBuilds) {
  int accepted = 0;
  for (int i = 0; i < kCases; ++i) {
    json document = AnyDocument(draw_);
    SCOPED_TRACE(document.dump());
    const std::optional<standin::model::ConfigRules> rules =
        standin::model::AcceptDocument(document);
    drovekeeper::config::CountdownTable = nullptr;
    drovekeeper::config::ClockTable = nullptr;
    bool built = true;
    try {
      drovekeeper::config::BuildSpawnTables(document);
    } catch (const std::exception&) {
      built = false;
    }
    ASSERT_EQ(rules.has_value(), built);
    if (!built) continue;
    ++accepted;
    json countdown = json::object();
    json clock = json::object();
    for (const standin::model::EntryRules& entry : rules->entries) {
      if (entry.table == standin::model::Table::kCountdown) {
        countdown[entry.name] = entry.interval;
      } else {
        clock[entry.name] = entry.clock_text;
      }
    }
    EXPECT_EQ(countdown, drovekeeper::config::CountdownTable.is_null()
                             ? json::object()
                             : drovekeeper::config::CountdownTable);
    EXPECT_EQ(clock, drovekeeper::config::ClockTable.is_null() ? json::object()
                                                               : drovekeeper::config::ClockTable);
  }
  // Both outcomes are well represented.
  EXPECT_GT(accepted, kCases / 10);
  EXPECT_LT(accepted, kCases * 9 / 10);
}

TEST_F(ModelTest, FileAcceptanceAgreesWithTheLoad) {
  for (int i = 0; i < kCases / 20; ++i) {
    std::string text = AnyDocument(draw_).dump(draw_.Chance(0.5) ? 2 : -1);
    switch (draw_.Int(0, 5)) {
      case 0:
        text += draw_.Pick<std::string>({" ][ junk", "{", "\n// note", "}}"});
        break;
      case 1:
        text.resize(static_cast<std::size_t>(draw_.Int(0, static_cast<int>(text.size()))));
        break;
      case 2:
        text = draw_.Pick<std::string>({"// note\n", " \n", "\xEF\xBB\xBF"}) + text;
        break;
      default:
        break;
    }
    SCOPED_TRACE(text);
    WriteConfig(text);
    EXPECT_EQ(standin::model::AcceptText(text).has_value(),
              !drovekeeper::plugin::ReadConfiguration().failure.has_value());
  }
}

// ---- The gate and the countdown, through the timer callback.

class ScheduleModelTest : public ModelTest {
 protected:
  static std::string Name(int i) {
    return "Blueprint'/Game/E" + std::to_string(i) + "/E" + std::to_string(i) + ".E'";
  }

  json RandomConfig() {
    json countdown = json::object();
    json clock = json::object();
    auto entry = [](json interval) {
      return json{{"SpawnInterval", std::move(interval)},
                  {"Worldmaximum", 1'000'000},
                  {"Position", "0 0 0"},
                  {"PositionRangeRandom", false},
                  {"Maxlevel", 1},
                  {"levelFixed", false},
                  {"SpawnNotice", false}};
    };
    for (int i = 0; i < 6; ++i) {
      if (draw_.Chance(0.3)) continue;
      if (draw_.Chance(0.6)) {
        const json interval = draw_.Chance(0.8)
                                  ? json(draw_.Int(-3, 7))
                                  : draw_.Pick<json>({2.7, -0.5, true, false, 4294967298u,
                                                      std::int64_t{-4294967295}, -2147483648.0});
        countdown[Name(i)] = entry(interval);
      } else {
        // Mostly minutes near the start, so they come round within a run.
        const int minute = draw_.Int(0, 12);
        const json text = draw_.Chance(0.85)
                              ? json("6:" + std::to_string(minute))
                              : draw_.Pick<json>({"06:05", "6:5 ", "24:0", "5:60", "6:00"});
        clock[Name(i)] = entry(text);
      }
    }
    return {{"SpawnDino", countdown}, {"SpawnDinoX", clock}};
  }

  // The model's due entries for one call, in the plug-in's walk order.
  std::vector<std::string> ModelDue(std::int64_t now, drovekeeper::spawn::LocalHourMinute local) {
    std::vector<std::string> due;
    const std::int64_t previous = gate_.last();
    if (!gate_.Open(now)) return due;
    for (auto& [name, left] : countdowns_) {
      if (standin::model::StepCountdown(left, intervals_.at(name))) due.push_back(name);
    }
    auto clock_entries = [&](const std::string& text) {
      for (const standin::model::EntryRules& entry : rules_.entries) {
        if (entry.table == standin::model::Table::kClock && entry.clock_text == text) {
          due.push_back(entry.name);
        }
      }
    };
    if (auto skipped = standin::model::SkippedMinute(previous, now)) {
      const std::size_t before = due.size();
      const drovekeeper::spawn::LocalHourMinute then =
          env_.LocalAt(*skipped * ScriptedEnv::kTicksPerSecond);
      clock_entries(standin::model::ClockText(then.hour, then.minute));
      made_up_ += due.size() > before ? 1 : 0;
    }
    clock_entries(standin::model::ClockText(local.hour, local.minute));
    return due;
  }

  void Load(const json& config) {
    WriteConfig(config.dump());
    ASSERT_FALSE(drovekeeper::plugin::ReadConfiguration().failure.has_value());
    rules_ = *standin::model::AcceptDocument(config);
    countdowns_.clear();
    intervals_.clear();
    for (const standin::model::EntryRules& entry : rules_.entries) {
      if (entry.table != standin::model::Table::kCountdown) continue;
      countdowns_[entry.name] = entry.interval;
      intervals_[entry.name] = entry.interval;
    }
  }

  standin::model::RunGate gate_;
  int made_up_ = 0;  // runs that made up a skipped minute's entries
  standin::model::ConfigRules rules_;
  std::map<std::string, std::int64_t> countdowns_;
  std::map<std::string, std::int32_t> intervals_;
  ScriptedEnv env_;
  ScopedEnv scoped_{env_};
};

TEST_F(ScheduleModelTest, GateAndCountdownAgreeWithTheTimerCallback) {
  WorldBuilder builder;
  for (int i = 0; i < 6; ++i) builder.Class(Name(i));
  int runs_with_spawns = 0;
  for (int scenario = 0; scenario < 60; ++scenario) {
    // A fresh world each time, so the level stays small.
    standin::game::World& world = UseWorld(builder);
    std::size_t seen = 0;
    drovekeeper::spawn::NextRunTicks = 0;
    drovekeeper::spawn::LastRunTicks = 0;
    gate_ = standin::model::RunGate();
    std::int64_t now = draw_.Int64(1'600'000'000, 1'700'000'000);
    env_.SetNowTicks(now * ScriptedEnv::kTicksPerSecond);
    env_.SetLocalTime(6, 0, draw_.Int(0, 59));
    Load(RandomConfig());
    for (int call = 0; call < 50; ++call) {
      SCOPED_TRACE(testing::Message() << "scenario " << scenario << " call " << call);
      if (draw_.Chance(0.03)) Load(RandomConfig());
      const drovekeeper::spawn::LocalHourMinute local = env_.LocalNow();
      const std::vector<std::string> expected = ModelDue(now, local);
      drovekeeper::spawn::TimingSpawnTick();
      std::vector<std::string> spawned;
      const std::vector<standin::game::SpawnRecord> spawns = world.Spawns();
      for (; seen < spawns.size(); ++seen) {
        spawned.push_back(standin::game::BlueprintFromReference(spawns[seen].class_reference));
      }
      ASSERT_EQ(spawned, expected);
      runs_with_spawns += spawned.empty() ? 0 : 1;
      // Mostly steps around the minute, now and then the clock set back.
      const int step = draw_.Chance(0.05) ? -draw_.Int(1, 120) : draw_.Int(1, 75);
      now += step;
      env_.AdvanceSeconds(step);
    }
  }
  EXPECT_GT(runs_with_spawns, 200);
  EXPECT_GT(made_up_, 10);
}

TEST(ModelSchedule, WhenEntriesFallDueNext) {
  // A countdown of 2 falls due on every third run; below 1, on every run.
  std::int64_t left = 2;
  std::vector<bool> due;
  for (int run = 0; run < 6; ++run) due.push_back(standin::model::StepCountdown(left, 2));
  EXPECT_EQ(due, (std::vector<bool>{false, false, true, false, false, true}));
  EXPECT_EQ(standin::model::RunsUntilDue(2), 2);
  EXPECT_EQ(standin::model::RunsUntilDue(-7), 0);
  EXPECT_EQ(standin::model::CountdownScheduleText(30), "every 31 min");
  EXPECT_EQ(standin::model::CountdownScheduleText(-4), "every minute");
  // 2024-01-01 12:00:00 UTC; the tests run with TZ=UTC.
  constexpr std::int64_t kNoon = 1704110400;
  EXPECT_EQ(standin::model::NextClockRun("12:3", kNoon), kNoon + 180);
  EXPECT_EQ(standin::model::NextClockRun("11:59", kNoon + 30), kNoon + 30 + 86340);
  EXPECT_EQ(standin::model::NextClockRun("12:03", kNoon), 0);
  EXPECT_EQ(standin::model::NextClockRun("24:0", kNoon), 0);
}

// The status reply's file fingerprint and the preview's comparison with it.
TEST(ModelFingerprint, AgreesWithThePlugIn) {
  EXPECT_EQ(standin::model::Fingerprint(""), "2d06800538d3");
  for (std::string_view bytes : {"", "{}", "{\"SpawnDino\": {}}\n", "\xef\xbb\xbf{}"}) {
    EXPECT_EQ(standin::model::Fingerprint(bytes), drovekeeper::config::Fingerprint(bytes));
  }
}

}  // namespace
