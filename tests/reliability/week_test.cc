// A week of server life in simulated time under drovekeeper-sim
// --invariants: the simulator itself stops with status 3 at the first broken
// invariant; this test also checks the run against what the plan says must
// happen (reload outcomes, midnight spawns, notices only to present players).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ctime>
#include <iostream>
#include <map>
#include <regex>
#include <set>
#include <string>

#include "tests/e2e/sim_process.h"
#include "tests/reliability/week_plan.h"

namespace {

using e2e::RunSim;
using e2e::ScratchDir;
using e2e::SimResult;

constexpr char kStart[] = "2024-03-04 06:00:00";

// The figures line "  NAME: VALUE" of the invariants summary.
std::string Figure(const std::string& out, const std::string& name) {
  std::smatch match;
  std::regex line("\\n  " + name + ": ([^\\n]*)");
  return std::regex_search(out, match, line) ? match[1].str() : "";
}

class WeekTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new ScratchDir;
    plan_ = new week::WeekPlan(week::MakeWeekPlan(20240304, DROVEKEEPER_WEEK_DAYS));
    dir_->Write("world.json", plan_->world);
    dir_->Write("script.json", plan_->script);
    for (const auto& [name, text] : plan_->configs) dir_->Write(name, text);
    result_ = new SimResult(
        RunSim({"--config", dir_->path() + "/" + plan_->first_config, "--world",
                dir_->path() + "/world.json", "--script", dir_->path() + "/script.json", "--start",
                kStart, "--minutes", std::to_string(plan_->minutes), "--invariants"},
               dir_->path()));
    // The figures the README quotes.
    const std::string& out = result_->out;
    const std::size_t summary = out.find("Summary:");
    std::cout << (summary == std::string::npos ? out : out.substr(summary)) << result_->err;
  }
  static void TearDownTestSuite() {
    delete result_;
    delete plan_;
    delete dir_;
  }

  static ScratchDir* dir_;
  static week::WeekPlan* plan_;
  static SimResult* result_;
};

ScratchDir* WeekTest::dir_ = nullptr;
week::WeekPlan* WeekTest::plan_ = nullptr;
SimResult* WeekTest::result_ = nullptr;

TEST_F(WeekTest, EveryInvariantHeldToTheEnd) {
  EXPECT_EQ(result_->exit_code, 0) << result_->err;
  EXPECT_THAT(result_->out, ::testing::HasSubstr("Invariants: all held"));
  EXPECT_EQ(
      Figure(result_->out, "timer calls").substr(0, std::to_string(plan_->minutes * 60).size()),
      std::to_string(plan_->minutes * 60));
}

TEST_F(WeekTest, ReloadOutcomesMatchThePlan) {
  EXPECT_EQ(Figure(result_->out, "reloads"), std::to_string(plan_->reloads_ok) + " ok, " +
                                                 std::to_string(plan_->reloads_failed) + " failed");
  EXPECT_GT(plan_->reloads_ok, 0);
  EXPECT_GT(plan_->reloads_failed, 0);
  std::multiset<std::string> failed_at;
  for (const auto& rcon : result_->Of("rcon")) {
    if (rcon["command"] == "listplayers") {
      EXPECT_EQ(rcon["reply"], "unknown command: listplayers");
      continue;
    }
    ASSERT_TRUE(rcon["reply"].is_string()) << rcon.dump();
    if (rcon["reply"] != "重新加载配置") failed_at.insert(rcon["time"].get<std::string>());
  }
  EXPECT_EQ(static_cast<int>(failed_at.size()), plan_->reloads_failed);
  // Exactly one error line per failed reload, logged while it ran, and none
  // from anything else all week.
  std::multiset<std::string> error_lines_at;
  for (const auto& log : result_->Of("log")) {
    if (log["level"] == "error") error_lines_at.insert(log["time"].get<std::string>());
  }
  EXPECT_EQ(error_lines_at, failed_at);
}

TEST_F(WeekTest, ClockEntriesSpawnAroundMidnightEveryNight) {
  int before = 0;
  int at = 0;
  for (const auto& spawn : result_->Of("spawn")) {
    const std::string time = spawn["time"];
    if (spawn["class"] == plan_->before_midnight) {
      EXPECT_THAT(time, ::testing::EndsWith(" 23:59:00"));
      ++before;
    } else if (spawn["class"] == plan_->at_midnight) {
      EXPECT_THAT(time, ::testing::EndsWith(" 00:00:00"));
      ++at;
    }
  }
  // The run starts at 06:00: one 23:59 and one 0:00 in every full day.
  EXPECT_EQ(before, DROVEKEEPER_WEEK_DAYS);
  EXPECT_EQ(at, DROVEKEEPER_WEEK_DAYS);
}

TEST_F(WeekTest, CreaturesDieAndAreReplacedWithinTheirCaps) {
  EXPECT_NE(Figure(result_->out, "creatures killed"), "0");
  const std::string spawns = Figure(result_->out, "spawns");
  ASSERT_FALSE(spawns.empty());
  // Far more than the midnight entries alone: kills make room again and again.
  EXPECT_GT(std::stoi(spawns), 10 * DROVEKEEPER_WEEK_DAYS);
  std::set<std::string> classes;
  for (const auto& spawn : result_->Of("spawn")) classes.insert(spawn["class"].get<std::string>());
  EXPECT_GE(classes.size(), 5u);
  EXPECT_FALSE(classes.contains("Blueprint'/Game/Week/Beast7/Beast7_BP.Beast7_BP'"));
}

// Minutes since the start of a "YYYY-MM-DD HH:MM:SS" event time (TZ=UTC).
double MinuteOf(const std::string& time) {
  std::tm at{};
  std::tm start{};
  strptime(time.c_str(), "%Y-%m-%d %H:%M:%S", &at);
  strptime(kStart, "%Y-%m-%d %H:%M:%S", &start);
  return static_cast<double>(timegm(&at) - timegm(&start)) / 60.0;
}

TEST_F(WeekTest, NoticesReachThePlayersPresentAndNobodyElse) {
  std::map<std::string, int> notices_by_player;
  for (const auto& notice : result_->Of("notice")) {
    const std::string player = notice["player"];
    ++notices_by_player[player];
    for (const auto& leave : plan_->leaves) {
      if (leave.name == player) {
        EXPECT_LT(MinuteOf(notice["time"]), leave.minute) << player << " was told after leaving";
      }
    }
  }
  EXPECT_FALSE(notices_by_player.contains("Ghost")) << "a player that no longer resolves";
  EXPECT_GT(notices_by_player["Ayla"] + notices_by_player["Borin"], 0);
  EXPECT_GT(plan_->joins, 0);
  EXPECT_FALSE(plan_->leaves.empty());
}

}  // namespace
