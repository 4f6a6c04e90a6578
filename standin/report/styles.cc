// One colour and label per entry: a clock-table entry and a countdown entry
// of one class are told apart everywhere on the page.
#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <set>

#include "standin/report/render.h"

namespace standin::report::render {

namespace {

constexpr std::string_view kPalette[] = {"#1f77b4", "#ff7f0e", "#2ca02c", "#d62728", "#9467bd",
                                         "#8c564b", "#e377c2", "#17becf", "#bcbd22", "#7f7f7f"};

// Past the palette, hues a golden angle apart stay distinct for a long while.
std::string ColourNumber(std::size_t index) {
  if (index < std::size(kPalette)) return std::string(kPalette[index]);
  const double hue = static_cast<double>(index - std::size(kPalette)) * 137.508 + 20.0;
  return fmt::format("hsl({:.0f},60%,{}%)", std::fmod(hue, 360.0), index % 2 == 0 ? 38 : 52);
}

constexpr std::size_t kMostBytes = 44;  // what a label column holds
constexpr std::string_view kEllipsis = "\xE2\x80\xA6";

// The longest start of `text` within `bytes`, never inside a UTF-8 sequence.
std::size_t StartWithin(std::string_view text, std::size_t bytes) {
  if (text.size() <= bytes) return text.size();
  while (bytes > 0 && (static_cast<unsigned char>(text[bytes]) & 0xC0) == 0x80) --bytes;
  return bytes;
}

// `text` within `bytes`, its middle left out: the start tells apart what
// begins differently, the end (the larger part) what ends differently.
std::string Elided(std::string_view text, std::size_t bytes) {
  if (text.size() <= bytes) return std::string(text);
  const std::size_t room = bytes > kEllipsis.size() ? bytes - kEllipsis.size() : 0;
  const std::size_t head = StartWithin(text, room / 3);
  std::size_t tail = text.size() - (room - head);
  while (tail < text.size() && (static_cast<unsigned char>(text[tail]) & 0xC0) == 0x80) ++tail;
  return std::string(text.substr(0, head)) + std::string(kEllipsis) +
         std::string(text.substr(tail));
}

// A class path's folders and its class, the class's "Rex.Rex" read as "Rex".
std::vector<std::string> PathParts(const std::string& path) {
  std::vector<std::string> parts;
  std::string rest = path;
  if (rest.ends_with('\'')) rest.pop_back();
  rest = rest.substr(rest.find('\'') + 1);
  for (std::size_t from = 0; from <= rest.size();) {
    const std::size_t slash = std::min(rest.find('/', from), rest.size());
    if (slash > from) parts.push_back(rest.substr(from, slash - from));
    from = slash + 1;
  }
  if (!parts.empty()) {
    std::string& last = parts.back();
    const std::size_t dot = last.find('.');
    if (dot != std::string::npos && last.substr(dot + 1) == last.substr(0, dot)) last.resize(dot);
  }
  return parts;
}

std::string JoinedEnd(const std::vector<std::string>& parts, std::size_t count) {
  std::string end;
  for (std::size_t i = parts.size() - std::min(count, parts.size()); i < parts.size(); ++i) {
    end += (end.empty() ? "" : "/") + parts[i];
  }
  return end;
}

// The ends of a page's class paths: for each, the shortest that no other
// path ends with, the class alone or with the folders that tell it apart.
class PathEnds {
 public:
  explicit PathEnds(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) parts_.try_emplace(path, PathParts(path));
  }

  std::string DistinctEnd(const std::string& path) {
    const std::vector<std::string>& parts = parts_.at(path);
    for (std::size_t count = 1; count < parts.size(); ++count) {
      const std::string end = JoinedEnd(parts, count);
      if (Ends(count).at(end) == 1) return end;
    }
    return JoinedEnd(parts, parts.size());
  }

 private:
  // How many paths end in each end of `count` parts.
  const std::map<std::string, int>& Ends(std::size_t count) {
    auto [it, fresh] = ends_.try_emplace(count);
    if (fresh) {
      for (const auto& [path, parts] : parts_) ++it->second[JoinedEnd(parts, count)];
    }
    return it->second;
  }

  std::map<std::string, std::vector<std::string>> parts_;  // one per distinct path
  std::map<std::size_t, std::map<std::string, int>> ends_;
};

// A row label within the column: the table, the "Name" where there is one,
// then the path's end, each elided in its middle as far as needed.
std::string ShortLabel(const std::string& table, const std::string& name, const std::string& end) {
  const std::string prefix = table.empty() ? "" : table + " ";
  const std::string separator = name.empty() ? "" : " \xC2\xB7 ";
  const std::size_t room = kMostBytes - prefix.size();
  if (name.size() + separator.size() + end.size() <= room) return prefix + name + separator + end;
  // The path's end takes what it needs up to half the room, the name the rest.
  const std::string short_name =
      Elided(name, room - separator.size() - std::min(end.size(), room / 2));
  return prefix + short_name + separator + Elided(end, room - short_name.size() - separator.size());
}

}  // namespace

std::string ShortClassName(const std::string& path) {
  std::string name = path.substr(path.find_last_of('/') + 1);
  if (name.ends_with('\'')) name.pop_back();
  return name;
}

