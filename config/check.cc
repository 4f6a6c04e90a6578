#include "config/check.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <utility>

#include "config/config.h"
#include "config/position_number.h"

namespace {

using Json = nlohmann::json;
using Path = std::vector<std::string>;
using Severity = ConfigFinding::Severity;

constexpr std::string_view kIntervalKey = "SpawnInterval";
constexpr std::string_view kMaximumKey = "Worldmaximum";
constexpr std::string_view kPositionKey = "Position";
constexpr std::string_view kRandomKey = "PositionRangeRandom";
constexpr std::string_view kLevelKey = "Maxlevel";
constexpr std::string_view kFixedKey = "levelFixed";
constexpr std::string_view kNoticeKey = "SpawnNotice";
constexpr std::string_view kNameKey = "Name";
constexpr std::array<std::string_view, 8> kEntryKeys = {kIntervalKey, kMaximumKey, kPositionKey,
                                                        kRandomKey,   kLevelKey,   kFixedKey,
                                                        kNoticeKey,   kNameKey};
constexpr std::array<std::string_view, 2> kTables = {kCountdownTableKey, kClockTableKey};

constexpr std::string_view kBlueprintPrefix = "Blueprint'";

// What happens when a read of this key fails, or a table fails to build.
constexpr std::string_view kRejected =
    "the plug-in rejects the file: at load it stays inactive, a reload keeps the previous file";
constexpr std::string_view kNeverSpawns = "the entry fails each time it falls due and never spawns";
constexpr std::string_view kLevelFails =
    "the creature spawns, but its turn fails before its level and stats are set";
constexpr std::string_view kNoticeFails =
    "the creature spawns, but its turn fails before any notice is sent";
constexpr std::string_view kNameFails =
    "the creature spawns, but the notice fails and no player is told";

std::string_view ReadFailure(std::string_view key) {
  if (key == kIntervalKey) return kRejected;
  if (key == kMaximumKey || key == kPositionKey || key == kRandomKey) return kNeverSpawns;
  if (key == kLevelKey || key == kFixedKey) return kLevelFails;
  if (key == kNoticeKey) return kNoticeFails;
  return kNameFails;
}

constexpr std::int32_t kInt32Max = std::numeric_limits<std::int32_t>::max();

bool IsJsonSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// ---------------------------------------------------------------------------
// Position index: where each object member of the first three levels stands
// in the text. The JSON library keeps no positions, so the text is scanned a
// second time once it is known to parse.

struct Member {
  std::size_t key_offset = 0;
  std::size_t value_offset = 0;
  std::size_t order = 0;  // rank in text order among all indexed members
};

struct RepeatedMember {
  Path path;
  std::size_t key_offset;
};

void AppendUtf8(std::uint32_t code, std::string& out) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// Lines end at '\n' only, as the JSON library counts them.
class LineTable {
 public:
  explicit LineTable(std::string_view text) : size_(text.size()) {
    starts_.push_back(0);
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\n') starts_.push_back(i + 1);
    }
  }

  // 1-based line and byte column of `offset`, which may be the text's end.
  std::pair<int, int> PlaceAt(std::size_t offset) const {
    offset = std::min(offset, size_);
    const auto next = std::upper_bound(starts_.begin(), starts_.end(), offset);
    const std::size_t line = static_cast<std::size_t>(next - starts_.begin());
    return {static_cast<int>(line), static_cast<int>(offset - starts_[line - 1] + 1)};
  }

 private:
  std::size_t size_;
  std::vector<std::size_t> starts_;
};

class PositionIndex {
 public:
  static constexpr std::size_t kMaxDepth = 3;  // table, entry, key

  explicit PositionIndex(std::string_view text) : text_(text) { Scan(); }

  const Member* Find(const Path& path) const {
    std::size_t node = kRoot;
    for (const std::string& key : path) {
      const auto it = children_.find(ChildLookup{node, key});
      if (it == children_.end()) return nullptr;
      node = it->second;
    }
    return node == kRoot ? nullptr : &nodes_[node].member;
  }

  std::size_t value_start() const { return value_start_; }
  std::size_t value_end() const { return value_end_; }
  const std::vector<RepeatedMember>& repeats() const { return repeats_; }

