// Builds one spawn entry of a configuration for tests and fuzz targets, in a
// few chained calls:
//
//   json table = {{kRex, ConfigEntry(5).Cap(2).Level(10, /*fixed=*/true)},
//                 {kAnky, ConfigEntry("7:5").Position("0 0 0", /*random=*/true)}};
//
// Every entry starts complete, with the members in the order a configuration
// file lists them:
//   {"SpawnInterval": INTERVAL, "Worldmaximum": 10, "Position": "100 200 300",
//    "PositionRangeRandom": false, "Maxlevel": 150, "levelFixed": false,
//    "SpawnNotice": false}
// A chained call evaluates its argument after the calls before it, so draws
// from a random source in the arguments happen in the order written.
// Needs nothing but the JSON library; free of GoogleTest.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

class ConfigEntry {
 public:
  explicit ConfigEntry(nlohmann::ordered_json interval = 0);

  // "Worldmaximum".
  ConfigEntry& Cap(nlohmann::ordered_json world_maximum);
  // "Position", and "PositionRangeRandom".
  ConfigEntry& Position(std::string text, bool random = false);
  // "Maxlevel" and "levelFixed".
  ConfigEntry& Level(int max_level, bool fixed);
  // "SpawnNotice".
  ConfigEntry& Notice(bool notice = true);
  // "Name", after the other members.
  ConfigEntry& Name(nlohmann::ordered_json name);
  // Any member, replaced in place or added last.
  ConfigEntry& Set(std::string_view key, nlohmann::ordered_json value);
  ConfigEntry& Without(std::string_view key);

  operator nlohmann::json() const { return nlohmann::json(entry_); }
  operator nlohmann::ordered_json() const { return entry_; }

 private:
  nlohmann::ordered_json entry_;
};

// An ASCII configuration text as a file saved as UTF-16 (`width` 2) or
// UTF-32 (4), in either byte order, with or without its byte-order mark.
std::string WideText(std::string_view ascii, int width, bool big_endian, bool mark);
