// The per-entry ledger over a scripted span, and the HTML report rendered
// from it.
#include "standin/report/report.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <functional>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "standin/report/ledger.h"
#include "tests/support/config_entry.h"

namespace standin::report {
namespace {

using nlohmann::json;

// 2024-01-01 12:00:00 UTC; the tests run with TZ=UTC.
constexpr std::int64_t kStart = 1704110400;

const std::string kCountdownEntry = "Blueprint'/Game/A/Interval.Interval'";
const std::string kCapped = "Blueprint'/Game/B/Capped.Capped'";
const std::string kMissing = "Blueprint'/Game/C/Missing.Missing'";
const std::string kRefused = "Blueprint'/Game/D/Refused.Refused'";
const std::string kFaulty = "Blueprint'/Game/E/Faulty.Faulty'";
const std::string kClock = "Blueprint'/Game/F/Clock.Clock'";

json Entry(json interval, int world_maximum, std::string position = "100 200 300",
           bool random = false) {
  return ConfigEntry(interval).Cap(world_maximum).Position(position, random).Level(10, true);
}

json Config() {
  json config;
  config["SpawnDino"][kCountdownEntry] = Entry(2, 10);
  config["SpawnDino"][kCountdownEntry]["Name"] = "Interval one";
  config["SpawnDino"][kCapped] = Entry(0, 2);
  config["SpawnDino"][kMissing] = Entry(0, 5);
  config["SpawnDino"][kRefused] = Entry(0, 5);
  config["SpawnDino"][kFaulty] = Entry(0, 5);
  config["SpawnDinoX"][kClock] = Entry("12:3", 5, "0 0 500", true);
  return config;
}

// One timer call as the stand-in saw it, built step by step.
struct Call {
  explicit Call(std::int64_t seconds_after_start) {
    call.time = kStart + seconds_after_start;
    call.local_hour = 12 + static_cast<int>(seconds_after_start / 3600);
    call.local_minute = static_cast<int>(seconds_after_start / 60 % 60);
  }
  Call& Wild(const std::string& name, int count) {
    call.wild_counts[name] = count;
    return *this;
  }
  Call& Load(const std::string& name, bool ok) {
    call.calls.push_back({GameCall::Kind::kClassLoad, ClassPathOf(name), ok});
    return *this;
  }
  Call& Spawn(const std::string& name, bool ok) {
    call.calls.push_back({GameCall::Kind::kSpawn, ClassPathOf(name), ok});
    return *this;
  }
  // The three entries that behave the same on every run.
  Call& Steady(bool faulty_logs) {
    Load(kMissing, false).Load(kRefused, true).Spawn(kRefused, false).Load(kFaulty, true);
    if (faulty_logs) {
      call.log_lines.push_back("SpawnDino[\"" + kFaulty +
                               "\"]: [json.exception.type_error.302] type must be number, "
                               "but is null");
    }
    return *this;
  }
  TimerCall call;
};

std::vector<Outcome> OutcomesOf(const EntryRecord& record) {
  std::vector<Outcome> outcomes;
  for (const TimedOutcome& outcome : record.outcomes) outcomes.push_back(outcome.outcome);
  return outcomes;
}

// Eight simulated minutes, one timer call a second. Runs at 12:00..12:07;
// a reload between 12:03 and 12:04 lengthens the interval entry's countdown
// and drops the faulty entry.
class LedgerSpan : public ::testing::Test {
 protected:
  void SetUp() override {
    std::map<std::int64_t, Call> runs;
    runs.emplace(0, Call(0).Wild(kCapped, 1).Load(kCapped, true).Spawn(kCapped, true).Steady(true));
    runs.emplace(60, Call(60).Wild(kCapped, 2).Steady(false));
    runs.emplace(120, Call(120)
                          .Load(kCountdownEntry, true)
                          .Spawn(kCountdownEntry, true)
                          .Wild(kCapped, 1)
                          .Load(kCapped, true)
                          .Spawn(kCapped, true)
                          .Steady(false));
    runs.emplace(180,
                 Call(180).Wild(kCapped, 2).Steady(false).Load(kClock, true).Spawn(kClock, true));
    json reloaded = Config();
    reloaded["SpawnDino"][kCountdownEntry]["SpawnInterval"] = 3;
    reloaded["SpawnDino"].erase(kFaulty);
    for (std::int64_t minute = 4; minute < 8; ++minute) {
      Call call(minute * 60);
      call.Wild(kCapped, 2).Load(kMissing, false).Load(kRefused, true).Spawn(kRefused, false);
      if (minute == 7) {
        call.call.calls.insert(call.call.calls.begin(),
                               {{GameCall::Kind::kClassLoad, ClassPathOf(kCountdownEntry), true},
                                {GameCall::Kind::kSpawn, ClassPathOf(kCountdownEntry), true}});
      }
      runs.emplace(minute * 60, call);
    }

    EntryLedger ledger(Config());
    for (std::int64_t second = 0; second < 8 * 60; ++second) {
      if (second == 230) ledger.OnReload(reloaded);
      auto run = runs.find(second);
      const bool was_run =
          ledger.OnTimerCall(run != runs.end() ? run->second.call : Call(second).call);
      if (was_run) run_seconds_.push_back(second);
    }
    entries_ = ledger.Entries();
  }

