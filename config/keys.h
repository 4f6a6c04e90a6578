// The configuration's names: its two tables, the keys of an entry and the
// form of an entry's name. Used by config/, spawn/ and check/; config.h
// brings it along.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace drovekeeper::config {

// The two tables.
inline constexpr std::string_view kCountdownTableKey = "SpawnDino";
inline constexpr std::string_view kClockTableKey = "SpawnDinoX";
// The member through which editors find the file's JSON Schema
// (docs/config.schema.json); never read, like every member but the tables.
inline constexpr std::string_view kSchemaKey = "$schema";

// The keys of an entry, in both tables. The schedule is the one setting both
// tables are built from: a fault in it, or in the shape of a table or entry,
// rejects the whole file.
inline constexpr std::string_view kScheduleKey = "SpawnInterval";
inline constexpr std::string_view kMaximumKey = "Worldmaximum";
inline constexpr std::string_view kPositionKey = "Position";
inline constexpr std::string_view kRandomKey = "PositionRangeRandom";
inline constexpr std::string_view kLevelKey = "Maxlevel";
inline constexpr std::string_view kFixedKey = "levelFixed";
inline constexpr std::string_view kNoticeKey = "SpawnNotice";
inline constexpr std::string_view kNameKey = "Name";

// Every key the plug-in reads; any other key is never read.
inline constexpr std::array<std::string_view, 8> kEntryKeys = {
    kScheduleKey, kMaximumKey, kPositionKey, kRandomKey,
    kLevelKey,    kFixedKey,   kNoticeKey,   kNameKey};

// An entry's name is Blueprint'PATH', PATH the object path of the creature's
// blueprint.
inline constexpr std::string_view kBlueprintPrefix = "Blueprint'";

namespace config_keys_internal {
inline constexpr auto kBlueprintPrefixUnits = [] {
  std::array<char16_t, kBlueprintPrefix.size()> units{};
  for (std::size_t i = 0; i < units.size(); ++i)
    units[i] = static_cast<char16_t>(kBlueprintPrefix[i]);
  return units;
}();
}  // namespace config_keys_internal

// The same prefix in the game's UTF-16, for the class references it builds.
inline constexpr std::u16string_view kBlueprintPrefixUtf16{
    config_keys_internal::kBlueprintPrefixUnits.data(),
    config_keys_internal::kBlueprintPrefixUnits.size()};

}  // namespace drovekeeper::config