 private:
  static constexpr std::size_t kRoot = 0;
  static constexpr std::size_t kUnindexed = std::numeric_limits<std::size_t>::max();

  // Members are a tree of nodes; each is found by its parent and its key.
  struct Node {
    std::size_t parent;
    const std::string* key;
    std::size_t depth;
    Member member;
  };
  struct ChildKey {
    std::size_t parent;
    std::string key;
  };
  struct ChildLookup {
    std::size_t parent;
    std::string_view key;
  };
  struct ChildLess {
    using is_transparent = void;
    template <typename A, typename B>
    bool operator()(const A& a, const B& b) const {
      return a.parent != b.parent ? a.parent < b.parent
                                  : std::string_view(a.key) < std::string_view(b.key);
    }
  };

  struct Frame {
    bool is_object;
    std::size_t node;  // kUnindexed below arrays and past the depth kept
    bool expect_key;
    bool has_key = false;
    std::string key;
    std::size_t key_offset = 0;
  };

  bool KeepsMembers(const Frame& frame) const {
    return frame.node != kUnindexed && nodes_[frame.node].depth < kMaxDepth;
  }

  // Iterative so that deep nesting cannot exhaust the stack.
  void Scan() {
    std::size_t pos = 0;
    if (text_.substr(0, 3) == "\xEF\xBB\xBF") pos = 3;
    nodes_.push_back(Node{kRoot, nullptr, 0, {}});
    std::vector<Frame> stack;
    bool started = false;
    while (pos < text_.size()) {
      const char c = text_[pos];
      if (IsJsonSpace(c) || c == ':') {
        ++pos;
        continue;
      }
      if (c == ',') {
        if (!stack.empty() && stack.back().is_object) stack.back().expect_key = true;
        ++pos;
        continue;
      }
      if (c == '}' || c == ']') {
        ++pos;
        if (!stack.empty()) stack.pop_back();
        if (stack.empty()) break;
        continue;
      }
      if (c == '"' && !stack.empty() && stack.back().is_object && stack.back().expect_key) {
        Frame& frame = stack.back();
        frame.key_offset = pos;
        ReadString(pos, KeepsMembers(frame) ? &frame.key : nullptr);
        frame.expect_key = false;
        frame.has_key = true;
        continue;
      }
      // Anything else begins a value.
      if (!started) {
        started = true;
        value_start_ = pos;
      }
      std::size_t node = stack.empty() ? kRoot : kUnindexed;
      if (!stack.empty() && stack.back().is_object && stack.back().has_key) {
        Frame& parent = stack.back();
        parent.has_key = false;
        if (KeepsMembers(parent)) {
          node = Record(parent.node, std::move(parent.key), parent.key_offset, pos);
        }
      }
      if (c == '{' || c == '[') {
        stack.push_back(Frame{c == '{', c == '{' ? node : kUnindexed, c == '{', false, {}, 0});
        ++pos;
        continue;
      }
      if (c == '"') {
        ReadString(pos, nullptr);
      } else {
        SkipLiteral(pos);
      }
      if (stack.empty()) break;
    }
    value_end_ = pos;
  }

  std::size_t Record(std::size_t parent, std::string key, std::size_t key_offset,
                     std::size_t value_offset) {
    const Member member{key_offset, value_offset, nodes_.size()};
    auto [it, fresh] = children_.try_emplace(ChildKey{parent, std::move(key)}, nodes_.size());
    if (fresh) {
      nodes_.push_back(Node{parent, &it->first.key, nodes_[parent].depth + 1, member});
      return it->second;
    }
    // The library keeps the last of repeated keys, and so does the index.
    nodes_[it->second].member = member;
    repeats_.push_back({PathOf(it->second), key_offset});
    return it->second;
  }

  Path PathOf(std::size_t node) const {
    Path path;
    for (; node != kRoot; node = nodes_[node].parent) path.push_back(*nodes_[node].key);
    std::reverse(path.begin(), path.end());
    return path;
  }

  unsigned HexDigit(std::size_t at) const {
    if (at >= text_.size()) return 16;
    const char c = text_[at];
    if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') return static_cast<unsigned>(c - 'A' + 10);
    return 16;
  }