  const EntryRecord& Get(Table table, const std::string& name) const {
    for (const EntryRecord& entry : entries_) {
      if (entry.table == table && entry.name == name) return entry;
    }
    ADD_FAILURE() << "no entry " << name;
    static const EntryRecord kNone;
    return kNone;
  }

  std::vector<std::int64_t> run_seconds_;
  std::vector<EntryRecord> entries_;
};

TEST_F(LedgerSpan, RunsOnFirstCallThenEverySixtySeconds) {
  EXPECT_EQ(run_seconds_, (std::vector<std::int64_t>{0, 60, 120, 180, 240, 300, 360, 420}));
}

TEST_F(LedgerSpan, EntriesInPluginOrder) {
  std::vector<std::string> names;
  for (const EntryRecord& entry : entries_) {
    names.push_back(std::string(TableName(entry.table)) + " " + entry.name);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"SpawnDino " + kCountdownEntry, "SpawnDino " + kCapped,
                                             "SpawnDino " + kMissing, "SpawnDino " + kRefused,
                                             "SpawnDino " + kFaulty, "SpawnDinoX " + kClock}));
}

TEST_F(LedgerSpan, CountdownEntryRestartsOnReload) {
  const EntryRecord& entry = Get(Table::kCountdown, kCountdownEntry);
  ASSERT_EQ(entry.outcomes.size(), 2u);
  // Due on run 2 under interval 2; the reload before run 4 starts a fresh
  // countdown of 3, so run 5 passes and run 7 spawns.
  EXPECT_EQ(entry.outcomes[0].time, kStart + 120);
  EXPECT_EQ(entry.outcomes[1].time, kStart + 420);
  EXPECT_EQ(entry.spawned, 2);
  EXPECT_EQ(entry.fell_due, 2);
  EXPECT_EQ(entry.display_name, "Interval one");
  EXPECT_EQ(entry.schedule_text, "every 4 min");
}

TEST_F(LedgerSpan, CappedEntryIsHeldWhileAtItsMaximum) {
  const EntryRecord& entry = Get(Table::kCountdown, kCapped);
  EXPECT_EQ(OutcomesOf(entry),
            (std::vector<Outcome>{Outcome::kSpawned, Outcome::kHeldByCap, Outcome::kSpawned,
                                  Outcome::kHeldByCap, Outcome::kHeldByCap, Outcome::kHeldByCap,
                                  Outcome::kHeldByCap, Outcome::kHeldByCap}));
  EXPECT_EQ(entry.fell_due, 8);
  EXPECT_EQ(entry.spawned, 2);
  EXPECT_EQ(entry.held_by_cap, 6);
  EXPECT_EQ(entry.schedule_text, "every minute");
}

TEST_F(LedgerSpan, UnknownClassAndRefusedSpawnAreCountedEveryRun) {
  const EntryRecord& missing = Get(Table::kCountdown, kMissing);
  EXPECT_EQ(missing.fell_due, 8);
  EXPECT_EQ(missing.class_unknown, 8);
  EXPECT_EQ(missing.spawned + missing.failed + missing.spawn_refused, 0);
  const EntryRecord& refused = Get(Table::kCountdown, kRefused);
  EXPECT_EQ(refused.fell_due, 8);
  EXPECT_EQ(refused.spawn_refused, 8);
  EXPECT_EQ(refused.class_unknown + refused.failed, 0);
}

TEST_F(LedgerSpan, FaultLoggedOnceCountsOnEveryRunUntilDropped) {
  const EntryRecord& entry = Get(Table::kCountdown, kFaulty);
  // Four runs before the reload dropped it; its fault was logged only on
  // the first.
  EXPECT_EQ(entry.fell_due, 4);
  EXPECT_EQ(entry.failed, 4);
  EXPECT_EQ(entry.last_failure, "[json.exception.type_error.302] type must be number, but is null");
  EXPECT_FALSE(entry.configured);
  for (const TimedOutcome& outcome : entry.outcomes) EXPECT_LT(outcome.time, kStart + 230);
}

TEST_F(LedgerSpan, ClockEntryFallsDueInItsMinuteOnly) {
  const EntryRecord& entry = Get(Table::kClock, kClock);
  ASSERT_EQ(entry.outcomes.size(), 1u);
  EXPECT_EQ(entry.outcomes[0].time, kStart + 180);
  EXPECT_EQ(entry.outcomes[0].outcome, Outcome::kSpawned);
  EXPECT_EQ(entry.schedule_text, "at 12:3");
  EXPECT_TRUE(entry.configured);
  EXPECT_TRUE(entry.random_position);
  EXPECT_TRUE(entry.has_base);
}

