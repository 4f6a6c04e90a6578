// The timeline section: a row per entry with a mark per turn that fell due,
// or, where marks would run together, bars of turns per time bin split by
// outcome; reloads, configuration changes and clock changes across all rows.
#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <iterator>

#include "standin/report/render.h"

namespace standin::report::render {

namespace {

constexpr double kRowHeight = 22.0;
constexpr double kAxisHeight = 34.0;
// Marks (up to 10 px wide) closer than this run together; such a row is
// drawn in bins of at least kBinPixels.
constexpr double kClosestMarks = 9.0;
constexpr double kBinPixels = 9.0;
constexpr double kBarHeight = 17.0;

constexpr std::array kOutcomes = {Outcome::kSpawned, Outcome::kHeldByCap, Outcome::kClassUnknown,
                                  Outcome::kSpawnRefused, Outcome::kFailed};
// By enumerator value; a spawn takes its entry's colour.
constexpr std::array<std::string_view, kOutcomes.size()> kOutcomeColours = {"", "#aaa", "#f0a000",
                                                                            "#7b3fa0", "#d00"};
static_assert(static_cast<std::size_t>(Outcome::kFailed) == kOutcomes.size() - 1);

std::string OutcomeColour(Outcome outcome, const std::string& entry_colour) {
  return outcome == Outcome::kSpawned
             ? entry_colour
             : std::string(kOutcomeColours[static_cast<std::size_t>(outcome)]);
}

std::string DurationText(std::int64_t seconds) {
  if (seconds % 86400 == 0) return fmt::format("{} d", seconds / 86400);
  if (seconds % 3600 == 0) return fmt::format("{} h", seconds / 3600);
  return fmt::format("{} min", seconds / 60);
}

// The smallest round bin at least kBinPixels wide.
std::int64_t BinSeconds(const TimeScale& scale) {
  const double least =
      static_cast<double>(scale.end() - scale.start()) * kBinPixels / TimeScale::kWidth;
  for (std::int64_t bin : {60, 120, 300, 600, 900, 1800, 3600, 7200, 10800, 21600, 43200, 86400}) {
    if (static_cast<double>(bin) >= least) return bin;
  }
  return (static_cast<std::int64_t>(least) / 86400 + 1) * 86400;
}

bool Dense(const EntryRecord& entry, const TimeScale& scale) {
  for (std::size_t i = 1; i < entry.outcomes.size(); ++i) {
    if (scale.X(entry.outcomes[i].time) - scale.X(entry.outcomes[i - 1].time) < kClosestMarks) {
      return true;
    }
  }
  return false;
}

void WriteMark(std::ostream& out, double x, double y, const TimedOutcome& outcome,
               const std::string& colour, const std::string& tip) {
  out << "<g class=\"mark " << (outcome.outcome == Outcome::kSpawned ? "spawned" : "missed")
      << "\" data-outcome=\"" << OutcomeName(outcome.outcome) << "\" data-tip=\""
      << TipAttribute(tip) << "\">";
  const std::string cx = Num(x);
  const std::string cy = Num(y);
  const std::string fill = OutcomeColour(outcome.outcome, colour);
  switch (outcome.outcome) {
    case Outcome::kSpawned:
      out << "<circle cx=\"" << cx << "\" cy=\"" << cy << "\" r=\"4\" fill=\"" << fill << "\"/>";
      break;
    case Outcome::kHeldByCap:
      out << "<rect x=\"" << Num(x - 3.5) << "\" y=\"" << Num(y - 3.5)
          << "\" width=\"7\" height=\"7\" fill=\"" << fill << "\" stroke=\"#666\"/>";
      break;
    case Outcome::kClassUnknown:
      out << "<path d=\"M" << cx << ' ' << Num(y - 5) << "L" << Num(x + 5) << ' ' << Num(y + 4)
          << "L" << Num(x - 5) << ' ' << Num(y + 4) << "Z\" fill=\"" << fill
          << "\" stroke=\"#805000\"/>";
      break;
    case Outcome::kSpawnRefused:
      out << "<path d=\"M" << Num(x - 4) << ' ' << Num(y - 4) << "L" << Num(x + 4) << ' '
          << Num(y + 4) << "M" << Num(x + 4) << ' ' << Num(y - 4) << "L" << Num(x - 4) << ' '
          << Num(y + 4) << "\" stroke=\"" << fill << "\" stroke-width=\"2.5\"/>";
      break;
    case Outcome::kFailed:
      out << "<path d=\"M" << cx << ' ' << Num(y - 5) << "L" << Num(x + 5) << ' ' << cy << "L" << cx
          << ' ' << Num(y + 5) << "L" << Num(x - 5) << ' ' << cy << "Z\" fill=\"" << fill
          << "\" stroke=\"#600\"/>";
      break;
  }
  out << "</g>";
}

// One bar per bin holding turns, its height the bin's share of the row's
// fullest bin, stacked by outcome.
void WriteBins(const EntryRecord& entry, const EntryStyle& style, const TimeScale& scale,
               std::int64_t bin, double y, std::ostream& out) {
  std::map<std::int64_t, std::array<int, kOutcomes.size()>> bins;
  for (const TimedOutcome& outcome : entry.outcomes) {
    auto& counts = bins[(outcome.time - scale.start()) / bin];
    ++counts[static_cast<std::size_t>(outcome.outcome)];
  }
  int fullest = 1;
  for (const auto& [index, counts] : bins) {
    int total = 0;
    for (int n : counts) total += n;
    fullest = std::max(fullest, total);
  }
  const double bottom = y + kBarHeight / 2;
  for (const auto& [index, counts] : bins) {
    const std::int64_t from = scale.start() + index * bin;
    const std::int64_t to = std::min(from + bin, scale.end());
    const double left = scale.X(from) + 0.5;
    const double width = std::max(1.0, scale.X(to) - scale.X(from) - 1.0);
    int total = 0;
    std::string parts;
    for (std::size_t i = 0; i < kOutcomes.size(); ++i) {
      if (counts[i] == 0) continue;
      total += counts[i];
      parts += fmt::format("\n{} {}", counts[i], OutcomeName(kOutcomes[i]));
    }
    const std::string tip = fmt::format("{}\n{} to {}\n{} fell due:{}", style.label,
                                        LocalTimeText(from), LocalTimeText(to), total, parts);
    out << "<g class=\"bin\" data-count=\"" << total << "\" data-tip=\"" << TipAttribute(tip)
        << "\">";
    double top = bottom;
    for (std::size_t i = 0; i < kOutcomes.size(); ++i) {
      if (counts[i] == 0) continue;
      const double height = std::max(1.5, kBarHeight * counts[i] / fullest);
      top -= height;
      out << "<rect x=\"" << Num(left) << "\" y=\"" << Num(top) << "\" width=\"" << Num(width)
          << "\" height=\"" << Num(height) << "\" fill=\""
          << OutcomeColour(kOutcomes[i], style.colour) << "\"/>";
    }
    out << "</g>";
  }
}

// One entry's row: its colour and label, then a mark per turn, or bars when
// the turns are too dense for marks. True when it shows bars.
bool WriteRow(const EntryRecord& entry, const EntryStyle& style, const TimeScale& scale,
              std::int64_t bin, double y, std::ostream& out) {
  const bool dense = style.other || Dense(entry, scale);
  out << "<g class=\"row" << (style.other ? " other" : "") << (dense ? " binned" : "")
      << "\" data-table=\"" << style.table << "\" data-entry=\"" << EscapeHtml(style.entry)
      << "\"><circle cx=\"9\" cy=\"" << Num(y) << "\" r=\"5\" fill=\"" << style.colour
      << "\"/><text x=\"20\" y=\"" << Num(y + 4) << "\"><title>" << EscapeHtml(style.label)
      << "</title>" << EscapeHtml(style.short_label) << "</text><line x1=\""
      << Num(TimeScale::kLeft) << "\" y1=\"" << Num(y) << "\" x2=\""
      << Num(TimeScale::kLeft + TimeScale::kWidth) << "\" y2=\"" << Num(y) << "\"/>";
  if (dense) {
    WriteBins(entry, style, scale, bin, y, out);
  } else {
    for (const TimedOutcome& outcome : entry.outcomes) {
      std::string tip = fmt::format("{}\n{}\n{}", style.label, LocalTimeText(outcome.time),
                                    OutcomeName(outcome.outcome));
      if (!outcome.message.empty()) tip += ": " + outcome.message;
      WriteMark(out, scale.X(outcome.time), y, outcome, style.colour, tip);
    }
  }
  out << "</g>\n";
  return dense;
}

// The key below the chart: what each mark means, and the bars and dashed
// lines when there are any.
void WriteKey(bool any_binned, std::int64_t bin, bool any_changes, bool any_clock_changes,
              std::ostream& out) {
  out << "<p class=\"key\">Marks: circle spawned, grey square held by its cap, "
         "orange triangle class unknown, purple cross spawn refused, red diamond failed.";
  if (any_binned) {
    out << " Rows too dense for single marks show bars: turns per " << DurationText(bin)
        << ", stacked by outcome in the same colours, the tallest bar the row's busiest.";
  }
  if (any_changes) {
    out << " Dashed lines: reloads and configuration changes, blue taken, red refused.";
  }
  if (any_clock_changes) {
    out << " Dotted green lines: the local clock going forward (arrow right) or back (arrow "
           "left); the clock entries it skips or repeats are listed below.";
  }
  out << "</p>";
}

}  // namespace

void WriteTimeline(const ReportInput& input, const Styles& styles, std::ostream& out) {
  const TimeScale scale(input.start, input.end);
  const std::int64_t bin = BinSeconds(scale);
  // The entries drawn on their own, then one row for all the others.
  std::vector<const EntryRecord*> rows;
  EntryRecord others;
  for (const EntryRecord& entry : input.entries) {
    if (!styles.Of(entry.table, entry.name).other) {
      rows.push_back(&entry);
    } else {
      others.outcomes.insert(others.outcomes.end(), entry.outcomes.begin(), entry.outcomes.end());
    }
  }
  if (styles.other() != nullptr) rows.push_back(&others);
  const double rows_bottom = kAxisHeight + kRowHeight * static_cast<double>(rows.size());
  const double height = rows_bottom + 6;
  out << "<section id=\"timeline\"><h2>Timeline</h2>\n<svg id=\"timeline-svg\" width=\""
      << Num(TimeScale::kSvgWidth) << "\" height=\"" << Num(height) << "\" viewBox=\"0 0 "
      << Num(TimeScale::kSvgWidth) << ' ' << Num(height) << "\">\n";
  scale.WriteGrid(kAxisHeight - 8, rows_bottom, kAxisHeight - 14, out);
  out << "<text class=\"axis-title\" x=\"4\" y=\"" << Num(kAxisHeight - 14)
      << "\" font-size=\"10\" fill=\"#666\">local time (" << EscapeHtml(input.time_zone)
      << ")</text>\n";

  bool any_binned = false;
  double y = kAxisHeight + kRowHeight / 2;
  for (const EntryRecord* entry : rows) {
    const EntryStyle& style =
        entry == &others ? *styles.other() : styles.Of(entry->table, entry->name);
    const bool dense = WriteRow(*entry, style, scale, bin, y, out);
    any_binned = any_binned || dense;
    y += kRowHeight;
  }
  scale.WriteChanges(input.config_changes, kAxisHeight - 2, rows_bottom, out);
  scale.WriteClockChanges(input.clock_changes, kAxisHeight - 2, rows_bottom, out);
  out << "</svg>\n";
  WriteKey(any_binned, bin, !input.config_changes.empty(), !input.clock_changes.empty(), out);
  out << "</section>\n";
}

}  // namespace standin::report::render
