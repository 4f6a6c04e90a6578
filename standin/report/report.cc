#include "standin/report/report.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <map>

namespace report {

namespace {

constexpr std::string_view kPalette[] = {"#1f77b4", "#ff7f0e", "#2ca02c", "#d62728", "#9467bd",
                                         "#8c564b", "#e377c2", "#17becf", "#bcbd22", "#7f7f7f"};

// Map: pixels per map unit, and how far past 0..100 the view may grow to
// show stray points.
constexpr double kMapScale = 6.0;
constexpr double kMapMinView = -100.0;
constexpr double kMapMaxView = 200.0;

// Timeline geometry, in pixels.
constexpr double kLabelWidth = 300.0;
constexpr double kPlotWidth = 900.0;
constexpr double kRowHeight = 22.0;
constexpr double kAxisHeight = 28.0;

constexpr std::string_view kStyle = R"(
body{font:14px/1.4 system-ui,sans-serif;margin:1.5em;color:#222;background:#fafafa}
h1{font-size:1.5em;margin:0 0 .4em}h2{font-size:1.2em;margin:1.4em 0 .5em}
dl#facts{display:grid;grid-template-columns:max-content auto;gap:.2em 1em;margin:0}
dt{font-weight:600}dd{margin:0}
svg{background:#fff;border:1px solid #ccc}
.grid line{stroke:#e4e4e4;stroke-width:1}.grid line.edge{stroke:#999}
.grid text,.axis text{font-size:10px;fill:#666}
.legend{list-style:none;padding:0;display:flex;flex-wrap:wrap;gap:.3em 1.2em}
.legend span.swatch{display:inline-block;width:.9em;height:.9em;border-radius:50%;margin-right:.4em;vertical-align:-.1em}
.spawn{stroke:#000;stroke-width:.6;cursor:pointer}.spawn:hover{stroke-width:2}
.row text{font-size:11px}.row line{stroke:#eee}
.mark{cursor:pointer}
table{border-collapse:collapse;background:#fff}
th,td{border:1px solid #ccc;padding:.25em .5em;text-align:left;vertical-align:top}
td.n{text-align:right;font-variant-numeric:tabular-nums}
tr.faulty{background:#fde2e2}tr.faulty td.failures{color:#b00;font-weight:700}
tr.warn{background:#fff4d6}tr.dropped{color:#888}
td.name{font-family:monospace;word-break:break-all;max-width:28em}
.display{font-family:system-ui,sans-serif;color:#555}
#log-lines td{font-family:monospace;white-space:pre-wrap}
#log-lines tr.error{background:#fde2e2}
#tip{position:absolute;background:#222;color:#fff;padding:.4em .6em;border-radius:4px;
white-space:pre;font-size:12px;pointer-events:none}
)";

constexpr std::string_view kScript = R"(
(function(){
var tip=document.getElementById('tip');
function place(e){tip.style.left=(e.pageX+14)+'px';tip.style.top=(e.pageY+14)+'px';}
document.querySelectorAll('[data-tip]').forEach(function(el){
el.addEventListener('mouseenter',function(e){tip.textContent=el.getAttribute('data-tip');tip.hidden=false;place(e);});
el.addEventListener('mousemove',place);
el.addEventListener('mouseleave',function(){tip.hidden=true;});
});
})();
)";

std::string LocalTimeText(std::int64_t seconds) {
  const auto t = static_cast<std::time_t>(seconds);
  std::tm local{};
  localtime_r(&t, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

// Compact numbers for SVG attributes; never locale-dependent.
std::string Num(double value) { return fmt::format("{:.2f}", value); }

std::string Escaped(std::string_view text) { return EscapeHtml(text); }

// A tooltip's lines, kept on the page's own line.
std::string TipAttribute(std::string_view text) {
  std::string escaped;
  for (char c : EscapeHtml(text)) {
    if (c == '\n') {
      escaped += "&#10;";
    } else {
      escaped += c;
    }
  }
  return escaped;
}

struct EntryStyle {
  std::string colour;
  std::string label;
  bool named = false;
};

// One colour per entry name, shared by both schedules and by the spawns
// whose class path the name gives.
class Colours {
 public:
  explicit Colours(const ReportInput& input) {
    for (const EntryRecord& entry : input.entries) Add(ClassPathOf(entry.name), &entry);
    for (const SpawnPoint& spawn : input.spawns) Add(spawn.class_path, nullptr);
  }

  const EntryStyle& ForPath(const std::string& path) const { return styles_.at(path); }
  const std::vector<std::string>& order() const { return order_; }

 private:
  void Add(const std::string& path, const EntryRecord* entry) {
    auto [it, inserted] = styles_.try_emplace(path);
    if (inserted) {
      it->second.colour = std::string(kPalette[order_.size() % std::size(kPalette)]);
      it->second.label = entry != nullptr ? entry->name : path;
      order_.push_back(path);
    }
    // The first display name found labels the colour.
    if (entry != nullptr && !entry->display_name.empty() && !it->second.named) {
      it->second.label = entry->display_name + " \xE2\x80\x94 " + entry->name;
      it->second.named = true;
    }
  }

  std::map<std::string, EntryStyle> styles_;
  std::vector<std::string> order_;
};

std::string MapNumber(float value) { return fmt::format("{:g}", static_cast<double>(value)); }

void WriteHeader(const ReportInput& input, std::ostream& out) {
  const std::int64_t minutes = (input.end - input.start) / 60;
  out << "<header><h1>Drovekeeper preview</h1><dl id=\"facts\">"
      << "<dt>Configuration</dt><dd id=\"config-file\">" << Escaped(input.config_file) << "</dd>"
      << "<dt>World</dt><dd id=\"world-name\">" << Escaped(input.world_name) << "</dd>"
      << "<dt>Span</dt><dd id=\"span\">" << LocalTimeText(input.start) << " to "
      << LocalTimeText(input.end) << " (" << minutes << " min)</dd>"
      << "<dt>Time zone</dt><dd id=\"time-zone\">" << Escaped(input.time_zone) << "</dd>"
      << "</dl></header>\n";
}

struct ViewBox {
  double min_lat = 0, max_lat = 100, min_lon = 0, max_lon = 100;
  void Include(const MapPoint& p) {
    min_lat = std::min(min_lat, static_cast<double>(p.lat));
    max_lat = std::max(max_lat, static_cast<double>(p.lat));
    min_lon = std::min(min_lon, static_cast<double>(p.lon));
    max_lon = std::max(max_lon, static_cast<double>(p.lon));
  }
  void Clamp() {
    // Room for the grid's labels on every side.
    min_lat = std::max(std::floor(min_lat / 10) * 10 - 4, kMapMinView);
    min_lon = std::max(std::floor(min_lon / 10) * 10 - 5, kMapMinView);
    max_lat = std::min(std::ceil(max_lat / 10) * 10 + 3, kMapMaxView);
    max_lon = std::min(std::ceil(max_lon / 10) * 10 + 4, kMapMaxView);
  }
};

void WriteMap(const ReportInput& input, const Colours& colours, std::ostream& out) {
  std::vector<std::pair<const EntryRecord*, Square>> squares;
  for (const EntryRecord& entry : input.entries) {
    if (!entry.random_position || !entry.has_base) continue;
    for (const Square& square : RandomSquares(entry.base_x, entry.base_y)) {
      squares.emplace_back(&entry, square);
    }
  }
  ViewBox view;
  for (const auto& [entry, square] : squares) {
    view.Include(
        ToMap(input.map, static_cast<float>(square.min_x), static_cast<float>(square.min_y)));
    view.Include(
        ToMap(input.map, static_cast<float>(square.max_x), static_cast<float>(square.max_y)));
  }
  for (const SpawnPoint& spawn : input.spawns) view.Include(ToMap(input.map, spawn.x, spawn.y));
  view.Clamp();

  const double width = (view.max_lon - view.min_lon) * kMapScale;
  const double height = (view.max_lat - view.min_lat) * kMapScale;
  auto px = [&](double lon) { return (lon - view.min_lon) * kMapScale; };
  auto py = [&](double lat) { return (lat - view.min_lat) * kMapScale; };

  out << "<section id=\"map\"><h2>Map</h2>\n<svg id=\"map-svg\" width=\"" << Num(width)
      << "\" height=\"" << Num(height) << "\" viewBox=\"0 0 " << Num(width) << ' ' << Num(height)
      << "\" role=\"img\" aria-label=\"Spawns on the map\">\n<g class=\"grid\">";
  for (int v = 0; v <= 100; v += 10) {
    const char* edge = v == 0 || v == 100 ? " class=\"edge\"" : "";
    out << "<line" << edge << " x1=\"" << Num(px(v)) << "\" y1=\"" << Num(py(0)) << "\" x2=\""
        << Num(px(v)) << "\" y2=\"" << Num(py(100)) << "\"/>";
    out << "<line" << edge << " x1=\"" << Num(px(0)) << "\" y1=\"" << Num(py(v)) << "\" x2=\""
        << Num(px(100)) << "\" y2=\"" << Num(py(v)) << "\"/>";
    out << "<text x=\"" << Num(px(v) + 2) << "\" y=\"" << Num(py(0) - 3) << "\">" << v
        << "</text><text x=\"" << Num(px(0) - 16) << "\" y=\"" << Num(py(v) + 3) << "\">" << v
        << "</text>";
  }
  out << "</g>\n";

  for (const auto& [entry, square] : squares) {
    const MapPoint a =
        ToMap(input.map, static_cast<float>(square.min_x), static_cast<float>(square.min_y));
    const MapPoint b =
        ToMap(input.map, static_cast<float>(square.max_x), static_cast<float>(square.max_y));
    const double x = px(std::min(a.lon, b.lon));
    const double y = py(std::min(a.lat, b.lat));
    out << "<rect class=\"square\" data-entry=\"" << Escaped(entry->name) << "\" x=\"" << Num(x)
        << "\" y=\"" << Num(y) << "\" width=\"" << Num(std::fabs(b.lon - a.lon) * kMapScale)
        << "\" height=\"" << Num(std::fabs(b.lat - a.lat) * kMapScale) << "\" fill=\""
        << colours.ForPath(ClassPathOf(entry->name)).colour
        << "\" fill-opacity=\"0.15\" stroke-opacity=\"0.4\" stroke=\""
        << colours.ForPath(ClassPathOf(entry->name)).colour << "\"/>\n";
  }

  for (const SpawnPoint& spawn : input.spawns) {
    const MapPoint at = ToMap(input.map, spawn.x, spawn.y);
    const MapPoint shown = ToNoticeMap(input.map, spawn.x, spawn.y);
    const EntryStyle& style = colours.ForPath(spawn.class_path);
    const std::string tip = fmt::format(
        "{}\n{}\nLevel {}\nLat {} Lon {}\nX {:g} Y {:g} Z {:g}", style.label,
        LocalTimeText(spawn.time), spawn.level, MapNumber(shown.lat), MapNumber(shown.lon),
        static_cast<double>(spawn.x), static_cast<double>(spawn.y), static_cast<double>(spawn.z));
    out << "<circle class=\"spawn\" cx=\"" << Num(px(at.lon)) << "\" cy=\"" << Num(py(at.lat))
        << "\" r=\"5\" fill=\"" << style.colour << "\" data-entry=\"" << Escaped(spawn.class_path)
        << "\" data-time=\"" << LocalTimeText(spawn.time) << "\" data-level=\"" << spawn.level
        << "\" data-lat=\"" << MapNumber(shown.lat) << "\" data-lon=\"" << MapNumber(shown.lon)
        << "\" data-tip=\"" << TipAttribute(tip) << "\"/>\n";
  }
  out << "</svg>\n<ul class=\"legend\" id=\"map-legend\">";
  for (const std::string& path : colours.order()) {
    const EntryStyle& style = colours.ForPath(path);
    out << "<li><span class=\"swatch\" style=\"background:" << style.colour << "\"></span>"
        << Escaped(style.label) << "</li>";
  }
  out << "</ul>";
  if (!squares.empty()) {
    out << "<p>Shaded squares: where entries with a random position can land.</p>";
  }
  out << "</section>\n";
}

// Minutes between axis ticks, for about ten ticks over the span.
std::int64_t TickStep(double span_minutes) {
  for (std::int64_t step : {1, 5, 10, 15, 30, 60, 120, 180, 240, 360, 720, 1440}) {
    if (span_minutes / static_cast<double>(step) <= 12) return step;
  }
  return static_cast<std::int64_t>(std::ceil(span_minutes / 12 / 1440)) * 1440;
}

void WriteMark(std::ostream& out, double x, double y, const TimedOutcome& outcome,
               const std::string& colour, const std::string& tip) {
  out << "<g class=\"mark " << (outcome.outcome == Outcome::kSpawned ? "spawned" : "missed")
      << "\" data-outcome=\"" << OutcomeName(outcome.outcome) << "\" data-tip=\""
      << TipAttribute(tip) << "\">";
  const std::string cx = Num(x);
  const std::string cy = Num(y);
  switch (outcome.outcome) {
    case Outcome::kSpawned:
      out << "<circle cx=\"" << cx << "\" cy=\"" << cy << "\" r=\"4\" fill=\"" << colour << "\"/>";
      break;
    case Outcome::kHeldByCap:
      out << "<rect x=\"" << Num(x - 3.5) << "\" y=\"" << Num(y - 3.5)
          << "\" width=\"7\" height=\"7\" fill=\"#aaa\" stroke=\"#666\"/>";
      break;
    case Outcome::kClassUnknown:
      out << "<path d=\"M" << Num(x) << ' ' << Num(y - 5) << "L" << Num(x + 5) << ' ' << Num(y + 4)
          << "L" << Num(x - 5) << ' ' << Num(y + 4) << "Z\" fill=\"#f0a000\" stroke=\"#805000\"/>";
      break;
    case Outcome::kSpawnRefused:
      out << "<path d=\"M" << Num(x - 4) << ' ' << Num(y - 4) << "L" << Num(x + 4) << ' '
          << Num(y + 4) << "M" << Num(x + 4) << ' ' << Num(y - 4) << "L" << Num(x - 4) << ' '
          << Num(y + 4) << "\" stroke=\"#7b3fa0\" stroke-width=\"2.5\"/>";
      break;
    case Outcome::kFailed:
      out << "<path d=\"M" << Num(x) << ' ' << Num(y - 5) << "L" << Num(x + 5) << ' ' << Num(y)
          << "L" << Num(x) << ' ' << Num(y + 5) << "L" << Num(x - 5) << ' ' << Num(y)
          << "Z\" fill=\"#d00\" stroke=\"#600\"/>";
      break;
  }
  out << "</g>";
}

std::string RowLabel(const EntryRecord& entry) {
  std::string label = std::string(TableName(entry.table)) + " ";
  std::string shown = entry.display_name;
  if (shown.empty()) {
    // The blueprint's own name is the informative end of its path.
    const std::size_t slash = entry.name.find_last_of('/');
    shown = slash == std::string::npos ? entry.name : entry.name.substr(slash + 1);
  }
  return label + shown;
}

// Cut to fit the timeline's label column, never inside a UTF-8 sequence.
std::string Shortened(std::string text) {
  constexpr std::size_t kMostBytes = 44;
  if (text.size() <= kMostBytes) return text;
  std::size_t cut = kMostBytes;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  text.resize(cut);
  return text + "\xE2\x80\xA6";
}

void WriteTimeline(const ReportInput& input, const Colours& colours, std::ostream& out) {
  const double span_minutes = std::max(1.0, static_cast<double>(input.end - input.start) / 60.0);
  const double height = kAxisHeight + kRowHeight * static_cast<double>(input.entries.size()) + 6;
  auto px = [&](std::int64_t time) {
    return kLabelWidth + static_cast<double>(time - input.start) / 60.0 / span_minutes * kPlotWidth;
  };
  out << "<section id=\"timeline\"><h2>Timeline</h2>\n<svg id=\"timeline-svg\" width=\""
      << Num(kLabelWidth + kPlotWidth + 20) << "\" height=\"" << Num(height) << "\" viewBox=\"0 0 "
      << Num(kLabelWidth + kPlotWidth + 20) << ' ' << Num(height) << "\">\n<g class=\"axis\">";
  const std::int64_t step = TickStep(span_minutes);
  for (std::int64_t minute = 0; minute <= static_cast<std::int64_t>(span_minutes); minute += step) {
    const double x = kLabelWidth + static_cast<double>(minute) / span_minutes * kPlotWidth;
    out << "<line x1=\"" << Num(x) << "\" y1=\"" << Num(kAxisHeight - 6) << "\" x2=\"" << Num(x)
        << "\" y2=\"" << Num(height) << "\" stroke=\"#eee\"/><text x=\"" << Num(x - 6) << "\" y=\""
        << Num(kAxisHeight - 10) << "\">" << minute << "</text>";
  }
  out << "<text x=\"4\" y=\"" << Num(kAxisHeight - 10) << "\">minutes after the start</text></g>\n";

  double y = kAxisHeight + kRowHeight / 2;
  for (const EntryRecord& entry : input.entries) {
    const std::string& colour = colours.ForPath(ClassPathOf(entry.name)).colour;
    out << "<g class=\"row\" data-table=\"" << TableName(entry.table) << "\" data-entry=\""
        << Escaped(entry.name) << "\"><text x=\"4\" y=\"" << Num(y + 4) << "\"><title>"
        << Escaped(entry.name) << "</title>" << Escaped(Shortened(RowLabel(entry)))
        << "</text><line x1=\"" << Num(kLabelWidth) << "\" y1=\"" << Num(y) << "\" x2=\""
        << Num(kLabelWidth + kPlotWidth) << "\" y2=\"" << Num(y) << "\"/>";
    for (const TimedOutcome& outcome : entry.outcomes) {
      std::string tip = fmt::format("{}\n{}\n{}", RowLabel(entry), LocalTimeText(outcome.time),
                                    OutcomeName(outcome.outcome));
      if (!outcome.message.empty()) tip += ": " + outcome.message;
      WriteMark(out, px(outcome.time), y, outcome, colour, tip);
    }
    out << "</g>\n";
    y += kRowHeight;
  }
  out << "</svg>\n<p class=\"key\">Marks: circle spawned, grey square held by its cap, "
         "orange triangle class unknown, purple cross spawn refused, red diamond failed.</p>"
         "</section>\n";
}

void WriteTable(const ReportInput& input, std::ostream& out) {
  out << "<section id=\"entries\"><h2>Entries</h2>\n<table id=\"entry-table\"><thead><tr>"
         "<th>Table</th><th>Entry</th><th>Schedule</th><th>Fell due</th><th>Spawned</th>"
         "<th>Held by cap</th><th>Class unknown</th><th>Spawn refused</th><th>Failures</th>"
         "<th>Last failure</th></tr></thead><tbody>\n";
  for (const EntryRecord& entry : input.entries) {
    std::string row_class;
    if (entry.failed > 0 || entry.class_unknown > 0) {
      row_class = "faulty";
    } else if (entry.spawn_refused > 0) {
      row_class = "warn";
    }
    if (!entry.configured) row_class += row_class.empty() ? "dropped" : " dropped";
    out << "<tr class=\"entry" << (row_class.empty() ? "" : " " + row_class) << "\" data-table=\""
        << TableName(entry.table) << "\" data-entry=\"" << Escaped(entry.name) << "\"><td>"
        << TableName(entry.table) << "</td><td class=\"name\">" << Escaped(entry.name);
    if (!entry.display_name.empty()) {
      out << "<br><span class=\"display\">" << Escaped(entry.display_name) << "</span>";
    }
    if (!entry.configured) out << "<br><em>dropped by a reload</em>";
    out << "</td><td>" << Escaped(entry.schedule_text) << "</td>";
    for (int count : {entry.fell_due, entry.spawned, entry.held_by_cap, entry.class_unknown,
                      entry.spawn_refused}) {
      out << "<td class=\"n\">" << count << "</td>";
    }
    out << "<td class=\"n" << (entry.failed > 0 ? " failures" : "") << "\">" << entry.failed
        << "</td><td>" << Escaped(entry.last_failure) << "</td></tr>\n";
  }
  out << "</tbody></table></section>\n";
}

void WriteLog(const ReportInput& input, std::ostream& out) {
  out << "<section id=\"log\"><h2>Log</h2>\n<table id=\"log-lines\"><thead><tr><th>Time</th>"
         "<th>Level</th><th>Message</th></tr></thead><tbody>\n";
  for (const LogLine& line : input.log) {
    out << "<tr class=\"" << Escaped(line.level) << "\"><td>" << LocalTimeText(line.time)
        << "</td><td>" << Escaped(line.level) << "</td><td>" << Escaped(line.text)
        << "</td></tr>\n";
  }
  out << "</tbody></table></section>\n";
}

}  // namespace

std::string EscapeHtml(std::string_view text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      case '\'':
        escaped += "&#39;";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

void WriteReport(const ReportInput& input, std::ostream& out) {
  const Colours colours(input);
  out << "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
      << "<title>Drovekeeper preview: " << Escaped(input.config_file) << "</title><style>" << kStyle
      << "</style></head><body>\n";
  WriteHeader(input, out);
  WriteMap(input, colours, out);
  WriteTimeline(input, colours, out);
  WriteTable(input, out);
  WriteLog(input, out);
  out << "<div id=\"tip\" hidden></div>\n<script>" << kScript << "</script>\n</body></html>\n";
}

}  // namespace report
