#include "config/config.h"

#include <fmt/format.h>

#include <cmath>
#include <optional>
#include <sstream>
#include <utility>

#include "config/text_encoding.h"

namespace drovekeeper::config {

namespace {

// Runs `store_entry` on every member of document[key], the table's entries.
// Iterates with key() rather than items(): items() would make up index names
// for an array, where a non-empty array must be rejected.
template <typename StoreEntry>
void BuildTable(nlohmann::json& document, std::string_view key, StoreEntry store_entry) {
  nlohmann::json* members = nullptr;
  try {
    members = &document[std::string(key)];
  } catch (const nlohmann::json::exception& e) {
    throw ConfigError(fmt::format("{}: {}", key, e.what()));
  }
  for (auto it = members->begin(); it != members->end(); ++it) {
    const std::string* name = nullptr;
    try {
      name = &it.key();
    } catch (const nlohmann::json::exception& e) {
      throw ConfigError(fmt::format("{}: {}", key, e.what()));
    }
    try {
      store_entry(*name, it.value());
    } catch (const nlohmann::json::exception& e) {
      throw ConfigError(fmt::format("{}[\"{}\"]: {}", key, *name, e.what()));
    }
  }
}

}  // namespace

nlohmann::json ParseConfigText(const std::string& text) {
  if (const std::optional<std::string> reason = WideEncodingReason(text)) {
    // The parser would stop at the first zero byte and blame the syntax.
    throw nlohmann::json::parse_error::create(101, 0, *reason, nullptr);
  }
  std::istringstream stream(text);
  nlohmann::json parsed;
  stream >> parsed;
  return parsed;
}

SpawnTables BuildSpawnTablesOf(nlohmann::json& document) {
  SpawnTables tables;
  BuildTable(document, kCountdownTableKey, [&](const std::string& name, nlohmann::json& entry) {
    tables.countdown[name] = static_cast<std::int64_t>(ReadInt32(entry, kScheduleKey));
  });
  BuildTable(document, kClockTableKey, [&](const std::string& name, nlohmann::json& entry) {
    tables.clock[name] = ReadString(entry, kScheduleKey);
  });
  return tables;
}

void BuildSpawnTables(nlohmann::json& document) {
  SpawnTables tables = BuildSpawnTablesOf(document);
  CountdownTable = std::move(tables.countdown);
  ClockTable = std::move(tables.clock);
}

nlohmann::json& EntrySettings(std::string_view table, const std::string& name) {
  return ConfigDocument[std::string(table)][name];
}

const nlohmann::json* FindEntrySetting(const nlohmann::json& document, std::string_view table,
                                       const std::string& name, std::string_view key) {
  if (!document.is_object()) return nullptr;
  const auto t = document.find(table);
  if (t == document.end() || !t->is_object()) return nullptr;
  const auto e = t->find(name);
  if (e == t->end() || !e->is_object()) return nullptr;
  const auto v = e->find(key);
  return v == e->end() ? nullptr : &*v;
}

std::int32_t ReadInt32(nlohmann::json& entry, std::string_view key) {
  return ToInt32(entry[std::string(key)], key);
}

bool ReadBool(nlohmann::json& entry, std::string_view key) {
  return entry[std::string(key)].get<bool>();
}

std::string ReadString(nlohmann::json& entry, std::string_view key) {
  return entry[std::string(key)].get<std::string>();
}

std::int32_t ToInt32(const nlohmann::json& value, std::string_view key) {
  if (value.is_number_float()) {
    // Truncation toward zero is only defined when the result fits.
    const double truncated = std::trunc(value.get<double>());
    if (!(truncated >= -2147483648.0 && truncated <= 2147483647.0)) {
      throw nlohmann::json::type_error::create(
          302, fmt::format("\"{}\" is {}, outside the 32-bit integer range", key, value.dump()),
          &value);
    }
    return static_cast<std::int32_t>(truncated);
  }
  // Integers keep their low 32 bits, booleans read 1 and 0, and every other
  // kind raises the library's own type error.
  return value.get<std::int32_t>();
}

}  // namespace drovekeeper::config
