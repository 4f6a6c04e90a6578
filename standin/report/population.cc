// The population section: per class, the wild count the game saw before each
// timer run as a step line, each entry's cap of that class as a dashed line
// stepping at reloads, and the entries' spawns on the count line, so that an
// entry held by its cap shows as its count sitting on its cap.
#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <iterator>

#include "standin/report/render.h"

namespace report::render {

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
  auto chart_of = [&](const std::string& reference) -> ClassChart& {
    for (ClassChart& chart : charts) {
      if (chart.reference == reference) return chart;
    }
    charts.emplace_back().reference = reference;
    return charts.back();
  };
  for (const ClassPopulation& population : input.population) {
    chart_of(population.reference).samples = &population.samples;
  }
  for (const EntryCap& cap : input.caps) chart_of(cap.reference).caps.push_back(&cap);
  for (const SpawnPoint& spawn : input.spawns) {
    for (ClassChart& chart : charts) {
      const bool of_entry = std::any_of(chart.caps.begin(), chart.caps.end(), [&](auto* cap) {
        return cap->table == spawn.table && cap->entry == spawn.entry;
      });
      if (of_entry || (spawn.entry.empty() && spawn.class_path == ClassPathOf(chart.reference))) {
        chart.spawns.push_back(&spawn);
        break;
      }
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

// The count axis: up to the largest count, and up to every cap that is not
// far above it; a cap beyond is drawn on the top edge.
double AxisTop(const ClassChart& chart) {
  int most = 1;
  if (chart.samples != nullptr) {
    for (const PopulationSample& sample : *chart.samples) most = std::max(most, sample.count);
  }
  const int cap_limit = std::max(10, most * 3);
  int top = most;
  for (const EntryCap* cap : chart.caps) {
    for (const CapChange& change : cap->caps) {
      if (change.cap <= cap_limit) top = std::max(top, change.cap);
    }
  }
  return std::max(top, 1);
}

void WriteChart(const ReportInput& input, const Styles& styles, const TimeScale& scale,
                const ClassChart& chart, std::ostream& out) {
  const double top = AxisTop(chart);
  // A little room above the highest line.
  auto y = [&](double count) {
    return kTop + kPlotHeight - std::clamp(count, 0.0, top * 1.08) / (top * 1.08) * kPlotHeight;
  };
  const double right = TimeScale::kLeft + TimeScale::kWidth;
  const std::string short_name = ShortClassName(chart.reference);

  out << "<figure class=\"population\" data-class=\"" << EscapeHtml(chart.reference)
      << "\"><svg class=\"population-svg\" width=\"" << Num(TimeScale::kSvgWidth) << "\" height=\""
      << Num(kHeight) << "\" viewBox=\"0 0 " << Num(TimeScale::kSvgWidth) << ' ' << Num(kHeight)
      << "\">\n";
  scale.WriteGrid(kTop, kTop + kPlotHeight, kHeight - 5, out);
  out << "<text class=\"class-name\" x=\"4\" y=\"" << Num(kTop + 12) << "\"><title>"
      << EscapeHtml(chart.reference) << "</title>" << EscapeHtml(short_name)
      << "</text><text x=\"4\" y=\"" << Num(kTop + 26) << "\">wild count, and the caps of</text>";
  double entry_y = kTop + 40;
  for (const EntryCap* cap : chart.caps) {
    const EntryStyle& style = styles.Of(cap->table, cap->entry);
    out << "<text x=\"10\" y=\"" << Num(entry_y) << "\" fill=\"" << style.colour << "\">"
        << EscapeHtml(style.short_label) << "</text>";
    entry_y += 12;
  }
  std::vector<double> ticks = {0, top};
  if (top >= 4) ticks.push_back(std::round(top / 2));
  for (double value : ticks) {
    out << "<text x=\"" << Num(TimeScale::kLeft - 5) << "\" y=\"" << Num(y(value) + 3)
        << "\" text-anchor=\"end\">" << value << "</text>";
  }
  out << "<rect x=\"" << Num(TimeScale::kLeft) << "\" y=\"" << Num(kTop) << "\" width=\""
      << Num(TimeScale::kWidth) << "\" height=\"" << Num(kPlotHeight)
      << "\" fill=\"none\" stroke=\"#ccc\"/>\n";

  std::vector<double> label_ys;
  for (const EntryCap* cap : chart.caps) {
    if (cap->caps.empty()) continue;
    const EntryStyle& style = styles.Of(cap->table, cap->entry);
    std::string path;
    std::string values;
    for (const CapChange& change : cap->caps) {
      const double x = scale.X(std::clamp(change.time, scale.start(), scale.end()));
      path += (path.empty() ? "M" : "H") + Num(x) + (path.empty() ? " " : "V") + Num(y(change.cap));
      values += (values.empty() ? "" : ",") + std::to_string(change.cap);
    }
    path += "H" + Num(right);
    out << "<path class=\"cap-line\" data-table=\"" << style.table << "\" data-entry=\""
        << EscapeHtml(style.entry) << "\" data-caps=\"" << values << "\" stroke=\"" << style.colour
        << "\" d=\"" << path << "\" data-tip=\"" << TipAttribute(style.label + "\ncap " + values)
        << "\"/>";
    // The last cap's value at the right end, clear of the labels before it.
    double label_y = y(cap->caps.back().cap) + 3;
    while (std::any_of(label_ys.begin(), label_ys.end(),
                       [&](double other) { return std::fabs(other - label_y) < 10; })) {
      label_y += 10;
    }
    label_ys.push_back(label_y);
    out << "<text x=\"" << Num(right + 3) << "\" y=\"" << Num(label_y) << "\" fill=\""
        << style.colour << "\">cap " << cap->caps.back().cap << "</text>\n";
  }

  std::string line = "M" + Num(TimeScale::kLeft) + " " + Num(y(0));
  std::size_t drawn = 0;
  if (chart.samples != nullptr) {
    for (const PopulationSample& sample : *chart.samples) {
      if (sample.time > scale.end()) break;
      line += "H" + Num(scale.X(std::max(sample.time, scale.start()))) + "V" + Num(y(sample.count));
      ++drawn;
    }
  }
  line += "H" + Num(right);
  out << "<path class=\"count-line\" data-samples=\"" << drawn << "\" d=\"" << line << "\"/>\n";

  for (const SpawnPoint* spawn : chart.spawns) {
    const EntryStyle& style = styles.Of(*spawn);
    const int count = CountAt(chart, spawn->time);
    out << "<circle class=\"pop-spawn\" data-table=\"" << style.table << "\" data-entry=\""
        << EscapeHtml(style.entry) << "\" cx=\"" << Num(scale.X(spawn->time)) << "\" cy=\""
        << Num(y(count)) << "\" r=\"3\" fill=\"" << style.colour
        << "\" stroke=\"#000\" stroke-width=\".5\" data-tip=\""
        << TipAttribute(fmt::format("{}\n{}\nspawned with {} wild", style.label,
                                    LocalTimeText(spawn->time), count))
        << "\"/>";
  }
  scale.WriteChanges(input.config_changes, kTop, kTop + kPlotHeight, out);
  out << "</svg></figure>\n";
}

}  // namespace

void WritePopulation(const ReportInput& input, const Styles& styles, std::ostream& out) {
  const std::vector<ClassChart> charts = ChartsOf(input);
  if (charts.empty()) return;
  const TimeScale scale(input.start, input.end);
  out << "<section id=\"population\"><h2>Population</h2>\n<p class=\"key\">Per class: the wild "
         "count before each timer run (black), each entry's cap of the class (dashed, in the "
         "entry's colour; it steps at reloads) and the entry's spawns (dots). A count "
         "sitting on a cap is that entry held by its cap.</p>\n";
  for (const ClassChart& chart : charts) WriteChart(input, styles, scale, chart, out);
  out << "</section>\n";
}

}  // namespace report::render
