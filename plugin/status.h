// The RCON command "Drovekeeper.status": for the operator on the live server,
// what became of every entry's turns since Load and when each falls due
// next, one line per entry. It formats the run's outcome counters
// (spawn/outcomes.h), the schedule tables and the load and reload record
// kept here; it never walks the level, calls the game only to reply, and
// never logs. Registered by Load after the reload command; plugin/ and tests
// call it.
#pragma once

#include <string>
#include <string_view>

#include "host/zelapi.h"
#include "plugin/config_read.h"

namespace drovekeeper::plugin {

// Load read the file: counting starts afresh (the outcome counters and the
// runs), and no reload has happened yet.
void RecordLoad();
// A reload ended, taken or refused (with the first place and reason).
void RecordReload(const ConfigReadResult& read);
// Forgets the load and reload record; the outcome counters have their own.
void ResetStatusRecord();

// The reply, UTF-8, lines joined by "\n": the server's time and zone, the
// load, the last reload and the runs since load; then one line per entry of
// the countdown table and then of the clock table, in the order the run
// walks them, limited to names containing `filter` when it is not empty.
std::string StatusText(std::string_view filter);

// Replies StatusText of whatever the client wrote after the command's name.
// Nothing it throws reaches the host's dispatch (plugin/entry_guard.h).
void StatusCommand(RCONClientConnection* connection, RCONPacket* packet, UWorld* world) noexcept;

}  // namespace drovekeeper::plugin
