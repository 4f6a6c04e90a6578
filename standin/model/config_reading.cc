#include "standin/model/config_reading.h"

#include <cmath>
#include <fstream>
#include <iterator>
#include <limits>
#include <sstream>

namespace standin::model {
namespace {

using nlohmann::json;

constexpr std::string_view kIntervalKey = "SpawnInterval";

bool Refuse(std::string* why, std::string reason) {
  if (why != nullptr) *why = std::move(reason);
  return false;
}

const json* Member(const json& object, std::string_view key) {
  if (!object.is_object()) return nullptr;
  auto it = object.find(key);
  return it == object.end() ? nullptr : &*it;
}

// White space as the C locale's isspace() sees it; bytes at or above 0x80
// are neither space nor digit, like the "?" the plug-in reads in their place.
bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

EntryRules ReadEntry(Table table, const std::string& name, const json& entry,
                     const json& interval) {
  EntryRules rules;
  rules.table = table;
  rules.name = name;
  if (table == Table::kCountdown) {
    rules.interval = *ReadInt32(interval);
  } else {
    rules.clock_text = interval.get<std::string>();
  }
  if (const json* cap = Member(entry, "Worldmaximum")) rules.cap = ReadInt32(*cap);
  if (const json* display = Member(entry, "Name"); display != nullptr && display->is_string()) {
    rules.display_name = display->get<std::string>();
  }
  const json* random = Member(entry, "PositionRangeRandom");
  rules.random_position = random != nullptr && random->is_boolean() && random->get<bool>();
  if (const json* position = Member(entry, "Position");
      position != nullptr && position->is_string()) {
    rules.position = ReadPosition(position->get_ref<const std::string&>());
  }
  return rules;
}

// Adds one table's entries; false when the table makes the plug-in refuse
// the whole document.
bool ReadTable(const json& document, Table table, ConfigRules& rules, std::string* why) {
  const std::string_view key = TableName(table);
  const json* section = Member(document, key);
  if (section == nullptr || section->is_null()) return true;
  if (section->is_array() && section->empty()) return true;
  // A primitive or a non-empty array has members without names.
  if (!section->is_object()) return Refuse(why, "\"" + std::string(key) + "\" is not an object");
  for (const auto& [name, entry] : section->items()) {
    const std::string where = std::string(key) + "[\"" + name + "\"]";
    if (!entry.is_object()) return Refuse(why, where + " is not an object");
    const json* interval = Member(entry, kIntervalKey);
    const bool readable =
        interval != nullptr &&
        (table == Table::kCountdown ? ReadInt32(*interval).has_value() : interval->is_string());
    if (!readable) return Refuse(why, where + " has no usable \"SpawnInterval\"");
    rules.entries.push_back(ReadEntry(table, name, entry, *interval));
  }
  return true;
}

}  // namespace

std::string_view TableName(Table table) {
  return table == Table::kCountdown ? "SpawnDino" : "SpawnDinoX";
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
  std::ifstream file(path, std::ios::in | std::ios::binary);
  if (!file.is_open()) return std::nullopt;
  std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (file.bad()) return std::nullopt;
  return text;
}

std::optional<json> ParseLeniently(std::string_view text, std::string* why) {
  // The stream operator stops after the first complete value.
  std::istringstream stream{std::string(text)};
  json document;
  try {
    stream >> document;
  } catch (const json::exception& e) {
    Refuse(why, e.what());
    return std::nullopt;
  }
  return document;
}

std::optional<std::int32_t> ReadInt32(const json& value) {
  if (value.is_boolean()) return value.get<bool>() ? 1 : 0;
  if (value.is_number_integer()) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(value.get<std::int64_t>()));
  }
  if (value.is_number_unsigned()) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(value.get<std::uint64_t>()));
  }
  if (value.is_number_float()) {
    const double truncated = std::trunc(value.get<double>());
    if (truncated >= -2147483648.0 && truncated <= 2147483647.0) {
      return static_cast<std::int32_t>(truncated);
    }
  }
  return std::nullopt;
}

std::optional<std::int32_t> ReadPositionNumber(std::string_view piece, bool* out_of_range) {
  if (out_of_range != nullptr) *out_of_range = false;
  std::size_t i = 0;
  while (i < piece.size() && IsSpace(piece[i])) ++i;
  bool negative = false;
  if (i < piece.size() && (piece[i] == '+' || piece[i] == '-')) negative = piece[i++] == '-';
  constexpr std::int64_t kPastRange = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 2;
  std::int64_t magnitude = 0;
  std::size_t digits = 0;
  for (; i < piece.size() && IsDigit(piece[i]); ++i, ++digits) {
    magnitude = std::min(magnitude * 10 + (piece[i] - '0'), kPastRange);
  }
  if (digits == 0) return std::nullopt;
  const std::int64_t value = negative ? -magnitude : magnitude;
  if (value < std::numeric_limits<std::int32_t>::min() ||
      value > std::numeric_limits<std::int32_t>::max()) {
    if (out_of_range != nullptr) *out_of_range = true;
    return std::nullopt;
  }
  return static_cast<std::int32_t>(value);
}

std::optional<Position> ReadPosition(std::string_view text) {
  std::vector<std::string_view> pieces;
  while (!text.empty() && pieces.size() < 3) {
    const std::size_t space = text.find(' ');
    if (space != 0) pieces.push_back(text.substr(0, space));
    if (space == std::string_view::npos) break;
    text.remove_prefix(space + 1);
  }
  Position position;
  if (pieces.size() < 3) return position;
  std::int32_t* axes[] = {&position.x, &position.y, &position.z};
  for (std::size_t i = 0; i < 3; ++i) {
    std::optional<std::int32_t> number = ReadPositionNumber(pieces[i]);
    if (!number) return std::nullopt;
    *axes[i] = *number;
  }
  position.placed = true;
  return position;
}

std::optional<ConfigRules> AcceptDocument(const json& document, std::string* why) {
  // Null is taken as an empty object: asking it for a table makes it one.
  if (!document.is_object() && !document.is_null()) {
    Refuse(why, "the top level is not an object");
    return std::nullopt;
  }
  ConfigRules rules;
  if (!ReadTable(document, Table::kCountdown, rules, why) ||
      !ReadTable(document, Table::kClock, rules, why)) {
    return std::nullopt;
  }
  return rules;
}

std::optional<ConfigRules> AcceptText(std::string_view text, std::string* why) {
  std::optional<json> document = ParseLeniently(text, why);
  if (!document) return std::nullopt;
  return AcceptDocument(*document, why);
}

std::string ClassPathOf(std::string_view name) {
  std::string path(name);
  for (char& c : path) {
    if (static_cast<unsigned char>(c) >= 0x80) c = '?';
  }
  return path;
}

std::optional<FaultLine> ParseFaultLine(std::string_view line) {
  FaultLine fault;
  std::size_t start = 0;
  // The clock table's key starts with the countdown table's, so it is tried first.
  for (Table table : {Table::kClock, Table::kCountdown}) {
    const std::string prefix = std::string(TableName(table)) + "[\"";
    if (line.starts_with(prefix)) {
      fault.table = table;
      start = prefix.size();
      break;
    }
  }
  if (start == 0) return std::nullopt;
  const std::size_t end = line.find("\"]: ", start);
  if (end == std::string_view::npos) return std::nullopt;
  fault.name = std::string(line.substr(start, end - start));
  fault.message = std::string(line.substr(end + 4));
  return fault;
}

}  // namespace standin::model
