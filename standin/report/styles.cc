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

// Cut to fit a label column, never inside a UTF-8 sequence.
std::string Shortened(std::string text) {
  constexpr std::size_t kMostBytes = 44;
  if (text.size() <= kMostBytes) return text;
  std::size_t cut = kMostBytes;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  text.resize(cut);
  return text + "\xE2\x80\xA6";
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

  std::vector<Key> drawn = keys;
  if (keys.size() > kMostDrawn) {
    std::stable_sort(drawn.begin(), drawn.end(),
                     [&](const Key& a, const Key& b) { return busy[a] > busy[b]; });
    drawn.resize(kMostDrawn);
  }
  const std::set<Key> own(drawn.begin(), drawn.end());
  for (const Key& key : keys) {
    if (own.contains(key)) Add(key, records.count(key) != 0 ? records[key] : nullptr);
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
    if (spawn.entry.empty()) Add(KeyOf(spawn), nullptr);
  }
}

Styles::Key Styles::KeyOf(const SpawnPoint& spawn) {
  if (spawn.entry.empty()) return {2, spawn.class_path};
  return {static_cast<int>(spawn.table), spawn.entry};
}

void Styles::Add(const Key& key, const EntryRecord* record) {
  auto [it, inserted] = styles_.try_emplace(key);
  if (!inserted) return;
  EntryStyle& style = it->second;
  style.colour = ColourNumber(order_.size());
  style.entry = key.second;
  if (key.first == 2) {
    style.label = key.second + " (no entry)";
    style.short_label = Shortened(ShortClassName(key.second) + " (no entry)");
  } else {
    style.table = TableName(static_cast<Table>(key.first));
    const bool named = record != nullptr && !record->display_name.empty();
    style.label = style.table + " \xC2\xB7 " +
                  (named ? record->display_name + " \xE2\x80\x94 " + key.second : key.second);
    style.short_label =
        Shortened(style.table + " " + (named ? record->display_name : ShortClassName(key.second)));
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