TEST(EntryLedger, SpawnEarlierInTheRunCountsTowardsTheCapOfTheSameName) {
  json config;
  config["SpawnDino"][kCapped] = Entry(0, 1);
  config["SpawnDinoX"][kCapped] = Entry("12:0", 1);
  EntryLedger ledger(config);
  ledger.OnTimerCall(Call(0).Load(kCapped, true).Spawn(kCapped, true).call);
  EXPECT_EQ(OutcomesOf(*ledger.Find(Table::kCountdown, kCapped)),
            std::vector<Outcome>{Outcome::kSpawned});
  EXPECT_EQ(OutcomesOf(*ledger.Find(Table::kClock, kCapped)),
            std::vector<Outcome>{Outcome::kHeldByCap});
}

TEST(EntryLedger, RunAfterASkippedMinuteTakesItsEntriesFirst) {
  json config;
  config["SpawnDinoX"][kClock] = Entry("12:1", 5);
  config["SpawnDinoX"][kCapped] = Entry("12:2", 5);
  EntryLedger ledger(config);
  ledger.OnTimerCall(Call(59).call);  // no calls at 12:01:59 and 12:02:00
  Call late(121);
  late.Load(kClock, true).Spawn(kClock, true).Load(kCapped, true).Spawn(kCapped, true);
  ledger.OnTimerCall(late.call);
  for (const std::string& name : {kClock, kCapped}) {
    EXPECT_EQ(OutcomesOf(*ledger.Find(Table::kClock, name)), std::vector{Outcome::kSpawned});
  }
}

TEST(EntryLedger, FaultAfterLoadTakesTheLoadAlongAndLeavesTheNextEntryItsOwn) {
  json config;
  config["SpawnDino"][kFaulty] = Entry(0, 5);
  config["SpawnDino"][kFaulty].erase("Maxlevel");
  config["SpawnDino"][kRefused] = Entry(0, 5);
  EntryLedger ledger(config);
  Call call(0);
  call.Load(kRefused, true).Spawn(kRefused, false).Load(kFaulty, true);
  call.call.log_lines = {"已加载", "SpawnDino[\"" + kFaulty + "\"]: boom"};
  ledger.OnTimerCall(call.call);
  EXPECT_EQ(OutcomesOf(*ledger.Find(Table::kCountdown, kRefused)),
            std::vector<Outcome>{Outcome::kSpawnRefused});
  const EntryRecord& faulty = *ledger.Find(Table::kCountdown, kFaulty);
  EXPECT_EQ(OutcomesOf(faulty), std::vector<Outcome>{Outcome::kFailed});
  EXPECT_EQ(faulty.last_failure, "boom");
}

TEST(EntryLedger, FaultAfterTheSpawnRepeatsWithEverySpawnUntilReload) {
  json config;
  config["SpawnDino"][kFaulty] = Entry(0, 50);
  EntryLedger ledger(config);
  Call first(0);
  first.Load(kFaulty, true).Spawn(kFaulty, true);
  first.call.log_lines = {"SpawnDino[\"" + kFaulty + "\"]: argument index out of range"};
  ledger.OnTimerCall(first.call);
  ledger.OnTimerCall(Call(60).Load(kFaulty, true).Spawn(kFaulty, true).call);
  ledger.OnReload(config);
  ledger.OnTimerCall(Call(120).Load(kFaulty, true).Spawn(kFaulty, true).call);
  const EntryRecord& entry = *ledger.Find(Table::kCountdown, kFaulty);
  EXPECT_EQ(OutcomesOf(entry),
            (std::vector<Outcome>{Outcome::kFailed, Outcome::kFailed, Outcome::kSpawned}));
  EXPECT_EQ(entry.last_failure, "argument index out of range");
}

TEST_F(LedgerSpan, NextDueAfterTheLastCall) {
  // The last call was at 7:59, so the next run is at 8:00.
  EXPECT_EQ(Get(Table::kCountdown, kCountdownEntry).next_due, kStart + 660);
  EXPECT_EQ(Get(Table::kCountdown, kCapped).next_due, kStart + 480);
  EXPECT_EQ(Get(Table::kCountdown, kFaulty).next_due, 0) << "dropped by the reload";
  EXPECT_EQ(Get(Table::kClock, kClock).next_due, kStart + 86400 + 180);
}

TEST(EntryLedger, SpawnsAreAttributedToTheirEntryInCallOrder) {
  json config;
  config["SpawnDino"][kCapped] = Entry(0, 5);
  config["SpawnDinoX"][kCapped] = Entry("12:0", 5);
  EntryLedger ledger(config);
  ledger.OnTimerCall(Call(0)
                         .Load(kCapped, true)
                         .Spawn(kCapped, true)
                         .Load(kCapped, true)
                         .Spawn(kCapped, true)
                         .Load(kMissing, true)
                         .Spawn(kMissing, true)
                         .call);
  const auto& owners = ledger.LastSpawns();
  ASSERT_EQ(owners.size(), 3u);
  ASSERT_TRUE(owners[0] && owners[1]);
  EXPECT_EQ(owners[0]->table, Table::kCountdown);
  EXPECT_EQ(owners[1]->table, Table::kClock);
  EXPECT_EQ(owners[1]->entry, kCapped);
  EXPECT_FALSE(owners[2]) << "no configured entry names it";
  ledger.OnTimerCall(Call(1).call);
  EXPECT_TRUE(ledger.LastSpawns().empty());
}

