// The rules for one entry of either table: its name, its keys, and each
// value as the plug-in reads it.
#include <fmt/format.h>

#include <algorithm>
#include <limits>

#include "check/check_values.h"
#include "check/checker.h"
#include "check/entry_name.h"
#include "check/spelling.h"
#include "config/config.h"

namespace drovekeeper::check {

namespace {

constexpr std::int32_t kInt32Max = std::numeric_limits<std::int32_t>::max();

bool IsEntryKey(std::string_view key) {
  return std::find(config::kEntryKeys.begin(), config::kEntryKeys.end(), key) !=
         config::kEntryKeys.end();
}

// What a failed read of `key` costs. The tables are built from
// "SpawnInterval" when the file is read; every other setting is read and
// checked before a spawn, so its fault spawns nothing.
Consequence ReadFailure(std::string_view key) {
  return key == config::kScheduleKey ? Consequence::kRejectsFile : Consequence::kNeverSpawns;
}

std::string TypeWanted(Json::value_t type) {
  switch (type) {
    case Json::value_t::boolean:
      return "a boolean (true or false)";
    case Json::value_t::string:
      return "a string";
    default:
      return "a number";
  }
}

}  // namespace

void Checker::CheckEntryName(const Path& path) {
  const std::string& name = path[1];
  const bool high_bytes =
      std::any_of(name.begin(), name.end(), [](char c) { return (c & 0x80) != 0; });
  const NameVerdict verdict = JudgeEntryName(name);
  // A plain path with high bytes loads nothing, so it is never left uncapped.
  if (verdict.form == NameForm::kUnloadable ||
      (verdict.form == NameForm::kPlainPath && !high_bytes)) {
    std::string what = fmt::format("entry name {}: {}", verdict.fault, verdict.fix);
    if (!verdict.suggestion.empty())
      what += fmt::format(" (did you mean \"{}\"?)", verdict.suggestion);
    AddAt(Severity::kWarning, KeyOffset(path), path, std::move(what),
          verdict.form == NameForm::kPlainPath ? Consequence::kNeverCapped
                                               : Consequence::kNameNeverLoads);
  }
  if (high_bytes) {
    AddAt(Severity::kWarning, KeyOffset(path), path, "entry name holds bytes of 0x80 or above",
          Consequence::kClassNeverLoads);
  }
}

void Checker::CheckEntry(const std::string& table, const std::string& name, const Json& entry) {
  const Path path{table, name};
  CheckEntryName(path);
  if (!entry.is_object()) {
    Add(Severity::kError, path,
        fmt::format("the entry is {}, not an object", TypeWithArticle(entry)),
        Consequence::kRejectsFile);
    return;
  }
  CheckUnknownKeys(path, entry);
  if (table == config::kClockTableKey) {
    CheckClockText(path, entry);
  } else {
    CheckCountdown(path, entry);
  }
  if (const auto maximum = CheckWholeNumber(path, entry, config::kMaximumKey);
      maximum && *maximum <= 0) {
    Add(Severity::kWarning, Child(path, config::kMaximumKey),
        fmt::format("\"{}\" is {}", config::kMaximumKey, *maximum), Consequence::kAlwaysCapped);
  }
  const bool located = CheckPosition(path, entry);
  const Json* random = FindRequiredOfType(path, entry, config::kRandomKey, Json::value_t::boolean);
  if (located && random && random->get<bool>()) {
    Note(Consequence::kHeightIsFixed, Child(path, config::kRandomKey),
         "\"PositionRangeRandom\" is true", "");
  }
  CheckLevel(path, entry);
  const Json* notice = FindRequiredOfType(path, entry, config::kNoticeKey, Json::value_t::boolean);
  if (notice && notice->get<bool>())
    FindRequiredOfType(path, entry, config::kNameKey, Json::value_t::string);
}

void Checker::CheckUnknownKeys(const Path& path, const Json& entry) {
  for (const auto& [key, value] : entry.items()) {
    if (IsEntryKey(key)) continue;
    std::string what = fmt::format("unknown key \"{}\"", key);
    if (const auto likely = Closest(key, config::kEntryKeys)) {
      what += fmt::format(" (did you mean \"{}\"?)", *likely);
    }
    AddAt(Severity::kWarning, KeyOffset(Child(path, key)), Child(path, key), std::move(what),
          Consequence::kNeverRead);
  }
}

void Checker::CheckCountdown(const Path& path, const Json& entry) {
  const auto interval = CheckWholeNumber(path, entry, config::kScheduleKey);
  if (!interval) return;
  Note(Consequence::kFallsDueOneLater, Child(path, config::kScheduleKey),
       "\"SpawnInterval\" counts one minute more than it says",
       *interval <= 0
           ? fmt::format(" {}: every minute", *interval)
           : fmt::format(" {}: every {} minutes", *interval, std::int64_t{*interval} + 1));
}

void Checker::CheckLevel(const Path& path, const Json& entry) {
  const auto level = CheckWholeNumber(path, entry, config::kLevelKey);
  const Json* fixed = FindRequiredOfType(path, entry, config::kFixedKey, Json::value_t::boolean);
  if (!level || !fixed) return;
  if (fixed->get<bool>() && *level < 1) {
    Add(Severity::kError, Child(path, config::kLevelKey),
        fmt::format("\"{}\" is {} while \"{}\" is true, but a fixed level starts at 1",
                    config::kLevelKey, *level, config::kFixedKey),
        Consequence::kNeverSpawns);
  } else if (!fixed->get<bool>()) {
    Note(Consequence::kGameChoosesLevel, Child(path, config::kLevelKey),
         "\"Maxlevel\" is ignored while \"levelFixed\" is false", "");
  }
}

// The value of `key` when it is present, else null after reporting it
// missing.
const Json* Checker::FindRequired(const Path& path, const Json& entry, std::string_view key) {
  const auto it = entry.find(std::string(key));
  if (it != entry.end()) return &*it;
  AddAt(Severity::kError, KeyOffset(path), Child(path, key), fmt::format("\"{}\" is missing", key),
        ReadFailure(key));
  return nullptr;
}

// The value of `key` when it is present and of `type`, else null after
// reporting why not.
const Json* Checker::FindRequiredOfType(const Path& path, const Json& entry, std::string_view key,
                                        Json::value_t type) {
  const Json* value = FindRequired(path, entry, key);
  if (!value) return nullptr;
  if (value->type() == type) return value;
  Add(Severity::kError, Child(path, key),
      fmt::format("\"{}\" is {}, not {}", key, TypeWithArticle(*value), TypeWanted(type)),
      ReadFailure(key));
  return nullptr;
}

// A value read as a 32-bit integer, through the plug-in's own conversion.
std::optional<std::int32_t> Checker::CheckWholeNumber(const Path& path, const Json& entry,
                                                      std::string_view key) {
  const Json* value = FindRequired(path, entry, key);
  if (!value) return std::nullopt;
  const Path at = Child(path, key);
  if (!value->is_number() && !value->is_boolean()) {
    Add(Severity::kError, at,
        fmt::format("\"{}\" is {}, not a number", key, TypeWithArticle(*value)), ReadFailure(key));
    return std::nullopt;
  }
  std::int32_t read = 0;
  try {
    read = config::ToInt32(*value, key);
  } catch (const Json::exception&) {
    Add(Severity::kError, at,
        fmt::format("\"{}\" is {}, outside the 32-bit integer range", key, value->dump()),
        ReadFailure(key));
    return std::nullopt;
  }
  if (value->is_boolean()) {
    Add(Severity::kWarning, at,
        fmt::format("\"{}\" is a boolean, not a number: read as {}", key, read),
        Consequence::kReadAsWholeNumber);
  } else if (value->is_number_float() && value->get<double>() != static_cast<double>(read)) {
    Add(Severity::kWarning, at,
        fmt::format("\"{}\" is {}, a fraction: read as {}", key, value->dump(), read),
        Consequence::kReadAsWholeNumber);
  } else if (value->is_number_unsigned()
                 ? value->get<std::uint64_t>() > std::uint64_t{kInt32Max}
                 : value->is_number_integer() && value->get<std::int64_t>() != read) {
    Add(Severity::kWarning, at,
        fmt::format("\"{}\" is {}, outside the 32-bit integer range: read as {}, its low 32 bits",
                    key, value->dump(), read),
        Consequence::kReadAsWholeNumber);
  }
  return read;
}

void Checker::CheckClockText(const Path& path, const Json& entry) {
  const Json* value = FindRequired(path, entry, config::kScheduleKey);
  if (!value) return;
  const Path at = Child(path, config::kScheduleKey);
  if (!value->is_string()) {
    Add(Severity::kError, at,
        fmt::format("\"{}\" is {}, not a clock text such as \"18:30\"", config::kScheduleKey,
                    TypeWithArticle(*value)),
        Consequence::kRejectsFile);
    return;
  }
  const std::string& text = value->get_ref<const std::string&>();
  const ClockVerdict verdict = JudgeClockText(text);
  if (verdict.fault.empty()) return NoteClockChanges(at, text);
  if (!verdict.suggestion.empty()) {
    // In range, so only seconds or zeros that pad keep it from matching:
    // say how the clock writes that minute.
    const bool seconds = std::count(text.begin(), text.end(), ':') == 2;
    const bool padded =
        seconds ? !text.starts_with(verdict.suggestion + ":") : text != verdict.suggestion;
    const std::size_t colon = verdict.suggestion.find(':');
    const std::string hour = verdict.suggestion.substr(0, colon);
    const std::string minute = verdict.suggestion.substr(colon + 1);
    const std::string without = seconds && padded ? "no seconds, no leading zeros"
                                : seconds         ? "no seconds"
                                                  : "no leading zeros";
    Add(Severity::kWarning, at,
        fmt::format(
            "clock text \"{}\": the clock writes {:0>2}:{:0>2} as \"{}\" ({}); write \"{}\"", text,
            hour, minute, verdict.suggestion, without, verdict.suggestion),
        Consequence::kNeverFires);
    return;
  }
  Add(Severity::kWarning, at, fmt::format("clock text \"{}\" {}", text, verdict.fault),
      Consequence::kNeverFires);
}

bool Checker::CheckPosition(const Path& path, const Json& entry) {
  const Json* value = FindRequiredOfType(path, entry, config::kPositionKey, Json::value_t::string);
  if (!value) return false;
  const Path at = Child(path, config::kPositionKey);
  const std::vector<std::string_view> pieces = SplitAtSpaces(value->get_ref<const std::string&>());
  if (pieces.size() < 3) {
    Add(Severity::kWarning, at,
        fmt::format("\"{}\" has {} of the three space-separated numbers X Y Z",
                    config::kPositionKey, pieces.size()),
        Consequence::kSpawnsAtOrigin);
    return false;
  }
  constexpr std::array<std::string_view, 3> kAxes = {"X", "Y", "Z"};
  bool readable = true;
  for (std::size_t i = 0; i < 3; ++i)
    readable = CheckPositionPiece(at, kAxes[i], pieces[i]) && readable;
  return readable;
}

bool Checker::CheckPositionPiece(const Path& at, std::string_view axis, std::string_view text) {
  const PieceValue piece = ReadPiece(text);
  switch (piece.status) {
    case PieceValue::Status::kNoDigits:
      Add(Severity::kError, at,
          fmt::format("\"{}\" {} \"{}\" is not a whole number", config::kPositionKey, axis, text),
          Consequence::kNeverSpawns);
      return false;
    case PieceValue::Status::kOutOfRange:
      Add(Severity::kError, at,
          fmt::format("\"{}\" {} \"{}\" is outside the 32-bit integer range", config::kPositionKey,
                      axis, text),
          Consequence::kNeverSpawns);
      return false;
    case PieceValue::Status::kOk:
      break;
  }
  if (!piece.whole) {
    Add(Severity::kWarning, at,
        fmt::format("\"{}\" {} \"{}\" is not a plain whole number: read as {}",
                    config::kPositionKey, axis, text, piece.value),
        Consequence::kReadAsWholeNumber);
  }
  return true;
}

}  // namespace drovekeeper::check
