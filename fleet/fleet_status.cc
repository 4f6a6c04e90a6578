#include "fleet/fleet_status.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <optional>
#include <utility>

namespace drovekeeper::fleet {
namespace {

using nlohmann::json;

// The counts of an entry on one server, as the status reply names them.
constexpr const char* kCounts[] = {"fell_due",      "spawned", "held_by_cap",       "class_unknown",
                                   "spawn_refused", "failed",  "spawned_on_command"};

std::int64_t Count(const json& entry, const char* key) {
  auto it = entry.find(key);
  return it != entry.end() && it->is_number_integer() ? it->get<std::int64_t>() : 0;
}

std::string Text(const json& object, const char* key) {
  auto it = object.find(key);
  return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

std::string ShownFirstLine(const std::string& text) {
  std::string line = text.substr(0, text.find('\n'));
  if (line.size() > 200) line = line.substr(0, 200) + "...";
  return line.empty() ? "an empty reply" : line;
}

// The status reply, or nothing when the reply is not one (no plug-in loaded
// answers "unknown command: ...").
std::optional<json> ParseStatus(const std::string& reply) {
  json status = json::parse(reply, nullptr, false);
  if (status.is_discarded() || !status.is_object() || !status.contains("entries") ||
      !status["entries"].is_array() || !status.contains("file") || !status["file"].is_object())
    return std::nullopt;
  return status;
}

std::string Offset(const json& server) {
  auto it = server.find("utc_offset_seconds");
  if (it == server.end() || !it->is_number_integer()) return "";
  std::int64_t seconds = it->get<std::int64_t>();
  const char sign = seconds < 0 ? '-' : '+';
  seconds = seconds < 0 ? -seconds : seconds;
  char text[32];
  std::snprintf(text, sizeof text, " (UTC%c%02d:%02d)", sign, static_cast<int>(seconds / 3600),
                static_cast<int>(seconds % 3600 / 60));
  return text;
}

std::string ReloadText(const json& status) {
  auto it = status.find("reload");
  if (it == status.end() || !it->is_object()) return "no reload";
  const bool taken = it->value("taken", false);
  std::string text = "last reload " + Text(*it, "local") + (taken ? " taken" : " refused");
  if (!taken && it->contains("refusal") && (*it)["refusal"].is_string())
    text += ": " + (*it)["refusal"].get<std::string>();
  return text;
}

// What a row calls an entry: its "Name", else the end of its path.
std::string Label(const json& entry) {
  std::string label = Text(entry, "label");
  if (!label.empty()) return label;
  std::string name = Text(entry, "name");
  if (auto slash = name.rfind('/'); slash != std::string::npos) name = name.substr(slash + 1);
  if (!name.empty() && name.back() == '\'') name.pop_back();
  return name;
}

// Columns a terminal gives the text: East Asian wide characters take two.
std::size_t Width(const std::string& text) {
  std::size_t width = 0;
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead < 0xc0 ? 1 : lead < 0xe0 ? 2 : lead < 0xf0 ? 3 : 4;
    char32_t code = length == 1 ? lead : lead & (0x7f >> length);
    for (std::size_t k = 1; k < length && i + k < text.size(); ++k)
      code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3f);
    const bool wide = (code >= 0x1100 && code <= 0x115f) || (code >= 0x2e80 && code <= 0xa4cf) ||
                      (code >= 0xac00 && code <= 0xd7a3) || (code >= 0xf900 && code <= 0xfaff) ||
                      (code >= 0xfe30 && code <= 0xfe4f) || (code >= 0xff00 && code <= 0xff60) ||
                      (code >= 0xffe0 && code <= 0xffe6) || code >= 0x20000;
    width += wide ? 2 : 1;
    i += length;
  }
  return width;
}

std::string Pad(const std::string& text, std::size_t width) {
  return text + std::string(width > Width(text) ? width - Width(text) : 0, ' ');
}

std::string Joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
  return text;
}

struct Row {
  std::string table, name, label;
  std::map<std::size_t, json> on;  // server index -> its entry
};

}  // namespace