Styles::Styles(const ReportInput& input) {
  // Entries in the order first met, with their spawns and turns.
  std::vector<Key> keys;
  std::map<Key, std::pair<int, int>> busy;
  std::map<Key, const EntryRecord*> records;
  auto meet = [&](const Key& key) -> std::pair<int, int>& {
    auto [it, inserted] = busy.try_emplace(key);
    if (inserted) keys.push_back(key);
    return it->second;
  };
  for (const EntryRecord& entry : input.entries) {
    const Key key{static_cast<int>(entry.table), entry.name};
    meet(key).second = entry.fell_due;
    records[key] = &entry;
  }
  for (const EntryCap& cap : input.caps) meet({static_cast<int>(cap.table), cap.entry});
  for (const SpawnPoint& spawn : input.spawns) {
    if (!spawn.entry.empty()) ++meet(KeyOf(spawn)).first;
  }

  // Every clock entry, and every entry with a turn that did not spawn,
  // keeps its own row: bosses and trouble are what an operator looks for.
  // The busiest of the rest, entries that spawned every time, fill the
  // other rows, and what is left is folded.
  std::vector<Key> drawn;
  std::vector<Key> ranked;
  for (const Key& key : keys) {
    const EntryRecord* record = records.count(key) != 0 ? records[key] : nullptr;
    const bool kept = key.first == static_cast<int>(Table::kClock) ||
                      (record != nullptr && record->spawned < record->fell_due);
    (kept ? drawn : ranked).push_back(key);
  }
  if (keys.size() > kMostDrawn) {
    std::stable_sort(ranked.begin(), ranked.end(),
                     [&](const Key& a, const Key& b) { return busy[a] > busy[b]; });
    ranked.resize(kMostDrawn - std::min(kMostDrawn, drawn.size()));
  }
  drawn.insert(drawn.end(), ranked.begin(), ranked.end());
  const std::set<Key> own(drawn.begin(), drawn.end());
  std::vector<std::string> paths;
  for (const Key& key : keys) paths.push_back(key.second);
  for (const SpawnPoint& spawn : input.spawns) {
    if (spawn.entry.empty()) paths.push_back(spawn.class_path);
  }
  PathEnds ends(paths);
  for (const Key& key : keys) {
    if (own.contains(key)) {
      Add(key, records.count(key) != 0 ? records[key] : nullptr, ends.DistinctEnd(key.second));
    }
  }
  if (keys.size() > own.size()) {
    EntryStyle& other = other_.emplace_back();
    other.colour = "#9e9e9e";
    other.label = fmt::format("{} other entries", keys.size() - own.size());
    other.short_label = other.label;
    other.other = true;
    order_.push_back(&other);
    for (const Key& key : keys) {
      if (!own.contains(key)) grouped_[key] = &other;
    }
  }
  for (const SpawnPoint& spawn : input.spawns) {
    if (spawn.entry.empty()) Add(KeyOf(spawn), nullptr, ends.DistinctEnd(spawn.class_path));
  }
}

Styles::Key Styles::KeyOf(const SpawnPoint& spawn) {
  if (spawn.entry.empty()) return {2, spawn.class_path};
  return {static_cast<int>(spawn.table), spawn.entry};
}

void Styles::Add(const Key& key, const EntryRecord* record, const std::string& path_end) {
  auto [it, inserted] = styles_.try_emplace(key);
  if (!inserted) return;
  EntryStyle& style = it->second;
  style.colour = ColourNumber(order_.size());
  style.entry = key.second;
  if (key.first == 2) {
    style.label = key.second + " (no entry)";
    style.short_label = ShortLabel("", "", path_end + " (no entry)");
  } else {
    style.table = TableName(static_cast<Table>(key.first));
    const bool named = record != nullptr && !record->display_name.empty();
    style.label = style.table + " \xC2\xB7 " +
                  (named ? record->display_name + " \xE2\x80\x94 " + key.second : key.second);
    style.short_label = ShortLabel(style.table, named ? record->display_name : "", path_end);
  }
  order_.push_back(&style);
}

const EntryStyle& Styles::Of(Table table, const std::string& entry) const {
  const Key key{static_cast<int>(table), entry};
  if (auto it = grouped_.find(key); it != grouped_.end()) return *it->second;
  return styles_.at(key);
}

const EntryStyle& Styles::Of(const SpawnPoint& spawn) const {
  if (auto it = grouped_.find(KeyOf(spawn)); it != grouped_.end()) return *it->second;
  return styles_.at(KeyOf(spawn));
}

void WriteLegend(const Styles& styles, std::string_view id, std::ostream& out) {
  WriteFilter(std::string("#") + std::string(id) + " li", "the legend", out);
  out << "<ul class=\"legend\" id=\"" << id << "\">";
  for (const EntryStyle* style : styles.order()) {
    out << "<li data-table=\"" << style->table << "\" data-entry=\"" << EscapeHtml(style->entry)
        << "\" data-colour=\"" << style->colour << (style->other ? "\" class=\"other" : "")
        << "\"><span class=\"swatch\" style=\"background:" << style->colour << "\"></span>"
        << EscapeHtml(style->label) << "</li>";
  }
  out << "</ul>\n";
}

}  // namespace standin::report::render

namespace standin::report::render {

void WriteFilter(std::string_view rows, std::string_view what, std::ostream& out) {
  out << "<p class=\"filter\"><input type=\"search\" class=\"filter\" data-rows=\""
      << EscapeHtml(rows) << "\" placeholder=\"Filter " << what << "\" aria-label=\"Filter " << what
      << "\"> <span class=\"filter-count\"></span></p>\n";
}

}  // namespace standin::report::render
