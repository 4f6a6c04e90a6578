#include "check/check.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <limits>
#include <optional>
#include <sstream>
#include <utility>

#include "check/check_values.h"
#include "check/checker.h"
#include "check/listing.h"
#include "check/spelling.h"
#include "config/config.h"
#include "config/text_encoding.h"

namespace drovekeeper::check {

namespace {

constexpr std::array<std::string_view, 2> kTables = {config::kCountdownTableKey,
                                                     config::kClockTableKey};

// The parts of the library's "syntax error while parsing CONTEXT - WHAT;
// last read: 'TOKEN'; expected WANTED" that say something the position does
// not: WHAT and WANTED. The token is left out, as it echoes raw bytes.
struct SyntaxDetail {
  std::string what;
  std::string expected;
};

SyntaxDetail ParseSyntaxDetail(std::string_view message) {
  SyntaxDetail detail;
  constexpr std::string_view kLead = "syntax error while parsing ";
  const std::size_t lead = message.find(kLead);
  if (lead == std::string_view::npos) return {std::string(message), ""};
  message.remove_prefix(lead + kLead.size());
  if (const std::size_t dash = message.find(" - "); dash != std::string_view::npos) {
    message.remove_prefix(dash + 3);
  }
  constexpr std::string_view kExpected = "; expected ";
  std::size_t end = message.find("; last read: '");
  std::size_t expected_at = message.rfind(kExpected);
  if (end == std::string_view::npos) end = expected_at;
  if (expected_at != std::string_view::npos && expected_at >= end) {
    detail.expected = message.substr(expected_at + kExpected.size());
  }
  detail.what = message.substr(0, end);
  return detail;
}

// The parser met a value where a closing bracket or a comma may stand: when
// a value ends right before it, a comma was left out. The library places
// the error at the token's last byte; the end of the value before it, where
// the comma goes, or nothing when that is not what happened.
std::optional<std::size_t> MissingCommaAt(std::string_view text, const SyntaxDetail& detail,
                                          std::size_t last) {
  if (detail.expected != "'}'" && detail.expected != "']'") return std::nullopt;
  std::size_t start = last;
  if (detail.what == "unexpected string literal") {
    // Back to the opening quote, past escaped ones.
    const auto escaped = [&](std::size_t quote) {
      std::size_t slashes = 0;
      while (quote > slashes && text[quote - slashes - 1] == '\\') ++slashes;
      return slashes % 2 == 1;
    };
    do {
      if (start == 0) return std::nullopt;
      --start;
    } while (text[start] != '"' || escaped(start));
  } else if (detail.what == "unexpected number literal") {
    const auto in_number = [](char c) {
      return IsDigit(c) || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E';
    };
    while (start > 0 && in_number(text[start - 1])) --start;
  } else if (detail.what == "unexpected true literal" || detail.what == "unexpected null literal") {
    start = last >= 3 ? last - 3 : 0;
  } else if (detail.what == "unexpected false literal") {
    start = last >= 4 ? last - 4 : 0;
  } else if (detail.what != "unexpected '{'" && detail.what != "unexpected '['") {
    return std::nullopt;
  }
  while (start > 0 && IsJsonSpace(text[start - 1])) --start;
  if (start == 0) return std::nullopt;
  const char ends = text[start - 1];
  if (ends == '"' || ends == '}' || ends == ']' || ends == 'e' || ends == 'l' || IsDigit(ends))
    return start;
  return std::nullopt;
}

// Offset of the first byte that does not begin or continue a UTF-8 sequence
// (overlong forms and surrogates aside, which the parser itself refuses);
// npos when there is none.
std::size_t FirstNonUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    const std::size_t length = c < 0x80           ? 1
                               : (c >> 5) == 0x6  ? 2
                               : (c >> 4) == 0xE  ? 3
                               : (c >> 3) == 0x1E ? 4
                                                  : 0;
    if (length == 0 || i + length > text.size()) return i;
    for (std::size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return i;
    }
    i += length;
  }
  return std::string_view::npos;
}

}  // namespace

Checker::Checker(std::string_view text, CheckNotes notes, const ZoneChanges& zone)
    : text_(text), notes_(notes), lines_(text), zone_(zone) {}

