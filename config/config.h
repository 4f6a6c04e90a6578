// The configuration: the process-wide ConfigDocument parsed from config.json,
// the two schedule tables built from it (the countdown table and the clock
// table), and the typed reads of an entry's settings. Used by plugin/ (load,
// reload), spawn/ (the timer run) and the checker. Knows nothing of the host:
// plugin/ finds the file and reads it.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <string_view>

#include "config/keys.h"
#include "config/state.h"

namespace drovekeeper::config {

// Process-wide (config/state.h): the parsed configuration and the two
// schedule tables. Null until first read or built.
inline nlohmann::json& ConfigDocument = state.config_document;
inline nlohmann::json& CountdownTable = state.countdown_table;  // name -> runs left
inline nlohmann::json& ClockTable = state.clock_table;          // name -> clock text

// The configuration text's one JSON value, read from its start the way a
// stream read takes it: whatever follows the value is never looked at.
// Throws the library's parse_error, and for a text saved as UTF-16 or UTF-32
// one whose message gives that as its reason and no place:
// "[json.exception.parse_error.101] parse error: the file is UTF-16; save it
// as UTF-8".
nlohmann::json ParseConfigText(const std::string& text);

// Both schedule tables as a build makes them from one document.
struct SpawnTables {
  nlohmann::json countdown;  // every "SpawnDino" entry at its interval
  nlohmann::json clock;      // every "SpawnDinoX" entry with its clock text
};

// Builds both tables from `document` without touching the tables in force.
// Throws ConfigError on a fault of a table or an entry's schedule.
SpawnTables BuildSpawnTablesOf(nlohmann::json& document);

// Builds both tables from `document` into fresh values and swaps them in
// only when the whole build succeeded. Throws ConfigError otherwise, leaving
// both tables as they were.
void BuildSpawnTables(nlohmann::json& document);

// A configuration fault, its message naming the table and entry, e.g.
// SpawnDino["Blueprint'/P/A.A'"]: [json.exception.type_error.302] ...
class ConfigError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// ConfigDocument[table][name], through the inserting lookup.
nlohmann::json& EntrySettings(std::string_view table, const std::string& name);

// The member `key` of document[table][name], or null; never inserts.
const nlohmann::json* FindEntrySetting(const nlohmann::json& document, std::string_view table,
                                       const std::string& name, std::string_view key);

// Typed reads of one setting of an entry, through the inserting lookup and
// the JSON library's conversions (its type_error when absent or mistyped).
// ReadInt32 keeps the low 32 bits of integers and truncates fractions; a
// fraction outside the 32-bit range is a type error naming the key.
std::int32_t ReadInt32(nlohmann::json& entry, std::string_view key);
bool ReadBool(nlohmann::json& entry, std::string_view key);
std::string ReadString(nlohmann::json& entry, std::string_view key);

// The same integer conversion for a value already in hand.
std::int32_t ToInt32(const nlohmann::json& value, std::string_view key);

}  // namespace drovekeeper::config
