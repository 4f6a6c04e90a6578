// The RCON command "Drovekeeper.check": a reload's dry run. It reads the
// file on disk now and answers what "Drovekeeper.reload" would do with it,
// against the configuration in force, changing nothing and logging nothing.
// Registered by Load with the status command; plugin/ and tests call it.
#pragma once

#include <string>

#include "host/zelapi.h"

namespace drovekeeper::plugin {

// The reply, UTF-8, one fact a line. Refused: the reload's reply with the
// place. Taken: the fingerprint (and whether it is the file in force), what
// becomes of the countdowns, each entry added or dropped and each setting
// of a kept entry that changes, every entry's next due that changes, then
// the checker's errors and warnings that the reload would log.
std::string CheckText();

// Replies CheckText. Nothing it throws reaches the host's dispatch
// (plugin/entry_guard.h).
void CheckCommand(RCONClientConnection* connection, RCONPacket* packet, UWorld* world) noexcept;

}  // namespace drovekeeper::plugin