std::vector<ConfigFinding> Checker::Run() {
  if (std::optional<std::string> reason = config::WideEncodingReason(text_)) {
    AddAt(Severity::kError, 0, {}, std::move(*reason), Consequence::kRejectsFile);
    return Sorted();
  }
  Json document;
  try {
    std::istringstream in{std::string(text_)};
    in >> document;
  } catch (const Json::parse_error& e) {
    ReportSyntaxError(e);
    return Sorted();
  } catch (const Json::out_of_range& e) {
    ReportNumberOverflow(e);
    return Sorted();
  }
  index_.emplace(text_);
  CheckTrailingText();
  CheckRepeats();
  if (document.is_null()) return Sorted();
  if (!document.is_object()) {
    AddAt(Severity::kError, index_->value_start(), {},
          fmt::format("the document is {}, not an object", TypeWithArticle(document)),
          Consequence::kRejectsFile);
    return Sorted();
  }
  CheckTopLevelNames(document);
  for (std::string_view table : kTables) {
    const auto it = document.find(std::string(table));
    if (it != document.end()) CheckTable(std::string(table), *it);
  }
  return Sorted();
}

std::string Checker::TypeWithArticle(const Json& value) {
  const std::string name = value.type_name();
  if (value.is_null()) return "null";
  return (name == "object" || name == "array" ? "an " : "a ") + name;
}

Path Checker::Child(const Path& path, std::string_view key) {
  Path child = path;
  child.emplace_back(key);
  return child;
}

void Checker::AddAt(Severity severity, std::size_t offset, const Path& path, std::string what,
                    Consequence consequence) {
  const auto [line, column] = lines_.PlaceAt(offset);
  ConfigFinding finding{severity, line, column, {}, {}, {}, std::move(what), consequence};
  if (path.size() > 0) finding.table = path[0];
  if (path.size() > 1) finding.entry = path[1];
  if (path.size() > 2) finding.key = path[2];
  found_.push_back({offset, std::move(finding)});
}

// At the member's value when it is present, else at the nearest enclosing
// member that the text shows.
std::size_t Checker::ValueOffset(Path path) const {
  if (const Member* member = index_->Find(path)) return member->value_offset;
  return KeyOffset(std::move(path));
}

std::size_t Checker::KeyOffset(Path path) const {
  while (!path.empty()) {
    if (const Member* member = index_->Find(path)) return member->key_offset;
    path.pop_back();
  }
  return index_->value_start();
}

void Checker::Add(Severity severity, const Path& path, std::string what, Consequence consequence) {
  AddAt(severity, ValueOffset(path), path, std::move(what), consequence);
}

void Checker::Note(Consequence rule, const Path& at, std::string_view what, std::string mention) {
  if (notes_ == CheckNotes::kOmit) return;
  auto [it, fresh] = note_groups_.try_emplace(rule);
  NoteGroup& group = it->second;
  const std::size_t offset = ValueOffset(at);
  if (fresh || offset < group.offset) group.offset = offset;
  group.key = at.back();
  group.what = what;
  group.mentions.push_back(fmt::format("{}[\"{}\"]{}", at[0], at[1], mention));
}

std::size_t Checker::NamesShown() const {
  return notes_ == CheckNotes::kIncludeAll ? std::numeric_limits<std::size_t>::max() : kNamesShown;
}

std::vector<ConfigFinding> Checker::Sorted() {
  for (auto& [rule, group] : note_groups_) {
    AddAt(Severity::kNote, group.offset, {"", "", group.key},
          group.what + ": " + ListSome(group.mentions, NamesShown()), rule);
  }
  note_groups_.clear();
  AddClockChangeNotes();
  std::stable_sort(found_.begin(), found_.end(),
                   [](const Located& a, const Located& b) { return a.offset < b.offset; });
  std::vector<ConfigFinding> out;
  out.reserve(found_.size());
  for (Located& located : found_) out.push_back(std::move(located.finding));
  return out;
}

