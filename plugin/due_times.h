// When things happen, as the operator's commands say it: an instant's local
// and UTC texts, the zone, the next run and when each entry falls due next.
// Read through the Env, so a scripted clock governs them. Used by the
// status and check commands (plugin/status.cc, plugin/check_command.cc).
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace drovekeeper::plugin {

// "YYYY-MM-DD HH:MM:SS", local.
std::string LocalText(std::int64_t ticks);
// "YYYY-MM-DD HH:MM", local: the runs drift by seconds, so a due time says
// no more than its minute.
std::string LocalMinuteText(std::int64_t ticks);
// "YYYY-MM-DDTHH:MM:SSZ".
std::string UtcText(std::int64_t ticks);
// The zone's name and its offset from UTC then: "CET (UTC+01:00)".
std::string ZoneText(std::int64_t ticks);

// The run the host's calls will bring next: the gate's time, or the next
// call when the gate is already open.
std::int64_t NextRun(std::int64_t now);

// When an entry falls due next, from the next run on: the run's time, or
// none with what the reply says instead ("never (clock text ...)").
struct NextDue {
  std::optional<std::int64_t> at;
  std::string never;
};
// A countdown entry from the count it has left.
NextDue CountdownNextDue(const nlohmann::json& left, std::int64_t next_run);
// A clock entry from its clock text.
NextDue ClockNextDue(const nlohmann::json& text, std::int64_t next_run);
// What a reply says of it: the run's local minute, or why there is none.
std::string DueText(const NextDue& due);

}  // namespace drovekeeper::plugin
