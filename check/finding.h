// The checker's findings and what it is asked to look at: shared by the
// checker's interface (check/check.h) and its rules (check/checker.h), so
// that neither includes the other. Callers include check/check.h.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace drovekeeper::check {

// What the plug-in does with the file or the entry because of a finding.
enum class Consequence {
  kCheckerFailed,  // the checker itself could not finish
  kRejectsFile,
  kNeverSpawns,        // the entry fails each time it falls due
  kNeverFires,         // a clock text that never matches
  kAlwaysCapped,       // the cap never lets a creature through
  kClassNeverLoads,    // the class loader is given "?" for high bytes
  kNameNeverLoads,     // the class loader takes no name of that form
  kNeverCapped,        // the name matches no creature for the cap
  kSpawnsAtOrigin,     // fewer than three position numbers
  kReadAsWholeNumber,  // a fraction, boolean or wide integer, converted
  kNeverRead,          // unknown keys and members, text after the document
  kTableHasNoEntries,  // a misspelt table stands in for a missing one
  kOnlyLastRead,       // repeated keys
  kSeparateEntries,    // names differing only in letter case
  kFallsDueOneLater,   // note: "SpawnInterval" N falls due every N + 1 minutes
  kHeightIsFixed,      // note: random positions have the height 38000
  kGameChoosesLevel,   // note: "Maxlevel" unused while "levelFixed" is false
  kOnceOnOtherDays,    // note: a clock change skips or repeats a clock text
};
inline constexpr int kConsequenceCount = static_cast<int>(Consequence::kOnceOnOtherDays) + 1;

// The text the checker and the plug-in's log give for `consequence`.
std::string_view ConsequenceText(Consequence consequence);

struct ConfigFinding {
  enum class Severity { kError, kWarning, kNote };
  Severity severity = Severity::kError;
  int line = 1;       // 1-based
  int column = 1;     // 1-based, counted in bytes
  std::string table;  // "SpawnDino", "SpawnDinoX" or empty for the document
  std::string entry;  // entry name, empty for the table or document
  std::string key;    // key within the entry, empty when none applies
  std::string what;
  Consequence consequence = Consequence::kCheckerFailed;
};

// Notes describe rules that work as written; they belong in the checker's
// report, not in the server's log, so they are only returned when asked for:
// each naming the first few entries it concerns and a count of the rest, or
// every one of them.
enum class CheckNotes { kOmit, kInclude, kIncludeAll };

// One change of a zone's offset from UTC: the local wall-clock time at the
// instant of the change, as seconds since 1970-01-01 00:00 of the local
// calendar, read with the offset before it and with the offset after it.
// Forward when `after` is the later: the times between are skipped that day;
// back when it is the earlier: the times between come twice.
struct ZoneOffsetChange {
  std::int64_t before = 0;
  std::int64_t after = 0;
};

// The changes of one zone over the span the checker looks at.
struct ZoneChanges {
  std::string zone;  // as the user named it: "Europe/Berlin"
  std::vector<ZoneOffsetChange> changes;
};

// "error", "warning" or "note".
std::string_view SeverityName(ConfigFinding::Severity severity);

}  // namespace drovekeeper::check
