// The map section: the 0..100 map square with every spawn, spawns at one
// point drawn once with their count, positions off the map pinned to its edge
// and listed, and where random positions can land.
#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <tuple>

#include "standin/report/render.h"

namespace standin::report {

namespace render {

namespace {

// Pixels per map unit, and the margin around the map square for its labels
// and the edge marks of points beyond it.
constexpr double kScale = 6.0;
constexpr double kMin = -6.0;
constexpr double kMax = 104.0;

// Map units a side of the cells the other entries' spawns are counted in.
constexpr double kOtherCell = 2.0;

double Px(double map_units) { return (map_units - kMin) * kScale; }
double OnMap(double value) { return std::clamp(value, 0.0, 100.0); }

std::string MapNumber(float value) { return fmt::format("{:g}", static_cast<double>(value)); }

// Spawns of one entry at one position.
struct Stack {
  const EntryStyle* style;
  const SpawnPoint* first;
  std::int64_t last_time;
  int count = 0;
  std::int32_t min_level;
  std::int32_t max_level;
  MapPoint at;     // exact
  MapPoint shown;  // as a notice prints it
  bool off_map() const { return at.lat < 0 || at.lat > 100 || at.lon < 0 || at.lon > 100; }
};

// The float's bits: equal keys for equal positions, -0 and 0 apart. (The web
// build's C++ library has no std::bit_cast.)
std::uint32_t Bits(float value) {
  std::uint32_t bits = 0;
  std::memcpy(&bits, &value, sizeof(bits));
  return bits;
}

std::vector<Stack> StacksOf(const ReportInput& input, const Styles& styles) {
  using Key = std::tuple<const EntryStyle*, std::uint32_t, std::uint32_t, std::uint32_t>;
  std::map<Key, std::size_t> index;
  std::vector<Stack> stacks;
  for (const SpawnPoint& spawn : input.spawns) {
    const EntryStyle* style = &styles.Of(spawn);
    Key key{style, Bits(spawn.x), Bits(spawn.y), Bits(spawn.z)};
    if (style->other) {
      // The many other entries share one point per cell of the map.
      const MapPoint at = ToMap(input.map, spawn.x, spawn.y);
      auto cell = [](double v) {
        const double near = std::clamp(v, -kOtherCell, 100 + kOtherCell);
        return static_cast<std::uint32_t>(static_cast<std::int32_t>(std::floor(near / kOtherCell)));
      };
      key = {style, cell(at.lat), cell(at.lon), 0};
    }
    auto [it, inserted] = index.try_emplace(key, stacks.size());
    if (inserted) {
      stacks.push_back({style, &spawn, spawn.time, 0, spawn.level, spawn.level,
                        ToMap(input.map, spawn.x, spawn.y),
                        ToNoticeMap(input.map, spawn.x, spawn.y)});
    }
    Stack& stack = stacks[it->second];
    ++stack.count;
    stack.last_time = spawn.time;
    stack.min_level = std::min(stack.min_level, spawn.level);
    stack.max_level = std::max(stack.max_level, spawn.level);
  }
  return stacks;
}

std::string LevelText(const Stack& stack) {
  if (stack.min_level == stack.max_level) return std::to_string(stack.min_level);
  return fmt::format("{}-{}", stack.min_level, stack.max_level);
}

std::string PositionText(const SpawnPoint& spawn) {
  return fmt::format("X {:g} Y {:g} Z {:g}", static_cast<double>(spawn.x),
                     static_cast<double>(spawn.y), static_cast<double>(spawn.z));
}

std::string WhenText(const Stack& stack) {
  if (stack.count == 1) return LocalTimeText(stack.first->time);
  return fmt::format("{} spawns, {} to {}", stack.count, LocalTimeText(stack.first->time),
                     LocalTimeText(stack.last_time));
}

void WriteGrid(std::ostream& out) {
  out << "<g class=\"grid\">";
  for (int v = 0; v <= 100; v += 10) {
    const char* edge = v == 0 || v == 100 ? " class=\"edge\"" : "";
    out << "<line" << edge << " x1=\"" << Num(Px(v)) << "\" y1=\"" << Num(Px(0)) << "\" x2=\""
        << Num(Px(v)) << "\" y2=\"" << Num(Px(100)) << "\"/><line" << edge << " x1=\"" << Num(Px(0))
        << "\" y1=\"" << Num(Px(v)) << "\" x2=\"" << Num(Px(100)) << "\" y2=\"" << Num(Px(v))
        << "\"/><text x=\"" << Num(Px(v) + 2) << "\" y=\"" << Num(Px(0) - 4) << "\">" << v
        << "</text><text x=\"" << Num(Px(0) - 18) << "\" y=\"" << Num(Px(v) + 3) << "\">" << v
        << "</text>";
  }
  out << "</g>\n";
}

// The squares random positions land in, cut to the map square.
void WriteSquares(const ReportInput& input, const Styles& styles, std::ostream& out) {
  for (const EntryRecord& entry : input.entries) {
    if (!entry.random_position || !entry.has_base) continue;
    if (styles.Of(entry.table, entry.name).other) continue;
    for (const Square& square : RandomSquares(entry.base_x, entry.base_y)) {
      const MapPoint a =
          ToMap(input.map, static_cast<float>(square.min_x), static_cast<float>(square.min_y));
      const MapPoint b =
          ToMap(input.map, static_cast<float>(square.max_x), static_cast<float>(square.max_y));
      const double left = OnMap(std::min(a.lon, b.lon));
      const double right = OnMap(std::max(a.lon, b.lon));
      const double top = OnMap(std::min(a.lat, b.lat));
      const double bottom = OnMap(std::max(a.lat, b.lat));
      if (right <= left || bottom <= top) continue;
      const std::string& colour = styles.Of(entry.table, entry.name).colour;
      out << "<rect class=\"square\" data-table=\"" << TableName(entry.table) << "\" data-entry=\""
          << EscapeHtml(entry.name) << "\" x=\"" << Num(Px(left)) << "\" y=\"" << Num(Px(top))
          << "\" width=\"" << Num((right - left) * kScale) << "\" height=\""
          << Num((bottom - top) * kScale) << "\" fill=\"" << colour
          << "\" fill-opacity=\"0.12\" stroke-opacity=\"0.4\" stroke=\"" << colour << "\"/>\n";
    }
  }
}

void WriteStack(const Stack& stack, std::ostream& out) {
  const double x = Px(OnMap(stack.at.lon));
  const double y = Px(OnMap(stack.at.lat));
  const double r = stack.count > 1 ? 7 : 5;
  std::string tip =
      stack.style->other
          ? fmt::format("{}\n{}\nLevel {}\nwithin {:g} of Lat {} Lon {}", stack.style->label,
                        WhenText(stack), LevelText(stack), kOtherCell, MapNumber(stack.shown.lat),
                        MapNumber(stack.shown.lon))
          : fmt::format("{}\n{}\nLevel {}\nLat {} Lon {}\n{}", stack.style->label, WhenText(stack),
                        LevelText(stack), MapNumber(stack.shown.lat), MapNumber(stack.shown.lon),
                        PositionText(*stack.first));
  if (stack.off_map()) {
    tip += "\nOff the map: drawn at its edge";
    // An arrow from the edge towards where the point lies.
    const double dx = stack.at.lon - OnMap(stack.at.lon);
    const double dy = stack.at.lat - OnMap(stack.at.lat);
    const double length = std::hypot(dx, dy);
    const double ux = dx / length;
    const double uy = dy / length;
    const double tip_x = x + ux * (r + 12);
    const double tip_y = y + uy * (r + 12);
    const double base_x = x + ux * (r + 2);
    const double base_y = y + uy * (r + 2);
    out << "<path class=\"off-map-arrow\" d=\"M" << Num(tip_x) << ' ' << Num(tip_y) << "L"
        << Num(base_x - uy * 5) << ' ' << Num(base_y + ux * 5) << "L" << Num(base_x + uy * 5) << ' '
        << Num(base_y - ux * 5) << "Z\" fill=\"" << stack.style->colour
        << "\" stroke=\"#000\" stroke-width=\".6\"/>";
  }
  out << "<circle class=\"spawn" << (stack.off_map() ? " off-map" : "") << "\" cx=\"" << Num(x)
      << "\" cy=\"" << Num(y) << "\" r=\"" << r << "\" fill=\"" << stack.style->colour
      << "\" data-table=\"" << stack.style->table << "\" data-entry=\""
      << EscapeHtml(stack.style->entry) << "\" data-count=\"" << stack.count;
  // A cell of the other entries has its tooltip only.
  if (!stack.style->other) {
    out << "\" data-class=\"" << EscapeHtml(stack.first->class_path) << "\" data-time=\""
        << LocalTimeText(stack.first->time) << "\" data-level=\"" << LevelText(stack)
        << "\" data-lat=\"" << MapNumber(stack.shown.lat) << "\" data-lon=\""
        << MapNumber(stack.shown.lon);
  }
  out << "\" data-tip=\"" << TipAttribute(tip) << "\"/>";
  if (stack.count > 1) {
    out << "<text class=\"count\" x=\"" << Num(x + r + 1) << "\" y=\"" << Num(y - r + 2) << "\">"
        << stack.count << "</text>";
  }
  out << "\n";
}

void WriteOffMapList(const std::vector<Stack>& stacks, std::ostream& out) {
  if (std::none_of(stacks.begin(), stacks.end(), [](const Stack& s) { return s.off_map(); })) {
    return;
  }
  out << "<p>Spawns off the map, drawn at its edge with an arrow:</p>"
         "<table id=\"off-map-list\"><thead><tr><th>Entry</th><th>Spawns</th><th>When</th>"
         "<th>Lat</th><th>Lon</th><th>Position</th></tr></thead><tbody>\n";
  for (const Stack& stack : stacks) {
    if (!stack.off_map()) continue;
    out << "<tr data-table=\"" << stack.style->table << "\" data-entry=\""
        << EscapeHtml(stack.style->entry) << "\"><td>" << EscapeHtml(stack.style->label)
        << "</td><td class=\"n\">" << stack.count << "</td><td>" << WhenText(stack)
        << "</td><td class=\"n\">" << MapNumber(stack.shown.lat) << "</td><td class=\"n\">"
        << MapNumber(stack.shown.lon) << "</td><td>" << PositionText(*stack.first)
        << "</td></tr>\n";
  }
  out << "</tbody></table>\n";
}

}  // namespace

void WriteMap(const ReportInput& input, const Styles& styles, std::ostream& out) {
  const std::vector<Stack> stacks = StacksOf(input, styles);
  const double size = (kMax - kMin) * kScale;
  out << "<section id=\"map\"><h2>Map</h2>\n<svg id=\"map-svg\" width=\"" << Num(size)
      << "\" height=\"" << Num(size) << "\" viewBox=\"0 0 " << Num(size) << ' ' << Num(size)
      << "\" role=\"img\" aria-label=\"Spawns on the map\">\n";
  WriteGrid(out);
  WriteSquares(input, styles, out);
  for (const Stack& stack : stacks) WriteStack(stack, out);
  out << "</svg>\n";
  WriteLegend(styles, "map-legend", out);
  out << "<p>A number beside a point: spawns at that one position. Shaded squares: where "
         "entries with a random position can land.</p>\n";
  WriteOffMapList(stacks, out);
  out << "</section>\n";
}

}  // namespace render
}  // namespace standin::report