TEST(EntryLedger, ActivityBetweenModelledRunsIsTakenAsARun) {
  json config;
  config["SpawnDino"][kCapped] = Entry(0, 5);
  EntryLedger ledger(config);
  EXPECT_TRUE(ledger.OnTimerCall(Call(0).Load(kCapped, true).Spawn(kCapped, true).call));
  EXPECT_FALSE(ledger.OnTimerCall(Call(59).call));
  EXPECT_TRUE(ledger.OnTimerCall(Call(59).Load(kCapped, true).Spawn(kCapped, true).call));
  EXPECT_FALSE(ledger.OnTimerCall(Call(60).call));
  EXPECT_TRUE(ledger.OnTimerCall(Call(119).call));
  EXPECT_EQ(ledger.Find(Table::kCountdown, kCapped)->spawned, 2);
  EXPECT_EQ(ledger.Find(Table::kCountdown, kCapped)->fell_due, 3);
}

TEST(RandomPosition, BaseReadLikeThePlugin) {
  struct Case {
    std::string position;
    bool has_base;
    std::int32_t x, y;
  };
  const std::vector<Case> cases = {
      {"  1000   -2000 300 ", true, 1000, -2000},
      {"100.9 -200.5 3e2", true, 100, -200},
      {"100 200", false, 0, 0},
      {"100 x 300", false, 0, 0},
      {"100,200,300", false, 0, 0},
      {"1 2 99999999999", false, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.position);
    json config;
    config["SpawnDinoX"][kClock] = Entry("1:1", 1, c.position, true);
    EntryLedger ledger(config);
    const EntryRecord& entry = *ledger.Find(Table::kClock, kClock);
    EXPECT_EQ(entry.has_base, c.has_base);
    if (c.has_base) {
      EXPECT_EQ(entry.base_x, c.x);
      EXPECT_EQ(entry.base_y, c.y);
    }
  }
}

// ---- The rendered report.

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// Per match, its groups joined by "|".
std::vector<std::string> Matches(const std::string& text, const std::string& pattern) {
  std::vector<std::string> found;
  const std::regex re(pattern);
  for (auto it = std::sregex_iterator(text.begin(), text.end(), re); it != std::sregex_iterator();
       ++it) {
    std::string groups = (*it)[1].str();
    for (std::size_t i = 2; i < it->size(); ++i) groups += "|" + (*it)[i].str();
    found.push_back(groups);
  }
  return found;
}

SpawnPoint Spawn(std::int64_t time, const std::string& entry, float x, float y, float z,
                 std::int32_t level, Table table = Table::kCountdown) {
  return {time, ClassPathOf(entry), x, y, z, level, table, entry};
}

// One change to the input, and what the page must then show: per regular
// expression, its matches in page order.
struct SectionCase {
  const char* what;
  std::function<void(ReportInput&)> change;
  std::vector<std::pair<std::string, std::vector<std::string>>> shows;
};

class RenderedReport : public LedgerSpan {
 protected:
  void SetUp() override {
    LedgerSpan::SetUp();
    input_.config_file = "config.json";
    input_.world_name = "Demo \"isle\" <b>";
    input_.time_zone = "UTC";
    input_.start = kStart;
    input_.end = kStart + 8 * 60;
    input_.entries = entries_;
    input_.spawns = {
        Spawn(kStart, kCapped, 80000, 0, 100, 42),
        Spawn(kStart + 120, kCountdownEntry, 0, -4000, 0, 10),
        Spawn(kStart + 120, kCapped, 8000, 8000, 0, 7),
        Spawn(kStart + 180, kClock, -30000, 25000, 38000, 150, Table::kClock),
        Spawn(kStart + 420, kCountdownEntry, 100, 200, 300, 10),
    };
    input_.log = {{kStart, "info", "已加载:Drovekeeper"},
                  {kStart, "error", "SpawnDino[\"" + kFaulty + "\"]: <oops> & \"quoted\""}};
  }

  std::string Render() const {
    std::ostringstream out;
    WriteReport(input_, out);
    return out.str();
  }

  // The cells of the table row of an entry.
  std::vector<std::string> RowCells(const std::string& html, Table table,
                                    const std::string& name) const {
    const std::string start = "data-table=\"" + std::string(TableName(table)) + "\" data-entry=\"" +
                              EscapeHtml(name) + "\"><td>";
    const auto row = html.find(start);
    if (row == std::string::npos) return {};
    const std::string cells = html.substr(row, html.find("</tr>", row) - row);
    return Matches(cells, "<td[^>]*>([^<]*)");
  }

