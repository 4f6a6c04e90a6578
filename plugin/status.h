// The RCON command "Drovekeeper.status": for the operator on the live server,
// what became of every entry's turns since Load and when each falls due
// next, one line per entry. It formats the run's outcome counters
// (spawn/outcomes.h), the schedule tables and the load and reload record
// kept here; it never walks the level, calls the game only to reply, and
// never logs. Registered by Load after the reload command; plugin/ and tests
// call it.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "host/zelapi.h"
#include "plugin/config_read.h"

namespace drovekeeper::plugin {

// Load read the file: counting starts afresh (the outcome counters and the
// runs), and no reload has happened yet.
void RecordLoad(const ConfigReadResult& read);
// A reload ended, taken or refused (with the first place and reason).
void RecordReload(const ConfigReadResult& read);
// Forgets the load and reload record; the outcome counters have their own.
void ResetStatusRecord();
// The fingerprint of the bytes read at the last load or reload that took.
const std::string& InForceFingerprint();

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

// "YYYY-MM-DD HH:MM", local.
std::string LocalMinuteText(std::int64_t ticks);

// The reply, UTF-8, lines joined by "\n": the server's time and zone, the
// load, the last reload and the runs since load; then one line per entry of
// the countdown table and then of the clock table, in the order the run
// walks them, limited to names containing `filter` when it is not empty.
std::string StatusText(std::string_view filter);

// Replies StatusText of whatever the client wrote after the command's name.
// Nothing it throws reaches the host's dispatch (plugin/entry_guard.h).
void StatusCommand(RCONClientConnection* connection, RCONPacket* packet, UWorld* world) noexcept;

}  // namespace drovekeeper::plugin
