// The entry table: per entry its schedule, when it falls due next after the
// span, and what became of its turns.
#include "standin/model/schedule.h"
#include "standin/report/render.h"

namespace standin::report::render {

namespace {

// A clock entry that did not fall due at the minute its text names, since the
// clock writes that minute otherwise: on which days, per text it had.
void WriteMissed(const EntryRecord& entry, std::ostream& out) {
  for (std::size_t i = 0; i < entry.missed.size();) {
    const std::string& text = entry.missed[i].clock_text;
    std::string days;
    for (; i < entry.missed.size() && entry.missed[i].clock_text == text; ++i) {
      days += (days.empty() ? "" : ", ") + LocalTimeText(entry.missed[i].time, "%Y-%m-%d");
    }
    out << "<br><em class=\"missed\">did not fire on " << days << ": the clock writes "
        << EscapeHtml(text) << " as \"" << EscapeHtml(model::MinuteNamed(text).value_or(""))
        << "\"</em>";
  }
}

}  // namespace

void WriteTable(const ReportInput& input, const Styles& styles, std::ostream& out) {
  out << "<section id=\"entries\"><h2>Entries</h2>\n";
  WriteFilter("#entry-table tbody tr", "the entries", out);
  out << "<table id=\"entry-table\"><thead><tr>"
         "<th>Table</th><th>Entry</th><th>Schedule</th><th>Fell due</th><th>Spawned</th>"
         "<th>Held by cap</th><th>Class unknown</th><th>Spawn refused</th><th>Failures</th>"
         "<th>Last failure</th><th>Next due after the span</th></tr></thead><tbody>\n";
  for (const EntryRecord& entry : input.entries) {
    std::string row_class;
    if (entry.failed > 0 || entry.class_unknown > 0) {
      row_class = "faulty";
    } else if (entry.spawn_refused > 0) {
      row_class = "warn";
    }
    if (!entry.configured) row_class += row_class.empty() ? "dropped" : " dropped";
    const EntryStyle& style = styles.Of(entry.table, entry.name);
    // The many other entries' rows carry no keys, to keep a large page small.
    out << "<tr class=\"entry" << (row_class.empty() ? "" : " " + row_class) << "\"";
    if (!style.other) {
      out << " data-table=\"" << TableName(entry.table) << "\" data-entry=\""
          << EscapeHtml(entry.name) << "\"";
    }
    out << "><td>" << TableName(entry.table) << "</td><td class=\"name\">" << EscapeHtml(entry.name)
        << "<br>";
    if (!style.other) {
      out << "<span class=\"swatch\" style=\"background:" << style.colour << "\"></span>";
    }
    if (!entry.display_name.empty()) {
      out << "<span class=\"display\">" << EscapeHtml(entry.display_name) << "</span>";
    }
    if (!entry.configured) out << "<br><em>dropped by a reload</em>";
    WriteMissed(entry, out);
    out << "</td><td>" << EscapeHtml(entry.schedule_text) << "</td>";
    for (int count : {entry.fell_due, entry.spawned, entry.held_by_cap, entry.class_unknown,
                      entry.spawn_refused}) {
      out << "<td>" << count << "</td>";
    }
    out << "<td" << (entry.failed > 0 ? " class=\"failures\"" : "") << ">" << entry.failed
        << "</td><td>" << EscapeHtml(entry.last_failure) << "</td><td class=\"next-due\">"
        << (entry.next_due == 0 ? "never" : LocalTimeText(entry.next_due)) << "</td></tr>\n";
  }
  out << "</tbody></table></section>\n";
}

}  // namespace standin::report::render