  // Reads a \uXXXX escape at `pos` (pointing at the backslash); -1 if none.
  long ReadUnicodeEscape(std::size_t pos) const {
    if (pos + 1 >= text_.size() || text_[pos] != '\\' || text_[pos + 1] != 'u') return -1;
    long code = 0;
    for (std::size_t i = 0; i < 4; ++i) {
      const unsigned digit = HexDigit(pos + 2 + i);
      if (digit > 15) return -1;
      code = code * 16 + digit;
    }
    return code;
  }

  // Decodes the string starting at the quote at `pos` into `into`, unless
  // null; leaves `pos` after it.
  void ReadString(std::size_t& pos, std::string* into) {
    std::string ignored;
    std::string& out = into ? *into : ignored;
    out.clear();
    ++pos;
    while (pos < text_.size()) {
      const char c = text_[pos];
      if (c == '"') {
        ++pos;
        return;
      }
      if (c != '\\') {
        out += c;
        ++pos;
        continue;
      }
      if (pos + 1 >= text_.size()) {
        pos = text_.size();
        return;
      }
      const char escaped = text_[pos + 1];
      switch (escaped) {
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 't':
          out += '\t';
          break;
        case 'u': {
          const long unit = ReadUnicodeEscape(pos);
          if (unit < 0) {
            pos += 2;
            continue;
          }
          pos += 6;
          std::uint32_t code = static_cast<std::uint32_t>(unit);
          if (code >= 0xD800 && code <= 0xDBFF) {
            const long low = ReadUnicodeEscape(pos);
            if (low >= 0xDC00 && low <= 0xDFFF) {
              code = 0x10000 + ((code - 0xD800) << 10) + (static_cast<std::uint32_t>(low) - 0xDC00);
              pos += 6;
            }
          }
          AppendUtf8(code, out);
          continue;
        }
        default:
          out += escaped;
          break;
      }
      pos += 2;
    }
  }

  // Numbers and the three literals, as far as the lexer would take them.
  void SkipLiteral(std::size_t& pos) const {
    for (std::string_view word : {"true", "false", "null"}) {
      if (text_.substr(pos, word.size()) == word) {
        pos += word.size();
        return;
      }
    }
    const std::size_t start = pos;
    while (pos < text_.size() &&
           std::string_view("+-.0123456789eE").find(text_[pos]) != std::string_view::npos) {
      ++pos;
    }
    if (pos == start) ++pos;
  }

  std::string_view text_;
  std::vector<Node> nodes_;
  std::map<ChildKey, std::size_t, ChildLess> children_;
  std::vector<RepeatedMember> repeats_;
  std::size_t value_start_ = 0;
  std::size_t value_end_ = 0;
};

// ---------------------------------------------------------------------------
// Text helpers.

char FoldCase(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string Folded(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = FoldCase(c);
  return out;
}

// Edit distance with adjacent transpositions, ignoring letter case; gives up
// (returns limit + 1) when the lengths alone rule a match out.
std::size_t EditDistance(std::string_view a, std::string_view b, std::size_t limit) {
  const std::size_t gap = a.size() > b.size() ? a.size() - b.size() : b.size() - a.size();
  if (gap > limit) return limit + 1;
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t cost = FoldCase(a[i - 1]) == FoldCase(b[j - 1]) ? 0 : 1;
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
      if (i > 1 && j > 1 && FoldCase(a[i - 1]) == FoldCase(b[j - 2]) &&
          FoldCase(a[i - 2]) == FoldCase(b[j - 1])) {
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
      }
    }
  }
  return d[a.size()][b.size()];
}

