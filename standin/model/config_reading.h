// The stand-in's model of how the plug-in reads its configuration: the file
// read whole, one JSON value parsed from its start, which documents it
// accepts, and how it reads an entry's numbers, position and name. Used by
// the ledger, the invariants and the report feed; independent of the
// plug-in's own code, against which tests/unit/model_test.cc checks it.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace standin::model {

// The two schedule tables: the countdown table ("SpawnDino") and the clock
// table ("SpawnDinoX").
enum class Table { kCountdown, kClock };

// The table's key in the configuration: "SpawnDino" or "SpawnDinoX".
std::string_view TableName(Table table);

// The whole file, or nullopt when it cannot be opened or read.
std::optional<std::string> ReadWholeFile(const std::string& path);

// One JSON value from the start of `text`; what follows it is never read.
// Nullopt when no value parses, with the library's message in `why`.
std::optional<nlohmann::json> ParseLeniently(std::string_view text, std::string* why = nullptr);

// The plug-in's 32-bit integer read: integers keep their low 32 bits,
// fractions are truncated (nullopt outside the 32-bit range), booleans read
// 1 and 0; nullopt for every other kind.
std::optional<std::int32_t> ReadInt32(const nlohmann::json& value);

// One piece of a "Position" text: optional leading white space and sign, then
// at least one decimal digit; reading stops at the first non-digit. Nullopt
// without digits or outside 32 bits (then `*out_of_range` is set).
std::optional<std::int32_t> ReadPositionNumber(std::string_view piece,
                                               bool* out_of_range = nullptr);

// A "Position" text: the non-empty runs between single spaces. With three or
// more pieces the first three are X, Y and Z (`placed`); with fewer the
// spawn is at the origin. Nullopt when one of the first three is no number,
// which fails the entry's turn.
struct Position {
  bool placed = false;
  std::int32_t x = 0;
  std::int32_t y = 0;
  std::int32_t z = 0;
};
std::optional<Position> ReadPosition(std::string_view text);

// What the stand-in needs of one entry of an accepted configuration.
struct EntryRules {
  Table table = Table::kCountdown;
  std::string name;                  // the entry's key, "Blueprint'/P/A.A'"
  std::int32_t interval = 0;         // countdown table: "SpawnInterval" as read
  std::string clock_text;            // clock table: "SpawnInterval"
  std::optional<std::int32_t> cap;   // "Worldmaximum"; none fails every turn
  std::string display_name;          // "Name", when it is a string
  bool random_position = false;      // "PositionRangeRandom" is true
  std::optional<Position> position;  // when "Position" is a text that reads
};

// Countdown entries in name (byte) order, then clock entries: the order in
// which the plug-in walks them within a run.
struct ConfigRules {
  std::vector<EntryRules> entries;
};

// Whether the plug-in takes `document` (null reads as an empty object; a
// table may be absent, null, an empty array or an object; every entry an
// object with a "SpawnInterval" its table can read), and what it takes.
// Nullopt when it refuses, with the reason in `why`.
std::optional<ConfigRules> AcceptDocument(const nlohmann::json& document,
                                          std::string* why = nullptr);
// The same for a file's text, parsed leniently.
std::optional<ConfigRules> AcceptText(std::string_view text, std::string* why = nullptr);

// The path the plug-in hands to the class loader for an entry name: bytes at
// or above 0x80 become "?".
std::string ClassPathOf(std::string_view name);

// The entry a fault line names: `SpawnDino["ENTRY"]: MESSAGE`. Nullopt for
// any other line.
struct FaultLine {
  Table table = Table::kCountdown;
  std::string name;
  std::string message;
};
std::optional<FaultLine> ParseFaultLine(std::string_view line);

}  // namespace standin::model