  // Renders each case from the input above and checks what it shows; every
  // label of the timeline also stays within the chart.
  void ExpectSections(const std::vector<SectionCase>& cases);

  ReportInput input_;
};

// The browser test checks the points' places, colours and squares; here what
// each point carries.
TEST_F(RenderedReport, PointsCarryTheirLevelAndTime) {
  const std::string html = Render();
  EXPECT_EQ(Matches(html, "class=\"spawn\"[^>]*data-level=\"([^\"]*)\""),
            (std::vector<std::string>{"42", "10", "7", "150", "10"}));
  EXPECT_EQ(Matches(html, "class=\"spawn\"[^>]*data-time=\"([^\"]*)\"")[3], "2024-01-01 12:03:00");
  EXPECT_NE(html.find("Interval one \xE2\x80\x94 " + EscapeHtml(kCountdownEntry)),
            std::string::npos);
}

TEST_F(RenderedReport, TimelineMarksPerEntryAndOutcome) {
  const std::string html = Render();
  auto row_marks = [&](Table table, const std::string& name) {
    const std::string start = "<g class=\"row\" data-table=\"" + std::string(TableName(table)) +
                              "\" data-entry=\"" + EscapeHtml(name) + "\">";
    const auto at = html.find(start);
    if (at == std::string::npos) return std::vector<std::string>{};
    const std::string row = html.substr(at, html.find("\n", at) - at);
    return Matches(row, "data-outcome=\"([^\"]*)\"");
  };
  EXPECT_EQ(row_marks(Table::kCountdown, kCountdownEntry),
            (std::vector<std::string>{"spawned", "spawned"}));
  const auto capped = row_marks(Table::kCountdown, kCapped);
  EXPECT_EQ(std::count(capped.begin(), capped.end(), "held by cap"), 6);
  // Each held turn with the count and the cap it was held at.
  EXPECT_EQ(Count(html, "held by cap: 2 wild, cap 2\""), 6);
  EXPECT_EQ(std::count(capped.begin(), capped.end(), "spawned"), 2);
  EXPECT_EQ(row_marks(Table::kCountdown, kMissing), std::vector<std::string>(8, "class unknown"));
  EXPECT_EQ(row_marks(Table::kCountdown, kRefused), std::vector<std::string>(8, "spawn refused"));
  EXPECT_EQ(row_marks(Table::kCountdown, kFaulty), std::vector<std::string>(4, "failed"));
  EXPECT_EQ(row_marks(Table::kClock, kClock), std::vector<std::string>{"spawned"});
}

// The browser test checks the counts and the faulty rows; here the texts.
TEST_F(RenderedReport, TableSchedulesAndFailures) {
  const std::string html = Render();
  // Table, entry, schedule, fell due, spawned, cap, unknown, refused,
  // failures, last failure, next due.
  auto cells = RowCells(html, Table::kCountdown, kCapped);
  ASSERT_EQ(cells.size(), 11u);
  EXPECT_EQ(cells[2], "every minute");
  cells = RowCells(html, Table::kCountdown, kFaulty);
  ASSERT_EQ(cells.size(), 11u);
  EXPECT_EQ(cells[9], "[json.exception.type_error.302] type must be number, but is null");
  cells = RowCells(html, Table::kClock, kClock);
  ASSERT_EQ(cells.size(), 11u);
  EXPECT_EQ(cells[2], "at 12:3");
}

TEST_F(RenderedReport, HeaderAndLog) {
  const std::string html = Render();
  EXPECT_NE(html.find("<dd id=\"config-file\">config.json</dd>"), std::string::npos);
  EXPECT_NE(html.find("<dd id=\"span\">2024-01-01 12:00:00 to 2024-01-01 12:08:00 (8 min)</dd>"),
            std::string::npos);
  EXPECT_NE(html.find("<dd id=\"time-zone\">UTC</dd>"), std::string::npos);
  EXPECT_NE(html.find("<td>已加载:Drovekeeper</td>"), std::string::npos);
  EXPECT_EQ(Count(html, "<tr class=\"error\">"), 1);
}

void RenderedReport::ExpectSections(const std::vector<SectionCase>& cases) {
  for (const SectionCase& c : cases) {
    SCOPED_TRACE(c.what);
    const ReportInput original = input_;
    c.change(input_);
    const std::string html = Render();
    input_ = original;
    for (const auto& [pattern, expected] : c.shows) EXPECT_EQ(Matches(html, pattern), expected);
    // No time label reaches past its chart's edge (10 px type: under 7 px a
    // character).
    const double width = std::stod(Matches(html, "id=\"timeline-svg\" width=\"([^\"]*)\"")[0]);
    for (const std::string& label :
         Matches(html, " x=\"([^\"]*)\" y=\"[^\"]*\" text-anchor=\"middle\">([^<]*)</text>")) {
      const double x = std::stod(label);
      const double half = 3.5 * static_cast<double>(label.size() - label.find('|') - 1);
      EXPECT_TRUE(x - half >= 0 && x + half <= width) << label;
    }
  }
}