// The closest of `candidates` to `word`, if close enough to be a likely typo.
template <typename Candidates>
std::optional<std::string_view> Closest(std::string_view word, const Candidates& candidates) {
  std::optional<std::string_view> best;
  std::size_t best_distance = 0;
  for (std::string_view candidate : candidates) {
    const std::size_t limit = candidate.size() >= 6 ? 2 : 1;
    const std::size_t distance = EditDistance(word, candidate, limit);
    if (distance <= limit && (!best || distance < best_distance)) {
      best = candidate;
      best_distance = distance;
    }
  }
  return best;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A position piece read by the spawn code's own conversion.
struct PieceValue {
  enum class Status { kOk, kNoDigits, kOutOfRange } status;
  std::int32_t value = 0;
  bool whole = false;  // nothing but white space, a sign and digits
};

PieceValue ReadPiece(std::string_view piece) {
  // The plug-in widens byte by byte, every byte of 0x80 or above to '?'.
  std::u16string wide;
  for (char c : piece) wide.push_back((c & 0x80) ? u'?' : static_cast<char16_t>(c));
  PieceValue read{PieceValue::Status::kOk};
  try {
    read.value = ParsePositionNumber(wide);
  } catch (const std::invalid_argument&) {
    return {PieceValue::Status::kNoDigits};
  } catch (const std::out_of_range&) {
    return {PieceValue::Status::kOutOfRange};
  }
  std::size_t i = piece.find_first_not_of(" \t\n\v\f\r");
  if (piece[i] == '+' || piece[i] == '-') ++i;
  read.whole = std::all_of(piece.begin() + static_cast<std::ptrdiff_t>(i), piece.end(), IsDigit);
  return read;
}

std::vector<std::string_view> SplitAtSpaces(std::string_view text) {
  std::vector<std::string_view> pieces;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(' ', start);
    if (end == std::string_view::npos) end = text.size();
    if (end > start) pieces.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return pieces;
}

// Why a clock text can never equal the hour-and-minute text it is compared
// with; empty when it can.
std::string ClockTextProblem(std::string_view text, std::string& suggestion) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) return "has no colon between hour and minute";
  std::vector<std::string_view> parts;
  for (std::size_t start = 0;;) {
    const std::size_t end = text.find(':', start);
    parts.push_back(text.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  const auto all_digits = [](std::string_view part) {
    return !part.empty() && part.size() <= 9 && std::all_of(part.begin(), part.end(), IsDigit);
  };
  if (!std::all_of(parts.begin(), parts.end(), all_digits) || parts.size() > 3) {
    return "is not hour:minute in plain decimal";
  }
  const int hour = std::stoi(std::string(parts[0]));
  const int minute = std::stoi(std::string(parts[1]));
  if (hour <= 23 && minute <= 59) suggestion = fmt::format("{}:{}", hour, minute);
  if (parts.size() == 3) return "has seconds";
  if (hour > 23) return "has an hour over 23";
  if (minute > 59) return "has a minute over 59";
  if ((parts[0].size() > 1 && parts[0][0] == '0') || (parts[1].size() > 1 && parts[1][0] == '0')) {
    return "has a leading zero";
  }
  suggestion.clear();
  return "";
}

// ---------------------------------------------------------------------------
// The checker.

class Checker {
 public:
  explicit Checker(std::string_view text) : text_(text), lines_(text) {}

  std::vector<ConfigFinding> Run() {
    Json document;
    try {
      std::istringstream in{std::string(text_)};
      in >> document;
    } catch (const Json::parse_error& e) {
      ReportSyntaxError(e);
      return Sorted();
    }
    index_.emplace(text_);
    CheckTrailingText();
    CheckRepeats();
    if (document.is_null()) return Sorted();
    if (!document.is_object()) {
      AddAt(Severity::kError, index_->value_start(), {},
            fmt::format("the document is {}, not an object", Article(document)), kRejected);
      return Sorted();
    }
    CheckTopLevelNames(document);
    for (std::string_view table : kTables) {
      const auto it = document.find(std::string(table));
      if (it != document.end()) CheckTable(std::string(table), *it);
    }
    return Sorted();
  }

 private:
  struct Located {
    std::size_t offset;
    ConfigFinding finding;
  };

  static std::string Article(const Json& value) {
    const std::string name = value.type_name();
    if (value.is_null()) return "null";
    return (name == "object" || name == "array" ? "an " : "a ") + name;
  }

  void AddAt(Severity severity, std::size_t offset, const Path& path, std::string what,
             std::string_view consequence) {
    const auto [line, column] = lines_.PlaceAt(offset);
    ConfigFinding finding{severity, line, column,          {},
                          {},       {},   std::move(what), std::string(consequence)};
    if (path.size() > 0) finding.table = path[0];
    if (path.size() > 1) finding.entry = path[1];
    if (path.size() > 2) finding.key = path[2];
    found_.push_back({offset, std::move(finding)});
  }

  // At the member's value when it is present, else at the nearest enclosing
  // member that the text shows.
  std::size_t ValueOffset(Path path) const {
    if (const Member* member = index_->Find(path)) return member->value_offset;
    return KeyOffset(std::move(path));
  }

  std::size_t KeyOffset(Path path) const {
    while (!path.empty()) {
      if (const Member* member = index_->Find(path)) return member->key_offset;
      path.pop_back();
    }
    return index_->value_start();
  }

  void Add(Severity severity, const Path& path, std::string what, std::string_view consequence) {
    AddAt(severity, ValueOffset(path), path, std::move(what), consequence);
  }

  std::vector<ConfigFinding> Sorted() {
    std::stable_sort(found_.begin(), found_.end(),
                     [](const Located& a, const Located& b) { return a.offset < b.offset; });
    std::vector<ConfigFinding> out;
    out.reserve(found_.size());
    for (Located& located : found_) out.push_back(std::move(located.finding));
    return out;
  }

  void ReportSyntaxError(const Json::parse_error& e) {
    // The library counts the bytes read up to and including the offending one.
    const std::size_t offset = e.byte > 0 ? e.byte - 1 : 0;
    std::string detail = e.what();
    const std::size_t column_at = detail.find(", column ");
    if (const std::size_t colon = detail.find(": ", column_at == std::string::npos ? 0 : column_at);
        colon != std::string::npos) {
      detail.erase(0, colon + 2);
    }
    if (offset < text_.size() && text_[offset] == '/') {
      AddAt(Severity::kError, offset, {}, "comments are not allowed", kRejected);
    } else {
      AddAt(Severity::kError, offset, {}, "syntax error: " + detail, kRejected);
    }
  }

  void CheckTrailingText() {
    std::size_t pos = index_->value_end();
    while (pos < text_.size() && IsJsonSpace(text_[pos])) ++pos;
    if (pos < text_.size()) {
      AddAt(Severity::kWarning, pos, {}, "text after the end of the document", "it is never read");
    }
  }

  void CheckRepeats() {
    for (const RepeatedMember& repeat : index_->repeats()) {
      AddAt(Severity::kWarning, repeat.key_offset, repeat.path,
            fmt::format("\"{}\" appears more than once here", repeat.path.back()),
            "only the last one is read");
    }
  }

  // Other top-level members are the author's own business, unless one looks
  // like a misspelt table that is missing.
  void CheckTopLevelNames(const Json& document) {
    for (const auto& [name, value] : document.items()) {
      if (std::find(kTables.begin(), kTables.end(), name) != kTables.end()) continue;
      // A close spelling of a table that is present is someone's leftover.
      if (const auto table = Closest(name, kTables);
          table && !document.contains(std::string(*table))) {
        AddAt(Severity::kWarning, KeyOffset({name}), {},
              fmt::format("unknown member \"{}\" (did you mean \"{}\"?)", name, *table),
              "it is never read, and that table has no entries");
      }
    }
  }

  void CheckTable(const std::string& table, const Json& value) {
    if (value.is_null() || (value.is_array() && value.empty())) return;
    if (!value.is_object()) {
      Add(Severity::kError, {table}, fmt::format("the table is {}, not an object", Article(value)),
          kRejected);
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
              "the two are separate entries with their own schedule and cap");
      }
    }
  }

  void CheckEntryName(const Path& path) {
    const std::string& name = path[1];
    const bool blueprint = name.size() > kBlueprintPrefix.size() + 1 &&
                           name.starts_with(kBlueprintPrefix) && name.back() == '\'';
    if (!blueprint) {
      AddAt(Severity::kWarning, KeyOffset(path), path,
            "entry name is not of the form Blueprint'/path/to/Creature.Creature'",
            "it never matches a creature for the population cap, so the population is unlimited");
    }
    if (std::any_of(name.begin(), name.end(), [](char c) { return (c & 0x80) != 0; })) {
      AddAt(Severity::kWarning, KeyOffset(path), path, "entry name holds bytes of 0x80 or above",
            "they reach the class loader as \"?\", so the class is unlikely to load");
    }
  }

  void CheckEntry(const std::string& table, const std::string& name, const Json& entry) {
    const Path path{table, name};
    CheckEntryName(path);
    if (!entry.is_object()) {
      Add(Severity::kError, path, fmt::format("the entry is {}, not an object", Article(entry)),
          kRejected);
      return;
    }
    for (const auto& [key, value] : entry.items()) {
      if (std::find(kEntryKeys.begin(), kEntryKeys.end(), key) != kEntryKeys.end()) continue;
      std::string what = fmt::format("unknown key \"{}\"", key);
      if (const auto likely = Closest(key, kEntryKeys)) {
        what += fmt::format(" (did you mean \"{}\"?)", *likely);
      }
      AddAt(Severity::kWarning, KeyOffset({table, name, key}), {table, name, key}, std::move(what),
            "it is never read");
    }

    if (table == kClockTableKey) {
      CheckClockText(path, entry);
    } else {
      CheckWholeNumber(path, entry, kIntervalKey);
    }
    if (const auto maximum = CheckWholeNumber(path, entry, kMaximumKey); maximum && *maximum <= 0) {
      Add(Severity::kWarning, Child(path, kMaximumKey),
          fmt::format("\"{}\" is {}", kMaximumKey, *maximum), "the entry never spawns");
    }
    CheckPosition(path, entry);
    Typed(path, entry, kRandomKey, Json::value_t::boolean);
    const auto level = CheckWholeNumber(path, entry, kLevelKey);
    const Json* fixed = Typed(path, entry, kFixedKey, Json::value_t::boolean);
    if (level && fixed && fixed->get<bool>() && *level < 1) {
      Add(Severity::kError, Child(path, kLevelKey),
          fmt::format("\"{}\" is {} while \"{}\" is true, but a fixed level starts at 1", kLevelKey,
                      *level, kFixedKey),
          fmt::format("the creature is set to level {} with no level-up points", *level));
    }
    const Json* notice = Typed(path, entry, kNoticeKey, Json::value_t::boolean);
    if (notice && notice->get<bool>()) Typed(path, entry, kNameKey, Json::value_t::string);
  }

  static Path Child(const Path& path, std::string_view key) {
    Path child = path;
    child.emplace_back(key);
    return child;
  }

  // The value of `key` when it is present, else null after reporting it.
  const Json* Present(const Path& path, const Json& entry, std::string_view key) {
    const auto it = entry.find(std::string(key));
    if (it != entry.end()) return &*it;
    AddAt(Severity::kError, KeyOffset(path), Child(path, key),
          fmt::format("\"{}\" is missing", key), ReadFailure(key));
    return nullptr;
  }

  static std::string TypeWanted(Json::value_t type) {
    switch (type) {
      case Json::value_t::boolean:
        return "a boolean (true or false)";
      case Json::value_t::string:
        return "a string";
      default:
        return "a number";
    }
  }

  // The value of `key` when it is present and of `type`, else null after
  // reporting why not.
  const Json* Typed(const Path& path, const Json& entry, std::string_view key, Json::value_t type) {
    const Json* value = Present(path, entry, key);
    if (!value) return nullptr;
    if (value->type() == type) return value;
    Add(Severity::kError, Child(path, key),
        fmt::format("\"{}\" is {}, not {}", key, Article(*value), TypeWanted(type)),
        ReadFailure(key));
    return nullptr;
  }

  // A value read as a 32-bit integer, through the plug-in's own conversion.
  std::optional<std::int32_t> CheckWholeNumber(const Path& path, const Json& entry,
                                               std::string_view key) {
    const Json* value = Present(path, entry, key);
    if (!value) return std::nullopt;
    const Path at = Child(path, key);
    if (!value->is_number() && !value->is_boolean()) {
      Add(Severity::kError, at, fmt::format("\"{}\" is {}, not a number", key, Article(*value)),
          ReadFailure(key));
      return std::nullopt;
    }
    std::int32_t read = 0;
    try {
      read = ToInt32(*value, key);
    } catch (const Json::exception&) {
      Add(Severity::kError, at,
          fmt::format("\"{}\" is {}, outside the 32-bit integer range", key, value->dump()),
          ReadFailure(key));
      return std::nullopt;
    }
    if (value->is_boolean()) {
      Add(Severity::kWarning, at, fmt::format("\"{}\" is a boolean, not a number", key),
          fmt::format("it is read as {}", read));
    } else if (value->is_number_float() && value->get<double>() != static_cast<double>(read)) {
      Add(Severity::kWarning, at, fmt::format("\"{}\" is {}, a fraction", key, value->dump()),
          fmt::format("it is read as {}", read));
    } else if (value->is_number_unsigned()
                   ? value->get<std::uint64_t>() > std::uint64_t{kInt32Max}
                   : value->is_number_integer() && value->get<std::int64_t>() != read) {
      Add(Severity::kWarning, at,
          fmt::format("\"{}\" is {}, outside the 32-bit integer range", key, value->dump()),
          fmt::format("it is read as {}, its low 32 bits", read));
    }
    return read;
  }

  void CheckClockText(const Path& path, const Json& entry) {
    const Json* value = Present(path, entry, kIntervalKey);
    if (!value) return;
    const Path at = Child(path, kIntervalKey);
    if (!value->is_string()) {
      Add(Severity::kError, at,
          fmt::format("\"{}\" is {}, not a clock text such as \"18:30\"", kIntervalKey,
                      Article(*value)),
          kRejected);
      return;
    }
    const std::string& text = value->get_ref<const std::string&>();
    std::string suggestion;
    const std::string problem = ClockTextProblem(text, suggestion);
    if (problem.empty()) return;
    std::string what = fmt::format("clock text \"{}\" {}", text, problem);
    if (!suggestion.empty()) what += fmt::format(" (did you mean \"{}\"?)", suggestion);
    Add(Severity::kWarning, at, std::move(what),
        "it never equals the server's hour:minute, so the entry never spawns");
  }

  void CheckPosition(const Path& path, const Json& entry) {
    const Json* value = Typed(path, entry, kPositionKey, Json::value_t::string);
    if (!value) return;
    const Path at = Child(path, kPositionKey);
    const std::vector<std::string_view> pieces =
        SplitAtSpaces(value->get_ref<const std::string&>());
    if (pieces.size() < 3) {
      Add(Severity::kWarning, at,
          fmt::format("\"{}\" has {} of the three space-separated numbers X Y Z", kPositionKey,
                      pieces.size()),
          "the creature spawns at the world origin (0, 0, 0)");
      return;
    }
    constexpr std::array<std::string_view, 3> kAxes = {"X", "Y", "Z"};
    for (std::size_t i = 0; i < 3; ++i) {
      const PieceValue piece = ReadPiece(pieces[i]);
      switch (piece.status) {
        case PieceValue::Status::kNoDigits:
          Add(Severity::kError, at,
              fmt::format("\"{}\" {} \"{}\" is not a whole number", kPositionKey, kAxes[i],
                          pieces[i]),
              kNeverSpawns);
          break;
        case PieceValue::Status::kOutOfRange:
          Add(Severity::kError, at,
              fmt::format("\"{}\" {} \"{}\" is outside the 32-bit integer range", kPositionKey,
                          kAxes[i], pieces[i]),
              kNeverSpawns);
          break;
        case PieceValue::Status::kOk:
          if (!piece.whole) {
            Add(Severity::kWarning, at,
                fmt::format("\"{}\" {} \"{}\" is not a plain whole number", kPositionKey, kAxes[i],
                            pieces[i]),
                fmt::format("it is read as {}", piece.value));
          }
          break;
      }
    }
  }

  std::string_view text_;
  LineTable lines_;
  std::optional<PositionIndex> index_;
  std::vector<Located> found_;
};

}  // namespace

std::vector<ConfigFinding> CheckConfigText(std::string_view text) {
  try {
    return Checker(text).Run();
  } catch (const std::exception& e) {
    // Only resource exhaustion gets here; say so rather than stay silent.
    return {ConfigFinding{Severity::kError,
                          1,
                          1,
                          {},
                          {},
                          {},
                          fmt::format("the checker could not finish: {}", e.what()),
                          ""}};
  }
}

std::string_view SeverityName(ConfigFinding::Severity severity) {
  return severity == Severity::kError ? "error" : "warning";
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
  if (!finding.consequence.empty()) line += "; " + finding.consequence;
  return line;
}