void Checker::ReportSyntaxError(const Json::parse_error& e) {
  // The library counts the bytes read up to and including the offending one.
  std::size_t offset = std::min<std::size_t>(e.byte > 0 ? e.byte - 1 : 0, text_.size());
  const SyntaxDetail detail = ParseSyntaxDetail(e.what());
  const auto add = [&](std::string what) {
    AddAt(Severity::kError, offset, {}, std::move(what), Consequence::kRejectsFile);
  };
  if (offset < text_.size() && text_[offset] == '/') {
    return add("comments are not allowed in JSON; remove the comment");
  }
  // The parser stops at a byte that is not UTF-8, inside a string or out.
  if (const std::size_t bad = FirstNonUtf8(text_.substr(0, offset + 4)); bad <= offset) {
    offset = bad;
    return add("the text holds bytes that are not UTF-8; save the file as UTF-8");
  }
  if (text_.find_first_not_of(" \t\n\r") == std::string_view::npos) {
    return add("the file is empty; a configuration is at least {}");
  }
  std::size_t before = offset;
  while (before > 0 && IsJsonSpace(text_[before - 1])) --before;
  const bool closes = offset < text_.size() && (text_[offset] == '}' || text_[offset] == ']');
  if (closes && before > 0 && text_[before - 1] == ',') {
    const char closer = text_[offset];
    offset = before - 1;
    return add(fmt::format("syntax error at a comma before '{}'; remove the comma", closer));
  }
  if (const std::optional<std::size_t> end = MissingCommaAt(text_, detail, offset)) {
    // Where the comma goes: just after the value before the next one.
    offset = *end;
    return add(
        fmt::format("syntax error: missing comma; put a comma here, after the value, to "
                    "separate it from the next {}",
                    detail.expected == "']'" ? "element" : "member"));
  }
  std::string what = detail.what;
  if (what.rfind("unexpected ", 0) == 0) {
    what.erase(0, 11);
    what = "syntax error at " + (what == "end of input" ? "the end of the text" : what);
  } else if (what == "invalid literal") {
    what =
        "syntax error at a value that is not JSON: texts need double quotes, and true, false "
        "and null are written in lower case";
  } else {
    what = "syntax error: " + what;
  }
  if (!detail.expected.empty()) what += "; expected " + detail.expected;
  add(std::move(what));
}

// A number beyond a double's range fails the parse without a position; the
// message quotes the number, which the text shows.
void Checker::ReportNumberOverflow(const Json::out_of_range& e) {
  const std::string_view message = e.what();
  constexpr std::string_view kLead = "number overflow parsing '";
  const std::size_t lead = message.find(kLead);
  std::string_view number;
  if (lead != std::string_view::npos) {
    number = message.substr(lead + kLead.size());
    number = number.substr(0, number.find('\''));
  }
  const std::size_t at = number.empty() ? std::string_view::npos : text_.find(number);
  AddAt(Severity::kError, at == std::string_view::npos ? 0 : at, {},
        fmt::format("the number {} is too large to read; write a smaller one", number),
        Consequence::kRejectsFile);
}

void Checker::CheckTrailingText() {
  std::size_t pos = index_->value_end();
  while (pos < text_.size() && IsJsonSpace(text_[pos])) ++pos;
  if (pos < text_.size()) {
    AddAt(Severity::kWarning, pos, {}, "text after the end of the document",
          Consequence::kNeverRead);
  }
}

// One finding at each later copy, none for the keys inside it: they belong
// to the copy the plug-in reads or to one it never sees.
void Checker::CheckRepeats() {
  for (const RepeatedMember& repeat : index_->repeats()) {
    const int first_line = lines_.PlaceAt(repeat.first_key_offset).first;
    const std::size_t last = index_->Find(repeat.path)->key_offset;
    const std::string used = last == repeat.key_offset
                                 ? std::string("this copy")
                                 : fmt::format("the copy on line {}", lines_.PlaceAt(last).first);
    const std::string what =
        repeat.path.size() == 2
            ? fmt::format(
                  "the entry is given again here (first on line {}); the plug-in uses {} "
                  "whole, not a merge of the copies",
                  first_line, used)
            : fmt::format("\"{}\" is given again here (first on line {}); the plug-in reads {}",
                          repeat.path.back(), first_line, used);
    AddAt(Severity::kWarning, repeat.key_offset, repeat.path, what, Consequence::kOnlyLastRead);
  }
}

void Checker::CheckTopLevelNames(const Json& document) {
  for (const auto& [name, value] : document.items()) {
    if (name == config::kSchemaKey ||
        std::find(kTables.begin(), kTables.end(), name) != kTables.end())
      continue;
    std::string what = fmt::format("unknown member \"{}\"", name);
    Consequence consequence = Consequence::kNeverRead;
    // A close spelling of a table that is present is someone's leftover.
    if (const auto table = Closest(name, kTables);
        table && !document.contains(std::string(*table))) {
      what += fmt::format(" (did you mean \"{}\"?)", *table);
      consequence = Consequence::kTableHasNoEntries;
    }
    AddAt(Severity::kWarning, KeyOffset({name}), {}, std::move(what), consequence);
  }
}