TEST_F(RenderedReport, MapLegendAndPoints) {
  const std::string capped = EscapeHtml(kCapped);
  ExpectSections({
      {"clock and countdown entries of one class are two legend entries",
       [&](ReportInput& in) {
         EntryRecord clock;
         clock.table = Table::kClock;
         clock.name = kCapped;
         in.entries.push_back(clock);
         in.spawns.push_back(Spawn(kStart + 180, kCapped, 0, 0, 0, 3, Table::kClock));
       },
       {{"<li data-table=\"([^\"]*)\" data-entry=\"" + capped + "\" data-colour=\"([^\"]*)\"",
         {"SpawnDino|#ff7f0e", "SpawnDinoX|#e377c2"}},
        {"class=\"spawn\"[^>]*fill=\"([^\"]*)\" data-table=\"([^\"]*)\" data-entry=\"" + capped,
         {"#ff7f0e|SpawnDino", "#ff7f0e|SpawnDino", "#e377c2|SpawnDinoX"}}}},
      {"spawns at one position are one point with their count",
       [&](ReportInput& in) {
         in.spawns.push_back(Spawn(kStart + 240, kCapped, 80000, 0, 100, 40));
         in.spawns.push_back(Spawn(kStart + 300, kCapped, 80000, 0, 100, 44));
       },
       {{"data-entry=\"" + capped + "\"[^>]*data-count=\"(\\d+)\"[^>]*data-level=\"([^\"]*)\"",
         {"3|40-44", "1|7"}},
        {"<text class=\"count\"[^>]*>(\\d+)</text>", {"3"}}}},
      {"a position off the map is drawn at its edge and listed",
       [&](ReportInput& in) { in.spawns.push_back(Spawn(kStart, kCapped, 500000, 0, 0, 1)); },
       {{"class=\"spawn off-map\" cx=\"([^\"]*)\" cy=\"([^\"]*)\"", {"636.00|336.00"}},
        {"<tr data-table=\"([^\"]*)\" data-entry=\"[^\"]*\">"
         "<td>[^<]*</td><td class=\"n\">(\\d+)</td><td>[^<]*</td>"
         "<td class=\"n\">([^<]*)</td><td class=\"n\">([^<]*)</td>",
         {"SpawnDino|1|50|112.5"}}}},
  });
}

TEST_F(RenderedReport, TimelineAxisInHoursAndDenseRowsInBins) {
  ExpectSections({
      {"a day's axis in hours",
       [&](ReportInput& in) { in.end = kStart + 86400; },
       {{"text-anchor=\"middle\">([^<]*)</text>",
         {"12:00", "14:00", "16:00", "18:00", "20:00", "22:00", "Jan 02", "02:00", "04:00", "06:00",
          "08:00", "10:00", "12:00"}}}},
      {"a week's dense rows in bins",
       [&](ReportInput& in) { in.end = kStart + 7 * 86400; },
       {{"<g class=\"row( binned)?\"", {" binned", " binned", " binned", " binned", " binned", ""}},
        {"class=\"bin\" data-count=\"(\\d+)\"", {"2", "8", "8", "8", "4"}}}},
  });
}

TEST_F(RenderedReport, PopulationChartsMarkReloadsAndCaps) {
  ExpectSections({
      {"a population chart marks the reloads too",
       [&](ReportInput& in) {
         in.population = {
             {kCapped, {{kStart, 1}, {kStart + 60, 2}, {kStart + 120, 1}, {kStart + 180, 2}}}};
         in.caps = {{Table::kCountdown, kCapped, kCapped, {{kStart, 2}, {kStart + 230, 3}}}};
         in.config_changes = {{kStart + 230, true, "reload"}, {kStart + 400, false, "<bad>"}};
       },
       {{"<g class=\"change (\\w+)\" data-tip=\"[^\"]*(reload|&lt;bad&gt;)\"",
         {"taken|reload", "refused|&lt;bad&gt;", "taken|reload", "refused|&lt;bad&gt;"}}}},
      {"a cap far above the count sets the count axis",
       [&](ReportInput& in) {
         in.population = {{kCapped, {{kStart, 7}}}};
         in.caps = {{Table::kCountdown, kCapped, kCapped, {{kStart, 50}}}};
       },
       {{"text-anchor=\"end\">(\\d+)</text>", {"0", "50", "25"}}}},
      {"an unreadable cap and a class that never loaded say so",
       [&](ReportInput& in) {
         in.population = {{kMissing, {{kStart, 0}}}};
         in.caps = {{Table::kCountdown, kCapped, kCapped, {}},
                    {Table::kCountdown, kMissing, kMissing, {{kStart, 5}}}};
       },
       {{"class=\"cap-of\"[^>]*>([^<]*)</text>", {"SpawnDino Capped: cap unreadable"}},
        {"<figure class=\"population( never-loaded)?\" data-class=\"[^\"]*/(\\w+)\\.",
         {" never-loaded|Missing", "|Capped"}},
        {"class=\"cap-line\"", {}}}},
  });
}

