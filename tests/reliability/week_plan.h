// Builds the simulated week of the reliability test: a world, good and
// broken configurations and an operator script (reloads every few hours,
// deleted files, creatures killed, players coming and going), all drawn from
// one seed so that every run is the same. Also what the run must show.
// Used by the reliability tests only.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace week {

struct PlayerLeave {
  std::string name;
  double minute = 0;
};

struct WeekPlan {
  std::string world;                           // world file text
  std::map<std::string, std::string> configs;  // file name -> text
  std::string first_config;                    // file name of the one loaded at start
  std::string script;                          // script file text; paths relative to it
  std::int64_t minutes = 0;

  // What the run must show.
  int reloads_ok = 0;
  int reloads_failed = 0;
  int kill_actions = 0;
  int joins = 0;
  std::vector<PlayerLeave> leaves;
  // Blueprint paths of the clock entries near midnight ("23:59" and "0:0"),
  // present in every good configuration with a cap never reached.
  std::string before_midnight;
  std::string at_midnight;
};

WeekPlan MakeWeekPlan(std::uint32_t seed, int days);

}  // namespace week
