// One colour and label per entry: a clock-table entry and a countdown entry
// of one class are told apart everywhere on the page.
#include <fmt/format.h>

#include <cmath>
#include <iterator>

#include "standin/report/render.h"

namespace report::render {

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
  for (const EntryRecord& entry : input.entries) {
    Add({static_cast<int>(entry.table), entry.name}, &entry);
  }
  for (const EntryCap& cap : input.caps) Add({static_cast<int>(cap.table), cap.entry}, nullptr);
  for (const SpawnPoint& spawn : input.spawns) Add(KeyOf(spawn), nullptr);
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
  return styles_.at({static_cast<int>(table), entry});
}

const EntryStyle& Styles::Of(const SpawnPoint& spawn) const { return styles_.at(KeyOf(spawn)); }

void WriteLegend(const Styles& styles, std::string_view id, std::ostream& out) {
  out << "<ul class=\"legend\" id=\"" << id << "\">";
  for (const EntryStyle* style : styles.order()) {
    out << "<li data-table=\"" << style->table << "\" data-entry=\"" << EscapeHtml(style->entry)
        << "\" data-colour=\"" << style->colour
        << "\"><span class=\"swatch\" style=\"background:" << style->colour << "\"></span>"
        << EscapeHtml(style->label) << "</li>";
  }
  out << "</ul>\n";
}

}  // namespace report::render