TEST_F(RenderedReport, TableShowsEachEntrysNextDueTime) {
  ExpectSections({
      {"each entry's next due time",
       [&](ReportInput& in) {
         for (EntryRecord& entry : in.entries) entry.next_due = 0;
         in.entries[1].next_due = kStart + 600;
       },
       {{"<td class=\"next-due\">([^<]*)</td>",
         {"never", "2024-01-01 12:10:00", "never", "never", "never", "never"}}}},
  });
}

TEST_F(RenderedReport, ClockChangesMarkTheAxisAndListTheirEntries) {
  ExpectSections({
      {"clock changes mark the axis and say what their clock entries did",
       [&](ReportInput& in) {
         in.clock_changes = {{kStart + 200,
                              false,
                              3600,
                              "clocks go back: 03:00 CEST is 02:00 CET",
                              {{kClock, "12:3"}}},
                             {kStart + 400,
                              true,
                              3600,
                              "clocks go forward: 02:00 CET is 03:00 CEST",
                              {{kClock, "12:3"}}},
                             {kStart + 450, true, 3600, "clocks go forward", {}}};
       },
       {{"<g class=\"clock-change (\\w+)\" data-tip=\"[^\"]*&#10;(clocks go \\w+)",
         {"back|clocks go back", "forward|clocks go forward", "forward|clocks go forward"}},
        // The zone's abbreviation is the C runtime's own ("UTC", "UT").
        {"data-turns=\"(\\d+)\">[^<]* at \\d+:\\d+: ([^<0-9]*[0-9:]*) ?[^<]*</li>",
         {"1|fired once: 12:03:00", "0|does not fire that day: the clocks skip 12:3"}},
        {"(No clock entry[^<]*)", {"No clock entry names a minute it skips."}}}},
  });
}

TEST_F(RenderedReport, InterruptedRunSaysWhereItStopped) {
  ExpectSections({

  });
}

// Ten thousand entries over two hours: every clock entry and every entry
// held at a turn drawn on its own, and then the busiest, up to forty; the
// rest as one row and shared points, and every entry in the table.
TEST_F(RenderedReport, ManyEntriesStayASmallPage) {
  constexpr int kEntries = 10000;
  input_.end = kStart + 2 * 3600;
  input_.entries.clear();
  input_.spawns.clear();
  for (int i = 0; i < kEntries; ++i) {
    EntryRecord& entry = input_.entries.emplace_back();
    entry.name = fmt::format("Blueprint'/Game/Fauna/Beast{0:05}/Beast{0:05}_BP.Beast{0:05}_BP'", i);
    entry.schedule_text = fmt::format("every {} min", 1 + i % 30);
    // Ten bosses due once, twenty entries held by their caps after 10 min.
    const bool clock = i % 1000 == 7;
    const std::int64_t period = clock ? 3 * 3600 : 60 * (1 + i % 30);
    if (clock) entry.table = Table::kClock;
    for (std::int64_t t = kStart; t < input_.end; t += period) {
      const bool spawn = i % 500 != 0 || t - kStart < 600;
      entry.outcomes.push_back({t, spawn ? Outcome::kSpawned : Outcome::kHeldByCap, {}});
      if (spawn) {
        input_.spawns.push_back(Spawn(t, entry.name, static_cast<float>(i * 37 % 760000 - 380000),
                                      static_cast<float>(i * 91 % 760000 - 380000), 0, 1,
                                      entry.table));
      }
    }
    entry.fell_due = static_cast<int>(entry.outcomes.size());
    entry.spawned = static_cast<int>(
        std::count_if(entry.outcomes.begin(), entry.outcomes.end(),
                      [](const TimedOutcome& o) { return o.outcome == Outcome::kSpawned; }));
    input_.caps.push_back({entry.table, entry.name, entry.name, {{kStart, 1 + i % 6}}});
    input_.population.push_back({entry.name, {{kStart, 0}, {kStart + 600, 1}}});
  }
  const std::string html = Render();
  EXPECT_LT(html.size(), 5u << 20);
  EXPECT_EQ(Count(html, "<g class=\"row"), 41);
  EXPECT_EQ(Count(html, "<g class=\"row other binned\""), 1);
  EXPECT_EQ(Count(html, "<li data-table"), 41);
  EXPECT_EQ(Count(html, "<tr class=\"entry"), kEntries);
  EXPECT_EQ(Count(html, "<figure class=\"population"), 40);
  EXPECT_NE(html.find("9960 other entries"), std::string::npos);
  EXPECT_EQ(Count(html, "<g class=\"row\" data-table=\"SpawnDinoX\""), 10);
  EXPECT_EQ(Matches(html,
                    "<g class=\"row[ a-z]*\" data-table=\"SpawnDino\" data-entry=\"[^\"]*"
                    "Beast(\\d\\d[05])00_BP&#39;\"")
                .size(),
            20u);
}

