// The RCON command "Drovekeeper.spawn TABLE NAME": one turn of an entry now,
// as a run takes it (the cap, the class, the position, the level, the
// notice), so that an entry can be proved before its time comes. It leaves
// the entry's countdown and clock alone and is counted apart from the
// schedule's turns (spawn/spawn.h TakeCommandedTurn). Registered by Load
// with the status command; plugin/ and tests call it.
#pragma once

#include <string>
#include <string_view>

#include "host/zelapi.h"

namespace drovekeeper::plugin {

// How many names an unknown entry's reply offers.
inline constexpr std::size_t kClosestNamesShown = 3;

// The reply to the command's arguments "TABLE NAME", UTF-8: what became of
// the turn ("spawned at 48.8, 52.2 level 450", "held by cap (count 4, cap
// 4)", "class unknown", "spawn refused", "failed: MESSAGE"), or why no turn
// was run. NAME is the entry's blueprint path or its "Name"; an unknown one
// is answered with the closest paths and "Name"s of the table.
std::string SpawnCommandText(std::string_view arguments);

// Replies SpawnCommandText of whatever the client wrote after the command's
// name. Nothing it throws reaches the host's dispatch (plugin/entry_guard.h).
void SpawnCommand(RCONClientConnection* connection, RCONPacket* packet, UWorld* world) noexcept;

}  // namespace drovekeeper::plugin
