// Pieces of the preview page shared by its sections (map, timeline,
// population charts, entry table): text helpers, the colour and label of each
// entry, and the time scale. Internal to standin_report; the page itself is
// written by WriteReport() in report.h.
#pragma once

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "standin/report/report.h"

namespace standin::report::render {

// "YYYY-MM-DD HH:MM:SS" in the process's local time zone.
std::string LocalTimeText(std::int64_t seconds);
// The same with the zone's abbreviation, which tells the two readings of a
// repeated hour apart: "2024-10-27 02:30:00 CET".
std::string LocalTimeZoneText(std::int64_t seconds);
// A local time with a strftime format.
std::string LocalTimeText(std::int64_t seconds, const char* format);
// Compact numbers for SVG attributes; never locale-dependent.
std::string Num(double value);
// A tooltip's text for a quoted attribute, its line breaks kept.
std::string TipAttribute(std::string_view text);

// The informative end of a blueprint path: "Blueprint'/Game/A/Rex.Rex'"
// reads as "Rex.Rex".
std::string ShortClassName(const std::string& path);

// How one entry (or one class's unattributed spawns) is drawn everywhere on
// the page. The two tables' entries of one class are two styles.
struct EntryStyle {
  std::string colour;
  std::string label;  // the table, the "Name" where set, the entry
  // Fits a label column and still tells the entry from every other: its
  // "Name" first where it has one, then as much of the path's end as that
  // takes.
  std::string short_label;
  std::string table;  // "SpawnDino"/"SpawnDinoX"; empty when unattributed
  std::string entry;  // the entry's name, or the class path when unattributed
  // One style for every entry beyond the few drawn on their own.
  bool other = false;
};

class Styles {
 public:
  // Beyond this many entries, the entries that spawned at every turn share
  // one "other entries" style, row and map points, but for the busiest of
  // them; clock entries and entries with a turn that did not spawn always
  // have their own.
  static constexpr std::size_t kMostDrawn = 40;

  explicit Styles(const ReportInput& input);

  const EntryStyle& Of(Table table, const std::string& entry) const;
  const EntryStyle& Of(const SpawnPoint& spawn) const;
  // In the order first met: the entries, then unattributed classes.
  const std::vector<const EntryStyle*>& order() const { return order_; }
  // The shared style, or null when every entry has its own.
  const EntryStyle* other() const { return other_.empty() ? nullptr : &other_.front(); }

 private:
  // The table (0, 1), or 2 for a class's unattributed spawns.
  using Key = std::pair<int, std::string>;
  static Key KeyOf(const SpawnPoint& spawn);
  // `path_end`: the end of the path that tells it from every other.
  void Add(const Key& key, const EntryRecord* record, const std::string& path_end);

  std::map<Key, EntryStyle> styles_;
  std::map<Key, const EntryStyle*> grouped_;  // entries drawn as "other entries"
  std::vector<EntryStyle> other_;             // at most one, so its address holds
  std::vector<const EntryStyle*> order_;
};

// A text box that hides the elements matching the CSS selector `rows` whose
// text does not hold what is typed; the page's script does the hiding.
void WriteFilter(std::string_view rows, std::string_view what, std::ostream& out);

// The legend's list, with its filter: one swatch and label per style.
void WriteLegend(const Styles& styles, std::string_view id, std::ostream& out);

// A horizontal time scale in local clock time over [start, end], shared by
// the timeline and the population charts so that they line up.
class TimeScale {
 public:
  // Left of the plot: room for row labels; right: room for a label centred
  // on the plot's last pixel.
  static constexpr double kLeft = 300.0;
  static constexpr double kWidth = 900.0;
  static constexpr double kRight = 48.0;
  static constexpr double kSvgWidth = kLeft + kWidth + kRight;

  TimeScale(std::int64_t start, std::int64_t end);

  double X(std::int64_t time) const;
  std::int64_t start() const { return start_; }
  std::int64_t end() const { return end_; }

  struct Tick {
    std::int64_t time;
    std::string label;
    bool day = false;  // a local midnight
  };
  // Aligned to the local clock: minutes or hours for spans up to a few days,
  // days beyond.
  const std::vector<Tick>& ticks() const { return ticks_; }

  // Grid lines from y_top to y_bottom and the tick labels at label_y.
  void WriteGrid(double y_top, double y_bottom, double label_y, std::ostream& out) const;
  // A mark per reload or configuration change over y_top..y_bottom.
  void WriteChanges(const std::vector<ConfigChange>& changes, double y_top, double y_bottom,
                    std::ostream& out) const;
  // A mark per change of the local clock, its arrow pointing the way the
  // clocks go.
  void WriteClockChanges(const std::vector<ClockChangeMark>& changes, double y_top, double y_bottom,
                         std::ostream& out) const;

 private:
  std::int64_t start_;
  std::int64_t end_;
  std::vector<Tick> ticks_;
};

void WriteMap(const ReportInput& input, const Styles& styles, std::ostream& out);
void WriteTimeline(const ReportInput& input, const Styles& styles, std::ostream& out);
void WritePopulation(const ReportInput& input, const Styles& styles, std::ostream& out);
void WriteTable(const ReportInput& input, const Styles& styles, std::ostream& out);

}  // namespace standin::report::render
