// The checker's rules over one parsed configuration text. The document and
// table rules are in check/check.cc, the entry rules in check/check_entry.cc.
// Used by CheckConfigText only.
#pragma once

#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "check/finding.h"
#include "check/json_positions.h"

namespace drovekeeper::check {

using Json = nlohmann::json;
using Severity = ConfigFinding::Severity;

class Checker {
 public:
  Checker(std::string_view text, CheckNotes notes, const ZoneChanges& zone);

  std::vector<ConfigFinding> Run();

 private:
  struct Located {
    std::size_t offset;
    ConfigFinding finding;
  };
  // One note for every entry a surprising rule concerns.
  struct NoteGroup {
    std::size_t offset = 0;
    std::string key;
    std::string what;
    std::vector<std::string> mentions;
  };
  // The entries whose clock text one change of the zone skips or repeats.
  struct ClockChangeGroup {
    std::size_t offset = 0;
    std::vector<Path> entries;
  };

  static std::string TypeWithArticle(const Json& value);
  static Path Child(const Path& path, std::string_view key);

  // Document and table rules (check.cc).
  void AddAt(Severity severity, std::size_t offset, const Path& path, std::string what,
             Consequence consequence);
  void Add(Severity severity, const Path& path, std::string what, Consequence consequence);
  std::size_t ValueOffset(Path path) const;
  std::size_t KeyOffset(Path path) const;
  void ReportSyntaxError(const Json::parse_error& e);
  void ReportNumberOverflow(const Json::out_of_range& e);
  void CheckTrailingText();
  void CheckRepeats();
  void CheckTopLevelNames(const Json& document);
  void CheckTable(const std::string& table, const Json& value);
  void Note(Consequence rule, const Path& at, std::string_view what, std::string mention);
  std::vector<ConfigFinding> Sorted();
  // How many entries a note names before it counts the rest.
  std::size_t NamesShown() const;

  // Entry rules (check_entry.cc).
  void CheckEntry(const std::string& table, const std::string& name, const Json& entry);
  void CheckEntryName(const Path& path);
  void CheckUnknownKeys(const Path& path, const Json& entry);
  // "SpawnInterval" of the countdown table.
  void CheckCountdown(const Path& path, const Json& entry);
  void CheckLevel(const Path& path, const Json& entry);
  // The value of `key`, or null after reporting why there is none to read.
  const Json* FindRequired(const Path& path, const Json& entry, std::string_view key);
  const Json* FindRequiredOfType(const Path& path, const Json& entry, std::string_view key,
                                 Json::value_t type);
  std::optional<std::int32_t> CheckWholeNumber(const Path& path, const Json& entry,
                                               std::string_view key);
  void CheckClockText(const Path& path, const Json& entry);
  // True when "Position" has three numbers the plug-in reads.
  bool CheckPosition(const Path& path, const Json& entry);
  // True when the piece for `axis` reads as a number; `at` is the "Position".
  bool CheckPositionPiece(const Path& at, std::string_view axis, std::string_view text);

  // Clock changes of the zone (clock_changes.cc). `text` is a clock text
  // that can match; `at` is its "SpawnInterval".
  void NoteClockChanges(const Path& at, std::string_view text);
  void AddClockChangeNotes();

  std::string_view text_;
  CheckNotes notes_;
  LineTable lines_;
  std::optional<PositionIndex> index_;
  std::vector<Located> found_;
  std::map<Consequence, NoteGroup> note_groups_;
  const ZoneChanges& zone_;
  // By the change's index and the local minute it concerns.
  std::map<std::pair<std::size_t, std::int64_t>, ClockChangeGroup> clock_groups_;
};

}  // namespace drovekeeper::check