// Entries whose paths end alike keep labels that tell them apart: the
// "Name" first, then as much of the path's end as that takes.
TEST_F(RenderedReport, RowLabelsTellEntriesApart) {
  input_.entries.clear();
  input_.spawns.clear();
  for (const char* name :
       {"Blueprint'/Game/Fauna/Allo/Allo_Character_BP.Allo_Character_BP'",
        "Blueprint'/Game/Fauna/Allo/Allo_Character_BP_Aberrant.Allo_Character_BP_Aberrant'",
        "Blueprint'/Game/Fauna/Tek/Tek_Allo_Character_BP_Aberrant.Tek_Allo_Character_BP_Aberrant'",
        "Blueprint'/Game/Isle/Rex/Rex.Rex'", "Blueprint'/Game/Cave/Rex/Rex.Rex'",
        "Blueprint'/Game/Fauna/Allo/Allo_Character_BP_Aberrant_Variant_Of_The_Night."
        "Allo_Character_BP_Aberrant_Variant_Of_The_Night'",
        "Blueprint'/Game/Isle/Rex/Rex.Rex_Alpha'"}) {
    input_.entries.emplace_back().name = name;
  }
  input_.entries.back().display_name = "洞穴之王";
  input_.entries.emplace_back(input_.entries.front()).table = Table::kClock;
  EXPECT_EQ(Matches(Render(), "<g class=\"row[^>]*>.*?</title>([^<]*)</text>"),
            (std::vector<std::string>{
                "SpawnDino Allo_Character_BP",
                "SpawnDino Allo_Character_BP_Aberrant",
                "SpawnDino Tek_Allo_Character_BP_Aberrant",
                "SpawnDino Isle/Rex/Rex",
                "SpawnDino Cave/Rex/Rex",
                "SpawnDino Allo_Chara\xE2\x80\xA6_Variant_Of_The_Night",
                "SpawnDino 洞穴之王 \xC2\xB7 Rex.Rex_Alpha",
                "SpawnDinoX Allo_Character_BP",
            }));
}

// A clock text the clock never writes ("12:03") misses its minute every day;
// the entry table says so beside the entry.
TEST_F(RenderedReport, ClockTextWithALeadingZeroSaysWhenItDidNotFire) {
  json config;
  config["SpawnDinoX"][kClock] = Entry("12:03", 5);
  EntryLedger ledger(config);
  for (std::int64_t day = 0; day < 2; ++day) {
    for (std::int64_t minute = 0; minute < 5; ++minute) {
      Call call(minute * 60);
      call.call.time += day * 86400;
      ledger.OnTimerCall(call.call);
    }
  }
  input_.entries = ledger.Entries();
  ASSERT_EQ(input_.entries.size(), 1u);
  EXPECT_EQ(input_.entries[0].fell_due, 0);
  EXPECT_EQ(
      Matches(Render(), "<em class=\"missed\">([^<]*)</em>"),
      std::vector<std::string>{"did not fire on 2024-01-01, 2024-01-02: the clock writes 12:03 as "
                               "\"12:3\""});
}

TEST_F(RenderedReport, ConfigurationTextsAreEscaped) {
  const std::string hostile = "Blueprint'/Game/X/<script>alert(\"x\")</script>.X'";
  json config;
  config["SpawnDino"][hostile] = Entry(0, 5);
  config["SpawnDino"][hostile]["Name"] = "\"><script>alert('n')</script>";
  EntryLedger ledger(config);
  ledger.OnTimerCall(Call(0).Load(hostile, true).Spawn(hostile, true).call);
  input_.entries = ledger.Entries();
  // Off the map, so that the list below it names the entry too; and in a
  // population chart, a cap line and a reload's mark.
  input_.spawns = {Spawn(kStart, hostile, 900000, 0, 0, 1)};
  input_.population = {{hostile, {{kStart, 0}}}};
  input_.caps = {{Table::kCountdown, hostile, hostile, {{kStart, 5}}}};
  input_.config_changes = {{kStart + 60, false, "<script>alert('r')</script>"}};
  const std::string html = Render();

  // No attribute broken open (the browser test runs the page).
  EXPECT_EQ(Count(html, "alert(\"x\")"), 0);
  EXPECT_EQ(Count(html, "alert('r')"), 0);
  EXPECT_NE(html.find("&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt;"), std::string::npos);
  EXPECT_NE(html.find("&quot;&gt;&lt;script&gt;alert(&#39;n&#39;)"), std::string::npos);
  EXPECT_NE(html.find("Demo &quot;isle&quot; &lt;b&gt;"), std::string::npos);
  EXPECT_NE(html.find("&lt;oops&gt; &amp; &quot;quoted&quot;"), std::string::npos);
}

}  // namespace
}  // namespace standin::report