FleetStatus MergeStatus(const std::vector<Server>& servers, const std::vector<Answer>& answers) {
  FleetStatus out;
  std::vector<std::optional<json>> statuses(servers.size());
  std::map<std::string, std::size_t> fingerprints;
  std::vector<std::string> first_seen;
  for (std::size_t i = 0; i < servers.size(); ++i) {
    if (answers[i].reach != Reach::answered) continue;
    statuses[i] = ParseStatus(answers[i].reply);
    if (!statuses[i]) continue;
    const std::string fingerprint = Text((*statuses[i])["file"], "fingerprint");
    if (fingerprints[fingerprint]++ == 0) first_seen.push_back(fingerprint);
  }
  // The most common fingerprint; a tie goes to the one the servers file meets first.
  std::string common;
  std::size_t most = 0;
  for (const std::string& fingerprint : first_seen) {
    if (fingerprints[fingerprint] > most) {
      most = fingerprints[fingerprint];
      common = fingerprint;
    }
  }

  std::map<std::pair<std::string, std::string>, Row> rows;
  out.merged = {{"most_common_fingerprint", common.empty() ? json() : json(common)},
                {"servers", json::array()},
                {"entries", json::array()}};
  std::vector<std::string> server_problems;
  for (std::size_t i = 0; i < servers.size(); ++i) {
    const Server& server = servers[i];
    const Answer& answer = answers[i];
    json merged = {{"name", server.name},
                   {"host", server.host},
                   {"port", server.port},
                   {"reach", ReachName(answer.reach)},
                   {"error", answer.error.empty() ? json() : json(answer.error)}};
    std::string line = server.name + ": ";
    if (answer.reach != Reach::answered) {
      line += std::string(ReachName(answer.reach)) + ": " + answer.error;
      server_problems.push_back(line);
      out.exit_status = kExitUnreached;
    } else if (!statuses[i]) {
      line += "no status: " + ShownFirstLine(answer.reply);
      merged["error"] = line.substr(server.name.size() + 2);
      server_problems.push_back(line);
      out.exit_status = std::max(out.exit_status, kExitWarning);
    } else {
      const json& status = *statuses[i];
      const json clock = status.value("server", json::object());
      const std::string fingerprint = Text(status["file"], "fingerprint");
      const std::string on_disk = Text(status["file"], "on_disk");
      const bool differs = fingerprint != common;
      line += Text(clock, "local") + " " + Text(clock, "zone") + Offset(clock) + "; file " +
              fingerprint;
      if (on_disk == "differs" || on_disk == "missing") line += " (file on disk " + on_disk + ")";
      if (differs) {
        line += " differs from the most common, " + common;
        server_problems.push_back(server.name + ": file " + fingerprint +
                                  " differs from the most common, " + common);
        out.exit_status = std::max(out.exit_status, kExitWarning);
      }
      line += "; " + std::to_string(Count(status, "runs_since_load")) + " runs since load; " +
              ReloadText(status);
      merged.update({{"server", clock},
                     {"fingerprint", fingerprint},
                     {"fingerprint_differs", differs},
                     {"on_disk", on_disk},
                     {"loaded", status.value("loaded", json())},
                     {"reload", status.value("reload", json())},
                     {"runs_since_load", status.value("runs_since_load", json())}});
      for (const json& entry : status["entries"]) {
        Row& row = rows[{Text(entry, "table"), Text(entry, "name")}];
        if (row.on.empty()) {
          row.table = Text(entry, "table");
          row.name = Text(entry, "name");
          row.label = Label(entry);
        }
        row.on[i] = entry;
      }
    }
    out.text += line + "\n";
    out.merged["servers"].push_back(std::move(merged));
  }

  // The table: entries by the servers that answered with a status.
  std::vector<std::size_t> columns;
  for (std::size_t i = 0; i < servers.size(); ++i)
    if (statuses[i]) columns.push_back(i);
  std::vector<std::vector<std::string>> cells;
  cells.push_back({"entry (spawned/held by cap/failed)"});
  for (std::size_t i : columns) cells[0].push_back(servers[i].name);
  std::vector<std::string> marks = {""};
  std::vector<std::string> entry_problems;
  for (const auto& [key, row] : rows) {
    std::vector<std::string> fails, unknown, never, spawns;
    json counts = json::object();
    std::vector<std::string> line = {row.table + " " + row.label};
    for (std::size_t i : columns) {
      auto it = row.on.find(i);
      if (it == row.on.end()) {
        line.push_back("-");
        continue;
      }
      const json& entry = it->second;
      const std::string& name = servers[i].name;
      line.push_back(std::to_string(Count(entry, "spawned")) + "/" +
                     std::to_string(Count(entry, "held_by_cap")) + "/" +
                     std::to_string(Count(entry, "failed")));
      json& per = counts[name];
      for (const char* count : kCounts) per[count] = Count(entry, count);
      per["cap"] = entry.value("cap", json());
      per["wild_now"] = entry.value("wild_now", json());
      if (Count(entry, "failed") > 0) fails.push_back(name);
      if (Count(entry, "class_unknown") > 0) unknown.push_back(name);
      const bool spawned = Count(entry, "spawned") + Count(entry, "spawned_on_command") > 0;
      if (spawned) spawns.push_back(name);
      if (!spawned && Count(entry, "fell_due") > 0) never.push_back(name);
    }
    std::vector<std::string> row_marks;
    if (!fails.empty()) row_marks.push_back("fails on " + Joined(fails));
    if (!unknown.empty()) row_marks.push_back("class unknown on " + Joined(unknown));
    if (!never.empty() && !spawns.empty())
      row_marks.push_back("never spawns on " + Joined(never) + " (spawns on " + Joined(spawns) +
                          ")");
    for (const std::string& mark : row_marks) entry_problems.push_back(line[0] + ": " + mark);
    if (!row_marks.empty()) out.exit_status = std::max(out.exit_status, kExitWarning);
    out.merged["entries"].push_back({{"table", row.table},
                                     {"name", row.name},
                                     {"label", row.on.begin()->second.value("label", json())},
                                     {"marks", row_marks},
                                     {"servers", counts}});
    cells.push_back(std::move(line));
    marks.push_back(Joined(row_marks));
  }
  if (!rows.empty()) {
    std::vector<std::size_t> widths(cells[0].size(), 0);
    for (const auto& line : cells)
      for (std::size_t c = 0; c < line.size(); ++c) widths[c] = std::max(widths[c], Width(line[c]));
    out.text += "\n";
    for (std::size_t r = 0; r < cells.size(); ++r) {
      std::string text;
      for (std::size_t c = 0; c < cells[r].size(); ++c) text += Pad(cells[r][c], widths[c] + 2);
      text += marks[r];
      while (!text.empty() && text.back() == ' ') text.pop_back();
      out.text += text + "\n";
    }
  }

  out.problems = std::move(server_problems);
  out.problems.insert(out.problems.end(), entry_problems.begin(), entry_problems.end());
  out.merged["problems"] = out.problems;
  out.merged["exit_status"] = out.exit_status;
  return out;
}

}  // namespace drovekeeper::fleet