void Checker::CheckTable(const std::string& table, const Json& value) {
  if (value.is_null() || (value.is_array() && value.empty())) return;
  if (!value.is_object()) {
    Add(Severity::kError, {table},
        fmt::format("the table is {}, not an object", TypeWithArticle(value)),
        Consequence::kRejectsFile);
    return;
  }
  // Letter case is compared in text order, so the later spelling is flagged.
  std::vector<std::pair<std::size_t, const std::string*>> names;
  for (auto it = value.begin(); it != value.end(); ++it) {
    const Member* member = index_->Find({table, it.key()});
    names.emplace_back(member ? member->order : 0, &it.key());
    CheckEntry(table, it.key(), it.value());
  }
  std::sort(names.begin(), names.end());
  std::map<std::string, const std::string*> by_folded;
  for (const auto& [order, name] : names) {
    const auto [it, fresh] = by_folded.emplace(Folded(*name), name);
    if (!fresh) {
      AddAt(Severity::kWarning, KeyOffset({table, *name}), {table, *name},
            fmt::format("entry name differs from \"{}\" only in letter case", *it->second),
            Consequence::kSeparateEntries);
    }
  }
}

std::string_view ConsequenceText(Consequence consequence) {
  switch (consequence) {
    case Consequence::kCheckerFailed:
      break;
    case Consequence::kRejectsFile:
      return "the plug-in rejects the file: at load it stays inactive and registers no command, "
             "not even the reload, so fix the file and restart the server; a reload keeps the "
             "previous file";
    case Consequence::kNeverSpawns:
      return "the entry fails each time it falls due and never spawns";
    case Consequence::kNeverFires:
      return "it never equals the server's hour:minute, so the entry never spawns";
    case Consequence::kAlwaysCapped:
      return "no count of creatures is below it, so the entry never spawns";
    case Consequence::kClassNeverLoads:
      return "they reach the class loader as \"?\", so the class does not load and the entry "
             "never spawns";
    case Consequence::kNameNeverLoads:
      return "the game's class loader takes no name of that form, so the class never loads and "
             "the entry never spawns";
    case Consequence::kNeverCapped:
      return "the class loader also takes a plain object path, so the entry spawns whenever the "
             "path names a creature class, but the name never matches a creature for the "
             "population cap: the entry is never capped";
    case Consequence::kSpawnsAtOrigin:
      return "the creature spawns at the world origin (0, 0, 0)";
    case Consequence::kReadAsWholeNumber:
      return "the plug-in goes on with that whole number";
    case Consequence::kNeverRead:
      return "it is never read";
    case Consequence::kTableHasNoEntries:
      return "it is never read, and that table has no entries";
    case Consequence::kOnlyLastRead:
      return "only the last one is read";
    case Consequence::kSeparateEntries:
      return "the two are separate entries with their own schedule and cap";
    case Consequence::kFallsDueOneLater:
      return "a countdown entry falls due every \"SpawnInterval\" + 1 minutes, and every minute "
             "at 0 or below";
    case Consequence::kHeightIsFixed:
      return "X and Y move 18888 to 51655 units to a random side each, and the height is always "
             "38000 whatever \"Position\" says";
    case Consequence::kGameChoosesLevel:
      return "the creature keeps the level the game gives it";
    case Consequence::kOnceOnOtherDays:
      return "on all other days that time comes once";
  }
  return "";
}

std::vector<ConfigFinding> CheckConfigText(std::string_view text, CheckNotes notes,
                                           const ZoneChanges& zone) noexcept {
  try {
    return Checker(text, notes, zone).Run();
  } catch (const std::exception& e) {
    // Only resource exhaustion gets here; say so rather than stay silent,
    // and lose only the report should even that fail.
    try {
      ConfigFinding failure;
      failure.what = fmt::format("the checker could not finish: {}", e.what());
      return {std::move(failure)};
    } catch (...) {
    }
  } catch (...) {
  }
  return {};
}

std::string_view SeverityName(ConfigFinding::Severity severity) {
  switch (severity) {
    case ConfigFinding::Severity::kError:
      return "error";
    case ConfigFinding::Severity::kWarning:
      return "warning";
    case ConfigFinding::Severity::kNote:
      break;
  }
  return "note";
}

std::string FormatFinding(const ConfigFinding& finding, std::string_view file) {
  std::string line = fmt::format("{}:{}:{}: {}: ", file, finding.line, finding.column,
                                 SeverityName(finding.severity));
  if (!finding.entry.empty()) {
    line += fmt::format("{}[\"{}\"]: ", finding.table, finding.entry);
  } else if (!finding.table.empty()) {
    line += finding.table + ": ";
  }
  line += finding.what;
  if (const std::string_view consequence = ConsequenceText(finding.consequence);
      !consequence.empty()) {
    line += fmt::format("; {}", consequence);
  }
  return line;
}

}  // namespace drovekeeper::check
