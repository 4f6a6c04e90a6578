// The status command's view of each entry: what its reply says of one entry
// (schedule, next due, counters, cap and wild count now), gathered once per
// call in the order the run walks the tables, and the operator's filter.
// Used by plugin/status.cc alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "plugin/due_times.h"
#include "spawn/outcomes.h"

namespace drovekeeper::plugin {

// Everything the reply says of one entry.
struct EntryStatus {
  std::string_view table;
  const std::string* name = nullptr;
  std::optional<std::string> label;  // its "Name", when a non-empty string
  std::string schedule;
  std::optional<std::int64_t> interval_minutes;
  std::optional<std::string> clock;
  std::optional<std::int32_t> countdown_left;
  NextDue due;
  const spawn::EntryCounters* counters = nullptr;
  std::optional<std::int32_t> cap;  // only where the cap can hold the entry
  std::optional<std::int32_t> wild_now;

  bool HeldNow() const { return cap && wild_now && *wild_now >= *cap; }
  // Entries that need the operator's attention come first in the compact reply.
  int Rank() const {
    if (counters->failed > 0) return 0;
    if (counters->class_unknown > 0) return 1;
    if (counters->spawn_refused > 0) return 2;
    if (HeldNow()) return 3;
    return 4;
  }
};

// What the operator's TEXT keeps: entries whose path or "Name" holds it
// regardless of ASCII case, or every entry of the table it names.
struct Filter {
  std::string text;
  std::string folded;
  std::optional<std::string_view> table;  // the filter names a table

  explicit Filter(std::string filter);
  bool Matches(const EntryStatus& e) const;
};

// The entries the filter keeps, in the order the run walks them, with their
// counters, their labels and, in one walk of the level, their wild counts.
std::vector<EntryStatus> CollectEntries(const Filter& filter, std::int64_t next_run,
                                        std::size_t& total);

}  // namespace drovekeeper::plugin
