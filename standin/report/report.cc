// The page around the sections: style, tooltip script, header facts, the
// clock changes and the plug-in's log.
#include "standin/report/report.h"

#include <fmt/format.h>

#include <algorithm>
#include <ctime>
#include <vector>

#include "standin/report/render.h"

namespace standin::report {

namespace {

constexpr std::string_view kStyle = R"(
body{font:14px/1.4 system-ui,sans-serif;margin:1.5em;color:#222;background:#fafafa}
h1{font-size:1.5em;margin:0 0 .4em}h2{font-size:1.2em;margin:1.4em 0 .5em}
dl#facts{display:grid;grid-template-columns:max-content auto;gap:.2em 1em;margin:0}
dt{font-weight:600}dd{margin:0}
#interrupted{background:#fde2e2;border:1px solid #d99;padding:.4em .7em;display:inline-block;margin:.6em 0 0}
svg{background:#fff;border:1px solid #ccc;display:block}
.grid line{stroke:#e4e4e4;stroke-width:1}.grid line.edge{stroke:#999}
.grid text,.axis text{font-size:10px;fill:#666}.axis text.day{fill:#222;font-weight:600}
.axis line.day{stroke:#ccc}
p.filter{margin:.4em 0}input.filter{width:22em}.filter-count{color:#666;font-size:12px}
.legend{list-style:none;padding:0;display:flex;flex-wrap:wrap;gap:.3em 1.2em;margin:.5em 0}
.swatch{display:inline-block;width:.9em;height:.9em;border-radius:50%;margin-right:.4em;vertical-align:-.1em}
.spawn{stroke:#000;stroke-width:.6;cursor:pointer}.spawn:hover{stroke-width:2}
.spawn.off-map{stroke-dasharray:2 1.5;stroke-width:1.2}
text.count{font-size:10px;font-weight:700;fill:#222;pointer-events:none}
.row text{font-size:11px}.row line{stroke:#eee}
.mark,.bin,.change,.clock-change{cursor:pointer}
.clock-change line{stroke:#2e7d32;stroke-width:1.5;stroke-dasharray:1 3}.clock-change path{fill:#2e7d32}
.change line{stroke-width:1.5;stroke-dasharray:4 3}.change.taken line{stroke:#1565c0}
.change.refused line{stroke:#c62828}.change.taken path{fill:#1565c0}.change.refused path{fill:#c62828}
.population{margin:0 0 .8em}.population text{font-size:10px;fill:#444}
.population .class-name{font-size:12px;fill:#222;font-weight:600}
.count-line{fill:none;stroke:#222;stroke-width:1.6}
.cap-line{fill:none;stroke-width:1.6;stroke-dasharray:6 3}
.never-loaded{color:#555}.never-loaded b{color:#222}
table{border-collapse:collapse;background:#fff}
th,td{border:1px solid #ccc;padding:.25em .5em;text-align:left;vertical-align:top}
td.n,#entry-table td:nth-child(n+4):nth-child(-n+9){text-align:right;font-variant-numeric:tabular-nums}
tr.faulty{background:#fde2e2}tr.faulty td.failures{color:#b00;font-weight:700}
tr.warn{background:#fff4d6}tr.dropped{color:#888}
td.name{font-family:monospace;word-break:break-all;max-width:28em}
.display{font-family:system-ui,sans-serif;color:#555}
#log-lines td{font-family:monospace;white-space:pre-wrap}
#log-lines tr.error{background:#fde2e2}
#tip{position:absolute;background:#222;color:#fff;padding:.4em .6em;border-radius:4px;
white-space:pre;font-size:12px;pointer-events:none}
)";

// One listener each for the whole page, so that a large report opens fast.
constexpr std::string_view kScript = R"(
(function(){
var tip=document.getElementById('tip');
function place(e){tip.style.left=(e.pageX+14)+'px';tip.style.top=(e.pageY+14)+'px';}
document.addEventListener('mouseover',function(e){
var el=e.target.closest&&e.target.closest('[data-tip]');
if(!el){tip.hidden=true;return;}
tip.textContent=el.getAttribute('data-tip');tip.hidden=false;place(e);});
document.addEventListener('mousemove',function(e){if(!tip.hidden)place(e);});
document.querySelectorAll('input.filter').forEach(function(box){
var rows=document.querySelectorAll(box.dataset.rows);
var count=box.parentNode.querySelector('.filter-count');
box.addEventListener('input',function(){
var q=box.value.trim().toLowerCase(),shown=0;
rows.forEach(function(r){var hide=q!==''&&r.textContent.toLowerCase().indexOf(q)<0;
r.hidden=hide;if(!hide)shown++;});
count.textContent=q===''?'':shown+' of '+rows.length;});
});
})();
)";

void WriteHeader(const ReportInput& input, std::ostream& out) {
  using render::LocalTimeText;
  const std::int64_t minutes = (input.end - input.start) / 60;
  std::string length = fmt::format("{} min", minutes);
  if (minutes >= 2 * 1440) {
    length += minutes % 1440 == 0
                  ? fmt::format(", {} days", minutes / 1440)
                  : fmt::format(", {:.1f} days", static_cast<double>(minutes) / 1440);
  }
  out << "<header><h1>Drovekeeper preview</h1><dl id=\"facts\">"
      << "<dt>Configuration</dt><dd id=\"config-file\">" << EscapeHtml(input.config_file)
      << "</dd><dt>World</dt><dd id=\"world-name\">" << EscapeHtml(input.world_name) << "</dd>"
      << "<dt>Span</dt><dd id=\"span\">" << LocalTimeText(input.start) << " to "
      << LocalTimeText(input.end) << " (" << length << ")</dd>"
      << "<dt>Time zone</dt><dd id=\"time-zone\">" << EscapeHtml(input.time_zone) << "</dd>";
  if (!input.started_from.empty()) {
    out << "<dt>Started from</dt><dd id=\"started-from\">" << EscapeHtml(input.started_from)
        << "</dd>";
  }
  out << "</dl>";
  if (input.interrupted) {
    out << "<p id=\"interrupted\"><strong>Interrupted:</strong> the run was stopped at "
        << LocalTimeText(input.end) << "; everything below ends there.</p>";
  }
  out << "</header>\n";
}

// A clock entry's turns that the change bears on: going back, those in the
// hour the clocks show twice; going forward, those of the first run after
// the jump, where a skipped minute would be made up.
std::vector<const TimedOutcome*> TurnsAround(const EntryRecord& record,
                                             const ClockChangeMark& change) {
  const std::int64_t from = change.forward ? change.time : change.time - change.shift;
  const std::int64_t to =
      change.forward ? change.time + model::kRunPeriodSeconds : change.time + change.shift;
  std::vector<const TimedOutcome*> turns;
  for (const TimedOutcome& turn : record.outcomes) {
    if (turn.time >= from && turn.time < to) turns.push_back(&turn);
  }
  return turns;
}

std::string TurnsText(const std::vector<const TimedOutcome*>& turns, const ClockChangeMark& change,
                      const ClockShiftedEntry& shifted) {
  if (turns.empty()) {
    return change.forward
               ? "does not fire that day: the clocks skip " + EscapeHtml(shifted.clock_text)
               : "did not fire in this run";
  }
  std::string text = turns.size() == 1   ? "fired once: "
                     : turns.size() == 2 ? "fired twice: "
                                         : fmt::format("fired {} times: ", turns.size());
  for (std::size_t i = 0; i < turns.size(); ++i) {
    text += fmt::format("{}{} {}", i == 0 ? "" : ", ",
                        render::LocalTimeText(turns[i]->time, "%H:%M:%S %Z"),
                        OutcomeName(turns[i]->outcome));
  }
  return text;
}

// Each change of the local clock within the span, with what became of the
// clock entries whose minute it skips or repeats.
void WriteClockChanges(const ReportInput& input, std::ostream& out) {
  std::vector<const ClockChangeMark*> changes;
  for (const ClockChangeMark& change : input.clock_changes) {
    if (change.time >= input.start && change.time <= input.end) changes.push_back(&change);
  }
  if (changes.empty()) return;
  out << "<section id=\"clock-changes\"><h2>Clock changes</h2>\n<ul>";
  for (const ClockChangeMark* change : changes) {
    out << "<li class=\"clock-change-item " << (change->forward ? "forward" : "back")
        << "\"><strong>" << render::LocalTimeZoneText(change->time)
        << "</strong>: " << EscapeHtml(change->what) << ".";
    if (change->entries.empty()) {
      out << " No clock entry names a minute it " << (change->forward ? "skips" : "repeats") << ".";
    } else {
      out << "<ul>";
      for (const ClockShiftedEntry& shifted : change->entries) {
        const auto record =
            std::find_if(input.entries.begin(), input.entries.end(), [&](const EntryRecord& e) {
              return e.table == Table::kClock && e.name == shifted.entry;
            });
        const std::vector<const TimedOutcome*> turns = record == input.entries.end()
                                                           ? std::vector<const TimedOutcome*>{}
                                                           : TurnsAround(*record, *change);
        out << "<li class=\"shifted\" data-entry=\"" << EscapeHtml(shifted.entry)
            << "\" data-turns=\"" << turns.size() << "\">" << TableName(Table::kClock) << "[\""
            << EscapeHtml(shifted.entry) << "\"] at " << EscapeHtml(shifted.clock_text) << ": "
            << TurnsText(turns, *change, shifted) << "</li>";
      }
      out << "</ul>";
    }
    out << "</li>\n";
  }
  out << "</ul></section>\n";
}

void WriteLog(const ReportInput& input, std::ostream& out) {
  out << "<section id=\"log\"><h2>Log</h2>\n<table id=\"log-lines\"><thead><tr><th>Time</th>"
         "<th>Level</th><th>Message</th></tr></thead><tbody>\n";
  for (const LogLine& line : input.log) {
    out << "<tr class=\"" << EscapeHtml(line.level) << "\"><td>" << render::LocalTimeText(line.time)
        << "</td><td>" << EscapeHtml(line.level) << "</td><td>" << EscapeHtml(line.text)
        << "</td></tr>\n";
  }
  out << "</tbody></table></section>\n";
}

}  // namespace

namespace render {

std::string LocalTimeText(std::int64_t seconds, const char* format) {
  const auto t = static_cast<std::time_t>(seconds);
  std::tm local{};
  localtime_r(&t, &local);
  char text[64];
  const std::size_t size = std::strftime(text, sizeof text, format, &local);
  return std::string(text, size);
}

std::string LocalTimeText(std::int64_t seconds) {
  return LocalTimeText(seconds, "%Y-%m-%d %H:%M:%S");
}

std::string LocalTimeZoneText(std::int64_t seconds) {
  return LocalTimeText(seconds, "%Y-%m-%d %H:%M:%S %Z");
}

std::string Num(double value) { return fmt::format("{:.2f}", value); }

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

}  // namespace render

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
  const render::Styles styles(input);
  out << "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
      << "<title>Drovekeeper preview: " << EscapeHtml(input.config_file) << "</title><style>"
      << kStyle << "</style></head><body>\n";
  WriteHeader(input, out);
  render::WriteMap(input, styles, out);
  render::WriteTimeline(input, styles, out);
  WriteClockChanges(input, out);
  render::WritePopulation(input, styles, out);
  render::WriteTable(input, styles, out);
  WriteLog(input, out);
  out << "<div id=\"tip\" hidden></div>\n<script>" << kScript << "</script>\n</body></html>\n";
}

}  // namespace standin::report
