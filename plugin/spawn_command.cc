#include "plugin/spawn_command.h"

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <algorithm>
#include <exception>
#include <nlohmann/json.hpp>
#include <vector>

#include "check/spelling.h"
#include "config/config.h"
#include "plugin/entry_guard.h"
#include "plugin/reply.h"
#include "spawn/notice.h"
#include "spawn/spawn.h"

namespace drovekeeper::plugin {

namespace {

constexpr std::string_view kSpawnUsage = "usage: Drovekeeper.spawn SpawnDino|SpawnDinoX NAME";
constexpr std::string_view kSpaceOrTab = " \t";

// The entries a run walks: the table's, not the document's.
const nlohmann::json& EntriesOf(std::string_view table) {
  return table == config::kCountdownTableKey ? config::CountdownTable : config::ClockTable;
}

// The entry's "Name" when it has one as a text, else empty.
std::string DisplayName(std::string_view table, const std::string& entry) {
  const nlohmann::json* name =
      config::FindEntrySetting(config::ConfigDocument, table, entry, config::kNameKey);
  return name != nullptr && name->is_string() ? name->get<std::string>() : std::string();
}

// The entry whose path is `name`, else every entry whose "Name" is.
std::vector<std::string> EntriesNamed(std::string_view table, std::string_view name) {
  const nlohmann::json& entries = EntriesOf(table);
  if (!entries.is_object()) return {};
  const std::string wanted(name);
  if (entries.contains(wanted)) return {wanted};
  std::vector<std::string> found;
  for (const auto& [path, value] : entries.items()) {
    if (DisplayName(table, path) == wanted) found.push_back(path);
  }
  return found;
}

// The table's entries closest to `name` by the edit distance of their path
// or "Name", whichever is closer, the nearest first.
std::string ClosestNames(std::string_view table, std::string_view name) {
  struct Candidate {
    std::size_t distance;
    std::string text;
  };
  std::vector<Candidate> candidates;
  const nlohmann::json& entries = EntriesOf(table);
  if (entries.is_object()) {
    for (const auto& [path, value] : entries.items()) {
      const auto distance = [name](std::string_view other) {
        return check::EditDistance(name, other, std::max(name.size(), other.size()));
      };
      Candidate candidate{distance(path), path};
      const std::string display = DisplayName(table, path);
      if (!display.empty() && distance(display) < candidate.distance) {
        candidate = {distance(display), fmt::format("{} ({})", display, path)};
      }
      candidates.push_back(std::move(candidate));
    }
  }
  if (candidates.empty()) return "the table has no entries";
  std::stable_sort(candidates.begin(), candidates.end(),
                   [](const Candidate& a, const Candidate& b) { return a.distance < b.distance; });
  std::string text = "closest: ";
  for (std::size_t i = 0; i < candidates.size() && i < kClosestNamesShown; ++i) {
    if (i > 0) text += ", ";
    text += candidates[i].text;
  }
  return text;
}

std::string TurnText(const spawn::TurnOutcome& turn) {
  switch (turn.outcome) {
    case spawn::EntryOutcome::kSpawned: {
      const spawn::SpawnedCreature& spawned = turn.spawned;
      const spawn::MapPosition at =
          spawn::CurrentMapCoordinates(spawned.location.X, spawned.location.Y);
      // Latitude first, as the spawn notice gives the position.
      return fmt::format("spawned at {}, {} level {}", at.latitude, at.longitude, spawned.level);
    }
    case spawn::EntryOutcome::kHeldByCap:
      return fmt::format("held by cap (count {}, cap {})", turn.cap.count, turn.cap.cap);
    case spawn::EntryOutcome::kClassUnknown:
      return "class unknown";
    default:
      return "spawn refused";
  }
}

}  // namespace

std::string SpawnCommandText(std::string_view arguments) {
  const std::size_t gap = std::min(arguments.size(), arguments.find_first_of(kSpaceOrTab));
  const std::string_view table = arguments.substr(0, gap);
  std::string_view name = arguments.substr(gap);
  name.remove_prefix(std::min(name.size(), name.find_first_not_of(kSpaceOrTab)));
  if ((table != config::kCountdownTableKey && table != config::kClockTableKey) || name.empty()) {
    return std::string(kSpawnUsage);
  }
  const std::vector<std::string> found = EntriesNamed(table, name);
  if (found.empty())
    return fmt::format("no {} entry {}; {}", table, name, ClosestNames(table, name));
  if (found.size() > 1) {
    return fmt::format("{} {} entries have the \"Name\" {}: {}; give the path", found.size(), table,
                       name, fmt::join(found, ", "));
  }
  try {
    return TurnText(spawn::TakeCommandedTurn(table, found.front()));
  } catch (const std::exception& e) {
    return fmt::format("failed: {}", e.what());
  }
}

void SpawnCommand(RCONClientConnection* connection, RCONPacket* packet,
                  UWorld* /*world*/) noexcept {
  GuardHostEntry("the spawn command", [&] {
    const std::string text = SpawnCommandText(CommandArguments(packet));
    SendCommandReply(connection, packet, ZelApi::Tools::Utf8Decode(text));
  });
}

}  // namespace drovekeeper::plugin
