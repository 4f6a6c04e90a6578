// Notes on clock texts that a change of the zone's offset skips or repeats.
// The plug-in compares the local hour and minute of each run, and its runs
// follow the wall clock: a local minute the clocks skip has no run, and one
// they repeat has two.
#include <fmt/format.h>

#include <charconv>
#include <chrono>

#include "check/checker.h"
#include "check/listing.h"

namespace drovekeeper::check {

namespace {

constexpr std::int64_t kDay = 86400;

std::int64_t DayOf(std::int64_t local) { return local / kDay - (local % kDay < 0 ? 1 : 0); }

std::string DateOf(std::int64_t local) {
  const std::chrono::year_month_day date{std::chrono::sys_days{std::chrono::days{DayOf(local)}}};
  return fmt::format("{:04}-{:02}-{:02}", static_cast<int>(date.year()),
                     static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
}

// "HH:MM"; a midnight that ends the span the clocks jump over is the
// day's end, "24:00".
std::string TimeOf(std::int64_t local, bool ends_span) {
  const std::int64_t seconds = local - DayOf(local) * kDay;
  if (seconds == 0 && ends_span) return "24:00";
  return fmt::format("{:02}:{:02}", seconds / 3600, seconds / 60 % 60);
}

}  // namespace

void Checker::NoteClockChanges(const Path& at, std::string_view text) {
  if (notes_ == CheckNotes::kOmit || zone_.changes.empty()) return;
  // A text that can match is plain "H:M".
  int hour = 0;
  int minute = 0;
  const std::size_t colon = text.find(':');
  std::from_chars(text.data(), text.data() + colon, hour);
  std::from_chars(text.data() + colon + 1, text.data() + text.size(), minute);
  const std::int64_t time_of_day = hour * 3600 + minute * 60;
  for (std::size_t i = 0; i < zone_.changes.size(); ++i) {
    const ZoneOffsetChange& change = zone_.changes[i];
    const std::int64_t low = std::min(change.before, change.after);
    const std::int64_t high = std::max(change.before, change.after);
    std::int64_t local = DayOf(low) * kDay + time_of_day;
    if (local < low) local += kDay;
    if (local >= high) continue;
    auto [it, fresh] = clock_groups_.try_emplace({i, local});
    const std::size_t offset = ValueOffset(at);
    if (fresh || offset < it->second.offset) it->second.offset = offset;
    it->second.entries.push_back(at);
  }
}

void Checker::AddClockChangeNotes() {
  for (auto& [key, group] : clock_groups_) {
    const auto [index, local] = key;
    const ZoneOffsetChange& change = zone_.changes[index];
    const bool forward = change.after > change.before;
    std::string what =
        fmt::format("{} {} on {} in {}: the clocks go {} from {} to {}", TimeOf(local, false),
                    forward ? "does not exist" : "happens twice", DateOf(local), zone_.zone,
                    forward ? "forward" : "back", TimeOf(change.before, !forward),
                    TimeOf(change.after, forward));
    if (group.entries.size() == 1) {
      what +=
          forward ? ", so the entry does not fire that day" : ", so the entry fires twice that day";
      AddAt(Severity::kNote, group.offset, group.entries[0], std::move(what),
            Consequence::kOnceOnOtherDays);
      continue;
    }
    std::vector<std::string> names;
    for (const Path& entry : group.entries) {
      names.push_back(fmt::format("{}[\"{}\"]", entry[0], entry[1]));
    }
    what += fmt::format(", so these entries {} that day: {}",
                        forward ? "do not fire" : "fire twice", ListSome(names, NamesShown()));
    AddAt(Severity::kNote, group.offset, {"", "", group.entries[0].back()}, std::move(what),
          Consequence::kOnceOnOtherDays);
  }
  clock_groups_.clear();
}

}  // namespace drovekeeper::check
