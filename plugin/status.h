// The RCON command "Drovekeeper.status": for the operator on the live server
// and the tools that read it, what became of every entry's turns since Load,
// when each falls due next, its wild count now and its last spawn. It
// formats the run's outcome counters (spawn/outcomes.h), the schedule tables
// and the load and reload record kept here; it walks the level once per
// call for the wild counts, reads the file on disk for its fingerprint, and
// never logs. Registered by Load after the reload command; plugin/ and tests
// call it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "host/zelapi.h"
#include "plugin/config_read.h"

namespace drovekeeper::plugin {

// Load read the file: counting starts afresh (the outcome counters and the
// runs), and no reload has happened yet; the file read is the one in force.
void RecordLoad(const ConfigReadResult& read);
// A reload ended, taken (its file now in force) or refused (with the first
// place and reason).
void RecordReload(const ConfigReadResult& read);
// Forgets the load and reload record; the outcome counters have their own.
void ResetStatusRecord();
// The fingerprint of the bytes read at the last load or reload that took.
const std::string& InForceFingerprint();

// The most UTF-8 bytes of a compact reply: one packet's body, whatever the
// client.
inline constexpr std::size_t kCompactReplyBytes = 4000;

// The reply to `arguments` ("[--all | --page N | --json] [TEXT]"), UTF-8,
// lines joined by "\n". The first line: the server's time and zone, the file
// in force, the load, the last reload and the runs since load. TEXT keeps
// the entries whose path or "Name" holds it regardless of ASCII case, or
// the table it names. By default one page of at most kCompactReplyBytes: a
// compact line per entry, those needing attention first, and a last line on
// the entries left out; --page N the Nth such page; --all every entry's full
// line in the order the run walks them; --json one JSON document of it all.
std::string StatusText(std::string_view arguments);

// Replies StatusText of whatever the client wrote after the command's name.
// Nothing it throws reaches the host's dispatch (plugin/entry_guard.h).
void StatusCommand(RCONClientConnection* connection, RCONPacket* packet, UWorld* world) noexcept;

}  // namespace drovekeeper::plugin
