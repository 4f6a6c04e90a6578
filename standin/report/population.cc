// The population section: per class, the wild count the game saw before each
// timer run as a step line, each entry's cap of that class as a dashed line
// stepping at reloads, and the entries' spawns on the count line, so that an
// entry held by its cap shows as its count sitting on its cap.
#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <map>
#include <utility>

#include "standin/report/render.h"

namespace standin::report::render {

namespace {

constexpr double kTop = 10.0;
constexpr double kPlotHeight = 80.0;
constexpr double kHeight = kTop + kPlotHeight + 20.0;

// What one chart shows.
struct ClassChart {
  std::string reference;
  const std::vector<PopulationSample>* samples = nullptr;
  std::vector<const EntryCap*> caps;
  std::vector<const SpawnPoint*> spawns;
};

std::vector<ClassChart> ChartsOf(const ReportInput& input) {
  std::vector<ClassChart> charts;
  std::map<std::string, std::size_t> by_reference;
  auto chart_of = [&](const std::string& reference) -> ClassChart& {
    auto [it, added] = by_reference.try_emplace(reference, charts.size());
    if (added) charts.emplace_back().reference = reference;
    return charts[it->second];
  };
  for (const ClassPopulation& population : input.population) {
    chart_of(population.reference).samples = &population.samples;
  }
  // A spawn goes to the first chart holding its entry's cap, or else to the
  // first chart of its class when unattributed.
  std::map<std::pair<Table, std::string>, std::size_t> by_entry;
  for (const EntryCap& cap : input.caps) {
    chart_of(cap.reference).caps.push_back(&cap);
    by_entry.try_emplace({cap.table, cap.entry}, by_reference[cap.reference]);
  }
  std::map<std::string, std::size_t> by_class;
  for (std::size_t i = charts.size(); i-- > 0;) by_class[ClassPathOf(charts[i].reference)] = i;
  for (const SpawnPoint& spawn : input.spawns) {
    if (auto it = by_entry.find({spawn.table, spawn.entry}); it != by_entry.end()) {
      charts[it->second].spawns.push_back(&spawn);
    } else if (auto at = by_class.find(spawn.class_path);
               spawn.entry.empty() && at != by_class.end()) {
      charts[at->second].spawns.push_back(&spawn);
    }
  }
  return charts;
}

// The last sample at or before `time`; 0 before the first.
int CountAt(const ClassChart& chart, std::int64_t time) {
  if (chart.samples == nullptr) return 0;
  auto after = std::upper_bound(
      chart.samples->begin(), chart.samples->end(), time,
      [](std::int64_t t, const PopulationSample& sample) { return t < sample.time; });
  return after == chart.samples->begin() ? 0 : std::prev(after)->count;
}

// The count axis: up to the largest count and the highest cap, so that a
// cap far above the count reads as far above it.
double AxisTop(const ClassChart& chart) {
  int top = 1;
  if (chart.samples != nullptr) {
    for (const PopulationSample& sample : *chart.samples) top = std::max(top, sample.count);
  }
  for (const EntryCap* cap : chart.caps) {
    for (const CapChange& change : cap->caps) top = std::max(top, change.cap);
  }
  return top;
}

// The count axis's y; a little room above the highest line.
struct CountAxis {
  double top;
  double Y(double count) const {
    return kTop + kPlotHeight - std::clamp(count, 0.0, top * 1.08) / (top * 1.08) * kPlotHeight;
  }
};

constexpr double kPlotRight = TimeScale::kLeft + TimeScale::kWidth;

// The class's name, the entries whose caps are drawn, the axis's values and
// the plot's frame.
void WriteKey(const Styles& styles, const ClassChart& chart, const CountAxis& axis,
              std::ostream& out) {
  out << "<text class=\"class-name\" x=\"4\" y=\"" << Num(kTop + 12) << "\"><title>"
      << EscapeHtml(chart.reference) << "</title>" << EscapeHtml(ShortClassName(chart.reference))
      << "</text><text x=\"4\" y=\"" << Num(kTop + 26) << "\">"
      << (chart.caps.empty() ? "wild count; no entry caps it" : "wild count, and the caps of")
      << "</text>";
  double entry_y = kTop + 40;
  for (const EntryCap* cap : chart.caps) {
    const EntryStyle& style = styles.Of(cap->table, cap->entry);
    out << "<text class=\"cap-of\" x=\"10\" y=\"" << Num(entry_y) << "\" fill=\"" << style.colour
        << "\">" << EscapeHtml(style.short_label) << (cap->caps.empty() ? ": cap unreadable" : "")
        << "</text>";
    entry_y += 12;
  }
  std::vector<double> values = {0, axis.top};
  if (axis.top >= 4) values.push_back(std::round(axis.top / 2));
  for (double value : values) {
    out << "<text x=\"" << Num(TimeScale::kLeft - 5) << "\" y=\"" << Num(axis.Y(value) + 3)
        << "\" text-anchor=\"end\">" << value << "</text>";
  }
  out << "<rect x=\"" << Num(TimeScale::kLeft) << "\" y=\"" << Num(kTop) << "\" width=\""
      << Num(TimeScale::kWidth) << "\" height=\"" << Num(kPlotHeight)
      << "\" fill=\"none\" stroke=\"#ccc\"/>\n";
}

// Each entry's cap as a dashed step line, its last value at the right end
// clear of the labels before it.
void WriteCapLines(const Styles& styles, const TimeScale& scale, const ClassChart& chart,
                   const CountAxis& axis, std::ostream& out) {
  std::vector<double> label_ys;
  for (const EntryCap* cap : chart.caps) {
    if (cap->caps.empty()) continue;
    const EntryStyle& style = styles.Of(cap->table, cap->entry);
    std::string path;
    std::string values;
    for (const CapChange& change : cap->caps) {
      const double x = scale.X(std::clamp(change.time, scale.start(), scale.end()));
      path += (path.empty() ? "M" : "H") + Num(x) + (path.empty() ? " " : "V") +
              Num(axis.Y(change.cap));
      values += (values.empty() ? "" : ",") + std::to_string(change.cap);
    }
    path += "H" + Num(kPlotRight);
    out << "<path class=\"cap-line\" data-table=\"" << style.table << "\" data-entry=\""
        << EscapeHtml(style.entry) << "\" data-caps=\"" << values << "\" stroke=\"" << style.colour
        << "\" d=\"" << path << "\" data-tip=\"" << TipAttribute(style.label + "\ncap " + values)
        << "\"/>";
    double label_y = axis.Y(cap->caps.back().cap) + 3;
    while (std::any_of(label_ys.begin(), label_ys.end(),
                       [&](double other) { return std::fabs(other - label_y) < 10; })) {
      label_y += 10;
    }
    label_ys.push_back(label_y);
    out << "<text x=\"" << Num(kPlotRight + 3) << "\" y=\"" << Num(label_y) << "\" fill=\""
        << style.colour << "\">cap " << cap->caps.back().cap << "</text>\n";
  }
}

void WriteCountLine(const TimeScale& scale, const ClassChart& chart, const CountAxis& axis,
                    std::ostream& out) {
  std::string line = "M" + Num(TimeScale::kLeft) + " " + Num(axis.Y(0));
  std::size_t drawn = 0;
  if (chart.samples != nullptr) {
    for (const PopulationSample& sample : *chart.samples) {
      if (sample.time > scale.end()) break;
      line += "H" + Num(scale.X(std::max(sample.time, scale.start()))) + "V" +
              Num(axis.Y(sample.count));
      ++drawn;
    }
  }
  line += "H" + Num(kPlotRight);
  out << "<path class=\"count-line\" data-samples=\"" << drawn << "\" d=\"" << line << "\"/>\n";
}

void WriteSpawnDots(const Styles& styles, const TimeScale& scale, const ClassChart& chart,
                    const CountAxis& axis, std::ostream& out) {
  for (const SpawnPoint* spawn : chart.spawns) {
    const EntryStyle& style = styles.Of(*spawn);
    const int count = CountAt(chart, spawn->time);
    out << "<circle class=\"pop-spawn\" data-table=\"" << style.table << "\" data-entry=\""
        << EscapeHtml(style.entry) << "\" cx=\"" << Num(scale.X(spawn->time)) << "\" cy=\""
        << Num(axis.Y(count)) << "\" r=\"3\" fill=\"" << style.colour
        << "\" stroke=\"#000\" stroke-width=\".5\" data-tip=\""
        << TipAttribute(fmt::format("{}\n{}\nspawned with {} wild", style.label,
                                    LocalTimeText(spawn->time), count))
        << "\"/>";
  }
}

// A class none of whose entries could load it, and none spawned: no chart,
// whose empty count under a cap would read as room to spawn.
bool NeverLoaded(const ClassChart& chart,
                 const std::map<std::pair<Table, std::string>, const EntryRecord*>& records) {
  if (chart.caps.empty() || !chart.spawns.empty()) return false;
  return std::all_of(chart.caps.begin(), chart.caps.end(), [&](const EntryCap* cap) {
    auto it = records.find({cap->table, cap->entry});
    if (it == records.end()) return false;
    const EntryRecord& entry = *it->second;
    return entry.class_unknown > 0 && entry.spawned == 0 && entry.spawn_refused == 0;
  });
}

void WriteNeverLoaded(const Styles& styles, const ClassChart& chart, std::ostream& out) {
  std::string labels;
  for (const EntryCap* cap : chart.caps) {
    labels += (labels.empty() ? "" : ", ") + styles.Of(cap->table, cap->entry).short_label;
  }
  out << "<figure class=\"population never-loaded\" data-class=\"" << EscapeHtml(chart.reference)
      << "\"><figcaption><b title=\"" << EscapeHtml(chart.reference) << "\">"
      << EscapeHtml(ShortClassName(chart.reference))
      << "</b>: the class never loaded, so its entries never spawned (" << EscapeHtml(labels)
      << ").</figcaption></figure>\n";
}

void WriteChart(const ReportInput& input, const Styles& styles, const TimeScale& scale,
                const ClassChart& chart, std::ostream& out) {
  const CountAxis axis{AxisTop(chart)};
  out << "<figure class=\"population\" data-class=\"" << EscapeHtml(chart.reference)
      << "\"><svg class=\"population-svg\" width=\"" << Num(TimeScale::kSvgWidth) << "\" height=\""
      << Num(kHeight) << "\" viewBox=\"0 0 " << Num(TimeScale::kSvgWidth) << ' ' << Num(kHeight)
      << "\">\n";
  scale.WriteGrid(kTop, kTop + kPlotHeight, kHeight - 5, out);
  WriteKey(styles, chart, axis, out);
  WriteCapLines(styles, scale, chart, axis, out);
  WriteCountLine(scale, chart, axis, out);
  WriteSpawnDots(styles, scale, chart, axis, out);
  scale.WriteChanges(input.config_changes, kTop, kTop + kPlotHeight, out);
  scale.WriteClockChanges(input.clock_changes, kTop, kTop + kPlotHeight, out);
  out << "</svg></figure>\n";
}

// With many entries, only the classes of those drawn on their own (and of
// unattributed spawns) are charted.
bool Charted(const Styles& styles, const ClassChart& chart) {
  if (styles.other() == nullptr) return true;
  if (chart.caps.empty()) return !chart.spawns.empty();
  return std::any_of(chart.caps.begin(), chart.caps.end(),
                     [&](const EntryCap* cap) { return !styles.Of(cap->table, cap->entry).other; });
}

}  // namespace

void WritePopulation(const ReportInput& input, const Styles& styles, std::ostream& out) {
  const std::vector<ClassChart> charts = ChartsOf(input);
  if (charts.empty()) return;
  std::map<std::pair<Table, std::string>, const EntryRecord*> records;
  for (const EntryRecord& entry : input.entries) records[{entry.table, entry.name}] = &entry;
  const TimeScale scale(input.start, input.end);
  out << "<section id=\"population\"><h2>Population</h2>\n<p class=\"key\">Per class: the wild "
         "count before each timer run (black), each entry's cap of the class (dashed, in the "
         "entry's colour; it steps at reloads) and the entry's spawns (dots). A count "
         "sitting on a cap is that entry held by its cap.</p>\n";
  std::size_t left_out = 0;
  for (const ClassChart& chart : charts) {
    if (!Charted(styles, chart)) {
      ++left_out;
    } else if (NeverLoaded(chart, records)) {
      WriteNeverLoaded(styles, chart, out);
    } else {
      WriteChart(input, styles, scale, chart, out);
    }
  }
  if (left_out > 0) {
    out << "<p id=\"population-left-out\">" << left_out
        << " more classes, of the other entries only, are not charted; the entry table has "
           "their turns held by cap.</p>\n";
  }
  out << "</section>\n";
}

}  // namespace standin::report::render
